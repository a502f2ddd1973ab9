#include "platform/atomic_file.h"

#include <dirent.h>
#include <signal.h>

#include <climits>
#include <cstdlib>

#include "platform/fd_io.h"
#include "platform/ownership.h"

namespace platform::fileio {
namespace {

struct SplitPath {
  std::string dir;   // never empty
  std::string base;  // the file's own name
};

SplitPath Split(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  SplitPath out;
  out.dir = slash == std::string::npos ? std::string(".") : path.substr(0, slash);
  out.base = slash == std::string::npos ? path : path.substr(slash + 1);
  if (out.dir.empty()) out.dir = "/";
  return out;
}

std::string TemporaryPrefix(const std::string& base) { return "." + base + "."; }

// The writer's pid of a temporary file name "<prefix><pid>.XXXXXX", or 0 when `name` is not one.
pid_t WriterOf(const std::string& name, const std::string& prefix) {
  if (name.size() <= prefix.size() || name.compare(0, prefix.size(), prefix) != 0) return 0;
  const std::string rest = name.substr(prefix.size());
  const std::size_t dot = rest.find('.');
  if (dot == 0 || dot == std::string::npos || dot > 9 || rest.size() - dot - 1 != 6) return 0;
  long pid = 0;
  for (std::size_t i = 0; i < dot; ++i) {
    if (rest[i] < '0' || rest[i] > '9') return 0;
    pid = pid * 10 + (rest[i] - '0');
  }
  for (std::size_t i = dot + 1; i < rest.size(); ++i) {
    const char c = rest[i];
    if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'))) return 0;
  }
  return static_cast<pid_t>(pid);
}

bool ProcessIsGone(pid_t pid) { return kill(pid, 0) != 0 && errno == ESRCH; }

}  // namespace

int RemoveDeadWritersTemporaries(const std::string& path) {
  const SplitPath p = Split(path);
  const std::string prefix = TemporaryPrefix(p.base);
  DIR* dir = opendir(p.dir.c_str());
  if (dir == nullptr) return 0;
  const pid_t self = getpid();
  int removed = 0;
  while (const dirent* entry = readdir(dir)) {
    const std::string name = entry->d_name;
    const pid_t writer = WriterOf(name, prefix);
    if (writer <= 0 || writer == self || !ProcessIsGone(writer)) continue;
    if (unlinkat(dirfd(dir), name.c_str(), 0) == 0) ++removed;
  }
  closedir(dir);
  return removed;
}

int CreateTemporaryBeside(const std::string& path, std::string* tmp) {
  RemoveDeadWritersTemporaries(path);
  const SplitPath p = Split(path);
  *tmp = p.dir + "/" + TemporaryPrefix(p.base) + std::to_string(getpid()) + ".XXXXXX";
  const int fd = mkostemp(tmp->data(), O_CLOEXEC);
  if (fd < 0) {
    tmp->clear();
    return fd;
  }
  platform::GiveToFolderOwner(fd, p.dir);
  return fd;
}

std::string WriteTarget(const std::string& path) {
  std::string target = path;
  for (int hops = 0; hops < 40; ++hops) {
    struct stat st{};
    if (::lstat(target.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return target;
    char buf[PATH_MAX];
    const ssize_t n = ::readlink(target.c_str(), buf, sizeof buf - 1);
    if (n <= 0) return target;
    const std::string link(buf, static_cast<std::size_t>(n));
    target = link.front() == '/' ? link : Split(target).dir + "/" + link;
  }
  return target;  // a loop of links: the write fails on it as an open would
}

namespace {

// Read-only in the sense of a file's read-only attribute: its owner's write bit is off, or (for a
// writer other than root, whom the bits do not stop) the writer may not write it.
bool IsReadOnly(const std::string& path, const struct stat& st) {
  if ((st.st_mode & S_IWUSR) == 0) return true;
  return ::geteuid() != 0 && ::faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) != 0 && errno == EACCES;
}

}  // namespace

ReplaceResult ReplaceFile(const std::string& path, std::string_view content) {
  const std::string target = WriteTarget(path);
  struct stat st{};
  const bool exists = ::stat(target.c_str(), &st) == 0;
  if (exists && S_ISREG(st.st_mode) && IsReadOnly(target, st)) return ReplaceResult::kReadOnly;
  std::string tmp;
  const int fd = CreateTemporaryBeside(target, &tmp);
  if (fd < 0) return ReplaceResult::kFailed;
  bool ok = fchmod(fd, exists ? (st.st_mode & 07777) : 0644) == 0;
  // Root writing another user's file gives it back to that user (a plain user cannot, nor needs to);
  // the temporary file is already the folder owner's, which a file of root's there must not become.
  struct stat made{};
  if (ok && exists && ::geteuid() == 0 &&
      (::fstat(fd, &made) != 0 || made.st_uid != st.st_uid || made.st_gid != st.st_gid)) {
    ok = ::fchown(fd, st.st_uid, st.st_gid) == 0 && ::fchmod(fd, st.st_mode & 07777) == 0;
  }
  ok = ok && platform::WriteAll(fd, content.data(), content.size());
  if (ok && fsync(fd) != 0) ok = false;
  if (close(fd) != 0) ok = false;
  if (ok && rename(tmp.c_str(), target.c_str()) != 0) ok = false;
  if (!ok) unlink(tmp.c_str());
  return ok ? ReplaceResult::kOk : ReplaceResult::kFailed;
}

LockFile::LockFile(const std::string& path) {
  fd_ = platform::OpenOrCreate(path, O_RDWR | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY, 0600);
  if (fd_ < 0) fd_ = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY);
  if (fd_ < 0) return;
  int r;
  do {
    r = flock(fd_, LOCK_EX);
  } while (r != 0 && errno == EINTR);
  locked_ = r == 0;
}

}  // namespace platform::fileio

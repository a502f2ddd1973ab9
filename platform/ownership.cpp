#include "platform/ownership.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <deque>
#include <vector>

#include "platform/paths.h"

namespace platform {

std::string SafeOwnershipProblem(const std::string& path, uid_t owner) {
  struct stat st{};
  if (::lstat(path.c_str(), &st) != 0) return std::string("cannot be examined: ") + std::strerror(errno);
  if (S_ISLNK(st.st_mode)) return "is a symbolic link";
  if (st.st_uid != owner) return "belongs to user " + std::to_string(static_cast<unsigned long>(st.st_uid));
  if ((st.st_mode & (S_IWGRP | S_IWOTH)) != 0) return "can be written by other users";
  return {};
}

namespace {

// The folder a path's last part is in.
std::string FolderOf(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? std::string("/") : path.substr(0, slash);
}

}  // namespace

int OpenOwnFile(const std::string& path, mode_t mode) {
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, mode);
  if (fd < 0) return -1;
  struct stat st{};
  bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_nlink == 1;
  const std::string dir = FolderOf(path);
  if (ok && st.st_uid != ::geteuid()) {
    // Root in a folder of another user's (a user's root) works as that user would: a file of the
    // folder's owner is as good as its own there.
    struct stat folder{};
    ok = ::geteuid() == 0 && ::lstat(dir.c_str(), &folder) == 0 && S_ISDIR(folder.st_mode) &&
         folder.st_uid == st.st_uid;
  } else if (ok) {
    // What root makes there is the folder owner's, so the owner can open it as its own after root.
    GiveToFolderOwner(fd, dir);
  }
  if (!ok) {
    ::close(fd);
    errno = EPERM;
    return -1;
  }
  return fd;
}

std::string WritableByOthersThanRoot(const std::string& path) {
  if (path.empty()) return "an empty path";
  std::string absolute = path;
  if (absolute[0] != '/') {
    char cwd[PATH_MAX];
    if (::getcwd(cwd, sizeof cwd) == nullptr) return path + ": the current folder is unknown";
    absolute = JoinPath(cwd, path);
  }
  // The names still to walk, from the front; a symbolic link puts its target's names in its place.
  std::deque<std::string> rest;
  auto prepend = [&rest](const std::string& p) {
    std::vector<std::string> names;
    for (std::size_t i = 0; i <= p.size();) {
      const std::size_t slash = std::min(p.find('/', i), p.size());
      if (slash > i) names.push_back(p.substr(i, slash - i));
      i = slash + 1;
    }
    rest.insert(rest.begin(), names.begin(), names.end());
  };
  prepend(absolute);
  auto judge = [](const std::string& at, const struct stat& st, bool last) -> std::string {
    if (st.st_uid != 0) return at + " belongs to uid " + std::to_string(static_cast<unsigned long>(st.st_uid));
    const bool sticky = S_ISDIR(st.st_mode) && (st.st_mode & S_ISVTX) != 0;
    if ((st.st_mode & (S_IWGRP | S_IWOTH)) != 0 && (last || !sticky)) {
      char mode[8];
      std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(st.st_mode & 07777));
      return at + " can be written by its group or by others (mode " + mode + ")";
    }
    if (!last && !S_ISDIR(st.st_mode)) return at + " is not a folder";
    return {};
  };
  struct stat st {};
  if (::lstat("/", &st) != 0) return "/: " + std::string(std::strerror(errno));
  if (std::string why = judge("/", st, rest.empty()); !why.empty()) return why;
  std::string at = "/";
  int links = 0;
  while (!rest.empty()) {
    const std::string name = rest.front();
    rest.pop_front();
    if (name == ".") continue;
    if (name == "..") {  // the folder above was judged on the way down
      at = at.substr(0, std::max<std::size_t>(at.rfind('/'), 1));
      continue;
    }
    const std::string next = JoinPath(at, name);
    if (::lstat(next.c_str(), &st) != 0) return next + ": " + std::strerror(errno);
    if (S_ISLNK(st.st_mode)) {
      // The link itself can only be replaced through its folder, which was judged already.
      char target[PATH_MAX];
      const ssize_t n = ::readlink(next.c_str(), target, sizeof target - 1);
      if (n <= 0 || ++links > 40) return next + ": a symbolic link that cannot be followed";
      const std::string t(target, static_cast<std::size_t>(n));
      if (t[0] == '/') at = "/";
      prepend(t);
      continue;
    }
    if (std::string why = judge(next, st, rest.empty()); !why.empty()) return why;
    at = next;
  }
  return {};
}

bool GiveToFolderOwner(int fd, const std::string& dir) {
  if (::geteuid() != 0) return true;
  struct stat folder{};
  if (::stat(dir.c_str(), &folder) != 0) return false;
  if (folder.st_uid == 0) return true;
  struct stat made{};
  if (::fstat(fd, &made) != 0) return false;
  if (made.st_uid == folder.st_uid && made.st_gid == folder.st_gid) return true;
  return ::fchown(fd, folder.st_uid, folder.st_gid) == 0;
}

int MakeFolder(const std::string& path, mode_t mode) {
  if (::mkdir(path.c_str(), mode) != 0) return -1;
  if (::geteuid() != 0) return 0;
  // Whatever was put in the new folder's place meanwhile is no folder made by root: left alone.
  const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return 0;
  struct stat st{};
  if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == 0) GiveToFolderOwner(fd, FolderOf(path));
  ::close(fd);
  return 0;
}

int OpenOrCreate(const std::string& path, int flags, mode_t mode) {
  if (::geteuid() != 0) return ::open(path.c_str(), flags | O_CREAT, mode);
  // Only a file this process creates (O_EXCL) is given away, never one that was there already.
  for (int attempt = 0; attempt < 64; ++attempt) {
    int fd = ::open(path.c_str(), flags | O_CREAT | O_EXCL, mode);
    if (fd >= 0) {
      GiveToFolderOwner(fd, FolderOf(path));
      return fd;
    }
    if (errno == EINTR) continue;
    if (errno != EEXIST) return -1;
    fd = ::open(path.c_str(), flags);
    if (fd >= 0 || (errno != ENOENT && errno != EINTR)) return fd;
    // Removed between the two opens: made again.
  }
  errno = EAGAIN;
  return -1;
}

}  // namespace platform

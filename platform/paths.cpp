#include "platform/paths.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/ownership.h"

namespace platform {
namespace {

// Where a refused root points: below /dev/null nothing can be opened or made, by anyone.
constexpr const char* kRefusedRoot = "/dev/null/psadmin-refused-root";

struct RootChoice {
  std::string path;
  std::string problem;  // "" when the root can be used, else what completes "<path> ..."
};

// Takes from the group and others what they may do in the folder `path` of this user (one made by
// hand, 0755 say, would show everybody the names of the user's files), on
// a descriptor of the folder itself: a link put in its place meanwhile is not followed. "" when
// done, else what completes "<path> ...".
std::string CloseToOthers(const std::string& path) {
  int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0 && errno == EACCES) fd = ::open(path.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return std::string("cannot be opened: ") + std::strerror(errno);
  struct stat st{};
  std::string problem;
  if (::fstat(fd, &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != geteuid() ||
      (st.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
    problem = "changed while it was examined";
  } else {
    // A folder its user may not read is opened only as a path, which is changed through /proc.
    const int flags = ::fcntl(fd, F_GETFL);
    const int r = flags >= 0 && (flags & O_PATH) != 0
                      ? ::chmod(("/proc/self/fd/" + std::to_string(fd)).c_str(), st.st_mode & 0700)
                      : ::fchmod(fd, st.st_mode & 0700);
    if (r != 0) problem = std::string("cannot be closed to other users: ") + std::strerror(errno);
  }
  ::close(fd);
  return problem;
}

// The user's folder in /tmp, made 0700 when missing; an existing one only while it is safely ours,
// and then closed to other users.
RootChoice TmpRoot() {
  RootChoice c;
  c.path = "/tmp/psadmin-" + std::to_string(static_cast<long>(getuid()));
  if (::mkdir(c.path.c_str(), 0700) != 0 && errno != EEXIST) {
    c.problem = std::string("cannot be made: ") + std::strerror(errno);
    return c;
  }
  c.problem = SafeOwnershipProblem(c.path, geteuid());
  if (!c.problem.empty()) return c;
  struct stat st{};
  if (::lstat(c.path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
    c.problem = "is not a folder";
    return c;
  }
  if ((st.st_mode & 077) != 0) c.problem = CloseToOthers(c.path);
  return c;
}

RootChoice ChooseRoot() {
  RootChoice c;
  const char* env = std::getenv(kRootEnvVar);
  if (env != nullptr && env[0] != '\0') {
    c.path = env;
  } else if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg != nullptr && xdg[0] == '/') {
    c.path = std::string(xdg) + "/psadmin";
  } else if (const char* home = std::getenv("HOME"); home != nullptr && home[0] == '/') {
    c.path = std::string(home) + "/.local/share/psadmin";
  } else {
    c = TmpRoot();
  }
  while (c.path.size() > 1 && c.path.back() == '/') c.path.pop_back();
  return c;
}

std::atomic<bool> g_refusalReported{false};

}  // namespace

std::string Root() {
  RootChoice c = ChooseRoot();
  if (c.problem.empty()) return c.path;
  if (!g_refusalReported.exchange(true)) {
    std::fprintf(stderr,
                 "psadmin: the folder %s %s, so the suite keeps nothing there; set PSADMIN_ROOT (or HOME) "
                 "to a folder of your own\n",
                 c.path.c_str(), c.problem.c_str());
  }
  return kRefusedRoot;
}

std::string RootProblem() {
  RootChoice c = ChooseRoot();
  return c.problem.empty() ? std::string() : c.path + " " + c.problem;
}

bool MakeDirectories(const std::string& path) {
  if (path.empty()) return false;
  // Mostly the directory is there already: one look instead of a mkdir per level.
  struct stat existing{};
  if (stat(path.c_str(), &existing) == 0 && S_ISDIR(existing.st_mode)) return true;
  std::string partial;
  std::size_t pos = 0;
  while (pos != std::string::npos) {
    pos = path.find('/', pos + 1);
    partial = path.substr(0, pos);
    if (partial.empty()) continue;
    if (MakeFolder(partial, 0700) != 0 && errno != EEXIST) return false;
  }
  struct stat st{};
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string JoinPath(const std::string& dir, const std::string& name) {
  if (dir.empty()) return name;
  if (dir.back() == '/') return dir + name;
  return dir + "/" + name;
}

static std::string Sub(const char* name, bool create) {
  std::string p = JoinPath(Root(), name);
  if (create) MakeDirectories(p);
  return p;
}

std::string WindowsDirectory() { return Sub("windows", true); }
std::string DataDirectory() { return Sub("KM220Data", false) + "/"; }
std::string RegistryDirectory() { return Sub("registry", true); }
std::string RegistryDirectoryPath() { return Sub("registry", false); }
std::string ObjectsDirectory() { return Sub("objects", true); }

}  // namespace platform

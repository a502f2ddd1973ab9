#include "platform/paths.h"

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

// The user's folder in /tmp, made 0700 when missing; an existing one only while it is safely ours.
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
  if (::lstat(c.path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) c.problem = "is not a folder";
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

#include "platform/paths.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace platform {

std::string Root() {
  const char* env = std::getenv(kRootEnvVar);
  std::string root;
  if (env != nullptr && env[0] != '\0') {
    root = env;
  } else if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg != nullptr && xdg[0] == '/') {
    root = std::string(xdg) + "/psadmin";
  } else if (const char* home = std::getenv("HOME"); home != nullptr && home[0] == '/') {
    root = std::string(home) + "/.local/share/psadmin";
  } else {
    root = "/tmp/psadmin-" + std::to_string(static_cast<long>(getuid()));
  }
  while (root.size() > 1 && root.back() == '/') root.pop_back();
  return root;
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
    if (mkdir(partial.c_str(), 0755) != 0 && errno != EEXIST) return false;
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

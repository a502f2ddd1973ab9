// A private platform root for one fuzzing process, made once, reused for every input and removed at exit. It lives
// in /dev/shm when there is one, so the flushes of every write cost no disk time.
#pragma once
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace platform_fuzz {

inline const std::string& FuzzRoot() {
  // Never destroyed, so that the exit handler can still read it.
  static const std::string* root = [] {
    struct stat st{};
    std::string base = stat("/dev/shm", &st) == 0 && S_ISDIR(st.st_mode) ? "/dev/shm" : "/tmp";
    std::string tmpl = base + "/psadmin-fuzz-XXXXXX";
    if (mkdtemp(tmpl.data()) == nullptr) std::abort();
    setenv("PSADMIN_ROOT", tmpl.c_str(), 1);
    std::atexit([] {
      std::error_code ec;
      std::filesystem::remove_all(FuzzRoot(), ec);
    });
    return new std::string(tmpl);
  }();
  return *root;
}

}  // namespace platform_fuzz

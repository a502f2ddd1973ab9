#include "platform/test_support/temp_root.h"

#include <cstdlib>
#include <filesystem>
#include <stdexcept>

#include "platform/paths.h"

namespace platform::testing {

TempRoot::TempRoot() {
  if (const char* old = std::getenv(kRootEnvVar)) {
    previous_ = old;
    hadPrevious_ = true;
  }
  std::string tmpl = (std::filesystem::temp_directory_path() / "psadmin-test-XXXXXX").string();
  if (mkdtemp(tmpl.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = tmpl;
  setenv(kRootEnvVar, path_.c_str(), 1);
}

TempRoot::~TempRoot() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
  if (hadPrevious_) {
    setenv(kRootEnvVar, previous_.c_str(), 1);
  } else {
    unsetenv(kRootEnvVar);
  }
}

}  // namespace platform::testing

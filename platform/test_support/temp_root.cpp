#include "platform/test_support/temp_root.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <stdexcept>

#include "platform/paths.h"

namespace platform::testing {

namespace {

constexpr const char* kMachineVar = "PSADMIN_NBD_MACHINE";

}  // namespace

void StopMachineNetbios(const std::string& folder) {
  const int fd = ::open((folder + "/nbd.pid").c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW);
  if (fd < 0) return;
  char buf[32] = {};
  if (::pread(fd, buf, sizeof buf - 1, 0) > 0) {
    const pid_t pid = static_cast<pid_t>(std::atoi(buf));
    if (pid > 0 && ::flock(fd, LOCK_EX | LOCK_NB) != 0) ::kill(pid, SIGKILL);
  }
  ::flock(fd, LOCK_EX);  // returns once the service's lock died with it
  ::close(fd);
}

TempRoot::TempRoot() {
  if (const char* old = std::getenv(kRootEnvVar)) {
    previous_ = old;
    hadPrevious_ = true;
  }
  std::string tmpl = (std::filesystem::temp_directory_path() / "psadmin-test-XXXXXX").string();
  if (mkdtemp(tmpl.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = tmpl;
  setenv(kRootEnvVar, path_.c_str(), 1);
  if (const char* old = std::getenv(kMachineVar)) {
    previousMachine_ = old;
    hadPreviousMachine_ = true;
  }
  setenv(kMachineVar, machineNetbios().c_str(), 1);
}

TempRoot::~TempRoot() {
  StopMachineNetbios(machineNetbios());
  if (hadPreviousMachine_) {
    setenv(kMachineVar, previousMachine_.c_str(), 1);
  } else {
    unsetenv(kMachineVar);
  }
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
  if (hadPrevious_) {
    setenv(kRootEnvVar, previous_.c_str(), 1);
  } else {
    unsetenv(kRootEnvVar);
  }
}

}  // namespace platform::testing

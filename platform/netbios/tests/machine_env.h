// Helpers of the tests of the machine's NetBIOS service: a machine folder of the test that every
// user can reach, the service started as at boot, and a program of another user (nobody).
#pragma once
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "platform/paths.h"
#include "platform/process/process.h"
#include "platform/test_support/temp_root.h"
#include "platform/test_support/watched_program.h"

namespace nbtest {

inline std::string MakeTempFolder(const char* prefix, mode_t mode) {
  std::string tmpl = (std::filesystem::temp_directory_path() / (std::string(prefix) + "-XXXXXX")).string();
  if (mkdtemp(tmpl.data()) == nullptr || chmod(tmpl.c_str(), mode) != 0) throw std::runtime_error("mkdtemp failed");
  return tmpl;
}

// A machine folder for one test (root's, 0755, outside the test's private root so that another
// user reaches it), named by PSADMIN_NBD_MACHINE while it lives; its service is stopped at the end.
class MachineFolder {
 public:
  MachineFolder() : path_(MakeTempFolder("psadmin-machine", 0755)) {
    setenv("PSADMIN_NBD_MACHINE", path_.c_str(), 1);
  }
  ~MachineFolder() {
    platform::testing::StopMachineNetbios(path_);
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  MachineFolder(const MachineFolder&) = delete;
  MachineFolder& operator=(const MachineFolder&) = delete;
  const std::string& path() const { return path_; }

  // The machine's service as a system's service manager runs it: in the foreground, until stopped,
  // with the settings of this process's root.
  std::unique_ptr<platform::testing::WatchedProgram> StartService() const {
    return std::make_unique<platform::testing::WatchedProgram>(
        std::vector<std::string>{platform::ProgramDirectory() + "/psa_nbd", "--machine"},
        platform::testing::WatchedProgram::Options{.extraEnvironment = {"PSADMIN_NBD_MACHINE=" + path_}});
  }
  // Until its socket is there; false when it is not within 15 s or the service ended.
  bool WaitForSocket(platform::testing::WatchedProgram& service) const {
    for (int i = 0; i < 1500 && service.Running(); ++i) {
      if (std::filesystem::exists(path_ + "/nbd.sock")) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
  }

 private:
  std::string path_;
};

// The user nobody, with a root of its own (no settings in it), running nb_user_program.
class OtherUser {
 public:
  static constexpr uid_t kUid = 65534;
  OtherUser() : root_(MakeTempFolder("psadmin-nobody", 0700)) {
    if (chown(root_.c_str(), kUid, kUid) != 0) throw std::runtime_error("chown failed");
  }
  ~OtherUser() {
    std::error_code ec;
    std::filesystem::remove_all(root_, ec);
  }
  OtherUser(const OtherUser&) = delete;
  OtherUser& operator=(const OtherUser&) = delete;
  const std::string& root() const { return root_; }

  // nb_user_program with `steps`, as nobody, using the machine folder `machine`; its standard input
  // stays open until CloseInput() (the "hold" step waits for that).
  std::unique_ptr<platform::testing::WatchedProgram> Run(const std::vector<std::string>& steps,
                                                         const std::string& machine) const {
    std::vector<std::string> argv = {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups",
                                     platform::ProgramDirectory() + "/nb_user_program"};
    argv.insert(argv.end(), steps.begin(), steps.end());
    return std::make_unique<platform::testing::WatchedProgram>(
        argv, platform::testing::WatchedProgram::Options{.extraEnvironment = {"PSADMIN_ROOT=" + root_, "PSADMIN_NBD_MACHINE=" + machine, "HOME=" + root_,
                                    "PSADMIN_NB_LANAS=", "PSADMIN_NB_NAME_PORT=", "PSADMIN_NB_DATAGRAM_PORT=",
                                    "PSADMIN_NB_SESSION_PORT="},
               .inputPipe = true});
  }
  // Until a program Run() started with a "hold" step holds (within 30 s).
  static bool WaitUntilHolding(platform::testing::WatchedProgram& program) {
    return program.WaitForOutput(
        [](const std::string& out, const std::string&) { return out.find("holding\n") != std::string::npos; }, 30000);
  }

 private:
  std::string root_;
};

}  // namespace nbtest

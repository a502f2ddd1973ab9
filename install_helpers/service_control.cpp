#include "install_helpers/service_control.h"

#include "platform/process/process.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

extern char** environ;

namespace install_helpers {

const char* const kNdisHookServiceName = "Trevalk";

namespace {

bool IsServiceName(const std::string& name) {
  if (name.empty() || name.size() > 64) return false;
  for (char c : name) {
    const bool ok = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
                    c == '_' || c == '.' || c == '@';
    if (!ok) return false;
  }
  return true;
}

}  // namespace

std::string SystemdServiceControl::UnitName(const std::string& serviceName) {
  std::string unit;
  for (char c : serviceName) unit.push_back(c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c);
  return unit + ".service";
}

bool SystemdServiceControl::OpenManager() {
  const char* named = std::getenv("PSADMIN_SYSTEMCTL");
  program_ = named != nullptr && *named != '\0' ? std::string(named) : platform::FindProgram("systemctl");
  if (program_.empty() || ::access(program_.c_str(), X_OK) != 0) return false;
  // The manager answers (and lets us talk to it) when a harmless query succeeds.
  open_ = Run({"show-environment"});
  return open_;
}

bool SystemdServiceControl::StopService(const std::string& name) {
  if (!open_ || !IsServiceName(name)) return false;
  return Run({"stop", "--no-block", UnitName(name)});
}

bool SystemdServiceControl::DeleteService(const std::string& name) {
  if (!open_ || !IsServiceName(name)) return false;
  return Run({"disable", UnitName(name)});
}

bool SystemdServiceControl::CloseManager() {
  const bool was = open_;
  open_ = false;
  return was;
}

bool SystemdServiceControl::Run(const std::vector<std::string>& args) const {
  std::vector<std::string> argv_text;
  argv_text.push_back(program_);
  argv_text.insert(argv_text.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& a : argv_text) argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  // systemctl prints nothing of ours: the utility is silent.
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  pid_t pid = 0;
  const int rc = posix_spawn(&pid, program_.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) return false;
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return false;
  }
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

bool NullServiceControl::OpenManager() {
  calls.push_back("open");
  open_ = managerAvailable;
  return open_;
}

bool NullServiceControl::StopService(const std::string& name) {
  calls.push_back("stop " + name);
  if (!open_ || !installed || !running) return false;
  running = false;
  return true;
}

bool NullServiceControl::DeleteService(const std::string& name) {
  calls.push_back("delete " + name);
  if (!open_ || !installed) return false;
  installed = false;
  return true;
}

bool NullServiceControl::CloseManager() {
  calls.push_back("close");
  const bool was = open_;
  open_ = false;
  return was;
}

int RemoveNdisHookService(ServiceControl& control) {
  if (!control.OpenManager()) return 1;
  // Both steps are tried; neither changes the outcome: the service may be missing already.
  (void)control.StopService(kNdisHookServiceName);
  (void)control.DeleteService(kNdisHookServiceName);
  return control.CloseManager() ? 0 : 1;
}

}  // namespace install_helpers

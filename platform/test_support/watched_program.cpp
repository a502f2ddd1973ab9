#include "platform/test_support/watched_program.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

extern char** environ;

namespace platform::testing {

WatchedProgram::WatchedProgram(const std::vector<std::string>& argv, const std::vector<std::string>& environment) {
  if (argv.empty()) return;
  int err[2];
  if (::pipe2(err, O_CLOEXEC) != 0) return;
  std::vector<std::string> args = argv, env = environment;
  std::vector<char*> argp, envp;
  for (auto& a : args) argp.push_back(a.data());
  argp.push_back(nullptr);
  for (auto& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, err[1], 2);
  pid_t pid = -1;
  const int rc = posix_spawn(&pid, argp[0], &actions, nullptr, argp.data(), env.empty() ? environ : envp.data());
  posix_spawn_file_actions_destroy(&actions);
  ::close(err[1]);
  if (rc != 0) {
    ::close(err[0]);
    return;
  }
  pid_ = pid;
  errFd_ = err[0];
}

WatchedProgram::~WatchedProgram() {
  Terminate();
  if (errFd_ >= 0) ::close(errFd_);
}

bool WatchedProgram::WaitForError(const std::string& marker, int limitMs) {
  using Clock = std::chrono::steady_clock;
  const auto end = Clock::now() + std::chrono::milliseconds(limitMs);
  while (err_.find(marker) == std::string::npos && errFd_ >= 0 && Clock::now() < end) {
    pollfd p{errFd_, POLLIN, 0};
    if (::poll(&p, 1, 100) <= 0) continue;
    char buf[512];
    const ssize_t n = ::read(errFd_, buf, sizeof buf);
    if (n <= 0) break;
    err_.append(buf, static_cast<std::size_t>(n));
  }
  return err_.find(marker) != std::string::npos;
}

int WatchedProgram::Terminate() {
  if (pid_ <= 0) return -1;
  if (!reaped_) {
    ::kill(pid_, SIGTERM);
    while (::waitpid(pid_, &status_, 0) < 0 && errno == EINTR) {
    }
    reaped_ = true;
  }
  return status_;
}

}  // namespace platform::testing

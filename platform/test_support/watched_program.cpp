#include "platform/test_support/watched_program.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <algorithm>
#include <chrono>

extern char** environ;

namespace platform::testing {

namespace {

using Clock = std::chrono::steady_clock;

void CloseFd(int& fd) {
  if (fd >= 0) ::close(fd);
  fd = -1;
}

std::vector<std::string> BuildEnvironment(const WatchedProgram::Options& options) {
  std::vector<std::string> env = options.environment;
  if (env.empty()) {
    for (char** e = environ; *e != nullptr; ++e) env.emplace_back(*e);
  }
  for (const std::string& extra : options.extraEnvironment) {
    const std::size_t eq = extra.find('=');
    if (eq != std::string::npos) {
      const std::string name = extra.substr(0, eq + 1);
      std::erase_if(env, [&](const std::string& v) { return v.compare(0, name.size(), name) == 0; });
    }
    env.push_back(extra);
  }
  return env;
}

}  // namespace

WatchedProgram::WatchedProgram(const std::vector<std::string>& argv) : WatchedProgram(argv, Options{}) {}

WatchedProgram::WatchedProgram(const std::vector<std::string>& argv, const Options& options) {
  if (argv.empty()) return;
  int out[2] = {-1, -1}, err[2] = {-1, -1}, in[2] = {-1, -1};
  const bool pipesMade = (options.passOutput || ::pipe2(out, O_CLOEXEC) == 0) && ::pipe2(err, O_CLOEXEC) == 0 &&
                         (!options.inputPipe || ::pipe2(in, O_CLOEXEC) == 0) && ::pipe2(wake_, O_CLOEXEC) == 0;
  int inFile = -1;
  if (pipesMade && !options.inputPipe && !options.inputFile.empty()) {
    inFile = ::open(options.inputFile.c_str(), O_RDONLY | O_CLOEXEC);
  }
  // Everything the child needs is made before the spawn: the child only duplicates descriptors
  // and runs the program (no copy of this process, whatever its size or threads).
  std::vector<std::string> args = argv, env = BuildEnvironment(options);
  std::vector<char*> argp, envp;
  for (auto& a : args) argp.push_back(a.data());
  argp.push_back(nullptr);
  for (auto& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);
  pid_t pid = -1;
  int rc = -1;
  if (pipesMade) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (out[1] >= 0) posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_adddup2(&actions, err[1], 2);
    if (in[0] >= 0) posix_spawn_file_actions_adddup2(&actions, in[0], 0);
    if (inFile >= 0) posix_spawn_file_actions_adddup2(&actions, inFile, 0);
    rc = posix_spawn(&pid, argp[0], &actions, nullptr, argp.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
  }
  CloseFd(out[1]);
  CloseFd(err[1]);
  CloseFd(in[0]);
  CloseFd(inFile);
  if (rc != 0) {
    CloseFd(out[0]);
    CloseFd(err[0]);
    CloseFd(in[1]);
    CloseFd(wake_[0]);
    CloseFd(wake_[1]);
    return;
  }
  pid_ = pid;
  pidFd_ = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));  // readable once the program has ended
  inFd_ = in[1];
  fds_[0] = out[0];
  fds_[1] = err[0];
  for (int i = 0; i < 2; ++i) {
    if (fds_[i] < 0) continue;
    ::fcntl(fds_[i], F_SETFL, ::fcntl(fds_[i], F_GETFL) | O_NONBLOCK);
    eof_[i] = false;
  }
  reader_ = std::thread([this] { ReadLoop(); });
}

WatchedProgram::~WatchedProgram() {
  if (Started() && !reaped_) Terminate();
  CloseFd(inFd_);
  CloseFd(pidFd_);
  if (reader_.joinable()) {
    const char stop = 0;
    (void)!::write(wake_[1], &stop, 1);
    reader_.join();
  }
  CloseFd(wake_[0]);
  CloseFd(wake_[1]);
  CloseFd(fds_[0]);
  CloseFd(fds_[1]);
}

void WatchedProgram::ReadAvailable() {
  for (int i = 0; i < 2; ++i) {
    while (!eof_[i]) {
      char buf[4096];
      const ssize_t n = ::read(fds_[i], buf, sizeof buf);
      if (n > 0) {
        text_[i].append(buf, static_cast<std::size_t>(n));
      } else if (n < 0 && errno == EINTR) {
        continue;
      } else {
        if (n == 0 || errno != EAGAIN) eof_[i] = true;
        break;
      }
    }
  }
  cv_.notify_all();
}

void WatchedProgram::ReadLoop() {
  for (;;) {
    pollfd p[3];
    nfds_t n = 0;
    p[n++] = {wake_[0], POLLIN, 0};
    {
      std::lock_guard<std::mutex> lock(mu_);
      for (int i = 0; i < 2; ++i) {
        if (!eof_[i]) p[n++] = {fds_[i], POLLIN, 0};
      }
    }
    if (n == 1) return;  // both pipes closed
    if (::poll(p, n, -1) < 0) {
      if (errno == EINTR) continue;
      return;
    }
    if (p[0].revents != 0) return;
    std::lock_guard<std::mutex> lock(mu_);
    ReadAvailable();
  }
}

std::string WatchedProgram::Output() {
  std::lock_guard<std::mutex> lock(mu_);
  ReadAvailable();
  return text_[0];
}

std::string WatchedProgram::Error() {
  std::lock_guard<std::mutex> lock(mu_);
  ReadAvailable();
  return text_[1];
}

bool WatchedProgram::WaitForOutput(const std::function<bool(const std::string&, const std::string&)>& condition,
                                   int limitMs) {
  std::unique_lock<std::mutex> lock(mu_);
  ReadAvailable();
  cv_.wait_for(lock, std::chrono::milliseconds(limitMs),
               [&] { return condition(text_[0], text_[1]) || (eof_[0] && eof_[1]); });
  return condition(text_[0], text_[1]);
}

bool WatchedProgram::WaitForError(const std::string& marker, int limitMs) {
  return WaitForOutput([&](const std::string&, const std::string& err) { return err.find(marker) != std::string::npos; },
                       limitMs);
}

void WatchedProgram::CloseInput() { CloseFd(inFd_); }

bool WatchedProgram::Wait(int limitMs) {
  if (!Started() || reaped_) return true;
  const auto end = Clock::now() + std::chrono::milliseconds(limitMs);
  for (;;) {
    int status = 0;
    const pid_t r = ::waitpid(pid_, &status, WNOHANG);
    if (r == pid_) {
      code_ = WIFEXITED(status) ? WEXITSTATUS(status) : WIFSIGNALED(status) ? 128 + WTERMSIG(status) : -1;
      break;
    }
    if (r < 0 && errno != EINTR) break;  // not this process's child any more: its code is unknown
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count();
    if (left <= 0) return false;
    if (pidFd_ >= 0) {
      pollfd p{pidFd_, POLLIN, 0};
      ::poll(&p, 1, static_cast<int>(std::min<long long>(left, 100)));
    } else {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  }
  reaped_ = true;
  // All the program itself wrote is in the pipes now.
  std::lock_guard<std::mutex> lock(mu_);
  ReadAvailable();
  return true;
}

int WatchedProgram::WaitForExit(int limitMs) {
  if (!Wait(limitMs)) {
    Kill();
    Wait(60000);
  }
  return ExitCode();
}

int WatchedProgram::ExitCode() const {
  if (!Started()) return 127;
  return reaped_ ? code_ : -1;
}

void WatchedProgram::Kill() {
  if (Started() && !reaped_) ::kill(pid_, SIGKILL);
}

int WatchedProgram::Terminate() {
  if (Started() && !reaped_) {
    ::kill(pid_, SIGTERM);
    WaitForExit(10000);
  }
  return ExitCode();
}

}  // namespace platform::testing

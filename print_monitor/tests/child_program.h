// A program of the build run as a child of a test: its arguments and extra environment, its
// standard error collected line by line as it comes, its exit code.
#pragma once
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace monitor_test {

// The folder of the running test program (the build's bin folder).
inline std::string BinFolder() {
  char path[4096];
  const ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
  std::string p(path, n > 0 ? static_cast<std::size_t>(n) : 0);
  return p.substr(0, p.rfind('/'));
}

class ChildProgram {
 public:
  ChildProgram(const std::string& program, const std::vector<std::string>& args,
               const std::vector<std::string>& env, const std::string& stdinFile = "") {
    int err[2], out[2];
    if (::pipe2(err, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0) return;
    // Everything the child needs is made before the spawn: the child only duplicates descriptors
    // and runs the program.
    std::vector<std::string> argStrings = {program};
    argStrings.insert(argStrings.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : argStrings) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    std::vector<std::string> envStrings = env;
    for (char** e = environ; *e != nullptr; ++e) {
      const std::string entry = *e;
      const std::string key = entry.substr(0, entry.find('=') + 1);
      bool replaced = false;
      for (const std::string& x : env) replaced = replaced || x.compare(0, key.size(), key) == 0;
      if (!replaced) envStrings.push_back(entry);
    }
    std::vector<char*> envp;
    for (auto& e : envStrings) envp.push_back(const_cast<char*>(e.c_str()));
    envp.push_back(nullptr);
    const int in = stdinFile.empty() ? -1 : ::open(stdinFile.c_str(), O_RDONLY | O_CLOEXEC);
    // Spawned without copying this process (a benchmark's child starts as CUPS would start it,
    // whatever the size of the program that runs it); a program that cannot be run exits with 127.
    posix_spawn_file_actions_t actions;
    ::posix_spawn_file_actions_init(&actions);
    ::posix_spawn_file_actions_adddup2(&actions, err[1], 2);
    ::posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    if (in >= 0) ::posix_spawn_file_actions_adddup2(&actions, in, 0);
    pid_t pid = 0;
    if (::posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), envp.data()) == 0) {
      pid_ = pid;
    } else {
      exited_ = true;
      code_ = 127;
    }
    ::posix_spawn_file_actions_destroy(&actions);
    if (in >= 0) ::close(in);
    ::close(err[1]);
    ::close(out[1]);
    reader_ = std::thread([this, e = err[0], o = out[0]] { Read(e, o); });
  }
  ~ChildProgram() {
    if (pid_ > 0 && !exited_) {
      ::kill(pid_, SIGKILL);
      Wait();
    }
    if (reader_.joinable()) reader_.join();
  }
  pid_t pid() const { return pid_; }
  // Waits (real time, bounded) until the collected standard error holds `text`.
  bool WaitForError(const std::string& text, int seconds = 60) {
    std::unique_lock<std::mutex> lock(mu_);
    return cv_.wait_for(lock, std::chrono::seconds(seconds), [&] { return err_.find(text) != std::string::npos || done_; }) &&
           err_.find(text) != std::string::npos;
  }
  int Wait() {
    if (exited_) return code_;
    int status = 0;
    if (::waitpid(pid_, &status, 0) == pid_) code_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    exited_ = true;
    if (reader_.joinable()) reader_.join();
    return code_;
  }
  std::string Error() {
    std::lock_guard<std::mutex> lock(mu_);
    return err_;
  }
  std::string Output() {
    std::lock_guard<std::mutex> lock(mu_);
    return out_;
  }

 private:
  void Read(int e, int o) {
    pollfd fds[2] = {{e, POLLIN, 0}, {o, POLLIN, 0}};
    int open = 2;
    while (open > 0) {
      if (::poll(fds, 2, -1) < 0) break;
      for (int i = 0; i < 2; ++i) {
        if (fds[i].fd < 0 || fds[i].revents == 0) continue;
        char buf[4096];
        const ssize_t n = ::read(fds[i].fd, buf, sizeof buf);
        if (n <= 0) {
          ::close(fds[i].fd);
          fds[i].fd = -1;
          --open;
          continue;
        }
        std::lock_guard<std::mutex> lock(mu_);
        (i == 0 ? err_ : out_).append(buf, static_cast<std::size_t>(n));
        cv_.notify_all();
      }
    }
    std::lock_guard<std::mutex> lock(mu_);
    done_ = true;
    cv_.notify_all();
  }

  pid_t pid_ = -1;
  bool exited_ = false;
  int code_ = -1;
  std::thread reader_;
  std::mutex mu_;
  std::condition_variable cv_;
  std::string err_, out_;
  bool done_ = false;
};

}  // namespace monitor_test

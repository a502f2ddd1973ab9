#include "platform/process/process.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/clock.h"

namespace platform {

std::string ProgramDirectory() {
  std::vector<char> buf(4096);
  ssize_t n = ::readlink("/proc/self/exe", buf.data(), buf.size() - 1);
  if (n <= 0) return "";
  std::string path(buf.data(), static_cast<std::size_t>(n));
  std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return "";
  return slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace platform

namespace {

// Splits a command line into words: blanks separate, a double-quoted part is kept whole.
std::vector<std::string> SplitCommandLine(const char* text) {
  std::vector<std::string> words;
  std::string word;
  bool inWord = false, quoted = false;
  for (const char* p = text; *p != '\0'; ++p) {
    char c = *p;
    if (c == '"') {
      quoted = !quoted;
      inWord = true;
    } else if (!quoted && (c == ' ' || c == '\t')) {
      if (inWord) words.push_back(word);
      word.clear();
      inWord = false;
    } else {
      word += c;
      inWord = true;
    }
  }
  if (inWord) words.push_back(word);
  return words;
}

bool IsDirectory(const std::string& path) {
  struct stat st{};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool Exists(const std::string& path) {
  struct stat st{};
  return ::stat(path.c_str(), &st) == 0;
}

// The folders of $PATH in order, an empty entry standing for "."; those of `fallback` (if any)
// when $PATH is not set.
std::vector<std::string> PathDirectories(const char* fallback) {
  const char* path = std::getenv("PATH");
  if (path == nullptr) path = fallback;
  std::vector<std::string> dirs;
  if (path == nullptr) return dirs;
  const std::string all = path;
  std::size_t start = 0;
  while (start <= all.size()) {
    std::size_t colon = all.find(':', start);
    if (colon == std::string::npos) colon = all.size();
    std::string dir = all.substr(start, colon - start);
    dirs.push_back(dir.empty() ? "." : dir);
    start = colon + 1;
  }
  return dirs;
}

// Finds the program file: 0 with `out` set, or a WinExec error code.
UINT ResolveProgram(const std::string& name, std::string* out) {
  if (name.empty()) return WINEXEC_FILE_NOT_FOUND;
  if (name.find('/') != std::string::npos) {
    std::size_t slash = name.rfind('/');
    std::string dir = slash == 0 ? "/" : name.substr(0, slash);
    if (!IsDirectory(dir)) return WINEXEC_PATH_NOT_FOUND;
    if (!Exists(name)) return WINEXEC_FILE_NOT_FOUND;
    *out = name;
    return 0;
  }
  std::vector<std::string> dirs;
  std::string own = platform::ProgramDirectory();
  if (!own.empty()) dirs.push_back(own);
  for (std::string& dir : PathDirectories(nullptr)) dirs.push_back(std::move(dir));
  for (const std::string& dir : dirs) {
    std::string candidate = dir + "/" + name;
    if (Exists(candidate)) {
      *out = candidate;
      return 0;
    }
  }
  return WINEXEC_FILE_NOT_FOUND;
}

UINT MapExecError(int error) {
  switch (error) {
    case ENOENT: return WINEXEC_FILE_NOT_FOUND;
    case ENOTDIR: return WINEXEC_PATH_NOT_FOUND;
    case ENOMEM:
    case EAGAIN:
    case E2BIG: return WINEXEC_OUT_OF_RESOURCES;
    default: return WINEXEC_BAD_FORMAT;
  }
}

// In the new process (between fork and exec only async-signal-safe calls): every descriptor above
// 2 is marked close-on-exec, the signal dispositions and mask are reset.
void PrepareChild() {
  if (::close_range(3, ~0U, CLOSE_RANGE_CLOEXEC) != 0) {
    rlimit lim{};
    int max = 65536;
    if (::getrlimit(RLIMIT_NOFILE, &lim) == 0 && lim.rlim_cur < 65536) max = static_cast<int>(lim.rlim_cur);
    for (int fd = 3; fd < max; ++fd) ::fcntl(fd, F_SETFD, FD_CLOEXEC);
  }
  struct sigaction dfl{};
  dfl.sa_handler = SIG_DFL;
  for (int sig = 1; sig < NSIG; ++sig) ::sigaction(sig, &dfl, nullptr);
  sigset_t none;
  ::sigemptyset(&none);
  ::sigprocmask(SIG_SETMASK, &none, nullptr);
}

[[noreturn]] void ReportAndExit(int fd, int error) {
  ssize_t ignored = ::write(fd, &error, sizeof error);
  (void)ignored;
  ::_exit(127);
}

}  // namespace

namespace platform {
std::string FindProgram(const std::string& name) {
  std::string path;
  return ResolveProgram(name, &path) == 0 ? path : std::string();
}

std::string FindTool(const std::string& name) {
  if (name.find('/') != std::string::npos) return name;
  for (const std::string& dir : PathDirectories("/usr/bin:/bin")) {
    std::string candidate = dir + "/" + name;
    if (::access(candidate.c_str(), X_OK) == 0) return candidate;
  }
  return "";
}
}  // namespace platform

namespace {

// Closes every descriptor above 2 except `keep` (in a forked process that does not exec).
void CloseAllBut(int keep) {
  bool closed = keep > 3 ? ::close_range(3, static_cast<unsigned>(keep - 1), 0) == 0 : true;
  closed = closed && ::close_range(static_cast<unsigned>(keep + 1), ~0U, 0) == 0;
  if (closed) return;
  rlimit lim{};
  int max = 65536;
  if (::getrlimit(RLIMIT_NOFILE, &lim) == 0 && lim.rlim_cur < 65536) max = static_cast<int>(lim.rlim_cur);
  for (int fd = 3; fd < max; ++fd) {
    if (fd != keep) ::close(fd);
  }
}

// The program's process: a session of its own, a clean start, then the program (or the reason it
// could not be started, on `report`).
[[noreturn]] void ExecProgram(const std::string& program, std::vector<char*>& argv, int report) {
  ::setsid();
  PrepareChild();
  ::execv(program.c_str(), argv.data());
  ReportAndExit(report, errno);
}

// The watcher between the caller and the program: it starts the program, lets go of everything
// of the caller's, waits for the program's end and writes its wait status to `watch`. Only
// async-signal-safe calls: the caller may have threads.
[[noreturn]] void WatchProgram(const std::string& program, std::vector<char*>& argv, int report, int watch) {
  ::setsid();
  struct sigaction dfl{};
  dfl.sa_handler = SIG_DFL;
  ::sigaction(SIGCHLD, &dfl, nullptr);
  struct sigaction ignore{};
  ignore.sa_handler = SIG_IGN;
  ::sigaction(SIGPIPE, &ignore, nullptr);  // a caller that stopped waiting has closed its end
  const pid_t child = ::fork();
  if (child < 0) ReportAndExit(report, EAGAIN);
  if (child == 0) ExecProgram(program, argv, report);
  ::close(report);
  // No descriptor of the caller's (named objects, sockets) stays open while the program runs.
  CloseAllBut(watch);
  int status = 0;
  pid_t r;
  do {
    r = ::waitpid(child, &status, 0);
  } while (r < 0 && errno == EINTR);
  if (r == child) {
    ssize_t ignored = ::write(watch, &status, sizeof status);
    (void)ignored;
  }
  ::_exit(0);
}

// WinExec's start; with `watch` >= 0 the program is started through a watcher that writes its
// wait status there when it ends (`watchOther` is the caller's end of that pipe, closed in the
// new processes).
UINT StartDetached(const char* commandLine, int watch, int watchOther) {
  // The caller's copy of the watcher's end goes on every way out (the new processes leave by exec
  // or _exit, never through here).
  struct CloseOnReturn {
    int fd;
    ~CloseOnReturn() {
      if (fd >= 0) ::close(fd);
    }
  } closeWatch{watch};
  if (commandLine == nullptr) return WINEXEC_FILE_NOT_FOUND;
  std::vector<std::string> words = SplitCommandLine(commandLine);
  if (words.empty()) return WINEXEC_FILE_NOT_FOUND;
  std::string program;
  if (UINT error = ResolveProgram(words[0], &program); error != 0) return error;
  if (IsDirectory(program)) return WINEXEC_BAD_FORMAT;
  if (::access(program.c_str(), X_OK) != 0) return WINEXEC_BAD_FORMAT;

  // Everything the new process needs is made before fork.
  std::vector<char*> argv;
  for (std::string& w : words) argv.push_back(w.data());
  argv.push_back(nullptr);

  int report[2];
  if (::pipe2(report, O_CLOEXEC) != 0) return WINEXEC_OUT_OF_RESOURCES;
  pid_t middle = ::fork();
  if (middle < 0) {
    ::close(report[0]);
    ::close(report[1]);
    return WINEXEC_OUT_OF_RESOURCES;
  }
  if (middle == 0) {
    ::close(report[0]);
    if (watchOther >= 0) ::close(watchOther);
    pid_t child = ::fork();
    if (child < 0) ReportAndExit(report[1], EAGAIN);
    if (child > 0) ::_exit(0);
    if (watch >= 0) WatchProgram(program, argv, report[1], watch);
    ExecProgram(program, argv, report[1]);
  }
  ::close(report[1]);
  int status = 0;
  while (::waitpid(middle, &status, 0) < 0 && errno == EINTR) {
  }
  int error = 0;
  ssize_t n;
  do {
    n = ::read(report[0], &error, sizeof error);
  } while (n < 0 && errno == EINTR);
  ::close(report[0]);
  if (n == static_cast<ssize_t>(sizeof error)) return MapExecError(error);
  if (n != 0) return WINEXEC_OUT_OF_RESOURCES;
  return WINEXEC_STARTED;
}

}  // namespace

UINT WinExec(const char* commandLine, UINT /*showCommand*/) { return StartDetached(commandLine, -1, -1); }

namespace platform {

UINT WinExecAndWait(const std::string& commandLine, std::int64_t boundMs, ProgramEnd& end) {
  Clock& clock = GetClock();
  const std::int64_t deadline = clock.SteadyMs() + boundMs;
  end = ProgramEnd{};
  int watch[2];
  if (::pipe2(watch, O_CLOEXEC) != 0) return WINEXEC_OUT_OF_RESOURCES;
  const UINT started = StartDetached(commandLine.c_str(), watch[1], watch[0]);
  if (started <= 31) {
    ::close(watch[0]);
    return started;
  }
  for (;;) {
    const std::int64_t left = deadline - clock.SteadyMs();
    if (left <= 0 || WaitReadable(watch[0], left) != 1) break;
    int status = 0;
    const ssize_t n = ::read(watch[0], &status, sizeof status);
    if (n < 0 && errno == EINTR) continue;
    // Nothing read: the watcher went away without telling, so the end is not known.
    if (n == static_cast<ssize_t>(sizeof status)) {
      end.ended = true;
      end.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    break;
  }
  ::close(watch[0]);
  return started;
}

}  // namespace platform

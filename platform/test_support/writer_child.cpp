#include "platform/test_support/writer_child.h"

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/atomic_file.h"

namespace platform::testing {

WriterChild::WriterChild(const std::string& path) {
  int report[2];
  if (pipe(report) != 0) return;
  pid_ = fork();
  if (pid_ == 0) {
    close(report[0]);
    std::string tmp;
    const int fd = platform::fileio::CreateTemporaryBeside(path, &tmp);
    if (fd < 0) _exit(1);
    static const char kPart[] = "half of a file";
    if (write(fd, kPart, sizeof kPart - 1) != static_cast<ssize_t>(sizeof kPart - 1)) _exit(2);
    // The name goes back whole (it is far shorter than PIPE_BUF), then the child waits.
    if (write(report[1], tmp.c_str(), tmp.size()) != static_cast<ssize_t>(tmp.size())) _exit(3);
    close(report[1]);
    for (;;) pause();
  }
  close(report[1]);
  if (pid_ < 0) {
    close(report[0]);
    return;
  }
  char name[4096];
  std::size_t have = 0;
  for (;;) {  // until the child closes its end (after the name) or dies
    const ssize_t n = read(report[0], name + have, sizeof name - have);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    have += static_cast<std::size_t>(n);
    if (have == sizeof name) break;
  }
  close(report[0]);
  temporary_.assign(name, have);
}

WriterChild::~WriterChild() {
  if (pid_ > 0) KillNine();
}

bool WriterChild::KillNine() {
  if (pid_ <= 0) return false;
  kill(pid_, SIGKILL);
  int status = 0;
  pid_t r;
  do {
    r = waitpid(pid_, &status, 0);
  } while (r < 0 && errno == EINTR);
  pid_ = -1;
  return r > 0 && WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
}

bool FileExists(const std::string& path) {
  struct stat st{};
  return lstat(path.c_str(), &st) == 0;
}

}  // namespace platform::testing

// A child process caught in the middle of an atomic file write: it has created its temporary file
// beside the target and written part of it, and waits there until it is killed.
#pragma once
#include <sys/types.h>

#include <string>

namespace platform::testing {

class WriterChild {
 public:
  // Forks the child; it creates a temporary file for `path` and writes into it. started() tells
  // whether it got that far.
  explicit WriterChild(const std::string& path);
  ~WriterChild();  // kills the child if it still runs
  WriterChild(const WriterChild&) = delete;
  WriterChild& operator=(const WriterChild&) = delete;

  bool started() const { return !temporary_.empty(); }
  const std::string& temporary() const { return temporary_; }
  // SIGKILL, then waits for the child to end. True when it was killed by that signal.
  bool KillNine();

 private:
  pid_t pid_ = -1;
  std::string temporary_;
};

bool FileExists(const std::string& path);

}  // namespace platform::testing

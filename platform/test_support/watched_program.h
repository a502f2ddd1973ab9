// For tests and benchmarks: a program started with its standard error on a pipe, read until a
// marker appears. The program is ended (SIGTERM, then reaped) when the object goes.
#pragma once
#include <sys/types.h>

#include <string>
#include <vector>

namespace platform::testing {

class WatchedProgram {
 public:
  // `environment` holds "NAME=value" entries; empty: this process's environment.
  WatchedProgram(const std::vector<std::string>& argv, const std::vector<std::string>& environment = {});
  ~WatchedProgram();
  WatchedProgram(const WatchedProgram&) = delete;
  WatchedProgram& operator=(const WatchedProgram&) = delete;

  bool Started() const { return pid_ > 0; }
  pid_t pid() const { return pid_; }
  // Reads the program's standard error until it holds `marker`, it closes, or `limitMs` passed.
  bool WaitForError(const std::string& marker, int limitMs);
  const std::string& Error() const { return err_; }
  // Sends SIGTERM and reaps the program; its wait status (-1 when it was not started).
  int Terminate();

 private:
  pid_t pid_ = -1;
  int errFd_ = -1;
  bool reaped_ = false;
  int status_ = -1;
  std::string err_;
};

}  // namespace platform::testing

// For tests and benchmarks: a program of the build (or any program) run as a child, its standard
// output and standard error collected as they come, its end and exit code waited for with a bound.
// A program still running when the object goes is ended (SIGTERM, then SIGKILL) and reaped.
#pragma once
#include <sys/types.h>

#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace platform::testing {

class WatchedProgram {
 public:
  struct Options {
    // "NAME=value" entries making the program's whole environment; empty: this process's.
    std::vector<std::string> environment;
    // "NAME=value" entries laid over that environment, each in place of a variable of its name.
    std::vector<std::string> extraEnvironment;
    // Standard input: this file (empty: this process's standard input)...
    std::string inputFile;
    // ...or a pipe held open until CloseInput() (the program sees its end then).
    bool inputPipe = false;
    // Standard output left to this process's, not collected: for a program whose own children
    // outlive this object and would otherwise write into a closed pipe.
    bool passOutput = false;
  };

  // `argv[0]` is the program's path.
  explicit WatchedProgram(const std::vector<std::string>& argv);
  WatchedProgram(const std::vector<std::string>& argv, const Options& options);
  ~WatchedProgram();
  WatchedProgram(const WatchedProgram&) = delete;
  WatchedProgram& operator=(const WatchedProgram&) = delete;

  bool Started() const { return pid_ > 0; }
  pid_t pid() const { return pid_; }

  // What the program wrote so far; once it has ended and been waited for, all it wrote.
  std::string Output();
  std::string Error();
  // Wait (bounded) until the collected output and error satisfy `condition`; false when they did
  // not within `limitMs` or when both pipes closed without it.
  bool WaitForOutput(const std::function<bool(const std::string& out, const std::string& err)>& condition,
                     int limitMs);
  bool WaitForError(const std::string& marker, int limitMs);

  // Closes the input pipe (Options::inputPipe).
  void CloseInput();

  // Waits (bounded) for the program to end; true when it has (or never started).
  bool Wait(int limitMs);
  bool Running() { return !Wait(0); }
  // Waits (bounded) for the end, kills the program past `limitMs`; its ExitCode().
  int WaitForExit(int limitMs = 120000);
  // The exit code once ended: 128 + the signal when a signal ended it, 127 when the program could
  // not be started, -1 while it runs.
  int ExitCode() const;
  void Kill();
  // Sends SIGTERM and waits for the end (after 10 s SIGKILL); its ExitCode().
  int Terminate();

 private:
  void ReadLoop();
  // With mu_ held: reads what the pipes hold now.
  void ReadAvailable();

  pid_t pid_ = -1;
  int pidFd_ = -1;
  bool reaped_ = false;
  int code_ = -1;
  int inFd_ = -1;
  int wake_[2] = {-1, -1};  // ends the reader
  std::thread reader_;
  std::mutex mu_;
  std::condition_variable cv_;
  int fds_[2] = {-1, -1};  // standard output, standard error
  bool eof_[2] = {true, true};
  std::string text_[2];
};

}  // namespace platform::testing

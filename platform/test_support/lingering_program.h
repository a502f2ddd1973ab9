// For tests of waits that give up on a program still running: a shell script that runs on until the
// test tells it to stop, and the stop itself, so that no such program outlives its test (one left
// looking for its folder would hold the test's output open until it gave up).
#pragma once
#include <signal.h>
#include <sys/types.h>

#include <chrono>
#include <fstream>
#include <string>
#include <thread>

namespace platform::testing {

// Shell lines that write the script's process id to <dir>/lingering.pid, then run until
// <dir>/lingering.stop appears (a minute at most).
inline std::string LingeringScript(const std::string& dir) {
  const std::string at = dir + "/lingering";
  return "echo $$ > " + at + ".tmp\nmv " + at + ".tmp " + at + ".pid\nn=0\nwhile [ ! -e " + at +
         ".stop ] && [ $n -lt 600 ]; do sleep 0.1; n=$((n+1)); done\n";
}

// The process id the script in `dir` wrote, once it did (within 10 s); 0 when it did not.
inline pid_t LingeringPid(const std::string& dir) {
  pid_t pid = 0;
  for (int i = 0; i < 1000 && pid == 0; ++i) {
    std::ifstream(dir + "/lingering.pid") >> pid;
    if (pid == 0) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return pid;
}

// Tells the script in `dir` to stop and waits (up to 10 s) until it has gone; true when it has.
inline bool StopLingering(const std::string& dir) {
  const pid_t pid = LingeringPid(dir);
  std::ofstream(dir + "/lingering.stop") << "";
  for (int i = 0; pid > 0 && i < 1000 && ::kill(pid, 0) == 0; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  return pid > 0 && ::kill(pid, 0) != 0;
}

}  // namespace platform::testing

// lumeth_rss_bench: resident memory of the scanner lumeth running without a display, once idle.
//
// Run: <build>/bin/lumeth_rss_bench. Starts lumeth in a root of its own with no display variables
// (no client present, a poll interval long enough that it stays for the measurement), waits until
// its first round has written its cache files and its output has been quiet for a while, and reads
// VmRSS from /proc/<pid>/status. In the same run, a bare QtCore program idling in its event loop
// is measured the same way as the baseline. Prints both, the ratio, the target (lumeth under
// 10 MB, no Qt GUI library mapped), and exits 2 when the target is missed.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "platform/paths.h"
#include "platform/test_support/temp_root.h"

extern char** environ;

namespace {

using Steady = std::chrono::steady_clock;
constexpr long kTargetKb = 10 * 1024;

struct Running {
  pid_t pid = -1;
  int out = -1;
};

Running Spawn(const char* program, const std::vector<std::string>& environment) {
  Running r;
  int out[2];
  if (::pipe2(out, O_CLOEXEC) != 0) return r;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  std::vector<std::string> env;
  for (char** e = environ; *e != nullptr; ++e) {
    const std::string v = *e;
    if (v.rfind("DISPLAY=", 0) == 0 || v.rfind("WAYLAND_DISPLAY=", 0) == 0 || v.rfind("QT_QPA_PLATFORM=", 0) == 0 ||
        v.rfind("PSADMIN_SCANNER_", 0) == 0) {
      continue;
    }
    env.push_back(v);
  }
  env.insert(env.end(), environment.begin(), environment.end());
  std::vector<char*> envp;
  for (auto& v : env) envp.push_back(v.data());
  envp.push_back(nullptr);
  std::string name = program;
  char* argv[] = {name.data(), nullptr};
  if (posix_spawn(&r.pid, program, &actions, nullptr, argv, envp.data()) != 0) r.pid = -1;
  posix_spawn_file_actions_destroy(&actions);
  ::close(out[1]);
  r.out = out[0];
  return r;
}

// Reads the child's output until it holds `needed` and then stays quiet for `quietMs` (bounded).
bool WaitIdle(int fd, const std::string& needed, int quietMs, int limitMs) {
  std::string text;
  const auto end = Steady::now() + std::chrono::milliseconds(limitMs);
  auto lastOutput = Steady::now();
  while (Steady::now() < end) {
    pollfd p{fd, POLLIN, 0};
    const int n = ::poll(&p, 1, 50);
    if (n > 0) {
      char buf[4096];
      const ssize_t got = ::read(fd, buf, sizeof buf);
      if (got <= 0) return false;  // the child ended
      text.append(buf, static_cast<std::size_t>(got));
      lastOutput = Steady::now();
      continue;
    }
    if (text.find(needed) != std::string::npos &&
        Steady::now() - lastOutput >= std::chrono::milliseconds(quietMs)) {
      return true;
    }
  }
  return false;
}

long StatusKb(pid_t pid, const char* field) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  const std::string key = std::string(field) + ":";
  while (std::getline(status, line)) {
    if (line.rfind(key, 0) == 0) return std::strtol(line.c_str() + key.size(), nullptr, 10);
  }
  return -1;
}

bool Maps(pid_t pid, const char* part) {
  std::ifstream maps("/proc/" + std::to_string(pid) + "/maps");
  std::string line;
  while (std::getline(maps, line)) {
    if (line.find(part) != std::string::npos) return true;
  }
  return false;
}

void Stop(Running& r) {
  if (r.pid > 0) {
    ::kill(r.pid, SIGTERM);
    ::waitpid(r.pid, nullptr, 0);
  }
  if (r.out >= 0) ::close(r.out);
}

}  // namespace

int main() {
  platform::testing::TempRoot root;
  platform::MakeDirectories(platform::DataDirectory());

  Running lumeth = Spawn(LUMETH_PROGRAM, {"PSADMIN_SCANNER_TICK_MS=600000", "PSADMIN_SCANNER_WINDOW_MS=200"});
  if (lumeth.pid < 0 || !WaitIdle(lumeth.out, "ss_udp.dat", 1500, 60000)) {
    std::fprintf(stderr, "lumeth_rss_bench: lumeth did not come to rest\n");
    Stop(lumeth);
    return 1;
  }
  const long lumethKb = StatusKb(lumeth.pid, "VmRSS");
  const bool gui = Maps(lumeth.pid, "libQt6Gui") || Maps(lumeth.pid, "libQt6Widgets");
  const bool core = Maps(lumeth.pid, "libQt6Core");
  Stop(lumeth);

  Running baseline = Spawn(QTCORE_IDLE_PROGRAM, {});
  if (baseline.pid < 0 || !WaitIdle(baseline.out, "ready", 1500, 30000)) {
    std::fprintf(stderr, "lumeth_rss_bench: the QtCore baseline did not start\n");
    Stop(baseline);
    return 1;
  }
  const long baselineKb = StatusKb(baseline.pid, "VmRSS");
  Stop(baseline);

  const double ratio = baselineKb > 0 ? static_cast<double>(lumethKb) / static_cast<double>(baselineKb) : 0.0;
  std::printf("lumeth idle without a display: VmRSS %ld kB (target: under %ld kB), Qt GUI libraries %s, "
              "QtCore %s\n",
              lumethKb, kTargetKb, gui ? "loaded" : "not loaded", core ? "loaded" : "not loaded");
  std::printf("bare QtCore program idle: VmRSS %ld kB\n", baselineKb);
  std::printf("ratio lumeth / QtCore baseline: %.3f (target: lumeth under %ld kB and no GUI library)\n", ratio,
              kTargetKb);
  return lumethKb > 0 && lumethKb < kTargetKb && !gui ? 0 : 2;
}

// lumeth_rss_bench: resident memory of the scanner lumeth running without a display, once idle.
//
// Run: <build>/bin/lumeth_rss_bench. Starts lumeth in a root of its own with no display variables
// (no client present, a poll interval long enough that it stays for the measurement), waits until
// its first round has written its cache files and its output has been quiet for a while, and reads
// VmRSS from /proc/<pid>/status. In the same run, a bare QtCore program idling in its event loop
// is measured the same way as the baseline. Prints both, the ratio, the target (lumeth under
// 10 MB, no Qt GUI library mapped), and exits 2 when the target is missed.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/paths.h"
#include "platform/test_support/temp_root.h"
#include "platform/test_support/watched_program.h"

extern char** environ;

namespace {

using Steady = std::chrono::steady_clock;
constexpr long kTargetKb = 10 * 1024;

using platform::testing::WatchedProgram;

// Starts `program` without this process's display and scanner variables, with `environment` added.
std::unique_ptr<WatchedProgram> Spawn(const char* program, const std::vector<std::string>& environment) {
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
  return std::make_unique<WatchedProgram>(std::vector<std::string>{program}, WatchedProgram::Options{.environment = env});
}

// Watches the child's output until it holds `needed` and then stays quiet for `quietMs` (bounded).
bool WaitIdle(WatchedProgram& child, const std::string& needed, int quietMs, int limitMs) {
  const auto end = Steady::now() + std::chrono::milliseconds(limitMs);
  std::size_t seen = 0;
  auto lastOutput = Steady::now();
  while (Steady::now() < end) {
    if (!child.Running()) return false;
    const std::string text = child.Output();
    if (text.size() != seen) {
      seen = text.size();
      lastOutput = Steady::now();
    } else if (text.find(needed) != std::string::npos &&
               Steady::now() - lastOutput >= std::chrono::milliseconds(quietMs)) {
      return true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
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

}  // namespace

int main() {
  platform::testing::TempRoot root;
  platform::MakeDirectories(platform::DataDirectory());

  auto lumeth = Spawn(LUMETH_PROGRAM, {"PSADMIN_SCANNER_TICK_MS=600000", "PSADMIN_SCANNER_WINDOW_MS=200"});
  if (!lumeth->Started() || !WaitIdle(*lumeth, "ss_udp.dat", 1500, 60000)) {
    std::fprintf(stderr, "lumeth_rss_bench: lumeth did not come to rest\n");
    return 1;
  }
  const long lumethKb = StatusKb(lumeth->pid(), "VmRSS");
  const bool gui = Maps(lumeth->pid(), "libQt6Gui") || Maps(lumeth->pid(), "libQt6Widgets");
  const bool core = Maps(lumeth->pid(), "libQt6Core");
  lumeth.reset();

  auto baseline = Spawn(QTCORE_IDLE_PROGRAM, {});
  if (!baseline->Started() || !WaitIdle(*baseline, "ready", 1500, 30000)) {
    std::fprintf(stderr, "lumeth_rss_bench: the QtCore baseline did not start\n");
    return 1;
  }
  const long baselineKb = StatusKb(baseline->pid(), "VmRSS");
  baseline.reset();

  const double ratio = baselineKb > 0 ? static_cast<double>(lumethKb) / static_cast<double>(baselineKb) : 0.0;
  std::printf("lumeth idle without a display: VmRSS %ld kB (target: under %ld kB), Qt GUI libraries %s, "
              "QtCore %s\n",
              lumethKb, kTargetKb, gui ? "loaded" : "not loaded", core ? "loaded" : "not loaded");
  std::printf("bare QtCore program idle: VmRSS %ld kB\n", baselineKb);
  std::printf("ratio lumeth / QtCore baseline: %.3f (target: lumeth under %ld kB and no GUI library)\n", ratio,
              kTargetKb);
  return lumethKb > 0 && lumethKb < kTargetKb && !gui ? 0 : 2;
}

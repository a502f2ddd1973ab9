// The tollard program as a real process, as the README's main command runs it: it starts the
// scanner found beside it, the scanner finds emulated boxes over UDP on loopback and rewrites the
// cache file, and the console's first browse lists them.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "device_client/device_lists/tests/lists_test_support.h"
#include "discovery_scanner/cache/scan_cache.h"
#include "platform/named_objects/named_objects.h"
#include "platform/paths.h"
#include "platform/profile.h"
#include "platform/test_support/temp_root.h"
#include "tools/box_emulator/box_emulator.h"
#include "tools/box_emulator/udp_discovery.h"

extern char** environ;

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// Waits (bounded) until `condition` holds, checking every few milliseconds.
template <class F>
bool WaitFor(F condition, std::chrono::milliseconds limit) {
  const auto end = Clock::now() + limit;
  while (!condition()) {
    if (Clock::now() > end) return false;
    std::this_thread::sleep_for(5ms);
  }
  return true;
}

bool ScannerRuns() {
  HANDLE h = OpenMutex(SYNCHRONIZE, FALSE, "Print Server Lumeth Mutex");
  if (h) CloseHandle(h);
  return h != nullptr;
}

TEST(ConsoleProcess, StartsTheScannerBesideItAndListsTheBoxesItFindsOverUdp) {
  platform::testing::TempRoot root;
  platform::MakeDirectories(platform::DataDirectory());
  // The first browse comes five seconds after the start, when the scanner's first round is done.
  WritePrivateProfileString("general", "RefreshDelay", "50", "common.ini");
  WritePrivateProfileString("ConnectedProtocol", "bTCPIP", "1", "common.ini");

  box_emulator::UdpDiscovery responder(box_emulator::UdpDiscoveryOptions{0, 0, "0.0.0.0"});
  std::vector<std::unique_ptr<box_emulator::Box>> boxes;
  for (int i = 0; i < 2; ++i) {
    box_emulator::BoxOptions o = lists_test::QuickBox();
    o.identity.namePrefix = "PS";
    boxes.push_back(std::make_unique<box_emulator::Box>(o));
    responder.AddBox(boxes.back().get());
  }
  const std::string ports = std::to_string(responder.port()) + "," + std::to_string(responder.port2());
  std::vector<std::string> env = {"QT_QPA_PLATFORM=offscreen", "PSADMIN_CONSOLE_TRACE=1",
                                  "PSADMIN_ROOT=" + root.path(), "PSADMIN_SCANNER_PROTOCOLS=2",
                                  "PSADMIN_SCANNER_ADDRESSES=127.64.0.1/255.192.0.0",
                                  "PSADMIN_SCANNER_UDP_PORTS=" + ports, "PSADMIN_SCANNER_WINDOW_MS=50",
                                  "PSADMIN_SCANNER_TICK_MS=100"};
  for (char** e = environ; *e; ++e) {
    const std::string var = *e;
    if (var.rfind("PSADMIN_", 0) != 0 && var.rfind("QT_QPA_PLATFORM=", 0) != 0) env.push_back(var);
  }
  std::vector<char*> envp;
  for (auto& v : env) envp.push_back(v.data());
  envp.push_back(nullptr);

  int err[2];
  ASSERT_EQ(::pipe2(err, O_CLOEXEC), 0);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, err[1], 2);
  std::string program = TOLLARD_PROGRAM;
  char* argv[] = {program.data(), nullptr};
  pid_t pid = -1;
  ASSERT_EQ(posix_spawn(&pid, program.c_str(), &actions, nullptr, argv, envp.data()), 0);
  posix_spawn_file_actions_destroy(&actions);
  ::close(err[1]);

  std::string text;
  const auto end = Clock::now() + 60s;
  while (text.find("tollard: list shown") == std::string::npos && Clock::now() < end) {
    pollfd p{err[0], POLLIN, 0};
    if (::poll(&p, 1, 100) <= 0) continue;
    char buf[512];
    const ssize_t n = ::read(err[0], buf, sizeof buf);
    if (n <= 0) break;
    text.append(buf, static_cast<std::size_t>(n));
  }
  EXPECT_TRUE(ScannerRuns());
  EXPECT_NE(text.find("tollard: list shown 2"), std::string::npos) << text;
  EXPECT_EQ(scan_cache::LoadScanFile(scan_cache::kUdpFile).size(), 2u);

  ::kill(pid, SIGTERM);
  int status = 0;
  ASSERT_EQ(::waitpid(pid, &status, 0), pid);
  ::close(err[0]);
  // With the console gone the scanner ends itself after four empty polls.
  EXPECT_TRUE(WaitFor([] { return !ScannerRuns(); }, 30s));
}

}  // namespace

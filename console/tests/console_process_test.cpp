// The tollard program as a real process, as the README's main command runs it: it starts the
// scanner found beside it, the scanner finds emulated boxes over UDP on loopback and rewrites the
// cache file, and the console's first browse lists them.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "device_client/device_lists/tests/lists_test_support.h"
#include "device_client/core/scan_cache/scan_cache.h"
#include "platform/named_objects/named_objects.h"
#include "platform/paths.h"
#include "platform/profile.h"
#include "platform/test_support/temp_root.h"
#include "platform/test_support/watched_program.h"
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
  platform::testing::WatchedProgram console({TOLLARD_PROGRAM}, {.environment = env});
  ASSERT_TRUE(console.Started());
  console.WaitForError("tollard: list shown", 60000);
  EXPECT_TRUE(ScannerRuns());
  EXPECT_NE(console.Error().find("tollard: list shown 2"), std::string::npos) << console.Error();
  EXPECT_EQ(scan_cache::LoadScanFile(scan_cache::kUdpFile).size(), 2u);

  console.Terminate();
  // With the console gone the scanner ends itself after four empty polls.
  EXPECT_TRUE(WaitFor([] { return !ScannerRuns(); }, 30s));
}

}  // namespace

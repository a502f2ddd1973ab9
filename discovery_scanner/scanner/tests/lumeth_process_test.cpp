// The lumeth program as a real process in a temporary root, with a short poll and short windows,
// and stand-in client programs holding the presence events.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "device_client/core/scan_cache/scan_cache.h"
#include "discovery_scanner/scanner/scanner_core.h"
#include "platform/named_objects/named_objects.h"
#include "platform/paths.h"
#include "platform/process/process.h"
#include "platform/test_support/temp_root.h"
#include "platform/test_support/watched_program.h"
#include "tools/box_emulator/box_emulator.h"
#include "tools/box_emulator/udp_discovery.h"

namespace lumeth {
namespace {

using namespace std::chrono_literals;

using platform::testing::WatchedProgram;

// A child program with its standard input held open (a client holds its presence until it closes)
// and its output collected.
std::unique_ptr<WatchedProgram> Start(const std::string& program, const std::vector<std::string>& args) {
  std::vector<std::string> argv = {program};
  argv.insert(argv.end(), args.begin(), args.end());
  auto child = std::make_unique<WatchedProgram>(argv, WatchedProgram::Options{.inputPipe = true});
  EXPECT_TRUE(child->Started()) << program;
  return child;
}

int Count(const std::string& text, const std::string& line) {
  int n = 0;
  for (std::size_t at = text.find(line); at != std::string::npos; at = text.find(line, at + 1)) {
    const std::size_t end = at + line.size();
    if (end == text.size() || text[end] == '\n') ++n;
  }
  return n;
}

class LumethProcessTest : public ::testing::Test {
 protected:
  LumethProcessTest() {
    platform::MakeDirectories(platform::DataDirectory());
    for (const char* v : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) ::unsetenv(v);
    ::setenv("PSADMIN_SCANNER_TICK_MS", "100", 1);
    ::setenv("PSADMIN_SCANNER_WINDOW_MS", "50", 1);
    ::setenv("PSADMIN_SCANNER_PROTOCOLS", "2", 1);
    ::setenv("PSADMIN_SCANNER_TRACE", "1", 1);
    ::setenv("PSADMIN_SCANNER_ADDRESSES", "127.64.0.1/255.192.0.0", 1);
    responder_ = std::make_unique<box_emulator::UdpDiscovery>(box_emulator::UdpDiscoveryOptions{0, 0, "0.0.0.0"});
    const std::string ports = std::to_string(responder_->port()) + "," + std::to_string(responder_->port2());
    ::setenv("PSADMIN_SCANNER_UDP_PORTS", ports.c_str(), 1);
  }
  ~LumethProcessTest() override {
    for (const char* v : {"PSADMIN_SCANNER_TICK_MS", "PSADMIN_SCANNER_WINDOW_MS", "PSADMIN_SCANNER_PROTOCOLS",
                          "PSADMIN_SCANNER_TRACE", "PSADMIN_SCANNER_ADDRESSES", "PSADMIN_SCANNER_UDP_PORTS"}) {
      ::unsetenv(v);
    }
  }

  std::unique_ptr<WatchedProgram> Scanner() { return Start(LUMETH_PROGRAM, {}); }
  std::unique_ptr<WatchedProgram> Client(const std::vector<std::string>& args) {
    auto c = Start(LUMETH_TEST_CLIENT, args);
    EXPECT_TRUE(c->WaitForOutput([](const std::string& out, const std::string&) { return out == "ready\n"; }, 20000));
    return c;
  }
  static auto Has(const std::string& line, int times = 1) {
    return [line, times](const std::string&, const std::string& err) { return Count(err, line) >= times; };
  }

  platform::testing::TempRoot root_;
  std::unique_ptr<box_emulator::UdpDiscovery> responder_;
};

TEST_F(LumethProcessTest, ASecondScannerEndsAtOnceAndTheFirstKeepsRunning) {
  auto client = Client({"tollard"});
  auto first = Scanner();
  ASSERT_TRUE(first->WaitForOutput(Has("lumeth: poll clients=1"), 20000));
  auto second = Scanner();
  ASSERT_TRUE(second->Wait(10000));
  EXPECT_EQ(second->ExitCode(), 0);
  EXPECT_EQ(second->Error().find("lumeth: protocols"), std::string::npos);
  EXPECT_TRUE(first->Running());
}

TEST_F(LumethProcessTest, ScannersStartedTogetherLeaveExactlyOneRunning) {
  auto client = Client({"wizard"});
  std::vector<std::unique_ptr<WatchedProgram>> scanners;
  for (int i = 0; i < 4; ++i) scanners.push_back(Scanner());
  // Those that lost end at once (however slowly a loaded machine starts them); the winner polls.
  auto ended = [&] {
    int n = 0;
    for (auto& s : scanners) n += s->Running() ? 0 : 1;
    return n;
  };
  const auto limit = std::chrono::steady_clock::now() + 20s;
  while (ended() < 3 && std::chrono::steady_clock::now() < limit) std::this_thread::sleep_for(5ms);
  ASSERT_EQ(ended(), 3);
  for (auto& s : scanners) {
    if (s->Running()) {
      EXPECT_TRUE(s->WaitForOutput(Has("lumeth: poll clients=1"), 20000));
      EXPECT_TRUE(s->Running());
    } else {
      EXPECT_EQ(s->Error().find("lumeth: poll"), std::string::npos);
    }
  }
}

TEST_F(LumethProcessTest, WithoutClientsOneRoundThenTheFourthEmptyPollEnds) {
  auto scanner = Scanner();
  ASSERT_TRUE(scanner->Wait(20000));
  const std::string err = scanner->Error();
  EXPECT_EQ(Count(err, "lumeth: round"), 1) << err;
  EXPECT_EQ(Count(err, "lumeth: poll clients=0"), 4) << err;
  EXPECT_EQ(OpenMutex(SYNCHRONIZE, FALSE, kScannerMutexName), nullptr);
}

// A scanner that cannot make its named objects says which one, where and why, and ends.
TEST_F(LumethProcessTest, WithoutItsNamedObjectsTheScannerSaysWhyAndEnds) {
  const std::string objects = platform::JoinPath(platform::Root(), "objects");
  std::filesystem::remove_all(objects);
  std::ofstream(objects) << "not a folder";
  auto scanner = Scanner();
  ASSERT_TRUE(scanner->Wait(20000));
  EXPECT_EQ(scanner->ExitCode(), 1);
  const std::string err = scanner->Error();
  EXPECT_NE(err.find("lumeth: cannot create the mutex \"Print Server Lumeth Mutex\" in " + objects + ": "),
            std::string::npos)
      << err;
  EXPECT_EQ(err.find("lumeth: round"), std::string::npos) << err;
}

// The libraries a running process has mapped whose file name holds `part`.
std::string MappedLibraries(pid_t pid, const std::string& part) {
  std::ifstream maps("/proc/" + std::to_string(pid) + "/maps");
  std::string line, found;
  while (std::getline(maps, line)) {
    const std::size_t slash = line.rfind('/');
    if (slash != std::string::npos && line.find(part, slash) != std::string::npos) found += line.substr(slash) + "\n";
  }
  return found;
}

TEST_F(LumethProcessTest, WithoutADisplayNoQtLibraryIsLoaded) {
  auto client = Client({"tollard"});
  auto scanner = Scanner();
  ASSERT_TRUE(scanner->WaitForOutput(Has("lumeth: poll clients=1"), 20000));
  ASSERT_TRUE(scanner->WaitForOutput([](const std::string& out, const std::string&) {
    return out.find("ss_udp.dat") != std::string::npos;
  }, 20000));
  EXPECT_EQ(MappedLibraries(scanner->pid(), "libQt6"), "");

  // With one, the window module brings them in.
#if !LUMETH_WINDOW_MODULE
  GTEST_SKIP() << "built without the window";
#endif
  auto client2 = Client({"wizard"});
  ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
  scanner.reset();
  auto windowed = Scanner();
  ::unsetenv("QT_QPA_PLATFORM");
  ASSERT_TRUE(windowed->WaitForOutput(Has("lumeth: round"), 20000));
  EXPECT_NE(MappedLibraries(windowed->pid(), "libQt6Widgets"), "");
}

TEST_F(LumethProcessTest, WithoutItsWindowModuleTheProgramRunsWithoutAWindow) {
  // A copy of the program in a folder of its own, without the module beside it.
  const std::string copy = platform::DataDirectory() + "lumeth";
  std::filesystem::copy_file(LUMETH_PROGRAM, copy);
  ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
  auto scanner = Start(copy, {"1"});
  ::unsetenv("QT_QPA_PLATFORM");
  ASSERT_TRUE(scanner->Wait(20000));
  EXPECT_EQ(scanner->ExitCode(), 0);
  const std::string err = scanner->Error();
  EXPECT_NE(err.find("lumeth: no window"), std::string::npos) << err;
  EXPECT_EQ(Count(err, "lumeth: poll clients=0"), 4) << err;
  EXPECT_TRUE(scanner->WaitForOutput([](const std::string& out, const std::string&) {
    return out.find(" devices") != std::string::npos;  // the log goes to the output
  }, 20000)) << scanner->Output();
}

TEST_F(LumethProcessTest, TheWindowedProgramWithTrayBehavesTheSame) {
#if !LUMETH_WINDOW_MODULE
  GTEST_SKIP() << "built without the window";
#endif
  ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
  auto scanner = Start(LUMETH_PROGRAM, {"1"});
  ::unsetenv("QT_QPA_PLATFORM");
  ASSERT_TRUE(scanner->Wait(20000));
  EXPECT_EQ(scanner->ExitCode(), 0);
  const std::string err = scanner->Error();
  EXPECT_EQ(Count(err, "lumeth: round"), 1) << err;
  EXPECT_EQ(Count(err, "lumeth: poll clients=0"), 4) << err;
  EXPECT_TRUE(scanner->Output().empty());  // the log goes to the window, not to the output
}

TEST_F(LumethProcessTest, OneClientWithPauseResetHoldsRoundsBackTwoClientsDoNot) {
  auto console = Client({"tollard", "reset-pause"});
  auto scanner = Scanner();
  ASSERT_TRUE(scanner->WaitForOutput(Has("lumeth: round skipped", 3), 20000));
  EXPECT_EQ(Count(scanner->Error(), "lumeth: round"), 1);  // only the first round at start
  auto wizard = Client({"wizard"});
  ASSERT_TRUE(scanner->WaitForOutput(Has("lumeth: round", 2), 20000));
  ASSERT_TRUE(scanner->WaitForOutput(Has("lumeth: poll clients=2"), 20000));
  console->CloseInput();
  wizard->CloseInput();
  ASSERT_TRUE(console->Wait(10000));
  ASSERT_TRUE(wizard->Wait(10000));
  EXPECT_TRUE(scanner->Wait(20000));
}

TEST_F(LumethProcessTest, TerminationEndsTheScannerAndFreesItsObjects) {
  auto client = Client({"tollard"});
  auto scanner = Scanner();
  ASSERT_TRUE(scanner->WaitForOutput(Has("lumeth: poll clients=1"), 20000));
  ::kill(scanner->pid(), SIGTERM);
  ASSERT_TRUE(scanner->Wait(10000));
  EXPECT_EQ(scanner->ExitCode(), 0);
  EXPECT_EQ(OpenMutex(SYNCHRONIZE, FALSE, kScannerMutexName), nullptr);
}

TEST_F(LumethProcessTest, AKilledClientCountsAsGone) {
  auto client = Client({"addprinter"});
  auto scanner = Scanner();
  ASSERT_TRUE(scanner->WaitForOutput(Has("lumeth: poll clients=1"), 20000));
  client->Kill();
  ASSERT_TRUE(client->Wait(10000));
  EXPECT_TRUE(scanner->Wait(20000));
  EXPECT_GE(Count(scanner->Error(), "lumeth: poll clients=0"), 4);
}

TEST_F(LumethProcessTest, AClientStartsTheScannerWithoutKeepingItselfPresentThroughIt) {
  HANDLE presence = CreateEvent(TRUE, TRUE, kPresenceEventNames[0]);
  ::unsetenv("PSADMIN_SCANNER_TRACE");  // the detached scanner writes to this test's output
  ASSERT_GT(WinExec(LUMETH_PROGRAM, SW_HIDE), 31u);
  auto scannerRuns = [] {
    HANDLE m = OpenMutex(SYNCHRONIZE, FALSE, kScannerMutexName);
    if (m != nullptr) CloseHandle(m);
    return m != nullptr;
  };
  auto waitFor = [](const std::function<bool()>& condition) {
    for (int i = 0; i < 4000; ++i) {
      if (condition()) return true;
      std::this_thread::sleep_for(5ms);
    }
    return false;
  };
  ASSERT_TRUE(waitFor(scannerRuns));
  CloseHandle(presence);
  EXPECT_TRUE(waitFor([&] { return !scannerRuns(); }));
}

TEST_F(LumethProcessTest, EmulatedBoxesAppearInTheCacheFilesWithTheirFields) {
  box_emulator::Box near1, near2;
  near1.SetDeviceName("Front-Desk");
  responder_->AddBox(&near1);
  responder_->AddBox(&near2);
  std::array<std::uint8_t, wire::pid::kSize> farBlock = near2.DeviceInfoBlock();
  std::memcpy(&farBlock[wire::pid::kDefaultName], "KVFARAWAY\0", 10);
  responder_->AddBlock("127.0.9.9", farBlock);

  auto client = Client({"tollard"});
  auto scanner = Scanner();
  ASSERT_TRUE(scanner->WaitForOutput([](const std::string& out, const std::string&) {
    return out.find("ss_udp.dat      2 devices") != std::string::npos &&
           out.find("ss_udp2.dat      3 devices") != std::string::npos;
  }, 20000));
  const auto udp = scan_cache::LoadScanFile(scan_cache::kUdpFile);
  ASSERT_EQ(udp.size(), 2u);
  for (const auto& r : udp) {
    box_emulator::Box* box = std::string(r.szDefaultName) == near1.DefaultName() ? &near1 : &near2;
    EXPECT_EQ(std::string(r.szDefaultName, strnlen(r.szDefaultName, 20)), box->DefaultName());
    EXPECT_EQ(r.iProtocol, 2);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(r.address)), box->Address());
    EXPECT_EQ(std::string(r.szLocalAddress), "127.64.0.1");
    EXPECT_EQ(std::string(r.szDeviceName, strnlen(r.szDeviceName, 20)), box->DeviceName());
  }
  const auto udp2 = scan_cache::LoadScanFile(scan_cache::kUdp2File);
  ASSERT_EQ(udp2.size(), 3u);
  bool far = false;
  for (const auto& r : udp2) {
    EXPECT_EQ(r.iProtocol, 8);
    far = far || std::string(reinterpret_cast<const char*>(r.address)) == "127.0.9.9";
  }
  EXPECT_TRUE(far);
  // The routes whose protocols were not started left no files.
  EXPECT_EQ(::access((platform::DataDirectory() + scan_cache::kIpxFile).c_str(), F_OK), -1);
  client->CloseInput();
  EXPECT_TRUE(scanner->Wait(20000));
}

}  // namespace
}  // namespace lumeth

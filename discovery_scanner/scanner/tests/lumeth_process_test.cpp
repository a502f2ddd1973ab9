// The lumeth program as a real process in a temporary root, with a short poll and short windows,
// and stand-in client programs holding the presence events.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "device_client/core/scan_cache/scan_cache.h"
#include "discovery_scanner/scanner/scanner_core.h"
#include "platform/named_objects/named_objects.h"
#include "platform/paths.h"
#include "platform/process/process.h"
#include "platform/test_support/temp_root.h"
#include "tools/box_emulator/box_emulator.h"
#include "tools/box_emulator/udp_discovery.h"

extern char** environ;

namespace lumeth {
namespace {

using namespace std::chrono_literals;

// A child program with its standard input held open and its output collected.
class Child {
 public:
  Child(const std::string& program, const std::vector<std::string>& args) {
    int in[2], out[2], err[2];
    EXPECT_EQ(::pipe2(in, O_CLOEXEC), 0);
    EXPECT_EQ(::pipe2(out, O_CLOEXEC), 0);
    EXPECT_EQ(::pipe2(err, O_CLOEXEC), 0);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_adddup2(&actions, err[1], 2);
    std::vector<std::string> all = {program};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : all) argv.push_back(a.data());
    argv.push_back(nullptr);
    EXPECT_EQ(posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(), environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    ::close(in[0]);
    ::close(out[1]);
    ::close(err[1]);
    stdin_ = in[1];
    readers_.emplace_back(&Child::Read, this, out[0], &out_);
    readers_.emplace_back(&Child::Read, this, err[0], &err_);
  }
  ~Child() {
    if (!exited_) {
      ::kill(pid_, SIGKILL);
      Wait(10s);
    }
    if (stdin_ >= 0) ::close(stdin_);
    for (auto& t : readers_) t.join();
  }

  pid_t pid() const { return pid_; }
  void CloseInput() {
    ::close(stdin_);
    stdin_ = -1;
  }
  void Kill() { ::kill(pid_, SIGKILL); }
  // Waits (bounded) for the child to end; true when it did.
  bool Wait(std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!exited_) {
      int status = 0;
      pid_t r = ::waitpid(pid_, &status, WNOHANG);
      if (r == pid_) {
        exited_ = true;
        status_ = status;
        break;
      }
      if (std::chrono::steady_clock::now() > end) return false;
      std::this_thread::sleep_for(5ms);
    }
    return true;
  }
  bool Alive() {
    if (exited_) return false;
    return !Wait(0ms);
  }
  int ExitCode() const { return WIFEXITED(status_) ? WEXITSTATUS(status_) : -1; }

  // Waits (bounded) until the collected standard output or error satisfies `condition`.
  bool WaitOutput(const std::function<bool(const std::string& out, const std::string& err)>& condition,
                  std::chrono::milliseconds limit = 20s) {
    std::unique_lock<std::mutex> lock(mu_);
    return cv_.wait_for(lock, limit, [&] { return condition(out_, err_); });
  }
  // Once the child has ended, what it wrote last may still be in the pipes: these wait (bounded)
  // until both readers have seen the end before answering.
  std::string Err() {
    std::unique_lock<std::mutex> lock(mu_);
    if (exited_) cv_.wait_for(lock, 10s, [&] { return closed_ == 2; });
    return err_;
  }
  std::string Out() {
    std::unique_lock<std::mutex> lock(mu_);
    if (exited_) cv_.wait_for(lock, 10s, [&] { return closed_ == 2; });
    return out_;
  }

 private:
  void Read(int fd, std::string* into) {
    char buf[4096];
    ssize_t n;
    while ((n = ::read(fd, buf, sizeof buf)) > 0) {
      std::lock_guard<std::mutex> lock(mu_);
      into->append(buf, static_cast<std::size_t>(n));
      cv_.notify_all();
    }
    ::close(fd);
    std::lock_guard<std::mutex> lock(mu_);
    ++closed_;
    cv_.notify_all();
  }

  pid_t pid_ = -1;
  int stdin_ = -1;
  bool exited_ = false;
  int status_ = 0;
  int closed_ = 0;  // readers that have seen the end of their pipe
  std::mutex mu_;
  std::condition_variable cv_;
  std::string out_, err_;
  std::vector<std::thread> readers_;
};

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

  std::unique_ptr<Child> Scanner() { return std::make_unique<Child>(LUMETH_PROGRAM, std::vector<std::string>{}); }
  std::unique_ptr<Child> Client(const std::vector<std::string>& args) {
    auto c = std::make_unique<Child>(LUMETH_TEST_CLIENT, args);
    EXPECT_TRUE(c->WaitOutput([](const std::string& out, const std::string&) { return out == "ready\n"; }));
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
  ASSERT_TRUE(first->WaitOutput(Has("lumeth: poll clients=1")));
  auto second = Scanner();
  ASSERT_TRUE(second->Wait(10s));
  EXPECT_EQ(second->ExitCode(), 0);
  EXPECT_EQ(second->Err().find("lumeth: protocols"), std::string::npos);
  EXPECT_TRUE(first->Alive());
}

TEST_F(LumethProcessTest, ScannersStartedTogetherLeaveExactlyOneRunning) {
  auto client = Client({"wizard"});
  std::vector<std::unique_ptr<Child>> scanners;
  for (int i = 0; i < 4; ++i) scanners.push_back(Scanner());
  // Those that lost end at once (however slowly a loaded machine starts them); the winner polls.
  auto ended = [&] {
    int n = 0;
    for (auto& s : scanners) n += s->Alive() ? 0 : 1;
    return n;
  };
  const auto limit = std::chrono::steady_clock::now() + 20s;
  while (ended() < 3 && std::chrono::steady_clock::now() < limit) std::this_thread::sleep_for(5ms);
  ASSERT_EQ(ended(), 3);
  for (auto& s : scanners) {
    if (s->Alive()) {
      EXPECT_TRUE(s->WaitOutput(Has("lumeth: poll clients=1")));
      EXPECT_TRUE(s->Alive());
    } else {
      EXPECT_EQ(s->Err().find("lumeth: poll"), std::string::npos);
    }
  }
}

TEST_F(LumethProcessTest, WithoutClientsOneRoundThenTheFourthEmptyPollEnds) {
  auto scanner = Scanner();
  ASSERT_TRUE(scanner->Wait(20s));
  const std::string err = scanner->Err();
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
  ASSERT_TRUE(scanner->Wait(20s));
  EXPECT_EQ(scanner->ExitCode(), 1);
  const std::string err = scanner->Err();
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
  ASSERT_TRUE(scanner->WaitOutput(Has("lumeth: poll clients=1")));
  ASSERT_TRUE(scanner->WaitOutput([](const std::string& out, const std::string&) {
    return out.find("ss_udp.dat") != std::string::npos;
  }));
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
  ASSERT_TRUE(windowed->WaitOutput(Has("lumeth: round")));
  EXPECT_NE(MappedLibraries(windowed->pid(), "libQt6Widgets"), "");
}

TEST_F(LumethProcessTest, WithoutItsWindowModuleTheProgramRunsWithoutAWindow) {
  // A copy of the program in a folder of its own, without the module beside it.
  const std::string copy = platform::DataDirectory() + "lumeth";
  std::filesystem::copy_file(LUMETH_PROGRAM, copy);
  ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
  auto scanner = std::make_unique<Child>(copy, std::vector<std::string>{"1"});
  ::unsetenv("QT_QPA_PLATFORM");
  ASSERT_TRUE(scanner->Wait(20s));
  EXPECT_EQ(scanner->ExitCode(), 0);
  const std::string err = scanner->Err();
  EXPECT_NE(err.find("lumeth: no window"), std::string::npos) << err;
  EXPECT_EQ(Count(err, "lumeth: poll clients=0"), 4) << err;
  EXPECT_TRUE(scanner->WaitOutput([](const std::string& out, const std::string&) {
    return out.find(" devices") != std::string::npos;  // the log goes to the output
  })) << scanner->Out();
}

TEST_F(LumethProcessTest, TheWindowedProgramWithTrayBehavesTheSame) {
#if !LUMETH_WINDOW_MODULE
  GTEST_SKIP() << "built without the window";
#endif
  ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
  auto scanner = std::make_unique<Child>(LUMETH_PROGRAM, std::vector<std::string>{"1"});
  ::unsetenv("QT_QPA_PLATFORM");
  ASSERT_TRUE(scanner->Wait(20s));
  EXPECT_EQ(scanner->ExitCode(), 0);
  const std::string err = scanner->Err();
  EXPECT_EQ(Count(err, "lumeth: round"), 1) << err;
  EXPECT_EQ(Count(err, "lumeth: poll clients=0"), 4) << err;
  EXPECT_TRUE(scanner->Out().empty());  // the log goes to the window, not to the output
}

TEST_F(LumethProcessTest, OneClientWithPauseResetHoldsRoundsBackTwoClientsDoNot) {
  auto console = Client({"tollard", "reset-pause"});
  auto scanner = Scanner();
  ASSERT_TRUE(scanner->WaitOutput(Has("lumeth: round skipped", 3)));
  EXPECT_EQ(Count(scanner->Err(), "lumeth: round"), 1);  // only the first round at start
  auto wizard = Client({"wizard"});
  ASSERT_TRUE(scanner->WaitOutput(Has("lumeth: round", 2)));
  ASSERT_TRUE(scanner->WaitOutput(Has("lumeth: poll clients=2")));
  console->CloseInput();
  wizard->CloseInput();
  ASSERT_TRUE(console->Wait(10s));
  ASSERT_TRUE(wizard->Wait(10s));
  EXPECT_TRUE(scanner->Wait(20s));
}

TEST_F(LumethProcessTest, TerminationEndsTheScannerAndFreesItsObjects) {
  auto client = Client({"tollard"});
  auto scanner = Scanner();
  ASSERT_TRUE(scanner->WaitOutput(Has("lumeth: poll clients=1")));
  ::kill(scanner->pid(), SIGTERM);
  ASSERT_TRUE(scanner->Wait(10s));
  EXPECT_EQ(scanner->ExitCode(), 0);
  EXPECT_EQ(OpenMutex(SYNCHRONIZE, FALSE, kScannerMutexName), nullptr);
}

TEST_F(LumethProcessTest, AKilledClientCountsAsGone) {
  auto client = Client({"addprinter"});
  auto scanner = Scanner();
  ASSERT_TRUE(scanner->WaitOutput(Has("lumeth: poll clients=1")));
  client->Kill();
  ASSERT_TRUE(client->Wait(10s));
  EXPECT_TRUE(scanner->Wait(20s));
  EXPECT_GE(Count(scanner->Err(), "lumeth: poll clients=0"), 4);
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
  ASSERT_TRUE(scanner->WaitOutput([](const std::string& out, const std::string&) {
    return out.find("ss_udp.dat      2 devices") != std::string::npos &&
           out.find("ss_udp2.dat      3 devices") != std::string::npos;
  }));
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
  EXPECT_TRUE(scanner->Wait(20s));
}

}  // namespace
}  // namespace lumeth

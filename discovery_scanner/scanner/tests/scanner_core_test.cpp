// The scanner core with stand-in routes: the single-instance guard, the presence poll, the pause
// rule, busy routes, the cache files the workers write and the end of the program.
#include "discovery_scanner/scanner/scanner_core.h"

#include <gtest/gtest.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <cstring>
#include <string>
#include <vector>

#include "device_client/core/scan_cache/scan_cache.h"
#include "platform/paths.h"
#include "platform/test_support/temp_root.h"

namespace lumeth {
namespace {

class FakeRoute : public ScanRoute {
 public:
  FakeRoute(const char* name, const char* file) : name_(name), file_(file), release_(::eventfd(0, EFD_CLOEXEC)) {}
  ~FakeRoute() override { ::close(release_); }
  const char* Name() const override { return name_; }
  const char* FileName() const override { return file_; }
  bool Scan(const ScanContext& context, std::vector<scan_cache::ScanCacheRecord>* records) override {
    ++scans;
    if (hold) {
      context.stop->WaitReadable(release_, 60000);  // until released or stopped
      ended = true;
    }
    for (int i = 0; i < found; ++i) {
      scan_cache::ScanCacheRecord r{};
      std::snprintf(r.szDefaultName, sizeof r.szDefaultName, "%s%d", name_, i);
      r.iProtocol = 2;
      records->push_back(r);
    }
    return succeed;
  }
  void Release() {
    std::uint64_t one = 1;
    ssize_t n = ::write(release_, &one, sizeof one);
    (void)n;
  }

  std::atomic<int> scans{0};
  std::atomic<bool> hold{false}, ended{false};
  int found = 0;
  bool succeed = true;

 private:
  const char* name_;
  const char* file_;
  int release_;
};

class ScannerCoreTest : public ::testing::Test {
 protected:
  ScannerCoreTest() {
    platform::MakeDirectories(platform::DataDirectory());
    options_.protocols = kTcpOnly;
  }
  ~ScannerCoreTest() override {
    for (HANDLE h : clients_) CloseHandle(h);
  }

  std::unique_ptr<LumethCore> MakeCore() {
    LumethCore::Routes routes;
    const char* names[kRouteCount] = {"nb", "udp2", "ipx", "udp"};
    const char* files[kRouteCount] = {scan_cache::kNetBiosFile, scan_cache::kUdp2File, scan_cache::kIpxFile,
                                      scan_cache::kUdpFile};
    for (int i = 0; i < kRouteCount; ++i) {
      auto route = std::make_unique<FakeRoute>(names[i], files[i]);
      fake_[i] = route.get();
      routes[static_cast<std::size_t>(i)] = std::move(route);
    }
    return std::make_unique<LumethCore>(options_, std::move(routes));
  }

  void AddClient(int which) { clients_.push_back(CreateEvent(TRUE, TRUE, kPresenceEventNames[which])); }
  void DropClients() {
    for (HANDLE h : clients_) CloseHandle(h);
    clients_.clear();
  }
  int Scans(int route) const { return fake_[route]->scans.load(); }

  static constexpr int kTcpOnly = 2;
  platform::testing::TempRoot root_;
  ScannerOptions options_;
  FakeRoute* fake_[kRouteCount] = {};
  std::vector<HANDLE> clients_;
};

TEST_F(ScannerCoreTest, OnlyOneScannerRunsAtATime) {
  auto first = MakeCore();
  auto second = MakeCore();
  ASSERT_EQ(first->Start(), LumethCore::StartResult::kStarted);
  EXPECT_EQ(second->Start(), LumethCore::StartResult::kAlreadyRunning);
  first->Shutdown();
  EXPECT_EQ(second->Start(), LumethCore::StartResult::kStarted);
  second->Shutdown();

  // A scan-file mutex that somebody else holds also ends start-up.
  HANDLE scanFile = CreateMutex(FALSE, scan_cache::kScanFileMutexName);
  EXPECT_EQ(first->Start(), LumethCore::StartResult::kAlreadyRunning);
  CloseHandle(scanFile);
  EXPECT_EQ(first->Start(), LumethCore::StartResult::kStarted);
}

TEST_F(ScannerCoreTest, PauseEventHoldsRoundsBackOnlyForASingleClient) {
  struct Case {
    int clients;
    bool pauseReset;
    bool round;
  } cases[] = {{1, false, true}, {1, true, false}, {2, true, true}, {3, true, true}, {2, false, true}};
  for (const Case& c : cases) {
    auto core = MakeCore();
    ASSERT_EQ(core->Start(), LumethCore::StartResult::kStarted);
    core->StartProtocols();
    for (int i = 0; i < c.clients; ++i) AddClient(i);
    HANDLE pause = OpenEvent(EVENT_MODIFY_STATE, FALSE, kPauseEventName);
    ASSERT_NE(pause, nullptr);
    if (c.pauseReset) ResetEvent(pause);
    EXPECT_TRUE(core->OnTimer());
    core->JoinWorkers();
    EXPECT_EQ(core->clientCount(), c.clients);
    EXPECT_EQ(Scans(kRouteUdp), c.round ? 1 : 0) << c.clients << " clients, reset " << c.pauseReset;
    CloseHandle(pause);
    core->Shutdown();
    DropClients();
  }
}

TEST_F(ScannerCoreTest, FirstRoundRunsWithoutClientsAndTheFourthEmptyPollEnds) {
  auto core = MakeCore();
  ASSERT_EQ(core->Start(), LumethCore::StartResult::kStarted);
  core->StartProtocols();
  HANDLE pause = OpenEvent(EVENT_MODIFY_STATE, FALSE, kPauseEventName);
  ResetEvent(pause);  // not looked at without clients
  EXPECT_TRUE(core->StartScanRound());
  core->JoinWorkers();
  EXPECT_EQ(Scans(kRouteUdp), 1);
  CloseHandle(pause);

  EXPECT_TRUE(core->OnTimer());
  EXPECT_TRUE(core->OnTimer());
  AddClient(1);  // a client seen in between starts the count again
  EXPECT_TRUE(core->OnTimer());
  DropClients();
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(core->OnTimer()) << i;
  EXPECT_FALSE(core->OnTimer());
  // Everything was let go: another scanner can start now.
  auto next = MakeCore();
  EXPECT_EQ(next->Start(), LumethCore::StartResult::kStarted);
}

TEST_F(ScannerCoreTest, AClientArrivingWhileTheScannerLeavesKeepsItRunning) {
  auto core = MakeCore();
  ASSERT_EQ(core->Start(), LumethCore::StartResult::kStarted);
  core->StartProtocols();
  core->SetLeavingHook([this] { AddClient(0); });
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(core->OnTimer());
  EXPECT_TRUE(core->OnTimer());
  core->JoinWorkers();
  EXPECT_EQ(Scans(kRouteUdp), 1);
  auto other = MakeCore();
  EXPECT_EQ(other->Start(), LumethCore::StartResult::kAlreadyRunning);  // it holds the guard again

  // When a new scanner took the guard meanwhile, the old one leaves.
  DropClients();
  std::unique_ptr<LumethCore> newcomer;
  core->SetLeavingHook([&] {
    AddClient(0);
    newcomer = MakeCore();
    EXPECT_EQ(newcomer->Start(), LumethCore::StartResult::kStarted);
  });
  DropClients();
  for (int i = 0; i < 3; ++i) core->OnTimer();
  core->SetLeavingHook([&] {
    newcomer = MakeCore();
    EXPECT_EQ(newcomer->Start(), LumethCore::StartResult::kStarted);
    AddClient(0);
  });
  EXPECT_FALSE(core->OnTimer());
}

TEST_F(ScannerCoreTest, ABusyRouteIsNotStartedAgainAndFailedProtocolsStayOff) {
  auto core = MakeCore();
  ASSERT_EQ(core->Start(), LumethCore::StartResult::kStarted);
  core->StartProtocols();
  fake_[kRouteUdp]->hold = true;
  core->StartScanRound();
  // Waits (bounded) until the other route's worker of the first round has ended.
  for (int i = 0; i < 5000 && core->RouteBusy(kRouteUdp2); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  ASSERT_FALSE(core->RouteBusy(kRouteUdp2));
  ASSERT_TRUE(core->RouteBusy(kRouteUdp));
  core->StartScanRound();
  fake_[kRouteUdp]->Release();
  core->JoinWorkers();
  EXPECT_EQ(Scans(kRouteUdp), 1);
  EXPECT_EQ(Scans(kRouteUdp2), 2);
  EXPECT_EQ(Scans(kRouteNetBios), 0);  // only TCP/IP was started
  EXPECT_EQ(Scans(kRouteIpx), 0);
  EXPECT_TRUE(core->RouteBusy(kRouteNetBios));
  fake_[kRouteUdp]->hold = false;
  core->StartScanRound();
  core->JoinWorkers();
  EXPECT_EQ(Scans(kRouteUdp), 2);
}

TEST_F(ScannerCoreTest, WorkersWriteTheirFilesAndLogThem) {
  auto core = MakeCore();
  std::vector<std::string> logs;
  std::mutex mu;
  core->SetLogSink([&](const std::string& text) {
    std::lock_guard<std::mutex> lock(mu);
    logs.push_back(text);
  });
  ASSERT_EQ(core->Start(), LumethCore::StartResult::kStarted);
  core->StartProtocols();
  fake_[kRouteUdp]->found = 2;
  fake_[kRouteUdp2]->found = 3;
  fake_[kRouteUdp2]->succeed = false;  // a failed scan empties its file
  core->StartScanRound();
  core->JoinWorkers();
  const auto udp = scan_cache::LoadScanFile(scan_cache::kUdpFile);
  ASSERT_EQ(udp.size(), 2u);
  EXPECT_EQ(std::string(udp[1].szDefaultName), "udp1");
  EXPECT_TRUE(scan_cache::LoadScanFile(scan_cache::kUdp2File).empty());
  std::lock_guard<std::mutex> lock(mu);
  ASSERT_EQ(logs.size(), 2u);
  bool sawUdp = false;
  for (const auto& text : logs) sawUdp = sawUdp || text.find("ss_udp.dat      2 devices") != std::string::npos;
  EXPECT_TRUE(sawUdp);
}

TEST_F(ScannerCoreTest, ShutdownJoinsRunningWorkersAndLeavesTheirFilesAlone) {
  auto core = MakeCore();
  ASSERT_EQ(core->Start(), LumethCore::StartResult::kStarted);
  core->StartProtocols();
  fake_[kRouteUdp2]->hold = true;
  fake_[kRouteUdp2]->found = 1;
  core->StartScanRound();
  core->Shutdown();
  EXPECT_TRUE(fake_[kRouteUdp2]->scans == 0 || fake_[kRouteUdp2]->ended);
  EXPECT_EQ(::access((platform::DataDirectory() + scan_cache::kUdp2File).c_str(), F_OK), -1);
  auto next = MakeCore();
  EXPECT_EQ(next->Start(), LumethCore::StartResult::kStarted);
}

TEST(LogLimitTest, EmptiesTheLogWhenTheRunningLengthReachesTheLimit) {
  LogLimit limit(4096 + 100);
  EXPECT_EQ(limit.limit(), 100u);
  EXPECT_FALSE(limit.Add(60));
  EXPECT_FALSE(limit.Add(39));
  EXPECT_TRUE(limit.Add(1));
  EXPECT_EQ(limit.running(), 0u);
}

}  // namespace
}  // namespace lumeth

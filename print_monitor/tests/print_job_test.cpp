// Print jobs end to end: the spooler stand-in's job driver, the monitor (linked in), the NetBIOS
// stand-in on private loopback ports, and an emulated box whose port writes what it took to its
// sink file. Every fault of the box must leave the sink holding exactly the job's bytes.
#include <gtest/gtest.h>

#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <memory>
#include <mutex>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/clock.h"
#include "platform/message_sink.h"
#include "platform/netbios/tests/nb_test_env.h"
#include "platform/registry.h"
#include "platform/spooler/spooler.h"
#include "platform/test_support/temp_root.h"
#include "print_monitor/monitor.h"
#include "print_monitor/tests/emulated_print_box.h"

namespace {

namespace sp = platform::spooler;

struct RecordingSink : platform::MessageSink {
  std::vector<int> ids;
  int answer = platform::IDOK;
  std::function<void(int)> onShow;  // runs before the answer is given
  int Show(int id, const std::string&, UINT) override {
    ids.push_back(id);
    if (onShow) onShow(id);
    return answer;
  }
};

using monitor_test::Pattern;

class PrintJob : public ::testing::Test {
 protected:
  void SetUp() override {
    brandel::ClearPortListForTesting();  // the list is the process's: no port of an earlier test
    brandel::ClearNameSlotsForTesting();  // nor a local name registered in an earlier test's set-up
    platform::SetMessageSink(&sink_);
    emu_ = std::make_unique<monitor_test::EmulatedPrintBox>(root_.path(), ports_, "PRNBOX", 1030);
    box_ = emu_->box.get();
    path_ = emu_->path.get();
    ASSERT_TRUE(spooler_.AttachMonitor("Vardon Print Server", &brandel::InitializeMonitor));
    MakePort("PRN_P1", 0);
    ASSERT_TRUE(sp::AddPrinterRecord("Office", "PRN_P1", 45000));
  }
  void TearDown() override {
    emu_.reset();
    platform::SetMessageSink(nullptr);
    brandel::ClearPortListForTesting();
  }
  void MakePort(const std::string& name, int index, DWORD banner = 0, DWORD postScript = 0, const char* user = "") {
    brandel::PortRegistryData record;
    std::strcpy(record.szDeviceName, "PRNBOX");
    record.bPort = static_cast<BYTE>(index);
    record.dwBannerPage = banner;
    record.dwPostScript = postScript;
    std::strncpy(record.szUserName, user, brandel::kMaxUserName);
    ASSERT_EQ(brandel::SavePortSettings(nullptr, name.c_str(), record, true), 1);
  }
  sp::JobResult Print(const std::string& data, sp::JobOptions options = {}, const std::string& port = "PRN_P1") {
    if (options.printer.empty()) options.printer = "Office";
    std::size_t offset = 0;
    return spooler_.PrintJob(
        port,
        [&](char* p, std::size_t n) -> long {
          const std::size_t k = std::min(n, data.size() - offset);
          std::memcpy(p, data.data() + offset, k);
          offset += k;
          return static_cast<long>(k);
        },
        options, &stats_);
  }
  std::string Sink(int port = 0) { return emu_->Sink(port); }
  std::string Banner(bool postScript, const char* user) {
    char buffer[brandel::kBannerSize];
    return std::string(buffer, brandel::BuildBanner(postScript, user, buffer));
  }
  // An option set that lifts the fault once the port reports `error`.
  sp::JobOptions ClearOn(DWORD error, std::vector<DWORD>* seen) {
    sp::JobOptions o;
    o.onPortError = [this, error, seen](DWORD e) {
      seen->push_back(e);
      if (e == error) path_->SetFault(box_, 0, {});
    };
    return o;
  }

  platform::testing::TempRoot root_;
  nbtest::Ports ports_;
  platform::FakeClock clock_;
  platform::ScopedClock useClock_{&clock_};
  RecordingSink sink_;
  std::unique_ptr<monitor_test::EmulatedPrintBox> emu_;
  box_emulator::Box* box_ = nullptr;
  box_emulator::PrintPath* path_ = nullptr;
  sp::Spooler spooler_;
  sp::JobStats stats_;
};

TEST_F(PrintJob, ChunksFollowTheBoxBufferAndTheSinkIsExact) {
  const std::string data = Pattern(2500);
  sp::JobOptions options;
  options.blockSize = 2500;
  ASSERT_EQ(Print(data, options), sp::JobResult::kDone);
  EXPECT_EQ(Sink(), data);
  EXPECT_EQ(path_->DataSizes(box_, 0), (std::vector<std::size_t>{1024, 1024, 452}));
  // A second job on the same port goes after the first.
  const std::string more = Pattern(70000, 9);
  ASSERT_EQ(Print(more), sp::JobResult::kDone);
  EXPECT_EQ(Sink(), data + more);
  EXPECT_TRUE(sink_.ids.empty());
}

struct FaultCase {
  const char* label;
  box_emulator::PrintPortFault fault;
  DWORD reported;  // the port error the job driver sees before the fault is lifted (0: none)
};

void PrintTo(const FaultCase& c, std::ostream* os) { *os << c.label; }

class PrintJobFaults : public PrintJob, public ::testing::WithParamInterface<FaultCase> {};

TEST_P(PrintJobFaults, NothingLostNothingDoubled) {
  path_->SetFault(box_, 0, GetParam().fault);
  const std::string data = Pattern(20000, 3);
  std::vector<DWORD> seen;
  // The fault is lifted at the first error the port reports, whichever it is.
  sp::JobOptions options;
  options.onPortError = [this, &seen](DWORD e) {
    seen.push_back(e);
    if (e != 0) path_->SetFault(box_, 0, {});
  };
  options.blockSize = 4096;
  ASSERT_EQ(Print(data, options), sp::JobResult::kDone) << stats_.lastError;
  EXPECT_EQ(Sink(), data);
  if (GetParam().reported != 0) {
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen.front(), GetParam().reported);
  }
}

box_emulator::PrintPortFault PaperOut() {
  box_emulator::PrintPortFault f;
  f.paperOutAfter = 5000;
  return f;
}
box_emulator::PrintPortFault Offline() {
  box_emulator::PrintPortFault f;
  f.offline = true;
  return f;
}
// Off-line with a state byte the protocol does not name.
box_emulator::PrintPortFault UnknownState() {
  box_emulator::PrintPortFault f;
  f.offline = true;
  f.offlineState = 5;
  return f;
}
box_emulator::PrintPortFault Drop() {
  box_emulator::PrintPortFault f;
  f.dropAfter = 7000;
  return f;
}
box_emulator::PrintPortFault Busy(int ms) {
  box_emulator::PrintPortFault f;
  f.busyEvery = 3;
  f.busyMs = ms;
  return f;
}
box_emulator::PrintPortFault RefuseOpen(int k) {
  box_emulator::PrintPortFault f;
  f.refuseOpen = k;
  return f;
}
box_emulator::PrintPortFault RefuseData(int k) {
  box_emulator::PrintPortFault f;
  f.refuseData = k;
  return f;
}

INSTANTIATE_TEST_SUITE_P(
    Faults, PrintJobFaults,
    ::testing::Values(FaultCase{"PaperOut", PaperOut(), ERROR_OUT_OF_PAPER},
                      FaultCase{"Offline", Offline(), ERROR_NOT_READY},
                      FaultCase{"UnknownStateIsOffline", UnknownState(), ERROR_NOT_READY},
                      FaultCase{"DroppedSession", Drop(), ERROR_IO_DEVICE},
                      FaultCase{"BusyWithQuickReady", Busy(0), 0},
                      FaultCase{"BusyWithSlowReady", Busy(300), 0},
                      FaultCase{"OpenRefusedTwice", RefuseOpen(2), 0},
                      FaultCase{"OpenRefusedFiveTimes", RefuseOpen(5), 0},
                      FaultCase{"DataRefusedWithoutReason", RefuseData(4), 0}),
    [](const ::testing::TestParamInfo<FaultCase>& p) { return std::string(p.param.label); });

TEST_F(PrintJob, RefusedOpenRetriesUntilCancelled) {
  path_->SetFault(box_, 0, RefuseOpen(5));
  ASSERT_EQ(Print("x"), sp::JobResult::kDone);
  EXPECT_NE(std::find(sink_.ids.begin(), sink_.ids.end(), 712), sink_.ids.end());  // Register Retry
  path_->SetFault(box_, 0, RefuseOpen(1000));
  sink_.answer = platform::IDCANCEL;
  EXPECT_EQ(Print("y"), sp::JobResult::kStartFailed);
  EXPECT_EQ(stats_.lastError, ERROR_CANCELLED);
  // The session was hung up: the port is free for the next job.
  path_->SetFault(box_, 0, {});
  sink_.answer = platform::IDOK;
  ASSERT_EQ(Print("z"), sp::JobResult::kDone);
  EXPECT_EQ(Sink(), "xz");
}

// The session breaks while the box is busy with another job: that is no cancel by the user.
TEST_F(PrintJob, ASessionLostDuringRegisterRetryIsANetworkFailure) {
  path_->SetFault(box_, 0, RefuseOpen(1000));
  sink_.onShow = [this](int id) {
    if (id == 712 && emu_) emu_.reset();  // the box goes away while the question is up
  };
  EXPECT_EQ(Print("x"), sp::JobResult::kStartFailed);
  EXPECT_EQ(stats_.lastError, ERROR_IO_DEVICE);
  EXPECT_NE(std::find(sink_.ids.begin(), sink_.ids.end(), 712), sink_.ids.end());
}

// The box took a data command and the session dropped before its reply: the monitor cannot know
// that the box has it, so the driver's restart sends it again. The job completes, and exactly that
// one data command arrives twice.
TEST_F(PrintJob, AChunkWhoseReplyWasLostIsSentAgain) {
  box_emulator::PrintPortFault fault;
  fault.dropAfterTaking = 7000;
  path_->SetFault(box_, 0, fault);
  const std::string data = Pattern(20000, 4);
  std::vector<DWORD> seen;
  sp::JobOptions options = ClearOn(ERROR_IO_DEVICE, &seen);
  options.blockSize = 4096;
  ASSERT_EQ(Print(data, options), sp::JobResult::kDone) << stats_.lastError;
  ASSERT_FALSE(seen.empty());
  EXPECT_EQ(seen.front(), ERROR_IO_DEVICE);
  EXPECT_EQ(stats_.restarts, 1);
  // 1024 data bytes a command: the eighth one (bytes 7168..8191) was taken, then sent again.
  const std::string sink = Sink();
  EXPECT_EQ(sink.size(), data.size() + 1024);
  EXPECT_EQ(sink, data.substr(0, 8192) + data.substr(7168));
}

// The machine's NetBIOS service is gone and cannot be started again: a job says so, instead of
// looking for the box and reporting it missing.
TEST_F(PrintJob, AJobWithoutTheNetbiosServiceSaysSo) {
  ::setenv("PSADMIN_NBD", (root_.path() + "/no-such-service").c_str(), 1);
  monitor_test::StopNetbiosService(root_.path());
  EXPECT_EQ(Print("x"), sp::JobResult::kStartFailed);
  ::unsetenv("PSADMIN_NBD");
  EXPECT_EQ(stats_.lastError, ERROR_SERVICE_NOT_ACTIVE);
  EXPECT_EQ(sink_.ids, std::vector<int>{614});
  EXPECT_EQ(platform::LoadString(614), "The NetBIOS service of this computer could not be started.");
}

// Every receive the browse posts fails at once once the service is gone (and cannot come back):
// the browse still ends, having found nothing, instead of posting them again without end.
TEST_F(PrintJob, BrowseEndsWhenItsReceivesFailAtOnce) {
  std::vector<brandel::BrowsedDevice> list;
  ASSERT_EQ(brandel::BrowseDevices(1, list, 0, nullptr), 1);
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(std::string(list[0].name, strnlen(list[0].name, sizeof list[0].name)), "PRNBOX");
  ::setenv("PSADMIN_NBD", (root_.path() + "/no-such-service").c_str(), 1);
  monitor_test::StopNetbiosService(root_.path());
  // A browse that never ends would hold this test: it is watched, and ends the program if so.
  std::mutex mu;
  std::condition_variable cv;
  bool done = false;
  std::thread watchdog([&] {
    std::unique_lock<std::mutex> lock(mu);
    if (!cv.wait_for(lock, std::chrono::seconds(60), [&] { return done; })) {
      std::fprintf(stderr, "BrowseDevices did not end within 60 s\n");
      std::_Exit(1);
    }
  });
  const int found = brandel::BrowseDevices(1, list, 0, nullptr);
  {
    std::lock_guard<std::mutex> lock(mu);
    done = true;
  }
  cv.notify_all();
  watchdog.join();
  ::unsetenv("PSADMIN_NBD");
  EXPECT_EQ(found, 0);
  EXPECT_TRUE(list.empty());
}

TEST_F(PrintJob, ATinyBufferFailsTheStart) {
  path_->SetBufferSize(6);
  EXPECT_EQ(Print("abc"), sp::JobResult::kStartFailed);
  EXPECT_EQ(stats_.lastError, ERROR_IO_DEVICE);
  path_->SetBufferSize(7);  // one byte per data command still works
  ASSERT_EQ(Print("abc"), sp::JobResult::kDone);
  EXPECT_EQ(Sink(), "abc");
}

TEST_F(PrintJob, DataRefusedForeverEndsInTheRetryTimeOut) {
  ASSERT_TRUE(sp::AddPrinterRecord("Office", "PRN_P1", 5000));
  path_->SetFault(box_, 0, RefuseData(1000000));
  std::vector<DWORD> seen;
  sp::JobOptions options = ClearOn(ERROR_COUNTER_TIMEOUT, &seen);
  ASSERT_EQ(Print("payload", options), sp::JobResult::kDone);
  ASSERT_FALSE(seen.empty());
  EXPECT_EQ(seen.front(), ERROR_COUNTER_TIMEOUT);
  EXPECT_EQ(Sink(), "payload");
}

TEST_F(PrintJob, UnknownPortAndMissingBox) {
  EXPECT_EQ(Print("x", {}, "NOPORT"), sp::JobResult::kNoPort);
  MakePort("GONE_P1", 0);
  {
    const std::string path = std::string(brandel::kPortsKey) + "\\GONE_P1";
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyEx(HKEY_LOCAL_MACHINE, path.c_str(), KEY_ALL_ACCESS, &key), ERROR_SUCCESS);
    const char device[] = "NOSUCHBOX";
    RegSetValueEx(key, "TCP/IP Address", REG_SZ, reinterpret_cast<const BYTE*>(device), sizeof device);
    RegCloseKey(key);
  }
  EXPECT_EQ(Print("x", {}, "GONE_P1"), sp::JobResult::kStartFailed);
  EXPECT_EQ(sink_.ids.back(), 611);
}

struct BannerCase {
  const char* label;
  DWORD postScript;
  std::uint16_t buffer;
  std::optional<std::uint64_t> paperOutAfter;
};

void PrintTo(const BannerCase& c, std::ostream* os) { *os << c.label; }

class PrintJobBanner : public PrintJob, public ::testing::WithParamInterface<BannerCase> {};

TEST_P(PrintJobBanner, BannerComesFirstAndWhole) {
  MakePort("PRN_P1", 0, 1, GetParam().postScript, "Kim");
  path_->SetBufferSize(GetParam().buffer);
  box_emulator::PrintPortFault fault;
  fault.paperOutAfter = GetParam().paperOutAfter;
  path_->SetFault(box_, 0, fault);
  std::vector<DWORD> seen;
  const std::string data = Pattern(3000, 5);
  ASSERT_EQ(Print(data, ClearOn(ERROR_OUT_OF_PAPER, &seen)), sp::JobResult::kDone);
  const std::string banner = Banner(GetParam().postScript == 1, "Kim");
  EXPECT_EQ(banner.size(), GetParam().postScript == 1 ? 1223u : 920u);
  EXPECT_EQ(Sink(), banner + data);
  if (GetParam().paperOutAfter) {
    EXPECT_FALSE(seen.empty());
  }
}

INSTANTIATE_TEST_SUITE_P(Banner, PrintJobBanner,
                         ::testing::Values(BannerCase{"Text", 0, 1030, std::nullopt},
                                           BannerCase{"PostScript", 1, 1030, std::nullopt},
                                           BannerCase{"TextCutByPaperOut", 0, 206, 500},
                                           BannerCase{"PostScriptCutByPaperOut", 1, 206, 700}),
                         [](const ::testing::TestParamInfo<BannerCase>& p) { return std::string(p.param.label); });

}  // namespace

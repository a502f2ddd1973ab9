#include "console/tests/console_fixture.h"

#include <unistd.h>

#include <QCoreApplication>
#include <QThread>
#include <chrono>
#include <climits>

#include "console/console_state.h"
#include "console/main_frame.h"
#include "console/pellam_view.h"
#include "device_client/device_lists/tests/lists_test_support.h"
#include "device_client/core/scan_cache/scan_cache.h"
#include "platform/paths.h"
#include "platform/profile.h"
#include "platform/test_support/watched_program.h"
#include "ui/test_support/gui_app.h"

namespace console_test {

std::string RunProgram(const std::vector<std::string>& args) {
  platform::testing::WatchedProgram program(args);
  if (!program.Started()) return {};
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (program.Running()) {
    if (std::chrono::steady_clock::now() > end) {
      program.Kill();
      program.Wait(30000);
      return {};
    }
    // The other program may be waiting on this one (a second console asks the first).
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    QThread::msleep(2);
  }
  return program.Output();
}

ConsoleTest::ConsoleTest() {
  ui::EnsureTestApplication();
  char cwd[PATH_MAX];
  if (::getcwd(cwd, sizeof cwd) != nullptr) oldCwd_ = cwd;
  EXPECT_EQ(::chdir(root_.path().c_str()), 0);  // "utility.log" lives in the current directory
  platform::MakeDirectories(platform::DataDirectory());
  WritePrivateProfileString("IPX", "Enabled", "0", "ipx.ini");
  WriteConnected(1, 0, 0);
  platform::SetMessageSink(&sink_);
  ui::SetTimerService(&timers_);
}

ConsoleTest::~ConsoleTest() {
  Stop();
  ui::SetModalHook({});
  ui::SetTimerService(nullptr);
  platform::SetMessageSink(nullptr);
  if (!oldCwd_.empty()) {
    EXPECT_EQ(::chdir(oldCwd_.c_str()), 0);
  }
}

void ConsoleTest::MakeBoxes(int count) {
  static const char* const kNames[] = {"FRONT DESK", "LAB", "STORE", "ANNEX"};
  std::vector<scan_cache::ScanCacheRecord> records;
  for (int i = 0; i < count; ++i) {
    box_emulator::BoxOptions o = lists_test::QuickBox();
    o.identity.namePrefix = "PS";
    auto box = std::make_unique<box_emulator::Box>(o);
    box->SetDeviceName(kNames[i % 4]);
    records.push_back(lists_test::CacheRecordOf(*box));
    boxes_.push_back(std::move(box));
  }
  ASSERT_TRUE(scan_cache::WriteScanFile(scan_cache::kUdpFile, records.data(), static_cast<int>(records.size())));
}

box_emulator::Box& ConsoleTest::BoxNamed(const std::string& defaultName) {
  for (auto& b : boxes_) {
    if (b->DefaultName() == defaultName) return *b;
  }
  ADD_FAILURE() << "no box " << defaultName;
  return *boxes_.front();
}

std::vector<std::string> ConsoleTest::BoxDefaults() const {
  std::vector<std::string> names;
  for (auto& b : boxes_) names.push_back(b->DefaultName());
  return names;
}

void ConsoleTest::WriteConnected(int tcpip, int ipxspx, int netbeui) {
  WritePrivateProfileString("ConnectedProtocol", "bTCPIP", std::to_string(tcpip).c_str(), "common.ini");
  WritePrivateProfileString("ConnectedProtocol", "bIPXSPX", std::to_string(ipxspx).c_str(), "common.ini");
  WritePrivateProfileString("ConnectedProtocol", "bNETBEUI", std::to_string(netbeui).c_str(), "common.ini");
}

bool ConsoleTest::Start(const std::string& scanner) {
  Stop();
  app_ = std::make_unique<TestApp>(scanner);
  started_ = true;
  return app_->InitInstance();
}

void ConsoleTest::Stop() {
  if (app_ && started_) app_->ExitInstance();
  started_ = false;
  app_.reset();
}

void ConsoleTest::Tick() { ASSERT_TRUE(timers_.Fire(&View(), CPellamView::kTimerId)); }

std::string ConsoleTest::PauseEventSeenOutside() {
  std::string out = RunProgram({CONSOLE_EVENT_PROBE, "Print Server Pause Event"});
  while (!out.empty() && out.back() == '\n') out.pop_back();
  return out;
}

CPellamView& ConsoleTest::View() { return *app_->View(); }
CMainFrame& ConsoleTest::Frame() { return *app_->Frame(); }

}  // namespace console_test

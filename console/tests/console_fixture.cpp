#include "console/tests/console_fixture.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
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
#include "ui/test_support/gui_app.h"

extern char** environ;

namespace console_test {

std::string RunProgram(const std::vector<std::string>& args) {
  int out[2];
  if (::pipe2(out, O_CLOEXEC) != 0) return {};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  std::vector<std::string> copy = args;
  std::vector<char*> argv;
  for (auto& a : copy) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid = -1;
  const int rc = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  ::close(out[1]);
  if (rc != 0) {
    ::close(out[0]);
    return {};
  }
  ::fcntl(out[0], F_SETFL, O_NONBLOCK);
  std::string text;
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  bool done = false;
  while (!done) {
    // The other program may be waiting on this one (a second console asks the first).
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    char buf[256];
    ssize_t n;
    while ((n = ::read(out[0], buf, sizeof buf)) > 0) text.append(buf, static_cast<std::size_t>(n));
    int status = 0;
    if (::waitpid(pid, &status, WNOHANG) == pid) {
      done = true;
    } else if (std::chrono::steady_clock::now() > end) {
      ::kill(pid, SIGKILL);
      ::waitpid(pid, &status, 0);
      text.clear();
      done = true;
    } else {
      QThread::msleep(2);
    }
  }
  char buf[256];
  ssize_t n;
  while ((n = ::read(out[0], buf, sizeof buf)) > 0) text.append(buf, static_cast<std::size_t>(n));
  ::close(out[0]);
  return text;
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

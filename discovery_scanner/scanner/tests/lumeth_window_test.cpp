// The window on the offscreen platform: its buttons, the Pause caption, the log fed from another
// thread, the tray icon with its menu, the About box and the end of the program.
#include "discovery_scanner/scanner/lumeth_dlg.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSystemTrayIcon>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <thread>

#include "discovery_scanner/scanner/scanner_core.h"
#include "platform/named_objects/named_objects.h"
#include "platform/paths.h"
#include "platform/test_support/temp_root.h"

// The system's font library keeps a cache for the life of the process, which the leak checker of
// sanitizer builds would report.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }

namespace lumeth {
namespace {

class CountingRoute : public ScanRoute {
 public:
  explicit CountingRoute(const char* file) : file_(file) {}
  const char* Name() const override { return "counting"; }
  const char* FileName() const override { return file_; }
  bool Scan(const ScanContext&, std::vector<scan_cache::ScanCacheRecord>*) override {
    ++scans;
    return true;
  }
  std::atomic<int> scans{0};

 private:
  const char* file_;
};

class LumethWindowTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    static int argc = 1;
    static char name[] = "lumeth_window_test";
    static char* argv[] = {name, nullptr};
    app_ = new QApplication(argc, argv);
  }
  static void TearDownTestSuite() {
    delete app_;
    app_ = nullptr;
  }

  LumethWindowTest() {
    platform::MakeDirectories(platform::DataDirectory());
    ScannerOptions options;
    options.protocols = 2;
    options.tickMs = 3600000;  // the timer never fires during a test
    LumethCore::Routes routes;
    const char* files[kRouteCount] = {scan_cache::kNetBiosFile, scan_cache::kUdp2File, scan_cache::kIpxFile,
                                      scan_cache::kUdpFile};
    for (int i = 0; i < kRouteCount; ++i) {
      auto r = std::make_unique<CountingRoute>(files[i]);
      routes_[i] = r.get();
      routes[static_cast<std::size_t>(i)] = std::move(r);
    }
    core_ = std::make_unique<LumethCore>(options, std::move(routes));
    EXPECT_EQ(core_->Start(), LumethCore::StartResult::kStarted);
    window_ = std::make_unique<CLumethDlg>(*core_, true);
    window_->OnInitDialog();
  }
  ~LumethWindowTest() override {
    window_.reset();
    core_.reset();
  }

  // Runs the event loop until `condition` holds (bounded).
  static bool Until(const std::function<bool()>& condition) {
    for (int i = 0; i < 2000; ++i) {
      QApplication::processEvents();
      if (condition()) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return false;
  }

  static QApplication* app_;
  platform::testing::TempRoot root_;
  CountingRoute* routes_[kRouteCount] = {};
  std::unique_ptr<LumethCore> core_;
  std::unique_ptr<CLumethDlg> window_;
};

QApplication* LumethWindowTest::app_ = nullptr;

TEST_F(LumethWindowTest, ButtonsAndTheHiddenStart) {
  EXPECT_FALSE(window_->isVisible());
  const std::pair<int, const char*> buttons[] = {{kIdRunOnce, "Run Once"}, {kIdVerifyData, "Verify Data"},
                                                 {kIdMinimize, "Minimize"}, {kIdPause, "Pause"}, {kIdExit, "Exit"}};
  for (const auto& [id, text] : buttons) {
    ASSERT_NE(window_->button(id), nullptr) << id;
    EXPECT_EQ(window_->button(id)->text().toStdString(), text);
  }
  core_->JoinWorkers();
  EXPECT_EQ(routes_[kRouteUdp]->scans.load(), 1);  // the first round at start
  window_->button(kIdRunOnce)->click();
  core_->JoinWorkers();
  EXPECT_EQ(routes_[kRouteUdp]->scans.load(), 2);
  EXPECT_EQ(routes_[kRouteNetBios]->scans.load(), 0);  // its protocol was not started
  window_->button(kIdVerifyData)->click();
  EXPECT_TRUE(Until([] { return true; }));
}

TEST_F(LumethWindowTest, PauseTogglesItsCaptionAndThePauseEvent) {
  HANDLE pause = OpenEvent(EVENT_MODIFY_STATE, FALSE, kPauseEventName);
  ASSERT_NE(pause, nullptr);
  QPushButton* button = window_->button(kIdPause);
  button->click();
  EXPECT_EQ(button->text().toStdString(), "Restart");
  EXPECT_EQ(WaitForSingleObject(pause, 0), WAIT_TIMEOUT);
  window_->AppendLog(QStringLiteral("some text\r\n"));
  button->click();
  EXPECT_EQ(button->text().toStdString(), "Pause");
  EXPECT_EQ(WaitForSingleObject(pause, 0), WAIT_OBJECT_0);
  EXPECT_TRUE(window_->logView()->toPlainText().isEmpty());  // Restart empties the log
  CloseHandle(pause);
}

TEST_F(LumethWindowTest, LogTextFromAnotherThreadArrivesOnTheWindowThread) {
  std::thread worker([this] { emit window_->logText(QStringLiteral("12:00:00      ss_udp.dat      0 devices\r\n")); });
  worker.join();
  ASSERT_TRUE(Until([this] { return window_->logView()->toPlainText().contains(QStringLiteral("ss_udp.dat")); }));
  // Past the limit the log starts again.
  const QString big(static_cast<int>(window_->logLimit().limit()), QLatin1Char('x'));
  window_->AppendLog(big);
  EXPECT_EQ(window_->logView()->toPlainText(), big);
}

TEST_F(LumethWindowTest, TheTrayIconIsAddedModifiedAndDeleted) {
  CTrayIcon& tray = window_->trayIcon();
  EXPECT_EQ(tray.id(), kTrayIconId);
  EXPECT_TRUE(tray.shown());  // the tray flag was given
  EXPECT_EQ(tray.lastOperation(), kNimAdd);
  EXPECT_EQ(tray.tip().toStdString(), "Lumeth");
  EXPECT_EQ(tray.icon()->toolTip().toStdString(), "Lumeth");
  EXPECT_EQ(tray.flags(), kNifIcon | kNifTip | kNifMessage);
  EXPECT_TRUE(tray.SetIcon(LoadTrayIcon(kLumethIconId), QStringLiteral("Lumeth busy")));
  EXPECT_EQ(tray.lastOperation(), kNimModify);
  EXPECT_EQ(tray.icon()->toolTip().toStdString(), "Lumeth busy");
  EXPECT_TRUE(tray.SetIcon(0u));
  EXPECT_EQ(tray.lastOperation(), kNimDelete);
  EXPECT_FALSE(tray.shown());
  EXPECT_TRUE(tray.SetIcon(0u));  // nothing shown: nothing to delete, success
  EXPECT_EQ(tray.lastOperation(), kNimDelete);

  // A fresh icon takes its tip from its identifier's string; the tip is cut at 128 characters.
  CTrayIcon other(kTrayIconId);
  EXPECT_EQ(other.tip().toStdString(), "Print Server ScanFile Mutex");
  EXPECT_FALSE(other.shown());
  EXPECT_TRUE(other.SetIcon(LoadTrayIcon(kLumethIconId), QString(200, QLatin1Char('t'))));
  EXPECT_EQ(other.tip().size(), kMaxTipLength);
  EXPECT_EQ(other.flags(), kNifIcon | kNifTip);  // no window: no callback message
}

TEST_F(LumethWindowTest, TrayNotificationsOpenTheMenuOrTheWindow) {
  CTrayIcon& tray = window_->trayIcon();
  EXPECT_EQ(window_->OnTrayNotification(kTrayIconId + 1, kWmRButtonUp), 0);  // another icon
  EXPECT_EQ(window_->OnTrayNotification(kTrayIconId, kWmLButtonUp), 0);
  EXPECT_EQ(tray.menu(), nullptr);

  ASSERT_EQ(window_->OnTrayNotification(kTrayIconId, kWmRButtonUp), 1);
  ASSERT_NE(tray.menu(), nullptr);
  const auto actions = tray.menu()->actions();
  ASSERT_EQ(actions.size(), 3);
  EXPECT_EQ(actions[0]->text().toStdString(), "&Open");
  EXPECT_EQ(actions[1]->text().toStdString(), "&About");
  EXPECT_EQ(actions[2]->text().toStdString(), "&Unload");
  EXPECT_EQ(tray.menu()->defaultAction(), actions[0]);
  tray.menu()->close();

  // A double click sends the first item's command: the window opens.
  EXPECT_FALSE(window_->isVisible());
  EXPECT_EQ(window_->OnTrayNotification(kTrayIconId, kWmLButtonDblClk), 1);
  EXPECT_TRUE(window_->isVisible());
  window_->close();  // closing only hides
  EXPECT_FALSE(window_->isVisible());

  // The mouse over the icon reaches the window as its callback message.
  emit tray.icon()->activated(QSystemTrayIcon::DoubleClick);
  EXPECT_TRUE(window_->isVisible());
  window_->OnCommand(kIdMinimize);
  EXPECT_FALSE(window_->isVisible());
}

TEST_F(LumethWindowTest, AboutFromTheWindowMenuAndFromTheTrayMenu) {
  ASSERT_NE(window_->systemMenu(), nullptr);
  const auto entries = window_->systemMenu()->actions();
  ASSERT_EQ(entries.size(), 2);
  EXPECT_TRUE(entries[0]->isSeparator());
  EXPECT_EQ(entries[1]->text().toStdString(), "&About Lumeth...");
  entries[1]->trigger();
  ASSERT_NE(window_->aboutBox(), nullptr);
  EXPECT_TRUE(window_->aboutBox()->isVisible());
  window_->aboutBox()->hide();
  window_->OnSysCommand(32);  // beyond 16..31: not the About box
  EXPECT_FALSE(window_->aboutBox()->isVisible());

  ASSERT_EQ(window_->OnTrayNotification(kTrayIconId, kWmRButtonUp), 1);
  window_->trayIcon().menu()->actions()[1]->trigger();
  EXPECT_TRUE(window_->aboutBox()->isVisible());
  window_->trayIcon().menu()->close();

  // The window as the user sees it, for a look.
  window_->OnTrayOpen();
  window_->AppendLog(QStringLiteral("23:59:58      ss_udp.dat      2 devices\r\nKV00A1B2    KV00C3D4    \r\n\r\n"));
  if (const char* shot = std::getenv("LUMETH_WINDOW_SCREENSHOT")) {
    window_->resize(520, 300);
    EXPECT_TRUE(window_->grab().save(QString::fromLocal8Bit(shot) + QStringLiteral(".png")));
    EXPECT_TRUE(window_->aboutBox()->grab().save(QString::fromLocal8Bit(shot) + QStringLiteral("_about.png")));
  }
}

TEST_F(LumethWindowTest, UnloadFromTheTrayMenuEndsTheProgram) {
  ASSERT_EQ(window_->OnTrayNotification(kTrayIconId, kWmRButtonUp), 1);
  bool finished = false;
  QObject::connect(window_.get(), &CLumethDlg::finished, [&] { finished = true; });
  window_->trayIcon().menu()->actions()[2]->trigger();
  EXPECT_TRUE(finished);
  EXPECT_FALSE(window_->trayIcon().shown());
  LumethCore next(ScannerOptions{});
  EXPECT_EQ(next.Start(), LumethCore::StartResult::kStarted);  // the scanner let go of its objects
}

}  // namespace
}  // namespace lumeth

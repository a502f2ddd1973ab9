// Shared set-up of the device dialog tests: a fresh root, an emulated box with a PJL printer on
// each port registered by its default name, the console's device object, a fake clock for the
// client's waits, manual timers and a scripted message sink. Dialogs run modally; the tests drive
// them from the modal hook.
#pragma once
#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>
#include <QWidget>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "console_pages/device_dialog_text.h"
#include "device_client/api/tests/api_fixture.h"
#include "device_client/pjl/pjl_utility.h"
#include "device_client/settings/com_method.h"
#include "tools/box_emulator/box_emulator.h"
#include "ui/dialog.h"
#include "ui/services.h"
#include "ui/test_support/gui_app.h"

namespace dialog_test {

using namespace std::chrono_literals;

class DeviceDialogTest : public ::testing::Test {
 protected:
  static box_emulator::BoxOptions Options() {
    box_emulator::BoxOptions o;
    o.restartWindow = 0ms;
    return o;
  }
  DeviceDialogTest() : box_(Options()) {}

  void SetUp() override {
    ui::EnsureTestApplication();
    device_dialogs::RegisterDeviceDialogStrings();
    char cwd[PATH_MAX];
    ASSERT_NE(::getcwd(cwd, sizeof cwd), nullptr);
    oldCwd_ = cwd;
    ASSERT_EQ(::chdir(root_.path().c_str()), 0);
    platform::SetMessageSink(&sink_);
    ui::SetTimerService(&timers_);
    g_bResultShown = 0;
    box_.SetDeviceName("LOBBY PRINTER");
    name_ = box_.DefaultName();
    util_ = std::make_unique<CPJLUtility>();
    ASSERT_EQ(util_->mInitializeLanComponent(TYPE_TCPIP, 20), 0);
    console_access::ClearDevices();
    ASSERT_EQ(console_access::AppendDevice(api_test::TcpRecord(name_, box_.Address())), 0);
  }

  void TearDown() override {
    ui::SetModalHook({});
    ui::SetTimerService(nullptr);
    platform::SetMessageSink(nullptr);
    util_.reset();
    g_bResultShown = 0;
    if (!oldCwd_.empty()) {
      EXPECT_EQ(::chdir(oldCwd_.c_str()), 0);
    }
  }

  void OnCore(const std::function<void(box_emulator::BoxCore&)>& f) { box_.WithCore(f); }
  void OnPrinter(int port, const std::function<void(box_emulator::PjlPrinter&)>& f) {
    box_.WithCore([&](box_emulator::BoxCore& c) { f(c.pjl().printer(port)); });
  }
  int CountRequests(const std::string& prefix) {
    int n = 0;
    for (const auto& r : box_.Requests()) n += r.data.rfind(prefix, 0) == 0 ? 1 : 0;
    return n;
  }
  // Clicks a button of a shown dialog as the user does.
  static void Click(ui::CDialog& d, int id) {
    QTest::mouseClick(d.GetDlgItem(id)->GetSafeHwnd(), Qt::LeftButton);
  }
  // Saves a picture of the dialog when PSA_DIALOG_SHOTS names a folder.
  static void Shot(ui::CDialog& d, const char* name) {
    if (const char* dir = std::getenv("PSA_DIALOG_SHOTS")) {
      QApplication::processEvents();
      ui::SaveScreenshot(d, QString::fromStdString(std::string(dir) + "/" + name + ".png"));
    }
  }

  platform::testing::TempRoot root_;
  api_test::BoxAwareClock clock_;
  platform::ScopedClock useClock_{&clock_};
  box_emulator::Box box_;
  ui::ScriptedMessageSink sink_;
  ui::ManualTimerService timers_;
  std::unique_ptr<CPJLUtility> util_;
  std::string name_;
  std::string oldCwd_;
};

inline box_emulator::PortStatus Status(const char* state, const char* printer, const char* bytes = "0",
                                       const char* user = "") {
  return box_emulator::PortStatus{state, printer, bytes, user};
}

}  // namespace dialog_test

// Shared set-up of the AppleTalk, NetBEUI, logical port and physical port page tests: a fresh
// root, an emulated box registered by its default name in the console's device object, the box's
// whole configuration read into the page records as Advanced does, the console's texts and a
// scripted message sink. A page is created as the view creates it, with the box's names.
#pragma once
#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QTest>
#include <climits>
#include <cstdlib>
#include <string>
#include <vector>

#include "console/console_state.h"
#include "console/resource.h"
#include "console_pages/page_records.h"
#include "console_pages/settings_page.h"
#include "device_client/api/tests/api_fixture.h"
#include "tools/box_emulator/box_emulator.h"
#include "ui/services.h"
#include "ui/test_support/gui_app.h"

namespace page_test {

using namespace std::chrono_literals;

// A model as a box reports it: code bytes and port counts (which refine the index).
struct Model {
  const char* what;
  std::uint8_t b4, b5, b6;
  int parallel, serial;
};
inline constexpr Model kModel1{"model 1", 0x00, 0x55, 0x10, 1, 0};
inline constexpr Model kModel2{"model 2", 0x00, 0x14, 0x00, 2, 1};
inline constexpr Model kModel3{"model 3", 0x01, 0x02, 0x00, 3, 1};
inline constexpr Model kModel4{"model 4", 0x01, 0x71, 0x00, 3, 0};
inline constexpr Model kModel12{"model 12", 0x02, 0x50, 0x10, 1, 0};
inline constexpr Model kModel16{"model 16", 0x06, 0x31, 0x00, 2, 0};
inline constexpr Model kModel20{"model 20", 0x4F, 0x00, 0x0D, 1, 0};
// A code no table knows, with port counts that leave it raw.
inline constexpr Model kRawModel{"raw code", 0x12, 0x34, 0x56, 0, 2};

// Replaces an edit's text by typing, as the user does: select all, delete, type.
inline void Retype(ui::CWnd& edit, const std::string& text) {
  auto* line = qobject_cast<QLineEdit*>(edit.GetSafeHwnd());
  ASSERT_NE(line, nullptr);
  line->setFocus();
  line->selectAll();
  QTest::keyClick(line, Qt::Key_Delete);
  QTest::keyClicks(line, QString::fromStdString(text));
}

class PortPagesTest : public ::testing::Test {
 protected:
  static box_emulator::BoxOptions Options() {
    box_emulator::BoxOptions o;
    o.restartWindow = 0ms;
    return o;
  }
  PortPagesTest() : box_(Options()) {}

  void SetUp() override {
    ui::EnsureTestApplication();
    console::RegisterConsoleStrings();
    char cwd[PATH_MAX];
    ASSERT_NE(::getcwd(cwd, sizeof cwd), nullptr);
    oldCwd_ = cwd;
    ASSERT_EQ(::chdir(root_.path().c_str()), 0);
    platform::SetMessageSink(&sink_);
    static const int started = TheUtility().mInitializeLanComponent(TYPE_TCPIP, 20);
    ASSERT_EQ(started, 0);
    name_ = box_.DefaultName();
    console_access::ClearDevices();
    ASSERT_EQ(console_access::AppendDevice(api_test::TcpRecord(name_, box_.Address())), 0);
  }

  void TearDown() override {
    for (CSettingsPage* page : opened_) page->DestroyWindow();
    platform::SetMessageSink(nullptr);
    if (!oldCwd_.empty()) {
      EXPECT_EQ(::chdir(oldCwd_.c_str()), 0);
    }
  }

  // Makes the box report `model` and reads its whole configuration into the page records.
  void UseModel(const Model& model) {
    box_.SetModelCode(model.b4, model.b5, model.b6);
    box_.SetPortCounts(model.parallel, model.serial, 0);
    ReadRecords();
  }
  void ReadRecords() {
    config::AllConfigurationData all;
    ASSERT_EQ(TheUtility().mGetAllConfiguration(name_, &all), 0);
    StoreConfiguration(all);
  }
  // Creates the page's window as the view does; false when the page gave up at start.
  bool Open(CSettingsPage& page) {
    page.m_szDefaultName = name_;
    page.m_szSelectedDevice = "LOBBY PRINTER";
    opened_.push_back(&page);
    page.Create(nullptr);
    page.ShowWindow(ui::SW_SHOWNORMAL);
    return !page.StartFailed();
  }
  // A keyboard selection change in a drop-down list that stays closed.
  static void Arrow(ui::CWnd& combo, Qt::Key key) {
    QWidget* w = combo.GetSafeHwnd();
    ASSERT_NE(w, nullptr);
    w->setFocus();
    QTest::keyClick(w, key);
  }
  // Clicks a radio button on its indicator, as the user does (its text may end before the middle).
  static void Click(ui::CDialog& page, int id) {
    QWidget* w = page.GetDlgItem(id)->GetSafeHwnd();
    QTest::mouseClick(w, Qt::LeftButton, {}, QPoint(6, w->height() / 2));
  }
  static std::vector<std::string> Entries(ui::CComboBox& combo) {
    std::vector<std::string> texts;
    for (int i = 0; i < combo.GetCount(); ++i) texts.push_back(combo.GetLBText(i));
    return texts;
  }
  // The messages shown since the last call.
  std::vector<int> NewMessages() {
    const std::vector<int> ids = sink_.ids();
    std::vector<int> fresh(ids.begin() + static_cast<std::ptrdiff_t>(seen_), ids.end());
    seen_ = ids.size();
    return fresh;
  }
  static bool Enabled(ui::CDialog& page, int id) { return page.GetDlgItem(id)->IsWindowEnabled(); }
  static bool Focused(ui::CDialog& page, int id) { return page.GetDlgItem(id)->HasFocus(); }
  // Saves a picture of the page when PSA_PAGE_SHOTS names a folder.
  static void Shot(ui::CDialog& page, const char* name) {
    if (const char* dir = std::getenv("PSA_PAGE_SHOTS")) {
      QApplication::processEvents();
      ui::SaveScreenshot(page, QString::fromStdString(std::string(dir) + "/" + name + ".png"));
    }
  }

  platform::testing::TempRoot root_;
  box_emulator::Box box_;
  ui::ScriptedMessageSink sink_;
  std::string name_;
  std::string oldCwd_;
  std::vector<CSettingsPage*> opened_;
  std::size_t seen_ = 0;
};

}  // namespace page_test

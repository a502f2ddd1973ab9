// Settings pages in the running console: one emulated box of the test's model and settings is
// opened with Advanced, and a test shows a page by its tab text as the user does (the tab change
// stores the page being left and may refuse). Messages go to the scripted sink.
#pragma once
#include <gtest/gtest.h>

#include <QApplication>
#include <QTabBar>
#include <QTest>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "console/console_state.h"
#include "console/main_frame.h"
#include "console/main_menu_dlg.h"
#include "console/pellam_view.h"
#include "console/tests/console_fixture.h"
#include "ui/services.h"

namespace console_test {

struct BoxModel {
  std::uint8_t code[3];
  int parallel = 3, serial = 1;  // port counts of the device-information block
};

class PageViewTest : public ConsoleTest {
 protected:
  ~PageViewTest() override {
    Stop();
    platform::SetMessageSink(&sink_);
  }

  // Starts the console with one box of this model and these settings and opens it with Advanced.
  box_emulator::Box& OpenBox(const BoxModel& model, const std::map<std::string, std::string>& settings = {}) {
    MakeBoxes(1);
    box_emulator::Box& box = *boxes_[0];
    box.SetModelCode(model.code[0], model.code[1], model.code[2]);
    box.SetPortCounts(model.parallel, model.serial, 0);
    for (const auto& [key, value] : settings) EXPECT_TRUE(box.SetSetting(key, value)) << key;
    EXPECT_TRUE(Start());
    Tick();
    g_pMainMenuDlg->List().SetItemState(0, ui::LVIS_SELECTED, ui::LVIS_SELECTED);
    QTest::mouseClick(g_pMainMenuDlg->GetDlgItem(1010)->GetSafeHwnd(), Qt::LeftButton);
    EXPECT_TRUE(View().IsDeviceOpen());
    return box;
  }

  int TabIndex(const std::string& text) {
    const auto& layout = View().Layout();
    for (std::size_t i = 0; i < layout.size(); ++i) {
      if (layout[i] == text) return static_cast<int>(i);
    }
    ADD_FAILURE() << "no tab " << text;
    return 0;
  }
  // Chooses the tab as the user does; true when the view went there (the page left stored).
  bool ShowTab(const std::string& text) {
    const int index = TabIndex(text);
    static_cast<QTabBar*>(View().Tabs().GetSafeHwnd())->setCurrentIndex(index);
    return View().Tabs().GetCurSel() == index;
  }
  // Shows the tab and expects its page to be up.
  void OpenPage(const std::string& text, ui::CDialog& page) {
    ASSERT_TRUE(ShowTab(text));
    ASSERT_EQ(g_pCurrentPage, &page);
    ASSERT_NE(page.GetSafeHwnd(), nullptr);
  }
  // Leaves the page on show for the System tab; true when the page let the user go.
  bool LeavePage() { return ShowTab("System"); }

  // The messages shown since the last call.
  std::vector<int> TakeMessages() {
    std::vector<int> all = sink_.ids();
    std::vector<int> fresh(all.begin() + static_cast<long>(seen_), all.end());
    seen_ = all.size();
    return fresh;
  }

  static void Click(ui::CWnd& page, int id) {
    QTest::mouseClick(page.GetDlgItem(id)->GetSafeHwnd(), Qt::LeftButton);
  }
  // Types into an edit as the user does (the edit's text replaced first).
  static void Type(ui::CWnd& page, int id, const std::string& text) {
    QWidget* w = page.GetDlgItem(id)->GetSafeHwnd();
    w->setFocus();
    QTest::keyClick(w, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(w, Qt::Key_Delete);
    QTest::keyClicks(w, QString::fromStdString(text));
  }
  static bool HasFocus(ui::CWnd& page, int id) { return page.GetDlgItem(id)->HasFocus(); }

  // With PSA_TEST_SCREENSHOTS set to a folder, the frame with its page is saved there.
  void Shot(const std::string& name) {
    const char* dir = std::getenv("PSA_TEST_SCREENSHOTS");
    if (dir == nullptr || *dir == '\0') return;
    QApplication::processEvents();
    ui::SaveScreenshot(Frame().GetSafeHwnd(), QString::fromStdString(std::string(dir) + "/" + name + ".png"));
  }

  std::size_t seen_ = 0;
};

}  // namespace console_test

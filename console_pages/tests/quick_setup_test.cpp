// The quick setup dialog: what it shows, the two name checks, typing rules and Cancel.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QTest>

#include "console_pages/quick_setup_dlg.h"
#include "ui/services.h"
#include "ui/test_support/gui_app.h"

namespace {

QLineEdit* Edit(ui::CDialog& d, int id) { return qobject_cast<QLineEdit*>(d.GetDlgItem(id)->GetSafeHwnd()); }

class QuickSetup : public ::testing::Test {
 protected:
  void SetUp() override {
    ui::EnsureTestApplication();
    RegisterQuickSetupStrings();
    platform::SetMessageSink(&sink_);
  }
  void TearDown() override {
    ui::SetModalHook({});
    platform::SetMessageSink(nullptr);
  }
  ui::ScriptedMessageSink sink_;
};

TEST_F(QuickSetup, ShowsTheNamesAndKeepsTheWorkgroupHidden) {
  CQuickSetupDlg dlg;
  dlg.m_szDeviceName = "PS1A2B3C";
  dlg.m_szDefaultName = "PS1A2B3C-DEFAULT";
  dlg.m_szWorkgroup = "WORKGROUP";
  std::string shownName, shownDefault, shownWorkgroup;
  bool workgroupVisible = true;
  int limit = 0;
  ui::SetModalHook([&](ui::CDialog& d) {
    shownName = d.GetDlgItemText(CQuickSetupDlg::IDC_DEVICE_NAME);
    shownDefault = d.GetDlgItemText(CQuickSetupDlg::IDC_SELECTED_DEVICE);
    shownWorkgroup = d.GetDlgItemText(CQuickSetupDlg::IDC_WORKGROUP);
    workgroupVisible = d.GetDlgItem(CQuickSetupDlg::IDC_WORKGROUP)->IsWindowVisible();
    limit = static_cast<CQuickSetupDlg&>(d).m_editDeviceName.GetLimitText();
    d.GetDlgItem(ui::IDCANCEL)->GetSafeHwnd()->setFocus();
    QTest::mouseClick(d.GetDlgItem(ui::IDCANCEL)->GetSafeHwnd(), Qt::LeftButton);
  });
  EXPECT_EQ(dlg.DoModal(), ui::IDCANCEL);
  EXPECT_EQ(shownName, "PS1A2B3C");
  EXPECT_EQ(shownDefault, "PS1A2B3C-DEFAULT");
  EXPECT_EQ(shownWorkgroup, "WORKGROUP");
  EXPECT_FALSE(workgroupVisible);
  EXPECT_EQ(limit, 19);
  EXPECT_EQ(dlg.m_szDeviceName, "PS1A2B3C");  // Cancel changes nothing
  EXPECT_TRUE(sink_.ids().empty());
}

TEST_F(QuickSetup, NameChecks) {
  struct Case {
    const char* typed;
    std::intptr_t result;
    std::vector<int> messages;
    const char* name;  // the member after the dialog
    const char* field; // the edit after OK was pressed
  } cases[] = {
      {"", ui::IDCANCEL, {32876}, "OLD", ""},
      {"12345", ui::IDCANCEL, {61219}, "OLD", ""},
      {"12345a", ui::IDOK, {}, "12345A", "12345A"},
      {"1-2", ui::IDOK, {}, "1-2", "1-2"},
      {"lobby printer", ui::IDOK, {}, "LOBBY PRINTER", "LOBBY PRINTER"},
      {"abcdefghijklmnopqrstuvwxyz", ui::IDOK, {}, "ABCDEFGHIJKLMNOPQRS", "ABCDEFGHIJKLMNOPQRS"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.typed);
    ui::ScriptedMessageSink sink;
    platform::SetMessageSink(&sink);
    CQuickSetupDlg dlg;
    dlg.m_szDeviceName = "OLD";
    std::string field;
    bool focused = false;
    ui::SetModalHook([&](ui::CDialog& d) {
      QLineEdit* edit = Edit(d, CQuickSetupDlg::IDC_DEVICE_NAME);
      edit->setFocus();
      edit->selectAll();
      QTest::keyClick(edit, Qt::Key_Delete);
      QTest::keyClicks(edit, c.typed);
      QTest::mouseClick(d.GetDlgItem(ui::IDOK)->GetSafeHwnd(), Qt::LeftButton);
      field = edit->text().toStdString();
      focused = edit->window()->focusWidget() == edit;
    });
    EXPECT_EQ(dlg.DoModal(), c.result);
    EXPECT_EQ(sink.ids(), c.messages);
    EXPECT_EQ(dlg.m_szDeviceName, c.name);
    EXPECT_EQ(field, c.field);
    if (!c.messages.empty()) {
      EXPECT_TRUE(focused);
    }
  }
  platform::SetMessageSink(&sink_);
}

TEST(QuickSetupText, HasNonDigit) {
  EXPECT_EQ(CQuickSetupDlg::HasNonDigit(""), 0);
  EXPECT_EQ(CQuickSetupDlg::HasNonDigit("0123456789"), 0);
  EXPECT_EQ(CQuickSetupDlg::HasNonDigit("12 3"), 1);
  EXPECT_EQ(CQuickSetupDlg::HasNonDigit("A"), 1);
  EXPECT_EQ(CQuickSetupDlg::HasNonDigit("\xB9"), 1);
}

}  // namespace

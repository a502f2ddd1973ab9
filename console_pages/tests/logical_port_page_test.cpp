// The logical port page against an emulated box: the logical and physical ports it offers by
// model, what it shows for each logical port, what it stores when the port on show is left (also
// by a keyboard selection change) and the refusals of its hexadecimal checks.
#include <gtest/gtest.h>

#include "console_pages/logical_port_page.h"
#include "console_pages/tests/port_pages_fixture.h"

namespace page_test {
namespace {

using P = CLogicalPortPage;

class LogicalPortPageTest : public PortPagesTest {
 protected:
  void SetUp() override {
    PortPagesTest::SetUp();
    // Logical port 1 prints to P1 with job strings, port 2 to the serial port with LF conversion.
    box_.SetSetting("0101", "1B45");
    box_.SetSetting("0102", "0C");
    box_.SetSetting("0123", "YES");
    box_.SetSetting("0043", "SERIAL");
    box_.SetSetting("0120", "SERIAL");
  }
  CLogicalPortPage& page_ = g_LogicalPortPage;
};

TEST_F(LogicalPortPageTest, OffersTheModelsLogicalAndPhysicalPorts) {
  struct Case {
    Model model;
    int logical;
    std::vector<std::string> physical;
  } cases[] = {
      {kModel12, 3, {"P1"}},
      {kModel20, 3, {"P1"}},
      {kRawModel, 3, {"P1"}},
      {kModel2, 8, {"P1", "P2", "SERIAL"}},
      {kModel3, 8, {"P1", "P2", "P3", "SERIAL"}},
      {kModel4, 8, {"P1", "P2", "P3"}},
      {kModel16, 8, {"P1", "P2"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.model.what);
    UseModel(c.model);
    ASSERT_TRUE(Open(page_));
    std::vector<std::string> logical;
    for (int n = 1; n <= c.logical; ++n) logical.push_back("Logical Port " + std::to_string(n));
    EXPECT_EQ(Entries(page_.m_cboLogicalPort), logical);
    EXPECT_EQ(page_.m_iLogicalPortCount, c.logical);
    EXPECT_EQ(Entries(page_.m_cboPhysicalPort), c.physical);
    EXPECT_EQ(Enabled(page_, P::IDC_PHYSICAL_PORT), c.physical.size() > 1);
    // Logical port 1 on show.
    EXPECT_EQ(page_.m_cboLogicalPort.GetCurSel(), 0);
    EXPECT_EQ(page_.m_iCurrentPort, 1);
    EXPECT_EQ(page_.m_cboPhysicalPort.GetCurSel(), 0);
    EXPECT_EQ(page_.GetDlgItemText(P::IDC_STRING_BEFORE), "1B45");
    EXPECT_EQ(page_.GetDlgItemText(P::IDC_STRING_AFTER), "0C");
    EXPECT_EQ(page_.IsDlgButtonChecked(P::IDC_CONVERT_NO), ui::BST_CHECKED);
    EXPECT_EQ(page_.m_editStringBefore.GetLimitText(), 30);
    EXPECT_EQ(page_.StoreShownPort(), 1);
    if (c.model.b4 == kModel3.b4 && c.model.b5 == kModel3.b5) Shot(page_, "logical_port_page_model3");
    page_.DestroyWindow();
  }
}

TEST_F(LogicalPortPageTest, KeyboardSelectionStoresThePortBeingLeft) {
  UseModel(kModel2);
  ASSERT_TRUE(Open(page_));
  Retype(page_.m_editStringBefore, "1b 45 26");
  Retype(page_.m_editStringAfter, "");
  Click(page_, P::IDC_CONVERT_YES);
  page_.m_cboPhysicalPort.SetCurSel(1);  // P2
  // Down in the closed list: no drop-down, straight to logical port 2.
  Arrow(page_.m_cboLogicalPort, Qt::Key_Down);
  ASSERT_EQ(page_.m_cboLogicalPort.GetCurSel(), 1);
  EXPECT_EQ(page_.m_iCurrentPort, 2);
  const config::LogicalPrinterConfigurationData& one = gdsLogicalPrinterConfigurationData[0];
  EXPECT_EQ(one.szStringBeforeJob, "1B4526");
  EXPECT_EQ(one.szStringAfterJob, "");
  EXPECT_EQ(one.bConvertLFToLFCR, 1);
  EXPECT_EQ(one.szPhysicalPort, "P2");
  // Port 2 on show, from its own record; its physical port is the serial port's entry.
  EXPECT_EQ(page_.GetDlgItemText(P::IDC_STRING_BEFORE), "");
  EXPECT_EQ(page_.IsDlgButtonChecked(P::IDC_CONVERT_YES), ui::BST_CHECKED);
  EXPECT_EQ(page_.m_cboPhysicalPort.GetCurSel(), 2);
  EXPECT_EQ(gdsCurrentLogicalPrinter.szPhysicalPort, "SERIAL");
  // Back to port 1: what was typed there, as stored.
  Arrow(page_.m_cboLogicalPort, Qt::Key_Up);
  EXPECT_EQ(page_.m_iCurrentPort, 1);
  EXPECT_EQ(page_.GetDlgItemText(P::IDC_STRING_BEFORE), "1B4526");
  EXPECT_EQ(page_.m_cboPhysicalPort.GetCurSel(), 1);
  EXPECT_EQ(page_.IsDlgButtonChecked(P::IDC_CONVERT_YES), ui::BST_CHECKED);
  EXPECT_TRUE(NewMessages().empty());
}

TEST_F(LogicalPortPageTest, ChoosingTheShownPortAgainKeepsWhatWasTyped) {
  UseModel(kModel2);
  ASSERT_TRUE(Open(page_));
  Retype(page_.m_editStringBefore, "0D0A");
  // The list opened and the same entry chosen: nothing is reloaded over the typing.
  auto* combo = qobject_cast<QComboBox*>(page_.m_cboLogicalPort.GetSafeHwnd());
  ASSERT_NE(combo, nullptr);
  emit combo->activated(0);
  EXPECT_EQ(page_.GetDlgItemText(P::IDC_STRING_BEFORE), "0D0A");
  EXPECT_EQ(gdsLogicalPrinterConfigurationData[0].szStringBeforeJob, "1B45");
}

TEST_F(LogicalPortPageTest, RefusedStringsKeepThePortOnShowAndStoreNothing) {
  struct Case {
    const char* what;
    std::string before, after;
    int message;
    int cleared;
    std::string shownBefore;  // the before edit afterwards
  } cases[] = {
      {"letter outside hex after the job", "1b 45", "1G", P::IDS_HEX_AFTER_JOB, P::IDC_STRING_AFTER, "1B45"},
      {"letter outside hex before the job", "ZZ", "0C", P::IDS_HEX_BEFORE_JOB, P::IDC_STRING_BEFORE, ""},
      {"both bad: the first is named", "1X", "2Y", P::IDS_HEX_BEFORE_JOB, P::IDC_STRING_BEFORE, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    UseModel(kModel3);
    const config::LogicalPrinterConfigurationData stored = gdsLogicalPrinterConfigurationData[0];
    ASSERT_TRUE(Open(page_));
    Retype(page_.m_editStringBefore, c.before);
    Retype(page_.m_editStringAfter, c.after);
    Click(page_, P::IDC_CONVERT_YES);
    page_.m_cboPhysicalPort.SetCurSel(2);
    Arrow(page_.m_cboLogicalPort, Qt::Key_Down);
    EXPECT_EQ(NewMessages(), std::vector<int>{c.message});
    // Still on port 1, the offending edit emptied and focused.
    EXPECT_EQ(page_.m_cboLogicalPort.GetCurSel(), 0);
    EXPECT_EQ(page_.m_iCurrentPort, 1);
    EXPECT_EQ(page_.GetDlgItemText(c.cleared), "");
    EXPECT_TRUE(Focused(page_, c.cleared));
    EXPECT_EQ(page_.GetDlgItemText(P::IDC_STRING_BEFORE), c.shownBefore);
    // The port's record and the working copy are as they were.
    const config::LogicalPrinterConfigurationData& one = gdsLogicalPrinterConfigurationData[0];
    EXPECT_EQ(one.szStringBeforeJob, stored.szStringBeforeJob);
    EXPECT_EQ(one.szStringAfterJob, stored.szStringAfterJob);
    EXPECT_EQ(one.bConvertLFToLFCR, stored.bConvertLFToLFCR);
    EXPECT_EQ(one.szPhysicalPort, stored.szPhysicalPort);
    EXPECT_EQ(gdsCurrentLogicalPrinter.szStringBeforeJob, stored.szStringBeforeJob);
    // The page store refuses the same way, so the tab cannot be left either.
    Retype(c.cleared == P::IDC_STRING_AFTER ? page_.m_editStringAfter : page_.m_editStringBefore, "G");
    EXPECT_EQ(page_.StoreShownPort(), 0);
    EXPECT_EQ(NewMessages(), std::vector<int>{c.message});
    page_.DestroyWindow();
  }
}

TEST_F(LogicalPortPageTest, APortNamingNoOfferedPortSelectsNothingAndKeepsItsName) {
  box_.SetSetting("0100", "LPT9");
  UseModel(kModel16);
  ASSERT_TRUE(Open(page_));
  EXPECT_EQ(page_.m_cboPhysicalPort.GetCurSel(), -1);
  ASSERT_EQ(page_.StoreShownPort(), 1);
  EXPECT_EQ(gdsLogicalPrinterConfigurationData[0].szPhysicalPort, "LPT9");
  // Picking a port replaces it.
  page_.m_cboPhysicalPort.SetCurSel(1);
  ASSERT_EQ(page_.StoreShownPort(), 1);
  EXPECT_EQ(gdsLogicalPrinterConfigurationData[0].szPhysicalPort, "P2");
}

TEST_F(LogicalPortPageTest, OnlyTheOfferedLogicalPortsCanBeReached) {
  UseModel(kModel12);
  ASSERT_TRUE(Open(page_));
  Arrow(page_.m_cboLogicalPort, Qt::Key_End);
  EXPECT_EQ(page_.m_iCurrentPort, 3);
  Arrow(page_.m_cboLogicalPort, Qt::Key_Down);
  EXPECT_EQ(page_.m_iCurrentPort, 3);
  Retype(page_.m_editStringBefore, "AA");
  ASSERT_EQ(page_.StoreShownPort(), 1);
  EXPECT_EQ(gdsLogicalPrinterConfigurationData[2].szStringBeforeJob, "AA");
  EXPECT_EQ(gdsLogicalPrinterConfigurationData[3].szStringBeforeJob, "");
}

}  // namespace
}  // namespace page_test

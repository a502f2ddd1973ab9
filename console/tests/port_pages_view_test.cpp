// The port pages inside the settings view, end to end against an emulated box: a tab change
// stores the page being left, a refused input keeps its tab, and a port renamed on the physical
// port page is what the logical port page offers and shows.
#include <gtest/gtest.h>

#include <QTabBar>
#include <QTest>
#include <cstdlib>

#include "console/console_state.h"
#include "console/main_menu_dlg.h"
#include "console/pellam_view.h"
#include "console/tests/console_fixture.h"
#include "console_pages/logical_port_page.h"
#include "console_pages/physical_port_page.h"
#include "console_pages/tests/port_pages_fixture.h"
#include "ui/services.h"

namespace console_test {
namespace {

using page_test::Retype;

class PortPagesViewTest : public ConsoleTest {
 protected:
  ~PortPagesViewTest() override { Stop(); }

  // One box of model 2 (P1, P2 and a serial port) with firmware 6100 and AppleTalk: its tabs end
  // with "Apple Talk", "Logical Port", "Physical Port". Opened with Advanced.
  void OpenModel2Box() {
    MakeBoxes(1);
    box_emulator::Box& box = *boxes_[0];
    box.SetModelCode(0x00, 0x14, 0x00);
    box.SetPortCounts(2, 1, 0);
    box.SetFirmware(0x61, 0x00);
    ASSERT_TRUE(Start());
    Tick();
    g_pMainMenuDlg->List().SetItemState(0, ui::LVIS_SELECTED, ui::LVIS_SELECTED);
    QTest::mouseClick(g_pMainMenuDlg->GetDlgItem(1010)->GetSafeHwnd(), Qt::LeftButton);
    ASSERT_TRUE(View().IsDeviceOpen());
  }
  int TabIndex(const std::string& text) {
    auto* bar = qobject_cast<QTabBar*>(View().Tabs().GetSafeHwnd());
    for (int i = 0; bar && i < bar->count(); ++i) {
      if (bar->tabText(i).toStdString() == text) return i;
    }
    ADD_FAILURE() << "no tab " << text;
    return 0;
  }
  // The user's click on a tab.
  void ChooseTab(const std::string& text) {
    qobject_cast<QTabBar*>(View().Tabs().GetSafeHwnd())->setCurrentIndex(TabIndex(text));
  }
};

TEST_F(PortPagesViewTest, TabChangesStoreThePortPagesAndRefusalsKeepTheTab) {
  OpenModel2Box();
  ChooseTab("Physical Port");
  ASSERT_EQ(g_pCurrentPage, &g_PhysicalPortPage);
  Retype(g_PhysicalPortPage.m_editPortName, "LPT1");

  // Leaving stores the new name; logical ports 1 and 5 (printing to P1) followed it.
  ChooseTab("Logical Port");
  ASSERT_EQ(g_pCurrentPage, &g_LogicalPortPage);
  EXPECT_EQ(gdsPhysicalPortConfigurationData[0].szPortName, "LPT1");
  CLogicalPortPage& logical = g_LogicalPortPage;
  EXPECT_EQ(logical.m_cboPhysicalPort.GetLBText(0), "LPT1");
  EXPECT_EQ(logical.m_cboPhysicalPort.GetCurSel(), 0);
  EXPECT_EQ(gdsLogicalPrinterConfigurationData[4].szPhysicalPort, "LPT1");
  if (const char* dir = std::getenv("PSA_TEST_SCREENSHOTS")) {
    ui::SaveScreenshot(View(), QString::fromStdString(std::string(dir) + "/view_logical_port.png"));
  }

  // A bad string keeps the logical port tab, with its message.
  Retype(logical.m_editStringAfter, "1G");
  ChooseTab("Apple Talk");
  EXPECT_EQ(sink_.ids(), std::vector<int>{CLogicalPortPage::IDS_HEX_AFTER_JOB});
  EXPECT_EQ(View().Tabs().GetCurSel(), TabIndex("Logical Port"));
  EXPECT_EQ(g_pCurrentPage, &g_LogicalPortPage);
  EXPECT_EQ(logical.GetDlgItemText(CLogicalPortPage::IDC_STRING_AFTER), "");

  Retype(logical.m_editStringAfter, "0d 0a");
  ChooseTab("Apple Talk");
  EXPECT_EQ(View().Tabs().GetCurSel(), TabIndex("Apple Talk"));
  EXPECT_EQ(gdsLogicalPrinterConfigurationData[0].szStringAfterJob, "0D0A");

  // A duplicate port name keeps the physical port tab.
  ChooseTab("Physical Port");
  Retype(g_PhysicalPortPage.m_editPortName, "P2");
  ChooseTab("System");
  EXPECT_EQ(sink_.ids().back(), 32879);
  EXPECT_EQ(View().Tabs().GetCurSel(), TabIndex("Physical Port"));
  EXPECT_EQ(gdsPhysicalPortConfigurationData[0].szPortName, "LPT1");
}

}  // namespace
}  // namespace console_test

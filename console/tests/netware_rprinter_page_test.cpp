// The NetWare remote printer page against emulated boxes: as many print-server names as the model
// has parallel ports (also for models no page table knew), what leaving it stores, its checks with
// the edit they clear and focus, and print-server mode greying its controls out of the checks.
#include <string>

#include "console/tests/page_view_fixture.h"
#include "console_pages/netware_frame_types.h"
#include "console_pages/netware_rprinter_page.h"

namespace console_test {
namespace {

using P = CNetwareRPrinterPage;
namespace nf = netware_frames;

const std::map<std::string, std::string> kRemotePrinter = {
    {"2000", "RP"}, {"2501", "SERVER1"}, {"2502", "SERVER2"}, {"2504", "SERVER3"}, {"2503", "SERIALSRV"}};

class NetwareRPrinterPageTest : public PageViewTest {
 protected:
  P& page_ = g_NetwareRPrinterPage;
  ui::CEdit& Name(int port) { return page_.m_editServer[port]; }
};

// Per model: the names shown, which edits can be typed into, and what leaving stores (names the
// model lacks keep the box's values).
TEST_F(NetwareRPrinterPageTest, OneNamePerParallelPortOfTheModel) {
  struct Case {
    const char* what;
    BoxModel model;
    int modelType;
    int offered;
  } cases[] = {
      {"model 0", {{0x00, 0x54, 0x10}}, 0, 1},
      {"model 16", {{0x06, 0x31, 0x00}, 2, 0}, 16, 2},
      {"model 2", {{0x00, 0x14, 0x00}}, 2, 2},
      {"model 3", {{0x01, 0x02, 0x00}}, 3, 3},
      {"model 4", {{0x01, 0x71, 0x00}}, 4, 3},
      {"model 17", {{0x49, 0x00, 0x73}}, 17, 1},
      {"raw code", {{0x12, 0x34, 0x56}, 3, 2}, 0x563412, 1},
  };
  const char* boxNames[3] = {"SERVER1", "SERVER2", "SERVER3"};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Stop();
    boxes_.clear();
    OpenBox(c.model, kRemotePrinter);
    OpenPage("NetWare RPrinter", page_);
    ASSERT_EQ(page_.m_iModelType, c.modelType);
    if (c.offered == 3) Shot("netware_rprinter_page");
    EXPECT_TRUE(TakeMessages().empty());
    for (int i = 0; i < 3; ++i) {
      const bool on = i < c.offered;
      EXPECT_EQ(Name(i).GetWindowText(), on ? boxNames[i] : "N/A") << i;
      EXPECT_EQ(Name(i).IsWindowEnabled(), on) << i;
      if (on) Name(i).SetWindowText("NEW" + std::to_string(i + 1));
    }
    ASSERT_TRUE(LeavePage());
    const config::NetwareConfigurationData& r = gdsNetwareConfigurationData;
    EXPECT_EQ(r.szP1RemotePrinter, "NEW1");
    EXPECT_EQ(r.szP2RemotePrinter, c.offered >= 2 ? "NEW2" : "SERVER2");
    EXPECT_EQ(r.szP3RemotePrinter, c.offered >= 3 ? "NEW3" : "SERVER3");
    EXPECT_EQ(r.szSPRemotePrinter, "SERIALSRV");
  }
}

TEST_F(NetwareRPrinterPageTest, RefusedInputsKeepThePageAndTheRecord) {
  struct Case {
    int port;  // -1: no frame type
    const char* text;
    int message;
  } cases[] = {
      {-1, "", nf::IDS_NEED_ONE_FRAME_TYPE},
      {0, "A\tB", P::IDS_ILLEGAL_P1},
      {1, "A\nB", P::IDS_ILLEGAL_P2},
      {2, "A\r2501 :X", P::IDS_ILLEGAL_P3},
  };
  OpenBox({{0x01, 0x71, 0x00}}, kRemotePrinter);  // model 4: three names
  for (const Case& c : cases) {
    SCOPED_TRACE(c.port);
    OpenPage("NetWare RPrinter", page_);
    TakeMessages();
    Name(0).SetWindowText("CHANGED");
    if (c.port < 0) {
      for (int id : {nf::IDC_ETHERNET_II, nf::IDC_8022, nf::IDC_8023, nf::IDC_SNAP}) {
        page_.CheckDlgButton(id, ui::BST_UNCHECKED);
      }
    } else {
      Name(c.port).SetWindowText(c.text);
    }
    EXPECT_FALSE(LeavePage());
    EXPECT_EQ(TakeMessages(), std::vector<int>{c.message});
    EXPECT_EQ(gdsNetwareConfigurationData.szP1RemotePrinter, "SERVER1");
    EXPECT_EQ(gdsNetwareConfigurationData.szP2RemotePrinter, "SERVER2");
    EXPECT_EQ(gdsNetwareConfigurationData.szP3RemotePrinter, "SERVER3");
    EXPECT_EQ(gdsNetwareConfigurationData.bFrameTypeEthernetII, 1);
    if (c.port >= 0) {
      EXPECT_EQ(Name(c.port).GetWindowText(), "");
      EXPECT_TRUE(Name(c.port).HasFocus());
    }
    // Back to the box's values: the page can be left.
    page_.CheckDlgButton(nf::IDC_ETHERNET_II, ui::BST_CHECKED);
    const char* boxNames[3] = {"SERVER1", "SERVER2", "SERVER3"};
    for (int i = 0; i < 3; ++i) Name(i).SetWindowText(boxNames[i]);
    ASSERT_TRUE(LeavePage());
  }
}

// In print-server mode the names and frame boxes are greyed, neither checked nor stored, and one
// Tab leaves the page; the mode radios write the record at once and a model's missing ports stay
// greyed in remote-printer mode.
TEST_F(NetwareRPrinterPageTest, PrintServerModeGreysTheControlsOutOfTheChecks) {
  auto settings = kRemotePrinter;
  settings["2000"] = "PS";
  OpenBox({{0x00, 0x54, 0x10}}, settings);  // model 0: one name
  OpenPage("NetWare RPrinter", page_);
  EXPECT_EQ(page_.IsDlgButtonChecked(P::IDC_PRINT_SERVER_MODE), 1);
  EXPECT_FALSE(Name(0).IsWindowEnabled());
  EXPECT_FALSE(page_.GetDlgItem(nf::IDC_ETHERNET_II)->IsWindowEnabled());
  Name(0).SetWindowText("BAD\tNAME");
  QTest::keyClick(page_.GetDlgItem(P::IDC_PRINT_SERVER_MODE)->GetSafeHwnd(), Qt::Key_Tab);
  EXPECT_TRUE(View().RestoreDefaultsButton().HasFocus());
  ASSERT_TRUE(LeavePage());
  EXPECT_TRUE(TakeMessages().empty());
  EXPECT_EQ(gdsNetwareConfigurationData.szP1RemotePrinter, "SERVER1");

  OpenPage("NetWare RPrinter", page_);
  Click(page_, P::IDC_REMOTE_PRINTER_MODE);
  EXPECT_EQ(gdsNetwareConfigurationData.szOperationMode, "RP");
  EXPECT_TRUE(Name(0).IsWindowEnabled());
  EXPECT_FALSE(Name(1).IsWindowEnabled());
  EXPECT_EQ(Name(1).GetWindowText(), "N/A");
  EXPECT_TRUE(page_.GetDlgItem(nf::IDC_ETHERNET_II)->IsWindowEnabled());
  Name(0).SetWindowText("LPT SERVER");
  ASSERT_TRUE(LeavePage());
  EXPECT_EQ(gdsNetwareConfigurationData.szP1RemotePrinter, "LPT SERVER");
  OpenPage("NetWare RPrinter", page_);
  Click(page_, P::IDC_PRINT_SERVER_MODE);
  EXPECT_EQ(gdsNetwareConfigurationData.szOperationMode, "PS");
  EXPECT_FALSE(Name(0).IsWindowEnabled());
}

}  // namespace
}  // namespace console_test

namespace console_test {
namespace {

// On a Token-Ring box the last frame box is Token-Ring-SNAP: Tab there leaves the page.
TEST_F(NetwareRPrinterPageTest, TabFromTheLastTokenRingBoxLeavesThePage) {
  OpenBox({{0x00, 0x22, 0x30}}, kRemotePrinter);  // model 10
  OpenPage("NetWare RPrinter", page_);
  EXPECT_FALSE(page_.GetDlgItem(nf::IDC_ETHERNET_II)->IsWindowVisible());
  QWidget* last = page_.GetDlgItem(nf::IDC_TOKEN_RING_SNAP)->GetSafeHwnd();
  last->setFocus();
  QTest::keyClick(last, Qt::Key_Tab);
  EXPECT_TRUE(View().RestoreDefaultsButton().HasFocus());
}

}  // namespace
}  // namespace console_test

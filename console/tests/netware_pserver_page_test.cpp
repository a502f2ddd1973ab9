// The NetWare print server page against emulated boxes: what it shows for an Ethernet and a
// Token-Ring model, what leaving it stores, its checks with the control they clear and focus,
// remote-printer mode greying its controls out of the checks, and the drop-down lists keeping what
// was typed.
#include <QComboBox>
#include <string>

#include "console/tests/page_view_fixture.h"
#include "console_pages/netware_frame_types.h"
#include "console_pages/netware_pserver_page.h"
#include "console_pages/small_dialogs.h"
#include "device_client/core/config/config_builder.h"

namespace console_test {
namespace {

using P = CNetwarePServerPage;
namespace nf = netware_frames;

constexpr BoxModel kEthernet{{0x00, 0x54, 0x10}};   // model 0
constexpr BoxModel kTokenRing{{0x00, 0x22, 0x30}};  // model 10

const std::map<std::string, std::string> kPrintServer = {
    {"2000", "PS"},       {"2001", "ENABLE"},   {"2002", "DISABLE"}, {"2003", "ENABLE"},
    {"2004", "DISABLE"},  {"2101", "MASTER1"},  {"2102", "YES"},     {"2103", "30"},
    {"2110", "TREE1"},    {"2111", "OU=PRINT.O=CORP"}};

class NetwarePServerPageTest : public PageViewTest {
 protected:
  P& page_ = g_NetwarePServerPage;
  bool Visible(int id) { return page_.GetDlgItem(id)->IsWindowVisible(); }
  // The NetWare lines a save would send for the record.
  static std::string NetwareLines() {
    config::NetwareConfigurationData nw = gdsNetwareConfigurationData;
    nw.szPrintServerName = nw.szDeviceName = "PS1";
    config::LineWriter w;
    EXPECT_TRUE(config::WriteNetwareLines(w, nw));
    return w.text();
  }
};

TEST_F(NetwarePServerPageTest, ShowsTheBoxSettingsAndStoresTheEditedOnesWhenLeft) {
  OpenBox(kEthernet, kPrintServer);
  OpenPage("NetWare PServer", page_);
  Shot("netware_pserver_page");
  EXPECT_EQ(page_.IsDlgButtonChecked(P::IDC_PRINT_SERVER_MODE), 1);
  EXPECT_EQ(page_.m_cmbMasterFileServer.GetWindowText(), "MASTER1");
  EXPECT_EQ(page_.m_cmbNdsTree.GetWindowText(), "TREE1");
  EXPECT_EQ(page_.m_editNdsContext.GetWindowText(), "OU=PRINT.O=CORP");
  EXPECT_EQ(page_.m_editPollingInterval.GetWindowText(), "30");
  EXPECT_EQ(page_.IsDlgButtonChecked(P::IDC_JOB_NOTIFY_YES), 1);
  // The Ethernet boxes from the record; the Token-Ring ones hidden.
  EXPECT_EQ(page_.IsDlgButtonChecked(nf::IDC_ETHERNET_II), 1);
  EXPECT_EQ(page_.IsDlgButtonChecked(nf::IDC_8022), 0);
  EXPECT_EQ(page_.IsDlgButtonChecked(nf::IDC_8023), 1);
  EXPECT_EQ(page_.IsDlgButtonChecked(nf::IDC_SNAP), 0);
  EXPECT_FALSE(Visible(nf::IDC_TOKEN_RING));
  EXPECT_FALSE(Visible(nf::IDC_TOKEN_RING_SNAP));

  page_.m_cmbMasterFileServer.SetWindowText("MASTER2");
  page_.m_cmbNdsTree.SetWindowText("");
  page_.m_editNdsContext.SetWindowText("O=LAB");
  page_.m_editPollingInterval.SetWindowText("255");
  Click(page_, P::IDC_JOB_NOTIFY_NO);
  Click(page_, nf::IDC_ETHERNET_II);
  Click(page_, nf::IDC_SNAP);
  ASSERT_TRUE(LeavePage());
  EXPECT_TRUE(TakeMessages().empty());
  const config::NetwareConfigurationData& r = gdsNetwareConfigurationData;
  EXPECT_EQ(r.szMasterFileServerName, "MASTER2");
  EXPECT_EQ(r.szNDSTreeName, "");
  EXPECT_EQ(r.szNDSContextName, "O=LAB");
  EXPECT_EQ(r.iQueuePollingInterval, 255);
  EXPECT_EQ(r.bJobNotify, 0);
  EXPECT_EQ(r.bFrameTypeEthernetII, 0);
  EXPECT_EQ(r.bFrameType8022, 0);
  EXPECT_EQ(r.bFrameType8023, 1);
  EXPECT_EQ(r.bFrameType8022Snap, 1);
  EXPECT_EQ(r.szOperationMode, "PS");
}

// Each refusal: its message, the control cleared and focused (the frame message clears nothing),
// the tab kept and the record as it was.
TEST_F(NetwarePServerPageTest, RefusedInputsKeepThePageAndTheRecord) {
  struct Case {
    const char* what;
    int control;  // the control set to `text` (0: uncheck the frame boxes)
    std::string text;
    int message;
  } cases[] = {
      {"no frame type", 0, "", nf::IDS_NEED_ONE_FRAME_TYPE},
      {"master control character", P::IDC_MASTER_FILE_SERVER, "M\tX", P::IDS_ILLEGAL_MASTER},
      {"tree line break", P::IDC_NDS_TREE, "T\nX", P::IDS_ILLEGAL_TREE},
      {"context line break", P::IDC_NDS_CONTEXT, "O=A\r\n2111 :X", P::IDS_ILLEGAL_CONTEXT},
      {"interval not digits", P::IDC_POLLING_INTERVAL, "1a", P::IDS_ILLEGAL_INTERVAL},
      {"interval signed", P::IDC_POLLING_INTERVAL, "+5", P::IDS_ILLEGAL_INTERVAL},
      {"interval zero", P::IDC_POLLING_INTERVAL, "0", P::IDS_INTERVAL_RANGE},
      {"interval empty", P::IDC_POLLING_INTERVAL, "", P::IDS_INTERVAL_RANGE},
      {"interval above 255", P::IDC_POLLING_INTERVAL, "256", P::IDS_INTERVAL_RANGE},
  };
  OpenBox(kEthernet, kPrintServer);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    OpenPage("NetWare PServer", page_);
    TakeMessages();
    // A valid edit beside the bad one must not reach the record either.
    page_.m_editNdsContext.SetWindowText("O=CHANGED");
    if (c.control == 0) {
      for (int id : {nf::IDC_ETHERNET_II, nf::IDC_8022, nf::IDC_8023, nf::IDC_SNAP}) {
        page_.CheckDlgButton(id, ui::BST_UNCHECKED);
      }
    } else {
      page_.GetDlgItem(c.control)->SetWindowText(c.text);
    }
    EXPECT_FALSE(LeavePage());
    EXPECT_EQ(TakeMessages(), std::vector<int>{c.message});
    EXPECT_EQ(gdsNetwareConfigurationData.szNDSContextName, "OU=PRINT.O=CORP");
    EXPECT_EQ(gdsNetwareConfigurationData.iQueuePollingInterval, 30);
    EXPECT_EQ(gdsNetwareConfigurationData.szMasterFileServerName, "MASTER1");
    EXPECT_EQ(gdsNetwareConfigurationData.bFrameTypeEthernetII, 1);
    if (c.control != 0) {
      EXPECT_EQ(page_.GetDlgItem(c.control)->GetWindowText(), "");
      EXPECT_TRUE(page_.GetDlgItem(c.control)->HasFocus());
    }
    // Back to valid values: the page can be left.
    page_.CheckDlgButton(nf::IDC_ETHERNET_II, ui::BST_CHECKED);
    if (c.control != 0) page_.GetDlgItem(c.control)->SetWindowText(c.control == P::IDC_POLLING_INTERVAL ? "30" : "");
    page_.m_editNdsContext.SetWindowText("OU=PRINT.O=CORP");
    page_.m_cmbMasterFileServer.SetWindowText("MASTER1");
    ASSERT_TRUE(LeavePage());
  }
}

// In remote-printer mode the print-server controls are greyed: neither checked nor stored, and one
// Tab leaves the page. The mode radios write the record at once.
TEST_F(NetwarePServerPageTest, RemotePrinterModeGreysTheControlsOutOfTheChecks) {
  auto settings = kPrintServer;
  settings["2000"] = "RP";
  OpenBox(kEthernet, settings);
  OpenPage("NetWare PServer", page_);
  EXPECT_EQ(page_.IsDlgButtonChecked(P::IDC_REMOTE_PRINTER_MODE), 1);
  for (int id : {P::IDC_NDS_TREE, P::IDC_NDS_CONTEXT, P::IDC_MASTER_FILE_SERVER, P::IDC_POLLING_INTERVAL,
                 P::IDC_JOB_NOTIFY_NO, P::IDC_CHANGE_PASSWORD, nf::IDC_ETHERNET_II}) {
    EXPECT_FALSE(page_.GetDlgItem(id)->IsWindowEnabled()) << id;
  }
  page_.m_editPollingInterval.SetWindowText("0");
  page_.m_editNdsContext.SetWindowText("O=\tX");
  QTest::keyClick(page_.GetDlgItem(P::IDC_REMOTE_PRINTER_MODE)->GetSafeHwnd(), Qt::Key_Tab);
  EXPECT_TRUE(View().RestoreDefaultsButton().HasFocus());
  ASSERT_TRUE(LeavePage());
  EXPECT_TRUE(TakeMessages().empty());
  EXPECT_EQ(gdsNetwareConfigurationData.iQueuePollingInterval, 30);
  EXPECT_EQ(gdsNetwareConfigurationData.szNDSContextName, "OU=PRINT.O=CORP");

  OpenPage("NetWare PServer", page_);
  Click(page_, P::IDC_PRINT_SERVER_MODE);
  EXPECT_EQ(gdsNetwareConfigurationData.szOperationMode, "PS");
  EXPECT_TRUE(page_.m_editPollingInterval.IsWindowEnabled());
  page_.m_editPollingInterval.SetWindowText("0");
  EXPECT_FALSE(LeavePage());
  EXPECT_EQ(TakeMessages(), std::vector<int>{P::IDS_INTERVAL_RANGE});
  Click(page_, P::IDC_REMOTE_PRINTER_MODE);
  EXPECT_EQ(gdsNetwareConfigurationData.szOperationMode, "RP");
  EXPECT_TRUE(LeavePage());
}

// A Token-Ring box shows its two types where the Ethernet ones are; they travel in the keys of 802.2
// and SNAP, so a changed choice reaches the configuration text.
TEST_F(NetwarePServerPageTest, TokenRingTypesReachTheConfigurationText) {
  OpenBox(kTokenRing, kPrintServer);
  OpenPage("NetWare PServer", page_);
  Shot("netware_pserver_page_token_ring");
  EXPECT_TRUE(Visible(nf::IDC_TOKEN_RING));
  EXPECT_FALSE(Visible(nf::IDC_ETHERNET_II));
  EXPECT_EQ(page_.IsDlgButtonChecked(nf::IDC_TOKEN_RING), 0);       // key 2002
  EXPECT_EQ(page_.IsDlgButtonChecked(nf::IDC_TOKEN_RING_SNAP), 0);  // key 2004

  // Only the Token-Ring boxes count for "one frame type".
  EXPECT_FALSE(LeavePage());
  EXPECT_EQ(TakeMessages(), std::vector<int>{nf::IDS_NEED_ONE_FRAME_TYPE});
  Click(page_, nf::IDC_TOKEN_RING);
  ASSERT_TRUE(LeavePage());
  EXPECT_EQ(gdsNetwareConfigurationData.bFrameTypeTokenring, 1);
  EXPECT_EQ(gdsNetwareConfigurationData.bFrameTypeTokenringSnap, 0);
  const std::string lines = NetwareLines();
  EXPECT_NE(lines.find("2002 :ENABLE\n"), std::string::npos) << lines;
  EXPECT_NE(lines.find("2004 :DISABLE\n"), std::string::npos) << lines;
  // The Ethernet-only keys keep what the box had.
  EXPECT_NE(lines.find("2001 :ENABLE\n"), std::string::npos) << lines;
  EXPECT_NE(lines.find("2003 :ENABLE\n"), std::string::npos) << lines;
}

// Opening a drop-down list rescans it; the name typed into the box stays, whether IPX/SPX is not
// connected (nothing is asked) or the scan fails (its message is shown).
TEST_F(NetwarePServerPageTest, ADropDownRescanKeepsTheTypedName) {
  box_emulator::Box& box = OpenBox(kEthernet, kPrintServer);
  OpenPage("NetWare PServer", page_);
  TakeMessages();
  box.ClearRequests();
  auto* master = static_cast<QComboBox*>(page_.m_cmbMasterFileServer.GetSafeHwnd());
  page_.m_cmbMasterFileServer.SetWindowText("TYPED1");
  master->showPopup();
  master->hidePopup();
  EXPECT_EQ(page_.m_cmbMasterFileServer.GetWindowText(), "TYPED1");
  EXPECT_EQ(page_.m_cmbMasterFileServer.GetCount(), 0);
  EXPECT_TRUE(TakeMessages().empty());

  WriteConnected(1, 1, 0);  // IPX/SPX chosen, but this computer has no IPX network
  auto* tree = static_cast<QComboBox*>(page_.m_cmbNdsTree.GetSafeHwnd());
  page_.m_cmbNdsTree.SetWindowText("TYPEDTREE");
  tree->showPopup();
  tree->hidePopup();
  EXPECT_EQ(page_.m_cmbNdsTree.GetWindowText(), "TYPEDTREE");
  EXPECT_EQ(TakeMessages().size(), 1u);
  EXPECT_EQ(box.RequestCount(), 0u);
  ASSERT_TRUE(LeavePage());
  EXPECT_EQ(gdsNetwareConfigurationData.szNDSTreeName, "TYPEDTREE");
}

TEST_F(NetwarePServerPageTest, ChangePasswordOpensTheDialogForTheBox) {
  box_emulator::Box& box = OpenBox(kEthernet, kPrintServer);
  OpenPage("NetWare PServer", page_);
  std::string shownName;
  ui::SetModalHook([&](ui::CDialog& d) {
    if (auto* dlg = dynamic_cast<CChangePasswordDlg*>(&d)) shownName = dlg->m_szDefaultName;
    d.EndDialog(ui::IDCANCEL);
  });
  Click(page_, P::IDC_CHANGE_PASSWORD);
  ui::SetModalHook({});
  EXPECT_EQ(shownName, box.DefaultName());
}

}  // namespace
}  // namespace console_test

// Save To Device and Restore to Defaults of the settings view: the address check, the
// client-side defaults, and what a save sends to an emulated box, also after Quick and Browse
// worked on other boxes of the list.
#include <gtest/gtest.h>

#include <QTabBar>
#include <QTest>
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <memory>
#include <ostream>
#include <sstream>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "console/console_state.h"
#include "console/main_frame.h"
#include "console/main_menu_dlg.h"
#include "console/pellam_view.h"
#include "console/tests/console_fixture.h"
#include "console/view_save.h"
#include "console_pages/device_dialog_text.h"
#include "console_pages/quick_setup_dlg.h"
#include "console_pages/system_page.h"
#include "console_pages/wireless_page.h"
#include "device_client/settings/com_method.h"
#include "platform/clock.h"
#include "ui/services.h"

namespace console_test {
namespace {

TEST(AddressCheck, IpMaskAndGatewayTable) {
  struct Case {
    const char* ip;
    const char* mask;
    const char* gateway;
    int message;
  };
  const Case cases[] = {
      {"192.168.1.5", "255.255.255.0", "192.168.1.254", 0},
      {"192.168.1.5", "255.255.255.0", "0.0.0.0", console::IDS_GATEWAY_OR_IP_ERROR},
      {"192.168.1.5", "255.255.0.255", "192.168.1.254", console::IDS_SUBNET_MASK_ILLEGAL},
      {"192.168.1.5", "255.255.255.255", "192.168.1.5", 0},
      {"192.168.1.5", "0.0.0.0", "192.168.1.254", console::IDS_SUBNET_MASK_ILLEGAL},
      {"192.168.1.5", "128.0.0.0", "192.1.1.1", 0},
      {"10.0.0.0", "255.0.0.0", "10.0.0.1", console::IDS_IP_ADDRESS_ILLEGAL},
      {"10.0.0.255", "255.0.0.0", "10.0.0.1", console::IDS_IP_ADDRESS_ILLEGAL},
      {"10.255.0.1", "255.0.0.0", "10.0.0.1", console::IDS_IP_ADDRESS_ILLEGAL},
      {"10.1.2.3", "255.0.0.0", "10.0.0.0", 0},
      {"10.1.2.3", "255.0.0.0", "10.0.255.1", console::IDS_GATEWAY_ILLEGAL},
      {"0.0.0.0", "255.255.255.0", "0.0.0.0", console::IDS_IP_ADDRESS_ILLEGAL},
      // Texts that are no addresses: octal-looking octets read as decimal, signs and blanks refused.
      {"010.1.2.3", "255.0.0.0", "10.0.0.1", 0},
      {"+10.1.2.3", "255.0.0.0", "10.0.0.1", console::IDS_IP_ADDRESS_ILLEGAL},
      {"10.1.2", "255.0.0.0", "10.0.0.1", console::IDS_IP_ADDRESS_ILLEGAL},
      {"10.1.2.3", "255.0.0.0 ", "10.0.0.1", console::IDS_SUBNET_MASK_ILLEGAL},
      {"10.1.2.3", "255.0.0.0", "10.0.0.1\n", console::IDS_GATEWAY_ILLEGAL},
      {"10.1.2.3", "255.0.0.0", "", console::IDS_GATEWAY_ILLEGAL},
  };
  for (const Case& c : cases) {
    const std::string ip = c.ip, mask = c.mask, gateway = c.gateway;
    EXPECT_EQ(console::CheckIpMaskGateway(&ip, &mask, &gateway), c.message) << c.ip << " " << c.mask << " " << c.gateway;
  }
  const std::string any = "10.1.2.3";
  EXPECT_EQ(console::CheckIpMaskGateway(nullptr, &any, &any), console::IDS_INPUT_ILLEGAL);
}

TEST(RestoreDefaults, RecordsTable) {
  // Start from values nothing restores to, then restore.
  gdsSystemConfigurationData = {};
  gdsSystemConfigurationData.szDeviceName = "OLD";
  gdsSystemConfigurationData.bFifthProtocol = 7;
  gdsNetwareConfigurationData = {};
  gdsNetwareConfigurationData.szNDSTreeName = "TREE";
  gdsNetwareConfigurationData.szDeviceName = "RPNAME";
  gdsNetwareConfigurationData.reserved[0] = 9;
  gdsNetwareConfigurationData.reserved[1] = 9;
  gdsTCPIPConfigurationData = {};
  gdsTCPIPConfigurationData.szMailAccount = "me";
  gdsTCPIPConfigurationData.bAutoAddress2 = 5;
  gdsWirelessConfigurationData = {};
  gdsWirelessConfigurationData.szSSID = "NET";
  gdsWirelessConfigurationData.szDomainList = "40,41";
  gdsWirelessConfigurationData.bWEPEnable = 1;
  gdsWirelessConfigurationData.iKeyLength = 13;
  std::snprintf(gdsWirelessConfigurationData.szKey1, sizeof gdsWirelessConfigurationData.szKey1, "0123");
  gdsNetBEUIConfigureData.szDomainName = "WORKGROUP";
  gdsNetBEUIConfigureData.iResponseTime = 30;
  for (auto& lp : gdsLogicalPrinterConfigurationData) lp.szStringBeforeJob = "1B45";
  for (auto& pp : gdsPhysicalPortConfigurationData) pp.iHandshake = 1, pp.bEnable = 1;

  console::RestoreDefaultRecords("PS1A2B3C", 4, false);

  const auto& sys = gdsSystemConfigurationData;
  EXPECT_EQ(sys.szDeviceName, "PS1A2B3C");
  EXPECT_EQ(sys.bIPXSPXProtocol + sys.bTCPIPProtocol + sys.bAPPLETALKProtocol + sys.bNetBEUIProtocol, 4);
  EXPECT_EQ(sys.bFifthProtocol, 7);
  const auto& nw = gdsNetwareConfigurationData;
  EXPECT_EQ(nw.bFrameTypeEthernetII + nw.bFrameType8022 + nw.bFrameType8023 + nw.bFrameType8022Snap +
                nw.bFrameTypeTokenring + nw.bFrameTypeTokenringSnap,
            6);
  EXPECT_EQ(nw.szOperationMode, "PS");
  EXPECT_EQ(nw.szNDSTreeName, "");
  EXPECT_EQ(nw.iQueuePollingInterval, 1);
  EXPECT_EQ(nw.bJobNotify, 0);
  EXPECT_EQ(nw.szPrintServerName, "PS1A2B3C");
  EXPECT_EQ(nw.szDeviceName, "RPNAME");
  EXPECT_EQ(nw.reserved[0], 0);
  EXPECT_EQ(nw.reserved[1], 9);
  const auto& tcp = gdsTCPIPConfigurationData;
  for (const std::string* a : {&tcp.szIPAddress, &tcp.szGatewayAddress, &tcp.szSubNetworkMaskAddress, &tcp.szMailServerIPAddress})
    EXPECT_EQ(*a, "0.0.0.0");
  EXPECT_EQ(tcp.bAutoAddress1, 1);
  EXPECT_EQ(tcp.bAutoAddress2, 5);
  EXPECT_EQ(tcp.iTCPIntervalSessionRetry, 2);
  EXPECT_EQ(tcp.iTCPCountSessionRetry, 254);
  EXPECT_EQ(tcp.szMailAccount, "");
  EXPECT_EQ(tcp.szCheckMailInterval, "1");
  EXPECT_EQ(tcp.szDefaultPrinterNumber, "P1");
  EXPECT_EQ(tcp.bBannerPrinting, 1);
  const auto& at = gdsAPPLETALKConfigurationData;
  EXPECT_EQ(at.szZoneName, "*");
  EXPECT_EQ(at.szSPPrinterType, "LaserWriter");
  EXPECT_EQ(at.bP3BinaryCommunicationProtocol, 2);
  const auto& wl = gdsWirelessConfigurationData;
  EXPECT_EQ(wl.szSSID, "");
  EXPECT_EQ(wl.bWEPEnable, 0);
  EXPECT_EQ(wl.iKeyLength, 5);
  EXPECT_EQ(wl.iDefaultKey, 0);
  EXPECT_EQ(wl.iAuthentication, 2);
  EXPECT_EQ(wl.iNetworkType, 0);
  EXPECT_EQ(wl.iChannel, 14);  // the first domain is 40
  EXPECT_STREQ(wl.szKey1, "0123");  // keys stay: WEP is off
  // No tab shows the NetBEUI page: its workgroup stays.
  EXPECT_EQ(gdsNetBEUIConfigureData.szDomainName, "WORKGROUP");
  EXPECT_EQ(gdsNetBEUIConfigureData.iResponseTime, 0);
  const char* const byModel4[8] = {"P1", "P2", "P3", "P1", "P2", "P3", "P1", "P2"};
  for (int i = 0; i < 8; ++i) {
    EXPECT_EQ(gdsLogicalPrinterConfigurationData[i].szPhysicalPort, byModel4[i]);
    EXPECT_EQ(gdsLogicalPrinterConfigurationData[i].szStringBeforeJob, "");
  }
  const char* const ports[4] = {"P1", "P2", "P3", "SP"};
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(gdsPhysicalPortConfigurationData[i].szPortName, ports[i]);
    EXPECT_EQ(gdsPhysicalPortConfigurationData[i].iHandshake, 0);
    EXPECT_EQ(gdsPhysicalPortConfigurationData[i].bEnable, 1);
  }

  // Another model, another domain, and a NetBEUI page on show.
  gdsWirelessConfigurationData.szDomainList = "41,40";
  console::RestoreDefaultRecords("PS1A2B3C", 2, true);
  EXPECT_EQ(gdsWirelessConfigurationData.iChannel, 11);
  EXPECT_EQ(gdsNetBEUIConfigureData.szDomainName, "");
  for (int i = 0; i < 8; ++i) EXPECT_EQ(gdsLogicalPrinterConfigurationData[i].szPhysicalPort, i % 2 == 0 ? "P1" : "P2");
}

TEST(SaveResult, EveryFailureShowsABox) {
  ui::ScriptedMessageSink sink;
  platform::SetMessageSink(&sink);
  for (int result : {0, -1, -2, -3, -4, -5, 1, 4, -205}) console::ShowSaveResult(result);
  platform::SetMessageSink(nullptr);
  EXPECT_EQ(sink.ids(), (std::vector<int>{IDS_NETWORK_BUSY_OR_NOT_FOUND, IDS_COMMAND_PARAMETER_INVALID,
                                          IDS_UNKNOWN_ERROR_CODE, IDS_DEVICE_NOT_FOUND,
                                          IDS_NETWORK_BUSY_OR_NOT_FOUND, IDS_UNKNOWN_ERROR_CODE,
                                          IDS_UNKNOWN_ERROR_CODE, IDS_UNKNOWN_ERROR_CODE}));
}

// ---- Save To Device against an emulated wireless box ----------------------------------------------

using W = CWirelessPage;
using Lines = std::vector<std::string>;

void Click(ui::CWnd& wnd, int id) { QTest::mouseClick(wnd.GetDlgItem(id)->GetSafeHwnd(), Qt::LeftButton); }

class SaveToDeviceTest : public ConsoleTest {
 protected:
  ~SaveToDeviceTest() override {
    Stop();
    platform::SetMessageSink(&sink_);
  }
  // One box with wireless, TCP/IP (on DHCP) and NetBEUI, opened with Advanced.
  box_emulator::Box& OpenBox(const std::function<void(box_emulator::Box&)>& setup = {}) {
    MakeBoxes(1);
    box_emulator::Box& box = *boxes_[0];
    box.SetCapabilities(0x80, 0x02 | 0x08);
    box.SetSetting("4020", "Enable");
    if (setup) setup(box);
    EXPECT_TRUE(Start());
    Tick();
    g_pMainMenuDlg->List().SetItemState(0, ui::LVIS_SELECTED, ui::LVIS_SELECTED);
    Click(*g_pMainMenuDlg, 1010);
    EXPECT_TRUE(View().IsDeviceOpen());
    EXPECT_EQ(View().Layout().back(), "Wireless");
    fake_ = std::make_unique<platform::ScopedClock>(&clock_);
    return box;
  }
  // The user's change of tab (the page left is stored first).
  void SelectTab(int index) { qobject_cast<QTabBar*>(View().Tabs().GetSafeHwnd())->setCurrentIndex(index); }
  void SelectText(ui::CComboBox& box, const std::string& text) {
    const int index = box.FindStringExact(-1, text);
    ASSERT_GE(index, 0) << text;
    box.SetCurSel(index);
  }
  // Clicks "Save To Device"; returns the configuration lines the box received (empty: none sent).
  Lines Save(box_emulator::Box& box) {
    box.ClearRequests();
    Click(View(), 1073);
    for (const auto& r : box.Requests()) {
      if (r.data.rfind("0001 :", 0) != 0) continue;
      Lines lines;
      std::istringstream in(r.data);
      for (std::string line; std::getline(in, line);) lines.push_back(line);
      return lines;
    }
    return {};
  }
  static void ExpectLines(const Lines& sent, const Lines& expected, const std::string& step) {
    for (const std::string& line : expected) {
      EXPECT_NE(std::find(sent.begin(), sent.end(), line), sent.end()) << step << ": no line " << line;
    }
  }

  platform::FakeClock clock_;
  std::unique_ptr<platform::ScopedClock> fake_;
};

TEST_F(SaveToDeviceTest, PageEditsReachTheBoxAsConfigurationLines) {
  box_emulator::Box& box = OpenBox();
  const std::string key26 = "0a0b0c0d0e0f10111213141516";
  struct Step {
    const char* name;
    std::function<void()> edit;
    Lines expected;
  };
  const std::vector<Step> steps = {
      {"as read",
       [] {},
       {"0001 :FRONTDESK", "0011 :DISABLE", "0012 :ENABLE", "0014 :ENABLE", "7000 :ANY", "7002 :11",
        "7003 :Disable", "7004 :5", "7005 :1", "7006 :", "7012 :1", "7013 :0", "4020 :Enable", "5000 :WORKGROUP",
        "0100 :P1"}},
      // The device name is stored without blanks.
      {"device name", [] { g_SystemPage.m_editDeviceName.SetWindowText("NEW NAME"); }, {"0001 :NEWNAME"}},
      {"network name, channel, type",
       [&] {
         SelectTab(5);
         g_WirelessPage.m_edSSID.SetWindowText("HOME NET");
         SelectText(g_WirelessPage.m_cbChannel, "6");
         SelectText(g_WirelessPage.m_cbNetworkType, "802.11 Ad Hoc");
       },
       {"0001 :NEWNAME", "7000 :HOME NET", "7002 :6", "7013 :1", "7003 :Disable"}},
      {"WEP 64 bits",
       [&] {
         Click(g_WirelessPage, W::IDC_WEP_ENABLED);
         Click(g_WirelessPage, W::IDC_SHARED_KEY);
         SelectText(g_WirelessPage.m_cbDefaultKey, "KEY 2");
         const char* bytes[5] = {"0a", "B", "", "0c", "dd"};
         for (int i = 0; i < 5; ++i) g_WirelessPage.SetDlgItemText(W::kKeyByteIds[static_cast<std::size_t>(i)], bytes[i]);
         g_WirelessPage.SetDlgItemText(W::kKeyByteIds[19], "ff");
       },
       {"7003 :Enable", "7004 :5", "7005 :1", "7006 :0a0B000cdd", "7007 :0000000000", "7009 :00000000ff", "7012 :2"}},
      {"WEP 128 bits",
       [&] {
         Click(g_WirelessPage, W::IDC_128_BITS);
         for (int i = 0; i < 13; ++i)
           g_WirelessPage.SetDlgItemText(W::kKeyByteIds[static_cast<std::size_t>(i)], key26.substr(2 * static_cast<std::size_t>(i), 2));
       },
       {"7003 :Enable", "7004 :13", "7005 :0", "7006 :" + key26, "7007 :", "7008 :", "7009 :"}},
      {"WEP off keeps the keys", [&] { Click(g_WirelessPage, W::IDC_WEP_DISABLED); },
       {"7003 :Disable", "7004 :13", "7006 :" + key26, "7012 :2"}},
  };
  for (const Step& step : steps) {
    step.edit();
    const Lines sent = Save(box);
    ASSERT_FALSE(sent.empty()) << step.name << ": nothing sent, messages " << sink_.ids().size();
    ExpectLines(sent, step.expected, step.name);
    EXPECT_TRUE(sink_.ids().empty()) << step.name;
    EXPECT_EQ(View().LastResult(), 0) << step.name;
  }
  // The box runs the last save; the console follows the new name.
  EXPECT_EQ(box.DeviceName(), "NEWNAME");
  EXPECT_EQ(box.Setting("7006").value_or(""), key26);
  EXPECT_EQ(g_szDeviceName, "NEWNAME");
  // The page on show was built again from the records.
  EXPECT_EQ(g_WirelessPage.m_edSSID.GetWindowText(), "HOME NET");
}

TEST_F(SaveToDeviceTest, ValuesThePageDoesNotKnowGoBackAsTheBoxHadThem) {
  box_emulator::Box& box = OpenBox([](box_emulator::Box& b) {
    b.SetSetting("7002", "99");
    b.SetSetting("7013", "5");
    b.SetSetting("7003", "Enable");
    b.SetSetting("7004", "5");
    b.SetSetting("7005", "7");
    b.SetSetting("7006", "0102030405");
  });
  SelectTab(5);
  EXPECT_EQ(g_WirelessPage.m_cbChannel.GetLBText(g_WirelessPage.m_cbChannel.GetCurSel()), "Unknown (99)");
  ExpectLines(Save(box), {"7002 :99", "7013 :5", "7005 :7", "7006 :0102030405"}, "unchanged");
  // What the user changes is written; the rest stays.
  SelectText(g_WirelessPage.m_cbNetworkType, "Infrastructure");
  ExpectLines(Save(box), {"7002 :99", "7013 :0", "7005 :7"}, "type changed");
  SelectText(g_WirelessPage.m_cbChannel, "3");
  SelectText(g_WirelessPage.m_cbDefaultKey, "KEY 4");
  ExpectLines(Save(box), {"7002 :3", "7013 :0", "7005 :3"}, "all changed");
}

TEST_F(SaveToDeviceTest, WithWepOffTheBoxsKeysAreWrittenBackAsTheyAre) {
  const std::string key26 = "00112233445566778899aabbcc";
  box_emulator::Box& box = OpenBox([&](box_emulator::Box& b) {
    b.SetSetting("7003", "Disable");
    b.SetSetting("7004", "13");
    b.SetSetting("7006", key26);
    b.SetSetting("7012", "1");
  });
  SelectTab(5);
  g_WirelessPage.m_edSSID.SetWindowText("OTHER");
  ExpectLines(Save(box), {"7000 :OTHER", "7003 :Disable", "7004 :13", "7006 :" + key26, "7012 :1"}, "WEP off");
  EXPECT_EQ(box.Setting("7006").value_or(""), key26);
}

TEST_F(SaveToDeviceTest, KeyLengthClickedBeforeWepOffLeavesTheBoxsKeySet) {
  box_emulator::Box& box = OpenBox([](box_emulator::Box& b) {
    b.SetSetting("7003", "Enable");
    b.SetSetting("7004", "5");
    b.SetSetting("7005", "2");
    b.SetSetting("7006", "0102030405");
    b.SetSetting("7008", "2122232425");
  });
  SelectTab(5);
  ASSERT_EQ(g_WirelessPage.IsDlgButtonChecked(W::IDC_64_BITS), 1);
  Click(g_WirelessPage, W::IDC_128_BITS);
  Click(g_WirelessPage, W::IDC_WEP_DISABLED);
  const Lines sent = Save(box);
  ASSERT_FALSE(sent.empty()) << sink_.ids().size();
  ExpectLines(sent, {"7003 :Disable", "7004 :5", "7005 :2", "7006 :0102030405", "7008 :2122232425"}, "WEP off");
  EXPECT_EQ(box.Setting("7004").value_or(""), "5");
  EXPECT_EQ(box.Setting("7005").value_or(""), "2");
  // Leaving the tab stores the page too: the same set stays in the records.
  Click(g_WirelessPage, W::IDC_WEP_ENABLED);
  Click(g_WirelessPage, W::IDC_128_BITS);
  Click(g_WirelessPage, W::IDC_WEP_DISABLED);
  SelectTab(0);
  SelectTab(5);
  EXPECT_EQ(g_WirelessPage.IsDlgButtonChecked(W::IDC_WEP_DISABLED), 1);
  ExpectLines(Save(box), {"7003 :Disable", "7004 :5", "7005 :2", "7006 :0102030405"}, "after a tab change");
  EXPECT_TRUE(sink_.ids().empty());
}

// A box as the emulator starts it (so as the demo shows it): a one-port model on a loopback address
// with its network's gateway. Opened with Advanced, every tab looked at and left, its first Save
// goes through unchanged and its logical ports print to its one port. So does the second box of the
// list, opened while the first is open: its Save sends its own values, and nothing to the first.
TEST_F(SaveToDeviceTest, AnUnchangedEmulatedBoxIsSavedAsItIs) {
  MakeBoxes(2);
  ASSERT_TRUE(Start());
  Tick();
  ASSERT_EQ(g_pMainMenuDlg->List().GetItemCount(), 2);
  box_emulator::Box* before = nullptr;
  for (int row = 0; row < 2; ++row) {
    SCOPED_TRACE(row == 0 ? "the first box" : "the second box, opened while the first is open");
    box_emulator::Box& box = BoxNamed(g_pMainMenuDlg->List().GetItemText(row, 1));
    g_pMainMenuDlg->List().SetItemState(row, ui::LVIS_SELECTED, ui::LVIS_SELECTED);
    Click(*g_pMainMenuDlg, 1010);
    ASSERT_TRUE(View().IsDeviceOpen());
    ASSERT_EQ(View().OpenedBox().defaultName, box.DefaultName());
    fake_ = std::make_unique<platform::ScopedClock>(&clock_);
    const std::vector<std::string>& tabs = View().Layout();
    for (const char* tab : {"TCP/IP", "NetWare PServer", "NetWare RPrinter", "Logical Port"})
      EXPECT_NE(std::find(tabs.begin(), tabs.end(), tab), tabs.end()) << tab;
    for (int tab = 0; tab < static_cast<int>(View().Layout().size()); ++tab) SelectTab(tab);
    SelectTab(0);

    if (before != nullptr) before->ClearRequests();
    const Lines sent = Save(box);
    std::string shown;
    for (const auto& m : sink_.shown()) shown += m.text + "\n";
    EXPECT_EQ(shown, "");
    ASSERT_FALSE(sent.empty());
    EXPECT_EQ(View().LastResult(), 0);
    ExpectLines(sent,
                {"4000 :" + box.Address(), "4001 :127.0.0.1", "4002 :255.0.0.0", "4020 :Disable", "0100 :P1",
                 "0120 :P1", "0140 :P1", "0160 :P1", "0180 :P1", "0200 :P1", "0220 :P1", "0240 :P1"},
                "unchanged");
    EXPECT_EQ(box.Setting("4001").value_or(""), "127.0.0.1");
    if (before != nullptr) {
      for (const auto& r : before->Requests())
        EXPECT_NE(r.data.rfind("0001 :", 0), 0u) << "the first box got the second one's configuration";
    }
    before = &box;
    fake_.reset();
  }
}

TEST_F(SaveToDeviceTest, RestoreToDefaultsThenSaveSendsTheDefaultsAndKeepsTheWorkgroup) {
  box_emulator::Box& box = OpenBox([](box_emulator::Box& b) {
    b.SetSetting("5000", "OFFICE");
    b.SetSetting("7001", "40");
    b.SetSetting("7000", "CORP");
  });
  const std::string defaultName = box.DefaultName();
  SelectTab(5);
  box.ClearRequests();
  Click(View(), 1075);
  for (const auto& r : box.Requests()) EXPECT_NE(r.data.rfind("0001 :", 0), 0u) << "Restore sent a configuration";
  EXPECT_EQ(g_WirelessPage.m_edSSID.GetWindowText(), "");
  EXPECT_EQ(g_WirelessPage.m_cbChannel.GetLBText(g_WirelessPage.m_cbChannel.GetCurSel()), "14");
  const Lines sent = Save(box);
  ASSERT_FALSE(sent.empty()) << sink_.ids().size();
  // A box on DHCP is saved with the default 0.0.0.0; this one-port model prints to P1 only.
  ExpectLines(sent,
              {"0001 :" + defaultName, "0011 :ENABLE", "4000 :0.0.0.0", "4020 :Enable", "5000 :OFFICE", "5001 :NO",
               "7000 :", "7002 :14", "7003 :Disable", "7012 :2", "7013 :0", "0100 :P1", "0120 :P1", "0101 :"},
              "defaults");
  EXPECT_TRUE(sink_.ids().empty());
}

// Restore to Defaults points the logical ports only at parallel ports the box has: a one-port
// box's physical-port list is disabled, so a port it lacks could never be corrected.
struct DefaultTargetsCase {
  const char* name;
  std::uint8_t code[3];  // model code of the device-information block
  int parallel, serial;  // its port counts
  const char* targets;   // the physical port of logical ports 1 to 8, by port number
};

void PrintTo(const DefaultTargetsCase& c, std::ostream* out) { *out << c.name; }

class RestoreDefaultsByModelTest : public SaveToDeviceTest, public ::testing::WithParamInterface<DefaultTargetsCase> {};

TEST_P(RestoreDefaultsByModelTest, LogicalPortsPrintToTheModelsOwnParallelPorts) {
  const DefaultTargetsCase& c = GetParam();
  box_emulator::Box& box = OpenBox([&](box_emulator::Box& b) {
    b.SetModelCode(c.code[0], c.code[1], c.code[2]);
    b.SetPortCounts(c.parallel, c.serial, 0);
    // Logical ports that print somewhere else before the restore.
    for (const char* key : {"0100", "0120", "0140", "0160", "0180", "0200", "0220", "0240"}) b.SetSetting(key, "SP");
  });
  Click(View(), 1075);
  const Lines sent = Save(box);
  ASSERT_FALSE(sent.empty()) << sink_.ids().size();
  for (int n = 1; n <= 8; ++n) {
    char key[8];
    std::snprintf(key, sizeof key, "%04d", 100 + 20 * (n - 1));
    const std::string port = std::string("P") + c.targets[n - 1];
    ExpectLines(sent, {std::string(key) + " :" + port}, "logical port " + std::to_string(n));
    EXPECT_EQ(box.Setting(key).value_or(""), port) << key;
  }
  EXPECT_TRUE(sink_.ids().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Models, RestoreDefaultsByModelTest,
    ::testing::Values(DefaultTargetsCase{"OneParallelPortModel0", {0x00, 0x54, 0x10}, 1, 0, "11111111"},
                      DefaultTargetsCase{"OneParallelPortModel12", {0x02, 0x50, 0x10}, 1, 0, "11111111"},
                      DefaultTargetsCase{"TwoParallelPortsModel16", {0x06, 0x31, 0x00}, 2, 0, "12121212"},
                      DefaultTargetsCase{"TwoParallelPortsAndSerialModel2", {0x00, 0x14, 0x00}, 2, 1, "12121212"},
                      DefaultTargetsCase{"ThreeParallelPortsModel4", {0x01, 0x71, 0x00}, 3, 0, "12312312"},
                      DefaultTargetsCase{"ThreeParallelPortsAndSerialModel3", {0x01, 0x02, 0x00}, 3, 1, "12312312"}),
    [](const ::testing::TestParamInfo<DefaultTargetsCase>& param) { return std::string(param.param.name); });

TEST_F(SaveToDeviceTest, TabFromTheAuthenticationRadiosLeavesThePage) {
  OpenBox();
  SelectTab(5);
  ui::CWnd* shared = g_WirelessPage.GetDlgItem(W::IDC_SHARED_KEY);
  ASSERT_TRUE(shared->IsWindowEnabled() || gdsWirelessConfigurationData.bWEPEnable != 1);
  Click(g_WirelessPage, W::IDC_WEP_ENABLED);
  // With PSA_TEST_SCREENSHOTS set to a folder, the view with the page is saved there for a look.
  if (const char* dir = std::getenv("PSA_TEST_SCREENSHOTS"); dir != nullptr && *dir != '\0')
    ui::SaveScreenshot(Frame().GetSafeHwnd(), QString::fromStdString(std::string(dir) + "/view_wireless_page.png"));
  shared->SetFocus();
  QTest::keyClick(shared->GetSafeHwnd(), Qt::Key_Tab);
  EXPECT_TRUE(View().RestoreDefaultsButton().HasFocus());
}

TEST_F(SaveToDeviceTest, RefusedInputsSendNothing) {
  box_emulator::Box& box = OpenBox();
  // An address the box could not use, with DHCP off.
  gdsTCPIPConfigurationData.bAutoAddress1 = 0;
  gdsTCPIPConfigurationData.szIPAddress = "10.0.0.0";
  EXPECT_TRUE(Save(box).empty());
  EXPECT_EQ(sink_.ids(), std::vector<int>{console::IDS_IP_ADDRESS_ILLEGAL});
  EXPECT_EQ(sink_.shown().back().text, "IP Address illegal.");
  EXPECT_EQ(sink_.shown().back().type, platform::MB_OK | platform::MB_ICONWARNING);
  gdsTCPIPConfigurationData.bAutoAddress1 = 1;
  // A network name with a control character: refused before any field is stored.
  SelectTab(5);
  g_WirelessPage.m_edSSID.SetWindowText("HOME\tNET");
  SelectText(g_WirelessPage.m_cbChannel, "3");
  EXPECT_TRUE(Save(box).empty());
  EXPECT_EQ(sink_.ids().back(), device_dialogs::IDS_ILLEGAL_INPUT_DATA);
  EXPECT_EQ(g_WirelessPage.m_edSSID.GetWindowText(), "");
  EXPECT_EQ(gdsWirelessConfigurationData.szSSID, "ANY");
  EXPECT_EQ(gdsWirelessConfigurationData.iChannel, 11);
  for (const auto& r : box.Requests()) EXPECT_NE(r.data.rfind("9002:", 0), 0u) << "restarted";
}

TEST_F(SaveToDeviceTest, AFailedWriteIsShownAndTheBoxKeepsItsSettings) {
  box_emulator::Box& box = OpenBox();
  const int restarts = box.RestartCount();
  g_SystemPage.m_editDeviceName.SetWindowText("RENAMED");
  // The box fails the protocol query before the save (which the save goes on without) and the
  // configuration write itself.
  box_emulator::FaultPlan fault;
  fault.errorChunk = 0;
  fault.count = 2;
  box.InjectFault(fault);
  Save(box);
  EXPECT_EQ(sink_.ids(), std::vector<int>{IDS_NETWORK_BUSY_OR_NOT_FOUND});
  EXPECT_NE(View().LastResult(), 0);
  EXPECT_EQ(box.RestartCount(), restarts);
  EXPECT_EQ(box.DeviceName(), "FRONT DESK");
  EXPECT_EQ(box.Setting("0001").value_or(""), "FRONT DESK");
  EXPECT_EQ(g_szDeviceName, "FRONT DESK");
  // The user's value is kept for the next try, which goes through.
  EXPECT_EQ(gdsSystemConfigurationData.szDeviceName, "RENAMED");
  ExpectLines(Save(box), {"0001 :RENAMED"}, "retry");
  EXPECT_EQ(box.DeviceName(), "RENAMED");
  EXPECT_EQ(sink_.ids().size(), 1u);
}

// ---- Another box while one is open ---------------------------------------------------------------
// Quick and Browse work on the other boxes of the list while a box is open; Save To Device sends
// only what the opened box's pages hold.

class OtherBoxWhileOpenTest : public SaveToDeviceTest {
 protected:
  // Two boxes whose protocol switches differ: the one of list row `openRow` is opened with
  // Advanced and shows its TCP/IP tab; the other is `other_`.
  void OpenOneOfTwo(int openRow = 0) {
    MakeBoxes(2);
    ASSERT_TRUE(Start());
    Tick();
    ASSERT_EQ(g_pMainMenuDlg->List().GetItemCount(), 2);
    opened_ = &BoxNamed(g_pMainMenuDlg->List().GetItemText(openRow, 1));
    other_ = &BoxNamed(g_pMainMenuDlg->List().GetItemText(1 - openRow, 1));
    otherRow_ = 1 - openRow;
    for (const auto& [key, a, b] : {std::tuple{"0011", "DISABLE", "ENABLE"}, std::tuple{"0013", "ENABLE", "DISABLE"},
                                    std::tuple{"0014", "ENABLE", "DISABLE"}}) {
      opened_->SetSetting(key, a);
      other_->SetSetting(key, b);
    }
    // On DHCP: the save checks no addresses.
    for (box_emulator::Box* box : {opened_, other_}) box->SetSetting("4020", "Enable");
    g_pMainMenuDlg->List().SetItemState(openRow, ui::LVIS_SELECTED, ui::LVIS_SELECTED);
    Click(*g_pMainMenuDlg, 1010);
    ASSERT_TRUE(View().IsDeviceOpen());
    ASSERT_EQ(View().OpenedBox().defaultName, opened_->DefaultName());
    fake_ = std::make_unique<platform::ScopedClock>(&clock_);
    SelectTab(1);
    ASSERT_EQ(View().Layout()[1], "TCP/IP");
  }
  // Presses Quick on the list row; the dialog is answered with a new name (empty: Cancel).
  // Returns the device name the dialog showed.
  std::string Quick(int row, const std::string& newName) {
    g_pMainMenuDlg->List().SetItemState(row, ui::LVIS_SELECTED, ui::LVIS_SELECTED);
    std::string shown;
    ui::SetModalHook([&](ui::CDialog& d) {
      EXPECT_EQ(d.Template().id, CQuickSetupDlg::IDD);
      shown = d.GetDlgItemText(CQuickSetupDlg::IDC_DEVICE_NAME);
      if (newName.empty()) {
        Click(d, ui::IDCANCEL);
        return;
      }
      d.SetDlgItemText(CQuickSetupDlg::IDC_DEVICE_NAME, newName);
      Click(d, ui::IDOK);
    });
    Click(*g_pMainMenuDlg, 1011);
    ui::SetModalHook({});
    return shown;
  }
  static std::string WithoutBlanks(std::string text) {
    text.erase(std::remove(text.begin(), text.end(), ' '), text.end());
    return text;
  }
  static bool Sent(const Lines& lines, const std::string& prefix) {
    return std::any_of(lines.begin(), lines.end(), [&](const std::string& l) { return l.rfind(prefix, 0) == 0; });
  }
  static int ConfigurationWrites(box_emulator::Box& box) {
    int n = 0;
    for (const auto& r : box.Requests()) n += r.data.rfind("0001 :", 0) == 0 ? 1 : 0;
    return n;
  }

  box_emulator::Box* opened_ = nullptr;
  box_emulator::Box* other_ = nullptr;
  int otherRow_ = 1;
};

TEST_F(OtherBoxWhileOpenTest, QuickOnAnotherBoxLeavesWhatTheOpenedBoxSaves) {
  OpenOneOfTwo();
  const std::string openedName = WithoutBlanks(opened_->DeviceName());
  const Lines openedSwitches = {"0001 :" + openedName, "0011 :DISABLE", "0012 :ENABLE", "0013 :ENABLE",
                                "0014 :ENABLE"};
  other_->ClearRequests();
  // Quick on the other box, cancelled.
  EXPECT_EQ(Quick(otherRow_, ""), other_->DeviceName());
  Lines sent = Save(*opened_);
  ASSERT_FALSE(sent.empty()) << sink_.ids().size();
  ExpectLines(sent, openedSwitches, "after a cancelled Quick");
  EXPECT_EQ(ConfigurationWrites(*other_), 0);

  // Quick on the other box, renamed: that box gets its own switches with the new name, the opened
  // box's save stays its own.
  other_->ClearRequests();
  EXPECT_EQ(Quick(otherRow_, "ANNEX2"), other_->DeviceName());
  EXPECT_EQ(other_->DeviceName(), "ANNEX2");
  for (const auto& [key, value] : {std::pair{"0011", "ENABLE"}, std::pair{"0013", "DISABLE"}, std::pair{"0014", "DISABLE"}})
    EXPECT_EQ(other_->Setting(key).value_or(""), value) << key;
  EXPECT_EQ(g_pMainMenuDlg->List().GetItemText(otherRow_, 0), "ANNEX2");
  sent = Save(*opened_);
  ExpectLines(sent, openedSwitches, "after a Quick rename of the other box");
  EXPECT_EQ(opened_->DeviceName(), openedName);
  EXPECT_EQ(View().OpenedBox().deviceName, openedName);
  EXPECT_TRUE(sink_.ids().empty());
}

TEST_F(OtherBoxWhileOpenTest, QuickOnTheOpenedBoxKeepsTheSystemValuesATabChangeStored) {
  OpenOneOfTwo();
  // The System page: IPX/SPX on, NetBEUI off; stored by the change to the TCP/IP tab.
  SelectTab(0);
  ASSERT_EQ(g_pCurrentPage, &g_SystemPage);
  Click(g_SystemPage, CSystemPage::IDC_IPXSPX_ENABLE);
  Click(g_SystemPage, CSystemPage::IDC_NETBEUI_DISABLE);
  SelectTab(1);
  ASSERT_EQ(gdsSystemConfigurationData.bIPXSPXProtocol, 1);
  Quick(0, "");
  ExpectLines(Save(*opened_), {"0011 :ENABLE", "0014 :DISABLE"}, "after Quick on the opened box");
  EXPECT_EQ(opened_->Setting("0011").value_or(""), "ENABLE");
  EXPECT_EQ(opened_->Setting("0014").value_or(""), "DISABLE");

  // Quick renames the opened box: a save keeps the new name (and the stored switches), and so
  // does the System page on show.
  SelectTab(0);
  Click(g_SystemPage, CSystemPage::IDC_NETBEUI_ENABLE);
  SelectTab(1);
  EXPECT_EQ(Quick(0, "RENAMED"), WithoutBlanks(NameOfBox(opened_->DefaultName())));
  EXPECT_EQ(opened_->DeviceName(), "RENAMED");
  EXPECT_EQ(View().OpenedBox().deviceName, "RENAMED");
  ExpectLines(Save(*opened_), {"0001 :RENAMED", "0011 :ENABLE", "0014 :ENABLE"}, "after a Quick rename");
  SelectTab(0);
  Quick(0, "AGAIN");
  EXPECT_EQ(g_SystemPage.m_editDeviceName.GetWindowText(), "AGAIN");
  ExpectLines(Save(*opened_), {"0001 :AGAIN", "0011 :ENABLE", "0014 :ENABLE"}, "System page on show");
  EXPECT_EQ(opened_->DeviceName(), "AGAIN");
  EXPECT_TRUE(sink_.ids().empty());
}

TEST_F(OtherBoxWhileOpenTest, ABrowseWhileOpenNeverLendsAnotherBoxsProtocolsToTheSave) {
  // The opened box is the second row: a browse checks the first, which has no IPX/SPX and a
  // wireless interface.
  OpenOneOfTwo(1);
  other_->SetCapabilities(0x80, 0x1E);
  Tick();
  Tick();
  Click(*g_pMainMenuDlg, 1000);
  ASSERT_EQ(g_pMainMenuDlg->List().GetItemCount(), 2);
  EXPECT_EQ(View().OpenedBox().defaultName, opened_->DefaultName());
  // The opened box fails the protocol query before the save, which goes on with the record it has.
  box_emulator::FaultPlan fault;
  fault.errorChunk = 0;
  fault.count = 1;
  opened_->InjectFault(fault);
  const Lines sent = Save(*opened_);
  ASSERT_FALSE(sent.empty()) << sink_.ids().size();
  // The opened box's own sections: NetWare (it has IPX/SPX), no wireless.
  EXPECT_TRUE(Sent(sent, "2000 :"));
  EXPECT_FALSE(Sent(sent, "7000 :"));
  EXPECT_TRUE(sink_.ids().empty());
}

}  // namespace
}  // namespace console_test

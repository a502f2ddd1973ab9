// Save To Device and Restore to Defaults of the settings view: the address check, the
// client-side defaults, and what a save sends to an emulated box.
#include <gtest/gtest.h>

#include <QTabBar>
#include <QTest>
#include <cstdlib>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "console/console_state.h"
#include "console/main_frame.h"
#include "console/main_menu_dlg.h"
#include "console/pellam_view.h"
#include "console/tests/console_fixture.h"
#include "console/view_save.h"
#include "console_pages/device_dialog_text.h"
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
  // A box on DHCP is saved with the default 0.0.0.0.
  ExpectLines(sent,
              {"0001 :" + defaultName, "0011 :ENABLE", "4000 :0.0.0.0", "4020 :Enable", "5000 :OFFICE", "5001 :NO",
               "7000 :", "7002 :14", "7003 :Disable", "7012 :2", "7013 :0", "0100 :P1", "0120 :P2", "0101 :"},
              "defaults");
  EXPECT_TRUE(sink_.ids().empty());
}

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

}  // namespace
}  // namespace console_test

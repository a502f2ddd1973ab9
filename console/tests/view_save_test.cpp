// Save To Device and Restore to Defaults of the settings view: the address check, the
// client-side defaults, and what a save sends to an emulated box.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "console/console_state.h"
#include "console/view_save.h"
#include "device_client/settings/com_method.h"
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

}  // namespace
}  // namespace console_test

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "device_client/core/config/config_builder.h"
#include "device_client/core/config/config_parser.h"

namespace {

using config::AllConfigurationData;
using config::ProtocolData;

std::string LogicalPrinterLines() {
  std::string s;
  for (int b = 100; b <= 240; b += 20) {
    char key[5];
    for (int i = 0; i < 4; ++i) {
      std::snprintf(key, sizeof key, "%04d", b + i);
      s += key;
      s += i == 3 ? " :NO\n" : " :\n";
    }
  }
  return s;
}

TEST(ConfigBuilder, BoxWithoutCapabilitiesGetsTheFixedLines) {
  AllConfigurationData s;
  s.dsSystem.szDeviceName = "Office";
  s.dsSystem.bIPXSPXProtocol = 1;
  s.dsSystem.bAPPLETALKProtocol = 7;
  s.dsSystem.bFifthProtocol = 1;          // never written here
  s.dsPhysicalPort[0].szPortName = "LPT";
  s.dsPhysicalPort[3].szPortName = "SER";  // never written
  s.dsPhysicalPort[1].iHandshake = 1;
  s.dsPhysicalPort[2].iHandshake = 5;
  s.dsPhysicalPort[0].bEnable = 1;         // never written
  std::string text;
  ASSERT_EQ(0, config::BuildAllConfigurationText(s, ProtocolData{}, text));
  const std::string want =
      "0001 :Office\n0011 :ENABLE\n0012 :DISABLE\n0013 :ENABLE\n0014 :DISABLE\n"
      "0040 :LPT\n0041 :P2\n0042 :P3\n"
      "0501 :ACK\n0502 :BUSY\n0503 :ACK\n" +
      LogicalPrinterLines();
  EXPECT_EQ(want, text);
}

AllConfigurationData FullSettings() {
  AllConfigurationData s;
  s.dsSystem.szDeviceName = "Box";
  s.dsNetware.szOperationMode = "PS";
  s.dsNetware.szPrintServerName = "PSERV";
  s.dsNetware.szDeviceName = "RPDEV";
  s.dsNetware.bFrameTypeEthernetII = 1;
  s.dsNetware.bJobNotify = 1;
  s.dsNetware.iQueuePollingInterval = 5;
  s.dsNetware.szNDSTreeName = "TREE";
  s.dsNetware.szP3RemotePrinter = "R3";
  s.dsTCPIP.szIPAddress = "10.0.0.5";
  s.dsTCPIP.szSubNetworkMaskAddress = "255.0.0.0";
  s.dsTCPIP.bAutoAddress1 = 1;
  s.dsNetBEUI.szDomainName = "WG";
  s.dsNetBEUI.bAbortJobAsPaperOut = 0;
  s.dsNetBEUI.iResponseTime = 30;
  s.dsWireless.szSSID = "air";
  s.dsWireless.iChannel = 6;
  s.dsWireless.bWEPEnable = 1;
  s.dsWireless.iKeyLength = 13;
  std::strcpy(s.dsWireless.szKey1, "00112233445566778899AABBCC");
  std::strcpy(s.dsWireless.szKey2, "0011223344");
  s.dsWireless.iAuthentication = 2;
  s.dsWireless.iNetworkType = 3;
  s.dsAPPLETALK.szP2PrinterType = "LaserWriter";
  s.dsAPPLETALK.bP1BinaryCommunicationProtocol = 1;
  s.dsAPPLETALK.bP2BinaryCommunicationProtocol = 2;
  s.dsAPPLETALK.bSPBinaryCommunicationProtocol = 7;
  s.dsLogicalPrinter[0].szPhysicalPort = "P1";
  s.dsLogicalPrinter[0].bConvertLFToLFCR = 1;
  return s;
}

ProtocolData AllCaps() {
  ProtocolData c;
  c.bWirelessDevice = c.bIPXSPXProtocol = c.bTCPIPProtocol = c.bAPPLETALKProtocol = 1;
  c.bNetBEUIProtocol = 1;
  return c;
}

TEST(ConfigBuilder, EveryGroupInOrder) {
  std::string text;
  ASSERT_EQ(0, config::BuildAllConfigurationText(FullSettings(), AllCaps(), text));
  const std::string want =
      "0001 :Box\n0011 :DISABLE\n0012 :DISABLE\n0013 :DISABLE\n0014 :DISABLE\n"
      "0040 :P1\n0041 :P2\n0042 :P3\n0501 :ACK\n0502 :ACK\n0503 :ACK\n"
      "0001 :PSERV\n2001 :ENABLE\n2002 :DISABLE\n2003 :DISABLE\n2004 :DISABLE\n2000 :PS\n"
      "2101 :\n2102 :YES\n2103 :5\n2110 :TREE\n2111 :\n2501 :\n2502 :\n2503 :\n2504 :R3\n"
      "7000 :air\n7001 :\n7002 :6\n7003 :Enable\n7004 :13\n7005 :0\n"
      "7006 :00112233445566778899AABBCC\n7007 :0011223344\n7008 :\n7009 :\n7012 :2\n7013 :3\n"
      "4000 :10.0.0.5\n4002 :255.0.0.0\n4020 :Enable\n"
      "5000 :WG\n5001 :NO\n5002 :30\n"
      "0100 :P1\n0101 :\n0102 :\n0103 :YES\n" +
      LogicalPrinterLines().substr(std::string("0100 :\n0101 :\n0102 :\n0103 :NO\n").size()) +
      "3000 :\n3002 :LaserWriter\n3101 :YES\n3102 :BCP\n3103 :BCP\n3104 :NO\n";
  EXPECT_EQ(want, text);
}

TEST(ConfigBuilder, ValuesLeftOut) {
  AllConfigurationData s = FullSettings();
  s.dsNetBEUI.iResponseTime = 300;
  s.dsNetBEUI.bAbortJobAsPaperOut = 2;
  s.dsTCPIP.bAutoAddress1 = 3;
  s.dsNetware.szOperationMode = "RP";
  std::string text;
  ASSERT_EQ(0, config::BuildAllConfigurationText(s, AllCaps(), text));
  EXPECT_EQ(std::string::npos, text.find("5002 :"));
  EXPECT_EQ(std::string::npos, text.find("5001 :"));
  EXPECT_EQ(std::string::npos, text.find("4020 :"));
  EXPECT_NE(std::string::npos, text.find("5000 :WG\n0100 :"));
  EXPECT_NE(std::string::npos, text.find("\n0001 :RPDEV\n2001 :"));  // remote-printer name
}

TEST(ConfigBuilder, RefusalsSendNothing) {
  struct Case {
    const char* what;
    std::function<void(AllConfigurationData&, ProtocolData&)> change;
  };
  const std::vector<Case> cases = {
      {"unknown NetWare mode", [](auto& s, auto&) { s.dsNetware.szOperationMode = "XX"; }},
      {"empty NetWare mode", [](auto& s, auto&) { s.dsNetware.szOperationMode.clear(); }},
      {"PS without print-server name", [](auto& s, auto&) { s.dsNetware.szPrintServerName.clear(); }},
      {"RP without device name",
       [](auto& s, auto&) {
         s.dsNetware.szOperationMode = "RP";
         s.dsNetware.szDeviceName.clear();
       }},
      {"frame type 2", [](auto& s, auto&) { s.dsNetware.bFrameType8022Snap = 2; }},
      {"job notify 3", [](auto& s, auto&) { s.dsNetware.bJobNotify = 3; }},
      {"polling 0", [](auto& s, auto&) { s.dsNetware.iQueuePollingInterval = 0; }},
      {"polling 256", [](auto& s, auto&) { s.dsNetware.iQueuePollingInterval = 256; }},
      {"empty IP address", [](auto& s, auto&) { s.dsTCPIP.szIPAddress.clear(); }},
      {"line feed in the device name", [](auto& s, auto&) { s.dsSystem.szDeviceName = "x\n9006:"; }},
      {"CR in a port name", [](auto& s, auto&) { s.dsPhysicalPort[1].szPortName = "P\r2"; }},
      {"tab in a before-job string", [](auto& s, auto&) { s.dsLogicalPrinter[4].szStringBeforeJob = "a\tb"; }},
      {"DEL in the SSID", [](auto& s, auto&) { s.dsWireless.szSSID = "air\x7f"; }},
      {"control byte in a key", [](auto& s, auto&) { s.dsWireless.szKey3[0] = '\x1b'; }},
      {"NUL inside the zone", [](auto& s, auto&) { s.dsAPPLETALK.szZoneName = std::string("a\0b", 3); }},
      {"LF in the NDS context", [](auto& s, auto&) { s.dsNetware.szNDSContextName = "o=a\n"; }},
      {"LF in the workgroup", [](auto& s, auto&) { s.dsNetBEUI.szDomainName = "\nWG"; }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    AllConfigurationData s = FullSettings();
    ProtocolData caps = AllCaps();
    c.change(s, caps);
    std::string text = "stale";
    EXPECT_EQ(-2, config::BuildAllConfigurationText(s, caps, text));
    EXPECT_TRUE(text.empty());
  }
}

TEST(ConfigBuilder, GroupsOfMissingCapabilitiesAreNotLookedAt) {
  AllConfigurationData s = FullSettings();
  s.dsNetware.iQueuePollingInterval = 0;
  s.dsNetware.szNDSContextName = "bad\n";
  s.dsTCPIP.szIPAddress.clear();
  std::string text;
  EXPECT_EQ(0, config::BuildAllConfigurationText(s, ProtocolData{}, text));
}

TEST(ConfigBuilder, SystemLines) {
  config::SystemConfigurationData sys;
  sys.szDeviceName = "Front";
  sys.bTCPIPProtocol = 1;
  sys.bFifthProtocol = 1;
  std::string text;
  ASSERT_EQ(0, config::BuildSystemConfigurationText(sys, text));
  EXPECT_EQ("0001 :Front\n0011 :DISABLE\n0012 :ENABLE\n0013 :DISABLE\n0014 :DISABLE\n0019 :ENABLE\n",
            text);
  sys.szDeviceName = "x\n9006:";
  EXPECT_EQ(-2, config::BuildSystemConfigurationText(sys, text));
  EXPECT_TRUE(text.empty());
}

TEST(ConfigBuilder, RoundTripThroughTheParser) {
  AllConfigurationData s = FullSettings();
  s.dsNetware.szPrintServerName = "Box";  // the box reports one name for both
  s.dsSystem.bTCPIPProtocol = 1;
  for (auto& p : s.dsPhysicalPort) p.iHandshake = 1;  // a box reports the other state as ACK&BUSY
  s.dsLogicalPrinter[6].szStringBeforeJob = "\\1B%-12345X";
  s.dsLogicalPrinter[6].szPhysicalPort = "P2";
  std::string text;
  ASSERT_EQ(0, config::BuildAllConfigurationText(s, AllCaps(), text));

  config::DeviceConfigurationData d;
  config::ClearConfiguration(d);
  ASSERT_EQ(0, config::ParseConfiguration(text.data(), static_cast<int>(text.size()), &d));
  EXPECT_EQ(s.dsSystem.szDeviceName, d.dsSystem.szDeviceName);
  EXPECT_EQ(s.dsSystem.bTCPIPProtocol, d.dsSystem.bTCPIPProtocol);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(1, d.dsPhysicalPort[i].iHandshake);
  EXPECT_EQ("P1", d.dsPhysicalPort[0].szPortName);
  const auto& nw = d.dsNetware;
  EXPECT_EQ("PS", nw.szOperationMode);
  EXPECT_EQ(1, nw.bFrameTypeEthernetII);
  EXPECT_EQ(1, nw.bJobNotify);
  EXPECT_EQ(5, nw.iQueuePollingInterval);
  EXPECT_EQ("TREE", nw.szNDSTreeName);
  EXPECT_EQ("R3", nw.szP3RemotePrinter);
  EXPECT_EQ("10.0.0.5", d.dsTCPIP.szIPAddress);
  EXPECT_EQ("255.0.0.0", d.dsTCPIP.szSubNetworkMaskAddress);
  EXPECT_EQ(1, d.dsTCPIP.bAutoAddress1);
  EXPECT_EQ("WG", d.dsNetBEUI.szDomainName);
  EXPECT_EQ(30, d.dsNetBEUI.iResponseTime);
  const auto& wl = d.dsWireless;
  EXPECT_EQ("air", wl.szSSID);
  EXPECT_EQ(6, wl.iChannel);
  EXPECT_EQ(1, wl.bWEPEnable);
  EXPECT_EQ(13, wl.iKeyLength);
  EXPECT_EQ(0, std::memcmp(s.dsWireless.szKey1, wl.szKey1, sizeof wl.szKey1));
  EXPECT_EQ(0, std::memcmp(s.dsWireless.szKey2, wl.szKey2, sizeof wl.szKey2));
  EXPECT_EQ(2, wl.iAuthentication);
  EXPECT_EQ(3, wl.iNetworkType);
  for (int i = 0; i < config::kLogicalPrinterCount; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(s.dsLogicalPrinter[i].szPhysicalPort, d.dsLogicalPrinter[i].szPhysicalPort);
    EXPECT_EQ(s.dsLogicalPrinter[i].szStringBeforeJob, d.dsLogicalPrinter[i].szStringBeforeJob);
    EXPECT_EQ(s.dsLogicalPrinter[i].szStringAfterJob, d.dsLogicalPrinter[i].szStringAfterJob);
    EXPECT_EQ(s.dsLogicalPrinter[i].bConvertLFToLFCR, d.dsLogicalPrinter[i].bConvertLFToLFCR);
  }
  const auto& at = d.dsAPPLETALK;
  EXPECT_EQ("LaserWriter", at.szP2PrinterType);
  EXPECT_EQ(1, at.bP1BinaryCommunicationProtocol);
  EXPECT_EQ(2, at.bP2BinaryCommunicationProtocol);
  EXPECT_EQ(2, at.bSPBinaryCommunicationProtocol);
  EXPECT_EQ(0, at.bP3BinaryCommunicationProtocol);
}

}  // namespace

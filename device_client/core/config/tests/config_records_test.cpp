#include <gtest/gtest.h>

#include <cstring>

#include "device_client/core/config/config_records.h"
#include "device_client/core/config/wep_key_layout.h"

namespace {

using config::DeviceConfigurationData;

TEST(ConfigRecords, WirelessCopyCarriesTheFullWidthOfEveryKeyArray) {
  config::WirelessConfigurationData a;
  // Bytes after the NUL must survive a copy as well.
  std::memset(a.szKey1, 'A', sizeof a.szKey1);
  std::memset(a.szKey2, 'B', sizeof a.szKey2);
  std::memset(a.szKey3, 'C', sizeof a.szKey3);
  std::memset(a.szKey4, 'D', sizeof a.szKey4);
  a.szKey1[0] = '\0';
  a.szKey2[3] = '\0';
  a.szKey4[10] = '\0';
  a.szSSID = "net";
  a.iNetworkType = 3;

  config::WirelessConfigurationData b;
  b = a;
  EXPECT_EQ(0, std::memcmp(a.szKey1, b.szKey1, 27));
  EXPECT_EQ(0, std::memcmp(a.szKey2, b.szKey2, 11));
  EXPECT_EQ(0, std::memcmp(a.szKey3, b.szKey3, 11));
  EXPECT_EQ(0, std::memcmp(a.szKey4, b.szKey4, 11));
  EXPECT_EQ("net", b.szSSID);
  EXPECT_EQ(3, b.iNetworkType);
  static_assert(sizeof a.szKey1 == 27 && sizeof a.szKey2 == 11 && sizeof a.szKey4 == 11);
}

TEST(ConfigRecords, CopiesCarryReservedBytes) {
  config::AllConfigurationData a;
  a.dsSystem.reserved[63] = 0x5A;
  a.dsPhysicalPort[3].reserved[0] = 0x11;
  a.dsLogicalPrinter[7].reserved[10] = 0x22;
  a.dsPhysicalPort[2].szPortLabel = "label";
  const config::AllConfigurationData b = a;
  EXPECT_EQ(0x5A, b.dsSystem.reserved[63]);
  EXPECT_EQ(0x11, b.dsPhysicalPort[3].reserved[0]);
  EXPECT_EQ(0x22, b.dsLogicalPrinter[7].reserved[10]);
  EXPECT_EQ("label", b.dsPhysicalPort[2].szPortLabel);
}

TEST(ConfigRecords, ClearSetsTheClientDefaults) {
  DeviceConfigurationData d;
  // Dirty everything that the clear step touches and some of what it keeps.
  d.dsProtocol.bTCPIPProtocol = 1;
  d.dsSystem.szDeviceName = "old";
  d.dsSystem.bNetBEUIProtocol = 1;
  d.dsSystem.bFifthProtocol = 1;
  d.dsSerialPort.iBaudrate = 9600;
  d.dsSerialPort.szParity = "ODD";
  d.dsLogicalPrinter[5].szStringAfterJob = "x";
  d.dsLogicalPrinter[5].bConvertLFToLFCR = 1;
  d.dsPhysicalPort[1].szPortName = "KEEP";
  d.dsPhysicalPort[1].iHandshake = 1;
  d.dsNetware.bFrameTypeEthernetII = 1;
  d.dsNetware.bFrameType8023 = 1;
  d.dsNetware.szPrintServerName = "ps";
  d.dsNetware.iQueuePollingInterval = 7;
  d.dsTCPIP.szIPAddress = "10.0.0.1";
  d.dsTCPIP.szPassword = "secret";
  d.dsTCPIP.bBannerPrinting = 0;
  d.dsTCPIP.reserved[0] = 9;
  d.dsAPPLETALK.bP3BinaryCommunicationProtocol = 2;
  d.dsNetBEUI.iResponseTime = 30;
  d.dsSNMP.szM4_CommunityString = "public";
  d.dsSNMP.iT2_TrapSeverity = 4;
  d.dsWireless.szSSID = "net";
  d.dsWireless.szKey1[5] = 'F';
  d.dsWireless.szKey4[10] = 'F';
  d.dsDevicePID.data[163] = 1;

  config::ClearConfiguration(d);

  EXPECT_EQ(0, d.dsProtocol.bTCPIPProtocol);
  EXPECT_EQ("", d.dsSystem.szDeviceName);
  EXPECT_EQ(0, d.dsSystem.bNetBEUIProtocol);
  EXPECT_EQ(1, d.dsSystem.bFifthProtocol);  // kept
  EXPECT_EQ(0, d.dsSerialPort.iBaudrate);
  EXPECT_EQ("", d.dsSerialPort.szParity);
  EXPECT_EQ("", d.dsLogicalPrinter[5].szStringAfterJob);
  EXPECT_EQ(0, d.dsLogicalPrinter[5].bConvertLFToLFCR);
  EXPECT_EQ("KEEP", d.dsPhysicalPort[1].szPortName);  // kept
  EXPECT_EQ(1, d.dsPhysicalPort[1].iHandshake);       // kept
  EXPECT_EQ(0, d.dsNetware.bFrameTypeEthernetII);
  EXPECT_EQ(1, d.dsNetware.bFrameType8023);  // kept
  EXPECT_EQ("", d.dsNetware.szPrintServerName);
  EXPECT_EQ(0, d.dsNetware.iQueuePollingInterval);
  EXPECT_EQ("", d.dsTCPIP.szIPAddress);
  EXPECT_EQ("", d.dsTCPIP.szPassword);
  EXPECT_EQ(255, d.dsTCPIP.iTCPIntervalSessionRetry);
  EXPECT_EQ(10, d.dsTCPIP.iTCPCountSessionRetry);
  EXPECT_EQ("0.0.0.0", d.dsTCPIP.szMailServerIPAddress);
  EXPECT_EQ(std::string(1, '\x01'), d.dsTCPIP.szCheckMailInterval);
  EXPECT_EQ("P1", d.dsTCPIP.szDefaultPrinterNumber);
  EXPECT_EQ(1, d.dsTCPIP.bBannerPrinting);
  EXPECT_EQ(9, d.dsTCPIP.reserved[0]);  // kept
  EXPECT_EQ(0, d.dsAPPLETALK.bP3BinaryCommunicationProtocol);
  EXPECT_EQ(0, d.dsNetBEUI.iResponseTime);
  EXPECT_EQ("", d.dsSNMP.szM4_CommunityString);
  EXPECT_EQ(0, d.dsSNMP.iT2_TrapSeverity);
  EXPECT_EQ("", d.dsWireless.szSSID);
  EXPECT_EQ(5, d.dsWireless.iKeyLength);
  EXPECT_EQ(1, d.dsWireless.iAuthentication);
  EXPECT_EQ(-1, d.dsWireless.iNetworkType);
  EXPECT_EQ(0, d.dsWireless.iListMode);
  const char zeros[27] = {};
  EXPECT_EQ(0, std::memcmp(zeros, d.dsWireless.szKey1, 27));
  EXPECT_EQ(0, std::memcmp(zeros, d.dsWireless.szKey4, 11));
  EXPECT_EQ(0, d.dsDevicePID.data[163]);
}

// Typing goes on within a key and stops at each key's last byte: 4, 9, 14 and 19 in the 64-bit
// layout, 12 in the 128-bit one (whose unused edits 13-19 keep the stops at 14 and 19).
TEST(WepKeyLayout, TypingStopsAtTheLastByteOfEachKey) {
  for (int index = -1; index <= config::kWepKeyByteEdits; ++index) {
    SCOPED_TRACE(index);
    const bool inside = index >= 0 && index < config::kWepKeyByteEdits;
    const bool end64 = index == 4 || index == 9 || index == 14 || index == 19;
    const bool end128 = index == 12 || index == 14 || index == 19;
    EXPECT_EQ(config::NextWepKeyByte(index, false), inside && !end64 ? index + 1 : -1);
    EXPECT_EQ(config::NextWepKeyByte(index, true), inside && !end128 ? index + 1 : -1);
  }
}

}  // namespace

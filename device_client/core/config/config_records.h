// Configuration records of one print server: one plain value record per configuration group, the
// gathered record that the console writes back, and the device-API object's cached copy of the
// whole configuration of the box read last.
//
// All records are value types: strings are std::string, numbers 32-bit signed, "b" fields 0/1
// switches unless noted. Construction zeroes every number, array and reserved byte and leaves the
// strings empty; the default copy operations copy every field, reserved bytes and the full width of
// the fixed character arrays included.
#pragma once
#include <algorithm>
#include <cstdint>
#include <iterator>
#include <string>
#include <type_traits>
#include <utility>

#include "device_client/core/wire_layout.h"

namespace config {

constexpr int kReservedSize = 64;
constexpr int kLogicalPrinterCount = 8;
constexpr int kPhysicalPortCount = 4;  // P1, P2, P3, serial port (in this order)
constexpr int kKey1Size = 27;          // 26 hex digits + NUL
constexpr int kKeySize = 11;           // 10 hex digits + NUL

// Capability flags of one box, decoded from its device-information block.
struct ProtocolData {
  std::int32_t bWirelessDevice = 0;
  std::int32_t bIPXSPXProtocol = 0;
  std::int32_t bNetwareNDS = 0;
  std::int32_t bTCPIPProtocol = 0;
  std::int32_t bAPPLETALKProtocol = 0;
  std::int32_t bNetBEUIProtocol = 0;
  std::int32_t bSNMPProtocol = 0;
  std::int32_t bInternetMailProtocol = 0;
  unsigned char reserved[kReservedSize] = {};
};

// The 164-byte device-information block, raw bytes as the box sent them (offsets: wire::pid).
struct DevicePIDData {
  unsigned char data[wire::pid::kSize] = {};
};
static_assert(sizeof(DevicePIDData) == 164);

struct SystemConfigurationData {
  std::string szDeviceName;              // 0001
  std::int32_t bIPXSPXProtocol = 0;      // 0011
  std::int32_t bTCPIPProtocol = 0;       // 0012
  std::int32_t bAPPLETALKProtocol = 0;   // 0013
  std::int32_t bNetBEUIProtocol = 0;     // 0014
  std::int32_t bFifthProtocol = 0;       // 0019
  unsigned char reserved[kReservedSize] = {};
};

struct NetwareConfigurationData {
  std::int32_t bFrameTypeEthernetII = 0;     // 2001
  std::int32_t bFrameType8022 = 0;           // 2002
  std::int32_t bFrameType8023 = 0;           // 2003
  std::int32_t bFrameType8022Snap = 0;       // 2004
  std::int32_t bFrameTypeTokenring = 0;      // 2002 (read only)
  std::int32_t bFrameTypeTokenringSnap = 0;  // 2004 (read only)
  std::string szOperationMode;               // 2000: "PS" or "RP"
  std::string szMasterFileServerName;        // 2101
  std::string szP1RemotePrinter;             // 2501
  std::string szP2RemotePrinter;             // 2502
  std::string szP3RemotePrinter;             // 2504
  std::string szSPRemotePrinter;             // 2503
  std::string szNDSTreeName;                 // 2110
  std::string szNDSContextName;              // 2111
  std::int32_t iQueuePollingInterval = 0;    // 2103 (1..255)
  std::int32_t bJobNotify = 0;               // 2102
  std::string szPrintServerName;             // 0001
  std::string szDeviceName;                  // 0001
  unsigned char reserved[kReservedSize] = {};
};

struct TCPIPConfigurationData {
  std::string szIPAddress;                  // 4000
  std::string szGatewayAddress;             // 4001
  std::string szSubNetworkMaskAddress;      // 4002
  std::int32_t bAutoAddress1 = 0;           // 4020 (DHCP)
  std::int32_t bAutoAddress2 = 0;           // 4021
  std::int32_t bAutoAddress3 = 0;           // 4022
  std::string szSpare;                      // no key
  std::int32_t iTCPIntervalSessionRetry = 0;  // 4010
  std::int32_t iTCPCountSessionRetry = 0;     // 4011
  std::string szMailServerIPAddress;        // 4100
  std::string szMailAccount;                // 4101
  std::string szPassword;                   // 4102
  std::string szCheckMailInterval;          // 4103
  std::string szRedirectMailAccount;        // 4105
  std::string szDefaultPrinterNumber;       // 4106
  std::int32_t bPrintEveryEmail = 0;        // 4107
  std::int32_t bActivateResponseMail = 0;   // 4108
  std::int32_t bBannerPrinting = 0;         // 4104
  std::string szPrinterModelString;         // 4109
  unsigned char reserved[kReservedSize] = {};
};

// Binary protocol ints: 0 ASP, 1 TBCP, 2 BCP.
struct APPLETALKConfigurationData {
  std::string szZoneName;        // 3000
  std::string szP1PrinterType;   // 3001
  std::string szP2PrinterType;   // 3002
  std::string szP3PrinterType;   // 3004
  std::string szSPPrinterType;   // 3003
  std::int32_t bP1BinaryCommunicationProtocol = 0;  // 3101
  std::int32_t bP2BinaryCommunicationProtocol = 0;  // 3102
  std::int32_t bP3BinaryCommunicationProtocol = 0;  // 3104
  std::int32_t bSPBinaryCommunicationProtocol = 0;  // 3103
  unsigned char reserved[kReservedSize] = {};
};

struct NetBEUIConfigureData {
  std::string szDomainName;           // 5000 (the workgroup)
  std::int32_t iResponseTime = 0;     // 5002 (0..255, tenths of a second)
  std::int32_t bAbortJobAsPaperOut = 0;  // 5001
  unsigned char reserved[kReservedSize] = {};
};

// No reserved tail.
struct WirelessConfigurationData {
  std::string szSSID;                 // 7000
  std::string szDomainList;           // 7001
  std::int32_t iChannel = 0;          // 7002
  std::int32_t bWEPEnable = 0;        // 7003
  std::int32_t iKeyLength = 0;        // 7004: 5 or 13
  std::int32_t iDefaultKey = 0;       // 7005: 0..3
  char szKey1[kKey1Size] = {};        // 7006
  char szKey2[kKeySize] = {};         // 7007
  char szKey3[kKeySize] = {};         // 7008
  char szKey4[kKeySize] = {};         // 7009
  std::int32_t iListMode = 0;         // 7010: 1 Enable, 2 Enable_List, 0 Disable
  std::int32_t iAuthentication = 0;   // 7012: 1 open system, 2 shared key
  std::int32_t iNetworkType = 0;      // 7013: 0 infrastructure, 1 802.11 ad hoc, 3 ad hoc
  std::string szLinkStatus;           // 7014 (read only)
};

// One of the eight logical printers; keys b..b+3 with b = 0100 + 20 x (n - 1).
struct LogicalPrinterConfigurationData {
  std::string szPhysicalPort;         // b
  std::string szStringBeforeJob;      // b+1
  std::string szStringAfterJob;       // b+2
  std::int32_t bConvertLFToLFCR = 0;  // b+3
  unsigned char reserved[kReservedSize] = {};
};

// One of the physical ports P1, P2, P3, SP.
struct PhysicalPortConfigurationData {
  std::string szPortLabel;            // no key
  std::string szPortName;             // 0040-0043
  std::int32_t iHandshake = 0;        // 0501-0504: 1 BUSY, 0 ACK&BUSY
  std::int32_t bEnable = 0;           // 0511-0514
  unsigned char reserved[kReservedSize] = {};
};

struct SerialPortConfigurationData {
  std::int32_t iBaudrate = 0;   // 0030
  std::int32_t iDatabits = 0;   // 0033
  std::string szParity;         // 0032
  std::int32_t iStopbits = 0;   // 0031
  std::string szHandshake;      // 0034
};

struct SNMPConfigurationData {
  std::string szSysContact;     // 6000
  std::string szSysLocation;    // 6001
  std::int32_t bSNMPEnable = 0;  // 6151
  std::string szT1_TrapReceiveIPAddress;  // 6111
  std::int32_t iT1_TrapOption = 0;        // 6114
  std::int32_t iT1_TrapSeverity = 0;      // 6112
  std::string szT1_CommunityString;       // 6113
  std::string szT2_TrapReceiveIPAddress;
  std::int32_t iT2_TrapOption = 0;
  std::int32_t iT2_TrapSeverity = 0;
  std::string szT2_CommunityString;
  std::string szT3_TrapReceiveIPAddress;
  std::int32_t iT3_TrapOption = 0;
  std::int32_t iT3_TrapSeverity = 0;
  std::string szT3_CommunityString;
  std::string szT4_TrapReceiveIPAddress;
  std::int32_t iT4_TrapOption = 0;
  std::int32_t iT4_TrapSeverity = 0;
  std::string szT4_CommunityString;
  std::string szM1_ManagerIPAddress;      // 6011
  std::string szM1_CommunityString;       // 6013
  std::int32_t iM1_AccessPermission = 0;  // 6012: 0 read only, 1 read/write, 2 not accessible
  std::string szM2_ManagerIPAddress;
  std::string szM2_CommunityString;
  std::int32_t iM2_AccessPermission = 0;
  std::string szM3_ManagerIPAddress;
  std::string szM3_CommunityString;
  std::int32_t iM3_AccessPermission = 0;
  std::string szM4_ManagerIPAddress;
  std::string szM4_CommunityString;
  std::int32_t iM4_AccessPermission = 0;
};

// Argument record of the all-logical-port call. The first printer's physical port leads its group;
// for printers 2 to 8 it closes the group.
struct AllLogicalPrinter {
  std::string szL1PhysicalPort, szL1StringBeforeJob, szL1StringAfterJob;
  std::int32_t bL1ConvertLFToLFCR = 0;
  std::string szL2StringBeforeJob, szL2StringAfterJob;
  std::int32_t bL2ConvertLFToLFCR = 0;
  std::string szL2PhysicalPort;
  std::string szL3StringBeforeJob, szL3StringAfterJob;
  std::int32_t bL3ConvertLFToLFCR = 0;
  std::string szL3PhysicalPort;
  std::string szL4StringBeforeJob, szL4StringAfterJob;
  std::int32_t bL4ConvertLFToLFCR = 0;
  std::string szL4PhysicalPort;
  std::string szL5StringBeforeJob, szL5StringAfterJob;
  std::int32_t bL5ConvertLFToLFCR = 0;
  std::string szL5PhysicalPort;
  std::string szL6StringBeforeJob, szL6StringAfterJob;
  std::int32_t bL6ConvertLFToLFCR = 0;
  std::string szL6PhysicalPort;
  std::string szL7StringBeforeJob, szL7StringAfterJob;
  std::int32_t bL7ConvertLFToLFCR = 0;
  std::string szL7PhysicalPort;
  std::string szL8StringBeforeJob, szL8StringAfterJob;
  std::int32_t bL8ConvertLFToLFCR = 0;
  std::string szL8PhysicalPort;
};

// The configuration that the console writes back in one pass.
struct AllConfigurationData {
  SystemConfigurationData dsSystem;
  NetwareConfigurationData dsNetware;
  TCPIPConfigurationData dsTCPIP;
  APPLETALKConfigurationData dsAPPLETALK;
  NetBEUIConfigureData dsNetBEUI;
  WirelessConfigurationData dsWireless;
  LogicalPrinterConfigurationData dsLogicalPrinter[kLogicalPrinterCount];
  PhysicalPortConfigurationData dsPhysicalPort[kPhysicalPortCount];
};

// The device-API object's cached configuration of the box read last, fields in this order.
struct DeviceConfigurationData {
  ProtocolData dsProtocol;
  SystemConfigurationData dsSystem;
  SerialPortConfigurationData dsSerialPort;
  LogicalPrinterConfigurationData dsLogicalPrinter[kLogicalPrinterCount];
  PhysicalPortConfigurationData dsPhysicalPort[kPhysicalPortCount];
  NetwareConfigurationData dsNetware;
  TCPIPConfigurationData dsTCPIP;
  APPLETALKConfigurationData dsAPPLETALK;
  NetBEUIConfigureData dsNetBEUI;
  SNMPConfigurationData dsSNMP;
  WirelessConfigurationData dsWireless;
  DevicePIDData dsDevicePID;
};

// Sets the cache to the client-side defaults used before a box is read. Fields without a default
// keep their value: the four physical ports, the frame types other than Ethernet II, the 0019
// switch, szSpare and all reserved bytes.
void ClearConfiguration(DeviceConfigurationData& data);

// Sets `to` to `from` except for the listed members, which keep the value `to` had (an array member
// whole).
template <class Record, class... Field>
void AssignExcept(Record& to, const Record& from, Field Record::*... kept) {
  Record result = from;
  auto keep = [&](auto member) {
    auto& field = result.*member;
    const auto& old = to.*member;
    if constexpr (std::is_array_v<std::remove_reference_t<decltype(field)>>) {
      std::copy(std::begin(old), std::end(old), std::begin(field));
    } else {
      field = old;
    }
  };
  (keep(kept), ...);
  to = std::move(result);
}

}  // namespace config

// The console's key table: every key of a box's configuration text, the field of the cached
// configuration it fills, and its value kind and checks.
#include <string>

#include "device_client/core/config/config_parser.h"

namespace config {
namespace {

using D = DeviceConfigurationData;
using S = SNMPConfigurationData;

// An accessor lambda for one field of the cached configuration.
#define FIELD(expr) [](D & d) -> decltype(auto) { return (d.expr); }

std::string Key(int number) {
  std::string k = std::to_string(number);
  return std::string(4 - k.size(), '0') + k;
}

KeyTable<D> BuildConsoleTable() {
  KeyTable<D> t = {
      {"0001",
       [](std::string_view v, D& d) {
         d.dsSystem.szDeviceName.assign(v);
         d.dsNetware.szPrintServerName.assign(v);
         d.dsNetware.szDeviceName.assign(v);
         return ValueStatus::kStored;
       }},
      {"0011", SetE<D>(FIELD(dsSystem.bIPXSPXProtocol))},
      {"0012", SetE<D>(FIELD(dsSystem.bTCPIPProtocol))},
      {"0013", SetE<D>(FIELD(dsSystem.bAPPLETALKProtocol))},
      {"0014", SetE<D>(FIELD(dsSystem.bNetBEUIProtocol))},
      {"0019", SetE<D>(FIELD(dsSystem.bFifthProtocol))},
      {"0030", SetIOneOf<D>(FIELD(dsSerialPort.iBaudrate),
                            {300, 600, 1200, 2400, 4800, 9600, 19200, 38400, 115200, 460800})},
      {"0031", SetIOneOf<D>(FIELD(dsSerialPort.iStopbits), {1, 2})},
      {"0032", SetTOneOf<D>(FIELD(dsSerialPort.szParity), {"NONE", "ODD", "EVEN"})},
      {"0033", SetIOneOf<D>(FIELD(dsSerialPort.iDatabits), {7, 8})},
      {"0034", SetTOneOf<D>(FIELD(dsSerialPort.szHandshake), {"HARDWARE", "NONE", "XON/XOFF", "BOTH"})},
      {"0104", {}},
      {"0124", {}},
      {"0144", {}},
      {"2000", SetTOneOf<D>(FIELD(dsNetware.szOperationMode), {"PS", "RP"})},
      {"2001", SetE<D>(FIELD(dsNetware.bFrameTypeEthernetII))},
      {"2002",
       [](std::string_view v, D& d) {
         std::int32_t n = 0;
         if (!ValueEnable(v, n)) return ValueStatus::kBadValue;
         d.dsNetware.bFrameType8022 = n;
         d.dsNetware.bFrameTypeTokenring = n;
         return ValueStatus::kStored;
       }},
      {"2003", SetE<D>(FIELD(dsNetware.bFrameType8023))},
      {"2004",
       [](std::string_view v, D& d) {
         std::int32_t n = 0;
         if (!ValueEnable(v, n)) return ValueStatus::kBadValue;
         d.dsNetware.bFrameType8022Snap = n;
         d.dsNetware.bFrameTypeTokenringSnap = n;
         return ValueStatus::kStored;
       }},
      {"2101", SetS<D>(FIELD(dsNetware.szMasterFileServerName))},
      {"2102", SetYN<D>(FIELD(dsNetware.bJobNotify))},
      {"2103", SetIRange<D>(FIELD(dsNetware.iQueuePollingInterval), 1, 255)},
      {"2110", SetS<D>(FIELD(dsNetware.szNDSTreeName))},
      {"2111", SetS<D>(FIELD(dsNetware.szNDSContextName))},
      {"2501", SetS<D>(FIELD(dsNetware.szP1RemotePrinter))},
      {"2502", SetS<D>(FIELD(dsNetware.szP2RemotePrinter))},
      {"2503", SetS<D>(FIELD(dsNetware.szSPRemotePrinter))},
      {"2504", SetS<D>(FIELD(dsNetware.szP3RemotePrinter))},
      {"3000", SetS<D>(FIELD(dsAPPLETALK.szZoneName))},
      {"3001", SetS<D>(FIELD(dsAPPLETALK.szP1PrinterType))},
      {"3002", SetS<D>(FIELD(dsAPPLETALK.szP2PrinterType))},
      {"3003", SetS<D>(FIELD(dsAPPLETALK.szSPPrinterType))},
      {"3004", SetS<D>(FIELD(dsAPPLETALK.szP3PrinterType))},
      {"3101", SetYB<D>(FIELD(dsAPPLETALK.bP1BinaryCommunicationProtocol))},
      {"3102", SetYB<D>(FIELD(dsAPPLETALK.bP2BinaryCommunicationProtocol))},
      {"3103", SetYB<D>(FIELD(dsAPPLETALK.bSPBinaryCommunicationProtocol))},
      {"3104", SetYB<D>(FIELD(dsAPPLETALK.bP3BinaryCommunicationProtocol))},
      {"3111", {}},
      {"4000", SetT<D>(FIELD(dsTCPIP.szIPAddress))},
      {"4001", SetT<D>(FIELD(dsTCPIP.szGatewayAddress))},
      {"4002", SetT<D>(FIELD(dsTCPIP.szSubNetworkMaskAddress))},
      {"4010", SetI<D>(FIELD(dsTCPIP.iTCPIntervalSessionRetry))},
      {"4011", SetI<D>(FIELD(dsTCPIP.iTCPCountSessionRetry))},
      {"4020", SetE<D>(FIELD(dsTCPIP.bAutoAddress1))},
      {"4021", SetE<D>(FIELD(dsTCPIP.bAutoAddress2))},
      {"4022", SetE<D>(FIELD(dsTCPIP.bAutoAddress3))},
      {"4100", SetT<D>(FIELD(dsTCPIP.szMailServerIPAddress))},
      {"4101", SetT<D>(FIELD(dsTCPIP.szMailAccount))},
      {"4102", SetT<D>(FIELD(dsTCPIP.szPassword)), /*secret=*/true},
      {"4103", SetT<D>(FIELD(dsTCPIP.szCheckMailInterval))},
      {"4104", SetYN<D>(FIELD(dsTCPIP.bBannerPrinting))},
      {"4105", SetT<D>(FIELD(dsTCPIP.szRedirectMailAccount))},
      {"4106", SetT<D>(FIELD(dsTCPIP.szDefaultPrinterNumber))},
      {"4107", SetYN<D>(FIELD(dsTCPIP.bPrintEveryEmail))},
      {"4108", SetYN<D>(FIELD(dsTCPIP.bActivateResponseMail))},
      {"4109", SetT<D>(FIELD(dsTCPIP.szPrinterModelString))},
      {"5000", SetS<D>(FIELD(dsNetBEUI.szDomainName))},
      {"5001", SetYN<D>(FIELD(dsNetBEUI.bAbortJobAsPaperOut))},
      {"5002", SetIRange<D>(FIELD(dsNetBEUI.iResponseTime), 0, 255)},
      {"6000", SetT<D>(FIELD(dsSNMP.szSysContact))},
      {"6001", SetT<D>(FIELD(dsSNMP.szSysLocation))},
      {"6151", SetE1<D>(FIELD(dsSNMP.bSNMPEnable))},
      {"7000", SetT<D>(FIELD(dsWireless.szSSID))},
      {"7001", SetT<D>(FIELD(dsWireless.szDomainList))},
      {"7002", SetI<D>(FIELD(dsWireless.iChannel))},
      {"7003", SetE1<D>(FIELD(dsWireless.bWEPEnable))},
      {"7004", SetI<D>(FIELD(dsWireless.iKeyLength))},
      {"7005", SetI<D>(FIELD(dsWireless.iDefaultKey))},
      {"7006", SetHX<D>(FIELD(dsWireless.szKey1)), /*secret=*/true},
      {"7007", SetHX<D>(FIELD(dsWireless.szKey2)), /*secret=*/true},
      {"7008", SetHX<D>(FIELD(dsWireless.szKey3)), /*secret=*/true},
      {"7009", SetHX<D>(FIELD(dsWireless.szKey4)), /*secret=*/true},
      {"7010", SetWE<D>(FIELD(dsWireless.iListMode))},
      {"7012", SetI<D>(FIELD(dsWireless.iAuthentication))},
      {"7013", SetI<D>(FIELD(dsWireless.iNetworkType))},
      {"7014", SetT<D>(FIELD(dsWireless.szLinkStatus))},
      {"9200", {}},
      {"9201", {}},
      {"9202", {}},
  };

  // Physical ports P1, P2, P3, SP.
  for (int i = 0; i < kPhysicalPortCount; ++i) {
    auto port = [i](D& d) -> PhysicalPortConfigurationData& { return d.dsPhysicalPort[i]; };
    t.push_back({Key(40 + i), SetT<D>([port](D& d) -> std::string& { return port(d).szPortName; })});
    t.push_back({Key(501 + i), SetBU<D>([port](D& d) -> std::int32_t& { return port(d).iHandshake; })});
    t.push_back({Key(511 + i), SetE1<D>([port](D& d) -> std::int32_t& { return port(d).bEnable; })});
  }

  // Logical printers 1..8 at b = 0100 + 20 x (n - 1).
  for (int i = 0; i < kLogicalPrinterCount; ++i) {
    const int b = 100 + 20 * i;
    auto lp = [i](D& d) -> LogicalPrinterConfigurationData& { return d.dsLogicalPrinter[i]; };
    t.push_back({Key(b), SetT<D>([lp](D& d) -> std::string& { return lp(d).szPhysicalPort; })});
    t.push_back({Key(b + 1), SetS<D>([lp](D& d) -> std::string& { return lp(d).szStringBeforeJob; })});
    t.push_back({Key(b + 2), SetS<D>([lp](D& d) -> std::string& { return lp(d).szStringAfterJob; })});
    if (b + 3 == 163) {
      // The box's 0163 line is compared as received: a blank around the word is a bad value.
      t.push_back({Key(b + 3), [lp](std::string_view v, D& d) {
                     if (EqualsIgnoreCase(v, "YES")) {
                       lp(d).bConvertLFToLFCR = 1;
                     } else if (EqualsIgnoreCase(v, "NO")) {
                       lp(d).bConvertLFToLFCR = 0;
                     } else {
                       return ValueStatus::kBadValue;
                     }
                     return ValueStatus::kStored;
                   }});
    } else {
      t.push_back({Key(b + 3), SetYN<D>([lp](D& d) -> std::int32_t& { return lp(d).bConvertLFToLFCR; })});
    }
  }

  // SNMP managers 1..4 (60n1-60n3) and trap receivers 1..4 (61n1-61n4).
  std::string S::*const mgr_addr[4] = {&S::szM1_ManagerIPAddress, &S::szM2_ManagerIPAddress,
                                       &S::szM3_ManagerIPAddress, &S::szM4_ManagerIPAddress};
  std::int32_t S::*const mgr_access[4] = {&S::iM1_AccessPermission, &S::iM2_AccessPermission,
                                          &S::iM3_AccessPermission, &S::iM4_AccessPermission};
  std::string S::*const mgr_comm[4] = {&S::szM1_CommunityString, &S::szM2_CommunityString,
                                       &S::szM3_CommunityString, &S::szM4_CommunityString};
  std::string S::*const trap_addr[4] = {&S::szT1_TrapReceiveIPAddress, &S::szT2_TrapReceiveIPAddress,
                                        &S::szT3_TrapReceiveIPAddress, &S::szT4_TrapReceiveIPAddress};
  std::int32_t S::*const trap_sev[4] = {&S::iT1_TrapSeverity, &S::iT2_TrapSeverity,
                                        &S::iT3_TrapSeverity, &S::iT4_TrapSeverity};
  std::string S::*const trap_comm[4] = {&S::szT1_CommunityString, &S::szT2_CommunityString,
                                        &S::szT3_CommunityString, &S::szT4_CommunityString};
  std::int32_t S::*const trap_opt[4] = {&S::iT1_TrapOption, &S::iT2_TrapOption, &S::iT3_TrapOption,
                                        &S::iT4_TrapOption};
  for (int i = 0; i < 4; ++i) {
    const int m = 6000 + 10 * (i + 1);
    const int r = 6100 + 10 * (i + 1);
    auto sa = mgr_addr[i];
    auto sp = mgr_access[i];
    auto sc = mgr_comm[i];
    auto ta = trap_addr[i];
    auto ts = trap_sev[i];
    auto tc = trap_comm[i];
    auto to = trap_opt[i];
    t.push_back({Key(m + 1), SetT<D>([sa](D& d) -> std::string& { return d.dsSNMP.*sa; })});
    t.push_back({Key(m + 2), SetAC<D>([sp](D& d) -> std::int32_t& { return d.dsSNMP.*sp; })});
    // Community strings are the SNMP agents' passwords: never logged in clear.
    t.push_back({Key(m + 3), SetS<D>([sc](D& d) -> std::string& { return d.dsSNMP.*sc; }),
                 /*secret=*/true});
    t.push_back({Key(r + 1), SetT<D>([ta](D& d) -> std::string& { return d.dsSNMP.*ta; })});
    t.push_back({Key(r + 2), SetI<D>([ts](D& d) -> std::int32_t& { return d.dsSNMP.*ts; })});
    t.push_back({Key(r + 3), SetT<D>([tc](D& d) -> std::string& { return d.dsSNMP.*tc; }),
                 /*secret=*/true});
    t.push_back({Key(r + 4), SetE1<D>([to](D& d) -> std::int32_t& { return d.dsSNMP.*to; })});
  }
  return t;
}

#undef FIELD

}  // namespace

const KeyTable<DeviceConfigurationData>& ConsoleKeyTable() {
  static const KeyTable<DeviceConfigurationData> table = BuildConsoleTable();
  return table;
}

int ParseConfiguration(const char* text, int length, DeviceConfigurationData* record,
                       const LogHook& log) {
  if (text == nullptr || length < 1 || record == nullptr) return kParseInvalidArgument;
  static const KeyIndex<DeviceConfigurationData> index(ConsoleKeyTable());
  return ParseWithIndex(text, length, record, index, log);
}

}  // namespace config

// The wizard's configuration-text writers: the default builders, the group writers, the wireless
// writer with its address-command lists, the password commands and the one configuration text of
// Finish. Each text is built whole and checked before anything is sent; a value with a line break
// or another control character is refused like any other bad value (-2).
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <list>
#include <string>
#include <string_view>
#include <utility>

#include "device_client/core/config/config_builder.h"
#include "device_client/core/config/password_scramble.h"
#include "platform/ascii.h"
#include "platform/clock.h"
#include "wizard_client/api/wizard_utility.h"

namespace wizard {
namespace {

// The shared line writer with the wizard's checks.
class ConfigText : public config::LineWriter {
 public:
  // A 0/1 switch written as one of two words; any other value is refused.
  void Switch(std::string_view key, std::int32_t value, const char* on, const char* off) {
    if (value != 0 && value != 1) Refuse();
    Text(key, value == 1 ? on : off);
  }
  // A text that must not be empty.
  void Required(std::string_view key, const std::string& value) {
    if (value.empty()) Refuse();
    Text(key, value);
  }
  // A whole line as it stands (a command line inside a configuration text).
  void Raw(std::string_view line) {
    if (line.empty() || line.back() != '\n' ||
        platform::HasAsciiControl(line.substr(0, line.size() - 1))) {
      Refuse();
    }
    out_.append(line);
  }
  bool ok() const { return !bad(); }
};

std::string Key(int number) {
  std::string k = std::to_string(number);
  return std::string(4 - std::min<std::size_t>(k.size(), 4), '0') + k;
}

bool IsDottedAddress(const std::string& s) {
  int parts = 0, digits = 0, value = 0;
  for (char c : s) {
    if (c >= '0' && c <= '9') {
      value = value * 10 + (c - '0');
      if (++digits > 3 || value > 255) return false;
    } else if (c == '.' && digits > 0) {
      ++parts;
      digits = value = 0;
    } else {
      return false;
    }
  }
  return parts == 3 && digits > 0;
}

// The four lines of logical printer n (1..8); the line-feed switch reads YES for 1, else NO.
void LogicalPortText(ConfigText& t, int n, const LogicalPrinterConfigurationData& p) {
  const int b = 100 + 20 * (n - 1);
  t.Text(Key(b), p.szPhysicalPort);
  t.Text(Key(b + 1), p.szStringBeforeJob);
  t.Text(Key(b + 2), p.szStringAfterJob);
  t.Text(Key(b + 3), p.bConvertLFToLFCR == 1 ? "YES" : "NO");
}

// The same with its checks: false for another n or a switch other than 0/1.
bool LogicalPortLines(ConfigText& t, int n, const LogicalPrinterConfigurationData& p) {
  if (n < 1 || n > config::kLogicalPrinterCount) return false;
  if (p.bConvertLFToLFCR != 0 && p.bConvertLFToLFCR != 1) return false;
  LogicalPortText(t, n, p);
  return true;
}

void AddressLines(ConfigText& t, const TCPIPConfigurationData& tcp) {
  t.Required("4000", tcp.szIPAddress);
  t.Required("4001", tcp.szGatewayAddress);
  t.Required("4002", tcp.szSubNetworkMaskAddress);
  t.Switch("4020", tcp.bAutoAddress1, "Enable", "Disable");
  t.Switch("4021", tcp.bAutoAddress2, "Enable", "Disable");
  t.Switch("4022", tcp.bAutoAddress3, "Enable", "Disable");
}

// The whole TCP/IP group: addresses, switches, mail and banner settings, session retries.
void TcpipLines(ConfigText& t, const TCPIPConfigurationData& tcp) {
  AddressLines(t, tcp);
  t.Required("4100", tcp.szMailServerIPAddress);
  t.Text("4101", tcp.szMailAccount);
  t.Text("4102", tcp.szPassword);
  t.Required("4103", tcp.szCheckMailInterval);
  t.Switch("4104", tcp.bBannerPrinting, "Yes", "No");
  t.Text("4105", tcp.szRedirectMailAccount);
  t.Required("4106", tcp.szDefaultPrinterNumber);
  t.Switch("4107", tcp.bPrintEveryEmail, "Yes", "No");
  t.Switch("4108", tcp.bActivateResponseMail, "Yes", "No");
  t.Text("4109", tcp.szPrinterModelString);
  t.Number("4010", tcp.iTCPIntervalSessionRetry);
  t.Number("4011", tcp.iTCPCountSessionRetry);
}

// A fixed address the box answers at after its restart (empty when it takes one by itself).
std::string FixedAddress(const TCPIPConfigurationData& tcp) {
  return tcp.bAutoAddress1 == 0 && IsDottedAddress(tcp.szIPAddress) ? tcp.szIPAddress
                                                                    : std::string();
}

// Logical printer n (1..8) of the gathered record.
LogicalPrinterConfigurationData LogicalPrinterOf(const config::AllLogicalPrinter& a, int n) {
  using A = config::AllLogicalPrinter;
  struct Fields {
    std::string A::*port;
    std::string A::*before;
    std::string A::*after;
    std::int32_t A::*lf;
  };
  static const Fields kFields[config::kLogicalPrinterCount] = {
      {&A::szL1PhysicalPort, &A::szL1StringBeforeJob, &A::szL1StringAfterJob,
       &A::bL1ConvertLFToLFCR},
      {&A::szL2PhysicalPort, &A::szL2StringBeforeJob, &A::szL2StringAfterJob,
       &A::bL2ConvertLFToLFCR},
      {&A::szL3PhysicalPort, &A::szL3StringBeforeJob, &A::szL3StringAfterJob,
       &A::bL3ConvertLFToLFCR},
      {&A::szL4PhysicalPort, &A::szL4StringBeforeJob, &A::szL4StringAfterJob,
       &A::bL4ConvertLFToLFCR},
      {&A::szL5PhysicalPort, &A::szL5StringBeforeJob, &A::szL5StringAfterJob,
       &A::bL5ConvertLFToLFCR},
      {&A::szL6PhysicalPort, &A::szL6StringBeforeJob, &A::szL6StringAfterJob,
       &A::bL6ConvertLFToLFCR},
      {&A::szL7PhysicalPort, &A::szL7StringBeforeJob, &A::szL7StringAfterJob,
       &A::bL7ConvertLFToLFCR},
      {&A::szL8PhysicalPort, &A::szL8StringBeforeJob, &A::szL8StringAfterJob,
       &A::bL8ConvertLFToLFCR},
  };
  const Fields& f = kFields[n - 1];
  LogicalPrinterConfigurationData p;
  p.szPhysicalPort = a.*f.port;
  p.szStringBeforeJob = a.*f.before;
  p.szStringAfterJob = a.*f.after;
  p.bConvertLFToLFCR = a.*f.lf;
  return p;
}

void NetBEUIExtraLines(ConfigText& t, const NetBEUIExtraTexts& x) {
  t.Text("5003", x.sz5003);
  t.Text("5101", x.sz5101);
  t.Text("5102", x.sz5102);
  t.Text("5104", x.sz5104);
  t.Text("5103", x.sz5103);
}

// The wireless keys both of the wizard's writers send: 7000, 7002-7009 (7001, the domain list, is
// the box's own).
void WirelessLines(ConfigText& t, const config::WirelessConfigurationData& w) {
  t.Text("7000", w.szSSID);
  config::WriteWirelessKeyLines(t, w);
}

// An address-command list in lines of at most 20 entries: "KKKK :NN" + the entries. A list whose
// length is a multiple of 20 ends with a line of count 00; `emptyLine` writes that line for an
// empty list too.
void AddressListLines(ConfigText& t, std::string_view key, const std::list<std::string>& list,
                      bool emptyLine) {
  constexpr std::size_t kPerLine = 20;
  if (list.empty() && !emptyLine) return;
  auto it = list.begin();
  const std::size_t chunks = list.size() / kPerLine + 1;
  for (std::size_t c = 0; c < chunks; ++c) {
    std::string value;
    std::size_t count = 0;
    std::string entries;
    for (; it != list.end() && count < kPerLine; ++it, ++count) entries += *it;
    char head[24];
    std::snprintf(head, sizeof head, "%02zu", count);
    value = head + entries;
    t.Text(key, value);
  }
}

}  // namespace

constexpr std::int64_t kResetWaitMs = 5000;

int CPrintServerUtility::SendSettingsAndReset(const Target& to, const std::string& text) {
  int length = 0;
  const int rc = SendTo(to, text, ReplyBuffer(), length);
  m_szLastDeviceName.clear();
  if (rc != 0) return -1;
  return ResetTarget(to);
}
int CPrintServerUtility::SendSettingsAndReset(const std::string& name, const std::string& text) {
  return SendSettingsAndReset(To(name), text);
}
int CPrintServerUtility::SendSettingsAndResetToRecord(const DeviceRecord* record,
                                                      const std::string& text) {
  return SendSettingsAndReset(To(record), text);
}

// ---- Default builders ------------------------------------------------------------------------

int CPrintServerUtility::DefaultSystemConfiguration(SystemConfigurationData* record, int makeText,
                                                    std::string& text) {
  return Guarded([&] {
    if (record == nullptr) return -2;
    record->bIPXSPXProtocol = record->bTCPIPProtocol = 1;
    record->bAPPLETALKProtocol = record->bNetBEUIProtocol = 1;
    if (makeText == 0) {
      text.clear();
      return 0;
    }
    if (record->szDeviceName.empty()) {
      LogAtLine(466, "Device name is empty");
      return -2;
    }
    ConfigText t;
    t.Text("0001", record->szDeviceName);
    for (const char* key : {"0011", "0012", "0013", "0014", "0019"}) t.Text(key, "ENABLE");
    if (!t.ok()) return -2;
    text = t.text();
    return 0;
  });
}

int CPrintServerUtility::DefaultSerialPortConfiguration(SerialPortConfigurationData* record,
                                                        int makeText, std::string& text) {
  return Guarded([&] {
    if (record == nullptr) return -2;
    record->iBaudrate = 9600;
    record->iDatabits = 8;
    record->szParity = "None";
    record->iStopbits = 1;
    record->szHandshake = "Hardware";
    text = makeText != 0 ? "0030 :9600\n0031 :1\n0032 :None\n0033 :8\n0034 :Hardware\n" : "";
    return 0;
  });
}

int CPrintServerUtility::DefaultLogicalPortConfiguration(int n,
                                                         LogicalPrinterConfigurationData* record,
                                                         int makeText, std::string& text) {
  return Guarded([&] {
    if (n < 1 || n > config::kLogicalPrinterCount) return -1;
    if (record == nullptr) return -2;
    record->szPhysicalPort.clear();
    record->szStringBeforeJob.clear();
    record->szStringAfterJob.clear();
    record->bConvertLFToLFCR = 0;
    text.clear();
    if (makeText != 0) {
      const int b = 100 + 20 * (n - 1);
      ConfigText t;
      t.Text(Key(b), "P1");
      t.Text(Key(b + 1), "");
      t.Text(Key(b + 2), "");
      t.Text(Key(b + 3), "No");
      text = t.text();
    }
    return 0;
  });
}

int CPrintServerUtility::DefaultNetwareConfiguration(const std::string& printServerName,
                                                     NetwareConfigurationData* record, int makeText,
                                                     std::string& text) {
  return Guarded([&] {
    if (record == nullptr) return -2;
    NetwareConfigurationData d;
    d.bFrameTypeEthernetII = d.bFrameType8022 = d.bFrameType8023 = 1;
    d.bFrameType8022Snap = d.bFrameTypeTokenring = d.bFrameTypeTokenringSnap = 1;
    d.szOperationMode = "PS";
    d.iQueuePollingInterval = 1;
    d.bJobNotify = 0;
    d.szPrintServerName = printServerName;
    d.szDeviceName = record->szDeviceName;
    config::AssignExcept(*record, d, &NetwareConfigurationData::reserved);
    text = makeText != 0 ? "2001 :ENABLE\n2002 :ENABLE\n2003 :ENABLE\n2004 :ENABLE\n2000 :PS\n"
                           "2101 :PS\n2501 :\n2502 :\n2503 :\n2504 :\n2110 :\n2103 :1\n"
                           "2102 :NO\n"
                         : "";
    return 0;
  });
}

int CPrintServerUtility::DefaultTCPIPConfiguration(TCPIPConfigurationData* record, int makeText,
                                                   std::string& text) {
  return Guarded([&] {
    if (record == nullptr) return -2;
    TCPIPConfigurationData d;
    d.szIPAddress = d.szGatewayAddress = d.szSubNetworkMaskAddress = "0.0.0.0";
    d.bAutoAddress1 = 1;
    d.iTCPIntervalSessionRetry = 2;
    d.iTCPCountSessionRetry = 254;
    d.szMailServerIPAddress = "0.0.0.0";
    d.szCheckMailInterval = "1";
    d.szDefaultPrinterNumber = "P1";
    d.bBannerPrinting = 1;
    config::AssignExcept(*record, d, &TCPIPConfigurationData::bAutoAddress2,
                         &TCPIPConfigurationData::bAutoAddress3, &TCPIPConfigurationData::szSpare,
                         &TCPIPConfigurationData::reserved);
    text = makeText != 0 ? "4000 :0.0.0.0\n4001 :0.0.0.0\n4002 :0.0.0.0\n4020 :Enable\n"
                           "4100 :0.0.0.0\n4101 :\n4102 :\n4103 :1\n4104 :Yes\n4105 :\n"
                           "4106 :P1\n4107 :No\n4108 :No\n4109 :\n4010 :2\n4011 :254\n"
                         : "";
    return 0;
  });
}

int CPrintServerUtility::DefaultAPPLETALKConfiguration(APPLETALKConfigurationData* record,
                                                       int makeText, std::string& text) {
  return Guarded([&] {
    if (record == nullptr) return -2;
    APPLETALKConfigurationData d;
    d.szZoneName = "*";
    d.szP1PrinterType = d.szP2PrinterType = d.szP3PrinterType = d.szSPPrinterType = "LaserWriter";
    config::AssignExcept(*record, d, &APPLETALKConfigurationData::reserved);
    text = makeText != 0 ? "3000 :*\n3001 :LaserWriter\n3002 :LaserWriter\n3003 :LaserWriter\n"
                           "3004 :LaserWriter\n3101 :NO\n3102 :NO\n3103 :NO\n3104 :NO\n"
                         : "";
    return 0;
  });
}

int CPrintServerUtility::DefaultNetBEUIConfiguration(NetBEUIConfigureData* record, int makeText,
                                                     std::string& text) {
  return Guarded([&] {
    if (record == nullptr) return -2;
    record->szDomainName.clear();
    record->bAbortJobAsPaperOut = 0;
    record->iResponseTime = 0;
    text = makeText != 0 ? "5000 :\n5001 :NO\n5002 :0\n" : "";
    return 0;
  });
}

int CPrintServerUtility::DefaultSNMPConfiguration(SNMPConfigurationData* record, int makeText,
                                                  std::string& text) {
  return Guarded([&] {
    if (record == nullptr) return -2;
    using S = SNMPConfigurationData;
    S d;
    for (auto addr :
         {&S::szT1_TrapReceiveIPAddress, &S::szT2_TrapReceiveIPAddress,
          &S::szT3_TrapReceiveIPAddress, &S::szT4_TrapReceiveIPAddress, &S::szM1_ManagerIPAddress,
          &S::szM2_ManagerIPAddress, &S::szM3_ManagerIPAddress, &S::szM4_ManagerIPAddress}) {
      d.*addr = "0.0.0.0";
    }
    for (auto community :
         {&S::szT1_CommunityString, &S::szT2_CommunityString, &S::szT3_CommunityString,
          &S::szT4_CommunityString, &S::szM1_CommunityString, &S::szM2_CommunityString,
          &S::szM3_CommunityString, &S::szM4_CommunityString}) {
      d.*community = "wozlek";
    }
    d.iT1_TrapSeverity = d.iT2_TrapSeverity = d.iT3_TrapSeverity = d.iT4_TrapSeverity = 1;
    *record = d;
    text.clear();
    if (makeText != 0) {
      ConfigText t;
      t.Text("6000", "");
      t.Text("6001", "");
      for (int m = 1; m <= 4; ++m) {
        t.Text(Key(6000 + 10 * m + 1), "0.0.0.0");
        t.Text(Key(6000 + 10 * m + 2), "Read Only");
        t.Text(Key(6000 + 10 * m + 3), "wozlek");
      }
      for (int r = 1; r <= 4; ++r) {
        t.Text(Key(6100 + 10 * r + 1), "0.0.0.0");
        t.Text(Key(6100 + 10 * r + 2), "1");
        t.Text(Key(6100 + 10 * r + 3), "wozlek");
        t.Text(Key(6100 + 10 * r + 4), "Disable");
      }
      t.Text("6151", "DISABLE");
      text = t.text();
    }
    return 0;
  });
}

// ---- Defaults read into a record, or written to the box --------------------------------------

namespace {

// The "ToDefault" shapes: fill the caller's record (after reading the box when `select` is
// given), or send the default text and restart.
bool Given(const std::string& name) { return !name.empty(); }
bool Given(const DeviceRecord* record) { return record != nullptr; }
int Select(CPrintServerUtility& util, const std::string& name) { return util.SelectDevice(name); }
int Select(CPrintServerUtility& util, const DeviceRecord* record) {
  return util.SelectDeviceRecord(record);
}
std::string DefaultNameOf(const DeviceRecord* record) {
  if (record == nullptr) return std::string();
  return std::string(record->szName, strnlen(record->szName, sizeof record->szName));
}

// `to`: a default name or a device record.
template <class Record, class To, class Build>
int DefaultsInto(CPrintServerUtility& util, const To& to, Record* out, bool select, Build&& build) {
  if (!Given(to) || out == nullptr) return -2;
  if (select) {
    const int rc = Select(util, to);
    if (rc != 0) return rc;
  }
  std::string unused;
  return build(out, 0, unused);
}

}  // namespace

namespace {

// Sends the default text of one group (built into a throw-away record) and restarts the box.
// `to`: a default name or a device record.
template <class Record, class To, class Build>
int SendDefaults(CPrintServerUtility& util, const To& to, Build&& build) {
  if (!Given(to)) return -2;
  Record record;
  std::string text;
  build(&record, text);
  return util.SendDefaultText(to, text);
}

}  // namespace

int CPrintServerUtility::mGetSerialPortConfigurationToDefault(const std::string& name,
                                                              SerialPortConfigurationData* out) {
  return DefaultsInto(*this, name, out, true, [&](auto* r, int f, std::string& t) {
    return DefaultSerialPortConfiguration(r, f, t);
  });
}
int CPrintServerUtility::mGetTCPIPConfigurationToDefault(const std::string& name,
                                                         TCPIPConfigurationData* out) {
  return DefaultsInto(*this, name, out, true, [&](auto* r, int f, std::string& t) {
    return DefaultTCPIPConfiguration(r, f, t);
  });
}
int CPrintServerUtility::mGetNetBEUIConfigurationToDefault(const std::string& name,
                                                           NetBEUIConfigureData* out) {
  return DefaultsInto(*this, name, out, true, [&](auto* r, int f, std::string& t) {
    return DefaultNetBEUIConfiguration(r, f, t);
  });
}
int CPrintServerUtility::mGetAPPLETALKConfigurationToDefault(const std::string& name,
                                                             APPLETALKConfigurationData* out) {
  return DefaultsInto(*this, name, out, true, [&](auto* r, int f, std::string& t) {
    return DefaultAPPLETALKConfiguration(r, f, t);
  });
}
int CPrintServerUtility::mGetSNMPConfigurationToDefault(const std::string& name,
                                                        SNMPConfigurationData* out) {
  return DefaultsInto(*this, name, out, false, [&](auto* r, int f, std::string& t) {
    return DefaultSNMPConfiguration(r, f, t);
  });
}

int CPrintServerUtility::mGetNetwareConfigurationToDefault(const std::string& name,
                                                           NetwareConfigurationData* out) {
  return DefaultsInto(*this, name, out, false, [&](auto* r, int f, std::string& t) {
    return DefaultNetwareConfiguration(name, r, f, t);
  });
}
int CPrintServerUtility::mGetSystemConfigurationToDefault(const std::string& name,
                                                          SystemConfigurationData* out) {
  // The record keeps the caller's name; the default text is made and dropped, so a record
  // without a name (or with one that cannot be written) is refused, its switches set all the same.
  return DefaultsInto(*this, name, out, false, [&](auto* r, int, std::string& t) {
    return DefaultSystemConfiguration(r, 1, t);
  });
}
int CPrintServerUtility::mGetLogicalPortConfigurationToDefault(
    const std::string& name, int n, LogicalPrinterConfigurationData* out) {
  return DefaultsInto(*this, name, out, true, [&](auto* r, int f, std::string& t) {
    return DefaultLogicalPortConfiguration(n, r, f, t);
  });
}

int CPrintServerUtility::mGetSerialPortConfigurationToDefault(const DeviceRecord* record,
                                                              SerialPortConfigurationData* out) {
  return DefaultsInto(*this, record, out, true, [&](auto* r, int f, std::string& t) {
    return DefaultSerialPortConfiguration(r, f, t);
  });
}
int CPrintServerUtility::mGetTCPIPConfigurationToDefault(const DeviceRecord* record,
                                                         TCPIPConfigurationData* out) {
  return DefaultsInto(*this, record, out, true, [&](auto* r, int f, std::string& t) {
    return DefaultTCPIPConfiguration(r, f, t);
  });
}
int CPrintServerUtility::mGetNetBEUIConfigurationToDefault(const DeviceRecord* record,
                                                           NetBEUIConfigureData* out) {
  return DefaultsInto(*this, record, out, true, [&](auto* r, int f, std::string& t) {
    return DefaultNetBEUIConfiguration(r, f, t);
  });
}
int CPrintServerUtility::mGetAPPLETALKConfigurationToDefault(const DeviceRecord* record,
                                                             APPLETALKConfigurationData* out) {
  return DefaultsInto(*this, record, out, true, [&](auto* r, int f, std::string& t) {
    return DefaultAPPLETALKConfiguration(r, f, t);
  });
}
int CPrintServerUtility::mGetSNMPConfigurationToDefault(const DeviceRecord* record,
                                                        SNMPConfigurationData* out) {
  return DefaultsInto(*this, record, out, false, [&](auto* r, int f, std::string& t) {
    return DefaultSNMPConfiguration(r, f, t);
  });
}
int CPrintServerUtility::mGetNetwareConfigurationToDefault(const DeviceRecord* record,
                                                           NetwareConfigurationData* out) {
  const std::string name = DefaultNameOf(record);
  return DefaultsInto(*this, record, out, false, [&](auto* r, int f, std::string& t) {
    return DefaultNetwareConfiguration(name, r, f, t);
  });
}
int CPrintServerUtility::mGetSystemConfigurationToDefault(const DeviceRecord* record,
                                                          SystemConfigurationData* out) {
  return DefaultsInto(*this, record, out, false, [&](auto* r, int f, std::string& t) {
    return DefaultSystemConfiguration(r, f, t);
  });
}
int CPrintServerUtility::mGetLogicalPortConfigurationToDefault(
    const DeviceRecord* record, int n, LogicalPrinterConfigurationData* out) {
  return DefaultsInto(*this, record, out, true, [&](auto* r, int f, std::string& t) {
    return DefaultLogicalPortConfiguration(n, r, f, t);
  });
}

int CPrintServerUtility::mSetNetwareConfigurationToDefault(const std::string& name) {
  return SendDefaults<NetwareConfigurationData>(
      *this, name, [&](auto* r, std::string& t) { DefaultNetwareConfiguration(name, r, 1, t); });
}
namespace {

// Reads the box, then sends logical printer n's default text and restarts it.
template <class To>
int SendLogicalDefaults(CPrintServerUtility& util, const To& to, int n) {
  if (!Given(to) || n <= 0) return -2;
  const int rc = Select(util, to);
  if (rc != 0) return rc;
  LogicalPrinterConfigurationData record;
  std::string text;
  if (util.DefaultLogicalPortConfiguration(n, &record, 1, text) != 0) return -1;
  return util.SendDefaultText(to, text);
}

}  // namespace

int CPrintServerUtility::mSetLogicalPortConfigurationToDefault(const std::string& name, int n) {
  return SendLogicalDefaults(*this, name, n);
}
int CPrintServerUtility::mSetLogicalPortConfigurationToDefault(const DeviceRecord* record, int n) {
  return SendLogicalDefaults(*this, record, n);
}

int CPrintServerUtility::SendDefaultText(const std::string& name, const std::string& text) {
  return SendSettingsAndReset(name, text);
}
int CPrintServerUtility::SendDefaultText(const DeviceRecord* record, const std::string& text) {
  return SendSettingsAndResetToRecord(record, text);
}

int CPrintServerUtility::mSetSerialPortConfigurationToDefault(const std::string& name) {
  return SendDefaults<SerialPortConfigurationData>(
      *this, name, [&](auto* r, std::string& t) { DefaultSerialPortConfiguration(r, 1, t); });
}
int CPrintServerUtility::mSetTCPIPConfigurationToDefault(const std::string& name) {
  return SendDefaults<TCPIPConfigurationData>(
      *this, name, [&](auto* r, std::string& t) { DefaultTCPIPConfiguration(r, 1, t); });
}
int CPrintServerUtility::mSetNetBEUIConfigurationToDefault(const std::string& name) {
  return SendDefaults<NetBEUIConfigureData>(
      *this, name, [&](auto* r, std::string& t) { DefaultNetBEUIConfiguration(r, 1, t); });
}
int CPrintServerUtility::mSetAPPLETALKConfigurationToDefault(const std::string& name) {
  return SendDefaults<APPLETALKConfigurationData>(
      *this, name, [&](auto* r, std::string& t) { DefaultAPPLETALKConfiguration(r, 1, t); });
}
int CPrintServerUtility::mSetSNMPConfigurationToDefault(const std::string& name) {
  return SendDefaults<SNMPConfigurationData>(
      *this, name, [&](auto* r, std::string& t) { DefaultSNMPConfiguration(r, 1, t); });
}

int CPrintServerUtility::mSetSerialPortConfigurationToDefault(const DeviceRecord* record) {
  return SendDefaults<SerialPortConfigurationData>(
      *this, record, [&](auto* r, std::string& t) { DefaultSerialPortConfiguration(r, 1, t); });
}
int CPrintServerUtility::mSetTCPIPConfigurationToDefault(const DeviceRecord* record) {
  return SendDefaults<TCPIPConfigurationData>(
      *this, record, [&](auto* r, std::string& t) { DefaultTCPIPConfiguration(r, 1, t); });
}
int CPrintServerUtility::mSetNetBEUIConfigurationToDefault(const DeviceRecord* record) {
  return SendDefaults<NetBEUIConfigureData>(
      *this, record, [&](auto* r, std::string& t) { DefaultNetBEUIConfiguration(r, 1, t); });
}
int CPrintServerUtility::mSetAPPLETALKConfigurationToDefault(const DeviceRecord* record) {
  return SendDefaults<APPLETALKConfigurationData>(
      *this, record, [&](auto* r, std::string& t) { DefaultAPPLETALKConfiguration(r, 1, t); });
}
int CPrintServerUtility::mSetSNMPConfigurationToDefault(const DeviceRecord* record) {
  return SendDefaults<SNMPConfigurationData>(
      *this, record, [&](auto* r, std::string& t) { DefaultSNMPConfiguration(r, 1, t); });
}
int CPrintServerUtility::mSetNetwareConfigurationToDefault(const DeviceRecord* record) {
  // The print-server name is the record's default name, as the name form uses its own.
  const std::string name = DefaultNameOf(record);
  return SendDefaults<NetwareConfigurationData>(
      *this, record, [&](auto* r, std::string& t) { DefaultNetwareConfiguration(name, r, 1, t); });
}

int CPrintServerUtility::mSetSystemConfigurationToDefault(const std::string& name) {
  if (name.empty()) return -2;
  SystemConfigurationData record;
  std::string text;
  const int rc = DefaultSystemConfiguration(&record, 1, text);
  return rc != 0 ? rc : SendDefaultText(name, text);
}
int CPrintServerUtility::mSetSystemConfigurationToDefault(const DeviceRecord* record) {
  if (record == nullptr) return -2;
  SystemConfigurationData fresh;
  std::string text;
  const int rc = DefaultSystemConfiguration(&fresh, 1, text);
  return rc != 0 ? rc : SendSettingsAndResetToRecord(record, text);
}

// ---- Group writers ---------------------------------------------------------------------------

int CPrintServerUtility::mSetSystemConfiguration(const std::string& name,
                                                 const SystemConfigurationData* system) {
  return Guarded([&] {
    if (name.empty() || system == nullptr) return -2;
    std::string text;
    if (config::BuildSystemConfigurationText(*system, text) != config::kBuildOk) return -2;
    const int sameName = system->szDeviceName == m_Configuration.dsSystem.szDeviceName ? 1 : 0;
    int length = 0;
    const int rc = SendResp(name, text, ReplyBuffer(), length);
    m_szLastDeviceName.clear();
    if (rc != 0) return -1;
    return ApplySettings(name, system->szDeviceName, sameName);
  });
}

int CPrintServerUtility::mSetSystemConfiguration(const DeviceRecord* record,
                                                 const SystemConfigurationData* system) {
  // By record the box is not renamed in the device table: a short wait, then its restart.
  return Guarded([&] {
    if (record == nullptr || system == nullptr) return -2;
    std::string text;
    if (config::BuildSystemConfigurationText(*system, text) != config::kBuildOk) return -2;
    int length = 0;
    const int rc = SendRespToRecord(record, text, ReplyBuffer(), length);
    m_szLastDeviceName.clear();
    if (rc != 0) return -1;
    platform::GetClock().SleepMs(500);
    return mResetDevice(record);
  });
}

int CPrintServerUtility::mSetSerialPortConfiguration(const std::string& name,
                                                     const SerialPortConfigurationData* s) {
  return WriteGroup(Target{&name, nullptr}, s);
}
int CPrintServerUtility::mSetSerialPortConfiguration(const DeviceRecord* record,
                                                     const SerialPortConfigurationData* s) {
  return WriteGroup(Target{nullptr, record}, s);
}
int CPrintServerUtility::WriteGroup(const Target& to, const SerialPortConfigurationData* s) {
  return Guarded([&] {
    if (!to.ok() || s == nullptr) return -2;
    if (s->iBaudrate <= 0 || s->iDatabits <= 0 || s->iStopbits <= 0 || s->szParity.empty() ||
        s->szHandshake.empty()) {
      return -2;
    }
    ConfigText t;
    t.Number("0030", s->iBaudrate);
    t.Number("0033", s->iDatabits);
    t.Text("0032", s->szParity);
    t.Number("0031", s->iStopbits);
    t.Text("0034", s->szHandshake);
    if (!t.ok()) return -2;
    return SendSettingsAndReset(to, t.text());
  });
}

int CPrintServerUtility::mSetLogicalPortConfiguration(const std::string& name, int iPort,
                                                      const LogicalPrinterConfigurationData* p) {
  return Guarded([&] {
    if (name.empty() || p == nullptr || iPort <= 0) return -2;
    ConfigText t;
    if (!LogicalPortLines(t, iPort, *p)) return -1;
    if (!t.ok()) return -2;
    int length = 0;
    const int rc = SendResp(name, t.text(), ReplyBuffer(), length);
    m_szLastDeviceName.clear();
    if (rc != 0) return rc;
    return mResetDevice(name);
  });
}
int CPrintServerUtility::mSetLogicalPortConfiguration(const DeviceRecord* record, int iPort,
                                                      const LogicalPrinterConfigurationData* p) {
  // By record a failed send is a plain failure (-1), like any settings text.
  return Guarded([&] {
    if (record == nullptr || p == nullptr || iPort <= 0) return -2;
    ConfigText t;
    if (!LogicalPortLines(t, iPort, *p)) return -1;
    if (!t.ok()) return -2;
    return SendSettingsAndResetToRecord(record, t.text());
  });
}

int CPrintServerUtility::mSetNetwareConfiguration(const std::string& name,
                                                  const NetwareConfigurationData* nw) {
  return WriteGroup(Target{&name, nullptr}, nw);
}
int CPrintServerUtility::mSetNetwareConfiguration(const DeviceRecord* record,
                                                  const NetwareConfigurationData* nw) {
  return WriteGroup(Target{nullptr, record}, nw);
}
int CPrintServerUtility::WriteGroup(const Target& to, const NetwareConfigurationData* nw) {
  return Guarded([&] {
    if (!to.ok() || nw == nullptr) return -2;
    ConfigText t;
    if (!config::WriteNetwareLines(t, *nw) || !t.ok()) return -2;
    return SendSettingsAndReset(to, t.text());
  });
}

int CPrintServerUtility::mSetTCPIPConfiguration(const std::string& name,
                                                const TCPIPConfigurationData* tcp) {
  return Guarded([&] {
    if (name.empty() || tcp == nullptr) return -2;
    ConfigText t;
    TcpipLines(t, *tcp);
    if (!t.ok()) return -2;
    int length = 0;
    const int rc = SendResp(name, t.text(), ReplyBuffer(), length);
    m_szLastDeviceName.clear();
    if (rc != 0) return -1;
    return RestartAndReload(name, kResetWaitMs, std::string(), FixedAddress(*tcp));
  });
}

int CPrintServerUtility::mSetAPPLETALKConfiguration(const std::string& name,
                                                    const APPLETALKConfigurationData* a) {
  return WriteGroup(Target{&name, nullptr}, a);
}
int CPrintServerUtility::mSetAPPLETALKConfiguration(const DeviceRecord* record,
                                                    const APPLETALKConfigurationData* a) {
  return WriteGroup(Target{nullptr, record}, a);
}
int CPrintServerUtility::WriteGroup(const Target& to, const APPLETALKConfigurationData* a) {
  return Guarded([&] {
    if (!to.ok() || a == nullptr) return -2;
    ConfigText t;
    t.Text("3000", a->szZoneName);
    const std::pair<const char*, const std::string*> types[] = {{"3001", &a->szP1PrinterType},
                                                                {"3002", &a->szP2PrinterType},
                                                                {"3003", &a->szSPPrinterType},
                                                                {"3004", &a->szP3PrinterType}};
    for (const auto& [key, value] : types) {
      if (!value->empty()) t.Text(key, *value);
    }
    t.Switch("3101", a->bP1BinaryCommunicationProtocol, "YES", "NO");
    t.Switch("3102", a->bP2BinaryCommunicationProtocol, "YES", "NO");
    t.Switch("3103", a->bSPBinaryCommunicationProtocol, "YES", "NO");
    t.Switch("3104", a->bP3BinaryCommunicationProtocol, "YES", "NO");
    if (!t.ok()) return -2;
    return SendSettingsAndReset(to, t.text());
  });
}

int CPrintServerUtility::mSetNetBEUIConfiguration(const std::string& name,
                                                  const NetBEUIConfigureData* nb) {
  return WriteGroup(Target{&name, nullptr}, nb);
}
int CPrintServerUtility::mSetNetBEUIConfiguration(const DeviceRecord* record,
                                                  const NetBEUIConfigureData* nb) {
  return WriteGroup(Target{nullptr, record}, nb);
}
int CPrintServerUtility::WriteGroup(const Target& to, const NetBEUIConfigureData* nb) {
  return Guarded([&] {
    if (!to.ok() || nb == nullptr) return -2;
    ConfigText t;
    t.Text("5000", nb->szDomainName);
    t.Switch("5001", nb->bAbortJobAsPaperOut, "YES", "NO");
    if (nb->iResponseTime < 0 || nb->iResponseTime > 255) t.Refuse();
    t.Number("5002", nb->iResponseTime);
    if (!t.ok()) return -2;
    return SendSettingsAndReset(to, t.text());
  });
}

int CPrintServerUtility::mSetSNMPConfiguration(const std::string& name,
                                               const SNMPConfigurationData* s) {
  return WriteGroup(Target{&name, nullptr}, s);
}
int CPrintServerUtility::mSetSNMPConfiguration(const DeviceRecord* record,
                                               const SNMPConfigurationData* s) {
  return WriteGroup(Target{nullptr, record}, s);
}
int CPrintServerUtility::WriteGroup(const Target& to, const SNMPConfigurationData* s) {
  return Guarded([&] {
    if (!to.ok() || s == nullptr) return -2;
    using S = SNMPConfigurationData;
    ConfigText t;
    // By record, every manager and trap receiver needs an address.
    const auto address = [&](const std::string& a) {
      if (a.size() > 15 || (to.record != nullptr && a.empty())) t.Refuse();
    };
    if (s->szSysContact.size() > 31 || s->szSysLocation.size() > 31) t.Refuse();
    t.Text("6000", s->szSysContact);
    t.Text("6001", s->szSysLocation);
    const std::string S::*mAddr[4] = {&S::szM1_ManagerIPAddress, &S::szM2_ManagerIPAddress,
                                      &S::szM3_ManagerIPAddress, &S::szM4_ManagerIPAddress};
    const std::int32_t S::*mAccess[4] = {&S::iM1_AccessPermission, &S::iM2_AccessPermission,
                                         &S::iM3_AccessPermission, &S::iM4_AccessPermission};
    const std::string S::*mComm[4] = {&S::szM1_CommunityString, &S::szM2_CommunityString,
                                      &S::szM3_CommunityString, &S::szM4_CommunityString};
    const std::string S::*tAddr[4] = {&S::szT1_TrapReceiveIPAddress, &S::szT2_TrapReceiveIPAddress,
                                      &S::szT3_TrapReceiveIPAddress, &S::szT4_TrapReceiveIPAddress};
    const std::int32_t S::*tSev[4] = {&S::iT1_TrapSeverity, &S::iT2_TrapSeverity,
                                      &S::iT3_TrapSeverity, &S::iT4_TrapSeverity};
    const std::string S::*tComm[4] = {&S::szT1_CommunityString, &S::szT2_CommunityString,
                                      &S::szT3_CommunityString, &S::szT4_CommunityString};
    const std::int32_t S::*tOpt[4] = {&S::iT1_TrapOption, &S::iT2_TrapOption, &S::iT3_TrapOption,
                                      &S::iT4_TrapOption};
    static const char* const kAccess[3] = {"Read Only", "Read/Write", "Not Accessible"};
    for (int i = 0; i < 4; ++i) {
      const int m = 6000 + 10 * (i + 1);
      address(s->*mAddr[i]);
      t.Text(Key(m + 1), s->*mAddr[i]);
      const std::int32_t access = s->*mAccess[i];
      if (access < 0 || access > 2) t.Refuse();
      t.Text(Key(m + 2), kAccess[access >= 0 && access <= 2 ? access : 0]);
      t.Text(Key(m + 3), s->*mComm[i]);
    }
    for (int i = 0; i < 4; ++i) {
      const int r = 6100 + 10 * (i + 1);
      address(s->*tAddr[i]);
      t.Text(Key(r + 1), s->*tAddr[i]);
      if (s->*tSev[i] < 1 || s->*tSev[i] > 3) t.Refuse();
      t.Number(Key(r + 2), s->*tSev[i]);
      t.Text(Key(r + 3), s->*tComm[i]);
      t.Switch(Key(r + 4), s->*tOpt[i], "ENABLE", "DISABLE");
    }
    t.Text("6151", s->bSNMPEnable != 0 ? "ENABLE" : "DISABLE");
    if (!t.ok()) return -2;
    return SendSettingsAndReset(to, t.text());
  });
}

int CPrintServerUtility::mSetWirelessConfiguration(const std::string& name,
                                                   const WirelessConfigurationData* w) {
  return WriteWireless(To(name), w);
}
int CPrintServerUtility::mSetWirelessConfiguration(const DeviceRecord* record,
                                                   const WirelessConfigurationData* w) {
  return WriteWireless(To(record), w);
}
int CPrintServerUtility::WriteWireless(const Target& to, const WirelessConfigurationData* w) {
  return Guarded([&] {
    if (!to.ok() || w == nullptr) return -2;
    // 7001 (the domain list) and 7014 (the link state) are the box's own: never written back.
    ConfigText t;
    WirelessLines(t, *w);
    t.Text("7010", w->iListMode == 1 ? "Enable" : w->iListMode == 2 ? "Enable_List" : "Disable");
    AddressListLines(t, "9300", w->AddressList9300, true);
    AddressListLines(t, "9301", w->AddressList9301, false);
    t.Number("7012", w->iAuthentication);
    t.Number("7013", w->iNetworkType);
    if (!t.ok()) return -2;
    return SendSettingsAndReset(to, t.text());
  });
}

bool CPrintServerUtility::PasswordRequest(const char* command, const std::string& password,
                                          std::string& request) {
  if (password.size() > static_cast<std::size_t>(CPrintServerUtility::kMaxPasswordLength) ||
      platform::HasAsciiControl(password)) {
    return false;
  }
  std::string hex;
  if (config::ScramblePassword(password, hex) != config::kScrambleOk) return false;
  request = std::string(command) + hex + "\n";
  std::fill(hex.begin(), hex.end(), '\0');
  return true;
}

int CPrintServerUtility::SendPasswordAndReset(const Target& to, const char* command,
                                              const std::string& password) {
  return Guarded([&] {
    if (!to.ok()) return -2;
    std::string request;
    if (!PasswordRequest(command, password, request)) return -2;
    int length = 0;
    const int rc = SendTo(to, request, ReplyBuffer(), length);
    std::fill(request.begin(), request.end(), '\0');
    if (rc != 0) return -1;
    return ResetTarget(to);
  });
}

int CPrintServerUtility::mSetPassword(const std::string& name, const std::string& password) {
  return SendPasswordAndReset(To(name), "9005:", password);
}
int CPrintServerUtility::mSetPassword(const DeviceRecord* record, const std::string& password) {
  return SendPasswordAndReset(To(record), "9005:", password);
}
int CPrintServerUtility::mSetNetwarePassword(const std::string& name, const std::string& password) {
  return SendPasswordAndReset(To(name), "9035:", password);
}
int CPrintServerUtility::mSetNetwarePassword(const DeviceRecord* record,
                                             const std::string& password) {
  return SendPasswordAndReset(To(record), "9035:", password);
}

// ---- The configuration of Finish -------------------------------------------------------------

int CPrintServerUtility::mSetWizardConfiguration(const std::string& name,
                                                 const WizardConfigurationData* settings,
                                                 int iSetMode, unsigned keyGroups) {
  return WriteWizard(To(name), settings, iSetMode, keyGroups);
}
int CPrintServerUtility::mSetWizardConfiguration(const DeviceRecord* record,
                                                 const WizardConfigurationData* settings,
                                                 int iSetMode, unsigned keyGroups) {
  return WriteWizard(To(record), settings, iSetMode, keyGroups);
}
int CPrintServerUtility::WriteWizard(const Target& to, const WizardConfigurationData* settings,
                                     int iSetMode, unsigned keyGroups) {
  return Guarded([&] {
    if (!to.ok() || settings == nullptr) return -2;
    const WizardConfigurationData& s = *settings;
    ConfigText t;
    // A box never loses its name: an empty one is refused.
    t.Required("0001", s.dsSystem.szDeviceName);
    if (iSetMode == 1) {
      std::string request;
      if (!PasswordRequest("9035:", s.szPassword, request)) return -2;
      t.Raw(request);
      std::fill(request.begin(), request.end(), '\0');
    }
    if (iSetMode == 3) {
      if (s.dsNetware.szOperationMode.empty()) return -2;
      t.Text("2000", s.dsNetware.szOperationMode);
      t.Text("2101", s.dsNetware.szMasterFileServerName);
      t.Text("2110", s.dsNetware.szNDSTreeName);
      t.Text("2111", s.dsNetware.szNDSContextName);
    }
    AddressLines(t, s.dsTCPIP);
    t.Text("5000", s.dsNetBEUI.szDomainName);
    if ((keyGroups & kWizardNetBEUITexts) != 0) NetBEUIExtraLines(t, s.dsNetBEUI);
    if ((keyGroups & kWizardWireless) != 0) {
      WirelessLines(t, s.dsWireless);
      t.Number("7012", s.dsWireless.iAuthentication);
      t.Number("7013", s.dsWireless.iNetworkType);
    }
    if (!t.ok()) return -2;
    // Compared before the send: the cache is the box as it was read, before the new settings.
    const int sameName = s.dsSystem.szDeviceName == m_Configuration.dsSystem.szDeviceName ? 1 : 0;
    const bool fixedAddress =
        s.dsTCPIP.bAutoAddress1 == 0 && IsDottedAddress(s.dsTCPIP.szIPAddress);
    int length = 0;
    const int rc = SendTo(to, t.text(), ReplyBuffer(), length);
    m_szLastDeviceName.clear();
    if (rc != 0) return -1;
    return ApplyTo(to, s.dsSystem.szDeviceName, sameName,
                   fixedAddress ? s.dsTCPIP.szIPAddress : std::string());
  });
}

int CPrintServerUtility::mSetTCPIPConfiguration(const DeviceRecord* record,
                                                const TCPIPConfigurationData* tcp) {
  // The record form writes the address lines alone and leaves the device table as it is.
  return Guarded([&] {
    if (record == nullptr || tcp == nullptr) return -2;
    ConfigText t;
    t.Required("4000", tcp->szIPAddress);
    t.Required("4001", tcp->szGatewayAddress);
    t.Required("4002", tcp->szSubNetworkMaskAddress);
    if (!t.ok()) return -2;
    return SendSettingsAndResetToRecord(record, t.text());
  });
}

// ---- Basic configuration -------------------------------------------------------------------

int CPrintServerUtility::mSetBasicConfiguration(const std::string& name,
                                                const BasicConfigurationData* basic) {
  return WriteBasic(To(name), basic);
}
int CPrintServerUtility::mSetBasicConfiguration(const DeviceRecord* record,
                                                const BasicConfigurationData* basic) {
  return WriteBasic(To(record), basic);
}
int CPrintServerUtility::WriteBasic(const Target& to, const BasicConfigurationData* basic) {
  return Guarded([&] {
    if (!to.ok() || basic == nullptr) return -2;
    ConfigText t;
    if (!LogicalPortLines(t, config::kLogicalPrinterCount, basic->dsLogicalPrinter)) return -1;
    const SystemConfigurationData& sys = basic->dsSystem;
    const auto word = [](std::int32_t v) { return v != 0 ? "ENABLE" : "DISABLE"; };
    t.Text("0001", sys.szDeviceName);
    t.Text("0011", word(sys.bIPXSPXProtocol));
    t.Text("0012", word(sys.bTCPIPProtocol));
    t.Text("0014", word(sys.bNetBEUIProtocol));
    AddressLines(t, basic->dsTCPIP);
    t.Text("4030", basic->dsTCPIP.szSpare);
    t.Text("5000", basic->dsNetBEUI.szDomainName);
    t.Switch("5001", basic->dsNetBEUI.bAbortJobAsPaperOut, "YES", "NO");
    if (!t.ok()) return -2;
    return SendSettingsAndReset(to, t.text());
  });
}

int CPrintServerUtility::mGetBasicConfiguration(const std::string& name,
                                                BasicConfigurationData* basic) {
  return ReadBasic(To(name), basic);
}
int CPrintServerUtility::mGetBasicConfiguration(const DeviceRecord* record,
                                                BasicConfigurationData* basic) {
  return ReadBasic(To(record), basic);
}
int CPrintServerUtility::ReadBasic(const Target& to, BasicConfigurationData* basic) {
  if (!to.ok() || basic == nullptr) return -2;
  const int rc = OnTarget(to, [&](const auto& t) { return Select(*this, t); });
  if (rc != 0) return rc;
  return Guarded([&] {
    const TCPIPConfigurationData& tcp = m_Configuration.dsTCPIP;
    basic->dsTCPIP.szIPAddress = tcp.szIPAddress;
    basic->dsTCPIP.szGatewayAddress = tcp.szGatewayAddress;
    basic->dsTCPIP.szSubNetworkMaskAddress = tcp.szSubNetworkMaskAddress;
    basic->dsTCPIP.bAutoAddress1 = tcp.bAutoAddress1;
    basic->dsTCPIP.bAutoAddress2 = tcp.bAutoAddress2;
    basic->dsTCPIP.bAutoAddress3 = tcp.bAutoAddress3;
    basic->dsNetBEUI.szDomainName = m_Configuration.dsNetBEUI.szDomainName;
    basic->dsNetBEUI.iResponseTime = m_Configuration.dsNetBEUI.iResponseTime;
    basic->dsNetBEUI.bAbortJobAsPaperOut = m_Configuration.dsNetBEUI.bAbortJobAsPaperOut;
    return 0;
  });
}

// ---- The whole configuration in one request -------------------------------------------------

int CPrintServerUtility::mSetAllConfiguration(const std::string& name,
                                              const AllConfigurationData* all,
                                              std::uint8_t bRelocate) {
  return WriteAll(To(name), all, bRelocate);
}
int CPrintServerUtility::mSetAllConfiguration(const DeviceRecord* record,
                                              const AllConfigurationData* all,
                                              std::uint8_t bRelocate) {
  return WriteAll(To(record), all, bRelocate);
}
int CPrintServerUtility::WriteAll(const Target& to, const AllConfigurationData* all,
                                  std::uint8_t bRelocate) {
  return Guarded([&] {
    if (!to.ok() || all == nullptr) return -2;
    const config::DeviceConfigurationData& c = all->base;
    const auto word = [](std::int32_t v) { return v != 0 ? "ENABLE" : "DISABLE"; };
    ConfigText t;
    t.Text("0001", c.dsSystem.szDeviceName);
    t.Text("0011", word(c.dsSystem.bIPXSPXProtocol));
    t.Text("0012", word(c.dsSystem.bTCPIPProtocol));
    t.Text("0014", word(c.dsSystem.bNetBEUIProtocol));
    static const char* const kDefaultName[3] = {"P1", "P2", "P3"};
    for (int i = 0; i < 3; ++i) {
      const std::string& portName = c.dsPhysicalPort[i].szPortName;
      t.Text(Key(40 + i), portName.empty() ? std::string(kDefaultName[i]) : portName);
    }
    for (int i = 0; i < 3; ++i)
      t.Text(Key(501 + i), c.dsPhysicalPort[i].iHandshake == 1 ? "BUSY" : "ACK&BUSY");
    if (!config::WriteNetwareLines(t, c.dsNetware)) return -2;
    const TCPIPConfigurationData& tcp = c.dsTCPIP;
    t.Required("4000", tcp.szIPAddress);
    if (!tcp.szGatewayAddress.empty()) t.Text("4001", tcp.szGatewayAddress);
    if (!tcp.szSubNetworkMaskAddress.empty()) t.Text("4002", tcp.szSubNetworkMaskAddress);
    if (tcp.bAutoAddress1 == 0 || tcp.bAutoAddress1 == 1)
      t.Switch("4020", tcp.bAutoAddress1, "Enable", "Disable");
    const config::NetBEUIConfigureData& nb = c.dsNetBEUI;
    t.Text("5000", nb.szDomainName);
    if (nb.bAbortJobAsPaperOut == 0 || nb.bAbortJobAsPaperOut == 1)
      t.Switch("5001", nb.bAbortJobAsPaperOut, "YES", "NO");
    if (nb.iResponseTime >= 0 && nb.iResponseTime <= 255) t.Number("5002", nb.iResponseTime);
    for (int n = 1; n <= config::kLogicalPrinterCount; ++n)
      LogicalPortText(t, n, c.dsLogicalPrinter[n - 1]);
    if (!t.ok()) return -2;
    int length = 0;
    const int rc = SendTo(to, t.text(), ReplyBuffer(), length);
    m_szLastDeviceName.clear();
    if (rc != 0) return -1;
    if (bRelocate != 0) return ApplyTo(to, c.dsSystem.szDeviceName, 0, std::string());
    return ResetTarget(to);
  });
}

// ---- Further whole-text writers --------------------------------------------------------------

int CPrintServerUtility::mSetAllLogicalPortConfiguration(const std::string& name,
                                                         int iLogicalPortCount,
                                                         const config::AllLogicalPrinter* all) {
  return WriteAllLogical(Target{&name, nullptr}, iLogicalPortCount, all);
}
int CPrintServerUtility::mSetAllLogicalPortConfiguration(const DeviceRecord* record,
                                                         int iLogicalPortCount,
                                                         const config::AllLogicalPrinter* all) {
  return WriteAllLogical(Target{nullptr, record}, iLogicalPortCount, all);
}
int CPrintServerUtility::WriteAllLogical(const Target& to, int iLogicalPortCount,
                                         const config::AllLogicalPrinter* all) {
  return Guarded([&] {
    if (all == nullptr || (iLogicalPortCount != 3 && iLogicalPortCount != 8)) return -2;
    ConfigText t;
    for (int n = 1; n <= iLogicalPortCount; ++n) {
      if (!LogicalPortLines(t, n, LogicalPrinterOf(*all, n))) return -1;
    }
    if (!t.ok()) return -2;
    int length = 0;
    const int rc = SendTo(to, t.text(), ReplyBuffer(), length);
    m_szLastDeviceName.clear();
    if (rc != 0) return rc;  // this writer reports the send's own code
    return ResetTarget(to);
  });
}

int CPrintServerUtility::mSetPhysicalPortConfiguration(const std::string& name,
                                                       const PhysicalPortConfigurationData* ports) {
  return WritePhysicalPorts(To(name), ports);
}
int CPrintServerUtility::mSetPhysicalPortConfiguration(const DeviceRecord* record,
                                                       const PhysicalPortConfigurationData* ports) {
  return WritePhysicalPorts(To(record), ports);
}
int CPrintServerUtility::WritePhysicalPorts(const Target& to,
                                            const PhysicalPortConfigurationData* ports) {
  return Guarded([&] {
    if (!to.ok() || ports == nullptr) return -2;
    static const char* const kDefaultName[4] = {"P1", "P2", "P3", "SP"};
    ConfigText t;
    for (int i = 0; i < 4; ++i) {
      const std::string& portName = ports[i].szPortName;
      t.Text(Key(40 + i), portName.empty() ? std::string(kDefaultName[i]) : portName);
    }
    for (int i = 0; i < 4; ++i)
      t.Text(Key(501 + i), ports[i].iHandshake == 1 ? "BUSY" : "ACK&BUSY");
    for (int i = 0; i < 2; ++i) t.Text(Key(511 + i), ports[i].bEnable == 1 ? "Enable" : "Disable");
    if (!t.ok()) return -2;
    int length = 0;
    const int rc = SendTo(to, t.text(), ReplyBuffer(), length);
    m_szLastDeviceName.clear();
    if (rc != 0) return rc;
    return ResetTarget(to);
  });
}

namespace {
const char* AddressAssignmentLine(std::uint8_t enable) {
  return enable != 0 ? "4020 :Enable\n" : "4020 :Disable\n";
}
}  // namespace

int CPrintServerUtility::mSetAddressAssignment(const std::string& name, std::uint8_t enable) {
  if (name.empty()) return -2;
  return SendSettingsAndReset(To(name), AddressAssignmentLine(enable));
}
int CPrintServerUtility::mSetAddressAssignment(const DeviceRecord* record, std::uint8_t enable) {
  if (record == nullptr) return -2;
  return SendSettingsAndReset(To(record), AddressAssignmentLine(enable));
}

int CPrintServerUtility::mSetTCPIPAndManagerConfiguration(const std::string& name,
                                                          const TCPIPConfigurationData* tcp,
                                                          int access,
                                                          const std::string& community) {
  return WriteTCPIPAndManager(To(name), tcp, access, community);
}
int CPrintServerUtility::mSetTCPIPAndManagerConfiguration(const DeviceRecord* record,
                                                          const TCPIPConfigurationData* tcp,
                                                          int access,
                                                          const std::string& community) {
  return WriteTCPIPAndManager(To(record), tcp, access, community);
}
int CPrintServerUtility::WriteTCPIPAndManager(const Target& to, const TCPIPConfigurationData* tcp,
                                              int access, const std::string& community) {
  return Guarded([&] {
    if (!to.ok() || tcp == nullptr || access < 0 || access > 2) return -2;
    static const char* const kAccess[3] = {"Read Only", "Read/Write", "Not Accessible"};
    ConfigText t;
    TcpipLines(t, *tcp);
    t.Text("6012", kAccess[access]);
    t.Text("6013", community);
    if (!t.ok()) return -2;
    int length = 0;
    const int rc = SendTo(to, t.text(), ReplyBuffer(), length);
    m_szLastDeviceName.clear();
    if (rc != 0) return -1;
    // By record the caller holds the box's record: the device table is not moved for it.
    if (to.record != nullptr) return mResetDevice(to.record);
    return RestartAndReload(*to.name, kResetWaitMs, std::string(), FixedAddress(*tcp));
  });
}

int CPrintServerUtility::mSetNetwareConfigurationAndApply(const std::string& name,
                                                          const std::string& newName,
                                                          const NetwareConfigurationData* nw,
                                                          int sameName) {
  return WriteNetwareAndApply(To(name), newName, nw, sameName);
}
int CPrintServerUtility::mSetNetwareConfigurationAndApply(const DeviceRecord* record,
                                                          const std::string& newName,
                                                          const NetwareConfigurationData* nw,
                                                          int sameName) {
  return WriteNetwareAndApply(To(record), newName, nw, sameName);
}
int CPrintServerUtility::WriteNetwareAndApply(const Target& to, const std::string& newName,
                                              const NetwareConfigurationData* nw, int sameName) {
  return Guarded([&] {
    if (!to.ok() || nw == nullptr) return -2;
    ConfigText t;
    if (!config::WriteNetwareLines(t, *nw) || !t.ok()) return -2;
    int length = 0;
    const int rc = SendTo(to, t.text(), ReplyBuffer(), length);
    m_szLastDeviceName.clear();
    if (rc != 0) return -1;
    return ApplyTo(to, newName, sameName, std::string());
  });
}

int CPrintServerUtility::mRestoreFactoryDefaultAndApply(const std::string& name,
                                                        const std::string& newName, int sameName) {
  return FactoryDefaultAndApply(To(name), newName, sameName);
}
int CPrintServerUtility::mRestoreFactoryDefaultAndApply(const DeviceRecord* record,
                                                        const std::string& newName, int sameName) {
  return FactoryDefaultAndApply(To(record), newName, sameName);
}
int CPrintServerUtility::FactoryDefaultAndApply(const Target& to, const std::string& newName,
                                                int sameName) {
  if (!to.ok()) return -1;
  int length = 0;
  SendTo(to, "9006:\n", ReplyBuffer(), length);  // the restart reports any failure
  m_szLastDeviceName.clear();
  const int rc = ApplyTo(to, newName, sameName, std::string());
  if (rc != 0) return rc;
  return OnTarget(to, [&](const auto& t) { return Select(*this, t); });
}

}  // namespace wizard

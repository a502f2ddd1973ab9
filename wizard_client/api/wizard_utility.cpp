// The wizard's device-API object: lifetime, send wrappers, the cache and its getters, the
// device-information queries, the model tables and the single commands.
#include "wizard_client/api/wizard_utility.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <utility>
#include <vector>

#include "device_client/core/config/config_builder.h"
#include "device_client/core/config/model_capabilities.h"
#include "device_client/core/config/password_scramble.h"
#include "device_client/core/wire_layout.h"
#include "device_client/live_discovery/live_discovery.h"
#include "platform/clock.h"
#include "platform/profile.h"
#include "wizard_client/api/wizard_key_table.h"
#include "wizard_client/device_lists/wizard_lists.h"

namespace wizard {
namespace pid = wire::pid;

namespace {

// Log-line numbers of the send wrappers: invalid argument, FAIL, network, not found, unknown code,
// out of memory.
constexpr int kLinesByName[6] = {318, 343, 350, 359, 365, 372};
constexpr int kLinesByRecord[6] = {386, 412, 419, 426, 432, 439};
constexpr int kLinesDirect[6] = {10135, 10160, 10167, 10174, 10180, 10187};

constexpr std::int64_t kResetWaitMs = 5000;

// The models only the wizard knows, beyond the console's indexes 0..23.
struct NewerModel {
  std::uint8_t b4, b5, b6;
  int index;
};
constexpr NewerModel kNewerModels[] = {
    {0x00, 0xF0, 0x4B, 24}, {0x00, 0xF2, 0x00, 25}, {0x00, 0xF0, 0x52, 25}};
// Labels and feature words of their display names (the port text comes from the capability
// table).
constexpr const char* kModelLabel24 = "PS-7100";
constexpr const char* kModelLabel24Product8 = "PS-7110";
constexpr const char* kModelLabel25 = "PS-7300";
// Boxes whose default name begins with this prefix show other names for indexes 4 and 21.
constexpr const char* kAlternativePrefix = "KX";
constexpr const char* kAlternativeLabel4 = "KX-3100";
constexpr const char* kAlternativeLabel21 = "KX-5200";

// The display name of a known model index (0..25).
std::string TableModelName(int index, const std::uint8_t* block) {
  if (index == 24) {
    const bool product8 = block[pid::kProductId] == 0x00 && block[pid::kProductId + 1] == 0x08;
    return config::ModelDisplayName(product8 ? kModelLabel24Product8 : kModelLabel24, "wireless",
                                    24);
  }
  if (index == 25) return config::ModelDisplayName(kModelLabel25, "gigabit", 25);
  return ::CPrintServerUtility::ModelName(index);
}

// Text of a reply up to its first NUL, at most `length` bytes.
std::string ReplyText(const char* reply, int length) {
  if (length <= 0) return {};
  return std::string(reply, strnlen(reply, static_cast<std::size_t>(length)));
}

}  // namespace

CPrintServerUtility::CPrintServerUtility() = default;

CPrintServerUtility::~CPrintServerUtility() {
  m_pReplyBuffer.reset();
  PSExit();
}

int CPrintServerUtility::StartTransports(int iProtocol, int iTimeOut) {
  return PSInit(iProtocol, iTimeOut);
}

void CPrintServerUtility::StopTransports() { PSExit(); }

const char* CPrintServerUtility::SourceFile() const { return __FILE__; }

// ---- Send wrappers ---------------------------------------------------------------------------

int CPrintServerUtility::TransportSend(const std::string& name, const std::string& request,
                                       char* reply, int* replyLength, int capacity) {
  return PSISendResp(name.c_str(), request.data(), static_cast<int>(request.size()), reply,
                     replyLength, capacity);
}

int CPrintServerUtility::SendResp(const std::string& name, const std::string& request, char* reply,
                                  int& replyLength) {
  return SendThrough(!name.empty(), request, reply, replyLength, kLinesByName,
                     [&](char* out, int* outLength, int capacity) {
                       return TransportSend(name, request, out, outLength, capacity);
                     });
}

int CPrintServerUtility::SendRespToRecord(const DeviceRecord* record, const std::string& request,
                                          char* reply, int& replyLength) {
  return SendThrough(record != nullptr, request, reply, replyLength, kLinesByRecord,
                     [&](char* out, int* outLength, int capacity) {
                       return SendRespByRecord(record, request.data(),
                                               static_cast<int>(request.size()), out, outLength,
                                               capacity);
                     });
}

int CPrintServerUtility::SendTo(const Target& to, const std::string& request, char* reply,
                                int& replyLength) {
  if (to.record != nullptr) return SendRespToRecord(to.record, request, reply, replyLength);
  return SendResp(to.name != nullptr ? *to.name : std::string(), request, reply, replyLength);
}

int CPrintServerUtility::mSendDirectCommand(const std::string& name, const std::string& request,
                                            char* reply, int* replyLength, int capacity) {
  return DirectCommand(To(name), request, reply, replyLength, capacity);
}
int CPrintServerUtility::mSendDirectCommand(const DeviceRecord* record,
                                            const std::string& request, char* reply,
                                            int* replyLength, int capacity) {
  return DirectCommand(To(record), request, reply, replyLength, capacity);
}
int CPrintServerUtility::DirectCommand(const Target& to, const std::string& request, char* reply,
                                       int* replyLength, int capacity) {
  const bool ok = to.ok() && replyLength != nullptr && capacity > 0;
  int ignored = 0;
  return SendThrough(ok, request, reply, replyLength != nullptr ? *replyLength : ignored,
                     kLinesDirect, [&](char* out, int* outLength, int) {
                       const int size = static_cast<int>(request.size());
                       if (to.record != nullptr) {
                         return SendRespByRecord(to.record, request.data(), size, out, outLength,
                                                 capacity);
                       }
                       return PSISendResp(to.name->c_str(), request.data(), size, out, outLength,
                                          capacity);
                     });
}

// ---- Cache -----------------------------------------------------------------------------------

void CPrintServerUtility::ClearConfiguration() {
  Guarded([&] {
    ClearWizardConfiguration(m_Configuration, m_Extras);
    return 0;
  });
}

template <class Send>
int CPrintServerUtility::ReadConfigurationWith(Send&& send, DevicePIDData* block) {
  // A read always starts from the empty record: nothing of the box read before survives.
  ClearConfiguration();
  int length = 0;
  int rc = send("9100:\r\n", length);
  if (rc != 0) return rc;
  rc = Guarded([&] {
    config::LogHook hook;
    if (IsLoggingOn()) hook = [this](const std::string& line) { WriteLog(line); };
    return ParseWizardConfiguration(ReplyBuffer(), length, ParseTarget{&m_Configuration, &m_Extras},
                                    hook) == 0
               ? 0
               : -1;
  });
  if (rc != 0) return rc == -3 ? -3 : -1;
  rc = send("9007:\n", length);
  if (rc != 0) return rc;
  return DecodeInto(length, block);
}

int CPrintServerUtility::mReadDeviceConfiguration(const std::string& name,
                                                  AllConfigurationData* record) {
  return Guarded([&] {
    if (name.empty() || record == nullptr) return -2;
    const int rc = ReadConfigurationWith(
        [&](const char* request, int& length) {
          return SendResp(name, request, ReplyBuffer(), length);
        },
        &m_Configuration.dsDevicePID);
    if (rc != 0) return rc;
    m_szLastDeviceName = name;
    return 0;
  });
}

int CPrintServerUtility::mReadDeviceConfiguration(const DeviceRecord* record,
                                                  AllConfigurationData* out) {
  return Guarded([&] {
    if (record == nullptr) return -2;
    const int rc = ReadConfigurationWith(
        [&](const char* request, int& length) {
          return SendRespToRecord(record, request, ReplyBuffer(), length);
        },
        &m_Configuration.dsDevicePID);
    if (rc == 0 && out != nullptr) out->base.dsDevicePID = m_Configuration.dsDevicePID;
    return rc;
  });
}

int CPrintServerUtility::ReloadConfiguration(const std::string& name) {
  AllConfigurationData unused;
  const int rc = mReadDeviceConfiguration(name, &unused);
  if (rc != 0) m_szLastDeviceName.clear();
  return rc;
}

int CPrintServerUtility::SelectDeviceRecord(const DeviceRecord* record) {
  const int rc = mReadDeviceConfiguration(record, nullptr);
  if (rc != 0) return rc;
  return Guarded([&] {
    const char* field =
        reinterpret_cast<const char*>(m_Configuration.dsDevicePID.data) + pid::kDeviceName;
    const std::string deviceName(field, strnlen(field, pid::kNameSize));
    m_Configuration.dsSystem.szDeviceName = deviceName;
    m_Configuration.dsNetware.szPrintServerName = deviceName;
    m_Configuration.dsNetware.szDeviceName = deviceName;
    return 0;
  });
}

// ---- Getters ---------------------------------------------------------------------------------

namespace {

template <class Select, class Out, class Copy>
int Fetch(bool argumentsOk, Select&& select, Out* out, Copy&& copy) {
  if (!argumentsOk || out == nullptr) return -2;
  const int rc = select();
  if (rc != 0) return rc;
  try {
    copy(*out);
    return 0;
  } catch (...) {
    return -3;
  }
}

}  // namespace

template <class Out, class Copy>
int CPrintServerUtility::GetByRecord(const DeviceRecord* record, Out* out, Copy&& copy) {
  return Fetch(
      record != nullptr, [&] { return SelectDeviceRecord(record); }, out, copy);
}

namespace {

// The copy of one group out of the cache, by the type of the caller's record.
struct CacheView {
  const config::DeviceConfigurationData& c;
  const WizardCacheExtras& x;
};

void CopyOut(const CacheView& v, ProtocolData& o) { o = v.c.dsProtocol; }
void CopyOut(const CacheView& v, SerialPortConfigurationData& o) { o = v.c.dsSerialPort; }
void CopyOut(const CacheView& v, SNMPConfigurationData& o) { o = v.c.dsSNMP; }
void CopyOut(const CacheView& v, SystemConfigurationData& o) {
  config::AssignExcept(o, v.c.dsSystem, &SystemConfigurationData::reserved);
}
void CopyOut(const CacheView& v, NetwareConfigurationData& o) {
  config::AssignExcept(o, v.c.dsNetware, &NetwareConfigurationData::reserved);
}
void CopyOut(const CacheView& v, TCPIPConfigurationData& o) {
  config::AssignExcept(o, v.c.dsTCPIP, &TCPIPConfigurationData::szSpare,
                       &TCPIPConfigurationData::reserved);
}
void CopyOut(const CacheView& v, APPLETALKConfigurationData& o) {
  config::AssignExcept(o, v.c.dsAPPLETALK, &APPLETALKConfigurationData::reserved);
}
void CopyOut(const CacheView& v, NetBEUIConfigureData& o) {
  config::AssignExcept<config::NetBEUIConfigureData>(o, v.c.dsNetBEUI,
                                                     &config::NetBEUIConfigureData::reserved);
  static_cast<NetBEUIExtraTexts&>(o) = v.x.netbeui;
}
void CopyOut(const CacheView& v, WirelessConfigurationData& o) {
  static_cast<config::WirelessConfigurationData&>(o) = v.c.dsWireless;
  o.MacAddressList = v.x.wireless.MacAddressList;
}

// Printers are numbered 1..8; any other number would lie outside the eight entries.
bool IsLogicalPrinter(int iPort) { return iPort >= 1 && iPort <= config::kLogicalPrinterCount; }

}  // namespace

template <class Out>
int CPrintServerUtility::GetGroup(const std::string& name, Out* out) {
  return Fetch(
      !name.empty(), [&] { return SelectDevice(name); }, out,
      [&](Out& o) { CopyOut(CacheView{m_Configuration, m_Extras}, o); });
}

template <class Out>
int CPrintServerUtility::GetGroup(const DeviceRecord* record, Out* out) {
  return GetByRecord(record, out,
                     [&](Out& o) { CopyOut(CacheView{m_Configuration, m_Extras}, o); });
}

int CPrintServerUtility::mGetSerialPortConfiguration(const std::string& name,
                                                     SerialPortConfigurationData* out) {
  return GetGroup(name, out);
}
int CPrintServerUtility::mGetSerialPortConfiguration(const DeviceRecord* record,
                                                     SerialPortConfigurationData* out) {
  // The record form reports a missing argument as a plain failure.
  if (record == nullptr || out == nullptr) return -1;
  return GetGroup(record, out);
}

int CPrintServerUtility::mGetLogicalPortConfiguration(const std::string& name, int iPort,
                                                      LogicalPrinterConfigurationData* out) {
  return Fetch(
      !name.empty() && IsLogicalPrinter(iPort), [&] { return SelectDevice(name); }, out,
      [&](LogicalPrinterConfigurationData& o) { CopyLogicalPrinter(iPort, o); });
}
int CPrintServerUtility::mGetLogicalPortConfiguration(const DeviceRecord* record, int iPort,
                                                      LogicalPrinterConfigurationData* out) {
  if (!IsLogicalPrinter(iPort)) return -2;
  return GetByRecord(record, out,
                     [&](LogicalPrinterConfigurationData& o) { CopyLogicalPrinter(iPort, o); });
}
void CPrintServerUtility::CopyLogicalPrinter(int iPort, LogicalPrinterConfigurationData& o) const {
  config::AssignExcept(o, m_Configuration.dsLogicalPrinter[iPort - 1],
                       &LogicalPrinterConfigurationData::reserved);
}

int CPrintServerUtility::mGetNetBEUIConfiguration(const std::string& name,
                                                  NetBEUIConfigureData* out) {
  return GetGroup(name, out);
}
int CPrintServerUtility::mGetNetBEUIConfiguration(const DeviceRecord* record,
                                                  NetBEUIConfigureData* out) {
  return GetGroup(record, out);
}
int CPrintServerUtility::mGetWirelessConfiguration(const std::string& name,
                                                   WirelessConfigurationData* out) {
  return GetGroup(name, out);
}
int CPrintServerUtility::mGetWirelessConfiguration(const DeviceRecord* record,
                                                   WirelessConfigurationData* out) {
  return GetGroup(record, out);
}
int CPrintServerUtility::mGetSNMPConfiguration(const std::string& name,
                                               SNMPConfigurationData* out) {
  return GetGroup(name, out);
}
int CPrintServerUtility::mGetSNMPConfiguration(const DeviceRecord* record,
                                               SNMPConfigurationData* out) {
  return GetGroup(record, out);
}
int CPrintServerUtility::mGetAPPLETALKConfiguration(const DeviceRecord* record,
                                                    APPLETALKConfigurationData* out) {
  return GetGroup(record, out);
}
int CPrintServerUtility::mGetDeviceProtocol(const DeviceRecord* record, ProtocolData* out) {
  return GetGroup(record, out);
}
int CPrintServerUtility::mGetSystemConfiguration(const DeviceRecord* record,
                                                 SystemConfigurationData* out) {
  return GetGroup(record, out);
}
int CPrintServerUtility::mGetNetwareConfiguration(const DeviceRecord* record,
                                                  NetwareConfigurationData* out) {
  return GetGroup(record, out);
}
int CPrintServerUtility::mGetTCPIPConfiguration(const DeviceRecord* record,
                                                TCPIPConfigurationData* out) {
  return GetGroup(record, out);
}
int CPrintServerUtility::mGetPhysicalPortConfiguration(const DeviceRecord* record, int iPort,
                                                       PhysicalPortConfigurationData* out) {
  if (iPort < 0 || iPort >= config::kPhysicalPortCount) return -2;
  return GetByRecord(record, out, [&](PhysicalPortConfigurationData& o) {
    // A port's label has no key: it stays as the caller has it.
    config::AssignExcept(o, m_Configuration.dsPhysicalPort[iPort],
                         &PhysicalPortConfigurationData::szPortLabel,
                         &PhysicalPortConfigurationData::reserved);
  });
}

// ---- Device information ----------------------------------------------------------------------

int CPrintServerUtility::DecodeInto(int length, DevicePIDData* out) {
  return DecodeDevicePID(ReplyBuffer(), length, out);
}

int CPrintServerUtility::DecodeDevicePID(const char* reply, int length, DevicePIDData* out) {
  // A reply shorter than the block would leave the fields read below undefined.
  if (reply == nullptr || out == nullptr || length < pid::kSize) return -2;
  return Guarded([&] {
    std::uint8_t b[pid::kSize];
    std::memcpy(b, reply, pid::kSize);
    const std::int32_t serial = b[pid::kSerialPorts] & 0x0F;
    const std::int32_t parallel = b[pid::kParallelPorts] >> 6;
    std::memcpy(b + pid::kDecodedSerial, &serial, sizeof serial);
    std::memcpy(b + pid::kDecodedParallel, &parallel, sizeof parallel);

    int index = 0;
    bool known = false;
    MapModelCode(b + pid::kModelCode, &index, &known);
    if (parallel == 2 && serial == 0) {
      index = 16;
      known = true;
    }
    std::string model;
    if (known) {
      model = TableModelName(index, b);
    } else {
      LookupNewModelName(index, model);
    }
    std::memset(b + pid::kModelText, 0, pid::kModelTextSize);
    std::memcpy(b + pid::kModelText, model.data(),
                std::min<std::size_t>(model.size(), pid::kModelTextSize - 1));

    DecodeCapabilities(b, m_Configuration.dsProtocol);
    std::memcpy(out->data, b, pid::kSize);
    return 0;
  });
}

int CPrintServerUtility::mGetDevicePID(const std::string& name, DevicePIDData* out) {
  if (name.empty() || out == nullptr) return -2;
  int length = 0;
  const int rc = SendResp(name, "9007:\n", ReplyBuffer(), length);
  if (rc != 0) return rc;
  return DecodeInto(length, out);
}

int CPrintServerUtility::mGetDevicePID(const DeviceRecord* record, DevicePIDData* out) {
  if (record == nullptr || out == nullptr) return -2;
  int length = 0;
  const int rc = SendRespToRecord(record, "9007:\n", ReplyBuffer(), length);
  if (rc != 0) return rc;
  return DecodeInto(length, out);
}

int CPrintServerUtility::GetModelName(const DevicePIDData& block, std::string& name) {
  return Guarded([&] {
    const std::uint8_t* b = block.data;
    int index = 0;
    bool known = false;
    MapModelCode(b + pid::kModelCode, &index, &known);
    if (!known) {
      LookupNewModelName(index, name);
      return 0;
    }
    const bool prefixed = std::memcmp(b + pid::kDefaultName, kAlternativePrefix, 2) == 0;
    if (prefixed && index == 4) {
      name = config::ModelDisplayName(kAlternativeLabel4, nullptr, 4);
    } else if (prefixed && index == 21) {
      name = config::ModelDisplayName(kAlternativeLabel21, "wireless", 21);
    } else {
      name = TableModelName(index, b);
    }
    return 0;
  });
}

int CPrintServerUtility::LookupNewModelName(int code, std::string& name) {
  char key[16];
  std::snprintf(key, sizeof key, "%6X", static_cast<unsigned>(code) & 0xFFFFFFu);
  char value[60] = {};
  const int n = static_cast<int>(
      GetPrivateProfileString("NewModel", key, "", value, sizeof value, kWizardSettingsFile));
  if (n > 0) {
    name.assign(value, static_cast<std::size_t>(n));
    return 1;
  }
  name = key;
  return 0;
}

int CPrintServerUtility::mVerifyPassword(const std::string& name, const std::string& password) {
  return VerifyPassword(To(name), password);
}
int CPrintServerUtility::mVerifyPassword(const DeviceRecord* record, const std::string& password) {
  return VerifyPassword(To(record), password);
}
int CPrintServerUtility::VerifyPassword(const Target& to, const std::string& password) {
  return Guarded([&] {
    std::string request;
    if (!to.ok() || !PasswordRequest("9036:", password, request)) return -2;
    int length = 0;
    const int rc = SendTo(to, request, ReplyBuffer(), length);
    std::fill(request.begin(), request.end(), '\0');
    return rc;
  });
}

int CPrintServerUtility::mGetDeviceState(const std::string& name) { return DeviceState(To(name)); }
int CPrintServerUtility::mGetDeviceState(const DeviceRecord* record) {
  return DeviceState(To(record));
}
int CPrintServerUtility::DeviceState(const Target& to) {
  int length = 0;
  const int rc = SendTo(to, "9703:\r\n", ReplyBuffer(), length);
  if (rc != 0) return rc;
  if (length < 1) return -1;
  return static_cast<unsigned char>(ReplyBuffer()[0]);
}

int CPrintServerUtility::ParseExtendedNameReply(const char* reply, int length,
                                                std::uint8_t* block144, std::string& ip) {
  if (reply == nullptr || block144 == nullptr || length < kExtendedInfoSize) return -6;
  std::memcpy(block144, reply, kExtendedInfoSize);
  // The text after the block: "IP:" up to its line end names the box's address.
  constexpr int kTextCapacity = 1023;
  const int textLength = std::min(length - kExtendedInfoSize, kTextCapacity);
  const std::string text = ReplyText(reply + kExtendedInfoSize, textLength);
  const std::size_t at = text.find("IP:");
  if (at != std::string::npos) {
    const std::size_t end = text.find('\n', at);
    if (end != std::string::npos) {
      std::string value(config::TrimBlanks(text.substr(at + 3, end - at - 3)));
      if (!value.empty() && value.back() == '\r') value.pop_back();
      ip = value;
    }
  }
  return 0;
}

int CPrintServerUtility::mGetExtendedNameBlock(const std::string& name, std::uint8_t* block144,
                                               std::string& ip) {
  return ExtendedNameBlock(To(name), block144, ip);
}
int CPrintServerUtility::mGetExtendedNameBlock(const DeviceRecord* record, std::uint8_t* block144,
                                               std::string& ip) {
  return ExtendedNameBlock(To(record), block144, ip);
}
int CPrintServerUtility::ExtendedNameBlock(const Target& to, std::uint8_t* block144,
                                           std::string& ip) {
  return Guarded([&] {
    if (!to.ok() || block144 == nullptr) return -2;
    std::vector<char> reply(kReplyBufferSize, '\0');
    int length = 0;
    const int rc = SendTo(to, "9701:\n", reply.data(), length);
    if (rc != 0) return rc;
    return ParseExtendedNameReply(reply.data(), length, block144, ip);
  });
}

int CPrintServerUtility::mGetDeviceNameInformation(const std::string& name, std::string* out4) {
  return NameInformation(To(name), out4);
}
int CPrintServerUtility::mGetDeviceNameInformation(const DeviceRecord* record, std::string* out4) {
  return NameInformation(To(record), out4);
}
int CPrintServerUtility::NameInformation(const Target& to, std::string* out4) {
  return Guarded([&] {
    if (!to.ok() || out4 == nullptr) return -2;
    const int state = DeviceState(to);
    std::uint8_t block[kExtendedInfoSize] = {};
    std::string ip;
    if (ExtendedNameBlock(to, block, ip) == 0) {
      const char* text = reinterpret_cast<const char*>(block) + wire::kExtendedInfoNameOffset;
      out4[0].assign(text, strnlen(text, kExtendedInfoSize - wire::kExtendedInfoNameOffset));
      out4[1] = "TRUE";
    } else {
      DevicePIDData info;
      if (OnTarget(to, [&](const auto& t) { return mGetDevicePID(t, &info); }) != 0) return -1;
      const char* pidName = reinterpret_cast<const char*>(info.data) + pid::kDeviceName;
      std::string shortName(pidName, strnlen(pidName, pid::kNameSize));
      std::uint8_t extended[kExtendedInfoSize] = {};
      if ((info.data[pid::kFunctionId + 1] & pid::kFuncExtendedName) != 0 &&
          OnTarget(to, [&](const auto& t) {
            return mGetDeviceExtendedInformation(t, extended);
          }) == 0) {
        const char* text = reinterpret_cast<const char*>(extended) + wire::kExtendedInfoNameOffset;
        out4[0].assign(text, strnlen(text, kExtendedInfoSize - wire::kExtendedInfoNameOffset));
        out4[1] = "TRUE";
      } else {
        // No extended block (or it could not be read): the name of the information block.
        out4[0] = shortName;
        out4[1] = "FALSE";
      }
    }
    if (state == -1) {
      out4[2] = "FALSE";
      out4[3] = "TRUE";
    } else if (state == 0) {
      out4[2] = "TRUE";
      out4[3] = "FALSE";
    } else if (state == 1) {
      out4[2] = "TRUE";
      out4[3] = "TRUE";
    }
    return 0;
  });
}

int CPrintServerUtility::mProbeExtendedCommand(const std::string& name) {
  return ProbeWith(To(name), "9704:\r\n", 1);
}
int CPrintServerUtility::mProbeExtendedCommand(const DeviceRecord* record) {
  return ProbeWith(To(record), "9704:\r\n", 1);
}
int CPrintServerUtility::mProbeDevice(const std::string& name) {
  return ProbeWith(To(name), "9700:\n", 0);
}
int CPrintServerUtility::mProbeDevice(const DeviceRecord* record) {
  return ProbeWith(To(record), "9700:\n", 0);
}
int CPrintServerUtility::ProbeWith(const Target& to, const char* request, int answered) {
  int length = 0;
  const int rc = SendTo(to, request, ReplyBuffer(), length);
  if (rc != 0) return rc;
  return length > 0 ? answered : -1;
}

int CPrintServerUtility::ParseDeviceIPAddress(const char* reply, int length, std::string& ip) {
  if (reply == nullptr) return -1;
  const std::string text = ReplyText(reply, length);
  static constexpr char kLabel[] = "IP Address: ";
  const std::size_t at = text.find(kLabel);
  if (at == std::string::npos) return -1;  // a box that reports no address
  const std::size_t from = at + sizeof kLabel - 1;
  std::size_t end = text.find_first_of("\r\n", from);
  if (end == std::string::npos) end = text.size();
  ip = text.substr(from, end - from);
  return 0;
}

int CPrintServerUtility::mGetDeviceIPAddress(const std::string& name, std::string& ip) {
  return DeviceIPAddress(To(name), ip);
}
int CPrintServerUtility::mGetDeviceIPAddress(const DeviceRecord* record, std::string& ip) {
  return DeviceIPAddress(To(record), ip);
}
int CPrintServerUtility::DeviceIPAddress(const Target& to, std::string& ip) {
  return Guarded([&] {
    int length = 0;
    const int rc = SendTo(to, "9010:\r\n", ReplyBuffer(), length);
    if (rc != 0) return rc;
    return ParseDeviceIPAddress(ReplyBuffer(), length, ip);
  });
}

// ---- Model index and port layout -------------------------------------------------------------

int CPrintServerUtility::MapModelCode(const std::uint8_t* code, int* index, bool* known) {
  if (code == nullptr || index == nullptr) return -2;
  for (const NewerModel& m : kNewerModels) {
    if (m.b4 == code[0] && m.b5 == code[1] && m.b6 == code[2]) {
      *index = m.index;
      if (known != nullptr) *known = true;
      return 0;
    }
  }
  // The console's table gives the raw code (byte 0 lowest) for a code it does not know; no code
  // of the table has its own index as raw value, so a result other than the raw code is a model.
  const int raw = static_cast<int>(code[0]) | (static_cast<int>(code[1]) << 8) |
                  (static_cast<int>(code[2]) << 16);
  *index = ModelIndexFromCode(code[0], code[1], code[2]);
  if (known != nullptr) *known = *index != raw;
  return 0;
}

int CPrintServerUtility::MapModelCodeStrict(const std::uint8_t* code) {
  if (code == nullptr) return -1;
  if (code[0] == 0x00 && (code[1] == 0x97 || code[1] == 0x98) && code[2] == 0x00) return 11;
  int index = -1;
  bool known = false;
  MapModelCode(code, &index, &known);
  return known ? index : -1;
}

int CPrintServerUtility::mGetDeviceModelIndex(const std::string& name, int* out) {
  if (name.empty() || out == nullptr) return -2;
  const int rc = SelectDevice(name);
  if (rc != 0) return rc;
  *out = MapModelCodeStrict(m_Configuration.dsDevicePID.data + pid::kModelCode);
  return 0;
}

int CPrintServerUtility::mGetDeviceModelIndex(const DeviceRecord* record, int* out) {
  // The record form reports a missing argument as a plain failure and keeps an unknown code raw.
  if (record == nullptr || out == nullptr) return -1;
  const int rc = SelectDeviceRecord(record);
  if (rc != 0) return rc;
  return MapModelCode(m_Configuration.dsDevicePID.data + pid::kModelCode, out);
}

int CPrintServerUtility::mGetDevicePortType(const std::string& name, int* iModelType) {
  if (name.empty() || iModelType == nullptr) return -2;
  return CachedPortType(iModelType);
}

int CPrintServerUtility::mGetDevicePortType(const DeviceRecord* record, int* iModelType) {
  if (record == nullptr || iModelType == nullptr) return -2;
  return CachedPortType(iModelType);
}

int CPrintServerUtility::CachedPortType(int* iModelType) const {
  const std::uint8_t* b = m_Configuration.dsDevicePID.data;
  int type = 0;
  bool known = false;
  MapModelCode(b + pid::kModelCode, &type, &known);
  const int e = b[pid::kParallelPorts] >> 6;
  const int c = b[pid::kUsbPorts] >> 6;
  const int n = b[pid::kSerialPorts] & 0x0F;
  if (e == 2 && n == 0) {
    type = 16;
    known = true;
  }
  // A known model keeps its index; an unknown code is classified by its port layout.
  if (!known || type > 23) {
    if (c == 1) type = 24;
    if (n != 0) {
      if (e == 2 && n == 1) type = 5;
      if (e == 3 && n == 1) type = 3;
    } else if (e == 1) {
      type = 23;
    } else if (e == 2) {
      type = 16;
    } else if (e == 3) {
      type = 4;
    }
  }
  *iModelType = type;
  return 0;
}

void CPrintServerUtility::ClearDevicePID() {
  std::uint8_t* b = m_Configuration.dsDevicePID.data;
  std::memset(b, 0, pid::kModelText);
  std::memset(b + pid::kDecodedParallel, 0, pid::kSize - pid::kDecodedParallel);
}

int CPrintServerUtility::SplitConfigurationText(const char* text, int maxLength,
                                                std::list<std::string>& lines) {
  if (text == nullptr || maxLength < 1 || text[0] == '\0') return -2;
  return Guarded([&] {
    std::string line;
    for (int i = 0; i < maxLength; ++i) {
      const char c = text[i];
      if (c == '\0') return -1;
      if (c == '\n') {
        if (!line.empty()) lines.push_back(line);
        line.clear();
      } else if (c != '\r') {
        line += c;
      }
    }
    return 0;
  });
}

bool CPrintServerUtility::GetLocalHostAddress(std::string& hostName, std::string& address) {
  char host[256] = {};
  if (::gethostname(host, sizeof host - 1) != 0) return false;
  addrinfo hints{};
  hints.ai_family = AF_INET;
  addrinfo* found = nullptr;
  if (::getaddrinfo(host, nullptr, &hints, &found) != 0 || found == nullptr) return false;
  char text[INET_ADDRSTRLEN] = {};
  const auto* in = reinterpret_cast<const sockaddr_in*>(found->ai_addr);
  const bool ok = ::inet_ntop(AF_INET, &in->sin_addr, text, sizeof text) != nullptr;
  ::freeaddrinfo(found);
  if (!ok) return false;
  hostName = host;
  address = text;
  return true;
}

// ---- Commands --------------------------------------------------------------------------------

int CPrintServerUtility::mResetDevice(const std::string& name) {
  return RestartAndReload(name, kResetWaitMs, std::string(), std::string());
}

int CPrintServerUtility::mResetDevice(const DeviceRecord* record) {
  return RestartWith(record, "9002:\n");
}
int CPrintServerUtility::mSendCommand9030(const DeviceRecord* record) {
  return RestartWith(record, "9030:\n");
}
int CPrintServerUtility::RestartWith(const DeviceRecord* record, const char* request) {
  if (record == nullptr) return -2;
  int rc = SelectDeviceRecord(record);
  if (rc != 0) return rc;
  int length = 0;
  rc = SendRespToRecord(record, request, ReplyBuffer(), length);
  if (rc == 0) platform::GetClock().SleepMs(kResetWaitMs);
  return rc;
}

int CPrintServerUtility::ResetTarget(const Target& to) {
  return OnTarget(to, [&](const auto& t) { return mResetDevice(t); });
}

int CPrintServerUtility::mGetDeviceInformation(const DeviceRecord* record, std::string& text) {
  return TextAfterSelect(record, "9010:\n", text);  // by record the text is not cut
}

int CPrintServerUtility::mGetPrinterStatus(const DeviceRecord* record, std::string& text) {
  return TextAfterSelect(record, "9020: \n", text);
}

int CPrintServerUtility::TextAfterSelect(const DeviceRecord* record, const char* request,
                                         std::string& text) {
  if (record == nullptr) return -2;
  int rc = SelectDeviceRecord(record);
  if (rc != 0) return rc;
  int length = 0;
  rc = SendRespToRecord(record, request, ReplyBuffer(), length);
  if (rc != 0) return rc;
  return Guarded([&] {
    text = ReplyText(ReplyBuffer(), length);
    return 0;
  });
}

int CPrintServerUtility::mPrintTestPage(const DeviceRecord* record, int iPort) {
  if (iPort < 0) return -2;
  int length = 0;
  return SendRespToRecord(record, TestPageRequest(iPort), ReplyBuffer(), length);
}

int CPrintServerUtility::mGetDeviceExtendedInformation(const DeviceRecord* record,
                                                       unsigned char* out144) {
  if (record == nullptr || out144 == nullptr) return -2;
  int length = 0;
  const int rc = SendRespToRecord(record, "9037:\n", ReplyBuffer(), length);
  if (rc != 0) return rc;
  std::memcpy(out144, ReplyBuffer(), kExtendedInfoSize);
  return 0;
}

int CPrintServerUtility::mSendCommand9030(const std::string& name) {
  if (name.empty()) return -2;
  int length = 0;
  const int rc = SendResp(name, "9030:\n", ReplyBuffer(), length);
  if (rc != 0) return rc;
  platform::GetClock().SleepMs(kResetWaitMs);
  return ReloadConfiguration(name);
}

int CPrintServerUtility::mRestoreFactoryDefault(const std::string& name) {
  if (name.empty()) return -1;
  int length = 0;
  SendResp(name, "9006:\n", ReplyBuffer(), length);  // the restart reports any failure
  m_szLastDeviceName.clear();
  const int rc = mResetDevice(name);
  if (rc != 0) return rc;
  return SelectDevice(name);
}

int CPrintServerUtility::mRestoreFactoryDefault(const DeviceRecord* record) {
  if (record == nullptr) return -2;
  int length = 0;
  const int rc = SendRespToRecord(record, "9006:\n", ReplyBuffer(), length);
  m_szLastDeviceName.clear();
  mResetDevice(record);  // the "9006:" send's result is the one reported
  return rc;
}

int CPrintServerUtility::mScanAllFileServer(std::list<std::string>& names) {
  return ScanSapNames(SAP_QUERY_FILE_SERVER, names, true);
}

int CPrintServerUtility::mScanNDSTree(std::list<std::string>& names) {
  return ScanSapNames(SAP_QUERY_NDS_TREE, names, true);
}

int CPrintServerUtility::mSetIPAddress(const std::string& name, std::string ip,
                                       const std::string& gateway, const std::string& mask) {
  if (ip.empty()) return -2;
  ip = std::string(config::TrimBlanks(ip));
  const auto fits = [](const std::string& s) { return !s.empty() && s.size() <= 15; };
  if (name.empty() || !fits(ip) || ip == "0.0.0.0" || !fits(gateway) || !fits(mask)) return -2;
  const int rc = SetDeviceIPByMac(name.c_str(), mask.c_str(), gateway.c_str(), ip.c_str());
  m_szLastDeviceName.clear();
  return rc == 1 ? 0 : -1;
}

int CPrintServerUtility::mSetIPAddress(const DeviceRecord* record, std::string ip,
                                       const std::string& gateway, const std::string& mask) {
  if (record == nullptr) return -2;
  const std::string name(record->szName, strnlen(record->szName, sizeof record->szName));
  return mSetIPAddress(name, std::move(ip), gateway, mask);
}

int CPrintServerUtility::RestartAndReload(const std::string& name, std::int64_t waitMs,
                                          const std::string& nbName, const std::string& ip) {
  return Guarded([&] {
    if (name.empty()) return -2;
    int length = 0;
    const int rc = SendResp(name, "9002:\n", ReplyBuffer(), length);
    if (rc != 0) return rc;
    platform::GetClock().SleepMs(waitMs);
    // The NetBIOS name is at most 19 characters in the record, the address text 16.
    const std::string nb = nbName.substr(0, 19);
    const std::string address = ip.substr(0, 16);
    if (!nb.empty() || !address.empty()) {
      UpdateDeviceAddress(name.c_str(), nb.empty() ? nullptr : nb.c_str(),
                          address.empty() ? nullptr : address.c_str());
    }
    return ReloadConfiguration(name);
  });
}

int CPrintServerUtility::ApplySettingsToRecord(const DeviceRecord* record,
                                               const std::string& newName, std::uint8_t sameName,
                                               const std::string& newAddress) {
  return Guarded([&] {
    if (record == nullptr) return -2;
    int rc = SelectDeviceRecord(record);
    if (rc != 0) return rc;
    int length = 0;
    rc = SendRespToRecord(record, "9002:\n", ReplyBuffer(), length);
    if (rc != 0) return rc;
    platform::GetClock().SleepMs(500);
    const std::string name(record->szName, strnlen(record->szName, sizeof record->szName));
    // With the same name the record is left as it is: it already reaches the box.
    const std::string nb = sameName == 0 ? newName.substr(0, 19) : std::string();
    const std::string address = newAddress.substr(0, 16);
    if (!nb.empty() || !address.empty()) {
      UpdateDeviceAddress(name.c_str(), nb.empty() ? nullptr : nb.c_str(),
                          address.empty() ? nullptr : address.c_str());
    }
    return ReloadConfiguration(name);
  });
}

int CPrintServerUtility::ApplySettings(const std::string& name, const std::string& newName,
                                       int sameName, const std::string& newAddress) {
  constexpr std::int64_t kApplyWaitMs = 800;
  return RestartAndReload(name, kApplyWaitMs, sameName == 0 ? newName : std::string(), newAddress);
}

int CPrintServerUtility::ApplyTo(const Target& to, const std::string& newName, int sameName,
                                 const std::string& newAddress) {
  if (to.record != nullptr) {
    return ApplySettingsToRecord(to.record, newName, sameName != 0 ? 1 : 0, newAddress);
  }
  return ApplySettings(to.name != nullptr ? *to.name : std::string(), newName, sameName,
                       newAddress);
}

}  // namespace wizard

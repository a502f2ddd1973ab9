// The commands of the 9000 series, the device-information block and the model tables.
#include <arpa/inet.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "device_client/access/access.h"
#include "device_client/api/print_server_utility.h"
#include "device_client/device_lists/device_lists.h"
#include "device_client/live_discovery/live_discovery.h"
#include "device_client/core/config/config_builder.h"
#include "device_client/core/config/config_parser.h"
#include "device_client/core/config/model_capabilities.h"
#include "device_client/core/config/password_scramble.h"
#include "device_client/core/wire_layout.h"
#include "platform/ascii.h"
#include "platform/clock.h"
#include "platform/profile.h"

namespace pid = wire::pid;

namespace {

constexpr std::int64_t kResetWaitMs = 5000;
constexpr std::int64_t kApplyWaitMs = 4000;
constexpr std::int64_t kSlowModelExtraWaitMs = 2000;

struct ModelCode {
  std::uint8_t b4, b5, b6;
  int index;
};

constexpr ModelCode kModelCodes[] = {
    {0x00, 0x54, 0x10, 0},  {0x00, 0x55, 0x10, 1},  {0x00, 0x14, 0x00, 2},
    {0x01, 0x02, 0x00, 3},  {0x01, 0x71, 0x00, 4},  {0x06, 0x41, 0x00, 4},
    {0x00, 0x12, 0x30, 5},  {0x00, 0x54, 0x00, 6},  {0x00, 0x55, 0x00, 7},
    {0x00, 0x13, 0x00, 8},  {0x00, 0x81, 0x00, 9},  {0x00, 0x22, 0x30, 10},
    {0x02, 0x71, 0x00, 11}, {0x06, 0x20, 0x10, 11}, {0x00, 0x96, 0x00, 22},
    {0x02, 0x50, 0x10, 12}, {0x02, 0x40, 0x10, 13}, {0x01, 0x81, 0x00, 14},
    {0x06, 0x31, 0x00, 16}, {0x05, 0x90, 0x01, 15}, {0x49, 0x00, 0x73, 17},
    {0x49, 0x00, 0x70, 18}, {0x49, 0x00, 0x91, 4},  {0x49, 0x00, 0x92, 11},
    {0x49, 0x99, 0x73, 19}, {0x4F, 0x00, 0x0D, 20}, {0x00, 0x87, 0x00, 21},
    {0x00, 0xB6, 0x00, 21}, {0x00, 0xB5, 0x00, 4},  {0x00, 0x97, 0x00, 23},
};

constexpr const char* kFallbackModelName = "Print Server";

// The model indexes 0..23: the label and the feature word of each display name (its port text
// comes from the capability table); a null label: the fallback text.
struct ModelLabel {
  const char* label;
  const char* feature;
};
constexpr ModelLabel kModelLabels[24] = {
    {"PS-1100", nullptr},          // 0
    {"PS-1300", nullptr},          // 1
    {nullptr, nullptr},            // 2
    {"PS-3110", nullptr},          // 3
    {"PS-3100", nullptr},          // 4
    {"PS-2110", nullptr},          // 5
    {"PS-1101", nullptr},          // 6
    {"PS-1301", nullptr},          // 7
    {"PS-1120", nullptr},          // 8
    {"PS-1800", nullptr},          // 9
    {"PS-2120", nullptr},          // 10
    {"PS-3200", "fast"},           // 11
    {"PS-3500", nullptr},          // 12
    {nullptr, nullptr},            // 13
    {"PS-1810", nullptr},          // 14
    {"PS-5100", "wireless"},       // 15
    {"PS-2100", nullptr},          // 16
    {"PS-4100", "pocket"},         // 17
    {"PS-4110", "pocket"},         // 18
    {"PS-4300", "pocket"},         // 19
    {"PS-6100", "multifunction"},  // 20
    {"PS-5200", "wireless"},       // 21
    {"PS-2800", nullptr},          // 22
    {"PS-1000", "compact"},        // 23
};

// Reply length bounded by the buffer, for texts read "to their first NUL".
std::string TextToNul(const char* data, int length) {
  if (data == nullptr || length <= 0) return {};
  const int n = std::min(length, CPrintServerUtility::kReplyBufferSize);
  return std::string(data, strnlen(data, static_cast<std::size_t>(n)));
}

bool IsDottedIPv4(const std::string& text) {
  in_addr a{};
  return inet_pton(AF_INET, text.c_str(), &a) == 1;
}

}  // namespace

// ---- Model tables -------------------------------------------------------------------------

int CPrintServerUtility::ModelIndexFromCode(std::uint8_t b4, std::uint8_t b5, std::uint8_t b6) {
  for (const ModelCode& m : kModelCodes) {
    if (m.b4 == b4 && m.b5 == b5 && m.b6 == b6) return m.index;
  }
  return static_cast<int>(b4) | (static_cast<int>(b5) << 8) | (static_cast<int>(b6) << 16);
}

std::string CPrintServerUtility::ModelName(int indexOrCode) {
  if (indexOrCode < 0) return kFallbackModelName;
  if (indexOrCode > kMaxModelIndex) {
    std::string text;
    LookupNewModelName(indexOrCode, text);
    return text;
  }
  const ModelLabel& m = kModelLabels[indexOrCode];
  if (m.label == nullptr) return kFallbackModelName;
  return config::ModelDisplayName(m.label, m.feature, indexOrCode);
}

std::string CPrintServerUtility::BrowseModelName(int indexOrCode) {
  if (indexOrCode > 21) {
    std::string text;
    LookupNewModelName(indexOrCode, text);
    return text;
  }
  // The browse list counts the ports of index 16 instead of naming them.
  if (indexOrCode == 16) {
    return std::string(kModelLabels[16].label) + " (" + config::ModelPortCountText(16) + ")";
  }
  return ModelName(indexOrCode);
}

int CPrintServerUtility::LookupNewModelName(int code, std::string& text) {
  char key[16];
  std::snprintf(key, sizeof key, "%6X", static_cast<unsigned>(code) & 0xFFFFFFu);
  char value[61] = {};
  const DWORD n = GetPrivateProfileString("NewModel", key, "", value, sizeof value, "common.ini");
  if (n > 0 && value[0] != '\0') {
    text = value;
    return 1;
  }
  text = key;
  return 0;
}

int CPrintServerUtility::RefinedPortType(const config::DevicePIDData& block) {
  const unsigned char* b = block.data;
  int type = ModelIndexFromCode(b[pid::kModelCode], b[pid::kModelCode + 1], b[pid::kModelCode + 2]);
  const int n = b[pid::kSerialPorts] & 0x0F;
  const int t = b[pid::kParallelPorts] >> 6;
  if (t == 2 && n == 0) type = 16;
  if (type > kMaxModelIndex) {
    if (n != 0) {
      if (t == 2 && n == 1) type = 5;
      else if (t == 3 && n == 1) type = 3;
    } else {
      if (t == 1) type = 23;
      else if (t == 2) type = 16;
      else if (t == 3) type = 4;
    }
  }
  return type;
}

std::string CPrintServerUtility::TrimInformationText(const char* reply, int length) {
  if (reply == nullptr || length <= 0) return {};
  const auto* b = reinterpret_cast<const unsigned char*>(reply);
  int last = length - 1;
  // Bytes from 128 up count as control bytes, like those below 32.
  while (last > 0 && !(b[last] > 31 && b[last] < 128)) --last;
  const std::size_t n = static_cast<std::size_t>(last) + 1;
  return std::string(reply, strnlen(reply, n));
}

void CPrintServerUtility::DecodeCapabilities(const unsigned char* b, config::ProtocolData& p) {
  const unsigned char caps42 = b[pid::kProtocolId];
  const unsigned char caps43 = b[pid::kProtocolId + 1];
  p.bWirelessDevice = (caps42 & pid::kCapWireless) ? 1 : 0;
  p.bIPXSPXProtocol = (caps43 & pid::kCapIpxSpx) ? 1 : 0;
  p.bTCPIPProtocol = (caps43 & pid::kCapTcpIp) ? 1 : 0;
  p.bAPPLETALKProtocol = (caps43 & pid::kCapAppleTalk) ? 1 : 0;
  p.bNetBEUIProtocol = (caps43 & pid::kCapNetBeui) ? 1 : 0;
  p.bSNMPProtocol = (caps43 & pid::kCapSnmp) ? 1 : 0;
  p.bInternetMailProtocol = (caps43 & pid::kCapInternetMail) ? 1 : 0;
}

// ---- Device information -------------------------------------------------------------------

int CPrintServerUtility::DecodeDevicePID(const char* reply, int length,
                                         config::DevicePIDData* out) {
  if (reply == nullptr || length < 1 || out == nullptr) return -2;
  return Guarded([&] {
    // Work on a copy of exactly one block: a short reply reads as zeros beyond its end, and the
    // fields the client writes never land outside the caller's data.
    unsigned char b[pid::kSize] = {};
    std::memcpy(b, reply, static_cast<std::size_t>(std::min(length, pid::kSize)));
    const std::int32_t serial = b[pid::kSerialPorts] & 0x0F;
    const std::int32_t parallel = b[pid::kParallelPorts] >> 6;
    std::memcpy(b + pid::kDecodedSerial, &serial, sizeof serial);
    std::memcpy(b + pid::kDecodedParallel, &parallel, sizeof parallel);

    const int index =
        ModelIndexFromCode(b[pid::kModelCode], b[pid::kModelCode + 1], b[pid::kModelCode + 2]);
    const std::string model = ModelName(index);
    std::memset(b + pid::kModelText, 0, pid::kModelTextSize);
    std::memcpy(b + pid::kModelText, model.data(),
                std::min<std::size_t>(model.size(), pid::kModelTextSize - 1));

    const unsigned char caps42 = b[pid::kProtocolId];
    const unsigned char caps43 = b[pid::kProtocolId + 1];
    DecodeCapabilities(b, m_Configuration.dsProtocol);

    std::memcpy(out->data, b, pid::kSize);
    return (caps42 == 0 && caps43 == 0) ? -7 : 0;
  });
}

int CPrintServerUtility::mGetDevicePID(const std::string& name, config::DevicePIDData* out) {
  return Guarded([&] {
    if (name.empty() || out == nullptr) return -2;
    int length = 0;
    const int rc = SendResp(name, "9007:\n", ReplyBuffer(), length);
    if (rc != 0) return rc;
    return DecodeDevicePID(ReplyBuffer(), length, out);
  });
}

int CPrintServerUtility::mGetDeviceExtendedInformation(const std::string& name,
                                                       unsigned char* out144) {
  return Guarded([&] {
    if (name.empty() || out144 == nullptr) return -2;
    int length = 0;
    const int rc = SendResp(name, "9037:\n", ReplyBuffer(), length);
    if (rc != 0) return rc;
    std::memcpy(out144, ReplyBuffer(), kExtendedInfoSize);
    return 0;
  });
}

int CPrintServerUtility::SendAfterSelect(const std::string& name, const char* request,
                                         int& replyLength) {
  const int rc = SelectDevice(name);
  if (rc != 0) return rc;
  replyLength = 0;
  return SendResp(name, request, ReplyBuffer(), replyLength);
}

int CPrintServerUtility::mGetDeviceInformation(const std::string& name, std::string& text) {
  int length = 0;
  const int rc = SendAfterSelect(name, "9010:\n", length);
  if (rc != 0) return rc;
  return Guarded([&] {
    if (length <= 0) {
      text.clear();
      return -1;
    }
    text = TrimInformationText(ReplyBuffer(), length);
    return 0;
  });
}

int CPrintServerUtility::mGetPrinterStatus(const std::string& name, std::string& text) {
  int length = 0;
  const int rc = SendAfterSelect(name, "9020: \n", length);
  if (rc != 0) return rc;
  return Guarded([&] {
    text = TextToNul(ReplyBuffer(), length);
    return 0;
  });
}

const char* CPrintServerUtility::TestPageRequest(int iPort) {
  switch (iPort) {
    case 1: return "9011:\n";
    case 2: return "9012:\n";
    case 3: return "9014:\n";
    case 101: return "9013:\n";
    default: return "";  // the empty request is refused by SendResp (-2, logged)
  }
}

int CPrintServerUtility::mPrintTestPage(const std::string& name, int iPort) {
  return Guarded([&] {
    if (iPort < 0) return -2;
    int length = 0;
    return SendResp(name, TestPageRequest(iPort), ReplyBuffer(), length);
  });
}

// ---- Configuration ------------------------------------------------------------------------

int CPrintServerUtility::mReadDeviceConfiguration(const std::string& name,
                                                  config::DeviceConfigurationData* record) {
  return Guarded([&] {
    if (name.empty() || record == nullptr) return -2;
    int length = 0;
    int rc = SendResp(name, "9100:\r\n", ReplyBuffer(), length);
    if (rc != 0) return rc;
    rc = Guarded([&] {
      config::LogHook hook;
      if (IsLoggingOn()) hook = [this](const std::string& line) { WriteLog(line); };
      return config::ParseConfiguration(ReplyBuffer(), length, &m_Configuration, hook) == 0 ? 0 : -1;
    });
    if (rc != 0) return rc == -3 ? -3 : -1;
    rc = mGetDevicePID(name, &record->dsDevicePID);
    if (rc != 0) return rc;
    m_szLastDeviceName = name;
    return 0;
  });
}

int CPrintServerUtility::mSetSystemConfiguration(const std::string& name,
                                                 const config::SystemConfigurationData* system) {
  return Guarded([&] {
    if (name.empty() || system == nullptr) return -2;
    std::string text;
    // A name with a line break or another control character would add lines of its own.
    if (config::BuildSystemConfigurationText(*system, text) != config::kBuildOk) return -2;
    int length = 0;
    const int rc = SendResp(name, text, ReplyBuffer(), length);
    m_szLastDeviceName.clear();
    if (rc != 0) return -1;
    const int sameName = system->szDeviceName == m_Configuration.dsSystem.szDeviceName ? 1 : 0;
    return ApplySettings(name, system->szDeviceName, sameName);
  });
}

int CPrintServerUtility::mSetAllConfiguration(const std::string& name,
                                              const config::AllConfigurationData* settings,
                                              unsigned char nameChanged,
                                              const config::ProtocolData& caps) {
  const int result = Guarded([&] {
    if (name.empty() || settings == nullptr) return -2;
    std::string text;
    if (config::BuildAllConfigurationText(*settings, caps, text) != config::kBuildOk) return -2;
    int length = 0;
    const int rc = SendResp(name, text, ReplyBuffer(), length);
    m_szLastDeviceName.clear();
    if (rc != 0) return -1;
    // A fixed address written to a box that is reached over TCP/IP: the box answers there after
    // its restart, so the library's record has to follow or the reload would go nowhere.
    m_szPendingAddress.clear();
    const config::TCPIPConfigurationData& tcp = settings->dsTCPIP;
    if (caps.bTCPIPProtocol != 0 && tcp.bAutoAddress1 == 0 && IsDottedIPv4(tcp.szIPAddress))
      m_szPendingAddress = tcp.szIPAddress;
    return nameChanged != 0 ? ApplySettings(name, settings->dsSystem.szDeviceName, 0)
                            : mResetDevice(name);
  });
  m_szPendingAddress.clear();
  return result;
}

// ---- Restarts -----------------------------------------------------------------------------

void CPrintServerUtility::TakePendingAddress(const std::string& name, const char* newNbName) {
  const std::string ip = m_szPendingAddress;
  m_szPendingAddress.clear();
  UpdateDeviceAddress(name.c_str(), newNbName, ip.empty() ? nullptr : ip.c_str());
}

int CPrintServerUtility::mResetDevice(const std::string& name) {
  return Guarded([&] {
    int length = 0;
    const int rc = SendResp(name, "9002:\n", ReplyBuffer(), length);
    if (rc != 0) return rc;
    TakePendingAddress(name, nullptr);
    platform::GetClock().SleepMs(kResetWaitMs);
    return ReloadConfiguration(name);
  });
}

int CPrintServerUtility::ApplySettings(const std::string& name, const std::string& newName,
                                       int sameName) {
  return Guarded([&] {
    (void)sameName;  // see below
    int length = 0;
    const int rc = SendResp(name, "9002:\n", ReplyBuffer(), length);
    if (rc != 0) return rc;
    // A box reached over NetBIOS answers under its device name: with a new name (sameName 0) that
    // is the new one; otherwise newName is the name it already carries (or, after the factory
    // set, its default name). The record keeps the name the library lists it under.
    TakePendingAddress(name, newName.c_str());
    platform::Clock& clock = platform::GetClock();
    clock.SleepMs(kApplyWaitMs);
    const unsigned char* code = m_Configuration.dsDevicePID.data + pid::kModelCode;
    if (code[0] == 0x00 && code[1] == 0xB5 && code[2] == 0x00) clock.SleepMs(kSlowModelExtraWaitMs);
    if (code[0] == 0x00 && code[1] == 0xB6 && code[2] == 0x00) clock.SleepMs(kSlowModelExtraWaitMs);
    return ReloadConfiguration(name);
  });
}

int CPrintServerUtility::mSetPassword(const std::string& name, const std::string& password) {
  return Guarded([&] {
    if (name.empty()) return -2;
    if (password.size() > static_cast<std::size_t>(config::kMaxPasswordLength) ||
        platform::HasAsciiControl(password)) {
      return -2;
    }
    std::string hex;
    if (config::ScramblePassword(password, hex) != config::kScrambleOk) return -2;
    std::string request = "9005:" + hex + "\n";
    int length = 0;
    const int rc = SendResp(name, request, ReplyBuffer(), length);
    std::fill(request.begin(), request.end(), '\0');
    std::fill(hex.begin(), hex.end(), '\0');
    if (rc != 0) return -1;
    return mResetDevice(name);
  });
}

int CPrintServerUtility::mRestoreFactoryDefault(const std::string& name) {
  return Guarded([&] {
    if (name.empty()) return -1;
    int length = 0;
    SendResp(name, "9006:\n", ReplyBuffer(), length);  // the restart below reports any failure
    m_szLastDeviceName.clear();
    return ApplySettings(name, name, 1);
  });
}

// ---- SAP scans ----------------------------------------------------------------------------

int CPrintServerUtility::ScanSapNames(int type, std::list<std::string>& names, bool fullListFails) {
  constexpr int kSapListCapacity = 128;  // the names the NetWare pages' lists take
  try {
    std::vector<char> area(static_cast<std::size_t>(kSapListCapacity) * SAP_NAME_SIZE, '\0');
    int count = 0;
    const int rc = QuerySAP(type, area.data(), nullptr, &count, kSapListCapacity);
    if (rc != 0 && (rc != ERR_LIST_FULL || fullListFails)) return -1;
    std::list<std::string> found;
    for (int i = 0; i < count && i < kSapListCapacity; ++i) {
      const char* name = area.data() + static_cast<std::ptrdiff_t>(i) * SAP_NAME_SIZE;
      found.emplace_back(name, strnlen(name, SAP_NAME_SIZE));
    }
    names.swap(found);
    return 0;
  } catch (...) {
    return -3;
  }
}

// A network with more servers than the list takes shows the first 128: not a failure here.
int CPrintServerUtility::mScanAllFileServer(std::list<std::string>& names) {
  return ScanSapNames(SAP_QUERY_FILE_SERVER, names, false);
}
int CPrintServerUtility::mScanNDSTree(std::list<std::string>& names) {
  return ScanSapNames(SAP_QUERY_NDS_TREE, names, false);
}

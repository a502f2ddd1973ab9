// The device-API object: construction and teardown, the log, the two send wrappers, the cache and
// the getters. The commands of the 9000 series are in command_set.cpp.
#include "device_client/api/print_server_utility.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <new>

#include "device_client/access/access.h"
#include "device_client/core/config/config_parser.h"
#include "device_client/core/config/password_scramble.h"
#include "platform/clock.h"

namespace {

// Log-line numbers of the two send wrappers: invalid argument, FAIL, network, not found, unknown
// code, out of memory.
constexpr int kSendRespLines[6] = {327, 352, 359, 368, 374, 381};
constexpr int kDirectCommandLines[6] = {10337, 10362, 10369, 10376, 10382, 10389};


}  // namespace

std::string CPrintServerUtility::SourceTagOf(const char* path) {
  std::string name = path != nullptr ? path : "";
  const std::size_t slash = name.find_last_of("/\\");
  if (slash != std::string::npos) name.erase(0, slash + 1);
  for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return name;
}

CPrintServerUtility::CPrintServerUtility() {
  // An allocation failure leaves the buffer null; OpenLog allocates it later.
  m_pReplyBuffer.reset(new (std::nothrow) char[kReplyBufferSize]());
}

CPrintServerUtility::~CPrintServerUtility() {
  m_pReplyBuffer.reset();
  PSExit();
  CloseLog();
}

int CPrintServerUtility::mInitializeLanComponent(int iProtocol, int iTimeOut) {
  OpenLog();
  return StartTransports(iProtocol, iTimeOut);
}

void CPrintServerUtility::mExitLanComponent() {
  StopTransports();
  m_pReplyBuffer.reset();
}

int CPrintServerUtility::StartTransports(int iProtocol, int iTimeOut) {
  return PSInit(iProtocol, iTimeOut);
}

void CPrintServerUtility::StopTransports() { PSExit(); }

const char* CPrintServerUtility::SourceFile() const { return __FILE__; }

bool CPrintServerUtility::Lookup(void* key, void*& value) const {
  const auto it = m_PointerMap.find(key);
  if (it == m_PointerMap.end()) return false;
  value = it->second;
  return true;
}

// ---- Log ----------------------------------------------------------------------------------

void CPrintServerUtility::CloseLog() {
  if (m_pLogFile != nullptr) std::fclose(m_pLogFile);
  m_pLogFile = nullptr;
  m_bLogging = 0;
}

int CPrintServerUtility::OpenLog() {
  try {
    m_szLastDeviceName.clear();
    m_nReplyDirty = 0;
    if (m_pReplyBuffer) {
      std::memset(m_pReplyBuffer.get(), 0, kReplyBufferSize);
    } else {
      m_pReplyBuffer.reset(new (std::nothrow) char[kReplyBufferSize]());
      if (!m_pReplyBuffer) return -3;
    }
    m_szSourceTag = SourceTagOf(SourceFile());
    m_szLogPath = kLogFileName;
    // A second start (the console re-initialises the LAN) reopens the log instead of leaking
    // the first file object.
    CloseLog();
    // "r+" opens an existing file for writing without truncating it and never creates one.
    std::FILE* file = std::fopen(m_szLogPath.c_str(), "r+");
    if (file == nullptr) return errno == ENOENT ? 0 : -1;
    if (std::fseek(file, 0, SEEK_END) != 0) {
      std::fclose(file);
      return -1;
    }
    m_pLogFile = file;
    m_bLogging = 1;
    const std::tm now = platform::LocalTimeNow();
    char banner[96];
    std::snprintf(banner, sizeof banner, "***** Logging starts at %2d:%2d:%2d on %d/%d/%d",
                  now.tm_hour, now.tm_min, now.tm_sec, now.tm_mon + 1, now.tm_mday,
                  now.tm_year + 1900);
    WriteLog(banner);
    return 0;
  } catch (...) {
    CloseLog();
    return -1;
  }
}

int CPrintServerUtility::WriteLog(const std::string& text) {
  if (m_bLogging == 0 || m_pLogFile == nullptr) return 0;
  try {
    std::string line = text;
    line += '\n';
    std::fwrite(line.data(), 1, line.size(), m_pLogFile);
    std::fflush(m_pLogFile);
    return 0;
  } catch (...) {
    return -3;
  }
}

int CPrintServerUtility::WriteLogLine(const char* tag, int number, const char* message) {
  if (m_bLogging == 0 || m_pLogFile == nullptr) return 0;
  if (tag == nullptr || message == nullptr) return -1;
  std::fprintf(m_pLogFile, "%s, %d, %s\n", tag, number, message);
  std::fflush(m_pLogFile);
  return 0;
}

int CPrintServerUtility::LogAtLine(int number, const char* message) {
  return WriteLogLine(m_szSourceTag.empty() ? SourceTagOf(SourceFile()).c_str() : m_szSourceTag.c_str(), number,
                      message);
}

// ---- Send wrappers ------------------------------------------------------------------------

int CPrintServerUtility::TransportSend(const std::string& name, const std::string& request,
                                       char* reply, int* replyLength, int capacity) {
  return PSISendResp(name.c_str(), request.data(), static_cast<int>(request.size()), reply,
                     replyLength, capacity);
}

int CPrintServerUtility::SendWithLines(const std::string& name, const std::string& request,
                                       char* reply, int& replyLength, const int (&lines)[6]) {
  return SendThrough(!name.empty(), request, reply, replyLength, lines,
                     [&](char* out, int* outLength, int capacity) {
                       return TransportSend(name, request, out, outLength, capacity);
                     });
}

int CPrintServerUtility::SendResp(const std::string& name, const std::string& request,
                                  char* reply, int& replyLength) {
  return SendWithLines(name, request, reply, replyLength, kSendRespLines);
}

int CPrintServerUtility::mSendDirectCommand(const std::string& name, const std::string& request,
                                            char* reply, int& replyLength) {
  return SendWithLines(name, request, reply, replyLength, kDirectCommandLines);
}

int CPrintServerUtility::HexEncodeText(const unsigned char* bytes, int capacity,
                                       std::string& out) {
  return Guarded([&] {
    out.clear();
    if (bytes == nullptr || capacity < 1) return -2;
    // The encoding is limited to what a 4096-byte work area holds: 2047 bytes of text.
    const int limit = std::min(capacity, 2048);
    return config::HexEncodeText(bytes, limit, out);
  });
}

// ---- Cache --------------------------------------------------------------------------------

void CPrintServerUtility::ClearConfiguration() { config::ClearConfiguration(m_Configuration); }

int CPrintServerUtility::ReloadConfiguration(const std::string& name) {
  return Guarded([&] {
    ClearConfiguration();
    const int rc = mReadDeviceConfiguration(name, &m_Configuration);
    if (rc != 0) {
      m_szLastDeviceName.clear();
      return rc;
    }
    m_szLastDeviceName = name;
    return 0;
  });
}

int CPrintServerUtility::SelectDevice(const std::string& name) { return ReloadConfiguration(name); }

// ---- Getters ------------------------------------------------------------------------------

template <class Out, class Copy>
int CPrintServerUtility::GetAfterSelect(const std::string& name, Out* out, Copy&& copy) {
  if (name.empty() || out == nullptr) return -2;
  const int rc = SelectDevice(name);
  if (rc != 0) return rc;
  return Guarded([&] {
    copy(*out);
    return 0;
  });
}

namespace {

// The getters hand out every keyed field of a record; what has no key (reserved bytes, a port's
// label, szSpare) stays as the caller has it.
void CopyKeyed(const config::SystemConfigurationData& from, config::SystemConfigurationData& to) {
  config::AssignExcept(to, from, &config::SystemConfigurationData::reserved);
}

void CopyKeyed(const config::LogicalPrinterConfigurationData& from,
               config::LogicalPrinterConfigurationData& to) {
  config::AssignExcept(to, from, &config::LogicalPrinterConfigurationData::reserved);
}

void CopyKeyed(const config::PhysicalPortConfigurationData& from,
               config::PhysicalPortConfigurationData& to) {
  config::AssignExcept(to, from, &config::PhysicalPortConfigurationData::szPortLabel,
                       &config::PhysicalPortConfigurationData::reserved);
}

void CopyKeyed(const config::NetwareConfigurationData& from, config::NetwareConfigurationData& to) {
  config::AssignExcept(to, from, &config::NetwareConfigurationData::reserved);
}

void CopyKeyed(const config::TCPIPConfigurationData& from, config::TCPIPConfigurationData& to) {
  config::AssignExcept(to, from, &config::TCPIPConfigurationData::szSpare,
                       &config::TCPIPConfigurationData::reserved);
}

void CopyKeyed(const config::APPLETALKConfigurationData& from,
               config::APPLETALKConfigurationData& to) {
  config::AssignExcept(to, from, &config::APPLETALKConfigurationData::reserved);
}

void CopyKeyed(const config::NetBEUIConfigureData& from, config::NetBEUIConfigureData& to) {
  config::AssignExcept(to, from, &config::NetBEUIConfigureData::reserved);
}

// Every field of the wireless record has a key.
void CopyKeyed(const config::WirelessConfigurationData& from,
               config::WirelessConfigurationData& to) {
  to = from;
}

}  // namespace

int CPrintServerUtility::mGetDeviceProtocol(const std::string& name, config::ProtocolData* out) {
  return GetAfterSelect(name, out, [&](config::ProtocolData& o) { o = m_Configuration.dsProtocol; });
}

int CPrintServerUtility::mGetSystemConfiguration(const std::string& name,
                                                 config::SystemConfigurationData* out) {
  return GetAfterSelect(name, out, [&](config::SystemConfigurationData& o) {
    CopyKeyed(m_Configuration.dsSystem, o);
  });
}

int CPrintServerUtility::mGetLogicalPortConfiguration(
    const std::string& name, int iPort, config::LogicalPrinterConfigurationData* out) {
  // The upper bound is checked too: an index past the eighth printer would read outside the
  // cache.
  if (iPort < 0 || iPort >= config::kLogicalPrinterCount) return -2;
  return GetAfterSelect(name, out, [&](config::LogicalPrinterConfigurationData& o) {
    CopyKeyed(m_Configuration.dsLogicalPrinter[iPort], o);
  });
}

int CPrintServerUtility::mGetPhysicalPortConfiguration(
    const std::string& name, int iPort, config::PhysicalPortConfigurationData* out) {
  if (iPort < 0 || iPort >= config::kPhysicalPortCount) return -2;
  return GetAfterSelect(name, out, [&](config::PhysicalPortConfigurationData& o) {
    CopyKeyed(m_Configuration.dsPhysicalPort[iPort], o);
  });
}

int CPrintServerUtility::mGetNetwareConfiguration(const std::string& name,
                                                  config::NetwareConfigurationData* out) {
  return GetAfterSelect(name, out, [&](config::NetwareConfigurationData& o) {
    CopyKeyed(m_Configuration.dsNetware, o);
  });
}

int CPrintServerUtility::mGetTCPIPConfiguration(const std::string& name,
                                                config::TCPIPConfigurationData* out) {
  return GetAfterSelect(name, out, [&](config::TCPIPConfigurationData& o) {
    CopyKeyed(m_Configuration.dsTCPIP, o);
  });
}

int CPrintServerUtility::mGetAPPLETALKConfiguration(const std::string& name,
                                                    config::APPLETALKConfigurationData* out) {
  return GetAfterSelect(name, out, [&](config::APPLETALKConfigurationData& o) {
    CopyKeyed(m_Configuration.dsAPPLETALK, o);
  });
}

int CPrintServerUtility::mGetNetBEUIConfiguration(const std::string& name,
                                                  config::NetBEUIConfigureData* out) {
  return GetAfterSelect(name, out, [&](config::NetBEUIConfigureData& o) {
    CopyKeyed(m_Configuration.dsNetBEUI, o);
  });
}

int CPrintServerUtility::mGetWirelessConfiguration(const std::string& name,
                                                   config::WirelessConfigurationData* out) {
  return GetAfterSelect(name, out, [&](config::WirelessConfigurationData& o) {
    CopyKeyed(m_Configuration.dsWireless, o);
  });
}

int CPrintServerUtility::mGetAllConfiguration(const std::string& name,
                                              config::AllConfigurationData* out) {
  return GetAfterSelect(name, out, [&](config::AllConfigurationData& o) {
    const config::DeviceConfigurationData& c = m_Configuration;
    CopyKeyed(c.dsSystem, o.dsSystem);
    CopyKeyed(c.dsNetware, o.dsNetware);
    CopyKeyed(c.dsTCPIP, o.dsTCPIP);
    CopyKeyed(c.dsAPPLETALK, o.dsAPPLETALK);
    CopyKeyed(c.dsNetBEUI, o.dsNetBEUI);
    CopyKeyed(c.dsWireless, o.dsWireless);
    for (int i = 0; i < config::kLogicalPrinterCount; ++i)
      CopyKeyed(c.dsLogicalPrinter[i], o.dsLogicalPrinter[i]);
    for (int i = 0; i < config::kPhysicalPortCount; ++i)
      CopyKeyed(c.dsPhysicalPort[i], o.dsPhysicalPort[i]);
  });
}

int CPrintServerUtility::mGetDevicePortType(const std::string& name, int* out) {
  return GetAfterSelect(name, out,
                        [&](int& o) { o = RefinedPortType(m_Configuration.dsDevicePID); });
}

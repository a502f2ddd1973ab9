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

// The upper-cased file name and extension of this source file: the tag of the coded log lines.
std::string SourceTag() {
  std::string path = __FILE__;
  const std::size_t slash = path.find_last_of("/\\");
  if (slash != std::string::npos) path.erase(0, slash + 1);
  for (char& c : path) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return path;
}

}  // namespace

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
  return PSInit(iProtocol, iTimeOut);
}

void CPrintServerUtility::mExitLanComponent() {
  PSExit();
  m_pReplyBuffer.reset();
}

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
    if (m_pReplyBuffer) {
      std::memset(m_pReplyBuffer.get(), 0, kReplyBufferSize);
    } else {
      m_pReplyBuffer.reset(new (std::nothrow) char[kReplyBufferSize]());
      if (!m_pReplyBuffer) return -3;
    }
    m_szSourceTag = SourceTag();
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
  return WriteLogLine(m_szSourceTag.empty() ? SourceTag().c_str() : m_szSourceTag.c_str(), number,
                      message);
}

// ---- Send wrappers ------------------------------------------------------------------------

int CPrintServerUtility::SendWithLines(const std::string& name, const std::string& request,
                                       char* reply, int& replyLength, const int (&lines)[6]) {
  if (name.empty() || request.empty() || reply == nullptr || !m_pReplyBuffer) {
    LogAtLine(lines[0], "Invalid argument");
    return -2;
  }
  try {
    replyLength = 0;
    std::memset(m_pReplyBuffer.get(), 0, kReplyBufferSize);
    const int rc = PSISendResp(name.c_str(), request.data(), static_cast<int>(request.size()),
                               reply, &replyLength, kReplyBufferSize);
    switch (rc) {
      case 0:
        return 0;
      case FAIL:
        LogAtLine(lines[1], "PSISendResp() returned FAIL");
        return -1;
      case ERR_NETWORK:
        LogAtLine(lines[2], "PSISendResp() returned ERR_NETWORK");
        return -5;
      case ERR_DEVICE_NOTFOUND:
        LogAtLine(lines[3], "PSISendResp() returned ERR_DEVICE_NOTFOUND");
        return -4;
      default:
        LogAtLine(lines[4], "PSISendResp() returned unknown error code");
        return -1;
    }
  } catch (...) {
    LogAtLine(lines[5], "System runs out of memory");
    return -3;
  }
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

void CopySystem(const config::SystemConfigurationData& from, config::SystemConfigurationData& to) {
  to.szDeviceName = from.szDeviceName;
  to.bIPXSPXProtocol = from.bIPXSPXProtocol;
  to.bTCPIPProtocol = from.bTCPIPProtocol;
  to.bAPPLETALKProtocol = from.bAPPLETALKProtocol;
  to.bNetBEUIProtocol = from.bNetBEUIProtocol;
  to.bFifthProtocol = from.bFifthProtocol;
}

void CopyLogical(const config::LogicalPrinterConfigurationData& from,
                 config::LogicalPrinterConfigurationData& to) {
  to.szPhysicalPort = from.szPhysicalPort;
  to.szStringBeforeJob = from.szStringBeforeJob;
  to.szStringAfterJob = from.szStringAfterJob;
  to.bConvertLFToLFCR = from.bConvertLFToLFCR;
}

// The port label has no key and stays as the caller has it.
void CopyPhysical(const config::PhysicalPortConfigurationData& from,
                  config::PhysicalPortConfigurationData& to) {
  to.szPortName = from.szPortName;
  to.iHandshake = from.iHandshake;
  to.bEnable = from.bEnable;
}

void CopyNetware(const config::NetwareConfigurationData& from,
                 config::NetwareConfigurationData& to) {
  to.bFrameTypeEthernetII = from.bFrameTypeEthernetII;
  to.bFrameType8022 = from.bFrameType8022;
  to.bFrameType8023 = from.bFrameType8023;
  to.bFrameType8022Snap = from.bFrameType8022Snap;
  to.bFrameTypeTokenring = from.bFrameTypeTokenring;
  to.bFrameTypeTokenringSnap = from.bFrameTypeTokenringSnap;
  to.szOperationMode = from.szOperationMode;
  to.szMasterFileServerName = from.szMasterFileServerName;
  to.szP1RemotePrinter = from.szP1RemotePrinter;
  to.szP2RemotePrinter = from.szP2RemotePrinter;
  to.szP3RemotePrinter = from.szP3RemotePrinter;
  to.szSPRemotePrinter = from.szSPRemotePrinter;
  to.szNDSTreeName = from.szNDSTreeName;
  to.szNDSContextName = from.szNDSContextName;
  to.iQueuePollingInterval = from.iQueuePollingInterval;
  to.bJobNotify = from.bJobNotify;
  to.szPrintServerName = from.szPrintServerName;
  to.szDeviceName = from.szDeviceName;
}

// Every keyed field; szSpare has no key and stays as the caller has it.
void CopyTcpip(const config::TCPIPConfigurationData& from, config::TCPIPConfigurationData& to) {
  to.szIPAddress = from.szIPAddress;
  to.szGatewayAddress = from.szGatewayAddress;
  to.szSubNetworkMaskAddress = from.szSubNetworkMaskAddress;
  to.bAutoAddress1 = from.bAutoAddress1;
  to.bAutoAddress2 = from.bAutoAddress2;
  to.bAutoAddress3 = from.bAutoAddress3;
  to.iTCPIntervalSessionRetry = from.iTCPIntervalSessionRetry;
  to.iTCPCountSessionRetry = from.iTCPCountSessionRetry;
  to.szMailServerIPAddress = from.szMailServerIPAddress;
  to.szMailAccount = from.szMailAccount;
  to.szPassword = from.szPassword;
  to.szCheckMailInterval = from.szCheckMailInterval;
  to.szRedirectMailAccount = from.szRedirectMailAccount;
  to.szDefaultPrinterNumber = from.szDefaultPrinterNumber;
  to.bPrintEveryEmail = from.bPrintEveryEmail;
  to.bActivateResponseMail = from.bActivateResponseMail;
  to.bBannerPrinting = from.bBannerPrinting;
  to.szPrinterModelString = from.szPrinterModelString;
}

void CopyAppleTalk(const config::APPLETALKConfigurationData& from,
                   config::APPLETALKConfigurationData& to) {
  to.szZoneName = from.szZoneName;
  to.szP1PrinterType = from.szP1PrinterType;
  to.szP2PrinterType = from.szP2PrinterType;
  to.szP3PrinterType = from.szP3PrinterType;
  to.szSPPrinterType = from.szSPPrinterType;
  to.bP1BinaryCommunicationProtocol = from.bP1BinaryCommunicationProtocol;
  to.bP2BinaryCommunicationProtocol = from.bP2BinaryCommunicationProtocol;
  to.bP3BinaryCommunicationProtocol = from.bP3BinaryCommunicationProtocol;
  to.bSPBinaryCommunicationProtocol = from.bSPBinaryCommunicationProtocol;
}

void CopyNetBeui(const config::NetBEUIConfigureData& from, config::NetBEUIConfigureData& to) {
  to.szDomainName = from.szDomainName;
  to.iResponseTime = from.iResponseTime;
  to.bAbortJobAsPaperOut = from.bAbortJobAsPaperOut;
}

void CopyWireless(const config::WirelessConfigurationData& from,
                  config::WirelessConfigurationData& to) {
  to.szSSID = from.szSSID;
  to.szDomainList = from.szDomainList;
  to.iChannel = from.iChannel;
  to.bWEPEnable = from.bWEPEnable;
  to.iKeyLength = from.iKeyLength;
  to.iDefaultKey = from.iDefaultKey;
  std::memcpy(to.szKey1, from.szKey1, sizeof to.szKey1);
  std::memcpy(to.szKey2, from.szKey2, sizeof to.szKey2);
  std::memcpy(to.szKey3, from.szKey3, sizeof to.szKey3);
  std::memcpy(to.szKey4, from.szKey4, sizeof to.szKey4);
  to.iListMode = from.iListMode;
  to.iAuthentication = from.iAuthentication;
  to.iNetworkType = from.iNetworkType;
  to.szLinkStatus = from.szLinkStatus;
}

}  // namespace

int CPrintServerUtility::mGetDeviceProtocol(const std::string& name, config::ProtocolData* out) {
  return GetAfterSelect(name, out, [&](config::ProtocolData& o) { o = m_Configuration.dsProtocol; });
}

int CPrintServerUtility::mGetSystemConfiguration(const std::string& name,
                                                 config::SystemConfigurationData* out) {
  return GetAfterSelect(name, out, [&](config::SystemConfigurationData& o) {
    CopySystem(m_Configuration.dsSystem, o);
  });
}

int CPrintServerUtility::mGetLogicalPortConfiguration(
    const std::string& name, int iPort, config::LogicalPrinterConfigurationData* out) {
  // The upper bound is checked too: an index past the eighth printer would read outside the
  // cache.
  if (iPort < 0 || iPort >= config::kLogicalPrinterCount) return -2;
  return GetAfterSelect(name, out, [&](config::LogicalPrinterConfigurationData& o) {
    CopyLogical(m_Configuration.dsLogicalPrinter[iPort], o);
  });
}

int CPrintServerUtility::mGetPhysicalPortConfiguration(
    const std::string& name, int iPort, config::PhysicalPortConfigurationData* out) {
  if (iPort < 0 || iPort >= config::kPhysicalPortCount) return -2;
  return GetAfterSelect(name, out, [&](config::PhysicalPortConfigurationData& o) {
    CopyPhysical(m_Configuration.dsPhysicalPort[iPort], o);
  });
}

int CPrintServerUtility::mGetNetwareConfiguration(const std::string& name,
                                                  config::NetwareConfigurationData* out) {
  return GetAfterSelect(name, out, [&](config::NetwareConfigurationData& o) {
    CopyNetware(m_Configuration.dsNetware, o);
  });
}

int CPrintServerUtility::mGetTCPIPConfiguration(const std::string& name,
                                                config::TCPIPConfigurationData* out) {
  return GetAfterSelect(name, out, [&](config::TCPIPConfigurationData& o) {
    CopyTcpip(m_Configuration.dsTCPIP, o);
  });
}

int CPrintServerUtility::mGetAPPLETALKConfiguration(const std::string& name,
                                                    config::APPLETALKConfigurationData* out) {
  return GetAfterSelect(name, out, [&](config::APPLETALKConfigurationData& o) {
    CopyAppleTalk(m_Configuration.dsAPPLETALK, o);
  });
}

int CPrintServerUtility::mGetNetBEUIConfiguration(const std::string& name,
                                                  config::NetBEUIConfigureData* out) {
  return GetAfterSelect(name, out, [&](config::NetBEUIConfigureData& o) {
    CopyNetBeui(m_Configuration.dsNetBEUI, o);
  });
}

int CPrintServerUtility::mGetWirelessConfiguration(const std::string& name,
                                                   config::WirelessConfigurationData* out) {
  return GetAfterSelect(name, out, [&](config::WirelessConfigurationData& o) {
    CopyWireless(m_Configuration.dsWireless, o);
  });
}

int CPrintServerUtility::mGetAllConfiguration(const std::string& name,
                                              config::AllConfigurationData* out) {
  return GetAfterSelect(name, out, [&](config::AllConfigurationData& o) {
    const config::DeviceConfigurationData& c = m_Configuration;
    CopySystem(c.dsSystem, o.dsSystem);
    CopyNetware(c.dsNetware, o.dsNetware);
    CopyTcpip(c.dsTCPIP, o.dsTCPIP);
    CopyAppleTalk(c.dsAPPLETALK, o.dsAPPLETALK);
    CopyNetBeui(c.dsNetBEUI, o.dsNetBEUI);
    CopyWireless(c.dsWireless, o.dsWireless);
    for (int i = 0; i < config::kLogicalPrinterCount; ++i)
      CopyLogical(c.dsLogicalPrinter[i], o.dsLogicalPrinter[i]);
    for (int i = 0; i < config::kPhysicalPortCount; ++i)
      CopyPhysical(c.dsPhysicalPort[i], o.dsPhysicalPort[i]);
  });
}

int CPrintServerUtility::mGetDevicePortType(const std::string& name, int* out) {
  return GetAfterSelect(name, out,
                        [&](int& o) { o = RefinedPortType(m_Configuration.dsDevicePID); });
}

// The simulated device operations of CSimulation except the PJL ones (simulation_pjl.cpp).
#include "console_simulation/simulation.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "console_simulation/settings_file.h"
#include "device_client/settings/com_method.h"
#include "platform/paths.h"
#include "platform/profile.h"

namespace console_sim {

int ReadInt(const std::string& section, const std::string& key) {
  return GetPrivateProfileInt(section.c_str(), key.c_str(), 0, CSimulation::kSettingsFileName);
}

std::string ReadText(const std::string& section, const std::string& key) {
  char buf[kTextRoom] = {};
  const DWORD n = GetPrivateProfileString(section.c_str(), key.c_str(), "", buf, kTextRoom,
                                          CSimulation::kSettingsFileName);
  return std::string(buf, std::min<DWORD>(n, kTextRoom - 1));
}

bool WriteInt(const std::string& section, const std::string& key, int value) {
  return WriteText(section, key, std::to_string(value));
}

bool WriteText(const std::string& section, const std::string& key, const std::string& value) {
  return WritePrivateProfileString(section.c_str(), key.c_str(), value.c_str(),
                                   CSimulation::kSettingsFileName) != FALSE;
}

}  // namespace console_sim

namespace {

using namespace console_sim;

constexpr const char* kGeneral = "general";

int DeviceCount() {
  return std::clamp(ReadInt(kGeneral, "devicecount"), 0, CSimulation::kMaxDevices);
}

std::string DeviceSection(int i) { return "device_" + std::to_string(i); }

// A name of a text file that the settings file gives: one plain file of the Windows directory.
bool IsPlainFileName(const std::string& name) {
  return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos &&
         name.find('\0') == std::string::npos;
}

// The whole content of a regular file of at most `limit` bytes, up to its first NUL byte. False
// when it cannot be opened or read, is not a regular file (a FIFO never holds the caller) or is
// longer than the limit.
bool ReadTextFile(const std::string& path, long limit, std::string& text) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) return false;
  struct stat st {};
  bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size <= limit;
  std::string content;
  if (ok) {
    // One byte more than the limit is asked for, so that a file that grew since fstat is seen.
    std::vector<char> buf(static_cast<std::size_t>(limit) + 1);
    std::size_t done = 0;
    while (done < buf.size()) {
      const ssize_t n = ::read(fd, buf.data() + done, buf.size() - done);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) ok = false;
      if (n <= 0) break;
      done += static_cast<std::size_t>(n);
    }
    if (done > static_cast<std::size_t>(limit)) ok = false;
    if (ok) content.assign(buf.data(), ::strnlen(buf.data(), done));
  }
  ::close(fd);
  if (ok) text = std::move(content);
  return ok;
}

std::string LogicalPrefix(int iPort) { return "L" + std::to_string(iPort) + "_"; }

bool IsLogicalPort(int iPort) { return iPort >= 1 && iPort <= config::kLogicalPrinterCount; }

int AppendScan(const char* section, std::list<std::string>& names) {
  for (int k = 0; k < CSimulation::kMaxScanNames; ++k) {
    std::string value = ReadText(section, std::to_string(k));
    if (value.empty()) break;
    names.push_back(std::move(value));
  }
  return 0;
}

// The getter of a record: its keys read into *out when the device is found.
// The key prefix is the record's own unless given.
template <class R>
int GetRecord(CSimulation& sim, const std::string& name, R* out, const RecordDef<R>& def,
              const std::string& prefix = {}) {
  if (out == nullptr) return -2;
  std::string section;
  if (sim.FindDeviceSection(name, section)) {
    ReadRecord(section, prefix.empty() ? def.keyPrefix : prefix, def, *out);
  }
  return 0;
}

// The setter of a record: its fields written under its keys when the device is found.
template <class R>
int SetRecord(CSimulation& sim, const std::string& name, const R* in, const RecordDef<R>& def,
              const std::string& prefix = {}) {
  if (in == nullptr) return -2;
  if (!RecordIsWritable(def, *in)) return -2;
  std::string section;
  if (!sim.FindDeviceSection(name, section)) return 0;
  return WriteRecord(section, prefix.empty() ? def.keyPrefix : prefix, def, *in) ? 0 : -1;
}

// A default reader: fills *out in code, without reading the file, when the device is found.
template <class R, class Fill>
int DefaultRecord(CSimulation& sim, const std::string& name, R* out, Fill&& fill) {
  if (out == nullptr) return -2;
  std::string section;
  if (sim.FindDeviceSection(name, section)) fill(*out);
  return 0;
}

}  // namespace

int CSimulation::FindDeviceSection(const std::string& name, std::string& section) {
  if (name.empty()) return 0;
  const int count = DeviceCount();
  for (int i = 0; i < count; ++i) {
    std::string candidate = DeviceSection(i);
    if (ReadText(candidate, "defaultname") == name) {
      section = std::move(candidate);
      return 1;
    }
  }
  return 0;
}

// ---- No look-up ----------------------------------------------------------------------------

int CSimulation::mInitializeLanComponent(int /*iProtocol*/, int /*iTimeOut*/) {
  return ReadInt(kGeneral, "InitLanReturncode");
}

int CSimulation::PS_Browse(BrowseAllPrintServerData* lists, const std::string& filter) {
  if (lists == nullptr) return -2;
  const int count = DeviceCount();
  for (int i = 0; i < count; ++i) {
    const std::string section = DeviceSection(i);
    std::string defaultName = ReadText(section, "defaultname");
    std::string deviceName = ReadText(section, "devicename");
    std::string portType = ReadText(section, "printerport");
    if (filter != "*" && defaultName.find(filter) == std::string::npos) continue;
    lists->szDeviceName.push_back(std::move(deviceName));
    lists->szDefaultName.push_back(std::move(defaultName));
    lists->szPortType.push_back(std::move(portType));
  }
  return 0;
}

int CSimulation::mScanNDSTree(std::list<std::string>& names) {
  return AppendScan("NDSTree", names);
}

int CSimulation::mScanAllFileServer(std::list<std::string>& names) {
  return AppendScan("Fileserver", names);
}

int CSimulation::mAddCrossSegmentPrintServer(std::string& /*szIpAddress*/,
                                             BrowseAllPrintServerData* lists) {
  if (lists == nullptr) return -2;
  const char* section = "NewTCPIPDevice";
  lists->szDefaultName.push_back(ReadText(section, "defaultname"));
  lists->szDeviceName.push_back(ReadText(section, "devicename"));
  lists->szPortType.push_back(ReadText(section, "printerport"));
  return 0;
}

int CSimulation::mQueryProtocol(std::string /*szDefaultName*/) {
  int tcpip = 0, ipxspx = 0, netbeui = 0;
  CComMethod::GetConnectedProtocols(tcpip, ipxspx, netbeui);
  if (ipxspx != 0) return 1;
  if (tcpip != 0) return 2;
  if (netbeui != 0) return 4;
  return -1;
}

// ---- Reads of one device -------------------------------------------------------------------

int CSimulation::mGetDeviceProtocol(const std::string& szDefaultName, config::ProtocolData* out) {
  return GetRecord(*this, szDefaultName, out, ProtocolRecord());
}

int CSimulation::mGetDevicePortType(const std::string& szDefaultName, int* iModelType) {
  if (iModelType == nullptr) return -2;
  std::string section;
  if (FindDeviceSection(szDefaultName, section)) *iModelType = ReadInt(section, "iModelType");
  return 0;
}

int CSimulation::TextOfFileKey(const std::string& szDefaultName, const char* key,
                               std::string& text) {
  std::string section;
  if (!FindDeviceSection(szDefaultName, section)) return 0;
  const std::string fileName = ReadText(section, key);
  if (!IsPlainFileName(fileName)) return -1;
  const std::string path = platform::JoinPath(platform::WindowsDirectory(), fileName);
  return ReadTextFile(path, kMaxTextFileBytes, text) ? 0 : -1;
}

int CSimulation::mGetDeviceInformation(const std::string& szDefaultName, std::string& text) {
  return TextOfFileKey(szDefaultName, "szDeviceInformation", text);
}

int CSimulation::mGetPrinterStatusPassword(const std::string& szDefaultName, std::string& text) {
  return TextOfFileKey(szDefaultName, "szPassword", text);
}

int CSimulation::mGetPrinterStatus(const std::string& szDefaultName, std::string& text) {
  return TextOfFileKey(szDefaultName, "szPrinterStatus", text);
}

// ---- System --------------------------------------------------------------------------------

int CSimulation::mGetSystemConfiguration(const std::string& szDefaultName,
                                         config::SystemConfigurationData* out) {
  return GetRecord(*this, szDefaultName, out, SystemRecord());
}

int CSimulation::mSetSystemConfiguration(const std::string& szDefaultName,
                                         const config::SystemConfigurationData* in) {
  if (in == nullptr) return -2;
  if (!RecordIsWritable(SystemRecord(), *in)) return -2;
  std::string section;
  if (!FindDeviceSection(szDefaultName, section)) return 0;
  // The name goes to the system record, the NetWare record and the browse list alike; the four
  // protocol switches follow.
  if (!WriteText(section, "pdsSystemConfigurationData.szDeviceName", in->szDeviceName) ||
      !WriteText(section, "pdsNetwareConfigurationData->szDeviceName", in->szDeviceName) ||
      !WriteText(section, "devicename", in->szDeviceName)) {
    return -1;
  }
  const auto& def = SystemRecord();
  for (const auto& f : def.fields) {
    if (f.number == nullptr) continue;
    if (!WriteInt(section, std::string(def.keyPrefix) + f.key, in->*f.number)) return -1;
  }
  return 0;
}

int CSimulation::mGetSystemConfigurationToDefault(const std::string& szDefaultName,
                                                  config::SystemConfigurationData* out) {
  return DefaultRecord(*this, szDefaultName, out, [](auto& r) {
    r.szDeviceName.clear();
    r.bIPXSPXProtocol = 1;
    r.bTCPIPProtocol = 1;
    r.bAPPLETALKProtocol = 1;
    r.bNetBEUIProtocol = 1;
  });
}

int CSimulation::mSetSystemConfigurationToDefault(const std::string& szDefaultName) {
  std::string section;
  if (!FindDeviceSection(szDefaultName, section)) return 0;
  config::SystemConfigurationData defaults;  // empty name, every switch 0
  return WriteRecord(section, SystemRecord().keyPrefix, SystemRecord(), defaults) ? 0 : -1;
}

// ---- Serial port ---------------------------------------------------------------------------

int CSimulation::mGetSerialPortConfiguration(const std::string& szDefaultName,
                                             config::SerialPortConfigurationData* out) {
  return GetRecord(*this, szDefaultName, out, SerialPortRecord());
}

int CSimulation::mSetSerialPortConfiguration(const std::string& szDefaultName,
                                             const config::SerialPortConfigurationData* in) {
  return SetRecord(*this, szDefaultName, in, SerialPortRecord());
}

int CSimulation::mGetSerialPortConfigurationToDefault(const std::string& szDefaultName,
                                                      config::SerialPortConfigurationData* out) {
  return DefaultRecord(*this, szDefaultName, out, [](auto& r) {
    r.iBaudrate = 9600;
    r.iDatabits = 8;
    r.szParity = "None";
    r.iStopbits = 1;
    r.szHandshake = "Hardware";
  });
}

// ---- Logical ports -------------------------------------------------------------------------

int CSimulation::mGetLogicalPortConfiguration(const std::string& szDefaultName, int iPort,
                                              config::LogicalPrinterConfigurationData* out) {
  if (out == nullptr) return -2;
  if (!IsLogicalPort(iPort)) return 0;
  const auto& def = LogicalPrinterRecord();
  return GetRecord(*this, szDefaultName, out, def, LogicalPrefix(iPort) + def.keyPrefix);
}

int CSimulation::mSetLogicalPortConfiguration(const std::string& szDefaultName, int iPort,
                                              const config::LogicalPrinterConfigurationData* in) {
  if (!IsLogicalPort(iPort)) return -2;
  const auto& def = LogicalPrinterRecord();
  return SetRecord(*this, szDefaultName, in, def, LogicalPrefix(iPort) + def.keyPrefix);
}

int CSimulation::mGetLogicalPortConfigurationToDefault(
    const std::string& szDefaultName, int /*iPort*/, config::LogicalPrinterConfigurationData* out) {
  return DefaultRecord(*this, szDefaultName, out, [](auto& r) {
    r.szPhysicalPort.clear();
    r.szStringBeforeJob.clear();
    r.szStringAfterJob.clear();
    r.bConvertLFToLFCR = 0;
  });
}

int CSimulation::mSetAllLogicalPortConfiguration(const std::string& szDefaultName,
                                                 int /*iLogicalPortCount*/,
                                                 const config::AllLogicalPrinter* in) {
  if (in == nullptr) return -2;
  // Each printer's fields gathered into a plain logical-printer record, so that the one field
  // table serves both the check and the write.
  config::LogicalPrinterConfigurationData ports[config::kLogicalPrinterCount];
  for (int n = 1; n <= config::kLogicalPrinterCount; ++n) {
    const AllLogicalRow& row = *AllLogicalPrinterRow(n);
    auto& port = ports[n - 1];
    port.szPhysicalPort = in->*row.physicalPort;
    port.szStringBeforeJob = in->*row.beforeJob;
    port.szStringAfterJob = in->*row.afterJob;
    port.bConvertLFToLFCR = in->*row.convert;
    if (!RecordIsWritable(LogicalPrinterRecord(), port)) return -2;
  }
  std::string section;
  if (!FindDeviceSection(szDefaultName, section)) return 0;
  const auto& def = LogicalPrinterRecord();
  for (int n = 1; n <= config::kLogicalPrinterCount; ++n) {
    if (!WriteRecord(section, LogicalPrefix(n) + def.keyPrefix, def, ports[n - 1])) return -1;
  }
  return 0;
}

// ---- NetWare -------------------------------------------------------------------------------

int CSimulation::mGetNetwareConfiguration(const std::string& szDefaultName,
                                          config::NetwareConfigurationData* out) {
  return GetRecord(*this, szDefaultName, out, NetwareRecord());
}

int CSimulation::mSetNetwareConfiguration(const std::string& szDefaultName,
                                          const config::NetwareConfigurationData* in) {
  if (in == nullptr) return -2;
  if (!RecordIsWritable(NetwareRecord(), *in)) return -2;
  std::string section;
  if (!FindDeviceSection(szDefaultName, section)) return 0;
  const bool ok = WriteRecord(section, NetwareRecord().keyPrefix, NetwareRecord(), *in) &&
                  WriteText(section, "pdsSystemConfigurationData.szDeviceName", in->szDeviceName) &&
                  WriteText(section, "devicename", in->szDeviceName);
  return ok ? 0 : -1;
}

int CSimulation::mGetNetwareConfigurationToDefault(const std::string& szDefaultName,
                                                   config::NetwareConfigurationData* out) {
  return DefaultRecord(*this, szDefaultName, out, [&](auto& r) {
    r.bFrameTypeEthernetII = 1;
    r.bFrameType8022 = 1;
    r.bFrameType8023 = 1;
    r.bFrameType8022Snap = 1;
    r.bFrameTypeTokenring = 1;
    r.bFrameTypeTokenringSnap = 1;
    r.szOperationMode = "PS";
    r.szMasterFileServerName.clear();
    r.szP1RemotePrinter.clear();
    r.szP2RemotePrinter.clear();
    r.szP3RemotePrinter.clear();
    r.szSPRemotePrinter.clear();
    r.szNDSTreeName.clear();
    r.szNDSContextName.clear();
    r.iQueuePollingInterval = 10;
    r.bJobNotify = 0;
    r.szPrintServerName = szDefaultName;
    r.szDeviceName = szDefaultName;
  });
}

// ---- TCP/IP --------------------------------------------------------------------------------

int CSimulation::mGetTCPIPConfiguration(const std::string& szDefaultName,
                                        config::TCPIPConfigurationData* out) {
  return GetRecord(*this, szDefaultName, out, TCPIPRecord());
}

int CSimulation::mSetTCPIPConfiguration(const std::string& szDefaultName,
                                        const config::TCPIPConfigurationData* in) {
  return SetRecord(*this, szDefaultName, in, TCPIPRecord());
}

int CSimulation::mGetTCPIPConfigurationToDefault(const std::string& szDefaultName,
                                                 config::TCPIPConfigurationData* out) {
  return DefaultRecord(*this, szDefaultName, out, [](auto& r) {
    r.szIPAddress = "0.0.0.0";
    r.szGatewayAddress = "0.0.0.0";
    r.szSubNetworkMaskAddress = "0.0.0.0";
    r.iTCPIntervalSessionRetry = 255;
    r.iTCPCountSessionRetry = 10;
    r.szMailServerIPAddress = "0.0.0.0";
    r.szMailAccount.clear();
    r.szPassword.clear();
    r.szCheckMailInterval = "1";
    r.szRedirectMailAccount.clear();
    r.szDefaultPrinterNumber = "P1";
    r.bPrintEveryEmail = 0;
    r.bActivateResponseMail = 0;
    r.bBannerPrinting = 0;
    r.szPrinterModelString.clear();
  });
}

// ---- AppleTalk -----------------------------------------------------------------------------

int CSimulation::mGetAPPLETALKConfiguration(const std::string& szDefaultName,
                                            config::APPLETALKConfigurationData* out) {
  return GetRecord(*this, szDefaultName, out, APPLETALKRecord());
}

int CSimulation::mSetAPPLETALKConfiguration(const std::string& szDefaultName,
                                            const config::APPLETALKConfigurationData* in) {
  return SetRecord(*this, szDefaultName, in, APPLETALKRecord());
}

int CSimulation::mGetAPPLETALKConfigurationToDefault(const std::string& szDefaultName,
                                                     config::APPLETALKConfigurationData* out) {
  return DefaultRecord(*this, szDefaultName, out, [](auto& r) {
    r.szZoneName = "*";
    r.szP1PrinterType = "LaserWrite";
    r.szP2PrinterType = "LaserWrite";
    r.szP3PrinterType = "LaserWrite";
    r.szSPPrinterType = "LaserWrite";
    r.bP1BinaryCommunicationProtocol = 0;
    r.bP2BinaryCommunicationProtocol = 0;
    r.bP3BinaryCommunicationProtocol = 0;
    r.bSPBinaryCommunicationProtocol = 0;
  });
}

// ---- NetBEUI -------------------------------------------------------------------------------

int CSimulation::mGetNetBEUIConfiguration(const std::string& szDefaultName,
                                          config::NetBEUIConfigureData* out) {
  return GetRecord(*this, szDefaultName, out, NetBEUIRecord());
}

int CSimulation::mSetNetBEUIConfiguration(const std::string& szDefaultName,
                                          const config::NetBEUIConfigureData* in) {
  return SetRecord(*this, szDefaultName, in, NetBEUIRecord());
}

int CSimulation::mGetNetBEUIConfigurationToDefault(const std::string& szDefaultName,
                                                   config::NetBEUIConfigureData* out) {
  return DefaultRecord(*this, szDefaultName, out, [](auto& r) {
    r.szDomainName.clear();
    r.iResponseTime = 0;
    r.bAbortJobAsPaperOut = 0;
  });
}

// ---- SNMP ----------------------------------------------------------------------------------

int CSimulation::mGetSNMPConfiguration(const std::string& szDefaultName,
                                       config::SNMPConfigurationData* out) {
  return GetRecord(*this, szDefaultName, out, SNMPRecord());
}

int CSimulation::mSetSNMPConfiguration(const std::string& szDefaultName,
                                       const config::SNMPConfigurationData* in) {
  return SetRecord(*this, szDefaultName, in, SNMPRecord());
}

int CSimulation::mGetSNMPConfigurationToDefault(const std::string& szDefaultName,
                                                config::SNMPConfigurationData* out) {
  return DefaultRecord(*this, szDefaultName, out, [](auto& r) {
    using S = config::SNMPConfigurationData;
    struct Trap {
      std::string S::*address;
      std::int32_t S::*option;
      std::int32_t S::*severity;
      std::string S::*community;
    };
    struct Manager {
      std::string S::*address;
      std::string S::*community;
      std::int32_t S::*access;
    };
    static constexpr Trap kTraps[] = {
        {&S::szT1_TrapReceiveIPAddress, &S::iT1_TrapOption, &S::iT1_TrapSeverity,
         &S::szT1_CommunityString},
        {&S::szT2_TrapReceiveIPAddress, &S::iT2_TrapOption, &S::iT2_TrapSeverity,
         &S::szT2_CommunityString},
        {&S::szT3_TrapReceiveIPAddress, &S::iT3_TrapOption, &S::iT3_TrapSeverity,
         &S::szT3_CommunityString},
        {&S::szT4_TrapReceiveIPAddress, &S::iT4_TrapOption, &S::iT4_TrapSeverity,
         &S::szT4_CommunityString},
    };
    static constexpr Manager kManagers[] = {
        {&S::szM1_ManagerIPAddress, &S::szM1_CommunityString, &S::iM1_AccessPermission},
        {&S::szM2_ManagerIPAddress, &S::szM2_CommunityString, &S::iM2_AccessPermission},
        {&S::szM3_ManagerIPAddress, &S::szM3_CommunityString, &S::iM3_AccessPermission},
        {&S::szM4_ManagerIPAddress, &S::szM4_CommunityString, &S::iM4_AccessPermission},
    };
    r.szSysContact.clear();
    r.szSysLocation.clear();
    for (const Trap& t : kTraps) {
      r.*t.address = "0.0.0.0";
      r.*t.option = 0;
      r.*t.severity = 1;
      r.*t.community = "wozlek";
    }
    for (const Manager& m : kManagers) {
      r.*m.address = "0.0.0.0";
      r.*m.community = "wozlek";
      r.*m.access = 0;
    }
  });
}

// ---- Passwords -----------------------------------------------------------------------------

int CSimulation::StorePassword(const std::string& szDefaultName, const std::string& password) {
  if (!IsWritable(password)) return -2;
  std::string section;
  if (!FindDeviceSection(szDefaultName, section)) return 0;
  return WriteText(section, "szPassword", password) ? 0 : -1;
}

int CSimulation::mSetNetwarePassword(const std::string& szDefaultName,
                                     const std::string& szPassword) {
  return StorePassword(szDefaultName, szPassword);
}

int CSimulation::mSetPassword(const std::string& szDefaultName, const std::string& szPassword) {
  return StorePassword(szDefaultName, szPassword);
}

// ---- Commands that a simulated box takes without a change -----------------------------------

int CSimulation::mResetDevice(const std::string&) { return 0; }
int CSimulation::mResetDevice2(const std::string&) { return 0; }
int CSimulation::mRestoreFactoryDefault(const std::string&) { return 0; }
int CSimulation::mPrintTestPage(const std::string&, int) { return 0; }
int CSimulation::mSetIPAddress(const std::string&, const std::string&, const std::string&,
                               const std::string&) {
  return 0;
}
int CSimulation::mSetSerialPortConfigurationToDefault(const std::string&) { return 0; }
int CSimulation::mSetLogicalPortConfigurationToDefault(const std::string&, int) { return 0; }
int CSimulation::mSetNetwareConfigurationToDefault(const std::string&) { return 0; }
int CSimulation::mSetTCPIPConfigurationToDefault(const std::string&) { return 0; }
int CSimulation::mSetAPPLETALKConfigurationToDefault(const std::string&) { return 0; }
int CSimulation::mSetNetBEUIConfigurationToDefault(const std::string&) { return 0; }
int CSimulation::mSetSNMPConfigurationToDefault(const std::string&) { return 0; }

#include "console_simulation/debug_log.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "console_simulation/record_fields.h"
#include "device_client/pjl/pjl_text.h"
#include "device_client/settings/com_method.h"
#include "platform/profile.h"

namespace {

using namespace console_sim;

// How a record field is written:
//   kPlain:  "<param>-><field> = <value> "
//   kSnmp:   " <param>-><field>= <value> ", except the trap receivers' addresses (kPlain)
//   kTabbed: kPlain, but the print-server name as "<param>->szPrintServerName\t = <value> "
enum class Style { kPlain, kSnmp, kTabbed };

void Line(const std::string& text) { CComMethod::WriteLog(text); }

// True when the log is on; then the header and the empty line are written.
bool Begin(const char* header) {
  if (CComMethod::IsDebugLogOn() != 1) return false;
  Line(header);
  Line("");
  return true;
}

void NameLine(const std::string& name) { Line("szDefaultName=" + name); }
void SpacedNameLine(const std::string& name) { Line("szDefaultName = " + name + " "); }

template <class R>
void RecordLines(const RecordDef<R>& def, const R* record, Style style = Style::kPlain) {
  const std::string param = def.logParam;
  if (record == nullptr) {
    Line(param + " = NULL");
    return;
  }
  for (const FieldDef<R>& f : def.fields) {
    std::string value;
    if (f.secret) {
      value = kMaskedValue;
    } else if (f.number != nullptr) {
      value = std::to_string(record->*f.number);
    } else {
      value = record->*f.text;
    }
    const std::string field = f.name;
    if (style == Style::kSnmp && field.find("_TrapReceiveIPAddress") == std::string::npos) {
      Line(" " + param + "->" + field + "= " + value + " ");
    } else if (style == Style::kTabbed && field == "szPrintServerName") {
      Line(param + "->" + field + "\t = " + value + " ");
    } else {
      Line(param + "->" + field + " = " + value + " ");
    }
  }
}

// A call whose arguments are the default name and one record.
template <class R>
void DumpRecordCall(const char* header, const std::string& name, const RecordDef<R>& def,
                    const R* data, Style style = Style::kPlain) {
  if (!Begin(header)) return;
  NameLine(name);
  RecordLines(def, data, style);
}

void BrowseBlock(const char* param, const BrowseAllPrintServerData* lists) {
  if (lists == nullptr) {
    Line(std::string(param) + " = NULL");
    return;
  }
  Line(param);
  Line("{");
  // The entries are those of the default-name list; a shorter neighbour list gives empty values.
  auto device = lists->szDeviceName.begin();
  auto port = lists->szPortType.begin();
  int i = 0;
  for (const std::string& defaultName : lists->szDefaultName) {
    const std::string n = std::to_string(i);
    std::string deviceName, portType;
    if (device != lists->szDeviceName.end()) deviceName = *device++;
    if (port != lists->szPortType.end()) portType = *port++;
    Line("szDefaultName[" + n + "] = " + defaultName);
    Line("szDeviceName[" + n + "] = " + deviceName);
    Line("szPortType[" + n + "] = " + portType);
    Line("");
    ++i;
  }
  Line("}");
}

void NameListLines(const char* what, const std::list<std::string>& names) {
  Line(std::string(what) + " Total = " + std::to_string(names.size()) + " ");
  int i = 0;
  for (const std::string& name : names) {
    Line(std::string(what) + " " + std::to_string(i++) + " = " + name + " ");
  }
}

void PJLBlocks(const PJLConfigurationData* record) {
  if (record == nullptr) {
    Line("pdsPJLConfigurationData = NULL");
    return;
  }
  const std::string param = " pdsPJLConfigurationData->";
  for (int i = 0; i < pjl::kVariableCount; ++i) {
    const PJLVariableData& entry = record->Entry(i);
    const std::string name = PJLVariableName(i);
    const std::string ds = param + "ds" + name;
    // The value line of PAGEPROTECT has always been written without the "ds".
    const std::string valueLead = name == "PAGEPROTECT" ? param + name : ds;
    Line(valueLead + ".szVariableValue= " + entry.szVariableValue + " ");
    Line(ds + ".bReadOnly= " + std::to_string(entry.bReadOnly) + " ");
    Line(ds + ".iVariableValueType= " + std::to_string(entry.iVariableValueType) + " ");
    int k = 0;
    for (const std::string& value : entry.ValidValueList) {
      Line(ds + ".ValidValueList_" + std::to_string(k++) + "= " + value + " ");
    }
    Line("  ");
  }
}

std::string ProtocolText(int iProtocol) {
  std::string text;
  if (iProtocol & 1) text += "TYPE_IPXSPX   ";
  if (iProtocol & 2) text += "TYPE_TCPIP   ";
  if (iProtocol & 4) text += "TYPE_NETBEUI   ";
  return text.empty() ? "NOT_DEFINE  " : text;
}

}  // namespace

void CDebugLog::PS_Browse(const BrowseAllPrintServerData* lists,
                          const std::string& szCustomerFilter) {
  if (!Begin("PS_Browse(BrowseAllPrintServerData *pdsBrowseAllPrintServerData,CString "
             "szCustomerFilter)")) {
    return;
  }
  BrowseBlock("pdsBrowseAllPrintServerData", lists);
  Line("szCustomerFilter = " + szCustomerFilter);
}

void CDebugLog::mInitializeLanComponent(int iProtocol, int iTimeOut) {
  if (!Begin("mInitializeLanComponent(int iProtocol, int iTimeOut)")) return;
  Line("iProtocol = " + std::to_string(iProtocol) + "   " + ProtocolText(iProtocol));
  Line("iTimeOut = " + std::to_string(iTimeOut) + " ");
}

void CDebugLog::mGetDeviceProtocol(Name szDefaultName, const config::ProtocolData* data) {
  DumpRecordCall("mGetDeviceProtocol(szDefaultName, &mdsProtocolData)", szDefaultName,
                 ProtocolRecord(), data);
}

void CDebugLog::mGetSystemConfiguration(Name szDefaultName,
                                        const config::SystemConfigurationData* data) {
  DumpRecordCall(
      "mGetSystemConfiguration(CString &szDefaultName,SystemConfigurationData "
      "*pdsSystemConfigurationData)",
      szDefaultName, SystemRecord(), data);
}

void CDebugLog::mGetDevicePortType(Name szDefaultName, const int* iModelType) {
  if (!Begin("mGetDevicePortType(CString &szDefaultName, int *iModelType)")) return;
  NameLine(szDefaultName);
  Line(iModelType == nullptr ? std::string("iModelType = NULL")
                             : "*iModelType = " + std::to_string(*iModelType) + " ");
}

void CDebugLog::mGetDeviceInformation(Name szDefaultName, const std::string& szDeviceInformation) {
  if (!Begin("mGetDeviceInformation(CString &szDefaultName,CString &szDeviceInformation)")) return;
  NameLine(szDefaultName);
  Line("szDeviceInformation = " + szDeviceInformation + " ");
}

void CDebugLog::mGetPrinterStatusPassword(Name szDefaultName, const std::string& /*szPassword*/) {
  if (!Begin("mGetPrinterStatus(CString &szDefaultName,CString &szPassword)")) return;
  NameLine(szDefaultName);
  Line(std::string("szPassword = ") + kMaskedValue + " ");
}

void CDebugLog::mGetPrinterStatus(Name szDefaultName, const std::string& szPrinterStatus) {
  if (!Begin("mGetPrinterStatus(CString &szDefaultName,CString &szPrinterStatus)")) return;
  NameLine(szDefaultName);
  Line("szPrinterStatus = " + szPrinterStatus + " ");
}

void CDebugLog::mResetDevice(Name szDefaultName) {
  if (!Begin("mResetDevice(CString & szDefaultName)")) return;
  NameLine(szDefaultName);
}

void CDebugLog::mResetDevice2(Name szDefaultName) {
  if (!Begin("mResetDevice(CString & szDefaultName)")) return;
  NameLine(szDefaultName);
}

void CDebugLog::mRestoreFactoryDefault(Name szDefaultName) {
  if (!Begin("mRestoreFactoryDefault(CString & szDefaultName)")) return;
  NameLine(szDefaultName);
}

void CDebugLog::mPrintTestPage(Name szDefaultName, int iPort) {
  if (!Begin("mPrintTestPage(CString & szDefaultName, int iPort)")) return;
  NameLine(szDefaultName);
  Line("iPort=" + std::to_string(iPort));
}

void CDebugLog::mSetSystemConfiguration(Name szDefaultName,
                                        const config::SystemConfigurationData* data) {
  DumpRecordCall(
      "mSetSystemConfiguration(CString &szDefaultName,SystemConfigurationData "
      "*pdsSystemConfigurationData)",
      szDefaultName, SystemRecord(), data);
}

void CDebugLog::mGetSystemConfigurationToDefault(Name szDefaultName,
                                                 const config::SystemConfigurationData* data) {
  DumpRecordCall(
      "mGetSystemConfigurationToDefault(CString &szDefaultName,SystemConfigurationData "
      "*pdsSystemConfigurationData)",
      szDefaultName, SystemRecord(), data);
}

void CDebugLog::mSetSystemConfigurationToDefault(Name szDefaultName) {
  if (!Begin("mSetSystemConfigurationToDefault(CString &szDefaultName)")) return;
  NameLine(szDefaultName);
}

void CDebugLog::mGetNetwareConfiguration(Name szDefaultName,
                                         const config::NetwareConfigurationData* data) {
  DumpRecordCall(
      "mGetNetwareConfiguration(CString &szDefaultName,NetwareConfigurationData "
      "*pdsNetwareConfigurationData)",
      szDefaultName, NetwareRecord(), data, Style::kTabbed);
}

void CDebugLog::mSetNetwareConfiguration(Name szDefaultName,
                                         const config::NetwareConfigurationData* data) {
  DumpRecordCall(
      "mSetNetwareConfiguration(CString &szDefaultName,NetwareConfigurationData "
      "*pdsNetwareConfigurationData)",
      szDefaultName, NetwareRecord(), data);
}

void CDebugLog::mGetNetwareConfigurationToDefault(Name szDefaultName,
                                                  const config::NetwareConfigurationData* data) {
  DumpRecordCall(
      "mGetNetwareConfigurationToDefault(CString &szDefaultName,NetwareConfigurationData "
      "*pdsNetwareConfigurationData)",
      szDefaultName, NetwareRecord(), data);
}

void CDebugLog::mScanAllFileServer(const std::list<std::string>& names) {
  if (!Begin("mScanAllFileServer(CStringList &szFileServerNameList)")) return;
  NameListLines("FileServer", names);
}

void CDebugLog::mScanNDSTree(const std::list<std::string>& names) {
  if (!Begin("mScanNDSTree(CStringList &szTreeNameList)")) return;
  NameListLines("NDSTree", names);
}

void CDebugLog::mSetNetwarePassword(Name szDefaultName, const std::string& /*szPassword*/) {
  if (!Begin("mSetNetwarePassword(CString &szDefaultName, CString &szPassword)")) return;
  NameLine(szDefaultName);
  Line(std::string("szPassword = ") + kMaskedValue + " ");
}

void CDebugLog::mSetPassword(Name szDefaultName, const std::string& /*szPassword*/) {
  if (!Begin("mSetPassword(CString &szDefaultName, CString &szPassword)")) return;
  NameLine(szDefaultName);
  Line(std::string("szPassword = ") + kMaskedValue + " ");
}

void CDebugLog::mGetNetBEUIConfiguration(Name szDefaultName,
                                         const config::NetBEUIConfigureData* data) {
  DumpRecordCall(
      "mGetNetBEUIConfiguration(CString &szDefaultName,NetBEUIConfigureData "
      "*pdsNetBEUIConfigureData)",
      szDefaultName, NetBEUIRecord(), data);
}

void CDebugLog::mSetNetBEUIConfiguration(Name szDefaultName,
                                         const config::NetBEUIConfigureData* data) {
  DumpRecordCall(
      "mSetNetBEUIConfiguration(CString &szDefaultName,NetBEUIConfigureData "
      "*pdsNetBEUIConfigureData)",
      szDefaultName, NetBEUIRecord(), data);
}

void CDebugLog::mGetNetBEUIConfigurationToDefault(Name szDefaultName,
                                                  const config::NetBEUIConfigureData* data) {
  DumpRecordCall(
      "mGetNetBEUIConfigurationToDefault(CString &szDefaultName,NetBEUIConfigureData "
      "*pdsNetBEUIConfigureData)",
      szDefaultName, NetBEUIRecord(), data);
}

void CDebugLog::mGetAPPLETALKConfigurationToDefault(
    Name szDefaultName, const config::APPLETALKConfigurationData* data) {
  DumpRecordCall(
      "mGetAPPLETALKConfigurationToDefault(CString &szDefaultName,"
      "APPLETALKConfigurationData *pdsAPPLETALKConfigurationData)",
      szDefaultName, APPLETALKRecord(), data);
}

void CDebugLog::mSetAPPLETALKConfiguration(Name szDefaultName,
                                           const config::APPLETALKConfigurationData* data) {
  DumpRecordCall(
      "mSetAPPLETALKConfiguration(CString &szDefaultName,APPLETALKConfigurationData "
      "*pdsAPPLETALKConfigurationData)",
      szDefaultName, APPLETALKRecord(), data);
}

void CDebugLog::mGetAPPLETALKConfiguration(Name szDefaultName,
                                           const config::APPLETALKConfigurationData* data) {
  DumpRecordCall(
      "mGetAPPLETALKConfiguration(CString &szDefaultName, APPLETALKConfigurationData "
      "*pdsAPPLETALKConfigurationData)",
      szDefaultName, APPLETALKRecord(), data);
}

void CDebugLog::mGetTCPIPConfigurationToDefault(Name szDefaultName,
                                                const config::TCPIPConfigurationData* data) {
  DumpRecordCall(
      "mGetTCPIPConfigurationToDefault(CString &szDefaultName,TCPIPConfigurationData "
      "*pdsTCPIPConfigurationData)",
      szDefaultName, TCPIPRecord(), data);
}

void CDebugLog::mSetTCPIPConfiguration(Name szDefaultName,
                                       const config::TCPIPConfigurationData* data) {
  DumpRecordCall(
      "mSetTCPIPConfiguration(CString &szDefaultName,TCPIPConfigurationData "
      "*pdsTCPIPConfigurationData)",
      szDefaultName, TCPIPRecord(), data);
}

void CDebugLog::mGetTCPIPConfiguration(Name szDefaultName,
                                       const config::TCPIPConfigurationData* data) {
  DumpRecordCall(
      "mGetTCPIPConfiguration(CString &szDefaultName,TCPIPConfigurationData "
      "*pdsTCPIPConfigurationData)",
      szDefaultName, TCPIPRecord(), data);
}

void CDebugLog::mGetSerialPortConfigurationToDefault(
    Name szDefaultName, const config::SerialPortConfigurationData* data) {
  DumpRecordCall(
      "mGetSerialPortConfigurationToDefault(CString &szDefaultName,"
      "SerialPortConfigurationData *pdsSerialPortConfigurationData)",
      szDefaultName, SerialPortRecord(), data);
}

void CDebugLog::mGetSerialPortConfiguration(Name szDefaultName,
                                            const config::SerialPortConfigurationData* data) {
  DumpRecordCall(
      "mGetSerialPortConfiguration(CString &szDefaultName,SerialPortConfigurationData "
      "*pdsSerialPortConfigurationData)",
      szDefaultName, SerialPortRecord(), data);
}

void CDebugLog::mSetSerialPortConfiguration(Name szDefaultName,
                                            const config::SerialPortConfigurationData* data) {
  DumpRecordCall(
      "mSetSerialPortConfiguration(CString &szDefaultName,SerialPortConfigurationData "
      "*pdsSerialPortConfigurationData)",
      szDefaultName, SerialPortRecord(), data);
}

void CDebugLog::mGetLogicalPortConfigurationToDefault(
    Name szDefaultName, int /*iPort*/, const config::LogicalPrinterConfigurationData* data) {
  DumpRecordCall(
      "mGetLogicalPortConfigurationToDefault(CString &szDefaultName,int "
      "iPort,LogicalPrinterConfigurationData *pdsLogicalPrinterConfigurationData)",
      szDefaultName, LogicalPrinterRecord(), data);
}

void CDebugLog::mGetLogicalPortConfiguration(Name szDefaultName, int /*iPort*/,
                                             const config::LogicalPrinterConfigurationData* data) {
  DumpRecordCall(
      "mGetLogicalPortConfiguration(CString &szDefaultName,int "
      "iPort,LogicalPrinterConfigurationData *pdsLogicalPrinterConfigurationData)",
      szDefaultName, LogicalPrinterRecord(), data);
}

void CDebugLog::mSetLogicalPortConfiguration(Name szDefaultName, int /*iPort*/,
                                             const config::LogicalPrinterConfigurationData* data) {
  DumpRecordCall(
      "mSetLogicalPortConfiguration(CString &szDefaultName,int "
      "iPort,LogicalPrinterConfigurationData *pdsLogicalPrinterConfigurationData)",
      szDefaultName, LogicalPrinterRecord(), data);
}

void CDebugLog::mSetSNMPConfiguration(Name szDefaultName,
                                      const config::SNMPConfigurationData* data) {
  DumpRecordCall(
      "mSetSNMPConfiguration(CString &szDefaultName,SNMPConfigurationData "
      "*pdsSNMPConfigurationData)",
      szDefaultName, SNMPRecord(), data, Style::kSnmp);
}

void CDebugLog::mGetSNMPConfiguration(Name szDefaultName,
                                      const config::SNMPConfigurationData* data) {
  DumpRecordCall(
      "mGetSNMPConfiguration(CString &szDefaultName,SNMPConfigurationData "
      "*pdsSNMPConfigurationData)",
      szDefaultName, SNMPRecord(), data, Style::kSnmp);
}

void CDebugLog::mGetSNMPConfigurationToDefault(Name szDefaultName,
                                               const config::SNMPConfigurationData* data) {
  DumpRecordCall(
      "mGetSNMPConfigurationToDefault(CString &szDefaultName,SNMPConfigurationData "
      "*pdsSNMPConfigurationData)",
      szDefaultName, SNMPRecord(), data, Style::kSnmp);
}

void CDebugLog::mGetPJLConfiguration(Name szDefaultName, int iPort,
                                     const PJLConfigurationData* data) {
  if (!Begin("mGetPJLConfiguration(CString &szDefaultName, int iPort,PJLConfigurationData "
             "*pdsPJLConfigurationData)")) {
    return;
  }
  NameLine(szDefaultName);
  Line(" iPort= " + std::to_string(iPort) + " ");
  PJLBlocks(data);
}

void CDebugLog::mSetPJLEnvironmentVariable(Name szDefaultName, int iPort,
                                           const std::string& szVariableValue,
                                           int iPJLInqueryType) {
  if (!Begin("mSetPJLEnvironmentVariable(CString &szDefaultName, int iPort,CString "
             "&szVariableValue, int iPJLInqueryType)")) {
    return;
  }
  NameLine(szDefaultName);
  Line("iPort = " + std::to_string(iPort) + " ");
  Line("szVariableValue = " + szVariableValue + " ");
  Line("iPJLInqueryType = " + std::to_string(iPJLInqueryType) + " ");
}

void CDebugLog::mGetPJLStatus(Name szDefaultName, int iPort, const PJLStatusData* data) {
  if (!Begin("mGetPJLStatus(CString &szDefaultName, int iPort, PJLStatusData "
             "*pdsPJLStatusData)")) {
    return;
  }
  NameLine(szDefaultName);
  Line("iPort = " + std::to_string(iPort) + " ");
  RecordLines(PJLStatusRecord(), data);
}

void CDebugLog::mAddCrossSegmentPrintServer(const std::string& szIpAddress,
                                            const BrowseAllPrintServerData* lists) {
  if (!Begin("mAddCrossSegmentPrintServer(CString &szIpAddress,BrowseAllPrintServerData "
             "*pdsCrossSegmentPrintServerData)")) {
    return;
  }
  Line("szIpAddress = " + szIpAddress + " ");
  BrowseBlock("pdsCrossSegmentPrintServerData", lists);
}

void CDebugLog::mSetIPAddress(Name szDefaultName, const std::string& szIPAddress,
                              const std::string& szGatewayAddress,
                              const std::string& szSubNetworkMaskAddress) {
  if (!Begin("mSetIPAddress(CString &szDefaultName, CString &szIPAddress,CString "
             "&szGatewayAddress,CString &szSubNetworkMaskAddress)")) {
    return;
  }
  SpacedNameLine(szDefaultName);
  Line("szIPAddress = " + szIPAddress + " ");
  Line("szGatewayAddress = " + szGatewayAddress + " ");
  Line("szSubNetworkMaskAddress = " + szSubNetworkMaskAddress + " ");
}

void CDebugLog::mQueryProtocol(std::string szDefaultName) {
  if (!Begin("mQueryProtocol(CString szDefaultName)")) return;
  SpacedNameLine(szDefaultName);
}

void CDebugLog::mSetAllLogicalPortConfiguration(Name szDefaultName, int iLogicalPortCount,
                                                const config::AllLogicalPrinter* all) {
  if (!Begin("mSetAllLogicalPortConfiguration(CString &szDefaultName,int "
             "iLogicalPortCount,AllLogicalPrinter *pdsAllLogicalPrinter)")) {
    return;
  }
  NameLine(szDefaultName);
  Line("iLogicalPortCount = " + std::to_string(iLogicalPortCount) + " ");
  if (all == nullptr) {
    Line("pdsAllLogicalPrinter = NULL");
    return;
  }
  for (int n = 1; n <= config::kLogicalPrinterCount; ++n) {
    const AllLogicalRow& row = *AllLogicalPrinterRow(n);
    const std::string lead = "pdsAllLogicalPrinter->";
    const std::string ln = "L" + std::to_string(n);
    Line(lead + "sz" + ln + "PhysicalPort = " + all->*row.physicalPort + " ");
    Line(lead + "sz" + ln + "StringBeforeJob = " + all->*row.beforeJob + " ");
    Line(lead + "sz" + ln + "StringAfterJob = " + all->*row.afterJob + " ");
    Line(lead + "b" + ln + "ConvertLFToLFCR = " + std::to_string(all->*row.convert) + " ");
  }
}

// ---- Preparing the log file -------------------------------------------------------------------

void PrepareDebugLog() {
  char name[512] = {};
  GetPrivateProfileString("general", "debuglogfilename", "", name, sizeof name, "common.ini");
  if (name[0] != '\0') {
    // Opened without waiting (a FIFO without a reader fails at once) and without following the
    // terminal; created when missing.
    const int fd = ::open(name, O_WRONLY | O_CREAT | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, 0644);
    if (fd >= 0) {
      struct stat st {};
      if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > kDebugLogLimit) {
        // Too long: start it again, empty.
        if (::ftruncate(fd, 0) != 0) {
          // The banner below is still appended; the file stays as it was.
        }
      }
      ::close(fd);
    }
  }
  std::string login;
  CComMethod::FormatLoginTime(login);
  CComMethod::WriteLog(std::string(114, '*'));
  CComMethod::WriteLog(login);
  CComMethod::WriteLog(std::string(115, '*'));
}

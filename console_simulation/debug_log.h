// Call logging of the console: CDebugLog writes one device-API call with all of its arguments to
// the console's debug log, one dumper per operation, named after it and taking its arguments.
//
// The log is switched and named in "common.ini" ([general] debuglog = "T", [general]
// debuglogfilename) and every line goes through CComMethod::WriteLog, the console's one log writer,
// which appends it with a line feed. With the switch off a dumper writes nothing.
//
// A dump is the call's signature as a header line, an empty line, then one line per argument and
// per field of every record argument, for example
//     mGetSystemConfiguration(CString &szDefaultName,SystemConfigurationData *pdsSystemConfigurationData)
//
//     szDefaultName=PS123456
//     pdsSystemConfigurationData->szDeviceName = Office
//     pdsSystemConfigurationData->bIPXSPXProtocol = 1
//     ...
// Lists are spelled out entry by entry from 0. Values of any length are written whole. Passwords
// and SNMP community strings are written as "****", as the device library's own log shows them.
// A null record or list pointer is written as one line "<parameter> = NULL".
#pragma once
#include <list>
#include <memory>
#include <string>

#include "device_client/api/print_server_utility.h"
#include "device_client/core/config/config_records.h"
#include "device_client/pjl/pjl_utility.h"

class CDebugLog {
 public:
  static constexpr const char* kRuntimeClassName = "CDebugLog";

  CDebugLog() = default;
  virtual ~CDebugLog() = default;
  CDebugLog(const CDebugLog&) = delete;
  CDebugLog& operator=(const CDebugLog&) = delete;
  // Dynamic creation by run-time class.
  static std::unique_ptr<CDebugLog> CreateObject() { return std::make_unique<CDebugLog>(); }
  virtual const char* GetRuntimeClassName() const { return kRuntimeClassName; }

  using Name = const std::string&;

  void PS_Browse(const BrowseAllPrintServerData* pdsBrowseAllPrintServerData,
                 const std::string& szCustomerFilter);
  void mInitializeLanComponent(int iProtocol, int iTimeOut);
  void mGetDeviceProtocol(Name szDefaultName, const config::ProtocolData* pdsProtocolData);
  void mGetSystemConfiguration(Name szDefaultName, const config::SystemConfigurationData* data);
  void mGetDevicePortType(Name szDefaultName, const int* iModelType);
  void mGetDeviceInformation(Name szDefaultName, const std::string& szDeviceInformation);
  void mGetPrinterStatusPassword(Name szDefaultName, const std::string& szPassword);
  void mGetPrinterStatus(Name szDefaultName, const std::string& szPrinterStatus);
  void mResetDevice(Name szDefaultName);
  void mResetDevice2(Name szDefaultName);
  void mRestoreFactoryDefault(Name szDefaultName);
  void mPrintTestPage(Name szDefaultName, int iPort);
  void mSetSystemConfiguration(Name szDefaultName, const config::SystemConfigurationData* data);
  void mGetSystemConfigurationToDefault(Name szDefaultName,
                                        const config::SystemConfigurationData* data);
  void mSetSystemConfigurationToDefault(Name szDefaultName);
  void mGetNetwareConfiguration(Name szDefaultName, const config::NetwareConfigurationData* data);
  void mSetNetwareConfiguration(Name szDefaultName, const config::NetwareConfigurationData* data);
  void mGetNetwareConfigurationToDefault(Name szDefaultName,
                                         const config::NetwareConfigurationData* data);
  void mScanAllFileServer(const std::list<std::string>& szFileServerNameList);
  void mScanNDSTree(const std::list<std::string>& szTreeNameList);
  void mSetNetwarePassword(Name szDefaultName, const std::string& szPassword);
  void mSetPassword(Name szDefaultName, const std::string& szPassword);
  void mGetNetBEUIConfiguration(Name szDefaultName, const config::NetBEUIConfigureData* data);
  void mSetNetBEUIConfiguration(Name szDefaultName, const config::NetBEUIConfigureData* data);
  void mGetNetBEUIConfigurationToDefault(Name szDefaultName,
                                         const config::NetBEUIConfigureData* data);
  void mGetAPPLETALKConfigurationToDefault(Name szDefaultName,
                                           const config::APPLETALKConfigurationData* data);
  void mSetAPPLETALKConfiguration(Name szDefaultName,
                                  const config::APPLETALKConfigurationData* data);
  void mGetAPPLETALKConfiguration(Name szDefaultName,
                                  const config::APPLETALKConfigurationData* data);
  void mGetTCPIPConfigurationToDefault(Name szDefaultName,
                                       const config::TCPIPConfigurationData* data);
  void mSetTCPIPConfiguration(Name szDefaultName, const config::TCPIPConfigurationData* data);
  void mGetTCPIPConfiguration(Name szDefaultName, const config::TCPIPConfigurationData* data);
  void mGetSerialPortConfigurationToDefault(Name szDefaultName,
                                            const config::SerialPortConfigurationData* data);
  void mGetSerialPortConfiguration(Name szDefaultName,
                                   const config::SerialPortConfigurationData* data);
  void mSetSerialPortConfiguration(Name szDefaultName,
                                   const config::SerialPortConfigurationData* data);
  // iPort is not written.
  void mGetLogicalPortConfigurationToDefault(Name szDefaultName, int iPort,
                                             const config::LogicalPrinterConfigurationData* data);
  void mGetLogicalPortConfiguration(Name szDefaultName, int iPort,
                                    const config::LogicalPrinterConfigurationData* data);
  void mSetLogicalPortConfiguration(Name szDefaultName, int iPort,
                                    const config::LogicalPrinterConfigurationData* data);
  void mSetSNMPConfiguration(Name szDefaultName, const config::SNMPConfigurationData* data);
  void mGetSNMPConfiguration(Name szDefaultName, const config::SNMPConfigurationData* data);
  void mGetSNMPConfigurationToDefault(Name szDefaultName,
                                      const config::SNMPConfigurationData* data);
  void mGetPJLConfiguration(Name szDefaultName, int iPort,
                            const PJLConfigurationData* pdsPJLConfigurationData);
  void mSetPJLEnvironmentVariable(Name szDefaultName, int iPort,
                                  const std::string& szVariableValue, int iPJLInqueryType);
  void mGetPJLStatus(Name szDefaultName, int iPort, const PJLStatusData* pdsPJLStatusData);
  void mAddCrossSegmentPrintServer(const std::string& szIpAddress,
                                   const BrowseAllPrintServerData* pdsCrossSegmentPrintServerData);
  void mSetIPAddress(Name szDefaultName, const std::string& szIPAddress,
                     const std::string& szGatewayAddress,
                     const std::string& szSubNetworkMaskAddress);
  void mQueryProtocol(std::string szDefaultName);
  void mSetAllLogicalPortConfiguration(Name szDefaultName, int iLogicalPortCount,
                                       const config::AllLogicalPrinter* pdsAllLogicalPrinter);
};

// Prepares the console's debug log: takes [general] debuglogfilename of "common.ini", creates the
// file when it does not exist and empties it when it is longer than kDebugLogLimit bytes, then
// writes through CComMethod::WriteLog (so only with the log switched on) a line of 114 '*', the
// login line of CComMethod::FormatLoginTime (its own line feed gives an empty line after it) and a
// line of 115 '*'. With no file named nothing is created. A relative name is taken relative to
// the current directory, as the log writer takes it.
constexpr long kDebugLogLimit = 512000;
void PrepareDebugLog();

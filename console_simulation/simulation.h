// Offline simulation of the console's device API: CSimulation answers the device operations from
// the settings file "ferrowutilsm.ini" in the Windows directory instead of from a print server, so
// that the console can be exercised without a box. It mirrors the device API operation by operation
// (same names, arguments and records).
//
// The settings file: [general] devicecount and InitLanReturncode; one section per simulated device,
// "device_0", "device_1", ..., each with its defaultname (the look-up key), devicename and
// printerport (what the browse lists), iModelType, the names of three text files (in the Windows
// directory) that hold its device information, password answer and printer status, and one key per
// record field ("pdsSystemConfigurationData.szDeviceName", "L3_pdsLogicalPrinterConfigurationData->
// szStringBeforeJob", "P1_AUTOCONT.szVariableValue", ...). [NDSTree] and [Fileserver] list names
// under the keys "0", "1", ...; [NewTCPIPDevice] is the device that an add by address reports.
//
// Nothing is cached: every operation reads the file afresh, so it may be edited by hand between
// calls. A missing, unreadable or damaged file, section or key reads as 0 or the empty text; texts
// are read with room for 511 characters (a longer value reads as its first 511). Reads never write.
// A write creates the file, section or key as needed and keeps the rest of the file.
//
// Result codes:
//    0  done; also when the device is not in the file (nothing is read or written then)
//   -1  the settings file could not be written (some keys of the record may have been written), or
//       the text file named for a device cannot be read (it is missing, not a plain file, or longer
//       than kMaxTextFileBytes)
//   -2  invalid argument, refused before anything is read or written: a null record or list, a
//       text value carrying a line break or another control character, a logical port outside 1..8
//       or a PJL port or variable index that names no key on a write
// mInitializeLanComponent returns the configured number and mQueryProtocol 1, 2, 4 or -1.
//
// Not thread-safe in the sense that two writers of different keys may interleave; each single key
// write replaces the file atomically.
#pragma once
#include <list>
#include <memory>
#include <string>

#include "device_client/api/print_server_utility.h"
#include "device_client/core/config/config_records.h"
#include "device_client/pjl/pjl_utility.h"

class CSimulation {
 public:
  static constexpr const char* kRuntimeClassName = "CSimulation";
  static constexpr const char* kSettingsFileName = "ferrowutilsm.ini";
  // The browse and the look-up consider at most this many device sections (the size of the
  // library's device table), whatever devicecount says.
  static constexpr int kMaxDevices = 384;
  // The scans return at most this many names, as the library's own scans do.
  static constexpr int kMaxScanNames = 128;
  // At most this many allowed values are read per PJL variable.
  static constexpr int kMaxPJLChoices = 256;
  // The largest text file a device's information, password or status answer is taken from.
  static constexpr long kMaxTextFileBytes = 256000;

  CSimulation() = default;
  virtual ~CSimulation() = default;
  CSimulation(const CSimulation&) = delete;
  CSimulation& operator=(const CSimulation&) = delete;
  // Dynamic creation by run-time class.
  static std::unique_ptr<CSimulation> CreateObject() { return std::make_unique<CSimulation>(); }
  virtual const char* GetRuntimeClassName() const { return kRuntimeClassName; }

  // 1 and the section's name when a device section's defaultname equals `name` exactly (case
  // matters; the lowest numbered section wins), else 0. An empty name is never found.
  int FindDeviceSection(const std::string& name, std::string& section);

  // ---- No look-up ----------------------------------------------------------------------------
  // [general] InitLanReturncode; the arguments are not used.
  int mInitializeLanComponent(int iProtocol, int iTimeOut);
  // Appends every device whose defaultname contains `filter` (case-sensitive; "*" and the empty
  // filter match every device) to the three lists, in section order. The lists are not cleared.
  int PS_Browse(BrowseAllPrintServerData* pdsBrowseAllPrintServerData, const std::string& filter);
  // Append [NDSTree] / [Fileserver] "0", "1", ... up to the first empty or missing value.
  int mScanNDSTree(std::list<std::string>& names);
  int mScanAllFileServer(std::list<std::string>& names);
  // Appends the [NewTCPIPDevice] entry (even when empty); the address is not used.
  int mAddCrossSegmentPrintServer(std::string& szIpAddress,
                                  BrowseAllPrintServerData* pdsCrossSegmentPrintServerData);
  // From [ConnectedProtocol] of "common.ini": 1 IPX/SPX, else 2 TCP/IP, else 4 NetBEUI, else -1.
  int mQueryProtocol(std::string szDefaultName);

  // ---- Reads of one device -------------------------------------------------------------------
  int mGetDeviceProtocol(const std::string& szDefaultName, config::ProtocolData* out);
  int mGetDevicePortType(const std::string& szDefaultName, int* iModelType);
  // The content (up to its first NUL byte) of the text file named by szDeviceInformation,
  // szPassword or szPrinterStatus. The name must be a plain file name in the Windows directory.
  int mGetDeviceInformation(const std::string& szDefaultName, std::string& text);
  int mGetPrinterStatusPassword(const std::string& szDefaultName, std::string& text);
  int mGetPrinterStatus(const std::string& szDefaultName, std::string& text);

  // ---- Configuration groups: read keys / write keys / fill with defaults ----------------------
  int mGetSystemConfiguration(const std::string& szDefaultName,
                              config::SystemConfigurationData* out);
  // Also writes the device name under "pdsNetwareConfigurationData->szDeviceName" and devicename.
  int mSetSystemConfiguration(const std::string& szDefaultName,
                              const config::SystemConfigurationData* in);
  int mGetSystemConfigurationToDefault(const std::string& szDefaultName,
                                       config::SystemConfigurationData* out);
  // An empty device name and 0 for the four protocol switches (devicename stays).
  int mSetSystemConfigurationToDefault(const std::string& szDefaultName);

  int mGetSerialPortConfiguration(const std::string& szDefaultName,
                                  config::SerialPortConfigurationData* out);
  int mSetSerialPortConfiguration(const std::string& szDefaultName,
                                  const config::SerialPortConfigurationData* in);
  int mGetSerialPortConfigurationToDefault(const std::string& szDefaultName,
                                           config::SerialPortConfigurationData* out);

  // iPort 1..8. The getter reads nothing for another port and returns 0; the setter refuses it.
  int mGetLogicalPortConfiguration(const std::string& szDefaultName, int iPort,
                                   config::LogicalPrinterConfigurationData* out);
  int mSetLogicalPortConfiguration(const std::string& szDefaultName, int iPort,
                                   const config::LogicalPrinterConfigurationData* in);
  int mGetLogicalPortConfigurationToDefault(const std::string& szDefaultName, int iPort,
                                            config::LogicalPrinterConfigurationData* out);
  // The keys of all eight logical ports; iLogicalPortCount is not used.
  int mSetAllLogicalPortConfiguration(const std::string& szDefaultName, int iLogicalPortCount,
                                      const config::AllLogicalPrinter* in);

  int mGetNetwareConfiguration(const std::string& szDefaultName,
                               config::NetwareConfigurationData* out);
  // Also writes szDeviceName under "pdsSystemConfigurationData.szDeviceName" and devicename.
  int mSetNetwareConfiguration(const std::string& szDefaultName,
                               const config::NetwareConfigurationData* in);
  int mGetNetwareConfigurationToDefault(const std::string& szDefaultName,
                                        config::NetwareConfigurationData* out);

  int mGetTCPIPConfiguration(const std::string& szDefaultName,
                             config::TCPIPConfigurationData* out);
  int mSetTCPIPConfiguration(const std::string& szDefaultName,
                             const config::TCPIPConfigurationData* in);
  int mGetTCPIPConfigurationToDefault(const std::string& szDefaultName,
                                      config::TCPIPConfigurationData* out);

  int mGetAPPLETALKConfiguration(const std::string& szDefaultName,
                                 config::APPLETALKConfigurationData* out);
  int mSetAPPLETALKConfiguration(const std::string& szDefaultName,
                                 const config::APPLETALKConfigurationData* in);
  int mGetAPPLETALKConfigurationToDefault(const std::string& szDefaultName,
                                          config::APPLETALKConfigurationData* out);

  int mGetNetBEUIConfiguration(const std::string& szDefaultName,
                               config::NetBEUIConfigureData* out);
  int mSetNetBEUIConfiguration(const std::string& szDefaultName,
                               const config::NetBEUIConfigureData* in);
  int mGetNetBEUIConfigurationToDefault(const std::string& szDefaultName,
                                        config::NetBEUIConfigureData* out);

  int mGetSNMPConfiguration(const std::string& szDefaultName, config::SNMPConfigurationData* out);
  int mSetSNMPConfiguration(const std::string& szDefaultName,
                            const config::SNMPConfigurationData* in);
  int mGetSNMPConfigurationToDefault(const std::string& szDefaultName,
                                     config::SNMPConfigurationData* out);

  // Store the password text itself under szPassword.
  int mSetNetwarePassword(const std::string& szDefaultName, const std::string& szPassword);
  int mSetPassword(const std::string& szDefaultName, const std::string& szPassword);

  // ---- Commands: 0, nothing touched, no look-up ------------------------------------------------
  int mResetDevice(const std::string& szDefaultName);
  int mResetDevice2(const std::string& szDefaultName);
  int mRestoreFactoryDefault(const std::string& szDefaultName);
  int mPrintTestPage(const std::string& szDefaultName, int iPort);
  int mSetIPAddress(const std::string& szDefaultName, const std::string& szIPAddress,
                    const std::string& szGatewayAddress, const std::string& szSubNetworkMaskAddress);
  int mSetSerialPortConfigurationToDefault(const std::string& szDefaultName);
  int mSetLogicalPortConfigurationToDefault(const std::string& szDefaultName, int iPort);
  int mSetNetwareConfigurationToDefault(const std::string& szDefaultName);
  int mSetTCPIPConfigurationToDefault(const std::string& szDefaultName);
  int mSetAPPLETALKConfigurationToDefault(const std::string& szDefaultName);
  int mSetNetBEUIConfigurationToDefault(const std::string& szDefaultName);
  int mSetSNMPConfigurationToDefault(const std::string& szDefaultName);

  // ---- PJL (ports 1, 2, 3 and 101; simulation_pjl.cpp) ----------------------------------------
  // The 28 variables of the port: value, read-only flag, type and the list of allowed values from
  // "<port>_<VARIABLE>.0" (the count) and ".1" ... Another port reads nothing and returns 0.
  int mGetPJLConfiguration(const std::string& szDefaultName, int iPort,
                           PJLConfigurationData* pdsPJLConfigurationData);
  // Writes "<port>_<VARIABLE>.szVariableValue" of the variable with index iPJLInqueryType; the
  // value is not checked against the variable's allowed values.
  int mSetPJLEnvironmentVariable(const std::string& szDefaultName, int iPort,
                                 const std::string& szVariableValue, int iPJLInqueryType);
  // The four status keys "<port>_pdsPJLStatusData->..." of the port.
  int mGetPJLStatus(const std::string& szDefaultName, int iPort, PJLStatusData* pdsPJLStatusData);

 private:
  int TextOfFileKey(const std::string& szDefaultName, const char* key, std::string& text);
  int StorePassword(const std::string& szDefaultName, const std::string& password);
};

// The wizard's device-API object, wizard::CPrintServerUtility: every device call of the setup
// wizard goes through one of it. It is the console's device-API class (device_client/api) with
// the wizard's transports (wizard_client/transport: its own device table and the UDP request
// transport), its key table, its records and its further operations: the name information, the
// password check, default configuration builders, group writers, the one configuration text of
// Finish with its apply step, and the browse of the discovery cache.
//
// What the two classes do alike (the log, the send wrapper's result mapping, the printer status,
// test pages, the NetWare server scans, the physical-port getter) is the console's code, reached
// through the protected base; the wizard's own log lines carry its numbers.
//
// Every operation addressing a box exists by default name and by device record; the record form
// sends to the record's box without a look-up in the device table. Result codes: 0 success, -1
// failure (a settings text not sent, a malformed reply line, a list query failed), -2 invalid
// argument or a value that cannot be written (nothing is sent), -3 out of memory, -4 the box is
// not in the device table, -5 network error, -6 a reply shorter than the block asked for; the read
// step passes the parser's -100 on as -1.
//
// Single-threaded: the wizard calls it from its user-interface thread.
#pragma once
#include <cstdint>
#include <list>
#include <string>

#include "device_client/api/print_server_utility.h"
#include "device_client/core/config/password_scramble.h"
#include "wizard_client/api/wizard_records.h"
#include "wizard_client/transport/wizard_transport.h"

namespace wizard {

// The browse lists of the device-selection page: list 0 default names, 1 device names, 2 model
// names, 3 IP addresses, 4 and 5 emptied when no box was found, 6 untouched, 7 the PC's own
// interface that saw the box.
struct BrowseLists {
  std::list<std::string> lists[8];
};

// One row of the whole-configuration browse: the device record, the first 20 bytes of the box's
// device-information block and its bytes 40-99.
struct BrowseConfigurationEntry {
  DeviceRecord record;
  std::uint8_t pidHead[20];
  std::uint8_t pidMiddle[60];
};
static_assert(sizeof(BrowseConfigurationEntry) == 144);

class CPrintServerUtility : protected ::CPrintServerUtility {
  using Base = ::CPrintServerUtility;

 public:
  // The longest password the shared encoding takes.
  static constexpr int kMaxPasswordLength = config::kMaxPasswordLength;
  static constexpr int kBrowseCapacity = 128;

  CPrintServerUtility();
  ~CPrintServerUtility() override;

  // ---- Start, stop, log ----------------------------------------------------------------------
  // Opens the log (when "utility.log" exists) and the wizard's transports: PSInit's failure bits.
  using Base::mInitializeLanComponent;
  using Base::mExitLanComponent;
  using Base::OpenLog;
  using Base::IsLoggingOn;
  using Base::LastDeviceName;
  using Base::LogAtLine;
  using Base::Lookup;
  using Base::ReplyBuffer;
  using Base::WriteLog;
  using Base::WriteLogLine;

  // ---- Send wrappers ---------------------------------------------------------------------------
  int SendResp(const std::string& name, const std::string& request, char* reply, int& replyLength);
  int SendRespToRecord(const DeviceRecord* record, const std::string& request, char* reply,
                       int& replyLength);

  // ---- Cache -----------------------------------------------------------------------------------
  void ClearConfiguration();
  int ReloadConfiguration(const std::string& name) override;
  using Base::SelectDevice;
  // Reads the box of the record into the cache; the device name of its block becomes the cached
  // system and NetWare names.
  int SelectDeviceRecord(const DeviceRecord* record);
  const config::DeviceConfigurationData& Cached() const { return m_Configuration; }
  const WizardCacheExtras& CachedExtras() const { return m_Extras; }

  // ---- Getters (each reads the box first) ----------------------------------------------------
  using Base::mGetAPPLETALKConfiguration;
  using Base::mGetDeviceProtocol;
  using Base::mGetNetwareConfiguration;
  using Base::mGetPhysicalPortConfiguration;
  using Base::mGetSystemConfiguration;
  using Base::mGetTCPIPConfiguration;
  int mGetSerialPortConfiguration(const std::string& name, SerialPortConfigurationData* out);
  // Logical printers are numbered 1..8.
  int mGetLogicalPortConfiguration(const std::string& name, int iPort,
                                   LogicalPrinterConfigurationData* out);
  int mGetNetBEUIConfiguration(const std::string& name, NetBEUIConfigureData* out);
  int mGetWirelessConfiguration(const std::string& name, WirelessConfigurationData* out);
  int mGetSNMPConfiguration(const std::string& name, SNMPConfigurationData* out);
  // The record forms: read the record's box, then copy as by name (the serial port's gives -1,
  // not -2, for a missing argument).
  int mGetSystemConfiguration(const DeviceRecord* record, SystemConfigurationData* out);
  int mGetNetwareConfiguration(const DeviceRecord* record, NetwareConfigurationData* out);
  int mGetTCPIPConfiguration(const DeviceRecord* record, TCPIPConfigurationData* out);
  int mGetSerialPortConfiguration(const DeviceRecord* record, SerialPortConfigurationData* out);
  int mGetLogicalPortConfiguration(const DeviceRecord* record, int iPort,
                                   LogicalPrinterConfigurationData* out);
  int mGetNetBEUIConfiguration(const DeviceRecord* record, NetBEUIConfigureData* out);
  int mGetWirelessConfiguration(const DeviceRecord* record, WirelessConfigurationData* out);
  int mGetSNMPConfiguration(const DeviceRecord* record, SNMPConfigurationData* out);
  int mGetAPPLETALKConfiguration(const DeviceRecord* record, APPLETALKConfigurationData* out);
  int mGetDeviceProtocol(const DeviceRecord* record, ProtocolData* out);
  // Physical port 0..3 (P1, P2, P3, serial port) of the record's box.
  int mGetPhysicalPortConfiguration(const DeviceRecord* record, int iPort,
                                    PhysicalPortConfigurationData* out);

  // ---- Commands --------------------------------------------------------------------------------
  // "9002:", 5000 ms, reload.
  int mResetDevice(const std::string& name);
  // "9002:" to the record (after reading it), 5000 ms; no reload.
  int mResetDevice(const DeviceRecord* record);
  int mSendCommand9030(const std::string& name);
  // "9030:" to the record (after reading it), 5000 ms; no reload.
  int mSendCommand9030(const DeviceRecord* record);
  // "9006:" (result ignored), restart and reload, then one more read.
  int mRestoreFactoryDefault(const std::string& name);
  // "9006:" to the record, then its restart (result ignored): the "9006:" send's result.
  int mRestoreFactoryDefault(const DeviceRecord* record);
  using Base::mGetDeviceExtendedInformation;
  using Base::mGetDeviceInformation;
  using Base::mGetPrinterStatus;
  using Base::mPrintTestPage;
  // The NetWare file servers, or directory trees, that answer the IPX service query: the list
  // takes their names in the order received. A query that fails, also one that found more names
  // than the 128 the list takes, gives -1 and leaves the list as it was.
  int mScanAllFileServer(std::list<std::string>& names);
  int mScanNDSTree(std::list<std::string>& names);
  // By record: "9010:" after reading the record's box; the reply text as it came (to its NUL).
  int mGetDeviceInformation(const DeviceRecord* record, std::string& text);
  // By record: "9020: " after reading the record's box; the reply text.
  int mGetPrinterStatus(const DeviceRecord* record, std::string& text);
  int mPrintTestPage(const DeviceRecord* record, int iPort);
  // "9037:" to the record: the first 144 bytes of the reply.
  int mGetDeviceExtendedInformation(const DeviceRecord* record, unsigned char* out144);
  // The set-address datagram by hardware address (from the default name); 0 when the box took it.
  int mSetIPAddress(const std::string& name, std::string ip, const std::string& gateway,
                    const std::string& mask);
  // By record: the hardware address comes from the record's default name.
  int mSetIPAddress(const DeviceRecord* record, std::string ip, const std::string& gateway,
                    const std::string& mask);

  // Model index 0..25 of a 3-byte model code; `known` false: the code is not in the table and
  // the index is the raw code (byte 0 lowest). 0, or -2 for a null argument.
  static int MapModelCode(const std::uint8_t* code, int* index, bool* known = nullptr);
  // The index variant of mGetDeviceModelIndex: 00 97 00 and 00 98 00 give 11, unknown -1.
  static int MapModelCodeStrict(const std::uint8_t* code);
  int mGetDeviceModelIndex(const std::string& name, int* out);
  // By record: MapModelCode's index (an unknown code stays raw); -1 for a missing argument.
  int mGetDeviceModelIndex(const DeviceRecord* record, int* out);
  // The port layout type from the cached block (no request; the name or record is only checked).
  int mGetDevicePortType(const std::string& name, int* iModelType);
  int mGetDevicePortType(const DeviceRecord* record, int* iModelType);

  // ---- Device information ----------------------------------------------------------------------
  // "9036:" + encoded password: 0 when the box accepts it, -1 when it refuses it, -2 for an empty
  // name or a password longer than kMaxPasswordLength or with control characters.
  int mVerifyPassword(const std::string& name, const std::string& password);
  int mVerifyPassword(const DeviceRecord* record, const std::string& password);
  int mGetDevicePID(const std::string& name, DevicePIDData* out);
  int mGetDevicePID(const DeviceRecord* record, DevicePIDData* out);
  // [0] device name, [1] "TRUE" when it is the long name of an extended block, [2] and [3] the
  // flags of the state byte.
  int mGetDeviceNameInformation(const std::string& name, std::string* out4);
  int mGetDeviceNameInformation(const DeviceRecord* record, std::string* out4);
  int mReadDeviceConfiguration(const std::string& name, AllConfigurationData* record);
  int mReadDeviceConfiguration(const DeviceRecord* record, AllConfigurationData* out);
  int mGetDeviceState(const std::string& name);
  int mGetDeviceState(const DeviceRecord* record);
  int mGetExtendedNameBlock(const std::string& name, std::uint8_t* block144, std::string& ip);
  int mGetExtendedNameBlock(const DeviceRecord* record, std::uint8_t* block144, std::string& ip);
  int mProbeExtendedCommand(const std::string& name);
  int mProbeExtendedCommand(const DeviceRecord* record);
  // The raw reply of any request in the caller's buffer of `capacity` bytes.
  int mSendDirectCommand(const std::string& name, const std::string& request, char* reply,
                         int* replyLength, int capacity);
  int mSendDirectCommand(const DeviceRecord* record, const std::string& request, char* reply,
                         int* replyLength, int capacity);
  int mGetDeviceIPAddress(const std::string& name, std::string& ip);
  int mGetDeviceIPAddress(const DeviceRecord* record, std::string& ip);
  // The reply readers of "9701:" (the block, then "IP:" up to its line end; -6 for a reply
  // shorter than the block) and "9010:" (the text after "IP Address: " up to the line end; -1
  // when the reply names none). Both read at most `length` bytes and stop at a NUL.
  static int ParseExtendedNameReply(const char* reply, int length, std::uint8_t* block144,
                                    std::string& ip);
  static int ParseDeviceIPAddress(const char* reply, int length, std::string& ip);
  // Decodes a "9007:" reply (at least 164 bytes): model name at 96, port values at 156 and 160,
  // the cache's capability flags. -2 for a null argument or a reply shorter than the block.
  int DecodeDevicePID(const char* reply, int length, DevicePIDData* out);
  static int GetModelName(const DevicePIDData& block, std::string& name);
  // [NewModel] of "Setupwizard.ini", key "%6X": 1 and the value, or 0 and the key itself.
  static int LookupNewModelName(int code, std::string& name);

  // ---- Default configuration builders ---------------------------------------------------------
  // (record out, make text?, text out). 0; -2 when the system text is asked for an empty name;
  // -1 for a logical printer outside 1..8.
  int DefaultSystemConfiguration(SystemConfigurationData* record, int makeText, std::string& text);
  int DefaultSerialPortConfiguration(SerialPortConfigurationData* record, int makeText,
                                     std::string& text);
  int DefaultLogicalPortConfiguration(int n, LogicalPrinterConfigurationData* record, int makeText,
                                      std::string& text);
  int DefaultNetwareConfiguration(const std::string& printServerName,
                                  NetwareConfigurationData* record, int makeText,
                                  std::string& text);
  int DefaultTCPIPConfiguration(TCPIPConfigurationData* record, int makeText, std::string& text);
  int DefaultAPPLETALKConfiguration(APPLETALKConfigurationData* record, int makeText,
                                    std::string& text);
  int DefaultNetBEUIConfiguration(NetBEUIConfigureData* record, int makeText, std::string& text);
  int DefaultSNMPConfiguration(SNMPConfigurationData* record, int makeText, std::string& text);
  int mGetSerialPortConfigurationToDefault(const std::string& name,
                                           SerialPortConfigurationData* out);
  int mSetSerialPortConfigurationToDefault(const std::string& name);
  int mGetTCPIPConfigurationToDefault(const std::string& name, TCPIPConfigurationData* out);
  int mSetTCPIPConfigurationToDefault(const std::string& name);
  int mGetNetBEUIConfigurationToDefault(const std::string& name, NetBEUIConfigureData* out);
  int mSetNetBEUIConfigurationToDefault(const std::string& name);
  int mGetAPPLETALKConfigurationToDefault(const std::string& name, APPLETALKConfigurationData* out);
  int mSetAPPLETALKConfigurationToDefault(const std::string& name);
  int mGetSNMPConfigurationToDefault(const std::string& name, SNMPConfigurationData* out);
  int mGetNetwareConfigurationToDefault(const std::string& name, NetwareConfigurationData* out);
  int mSetNetwareConfigurationToDefault(const std::string& name);
  // The record keeps the caller's name; the text is not sent.
  int mGetSystemConfigurationToDefault(const std::string& name, SystemConfigurationData* out);
  int mGetLogicalPortConfigurationToDefault(const std::string& name, int n,
                                            LogicalPrinterConfigurationData* out);
  int mSetLogicalPortConfigurationToDefault(const std::string& name, int n);
  int mSetSNMPConfigurationToDefault(const std::string& name);
  // The default system text names the box, and the fresh record it is built from has no name: the
  // builder refuses it, so both forms end with -2 (an empty name or a null record likewise) and
  // nothing is sent.
  int mSetSystemConfigurationToDefault(const std::string& name);
  int mSetSystemConfigurationToDefault(const DeviceRecord* record);
  // The record forms of the default readers: the record's box is read where the name form reads.
  int mGetSerialPortConfigurationToDefault(const DeviceRecord* record,
                                           SerialPortConfigurationData* out);
  int mGetTCPIPConfigurationToDefault(const DeviceRecord* record, TCPIPConfigurationData* out);
  int mGetNetBEUIConfigurationToDefault(const DeviceRecord* record, NetBEUIConfigureData* out);
  int mGetAPPLETALKConfigurationToDefault(const DeviceRecord* record,
                                          APPLETALKConfigurationData* out);
  int mGetSNMPConfigurationToDefault(const DeviceRecord* record, SNMPConfigurationData* out);
  int mGetNetwareConfigurationToDefault(const DeviceRecord* record, NetwareConfigurationData* out);
  int mGetSystemConfigurationToDefault(const DeviceRecord* record, SystemConfigurationData* out);
  int mGetLogicalPortConfigurationToDefault(const DeviceRecord* record, int n,
                                            LogicalPrinterConfigurationData* out);
  // The record forms of the default writers: the same text to the record's box, restarted by its
  // record (NetWare: the record's default name is the print-server name).
  int mSetSerialPortConfigurationToDefault(const DeviceRecord* record);
  int mSetTCPIPConfigurationToDefault(const DeviceRecord* record);
  int mSetNetBEUIConfigurationToDefault(const DeviceRecord* record);
  int mSetAPPLETALKConfigurationToDefault(const DeviceRecord* record);
  int mSetSNMPConfigurationToDefault(const DeviceRecord* record);
  int mSetNetwareConfigurationToDefault(const DeviceRecord* record);
  int mSetLogicalPortConfigurationToDefault(const DeviceRecord* record, int n);
  // Sends a group's default text and restarts the box (the ToDefault writers' last step).
  int SendDefaultText(const std::string& name, const std::string& text);
  int SendDefaultText(const DeviceRecord* record, const std::string& text);

  // ---- Group writers (send, then restart and reload) -----------------------------------------
  // The record forms send to the record's box and restart it by its record.
  int mSetSystemConfiguration(const std::string& name, const SystemConfigurationData* system);
  // By record: the text, 500 ms, then the record's restart (no rename in the device table).
  int mSetSystemConfiguration(const DeviceRecord* record, const SystemConfigurationData* system);
  int mSetSerialPortConfiguration(const std::string& name,
                                  const SerialPortConfigurationData* serial);
  int mSetSerialPortConfiguration(const DeviceRecord* record,
                                  const SerialPortConfigurationData* serial);
  int mSetLogicalPortConfiguration(const std::string& name, int iPort,
                                   const LogicalPrinterConfigurationData* printer);
  int mSetLogicalPortConfiguration(const DeviceRecord* record, int iPort,
                                   const LogicalPrinterConfigurationData* printer);
  int mSetNetwareConfiguration(const std::string& name, const NetwareConfigurationData* netware);
  int mSetNetwareConfiguration(const DeviceRecord* record, const NetwareConfigurationData* netware);
  int mSetTCPIPConfiguration(const std::string& name, const TCPIPConfigurationData* tcpip);
  // By record only the address lines 4000-4002 (each required) are written.
  int mSetTCPIPConfiguration(const DeviceRecord* record, const TCPIPConfigurationData* tcpip);
  int mSetAPPLETALKConfiguration(const std::string& name,
                                 const APPLETALKConfigurationData* appletalk);
  int mSetAPPLETALKConfiguration(const DeviceRecord* record,
                                 const APPLETALKConfigurationData* appletalk);
  int mSetNetBEUIConfiguration(const std::string& name, const NetBEUIConfigureData* netbeui);
  int mSetNetBEUIConfiguration(const DeviceRecord* record, const NetBEUIConfigureData* netbeui);
  int mSetSNMPConfiguration(const std::string& name, const SNMPConfigurationData* snmp);
  // By record an empty manager or trap-receiver address is refused (-2).
  int mSetSNMPConfiguration(const DeviceRecord* record, const SNMPConfigurationData* snmp);
  int mSetWirelessConfiguration(const std::string& name, const WirelessConfigurationData* wireless);
  int mSetWirelessConfiguration(const DeviceRecord* record,
                                const WirelessConfigurationData* wireless);
  // "9005:" / "9035:" + encoded password, then restart.
  int mSetPassword(const std::string& name, const std::string& password);
  int mSetNetwarePassword(const std::string& name, const std::string& password);
  int mSetPassword(const DeviceRecord* record, const std::string& password);
  int mSetNetwarePassword(const DeviceRecord* record, const std::string& password);

  // ---- The configuration of Finish and the apply step -----------------------------------------
  // iSetMode 1: with the "9035:" password line; 3: with the NetWare lines; 2: neither.
  // `keyGroups` leaves out what the caller did not collect: without kWizardNetBEUITexts no 5003,
  // 5101-5104 (whose empty lines would wipe the box's comment and share names), without
  // kWizardWireless no 7000-7013 (a box without a wireless interface).
  enum WizardKeyGroups : unsigned {
    kWizardNetBEUITexts = 0x1,
    kWizardWireless = 0x2,
    kWizardAllKeys = kWizardNetBEUITexts | kWizardWireless,
  };
  int mSetWizardConfiguration(const std::string& name, const WizardConfigurationData* settings,
                              int iSetMode, unsigned keyGroups = kWizardAllKeys);
  // By record the same text, then ApplySettingsToRecord.
  int mSetWizardConfiguration(const DeviceRecord* record, const WizardConfigurationData* settings,
                              int iSetMode, unsigned keyGroups = kWizardAllKeys);
  // "9002:", 800 ms; a box reached over NetBIOS is called by `newName` from now on when sameName
  // is 0, one reached over TCP/IP at `newAddress` when that is not empty; then the reload.
  int ApplySettings(const std::string& name, const std::string& newName, int sameName,
                    const std::string& newAddress = std::string());
  // System (0001, 0011, 0012, 0014), port names 0040-0042 (empty: P1-P3), handshakes 0501-0503,
  // the NetWare text with its checks, 4000 (required), 4001 and 4002 (left out when empty), 4020
  // (left out unless 0/1), 5000, 5001 (left out unless 0/1), 5002 (left out outside 0..255) and
  // the eight logical printers, in one request. Then, with `bRelocate` non-zero, the apply step
  // to the record's device name (the box is renamed); else the restart and reload. -2 for a bad
  // value (nothing sent), -1 for a failed send.
  int mSetAllConfiguration(const std::string& name, const AllConfigurationData* all,
                           std::uint8_t bRelocate);
  // By record the apply step is ApplySettingsToRecord, the plain restart the record's.
  int mSetAllConfiguration(const DeviceRecord* record, const AllConfigurationData* all,
                           std::uint8_t bRelocate);
  // The basic configuration: logical printer 8, system, TCP/IP and NetBEUI lines, then restart;
  // the read copies back the fields the write sends.
  int mSetBasicConfiguration(const std::string& name, const BasicConfigurationData* basic);
  int mGetBasicConfiguration(const std::string& name, BasicConfigurationData* basic);
  int mSetBasicConfiguration(const DeviceRecord* record, const BasicConfigurationData* basic);
  int mGetBasicConfiguration(const DeviceRecord* record, BasicConfigurationData* basic);
  // The apply step for a device record: read it, "9002:", 500 ms; a box reached over NetBIOS is
  // called by `newName` from now on when sameName is 0, one reached over TCP/IP at `newAddress`
  // when that is not empty; then the reload by the record's name.
  int ApplySettingsToRecord(const DeviceRecord* record, const std::string& newName,
                            std::uint8_t sameName, const std::string& newAddress = std::string());
  // "9700:": 0 when the box answers with at least one byte.
  int mProbeDevice(const std::string& name);
  int mProbeDevice(const DeviceRecord* record);

  // ---- Further whole-text writers --------------------------------------------------------------
  // The four lines of logical printers 1-3 (count 3) or 1-8 (count 8), then restart. Count other
  // than 3 or 8: -2; a line-feed switch other than 0/1: -1; a failed send: the send's code.
  int mSetAllLogicalPortConfiguration(const std::string& name, int iLogicalPortCount,
                                      const config::AllLogicalPrinter* printers);
  int mSetAllLogicalPortConfiguration(const DeviceRecord* record, int iLogicalPortCount,
                                      const config::AllLogicalPrinter* printers);
  // Port names 0040-0043 (empty: P1, P2, P3, SP), handshakes 0501-0504, switches 0511 and 0512
  // of the four ports (P1, P2, P3, serial port), then restart; a failed send: the send's code.
  int mSetPhysicalPortConfiguration(const std::string& name,
                                    const PhysicalPortConfigurationData* ports4);
  int mSetPhysicalPortConfiguration(const DeviceRecord* record,
                                    const PhysicalPortConfigurationData* ports4);
  // "4020 :Enable" or "4020 :Disable", then restart.
  int mSetAddressAssignment(const std::string& name, std::uint8_t enable);
  int mSetAddressAssignment(const DeviceRecord* record, std::uint8_t enable);
  // The TCP/IP text of mSetTCPIPConfiguration and manager 1's access (6012: 0 Read Only,
  // 1 Read/Write, 2 Not Accessible) and community (6013), then restart at the new address. By
  // record the same text, then the record's restart (the device table is left as it is).
  int mSetTCPIPAndManagerConfiguration(const std::string& name, const TCPIPConfigurationData* tcpip,
                                       int access, const std::string& community);
  int mSetTCPIPAndManagerConfiguration(const DeviceRecord* record,
                                       const TCPIPConfigurationData* tcpip, int access,
                                       const std::string& community);
  // The NetWare text, then the apply step with the box's new name.
  int mSetNetwareConfigurationAndApply(const std::string& name, const std::string& newName,
                                       const NetwareConfigurationData* netware, int sameName);
  int mSetNetwareConfigurationAndApply(const DeviceRecord* record, const std::string& newName,
                                       const NetwareConfigurationData* netware, int sameName);
  // "9006:" (not tested), the apply step with the box's new name, then one more read.
  int mRestoreFactoryDefaultAndApply(const std::string& name, const std::string& newName,
                                     int sameName);
  int mRestoreFactoryDefaultAndApply(const DeviceRecord* record, const std::string& newName,
                                     int sameName);
  // Zeroes the fields of the cached device-information block that a box sends (the decoded model
  // text at 96-155 stays).
  void ClearDevicePID();
  using Base::HexEncodeText;
  // The non-empty lines of a configuration text (a line feed ends a line, carriage returns are
  // dropped), appended to `lines`; at most maxLength bytes are read, and a NUL ends the text.
  // 0 when maxLength bytes were read (a last line without its line feed is dropped); -1 when a NUL
  // came first (likewise); -2 for a null or empty text or a maxLength below 1.
  static int SplitConfigurationText(const char* text, int maxLength, std::list<std::string>& lines);
  // The PC's host name and its first IPv4 address: true, or false when either is not known.
  static bool GetLocalHostAddress(std::string& hostName, std::string& address);

  // ---- Browse --------------------------------------------------------------------------------
  // The boxes of the discovery cache whose default name begins with `filter` ("*" or empty: all).
  int PS_Browse(BrowseLists* lists, const std::string& filter);
  // The live browses: every box that answers now (PS_BrowseRecord: only the record's box when it
  // answers, and the record takes that box's default name), each asked for its device
  // information; lists 0-2 take default name, device name (the long name where the box has one)
  // and model name.
  int PS_BrowseLive(BrowseLists* lists, const std::string& filter);
  int PS_BrowseRecord(BrowseLists* lists, const std::string& filter, DeviceRecord* record);
  // Up to `capacity` (at most 128) boxes of the live browse with their configuration read.
  int mBrowseAllConfiguration(BrowseConfigurationEntry* entries, int* count, int capacity);
  int mAddCrossSegmentPrintServer(std::string& ip, BrowseLists* lists);
  int mRegisterCrossSegmentPrintServer(std::string& ip);
  int mQueryProtocol(const std::string& name);
  int mQueryRecordProtocol(const DeviceRecord* record);

 protected:
  int TransportSend(const std::string& name, const std::string& request, char* reply,
                    int* replyLength, int capacity) override;
  int StartTransports(int iProtocol, int iTimeOut) override;
  void StopTransports() override;
  const char* SourceFile() const override;

 private:
  template <class Out, class Copy>
  int GetByRecord(const DeviceRecord* record, Out* out, Copy&& copy);
  // Select by name or record, then copy the group of the caller's record type out of the cache.
  template <class Out>
  int GetGroup(const std::string& name, Out* out);
  template <class Out>
  int GetGroup(const DeviceRecord* record, Out* out);
  void CopyLogicalPrinter(int iPort, LogicalPrinterConfigurationData& o) const;
  // Reads "9100:" and "9007:" through `send`; the block goes to `pid`.
  template <class Send>
  int ReadConfigurationWith(Send&& send, DevicePIDData* pid);
  // Where a request goes: the box of a default name or the box of a device record.
  struct Target {
    const std::string* name;
    const DeviceRecord* record;
    bool ok() const { return record != nullptr || (name != nullptr && !name->empty()); }
  };
  static Target To(const std::string& name) { return Target{&name, nullptr}; }
  static Target To(const DeviceRecord* record) { return Target{nullptr, record}; }
  // Runs `op` with the target's device record, or else with its default name (empty when there
  // is neither): `op` takes both, so each operation's name and record forms meet in one body.
  template <class Op>
  static int OnTarget(const Target& to, Op&& op) {
    static const std::string kNoName;
    if (to.record != nullptr) return op(to.record);
    return op(to.name != nullptr ? *to.name : kNoName);
  }
  int SendTo(const Target& to, const std::string& request, char* reply, int& replyLength);
  // The restart of each form: by name with its reload, by record without.
  int ResetTarget(const Target& to);
  // ApplySettings for a name, ApplySettingsToRecord for a record.
  int ApplyTo(const Target& to, const std::string& newName, int sameName,
              const std::string& newAddress);
  // Sends a settings text, forgets the cached box, and on success restarts it.
  int SendSettingsAndReset(const Target& to, const std::string& text);
  int SendSettingsAndReset(const std::string& name, const std::string& text);
  int SendSettingsAndResetToRecord(const DeviceRecord* record, const std::string& text);
  // The bodies behind both forms of the queries and of the whole-text writers.
  int RestartWith(const DeviceRecord* record, const char* request);
  // Reads the record's box, then asks it `request`: the reply text up to its first NUL.
  int TextAfterSelect(const DeviceRecord* record, const char* request, std::string& text);
  int VerifyPassword(const Target& to, const std::string& password);
  int NameInformation(const Target& to, std::string* out4);
  int DeviceState(const Target& to);
  int ExtendedNameBlock(const Target& to, std::uint8_t* block144, std::string& ip);
  int ProbeWith(const Target& to, const char* request, int answered);
  int DeviceIPAddress(const Target& to, std::string& ip);
  int DirectCommand(const Target& to, const std::string& request, char* reply, int* replyLength,
                    int capacity);
  int WriteWireless(const Target& to, const WirelessConfigurationData* w);
  int WriteWizard(const Target& to, const WizardConfigurationData* settings, int iSetMode,
                  unsigned keyGroups);
  int WriteAll(const Target& to, const AllConfigurationData* all, std::uint8_t bRelocate);
  int WriteBasic(const Target& to, const BasicConfigurationData* basic);
  int ReadBasic(const Target& to, BasicConfigurationData* basic);
  int WritePhysicalPorts(const Target& to, const PhysicalPortConfigurationData* ports);
  int WriteTCPIPAndManager(const Target& to, const TCPIPConfigurationData* tcp, int access,
                           const std::string& community);
  int WriteNetwareAndApply(const Target& to, const std::string& newName,
                           const NetwareConfigurationData* nw, int sameName);
  int FactoryDefaultAndApply(const Target& to, const std::string& newName, int sameName);
  // The group writers behind both forms: check, build, send, restart.
  int WriteGroup(const Target& to, const SerialPortConfigurationData* s);
  int WriteGroup(const Target& to, const NetwareConfigurationData* nw);
  int WriteGroup(const Target& to, const APPLETALKConfigurationData* a);
  int WriteGroup(const Target& to, const NetBEUIConfigureData* nb);
  int WriteGroup(const Target& to, const SNMPConfigurationData* s);
  int WriteAllLogical(const Target& to, int iLogicalPortCount,
                      const config::AllLogicalPrinter* printers);
  // "9002:", the wait, the device table's record following the box's new NetBIOS name or IP
  // address (either may be empty), then the reload.
  int RestartAndReload(const std::string& name, std::int64_t waitMs, const std::string& nbName,
                       const std::string& ip);
  int DecodeInto(int length, DevicePIDData* out);
  int CachedPortType(int* iModelType) const;
  // "KKKK:" + the encoded password + "\n"; false for a password over 79 bytes or with control
  // characters.
  static bool PasswordRequest(const char* command, const std::string& password,
                              std::string& request);
  int SendPasswordAndReset(const Target& to, const char* command, const std::string& password);

  WizardCacheExtras m_Extras;
};

}  // namespace wizard

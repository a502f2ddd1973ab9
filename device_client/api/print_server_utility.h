// The console's device-API object: every named operation on a print server (read its
// configuration, write settings back, restart it, set its password, ask for its status) goes
// through one CPrintServerUtility (in the console: its derived CPJLUtility). It owns the reply
// buffer that every request uses, an optional log file ("utility.log" in the current directory,
// written only when that file already exists) and a cached copy of the configuration of the box
// read last. Every getter reads the box afresh first.
//
// Result codes of every operation:
//     0  success
//    -1  the library failed in an unexpected way, malformed configuration text, a settings
//        command whose send failed
//    -2  invalid argument (empty name or request, null output, port out of range, a value that
//        cannot be written: nothing is sent)
//    -3  out of memory or another exception while working
//    -4  the box is not in the library's device table
//    -5  no connection, or the box did not answer in time
//    -7  the box's device-information block carries no capability bits
//
// Single-threaded: the console calls it from its user-interface thread only.
#pragma once
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <list>
#include <map>
#include <memory>
#include <functional>
#include <string>

#include "device_client/access/access.h"
#include "device_client/core/config/config_records.h"

// The result of a browse: five parallel lists. Row i of each list describes one box.
struct BrowseAllPrintServerData {
  std::list<std::string> szDefaultName;  // the name the access library lists the box under
  std::list<std::string> szDeviceName;   // the name shown to the user
  std::list<std::string> szPortType;     // the model text
  std::list<std::string> szReserved1;    // left empty by the console
  std::list<std::string> szReserved2;    // left empty by the console
};

// Common root of the utility classes; carries nothing of its own.
class CUtilityObject {
 public:
  virtual ~CUtilityObject() = default;
};

class CPrintServerUtility : public CUtilityObject {
 public:
  static constexpr int kReplyBufferSize = 10240;
  static constexpr int kExtendedInfoSize = 144;
  static constexpr int kMaxModelIndex = 23;
  static constexpr const char* kLogFileName = "utility.log";

  CPrintServerUtility();
  ~CPrintServerUtility() override;
  CPrintServerUtility(const CPrintServerUtility&) = delete;
  CPrintServerUtility& operator=(const CPrintServerUtility&) = delete;

  // ---- Start and stop ----------------------------------------------------------------------
  // Opens the log (when "utility.log" exists) and starts the access library's transports.
  // Returns PSInit's failure bits unchanged (0x11 IPX/SPX, 0x12 TCP/IP, 0x14 NetBIOS).
  virtual int mInitializeLanComponent(int iProtocol, int iTimeOut);
  // Closes the transports and frees the reply buffer.
  void mExitLanComponent();

  // ---- Pointer map (used by the PJL extension) ---------------------------------------------
  virtual bool Lookup(void* key, void*& value) const;
  void SetAt(void* key, void* value) { m_PointerMap[key] = value; }
  bool RemoveKey(void* key) { return m_PointerMap.erase(key) != 0; }

  // ---- Log ---------------------------------------------------------------------------------
  // Empties the last device name, prepares the reply buffer and opens "utility.log" when it
  // exists (banner written). 0; -1 when the file exists but cannot be opened; -3 when the
  // buffer cannot be allocated.
  int OpenLog();
  bool IsLoggingOn() const { return m_bLogging != 0; }
  // The text and a line end, when logging is on. 0, or -3 on an exception.
  int WriteLog(const std::string& text);
  // "tag, number, message" and a line end, when logging is on. A null tag or message: -1.
  int WriteLogLine(const char* tag, int number, const char* message);
  // WriteLogLine with this object's source tag.
  int LogAtLine(int number, const char* message);

  // ---- Send wrappers -----------------------------------------------------------------------
  // One request to the box `name`; the reply goes into `reply` (which must hold
  // kReplyBufferSize bytes; callers pass ReplyBuffer()) and its length into replyLength.
  // 0, -1 (library FAIL or an unexpected code, -6 included), -2 (empty name or request, no
  // buffer), -3, -4 (not found), -5 (network).
  int SendResp(const std::string& name, const std::string& request, char* reply,
               int& replyLength);
  // The same for the direct-command dialog (its own log line numbers).
  int mSendDirectCommand(const std::string& name, const std::string& request, char* reply,
                         int& replyLength);
  // The object's reply buffer: written by the send wrappers only, which zero it before each
  // request (as far as the previous reply reached; the rest is zero already).
  char* ReplyBuffer() { return m_pReplyBuffer.get(); }

  // Upper-case hexadecimal of the bytes before the first NUL within capacity: 0; -2 (out left
  // empty) when there are none or no NUL occurs within capacity; -3 on an exception.
  int HexEncodeText(const unsigned char* bytes, int capacity, std::string& out);

  // ---- Cache -------------------------------------------------------------------------------
  void ClearConfiguration();
  // Clears the cache and reads the box into it ("9100:" then "9007:"). Every selection, restart
  // and getter reads through it, so a derived device library reads with its own dialect.
  virtual int ReloadConfiguration(const std::string& name);
  int SelectDevice(const std::string& name);
  const config::DeviceConfigurationData& CachedConfiguration() const { return m_Configuration; }
  const std::string& LastDeviceName() const { return m_szLastDeviceName; }

  // ---- Getters (each reads the box first) --------------------------------------------------
  int mGetDeviceProtocol(const std::string& name, config::ProtocolData* out);
  int mGetSystemConfiguration(const std::string& name, config::SystemConfigurationData* out);
  int mGetLogicalPortConfiguration(const std::string& name, int iPort,
                                   config::LogicalPrinterConfigurationData* out);
  int mGetPhysicalPortConfiguration(const std::string& name, int iPort,
                                    config::PhysicalPortConfigurationData* out);
  int mGetNetwareConfiguration(const std::string& name, config::NetwareConfigurationData* out);
  int mGetTCPIPConfiguration(const std::string& name, config::TCPIPConfigurationData* out);
  int mGetAPPLETALKConfiguration(const std::string& name,
                                 config::APPLETALKConfigurationData* out);
  int mGetNetBEUIConfiguration(const std::string& name, config::NetBEUIConfigureData* out);
  int mGetWirelessConfiguration(const std::string& name,
                                config::WirelessConfigurationData* out);
  int mGetAllConfiguration(const std::string& name, config::AllConfigurationData* out);
  // Model index 0..23 of the box (refined by its port counts), or its raw 24-bit model code.
  int mGetDevicePortType(const std::string& name, int* out);

  // ---- Commands ----------------------------------------------------------------------------
  // "9002:", 5000 ms, reload.
  int mResetDevice(const std::string& name);
  // "9002:"; the library's record of a box reached over NetBIOS takes newName as its session
  // name (sameName 0: the box was renamed; otherwise newName is the name it already answers
  // under); 4000 ms (6000 ms for model codes 00 B5 00 and 00 B6 00); reload of `name`.
  int ApplySettings(const std::string& name, const std::string& newName, int sameName);
  // "9005:" + encoded password; then mResetDevice. A password over 45 bytes (its encoding could
  // pass the 100 digits a box reads) or with control characters: -2, nothing sent. A failed send:
  // -1.
  int mSetPassword(const std::string& name, const std::string& password);
  // "9006:" (result ignored), then ApplySettings with the same name. Empty name: -1.
  int mRestoreFactoryDefault(const std::string& name);
  int mGetDevicePID(const std::string& name, config::DevicePIDData* out);
  // Decodes a "9007:" reply into out (model text, decoded port counts) and the cache's
  // capability record. -2 for a null reply or out or a length below 1; -7 (after the copy) when
  // the block carries no capability bits.
  int DecodeDevicePID(const char* reply, int length, config::DevicePIDData* out);
  int mGetDeviceExtendedInformation(const std::string& name, unsigned char* out144);
  int mGetDeviceInformation(const std::string& name, std::string& text);
  int mGetPrinterStatus(const std::string& name, std::string& text);
  // iPort 1, 2, 3 (parallel ports) or 101 (serial port); anything else -2 without traffic.
  int mPrintTestPage(const std::string& name, int iPort);
  // Six configuration lines (0001, 0011-0014, 0019), then ApplySettings.
  int mSetSystemConfiguration(const std::string& name,
                              const config::SystemConfigurationData* system);
  // "9100:" parsed into the cache, then "9007:" into record->dsDevicePID.
  int mReadDeviceConfiguration(const std::string& name, config::DeviceConfigurationData* record);
  // The whole configuration (groups chosen by caps) in one request, then ApplySettings
  // (nameChanged nonzero) or mResetDevice.
  int mSetAllConfiguration(const std::string& name, const config::AllConfigurationData* settings,
                           unsigned char nameChanged, const config::ProtocolData& caps);

  // ---- Device lists (browse_ops.cpp) ---------------------------------------------------------
  int PS_Browse(BrowseAllPrintServerData& lists, const std::string& pattern);
  int mAddCrossSegmentPrintServer(std::string& ipAddress, BrowseAllPrintServerData* lists);
  // The same with the caller's checks first: the box is asked without storing anything, its
  // names and model text go to *lists, and only when accept(*lists) is true is it added as above.
  // kAddRefusedByCaller when accept refused (nothing stored).
  static constexpr int kAddRefusedByCaller = 1;
  int mAddCrossSegmentPrintServer(std::string& ipAddress, BrowseAllPrintServerData* lists,
                                  const std::function<bool(const BrowseAllPrintServerData&)>& accept);
  int mQueryProtocol(const std::string& name);

  // NetWare file servers and NDS trees by SAP query (names in the order heard, at most 128):
  // 0, -1 when the query failed (the list is then left as it was), -3 on an exception.
  int mScanAllFileServer(std::list<std::string>& names);
  int mScanNDSTree(std::list<std::string>& names);

  // ---- Model tables ------------------------------------------------------------------------
  // Model index 0..23 of the three code bytes, or the raw code b4 | b5 << 8 | b6 << 16.
  static int ModelIndexFromCode(std::uint8_t b4, std::uint8_t b5, std::uint8_t b6);
  // Display text of a model index; a raw code (above 23) is looked up with LookupNewModelName.
  static std::string ModelName(int indexOrCode);
  // The browse list's variant: another text for index 16, everything above 21 looked up.
  static std::string BrowseModelName(int indexOrCode);
  // [NewModel] of "common.ini", key "%6X" of the code: 1 and the value, or 0 and the key itself.
  static int LookupNewModelName(int code, std::string& text);
  // Model index refined by the block's port counts (byte 9 low nibble, byte 10 top bits).
  static int RefinedPortType(const config::DevicePIDData& block);
  // The device-information text as shown: cut after its last byte in 32..127 (searched from the
  // end down to the second byte) and at its first NUL.
  static std::string TrimInformationText(const char* reply, int length);

 protected:
  // Runs f and turns an exception into -3.
  template <class F>
  static int Guarded(F&& f) noexcept;
  // The test-page command of a port (1, 2, 3, 101); "" for any other.
  static const char* TestPageRequest(int iPort);
  // The capability flags of a device-information block (bytes 42 and 43); bNetwareNDS and the
  // reserved bytes are left as they are.
  static void DecodeCapabilities(const unsigned char* block, config::ProtocolData& p);
  // One SAP query (SAP_QUERY_FILE_SERVER or SAP_QUERY_NDS_TREE) into a list of at most 128 names,
  // in the order heard: 0, or -1 when the query failed, -3 on an exception; the list is then left
  // as it was. A query that found more names than fit either lists the first 128 or, with
  // `fullListFails`, is a failure as any other.
  static int ScanSapNames(int type, std::list<std::string>& names, bool fullListFails);
  // The tag of the coded log lines: the upper-cased file name and extension of a source path.
  static std::string SourceTagOf(const char* path);

  int SendWithLines(const std::string& name, const std::string& request, char* reply,
                    int& replyLength, const int (&lines)[6]);
  // The transports: the access library's PSInit and PSExit. A derived device library with
  // transports of its own starts and stops those.
  virtual int StartTransports(int iProtocol, int iTimeOut);
  virtual void StopTransports();
  // The source file whose name tags the coded log lines.
  virtual const char* SourceFile() const;
  // The transport behind every send wrapper: the access library's PSISendResp. A derived device
  // library with a device table of its own sends through its own.
  virtual int TransportSend(const std::string& name, const std::string& request, char* reply,
                            int* replyLength, int capacity);
  // SendWithLines with the transport call given: `targetKnown` false is an invalid argument.
  template <class Call>
  int SendThrough(bool targetKnown, const std::string& request, char* reply, int& replyLength,
                  const int (&lines)[6], Call&& call);
  template <class Out, class Copy>
  int GetAfterSelect(const std::string& name, Out* out, Copy&& copy);
  // Selects the box (reading its configuration into the cache), then sends it the request; the
  // reply is in ReplyBuffer().
  int SendAfterSelect(const std::string& name, const char* request, int& replyLength);
  int ApplyRestartWait(const std::string& name);

  int m_bLogging = 0;
  std::string m_szLogPath;
  std::FILE* m_pLogFile = nullptr;
  std::string m_szSourceTag;
  std::string m_szLastDeviceName;
  std::map<void*, void*> m_PointerMap;
  std::unique_ptr<char[]> m_pReplyBuffer;
  int m_nReplyDirty = 0;  // leading bytes of the reply buffer that may be non-zero
  config::DeviceConfigurationData m_Configuration;
  // A new IP address that the box takes at its next restart (written by mSetAllConfiguration):
  // the library's record follows it once "9002:" has been accepted.
  std::string m_szPendingAddress;

 private:
  void CloseLog();
  void TakePendingAddress(const std::string& name, const char* newNbName);
};

template <class Call>
int CPrintServerUtility::SendThrough(bool targetKnown, const std::string& request, char* reply,
                                     int& replyLength, const int (&lines)[6], Call&& call) {
  if (!targetKnown || request.empty() || reply == nullptr || !m_pReplyBuffer) {
    LogAtLine(lines[0], "Invalid argument");
    return -2;
  }
  try {
    replyLength = 0;
    // The whole buffer is zero before the request: beyond the part an earlier reply may have
    // filled it is zero already, so only that part is cleared.
    std::memset(m_pReplyBuffer.get(), 0, static_cast<std::size_t>(m_nReplyDirty));
    m_nReplyDirty = 0;
    const int rc = call(reply, &replyLength, kReplyBufferSize);
    if (reply == m_pReplyBuffer.get()) {
      // A failed exchange may have left any part of the reply behind.
      m_nReplyDirty = rc == 0 && replyLength >= 0 && replyLength <= kReplyBufferSize
                          ? replyLength
                          : kReplyBufferSize;
    }
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

template <class F>
int CPrintServerUtility::Guarded(F&& f) noexcept {
  try {
    return f();
  } catch (...) {
    return -3;
  }
}

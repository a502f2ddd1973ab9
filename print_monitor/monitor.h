// Inside the print monitor "Vardon Print Server": the port list, the port records, the NetBIOS
// layer, the job protocol and the banner page. The library exports only DllEntryPoint and
// InitializeMonitorEx (exports.cpp); everything else is reached through the monitor table.
#pragma once
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "device_client/core/ncb/ncb.h"
#include "platform/spooler/winspool.h"

namespace brandel {

// Port flags.
constexpr DWORD kPortBusy = 0x01;
constexpr DWORD kPortLpt1 = 0x02;
constexpr DWORD kPortCom = 0x04;
constexpr DWORD kPortFile = 0x08;
constexpr DWORD kPortBannerPending = 0x10;

// Printer status words.
constexpr DWORD kStatusOk = 0;
constexpr DWORD kStatusNetwork = 0x10;
constexpr DWORD kStatusOffline = 0x800;
constexpr DWORD kStatusPaperOut = 0x1000;

constexpr std::size_t kMaxUserName = 13;
constexpr std::size_t kMaxDeviceName = 16;
constexpr std::size_t kMaxPortName = 79;
constexpr std::size_t kBannerSize = 1536;

// One port's registry record; every call works on a record of its own.
struct PortRegistryData {
  char szDeviceName[kMaxDeviceName + 1] = {};
  BYTE bLanaNum = 0;
  BYTE bPort = 0;
  DWORD dwBannerPage = 0;
  DWORD dwPostScript = 0;
  char szUserName[kMaxUserName + 1] = {};
  WORD wRegiRetry = 50;
  WORD wNetTimeout = 0;
  BYTE bBoxType = 0;
  // Filled by the port dialogs from the box's answers, never stored.
  long dwDeviceNumber = 0;
  WORD wOnlineMask = 0;
};

// One port of the monitor's port list.
struct PortEntry {
  WORD wSignature = 0x4F50;
  DWORD dwSize = 0;
  PortEntry* pNext = nullptr;
  std::string pszName;
  std::string pszDescription;
  DWORD bFlags = 0;
  HANDLE hPrinter = nullptr;
  DWORD dwTransmissionRetryTimeout = 0;
  DWORD dwRetryStart = 0;
  BYTE bSession = 0;
  char szLocalName[17] = {};
  // The port's registry record, as ApplyPortSettings last gave it.
  PortRegistryData record;
  WORD wMaxChunk = 0;
  DWORD dwStatus = 0;
  DWORD dwWaiting = 0;
  // Of the banner of the current job: bytes already accepted by the box.
  std::size_t dwBannerSent = 0;
  std::recursive_mutex csPort;
  NbEvent hReady{true, true};
};

// The monitor's strings and its message box.
void RegisterMonitorStrings();
// Formats string `textId` with the arguments and shows it with caption 700; returns the answer.
int PortMessageBox(HWND owner, UINT style, int textId, ...);
std::string LoadMonitorString(int id);

// Port list (monitor_entry.cpp).
std::recursive_mutex& MonitorLock();
PortEntry* CreatePortEntry(const char* name, const char* description);
BOOL RemovePortEntry(const char* name);
PortEntry* FindPortEntry(const char* name);       // under MonitorLock()
PortEntry* FindPortExact(const char* name);       // under MonitorLock()
// Empties the port list, as a freshly loaded monitor has it. For tests that run one monitor after
// another in a single process; no port may be in use.
void ClearPortListForTesting();
bool IsDevicePortName(const char* name, int mask);
// A port name the monitor accepts: 1..79 characters, no '\', ',' or control characters.
bool IsValidPortName(const char* name);
extern const char* const kPortsKey;

// Port records (port_registry.cpp).
bool LoadPortSettings(HWND window, const char* portName, PortRegistryData& record);
int SavePortSettings(HWND window, const char* portName, const PortRegistryData& record, bool editMode);
void ApplyPortSettings(const PortRegistryData& record, PortEntry& port);
int IsPortKeyAbsent(const char* portName);
// One "PS_%d" value of the port-adding program's hand-over record ("port,device,index,lana,boxtype",
// blanks or commas between): false when a token is missing or not what it must be.
bool ParseHandOverRecord(const char* text, std::string& portName, PortRegistryData& record);
BOOL AddPort(LPSTR pName, HWND hWnd, LPSTR pMonitorName);
BOOL ConfigurePort(LPSTR pName, HWND hWnd, LPSTR pPortName);

// NetBIOS layer (monitor_netbios.cpp).
// The device-information request in the management protocol's framing: the discovery datagram
// and the dialogs' question to a called box.
inline constexpr std::uint8_t kDeviceInfoRequest[10] = {'@', 0, 6, 0, '9', '0', '0', '7', ':', '\n'};
int SessionSend(UCHAR session, const void* buffer, std::size_t length);
// One message of `head` and `body`: the bytes sent (head and body), or -1.
int SessionSend(UCHAR session, const void* head, std::size_t headLength, const void* body, std::size_t bodyLength);
int SessionReceive(UCHAR session, void* buffer, std::size_t length);
// The current LANA's local name and its number, added on first use. *serviceDown (when given) is
// set when the machine's NetBIOS service could not be reached or started: no name can be added.
bool GetAvailableName(NCB* ncb, char (&name)[17], UCHAR* number, bool* serviceDown = nullptr);
// The same, telling the user (over `owner`) when there is no name: message 612, or, when
// `serviceDown` is given and the NetBIOS service is down, message 614 (and *serviceDown set).
bool GetAvailableNameOrTell(HWND owner, NCB* ncb, char (&name)[17], UCHAR* number,
                            bool* serviceDown = nullptr);
// The monitor's local names end in 0x01 + index (the device libraries' in 0x80 + index).
constexpr std::uint8_t kLocalNameSuffixBase = 0x01;
inline void BuildLocalName(const std::string& computerName, int index, char (&name)[17]) {
  core::FormatLocalName(computerName.c_str(), index, name, kLocalNameSuffixBase);
}
using core::FormatDeviceName;
void AllocateNameSlot(BYTE lana);
// Forgets every LANA's local name, as a freshly loaded monitor has none. For tests that run one
// NetBIOS set-up after another in a single process.
void ClearNameSlotsForTesting();

struct BrowsedDevice {
  BYTE lana = 0;
  char name[16] = {};  // 15 bytes of the box's name and a terminator
};
constexpr std::size_t kMaxBrowsedDevices = 128;
int BrowseDevices(int mode, std::vector<BrowsedDevice>& list, BYTE lana, const char* name);
int FindDeviceLana(const char* name, BYTE lana);
bool GetOldNameSetting();
void BuildGroupName(char (&name)[17]);

// The port dialogs (port_dialogs.cpp), shown through the host's dialog service; without one
// there are no dialogs.
bool HasPortDialogs();
// Dialog 601 in add mode: fills `record` and `portName`; false on Cancel (or with no dialogs).
bool ShowNewPortDialog(HWND owner, PortRegistryData& record, std::string& portName);
// Dialog 601 in edit mode for `portName`, on the loaded `record`; true when OK changed it.
bool ShowEditPortDialog(HWND owner, const char* portName, PortRegistryData& record);
// AddPort's interactive path: 1 when a port was made, else 0 (last error 1223 on Cancel).
int CreatePortWithDialog(HWND owner);
// Calls the box on `lana` and fills BoxType, device number and on-line mask of `record`;
// false after the failure's message.
bool QueryDeviceInfo(HWND owner, const char* deviceName, BYTE lana, PortRegistryData& record);

// The box's print-channel commands (the job protocol, and the port dialogs' printer-state question):
// a 5-byte header (command, 0, data length + 1 low byte first, port) and an 8-byte reply each.
constexpr BYTE kStatusCommand = 0x54;
constexpr std::size_t kCommandHeaderSize = 5;
constexpr std::size_t kCommandReplySize = 8;
inline void PutCommandHeader(BYTE* out, BYTE command, std::size_t dataLength, BYTE port) {
  out[0] = command;
  out[1] = 0;
  out[2] = static_cast<BYTE>((dataLength + 1) & 0xFF);
  out[3] = static_cast<BYTE>((dataLength + 1) >> 8);
  out[4] = port;
}

// The job protocol (print_job.cpp).
BOOL StartDocPort(HANDLE hPort, LPSTR pPrinterName, DWORD JobId, DWORD Level, LPBYTE pDocInfo);
BOOL WritePort(HANDLE hPort, LPBYTE pBuffer, DWORD cbBuf, LPDWORD pcbWritten);
BOOL ReadPort(HANDLE hPort, LPBYTE pBuffer, DWORD cbBuffer, LPDWORD pcbRead);
BOOL EndDocPort(HANDLE hPort);
int SendPrintData(PortEntry& port, const BYTE* data, std::size_t count, std::size_t* written);

// The banner page (banner.cpp).
std::size_t BuildBanner(bool postScript, const char* userName, char* buffer);
void RenderBannerText(const char* name, char* buffer);
int SendBanner(PortEntry& port);

// The monitor table entries of monitor_entry.cpp.
BOOL EnumPorts(LPSTR pName, DWORD Level, LPBYTE pPorts, DWORD cbBuf, LPDWORD pcbNeeded, LPDWORD pcReturned);
BOOL OpenPort(LPSTR pName, PHANDLE pHandle);
BOOL ClosePort(HANDLE hPort);
BOOL DeletePort(LPSTR pName, HWND hWnd, LPSTR pPortName);
BOOL InitializeMonitor(LPSTR pRegistryRoot, LPMONITOR pMonitor);
void ProcessAttach(HANDLE module);

}  // namespace brandel

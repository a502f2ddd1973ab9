// The console's shared state: the one device object, the selection state of the device list, the
// configuration records the settings pages show, the named-event handles and the windows that
// the dialogs and the view reach each other through. User-interface thread only.
#pragma once
#include <array>
#include <string>

#include "console_pages/page_records.h"
#include "device_client/core/config/config_records.h"
#include "device_client/pjl/pjl_utility.h"
#include "platform/named_objects/named_objects.h"

class CMainMenuDlg;
class CPellamView;
namespace ui {
class CDialog;
class CFrameWnd;
}  // namespace ui

constexpr int kMaxListedDevices = 384;

// Selection state.
extern std::array<std::string, kMaxListedDevices> g_szDefaultNames;
extern std::array<std::string, kMaxListedDevices> g_szDeviceNames;
extern int g_iSelectedItem;
extern std::string g_szDefaultName;
extern std::string g_szDeviceName;
extern std::string g_szListedDeviceName;
extern int g_iModelType;
extern int g_iFirmwareNumber;

// Copies a whole configuration read from the box into the opened box's records
// (console_pages/page_records.h).
void StoreConfiguration(const config::AllConfigurationData& all);

// Windows.
extern CMainMenuDlg* g_pMainMenuDlg;
extern ui::CDialog* g_pCurrentPage;
extern int g_iCurrentTab;
ui::CFrameWnd* MainFrame();

// Named events: the console's presence event and the scanner's pause event.
extern HANDLE g_hAdminEvent;
extern HANDLE g_hPauseEvent;
// The scanner creates the pause event; a console that started before it opens it on first use,
// so pausing works for the whole run. Signalled: the scanner may scan.
void PauseScanner();   // ResetEvent
void ResumeScanner();  // SetEvent

// The protocol flags of [ConnectedProtocol] (TCP/IP 0x02, IPX/SPX 0x01, NetBEUI 0x04).
int ConnectedProtocolFlags();
// True when mInitializeLanComponent's result says that every transport failed.
bool EveryTransportFailed(int result);
// Restarts the device library with the connected protocols and time-out of the settings file:
// true when a browse may follow; false after the message of no protocol chosen or of every
// transport failing. The library's result goes to *result when given.
bool ReinitializeLan(int* result = nullptr);

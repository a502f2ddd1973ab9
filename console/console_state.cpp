#include "console/console_state.h"

#include "console/resource.h"
#include "device_client/settings/com_method.h"
#include "platform/message_sink.h"
#include "ui/frame.h"
#include "ui/services.h"

std::array<std::string, kMaxListedDevices> g_szDefaultNames;
std::array<std::string, kMaxListedDevices> g_szDeviceNames;
int g_iSelectedItem = 0;
std::string g_szDefaultName;
std::string g_szDeviceName;
std::string g_szListedDeviceName;
int g_iModelType = 0;
int g_iFirmwareNumber = 0;

CMainMenuDlg* g_pMainMenuDlg = nullptr;
ui::CDialog* g_pCurrentPage = nullptr;
int g_iCurrentTab = 0;

HANDLE g_hAdminEvent = nullptr;
HANDLE g_hPauseEvent = nullptr;

ui::CFrameWnd* MainFrame() {
  ui::CWinApp* app = ui::AfxGetApp();
  return app ? dynamic_cast<ui::CFrameWnd*>(app->m_pMainWnd) : nullptr;
}

namespace {
HANDLE PauseEvent() {
  if (g_hPauseEvent == nullptr) {
    g_hPauseEvent = OpenEvent(EVENT_MODIFY_STATE, FALSE, platform::LoadString(console::IDS_PAUSE_EVENT).c_str());
  }
  return g_hPauseEvent;
}
}  // namespace

void PauseScanner() {
  if (HANDLE h = PauseEvent()) ResetEvent(h);
}
void ResumeScanner() {
  if (HANDLE h = PauseEvent()) SetEvent(h);
}

int ConnectedProtocolFlags() {
  int tcpip = 0, ipxspx = 0, netbeui = 0;
  CComMethod::GetConnectedProtocols(tcpip, ipxspx, netbeui);
  int flags = 0;
  if (tcpip != 0) flags |= 0x02;
  if (ipxspx != 0) flags |= 0x01;
  if (netbeui != 0) flags |= 0x04;
  return flags;
}

bool EveryTransportFailed(int result) {
  return (result & 0x11) == 0x11 && (result & 0x12) == 0x12 && (result & 0x14) == 0x14;
}

bool ReinitializeLan(int* result) {
  const int timeOut = CComMethod::GetTimeOut();
  const int flags = ConnectedProtocolFlags();
  if (flags == 0) {
    platform::MessageBoxById(console::IDS_NO_CONNECTED_PROTOCOL);
    return false;
  }
  int r;
  {
    ui::CWaitCursor wait;
    r = TheUtility().mInitializeLanComponent(flags, timeOut);
  }
  if (result) *result = r;
  if (EveryTransportFailed(r)) {
    platform::MessageBoxById(console::IDS_LAN_INIT_FAIL);
    return false;
  }
  return true;
}

void StoreConfiguration(const config::AllConfigurationData& all) {
  gdsSystemConfigurationData = all.dsSystem;
  gdsNetwareConfigurationData = all.dsNetware;
  gdsTCPIPConfigurationData = all.dsTCPIP;
  gdsAPPLETALKConfigurationData = all.dsAPPLETALK;
  gdsNetBEUIConfigureData = all.dsNetBEUI;
  gdsWirelessConfigurationData = all.dsWireless;
  for (int i = 0; i < config::kLogicalPrinterCount; ++i) gdsLogicalPrinterConfigurationData[i] = all.dsLogicalPrinter[i];
  // A port the box leaves unnamed keeps the console's name for it.
  static const char* const kPortNames[config::kPhysicalPortCount] = {"P1", "P2", "P3", "SP"};
  for (int i = 0; i < config::kPhysicalPortCount; ++i) {
    gdsPhysicalPortConfigurationData[i] = all.dsPhysicalPort[i];
    if (gdsPhysicalPortConfigurationData[i].szPortName.empty()) {
      gdsPhysicalPortConfigurationData[i].szPortName = kPortNames[i];
    }
  }
}

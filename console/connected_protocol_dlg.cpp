#include "console/connected_protocol_dlg.h"

#include <string>
#include <utility>

#include "console/resource.h"
#include "device_client/settings/com_method.h"
#include "platform/message_sink.h"
#include "platform/paths.h"
#include "platform/profile.h"

using namespace console;
using ui::Kind;

namespace {
constexpr const char* kIniFile = "common.ini";
constexpr const char* kSection = "ConnectedProtocol";

ui::DialogTemplate ConnectedProtocolTemplate() {
  return {IDD_CONNECTED_PROTOCOL, "", "MS Sans Serif", 8, 205, 90, 0,
          {{-1, Kind::GroupBox, "Connected Protocol", 0, 12, 10, 115, 70},
           {IDC_PROTOCOL_TCPIP, Kind::CheckBox, "TCP/IP", ui::WS_TABSTOP, 30, 26, 80, 12},
           {IDC_PROTOCOL_NETBEUI, Kind::CheckBox, "NetBEUI", ui::WS_TABSTOP, 30, 42, 80, 12},
           {IDC_PROTOCOL_IPXSPX, Kind::CheckBox, "IPX/SPX", ui::WS_TABSTOP, 30, 58, 80, 12},
           {ui::IDOK, Kind::DefButton, "OK", ui::WS_TABSTOP, 142, 14, 50, 14},
           {ui::IDCANCEL, Kind::Button, "Cancel", ui::WS_TABSTOP, 142, 34, 50, 14}}};
}

int ReadSwitch(const char* key) { return GetPrivateProfileInt(kSection, key, 0, kIniFile); }
bool WriteSwitch(const char* key, bool on) {
  return WritePrivateProfileString(kSection, key, on ? "1" : "0", kIniFile) != FALSE;
}

// A switch's text as the file holds it; kMissing when it has none (no stored value holds a line
// break, so the default cannot be mistaken for one).
constexpr const char* kMissing = "\n";
std::string SwitchText(const char* key) {
  char text[64] = {};
  GetPrivateProfileString(kSection, key, kMissing, text, sizeof text, kIniFile);
  return text;
}

// Writes the three switches. When one cannot be written, those written before it get their old
// texts back (a switch that was missing is removed again) and the result is false.
bool WriteSwitches(bool ipx, bool tcpip, bool netbeui) {
  const std::pair<const char*, bool> switches[3] = {{"bIPXSPX", ipx}, {"bTCPIP", tcpip}, {"bNETBEUI", netbeui}};
  std::string before[3];
  for (int i = 0; i < 3; ++i) before[i] = SwitchText(switches[i].first);
  for (int i = 0; i < 3; ++i) {
    if (WriteSwitch(switches[i].first, switches[i].second)) continue;
    for (int j = 0; j < i; ++j) {
      const bool missing = before[j] == kMissing;
      WritePrivateProfileString(kSection, switches[j].first, missing ? nullptr : before[j].c_str(), kIniFile);
    }
    return false;
  }
  return true;
}
}  // namespace

CConnectedProtocolDlg::CConnectedProtocolDlg(ui::CWnd* parent) : CDialog(ConnectedProtocolTemplate(), parent) {}

void CConnectedProtocolDlg::DoDataExchange(bool save) {
  (void)save;
  DDX_Control(IDC_PROTOCOL_TCPIP, m_chkTCPIP);
  DDX_Control(IDC_PROTOCOL_NETBEUI, m_chkNetBEUI);
  DDX_Control(IDC_PROTOCOL_IPXSPX, m_chkIPXSPX);
}

BOOL CConnectedProtocolDlg::OnInitDialog() {
  int ipx = 0, tcpip = 0, netbeui = 0;
  if (!CComMethod::DetectInstalledProtocols(ipx, tcpip, netbeui)) return 0;
  m_chkIPXSPX.EnableWindow(ipx != 0);
  m_chkTCPIP.EnableWindow(tcpip != 0);
  m_chkNetBEUI.EnableWindow(netbeui != 0);
  int onTcpip = ReadSwitch("bTCPIP");
  int onIpx = ReadSwitch("bIPXSPX");
  int onNetbeui = ReadSwitch("bNETBEUI");
  // A protocol that is not installed cannot stay chosen.
  if (onIpx != 0 && ipx == 0) {
    onIpx = 0;
    WriteSwitch("bIPXSPX", false);
  }
  if (onTcpip != 0 && tcpip == 0) {
    onTcpip = 0;
    WriteSwitch("bTCPIP", false);
  }
  if (onNetbeui != 0 && netbeui == 0) {
    onNetbeui = 0;
    WriteSwitch("bNETBEUI", false);
  }
  m_chkIPXSPX.SetCheck(onIpx != 0 ? ui::BST_CHECKED : ui::BST_UNCHECKED);
  m_chkTCPIP.SetCheck(onTcpip != 0 ? ui::BST_CHECKED : ui::BST_UNCHECKED);
  m_chkNetBEUI.SetCheck(onNetbeui != 0 ? ui::BST_CHECKED : ui::BST_UNCHECKED);
  return 1;
}

void CConnectedProtocolDlg::OnOK() {
  const bool ipx = m_chkIPXSPX.GetCheck() == ui::BST_CHECKED;
  const bool tcpip = m_chkTCPIP.GetCheck() == ui::BST_CHECKED;
  const bool netbeui = m_chkNetBEUI.GetCheck() == ui::BST_CHECKED;
  if (!ipx && !tcpip && !netbeui) {
    platform::MessageBoxById(IDS_NEED_ONE_PROTOCOL);
    return;
  }
  if (!WriteSwitches(ipx, tcpip, netbeui)) {
    // The choice is not lost unseen: the user is told where it could not be kept and may try
    // again or cancel.
    const std::string path = platform::WindowsDirectory() + "/" + kIniFile;
    platform::GetMessageSink().Show(IDS_PROTOCOL_NOT_SAVED,
                                    platform::LoadString(IDS_PROTOCOL_NOT_SAVED) + "\n" + path,
                                    platform::MB_OK | platform::MB_ICONWARNING);
    return;
  }
  EndDialog(ui::IDOK);
}

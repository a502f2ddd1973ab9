#include "console_pages/system_page.h"

#include "console_pages/page_records.h"
#include "console_pages/quick_setup_dlg.h"
#include "device_client/settings/com_method.h"
#include "platform/message_sink.h"
#include "ui/services.h"

using ui::Kind;

CSystemPage g_SystemPage;

namespace {

ui::DialogTemplate SystemTemplate() {
  using P = CSystemPage;
  const UINT radioGroup = ui::WS_GROUP | ui::WS_TABSTOP;
  return CSettingsPage::PageTemplate(
      P::IDD, {{-1, Kind::Static, "Device Name:", 0, 10, 28, 60, 10},
               {P::IDC_DEVICE_NAME, Kind::Edit, "", ui::ES_UPPERCASE | ui::WS_TABSTOP, 72, 26, 110, 13},
               {P::IDC_IPXSPX_GROUP, Kind::GroupBox, "IPX/SPX Protocol", 0, 10, 50, 130, 36},
               {P::IDC_IPXSPX_DISABLE, Kind::Radio, "Disable", radioGroup, 22, 66, 50, 10},
               {P::IDC_IPXSPX_ENABLE, Kind::Radio, "Enable", ui::WS_TABSTOP, 80, 66, 50, 10},
               {P::IDC_TCPIP_GROUP, Kind::GroupBox, "TCP/IP Protocol", 0, 150, 50, 130, 36},
               {P::IDC_TCPIP_DISABLE, Kind::Radio, "Disable", radioGroup, 162, 66, 50, 10},
               {P::IDC_TCPIP_ENABLE, Kind::Radio, "Enable", ui::WS_TABSTOP, 220, 66, 50, 10},
               {P::IDC_APPLETALK_GROUP, Kind::GroupBox, "Apple Talk Protocol", 0, 10, 96, 130, 36},
               {P::IDC_APPLETALK_DISABLE, Kind::Radio, "Disable", radioGroup, 22, 112, 50, 10},
               {P::IDC_APPLETALK_ENABLE, Kind::Radio, "Enable", ui::WS_TABSTOP, 80, 112, 50, 10},
               {P::IDC_NETBEUI_GROUP, Kind::GroupBox, "NetBEUI Protocol", 0, 150, 96, 130, 36},
               {P::IDC_NETBEUI_DISABLE, Kind::Radio, "Disable", radioGroup, 162, 112, 50, 10},
               {P::IDC_NETBEUI_ENABLE, Kind::Radio, "Enable", ui::WS_TABSTOP, 220, 112, 50, 10}});
}

}  // namespace

void RegisterSystemPageStrings() {
  RegisterQuickSetupStrings();  // the device-name messages are the quick setup's
  platform::RegisterString(CSystemPage::IDS_NEED_ONE_NETWORK_PROTOCOL,
                           "TCP/IP , IPX/SPX ,NetBEUI ,one of them must  be enable.");
}

CSystemPage::CSystemPage() : CSettingsPage(SystemTemplate()) {}

void CSystemPage::DoDataExchange(bool save) {
  (void)save;
  DDX_Control(IDC_DEVICE_NAME, m_editDeviceName);
  DDX_Control(IDC_IPXSPX_GROUP, m_grpIPXSPX);
  DDX_Control(IDC_TCPIP_GROUP, m_grpTCPIP);
  DDX_Control(IDC_APPLETALK_GROUP, m_grpAppleTalk);
  DDX_Control(IDC_NETBEUI_GROUP, m_grpNetBEUI);
  DDX_Control(IDC_IPXSPX_DISABLE, m_rdoIPXSPXDisable);
  DDX_Control(IDC_TCPIP_DISABLE, m_rdoTCPIPDisable);
  DDX_Control(IDC_APPLETALK_DISABLE, m_rdoAppleTalkDisable);
  DDX_Control(IDC_NETBEUI_DISABLE, m_rdoNetBEUIDisable);
}

void CSystemPage::EnableTrio(int enableId, int disableId, int groupId, bool enable) {
  for (int id : {enableId, disableId, groupId}) {
    if (ui::CWnd* c = GetDlgItem(id)) c->EnableWindow(enable);
  }
}

BOOL CSystemPage::OnInitDialog() {
  CSettingsPage::OnInitDialog();
  const config::SystemConfigurationData& record = gdsSystemConfigurationData;
  m_szRecordDeviceName = record.szDeviceName;
  m_editDeviceName.LimitText(kDeviceNameLimit);
  m_editDeviceName.SetWindowText(!m_szRecordDeviceName.empty() ? m_szRecordDeviceName : m_szSelectedDevice);

  struct Choice {
    int flag;
    int enableId, disableId;
  };
  const Choice choices[] = {{record.bIPXSPXProtocol, IDC_IPXSPX_ENABLE, IDC_IPXSPX_DISABLE},
                            {record.bTCPIPProtocol, IDC_TCPIP_ENABLE, IDC_TCPIP_DISABLE},
                            {record.bAPPLETALKProtocol, IDC_APPLETALK_ENABLE, IDC_APPLETALK_DISABLE},
                            {record.bNetBEUIProtocol, IDC_NETBEUI_ENABLE, IDC_NETBEUI_DISABLE}};
  for (const Choice& c : choices) {
    CheckDlgButton(c.enableId, c.flag != 0 ? ui::BST_CHECKED : ui::BST_UNCHECKED);
    CheckDlgButton(c.disableId, c.flag != 0 ? ui::BST_UNCHECKED : ui::BST_CHECKED);
  }

  CPJLUtility& utility = TheUtility();
  int result = 0;
  {
    ui::CWaitCursor wait;
    result = utility.mGetDeviceProtocol(m_szDefaultName, &m_dsProtocolData);
  }
  if (result != 0) return FailStart(result);

  EnableTrio(IDC_IPXSPX_ENABLE, IDC_IPXSPX_DISABLE, IDC_IPXSPX_GROUP, m_dsProtocolData.bIPXSPXProtocol != 0);
  EnableTrio(IDC_TCPIP_ENABLE, IDC_TCPIP_DISABLE, IDC_TCPIP_GROUP, m_dsProtocolData.bTCPIPProtocol != 0);
  EnableTrio(IDC_APPLETALK_ENABLE, IDC_APPLETALK_DISABLE, IDC_APPLETALK_GROUP,
             m_dsProtocolData.bAPPLETALKProtocol != 0);
  EnableTrio(IDC_NETBEUI_ENABLE, IDC_NETBEUI_DISABLE, IDC_NETBEUI_GROUP, m_dsProtocolData.bNetBEUIProtocol != 0);

  // The protocol the console reaches the box by cannot be switched off from here.
  int connected = 0;
  {
    ui::CWaitCursor wait;
    connected = utility.mQueryProtocol(m_szDefaultName);
  }
  CComMethod::ShowResult(connected);  // silent for the three protocols
  switch (connected) {
    case 1: EnableTrio(IDC_IPXSPX_ENABLE, IDC_IPXSPX_DISABLE, IDC_IPXSPX_GROUP, false); break;
    case 2: EnableTrio(IDC_TCPIP_ENABLE, IDC_TCPIP_DISABLE, IDC_TCPIP_GROUP, false); break;
    case 4: EnableTrio(IDC_NETBEUI_ENABLE, IDC_NETBEUI_DISABLE, IDC_NETBEUI_GROUP, false); break;
    default: return EndStart();
  }
  return TRUE;
}

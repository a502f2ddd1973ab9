#include "console/console_state.h"
#include "console/page_store.h"
#include "console/pellam_view.h"
#include "console_pages/page_inputs.h"
#include "console_pages/quick_setup_dlg.h"
#include "console_pages/system_page.h"
#include "device_client/settings/com_method.h"
#include "platform/message_sink.h"

int StoreSystemPage(CPellamView& view) {
  (void)view;
  CSystemPage& page = g_SystemPage;
  std::string name = page.m_editDeviceName.GetWindowText();
  CComMethod::RemoveSpaces(name);
  if (name.empty() || CComMethod::IsPrintableText(name) == 0) {
    return RefuseInput(CSystemPage::IDS_NEED_DEVICE_NAME, page.m_editDeviceName);
  }
  if (CQuickSetupDlg::HasNonDigit(name) == 0) {
    return RefuseInput(CSystemPage::IDS_DEVICE_NAME_ALL_DIGITS, page.m_editDeviceName);
  }
  // A protocol is on unless its Disable radio is checked, and never on when the box lacks it.
  const config::ProtocolData& can = page.m_dsProtocolData;
  auto flag = [&page](int disableId, std::int32_t capability) -> std::int32_t {
    return capability != 0 && page.IsDlgButtonChecked(disableId) == 0 ? 1 : 0;
  };
  const std::int32_t ipx = flag(CSystemPage::IDC_IPXSPX_DISABLE, can.bIPXSPXProtocol);
  const std::int32_t tcp = flag(CSystemPage::IDC_TCPIP_DISABLE, can.bTCPIPProtocol);
  const std::int32_t at = flag(CSystemPage::IDC_APPLETALK_DISABLE, can.bAPPLETALKProtocol);
  const std::int32_t netbeui = flag(CSystemPage::IDC_NETBEUI_DISABLE, can.bNetBEUIProtocol);
  // AppleTalk alone does not reach the box.
  if (ipx == 0 && tcp == 0 && netbeui == 0) {
    platform::MessageBoxById(CSystemPage::IDS_NEED_ONE_NETWORK_PROTOCOL);
    return 0;
  }
  config::SystemConfigurationData& record = gdsSystemConfigurationData;
  record.szDeviceName = name;
  record.bIPXSPXProtocol = ipx;
  record.bTCPIPProtocol = tcp;
  record.bAPPLETALKProtocol = at;
  record.bNetBEUIProtocol = netbeui;
  return 1;
}

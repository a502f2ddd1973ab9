#include "wizard/tcpip_page.h"

#include "wizard/page_layout.h"
#include "wizard/resource.h"
#include "wizard/wizard_state.h"

namespace wizard {

CTcpip::CTcpip()
    : CPropertyPage(WizardPageTemplate(IDD_TCPIP, {{-1, ui::Kind::Static, "TCP/IP Settings", 0, kContentX, 10, kContentCx, 10}})) {}

BOOL CTcpip::OnSetActive() {
  GetSheet()->SetWizardButtons(ui::PSWIZB_BACK | ui::PSWIZB_NEXT);
  return CPropertyPage::OnSetActive();
}

ui::LRESULT CTcpip::OnWizardBack() {
  if (dsSystemConfigurationData.bIPXSPXProtocol == 1 && GetWizardMode() == 1) {
    if (NetwareMode == kNetwareNDS) return IDD_NETWARE_NDS;
    if (NetwareMode == kNetwareBindery) return IDD_NETWARE_BINDERY;
    return IDD_NETWARE;
  }
  return IDD_SERVER_DETAILS_OLD;
}

ui::LRESULT CTcpip::OnWizardNext() {
  std::string name, device, longName;
  GetSelectedDevice(name, device, longName);
  ProtocolData protocol;
  TheUtility().mGetDeviceProtocol(name, &protocol);
  return protocol.bWirelessDevice == 1 ? IDD_WIRELESS : IDD_FINISH;
}

}  // namespace wizard

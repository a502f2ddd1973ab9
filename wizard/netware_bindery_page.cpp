#include "wizard/netware_bindery_page.h"

#include "wizard/page_layout.h"
#include "wizard/resource.h"
#include "wizard/wizard_state.h"

namespace wizard {

CNetwareBindery::CNetwareBindery()
    : CPropertyPage(WizardPageTemplate(IDD_NETWARE_BINDERY, {{-1, ui::Kind::Static, "NetWare Bindery Settings", 0, kContentX, 10, kContentCx, 10}})) {}

BOOL CNetwareBindery::OnSetActive() {
  GetSheet()->SetWizardButtons(ui::PSWIZB_BACK | ui::PSWIZB_NEXT);
  return CPropertyPage::OnSetActive();
}

ui::LRESULT CNetwareBindery::OnWizardBack() {
  return IDD_SERVER_DETAILS_OLD;
}

ui::LRESULT CNetwareBindery::OnWizardNext() {
  return IDD_TCPIP;
}

}  // namespace wizard

#include "wizard/netware_page.h"

#include "wizard/page_layout.h"
#include "wizard/resource.h"
#include "wizard/wizard_state.h"

namespace wizard {

CNetware::CNetware()
    : CPropertyPage(WizardPageTemplate(IDD_NETWARE, {{-1, ui::Kind::Static, "NetWare Settings", 0, kContentX, 10, kContentCx, 10}})) {}

BOOL CNetware::OnSetActive() {
  GetSheet()->SetWizardButtons(ui::PSWIZB_BACK | ui::PSWIZB_NEXT);
  return CPropertyPage::OnSetActive();
}

ui::LRESULT CNetware::OnWizardBack() {
  return IDD_SERVER_DETAILS_OLD;
}

ui::LRESULT CNetware::OnWizardNext() {
  return IDD_TCPIP;
}

}  // namespace wizard

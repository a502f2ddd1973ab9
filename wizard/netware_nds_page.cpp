#include "wizard/netware_nds_page.h"

#include "wizard/page_layout.h"
#include "wizard/resource.h"
#include "wizard/wizard_state.h"

namespace wizard {

CNetwareNDS::CNetwareNDS()
    : CPropertyPage(WizardPageTemplate(IDD_NETWARE_NDS, {{-1, ui::Kind::Static, "NetWare NDS Settings", 0, kContentX, 10, kContentCx, 10}})) {}

BOOL CNetwareNDS::OnSetActive() {
  GetSheet()->SetWizardButtons(ui::PSWIZB_BACK | ui::PSWIZB_NEXT);
  return CPropertyPage::OnSetActive();
}

ui::LRESULT CNetwareNDS::OnWizardBack() {
  return IDD_SERVER_DETAILS_OLD;
}

ui::LRESULT CNetwareNDS::OnWizardNext() {
  return IDD_TCPIP;
}

}  // namespace wizard

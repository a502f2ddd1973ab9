#include "wizard/wireless_page.h"

#include "wizard/page_layout.h"
#include "wizard/resource.h"
#include "wizard/wizard_state.h"

namespace wizard {

CWireless::CWireless()
    : CPropertyPage(WizardPageTemplate(IDD_WIRELESS, {{-1, ui::Kind::Static, "Wireless Settings", 0, kContentX, 10, kContentCx, 10}})) {}

BOOL CWireless::OnSetActive() {
  GetSheet()->SetWizardButtons(ui::PSWIZB_BACK | ui::PSWIZB_NEXT);
  return CPropertyPage::OnSetActive();
}

ui::LRESULT CWireless::OnWizardBack() {
  return IDD_TCPIP;
}

ui::LRESULT CWireless::OnWizardNext() {
  return IDD_FINISH;
}

}  // namespace wizard

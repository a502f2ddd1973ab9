// Placeholder of the TCP/IP Settings page: it shows its title and goes on.
#pragma once
#include "ui/property_sheet.h"

namespace wizard {

class CTcpip : public ui::CPropertyPage {
 public:
  CTcpip();
  BOOL OnSetActive() override;
  ui::LRESULT OnWizardBack() override;
  ui::LRESULT OnWizardNext() override;
};

}  // namespace wizard

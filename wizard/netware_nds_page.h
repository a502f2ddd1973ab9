// Placeholder of the NetWare NDS Settings page: it shows its title and goes on.
#pragma once
#include "ui/property_sheet.h"

namespace wizard {

class CNetwareNDS : public ui::CPropertyPage {
 public:
  CNetwareNDS();
  BOOL OnSetActive() override;
  ui::LRESULT OnWizardBack() override;
  ui::LRESULT OnWizardNext() override;
};

}  // namespace wizard

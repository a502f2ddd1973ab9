// Placeholder of the NetWare Settings page: it shows its title and goes on.
#pragma once
#include "ui/property_sheet.h"

namespace wizard {

class CNetware : public ui::CPropertyPage {
 public:
  CNetware();
  BOOL OnSetActive() override;
  ui::LRESULT OnWizardBack() override;
  ui::LRESULT OnWizardNext() override;
};

}  // namespace wizard

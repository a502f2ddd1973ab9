// Placeholder of the Wireless Settings page: it shows its title and goes on.
#pragma once
#include "ui/property_sheet.h"

namespace wizard {

class CWireless : public ui::CPropertyPage {
 public:
  CWireless();
  BOOL OnSetActive() override;
  ui::LRESULT OnWizardBack() override;
  ui::LRESULT OnWizardNext() override;
};

}  // namespace wizard

// Placeholder of the NetWare Bindery Settings page: it shows its title and goes on.
#pragma once
#include "ui/property_sheet.h"

namespace wizard {

class CNetwareBindery : public ui::CPropertyPage {
 public:
  CNetwareBindery();
  BOOL OnSetActive() override;
  ui::LRESULT OnWizardBack() override;
  ui::LRESULT OnWizardNext() override;
};

}  // namespace wizard

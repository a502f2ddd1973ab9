// The NetWare mode page: the choice of how the box works with NetWare, for None and Remote
// Printer; the NDS and bindery choices switch to their own pages.
#pragma once
#include "wizard/netware_common.h"

namespace wizard {

class CNetware : public CNetwareModePage {
 public:
  CNetware();
  BOOL OnInitDialog() override;
  ui::LRESULT OnWizardNext() override;
};

}  // namespace wizard

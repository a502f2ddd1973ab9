// The physical port page of the settings view. For now it shows the selected device only and
// leaves the records as they are.
#pragma once
#include "console_pages/settings_page.h"

class CPhysicalPortPage : public CSettingsPage {
 public:
  static constexpr int IDD = 166;
  CPhysicalPortPage();
};

extern CPhysicalPortPage g_PhysicalPortPage;

// The logical port page of the settings view. For now it shows the selected device only and
// leaves the records as they are.
#pragma once
#include "console_pages/settings_page.h"

class CLogicalPortPage : public CSettingsPage {
 public:
  static constexpr int IDD = 152;
  CLogicalPortPage();
};

extern CLogicalPortPage g_LogicalPortPage;

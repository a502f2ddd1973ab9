// The NetWare print server page of the settings view. For now it shows the selected device only and
// leaves the records as they are.
#pragma once
#include "console_pages/settings_page.h"

class CNetwarePServerPage : public CSettingsPage {
 public:
  static constexpr int IDD = 146;
  CNetwarePServerPage();
};

extern CNetwarePServerPage g_NetwarePServerPage;

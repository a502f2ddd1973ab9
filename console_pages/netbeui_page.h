// The NetBEUI page of the settings view. For now it shows the selected device only and
// leaves the records as they are.
#pragma once
#include "console_pages/settings_page.h"

class CNetBEUIPage : public CSettingsPage {
 public:
  static constexpr int IDD = 150;
  CNetBEUIPage();
};

extern CNetBEUIPage g_NetBEUIPage;

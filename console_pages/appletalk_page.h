// The AppleTalk page of the settings view. For now it shows the selected device only and
// leaves the records as they are.
#pragma once
#include "console_pages/settings_page.h"

class CAppleTalkPage : public CSettingsPage {
 public:
  static constexpr int IDD = 140;
  CAppleTalkPage();
};

extern CAppleTalkPage g_AppleTalkPage;

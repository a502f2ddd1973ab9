// The NetWare remote printer page of the settings view. For now it shows the selected device only and
// leaves the records as they are.
#pragma once
#include "console_pages/settings_page.h"

class CNetwareRPrinterPage : public CSettingsPage {
 public:
  static constexpr int IDD = 147;
  CNetwareRPrinterPage();
};

extern CNetwareRPrinterPage g_NetwareRPrinterPage;

// The TCP/IP page of the settings view. For now it shows the selected device only and
// leaves the records as they are.
#pragma once
#include "console_pages/settings_page.h"

class CTcpipPage : public CSettingsPage {
 public:
  static constexpr int IDD = 148;
  CTcpipPage();
};

extern CTcpipPage g_TcpipPage;

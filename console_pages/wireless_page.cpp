#include "console_pages/wireless_page.h"

CWirelessPage g_WirelessPage;

CWirelessPage::CWirelessPage() : CSettingsPage(PageTemplate(IDD)) {}

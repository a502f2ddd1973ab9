#include "console_pages/netware_pserver_page.h"

CNetwarePServerPage g_NetwarePServerPage;

CNetwarePServerPage::CNetwarePServerPage() : CSettingsPage(PageTemplate(IDD)) {}

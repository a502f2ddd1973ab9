#include "console_pages/netbeui_page.h"

CNetBEUIPage g_NetBEUIPage;

CNetBEUIPage::CNetBEUIPage() : CSettingsPage(PageTemplate(IDD)) {}

#include "console_pages/appletalk_page.h"

CAppleTalkPage g_AppleTalkPage;

CAppleTalkPage::CAppleTalkPage() : CSettingsPage(PageTemplate(IDD)) {}

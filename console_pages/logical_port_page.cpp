#include "console_pages/logical_port_page.h"

CLogicalPortPage g_LogicalPortPage;

CLogicalPortPage::CLogicalPortPage() : CSettingsPage(PageTemplate(IDD)) {}

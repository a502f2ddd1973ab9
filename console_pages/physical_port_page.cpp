#include "console_pages/physical_port_page.h"

CPhysicalPortPage g_PhysicalPortPage;

CPhysicalPortPage::CPhysicalPortPage() : CSettingsPage(PageTemplate(IDD)) {}

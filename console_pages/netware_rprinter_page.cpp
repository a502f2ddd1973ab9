#include "console_pages/netware_rprinter_page.h"

CNetwareRPrinterPage g_NetwareRPrinterPage;

CNetwareRPrinterPage::CNetwareRPrinterPage() : CSettingsPage(PageTemplate(IDD)) {}

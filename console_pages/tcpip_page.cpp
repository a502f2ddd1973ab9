#include "console_pages/tcpip_page.h"

CTcpipPage g_TcpipPage;

CTcpipPage::CTcpipPage() : CSettingsPage(PageTemplate(IDD)) {}

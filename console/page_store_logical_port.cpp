#include "console/page_store.h"
#include "console_pages/logical_port_page.h"

int StoreLogicalPortPage(CPellamView& view) {
  (void)view;
  return g_LogicalPortPage.StoreShownPort();
}

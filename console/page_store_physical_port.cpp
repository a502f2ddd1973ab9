#include "console/page_store.h"
#include "console_pages/physical_port_page.h"

int StorePhysicalPortPage(CPellamView& view) {
  (void)view;
  return g_PhysicalPortPage.StoreShownPort();
}

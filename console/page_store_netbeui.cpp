#include "console/page_store.h"
#include "console_pages/netbeui_page.h"

// No tab set shows the NetBEUI page; when one does, its inputs are checked and stored here.
int StoreNetBEUIPage(CPellamView& view) {
  (void)view;
  return g_NetBEUIPage.Store();
}

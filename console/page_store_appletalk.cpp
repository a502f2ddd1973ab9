#include "console/page_store.h"
#include "console_pages/appletalk_page.h"

int StoreAppleTalkPage(CPellamView& view) {
  (void)view;
  return g_AppleTalkPage.Store();
}

#include "console/page_store.h"

// The page holds no inputs yet: the records stay as they are.
int StoreWirelessPage(CPellamView& view) {
  (void)view;
  return 1;
}

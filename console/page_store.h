// Reading a settings page back into the opened box's records: the view asks it before a tab is
// left and before a save. Each page has its own procedure (console/page_store_<page>.cpp); each
// answers 1 when the page's values are stored, 0 after the message of a refused input, and
// checks every input before it writes any record field, so a refusal leaves the records as they
// were.
#pragma once
#include <string>

class CPellamView;
class CSettingsPage;

int StoreSystemPage(CPellamView& view);
int StoreTcpipPage(CPellamView& view);
int StoreNetwarePServerPage(CPellamView& view);
int StoreNetwareRPrinterPage(CPellamView& view);
int StoreAppleTalkPage(CPellamView& view);
int StoreNetBEUIPage(CPellamView& view);
int StoreLogicalPortPage(CPellamView& view);
int StorePhysicalPortPage(CPellamView& view);
int StoreWirelessPage(CPellamView& view);

// The page a tab shows and the procedure that stores it, by the tab's text.
struct PageSlot {
  const char* tabText;
  CSettingsPage* page;
  int (*store)(CPellamView& view);
};
// nullptr for a text no page has.
const PageSlot* FindPageSlot(const std::string& tabText);

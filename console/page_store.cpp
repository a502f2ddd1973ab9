#include "console/page_store.h"

#include "console/console_state.h"
#include "console/pellam_view.h"
#include "console_pages/appletalk_page.h"
#include "console_pages/logical_port_page.h"
#include "console_pages/netbeui_page.h"
#include "console_pages/netware_pserver_page.h"
#include "console_pages/netware_rprinter_page.h"
#include "console_pages/physical_port_page.h"
#include "console_pages/system_page.h"
#include "console_pages/tcpip_page.h"
#include "console_pages/wireless_page.h"
#include "ui/services.h"

namespace {

const PageSlot kSlots[] = {
    {"System", &g_SystemPage, &StoreSystemPage},
    {"TCP/IP", &g_TcpipPage, &StoreTcpipPage},
    {"NetWare PServer", &g_NetwarePServerPage, &StoreNetwarePServerPage},
    {"NetWare RPrinter", &g_NetwareRPrinterPage, &StoreNetwareRPrinterPage},
    {"Apple Talk", &g_AppleTalkPage, &StoreAppleTalkPage},
    {"NetBEUI", &g_NetBEUIPage, &StoreNetBEUIPage},
    {"Logical Port", &g_LogicalPortPage, &StoreLogicalPortPage},
    {"Physical Port", &g_PhysicalPortPage, &StorePhysicalPortPage},
    {"Wireless", &g_WirelessPage, &StoreWirelessPage},
};

}  // namespace

const PageSlot* FindPageSlot(const std::string& tabText) {
  for (const PageSlot& slot : kSlots) {
    if (tabText == slot.tabText) return &slot;
  }
  return nullptr;
}

int CPellamView::ValidateAndStorePage(int iTab) {
  // The protocol record goes to the configuration a save builds: refreshed here, and replaced
  // only by a complete answer.
  config::ProtocolData protocols;
  {
    ui::CWaitCursor wait;
    m_iResult = TheUtility().mGetDeviceProtocol(m_OpenBox.defaultName, &protocols);
  }
  if (m_iResult == 0) mdsProtocolData = protocols;
  // The tab set is the one worked out when the box was opened; the tabs on show follow it.
  if (!m_bDeviceOpen || iTab < 0 || iTab >= static_cast<int>(m_Layout.size())) return 1;
  const PageSlot* slot = FindPageSlot(m_Layout[static_cast<std::size_t>(iTab)]);
  if (slot == nullptr) return 1;
  // A page that gave up at start showed nothing the user could change.
  if (slot->page->GetSafeHwnd() == nullptr) return 1;
  return slot->store(*this);
}

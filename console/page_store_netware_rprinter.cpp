#include <string>

#include "console/console_state.h"
#include "console/page_store.h"
#include "console/pellam_view.h"
#include "console_pages/netware_frame_types.h"
#include "console_pages/netware_rprinter_page.h"
#include "console_pages/page_inputs.h"
#include "device_client/settings/com_method.h"
#include "platform/message_sink.h"

// The remote-printer settings of the NetWare record: the frame types and one print-server name per
// parallel port the model has. In print-server mode the page greys them and nothing is read;
// otherwise every value is checked before the first is stored.
int StoreNetwareRPrinterPage(CPellamView& view) {
  (void)view;
  using P = CNetwareRPrinterPage;
  P& page = g_NetwareRPrinterPage;
  if (!page.RemotePrinterMode()) return 1;

  const netware_frames::Choice frames = netware_frames::Read(page, page.m_iModelType);
  if (!frames.AnyChecked()) {
    platform::MessageBoxById(netware_frames::IDS_NEED_ONE_FRAME_TYPE);
    return 0;
  }
  const int messages[3] = {P::IDS_ILLEGAL_P1, P::IDS_ILLEGAL_P2, P::IDS_ILLEGAL_P3};
  const int offered = page.OfferedPorts();
  std::string names[3];
  for (int i = 0; i < offered; ++i) {
    names[i] = page.m_editServer[i].GetWindowText();
    if (CComMethod::IsPrintableText(names[i]) == 0) return RefuseInput(messages[i], page.m_editServer[i]);
  }
  config::NetwareConfigurationData& record = gdsNetwareConfigurationData;
  netware_frames::Store(frames, record);
  std::string* fields[3] = {&record.szP1RemotePrinter, &record.szP2RemotePrinter, &record.szP3RemotePrinter};
  for (int i = 0; i < offered; ++i) *fields[i] = names[i];
  return 1;
}

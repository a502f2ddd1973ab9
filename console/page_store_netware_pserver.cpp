#include <string>

#include "console/console_state.h"
#include "console/page_store.h"
#include "console/pellam_view.h"
#include "console_pages/netware_frame_types.h"
#include "console_pages/netware_pserver_page.h"
#include "console_pages/page_inputs.h"
#include "device_client/settings/com_method.h"
#include "platform/message_sink.h"

// The print-server settings of the NetWare record. In remote-printer mode the page greys them and
// nothing is read; otherwise every value is checked before the first is stored.
int StoreNetwarePServerPage(CPellamView& view) {
  (void)view;
  using P = CNetwarePServerPage;
  P& page = g_NetwarePServerPage;
  if (!page.PrintServerMode()) return 1;

  const netware_frames::Choice frames = netware_frames::Read(page, page.m_iModelType);
  if (!frames.AnyChecked()) {
    platform::MessageBoxById(netware_frames::IDS_NEED_ONE_FRAME_TYPE);
    return 0;
  }

  const std::string master = page.m_cmbMasterFileServer.GetWindowText();
  const std::string tree = page.m_cmbNdsTree.GetWindowText();
  if (master.size() > P::kNameLimit) return RefuseInput(P::IDS_MASTER_TOO_LONG, page.m_cmbMasterFileServer);
  if (tree.size() > P::kNameLimit) return RefuseInput(P::IDS_TREE_TOO_LONG, page.m_cmbNdsTree);
  const std::string context = page.m_editNdsContext.GetWindowText();
  if (CComMethod::IsPrintableText(master) == 0) return RefuseInput(P::IDS_ILLEGAL_MASTER, page.m_cmbMasterFileServer);
  if (CComMethod::IsPrintableText(tree) == 0) return RefuseInput(P::IDS_ILLEGAL_TREE, page.m_cmbNdsTree);
  if (CComMethod::IsPrintableText(context) == 0) return RefuseInput(P::IDS_ILLEGAL_CONTEXT, page.m_editNdsContext);

  // The interval is decimal digits only; an empty one counts as 0 and is out of range.
  const std::string intervalText = page.m_editPollingInterval.GetWindowText();
  int interval = 0;
  const int read = CComMethod::ReadOctet(intervalText, interval);
  if (read == CComMethod::kOctetNotDecimal) return RefuseInput(P::IDS_ILLEGAL_INTERVAL, page.m_editPollingInterval);
  if (read != CComMethod::kOctetOk || interval < 1) {
    return RefuseInput(P::IDS_INTERVAL_RANGE, page.m_editPollingInterval);
  }

  config::NetwareConfigurationData& record = gdsNetwareConfigurationData;
  netware_frames::Store(frames, record);
  record.szMasterFileServerName = master;
  record.szNDSTreeName = tree;
  record.szNDSContextName = context;
  record.iQueuePollingInterval = interval;
  record.bJobNotify = page.IsDlgButtonChecked(P::IDC_JOB_NOTIFY_NO) == 0 ? 1 : 0;
  return 1;
}

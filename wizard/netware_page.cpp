#include "wizard/netware_page.h"

#include "wizard/page_layout.h"
#include "wizard/resource.h"
#include "wizard/wizard_state.h"

namespace wizard {

CNetware::CNetware() : CNetwareModePage(WizardPageTemplate(IDD_NETWARE, NetwareModeControls()), kNetwareNone) {}

BOOL CNetware::OnInitDialog() {
  m_iRadio = NetwareMode;
  return CNetwareModePage::OnInitDialog();
}

ui::LRESULT CNetware::OnWizardNext() {
  NetwareConfigurationData& out = g_WizardConfigurationData.dsNetware;
  out.szMasterFileServerName.clear();
  out.szNDSContextName.clear();
  out.szNDSTreeName.clear();
  // Not configuring NetWare leaves the mode empty, so Finish sends no NetWare line and the box
  // keeps the mode it has.
  out.szOperationMode = NetwareMode == kNetwareRemotePrinter ? "RP" : "";
  return IDD_TCPIP;
}

}  // namespace wizard

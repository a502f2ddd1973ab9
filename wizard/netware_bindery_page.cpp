#include "wizard/netware_bindery_page.h"

#include "platform/message_sink.h"
#include "ui/services.h"
#include "wizard/page_layout.h"
#include "wizard/resource.h"
#include "wizard/wizard_routines.h"
#include "wizard/wizard_state.h"
#include "wizard_netware/nw_bindery.h"

namespace wizard {
namespace {

using ui::Kind;
using P = CNetwareBindery;

constexpr int kNameChars = 39;

ui::DialogTemplate BinderyTemplate() {
  const int x = kContentX;
  std::vector<ui::ControlTemplate> c = NetwareModeControls();
  const std::vector<ui::ControlTemplate> own = {
      {-1, Kind::Static, "Master File Server:", 0, x, 62, 70, 10},
      {P::IDC_FILE_SERVER, Kind::DropDown, "", ui::WS_TABSTOP, x + 72, 60, 140, 13},
      {-1, Kind::Static, "Name:", 0, x, 78, 70, 10},
      {IDC_NW_PRINT_SERVER, Kind::Static, "", 0, x + 72, 78, 140, 10},
  };
  c.insert(c.end(), own.begin(), own.end());
  const std::vector<ui::ControlTemplate> queues = QueueGroupControls(P::kQueueRows, 93, 15);
  c.insert(c.end(), queues.begin(), queues.end());
  return WizardPageTemplate(IDD_NETWARE_BINDERY, std::move(c));
}

}  // namespace

CNetwareBindery::CNetwareBindery()
    : CNetwareDetailPage(BinderyTemplate(), kNetwareBindery, kQueueRows, "_BIN_Q") {
  OnCommand(IDC_FILE_SERVER, ui::CBN_DROPDOWN, &CNetwareBindery::OnDropdownFileServer);
}

BOOL CNetwareBindery::OnInitDialog() {
  m_iRadio = kNetwareBindery;
  return CNetwareDetailPage::OnInitDialog();
}

void CNetwareBindery::ShowBoxNames(bool clear) {
  SetDlgItemText(IDC_FILE_SERVER, clear ? std::string() : dsNetwareConfigurationData.szMasterFileServerName);
  if (clear) SetDlgItemText(IDC_NW_PRINT_SERVER, "");
}

void CNetwareBindery::LimitNameFields() {
  if (ui::CComboBox* combo = Combo(*this, IDC_FILE_SERVER)) combo->LimitText(kNameChars);
}

void CNetwareBindery::OnDropdownFileServer() {
  if (ui::CComboBox* combo = Combo(*this, IDC_FILE_SERVER)) {
    FillNameCombo(*combo, [](std::list<std::string>& names) { return TheUtility().mScanAllFileServer(names); });
  }
}

bool CNetwareBindery::SetUpWithClient(const std::string& typed) {
  std::string fileServer = typed;
  if (fileServer.empty()) {
    platform::MessageBoxById(IDS_SELECT_FILE_SERVER, platform::MB_OK);
    return false;
  }
  std::list<std::string> servers;
  netware::NwBindListFileServers(servers);
  if (!ListHoldsName(servers, fileServer)) {
    ShowNamed(IDS_CHECK_FILE_SERVER, fileServer);
    if (CWnd* combo = GetDlgItem(IDC_FILE_SERVER)) combo->SetFocus();
    return false;
  }
  const std::string printServer = PrintServerName();
  const int psFound = netware::NwBindFindPrintServer(fileServer, printServer);
  const int queueFound = netware::NwBindFindQueue(fileServer, printServer);
  if (psFound != 0) {
    if (queueFound == 0) netware::NwBindDeletePrintServer(fileServer, printServer);
    netware::NwBindCreatePrintServer(fileServer, printServer);
  }
  std::list<std::string> printers, queues;
  PrintersAndQueues("_BIN_", printers, queues);
  if (printers.empty()) return true;
  ui::CWaitCursor wait;
  const int rc = netware::NwBindSetupPrintServer(fileServer, printServer, printers, queues);
  if (rc != 0) {
    ShowNetwareError(rc);
    return false;
  }
  return true;
}

ui::LRESULT CNetwareBindery::OnWizardNext() {
  const std::string fileServer = GetDlgItemText(IDC_FILE_SERVER);
  if (!NamesAreConfigText({fileServer})) return -1;
  if (m_useClient && !SetUpWithClient(fileServer)) return -1;
  NetwareConfigurationData& out = g_WizardConfigurationData.dsNetware;
  out.szNDSContextName.clear();
  out.szNDSTreeName.clear();
  out.szOperationMode = "PS";
  out.szMasterFileServerName = fileServer;
  return IDD_TCPIP;
}

}  // namespace wizard

#include "wizard/netware_nds_page.h"

#include <deque>

#include "platform/message_sink.h"
#include "ui/services.h"
#include "wizard/page_layout.h"
#include "wizard/resource.h"
#include "wizard/wizard_routines.h"
#include "wizard/wizard_state.h"
#include "wizard_netware/nw_nds.h"

namespace wizard {
namespace {

using ui::Kind;
using P = CNetwareNDS;

constexpr int kTreeChars = 39;
constexpr int kContextChars = 235;
constexpr const char* kRoot = "[ROOT]";
constexpr const char* kRightsProbe = "aaz12356";

ui::DialogTemplate NdsTemplate() {
  const int x = kContentX;
  std::vector<ui::ControlTemplate> c = NetwareModeControls();
  const std::vector<ui::ControlTemplate> own = {
      {-1, Kind::Static, "NDS Tree Name:", 0, x, 60, 56, 10},
      {P::IDC_TREE, Kind::DropDown, "", ui::WS_TABSTOP, x + 58, 58, 110, 13},
      {P::IDC_BROWSE, Kind::Button, "Browse", ui::WS_TABSTOP, x + 174, 57, 46, 14},
      {-1, Kind::Static, "NDS Context:", 0, x, 76, 56, 10},
      {P::IDC_CONTEXT, Kind::Edit, "", ui::WS_TABSTOP, x + 58, 74, 162, 12},
      {-1, Kind::Static, "Print Server:", 0, x, 90, 56, 10},
      {IDC_NW_PRINT_SERVER, Kind::Static, "", 0, x + 58, 90, 160, 10},
  };
  c.insert(c.end(), own.begin(), own.end());
  const std::vector<ui::ControlTemplate> queues = QueueGroupControls(P::kQueueRows, 101, 14);
  c.insert(c.end(), queues.begin(), queues.end());
  return WizardPageTemplate(IDD_NETWARE_NDS, std::move(c));
}

ui::DialogTemplate BrowseTemplate() {
  using D = CContextBrowseDlg;
  return {D::IDD, "Select Context", "MS Sans Serif", 8, 200, 64, 0,
          {{-1, Kind::Static, "Context:", 0, 8, 10, 40, 10},
           {D::IDC_CONTAINERS, Kind::DropList, "", ui::WS_TABSTOP, 50, 8, 142, 13},
           {ui::IDOK, Kind::DefButton, "OK", ui::WS_TABSTOP, 86, 42, 50, 14},
           {ui::IDCANCEL, Kind::Button, "Cancel", ui::WS_TABSTOP, 142, 42, 50, 14}}};
}

}  // namespace

std::list<std::string> ListTreeContainers(const std::string& tree, std::size_t limit) {
  std::list<std::string> found;
  std::deque<std::string> pending{kRoot};
  while (!pending.empty() && found.size() < limit) {
    std::string parent = pending.front();
    pending.pop_front();
    std::string treeName = tree;
    std::list<std::string> children;
    if (netware::NwNdsListContainers(treeName, parent, children) != 0) continue;
    for (const std::string& child : children) {
      const std::string full = parent == kRoot ? child : child + "." + parent;
      if (full.size() > static_cast<std::size_t>(kContextChars) || found.size() >= limit) continue;
      found.push_back(full);
      pending.push_back(full);
    }
  }
  return found;
}

CContextBrowseDlg::CContextBrowseDlg(std::list<std::string> containers, ui::CWnd* parent)
    : CDialog(BrowseTemplate(), parent), m_containers(std::move(containers)) {}

BOOL CContextBrowseDlg::OnInitDialog() {
  if (auto* list = dynamic_cast<ui::CComboBox*>(GetDlgItem(IDC_CONTAINERS))) {
    for (const std::string& name : m_containers) list->AddString(name);
    if (list->GetCount() > 0) list->SetCurSel(0);
  }
  return 1;
}

void CContextBrowseDlg::OnOK() {
  if (auto* list = dynamic_cast<ui::CComboBox*>(GetDlgItem(IDC_CONTAINERS))) {
    const int index = list->GetCurSel();
    if (index >= 0) m_chosen = list->GetLBText(index);
  }
  CDialog::OnOK();
}

CNetwareNDS::CNetwareNDS()
    : CNetwareDetailPage(NdsTemplate(), kNetwareNDS, kQueueRows, "_NDS_Q") {
  OnCommand(IDC_TREE, ui::CBN_DROPDOWN, &CNetwareNDS::OnDropdownTree);
  OnCommand(IDC_BROWSE, ui::BN_CLICKED, &CNetwareNDS::OnBrowse);
}

BOOL CNetwareNDS::OnInitDialog() {
  m_iRadio = kNetwareNDS;
  return CNetwareDetailPage::OnInitDialog();
}

void CNetwareNDS::ShowBoxNames(bool clear) {
  SetDlgItemText(IDC_TREE, clear ? std::string() : dsNetwareConfigurationData.szNDSTreeName);
  SetDlgItemText(IDC_CONTEXT, clear ? std::string() : dsNetwareConfigurationData.szNDSContextName);
  if (clear) SetDlgItemText(IDC_NW_PRINT_SERVER, "");
}

void CNetwareNDS::LimitNameFields() {
  if (ui::CComboBox* tree = Combo(*this, IDC_TREE)) tree->LimitText(kTreeChars);
  if (auto* context = dynamic_cast<ui::CEdit*>(GetDlgItem(IDC_CONTEXT))) context->LimitText(kContextChars);
}

void CNetwareNDS::EnableClientControls(bool enable) {
  if (CWnd* browse = GetDlgItem(IDC_BROWSE)) browse->EnableWindow(enable);
}

void CNetwareNDS::OnDropdownTree() {
  if (ui::CComboBox* combo = Combo(*this, IDC_TREE)) {
    FillNameCombo(*combo, [](std::list<std::string>& names) { return TheUtility().mScanNDSTree(names); });
  }
}

void CNetwareNDS::OnBrowse() {
  const std::string tree = GetDlgItemText(IDC_TREE);
  if (tree.empty()) {
    platform::MessageBoxById(IDS_BROWSE_TREE_EMPTY, platform::MB_OK);
    return;
  }
  std::list<std::string> trees;
  netware::NwListTrees(trees);
  if (!ListHoldsName(trees, tree)) {
    ShowNamed(IDS_CHECK_TREE, tree);
    return;
  }
  std::list<std::string> containers;
  {
    ui::CWaitCursor wait;
    containers = ListTreeContainers(tree);
  }
  CContextBrowseDlg dialog(std::move(containers), this);
  if (dialog.DoModal() == ui::IDOK && !dialog.Chosen().empty()) SetDlgItemText(IDC_CONTEXT, dialog.Chosen());
}

bool CNetwareNDS::CheckWithClient(std::string tree, std::string context) {
  if (tree.empty()) {
    platform::MessageBoxById(IDS_SELECT_TREE, platform::MB_OK);
    return false;
  }
  std::list<std::string> trees;
  netware::NwListTrees(trees);
  if (trees.empty()) {
    ShowNamed(IDS_CHECK_TREE, tree);
    return false;
  }
  if (context.empty()) {
    platform::MessageBoxById(IDS_SELECT_CONTEXT, platform::MB_OK);
    return false;
  }
  const std::string shownTree = tree;
  if (netware::NwNdsCheckTree(tree, "") != 0) {
    ShowNamed(IDS_CHECK_TREE, shownTree);
    return false;
  }
  std::string start = kRoot;
  std::string wanted = context;
  if (netware::NwNdsFindContext(tree, start, wanted) != 0) {
    ShowNamed(IDS_CONTEXT_MISSING, context);
    return false;
  }
  // May the user create objects in the context?
  netware::NwNdsDeletePrintServer(tree, context, kRightsProbe);
  if (netware::NwNdsCreatePrintServer(tree, context, kRightsProbe) != 0) {
    ShowNamed(IDS_CHECK_TREE, shownTree);
    return false;
  }
  netware::NwNdsDeletePrintServer(tree, context, kRightsProbe);
  return true;
}

bool CNetwareNDS::SetUpWithClient(std::string tree, std::string context) {
  if (!CheckWithClient(tree, context)) return false;
  std::list<std::string> printers, queues;
  PrintersAndQueues("_NDS_", printers, queues);
  if (printers.empty()) return true;
  ui::CWaitCursor wait;
  const int rc = netware::NwNdsSetupPrintServer(tree, context, PrintServerName(), printers, queues);
  if (rc != 0) {
    ShowNetwareError(rc);
    return false;
  }
  return true;
}

ui::LRESULT CNetwareNDS::OnWizardNext() {
  const std::string tree = GetDlgItemText(IDC_TREE);
  const std::string context = GetDlgItemText(IDC_CONTEXT);
  if (!NamesAreConfigText({tree, context})) return -1;
  if (m_useClient && !SetUpWithClient(tree, context)) return -1;
  NetwareConfigurationData& out = g_WizardConfigurationData.dsNetware;
  out.szMasterFileServerName.clear();
  out.szOperationMode = "PS";
  out.szNDSTreeName = tree;
  out.szNDSContextName = context;
  return IDD_TCPIP;
}

}  // namespace wizard

#include "wizard/netware_common.h"

#include "platform/ascii.h"
#include "platform/message_sink.h"
#include "ui/services.h"
#include "wizard/page_layout.h"
#include "wizard/resource.h"
#include "wizard/wizard_routines.h"
#include "wizard/wizard_state.h"
#include "wizard_netware/nw_bindery.h"
#include "wizard_netware/nw_errors.h"
#include "wizard_netware/nw_simulation.h"

namespace wizard {
namespace {

using ui::Kind;

constexpr const char* kSerialLabelForPort3 = "Serial    Port";

}  // namespace

void RegisterNetwareStrings() {
  platform::RegisterString(IDS_BROWSE_TREE_EMPTY, "Tree name empty ?");
  platform::RegisterString(IDS_CHECK_TREE, "1.Check  tree '%s' exist.\n2.Login to '%s' with supervisor right.");
  platform::RegisterString(IDS_SELECT_TREE, "Please select tree");
  platform::RegisterString(IDS_SELECT_CONTEXT, "Please select context");
  platform::RegisterString(IDS_CONTEXT_MISSING, "Context   '%s'  doesn't exist .");
  platform::RegisterString(IDS_SELECT_FILE_SERVER, "Please select masterfileserver!");
  platform::RegisterString(IDS_CHECK_FILE_SERVER,
                           "1.Check fileserver '%s' exist.\n2.Login to '%s' with supervisor right.");
  platform::RegisterString(IDS_IPX_NOT_INSTALLED,
                           "IPX/SPXsetup is unavailable because IPX/SPX is not installed on this PC.");
  platform::RegisterString(IDS_NETWARE_ILLEGAL_INPUT, "Illegal input data");
}

std::vector<ui::ControlTemplate> NetwareModeControls() {
  const int x = kContentX;
  return {
      {-1, Kind::GroupBox, "NetWare Setup", 0, x, 2, kContentCx, 50},
      {-1, Kind::Static, "Mode:", 0, x + 6, 14, 24, 10},
      {IDC_NW_NONE, Kind::Radio, "None - do not configure for NetWare", ui::WS_GROUP | ui::WS_TABSTOP, x + 32, 13, 180, 10},
      {IDC_NW_NDS, Kind::Radio, "NDS Print Server", ui::WS_TABSTOP, x + 32, 25, 90, 10},
      {IDC_NW_BINDERY, Kind::Radio, "Bindery Print Sever", ui::WS_TABSTOP, x + 124, 25, 92, 10},
      {IDC_NW_REMOTE_PRINTER, Kind::Radio, "Remote Printer", ui::WS_TABSTOP, x + 32, 37, 90, 10},
  };
}

std::vector<ui::ControlTemplate> QueueGroupControls(const NetwareQueueRows& rows, int top, int step) {
  const int x = kContentX;
  const char* labels[4] = {"Parallel Port 1", "Parallel Port 2", "Parallel Port 3", "Serial   Port"};
  std::vector<ui::ControlTemplate> c = {
      {IDC_NW_QUEUE_GROUP, Kind::GroupBox, "Queues (Requires Client32)", 0, x, top, kContentCx, kPageCy - 1 - top}};
  for (int i = 0; i < 4; ++i) {
    const int y = top + 10 + i * step;
    c.push_back({rows.label[i], Kind::Static, labels[i], 0, x + 8, y + 2, 60, 10});
    c.push_back({rows.edit[i], Kind::Edit, "", ui::WS_TABSTOP, x + 72, y, 136, 12});
  }
  return c;
}

std::string FormatWithName(int stringId, const std::string& value) {
  std::string text = platform::LoadString(stringId);
  for (std::size_t at = text.find("%s"); at != std::string::npos; at = text.find("%s", at + value.size())) {
    text.replace(at, 2, value);
  }
  return text;
}

void ShowNamed(int stringId, const std::string& name) {
  platform::GetMessageSink().Show(stringId, FormatWithName(stringId, name), platform::MB_OK);
}

ui::CComboBox* Combo(const ui::CWnd& page, int id) { return dynamic_cast<ui::CComboBox*>(page.GetDlgItem(id)); }

void ShowNetwareError(int code) {
  platform::GetMessageSink().Show(0, "netware error =" + netware::NwErrorName(code), platform::MB_OK);
}

bool ListHoldsName(const std::list<std::string>& list, const std::string& name) {
  for (const std::string& entry : list) {
    if (platform::EqualsNoCase(entry, name)) return true;
  }
  return false;
}

void FillNameCombo(ui::CComboBox& combo, const std::function<int(std::list<std::string>&)>& scan) {
  if (!IsIpxInstalled()) {
    platform::MessageBoxById(IDS_IPX_NOT_INSTALLED, platform::MB_OK);
    return;
  }
  std::list<std::string> names;
  int rc = 0;
  {
    ui::CWaitCursor wait;
    rc = scan(names);
  }
  ShowErrorForCode(rc);
  const std::string typed = combo.GetWindowText();
  combo.ResetContent();
  if (rc == 0) {
    for (const std::string& name : names) combo.AddString(name);
  }
  combo.SetWindowText(typed);
}

bool NetwareClientUsable() { return netware::IsNwSimulation() == 1 || netware::NwClientInit(); }

// ---- The mode radios ---------------------------------------------------------------------------

CNetwareModePage::CNetwareModePage(const ui::DialogTemplate& t, int ownMode)
    : CPropertyPage(t), m_ownMode(ownMode) {
  RegisterNetwareStrings();
  OnCommand(IDC_NW_NONE, ui::BN_CLICKED, &CNetwareModePage::OnNone);
  OnCommand(IDC_NW_NDS, ui::BN_CLICKED, &CNetwareModePage::OnNds);
  OnCommand(IDC_NW_BINDERY, ui::BN_CLICKED, &CNetwareModePage::OnBindery);
  OnCommand(IDC_NW_REMOTE_PRINTER, ui::BN_CLICKED, &CNetwareModePage::OnRemotePrinter);
}

void CNetwareModePage::DoDataExchange(bool) {}

void CNetwareModePage::CheckModeRadio(int mode) {
  const int ids[4] = {IDC_NW_NONE, IDC_NW_NDS, IDC_NW_BINDERY, IDC_NW_REMOTE_PRINTER};
  for (int m = 0; m < 4; ++m) CheckDlgButton(ids[m], m == mode ? 1 : 0);
}

BOOL CNetwareModePage::OnSetActive() {
  GetSheet()->SetWizardButtons(ui::PSWIZB_BACK | ui::PSWIZB_NEXT);
  m_iRadio = NetwareMode;
  CheckModeRadio(m_iRadio);
  return CPropertyPage::OnSetActive();
}

ui::LRESULT CNetwareModePage::OnWizardBack() { return IDD_SERVER_DETAILS_OLD; }

void CNetwareModePage::ChooseMode(int mode) {
  NetwareMode = mode;
  m_iRadio = mode;
  // None and Remote Printer are served by the mode page.
  const int servedBy = (mode == kNetwareNDS || mode == kNetwareBindery) ? mode : kNetwareNone;
  if (servedBy == m_ownMode) return;
  const int templateId = servedBy == kNetwareNDS       ? IDD_NETWARE_NDS
                         : servedBy == kNetwareBindery ? IDD_NETWARE_BINDERY
                                                       : IDD_NETWARE;
  const int index = GetSheet()->FindPageByTemplate(templateId);
  if (index >= 0) GetSheet()->SetActivePage(index);
}

void CNetwareModePage::OnNone() { ChooseMode(kNetwareNone); }
void CNetwareModePage::OnNds() { ChooseMode(kNetwareNDS); }
void CNetwareModePage::OnBindery() { ChooseMode(kNetwareBindery); }
void CNetwareModePage::OnRemotePrinter() { ChooseMode(kNetwareRemotePrinter); }

// ---- The detail pages --------------------------------------------------------------------------

CNetwareDetailPage::CNetwareDetailPage(const ui::DialogTemplate& t, int ownMode, QueueRows rows,
                                       const char* queueTag)
    : CNetwareModePage(t, ownMode), m_rows(rows), m_queueTag(queueTag) {}

void CNetwareDetailPage::LayoutRows(int portType) {
  // Every row first, so a box with fewer ports set up before hides nothing of this one.
  for (int i = 0; i < 4; ++i) {
    for (int id : {m_rows.edit[i], m_rows.label[i]}) {
      if (CWnd* w = GetDlgItem(id)) w->ShowWindow(ui::SW_SHOW);
    }
  }
  SetDlgItemText(m_rows.label[2], "Parallel Port 3");
  bool hidden[4] = {false, false, false, false};
  switch (portType) {
    case 1:
      hidden[1] = hidden[2] = hidden[3] = true;
      break;
    case 2:
      hidden[2] = hidden[3] = true;
      break;
    case 3:
    case 4:
      hidden[3] = true;
      break;
    default:
      break;
  }
  if (portType == 4) SetDlgItemText(m_rows.label[2], kSerialLabelForPort3);
  for (int i = 0; i < 4; ++i) {
    if (!hidden[i]) continue;
    for (int id : {m_rows.edit[i], m_rows.label[i]}) {
      if (CWnd* w = GetDlgItem(id)) w->ShowWindow(ui::SW_HIDE);
    }
  }
}

std::string CNetwareDetailPage::PrintServerName() const { return GetDlgItemText(IDC_NW_PRINT_SERVER); }

BOOL CNetwareDetailPage::OnSetActive() {
  CNetwareModePage::OnSetActive();
  std::string defaultName, deviceName, longName;
  GetSelectedDevice(defaultName, deviceName, longName);
  if (defaultName == m_setUpFor) return CPropertyPage::OnSetActive();
  m_setUpFor = defaultName;
  {
    ui::CWaitCursor wait;
    dsNetwareConfigurationData = NetwareConfigurationData{};
    m_readResult = TheUtility().mGetNetwareConfiguration(defaultName, &dsNetwareConfigurationData);
  }
  if (m_readResult != 0) {
    // Nothing of a box set up before stays on the page.
    m_useClient = false;
    ShowBoxNames(true);
    ShowErrorForCode(m_readResult);
    return CPropertyPage::OnSetActive();
  }
  int portType = 0;
  GetSelectedPortType(portType);
  LayoutRows(portType);
  m_useClient = NetwareClientUsable();
  LimitNameFields();
  ShowBoxNames(false);
  SetDlgItemText(IDC_NW_PRINT_SERVER, dsNetwareConfigurationData.szDeviceName);
  const std::string base = dsNetwareConfigurationData.szDeviceName + m_queueTag;
  for (int i = 0; i < 4; ++i) SetDlgItemText(m_rows.edit[i], m_useClient ? base + std::to_string(i + 1) : "");
  if (m_useClient) {
    SetDlgItemText(m_rows.edit[2], base + (portType == 4 ? "S" : "3"));
    SetDlgItemText(m_rows.edit[3], base + "S");
  }
  for (int i = 0; i < 4; ++i) {
    for (int id : {m_rows.edit[i], m_rows.label[i]}) {
      if (CWnd* w = GetDlgItem(id)) w->EnableWindow(m_useClient);
    }
  }
  if (CWnd* group = GetDlgItem(IDC_NW_QUEUE_GROUP)) group->EnableWindow(m_useClient);
  EnableClientControls(m_useClient);
  return CPropertyPage::OnSetActive();
}

void CNetwareDetailPage::PrintersAndQueues(const char* printerTag, std::list<std::string>& printers,
                                           std::list<std::string>& queues) const {
  int portType = 0;
  GetSelectedPortType(portType);
  // Rows by port layout: which edit serves which printer suffix.
  std::vector<std::pair<int, const char*>> rows;
  switch (portType) {
    case 1:
      rows = {{0, "P1"}};
      break;
    case 2:
      rows = {{0, "P1"}, {1, "P2"}};
      break;
    case 3:
      rows = {{0, "P1"}, {1, "P2"}, {2, "P3"}};
      break;
    case 4:
      rows = {{0, "P1"}, {1, "P2"}, {2, "SP"}};
      break;
    case 5:
      rows = {{0, "P1"}, {1, "P2"}, {2, "P3"}, {3, "SP"}};
      break;
    default:
      break;
  }
  printers.clear();
  queues.clear();
  const std::string device = dsNetwareConfigurationData.szDeviceName;
  for (const auto& [row, suffix] : rows) {
    printers.push_back(device + printerTag + suffix);
    queues.push_back(GetDlgItemText(m_rows.edit[row]));
  }
}

bool CNetwareDetailPage::NamesAreConfigText(std::initializer_list<std::string> names) {
  for (const std::string& name : names) {
    if (platform::HasAsciiControl(name)) {
      platform::MessageBoxById(IDS_NETWARE_ILLEGAL_INPUT, platform::MB_OK);
      return false;
    }
  }
  return true;
}

}  // namespace wizard

#include "console_pages/physical_port_page.h"

#include "console_pages/page_inputs.h"
#include "console_pages/page_records.h"
#include "console_pages/port_name_check.h"
#include "device_client/core/config/model_capabilities.h"
#include "platform/message_sink.h"

using ui::Kind;

CPhysicalPortPage g_PhysicalPortPage;
bool g_bPortRenameStarted = false;
int g_iPortRenameMarks[8] = {};

namespace {

ui::DialogTemplate PhysicalPortTemplate() {
  using P = CPhysicalPortPage;
  return CSettingsPage::PageTemplate(
      P::IDD, {{-1, Kind::GroupBox, "Current Selected Physical Port", 0, 10, 24, 270, 34},
               {P::IDC_PHYSICAL_PORT, Kind::DropList, "", ui::WS_TABSTOP, 22, 38, 120, 14},
               {-1, Kind::Static, "Physical Port Name:", 0, 10, 72, 80, 10},
               {P::IDC_PORT_NAME, Kind::Edit, "", ui::WS_TABSTOP, 96, 70, 90, 13},
               {P::IDC_HANDSHAKE_LABEL, Kind::Static, "Handshake Signal:", 0, 10, 94, 80, 10},
               {P::IDC_BUSY, Kind::Radio, "Busy", ui::WS_GROUP | ui::WS_TABSTOP, 96, 94, 50, 10},
               {P::IDC_ACK_BUSY, Kind::Radio, "Ack && Busy", ui::WS_TABSTOP, 150, 94, 70, 10}});
}

// Entry text of each record, P1 to the serial port.
constexpr int kEntryText[config::kPhysicalPortCount] = {
    CPhysicalPortPage::IDS_PARALLEL_PORT_1, CPhysicalPortPage::IDS_PARALLEL_PORT_2,
    CPhysicalPortPage::IDS_PARALLEL_PORT_3, CPhysicalPortPage::IDS_SERIAL_PORT};

// Whether a save carries the port's name and handshake (the parallel ports only).
bool Editable(int record) { return record >= config::kPortP1 && record <= config::kPortP3; }

}  // namespace

void RegisterPhysicalPortPageStrings() {
  platform::RegisterString(CPhysicalPortPage::IDS_PARALLEL_PORT_1, "Parallel Port 1");
  platform::RegisterString(CPhysicalPortPage::IDS_PARALLEL_PORT_2, "Parallel Port 2");
  platform::RegisterString(CPhysicalPortPage::IDS_PARALLEL_PORT_3, "Parallel Port 3 ");
  platform::RegisterString(CPhysicalPortPage::IDS_SERIAL_PORT, "SP");
  platform::RegisterString(port_names::IDS_NEED_INPUT_DATA, "Need to input data");
  platform::RegisterString(port_names::IDS_ILLEGAL_INPUT_DATA, "Illegal input data");
}

CPhysicalPortPage::CPhysicalPortPage() : CSettingsPage(PhysicalPortTemplate()) {
  OnCommand(IDC_PHYSICAL_PORT, ui::CBN_SELCHANGE, &CPhysicalPortPage::OnSelchangePhysicalPort);
  OnCommand(IDC_BUSY, ui::BN_CLICKED, &CPhysicalPortPage::OnBusy);
  OnCommand(IDC_ACK_BUSY, ui::BN_CLICKED, &CPhysicalPortPage::OnAckBusy);
  OnCommand(IDC_PORT_NAME, ui::EN_CHANGE, &CPhysicalPortPage::OnChangePortName);
}

void CPhysicalPortPage::DoDataExchange(bool save) {
  (void)save;
  DDX_Control(IDC_HANDSHAKE_LABEL, m_lblHandshake);
  DDX_Control(IDC_BUSY, m_rdoBusy);
  DDX_Control(IDC_PORT_NAME, m_editPortName);
  DDX_Control(IDC_PHYSICAL_PORT, m_cboPhysicalPort);
}

BOOL CPhysicalPortPage::OnInitDialog() {
  CSettingsPage::OnInitDialog();
  m_editPortName.LimitText(kNameLimit);
  const int result = QueryModelType(m_szDefaultName, m_iModelType);
  if (result != 0) return FailStart(result);
  // A model no table knows gets the one-port row, so the page can be read and left.
  const config::ModelCapabilities& caps = config::ModelCapabilitiesOf(m_iModelType);
  m_cboPhysicalPort.ResetContent();
  for (int entry = 0; entry < caps.iPhysicalPortCount; ++entry) {
    m_cboPhysicalPort.AddString(platform::LoadString(kEntryText[caps.aPhysicalPorts[entry]]));
  }
  ShowEntry(0);
  return TRUE;
}

int CPhysicalPortPage::ShownRecord() const {
  return config::ModelPhysicalPortAt(m_iModelType, m_iCurrentPhysicalPort);
}

void CPhysicalPortPage::ShowEntry(int entry) {
  m_iCurrentPhysicalPort = entry;
  m_cboPhysicalPort.SetCurSel(entry);
  const int record = ShownRecord();
  if (record < 0) return;
  const config::PhysicalPortConfigurationData& port = gdsPhysicalPortConfigurationData[record];
  const bool editable = Editable(record);
  m_editPortName.SetReadOnly(!editable);
  for (int id : {IDC_HANDSHAKE_LABEL, IDC_BUSY, IDC_ACK_BUSY}) {
    if (ui::CWnd* c = GetDlgItem(id)) c->EnableWindow(editable);
  }
  // The page's own setting of the name is the first change: it marks the logical ports to follow.
  g_bPortRenameStarted = false;
  for (int& mark : g_iPortRenameMarks) mark = 0;
  m_editPortName.SetWindowText(port.szPortName);
  m_iHandshake = port.iHandshake == 1 ? 0 : 1;
  CheckDlgButton(IDC_BUSY, m_iHandshake == 0 ? ui::BST_CHECKED : ui::BST_UNCHECKED);
  CheckDlgButton(IDC_ACK_BUSY, m_iHandshake == 0 ? ui::BST_UNCHECKED : ui::BST_CHECKED);
}

void CPhysicalPortPage::OnSelchangePhysicalPort() {
  const int chosen = m_cboPhysicalPort.GetCurSel();
  if (chosen < 0 || chosen == m_iCurrentPhysicalPort) return;
  // The port being left is stored first; a refused name keeps it on show.
  if (StoreShownPort() == 0) {
    m_cboPhysicalPort.SetCurSel(m_iCurrentPhysicalPort);
    return;
  }
  ShowEntry(chosen);
}

void CPhysicalPortPage::SetHandshake(int value) {
  const int record = ShownRecord();
  if (!Editable(record)) return;
  gdsPhysicalPortConfigurationData[record].iHandshake = value;
  m_iHandshake = value == 1 ? 0 : 1;
}

void CPhysicalPortPage::OnBusy() { SetHandshake(1); }

void CPhysicalPortPage::OnAckBusy() { SetHandshake(0); }

void CPhysicalPortPage::OnChangePortName() {
  const std::string name = m_editPortName.GetWindowText();
  if (!g_bPortRenameStarted) {
    // An empty name marks nothing: logical ports without a physical port stay without one.
    for (int k = 0; k < config::kLogicalPrinterCount; ++k) {
      g_iPortRenameMarks[k] = !name.empty() && gdsLogicalPrinterConfigurationData[k].szPhysicalPort == name ? 1 : 0;
    }
    g_bPortRenameStarted = true;
    return;
  }
  for (int k = 0; k < config::kLogicalPrinterCount; ++k) {
    if (g_iPortRenameMarks[k] == 1) gdsLogicalPrinterConfigurationData[k].szPhysicalPort = name;
  }
}

int CPhysicalPortPage::StoreShownPort() {
  const int record = ShownRecord();
  if (!Editable(record)) return 1;
  const std::string name = m_editPortName.GetWindowText();
  const config::ModelCapabilities& caps = config::ModelCapabilitiesOf(m_iModelType);
  std::vector<std::string> others;
  for (int entry = 0; entry < caps.iPhysicalPortCount; ++entry) {
    const int other = caps.aPhysicalPorts[entry];
    if (other != record) others.push_back(gdsPhysicalPortConfigurationData[other].szPortName);
  }
  const int refusal = port_names::NameCheckMessage(port_names::CheckPhysicalPortName(name, others));
  if (refusal != 0) return RefuseInput(refusal, m_editPortName);
  gdsPhysicalPortConfigurationData[record].szPortName = name;
  return 1;
}

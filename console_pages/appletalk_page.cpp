#include "console_pages/appletalk_page.h"

#include "console_pages/page_inputs.h"
#include "console_pages/page_records.h"
#include "device_client/core/config/model_capabilities.h"
#include "device_client/settings/com_method.h"
#include "platform/message_sink.h"

using ui::Kind;

CAppleTalkPage g_AppleTalkPage;

namespace {

// One parallel port's controls and fields.
struct PortRow {
  int typeEdit, typeLabel, group, asp, tbcp, bcp;
  int illegalType;  // message of a refused printer type
  std::string config::APPLETALKConfigurationData::*type;
  std::int32_t config::APPLETALKConfigurationData::*protocol;
};

using AT = config::APPLETALKConfigurationData;
using P = CAppleTalkPage;
const PortRow kRows[3] = {
    {P::IDC_P1_TYPE, P::IDC_P1_TYPE_LABEL, P::IDC_P1_GROUP, P::IDC_P1_ASP, P::IDC_P1_TBCP, P::IDC_P1_BCP,
     P::IDS_ILLEGAL_P1_TYPE, &AT::szP1PrinterType, &AT::bP1BinaryCommunicationProtocol},
    {P::IDC_P2_TYPE, P::IDC_P2_TYPE_LABEL, P::IDC_P2_GROUP, P::IDC_P2_ASP, P::IDC_P2_TBCP, P::IDC_P2_BCP,
     P::IDS_ILLEGAL_P2_TYPE, &AT::szP2PrinterType, &AT::bP2BinaryCommunicationProtocol},
    {P::IDC_P3_TYPE, P::IDC_P3_TYPE_LABEL, P::IDC_P3_GROUP, P::IDC_P3_ASP, P::IDC_P3_TBCP, P::IDC_P3_BCP,
     P::IDS_ILLEGAL_P3_TYPE, &AT::szP3PrinterType, &AT::bP3BinaryCommunicationProtocol},
};

ui::DialogTemplate AppleTalkTemplate() {
  std::vector<ui::ControlTemplate> c;
  c.push_back({-1, Kind::Static, "Zone Name:", 0, 10, 28, 84, 10});
  c.push_back({P::IDC_ZONE_NAME, Kind::Edit, "", ui::WS_TABSTOP, 96, 26, 110, 13});
  static const char* const kTypeLabels[3] = {"Printer Type of P1:", "Printer Type of P2:", "Printer Type of P3:"};
  for (int i = 0; i < 3; ++i) {
    const int y = 46 + 18 * i;
    c.push_back({kRows[i].typeLabel, Kind::Static, kTypeLabels[i], 0, 10, y + 2, 84, 10});
    c.push_back({kRows[i].typeEdit, Kind::Edit, "", ui::ES_READONLY | ui::WS_TABSTOP, 96, y, 110, 13});
  }
  static const char* const kGroups[3] = {"Communication Protocol of P1", "Communication Protocol of P2",
                                         "Communication Protocol of P3"};
  for (int i = 0; i < 3; ++i) {
    const int y = 102 + 30 * i;
    c.push_back({kRows[i].group, Kind::GroupBox, kGroups[i], 0, 10, y, 270, 26});
    c.push_back({kRows[i].asp, Kind::Radio, "ASP", ui::WS_GROUP, 30, y + 12, 60, 10});
    c.push_back({kRows[i].tbcp, Kind::Radio, "TBCP", 0, 100, y + 12, 60, 10});
    c.push_back({kRows[i].bcp, Kind::Radio, "BCP", 0, 170, y + 12, 60, 10});
  }
  return CSettingsPage::PageTemplate(P::IDD, std::move(c));
}

// A record's protocol value as the page shows it: 0 ASP, 1 TBCP, anything else BCP.
int ShownProtocol(std::int32_t value) { return value == 0 ? 0 : value == 1 ? 1 : 2; }

}  // namespace

void RegisterAppleTalkPageStrings() {
  platform::RegisterString(CAppleTalkPage::IDS_ILLEGAL_ZONE_NAME, "Illegal input for \"Zone Name\"");
  platform::RegisterString(CAppleTalkPage::IDS_ILLEGAL_P1_TYPE, "Illegal input for \"Printer Type of P1\"");
  platform::RegisterString(CAppleTalkPage::IDS_ILLEGAL_P2_TYPE, "Illegal input for \"Printer Type of P2\"");
  platform::RegisterString(CAppleTalkPage::IDS_ILLEGAL_P3_TYPE, "Illegal input for \"Printer Type of P3\"");
}

CAppleTalkPage::CAppleTalkPage() : CSettingsPage(AppleTalkTemplate()) {
  OnCommand(IDC_P1_ASP, ui::BN_CLICKED, &CAppleTalkPage::OnCommProtocol<0, 0>);
  OnCommand(IDC_P1_TBCP, ui::BN_CLICKED, &CAppleTalkPage::OnCommProtocol<0, 1>);
  OnCommand(IDC_P1_BCP, ui::BN_CLICKED, &CAppleTalkPage::OnCommProtocol<0, 2>);
  OnCommand(IDC_P2_ASP, ui::BN_CLICKED, &CAppleTalkPage::OnCommProtocol<1, 0>);
  OnCommand(IDC_P2_TBCP, ui::BN_CLICKED, &CAppleTalkPage::OnCommProtocol<1, 1>);
  OnCommand(IDC_P2_BCP, ui::BN_CLICKED, &CAppleTalkPage::OnCommProtocol<1, 2>);
  OnCommand(IDC_P3_ASP, ui::BN_CLICKED, &CAppleTalkPage::OnCommProtocol<2, 0>);
  OnCommand(IDC_P3_TBCP, ui::BN_CLICKED, &CAppleTalkPage::OnCommProtocol<2, 1>);
  OnCommand(IDC_P3_BCP, ui::BN_CLICKED, &CAppleTalkPage::OnCommProtocol<2, 2>);
}

void CAppleTalkPage::DoDataExchange(bool save) {
  (void)save;
  DDX_Control(IDC_ZONE_NAME, m_editZoneName);
  DDX_Control(IDC_P1_TYPE, m_editP1Type);
  DDX_Control(IDC_P2_TYPE, m_editP2Type);
  DDX_Control(IDC_P3_TYPE, m_editP3Type);
  DDX_Control(IDC_P1_TYPE_LABEL, m_lblP1Type);
  DDX_Control(IDC_P2_TYPE_LABEL, m_lblP2Type);
  DDX_Control(IDC_P3_TYPE_LABEL, m_lblP3Type);
  DDX_Control(IDC_P1_GROUP, m_grpP1);
  DDX_Control(IDC_P2_GROUP, m_grpP2);
  DDX_Control(IDC_P3_GROUP, m_grpP3);
  DDX_Control(IDC_P1_ASP, m_rdoP1Asp);
  DDX_Control(IDC_P2_ASP, m_rdoP2Asp);
  DDX_Control(IDC_P3_ASP, m_rdoP3Asp);
}

std::vector<int> CAppleTalkPage::LastControls() const {
  const PortRow& last = kRows[m_iOfferedPorts >= 1 && m_iOfferedPorts <= 3 ? m_iOfferedPorts - 1 : 0];
  return {last.asp, last.tbcp, last.bcp};
}

int* CAppleTalkPage::ProtocolOf(int port) {
  return port == 0 ? &m_iP1Protocol : port == 1 ? &m_iP2Protocol : &m_iP3Protocol;
}

void CAppleTalkPage::ShowPort(int port, bool offered) {
  const PortRow& row = kRows[port];
  const config::APPLETALKConfigurationData& record = gdsAPPLETALKConfigurationData;
  int& protocol = *ProtocolOf(port);
  protocol = offered ? ShownProtocol(record.*row.protocol) : -1;
  const int radios[3] = {row.asp, row.tbcp, row.bcp};
  for (int v = 0; v < 3; ++v) CheckDlgButton(radios[v], v == protocol ? ui::BST_CHECKED : ui::BST_UNCHECKED);
  auto* edit = dynamic_cast<ui::CEdit*>(GetDlgItem(row.typeEdit));
  if (edit != nullptr) {
    edit->LimitText(kTextLimit);
    edit->SetWindowText(offered ? record.*row.type : std::string("N/A"));
  }
  for (int id : {row.typeEdit, row.typeLabel, row.asp, row.tbcp, row.bcp, row.group}) {
    if (ui::CWnd* c = GetDlgItem(id)) c->EnableWindow(offered);
  }
}

BOOL CAppleTalkPage::OnInitDialog() {
  CSettingsPage::OnInitDialog();
  m_editZoneName.LimitText(kTextLimit);
  m_editZoneName.SetWindowText(gdsAPPLETALKConfigurationData.szZoneName);
  const int result = QueryModelType(m_szDefaultName, m_iModelType);
  if (result != 0) return FailStart(result);
  // A model no table knows gets the one-port row, so the page can be read and left.
  m_iOfferedPorts = config::ModelCapabilitiesOf(m_iModelType).iAppleTalkPorts;
  for (int port = 0; port < 3; ++port) ShowPort(port, port < m_iOfferedPorts);
  return TRUE;
}

int CAppleTalkPage::Store() {
  const std::string zone = m_editZoneName.GetWindowText();
  if (CComMethod::IsPrintableText(zone) == 0) return RefuseInput(IDS_ILLEGAL_ZONE_NAME, m_editZoneName);
  ui::CEdit* edits[3] = {&m_editP1Type, &m_editP2Type, &m_editP3Type};
  const int ports = m_iOfferedPorts < 1 ? 1 : m_iOfferedPorts > 3 ? 3 : m_iOfferedPorts;
  std::string types[3];
  for (int port = 0; port < ports; ++port) types[port] = edits[port]->GetWindowText();
  for (int port = 0; port < ports; ++port) {
    if (CComMethod::IsPrintableText(types[port]) == 0) return RefuseInput(kRows[port].illegalType, *edits[port]);
  }
  config::APPLETALKConfigurationData& record = gdsAPPLETALKConfigurationData;
  record.szZoneName = zone;
  for (int port = 0; port < ports; ++port) {
    record.*kRows[port].type = types[port];
    record.*kRows[port].protocol = ShownProtocol(*ProtocolOf(port));
  }
  return 1;
}

#include "console_pages/tcpip_page.h"

#include <utility>

#include "console_pages/page_records.h"
#include "device_client/settings/com_method.h"
#include "platform/message_sink.h"
#include "ui/services.h"

using ui::Kind;

CTcpipPage g_TcpipPage;

namespace {

// The order in which a full octet hands the caret on: IP, then mask, then gateway.
constexpr int kChain[12] = {1093, 1095, 1097, 1100, 1115, 1119, 1122, 1125, 1103, 1106, 1109, 1112};

void AddAddressRow(std::vector<ui::ControlTemplate>& controls, const char* label, const int (&ids)[4], int y) {
  controls.push_back({-1, Kind::Static, label, 0, 20, y + 2, 80, 10});
  for (int i = 0; i < 4; ++i) {
    const int x = 104 + i * 34;
    controls.push_back({ids[i], Kind::Edit, "", ui::WS_TABSTOP, x, y, 24, 13});
    if (i < 3) controls.push_back({-1, Kind::Static, ".", 0, x + 27, y + 2, 5, 10});
  }
}

ui::DialogTemplate TcpipTemplate() {
  using P = CTcpipPage;
  std::vector<ui::ControlTemplate> c;
  c.push_back({-1, Kind::GroupBox, "TCP/IP Address", 0, 10, 26, 270, 92});
  AddAddressRow(c, "IP Address:", P::IDC_IP, 44);
  AddAddressRow(c, "Subnet Mask:", P::IDC_MASK, 68);
  AddAddressRow(c, "Default Gateway:", P::IDC_GATEWAY, 92);
  c.push_back({P::IDC_DHCP_LABEL, Kind::Static, "DHCP:", 0, 20, 134, 60, 10});
  c.push_back({P::IDC_DHCP_DISABLE, Kind::Radio, "Disable", ui::WS_GROUP | ui::WS_TABSTOP, 104, 133, 50, 10});
  c.push_back({P::IDC_DHCP_ENABLE, Kind::Radio, "Enable", ui::WS_TABSTOP, 172, 133, 50, 10});
  return CSettingsPage::PageTemplate(P::IDD, std::move(c));
}

// The leading digits of a text as a number ("12a" 12, "abc" 0), capped above 255.
int LeadingValue(const std::string& text) {
  int value = 0;
  for (char ch : text) {
    if (ch < '0' || ch > '9') break;
    value = value * 10 + (ch - '0');
    if (value > 255) return 256;
  }
  return value;
}

}  // namespace

void RegisterTcpipPageStrings() {
  platform::RegisterString(CTcpipPage::IDS_ILLEGAL_VALUE, "Illegal Value");
  platform::RegisterString(CTcpipPage::IDS_VALUE_RANGE, "Value must between 0 - 255");
  platform::RegisterString(CTcpipPage::IDS_NEED_DATA, "Need to input data");
}

CTcpipPage::CTcpipPage() : CSettingsPage(TcpipTemplate()) {
  RegisterOctetHandlers(std::make_index_sequence<12>());
  OnCommand(IDC_DHCP_DISABLE, ui::BN_CLICKED, &CTcpipPage::OnDhcpDisable);
  OnCommand(IDC_DHCP_ENABLE, ui::BN_CLICKED, &CTcpipPage::OnDhcpEnable);
}

template <std::size_t... I>
void CTcpipPage::RegisterOctetHandlers(std::index_sequence<I...>) {
  (OnCommand(kChain[I], ui::EN_CHANGE, &CTcpipPage::OnChangeOctetAt<static_cast<int>(I)>), ...);
}

ui::CEdit& CTcpipPage::OctetEdit(int address, int octet) {
  ui::CEdit* rows[3] = {m_editIP, m_editMask, m_editGateway};
  return rows[address][octet];
}

void CTcpipPage::DoDataExchange(bool save) {
  m_bFilling = true;
  for (int i = 0; i < 4; ++i) {
    DDX_Control(IDC_IP[i], m_editIP[i]);
    DDX_Control(IDC_MASK[i], m_editMask[i]);
    DDX_Control(IDC_GATEWAY[i], m_editGateway[i]);
    DDX_Text(save, IDC_IP[i], m_szIP[i]);
    DDX_Text(save, IDC_MASK[i], m_szMask[i]);
    DDX_Text(save, IDC_GATEWAY[i], m_szGateway[i]);
  }
  DDX_Control(IDC_DHCP_DISABLE, m_rdoDhcpDisable);
  DDX_Radio(save, IDC_DHCP_DISABLE, m_iDhcp);
  m_bFilling = false;
}

void CTcpipPage::ShowRecord(bool dhcp) {
  const config::TCPIPConfigurationData& record = gdsTCPIPConfigurationData;
  const std::string* texts[3] = {&record.szIPAddress, &record.szSubNetworkMaskAddress, &record.szGatewayAddress};
  m_bFilling = true;
  for (int a = 0; a < 3; ++a) {
    std::string parts[4];
    // An address that does not split shows empty octets, never those of an earlier box.
    if (CComMethod::SplitIpAddress(*texts[a], parts[0], parts[1], parts[2], parts[3]) == 0) {
      for (std::string& p : parts) p.clear();
    }
    for (int o = 0; o < 4; ++o) OctetEdit(a, o).SetWindowText(parts[o]);
  }
  for (int a = 0; a < 3; ++a) {
    for (int o = 0; o < 4; ++o) OctetEdit(a, o).EnableWindow(!dhcp);
  }
  m_bFilling = false;
  UpdateData(true);  // the members follow the edits
}

BOOL CTcpipPage::OnInitDialog() {
  RegisterTcpipPageStrings();  // the texts of the page's and its store's messages
  CSettingsPage::OnInitDialog();
  const bool dhcp = gdsTCPIPConfigurationData.bAutoAddress1 == 1;
  m_iDhcp = dhcp ? 1 : 0;
  CheckDlgButton(IDC_DHCP_ENABLE, dhcp ? ui::BST_CHECKED : ui::BST_UNCHECKED);
  CheckDlgButton(IDC_DHCP_DISABLE, dhcp ? ui::BST_UNCHECKED : ui::BST_CHECKED);
  m_iTabState = dhcp ? 3 : 0;

  CPJLUtility& utility = TheUtility();
  int result = 0;
  {
    ui::CWaitCursor wait;
    result = utility.mGetDevicePortType(m_szDefaultName, &m_iModelType);
  }
  if (result != 0) return FailStart(result);
  {
    ui::CWaitCursor wait;
    result = utility.mGetDeviceProtocol(m_szDefaultName, &m_dsProtocolData);
  }
  if (result != 0) return FailStart(result);

  for (int a = 0; a < 3; ++a) {
    for (int o = 0; o < 4; ++o) OctetEdit(a, o).LimitText(kOctetLimit);
  }
  ShowRecord(dhcp);
  return TRUE;
}

void CTcpipPage::OnChangeOctet(int chainIndex) {
  if (m_bFilling || chainIndex < 0 || chainIndex >= 12) return;
  auto* edit = dynamic_cast<ui::CEdit*>(GetDlgItem(kChain[chainIndex]));
  if (edit == nullptr) return;
  const std::string text = edit->GetWindowText();
  // A full octet hands the caret on to the next one (the last gateway octet keeps it).
  if (text.size() == 3 && chainIndex + 1 < 12) {
    if (auto* next = dynamic_cast<ui::CEdit*>(GetDlgItem(kChain[chainIndex + 1]))) {
      next->SetFocus();
      next->SetSel(0, 3);
    }
  }
  if (LeadingValue(text) > 255) {
    platform::MessageBoxById(IDS_VALUE_RANGE);
    edit->SetWindowText("0");
    edit->SetFocus();
    edit->SetSel(0, 3);
  }
}

// A switch of DHCP shows the record's addresses again (greyed while DHCP is on); a click on the
// radio already checked keeps what was typed.
void CTcpipPage::OnDhcpDisable() {
  gdsTCPIPConfigurationData.bAutoAddress1 = 0;
  m_iTabState = 0;
  if (m_iDhcp == 0) return;
  m_iDhcp = 0;
  ShowRecord(false);
}

void CTcpipPage::OnDhcpEnable() {
  gdsTCPIPConfigurationData.bAutoAddress1 = 1;
  m_iTabState = 3;
  if (m_iDhcp == 1) return;
  m_iDhcp = 1;
  ShowRecord(true);
}

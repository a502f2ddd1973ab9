#include "wizard/tcpip_page.h"

#include "device_client/settings/com_method.h"
#include "platform/message_sink.h"
#include "platform/netprobe/netprobe.h"
#include "ui/services.h"
#include "wizard/page_layout.h"
#include "wizard/resource.h"
#include "wizard/tcpip_address.h"
#include "wizard/wizard_routines.h"
#include "wizard/wizard_state.h"

namespace wizard {
namespace {

using ui::Kind;

InterfaceMaskSource& MaskSource() {
  static InterfaceMaskSource source;
  return source;
}

constexpr int kOctetChars = 3;
constexpr const char* kNoAddress = "0.0.0.0";

ui::DialogTemplate TcpipTemplate() {
  using P = CTcpip;
  const int x = kContentX;
  std::vector<ui::ControlTemplate> c = {
      {-1, Kind::Static, "How should the print server get its IP address?", 0, x, 8, kContentCx, 10},
      {P::IDC_AUTOMATIC, Kind::Radio, "Obtain IP Address automatically", ui::WS_GROUP | ui::WS_TABSTOP,
       x + 6, 22, 150, 10},
      {P::IDC_FIXED, Kind::Radio, "Fixed IP Address", ui::WS_TABSTOP, x + 6, 34, 150, 10},
      {P::IDC_GROUP, Kind::GroupBox, "TCP/IP", 0, x, 48, kContentCx, 72},
      {P::IDC_IP_LABEL, Kind::Static, "IP address:", 0, x + 8, 62, 60, 10},
      {P::IDC_MASK_LABEL, Kind::Static, "Subnet mask:", 0, x + 8, 80, 60, 10},
      {P::IDC_GATEWAY_LABEL, Kind::Static, "Default gateway:", 0, x + 8, 98, 60, 10},
  };
  const int rowY[3] = {60, 78, 96};
  const int firstIds[3] = {P::IDC_IP1, P::IDC_MASK1, P::IDC_GATEWAY1};
  for (int row = 0; row < 3; ++row) {
    for (int i = 0; i < 4; ++i) {
      const int ox = x + 76 + i * 26;
      c.push_back({firstIds[row] + i, Kind::Edit, "", ui::WS_TABSTOP, ox, rowY[row], 20, 12});
      if (i < 3) c.push_back({-1, Kind::Static, ".", 0, ox + 21, rowY[row] + 2, 4, 10});
    }
  }
  c.push_back({P::IDC_SUGGEST, Kind::Button, "Suggest New Values", ui::WS_TABSTOP, x, 126, 84, 14});
  c.push_back({P::IDC_STATUS, Kind::Static,
               "Suggested IP Address is not currently in use, but only\ndevices powered on can be checked.",
               0, x, 144, kContentCx, 24});
  return WizardPageTemplate(IDD_TCPIP, std::move(c));
}

std::string Joined(const std::string (&octets)[4]) {
  return octets[0] + "." + octets[1] + "." + octets[2] + "." + octets[3];
}

void SelectedDevice(std::string& defaultName) {
  std::string deviceName, longName;
  GetSelectedDevice(defaultName, deviceName, longName);
}

}  // namespace

void RegisterTcpipStrings() {
  platform::RegisterString(IDS_NEED_INPUT_DATA, "Need to input data");
  platform::RegisterString(IDS_ILLEGAL_VALUE, "Illegal Value");
  platform::RegisterString(IDS_VALUE_RANGE, "Value must between 0 - 255");
  platform::RegisterString(IDS_TCPIP_NOT_INSTALLED,
                           "TCP/IP setup is unavailable because TCPIP is not installed on this PC.");
  platform::RegisterString(IDS_SUGGEST_NEW_VALUES,
                           "Current Print Server settings cannot work in present location.\nSuggest new values?");
  platform::RegisterString(IDS_ADDRESS_NOT_IN_USE,
                           "Suggested IP Address is not currently in use, but only\ndevices powered on can be checked.");
  platform::RegisterString(IDS_VALUES_OK, "Current Values seem OK, no conflict detected.");
  platform::RegisterString(IDS_NO_DHCP_SERVER, "Warning!\nNo DHCP Server found.");
  platform::RegisterString(IDS_VALUES_CANNOT_WORK,
                           "Warning!\nCurrent values can NOT work in present location.");
  platform::RegisterString(IDS_NO_FREE_ADDRESS, "No free address was found in this network.");
  platform::RegisterString(IDS_TCPIP_READ_FAILED, "The print server's TCP/IP settings could not be read.");
  platform::RegisterString(IDS_IP_ILLEGAL, "IP Address illegal.");
  platform::RegisterString(IDS_GATEWAY_ILLEGAL, "Gateway illegal.");
  platform::RegisterString(IDS_MASK_ILLEGAL, "Subnet mask illegal.");
  platform::RegisterString(IDS_GATEWAY_OR_IP_ERROR, "Gateway or IP Address error.");
}

void SetInterfaceMaskSource(InterfaceMaskSource source) { MaskSource() = std::move(source); }

CTcpip::CTcpip() : CPropertyPage(TcpipTemplate()) {
  RegisterTcpipStrings();
  OnCommand(IDC_AUTOMATIC, ui::BN_CLICKED, &CTcpip::OnAutomatic);
  OnCommand(IDC_FIXED, ui::BN_CLICKED, &CTcpip::OnFixed);
  OnCommand(IDC_SUGGEST, ui::BN_CLICKED, &CTcpip::OnSuggest);
  for (int i = 0; i < 4; ++i) {
    for (int first : {IDC_IP1, IDC_MASK1, IDC_GATEWAY1}) OnCommand(first + i, ui::EN_CHANGE, &CTcpip::OnAddressChanged);
  }
}

void CTcpip::DoDataExchange(bool save) {
  DDX_Control(IDC_STATUS, m_status);
  for (int i = 0; i < 4; ++i) {
    DDX_Control(IDC_MASK1 + i, m_mask[i]);
    DDX_Control(IDC_IP1 + i, m_ip[i]);
    DDX_Control(IDC_GATEWAY1 + i, m_gateway[i]);
  }
  DDX_Control(IDC_SUGGEST, m_suggest);
  DDX_Radio(save, IDC_AUTOMATIC, m_iMode);
}

BOOL CTcpip::OnInitDialog() {
  CPropertyPage::OnInitDialog();
  return 1;
}

void CTcpip::SetStatus(int stringId) {
  m_statusLead = 0;
  m_cannotWorkShown = false;
  m_status.SetWindowText(stringId == 0 ? std::string() : platform::LoadString(stringId));
}

void CTcpip::SetCannotWork(int leadId) {
  std::string text = leadId == 0 ? std::string() : platform::LoadString(leadId) + "\n";
  m_status.SetWindowText(text + platform::LoadString(IDS_VALUES_CANNOT_WORK));
  m_statusLead = leadId;
  m_cannotWorkShown = true;
}

void CTcpip::ShowNoFreeAddress() {
  if (m_iMode == 1 && !FieldsWork()) {
    SetCannotWork(IDS_NO_FREE_ADDRESS);
  } else {
    SetStatus(IDS_NO_FREE_ADDRESS);
    m_statusLead = IDS_NO_FREE_ADDRESS;
  }
}

bool CTcpip::FieldsWork() const {
  auto row = [](const ui::CEdit (&edits)[4], std::string& joined) {
    joined.clear();
    for (int i = 0; i < 4; ++i) {
      std::string octet = edits[i].GetWindowText();
      CComMethod::RemoveSpaces(octet);
      const std::optional<int> value = OctetValue(octet);
      if (!value) return false;
      joined += (i > 0 ? "." : "") + std::to_string(*value);
    }
    return true;
  };
  std::string ip, mask, gateway, local;
  if (!row(m_ip, ip) || !row(m_mask, mask) || !row(m_gateway, gateway)) return false;
  if (AddressRuleBroken(ip, mask, gateway) != 0) return false;
  GetSelectedLocalAddress(local);
  if (!ParseDottedDecimal(local) || local == kNoAddress) return true;
  return SameNetwork(ip, local, LocalMask(local));
}

void CTcpip::OnAddressChanged() {
  if (!m_cannotWorkShown || !FieldsWork()) return;
  const int lead = m_statusLead;
  SetStatus(lead);
  m_statusLead = lead;
}

void CTcpip::EnableTcpipControls() {
  for (int id : {IDC_AUTOMATIC, IDC_FIXED, IDC_GROUP, IDC_IP_LABEL, IDC_MASK_LABEL, IDC_GATEWAY_LABEL}) {
    if (CWnd* w = GetDlgItem(id)) w->EnableWindow(true);
  }
  EnableAddressControls(true);
  m_status.SetWindowText("");
}

void CTcpip::EnableAddressControls(bool enable) {
  for (int i = 0; i < 4; ++i) {
    m_ip[i].EnableWindow(enable);
    m_mask[i].EnableWindow(enable);
    m_gateway[i].EnableWindow(enable);
  }
  m_suggest.EnableWindow(enable);
}

void CTcpip::SetRow(ui::CEdit (&row)[4], const std::string& address) {
  std::string o[4];
  if (!SplitIpAddress(address, o[0], o[1], o[2], o[3])) return;
  for (int i = 0; i < 4; ++i) row[i].SetWindowText(o[i]);
}

void CTcpip::SetMaskRow(std::uint32_t mask) { SetRow(m_mask, FormatDotted(mask)); }

void CTcpip::FillAddressEdits() {
  SetRow(m_ip, m_boxTcpip.szIPAddress);
  SetRow(m_gateway, m_boxTcpip.szGatewayAddress);
  SetRow(m_mask, m_boxTcpip.szSubNetworkMaskAddress);
}

void CTcpip::ClearAddressEdits() {
  for (int i = 0; i < 4; ++i) {
    m_ip[i].SetWindowText("");
    m_mask[i].SetWindowText("");
    m_gateway[i].SetWindowText("");
  }
}

std::uint32_t CTcpip::LocalMask(const std::string& localAddress) const {
  const std::optional<std::uint32_t> local = ParseDottedDecimal(localAddress);
  if (!local) return 0xFFFFFF00u;
  std::optional<std::uint32_t> mask = MaskSource() ? MaskSource()(*local)
                                                   : platform::netprobe::InterfaceMask(*local);
  if (mask && IsContiguousMask(*mask)) return *mask;
  return DefaultMaskFor(*local);
}

BOOL CTcpip::OnSetActive() {
  GetSheet()->SetWizardButtons(ui::PSWIZB_BACK | ui::PSWIZB_NEXT);
  std::string defaultName, selectedIp, stateA, stateB, local;
  SelectedDevice(defaultName);
  GetSelectedIPAddress(selectedIp);
  GetDeviceStateFlags(stateA, stateB);
  if (defaultName == m_setUpFor) return CPropertyPage::OnSetActive();

  m_setUpFor = defaultName;
  EnableTcpipControls();
  m_tcpipInstalled = IsTcpipInstalled();
  for (int i = 0; i < 4; ++i) {
    m_ip[i].LimitText(kOctetChars);
    m_mask[i].LimitText(kOctetChars);
    m_gateway[i].LimitText(kOctetChars);
  }
  GetSelectedLocalAddress(local);

  if (!m_tcpipInstalled) {
    for (int id : {IDC_AUTOMATIC, IDC_FIXED, IDC_GROUP, IDC_IP_LABEL, IDC_MASK_LABEL, IDC_GATEWAY_LABEL}) {
      if (CWnd* w = GetDlgItem(id)) w->EnableWindow(false);
    }
    EnableAddressControls(false);
    m_status.SetWindowText("");
    platform::MessageBoxById(IDS_TCPIP_NOT_INSTALLED, platform::MB_OK);
    return CPropertyPage::OnSetActive();
  }

  if (stateB == "FALSE") {
    // The box's own values are not to be used: propose an address of this PC's network.
    m_iMode = 1;
    CheckDlgButton(IDC_AUTOMATIC, 0);
    CheckDlgButton(IDC_FIXED, 1);
    EnableAddressControls(true);
    ClearAddressEdits();
    ui::CWaitCursor wait;
    if (local == kNoAddress) m_suggest.EnableWindow(false);
    const std::uint32_t mask = LocalMask(local);
    std::string found;
    if (FindFreeAddress(local, mask, found, platform::netprobe::GetEchoProber())) {
      SetRow(m_ip, found);
      SetMaskRow(mask);
      for (ui::CEdit& e : m_gateway) e.SetWindowText("0");
      SetStatus(IDS_VALUES_OK);
    } else {
      // Nothing to propose (every address answered, or no network to search): the box's own
      // values are shown, with the reason (a failed read says so itself).
      wait.Restore();
      SetStatus(0);
      if (ShowBoxValues(defaultName, local)) ShowNoFreeAddress();
    }
    return CPropertyPage::OnSetActive();
  }

  if (!ShowBoxValues(defaultName, local)) return CPropertyPage::OnSetActive();
  if (m_iMode == 0) {
    SetStatus(selectedIp != kNoAddress ? IDS_ADDRESS_NOT_IN_USE : IDS_NO_DHCP_SERVER);
    return CPropertyPage::OnSetActive();
  }
  if (SameNetwork(m_boxTcpip.szIPAddress, local, LocalMask(local))) {
    SetStatus(IDS_ADDRESS_NOT_IN_USE);
  } else if (platform::MessageBoxById(IDS_SUGGEST_NEW_VALUES, platform::MB_YESNO | platform::MB_ICONQUESTION) ==
             platform::IDYES) {
    OnSuggest();
  } else {
    SetCannotWork(0);
  }
  return CPropertyPage::OnSetActive();
}

bool CTcpip::ShowBoxValues(const std::string& defaultName, const std::string& local) {
  {
    ui::CWaitCursor wait;
    m_boxTcpip = TCPIPConfigurationData{};
    m_readResult = TheUtility().mGetTCPIPConfiguration(defaultName, &m_boxTcpip);
  }
  if (m_readResult != 0) {
    // Nothing of an earlier box may stay on the page, and the status tells why it is empty.
    ClearAddressEdits();
    SetStatus(IDS_TCPIP_READ_FAILED);
    ShowErrorForCode(m_readResult);
    return false;
  }
  const bool automatic =
      m_boxTcpip.bAutoAddress1 == 1 || m_boxTcpip.bAutoAddress2 == 1 || m_boxTcpip.bAutoAddress3 == 1;
  m_iMode = automatic ? 0 : 1;
  CheckDlgButton(IDC_AUTOMATIC, automatic ? 1 : 0);
  CheckDlgButton(IDC_FIXED, automatic ? 0 : 1);
  EnableAddressControls(!automatic);
  ClearAddressEdits();
  FillAddressEdits();
  if (!automatic && local == kNoAddress) m_suggest.EnableWindow(false);
  return true;
}

void CTcpip::OnAutomatic() {
  m_iMode = 0;
  EnableAddressControls(false);
  // The address fields are not used now: no warning about them.
  if (m_cannotWorkShown) {
    const int lead = m_statusLead;
    SetStatus(lead);
    m_statusLead = lead;
  }
}

void CTcpip::OnFixed() {
  m_iMode = 1;
  EnableAddressControls(true);
}

void CTcpip::OnSuggest() {
  ui::CWaitCursor wait;
  std::string local;
  GetSelectedLocalAddress(local);
  const std::uint32_t mask = LocalMask(local);
  std::string found;
  if (!FindFreeAddress(local, mask, found, platform::netprobe::GetEchoProber())) {
    ShowNoFreeAddress();
    return;
  }
  SetRow(m_ip, found);
  SetMaskRow(mask);
  SetStatus(IDS_VALUES_OK);
}

bool CTcpip::ReadRow(ui::CEdit (&row)[4], std::string& joined) {
  std::string octets[4];
  for (int i = 0; i < 4; ++i) {
    octets[i] = row[i].GetWindowText();
    CComMethod::RemoveSpaces(octets[i]);
  }
  auto refuse = [&](int i, int stringId) {
    platform::MessageBoxById(stringId, platform::MB_OK);
    row[i].SetWindowText("");
    row[i].SetFocus();
    return false;
  };
  for (int i = 0; i < 4; ++i) {
    if (octets[i].empty()) return refuse(i, IDS_NEED_INPUT_DATA);
  }
  for (int i = 0; i < 4; ++i) {
    // Read as a decimal number: leading zeros never make an octet octal.
    int value = 0;
    const int read = CComMethod::ReadOctet(octets[i], value);
    if (read == CComMethod::kOctetNotDecimal) return refuse(i, IDS_ILLEGAL_VALUE);
    if (read != CComMethod::kOctetOk) return refuse(i, IDS_VALUE_RANGE);
    octets[i] = std::to_string(value);
  }
  joined = Joined(octets);
  return true;
}

ui::LRESULT CTcpip::OnWizardNext() {
  ui::CWaitCursor wait;
  TCPIPConfigurationData& out = g_WizardConfigurationData.dsTCPIP;
  if (!m_tcpipInstalled || m_iMode == 0) {
    out.bAutoAddress1 = out.bAutoAddress2 = out.bAutoAddress3 = 1;
    out.szIPAddress = out.szGatewayAddress = out.szSubNetworkMaskAddress = kNoAddress;
  } else {
    out.bAutoAddress1 = out.bAutoAddress2 = out.bAutoAddress3 = 0;
    std::string text;
    if (!ReadRow(m_ip, text)) return -1;
    out.szIPAddress = text;
    if (!ReadRow(m_gateway, text)) return -1;
    out.szGatewayAddress = text;
    if (!ReadRow(m_mask, text)) return -1;
    out.szSubNetworkMaskAddress = text;
    const int broken = AddressRuleBroken(out.szIPAddress, out.szSubNetworkMaskAddress, out.szGatewayAddress);
    if (broken != 0) {
      platform::MessageBoxById(broken, platform::MB_OK | platform::MB_ICONWARNING);
      return -1;
    }
  }
  std::string defaultName;
  SelectedDevice(defaultName);
  m_protocol = ProtocolData{};
  TheUtility().mGetDeviceProtocol(defaultName, &m_protocol);
  return m_protocol.bWirelessDevice == 1 ? IDD_WIRELESS : IDD_FINISH;
}

ui::LRESULT CTcpip::OnWizardBack() {
  if (dsSystemConfigurationData.bIPXSPXProtocol == 1 && GetWizardMode() == 1) {
    if (NetwareMode == kNetwareNDS) return IDD_NETWARE_NDS;
    if (NetwareMode == kNetwareBindery) return IDD_NETWARE_BINDERY;
    return IDD_NETWARE;
  }
  return IDD_SERVER_DETAILS_OLD;
}

}  // namespace wizard

#include "wizard/wireless_page.h"

#include <cstdio>
#include <cstring>

#include "device_client/core/config/wep_key_layout.h"
#include "platform/ascii.h"
#include "platform/message_sink.h"
#include "platform/profile.h"
#include "ui/services.h"
#include "wizard/page_layout.h"
#include "wizard/resource.h"
#include "wizard/wizard_routines.h"
#include "wizard/wizard_state.h"

namespace wizard {

const int CWireless::kKeyEditIds[CWireless::kKeyEdits] = {
    1222, 1110, 1111, 1112, 1113,  // Key1
    1114, 1193, 1194, 1195, 1196,  // Key2
    1197, 1198, 1199, 1200, 1201,  // Key3
    1202, 1203, 1204, 1205, 1206,  // Key4
};
static_assert(CWireless::kKeyEdits == config::kWepKeyByteEdits);

namespace {

using ui::Kind;

constexpr int kSharedFirst = 5;      // index of the first edit both layouts use
constexpr int kKey128Edits = 13;     // the single 128-bit key
constexpr int kRowEdits = 5;         // a 64-bit key
constexpr int kSsidChars = 32;
constexpr int kKeyByteChars = 2;
constexpr int kKeyLength64 = 5;
constexpr int kKeyLength128 = 13;
constexpr int kNetworkTypeAdHoc = 3;
constexpr std::uint8_t kTwoTypeProductId[2] = {0x00, 0x08};
constexpr std::size_t kProductIdOffset = 38;

ui::DialogTemplate WirelessTemplate() {
  using P = CWireless;
  const int x = kContentX;
  std::vector<ui::ControlTemplate> c = {
      {-1, Kind::Static, "Station Name:", 0, x, 8, 56, 10},
      {P::IDC_STATION, Kind::Edit, "", ui::ES_READONLY, x + 58, 6, 90, 12},
      {-1, Kind::Static, "SSID:", 0, x, 23, 56, 10},
      {P::IDC_SSID, Kind::Edit, "", ui::WS_TABSTOP, x + 58, 21, 150, 12},
      {-1, Kind::Static, "Channel:", 0, x, 38, 56, 10},
      {P::IDC_CHANNEL, Kind::DropList, "", ui::WS_TABSTOP, x + 58, 36, 40, 13},
      {-1, Kind::Static, "Network Type:", 0, x + 104, 38, 50, 10},
      {P::IDC_NETWORK_TYPE, Kind::DropList, "", ui::WS_TABSTOP, x + 154, 36, 64, 13},
      {P::IDC_WEP_DISABLED, Kind::Radio, "WEP Disabled", ui::WS_GROUP | ui::WS_TABSTOP, x, 54, 60, 10},
      {P::IDC_WEP_ENABLED, Kind::Radio, "WEP Enabled", ui::WS_TABSTOP, x + 62, 54, 60, 10},
      {P::IDC_64_BITS, Kind::Radio, "64 bits", ui::WS_GROUP | ui::WS_TABSTOP, x + 128, 54, 40, 10},
      {P::IDC_128_BITS, Kind::Radio, "128 bits", ui::WS_TABSTOP, x + 170, 54, 44, 10},
      {P::IDC_OPEN_SYSTEM, Kind::Radio, "Open System", ui::WS_GROUP | ui::WS_TABSTOP, x, 67, 60, 10},
      {P::IDC_SHARED_KEY, Kind::Radio, "Shared Key", ui::WS_TABSTOP, x + 62, 67, 60, 10},
  };
  for (int row = 0; row < 4; ++row) {
    const int y = 82 + row * 14;
    c.push_back({P::IDC_KEY1_LABEL + row, Kind::Static, "Key" + std::to_string(row + 1), 0, x, y + 2, 24, 10});
    for (int i = 0; i < kRowEdits; ++i) {
      c.push_back({P::kKeyEditIds[row * kRowEdits + i], Kind::Edit, "", ui::WS_TABSTOP | ui::ES_UPPERCASE,
                   x + 28 + i * 22, y, 18, 12});
    }
  }
  c.push_back({P::IDC_DEFAULT_KEY_LABEL, Kind::Static, "Default Key :", 0, x, 142, 50, 10});
  c.push_back({P::IDC_DEFAULT_KEY, Kind::DropList, "", ui::WS_TABSTOP, x + 58, 140, 50, 13});
  return WizardPageTemplate(IDD_WIRELESS, std::move(c));
}

std::string Upper(std::string s) {
  for (char& c : s) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return s;
}

void CopyKey(char* field, std::size_t size, const std::string& text) {
  std::memset(field, 0, size);
  std::memcpy(field, text.data(), std::min(size - 1, text.size()));
}

}  // namespace

void RegisterWirelessStrings() { platform::RegisterString(IDS_ILLEGAL_INPUT_DATA, "Illegal input data"); }

std::string DefaultStationName(const std::string& defaultName) {
  char prefix[16] = {};
  const std::string key = defaultName.substr(0, 2);
  GetPrivateProfileString("EthernetAddress", key.c_str(), "", prefix, sizeof prefix, "Setupwizard.ini");
  const std::string tail = defaultName.size() > 6 ? defaultName.substr(defaultName.size() - 6) : defaultName;
  return Upper(std::string(prefix) + tail);
}

std::string FormatStationAddress(const std::string& text, const std::string& separator) {
  std::string out;
  for (std::size_t i = 0; i < text.size() && i < 12; i += 2) {
    if (i > 0) out += separator;
    out += text.substr(i, 2);
  }
  return Upper(out);
}

std::vector<int> ChannelsOfDomain(int domainCode) {
  auto range = [](int from, int to) {
    std::vector<int> v;
    for (int c = from; c <= to; ++c) v.push_back(c);
    return v;
  };
  switch (domainCode) {
    case 10:
    case 20:
      return range(1, 11);
    case 30:
      return range(1, 13);
    case 31:
      return range(10, 11);
    case 32:
      return range(10, 13);
    case 40:
      return {14};
    default:
      return range(1, 14);
  }
}

void PadKeyByte(std::string& text) {
  if (text.empty()) text = "00";
  else if (text.size() == 1) text = "0" + text;
}

bool IsHexKeyText(std::string& text) {
  std::string kept;
  for (char c : text) {
    if ((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f')) kept += c;
  }
  const bool clean = kept.size() == text.size();
  text = kept;
  return clean;
}

template <std::size_t... I>
void CWireless::HandleKeyByteChanges(std::index_sequence<I...>) {
  (OnCommand(kKeyEditIds[I], ui::EN_CHANGE, &CWireless::OnKeyByteChangedAt<static_cast<int>(I)>), ...);
}

CWireless::CWireless() : CPropertyPage(WirelessTemplate()) {
  RegisterWirelessStrings();
  HandleKeyByteChanges(std::make_index_sequence<kKeyEdits>{});
  OnCommand(IDC_WEP_DISABLED, ui::BN_CLICKED, &CWireless::OnWepDisabled);
  OnCommand(IDC_WEP_ENABLED, ui::BN_CLICKED, &CWireless::OnWepEnabled);
  OnCommand(IDC_64_BITS, ui::BN_CLICKED, &CWireless::On64Bits);
  OnCommand(IDC_128_BITS, ui::BN_CLICKED, &CWireless::On128Bits);
}

void CWireless::DoDataExchange(bool) {
  DDX_Control(IDC_DEFAULT_KEY, m_defaultKey);
  DDX_Control(IDC_NETWORK_TYPE, m_networkType);
  DDX_Control(IDC_CHANNEL, m_channel);
  DDX_Control(IDC_SSID, m_ssid);
  DDX_Control(IDC_STATION, m_station);
  for (int i = 0; i < kKeyEdits; ++i) DDX_Control(kKeyEditIds[i], m_keys[i]);
}

BOOL CWireless::OnInitDialog() {
  CPropertyPage::OnInitDialog();
  for (const char* k : {"KEY 1", "KEY 2", "KEY 3", "KEY 4"}) m_defaultKey.AddString(k);
  return 1;
}

bool CWireless::CachedTypeIsAccessPoint() const {
  const int type = TheUtility().Cached().dsWireless.iNetworkType;
  return type == -1 || type == 2;
}

void CWireless::FillChannelList(int domainCode) {
  m_channel.ResetContent();
  for (int c : ChannelsOfDomain(domainCode)) m_channel.AddString(std::to_string(c));
}

void CWireless::FillNetworkTypeList(int variant) {
  m_networkType.ResetContent();
  m_networkType.AddString("Infrastructure");
  if (variant != 6) m_networkType.AddString("802.11 Ad Hoc");
  m_networkType.AddString("Ad Hoc");
}

void CWireless::SaveShared(bool layout128) {
  std::string* store = layout128 ? m_shared128 : m_shared64;
  for (int i = 0; i < kSharedEdits; ++i) store[i] = m_keys[kSharedFirst + i].GetWindowText();
}

void CWireless::LoadShared(bool layout128) {
  const std::string* store = layout128 ? m_shared128 : m_shared64;
  for (int i = 0; i < kSharedEdits; ++i) m_keys[kSharedFirst + i].SetWindowText(store[i]);
}

void CWireless::On64Bits() {
  if (m_layout128 && m_shown128) SaveShared(true);
  LoadShared(false);
  m_layout128 = false;
  m_shown64 = true;
  for (int row = 1; row < 4; ++row) {
    if (CWnd* w = GetDlgItem(IDC_KEY1_LABEL + row)) w->ShowWindow(ui::SW_SHOW);
  }
  for (int i = kKey128Edits; i < kKeyEdits; ++i) m_keys[i].ShowWindow(ui::SW_SHOW);
  m_defaultKey.EnableWindow(IsDlgButtonChecked(IDC_WEP_ENABLED) != 0);
}

void CWireless::On128Bits() {
  if (!m_layout128 && m_shown64) SaveShared(false);
  LoadShared(true);
  m_layout128 = true;
  m_shown128 = true;
  for (int row = 1; row < 4; ++row) {
    if (CWnd* w = GetDlgItem(IDC_KEY1_LABEL + row)) w->ShowWindow(ui::SW_HIDE);
  }
  for (int i = kKey128Edits; i < kKeyEdits; ++i) m_keys[i].ShowWindow(ui::SW_HIDE);
  m_defaultKey.SetCurSel(0);
  m_defaultKey.EnableWindow(false);
}

void CWireless::OnWepDisabled() {
  m_defaultKey.EnableWindow(false);
  for (int id : {IDC_64_BITS, IDC_128_BITS, IDC_OPEN_SYSTEM, IDC_SHARED_KEY}) {
    if (CWnd* w = GetDlgItem(id)) w->EnableWindow(false);
  }
  for (ui::CEdit& e : m_keys) e.EnableWindow(false);
}

void CWireless::OnWepEnabled() {
  m_defaultKey.EnableWindow(IsDlgButtonChecked(IDC_64_BITS) != 0);
  for (int id : {IDC_64_BITS, IDC_128_BITS, IDC_OPEN_SYSTEM, IDC_SHARED_KEY}) {
    if (CWnd* w = GetDlgItem(id)) w->EnableWindow(true);
  }
  for (ui::CEdit& e : m_keys) e.EnableWindow(true);
}

void CWireless::FillKeyEdits() {
  auto pairs = [](const char* key, std::size_t count) {
    std::vector<std::string> out;
    const std::size_t length = std::strlen(key);
    for (std::size_t i = 0; i < count; ++i) {
      out.push_back(2 * i < length ? std::string(key + 2 * i, std::min<std::size_t>(2, length - 2 * i)) : "");
    }
    return out;
  };
  if (m_box.iKeyLength == kKeyLength128) {
    const std::vector<std::string> bytes = pairs(m_box.szKey1, kKey128Edits);
    for (int i = 0; i < kKey128Edits; ++i) m_keys[i].SetWindowText(bytes[i]);
    SaveShared(true);
  } else {
    const char* keys[4] = {m_box.szKey1, m_box.szKey2, m_box.szKey3, m_box.szKey4};
    for (int row = 0; row < 4; ++row) {
      const std::vector<std::string> bytes = pairs(keys[row], kRowEdits);
      for (int i = 0; i < kRowEdits; ++i) m_keys[row * kRowEdits + i].SetWindowText(bytes[i]);
    }
    SaveShared(false);
  }
}

void CWireless::ClearPage() {
  m_station.SetWindowText("");
  m_ssid.SetWindowText("");
  m_channel.ResetContent();
  m_networkType.ResetContent();
  m_networkType.EnableWindow(true);
  for (ui::CEdit& e : m_keys) e.SetWindowText("");
  for (int i = 0; i < kSharedEdits; ++i) m_shared64[i].clear(), m_shared128[i].clear();
  m_shown64 = m_shown128 = false;
  // The choices of the box set up before go too: WEP off, 64 bits, Open System, no default key.
  CheckDlgButton(IDC_WEP_ENABLED, 0);
  CheckDlgButton(IDC_WEP_DISABLED, 1);
  CheckDlgButton(IDC_128_BITS, 0);
  CheckDlgButton(IDC_64_BITS, 1);
  CheckDlgButton(IDC_SHARED_KEY, 0);
  CheckDlgButton(IDC_OPEN_SYSTEM, 1);
  m_layout128 = false;
  On64Bits();
  OnWepDisabled();
  m_defaultKey.SetCurSel(-1);
}

void CWireless::EnableSettings(bool enable) {
  m_ssid.EnableWindow(enable);
  m_channel.EnableWindow(enable);
  m_networkType.EnableWindow(enable);
  for (int id : {IDC_WEP_DISABLED, IDC_WEP_ENABLED}) {
    if (CWnd* w = GetDlgItem(id)) w->EnableWindow(enable);
  }
}

void CWireless::OnKeyByteChanged(int index) {
  ui::CEdit& edit = m_keys[index];
  // Only the user's typing moves on, not the page filling its edits.
  if (!edit.HasFocus() || edit.GetWindowText().size() != static_cast<std::size_t>(kKeyByteChars)) return;
  const int next = config::NextWepKeyByte(index, IsDlgButtonChecked(IDC_128_BITS) != 0);
  if (next < 0 || !m_keys[next].IsWindowEnabled()) return;
  m_keys[next].SetFocus();
  m_keys[next].SetSel(0, -1);
}

BOOL CWireless::OnSetActive() {
  GetSheet()->SetWizardButtons(ui::PSWIZB_BACK | ui::PSWIZB_NEXT);
  std::string defaultName, deviceName, longName;
  GetSelectedDevice(defaultName, deviceName, longName);
  // Set up once per box; a page whose read failed asks the box again.
  if (defaultName == m_setUpFor && m_readResult == 0) return CPropertyPage::OnSetActive();
  m_setUpFor = defaultName;
  SetUpFromBox(defaultName);
  return CPropertyPage::OnSetActive();
}

bool CWireless::SetUpFromBox(const std::string& defaultName) {
  // Nothing of the box set up before stays: lists, keys, their stores and the choices start empty.
  ClearPage();
  m_box = WirelessConfigurationData{};
  {
    ui::CWaitCursor wait;
    m_readResult = TheUtility().mGetWirelessConfiguration(defaultName, &m_box);
  }
  if (m_readResult != 0) {
    // Nothing to show of this box: the settings stay cleared and disabled until a read succeeds.
    EnableSettings(false);
    ShowErrorForCode(m_readResult);
    return false;
  }
  EnableSettings(true);
  const unsigned char* pid = TheUtility().Cached().dsDevicePID.data;
  m_variant = pid[kProductIdOffset] == kTwoTypeProductId[0] && pid[kProductIdOffset + 1] == kTwoTypeProductId[1] ? 6 : 1;
  m_ssid.LimitText(kSsidChars);
  for (ui::CEdit& e : m_keys) e.LimitText(kKeyByteChars);
  m_station.SetWindowText(FormatStationAddress(DefaultStationName(defaultName), "-"));
  m_ssid.SetWindowText(m_box.szSSID);

  int domain = -1;
  if (!m_box.szDomainList.empty() && m_box.szDomainList.size() <= 4 &&
      m_box.szDomainList.find_first_not_of("0123456789") == std::string::npos) {
    domain = std::stoi(m_box.szDomainList);
  }
  FillChannelList(domain);
  m_channel.SetCurSel(m_channel.FindStringExact(-1, std::to_string(m_box.iChannel)));
  m_defaultKey.SetCurSel(m_box.iDefaultKey >= 0 && m_box.iDefaultKey < 4 ? m_box.iDefaultKey : -1);

  if (m_box.bWEPEnable == 1) {
    CheckDlgButton(IDC_WEP_DISABLED, 0);
    CheckDlgButton(IDC_WEP_ENABLED, 1);
    OnWepEnabled();
    const bool is128 = m_box.iKeyLength == kKeyLength128;
    CheckDlgButton(IDC_64_BITS, is128 ? 0 : 1);
    CheckDlgButton(IDC_128_BITS, is128 ? 1 : 0);
    if (is128) On128Bits();
    else On64Bits();
    FillKeyEdits();
  } else {
    CheckDlgButton(IDC_WEP_ENABLED, 0);
    CheckDlgButton(IDC_WEP_DISABLED, 1);
    CheckDlgButton(IDC_128_BITS, 0);
    CheckDlgButton(IDC_64_BITS, 1);
    On64Bits();
    OnWepDisabled();
  }
  CheckDlgButton(IDC_OPEN_SYSTEM, m_box.iAuthentication == 1 ? 1 : 0);
  CheckDlgButton(IDC_SHARED_KEY, m_box.iAuthentication == 1 ? 0 : 1);

  if (CachedTypeIsAccessPoint()) {
    m_networkType.AddString("AP");
    m_networkType.SetCurSel(0);
    m_networkType.EnableWindow(false);
  } else {
    FillNetworkTypeList(m_variant);
    const int index = m_box.iNetworkType == kNetworkTypeAdHoc ? 2 : m_box.iNetworkType;
    m_networkType.SetCurSel(index >= 0 && index < m_networkType.GetCount() ? index : -1);
  }
  return true;
}

void CWireless::GatherWepKeys(WirelessConfigurationData& out) {
  std::string bytes[kKeyEdits];
  for (int i = 0; i < kKeyEdits; ++i) {
    bytes[i] = m_keys[i].GetWindowText();
    PadKeyByte(bytes[i]);
  }
  auto join = [&](int from, int count) {
    std::string s;
    for (int i = from; i < from + count; ++i) s += bytes[i];
    return s;
  };
  const bool is128 = IsDlgButtonChecked(IDC_128_BITS) != 0;
  CopyKey(out.szKey1, sizeof out.szKey1, is128 ? join(0, kKey128Edits) : join(0, kRowEdits));
  CopyKey(out.szKey2, sizeof out.szKey2, join(kRowEdits, kRowEdits));
  CopyKey(out.szKey3, sizeof out.szKey3, join(2 * kRowEdits, kRowEdits));
  CopyKey(out.szKey4, sizeof out.szKey4, join(3 * kRowEdits, kRowEdits));
}

ui::LRESULT CWireless::OnWizardNext() {
  if (m_readResult != 0) {
    // The page shows nothing of the box yet: ask it again and show what it holds, so that only
    // settings the user has seen go on to Finish.
    SetUpFromBox(m_setUpFor);
    return -1;
  }
  for (ui::CEdit& e : m_keys) {
    std::string text = e.GetWindowText();
    if (!IsHexKeyText(text)) {
      platform::MessageBoxById(IDS_ILLEGAL_INPUT_DATA, platform::MB_OK);
      e.SetWindowText(text);
      e.SetFocus();
      return -1;
    }
  }
  const std::string ssid = m_ssid.GetWindowText();
  if (platform::HasAsciiControl(ssid)) {
    platform::MessageBoxById(IDS_ILLEGAL_INPUT_DATA, platform::MB_OK);
    m_ssid.SetFocus();
    return -1;
  }
  WirelessConfigurationData& out = g_WizardConfigurationData.dsWireless;
  out.szSSID = ssid;
  const std::string channel = m_channel.GetCurSel() >= 0 ? m_channel.GetLBText(m_channel.GetCurSel()) : "";
  // No channel of the domain chosen: the box keeps its own.
  out.iChannel = channel.empty() ? m_box.iChannel : std::stoi(channel);
  out.bWEPEnable = IsDlgButtonChecked(IDC_WEP_ENABLED) != 0 ? 1 : 0;
  if (out.bWEPEnable == 0) {
    // The key controls are out of use: the box keeps its key length, default key and keys (the
    // edits of a box without WEP are empty, and a key-length click changed only what they show).
    out.iKeyLength = m_box.iKeyLength;
    out.iDefaultKey = m_box.iDefaultKey;
    std::memcpy(out.szKey1, m_box.szKey1, sizeof out.szKey1);
    std::memcpy(out.szKey2, m_box.szKey2, sizeof out.szKey2);
    std::memcpy(out.szKey3, m_box.szKey3, sizeof out.szKey3);
    std::memcpy(out.szKey4, m_box.szKey4, sizeof out.szKey4);
  } else if (IsDlgButtonChecked(IDC_128_BITS) != 0) {
    out.iKeyLength = kKeyLength128;
    out.iDefaultKey = 0;
    GatherWepKeys(out);
  } else {
    out.iKeyLength = kKeyLength64;
    out.iDefaultKey = m_defaultKey.GetCurSel() >= 0 ? m_defaultKey.GetCurSel() : 0;
    GatherWepKeys(out);
  }
  out.iAuthentication = IsDlgButtonChecked(IDC_OPEN_SYSTEM) != 0 ? 1 : 2;
  if (CachedTypeIsAccessPoint()) {
    out.iNetworkType = -1;
  } else {
    const int index = m_networkType.GetCurSel();
    out.iNetworkType = index < 0 ? m_box.iNetworkType : index == 2 ? kNetworkTypeAdHoc : index;
  }
  g_szWirelessCollectedFor = m_setUpFor;
  return IDD_FINISH;
}

ui::LRESULT CWireless::OnWizardBack() { return IDD_TCPIP; }

}  // namespace wizard

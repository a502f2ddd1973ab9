#include "console_pages/wireless_page.h"

#include <cstdio>
#include <utility>

#include "console_pages/device_dialog_text.h"
#include "console_pages/page_records.h"
#include "console_pages/wireless_link_info_dlg.h"
#include "device_client/core/config/wep_key_layout.h"
#include "platform/message_sink.h"
#include "platform/profile.h"

using namespace ui;

CWirelessPage g_WirelessPage;
static_assert(wireless_text::kKeyByteEdits == config::kWepKeyByteEdits);

namespace {

const DialogTemplate& Layout() {
  static const DialogTemplate t = [] {
    DialogTemplate d;
    d.id = CWirelessPage::IDD;
    d.cx = CSettingsPage::kWidth;
    d.cy = CSettingsPage::kHeight;
    d.style = WS_CHILD;
    d.controls = {
        {-1, Kind::Static, "Regulatory Domain:", 0, 8, 8, 70, 10},
        {CWirelessPage::IDC_DOMAIN, Kind::Edit, "", ES_READONLY, 80, 7, 146, 11},
        {CWirelessPage::IDC_LINK_INFO, Kind::Button, "Link Info", WS_TABSTOP, 232, 6, 50, 14},
        {-1, Kind::Static, "Station Name:", 0, 8, 21, 70, 10},
        {CWirelessPage::IDC_STATION, Kind::Edit, "", ES_READONLY, 80, 20, 146, 11},
        {-1, Kind::Static, "SS ID (Service Set Identifier):", 0, 8, 36, 110, 10},
        {CWirelessPage::IDC_SSID, Kind::Edit, "", WS_TABSTOP, 120, 34, 162, 13},
        {-1, Kind::Static, "Channel No:", 0, 8, 53, 45, 10},
        {CWirelessPage::IDC_CHANNEL, Kind::DropList, "", WS_TABSTOP, 55, 51, 52, 13},
        {-1, Kind::Static, "Network Type:", 0, 116, 53, 50, 10},
        {CWirelessPage::IDC_NETWORK_TYPE, Kind::DropList, "", WS_TABSTOP, 168, 51, 114, 13},
        {-1, Kind::GroupBox, "Encryption", 0, 7, 67, 92, 40},
        {CWirelessPage::IDC_WEP_DISABLED, Kind::Radio, "WEP Disabled", WS_TABSTOP | WS_GROUP, 14, 78, 80, 10},
        {CWirelessPage::IDC_WEP_ENABLED, Kind::Radio, "WEP Enabled", WS_TABSTOP, 14, 92, 80, 10},
        {CWirelessPage::IDC_DEFAULT_KEY_LABEL, Kind::Static, "Default Key :", 0, 200, 72, 80, 10},
        {CWirelessPage::IDC_DEFAULT_KEY, Kind::DropList, "", WS_TABSTOP, 200, 86, 82, 13},
        {-1, Kind::GroupBox, "WEP Keys (Hex 0-9, A-F)", 0, 7, 110, 276, 86},
        {CWirelessPage::IDC_64_BITS, Kind::Radio, "64 bits", WS_TABSTOP | WS_GROUP, 14, 121, 50, 10},
        {CWirelessPage::IDC_128_BITS, Kind::Radio, "128 bits", WS_TABSTOP, 70, 121, 50, 10},
        {CWirelessPage::IDC_KEY1_LABEL, Kind::Static, "Key1", 0, 14, 138, 30, 10},
        {CWirelessPage::IDC_KEY1_LABEL + 1, Kind::Static, "Key2", 0, 14, 152, 30, 10},
        {CWirelessPage::IDC_KEY1_LABEL + 2, Kind::Static, "Key3", 0, 14, 166, 30, 10},
        {CWirelessPage::IDC_KEY1_LABEL + 3, Kind::Static, "Key4", 0, 14, 180, 30, 10},
    };
    for (int i = 0; i < wireless_text::kKeyByteEdits; ++i) {
      const int row = i / 5, col = i % 5;
      d.controls.push_back({CWirelessPage::kKeyByteIds[static_cast<std::size_t>(i)], Kind::Edit, "", WS_TABSTOP,
                            48 + col * 26, 136 + row * 14, 22, 12});
    }
    // The authentication radios come last in the tab order: the page's last controls.
    d.controls.push_back({-1, Kind::GroupBox, "WEP Authentication", 0, 104, 67, 90, 40});
    d.controls.push_back({CWirelessPage::IDC_OPEN_SYSTEM, Kind::Radio, "Open System", WS_TABSTOP | WS_GROUP, 111, 78, 78, 10});
    d.controls.push_back({CWirelessPage::IDC_SHARED_KEY, Kind::Radio, "Shared Key", WS_TABSTOP, 111, 92, 78, 10});
    return d;
  }();
  return t;
}

}  // namespace

std::string UnknownEntry(int value) { return CWirelessPage::kUnknownPrefix + std::to_string(value) + ")"; }

CWirelessPage::CWirelessPage() : CSettingsPage(Layout()) {
  OnCommand(IDC_WEP_DISABLED, BN_CLICKED, &CWirelessPage::OnWepDisabled);
  OnCommand(IDC_WEP_ENABLED, BN_CLICKED, &CWirelessPage::OnWepEnabled);
  OnCommand(IDC_64_BITS, BN_CLICKED, &CWirelessPage::On64Bits);
  OnCommand(IDC_128_BITS, BN_CLICKED, &CWirelessPage::On128Bits);
  OnCommand(IDC_LINK_INFO, BN_CLICKED, &CWirelessPage::OnLinkInfo);
  RegisterKeyByteHandlers(std::make_integer_sequence<int, wireless_text::kKeyByteEdits>{});
}

CWirelessPage::~CWirelessPage() = default;

template <int... I>
void CWirelessPage::RegisterKeyByteHandlers(std::integer_sequence<int, I...>) {
  (OnCommand(kKeyByteIds[I], EN_CHANGE, &CWirelessPage::OnChangeKeyByteAt<I>), ...);
}

void CWirelessPage::DoDataExchange(bool save) {
  CSettingsPage::DoDataExchange(save);
  DDX_Control(IDC_NETWORK_TYPE, m_cbNetworkType);
  DDX_Control(IDC_DEFAULT_KEY, m_cbDefaultKey);
  DDX_Control(IDC_CHANNEL, m_cbChannel);
  DDX_Control(IDC_SSID, m_edSSID);
  DDX_Control(IDC_STATION, m_edStation);
  DDX_Control(IDC_DOMAIN, m_edDomain);
}

BOOL CWirelessPage::OnInitDialog() {
  CSettingsPage::OnInitDialog();
  const config::WirelessConfigurationData& wl = gdsWirelessConfigurationData;
  m_iKeyByteIds = kKeyByteIds;
  m_b64BitShown = m_b128BitShown = false;
  m_bKeysLoaded = false;
  for (std::string& s : m_sz128BitTexts) s.clear();
  for (std::string& s : m_sz64BitTexts) s.clear();

  m_edSSID.LimitText(32);
  for (int id : m_iKeyByteIds) {
    if (auto* edit = dynamic_cast<CEdit*>(GetDlgItem(id))) edit->LimitText(2);
  }

  m_iDomainCodes = wireless_text::ParseDomainList(wl.szDomainList);
  std::string names = FillChannelList(m_iDomainCodes[0]);
  if (m_iDomainCodes[1] != 0) {
    names += "/" + FillChannelList(m_iDomainCodes[1]);
    if (m_iDomainCodes[2] != 0) names += "/" + FillChannelList(m_iDomainCodes[2]);
  }
  m_edDomain.SetWindowText(names);
  m_edStation.SetWindowText(FormatStationName(DefaultStationName(m_szDefaultName), "-"));
  m_edSSID.SetWindowText(wl.szSSID);

  const int channel = m_cbChannel.FindStringExact(-1, std::to_string(wl.iChannel));
  m_cbChannel.SetCurSel(channel >= 0 ? channel : m_cbChannel.AddString(UnknownEntry(wl.iChannel)));

  for (const char* key : {"KEY 1", "KEY 2", "KEY 3", "KEY 4"}) m_cbDefaultKey.AddString(key);
  const bool knownKey = wl.iDefaultKey >= 0 && wl.iDefaultKey < 4;
  m_cbDefaultKey.SetCurSel(knownKey ? wl.iDefaultKey : m_cbDefaultKey.AddString(UnknownEntry(wl.iDefaultKey)));

  if (wl.bWEPEnable == 1) {
    CheckRadioButton(IDC_WEP_DISABLED, IDC_WEP_ENABLED, IDC_WEP_ENABLED);
    OnWepEnabled();
  } else {
    CheckRadioButton(IDC_WEP_DISABLED, IDC_WEP_ENABLED, IDC_WEP_DISABLED);
    OnWepDisabled();
    CheckRadioButton(IDC_64_BITS, IDC_128_BITS, IDC_64_BITS);
  }
  CheckRadioButton(IDC_OPEN_SYSTEM, IDC_SHARED_KEY, wl.iAuthentication == 1 ? IDC_OPEN_SYSTEM : IDC_SHARED_KEY);

  FillNetworkTypes();
  int type = -1;
  for (int i = 0; i < 3; ++i) {
    if (kNetworkTypeValues[i] == wl.iNetworkType) type = i;
  }
  m_cbNetworkType.SetCurSel(type >= 0 ? type : m_cbNetworkType.AddString(UnknownEntry(wl.iNetworkType)));
  return 1;
}

void CWirelessPage::CheckRadioButton(int first, int last, int checked) {
  for (int id = first; id <= last; ++id) CheckDlgButton(id, id == checked ? 1 : 0);
}

std::string CWirelessPage::FillChannelList(int code) {
  std::array<int, 3> one{code, 0, 0};
  const wireless_text::DomainChannels d = wireless_text::ChannelsOfDomains(one);
  for (const std::string& ch : d.channels) {
    // Japan's one channel goes in as it stands; every other channel once.
    if (code == 40 || m_cbChannel.FindStringExact(-1, ch) < 0) m_cbChannel.AddString(ch);
  }
  return d.names;
}

std::string CWirelessPage::DefaultStationName(const std::string& defaultName) {
  char prefix[7] = {};
  const std::string key = defaultName.substr(0, 2);
  GetPrivateProfileString("EthernetAddress", key.c_str(), "", prefix, sizeof prefix, "common.ini");
  return wireless_text::DefaultStationName(defaultName, prefix);
}

std::string CWirelessPage::FormatStationName(const std::string& text, const std::string& separator) {
  return wireless_text::FormatStationName(text, separator);
}

bool CWirelessPage::FilterKeyText(std::string& text) { return wireless_text::FilterKeyText(text); }

void CWirelessPage::FillNetworkTypes() {
  for (const char* type : kNetworkTypes) m_cbNetworkType.AddString(type);
}

void CWirelessPage::EnableKeyControls(bool enable) {
  for (int id : {IDC_64_BITS, IDC_128_BITS, IDC_OPEN_SYSTEM, IDC_SHARED_KEY}) GetDlgItem(id)->EnableWindow(enable);
  for (int id : m_iKeyByteIds) GetDlgItem(id)->EnableWindow(enable);
}

void CWirelessPage::OnWepDisabled() {
  m_cbDefaultKey.EnableWindow(false);
  EnableKeyControls(false);
}

void CWirelessPage::OnWepEnabled() {
  m_cbDefaultKey.EnableWindow(IsDlgButtonChecked(IDC_64_BITS) != 0);
  EnableKeyControls(true);
  // The first time WEP is on (at the start, or the user's choice on a page that opened with WEP
  // off) the edits show the box's keys in its layout, so saving never replaces them unseen.
  if (!m_bKeysLoaded) {
    m_bKeysLoaded = true;
    const bool longKey = gdsWirelessConfigurationData.iKeyLength == wireless_text::kLongKeyLength;
    CheckRadioButton(IDC_64_BITS, IDC_128_BITS, longKey ? IDC_128_BITS : IDC_64_BITS);
    if (longKey) On128Bits();
    else On64Bits();
    LoadWepKeys();
  }
}

void CWirelessPage::SaveSharedTexts(std::array<std::string, 8>& into) {
  for (int i = 0; i < 8; ++i) into[static_cast<std::size_t>(i)] = GetDlgItemText(m_iKeyByteIds[static_cast<std::size_t>(5 + i)]);
}

void CWirelessPage::PutSharedTexts(const std::array<std::string, 8>& from) {
  for (int i = 0; i < 8; ++i) SetDlgItemText(m_iKeyByteIds[static_cast<std::size_t>(5 + i)], from[static_cast<std::size_t>(i)]);
}

void CWirelessPage::ShowLongKeyRows(bool show) {
  for (int id = IDC_KEY1_LABEL + 1; id <= IDC_KEY1_LABEL + 3; ++id) GetDlgItem(id)->ShowWindow(show ? SW_SHOW : SW_HIDE);
  for (int i = 13; i < wireless_text::kKeyByteEdits; ++i)
    GetDlgItem(m_iKeyByteIds[static_cast<std::size_t>(i)])->ShowWindow(show ? SW_SHOW : SW_HIDE);
}

void CWirelessPage::On64Bits() {
  m_cbDefaultKey.EnableWindow(true);
  ShowLongKeyRows(true);
  m_b64BitShown = true;
  if (m_b128BitShown) SaveSharedTexts(m_sz128BitTexts);
  PutSharedTexts(m_sz64BitTexts);
}

void CWirelessPage::On128Bits() {
  m_cbDefaultKey.EnableWindow(false);
  ShowLongKeyRows(false);
  m_cbDefaultKey.SetCurSel(0);
  m_b128BitShown = true;
  if (m_b64BitShown) SaveSharedTexts(m_sz64BitTexts);
  PutSharedTexts(m_sz128BitTexts);
}

void CWirelessPage::LoadWepKeys() {
  const config::WirelessConfigurationData& wl = gdsWirelessConfigurationData;
  auto pair = [](const char* key, std::size_t width, int at) {
    const std::string text(key, strnlen(key, width));
    return static_cast<std::size_t>(at) < text.size() ? text.substr(static_cast<std::size_t>(at), 2) : std::string();
  };
  m_bLoadingKeys = true;
  for (int i = 0; i < 5; ++i) SetDlgItemText(m_iKeyByteIds[static_cast<std::size_t>(i)], pair(wl.szKey1, sizeof wl.szKey1, 2 * i));
  if (wl.iKeyLength == wireless_text::kLongKeyLength) {
    for (int i = 5; i < 13; ++i) {
      const std::string t = pair(wl.szKey1, sizeof wl.szKey1, 2 * i);
      SetDlgItemText(m_iKeyByteIds[static_cast<std::size_t>(i)], t);
      m_sz128BitTexts[static_cast<std::size_t>(i - 5)] = t;
    }
  } else {
    const char* const keys[3] = {wl.szKey2, wl.szKey3, wl.szKey4};
    for (int i = 5; i < wireless_text::kKeyByteEdits; ++i) {
      const std::string t = pair(keys[(i - 5) / 5], config::kKeySize, 2 * ((i - 5) % 5));
      SetDlgItemText(m_iKeyByteIds[static_cast<std::size_t>(i)], t);
      if (i < 13) m_sz64BitTexts[static_cast<std::size_t>(i - 5)] = t;
    }
  }
  m_bLoadingKeys = false;
}

void CWirelessPage::OnChangeKeyByte(int index) {
  if (index < 0 || index >= wireless_text::kKeyByteEdits) return;
  const int id = m_iKeyByteIds[static_cast<std::size_t>(index)];
  std::string text = GetDlgItemText(id);
  if (!FilterKeyText(text)) {
    platform::MessageBoxById(device_dialogs::IDS_ILLEGAL_INPUT_DATA, platform::MB_OK);
    SetDlgItemText(id, text);
    return;  // the edit's own notification for the filtered text goes on from here
  }
  if (text.size() != 2 || m_bLoadingKeys) return;
  const int nextIndex = config::NextWepKeyByte(index, IsDlgButtonChecked(IDC_128_BITS) != 0);
  if (nextIndex < 0) return;
  if (auto* next = dynamic_cast<CEdit*>(GetDlgItem(m_iKeyByteIds[static_cast<std::size_t>(nextIndex)]))) {
    next->SetFocus();
    next->SetSel(0, 2);
  }
}

std::array<std::string, wireless_text::kKeyByteEdits> CWirelessPage::KeyByteTexts() const {
  std::array<std::string, wireless_text::kKeyByteEdits> texts;
  for (std::size_t i = 0; i < texts.size(); ++i) texts[i] = GetDlgItemText(kKeyByteIds[i]);
  return texts;
}

void CWirelessPage::OnLinkInfo() {
  RunWirelessLinkInfoDialog(TheUtility(), m_szDefaultName, gdsWirelessConfigurationData.iNetworkType, this);
}

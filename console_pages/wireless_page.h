// The wireless page of the settings view: the box's regulatory domains and station name (read
// only), network name, channel, network type, WEP on or off, 64- or 128-bit keys typed as rows of
// two-digit hex byte fields, the default key and the WEP authentication; "Link Info" opens the
// wireless link information dialog.
//
// A channel, network type or default key the box reports that the page does not know is listed as
// an "Unknown (n)" entry and selected; while it stays selected, the page store writes the box's
// value back unchanged.
//
// The key-length radios change only what the page shows: the record's key length, default key and
// keys change when the page is stored with WEP on, so with WEP off they go back to the box as one
// consistent set.
#pragma once
#include <array>
#include <string>
#include <utility>
#include <vector>

#include "console_pages/settings_page.h"
#include "console_pages/wireless_text.h"

class CWirelessPage : public CSettingsPage {
 public:
  static constexpr int IDD = 144;
  static constexpr int IDC_DOMAIN = 1223;
  static constexpr int IDC_STATION = 1234;
  static constexpr int IDC_SSID = 1225;
  static constexpr int IDC_CHANNEL = 1226;
  static constexpr int IDC_NETWORK_TYPE = 1236;
  static constexpr int IDC_LINK_INFO = 1127;
  static constexpr int IDC_WEP_DISABLED = 1205;
  static constexpr int IDC_WEP_ENABLED = 1206;
  static constexpr int IDC_DEFAULT_KEY = 1224;
  static constexpr int IDC_DEFAULT_KEY_LABEL = 1227;
  static constexpr int IDC_64_BITS = 1207;
  static constexpr int IDC_128_BITS = 1208;
  static constexpr int IDC_KEY1_LABEL = 1229;  // 1230-1232: Key2-Key4
  static constexpr int IDC_OPEN_SYSTEM = 1228;
  static constexpr int IDC_SHARED_KEY = 1235;
  // The key-byte edits, rows of five: key 1, key 2, key 3, key 4 in the 64-bit layout; the first
  // 13 make the 128-bit key.
  static constexpr std::array<int, wireless_text::kKeyByteEdits> kKeyByteIds = {
      1233, 1157, 1159, 1164, 1166, 1169, 1209, 1210, 1211, 1212,
      1213, 1214, 1215, 1216, 1217, 1218, 1219, 1220, 1221, 1222};
  // The texts of the network types, in list order, and the values they stand for.
  static constexpr const char* kNetworkTypes[3] = {"Infrastructure", "802.11 Ad Hoc", "Ad Hoc"};
  static constexpr int kNetworkTypeValues[3] = {0, 1, 3};
  static constexpr const char* kUnknownPrefix = "Unknown (";

  CWirelessPage();
  ~CWirelessPage() override;

  BOOL OnInitDialog() override;
  void DoDataExchange(bool save) override;

  void OnWepDisabled();
  void OnWepEnabled();
  void On64Bits();
  void On128Bits();
  void OnChangeKeyByte(int index);
  void OnLinkInfo();

  // Appends the channels of one domain code to the channel list; returns the domain's name.
  std::string FillChannelList(int code);
  // The vendor prefix of [EthernetAddress] in "common.ini" (keyed by the default name's first two
  // characters) followed by the default name's last six characters.
  static std::string DefaultStationName(const std::string& defaultName);
  static std::string FormatStationName(const std::string& text, const std::string& separator);
  void LoadWepKeys();
  void FillNetworkTypes();
  static bool FilterKeyText(std::string& text);

  // The texts of the 20 key-byte edits, as the page store reads them.
  std::array<std::string, wireless_text::kKeyByteEdits> KeyByteTexts() const;

  // The three domain codes of the box's list, parsed at each start.
  std::array<int, 3> m_iDomainCodes{};
  // Key-byte edit ids, filled at start.
  std::array<int, wireless_text::kKeyByteEdits> m_iKeyByteIds{};
  // What the eight edits shared by both layouts (indexes 5-12) hold in each layout.
  std::array<std::string, 8> m_sz128BitTexts;
  std::array<std::string, 8> m_sz64BitTexts;
  bool m_b64BitShown = false;
  bool m_b128BitShown = false;

  ui::CComboBox m_cbNetworkType;
  ui::CComboBox m_cbDefaultKey;
  ui::CComboBox m_cbChannel;
  ui::CEdit m_edSSID;
  ui::CEdit m_edStation;
  ui::CEdit m_edDomain;

 protected:
  // The authentication radios end the page for the Tab rule.
  std::vector<int> LastControls() const override { return {IDC_OPEN_SYSTEM, IDC_SHARED_KEY}; }

 private:
  template <int I>
  void OnChangeKeyByteAt() {
    OnChangeKeyByte(I);
  }
  template <int... I>
  void RegisterKeyByteHandlers(std::integer_sequence<int, I...>);
  void CheckRadioButton(int first, int last, int checked);
  void EnableKeyControls(bool enable);
  void SaveSharedTexts(std::array<std::string, 8>& into);
  void PutSharedTexts(const std::array<std::string, 8>& from);
  void ShowLongKeyRows(bool show);

  bool m_bLoadingKeys = false;  // no focus moves while the box's keys go into the edits
  bool m_bKeysLoaded = false;
};

extern CWirelessPage g_WirelessPage;

// The text of the entry that lists a value the page does not know.
std::string UnknownEntry(int value);

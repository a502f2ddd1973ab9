// The wireless page: the box's station address, network name, channel of its regulatory domain,
// network type, WEP keys, default key and authentication. Set up once per box; Next stores into
// the wireless record of WizardConfigurationData. With WEP off the record takes the box's own key
// length, default key and keys: the key-length radios change only what the page shows.
#pragma once
#include <string>
#include <utility>
#include <vector>

#include "ui/property_sheet.h"
#include "wizard_client/api/wizard_records.h"

namespace wizard {

constexpr int IDS_ILLEGAL_INPUT_DATA = 140;
void RegisterWirelessStrings();

// The station address of a box: the [EthernetAddress] value of "Setupwizard.ini" for the first
// two characters of its default name, followed by the name's last six characters, upper-cased.
std::string DefaultStationName(const std::string& defaultName);
// "AA-BB-CC-DD-EE-FF" from the first twelve characters (pairs joined by the separator), upper-cased.
std::string FormatStationAddress(const std::string& text, const std::string& separator);
// The channels a regulatory domain code allows, ascending.
std::vector<int> ChannelsOfDomain(int domainCode);
// "00" for an empty byte, "0" put before a single character.
void PadKeyByte(std::string& text);
// Keeps only hexadecimal digits; true when nothing had to be dropped.
bool IsHexKeyText(std::string& text);

class CWireless : public ui::CPropertyPage {
 public:
  enum {
    IDC_KEY1_1 = 1222,
    IDC_KEY1_2 = 1110,  // 1110-1114 the rest of row Key1 and the first of row Key2
    IDC_KEY2_2 = 1193,  // 1193-1206 the rest of rows Key2 to Key4
    IDC_WEP_DISABLED = 1189,
    IDC_WEP_ENABLED = 1190,
    IDC_64_BITS = 1191,
    IDC_128_BITS = 1192,
    IDC_DEFAULT_KEY = 1208,
    IDC_SSID = 1209,
    IDC_CHANNEL = 1210,
    IDC_OPEN_SYSTEM = 1217,
    IDC_KEY1_LABEL = 1218,  // 1218-1221 "Key1".."Key4"
    IDC_STATION = 1226,
    IDC_SHARED_KEY = 1227,
    IDC_NETWORK_TYPE = 1232,
    IDC_DEFAULT_KEY_LABEL = 1216,
  };
  static constexpr int kKeyEdits = 20;
  static constexpr int kSharedEdits = 8;
  // The 20 key-byte edits, row by row.
  static const int kKeyEditIds[kKeyEdits];

  CWireless();
  BOOL OnInitDialog() override;
  BOOL OnSetActive() override;
  ui::LRESULT OnWizardBack() override;
  ui::LRESULT OnWizardNext() override;
  void DoDataExchange(bool save) override;

  void OnWepDisabled();
  void OnWepEnabled();
  void On64Bits();
  void On128Bits();
  // A key-byte edit changed: with two digits typed the focus goes on to the next byte of its key.
  void OnKeyByteChanged(int index);

 private:
  template <std::size_t... I>
  void HandleKeyByteChanges(std::index_sequence<I...>);
  template <int I>
  void OnKeyByteChangedAt() { OnKeyByteChanged(I); }
  // Reads the box's wireless settings and shows them; after a failed read the page is cleared
  // and its settings stay disabled (false).
  bool SetUpFromBox(const std::string& defaultName);
  void EnableSettings(bool enable);
  void FillChannelList(int domainCode);
  void FillNetworkTypeList(int variant);
  void FillKeyEdits();
  void GatherWepKeys(WirelessConfigurationData& out);
  void ClearPage();
  void SaveShared(bool layout128);
  void LoadShared(bool layout128);
  bool CachedTypeIsAccessPoint() const;

  ui::CComboBox m_defaultKey;
  ui::CComboBox m_networkType;
  ui::CComboBox m_channel;
  ui::CEdit m_ssid;
  ui::CEdit m_station;
  ui::CEdit m_keys[kKeyEdits];
  std::string m_shared64[kSharedEdits];
  std::string m_shared128[kSharedEdits];
  bool m_shown64 = false;
  bool m_shown128 = false;
  bool m_layout128 = false;
  int m_variant = 1;

  std::string m_setUpFor;
  WirelessConfigurationData m_box;
  int m_readResult = 0;
};

}  // namespace wizard

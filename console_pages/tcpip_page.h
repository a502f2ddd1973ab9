// The TCP/IP page of the settings view: the box's IP address, subnet mask and default gateway as
// twelve one-octet edits, and whether the box takes its address by DHCP. While DHCP is on the
// octets are greyed and neither checked nor stored: they show what the box holds.
#pragma once
#include <string>
#include <utility>

#include "console_pages/settings_page.h"
#include "device_client/core/config/config_records.h"

class CTcpipPage : public CSettingsPage {
 public:
  static constexpr int IDD = 148;
  // Octet edits, first to fourth.
  static constexpr int IDC_IP[4] = {1093, 1095, 1097, 1100};
  static constexpr int IDC_MASK[4] = {1115, 1119, 1122, 1125};
  static constexpr int IDC_GATEWAY[4] = {1103, 1106, 1109, 1112};
  static constexpr int IDC_DHCP_LABEL = 1063;
  static constexpr int IDC_DHCP_DISABLE = 1019;
  static constexpr int IDC_DHCP_ENABLE = 1015;
  static constexpr int kOctetLimit = 3;
  // Messages of the page and of its store.
  static constexpr int IDS_ILLEGAL_VALUE = 32826;
  static constexpr int IDS_VALUE_RANGE = 32827;
  static constexpr int IDS_NEED_DATA = 32878;

  CTcpipPage();

  BOOL OnInitDialog() override;
  void DoDataExchange(bool save) override;

  // Filled at start; the page does not use them further.
  config::ProtocolData m_dsProtocolData;
  // The radio group 1019/1015: 0 DHCP off, 1 on; -1 before the first showing.
  int m_iDhcp = -1;
  // The octet texts (kept from one showing of the page to the next).
  std::string m_szIP[4], m_szMask[4], m_szGateway[4];
  ui::CEdit m_editIP[4], m_editMask[4], m_editGateway[4];
  ui::CButton m_rdoDhcpDisable;

  // The edit of one octet: address 0 IP, 1 mask, 2 gateway; octet 0..3.
  ui::CEdit& OctetEdit(int address, int octet);

 protected:
  std::vector<int> LastControls() const override { return {IDC_DHCP_DISABLE, IDC_DHCP_ENABLE}; }

 private:
  void OnChangeOctet(int chainIndex);
  template <int I>
  void OnChangeOctetAt() { OnChangeOctet(I); }
  // One change handler per octet edit, in the order of the caret's chain.
  template <std::size_t... I>
  void RegisterOctetHandlers(std::index_sequence<I...>);
  void OnDhcpDisable();
  void OnDhcpEnable();
  // Puts the record's three addresses into the octet edits (an address that does not split
  // empties its four edits) and enables or greys them.
  void ShowRecord(bool dhcp);
  bool m_bFilling = false;  // the page itself is setting the edits: no focus moves, no message
};

extern CTcpipPage g_TcpipPage;

// Registers the texts of the page's messages.
void RegisterTcpipPageStrings();

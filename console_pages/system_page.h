// The System page of the settings view: the box's device name and the Disable/Enable choice of
// its four network protocols. Protocols the box lacks are greyed, and so is the one the console
// reaches the box by, so a save cannot cut the console off.
#pragma once
#include "console_pages/settings_page.h"
#include "device_client/core/config/config_records.h"
#include "ui/sft_tree.h"

class CSystemPage : public CSettingsPage {
 public:
  static constexpr int IDD = 143;
  static constexpr int IDC_DEVICE_NAME = 1183;
  static constexpr int IDC_IPXSPX_GROUP = 1184;
  static constexpr int IDC_IPXSPX_DISABLE = 1185;
  static constexpr int IDC_IPXSPX_ENABLE = 1186;
  static constexpr int IDC_TCPIP_GROUP = 1193;
  static constexpr int IDC_TCPIP_DISABLE = 1187;
  static constexpr int IDC_TCPIP_ENABLE = 1188;
  static constexpr int IDC_APPLETALK_GROUP = 1114;
  static constexpr int IDC_APPLETALK_DISABLE = 1019;
  static constexpr int IDC_APPLETALK_ENABLE = 1014;
  static constexpr int IDC_NETBEUI_GROUP = 1195;
  static constexpr int IDC_NETBEUI_DISABLE = 1191;
  static constexpr int IDC_NETBEUI_ENABLE = 1192;
  static constexpr int kDeviceNameLimit = 19;
  // Messages of the page's checks.
  static constexpr int IDS_NEED_DEVICE_NAME = 32876;
  static constexpr int IDS_DEVICE_NAME_ALL_DIGITS = 61219;
  static constexpr int IDS_NEED_ONE_NETWORK_PROTOCOL = 32803;

  CSystemPage();

  BOOL OnInitDialog() override;
  void DoDataExchange(bool save) override;

  // Written by the view before creation; the page store may use them.
  int m_iSelectedItem = 0;
  ui::CSftTree* m_pDeviceTree = nullptr;
  // The record's device name when the page was set up.
  std::string m_szRecordDeviceName;
  // The box's protocol capabilities.
  config::ProtocolData m_dsProtocolData;

  ui::CEdit m_editDeviceName;
  ui::CButton m_grpIPXSPX, m_grpTCPIP, m_grpAppleTalk, m_grpNetBEUI;
  ui::CButton m_rdoIPXSPXDisable, m_rdoTCPIPDisable, m_rdoAppleTalkDisable, m_rdoNetBEUIDisable;

 protected:
  std::vector<int> LastControls() const override { return {IDC_NETBEUI_DISABLE, IDC_NETBEUI_ENABLE}; }

 private:
  // Enables or disables one protocol's Enable radio, Disable radio and group box.
  void EnableTrio(int enableId, int disableId, int groupId, bool enable);
};

extern CSystemPage g_SystemPage;

// Registers the texts of the page's checks.
void RegisterSystemPageStrings();

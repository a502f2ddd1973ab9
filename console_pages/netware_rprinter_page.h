// The NetWare remote printer page of the settings view: the operation mode and, in remote-printer
// mode, the NetWare print server that serves each parallel port of the box (as many names as the
// model has parallel ports), plus the IPX frame types. In print-server mode the remote-printer
// controls are greyed and the page stores nothing of them.
#pragma once
#include <string>

#include "console_pages/settings_page.h"

class CNetwareRPrinterPage : public CSettingsPage {
 public:
  static constexpr int IDD = 147;
  static constexpr int IDC_PRINT_SERVER_MODE = 1017;
  static constexpr int IDC_REMOTE_PRINTER_MODE = 1011;
  static constexpr int IDC_P1_LABEL = 1098;
  static constexpr int IDC_P1_SERVER = 1175;
  static constexpr int IDC_P2_LABEL = 1165;
  static constexpr int IDC_P2_SERVER = 1167;
  static constexpr int IDC_P3_LABEL = 1170;
  static constexpr int IDC_P3_SERVER = 1171;
  static constexpr int IDC_DEVICE_NAME = 1183;  // hidden: the record's device name
  static constexpr int kNameLimit = 19;
  static constexpr const char* kNotAvailable = "N/A";
  // Messages of the page's store, port by port.
  static constexpr int IDS_ILLEGAL_P1 = 32815;
  static constexpr int IDS_ILLEGAL_P2 = 57349;
  static constexpr int IDS_ILLEGAL_P3 = 57350;

  CNetwareRPrinterPage();

  BOOL OnInitDialog() override;
  void DoDataExchange(bool save) override;

  // 0 print-server mode, 1 remote-printer mode; -1 before the first showing.
  int m_iMode = -1;
  // The record's device name when the page was set up.
  std::string m_szRecordDeviceName;
  ui::CEdit m_editServer[3];  // P1, P2, P3
  ui::CEdit m_editDeviceName;

  bool RemotePrinterMode() const { return m_iMode == 1; }
  // How many of the three names the box's model offers (P1 .. P<n>).
  int OfferedPorts() const;

 protected:
  // The last frame box: Ethernet II, or Token-Ring-SNAP on a Token-Ring box.
  std::vector<int> LastControls() const override { return {1026, 1129}; }

 private:
  void OnPrintServerMode();
  void OnRemotePrinterMode();
  // Enables the offered name edits and the frame boxes, or greys them.
  void EnableRemotePrinterControls(bool enable);
};

extern CNetwareRPrinterPage g_NetwareRPrinterPage;

// Registers the texts of the page's messages.
void RegisterNetwareRPrinterPageStrings();

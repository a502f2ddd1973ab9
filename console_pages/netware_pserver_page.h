// The NetWare print server page of the settings view: the operation mode (print server or remote
// printer), the NDS tree and context, the bindery master file server, the queue polling interval,
// job notification and the IPX frame types. The two drop-down lists can be filled from live IPX
// scans, and a button changes the box's password. In remote-printer mode the print-server controls
// are greyed and the page stores nothing of them.
#pragma once
#include <string>

#include "console_pages/settings_page.h"

class CNetwarePServerPage : public CSettingsPage {
 public:
  static constexpr int IDD = 146;
  static constexpr int IDC_PRINT_SERVER_MODE = 1012;
  static constexpr int IDC_REMOTE_PRINTER_MODE = 1016;
  static constexpr int IDC_NDS_TREE = 1052;
  static constexpr int IDC_NDS_CONTEXT = 1054;
  static constexpr int IDC_MASTER_FILE_SERVER = 1056;
  static constexpr int IDC_POLLING_INTERVAL = 1058;
  static constexpr int IDC_JOB_NOTIFY_NO = 1062;
  static constexpr int IDC_JOB_NOTIFY_YES = 1015;
  static constexpr int IDC_CHANGE_PASSWORD = 1085;
  static constexpr int kNameLimit = 19;
  static constexpr int kContextLimit = 235;
  static constexpr int kIntervalLimit = 3;
  // Messages of the page's store.
  static constexpr int IDS_ILLEGAL_MASTER = 32805;
  static constexpr int IDS_ILLEGAL_TREE = 32806;
  static constexpr int IDS_ILLEGAL_CONTEXT = 32807;
  static constexpr int IDS_ILLEGAL_INTERVAL = 32808;
  static constexpr int IDS_INTERVAL_RANGE = 32810;
  static constexpr int IDS_TREE_TOO_LONG = 32893;
  static constexpr int IDS_MASTER_TOO_LONG = 32894;

  CNetwarePServerPage();

  BOOL OnInitDialog() override;
  void DoDataExchange(bool save) override;

  // 0 print-server mode, 1 remote-printer mode; -1 before the first showing.
  int m_iMode = -1;
  ui::CComboBox m_cmbMasterFileServer, m_cmbNdsTree;
  ui::CEdit m_editNdsContext, m_editPollingInterval;
  ui::CButton m_rdoJobNotifyNo;

  // Whether the print-server controls are in use (print-server mode).
  bool PrintServerMode() const { return m_iMode == 0; }

 protected:
  std::vector<int> LastControls() const override { return {IDC_CHANGE_PASSWORD}; }

 private:
  void OnDropdownMasterFileServer();
  void OnDropdownNdsTree();
  // Fills a list from a live scan; what the user typed into the box stays.
  void Rescan(ui::CComboBox& combo, bool trees);
  void OnPrintServerMode();
  void OnRemotePrinterMode();
  void OnChangePassword();
  void EnablePrintServerControls(bool enable);
};

extern CNetwarePServerPage g_NetwarePServerPage;

// Registers the texts of the page's messages.
void RegisterNetwarePServerPageStrings();

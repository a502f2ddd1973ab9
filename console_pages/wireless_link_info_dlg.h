// The wireless link information dialog: the live state of the selected box's wireless link (state,
// channel, transmit rate, throughput, link quality and signal strength), read from the box when it
// opens and again every 5 seconds.
#pragma once
#include <string>

#include "console_pages/wireless_text.h"
#include "device_client/api/print_server_utility.h"
#include "ui/dialog.h"

class CWirelessLinkInfoDlg : public ui::CDialog {
 public:
  static constexpr int IDD = 204;
  static constexpr int IDC_STATE = 1240;
  static constexpr int IDC_CHANNEL = 1110;
  static constexpr int IDC_TX_RATE = 1111;
  static constexpr int IDC_TX = 1112;
  static constexpr int IDC_RX = 1113;
  static constexpr int IDC_QUALITY_LABEL = 1236;
  static constexpr int IDC_QUALITY_BAR = 1234;
  static constexpr int IDC_STRENGTH_LABEL = 1237;
  static constexpr int IDC_STRENGTH_BAR = 1235;
  static constexpr UINT kTimerId = 1;
  static constexpr UINT kTimerMs = 5000;

  explicit CWirelessLinkInfoDlg(CPrintServerUtility& utility, ui::CWnd* parent = nullptr);
  ~CWirelessLinkInfoDlg() override;

  BOOL OnInitDialog() override;
  void DoDataExchange(bool save) override;
  void OnTimer(UINT id) override;
  void OnCancel() override;  // "Close" and the close box

  // Reads the box's wireless record and takes the link values from its status text; a failed read
  // shows its result and keeps the values shown.
  void ReadLinkStatus();
  void Display();

  // Set by the caller before the dialog runs: the box and the network type of its wireless record.
  std::string m_szDefaultName;
  int m_iNetworkType = 0;
  // The values shown.
  wireless_text::LinkStatus m_Link;

  ui::CStatic m_stStrength;
  ui::CStatic m_stQuality;
  ui::CProgressCtrl m_pgStrength;
  ui::CProgressCtrl m_pgQuality;
  ui::CEdit m_edRx;
  ui::CEdit m_edTx;
  ui::CEdit m_edTxRate;
  ui::CEdit m_edChannel;
  ui::CEdit m_edState;

 private:
  CPrintServerUtility& m_Utility;
  UINT m_nTimer = 0;
  // True while a read, and the result box it may show, is under way: the timer's ticks meanwhile
  // are dropped, so a box left open never gets further boxes piled on it.
  bool m_bReading = false;
};

// What the wireless page's "Link Info" button does: runs the dialog for the box modally.
void RunWirelessLinkInfoDialog(CPrintServerUtility& utility, const std::string& defaultName, int networkType,
                               ui::CWnd* parent = nullptr);

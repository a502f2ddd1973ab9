#include "console_pages/wireless_link_info_dlg.h"

#include "console_pages/device_dialog_text.h"
#include "ui/services.h"

using namespace ui;

namespace {

const DialogTemplate& Layout() {
  static const DialogTemplate t = [] {
    DialogTemplate d;
    d.id = CWirelessLinkInfoDlg::IDD;
    d.caption = "Wireless Link Info";
    d.cx = 254;
    d.cy = 240;
    d.controls = {
        {-1, Kind::Static, "State:", 0, 14, 16, 70, 10},
        {CWirelessLinkInfoDlg::IDC_STATE, Kind::Edit, "", ES_READONLY | WS_TABSTOP, 88, 14, 152, 13},
        {-1, Kind::Static, "Current Channel:", 0, 14, 36, 70, 10},
        {CWirelessLinkInfoDlg::IDC_CHANNEL, Kind::Edit, "", ES_READONLY | WS_TABSTOP, 88, 34, 60, 13},
        {-1, Kind::Static, "Current Tx Rate:", 0, 14, 56, 70, 10},
        {CWirelessLinkInfoDlg::IDC_TX_RATE, Kind::Edit, "", ES_READONLY | WS_TABSTOP, 88, 54, 60, 13},
        {-1, Kind::Static, "Mbits/s", 0, 152, 56, 40, 10},
        {-1, Kind::GroupBox, "Throughput ( Bytes/Sec ) ", 0, 7, 76, 240, 38},
        {-1, Kind::Static, "Tx:", 0, 14, 94, 16, 10},
        {CWirelessLinkInfoDlg::IDC_TX, Kind::Edit, "", ES_READONLY | WS_TABSTOP, 32, 92, 84, 13},
        {-1, Kind::Static, "Rx:", 0, 128, 94, 16, 10},
        {CWirelessLinkInfoDlg::IDC_RX, Kind::Edit, "", ES_READONLY | WS_TABSTOP, 146, 92, 84, 13},
        {CWirelessLinkInfoDlg::IDC_QUALITY_LABEL, Kind::Static, "Link Quality:", 0, 14, 126, 226, 10},
        {CWirelessLinkInfoDlg::IDC_QUALITY_BAR, Kind::Progress, "", 0, 14, 140, 226, 12},
        {CWirelessLinkInfoDlg::IDC_STRENGTH_LABEL, Kind::Static, "Signal Strength:", 0, 14, 164, 226, 10},
        {CWirelessLinkInfoDlg::IDC_STRENGTH_BAR, Kind::Progress, "", 0, 14, 178, 226, 12},
        {IDCANCEL, Kind::DefButton, "Close", WS_TABSTOP, 100, 214, 54, 14},
    };
    return d;
  }();
  return t;
}

}  // namespace

CWirelessLinkInfoDlg::CWirelessLinkInfoDlg(CPrintServerUtility& utility, CWnd* parent)
    : CDialog(Layout(), parent), m_Utility(utility) {}

CWirelessLinkInfoDlg::~CWirelessLinkInfoDlg() { GetTimerService().KillAll(this); }

void CWirelessLinkInfoDlg::DoDataExchange(bool save) {
  CDialog::DoDataExchange(save);
  DDX_Control(IDC_STRENGTH_LABEL, m_stStrength);
  DDX_Control(IDC_QUALITY_LABEL, m_stQuality);
  DDX_Control(IDC_STRENGTH_BAR, m_pgStrength);
  DDX_Control(IDC_QUALITY_BAR, m_pgQuality);
  DDX_Control(IDC_RX, m_edRx);
  DDX_Control(IDC_TX, m_edTx);
  DDX_Control(IDC_TX_RATE, m_edTxRate);
  DDX_Control(IDC_CHANNEL, m_edChannel);
  DDX_Control(IDC_STATE, m_edState);
}

BOOL CWirelessLinkInfoDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  // An 802.11 ad hoc link has no access point to measure against.
  if (m_iNetworkType == 1) {
    for (CWnd* w : {static_cast<CWnd*>(&m_stQuality), static_cast<CWnd*>(&m_pgQuality),
                    static_cast<CWnd*>(&m_stStrength), static_cast<CWnd*>(&m_pgStrength)}) {
      w->EnableWindow(false);
    }
  }
  m_Link.qualityPercent = 0;
  m_Link.strengthPercent = 0;
  m_bReading = true;
  ReadLinkStatus();
  m_bReading = false;
  Display();
  m_nTimer = kTimerId;
  SetTimer(kTimerId, kTimerMs);
  return 1;
}

void CWirelessLinkInfoDlg::ReadLinkStatus() {
  // The box's record goes to a copy of its own: the settings the user is editing stay as they are.
  config::WirelessConfigurationData record;
  int result = 0;
  {
    CWaitCursor wait;
    result = m_Utility.mGetWirelessConfiguration(m_szDefaultName, &record);
  }
  device_dialogs::ReportResult(result);
  if (result != 0) return;
  wireless_text::ApplyLinkStatus(record.szLinkStatus, m_Link);
}

void CWirelessLinkInfoDlg::Display() {
  m_edState.SetWindowText(m_Link.state);
  m_edChannel.SetWindowText(m_Link.channel);
  m_edTxRate.SetWindowText(m_Link.txRate);
  m_edTx.SetWindowText(m_Link.tx);
  m_edRx.SetWindowText(m_Link.rx);
  m_stQuality.SetWindowText("Link Quality:    " + m_Link.quality);
  m_pgQuality.SetRange(0, 100);
  m_pgQuality.SetPos(m_Link.qualityPercent);
  m_stStrength.SetWindowText("Signal Strength:    " + m_Link.strength);
  m_pgStrength.SetRange(0, 100);
  m_pgStrength.SetPos(m_Link.strengthPercent);
}

void CWirelessLinkInfoDlg::OnTimer(UINT id) {
  (void)id;
  if (m_bReading) return;
  m_bReading = true;
  ReadLinkStatus();
  m_bReading = false;
  Display();
}

void CWirelessLinkInfoDlg::OnCancel() {
  KillTimer(m_nTimer);
  CDialog::OnCancel();
}

void RunWirelessLinkInfoDialog(CPrintServerUtility& utility, const std::string& defaultName, int networkType,
                               CWnd* parent) {
  CWirelessLinkInfoDlg dlg(utility, parent);
  dlg.m_szDefaultName = defaultName;
  dlg.m_iNetworkType = networkType;
  dlg.DoModal();
}

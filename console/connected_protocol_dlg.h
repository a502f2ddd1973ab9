// The connected-protocol dialog: which of TCP/IP, IPX/SPX and NetBEUI the console uses, kept in
// [ConnectedProtocol] of "common.ini". Only protocols installed on this computer can be chosen.
#pragma once
#include "ui/dialog.h"

class CConnectedProtocolDlg : public ui::CDialog {
 public:
  explicit CConnectedProtocolDlg(ui::CWnd* parent = nullptr);
  BOOL OnInitDialog() override;
  void OnOK() override;
  void DoDataExchange(bool save) override;

 private:
  ui::CButton m_chkTCPIP;
  ui::CButton m_chkNetBEUI;
  ui::CButton m_chkIPXSPX;
};

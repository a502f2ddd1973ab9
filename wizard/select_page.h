// The device-selection page and the password dialog: the boxes the device library finds, the
// chosen box's name information, configuration and port layout, and its password.
#pragma once
#include <string>

#include "ui/dialog.h"
#include "ui/property_sheet.h"

namespace wizard {

class CSelect : public ui::CPropertyPage {
 public:
  CSelect();
  BOOL OnInitDialog() override;
  BOOL OnSetActive() override;
  ui::LRESULT OnWizardNext() override;
  void DoDataExchange(bool save) override;

  // The Refresh button: browse again and fill the list.
  void OnRefresh();
  void RefreshServerList();

  ui::CListCtrl m_DeviceList;  // 1035
  // The last device call's result.
  int m_iResult = 0;
  // Passed to the browse, which does not use it.
  int m_iBrowseOption = 0;

 private:
  void PostButtons();
  // Selects and focuses a row and gives the list the focus.
  void FocusRow(int row);
};

// "Verify Password": the selected box's default name and a password the box must accept.
class CVerifyPasswordDlg : public ui::CDialog {
 public:
  CVerifyPasswordDlg();
  BOOL OnInitDialog() override;
  void OnOK() override;
  void DoDataExchange(bool save) override;

  ui::CEdit m_DefaultName;  // 1001
  ui::CEdit m_Password;     // 1103
  // 1 when the box accepted the password typed.
  int m_bVerified = 0;
  int m_iResult = 0;

 private:
  std::string m_szDefaultName, m_szDeviceName, m_szLongNameSupport;
};

// The port layout from a device-information block (0 when no rule matches).
int PortTypeFromDeviceInfo(const unsigned char* pid);

}  // namespace wizard

// The quick setup dialog: renames the selected print server in one step. It shows the box's
// default name and device name, checks the new name and hands it back; the caller writes it.
#pragma once
#include <string>

#include "ui/dialog.h"

class CQuickSetupDlg : public ui::CDialog {
 public:
  static constexpr int IDD = 167;
  static constexpr int IDC_SELECTED_DEVICE = 1003;
  static constexpr int IDC_WORKGROUP = 1181;
  static constexpr int IDC_DEVICE_NAME = 1183;
  static constexpr int kDeviceNameLimit = 19;
  static constexpr int kWorkgroupLimit = 15;

  explicit CQuickSetupDlg(ui::CWnd* parent = nullptr);

  // 1 when at least one character is not a decimal digit, else 0 (also 0 for an empty text).
  static int HasNonDigit(const std::string& text);

  BOOL OnInitDialog() override;
  void OnOK() override;
  void DoDataExchange(bool save) override;

  std::string m_szDeviceName;
  std::string m_szDefaultName;
  std::string m_szWorkgroup;
  ui::CEdit m_editWorkgroup;
  ui::CEdit m_editDeviceName;
};

// Registers the dialog's message texts (strings 32876 and 61219).
void RegisterQuickSetupStrings();

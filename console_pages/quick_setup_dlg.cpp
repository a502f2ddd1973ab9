#include "console_pages/quick_setup_dlg.h"

#include "platform/message_sink.h"

using ui::Kind;

namespace {
constexpr int IDS_NEED_DEVICE_NAME = 32876;
constexpr int IDS_DEVICE_NAME_ALL_DIGITS = 61219;

ui::DialogTemplate QuickSetupTemplate() {
  return {CQuickSetupDlg::IDD, "Print Server Quick Setup ", "MS Sans Serif", 8, 188, 185, 0,
          {{-1, Kind::GroupBox, "Identification", 0, 7, 7, 174, 146},
           {-1, Kind::Static, "Selected Device:", 0, 16, 22, 62, 10},
           {CQuickSetupDlg::IDC_SELECTED_DEVICE, Kind::Static, "", 0, 80, 22, 96, 10},
           {-1, Kind::Static, "Device Name:", 0, 16, 40, 62, 10},
           {CQuickSetupDlg::IDC_DEVICE_NAME, Kind::Edit, "", ui::ES_UPPERCASE | ui::WS_TABSTOP, 80, 38, 94, 13},
           {-1, Kind::Static, "Workgroup :", 0, 16, 58, 62, 10, false},
           {CQuickSetupDlg::IDC_WORKGROUP, Kind::Edit, "", ui::WS_TABSTOP, 80, 56, 94, 13, false},
           {-1, Kind::Static,
            "In Microsoft Networking environment, this information is used to identify the print server on "
            "the network.  A default name exists in the print server.  Enter a different name if desired. ",
            0, 16, 80, 158, 64},
           {ui::IDCANCEL, Kind::Button, "Cancel", ui::WS_TABSTOP, 131, 161, 50, 16},
           {ui::IDOK, Kind::DefButton, "OK", ui::WS_TABSTOP, 75, 161, 50, 16}}};
}
}  // namespace

void RegisterQuickSetupStrings() {
  platform::RegisterString(IDS_NEED_DEVICE_NAME, "Need to input Device Name");
  platform::RegisterString(IDS_DEVICE_NAME_ALL_DIGITS, "Device name must include at last one english char (a-z, A-Z)");
}

CQuickSetupDlg::CQuickSetupDlg(ui::CWnd* parent) : CDialog(QuickSetupTemplate(), parent) {}

int CQuickSetupDlg::HasNonDigit(const std::string& text) {
  for (char c : text) {
    if (c < '0' || c > '9') return 1;
  }
  return 0;
}

void CQuickSetupDlg::DoDataExchange(bool save) {
  (void)save;
  DDX_Control(IDC_WORKGROUP, m_editWorkgroup);
  DDX_Control(IDC_DEVICE_NAME, m_editDeviceName);
}

BOOL CQuickSetupDlg::OnInitDialog() {
  m_editDeviceName.LimitText(kDeviceNameLimit);
  m_editDeviceName.SetWindowText(m_szDeviceName);
  m_editWorkgroup.LimitText(kWorkgroupLimit);
  m_editWorkgroup.SetWindowText(m_szWorkgroup);
  SetDlgItemText(IDC_SELECTED_DEVICE, m_szDefaultName);
  return 1;
}

void CQuickSetupDlg::OnOK() {
  const std::string name = m_editDeviceName.GetWindowText();
  int refusal = 0;
  if (name.empty()) {
    refusal = IDS_NEED_DEVICE_NAME;
  } else if (HasNonDigit(name) == 0) {
    refusal = IDS_DEVICE_NAME_ALL_DIGITS;
  }
  if (refusal != 0) {
    platform::MessageBoxById(refusal);
    m_editDeviceName.SetWindowText("");
    m_editDeviceName.SetFocus();
    return;
  }
  m_szDeviceName = name;
  m_szWorkgroup = m_editWorkgroup.GetWindowText();
  EndDialog(ui::IDOK);
}

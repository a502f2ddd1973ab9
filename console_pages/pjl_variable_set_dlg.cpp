#include "console_pages/pjl_variable_set_dlg.h"

#include <QCoreApplication>
#include <string_view>

#include "console_pages/device_dialog_text.h"
#include "console_pages/port_ready.h"
#include "device_client/pjl/pjl_text.h"
#include "device_client/settings/com_method.h"
#include "platform/clock.h"
#include "platform/message_sink.h"
#include "ui/services.h"

using namespace ui;

namespace {

constexpr const char* kValueLabel = "Variable Value :";
constexpr int kWaitStepMs = 200;

const DialogTemplate& Layout() {
  static const DialogTemplate t = [] {
    DialogTemplate d;
    d.id = CPJLVariableSetDlg::IDD;
    d.cx = 149;
    d.cy = 79;
    d.controls = {
        {CPJLVariableSetDlg::IDC_VARIABLE_GROUP, Kind::GroupBox, "", 0, 10, 3, 132, 69},
        {CPJLVariableSetDlg::IDC_VALUE_LABEL, Kind::Static, kValueLabel, 0, 22, 14, 118, 11},
        {CPJLVariableSetDlg::IDC_VALUE_EDIT, Kind::Edit, "", WS_TABSTOP, 28, 29, 92, 14},
        {CPJLVariableSetDlg::IDC_VALUE_COMBO, Kind::DropList, "", WS_TABSTOP, 22, 28, 109, 14},  // closed height
        {IDOK, Kind::DefButton, "Set", WS_TABSTOP, 28, 52, 45, 14},
        {IDCANCEL, Kind::Button, "Cancel", WS_TABSTOP, 80, 52, 46, 14},
    };
    return d;
  }();
  return t;
}

struct EditVariable {
  const char* name;
  CPJLVariableSetDlg::Input input;
};
constexpr EditVariable kEditVariables[] = {
    {"COPIES", CPJLVariableSetDlg::Input::WholeNumber},
    {"DENSITY", CPJLVariableSetDlg::Input::WholeNumber},
    {"FORMLINES", CPJLVariableSetDlg::Input::WholeNumber},
    {"TIMEOUT", CPJLVariableSetDlg::Input::WholeNumber},
    {"FONTNUMBER", CPJLVariableSetDlg::Input::WholeNumber},
    {"PITCH", CPJLVariableSetDlg::Input::DecimalNumber},
    {"PTSIZE", CPJLVariableSetDlg::Input::DecimalNumber},
};

// Position (0..27) in the record of a row name, -1 for none.
int PositionOf(const std::string& rowName) {
  for (int i = 0; i < pjl::kVariableCount; ++i) {
    std::string_view name = pjl::kVariableTable[i].name;
    if (const std::size_t blank = name.rfind(' '); blank != std::string_view::npos) name.remove_prefix(blank + 1);
    if (name == rowName) return i;
  }
  return -1;
}

}  // namespace

CPJLVariableSetDlg::CPJLVariableSetDlg(CPJLUtility& utility, CWnd* parent)
    : CDialog(Layout(), parent), m_Utility(utility) {}

void CPJLVariableSetDlg::DoDataExchange(bool save) {
  CDialog::DoDataExchange(save);
  DDX_Control(IDC_VALUE_EDIT, m_ValueEdit);
  DDX_Control(IDC_VALUE_COMBO, m_ValueCombo);
}

CPJLVariableSetDlg::Input CPJLVariableSetDlg::InputOf(const std::string& rowName) {
  for (const EditVariable& v : kEditVariables)
    if (rowName == v.name) return v.input;
  return Input::List;
}

int CPJLVariableSetDlg::IndexOf(const std::string& rowName) {
  const int position = PositionOf(rowName);
  return position < 0 ? -1 : pjl::kVariableTable[position].index;
}

const PJLVariableData* CPJLVariableSetDlg::Variable() const {
  const int position = PositionOf(m_szVariableName);
  if (m_pConfiguration == nullptr || position < 0) return nullptr;
  return &m_pConfiguration->Entry(position);
}

BOOL CPJLVariableSetDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  device_dialogs::RegisterDeviceDialogStrings();
  m_ValueEdit.LimitText(kValueChars);
  SetDlgItemText(IDC_VARIABLE_GROUP, m_szVariableName);
  const Input input = InputOf(m_szVariableName);
  if (input != Input::List) {
    m_ValueEdit.ShowWindow(SW_SHOW);
    m_ValueEdit.SetWindowText(m_szValue);
    m_ValueCombo.ShowWindow(SW_HIDE);
    m_iVariableIndex = IndexOf(m_szVariableName);
  } else {
    m_ValueEdit.ShowWindow(SW_HIDE);
    m_ValueCombo.ShowWindow(SW_SHOW);
  }
  m_ValueCombo.ResetContent();
  if (input == Input::List || m_szVariableName == "DENSITY") {
    if (const PJLVariableData* v = Variable())
      for (const std::string& choice : v->ValidValueList) m_ValueCombo.AddString(choice);
    m_iVariableIndex = IndexOf(m_szVariableName);
    const int found = m_ValueCombo.FindString(0, m_szValue);
    m_ValueCombo.SetCurSel(found == CB_ERR ? 0 : found);
  }
  return 1;
}

int CPJLVariableSetDlg::IsPrinterOnLine() {
  return IsPortPrinterReady(m_Utility, m_szDefaultName, m_iPort, m_szPortName);
}

void CPJLVariableSetDlg::OnCancel() {
  if (m_bWaiting) {
    m_bStopWaiting = true;  // the set went through; only the wait stops
    return;
  }
  CDialog::OnCancel();
}

void CPJLVariableSetDlg::OnOK() {
  if (m_bWaiting) return;
  if (IsPrinterOnLine() != 1) {
    platform::MessageBoxById(device_dialogs::IDS_PRINTER_NOT_ON_LINE, platform::MB_OK);
    return;
  }
  std::string value;
  const Input input = InputOf(m_szVariableName);
  if (input == Input::List) {
    const int selected = m_ValueCombo.GetCurSel();
    if (selected < 0) {  // the printer offered no values to choose from
      platform::MessageBoxById(device_dialogs::IDS_NEED_INPUT_DATA, platform::MB_OK);
      return;
    }
    value = m_ValueCombo.GetLBText(selected);
  } else {
    const PJLVariableData* v = Variable();
    const std::list<std::string> none;
    const std::list<std::string>& bounds = v ? v->ValidValueList : none;
    const device_dialogs::ValueCheck check =
        input == Input::WholeNumber ? device_dialogs::CheckWholeNumber(m_ValueEdit.GetWindowText(), bounds)
                                    : device_dialogs::CheckDecimalNumber(m_ValueEdit.GetWindowText(), bounds);
    if (!check.ok) {
      platform::GetMessageSink().Show(check.messageId, check.message, platform::MB_OK);
      m_ValueEdit.SetWindowText("");
      m_ValueEdit.SetFocus();
      return;
    }
    value = check.value;
  }

  int result = 0;
  {
    CWaitCursor wait;
    result = m_Utility.mSetPJLEnvironmentVariable(m_szDefaultName, m_iPort, value, m_iVariableIndex);
  }
  device_dialogs::ReportResult(result);
  if (result != 0) return;

  // The printer takes a while to settle after a new default: wait until it is idle again.
  for (int check = 1; check <= kReadyChecks; ++check) {
    g_bResultShown = 1;  // keeps the status dialog's timer idle meanwhile
    if (IsPrinterOnLine() == 1) {
      g_bResultShown = 0;
      EndDialog(IDOK);
      return;
    }
    g_bResultShown = 1;
    if (!WaitForPrinter(check)) {
      g_bResultShown = 0;
      EndDialog(IDOK);  // the value is set; the opener reads the variables back
      return;
    }
  }
  g_bResultShown = 0;
  platform::MessageBoxById(device_dialogs::IDS_PRINTER_NOT_ON_LINE, platform::MB_OK);
}

bool CPJLVariableSetDlg::WaitForPrinter(int check) {
  m_bWaiting = true;
  m_bStopWaiting = false;
  for (int id : {static_cast<int>(IDOK), IDC_VALUE_EDIT, IDC_VALUE_COMBO})
    if (CWnd* w = GetDlgItem(id)) w->EnableWindow(false);
  SetDlgItemText(IDC_VALUE_LABEL, "Waiting for the printer (" + std::to_string(check) + " of " +
                                      std::to_string(kReadyChecks) + ") ...");
  for (int waited = 0; waited < kCheckIntervalMs && !m_bStopWaiting; waited += kWaitStepMs) {
    platform::GetClock().SleepMs(kWaitStepMs);
    QCoreApplication::processEvents();
  }
  SetDlgItemText(IDC_VALUE_LABEL, kValueLabel);
  for (int id : {static_cast<int>(IDOK), IDC_VALUE_EDIT, IDC_VALUE_COMBO})
    if (CWnd* w = GetDlgItem(id)) w->EnableWindow(true);
  m_bWaiting = false;
  return !m_bStopWaiting;
}

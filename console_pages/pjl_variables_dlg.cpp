#include "console_pages/pjl_variables_dlg.h"

#include <QRect>
#include <QWidget>

#include "console_pages/device_dialog_text.h"
#include "console_pages/pjl_variable_set_dlg.h"
#include "device_client/pjl/pjl_text.h"
#include "device_client/settings/com_method.h"
#include "ui/services.h"

using namespace ui;

namespace {

const DialogTemplate& Layout() {
  static const DialogTemplate t = [] {
    DialogTemplate d;
    d.id = CPJLVariablesDlg::IDD;
    d.caption = "Printer Configuration";
    d.cx = 300;
    d.cy = 220;
    d.controls = {
        {CPJLVariablesDlg::IDC_MODEL, Kind::Static, "", WS_GROUP, 53, 18, 241, 11},
        {IDOK, Kind::DefButton, "Back", WS_TABSTOP, 120, 190, 60, 14},
        {CPJLVariablesDlg::IDC_FRAME, Kind::GroupBox, "", 0, 10, 40, 280, 140},
    };
    return d;
  }();
  return t;
}

}  // namespace

CPJLVariablesDlg::CPJLVariablesDlg(CPJLUtility& utility, CWnd* parent)
    : CDialog(Layout(), parent), m_Utility(utility) {
  OnCommand(IDC_VARIABLE_LIST, SFTN_DBLCLK, &CPJLVariablesDlg::OnDblclkVariableList);
}

std::string CPJLVariablesDlg::RowName(int position) {
  if (position < 0 || position >= pjl::kVariableCount) return std::string();
  const std::string name = pjl::kVariableTable[position].name;
  const std::size_t blank = name.rfind(' ');
  return blank == std::string::npos ? name : name.substr(blank + 1);
}

BOOL CPJLVariablesDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  SetDlgItemText(IDC_MODEL, m_szModel);
  CreateVariableList();
  FillVariableList();
  return 1;
}

void CPJLVariablesDlg::CreateVariableList() {
  // Only the size: the window opens centred over Printer Status, as every dialog over its owner.
  QWidget* self = GetSafeHwnd();
  self->setFixedSize(600, 420);
  GetDlgItem(IDOK)->GetSafeHwnd()->setGeometry(600 / 2 - 60, 350, 120, 30);
  const QRect list(QPoint(40, 80), QPoint(559, 329));  // left 40, top 80, right 560, bottom 330
  m_VariableList.Create(WS_CHILD | WS_VISIBLE | 0x24, list, this, IDC_VARIABLE_LIST);
  m_VariableList.SetOption91(1);
  m_VariableList.SetOption62(0);
  m_VariableList.SetOption73(0);
  m_VariableList.SetOption95(1);
  m_VariableList.SetOption115(1);
  GetDlgItem(IDC_FRAME)->GetSafeHwnd()->setGeometry(list.adjusted(-4, -7, 4, 2));
  const SftColumn columns[3] = {{150, "Environment Variable"}, {130, "Variable Value"}, {-1, "Read Only"}};
  m_VariableList.SetColumns(3, columns);
  m_VariableList.SetOption171(5);
  m_VariableList.SetOption173(1);
  m_VariableList.SetOption143(0);
  m_VariableList.SetOption148("");
}

void CPJLVariablesDlg::FillVariableList() {
  m_VariableList.DeleteAllItems();
  for (int i = 0; i < pjl::kVariableCount; ++i) {
    const PJLVariableData& v = m_PJLConfiguration.Entry(i);
    if (v.szVariableValue.empty()) continue;
    const int row = m_VariableList.AddItem(RowName(i));
    m_VariableList.SetCellText(row, 2, v.bReadOnly == 1 ? "Yes" : "No");
    m_VariableList.SetCellText(row, 1, v.szVariableValue);
  }
  m_VariableList.SetCurSel(0);
}

void CPJLVariablesDlg::OnDblclkVariableList() {
  // An empty list, or no current row, has nothing to set.
  if (m_VariableList.GetCount() < 1) return;
  const int row = m_VariableList.GetCurSel();
  if (row < 0) return;
  CPJLVariableSetDlg set(m_Utility, this);
  set.m_szDeviceName = m_szDeviceName;
  set.m_szDefaultName = m_szDefaultName;
  set.m_iPort = m_iPort;
  set.m_szPortName = m_szPortName;
  std::string readOnly;
  m_VariableList.GetCellText(row, 2, readOnly);
  m_VariableList.GetCellText(row, 1, set.m_szValue);
  set.m_pConfiguration = &m_PJLConfiguration;
  if (readOnly == "Yes") return;
  m_VariableList.GetCellText(row, 0, set.m_szVariableName);
  if (set.DoModal() == IDOK) RefreshVariableList();
}

void CPJLVariablesDlg::RefreshVariableList() {
  int result = 0;
  {
    CWaitCursor wait;
    result = m_Utility.mGetPJLConfiguration(m_szDefaultName, m_iPort, &m_PJLConfiguration);
  }
  device_dialogs::ReportResult(result);
  if (result == 0) FillVariableList();
  else m_VariableList.DeleteAllItems();
}

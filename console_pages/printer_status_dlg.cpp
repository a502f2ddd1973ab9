#include "console_pages/printer_status_dlg.h"

#include <QLabel>
#include <QWidget>
#include <cstdio>
#include <optional>

#include "console_pages/device_dialog_text.h"
#include "console_pages/pjl_variables_dlg.h"
#include "console_pages/port_ready.h"
#include "device_client/settings/com_method.h"
#include "platform/clock.h"
#include "platform/message_sink.h"
#include "ui/services.h"

using namespace ui;

namespace {

const DialogTemplate& Layout() {
  static const DialogTemplate t = [] {
    DialogTemplate d;
    d.id = CPrinterStatusDlg::IDD;
    d.caption = "Printer Status";
    d.cx = 273;
    d.cy = 159;
    d.controls = {
        {-1, Kind::Static, "Selected Device:", 0, 10, 8, 62, 10},
        {CPrinterStatusDlg::IDC_SELECTED_DEVICE, Kind::Static, "", 0, 74, 8, 190, 10},
        {CPrinterStatusDlg::IDC_PORT_GROUP, Kind::GroupBox, "", 0, 7, 22, 259, 110},
        {CPrinterStatusDlg::IDC_MODEL, Kind::Static, "print model", 0, 62, 36, 196, 10},
        {CPrinterStatusDlg::IDC_RETURN_CODE, Kind::Static, "4444", 0, 230, 24, 30, 10},
        {1149, Kind::Static, "Status :", 0, 62, 54, 78, 10},
        {CPrinterStatusDlg::IDC_STATUS, Kind::Edit, "", ES_READONLY, 142, 52, 116, 13},
        {1148, Kind::Static, "Printing Information :", 0, 62, 72, 78, 10},
        {CPrinterStatusDlg::IDC_PRINTING_INFORMATION, Kind::Edit, "", ES_READONLY, 142, 70, 116, 13},
        {CPrinterStatusDlg::IDC_BYTES_SERVICED_LABEL, Kind::Static, "Bytes Serviced :", 0, 62, 90, 78, 10},
        {CPrinterStatusDlg::IDC_BYTES_SERVICED, Kind::Edit, "", ES_READONLY, 142, 88, 116, 13},
        {CPrinterStatusDlg::IDC_OCCUPIED_BY_LABEL, Kind::Static, "Occupied By :", 0, 62, 108, 78, 10},
        {CPrinterStatusDlg::IDC_OCCUPIED_BY, Kind::Edit, "", ES_READONLY, 142, 106, 116, 13},
        {CPrinterStatusDlg::IDC_CONFIGURE, Kind::Button, "Configure", WS_TABSTOP, 10, 138, 56, 14},
        {CPrinterStatusDlg::IDC_TEST_PAGE, Kind::Button, "Test page", WS_TABSTOP, 76, 138, 56, 14},
        {CPrinterStatusDlg::IDC_REFRESH, Kind::Button, "Refresh", WS_TABSTOP, 142, 138, 56, 14},
        {IDOK, Kind::DefButton, "Cancel", WS_TABSTOP, 208, 138, 56, 14},
    };
    return d;
  }();
  return t;
}

// The moving buttons: Cancel, Refresh, Configure, Test page.
constexpr int kButtons[4] = {IDOK, CPrinterStatusDlg::IDC_REFRESH, CPrinterStatusDlg::IDC_CONFIGURE,
                             CPrinterStatusDlg::IDC_TEST_PAGE};

}  // namespace

CPrinterStatusDlg::CPrinterStatusDlg(CPJLUtility& utility, CWnd* parent)
    : CDialog(Layout(), parent), m_Utility(utility) {
  OnCommand(IDC_REFRESH, BN_CLICKED, &CPrinterStatusDlg::OnRefresh);
  OnCommand(IDC_CONFIGURE, BN_CLICKED, &CPrinterStatusDlg::OnConfigure);
  OnCommand(IDC_TEST_PAGE, BN_CLICKED, &CPrinterStatusDlg::OnTestPage);
}

CPrinterStatusDlg::~CPrinterStatusDlg() = default;

void CPrinterStatusDlg::DoDataExchange(bool save) {
  CDialog::DoDataExchange(save);
  DDX_Control(IDC_REFRESH, m_btnRefresh);
  DDX_Control(IDC_CONFIGURE, m_btnConfigure);
}

BOOL CPrinterStatusDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  device_dialogs::RegisterDeviceDialogStrings();
  g_bResultShown = 0;
  m_iCounter = m_bWaitCursor = m_bPrinting = m_bOnLine = m_bBusy = 0;
  SetTimer(kTimerId, kTimerMs);
  SetDlgItemText(IDC_PORT_GROUP, "Port : " + m_szPortName);
  SetDlgItemText(IDC_SELECTED_DEVICE, m_szDeviceName);

  QWidget* self = GetSafeHwnd();
  m_iInitialHeight = self->height();
  m_rcGroup = GetDlgItem(IDC_PORT_GROUP)->GetSafeHwnd()->geometry();
  for (int i = 0; i < 4; ++i) m_rcButtons[i] = GetDlgItem(kButtons[i])->GetSafeHwnd()->geometry();
  m_pPicture = new QLabel(self);
  m_pPicture->setFixedSize(40, 40);
  ShowPicture(kStillPicture, 35, 70);

  ParseStatus();
  GetDlgItem(IDC_RETURN_CODE)->ShowWindow(SW_HIDE);
  return 1;
}

std::string CPrinterStatusDlg::StatusText() {
  std::string text;
  int result = 0;
  {
    std::optional<CWaitCursor> wait;
    if (m_bWaitCursor == 1) wait.emplace();
    m_bBusy = 1;
    result = m_Utility.mGetPrinterStatus(m_szDefaultName, text);
  }
  if (result != 0) text.clear();
  device_dialogs::ReportResult(result);
  m_bBusy = 0;
  return text;
}

void CPrinterStatusDlg::ParseStatus() {
  char code[16];
  std::snprintf(code, sizeof code, "%d", m_PJLStatusData.iReturnCode);
  SetDlgItemText(IDC_RETURN_CODE, code);
  SetDlgItemText(IDC_MODEL, m_PJLStatusData.szModel);

  const device_dialogs::PortStatusBlock block =
      device_dialogs::ParsePortStatus(StatusText(), device_dialogs::PortToken(m_iPort, m_szPortName));
  SetDlgItemText(IDC_STATUS, block.printerStatus);
  SetDlgItemText(IDC_PRINTING_INFORMATION, block.state);
  SetDlgItemText(IDC_BYTES_SERVICED, block.bytesServiced);
  SetDlgItemText(IDC_OCCUPIED_BY, block.occupiedBy);

  m_bOnLine = block.printerStatus.find("On-Line") != std::string::npos ? 1 : 0;
  const bool ready = !GetDlgItemText(IDC_MODEL).empty() && device_dialogs::IsOnLineAndIdle(block);
  m_btnConfigure.EnableWindow(ready);

  int shrink = kShrinkPixels;
  m_bPrinting = block.state.find("Printing") != std::string::npos ? 1 : 0;
  if (m_bPrinting) shrink = 0;
  for (int id : {IDC_BYTES_SERVICED_LABEL, IDC_OCCUPIED_BY_LABEL, IDC_BYTES_SERVICED, IDC_OCCUPIED_BY})
    GetDlgItem(id)->ShowWindow(m_bPrinting ? SW_SHOW : SW_HIDE);
  Resize(shrink);
}

void CPrinterStatusDlg::Resize(int shrink) {
  QWidget* self = GetSafeHwnd();
  if (!self) return;
  self->setFixedSize(self->width(), m_iInitialHeight - shrink);
  QRect group = m_rcGroup;
  group.setHeight(m_rcGroup.height() - shrink);
  GetDlgItem(IDC_PORT_GROUP)->GetSafeHwnd()->setGeometry(group);
  for (int i = 0; i < 4; ++i)
    GetDlgItem(kButtons[i])->GetSafeHwnd()->setGeometry(m_rcButtons[i].translated(0, -shrink));
}

void CPrinterStatusDlg::QueryStatus() {
  {
    std::optional<CWaitCursor> wait;
    if (m_bWaitCursor == 1) wait.emplace();
    m_bBusy = 1;
    m_Utility.mGetPJLStatus(m_szDefaultName, m_iPort, &m_PJLStatusData);  // not reported
  }
  m_bBusy = 0;
  ParseStatus();
}

void CPrinterStatusDlg::OnRefresh() {
  m_bWaitCursor = 1;
  QueryStatus();
  m_bWaitCursor = 0;
}

void CPrinterStatusDlg::OnTimer(UINT id) {
  (void)id;
  ++m_iCounter;
  if (g_bResultShown == 1) return;  // a result box is open
  if (m_bPrinting == 1 && m_bOnLine == 1 && m_bBusy == 0) ShowPicture(kFrames[m_iCounter % 6], 30, 60);
  else ShowPicture(kStillPicture, 35, 70);
  if (m_bBusy == 0) QueryStatus();
}

void CPrinterStatusDlg::OnCancel() {
  KillTimer(kTimerId);
  CDialog::OnCancel();
}

void CPrinterStatusDlg::ShowPicture(int resourceId, int x, int y) {
  m_iShownPicture = resourceId;
  if (!m_pPicture) return;
  m_pPicture->setPixmap(LoadPicture(resourceId).pixmap(40, 40));
  m_pPicture->move(x, y);
  m_pPicture->show();
}

QPoint CPrinterStatusDlg::PicturePosition() const { return m_pPicture ? m_pPicture->pos() : QPoint(); }

int CPrinterStatusDlg::IsPrinterReady() {
  return IsPortPrinterReady(m_Utility, m_szDefaultName, m_iPort, m_szPortName);
}

void CPrinterStatusDlg::OnConfigure() {
  if (IsPrinterReady() != 1) {
    platform::MessageBoxById(device_dialogs::IDS_PRINTER_NOT_ON_LINE, platform::MB_OK);
    return;
  }
  ParseStatus();
  CPJLVariablesDlg variables(m_Utility, this);
  const int printing = m_bPrinting;
  m_bPrinting = 0;
  m_bBusy = 1;
  variables.m_szDeviceName = m_szDeviceName;
  variables.m_szDefaultName = m_szDefaultName;
  variables.m_szModel = GetDlgItemText(IDC_MODEL);
  variables.m_iPort = m_iPort;
  variables.m_szPortName = m_szPortName;
  int result = 0;
  {
    CWaitCursor wait;
    for (int attempt = 1; attempt <= 3; ++attempt) {
      result = m_Utility.mGetPJLConfiguration(variables.m_szDefaultName, variables.m_iPort,
                                              &variables.m_PJLConfiguration);
      if (result == 0) break;
      if (attempt < 3) platform::GetClock().SleepMs(1000);
    }
  }
  device_dialogs::ReportResult(result);
  if (result == 0) variables.DoModal();
  m_bPrinting = printing;
  m_bBusy = 0;
}

void CPrinterStatusDlg::OnTestPage() {
  int result = 0;
  {
    CWaitCursor wait;
    result = m_Utility.mPrintTestPage(m_szDefaultName, m_iPort);
  }
  device_dialogs::ReportResult(result);
}

void RunPrinterStatusDialog(CPJLUtility& utility, const std::string& deviceName,
                            const std::string& defaultName, int port, const std::string& portName) {
  CPrinterStatusDlg dlg(utility);
  dlg.m_szDeviceName = deviceName;
  dlg.m_szDefaultName = defaultName;
  dlg.m_iPort = port;
  dlg.m_szPortName = portName;
  {
    CWaitCursor wait;
    utility.mGetPJLStatus(defaultName, port, &dlg.m_PJLStatusData);
  }
  dlg.DoModal();
}

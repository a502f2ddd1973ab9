#include "console_pages/netware_rprinter_page.h"

#include <utility>
#include <vector>

#include "console_pages/netware_frame_types.h"
#include "console_pages/page_records.h"
#include "device_client/core/config/model_capabilities.h"
#include "platform/message_sink.h"
#include "ui/services.h"

using ui::Kind;

CNetwareRPrinterPage g_NetwareRPrinterPage;

namespace {

constexpr int kLabels[3] = {CNetwareRPrinterPage::IDC_P1_LABEL, CNetwareRPrinterPage::IDC_P2_LABEL,
                            CNetwareRPrinterPage::IDC_P3_LABEL};
constexpr int kServers[3] = {CNetwareRPrinterPage::IDC_P1_SERVER, CNetwareRPrinterPage::IDC_P2_SERVER,
                             CNetwareRPrinterPage::IDC_P3_SERVER};

ui::DialogTemplate RPrinterTemplate() {
  using P = CNetwareRPrinterPage;
  std::vector<ui::ControlTemplate> c;
  c.push_back({P::IDC_PRINT_SERVER_MODE, Kind::Radio, "Print Server Mode", ui::WS_GROUP, 10, 24, 90, 10});
  c.push_back({P::IDC_REMOTE_PRINTER_MODE, Kind::Radio, "Remote Printer Mode", 0, 150, 24, 100, 10});
  const char* labels[3] = {"Novell Printer Server for P1:", "Novell Printer Server for P2:",
                           "Novell Printer Server for P3:"};
  for (int i = 0; i < 3; ++i) {
    const int y = 46 + i * 20;
    c.push_back({kLabels[i], Kind::Static, labels[i], 0, 10, y + 2, 130, 10});
    c.push_back({kServers[i], Kind::Edit, "", ui::ES_UPPERCASE | ui::WS_TABSTOP, 150, y, 110, 13});
  }
  netware_frames::AddBoxes(c, 10, 110);
  c.push_back({-1, Kind::Static, "Device Name:", 0, 150, 112, 60, 10, false});
  c.push_back({P::IDC_DEVICE_NAME, Kind::Edit, "", ui::ES_UPPERCASE, 150, 124, 110, 13, false});
  return CSettingsPage::PageTemplate(P::IDD, std::move(c));
}

}  // namespace

void RegisterNetwareRPrinterPageStrings() {
  using P = CNetwareRPrinterPage;
  platform::RegisterString(netware_frames::IDS_NEED_ONE_FRAME_TYPE, "Must one frame type be enable");
  platform::RegisterString(P::IDS_ILLEGAL_P1, "Illegal input for \"Novell Printer Server for P1\"");
  platform::RegisterString(P::IDS_ILLEGAL_P2, "Illegal input for \"Novell Printer Server for P2\"");
  platform::RegisterString(P::IDS_ILLEGAL_P3, "Illegal input for \"Novell Printer Server for P3\"");
}

CNetwareRPrinterPage::CNetwareRPrinterPage() : CSettingsPage(RPrinterTemplate()) {
  OnCommand(IDC_PRINT_SERVER_MODE, ui::BN_CLICKED, &CNetwareRPrinterPage::OnPrintServerMode);
  OnCommand(IDC_REMOTE_PRINTER_MODE, ui::BN_CLICKED, &CNetwareRPrinterPage::OnRemotePrinterMode);
}

void CNetwareRPrinterPage::DoDataExchange(bool save) {
  (void)save;
  for (int i = 0; i < 3; ++i) DDX_Control(kServers[i], m_editServer[i]);
  DDX_Control(IDC_DEVICE_NAME, m_editDeviceName);
}

int CNetwareRPrinterPage::OfferedPorts() const {
  return config::ModelCapabilitiesOf(m_iModelType).iRemotePrinters;
}

void CNetwareRPrinterPage::EnableRemotePrinterControls(bool enable) {
  const int offered = OfferedPorts();
  for (int i = 0; i < 3; ++i) m_editServer[i].EnableWindow(enable && i < offered);
  netware_frames::Enable(*this, enable);
}

BOOL CNetwareRPrinterPage::OnInitDialog() {
  RegisterNetwareRPrinterPageStrings();  // the texts of the page's and its store's messages
  CSettingsPage::OnInitDialog();
  const config::NetwareConfigurationData& record = gdsNetwareConfigurationData;
  m_iMode = record.szOperationMode == "PS" ? 0 : 1;
  CheckDlgButton(IDC_PRINT_SERVER_MODE, m_iMode == 0 ? ui::BST_CHECKED : ui::BST_UNCHECKED);
  CheckDlgButton(IDC_REMOTE_PRINTER_MODE, m_iMode == 1 ? ui::BST_CHECKED : ui::BST_UNCHECKED);
  m_szRecordDeviceName = record.szDeviceName;
  m_iTabState = m_iMode == 0 ? 3 : 0;

  int result = 0;
  {
    ui::CWaitCursor wait;
    result = TheUtility().mGetDevicePortType(m_szDefaultName, &m_iModelType);
  }
  if (result != 0) return FailStart(result);

  netware_frames::Show(*this, m_iModelType, record);
  m_editDeviceName.LimitText(kNameLimit);
  m_editDeviceName.SetWindowText(record.szDeviceName);

  // One name per parallel port of the model; the ports it lacks read "N/A".
  const std::string* names[3] = {&record.szP1RemotePrinter, &record.szP2RemotePrinter, &record.szP3RemotePrinter};
  const int offered = OfferedPorts();
  for (int i = 0; i < 3; ++i) {
    const bool on = i < offered;
    m_editServer[i].LimitText(kNameLimit);
    m_editServer[i].SetWindowText(on ? *names[i] : std::string(kNotAvailable));
    if (ui::CWnd* label = GetDlgItem(kLabels[i])) label->EnableWindow(on);
  }
  EnableRemotePrinterControls(m_iMode == 1);
  return TRUE;
}

void CNetwareRPrinterPage::OnRemotePrinterMode() {
  gdsNetwareConfigurationData.szOperationMode = "RP";
  m_iMode = 1;
  EnableRemotePrinterControls(true);
  m_iTabState = 0;
}

void CNetwareRPrinterPage::OnPrintServerMode() {
  gdsNetwareConfigurationData.szOperationMode = "PS";
  m_iMode = 0;
  EnableRemotePrinterControls(false);
  m_iTabState = 3;
}

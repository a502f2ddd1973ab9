#include "console_pages/logical_port_page.h"

#include "console_pages/page_inputs.h"
#include "console_pages/page_records.h"
#include "device_client/core/config/model_capabilities.h"
#include "device_client/settings/com_method.h"
#include "platform/message_sink.h"

using ui::Kind;

CLogicalPortPage g_LogicalPortPage;
config::LogicalPrinterConfigurationData gdsCurrentLogicalPrinter;

namespace {

ui::DialogTemplate LogicalPortTemplate() {
  using P = CLogicalPortPage;
  const UINT upper = ui::ES_UPPERCASE | ui::WS_TABSTOP;
  return CSettingsPage::PageTemplate(
      P::IDD, {{-1, Kind::GroupBox, "Current Selected Logical Port", 0, 10, 24, 270, 34},
               {P::IDC_LOGICAL_PORT, Kind::DropList, "", ui::WS_TABSTOP, 22, 38, 120, 14},
               {-1, Kind::Static, "Physical Port:", 0, 10, 72, 80, 10},
               {P::IDC_PHYSICAL_PORT, Kind::DropList, "", ui::WS_TABSTOP, 96, 70, 120, 14},
               {-1, Kind::Static, "String Before Job:", 0, 10, 92, 80, 10},
               {P::IDC_STRING_BEFORE, Kind::Edit, "", upper, 96, 90, 180, 13},
               {-1, Kind::Static, "String After Job:", 0, 10, 112, 80, 10},
               {P::IDC_STRING_AFTER, Kind::Edit, "", upper, 96, 110, 180, 13},
               {-1, Kind::Static, "Convert LF to LF+CR:", 0, 10, 134, 80, 10},
               {P::IDC_CONVERT_NO, Kind::Radio, "No", ui::WS_GROUP | ui::WS_TABSTOP, 96, 134, 40, 10},
               {P::IDC_CONVERT_YES, Kind::Radio, "Yes", ui::WS_TABSTOP, 140, 134, 40, 10}});
}

}  // namespace

void RegisterLogicalPortPageStrings() {
  for (int n = 0; n < config::kLogicalPrinterCount; ++n) {
    platform::RegisterString(CLogicalPortPage::IDS_LOGICAL_PORT_1 + n, ("Logical Port " + std::to_string(n + 1)).c_str());
  }
  platform::RegisterString(CLogicalPortPage::IDS_HEX_BEFORE_JOB, "Need to input Hex value for \"String Before Job\"");
  platform::RegisterString(CLogicalPortPage::IDS_HEX_AFTER_JOB, "Need to input Hex value for \"String After Job\"");
}

CLogicalPortPage::CLogicalPortPage() : CSettingsPage(LogicalPortTemplate()) {
  OnCommand(IDC_LOGICAL_PORT, ui::CBN_SELCHANGE, &CLogicalPortPage::OnSelchangeLogicalPort);
}

void CLogicalPortPage::DoDataExchange(bool save) {
  (void)save;
  DDX_Control(IDC_CONVERT_NO, m_rdoConvertNo);
  DDX_Control(IDC_STRING_BEFORE, m_editStringBefore);
  DDX_Control(IDC_STRING_AFTER, m_editStringAfter);
  DDX_Control(IDC_LOGICAL_PORT, m_cboLogicalPort);
  DDX_Control(IDC_PHYSICAL_PORT, m_cboPhysicalPort);
}

BOOL CLogicalPortPage::OnInitDialog() {
  CSettingsPage::OnInitDialog();
  const int result = QueryModelType(m_szDefaultName, m_iModelType);
  if (result != 0) return FailStart(result);
  // A model no table knows gets the one-port row, so the page can be read and left.
  const config::ModelCapabilities& caps = config::ModelCapabilitiesOf(m_iModelType);
  m_cboPhysicalPort.ResetContent();
  for (int entry = 0; entry < caps.iPhysicalPortCount; ++entry) {
    m_cboPhysicalPort.AddString(gdsPhysicalPortConfigurationData[caps.aPhysicalPorts[entry]].szPortName);
  }
  m_iLogicalPortCount = caps.iLogicalPorts;
  m_cboLogicalPort.ResetContent();
  for (int n = 0; n < m_iLogicalPortCount; ++n) m_cboLogicalPort.AddString(platform::LoadString(IDS_LOGICAL_PORT_1 + n));
  m_editStringBefore.LimitText(kStringLimit);
  m_editStringAfter.LimitText(kStringLimit);
  m_cboPhysicalPort.EnableWindow(caps.iPhysicalPortCount > 1);
  ShowPort(1);
  return TRUE;
}

void CLogicalPortPage::ShowPort(int n) {
  m_iCurrentPort = n;
  m_cboLogicalPort.SetCurSel(n - 1);
  gdsCurrentLogicalPrinter = gdsLogicalPrinterConfigurationData[n - 1];
  SelectPhysicalPort();
  m_editStringBefore.SetWindowText(gdsCurrentLogicalPrinter.szStringBeforeJob);
  m_editStringAfter.SetWindowText(gdsCurrentLogicalPrinter.szStringAfterJob);
  const bool convert = gdsCurrentLogicalPrinter.bConvertLFToLFCR != 0;
  CheckDlgButton(IDC_CONVERT_YES, convert ? ui::BST_CHECKED : ui::BST_UNCHECKED);
  CheckDlgButton(IDC_CONVERT_NO, convert ? ui::BST_UNCHECKED : ui::BST_CHECKED);
}

void CLogicalPortPage::SelectPhysicalPort() {
  const config::ModelCapabilities& caps = config::ModelCapabilitiesOf(m_iModelType);
  int selected = -1;
  for (int entry = 0; entry < caps.iPhysicalPortCount && selected < 0; ++entry) {
    if (gdsPhysicalPortConfigurationData[caps.aPhysicalPorts[entry]].szPortName ==
        gdsCurrentLogicalPrinter.szPhysicalPort) {
      selected = entry;
    }
  }
  m_cboPhysicalPort.SetCurSel(selected);
}

void CLogicalPortPage::OnSelchangeLogicalPort() {
  const int chosen = m_cboLogicalPort.GetCurSel() + 1;
  if (chosen < 1 || chosen > m_iLogicalPortCount || chosen == m_iCurrentPort) return;
  // The port being left is stored first; a refused input keeps it on show.
  if (StoreShownPort() == 0) {
    m_cboLogicalPort.SetCurSel(m_iCurrentPort - 1);
    return;
  }
  ShowPort(chosen);
}

int CLogicalPortPage::StoreShownPort() {
  if (m_iCurrentPort < 1 || m_iCurrentPort > m_iLogicalPortCount) return 1;
  std::string before = m_editStringBefore.GetWindowText();
  CComMethod::RemoveSpaces(before);
  m_editStringBefore.SetWindowText(before);
  std::string after = m_editStringAfter.GetWindowText();
  CComMethod::RemoveSpaces(after);
  m_editStringAfter.SetWindowText(after);
  if (CComMethod::IsHexText(before) == 0) return RefuseInput(IDS_HEX_BEFORE_JOB, m_editStringBefore);
  if (CComMethod::IsHexText(after) == 0) return RefuseInput(IDS_HEX_AFTER_JOB, m_editStringAfter);

  config::LogicalPrinterConfigurationData& shown = gdsCurrentLogicalPrinter;
  // No physical entry selected leaves the port's physical port as it is.
  const int record = config::ModelPhysicalPortAt(m_iModelType, m_cboPhysicalPort.GetCurSel());
  if (record >= 0) shown.szPhysicalPort = gdsPhysicalPortConfigurationData[record].szPortName;
  shown.szStringBeforeJob = before;
  shown.szStringAfterJob = after;
  shown.bConvertLFToLFCR = m_rdoConvertNo.GetCheck() == ui::BST_CHECKED ? 0 : 1;
  config::LogicalPrinterConfigurationData& port = gdsLogicalPrinterConfigurationData[m_iCurrentPort - 1];
  port.szPhysicalPort = shown.szPhysicalPort;
  port.szStringBeforeJob = shown.szStringBeforeJob;
  port.szStringAfterJob = shown.szStringAfterJob;
  port.bConvertLFToLFCR = shown.bConvertLFToLFCR;
  return 1;
}

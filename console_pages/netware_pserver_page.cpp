#include "console_pages/netware_pserver_page.h"

#include <algorithm>
#include <cstdio>
#include <list>
#include <utility>
#include <vector>

#include "console_pages/netware_frame_types.h"
#include "console_pages/page_records.h"
#include "console_pages/small_dialogs.h"
#include "device_client/settings/com_method.h"
#include "platform/message_sink.h"
#include "ui/services.h"

using ui::Kind;

CNetwarePServerPage g_NetwarePServerPage;

namespace {

ui::DialogTemplate PServerTemplate() {
  using P = CNetwarePServerPage;
  std::vector<ui::ControlTemplate> c;
  c.push_back({P::IDC_PRINT_SERVER_MODE, Kind::Radio, "Print Server Mode", ui::WS_GROUP | ui::WS_TABSTOP, 10, 24,
               90, 10});
  c.push_back({P::IDC_REMOTE_PRINTER_MODE, Kind::Radio, "Remote Printer Mode", ui::WS_TABSTOP, 150, 24, 100, 10});
  c.push_back({-1, Kind::Static, "NDS Tree Name:", 0, 10, 44, 140, 10});
  c.push_back({P::IDC_NDS_TREE, Kind::DropDown, "", ui::WS_TABSTOP, 150, 42, 130, 14});
  c.push_back({-1, Kind::Static, "Print Server NDS Context:", 0, 10, 62, 140, 10});
  c.push_back({P::IDC_NDS_CONTEXT, Kind::Edit, "", ui::ES_UPPERCASE | ui::WS_TABSTOP, 150, 60, 130, 13});
  c.push_back({-1, Kind::Static, "Master file server (Bindery Mode Only):", 0, 10, 80, 140, 10});
  c.push_back({P::IDC_MASTER_FILE_SERVER, Kind::DropDown, "", ui::WS_TABSTOP, 150, 78, 130, 14});
  c.push_back({-1, Kind::Static, "Polling Interval (1-255):", 0, 10, 98, 140, 10});
  c.push_back({P::IDC_POLLING_INTERVAL, Kind::Edit, "", ui::WS_TABSTOP, 150, 96, 30, 13});
  c.push_back({-1, Kind::GroupBox, "Job Notification by Connection ID", 0, 10, 116, 130, 30});
  c.push_back({P::IDC_JOB_NOTIFY_NO, Kind::Radio, "No", ui::WS_GROUP | ui::WS_TABSTOP, 20, 130, 40, 10});
  c.push_back({P::IDC_JOB_NOTIFY_YES, Kind::Radio, "Yes", ui::WS_TABSTOP, 80, 130, 40, 10});
  netware_frames::AddBoxes(c, 150, 116);
  c.push_back({P::IDC_CHANGE_PASSWORD, Kind::Button, "Change Password", ui::WS_TABSTOP, 10, 172, 80, 16});
  return CSettingsPage::PageTemplate(P::IDD, std::move(c));
}

constexpr int kPrintServerControls[] = {
    CNetwarePServerPage::IDC_NDS_CONTEXT,     CNetwarePServerPage::IDC_POLLING_INTERVAL,
    CNetwarePServerPage::IDC_NDS_TREE,        CNetwarePServerPage::IDC_MASTER_FILE_SERVER,
    CNetwarePServerPage::IDC_JOB_NOTIFY_NO,   CNetwarePServerPage::IDC_JOB_NOTIFY_YES,
    CNetwarePServerPage::IDC_CHANGE_PASSWORD,
};

}  // namespace

void RegisterNetwarePServerPageStrings() {
  using P = CNetwarePServerPage;
  platform::RegisterString(netware_frames::IDS_NEED_ONE_FRAME_TYPE, "Must one frame type be enable");
  platform::RegisterString(P::IDS_ILLEGAL_MASTER, "Illegal input for \"Master file server\"");
  platform::RegisterString(P::IDS_ILLEGAL_TREE, "Illegal input for \"NDS Tree Name\"");
  platform::RegisterString(P::IDS_ILLEGAL_CONTEXT, "Illegal input for \"Print Server NDS Context\"");
  platform::RegisterString(P::IDS_ILLEGAL_INTERVAL, "Illegal value for \"Polling Queue Interval\"");
  platform::RegisterString(P::IDS_INTERVAL_RANGE, "Polling Queue Interval must between 1 - 255");
  platform::RegisterString(P::IDS_TREE_TOO_LONG, "NDS Tree Name Length can not exceed 19");
  platform::RegisterString(P::IDS_MASTER_TOO_LONG, "Master file server name can not exceed 19");
}

CNetwarePServerPage::CNetwarePServerPage() : CSettingsPage(PServerTemplate()) {
  OnCommand(IDC_MASTER_FILE_SERVER, ui::CBN_DROPDOWN, &CNetwarePServerPage::OnDropdownMasterFileServer);
  OnCommand(IDC_NDS_TREE, ui::CBN_DROPDOWN, &CNetwarePServerPage::OnDropdownNdsTree);
  OnCommand(IDC_PRINT_SERVER_MODE, ui::BN_CLICKED, &CNetwarePServerPage::OnPrintServerMode);
  OnCommand(IDC_REMOTE_PRINTER_MODE, ui::BN_CLICKED, &CNetwarePServerPage::OnRemotePrinterMode);
  OnCommand(IDC_CHANGE_PASSWORD, ui::BN_CLICKED, &CNetwarePServerPage::OnChangePassword);
}

void CNetwarePServerPage::DoDataExchange(bool save) {
  (void)save;
  DDX_Control(IDC_MASTER_FILE_SERVER, m_cmbMasterFileServer);
  DDX_Control(IDC_NDS_TREE, m_cmbNdsTree);
  DDX_Control(IDC_NDS_CONTEXT, m_editNdsContext);
  DDX_Control(IDC_POLLING_INTERVAL, m_editPollingInterval);
  DDX_Control(IDC_JOB_NOTIFY_NO, m_rdoJobNotifyNo);
}

void CNetwarePServerPage::EnablePrintServerControls(bool enable) {
  for (int id : kPrintServerControls) {
    if (ui::CWnd* c = GetDlgItem(id)) c->EnableWindow(enable);
  }
  netware_frames::Enable(*this, enable);
}

BOOL CNetwarePServerPage::OnInitDialog() {
  RegisterNetwarePServerPageStrings();  // the texts of the page's and its store's messages
  CSettingsPage::OnInitDialog();
  const config::NetwareConfigurationData& record = gdsNetwareConfigurationData;
  m_iMode = record.szOperationMode == "PS" ? 0 : 1;
  CheckDlgButton(IDC_PRINT_SERVER_MODE, m_iMode == 0 ? ui::BST_CHECKED : ui::BST_UNCHECKED);
  CheckDlgButton(IDC_REMOTE_PRINTER_MODE, m_iMode == 1 ? ui::BST_CHECKED : ui::BST_UNCHECKED);
  EnablePrintServerControls(m_iMode == 0);
  m_iTabState = m_iMode == 1 ? 3 : 0;

  int result = 0;
  {
    ui::CWaitCursor wait;
    result = TheUtility().mGetDevicePortType(m_szDefaultName, &m_iModelType);
  }
  if (result != 0) return FailStart(result);

  netware_frames::Show(*this, m_iModelType, record);
  m_cmbMasterFileServer.LimitText(kNameLimit);
  m_cmbMasterFileServer.SetWindowText(record.szMasterFileServerName);
  m_cmbNdsTree.LimitText(kNameLimit);
  m_cmbNdsTree.SetWindowText(record.szNDSTreeName);
  m_editNdsContext.LimitText(kContextLimit);
  m_editNdsContext.SetWindowText(record.szNDSContextName);
  m_editPollingInterval.LimitText(kIntervalLimit);
  char interval[16];
  std::snprintf(interval, sizeof interval, "%d", static_cast<int>(record.iQueuePollingInterval));
  m_editPollingInterval.SetWindowText(interval);
  CheckDlgButton(IDC_JOB_NOTIFY_YES, record.bJobNotify != 0 ? ui::BST_CHECKED : ui::BST_UNCHECKED);
  CheckDlgButton(IDC_JOB_NOTIFY_NO, record.bJobNotify != 0 ? ui::BST_UNCHECKED : ui::BST_CHECKED);
  return TRUE;
}

void CNetwarePServerPage::OnDropdownMasterFileServer() { Rescan(m_cmbMasterFileServer, false); }

void CNetwarePServerPage::OnDropdownNdsTree() { Rescan(m_cmbNdsTree, true); }

void CNetwarePServerPage::Rescan(ui::CComboBox& combo, bool trees) {
  const std::string typed = combo.GetWindowText();
  int tcpip = 0, ipxspx = 0, netbeui = 0;
  CComMethod::GetConnectedProtocols(tcpip, ipxspx, netbeui);
  std::list<std::string> names;
  int result = -1;
  if (ipxspx != 0) {
    ui::CWaitCursor wait;
    CPJLUtility& utility = TheUtility();
    result = trees ? utility.mScanNDSTree(names) : utility.mScanAllFileServer(names);
    CComMethod::ShowResult(result);
  }
  combo.ResetContent();
  if (result == 0) {
    // The list is shown sorted.
    std::vector<std::string> sorted(names.begin(), names.end());
    std::sort(sorted.begin(), sorted.end());
    for (const std::string& name : sorted) combo.AddString(name);
  }
  combo.SetWindowText(typed);
}

void CNetwarePServerPage::OnPrintServerMode() {
  gdsNetwareConfigurationData.szOperationMode = "PS";
  m_iMode = 0;
  EnablePrintServerControls(true);
  m_iTabState = 0;
}

void CNetwarePServerPage::OnRemotePrinterMode() {
  gdsNetwareConfigurationData.szOperationMode = "RP";
  m_iMode = 1;
  EnablePrintServerControls(false);
  m_iTabState = 3;
}

void CNetwarePServerPage::OnChangePassword() {
  CChangePasswordDlg dialog(TheUtility());
  dialog.m_szDefaultName = m_szDefaultName;
  dialog.m_szDeviceName = m_szSelectedDevice;
  dialog.DoModal();
}

#include "console_pages/netbeui_page.h"

#include <algorithm>
#include <string>

#include "console_pages/page_inputs.h"
#include "console_pages/page_records.h"
#include "device_client/settings/com_method.h"
#include "platform/message_sink.h"

using ui::Kind;

CNetBEUIPage g_NetBEUIPage;

namespace {

ui::DialogTemplate NetBEUITemplate() {
  using P = CNetBEUIPage;
  return CSettingsPage::PageTemplate(
      P::IDD, {{-1, Kind::Static, "WorkGroup:", 0, 10, 30, 100, 10},
               {P::IDC_WORKGROUP, Kind::Edit, "", ui::WS_TABSTOP, 116, 28, 110, 13},
               {-1, Kind::Static, "Response Time (0.1 sec):", 0, 10, 50, 100, 10},
               {P::IDC_RESPONSE_TIME, Kind::Edit, "", ui::WS_TABSTOP, 116, 48, 40, 13},
               {-1, Kind::Static, "Abort Job When Paper Out:", 0, 10, 70, 100, 10},
               {P::IDC_ABORT_NO, Kind::Radio, "No", ui::WS_GROUP | ui::WS_TABSTOP, 116, 70, 40, 10},
               {P::IDC_ABORT_YES, Kind::Radio, "Yes", ui::WS_TABSTOP, 160, 70, 40, 10}});
}

}  // namespace

void RegisterNetBEUIPageStrings() {
  platform::RegisterString(CNetBEUIPage::IDS_NEED_INPUT_DATA, "Need to input data");
  platform::RegisterString(CNetBEUIPage::IDS_ILLEGAL_INPUT_DATA, "Illegal input data");
  platform::RegisterString(CNetBEUIPage::IDS_ILLEGAL_VALUE, "Illegal Value");
  platform::RegisterString(CNetBEUIPage::IDS_VALUE_RANGE, "Value must between 0 - 255");
}

CNetBEUIPage::CNetBEUIPage() : CSettingsPage(NetBEUITemplate()) {}

void CNetBEUIPage::DoDataExchange(bool save) {
  (void)save;
  DDX_Control(IDC_ABORT_NO, m_rdoAbortNo);
  DDX_Control(IDC_RESPONSE_TIME, m_editResponseTime);
  DDX_Control(IDC_WORKGROUP, m_editWorkgroup);
}

BOOL CNetBEUIPage::OnInitDialog() {
  CSettingsPage::OnInitDialog();
  const config::NetBEUIConfigureData& record = gdsNetBEUIConfigureData;
  m_editResponseTime.LimitText(kResponseTimeLimit);
  m_editResponseTime.SetWindowText(std::to_string(record.iResponseTime));
  // A longer workgroup from the box is shown whole; only typing is limited.
  m_editWorkgroup.LimitText(kWorkgroupLimit);
  m_editWorkgroup.SetWindowText(record.szDomainName);
  if (record.bAbortJobAsPaperOut != 0) {
    CheckDlgButton(IDC_ABORT_YES, ui::BST_CHECKED);
    if (ui::CWnd* yes = GetDlgItem(IDC_ABORT_YES)) yes->SetFocus();
    CheckDlgButton(IDC_ABORT_NO, ui::BST_UNCHECKED);
  } else {
    CheckDlgButton(IDC_ABORT_NO, ui::BST_CHECKED);
    CheckDlgButton(IDC_ABORT_YES, ui::BST_UNCHECKED);
  }
  return TRUE;
}

int CNetBEUIPage::Store() {
  const std::string workgroup = m_editWorkgroup.GetWindowText();
  if (CComMethod::IsPrintableText(workgroup) == 0) return RefuseInput(IDS_ILLEGAL_INPUT_DATA, m_editWorkgroup);
  std::string time = m_editResponseTime.GetWindowText();
  CComMethod::RemoveSpaces(time);
  if (time.empty()) return RefuseInput(IDS_NEED_INPUT_DATA, m_editResponseTime);
  if (CComMethod::IsDecimalText(time) == 0) return RefuseInput(IDS_ILLEGAL_VALUE, m_editResponseTime);
  // At most three digits can be typed, but a longer text may have been set by the program.
  const std::string digits = time.substr(std::min(time.find_first_not_of('0'), time.size()));
  if (digits.size() > 3 || std::stoi("0" + digits) > 255) return RefuseInput(IDS_VALUE_RANGE, m_editResponseTime);
  config::NetBEUIConfigureData& record = gdsNetBEUIConfigureData;
  record.szDomainName = workgroup;
  record.iResponseTime = std::stoi("0" + digits);
  record.bAbortJobAsPaperOut = m_rdoAbortNo.GetCheck() == ui::BST_CHECKED ? 0 : 1;
  return 1;
}

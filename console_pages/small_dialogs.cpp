#include "console_pages/small_dialogs.h"

#include "console_pages/page_inputs.h"
#include "device_client/settings/com_method.h"
#include "platform/ascii.h"
#include "platform/message_sink.h"
#include "ui/services.h"

using ui::Kind;

namespace {
constexpr int IDS_PASSWORD_NOT_CORRECT = 32812;
constexpr int IDS_ILLEGAL_VALUE = 32826;
constexpr int IDS_VALUE_RANGE = 32827;
constexpr int IDS_DEVICE_NAME_EXISTS = 32875;
constexpr int IDS_NEED_DEVICE_NAME = 32876;
constexpr int IDS_NEED_DATA = 32878;
constexpr int IDS_NEED_DEFAULT_NAME = 32880;
constexpr int IDS_DEVICE_EXISTS = 32881;

constexpr int kOctetIds[4] = {CAddCrossSegmentPrintServerDlg::IDC_OCTET1, CAddCrossSegmentPrintServerDlg::IDC_OCTET2,
                              CAddCrossSegmentPrintServerDlg::IDC_OCTET3, CAddCrossSegmentPrintServerDlg::IDC_OCTET4};

ui::DialogTemplate AddCrossSegmentTemplate() {
  using D = CAddCrossSegmentPrintServerDlg;
  return {D::IDD, "AddCrossSegmentPrintServer", "MS Sans Serif", 8, 251, 58, 0,
          {{-1, Kind::GroupBox, "", 0, 7, 4, 180, 46},
           {-1, Kind::Static, "IP Address:", 0, 14, 22, 40, 10},
           {D::IDC_OCTET1, Kind::Edit, "", ui::WS_TABSTOP, 58, 20, 26, 13},
           {-1, Kind::Static, ".", 0, 86, 22, 4, 10},
           {D::IDC_OCTET2, Kind::Edit, "", ui::WS_TABSTOP, 91, 20, 26, 13},
           {-1, Kind::Static, ".", 0, 119, 22, 4, 10},
           {D::IDC_OCTET3, Kind::Edit, "", ui::WS_TABSTOP, 124, 20, 26, 13},
           {-1, Kind::Static, ".", 0, 152, 22, 4, 10},
           {D::IDC_OCTET4, Kind::Edit, "", ui::WS_TABSTOP, 157, 20, 26, 13},
           {ui::IDOK, Kind::DefButton, "Set", ui::WS_TABSTOP, 194, 9, 50, 14},
           {ui::IDCANCEL, Kind::Button, "Cancel", ui::WS_TABSTOP, 194, 30, 50, 14}}};
}

ui::DialogTemplate ChangePasswordTemplate() {
  using D = CChangePasswordDlg;
  const UINT edit = ui::ES_PASSWORD | ui::ES_UPPERCASE | ui::WS_TABSTOP;
  return {D::IDD, "Change Password", "MS Sans Serif", 8, 246, 103, 0,
          {{-1, Kind::GroupBox, "", 0, 7, 7, 170, 89},
           {-1, Kind::Static, "Password:", 0, 16, 30, 60, 10},
           {D::IDC_PASSWORD, Kind::Edit, "", edit, 80, 28, 88, 13},
           {-1, Kind::Static, "Retype Password:", 0, 16, 58, 60, 10},
           {D::IDC_RETYPE_PASSWORD, Kind::Edit, "", edit, 80, 56, 88, 13},
           {ui::IDOK, Kind::DefButton, "Save To Device", ui::WS_TABSTOP, 185, 12, 54, 14},
           {ui::IDCANCEL, Kind::Button, "Cancel", ui::WS_TABSTOP, 185, 32, 54, 14}}};
}

ui::DialogTemplate DeviceInformationTemplate() {
  using D = CDeviceInformationDlg;
  return {D::IDD, "Device Information", "MS Sans Serif", 8, 232, 206, 0,
          {{-1, Kind::Static, "Selected Device:", 0, 10, 10, 60, 10},
           {D::IDC_SELECTED_DEVICE, Kind::Static, "", 0, 72, 10, 150, 10},
           {D::IDC_INFORMATION, Kind::Edit, "", ui::ES_MULTILINE | ui::ES_READONLY | ui::WS_TABSTOP, 10, 26, 212, 150},
           {ui::IDOK, Kind::DefButton, "Ok", ui::WS_TABSTOP, 91, 184, 50, 14}}};
}

ui::DialogTemplate AboutTemplate() {
  return {CAboutDlg::IDD, "About Print Server Administration Program", "MS Sans Serif", 8, 217, 62, 0,
          {{-1, Kind::Picture, "128", 0, 11, 17, 20, 20},
           {CAboutDlg::IDC_VERSION, Kind::Static, "", 0, 40, 10, 170, 10},
           {-1, Kind::Static, "Sets up and looks after the print servers of your network.", 0, 40, 24, 170, 20},
           {ui::IDOK, Kind::DefButton, "OK", ui::WS_TABSTOP | ui::WS_GROUP, 160, 42, 50, 14}}};
}
}  // namespace

void RegisterSmallDialogStrings() {
  platform::RegisterString(IDS_PASSWORD_NOT_CORRECT, "Password not correct ");
  platform::RegisterString(IDS_ILLEGAL_VALUE, "Illegal Value");
  platform::RegisterString(IDS_VALUE_RANGE, "Value must between 0 - 255");
  platform::RegisterString(IDS_DEVICE_NAME_EXISTS, "Device Name already exist");
  platform::RegisterString(IDS_NEED_DEVICE_NAME, "Need to input Device Name");
  platform::RegisterString(IDS_NEED_DATA, "Need to input data");
  platform::RegisterString(IDS_NEED_DEFAULT_NAME, "Need to input data");
  platform::RegisterString(IDS_DEVICE_EXISTS,
                           "Device exist.\nPlease use TCP/IP Configuration to\nchange IP address");
}

const char* ConsoleVersionText() { return "Print Server Administration Program Version 1.0"; }

// ---- Add a print server of another segment ------------------------------------------------------

CAddCrossSegmentPrintServerDlg::CAddCrossSegmentPrintServerDlg(CPrintServerUtility& utility, ui::CWnd* parent)
    : CDialog(AddCrossSegmentTemplate(), parent), m_utility(utility) {
  OnCommand(IDC_OCTET1, ui::EN_CHANGE, &CAddCrossSegmentPrintServerDlg::OnChangeOctet1);
  OnCommand(IDC_OCTET2, ui::EN_CHANGE, &CAddCrossSegmentPrintServerDlg::OnChangeOctet2);
  OnCommand(IDC_OCTET3, ui::EN_CHANGE, &CAddCrossSegmentPrintServerDlg::OnChangeOctet3);
}

void CAddCrossSegmentPrintServerDlg::DoDataExchange(bool save) {
  (void)save;
  for (int i = 0; i < 4; ++i) DDX_Control(kOctetIds[i], m_editOctet[i]);
}

BOOL CAddCrossSegmentPrintServerDlg::OnInitDialog() {
  for (ui::CEdit& e : m_editOctet) {
    e.LimitText(3);
    e.SetWindowText("0");
  }
  return 1;
}

void CAddCrossSegmentPrintServerDlg::OnChangeOctet(int index) {
  // A full octet moves the caret on to the next one.
  if (index < 0 || index >= 3 || m_editOctet[index].GetWindowText().size() != 3) return;
  m_editOctet[index + 1].SetFocus();
  m_editOctet[index + 1].SetSel(0, 3);
}

void CAddCrossSegmentPrintServerDlg::ClearOctets() {
  for (ui::CEdit& e : m_editOctet) e.SetWindowText("");
}

int CAddCrossSegmentPrintServerDlg::OctetValue(const std::string& text) {
  int value = 0;
  switch (CComMethod::ReadOctet(text, value)) {
    case CComMethod::kOctetOk: return value;
    case CComMethod::kOctetOutOfRange: return -2;
    default: return -1;
  }
}

void CAddCrossSegmentPrintServerDlg::OnOK() {
  std::string octets[4];
  for (int i = 0; i < 4; ++i) {
    octets[i] = m_editOctet[i].GetWindowText();
    CComMethod::RemoveSpaces(octets[i]);
  }
  auto refuse = [this](int index, int message) { RefuseInput(message, m_editOctet[index]); };
  for (int i = 0; i < 4; ++i) {
    if (octets[i].empty()) return refuse(i, IDS_NEED_DATA);
  }
  int values[4];
  for (int i = 0; i < 4; ++i) {
    values[i] = OctetValue(octets[i]);
    if (values[i] == -1) return refuse(i, IDS_ILLEGAL_VALUE);
    if (values[i] < 0) return refuse(i, IDS_VALUE_RANGE);
  }
  // The address is assembled from the values, so an octet typed with leading zeros is never
  // taken as octal further down.
  m_szIPAddress = CComMethod::JoinOctets(values);
  // The box's names are checked against the listed boxes before anything is stored.
  std::string d, n, m;
  bool clear = false;
  auto accept = [&](const BrowseAllPrintServerData& lists) {
    d = lists.szDefaultName.empty() ? std::string() : lists.szDefaultName.front();
    n = lists.szDeviceName.empty() ? std::string() : lists.szDeviceName.front();
    m = lists.szPortType.empty() ? std::string() : lists.szPortType.front();
    const int refusal = DuplicateRefusal(d, n);
    if (refusal == 0) return true;
    platform::MessageBoxById(refusal);
    clear = refusal != IDS_DEVICE_EXISTS;
    return false;
  };
  int result;
  {
    ui::CWaitCursor wait;
    std::string address = m_szIPAddress;
    result = m_utility.mAddCrossSegmentPrintServer(address, &mdsBrowseData, accept);
  }
  if (result == CPrintServerUtility::kAddRefusedByCaller) {
    if (clear) ClearOctets();
    return;
  }
  CComMethod::ShowResult(result);
  if (result != 0) return;
  if (m_pTree) {
    const int row = m_pTree->AddItem(d);
    m_pTree->SetCellText(row, 1, n);
    m_pTree->SetCellText(row, 2, m);
  }
  EndDialog(ui::IDOK);
}

int CAddCrossSegmentPrintServerDlg::DuplicateRefusal(const std::string& d, const std::string& n) const {
  if (n.empty()) return IDS_NEED_DEVICE_NAME;
  if (d.empty()) return IDS_NEED_DEFAULT_NAME;
  if (m_pTree == nullptr) return 0;
  for (int row = 0; row < m_pTree->GetCount(); ++row) {
    std::string text;
    m_pTree->GetCellText(row, 0, text);
    if (platform::EqualsNoCase(text, d)) return IDS_DEVICE_EXISTS;
  }
  for (int row = 0; row < m_pTree->GetCount(); ++row) {
    std::string text;
    m_pTree->GetCellText(row, 1, text);
    if (text == n) return IDS_DEVICE_NAME_EXISTS;
  }
  return 0;
}

// ---- Change password ----------------------------------------------------------------------------

CChangePasswordDlg::CChangePasswordDlg(CPrintServerUtility& utility, ui::CWnd* parent)
    : CDialog(ChangePasswordTemplate(), parent), m_utility(utility) {}

void CChangePasswordDlg::DoDataExchange(bool save) {
  (void)save;
  DDX_Control(IDC_RETYPE_PASSWORD, m_editRetype);
  DDX_Control(IDC_PASSWORD, m_editPassword);
}

BOOL CChangePasswordDlg::OnInitDialog() {
  m_editPassword.LimitText(kPasswordLimit);
  m_editRetype.LimitText(kPasswordLimit);
  return 1;
}

void CChangePasswordDlg::OnOK() {
  const std::string first = m_editPassword.GetWindowText();
  const std::string second = m_editRetype.GetWindowText();
  if (first != second) {
    m_editPassword.SetWindowText("");
    m_editRetype.SetWindowText("");
    platform::MessageBoxById(IDS_PASSWORD_NOT_CORRECT);
    m_editPassword.SetFocus();
    return;
  }
  int result;
  {
    ui::CWaitCursor wait;
    result = m_utility.mSetPassword(m_szDefaultName, first);
  }
  CComMethod::ShowResult(result);
  if (result == 0) EndDialog(ui::IDOK);
}

// ---- Device information -------------------------------------------------------------------------

CDeviceInformationDlg::CDeviceInformationDlg(CPrintServerUtility& utility, ui::CWnd* parent)
    : CDialog(DeviceInformationTemplate(), parent), m_utility(utility) {}

void CDeviceInformationDlg::DoDataExchange(bool save) {
  (void)save;
  DDX_Control(IDC_INFORMATION, m_editInformation);
}

BOOL CDeviceInformationDlg::OnInitDialog() {
  SetDlgItemText(IDC_SELECTED_DEVICE, m_szDeviceName);
  std::string text;
  int result;
  {
    ui::CWaitCursor wait;
    result = m_utility.mGetDeviceInformation(m_szDefaultName, text);
  }
  CComMethod::ShowResult(result);
  if (result != 0) {
    EndDialog(ui::IDCANCEL);
    return 0;
  }
  m_editInformation.SetWindowText(text);
  return 1;
}

// ---- About --------------------------------------------------------------------------------------

CAboutDlg::CAboutDlg(ui::CWnd* parent) : CDialog(AboutTemplate(), parent) {}

BOOL CAboutDlg::OnInitDialog() {
  SetDlgItemText(IDC_VERSION, ConsoleVersionText());
  return 1;
}

#include "wizard/server_details_old_page.h"

#include "platform/message_sink.h"
#include "ui/services.h"
#include "wizard/page_layout.h"
#include "wizard/resource.h"
#include "wizard/wizard_routines.h"
#include "wizard/wizard_state.h"

namespace wizard {
namespace {

constexpr int IDC_GROUP = 1036;
constexpr int IDC_WORKGROUP = 1037;
constexpr int IDC_NAME = 1038;
constexpr int kShortNameLimit = 19;
constexpr int kLongNameLimit = 48;
constexpr int kWorkgroupLimit = 15;

ui::DialogTemplate DetailsTemplate() {
  const int x = kContentX;
  return WizardPageTemplate(
      IDD_SERVER_DETAILS_OLD,
      {{-1, ui::Kind::Static, "Print Server Details", 0, x, 8, kContentCx, 10},
       {-1, ui::Kind::Static,
        "Enter the name the print server is to have on the network and the workgroup it belongs to.",
        0, x, 22, kContentCx, 20},
       {IDC_GROUP, ui::Kind::GroupBox, "Print Server: ", 0, x, 48, kContentCx, 70},
       {-1, ui::Kind::Static, "Name:", 0, x + 10, 66, 70, 10},
       {IDC_NAME, ui::Kind::Edit, "", 0, x + 85, 64, kContentCx - 95, 12},
       {-1, ui::Kind::Static, "Workgroup Name:", 0, x + 10, 90, 70, 10},
       {IDC_WORKGROUP, ui::Kind::DropDown, "", 0, x + 85, 88, kContentCx - 95, 12}});
}

constexpr int IDC_COMMENT = 1039;
constexpr int IDC_SHARE1 = 1040, IDC_SHARE2 = 1041, IDC_SHARE3 = 1042, IDC_SHARE_SP = 1005;
constexpr int IDC_LABEL1 = 1015, IDC_LABEL2 = 1014, IDC_LABEL3 = 1016, IDC_LABEL_SP = 1009;
constexpr int kTextLimit = 48;

ui::DialogTemplate FullDetailsTemplate() {
  const int x = kContentX;
  const int e = x + 85, ecx = kContentCx - 95;
  return WizardPageTemplate(
      IDD_SERVER_DETAILS,
      {{IDC_GROUP, ui::Kind::GroupBox, "Print Server: ", 0, x, 4, kContentCx, 162},
       {-1, ui::Kind::Static, "Name:", 0, x + 10, 18, 70, 10},
       {IDC_NAME, ui::Kind::Edit, "", 0, e, 16, ecx, 12},
       {-1, ui::Kind::Static, "Comment:", 0, x + 10, 36, 70, 10},
       {IDC_COMMENT, ui::Kind::Edit, "", 0, e, 34, ecx, 12},
       {-1, ui::Kind::Static, "Workgroup Name:", 0, x + 10, 54, 70, 10},
       {IDC_WORKGROUP, ui::Kind::DropDown, "", 0, e, 52, ecx, 12},
       {-1, ui::Kind::Static, "Share names:", 0, x + 10, 74, 70, 10},
       {IDC_LABEL1, ui::Kind::Static, "Parallel Port 1 (P1)", 0, x + 10, 90, 72, 10},
       {IDC_SHARE1, ui::Kind::Edit, "", 0, e, 88, ecx, 12},
       {IDC_LABEL2, ui::Kind::Static, "Parallel Port 2 (P2)", 0, x + 10, 108, 72, 10},
       {IDC_SHARE2, ui::Kind::Edit, "", 0, e, 106, ecx, 12},
       {IDC_LABEL3, ui::Kind::Static, "Parallel Port 3 (P3)", 0, x + 10, 126, 72, 10},
       {IDC_SHARE3, ui::Kind::Edit, "", 0, e, 124, ecx, 12},
       {IDC_LABEL_SP, ui::Kind::Static, "Serial   Port   (SP)", 0, x + 10, 144, 72, 10},
       {IDC_SHARE_SP, ui::Kind::Edit, "", 0, e, 142, ecx, 12}});
}

}  // namespace

int NetwareModeFromSettings(const config::NetwareConfigurationData& nw, int current) {
  if (nw.szOperationMode == "PS") {
    if (!nw.szMasterFileServerName.empty()) return kNetwareBindery;
    if (!nw.szNDSTreeName.empty()) return kNetwareNDS;
    return kNetwareNone;
  }
  if (nw.szOperationMode == "RP") return kNetwareRemotePrinter;
  return current;
}

CServerDetailsOld::CServerDetailsOld() : CServerDetailsOld(DetailsTemplate()) {}

CServerDetailsOld::CServerDetailsOld(const ui::DialogTemplate& t) : CPropertyPage(t) {
  OnCommand(IDC_WORKGROUP, ui::CBN_DROPDOWN, &CServerDetailsOld::OnDropdownWorkgroup);
}

std::string CServerDetailsOld::WorkgroupToShow(const std::string& stateA) {
  (void)stateA;
  std::string workgroup = dsNetBEUIConfigureData.szDomainName;
  if (workgroup.empty()) GetDefaultWorkgroup(workgroup);
  return workgroup;
}

void CServerDetailsOld::DoDataExchange(bool save) {
  CPropertyPage::DoDataExchange(save);
  DDX_Control(IDC_NAME, m_Name);
  DDX_Control(IDC_GROUP, m_Group);
  DDX_Control(IDC_WORKGROUP, m_Workgroup);
}

BOOL CServerDetailsOld::OnSetActive() {
  GetSheet()->SetWizardButtons(ui::PSWIZB_BACK | ui::PSWIZB_NEXT);
  std::string defaultName, deviceName, longName, stateA, stateB;
  GetSelectedDevice(defaultName, deviceName, longName);
  GetDeviceStateFlags(stateA, stateB);
  LayOut();
  if (defaultName == m_szReadFor) return CPropertyPage::OnSetActive();

  {
    ui::CWaitCursor wait;
    m_iResult = TheUtility().mGetNetBEUIConfiguration(defaultName, &dsNetBEUIConfigureData);
    if (m_iResult == 0) m_iResult = TheUtility().mGetSystemConfiguration(defaultName, &dsSystemConfigurationData);
    if (m_iResult == 0)
      m_iResult = TheUtility().mGetNetwareConfiguration(defaultName, &dsNetwareConfigurationData);
  }
  m_Group.SetWindowText("Print Server: " + defaultName);
  m_Name.LimitText(longName == "TRUE" ? kLongNameLimit : kShortNameLimit);
  m_Workgroup.LimitText(kWorkgroupLimit);
  if (m_iResult != 0) {
    // Nothing of an earlier box stays behind: the fields and records are emptied, and the next
    // visit asks this box again.
    dsNetBEUIConfigureData = NetBEUIConfigureData{};
    dsSystemConfigurationData = SystemConfigurationData{};
    dsNetwareConfigurationData = NetwareConfigurationData{};
    m_szReadFor.clear();
    SetNetBeuiFlag(0);
    m_Name.SetWindowText("");
    m_Workgroup.SetWindowText("");
    ShowFurtherFields(false);
    ShowErrorForCode(m_iResult);
    return CPropertyPage::OnSetActive();
  }
  m_szReadFor = defaultName;
  NetwareMode = NetwareModeFromSettings(dsNetwareConfigurationData, NetwareMode);
  m_Name.SetWindowText(dsSystemConfigurationData.szDeviceName);
  SetNetBeuiFlag(dsSystemConfigurationData.bNetBEUIProtocol != 0 ? 1 : 0);
  m_Workgroup.SetWindowText(WorkgroupToShow(stateA));
  ShowFurtherFields(true);
  return CPropertyPage::OnSetActive();
}

void CServerDetailsOld::OnDropdownWorkgroup() {
  std::list<std::string> names;
  {
    // The network is asked: a few seconds at most.
    ui::CWaitCursor wait;
    EnumWorkgroups(names);
  }
  m_Workgroup.ResetContent();
  for (const std::string& name : names) m_Workgroup.AddString(name);
}

ui::LRESULT CServerDetailsOld::OnWizardBack() { return IDD_SELECT; }

ui::LRESULT CServerDetailsOld::OnWizardNext() {
  std::string stateA, stateB;
  GetDeviceStateFlags(stateA, stateB);
  const std::string name = m_Name.GetWindowText();
  g_WizardConfigurationData.dsSystem.szDeviceName = name;
  g_WizardConfigurationData.dsNetBEUI.szDomainName = m_Workgroup.GetWindowText();
  CollectFurtherFields();
  if (name.empty()) {
    platform::MessageBoxById(IDS_NEED_DEVICE_NAME);
    m_Name.SetFocus();
    return -1;
  }
  // The box's current name: as read here, or, when that read failed, as the box reported it on
  // the selection page.
  std::string current = dsSystemConfigurationData.szDeviceName;
  if (current.empty()) {
    std::string defaultName, longName;
    GetSelectedDevice(defaultName, current, longName);
  }
  if (stateB == "FALSE" && name != current) {
    const int answer = platform::MessageBoxById(IDS_RENAME_WARNING, platform::MB_YESNO | platform::MB_ICONWARNING);
    if (answer == platform::IDNO) {
      // No keeps the box's name; a name that is not known is never sent empty: the page stays.
      if (current.empty()) {
        g_WizardConfigurationData.dsSystem.szDeviceName.clear();
        m_Name.SetFocus();
        return -1;
      }
      g_WizardConfigurationData.dsSystem.szDeviceName = current;
      m_Name.SetWindowText(current);
    }
  }
  if (dsSystemConfigurationData.bIPXSPXProtocol == 1 && GetWizardMode() == 1) {
    if (NetwareMode == kNetwareNone || NetwareMode == kNetwareRemotePrinter) return IDD_NETWARE;
    if (NetwareMode == kNetwareNDS) return IDD_NETWARE_NDS;
    return IDD_NETWARE_BINDERY;
  }
  return IDD_TCPIP;
}

// ---- CServerDetails ----------------------------------------------------------------------------

CServerDetails::CServerDetails() : CServerDetailsOld(FullDetailsTemplate()) {}

void CServerDetails::DoDataExchange(bool save) {
  CServerDetailsOld::DoDataExchange(save);
  DDX_Control(IDC_COMMENT, m_Comment);
  DDX_Control(IDC_SHARE1, m_Share1);
  DDX_Control(IDC_SHARE2, m_Share2);
  DDX_Control(IDC_SHARE3, m_Share3);
  DDX_Control(IDC_SHARE_SP, m_ShareSP);
  DDX_Control(IDC_LABEL3, m_Label3);
  DDX_Control(IDC_LABEL_SP, m_LabelSP);
}

// The share-name rows the box's ports have.
void CServerDetails::LayOut() {
  GetSelectedPortType(m_iPortType);
  const int rows[] = {IDC_LABEL1, IDC_SHARE1, IDC_LABEL2, IDC_SHARE2, IDC_LABEL3, IDC_SHARE3, IDC_LABEL_SP, IDC_SHARE_SP};
  for (int id : rows)
    if (ui::CWnd* w = GetDlgItem(id)) w->ShowWindow(ui::SW_SHOW);
  m_Label3.SetWindowText("Parallel Port 3 (P3)");
  GetDlgItem(IDC_LABEL1)->SetWindowText("Parallel Port 1 (P1)");
  for (ui::CEdit* e : {&m_Comment, &m_Share1, &m_Share2, &m_Share3, &m_ShareSP}) e->LimitText(kTextLimit);
  auto hideRowsFrom = [&](int first) {
    for (int i = first * 2; i < 8; ++i) GetDlgItem(rows[i])->ShowWindow(ui::SW_HIDE);
  };
  switch (m_iPortType) {
    case 1: hideRowsFrom(1); break;
    case 2: hideRowsFrom(2); break;
    case 3: hideRowsFrom(3); break;
    case 4:
      m_Label3.SetWindowText("Serial    Port   (SP)");
      hideRowsFrom(3);
      break;
    case 6:
      GetDlgItem(IDC_LABEL1)->SetWindowText("USB  Port  (P1)");
      hideRowsFrom(1);
      break;
    default: break;
  }
}

std::string CServerDetails::WorkgroupToShow(const std::string& stateA) {
  std::string workgroup;
  if (stateA != "TRUE" && !dsNetBEUIConfigureData.szDomainName.empty()) workgroup = dsNetBEUIConfigureData.szDomainName;
  else GetDefaultWorkgroup(workgroup);
  return workgroup;
}

void CServerDetails::ShowFurtherFields(bool read) {
  const NetBEUIExtraTexts none;
  const NetBEUIExtraTexts& x = read ? static_cast<const NetBEUIExtraTexts&>(dsNetBEUIConfigureData) : none;
  m_Comment.SetWindowText(x.sz5003);
  m_Share1.SetWindowText(x.sz5101);
  m_Share2.SetWindowText(x.sz5102);
  // With port type 4 the third row is the serial port's.
  m_Share3.SetWindowText(m_iPortType == 4 ? x.sz5103 : x.sz5104);
  m_ShareSP.SetWindowText(x.sz5103);
}

void CServerDetails::CollectFurtherFields() {
  NetBEUIExtraTexts& x = g_WizardConfigurationData.dsNetBEUI;
  x.sz5003 = m_Comment.GetWindowText();
  x.sz5101 = m_Share1.GetWindowText();
  x.sz5102 = m_Share2.GetWindowText();
  if (m_iPortType == 4) {
    x.sz5103 = m_Share3.GetWindowText();
  } else {
    x.sz5104 = m_Share3.GetWindowText();
    x.sz5103 = m_ShareSP.GetWindowText();
  }
  g_bNetBEUITextsCollected = true;
}

}  // namespace wizard

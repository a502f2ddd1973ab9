#include "wizard/server_details_old_page.h"

#include "platform/message_sink.h"
#include "ui/services.h"
#include "wizard/page_layout.h"
#include "wizard/resource.h"
#include "wizard/routines_standin.h"
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
       {IDC_WORKGROUP, ui::Kind::DropDown, "", 0, x + 85, 88, kContentCx - 95, 80}});
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

CServerDetailsOld::CServerDetailsOld() : CPropertyPage(DetailsTemplate()) {
  OnCommand(IDC_WORKGROUP, ui::CBN_DROPDOWN, &CServerDetailsOld::OnDropdownWorkgroup);
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
    ShowErrorForCode(m_iResult);
    return CPropertyPage::OnSetActive();
  }
  m_szReadFor = defaultName;
  NetwareMode = NetwareModeFromSettings(dsNetwareConfigurationData, NetwareMode);
  m_Name.SetWindowText(dsSystemConfigurationData.szDeviceName);
  SetNetBeuiFlag(dsSystemConfigurationData.bNetBEUIProtocol != 0 ? 1 : 0);
  std::string workgroup = dsNetBEUIConfigureData.szDomainName;
  if (workgroup.empty()) GetDefaultWorkgroup(workgroup);
  m_Workgroup.SetWindowText(workgroup);
  return CPropertyPage::OnSetActive();
}

void CServerDetailsOld::OnDropdownWorkgroup() {
  std::list<std::string> names;
  EnumWorkgroups(names);
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
  if (name.empty()) {
    platform::MessageBoxById(IDS_NEED_DEVICE_NAME);
    m_Name.SetFocus();
    return -1;
  }
  const std::string& current = dsSystemConfigurationData.szDeviceName;
  if (stateB == "FALSE" && name != current) {
    const int answer = platform::MessageBoxById(IDS_RENAME_WARNING, platform::MB_YESNO | platform::MB_ICONWARNING);
    if (answer == platform::IDNO) {
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

}  // namespace wizard

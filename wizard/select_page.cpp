#include "wizard/select_page.h"

#include <QAbstractScrollArea>

#include "device_client/core/wire_layout.h"
#include "platform/message_sink.h"
#include "ui/services.h"
#include "wizard/page_layout.h"
#include "wizard/resource.h"
#include "wizard/wizard_routines.h"
#include "wizard/wizard_state.h"

namespace wizard {
namespace {

constexpr int IDC_REFRESH = 1002;
constexpr int IDC_DEVICE_LIST = 1035;
constexpr int IDC_VERIFY_DEFAULT_NAME = 1001;
constexpr int IDC_VERIFY_PASSWORD = 1103;

// Lists of the browse.
constexpr int kDefaultNames = 0, kDeviceNames = 1, kDetails = 2, kAddresses = 3, kLocalAddresses = 7;

ui::DialogTemplate SelectTemplate() {
  const int x = kContentX;
  return WizardPageTemplate(
      IDD_SELECT,
      {{-1, ui::Kind::Static, "Select a Print Server", 0, x, 8, kContentCx, 10},
       {-1, ui::Kind::Static,
        "The print servers found on your network are listed below. Select the one to set up and "
        "click Next. Click Refresh to search again.",
        0, x, 22, kContentCx, 26},
       {IDC_DEVICE_LIST, ui::Kind::ListView, "", ui::LVS_REPORT | ui::LVS_SINGLESEL, x, 50, kContentCx, 96},
       {IDC_REFRESH, ui::Kind::Button, "&Refresh", 0, x + kContentCx - 50, 151, 50, 14}});
}

ui::DialogTemplate VerifyTemplate() {
  return {IDD_VERIFY_PASSWORD, "Verify Password", "MS Sans Serif", 8, 200, 74, 0,
          {{-1, ui::Kind::Static, "Print Server:", 0, 10, 12, 55, 10},
           {IDC_VERIFY_DEFAULT_NAME, ui::Kind::Edit, "", ui::ES_READONLY, 70, 10, 120, 12},
           {-1, ui::Kind::Static, "Password:", 0, 10, 32, 55, 10},
           {IDC_VERIFY_PASSWORD, ui::Kind::Edit, "", ui::ES_PASSWORD, 70, 30, 120, 12},
           {ui::IDOK, ui::Kind::DefButton, "OK", 0, 84, 52, 50, 14},
           {ui::IDCANCEL, ui::Kind::Button, "Cancel", 0, 140, 52, 50, 14}}};
}

std::string Entry(const std::list<std::string>& list, int index) {
  if (index < 0) return {};
  auto it = list.begin();
  for (int i = 0; it != list.end() && i < index; ++i) ++it;
  return it == list.end() ? std::string() : *it;
}

int ListSize(int list) { return static_cast<int>(DeviceLists.lists[list].size()); }

}  // namespace

int PortTypeFromDeviceInfo(const unsigned char* pid) {
  namespace p = wire::pid;
  const int parallel = (pid[p::kParallelPorts] >> 6) & 0x3;
  const int serial = pid[p::kSerialPorts] & 0x0F;
  const int usb = (pid[p::kUsbPorts] >> 6) & 0x3;
  // The rules in turn; a later rule that matches replaces an earlier result.
  int type = 0;
  if (usb == 1) type = 6;
  if (serial != 0) {
    if (parallel == 2 && serial == 1) type = 4;
    if (parallel == 3 && serial == 1) type = 5;
  } else {
    if (parallel == 1) type = 1;
    if (parallel == 2) type = 2;
    if (parallel == 3) type = 3;
  }
  return type;
}

// ---- CSelect -------------------------------------------------------------------------------

CSelect::CSelect() : CPropertyPage(SelectTemplate()) {
  OnCommand(IDC_REFRESH, ui::BN_CLICKED, &CSelect::OnRefresh);
}

void CSelect::DoDataExchange(bool save) {
  CPropertyPage::DoDataExchange(save);
  DDX_Control(IDC_DEVICE_LIST, m_DeviceList);
}

BOOL CSelect::OnInitDialog() {
  CPropertyPage::OnInitDialog();
  NetwareMode = kNetwareNone;
  m_iBrowseOption = 1;
  // Quarter, quarter and half of the list's width inside its frame (the viewport is not laid out
  // yet while the page starts), so no scroll bar is needed for the headings.
  auto* area = qobject_cast<QAbstractScrollArea*>(m_DeviceList.GetSafeHwnd());
  const int width = area ? area->width() - 2 * area->frameWidth() : 400;
  m_DeviceList.InsertColumn(0, "Server Name", width / 4);
  m_DeviceList.InsertColumn(1, "IP Address", width / 4);
  m_DeviceList.InsertColumn(2, "Details", width / 2);
  RefreshServerList();
  return 1;
}

void CSelect::OnRefresh() { RefreshServerList(); }

void CSelect::PostButtons() {
  if (GetSheet() == nullptr) return;
  GetSheet()->SetWizardButtons(ListSize(kDefaultNames) > 0 ? ui::PSWIZB_BACK | ui::PSWIZB_NEXT
                                                           : ui::PSWIZB_BACK);
}

void CSelect::FocusRow(int row) {
  if (row < 0 || row >= m_DeviceList.GetItemCount()) return;
  m_DeviceList.SetItemState(row, ui::LVIS_SELECTED | ui::LVIS_FOCUSED, ui::LVIS_SELECTED | ui::LVIS_FOCUSED);
  m_DeviceList.SetFocus();
}

void CSelect::RefreshServerList() {
  for (int i = 0; i < 8; ++i)
    if (i != 6) DeviceLists.lists[i].clear();
  {
    ui::CWaitCursor wait;
    m_iResult = TheUtility().PS_Browse(&DeviceLists, "PS");
  }
  ShowErrorForCode(m_iResult);
  m_DeviceList.DeleteAllItems();
  PostButtons();
  // Each row keeps the index of its box in the lists: two boxes of one device name stay apart.
  const int count = std::min(ListSize(kDefaultNames), kVerifiedSlots);
  for (int i = 0; i < count; ++i) {
    VerifiedFlags[static_cast<std::size_t>(i)] = 0;
    const int row = m_DeviceList.InsertItem(m_DeviceList.GetItemCount(), Entry(DeviceLists.lists[kDeviceNames], i));
    m_DeviceList.SetItemText(row, 1, Entry(DeviceLists.lists[kAddresses], i));
    m_DeviceList.SetItemText(row, 2, Entry(DeviceLists.lists[kDetails], i));
    m_DeviceList.SetItemData(row, i);
  }
  FocusRow(0);
}

BOOL CSelect::OnSetActive() {
  AllowScanning(true);
  PostButtons();
  return CPropertyPage::OnSetActive();
}

ui::LRESULT CSelect::OnWizardNext() {
  const int row = m_DeviceList.GetNextItem(-1, ui::LVNI_SELECTED);
  if (row < 0) {
    platform::GetMessageSink().Show(0, "No device selected", platform::MB_OK);
    m_DeviceList.SetFocus();
    return -1;
  }
  const int k = static_cast<int>(m_DeviceList.GetItemData(row));
  const std::string defaultName = Entry(DeviceLists.lists[kDefaultNames], k);

  std::string info[4];
  ui::CWaitCursor wait;
  m_iResult = TheUtility().mGetDeviceNameInformation(defaultName, info);
  if (m_iResult != 0) {
    wait.Restore();
    ShowErrorForCode(m_iResult);
    m_DeviceList.DeleteItem(row);
    return -1;
  }
  const std::string address = Entry(DeviceLists.lists[kAddresses], k);
  const std::string localAddress = Entry(DeviceLists.lists[kLocalAddresses], k);

  m_iResult = TheUtility().mReadDeviceConfiguration(defaultName, &g_AllConfigurationData);
  if (m_iResult != 0) {
    wait.Restore();
    ShowErrorForCode(m_iResult);
    m_DeviceList.DeleteItem(row);
    return -1;
  }
  // The layout of this box alone: a box whose ports match no rule is not given the last one's.
  SetSelectedPortType(PortTypeFromDeviceInfo(TheUtility().Cached().dsDevicePID.data));
  SetSelectedIPAddress(address);
  SetDeviceStateFlags(info[2], info[3]);
  SetSelectedDevice(defaultName, info[0], info[1]);
  SetSelectedLocalAddress(localAddress);

  const bool slot = k >= 0 && k < kVerifiedSlots;
  int unslotted = 0;  // a row beyond the flags is asked every time
  int& verified = slot ? VerifiedFlags[static_cast<std::size_t>(k)] : unslotted;
  if (verified != 1) {
    const int rc = TheUtility().mVerifyPassword(defaultName, "");
    if (rc == 0) {
      verified = 1;
    } else if (rc != -1) {
      // Not a refused password: the box could not be asked.
      wait.Restore();
      ShowErrorForCode(rc);
      FocusRow(row);
      return -1;
    }
  }
  wait.Restore();
  if (verified == 1) {
    AllowScanning(false);
    return 0;
  }
  CVerifyPasswordDlg dlg;
  dlg.DoModal();
  if (dlg.m_bVerified == 1) {
    AllowScanning(false);
    verified = 1;
    return 0;
  }
  FocusRow(row);
  return -1;
}

// ---- CVerifyPasswordDlg ----------------------------------------------------------------------

CVerifyPasswordDlg::CVerifyPasswordDlg() : CDialog(VerifyTemplate()) {}

void CVerifyPasswordDlg::DoDataExchange(bool save) {
  CDialog::DoDataExchange(save);
  DDX_Control(IDC_VERIFY_DEFAULT_NAME, m_DefaultName);
  DDX_Control(IDC_VERIFY_PASSWORD, m_Password);
}

BOOL CVerifyPasswordDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  GetSelectedDevice(m_szDefaultName, m_szDeviceName, m_szLongNameSupport);
  m_DefaultName.SetWindowText(m_szDefaultName);
  m_Password.SetFocus();
  return 1;
}

void CVerifyPasswordDlg::OnOK() {
  const std::string password = m_Password.GetWindowText();
  {
    ui::CWaitCursor wait;
    m_iResult = TheUtility().mVerifyPassword(m_szDefaultName, password);
  }
  if (m_iResult == 0) {
    m_bVerified = 1;
    EndDialog(ui::IDOK);
    return;
  }
  m_bVerified = 0;
  // Only the box's refusal is a wrong password; anything else keeps its own message.
  if (m_iResult == -1) platform::MessageBoxById(IDS_INCORRECT_PASSWORD);
  else ShowErrorForCode(m_iResult);
}

}  // namespace wizard

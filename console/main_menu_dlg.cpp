#include "console/main_menu_dlg.h"

#include <cstdio>
#include <cstdlib>
#include <memory>

#include "console/connected_protocol_dlg.h"
#include "console/console_state.h"
#include "console/pellam_view.h"
#include "console/resource.h"
#include "console_pages/quick_setup_dlg.h"
#include "device_client/settings/com_method.h"
#include "ui/frame.h"
#include "ui/services.h"

using namespace console;
using ui::Kind;

namespace {
constexpr UINT kDialogStyle = ui::WS_VISIBLE;
constexpr int kListTextMax = 260;
constexpr int kListImages = 8;
}  // namespace

ui::DialogTemplate MainMenuTemplate() {
  return {IDD_MAIN_MENU, "Vardon Print Server Administration Program", "MS Sans Serif", 8, 362, 235,
          kDialogStyle,
          {{-1, Kind::Picture, std::to_string(IDB_MAIN_MENU), 0, 7, 8, 226, 214},
           {IDC_DEVICE_LIST, Kind::ListView, "", ui::LVS_ICON | ui::WS_TABSTOP, 241, 9, 115, 126},
           {IDC_QUICK, Kind::DefButton, "Quick", ui::WS_TABSTOP, 301, 152, 46, 20},
           {IDC_ADVANCED, Kind::Button, "Advanced", ui::WS_TABSTOP, 249, 152, 46, 20},
           {IDC_BROWSE, Kind::Button, "Browse", ui::WS_TABSTOP, 301, 178, 46, 20},
           {IDC_PROTOCOL, Kind::Button, "Protocol", ui::WS_TABSTOP, 249, 178, 46, 20},
           {ui::IDCANCEL, Kind::Button, "Exit", ui::WS_TABSTOP, 249, 202, 98, 20}}};
}

CMainMenuDlg::CMainMenuDlg(CPellamView* view) : CDialog(MainMenuTemplate()), m_pView(view) {
  OnCommand(IDC_BROWSE, ui::BN_CLICKED, &CMainMenuDlg::OnBrowse);
  OnCommand(IDC_ADVANCED, ui::BN_CLICKED, &CMainMenuDlg::OnAdvanced);
  OnCommand(IDC_QUICK, ui::BN_CLICKED, &CMainMenuDlg::OnQuick);
  OnCommand(IDC_PROTOCOL, ui::BN_CLICKED, &CMainMenuDlg::OnProtocol);
  OnNotify(IDC_DEVICE_LIST, ui::NM_DBLCLK, &CMainMenuDlg::OnDblclkDeviceList);
  OnNotify(IDC_DEVICE_LIST, ui::LVN_ITEMCHANGED, &CMainMenuDlg::OnItemchangedDeviceList);
}

CMainMenuDlg::~CMainMenuDlg() {
  if (g_pMainMenuDlg == this) g_pMainMenuDlg = nullptr;
  DestroyWindow();
}

bool CMainMenuDlg::Create() { return CDialog::Create(nullptr); }

void CMainMenuDlg::DoDataExchange(bool save) {
  (void)save;
  DDX_Control(IDC_ADVANCED, m_btnAdvanced);
  DDX_Control(IDC_QUICK, m_btnQuick);
  DDX_Control(IDC_DEVICE_LIST, m_DeviceList);
}

BOOL CMainMenuDlg::OnInitDialog() {
  SetIcon(IDR_MAINFRAME);
  const QColor cyan(0, 255, 255);
  m_DeviceList.SetBkColor(cyan);
  m_DeviceList.SetTextBkColor(cyan);
  if (m_ImageList.GetImageCount() == 0) {
    for (int i = 0; i < kListImages; ++i) m_ImageList.Add(IDI_PRINT_SERVER);
  }
  m_DeviceList.SetImageList(&m_ImageList);
  if (m_DeviceList.GetItemCount() > 0) {
    m_DeviceList.SetFocus();
  } else {
    m_btnQuick.EnableWindow(false);
    m_btnAdvanced.EnableWindow(false);
  }
  return 1;
}

void CMainMenuDlg::AddDevice(int index, const std::string& defaultName, const std::string& deviceName) {
  if (index < 0 || index >= kMaxListedDevices) return;
  const int row = m_DeviceList.InsertItem(index, deviceName, 0);
  m_DeviceList.SetItemText(row, 1, defaultName);
  g_szDeviceNames[static_cast<std::size_t>(index)] = deviceName;
  g_szDefaultNames[static_cast<std::size_t>(index)] = defaultName;
}

void CMainMenuDlg::ClearList() { m_DeviceList.DeleteAllItems(); }

void CMainMenuDlg::SetRowText(int row, const std::string& text) { m_DeviceList.SetItemText(row, 0, text); }

ui::LRESULT CMainMenuDlg::OnItemchangedDeviceList(ui::NMHDR* info) {
  auto* nm = reinterpret_cast<ui::NMLISTVIEW*>(info);
  // Only a row that has just become selected changes the selection; deselections and focus moves
  // of other rows leave it alone.
  if (nm == nullptr || (nm->uChanged & ui::LVIF_STATE) == 0 || (nm->uNewState & ui::LVIS_SELECTED) == 0 ||
      (nm->uOldState & ui::LVIS_SELECTED) != 0) {
    return 0;
  }
  const int row = nm->iItem;
  if (row < 0 || row >= kMaxListedDevices || row >= m_DeviceList.GetItemCount()) return 0;
  g_iSelectedItem = row;
  std::string text = m_DeviceList.GetItemText(row, 0);
  if (text.size() > static_cast<std::size_t>(kListTextMax - 1)) text.resize(kListTextMax - 1);
  g_szDefaultName = g_szDefaultNames[static_cast<std::size_t>(row)];
  g_szDeviceName = text;
  g_szListedDeviceName = g_szDeviceName;
  m_btnQuick.EnableWindow(true);
  m_btnAdvanced.EnableWindow(true);
  return 0;
}

ui::LRESULT CMainMenuDlg::OnDblclkDeviceList(ui::NMHDR* info) {
  (void)info;
  if (m_DeviceList.GetItemCount() > 0) OnQuick();
  return 0;
}

void CMainMenuDlg::OnBrowse() {
  // A browse refused as too soon after the last one keeps the list as it is.
  if (m_pView == nullptr || !m_pView->CanBrowse()) return;
  ClearList();
  m_pView->BrowsePrintServers();
}

void CMainMenuDlg::OnAdvanced() {
  if (m_DeviceList.GetItemCount() == 0) return;
  CPJLUtility& utility = TheUtility();
  PauseScanner();
  auto block = std::make_unique<config::DevicePIDData>();
  {
    ui::CWaitCursor wait;
    int result = utility.mGetDevicePortType(g_szDefaultName, &g_iModelType);
    if (result == 0) result = utility.mGetDevicePID(g_szDefaultName, block.get());
    if (result == 0) result = utility.mGetDeviceProtocol(g_szDefaultName, &mdsProtocolData);
    if (result != 0) {
      wait.Restore();
      CComMethod::ShowResult(result);
      ResumeScanner();
      return;
    }
  }
  char firmware[8];
  std::snprintf(firmware, sizeof firmware, "%02X%02X", block->data[wire::pid::kFwVersion],
                block->data[wire::pid::kFwVersion + 1]);
  g_iFirmwareNumber = std::atoi(firmware);

  auto all = std::make_unique<config::AllConfigurationData>();
  int result;
  {
    ui::CWaitCursor wait;
    result = utility.mGetAllConfiguration(g_szDefaultName, all.get());
  }
  if (result != 0) {
    CComMethod::ShowResult(result);
    ResumeScanner();
    return;
  }
  StoreConfiguration(*all);
  if (m_pView) {
    CPellamView::OpenBox box;
    box.defaultName = g_szDefaultName;
    box.deviceName = g_szDeviceName;
    box.listedName = g_szListedDeviceName;
    box.modelType = g_iModelType;
    box.firmwareNumber = g_iFirmwareNumber;
    box.protocols = mdsProtocolData;
    m_pView->OpenDevice(box);
  }
  ShowWindow(ui::SW_RESTORE);
  if (ui::CFrameWnd* frame = MainFrame()) {
    frame->ShowWindow(ui::SW_HIDE);
    frame->ShowWindow(ui::SW_RESTORE);
    frame->SetForegroundWindow();
  }
  if (m_pView) m_pView->ShowPage(g_iCurrentTab);
}

void CMainMenuDlg::OnQuick() {
  CPJLUtility& utility = TheUtility();
  // Quick works on its own copy of the box's system record: the records of a box open in the
  // settings view hold what its pages show, and Save To Device sends only those.
  config::SystemConfigurationData system;
  int result;
  {
    ui::CWaitCursor wait;
    result = utility.mGetSystemConfiguration(g_szDefaultName, &system);
  }
  // Without the box's current settings there is nothing sound to write back.
  if (result != 0) {
    CComMethod::ShowResult(result);
    return;
  }
  CQuickSetupDlg dlg(this);
  dlg.m_szDeviceName = system.szDeviceName;
  dlg.m_szDefaultName = g_szDefaultName;
  dlg.m_szWorkgroup = gdsNetBEUIConfigureData.szDomainName;
  if (dlg.DoModal() != ui::IDOK) return;
  system.szDeviceName = dlg.m_szDeviceName;
  g_szDeviceName = dlg.m_szDeviceName;
  {
    ui::CWaitCursor wait;
    result = utility.mSetSystemConfiguration(g_szDefaultName, &system);
  }
  if (result != 0) {
    CComMethod::ShowResult(result);
    return;
  }
  if (g_szDeviceName != g_szListedDeviceName) SetRowText(g_iSelectedItem, g_szDeviceName);
  if (m_pView && m_pView->IsDeviceOpen() && m_pView->OpenedBox().defaultName == g_szDefaultName) {
    m_pView->OpenBoxRenamedByQuick(g_szDeviceName);
  }
}

void CMainMenuDlg::OnProtocol() {
  CConnectedProtocolDlg dlg(this);
  if (dlg.DoModal() != ui::IDOK) return;
  if (ReinitializeLan()) OnBrowse();
}

void CMainMenuDlg::OnCancel() {
  // Exit: the frame goes, the message loop ends and the application's exit runs.
  if (ui::CFrameWnd* frame = MainFrame()) frame->ShowWindow(ui::SW_HIDE);
  ShowWindow(ui::SW_HIDE);
  if (ui::CWinApp* app = ui::AfxGetApp()) app->Quit(0);
}

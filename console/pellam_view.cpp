#include "console/pellam_view.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>

#include "console/console_state.h"
#include "console/main_menu_dlg.h"
#include "console/page_store.h"
#include "console/resource.h"
#include "console_pages/device_dialog_text.h"
#include "console_pages/printer_status_dlg.h"
#include "console_pages/send_direct_command_dlg.h"
#include "console_pages/small_dialogs.h"
#include "console_pages/system_page.h"
#include "device_client/core/config/model_capabilities.h"
#include "device_client/settings/com_method.h"
#include "platform/message_sink.h"
#include "ui/services.h"

using namespace console;
using ui::Kind;

namespace {

ui::DialogTemplate PellamFormTemplate() {
  return {IDD_PELLAM_FORM, "", "MS Sans Serif", 8, 350, 274, ui::WS_CHILD,
          {{IDC_TAB, Kind::Tab, "", ui::WS_TABSTOP, 10, 0, 332, 242},
           {IDC_RESTORE_DEFAULTS, Kind::Button, "Restore to Defaults", ui::WS_TABSTOP, 10, 249, 73, 17},
           {IDC_SAVE_TO_DEVICE, Kind::Button, "Save To Device", ui::WS_TABSTOP, 142, 249, 73, 17},
           {IDC_RETURN_TO_MAIN_MENU, Kind::Button, "Return to Main Menu", ui::WS_TABSTOP, 262, 249, 73, 17}}};
}

const char* const kAllTabs[] = {"System",      "TCP/IP",       "NetWare PServer", "NetWare RPrinter",
                                "Apple Talk", "Logical Port", "Physical Port",   "Wireless"};

bool Tracing() {
  const char* v = std::getenv("PSADMIN_CONSOLE_TRACE");
  return v != nullptr && *v != '\0' && *v != '0';
}

}  // namespace

std::vector<std::string> LayoutTabs(const config::ProtocolData& protocols, int n) {
  const bool w = protocols.bWirelessDevice != 0;
  const bool at = protocols.bAPPLETALKProtocol != 0;
  const bool ipx = protocols.bIPXSPXProtocol != 0;
  if (w) return {"System", "TCP/IP", "Apple Talk", "Logical Port", "Physical Port", "Wireless"};
  if (n > 6011 && !at && !ipx) return {"System", "TCP/IP", "Logical Port", "Physical Port"};
  if (n > 6011 && at)
    return {"System", "TCP/IP", "NetWare PServer", "NetWare RPrinter", "Apple Talk", "Logical Port", "Physical Port"};
  if (n > 6011) return {"System", "TCP/IP", "NetWare PServer", "NetWare RPrinter", "Logical Port", "Physical Port"};
  if (at) return {"System", "TCP/IP", "NetWare PServer", "NetWare RPrinter", "Apple Talk", "Logical Port"};
  return {"System", "TCP/IP", "NetWare PServer", "NetWare RPrinter", "Logical Port"};
}

bool ModelHasParallelPort(int modelType, int port) { return config::ModelHasParallelPort(modelType, port); }

CPellamView::CPellamView() : CFormView(PellamFormTemplate()) {
  g_iSelectedItem = 0;
  OnCommand(IDC_RETURN_TO_MAIN_MENU, ui::BN_CLICKED, &CPellamView::OnReturnToMainMenu);
  OnCommand(IDC_SAVE_TO_DEVICE, ui::BN_CLICKED, &CPellamView::OnSaveToDevice);
  OnCommand(IDC_RESTORE_DEFAULTS, ui::BN_CLICKED, &CPellamView::OnRestoreDefaults);
  OnNotify(IDC_TAB, ui::TCN_SELCHANGING, &CPellamView::OnSelchangingTab);
  OnNotify(IDC_TAB, ui::TCN_SELCHANGE, &CPellamView::OnSelchangeTab);
}

CPellamView::~CPellamView() {
  ui::GetTimerService().KillAll(this);
  // The page objects outlive the view; their windows go with it.
  if (g_pCurrentPage) g_pCurrentPage->DestroyWindow();
  g_pCurrentPage = nullptr;
  m_pMainMenuDlg.reset();
}

void CPellamView::PreCreateWindow() {
  m_pMainMenuDlg = std::make_unique<CMainMenuDlg>(this);
  g_pMainMenuDlg = m_pMainMenuDlg.get();
  m_pMainMenuDlg->Create();
}

void CPellamView::DoDataExchange(bool save) {
  (void)save;
  DDX_Control(IDC_RESTORE_DEFAULTS, m_btnRestoreDefaults);
  DDX_Control(IDC_RETURN_TO_MAIN_MENU, m_btnReturn);
  DDX_Control(IDC_TAB, m_TabCtrl);
}

void CPellamView::OnInitialUpdate() {
  g_iCurrentTab = 0;
  for (int i = 0; i < 8; ++i) m_TabCtrl.InsertItem(i, kAllTabs[i]);
  // The printer-status items follow the model of the selected box.
  if (auto* frame = dynamic_cast<ui::CFrameWnd*>(GetParent())) {
    frame->OnUpdateCommand(ID_PARALLEL_PORT1_STATUS, [](ui::CCmdUI& item) { item.Enable(true); });
    // While a box is open its own model counts: a browse meanwhile checks other boxes.
    frame->OnUpdateCommand(ID_PARALLEL_PORT2_STATUS,
                           [this](ui::CCmdUI& item) { item.Enable(ModelHasParallelPort(ShownModelType(), 2)); });
    frame->OnUpdateCommand(ID_PARALLEL_PORT3_STATUS,
                           [this](ui::CCmdUI& item) { item.Enable(ModelHasParallelPort(ShownModelType(), 3)); });
    // The test-page items follow the same rule: a page for a port the box lacks is never asked.
    frame->OnUpdateCommand(ID_PRINT_TEST_PAGE1, [](ui::CCmdUI& item) { item.Enable(true); });
    frame->OnUpdateCommand(ID_PRINT_TEST_PAGE2,
                           [this](ui::CCmdUI& item) { item.Enable(ModelHasParallelPort(ShownModelType(), 2)); });
    frame->OnUpdateCommand(ID_PRINT_TEST_PAGE3,
                           [this](ui::CCmdUI& item) { item.Enable(ModelHasParallelPort(ShownModelType(), 3)); });
    frame->OnCommand(ID_DEVICE_INFORMATION, [this] { OnDeviceInformation(); });
    frame->OnCommand(ID_RESET_DEVICE, [this] { OnResetDevice(); });
    frame->OnCommand(ID_RESTORE_FACTORY_DEFAULT, [this] { OnRestoreFactoryDefault(); });
    frame->OnCommand(ID_PARALLEL_PORT1_STATUS, [this] { OnParallelPortStatus(1); });
    frame->OnCommand(ID_PARALLEL_PORT2_STATUS, [this] { OnParallelPortStatus(2); });
    frame->OnCommand(ID_PARALLEL_PORT3_STATUS, [this] { OnParallelPortStatus(3); });
    frame->OnCommand(ID_PRINT_TEST_PAGE1, [this] { OnPrintTestPage(1); });
    frame->OnCommand(ID_PRINT_TEST_PAGE2, [this] { OnPrintTestPage(2); });
    frame->OnCommand(ID_PRINT_TEST_PAGE3, [this] { OnPrintTestPage(3); });
    frame->OnCommand(ID_SEND_DIRECT_COMMAND, [this] { OnSendDirectCommand(); });
    frame->OnCommand(ID_APP_ABOUT, [this] { OnAppAbout(); });
    frame->OnCommand(ID_ADD_CROSS_SEGMENT_PRINT_SERVER, [this] { OnAddCrossSegmentPrintServer(); });
    frame->OnCommand(ID_REINITIALIZE_LAN, [this] { OnReinitializeLan(); });
  }
  // The browse and the device checks work on the tree, so it exists (hidden) from the start.
  CreateDeviceTree();
  m_nTimer = kTimerId;
  SetTimer(kTimerId, kTimerMs);
}

void CPellamView::DestroyWindow() {
  KillTimer(m_nTimer);
  CFormView::DestroyWindow();
}

void CPellamView::OnTimer(UINT id) {
  (void)id;
  ++m_iBrowseTicks;
  ++m_iRefreshTicks;
  const int delay = CComMethod::GetRefreshDelay();
  if (m_iRefreshTicks > delay && m_bFirstBrowseDone == 0) {
    m_bFirstBrowseDone = 1;
    OnBrowseMessage();
  }
}

void CPellamView::OnBrowseMessage() {
  ui::CWaitCursor wait;
  BrowsePrintServers();
}

void CPellamView::BrowsePrintServers() {
  if (!CanBrowse()) return;
  CMainMenuDlg* list = m_pMainMenuDlg.get();
  BrowseAllPrintServerData lists;
  {
    ui::CWaitCursor wait;
    m_iResult = TheUtility().PS_Browse(lists, "PS");
  }
  if (m_iResult != 0) {
    // The console stays: the user may browse again or change the protocols.
    CComMethod::ShowResult(m_iResult);
    return;
  }
  m_DeviceTree.DeleteAllItems();
  for (auto& name : g_szDeviceNames) name.clear();
  if (list) list->ClearList();
  auto d = lists.szDefaultName.begin();
  auto n = lists.szDeviceName.begin();
  auto m = lists.szPortType.begin();
  for (int j = 0; d != lists.szDefaultName.end() && j < kMaxListedDevices; ++j, ++d) {
    const std::string deviceName = n != lists.szDeviceName.end() ? *n++ : std::string();
    const std::string model = m != lists.szPortType.end() ? *m++ : std::string();
    if (j == 0) {
      g_szDefaultName = *d;
      g_szDeviceName = deviceName;
    }
    if (list) list->AddDevice(j, *d, deviceName);
    bool found = false;
    for (int row = 0; row < m_DeviceTree.GetCount() && !found; ++row) {
      std::string text;
      m_DeviceTree.GetCellText(row, 0, text);
      found = text == *d;
    }
    if (!d->empty() && !found) {
      std::string upperDefault = *d, upperDevice = deviceName;
      for (char& c : upperDefault) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
      for (char& c : upperDevice) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
      const int row = m_DeviceTree.AddItem(upperDefault);
      m_DeviceTree.SetCellText(row, 1, upperDevice);
      m_DeviceTree.SetCellText(row, 2, model);
    }
  }
  if (list && list->List().GetItemCount() > 0) {
    list->List().SetItemState(0, ui::LVIS_SELECTED, ui::LVIS_SELECTED);
    list->List().SetItemState(0, ui::LVIS_FOCUSED, ui::LVIS_FOCUSED);
  }
  m_DeviceTree.SetOption183(m_DeviceTree.GetOption182());
  m_DeviceTree.SetCurSel(0);
  g_iSelectedItem = 0;
  if (Tracing()) {
    std::fprintf(stderr, "tollard: list shown %d\n", list ? list->List().GetItemCount() : 0);
    std::fflush(stderr);
  }
  SelectDevice();
  m_iBrowseTicks = 0;
}

void CPellamView::SelectDevice() {
  CPJLUtility& utility = TheUtility();
  while (m_DeviceTree.GetCount() > 0) {
    int row = m_DeviceTree.GetCurSel();
    if (row < 0) row = 0;
    g_iSelectedItem = row;
    std::string name;
    m_DeviceTree.GetCellText(row, 0, name);
    // The check asks whether the box answers; the protocol and system records it reads are not
    // kept (an opened box's records are never touched here), only the model type.
    config::ProtocolData protocols;
    config::SystemConfigurationData system;
    {
      ui::CWaitCursor wait;
      m_iResult = utility.mGetDeviceProtocol(name, &protocols);
    }
    CComMethod::ShowResult(m_iResult);
    if (m_iResult == 0) {
      {
        ui::CWaitCursor wait;
        m_iResult = utility.mGetSystemConfiguration(name, &system);
      }
      CComMethod::ShowResult(m_iResult);
    }
    if (m_iResult == 0) {
      {
        ui::CWaitCursor wait;
        m_iResult = utility.mGetDevicePortType(name, &g_iModelType);
      }
      CComMethod::ShowResult(m_iResult);
    }
    if (m_iResult == 0) return;
    m_DeviceTree.DeleteItem(row);
    m_DeviceTree.SetCurSel(row > 0 ? row - 1 : 0);
  }
}

void CPellamView::OpenDevice(const OpenBox& box) {
  m_OpenBox = box;
  mdsProtocolData = box.protocols;
  m_Layout = LayoutTabs(box.protocols, box.firmwareNumber);
  m_bDeviceOpen = true;
  m_TabCtrl.DeleteAllItems();
  for (std::size_t i = 0; i < m_Layout.size(); ++i) m_TabCtrl.InsertItem(static_cast<int>(i), m_Layout[i]);
  g_iCurrentTab = 0;
  m_TabCtrl.SetCurSel(0);
}

int CPellamView::ShownModelType() const { return m_bDeviceOpen ? m_OpenBox.modelType : g_iModelType; }

void CPellamView::RenameOpenBox(const std::string& deviceName) {
  m_OpenBox.deviceName = deviceName;
  g_szDeviceName = deviceName;
}

void CPellamView::OpenBoxRenamedByQuick(const std::string& deviceName) {
  RenameOpenBox(deviceName);
  gdsSystemConfigurationData.szDeviceName = deviceName;
  if (g_pCurrentPage == &g_SystemPage && g_SystemPage.GetSafeHwnd() != nullptr) {
    g_SystemPage.m_editDeviceName.SetWindowText(deviceName);
  }
}

void CPellamView::ShowPage(int tab) {
  if (g_pCurrentPage) g_pCurrentPage->DestroyWindow();
  // The layout was worked out when the box was opened; a tab beyond it shows nothing.
  if (!m_bDeviceOpen || tab < 0 || tab >= static_cast<int>(m_Layout.size())) return;
  const PageSlot* slot = FindPageSlot(m_Layout[static_cast<std::size_t>(tab)]);
  if (slot == nullptr) return;
  CSettingsPage& page = *slot->page;
  page.m_szDefaultName = m_OpenBox.defaultName;
  page.m_szSelectedDevice = m_OpenBox.deviceName;
  page.m_pHost = this;
  if (&page == &g_SystemPage) {
    g_SystemPage.m_iSelectedItem = g_iSelectedItem;
    g_SystemPage.m_pDeviceTree = &m_DeviceTree;
  }
  g_pCurrentPage = &page;
  page.Create(this);
  // A page that could not start has told why and shows nothing.
  if (page.StartFailed()) {
    page.DestroyWindow();
    return;
  }
  // Below the tab row, inside the tab control.
  if (QWidget* w = page.GetSafeHwnd()) {
    const QWidget* tabs = m_TabCtrl.GetSafeHwnd();
    const QRect area = tabs ? tabs->geometry() : QRect();
    const int tabRow = tabs ? tabs->sizeHint().height() : 0;
    w->move(area.left() + 6, area.top() + tabRow + 6);
    w->raise();
  }
  page.ShowWindow(ui::SW_SHOWNORMAL);
}

void CPellamView::FocusTabControl() { m_TabCtrl.SetFocus(); }

void CPellamView::FocusRestoreDefaults() { m_btnRestoreDefaults.SetFocus(); }

ui::LRESULT CPellamView::OnSelchangingTab(ui::NMHDR* info) {
  (void)info;
  g_iCurrentTab = m_TabCtrl.GetCurSel();
  if (ValidateAndStorePage(g_iCurrentTab) != 0) return 0;
  // A refused input keeps its page on show.
  m_TabCtrl.SetCurSel(g_iCurrentTab);
  return 1;
}

ui::LRESULT CPellamView::OnSelchangeTab(ui::NMHDR* info) {
  (void)info;
  if (g_pCurrentPage) g_pCurrentPage->DestroyWindow();
  g_iCurrentTab = m_TabCtrl.GetCurSel();
  ShowPage(g_iCurrentTab);
  return 0;
}

void CPellamView::OnReturnToMainMenu() {
  const bool wasOpen = m_bDeviceOpen;
  m_bDeviceOpen = false;
  ResumeScanner();
  g_iCurrentTab = m_TabCtrl.GetCurSel();
  if (m_pMainMenuDlg) m_pMainMenuDlg->ShowWindow(ui::SW_RESTORE);
  if (g_pCurrentPage) g_pCurrentPage->DestroyWindow();
  if (ui::CFrameWnd* frame = MainFrame()) frame->ShowWindow(ui::SW_HIDE);
  // A renamed box gets its new name in its own row, which is found again by its default name
  // (the list may have been browsed or clicked meanwhile).
  if (wasOpen && m_OpenBox.deviceName != m_OpenBox.listedName && m_pMainMenuDlg) {
    const int rows = m_pMainMenuDlg->List().GetItemCount();
    for (int row = 0; row < rows && row < kMaxListedDevices; ++row) {
      if (g_szDefaultNames[static_cast<std::size_t>(row)] == m_OpenBox.defaultName) {
        m_pMainMenuDlg->SetRowText(row, m_OpenBox.deviceName);
        break;
      }
    }
  }
}

void CPellamView::CreateDeviceTree() {
  m_DeviceTree.Create(ui::WS_CHILD | 0x24, QRect(), this, IDC_DEVICE_TREE);
  m_DeviceTree.ShowWindow(ui::SW_HIDE);
  m_DeviceTree.SetOption91(1);
  m_DeviceTree.SetOption62(0);
  m_DeviceTree.SetOption73(0);
  m_DeviceTree.SetOption95(1);
  m_DeviceTree.SetOption115(1);
  const ui::SftColumn columns[3] = {{135, platform::LoadString(IDS_DEFAULT_NAME_COLUMN)},
                                    {188, platform::LoadString(IDS_DEVICE_NAME_COLUMN)},
                                    {-1, platform::LoadString(IDS_PRINTER_PORT_COLUMN)}};
  m_DeviceTree.SetColumns(3, columns);
  m_DeviceTree.SetOption171(5);
  m_DeviceTree.SetOption173(1);
  m_DeviceTree.SetOption143(0);
  m_DeviceTree.SetOption148("");
}

// ---- Device commands of the frame ---------------------------------------------------------------
// They act on the box the view opened, never on whatever the device list selects meanwhile.

void CPellamView::OnDeviceInformation() {
  if (!m_bDeviceOpen) return;
  CDeviceInformationDlg dlg(TheUtility(), this);
  dlg.m_szDefaultName = m_OpenBox.defaultName;
  dlg.m_szDeviceName = m_OpenBox.deviceName;
  dlg.DoModal();
}

void CPellamView::OnResetDevice() {
  if (!m_bDeviceOpen) return;
  if (platform::MessageBoxById(IDS_CONFIRM_RESET, platform::MB_YESNO) != platform::IDYES) return;
  {
    ui::CWaitCursor wait;
    m_iResult = TheUtility().mResetDevice(m_OpenBox.defaultName);
  }
  CComMethod::ShowResult(m_iResult);
}

void CPellamView::OnRestoreFactoryDefault() {
  if (!m_bDeviceOpen) return;
  if (platform::MessageBoxById(IDS_CONFIRM_FACTORY_DEFAULT, platform::MB_YESNO) != platform::IDYES) return;
  CPJLUtility& utility = TheUtility();
  const std::string name = m_OpenBox.defaultName;
  {
    ui::CWaitCursor wait;
    m_iResult = utility.mRestoreFactoryDefault(name);
  }
  CComMethod::ShowResult(m_iResult);
  if (m_iResult != 0) {
    OnReturnToMainMenu();
    return;
  }
  // The box now answers under its default name.
  RenameOpenBox(name);
  // Read the box's new settings into fresh records; only a complete read replaces the shown ones,
  // so a failed read never leaves the old values looking current.
  auto all = std::make_unique<config::AllConfigurationData>();
  int result = 0;
  {
    ui::CWaitCursor wait;
    result = utility.mGetAllConfiguration(name, all.get());
  }
  m_iResult = result;
  if (result != 0) {
    CComMethod::ShowResult(result);
    OnReturnToMainMenu();
    return;
  }
  StoreConfiguration(*all);
  gdsSystemConfigurationData.szDeviceName = name;
  gdsNetwareConfigurationData.szPrintServerName = name;
  gdsNetwareConfigurationData.szDeviceName = name;
  g_iCurrentTab = m_TabCtrl.GetCurSel();
  ShowPage(g_iCurrentTab);
}

void CPellamView::OnParallelPortStatus(int port) {
  if (!m_bDeviceOpen || port < 1 || port > 3) return;
  RunPrinterStatusDialog(TheUtility(), m_OpenBox.deviceName, m_OpenBox.defaultName, port,
                         gdsPhysicalPortConfigurationData[port - 1].szPortName);
}

void CPellamView::OnPrintTestPage(int port) {
  if (!m_bDeviceOpen || port < 1 || port > 3) return;
  {
    ui::CWaitCursor wait;
    m_iResult = TheUtility().mPrintTestPage(m_OpenBox.defaultName, port);
  }
  device_dialogs::ReportResult(m_iResult);
}

void CPellamView::OnSendDirectCommand() {
  if (!m_bDeviceOpen) return;
  CSendDirectCommandDlg dlg(TheUtility(), this);
  dlg.m_szDefaultName = m_OpenBox.defaultName;
  dlg.DoModal();
}

void CPellamView::OnAppAbout() {
  CAboutDlg dlg(this);
  dlg.DoModal();
}

void CPellamView::OnAddCrossSegmentPrintServer() {
  CAddCrossSegmentPrintServerDlg dlg(TheUtility(), this);
  dlg.m_pTree = &m_DeviceTree;
  if (dlg.DoModal() != ui::IDOK) return;
  ui::CWaitCursor wait;
  BrowsePrintServers();
}

void CPellamView::OnReinitializeLan() {
  if (!ReinitializeLan(&m_iResult)) return;
  ui::CWaitCursor wait;
  BrowsePrintServers();
}

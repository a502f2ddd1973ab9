#include "port_adder/printer_select_dlg.h"

#include <QAction>
#include <QMenu>
#include <QTimer>
#include <QWidget>

#include "platform/message_sink.h"
#include "platform/process/process.h"
#include "ui/services.h"

namespace dapsel {

namespace {

ui::DialogTemplate PrinterSelectTemplate() {
  using ui::Kind;
  ui::DialogTemplate t;
  t.id = IDD_PRINTER_SELECT;
  t.caption = "Printer Select";
  t.cx = 232;
  t.cy = 178;
  t.controls = {
      {IDC_TREE, Kind::TreeView, "Tree1", ui::WS_TABSTOP, 7, 7, 160, 146},
      {ui::IDOK, Kind::DefButton, "Add", ui::WS_TABSTOP, 175, 7, 50, 14},
      {IDC_REFRESH, Kind::Button, "Refresh", ui::WS_TABSTOP, 175, 25, 50, 14},
      {ui::IDCANCEL, Kind::Button, "End", ui::WS_TABSTOP, 175, 43, 50, 14},
      {IDC_STATUS, Kind::Static, " ", 0, 7, 158, 218, 12},
  };
  return t;
}

ui::DialogTemplate AboutTemplate() {
  using ui::Kind;
  return {IDD_ABOUTBOX, "About Dapsel", "MS Sans Serif", 8, 217, 55, 0,
          {{-1, Kind::Picture, "128", 0, 11, 17, 20, 20},
           {IDC_ABOUT_VERSION, Kind::Static, "", 0, 40, 10, 119, 8},
           {-1, Kind::Static, "Makes a port of a print server a printer port.", 0, 40, 25, 170, 8},
           {ui::IDOK, Kind::DefButton, "OK", ui::WS_TABSTOP | ui::WS_GROUP, 160, 36, 50, 14}}};
}

}  // namespace

const char* DapselVersionText() { return "Dapsel Version 1.0"; }

CAboutDlg::CAboutDlg(ui::CWnd* parent) : ui::CDialog(AboutTemplate(), parent) {}

BOOL CAboutDlg::OnInitDialog() {
  SetDlgItemText(IDC_ABOUT_VERSION, DapselVersionText());
  return 1;
}

CPrinterSelectDlg::CPrinterSelectDlg(int protocolMask, ui::CWnd* parent)
    : ui::CDialog(PrinterSelectTemplate(), parent), protocolMask_(protocolMask) {
  OnCommand(IDC_REFRESH, ui::BN_CLICKED, &CPrinterSelectDlg::OnRefresh);
  start = [](const char* commandLine, unsigned show) { return WinExec(commandLine, show); };
}

void CPrinterSelectDlg::DoDataExchange(bool save) {
  (void)save;
  DDX_Control(IDC_TREE, m_tree);
}

BOOL CPrinterSelectDlg::OnInitDialog() {
  platform::MessageBoxById(122, platform::MB_OK);
  // The window menu gets a separator and the About item.
  const std::string about = platform::LoadString(101);
  if (QWidget* w = GetSafeHwnd(); w != nullptr && !about.empty()) {
    systemMenu_ = new QMenu(w);
    systemMenu_->addSeparator();
    QAction* item = systemMenu_->addAction(QString::fromStdString(about));
    QObject::connect(item, &QAction::triggered, w, [this] { OnSysCommand(IDM_ABOUTBOX); });
    w->setContextMenuPolicy(Qt::CustomContextMenu);
    QObject::connect(w, &QWidget::customContextMenuRequested, w,
                     [this, w](const QPoint& at) { systemMenu_->popup(w->mapToGlobal(at)); });
  }
  SetIcon(128);
  images_ = ui::CImageList{};
  images_.SetSize(32, 16);
  for (int id = 132; id <= 146; ++id) images_.Add(id);
  m_tree.SetImageList(&images_);
  // The first browse runs once the dialog is on the screen.
  if (QWidget* w = GetSafeHwnd()) QTimer::singleShot(0, w, [this] { OnRefresh(); });
  return 1;
}

void CPrinterSelectDlg::OnSysCommand(int id) {
  if ((id & 0xFFF0) != IDM_ABOUTBOX) return;
  CAboutDlg about(this);
  about.DoModal();
}

void CPrinterSelectDlg::OnRefresh() {
  ui::CWaitCursor wait;
  SetDlgItemText(IDC_STATUS, protocolMask_ == TYPE_TCPIP ? "Browsing Print Server by TCP/IP..."
                                                         : "Browsing Print Server by NetBEUI...");
  m_tree.DeleteAllItems();
  itemCount_ = 0;
  servers_.clear();
  servers_ = browse ? browse() : std::vector<ServerNode>{};
  if (servers_.empty()) platform::MessageBoxById(103, platform::MB_ICONWARNING);
  SetDlgItemText(IDC_STATUS, " ");
  std::vector<ui::HTREEITEM> roots;
  for (std::size_t n = 0; n < servers_.size(); ++n) {
    const ServerNode& node = servers_[n];
    ui::HTREEITEM root = m_tree.InsertItem(std::string(node.deviceName, strnlen(node.deviceName, sizeof node.deviceName)),
                                           kServerImage, kServerImage, ui::TVI_ROOT,
                                           n == 0 ? ui::TreeInsert::First : ui::TreeInsert::Last);
    // Every item knows its server, whatever the servers' names.
    m_tree.SetItemData(root, static_cast<std::intptr_t>(n));
    ++itemCount_;
    roots.push_back(root);
    for (const std::string& port : node.portTexts) {
      ui::HTREEITEM item = m_tree.InsertItem(port, kPortImage, kPortImage, root);
      m_tree.SetItemData(item, static_cast<std::intptr_t>(n));
      ++itemCount_;
    }
  }
  for (auto it = roots.rbegin(); it != roots.rend(); ++it) m_tree.Expand(*it, ui::TVE_EXPAND);
}

void CPrinterSelectDlg::OnOK() {
  ui::HTREEITEM item = m_tree.GetSelectedItem();
  const std::string text = item ? m_tree.GetItemText(item) : std::string();
  const auto n = item ? m_tree.GetItemData(item) : -1;
  if (item == nullptr || m_tree.GetParentItem(item) == nullptr || n < 0 ||
      static_cast<std::size_t>(n) >= servers_.size()) {
    platform::MessageBoxById(104, platform::MB_OK);
    return;
  }
  AddSelectedPort(servers_[static_cast<std::size_t>(n)], text, addPort, start);
  // The dialog stays open for the next port.
}

}  // namespace dapsel

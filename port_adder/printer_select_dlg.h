// The "Printer Select" dialog: a tree with one item per print server and one item per port under
// it; "Refresh" browses again, "Add" makes the selected port a printer port.
#pragma once
#include <vector>

#include "port_adder/port_adder.h"
#include "ui/dialog.h"
#include "ui/tree_ctrl.h"

class QMenu;

namespace dapsel {

constexpr int IDD_ABOUTBOX = 100;
constexpr int IDC_ABOUT_VERSION = 1000;
constexpr int IDM_ABOUTBOX = 16;  // the window menu's About command
constexpr int IDD_PRINTER_SELECT = 102;
constexpr int IDC_TREE = 1000;
constexpr int IDC_REFRESH = 1001;
constexpr int IDC_STATUS = 1002;
// Pictures of the tree's image list (bitmaps 132 to 146); servers use the fifth, ports the sixth.
constexpr int kServerImage = 4;
constexpr int kPortImage = 5;

// The About box: the program's picture, its name and version, OK.
class CAboutDlg : public ui::CDialog {
 public:
  explicit CAboutDlg(ui::CWnd* parent = nullptr);
  BOOL OnInitDialog() override;
};
const char* DapselVersionText();

class CPrinterSelectDlg : public ui::CDialog {
 public:
  explicit CPrinterSelectDlg(int protocolMask, ui::CWnd* parent = nullptr);

  BOOL OnInitDialog() override;
  void OnOK() override;  // "Add"
  void OnRefresh();
  void DoDataExchange(bool save) override;
  // A command of the window menu (the stand-in of the system menu): 16 shows the About box.
  void OnSysCommand(int id);
  // The window menu: a separator and "&About Dapsel..." (string 101), on the window's context
  // menu; null when string 101 is empty or the window is not built.
  QMenu* systemMenu() const { return systemMenu_; }

  // Replaceable for tests: the browse, the spooler's AddPortA and the program start.
  std::function<std::vector<ServerNode>()> browse = BrowseServers;
  AddPortFn addPort = AddPortA;
  StartFn start;

  ui::CTreeCtrl& tree() { return m_tree; }
  const std::vector<ServerNode>& servers() const { return servers_; }
  int itemCount() const { return itemCount_; }

 private:
  int protocolMask_;
  ui::CTreeCtrl m_tree;
  ui::CImageList images_;
  std::vector<ServerNode> servers_;
  int itemCount_ = 0;
  QMenu* systemMenu_ = nullptr;  // owned by the window
};

}  // namespace dapsel

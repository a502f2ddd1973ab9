// The settings view of the main frame: the tab row of the box opened with Advanced, the
// "Return to Main Menu" button, the console's 100 ms timer (which runs the first browse), the
// browse itself and the tree of listed devices. It creates the device-list dialog.
#pragma once
#include <memory>
#include <string>
#include <vector>

#include "console_pages/settings_page.h"
#include "device_client/core/config/config_records.h"
#include "ui/frame.h"
#include "ui/sft_tree.h"

class CMainMenuDlg;

class CPellamView : public ui::CFormView, public CPageHost {
 public:
  CPellamView();
  ~CPellamView() override;

  // Creates the device-list dialog (before the view's own window).
  void PreCreateWindow();
  void OnInitialUpdate() override;
  void DestroyWindow() override;
  void OnTimer(UINT id) override;
  void DoDataExchange(bool save) override;

  void OnBrowseMessage();
  // Fills the device list and the device tree from the discovery cache and the registry lists.
  void BrowsePrintServers();
  // False while a browse would be refused as too soon after the last successful one.
  bool CanBrowse() const { return m_iBrowseTicks >= kMinBrowseTicks; }
  // Checks the current device of the tree; a box that does not answer is dropped from the tree and
  // the one before it is tried, until one answers or the tree is empty.
  void SelectDevice();
  void ShowPage(int tab);
  // Reads the page of tab `iTab` back into the records: 1 stored (or no page on that tab), 0 after
  // the message of a refused input.
  int ValidateAndStorePage(int iTab);
  // The pages hand the focus to the view's tab row and its "Restore to Defaults" button.
  void FocusTabControl() override;
  void FocusRestoreDefaults() override;
  void OnReturnToMainMenu();

  // Save To Device (1073) and Restore to Defaults (1075), and the routines around them
  // (view_save.cpp).
  void OnSaveToDevice();
  void OnRestoreDefaults();
  void OnClose();
  // 1 when the addresses can be written; 0 after the message that refuses them.
  int ValidateIpMaskGateway(const std::string& ip, const std::string& mask, const std::string& gateway);
  // Joins the wireless page's key-byte edits into the record's keys (by its key length); returns 0.
  int AssembleWepKeys();
  static void PadKeyByte(std::string& text);
  static int HasNonDigit(const std::string& text);
  static void AppendHexBytes(const unsigned char* bytes, int count, std::string& out);

  // The box Advanced opened: the view keeps its own copy, so a browse or a click in the device list
  // while the box is open never turns a command of the view onto another box.
  struct OpenBox {
    std::string defaultName;
    std::string deviceName;
    std::string listedName;  // the device name its list row showed when it was opened
    int modelType = 0;
    int firmwareNumber = 0;
    config::ProtocolData protocols{};
  };
  // Called by Advanced once the box answered: takes the key and works out the tab set once.
  void OpenDevice(const OpenBox& box);
  bool IsDeviceOpen() const { return m_bDeviceOpen; }
  // The opened box was given a new device name (by a save or a factory default): its list row
  // shows it on "Return to Main Menu".
  void RenameOpenBox(const std::string& deviceName);
  // Quick renamed the opened box: its System values keep what the pages stored, but the name is
  // the box's new one (a save would otherwise name it back).
  void OpenBoxRenamedByQuick(const std::string& deviceName);
  const OpenBox& OpenedBox() const { return m_OpenBox; }
  // The model type the printer-status items follow: the opened box's, else the selection's.
  int ShownModelType() const;

  // The frame's device commands.
  void OnDeviceInformation();
  void OnResetDevice();
  void OnRestoreFactoryDefault();
  void OnParallelPortStatus(int port);
  // Prints the box's test page on parallel port 1, 2 or 3; a failure shows its message.
  void OnPrintTestPage(int port);
  void OnSendDirectCommand();
  void OnAppAbout();
  void OnAddCrossSegmentPrintServer();
  void OnReinitializeLan();
  void CreateDeviceTree();

  ui::CSftTree& DeviceTree() { return m_DeviceTree; }
  ui::CTabCtrl& Tabs() { return m_TabCtrl; }
  ui::CButton& RestoreDefaultsButton() { return m_btnRestoreDefaults; }
  // The opened box's tab texts.
  const std::vector<std::string>& Layout() const { return m_Layout; }
  int LastResult() const { return m_iResult; }
  int BrowseTicks() const { return m_iBrowseTicks; }
  bool FirstBrowseDone() const { return m_bFirstBrowseDone != 0; }

  static constexpr UINT kTimerId = 1;
  static constexpr UINT kTimerMs = 100;
  static constexpr int kMinBrowseTicks = 2;

 private:
  ui::LRESULT OnSelchangingTab(ui::NMHDR* info);
  ui::LRESULT OnSelchangeTab(ui::NMHDR* info);

  ui::CButton m_btnRestoreDefaults;
  ui::CButton m_btnReturn;
  ui::CTabCtrl m_TabCtrl;
  int m_bFirstBrowseDone = 0;
  int m_iResult = 0;
  // The opened box's protocol record, which Save To Device hands to the builder: set when the box
  // is opened and replaced only by a complete answer from that box.
  config::ProtocolData mdsProtocolData;
  int m_iBrowseTicks = 3;
  UINT m_nTimer = 0;
  int m_iRefreshTicks = 0;
  ui::CSftTree m_DeviceTree;
  OpenBox m_OpenBox;
  std::vector<std::string> m_Layout;  // the open box's tab texts
  bool m_bDeviceOpen = false;
  std::unique_ptr<CMainMenuDlg> m_pMainMenuDlg;
};

// Whether a box of this model type has parallel port 1, 2 or 3 (the printer-status menu items).
bool ModelHasParallelPort(int modelType, int port);

// The tab texts of a box (first matching row of the layout table): W wireless flag, IPX and AT
// capabilities, N firmware number.
std::vector<std::string> LayoutTabs(const config::ProtocolData& protocols, int firmwareNumber);

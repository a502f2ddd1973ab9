// The device-list dialog: the window the user sees while the console runs. It lists the print
// servers of the last browse and opens one of them (Advanced), renames one (Quick), browses again
// and changes the connected protocols. It owns the selection state (console_state.h).
#pragma once
#include <string>

#include "device_client/core/config/config_records.h"
#include "ui/dialog.h"

class CPellamView;

class CMainMenuDlg : public ui::CDialog {
 public:
  explicit CMainMenuDlg(CPellamView* view);
  ~CMainMenuDlg() override;

  // Modeless creation, without a parent window; visible at once.
  bool Create();
  void AddDevice(int index, const std::string& defaultName, const std::string& deviceName);
  void ClearList();
  // Shows a new name in a row (after a rename).
  void SetRowText(int row, const std::string& text);

  BOOL OnInitDialog() override;
  void OnCancel() override;  // Exit
  void DoDataExchange(bool save) override;

  void OnBrowse();
  void OnAdvanced();
  void OnQuick();
  void OnProtocol();
  ui::LRESULT OnDblclkDeviceList(ui::NMHDR* info);
  ui::LRESULT OnItemchangedDeviceList(ui::NMHDR* info);

  ui::CListCtrl& List() { return m_DeviceList; }
  const config::ProtocolData& Protocols() const { return mdsProtocolData; }

 private:
  config::ProtocolData mdsProtocolData;
  CPellamView* m_pView;
  ui::CButton m_btnAdvanced;
  ui::CButton m_btnQuick;
  ui::CListCtrl m_DeviceList;
  ui::CImageList m_ImageList;
};

ui::DialogTemplate MainMenuTemplate();

// The base of the settings view's pages: what every page holds (the box's names, the tab-out
// state of the keyboard rule, the model type), the keys a page keeps to itself (Enter and Esc never
// end a page; Ctrl alone hands the focus to the view's tab row; Tab from the page's last control
// goes on to the view's "Restore to Defaults" button) and the way a page gives up at start.
#pragma once
#include <string>
#include <vector>

#include "ui/dialog.h"

class CPJLUtility;

// What the view hosting the pages does for them; the view implements it, so the pages need no
// part of the console itself.
class CPageHost {
 public:
  virtual ~CPageHost() = default;
  // The view's tab control (1001) and its "Restore to Defaults" button (1075) take the focus.
  virtual void FocusTabControl() = 0;
  virtual void FocusRestoreDefaults() = 0;
};

class CSettingsPage : public ui::CDialog {
 public:
  // Every page but the wireless one shows the selected device beside "Selected Device:".
  static constexpr int IDC_SELECTED_DEVICE = 1003;
  // Page size in dialog units.
  static constexpr int kWidth = 290;
  static constexpr int kHeight = 200;

  explicit CSettingsPage(const ui::DialogTemplate& t);

  // Written by the view before it creates the page.
  std::string m_szDefaultName;     // the box's key for every device call of the page
  std::string m_szSelectedDevice;  // the device name the page shows
  CPageHost* m_pHost = nullptr;
  // Tab-out state: 0 idle, 1 armed (Tab pressed on a last control), 3 leave at the next Tab.
  int m_iTabState = 0;
  int m_iModelType = 0;

  BOOL PreTranslateMessage(ui::MSG* pMsg) override;
  // Whether the last OnInitDialog gave up (a device call failed); the page then shows nothing.
  bool StartFailed() const { return m_bStartFailed; }
  // Resets the tab-out state and shows the selected device; pages call it first.
  BOOL OnInitDialog() override;

  // The template of a page: a child window of the page size whose first line is "Selected Device:"
  // with static 1003 beside it, followed by `controls`.
  static ui::DialogTemplate PageTemplate(int id, std::vector<ui::ControlTemplate> controls = {});

 protected:
  // The controls whose focus makes Tab leave the page (none: Tab stays inside the page).
  virtual std::vector<int> LastControls() const { return {}; }
  // Whether the page follows the Tab and Ctrl rules at all (only Esc is kept by a page that does not).
  virtual bool KeepsTabRule() const { return true; }
  // The start-failure path: shows the result's message, ends the page and answers FALSE for
  // OnInitDialog to return.
  BOOL FailStart(int result);
  // The same without a message (the caller has shown one).
  BOOL EndStart();
  void OnEnterKey() {}

 private:
  bool m_bCtrlAlone = false;  // Ctrl is down and no other key came since
  bool m_bStartFailed = false;
};

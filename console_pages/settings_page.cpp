#include "console_pages/settings_page.h"

#include "device_client/settings/com_method.h"

using ui::Kind;

CSettingsPage::CSettingsPage(const ui::DialogTemplate& t) : CDialog(t) {
  // Enter inside a page reaches the dialog as the OK command: a page never ends on it.
  OnCommand(ui::IDOK, ui::BN_CLICKED, &CSettingsPage::OnEnterKey);
}

ui::DialogTemplate CSettingsPage::PageTemplate(int id, std::vector<ui::ControlTemplate> controls) {
  ui::DialogTemplate t{id, "", "MS Sans Serif", 8, kWidth, kHeight, ui::WS_CHILD, {}};
  t.controls.push_back({-1, Kind::Static, "Selected Device:", 0, 10, 8, 60, 10});
  t.controls.push_back({IDC_SELECTED_DEVICE, Kind::Static, "", 0, 72, 8, 200, 10});
  for (auto& c : controls) t.controls.push_back(std::move(c));
  return t;
}

BOOL CSettingsPage::OnInitDialog() {
  CDialog::OnInitDialog();
  m_iTabState = 0;
  m_bCtrlAlone = false;
  m_bStartFailed = false;
  SetDlgItemText(IDC_SELECTED_DEVICE, m_szSelectedDevice);
  return TRUE;
}

BOOL CSettingsPage::FailStart(int result) {
  CComMethod::ShowResult(result);
  return EndStart();
}

BOOL CSettingsPage::EndStart() {
  m_bStartFailed = true;
  EndDialog(0);
  return FALSE;
}

BOOL CSettingsPage::PreTranslateMessage(ui::MSG* pMsg) {
  const unsigned key = pMsg->wParam;
  // Esc never closes a page.
  if (key == ui::VK_ESCAPE) return TRUE;
  if (!KeepsTabRule()) return CDialog::PreTranslateMessage(pMsg);
  // Ctrl on its own hands the focus to the view's tabs; Ctrl held with another key (copy, paste,
  // cut in an edit) stays with the control.
  if (key == ui::VK_CONTROL) {
    if (pMsg->message == ui::WM_KEYDOWN) {
      m_bCtrlAlone = true;
    } else if (m_bCtrlAlone) {
      m_bCtrlAlone = false;
      if (m_pHost) m_pHost->FocusTabControl();
    }
  } else if (pMsg->message == ui::WM_KEYDOWN) {
    m_bCtrlAlone = false;
  }
  if (key == ui::VK_TAB && m_iTabState == 3) {
    m_iTabState = 0;
    if (m_pHost) m_pHost->FocusRestoreDefaults();
    return TRUE;
  }
  if (key != ui::VK_TAB && m_iTabState == 1) m_iTabState = 0;
  bool lastHasFocus = false;
  for (int id : LastControls()) {
    const auto* button = dynamic_cast<const ui::CButton*>(GetDlgItem(id));
    if (button && (button->GetState() & ui::BST_FOCUS) != 0) lastHasFocus = true;
  }
  // Tab on a last control arms the state with the press (the page's own order moves on, wrapping
  // to its first control) and leaves the page with the release.
  if (key == ui::VK_TAB && lastHasFocus && m_iTabState == 0 && pMsg->message == ui::WM_KEYDOWN && !pMsg->shift) {
    m_iTabState = 1;
    return CDialog::PreTranslateMessage(pMsg);
  }
  if (key == ui::VK_TAB && m_iTabState == 1) {
    m_iTabState = 0;
    if (m_pHost) m_pHost->FocusRestoreDefaults();
    return TRUE;
  }
  return CDialog::PreTranslateMessage(pMsg);
}

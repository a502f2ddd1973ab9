// Property sheets in wizard mode (the only mode this layer has): pages built from templates shown
// one at a time in a sheet with Back, Next/Finish, Cancel and Help buttons.
//
// The rules pages rely on:
// - `OnSetActive` runs on every activation, forward and back (and for the first page when the sheet
//   opens); a page sets the buttons there with `SetWizardButtons`.
// - `OnWizardNext`/`OnWizardBack` return 0 for the neighbouring page in sheet order, -1 to stay,
//   or the template id of the page to go to (an id no page has keeps the sheet where it is).
// - Leaving a page asks its `OnKillActive` first (FALSE keeps it).
// - `OnWizardFinish` returning TRUE closes the sheet with ID_WIZFINISH; Cancel asks the active
//   page's `OnQueryCancel` and closes with IDCANCEL.
// - Button masks as PSM_SETWIZBUTTONS has them: PSWIZB_BACK 1, PSWIZB_NEXT 2, PSWIZB_FINISH 4
//   (Finish replaces Next), PSWIZB_DISABLEDFINISH 8 (Finish shown disabled).
// - Every page paints the banner picture of its `m_nBitmapId` into its static control 1000,
//   stretched over the control; a missing picture leaves the control empty.
#pragma once
#include <QPointer>
#include <functional>
#include <string>
#include <vector>

#include "ui/dialog.h"

namespace ui {

constexpr DWORD PSWIZB_BACK = 0x1;
constexpr DWORD PSWIZB_NEXT = 0x2;
constexpr DWORD PSWIZB_FINISH = 0x4;
constexpr DWORD PSWIZB_DISABLEDFINISH = 0x8;

// Buttons of a wizard sheet (PSM_PRESSBUTTON's numbers) and their control ids.
constexpr int PSBTN_BACK = 0;
constexpr int PSBTN_NEXT = 1;
constexpr int PSBTN_FINISH = 2;
constexpr int PSBTN_CANCEL = 5;
constexpr int PSBTN_HELP = 6;
constexpr int ID_WIZBACK = 0x3023;
constexpr int ID_WIZNEXT = 0x3024;
constexpr int ID_WIZFINISH = 0x3025;
constexpr int IDHELP = 9;

// The banner's control on every page.
constexpr int IDC_PAGE_BANNER = 1000;

class CPropertySheet;

class CPropertyPage : public CDialog {
 public:
  explicit CPropertyPage(const DialogTemplate& t);

  virtual BOOL OnSetActive() { return 1; }
  // Leaving the page: saves its data; FALSE keeps the page.
  virtual BOOL OnKillActive();
  virtual LRESULT OnWizardBack() { return 0; }
  virtual LRESULT OnWizardNext() { return 0; }
  virtual BOOL OnWizardFinish() { return 1; }
  virtual BOOL OnQueryCancel() { return 1; }

  CPropertySheet* GetSheet() const { return sheet_; }
  int TemplateId() const { return Template().id; }
  // Draws the banner picture into control 1000 (the pages' paint routine).
  void PaintBanner();

  // The banner picture's resource id.
  int m_nBitmapId = 129;

 private:
  friend class CPropertySheet;
  // Builds the page's controls into the sheet's page area (once) and calls OnInitDialog.
  bool CreatePage(CPropertySheet& sheet, QWidget* host);
  CPropertySheet* sheet_ = nullptr;
};

class CPropertySheet : public CDialog {
 public:
  explicit CPropertySheet(std::string caption, CWnd* parent = nullptr, int selectPage = 0);
  ~CPropertySheet() override;

  void AddPage(CPropertyPage* page);
  void SetWizardMode() { wizard_ = true; }
  bool IsWizard() const { return wizard_; }
  int GetPageCount() const { return static_cast<int>(pages_.size()); }
  CPropertyPage* GetPage(int index) const;
  int GetActiveIndex() const { return active_; }
  CPropertyPage* GetActivePage() const { return GetPage(active_); }
  // The index of the page with that template id, -1 when none.
  int FindPageByTemplate(int templateId) const;

  // Activates the page at `index`: the current page's OnKillActive, then the new one's OnSetActive.
  // False when the index is out of range or the current page refuses to go.
  bool SetActivePage(int index);
  bool SetActivePage(CPropertyPage* page);

  // PSM_SETWIZBUTTONS.
  void SetWizardButtons(DWORD flags);
  DWORD GetWizardButtons() const { return buttons_; }
  // Whether a button (PSBTN_*) is shown and enabled right now.
  bool IsButtonEnabled(int button) const;
  // PSM_PRESSBUTTON: what a click does; a hidden or disabled button does nothing.
  void PressButton(int button);

  // The Help button's and F1's command (the application's ID_HELP handler).
  void SetHelpHandler(std::function<void()> handler) { help_ = std::move(handler); }

  // Modal: builds the sheet, activates the start page and runs until Finish or Cancel;
  // ID_WIZFINISH or IDCANCEL.
  std::intptr_t DoModal() override;

  BOOL OnInitDialog() override;
  void OnOK() override;
  void OnCancel() override;

 private:
  void OnBack();
  void OnNext();
  void OnFinish();
  void OnHelpButton();
  // Goes to what a page's OnWizardNext/OnWizardBack returned.
  void Navigate(LRESULT target, int step);
  void UpdateButtons();
  void ScreenshotWalk();

  std::string caption_;
  std::vector<CPropertyPage*> pages_;
  std::vector<bool> created_;
  QPointer<QWidget> host_;
  int start_ = 0;
  int active_ = -1;
  bool wizard_ = false;
  DWORD buttons_ = PSWIZB_BACK | PSWIZB_NEXT;
  std::function<void()> help_;
};

}  // namespace ui

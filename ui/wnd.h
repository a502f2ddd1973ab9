// Windows and controls of the ui layer. Each control wraps one Qt widget and keeps the Win32
// behaviour the suite's dialogs rely on where Qt differs (see ui/README.md).
// A wrapper whose window was never created answers sensibly: getters return empty/0/-1, setters
// do nothing.
#pragma once
#include <QColor>
#include <QIcon>
#include <QPixmap>
#include <QPointer>
#include <QWidget>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "ui/win32.h"

class QLineEdit;
class QComboBox;
class QAbstractButton;
class QLabel;
class QTabBar;
class QStandardItemModel;
class QAbstractItemView;

namespace ui {

// Control kinds of a dialog template.
enum class Kind {
  Static,      // text label
  Picture,     // bitmap by resource id (text = decimal resource id)
  GroupBox,
  Button,      // push button
  DefButton,   // default push button
  CheckBox,
  Radio,       // auto radio button; a group runs to the next WS_GROUP control
  Edit,
  DropList,    // combo box, list only
  DropDown,    // combo box with an edit
  ListView,    // style LVS_REPORT or LVS_ICON
  Tab,
  Tree,        // the tree/grid control (CSftTree)
  TreeView,    // the common tree-view control (CTreeCtrl)
};

class CWnd {
 public:
  CWnd() = default;
  virtual ~CWnd();
  CWnd(const CWnd&) = delete;
  CWnd& operator=(const CWnd&) = delete;

  QWidget* GetSafeHwnd() const { return w_.data(); }
  int GetDlgCtrlID() const { return id_; }
  CWnd* GetParent() const { return parent_; }

  virtual void SetWindowText(const std::string& text);
  virtual std::string GetWindowText() const;
  int GetWindowTextLength() const { return static_cast<int>(GetWindowText().size()); }
  void EnableWindow(bool enable = true);
  bool IsWindowEnabled() const;
  void ShowWindow(int cmd);
  bool IsWindowVisible() const;
  bool IsIconic() const;
  void SetFocus();
  // Whether this window is its top-level window's focus widget (also while that window is not
  // the active one, as headless tests run).
  bool HasFocus() const;
  void SetForegroundWindow();
  // The window's icon, by picture resource id.
  void SetIcon(int resourceId);
  virtual void DestroyWindow();

  // A child control by id (nullptr when missing).
  CWnd* GetDlgItem(int id) const;
  void SetDlgItemText(int id, const std::string& text);
  std::string GetDlgItemText(int id) const;
  void CheckDlgButton(int id, int check);
  int IsDlgButtonChecked(int id) const;

  // Timers run through the installed TimerService; the window's OnTimer gets the id.
  void SetTimer(UINT id, UINT ms);
  void KillTimer(UINT id);
  virtual void OnTimer(UINT id) { (void)id; }

  // Sends a notification of child `id` to this window's handler table; returns the handler's
  // result (0 when none is registered).
  virtual LRESULT Notify(int id, int code, NMHDR* info);

  // Binds this wrapper to a created widget (used by dialogs, views and Create functions).
  void Attach(QWidget* w, int id, CWnd* parent);

 protected:
  friend class CDialog;
  QPointer<QWidget> w_;
  int id_ = 0;
  CWnd* parent_ = nullptr;
  std::map<int, CWnd*> children_;  // controls by id
  std::vector<std::unique_ptr<CWnd>> owned_;  // wrappers the window created itself
};

class CStatic : public CWnd {
 public:
  // Shows the picture of resource `resourceId` (see ui::LoadPicture).
  void SetBitmap(int resourceId);
};

class CButton : public CWnd {
 public:
  int GetCheck() const;
  void SetCheck(int check);
  // The check state, with BST_FOCUS when the button holds its window's keyboard focus.
  int GetState() const;
};

class CEdit : public CWnd {
 public:
  // Limits what the user can type; a longer text set by the program stays whole. 0 = no limit.
  void LimitText(int chars);
  int GetLimitText() const { return limit_; }
  // Sets the text and always notifies EN_CHANGE, also for the same or an empty text.
  void SetWindowText(const std::string& text) override;
  void SetSel(int start, int end);
  void SetReadOnly(bool readOnly = true);
  void Connect();  // wires the widget's signals (done by the dialog)

 private:
  int limit_ = 0;
  QString last_;
};

class CComboBox : public CWnd {
 public:
  int AddString(const std::string& s);
  int InsertString(int index, const std::string& s);
  int DeleteString(int index);
  void ResetContent();
  int GetCount() const;
  int GetCurSel() const;
  // Programmatic selection: no notification. -1 clears it.
  int SetCurSel(int index);
  std::string GetLBText(int index) const;
  int GetLBTextLen(int index) const { return static_cast<int>(GetLBText(index).size()); }
  // Case-insensitive prefix search from the item after `startAfter` (-1: from the start),
  // wrapping round; CB_ERR when nothing matches.
  int FindString(int startAfter, const std::string& s) const;
  int FindStringExact(int startAfter, const std::string& s) const;
  int SelectString(int startAfter, const std::string& s);
  void SetItemData(int index, std::intptr_t data);
  std::intptr_t GetItemData(int index) const;
  void LimitText(int chars);
  void SetWindowText(const std::string& text) override;
  std::string GetWindowText() const override;
  void ShowDropDown(bool show = true);
  void Connect();

 private:
  int Find(int startAfter, const std::string& s, bool exact) const;
  QComboBox* box() const;
};

class CImageList {
 public:
  // Adds the picture of a resource id; returns its index.
  int Add(int resourceId);
  int Add(const QIcon& icon);
  int GetImageCount() const { return static_cast<int>(icons_.size()); }
  QIcon Icon(int index) const;
  void SetSize(int cx, int cy) { cx_ = cx; cy_ = cy; }
  QSize Size() const { return {cx_, cy_}; }

 private:
  std::vector<QIcon> icons_;
  int cx_ = 32, cy_ = 32;
};

class CListCtrl : public CWnd {
 public:
  int InsertColumn(int col, const std::string& heading, int width = 100);
  int InsertItem(int index, const std::string& text, int image = -1);
  bool SetItemText(int item, int sub, const std::string& text);
  std::string GetItemText(int item, int sub) const;
  int GetItemCount() const;
  bool DeleteItem(int item);
  bool DeleteAllItems();
  // LVIS_SELECTED / LVIS_FOCUSED; changes send LVN_ITEMCHANGED like the user's.
  bool SetItemState(int item, UINT state, UINT mask);
  UINT GetItemState(int item, UINT mask) const;
  int GetNextItem(int start, int flags) const;
  int GetSelectedCount() const;
  void SetItemData(int item, std::intptr_t data);
  std::intptr_t GetItemData(int item) const;
  void SetImageList(CImageList* list);
  void SetBkColor(QColor c);
  void SetTextBkColor(QColor c);
  void SetTextColor(QColor c);
  bool EnsureVisible(int item);
  void Connect(UINT style);

 private:
  QStandardItemModel* model() const;
  QAbstractItemView* view() const;
  void SyncStates();
  std::vector<UINT> states_;
  CImageList* images_ = nullptr;
  QColor textBk_;
};

class CTabCtrl : public CWnd {
 public:
  int InsertItem(int index, const std::string& text);
  bool DeleteItem(int index);
  bool DeleteAllItems();
  int GetItemCount() const;
  int GetCurSel() const;
  // Programmatic selection sends no notification.
  int SetCurSel(int index);
  void Connect();

 private:
  QTabBar* bar() const;
  int current_ = -1;
  bool programmatic_ = false;
};

// A picture by resource id: the project's own drawings compiled into the layer (ui/resources).
QIcon LoadPicture(int resourceId);
// The picture scaled to fit `size` (aspect kept), as static picture controls show it; a null pixmap
// for an unknown id.
QPixmap PicturePixmap(int resourceId, QSize size);

}  // namespace ui

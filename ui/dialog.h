// Dialogs built from templates: a template id, caption, font, size in dialog units, style and a
// table of controls. Dialog units follow the dialog font: x * avgCharWidth / 4, y * height / 8.
#pragma once
#include <QDialog>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "ui/wnd.h"

class QEventLoop;

namespace ui {

class CDialog;

struct ControlTemplate {
  int id = 0;
  Kind kind = Kind::Static;
  std::string text;
  UINT style = 0;  // WS_*, ES_*, LVS_* flags
  int x = 0, y = 0, cx = 0, cy = 0;  // dialog units
  bool visible = true;
};

struct DialogTemplate {
  int id = 0;
  std::string caption;
  std::string font = "MS Sans Serif";  // mapped to the desktop's sans font
  int pointSize = 8;
  int cx = 0, cy = 0;  // dialog units
  UINT style = 0;
  std::vector<ControlTemplate> controls;
};

// Builds the template's controls into `parent`, creating wrappers for every control the owner
// did not bind in DoDataExchange. Shared by dialogs and form views.
void BuildControls(const DialogTemplate& t, QWidget* parent, CDialog& owner);
// Pixel size of dialog units for the template's font.
QSize DialogUnitsToPixels(const DialogTemplate& t, int cx, int cy);

class CDialog : public CWnd {
 public:
  explicit CDialog(const DialogTemplate& t, CWnd* parent = nullptr);
  ~CDialog() override;

  // Modal: shows the dialog, runs a local loop and returns EndDialog's code.
  virtual std::intptr_t DoModal();
  void EndDialog(int result);
  // Modeless.
  bool Create(CWnd* parent = nullptr);
  void DestroyWindow() override;

  virtual BOOL OnInitDialog() { return 1; }
  virtual void OnOK();      // Enter or button 1
  virtual void OnCancel();  // Esc, button 2 or the close box
  virtual void DoDataExchange(bool save) { (void)save; }
  // Sees every key press and release in the dialog before its control does; TRUE swallows it.
  // The base moves Tab and Shift+Tab through the controls of a child dialog (WS_CHILD), wrapping
  // at its ends, as a page inside another window keeps its own tab order; otherwise FALSE.
  virtual BOOL PreTranslateMessage(MSG* pMsg);
  // TRUE for a key the dialog keeps from its window's keyboard shortcuts while the focus is inside
  // it: the key then reaches PreTranslateMessage and the control instead.
  virtual BOOL KeepsShortcutKey(const MSG& msg) {
    (void)msg;
    return FALSE;
  }
  // save = true reads controls into members; false writes members into controls.
  bool UpdateData(bool save = true);

  const DialogTemplate& Template() const { return t_; }
  bool IsModalRunning() const { return running_; }
  int Result() const { return result_; }

  LRESULT Notify(int id, int code, NMHDR* info) override;

 protected:
  // Replaces the template before the window is built (a sheet sizes itself from its pages).
  void SetTemplate(const DialogTemplate& t) { t_ = t; }
  // Handler table: (control id, notification code) -> member function.
  template <class T>
  void OnCommand(int id, int code, void (T::*fn)()) {
    handlers_[{id, code}] = [this, fn](NMHDR*) -> LRESULT {
      (static_cast<T*>(this)->*fn)();
      return 0;
    };
  }
  template <class T>
  void OnNotify(int id, int code, LRESULT (T::*fn)(NMHDR*)) {
    handlers_[{id, code}] = [this, fn](NMHDR* h) -> LRESULT { return (static_cast<T*>(this)->*fn)(h); };
  }
  // Data exchange: binds a wrapper member to a control id (creating it on first use), and
  // a string/int/check member to a control's text.
  void DDX_Control(int id, CWnd& wnd);
  void DDX_Text(bool save, int id, std::string& value);
  void DDX_Text(bool save, int id, int& value);
  void DDX_Check(bool save, int id, int& value);
  void DDX_Radio(bool save, int firstId, int& value);

 private:
  friend void BuildControls(const DialogTemplate&, QWidget*, CDialog&);
  friend class CFormView;
  friend class CPropertyPage;
  bool Build(CWnd* parent);
  void Bind();
  void Teardown();
  bool binding_ = false;
  QEventLoop* loop_ = nullptr;
  DialogTemplate t_;
  std::map<std::pair<int, int>, std::function<LRESULT(NMHDR*)>> handlers_;
  std::map<int, CWnd*> bound_;
  int result_ = 0;
  bool running_ = false;
  bool ended_ = false;
};

// Tests drive modal dialogs through this hook: called once a modal dialog is shown; the hook
// types and clicks and ends the dialog. A dialog the hook leaves open is ended with IDCANCEL, so
// a test never blocks. An empty function removes the hook.
void SetModalHook(std::function<void(CDialog&)> hook);
// Hook called when any dialog (modal or modeless) has been shown and initialised.
void SetShownHook(std::function<void(CDialog&)> hook);

}  // namespace ui

// The document/view shell: an application object, a frame window with a menu and accelerators,
// a document and a form view hosting a dialog template. Commands are routed by id to handler
// tables; update handlers enable, disable or check menu items before a menu opens.
#pragma once
#include <QMainWindow>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "ui/dialog.h"

class QMenu;
class QAction;

namespace ui {

constexpr UINT MF_ENABLED = 0x0;
constexpr UINT MF_GRAYED = 0x1;
constexpr UINT MF_DISABLED = 0x2;
constexpr UINT MF_CHECKED = 0x8;

// A menu definition: items with command ids, separators (id 0, empty text) and sub-menus.
struct MenuItem {
  int id = 0;
  std::string text;  // '&' marks the mnemonic
  std::vector<MenuItem> popup;
};

class CCmdUI {
 public:
  explicit CCmdUI(QAction* a, int id) : action_(a), id_(id) {}
  int ID() const { return id_; }
  void Enable(bool on = true);
  void SetCheck(int check = 1);
  void SetText(const std::string& text);

 private:
  QAction* action_;
  int id_;
};

class CMenu {
 public:
  UINT EnableMenuItem(int id, UINT flags);
  UINT CheckMenuItem(int id, UINT flags);
  QAction* Action(int id) const;

 private:
  friend class CFrameWnd;
  std::map<int, QAction*> actions_;
};

// Accelerators: a key sequence ("Ctrl+S", "F5") to a command id.
struct Accel {
  std::string keys;
  int id = 0;
};

class CDocument {
 public:
  virtual ~CDocument() = default;
  virtual bool OnNewDocument() { return true; }
  void SetTitle(const std::string& t) { title_ = t; }
  const std::string& GetTitle() const { return title_; }
  void SetModifiedFlag(bool m = true) { modified_ = m; }
  bool IsModified() const { return modified_; }

 private:
  std::string title_;
  bool modified_ = false;
};

class CFrameWnd : public CWnd {
 public:
  CFrameWnd();
  ~CFrameWnd() override;
  // Creates the (hidden) frame with its menu and accelerators.
  bool LoadFrame(const std::string& title, const std::vector<MenuItem>& menu,
                 const std::vector<Accel>& accels = {});
  CMenu* GetMenu() { return &menu_; }
  // Called before the frame is created: may set its place and size (pixels).
  virtual void PreCreateWindow(QRect& rect) { (void)rect; }
  // The close box: by default hides the frame and ends the application's loop.
  virtual void OnClose();
  // Runs the command handler of `id` (menu, accelerator or a program's own call).
  bool OnCmdMsg(int id);
  // Calls the update handlers of every item (done before each menu opens).
  void UpdateCommands();
  void SetDocument(CDocument* doc) { doc_ = doc; }
  CDocument* GetActiveDocument() const { return doc_; }
  QMainWindow* Frame() const;

  template <class T>
  void OnCommand(int id, void (T::*fn)()) {
    commands_[id] = [this, fn] { (static_cast<T*>(this)->*fn)(); };
  }
  void OnCommand(int id, std::function<void()> fn) { commands_[id] = std::move(fn); }
  void OnUpdateCommand(int id, std::function<void(CCmdUI&)> fn) { updates_[id] = std::move(fn); }

 private:
  CMenu menu_;
  CDocument* doc_ = nullptr;
  std::map<int, std::function<void()>> commands_;
  std::map<int, std::function<void(CCmdUI&)>> updates_;
};

// A view hosting a dialog template's controls inside the frame, with the dialog's handler table.
class CFormView : public CDialog {
 public:
  explicit CFormView(const DialogTemplate& t) : CDialog(t) {}
  // Builds the controls into the frame's central area and calls OnInitialUpdate.
  bool CreateView(CFrameWnd& frame);
  virtual void OnInitialUpdate() {}
};

// The application object: InitInstance at start, Run the event loop, ExitInstance at the end.
class CWinApp {
 public:
  CWinApp();
  virtual ~CWinApp();
  virtual bool InitInstance() { return true; }
  virtual int ExitInstance() { return exitCode_; }
  // InitInstance; when it succeeds, the event loop until the main window quits; then ExitInstance.
  int Run();
  void Quit(int code = 0);
  CWnd* m_pMainWnd = nullptr;

 protected:
  int exitCode_ = 0;
};
CWinApp* AfxGetApp();

}  // namespace ui

#include "ui/frame.h"

#include <QAction>
#include <QCloseEvent>
#include <QApplication>
#include <QMainWindow>
#include <QMenuBar>

namespace ui {
namespace {
CWinApp* g_app = nullptr;
QString Q(const std::string& s) { return QString::fromStdString(s); }

// The frame's window: the close box goes to the owner's OnClose.
class FrameWidget : public QMainWindow {
 public:
  explicit FrameWidget(CFrameWnd* owner) : owner_(owner) {}
  void Detach() { owner_ = nullptr; }

 protected:
  void closeEvent(QCloseEvent* e) override {
    e->ignore();
    if (owner_) owner_->OnClose();
  }

 private:
  CFrameWnd* owner_;
};

void AddItems(QMenu* menu, const std::vector<MenuItem>& items, CMenu& owner, std::map<int, QAction*>& actions,
              CFrameWnd& frame) {
  for (const MenuItem& it : items) {
    if (!it.popup.empty()) {
      AddItems(menu->addMenu(Q(it.text)), it.popup, owner, actions, frame);
    } else if (it.id == 0 && it.text.empty()) {
      menu->addSeparator();
    } else {
      QAction* a = menu->addAction(Q(it.text));
      int id = it.id;
      QObject::connect(a, &QAction::triggered, a, [&frame, id] { frame.OnCmdMsg(id); });
      actions[id] = a;
    }
  }
}
}  // namespace

void CCmdUI::Enable(bool on) {
  if (action_) action_->setEnabled(on);
}
void CCmdUI::SetCheck(int check) {
  if (!action_) return;
  action_->setCheckable(true);
  action_->setChecked(check != 0);
}
void CCmdUI::SetText(const std::string& text) {
  if (action_) action_->setText(Q(text));
}


QAction* CMenu::Action(int id) const {
  auto it = actions_.find(id);
  return it == actions_.end() ? nullptr : it->second;
}
UINT CMenu::EnableMenuItem(int id, UINT flags) {
  QAction* a = Action(id);
  if (!a) return static_cast<UINT>(-1);
  UINT old = a->isEnabled() ? MF_ENABLED : MF_GRAYED;
  a->setEnabled((flags & (MF_GRAYED | MF_DISABLED)) == 0);
  return old;
}
UINT CMenu::CheckMenuItem(int id, UINT flags) {
  QAction* a = Action(id);
  if (!a) return static_cast<UINT>(-1);
  UINT old = a->isChecked() ? MF_CHECKED : 0;
  a->setCheckable(true);
  a->setChecked((flags & MF_CHECKED) != 0);
  return old;
}

CFrameWnd::CFrameWnd() = default;
CFrameWnd::~CFrameWnd() {
  if (auto* f = dynamic_cast<FrameWidget*>(w_.data())) f->Detach();
  delete w_.data();
}

void CFrameWnd::OnClose() {
  ShowWindow(SW_HIDE);
  if (CWinApp* app = AfxGetApp(); app && app->m_pMainWnd == this) app->Quit(0);
}

QMainWindow* CFrameWnd::Frame() const { return qobject_cast<QMainWindow*>(w_.data()); }

bool CFrameWnd::LoadFrame(const std::string& title, const std::vector<MenuItem>& menu,
                          const std::vector<Accel>& accels) {
  if (w_) return false;
  auto* f = new FrameWidget(this);
  QRect place(100, 100, 640, 480);
  PreCreateWindow(place);
  f->setGeometry(place);
  f->setWindowTitle(Q(title));
  w_ = f;
  for (const MenuItem& top : menu) {
    QMenu* m = f->menuBar()->addMenu(Q(top.text));
    AddItems(m, top.popup, menu_, menu_.actions_, *this);
    QObject::connect(m, &QMenu::aboutToShow, f, [this] { UpdateCommands(); });
  }
  for (const Accel& a : accels) {
    auto* act = new QAction(f);
    act->setShortcut(QKeySequence(Q(a.keys)));
    act->setShortcutContext(Qt::WindowShortcut);
    int id = a.id;
    QObject::connect(act, &QAction::triggered, f, [this, id] {
      UpdateCommands();
      QAction* item = menu_.Action(id);
      if (!item || item->isEnabled()) OnCmdMsg(id);
    });
    f->addAction(act);
  }
  UpdateCommands();
  return true;
}

bool CFrameWnd::OnCmdMsg(int id) {
  auto it = commands_.find(id);
  if (it == commands_.end()) return false;
  it->second();
  return true;
}

void CFrameWnd::UpdateCommands() {
  for (auto& [id, fn] : updates_) {
    CCmdUI ui(menu_.Action(id), id);
    fn(ui);
  }
}

bool CFormView::CreateView(CFrameWnd& frame) {
  QMainWindow* f = frame.Frame();
  if (!f || w_) return false;
  auto* host = new QWidget(f);
  w_ = host;
  parent_ = &frame;
  Bind();
  BuildControls(Template(), host, *this);
  host->setMinimumSize(DialogUnitsToPixels(Template(), Template().cx, Template().cy));
  f->setCentralWidget(host);
  UpdateData(false);
  OnInitialUpdate();
  return true;
}

CWinApp::CWinApp() { g_app = this; }
CWinApp::~CWinApp() {
  if (g_app == this) g_app = nullptr;
}
int CWinApp::Run() {
  if (!InitInstance()) return ExitInstance();
  if (qApp) exitCode_ = QApplication::exec();
  return ExitInstance();
}
void CWinApp::Quit(int code) {
  exitCode_ = code;
  if (qApp) QApplication::exit(code);
}
CWinApp* AfxGetApp() { return g_app; }

}  // namespace ui

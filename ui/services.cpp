#include "ui/services.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QMessageBox>
#include <QPixmap>
#include <QScreen>
#include <QShowEvent>
#include <QTimer>
#include <QWindow>

#include "ui/wnd.h"

namespace ui {
namespace {
std::string& Title() {
  static std::string title;
  return title;
}
int g_waitDepth = 0;

// Drops every timer of one window from a map keyed by (window, id).
template <class Map>
void EraseWindow(Map& timers, CWnd* wnd) {
  for (auto it = timers.begin(); it != timers.end();) it = it->first.first == wnd ? timers.erase(it) : std::next(it);
}

// Qt timers, one per (window, id); each tick calls the window's OnTimer.
class QtTimerService : public TimerService {
 public:
  void Set(CWnd* wnd, UINT id, UINT ms) override {
    auto& t = timers_[{wnd, id}];
    if (!t) {
      t = std::make_unique<QTimer>();
      QObject::connect(t.get(), &QTimer::timeout, [wnd, id] { wnd->OnTimer(id); });
    }
    t->start(static_cast<int>(ms));
  }
  void Kill(CWnd* wnd, UINT id) override { timers_.erase({wnd, id}); }
  void KillAll(CWnd* wnd) override { EraseWindow(timers_, wnd); }

 private:
  std::map<std::pair<CWnd*, UINT>, std::unique_ptr<QTimer>> timers_;
};

// A message box opens over the window the user is in, as the framework's message box takes the
// program's active window for its owner.
class OwnedMessageBox : public QMessageBox {
 protected:
  void showEvent(QShowEvent* e) override {
    QMessageBox::showEvent(e);  // sizes the box to its text and buttons first
    if (!e->spontaneous() && !placed_) {
      placed_ = true;
      CentreOverOwner(this, CurrentOwner(this));
    }
  }

 private:
  bool placed_ = false;
};

QMargins FrameMargins(const QWidget* w) {
  const QWindow* handle = w != nullptr ? w->windowHandle() : nullptr;
  return handle != nullptr ? handle->frameMargins() : QMargins();
}

TimerService*& CurrentTimers() {
  static TimerService* current = nullptr;
  return current;
}
}  // namespace

void SetAppTitle(const std::string& title) { Title() = title; }
std::string AppTitle() { return Title(); }

int QtMessageSink::Show(int stringId, const std::string& text, UINT type) {
  (void)stringId;
  OwnedMessageBox box;
  box.setWindowTitle(QString::fromStdString(Title()));
  box.setText(QString::fromStdString(text));
  switch (type & 0xF0) {
    case platform::MB_ICONERROR: box.setIcon(QMessageBox::Critical); break;
    case platform::MB_ICONQUESTION: box.setIcon(QMessageBox::Question); break;
    case platform::MB_ICONWARNING: box.setIcon(QMessageBox::Warning); break;
    case platform::MB_ICONINFORMATION: box.setIcon(QMessageBox::Information); break;
    default: break;
  }
  switch (type & 0xF) {
    case platform::MB_YESNO:
      box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
      return box.exec() == QMessageBox::Yes ? IDYES : IDNO;
    case platform::MB_OKCANCEL:
      box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
      return box.exec() == QMessageBox::Ok ? IDOK : IDCANCEL;
    default:
      box.setStandardButtons(QMessageBox::Ok);
      box.exec();
      return IDOK;
  }
}

QWidget* CurrentOwner(const QWidget* window) {
  QWidget* owner = QApplication::activeModalWidget();
  if (owner == nullptr || owner == window) owner = QApplication::activeWindow();
  return owner == window ? nullptr : owner;
}

void CentreOverOwner(QWidget* window, QWidget* owner) {
  if (window == nullptr || !window->isWindow()) return;
  if (owner != nullptr) owner = owner->window();
  const bool overOwner = owner != nullptr && owner != window && owner->isVisible() && !owner->isMinimized();
  QScreen* screen = overOwner ? owner->screen() : nullptr;
  if (overOwner) {
    if (QScreen* at = QGuiApplication::screenAt(owner->frameGeometry().center())) screen = at;
  }
  if (screen == nullptr) screen = owner != nullptr ? owner->screen() : window->screen();
  if (screen == nullptr) screen = QGuiApplication::primaryScreen();
  if (screen == nullptr) return;
  const QRect area = screen->availableGeometry();
  QMargins margins = FrameMargins(window);
  if (margins.isNull() && owner != nullptr) margins = FrameMargins(owner);
  QRect frame(QPoint(0, 0), window->size().grownBy(margins));
  frame.moveCenter(overOwner ? owner->frameGeometry().center() : area.center());
  // Inside the work area; a window larger than it keeps its top-left corner (the caption) on it.
  if (frame.right() > area.right()) frame.moveRight(area.right());
  if (frame.bottom() > area.bottom()) frame.moveBottom(area.bottom());
  if (frame.left() < area.left()) frame.moveLeft(area.left());
  if (frame.top() < area.top()) frame.moveTop(area.top());
  // Placed by its client area: before a window is first mapped the window system knows no frame
  // for it, so a frame position would be taken for the client's, one caption too high.
  window->setGeometry(QRect(frame.topLeft() + QPoint(margins.left(), margins.top()), window->size()));
}

void InstallGuiMessageSink() {
  static QtMessageSink sink;
  platform::SetMessageSink(&sink);
}

int ScriptedMessageSink::Show(int stringId, const std::string& text, UINT type) {
  shown_.push_back({stringId, text, type});
  if (next_ < answers_.size()) return answers_[next_++];
  return (type & 0xF) == platform::MB_YESNO ? IDNO : IDOK;
}

std::vector<int> ScriptedMessageSink::ids() const {
  std::vector<int> out;
  for (const auto& s : shown_) out.push_back(s.id);
  return out;
}

CWaitCursor::CWaitCursor() {
  if (g_waitDepth++ == 0 && qApp) QApplication::setOverrideCursor(Qt::WaitCursor);
}
CWaitCursor::~CWaitCursor() { Restore(); }
void CWaitCursor::Restore() {
  if (!active_) return;
  active_ = false;
  if (--g_waitDepth == 0 && qApp) QApplication::restoreOverrideCursor();
}
int WaitCursorDepth() { return g_waitDepth; }

TimerService& GetTimerService() {
  // Never destroyed: windows that are statics themselves drop their timers at exit after it.
  static QtTimerService* qtTimers = new QtTimerService;
  return CurrentTimers() ? *CurrentTimers() : *qtTimers;
}
void SetTimerService(TimerService* service) { CurrentTimers() = service; }

void ManualTimerService::KillAll(CWnd* wnd) { EraseWindow(timers_, wnd); }
UINT ManualTimerService::Interval(CWnd* wnd, UINT id) const {
  auto it = timers_.find({wnd, id});
  return it == timers_.end() ? 0 : it->second;
}
bool ManualTimerService::Fire(CWnd* wnd, UINT id) {
  if (!IsSet(wnd, id)) return false;
  wnd->OnTimer(id);
  return true;
}

bool SaveScreenshot(QWidget* widget, const QString& pngPath) {
  if (!widget) return false;
  QPixmap pic = widget->grab();
  if (pic.isNull()) return false;
  // Written beside and renamed, so a reader never sees half a file.
  QString tmp = pngPath + QStringLiteral(".part");
  if (!pic.save(tmp, "PNG")) return false;
  QFile::remove(pngPath);
  return QFile::rename(tmp, pngPath);
}
bool SaveScreenshot(CWnd& wnd, const QString& pngPath) { return SaveScreenshot(wnd.GetSafeHwnd(), pngPath); }

}  // namespace ui

// Services of the ui layer that tests replace: message boxes, the wait cursor, timers,
// screenshots. Clock and sleep are platform::GetClock(); the string table is
// platform::RegisterString/LoadString.
#pragma once
#include <QString>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <utility>

#include "platform/message_sink.h"
#include "ui/win32.h"

class QWidget;

namespace ui {
class CWnd;

// Caption of every message box of the program.
void SetAppTitle(const std::string& title);
std::string AppTitle();

// Renders platform::MessageSink as a real QMessageBox (OK, OK/Cancel, Yes/No; icon from the type).
class QtMessageSink : public platform::MessageSink {
 public:
  int Show(int stringId, const std::string& text, UINT type) override;
};
// Installs a QtMessageSink for the process (the GUI programs call this at start).
void InstallGuiMessageSink();

// A sink for tests: answers from a script (in order; IDOK when it runs out, IDNO for Yes/No) and
// records every box shown.
class ScriptedMessageSink : public platform::MessageSink {
 public:
  struct Shown {
    int id;
    std::string text;
    UINT type;
  };
  explicit ScriptedMessageSink(std::vector<int> answers = {}) : answers_(std::move(answers)) {}
  int Show(int stringId, const std::string& text, UINT type) override;
  const std::vector<Shown>& shown() const { return shown_; }
  std::vector<int> ids() const;

 private:
  std::vector<int> answers_;
  size_t next_ = 0;
  std::vector<Shown> shown_;
};

// Hourglass while alive; nests. WaitCursorDepth() lets tests see it.
class CWaitCursor {
 public:
  CWaitCursor();
  ~CWaitCursor();
  CWaitCursor(const CWaitCursor&) = delete;
  CWaitCursor& operator=(const CWaitCursor&) = delete;
  void Restore();

 private:
  bool active_ = true;
};
int WaitCursorDepth();

// Window timers. The default service uses Qt timers; ManualTimerService lets tests fire ticks.
class TimerService {
 public:
  virtual ~TimerService() = default;
  virtual void Set(CWnd* wnd, UINT id, UINT ms) = 0;
  virtual void Kill(CWnd* wnd, UINT id) = 0;
  virtual void KillAll(CWnd* wnd) = 0;
};
TimerService& GetTimerService();
// nullptr restores the Qt service.
void SetTimerService(TimerService* service);

class ManualTimerService : public TimerService {
 public:
  void Set(CWnd* wnd, UINT id, UINT ms) override { timers_[{wnd, id}] = ms; }
  void Kill(CWnd* wnd, UINT id) override { timers_.erase({wnd, id}); }
  void KillAll(CWnd* wnd) override;
  bool IsSet(CWnd* wnd, UINT id) const { return timers_.count({wnd, id}) != 0; }
  UINT Interval(CWnd* wnd, UINT id) const;
  // Delivers one tick to the window when its timer is set; false otherwise.
  bool Fire(CWnd* wnd, UINT id);

 private:
  std::map<std::pair<CWnd*, UINT>, UINT> timers_;
};

// Places a top-level window where the Win32 dialog manager opens a dialog: its frame centred over
// the frame of `owner`'s window, or on the screen when there is no owner or the owner is hidden or
// minimised; then moved inside the screen's work area, keeping the top-left corner on it when the
// window is the larger. Frame margins not yet known (the window manager adds them once the window
// is mapped) are taken as the owner's.
void CentreOverOwner(QWidget* window, QWidget* owner);
// The owner of a window opened without one, as the framework takes it: the program's current
// modal window, else its active window; nullptr when there is neither or it is `window` itself.
QWidget* CurrentOwner(const QWidget* window);

// Saves a picture of the widget (and its children) as PNG; works under QT_QPA_PLATFORM=offscreen.
bool SaveScreenshot(QWidget* widget, const QString& pngPath);
bool SaveScreenshot(CWnd& wnd, const QString& pngPath);

}  // namespace ui

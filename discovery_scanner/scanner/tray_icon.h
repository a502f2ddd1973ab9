// CTrayIcon: one icon in the desktop's notification area (over Qt's QSystemTrayIcon), with a tip,
// a callback message to its window for the mouse, and the popup menu of its identifier.
#pragma once
#include <QIcon>
#include <QString>
#include <memory>

class QMenu;
class QSystemTrayIcon;
class QWidget;

namespace lumeth {

// The window messages and notification-area operations the tray icon speaks in.
constexpr unsigned kWmUser = 0x0400;
constexpr unsigned kWmLButtonUp = 0x0202;
constexpr unsigned kWmLButtonDblClk = 0x0203;
constexpr unsigned kWmRButtonUp = 0x0205;
constexpr unsigned kWmMButtonUp = 0x0208;
constexpr unsigned kNimAdd = 0;
constexpr unsigned kNimModify = 1;
constexpr unsigned kNimDelete = 2;
constexpr unsigned kNifMessage = 0x1;
constexpr unsigned kNifIcon = 0x2;
constexpr unsigned kNifTip = 0x4;
constexpr int kMaxTipLength = 128;

// The program's strings and pictures by identifier (the scanner's own few).
QString LoadTrayString(unsigned id);
QIcon LoadTrayIcon(unsigned id);

// The window a tray icon reports to: the callback message for the mouse over the icon (the
// identifier and the mouse message as its two parameters) and the commands of its menu.
class CTrayNotifyWnd {
 public:
  virtual QWidget* TrayWindow() = 0;
  virtual void OnTrayMessage(unsigned message, unsigned id, unsigned mouseMessage) = 0;
  virtual void OnTrayCommand(int command) = 0;

 protected:
  virtual ~CTrayNotifyWnd() = default;
};

class CTrayIcon {
 public:
  // Clears the notification data and loads the tip from the string of `id`.
  explicit CTrayIcon(unsigned id);
  // Removes the icon.
  ~CTrayIcon();
  CTrayIcon(const CTrayIcon&) = delete;
  CTrayIcon& operator=(const CTrayIcon&) = delete;

  // The window (or none) that receives `callbackMessage` for the mouse over the icon.
  void SetNotificationWnd(CTrayNotifyWnd* wnd, unsigned callbackMessage);
  // Shows the icon and tip of `resourceId` (added, or modified when already shown); 0 removes it.
  bool SetIcon(unsigned resourceId);
  // With an icon: adds or modifies; without one: removes (success when none is shown). A tip
  // longer than 128 characters is cut.
  bool SetIcon(const QIcon& icon, const QString& tip);
  // Right button up: the first submenu of the menu of the icon's identifier pops up at the
  // cursor with item 0 as its default; double click: item 0's command goes to the window. 1 when
  // handled (own identifier, one of those two messages), else 0.
  int OnTrayNotification(unsigned id, unsigned mouseMessage);

  unsigned id() const { return id_; }
  bool shown() const { return shown_; }
  const QString& tip() const { return tip_; }
  unsigned flags() const { return flags_; }
  unsigned lastOperation() const { return lastOperation_; }
  QSystemTrayIcon* icon() const { return tray_.get(); }
  // The menu that the last right-button notification popped up (null before).
  QMenu* menu() const { return menu_.get(); }

 private:
  bool Notify(unsigned operation);
  void Activated(int reason);

  unsigned id_;
  CTrayNotifyWnd* wnd_ = nullptr;
  unsigned callbackMessage_ = 0;
  QIcon iconImage_;
  QString tip_;
  unsigned flags_ = 0;
  unsigned lastOperation_ = kNimDelete;
  bool shown_ = false;
  std::unique_ptr<QSystemTrayIcon> tray_;
  std::unique_ptr<QMenu> menu_;
};

}  // namespace lumeth

#include "discovery_scanner/scanner/tray_icon.h"

#include <QAction>
#include <QApplication>
#include <QCursor>
#include <QMenu>
#include <QStyle>
#include <QSystemTrayIcon>
#include <QWidget>

namespace lumeth {
namespace {

struct MenuItem {
  int command;
  const char* text;
};

// Menu 130, its first submenu: the tray icon's menu.
constexpr MenuItem kTrayMenu130[] = {{32771, "&Open"}, {16, "&About"}, {32773, "&Unload"}};

}  // namespace

QString LoadTrayString(unsigned id) {
  switch (id) {
    case 101: return QStringLiteral("&About Lumeth...");
    case 128: return QStringLiteral("Lumeth");
    case 129: return QStringLiteral("Print Server Lumeth Mutex");
    case 130: return QStringLiteral("Print Server ScanFile Mutex");
    case 131: return QStringLiteral("Print Server Pause Event");
    case 132: return QStringLiteral("Print Server Tollard Event");
    case 133: return QStringLiteral("Print Server Wizard Event");
    case 134: return QStringLiteral("Print Server AddPrinter Event");
    default: return QString();
  }
}

QIcon LoadTrayIcon(unsigned id) {
  if (id != 128 || QApplication::style() == nullptr) return QIcon();
  return QApplication::style()->standardIcon(QStyle::SP_ComputerIcon);
}

CTrayIcon::CTrayIcon(unsigned id) : id_(id), tip_(LoadTrayString(id).left(kMaxTipLength)) {}

CTrayIcon::~CTrayIcon() { SetIcon(QIcon(), QString()); }

void CTrayIcon::SetNotificationWnd(CTrayNotifyWnd* wnd, unsigned callbackMessage) {
  wnd_ = wnd;
  callbackMessage_ = callbackMessage;
}

bool CTrayIcon::SetIcon(unsigned resourceId) {
  if (resourceId == 0) return SetIcon(QIcon(), QString());
  return SetIcon(LoadTrayIcon(resourceId), LoadTrayString(resourceId));
}

bool CTrayIcon::SetIcon(const QIcon& icon, const QString& tip) {
  unsigned operation = kNimAdd;
  flags_ = 0;
  if (!icon.isNull()) {
    operation = shown_ ? kNimModify : kNimAdd;
    iconImage_ = icon;
    flags_ |= kNifIcon;
  } else {
    if (!shown_) return true;
    operation = kNimDelete;
  }
  if (!tip.isEmpty()) tip_ = tip.left(kMaxTipLength);
  if (!tip_.isEmpty()) flags_ |= kNifTip;
  if (wnd_ != nullptr && callbackMessage_ != 0) flags_ |= kNifMessage;
  const bool ok = Notify(operation);
  shown_ = ok && operation != kNimDelete;
  if (!shown_) iconImage_ = QIcon();
  return ok;
}

// The notification area's side: the icon appears, changes or goes. The desktop may have no tray
// at this moment; Qt shows the icon when one appears.
bool CTrayIcon::Notify(unsigned operation) {
  lastOperation_ = operation;
  if (operation == kNimDelete) {
    if (tray_) tray_->hide();
    return true;
  }
  if (!tray_) {
    tray_ = std::make_unique<QSystemTrayIcon>();
    QObject::connect(tray_.get(), &QSystemTrayIcon::activated,
                     [this](QSystemTrayIcon::ActivationReason reason) { Activated(static_cast<int>(reason)); });
  }
  if ((flags_ & kNifIcon) != 0) tray_->setIcon(iconImage_);
  tray_->setToolTip((flags_ & kNifTip) != 0 ? tip_ : QString());
  tray_->show();
  return true;
}

void CTrayIcon::Activated(int reason) {
  unsigned mouse = 0;
  switch (static_cast<QSystemTrayIcon::ActivationReason>(reason)) {
    case QSystemTrayIcon::Context: mouse = kWmRButtonUp; break;
    case QSystemTrayIcon::DoubleClick: mouse = kWmLButtonDblClk; break;
    case QSystemTrayIcon::Trigger: mouse = kWmLButtonUp; break;
    case QSystemTrayIcon::MiddleClick: mouse = kWmMButtonUp; break;
    default: return;
  }
  if (wnd_ != nullptr && callbackMessage_ != 0) wnd_->OnTrayMessage(callbackMessage_, id_, mouse);
}

int CTrayIcon::OnTrayNotification(unsigned id, unsigned mouseMessage) {
  if (id != id_ || (mouseMessage != kWmRButtonUp && mouseMessage != kWmLButtonDblClk)) return 0;
  if (id_ != 130 || wnd_ == nullptr) return 0;  // only the scanner's menu exists
  if (mouseMessage == kWmLButtonDblClk) {
    wnd_->OnTrayCommand(kTrayMenu130[0].command);
    return 1;
  }
  menu_ = std::make_unique<QMenu>();
  CTrayNotifyWnd* wnd = wnd_;
  for (const MenuItem& item : kTrayMenu130) {
    QAction* action = menu_->addAction(QString::fromLatin1(item.text));
    const int command = item.command;
    QObject::connect(action, &QAction::triggered, [wnd, command] { wnd->OnTrayCommand(command); });
  }
  menu_->setDefaultAction(menu_->actions().front());
  if (QWidget* window = wnd_->TrayWindow()) window->activateWindow();
  menu_->popup(QCursor::pos());
  return 1;
}

}  // namespace lumeth

// CLumethDlg: the scanner's window, a hidden dialog with its log and buttons, its tray icon and
// the About entry of its window menu. It holds no logic of its own: a timer drives the scanner,
// the buttons call it, and the workers' log text arrives through a queued signal on the window's
// thread. It reaches the scanner only through ScannerControl.
#pragma once
#include <QDialog>
#include <QString>
#include <QTimer>

#include "discovery_scanner/scanner/scanner_control.h"
#include "discovery_scanner/scanner/tray_icon.h"

class QMenu;
class QPlainTextEdit;
class QPushButton;

namespace lumeth {

// Control and command identifiers of the window.
constexpr int kIdRunOnce = 1000;
constexpr int kIdVerifyData = 1001;
constexpr int kIdMinimize = 1002;
constexpr int kIdLog = 1003;
constexpr int kIdPause = 1004;
constexpr int kIdExit = 2;
constexpr int kIdAbout = 16;
constexpr int kIdTrayOpen = 32771;
constexpr int kIdTrayUnload = 32773;
// The tray icon's identifier and the icon (and tip string) it shows.
constexpr unsigned kTrayIconId = 130;
constexpr unsigned kLumethIconId = 128;

class CLumethDlg : public QDialog, public CTrayNotifyWnd {
  Q_OBJECT

 public:
  CLumethDlg(ScannerControl& scanner, bool trayFlag, QWidget* parent = nullptr);
  ~CLumethDlg() override;

  // Window start: the tray icon, the protocols, the window menu's About entry, hidden at once,
  // the first scan round, then the poll timer.
  void OnInitDialog();
  // A command by identifier, from a button, the tray menu or the window menu.
  void OnCommand(int id);

  QPushButton* button(int id) const;
  QPlainTextEdit* logView() const { return log_; }
  CTrayIcon& trayIcon() { return trayIcon_; }
  // The window menu (the stand-in of the system menu): a separator and "&About Lumeth...".
  QMenu* systemMenu() const { return systemMenu_; }
  QDialog* aboutBox() const { return about_; }
  const LogLimit& logLimit() const { return limit_; }

  // CTrayNotifyWnd
  QWidget* TrayWindow() override { return this; }
  void OnTrayMessage(unsigned message, unsigned id, unsigned mouseMessage) override;
  void OnTrayCommand(int command) override { OnCommand(command); }

 signals:
  void logText(const QString& text);
  void finished();

 public slots:
  void AppendLog(const QString& text);
  void OnTimer();
  void StartScanRound();
  void OnVerifyData();
  void OnMinimize();
  void OnPause();
  void OnTrayOpen();
  int OnTrayNotification(unsigned id, unsigned mouseMessage);
  void OnSysCommand(int id);
  void OnAbout();
  void OnOK();
  void OnCancel();

 protected:
  void closeEvent(QCloseEvent* event) override;
  void reject() override;
  void accept() override { OnOK(); }

 private:
  QPushButton* AddButton(int id, const QString& text);
  void End();

  CTrayIcon trayIcon_{kTrayIconId};
  QPlainTextEdit* log_ = nullptr;
  LogLimit limit_;
  ScannerControl& scanner_;
  bool trayFlag_;
  QMenu* systemMenu_ = nullptr;
  QDialog* about_ = nullptr;
  QTimer timer_;
  bool ended_ = false;
};

}  // namespace lumeth

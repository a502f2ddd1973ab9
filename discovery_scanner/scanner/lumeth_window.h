// The scanner's window: a hidden dialog with its log and buttons, and the tray icon with its menu.
// It holds no logic of its own: a timer drives the core, the buttons call it, and the workers' log
// text arrives through a queued signal on the window's thread.
#pragma once
#include <QDialog>
#include <QString>
#include <QTimer>

#include "discovery_scanner/scanner/scanner_core.h"

class QPlainTextEdit;
class QPushButton;
class QSystemTrayIcon;
class QMenu;

namespace lumeth {

// Control identifiers of the window.
constexpr int kIdRunOnce = 1000;
constexpr int kIdVerifyData = 1001;
constexpr int kIdMinimize = 1002;
constexpr int kIdLog = 1003;
constexpr int kIdPause = 1004;
constexpr int kIdExit = 2;

class LumethWindow : public QDialog {
  Q_OBJECT

 public:
  LumethWindow(LumethCore& core, bool trayFlag, QWidget* parent = nullptr);
  ~LumethWindow() override;

  // Window start: the protocols, the first scan round, then the poll timer.
  void Begin();

  QPushButton* button(int id) const;
  QPlainTextEdit* logView() const { return log_; }
  QSystemTrayIcon* trayIcon() const { return tray_; }
  QMenu* trayMenu() const { return trayMenu_; }
  const LogLimit& logLimit() const { return limit_; }

 signals:
  void logText(const QString& text);
  void finished();

 public slots:
  void AppendLog(const QString& text);
  void OnTimer();
  void OnRunOnce();
  void OnVerifyData();
  void OnMinimize();
  void OnPause();
  void OnTrayOpen();
  void OnAbout();
  void OnExit();

 protected:
  void closeEvent(QCloseEvent* event) override;
  void reject() override;

 private:
  QPushButton* AddButton(int id, const QString& text);
  void End();

  LumethCore& core_;
  bool trayFlag_;
  QPlainTextEdit* log_ = nullptr;
  QSystemTrayIcon* tray_ = nullptr;
  QMenu* trayMenu_ = nullptr;
  QDialog* about_ = nullptr;
  QTimer timer_;
  LogLimit limit_;
  bool ended_ = false;
};

}  // namespace lumeth

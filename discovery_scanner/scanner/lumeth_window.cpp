#include "discovery_scanner/scanner/lumeth_window.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStyle>
#include <QSystemTrayIcon>
#include <QTextCursor>
#include <QVBoxLayout>

namespace lumeth {

LumethWindow::LumethWindow(LumethCore& core, bool trayFlag, QWidget* parent)
    : QDialog(parent), core_(core), trayFlag_(trayFlag) {
  setWindowTitle(QStringLiteral("Lumeth"));
  setWindowIcon(style()->standardIcon(QStyle::SP_ComputerIcon));
  auto* layout = new QVBoxLayout(this);
  log_ = new QPlainTextEdit(this);
  log_->setObjectName(QString::number(kIdLog));
  log_->setReadOnly(true);
  layout->addWidget(log_);
  auto* row = new QHBoxLayout();
  layout->addLayout(row);
  row->addWidget(AddButton(kIdRunOnce, QStringLiteral("Run Once")));
  row->addWidget(AddButton(kIdVerifyData, QStringLiteral("Verify Data")));
  row->addWidget(AddButton(kIdMinimize, QStringLiteral("Minimize")));
  row->addWidget(AddButton(kIdPause, QStringLiteral("Pause")));
  row->addWidget(AddButton(kIdExit, QStringLiteral("Exit")));
  connect(button(kIdRunOnce), &QPushButton::clicked, this, &LumethWindow::OnRunOnce);
  connect(button(kIdVerifyData), &QPushButton::clicked, this, &LumethWindow::OnVerifyData);
  connect(button(kIdMinimize), &QPushButton::clicked, this, &LumethWindow::OnMinimize);
  connect(button(kIdPause), &QPushButton::clicked, this, &LumethWindow::OnPause);
  connect(button(kIdExit), &QPushButton::clicked, this, &LumethWindow::OnExit);

  // The tray icon, its tip and its menu: Open, About, Unload. A double click opens the window.
  tray_ = new QSystemTrayIcon(windowIcon(), this);
  tray_->setToolTip(QStringLiteral("Lumeth"));
  trayMenu_ = new QMenu(this);
  QAction* open = trayMenu_->addAction(QStringLiteral("&Open"), this, &LumethWindow::OnTrayOpen);
  trayMenu_->addAction(QStringLiteral("&About"), this, &LumethWindow::OnAbout);
  trayMenu_->addAction(QStringLiteral("&Unload"), this, &LumethWindow::OnExit);
  trayMenu_->setDefaultAction(open);
  tray_->setContextMenu(trayMenu_);
  connect(tray_, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
    if (reason == QSystemTrayIcon::DoubleClick) OnTrayOpen();
  });

  // Worker threads hand their text over through this signal; it is carried out on this thread.
  connect(this, &LumethWindow::logText, this, &LumethWindow::AppendLog, Qt::QueuedConnection);
  core_.SetLogSink([this](const std::string& text) { emit logText(QString::fromStdString(text)); });
  connect(&timer_, &QTimer::timeout, this, &LumethWindow::OnTimer);
}

LumethWindow::~LumethWindow() {
  End();  // the workers are joined here, so none uses the sink below any more
  core_.SetLogSink({});
}

QPushButton* LumethWindow::AddButton(int id, const QString& text) {
  auto* b = new QPushButton(text, this);
  b->setObjectName(QString::number(id));
  b->setAutoDefault(false);
  return b;
}

QPushButton* LumethWindow::button(int id) const {
  return findChild<QPushButton*>(QString::number(id), Qt::FindDirectChildrenOnly);
}

void LumethWindow::Begin() {
  if (trayFlag_ && QSystemTrayIcon::isSystemTrayAvailable()) tray_->show();
  core_.StartProtocols();
  limit_.Reset();
  core_.StartScanRound();
  timer_.start(core_.options().tickMs);
}

void LumethWindow::AppendLog(const QString& text) {
  if (limit_.Add(static_cast<std::size_t>(text.size()))) log_->clear();
  QString shown = text;
  shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  log_->moveCursor(QTextCursor::End);
  log_->insertPlainText(shown);
  log_->ensureCursorVisible();
}

void LumethWindow::OnTimer() {
  if (!core_.OnTimer()) OnExit();
}

void LumethWindow::OnRunOnce() { core_.StartScanRound(); }

void LumethWindow::OnVerifyData() { core_.VerifyData(); }

void LumethWindow::OnMinimize() { hide(); }

void LumethWindow::OnPause() {
  if (core_.TogglePause()) {
    button(kIdPause)->setText(QStringLiteral("Restart"));
  } else {
    log_->clear();
    limit_.Reset();
    button(kIdPause)->setText(QStringLiteral("Pause"));
  }
}

void LumethWindow::OnTrayOpen() {
  show();
  raise();
  activateWindow();
}

void LumethWindow::OnAbout() {
  if (about_ == nullptr) {
    about_ = new QDialog(this);
    about_->setWindowTitle(QStringLiteral("About Lumeth"));
    auto* l = new QVBoxLayout(about_);
    l->addWidget(new QLabel(QStringLiteral("Lumeth"), about_));
    auto* ok = new QPushButton(QStringLiteral("OK"), about_);
    connect(ok, &QPushButton::clicked, about_, &QDialog::accept);
    l->addWidget(ok);
  }
  about_->show();
  about_->raise();
}

void LumethWindow::End() {
  if (ended_) return;
  ended_ = true;
  timer_.stop();
  tray_->hide();
  core_.Shutdown();
}

void LumethWindow::OnExit() {
  End();
  hide();
  emit finished();
}

void LumethWindow::closeEvent(QCloseEvent* event) {
  // Closing the window only hides it.
  event->ignore();
  OnMinimize();
}

void LumethWindow::reject() { OnMinimize(); }

}  // namespace lumeth

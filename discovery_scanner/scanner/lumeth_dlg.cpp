#include "discovery_scanner/scanner/lumeth_dlg.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextCursor>
#include <QVBoxLayout>

namespace lumeth {

CLumethDlg::CLumethDlg(ScannerControl& scanner, bool trayFlag, QWidget* parent)
    : QDialog(parent), scanner_(scanner), trayFlag_(trayFlag) {
  setWindowTitle(LoadTrayString(kLumethIconId));
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

  // Worker threads hand their text over through this signal; it is carried out on this thread.
  connect(this, &CLumethDlg::logText, this, &CLumethDlg::AppendLog, Qt::QueuedConnection);
  scanner_.SetLogSink([this](const std::string& text) { emit logText(QString::fromStdString(text)); });
  connect(&timer_, &QTimer::timeout, this, &CLumethDlg::OnTimer);
}

CLumethDlg::~CLumethDlg() {
  End();  // the workers are joined here, so none uses the sink below any more
  scanner_.SetLogSink({});
}

QPushButton* CLumethDlg::AddButton(int id, const QString& text) {
  auto* b = new QPushButton(text, this);
  b->setObjectName(QString::number(id));
  b->setAutoDefault(false);
  connect(b, &QPushButton::clicked, this, [this, id] { OnCommand(id); });
  return b;
}

QPushButton* CLumethDlg::button(int id) const {
  return findChild<QPushButton*>(QString::number(id), Qt::FindDirectChildrenOnly);
}

void CLumethDlg::OnCommand(int id) {
  switch (id) {
    case kIdRunOnce: StartScanRound(); break;
    case kIdVerifyData: OnVerifyData(); break;
    case kIdMinimize: OnMinimize(); break;
    case kIdPause: OnPause(); break;
    case kIdExit:
    case kIdTrayUnload: OnCancel(); break;
    case kIdTrayOpen: OnTrayOpen(); break;
    case kIdAbout: OnAbout(); break;
    default: break;
  }
}

void CLumethDlg::OnInitDialog() {
  trayIcon_.SetNotificationWnd(this, kWmUser);
  if (trayFlag_) trayIcon_.SetIcon(kLumethIconId);
  scanner_.StartProtocols();

  // The window menu: a separator and the About entry (command 16), on the window's context menu.
  systemMenu_ = new QMenu(this);
  systemMenu_->addSeparator();
  QAction* about = systemMenu_->addAction(LoadTrayString(101));
  connect(about, &QAction::triggered, this, [this] { OnSysCommand(kIdAbout); });
  setContextMenuPolicy(Qt::CustomContextMenu);
  connect(this, &QWidget::customContextMenuRequested, this,
          [this](const QPoint& at) { systemMenu_->popup(mapToGlobal(at)); });
  const QIcon icon = LoadTrayIcon(kLumethIconId);
  setWindowIcon(icon);

  // The window starts hidden: the tray icon (or nothing) brings it up.
  QMetaObject::invokeMethod(this, [this] { OnCommand(kIdMinimize); }, Qt::QueuedConnection);
  limit_.Reset();
  StartScanRound();
  timer_.start(scanner_.TickMs());
}

void CLumethDlg::AppendLog(const QString& text) {
  if (limit_.Add(static_cast<std::size_t>(text.size()))) log_->clear();
  QString shown = text;
  shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  log_->moveCursor(QTextCursor::End);
  log_->insertPlainText(shown);
  log_->ensureCursorVisible();
}

void CLumethDlg::OnTimer() {
  if (!scanner_.OnTimer()) OnCancel();
}

void CLumethDlg::StartScanRound() { scanner_.StartScanRound(); }

void CLumethDlg::OnVerifyData() { scanner_.VerifyData(); }

void CLumethDlg::OnMinimize() { hide(); }

void CLumethDlg::OnPause() {
  if (scanner_.TogglePause()) {
    button(kIdPause)->setText(QStringLiteral("Restart"));
  } else {
    log_->clear();
    limit_.Reset();
    button(kIdPause)->setText(QStringLiteral("Pause"));
  }
}

void CLumethDlg::OnTrayOpen() {
  show();
  raise();
  activateWindow();
}

void CLumethDlg::OnTrayMessage(unsigned message, unsigned id, unsigned mouseMessage) {
  if (message == kWmUser) OnTrayNotification(id, mouseMessage);
}

int CLumethDlg::OnTrayNotification(unsigned id, unsigned mouseMessage) {
  return trayIcon_.OnTrayNotification(id, mouseMessage);
}

void CLumethDlg::OnSysCommand(int id) {
  // Commands 16 to 31 of the window menu open the About box.
  if (id >= 16 && id <= 31) OnAbout();
}

void CLumethDlg::OnAbout() {
  if (about_ == nullptr) {
    about_ = new QDialog(this);
    about_->setWindowTitle(QStringLiteral("About Lumeth"));
    about_->setMinimumWidth(240);
    auto* l = new QVBoxLayout(about_);
    auto* top = new QHBoxLayout();
    auto* picture = new QLabel(about_);
    picture->setPixmap(LoadTrayIcon(kLumethIconId).pixmap(32, 32));
    top->addWidget(picture);
    top->addWidget(new QLabel(LoadTrayString(kLumethIconId), about_), 1);
    l->addLayout(top);
    auto* ok = new QPushButton(QStringLiteral("OK"), about_);
    connect(ok, &QPushButton::clicked, about_, &QDialog::accept);
    l->addWidget(ok, 0, Qt::AlignRight);
  }
  about_->show();
  about_->raise();
}

void CLumethDlg::End() {
  if (ended_) return;
  ended_ = true;
  timer_.stop();
  trayIcon_.SetIcon(0u);
  scanner_.Shutdown();
}

void CLumethDlg::OnOK() {
  timer_.stop();
  OnCancel();
}

void CLumethDlg::OnCancel() {
  End();
  hide();
  emit finished();
}

void CLumethDlg::closeEvent(QCloseEvent* event) {
  // Closing the window only hides it.
  event->ignore();
  OnMinimize();
}

void CLumethDlg::reject() { OnMinimize(); }

}  // namespace lumeth

#include "discovery_scanner/scanner/lumeth_window_module.h"

#include <QApplication>
#include <QSocketNotifier>
#include <memory>

#include "discovery_scanner/scanner/lumeth_dlg.h"

extern "C" __attribute__((visibility("default"))) int LumethRunWindow(lumeth::ScannerControl* scanner, int argc,
                                                                      char** argv, int trayFlag, int stopFd) {
  QApplication app(argc, argv);
  app.setQuitOnLastWindowClosed(false);
  int result = 0;
  {
    lumeth::CLumethDlg dlg(*scanner, trayFlag != 0);
    QObject::connect(&dlg, &lumeth::CLumethDlg::finished, &app, &QCoreApplication::quit);
    std::unique_ptr<QSocketNotifier> stopNotifier;
    if (stopFd >= 0) {
      stopNotifier = std::make_unique<QSocketNotifier>(stopFd, QSocketNotifier::Read);
      QObject::connect(stopNotifier.get(), &QSocketNotifier::activated, &dlg, &lumeth::CLumethDlg::OnCancel);
    }
    dlg.OnInitDialog();
    result = app.exec();
  }
  scanner->Shutdown();
  return result;
}

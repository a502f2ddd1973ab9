// lumeth: the discovery scanner. Runs while a client program is present and keeps the discovery
// cache files current. Argument "1" shows the tray icon. Without a display (no DISPLAY or
// WAYLAND_DISPLAY and no QT_QPA_PLATFORM) it runs without a window and writes its log to standard
// output. SIGINT and SIGTERM end it like the Exit button.
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <QApplication>
#include <QCoreApplication>
#include <QSocketNotifier>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "discovery_scanner/scanner/lumeth_window.h"
#include "discovery_scanner/scanner/scanner_core.h"

namespace {

bool HasDisplay() {
  return std::getenv("DISPLAY") != nullptr || std::getenv("WAYLAND_DISPLAY") != nullptr ||
         std::getenv("QT_QPA_PLATFORM") != nullptr;
}

// The stop signals arrive through a descriptor that the event loop watches; they are blocked
// before any thread starts, so every thread inherits the mask.
int StopSignalDescriptor() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
  return signalfd(-1, &set, SFD_CLOEXEC | SFD_NONBLOCK);
}

}  // namespace

int main(int argc, char** argv) {
  const bool trayFlag = argc > 1 && argv[1][0] == '1';
  lumeth::LumethCore core(lumeth::ScannerOptions::FromEnvironment());
  // Another scanner runs (or the objects cannot be made): end at once, without a message.
  if (core.Start() != lumeth::LumethCore::StartResult::kStarted) return 0;
  const int stopFd = StopSignalDescriptor();

  if (!HasDisplay()) {
    QCoreApplication app(argc, argv);
    core.SetLogSink([](const std::string& text) {
      std::fwrite(text.data(), 1, text.size(), stdout);
      std::fflush(stdout);
    });
    core.StartProtocols();
    core.StartScanRound();
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, &app, [&] {
      if (!core.OnTimer()) app.quit();
    });
    timer.start(core.options().tickMs);
    std::unique_ptr<QSocketNotifier> stopNotifier;
    if (stopFd >= 0) {
      stopNotifier = std::make_unique<QSocketNotifier>(stopFd, QSocketNotifier::Read);
      QObject::connect(stopNotifier.get(), &QSocketNotifier::activated, &app, [&] { app.quit(); });
    }
    app.exec();
    core.Shutdown();
    core.SetLogSink({});
    return 0;
  }

  QApplication app(argc, argv);
  app.setQuitOnLastWindowClosed(false);
  int result = 0;
  {
    lumeth::LumethWindow window(core, trayFlag);
    QObject::connect(&window, &lumeth::LumethWindow::finished, &app, &QCoreApplication::quit);
    std::unique_ptr<QSocketNotifier> stopNotifier;
    if (stopFd >= 0) {
      stopNotifier = std::make_unique<QSocketNotifier>(stopFd, QSocketNotifier::Read);
      QObject::connect(stopNotifier.get(), &QSocketNotifier::activated, &window, &lumeth::LumethWindow::OnExit);
    }
    // The window starts hidden; the tray icon (or nothing) brings it up.
    window.Begin();
    result = app.exec();
  }
  core.Shutdown();
  return result;
}

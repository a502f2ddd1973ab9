// lumeth: the discovery scanner. Runs while a client program is present and keeps the discovery
// cache files current. Argument "1" shows the tray icon. Without a display (no DISPLAY or
// WAYLAND_DISPLAY and no QT_QPA_PLATFORM) it runs without a window, never loading the GUI
// libraries, and writes its log to standard output. SIGINT and SIGTERM end it like the Exit button.
#include "discovery_scanner/scanner/lumeth_app.h"

int main(int argc, char** argv) {
  lumeth::CLumethApp app(argc, argv);
  return app.InitInstance();
}

// CLumethApp: the scanner program's start-up. Single instance and named objects, the tray flag,
// then the main window run until the program ends: the window module when there is a display,
// else a plain loop with the same poll and the log on standard output.
#pragma once
#include <string>

#include "discovery_scanner/scanner/scanner_core.h"

namespace lumeth {

class CLumethApp {
 public:
  CLumethApp(int argc, char** argv);
  // The whole run; always FALSE (the program ends when its window has ended). A second scanner
  // (the single-instance mutex exists) ends at once, without a message.
  int InitInstance();

  // Whether the window can be shown: DISPLAY, WAYLAND_DISPLAY or QT_QPA_PLATFORM is set.
  static bool HasDisplay();
  // The window module beside this program.
  static std::string WindowModulePath();

 private:
  int RunHeadless(LumethCore& core, int stopFd);
  // False when the module cannot be loaded (the program then runs without its window).
  bool RunWindow(LumethCore& core, int stopFd, int* result);

  int argc_;
  char** argv_;
  bool trayFlag_;
};

}  // namespace lumeth

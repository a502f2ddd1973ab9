// The window module of lumeth ("lumeth_window.so", beside the program): loaded only when there is
// a display, so that the program without one never loads the GUI libraries.
#pragma once

namespace lumeth {
class ScannerControl;
}

// Runs the scanner's window until the program ends (Exit, tray Unload, the fourth idle poll, or a
// stop signal on `stopFd`, -1 for none). `trayFlag` shows the tray icon. Returns the exit code.
extern "C" int LumethRunWindow(lumeth::ScannerControl* scanner, int argc, char** argv, int trayFlag, int stopFd);
using LumethRunWindowFn = int (*)(lumeth::ScannerControl*, int, char**, int, int);
constexpr const char* kLumethWindowModule = "lumeth_window.so";
constexpr const char* kLumethRunWindowSymbol = "LumethRunWindow";

// psa_spooler_dialogs.so: the port dialogs as windows for the spooler stand-in's program, which
// links no Qt and loads this module only when it has a display.
#include <QApplication>

#include "print_monitor/dialogs/port_dialog_windows.h"
#include "ui/services.h"

extern "C" __attribute__((visibility("default"))) int PsaSpoolerOfferDialogs() {
  static int argc = 1;
  static char name[] = "psa_spooler";
  static char* argv[] = {name, nullptr};
  if (QApplication::instance() == nullptr) new QApplication(argc, argv);
  ui::InstallGuiMessageSink();
  ui::SetAppTitle("Vardon Print Server");
  brandel_windows::InstallPortDialogService();
  return 1;
}

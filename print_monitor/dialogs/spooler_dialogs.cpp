// The port dialogs as windows for the spooler stand-in's program: it calls this once it knows it
// has a display, and before that creates no QApplication.
#include <QApplication>

#include "print_monitor/dialogs/port_dialog_windows.h"
#include "ui/services.h"

extern "C" int PsaSpoolerOfferDialogs() {
  static int argc = 1;
  static char name[] = "psa_spooler";
  static char* argv[] = {name, nullptr};
  if (QApplication::instance() == nullptr) new QApplication(argc, argv);
  ui::InstallGuiMessageSink();
  ui::SetAppTitle("Vardon Print Server");
  brandel_windows::InstallPortDialogService();
  return 1;
}

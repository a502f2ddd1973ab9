// tollard: the print-server administration console.
#include <QApplication>

#include "console/pellam_app.h"
#include "ui/services.h"

int main(int argc, char** argv) {
  QApplication qt(argc, argv);
  ui::InstallGuiMessageSink();
  CPellamApp app;
  return app.Run();
}

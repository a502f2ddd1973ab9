// quillon: the print-server setup wizard.
#include <QApplication>
#include <string>

#include "ui/services.h"
#include "wizard/setup_wizard_app.h"

int main(int argc, char** argv) {
  QApplication qt(argc, argv);
  ui::InstallGuiMessageSink();
  std::string commandLine;
  for (int i = 1; i < argc; ++i) {
    if (i > 1) commandLine += ' ';
    commandLine += argv[i];
  }
  wizard::CSetupWizardApp app(commandLine);
  return app.Run();
}

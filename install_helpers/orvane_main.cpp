// orvane: the setup launcher. Shows no window; starts Utility/Setup beside itself and ends.
#include "install_helpers/launcher.h"
#include "platform/process/process.h"

int main() {
  return install_helpers::RunLauncher(platform::ProgramDirectory(),
                                      [](const char* commandLine, unsigned show) { return WinExec(commandLine, show); });
}

#include "install_helpers/launcher.h"

#include "platform/process/process.h"

namespace install_helpers {

std::string InstallerPath(const std::string& programDirectory) {
  if (programDirectory.empty()) return {};
  return programDirectory + "/Utility/Setup";
}

int RunLauncher(const std::string& programDirectory, const StartProgram& start) {
  const std::string path = InstallerPath(programDirectory);
  // A path with a double quote cannot be quoted on a command line: nothing is started.
  if (path.empty() || path.find('"') != std::string::npos || !start) return 0;
  const std::string commandLine = "\"" + path + "\"";
  (void)start(commandLine.c_str(), SW_SHOWNORMAL);
  return 0;
}

}  // namespace install_helpers

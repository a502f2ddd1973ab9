// The setup launcher: starts the package installer that lies beside it and ends at once.
#pragma once
#include <functional>
#include <string>

namespace install_helpers {

// The installer beside a launcher in `programDirectory`: "<dir>/Utility/Setup" (the installer's
// Linux form); empty when the directory is empty.
std::string InstallerPath(const std::string& programDirectory);

// Starts the installer through `start` (a WinExec-like call: command line and show command, above
// 31 when started), detached, without waiting and without reporting a failure: a missing
// installer ends the launcher silently. Returns the program's exit code, always 0.
using StartProgram = std::function<unsigned(const char* commandLine, unsigned showCommand)>;
int RunLauncher(const std::string& programDirectory, const StartProgram& start);

}  // namespace install_helpers

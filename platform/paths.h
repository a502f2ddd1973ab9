// Where the suite keeps its files. Everything lives under one root directory:
//   <root>/windows/      the "Windows directory" (common.ini, Setupwizard.ini)
//   <root>/KM220Data/    the data directory of the discovery cache files
//   <root>/registry/     the registry store
//   <root>/objects/      named mutexes and events
// The root is $PSADMIN_ROOT when set, else $XDG_DATA_HOME/psadmin, else ~/.local/share/psadmin.
// It is read on every call, so a test can point a process at a fresh temporary root.
#pragma once
#include <string>

namespace platform {

constexpr const char* kRootEnvVar = "PSADMIN_ROOT";

std::string Root();              // no trailing slash
std::string WindowsDirectory();  // <root>/windows, created on demand, no trailing slash
std::string DataDirectory();     // <root>/KM220Data/ with its trailing slash (not created here)
std::string RegistryDirectory(); // <root>/registry, created on demand
std::string RegistryDirectoryPath();  // the same path, not created (for reads that need no folder)
std::string ObjectsDirectory();  // <root>/objects, created on demand

// Creates a directory and its parents; true when it exists afterwards.
bool MakeDirectories(const std::string& path);

// Joins a directory and a file name with exactly one '/'.
std::string JoinPath(const std::string& dir, const std::string& name);

}  // namespace platform

// Where the suite keeps its files. Everything lives under one root directory:
//   <root>/windows/      the "Windows directory" (common.ini, Setupwizard.ini)
//   <root>/KM220Data/    the data directory of the discovery cache files
//   <root>/registry/     the registry store
//   <root>/objects/      named mutexes and events
// The root is $PSADMIN_ROOT when set, else $XDG_DATA_HOME/psadmin, else ~/.local/share/psadmin,
// else (no variable names a place: cron, services, env -i) the folder /tmp/psadmin-<uid>.
// It is read on every call, so a test can point a process at a fresh temporary root.
// Folders the suite makes for its files are made 0700 (only their user may enter them).
//
// /tmp is shared by every user, so the last root is made 0700 when missing and an existing one is
// used only while it is this user's own folder: no symbolic link, and neither its group nor others
// may write in it (anyone could have made it first and put files or links in it). What its group and
// others may still do there (a 0755 folder lists the user's files to all) is then taken away.
// Otherwise, or when that fails, the suite refuses it: Root() then names a place where nothing can
// be read or made, so every read finds nothing and every write fails, and the first refusal of a
// process is reported on standard error; RootProblem() tells why.
#pragma once
#include <string>

namespace platform {

constexpr const char* kRootEnvVar = "PSADMIN_ROOT";

std::string Root();              // no trailing slash
// Why the root cannot be used ("" when it can): only the /tmp folder is ever refused.
std::string RootProblem();
std::string WindowsDirectory();  // <root>/windows, created on demand, no trailing slash
std::string DataDirectory();     // <root>/KM220Data/ with its trailing slash (not created here)
std::string RegistryDirectory(); // <root>/registry, created on demand
std::string RegistryDirectoryPath();  // the same path, not created (for reads that need no folder)
std::string ObjectsDirectory();  // <root>/objects, created on demand

// Creates a directory and its parents (each level it makes 0700, and, made by root in a folder of a
// user, that user's: see GiveToFolderOwner); true when it exists afterwards.
bool MakeDirectories(const std::string& path);

// Joins a directory and a file name with exactly one '/'.
std::string JoinPath(const std::string& dir, const std::string& name);

}  // namespace platform

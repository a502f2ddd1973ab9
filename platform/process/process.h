// Starting another program the way WinExec does: by command line, without waiting for it.
//
// The first word of the command line (in double quotes when it holds blanks) names the program;
// the rest are its arguments, split at blanks, a double-quoted part kept whole. A name without '/'
// is looked up in the directory of the calling program first, then in each directory of $PATH. A
// name with '/' is taken as a path (relative to the current directory unless it starts with '/').
//
// The program runs detached: it is started through a short-lived intermediate process (which the
// caller reaps at once), in a session of its own, with every descriptor above 2 closed and the
// signal mask cleared. So it inherits no handles of named objects (a client that starts the scanner
// does not keep itself present through it), and it never becomes a zombie of the caller.
//
// Results are those of WinExec: above 31 when the program was started; 0 when the system is out of
// resources (no process could be made), 2 when the file is not found, 3 when the path is not found
// (a directory of the given path does not exist), 11 when the file is not a program that can be
// run (no execute permission, unknown format, a directory).
#pragma once
#include <cstdint>
#include <string>

#include "platform/win_types.h"

constexpr UINT SW_HIDE = 0;
constexpr UINT SW_SHOWNORMAL = 1;
constexpr UINT SW_SHOW = 5;

constexpr UINT WINEXEC_OUT_OF_RESOURCES = 0;
constexpr UINT WINEXEC_FILE_NOT_FOUND = 2;
constexpr UINT WINEXEC_PATH_NOT_FOUND = 3;
constexpr UINT WINEXEC_BAD_FORMAT = 11;
constexpr UINT WINEXEC_STARTED = 33;

// `showCommand` is accepted for the caller's sake; the programs decide their own windows.
UINT WinExec(const char* commandLine, UINT showCommand);

namespace platform {

// The directory of the running program (no trailing slash), "" when it cannot be told.
std::string ProgramDirectory();

// The file WinExec would start for a program name (the calling program's directory first, then
// $PATH); "" when there is none.
std::string FindProgram(const std::string& name);
// The file a system tool of that name runs from: the first that may be executed in the folders of
// $PATH ("/usr/bin:/bin" without one), never the calling program's own folder; a name holding a
// '/' is taken as it stands. "" when there is none.
std::string FindTool(const std::string& name);

// How a program that WinExecAndWait started ended, as far as its wait saw it.
struct ProgramEnd {
  bool ended = false;  // it ended within the wait
  int exitCode = -1;   // its exit code; -1 when a signal ended it (or it did not end)
};

// Starts a command line as WinExec does (found, detached and cleaned the same way) and waits for
// the program to end, at most `boundMs` of the platform clock counted from the call. Returns
// WinExec's result; for a started program `end` tells whether it ended in time and how. A program
// still running at the bound runs on, and its end is never reported.
UINT WinExecAndWait(const std::string& commandLine, std::int64_t boundMs, ProgramEnd& end);

}  // namespace platform

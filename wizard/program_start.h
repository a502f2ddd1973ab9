// Starting other programs from the wizard (the scanner, the port-adding program) through one
// replaceable starter, and the messages for a start that failed. (Help waits for its opener's
// answer, so it starts the opener itself.)
#pragma once
#include <functional>
#include <string>

#include "platform/win_types.h"

namespace wizard {

// Starts a command line without waiting; the results of WinExec (above 31: started).
using ProgramStarter = std::function<UINT(const std::string& commandLine)>;
// Replaces the starter (tests record the command line); an empty function restores WinExec.
void SetProgramStarter(ProgramStarter starter);
UINT StartProgram(const std::string& commandLine);

// The message of a failed start, "" for a started program. `fileNotFound` is the text for a
// program that is not there.
std::string StartFailureText(UINT result, const std::string& fileNotFound);

// A command-line word, in double quotes when it holds blanks.
std::string QuoteWord(const std::string& word);

}  // namespace wizard

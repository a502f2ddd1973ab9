#include "wizard/program_start.h"

#include "platform/process/process.h"

namespace wizard {
namespace {

ProgramStarter& Starter() {
  static ProgramStarter starter;
  return starter;
}

}  // namespace

void SetProgramStarter(ProgramStarter starter) { Starter() = std::move(starter); }

UINT StartProgram(const std::string& commandLine) {
  if (Starter()) return Starter()(commandLine);
  return WinExec(commandLine.c_str(), SW_SHOW);
}

std::string StartFailureText(UINT result, const std::string& fileNotFound) {
  switch (result) {
    case WINEXEC_OUT_OF_RESOURCES: return "The operating system is out of memory or resources.";
    case WINEXEC_FILE_NOT_FOUND: return fileNotFound;
    case WINEXEC_PATH_NOT_FOUND: return "The specified path was not found.";
    case WINEXEC_BAD_FORMAT: return "The .EXE file is invalid (non-Win32 .EXE or error in .EXE image).";
    case 5: return "The operating system denied access to the specified file.";
    case 8: return "There was not enough memory to complete the operation.";
    case 26: return "A sharing violation occurred.";
    case 27: return "The filename association is incomplete or invalid.";
    case 28: return "The DDE transaction could not be completed because the request timed out.";
    case 29: return "The DDE transaction failed.";
    case 30:
      return "The DDE transaction could not be completed because other DDE transactions were being processed.";
    case 31: return "There is no application associated with the given filename extension.";
    case 32: return "The specified dynamic-link library was not found.";
    default: break;
  }
  // Every other value up to 31 is a failure without a text of its own.
  return result <= 31 ? "The program could not be started." : std::string();
}

std::string QuoteWord(const std::string& word) {
  return word.find(' ') == std::string::npos ? word : "\"" + word + "\"";
}

}  // namespace wizard

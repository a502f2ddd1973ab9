// The wizard's application object: one wizard per root, the scanner started, the presence and
// pause events, the page set of the command line's mode, the device library around the sheet.
#pragma once
#include <cstdint>
#include <memory>
#include <string>

#include "ui/frame.h"
#include "ui/instance_host.h"
#include "ui/property_sheet.h"

namespace wizard {

class CSetupWizardApp : public ui::CWinApp {
 public:
  // `commandLine`: the program's arguments joined by blanks ("1" gives the NetWare pages).
  explicit CSetupWizardApp(std::string commandLine = {});
  ~CSetupWizardApp() override;

  // Runs the whole wizard and returns false, so the program ends after it.
  bool InitInstance() override;
  // The help command: the wizard's help page with the desktop's opener.
  void OnHelp();
  // True when no other wizard runs; otherwise brings the running one to the front.
  bool FindRunningWizard();

  // The mode a command line gives: 1 when it begins with '1', else 2.
  static int ModeFromCommandLine(const std::string& commandLine);

  // The sheet while it runs.
  ui::CPropertySheet* m_pSheet = nullptr;
  // The protocol mask the device library was opened with.
  int m_iLanMask = 0;

  // The request a second start sends and the running wizard's answer.
  static constexpr const char* kActivateRequest = "activate";
  static constexpr const char* kAnswerActivated = "activated";
  static constexpr int kActivateWaitMs = 5000;
  // The help page shipped beside the program.
  static constexpr const char* kHelpFile = "QUILLON.html";
  // The folder the help page is looked for in; empty: the program's own.
  std::string m_szHelpDirectory;
  // How long Help waits for the opener's answer, counted from its start; an opener still running
  // then has handed the page on (a browser it started in its place runs on).
  static constexpr std::int64_t kHelpOpenerWaitMs = 3000;
  // What Help says when the page or the program that opens it is missing, when the opener finds
  // no program that shows the page, and when it fails otherwise.
  static std::string HelpFileMissingText(const std::string& page);
  static std::string HelpOpenerMissingText(const std::string& opener);
  static std::string HelpViewerMissingText(const std::string& opener);
  static std::string HelpOpenerFailedText(const std::string& opener, int exitCode);

 protected:
  // The scanner's command line (a program found beside this one).
  std::string m_szScannerCommand = "lumeth";
  // The help page's opener.
  std::string m_szHelpOpener = "xdg-open";

 private:
  std::string AnswerSecondStart(const std::string& request);

  std::string m_szCommandLine;
  ui::InstanceHost m_Instance;
};

// The wizard's string table: every text it shows by string id, its pages' too. The application
// object's constructor registers it.
void RegisterWizardStrings();

}  // namespace wizard

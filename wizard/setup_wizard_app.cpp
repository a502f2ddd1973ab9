#include "wizard/setup_wizard_app.h"

#include <unistd.h>

#include "platform/message_sink.h"
#include "platform/netbios/netbios.h"
#include "platform/process/process.h"
#include "ui/services.h"
#include "wizard/finish_page.h"
#include "wizard/netware_bindery_page.h"
#include "wizard/netware_nds_page.h"
#include "wizard/netware_page.h"
#include "wizard/program_start.h"
#include "wizard/resource.h"
#include "wizard/wizard_routines.h"
#include "wizard/select_page.h"
#include "wizard/server_details_old_page.h"
#include "wizard/start_page.h"
#include "wizard/tcpip_page.h"
#include "wizard/wireless_page.h"
#include "wizard/wizard_state.h"

namespace wizard {
namespace {

constexpr const char* kScannerMissing = "Can't find Lumeth.exe on your system, please reinstall the Setup Wizard.";
constexpr std::size_t kEventNameRoom = 47;
constexpr int kLanTimeOut = 20;
// The desktop opener's exit code when no program for the file's kind is there.
constexpr int kOpenerToolMissing = 3;

std::string EventName(int id) {
  std::string name = platform::LoadString(id);
  if (name.size() > kEventNameRoom) name.resize(kEventNameRoom);
  return name;
}

}  // namespace

void RegisterWizardStrings() {
  platform::RegisterString(IDS_NEED_DEVICE_NAME, "Need to input Device Name");
  platform::RegisterString(IDS_INCORRECT_PASSWORD, "Incorrect Password !");
  platform::RegisterString(IDS_RENAME_WARNING,
                           "Changing the name may result in existing user PCs being unable to locate the Print "
                           "Server, and require re-installation on the PC. Proceed with name change?\n");
  platform::RegisterString(IDS_NO_ADD_PRINTER_WIZARD, "No KVX driver found, please install Add Printer Wizard from CD.");
  platform::RegisterString(IDS_WIZARD_EVENT, "Print Server Wizard Event");
  platform::RegisterString(IDS_PAUSE_EVENT, "Print Server Pause Event");
  platform::RegisterString(IDS_SETUP_PRINTERS_NOW, "Do you want to setup printers for printing right now ?");
  // The pages' messages, so that every text the wizard shows is there from its start.
  RegisterWizardRoutineStrings();
  RegisterTcpipStrings();
  RegisterNetwareStrings();
  RegisterWirelessStrings();
}

CSetupWizardApp::CSetupWizardApp(std::string commandLine) : m_szCommandLine(std::move(commandLine)) {
  RegisterWizardStrings();
}

CSetupWizardApp::~CSetupWizardApp() = default;

int CSetupWizardApp::ModeFromCommandLine(const std::string& commandLine) {
  return !commandLine.empty() && commandLine[0] == '1' ? 1 : 2;
}

std::string CSetupWizardApp::AnswerSecondStart(const std::string& request) {
  if (request != kActivateRequest || m_pSheet == nullptr || m_pSheet->GetSafeHwnd() == nullptr) return {};
  // Minimised and restored: the running wizard comes to the front.
  if (!m_pSheet->IsIconic()) m_pSheet->ShowWindow(ui::SW_MINIMIZE);
  m_pSheet->ShowWindow(ui::SW_RESTORE);
  m_pSheet->SetForegroundWindow();
  return kAnswerActivated;
}

bool CSetupWizardApp::FindRunningWizard() {
  return m_Instance.Acquire(kSheetCaption, kActivateRequest, kActivateWaitMs,
                            [this](const std::string& r) { return AnswerSecondStart(r); }, "quillon");
}

bool CSetupWizardApp::InitInstance() {
  ui::SetAppTitle(kSheetCaption);
  if (!FindRunningWizard()) return false;

  const UINT started = StartProgram(m_szScannerCommand);
  const std::string failure = StartFailureText(started, kScannerMissing);
  if (!failure.empty()) {
    platform::GetMessageSink().Show(0, failure, platform::MB_OK);
    m_Instance.Release();
    return false;
  }

  const bool tcpip = IsTcpipInstalled();
  g_hWizardEvent = CreateEvent(TRUE, TRUE, EventName(IDS_WIZARD_EVENT).c_str());
  g_hPauseEvent = OpenEvent(EVENT_MODIFY_STATE, FALSE, EventName(IDS_PAUSE_EVENT).c_str());

  ui::CPropertySheet sheet(kSheetCaption);
  m_pSheet = &sheet;
  CStart start;
  CSelect select;
  CServerDetailsOld details;
  CNetware netware;
  CNetwareNDS netwareNds;
  CNetwareBindery netwareBindery;
  CTcpip tcpipPage;
  CWireless wireless;
  CFinish finish;

  const int mode = ModeFromCommandLine(m_szCommandLine);
  SetWizardMode(mode);

  m_iLanMask = TYPE_NETBEUI | (tcpip ? TYPE_TCPIP : 0);
  {
    ui::CWaitCursor wait;
    TheUtility().mInitializeLanComponent(m_iLanMask, kLanTimeOut);
  }
  if (const std::string problem = NbTakeServiceProblem(); !problem.empty()) {
    platform::GetMessageSink().Show(0, problem, platform::MB_ICONWARNING);
  }

  sheet.AddPage(&start);
  sheet.AddPage(&select);
  sheet.AddPage(&details);
  if (mode == 1) {
    sheet.AddPage(&netware);
    sheet.AddPage(&netwareNds);
    sheet.AddPage(&netwareBindery);
  }
  sheet.AddPage(&tcpipPage);
  sheet.AddPage(&wireless);
  sheet.AddPage(&finish);
  sheet.SetWizardMode();
  sheet.SetHelpHandler([this] { OnHelp(); });
  m_pMainWnd = &sheet;
  sheet.DoModal();
  m_pMainWnd = nullptr;
  m_pSheet = nullptr;

  {
    ui::CWaitCursor wait;
    TheUtility().mExitLanComponent();
  }
  if (g_hWizardEvent) CloseHandle(g_hWizardEvent);
  if (g_hPauseEvent) CloseHandle(g_hPauseEvent);
  g_hWizardEvent = nullptr;
  g_hPauseEvent = nullptr;
  m_Instance.Release();
  return false;
}

std::string CSetupWizardApp::HelpFileMissingText(const std::string& page) {
  return "The help file " + page + " was not found. Please reinstall the Setup Wizard.";
}

std::string CSetupWizardApp::HelpOpenerMissingText(const std::string& opener) {
  return "The help file cannot be shown: the program " + opener +
         " that opens it was not found. Please install it (package xdg-utils).";
}

std::string CSetupWizardApp::HelpViewerMissingText(const std::string& opener) {
  return "The help file cannot be shown: " + opener +
         " found no program that shows HTML pages. Please install a web browser.";
}

std::string CSetupWizardApp::HelpOpenerFailedText(const std::string& opener, int exitCode) {
  return "The help file cannot be shown: " + opener + " failed" +
         (exitCode >= 0 ? " (exit code " + std::to_string(exitCode) + ")." : ".");
}

void CSetupWizardApp::OnHelp() {
  const std::string dir = m_szHelpDirectory.empty() ? platform::ProgramDirectory() : m_szHelpDirectory;
  if (dir.empty()) return;
  const std::string page = dir + "/" + kHelpFile;
  if (::access(page.c_str(), R_OK) != 0) {
    platform::GetMessageSink().Show(0, HelpFileMissingText(page), platform::MB_OK);
    return;
  }
  // The opener tells by its exit whether it found a program for the page; one that has not ended
  // by the bound has most likely handed the page to a browser.
  platform::ProgramEnd end;
  UINT started;
  {
    ui::CWaitCursor wait;
    started = platform::WinExecAndWait(m_szHelpOpener + " " + QuoteWord(page), kHelpOpenerWaitMs, end);
  }
  // The page is there, so a program that is not found is the opener.
  std::string failure = StartFailureText(started, HelpOpenerMissingText(m_szHelpOpener));
  if (failure.empty() && end.ended && end.exitCode != 0) {
    // The opener's exit code 3: a program it needs (one that shows the page) is not there.
    failure = end.exitCode == kOpenerToolMissing ? HelpViewerMissingText(m_szHelpOpener)
                                                  : HelpOpenerFailedText(m_szHelpOpener, end.exitCode);
  }
  if (!failure.empty()) platform::GetMessageSink().Show(0, failure, platform::MB_OK);
}

}  // namespace wizard

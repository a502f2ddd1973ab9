#include "wizard/finish_page.h"

#include "platform/clock.h"
#include "platform/message_sink.h"
#include "ui/services.h"
#include "wizard/page_layout.h"
#include "wizard/program_start.h"
#include "wizard/resource.h"
#include "wizard/wizard_routines.h"
#include "wizard/wizard_state.h"

namespace wizard {
namespace {

constexpr std::int64_t kAfterConfigurationWaitMs = 2000;

ui::DialogTemplate FinishTemplate() {
  const int x = kContentX;
  return WizardPageTemplate(
      IDD_FINISH,
      {{-1, ui::Kind::GroupBox, "Configuration Completed", 0, x, 8, kContentCx, 120},
       {-1, ui::Kind::Static,
        "The wizard has all it needs. Click Finish to send the settings to the print server; it "
        "restarts with them.",
        0, x + 10, 24, kContentCx - 20, 36},
       {-1, ui::Kind::Static,
        "Once the print server's add-printer driver from the CD is installed, the PCs of your "
        "network can print directly to the print server.",
        0, x + 10, 68, kContentCx - 20, 44}});
}

}  // namespace

std::string PortAdderCommand(const std::string& targetDir, bool tcpipInstalled) {
  std::string dir = targetDir;
  while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
  return QuoteWord(dir + "/Gastrel/dapsel") + (tcpipInstalled ? " 2" : " 1");
}

CFinish::CFinish() : CPropertyPage(FinishTemplate()) {}

BOOL CFinish::OnSetActive() {
  GetSheet()->SetWizardButtons(ui::PSWIZB_BACK | ui::PSWIZB_FINISH);
  return CPropertyPage::OnSetActive();
}

ui::LRESULT CFinish::OnWizardBack() {
  std::string name, device, longName;
  GetSelectedDevice(name, device, longName);
  m_Protocol = config::ProtocolData{};
  TheUtility().mGetDeviceProtocol(name, &m_Protocol);
  return m_Protocol.bWirelessDevice == 1 ? IDD_WIRELESS : IDD_TCPIP;
}

BOOL CFinish::OnWizardFinish() {
  int mode = GetWizardMode();
  if (dsSystemConfigurationData.bIPXSPXProtocol == 0) mode = 2;
  // NetWare lines go only with a NetWare set-up the pages chose.
  if (g_WizardConfigurationData.dsNetware.szOperationMode.empty()) mode = 2;
  std::string name, device, longName;
  GetSelectedDevice(name, device, longName);

  ui::CWaitCursor wait;
  // Only what the pages collected: the wireless lines when the wireless page stored them for this
  // box, the comment and share-name texts only when a page asked for them. Nothing is read from the
  // box here, so a failed read cannot change what is sent.
  unsigned groups = 0;
  if (!name.empty() && g_szWirelessCollectedFor == name) groups |= CPrintServerUtility::kWizardWireless;
  if (g_bNetBEUITextsCollected) groups |= CPrintServerUtility::kWizardNetBEUITexts;
  m_iResult = TheUtility().mSetWizardConfiguration(name, &g_WizardConfigurationData, mode == 2 ? 2 : 3, groups);
  if (m_iResult != 0) {
    wait.Restore();
    ShowErrorForCode(m_iResult);
    return 1;
  }
  platform::GetClock().SleepMs(kAfterConfigurationWaitMs);
  wait.Restore();
  const int answer =
      platform::MessageBoxById(IDS_SETUP_PRINTERS_NOW, platform::MB_YESNO | platform::MB_ICONQUESTION);
  if (answer != platform::IDYES) return 1;
  std::string targetDir;
  if (IsUserSetup() != 1 || GetTargetDir(targetDir) != 1 || targetDir.empty()) {
    platform::MessageBoxById(IDS_NO_ADD_PRINTER_WIZARD);
    return 1;
  }
  const UINT started = StartProgram(PortAdderCommand(targetDir, IsTcpipInstalled()));
  const std::string failure = StartFailureText(started, "The specified file was not found.");
  if (!failure.empty()) platform::GetMessageSink().Show(0, failure, platform::MB_OK);
  return 1;
}

}  // namespace wizard

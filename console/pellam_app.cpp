#include "console/pellam_app.h"

#include "console/console_state.h"
#include "console/main_frame.h"
#include "console/main_menu_dlg.h"
#include "console/pellam_view.h"
#include "console/resource.h"
#include "console_simulation/debug_log.h"
#include "device_client/settings/com_method.h"
#include "platform/message_sink.h"
#include "platform/netbios/netbios.h"
#include "platform/process/process.h"
#include "platform/profile.h"
#include "ui/services.h"

using namespace console;

namespace {
constexpr const char* kScannerMissing =
    "Can't find Lumeth.exe on your system, please reinstall the Tollard Utility.";
constexpr std::size_t kEventNameRoom = 47;

std::string EventName(int id) {
  std::string name = platform::LoadString(id);
  if (name.size() > kEventNameRoom) name.resize(kEventNameRoom);
  return name;
}
}  // namespace

CPellamApp::CPellamApp() { RegisterConsoleStrings(); }

CPellamApp::~CPellamApp() {
  m_pView.reset();
  m_pFrame.reset();
}

std::string CPellamApp::FrameTitle() {
  const std::string text = platform::LoadString(IDS_MAINFRAME);
  const std::size_t lf = text.find('\n');
  if (lf == std::string::npos) return text;
  return text.substr(lf + 1) + " - " + text.substr(0, lf);
}

std::string CPellamApp::AnswerSecondStart(const std::string& request) {
  if (request != kActivateRequest || !m_pFrame) return {};
  if (m_pFrame->IsIconic()) {
    m_pFrame->ShowWindow(ui::SW_RESTORE);
    return kAnswerRestored;
  }
  m_pFrame->ShowWindow(ui::SW_HIDE);
  return kAnswerHidden;
}

bool CPellamApp::ActivatePreviousInstance() {
  return m_Instance.Acquire(FrameTitle(), kActivateRequest, kActivateWaitMs,
                            [this](const std::string& r) { return AnswerSecondStart(r); }, "tollard");
}

bool CPellamApp::InitInstance() {
  const std::string names = platform::LoadString(IDS_MAINFRAME);
  ui::SetAppTitle(names.substr(0, names.find('\n')));
  if (!ActivatePreviousInstance()) return false;

  const UINT started = WinExec(m_szScannerCommand.c_str(), SW_SHOW);
  if (started == WINEXEC_OUT_OF_RESOURCES || started == WINEXEC_FILE_NOT_FOUND ||
      started == WINEXEC_PATH_NOT_FOUND || started == WINEXEC_BAD_FORMAT) {
    platform::GetMessageSink().Show(0, kScannerMissing, platform::MB_OK);
    return false;
  }

  const int timeOut = CComMethod::GetTimeOut();
  const int flags = ConnectedProtocolFlags();
  if (flags == 0) {
    platform::MessageBoxById(IDS_NO_CONNECTED_PROTOCOL);
    return false;
  }

  g_hAdminEvent = CreateEvent(TRUE, TRUE, EventName(IDS_ADMIN_EVENT).c_str());
  g_hPauseEvent = OpenEvent(EVENT_MODIFY_STATE, FALSE, EventName(IDS_PAUSE_EVENT).c_str());

  ui::CWaitCursor wait;
  m_iLanInitResult = TheUtility().mInitializeLanComponent(flags, timeOut);
  if (const std::string problem = NbTakeServiceProblem(); !problem.empty()) {
    wait.Restore();
    platform::GetMessageSink().Show(0, problem, platform::MB_ICONWARNING);
  }
  if (EveryTransportFailed(m_iLanInitResult)) {
    wait.Restore();
    platform::MessageBoxById(IDS_LAN_INIT_FAIL);
    return false;
  }

  // The document, the hidden frame, the view and with it the device-list dialog.
  m_pDocument = std::make_unique<CPellamDoc>();
  if (!m_pDocument->OnNewDocument()) return false;
  m_pFrame = std::make_unique<CMainFrame>();
  if (!m_pFrame->LoadFrame(FrameTitle(), MainFrameMenu(), MainFrameAccelerators())) return false;
  m_pFrame->SetIcon(IDR_MAINFRAME);
  m_pFrame->SetDocument(m_pDocument.get());
  m_pMainWnd = m_pFrame.get();
  m_pView = std::make_unique<CPellamView>();
  m_pView->PreCreateWindow();
  if (!m_pView->CreateView(*m_pFrame)) return false;
  m_pFrame->ShowWindow(ui::SW_HIDE);
  return true;
}

int CPellamApp::ExitInstance() {
  {
    ui::CWaitCursor wait;
    if (CComMethod::IsSimulation() == 0) TheUtility().mExitLanComponent();
  }
  if (g_hAdminEvent) CloseHandle(g_hAdminEvent);
  if (g_hPauseEvent) CloseHandle(g_hPauseEvent);
  g_hAdminEvent = nullptr;
  g_hPauseEvent = nullptr;
  m_Instance.Release();
  return CWinApp::ExitInstance();
}

void CPellamApp::OpenDebugLog() {
  // One preparation of the log for the console and its call logger: created when missing, emptied
  // when it has grown past its limit, then the login banner.
  PrepareDebugLog();
}

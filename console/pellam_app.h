// The console's application object: one console per root, the scanner started, the connected
// protocols checked, the named events made, the device library started, then the hidden frame
// with its view and the visible device-list dialog. ExitInstance undoes what was done.
#pragma once
#include <memory>
#include <string>

#include "ui/frame.h"
#include "ui/instance_host.h"

class CMainFrame;
class CPellamDoc;
class CPellamView;

class CPellamApp : public ui::CWinApp {
 public:
  CPellamApp();
  ~CPellamApp() override;

  bool InitInstance() override;
  int ExitInstance() override;
  // TRUE when no other console runs; otherwise asks the running one to restore its frame when
  // it is minimised or to hide it, and returns FALSE.
  bool ActivatePreviousInstance();
  // Empties the debug log above 512000 bytes and writes the login banner (no start-up step calls it).
  void OpenDebugLog();

  // The caption of the main frame: "<document name> - <program title>" from string 128.
  static std::string FrameTitle();

  int m_iLanInitResult = 0;
  CMainFrame* Frame() const { return m_pFrame.get(); }
  CPellamView* View() const { return m_pView.get(); }

  // The request a second start sends, and the running console's answers.
  static constexpr const char* kActivateRequest = "restore-or-hide";
  static constexpr const char* kAnswerRestored = "restored";
  static constexpr const char* kAnswerHidden = "hidden";
  // How long a second start waits for the running console's answer.
  static constexpr int kActivateWaitMs = 5000;

 protected:
  // The scanner's command line (a program found beside this one).
  std::string m_szScannerCommand = "lumeth";

 private:
  std::string AnswerSecondStart(const std::string& request);

  ui::InstanceHost m_Instance;
  std::unique_ptr<CPellamDoc> m_pDocument;
  std::unique_ptr<CPellamView> m_pView;
  std::unique_ptr<CMainFrame> m_pFrame;
};

// The scanner program without its window: the single-instance guard, the named objects shared
// with the client programs, the presence poll, the pause rule and the scan rounds with one worker
// thread per discovery route. The window (or the headless runner) drives it through a timer and
// receives the log text through a callback.
#pragma once
#include <array>
#include <atomic>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "discovery_scanner/scanner/scan_routes.h"
#include "discovery_scanner/scanner/scanner_control.h"
#include "discovery_scanner/scanner/scanner_options.h"
#include "platform/named_objects/named_objects.h"

namespace lumeth {

constexpr const char* kScannerMutexName = "Print Server Lumeth Mutex";
constexpr const char* kPauseEventName = "Print Server Pause Event";
constexpr const char* kPresenceEventNames[3] = {"Print Server Tollard Event", "Print Server Wizard Event",
                                                "Print Server AddPrinter Event"};
// The value the protocols are started with (stored, not used further).
constexpr int kScanInitValue = 20;
// How long after the start of a round each route's worker begins (NetBIOS, UDP 34444, IPX,
// UDP 34443): the 200, 100 and 300 ms steps between them.
constexpr int kRouteStartOffsetMs[kRouteCount] = {0, 200, 300, 600};
// Ticks in a row without a client after which the next empty tick ends the program.
constexpr int kIdleTicksBeforeExit = 3;

class LumethCore final : public ScannerControl {
 public:
  using Routes = std::array<std::unique_ptr<ScanRoute>, kRouteCount>;

  explicit LumethCore(ScannerOptions options);
  LumethCore(ScannerOptions options, Routes routes);
  ~LumethCore() override;
  LumethCore(const LumethCore&) = delete;
  LumethCore& operator=(const LumethCore&) = delete;

  enum class StartResult { kStarted, kAlreadyRunning, kFailed };
  // The single-instance mutex (created and checked in one step, so of two scanners starting at
  // once exactly one runs), the scan-file mutex and the pause event (created signalled).
  StartResult Start();
  // Why the last Start() failed (which object, where, and the system's reason); empty otherwise.
  const std::string& StartFailure() const { return startFailure_; }

  // Starts the protocols; the routes of a protocol that failed stay off for the run (their busy
  // flags stay set). Returns the failure bits.
  int StartProtocols() override;

  // One tick of the presence poll. False when the program should end: the fourth tick in a row
  // without a client, and still no client after the scanner has let go of its objects (a client
  // that arrives at that moment gets this scanner back, or the one it started meanwhile).
  bool OnTimer() override;

  // Starts a scan round (also the Run Once command). False when it was skipped because exactly
  // one client is present and it has reset the pause event.
  bool StartScanRound() override;

  // The worker thread routines of the four routes, started by the scan round while the route's
  // busy flag is clear: each waits for its start in the round, runs its scan, writes its cache
  // file (with no records when the scan failed) and clears its busy flag. Return 0.
  int ScanNetBiosThread();
  int ScanUdp2Thread();
  int ScanIpxThread();
  int ScanUdpThread();

  // The Pause button: true when scanning is now paused (the pause event reset).
  bool TogglePause() override;
  bool Paused() const { return paused_; }

  // Verify Data: reads the four scan files and discards them (records per file returned).
  std::vector<int> VerifyData() override;

  // Ends the program's work: stops and joins the workers, then stops the protocols and closes the
  // named objects. Safe to call more than once.
  void Shutdown() override;

  // Where the workers' log text goes (called from the worker threads).
  void SetLogSink(LogSink sink) override;

  int TickMs() const override { return options_.tickMs; }
  const ScannerOptions& options() const { return options_; }
  int clientCount() const { return clients_; }
  int idleCount() const { return idle_; }
  bool RouteBusy(int route) const { return busy_[static_cast<std::size_t>(route)].load(); }
  // Waits until every worker that has been started has finished (for tests and the benchmark).
  void JoinWorkers();
  // Runs between letting go of the objects and the last look for clients (for tests).
  void SetLeavingHook(std::function<void()> hook) { leavingHook_ = std::move(hook); }

 private:
  int CountClients() const;
  void ReleaseObjects();
  void StopAndJoinWorkers();
  int RunWorker(int route);
  void Log(const std::string& text);
  void Trace(const char* format, ...) const;

  ScannerOptions options_;
  Routes routes_;
  std::string startFailure_;
  HANDLE scannerMutex_ = nullptr;
  HANDLE scanFileMutex_ = nullptr;
  HANDLE pauseEvent_ = nullptr;
  bool protocolsStarted_ = false;
  bool paused_ = false;
  int idle_ = 0;
  int clients_ = 0;
  std::array<std::atomic<bool>, kRouteCount> busy_{};
  std::array<bool, kRouteCount> routeOff_{};
  std::array<std::thread, kRouteCount> workers_;
  StopSignal stop_;
  SharedLocalText localText_;
  std::mutex sinkMu_;
  LogSink sink_;
  std::function<void()> leavingHook_;
};

}  // namespace lumeth

#include "discovery_scanner/scanner/scanner_core.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>

#include "device_client/core/scan_cache/scan_cache.h"
#include "discovery_scanner/scanner/protocols.h"
#include "platform/paths.h"

namespace lumeth {
namespace {

// The thread routine of each route, in route order.
constexpr int (LumethCore::*kThreadRoutines[kRouteCount])() = {
    &LumethCore::ScanNetBiosThread, &LumethCore::ScanUdp2Thread, &LumethCore::ScanIpxThread,
    &LumethCore::ScanUdpThread};

LumethCore::Routes DefaultRoutes() {
  LumethCore::Routes routes;
  routes[kRouteNetBios] = MakeNetBiosRoute();
  routes[kRouteUdp2] = MakeUdp2Route();
  routes[kRouteIpx] = MakeIpxRoute();
  routes[kRouteUdp] = MakeUdpRoute();
  return routes;
}

}  // namespace

LumethCore::LumethCore(ScannerOptions options) : LumethCore(std::move(options), DefaultRoutes()) {}

LumethCore::LumethCore(ScannerOptions options, Routes routes)
    : options_(std::move(options)), routes_(std::move(routes)) {
  for (auto& b : busy_) b.store(false);
}

LumethCore::~LumethCore() { Shutdown(); }

LumethCore::StartResult LumethCore::Start() {
  if (scannerMutex_ != nullptr) return StartResult::kStarted;
  startFailure_.clear();
  // Says which named object could not be made, where such objects live and why.
  auto failed = [this](const char* kind, const char* name) {
    const int error = errno;
    startFailure_ = std::string("cannot create the ") + kind + " \"" + name + "\" in " +
                    platform::JoinPath(platform::Root(), "objects") + ": " + (error != 0 ? std::strerror(error) : "unknown error") +
                    " (error " + std::to_string(GetLastError()) + ")";
    return StartResult::kFailed;
  };
  errno = 0;
  HANDLE instance = CreateMutex(FALSE, kScannerMutexName);
  if (instance == nullptr) return failed("mutex", kScannerMutexName);
  if (GetLastError() == ERROR_ALREADY_EXISTS) {
    CloseHandle(instance);
    return StartResult::kAlreadyRunning;
  }
  errno = 0;
  HANDLE scanFile = CreateMutex(FALSE, scan_cache::kScanFileMutexName);
  if (scanFile == nullptr || GetLastError() == ERROR_ALREADY_EXISTS) {
    const bool exists = scanFile != nullptr;
    const StartResult result = exists ? StartResult::kAlreadyRunning : failed("mutex", scan_cache::kScanFileMutexName);
    if (scanFile != nullptr) CloseHandle(scanFile);
    CloseHandle(instance);
    return result;
  }
  errno = 0;
  HANDLE pause = CreateEvent(TRUE, TRUE, kPauseEventName);
  if (pause == nullptr) {
    const StartResult result = failed("event", kPauseEventName);
    CloseHandle(scanFile);
    CloseHandle(instance);
    return result;
  }
  scannerMutex_ = instance;
  scanFileMutex_ = scanFile;
  pauseEvent_ = pause;
  stop_.Clear();
  return StartResult::kStarted;
}

int LumethCore::StartProtocols() {
  const int failures = ScanInit(options_.protocols, kScanInitValue, options_);
  protocolsStarted_ = true;
  // A protocol left out counts as failed to start.
  auto off = [&](int bits, int protocol) {
    return (failures & bits) == bits || (options_.protocols & protocol) == 0;
  };
  routeOff_[kRouteUdp] = routeOff_[kRouteUdp2] = off(kFailTcpIp, kProtocolTcpIp);
  routeOff_[kRouteIpx] = off(kFailIpx, kProtocolIpx);
  routeOff_[kRouteNetBios] = off(kFailNetBios, kProtocolNetBios);
  for (int r = 0; r < kRouteCount; ++r) {
    if (routeOff_[static_cast<std::size_t>(r)] || !routes_[static_cast<std::size_t>(r)]) {
      busy_[static_cast<std::size_t>(r)].store(true);
    }
  }
  Trace("protocols failures=0x%02X", failures);
  return failures;
}

int LumethCore::CountClients() const {
  int found = 0;
  for (const char* name : kPresenceEventNames) {
    HANDLE event = OpenEvent(EVENT_MODIFY_STATE, FALSE, name);
    if (event != nullptr) {
      ++found;
      CloseHandle(event);
    }
  }
  return found;
}

bool LumethCore::OnTimer() {
  const int found = CountClients();
  Trace("poll clients=%d", found);
  if (found > 0) {
    idle_ = 0;
    clients_ = found;
    StartScanRound();
    return true;
  }
  if (idle_ < kIdleTicksBeforeExit) {
    ++idle_;
    return true;
  }
  // Leaving: let go of everything first, then look once more. A client that came meanwhile (and
  // whose own start of the scanner found this one still running) is served by taking the objects
  // back, unless a new scanner already has them.
  StopAndJoinWorkers();
  ReleaseObjects();
  if (leavingHook_) leavingHook_();
  const int late = CountClients();
  if (late == 0) return false;
  if (Start() != StartResult::kStarted) return false;
  Trace("client arrived while leaving; staying");
  idle_ = 0;
  clients_ = late;
  StartScanRound();
  return true;
}

bool LumethCore::StartScanRound() {
  if (clients_ == 1 && pauseEvent_ != nullptr && WaitForSingleObject(pauseEvent_, 10) != WAIT_OBJECT_0) {
    Trace("round skipped");
    return false;
  }
  Trace("round");
  for (int r = 0; r < kRouteCount; ++r) {
    const auto i = static_cast<std::size_t>(r);
    if (busy_[i].load()) {
      if (!routeOff_[i] && routes_[i]) Trace("route %s busy", routes_[i]->Name());
      continue;
    }
    if (workers_[i].joinable()) workers_[i].join();
    busy_[i].store(true);
    try {
      workers_[i] = std::thread(kThreadRoutines[i], this);
    } catch (const std::system_error&) {
      busy_[i].store(false);  // no thread: the route tries again next round
    }
  }
  return true;
}

int LumethCore::ScanNetBiosThread() { return RunWorker(kRouteNetBios); }
int LumethCore::ScanUdp2Thread() { return RunWorker(kRouteUdp2); }
int LumethCore::ScanIpxThread() { return RunWorker(kRouteIpx); }
int LumethCore::ScanUdpThread() { return RunWorker(kRouteUdp); }

int LumethCore::RunWorker(int route) {
  const auto i = static_cast<std::size_t>(route);
  if (stop_.Pause(kRouteStartOffsetMs[i])) {
    std::vector<scan_cache::ScanCacheRecord> records;
    records.reserve(static_cast<std::size_t>(scan_cache::kMaxRecords));
    ScanContext context{&options_, &stop_, &localText_};
    const bool ok = routes_[i]->Scan(context, &records);
    // A scan cut short by the end of the program leaves the file as it was.
    if (!stop_.Stopped()) {
      if (!ok) records.clear();
      if (records.size() > static_cast<std::size_t>(scan_cache::kMaxRecords)) {
        records.resize(static_cast<std::size_t>(scan_cache::kMaxRecords));
      }
      scan_cache::WriteScanFile(routes_[i]->FileName(), records.data(), static_cast<int>(records.size()),
                                [this](const std::string& text) { Log(text); });
    }
  }
  busy_[i].store(false);
  return 0;
}

bool LumethCore::TogglePause() {
  if (!paused_) {
    if (pauseEvent_ != nullptr) ResetEvent(pauseEvent_);
    paused_ = true;
  } else {
    if (pauseEvent_ != nullptr) SetEvent(pauseEvent_);
    paused_ = false;
  }
  return paused_;
}

std::vector<int> LumethCore::VerifyData() { return scan_cache::VerifyScanFiles(); }

void LumethCore::JoinWorkers() {
  for (auto& t : workers_) {
    if (t.joinable()) t.join();
  }
}

void LumethCore::StopAndJoinWorkers() {
  stop_.Stop();
  JoinWorkers();
  stop_.Clear();
}

void LumethCore::ReleaseObjects() {
  // The scan-file mutex and the pause event go first: a scanner that starts as soon as the
  // single-instance mutex is free must not find them.
  if (scanFileMutex_ != nullptr) CloseHandle(scanFileMutex_);
  if (pauseEvent_ != nullptr) CloseHandle(pauseEvent_);
  if (scannerMutex_ != nullptr) CloseHandle(scannerMutex_);
  scanFileMutex_ = pauseEvent_ = scannerMutex_ = nullptr;
}

void LumethCore::Shutdown() {
  StopAndJoinWorkers();
  if (protocolsStarted_) {
    ScanExit();
    protocolsStarted_ = false;
  }
  ReleaseObjects();
}

void LumethCore::SetLogSink(LogSink sink) {
  std::lock_guard<std::mutex> lock(sinkMu_);
  sink_ = std::move(sink);
}

void LumethCore::Log(const std::string& text) {
  LogSink sink;
  {
    std::lock_guard<std::mutex> lock(sinkMu_);
    sink = sink_;
  }
  if (sink) sink(text);
}

void LumethCore::Trace(const char* format, ...) const {
  if (!options_.trace) return;
  char line[256];
  va_list args;
  va_start(args, format);
  std::vsnprintf(line, sizeof line, format, args);
  va_end(args);
  std::fprintf(stderr, "lumeth: %s\n", line);
  std::fflush(stderr);
}

}  // namespace lumeth

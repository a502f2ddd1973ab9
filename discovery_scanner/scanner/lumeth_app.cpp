#include "discovery_scanner/scanner/lumeth_app.h"

#include <dlfcn.h>
#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "discovery_scanner/scanner/lumeth_window_module.h"

namespace lumeth {
namespace {

// The stop signals arrive through a descriptor that the loop watches; they are blocked before any
// thread starts, so every thread inherits the mask.
int StopSignalDescriptor() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
  return signalfd(-1, &set, SFD_CLOEXEC | SFD_NONBLOCK);
}

}  // namespace

CLumethApp::CLumethApp(int argc, char** argv)
    : argc_(argc), argv_(argv), trayFlag_(argc > 1 && argv[1] != nullptr && argv[1][0] == '1') {}

bool CLumethApp::HasDisplay() {
  return std::getenv("DISPLAY") != nullptr || std::getenv("WAYLAND_DISPLAY") != nullptr ||
         std::getenv("QT_QPA_PLATFORM") != nullptr;
}

std::string CLumethApp::WindowModulePath() {
  char self[4096];
  const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
  if (n <= 0) return kLumethWindowModule;
  std::string path(self, static_cast<std::size_t>(n));
  const std::size_t slash = path.rfind('/');
  return (slash == std::string::npos ? std::string() : path.substr(0, slash + 1)) + kLumethWindowModule;
}

int CLumethApp::InitInstance() {
  LumethCore core(ScannerOptions::FromEnvironment());
  switch (core.Start()) {
    case LumethCore::StartResult::kStarted: break;
    case LumethCore::StartResult::kAlreadyRunning: return 0;  // the other scanner does the work
    case LumethCore::StartResult::kFailed:
      std::fprintf(stderr, "lumeth: %s\n", core.StartFailure().c_str());
      return 1;
  }
  const int stopFd = StopSignalDescriptor();
  int result = 0;
  if (!HasDisplay() || !RunWindow(core, stopFd, &result)) result = RunHeadless(core, stopFd);
  core.Shutdown();
  if (stopFd >= 0) ::close(stopFd);
  (void)result;
  return 0;
}

bool CLumethApp::RunWindow(LumethCore& core, int stopFd, int* result) {
  const std::string path = WindowModulePath();
  void* module = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (module == nullptr) {
    std::fprintf(stderr, "lumeth: no window (%s); running without it\n", ::dlerror());
    return false;
  }
  auto run = reinterpret_cast<LumethRunWindowFn>(::dlsym(module, kLumethRunWindowSymbol));
  if (run == nullptr) {
    std::fprintf(stderr, "lumeth: %s holds no window; running without it\n", path.c_str());
    ::dlclose(module);
    return false;
  }
  *result = run(&core, argc_, argv_, trayFlag_ ? 1 : 0, stopFd);
  // The module stays loaded: the GUI libraries it brought in keep state until the process ends.
  return true;
}

int CLumethApp::RunHeadless(LumethCore& core, int stopFd) {
  core.SetLogSink([](const std::string& text) {
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
  });
  core.StartProtocols();
  core.StartScanRound();
  using Steady = std::chrono::steady_clock;
  const auto tick = std::chrono::milliseconds(core.TickMs());
  auto next = Steady::now() + tick;
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(next - Steady::now()).count();
    if (left > 0) {
      pollfd p{stopFd, POLLIN, 0};
      const int n = ::poll(&p, stopFd >= 0 ? 1 : 0, static_cast<int>(left));
      if (n > 0) break;  // SIGINT or SIGTERM: ends like the Exit button
      continue;          // the time-out (or an interrupted wait): look at the clock again
    }
    next += tick;
    if (!core.OnTimer()) break;
  }
  core.Shutdown();
  core.SetLogSink({});
  return 0;
}

}  // namespace lumeth

// brandel: a CUPS backend that prints through the spooler stand-in and the print monitor.
//
//   brandel                                  lists the monitor's ports as devices
//   brandel JOB USER TITLE COPIES OPTIONS [FILE]   prints FILE (or standard input) to the port
//                                            named by DEVICE_URI, "brandel:/PORT"
//
// The platform root comes from PSADMIN_ROOT (for the CUPS server: SetEnv in cups-files.conf). The monitor
// "Vardon Print Server" must be registered there (psa_spooler register); when it is not, the
// library beside this program is registered. The CUPS queue name (PRINTER) is passed on as the
// printer, so a printer record of that name gives its transmission retry time-out.
//
// Printer states go to CUPS as "STATE:" lines: paper out as media-empty-error, off-line as
// offline-report, the retry time-out as timed-out-error. Exit codes: 0 printed (or cancelled by
// SIGTERM), 1 the job failed (or its arguments are wrong), 4 the port cannot be opened (stop the
// queue), 6 the document could not be started or this computer's NetBIOS service could not be
// started or reached (retry the job later). Run as root, the backend stops the queue (4) when
// another user than root could change its platform root, registry store or the monitor's library.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/clock.h"
#include "platform/message_sink.h"
#include "platform/netbios/netbios.h"
#include "platform/spooler/spooler.h"

namespace {

// The exit codes of cups/backend.h (CUPS_BACKEND_OK, _FAILED, _STOP, _RETRY), which need not be
// installed where this is built.
constexpr int kBackendOk = 0;
constexpr int kBackendFailed = 1;
constexpr int kBackendStop = 4;
constexpr int kBackendRetry = 6;
constexpr const char* kMonitor = "Vardon Print Server";
// A job that cannot get the box's port asks that many times before CUPS retries it later.
constexpr int kRegisterRetries = 3;
// After SIGTERM the job has this long to end its document before the backend just leaves.
constexpr int kCancelGraceSeconds = 10;

std::atomic<bool> g_cancelled{false};

// The first SIGTERM cancels the job and gives it kCancelGraceSeconds to end its document; after
// that the alarm ends the backend whatever it is doing.
void OnTerm(int) {
  if (!g_cancelled.exchange(true)) ::alarm(static_cast<unsigned>(kCancelGraceSeconds));
}

void OnCancelGraceOver(int) {
  static const char kLine[] = "INFO: Job cancelled\n";
  (void)!::write(STDERR_FILENO, kLine, sizeof kLine - 1);
  _exit(kBackendOk);
}

// How long a block of the job gathers the pieces that keep coming from a pipe: at most this long
// after its first piece, so a slow filter's first pages still go out at once.
constexpr std::int64_t kGatherMs = 200;

// Reads the next block of the job: up to `n` bytes, -1 when the read failed with nothing read.
// A pipe hands over at most what it holds (64 KB) per read, and a block that ends a few bytes past
// a multiple of the box's data size costs a data message of those few bytes, a round trip of its
// own: a block from a pipe is filled with what keeps coming, for at most kGatherMs. A regular
// file fills the block in one read.
long ReadJobBlock(int fd, char* p, std::size_t n) {
  std::size_t got = 0;
  const std::int64_t start = platform::GetClock().SteadyMs();
  while (got < n) {
    if (got > 0) {
      const std::int64_t left = start + kGatherMs - platform::GetClock().SteadyMs();
      if (left <= 0 || platform::WaitReadable(fd, left) != 1) break;
    }
    const ssize_t r = ::read(fd, p + got, n - got);
    if (r < 0) {
      if (errno == EINTR && !g_cancelled) continue;
      return got > 0 ? static_cast<long>(got) : -1;
    }
    if (r == 0) break;
    got += static_cast<std::size_t>(r);
  }
  return static_cast<long>(got);
}

// Monitor messages become CUPS log lines; the Register Retry question is answered here.
class BackendSink : public platform::MessageSink {
 public:
  int Show(int id, const std::string& text, UINT type) override {
    std::string line = text;
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
    for (char& c : line)
      if (c == '\n') c = ' ';
    std::fprintf(stderr, "INFO: %s\n", line.c_str());
    if ((type & 0xF) == platform::MB_OKCANCEL) {
      if (id == 712) std::fprintf(stderr, "STATE: +connecting-to-device\n");
      if (g_cancelled || ++retries_ > kRegisterRetries) return platform::IDCANCEL;
      return platform::IDOK;
    }
    return platform::IDOK;
  }

 private:
  int retries_ = 0;
};

std::string PortFromUri(const char* uri) {
  if (uri == nullptr) return {};
  std::string u = uri;
  const std::string scheme = "brandel:";
  if (u.compare(0, scheme.size(), scheme) != 0) return {};
  std::size_t i = scheme.size();
  while (i < u.size() && u[i] == '/') ++i;
  std::string port;
  for (; i < u.size(); ++i) {
    if (u[i] == '?' || u[i] == '#') break;
    if (u[i] == '%' && i + 2 < u.size() && std::isxdigit(static_cast<unsigned char>(u[i + 1])) &&
        std::isxdigit(static_cast<unsigned char>(u[i + 2]))) {
      port.push_back(static_cast<char>(std::stoi(u.substr(i + 1, 2), nullptr, 16)));
      i += 2;
    } else {
      port.push_back(u[i]);
    }
  }
  for (char c : port)
    if (static_cast<unsigned char>(c) < 0x20 || c == '\\' || c == ',') return {};
  return port;
}

std::string ProgramFolder() {
  char path[4096];
  const ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
  if (n <= 0) return ".";
  std::string p(path, static_cast<std::size_t>(n));
  return p.substr(0, p.rfind('/'));
}

bool LoadMonitor(platform::spooler::Spooler& spooler) {
  if (spooler.LoadMonitor(kMonitor)) return true;
  if (!platform::spooler::IsMonitorRegistered(kMonitor)) {
    // Not registered yet: the library that came with this program.
    platform::spooler::RegisterMonitor(kMonitor, ProgramFolder() + "/../lib/libbrandel.so");
    if (spooler.LoadMonitor(kMonitor)) return true;
  }
  std::fprintf(stderr, "ERROR: %s\n", spooler.error().c_str());
  return false;
}

// The copies argument: decimal digits only, a number an int holds; 0 prints once. False for
// anything else (a value cut down to what fits would print some other number of copies).
bool ParseCopies(const char* text, int* copies) {
  if (text == nullptr || *text == '\0') return false;
  long long value = 0;
  for (const char* p = text; *p != '\0'; ++p) {
    if (*p < '0' || *p > '9') return false;
    value = value * 10 + (*p - '0');
    if (value > INT_MAX) return false;
  }
  *copies = std::max(1, static_cast<int>(value));
  return true;
}

void ReportPortError(DWORD error) {
  switch (error) {
    case 0:
      std::fprintf(stderr, "STATE: -media-empty-error,offline-report,timed-out-error,connecting-to-device\n");
      break;
    case ERROR_OUT_OF_PAPER:
      std::fprintf(stderr, "STATE: +media-empty-error\nINFO: The printer is out of paper\n");
      break;
    case ERROR_NOT_READY:
      std::fprintf(stderr, "STATE: +offline-report\nINFO: The printer is off-line\n");
      break;
    case ERROR_COUNTER_TIMEOUT:
      std::fprintf(stderr, "STATE: +timed-out-error\nINFO: The printer takes no data\n");
      break;
    default:
      std::fprintf(stderr, "INFO: The print server does not answer (%u); trying again\n", static_cast<unsigned>(error));
      break;
  }
}

}  // namespace

int main(int argc, char** argv) {
  std::setvbuf(stderr, nullptr, _IONBF, 0);
  signal(SIGPIPE, SIG_IGN);
  static BackendSink sink;
  platform::SetMessageSink(&sink);
  namespace sp = platform::spooler;
  if (argc != 1 && (argc < 6 || argc > 7)) {
    std::fprintf(stderr, "Usage: %s job-id user title copies options [file]\n", argv[0]);
    return kBackendFailed;
  }
  // CUPS runs the backend as root (mode 0700): a root, registry store or monitor library that
  // another user can change would let that user run code as root.
  if (const std::string why = sp::UntrustedRootForSuperuser(); !why.empty()) {
    std::fprintf(stderr, "ERROR: %s\n", why.c_str());
    return kBackendStop;
  }
  // Run as root for the whole machine: its print jobs use the machine's one NetBIOS service, which
  // every user's programs share, and start it when it does not run.
  if (geteuid() == 0) NbUseMachineService();
  if (argc == 1) {
    sp::Spooler spooler;
    if (!LoadMonitor(spooler)) return spooler.untrusted() ? kBackendStop : kBackendOk;  // else nothing to list
    for (const std::string& port : spooler.PortNames())
      std::printf("network brandel:/%s \"Vardon Print Server\" \"Vardon Print Server %s\"\n", port.c_str(), port.c_str());
    return kBackendOk;
  }
  const char* root = std::getenv("PSADMIN_ROOT");
  std::fprintf(stderr, "DEBUG: platform root %s\n", root != nullptr ? root : "(default)");
  const char* uriEnv = std::getenv("DEVICE_URI");
  const std::string port = PortFromUri(uriEnv != nullptr ? uriEnv : argv[0]);
  if (port.empty()) {
    std::fprintf(stderr, "ERROR: No port in the device URI\n");
    return kBackendStop;
  }
  int copies = 1;
  if (!ParseCopies(argv[4], &copies)) {
    std::fprintf(stderr, "ERROR: Invalid number of copies: %.40s\n", argv[4]);
    return kBackendFailed;
  }
  int fd = 0;
  if (argc == 7) {
    fd = ::open(argv[6], O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
      std::fprintf(stderr, "ERROR: Cannot open %s: %s\n", argv[6], std::strerror(errno));
      return kBackendFailed;
    }
  } else {
    copies = 1;  // a job on standard input cannot be read twice: CUPS makes its copies itself
  }
  // A cancelled job that cannot end its document in time still leaves.
  struct sigaction grace {};
  grace.sa_handler = OnCancelGraceOver;
  sigaction(SIGALRM, &grace, nullptr);
  struct sigaction term {};
  term.sa_handler = OnTerm;
  sigaction(SIGTERM, &term, nullptr);

  sp::Spooler spooler;
  if (!LoadMonitor(spooler)) return kBackendStop;
  sp::JobOptions options;
  const char* printer = std::getenv("PRINTER");
  if (printer != nullptr && sp::PrinterPort(printer)) options.printer = printer;
  options.jobId = static_cast<DWORD>(std::strtoul(argv[1], nullptr, 10));
  options.document = argv[3];
  options.cancelled = [] { return g_cancelled.load(); };
  options.onPortError = ReportPortError;
  // A job file smaller than the usual block is read into a block of its own size: the block's
  // pages are paid for at every job, whatever it holds.
  struct stat st {};
  if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size >= 0 &&
      static_cast<std::uint64_t>(st.st_size) < options.blockSize)
    options.blockSize = std::max<std::size_t>(4096, static_cast<std::size_t>(st.st_size));
  std::fprintf(stderr, "STATE: +connecting-to-device\n");
  for (int copy = 0; copy < copies; ++copy) {
    if (copy > 0 && ::lseek(fd, 0, SEEK_SET) != 0) return kBackendFailed;
    sp::JobStats stats;
    const sp::JobResult result = spooler.PrintJob(
        port, [fd](char* p, std::size_t n) { return ReadJobBlock(fd, p, n); }, options, &stats);
    std::fprintf(stderr, "STATE: -connecting-to-device\n");
    switch (result) {
      case sp::JobResult::kDone:
        std::fprintf(stderr, "INFO: %llu bytes sent to %s\n", static_cast<unsigned long long>(stats.bytes), port.c_str());
        break;
      case sp::JobResult::kCancelled:
        std::fprintf(stderr, "INFO: Job cancelled\n");
        return kBackendOk;
      case sp::JobResult::kNoPort:
        std::fprintf(stderr, "ERROR: Port %s cannot be opened\n", port.c_str());
        return kBackendStop;
      case sp::JobResult::kStartFailed:
        if (stats.lastError == ERROR_SERVICE_NOT_ACTIVE) {
          // A condition of this machine, not of the job or the box: CUPS tries the job again later
          // (the queue goes on), by when the service may run again.
          std::fprintf(stderr,
                       "ERROR: The NetBIOS service of this computer could not be started or reached; "
                       "the job will be retried later\n");
          return g_cancelled ? kBackendOk : kBackendRetry;
        }
        std::fprintf(stderr, "ERROR: The print server took no job (%u); retrying later\n",
                     static_cast<unsigned>(stats.lastError));
        return g_cancelled ? kBackendOk : kBackendRetry;
      case sp::JobResult::kWriteFailed:
      case sp::JobResult::kReadFailed:
        std::fprintf(stderr, "ERROR: The job could not be sent (%u)\n", static_cast<unsigned>(stats.lastError));
        return kBackendFailed;
    }
  }
  return kBackendOk;
}

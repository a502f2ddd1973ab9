// psa_spooler: the spooler stand-in as a command.
//
//   psa_spooler register [MONITOR [LIBRARY]]     register a monitor (default: the suite's) by the
//                                               library's absolute path
//   psa_spooler add-port                        AddPort (imports the port-adding program's record)
//   psa_spooler ports                           EnumPorts level 2
//   psa_spooler configure-port PORT | delete-port PORT
//   psa_spooler add-printer PRINTER PORT [TRANSMISSION_RETRY_MS]
//   psa_spooler print PRINTER FILE              prints FILE ("-": standard input) on the printer's port
// The monitor is "Vardon Print Server" unless PSADMIN_MONITOR names another. With a display
// (DISPLAY, WAYLAND_DISPLAY or QT_QPA_PLATFORM set) add-port and configure-port offer the monitor
// the dialog service, when the program is built with the dialogs' windows. Run as root it refuses a
// platform root or monitor library that another user than root could change.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/netbios/netbios.h"
#include "platform/registry.h"
#include "platform/spooler/spooler.h"

// Installs the windows of the monitors' dialogs; linked in only in builds with windows.
extern "C" int PsaSpoolerOfferDialogs() __attribute__((weak));

namespace {

const char* MonitorName() {
  const char* m = std::getenv("PSADMIN_MONITOR");
  return m != nullptr && *m != '\0' ? m : "Vardon Print Server";
}

int Usage() {
  std::fprintf(stderr,
               "usage: psa_spooler register [MONITOR [LIBRARY]] | add-port | ports | configure-port PORT |\n"
               "       delete-port PORT | add-printer PRINTER PORT [TRANSMISSION_RETRY_MS] | print PRINTER FILE\n");
  return 2;
}

void OfferDialogs() {
  auto set = [](const char* name) {
    const char* v = std::getenv(name);
    return v != nullptr && *v != '\0';
  };
  if (!set("DISPLAY") && !set("WAYLAND_DISPLAY") && !set("QT_QPA_PLATFORM")) return;
  if (PsaSpoolerOfferDialogs != nullptr) PsaSpoolerOfferDialogs();
}

bool Load(platform::spooler::Spooler& spooler) {
  if (spooler.LoadMonitor(MonitorName())) return true;
  std::fprintf(stderr, "psa_spooler: %s\n", spooler.error().c_str());
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return Usage();
  const std::string command = argv[1];
  namespace sp = platform::spooler;
  // Run as root, only a root that root alone can change (see UntrustedRootForSuperuser).
  if (const std::string why = sp::UntrustedRootForSuperuser(); !why.empty()) {
    std::fprintf(stderr, "psa_spooler: %s\n", why.c_str());
    return 1;
  }
  // Run as root for the whole machine: its print jobs use the machine's one NetBIOS service, which
  // every user's programs share, and start it when it does not run.
  if (geteuid() == 0) NbUseMachineService();
  if (command == "register") {
    const std::string monitor = argc > 2 ? argv[2] : MonitorName();
    const std::string library = argc > 3 ? argv[3] : "libbrandel.so";
    // The library is registered by its absolute path: the CUPS backend and every other program
    // load it from wherever they run. A bare name found nowhere beside this program is kept as
    // given only when the user named it (the loader's own path may hold it).
    std::string path = sp::FindMonitorLibrary(library);
    if (path.empty()) {
      if (argc <= 3 || library.find('/') != std::string::npos) {
        std::fprintf(stderr, "psa_spooler: monitor library %s not found\n", library.c_str());
        return 1;
      }
      path = library;
    }
    std::string why;
    if (!sp::RegisterMonitor(monitor, path, &why)) {
      std::fprintf(stderr, "psa_spooler: cannot register %s: %s\n", monitor.c_str(), why.c_str());
      return 1;
    }
    return 0;
  }
  if (command == "add-printer") {
    if (argc < 4) return Usage();
    std::optional<DWORD> timeout;
    if (argc > 4) timeout = static_cast<DWORD>(std::strtoul(argv[4], nullptr, 10));
    std::string why;
    if (!sp::AddPrinterRecord(argv[2], argv[3], timeout, &why)) {
      std::fprintf(stderr, "psa_spooler: cannot add the printer %s: %s\n", argv[2], why.c_str());
      return 1;
    }
    return 0;
  }
  sp::Spooler spooler;
  if (!Load(spooler)) return 1;
  DWORD error = 0;
  if (command == "add-port" || command == "configure-port") OfferDialogs();
  if (command == "add-port") {
    const BOOL ok = spooler.AddPort(&error);
    if (!ok) std::fprintf(stderr, "psa_spooler: AddPort failed (%u)\n", static_cast<unsigned>(error));
    return ok ? 0 : 1;
  }
  if (command == "configure-port" || command == "delete-port") {
    if (argc < 3) return Usage();
    const BOOL ok = command == "delete-port" ? spooler.DeletePort(argv[2], &error) : spooler.ConfigurePort(argv[2], &error);
    if (!ok) std::fprintf(stderr, "psa_spooler: %s failed (%u)\n", command.c_str(), static_cast<unsigned>(error));
    return ok ? 0 : 1;
  }
  if (command == "ports") {
    DWORD needed = 0, returned = 0;
    if (spooler.EnumPorts(2, nullptr, 0, &needed, &returned, &error)) return 0;
    if (error != ERROR_INSUFFICIENT_BUFFER || needed > (1u << 24)) return 1;
    std::vector<BYTE> buffer(needed);
    if (!spooler.EnumPorts(2, buffer.data(), needed, &needed, &returned, &error)) return 1;
    for (DWORD i = 0; i < returned; ++i) {
      PORT_INFO_2A info;
      std::memcpy(&info, buffer.data() + i * sizeof info, sizeof info);
      std::printf("%s\t%s\t%s\n", info.pPortName, info.pMonitorName, info.pDescription);
    }
    return 0;
  }
  if (command == "print") {
    if (argc < 4) return Usage();
    const auto port = sp::PrinterPort(argv[2]);
    if (!port) {
      std::fprintf(stderr, "psa_spooler: no printer %s\n", argv[2]);
      return 1;
    }
    const int fd = std::strcmp(argv[3], "-") == 0 ? 0 : ::open(argv[3], O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
      std::fprintf(stderr, "psa_spooler: %s: %s\n", argv[3], std::strerror(errno));
      return 1;
    }
    sp::JobOptions options;
    options.printer = argv[2];
    options.document = argv[3];
    options.onPortError = [](DWORD e) {
      if (e != 0) std::fprintf(stderr, "psa_spooler: port error %u, retrying\n", static_cast<unsigned>(e));
    };
    sp::JobStats stats;
    const sp::JobResult result = spooler.PrintJob(
        *port, [fd](char* p, std::size_t n) -> long {
          ssize_t r;
          do {
            r = ::read(fd, p, n);
          } while (r < 0 && errno == EINTR);
          return static_cast<long>(r);
        },
        options, &stats);
    if (fd != 0) ::close(fd);
    if (result != sp::JobResult::kDone) {
      std::fprintf(stderr, "psa_spooler: the job failed (%u)\n", static_cast<unsigned>(stats.lastError));
      return 1;
    }
    return 0;
  }
  return Usage();
}

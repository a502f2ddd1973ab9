// The print spooler stand-in: what the Windows spooler does for a port monitor, as a library.
//
// A monitor is registered in the registry store under
//   HKLM\System\CurrentControlSet\Control\Print\Monitors\<monitor name>   "Driver" = library file
// and loaded with dlopen (a bare file name is looked for in ../lib and in the folder of the running
// program, then on the loader's path). The spooler calls DllEntryPoint (process attach) and
// InitializeMonitorEx and from then on talks to the monitor only through its table. A loaded
// monitor stays loaded for the life of the process, as on Windows.
//
// The monitor takes its platform services from this process: a program that loads monitors is
// linked with its symbols exported (ENABLE_EXPORTS) and links this library, which keeps every
// service a monitor may call in the program (spooler.cpp lists them).
//
// Printers are records under HKLM\System\CurrentControlSet\Control\Print\Printers\<printer>:
// "Port" (REG_SZ), "txTimeout" (the transmission retry time-out in ms, default 45000) and
// "dnsTimeout" (default 15000); OpenPrinterA / GetPrinterA level 5 / ClosePrinter read them.
//
// PrintJob drives one job in the spooler's order: EnumPorts, OpenPort, StartDocPort, WritePort in
// a loop that sends again what the port did not take (reporting the port's error and pausing a
// second after a failed call), EndDocPort, ClosePort. A port whose session broke (ERROR_IO_DEVICE)
// is ended and started again, and the job goes on with the bytes the port had not reported as
// taken (a piece whose answer was lost with the session is sent again).
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/spooler/winspool.h"

namespace platform::spooler {

extern const char* const kMonitorsKey;
extern const char* const kPrintersKey;

// A program that runs as root (CUPS runs the backend so, an administrator psa_spooler) trusts only
// what root alone can change: a user who could write the registry store could name any library as
// the monitor's and have root run it.
// What root alone can change is judged by platform::WritableByOthersThanRoot (platform/ownership.h).
// For a program running as root: why it must not use its platform root (the root folder, its
// registry folder and store, and the folders of the NetBIOS service, named objects and ini files),
// or "" when root alone can change them. Always "" for a program that does not run as root.
// LoadMonitor then refuses a monitor library that root alone cannot change, and one that is not
// named by a path.
std::string UntrustedRootForSuperuser();

// RegisterMonitor and AddPrinterRecord give false with the reason in *why when asked (a store that is
// damaged or read-only is named: platform::RegistryResultText) and the registry's result as
// GetLastError() (ERROR_INVALID_PARAMETER for a name or value they refuse).
bool RegisterMonitor(const std::string& monitorName, const std::string& library, std::string* why = nullptr);
bool IsMonitorRegistered(const std::string& monitorName);
bool AddPrinterRecord(const std::string& printer, const std::string& port, std::optional<DWORD> txTimeoutMs,
                      std::string* why = nullptr);
// The absolute path of the monitor library that LoadMonitor takes for `library` (a path, or a bare
// file name looked for in ../lib and in the folder of the running program); empty when there is
// none. Registering that path lets any program load the monitor, wherever it runs from.
std::string FindMonitorLibrary(const std::string& library);
bool DeletePrinterRecord(const std::string& printer);
// The port of a printer record, or nullopt.
std::optional<std::string> PrinterPort(const std::string& printer);

enum class JobResult {
  kDone,
  kNoPort,       // the port is not one of the monitor's (EnumPorts / OpenPort failed)
  kStartFailed,  // StartDocPort failed
  kWriteFailed,  // the port kept failing (session broken again and again)
  kCancelled,
  kReadFailed,   // the job's data could not be read
};

struct JobOptions {
  std::string printer;  // passed to StartDocPort (for its printer settings)
  std::string document = "document";
  DWORD jobId = 1;
  std::size_t blockSize = 1 << 20;  // bytes handed to one WritePort
  int maxRestarts = 3;            // restarts after a broken session without progress in between
  // Asked between calls: true ends the job (EndDocPort, ClosePort).
  std::function<bool()> cancelled;
  // The port's error after a failed WritePort (0: the port took data again after an error).
  std::function<void(DWORD error)> onPortError;
};

struct JobStats {
  std::uint64_t bytes = 0;      // bytes the port took
  int writeCalls = 0;
  int failedWrites = 0;
  int restarts = 0;
  DWORD lastError = 0;
};

class Spooler {
 public:
  Spooler() = default;
  Spooler(const Spooler&) = delete;
  Spooler& operator=(const Spooler&) = delete;

  // Loads the monitor registered under `monitorName`; false with error() set.
  bool LoadMonitor(const std::string& monitorName);
  // Uses a monitor linked into this program (its InitializeMonitorEx).
  bool AttachMonitor(const std::string& monitorName, InitializeMonitorExFn initialize);
  bool loaded() const { return loaded_; }
  const std::string& error() const { return error_; }
  // The last LoadMonitor refused a library that another user than root could change.
  bool untrusted() const { return untrusted_; }
  const MONITOR& table() const { return table_; }

  // The spooler's port calls; each returns the monitor's result, its last error in *error.
  BOOL AddPort(DWORD* error = nullptr);
  BOOL ConfigurePort(const std::string& port, DWORD* error = nullptr);
  BOOL DeletePort(const std::string& port, DWORD* error = nullptr);
  BOOL EnumPorts(DWORD level, LPBYTE buffer, DWORD size, DWORD* needed, DWORD* returned, DWORD* error = nullptr);
  // The monitor's ports (level 1, with the buffer the monitor asks for).
  std::vector<std::string> PortNames();

  // Prints what `read` delivers (it returns bytes read, 0 at the end, -1 on failure) to `port`.
  JobResult PrintJob(const std::string& port, const std::function<long(char*, std::size_t)>& read,
                     const JobOptions& options, JobStats* stats = nullptr);

 private:
  bool Initialize(InitializeMonitorExFn initialize, DllEntryPointFn entry, void* module);

  std::string monitorName_;
  MONITOR table_{};
  bool loaded_ = false;
  bool untrusted_ = false;
  std::string error_;
};

}  // namespace platform::spooler

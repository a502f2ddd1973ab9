#include "platform/spooler/spooler.h"

#include <atomic>

#include <dlfcn.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#include "platform/ascii.h"
#include "platform/clock.h"
#include "platform/message_sink.h"
#include "platform/netbios/netbios.h"
#include "platform/ownership.h"
#include "platform/paths.h"
#include "platform/registry.h"
#include "platform/spooler/dialog_service.h"
#include "platform/system_info.h"

namespace platform::spooler {

const char* const kMonitorsKey = "System\\CurrentControlSet\\Control\\Print\\Monitors";
const char* const kPrintersKey = "System\\CurrentControlSet\\Control\\Print\\Printers";

namespace {

// The services a monitor library takes from its host. Naming them here keeps them in every
// program that links the spooler, so the loader finds them when the monitor is opened.
[[gnu::used]] const void* const kMonitorServices[] = {
    reinterpret_cast<const void*>(&RegOpenKeyEx),
    reinterpret_cast<const void*>(&RegCreateKeyEx),
    reinterpret_cast<const void*>(&RegCloseKey),
    reinterpret_cast<const void*>(&RegDeleteKey),
    reinterpret_cast<const void*>(&RegQueryValueEx),
    reinterpret_cast<const void*>(&RegQueryMultipleValues),
    reinterpret_cast<const void*>(&RegSetValueEx),
    reinterpret_cast<const void*>(&RegEnumKeyEx),
    reinterpret_cast<const void*>(&Netbios),
    reinterpret_cast<const void*>(&NbKeepName),
    reinterpret_cast<const void*>(&NbAddKeptName),
    reinterpret_cast<const void*>(&NbLanaInUse),
    reinterpret_cast<const void*>(&NbWaitAny),
    reinterpret_cast<const void*>(&platform::GetClock),
    reinterpret_cast<const void*>(&platform::GetMessageSink),
    reinterpret_cast<const void*>(&platform::RegisterString),
    reinterpret_cast<const void*>(&platform::ComputerName),
    reinterpret_cast<const void*>(&SetLastError),
    reinterpret_cast<const void*>(&GetLastError),
    reinterpret_cast<const void*>(&OpenPrinterA),
    reinterpret_cast<const void*>(&GetPrinterA),
    reinterpret_cast<const void*>(&ClosePrinter),
    reinterpret_cast<const void*>(&GetDialogService),
};

std::atomic<const PsaDialogService*> g_dialogService{nullptr};

// NbEvent's members are used by the monitor too.
[[gnu::used]] void KeepEventMembers() {
  NbEvent e;
  e.Set();
  e.Reset();
  (void)e.Wait(0);
}

std::string ProgramFolder() {
  char path[PATH_MAX];
  const ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
  if (n <= 0) return ".";
  std::string p(path, static_cast<std::size_t>(n));
  const auto slash = p.rfind('/');
  return slash == std::string::npos ? "." : p.substr(0, slash);
}

bool ReadString(HKEY key, const char* name, std::string& out) {
  char buffer[1024];
  DWORD size = sizeof buffer - 1, type = 0;
  if (RegQueryValueEx(key, name, &type, reinterpret_cast<BYTE*>(buffer), &size) != ERROR_SUCCESS || type != REG_SZ)
    return false;
  buffer[size] = 0;
  out = std::string(buffer, strnlen(buffer, size));
  return true;
}

bool IsKeyName(const std::string& name) {
  return !name.empty() && name.size() < 200 && name.find('\\') == std::string::npos && !platform::HasAsciiControl(name);
}

// The job's read buffer, its pages mapped in one go: the job fills all of it again and again, and
// taking its pages one fault at a time is a noticeable part of a job (more so in a virtual machine).
class JobBlock {
 public:
  explicit JobBlock(std::size_t size) : size_(size) {
    void* p = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_POPULATE, -1, 0);
    data_ = p == MAP_FAILED ? nullptr : static_cast<char*>(p);
  }
  ~JobBlock() {
    if (data_ != nullptr) ::munmap(data_, size_);
  }
  JobBlock(const JobBlock&) = delete;
  JobBlock& operator=(const JobBlock&) = delete;
  char* get() const { return data_; }

 private:
  std::size_t size_;
  char* data_ = nullptr;
};

struct PrinterHandle {
  std::uint32_t signature = 0x50524E54;
  std::string name;
};

}  // namespace

std::string UntrustedRootForSuperuser() {
  if (::geteuid() != 0) return {};
  const std::string root = platform::Root();
  std::string why;
  // A root that does not exist yet would be created in the nearest folder that does.
  std::string existing = root;
  struct stat st {};
  while (::lstat(existing.c_str(), &st) != 0 && errno == ENOENT && existing.size() > 1) {
    const std::size_t slash = existing.rfind('/');
    existing = slash == 0 || slash == std::string::npos ? "/" : existing.substr(0, slash);
  }
  why = platform::WritableByOthersThanRoot(existing);
  const std::string registry = platform::RegistryDirectoryPath();
  for (const std::string& p : {registry, platform::JoinPath(registry, "registry.txt"),
                               platform::JoinPath(root, "windows"), platform::JoinPath(root, "objects"),
                               platform::JoinPath(root, "netbios")}) {
    if (!why.empty()) break;
    if (::lstat(p.c_str(), &st) != 0 && errno == ENOENT) continue;
    why = platform::WritableByOthersThanRoot(p);
  }
  if (why.empty()) return {};
  return "the platform root " + root + " is not root's alone: " + why +
         " (a program running as root uses a root, registry store and monitor library only when root alone can change them)";
}

void SetDialogService(const PsaDialogService* service) { g_dialogService.store(service); }
const PsaDialogService* GetDialogService() { return g_dialogService.load(); }

namespace {

// Where a monitor library of that name is looked for: the path itself, or for a bare file name the
// library folder beside the running program's folder, then that folder.
std::vector<std::string> MonitorLibraryPlaces(const std::string& library) {
  if (library.find('/') != std::string::npos) return {library};
  const std::string folder = ProgramFolder();
  return {folder + "/../lib/" + library, folder + "/" + library};
}

}  // namespace

std::string FindMonitorLibrary(const std::string& library) {
  if (library.empty() || platform::HasAsciiControl(library)) return {};
  for (const std::string& c : MonitorLibraryPlaces(library)) {
    if (::access(c.c_str(), R_OK) != 0) continue;
    char resolved[PATH_MAX];
    if (::realpath(c.c_str(), resolved) != nullptr) return resolved;
  }
  return {};
}

bool RegisterMonitor(const std::string& monitorName, const std::string& library, std::string* why) {
  auto fail = [why](LONG rc, const char* text = nullptr) {
    SetLastError(static_cast<DWORD>(rc));
    if (why != nullptr) *why = text != nullptr ? text : platform::RegistryResultText(rc);
    return false;
  };
  if (!IsKeyName(monitorName)) return fail(ERROR_INVALID_PARAMETER, "invalid monitor name");
  if (library.empty() || platform::HasAsciiControl(library)) return fail(ERROR_INVALID_PARAMETER, "invalid library name");
  const std::string path = std::string(kMonitorsKey) + "\\" + monitorName;
  HKEY key = nullptr;
  if (const LONG rc = RegCreateKeyEx(HKEY_LOCAL_MACHINE, path.c_str(), KEY_ALL_ACCESS, &key, nullptr);
      rc != ERROR_SUCCESS)
    return fail(rc);
  const LONG rc = RegSetValueEx(key, "Driver", REG_SZ, reinterpret_cast<const BYTE*>(library.c_str()),
                                static_cast<DWORD>(library.size() + 1));
  RegCloseKey(key);
  return rc == ERROR_SUCCESS || fail(rc);
}

bool IsMonitorRegistered(const std::string& monitorName) {
  if (!IsKeyName(monitorName)) return false;
  const std::string path = std::string(kMonitorsKey) + "\\" + monitorName;
  HKEY key = nullptr;
  if (RegOpenKeyEx(HKEY_LOCAL_MACHINE, path.c_str(), KEY_READ, &key) != ERROR_SUCCESS) return false;
  RegCloseKey(key);
  return true;
}

bool AddPrinterRecord(const std::string& printer, const std::string& port, std::optional<DWORD> txTimeoutMs,
                      std::string* why) {
  auto fail = [why](LONG rc, const char* text = nullptr) {
    SetLastError(static_cast<DWORD>(rc));
    if (why != nullptr) *why = text != nullptr ? text : platform::RegistryResultText(rc);
    return false;
  };
  if (!IsKeyName(printer)) return fail(ERROR_INVALID_PARAMETER, "invalid printer name");
  if (port.empty() || platform::HasAsciiControl(port)) return fail(ERROR_INVALID_PARAMETER, "invalid port name");
  const std::string path = std::string(kPrintersKey) + "\\" + printer;
  HKEY key = nullptr;
  if (const LONG rc = RegCreateKeyEx(HKEY_LOCAL_MACHINE, path.c_str(), KEY_ALL_ACCESS, &key, nullptr);
      rc != ERROR_SUCCESS)
    return fail(rc);
  LONG rc = RegSetValueEx(key, "Port", REG_SZ, reinterpret_cast<const BYTE*>(port.c_str()),
                          static_cast<DWORD>(port.size() + 1));
  if (rc == ERROR_SUCCESS && txTimeoutMs) {
    const DWORD value = *txTimeoutMs;
    rc = RegSetValueEx(key, "txTimeout", REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
  }
  RegCloseKey(key);
  return rc == ERROR_SUCCESS || fail(rc);
}

bool DeletePrinterRecord(const std::string& printer) {
  if (!IsKeyName(printer)) return false;
  HKEY key = nullptr;
  if (RegOpenKeyEx(HKEY_LOCAL_MACHINE, kPrintersKey, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) return false;
  const LONG rc = RegDeleteKey(key, printer.c_str());
  RegCloseKey(key);
  return rc == ERROR_SUCCESS;
}

std::optional<std::string> PrinterPort(const std::string& printer) {
  if (!IsKeyName(printer)) return std::nullopt;
  const std::string path = std::string(kPrintersKey) + "\\" + printer;
  HKEY key = nullptr;
  if (RegOpenKeyEx(HKEY_LOCAL_MACHINE, path.c_str(), KEY_READ, &key) != ERROR_SUCCESS) return std::nullopt;
  std::string port;
  const bool ok = ReadString(key, "Port", port);
  RegCloseKey(key);
  if (!ok || platform::HasAsciiControl(port)) return std::nullopt;
  return port;
}

bool Spooler::Initialize(InitializeMonitorExFn initialize, DllEntryPointFn entry, void* module) {
  if (entry != nullptr) entry(module, DLL_PROCESS_ATTACH, nullptr);
  std::string root = std::string(kMonitorsKey) + "\\" + monitorName_;
  table_ = MONITOR{};
  if (!initialize(root.data(), &table_)) {
    error_ = "InitializeMonitorEx failed";
    return false;
  }
  if (table_.pfnEnumPorts == nullptr || table_.pfnOpenPort == nullptr || table_.pfnStartDocPort == nullptr ||
      table_.pfnWritePort == nullptr || table_.pfnEndDocPort == nullptr || table_.pfnClosePort == nullptr) {
    error_ = "the monitor table lacks a port call";
    return false;
  }
  loaded_ = true;
  return true;
}

bool Spooler::AttachMonitor(const std::string& monitorName, InitializeMonitorExFn initialize) {
  monitorName_ = monitorName;
  if (initialize == nullptr) return false;
  return Initialize(initialize, nullptr, nullptr);
}

bool Spooler::LoadMonitor(const std::string& monitorName) {
  monitorName_ = monitorName;
  untrusted_ = false;
  if (!IsKeyName(monitorName)) {
    error_ = "invalid monitor name";
    return false;
  }
  const std::string path = std::string(kMonitorsKey) + "\\" + monitorName;
  HKEY key = nullptr;
  if (const LONG rc = RegOpenKeyEx(HKEY_LOCAL_MACHINE, path.c_str(), KEY_READ, &key); rc != ERROR_SUCCESS) {
    // Only a key that is not there means "not registered"; a store that cannot be read says so.
    error_ = rc == ERROR_FILE_NOT_FOUND || rc == ERROR_KEY_DELETED
                 ? "monitor \"" + monitorName + "\" is not registered"
                 : platform::RegistryResultText(rc);
    return false;
  }
  std::string library;
  const bool haveDriver = ReadString(key, "Driver", library);
  RegCloseKey(key);
  if (!haveDriver || library.empty() || platform::HasAsciiControl(library)) {
    error_ = "monitor \"" + monitorName + "\" has no library";
    return false;
  }
  // Running as root, only a library that root alone can change is loaded, and the loader's own
  // search (which nothing here can judge) is not asked.
  const bool superuser = ::geteuid() == 0;
  std::vector<std::string> candidates = MonitorLibraryPlaces(library);
  if (library.find('/') == std::string::npos && !superuser) candidates.push_back(library);
  void* module = nullptr;
  std::string failure;
  for (const std::string& c : candidates) {
    if (c.find('/') != std::string::npos && ::access(c.c_str(), R_OK) != 0) continue;
    if (superuser) {
      if (const std::string why = platform::WritableByOthersThanRoot(c); !why.empty()) {
        error_ = "the monitor library " + c + " is not root's alone: " + why +
                 " (a program running as root loads only a library that root alone can change)";
        untrusted_ = true;
        return false;
      }
    }
    module = ::dlopen(c.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (module != nullptr) break;
    const char* e = ::dlerror();
    failure = e != nullptr ? e : "dlopen failed";
  }
  if (module == nullptr) {
    error_ = "cannot load " + library + (failure.empty() ? "" : ": " + failure);
    if (superuser && library.find('/') == std::string::npos)
      error_ += " (running as root, a library is looked for only in the program's folders)";
    return false;
  }
  auto initialize = reinterpret_cast<InitializeMonitorExFn>(::dlsym(module, "InitializeMonitorEx"));
  auto entry = reinterpret_cast<DllEntryPointFn>(::dlsym(module, "DllEntryPoint"));
  if (initialize == nullptr) {
    error_ = library + " exports no InitializeMonitorEx";
    return false;
  }
  return Initialize(initialize, entry, module);
}

BOOL Spooler::AddPort(DWORD* error) {
  if (!loaded_ || table_.pfnAddPort == nullptr) return FALSE;
  SetLastError(0);
  const BOOL ok = table_.pfnAddPort(nullptr, nullptr, monitorName_.data());
  if (error != nullptr) *error = ok ? 0 : GetLastError();
  return ok;
}

BOOL Spooler::ConfigurePort(const std::string& port, DWORD* error) {
  if (!loaded_ || table_.pfnConfigurePort == nullptr) return FALSE;
  std::string name = port;
  SetLastError(0);
  const BOOL ok = table_.pfnConfigurePort(nullptr, nullptr, name.data());
  if (error != nullptr) *error = ok ? 0 : GetLastError();
  return ok;
}

BOOL Spooler::DeletePort(const std::string& port, DWORD* error) {
  if (!loaded_ || table_.pfnDeletePort == nullptr) return FALSE;
  std::string name = port;
  SetLastError(0);
  const BOOL ok = table_.pfnDeletePort(nullptr, nullptr, name.data());
  if (error != nullptr) *error = ok ? 0 : GetLastError();
  return ok;
}

BOOL Spooler::EnumPorts(DWORD level, LPBYTE buffer, DWORD size, DWORD* needed, DWORD* returned, DWORD* error) {
  if (!loaded_) return FALSE;
  SetLastError(0);
  const BOOL ok = table_.pfnEnumPorts(nullptr, level, buffer, size, needed, returned);
  if (error != nullptr) *error = ok ? 0 : GetLastError();
  return ok;
}

std::vector<std::string> Spooler::PortNames() {
  std::vector<std::string> names;
  DWORD needed = 0, returned = 0;
  if (EnumPorts(1, nullptr, 0, &needed, &returned)) return names;
  if (needed == 0 || needed > (1u << 24)) return names;
  std::vector<BYTE> buffer(needed);
  if (!EnumPorts(1, buffer.data(), needed, &needed, &returned)) return names;
  for (DWORD i = 0; i < returned && (i + 1) * sizeof(PORT_INFO_1A) <= buffer.size(); ++i) {
    PORT_INFO_1A info;
    std::memcpy(&info, buffer.data() + i * sizeof info, sizeof info);
    if (info.pName != nullptr) names.emplace_back(info.pName);
  }
  return names;
}

JobResult Spooler::PrintJob(const std::string& port, const std::function<long(char*, std::size_t)>& read,
                            const JobOptions& options, JobStats* stats) {
  JobStats local;
  JobStats& st = stats != nullptr ? *stats : local;
  if (!loaded_) return JobResult::kNoPort;
  // The spooler enumerates the ports first: the monitor learns its ports from the registry then.
  DWORD needed = 0, returned = 0;
  EnumPorts(1, nullptr, 0, &needed, &returned);
  std::string portName = port;
  HANDLE handle = nullptr;
  SetLastError(0);
  if (!table_.pfnOpenPort(portName.data(), &handle)) {
    st.lastError = GetLastError();
    return JobResult::kNoPort;
  }
  std::string printer = options.printer;
  std::string document = options.document;
  DOC_INFO_1A doc{document.data(), nullptr, nullptr};
  auto start = [&] {
    SetLastError(0);
    const BOOL ok = table_.pfnStartDocPort(handle, printer.empty() ? nullptr : printer.data(), options.jobId, 1,
                                           reinterpret_cast<LPBYTE>(&doc));
    if (!ok) st.lastError = GetLastError();
    return ok;
  };
  if (!start()) {
    table_.pfnClosePort(handle);
    return JobResult::kStartFailed;
  }
  auto finish = [&](JobResult result) {
    table_.pfnEndDocPort(handle);
    table_.pfnClosePort(handle);
    return result;
  };
  const std::size_t blockSize = options.blockSize > 0 ? options.blockSize : std::size_t{1} << 20;
  JobBlock block(blockSize);
  if (block.get() == nullptr) return finish(JobResult::kReadFailed);
  int restartsWithoutProgress = 0;
  bool inError = false;
  for (;;) {
    if (options.cancelled && options.cancelled()) return finish(JobResult::kCancelled);
    const long got = read(block.get(), blockSize);
    if (got < 0) return finish(JobResult::kReadFailed);
    if (got == 0) break;
    std::size_t offset = 0;
    const auto length = static_cast<std::size_t>(got);
    while (offset < length) {
      if (options.cancelled && options.cancelled()) return finish(JobResult::kCancelled);
      DWORD written = 0;
      ++st.writeCalls;
      SetLastError(0);
      const BOOL ok = table_.pfnWritePort(handle, reinterpret_cast<LPBYTE>(block.get() + offset),
                                          static_cast<DWORD>(length - offset), &written);
      if (ok) {
        written = std::min<DWORD>(written, static_cast<DWORD>(length - offset));
        offset += written;
        st.bytes += written;
        if (written > 0) restartsWithoutProgress = 0;
        if (inError && options.onPortError) options.onPortError(0);
        inError = false;
        continue;
      }
      const DWORD error = GetLastError();
      ++st.failedWrites;
      st.lastError = error;
      inError = true;
      if (options.onPortError) options.onPortError(error);
      if (options.cancelled && options.cancelled()) return finish(JobResult::kCancelled);
      if (error == ERROR_IO_DEVICE) {
        // The session is gone: end the document and start it again, then go on where the box
        // stopped taking data.
        if (++restartsWithoutProgress > options.maxRestarts) return finish(JobResult::kWriteFailed);
        ++st.restarts;
        table_.pfnEndDocPort(handle);
        platform::GetClock().SleepMs(1000);
        if (!start()) {
          table_.pfnClosePort(handle);
          return JobResult::kWriteFailed;
        }
        continue;
      }
      platform::GetClock().SleepMs(1000);
    }
  }
  return finish(JobResult::kDone);
}

}  // namespace platform::spooler

BOOL OpenPrinterA(LPSTR pPrinterName, PHANDLE phPrinter, void*) {
  if (pPrinterName == nullptr || phPrinter == nullptr) {
    SetLastError(ERROR_INVALID_PRINTER_NAME);
    return FALSE;
  }
  if (!platform::spooler::PrinterPort(pPrinterName)) {
    SetLastError(ERROR_INVALID_PRINTER_NAME);
    return FALSE;
  }
  auto* handle = new (std::nothrow) platform::spooler::PrinterHandle;
  if (handle == nullptr) return FALSE;
  handle->name = pPrinterName;
  *phPrinter = handle;
  return TRUE;
}

BOOL GetPrinterA(HANDLE hPrinter, DWORD Level, LPBYTE pPrinter, DWORD cbBuf, LPDWORD pcbNeeded) {
  auto* handle = static_cast<platform::spooler::PrinterHandle*>(hPrinter);
  if (handle == nullptr || handle->signature != 0x50524E54) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (Level != 5) {
    SetLastError(ERROR_INVALID_LEVEL);
    return FALSE;
  }
  const std::string path = std::string(platform::spooler::kPrintersKey) + "\\" + handle->name;
  HKEY key = nullptr;
  if (RegOpenKeyEx(HKEY_LOCAL_MACHINE, path.c_str(), KEY_READ, &key) != ERROR_SUCCESS) {
    SetLastError(ERROR_INVALID_PRINTER_NAME);
    return FALSE;
  }
  std::string port;
  platform::spooler::ReadString(key, "Port", port);
  auto number = [key](const char* name, DWORD fallback) {
    DWORD value = 0, size = sizeof value, type = 0;
    if (RegQueryValueEx(key, name, &type, reinterpret_cast<BYTE*>(&value), &size) != ERROR_SUCCESS || type != REG_DWORD)
      return fallback;
    return value;
  };
  PRINTER_INFO_5A info{};
  info.Attributes = number("Attributes", 0);
  info.DeviceNotSelectedTimeout = number("dnsTimeout", 15000);
  info.TransmissionRetryTimeout = number("txTimeout", 45000);
  RegCloseKey(key);
  const std::size_t needed = sizeof info + handle->name.size() + 1 + port.size() + 1;
  if (pcbNeeded != nullptr) *pcbNeeded = static_cast<DWORD>(needed);
  if (pPrinter == nullptr || cbBuf < needed) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  char* strings = reinterpret_cast<char*>(pPrinter) + sizeof info;
  std::memcpy(strings, handle->name.c_str(), handle->name.size() + 1);
  info.pPrinterName = strings;
  strings += handle->name.size() + 1;
  std::memcpy(strings, port.c_str(), port.size() + 1);
  info.pPortName = strings;
  std::memcpy(pPrinter, &info, sizeof info);
  return TRUE;
}

BOOL ClosePrinter(HANDLE hPrinter) {
  auto* handle = static_cast<platform::spooler::PrinterHandle*>(hPrinter);
  if (handle == nullptr || handle->signature != 0x50524E54) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  handle->signature = 0;
  delete handle;
  return TRUE;
}

// The monitor's entry, its table, the port list with its lock, and the small port operations.
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <new>

#include "platform/ascii.h"
#include "platform/message_sink.h"
#include "platform/registry.h"
#include "print_monitor/monitor.h"

namespace brandel {

const char* const kPortsKey = "System\\CurrentControlSet\\control\\Print\\Monitors\\Vardon Print Server\\Ports";

namespace {

PortEntry* g_head = nullptr;
HANDLE g_module = nullptr;

const struct {
  int id;
  const char* text;
} kStrings[] = {
    {501, "'%s' is an invalid port name."},
    {502, "Port %s already exists."},
    {503, "There is nothing to be configured on this port."},
    {609, "Could not locate any Print Server on LAN"},
    {610, "Invalid device name"},
    {611, "Device %s not found"},
    {612, "Invalid NetBEUI name"},
    {613, "Cannot get correct information from NetBios interface.\nPrint Server driver will not work properly."},
    {614, "The NetBIOS service of this computer could not be started."},
    {700, "Vardon Print Server"},
    {702, "Cannot assign 'LPT' or 'COM' as port name"},
    {704, "Cannot create Port %s."},
    {705, "RegPort memory insufficient."},
    {706, "RegPort unknown error."},
    {708, "Cannot connect to Print Server"},
    {711, "Port %s not found"},
    {712, "Windows will retry in %d seconds interval"},
    {713, "Register Retry"},
    {714, "Cannot get correct information from Print Server"},
    {715, "Vardon Print Server"},
    {716, "Print Server driver does not support Serial port Connection"},
    {717, "Port Name cannot be NULL."},
    {718, "Invalid user name"},
};

bool EqualNoCase(const std::string& a, const char* b) { return platform::EqualsNoCase(a, b); }

}  // namespace

void RegisterMonitorStrings() {
  for (const auto& s : kStrings) platform::RegisterString(s.id, s.text);
}

std::string LoadMonitorString(int id) {
  for (const auto& s : kStrings)
    if (s.id == id) return s.text;
  return {};
}

int PortMessageBox(HWND, UINT style, int textId, ...) {
  const std::string format = LoadMonitorString(textId);
  if (format.empty()) return 0;
  char text[512];
  va_list args;
  va_start(args, textId);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
  std::vsnprintf(text, sizeof text, format.c_str(), args);
#pragma GCC diagnostic pop
  va_end(args);
  return platform::GetMessageSink().Show(textId, std::string(text) + "\n", style);
}

std::recursive_mutex& MonitorLock() {
  static std::recursive_mutex lock;
  return lock;
}

bool IsValidPortName(const char* name) {
  if (name == nullptr || *name == '\0') return false;
  const std::size_t n = std::strlen(name);
  if (n > kMaxPortName) return false;
  for (std::size_t i = 0; i < n; ++i) {
    if (platform::IsAsciiControl(name[i]) || name[i] == '\\' || name[i] == ',') return false;
  }
  return true;
}

bool IsDevicePortName(const char* name, int mask) {
  if (name == nullptr) return false;
  const std::size_t n = std::strlen(name);
  if (!(n == 4 || (n == 5 && name[4] == ':'))) return false;
  const char digit = name[3];
  if ((mask & 1) != 0 && platform::EqualsNoCase(std::string(name, 3), "LPT") && digit == '1') return true;
  if ((mask & 2) != 0 && platform::EqualsNoCase(std::string(name, 3), "COM") && digit >= '1' && digit <= '9')
    return true;
  return false;
}

PortEntry* FindPortExact(const char* name) {
  for (PortEntry* p = g_head; p != nullptr; p = p->pNext)
    if (EqualNoCase(p->pszName, name)) return p;
  return nullptr;
}

PortEntry* FindPortEntry(const char* name) {
  if (name == nullptr) return nullptr;
  if (PortEntry* p = FindPortExact(name)) return p;
  std::string other = name;
  if (other.empty()) return nullptr;
  if (other.back() == ':')
    other.pop_back();
  else
    other.push_back(':');
  return other.empty() ? nullptr : FindPortExact(other.c_str());
}

PortEntry* CreatePortEntry(const char* name, const char* description) {
  if (!IsValidPortName(name)) return nullptr;
  std::lock_guard<std::recursive_mutex> lock(MonitorLock());
  auto* entry = new (std::nothrow) PortEntry;
  if (entry == nullptr) return nullptr;
  entry->pszName = name;
  entry->dwSize = static_cast<DWORD>(sizeof(PortEntry) + entry->pszName.size() + 1);
  if (description != nullptr) entry->pszDescription = *description != '\0' ? description : name;
  if (IsDevicePortName(name, 2))
    entry->bFlags = kPortCom;
  else if (IsDevicePortName(name, 1))
    entry->bFlags = kPortLpt1;
  else if (platform::EqualsNoCase(entry->pszName, "FILE:"))
    entry->bFlags = kPortFile;
  // The list is appended to under its lock, so a concurrent walk never sees a half-linked entry.
  PortEntry** tail = &g_head;
  while (*tail != nullptr) tail = &(*tail)->pNext;
  *tail = entry;
  return entry;
}

BOOL RemovePortEntry(const char* name) {
  std::lock_guard<std::recursive_mutex> lock(MonitorLock());
  for (PortEntry** link = &g_head; *link != nullptr; link = &(*link)->pNext) {
    if (EqualNoCase((*link)->pszName, name)) {
      PortEntry* gone = *link;
      *link = gone->pNext;
      delete gone;
      return TRUE;
    }
  }
  SetLastError(ERROR_UNKNOWN_PORT);
  return FALSE;
}

void ClearPortListForTesting() {
  std::lock_guard<std::recursive_mutex> lock(MonitorLock());
  while (g_head != nullptr) {
    PortEntry* gone = g_head;
    g_head = gone->pNext;
    delete gone;
  }
}

BOOL EnumPorts(LPSTR, DWORD Level, LPBYTE pPorts, DWORD cbBuf, LPDWORD pcbNeeded, LPDWORD pcReturned) {
  if (Level > 2 || Level == 0) {
    SetLastError(ERROR_INVALID_LEVEL);
    return FALSE;
  }
  if (pcbNeeded == nullptr || pcReturned == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::lock_guard<std::recursive_mutex> lock(MonitorLock());
  HKEY ports = nullptr;
  if (RegOpenKeyEx(HKEY_LOCAL_MACHINE, kPortsKey, KEY_READ, &ports) != ERROR_SUCCESS) {
    // No port was ever made: nothing to list.
    *pcbNeeded = 0;
    *pcReturned = 0;
    return TRUE;
  }
  const std::string description = LoadMonitorString(715);
  for (DWORD i = 0;; ++i) {
    char name[80];
    DWORD size = sizeof name;
    const LONG rc = RegEnumKeyEx(ports, i, name, &size);
    if (rc == ERROR_MORE_DATA) continue;  // a name longer than a port name can be: not ours
    if (rc != ERROR_SUCCESS) break;
    if (IsValidPortName(name) && FindPortEntry(name) == nullptr) CreatePortEntry(name, description.c_str());
  }
  RegCloseKey(ports);
  static const char kMonitorName[] = "Local Port";
  std::size_t needed = 0;
  for (PortEntry* p = g_head; p != nullptr; p = p->pNext) {
    if (Level == 1)
      needed += sizeof(PORT_INFO_1A) + p->pszName.size() + 1;
    else
      needed += sizeof(PORT_INFO_2A) + p->pszName.size() + 1 + p->pszDescription.size() + 1 + sizeof kMonitorName;
  }
  *pcbNeeded = static_cast<DWORD>(needed);
  if (needed > cbBuf || (needed > 0 && pPorts == nullptr)) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  *pcReturned = 0;
  LPBYTE record = pPorts;
  LPBYTE strings = pPorts + cbBuf;
  auto put = [&strings](const char* text, std::size_t length) {
    strings -= length + 1;
    std::memcpy(strings, text, length + 1);
    return reinterpret_cast<LPSTR>(strings);
  };
  for (PortEntry* p = g_head; p != nullptr; p = p->pNext) {
    if (Level == 1) {
      PORT_INFO_1A info{};
      info.pName = put(p->pszName.c_str(), p->pszName.size());
      std::memcpy(record, &info, sizeof info);
      record += sizeof info;
    } else {
      PORT_INFO_2A info{};
      info.pPortName = put(p->pszName.c_str(), p->pszName.size());
      info.pMonitorName = put(kMonitorName, sizeof kMonitorName - 1);
      info.pDescription = put(p->pszDescription.c_str(), p->pszDescription.size());
      info.fPortType = (p->bFlags & kPortLpt1) != 0 ? PORT_TYPE_WRITE | PORT_TYPE_READ : PORT_TYPE_WRITE;
      info.Reserved = 0;
      std::memcpy(record, &info, sizeof info);
      record += sizeof info;
    }
    ++*pcReturned;
  }
  return TRUE;
}

BOOL OpenPort(LPSTR pName, PHANDLE pHandle) {
  std::lock_guard<std::recursive_mutex> lock(MonitorLock());
  PortEntry* port = FindPortEntry(pName);
  if (port == nullptr || pHandle == nullptr) {
    PortMessageBox(nullptr, platform::MB_ICONERROR, 711, pName != nullptr ? pName : "");
    SetLastError(ERROR_UNKNOWN_PORT);
    return FALSE;
  }
  *pHandle = port;
  return TRUE;
}

BOOL ClosePort(HANDLE) { return TRUE; }

BOOL DeletePort(LPSTR, HWND, LPSTR pPortName) {
  if (pPortName == nullptr) {
    SetLastError(ERROR_UNKNOWN_PORT);
    return FALSE;
  }
  std::lock_guard<std::recursive_mutex> lock(MonitorLock());
  PortEntry* port = FindPortExact(pPortName);
  if (port == nullptr) {
    SetLastError(ERROR_UNKNOWN_PORT);
    return FALSE;
  }
  if ((port->bFlags & kPortBusy) != 0) {
    SetLastError(ERROR_BUSY);  // a job is printing on it
    return FALSE;
  }
  const std::string name = port->pszName;
  if (!RemovePortEntry(name.c_str())) return FALSE;
  HKEY ports = nullptr;
  if (RegOpenKeyEx(HKEY_LOCAL_MACHINE, kPortsKey, KEY_ALL_ACCESS, &ports) == ERROR_SUCCESS) {
    RegDeleteKey(ports, name.c_str());
    RegCloseKey(ports);
  }
  return TRUE;
}

namespace {

BOOL GetPrinterDataFromPort(HANDLE, DWORD, LPWSTR, LPWSTR, DWORD, LPWSTR, DWORD, LPDWORD) { return FALSE; }
BOOL SetPortTimeOuts(HANDLE, LPCOMMTIMEOUTS, DWORD) { return FALSE; }

}  // namespace

void ProcessAttach(HANDLE module) {
  g_module = module;
  RegisterMonitorStrings();
}

BOOL InitializeMonitor(LPSTR, LPMONITOR pMonitor) {
  if (pMonitor == nullptr) return FALSE;
  std::lock_guard<std::recursive_mutex> lock(MonitorLock());
  RegisterMonitorStrings();
  *pMonitor = MONITOR{};
  pMonitor->pfnEnumPorts = &EnumPorts;
  pMonitor->pfnOpenPort = &OpenPort;
  pMonitor->pfnOpenPortEx = nullptr;
  pMonitor->pfnStartDocPort = &StartDocPort;
  pMonitor->pfnWritePort = &WritePort;
  pMonitor->pfnReadPort = &ReadPort;
  pMonitor->pfnEndDocPort = &EndDocPort;
  pMonitor->pfnClosePort = &ClosePort;
  pMonitor->pfnAddPort = &AddPort;
  pMonitor->pfnConfigurePort = &ConfigurePort;
  pMonitor->pfnDeletePort = &DeletePort;
  pMonitor->pfnGetPrinterDataFromPort = &GetPrinterDataFromPort;
  pMonitor->pfnSetPortTimeOuts = &SetPortTimeOuts;
  NCB ncb{};
  LANA_ENUM lanas{};
  if (NCBEnumLana(&ncb, &lanas) != NRC_GOODRET) {
    PortMessageBox(nullptr, platform::MB_ICONERROR, 613);
    return TRUE;
  }
  for (int i = 0; i < lanas.length && i <= MAX_LANA; ++i) {
    SetCurrentLana(lanas.lana[i]);
    // The monitor runs in the program that loads it. A LANA that the program already uses (the
    // port adder's device library reads the boxes over it) is set up: a reset would take the
    // program's own names and sessions from under it.
    NCB reset{};
    if (!NbLanaInUse(lanas.lana[i]) && NCBReset(&reset, 0, 0) != NRC_GOODRET) {
      PortMessageBox(nullptr, platform::MB_ICONERROR, 613);
      continue;
    }
    AllocateNameSlot(lanas.lana[i]);
  }
  return TRUE;
}

}  // namespace brandel

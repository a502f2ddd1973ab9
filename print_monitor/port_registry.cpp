// Port records under the monitor's Ports key, AddPort with the hand-over record of the port-adding
// program, and ConfigurePort.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/ascii.h"
#include "platform/message_sink.h"
#include "platform/registry.h"
#include "print_monitor/monitor.h"

namespace brandel {

namespace {

const char* const kHandOverKey = "SOFTWARE\\Kelmor\\KVX";

enum class Field { kUserName, kBanner, kDevice, kPort, kPostScript, kRegiRetry, kNetTimeout, kBoxType, kLana };
const struct {
  const char* name;
  Field field;
  bool text;
} kValues[] = {
    {"User Name", Field::kUserName, true},    {"Banner Page", Field::kBanner, false},
    {"TCP/IP Address", Field::kDevice, true}, {"Port", Field::kPort, false},
    {"PostScript", Field::kPostScript, false}, {"RegiRetry", Field::kRegiRetry, false},
    {"NetTimeout", Field::kNetTimeout, false}, {"BoxType", Field::kBoxType, false},
    {"LanaNum", Field::kLana, false},
};

// A decimal token of at most `max`: true with its value.
bool ParseNumber(const std::string& token, unsigned long max, unsigned long* out) {
  if (token.empty() || token.size() > 10) return false;
  for (char c : token)
    if (c < '0' || c > '9') return false;
  const unsigned long v = std::strtoul(token.c_str(), nullptr, 10);
  if (v > max) return false;
  *out = v;
  return true;
}

std::vector<std::string> SplitTokens(const char* text) {
  std::vector<std::string> tokens;
  std::string current;
  for (const char* p = text;; ++p) {
    if (*p == '\0' || *p == ' ' || *p == ',') {
      if (!current.empty()) tokens.push_back(current);
      current.clear();
      if (*p == '\0') break;
    } else {
      current.push_back(*p);
    }
  }
  return tokens;
}

}  // namespace

bool ParseHandOverRecord(const char* text, std::string& portName, PortRegistryData& record) {
  const std::vector<std::string> tokens = SplitTokens(text);
  if (tokens.size() < 5) return false;
  unsigned long port = 0, lana = 0, boxType = 0;
  if (!IsValidPortName(tokens[0].c_str()) || tokens[1].size() > kMaxDeviceName - 1 ||
      platform::HasAsciiControl(tokens[1].c_str()) || !ParseNumber(tokens[2], 255, &port) ||
      !ParseNumber(tokens[3], MAX_LANA, &lana) || !ParseNumber(tokens[4], 255, &boxType)) {
    return false;
  }
  portName = tokens[0];
  record = PortRegistryData{};
  std::memcpy(record.szDeviceName, tokens[1].data(), tokens[1].size());
  record.bPort = static_cast<BYTE>(port);
  record.bLanaNum = static_cast<BYTE>(lana);
  record.bBoxType = static_cast<BYTE>(boxType);
  record.wRegiRetry = 50;
  return true;
}

bool LoadPortSettings(HWND window, const char* portName, PortRegistryData& record) {
  const std::string path = std::string(kPortsKey) + "\\" + portName;
  HKEY key = nullptr;
  if (!IsValidPortName(portName) || RegOpenKeyEx(HKEY_LOCAL_MACHINE, path.c_str(), KEY_READ, &key) != ERROR_SUCCESS) {
    PortMessageBox(window, platform::MB_ICONERROR, 501, portName);
    return false;
  }
  record.szUserName[0] = 0;
  record.szDeviceName[0] = 0;
  record.dwBannerPage = 0;
  record.bPort = 0;
  // One value as read into a 16-byte buffer: too long, missing or of another type shows its
  // message and leaves the field as it was.
  auto take = [&](const auto& v, LONG rc, DWORD type, const BYTE* data, DWORD size) {
    if (rc == ERROR_MORE_DATA) {
      PortMessageBox(window, platform::MB_ICONERROR, 705);
      return;
    }
    if (rc != ERROR_SUCCESS || (v.text ? type != REG_SZ : (type != REG_DWORD || size != 4))) {
      PortMessageBox(window, platform::MB_ICONERROR, 706);
      return;
    }
    DWORD number = 0;
    std::memcpy(&number, data, sizeof number);
    const std::string text(reinterpret_cast<const char*>(data), strnlen(reinterpret_cast<const char*>(data), size));
    switch (v.field) {
      case Field::kUserName:
        if (!platform::HasAsciiControl(text.c_str())) {
          std::memset(record.szUserName, 0, sizeof record.szUserName);
          std::memcpy(record.szUserName, text.data(), std::min(text.size(), kMaxUserName));
        }
        break;
      case Field::kDevice:
        if (!platform::HasAsciiControl(text.c_str())) {
          std::memset(record.szDeviceName, 0, sizeof record.szDeviceName);
          std::memcpy(record.szDeviceName, text.data(), std::min(text.size(), kMaxDeviceName));
        }
        break;
      case Field::kBanner: record.dwBannerPage = number; break;
      case Field::kPort: record.bPort = static_cast<BYTE>(number); break;
      case Field::kPostScript: record.dwPostScript = number; break;
      case Field::kRegiRetry: record.wRegiRetry = static_cast<WORD>(number); break;
      case Field::kNetTimeout: record.wNetTimeout = static_cast<WORD>(number); break;
      case Field::kBoxType: record.bBoxType = static_cast<BYTE>(number); break;
      case Field::kLana: record.bLanaNum = static_cast<BYTE>(number); break;
    }
  };
  constexpr DWORD kCount = sizeof kValues / sizeof kValues[0];
  constexpr DWORD kRoom = 16;
  // All nine values from one reading of the store (each read of a value reads the whole store); a
  // record that is not whole, or holds a value too long for its buffer, is read value by value so
  // that each fault is reported as before.
  VALENTA batch[kCount];
  for (DWORD i = 0; i < kCount; ++i) batch[i] = VALENTA{kValues[i].name, 0, 0, 0};
  char all[kCount * kRoom];
  DWORD allSize = sizeof all;
  bool whole = RegQueryMultipleValues(key, batch, kCount, all, &allSize) == ERROR_SUCCESS;
  for (DWORD i = 0; whole && i < kCount; ++i) whole = batch[i].ve_valuelen <= kRoom;
  for (DWORD i = 0; i < kCount; ++i) {
    BYTE data[kRoom] = {};
    DWORD size = sizeof data;
    DWORD type = 0;
    LONG rc = ERROR_SUCCESS;
    if (whole) {
      size = batch[i].ve_valuelen;
      type = batch[i].ve_type;
      if (size != 0) std::memcpy(data, reinterpret_cast<const void*>(batch[i].ve_valueptr), size);
    } else {
      rc = RegQueryValueEx(key, kValues[i].name, &type, data, &size);
    }
    take(kValues[i], rc, type, data, size);
  }
  RegCloseKey(key);
  return true;
}

int SavePortSettings(HWND window, const char* portName, const PortRegistryData& record, bool editMode) {
  if (!IsValidPortName(portName) || platform::HasAsciiControl(record.szUserName) ||
      platform::HasAsciiControl(record.szDeviceName)) {
    PortMessageBox(window, platform::MB_ICONERROR, 501, portName != nullptr ? portName : "");
    return 0;
  }
  const std::string path = std::string(kPortsKey) + "\\" + portName;
  HKEY key = nullptr;
  if (!editMode && RegOpenKeyEx(HKEY_LOCAL_MACHINE, path.c_str(), KEY_READ, &key) == ERROR_SUCCESS) {
    RegCloseKey(key);
    PortMessageBox(window, platform::MB_ICONERROR, 502, portName);
    return 0;
  }
  if (RegCreateKeyEx(HKEY_LOCAL_MACHINE, path.c_str(), KEY_ALL_ACCESS, &key, nullptr) != ERROR_SUCCESS) {
    PortMessageBox(window, platform::MB_ICONERROR, 704, portName);
    return 0;
  }
  for (const auto& v : kValues) {
    if (v.text) {
      const char* text = v.field == Field::kUserName ? record.szUserName : record.szDeviceName;
      RegSetValueEx(key, v.name, REG_SZ, reinterpret_cast<const BYTE*>(text), static_cast<DWORD>(std::strlen(text) + 1));
      continue;
    }
    DWORD number = 0;
    switch (v.field) {
      case Field::kBanner: number = record.dwBannerPage; break;
      case Field::kPort: number = record.bPort; break;
      case Field::kPostScript: number = record.dwPostScript; break;
      case Field::kRegiRetry: number = record.wRegiRetry; break;
      case Field::kNetTimeout: number = record.wNetTimeout; break;
      case Field::kBoxType: number = record.bBoxType; break;
      case Field::kLana: number = record.bLanaNum; break;
      default: break;
    }
    RegSetValueEx(key, v.name, REG_DWORD, reinterpret_cast<const BYTE*>(&number), sizeof number);
  }
  RegCloseKey(key);
  return 1;
}

void ApplyPortSettings(const PortRegistryData& record, PortEntry& port) {
  port.record = record;
  port.record.szDeviceName[kMaxDeviceName] = 0;
  port.record.szUserName[kMaxUserName] = 0;
}

int IsPortKeyAbsent(const char* portName) {
  const std::string path = std::string(kPortsKey) + "\\" + portName;
  HKEY key = nullptr;
  if (RegOpenKeyEx(HKEY_LOCAL_MACHINE, path.c_str(), KEY_READ, &key) != ERROR_SUCCESS) return 1;
  RegCloseKey(key);
  return 0;
}

BOOL AddPort(LPSTR, HWND hWnd, LPSTR) {
  const std::string description = LoadMonitorString(715);
  HKEY key = nullptr;
  if (RegOpenKeyEx(HKEY_LOCAL_MACHINE, kHandOverKey, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) {
    // Without a hand-over record the user picks the box and its output in the Add Port dialog;
    // a host without dialogs cancels.
    if (!HasPortDialogs()) {
      SetLastError(ERROR_CANCELLED);
      return FALSE;
    }
    return CreatePortWithDialog(hWnd) == 1 ? TRUE : FALSE;
  }
  DWORD count = 0, type = 0, size = sizeof count;
  if (RegQueryValueEx(key, "TotalPortCnt", &type, reinterpret_cast<BYTE*>(&count), &size) != ERROR_SUCCESS ||
      type != REG_DWORD) {
    count = 0;
  }
  count = std::min<DWORD>(count, 256);  // no more records than a box list can hold
  BOOL result = TRUE;
  int made = 0;
  for (DWORD i = 0; i < count; ++i) {
    char valueName[32];
    std::snprintf(valueName, sizeof valueName, "PS_%u", static_cast<unsigned>(i));
    char text[81] = {};
    size = 80;
    if (RegQueryValueEx(key, valueName, &type, reinterpret_cast<BYTE*>(text), &size) != ERROR_SUCCESS ||
        type != REG_SZ) {
      // A record the count promises and the key does not hold (or holds as something else).
      result = FALSE;
      SetLastError(ERROR_INVALID_DATA);
      continue;
    }
    text[80] = 0;
    if (SplitTokens(text).empty()) continue;
    std::string portName;
    PortRegistryData record;
    if (!ParseHandOverRecord(text, portName, record)) {
      PortMessageBox(hWnd, platform::MB_ICONERROR, 501, SplitTokens(text)[0].c_str());
      result = FALSE;
      SetLastError(ERROR_INVALID_NAME);
      continue;
    }
    if (IsDevicePortName(portName.c_str(), 3)) {
      PortMessageBox(hWnd, platform::MB_ICONERROR, 702);
      result = FALSE;
      SetLastError(ERROR_INVALID_NAME);
      continue;
    }
    {
      std::lock_guard<std::recursive_mutex> lock(MonitorLock());
      if (FindPortEntry(portName.c_str()) != nullptr || !IsPortKeyAbsent(portName.c_str())) {
        PortMessageBox(hWnd, platform::MB_ICONERROR, 502, portName.c_str());
        RegCloseKey(key);
        SetLastError(ERROR_INVALID_NAME);
        return FALSE;
      }
      if (CreatePortEntry(portName.c_str(), description.c_str()) == nullptr) {
        RegCloseKey(key);
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
      }
      if (SavePortSettings(hWnd, portName.c_str(), record, false) == 0) {
        RemovePortEntry(portName.c_str());
        RegCloseKey(key);
        SetLastError(ERROR_INVALID_NAME);
        return FALSE;
      }
      ++made;
    }
  }
  RegCloseKey(key);
  // A hand-over record that made no port (no usable count, no usable record) is no success.
  if (made == 0 && result == TRUE) {
    SetLastError(ERROR_INVALID_DATA);
    return FALSE;
  }
  return result;
}

BOOL ConfigurePort(LPSTR, HWND hWnd, LPSTR pPortName) {
  if (pPortName == nullptr) return TRUE;
  if (IsDevicePortName(pPortName, 3)) {
    PortMessageBox(hWnd, platform::MB_ICONINFORMATION, 503);
    return TRUE;
  }
  // Without dialogs the record is only read, so that a damaged one is reported.
  PortRegistryData record;
  if (!LoadPortSettings(hWnd, pPortName, record)) return TRUE;
  if (ShowEditPortDialog(hWnd, pPortName, record)) SavePortSettings(hWnd, pPortName, record, true);
  return TRUE;
}

}  // namespace brandel

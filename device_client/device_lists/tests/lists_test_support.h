// Helpers of the device-list tests: emulated boxes that restart at once, and the registry lists.
#pragma once
#include <chrono>
#include <cstring>
#include <string>
#include <vector>

#include "device_client/access/access.h"
#include "device_client/core/scan_cache/scan_cache.h"
#include "platform/registry.h"
#include "tools/box_emulator/box_emulator.h"

namespace lists_test {

// Options of an emulated box whose restart completes before its reply, so no test waits on one.
inline box_emulator::BoxOptions QuickBox() {
  box_emulator::BoxOptions o;
  o.restartWindow = std::chrono::milliseconds(0);
  return o;
}

// The cache record the scanner writes for a box that answered over UDP.
inline scan_cache::ScanCacheRecord CacheRecordOf(box_emulator::Box& box) {
  const auto block = box.DeviceInfoBlock();
  scan_cache::ScanCacheRecord r{};
  std::memcpy(r.szDefaultName, block.data() + 76, 20);
  r.iProtocol = TYPE_TCPIP;
  const std::string address = box.Address();
  std::memcpy(r.address, address.data(), address.size() < 19 ? address.size() : 19);
  std::memcpy(r.hardwareId, block.data() + 4, 32);
  std::memcpy(r.functionId, block.data() + 46, 2);
  std::memcpy(r.szDeviceName, block.data() + 56, 20);
  return r;
}

// The names of the subkeys of HKEY_LOCAL_MACHINE\<path>, in the order the registry lists them
// (none when the key is missing).
inline std::vector<std::string> Subkeys(const std::string& path) {
  std::vector<std::string> names;
  HKEY key = nullptr;
  if (RegOpenKeyEx(HKEY_LOCAL_MACHINE, path.c_str(), KEY_READ, &key) != ERROR_SUCCESS) return names;
  for (DWORD i = 0;; ++i) {
    char name[256];
    DWORD size = sizeof name;
    if (RegEnumKeyEx(key, i, name, &size) != ERROR_SUCCESS) break;
    names.emplace_back(name);
  }
  RegCloseKey(key);
  return names;
}

}  // namespace lists_test

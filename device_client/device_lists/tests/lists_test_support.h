// Helpers of the device-list tests: emulated boxes that restart at once, and the registry lists.
#pragma once
#include <chrono>
#include <string>
#include <vector>

#include "platform/registry.h"
#include "tools/box_emulator/box_emulator.h"

namespace lists_test {

// Options of an emulated box whose restart completes before its reply, so no test waits on one.
inline box_emulator::BoxOptions QuickBox() {
  box_emulator::BoxOptions o;
  o.restartWindow = std::chrono::milliseconds(0);
  return o;
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

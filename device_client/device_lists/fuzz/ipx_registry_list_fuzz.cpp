// Feeds arbitrary registry values to the IPX registry list: one entry whose name, "ServerName",
// "Address" and "HWID" bytes (with or without a terminating NUL, of any type) come from the
// input, read into the device table; then a box with an arbitrary name and server name written by
// the list's writer, which the reader must give back with the same name and address.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "device_client/device_lists/device_lists.h"
#include "platform/registry.h"

namespace {

void SetUpRoot() {
  static bool done = false;
  if (done) return;
  done = true;
  char dir[] = "/tmp/ipx_registry_fuzz.XXXXXX";
  if (::mkdtemp(dir) == nullptr) std::abort();
  ::setenv("PSADMIN_ROOT", dir, 1);
}

std::string Path(const std::string& sub) { return std::string(kIpxListKey) + "\\" + sub; }

void SetValue(HKEY key, const char* name, DWORD type, const std::string& bytes) {
  RegSetValueEx(key, name, type, reinterpret_cast<const BYTE*>(bytes.data()),
                static_cast<DWORD>(bytes.size()));
}

// Removes every subkey of the list (none of them has subkeys of its own).
void ClearList() {
  HKEY list = nullptr;
  if (RegOpenKeyEx(HKEY_LOCAL_MACHINE, kIpxListKey, KEY_ALL_ACCESS, &list) != ERROR_SUCCESS) return;
  for (;;) {
    char name[300];
    DWORD size = sizeof name;
    if (RegEnumKeyEx(list, 0, name, &size) != ERROR_SUCCESS) break;
    if (RegDeleteKey(list, name) != ERROR_SUCCESS) break;
  }
  RegCloseKey(list);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  SetUpRoot();
  FuzzedDataProvider in(data, size);
  ClearList();
  console_access::ClearDevices();

  // One entry made of raw input.
  std::string name = in.ConsumeRandomLengthString(70);
  if (name.empty() || name.find('\\') != std::string::npos) name = "X";
  const DWORD types[] = {REG_SZ, REG_SZ, REG_SZ, REG_BINARY, REG_DWORD};
  const DWORD one = 1;
  HKEY count = nullptr;
  if (RegCreateKeyEx(HKEY_LOCAL_MACHINE, Path(kIpxCountSubkey).c_str(), KEY_ALL_ACCESS, &count,
                     nullptr) == ERROR_SUCCESS) {
    SetValue(count, "DeviceCount", REG_DWORD, std::string(reinterpret_cast<const char*>(&one), 4));
    RegCloseKey(count);
  }
  HKEY entry = nullptr;
  if (RegCreateKeyEx(HKEY_LOCAL_MACHINE, Path(name).c_str(), KEY_ALL_ACCESS, &entry, nullptr) ==
      ERROR_SUCCESS) {
    for (const char* value : {"ServerName", "Address", "HWID"}) {
      const DWORD type = types[in.ConsumeIntegralInRange<int>(0, 4)];
      SetValue(entry, value, type, in.ConsumeRandomLengthString(80));
    }
    RegCloseKey(entry);
  }
  const int added = ReadIpxRegistryList();
  if (added < 0 || added > 1 || console_access::DeviceCount() != added) std::abort();
  if (added == 1) {
    const DeviceRecord* r = console_access::DeviceAt(0);
    if (r->iProtocol != TYPE_IPXSPX || strnlen(r->szName, 20) == 0) std::abort();
    for (int i = 10; i < 20; ++i) {
      if (r->address[i] != 0) std::abort();
    }
  }

  // A box written by the writer comes back whole.
  ClearList();
  console_access::ClearDevices();
  char names[20] = {};
  char servers[50] = {};
  std::uint8_t address[20] = {};
  std::uint8_t hwid[4] = {};
  const std::string n = in.ConsumeBytesAsString(20);
  const std::string s = in.ConsumeBytesAsString(50);
  std::memcpy(names, n.data(), n.size());
  std::memcpy(servers, s.data(), s.size());
  for (std::uint8_t& b : address) b = in.ConsumeIntegral<std::uint8_t>();
  for (std::uint8_t& b : hwid) b = in.ConsumeIntegral<std::uint8_t>();
  const int written = WriteIpxRegistryList(names, servers, address, hwid, 1);
  const int read = ReadIpxRegistryList();
  if (written != read) std::abort();
  if (read == 1) {
    const DeviceRecord* r = console_access::DeviceAt(0);
    if (strncmp(r->szName, names, 20) != 0 || std::memcmp(r->address, address, 10) != 0) {
      std::abort();
    }
  }
  return 0;
}

// Arbitrary bytes as the registry store file, either as they are or (first byte odd) wrapped in a
// correct header and end line so that the line reader itself is reached. Every call must give a
// defined result; a store that reads must survive a change elsewhere unaltered.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/fuzz/fuzz_root.h"
#include "platform/paths.h"
#include "platform/registry.h"

namespace {

void Check(bool ok) {
  if (!ok) std::abort();
}

std::uint64_t Fnv1a(const std::string& bytes) {
  std::uint64_t h = 0xcbf29ce484222325ull;
  for (char c : bytes) {
    h ^= static_cast<unsigned char>(c);
    h *= 0x100000001b3ull;
  }
  return h;
}

std::string Wrap(const std::string& body) {
  std::string text = "PSADMIN-REGISTRY 1\n" + body;
  if (!body.empty() && body.back() != '\n') text += '\n';
  unsigned long long entries = 0;
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t nl = text.find('\n', pos);
    if (text.compare(pos, 2, "K ") == 0 || text.compare(pos, 2, "V ") == 0) ++entries;
    pos = nl + 1;
  }
  char end[64];
  std::snprintf(end, sizeof end, "E %llu %016llx\n", entries,
                static_cast<unsigned long long>(Fnv1a(text)));
  return text + end;
}

// Every key and value below `key`, one line each, in enumeration order.
LONG Dump(HKEY key, const std::string& path, int depth, std::vector<std::string>* out) {
  const std::size_t first = out->size();
  std::vector<std::string> names;
  for (DWORD i = 0; i < 64; ++i) {
    char name[256];
    DWORD nameSize = sizeof name;
    DWORD type = 0;
    BYTE small[8];
    DWORD dataSize = sizeof small;
    LONG r = RegEnumValue(key, i, name, &nameSize, &type, small, &dataSize);
    if (r == ERROR_NO_MORE_ITEMS) break;
    if (r == ERROR_MORE_DATA) {
      std::vector<BYTE> data(dataSize);
      nameSize = sizeof name;
      r = RegEnumValue(key, i, name, &nameSize, &type, data.data(), &dataSize);
      Check(r == ERROR_SUCCESS && dataSize == data.size());
      out->push_back(path + "|" + name + "|" + std::to_string(type) + "|" +
                     std::string(data.begin(), data.end()));
      names.push_back(name);
    } else {
      if (r != ERROR_SUCCESS) return r;
      Check(nameSize < sizeof name && dataSize <= sizeof small);
      out->push_back(path + "|" + name + "|" + std::to_string(type) + "|" +
                     std::string(small, small + dataSize));
      DWORD querySize = 0;
      Check(RegQueryValueEx(key, name, nullptr, nullptr, &querySize) == ERROR_SUCCESS);
      Check(querySize == dataSize);
      names.push_back(name);
    }
  }
  // All of the key's values at once give what they gave one by one.
  if (!names.empty()) {
    std::vector<VALENTA> all;
    for (const std::string& n : names) all.push_back(VALENTA{n.c_str(), 0, 0, 0});
    DWORD room = 0;
    const LONG sized = RegQueryMultipleValues(key, all.data(), static_cast<DWORD>(all.size()), nullptr, &room);
    Check(sized == (room == 0 ? ERROR_SUCCESS : ERROR_MORE_DATA));
    std::vector<char> buffer(room + 1);
    DWORD used = room;
    Check(RegQueryMultipleValues(key, all.data(), static_cast<DWORD>(all.size()), buffer.data(), &used) ==
          ERROR_SUCCESS);
    Check(used == room);
    for (std::size_t i = 0; i < all.size(); ++i) {
      DWORD type = 0, size = 0;
      Check(RegQueryValueEx(key, names[i].c_str(), &type, nullptr, &size) == ERROR_SUCCESS);
      Check(all[i].ve_type == type && all[i].ve_valuelen == size);
      const char* at = reinterpret_cast<const char*>(all[i].ve_valueptr);
      Check(at >= buffer.data() && at + size <= buffer.data() + used);
      Check((*out)[first + i] == path + "|" + names[i] + "|" + std::to_string(type) + "|" + std::string(at, size));
    }
  }
  for (DWORD i = 0; i < 64 && depth < 8; ++i) {
    char name[256];
    DWORD nameSize = sizeof name;
    LONG r = RegEnumKeyEx(key, i, name, &nameSize);
    if (r == ERROR_NO_MORE_ITEMS) break;
    if (r != ERROR_SUCCESS) return r;
    out->push_back(path + "\\" + name);
    HKEY sub = nullptr;
    r = RegOpenKeyEx(key, name, KEY_READ, &sub);
    if (r != ERROR_SUCCESS) return r;
    r = Dump(sub, path + "\\" + name, depth + 1, out);
    RegCloseKey(sub);
    if (r != ERROR_SUCCESS) return r;
  }
  return ERROR_SUCCESS;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  platform_fuzz::FuzzRoot();
  std::string bytes(reinterpret_cast<const char*>(data), size);
  if (!bytes.empty() && (bytes[0] & 1) != 0) bytes = Wrap(bytes.substr(1));
  std::string path = platform::JoinPath(platform::RegistryDirectory(), "registry.txt");
  FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) std::abort();
  std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::fclose(f);

  std::vector<std::string> before;
  LONG r = Dump(HKEY_LOCAL_MACHINE, "HKLM", 0, &before);
  HKEY k = nullptr;
  LONG opened = RegOpenKeyEx(HKEY_LOCAL_MACHINE, "SOFTWARE\\Kelmor\\Ferrow\\TCPIP", KEY_READ, &k);
  if (opened == ERROR_SUCCESS) {
    char name[65];
    DWORD nameSize = sizeof name;
    RegEnumKeyEx(k, 0, name, &nameSize);
    BYTE address[16];
    DWORD addressSize = sizeof address;
    RegQueryValueEx(k, "Address", nullptr, address, &addressSize);
    RegCloseKey(k);
  }
  // A change under the other root leaves HKEY_LOCAL_MACHINE exactly as it was.
  HKEY probe = nullptr;
  LONG created = RegCreateKeyEx(HKEY_CURRENT_USER, "Fuzz\\Probe", KEY_ALL_ACCESS, &probe, nullptr);
  if (r == ERROR_BADDB) Check(created == ERROR_BADDB);
  if (created == ERROR_SUCCESS) {
    const BYTE value[] = {'x', 0};
    Check(RegSetValueEx(probe, "v", REG_SZ, value, sizeof value) == ERROR_SUCCESS);
    RegCloseKey(probe);
    if (r == ERROR_SUCCESS) {
      std::vector<std::string> after;
      Check(Dump(HKEY_LOCAL_MACHINE, "HKLM", 0, &after) == ERROR_SUCCESS);
      Check(after == before);
    }
  }
  return 0;
}

// Arbitrary bytes as an ini file: lookups, lists, integer readings and a write and a delete must give
// defined results, and what was written must read back.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/fuzz/fuzz_root.h"
#include "platform/paths.h"
#include "platform/profile.h"

namespace {

void Check(bool ok) {
  if (!ok) std::abort();
}

std::string Lookup(const char* section, const char* key, const char* def, DWORD size) {
  std::string buf(size + 1, '\x7f');
  DWORD n = GetPrivateProfileString(section, key, def, buf.data(), size, "fuzz.ini");
  Check(size == 0 ? n == 0 : n < size);
  Check(buf[size] == '\x7f');  // nothing written past the room given
  if (size != 0) Check(buf[n] == '\0');
  return std::string(buf.data(), n);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  platform_fuzz::FuzzRoot();
  std::string path = platform::JoinPath(platform::WindowsDirectory(), "fuzz.ini");
  FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) std::abort();
  if (size != 0) std::fwrite(data, 1, size, f);
  std::fclose(f);

  for (DWORD room : {0u, 1u, 2u, 5u, 64u, 4096u}) {
    Lookup("general", "debuglog", "dflt ", room);
    Lookup("S", "A", nullptr, room);
    Lookup("general", nullptr, "", room);  // keys of a section
    Lookup(nullptr, nullptr, "", room);    // section names
  }
  GetPrivateProfileInt("general", "iTimeOut", 7, "fuzz.ini");
  GetPrivateProfileInt("S", "A", -1, "fuzz.ini");
  {
    // One reading of the file answers as the calls do.
    const platform::ProfileFile once("fuzz.ini");
    for (DWORD room : {1u, 5u, 64u}) {
      std::string a(room, '\0'), b(room, '\0');
      const DWORD na = GetPrivateProfileString("general", "debuglog", "d", a.data(), room, "fuzz.ini");
      const DWORD nb = once.GetString("general", "debuglog", "d", b.data(), room);
      Check(na == nb && a == b);
      const DWORD la = GetPrivateProfileString(nullptr, nullptr, "", a.data(), room, "fuzz.ini");
      const DWORD lb = once.GetString(nullptr, nullptr, "", b.data(), room);
      Check(la == lb && a == b);
    }
    Check(once.GetInt("S", "A", -1) == GetPrivateProfileInt("S", "A", -1, "fuzz.ini"));
  }

  bool wrote = WritePrivateProfileString("general", "debuglog", "T", "fuzz.ini") != FALSE;
  if (wrote) Check(Lookup("general", "debuglog", "", 64) == "T");
  if (WritePrivateProfileString("S", "A", nullptr, "fuzz.ini")) {
    Check(Lookup("S", "A", "gone", 64) == "gone");
    if (wrote) Check(Lookup("general", "debuglog", "", 64) == "T");
  }
  if (WritePrivateProfileString("S", nullptr, nullptr, "fuzz.ini")) {
    Check(Lookup("S", "B", "gone", 64) == "gone");
    if (wrote) Check(Lookup("general", "debuglog", "", 64) == "T");
  }
  return 0;
}

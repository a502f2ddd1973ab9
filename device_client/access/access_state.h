// Library state shared between the access library's own files (not for callers).
#pragma once
#include <cstdint>
#include <string>

// The local NetBIOS name registered on one LANA (first byte 0: none yet) and its name number.
struct LanaNameCache {
  char name[16];
  std::uint8_t nameNumber;
};

namespace console_access {

// The name cache of a LANA, or nullptr when NetBIOS is not started or the LANA was not enumerated.
LanaNameCache* NameCacheOf(std::uint8_t lana);

// The computer name from which local NetBIOS names are formed.
std::string LocalComputerName();

}  // namespace console_access

// The NetBIOS name forms of the suite: the local name a program calls from and the name a box
// answers calls under. Plain functions without state, shared by the device libraries, the scanner
// and the print monitor.
#pragma once
#include <cstdint>

#include "device_client/core/wire_layout.h"

namespace core {

// The 16-byte local NetBIOS name (plus a NUL, 17 bytes written): the computer name cut to 14
// characters, the byte `suffixBase` + n, blanks up to 15 characters, NUL as 16th byte. `n` is
// 0..63. The device libraries and the scanner use 0x80 + n; the print monitor 0x01 + n.
void FormatLocalName(const char* computerName, int n, char (&out)[17],
                     std::uint8_t suffixBase = wire::kLocalNameSuffixBase);

// The 16-byte name under which a box answers NetBIOS calls: its name (at most 15 characters kept),
// padded with 0x02 to 15 bytes, 0x01 as 16th byte, NUL as 17th. A null `name` means `out` already
// holds the name.
void FormatDeviceName(const char* name, char (&out)[17]);

}  // namespace core

#include "wizard_netware/nw_errors.h"

#include <algorithm>
#include <cstdio>

#include "wizard_netware/nw_error_table.h"

namespace netware {

std::string NwErrorName(int code) {
  const NwErrorEntry* end = kNwErrorTable + kNwErrorTableSize;
  const NwErrorEntry* it = std::lower_bound(
      kNwErrorTable, end, code, [](const NwErrorEntry& e, int c) { return e.code < c; });
  if (it != end && it->code == code) return it->names;
  char text[16];
  if (code < 0) {
    std::snprintf(text, sizeof text, "%d", code);
  } else {
    std::snprintf(text, sizeof text, "0x%04X", static_cast<unsigned>(code));
  }
  return text;
}

}  // namespace netware

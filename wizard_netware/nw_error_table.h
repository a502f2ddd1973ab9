// The NetWare error-name table, generated at build time from netware_errors.tsv.
#pragma once
#include <cstddef>

namespace netware {

struct NwErrorEntry {
  int code;
  const char* names;  // the constant names of the code, joined by line feeds
};

// Sorted by code, rising.
extern const NwErrorEntry kNwErrorTable[];
extern const std::size_t kNwErrorTableSize;

}  // namespace netware

// Plain Win32-style scalar types and result codes used by the suite's platform layer.
#pragma once
#include <cstdint>

using DWORD = std::uint32_t;
using LONG = std::int32_t;
using BOOL = int;
using BYTE = std::uint8_t;
using WORD = std::uint16_t;
using UINT = unsigned int;

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

// Result codes of the registry and file services (same values as on Windows).
constexpr LONG ERROR_SUCCESS = 0;
constexpr LONG ERROR_FILE_NOT_FOUND = 2;
constexpr LONG ERROR_ACCESS_DENIED = 5;
constexpr LONG ERROR_INVALID_HANDLE = 6;
constexpr LONG ERROR_NOT_ENOUGH_MEMORY = 8;
constexpr LONG ERROR_INVALID_PARAMETER = 87;
constexpr LONG ERROR_MORE_DATA = 234;
constexpr LONG ERROR_NO_MORE_ITEMS = 259;
constexpr LONG ERROR_BADDB = 1009;        // the store file is damaged; nothing was changed
constexpr LONG ERROR_CANTREAD = 1012;     // one of several values asked for at once is missing
constexpr LONG ERROR_KEY_DELETED = 1018;  // the key behind an open handle was deleted
constexpr LONG ERROR_WRITE_FAULT = 29;    // the store could not be written (read-only root, disk full)
constexpr LONG ERROR_FILE_READ_ONLY = 6009;  // the file is read-only (its owner took the write right away)

// The error code of the calling thread's last failed call (and of callers' SetLastError), for the
// calls that answer TRUE/FALSE or a handle.
DWORD GetLastError();
void SetLastError(DWORD error);

// Profile (ini) files with the behaviour of the Win32 profile functions the suite relies on:
// section and key names compared ignoring case, first match wins, values trimmed and one pair of
// surrounding quotes stripped, the caller's buffer size truncates, the default when file, section or
// key is missing, no caching (every call reads the file), CRLF and LF both read.
// A write creates the file, section or key as needed, keeps the rest of the file (comments, order)
// and replaces the file atomically, so a concurrent reader never sees half a file.
// A file name without a '/' is taken relative to platform::WindowsDirectory().
// A file over 4 MiB, or one that cannot be read, reads as empty (every lookup gives its default) and
// is never written (FALSE). Writers serialise on a lock file ".<name>.lock" beside the file.
#pragma once
#include <string>

#include "platform/win_types.h"

// Copies the value (or the default) into buf, truncated to size-1 characters and NUL-terminated;
// returns the number of characters copied. size 0 copies nothing and returns 0.
// A null key copies the section's key names, a null section the section names, each NUL-terminated,
// with a second NUL at the end (Win32 list form).
DWORD GetPrivateProfileString(const char* section, const char* key, const char* defaultValue,
                              char* buf, DWORD size, const char* fileName);

// Reads the value as a decimal integer: optional blanks, optional sign, leading digits; text after
// the digits is ignored ("12abc" is 12, "0x10" is 0, "-3" is -3); no digits at all gives 0 ("abc" is
// 0); a missing key or an empty value gives the default. Values outside int range saturate.
int GetPrivateProfileInt(const char* section, const char* key, int defaultValue, const char* fileName);

// Sets a value. A null value deletes the key; a null key deletes the whole section.
// Refuses (FALSE) a section, key or value that holds a line break or another control character.
// Returns FALSE when the file cannot be written; the old file is then left as it was. A read-only
// file (its owner's write bit off, e.g. chmod 444) is never rewritten. GetLastError() after FALSE:
// ERROR_INVALID_PARAMETER, ERROR_FILE_READ_ONLY, or ERROR_WRITE_FAULT (any other failure).
// A file that is a symbolic link stays one: the change goes to the file it leads to.
BOOL WritePrivateProfileString(const char* section, const char* key, const char* value,
                               const char* fileName);

namespace platform {

// One reading of a profile file, for a caller that looks up many keys together: each lookup answers
// as GetPrivateProfileString / GetPrivateProfileInt would have for the file as it was when read.
class ProfileFile {
 public:
  explicit ProfileFile(const char* fileName);
  DWORD GetString(const char* section, const char* key, const char* defaultValue, char* buf, DWORD size) const;
  int GetInt(const char* section, const char* key, int defaultValue) const;

 private:
  std::string text_;
};

}  // namespace platform

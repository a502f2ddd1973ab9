// The registry store: keys under HKEY_LOCAL_MACHINE and HKEY_CURRENT_USER with REG_SZ, REG_DWORD and
// REG_BINARY values, persisted as text under platform::RegistryDirectory(). Key and value names are
// compared ignoring case and keep the case they were created with. Subkeys and values enumerate in
// a stable order (the order of creation). Every call reads the store afresh under a lock shared by
// all processes of the root, and every change replaces the store file atomically, so several
// processes may read and write at once and a killed process leaves nothing half-written.
// A damaged store file gives ERROR_BADDB and is never overwritten. A store file made read-only
// (chmod 444) is never rewritten either: a change gives ERROR_FILE_READ_ONLY. A store file that is a
// symbolic link stays one: the file it leads to gets the change.
#pragma once
#include <string>

#include "platform/win_types.h"

struct RegKeyHandle;
using HKEY = RegKeyHandle*;
using REGSAM = DWORD;

#define HKEY_CURRENT_USER (reinterpret_cast<HKEY>(static_cast<std::uintptr_t>(0x80000001u)))
#define HKEY_LOCAL_MACHINE (reinterpret_cast<HKEY>(static_cast<std::uintptr_t>(0x80000002u)))

constexpr DWORD REG_NONE = 0;
constexpr DWORD REG_SZ = 1;
constexpr DWORD REG_BINARY = 3;
constexpr DWORD REG_DWORD = 4;

constexpr REGSAM KEY_QUERY_VALUE = 0x0001;
constexpr REGSAM KEY_SET_VALUE = 0x0002;
constexpr REGSAM KEY_CREATE_SUB_KEY = 0x0004;
constexpr REGSAM KEY_ENUMERATE_SUB_KEYS = 0x0008;
constexpr REGSAM KEY_READ = 0x20019;
constexpr REGSAM KEY_WRITE = 0x20006;
constexpr REGSAM KEY_ALL_ACCESS = 0xF003F;

constexpr DWORD REG_CREATED_NEW_KEY = 1;
constexpr DWORD REG_OPENED_EXISTING_KEY = 2;

// Sub-key paths use '\' between their parts ("SOFTWARE\Kelmor\Ferrow\TCPIP"); an empty or null
// sub-key names the parent itself. Handles must be closed with RegCloseKey.
LONG RegCreateKeyEx(HKEY parent, const char* subKey, REGSAM sam, HKEY* result, DWORD* disposition);
LONG RegOpenKeyEx(HKEY parent, const char* subKey, REGSAM sam, HKEY* result);
LONG RegCloseKey(HKEY key);
// Deletes a key that has no subkeys (ERROR_ACCESS_DENIED when it has some, as on Windows NT).
LONG RegDeleteKey(HKEY parent, const char* subKey);

// REG_SZ data is stored as given (the caller normally includes the terminating NUL in size).
LONG RegSetValueEx(HKEY key, const char* valueName, DWORD type, const BYTE* data, DWORD size);
// On entry *size is the room in data; on ERROR_SUCCESS it is the stored size. When the room is too
// small the result is ERROR_MORE_DATA and *size the size needed (data is not written). A null data
// pointer asks only for the size and type.
LONG RegQueryValueEx(HKEY key, const char* valueName, DWORD* type, BYTE* data, DWORD* size);
LONG RegDeleteValue(HKEY key, const char* valueName);

// One value of a RegQueryMultipleValues call: the name goes in, the size, the address of the data
// (inside the caller's buffer) and the type come out.
struct VALENTA {
  const char* ve_valuename;
  DWORD ve_valuelen;
  std::uintptr_t ve_valueptr;
  DWORD ve_type;
};
// Reads several values of one key from one reading of the store (so they come from the same
// moment), their data packed one after the other into `buffer`. On entry *totalSize is the room in
// buffer; on ERROR_SUCCESS it is the room used. ERROR_CANTREAD when a value is missing (nothing is
// filled in); ERROR_MORE_DATA when the room is too small, with *totalSize the room needed.
LONG RegQueryMultipleValues(HKEY key, VALENTA* values, DWORD count, char* buffer, DWORD* totalSize);

// Enumerates subkey names by index. *nameSize is the room in characters including the NUL; on success
// it is the length without the NUL. ERROR_MORE_DATA when the room is too small, ERROR_NO_MORE_ITEMS
// past the last index.
// On ERROR_MORE_DATA nothing is copied; *nameSize is the room the name needs (with its NUL) and, for
// RegEnumValue, *dataSize the data's size (the name or the data did not fit).
// Limits: names of at most 255 characters, values of at most 1 MiB (ERROR_INVALID_PARAMETER); a
// REG_DWORD value is exactly 4 bytes. A handle names a key path and is resolved on each call:
// ERROR_KEY_DELETED once no key of that path exists. Access is checked against the handle's sam
// (KEY_QUERY_VALUE, KEY_SET_VALUE, KEY_CREATE_SUB_KEY, KEY_ENUMERATE_SUB_KEYS; the predefined roots
// have all). A store that cannot be written gives ERROR_WRITE_FAULT and stays as it was.
LONG RegEnumKeyEx(HKEY key, DWORD index, char* name, DWORD* nameSize);
LONG RegEnumValue(HKEY key, DWORD index, char* name, DWORD* nameSize, DWORD* type, BYTE* data,
                  DWORD* dataSize);

namespace platform {

// The store file of the current root.
std::string RegistryStorePath();

// What a result of the registry calls means, for a message to the user: for the results that
// concern the store file it is named ("the registry store /r/registry/registry.txt is read-only").
std::string RegistryResultText(LONG result);

}  // namespace platform

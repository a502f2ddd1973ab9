#include "device_client/device_lists/device_lists.h"

#include <strings.h>

#include <array>
#include <cstring>
#include <memory>
#include <string>

#include "device_client/core/transport/text.h"
#include "device_client/core/wire_layout.h"
#include "device_client/core/scan_cache/scan_cache.h"
#include "platform/ascii.h"
#include "platform/registry.h"

namespace {

constexpr int kNameSize = 20;
constexpr int kMaxIpText = 15;         // "255.255.255.255"
constexpr int kAddressValueRoom = 16;  // an "Address" of the TCP/IP list is read into 16 bytes
constexpr int kIpxNameRoom = 64;       // subkey names of the IPX list
constexpr int kServerNameRoom = 50;
constexpr int kIpxAddressRoom = 64;
constexpr int kIpxAddressDigits = 20;  // network number (4 bytes) and node (6 bytes)
constexpr int kHwidDigits = 8;         // 4 bytes
constexpr int kRegFindReplyRoom = 256;
constexpr const char kDeviceInfoRequest[] = "9007:\n";

struct ListsState {
  std::unique_ptr<std::array<LookupEntry, MAX_LOOKUP_ENTRIES>> lookup;
  int lookupCount = 0;
  bool internetKey = false;
  int exitHook = 0;
};

// Never destroyed: the device-API object that stops the library (PSExit, and the exit hooks it
// runs) may itself be a static built before this state, so it would be destroyed after it.
ListsState& L() {
  static ListsState* const state = new ListsState;
  return *state;
}

// Allocates the look-up table on first use; it is released with the library's other tables.
void EnsureLookupTable() {
  ListsState& s = L();
  if (!s.lookup) s.lookup = std::make_unique<std::array<LookupEntry, MAX_LOOKUP_ENTRIES>>();
  if (s.exitHook == 0) {
    s.exitHook = console_access::AddExitHook([] {
      L().lookup.reset();
      L().lookupCount = 0;
    });
  }
}

// A 20-byte name field from text that may fill all 20 bytes: the characters up to the first NUL,
// then zeros, so that a byte-wise comparison of two fields is a comparison of the names.
void CopyName(char (&out)[kNameSize], const char* in) {
  std::memset(out, 0, sizeof out);
  if (in != nullptr) std::memcpy(out, in, strnlen(in, kNameSize));
}

// The name of a 20-byte field as a NUL-terminated string.
std::string NameText(const char* field) { return std::string(field, strnlen(field, kNameSize)); }

bool SameName(const char* a, const char* b) { return std::strncmp(a, b, kNameSize) == 0; }

// A dotted-address text that can go into a record and the registry: 1..15 characters, no
// control characters.
bool UsableIpText(const char* ip) {
  return ip != nullptr && ip[0] != '\0' && device_lists::IsStorableText(ip, kMaxIpText, false);
}

DeviceRecord TcpRecord(const char* ip) {
  DeviceRecord record{};
  record.iProtocol = TYPE_TCPIP;
  std::memcpy(record.address, ip, strnlen(ip, kMaxIpText));
  return record;
}

// Reads a REG_SZ value of at most `room` bytes into out (room + 1 bytes) and terminates it inside
// the buffer, whether or not the stored text carries its NUL. False when the value is absent, of
// another type, or longer than `room`.
bool ReadTextValue(HKEY key, const char* valueName, char* out, DWORD room) {
  std::memset(out, 0, room + 1);
  DWORD type = REG_NONE;
  DWORD size = room;
  if (RegQueryValueEx(key, valueName, &type, reinterpret_cast<BYTE*>(out), &size) !=
          ERROR_SUCCESS ||
      type != REG_SZ || size > room) {
    std::memset(out, 0, room + 1);
    return false;
  }
  out[size < room ? size : room] = '\0';
  return true;
}

bool WriteTextValue(HKEY key, const char* valueName, const char* text) {
  return RegSetValueEx(key, valueName, REG_SZ, reinterpret_cast<const BYTE*>(text),
                       static_cast<DWORD>(std::strlen(text) + 1)) == ERROR_SUCCESS;
}

// Exactly `digits` hexadecimal digits, then the end of the text.
bool ParseHex(const char* text, int digits, std::uint8_t* out) {
  if (static_cast<int>(std::strlen(text)) != digits) return false;
  for (int i = 0; i < digits; ++i) {
    if (core::HexDigitValue(text[i]) == 0xFF) return false;
  }
  core::HexToBytes(text, out, digits / 2);
  return true;
}

// The "Address" of one subkey of the TCP/IP list, as the address of a TCP/IP record.
bool ReadTcpipAddress(HKEY list, const char* subkey, DeviceRecord* record) {
  HKEY entry = nullptr;
  if (RegOpenKeyEx(list, subkey, KEY_READ, &entry) != ERROR_SUCCESS) return false;
  char address[kAddressValueRoom + 1];
  bool ok = ReadTextValue(entry, "Address", address, kAddressValueRoom) &&
            std::strlen(address) <= static_cast<std::size_t>(kMaxIpText);
  RegCloseKey(entry);
  if (ok) *record = TcpRecord(address);
  return ok;
}

}  // namespace

bool RegWriteDeviceAddress(const DeviceRecord& record, const char* ip) {
  const std::string name = NameText(record.szName);
  if (!core::AcceptableBoxNames(record.szName, nullptr) || !UsableIpText(ip)) {
    return false;
  }
  const std::string path = std::string(device_lists::CurrentTcpipListKey()) + "\\" + name;
  HKEY key = nullptr;
  if (RegCreateKeyEx(HKEY_LOCAL_MACHINE, path.c_str(), KEY_ALL_ACCESS, &key, nullptr) !=
      ERROR_SUCCESS) {
    return false;
  }
  const bool ok = WriteTextValue(key, "Address", ip);
  RegCloseKey(key);
  return ok;
}

namespace {

// Sends "9007:\n" to the box the record addresses; on an answer that holds the default name
// (block bytes 76-95, not empty) the record takes that name and, when `entry` is given, it
// receives the identification of the block as a look-up entry.
bool AskDeviceInformation(DeviceRecord* record, LookupEntry* entry) {
  if (record == nullptr) return false;
  char reply[kRegFindReplyRoom] = {};
  int replyLength = 0;
  if (SendRespByRecord(record, kDeviceInfoRequest, static_cast<int>(sizeof kDeviceInfoRequest - 1),
                       reply, &replyLength, static_cast<int>(sizeof reply)) != 0) {
    return false;
  }
  if (replyLength < wire::pid::kDefaultName + wire::pid::kNameSize) return false;
  char name[kNameSize];
  CopyName(name, reply + wire::pid::kDefaultName);
  if (name[0] == '\0') return false;
  std::memcpy(record->szName, name, kNameSize);
  if (entry != nullptr) {
    std::memcpy(entry->szDefaultName, name, kNameSize);
    std::memcpy(entry->deviceInfo, reply + wire::pid::kHardwareId, sizeof entry->deviceInfo);
    std::memcpy(entry->functionId, reply + wire::pid::kFunctionId, sizeof entry->functionId);
    std::memcpy(entry->szNameText, reply + wire::pid::kDeviceName, sizeof entry->szNameText);
  }
  return true;
}

void AddLookupEntry(const LookupEntry& entry) {
  EnsureLookupTable();
  ListsState& s = L();
  if (s.lookupCount < MAX_LOOKUP_ENTRIES) {
    (*s.lookup)[static_cast<std::size_t>(s.lookupCount++)] = entry;
  }
}

// Asks the box at `ip` and checks that its entry could be stored: a usable address, an answer
// with a name, a name that can be a registry key.
bool AskBoxAt(const char* ip, DeviceRecord* record) {
  if (!UsableIpText(ip)) return false;
  *record = TcpRecord(ip);
  if (RegFindDevice(record) == 0) return false;
  return core::AcceptableBoxNames(record->szName, nullptr);
}

// One browse: the cache files of the requested protocols and the registry lists into the device
// table, merged in the order IPX, IPX registry list, TCP/IP, NetBIOS, then sorted by name.
void RebuildDeviceTable(bool withIpxRegistryList) {
  using Area = std::array<DeviceRecord, MAX_DEVICE_RECORDS>;
  const int mask = console_access::RequestedProtocols();
  auto ipx = std::make_unique<Area>();
  auto tcp = std::make_unique<Area>();
  auto netbios = std::make_unique<Area>();
  int ipxCount = 0;
  int tcpCount = 0;
  int netbiosCount = 0;

  EnsureLookupTable();
  L().lookupCount = 0;

  if ((mask & TYPE_IPXSPX) != 0) {
    LoadScanFile(scan_cache::kIpxFile, ipx->data(), &ipxCount, MAX_DEVICE_RECORDS);
  }
  if ((mask & TYPE_TCPIP) != 0) {
    LoadScanFile(scan_cache::kUdpFile, tcp->data(), &tcpCount, MAX_DEVICE_RECORDS);
    VerifyTcpipRegistryList(tcp->data(), &tcpCount, MAX_DEVICE_RECORDS);
  }
  if ((mask & TYPE_NETBEUI) != 0) {
    LoadScanFile(scan_cache::kNetBiosFile, netbios->data(), &netbiosCount, MAX_DEVICE_RECORDS);
  }

  console_access::ClearDevices();
  MergeDeviceRecords(ipx->data(), ipxCount);
  if ((mask & TYPE_IPXSPX) != 0 && withIpxRegistryList) ReadIpxRegistryList();
  MergeDeviceRecords(tcp->data(), tcpCount);
  MergeDeviceRecords(netbios->data(), netbiosCount);

  if (console_access::DeviceCount() > 0) {
    SortDeviceRecords(console_access::MutableDeviceAt(0), console_access::DeviceCount());
  }
}

}  // namespace

namespace device_lists {

const char* CurrentTcpipListKey() { return L().internetKey ? kInternetListKey : kTcpipListKey; }

void RestoreTcpipListKey() { L().internetKey = false; }
void UseInternetListKey() { L().internetKey = true; }

int LookupCount() { return L().lookup ? L().lookupCount : 0; }

const LookupEntry* LookupAt(int index) {
  const ListsState& s = L();
  if (!s.lookup || index < 0 || index >= s.lookupCount) return nullptr;
  return &(*s.lookup)[static_cast<std::size_t>(index)];
}

bool IsStorableText(const char* text, int maxLength, bool keyName) {
  if (text == nullptr || maxLength < 0) return false;
  const std::size_t length = strnlen(text, static_cast<std::size_t>(maxLength) + 1);
  if (length > static_cast<std::size_t>(maxLength)) return false;
  if (keyName && length == 0) return false;
  for (std::size_t i = 0; i < length; ++i) {
    if (platform::IsAsciiControl(text[i])) return false;
    if (keyName && text[i] == '\\') return false;
  }
  return true;
}

}  // namespace device_lists

int PSBrowse(char* pNames, int* pnCount) {
  if (pNames == nullptr || pnCount == nullptr) return FAIL;
  RebuildDeviceTable(true);
  const int count = console_access::DeviceCount();
  for (int i = 0; i < count; ++i) {
    std::memcpy(pNames + static_cast<std::ptrdiff_t>(i) * kNameSize,
                console_access::DeviceAt(i)->szName, kNameSize);
  }
  *pnCount = count;
  return 0;
}

int PSBrowseRecords(DeviceRecord* pRecords, int* pnCount) {
  if (pRecords == nullptr || pnCount == nullptr) return FAIL;
  L().internetKey = true;
  RebuildDeviceTable(false);
  const int count = console_access::DeviceCount();
  for (int i = 0; i < count; ++i) pRecords[i] = *console_access::DeviceAt(i);
  *pnCount = count;
  return 0;
}

int GetCacheDetails(std::uint8_t* pDeviceInfo, std::uint8_t* pFunctionId, char* pNameText,
                    const char* szName) {
  if (szName == nullptr) return 0;
  for (int i = 0; i < device_lists::LookupCount(); ++i) {
    const LookupEntry* entry = device_lists::LookupAt(i);
    if (!SameName(entry->szDefaultName, szName)) continue;
    if (pDeviceInfo != nullptr) std::memcpy(pDeviceInfo, entry->deviceInfo, 32);
    if (pFunctionId != nullptr) std::memcpy(pFunctionId, entry->functionId, 2);
    if (pNameText != nullptr) std::memcpy(pNameText, entry->szNameText, kNameSize);
    return 1;
  }
  return 0;
}

int RegFindDevice(DeviceRecord* pRecord) { return AskDeviceInformation(pRecord, nullptr) ? 1 : 0; }

int PSAddUDP(const char* szIPAddress, DeviceRecord* pRecord) {
  if (pRecord == nullptr) return 0;
  DeviceRecord record{};
  if (!AskBoxAt(szIPAddress, &record)) return 0;
  if (FindDeviceIndex(record.szName) >= 0) return 0;
  if (console_access::AppendDevice(record) != 0) return 0;  // the table is full
  RegWriteDeviceAddress(record, szIPAddress);  // a failed create writes nothing; the box stays listed
  *pRecord = record;
  return 1;
}

int PSAskUDP(const char* szIPAddress, DeviceRecord* pRecord) {
  if (pRecord == nullptr) return 0;
  DeviceRecord record{};
  if (!AskBoxAt(szIPAddress, &record)) return 0;
  if (FindDeviceIndex(record.szName) >= 0) return 0;
  *pRecord = record;
  return 1;
}

int PSIAddUDP(const char* szIPAddress) {
  L().internetKey = true;
  DeviceRecord record{};
  if (!AskBoxAt(szIPAddress, &record)) return 0;
  return RegWriteDeviceAddress(record, szIPAddress) ? 1 : 0;
}

int FindDeviceIndex(const char* szName) {
  if (szName == nullptr) return -1;
  const int count = console_access::DeviceCount();
  for (int i = 0; i < count; ++i) {
    if (SameName(console_access::DeviceAt(i)->szName, szName)) return i;
  }
  return -1;
}

int QueryDeviceProtocol(const char* szName) {
  const int index = FindDeviceIndex(szName);
  return index < 0 ? -1 : console_access::DeviceAt(index)->iProtocol;
}

void UpdateDeviceAddress(const char* szName, const char* szNewNetbiosName,
                         const char* szNewIpAddress) {
  const int index = FindDeviceIndex(szName);
  if (index < 0) return;
  UpdateRecordAddress(console_access::MutableDeviceAt(index), szNewNetbiosName, szNewIpAddress);
}

void UpdateRecordAddress(DeviceRecord* record, const char* szNewNetbiosName,
                         const char* szNewIpAddress) {
  if (record == nullptr) return;
  if (record->iProtocol == TYPE_NETBEUI && szNewNetbiosName != nullptr &&
      szNewNetbiosName[0] != '\0') {
    // A box answers NetBIOS calls under the first 15 characters of its name; byte 19 is the LANA.
    std::uint8_t name[NETBIOS_LANA_OFFSET] = {};
    std::memcpy(name, szNewNetbiosName, strnlen(szNewNetbiosName, 15));
    if (std::memcmp(record->address, name, sizeof name) != 0) {
      std::memcpy(record->address, name, sizeof name);
    }
  }
  if (record->iProtocol == TYPE_TCPIP && UsableIpText(szNewIpAddress)) {
    std::uint8_t address[kAddressValueRoom] = {};
    std::memcpy(address, szNewIpAddress, std::strlen(szNewIpAddress));
    if (std::memcmp(record->address, address, sizeof address) != 0) {
      std::memcpy(record->address, address, sizeof address);
    }
  }
}

int WriteIpxRegistryList(const char* names, const char* serverNames,
                         const std::uint8_t* addresses, const std::uint8_t* hardwareIds,
                         int count) {
  if (names == nullptr || serverNames == nullptr || addresses == nullptr ||
      hardwareIds == nullptr || count < 0) {
    return 0;
  }
  const std::string countPath = std::string(kIpxListKey) + "\\" + kIpxCountSubkey;
  HKEY countKey = nullptr;
  if (RegCreateKeyEx(HKEY_LOCAL_MACHINE, countPath.c_str(), KEY_ALL_ACCESS, &countKey, nullptr) !=
      ERROR_SUCCESS) {
    return 0;
  }
  DWORD written = 0;
  for (int i = 0; i < count; ++i) {
    const std::string name = NameText(names + static_cast<std::ptrdiff_t>(i) * kNameSize);
    const char* serverField = serverNames + static_cast<std::ptrdiff_t>(i) * kServerNameRoom;
    const std::string server(serverField, strnlen(serverField, kServerNameRoom - 1));
    if (!core::AcceptableBoxNames(names + static_cast<std::ptrdiff_t>(i) * kNameSize, nullptr) ||
        strcasecmp(name.c_str(), kIpxCountSubkey) == 0 ||
        !device_lists::IsStorableText(server.c_str(), kServerNameRoom - 1, false)) {
      continue;
    }
    char address[kIpxAddressDigits + 1];
    core::BytesToHex(addresses + static_cast<std::ptrdiff_t>(i) * 20, address,
                     kIpxAddressDigits / 2);
    char hwid[kHwidDigits + 1];
    core::BytesToHex(hardwareIds + static_cast<std::ptrdiff_t>(i) * 4, hwid, kHwidDigits / 2);

    const std::string path = std::string(kIpxListKey) + "\\" + name;
    HKEY key = nullptr;
    if (RegCreateKeyEx(HKEY_LOCAL_MACHINE, path.c_str(), KEY_ALL_ACCESS, &key, nullptr) !=
        ERROR_SUCCESS) {
      continue;
    }
    const bool ok = WriteTextValue(key, "ServerName", server.c_str()) &&
                    WriteTextValue(key, "Address", address) && WriteTextValue(key, "HWID", hwid);
    RegCloseKey(key);
    if (ok) ++written;
  }
  RegSetValueEx(countKey, "DeviceCount", REG_DWORD, reinterpret_cast<const BYTE*>(&written),
                sizeof written);
  RegCloseKey(countKey);
  return static_cast<int>(written);
}

int ReadIpxRegistryList() {
  const std::string countPath = std::string(kIpxListKey) + "\\" + kIpxCountSubkey;
  HKEY countKey = nullptr;
  if (RegOpenKeyEx(HKEY_LOCAL_MACHINE, countPath.c_str(), KEY_READ, &countKey) != ERROR_SUCCESS) {
    return 0;
  }
  DWORD deviceCount = 0;
  DWORD type = REG_NONE;
  DWORD size = sizeof deviceCount;
  const LONG rc = RegQueryValueEx(countKey, "DeviceCount", &type,
                                  reinterpret_cast<BYTE*>(&deviceCount), &size);
  RegCloseKey(countKey);
  if (rc != ERROR_SUCCESS) return 0;  // the count itself is not used further

  HKEY list = nullptr;
  if (RegOpenKeyEx(HKEY_LOCAL_MACHINE, kIpxListKey, KEY_READ, &list) != ERROR_SUCCESS) return 0;
  int added = 0;
  for (DWORD index = 0; console_access::DeviceCount() < MAX_DEVICE_RECORDS; ++index) {
    char subkey[kIpxNameRoom + 1] = {};
    DWORD nameSize = sizeof subkey;
    const LONG enumResult = RegEnumKeyEx(list, index, subkey, &nameSize);
    if (enumResult == ERROR_MORE_DATA) continue;  // longer than any box name
    if (enumResult != ERROR_SUCCESS) break;
    if (strcasecmp(subkey, kIpxCountSubkey) == 0) continue;
    if (std::strlen(subkey) > static_cast<std::size_t>(kNameSize)) continue;

    HKEY entry = nullptr;
    if (RegOpenKeyEx(list, subkey, KEY_READ, &entry) != ERROR_SUCCESS) continue;
    char server[kServerNameRoom + 1];
    char address[kIpxAddressRoom + 1];
    char hwid[kIpxAddressRoom + 1];
    DeviceRecord record{};
    std::uint8_t hardwareId[kHwidDigits / 2];
    const bool ok = ReadTextValue(entry, "ServerName", server, kServerNameRoom) &&
                    ReadTextValue(entry, "Address", address, kIpxAddressRoom) &&
                    ReadTextValue(entry, "HWID", hwid, kHwidDigits + 1) &&
                    ParseHex(address, kIpxAddressDigits, record.address) &&
                    ParseHex(hwid, kHwidDigits, hardwareId);
    RegCloseKey(entry);
    if (!ok) continue;
    CopyName(record.szName, subkey);
    record.iProtocol = TYPE_IPXSPX;
    if (FindDeviceIndex(record.szName) >= 0) continue;
    if (console_access::AppendDevice(record) != 0) break;
    ++added;
  }
  RegCloseKey(list);
  return added;
}

void VerifyTcpipRegistryList(DeviceRecord* records, int* pnCount, int capacity) {
  if (records == nullptr || pnCount == nullptr) return;
  HKEY list = nullptr;
  if (RegOpenKeyEx(HKEY_LOCAL_MACHINE, device_lists::CurrentTcpipListKey(), KEY_ALL_ACCESS,
                   &list) != ERROR_SUCCESS) {
    return;
  }
  DWORD index = 0;
  while (*pnCount < capacity) {
    char subkey[256] = {};
    DWORD nameSize = sizeof subkey;
    const LONG enumResult = RegEnumKeyEx(list, index, subkey, &nameSize);
    if (enumResult == ERROR_MORE_DATA) {
      ++index;
      continue;
    }
    if (enumResult != ERROR_SUCCESS) break;
    DeviceRecord record{};
    if (!ReadTcpipAddress(list, subkey, &record)) {
      ++index;  // no readable address: nothing to ask, the entry stays
      continue;
    }
    LookupEntry entry{};
    if (AskDeviceInformation(&record, &entry)) {
      // A registered box has no cache record: its answer stands in for one.
      AddLookupEntry(entry);
      records[(*pnCount)++] = record;
      ++index;
    } else if (RegDeleteKey(list, subkey) != ERROR_SUCCESS) {
      ++index;  // an entry that cannot be deleted is passed over, not read again
    }
  }
  RegCloseKey(list);
}

void LoadScanFile(const char* fileName, DeviceRecord* records, int* pnCount, int capacity) {
  if (fileName == nullptr || records == nullptr || pnCount == nullptr) return;
  const std::vector<scan_cache::ScanCacheRecord> file = scan_cache::LoadScanFile(fileName);
  for (const scan_cache::ScanCacheRecord& cached : file) {
    // A record whose names could not be stored (a file of another writer, or of an older scanner)
    // is passed over, as the live browse passes over such an answer.
    if (!core::AcceptableBoxNames(cached.szDefaultName, cached.szDeviceName)) continue;
    if (*pnCount < capacity) {
      DeviceRecord record{};
      CopyName(record.szName, cached.szDefaultName);
      record.iProtocol = cached.iProtocol;
      std::memcpy(record.address, cached.address, sizeof record.address);
      records[(*pnCount)++] = record;
    }
    LookupEntry entry{};
    CopyName(entry.szDefaultName, cached.szDefaultName);
    std::memcpy(entry.deviceInfo, cached.hardwareId, sizeof entry.deviceInfo);
    std::memcpy(entry.functionId, cached.functionId, sizeof entry.functionId);
    std::memcpy(entry.szNameText, cached.szDeviceName, sizeof entry.szNameText);
    AddLookupEntry(entry);
  }
}

int MergeDeviceRecords(const DeviceRecord* records, int count) {
  if (records == nullptr) return 0;
  int added = 0;
  for (int i = 0; i < count; ++i) {
    if (FindDeviceIndex(records[i].szName) >= 0) continue;
    if (console_access::AppendDevice(records[i]) != 0) break;  // the table is full
    ++added;
  }
  return added;
}

void SortDeviceRecords(DeviceRecord* records, int count) {
  if (records == nullptr) return;
  bool swapped = true;
  while (swapped) {
    swapped = false;
    for (int i = 0; i + 1 < count; ++i) {
      if (std::strncmp(records[i].szName, records[i + 1].szName, kNameSize) > 0) {
        std::swap(records[i], records[i + 1]);
        swapped = true;
      }
    }
  }
}

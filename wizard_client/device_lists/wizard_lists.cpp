#include "wizard_client/device_lists/wizard_lists.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <vector>

#include "device_client/core/transport/text.h"
#include "device_client/device_lists/device_lists.h"
#include "device_client/live_discovery/live_discovery.h"
#include "device_client/core/scan_cache/scan_cache.h"
#include "wizard_client/transport/udp_exchange.h"

namespace wizard {
namespace {

constexpr int kNameSize = 20;
constexpr int kMaxIpText = 15;
constexpr std::uint8_t kUdp2Request[18] = {wire::kRequestMarker, 0, 6, 0, 'X', 'X', 'X', 'X', 'X',
                                           'X', 'X', 'X', '9', '0', '0', '7', ':', '\n'};

struct ListsState {
  std::unique_ptr<std::array<ScanLookupEntry, MAX_SCAN_LOOKUP>> lookup;
  int lookupCount = 0;
};

// Never destroyed: the device-API object that stops the library (PSExit, and the exit hooks it
// runs) may itself be a static built before this state, so it would be destroyed after it.
ListsState& L() {
  static ListsState* const state = new ListsState;
  return *state;
}

void ReleaseTables() {
  L().lookup.reset();
  L().lookupCount = 0;
}

void CopyName(char (&out)[kNameSize], const char* in) {
  std::memset(out, 0, sizeof out);
  std::memcpy(out, in, strnlen(in, kNameSize));
}

// A work area of records in one protocol's part of a browse.
using Records = std::vector<DeviceRecord>;

// One cache file: at most 128 of its records into `out`, each also into the look-up table.
void ReadScanCacheFile(const char* fileName, Records& out) {
  const std::vector<scan_cache::ScanCacheRecord> file = scan_cache::LoadScanFile(fileName);
  const std::size_t n = std::min<std::size_t>(file.size(), MAX_CACHE_RECORDS_PER_FILE);
  ListsState& s = L();
  for (std::size_t i = 0; i < n; ++i) {
    const scan_cache::ScanCacheRecord& cached = file[i];
    // A record whose names could not be stored (a damaged file, or one of another writer) is
    // passed over, as the console's browse passes it over.
    if (!core::AcceptableBoxNames(cached.szDefaultName, cached.szDeviceName)) continue;
    DeviceRecord record{};
    CopyName(record.szName, cached.szDefaultName);
    record.iProtocol = cached.iProtocol;
    std::memcpy(record.address, cached.address, sizeof record.address);
    std::memcpy(record.szLocalAddress, cached.szLocalAddress, sizeof record.szLocalAddress - 1);
    out.push_back(record);
    if (s.lookupCount < MAX_SCAN_LOOKUP) {
      ScanLookupEntry& entry = (*s.lookup)[static_cast<std::size_t>(s.lookupCount++)];
      entry = ScanLookupEntry{};
      CopyName(entry.szDefaultName, cached.szDefaultName);
      CopyName(entry.szDeviceName, cached.szDeviceName);
      std::memcpy(entry.hardwareId, cached.hardwareId, sizeof entry.hardwareId);
    }
  }
}

// Appends each record whose name is not in the device table yet, until the table is full.
void MergeDeviceRecords(const Records& records) {
  for (const DeviceRecord& record : records) {
    if (FindDeviceIndex(record.szName) >= 0) continue;
    if (wizard_access::AppendDevice(record) != 0) return;
  }
}

// By name, byte-wise over 20 bytes; records of equal names keep their order.
void SortDeviceRecords() {
  const int count = wizard_access::DeviceCount();
  if (count < 2) return;
  DeviceRecord* first = wizard_access::MutableDeviceAt(0);
  std::stable_sort(first, first + count, [](const DeviceRecord& a, const DeviceRecord& b) {
    return std::strncmp(a.szName, b.szName, kNameSize) < 0;
  });
}

void ReplaceDeviceTable(const Records& ipx, const Records& tcp, const Records& netbios) {
  wizard_access::ClearDevices();
  MergeDeviceRecords(ipx);
  MergeDeviceRecords(tcp);
  MergeDeviceRecords(netbios);
  SortDeviceRecords();
}

int CopyNames(char (*pNames)[20], int nCapacity) {
  const int count = std::min(wizard_access::DeviceCount(), std::max(nCapacity, 0));
  for (int i = 0; i < count; ++i) std::memcpy(pNames[i], wizard_access::DeviceAt(i)->szName, kNameSize);
  return count;
}

// A console-library query into wizard records.
template <typename Query>
int RunConsoleQuery(DeviceRecord* pRecords, int* pnCount, int nCapacity, Query query,
                    char (*locals)[20] = nullptr) {
  if (pRecords == nullptr || pnCount == nullptr) return 0;
  *pnCount = 0;
  const int capacity = std::clamp(nCapacity, 0, MAX_BROWSE_ENTRIES);
  std::vector<::DeviceRecord> found(static_cast<std::size_t>(capacity) + 1);
  int count = 0;
  const int rc = query(found.data(), &count, capacity);
  count = std::clamp(count, 0, capacity);
  for (int i = 0; i < count; ++i) {
    pRecords[i] = FromConsoleRecord(found[static_cast<std::size_t>(i)],
                                    locals != nullptr ? locals[i] : nullptr);
  }
  *pnCount = count;
  return rc;
}

// The live browse behind PSLiveBrowse and PSLiveBrowseInternet.
void LiveBrowse() {
  const int mask = wizard_access::RequestedProtocols();
  Records ipx;
  Records tcp;
  Records netbios;
  std::vector<DeviceRecord> area(MAX_DEVICE_RECORDS);
  int n = 0;
  if ((mask & TYPE_IPXSPX) != 0) {
    std::vector<::DeviceRecord> sap(MAX_DEVICE_RECORDS);
    QuerySAP(SAP_QUERY_PRINT_SERVER, nullptr, sap.data(), &n, MAX_DEVICE_RECORDS);
    for (int i = 0; i < std::clamp(n, 0, MAX_DEVICE_RECORDS); ++i) {
      DeviceRecord record = FromConsoleRecord(sap[static_cast<std::size_t>(i)]);
      if (RegFindDevice(&record) == 1) ipx.push_back(record);
    }
  }
  if ((mask & TYPE_TCPIP) != 0) {
    QueryUDP(area.data(), &n, MAX_DEVICE_RECORDS);
    tcp.assign(area.begin(), area.begin() + n);
    RegListDevices(area.data(), &n, MAX_DEVICE_RECORDS - static_cast<int>(tcp.size()));
    tcp.insert(tcp.end(), area.begin(), area.begin() + n);
  }
  if ((mask & TYPE_NETBEUI) != 0) {
    QueryNetBios(area.data(), &n, MAX_DEVICE_RECORDS);
    netbios.assign(area.begin(), area.begin() + n);
  }
  ReplaceDeviceTable(ipx, tcp, netbios);
}

}  // namespace

namespace wizard_lists {
int LookupCount() { return L().lookup ? L().lookupCount : 0; }
const ScanLookupEntry* LookupAt(int index) {
  if (!L().lookup || index < 0 || index >= L().lookupCount) return nullptr;
  return &(*L().lookup)[static_cast<std::size_t>(index)];
}
}  // namespace wizard_lists

int PSBrowse(char (*pNames)[20], char (*pAddresses)[20], char (*pLocalInterfaces)[20],
             int* pnCount, int nCapacity) {
  if (pNames == nullptr || pAddresses == nullptr || pLocalInterfaces == nullptr ||
      pnCount == nullptr) {
    return FAIL;
  }
  wizard_access::SetExitHook(ReleaseTables);
  ListsState& s = L();
  if (!s.lookup) s.lookup = std::make_unique<std::array<ScanLookupEntry, MAX_SCAN_LOOKUP>>();
  s.lookupCount = 0;

  const int mask = wizard_access::RequestedProtocols();
  Records ipx;
  Records tcp;
  Records netbios;
  if ((mask & TYPE_TCPIP) != 0) ReadScanCacheFile(scan_cache::kUdpFile, tcp);
  if ((mask & TYPE_IPXSPX) != 0) ReadScanCacheFile(scan_cache::kIpxFile, ipx);
  if ((mask & TYPE_NETBEUI) != 0) ReadScanCacheFile(scan_cache::kNetBiosFile, netbios);
  ReplaceDeviceTable(ipx, tcp, netbios);

  const int count = std::min(wizard_access::DeviceCount(), std::max(nCapacity, 0));
  for (int i = 0; i < count; ++i) {
    const DeviceRecord& r = *wizard_access::DeviceAt(i);
    std::memcpy(pNames[i], r.szName, kNameSize);
    std::memset(pAddresses[i], 0, kNameSize);
    if (r.iProtocol == TYPE_NETBEUI || r.iProtocol == TYPE_IPXSPX) {
      std::memcpy(pAddresses[i], "0.0.0.0", 7);
    } else {
      std::memcpy(pAddresses[i], r.address, kNameSize - 1);
    }
    std::memcpy(pLocalInterfaces[i], r.szLocalAddress, kNameSize);
  }
  *pnCount = count;
  return 0;
}

int FindScanCacheInfo(std::uint8_t* pHardwareId, char* pDeviceName, const char* szDefaultName) {
  if (szDefaultName == nullptr) return 0;
  char key[kNameSize];
  CopyName(key, szDefaultName);
  for (int i = 0; i < wizard_lists::LookupCount(); ++i) {
    const ScanLookupEntry* entry = wizard_lists::LookupAt(i);
    if (std::memcmp(entry->szDefaultName, key, kNameSize) != 0) continue;
    if (pHardwareId != nullptr) std::memcpy(pHardwareId, entry->hardwareId, sizeof entry->hardwareId);
    if (pDeviceName != nullptr) std::memcpy(pDeviceName, entry->szDeviceName, kNameSize);
    return 1;
  }
  return 0;
}

int PSScanSapNames(int iKind, char* pNames, int* pnCount) {
  if (iKind != SAP_QUERY_FILE_SERVER && iKind != SAP_QUERY_NDS_TREE) return FAIL;
  return QuerySAP(iKind, pNames, nullptr, pnCount, SAP_NAME_CAPACITY);
}

int QueryUDP(DeviceRecord* pRecords, int* pnCount, int nCapacity) {
  return RunConsoleQuery(pRecords, pnCount, nCapacity, [](::DeviceRecord* r, int* n, int cap) {
    return ::QueryUDP(r, n, cap);
  });
}

int QueryUDP2(DeviceRecord* pRecords, int* pnCount, int nCapacity) {
  std::vector<std::array<char, 20>> locals(static_cast<std::size_t>(std::clamp(nCapacity, 0, MAX_BROWSE_ENTRIES)) + 1);
  auto* localArray = reinterpret_cast<char (*)[20]>(locals.data());
  const live_discovery::UdpQueryForm form{wizard_access::CurrentUdpSettings().port, kUdp2Request,
                                          static_cast<int>(sizeof kUdp2Request),
                                          wire::kUdpReplyHeaderSize};
  return RunConsoleQuery(
      pRecords, pnCount, nCapacity,
      [&](::DeviceRecord* r, int* n, int cap) { return QueryUDPWith(form, r, localArray, n, cap); },
      localArray);
}

int QueryNetBios(DeviceRecord* pRecords, int* pnCount, int nCapacity) {
  return RunConsoleQuery(pRecords, pnCount, nCapacity, [](::DeviceRecord* r, int* n, int cap) {
    return BrowseNetBIOSWith(kWizardSettingsFile, r, n, cap);
  });
}

int RegListDevices(DeviceRecord* pRecords, int* pnCount, int nCapacity) {
  if (pRecords == nullptr || pnCount == nullptr) return 0;
  RunConsoleQuery(pRecords, pnCount, nCapacity, [](::DeviceRecord* r, int* n, int cap) {
    VerifyTcpipRegistryList(r, n, cap);
    return 1;
  });
  return 1;
}

int RegFindDevice(DeviceRecord* pRecord) {
  if (pRecord == nullptr) return 0;
  ::DeviceRecord head = ToConsoleRecord(*pRecord);
  if (::RegFindDevice(&head) != 1) return 0;
  std::memcpy(pRecord->szName, head.szName, kNameSize);
  return 1;
}

int PSAddUDP(const char* szIPAddress, DeviceRecord* pRecord) {
  if (pRecord == nullptr || szIPAddress == nullptr || szIPAddress[0] == '\0' ||
      !device_lists::IsStorableText(szIPAddress, kMaxIpText, false)) {
    return 0;
  }
  DeviceRecord record{};
  record.iProtocol = TYPE_TCPIP;
  std::memcpy(record.address, szIPAddress, std::strlen(szIPAddress));
  if (RegFindDevice(&record) != 1) return 0;
  const std::string name(record.szName, strnlen(record.szName, kNameSize));
  if (!device_lists::IsStorableText(name.c_str(), kNameSize, true)) return 0;
  if (FindDeviceIndex(record.szName) >= 0) return 0;
  if (wizard_access::AppendDevice(record) != 0) return 0;
  RegWriteDeviceAddress(ToConsoleRecord(record), szIPAddress);
  *pRecord = record;
  return 1;
}

int PSIAddUDP(const char* szIPAddress) { return ::PSIAddUDP(szIPAddress); }

int PSLiveBrowse(char (*pNames)[20], int* pnCount, int nCapacity) {
  if (pNames == nullptr || pnCount == nullptr) return FAIL;
  LiveBrowse();
  *pnCount = CopyNames(pNames, nCapacity);
  return 0;
}

int PSLiveBrowseInternet(DeviceRecord* pRecords, int* pnCount, int nCapacity) {
  if (pRecords == nullptr || pnCount == nullptr) return FAIL;
  device_lists::UseInternetListKey();
  LiveBrowse();
  const int count = std::min(wizard_access::DeviceCount(), std::max(nCapacity, 0));
  for (int i = 0; i < count; ++i) pRecords[i] = *wizard_access::DeviceAt(i);
  *pnCount = count;
  return 0;
}

int PSQueryOrBrowse(char (*pNames)[20], int* pnCount, int nCapacity, DeviceRecord* pRecord) {
  if (pNames == nullptr || pnCount == nullptr) return FAIL;
  // The record takes the default name its box answers with.
  if (pRecord != nullptr && RegFindDevice(pRecord) == 1) {
    if (FindDeviceIndex(pRecord->szName) < 0) wizard_access::AppendDevice(*pRecord);
    SortDeviceRecords();
  } else {
    LiveBrowse();
  }
  *pnCount = CopyNames(pNames, nCapacity);
  return 0;
}

int SetDeviceIPByMac(const char* szDefaultName, const char* szFirst, const char* szSecond,
                     const char* szThird) {
  return SetIPByDatagram(szDefaultName, szFirst, szSecond, szThird);
}

int SetDeviceIPByMacPrefix(const char* szMacPrefix, const char* szDefaultName, const char* szFirst,
                           const char* szSecond, const char* szThird) {
  // The prefix text may be longer: its first six characters are the prefix.
  char prefix[7] = {};
  if (szMacPrefix != nullptr) std::memcpy(prefix, szMacPrefix, strnlen(szMacPrefix, 6));
  return SetIPByDatagramEx(prefix, szDefaultName, szFirst, szSecond, szThird);
}

}  // namespace wizard

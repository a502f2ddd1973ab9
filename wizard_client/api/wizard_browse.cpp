// The browse of the device-selection page and the boxes added by address.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "device_client/core/config/config_parser.h"
#include "device_client/core/wire_layout.h"
#include "wizard_client/api/wizard_utility.h"
#include "wizard_client/device_lists/wizard_lists.h"

namespace wizard {
namespace pid = wire::pid;

namespace {

using Name20 = char[20];

std::string Field(const char* bytes, std::size_t size = 20) {
  return std::string(bytes, strnlen(bytes, size));
}

bool KeptByFilter(const std::string& name, const std::string& filter) {
  return filter.empty() || filter == "*" || name.rfind(filter, 0) == 0;
}

// The address checks of the add-by-address operations: trimmed in place; not empty, at most 15
// characters, not "0.0.0.0".
bool TrimAddress(std::string& ip) {
  ip = std::string(config::TrimBlanks(ip));
  return !ip.empty() && ip.size() <= 15 && ip != "0.0.0.0";
}

}  // namespace

int CPrintServerUtility::PS_Browse(BrowseLists* browse, const std::string& filter) {
  if (browse == nullptr) return -2;
  return Guarded([&] {
    auto& lists = browse->lists;
    auto names = std::make_unique<Name20[]>(kBrowseCapacity);
    auto addresses = std::make_unique<Name20[]>(kBrowseCapacity);
    auto locals = std::make_unique<Name20[]>(kBrowseCapacity);
    int count = 0;
    LogAtLine(9652, "Calling PSBrowse() ...");
    const int rc = PSBrowse(names.get(), addresses.get(), locals.get(), &count, kBrowseCapacity);
    char line[96];
    if (rc != 0) {
      std::snprintf(line, sizeof line, "PSBrowse() returned. iReturnCode = %d", rc);
      WriteLog(line);
      return -1;
    }
    std::snprintf(line, sizeof line, "PSBrowse() returned. Number of print servers found = %d",
                  count);
    WriteLog(line);
    if (count == 0) {
      for (int i : {0, 1, 2, 3, 4, 5, 7}) lists[i].clear();
      return 0;
    }
    for (int i = 0; i < count && i < kBrowseCapacity; ++i) {
      const std::string name = Field(names[static_cast<std::size_t>(i)]);
      if (!KeptByFilter(name, filter)) continue;
      std::string ip = Field(addresses[static_cast<std::size_t>(i)]);
      if (ip == "0.0.0.0") {
        ip = "N/A";
        if (mGetDeviceIPAddress(name, ip) != 0) continue;  // a box that does not answer
      }
      // The device name and model from the discovery cache; a box the cache does not describe
      // shows its default name and the fallback model.
      DevicePIDData block;
      char deviceName[20] = {};
      std::string shownName = name;
      if (FindScanCacheInfo(block.data + pid::kHardwareId, deviceName, name.c_str()) == 1) {
        shownName = Field(deviceName);
      }
      std::string model;
      GetModelName(block, model);
      lists[0].push_back(name);
      lists[1].push_back(shownName);
      lists[2].push_back(model);
      lists[3].push_back(ip);
      lists[7].push_back(Field(locals[static_cast<std::size_t>(i)]));
    }
    return 0;
  });
}

namespace {

// Default names of a live browse: 128 names of 20 bytes.
using NameBlock = std::unique_ptr<Name20[]>;

}  // namespace

template <class Browse>
static int LiveBrowseInto(CPrintServerUtility& util, BrowseLists* browse, const std::string& filter,
                          int logNumber, Browse&& run) {
  if (browse == nullptr) return -2;
  try {
    NameBlock names = std::make_unique<Name20[]>(CPrintServerUtility::kBrowseCapacity);
    int count = 0;
    util.LogAtLine(logNumber, "Calling PSBrowse() ...");
    const int rc = run(names.get(), &count);
    if (rc != 0) {
      util.WriteLog("PSBrowse() returned. iReturnCode = " + std::to_string(rc));
      return -1;
    }
    auto& lists = browse->lists;
    if (count == 0) {
      for (int i = 0; i < 3; ++i) lists[i].clear();
      return 0;
    }
    for (int i = 0; i < count && i < CPrintServerUtility::kBrowseCapacity; ++i) {
      const std::string name = Field(names[static_cast<std::size_t>(i)]);
      if (!KeptByFilter(name, filter)) continue;
      DevicePIDData block;
      if (util.mGetDevicePID(name, &block) != 0) continue;  // a box that does not answer
      const auto* b = reinterpret_cast<const char*>(block.data);
      std::string deviceName = Field(b + pid::kDeviceName, pid::kNameSize);
      std::uint8_t extended[wire::kExtendedInfoSize] = {};
      if ((block.data[pid::kFunctionId + 1] & pid::kFuncExtendedName) != 0 &&
          util.mGetDeviceExtendedInformation(name, extended) == 0) {
        const auto* text = reinterpret_cast<const char*>(extended) + wire::kExtendedInfoNameOffset;
        deviceName = Field(text, wire::kExtendedInfoSize - wire::kExtendedInfoNameOffset);
      }
      lists[1].push_back(deviceName);
      lists[0].push_back(name);
      lists[2].push_back(Field(b + pid::kModelText, pid::kModelTextSize));
    }
    return 0;
  } catch (...) {
    return -3;
  }
}

int CPrintServerUtility::PS_BrowseLive(BrowseLists* lists, const std::string& filter) {
  return LiveBrowseInto(*this, lists, filter, 9538, [](Name20* names, int* count) {
    return PSLiveBrowse(names, count, kBrowseCapacity);
  });
}

int CPrintServerUtility::PS_BrowseRecord(BrowseLists* lists, const std::string& filter,
                                         DeviceRecord* record) {
  return LiveBrowseInto(*this, lists, filter, 9376, [record](Name20* names, int* count) {
    return PSQueryOrBrowse(names, count, kBrowseCapacity, record);
  });
}

int CPrintServerUtility::mBrowseAllConfiguration(BrowseConfigurationEntry* entries, int* count,
                                                 int capacity) {
  if (entries == nullptr || count == nullptr) return -2;
  return Guarded([&] {
    const int room = std::clamp(capacity, 0, static_cast<int>(kBrowseCapacity));
    std::vector<DeviceRecord> records(static_cast<std::size_t>(kBrowseCapacity));
    int found = 0;
    if (PSLiveBrowseInternet(records.data(), &found, room) != 0) return -1;
    found = std::clamp(found, 0, room);
    for (int i = 0; i < found; ++i) {
      BrowseConfigurationEntry& e = entries[i];
      e = BrowseConfigurationEntry{};
      e.record = records[static_cast<std::size_t>(i)];
      AllConfigurationData read;
      if (mReadDeviceConfiguration(&e.record, &read) == 0) {
        std::memcpy(e.pidHead, read.base.dsDevicePID.data, sizeof e.pidHead);
        std::memcpy(e.pidMiddle, read.base.dsDevicePID.data + 40, sizeof e.pidMiddle);
      }
    }
    *count = found;
    return 0;
  });
}

int CPrintServerUtility::mAddCrossSegmentPrintServer(std::string& ip, BrowseLists* browse) {
  if (!TrimAddress(ip) || browse == nullptr) return -2;
  return Guarded([&] {
    DeviceRecord record{};
    if (PSAddUDP(ip.c_str(), &record) != 1) return -1;
    auto& lists = browse->lists;
    lists[0].clear();
    lists[1].clear();
    lists[2].clear();
    const std::string name = Field(record.szName);
    AllConfigurationData unused;
    if (mReadDeviceConfiguration(name, &unused) != 0) return -1;
    const auto* block = reinterpret_cast<const char*>(m_Configuration.dsDevicePID.data);
    lists[0].push_back(name);
    lists[1].push_back(Field(block + pid::kDeviceName, pid::kNameSize));
    lists[2].push_back(Field(block + pid::kModelText, pid::kModelTextSize));
    return 0;
  });
}

int CPrintServerUtility::mRegisterCrossSegmentPrintServer(std::string& ip) {
  if (!TrimAddress(ip)) return -2;
  return PSIAddUDP(ip.c_str()) == 1 ? 0 : -1;
}

int CPrintServerUtility::mQueryProtocol(const std::string& name) {
  if (name.empty()) return -2;
  const int protocol = GetDeviceProtocol(name.c_str());
  return protocol < 0 ? -1 : protocol;
}

int CPrintServerUtility::mQueryRecordProtocol(const DeviceRecord* record) {
  if (record == nullptr) return -2;
  const int p = record->iProtocol;
  return (p == TYPE_IPXSPX || p == TYPE_TCPIP || p == TYPE_NETBEUI) ? p : -2;
}

}  // namespace wizard

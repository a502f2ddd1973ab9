// The device-list operations of the device-API object: the console's browse, adding a print
// server of another network segment by its IP address, and the protocol a known box is reached by.
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "device_client/access/access.h"
#include "device_client/api/print_server_utility.h"
#include "device_client/core/wire_layout.h"
#include "device_client/device_lists/device_lists.h"

namespace {

constexpr int kNameSize = 20;
constexpr int kLogCallingBrowse = 9764;
constexpr int kLogBrowseFailed = 9770;
constexpr int kLogBrowseFound = 9773;
constexpr int kMaxIpText = 15;

std::string FieldText(const char* field, std::size_t size) {
  return std::string(field, strnlen(field, size));
}

bool MatchesPattern(const std::string& name, const std::string& pattern) {
  return pattern.empty() || pattern == "*" || name.compare(0, pattern.size(), pattern) == 0;
}

void TrimBlanks(std::string& text) {
  const std::size_t first = text.find_first_not_of(' ');
  if (first == std::string::npos) {
    text.clear();
    return;
  }
  text.erase(text.find_last_not_of(' ') + 1);
  text.erase(0, first);
}

}  // namespace

int CPrintServerUtility::PS_Browse(BrowseAllPrintServerData& lists, const std::string& pattern) {
  return Guarded([&] {
    std::vector<char> names(static_cast<std::size_t>(MAX_DEVICE_RECORDS) * kNameSize, '\0');
    LogAtLine(kLogCallingBrowse, "Calling PSBrowse() ...");
    int count = 0;
    const int rc = PSBrowse(names.data(), &count);
    char line[96];
    if (rc != 0) {
      std::snprintf(line, sizeof line, "PSBrowse() returned. iReturnCode = %d", rc);
      LogAtLine(kLogBrowseFailed, line);
      return -1;
    }
    std::snprintf(line, sizeof line, "PSBrowse() returned. Number of print servers found = %d",
                  count);
    LogAtLine(kLogBrowseFound, line);
    if (count <= 0) {
      lists.szDefaultName.clear();
      lists.szDeviceName.clear();
      lists.szPortType.clear();
      return 0;
    }
    for (int i = 0; i < count && i < MAX_DEVICE_RECORDS; ++i) {
      const std::string name = FieldText(names.data() + static_cast<std::ptrdiff_t>(i) * kNameSize,
                                         kNameSize);
      if (!MatchesPattern(name, pattern)) continue;
      std::uint8_t info[32] = {};
      std::uint8_t function[2] = {};
      char text[kNameSize] = {};
      std::string displayName;
      std::string modelText;
      if (GetCacheDetails(info, function, text, name.c_str()) == 1) {
        modelText = BrowseModelName(ModelIndexFromCode(info[0], info[1], info[2]));
        displayName = FieldText(text, sizeof text);
        if ((function[1] & wire::pid::kFuncExtendedName) != 0) {
          unsigned char extended[kExtendedInfoSize] = {};
          // A box that does not answer keeps the name its cache record holds.
          if (mGetDeviceExtendedInformation(name, extended) == 0) {
            displayName = FieldText(reinterpret_cast<const char*>(extended) +
                                        wire::kExtendedInfoNameOffset,
                                    kExtendedInfoSize - wire::kExtendedInfoNameOffset);
          }
        }
      } else {
        // Nothing is known of the box but its name (an entry of the IPX registry list).
        displayName = name;
        modelText = ModelName(-1);
      }
      lists.szDeviceName.push_back(displayName);
      lists.szDefaultName.push_back(name);
      lists.szPortType.push_back(modelText);
    }
    return 0;
  });
}

int CPrintServerUtility::mAddCrossSegmentPrintServer(std::string& ipAddress,
                                                     BrowseAllPrintServerData* lists) {
  TrimBlanks(ipAddress);
  if (ipAddress.empty() || ipAddress.size() > static_cast<std::size_t>(kMaxIpText) ||
      ipAddress == "0.0.0.0") {
    return -2;
  }
  if (lists == nullptr) return -2;
  return Guarded([&] {
    DeviceRecord record{};
    if (PSAddUDP(ipAddress.c_str(), &record) != 1) return -1;
    lists->szDefaultName.clear();
    lists->szDeviceName.clear();
    lists->szPortType.clear();
    const std::string name = FieldText(record.szName, kNameSize);
    auto temporary = std::make_unique<config::DeviceConfigurationData>();
    if (mReadDeviceConfiguration(name, temporary.get()) != 0) return -1;
    const char* block = reinterpret_cast<const char*>(temporary->dsDevicePID.data);
    lists->szDefaultName.push_back(name);
    lists->szDeviceName.push_back(FieldText(block + wire::pid::kDeviceName, wire::pid::kNameSize));
    lists->szPortType.push_back(
        FieldText(block + wire::pid::kModelText, wire::pid::kModelTextSize));
    return 0;
  });
}

int CPrintServerUtility::mAddCrossSegmentPrintServer(
    std::string& ipAddress, BrowseAllPrintServerData* lists,
    const std::function<bool(const BrowseAllPrintServerData&)>& accept) {
  TrimBlanks(ipAddress);
  if (ipAddress.empty() || ipAddress.size() > static_cast<std::size_t>(kMaxIpText) ||
      ipAddress == "0.0.0.0") {
    return -2;
  }
  if (lists == nullptr) return -2;
  const int asked = Guarded([&] {
    DeviceRecord record{};
    if (PSAskUDP(ipAddress.c_str(), &record) != 1) return -1;
    std::vector<char> reply(static_cast<std::size_t>(kReplyBufferSize), '\0');
    int length = 0;
    if (SendRespByRecord(&record, "9007:\n", 6, reply.data(), &length, kReplyBufferSize) != 0) return -1;
    auto pid = std::make_unique<config::DevicePIDData>();
    if (DecodeDevicePID(reply.data(), length, pid.get()) != 0) return -1;
    const char* block = reinterpret_cast<const char*>(pid->data);
    lists->szDefaultName.assign(1, FieldText(record.szName, kNameSize));
    lists->szDeviceName.assign(1, FieldText(block + wire::pid::kDeviceName, wire::pid::kNameSize));
    lists->szPortType.assign(1, FieldText(block + wire::pid::kModelText, wire::pid::kModelTextSize));
    return 0;
  });
  if (asked != 0) return asked;
  if (accept && !accept(*lists)) return kAddRefusedByCaller;
  return mAddCrossSegmentPrintServer(ipAddress, lists);
}

int CPrintServerUtility::mQueryProtocol(const std::string& name) {
  if (name.empty()) return -2;
  return QueryDeviceProtocol(name.c_str());
}

#include "discovery_scanner/scanner/discovery_wire.h"

#include <cstdio>
#include <cstring>

#include "device_client/core/transport/text.h"
#include "device_client/core/wire_layout.h"

namespace lumeth {
namespace {

constexpr char kCommand[] = "9007:\n";
constexpr int kCommandSize = 6;

// The part of the device-information block that a record takes: up to the end of the name at
// block offset 76. A box sends the whole block; a datagram must carry at least this much.
constexpr std::size_t kUsedBlockSize = wire::pid::kDefaultName + wire::pid::kNameSize;

std::size_t BlockOffset(ReplyKind kind) {
  return wire::kStreamReplyHeaderSize + (kind == ReplyKind::kUdp2 ? kDeviceIdSize : 0);
}

}  // namespace

std::array<std::uint8_t, kRequestSize> BuildDiscoveryRequest() {
  std::array<std::uint8_t, kRequestSize> r{};
  r[0] = wire::kRequestMarker;
  r[1] = 0;
  r[2] = kCommandSize;
  r[3] = 0;
  std::memcpy(&r[4], kCommand, kCommandSize);
  return r;
}

std::array<std::uint8_t, kRequest2Size> BuildDiscoveryRequest2(const char* deviceId) {
  std::array<std::uint8_t, kRequest2Size> r{};
  r[0] = wire::kRequestMarker;
  r[1] = 0;
  r[2] = kCommandSize;
  r[3] = 0;
  // A short identifier is filled up with 'X'.
  bool ended = deviceId == nullptr;
  for (int i = 0; i < kDeviceIdSize; ++i) {
    char c = 'X';
    if (!ended && deviceId[i] == '\0') ended = true;
    if (!ended) c = deviceId[i];
    r[static_cast<std::size_t>(4 + i)] = static_cast<std::uint8_t>(c);
  }
  std::memcpy(&r[12], kCommand, kCommandSize);
  return r;
}

std::size_t MinimumReplySize(ReplyKind kind) { return BlockOffset(kind) + kUsedBlockSize; }

ReplyCheck ParseDiscoveryReply(const std::uint8_t* data, std::size_t size, ReplyKind kind,
                               scan_cache::ScanCacheRecord* out) {
  if (data == nullptr || size < MinimumReplySize(kind)) return ReplyCheck::kTooShort;
  const std::uint8_t* block = data + BlockOffset(kind);
  if (kind == ReplyKind::kUdp && block[wire::pid::kProtocolId] == 0 &&
      block[wire::pid::kProtocolId + 1] == 0) {
    return ReplyCheck::kNoProtocols;
  }
  if (!core::AcceptableBoxNames(reinterpret_cast<const char*>(block + wire::pid::kDefaultName),
                                reinterpret_cast<const char*>(block + wire::pid::kDeviceName))) {
    return ReplyCheck::kUnusableName;
  }
  if (out != nullptr) {
    std::memcpy(out->szDefaultName, block + wire::pid::kDefaultName, sizeof out->szDefaultName);
    std::memcpy(out->hardwareId, block + wire::pid::kHardwareId, sizeof out->hardwareId);
    std::memcpy(out->functionId, block + wire::pid::kFunctionId, sizeof out->functionId);
    std::memcpy(out->szDeviceName, block + wire::pid::kDeviceName, sizeof out->szDeviceName);
  }
  return ReplyCheck::kOk;
}

int TakeSapAnswer(const std::uint8_t* data, std::size_t size, const char (&localText)[20],
                  std::vector<scan_cache::ScanCacheRecord>* records) {
  constexpr std::size_t kEntrySize = 64;
  if (data == nullptr || size < 3) return 0;
  for (std::size_t at = 2; at + kEntrySize <= size; at += kEntrySize) {
    const std::uint8_t* entry = data + at;
    const std::uint16_t type = static_cast<std::uint16_t>((entry[0] << 8) | entry[1]);
    if (type != wire::kBoxSapServerType) continue;
    const std::uint8_t* network = entry + 50;
    const std::uint8_t* node = entry + 54;
    bool known = false;
    for (const auto& r : *records) known = known || std::memcmp(r.address + 4, node, 6) == 0;
    if (known) continue;
    if (records->size() >= static_cast<std::size_t>(scan_cache::kMaxRecords)) return -10;
    scan_cache::ScanCacheRecord record{};
    std::snprintf(record.szDefaultName, sizeof record.szDefaultName, "KL%02X%02X%02X", node[3], node[4], node[5]);
    record.iProtocol = 1;
    std::memcpy(record.address, network, 4);
    std::memcpy(record.address + 4, node, 6);
    std::memcpy(record.szLocalAddress, localText, sizeof record.szLocalAddress);
    records->push_back(record);
  }
  return 0;
}

void SetNetBiosAddress(scan_cache::ScanCacheRecord* record, std::uint8_t lana) {
  std::memset(record->address, 0, sizeof record->address);
  std::memcpy(record->address, record->szDeviceName, 15);
  record->address[15] = 0;
  record->address[19] = lana;
}

void SetDottedText(char (&field)[20], const std::uint8_t* a) {
  std::memset(field, 0, sizeof field);
  std::snprintf(field, sizeof field, "%u.%u.%u.%u", a[0], a[1], a[2], a[3]);
}

void SetDottedText(std::uint8_t (&field)[20], const std::uint8_t* a) {
  char text[20];
  SetDottedText(text, a);
  std::memcpy(field, text, sizeof field);
}

TakenNames::TakenNames(Compare compare) : compare_(compare) {
  names_.reserve(static_cast<std::size_t>(scan_cache::kMaxRecords));
}

bool TakenNames::Take(const char (&name)[20]) {
  const std::size_t length = compare_ == Compare::kText ? strnlen(name, sizeof name) : sizeof name;
  return names_.emplace(name, length).second;
}

int IsSameSubnet(const std::uint8_t* local, const std::uint8_t* mask, const std::uint8_t* other) {
  for (int i = 0; i < 4; ++i) {
    if ((local[i] & mask[i]) != (other[i] & mask[i])) return 0;
  }
  return 1;
}

}  // namespace lumeth

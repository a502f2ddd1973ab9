// Feeds arbitrary datagrams to the discovery reply checks of all three reply kinds.
#include <cstddef>
#include <cstdint>

#include "discovery_scanner/scanner/discovery_wire.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  for (lumeth::ReplyKind kind : {lumeth::ReplyKind::kUdp, lumeth::ReplyKind::kUdp2, lumeth::ReplyKind::kNetBios}) {
    scan_cache::ScanCacheRecord record{};
    if (lumeth::ParseDiscoveryReply(data, size, kind, &record) == lumeth::ReplyCheck::kOk) {
      lumeth::SetNetBiosAddress(&record, 0);
    }
  }
  return 0;
}

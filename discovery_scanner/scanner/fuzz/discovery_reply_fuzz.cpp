// Feeds arbitrary datagrams to the discovery reply checks of all three reply kinds and to the IPX
// service answer reader.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "discovery_scanner/scanner/discovery_wire.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  for (lumeth::ReplyKind kind : {lumeth::ReplyKind::kUdp, lumeth::ReplyKind::kUdp2, lumeth::ReplyKind::kNetBios}) {
    scan_cache::ScanCacheRecord record{};
    if (lumeth::ParseDiscoveryReply(data, size, kind, &record) == lumeth::ReplyCheck::kOk) {
      lumeth::SetNetBiosAddress(&record, 0);
    }
  }
  std::vector<scan_cache::ScanCacheRecord> records;
  const char local[20] = "127.0.0.1";
  lumeth::TakeSapAnswer(data, size, local, &records);
  lumeth::TakeSapAnswer(data, size, local, &records);  // the same nodes again are not taken twice
  return 0;
}

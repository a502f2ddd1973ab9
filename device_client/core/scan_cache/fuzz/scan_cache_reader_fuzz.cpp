// Feeds arbitrary bytes to the cache-file reader as a file image; the records it accepts must be
// whole, at most 384, and must build back into the same bytes.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "device_client/core/scan_cache/scan_cache.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // Copy into a buffer of exactly `size` bytes so that any over-read is caught.
  std::vector<std::uint8_t> image(data, data + size);
  std::vector<scan_cache::ScanCacheRecord> records(scan_cache::kMaxRecords);
  int count = scan_cache::ParseScanFile(image.data(), image.size(), records.data(),
                                        scan_cache::kMaxRecords);
  if (count < 0 || count > scan_cache::kMaxRecords) std::abort();
  if (count > 0 && 4 + static_cast<std::size_t>(count) * scan_cache::kRecordSize > size) std::abort();
  std::vector<std::uint8_t> rebuilt = scan_cache::BuildScanFile(records.data(), count);
  if (count > 0 &&
      std::memcmp(rebuilt.data() + 4, image.data() + 4, rebuilt.size() - 4) != 0) {
    std::abort();
  }
  return 0;
}

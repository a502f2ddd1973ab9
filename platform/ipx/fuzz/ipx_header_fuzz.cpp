// Feeds arbitrary bytes to the IPX header decoder and the delivery check, as a received UDP
// datagram would arrive.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "platform/ipx/ipx_wire.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  platform::ipx::Header h;
  std::size_t dataLength = 0;
  if (!platform::ipx::DecodeHeader(data, size, h, dataLength)) return 0;
  if (platform::ipx::kHeaderSize + dataLength > size) __builtin_trap();
  const std::uint8_t node[6] = {0x02, 0x00, 0x7F, 0x00, 0x00, 0x01};
  (void)platform::ipx::Accepts(h, 0x0452, node);
  (void)platform::ipx::Accepts(h, h.dstSocket, nullptr);
  // A header that decodes encodes back to the same 30 bytes.
  std::uint8_t again[platform::ipx::kHeaderSize];
  platform::ipx::EncodeHeader(h, again);
  if (std::memcmp(again, data, platform::ipx::kHeaderSize) != 0) __builtin_trap();
  return 0;
}

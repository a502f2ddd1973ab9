// Feeds arbitrary datagrams to the UDP reply assembler with a bounded reply buffer.
//   byte 0: bit 0 wildcard device id; bytes 1-2: reply capacity (uint16 LE)
//   rest: datagrams of [uint16 LE length][bytes]
#include <cstdint>
#include <cstring>
#include <vector>

#include "wizard_client/transport/udp_exchange.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 3 || size > 65536) return 0;
  std::uint8_t id[8];
  std::memcpy(id, (data[0] & 1) != 0 ? "XXXXXXXX" : "KV123456", 8);
  const int capacity = data[1] | (data[2] << 8);
  // The reply buffer is exactly the capacity, so a write past it is caught.
  std::vector<char> reply(static_cast<std::size_t>(capacity));
  wizard::UdpReplyAssembler assembler(reply.data(), capacity, id);
  std::size_t pos = 3;
  while (pos + 2 <= size) {
    std::size_t n = static_cast<std::size_t>(data[pos] | (data[pos + 1] << 8));
    pos += 2;
    if (n > size - pos) n = size - pos;
    const auto step = assembler.Take(data + pos, static_cast<int>(n));
    pos += n;
    if (assembler.received() > capacity || assembler.received() > assembler.total()) __builtin_trap();
    if (step == wizard::UdpReplyAssembler::Step::kComplete ||
        step == wizard::UdpReplyAssembler::Step::kFailed ||
        step == wizard::UdpReplyAssembler::Step::kTooLarge) {
      break;
    }
  }
  return 0;
}

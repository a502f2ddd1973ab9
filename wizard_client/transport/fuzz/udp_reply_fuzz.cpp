// Feeds arbitrary datagrams to the UDP reply assembler with a bounded reply buffer.
//   byte 0: bit 0 wildcard device id; bit 1 timed: the datagrams arrive through one attempt's
//           receive loop on a fake clock, each after its own delay
//   bytes 1-2: reply capacity (uint16 LE)
//   rest: datagrams of [uint16 LE delay in ms, timed only][uint16 LE length][bytes]
// Timed, the attempt must end within its bounds however the datagrams are spaced: no single wait
// longer than kUdpWaitMs, and the waits together no longer than UdpAttemptLimitMs().
#include <cstdint>
#include <cstring>
#include <vector>

#include "platform/clock.h"
#include "wizard_client/transport/udp_exchange.h"

namespace {

void CheckAssembler(const wizard::UdpReplyAssembler& assembler, int capacity) {
  if (assembler.received() > capacity || assembler.received() > assembler.total()) __builtin_trap();
}

void Untimed(const std::uint8_t* data, std::size_t size, wizard::UdpReplyAssembler& assembler,
             int capacity) {
  std::size_t pos = 3;
  while (pos + 2 <= size) {
    std::size_t n = static_cast<std::size_t>(data[pos] | (data[pos + 1] << 8));
    pos += 2;
    if (n > size - pos) n = size - pos;
    const auto step = assembler.Take(data + pos, static_cast<int>(n));
    pos += n;
    CheckAssembler(assembler, capacity);
    if (step == wizard::UdpReplyAssembler::Step::kComplete ||
        step == wizard::UdpReplyAssembler::Step::kFailed ||
        step == wizard::UdpReplyAssembler::Step::kTooLarge) {
      break;
    }
  }
}

void Timed(const std::uint8_t* data, std::size_t size, wizard::UdpReplyAssembler& assembler,
           int capacity) {
  platform::FakeClock clock;
  platform::ScopedClock scoped(&clock);
  std::size_t pos = 3;
  std::int64_t waited = 0;  // in the receive loop's waits, without its own pauses
  const wizard::UdpReceiver receive = [&](std::uint8_t* buffer, int room, std::int64_t waitMs) {
    if (waitMs <= 0 || waitMs > wizard::kUdpWaitMs) __builtin_trap();
    if (pos + 4 > size) {  // nothing more arrives
      clock.Advance(waitMs);
      waited += waitMs;
      return wizard::kUdpNothing;
    }
    const std::int64_t delay = data[pos] | (data[pos + 1] << 8);
    std::size_t n = static_cast<std::size_t>(data[pos + 2] | (data[pos + 3] << 8));
    if (delay >= waitMs) {  // it comes too late for this wait
      clock.Advance(waitMs);
      waited += waitMs;
      return wizard::kUdpNothing;
    }
    pos += 4;
    if (n > size - pos) n = size - pos;
    clock.Advance(delay);
    waited += delay;
    const std::size_t copied = n < static_cast<std::size_t>(room) ? n : static_cast<std::size_t>(room);
    if (copied > 0) std::memcpy(buffer, data + pos, copied);
    pos += n;
    return static_cast<int>(n);
  };
  const wizard::UdpAttemptEnd end = wizard::ReceiveUdpReply(receive, assembler);
  CheckAssembler(assembler, capacity);
  if (waited > wizard::UdpAttemptLimitMs()) __builtin_trap();
  if (end == wizard::UdpAttemptEnd::kComplete && assembler.received() != assembler.total()) {
    __builtin_trap();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 3 || size > 65536) return 0;
  std::uint8_t id[8];
  std::memcpy(id, (data[0] & 1) != 0 ? "XXXXXXXX" : "KV123456", 8);
  const int capacity = data[1] | (data[2] << 8);
  // The reply buffer is exactly the capacity, so a write past it is caught.
  std::vector<char> reply(static_cast<std::size_t>(capacity));
  wizard::UdpReplyAssembler assembler(reply.data(), capacity, id);
  if ((data[0] & 2) != 0) {
    Timed(data, size, assembler, capacity);
  } else {
    Untimed(data, size, assembler, capacity);
  }
  return 0;
}

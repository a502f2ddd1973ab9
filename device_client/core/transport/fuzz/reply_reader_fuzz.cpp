// Feeds arbitrary bytes as a box's reply to the stream exchange (over a socket pair) and to the
// session message reader, with a bounded reply buffer.
//   byte 0: bit 0 message reader instead of stream, bit 1 SPX header (stream only)
//   bytes 1-2: reply capacity (uint16 LE)
//   rest: the reply stream; for the message reader, messages of [uint16 LE length][bytes]
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "device_client/core/transport/transport.h"
#include "platform/clock.h"

namespace {
constexpr core::TransportParams kParams{20000, 10000, 0, 3, 3000, false, 4096, 8192};
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 3 || size > 65536) return 0;
  static platform::FakeClock clock(1765368000000LL, 0);
  platform::SetClock(&clock);
  const bool messages = (data[0] & 1) != 0;
  const bool spx = (data[0] & 2) != 0;
  const int capacity = data[1] | (data[2] << 8);
  const std::uint8_t* body = data + 3;
  const std::size_t bodySize = size - 3;
  // The reply buffer is exactly the capacity, so a write past it is caught.
  std::vector<char> reply(static_cast<std::size_t>(capacity));
  int length = -1;
  int rc;
  if (messages) {
    std::size_t pos = 0;
    rc = core::ReceiveMessageReply(
        [&](std::uint8_t* buffer, int room) {
          if (pos + 2 > bodySize) return -1;
          int n = body[pos] | (body[pos + 1] << 8);
          pos += 2;
          if (static_cast<std::size_t>(n) > bodySize - pos) n = static_cast<int>(bodySize - pos);
          if (n > room) return -1;  // the receive reports a message that does not fit
          std::memcpy(buffer, body + pos, static_cast<std::size_t>(n));
          pos += static_cast<std::size_t>(n);
          return n;
        },
        reply.data(), capacity, &length);
  } else {
    int fds[2];
    if (socketpair(AF_UNIX, SOCK_STREAM, 0, fds) != 0) return 0;
    int big = 1 << 20;
    setsockopt(fds[1], SOL_SOCKET, SO_SNDBUF, &big, sizeof big);
    std::size_t written = 0;
    while (written < bodySize) {
      ssize_t n = send(fds[1], body + written, bodySize - written, MSG_DONTWAIT | MSG_NOSIGNAL);
      if (n <= 0) break;
      written += static_cast<std::size_t>(n);
    }
    shutdown(fds[1], SHUT_WR);
    rc = core::StreamExchange(fds[0], spx ? core::ReplyHeader::kSpx : core::ReplyHeader::kStream,
                              kParams, "9007:\n", 6, reply.data(), capacity, &length);
    close(fds[0]);
    close(fds[1]);
  }
  if (rc == 0 && (length < 0 || length > capacity)) __builtin_trap();
  if (rc != 0 && rc != core::kErrNetwork && rc != core::kErrCommand) __builtin_trap();
  platform::SetClock(nullptr);
  return 0;
}

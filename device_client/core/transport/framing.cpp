#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstdint>
#include <cstring>

#include "device_client/core/transport/transport.h"
#include "platform/clock.h"

namespace core {

namespace {

// Appends `n` data bytes to the reply, refusing what would not fit.
bool AppendReply(char* reply, int capacity, int* total, const std::uint8_t* data, int n) {
  if (n <= 0) return true;
  if (reply == nullptr || n > capacity - *total) return false;
  std::memcpy(reply + *total, data, static_cast<std::size_t>(n));
  *total += n;
  return true;
}

struct ChunkHeader {
  bool more;
  bool error;
  int length;
};

ChunkHeader ParseHeader(const std::uint8_t* h, ReplyHeader kind) {
  ChunkHeader out{};
  if (kind == ReplyHeader::kSpx) {
    out.more = h[wire::kSpxReplyMoreOffset] != 0;
    out.error = h[wire::kSpxReplyErrorOffset] != 0;
    out.length = h[wire::kSpxReplyLengthOffset] | (h[wire::kSpxReplyLengthOffset + 1] << 8);
  } else {
    out.more = h[wire::kStreamReplyMoreOffset] != 0;
    out.error = h[wire::kStreamReplyErrorOffset] != 0;
    out.length = h[wire::kStreamReplyLengthOffset] | (h[wire::kStreamReplyLengthOffset + 1] << 8);
  }
  return out;
}

// Waits at most `ms` of the clock's time until `fd` can take more bytes (or has an error).
// 1 ready, 0 timed out, -1 the wait failed.
int WaitWritable(int fd, std::int64_t ms) {
  platform::Clock& clock = platform::GetClock();
  const std::int64_t real = clock.RealWaitMs(ms < 0 ? 0 : ms);
  for (;;) {
    pollfd p{fd, POLLOUT, 0};
    const int r = poll(&p, 1, static_cast<int>(real > 0x7fffffff ? 0x7fffffff : real));
    if (r > 0) return 1;
    if (r == 0) {
      clock.Elapsed(ms);
      return 0;
    }
    if (errno != EINTR) return -1;
  }
}

// The end of an exchange on the clock's steady time; kNoDeadline: none.
constexpr std::int64_t kNoDeadline = INT64_MAX;

std::int64_t DeadlineAfter(std::int64_t limitMs) {
  return limitMs < 0 ? kNoDeadline : platform::GetClock().SteadyMs() + limitMs;
}

// The wait of one step: `waitMs`, cut to what is left before `deadline`. 0 when it has passed.
std::int64_t StepWait(std::int64_t waitMs, std::int64_t deadline) {
  if (deadline == kNoDeadline) return waitMs;
  const std::int64_t left = deadline - platform::GetClock().SteadyMs();
  if (left <= 0) return 0;
  return waitMs < left ? waitMs : left;
}

// Sends all of `size` bytes; on a non-blocking socket whose buffer is full, waits at most
// `waitMs` for room before each further send, and not beyond `deadline`. Bytes sent, or -1.
int SendWhole(int fd, const std::uint8_t* data, int size, std::int64_t waitMs,
              std::int64_t deadline = kNoDeadline) {
  int sent = 0;
  while (sent < size) {
    const ssize_t n = send(fd, data + sent, static_cast<std::size_t>(size - sent), MSG_NOSIGNAL);
    if (n > 0) {
      sent += static_cast<int>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      const std::int64_t wait = StepWait(waitMs, deadline);
      if (wait > 0 && WaitWritable(fd, wait) == 1) continue;
    }
    return -1;
  }
  return sent;
}

// The bytes of one reply on their way from the socket: received in as few system calls as the
// peer's segments allow, then handed out header by header and data piece by piece. A receive
// that finds nothing waits (platform::WaitReadable) at most the library's socket wait; every
// wait counts from the previous step, but none goes beyond the end of the whole exchange, and no
// receive starts after it: a box that trickles its reply gets the exchange's whole time, one that
// never finishes it is cut off. Bytes the peer sends after the reply's last chunk may be taken in
// too; they are dropped (each exchange has a connection of its own).
class ReplyStream {
 public:
  ReplyStream(int fd, const TransportParams& params, std::int64_t deadline)
      : fd_(fd), waitMs_(params.socketWaitMs), deadline_(deadline) {}

  int Buffered() const { return end_ - begin_; }
  const std::uint8_t* Data() const { return buffer_ + begin_; }
  void Consume(int n) { begin_ += n; }

  // Receives at least one more byte behind those buffered. False when a wait ran out, the
  // exchange's time is over, the receive failed or the peer closed the stream.
  bool Fill() {
    if (deadline_ != kNoDeadline && platform::GetClock().SteadyMs() >= deadline_) return false;
    if (begin_ == end_) {
      begin_ = end_ = 0;
    } else if (end_ == kSize) {
      std::memmove(buffer_, buffer_ + begin_, static_cast<std::size_t>(end_ - begin_));
      end_ -= begin_;
      begin_ = 0;
    }
    // The first reply bytes are a round trip away when the reading starts: that receive would
    // find nothing, so the reading starts with the wait.
    bool wait = !begun_;
    begun_ = true;
    for (;;) {
      if (wait) {
        const std::int64_t ms = StepWait(waitMs_, deadline_);
        if (ms <= 0 || platform::WaitReadable(fd_, ms) != 1) return false;
      }
      wait = true;
      const ssize_t got =
          recv(fd_, buffer_ + end_, static_cast<std::size_t>(kSize - end_), MSG_DONTWAIT);
      if (got > 0) {
        end_ += static_cast<int>(got);
        return true;
      }
      if (got == 0) return false;
      if (errno == EINTR) continue;
      if (errno != EAGAIN && errno != EWOULDBLOCK) return false;
    }
  }

 private:
  // Room for a whole 1024-byte chunk train of a configuration text in one receive.
  static constexpr int kSize = 8192;
  int fd_;
  std::int64_t waitMs_;
  std::int64_t deadline_;
  bool begun_ = false;
  int begin_ = 0;
  int end_ = 0;
  std::uint8_t buffer_[kSize];
};

}  // namespace

int BuildRequestChunk(const char* request, int length, int offset,
                      std::uint8_t (&out)[kMaxRequestChunkBytes]) {
  int n = length - offset;
  if (n > wire::kMaxRequestChunk) n = wire::kMaxRequestChunk;
  if (n < 0) n = 0;
  out[0] = wire::kRequestMarker;
  out[1] = (offset + n < length) ? 1 : 0;
  out[2] = static_cast<std::uint8_t>(n & 0xFF);
  out[3] = static_cast<std::uint8_t>((n >> 8) & 0xFF);
  if (n > 0) std::memcpy(out + wire::kRequestHeaderSize, request + offset, static_cast<std::size_t>(n));
  return wire::kRequestHeaderSize + n;
}

int SendRequestChunks(const char* request, int length, const ChunkSender& send) {
  if (length < 0 || (length > 0 && request == nullptr)) return kErrNetwork;
  std::uint8_t chunk[kMaxRequestChunkBytes];
  for (int offset = 0; offset < length;) {
    int size = BuildRequestChunk(request, length, offset, chunk);
    int sent = send(chunk, size);
    if (sent != size) return kErrNetwork;
    offset += size - wire::kRequestHeaderSize;
  }
  return kOk;
}

int SendRequestOnSocket(int fd, const char* request, int length, int sendWaitMs) {
  return SendRequestChunks(request, length, [fd, sendWaitMs](const std::uint8_t* data, int size) {
    return SendWhole(fd, data, size, sendWaitMs);
  });
}

std::int64_t ExchangeLimitMs(int waitMs) {
  return static_cast<std::int64_t>(waitMs < 0 ? 0 : waitMs) * kExchangeWaits;
}

namespace {

int ReceiveStreamReplyBy(int fd, ReplyHeader header, const TransportParams& params, char* reply,
                         int capacity, int* replyLength, std::int64_t deadline) {
  const int headerSize =
      header == ReplyHeader::kSpx ? wire::kSpxReplyHeaderSize : wire::kStreamReplyHeaderSize;
  if (capacity < 0) capacity = 0;
  int total = 0;
  ReplyStream in(fd, params, deadline);
  for (;;) {
    while (in.Buffered() < headerSize) {
      if (!in.Fill()) return kErrNetwork;
    }
    ChunkHeader h = ParseHeader(in.Data(), header);
    in.Consume(headerSize);
    if (h.error) return kErrCommand;
    if (h.length > wire::kReceiveBufferSize || h.length > capacity - total) return kErrNetwork;
    int remaining = h.length;
    while (remaining > 0) {
      if (in.Buffered() == 0 && !in.Fill()) return kErrNetwork;
      const int n = in.Buffered() < remaining ? in.Buffered() : remaining;
      if (!AppendReply(reply, capacity, &total, in.Data(), n)) return kErrNetwork;
      in.Consume(n);
      remaining -= n;
    }
    if (!h.more) break;
  }
  if (replyLength != nullptr) *replyLength = total;
  return kOk;
}

}  // namespace

int ReceiveStreamReply(int fd, ReplyHeader header, const TransportParams& params, char* reply,
                       int capacity, int* replyLength) {
  return ReceiveStreamReplyBy(fd, header, params, reply, capacity, replyLength,
                              DeadlineAfter(ExchangeLimitMs(params.socketWaitMs)));
}

void SetExchangeBuffers(int fd, const TransportParams& params) {
  int sendSize = params.sendBufferSize;
  int receiveSize = params.receiveBufferSize;
  if (sendSize > 0) setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &sendSize, sizeof sendSize);
  if (receiveSize > 0) setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &receiveSize, sizeof receiveSize);
}

int StreamExchange(int fd, ReplyHeader header, const TransportParams& params, const char* request,
                   int requestLength, char* reply, int capacity, int* replyLength) {
  const std::int64_t deadline = DeadlineAfter(ExchangeLimitMs(params.socketWaitMs));
  const int rc = SendRequestChunks(
      request, requestLength, [fd, &params, deadline](const std::uint8_t* data, int size) {
        return SendWhole(fd, data, size, params.socketWaitMs, deadline);
      });
  if (rc != kOk) return rc;
  return ReceiveStreamReplyBy(fd, header, params, reply, capacity, replyLength, deadline);
}

int ReceiveMessageReply(const MessageReceiver& receive, char* reply, int capacity,
                        int* replyLength, std::int64_t limitMs) {
  if (capacity < 0) capacity = 0;
  int total = 0;
  const std::int64_t deadline = DeadlineAfter(limitMs);
  // Each message is one receive with its own wait: none starts once the exchange's time is over.
  auto next = [&](std::uint8_t* buffer) {
    if (deadline != kNoDeadline && platform::GetClock().SteadyMs() >= deadline) return -1;
    return receive(buffer, wire::kReceiveBufferSize);
  };
  std::uint8_t buffer[wire::kReceiveBufferSize];
  for (;;) {
    int got = next(buffer);
    if (got < 0 || got > wire::kReceiveBufferSize) return kErrNetwork;
    if (got < wire::kStreamReplyHeaderSize) return kErrNetwork;
    ChunkHeader h = ParseHeader(buffer, ReplyHeader::kStream);
    if (h.error) return kErrCommand;
    if (h.length > capacity - total) return kErrNetwork;
    int remaining = h.length;
    int inFirst = got - wire::kStreamReplyHeaderSize;
    if (inFirst > remaining) return kErrNetwork;
    if (!AppendReply(reply, capacity, &total, buffer + wire::kStreamReplyHeaderSize, inFirst)) {
      return kErrNetwork;
    }
    remaining -= inFirst;
    while (remaining > 0) {
      got = next(buffer);
      // An empty message in the middle of a chunk brings nothing: the framing is broken.
      if (got <= 0 || got > wire::kReceiveBufferSize || got > remaining) return kErrNetwork;
      if (!AppendReply(reply, capacity, &total, buffer, got)) return kErrNetwork;
      remaining -= got;
    }
    if (!h.more) break;
  }
  if (replyLength != nullptr) *replyLength = total;
  return kOk;
}

std::uint8_t NetbiosTimeoutUnits(int timeOut, const TransportParams& params) {
  long long base = params.timeoutLowByteOnly ? (timeOut & 0xFF) : timeOut;
  long long units = base * 2;
  if (units < 0) units = 0;
  if (units > 255) units = 255;
  return static_cast<std::uint8_t>(units);
}

bool CallWithRetries(const std::function<bool()>& attempt, const TransportParams& params) {
  for (int i = 0; i < params.callAttempts; ++i) {
    if (attempt()) return true;
    platform::GetClock().SleepMs(params.pauseAfterFailedCallMs);
  }
  return false;
}

}  // namespace core

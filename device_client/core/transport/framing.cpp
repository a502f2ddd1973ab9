#include <sys/socket.h>

#include <cerrno>
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

// Waits for the socket, then receives at most `n` bytes. Bytes received, or -1 when the wait ran
// out, the receive failed or the peer closed the stream.
int WaitAndReceive(int fd, std::uint8_t* buffer, int n, const TransportParams& params) {
  if (platform::WaitReadable(fd, params.socketWaitMs) != 1) return -1;
  for (;;) {
    ssize_t got = recv(fd, buffer, static_cast<std::size_t>(n), 0);
    if (got > 0) return static_cast<int>(got);
    if (got < 0 && errno == EINTR) continue;
    return -1;
  }
}

// Receives exactly `n` bytes, each piece after its own wait.
bool ReceiveExactly(int fd, std::uint8_t* buffer, int n, const TransportParams& params) {
  int have = 0;
  while (have < n) {
    int got = WaitAndReceive(fd, buffer + have, n - have, params);
    if (got < 0) return false;
    have += got;
  }
  return true;
}

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

int SendRequestOnSocket(int fd, const char* request, int length) {
  return SendRequestChunks(request, length, [fd](const std::uint8_t* data, int size) {
    for (;;) {
      ssize_t sent = send(fd, data, static_cast<std::size_t>(size), MSG_NOSIGNAL);
      if (sent < 0 && errno == EINTR) continue;
      return static_cast<int>(sent);
    }
  });
}

int ReceiveStreamReply(int fd, ReplyHeader header, const TransportParams& params, char* reply,
                       int capacity, int* replyLength) {
  const int headerSize =
      header == ReplyHeader::kSpx ? wire::kSpxReplyHeaderSize : wire::kStreamReplyHeaderSize;
  if (capacity < 0) capacity = 0;
  int total = 0;
  std::uint8_t buffer[wire::kReceiveBufferSize];
  for (;;) {
    std::uint8_t raw[wire::kStreamReplyHeaderSize];
    if (!ReceiveExactly(fd, raw, headerSize, params)) return kErrNetwork;
    ChunkHeader h = ParseHeader(raw, header);
    if (h.error) return kErrCommand;
    if (h.length > wire::kReceiveBufferSize || h.length > capacity - total) return kErrNetwork;
    int remaining = h.length;
    while (remaining > 0) {
      int got = WaitAndReceive(fd, buffer, remaining, params);
      if (got < 0) return kErrNetwork;
      if (!AppendReply(reply, capacity, &total, buffer, got)) return kErrNetwork;
      remaining -= got;
    }
    if (!h.more) break;
  }
  if (replyLength != nullptr) *replyLength = total;
  return kOk;
}

int StreamExchange(int fd, ReplyHeader header, const TransportParams& params, const char* request,
                   int requestLength, char* reply, int capacity, int* replyLength) {
  int sendSize = params.sendBufferSize;
  int receiveSize = params.receiveBufferSize;
  if (sendSize > 0) setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &sendSize, sizeof sendSize);
  if (receiveSize > 0) setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &receiveSize, sizeof receiveSize);
  int rc = SendRequestOnSocket(fd, request, requestLength);
  if (rc != kOk) return rc;
  return ReceiveStreamReply(fd, header, params, reply, capacity, replyLength);
}

int ReceiveMessageReply(const MessageReceiver& receive, char* reply, int capacity,
                        int* replyLength) {
  if (capacity < 0) capacity = 0;
  int total = 0;
  std::uint8_t buffer[wire::kReceiveBufferSize];
  for (;;) {
    int got = receive(buffer, wire::kReceiveBufferSize);
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
      got = receive(buffer, wire::kReceiveBufferSize);
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

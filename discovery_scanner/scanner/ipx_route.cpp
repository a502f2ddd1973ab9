// The IPX route: a service query for print servers on the IPX service-advertising socket, each
// answer then confirmed by asking the box for its device-information block over SPX.
#include <memory>

#include "discovery_scanner/scanner/scan_routes.h"

#ifdef PSA_HAVE_IPX
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "device_client/core/transport/text.h"
#include "device_client/core/wire_layout.h"
#include "discovery_scanner/scanner/discovery_wire.h"
#include "discovery_scanner/scanner/protocols.h"
#include "platform/clock.h"
#include "platform/ipx/ipx.h"
#endif

namespace lumeth {

#ifdef PSA_HAVE_IPX
namespace {

constexpr int kSapReceiveBuffer = 1024;
constexpr int kSocketBuffer = 10240;
constexpr int kSpxReceiveWaitMs = 20000;
// The largest confirmation reply taken: the stream transports' receive buffer. A box that sends
// more is not confirmed.
constexpr std::size_t kMaxConfirmation = wire::kReceiveBufferSize;
constexpr int kNetworkError = -5;
constexpr int kDeviceError = -6;

bool ReceiveExactly(const ScanContext& context, int fd, std::uint8_t* out, std::size_t size) {
  std::size_t have = 0;
  while (have < size) {
    if (context.stop->WaitReadable(fd, kSpxReceiveWaitMs) != 1) return false;
    ssize_t n = ::recv(fd, out + have, size - have, MSG_DONTWAIT);
    if (n == 0) return false;
    if (n < 0) {
      if (errno == EAGAIN || errno == EINTR) continue;
      return false;
    }
    have += static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace

// The IPX service query for print servers: 0 with the records found, -1 when the socket failed
// (status -1 too), -10 when the list filled up (count 384).
int SapQuery(const ScanContext& context, int* status, std::vector<scan_cache::ScanCacheRecord>* records) {
  *status = 0;
  int fd = IpxSocket(SOCK_DGRAM, 4);
  if (fd < 0) return -1;
  const std::uint8_t zero[6] = {};
  const std::uint8_t broadcast[6] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
  const std::uint8_t anyNet[4] = {};
  SOCKADDR_IPX local = IpxMakeAddress(anyNet, zero, 0);
  int size = kSocketBuffer;
  if (IpxSetBroadcast(fd, true) != 0 || IpxBind(fd, &local) != 0 ||
      ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &size, sizeof size) != 0) {
    IpxClose(fd);
    return -1;
  }
  const std::uint8_t query[4] = {0x00, 0x01, static_cast<std::uint8_t>(wire::kBoxSapServerType >> 8),
                                 static_cast<std::uint8_t>(wire::kBoxSapServerType & 0xFF)};
  SOCKADDR_IPX to = IpxMakeAddress(anyNet, broadcast, wire::kSapSocket);
  if (IpxSendTo(fd, query, sizeof query, &to) != static_cast<int>(sizeof query)) {
    IpxClose(fd);
    return -1;
  }
  std::uint8_t buffer[kSapReceiveBuffer];
  const std::int64_t window = context.options->windowMs + 1;
  const std::int64_t end = platform::GetClock().SteadyMs() + window * kMaxWindowsPerSend;
  for (;;) {
    // One second and half a millisecond of silence ends the query (and a sender that never falls
    // silent, after kMaxWindowsPerSend windows).
    const std::int64_t left = end - platform::GetClock().SteadyMs();
    if (left <= 0) break;
    if (IpxWaitReadable(fd, left < window ? left : window) != 1 || context.stop->Stopped()) break;
    SOCKADDR_IPX from{};
    int n = IpxRecvFrom(fd, buffer, sizeof buffer, &from, MSG_DONTWAIT);
    if (n < 0) {
      if (errno == EAGAIN || errno == EINTR) continue;
      IpxClose(fd);
      *status = -1;
      return -1;
    }
    char localText[20];
    context.localText->CopyTo(localText);
    if (TakeSapAnswer(buffer, static_cast<std::size_t>(n), localText, records) == -10) {
      IpxClose(fd);
      return -10;
    }
  }
  IpxClose(fd);
  return 0;
}

// One request/response exchange with a box over SPX: 0 with the reply, -5 network failure, -6 the
// box reported an error.
int SpxSendResp(const ScanContext& context, const scan_cache::ScanCacheRecord& record, const std::uint8_t* request,
                int length, std::vector<std::uint8_t>* reply) {
  int fd = IpxSocket(SOCK_STREAM);
  if (fd < 0) return kNetworkError;
  const std::uint8_t zero[6] = {};
  const std::uint8_t anyNet[4] = {};
  SOCKADDR_IPX local = IpxMakeAddress(anyNet, zero, 0);
  std::uint8_t network[4], node[6];
  std::memcpy(network, record.address, 4);
  std::memcpy(node, record.address + 4, 6);
  SOCKADDR_IPX remote = IpxMakeAddress(network, node, wire::kSpxSocket);
  int sendSize = 4096, receiveSize = 8192;
  if (IpxBind(fd, &local) != 0 || IpxConnect(fd, &remote, kSpxReceiveWaitMs) != 0) {
    IpxClose(fd);
    return kNetworkError;
  }
  ::setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &sendSize, sizeof sendSize);
  ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &receiveSize, sizeof receiveSize);
  int result = 0;
  for (int sent = 0; sent < length && result == 0;) {
    const int chunk = length - sent > wire::kMaxRequestChunk ? wire::kMaxRequestChunk : length - sent;
    std::uint8_t frame[wire::kRequestHeaderSize + wire::kMaxRequestChunk];
    frame[0] = wire::kRequestMarker;
    frame[1] = sent + chunk < length ? 1 : 0;
    frame[2] = static_cast<std::uint8_t>(chunk);
    frame[3] = static_cast<std::uint8_t>(chunk >> 8);
    std::memcpy(frame + 4, request + sent, static_cast<std::size_t>(chunk));
    const auto frameSize = static_cast<std::size_t>(wire::kRequestHeaderSize + chunk);
    if (::send(fd, frame, frameSize, MSG_NOSIGNAL) != static_cast<ssize_t>(frameSize)) result = kNetworkError;
    sent += chunk;
  }
  reply->clear();
  bool more = true;
  while (result == 0 && more) {
    std::uint8_t header[wire::kSpxReplyHeaderSize];
    if (!ReceiveExactly(context, fd, header, sizeof header)) {
      result = kNetworkError;
      break;
    }
    more = header[wire::kSpxReplyMoreOffset] != 0;
    const std::size_t size = header[wire::kSpxReplyLengthOffset] |
                             (static_cast<std::size_t>(header[wire::kSpxReplyLengthOffset + 1]) << 8);
    if (reply->size() + size > kMaxConfirmation) {
      result = kNetworkError;
      break;
    }
    const std::size_t at = reply->size();
    reply->resize(at + size);
    if (size > 0 && !ReceiveExactly(context, fd, reply->data() + at, size)) {
      result = kNetworkError;
      break;
    }
    if (header[wire::kSpxReplyErrorOffset] != 0) result = kDeviceError;
  }
  IpxClose(fd);
  return result;
}

// Confirms one IPX record over SPX and completes it from the block: 1 confirmed, 0 not.
int GetIpxDeviceInfo(const ScanContext& context, scan_cache::ScanCacheRecord* record) {
  static const std::uint8_t kCommand[] = {'9', '0', '0', '7', ':', '\n'};
  std::vector<std::uint8_t> reply;
  if (SpxSendResp(context, *record, kCommand, sizeof kCommand, &reply) != 0) return 0;
  if (reply.size() < static_cast<std::size_t>(wire::pid::kDefaultName + wire::pid::kNameSize)) return 0;
  if (!core::AcceptableBoxNames(reinterpret_cast<const char*>(reply.data() + wire::pid::kDefaultName),
                                reinterpret_cast<const char*>(reply.data() + wire::pid::kDeviceName))) {
    return 0;
  }
  std::memcpy(record->szDefaultName, reply.data() + wire::pid::kDefaultName, sizeof record->szDefaultName);
  std::memcpy(record->hardwareId, reply.data() + wire::pid::kHardwareId, sizeof record->hardwareId);
  std::memcpy(record->functionId, reply.data() + wire::pid::kFunctionId, sizeof record->functionId);
  std::memcpy(record->szDeviceName, reply.data() + wire::pid::kDeviceName, sizeof record->szDeviceName);
  return 1;
}

namespace {

class IpxRoute : public ScanRoute {
 public:
  const char* Name() const override { return "ipx"; }
  const char* FileName() const override { return scan_cache::kIpxFile; }
  bool Scan(const ScanContext& context, std::vector<scan_cache::ScanCacheRecord>* records) override {
    std::vector<scan_cache::ScanCacheRecord> found;
    if ((StartedProtocols() & kProtocolIpx) != 0) {
      int status = 0;
      if (SapQuery(context, &status, &found) == -1) return false;
    }
    for (auto& record : found) {
      if (context.stop->Stopped()) break;
      if (GetIpxDeviceInfo(context, &record) == 1) records->push_back(record);
    }
    return true;
  }
};

}  // namespace

bool IpxRouteAvailable() { return true; }
std::unique_ptr<ScanRoute> MakeIpxRoute() { return std::make_unique<IpxRoute>(); }

#else

namespace {

// Without the IPX stand-in in this build the route cannot run: its protocol reports failure at
// start-up, which keeps the route off.
class NoIpxRoute : public ScanRoute {
 public:
  const char* Name() const override { return "ipx"; }
  const char* FileName() const override { return scan_cache::kIpxFile; }
  bool Scan(const ScanContext&, std::vector<scan_cache::ScanCacheRecord>*) override { return false; }
};

}  // namespace

bool IpxRouteAvailable() { return false; }
std::unique_ptr<ScanRoute> MakeIpxRoute() { return std::make_unique<NoIpxRoute>(); }

#endif

}  // namespace lumeth

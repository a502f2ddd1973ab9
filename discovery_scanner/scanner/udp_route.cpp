// The two UDP routes: a broadcast of the discovery request from every local IPv4 address, three
// times, each followed by a window of silence that ends the wait for replies.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <chrono>
#include <cstring>

#include "discovery_scanner/scanner/discovery_wire.h"
#include "discovery_scanner/scanner/protocols.h"
#include "discovery_scanner/scanner/scan_routes.h"

namespace lumeth {
namespace {

constexpr int kSends = 3;
constexpr int kReceiveBufferSize = 3072;
// Room in the socket for a whole area of replies arriving at once (384 boxes answering the same
// broadcast), so that a burst is not cut down to the first few dozen.
constexpr int kSocketBufferSize = 256 * 1024;

class UdpRoute : public ScanRoute {
 public:
  explicit UdpRoute(ReplyKind kind) : kind_(kind) {}
  const char* Name() const override { return kind_ == ReplyKind::kUdp ? "udp" : "udp2"; }
  const char* FileName() const override {
    return kind_ == ReplyKind::kUdp ? scan_cache::kUdpFile : scan_cache::kUdp2File;
  }

  bool Scan(const ScanContext& context, std::vector<scan_cache::ScanCacheRecord>* records) override {
    return kind_ == ReplyKind::kUdp ? ScanUdp(-1, context, records) : ScanUdp2(context, records);
  }

  bool ScanFrom(int startSelector, const ScanContext& context, std::vector<scan_cache::ScanCacheRecord>* records) {
    TakenNames taken(TakenNames::Compare::kText);
    const auto addresses = LocalAddresses();
    for (std::size_t i = 0; i < addresses.size(); ++i) {
      if (startSelector >= 0 && i != static_cast<std::size_t>(startSelector)) continue;
      const auto& address = addresses[i];
      // A full area takes nothing more: the scan ends.
      if (context.stop->Stopped() || Full(*records)) break;
      // A failure on one address (socket, bind, send or receive) skips that address only; what
      // the other addresses found is kept.
      ScanFromAddress(context, address, &taken, records);
    }
    return true;
  }

 private:
  static bool Full(const std::vector<scan_cache::ScanCacheRecord>& records) {
    return records.size() >= static_cast<std::size_t>(scan_cache::kMaxRecords);
  }

  bool ScanFromAddress(const ScanContext& context, const std::array<std::uint8_t, 4>& local, TakenNames* taken,
                       std::vector<scan_cache::ScanCacheRecord>* records) {
    int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    bool ok = Exchange(fd, context, local, taken, records);
    ::close(fd);
    return ok;
  }

  bool Exchange(int fd, const ScanContext& context, const std::array<std::uint8_t, 4>& local, TakenNames* taken,
                std::vector<scan_cache::ScanCacheRecord>* records) {
    int on = 1;
    if (::setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &on, sizeof on) != 0) return false;
    char localText[20];
    SetDottedText(localText, local.data());
    context.localText->Set(localText);
    const std::array<std::uint8_t, 4> mask = SubnetMaskFor(local);
    sockaddr_in self{};
    self.sin_family = AF_INET;
    std::memcpy(&self.sin_addr, local.data(), 4);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&self), sizeof self) != 0) return false;
    int size = kSocketBufferSize;
    if (::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &size, sizeof size) != 0) return false;

    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = htonl(INADDR_BROADCAST);
    to.sin_port = htons(kind_ == ReplyKind::kUdp ? context.options->udpPort : context.options->udp2Port);
    const auto request = BuildDiscoveryRequest();
    const auto request2 = BuildDiscoveryRequest2();
    const void* data = kind_ == ReplyKind::kUdp ? static_cast<const void*>(request.data())
                                                : static_cast<const void*>(request2.data());
    const std::size_t length = kind_ == ReplyKind::kUdp ? request.size() : request2.size();

    std::uint8_t buffer[kReceiveBufferSize];
    for (int send = 0; send < kSends; ++send) {
      if (::sendto(fd, data, length, 0, reinterpret_cast<sockaddr*>(&to), sizeof to) !=
          static_cast<ssize_t>(length)) {
        return false;
      }
      // The wait ends with a window of silence, or at the latest after kMaxWindowsPerSend windows:
      // a host that never stops sending cannot hold the route (and its cache file) for ever.
      const auto end = std::chrono::steady_clock::now() +
                       std::chrono::milliseconds(static_cast<std::int64_t>(context.options->windowMs) *
                                                 kMaxWindowsPerSend);
      for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now()).count();
        if (left <= 0) break;
        int ready = context.stop->WaitReadable(fd, left < context.options->windowMs
                                                       ? static_cast<int>(left)
                                                       : context.options->windowMs);
        if (ready == -2) return true;
        if (ready == 0) break;
        if (ready < 0) return false;
        sockaddr_in from{};
        socklen_t fromLength = sizeof from;
        ssize_t n = ::recvfrom(fd, buffer, sizeof buffer, MSG_DONTWAIT, reinterpret_cast<sockaddr*>(&from),
                               &fromLength);
        if (n < 0) {
          if (errno == EAGAIN || errno == EINTR || errno == ECONNREFUSED) continue;
          return false;
        }
        TakeReply(buffer, static_cast<std::size_t>(n), from, local, mask, localText, taken, records);
        if (Full(*records)) return true;
      }
    }
    return true;
  }

  void TakeReply(const std::uint8_t* data, std::size_t size, const sockaddr_in& from,
                 const std::array<std::uint8_t, 4>& local, const std::array<std::uint8_t, 4>& mask,
                 const char (&localText)[20], TakenNames* taken,
                 std::vector<scan_cache::ScanCacheRecord>* records) {
    if (Full(*records)) return;
    scan_cache::ScanCacheRecord record{};
    if (ParseDiscoveryReply(data, size, kind_, &record) != ReplyCheck::kOk) return;
    std::uint8_t sender[4];
    std::memcpy(sender, &from.sin_addr, 4);
    if (kind_ == ReplyKind::kUdp && IsSameSubnet(local.data(), mask.data(), sender) == 0) return;
    if (!taken->Take(record.szDefaultName)) return;
    record.iProtocol = kind_ == ReplyKind::kUdp ? 2 : 8;
    SetDottedText(record.address, sender);
    std::memcpy(record.szLocalAddress, localText, sizeof record.szLocalAddress);
    records->push_back(record);
  }

  ReplyKind kind_;
};

}  // namespace

bool ScanUdp(int startSelector, const ScanContext& context, std::vector<scan_cache::ScanCacheRecord>* records) {
  return UdpRoute(ReplyKind::kUdp).ScanFrom(startSelector, context, records);
}

bool ScanUdp2(const ScanContext& context, std::vector<scan_cache::ScanCacheRecord>* records) {
  return UdpRoute(ReplyKind::kUdp2).ScanFrom(-1, context, records);
}

std::unique_ptr<ScanRoute> MakeUdpRoute() { return std::make_unique<UdpRoute>(ReplyKind::kUdp); }
std::unique_ptr<ScanRoute> MakeUdp2Route() { return std::make_unique<UdpRoute>(ReplyKind::kUdp2); }

}  // namespace lumeth

// ICMP echo through a datagram ICMP socket (no privilege needed where ping sockets are allowed),
// falling back to a raw socket.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <vector>

#include "platform/clock.h"
#include "platform/netprobe/netprobe.h"

namespace platform::netprobe {
namespace {

constexpr std::uint8_t kEchoRequest = 8;
constexpr std::uint8_t kEchoReply = 0;
constexpr std::size_t kIcmpHeader = 8;
constexpr std::size_t kMaxPayload = 1024;

std::uint16_t Checksum(const std::uint8_t* data, std::size_t size) {
  std::uint32_t sum = 0;
  for (std::size_t i = 0; i + 1 < size; i += 2) sum += static_cast<std::uint32_t>(data[i] << 8 | data[i + 1]);
  if (size % 2 != 0) sum += static_cast<std::uint32_t>(data[size - 1] << 8);
  while (sum >> 16) sum = (sum & 0xFFFF) + (sum >> 16);
  return static_cast<std::uint16_t>(~sum);
}

class IcmpProber : public EchoProber {
 public:
  ~IcmpProber() override { Close(); }

  bool Open() override {
    if (fd_ >= 0) return true;
    fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_ICMP);
    raw_ = false;
    if (fd_ < 0) {
      fd_ = ::socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_ICMP);
      raw_ = true;
    }
    identifier_ = static_cast<std::uint16_t>(::getpid() & 0xFFFF);
    return fd_ >= 0;
  }

  bool Echo(std::uint32_t address, const std::uint8_t* payload, std::size_t size,
            std::int64_t timeoutMs) override {
    if (fd_ < 0 || size > kMaxPayload) return false;
    const std::uint16_t sequence = ++sequence_;
    std::vector<std::uint8_t> packet(kIcmpHeader + size);
    packet[0] = kEchoRequest;
    packet[4] = static_cast<std::uint8_t>(identifier_ >> 8);
    packet[5] = static_cast<std::uint8_t>(identifier_);
    packet[6] = static_cast<std::uint8_t>(sequence >> 8);
    packet[7] = static_cast<std::uint8_t>(sequence);
    if (size > 0) std::memcpy(packet.data() + kIcmpHeader, payload, size);
    const std::uint16_t sum = Checksum(packet.data(), packet.size());
    packet[2] = static_cast<std::uint8_t>(sum >> 8);
    packet[3] = static_cast<std::uint8_t>(sum);

    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = htonl(address);
    if (::sendto(fd_, packet.data(), packet.size(), 0, reinterpret_cast<const sockaddr*>(&to),
                 sizeof to) < 0) {
      return false;
    }
    Clock& clock = GetClock();
    const std::int64_t deadline = clock.SteadyMs() + timeoutMs;
    std::uint8_t reply[2048];
    for (;;) {
      const std::int64_t left = deadline - clock.SteadyMs();
      if (left <= 0 || WaitReadable(fd_, left) != 1) return false;
      sockaddr_in from{};
      socklen_t fromSize = sizeof from;
      const ssize_t n = ::recvfrom(fd_, reply, sizeof reply, MSG_DONTWAIT,
                                   reinterpret_cast<sockaddr*>(&from), &fromSize);
      if (n < 0) {
        if (errno == EINTR || errno == EAGAIN) continue;
        return false;
      }
      if (ntohl(from.sin_addr.s_addr) != address) continue;
      std::size_t offset = 0;
      if (raw_) {
        if (n < 20) continue;
        offset = static_cast<std::size_t>(reply[0] & 0x0F) * 4;
      }
      if (static_cast<std::size_t>(n) < offset + kIcmpHeader) continue;
      const std::uint8_t* icmp = reply + offset;
      if (icmp[0] != kEchoReply) continue;
      const auto seq = static_cast<std::uint16_t>(icmp[6] << 8 | icmp[7]);
      if (seq != sequence) continue;
      // A datagram socket gets its identifier from the kernel and only its own replies.
      if (raw_ && static_cast<std::uint16_t>(icmp[4] << 8 | icmp[5]) != identifier_) continue;
      return true;
    }
  }

  void Close() override {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }

 private:
  int fd_ = -1;
  bool raw_ = false;
  std::uint16_t identifier_ = 0;
  std::uint16_t sequence_ = 0;
};

std::atomic<EchoProber*> g_installed{nullptr};

}  // namespace

std::unique_ptr<EchoProber> MakeIcmpProber() { return std::make_unique<IcmpProber>(); }

EchoProber& GetEchoProber() {
  if (EchoProber* installed = g_installed.load()) return *installed;
  static IcmpProber real;
  return real;
}

void SetEchoProber(EchoProber* prober) { g_installed.store(prober); }

}  // namespace platform::netprobe

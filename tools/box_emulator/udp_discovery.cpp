#include "tools/box_emulator/udp_discovery.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <stdexcept>

#include "tools/box_emulator/box_emulator.h"
#include "tools/box_emulator/framing.h"
#include "tools/box_emulator/set_address.h"

namespace box_emulator {
namespace {

constexpr char kCommand[] = "9007:\n";
constexpr std::size_t kCommandSize = 6;
constexpr std::size_t kIdSize = 8;

int OpenSocket(const std::string& address, std::uint16_t port, std::uint16_t* bound) {
  int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  int on = 1;
  ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  ::setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
  int size = 1 << 20;
  ::setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &size, sizeof size);
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_port = htons(port);
  if (::inet_pton(AF_INET, address.c_str(), &sa.sin_addr) != 1 ||
      ::bind(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0) {
    ::close(fd);
    return -1;
  }
  socklen_t len = sizeof sa;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&sa), &len);
  *bound = ntohs(sa.sin_port);
  return fd;
}

bool IsLoopback(const in_addr& a) { return (ntohl(a.s_addr) >> 24) == 127; }

}  // namespace

UdpDiscovery::UdpDiscovery(UdpDiscoveryOptions options) {
  fd_ = OpenSocket(options.bindAddress, options.port, &port_);
  fd2_ = OpenSocket(options.bindAddress, options.port2, &port2_);
  wakeFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (fd_ < 0 || fd2_ < 0 || wakeFd_ < 0) {
    if (fd_ >= 0) ::close(fd_);
    if (fd2_ >= 0) ::close(fd2_);
    if (wakeFd_ >= 0) ::close(wakeFd_);
    throw std::runtime_error("udp discovery: cannot bind the discovery ports");
  }
  thread_ = std::thread(&UdpDiscovery::Run, this);
}

UdpDiscovery::~UdpDiscovery() {
  std::uint64_t one = 1;
  ssize_t n = ::write(wakeFd_, &one, sizeof one);
  (void)n;
  thread_.join();
  ::close(fd_);
  ::close(fd2_);
  ::close(wakeFd_);
}

std::string UdpDiscovery::DeviceIdOf(const std::array<std::uint8_t, wire::pid::kSize>& block) {
  char id[9];
  std::snprintf(id, sizeof id, "%02X%02X%02X%02X", block[14], block[15], block[16], block[17]);
  return id;
}

std::size_t UdpDiscovery::AddBox(Box* box) {
  std::lock_guard<std::mutex> lock(mu_);
  Answerer a;
  a.box = box;
  a.deviceId = DeviceIdOf(box->DeviceInfoBlock());
  answerers_.push_back(a);
  return answerers_.size() - 1;
}

std::size_t UdpDiscovery::AddBlock(const std::string& address,
                                   const std::array<std::uint8_t, wire::pid::kSize>& block,
                                   const std::string& deviceId) {
  std::lock_guard<std::mutex> lock(mu_);
  Answerer a;
  a.address = address;
  a.block = block;
  a.deviceId = deviceId.empty() ? DeviceIdOf(block) : deviceId;
  a.deviceId.resize(kIdSize, 'X');
  answerers_.push_back(a);
  return answerers_.size() - 1;
}

void UdpDiscovery::SetFault(std::size_t index, UdpAnswerFault fault) {
  std::lock_guard<std::mutex> lock(mu_);
  if (index < answerers_.size()) answerers_[index].fault = fault;
}

void UdpDiscovery::EnablePorts(bool first, bool second) {
  std::lock_guard<std::mutex> lock(mu_);
  firstOn_ = first;
  secondOn_ = second;
}

std::size_t UdpDiscovery::RequestCount(int portIndex) const {
  return requests_[portIndex == 0 ? 0 : 1].load();
}

void UdpDiscovery::Run() {
  std::uint8_t buffer[2048];
  for (;;) {
    pollfd p[3] = {{wakeFd_, POLLIN, 0}, {fd_, POLLIN, 0}, {fd2_, POLLIN, 0}};
    if (::poll(p, 3, -1) < 0) {
      if (errno == EINTR) continue;
      return;
    }
    if (p[0].revents != 0) return;
    for (int i = 1; i <= 2; ++i) {
      if (p[i].revents == 0) continue;
      sockaddr_in from{};
      socklen_t fromLength = sizeof from;
      ssize_t n = ::recvfrom(p[i].fd, buffer, sizeof buffer, MSG_DONTWAIT, reinterpret_cast<sockaddr*>(&from),
                             &fromLength);
      if (n <= 0) continue;
      Answer(p[i].fd, i == 2, buffer, static_cast<std::size_t>(n), &from, fromLength);
    }
  }
}

void UdpDiscovery::Answer(int fd, bool second, const std::uint8_t* request, std::size_t size, const void* fromPtr,
                          unsigned fromLength) {
  if (!second && size > 0 && request[0] == kSetAddressMarker) {
    AnswerSetAddress(fd, request, size, fromPtr, fromLength);
    return;
  }
  const std::size_t expected = second ? 4 + kIdSize + kCommandSize : 4 + kCommandSize;
  if (size != expected || request[0] != wire::kRequestMarker || request[1] != 0 || request[2] != kCommandSize ||
      request[3] != 0 || std::memcmp(request + expected - kCommandSize, kCommand, kCommandSize) != 0) {
    return;
  }
  const std::string asked = second ? std::string(reinterpret_cast<const char*>(request + 4), kIdSize) : "";
  std::vector<Answerer> answerers;
  {
    std::lock_guard<std::mutex> lock(mu_);
    if (second ? !secondOn_ : !firstOn_) return;
    answerers = answerers_;
  }
  requests_[second ? 1 : 0]++;
  const auto* from = static_cast<const sockaddr_in*>(fromPtr);
  for (Answerer& a : answerers) {
    if (a.fault == UdpAnswerFault::kSilent) continue;
    if (second && asked != "XXXXXXXX" && asked != a.deviceId) continue;
    std::string address = a.address;
    if (a.box != nullptr) {
      a.block = a.box->DeviceInfoBlock();
      address = a.box->Address();
    }
    std::string data;
    if (second) data += a.deviceId.substr(0, kIdSize);
    data.append(reinterpret_cast<const char*>(a.block.data()), a.block.size());
    std::uint16_t length = static_cast<std::uint16_t>(data.size());
    std::uint8_t error = 0;
    if (a.fault == UdpAnswerFault::kErrorByte) error = 1;
    if (a.fault == UdpAnswerFault::kBadLength) length = static_cast<std::uint16_t>(data.size() + 40);
    if (a.fault == UdpAnswerFault::kShort) data.resize((second ? kIdSize : 0) + 60);
    std::string datagram = EncodeReplyHeader(ReplyHeader::kStream, false, error, length) + data;

    msghdr msg{};
    iovec iov{datagram.data(), datagram.size()};
    msg.msg_name = const_cast<void*>(fromPtr);
    msg.msg_namelen = fromLength;
    msg.msg_iov = &iov;
    msg.msg_iovlen = 1;
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(in_pktinfo))] = {};
    in_addr source{};
    if (IsLoopback(from->sin_addr) && ::inet_pton(AF_INET, address.c_str(), &source) == 1 && IsLoopback(source)) {
      msg.msg_control = control;
      msg.msg_controllen = sizeof control;
      cmsghdr* c = CMSG_FIRSTHDR(&msg);
      c->cmsg_level = IPPROTO_IP;
      c->cmsg_type = IP_PKTINFO;
      c->cmsg_len = CMSG_LEN(sizeof(in_pktinfo));
      in_pktinfo info{};
      info.ipi_spec_dst = source;
      std::memcpy(CMSG_DATA(c), &info, sizeof info);
    }
    ::sendmsg(fd, &msg, 0);
  }
}

void UdpDiscovery::AnswerSetAddress(int fd, const std::uint8_t* request, std::size_t size,
                                    const void* from, unsigned fromLength) {
  const auto parsed = ParseSetAddressDatagram(request, size);
  if (!parsed) return;
  std::vector<Box*> boxes;
  {
    std::lock_guard<std::mutex> lock(mu_);
    if (!firstOn_) return;
    for (const Answerer& a : answerers_) {
      if (a.box != nullptr && a.fault != UdpAnswerFault::kSilent) boxes.push_back(a.box);
    }
  }
  const std::string answer = SetAddressAnswer();
  for (Box* box : boxes) {
    if (!ApplySetAddress(*box, *parsed)) continue;
    ::sendto(fd, answer.data(), answer.size(), 0, static_cast<const sockaddr*>(from), fromLength);
  }
}

}  // namespace box_emulator

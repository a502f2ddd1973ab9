#include "tools/box_emulator/udp_discovery.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <algorithm>
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
constexpr const char* kWildcardId = "XXXXXXXX";

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
  return std::string(reinterpret_cast<const char*>(block.data() + wire::pid::kDefaultName), kIdSize);
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

void UdpDiscovery::SetRequestFault(std::size_t index, const UdpRequestFault& fault) {
  std::lock_guard<std::mutex> lock(mu_);
  if (index >= answerers_.size()) return;
  answerers_[index].requestFault = fault;
  answerers_[index].requestFaultsLeft = fault.count;
}

void UdpDiscovery::SetReplyFragmentSize(std::size_t bytes) {
  std::lock_guard<std::mutex> lock(mu_);
  fragmentSize_ = bytes == 0 ? 1 : bytes;
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
  if (second) {
    AnswerSecondPort(fd, request, size, fromPtr, fromLength);
    return;
  }
  if (size > 0 && request[0] == kSetAddressMarker) {
    AnswerSetAddress(fd, request, size, fromPtr, fromLength);
    return;
  }
  const std::size_t expected = 4 + kCommandSize;
  if (size != expected || request[0] != wire::kRequestMarker || request[1] != 0 || request[2] != kCommandSize ||
      request[3] != 0 || std::memcmp(request + 4, kCommand, kCommandSize) != 0) {
    return;
  }
  AnswerDiscovery(fd, false, "", fromPtr, fromLength);
}

void UdpDiscovery::AnswerDiscovery(int fd, bool second, const std::string& asked, const void* fromPtr,
                                   unsigned fromLength) {
  std::vector<Answerer> answerers;
  {
    std::lock_guard<std::mutex> lock(mu_);
    if (second ? !secondOn_ : !firstOn_) return;
    answerers = answerers_;
  }
  requests_[second ? 1 : 0]++;
  for (Answerer& a : answerers) {
    if (a.fault == UdpAnswerFault::kSilent) continue;
    std::string address = a.address;
    if (a.box != nullptr) {
      if (!a.box->IsOn()) continue;
      a.block = a.box->DeviceInfoBlock();
      a.deviceId = DeviceIdOf(a.block);
      address = a.box->Address();
    }
    if (second && asked != kWildcardId && asked != a.deviceId) continue;
    std::string data(reinterpret_cast<const char*>(a.block.data()), a.block.size());
    std::uint16_t length = static_cast<std::uint16_t>(data.size());
    std::uint8_t error = 0;
    if (a.fault == UdpAnswerFault::kErrorByte) error = 1;
    if (a.fault == UdpAnswerFault::kBadLength) length = static_cast<std::uint16_t>(data.size() + 40);
    if (a.fault == UdpAnswerFault::kShort) data.resize(60);
    std::string datagram = EncodeReplyHeader(ReplyHeader::kStream, false, error, length);
    if (second) datagram += a.deviceId.substr(0, kIdSize);
    datagram += data;
    SendFrom(fd, fromPtr, fromLength, address, datagram);
  }
}

void UdpDiscovery::AnswerSecondPort(int fd, const std::uint8_t* request, std::size_t size, const void* fromPtr,
                                    unsigned fromLength) {
  if (size < wire::kUdpRequestHeaderSize || size > wire::kUdpRequestHeaderSize + wire::kMaxRequestChunk ||
      request[0] != wire::kRequestMarker) {
    return;
  }
  const int index = request[1];
  const std::size_t total = static_cast<std::size_t>(request[2] | (request[3] << 8));
  const std::string asked(reinterpret_cast<const char*>(request + 4), kIdSize);
  const std::string data(reinterpret_cast<const char*>(request + wire::kUdpRequestHeaderSize),
                         size - wire::kUdpRequestHeaderSize);
  const bool deviceInfo = index == 0 && total == kCommandSize && data == kCommand;
  if (asked == kWildcardId) {
    if (deviceInfo) AnswerDiscovery(fd, true, asked, fromPtr, fromLength);
    return;
  }
  Box* box = nullptr;
  std::size_t boxIndex = 0;
  bool blockAnswerer = false;
  {
    std::lock_guard<std::mutex> lock(mu_);
    if (!secondOn_) return;
    for (std::size_t i = 0; i < answerers_.size(); ++i) {
      const Answerer& a = answerers_[i];
      if (a.fault == UdpAnswerFault::kSilent) continue;
      if (a.box != nullptr && DeviceIdOf(a.box->DeviceInfoBlock()) == asked) {
        box = a.box;
        boxIndex = i;
        break;
      }
      if (a.box == nullptr && a.deviceId == asked) blockAnswerer = true;
    }
  }
  if (box == nullptr) {
    if (blockAnswerer && deviceInfo) AnswerDiscovery(fd, true, asked, fromPtr, fromLength);
    return;
  }

  // Fragments of one request come from one sender socket, counting down; a request that starts
  // again (a resend from a new socket, or the first fragment anew) replaces what was kept.
  const auto* from = static_cast<const sockaddr_in*>(fromPtr);
  const std::string key = std::to_string(from->sin_addr.s_addr) + ":" + std::to_string(from->sin_port) + ":" + asked;
  auto it = std::find_if(incoming_.begin(), incoming_.end(), [&](const Incoming& in) { return in.key == key; });
  const int count = static_cast<int>((total + wire::kMaxRequestChunk - 1) / wire::kMaxRequestChunk);
  if (it == incoming_.end() || index == std::max(count, 1) - 1) {
    if (it != incoming_.end()) incoming_.erase(it);
    if (incoming_.size() >= 64) incoming_.erase(incoming_.begin());
    incoming_.push_back(Incoming{key, std::max(count, 1) - 1, total, ""});
    it = incoming_.end() - 1;
  }
  if (index != it->nextIndex || total != it->total || it->data.size() + data.size() > total) {
    incoming_.erase(it);  // out of order or inconsistent: the request is dropped
    return;
  }
  it->data += data;
  it->nextIndex = index - 1;
  if (index != 0) return;
  const std::string whole = it->data;
  incoming_.erase(it);
  if (whole.size() != total) return;
  ServeRequest(fd, box, boxIndex, whole, fromPtr, fromLength);
}

void UdpDiscovery::ServeRequest(int fd, Box* box, std::size_t index, const std::string& request,
                                const void* fromPtr, unsigned fromLength) {
  if (!box->IsOn()) return;
  UdpRequestFault fault;
  bool faulty = false;
  std::size_t fragmentSize = 1024;
  {
    std::lock_guard<std::mutex> lock(mu_);
    fragmentSize = fragmentSize_;
    Answerer& a = answerers_[index];
    if (a.requestFaultsLeft > 0) {
      --a.requestFaultsLeft;
      fault = a.requestFault;
      faulty = true;
    }
  }
  CoreReply reply;
  box->WithCore([&](BoxCore& core) { reply = core.HandleRequest(request); });
  requests_[1]++;
  const std::string id = DeviceIdOf(box->DeviceInfoBlock());
  const std::string address = box->Address();

  auto fragments = [&](const std::string& deviceId) {
    std::vector<std::string> out;
    const std::size_t n = reply.data.empty() ? 1 : (reply.data.size() + fragmentSize - 1) / fragmentSize;
    for (std::size_t i = 0; i < n; ++i) {
      std::string datagram(1, static_cast<char>(kStreamLeadByte));
      datagram += static_cast<char>(n - 1 - i);
      const bool error = reply.error != 0 || (faulty && fault.errorByte);
      datagram += static_cast<char>(error ? (reply.error != 0 ? reply.error : 1) : 0);
      datagram += static_cast<char>(reply.data.size() & 0xFF);
      datagram += static_cast<char>((reply.data.size() >> 8) & 0xFF);
      datagram += deviceId.substr(0, kIdSize);
      datagram += reply.data.substr(i * fragmentSize, fragmentSize);
      out.push_back(datagram);
    }
    return out;
  };
  std::vector<std::string> out = fragments(id);
  if (faulty) {
    if (fault.swapFragment && *fault.swapFragment + 1 < out.size()) {
      std::swap(out[*fault.swapFragment], out[*fault.swapFragment + 1]);
    }
    if (fault.duplicateFragment && *fault.duplicateFragment < out.size()) {
      out.insert(out.begin() + static_cast<std::ptrdiff_t>(*fault.duplicateFragment), out[*fault.duplicateFragment]);
    }
    if (fault.loseFragment && *fault.loseFragment < out.size()) {
      out.erase(out.begin() + static_cast<std::ptrdiff_t>(*fault.loseFragment));
    }
    if (fault.foreignReplyFirst) {
      std::string other = id;
      other[0] = other[0] == 'Z' ? 'Y' : 'Z';
      std::vector<std::string> foreign = fragments(other);
      out.insert(out.begin(), foreign.begin(), foreign.end());
    }
  }
  served_++;
  for (const std::string& datagram : out) SendFrom(fd, fromPtr, fromLength, address, datagram);
  if (reply.restart) {
    // Power cycle: the staged configuration starts running, the TCP side follows key 4000.
    box->SwitchOff();
    box->SwitchOn();
  }
}

void UdpDiscovery::SendFrom(int fd, const void* fromPtr, unsigned fromLength, const std::string& address,
                            const std::string& datagram) {
  const auto* from = static_cast<const sockaddr_in*>(fromPtr);
  std::string bytes = datagram;
  msghdr msg{};
  iovec iov{bytes.data(), bytes.size()};
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

void UdpDiscovery::AnswerSetAddress(int fd, const std::uint8_t* request, std::size_t size,
                                    const void* from, unsigned fromLength) {
  const auto parsed = ParseSetAddressDatagram(request, size);
  if (!parsed) return;
  std::vector<std::pair<Box*, UdpAnswerFault>> boxes;
  {
    std::lock_guard<std::mutex> lock(mu_);
    if (!firstOn_) return;
    for (const Answerer& a : answerers_) {
      if (a.box != nullptr && a.fault != UdpAnswerFault::kSilent) boxes.emplace_back(a.box, a.fault);
    }
  }
  for (const auto& [box, fault] : boxes) {
    // A box with the error-byte fault refuses the address: it keeps its own and says so.
    const bool refuse = fault == UdpAnswerFault::kErrorByte;
    if (refuse ? !SetAddressNames(*box, *parsed) : !ApplySetAddress(*box, *parsed)) continue;
    const std::string answer = SetAddressAnswer(refuse ? 1 : 0);
    ::sendto(fd, answer.data(), answer.size(), 0, static_cast<const sockaddr*>(from), fromLength);
  }
}

}  // namespace box_emulator

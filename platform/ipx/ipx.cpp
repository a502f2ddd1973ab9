#include "platform/ipx/ipx.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cctype>
#include <cstring>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <unordered_map>

#include "platform/clock.h"
#include "platform/ipx/ipx_wire.h"
#include "platform/profile.h"

namespace {

using platform::ipx::Header;

constexpr const char* kSection = "IPX";
constexpr const char* kIniFile = "ipx.ini";
constexpr std::uint16_t kFirstDynamicSocket = 0x4000;
constexpr std::uint16_t kLastDynamicSocket = 0x7FFF;

// ---- configuration ----

std::string Setting(const char* env, const char* key) {
  const char* e = std::getenv(env);
  if (e != nullptr && *e != '\0') return e;
  char buf[128] = {};
  GetPrivateProfileString(kSection, key, "", buf, sizeof buf, kIniFile);
  return buf;
}

bool ParseUnsigned(const std::string& text, int base, unsigned long max, unsigned long& out) {
  if (text.empty() || text.size() > 16) return false;
  for (char c : text) {
    if (base == 16 ? !std::isxdigit(static_cast<unsigned char>(c))
                   : !std::isdigit(static_cast<unsigned char>(c))) {
      return false;
    }
  }
  unsigned long v = std::strtoul(text.c_str(), nullptr, base);
  if (v > max) return false;
  out = v;
  return true;
}

bool ParseIPv4(const std::string& text, std::uint32_t& hostOrder) {
  in_addr a{};
  if (text.empty() || inet_pton(AF_INET, text.c_str(), &a) != 1) return false;
  hostOrder = ntohl(a.s_addr);
  return true;
}

// The broadcast address of a configured address that matches no interface: that of the class the
// address falls in (127/8 for the loopback range).
std::uint32_t GuessBroadcast(std::uint32_t a) {
  if ((a >> 24) == 127 || (a >> 31) == 0) return a | 0x00FFFFFFu;
  if ((a >> 30) == 2) return a | 0x0000FFFFu;
  return a | 0x000000FFu;
}

// The interface with `address` (or, for address 0, the first one that is up, can broadcast and is
// not the loopback): its address and broadcast address. False when there is none.
bool FindInterface(std::uint32_t address, std::uint32_t& foundAddress, std::uint32_t& broadcast) {
  ifaddrs* list = nullptr;
  if (getifaddrs(&list) != 0) return false;
  bool found = false;
  for (ifaddrs* i = list; i != nullptr && !found; i = i->ifa_next) {
    if (i->ifa_addr == nullptr || i->ifa_addr->sa_family != AF_INET) continue;
    const std::uint32_t a = ntohl(reinterpret_cast<sockaddr_in*>(i->ifa_addr)->sin_addr.s_addr);
    const bool canBroadcast = (i->ifa_flags & IFF_BROADCAST) != 0 && i->ifa_broadaddr != nullptr;
    if (address != 0) {
      if (a != address) continue;
    } else if ((i->ifa_flags & IFF_UP) == 0 || (i->ifa_flags & IFF_LOOPBACK) != 0 || !canBroadcast) {
      continue;
    }
    foundAddress = a;
    broadcast = canBroadcast
                    ? ntohl(reinterpret_cast<sockaddr_in*>(i->ifa_broadaddr)->sin_addr.s_addr)
                    : GuessBroadcast(a);
    found = true;
  }
  freeifaddrs(list);
  return found;
}

// ---- per-socket state of datagram sockets ----

struct Datagram {
  IpxConfig config;
  int packetType = 0;
  bool broadcast = false;
  bool bound = false;
  std::uint16_t socketNumber = 0;
  bool explicitNode = false;
  std::uint8_t node[6] = {};
  std::uint8_t net[4] = {};
};

std::mutex g_mutex;
std::unordered_map<int, Datagram>& Sockets() {
  static std::unordered_map<int, Datagram> sockets;
  return sockets;
}

bool FindDatagram(int fd, Datagram& out) {
  std::lock_guard<std::mutex> lock(g_mutex);
  auto it = Sockets().find(fd);
  if (it == Sockets().end()) return false;
  out = it->second;
  return true;
}

bool IsStream(int fd) {
  int type = 0;
  socklen_t len = sizeof type;
  return getsockopt(fd, SOL_SOCKET, SO_TYPE, &type, &len) == 0 && type == SOCK_STREAM;
}

void NetBytes(std::uint32_t network, std::uint8_t (&out)[4]) {
  out[0] = static_cast<std::uint8_t>(network >> 24);
  out[1] = static_cast<std::uint8_t>(network >> 16);
  out[2] = static_cast<std::uint8_t>(network >> 8);
  out[3] = static_cast<std::uint8_t>(network);
}

bool AllZero(const std::uint8_t* p, int n) {
  for (int i = 0; i < n; ++i) {
    if (p[i] != 0) return false;
  }
  return true;
}

// The port of socket `number` over a base; false when it leaves the port range.
bool PortOf(int base, std::uint16_t number, std::uint16_t& port) {
  const int p = base + number;
  if (number == 0 || p <= 0 || p > 65535) return false;
  port = static_cast<std::uint16_t>(p);
  return true;
}

sockaddr_in Inet(std::uint32_t hostOrder, std::uint16_t port) {
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(hostOrder);
  a.sin_port = htons(port);
  return a;
}

int Fail(int error) {
  errno = error;
  return -1;
}

// The local source address of a datagram socket.
void SourceOf(const Datagram& d, std::uint8_t (&net)[4], std::uint8_t (&node)[6]) {
  if (!AllZero(d.net, 4)) {
    std::memcpy(net, d.net, 4);
  } else {
    NetBytes(d.config.network, net);
  }
  if (d.explicitNode) {
    std::memcpy(node, d.node, 6);
  } else {
    IpxNodeFromIPv4(d.config.address, node);
  }
}

// Binds the UDP socket of a datagram socket to the port of IPX socket `number` (0: a free dynamic
// socket). Returns the socket number bound, or 0 with errno set.
std::uint16_t BindDatagramPort(int fd, const IpxConfig& config, std::uint16_t number) {
  if (number != 0) {
    std::uint16_t port = 0;
    if (!PortOf(config.udpPortBase, number, port)) {
      errno = EINVAL;
      return 0;
    }
    // Well-known sockets may be bound by several programs of one host; all of them hear broadcasts.
    int one = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in a = Inet(INADDR_ANY, port);
    if (bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) return 0;
    return number;
  }
  // A dynamic socket is exclusive: bound without SO_REUSEADDR, the next free number is taken.
  constexpr int kRange = kLastDynamicSocket - kFirstDynamicSocket + 1;
  thread_local std::minstd_rand random(std::random_device{}());
  const int start = static_cast<int>(random() % kRange);
  for (int i = 0; i < kRange; ++i) {
    const auto candidate = static_cast<std::uint16_t>(kFirstDynamicSocket + (start + i) % kRange);
    std::uint16_t port = 0;
    if (!PortOf(config.udpPortBase, candidate, port)) continue;
    sockaddr_in a = Inet(INADDR_ANY, port);
    if (bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0) return candidate;
    if (errno != EADDRINUSE && errno != EACCES) return 0;
  }
  errno = EADDRINUSE;
  return 0;
}

int BindDatagram(int fd, const SOCKADDR_IPX* local) {
  Datagram d;
  if (!FindDatagram(fd, d)) return Fail(EBADF);
  if (d.bound) return Fail(EINVAL);
  const std::uint16_t wanted = local != nullptr ? IpxSocketNumber(*local) : 0;
  const std::uint16_t number = BindDatagramPort(fd, d.config, wanted);
  if (number == 0) return -1;
  std::lock_guard<std::mutex> lock(g_mutex);
  auto it = Sockets().find(fd);
  if (it == Sockets().end()) return Fail(EBADF);
  Datagram& s = it->second;
  s.bound = true;
  s.socketNumber = number;
  if (local != nullptr) {
    std::memcpy(s.net, local->sa_netnum, 4);
    if (!AllZero(local->sa_nodenum, 6)) {
      s.explicitNode = true;
      std::memcpy(s.node, local->sa_nodenum, 6);
    }
  }
  return 0;
}

int BindStream(int fd, const SOCKADDR_IPX* local) {
  const IpxConfig config = IpxLoadConfig();
  std::uint32_t ip = INADDR_ANY;
  std::uint16_t port = 0;
  if (local != nullptr) {
    if (!AllZero(local->sa_nodenum, 6) && !IpxIPv4FromNode(local->sa_nodenum, ip)) {
      return Fail(EADDRNOTAVAIL);
    }
    const std::uint16_t number = IpxSocketNumber(*local);
    if (number != 0) {
      if (!PortOf(config.tcpPortBase, number, port)) return Fail(EINVAL);
      int one = 1;
      setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    }
  }
  sockaddr_in a = Inet(ip, port);
  return bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
}

// Waits until a non-blocking connect has finished, for at most `ms` of the clock's time
// (negative: no limit).
bool WaitConnected(int fd, std::int64_t ms) {
  pollfd p{fd, POLLOUT, 0};
  int r;
  do {
    r = poll(&p, 1, 0);
  } while (r < 0 && errno == EINTR);
  if (r == 0) {
    platform::Clock& clock = platform::GetClock();
    const std::int64_t real = ms < 0 ? -1 : clock.RealWaitMs(ms);
    do {
      r = poll(&p, 1, static_cast<int>(real > 0x7fffffff ? 0x7fffffff : real));
    } while (r < 0 && errno == EINTR);
    if (r == 0) {
      clock.Elapsed(ms);
      errno = ETIMEDOUT;
      return false;
    }
  }
  if (r < 0) return false;
  int error = 0;
  socklen_t len = sizeof error;
  if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &len) != 0) return false;
  if (error != 0) {
    errno = error;
    return false;
  }
  return true;
}

// Reads the next UDP datagram of a datagram socket; whether it is one the socket delivers.
// n < 0: the receive failed (errno set).
struct Received {
  int n = -1;
  bool deliver = false;
  Header header;
  std::size_t dataLength = 0;
  std::uint8_t bytes[kIpxHeaderSize + kIpxMaxData + 1];
};

void ReceiveOne(int fd, const Datagram& d, int flags, Received& r) {
  r.n = static_cast<int>(recv(fd, r.bytes, sizeof r.bytes, flags | MSG_TRUNC));
  r.deliver = false;
  if (r.n < 0) return;
  const std::size_t size = static_cast<std::size_t>(r.n) < sizeof r.bytes
                               ? static_cast<std::size_t>(r.n)
                               : sizeof r.bytes;
  r.deliver = platform::ipx::DecodeHeader(r.bytes, size, r.header, r.dataLength) &&
              platform::ipx::Accepts(r.header, d.socketNumber, d.explicitNode ? d.node : nullptr);
}

}  // namespace

IpxConfig IpxLoadConfig() {
  IpxConfig c;
  unsigned long v = 0;
  std::string text = Setting("PSADMIN_IPX_ENABLED", "Enabled");
  if (ParseUnsigned(text, 10, 1, v)) c.enabled = v != 0;
  text = Setting("PSADMIN_IPX_NETWORK", "Network");
  if (ParseUnsigned(text, 16, 0xFFFFFFFEul, v) && v != 0) c.network = static_cast<std::uint32_t>(v);
  text = Setting("PSADMIN_IPX_UDP_BASE", "UdpPortBase");
  if (ParseUnsigned(text, 10, 65535, v)) c.udpPortBase = static_cast<int>(v);
  text = Setting("PSADMIN_IPX_TCP_BASE", "TcpPortBase");
  if (ParseUnsigned(text, 10, 65535, v)) c.tcpPortBase = static_cast<int>(v);

  std::uint32_t address = 0;
  std::uint32_t broadcast = 0;
  std::uint32_t found = 0;
  if (ParseIPv4(Setting("PSADMIN_IPX_ADDRESS", "Address"), address) && address != 0 &&
      address != 0xFFFFFFFFu) {
    c.address = address;
    c.broadcast = FindInterface(address, found, broadcast) ? broadcast : GuessBroadcast(address);
  } else if (FindInterface(0, found, broadcast)) {
    c.address = found;
    c.broadcast = broadcast;
  }
  if (ParseIPv4(Setting("PSADMIN_IPX_BROADCAST", "Broadcast"), broadcast) && broadcast != 0) {
    c.broadcast = broadcast;
  }
  return c;
}

SOCKADDR_IPX IpxMakeAddress(const std::uint8_t (&net)[4], const std::uint8_t (&node)[6],
                            std::uint16_t socketNumber) {
  SOCKADDR_IPX a{};
  a.sa_family = IPX_ADDRESS_FAMILY;
  std::memcpy(a.sa_netnum, net, 4);
  std::memcpy(a.sa_nodenum, node, 6);
  a.sa_socket = htons(socketNumber);
  return a;
}

std::uint16_t IpxSocketNumber(const SOCKADDR_IPX& address) { return ntohs(address.sa_socket); }

void IpxNodeFromIPv4(std::uint32_t ipv4, std::uint8_t (&node)[6]) {
  node[0] = 0x02;
  node[1] = 0x00;
  node[2] = static_cast<std::uint8_t>(ipv4 >> 24);
  node[3] = static_cast<std::uint8_t>(ipv4 >> 16);
  node[4] = static_cast<std::uint8_t>(ipv4 >> 8);
  node[5] = static_cast<std::uint8_t>(ipv4);
}

bool IpxIPv4FromNode(const std::uint8_t (&node)[6], std::uint32_t& ipv4) {
  if (platform::ipx::IsBroadcastNode(node)) return false;
  const std::uint32_t a = (static_cast<std::uint32_t>(node[2]) << 24) |
                          (static_cast<std::uint32_t>(node[3]) << 16) |
                          (static_cast<std::uint32_t>(node[4]) << 8) | node[5];
  if (a == 0 || a == 0xFFFFFFFFu) return false;
  ipv4 = a;
  return true;
}

int IpxLocalAddress(SOCKADDR_IPX* out) {
  if (out == nullptr) return Fail(EFAULT);
  const IpxConfig c = IpxLoadConfig();
  if (!c.enabled) return Fail(EAFNOSUPPORT);
  std::uint8_t net[4];
  std::uint8_t node[6];
  NetBytes(c.network, net);
  IpxNodeFromIPv4(c.address, node);
  *out = IpxMakeAddress(net, node, 0);
  return 0;
}

int IpxSocket(int type, int packetType) {
  if (type != SOCK_DGRAM && type != SOCK_STREAM) return Fail(EINVAL);
  if (packetType < 0 || packetType > 255) return Fail(EINVAL);
  Datagram d;
  d.config = IpxLoadConfig();
  if (!d.config.enabled) return Fail(EAFNOSUPPORT);
  const int fd = socket(AF_INET, type | SOCK_CLOEXEC, 0);
  if (fd < 0 || type == SOCK_STREAM) return fd;
  d.packetType = packetType;
  std::lock_guard<std::mutex> lock(g_mutex);
  Sockets()[fd] = d;  // a descriptor number that was closed without IpxClose starts afresh
  return fd;
}

int IpxBind(int fd, const SOCKADDR_IPX* local) {
  if (fd < 0) return Fail(EBADF);
  return IsStream(fd) ? BindStream(fd, local) : BindDatagram(fd, local);
}

int IpxSetBroadcast(int fd, bool on) {
  int value = on ? 1 : 0;
  if (setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &value, sizeof value) != 0) return -1;
  std::lock_guard<std::mutex> lock(g_mutex);
  auto it = Sockets().find(fd);
  if (it == Sockets().end()) return Fail(EBADF);
  it->second.broadcast = on;
  return 0;
}

int IpxSetPacketType(int fd, int packetType) {
  if (packetType < 0 || packetType > 255) return Fail(EINVAL);
  std::lock_guard<std::mutex> lock(g_mutex);
  auto it = Sockets().find(fd);
  if (it == Sockets().end()) return Fail(EBADF);
  it->second.packetType = packetType;
  return 0;
}

int IpxSendTo(int fd, const void* data, int length, const SOCKADDR_IPX* to) {
  if (to == nullptr || (data == nullptr && length != 0)) return Fail(EFAULT);
  if (length < 0 || length > kIpxMaxData) return Fail(EMSGSIZE);
  Datagram d;
  if (!FindDatagram(fd, d)) return Fail(EBADF);
  if (!d.bound) {
    if (BindDatagram(fd, nullptr) != 0) return -1;
    FindDatagram(fd, d);
  }
  const std::uint16_t dstSocket = IpxSocketNumber(*to);
  std::uint16_t port = 0;
  if (!PortOf(d.config.udpPortBase, dstSocket, port)) return Fail(EINVAL);
  std::uint32_t ip = 0;
  if (platform::ipx::IsBroadcastNode(to->sa_nodenum)) {
    if (!d.broadcast) return Fail(EACCES);
    ip = d.config.broadcast;
  } else if (!IpxIPv4FromNode(to->sa_nodenum, ip)) {
    return Fail(EADDRNOTAVAIL);
  }

  Header h;
  h.length = static_cast<std::uint16_t>(kIpxHeaderSize + length);
  h.packetType = static_cast<std::uint8_t>(d.packetType);
  std::memcpy(h.dstNet, to->sa_netnum, 4);
  std::memcpy(h.dstNode, to->sa_nodenum, 6);
  h.dstSocket = dstSocket;
  SourceOf(d, h.srcNet, h.srcNode);
  h.srcSocket = d.socketNumber;
  std::uint8_t packet[kIpxHeaderSize + kIpxMaxData];
  platform::ipx::EncodeHeader(h, packet);
  if (length > 0) std::memcpy(packet + kIpxHeaderSize, data, static_cast<std::size_t>(length));
  sockaddr_in a = Inet(ip, port);
  const ssize_t sent = sendto(fd, packet, kIpxHeaderSize + static_cast<std::size_t>(length),
                              MSG_NOSIGNAL, reinterpret_cast<sockaddr*>(&a), sizeof a);
  if (sent < 0) return -1;
  if (sent != kIpxHeaderSize + length) return Fail(EIO);
  return length;
}

int IpxRecvFrom(int fd, void* buffer, int size, SOCKADDR_IPX* from, int flags) {
  if (size < 0 || (buffer == nullptr && size > 0)) return Fail(EFAULT);
  Datagram d;
  if (!FindDatagram(fd, d)) return Fail(EBADF);
  if (!d.bound) return Fail(EINVAL);
  auto r = std::make_unique<Received>();
  do {
    ReceiveOne(fd, d, flags & MSG_DONTWAIT, *r);
    if (r->n < 0) return -1;
  } while (!r->deliver);
  const std::size_t n = r->dataLength < static_cast<std::size_t>(size) ? r->dataLength
                                                                       : static_cast<std::size_t>(size);
  if (n > 0) std::memcpy(buffer, r->bytes + kIpxHeaderSize, n);
  if (from != nullptr) {
    *from = IpxMakeAddress(r->header.srcNet, r->header.srcNode, r->header.srcSocket);
  }
  return static_cast<int>(n);
}

int IpxWaitReadable(int fd, std::int64_t ms) {
  Datagram d;
  const bool datagram = FindDatagram(fd, d);
  if (datagram && !d.bound) return Fail(EINVAL);
  platform::Clock& clock = platform::GetClock();
  const std::int64_t start = clock.SteadyMs();
  std::unique_ptr<Received> r;
  for (;;) {
    int ready;
    if (ms < 0) {
      pollfd p{fd, POLLIN, 0};
      do {
        ready = poll(&p, 1, -1);
      } while (ready < 0 && errno == EINTR);
    } else {
      std::int64_t left = ms - (clock.SteadyMs() - start);
      ready = platform::WaitReadable(fd, left < 0 ? 0 : left);
    }
    if (ready <= 0 || !datagram) return ready;
    // Look at the waiting datagram; one the socket would not deliver is dropped here.
    if (!r) r = std::make_unique<Received>();
    ReceiveOne(fd, d, MSG_PEEK | MSG_DONTWAIT, *r);
    if (r->n < 0) {
      if (errno == EAGAIN || errno == EWOULDBLOCK) continue;
      return -1;
    }
    if (r->deliver) return 1;
    (void)recv(fd, r->bytes, 1, MSG_DONTWAIT);
  }
}

int IpxConnect(int fd, const SOCKADDR_IPX* remote, std::int64_t waitMs) {
  if (remote == nullptr) return Fail(EFAULT);
  if (!IsStream(fd)) return Fail(EOPNOTSUPP);
  const IpxConfig config = IpxLoadConfig();
  std::uint16_t port = 0;
  if (!PortOf(config.tcpPortBase, IpxSocketNumber(*remote), port)) return Fail(EINVAL);
  std::uint32_t ip = 0;
  if (!IpxIPv4FromNode(remote->sa_nodenum, ip)) return Fail(EADDRNOTAVAIL);
  sockaddr_in a = Inet(ip, port);
  const int flags = fcntl(fd, F_GETFL, 0);
  if (flags < 0 || fcntl(fd, F_SETFL, flags | O_NONBLOCK) != 0) return -1;
  bool ok = connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
  if (!ok && (errno == EINPROGRESS || errno == EINTR)) ok = WaitConnected(fd, waitMs);
  const int error = errno;
  if (fcntl(fd, F_SETFL, flags) != 0 && ok) return -1;
  if (!ok) return Fail(error);
  return 0;
}

int IpxListen(int fd, int backlog) {
  if (!IsStream(fd)) return Fail(EOPNOTSUPP);
  return listen(fd, backlog);
}

int IpxAccept(int fd, SOCKADDR_IPX* from) {
  sockaddr_in peer{};
  socklen_t len = sizeof peer;
  int c;
  do {
    c = accept4(fd, reinterpret_cast<sockaddr*>(&peer), &len, SOCK_CLOEXEC);
  } while (c < 0 && errno == EINTR);
  if (c < 0) return -1;
  if (from != nullptr) {
    const IpxConfig config = IpxLoadConfig();
    std::uint8_t net[4];
    std::uint8_t node[6];
    NetBytes(config.network, net);
    IpxNodeFromIPv4(ntohl(peer.sin_addr.s_addr), node);
    const int number = ntohs(peer.sin_port) - config.tcpPortBase;
    *from = IpxMakeAddress(net, node,
                           number > 0 && number <= 65535 ? static_cast<std::uint16_t>(number) : 0);
  }
  return c;
}

int IpxGetSockName(int fd, SOCKADDR_IPX* out) {
  if (out == nullptr) return Fail(EFAULT);
  Datagram d;
  if (FindDatagram(fd, d)) {
    std::uint8_t net[4];
    std::uint8_t node[6];
    SourceOf(d, net, node);
    *out = IpxMakeAddress(net, node, d.bound ? d.socketNumber : 0);
    return 0;
  }
  if (!IsStream(fd)) return Fail(ENOTSOCK);
  sockaddr_in local{};
  socklen_t len = sizeof local;
  if (getsockname(fd, reinterpret_cast<sockaddr*>(&local), &len) != 0) return -1;
  const IpxConfig config = IpxLoadConfig();
  std::uint32_t ip = ntohl(local.sin_addr.s_addr);
  if (ip == 0) ip = config.address;
  std::uint8_t net[4];
  std::uint8_t node[6];
  NetBytes(config.network, net);
  IpxNodeFromIPv4(ip, node);
  const int port = ntohs(local.sin_port);
  const int number = port - config.tcpPortBase;
  *out = IpxMakeAddress(net, node,
                        port != 0 && number > 0 && number <= 65535 ? static_cast<std::uint16_t>(number) : 0);
  return 0;
}

int IpxClose(int fd) {
  if (fd < 0) return Fail(EBADF);
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    Sockets().erase(fd);
  }
  return close(fd);
}

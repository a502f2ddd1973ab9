#include "platform/netbios/nb_common.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <sys/ioctl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "platform/ownership.h"
#include "platform/paths.h"
#include "platform/profile.h"

namespace platform::netbios {

namespace {

constexpr const char* kSection = "NetBIOS";
constexpr const char* kIniFile = "netbios.ini";

std::string IniValue(const platform::ProfileFile& ini, const char* key) {
  char buf[256] = {};
  ini.GetString(kSection, key, "", buf, sizeof buf);
  return buf;
}

int IniInt(const platform::ProfileFile& ini, const char* key, int def, int lo, int hi) {
  int v = ini.GetInt(kSection, key, def);
  return v < lo || v > hi ? def : v;
}

std::uint16_t PortSetting(const platform::ProfileFile& ini, const char* env, const char* key, std::uint16_t def) {
  const char* e = std::getenv(env);
  if (e != nullptr && *e != '\0') {
    char* end = nullptr;
    long v = std::strtol(e, &end, 10);
    if (end != e && *end == '\0' && v > 0 && v < 65536) return static_cast<std::uint16_t>(v);
  }
  return static_cast<std::uint16_t>(IniInt(ini, key, def, 1, 65535));
}

// The broadcast address of a configured address that matches no interface: that of the class
// the address falls in (127/8 for the loopback range).
std::uint32_t GuessBroadcast(std::uint32_t a) {
  if ((a >> 24) == 127 || (a >> 31) == 0) return a | 0x00FFFFFFu;
  if ((a >> 30) == 2) return a | 0x0000FFFFu;
  return a | 0x000000FFu;
}

// The broadcast address of the interface that holds `address` (when it has one), else the guess
// above. Asked with SIOCGIFCONF and two requests for the matching address: a few calls, where
// getifaddrs() dumps every link with its statistics over netlink first, which cost more than the
// rest of loading the configuration.
std::uint32_t InterfaceBroadcast(std::uint32_t address) {
  const std::uint32_t guess = GuessBroadcast(address);
  const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return guess;
  std::vector<ifreq> list(32);
  ifconf conf{};
  for (;;) {
    conf.ifc_len = static_cast<int>(list.size() * sizeof(ifreq));
    conf.ifc_req = list.data();
    if (ioctl(fd, SIOCGIFCONF, &conf) != 0 || conf.ifc_len < 0) {
      close(fd);
      return guess;
    }
    // A full list may have been cut short: ask again with more room.
    if (static_cast<std::size_t>(conf.ifc_len) + sizeof(ifreq) <= list.size() * sizeof(ifreq) ||
        list.size() >= 4096)
      break;
    list.resize(list.size() * 2);
  }
  std::uint32_t result = guess;
  const std::size_t count = std::min(list.size(), static_cast<std::size_t>(conf.ifc_len) / sizeof(ifreq));
  for (std::size_t i = 0; i < count; ++i) {
    const ifreq& entry = list[i];
    if (entry.ifr_addr.sa_family != AF_INET) continue;
    sockaddr_in sin{};
    std::memcpy(&sin, &entry.ifr_addr, sizeof sin);
    if (ntohl(sin.sin_addr.s_addr) != address) continue;
    ifreq flags{};
    std::memcpy(flags.ifr_name, entry.ifr_name, IFNAMSIZ);
    if (ioctl(fd, SIOCGIFFLAGS, &flags) == 0 && (flags.ifr_flags & IFF_BROADCAST) != 0) {
      // With the address given, the kernel answers for that address of the interface, not its first.
      ifreq broadcast{};
      std::memcpy(broadcast.ifr_name, entry.ifr_name, IFNAMSIZ);
      broadcast.ifr_addr = entry.ifr_addr;
      if (ioctl(fd, SIOCGIFBRDADDR, &broadcast) == 0 && broadcast.ifr_broadaddr.sa_family == AF_INET) {
        sockaddr_in b{};
        std::memcpy(&b, &broadcast.ifr_broadaddr, sizeof b);
        if (b.sin_addr.s_addr != 0) result = ntohl(b.sin_addr.s_addr);
      }
    }
    break;
  }
  close(fd);
  return result;
}

void AddLanaText(std::vector<LanaConfig>& out, const std::string& address, const std::string& broadcast) {
  LanaConfig l;
  if (!ParseAddress(address, l.address) || l.address == 0) return;
  if (broadcast.empty() || !ParseAddress(broadcast, l.broadcast)) l.broadcast = InterfaceBroadcast(l.address);
  out.push_back(l);
}

std::vector<LanaConfig> InterfaceLanas() {
  std::vector<LanaConfig> out;
  ifaddrs* list = nullptr;
  if (getifaddrs(&list) == 0) {
    for (ifaddrs* i = list; i != nullptr; i = i->ifa_next) {
      if (i->ifa_addr == nullptr || i->ifa_addr->sa_family != AF_INET) continue;
      if ((i->ifa_flags & IFF_UP) == 0 || (i->ifa_flags & IFF_LOOPBACK) != 0) continue;
      if ((i->ifa_flags & IFF_BROADCAST) == 0 || i->ifa_broadaddr == nullptr) continue;
      LanaConfig l;
      l.address = ntohl(reinterpret_cast<sockaddr_in*>(i->ifa_addr)->sin_addr.s_addr);
      l.broadcast = ntohl(reinterpret_cast<sockaddr_in*>(i->ifa_broadaddr)->sin_addr.s_addr);
      out.push_back(l);
      if (out.size() >= 16) break;
    }
    freeifaddrs(list);
  }
  if (out.empty()) out.push_back({0x7F000001u, 0x7FFFFFFFu});
  return out;
}

}  // namespace

Config LoadConfig() {
  Config c;
  const platform::ProfileFile ini(kIniFile);  // read once for all the settings below
  const char* lanas = std::getenv("PSADMIN_NB_LANAS");
  if (lanas != nullptr && *lanas != '\0') {
    std::string all = lanas;
    std::size_t start = 0;
    while (start <= all.size() && c.lanas.size() < 16) {
      std::size_t comma = all.find(',', start);
      std::string item = all.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
      std::size_t slash = item.find('/');
      AddLanaText(c.lanas, item.substr(0, slash), slash == std::string::npos ? "" : item.substr(slash + 1));
      if (comma == std::string::npos) break;
      start = comma + 1;
    }
  } else {
    for (int i = 0; i < 16; ++i) {
      std::string prefix = "Lana" + std::to_string(i);
      std::string address = IniValue(ini, (prefix + "Address").c_str());
      if (address.empty()) break;
      AddLanaText(c.lanas, address, IniValue(ini, (prefix + "Broadcast").c_str()));
    }
  }
  if (c.lanas.empty()) c.lanas = InterfaceLanas();
  c.nameServicePort = PortSetting(ini, "PSADMIN_NB_NAME_PORT", "NameServicePort", 137);
  c.datagramPort = PortSetting(ini, "PSADMIN_NB_DATAGRAM_PORT", "DatagramPort", 138);
  c.sessionPort = PortSetting(ini, "PSADMIN_NB_SESSION_PORT", "SessionPort", 139);
  c.queryTimeoutMs = IniInt(ini, "QueryTimeoutMs", c.queryTimeoutMs, 1, 60000);
  c.queryRetries = IniInt(ini, "QueryRetries", c.queryRetries, 1, 20);
  c.registrationTimeoutMs = IniInt(ini, "RegistrationTimeoutMs", c.registrationTimeoutMs, 1, 60000);
  c.registrationRetries = IniInt(ini, "RegistrationRetries", c.registrationRetries, 1, 20);
  c.callTimeoutMs = IniInt(ini, "CallTimeoutMs", c.callTimeoutMs, 1, 600000);
  c.idleExitMs = IniInt(ini, "IdleExitMs", c.idleExitMs, 0, 3600000);
  c.remoteCacheTimeoutMs = IniInt(ini, "RemoteCacheTimeoutMs", c.remoteCacheTimeoutMs, 0, 86400000);
  c.nameLingerMs = IniInt(ini, "NameLingerMs", c.nameLingerMs, 0, 3600000);
  return c;
}

std::string ServiceDirectory() {
  std::string dir = JoinPath(Root(), "netbios");
  MakeDirectories(dir);
  return dir;
}


std::string MachineFolder() {
  const char* env = std::getenv("PSADMIN_NBD_MACHINE");
  if (env != nullptr && *env != '\0') return env;
  return "/run/psadmin";
}

std::string MachineFolderProblem(const std::string& folder) {
  struct stat st {};
  if (lstat(folder.c_str(), &st) != 0) return folder + " does not exist";
  if (!S_ISDIR(st.st_mode)) return folder + " is no folder";
  std::string problem = platform::SafeOwnershipProblem(folder, 0);
  if (problem.empty()) problem = platform::WritableByOthersThanRoot(folder);
  return problem;
}

std::string PrepareMachineFolder(const std::string& folder) {
  if (geteuid() != 0) return "the machine's NetBIOS service (psa_nbd --machine) must run as root";
  if (mkdir(folder.c_str(), 0755) == 0) {
    if (chmod(folder.c_str(), 0755) != 0) return folder + ": " + std::strerror(errno);
  } else if (errno != EEXIST) {
    return "cannot make " + folder + ": " + std::strerror(errno);
  }
  const std::string problem = MachineFolderProblem(folder);
  return problem.empty() ? "" : problem + ": the machine's NetBIOS service does not use it";
}

void WriteServiceSettings(MsgWriter& w, const Config& cfg) {
  const std::size_t count = std::min<std::size_t>(cfg.lanas.size(), 16);
  w.U8(static_cast<std::uint8_t>(count));
  for (std::size_t i = 0; i < count; ++i) w.U32(cfg.lanas[i].address).U32(cfg.lanas[i].broadcast);
  w.U16(cfg.nameServicePort).U16(cfg.datagramPort).U16(cfg.sessionPort);
}

bool ReadServiceSettings(MsgReader& r, Config& cfg) {
  std::uint8_t count = 0;
  if (!r.U8(count) || count == 0 || count > 16) return false;
  std::vector<LanaConfig> lanas(count);
  for (LanaConfig& l : lanas)
    if (!r.U32(l.address) || !r.U32(l.broadcast) || l.address == 0) return false;
  std::uint16_t ns = 0, dg = 0, ssn = 0;
  if (!r.U16(ns) || !r.U16(dg) || !r.U16(ssn) || ns == 0 || dg == 0 || ssn == 0) return false;
  cfg.lanas = std::move(lanas);
  cfg.nameServicePort = ns;
  cfg.datagramPort = dg;
  cfg.sessionPort = ssn;
  return true;
}

std::string AddressText(std::uint32_t hostOrder) {
  in_addr a{};
  a.s_addr = htonl(hostOrder);
  char buf[INET_ADDRSTRLEN] = {};
  inet_ntop(AF_INET, &a, buf, sizeof buf);
  return buf;
}

bool ParseAddress(const std::string& text, std::uint32_t& hostOrder) {
  in_addr a{};
  if (inet_pton(AF_INET, text.c_str(), &a) != 1) return false;
  hostOrder = ntohl(a.s_addr);
  return true;
}

int OpenUdp(std::uint32_t address, std::uint16_t port, UdpSharing sharing) {
  int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  int one = 1;
  // Linux lets a socket with SO_REUSEADDR share the port with any other such socket, whoever owns
  // it (and unicast datagrams then reach only one of them); SO_REUSEPORT only with sockets of the
  // same user.
  if (sharing == UdpSharing::kAnyone) setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  if (sharing == UdpSharing::kSameUser) setsockopt(fd, SOL_SOCKET, SO_REUSEPORT, &one, sizeof one);
  setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &one, sizeof one);
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_port = htons(port);
  sa.sin_addr.s_addr = htonl(address);
  if (bind(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0) {
    const int e = errno;
    close(fd);
    errno = e;
    return -1;
  }
  return fd;
}

bool SendUdp(int fd, std::uint32_t address, std::uint16_t port, const std::vector<std::uint8_t>& data) {
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_port = htons(port);
  sa.sin_addr.s_addr = htonl(address);
  ssize_t r = sendto(fd, data.data(), data.size(), MSG_NOSIGNAL, reinterpret_cast<sockaddr*>(&sa), sizeof sa);
  return r == static_cast<ssize_t>(data.size());
}

bool ReceiveUdp(int fd, std::uint32_t ownAddress, std::uint16_t ownPort, UdpDatagram& out) {
  sockaddr_in from{};
  socklen_t fromLen = sizeof from;
  ssize_t n = recvfrom(fd, out.bytes, sizeof out.bytes, MSG_DONTWAIT, reinterpret_cast<sockaddr*>(&from),
                       &fromLen);
  if (n <= 0) return false;
  out.size = static_cast<std::size_t>(n);
  out.address = ntohl(from.sin_addr.s_addr);
  out.port = ntohs(from.sin_port);
  return !(out.address == ownAddress && out.port == ownPort);
}

MsgWriter::MsgWriter(Msg type, std::uint32_t id) {
  buf_.push_back(static_cast<std::uint8_t>(type));
  U32(id);
}

MsgWriter& MsgWriter::U8(std::uint8_t v) {
  buf_.push_back(v);
  return *this;
}

MsgWriter& MsgWriter::U16(std::uint16_t v) {
  buf_.push_back(static_cast<std::uint8_t>(v));
  buf_.push_back(static_cast<std::uint8_t>(v >> 8));
  return *this;
}

MsgWriter& MsgWriter::U32(std::uint32_t v) {
  U16(static_cast<std::uint16_t>(v));
  return U16(static_cast<std::uint16_t>(v >> 16));
}

MsgWriter& MsgWriter::NameField(const wire::Name& name) { return Bytes(name.data(), name.size()); }

MsgWriter& MsgWriter::Bytes(const std::uint8_t* p, std::size_t n) {
  if (n > 0) buf_.insert(buf_.end(), p, p + n);
  return *this;
}

bool MsgReader::U8(std::uint8_t& v) {
  if (off_ + 1 > buf_.size()) return false;
  v = buf_[off_++];
  return true;
}

bool MsgReader::U16(std::uint16_t& v) {
  std::uint8_t lo = 0, hi = 0;
  if (!U8(lo) || !U8(hi)) return false;
  v = static_cast<std::uint16_t>(lo | (hi << 8));
  return true;
}

bool MsgReader::U32(std::uint32_t& v) {
  std::uint16_t lo = 0, hi = 0;
  if (!U16(lo) || !U16(hi)) return false;
  v = lo | (static_cast<std::uint32_t>(hi) << 16);
  return true;
}

bool MsgReader::NameField(wire::Name& name) {
  if (off_ + 16 > buf_.size()) return false;
  std::memcpy(name.data(), buf_.data() + off_, 16);
  off_ += 16;
  return true;
}

std::vector<std::uint8_t> MsgReader::Rest() {
  std::vector<std::uint8_t> r(buf_.begin() + static_cast<std::ptrdiff_t>(off_), buf_.end());
  off_ = buf_.size();
  return r;
}

bool SendMsg(int fd, const std::vector<std::uint8_t>& msg, int fdToPass) {
  iovec iov{const_cast<std::uint8_t*>(msg.data()), msg.size()};
  msghdr mh{};
  mh.msg_iov = &iov;
  mh.msg_iovlen = 1;
  alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
  if (fdToPass >= 0) {
    mh.msg_control = control;
    mh.msg_controllen = sizeof control;
    cmsghdr* c = CMSG_FIRSTHDR(&mh);
    c->cmsg_level = SOL_SOCKET;
    c->cmsg_type = SCM_RIGHTS;
    c->cmsg_len = CMSG_LEN(sizeof(int));
    std::memcpy(CMSG_DATA(c), &fdToPass, sizeof(int));
  }
  for (;;) {
    ssize_t r = sendmsg(fd, &mh, MSG_NOSIGNAL);
    if (r == static_cast<ssize_t>(msg.size())) return true;
    if (r < 0 && errno == EINTR) continue;
    return false;
  }
}

int RecvMsg(int fd, std::vector<std::uint8_t>& msg, int* passedFd) {
  if (passedFd != nullptr) *passedFd = -1;
  // Room for the largest message, left uncleared: most messages are a few bytes, and clearing
  // (and so faulting in) the whole room for each of them cost more than the message itself.
  constexpr std::size_t kRoom = 70000;
  const std::unique_ptr<std::uint8_t[]> room(new std::uint8_t[kRoom]);
  iovec iov{room.get(), kRoom};
  msghdr mh{};
  mh.msg_iov = &iov;
  mh.msg_iovlen = 1;
  alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int) * 4)] = {};
  mh.msg_control = control;
  mh.msg_controllen = sizeof control;
  ssize_t r;
  do {
    r = recvmsg(fd, &mh, MSG_CMSG_CLOEXEC);
  } while (r < 0 && errno == EINTR);
  if (r < 0) {
    msg.clear();
    return -1;
  }
  for (cmsghdr* c = CMSG_FIRSTHDR(&mh); c != nullptr; c = CMSG_NXTHDR(&mh, c)) {
    if (c->cmsg_level != SOL_SOCKET || c->cmsg_type != SCM_RIGHTS) continue;
    std::size_t count = (c->cmsg_len - CMSG_LEN(0)) / sizeof(int);
    for (std::size_t i = 0; i < count; ++i) {
      int got = -1;
      std::memcpy(&got, CMSG_DATA(c) + i * sizeof(int), sizeof(int));
      if (passedFd != nullptr && *passedFd < 0) {
        *passedFd = got;
      } else {
        close(got);
      }
    }
  }
  msg.assign(room.get(), room.get() + r);
  if (r == 0) {
    if (passedFd != nullptr && *passedFd >= 0) {
      close(*passedFd);
      *passedFd = -1;
    }
    return 0;
  }
  return 1;
}

}  // namespace platform::netbios

// Which network layers of the suite this PC can use, and the mask of its own interfaces.
#include <ifaddrs.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "platform/ipx/ipx.h"
#include "platform/netbios/netbios.h"
#include "platform/netprobe/netprobe.h"

namespace platform::netprobe {

bool TcpipUsable() {
  const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  ::close(fd);
  return true;
}

bool IpxUsable() {
  if (!IpxLoadConfig().enabled) return false;
  const int fd = IpxSocket(SOCK_DGRAM);
  if (fd < 0) return false;
  IpxClose(fd);
  return true;
}

bool NetbiosUsable() {
  LANA_ENUM lanas{};
  NCB ncb{};
  ncb.ncb_command = NCBENUM;
  ncb.ncb_buffer = reinterpret_cast<unsigned char*>(&lanas);
  ncb.ncb_length = sizeof lanas;
  return Netbios(&ncb) == NRC_GOODRET && lanas.length > 0;
}

InstalledProtocols DetectInstalledProtocols() {
  InstalledProtocols p;
  p.tcpip = TcpipUsable();
  p.ipxspx = IpxUsable();
  p.netbios = NetbiosUsable();
  return p;
}

std::optional<std::uint32_t> InterfaceMask(std::uint32_t address) {
  ifaddrs* list = nullptr;
  if (::getifaddrs(&list) != 0) return std::nullopt;
  std::optional<std::uint32_t> mask;
  for (ifaddrs* ifa = list; ifa != nullptr; ifa = ifa->ifa_next) {
    if (ifa->ifa_addr == nullptr || ifa->ifa_netmask == nullptr) continue;
    if (ifa->ifa_addr->sa_family != AF_INET) continue;
    const auto* in = reinterpret_cast<const sockaddr_in*>(ifa->ifa_addr);
    if (ntohl(in->sin_addr.s_addr) != address) continue;
    mask = ntohl(reinterpret_cast<const sockaddr_in*>(ifa->ifa_netmask)->sin_addr.s_addr);
    break;
  }
  ::freeifaddrs(list);
  return mask;
}

}  // namespace platform::netprobe

#include "discovery_scanner/scanner/protocols.h"

#include <ifaddrs.h>
#include <linux/if_packet.h>
#include <net/if.h>
#include <net/if_arp.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <map>
#include <mutex>
#include <string>

#include "device_client/core/transport/text.h"
#include "platform/system_info.h"
#ifdef PSA_HAVE_IPX
#include "platform/ipx/ipx.h"
#endif

namespace lumeth {
namespace {

struct ProtocolState {
  std::mutex mu;
  int protocols = 0;
  int timeoutValue = 0;
  bool socketsStarted = false;
  bool netbiosStarted = false;
  bool addressesGiven = false;
  std::vector<LocalAddress> givenAddresses;
  std::vector<AdapterEntry> table;
  // The scanner's name per LAN adapter: 16 bytes and the name number; first byte 0 = none yet.
  std::map<UCHAR, std::array<char, 18>> nameSlots;
};

ProtocolState& State() {
  static ProtocolState state;
  return state;
}

std::int32_t MibInterfaceType(unsigned short hatype) {
  switch (hatype) {
    case ARPHRD_ETHER: return 6;
    case ARPHRD_LOOPBACK: return 24;
    case ARPHRD_PPP: return 23;
    default: return 1;
  }
}

bool ProbeSocket(int family, int type) {
  int fd = ::socket(family, type | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  ::close(fd);
  return true;
}

}  // namespace

CMibAdapterTable::CMibAdapterTable(InterfaceListSource source) : source_(std::move(source)) {}

CMibAdapterTable::~CMibAdapterTable() = default;

int CMibAdapterTable::Init() {
  initialised_ = false;
  ifaddrs* list = nullptr;
  if (!source_.read || source_.read(&list) != 0) return -3;
  if (list != nullptr && source_.release) source_.release(list);
  initialised_ = true;
  return 0;
}

bool CMibAdapterTable::Usable(const AdapterEntry& row) const {
  if (row.physicalLength == 0) return keepWithoutAddress_;
  if (row.physicalLength >= 4 && std::memcmp(row.physical, "DEST", 4) == 0) return keepDest_;
  bool allZero = true;
  for (int i = 0; i < row.physicalLength && i < 6; ++i) allZero = allZero && row.physical[i] == 0;
  return !allZero;
}

int CMibAdapterTable::Refresh(bool keepDest, bool keepWithoutAddress) {
  interfaces_.clear();
  addresses_.clear();
  keepDest_ = keepDest;
  keepWithoutAddress_ = keepWithoutAddress;
  ifaddrs* list = nullptr;
  if (!initialised_ || !source_.read || source_.read(&list) != 0) return 0;
  for (ifaddrs* a = list; a != nullptr; a = a->ifa_next) {
    if (a->ifa_addr == nullptr || a->ifa_name == nullptr) continue;
    if (a->ifa_addr->sa_family == AF_PACKET) {
      const auto* ll = reinterpret_cast<const sockaddr_ll*>(a->ifa_addr);
      AdapterEntry row;
      row.interfaceType = MibInterfaceType(ll->sll_hatype);
      // A longer hardware address is cut to the 14 bytes an entry holds; the link-layer address
      // structure carries 8 of them.
      const int length = ll->sll_halen > 14 ? 14 : ll->sll_halen;
      row.physicalLength = static_cast<std::uint8_t>(length);
      std::memcpy(row.physical, ll->sll_addr, static_cast<std::size_t>(length < 8 ? length : 8));
      std::strncpy(row.description, a->ifa_name, sizeof row.description - 1);
      interfaces_.emplace_back(a->ifa_name, row);
    } else if (a->ifa_addr->sa_family == AF_INET) {
      AddressRow row;
      // An alias label ("eth0:1") names its interface before the colon.
      row.interfaceName = a->ifa_name;
      row.interfaceName = row.interfaceName.substr(0, row.interfaceName.find(':'));
      std::memcpy(row.address.data(), &reinterpret_cast<const sockaddr_in*>(a->ifa_addr)->sin_addr, 4);
      if (a->ifa_netmask != nullptr) {
        std::memcpy(row.mask.data(), &reinterpret_cast<const sockaddr_in*>(a->ifa_netmask)->sin_addr, 4);
      }
      addresses_.push_back(row);
    }
  }
  if (source_.release) source_.release(list);
  int usable = 0;
  for (const auto& [name, row] : interfaces_) usable += Usable(row) ? 1 : 0;
  return usable;
}

int CMibAdapterTable::CopyEntries(AdapterEntry* destination, int capacity) const {
  if (destination == nullptr) return 0;
  int copied = 0;
  for (const AddressRow& address : addresses_) {
    if (copied >= capacity) break;
    const AdapterEntry* owner = nullptr;
    for (const auto& [name, row] : interfaces_) {
      if (name == address.interfaceName) {
        owner = &row;
        break;
      }
    }
    if (owner == nullptr || !Usable(*owner)) continue;
    AdapterEntry entry = *owner;
    entry.address = address.address;
    entry.mask = address.mask;
    destination[copied++] = entry;
  }
  return copied;
}

int ScanInit(int protocols, int timeoutValue, const ScannerOptions& options) {
  ProtocolState& s = State();
  std::lock_guard<std::mutex> lock(s.mu);
  int failures = 0;
  // Sockets need no start-up here; each family is probed with a socket of its own.
  if ((protocols & (kProtocolIpx | kProtocolTcpIp)) != 0) s.socketsStarted = true;
  if ((protocols & kProtocolIpx) != 0) {
#ifdef PSA_HAVE_IPX
    int fd = IpxSocket(SOCK_STREAM);
    if (fd < 0) {
      failures |= kFailIpx;
    } else {
      IpxClose(fd);
    }
#else
    failures |= kFailIpx;
#endif
  }
  if ((protocols & kProtocolTcpIp) != 0 && !ProbeSocket(AF_INET, SOCK_STREAM)) failures |= kFailTcpIp;
  if ((protocols & kProtocolNetBios) != 0 && !s.netbiosStarted) {
    NCB ncb;
    LANA_ENUM lanas{};
    if (NCBEnumLana(&ncb, &lanas) != NRC_GOODRET) {
      failures |= kFailNetBios;
    } else {
      for (int i = 0; i < lanas.length && i <= MAX_LANA; ++i) {
        SetCurrentLana(lanas.lana[i]);
        NCBReset(&ncb, 0, 0);
        s.nameSlots[lanas.lana[i]] = {};
      }
      s.netbiosStarted = true;
    }
  }
  s.protocols = protocols;
  s.timeoutValue = timeoutValue;
  s.addressesGiven = options.addressesGiven;
  s.givenAddresses = options.addresses;
  if ((protocols & kProtocolTcpIp) != 0 && (failures & kFailTcpIp) != kFailTcpIp) {
    if (options.addressesGiven) {
      s.table.clear();
      for (const LocalAddress& a : options.addresses) {
        if (s.table.size() >= kMaxAdapters) break;
        AdapterEntry e;
        e.address = a.address;
        e.mask = a.mask;
        s.table.push_back(e);
      }
    } else {
      // The table holds the usable addresses (a failing interface list leaves it empty); the
      // subnet test looks through all of them.
      s.table.clear();
      CMibAdapterTable adapters;
      if (adapters.Init() >= 0 && adapters.Refresh(false, false) > 0) {
        AdapterEntry entries[kMaxAdapters];
        s.table.assign(entries, entries + adapters.CopyEntries(entries, kMaxAdapters));
      }
    }
  }
  return failures;
}

void ScanExit() {
  ProtocolState& s = State();
  std::lock_guard<std::mutex> lock(s.mu);
  s.socketsStarted = false;
  if (s.netbiosStarted) {
    s.nameSlots.clear();
    s.netbiosStarted = false;
  }
  s.table.clear();
}

int StartedProtocols() {
  ProtocolState& s = State();
  std::lock_guard<std::mutex> lock(s.mu);
  return s.protocols;
}

int GetInterfaceMask(const std::uint8_t* address, std::uint8_t* mask) {
  ProtocolState& s = State();
  std::lock_guard<std::mutex> lock(s.mu);
  for (const AdapterEntry& e : s.table) {
    if (std::memcmp(e.address.data(), address, 4) == 0) {
      std::memcpy(mask, e.mask.data(), 4);
      return 1;
    }
  }
  return 0;
}

std::array<std::uint8_t, 4> SubnetMaskFor(const std::array<std::uint8_t, 4>& address) {
  std::array<std::uint8_t, 4> mask{255, 255, 255, 255};
  if (GetInterfaceMask(address.data(), mask.data()) == 1) return mask;
  ifaddrs* list = nullptr;
  if (::getifaddrs(&list) != 0) return mask;
  for (ifaddrs* a = list; a != nullptr; a = a->ifa_next) {
    if (a->ifa_addr == nullptr || a->ifa_addr->sa_family != AF_INET || a->ifa_netmask == nullptr) continue;
    if (std::memcmp(&reinterpret_cast<const sockaddr_in*>(a->ifa_addr)->sin_addr, address.data(), 4) == 0) {
      std::memcpy(mask.data(), &reinterpret_cast<const sockaddr_in*>(a->ifa_netmask)->sin_addr, 4);
      break;
    }
  }
  ::freeifaddrs(list);
  return mask;
}

std::vector<std::array<std::uint8_t, 4>> LocalAddresses() {
  std::vector<std::array<std::uint8_t, 4>> out;
  {
    ProtocolState& s = State();
    std::lock_guard<std::mutex> lock(s.mu);
    if (s.addressesGiven) {
      for (const LocalAddress& a : s.givenAddresses) {
        if (out.size() >= kMaxLocalAddresses) break;
        out.push_back(a.address);
      }
      return out;
    }
  }
  std::uint8_t addresses[kMaxLocalAddresses][4];
  int count = 0;
  if (!core::EnumBindIp(addresses, kMaxLocalAddresses, &count)) return out;
  for (int i = 0; i < count; ++i) {
    std::array<std::uint8_t, 4> a{};
    std::memcpy(a.data(), addresses[i], 4);
    out.push_back(a);
  }
  return out;
}

namespace nb {

int GetAvailableName(NCB* ncb, char (&name)[17], UCHAR* nameNumber) {
  ProtocolState& s = State();
  const UCHAR lana = CurrentLana();
  {
    std::lock_guard<std::mutex> lock(s.mu);
    auto it = s.nameSlots.find(lana);
    if (it != s.nameSlots.end() && it->second[0] != 0) {
      std::memcpy(name, it->second.data(), 16);
      name[16] = '\0';
      *nameNumber = static_cast<UCHAR>(it->second[16]);
      return 1;
    }
  }
  const std::string computer = platform::ComputerName();
  char candidate[17];
  if (RegisterLocalName(ncb, computer.c_str(), wire::kLocalNameSuffixBase, candidate) != NRC_GOODRET)
    return 0;
  std::lock_guard<std::mutex> lock(s.mu);
  std::array<char, 18> slot{};
  std::memcpy(slot.data(), candidate, 16);
  slot[16] = static_cast<char>(ncb->ncb_num);
  s.nameSlots[lana] = slot;
  std::memcpy(name, candidate, 17);
  *nameNumber = ncb->ncb_num;
  return 1;
}

}  // namespace nb
}  // namespace lumeth

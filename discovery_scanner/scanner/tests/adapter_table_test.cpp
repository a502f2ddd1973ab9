// The adapter table over interface lists of the tests' own (getifaddrs shapes): which interfaces
// count, which addresses become entries, and the machine's own list through ScanInit.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <linux/if_packet.h>
#include <net/if_arp.h>
#include <netinet/in.h>

#include <cstring>
#include <deque>
#include <string>
#include <vector>

#include "discovery_scanner/scanner/protocols.h"

namespace lumeth {
namespace {

// An interface list as getifaddrs would give it, kept alive by the object.
class FakeInterfaces {
 public:
  // A link-layer entry: hardware type and address.
  FakeInterfaces& Link(const char* name, unsigned short hatype, std::vector<std::uint8_t> physical) {
    auto& ll = links_.emplace_back();
    ll = {};
    ll.sll_family = AF_PACKET;
    ll.sll_hatype = hatype;
    ll.sll_halen = static_cast<unsigned char>(physical.size());
    if (!physical.empty()) std::memcpy(ll.sll_addr, physical.data(), physical.size() < 8 ? physical.size() : 8);
    Add(name, reinterpret_cast<sockaddr*>(&ll), nullptr);
    return *this;
  }
  FakeInterfaces& Inet(const char* name, const char* address, const char* mask) {
    auto& a = inets_.emplace_back();
    a = {};
    a.sin_family = AF_INET;
    ::inet_pton(AF_INET, address, &a.sin_addr);
    auto& m = inets_.emplace_back();
    m = {};
    m.sin_family = AF_INET;
    ::inet_pton(AF_INET, mask, &m.sin_addr);
    Add(name, reinterpret_cast<sockaddr*>(&a), reinterpret_cast<sockaddr*>(&m));
    return *this;
  }
  FakeInterfaces& Inet6(const char* name) {
    auto& a = inet6s_.emplace_back();
    a = {};
    a.sin6_family = AF_INET6;
    Add(name, reinterpret_cast<sockaddr*>(&a), nullptr);
    return *this;
  }

  InterfaceListSource Source() {
    InterfaceListSource source;
    source.read = [this](ifaddrs** list) {
      for (std::size_t i = 0; i < entries_.size(); ++i) {
        entries_[i].ifa_next = i + 1 < entries_.size() ? &entries_[i + 1] : nullptr;
      }
      *list = entries_.empty() ? nullptr : &entries_[0];
      ++reads;
      return 0;
    };
    source.release = [this](ifaddrs*) { ++releases; };
    return source;
  }

  int reads = 0;
  int releases = 0;

 private:
  void Add(const char* name, sockaddr* address, sockaddr* mask) {
    ifaddrs& e = entries_.emplace_back();
    e = {};
    e.ifa_name = const_cast<char*>(names_.emplace_back(name).c_str());
    e.ifa_addr = address;
    e.ifa_netmask = mask;
  }

  std::deque<std::string> names_;
  std::deque<sockaddr_ll> links_;
  std::deque<sockaddr_in> inets_;
  std::deque<sockaddr_in6> inet6s_;
  std::deque<ifaddrs> entries_;
};

std::string Dotted(const std::array<std::uint8_t, 4>& a) {
  return std::to_string(a[0]) + "." + std::to_string(a[1]) + "." + std::to_string(a[2]) + "." + std::to_string(a[3]);
}

const std::vector<std::uint8_t> kMac = {0x00, 0x40, 0x01, 0x12, 0x34, 0x56};

TEST(AdapterTableTest, OnlyAddressesOfUsableInterfacesBecomeEntries) {
  FakeInterfaces list;
  list.Link("lo", ARPHRD_LOOPBACK, {0, 0, 0, 0, 0, 0}).Inet("lo", "127.0.0.1", "255.0.0.0");
  list.Link("eth0", ARPHRD_ETHER, kMac).Inet("eth0", "192.168.1.10", "255.255.255.0");
  list.Link("eth1", ARPHRD_ETHER, {0x00, 0x40, 0x01, 0, 0, 2}).Inet6("eth1");  // no IPv4 address
  list.Link("ppp0", ARPHRD_PPP, {'D', 'E', 'S', 'T', 0x01, 0x02}).Inet("ppp0", "10.64.0.2", "255.255.255.255");
  list.Link("tun0", ARPHRD_NONE, {}).Inet("tun0", "10.8.0.1", "255.255.255.0");
  list.Inet("eth0:1", "10.0.0.5", "255.255.0.0");         // an alias of eth0
  list.Inet("ghost", "172.16.0.1", "255.255.0.0");        // an interface the list does not describe
  list.Link("ib0", ARPHRD_INFINIBAND, std::vector<std::uint8_t>(20, 0x80)).Inet("ib0", "10.9.0.1", "255.255.255.0");

  CMibAdapterTable table(list.Source());
  ASSERT_EQ(table.Init(), 0);
  // Usable interfaces: eth0, eth1 (without IPv4, still an interface) and ib0.
  EXPECT_EQ(table.Refresh(false, false), 3);
  EXPECT_EQ(table.InterfaceCount(), 6);
  AdapterEntry entries[kMaxAdapters];
  ASSERT_EQ(table.CopyEntries(entries, kMaxAdapters), 3);
  EXPECT_EQ(Dotted(entries[0].address), "192.168.1.10");
  EXPECT_EQ(Dotted(entries[0].mask), "255.255.255.0");
  EXPECT_EQ(entries[0].interfaceType, 6);
  EXPECT_EQ(entries[0].physicalLength, 6);
  EXPECT_EQ(std::memcmp(entries[0].physical, kMac.data(), 6), 0);
  EXPECT_STREQ(entries[0].description, "eth0");
  EXPECT_EQ(Dotted(entries[1].address), "10.0.0.5");  // the alias takes its interface's details
  EXPECT_EQ(Dotted(entries[1].mask), "255.255.0.0");
  EXPECT_STREQ(entries[1].description, "eth0");
  EXPECT_EQ(Dotted(entries[2].address), "10.9.0.1");
  EXPECT_EQ(entries[2].physicalLength, 14);  // a longer hardware address is cut to the entry's 14 bytes
  EXPECT_EQ(list.reads, list.releases);

  // The filter switches let the dial-up ("DEST") and the address-less interfaces in.
  EXPECT_EQ(table.Refresh(true, true), 5);
  ASSERT_EQ(table.CopyEntries(entries, kMaxAdapters), 5);
  EXPECT_EQ(Dotted(entries[1].address), "10.64.0.2");
  EXPECT_EQ(Dotted(entries[2].address), "10.8.0.1");
  EXPECT_EQ(entries[2].physicalLength, 0);
}

TEST(AdapterTableTest, MoreUsableAddressesThanTheTableHoldsKeepTheFirst) {
  FakeInterfaces list;
  list.Link("eth0", ARPHRD_ETHER, kMac);
  for (int i = 1; i <= 12; ++i) {
    static std::deque<std::string> addresses;
    list.Inet("eth0", addresses.emplace_back("10.1.0." + std::to_string(i)).c_str(), "255.255.255.0");
  }
  CMibAdapterTable table(list.Source());
  ASSERT_EQ(table.Init(), 0);
  EXPECT_EQ(table.Refresh(false, false), 1);
  AdapterEntry entries[kMaxAdapters];
  ASSERT_EQ(table.CopyEntries(entries, kMaxAdapters), kMaxAdapters);
  EXPECT_EQ(Dotted(entries[kMaxAdapters - 1].address), "10.1.0.10");
  EXPECT_EQ(table.CopyEntries(nullptr, kMaxAdapters), 0);
}

TEST(AdapterTableTest, AnUnreadableListLeavesTheTableEmpty) {
  InterfaceListSource failing;
  failing.read = [](ifaddrs**) { return -1; };
  CMibAdapterTable table(failing);
  EXPECT_EQ(table.Init(), -3);
  EXPECT_EQ(table.Refresh(false, false), 0);
  AdapterEntry entries[kMaxAdapters];
  EXPECT_EQ(table.CopyEntries(entries, kMaxAdapters), 0);

  FakeInterfaces empty;
  CMibAdapterTable none(empty.Source());
  EXPECT_EQ(none.Init(), 0);
  EXPECT_EQ(none.Refresh(false, false), 0);
  EXPECT_EQ(none.CopyEntries(entries, kMaxAdapters), 0);
}

TEST(AdapterTableTest, TheMachinesLoopbackGetsNoEntry) {
  ScannerOptions options;  // the machine's own interfaces
  ScanInit(kProtocolTcpIp, 20, options);
  const std::uint8_t loopback[4] = {127, 0, 0, 1};
  std::uint8_t mask[4] = {1, 2, 3, 4};
  EXPECT_EQ(GetInterfaceMask(loopback, mask), 0);
  EXPECT_EQ(mask[0], 1);  // untouched
  ScanExit();
}

}  // namespace
}  // namespace lumeth

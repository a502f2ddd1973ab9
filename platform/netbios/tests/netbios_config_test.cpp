#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "platform/netbios/nb_common.h"
#include "platform/profile.h"
#include "platform/test_support/temp_root.h"

namespace nb = platform::netbios;

namespace {

class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) {
      old_ = old;
      had_ = true;
    }
    if (value != nullptr) setenv(name, value, 1);
    else unsetenv(name);
  }
  ~ScopedEnv() {
    if (had_) setenv(name_, old_.c_str(), 1);
    else unsetenv(name_);
  }

 private:
  const char* name_;
  std::string old_;
  bool had_ = false;
};

std::vector<std::string> Lanas(const nb::Config& c) {
  std::vector<std::string> out;
  for (const auto& l : c.lanas) out.push_back(nb::AddressText(l.address) + "/" + nb::AddressText(l.broadcast));
  return out;
}

TEST(NetbiosConfig, FileAndEnvironmentGiveLanasPortsAndWaits) {
  platform::testing::TempRoot root;
  ScopedEnv noLanas("PSADMIN_NB_LANAS", nullptr);
  ScopedEnv noPort("PSADMIN_NB_NAME_PORT", nullptr);
  const char* ini = "netbios.ini";
  WritePrivateProfileString("NetBIOS", "Lana0Address", "127.0.0.2", ini);
  WritePrivateProfileString("NetBIOS", "Lana1Address", "10.1.2.3", ini);
  WritePrivateProfileString("NetBIOS", "Lana1Broadcast", "10.1.2.127", ini);
  WritePrivateProfileString("NetBIOS", "Lana3Address", "127.0.0.9", ini);  // after a gap: not read
  WritePrivateProfileString("NetBIOS", "DatagramPort", "20138", ini);
  WritePrivateProfileString("NetBIOS", "SessionPort", "99999", ini);  // out of range: default
  WritePrivateProfileString("NetBIOS", "QueryRetries", "5", ini);
  nb::Config c = nb::LoadConfig();
  EXPECT_EQ(Lanas(c), (std::vector<std::string>{"127.0.0.2/127.255.255.255", "10.1.2.3/10.1.2.127"}));
  EXPECT_EQ(c.nameServicePort, 137);
  EXPECT_EQ(c.datagramPort, 20138);
  EXPECT_EQ(c.sessionPort, 139);
  EXPECT_EQ(c.queryRetries, 5);

  struct Case {
    const char* lanas;
    std::vector<std::string> expected;
  };
  const Case cases[] = {
      {"127.0.0.5/127.0.0.255,127.0.0.6", {"127.0.0.5/127.0.0.255", "127.0.0.6/127.255.255.255"}},
      {"bogus,127.0.0.7", {"127.0.0.7/127.255.255.255"}},
      {"192.168.7.9", {"192.168.7.9/192.168.7.255"}},
  };
  for (const Case& k : cases) {
    ScopedEnv env("PSADMIN_NB_LANAS", k.lanas);
    ScopedEnv port("PSADMIN_NB_NAME_PORT", "21137");
    nb::Config e = nb::LoadConfig();
    EXPECT_EQ(Lanas(e), k.expected) << k.lanas;
    EXPECT_EQ(e.nameServicePort, 21137);
  }
}

// A LANA given by its address alone broadcasts as the interface holding that address does: every
// IPv4 address of this machine, as the kernel's own interface list reports it.
TEST(NetbiosConfig, AnAddressAloneTakesTheBroadcastOfItsInterface) {
  platform::testing::TempRoot root;
  ifaddrs* list = nullptr;
  ASSERT_EQ(getifaddrs(&list), 0);
  int checked = 0;
  for (ifaddrs* i = list; i != nullptr; i = i->ifa_next) {
    if (i->ifa_addr == nullptr || i->ifa_addr->sa_family != AF_INET) continue;
    const std::string address = nb::AddressText(ntohl(reinterpret_cast<sockaddr_in*>(i->ifa_addr)->sin_addr.s_addr));
    std::string expected;
    if ((i->ifa_flags & IFF_BROADCAST) != 0 && i->ifa_broadaddr != nullptr) {
      expected = nb::AddressText(ntohl(reinterpret_cast<sockaddr_in*>(i->ifa_broadaddr)->sin_addr.s_addr));
    } else if (address.rfind("127.", 0) == 0) {
      expected = "127.255.255.255";  // the loopback has no broadcast of its own
    } else {
      continue;
    }
    ScopedEnv env("PSADMIN_NB_LANAS", address.c_str());
    EXPECT_EQ(Lanas(nb::LoadConfig()), (std::vector<std::string>{address + "/" + expected})) << i->ifa_name;
    ++checked;
  }
  freeifaddrs(list);
  EXPECT_GT(checked, 0);
}

}  // namespace

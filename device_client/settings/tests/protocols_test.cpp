#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "device_client/settings/com_method.h"
#include "platform/registry.h"
#include "platform/test_support/temp_root.h"

namespace {

void CreateKeys(const std::vector<std::string>& keys) {
  for (const std::string& subKey : keys) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyEx(HKEY_LOCAL_MACHINE, subKey.c_str(), KEY_WRITE, &key, nullptr),
              ERROR_SUCCESS)
        << subKey;
    RegCloseKey(key);
  }
}

TEST(ComMethodVersionClass, ReportedVersionsMapToTheirClass) {
  struct Case {
    unsigned platformId, major, minor;
    int expected;
  };
  const Case cases[] = {
      {1, 4, 0, 1},   {1, 4, 9, 1},  {1, 4, 10, 2}, {1, 4, 90, 2}, {1, 5, 0, 0},
      {2, 3, 51, 3},  {2, 3, 50, 0}, {2, 4, 0, 4},  {2, 4, 1, 0},  {2, 5, 0, 5},
      {2, 5, 1, 6},   {2, 5, 2, 0},  {2, 6, 0, 7},  {2, 10, 0, 7}, {0, 5, 0, 0},
      {3, 6, 0, 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(CComMethod::WindowsVersionClassOf(c.platformId, c.major, c.minor), c.expected)
        << c.platformId << " " << c.major << "." << c.minor;
  }
  EXPECT_EQ(CComMethod::GetWindowsVersionClass(), 5);
}

TEST(ComMethodProtocols, KeysOfTheVersionClassDecide) {
  const std::string k9xIpx = "Enum\\Network\\NWLINK", k9xTcp = "Enum\\Network\\MSTCP",
                    k9xNb = "Enum\\Network\\NETBEUI";
  const std::string kNt4Ipx = "SOFTWARE\\Microsoft\\NwlnkSpx\\CurrentVersion",
                    kNt4Tcp = "SOFTWARE\\Microsoft\\Tcpip\\CurrentVersion",
                    kNt4Nb = "SOFTWARE\\Microsoft\\Nbf\\CurrentVersion";
  const std::string kNt5Ipx = "SYSTEM\\CurrentControlSet\\Services\\NwlnkIpx",
                    kNt5Tcp = "SYSTEM\\CurrentControlSet\\Services\\Tcpip",
                    kNt5Nb = "SYSTEM\\CurrentControlSet\\Services\\Nbf";
  struct Case {
    int versionClass;
    std::vector<std::string> keys;
    bool ipv4;
    int ipx, tcpip, netbeui;
    bool result;
  };
  const std::vector<Case> cases = {
      {1, {k9xIpx, k9xTcp, k9xNb}, false, 1, 1, 1, true},
      {2, {k9xTcp}, false, 0, 1, 0, true},
      {2, {kNt5Ipx, kNt5Tcp, kNt5Nb}, false, 0, 0, 0, false},  // other class's keys
      {3, {kNt4Nb}, false, 0, 0, 1, true},
      {4, {kNt4Ipx, kNt4Tcp}, false, 1, 1, 0, true},
      {5, {kNt5Ipx, kNt5Tcp, kNt5Nb}, false, 1, 1, 1, true},
      {5, {}, false, 0, 0, 0, false},
      {5, {}, true, 0, 1, 0, true},  // an IPv4 stack counts as TCP/IP
      {5, {kNt5Nb}, false, 0, 0, 1, true},
      {7, {kNt5Ipx}, false, 1, 0, 0, true},
      {6, {kNt5Ipx, kNt5Tcp, kNt5Nb}, false, 1, 1, 0, true},
      {6, {kNt5Nb}, false, 0, 0, 0, false},  // NetBEUI is never looked up on class 6
      {0, {kNt5Ipx, kNt5Tcp, kNt5Nb}, true, 0, 0, 0, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("class " + std::to_string(c.versionClass) + " keys " +
                 std::to_string(c.keys.size()) + (c.ipv4 ? " ipv4" : ""));
    platform::testing::TempRoot root;
    CreateKeys(c.keys);
    int ipx = -1, tcpip = -1, netbeui = -1;
    EXPECT_EQ(CComMethod::DetectInstalledProtocolsForClass(c.versionClass, c.ipv4, ipx, tcpip,
                                                           netbeui),
              c.result);
    EXPECT_EQ(ipx, c.ipx);
    EXPECT_EQ(tcpip, c.tcpip);
    EXPECT_EQ(netbeui, c.netbeui);
  }
}

TEST(ComMethodProtocols, StandInsRegisterEveryProtocolTheyOffer) {
  platform::testing::TempRoot root;
  int ipx = -1, tcpip = -1, netbeui = -1;
  EXPECT_EQ(CComMethod::DetectInstalledProtocols(ipx, tcpip, netbeui),
            CComMethod::Ipv4Available());
  EXPECT_EQ(ipx, 0);
  EXPECT_EQ(tcpip, CComMethod::Ipv4Available() ? 1 : 0);
  EXPECT_EQ(netbeui, 0);

  ASSERT_TRUE(RegisterStandInProtocols());
  ASSERT_TRUE(RegisterStandInProtocols());  // again: the keys already exist
  EXPECT_TRUE(CComMethod::DetectInstalledProtocols(ipx, tcpip, netbeui));
  EXPECT_EQ(ipx, 1);
  EXPECT_EQ(tcpip, 1);
  EXPECT_EQ(netbeui, 1);
}

}  // namespace

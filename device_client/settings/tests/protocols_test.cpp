#include <gtest/gtest.h>

#include <cstdlib>

#include <string>
#include <vector>

#include "device_client/settings/com_method.h"
#include "platform/netprobe/netprobe.h"
#include "platform/test_support/temp_root.h"

namespace {

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

TEST(ComMethodProtocols, ThePlatformsAnswerDecidesWithinTheVersionClass) {
  using Layers = platform::netprobe::InstalledProtocols;
  struct Case {
    int versionClass;
    Layers layers;  // TCP/IP, IPX/SPX, NetBIOS
    int ipx, tcpip, netbeui;
    bool result;
  };
  const std::vector<Case> cases = {
      {5, {true, true, true}, 1, 1, 1, true},
      {5, {true, false, false}, 0, 1, 0, true},
      {5, {false, false, true}, 0, 0, 1, true},
      {5, {false, false, false}, 0, 0, 0, false},
      {1, {false, true, false}, 1, 0, 0, true},
      {7, {true, true, true}, 1, 1, 1, true},
      {6, {true, true, true}, 1, 1, 0, true},     // NetBEUI is never there on class 6
      {6, {false, false, true}, 0, 0, 0, false},
      {0, {true, true, true}, 0, 0, 0, false},    // an unknown class has none
      {8, {true, true, true}, 0, 0, 0, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("class " + std::to_string(c.versionClass));
    int ipx = -1, tcpip = -1, netbeui = -1;
    EXPECT_EQ(CComMethod::DetectInstalledProtocolsForClass(c.versionClass, c.layers, ipx, tcpip, netbeui), c.result);
    EXPECT_EQ(ipx, c.ipx);
    EXPECT_EQ(tcpip, c.tcpip);
    EXPECT_EQ(netbeui, c.netbeui);
  }
}

TEST(ComMethodProtocols, TheConsoleGivesThePlatformsAnswer) {
  platform::testing::TempRoot root;
  for (const char* ipxEnabled : {"0", "1"}) {
    SCOPED_TRACE(std::string("IPX stand-in enabled ") + ipxEnabled);
    ASSERT_EQ(::setenv("PSADMIN_IPX_ENABLED", ipxEnabled, 1), 0);
    const platform::netprobe::InstalledProtocols pc = platform::netprobe::DetectInstalledProtocols();
    int ipx = -1, tcpip = -1, netbeui = -1;
    EXPECT_EQ(CComMethod::DetectInstalledProtocols(ipx, tcpip, netbeui), pc.tcpip || pc.ipxspx || pc.netbios);
    EXPECT_EQ(ipx, pc.ipxspx ? 1 : 0);
    EXPECT_EQ(tcpip, pc.tcpip ? 1 : 0);
    EXPECT_EQ(netbeui, pc.netbios ? 1 : 0);
    if (std::string(ipxEnabled) == "0") {
      EXPECT_EQ(ipx, 0);
    }
  }
  ::unsetenv("PSADMIN_IPX_ENABLED");
}

}  // namespace

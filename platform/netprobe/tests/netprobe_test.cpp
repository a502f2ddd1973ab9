#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/netprobe/netprobe.h"
#include "platform/test_support/temp_root.h"

namespace netprobe = platform::netprobe;

namespace {

struct SmbConfCase {
  const char* text;
  std::optional<std::string> expected;
};

TEST(SmbConfWorkgroup, ReadsTheGlobalSettingAsSambaDoes) {
  const SmbConfCase cases[] = {
      {"[global]\n   workgroup = OFFICE\n", "OFFICE"},
      {"workgroup=EARLY\n[global]\n", "EARLY"},                      // before any section: global
      {"[global]\nworkgroup = A\n[homes]\nworkgroup = B\n", "A"},    // other sections ignored
      {"[global]\nworkgroup = A\n[GLOBAL]\nworkgroup = C\n", "C"},   // last setting wins
      {"[global]\n  Work Group = SPACED \r\n", "SPACED"},             // names ignore blanks, case
      {"[global]\n# workgroup = NO\n; workgroup = NO\n", "WORKGROUP"},
      {"", "WORKGROUP"},                                             // Samba's default
      {"[global]\nworkgroup = LONG\\\nER\n", "LONGER"},              // continued line
      {"[global]\nworkgroup = \n", std::nullopt},                    // empty value
      {"[global]\nworkgroup = SIXTEEN_CHARS_XX\n", std::nullopt},     // longer than 15
      {"[global]\nworkgroup = BAD\x01NAME\n", std::nullopt},          // control character
      {"[global]\nworkgroup = H\xC3\xA9LLO\n", std::nullopt},         // not plain ASCII
      {"[global\nworkgroup = UNCLOSED\n", "UNCLOSED"},               // unclosed header
  };
  for (const SmbConfCase& c : cases) {
    EXPECT_EQ(netprobe::ParseSmbConfWorkgroup(c.text), c.expected) << c.text;
  }
}

TEST(ToolOutput, SmbtreeListsTheUnindentedNames) {
  EXPECT_EQ(netprobe::ParseSmbtreeDomains("OFFICE\n\t\\\\SERVER\t\tSamba\nHOME\r\noffice\n\n"),
            (std::vector<std::string>{"OFFICE", "HOME"}));
  EXPECT_EQ(netprobe::ParseSmbtreeDomains("\\\\HOST\nWAY_TOO_LONG_FOR_NETBIOS\nOK\x7F\n"),
            std::vector<std::string>{});
}

TEST(ToolOutput, NmblookupMastersAreTheAnsweringAddresses) {
  const char* text =
      "querying __MSBROWSE__ on 192.168.1.255\n"
      "192.168.1.5 __MSBROWSE__<01>\n"
      "10.0.0.7 __MSBROWSE__<01>\n"
      "192.168.1.5 __MSBROWSE__<01>\n"
      "999.1.1.1 __MSBROWSE__<01>\n"
      "1.2.3 __MSBROWSE__<01>\n"
      "name_query failed to find name __MSBROWSE__\n";
  EXPECT_EQ(netprobe::ParseNmblookupMasters(text),
            (std::vector<std::string>{"192.168.1.5", "10.0.0.7"}));
}

TEST(ToolOutput, NodeStatusGivesTheGroupNamesOfSuffix00) {
  const char* text =
      "Looking up status of 192.168.1.5\n"
      "\tSERVER          <00> -         B <ACTIVE> \n"
      "\tOFFICE          <00> - <GROUP> B <ACTIVE> \n"
      "\tOFFICE          <1e> - <GROUP> B <ACTIVE> \n"
      "\tSALES DEPT      <00> - <GROUP> B <ACTIVE> \n"
      "\t..__MSBROWSE__. <01> - <GROUP> B <ACTIVE> \n"
      "<00> - <GROUP>\n"
      "\n\tMAC Address = 00-00-00-00-00-00\n";
  EXPECT_EQ(netprobe::ParseNodeStatusGroups(text),
            (std::vector<std::string>{"OFFICE", "SALES DEPT"}));
}

// A folder of fake tools put in front of the PATH for one test.
class FakeTools : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = root_.path() + "/bin";
    ::mkdir(dir_.c_str(), 0755);
    const char* path = std::getenv("PATH");
    oldPath_ = path != nullptr ? path : "";
    ::setenv("PATH", (dir_ + ":/usr/bin:/bin").c_str(), 1);
  }
  void TearDown() override { ::setenv("PATH", oldPath_.c_str(), 1); }
  void Tool(const std::string& name, const std::string& script) {
    const std::string file = dir_ + "/" + name;
    std::ofstream(file) << "#!/bin/sh\n" << script;
    ::chmod(file.c_str(), 0755);
  }
  platform::testing::TempRoot root_;
  std::string dir_;
  std::string oldPath_;
};

TEST_F(FakeTools, SmbtreeAnswersFirst) {
  Tool("smbtree", "printf 'OFFICE\\n\\t\\\\\\\\HOST\\nHOME\\n'\n");
  Tool("nmblookup", "echo 'never asked' >&2; exit 1\n");
  EXPECT_EQ(netprobe::ListWorkgroups(), (std::vector<std::string>{"OFFICE", "HOME"}));
}

TEST_F(FakeTools, NmblookupAsksEveryMasterWhenSmbtreeIsMissing) {
  Tool("nmblookup",
       "if [ \"$1\" = -M ]; then printf '10.1.1.1 __MSBROWSE__<01>\\n10.1.1.2 __MSBROWSE__<01>\\n';"
       " exit 0; fi\n"
       "case \"$2\" in 10.1.1.1) printf '\\tA   <00> - <GROUP> B <ACTIVE>\\n';;"
       " *) printf '\\ta   <00> - <GROUP> B <ACTIVE>\\n\\tB   <00> - <GROUP> B <ACTIVE>\\n';; esac\n");
  EXPECT_EQ(netprobe::ListWorkgroups(), (std::vector<std::string>{"A", "B"}));
}

TEST_F(FakeTools, NoToolsGiveAnEmptyList) {
  ::setenv("PATH", dir_.c_str(), 1);
  EXPECT_TRUE(netprobe::ListWorkgroups().empty());
}

TEST_F(FakeTools, AToolThatHangsIsKilledAtTheTimeOut) {
  Tool("hang", "echo partial; exec sleep 600\n");
  platform::FakeClock clock;
  platform::ScopedClock scoped(&clock);
  std::string out;
  EXPECT_FALSE(netprobe::RunTool({"hang"}, out, 5000));
  EXPECT_GE(clock.WaitedMs(), 5000);
}

// A tool that closes its output but goes on running is held to the same time: the end of its
// output is no end of the wait for it.
TEST_F(FakeTools, AToolThatClosesItsOutputAndStaysIsKilledAtTheTimeOut) {
  Tool("closer", "echo OFFICE; exec >&-; exec sleep 20\n");
  platform::FakeClock clock;
  platform::ScopedClock scoped(&clock);
  std::string out;
  EXPECT_FALSE(netprobe::RunTool({"closer"}, out, 5000));
  EXPECT_GE(clock.WaitedMs(), 5000);
}

// However slowly the tools answer, the look-up ends a few seconds after its start, with what the
// masters that did answer named: a browser that hangs never holds the window for long.
TEST_F(FakeTools, TheWholeLookUpEndsWithinAFewSecondsOfItsStart) {
  Tool("smbtree", "exec sleep 600\n");
  Tool("nmblookup",
       "if [ \"$1\" = -M ]; then i=1; while [ $i -le 16 ]; do echo \"10.1.1.$i __MSBROWSE__<01>\"; i=$((i+1)); done;"
       " exit 0; fi\n"
       "case \"$2\" in 10.1.1.1) printf '\\tFIRST   <00> - <GROUP> B <ACTIVE>\\n';; *) exec sleep 600;; esac\n");
  platform::FakeClock clock;
  platform::ScopedClock scoped(&clock);
  EXPECT_EQ(netprobe::ListWorkgroups(), std::vector<std::string>{"FIRST"});
  EXPECT_LE(clock.WaitedMs(), 5000);
}

TEST_F(FakeTools, OutputIsCappedAndAFailedStatusCounts) {
  Tool("chatty", "yes x | head -c 100000\n");
  Tool("failing", "echo OFFICE; exit 3\n");
  std::string out;
  netprobe::RunTool({"chatty"}, out, 5000, 1000);
  EXPECT_EQ(out.size(), 1000u);
  EXPECT_FALSE(netprobe::RunTool({"failing"}, out, 5000));
  EXPECT_FALSE(netprobe::RunTool({"no-such-tool-here"}, out, 5000));
}

TEST(DefaultWorkgroup, ComesFromTheConfiguredFileAndLeavesTheTextWhenItIsMissing) {
  platform::testing::TempRoot root;
  const std::string file = root.path() + "/smb.conf";
  ::setenv("PSADMIN_SMB_CONF", file.c_str(), 1);
  std::string name = "KEPT";
  EXPECT_FALSE(netprobe::ReadDefaultWorkgroup(name));
  EXPECT_EQ(name, "KEPT");
  std::ofstream(file) << "[global]\nworkgroup = OFFICE\n";
  EXPECT_TRUE(netprobe::ReadDefaultWorkgroup(name));
  EXPECT_EQ(name, "OFFICE");
  ::unsetenv("PSADMIN_SMB_CONF");
}

TEST(Layers, TcpipIsUsableHere) { EXPECT_TRUE(netprobe::TcpipUsable()); }

TEST(Layers, TheProtocolsThisPcHasAreItsUsableLayers) {
  platform::testing::TempRoot root;
  ASSERT_EQ(::setenv("PSADMIN_IPX_ENABLED", "0", 1), 0);
  const netprobe::InstalledProtocols off = netprobe::DetectInstalledProtocols();
  EXPECT_TRUE(off.tcpip);
  EXPECT_FALSE(off.ipxspx);
  EXPECT_EQ(off.netbios, netprobe::NetbiosUsable());
  ASSERT_EQ(::setenv("PSADMIN_IPX_ENABLED", "1", 1), 0);
  EXPECT_EQ(netprobe::DetectInstalledProtocols().ipxspx, netprobe::IpxUsable());
  ::unsetenv("PSADMIN_IPX_ENABLED");
}

TEST(Echo, TheRealProberHearsLoopback) {
  std::unique_ptr<netprobe::EchoProber> prober = netprobe::MakeIcmpProber();
  if (!prober->Open()) GTEST_SKIP() << "no ICMP socket may be opened here";
  const std::uint8_t payload[4] = {'a', 'b', 'c', 'd'};
  EXPECT_TRUE(prober->Echo(0x7F000001u, payload, sizeof payload, 1000));
  prober->Close();
}

TEST(Interfaces, LoopbackHasItsMask) {
  EXPECT_EQ(netprobe::InterfaceMask(0x7F000001u), std::optional<std::uint32_t>(0xFF000000u));
  EXPECT_EQ(netprobe::InterfaceMask(0x01020304u), std::nullopt);
}

}  // namespace

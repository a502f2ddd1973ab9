// The service's UDP ports are its own: no other socket, of another user or of its own, can bind
// them while it runs, and a second service on the same address and ports fails with its reason
// instead of sharing them.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/netbios/netbios.h"
#include "platform/netbios/tests/nb_test_env.h"
#include "platform/paths.h"
#include "platform/test_support/temp_root.h"
#include "platform/test_support/files.h"

namespace {

using platform::testing::ReadFile;

using nbtest::Child;
using nbtest::Join;
using nbtest::Pipe;

constexpr const char* kAddress = "127.0.0.33";
constexpr const char* kBroadcast = "127.255.255.255";

// One way of trying to bind a port that the service holds.
struct BindTry {
  const char* address;
  bool reuseAddr;
  bool reusePort;
};

const std::vector<BindTry> kTries = {
    {kAddress, false, false}, {kAddress, true, false},  {kAddress, false, true},  {kAddress, true, true},
    {"0.0.0.0", true, false}, {"0.0.0.0", false, true}, {"0.0.0.0", true, true},
};

// The tries that bound `port`, as text ("" when none did).
std::string Bound(const std::vector<BindTry>& tries, std::uint16_t port) {
  std::string bound;
  for (const BindTry& t : tries) {
    const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return "no socket";
    int one = 1;
    if (t.reuseAddr) setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    if (t.reusePort) setsockopt(fd, SOL_SOCKET, SO_REUSEPORT, &one, sizeof one);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(port);
    inet_pton(AF_INET, t.address, &sa.sin_addr);
    if (bind(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) == 0) {
      bound += std::string(t.address) + ":" + std::to_string(port) + (t.reuseAddr ? " SO_REUSEADDR" : "") +
               (t.reusePort ? " SO_REUSEPORT" : "") + "; ";
    }
    close(fd);
  }
  return bound;
}

class NetbiosPortsTest : public ::testing::Test {
 protected:
  void SetUp() override { nbtest::WriteConfig(root_.path(), ports_, {kAddress}); }

  // Starts the service of this test's root in a child that holds a name until Stop(). The test
  // process itself runs no NetBIOS command: it forks further children.
  void StartHolder() {
    holder_ = Child([this] {
      if (nbtest::AddName("PORTHOLDER") != NRC_GOODRET) {
        ready_.Put('f');
        return 1;
      }
      ready_.Put('r');
      return stop_.Get() == 's' ? 0 : 2;
    });
    ASSERT_EQ(ready_.Get(), 'r');
  }
  void TearDown() override {
    if (holder_ > 0) {
      stop_.Put('s');
      EXPECT_EQ(Join(holder_), 0);
    }
  }

  platform::testing::TempRoot root_;
  nbtest::Ports ports_;
  pid_t holder_ = -1;
  Pipe ready_, stop_;
};

TEST_F(NetbiosPortsTest, NoOtherSocketCanBindTheServicePorts) {
  ASSERT_NO_FATAL_FAILURE(StartHolder());
  for (std::uint16_t port : {ports_.ns, ports_.dg}) {
    SCOPED_TRACE(port);
    // A program of the same user.
    EXPECT_EQ(Bound(kTries, port), "");
    // Another user, on the unicast address and on the broadcast address as well.
    if (geteuid() != 0) {
      std::printf("not root: the binds of another user are not tried\n");
      continue;
    }
    std::vector<BindTry> tries = kTries;
    for (bool addr : {false, true})
      for (bool reusePort : {false, true}) tries.push_back({kBroadcast, addr, reusePort});
    Pipe result;
    pid_t stranger = Child([&] {
      if (setgid(65534) != 0 || setuid(65534) != 0) return 8;
      const std::string bound = Bound(tries, port);
      for (char c : bound) result.Put(c);
      result.Put('\n');
      return 0;
    });
    std::string bound;
    for (char c = result.Get(); c != '\n' && c != 0; c = result.Get()) bound += c;
    EXPECT_EQ(Join(stranger), 0);
    EXPECT_EQ(bound, "");
  }
}

TEST_F(NetbiosPortsTest, ASecondServiceOnTheSamePortsFailsWithItsReason) {
  ASSERT_NO_FATAL_FAILURE(StartHolder());
  // Another root configured for the same address and ports.
  platform::testing::TempRoot other;
  nbtest::WriteConfig(other.path(), ports_, {kAddress});
  const std::string err = other.path() + "/client.err";
  pid_t client = Child([&] {
    setenv(platform::kRootEnvVar, other.path().c_str(), 1);
    const int fd = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0 || dup2(fd, 2) < 0) return 100;
    return static_cast<int>(nbtest::AddName("SECOND"));
  });
  EXPECT_EQ(Join(client), NRC_SYSTEM);
  const std::string expected = "cannot open the NetBIOS name service port (UDP " + std::to_string(ports_.ns) +
                               ") on " + kAddress + ": another program (another NetBIOS service?) holds it";
  EXPECT_NE(ReadFile(err).find("psa_nbd: " + expected), std::string::npos) << ReadFile(err);
  EXPECT_NE(ReadFile(other.path() + "/netbios/nbd.log").find(expected), std::string::npos);
  // The first service still answers its programs.
  pid_t again = Child([this] {
    setenv(platform::kRootEnvVar, root_.path().c_str(), 1);
    return static_cast<int>(nbtest::AddName("THIRD"));
  });
  EXPECT_EQ(Join(again), NRC_GOODRET);
}

}  // namespace

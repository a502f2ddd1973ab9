// A real peer resolves a name of ours: Samba's nmblookup queries the service on the standard name
// service port of a loopback address of its own. Skipped where nmblookup is not installed.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "platform/netbios/netbios.h"
#include "platform/process/process.h"
#include "platform/netbios/tests/nb_test_env.h"
#include "platform/test_support/temp_root.h"

namespace {

std::string RunCommand(const std::string& command) {
  std::string out;
  FILE* f = popen((command + " 2>&1").c_str(), "r");
  if (f == nullptr) return out;
  char buf[512];
  while (std::fgets(buf, sizeof buf, f) != nullptr) out += buf;
  pclose(f);
  return out;
}

// The standard ports are shared by every test run on this machine: one at a time.
class StandardPortsLock {
 public:
  StandardPortsLock() : fd_(open("/tmp/psadmin-netbios-standard-ports.lock", O_RDWR | O_CREAT | O_CLOEXEC, 0666)) {
    if (fd_ >= 0) flock(fd_, LOCK_EX);
  }
  ~StandardPortsLock() {
    if (fd_ >= 0) close(fd_);
  }

 private:
  int fd_;
};

// Waits (real time, at most `seconds`) until nobody holds `address`:`port` (UDP): the service of
// an earlier run ends a moment after its last program.
bool WaitForFreePort(const std::string& address, std::uint16_t port, int seconds) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  for (;;) {
    const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(port);
    inet_pton(AF_INET, address.c_str(), &sa.sin_addr);
    const bool free = fd >= 0 && bind(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) == 0;
    if (fd >= 0) close(fd);
    if (free || errno != EADDRINUSE) return true;
    if (std::chrono::steady_clock::now() > until) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
}

TEST(NetbiosRealPeer, NmblookupResolvesOurName) {
  std::string nmblookup = platform::FindTool("nmblookup");
  if (nmblookup.empty()) GTEST_SKIP() << "nmblookup is not installed";
  StandardPortsLock lock;
  const std::string address = "127.0.0.137";
  // The service holds its ports alone: an earlier run's service must have gone.
  ASSERT_TRUE(WaitForFreePort(address, 137, 30) && WaitForFreePort(address, 138, 30));
  platform::testing::TempRoot root;
  nbtest::Ports ports;
  ports.ns = 137;
  ports.dg = 138;
  nbtest::WriteConfig(root.path(), ports, {address});

  // The names are held by a child, so that its service ends before the next run takes the lock.
  nbtest::Pipe added, done;
  const pid_t holder = nbtest::Child([&] {
    const UCHAR rc = nbtest::AddName("PSANBTEST");
    const UCHAR group = rc == NRC_GOODRET ? nbtest::AddName("PSANBGROUP", nullptr, true) : rc;
    added.Put(static_cast<char>(rc));
    added.Put(static_cast<char>(group));
    return done.Get() == 'd' ? 0 : 1;
  });
  const auto rc = static_cast<UCHAR>(added.Get());
  const auto groupRc = static_cast<UCHAR>(added.Get());
  struct Stop {
    nbtest::Pipe& done;
    pid_t holder;
    std::string root;
    ~Stop() {
      done.Put('d');
      nbtest::Join(holder);
      // The service keeps its pid file locked while it runs.
      const int fd = open((root + "/netbios/nbd.pid").c_str(), O_RDWR | O_CLOEXEC);
      if (fd >= 0) {
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (flock(fd, LOCK_EX | LOCK_NB) != 0 && std::chrono::steady_clock::now() < until)
          std::this_thread::sleep_for(std::chrono::milliseconds(50));
        close(fd);
      }
    }
  } stop{done, holder, root.path()};
  if (rc == NRC_SYSTEM && geteuid() != 0) GTEST_SKIP() << "the standard ports need root";
  ASSERT_EQ(rc, NRC_GOODRET);
  ASSERT_EQ(groupRc, NRC_GOODRET);

  std::string base = nmblookup + " -s /dev/null ";
  std::string unicast = RunCommand(base + "-U " + address + " --recursion 'PSANBTEST#20'");
  EXPECT_NE(unicast.find(address + " PSANBTEST<20>"), std::string::npos) << unicast;

  std::string broadcast = RunCommand(base + "-B 127.255.255.255 'PSANBGROUP#20'");
  EXPECT_NE(broadcast.find(address + " PSANBGROUP<20>"), std::string::npos) << broadcast;

  std::string status = RunCommand(base + "-A " + address);
  EXPECT_NE(status.find("PSANBTEST"), std::string::npos) << status;
  EXPECT_NE(status.find("<GROUP>"), std::string::npos) << status;

  std::string missing = RunCommand(base + "-U " + address + " --recursion 'NOSUCHNAME#20'");
  EXPECT_EQ(missing.find(address + " NOSUCHNAME"), std::string::npos) << missing;
}

}  // namespace

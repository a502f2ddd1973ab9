// A real peer resolves a name of ours: Samba's nmblookup queries the service on the standard name
// service port of a loopback address of its own. Skipped where nmblookup is not installed.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/netbios/netbios.h"
#include "platform/netbios/tests/nb_test_env.h"
#include "platform/test_support/temp_root.h"

namespace {

std::string FindProgram(const char* name) {
  const char* path = std::getenv("PATH");
  std::string all = path != nullptr ? path : "/usr/bin:/bin";
  all += ":/usr/bin";
  std::size_t start = 0;
  while (start <= all.size()) {
    std::size_t colon = all.find(':', start);
    std::string dir = all.substr(start, colon == std::string::npos ? std::string::npos : colon - start);
    std::string candidate = dir + "/" + name;
    if (!dir.empty() && access(candidate.c_str(), X_OK) == 0) return candidate;
    if (colon == std::string::npos) break;
    start = colon + 1;
  }
  return "";
}

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

TEST(NetbiosRealPeer, NmblookupResolvesOurName) {
  std::string nmblookup = FindProgram("nmblookup");
  if (nmblookup.empty()) GTEST_SKIP() << "nmblookup is not installed";
  StandardPortsLock lock;
  platform::testing::TempRoot root;
  nbtest::Ports ports;
  ports.ns = 137;
  ports.dg = 138;
  const std::string address = "127.0.0.137";
  nbtest::WriteConfig(root.path(), ports, {address});

  UCHAR rc = nbtest::AddName("PSANBTEST");
  if (rc == NRC_SYSTEM && geteuid() != 0) GTEST_SKIP() << "the standard ports need root";
  ASSERT_EQ(rc, NRC_GOODRET);
  ASSERT_EQ(nbtest::AddName("PSANBGROUP", nullptr, true), NRC_GOODRET);

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

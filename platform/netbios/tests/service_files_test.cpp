// The files of the local NetBIOS service: its socket is its user's alone whatever the umask, and a
// link or a second name of another file planted where it writes its process id is never written.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>

#include "platform/netbios/netbios.h"
#include "platform/netbios/tests/nb_test_env.h"
#include "platform/test_support/temp_root.h"
#include "platform/test_support/files.h"

namespace {

using platform::testing::ReadFile;

using nbtest::AddName;
using nbtest::Child;
using nbtest::Join;

mode_t ModeOf(const std::string& path) {
  struct stat st{};
  return ::lstat(path.c_str(), &st) == 0 ? (st.st_mode & 07777) : 07777;
}

class ServiceFiles : public ::testing::Test {
 protected:
  void SetUp() override { nbtest::WriteConfig(root_.path(), ports_, {"127.0.0.1"}); }
  platform::testing::TempRoot root_;
  nbtest::Ports ports_;
};

// Started by a program whose umask is 000, the service's socket, folder and files are still its
// user's alone (with the socket 0777, another user could register, delete and listen for names in
// that user's name).
TEST_F(ServiceFiles, AreItsUsersAloneWhateverTheUmask) {
  const std::string dir = root_.path() + "/netbios";
  const pid_t program = Child([&] {
    ::umask(0);
    if (AddName("UMASKED") != NRC_GOODRET) return 1;
    // Looked at while this program is connected, so the service is still there.
    if (ModeOf(dir) != 0700) return 2;
    if (ModeOf(dir + "/nbd.sock") != 0600) return 3;
    if (ModeOf(dir + "/nbd.pid") != 0600) return 4;
    if (ModeOf(dir + "/nbd.lock") != 0600) return 5;
    if (ModeOf(dir + "/nbd.log") != 0600) return 6;
    return 0;
  });
  EXPECT_EQ(Join(program), 0) << "modes " << std::oct << ModeOf(dir) << " " << ModeOf(dir + "/nbd.sock");
}

// The process id file is truncated when the service starts: a symbolic link or a hard link to
// another file put in its place keeps the service from starting, and that file stays as it was.
TEST_F(ServiceFiles, APlantedPidFileIsNeverWritten) {
  const std::string dir = root_.path() + "/netbios";
  const std::string victim = root_.path() + "/victim.txt";
  const std::pair<const char*, int (*)(const char*, const char*)> plants[] = {{"symbolic link", ::symlink},
                                                                              {"hard link", ::link}};
  for (const auto& [what, plant] : plants) {
    SCOPED_TRACE(what);
    ASSERT_TRUE(platform::MakeDirectories(dir));
    { std::ofstream(victim) << "the user's own words\n"; }
    ::unlink((dir + "/nbd.pid").c_str());
    ASSERT_EQ(plant(victim.c_str(), (dir + "/nbd.pid").c_str()), 0);
    // The program that started the service is told why on its standard error, as for a port.
    const std::string err = root_.path() + "/program.err";
    EXPECT_EQ(Join(Child([&] {
                const int fd = ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
                if (fd < 0 || ::dup2(fd, 2) < 0) return 100;
                return AddName("PLANTED") == NRC_GOODRET ? 1 : 0;
              })),
              0);
    EXPECT_EQ(ReadFile(victim), "the user's own words\n");
    EXPECT_NE(ReadFile(dir + "/nbd.log").find("nbd.pid is no file of this user's"), std::string::npos)
        << ReadFile(dir + "/nbd.log");
    EXPECT_NE(ReadFile(err).find("psa_nbd: " + dir + "/nbd.pid is no file of this user's"), std::string::npos)
        << ReadFile(err);
  }
  // Once the planted name is gone, the service starts as ever.
  ASSERT_EQ(::unlink((dir + "/nbd.pid").c_str()), 0);
  EXPECT_EQ(Join(Child([] { return AddName("PLANTED") == NRC_GOODRET ? 0 : 1; })), 0);
  EXPECT_EQ(ReadFile(victim), "the user's own words\n");
}

}  // namespace

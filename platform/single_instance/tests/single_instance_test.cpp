// One owner per name and root; a second start reaches the owner; a killed owner blocks nothing.
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>
#include <thread>
#include <utility>

#include "platform/paths.h"
#include "platform/single_instance/single_instance.h"
#include "platform/test_support/temp_root.h"
#include "platform/test_support/unprivileged.h"

namespace {

using platform::AskInstance;
using platform::SingleInstance;

constexpr auto kOwner = SingleInstance::Result::kOwner;
constexpr auto kElsewhere = SingleInstance::Result::kOwnedElsewhere;
constexpr const char* kName = "Print Server Administration Program - the caption";

// Serves requests of `owner` on a thread until `count` were answered.
std::thread Serve(SingleInstance& owner, int count) {
  return std::thread([&owner, count] {
    for (int served = 0; served < count;) {
      pollfd p{owner.ListenFd(), POLLIN, 0};
      if (::poll(&p, 1, 10000) <= 0) return;
      if (owner.ServeOne([](const std::string& r) { return "got " + r; })) ++served;
    }
  });
}

TEST(SingleInstance, SecondOwnerIsRefusedAndReachesTheFirst) {
  platform::testing::TempRoot root;
  SingleInstance first;
  ASSERT_EQ(first.Acquire(kName), kOwner) << first.LastError();
  SingleInstance second;
  EXPECT_EQ(second.Acquire(kName), kElsewhere);
  EXPECT_FALSE(second.IsOwner());
  EXPECT_EQ(second.ListenFd(), -1);
  // Another name is free.
  SingleInstance other;
  EXPECT_EQ(other.Acquire("another program"), kOwner);

  std::thread server = Serve(first, 2);
  EXPECT_EQ(AskInstance(kName, "restore-or-hide", 5000), "got restore-or-hide");
  EXPECT_EQ(AskInstance(kName, "", 5000), "got ");
  server.join();
  // Nothing is waiting now.
  EXPECT_FALSE(first.ServeOne([](const std::string&) { return std::string("x"); }));

  first.Release();
  EXPECT_EQ(AskInstance(kName, "anyone", 100), "");
  EXPECT_EQ(second.Acquire(kName), kOwner);
}

TEST(SingleInstance, BadRequestsAndAnswersAreNotSent) {
  platform::testing::TempRoot root;
  SingleInstance owner;
  ASSERT_EQ(owner.Acquire(kName), kOwner);
  EXPECT_EQ(AskInstance(kName, "two\nlines", 100), "");
  EXPECT_EQ(AskInstance(kName, std::string(SingleInstance::kMaxLine + 1, 'a'), 100), "");
  std::thread server([&owner] {
    pollfd p{owner.ListenFd(), POLLIN, 0};
    ASSERT_GT(::poll(&p, 1, 10000), 0);
    owner.ServeOne([](const std::string&) { return std::string("bad\x01answer"); });
  });
  EXPECT_EQ(AskInstance(kName, "ask", 5000), "");
  server.join();

  // A client that connects and says nothing is dropped after the owner's wait, unanswered.
  const int silent = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  ASSERT_TRUE(platform::ConnectOrBindSocket(silent, SingleInstance::SocketPath(kName), false));
  bool asked = false;
  EXPECT_TRUE(owner.ServeOne([&asked](const std::string&) {
    asked = true;
    return std::string("x");
  }));
  EXPECT_FALSE(asked);
  char c;
  EXPECT_EQ(::recv(silent, &c, 1, 0), 0);  // closed by the owner
  ::close(silent);
}

TEST(SingleInstance, AKilledOwnerLeavesNothingThatBlocksTheNextStart) {
  platform::testing::TempRoot root;
  int ready[2];
  ASSERT_EQ(::pipe(ready), 0);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    SingleInstance owner;
    const char ok = owner.Acquire(kName) == kOwner ? '1' : '0';
    (void)!::write(ready[1], &ok, 1);
    for (;;) ::pause();
  }
  ::close(ready[1]);
  char ok = 0;
  ASSERT_EQ(::read(ready[0], &ok, 1), 1);
  ::close(ready[0]);
  ASSERT_EQ(ok, '1');
  SingleInstance mine;
  EXPECT_EQ(mine.Acquire(kName), kElsewhere);
  ::kill(child, SIGKILL);
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  // The dead owner's socket file is still there, but its lock is gone.
  EXPECT_EQ(AskInstance(kName, "anyone", 100), "");
  ASSERT_EQ(mine.Acquire(kName), kOwner) << mine.LastError();
  std::thread server = Serve(mine, 1);
  EXPECT_EQ(AskInstance(kName, "hello", 5000), "got hello");
  server.join();
}

TEST(SingleInstance, ARootLongerThanASocketPathStillWorks) {
  platform::testing::TempRoot base;
  const std::string deep = base.path() + "/" + std::string(60, 'd') + "/" + std::string(60, 'e');
  ASSERT_TRUE(platform::MakeDirectories(deep));
  ::setenv(platform::kRootEnvVar, deep.c_str(), 1);
  SingleInstance owner;
  ASSERT_EQ(owner.Acquire(kName), kOwner) << owner.LastError();
  std::thread server = Serve(owner, 1);
  EXPECT_EQ(AskInstance(kName, "far", 5000), "got far");
  server.join();
  owner.Release();
  ::setenv(platform::kRootEnvVar, base.path().c_str(), 1);
}

// The socket and lock file are the owner's alone whatever the umask (000 included), for a root of
// any length: another user who can reach the folder still cannot connect.
TEST(SingleInstance, OnlyItsUserCanConnectWhateverTheUmask) {
  platform::testing::TempRoot base;
  const std::string deep = base.path() + "/" + std::string(60, 'd') + "/" + std::string(60, 'e');
  for (const std::string& root : {base.path(), deep}) {
    SCOPED_TRACE(root.size());
    ::setenv(platform::kRootEnvVar, root.c_str(), 1);
    const mode_t old = ::umask(0);
    SingleInstance owner;
    const SingleInstance::Result result = owner.Acquire(kName);
    ::umask(old);
    ASSERT_EQ(result, kOwner) << owner.LastError();
    const std::string socket = SingleInstance::SocketPath(kName);
    const std::string lock = socket.substr(0, socket.size() - 5) + ".lock";
    for (const auto& [path, mode] : {std::pair{socket, 0600u}, std::pair{lock, 0600u},
                                     std::pair{platform::ObjectsDirectory(), 0700u}}) {
      struct stat st{};
      ASSERT_EQ(::stat(path.c_str(), &st), 0) << path;
      EXPECT_EQ(st.st_mode & 07777, mode) << path;
    }
    if (::geteuid() != 0) continue;  // no second user to try it with
    // Open every folder on the way, as a careless user might: the socket still keeps others out.
    for (std::string dir = platform::ObjectsDirectory(); dir.size() >= base.path().size(); dir = dir.substr(0, dir.rfind('/')))
      ASSERT_EQ(::chmod(dir.c_str(), 0755), 0) << dir;
    const int rc = platform::testing::RunUnprivileged([&] {
      const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
      return fd >= 0 && !platform::ConnectOrBindSocket(fd, socket, false) && errno == EACCES ? 0 : 1;
    });
    EXPECT_EQ(rc, 0);
  }
  ::setenv(platform::kRootEnvVar, base.path().c_str(), 1);
}

}  // namespace

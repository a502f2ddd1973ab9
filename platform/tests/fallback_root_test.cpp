// The root in /tmp, used when no variable names one (cron, services, env -i): another user may have
// made the folder first and put files or links in it, so it is used only while it is the user's own.
// The cases run as a user id of their own (the tests must run as root to become one), so that the
// real /tmp/psadmin-<uid> of nobody who uses this machine is touched.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>

#include "platform/paths.h"
#include "platform/profile.h"
#include "platform/registry.h"
#include "platform/test_support/unprivileged.h"
#include "platform/test_support/files.h"

namespace {

using platform::testing::ReadFile;
using platform::testing::WriteFile;

// A registry store holding HKEY_LOCAL_MACHINE\SOFTWARE with the value Planted = 1.
std::string PlantedStore() {
  std::string text = "PSADMIN-REGISTRY 1\nK HKEY_LOCAL_MACHINE\nK HKEY_LOCAL_MACHINE\\SOFTWARE\nV 4 Planted %01%00%00%00\n";
  std::uint64_t h = 0xcbf29ce484222325ull;
  for (char c : text) {
    h ^= static_cast<unsigned char>(c);
    h *= 0x100000001b3ull;
  }
  char end[40];
  std::snprintf(end, sizeof end, "E 3 %016llx\n", static_cast<unsigned long long>(h));
  return text + end;
}

class FallbackRoot : public ::testing::Test {
 protected:
  void SetUp() override {
    if (geteuid() != 0) GTEST_SKIP() << "needs root to act as two other users";
    // Two user ids nobody has: the victim whose root is /tmp/psadmin-<victim>, and a stranger.
    victim_ = static_cast<uid_t>(2000000000u + static_cast<unsigned>(getpid()) * 2u);
    stranger_ = victim_ + 1;
    root_ = "/tmp/psadmin-" + std::to_string(victim_);
    std::filesystem::remove_all(root_);
    char tmpl[] = "/tmp/psadmin-fallback-test-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    scratch_ = tmpl;
    ASSERT_EQ(chmod(scratch_.c_str(), 0755), 0);
  }
  void TearDown() override {
    std::error_code ec;
    if (!root_.empty()) std::filesystem::remove_all(root_, ec);
    if (!scratch_.empty()) std::filesystem::remove_all(scratch_, ec);
  }

  // Runs body as the victim with none of the variables that name a root, and its standard error
  // in `error` (what the suite says about the root).
  int AsVictim(const std::function<int()>& body) {
    const std::string errPath = scratch_ + "/stderr";
    WriteFile(errPath, "");
    if (chown(errPath.c_str(), victim_, victim_) != 0) return 81;
    const int rc = platform::testing::RunAsUser(victim_, [&] {
      unsetenv(platform::kRootEnvVar);
      unsetenv("XDG_DATA_HOME");
      unsetenv("HOME");
      umask(0);  // the folders are 0700 whatever the umask
      const int fd = open(errPath.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
      if (fd < 0 || dup2(fd, 2) < 0) return 80;
      return body();
    });
    error_ = ReadFile(errPath);
    unlink(errPath.c_str());
    return rc;
  }

  // The folder, made by `owner` with `mode`, with planted settings, store and a link to a file of
  // the victim where the NetBIOS service writes its process id.
  void Plant(uid_t owner, mode_t mode) {
    for (const char* sub : {"", "/windows", "/registry", "/netbios"}) {
      const std::string dir = root_ + sub;
      ASSERT_EQ(mkdir(dir.c_str(), 0755), 0) << dir;
      ASSERT_EQ(chown(dir.c_str(), owner, owner), 0);
    }
    ASSERT_EQ(chmod(root_.c_str(), mode), 0);
    WriteFile(root_ + "/windows/common.ini", "[ConnectedProtocol]\nbTCPIP=7\n");
    WriteFile(root_ + "/registry/registry.txt", PlantedStore());
    victimFile_ = scratch_ + "/victim.txt";
    WriteFile(victimFile_, "the victim's own words\n");
    ASSERT_EQ(chown(victimFile_.c_str(), victim_, victim_), 0);
    ASSERT_EQ(symlink(victimFile_.c_str(), (root_ + "/netbios/nbd.pid").c_str()), 0);
  }

  uid_t victim_ = 0;
  uid_t stranger_ = 0;
  std::string root_;
  std::string scratch_;
  std::string victimFile_;
  std::string error_;
};

TEST_F(FallbackRoot, IsMadeForTheUserAloneAndUsed) {
  ASSERT_EQ(AsVictim([&] {
              if (platform::Root() != root_ || !platform::RootProblem().empty()) return 1;
              if (WritePrivateProfileString("ConnectedProtocol", "bTCPIP", "1", "common.ini") != TRUE) return 2;
              HKEY key = nullptr;
              if (RegCreateKeyEx(HKEY_LOCAL_MACHINE, "SOFTWARE\\Kelmor", KEY_ALL_ACCESS, &key, nullptr) != ERROR_SUCCESS)
                return 3;
              RegCloseKey(key);
              return 0;
            }),
            0);
  EXPECT_EQ(error_, "");
  for (const char* sub : {"", "/windows", "/registry"}) {
    struct stat st{};
    ASSERT_EQ(lstat((root_ + sub).c_str(), &st), 0) << sub;
    EXPECT_TRUE(S_ISDIR(st.st_mode)) << sub;
    EXPECT_EQ(st.st_mode & 07777, 0700u) << sub;
    EXPECT_EQ(st.st_uid, victim_) << sub;
  }
  EXPECT_EQ(ReadFile(root_ + "/windows/common.ini"), "[ConnectedProtocol]\nbTCPIP=1\n");
  // Made once, it is the user's own and used again as found.
  EXPECT_EQ(AsVictim([&] { return platform::Root() == root_ && platform::RootProblem().empty() ? 0 : 1; }), 0);
}

// Found open to others (made by hand, say), the user's own folder is closed to them and used; so is
// one its user may not list.
TEST_F(FallbackRoot, FoundOpenToOthersIsClosedToThemAndUsed) {
  struct Case {
    mode_t found;
    mode_t after;
  };
  const Case cases[] = {{0755, 0700}, {0750, 0700}, {0711, 0700}, {0705, 0700}, {0355, 0300}, {0700, 0700}};
  for (const Case& c : cases) {
    char label[16];
    std::snprintf(label, sizeof label, "found %04o", static_cast<unsigned>(c.found));
    SCOPED_TRACE(label);
    std::filesystem::remove_all(root_);
    ASSERT_EQ(mkdir(root_.c_str(), 0700), 0);
    ASSERT_EQ(chown(root_.c_str(), victim_, victim_), 0);
    ASSERT_EQ(chmod(root_.c_str(), c.found), 0);
    EXPECT_EQ(AsVictim([&] {
                if (platform::Root() != root_ || !platform::RootProblem().empty()) return 1;
                if (WritePrivateProfileString("ConnectedProtocol", "bTCPIP", "1", "common.ini") != TRUE) return 2;
                return 0;
              }),
              0);
    EXPECT_EQ(error_, "");
    struct stat st{};
    ASSERT_EQ(lstat(root_.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, c.after);
    EXPECT_EQ(st.st_uid, victim_);
    EXPECT_EQ(ReadFile(root_ + "/windows/common.ini"), "[ConnectedProtocol]\nbTCPIP=1\n");
  }
}

// One whose mode cannot be changed (made immutable here) is refused, with the reason.
TEST_F(FallbackRoot, OpenToOthersAndNotToBeClosedIsRefused) {
  ASSERT_EQ(mkdir(root_.c_str(), 0755), 0);
  ASSERT_EQ(chown(root_.c_str(), victim_, victim_), 0);
  ASSERT_EQ(chmod(root_.c_str(), 0755), 0);
  auto setFlags = [&](bool immutable) {
    const int fd = open(root_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    int flags = 0;
    bool ok = fd >= 0 && ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    flags = immutable ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
    ok = ok && ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    if (fd >= 0) close(fd);
    return ok;
  };
  if (!setFlags(true)) GTEST_SKIP() << "the file system of /tmp keeps no immutable flag";
  const int rc = AsVictim([&] {
    if (WritePrivateProfileString("ConnectedProtocol", "bTCPIP", "1", "common.ini") != FALSE) return 2;
    if (platform::RootProblem() != root_ + " cannot be closed to other users: Operation not permitted") return 1;
    if (platform::Root().rfind(root_, 0) == 0) return 3;
    return 0;
  });
  ASSERT_TRUE(setFlags(false));
  EXPECT_EQ(rc, 0);
  EXPECT_EQ(error_, "psadmin: the folder " + root_ +
                        " cannot be closed to other users: Operation not permitted, so the suite keeps nothing there; "
                        "set PSADMIN_ROOT (or HOME) to a folder of your own\n");
  struct stat st{};
  ASSERT_EQ(lstat(root_.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0755u);
  EXPECT_TRUE(std::filesystem::is_empty(root_));
}

// Planted by another user, writable by others, or a link: refused with a message, and nothing in it
// is read or written.
TEST_F(FallbackRoot, ThatSomebodyElseCouldHavePlantedIsRefused) {
  struct Case {
    const char* label;
    std::function<void()> make;
    std::string why;
  };
  const Case cases[] = {
      {"made by another user", [&] { Plant(stranger_, 0755); }, "belongs to user " + std::to_string(stranger_)},
      {"made by another user for all to write", [&] { Plant(stranger_, 0777); },
       "belongs to user " + std::to_string(stranger_)},
      {"the user's own but writable by others", [&] { Plant(victim_, 0777); }, "can be written by other users"},
      {"the user's own but writable by its group", [&] { Plant(victim_, 0770); }, "can be written by other users"},
      {"a link to a folder of the user's",
       [&] {
         const std::string real = scratch_ + "/real";
         ASSERT_EQ(mkdir(real.c_str(), 0700), 0);
         ASSERT_EQ(chown(real.c_str(), victim_, victim_), 0);
         ASSERT_EQ(symlink(real.c_str(), root_.c_str()), 0);
       },
       "is a symbolic link"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    std::filesystem::remove_all(root_);
    std::filesystem::remove_all(scratch_ + "/real");
    c.make();
    if (HasFatalFailure()) return;
    const bool planted = std::filesystem::exists(root_ + "/windows/common.ini");
    EXPECT_EQ(AsVictim([&] {
                // Nothing planted is read: the defaults come back, and the planted store is not
                // there for the monitor's look-ups.
                if (GetPrivateProfileInt("ConnectedProtocol", "bTCPIP", 0, "common.ini") != 0) return 3;
                HKEY key = nullptr;
                if (RegOpenKeyEx(HKEY_LOCAL_MACHINE, "SOFTWARE", KEY_READ, &key) == ERROR_SUCCESS) return 4;
                // Nothing is written there, nor anywhere else.
                if (WritePrivateProfileString("ConnectedProtocol", "bTCPIP", "1", "common.ini") != FALSE) return 5;
                if (RegCreateKeyEx(HKEY_LOCAL_MACHINE, "SOFTWARE\\Kelmor", KEY_ALL_ACCESS, &key, nullptr) ==
                    ERROR_SUCCESS)
                  return 6;
                if (platform::MakeDirectories(platform::ObjectsDirectory())) return 7;
                if (platform::RootProblem() != root_ + " " + c.why) return 1;
                if (platform::Root().rfind(root_, 0) == 0) return 2;
                return 0;
              }),
              0);
    // Said once, with the reason and the way out.
    EXPECT_EQ(error_, "psadmin: the folder " + root_ + " " + c.why +
                          ", so the suite keeps nothing there; set PSADMIN_ROOT (or HOME) to a folder of your own\n");
    if (planted) {
      EXPECT_EQ(ReadFile(root_ + "/windows/common.ini"), "[ConnectedProtocol]\nbTCPIP=7\n");
      EXPECT_EQ(ReadFile(root_ + "/registry/registry.txt"), PlantedStore());
      EXPECT_EQ(ReadFile(victimFile_), "the victim's own words\n");
      EXPECT_FALSE(std::filesystem::exists(root_ + "/objects"));
    } else {
      EXPECT_TRUE(std::filesystem::is_empty(scratch_ + "/real"));
    }
  }
}

}  // namespace

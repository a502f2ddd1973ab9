// Root writing in a user's root (sudo with the user's PSADMIN_ROOT, a root program pointed at a
// user's folder): whatever it makes there must stay the user's, or the user's next write fails for
// good (a lock file of root's, 0600, cannot even be opened). Each kind of stored file is written
// first as root, then again by the user in a child that has become that user.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "platform/named_objects/named_objects.h"
#include "platform/ownership.h"
#include "platform/paths.h"
#include "platform/profile.h"
#include "platform/registry.h"
#include "platform/single_instance/single_instance.h"
#include "platform/test_support/temp_root.h"
#include "platform/test_support/unprivileged.h"

namespace {

// The value both writers store; true when written and read back.
bool WriteSetting(const char* value) {
  if (WritePrivateProfileString("Settings", "Value", value, "common.ini") != TRUE) return false;
  char back[32] = {};
  GetPrivateProfileString("Settings", "Value", "", back, sizeof back, "common.ini");
  return std::string(back) == value;
}

bool WriteRegistryValue(const char* value) {
  HKEY key = nullptr;
  if (RegCreateKeyEx(HKEY_LOCAL_MACHINE, "SOFTWARE\\Kelmor\\Test", KEY_ALL_ACCESS, &key, nullptr) != ERROR_SUCCESS)
    return false;
  const LONG set = RegSetValueEx(key, "Value", REG_SZ, reinterpret_cast<const BYTE*>(value),
                                 static_cast<DWORD>(std::string(value).size() + 1));
  char back[32] = {};
  DWORD size = sizeof back;
  DWORD type = 0;
  const LONG query = RegQueryValueEx(key, "Value", &type, reinterpret_cast<BYTE*>(back), &size);
  RegCloseKey(key);
  return set == ERROR_SUCCESS && query == ERROR_SUCCESS && std::string(back) == value;
}

bool MakeMutex(const char*) {
  HANDLE h = CreateMutex(TRUE, "root-owner-test");
  if (h == nullptr) return false;
  const bool ok = ReleaseMutex(h) == TRUE;
  CloseHandle(h);
  return ok;
}

bool MakeEvent(const char*) {
  HANDLE h = CreateEvent(TRUE, FALSE, "root-owner-test");
  if (h == nullptr) return false;
  const bool ok = SetEvent(h) == TRUE && WaitForSingleObject(h, 0) == WAIT_OBJECT_0;
  CloseHandle(h);
  return ok;
}

bool OwnInstance(const char*) {
  platform::SingleInstance instance;
  return instance.Acquire("root-owner-test") == platform::SingleInstance::Result::kOwner;
}

// The NetBIOS service's process id file, which it opens as a file of its own (no link, one name).
bool OpenServicePidFile(const char*) {
  const std::string dir = platform::Root() + "/netbios";
  if (!platform::MakeDirectories(dir)) return false;
  const int fd = platform::OpenOwnFile(dir + "/nbd.pid", 0600);
  if (fd < 0) return false;
  close(fd);
  return true;
}

std::string InstanceLock() {
  std::string path = platform::SingleInstance::SocketPath("root-owner-test");
  return path.substr(0, path.size() - 5) + ".lock";
}

struct StoredKind {
  const char* label;
  bool (*write)(const char* value);
  std::function<std::vector<std::string>(const std::string& root)> made;  // what the first write makes
};

std::vector<StoredKind> Kinds() {
  return {
      {"settings file", WriteSetting,
       [](const std::string& r) {
         return std::vector<std::string>{r, r + "/windows", r + "/windows/common.ini", r + "/windows/.common.ini.lock"};
       }},
      {"registry store", WriteRegistryValue,
       [](const std::string& r) {
         return std::vector<std::string>{r, r + "/registry", r + "/registry/registry.txt", r + "/registry/registry.lock"};
       }},
      {"named mutex", MakeMutex,
       [](const std::string& r) {
         const std::string d = r + "/objects/mutex-root-owner-test";
         return std::vector<std::string>{r, r + "/objects", d, d + "/guard", d + "/holders", d + "/owner"};
       }},
      {"named event", MakeEvent,
       [](const std::string& r) {
         const std::string d = r + "/objects/event-root-owner-test";
         return std::vector<std::string>{r, r + "/objects", d, d + "/guard", d + "/holders", d + "/state"};
       }},
      {"NetBIOS service's process id file", OpenServicePidFile,
       [](const std::string& r) { return std::vector<std::string>{r, r + "/netbios", r + "/netbios/nbd.pid"}; }},
      {"single-instance lock", OwnInstance,
       [](const std::string& r) { return std::vector<std::string>{r, r + "/objects", InstanceLock()}; }},
  };
}

class RootOwner : public ::testing::Test {
 protected:
  void SetUp() override {
    if (geteuid() != 0) GTEST_SKIP() << "needs root to write as root and then as a second user";
    user_ = static_cast<uid_t>(2000000000u + static_cast<unsigned>(getpid()) * 2u);
    // The temporary folder is root's; the user's home in it is the user's alone, and the suite's
    // root below the home is not made yet.
    ASSERT_EQ(chmod(scratch_.path().c_str(), 0755), 0);
    home_ = scratch_.path() + "/home";
    ASSERT_EQ(mkdir(home_.c_str(), 0700), 0);
    ASSERT_EQ(chown(home_.c_str(), user_, user_), 0);
    root_ = home_ + "/psadmin";
    setenv(platform::kRootEnvVar, root_.c_str(), 1);
  }

  platform::testing::TempRoot scratch_;
  uid_t user_ = 0;
  std::string home_;
  std::string root_;
};

TEST_F(RootOwner, WhatRootMakesInAUsersRootStaysTheUsers) {
  for (const StoredKind& kind : Kinds()) {
    SCOPED_TRACE(kind.label);
    std::filesystem::remove_all(root_);
    ASSERT_TRUE(kind.write("by-root"));
    for (const std::string& path : kind.made(root_)) {
      struct stat st{};
      ASSERT_EQ(lstat(path.c_str(), &st), 0) << path;
      EXPECT_EQ(st.st_uid, user_) << path;
      EXPECT_EQ(st.st_gid, static_cast<gid_t>(user_)) << path;
      EXPECT_EQ(st.st_mode & (S_IWGRP | S_IWOTH), 0u) << path;
      const bool lock = path.size() > 5 && path.compare(path.size() - 5, 5, ".lock") == 0;
      if (S_ISDIR(st.st_mode) || lock) {
        EXPECT_EQ(st.st_mode & 07777, S_ISDIR(st.st_mode) ? 0700u : 0600u) << path;
      }
    }
    // The user goes on writing, and root after the user again.
    EXPECT_EQ(platform::testing::RunAsUser(user_, [&] { return kind.write("by-user") ? 0 : 1; }), 0);
    EXPECT_TRUE(kind.write("by-root-again"));
    EXPECT_EQ(platform::testing::RunAsUser(user_, [&] { return kind.write("by-user-again") ? 0 : 1; }), 0);
  }
}

// A root of root's own keeps what root makes root's; nothing is given to the folder above it.
TEST_F(RootOwner, WhatRootMakesInItsOwnRootStaysRoots) {
  const std::string own = scratch_.path() + "/own";
  ASSERT_EQ(mkdir(own.c_str(), 0700), 0);
  setenv(platform::kRootEnvVar, own.c_str(), 1);
  for (const StoredKind& kind : Kinds()) {
    SCOPED_TRACE(kind.label);
    ASSERT_TRUE(kind.write("by-root"));
    for (const std::string& path : kind.made(own)) {
      struct stat st{};
      ASSERT_EQ(lstat(path.c_str(), &st), 0) << path;
      EXPECT_EQ(st.st_uid, 0u) << path;
    }
  }
}

}  // namespace

// Temporary files of the atomic writers when a writer is killed in the middle of a write: the next
// write of the same file removes them, and never the temporary file of a writer still at work.
#include <gtest/gtest.h>

#include <sys/mman.h>
#include <unistd.h>

#include <fstream>
#include <functional>
#include <iterator>
#include <string>

#include "platform/atomic_file.h"
#include "platform/paths.h"
#include "platform/profile.h"
#include "platform/registry.h"
#include "platform/test_support/temp_root.h"
#include "platform/test_support/writer_child.h"
#include "platform/test_support/files.h"

namespace {

using platform::testing::ReadFile;

using platform::testing::FileExists;
using platform::testing::WriterChild;

struct WriterCase {
  const char* label;
  std::function<std::string()> path;       // the file the writer replaces
  std::function<bool(int round)> write;    // one write through the writer's public interface
  std::function<bool(int round)> wrote;    // the file holds what that write put there
};

class KilledWriter : public ::testing::TestWithParam<WriterCase> {
 protected:
  platform::testing::TempRoot root_;
};

TEST_P(KilledWriter, NextWriteRemovesWhatItLeftAndSparesLiveWriters) {
  const WriterCase& c = GetParam();
  ASSERT_TRUE(c.write(0));
  const std::string path = c.path();

  WriterChild dead(path);
  WriterChild alive(path);
  ASSERT_TRUE(dead.started());
  ASSERT_TRUE(alive.started());
  ASSERT_TRUE(dead.KillNine());
  ASSERT_TRUE(FileExists(dead.temporary()));  // left behind by the kill
  // Look-alikes that are no temporary file of a writer stay whatever happens.
  const std::string slash = path.substr(0, path.rfind('/') + 1);
  const std::string base = path.substr(path.rfind('/') + 1);
  const std::string lookAlike = slash + "." + base + ".notapid.abcdef";
  { std::ofstream(lookAlike) << "x"; }

  ASSERT_TRUE(c.write(1));
  EXPECT_TRUE(c.wrote(1));
  EXPECT_FALSE(FileExists(dead.temporary()));
  EXPECT_TRUE(FileExists(alive.temporary()));
  EXPECT_TRUE(FileExists(lookAlike));

  ASSERT_TRUE(alive.KillNine());
  ASSERT_TRUE(c.write(2));
  EXPECT_TRUE(c.wrote(2));
  EXPECT_FALSE(FileExists(alive.temporary()));
  EXPECT_TRUE(FileExists(lookAlike));
}

std::string Value(int round) { return "value" + std::to_string(round); }

INSTANTIATE_TEST_SUITE_P(
    Writers, KilledWriter,
    ::testing::Values(
        WriterCase{"replace_file",
                   [] { return platform::JoinPath(platform::Root(), "plain.txt"); },
                   [](int r) {
                     return platform::fileio::ReplaceFile(platform::JoinPath(platform::Root(), "plain.txt"),
                                                          Value(r)) == platform::fileio::ReplaceResult::kOk;
                   },
                   [](int r) { return ReadFile(platform::JoinPath(platform::Root(), "plain.txt")) == Value(r); }},
        WriterCase{"profile_file",
                   [] { return platform::JoinPath(platform::WindowsDirectory(), "common.ini"); },
                   [](int r) {
                     return WritePrivateProfileString("general", "key", Value(r).c_str(), "common.ini") == TRUE;
                   },
                   [](int r) {
                     char out[32] = {};
                     GetPrivateProfileString("general", "key", "", out, sizeof out, "common.ini");
                     return out == Value(r);
                   }},
        WriterCase{"registry_store",
                   [] { return platform::JoinPath(platform::RegistryDirectory(), "registry.txt"); },
                   [](int r) {
                     HKEY key = nullptr;
                     if (RegCreateKeyEx(HKEY_LOCAL_MACHINE, "SOFTWARE\\Kelmor", KEY_ALL_ACCESS, &key, nullptr) !=
                         ERROR_SUCCESS) {
                       return false;
                     }
                     const std::string v = Value(r);
                     const LONG rc = RegSetValueEx(key, "v", REG_SZ, reinterpret_cast<const BYTE*>(v.c_str()),
                                                   static_cast<DWORD>(v.size() + 1));
                     RegCloseKey(key);
                     return rc == ERROR_SUCCESS;
                   },
                   [](int r) {
                     return ReadFile(platform::JoinPath(platform::RegistryDirectory(), "registry.txt"))
                                .find(Value(r)) != std::string::npos;
                   }}),
    [](const auto& p) { return std::string(p.param.label); });

}  // namespace

namespace {

// A file is read whole: one that fits a read, one that takes several, and one that reports no
// size at all (the kernel's files under /proc hand over a page or so per read).
TEST(ReadWholeFile, ReadsEveryByteWhateverSizeTheFileReports) {
  platform::testing::TempRoot root;
  for (const std::size_t size : {std::size_t{0}, std::size_t{1}, std::size_t{65535}, std::size_t{65536},
                                 std::size_t{200000}}) {
    const std::string path = root.path() + "/file" + std::to_string(size);
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>('a' + i % 23);
    std::ofstream(path, std::ios::binary) << bytes;
    std::string text;
    ASSERT_EQ(platform::fileio::ReadWholeFile(path, 1 << 20, &text), platform::fileio::ReadResult::kOk) << size;
    EXPECT_EQ(text, bytes) << size;
  }
  // Many small mappings make this process's /proc/self/smaps far longer than one read's room.
  const long page = ::sysconf(_SC_PAGESIZE);
  const std::size_t pages = 400;
  void* region = ::mmap(nullptr, pages * page, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  ASSERT_NE(region, MAP_FAILED);
  for (std::size_t i = 0; i < pages; i += 2) ::mprotect(static_cast<char*>(region) + i * page, page, PROT_READ);
  std::string maps;
  const auto result = platform::fileio::ReadWholeFile("/proc/self/smaps", 1 << 24, &maps);
  ::munmap(region, pages * page);
  ASSERT_EQ(result, platform::fileio::ReadResult::kOk);
  EXPECT_GT(maps.size(), 4 * 65536u);
}

}  // namespace

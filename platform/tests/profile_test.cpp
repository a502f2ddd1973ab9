#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <climits>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/paths.h"
#include "platform/profile.h"
#include "platform/test_support/temp_root.h"
#include "platform/test_support/unprivileged.h"
#include "platform/test_support/files.h"

namespace {

using platform::testing::ReadFile;
using platform::testing::WriteFile;

std::string IniPath(const std::string& name = "test.ini") {
  return platform::JoinPath(platform::WindowsDirectory(), name);
}

bool Exists(const std::string& path) {
  struct stat st{};
  return stat(path.c_str(), &st) == 0;
}

std::string Get(const char* section, const char* key, const char* def = "", DWORD size = 256,
                const char* file = "test.ini") {
  std::vector<char> buf(size + 1, 'X');
  DWORD n = GetPrivateProfileString(section, key, def, buf.data(), size, file);
  if (size == 0) return "";
  EXPECT_EQ(n, std::string(buf.data()).size());
  return std::string(buf.data(), n);
}

const char kSample[] =
    "; settings of the suite\r\n"
    "[General]\r\n"
    "  Name =  Value One  \r\n"
    "quoted = \"  spaced  \"\r\n"
    "single='x'\r\n"
    "mixed=\"x'\r\n"
    "lone=\"\r\n"
    "name = second\r\n"
    "empty=\r\n"
    ";commented=1\r\n"
    "no equals sign here\r\n"
    "\r\n"
    "[general]\r\n"
    "extra=from second section\r\n"
    "name=third\r\n"
    "[Numbers]\r\n"
    "neg=-3\r\n"
    "trail=12abc\r\n"
    "hex=0x10\r\n"
    "blank=   \r\n"
    "plus=+7\r\n"
    "spaced= - 3\r\n"
    "big=99999999999\r\n"
    "small=-99999999999\r\n"
    "letters=abc\r\n"
    "quoted=\"42\"\r\n"
    "emptyquotes=\"\"\r\n"
    "[ Other ]\n"
    "k=v";  // LF line and a last line without line ending

struct StringCase {
  const char* section;
  const char* key;
  const char* def;
  DWORD size;
  std::string expected;
};

TEST(ProfileRead, ValuesFollowTheWin32Rules) {
  platform::testing::TempRoot root;
  WriteFile(IniPath(), kSample);
  const StringCase cases[] = {
      {"general", "NAME", "d", 64, "Value One"},           // case-insensitive, trimmed, first wins
      {" GENERAL ", " name ", "d", 64, "Value One"},        // requested names are trimmed too
      {"General", "quoted", "d", 64, "  spaced  "},         // one pair of quotes stripped
      {"General", "single", "d", 64, "x"},                  // single quotes too
      {"General", "mixed", "d", 64, "\"x'"},                // unmatched quotes stay
      {"General", "lone", "d", 64, "\""},                   // a single quote character stays
      {"General", "empty", "d", 64, ""},                    // an empty value is not the default
      {"General", "extra", "d", 64, "from second section"}, // sections of one name read as one
      {"General", ";commented", "d", 64, "d"},              // comment lines are not keys
      {"General", "no equals sign here", "d", 64, "d"},     // nor are lines without '='
      {"Other", "k", "d", 64, "v"},                         // LF and a last line without ending
      {"General", "Name", "d", 5, "Valu"},                  // the buffer size truncates
      {"General", "Name", "d", 1, ""},
      {"General", "missing", "fallback", 64, "fallback"},   // missing key: the default
      {"General", "missing", "fallback  \t", 64, "fallback"},  // ... without its trailing blanks
      {"General", "missing", "  lead", 64, "  lead"},       // leading blanks of the default stay
      {"General", "missing", nullptr, 64, ""},              // null default: empty
      {"General", "missing", "fallback", 4, "fal"},         // the default is truncated too
      {"Nowhere", "Name", "fallback", 64, "fallback"},      // missing section: the default
  };
  // One reading of the file answers every lookup the same way.
  const platform::ProfileFile file("test.ini");
  for (const StringCase& c : cases) {
    EXPECT_EQ(Get(c.section, c.key, c.def, c.size), c.expected) << c.section << "/" << c.key;
    std::string buf(c.size, '#');
    const DWORD n = file.GetString(c.section, c.key, c.def, buf.data(), c.size);
    EXPECT_EQ(std::string(buf.data(), n), c.expected) << "read once: " << c.section << "/" << c.key;
  }
  EXPECT_EQ(Get("General", "Name", "fallback", 64, "absent.ini"), "fallback");  // missing file
}

TEST(ProfileRead, IntegersReadLikeAtoiWithSaturation) {
  platform::testing::TempRoot root;
  WriteFile(IniPath(), kSample);
  struct {
    const char* key;
    int expected;
  } const cases[] = {
      {"neg", -3},       {"trail", 12},         {"hex", 0},          {"blank", 77},
      {"plus", 7},       {"spaced", 0},         {"big", INT_MAX},    {"small", INT_MIN},
      {"letters", 0},    {"quoted", 42},        {"emptyquotes", 77}, {"missing", 77},
  };
  const platform::ProfileFile file("test.ini");
  for (const auto& c : cases) {
    EXPECT_EQ(GetPrivateProfileInt("numbers", c.key, 77, "test.ini"), c.expected) << c.key;
    EXPECT_EQ(file.GetInt("numbers", c.key, 77), c.expected) << "read once: " << c.key;
  }
  EXPECT_EQ(GetPrivateProfileInt("General", "empty", 5, "test.ini"), 5);
  EXPECT_EQ(GetPrivateProfileInt("General", "x", -9, "absent.ini"), -9);
}

TEST(ProfileRead, NullKeyListsKeysAndNullSectionListsSections) {
  platform::testing::TempRoot root;
  WriteFile(IniPath(), kSample);
  struct {
    const char* section;
    DWORD size;
    DWORD result;
    std::string expected;  // the start of the buffer, every NUL included
  } const cases[] = {
      {"General", 256, 42, std::string("Name\0quoted\0single\0mixed\0lone\0empty\0extra\0\0", 43)},
      {nullptr, 256, 22, std::string("General\0Numbers\0Other\0\0", 23)},
      {nullptr, 12, 10, std::string("General\0Nu\0\0", 12)},  // last name cut, two NULs, size-2
      {nullptr, 10, 8, std::string("General\0\0\0", 10)},
      {"Nowhere", 16, 0, std::string("\0\0", 2)},
  };
  for (const auto& c : cases) {
    std::vector<char> buf(c.size, 'X');
    DWORD n = GetPrivateProfileString(c.section, nullptr, "d", buf.data(), c.size, "test.ini");
    EXPECT_EQ(n, c.result);
    EXPECT_EQ(std::string(buf.data(), c.expected.size()), c.expected)
        << (c.section ? c.section : "(sections)") << " size " << c.size;
  }
}

TEST(ProfileRead, AFileOfManyNamesIsListedWholeInOrder) {
  // Near the size bound: 360,000 sections, each name twice in different case. Each name is
  // listed once, in the order of its first appearance.
  platform::testing::TempRoot root;
  constexpr int kSections = 180000;
  std::string text;
  std::string expected;
  for (int pass = 0; pass < 2; ++pass) {
    for (int i = 0; i < kSections; ++i) {
      std::string name = (pass == 0 ? "s" : "S") + std::to_string(1000000 + i);
      text += "[" + name + "]\n";
      if (pass == 0) expected += name + std::string(1, '\0');
    }
  }
  expected += '\0';
  WriteFile(IniPath(), text);
  std::vector<char> buf(expected.size() + 16, 'X');
  EXPECT_EQ(GetPrivateProfileString(nullptr, nullptr, "", buf.data(), static_cast<DWORD>(buf.size()),
                                    "test.ini"),
            expected.size() - 1);
  EXPECT_TRUE(std::string(buf.data(), expected.size()) == expected);
  EXPECT_EQ(Get("S1179999", "k", "d"), "d");
}

TEST(ProfileRead, EveryCallReadsTheFileAfresh) {
  platform::testing::TempRoot root;
  WriteFile(IniPath(), "[s]\nk=1\n");
  EXPECT_EQ(GetPrivateProfileInt("s", "k", 0, "test.ini"), 1);
  const platform::ProfileFile before("test.ini");
  WriteFile(IniPath(), "[s]\nk=2\n");
  EXPECT_EQ(GetPrivateProfileInt("s", "k", 0, "test.ini"), 2);
  // A reading kept by its caller answers for the file as it was read; the next one sees the change.
  EXPECT_EQ(before.GetInt("s", "k", 0), 1);
  EXPECT_EQ(platform::ProfileFile("test.ini").GetInt("s", "k", 0), 2);
  EXPECT_EQ(platform::ProfileFile("absent.ini").GetInt("s", "k", -4), -4);
  // An absolute path is used as it is.
  std::string other = root.path() + "/elsewhere.ini";
  WriteFile(other, "[s]\nk=3\n");
  EXPECT_EQ(GetPrivateProfileInt("s", "k", 0, other.c_str()), 3);
}

struct WriteCase {
  const char* name;
  bool fileExists;
  std::string before;
  const char* section;
  const char* key;
  const char* value;
  std::string after;
};

TEST(ProfileWrite, ChangesOnlyWhatItMustAndKeepsTheRest) {
  const WriteCase cases[] = {
      {"replace keeps comments and order", true, "; c\n[S]\n  A = 1 \nB=2\n", "s", "a", "9",
       "; c\n[S]\nA=9\nB=2\n"},
      {"first of duplicate keys replaced", true, "[S]\nA=1\nA=2\n", "S", "A", "3",
       "[S]\nA=3\nA=2\n"},
      {"new key after the section's last key", true, "[S]\nA=1\n\n[T]\nX=1\n", "S", "B", "2",
       "[S]\nA=1\nB=2\n\n[T]\nX=1\n"},
      {"new key into an empty section", true, "[S]\n[T]\n", "S", "A", "1", "[S]\nA=1\n[T]\n"},
      {"new section at the end", true, "[S]\nA=1", "T", "K", "V", "[S]\nA=1\n[T]\nK=V\n"},
      {"new file", false, "", "S", "A", "1", "[S]\nA=1\n"},
      {"CRLF file gets CRLF lines", true, "[S]\r\nA=1\r\n", "S", "B", "2",
       "[S]\r\nA=1\r\nB=2\r\n"},
      {"delete key keeps comments", true, "[S]\nA=1\n;c\nB=2\n", "S", "a", nullptr,
       "[S]\n;c\nB=2\n"},
      {"delete key in every section of that name", true, "[S]\nA=1\n[s]\na=2\nb=3\n", "S", "A",
       nullptr, "[S]\n[s]\nb=3\n"},
      {"delete section", true, "x=0\n[S]\nA=1\n;c\n[T]\nB=2\n", "s", nullptr, nullptr,
       "x=0\n[T]\nB=2\n"},
      {"delete missing key changes nothing", true, "[S]\nA=1\n", "S", "Z", nullptr, "[S]\nA=1\n"},
      {"delete in missing file creates nothing", false, "", "S", "Z", nullptr, ""},
      {"binary garbage and NUL bytes elsewhere kept", true,
       std::string("bin\0\xff\x01garbage\n[S]\nA=1\n", 22), "S", "A", "2",
       std::string("bin\0\xff\x01garbage\n[S]\nA=2\n", 22)},
      {"value with quotes and blanks written as given", true, "[S]\n", "S", "A", "\" q \"",
       "[S]\nA=\" q \"\n"},
  };
  for (const WriteCase& c : cases) {
    platform::testing::TempRoot root;
    if (c.fileExists) WriteFile(IniPath(), c.before);
    EXPECT_EQ(WritePrivateProfileString(c.section, c.key, c.value, "test.ini"), TRUE) << c.name;
    if (c.fileExists || !c.after.empty()) {
      EXPECT_EQ(ReadFile(IniPath()), c.after) << c.name;
    } else {
      EXPECT_FALSE(Exists(IniPath())) << c.name;
    }
  }
}

TEST(ProfileWrite, ReadsBackWhatWasWritten) {
  platform::testing::TempRoot root;
  ASSERT_TRUE(WritePrivateProfileString("general", "debuglog", "T", "common.ini"));
  ASSERT_TRUE(WritePrivateProfileString("ConnectedProtocol", "bTCPIP", "1", "common.ini"));
  ASSERT_TRUE(WritePrivateProfileString("GENERAL", "DebugLog", "F", "common.ini"));
  EXPECT_EQ(Get("general", "debuglog", "", 256, "common.ini"), "F");
  EXPECT_EQ(GetPrivateProfileInt("connectedprotocol", "btcpip", 0, "common.ini"), 1);
  EXPECT_EQ(ReadFile(platform::WindowsDirectory() + "/common.ini"),
            "[general]\ndebuglog=F\n[ConnectedProtocol]\nbTCPIP=1\n");
}

TEST(ProfileWrite, RefusesLineBreaksControlCharactersAndBreakingNames) {
  platform::testing::TempRoot root;
  const std::string before = "; keep me\n[S]\nA=1\n";
  WriteFile(IniPath(), before);
  struct {
    const char* section;
    const char* key;
    const char* value;
  } const cases[] = {
      {"S", "A", "two\nlines"}, {"S", "A", "cr\r"},        {"S", "A", "tab\there"},
      {"S", "A", "del\x7f"},    {"S", "B\nC", "1"},        {"S\r\n[T]", "A", "1"},
      {"S", "K=V", "1"},        {"S", "[T]", "1"},         {"S", ";c", "1"},
      {"S]x", "A", "1"},        {"", "A", "1"},            {"S", "  ", "1"},
      {nullptr, "A", "1"},      {"S", "A\x1b", nullptr},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(WritePrivateProfileString(c.section, c.key, c.value, "test.ini"), FALSE)
        << (c.section ? c.section : "(null)") << "/" << (c.key ? c.key : "(null)");
  }
  EXPECT_EQ(ReadFile(IniPath()), before);
  EXPECT_EQ(WritePrivateProfileString("S", "A", "x\ny", "fresh.ini"), FALSE);
  EXPECT_FALSE(Exists(IniPath("fresh.ini")));
  EXPECT_EQ(WritePrivateProfileString("S", "A", "1", nullptr), FALSE);
}

TEST(ProfileBadInput, LongLinesGarbageAndOversizedFilesHaveDefinedResults) {
  platform::testing::TempRoot root;
  const std::string longValue(1024 * 1024, 'v');
  std::string text = "[S]\nlong=" + longValue + "\n";
  text += std::string("junk\0\xfe\xff", 7) + std::string(100000, '\x01') + "\n";
  text += "after=ok\n";
  WriteFile(IniPath(), text);
  EXPECT_EQ(Get("S", "long", "d", 10), "vvvvvvvvv");
  std::vector<char> big(longValue.size() + 1);
  EXPECT_EQ(GetPrivateProfileString("S", "long", "", big.data(), static_cast<DWORD>(big.size()),
                                    "test.ini"),
            longValue.size());
  EXPECT_EQ(Get("S", "after"), "ok");
  ASSERT_TRUE(WritePrivateProfileString("S", "after", "changed", "test.ini"));
  std::string expected = text;
  expected.replace(expected.size() - 3, 2, "changed");
  EXPECT_EQ(ReadFile(IniPath()), expected);

  // A file beyond the size bound reads as empty and is never written.
  std::string huge = "[S]\nA=1\n" + std::string(5 * 1024 * 1024, ';') + "\n";
  WriteFile(IniPath("huge.ini"), huge);
  EXPECT_EQ(Get("S", "A", "d", 16, "huge.ini"), "d");
  EXPECT_EQ(GetPrivateProfileInt("S", "A", 4, "huge.ini"), 4);
  EXPECT_EQ(WritePrivateProfileString("S", "A", "2", "huge.ini"), FALSE);
  EXPECT_EQ(ReadFile(IniPath("huge.ini")), huge);

  // Something that is not a file: defaults, and a write fails.
  ASSERT_TRUE(platform::MakeDirectories(IniPath("dir.ini")));
  EXPECT_EQ(Get("S", "A", "d", 16, "dir.ini"), "d");
  EXPECT_EQ(WritePrivateProfileString("S", "A", "2", "dir.ini"), FALSE);
}

TEST(ProfileConcurrency, ReadersSeeTheOldOrTheNewFileNeverHalfOfIt) {
  platform::testing::TempRoot root;
  std::string filler;
  for (int i = 0; i < 4000; ++i) filler += "pad" + std::to_string(i) + "=" + std::string(40, 'p') + "\n";
  WriteFile(IniPath(), "[S]\nvalue=old\n" + filler + "[T]\ntail=end\n");
  const std::string longNew(20000, 'n');
  std::atomic<bool> done{false};
  std::atomic<int> bad{0};
  std::atomic<int> reads{0};
  std::vector<std::thread> readers;
  for (int r = 0; r < 3; ++r) {
    readers.emplace_back([&] {
      std::vector<char> buf(longNew.size() + 16);
      // Keep reading until the writer is done and this reader has seen a few files.
      for (int mine = 0; !done.load() || mine < 5; ++mine) {
        GetPrivateProfileString("S", "value", "missing", buf.data(), static_cast<DWORD>(buf.size()),
                                "test.ini");
        std::string v = buf.data();
        if (v != "old" && v != longNew) ++bad;
        char tail[16];
        GetPrivateProfileString("T", "tail", "missing", tail, sizeof tail, "test.ini");
        if (std::string(tail) != "end") ++bad;
        ++reads;
      }
    });
  }
  for (int i = 0; i < 100; ++i) {
    ASSERT_TRUE(WritePrivateProfileString("S", "value", i % 2 == 0 ? longNew.c_str() : "old",
                                          "test.ini"));
  }
  done = true;
  for (std::thread& t : readers) t.join();
  EXPECT_EQ(bad.load(), 0);
  EXPECT_GT(reads.load(), 0);
}

TEST(ProfileWrite, ReadOnlyDirectoryFailsAndLosesNothing) {
  platform::testing::TempRoot root;
  const std::string before = "[S]\nA=1\n";
  WriteFile(IniPath(), before);
  ASSERT_EQ(chmod(root.path().c_str(), 0755), 0);
  ASSERT_EQ(chmod(platform::WindowsDirectory().c_str(), 0555), 0);
  int rc = platform::testing::RunUnprivileged([] {
    if (WritePrivateProfileString("S", "A", "2", "test.ini") != FALSE) return 1;
    if (WritePrivateProfileString("S", "B", "2", "test.ini") != FALSE) return 2;
    if (WritePrivateProfileString("S", nullptr, nullptr, "test.ini") != FALSE) return 3;
    if (WritePrivateProfileString("S", "A", "2", "new.ini") != FALSE) return 4;
    if (GetPrivateProfileInt("S", "A", 0, "test.ini") != 1) return 5;
    return 0;
  });
  chmod(platform::WindowsDirectory().c_str(), 0755);
  EXPECT_EQ(rc, 0);
  EXPECT_EQ(ReadFile(IniPath()), before);
  EXPECT_FALSE(Exists(IniPath("new.ini")));
}

// A file its owner made read-only (chmod 444) is refused, whoever writes: root as well, whom the
// system would let write it, and a user who may write the folder but not the file.
TEST(ProfileWrite, AReadOnlyFileIsNeverRewrittenAndTheFailureSaysWhy) {
  platform::testing::TempRoot root;
  const std::string before = "[S]\nA=1\n";
  for (mode_t mode : {0444, 0400, 0555}) {
    SCOPED_TRACE(mode);
    WriteFile(IniPath(), before);
    ASSERT_EQ(chmod(IniPath().c_str(), mode), 0);
    struct stat was{};
    ASSERT_EQ(stat(IniPath().c_str(), &was), 0);
    SetLastError(0);
    EXPECT_EQ(WritePrivateProfileString("S", "A", "2", "test.ini"), FALSE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_READ_ONLY));
    EXPECT_EQ(WritePrivateProfileString("S", "B", "2", "test.ini"), FALSE);
    EXPECT_EQ(WritePrivateProfileString("S", nullptr, nullptr, "test.ini"), FALSE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_READ_ONLY));
    struct stat now{};
    ASSERT_EQ(stat(IniPath().c_str(), &now), 0);
    EXPECT_EQ(now.st_ino, was.st_ino);  // the very file, not a copy renamed over it
    EXPECT_EQ(now.st_mode & 07777, mode);
    EXPECT_EQ(ReadFile(IniPath()), before);
    EXPECT_EQ(GetPrivateProfileInt("S", "A", 0, "test.ini"), 1);
    // Writable again, it takes changes again.
    ASSERT_EQ(chmod(IniPath().c_str(), 0644), 0);
    EXPECT_EQ(WritePrivateProfileString("S", "A", "2", "test.ini"), TRUE);
    EXPECT_EQ(GetPrivateProfileInt("S", "A", 0, "test.ini"), 2);
  }
  // Another user's file in a folder everybody may write: a rename could replace it, but it is not
  // this writer's to replace.
  if (geteuid() != 0) GTEST_SKIP() << "needs root to act as a second user";
  WriteFile(IniPath(), before);
  ASSERT_EQ(chmod(IniPath().c_str(), 0644), 0);
  ASSERT_EQ(chmod(root.path().c_str(), 0755), 0);
  ASSERT_EQ(chmod(platform::WindowsDirectory().c_str(), 0777), 0);
  unlink(IniPath(".test.ini.lock").c_str());  // this writer's lock file is its own
  const int rc = platform::testing::RunUnprivileged([] {
    if (WritePrivateProfileString("S", "A", "3", "test.ini") != FALSE) return 1;
    if (GetLastError() != static_cast<DWORD>(ERROR_FILE_READ_ONLY)) return 2;
    return 0;
  });
  chmod(platform::WindowsDirectory().c_str(), 0700);
  EXPECT_EQ(rc, 0);
  EXPECT_EQ(ReadFile(IniPath()), before);
}

// A settings file that is a symbolic link stays one: the change goes to the file it leads to, which
// is replaced in its own folder (no temporary file is left in either), and a link to nowhere gets
// the file it names made.
TEST(ProfileWrite, ALinkedFileStaysALinkAndItsTargetGetsTheChange) {
  platform::testing::TempRoot root;
  const std::string elsewhere = root.path() + "/elsewhere";
  ASSERT_EQ(mkdir(elsewhere.c_str(), 0700), 0);
  const std::string target = elsewhere + "/shared.ini";
  WriteFile(target, "; shared\n[ConnectedProtocol]\nbTCPIP=0\n");
  ASSERT_EQ(chmod(target.c_str(), 0640), 0);
  struct Case {
    const char* label;
    std::string linkText;  // what common.ini leads to
  };
  const Case cases[] = {{"absolute", target}, {"relative", "../elsewhere/shared.ini"}, {"through a second link", "hop.ini"}};
  ASSERT_EQ(symlink(target.c_str(), IniPath("hop.ini").c_str()), 0);
  int round = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    unlink(IniPath("common.ini").c_str());
    ASSERT_EQ(symlink(c.linkText.c_str(), IniPath("common.ini").c_str()), 0);
    const std::string value = std::to_string(++round);
    ASSERT_EQ(WritePrivateProfileString("ConnectedProtocol", "bTCPIP", value.c_str(), "common.ini"), TRUE);
    struct stat st{};
    ASSERT_EQ(lstat(IniPath("common.ini").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_EQ(ReadFile(target), "; shared\n[ConnectedProtocol]\nbTCPIP=" + value + "\n");
    ASSERT_EQ(stat(target.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(GetPrivateProfileInt("ConnectedProtocol", "bTCPIP", 0, "common.ini"), round);
  }
  for (const std::string& dir : {platform::WindowsDirectory(), elsewhere}) {
    std::vector<std::string> temporaries;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
      const std::string name = entry.path().filename().string();
      if (name.front() == '.' && name.find(".lock") == std::string::npos) temporaries.push_back(name);
    }
    EXPECT_TRUE(temporaries.empty()) << dir << ": " << temporaries.front();
  }
  // A read-only target is refused through the link as well.
  ASSERT_EQ(chmod(target.c_str(), 0444), 0);
  EXPECT_EQ(WritePrivateProfileString("ConnectedProtocol", "bTCPIP", "9", "common.ini"), FALSE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_READ_ONLY));
  // A link to a file not made yet.
  ASSERT_EQ(symlink("../elsewhere/new.ini", IniPath("new.ini").c_str()), 0);
  ASSERT_EQ(WritePrivateProfileString("S", "K", "V", "new.ini"), TRUE);
  EXPECT_EQ(ReadFile(elsewhere + "/new.ini"), "[S]\nK=V\n");
  struct stat st{};
  ASSERT_EQ(lstat(IniPath("new.ini").c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
}

}  // namespace

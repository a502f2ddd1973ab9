#include "wizard/wizard_routines.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <vector>

#include "platform/message_sink.h"
#include "platform/registry.h"
#include "platform/test_support/temp_root.h"

namespace {

struct RecordingSink : platform::MessageSink {
  int Show(int stringId, const std::string& text, UINT) override {
    ids.push_back(stringId);
    texts.push_back(text);
    return platform::IDOK;
  }
  std::vector<int> ids;
  std::vector<std::string> texts;
};

class ScopedSink {
 public:
  ScopedSink() { platform::SetMessageSink(&sink); }
  ~ScopedSink() { platform::SetMessageSink(nullptr); }
  RecordingSink sink;
};

TEST(OsClass, VersionsClassifyAsTheirFamily) {
  struct Case {
    unsigned platformId, major, minor;
    int expected;
  };
  const Case cases[] = {
      {1, 4, 0, 1},  {1, 4, 9, 1},   {1, 4, 10, 2}, {1, 4, 90, 2}, {1, 5, 0, 0},
      {2, 3, 51, 3}, {2, 3, 50, 0},  {2, 4, 0, 4},  {2, 4, 1, 0},  {2, 5, 0, 5},
      {2, 5, 1, 6},  {2, 5, 2, 0},   {2, 6, 0, 7},  {2, 6, 3, 7},  {2, 10, 0, 0},
      {0, 5, 0, 0},  {3, 6, 0, 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(wizard::OsClassOf(c.platformId, c.major, c.minor), c.expected)
        << c.platformId << " " << c.major << "." << c.minor;
  }
  EXPECT_EQ(wizard::GetOsClass(), 5);
}

TEST(ErrorMessages, EachCodeShowsAtMostOneBox) {
  struct Case {
    int code;
    std::vector<int> ids;
  };
  const Case cases[] = {
      {0, {}},       {1, {}},      {2, {}},      {4, {}},      {-205, {}},   {-1, {103}},
      {-5, {103}},   {-2, {104}},  {-3, {104}},  {-4, {105}},  {-200, {106}}, {-201, {107}},
      {-202, {108}}, {-203, {109}}, {-204, {110}}, {-206, {111}}, {-207, {112}}, {-208, {113}},
      {-209, {114}}, {-210, {105}}, {3, {104}},   {5, {104}},   {-6, {104}},  {-100, {104}},
      {-211, {104}},
  };
  for (const Case& c : cases) {
    ScopedSink scoped;
    wizard::ShowErrorForCode(c.code);
    EXPECT_EQ(scoped.sink.ids, c.ids) << "code " << c.code;
  }
  ScopedSink scoped;
  wizard::ShowErrorForCode(-206);
  ASSERT_EQ(scoped.sink.texts.size(), 1u);
  EXPECT_EQ(scoped.sink.texts[0],
            "Printer is offline or\nnot responding or\nattached is not a bi-direction printer.");
}

bool Absent() { return false; }

TEST(ProtocolProbes, ClassesWithoutProbesAnswerYes) {
  struct Case {
    int osClass;
    bool isTcpip;
    bool expected;
  };
  const Case cases[] = {{0, false, true}, {0, true, true}, {7, true, true}, {7, false, false},
                        {5, true, false}, {5, false, false}, {1, true, false}, {8, false, true}};
  for (const Case& c : cases) {
    EXPECT_EQ(wizard::ProtocolInstalledForClass(c.osClass, c.isTcpip, &Absent), c.expected)
        << c.osClass << " " << c.isTcpip;
  }
  EXPECT_TRUE(wizard::IsTcpipInstalled());
}

TEST(Workgroups, DefaultComesFromSambaAndStaysWithoutIt) {
  platform::testing::TempRoot root;
  const std::string file = root.path() + "/smb.conf";
  ::setenv("PSADMIN_SMB_CONF", file.c_str(), 1);
  std::string text = "BEFORE";
  wizard::GetDefaultWorkgroup(text);
  EXPECT_EQ(text, "BEFORE");
  std::ofstream(file) << "[global]\n\tworkgroup = SALES\n";
  wizard::GetDefaultWorkgroup(text);
  EXPECT_EQ(text, "SALES");
  ::unsetenv("PSADMIN_SMB_CONF");

  std::list<std::string> list{"stale"};
  const char* path = std::getenv("PATH");
  const std::string oldPath = path != nullptr ? path : "";
  ::setenv("PATH", root.path().c_str(), 1);  // no browsing tools
  wizard::EnumWorkgroups(list);
  ::setenv("PATH", oldPath.c_str(), 1);
  EXPECT_TRUE(list.empty());
}

void WriteRecord(const char* name, const std::string& value, DWORD type = REG_SZ) {
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyEx(HKEY_LOCAL_MACHINE, wizard::kInstallationKey, KEY_ALL_ACCESS, &key,
                           nullptr),
            ERROR_SUCCESS);
  RegSetValueEx(key, name, type, reinterpret_cast<const BYTE*>(value.c_str()),
                static_cast<DWORD>(value.size() + 1));
  RegCloseKey(key);
}

TEST(InstallationRecord, OnlyAnExactUserSetupCounts) {
  struct Case {
    const char* setupType;
    int expected;
  };
  const Case cases[] = {{"User", 1}, {"user", 0}, {"USER", 0}, {"User ", 0}, {"Admin", 0}, {"", 0}};
  for (const Case& c : cases) {
    platform::testing::TempRoot root;
    EXPECT_EQ(wizard::IsUserSetup(), 0);  // no record at all
    WriteRecord("SetupType", c.setupType);
    EXPECT_EQ(wizard::IsUserSetup(), c.expected) << c.setupType;
  }
}

TEST(InstallationRecord, TargetDirIsReadWithoutWriteRightsAndCheckedForControlCharacters) {
  platform::testing::TempRoot root;
  std::string dir = "untouched";
  EXPECT_EQ(wizard::GetTargetDir(dir), 0);
  WriteRecord("SetupType", "User");
  EXPECT_EQ(wizard::GetTargetDir(dir), 0);  // key without the value
  EXPECT_EQ(dir, "untouched");
  WriteRecord("TARGETDIR", "/opt/psadmin");
  EXPECT_EQ(wizard::GetTargetDir(dir), 1);
  EXPECT_EQ(dir, "/opt/psadmin");
  WriteRecord("TARGETDIR", "/opt/evil\nline");
  EXPECT_EQ(wizard::GetTargetDir(dir), 0);
  WriteRecord("TARGETDIR", std::string(200, 'x'));
  EXPECT_EQ(wizard::GetTargetDir(dir), 0);
  EXPECT_EQ(dir, "/opt/psadmin");
}

}  // namespace

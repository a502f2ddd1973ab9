#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <string_view>

#include "platform/ascii.h"
#include "platform/clock.h"
#include "platform/message_sink.h"
#include "platform/paths.h"
#include "platform/system_info.h"
#include "platform/test_support/temp_root.h"

namespace {

TEST(Paths, EverythingLivesUnderTheRelocatedRoot) {
  platform::testing::TempRoot root;
  EXPECT_EQ(platform::Root(), root.path());
  EXPECT_EQ(platform::WindowsDirectory(), root.path() + "/windows");
  EXPECT_EQ(platform::DataDirectory(), root.path() + "/KM220Data/");
  EXPECT_TRUE(platform::MakeDirectories(platform::DataDirectory() + "a/b"));
}

TEST(ComputerName, IsUpperCaseAndAtMostFifteenCharacters) {
  std::string name = platform::ComputerName();
  ASSERT_FALSE(name.empty());
  EXPECT_LE(name.size(), 15u);
  for (char c : name) EXPECT_FALSE(c >= 'a' && c <= 'z') << name;
}

TEST(FakeClock, SleepsAndWaitsCostNoRealTime) {
  platform::FakeClock fake;
  platform::ScopedClock scoped(&fake);
  std::int64_t before = platform::SystemClock().SteadyMs();
  platform::GetClock().SleepMs(20000);
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  EXPECT_EQ(platform::WaitReadable(fds[0], 10000), 0);
  close(fds[0]);
  close(fds[1]);
  EXPECT_EQ(fake.WaitedMs(), 30000);
  EXPECT_LT(platform::SystemClock().SteadyMs() - before, 5000);
}

class Recorder : public platform::MessageSink {
 public:
  int Show(int id, const std::string& text, UINT) override {
    lastId = id;
    lastText = text;
    return platform::IDYES;
  }
  int lastId = 0;
  std::string lastText;
};

TEST(MessageSink, BoxesGoToTheInstalledSinkByStringId) {
  Recorder rec;
  platform::SetMessageSink(&rec);
  platform::RegisterString(4242, "Hello");
  EXPECT_EQ(platform::MessageBoxById(4242, platform::MB_YESNO), platform::IDYES);
  EXPECT_EQ(rec.lastId, 4242);
  EXPECT_EQ(rec.lastText, "Hello");
  platform::SetMessageSink(nullptr);
}

}  // namespace

TEST(AsciiControl, EveryByteBelowSpaceAndDelAndNothingElse) {
  for (int b = 0; b < 256; ++b) {
    const char c = static_cast<char>(b);
    EXPECT_EQ(platform::IsAsciiControl(c), b < 0x20 || b == 0x7F) << b;
  }
  struct Case {
    std::string_view text;
    bool control;
  };
  using namespace std::string_view_literals;
  const Case cases[] = {
      {"", false},
      {"Plain text ~!@#$%^&*()_+{}|:<>?", false},
      {"caf\xE9 \x80\xFF", false},  // bytes from 0x80 up are for the caller to judge
      {"line\nbreak", true},
      {"carriage\r", true},
      {"\ttab first", true},
      {"del at end\x7F", true},
      {"inner\0nul"sv, true},  // a NUL inside the view counts, not just as a terminator
      {"\x1F", true},
      {" ", false},
  };
  for (const Case& c : cases) EXPECT_EQ(platform::HasAsciiControl(c.text), c.control) << c.text;
}

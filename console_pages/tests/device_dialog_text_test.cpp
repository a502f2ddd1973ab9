// The device dialogs' texts: port blocks of the status text, reply lines, value checks.
#include "console_pages/device_dialog_text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace device_dialogs {
namespace {

using namespace std::string_literals;

const std::string kThreePorts =
    "(P1)STATE:Printing\r\nPRINTER STATUS:On-Line\r\nBYTES SERVICED:1234\r\nOCCUPIED BY:ALICE\r\n"
    "(P2)STATE:Idle\r\nPRINTER STATUS:Off-Line\r\nBYTES SERVICED:0\r\nOCCUPIED BY:\r\n"
    "(LOBBY)STATE:Idle\r\nPRINTER STATUS:On-Line\r\nBYTES SERVICED:0\r\nOCCUPIED BY:\r\n";

TEST(PortStatus, BlocksByToken) {
  struct Case {
    std::string text;
    std::string token;
    bool found;
    const char* state;
    const char* status;
    const char* bytes;
    const char* user;
    bool ready;
  } cases[] = {
      {kThreePorts, "P1", true, "Printing", "On-Line", "1234", "ALICE", false},
      {kThreePorts, "P2", true, "Idle", "Off-Line", "0", "", false},
      {kThreePorts, "LOBBY", true, "Idle", "On-Line", "0", "", true},
      {kThreePorts, "P3", false, "", "", "", "", false},
      {kThreePorts, "", false, "", "", "", "", false},
      // No line end after the state: the state stays empty (and so neither Idle nor Printing).
      {"(P1)STATE:Idle", "P1", true, "", "", "", "", false},
      // The key at the very end: nothing after it, not even the separator.
      {"(P1)STATE", "P1", true, "", "", "", "", false},
      {"(P1)STATE:", "P1", true, "", "", "", "", false},
      // Values are read in order: no PRINTER STATUS, so nothing further is read.
      {"(P1)STATE:Idle\r\nBYTES SERVICED:5\r\n", "P1", true, "Idle", "", "", "", false},
      // A value without its line end stays empty.
      {"(P1)STATE:Idle\r\nPRINTER STATUS:On-Line", "P1", true, "Idle", "", "", "", false},
      // The next "(" ends the block, even inside a value.
      {"(P1)STATE:Idle\r\nPRINTER STATUS:On-Line (tray 2)\r\n", "P1", true, "Idle", "", "", "", false},
      // Any separator character is skipped unread.
      {"(P1)STATE=Idle\r\nPRINTER STATUS=On-Line\r\nBYTES SERVICED=9\r\nOCCUPIED BY=BOB\r\n", "P1", true,
       "Idle", "On-Line", "9", "BOB", true},
      {"\0(P1)STATE:Idle\r\n"s, "P1", true, "Idle", "", "", "", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text + " / " + c.token);
    const PortStatusBlock b = ParsePortStatus(c.text, c.token);
    EXPECT_EQ(b.found, c.found);
    EXPECT_EQ(b.state, c.state);
    EXPECT_EQ(b.printerStatus, c.status);
    EXPECT_EQ(b.bytesServiced, c.bytes);
    EXPECT_EQ(b.occupiedBy, c.user);
    EXPECT_EQ(IsOnLineAndIdle(b), c.ready);
  }
}

TEST(PortStatus, TokenIsTheConfiguredNameOrThePortsOwn) {
  EXPECT_EQ(PortToken(1, ""), "P1");
  EXPECT_EQ(PortToken(2, ""), "P2");
  EXPECT_EQ(PortToken(3, ""), "P3");
  EXPECT_EQ(PortToken(101, ""), "SP");
  EXPECT_EQ(PortToken(1, "LOBBY"), "LOBBY");
  EXPECT_EQ(PortToken(0, "LOBBY"), "");
  EXPECT_EQ(PortToken(4, ""), "");
}

TEST(ReplyLines, LinesEndAtLineFeedsAndAreCut) {
  struct Case {
    std::string reply;
    std::vector<std::string> lines;
  } cases[] = {
      {"A\nB\n", {"A", "B"}},
      {"A\nB", {"A"}},
      {"AB", {}},
      {"", {}},
      {"one\r\ntwo\r\n", {"one\r", "two\r"}},
      {"\n\n", {"", ""}},
      {std::string(60, 'x') + "\nshort\n", {std::string(49, 'x'), "short"}},
      {std::string(49, 'y') + "\n", {std::string(49, 'y')}},
      {"A\n\0B\n"s, {"A"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.reply);
    std::vector<char> buffer(c.reply.begin(), c.reply.end());
    buffer.resize(buffer.size() + 16, '\0');
    EXPECT_EQ(SplitReplyLines(buffer.data(), buffer.size()), c.lines);
  }
}

TEST(ReplyLines, ABufferWithoutNulEndsAtItsCapacity) {
  std::string full = "first\n" + std::string(100, 'z') + "\nlast";
  const std::vector<std::string> lines = SplitReplyLines(full.data(), full.size());
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[1], std::string(49, 'z'));
  EXPECT_TRUE(SplitReplyLines(nullptr, 10).empty());
  EXPECT_TRUE(SplitReplyLines(full.data(), 0).empty());
}

class ValueChecks : public ::testing::Test {
 protected:
  void SetUp() override { RegisterDeviceDialogStrings(); }
};

TEST_F(ValueChecks, WholeNumbers) {
  const std::list<std::string> copies = {"1", "999"};
  struct Case {
    const char* typed;
    std::list<std::string> bounds;
    const char* sent;  // nullptr: refused
    int id;
    const char* message;
  } cases[] = {
      {"007", copies, "7", 0, ""},
      {"1 2", copies, "12", 0, ""},
      {"999", copies, "999", 0, ""},
      {"1", copies, "1", 0, ""},
      {"0", copies, nullptr, IDS_NEED_VALUE_BETWEEN, "Need to input value between 1 - 999"},
      {"1000", copies, nullptr, IDS_NEED_VALUE_BETWEEN, "Need to input value between 1 - 999"},
      {"", copies, nullptr, IDS_NEED_INPUT_DATA, "Need to input data"},
      {"   ", copies, nullptr, IDS_NEED_INPUT_DATA, "Need to input data"},
      {"1.5", copies, nullptr, IDS_ILLEGAL_INPUT_DATA, "Illegal input data"},
      {"-3", copies, nullptr, IDS_ILLEGAL_INPUT_DATA, "Illegal input data"},
      {"99999999999999999999999", copies, nullptr, IDS_NEED_VALUE_BETWEEN,
       "Need to input value between 1 - 999"},
      // Fewer than two bounds: only the form is checked.
      {"42", {}, "42", 0, ""},
      {"42", {"5"}, "42", 0, ""},
      {"4x", {"5"}, nullptr, IDS_ILLEGAL_INPUT_DATA, "Illegal input data"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.typed);
    const ValueCheck v = CheckWholeNumber(c.typed, c.bounds);
    EXPECT_EQ(v.ok, c.sent != nullptr);
    if (c.sent) {
      EXPECT_EQ(v.value, c.sent);
    }
    EXPECT_EQ(v.messageId, c.id);
    EXPECT_EQ(v.message, c.message);
  }
}

TEST_F(ValueChecks, DecimalNumbers) {
  const std::list<std::string> pitch = {"0.44", "99.99"};
  struct Case {
    const char* typed;
    std::list<std::string> bounds;
    const char* sent;
    int id;
    const char* message;
  } cases[] = {
      {"10", pitch, "10", 0, ""},
      {"0.5", pitch, "0.5", 0, ""},
      {"00.5", pitch, "0.5", 0, ""},
      {".5", pitch, ".5", 0, ""},
      {"012.25", pitch, "12.25", 0, ""},
      {"99.99", pitch, "99.99", 0, ""},
      {"0.44", pitch, "0.44", 0, ""},
      {"100", pitch, nullptr, IDS_NEED_VALUE_BETWEEN, "Need to input value between  0.44 - 99.99"},
      {"0.43", pitch, nullptr, IDS_NEED_VALUE_BETWEEN, "Need to input value between  0.44 - 99.99"},
      {"1.2.3", pitch, nullptr, IDS_ILLEGAL_INPUT_DATA, "Illegal input data"},
      {"5.", pitch, nullptr, IDS_ILLEGAL_INPUT_DATA, "Illegal input data"},
      {"1e2", pitch, nullptr, IDS_ILLEGAL_INPUT_DATA, "Illegal input data"},
      {"", pitch, nullptr, IDS_NEED_INPUT_DATA, "Need to input data"},
      {"7.5", {}, "7.5", 0, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.typed);
    const ValueCheck v = CheckDecimalNumber(c.typed, c.bounds);
    EXPECT_EQ(v.ok, c.sent != nullptr);
    if (c.sent) {
      EXPECT_EQ(v.value, c.sent);
    }
    EXPECT_EQ(v.messageId, c.id);
    EXPECT_EQ(v.message, c.message);
  }
}

}  // namespace
}  // namespace device_dialogs

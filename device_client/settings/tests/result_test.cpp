#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "device_client/settings/com_method.h"
#include "platform/message_sink.h"

namespace {

struct ShownBox {
  int id;
  std::string text;
  UINT type;
};

class RecordingSink : public platform::MessageSink {
 public:
  int Show(int stringId, const std::string& text, UINT type) override {
    boxes.push_back({stringId, text, type});
    return platform::IDOK;
  }
  std::vector<ShownBox> boxes;
};

class ComMethodShowResult : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::SetMessageSink(&sink_);
    g_bResultShown = 0;
  }
  void TearDown() override { platform::SetMessageSink(nullptr); }
  RecordingSink sink_;
};

TEST_F(ComMethodShowResult, EveryCodeShowsItsMessage) {
  struct Case {
    int code;
    int stringId;  // 0: no box
    const char* text;
    int result;
  };
  const Case cases[] = {
      {0, 0, nullptr, 1},
      {1, 0, nullptr, 1},
      {2, 0, nullptr, 1},
      {4, 0, nullptr, 1},
      {-205, 0, nullptr, 1},
      {-1, 32794, "Network Busy ,or Device not found !! ", 1},
      {-5, 32794, "Network Busy ,or Device not found !! ", 1},
      {-4, 32887, "Device not found", 1},
      {-200, 32886, "PJL data error", 1},
      {-201, 32885, "Not PJL printer , or printer is offline", 1},
      {-202, 32882, "PJL Get Status return error", 1},
      {-203, 32883, "PJL Configuration Information not available", 1},
      {-204, 32891, "Printer is occupied", 1},
      {-206, 32896,
       "Printer is offline or\nnot responding or\nattached is not a bi-direction printer.", 1},
      {-207, 32897, "Printer is printing now", 1},
      {-208, 32898, "Command Parameter invalid", 1},
      {-209, 32899, "Network busy !!", 1},
      {-210, 32887, "Device not found", 1},
      {-2, 32884, "Unknown error code", 0},
      {-3, 32884, "Unknown error code", 0},
      {3, 32884, "Unknown error code", 0},
      {-6, 32884, "Unknown error code", 0},
      {-211, 32884, "Unknown error code", 0},
      {123456, 32884, "Unknown error code", 0},
  };
  for (const Case& c : cases) {
    sink_.boxes.clear();
    g_bResultShown = 0;
    EXPECT_EQ(CComMethod::ShowResult(c.code), c.result) << "code " << c.code;
    if (c.stringId == 0) {
      EXPECT_TRUE(sink_.boxes.empty()) << "code " << c.code;
      EXPECT_EQ(g_bResultShown, 0) << "code " << c.code;
      continue;
    }
    ASSERT_EQ(sink_.boxes.size(), 1u) << "code " << c.code;
    EXPECT_EQ(sink_.boxes[0].id, c.stringId) << "code " << c.code;
    EXPECT_EQ(sink_.boxes[0].text, c.text) << "code " << c.code;
    EXPECT_EQ(sink_.boxes[0].type, platform::MB_OK) << "code " << c.code;
    // Only the boxes of known codes raise the flag.
    EXPECT_EQ(g_bResultShown, c.result) << "code " << c.code;
  }
}

TEST_F(ComMethodShowResult, FlagIsRaisedBeforeTheBoxAndUnknownCodeLeavesItAlone) {
  struct FlagSink : platform::MessageSink {
    int Show(int, const std::string&, UINT) override {
      flagWhileShown = g_bResultShown;
      return platform::IDOK;
    }
    int flagWhileShown = -1;
  } flagSink;
  platform::SetMessageSink(&flagSink);
  g_bResultShown = 0;
  CComMethod::ShowResult(-4);
  EXPECT_EQ(flagSink.flagWhileShown, 1);

  g_bResultShown = 0;
  EXPECT_EQ(CComMethod::ShowResult(-2), 0);
  EXPECT_EQ(flagSink.flagWhileShown, 0);
  EXPECT_EQ(g_bResultShown, 0);
}

}  // namespace

// Each injected fault once, seen by a bare client.
#include <gtest/gtest.h>

#include "tools/box_emulator/box_emulator.h"
#include "tools/box_emulator/tests/raw_client.h"

namespace {

using box_emulator::Box;
using box_emulator::BoxOptions;
using box_emulator::FaultPlan;
using namespace std::chrono_literals;

class BoxFault : public ::testing::Test {
 protected:
  BoxFault() : box_(Options()) {}
  static BoxOptions Options() {
    BoxOptions o;
    o.restartWindow = 0ms;
    return o;
  }
  std::string Raw(const std::string& text) {
    return box_test::Exchange(box_.Address(), box_test::Frame(text));
  }
  Box box_;
};

TEST_F(BoxFault, ChunkSizeAndErrorByteInALaterChunk) {
  FaultPlan small;
  small.chunkSize = 50;
  box_.InjectFault(small);
  auto r = box_test::ParseReply(Raw("9007:\n"));
  ASSERT_EQ(r.chunks.size(), 4u);  // 50 + 50 + 50 + 14
  for (std::size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(r.chunks[i].more, i < 3 ? 1 : 0);
    EXPECT_EQ(r.chunks[i].error, 0);
  }
  EXPECT_EQ(r.chunks[3].data.size(), 14u);
  EXPECT_EQ(r.Data(), std::string(reinterpret_cast<const char*>(box_.DeviceInfoBlock().data()), 164));

  FaultPlan error;
  error.chunkSize = 50;
  error.errorChunk = 1;
  error.errorValue = 7;
  box_.InjectFault(error);
  r = box_test::ParseReply(Raw("9007:\n"));
  ASSERT_GE(r.chunks.size(), 2u);
  EXPECT_EQ(r.chunks[0].error, 0);
  EXPECT_EQ(r.chunks[1].error, 7);
}

TEST_F(BoxFault, SplitHeadersStillCarryTheWholeReply) {
  FaultPlan split;
  split.splitHeaders = true;
  split.chunkSize = 100;
  box_.InjectFault(split);
  const auto r = box_test::ParseReply(Raw("9100:\r\n"));
  EXPECT_FALSE(r.closedEarly);
  EXPECT_GT(r.chunks.size(), 2u);
  EXPECT_NE(r.Data().find("0001 :" + box_.DeviceName() + "\r\n"), std::string::npos);
}

TEST_F(BoxFault, CloseMidReply) {
  FaultPlan cut;
  cut.closeAfterBytes = 20;
  box_.InjectFault(cut);
  const std::string raw = Raw("9007:\n");
  EXPECT_EQ(raw.size(), 20u);
  EXPECT_TRUE(box_test::ParseReply(raw).closedEarly);
}

TEST_F(BoxFault, DelayedReplyArrivesWhole) {
  FaultPlan slow;
  slow.delay = 50ms;
  box_.InjectFault(slow);
  EXPECT_EQ(box_test::ParseReply(Raw("9007:\n")).Data().size(), 164u);
}

TEST_F(BoxFault, NeverReplyKeepsTheConnectionSilent) {
  FaultPlan mute;
  mute.neverReply = true;
  box_.InjectFault(mute);
  const int fd = box_test::Connect(box_.Address());
  ASSERT_GE(fd, 0);
  box_test::SendRaw(fd, box_test::Frame("9007:\n"));
  ASSERT_TRUE(box_.WaitForRequests(1, 10s));
  EXPECT_FALSE(box_.Requests()[0].answered);
  char c;
  EXPECT_EQ(::recv(fd, &c, 1, MSG_DONTWAIT), -1);
  ::close(fd);
  // Only the one request was spoilt.
  EXPECT_EQ(box_test::ParseReply(Raw("9007:\n")).Data().size(), 164u);
}

TEST_F(BoxFault, OversizeChunk) {
  FaultPlan big;
  big.oversizeChunk = 4000;
  box_.InjectFault(big);
  const auto r = box_test::ParseReply(Raw("9007:\n"));
  ASSERT_EQ(r.chunks.size(), 1u);
  EXPECT_EQ(r.chunks[0].more, 0);
  EXPECT_EQ(r.chunks[0].data.size(), 4000u);
  EXPECT_EQ(static_cast<unsigned char>(r.raw[3]) | static_cast<unsigned char>(r.raw[4]) << 8, 4000);
}

TEST_F(BoxFault, GarbageInsteadOfAReply) {
  FaultPlan junk;
  junk.garbage = 100;
  box_.InjectFault(junk);
  EXPECT_EQ(Raw("9007:\n").size(), 100u);
}

TEST_F(BoxFault, ReplyPaddedToAGivenSizeForTwoRequests) {
  FaultPlan large;
  large.replySize = 20000;
  large.count = 2;
  box_.InjectFault(large);
  for (int i = 0; i < 2; ++i) {
    const auto r = box_test::ParseReply(Raw("9007:\n"));
    EXPECT_FALSE(r.closedEarly);
    EXPECT_EQ(r.Data().size(), 20000u);
    EXPECT_EQ(r.chunks.size(), 20u);  // 1024 data bytes per chunk
  }
  EXPECT_EQ(box_test::ParseReply(Raw("9007:\n")).Data().size(), 164u);
}

}  // namespace

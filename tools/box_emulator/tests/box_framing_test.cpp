// Framing pieces that every front end of the box shares.
#include <gtest/gtest.h>

#include "tools/box_emulator/framing.h"

namespace {

using box_emulator::RequestAssembler;

TEST(BoxFraming, RequestArrivingByteByByte) {
  const std::string wire = std::string("@\x01\x02\0" "90", 6) + std::string("@\0\x04\0" "02:\n", 8);
  RequestAssembler a;
  for (std::size_t i = 0; i < wire.size(); ++i) {
    ASSERT_EQ(a.state(), RequestAssembler::State::kNeedMore) << "byte " << i;
    a.Feed(wire.substr(i, 1));
  }
  EXPECT_EQ(a.state(), RequestAssembler::State::kComplete);
  EXPECT_EQ(a.data(), "9002:\n");
  EXPECT_EQ(a.chunkSizes(), (std::vector<std::size_t>{2, 4}));
}

TEST(BoxFraming, ReplyHeadersOfBothLayouts) {
  const box_emulator::FaultPlan none;
  const std::string data(5, 'x');
  // Stream: lead, more, error, length LE; SPX: more, error, length LE.
  const auto stream = box_emulator::PlanReply(data, 0, none, 3, box_emulator::ReplyHeader::kStream).Bytes();
  EXPECT_EQ(stream, std::string("\xA5\x01\x00\x03\x00xxx\xA5\x00\x00\x02\x00xx", 15));
  box_emulator::FaultPlan error;
  error.errorChunk = 1;
  error.errorValue = 9;
  const auto spx = box_emulator::PlanReply(data, 0, error, 3, box_emulator::ReplyHeader::kSpx).Bytes();
  EXPECT_EQ(spx, std::string("\x01\x00\x03\x00xxx\x00\x09\x02\x00xx", 13));
  const auto empty = box_emulator::PlanReply("", 0, none, 3, box_emulator::ReplyHeader::kSpx).Bytes();
  EXPECT_EQ(empty, std::string("\0\0\0\0", 4));
}

}  // namespace

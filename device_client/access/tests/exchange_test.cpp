// End-to-end exchanges of the access library over real TCP connections to a scripted box.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "device_client/access/access.h"
#include "device_client/access/tests/scripted_box.h"
#include "platform/clock.h"
#include "platform/test_support/temp_root.h"

using testbox::B;
using testbox::Bytes;
using testbox::Concat;
using testbox::StreamChunk;
using testbox::Text;

namespace {

DeviceRecord TcpRecord(const std::string& name, const std::string& address) {
  DeviceRecord r{};
  std::memcpy(r.szName, name.data(), std::min<std::size_t>(name.size(), 20));
  r.iProtocol = TYPE_TCPIP;
  std::memcpy(r.address, address.data(), std::min<std::size_t>(address.size(), 20));
  return r;
}

// The request framing, built here independently: '@', more flag, uint16 LE length, data.
Bytes Framed(const std::string& request) {
  Bytes out;
  for (std::size_t offset = 0; offset < request.size(); offset += 384) {
    std::size_t n = std::min<std::size_t>(384, request.size() - offset);
    bool more = offset + n < request.size();
    Bytes header = B({0x40, more ? 1 : 0, static_cast<int>(n & 0xFF), static_cast<int>(n >> 8)});
    out.insert(out.end(), header.begin(), header.end());
    out.insert(out.end(), request.begin() + static_cast<long>(offset),
               request.begin() + static_cast<long>(offset + n));
  }
  return out;
}

std::string Pattern(std::size_t n) {
  std::string s(n, ' ');
  for (std::size_t i = 0; i < n; ++i) s[i] = static_cast<char>('a' + i % 26);
  return s;
}

class ExchangeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(box_.ok());
    ASSERT_EQ(PSInit(TYPE_TCPIP, 20), 0);
    console_access::ClearDevices();
    record_ = TcpRecord("KV00A1B2", box_.address());
    ASSERT_EQ(console_access::AppendDevice(record_), 0);
  }
  void TearDown() override { PSExit(); }

  platform::testing::TempRoot root_;
  testbox::ScriptedBox box_;
  platform::FakeClock clock_;
  platform::ScopedClock useClock_{&clock_};
  DeviceRecord record_{};
  std::vector<char> reply_ = std::vector<char>(10240 + 16, '\x7f');  // guard bytes after 10240
  int replyLength_ = -99;
};

struct RequestCase {
  const char* label;
  std::size_t length;
};

class RequestFraming : public ExchangeTest, public ::testing::WithParamInterface<RequestCase> {};

TEST_P(RequestFraming, SendsChunksOfAtMost384Bytes) {
  const std::string request = Pattern(GetParam().length);
  box_.Reply(StreamChunk(false, 0, "ok"));
  ASSERT_EQ(PSISendResp("KV00A1B2", request.data(), static_cast<int>(request.size()),
                        reply_.data(), &replyLength_, 10240),
            0);
  EXPECT_EQ(box_.Join(), Framed(request));
  EXPECT_EQ(std::string(reply_.data(), static_cast<std::size_t>(replyLength_)), "ok");
}

INSTANTIATE_TEST_SUITE_P(Lengths, RequestFraming,
                         ::testing::Values(RequestCase{"empty_sends_nothing", 0},
                                           RequestCase{"one_byte", 1},
                                           RequestCase{"exactly_one_chunk", 384},
                                           RequestCase{"one_over", 385},
                                           RequestCase{"three_chunks", 769}),
                         [](const auto& p) { return std::string(p.param.label); });

TEST_F(ExchangeTest, ChunkHeadersAreExactBytes) {
  const std::string request = Pattern(385);
  box_.Reply(StreamChunk(false, 0, ""));
  ASSERT_EQ(SendRespByRecord(&record_, request.data(), 385, reply_.data(), &replyLength_, 10240), 0);
  Bytes sent = box_.Join();
  ASSERT_EQ(sent.size(), 4u + 384u + 4u + 1u);
  EXPECT_EQ(Bytes(sent.begin(), sent.begin() + 4), B({0x40, 1, 0x80, 0x01}));
  EXPECT_EQ(Bytes(sent.begin() + 388, sent.begin() + 392), B({0x40, 0, 1, 0}));
  EXPECT_EQ(replyLength_, 0);
}

struct ReplyCase {
  const char* label;
  Bytes reply;       // what the box sends
  bool closeAfter;   // the box then closes its side
  int capacity;      // the caller's reply buffer
  int result;
  std::string data;  // reply data expected in the buffer (also after -6)
};

class ReplyReading : public ExchangeTest, public ::testing::WithParamInterface<ReplyCase> {};

TEST_P(ReplyReading, ReadsChunksUpToTheLastOne) {
  const ReplyCase& c = GetParam();
  box_.Reply(c.reply, c.closeAfter);
  const char request[] = "9007:\n";
  int rc = PSISendResp("KV00A1B2", request, 6, reply_.data(), &replyLength_, c.capacity);
  box_.Join();
  EXPECT_EQ(rc, c.result);
  if (rc == 0) {
    EXPECT_EQ(std::string(reply_.data(), static_cast<std::size_t>(replyLength_)), c.data);
  } else {
    EXPECT_EQ(replyLength_, -99) << "the length is stored only on success";
    EXPECT_EQ(std::string(reply_.data(), c.data.size()), c.data);
  }
  // Nothing is written past the caller's capacity.
  EXPECT_EQ(reply_[static_cast<std::size_t>(c.capacity)], '\x7f');
}

const std::string kBig(3072, 'x');

INSTANTIATE_TEST_SUITE_P(
    Cases, ReplyReading,
    ::testing::Values(
        ReplyCase{"empty_reply", StreamChunk(false, 0, ""), false, 10240, 0, ""},
        ReplyCase{"one_chunk_lead_byte_ignored", StreamChunk(false, 0, "hello", 0xAA), false,
                  10240, 0, "hello"},
        ReplyCase{"chunks_concatenated",
                  Concat({StreamChunk(true, 0, "abc"), StreamChunk(true, 0, ""),
                          StreamChunk(false, 0, "de")}),
                  false, 10240, 0, "abcde"},
        ReplyCase{"bytes_after_last_chunk_ignored",
                  Concat({StreamChunk(false, 0, "abc"), Text("junk")}), false, 10240, 0, "abc"},
        ReplyCase{"error_in_second_chunk",
                  Concat({StreamChunk(true, 0, "abc"), StreamChunk(false, 1, "de")}), false,
                  10240, ERR_COMMAND, "abc"},
        ReplyCase{"error_in_first_chunk", StreamChunk(false, 0x21, "no"), false, 10240,
                  ERR_COMMAND, ""},
        ReplyCase{"closed_mid_data", Concat({B({0, 0, 0, 10, 0}), Text("abc")}), true, 10240,
                  ERR_NETWORK, ""},
        ReplyCase{"closed_mid_header", B({0, 0, 0}), true, 10240, ERR_NETWORK, ""},
        ReplyCase{"closed_before_last_chunk", StreamChunk(true, 0, "abc"), true, 10240,
                  ERR_NETWORK, "abc"},
        ReplyCase{"fits_capacity_exactly", StreamChunk(false, 0, "12345"), false, 5, 0, "12345"},
        ReplyCase{"over_capacity", StreamChunk(false, 0, "12345"), false, 4, ERR_NETWORK, ""},
        ReplyCase{"over_capacity_in_second_chunk",
                  Concat({StreamChunk(true, 0, "123"), StreamChunk(false, 0, "45")}), false, 4,
                  ERR_NETWORK, "123"},
        ReplyCase{"chunk_of_3072_bytes", StreamChunk(false, 0, kBig), false, 10240, 0, kBig},
        ReplyCase{"chunk_over_3072_bytes",
                  Concat({B({0, 0, 0, 0x01, 0x0C}), Bytes(3073, 'y')}), false, 10240,
                  ERR_NETWORK, ""}),
    [](const auto& p) { return std::string(p.param.label); });

TEST_F(ExchangeTest, SilentBoxGivesNetworkErrorAfterOneTwentySecondWait) {
  box_.Reply({});
  EXPECT_EQ(PSISendResp("KV00A1B2", "9007:\n", 6, reply_.data(), &replyLength_, 10240),
            ERR_NETWORK);
  EXPECT_EQ(box_.Join(), Framed("9007:\n"));
  EXPECT_EQ(clock_.WaitedMs(), 20000);
}

TEST_F(ExchangeTest, DataStoppingMidChunkTimesOutAfterTwentySeconds) {
  box_.Reply(Concat({StreamChunk(true, 0, "abc"), B({0, 0, 0, 4, 0}), Text("d")}));
  EXPECT_EQ(PSISendResp("KV00A1B2", "9100:\r\n", 7, reply_.data(), &replyLength_, 10240),
            ERR_NETWORK);
  box_.Join();
  EXPECT_EQ(clock_.WaitedMs(), 20000);
}

TEST_F(ExchangeTest, ClosedPeerDuringSendIsNetworkErrorNotASignal) {
  const std::string request = Pattern(384 * 200);
  box_.SlamDoor();
  EXPECT_EQ(PSISendResp("KV00A1B2", request.data(), static_cast<int>(request.size()),
                        reply_.data(), &replyLength_, 10240),
            ERR_NETWORK);
  box_.Join();
}

// Every piece arrives at a separate wait of the client, so each receive sees one piece.
TEST(SegmentedReply, HeaderAndDataInPiecesAreReassembled) {
  platform::testing::TempRoot root;
  testbox::ScriptedBox box;
  ASSERT_TRUE(box.ok());
  testbox::PieceClock clock(box);
  platform::ScopedClock useClock(&clock);
  ASSERT_EQ(PSInit(TYPE_TCPIP, 20), 0);
  DeviceRecord record = TcpRecord("KV00A1B2", box.address());
  const std::string request = "9007:\n";
  box.Pieces({B({0x30}), B({1, 0}), B({3, 0}), Text("ab"), Text("c"), B({0x30, 0, 0, 2}),
              B({0}), Text("d"), Text("e")},
             Framed(request).size());
  std::vector<char> reply(64);
  int length = -1;
  EXPECT_EQ(SendRespByRecord(&record, request.data(), 6, reply.data(), &length, 64), 0);
  EXPECT_EQ(std::string(reply.data(), static_cast<std::size_t>(length)), "abcde");
  EXPECT_EQ(box.Join(), Framed(request));
  PSExit();
}

struct AddressCase {
  const char* label;
  std::string address;
};

class UnusableAddress : public ::testing::TestWithParam<AddressCase> {};

TEST_P(UnusableAddress, IsNetworkError) {
  platform::testing::TempRoot root;
  ASSERT_EQ(PSInit(TYPE_TCPIP, 20), 0);
  DeviceRecord record = TcpRecord("KV00A1B2", GetParam().address);
  char reply[16];
  int length = -99;
  EXPECT_EQ(ConnectTCP(&record), -1);
  EXPECT_EQ(SendRespByRecord(&record, "9007:\n", 6, reply, &length, 16), ERR_NETWORK);
  EXPECT_EQ(length, -99);
  PSExit();
}

INSTANTIATE_TEST_SUITE_P(
    Cases, UnusableAddress,
    ::testing::Values(AddressCase{"not_an_address", "print.server"},
                      AddressCase{"broadcast_reads_as_error", "255.255.255.255"},
                      AddressCase{"empty", ""},
                      AddressCase{"no_terminator_in_20_bytes", "10.0.0.1000000000000"}),
    [](const auto& p) { return std::string(p.param.label); });

TEST(Unreachable, NobodyListeningIsNetworkError) {
  platform::testing::TempRoot root;
  std::string address;
  {
    testbox::ScriptedBox box;  // find a free address, then stop listening on it
    ASSERT_TRUE(box.ok());
    address = box.address();
  }
  ASSERT_EQ(PSInit(TYPE_TCPIP, 20), 0);
  DeviceRecord record = TcpRecord("KV00A1B2", address);
  char reply[16];
  int length = -99;
  EXPECT_EQ(SendRespByRecord(&record, "9007:\n", 6, reply, &length, 16), ERR_NETWORK);
  PSExit();
}

}  // namespace

// The access library's framing end to end: the device-API object and the library over real TCP
// connections to an emulated box, which reassembles the request chunks itself and answers with the
// reply faults a test plans (chunk sizes, an error byte in a later chunk, split headers, early
// close, oversize chunks, replies longer than the caller's buffer).
#include <algorithm>
#include <vector>

#include "device_client/api/tests/api_fixture.h"

namespace api_test {
namespace {

class DeviceApiExchange : public ApiTest {
 protected:
  std::string InformationText() {
    std::string text;
    box_.WithCore([&](box_emulator::BoxCore& core) { text = core.InformationText(); });
    return text;
  }
};

// A configuration line of exactly `length` bytes (key, blank, colon, printable filler, LF).
std::string LineOfLength(std::size_t length) {
  std::string line = "6000 :";
  while (line.size() + 1 < length) line.push_back(static_cast<char>('a' + line.size() % 26));
  line.push_back('\n');
  return line;
}

struct RequestCase {
  const char* label;
  std::size_t length;
  std::vector<std::size_t> chunks;
};

class DeviceApiRequestChunks : public DeviceApiExchange,
                               public ::testing::WithParamInterface<RequestCase> {};

TEST_P(DeviceApiRequestChunks, CutAt384BytesAndAnsweredWithAnEmptyReply) {
  const RequestCase& c = GetParam();
  Start();
  const std::string request = LineOfLength(c.length);
  ASSERT_EQ(request.size(), c.length);
  int length = -1;
  ASSERT_EQ(util_->SendResp(name_, request, util_->ReplyBuffer(), length), 0);
  EXPECT_EQ(length, 0);  // a configuration write is answered by one empty chunk

  const auto requests = box_.Requests();
  ASSERT_EQ(requests.size(), 1u);
  const box_emulator::ReceivedRequest& got = requests[0];
  EXPECT_TRUE(got.wellFormed) << got.error;
  EXPECT_EQ(got.data, request);
  EXPECT_EQ(got.chunkSizes, c.chunks);
  // Each chunk header on the wire: '@', more flag, uint16 LE length.
  std::size_t at = 0;
  for (std::size_t i = 0; i < c.chunks.size(); ++i) {
    ASSERT_LE(at + 4, got.wire.size());
    EXPECT_EQ(got.wire[at], '@');
    EXPECT_EQ(got.wire[at + 1], i + 1 < c.chunks.size() ? 1 : 0);
    EXPECT_EQ(static_cast<unsigned char>(got.wire[at + 2]), c.chunks[i] & 0xFF);
    EXPECT_EQ(static_cast<unsigned char>(got.wire[at + 3]), c.chunks[i] >> 8);
    at += 4 + c.chunks[i];
  }
  EXPECT_EQ(at, got.wire.size());
  EXPECT_EQ(*box_.PendingSetting("6000"), request.substr(6, request.size() - 7));
}

INSTANTIATE_TEST_SUITE_P(
    Lengths, DeviceApiRequestChunks,
    ::testing::Values(RequestCase{"one_full_chunk", 384, {384}},
                      RequestCase{"one_byte_over", 385, {384, 1}},
                      RequestCase{"three_chunks", 769, {384, 384, 1}}),
    [](const auto& p) { return std::string(p.param.label); });

// Reply faults of the box and what the library makes of them. The caller's buffer is 10240 bytes
// followed by guard bytes that must never change.
struct ReplyCase {
  const char* label;
  box_emulator::FaultPlan fault;
  int result;
  // Reply data expected in the buffer: the whole information text (-1), or n bytes (the length of
  // a successful reply, or the data of the chunks before a failing one).
  int expectBytes;
};

box_emulator::FaultPlan Plan(std::function<void(box_emulator::FaultPlan&)> set) {
  box_emulator::FaultPlan p;
  set(p);
  return p;
}

class DeviceApiReplyChunks : public DeviceApiExchange,
                             public ::testing::WithParamInterface<ReplyCase> {};

TEST_P(DeviceApiReplyChunks, LibraryResult) {
  const ReplyCase& c = GetParam();
  Start();
  const std::string info = InformationText();
  ASSERT_GT(info.size(), 20u);
  box_.InjectFault(c.fault);

  constexpr int kCapacity = CPrintServerUtility::kReplyBufferSize;
  std::vector<char> reply(kCapacity + 64, '\x7f');
  int length = -99;
  const int rc = PSISendResp(name_.c_str(), "9010:\n", 6, reply.data(), &length, kCapacity);
  EXPECT_EQ(rc, c.result);
  for (int i = kCapacity; i < kCapacity + 64; ++i) {
    ASSERT_EQ(reply[static_cast<std::size_t>(i)], '\x7f') << "written past the buffer";
  }
  if (rc != 0) {
    EXPECT_EQ(length, -99) << "the length is stored only on success";
  }
  if (c.expectBytes < 0) {
    ASSERT_EQ(rc, 0);
    EXPECT_EQ(std::string(reply.data(), static_cast<std::size_t>(length)), info);
    return;
  }
  if (rc == 0) {
    EXPECT_EQ(length, c.expectBytes);
  }
  // The bytes that arrived before the end (or the failure) are the text's (a planned reply size
  // pads the text with filler beyond its end).
  const std::size_t same = std::min(info.size(), static_cast<std::size_t>(c.expectBytes));
  EXPECT_EQ(std::string(reply.data(), same), info.substr(0, same));
}

INSTANTIATE_TEST_SUITE_P(
    Faults, DeviceApiReplyChunks,
    ::testing::Values(
        ReplyCase{"chunks_of_seven_bytes_concatenated", Plan([](auto& p) { p.chunkSize = 7; }), 0,
                  -1},
        ReplyCase{"headers_split_over_segments",
                  Plan([](auto& p) {
                    p.chunkSize = 9;
                    p.splitHeaders = true;
                  }),
                  0, -1},
        ReplyCase{"error_byte_in_second_chunk_after_first_copied",
                  Plan([](auto& p) {
                    p.chunkSize = 5;
                    p.errorChunk = 1;
                  }),
                  ERR_COMMAND, 5},
        ReplyCase{"error_byte_in_first_chunk", Plan([](auto& p) { p.errorChunk = 0; }),
                  ERR_COMMAND, 0},
        ReplyCase{"empty_reply", Plan([](auto& p) { p.replySize = 0; }), 0, 0},
        ReplyCase{"reply_filling_the_buffer_exactly", Plan([](auto& p) { p.replySize = 10240; }),
                  0, 10240},
        ReplyCase{"reply_one_byte_longer_than_the_buffer",
                  Plan([](auto& p) { p.replySize = 10241; }), ERR_NETWORK, 10240},
        ReplyCase{"chunk_longer_than_the_receive_buffer",
                  Plan([](auto& p) { p.oversizeChunk = 3073; }), ERR_NETWORK, 0},
        ReplyCase{"closed_in_the_middle_of_a_chunk",
                  Plan([](auto& p) {
                    p.chunkSize = 8;
                    p.closeAfterBytes = 5 + 8 + 5 + 3;
                  }),
                  ERR_NETWORK, 8}),
    [](const auto& p) { return std::string(p.param.label); });

// The whole configuration read in small chunks is the same as in one; an error byte in a later
// chunk of the configuration text fails the read as a whole.
TEST_F(DeviceApiExchange, ConfigurationReadInManyChunks) {
  box_.SetDeviceName("Chunked");
  box_.SetSetting("5000", "SMALLCHUNKS");
  box_.SetSetting("0240", "SP");  // the last logical port, near the end of the text
  Start();
  box_emulator::FaultPlan small;
  small.count = 2;  // "9100:" and "9007:"
  small.chunkSize = 3;
  box_.InjectFault(small);
  config::AllConfigurationData all;
  ASSERT_EQ(util_->mGetAllConfiguration(name_, &all), 0);
  EXPECT_EQ(all.dsSystem.szDeviceName, "Chunked");
  EXPECT_EQ(all.dsNetBEUI.szDomainName, "SMALLCHUNKS");
  EXPECT_EQ(all.dsLogicalPrinter[7].szPhysicalPort, "SP");
  EXPECT_EQ(util_->CachedConfiguration().dsProtocol.bTCPIPProtocol, 1);

  box_emulator::FaultPlan failing;
  failing.chunkSize = 64;
  failing.errorChunk = 1;
  box_.InjectFault(failing);
  EXPECT_EQ(util_->mGetAllConfiguration(name_, &all), -1);  // the box's error byte: -1
  EXPECT_EQ(util_->LastDeviceName(), "");
}

}  // namespace
}  // namespace api_test

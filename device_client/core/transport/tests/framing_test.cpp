// The stream exchange over a socket pair (the 4-byte SPX reply header, which no TCP box uses),
// the message reply reader and the parameters that differ between the two transport libraries.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <deque>
#include <string>
#include <vector>

#include "device_client/core/transport/transport.h"
#include "platform/clock.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr core::TransportParams kConsole{20000, 10000, 0, 3, 3000, false, 4096, 8192};
constexpr core::TransportParams kWizard{30000, 5000, 3000, 3, 3000, true, 4096, 8192};

class SocketPair : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, fds_), 0); }
  void TearDown() override {
    close(fds_[0]);
    if (fds_[1] >= 0) close(fds_[1]);
  }
  void Peer(const Bytes& bytes, bool closeAfter) {
    ASSERT_EQ(write(fds_[1], bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    if (closeAfter) shutdown(fds_[1], SHUT_WR);
  }
  Bytes Sent() {
    Bytes out(8192);
    ssize_t n = recv(fds_[1], out.data(), out.size(), MSG_DONTWAIT);
    out.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
    return out;
  }
  int fds_[2] = {-1, -1};
  platform::FakeClock clock_;
  platform::ScopedClock useClock_{&clock_};
};

TEST_F(SocketPair, SpxRepliesHaveAFourByteHeader) {
  Peer({1, 0, 3, 0, 'a', 'b', 'c', 0, 0, 2, 0, 'd', 'e'}, false);
  char reply[16];
  int length = -1;
  ASSERT_EQ(core::StreamExchange(fds_[0], core::ReplyHeader::kSpx, kConsole, "9007:\n", 6, reply,
                                 16, &length),
            0);
  EXPECT_EQ(std::string(reply, static_cast<std::size_t>(length)), "abcde");
  EXPECT_EQ(Sent(), (Bytes{0x40, 0, 6, 0, '9', '0', '0', '7', ':', '\n'}));
}

TEST_F(SocketPair, SpxErrorByteIsCommandError) {
  Peer({0, 1, 0, 0}, false);
  char reply[4];
  int length = -1;
  EXPECT_EQ(core::StreamExchange(fds_[0], core::ReplyHeader::kSpx, kConsole, "x", 1, reply, 4,
                                 &length),
            core::kErrCommand);
  EXPECT_EQ(length, -1);
}

TEST_F(SocketPair, EachWaitIsTheLibrarysSocketWait) {
  Peer({0, 1, 0, 2, 0, 'a'}, false);  // one data byte missing, peer stays open
  char reply[4];
  int length = -1;
  EXPECT_EQ(core::ReceiveStreamReply(fds_[0], core::ReplyHeader::kStream, kWizard, reply, 4,
                                     &length),
            core::kErrNetwork);
  EXPECT_EQ(clock_.WaitedMs(), 30000);
}

TEST_F(SocketPair, SendToClosedPeerIsNetworkError) {
  close(fds_[1]);
  fds_[1] = -1;
  std::string request(1000, 'r');
  EXPECT_EQ(core::SendRequestOnSocket(fds_[0], request.data(), 1000), core::kErrNetwork);
}

// A non-blocking socket as the TCP connect leaves it: the reply's chunks arrive together and are
// cut apart at their headers without any wait; a request that finds no room waits once.
class NonBlockingPair : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0, fds_), 0);
  }
  void TearDown() override {
    close(fds_[0]);
    close(fds_[1]);
  }
  int fds_[2] = {-1, -1};
  platform::FakeClock clock_{1765368000000LL, 0};
  platform::ScopedClock useClock_{&clock_};
};

TEST_F(NonBlockingPair, ChunksReceivedTogetherAreSplitAtTheirHeaders) {
  std::string all;
  const std::string parts[] = {std::string(1024, 'a'), std::string(769, 'b'), "c"};
  for (std::size_t i = 0; i < 3; ++i) {
    const std::string& d = parts[i];
    all += '\xA5';
    all += static_cast<char>(i < 2 ? 1 : 0);
    all += '\0';
    all += static_cast<char>(d.size() & 0xFF);
    all += static_cast<char>(d.size() >> 8);
    all += d;
  }
  ASSERT_EQ(write(fds_[1], all.data(), all.size()), static_cast<ssize_t>(all.size()));
  std::vector<char> reply(1794);
  int length = -1;
  ASSERT_EQ(core::StreamExchange(fds_[0], core::ReplyHeader::kStream, kConsole, "9100:\r\n", 7,
                                 reply.data(), 1794, &length),
            0);
  EXPECT_EQ(std::string(reply.data(), static_cast<std::size_t>(length)),
            parts[0] + parts[1] + parts[2]);
  EXPECT_EQ(clock_.WaitedMs(), 0);
  // One byte less room and the same reply does not fit.
  ASSERT_EQ(write(fds_[1], all.data(), all.size()), static_cast<ssize_t>(all.size()));
  length = -1;
  EXPECT_EQ(core::ReceiveStreamReply(fds_[0], core::ReplyHeader::kStream, kConsole, reply.data(),
                                     1793, &length),
            core::kErrNetwork);
  EXPECT_EQ(length, -1);
}

TEST_F(NonBlockingPair, RequestThatFindsNoRoomGivesUpAfterOneWait) {
  const std::string request(4 << 20, 'r');  // far more than the pair's buffers hold
  EXPECT_EQ(core::StreamExchange(fds_[0], core::ReplyHeader::kStream, kWizard, request.data(),
                                 static_cast<int>(request.size()), nullptr, 0, nullptr),
            core::kErrNetwork);
  EXPECT_EQ(clock_.WaitedMs(), 30000);
}

TEST(RequestChunks, ShortOrFailedSendEndsTheRequest) {
  std::string request(800, 'q');
  std::vector<int> sizes;
  auto shortSend = [&sizes](const std::uint8_t*, int size) {
    sizes.push_back(size);
    return sizes.size() == 2 ? size - 1 : size;
  };
  EXPECT_EQ(core::SendRequestChunks(request.data(), 800, shortSend), core::kErrNetwork);
  EXPECT_EQ(sizes, (std::vector<int>{388, 388}));
  EXPECT_EQ(core::SendRequestChunks(request.data(), 10, [](const std::uint8_t*, int) { return -1; }),
            core::kErrNetwork);
  EXPECT_EQ(core::SendRequestChunks(request.data(), -1, [](const std::uint8_t*, int s) { return s; }),
            core::kErrNetwork);
}

TEST(MessageReply, ZeroLengthMessageInsideAChunkBreaksTheFraming) {
  std::deque<Bytes> messages = {{0, 0, 0, 3, 0, 'a'}, {}, {'b', 'c'}};
  auto receive = [&messages](std::uint8_t* buffer, int) {
    if (messages.empty()) return -1;
    Bytes m = messages.front();
    messages.pop_front();
    std::copy(m.begin(), m.end(), buffer);
    return static_cast<int>(m.size());
  };
  char reply[8];
  int length = -1;
  EXPECT_EQ(core::ReceiveMessageReply(receive, reply, 8, &length), core::kErrNetwork);
}

struct UnitsCase {
  int timeOut;
  bool lowByteOnly;
  int units;
};

TEST(NetbiosTimeout, TwiceTheTimeOutFitsOneByte) {
  const UnitsCase cases[] = {{0, false, 0},     {20, false, 40},   {127, false, 254},
                             {128, false, 255}, {5000, false, 255}, {-3, false, 0},
                             {20, true, 40},    {0x105, true, 10},  {200, true, 255}};
  for (const UnitsCase& c : cases) {
    core::TransportParams p = c.lowByteOnly ? kWizard : kConsole;
    EXPECT_EQ(core::NetbiosTimeoutUnits(c.timeOut, p), c.units) << c.timeOut << " " << c.lowByteOnly;
  }
}

TEST(CallRetries, PauseFollowsEveryFailedAttempt) {
  platform::FakeClock clock;
  platform::ScopedClock useClock(&clock);
  int attempts = 0;
  EXPECT_FALSE(core::CallWithRetries([&attempts] { return ++attempts < 0; }, kConsole));
  EXPECT_EQ(attempts, 3);
  EXPECT_EQ(clock.WaitedMs(), 9000);
  attempts = 0;
  EXPECT_TRUE(core::CallWithRetries([&attempts] { return ++attempts == 2; }, kConsole));
  EXPECT_EQ(clock.WaitedMs(), 12000);
}

}  // namespace

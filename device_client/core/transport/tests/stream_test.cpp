// The built-in TCP connect: a connect whose handshake never finishes is bounded by the socket wait,
// also when the exchange's first send is what waits for it; an exchange's socket carries the
// library's buffer sizes.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <vector>

#include "device_client/core/transport/transport.h"
#include "platform/clock.h"

namespace {

constexpr core::TransportParams kConsole{20000, 10000, 0, 3, 3000, false, 4096, 8192};

std::uint16_t PortOf(int fd) {
  sockaddr_in a{};
  socklen_t len = sizeof a;
  getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
  return ntohs(a.sin_port);
}

// A listener that accepts nothing and keeps at most one waiting connection: once that one is
// queued (Fill), the handshakes of later connects are dropped and never finish.
class StuckListener {
 public:
  StuckListener() {
    listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in at{};
    at.sin_family = AF_INET;
    at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (listener_ >= 0 && bind(listener_, reinterpret_cast<sockaddr*>(&at), sizeof at) == 0 &&
        listen(listener_, 0) == 0) {
      port_ = PortOf(listener_);
    }
  }
  ~StuckListener() {
    for (int fd : queued_) close(fd);
    if (listener_ >= 0) close(listener_);
  }
  std::uint16_t port() const { return port_; }
  // Fills the queue with connections that did finish; false when none did.
  bool Fill(const std::uint8_t (&address)[20]) {
    platform::FakeClock quick(1765368000000LL, 200);
    platform::ScopedClock use(&quick);
    for (int i = 0; i < 4; ++i) {
      const int fd = core::OpenTcpStream(address, port_, kConsole);
      if (fd < 0) break;
      queued_.push_back(fd);
    }
    return !queued_.empty();
  }

 private:
  int listener_ = -1;
  std::uint16_t port_ = 0;
  std::vector<int> queued_;
};

constexpr std::uint8_t kLoopback[20] = {'1', '2', '7', '.', '0', '.', '0', '.', '1'};

TEST(TcpConnect, HandshakeThatNeverFinishesGivesUpAfterOneSocketWait) {
  StuckListener stuck;
  ASSERT_NE(stuck.port(), 0);
  ASSERT_TRUE(stuck.Fill(kLoopback));

  platform::FakeClock clock(1765368000000LL, 50);
  platform::ScopedClock use(&clock);
  EXPECT_EQ(core::OpenTcpStream(kLoopback, stuck.port(), kConsole), -1);
  EXPECT_EQ(clock.WaitedMs(), 20000);
}

// An exchange on a connect that is still under way: its first send waits for the handshake, one
// socket wait at most, and a refused connect fails that send at once. Either way the exchange
// ends with the network error.
TEST(TcpConnect, ExchangeOnAStartedConnectWaitsOneSocketWaitForTheHandshake) {
  StuckListener stuck;
  ASSERT_NE(stuck.port(), 0);
  ASSERT_TRUE(stuck.Fill(kLoopback));
  // A port nobody listens on: a listener opened and closed again.
  std::uint16_t refusing = 0;
  {
    StuckListener gone;
    refusing = gone.port();
  }
  ASSERT_NE(refusing, 0);

  const struct {
    const char* what;
    std::uint16_t port;
    std::int64_t waited;
  } cases[] = {{"handshake never finishes", stuck.port(), 20000}, {"refused", refusing, 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    platform::FakeClock clock(1765368000000LL, 50);
    platform::ScopedClock use(&clock);
    const int fd = core::OpenTcpStream(kLoopback, c.port, kConsole, core::TcpOpen::kStarted);
    if (fd < 0 && c.waited == 0) continue;  // the refusal came back with the connect itself
    ASSERT_GE(fd, 0);                         // under way: the first send finds the outcome
    char reply[64];
    int length = -1;
    EXPECT_EQ(core::StreamExchange(fd, core::ReplyHeader::kStream, kConsole, "9007:\n", 6, reply,
                                   sizeof reply, &length),
              core::kErrNetwork);
    EXPECT_EQ(length, -1);
    EXPECT_EQ(clock.WaitedMs(), c.waited);
    close(fd);
  }
}

int BufferSize(int fd, int option) {
  int size = 0;
  socklen_t len = sizeof size;
  return getsockopt(fd, SOL_SOCKET, option, &size, &len) == 0 ? size : -1;
}

// The exchange's connection has the send and receive buffer sizes the library asks for (Linux
// reports twice the size set); the plain connect leaves the system's own.
TEST(TcpConnect, ExchangeConnectionCarriesTheLibrarysBufferSizes) {
  const int listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  ASSERT_GE(listener, 0);
  sockaddr_in at{};
  at.sin_family = AF_INET;
  at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&at), sizeof at), 0);
  ASSERT_EQ(listen(listener, 8), 0);
  const std::uint16_t port = PortOf(listener);
  const int exchange = core::OpenTcpStream(kLoopback, port, kConsole, core::TcpOpen::kStarted);
  ASSERT_GE(exchange, 0);
  EXPECT_EQ(BufferSize(exchange, SO_SNDBUF), 2 * 4096);
  EXPECT_EQ(BufferSize(exchange, SO_RCVBUF), 2 * 8192);
  close(exchange);

  // A provider of its own that only connects gets the sizes from ConnectForExchange.
  struct PlainProvider : core::StreamProvider {
    std::uint16_t port = 0;
    bool Probe() override { return true; }
    int Connect(const std::uint8_t (&address)[20], const core::TransportParams& params) override {
      return core::OpenTcpStream(address, port, params);
    }
  } provider;
  provider.port = port;
  const int plain = provider.Connect(kLoopback, kConsole);
  ASSERT_GE(plain, 0);
  EXPECT_NE(BufferSize(plain, SO_RCVBUF), 2 * 8192);
  close(plain);
  const int viaProvider = provider.ConnectForExchange(kLoopback, kConsole);
  ASSERT_GE(viaProvider, 0);
  EXPECT_EQ(BufferSize(viaProvider, SO_SNDBUF), 2 * 4096);
  EXPECT_EQ(BufferSize(viaProvider, SO_RCVBUF), 2 * 8192);
  close(viaProvider);
  close(listener);
}

}  // namespace

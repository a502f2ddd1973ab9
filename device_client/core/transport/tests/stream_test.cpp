// The built-in TCP connect: a connect whose handshake never finishes is bounded by the socket wait.
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
// queued, the handshakes of later connects are dropped and never finish.
TEST(TcpConnect, HandshakeThatNeverFinishesGivesUpAfterOneSocketWait) {
  const int listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  ASSERT_GE(listener, 0);
  sockaddr_in at{};
  at.sin_family = AF_INET;
  at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&at), sizeof at), 0);
  ASSERT_EQ(listen(listener, 0), 0);
  const std::uint16_t port = PortOf(listener);
  std::uint8_t address[20] = {};
  std::memcpy(address, "127.0.0.1", 9);

  // Fill the queue with connections that did finish.
  platform::FakeClock quick(1765368000000LL, 200);
  std::vector<int> queued;
  {
    platform::ScopedClock use(&quick);
    for (int i = 0; i < 4; ++i) {
      const int fd = core::OpenTcpStream(address, port, kConsole);
      if (fd < 0) break;
      queued.push_back(fd);
    }
  }
  ASSERT_FALSE(queued.empty());

  platform::FakeClock clock(1765368000000LL, 50);
  platform::ScopedClock use(&clock);
  EXPECT_EQ(core::OpenTcpStream(address, port, kConsole), -1);
  EXPECT_EQ(clock.WaitedMs(), 20000);

  for (int fd : queued) close(fd);
  close(listener);
}

}  // namespace

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>

#include "device_client/core/transport/transport.h"
#include "platform/clock.h"

namespace core {

namespace {

// Waits until a non-blocking connect has finished, for at most `ms` of the clock's time. True
// when the connection stands: the socket is writable without an error or hang-up (a refused or
// failed connect reports both).
bool WaitConnected(int fd, std::int64_t ms) {
  platform::Clock& clock = platform::GetClock();
  const std::int64_t real = clock.RealWaitMs(ms < 0 ? 0 : ms);
  pollfd p{fd, POLLOUT, 0};
  int r;
  do {
    r = poll(&p, 1, static_cast<int>(real > 0x7fffffff ? 0x7fffffff : real));
  } while (r < 0 && errno == EINTR);
  if (r == 0) clock.Elapsed(ms);
  return r > 0 && (p.revents & (POLLERR | POLLHUP | POLLNVAL)) == 0;
}

class TcpProvider : public StreamProvider {
 public:
  bool Probe() override {
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    close(fd);
    return true;
  }
  int Connect(const std::uint8_t (&address)[20], const TransportParams& params) override {
    return OpenTcpStream(address, wire::kTcpPort, params);
  }
  int ConnectForExchange(const std::uint8_t (&address)[20], const TransportParams& params) override {
    return OpenTcpStream(address, wire::kTcpPort, params, TcpOpen::kStarted);
  }
};

// No IPX transport on this machine yet: nothing can be opened.
class NoSpxProvider : public StreamProvider {
 public:
  bool Probe() override { return false; }
  int Connect(const std::uint8_t (&)[20], const TransportParams&) override { return -1; }
};

TcpProvider g_tcp;
NoSpxProvider g_noSpx;
std::atomic<StreamProvider*> g_tcpOverride{nullptr};
std::atomic<StreamProvider*> g_spxOverride{nullptr};

}  // namespace

StreamProvider& GetStreamProvider(StreamKind kind) {
  if (kind == StreamKind::kTcp) {
    StreamProvider* p = g_tcpOverride.load();
    return p != nullptr ? *p : g_tcp;
  }
  StreamProvider* p = g_spxOverride.load();
  return p != nullptr ? *p : g_noSpx;
}

void SetStreamProvider(StreamKind kind, StreamProvider* provider) {
  (kind == StreamKind::kTcp ? g_tcpOverride : g_spxOverride).store(provider);
}

int OpenTcpStream(const std::uint8_t (&address)[20], std::uint16_t port,
                  const TransportParams& params, TcpOpen until) {
  char text[21];
  std::memcpy(text, address, 20);
  text[20] = '\0';
  in_addr_t ip = inet_addr(text);
  if (ip == INADDR_NONE) return -1;  // unparsable, or 255.255.255.255 which reads the same
  // Non-blocking from the start, so the connect can be bounded; it stays so for the exchange.
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  // An exchange's buffer sizes are set before the handshake: on a connected socket the same
  // calls cost the kernel more work, and the receive size also shapes the window offered.
  if (until == TcpOpen::kStarted) SetExchangeBuffers(fd, params);
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(port);
  to.sin_addr.s_addr = ip;
  // The handshake goes on after an interrupted connect as after EINPROGRESS: one wait tells
  // whether it finished.
  const bool ok = connect(fd, reinterpret_cast<const sockaddr*>(&to), sizeof to) == 0 ||
                  ((errno == EINPROGRESS || errno == EINTR) &&
                   (until == TcpOpen::kStarted || WaitConnected(fd, params.socketWaitMs)));
  if (!ok) {
    close(fd);
    return -1;
  }
  return fd;
}

}  // namespace core

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

// Waits until a non-blocking connect has finished, for at most `ms` of the clock's time.
bool WaitConnected(int fd, std::int64_t ms) {
  pollfd p{fd, POLLOUT, 0};
  int r;
  do {
    r = poll(&p, 1, 0);  // a connect on the local network has usually finished already
  } while (r < 0 && errno == EINTR);
  if (r == 0) {
    platform::Clock& clock = platform::GetClock();
    std::int64_t real = clock.RealWaitMs(ms < 0 ? 0 : ms);
    do {
      r = poll(&p, 1, static_cast<int>(real > 0x7fffffff ? 0x7fffffff : real));
    } while (r < 0 && errno == EINTR);
    if (r == 0) clock.Elapsed(ms);
  }
  if (r <= 0) return false;
  int error = 0;
  socklen_t len = sizeof error;
  return getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &len) == 0 && error == 0;
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
                  const TransportParams& params) {
  char text[21];
  std::memcpy(text, address, 20);
  text[20] = '\0';
  in_addr_t ip = inet_addr(text);
  if (ip == INADDR_NONE) return -1;  // unparsable, or 255.255.255.255 which reads the same
  // Non-blocking from the start, so the connect can be bounded; it stays so for the exchange.
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(port);
  to.sin_addr.s_addr = ip;
  bool ok = true;
  if (connect(fd, reinterpret_cast<const sockaddr*>(&to), sizeof to) != 0) {
    ok = errno == EINPROGRESS || errno == EINTR;
    // Asked again, connect() tells at once whether the handshake has finished meanwhile (0, or
    // EISCONN), failed (its error), or is still under way (EALREADY): only then is it waited for.
    while (ok && connect(fd, reinterpret_cast<const sockaddr*>(&to), sizeof to) != 0 &&
           errno != EISCONN) {
      if (errno == EINTR) continue;
      ok = (errno == EALREADY || errno == EINPROGRESS) && WaitConnected(fd, params.socketWaitMs);
      break;
    }
  }
  if (!ok) {
    close(fd);
    return -1;
  }
  return fd;
}

}  // namespace core

// Plays a NetBIOS session peer that sends arbitrary bytes and then closes: as the answer to a
// CALL's session request, and as the stream of a session that RECEIVEs read (synchronous and
// asynchronous ones, of varying buffer sizes, some cancelled). Whatever comes, a receive delivers
// no more than its buffer holds, every command ends, and nothing is read or written out of bounds.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "platform/netbios/nb_session_testing.h"
#include "platform/netbios/netbios.h"
#include "platform/paths.h"
#include "platform/profile.h"

namespace nbt = platform::netbios::testing;

namespace {

int g_listener = -1;
int g_wake[2] = {-1, -1};  // tells the peer that the call is over
std::uint16_t g_port = 0;

void WriteAll(int fd, const std::uint8_t* p, std::size_t n) {
  while (n > 0) {
    const ssize_t w = send(fd, p, n, MSG_NOSIGNAL);
    if (w <= 0) return;
    p += w;
    n -= static_cast<std::size_t>(w);
  }
}

// A retarget in the answer names our own listener instead of the address it carries: the fuzzer
// reaches no other host or port. The answer is walked as the caller reads it (4-byte headers with
// a 17-bit length).
std::vector<std::uint8_t> KeptAtHome(const std::uint8_t* data, std::size_t size) {
  std::vector<std::uint8_t> out(data, data + size);
  for (std::size_t at = 0; at + 4 <= out.size();) {
    const std::size_t len = (static_cast<std::size_t>(out[at + 1] & 1) << 16) | (out[at + 2] << 8) | out[at + 3];
    if (out[at] == 0x84 && len >= 6 && at + 4 + 6 <= out.size()) {
      const std::uint8_t home[6] = {127, 0, 0, 1, static_cast<std::uint8_t>(g_port >> 8),
                                    static_cast<std::uint8_t>(g_port & 0xFF)};
      std::memcpy(out.data() + at + 4, home, sizeof home);
    }
    at += 4 + len;
  }
  return out;
}

// The CALL path: for every connection the caller makes (a retarget makes another), the peer takes
// the session request whole, answers with `data` and closes.
void FuzzCall(const std::uint8_t* data, std::size_t size) {
  const std::vector<std::uint8_t> answer = KeptAtHome(data, size);
  std::thread peer([&answer] {
    for (;;) {
      pollfd p[2] = {{g_listener, POLLIN, 0}, {g_wake[0], POLLIN, 0}};
      if (poll(p, 2, 5000) <= 0) continue;
      if ((p[1].revents & POLLIN) != 0) {
        char c = 0;
        if (read(g_wake[0], &c, 1) == 1) return;
      }
      if ((p[0].revents & POLLIN) == 0) continue;
      const int fd = accept(g_listener, nullptr, nullptr);
      if (fd < 0) continue;
      std::uint8_t request[72];
      std::size_t got = 0;
      while (got < sizeof request) {
        pollfd q{fd, POLLIN, 0};
        if (poll(&q, 1, 2000) <= 0) break;
        const ssize_t r = recv(fd, request + got, sizeof request - got, 0);
        if (r <= 0) break;
        got += static_cast<std::size_t>(r);
      }
      WriteAll(fd, answer.data(), answer.size());
      close(fd);
    }
  });
  UCHAR called[16];
  UCHAR calling[16];
  std::memset(called, 'B', sizeof called);
  std::memset(calling, 'C', sizeof calling);
  int fd = -1;
  if (nbt::OpenSessionTo(0x7F000001u, g_port, called, calling, &fd) == NRC_GOODRET) close(fd);
  const char c = 1;
  if (write(g_wake[1], &c, 1) != 1) std::abort();
  peer.join();
}

// The RECEIVE path: the session's stream is `data`, then the end of the stream.
void FuzzReceives(std::uint8_t mode, const std::uint8_t* data, std::size_t size) {
  int pair[2];
  if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0) return;
  WriteAll(pair[1], data, size);
  close(pair[1]);
  UCHAR lsn = 0;
  if (nbt::AttachSession(pair[0], 0, 4, 4, &lsn) != NRC_GOODRET) return;
  static const WORD kSizes[] = {1, 4, 8, 64, 3072, 65535};
  std::vector<unsigned char> buffer(65535 + 16);
  NbEvent event;
  for (int i = 0; i < 256; ++i) {
    const WORD length = kSizes[(mode + i) % 6];
    NCB n{};
    n.ncb_lsn = lsn;
    n.ncb_buffer = buffer.data();
    n.ncb_length = length;
    const bool async = ((mode >> 3) & 1) != 0 && (i & 1) != 0;
    UCHAR rc = 0;
    if (async) {
      n.ncb_command = NCBRECV | ASYNCH;
      n.ncb_event = &event;
      if (Netbios(&n) != NRC_GOODRET) break;
      if (((mode >> 4) & 1) != 0 && (i % 3) == 0) {
        NCB cancel{};
        cancel.ncb_command = NCBCANCEL;
        cancel.ncb_buffer = reinterpret_cast<unsigned char*>(&n);
        cancel.ncb_length = sizeof n;
        Netbios(&cancel);
      }
      if (!event.Wait(60000)) std::abort();  // the end of the stream ends every receive
      rc = n.ncb_retcode;
    } else {
      n.ncb_command = NCBRECV;
      rc = Netbios(&n);
    }
    if (rc == NRC_GOODRET || rc == NRC_INCOMP) {
      if (n.ncb_length > length) std::abort();
      continue;
    }
    if (rc == NRC_CMDCAN) continue;
    break;
  }
  NCB hangup{};
  hangup.ncb_command = NCBHANGUP;
  hangup.ncb_lsn = lsn;
  Netbios(&hangup);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  char dir[] = "/tmp/psa_nb_session_fuzz.XXXXXX";
  if (mkdtemp(dir) == nullptr) std::abort();
  setenv("PSADMIN_ROOT", dir, 1);
  setenv("PSADMIN_NB_LANAS", "127.0.0.1", 1);
  // An answer that never completes ends the call soon.
  const std::string windows = std::string(dir) + "/windows";
  platform::MakeDirectories(windows);
  WritePrivateProfileString("NetBIOS", "CallTimeoutMs", "500", (windows + "/netbios.ini").c_str());
  if (pipe(g_wake) != 0) std::abort();
  g_listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof sa;
  if (g_listener < 0 || bind(g_listener, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0 ||
      listen(g_listener, 16) != 0 || getsockname(g_listener, reinterpret_cast<sockaddr*>(&sa), &len) != 0) {
    std::abort();
  }
  g_port = ntohs(sa.sin_port);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1 || size > 65536) return 0;
  const std::uint8_t mode = data[0];
  if ((mode & 1) != 0) {
    FuzzCall(data + 1, size - 1);
  } else {
    FuzzReceives(mode, data + 1, size - 1);
  }
  return 0;
}

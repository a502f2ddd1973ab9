// netbios_read_bench: cost of a full configuration read over NetBIOS, against the protocol's own
// floor and against TCP.
//
// Run: <build>/bin/netbios_read_bench [--rounds N] [--batch K] (defaults 41 and 5). One emulated
// box answers both over TCP and, through its NetBIOS side (tools/box_emulator/netbios_front.h),
// over NetBIOS sessions on private loopback ports; the client reaches it through the NetBIOS
// stand-in (platform/netbios: Netbios() and its local service psa_nbd, which must lie beside this
// program). A full read is CPrintServerUtility::mGetAllConfiguration: "9100:\r\n" and "9007:\n",
// each on a connection or session of its own; over NetBIOS every session starts with a CALL (the
// box's name is queried once, then taken from the remote name cache) and ends with a hang-up.
// Five ways are timed in one run, a batch of K reads each per round, in rotating order:
//   TCP            the client over TCP;
//   NetBIOS floor  a minimal NetBIOS exchange on the same sockets: a plain program connects to the
//                  box's session port at its known address, sends the session request, waits for
//                  the positive response, sends the request chunk as one session message, reads
//                  the reply messages by their lengths until the last chunk (each blocking receive
//                  taking all that has arrived, as the client does), and closes; twice
//                  per read, as the client does. It is what the protocol costs at least: one more
//                  round trip per session than TCP;
//   NetBIOS        the client over NetBIOS;
//   bounded floor  the floor with the waits a client must make: a non-blocking connect, and
//                  before each read that finds nothing a wait of at most 10 s on the socket and a
//                  cancel event (what NetBIOS receives with a time-out and NCBCANCEL need);
//   floor + records the bounded floor with the work every client does with the replies: the
//                  configuration text parsed into a cleared cache, the device block stored and the
//                  records handed over. The client above this is our own machinery (the NCB
//                  layer, the transports' framing, the device table).
// The medians per read over N rounds (after a warm-up) are printed with the ratios; the figure to
// watch is NetBIOS / floor (target: at most 1.05). The process runs in a temporary root, so no
// "utility.log" is written. Timings vary with the machine's load: run it a few times.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "device_client/access/access.h"
#include "device_client/api/print_server_utility.h"
#include "device_client/core/config/config_parser.h"
#include "device_client/core/config/config_records.h"
#include "device_client/core/wire_layout.h"
#include "platform/fd_io.h"
#include "platform/netbios/nb_wire.h"
#include "platform/netbios/tests/nb_test_env.h"
#include "platform/test_support/temp_root.h"
#include "tools/bench/session_floor.h"
#include "tools/box_emulator/box_emulator.h"
#include "tools/box_emulator/netbios_front.h"

namespace {

using SteadyClock = std::chrono::steady_clock;

DeviceRecord MakeRecord(const std::string& key, int protocol, const std::string& address) {
  DeviceRecord r{};
  std::memcpy(r.szName, key.data(), std::min<std::size_t>(key.size(), 19));
  r.iProtocol = protocol;
  std::memcpy(r.address, address.data(), std::min<std::size_t>(address.size(), 15));
  return r;  // NetBIOS: LANA 0 in address byte 19
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0.0 : v[v.size() / 2];
}

namespace nbw = platform::netbios::wire;

// One session message: its 4-byte header and the payload.
bool SendMessage(int fd, const std::string& payload) {
  std::string message(4, '\0');
  nbw::PutSessionHeader(nbw::kSsnMessage, static_cast<std::uint32_t>(payload.size()),
                        reinterpret_cast<std::uint8_t*>(message.data()));
  message += payload;
  return platform::SendAll(fd, message.data(), message.size());
}

// The floor's reading: each receive takes whatever has arrived, up to 16 KB, and the messages are
// cut from that buffer (a reply's messages mostly come in one receive). Plain: blocking receives.
// Bounded: the socket is non-blocking, and every receive first waits, at most 10 s, for the
// socket or a cancel event (poll on both): the waits a client must make so that a silent box or
// a user's cancel cannot hold it.
class FloorReader {
 public:
  FloorReader(int fd, int cancelFd) : fd_(fd), cancelFd_(cancelFd) {}
  bool Read(void* out, std::size_t n) {
    auto* p = static_cast<char*>(out);
    while (n > 0) {
      if (begin_ == end_) {
        if (cancelFd_ >= 0) {
          pollfd fds[2] = {{fd_, POLLIN, 0}, {cancelFd_, POLLIN, 0}};
          if (::poll(fds, 2, 10000) < 1 || (fds[1].revents & POLLIN) != 0) return false;
        }
        const ssize_t got = ::recv(fd_, buffer_, sizeof buffer_, cancelFd_ >= 0 ? MSG_DONTWAIT : 0);
        if (got == 0 || (got < 0 && errno != EAGAIN && errno != EINTR)) return false;
        begin_ = 0;
        end_ = got > 0 ? static_cast<std::size_t>(got) : 0;
        continue;
      }
      const std::size_t take = std::min(n, end_ - begin_);
      std::memcpy(p, buffer_ + begin_, take);
      begin_ += take;
      p += take;
      n -= take;
    }
    return true;
  }

 private:
  int fd_;
  int cancelFd_;
  char buffer_[16384];
  std::size_t begin_ = 0, end_ = 0;
};

// Reads one session packet into `payload`; false on anything but a session message.
bool ReadMessage(FloorReader& in, std::vector<char>& payload) {
  std::uint8_t header[4];
  if (!in.Read(header, 4)) return false;
  std::uint8_t type = 0;
  std::uint32_t length = 0;
  nbw::ReadSessionHeader(header, type, length);
  payload.resize(length);
  return type == nbw::kSsnMessage && (length == 0 || in.Read(payload.data(), length));
}

// The minimal NetBIOS exchange: session request and positive response, the request as one
// message, the reply messages up to the last chunk, close. The reply's data bytes, or -1. With a
// cancel event (`cancelFd` >= 0) the connect and the reads are bounded (see FloorReader).
long FloorExchange(const sockaddr_in& to, const nbw::Name& called, const nbw::Name& calling,
                   const std::string& request, std::vector<char>& payload, int cancelFd = -1,
                   std::string* data = nullptr) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | (cancelFd >= 0 ? SOCK_NONBLOCK : 0), 0);
  if (fd < 0) return -1;
  long total = -1;
  const int one = 1;
  ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);  // as every session does
  const std::vector<std::uint8_t> sessionRequest = nbw::BuildSessionRequest(called, calling);
  std::uint8_t answer[4];
  FloorReader in(fd, cancelFd);
  const bool connected = ::connect(fd, reinterpret_cast<const sockaddr*>(&to), sizeof to) == 0 ||
                         (cancelFd >= 0 && errno == EINPROGRESS);
  if (connected && platform::SendAll(fd, sessionRequest.data(), sessionRequest.size()) &&
      in.Read(answer, 4) && answer[0] == nbw::kSsnPositive) {
    std::string chunk;
    chunk.push_back(static_cast<char>(wire::kRequestMarker));
    chunk.push_back('\0');
    chunk.push_back(static_cast<char>(request.size() & 0xFF));
    chunk.push_back(static_cast<char>(request.size() >> 8));
    chunk += request;
    if (SendMessage(fd, chunk)) {
      long bytes = 0;
      for (;;) {
        // The first message of a chunk starts with the 5-byte reply header.
        if (!ReadMessage(in, payload) ||
            payload.size() < static_cast<std::size_t>(wire::kStreamReplyHeaderSize)) {
          break;
        }
        const auto* h = reinterpret_cast<const unsigned char*>(payload.data());
        const bool more = h[wire::kStreamReplyMoreOffset] != 0;
        long remaining = h[wire::kStreamReplyLengthOffset] | (h[wire::kStreamReplyLengthOffset + 1] << 8);
        remaining -= static_cast<long>(payload.size()) - wire::kStreamReplyHeaderSize;
        bytes += static_cast<long>(payload.size()) - wire::kStreamReplyHeaderSize;
        if (data != nullptr) data->append(payload.begin() + wire::kStreamReplyHeaderSize, payload.end());
        while (remaining > 0 && ReadMessage(in, payload)) {
          remaining -= static_cast<long>(payload.size());
          bytes += static_cast<long>(payload.size());
          if (data != nullptr) data->append(payload.begin(), payload.end());
        }
        if (remaining != 0) break;
        if (!more) {
          total = bytes;
          break;
        }
      }
    }
  }
  ::close(fd);
  return total;
}

int Run(int rounds, int batch) {
  platform::testing::TempRoot root;
  char cwd[PATH_MAX];
  if (::getcwd(cwd, sizeof cwd) == nullptr || ::chdir(root.path().c_str()) != 0) {
    std::fprintf(stderr, "cannot enter the temporary root\n");
    return 1;
  }
  const nbtest::Ports ports;
  nbtest::WriteConfig(root.path(), ports, {"127.0.0.1"});

  box_emulator::BoxOptions options;
  options.restartWindow = std::chrono::milliseconds(0);
  box_emulator::Box box(options);
  box.SetDeviceName("Bench-Box");
  box_emulator::NetbiosFrontOptions nb = nbtest::OnPorts(box_emulator::NetbiosFrontOptions{}, ports);
  nb.chunkSize = options.replyChunkSize;  // the same chunks as over TCP
  box_emulator::NetbiosFront front(nb);
  if (!front.AddBox(&box)) {
    std::fprintf(stderr, "the box's NetBIOS ports cannot be opened\n");
    return 1;
  }

  CPrintServerUtility util;
  if (util.mInitializeLanComponent(TYPE_TCPIP | TYPE_NETBEUI, 20) != 0) {
    std::fprintf(stderr, "TCP/IP or NetBIOS did not start\n");
    return 1;
  }
  // The same box under two keys: one record per transport.
  const std::string tcpKey = box.DefaultName();
  const std::string nbKey = "NETBIOS-" + tcpKey;
  console_access::ClearDevices();
  if (console_access::AppendDevice(MakeRecord(tcpKey, TYPE_TCPIP, box.Address())) != 0 ||
      console_access::AppendDevice(MakeRecord(nbKey, TYPE_NETBEUI, box.DeviceName())) != 0) {
    std::fprintf(stderr, "cannot register the box\n");
    return 1;
  }

  // The floor's ends: the box's session port at its address, its called name, a calling name.
  bench::SessionEnds ends;
  if (!bench::BoxSessionEnds(box, ports.ssn, &ends)) {
    std::fprintf(stderr, "the box has no address\n");
    return 1;
  }
  const sockaddr_in& boxSession = ends.session;
  const nbw::Name& called = ends.called;
  const nbw::Name& calling = ends.calling;

  config::AllConfigurationData all;
  std::vector<char> payload;
  bool failed = false;
  auto floorRead = [&] {
    if (FloorExchange(boxSession, called, calling, "9100:\r\n", payload) <= 0 ||
        FloorExchange(boxSession, called, calling, "9007:\n", payload) != wire::pid::kSize) {
      failed = true;
    }
  };
  const int cancelFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);  // never signalled
  if (cancelFd < 0) {
    std::fprintf(stderr, "no event for the bounded floor\n");
    return 1;
  }
  auto boundedFloorRead = [&] {
    if (FloorExchange(boxSession, called, calling, "9100:\r\n", payload, cancelFd) <= 0 ||
        FloorExchange(boxSession, called, calling, "9007:\n", payload, cancelFd) != wire::pid::kSize) {
      failed = true;
    }
  };
  // The bounded floor and the record work every client of the protocol does with a reply: the
  // cache cleared, the configuration text parsed into it, the device block stored, the records
  // handed to the caller. What the client costs above this is its own machinery.
  auto cache = std::make_unique<config::DeviceConfigurationData>();
  std::string replyData;
  auto recordsFloorRead = [&] {
    config::ClearConfiguration(*cache);
    replyData.clear();
    if (FloorExchange(boxSession, called, calling, "9100:\r\n", payload, cancelFd, &replyData) <= 0 ||
        config::ParseConfiguration(replyData.data(), static_cast<int>(replyData.size()), cache.get()) != 0) {
      failed = true;
      return;
    }
    replyData.clear();
    if (FloorExchange(boxSession, called, calling, "9007:\n", payload, cancelFd, &replyData) != wire::pid::kSize) {
      failed = true;
      return;
    }
    std::memcpy(cache->dsDevicePID.data, replyData.data(), wire::pid::kSize);
    all.dsSystem = cache->dsSystem;
    all.dsNetware = cache->dsNetware;
    all.dsTCPIP = cache->dsTCPIP;
    all.dsAPPLETALK = cache->dsAPPLETALK;
    all.dsNetBEUI = cache->dsNetBEUI;
    all.dsWireless = cache->dsWireless;
    for (int i = 0; i < config::kLogicalPrinterCount; ++i) all.dsLogicalPrinter[i] = cache->dsLogicalPrinter[i];
    for (int i = 0; i < config::kPhysicalPortCount; ++i) all.dsPhysicalPort[i] = cache->dsPhysicalPort[i];
  };
  constexpr int kWays = 5;
  const std::function<void()> ways[kWays] = {
      [&] {
        if (util.mGetAllConfiguration(tcpKey, &all) != 0) failed = true;
      },
      floorRead,
      [&] {
        if (util.mGetAllConfiguration(nbKey, &all) != 0) failed = true;
      },
      boundedFloorRead,
      recordsFloorRead,
  };
  const char* const labels[kWays] = {"TCP", "NetBIOS floor", "NetBIOS", "bounded floor", "floor + records"};
  auto timeBatch = [&](int way) {
    const auto start = SteadyClock::now();
    for (int i = 0; i < batch; ++i) ways[way]();
    return std::chrono::duration<double, std::milli>(SteadyClock::now() - start).count() / batch;
  };
  // Warm-up: the local NetBIOS name is registered on the first call.
  for (int way = 0; way < kWays; ++way) timeBatch(way);
  // The record work of the floor must read what the client reads.
  all = config::AllConfigurationData{};
  recordsFloorRead();
  if (failed || all.dsSystem.szDeviceName != box.DeviceName()) {
    std::fprintf(stderr, "a configuration read failed\n");
    return 1;
  }
  std::vector<double> perRead[kWays];
  for (int r = 0; r < rounds && !failed; ++r) {
    for (int k = 0; k < kWays; ++k) {
      const int way = (r + k) % kWays;  // rotate the order so no way always runs first
      perRead[way].push_back(timeBatch(way));
    }
    box.ClearRequests();
  }
  if (failed) {
    std::fprintf(stderr, "a configuration read failed\n");
    return 1;
  }
  double median[kWays];
  std::printf("full configuration read, median per read over %d rounds of %d:\n", rounds, batch);
  for (int k = 0; k < kWays; ++k) {
    median[k] = Median(perRead[k]);
    std::printf("  %-15s %8.3f ms\n", labels[k], median[k]);
  }
  const double floor = median[1] > 0 ? median[2] / median[1] : 0.0;
  std::printf("  NetBIOS/floor ratio %.2f (target at most 1.05: %s)\n", floor,
              floor <= 1.05 ? "met" : "missed");
  std::printf("  floor/TCP ratio     %.2f (the protocol's own extra round trip)\n",
              median[0] > 0 ? median[1] / median[0] : 0.0);
  std::printf("  NetBIOS/TCP ratio   %.2f\n", median[0] > 0 ? median[2] / median[0] : 0.0);
  std::printf("  bounded floor/floor %.2f (the bounded, cancellable waits a client must make)\n",
              median[1] > 0 ? median[3] / median[1] : 0.0);
  std::printf("  NetBIOS/bounded floor %.2f (the client above that)\n", median[3] > 0 ? median[2] / median[3] : 0.0);
  std::printf("  floor + records/floor %.2f (the bounded floor with the reply's record work)\n",
              median[1] > 0 ? median[4] / median[1] : 0.0);
  std::printf("  NetBIOS/floor + records %.2f (the client's own machinery)\n",
              median[4] > 0 ? median[2] / median[4] : 0.0);
  ::close(cancelFd);
  PSExit();
  if (::chdir(cwd) != 0) return 1;
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  int rounds = 41, batch = 5;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if ((arg == "--rounds" || arg == "--batch") && i + 1 < argc) {
      const int v = std::atoi(argv[++i]);
      if (v < 1) {
        std::fprintf(stderr, "%s needs a positive number\n", arg.c_str());
        return 2;
      }
      (arg == "--rounds" ? rounds : batch) = v;
    } else {
      std::fprintf(stderr, "usage: netbios_read_bench [--rounds N] [--batch K]\n");
      return 2;
    }
  }
  return Run(rounds, batch);
}

// config_read_bench: cost of a full configuration read over TCP on loopback.
//
// Run: <build>/bin/config_read_bench [--rounds N] [--batch K] (defaults 101 and 5; about a
// second). A full read is two exchanges, each on its own TCP connection: "9100:\r\n" answered by
// the configuration text, then "9007:\n" answered by the 164-byte device-information block. The
// program times the same two exchanges four ways in one run, interleaved round by round:
//   plain TCP        a raw client against a minimal single-threaded server on another loopback
//                    address that answers with the very bytes the emulated box sends (framing
//                    included), so request and reply byte counts are the same;
//   raw-to-emulator  the same raw client against the emulated box (tools/box_emulator), replies
//                    read by byte count without parsing: what the emulator itself costs;
//   full client read CPrintServerUtility::mGetAllConfiguration against the emulated box;
//   client on plain  mGetAllConfiguration against the plain server: our framing, parsing and
//                    record handling without the emulator's cost;
//   plain, bounded   the plain client against the plain server, but making the calls every
//                    exchange of the protocol must make: the two buffer sizes set on the socket,
//                    a connect that can be bounded (non-blocking) and a bounded wait (poll) before
//                    reading. What those calls cost is the client's floor on this machine: three
//                    more system calls an exchange than the plain client, which weighs much more
//                    where system calls are dear (as in a virtual machine).
// Each round times a batch of K reads per way; the medians over N rounds (after a warm-up) are
// printed per read with the ratios; the figure to watch is full client / plain TCP (target: at
// most 1.1), and when the emulator dominates it, client on plain / plain TCP. The box carries a
// known model code, so no model-name file is read; the process runs in a temporary root, so no
// "utility.log" is written. Timings vary with the machine's load: run it a few times.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <random>
#include <stdexcept>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "device_client/access/access.h"
#include "device_client/api/print_server_utility.h"
#include "device_client/core/config/config_records.h"
#include "device_client/core/wire_layout.h"
#include "platform/fd_io.h"
#include "platform/test_support/temp_root.h"
#include "tools/box_emulator/box_emulator.h"

namespace {

using SteadyClock = std::chrono::steady_clock;

constexpr std::string_view kConfigRequest = "9100:\r\n";
constexpr std::string_view kInfoRequest = "9007:\n";

// One request chunk: '@', more flag 0, uint16 LE length, the text.
std::string FrameRequest(std::string_view text) {
  std::string out;
  out.push_back(static_cast<char>(wire::kRequestMarker));
  out.push_back('\0');
  out.push_back(static_cast<char>(text.size() & 0xFF));
  out.push_back(static_cast<char>((text.size() >> 8) & 0xFF));
  out.append(text);
  return out;
}

int ConnectTo(const sockaddr_in& to) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  while (::connect(fd, reinterpret_cast<const sockaddr*>(&to), sizeof to) != 0) {
    if (errno == EINTR) continue;
    ::close(fd);
    return -1;
  }
  return fd;
}

sockaddr_in Endpoint(const std::string& address, std::uint16_t port) {
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_port = htons(port);
  if (::inet_pton(AF_INET, address.c_str(), &sa.sin_addr) != 1) {
    throw std::runtime_error("bad address " + address);
  }
  return sa;
}

// One exchange of a plain client: connect, send the framed request, read the known number of
// reply bytes without looking at them, close.
bool RawExchange(const sockaddr_in& to, const std::string& request, std::size_t replySize,
                 std::vector<char>& scratch) {
  const int fd = ConnectTo(to);
  if (fd < 0) return false;
  scratch.resize(std::max(scratch.size(), replySize));
  const bool ok = platform::SendAll(fd, request.data(), request.size()) &&
                  platform::ReadExactly(fd, scratch.data(), replySize);
  ::close(fd);
  return ok;
}

// The same exchange with the calls the protocol asks of every exchange: a non-blocking socket
// (so the connect can be bounded) with the send and receive buffer sizes set, and a bounded wait
// before each read.
bool BoundedExchange(const sockaddr_in& to, const std::string& request, std::size_t replySize,
                     std::vector<char>& scratch) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  const int sendSize = 4096, receiveSize = 8192;
  ::setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &sendSize, sizeof sendSize);
  ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &receiveSize, sizeof receiveSize);
  bool ok = ::connect(fd, reinterpret_cast<const sockaddr*>(&to), sizeof to) == 0 || errno == EINPROGRESS;
  ok = ok && ::send(fd, request.data(), request.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(request.size());
  scratch.resize(std::max(scratch.size(), replySize));
  std::size_t got = 0;
  while (ok && got < replySize) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, 20000) != 1) {
      ok = false;
      break;
    }
    const ssize_t n = ::recv(fd, scratch.data() + got, replySize - got, MSG_DONTWAIT);
    if (n > 0) {
      got += static_cast<std::size_t>(n);
    } else if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
      ok = false;
    }
  }
  ::close(fd);
  return ok;
}

// Sends the framed request and returns every byte until the peer closes (to learn the replies).
std::string CaptureReply(const sockaddr_in& to, const std::string& request) {
  const int fd = ConnectTo(to);
  if (fd < 0) throw std::runtime_error("cannot connect to the emulated box");
  std::string reply;
  if (platform::SendAll(fd, request.data(), request.size())) {
    char buf[4096];
    for (;;) {
      const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      reply.append(buf, static_cast<std::size_t>(n));
    }
  }
  ::close(fd);
  return reply;
}

// Data bytes and chunk count of a stream reply, checking that its framing adds up.
bool ReplyShape(const std::string& reply, std::size_t& dataBytes, int& chunks) {
  dataBytes = 0;
  chunks = 0;
  std::size_t at = 0;
  const auto header = static_cast<std::size_t>(wire::kStreamReplyHeaderSize);
  for (;;) {
    if (reply.size() - at < header) return false;
    const auto* h = reinterpret_cast<const unsigned char*>(reply.data() + at);
    const std::size_t length = h[wire::kStreamReplyLengthOffset] |
                               (static_cast<std::size_t>(h[wire::kStreamReplyLengthOffset + 1]) << 8);
    const bool more = h[wire::kStreamReplyMoreOffset] != 0;
    if (h[wire::kStreamReplyErrorOffset] != 0 || reply.size() - at - header < length) return false;
    at += header + length;
    dataBytes += length;
    ++chunks;
    if (!more) return at == reply.size();
  }
}

std::string RandomLoopbackAddress(std::mt19937& rng) {
  std::uniform_int_distribution<int> second(64, 127), third(0, 255), fourth(1, 254);
  return "127." + std::to_string(second(rng)) + "." + std::to_string(third(rng)) + "." +
         std::to_string(fourth(rng));
}

// The baseline server: one thread, one connection at a time; reads one framed request and
// answers it with fixed bytes, then closes.
class PlainServer {
 public:
  PlainServer(std::uint16_t port, std::vector<std::pair<std::string, std::string>> answers)
      : answers_(std::move(answers)) {
    std::mt19937 rng{std::random_device{}()};
    for (int attempt = 0; attempt < 200 && listenFd_ < 0; ++attempt) {
      address_ = RandomLoopbackAddress(rng);
      listenFd_ = box_emulator::OpenListener(address_, port);
    }
    if (listenFd_ < 0) throw std::runtime_error("plain server cannot listen");
    thread_ = std::thread([this] { Serve(); });
  }
  ~PlainServer() {
    stopping_ = true;
    ::shutdown(listenFd_, SHUT_RDWR);  // wakes the blocking accept
    thread_.join();
    ::close(listenFd_);
  }
  PlainServer(const PlainServer&) = delete;
  PlainServer& operator=(const PlainServer&) = delete;

  const std::string& Address() const { return address_; }

 private:
  void Serve() {
    std::vector<char> request;
    while (!stopping_) {
      const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
      if (fd < 0) {
        if (errno == EINTR || errno == ECONNABORTED) continue;
        break;
      }
      char header[wire::kRequestHeaderSize];
      if (platform::ReadExactly(fd, header, sizeof header)) {
        const std::size_t length = static_cast<unsigned char>(header[2]) |
                                   (static_cast<std::size_t>(static_cast<unsigned char>(header[3])) << 8);
        request.assign(header, header + sizeof header);
        request.resize(sizeof header + length);
        if (platform::ReadExactly(fd, request.data() + sizeof header, length)) {
          const std::string_view got(request.data(), request.size());
          for (const auto& [ask, answer] : answers_) {
            if (got == ask) {
              platform::SendAll(fd, answer.data(), answer.size());
              break;
            }
          }
        }
      }
      ::close(fd);
    }
  }

  std::vector<std::pair<std::string, std::string>> answers_;
  std::string address_;
  int listenFd_ = -1;
  std::atomic<bool> stopping_{false};
  std::thread thread_;
};

DeviceRecord TcpRecord(const std::string& name, const std::string& address) {
  DeviceRecord r{};
  std::memcpy(r.szName, name.data(), std::min<std::size_t>(name.size(), 20));
  r.iProtocol = TYPE_TCPIP;
  std::memcpy(r.address, address.data(), std::min<std::size_t>(address.size(), 19));
  return r;
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  const std::size_t n = v.size();
  return n % 2 == 1 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

int ParseCount(const char* text, int fallback) {
  char* end = nullptr;
  const long v = std::strtol(text, &end, 10);
  return (end != text && *end == '\0' && v > 0 && v <= 100000) ? static_cast<int>(v) : fallback;
}

int Run(int rounds, int batch) {
  platform::testing::TempRoot root;  // PSInit's data directory lands here
  char cwd[PATH_MAX];
  if (::getcwd(cwd, sizeof cwd) == nullptr || ::chdir(root.path().c_str()) != 0) {
    std::fprintf(stderr, "cannot enter the temporary root\n");
    return 1;
  }

  box_emulator::BoxOptions options;
  options.restartWindow = std::chrono::milliseconds(0);
  box_emulator::Box box(options);
  const std::string name = box.DefaultName();

  // The replies exactly as the box sends them: the baseline server answers with these bytes.
  const sockaddr_in boxEnd = Endpoint(box.Address(), box.Port());
  const std::string configRequest = FrameRequest(kConfigRequest);
  const std::string infoRequest = FrameRequest(kInfoRequest);
  const std::string configReply = CaptureReply(boxEnd, configRequest);
  const std::string infoReply = CaptureReply(boxEnd, infoRequest);
  std::size_t configData = 0, infoData = 0;
  int configChunks = 0, infoChunks = 0;
  if (!ReplyShape(configReply, configData, configChunks) ||
      !ReplyShape(infoReply, infoData, infoChunks)) {
    std::fprintf(stderr, "the emulated box sent a malformed reply\n");
    return 1;
  }

  PlainServer plain(box.Port(), {{configRequest, configReply}, {infoRequest, infoReply}});
  const sockaddr_in plainEnd = Endpoint(plain.Address(), box.Port());

  CPrintServerUtility util;
  if (util.mInitializeLanComponent(TYPE_TCPIP, 20) != 0) {
    std::fprintf(stderr, "the TCP/IP transport did not start\n");
    return 1;
  }
  console_access::ClearDevices();
  // The box, and the plain server under a name of its own: the client reading the plain server
  // shows our own cost with the emulator taken out.
  const std::string plainName = "PLAINSERVER";
  if (console_access::AppendDevice(TcpRecord(name, box.Address())) != 0 ||
      console_access::AppendDevice(TcpRecord(plainName, plain.Address())) != 0) {
    std::fprintf(stderr, "cannot register the box\n");
    return 1;
  }

  std::vector<char> scratch;
  config::AllConfigurationData all;
  bool failed = false;
  auto rawRead = [&](const sockaddr_in& to) {
    if (!RawExchange(to, configRequest, configReply.size(), scratch) ||
        !RawExchange(to, infoRequest, infoReply.size(), scratch)) {
      failed = true;
    }
  };
  auto boundedRead = [&](const sockaddr_in& to) {
    if (!BoundedExchange(to, configRequest, configReply.size(), scratch) ||
        !BoundedExchange(to, infoRequest, infoReply.size(), scratch)) {
      failed = true;
    }
  };
  constexpr int kWays = 5;
  const std::function<void()> ways[kWays] = {
      [&] { rawRead(plainEnd); },
      [&] { rawRead(boxEnd); },
      [&] {
        if (util.mGetAllConfiguration(name, &all) != 0) failed = true;
      },
      [&] {
        if (util.mGetAllConfiguration(plainName, &all) != 0) failed = true;
      },
      [&] { boundedRead(plainEnd); },
  };
  const char* const labels[kWays] = {"plain TCP", "raw-to-emulator", "full client read",
                                     "client on plain", "plain, bounded"};

  // Check once that the client reads what the box holds, from the box and from the plain server.
  for (int way : {3, 2}) {
    all = config::AllConfigurationData{};
    ways[way]();
    if (failed || all.dsSystem.szDeviceName != box.DeviceName()) {
      std::fprintf(stderr, "the full client read failed\n");
      return 1;
    }
  }

  const int warmup = 3;
  std::vector<double> perRead[kWays];
  for (int round = 0; round < warmup + rounds && !failed; ++round) {
    for (int k = 0; k < kWays; ++k) {
      const int way = (round + k) % kWays;  // rotate the order so no way always runs first
      const auto start = SteadyClock::now();
      for (int i = 0; i < batch; ++i) ways[way]();
      const std::chrono::duration<double, std::micro> spent = SteadyClock::now() - start;
      if (round >= warmup) perRead[way].push_back(spent.count() / batch);
    }
    box.ClearRequests();  // the box records every request; keep that list short
  }
  if (::chdir(cwd) != 0) {
    // Only the way back failed; the numbers stand.
  }
  if (failed) {
    std::fprintf(stderr, "an exchange failed during the measurement\n");
    return 1;
  }

  std::printf("full configuration read = 2 TCP connections: request %zu + %zu bytes, reply %zu + %zu bytes\n",
              configRequest.size(), infoRequest.size(), configReply.size(), infoReply.size());
  std::printf("  (configuration text %zu bytes in %d chunks, device block %zu bytes in %d chunk)\n",
              configData, configChunks, infoData, infoChunks);
  std::printf("%d rounds x %d reads each, median per read:\n", rounds, batch);
  double median[kWays];
  for (int k = 0; k < kWays; ++k) {
    median[k] = Median(perRead[k]);
    const double best = *std::min_element(perRead[k].begin(), perRead[k].end());
    std::printf("  %-17s %9.1f us   (best round %.1f us)\n", labels[k], median[k], best);
  }
  const double ratio = median[2] / median[0];
  std::printf("ratio full client / plain TCP:       %.2f (target at most 1.10: %s)\n", ratio,
              ratio <= 1.10 ? "met" : "missed");
  std::printf("ratio raw-to-emulator / plain TCP:   %.2f\n", median[1] / median[0]);
  std::printf("ratio full client / raw-to-emulator: %.2f\n", median[2] / median[1]);
  std::printf("ratio client on plain / plain TCP:   %.2f (our framing, parsing and records alone)\n",
              median[3] / median[0]);
  std::printf("ratio plain, bounded / plain TCP:    %.2f (the calls every exchange must make)\n",
              median[4] / median[0]);
  std::printf("ratio client on plain / plain, bounded: %.2f (the client above that floor)\n",
              median[3] / median[4]);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  int rounds = 101;
  int batch = 5;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--rounds" && i + 1 < argc) {
      rounds = ParseCount(argv[++i], rounds);
    } else if (arg == "--batch" && i + 1 < argc) {
      batch = ParseCount(argv[++i], batch);
    } else {
      std::fprintf(stderr, "usage: config_read_bench [--rounds N] [--batch K]\n");
      return 2;
    }
  }
  try {
    return Run(rounds, batch);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "config_read_bench: %s\n", e.what());
    return 1;
  }
}

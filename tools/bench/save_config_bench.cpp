// save_config_bench: cost of the console's Save To Device of a whole configuration over TCP on
// loopback, against the raw exchange of the same bytes with the same emulated box.
//
// Run: <build>/bin/save_config_bench [--rounds N] [--batch K] (defaults 41 and 3). A save is:
// collect the console's records into one configuration and check its addresses, build the
// configuration text, send it, restart the box ("9002:") and read the box back ("9100:" and
// "9007:"), each exchange on its own TCP connection. The restart wait is excluded: the client runs
// on a fake clock and the box restarts at once. The baseline replays, on the same box, exactly the
// request bytes the save sent (recorded by the box) and reads the replies by byte count without
// looking at them. Both ways run interleaved round by round; the medians per save are printed with
// their ratio (target: at most 1.3). Timings vary with the machine's load: run it a few times.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include "console/console_state.h"
#include "console/view_save.h"
#include "device_client/access/access.h"
#include "device_client/api/print_server_utility.h"
#include "platform/clock.h"
#include "platform/fd_io.h"
#include "platform/test_support/temp_root.h"
#include "tools/box_emulator/box_emulator.h"

namespace {

using SteadyClock = std::chrono::steady_clock;

struct Exchange {
  std::string request;  // the bytes the client sent, chunk headers included
  std::size_t replySize = 0;
};

// Sends `request` to the box and reads what comes back: the whole reply until the box closes
// (replySize 0, to learn its size), or exactly replySize bytes.
bool Replay(const sockaddr_in& to, const std::string& request, std::size_t& replySize, std::vector<char>& scratch) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  bool ok = false;
  if (::connect(fd, reinterpret_cast<const sockaddr*>(&to), sizeof to) == 0 &&
      platform::SendAll(fd, request.data(), request.size())) {
    if (replySize > 0) {
      scratch.resize(std::max(scratch.size(), replySize));
      ok = platform::ReadExactly(fd, scratch.data(), replySize);
    } else {
      char buf[4096];
      for (;;) {
        const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        replySize += static_cast<std::size_t>(n);
      }
      ok = replySize > 0;
    }
  }
  ::close(fd);
  return ok;
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  const std::size_t n = v.size();
  return n % 2 == 1 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

int Count(const char* text, int fallback) {
  char* end = nullptr;
  const long v = std::strtol(text, &end, 10);
  return (end != text && *end == '\0' && v > 0 && v <= 100000) ? static_cast<int>(v) : fallback;
}

int Run(int rounds, int batch) {
  platform::testing::TempRoot root;
  char cwd[PATH_MAX];
  if (::getcwd(cwd, sizeof cwd) == nullptr || ::chdir(root.path().c_str()) != 0) {
    std::fprintf(stderr, "cannot enter the temporary root\n");
    return 1;
  }
  platform::FakeClock fake(1765368000000LL, 10000);  // restart waits pass at once
  platform::ScopedClock useFake(&fake);

  box_emulator::BoxOptions options;
  options.restartWindow = std::chrono::milliseconds(0);
  box_emulator::Box box(options);
  box.SetDeviceName("BENCH BOX");
  const std::string name = box.DefaultName();

  CPrintServerUtility& util = TheUtility();
  if (util.mInitializeLanComponent(TYPE_TCPIP, 20) != 0) {
    std::fprintf(stderr, "the TCP/IP transport did not start\n");
    return 1;
  }
  console_access::ClearDevices();
  DeviceRecord record{};
  std::memcpy(record.szName, name.data(), std::min<std::size_t>(name.size(), 20));
  record.iProtocol = TYPE_TCPIP;
  const std::string address = box.Address();
  std::memcpy(record.address, address.data(), std::min<std::size_t>(address.size(), 19));
  if (console_access::AppendDevice(record) != 0) {
    std::fprintf(stderr, "cannot register the box\n");
    return 1;
  }

  // The console's records hold the box's configuration, as after Advanced; every group is written.
  auto read = std::make_unique<config::AllConfigurationData>();
  if (util.mGetAllConfiguration(name, read.get()) != 0) {
    std::fprintf(stderr, "the configuration read failed\n");
    return 1;
  }
  StoreConfiguration(*read);
  config::ProtocolData caps;
  caps.bWirelessDevice = caps.bIPXSPXProtocol = caps.bTCPIPProtocol = 1;
  caps.bAPPLETALKProtocol = caps.bNetBEUIProtocol = 1;

  bool failed = false;
  auto save = [&] {
    const config::AllConfigurationData all = console::GatherConfiguration();
    const config::TCPIPConfigurationData& tcp = all.dsTCPIP;
    (void)console::CheckIpMaskGateway(&tcp.szIPAddress, &tcp.szSubNetworkMaskAddress, &tcp.szGatewayAddress);
    if (util.mSetAllConfiguration(name, &all, 1, caps) != 0) failed = true;
  };

  // One save, recorded by the box: the baseline replays these very requests.
  box.ClearRequests();
  save();
  std::vector<Exchange> exchanges;
  for (const box_emulator::ReceivedRequest& r : box.Requests()) exchanges.push_back({r.wire, 0});
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(box.Port());
  std::vector<char> scratch;
  if (failed || exchanges.empty() || ::inet_pton(AF_INET, box.Address().c_str(), &to.sin_addr) != 1) {
    std::fprintf(stderr, "the first save failed\n");
    return 1;
  }
  std::size_t requestBytes = 0, replyBytes = 0;
  for (Exchange& e : exchanges) {
    if (!Replay(to, e.request, e.replySize, scratch)) {
      std::fprintf(stderr, "the box did not answer a replayed request\n");
      return 1;
    }
    requestBytes += e.request.size();
    replyBytes += e.replySize;
  }
  auto raw = [&] {
    for (Exchange& e : exchanges) {
      if (!Replay(to, e.request, e.replySize, scratch)) failed = true;
    }
  };

  const int warmup = 3;
  std::vector<double> perSave[2];
  for (int round = 0; round < warmup + rounds && !failed; ++round) {
    for (int k = 0; k < 2; ++k) {
      const int way = (round + k) % 2;
      const auto start = SteadyClock::now();
      for (int i = 0; i < batch; ++i) {
        if (way == 0) raw();
        else save();
      }
      const std::chrono::duration<double, std::micro> spent = SteadyClock::now() - start;
      if (round >= warmup) perSave[way].push_back(spent.count() / batch);
    }
    box.ClearRequests();
  }
  if (::chdir(cwd) != 0) {
    // Only the way back failed; the numbers stand.
  }
  if (failed) {
    std::fprintf(stderr, "an exchange failed during the measurement\n");
    return 1;
  }
  std::printf("Save To Device = %zu TCP exchanges: requests %zu bytes, replies %zu bytes (restart wait excluded)\n",
              exchanges.size(), requestBytes, replyBytes);
  std::printf("%d rounds x %d saves each, median per save:\n", rounds, batch);
  const char* const labels[2] = {"raw exchange", "Save To Device"};
  double median[2];
  for (int k = 0; k < 2; ++k) {
    median[k] = Median(perSave[k]);
    std::printf("  %-15s %9.1f us   (best round %.1f us)\n", labels[k], median[k],
                *std::min_element(perSave[k].begin(), perSave[k].end()));
  }
  const double ratio = median[1] / median[0];
  std::printf("ratio Save To Device / raw exchange: %.2f (target at most 1.30: %s)\n", ratio,
              ratio <= 1.30 ? "met" : "missed");
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  int rounds = 41;
  int batch = 3;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--rounds" && i + 1 < argc) {
      rounds = Count(argv[++i], rounds);
    } else if (arg == "--batch" && i + 1 < argc) {
      batch = Count(argv[++i], batch);
    } else {
      std::fprintf(stderr, "usage: save_config_bench [--rounds N] [--batch K]\n");
      return 2;
    }
  }
  try {
    return Run(rounds, batch);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "save_config_bench: %s\n", e.what());
    return 1;
  }
}

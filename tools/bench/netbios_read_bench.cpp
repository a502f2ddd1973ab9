// netbios_read_bench: cost of a full configuration read over NetBIOS compared with TCP.
//
// Run: <build>/bin/netbios_read_bench [--rounds N] [--batch K] (defaults 41 and 5). One emulated
// box answers both over TCP and, through its NetBIOS side (tools/box_emulator/netbios_front.h),
// over NetBIOS sessions on private loopback ports; the client reaches it through the NetBIOS
// stand-in (platform/netbios: Netbios() and its local service psa_nbd, which must lie beside this
// program). A full read is CPrintServerUtility::mGetAllConfiguration: "9100:\r\n" and "9007:\n",
// each on a connection or session of its own; over NetBIOS every session starts with a CALL (the
// box's name is queried once, then taken from the remote name cache) and ends with a hang-up.
// Rounds interleave a batch of K reads per transport; the medians per read over N rounds (after a
// warm-up) are printed with the NetBIOS/TCP ratio (target: at most 1.5). The process runs in a
// temporary root, so no "utility.log" is written. Timings vary with the machine's load.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "device_client/access/access.h"
#include "device_client/api/print_server_utility.h"
#include "device_client/core/config/config_records.h"
#include "platform/netbios/tests/nb_test_env.h"
#include "platform/test_support/temp_root.h"
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
  box_emulator::NetbiosFrontOptions nb;
  nb.nameServicePort = ports.ns;
  nb.datagramPort = ports.dg;
  nb.sessionPort = ports.ssn;
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

  config::AllConfigurationData all;
  bool failed = false;
  auto timeBatch = [&](const std::string& key) {
    const auto start = SteadyClock::now();
    for (int i = 0; i < batch; ++i) {
      if (util.mGetAllConfiguration(key, &all) != 0) failed = true;
    }
    return std::chrono::duration<double, std::milli>(SteadyClock::now() - start).count() / batch;
  };
  // Warm-up: the local NetBIOS name is registered on the first call.
  timeBatch(tcpKey);
  timeBatch(nbKey);
  if (failed) {
    std::fprintf(stderr, "a configuration read failed\n");
    return 1;
  }
  std::vector<double> tcp, netbios;
  for (int r = 0; r < rounds; ++r) {
    if (r % 2 == 0) {
      tcp.push_back(timeBatch(tcpKey));
      netbios.push_back(timeBatch(nbKey));
    } else {
      netbios.push_back(timeBatch(nbKey));
      tcp.push_back(timeBatch(tcpKey));
    }
  }
  if (failed) {
    std::fprintf(stderr, "a configuration read failed\n");
    return 1;
  }
  const double t = Median(tcp), n = Median(netbios);
  std::printf("full configuration read, median per read over %d rounds of %d:\n", rounds, batch);
  std::printf("  TCP      %8.3f ms\n", t);
  std::printf("  NetBIOS  %8.3f ms\n", n);
  std::printf("  NetBIOS/TCP ratio %.2f (target at most 1.5)\n", t > 0 ? n / t : 0.0);
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

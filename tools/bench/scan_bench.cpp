// scan_bench: cost of one scan round of the discovery scanner with 384 boxes answering over UDP.
//
// Run: <build>/bin/scan_bench [--rounds N] [--window-ms W] [--boxes B] (defaults 3, 1000, 384).
// The boxes answer from a child process (so the CPU time measured is the scanner's alone), each
// from its own loopback address, on discovery ports of their own. The scanner scans from one local
// address with the UDP routes only (IPX and NetBIOS are left out). A round cannot end before its
// slowest route has waited out its windows of silence: the 34443 route starts 600 ms into the
// round and waits three windows (one after each send), the 34444 route starts at 200 ms and does
// the same; so the floor is 600 ms + 3 x W. With 384 boxes (a full area) each route ends as soon as
// its area is full, so the round takes less than that floor. Per round the program prints the wall time, the floor,
// their ratio (target: at most 1.2), the process CPU time, and how many boxes are missing from each
// cache file (target: none).
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <set>
#include <string>

#include "device_client/core/scan_cache/scan_cache.h"
#include "discovery_scanner/scanner/protocols.h"
#include "discovery_scanner/scanner/scanner_core.h"
#include "platform/paths.h"
#include "platform/test_support/temp_root.h"
#include "tools/box_emulator/box_core.h"
#include "tools/box_emulator/udp_discovery.h"

namespace {

double CpuSeconds() {
  rusage u{};
  ::getrusage(RUSAGE_SELF, &u);
  return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
         static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

std::string NameOf(int i) {
  box_emulator::BoxIdentity identity;
  identity.hardwareAddress = {0x00, 0x40, 0x02, 0x00, static_cast<std::uint8_t>(i >> 8),
                              static_cast<std::uint8_t>(i)};
  return box_emulator::DefaultNameFor(identity);
}

// The boxes, in a child process: reports its two ports through `pipeFd`, then answers until killed.
[[noreturn]] void RunBoxes(int boxes, int pipeFd, pid_t parent) {
  // The boxes die with the benchmark, however it ends.
  ::prctl(PR_SET_PDEATHSIG, SIGKILL);
  if (::getppid() != parent) ::_exit(1);
  try {
    box_emulator::UdpDiscovery responder(box_emulator::UdpDiscoveryOptions{0, 0, "0.0.0.0"});
    for (int i = 0; i < boxes; ++i) {
      box_emulator::BoxIdentity identity;
      identity.hardwareAddress = {0x00, 0x40, 0x02, 0x00, static_cast<std::uint8_t>(i >> 8),
                                  static_cast<std::uint8_t>(i)};
      box_emulator::BoxCore core(identity, "127.0.0.1");
      const std::string address = "127.66." + std::to_string(i / 250) + "." + std::to_string(i % 250 + 1);
      responder.AddBlock(address, core.DeviceInfoBlock());
    }
    const std::uint16_t ports[2] = {responder.port(), responder.port2()};
    if (::write(pipeFd, ports, sizeof ports) != static_cast<ssize_t>(sizeof ports)) ::_exit(1);
    for (;;) ::pause();
  } catch (...) {
    ::_exit(1);
  }
}

int Missing(const char* file, int boxes) {
  std::set<std::string> names;
  for (const auto& r : scan_cache::LoadScanFile(file)) names.insert(std::string(r.szDefaultName, strnlen(r.szDefaultName, 20)));
  int missing = 0;
  for (int i = 0; i < boxes; ++i) missing += names.count(NameOf(i)) == 0 ? 1 : 0;
  return missing;
}

}  // namespace

int main(int argc, char** argv) {
  int rounds = 3, windowMs = 1000, boxes = scan_cache::kMaxRecords;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (std::strcmp(argv[i], "--rounds") == 0) rounds = std::max(1, std::atoi(argv[i + 1]));
    if (std::strcmp(argv[i], "--window-ms") == 0) windowMs = std::max(1, std::atoi(argv[i + 1]));
    if (std::strcmp(argv[i], "--boxes") == 0) boxes = std::clamp(std::atoi(argv[i + 1]), 1, scan_cache::kMaxRecords);
  }

  int ports[2];
  if (::pipe(ports) != 0) return 1;
  const pid_t parent = ::getpid();
  const pid_t child = ::fork();
  if (child < 0) return 1;
  if (child == 0) RunBoxes(boxes, ports[1], parent);
  std::uint16_t udpPorts[2] = {};
  if (::read(ports[0], udpPorts, sizeof udpPorts) != static_cast<ssize_t>(sizeof udpPorts)) {
    std::fprintf(stderr, "scan_bench: the boxes did not start\n");
    return 1;
  }

  platform::testing::TempRoot root;
  platform::MakeDirectories(platform::DataDirectory());
  lumeth::ScannerOptions options;
  options.windowMs = windowMs;
  options.protocols = lumeth::kProtocolTcpIp;
  options.udpPort = udpPorts[0];
  options.udp2Port = udpPorts[1];
  lumeth::ParseAddressList("127.66.255.254/255.255.0.0", &options.addresses);
  options.addressesGiven = true;
  lumeth::LumethCore core(options);
  if (core.Start() != lumeth::LumethCore::StartResult::kStarted) return 1;
  core.StartProtocols();

  const double floorMs = lumeth::kRouteStartOffsetMs[lumeth::kRouteUdp] + 3.0 * windowMs;
  std::printf("%d boxes, window %d ms, floor %.0f ms\n", boxes, windowMs, floorMs);
  int worst = 0;
  for (int r = 0; r < rounds; ++r) {
    const double cpu0 = CpuSeconds();
    const auto t0 = std::chrono::steady_clock::now();
    core.StartScanRound();
    core.JoinWorkers();
    const double wallMs = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
    const double cpuMs = (CpuSeconds() - cpu0) * 1000.0;
    const int missUdp = Missing(scan_cache::kUdpFile, boxes);
    const int missUdp2 = Missing(scan_cache::kUdp2File, boxes);
    worst = std::max({worst, missUdp, missUdp2});
    std::printf("round %d: wall %.1f ms, floor %.0f ms, ratio %.3f, cpu %.1f ms, missing ss_udp.dat %d, "
                "ss_udp2.dat %d\n",
                r + 1, wallMs, floorMs, wallMs / floorMs, cpuMs, missUdp, missUdp2);
  }
  core.Shutdown();
  ::kill(child, SIGKILL);
  ::waitpid(child, nullptr, 0);
  return worst == 0 ? 0 : 2;
}

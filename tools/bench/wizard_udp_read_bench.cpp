// wizard_udp_read_bench: cost of a full configuration read over the wizard's UDP request
// transport (port 34444) on loopback, against the same read over TCP.
//
// Run: <build>/bin/wizard_udp_read_bench [--rounds N] (default 5; each UDP read lasts at least
// the protocol's pauses, 400 ms after every reply fragment but the last). A full read is two
// exchanges through wizard::SendRespByRecord: "9100:\r\n" answered by the configuration text,
// then "9007:\n" answered by the device-information block, to one emulated box whose replies go
// out in fragments (UDP) and chunks (TCP) of 1024 data bytes. Each round times one read per way,
// interleaved; the medians are printed with two ratios: UDP / TCP, and UDP / floor, where the
// floor is the sum of the fragment pauses the client must sleep (target: at most 1.2).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/test_support/temp_root.h"
#include "tools/box_emulator/box_emulator.h"
#include "tools/box_emulator/udp_discovery.h"
#include "wizard_client/transport/wizard_transport.h"

namespace {

using SteadyClock = std::chrono::steady_clock;
constexpr int kFragmentSize = 1024;
constexpr double kPauseMs = 400.0;

wizard::DeviceRecord Record(const std::string& name, int protocol, const std::string& address) {
  wizard::DeviceRecord r{};
  std::memcpy(r.szName, name.data(), std::min<std::size_t>(name.size(), 19));
  r.iProtocol = protocol;
  std::memcpy(r.address, address.data(), std::min<std::size_t>(address.size(), 19));
  return r;
}

// One full read: the two exchanges. Returns the data bytes of each reply, or -1 on a failure.
bool FullRead(const wizard::DeviceRecord& record, std::vector<char>& buffer, int* configBytes,
              int* infoBytes) {
  return wizard::SendRespByRecord(&record, "9100:\r\n", 7, buffer.data(), configBytes,
                                  static_cast<int>(buffer.size())) == 0 &&
         wizard::SendRespByRecord(&record, "9007:\n", 6, buffer.data(), infoBytes,
                                  static_cast<int>(buffer.size())) == 0;
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

int Fragments(int bytes) { return bytes <= kFragmentSize ? 1 : (bytes + kFragmentSize - 1) / kFragmentSize; }

}  // namespace

int main(int argc, char** argv) {
  int rounds = 5;
  for (int i = 1; i + 1 < argc; ++i) {
    if (std::strcmp(argv[i], "--rounds") == 0) rounds = std::max(1, std::atoi(argv[i + 1]));
  }
  platform::testing::TempRoot root;
  wizard::PSInit(2, 20);
  box_emulator::UdpDiscovery responder(box_emulator::UdpDiscoveryOptions{0, 0, "0.0.0.0"});
  responder.SetReplyFragmentSize(kFragmentSize);
  wizard::wizard_access::UdpSettings settings;
  settings.port = responder.port2();
  settings.destination = {127, 0, 0, 1};
  wizard::wizard_access::SetUdpSettings(settings);
  box_emulator::BoxOptions options;
  options.replyChunkSize = kFragmentSize;
  box_emulator::Box box(options);
  responder.AddBox(&box);

  const wizard::DeviceRecord overUdp = Record(box.DefaultName(), wizard::TYPE_UDP, "");
  const wizard::DeviceRecord overTcp = Record(box.DefaultName(), TYPE_TCPIP, box.Address());
  std::vector<char> buffer(10240);
  int configBytes = 0;
  int infoBytes = 0;
  if (!FullRead(overTcp, buffer, &configBytes, &infoBytes) ||
      !FullRead(overUdp, buffer, &configBytes, &infoBytes)) {
    std::fprintf(stderr, "wizard_udp_read_bench: the emulated box did not answer\n");
    return 1;
  }
  std::vector<double> udpMs, tcpMs;
  for (int r = 0; r < rounds; ++r) {
    for (int way = 0; way < 2; ++way) {
      const auto start = SteadyClock::now();
      if (!FullRead(way == 0 ? overTcp : overUdp, buffer, &configBytes, &infoBytes)) {
        std::fprintf(stderr, "wizard_udp_read_bench: a read failed\n");
        return 1;
      }
      const double ms = std::chrono::duration<double, std::milli>(SteadyClock::now() - start).count();
      (way == 0 ? tcpMs : udpMs).push_back(ms);
    }
  }
  const double floorMs = (Fragments(configBytes) - 1 + Fragments(infoBytes) - 1) * kPauseMs;
  const double udp = Median(udpMs);
  const double tcp = Median(tcpMs);
  std::printf("full configuration read (%d + %d bytes, %d + %d UDP fragments), median of %d\n",
              configBytes, infoBytes, Fragments(configBytes), Fragments(infoBytes), rounds);
  std::printf("  TCP                 %10.3f ms\n", tcp);
  std::printf("  UDP                 %10.3f ms\n", udp);
  std::printf("  fragment-pause floor %9.3f ms\n", floorMs);
  std::printf("ratio UDP / TCP:   %.2f\n", udp / tcp);
  if (floorMs > 0) {
    std::printf("ratio UDP / floor: %.3f (target: at most 1.2)\n", udp / floorMs);
  } else {
    std::printf("ratio UDP / floor: no pauses (one fragment per reply)\n");
  }
  wizard::PSExit();
  return 0;
}

// box_emulator: serves emulated print servers on consecutive loopback addresses until SIGINT or
// SIGTERM, printing one line per box: default name, device name, address.
#include <arpa/inet.h>
#include <signal.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "tools/box_emulator/box_emulator.h"
#include "tools/box_emulator/netbios_front.h"
#include "tools/box_emulator/print_path.h"
#include "tools/box_emulator/udp_discovery.h"

namespace {

void Usage() {
  std::fprintf(stderr,
               "usage: box_emulator [options]\n"
               "  --boxes N             number of boxes (default 1)\n"
               "  --first-address A     address of the first box; the others follow (default 127.0.0.21)\n"
               "  --port P              TCP port (default 34443)\n"
               "  --model XXXXXX        model code, six hex digits (block bytes 4-6; default 005510)\n"
               "  --protocols XX        capability byte 43, hex (default 1F)\n"
               "  --wireless            set the wireless capability bit\n"
               "  --extended-name TEXT  answer \"9037:\" with this display name\n"
               "  --ports PAR,SER,USB   port counts (default 3,1,0)\n"
               "  --firmware XXXX       firmware bytes 50-51, hex (default 0210)\n"
               "  --name-prefix LL      two letters of the default names (default KV)\n"
               "  --password TEXT       initial password\n"
               "  --restart-ms MS       restart window (default 300)\n"
               "  --chunk-size N        data bytes per reply chunk (default 1024)\n"
               "  --udp-discovery       answer UDP discovery broadcasts (ports 34443 and 34444)\n"
               "  --udp-ports P1,P2     the two UDP discovery ports\n"
               "  --netbios             answer NetBIOS calls, name queries and the discovery datagram\n"
               "  --netbios-ports N,D,S NetBIOS name service, datagram and session ports (default 137,138,139)\n"
               "  --netbios-message N   bytes per NetBIOS reply message (default 3072)\n"
               "  --print-sinks DIR     take print jobs over NetBIOS; each port writes to a file in DIR\n"
               "  --print-buffer N      buffer size announced to print jobs (default 1030)\n");
}

bool ParseHex(const char* text, std::size_t digits, unsigned long* out) {
  if (std::strlen(text) != digits) return false;
  char* end = nullptr;
  *out = std::strtoul(text, &end, 16);
  return end && *end == '\0';
}

std::string NextAddress(const std::string& first, int index) {
  in_addr a{};
  if (::inet_pton(AF_INET, first.c_str(), &a) != 1) throw std::runtime_error("bad address " + first);
  a.s_addr = htonl(ntohl(a.s_addr) + static_cast<std::uint32_t>(index));
  char buf[INET_ADDRSTRLEN];
  ::inet_ntop(AF_INET, &a, buf, sizeof buf);
  return buf;
}

}  // namespace

int main(int argc, char** argv) {
  int boxes = 1;
  std::string first = "127.0.0.21";
  box_emulator::BoxOptions options;
  options.randomHardwareAddress = false;
  std::string password;
  bool udpDiscovery = false;
  box_emulator::UdpDiscoveryOptions udpOptions;
  bool netbios = false;
  box_emulator::NetbiosFrontOptions netbiosOptions;
  box_emulator::PrintPathOptions printOptions;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    auto value = [&]() -> const char* {
      if (i + 1 >= argc) {
        std::fprintf(stderr, "missing value for %s\n", arg.c_str());
        std::exit(2);
      }
      return argv[++i];
    };
    unsigned long hex = 0;
    if (arg == "--boxes") {
      boxes = std::atoi(value());
      if (boxes < 1 || boxes > 4096) { Usage(); return 2; }
    } else if (arg == "--first-address") {
      first = value();
    } else if (arg == "--port") {
      const int p = std::atoi(value());
      if (p < 1 || p > 65535) { Usage(); return 2; }
      options.port = static_cast<std::uint16_t>(p);
    } else if (arg == "--model") {
      if (!ParseHex(value(), 6, &hex)) { Usage(); return 2; }
      options.identity.modelCode = {static_cast<std::uint8_t>(hex >> 16), static_cast<std::uint8_t>(hex >> 8),
                                    static_cast<std::uint8_t>(hex)};
    } else if (arg == "--protocols") {
      if (!ParseHex(value(), 2, &hex)) { Usage(); return 2; }
      options.identity.protocolByte43 = static_cast<std::uint8_t>(hex);
    } else if (arg == "--wireless") {
      options.identity.protocolByte42 |= wire::pid::kCapWireless;
    } else if (arg == "--extended-name") {
      options.identity.extendedName = value();
      options.identity.functionByte47 |= wire::pid::kFuncExtendedName;
    } else if (arg == "--ports") {
      int par = 0, ser = 0, usb = 0;
      if (std::sscanf(value(), "%d,%d,%d", &par, &ser, &usb) != 3) { Usage(); return 2; }
      options.identity.parallelPorts = par;
      options.identity.serialPorts = ser;
      options.identity.usbPorts = usb;
    } else if (arg == "--firmware") {
      if (!ParseHex(value(), 4, &hex)) { Usage(); return 2; }
      options.identity.firmware = {static_cast<std::uint8_t>(hex >> 8), static_cast<std::uint8_t>(hex)};
    } else if (arg == "--name-prefix") {
      options.identity.namePrefix = value();
    } else if (arg == "--password") {
      password = value();
    } else if (arg == "--restart-ms") {
      options.restartWindow = std::chrono::milliseconds(std::atoi(value()));
    } else if (arg == "--chunk-size") {
      const long n = std::atol(value());
      if (n < 1 || n > 65535) { Usage(); return 2; }
      options.replyChunkSize = static_cast<std::size_t>(n);
    } else if (arg == "--udp-discovery") {
      udpDiscovery = true;
    } else if (arg == "--udp-ports") {
      unsigned p1 = 0, p2 = 0;
      if (std::sscanf(value(), "%u,%u", &p1, &p2) != 2 || p1 < 1 || p1 > 65535 || p2 < 1 || p2 > 65535) {
        Usage();
        return 2;
      }
      udpOptions.port = static_cast<std::uint16_t>(p1);
      udpOptions.port2 = static_cast<std::uint16_t>(p2);
    } else if (arg == "--netbios") {
      netbios = true;
    } else if (arg == "--netbios-ports") {
      unsigned p[3] = {0, 0, 0};
      if (std::sscanf(value(), "%u,%u,%u", &p[0], &p[1], &p[2]) != 3 || p[0] < 1 || p[0] > 65535 ||
          p[1] < 1 || p[1] > 65535 || p[2] < 1 || p[2] > 65535) {
        Usage();
        return 2;
      }
      netbiosOptions.nameServicePort = static_cast<std::uint16_t>(p[0]);
      netbiosOptions.datagramPort = static_cast<std::uint16_t>(p[1]);
      netbiosOptions.sessionPort = static_cast<std::uint16_t>(p[2]);
    } else if (arg == "--netbios-message") {
      const long n = std::strtol(value(), nullptr, 10);
      if (n < 1 || n > 65535) {
        Usage();
        return 2;
      }
      netbiosOptions.messageSize = static_cast<std::size_t>(n);
    } else if (arg == "--print-sinks") {
      printOptions.sinkDirectory = value();
    } else if (arg == "--print-buffer") {
      const long n = std::strtol(value(), nullptr, 10);
      if (n < 7 || n > 65535) {
        Usage();
        return 2;
      }
      printOptions.bufferSize = static_cast<std::uint16_t>(n);
    } else {
      Usage();
      return arg == "--help" || arg == "-h" ? 0 : 2;
    }
  }

  // Block the stop signals before any thread starts, then wait for them here.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

  std::vector<std::unique_ptr<box_emulator::Box>> running;
  std::unique_ptr<box_emulator::UdpDiscovery> discovery;
  std::unique_ptr<box_emulator::PrintPath> printPath;
  std::unique_ptr<box_emulator::NetbiosFront> netbiosFront;
  try {
    for (int i = 0; i < boxes; ++i) {
      box_emulator::BoxOptions o = options;
      o.address = NextAddress(first, i);
      // A stable hardware address per box, so its default name stays the same across runs.
      const std::uint32_t serial = 0x1A2B3C + static_cast<std::uint32_t>(i);
      o.identity.hardwareAddress = {0x00, 0x40, 0x01, static_cast<std::uint8_t>(serial >> 16),
                                    static_cast<std::uint8_t>(serial >> 8), static_cast<std::uint8_t>(serial)};
      auto box = std::make_unique<box_emulator::Box>(o);
      if (!password.empty()) box->SetPassword(password);
      std::printf("%s %s %s\n", box->DefaultName().c_str(), box->DeviceName().c_str(), box->Address().c_str());
      running.push_back(std::move(box));
    }
    if (udpDiscovery) {
      discovery = std::make_unique<box_emulator::UdpDiscovery>(udpOptions);
      for (auto& box : running) discovery->AddBox(box.get());
    }
    if (netbios) {
      netbiosOptions.chunkSize = options.replyChunkSize;
      netbiosFront = std::make_unique<box_emulator::NetbiosFront>(netbiosOptions);
      if (!printOptions.sinkDirectory.empty()) {
        printPath = std::make_unique<box_emulator::PrintPath>(printOptions);
        netbiosFront->SetPrintPath(printPath.get());
      }
      for (auto& box : running) {
        if (!netbiosFront->AddBox(box.get())) {
          std::fprintf(stderr, "box_emulator: NetBIOS ports of %s cannot be opened\n", box->Address().c_str());
          return 1;
        }
      }
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "box_emulator: %s\n", e.what());
    return 1;
  }
  std::fflush(stdout);

  int signal = 0;
  sigwait(&stopSignals, &signal);
  netbiosFront.reset();
  discovery.reset();
  running.clear();
  return 0;
}

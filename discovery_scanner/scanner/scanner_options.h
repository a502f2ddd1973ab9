// Settings of the scanner program that tests change through the environment. A normal run sets
// none of these variables and gets the program's fixed behaviour.
//
//   PSADMIN_SCANNER_TICK_MS=7000        interval of the presence poll
//   PSADMIN_SCANNER_WINDOW_MS=1000      window of silence that ends each wait for replies (UDP,
//                                       NetBIOS and the IPX service query)
//   PSADMIN_SCANNER_UDP_PORTS=34443,34444   the two UDP discovery ports
//   PSADMIN_SCANNER_ADDRESSES=a.b.c.d/m.m.m.m,...   the local IPv4 addresses (with their net masks)
//                                       to scan from, instead of the machine's interfaces
//   PSADMIN_SCANNER_PROTOCOLS=7         protocols to start (bit 0 IPX/SPX, bit 1 TCP/IP, bit 2
//                                       NetBIOS); a protocol left out is treated as failed to start
//   PSADMIN_SCANNER_TRACE=1             one line on standard error per poll, scan round, skipped
//                                       round and route left out because it is still busy
// Values that do not parse are ignored (the default stays).
#pragma once
#include <array>
#include <cstdint>
#include <vector>

namespace lumeth {

struct LocalAddress {
  std::array<std::uint8_t, 4> address{};  // network order
  std::array<std::uint8_t, 4> mask{};     // network order
};

struct ScannerOptions {
  int tickMs = 7000;
  int windowMs = 1000;
  std::uint16_t udpPort = 34443;
  std::uint16_t udp2Port = 34444;
  bool addressesGiven = false;
  std::vector<LocalAddress> addresses;
  int protocols = 7;
  bool trace = false;

  static ScannerOptions FromEnvironment();
};

// "a.b.c.d" into network-order bytes.
bool ParseDottedAddress(const char* text, std::array<std::uint8_t, 4>* out);
// "a.b.c.d/m.m.m.m,..." (a missing mask means 255.255.255.0); false when any part is bad.
bool ParseAddressList(const char* text, std::vector<LocalAddress>* out);

}  // namespace lumeth

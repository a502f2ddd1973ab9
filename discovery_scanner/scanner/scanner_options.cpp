#include "discovery_scanner/scanner/scanner_options.h"

#include <arpa/inet.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace lumeth {
namespace {

bool ParseInt(const char* text, long min, long max, long* out) {
  if (text == nullptr || *text == '\0') return false;
  char* end = nullptr;
  long v = std::strtol(text, &end, 10);
  if (end == nullptr || *end != '\0' || v < min || v > max) return false;
  *out = v;
  return true;
}

}  // namespace

bool ParseDottedAddress(const char* text, std::array<std::uint8_t, 4>* out) {
  in_addr a{};
  if (text == nullptr || ::inet_pton(AF_INET, text, &a) != 1) return false;
  std::memcpy(out->data(), &a, 4);
  return true;
}

bool ParseAddressList(const char* text, std::vector<LocalAddress>* out) {
  if (text == nullptr) return false;
  std::vector<LocalAddress> list;
  std::string all = text;
  std::size_t start = 0;
  while (start < all.size()) {
    std::size_t comma = all.find(',', start);
    if (comma == std::string::npos) comma = all.size();
    std::string item = all.substr(start, comma - start);
    start = comma + 1;
    if (item.empty()) continue;
    LocalAddress entry;
    std::size_t slash = item.find('/');
    std::string address = item.substr(0, slash);
    std::string mask = slash == std::string::npos ? "255.255.255.0" : item.substr(slash + 1);
    if (!ParseDottedAddress(address.c_str(), &entry.address)) return false;
    if (!ParseDottedAddress(mask.c_str(), &entry.mask)) return false;
    list.push_back(entry);
  }
  *out = std::move(list);
  return true;
}

ScannerOptions ScannerOptions::FromEnvironment() {
  ScannerOptions o;
  long v = 0;
  if (ParseInt(std::getenv("PSADMIN_SCANNER_TICK_MS"), 1, 3600000, &v)) o.tickMs = static_cast<int>(v);
  if (ParseInt(std::getenv("PSADMIN_SCANNER_WINDOW_MS"), 1, 60000, &v)) o.windowMs = static_cast<int>(v);
  if (ParseInt(std::getenv("PSADMIN_SCANNER_PROTOCOLS"), 0, 7, &v)) o.protocols = static_cast<int>(v);
  if (const char* ports = std::getenv("PSADMIN_SCANNER_UDP_PORTS")) {
    unsigned a = 0, b = 0;
    char tail = 0;
    if (std::sscanf(ports, "%u,%u%c", &a, &b, &tail) == 2 && a > 0 && a < 65536 && b > 0 && b < 65536) {
      o.udpPort = static_cast<std::uint16_t>(a);
      o.udp2Port = static_cast<std::uint16_t>(b);
    }
  }
  if (const char* list = std::getenv("PSADMIN_SCANNER_ADDRESSES")) {
    std::vector<LocalAddress> parsed;
    if (ParseAddressList(list, &parsed)) {
      o.addressesGiven = true;
      o.addresses = std::move(parsed);
    }
  }
  const char* trace = std::getenv("PSADMIN_SCANNER_TRACE");
  o.trace = trace != nullptr && trace[0] == '1';
  return o;
}

}  // namespace lumeth

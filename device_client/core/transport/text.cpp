#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "device_client/core/transport/text.h"
#include "device_client/core/wire_layout.h"
#include "platform/ascii.h"

namespace core {

std::uint8_t HexDigitValue(char c) {
  if (c >= '0' && c <= '9') return static_cast<std::uint8_t>(c - '0');
  if (c >= 'A' && c <= 'F') return static_cast<std::uint8_t>(c - 'A' + 10);
  if (c >= 'a' && c <= 'f') return static_cast<std::uint8_t>(c - 'a' + 10);
  return 0xFF;
}

void HexToBytes(const char* hex, std::uint8_t* out, int n) {
  // Stops reading at a NUL so that short text never reads past its end.
  bool ended = false;
  for (int i = 0; i < n; ++i) {
    char hi = '\0', lo = '\0';
    if (!ended) {
      hi = hex[2 * i];
      ended = hi == '\0';
    }
    if (!ended) {
      lo = hex[2 * i + 1];
      ended = lo == '\0';
    }
    out[i] = static_cast<std::uint8_t>((HexDigitValue(hi) * 16 + HexDigitValue(lo)) & 0xFF);
  }
}

void ByteToHex(std::uint8_t value, char (&out)[2]) {
  static const char kDigits[] = "0123456789ABCDEF";
  out[0] = kDigits[value >> 4];
  out[1] = kDigits[value & 0x0F];
}

int BytesToHex(const std::uint8_t* bytes, char* out, int n) {
  if (n < 0) n = 0;
  for (int i = 0; i < n; ++i) {
    char pair[2];
    ByteToHex(bytes[i], pair);
    out[2 * i] = pair[0];
    out[2 * i + 1] = pair[1];
  }
  out[2 * n] = '\0';
  return 2 * n;
}

void FormatNodeHex(char* out, const std::uint8_t (&node)[6]) { BytesToHex(node, out, 6); }

void FormatIpxAddress(char* out, const std::uint8_t (&network)[4], const std::uint8_t (&node)[6]) {
  BytesToHex(network, out, 4);
  out[8] = '.';
  BytesToHex(node, out + 9, 6);
}

bool EnumBindIp(std::uint8_t (*addresses)[4], int capacity, int* count) {
  ifaddrs* list = nullptr;
  if (getifaddrs(&list) != 0) return false;
  std::vector<std::uint32_t> outer, loopback;
  for (ifaddrs* a = list; a != nullptr; a = a->ifa_next) {
    if (a->ifa_addr == nullptr || a->ifa_addr->sa_family != AF_INET) continue;
    if ((a->ifa_flags & IFF_UP) == 0) continue;
    std::uint32_t ip;
    std::memcpy(&ip, &reinterpret_cast<const sockaddr_in*>(a->ifa_addr)->sin_addr, 4);
    auto& into = (a->ifa_flags & IFF_LOOPBACK) != 0 ? loopback : outer;
    bool seen = false;
    for (std::uint32_t known : outer) seen = seen || known == ip;
    for (std::uint32_t known : loopback) seen = seen || known == ip;
    if (!seen) into.push_back(ip);
  }
  freeifaddrs(list);
  outer.insert(outer.end(), loopback.begin(), loopback.end());
  int n = 0;
  for (std::uint32_t ip : outer) {
    if (n >= capacity) break;
    std::memcpy(addresses[n], &ip, 4);
    ++n;
  }
  if (count != nullptr) *count = n;
  return true;
}

namespace {

bool StorableNameText(const char* field) {
  for (int i = 0; i < kBoxNameFieldSize && field[i] != '\0'; ++i) {
    if (platform::IsAsciiControl(field[i]) || field[i] == '\\') return false;
  }
  return true;
}

}  // namespace

bool AcceptableBoxNames(const char* defaultName, const char* deviceName) {
  if (defaultName == nullptr || defaultName[0] == '\0' || !StorableNameText(defaultName)) return false;
  return deviceName == nullptr || StorableNameText(deviceName);
}

}  // namespace core

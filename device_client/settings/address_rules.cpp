#include "device_client/settings/address_rules.h"

#include "device_client/settings/com_method.h"

namespace address_rules {

std::optional<std::uint32_t> ReadAddress(const std::string& text) {
  int octets[4] = {};
  if (CComMethod::ParseIpAddress(text, octets) == 0) return std::nullopt;
  std::uint32_t value = 0;
  for (int o : octets) value = (value << 8) | static_cast<std::uint32_t>(o);
  return value;
}

std::string FormatAddress(std::uint32_t a) {
  return std::to_string(a >> 24) + "." + std::to_string((a >> 16) & 0xFF) + "." +
         std::to_string((a >> 8) & 0xFF) + "." + std::to_string(a & 0xFF);
}

bool HasOctet255(std::uint32_t a) {
  for (int shift = 0; shift < 32; shift += 8) {
    if (((a >> shift) & 0xFF) == 0xFF) return true;
  }
  return false;
}

bool IsHostAddress(std::uint32_t a) { return !HasOctet255(a) && (a & 0xFF) != 0; }

bool IsContiguousMask(std::uint32_t mask) {
  if (mask == 0) return false;
  const std::uint32_t inverted = ~mask;
  return (inverted & (inverted + 1)) == 0;
}

Broken Check(std::optional<std::uint32_t> ip, std::optional<std::uint32_t> mask,
             std::optional<std::uint32_t> gateway) {
  if (!ip || !IsHostAddress(*ip)) return Broken::kIpAddress;
  if (!mask || !IsContiguousMask(*mask)) return Broken::kSubnetMask;
  if (!gateway || HasOctet255(*gateway)) return Broken::kGateway;
  if ((*ip & *mask) != (*gateway & *mask)) return Broken::kDifferentSubnets;
  return Broken::kNone;
}

}  // namespace address_rules

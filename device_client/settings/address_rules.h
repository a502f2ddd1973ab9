// The rules a box's IPv4 address, subnet mask and gateway keep, shared by the console and the
// wizard; each program says which rule broke in its own messages. Addresses are 32-bit numbers in
// host byte order, read from text by CComMethod::ParseIpAddress, the one strict reader.
#pragma once
#include <cstdint>
#include <optional>
#include <string>

namespace address_rules {

// The first rule that a set of addresses breaks, in the order they are checked.
enum class Broken {
  kNone,
  kIpAddress,         // no address, an octet 255, or a last octet 0
  kSubnetMask,        // no address, or not 1 to 32 leading one bits followed only by zeros
  kGateway,           // no address, or an octet 255 (0.0.0.0 passes)
  kDifferentSubnets,  // address and gateway in different networks under the mask
};

// The dotted decimal text as a number; nullopt for a text that is no address.
std::optional<std::uint32_t> ReadAddress(const std::string& text);
// "a.b.c.d" of the number's four octets.
std::string FormatAddress(std::uint32_t address);

bool HasOctet255(std::uint32_t address);
// An address a box may take: no octet 255 and a last octet other than 0.
bool IsHostAddress(std::uint32_t address);
// 1 to 32 leading one bits followed only by zero bits.
bool IsContiguousMask(std::uint32_t mask);

// The first rule broken; nullopt stands for a text that is no address and breaks its own rule.
Broken Check(std::optional<std::uint32_t> ip, std::optional<std::uint32_t> mask,
             std::optional<std::uint32_t> gateway);

}  // namespace address_rules

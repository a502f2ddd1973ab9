// The address rules of the TCP/IP page: octet texts, the checks of an address, mask and gateway
// (the rules the console keeps too, device_client/settings/address_rules.h, with the wizard's own
// messages), the default mask of an address, and the search for an address nobody answers on.
// Addresses are IPv4 in host byte order; every octet text is read as a decimal number.
#pragma once
#include <cstdint>
#include <optional>
#include <string>

#include "device_client/settings/address_rules.h"
#include "platform/netprobe/netprobe.h"

namespace wizard {

// The strings naming the rule an address, mask and gateway break.
constexpr int IDS_IP_ILLEGAL = 147;
constexpr int IDS_GATEWAY_ILLEGAL = 148;
constexpr int IDS_MASK_ILLEGAL = 150;
constexpr int IDS_GATEWAY_OR_IP_ERROR = 151;

// Splits "a.b.c.d" into four octet texts: each of the first three parts ends at a '.' found at
// position 1 or later; the non-empty rest is the fourth (it may hold further dots). False when a
// part is missing; the outputs are then unchanged.
bool SplitIpAddress(const std::string& text, std::string& o1, std::string& o2, std::string& o3,
                    std::string& o4);
// The value of 1 to 3 decimal digits, nullopt for anything else or a value above 255.
std::optional<int> OctetValue(const std::string& text);
// Four decimal octets joined by dots, nothing else; nullopt for any other text.
std::optional<std::uint32_t> ParseDottedDecimal(const std::string& text);
inline std::string FormatDotted(std::uint32_t address) { return address_rules::FormatAddress(address); }
// 0 becomes 1, 255 or more becomes 254.
void ClampLastOctet(int& value);
// By the first octet: below 128 255.0.0.0, below 192 255.255.0.0, else 255.255.255.0.
std::uint32_t DefaultMaskFor(std::uint32_t address);
// 1 to 32 leading one bits followed only by zero bits.
using address_rules::IsContiguousMask;
// The string id of the first rule the address, mask and gateway break (IDS_IP_ILLEGAL,
// IDS_MASK_ILLEGAL, IDS_GATEWAY_ILLEGAL, then IDS_GATEWAY_OR_IP_ERROR for address and gateway in
// different networks), 0 when all pass. A text that is not
// a dotted decimal address reads as 255.255.255.255.
int AddressRuleBroken(const std::string& ip, const std::string& mask, const std::string& gateway);
// True when the box's address lies in the PC's network: the same network number under the PC's
// mask. False when either text is not a dotted decimal address.
bool SameNetwork(const std::string& boxAddress, const std::string& pcAddress, std::uint32_t pcMask);

// The first address at or after `base` that does not answer three echo requests in a row (each
// waiting 1000 ms), searched among the hosts of base's network under `mask` (at most 254
// candidates; addresses with an octet 255 or a last octet 0 are skipped, as the page would refuse
// them). False, with `found` unchanged, when the base is not a dotted decimal address or is
// 0.0.0.0 (no interface of this PC), no echo can be sent or every candidate answered.
bool FindFreeAddress(const std::string& base, std::uint32_t mask, std::string& found,
                     platform::netprobe::EchoProber& prober);

}  // namespace wizard

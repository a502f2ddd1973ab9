#include "wizard/tcpip_address.h"

#include <array>

namespace wizard {
namespace {

constexpr int kEchoTries = 3;
constexpr std::int64_t kEchoWaitMs = 1000;
constexpr std::size_t kEchoPayloadSize = 32;
constexpr int kMaxCandidates = 254;

bool HasOctet255(std::uint32_t a) {
  for (int shift = 0; shift < 32; shift += 8) {
    if (((a >> shift) & 0xFF) == 0xFF) return true;
  }
  return false;
}

}  // namespace

bool SplitIpAddress(const std::string& text, std::string& o1, std::string& o2, std::string& o3,
                    std::string& o4) {
  std::array<std::string, 3> parts;
  std::size_t from = 0;
  for (std::string& part : parts) {
    const std::size_t dot = text.find('.', from + 1);
    if (from >= text.size() || dot == std::string::npos) return false;
    part = text.substr(from, dot - from);
    from = dot + 1;
  }
  if (from >= text.size()) return false;
  o1 = parts[0];
  o2 = parts[1];
  o3 = parts[2];
  o4 = text.substr(from);
  return true;
}

void StripBlanks(std::string& text) {
  std::string out;
  for (char c : text) {
    if (c != ' ') out += c;
  }
  text = out;
}

bool IsAllDigits(const std::string& text) {
  for (char c : text) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

std::optional<int> OctetValue(const std::string& text) {
  if (text.empty() || text.size() > 3 || !IsAllDigits(text)) return std::nullopt;
  const int value = std::stoi(text);
  if (value > 255) return std::nullopt;
  return value;
}

std::optional<std::uint32_t> ParseDottedDecimal(const std::string& text) {
  std::uint32_t address = 0;
  std::size_t from = 0;
  for (int i = 0; i < 4; ++i) {
    const std::size_t dot = i < 3 ? text.find('.', from) : text.size();
    if (dot == std::string::npos) return std::nullopt;
    const std::optional<int> octet = OctetValue(text.substr(from, dot - from));
    if (!octet) return std::nullopt;
    address = address << 8 | static_cast<std::uint32_t>(*octet);
    from = dot + 1;
  }
  return address;
}

std::string FormatDotted(std::uint32_t a) {
  return std::to_string(a >> 24) + "." + std::to_string((a >> 16) & 0xFF) + "." +
         std::to_string((a >> 8) & 0xFF) + "." + std::to_string(a & 0xFF);
}

void ClampLastOctet(int& value) {
  if (value <= 0) value = 1;
  if (value >= 255) value = 254;
}

std::uint32_t DefaultMaskFor(std::uint32_t address) {
  const std::uint32_t first = address >> 24;
  if (first < 128) return 0xFF000000u;
  if (first < 192) return 0xFFFF0000u;
  return 0xFFFFFF00u;
}

bool IsContiguousMask(std::uint32_t mask) {
  if (mask == 0) return false;
  const std::uint32_t inverted = ~mask;
  return (inverted & (inverted + 1)) == 0;
}

int AddressRuleBroken(const std::string& ip, const std::string& mask, const std::string& gateway) {
  const std::uint32_t a = ParseDottedDecimal(ip).value_or(0xFFFFFFFFu);
  const std::uint32_t m = ParseDottedDecimal(mask).value_or(0xFFFFFFFFu);
  const std::uint32_t g = ParseDottedDecimal(gateway).value_or(0xFFFFFFFFu);
  if (HasOctet255(a) || (a & 0xFF) == 0) return IDS_IP_ILLEGAL;
  if (!IsContiguousMask(m)) return IDS_MASK_ILLEGAL;
  if (HasOctet255(g)) return IDS_GATEWAY_ILLEGAL;
  if ((a & m) != (g & m)) return IDS_GATEWAY_OR_IP_ERROR;
  return 0;
}

bool SameNetwork(const std::string& boxAddress, const std::string& pcAddress, std::uint32_t pcMask) {
  const std::optional<std::uint32_t> box = ParseDottedDecimal(boxAddress);
  const std::optional<std::uint32_t> pc = ParseDottedDecimal(pcAddress);
  return box && pc && (*box & pcMask) == (*pc & pcMask);
}

bool FindFreeAddress(const std::string& base, std::uint32_t mask, std::string& found,
                     platform::netprobe::EchoProber& prober) {
  const std::optional<std::uint32_t> start = ParseDottedDecimal(base);
  // 0.0.0.0: the box was not seen on any interface of this PC, so there is no network to search.
  if (!start || *start == 0) return false;
  std::array<std::uint8_t, kEchoPayloadSize> payload{};
  for (std::size_t i = 0; i < payload.size(); ++i) payload[i] = static_cast<std::uint8_t>(0x61 + i);
  if (!prober.Open()) return false;

  const std::uint64_t network = *start & mask;
  const std::uint64_t broadcast = network | (~mask & 0xFFFFFFFFu);
  std::uint64_t candidate = *start;
  if (candidate >= broadcast) candidate = broadcast - 1;
  if (candidate <= network) candidate = network + 1;
  bool result = false;
  for (int tried = 0; tried < kMaxCandidates && candidate < broadcast; ++candidate) {
    const auto address = static_cast<std::uint32_t>(candidate);
    if (HasOctet255(address) || (address & 0xFF) == 0) continue;
    ++tried;
    bool answered = false;
    for (int i = 0; i < kEchoTries && !answered; ++i) {
      answered = prober.Echo(address, payload.data(), payload.size(), kEchoWaitMs);
    }
    if (!answered) {
      found = FormatDotted(address);
      result = true;
      break;
    }
  }
  prober.Close();
  return result;
}

}  // namespace wizard

#include "wizard/tcpip_address.h"

#include <array>

#include "device_client/settings/com_method.h"

namespace wizard {
namespace {

constexpr int kEchoTries = 3;
constexpr std::int64_t kEchoWaitMs = 1000;
constexpr std::size_t kEchoPayloadSize = 32;
constexpr int kMaxCandidates = 254;

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

std::optional<int> OctetValue(const std::string& text) {
  int value = 0;
  if (text.size() > 3 || CComMethod::ReadOctet(text, value) != CComMethod::kOctetOk) return std::nullopt;
  return value;
}

std::optional<std::uint32_t> ParseDottedDecimal(const std::string& text) { return address_rules::ReadAddress(text); }

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

int AddressRuleBroken(const std::string& ip, const std::string& mask, const std::string& gateway) {
  // The page reads a text that is no address as 255.255.255.255.
  auto read = [](const std::string& text) {
    return std::optional<std::uint32_t>(ParseDottedDecimal(text).value_or(0xFFFFFFFFu));
  };
  switch (address_rules::Check(read(ip), read(mask), read(gateway))) {
    case address_rules::Broken::kIpAddress: return IDS_IP_ILLEGAL;
    case address_rules::Broken::kSubnetMask: return IDS_MASK_ILLEGAL;
    case address_rules::Broken::kGateway: return IDS_GATEWAY_ILLEGAL;
    case address_rules::Broken::kDifferentSubnets: return IDS_GATEWAY_OR_IP_ERROR;
    case address_rules::Broken::kNone: break;
  }
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
    if (!address_rules::IsHostAddress(address)) continue;
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

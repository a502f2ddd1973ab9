#include "tools/box_emulator/password_decoder.h"

#include <vector>

#include "device_client/core/wire_layout.h"

namespace box_emulator {
namespace {

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

}  // namespace

std::uint8_t SwapBits(std::uint8_t byte, int a, int b) {
  const bool bitA = (byte >> a) & 1;
  const bool bitB = (byte >> b) & 1;
  if (bitA == bitB) return byte;
  return static_cast<std::uint8_t>(byte ^ ((1u << a) | (1u << b)));
}

std::uint8_t ApplySwaps(const std::uint8_t pairs[4], std::uint8_t byte) {
  for (int i = 0; i < 4; ++i) byte = SwapBits(byte, pairs[i] & 0x0F, (pairs[i] >> 4) & 0x0F);
  return byte;
}

PasswordDecodeResult UnscramblePassword(std::string_view hex, std::string* password) {
  // Every encoding has an even number of digits and at most 100 of them; longer texts are refused
  // rather than stored undecoded.
  if (hex.size() % 2 != 0 || hex.size() / 2 > kMaxScrambledBytes) return PasswordDecodeResult::kBadText;
  std::vector<std::uint8_t> bytes;
  bytes.reserve(hex.size() / 2);
  for (std::size_t i = 0; i < hex.size(); i += 2) {
    const int hi = HexDigit(hex[i]);
    const int lo = HexDigit(hex[i + 1]);
    if (hi < 0 || lo < 0) return PasswordDecodeResult::kBadText;
    bytes.push_back(static_cast<std::uint8_t>(hi << 4 | lo));
  }
  if (bytes.size() < 5) return PasswordDecodeResult::kTooShort;

  std::uint8_t pairs[4];
  for (int i = 0; i < 4; ++i) {
    std::uint8_t p = ApplySwaps(wire::kScrambleFixedPairs, bytes[i]);
    p &= 0x7F;
    if (p & 0x08) return PasswordDecodeResult::kBadPairByte;
    pairs[i] = p;
  }
  const int pad = ApplySwaps(pairs, bytes[4]) & 0x5F;
  if (pad > 15) return PasswordDecodeResult::kBadPadCount;
  const long length = static_cast<long>(hex.size() / 2) - pad - 5;
  if (length < 0) return PasswordDecodeResult::kTooShort;

  std::string text;
  for (long j = 0; j < length; ++j) {
    const std::uint8_t c = ApplySwaps(pairs, bytes[5 + static_cast<std::size_t>(j)]);
    if (c == 0) break;
    text.push_back(static_cast<char>(c));
  }
  *password = std::move(text);
  return PasswordDecodeResult::kDone;
}

}  // namespace box_emulator

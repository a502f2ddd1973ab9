// The box's side of the password scrambling: turns the hexadecimal text of "9005:", "9035:" and
// "9036:" back into the password.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

namespace box_emulator {

enum class PasswordDecodeResult {
  kDone = 1,
  kBadPairByte = 2,  // a pair byte does not name two bit positions 0..7
  kBadPadCount = 3,  // the header byte gives a pad count above 15
  kTooShort = 4,     // the text is shorter than its pad count needs
  kBadText = 5,      // not an even number of hexadecimal digits, or more than 100 of them
};

// The box reads at most 100 hexadecimal digits: a block of 50 bytes (4 pair bytes, the header,
// password and pad bytes).
constexpr std::size_t kMaxScrambledBytes = 50;

// Exchanges bit a and bit b of `byte` (nothing changes when they are equal).
std::uint8_t SwapBits(std::uint8_t byte, int a, int b);
// Applies four pair bytes (high nibble and low nibble name the two bits) in order.
std::uint8_t ApplySwaps(const std::uint8_t pairs[4], std::uint8_t byte);

// Decodes `hex` into `password`; `password` is set only on kDone.
PasswordDecodeResult UnscramblePassword(std::string_view hex, std::string* password);

}  // namespace box_emulator

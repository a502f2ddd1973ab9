// Password encoding of the "9005:" request: a random bit-pair permutation, random padding and a
// fixed pair key hide the password, and the block is written as upper-case hexadecimal. The box
// decodes it; UnscramblePassword is the same decoding. Passwords are never logged.
#pragma once
#include <string>

namespace config {

constexpr int kScrambleWorkSize = 100;   // the caller's work area
constexpr int kMaxPadCount = 15;
// The box decodes at most 100 hexadecimal digits (50 block bytes: 4 pair bytes, the header,
// password and pad bytes). Longer passwords are refused; for passwords longer than 30 bytes the
// pad count is drawn from a smaller range so that the block never grows past 50 bytes.
constexpr int kMaxScrambledDigits = 100;
constexpr int kMaxScrambledBytes = kMaxScrambledDigits / 2;
constexpr int kMaxPasswordLength = kMaxScrambledBytes - 5;  // 45
// Size of a text buffer that can receive the longest encoding and its NUL.
constexpr int kScrambledTextCapacity = kMaxScrambledDigits + 1;

constexpr int kScrambleOk = 0;
constexpr int kScrambleInvalid = -2;     // null argument or a password over 45 bytes

// Exchanges bits a and b (0..7) of byte.
unsigned char SwapBits(unsigned char byte, int a, int b);

// Applies four pair bytes (high nibble, low nibble = two bit positions) to byte, pair 0 first.
unsigned char ApplySwaps(const unsigned char pairs[4], unsigned char byte);

// Writes a fresh random permutation of 0..7 into work[0..7] and a pad count 0..15 into work[8].
// The generator is private to this module and seeded from std::random_device.
void GenerateSwapPairs(unsigned char* work);

// Two upper-case hexadecimal digits per byte, high nibble first, into out[0, 2 * count); no NUL.
void HexEncodeBytes(char* out, const unsigned char* bytes, int count);

// Hexadecimal of the bytes before the first NUL within capacity. Returns 0, or -2 (leaving out
// empty) when there are no such bytes or no NUL within capacity.
int HexEncodeText(const unsigned char* bytes, int capacity, std::string& out);

// text holds the NUL-terminated password on entry and the hexadecimal encoding on return; it must
// hold kScrambledTextCapacity bytes. work is a 100-byte scratch area (wiped before return).
// Returns kScrambleOk, or kScrambleInvalid for a null argument or a password over 45 bytes (text is
// then untouched). The encoding never exceeds kMaxScrambledDigits digits.
int ScramblePassword(unsigned char* work, char* text);

// Convenience form: the encoding of password in hex. Same results.
int ScramblePassword(const std::string& password, std::string& hex);

// Decodes a ScramblePassword text in place back to the password. Results: 1 done, 2 a pair byte
// is invalid, 3 the pad count is above 15, 4 the text is too short for its pad count, 5 not an
// even-length hexadecimal text or longer than 100 digits (text left unchanged).
int UnscramblePassword(char* text);

}  // namespace config

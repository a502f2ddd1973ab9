#include "device_client/core/config/password_scramble.h"

#include <cstring>
#include <mutex>
#include <random>

#include "device_client/core/wire_layout.h"

namespace config {
namespace {

// One private generator for the permutation, the pad count and the pad bytes, seeded once from
// the system's entropy source: two encodings made in the same second differ.
std::mt19937& Generator() {
  static std::mt19937 gen = [] {
    std::random_device rd;
    std::seed_seq seq{rd(), rd(), rd(), rd(), rd(), rd(), rd(), rd()};
    return std::mt19937(seq);
  }();
  return gen;
}
std::mutex g_generator_mutex;

unsigned Draw(unsigned bound) {  // uniform in [0, bound)
  std::lock_guard<std::mutex> lock(g_generator_mutex);
  return std::uniform_int_distribution<unsigned>(0, bound - 1)(Generator());
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

void Wipe(void* p, std::size_t n) {
  volatile unsigned char* b = static_cast<volatile unsigned char*>(p);
  for (std::size_t i = 0; i < n; ++i) b[i] = 0;
}

}  // namespace

unsigned char SwapBits(unsigned char byte, int a, int b) {
  const int bit_a = (byte >> a) & 1;
  const int bit_b = (byte >> b) & 1;
  if (bit_a == bit_b) return byte;
  return static_cast<unsigned char>(byte ^ ((1u << a) | (1u << b)));
}

unsigned char ApplySwaps(const unsigned char pairs[4], unsigned char byte) {
  for (int i = 0; i < 4; ++i) {
    byte = SwapBits(byte, pairs[i] & 0x07, (pairs[i] >> 4) & 0x07);
  }
  return byte;
}

void GenerateSwapPairs(unsigned char* work) {
  unsigned char list[8] = {0, 1, 2, 3, 4, 5, 6, 7};
  unsigned n = 8;
  for (int k = 0; k < 8; ++k) {
    const unsigned r = Draw(n);
    work[k] = list[r];
    if (r != n - 1) list[r] = list[n - 1];
    --n;
  }
  work[8] = static_cast<unsigned char>(Draw(kMaxPadCount + 1));
}

void HexEncodeBytes(char* out, const unsigned char* bytes, int count) {
  static const char kDigits[] = "0123456789ABCDEF";
  for (int i = 0; i < count; ++i) {
    out[2 * i] = kDigits[bytes[i] >> 4];
    out[2 * i + 1] = kDigits[bytes[i] & 0x0F];
  }
}

int HexEncodeText(const unsigned char* bytes, int capacity, std::string& out) {
  out.clear();
  if (bytes == nullptr || capacity < 1) return -2;
  int count = 0;
  while (count < capacity && bytes[count] != 0) ++count;
  if (count == 0 || count == capacity) return -2;
  out.resize(static_cast<std::size_t>(count) * 2);
  HexEncodeBytes(out.data(), bytes, count);
  return 0;
}

int ScramblePassword(unsigned char* work, char* text) {
  if (work == nullptr || text == nullptr) return kScrambleInvalid;
  const std::size_t len = strnlen(text, kMaxPasswordLength + 1);
  if (len > static_cast<std::size_t>(kMaxPasswordLength)) return kScrambleInvalid;

  unsigned char perm[9];
  GenerateSwapPairs(perm);
  // Keep the block within the box's 100 digits: a long password leaves less room for padding.
  const int room = kMaxPasswordLength - static_cast<int>(len);
  const int pad = room >= kMaxPadCount ? perm[8] : static_cast<int>(Draw(static_cast<unsigned>(room) + 1));

  unsigned char pairs[4];
  for (int i = 0; i < 4; ++i) pairs[i] = static_cast<unsigned char>((perm[2 * i] << 4) | perm[2 * i + 1]);
  std::memcpy(work, pairs, 4);
  work[4] = ApplySwaps(pairs, static_cast<unsigned char>(0xA0 | pad));
  for (std::size_t j = 0; j < len; ++j) {
    work[5 + j] = ApplySwaps(pairs, static_cast<unsigned char>(text[j]));
  }
  for (int j = 0; j < pad; ++j) {
    work[5 + len + j] = ApplySwaps(pairs, static_cast<unsigned char>(Draw(256)));
  }
  const std::size_t total = 5 + len + static_cast<std::size_t>(pad);
  work[total] = 0;
  for (int i = 0; i < 4; ++i) {
    work[i] = static_cast<unsigned char>(ApplySwaps(wire::kScrambleFixedPairs, work[i]) | 0x08);
  }
  HexEncodeBytes(text, work, static_cast<int>(total));
  text[2 * total] = '\0';
  Wipe(work, kScrambleWorkSize);
  Wipe(perm, sizeof perm);
  return kScrambleOk;
}

int ScramblePassword(const std::string& password, std::string& hex) {
  hex.clear();
  if (password.size() > static_cast<std::size_t>(kMaxPasswordLength) ||
      password.find('\0') != std::string::npos) {
    return kScrambleInvalid;
  }
  unsigned char work[kScrambleWorkSize];
  char text[kScrambledTextCapacity] = {};
  std::memcpy(text, password.data(), password.size());
  const int rc = ScramblePassword(work, text);
  if (rc == kScrambleOk) hex = text;
  Wipe(text, sizeof text);
  return rc;
}

int UnscramblePassword(char* text) {
  if (text == nullptr) return 5;
  // Anything over 100 digits is no encoding of ours: refuse it rather than pass it on as is.
  const std::size_t n = strnlen(text, kScrambledTextCapacity);
  if (n > static_cast<std::size_t>(kMaxScrambledDigits) || n % 2 != 0 || n < 10) {
    return n < 10 && n % 2 == 0 ? 4 : 5;
  }
  for (std::size_t i = 0; i < n; ++i) {
    if (HexValue(text[i]) < 0) return 5;
  }
  unsigned char block[kScrambleWorkSize];
  const std::size_t count = n / 2;
  for (std::size_t i = 0; i < count; ++i) {
    block[i] = static_cast<unsigned char>(HexValue(text[2 * i]) << 4 | HexValue(text[2 * i + 1]));
  }
  unsigned char pairs[4];
  for (int i = 0; i < 4; ++i) {
    const unsigned char p = ApplySwaps(wire::kScrambleFixedPairs, block[i]) & 0x7F;
    if (p & 0x08) {
      Wipe(block, sizeof block);
      return 2;
    }
    pairs[i] = p;
  }
  const int pad = ApplySwaps(pairs, block[4]) & 0x5F;
  if (pad > kMaxPadCount) {
    Wipe(block, sizeof block);
    return 3;
  }
  const long len = static_cast<long>(count) - pad - 5;
  if (len < 0) {
    Wipe(block, sizeof block);
    return 4;
  }
  for (long j = 0; j < len; ++j) text[j] = static_cast<char>(ApplySwaps(pairs, block[5 + j]));
  text[len] = '\0';
  Wipe(block, sizeof block);
  return 1;
}

}  // namespace config

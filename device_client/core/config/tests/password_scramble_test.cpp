#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "device_client/core/config/password_scramble.h"
#include "device_client/core/wire_layout.h"

namespace {

int HexDigit(char c) { return c <= '9' ? c - '0' : c - 'A' + 10; }

std::vector<unsigned char> FromHex(const std::string& hex) {
  std::vector<unsigned char> out;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
    out.push_back(static_cast<unsigned char>(HexDigit(hex[i]) << 4 | HexDigit(hex[i + 1])));
  }
  return out;
}

TEST(PasswordScramble, SwapPrimitives) {
  EXPECT_EQ(0x80, config::SwapBits(0x08, 3, 7));
  EXPECT_EQ(0x88, config::SwapBits(0x88, 3, 7));  // equal bits: unchanged
  EXPECT_EQ(0x00, config::SwapBits(0x00, 0, 5));
  EXPECT_EQ(0x02, config::SwapBits(0x01, 0, 1));
  const unsigned char pairs[4] = {0x01, 0x23, 0x45, 0x67};
  EXPECT_EQ(0xAA, config::ApplySwaps(pairs, 0x55));
  // The fixed key pairs disjoint bits, so it is its own inverse, and bit 3 maps to bit 7.
  for (int b = 0; b < 256; ++b) {
    const auto v = static_cast<unsigned char>(b);
    EXPECT_EQ(v, config::ApplySwaps(wire::kScrambleFixedPairs,
                                    config::ApplySwaps(wire::kScrambleFixedPairs, v)));
  }
  EXPECT_EQ(0x80, config::ApplySwaps(wire::kScrambleFixedPairs, 0x08));
}

TEST(PasswordScramble, GenerateSwapPairsGivesAPermutationAndAPadCount) {
  unsigned char work[config::kScrambleWorkSize] = {};
  std::vector<bool> pads_seen(16, false);
  for (int round = 0; round < 400; ++round) {
    config::GenerateSwapPairs(work);
    std::vector<bool> seen(8, false);
    for (int i = 0; i < 8; ++i) {
      ASSERT_LT(work[i], 8);
      EXPECT_FALSE(seen[work[i]]);
      seen[work[i]] = true;
    }
    ASSERT_LE(work[8], 15);
    pads_seen[work[8]] = true;
  }
  for (int p = 0; p < 16; ++p) EXPECT_TRUE(pads_seen[p]) << p;
}

TEST(PasswordScramble, EncodingShapeAndHeader) {
  for (const std::string& pw : std::vector<std::string>{"", "secret", std::string(45, 'z')}) {
    SCOPED_TRACE(pw.size());
    std::string hex;
    ASSERT_EQ(0, config::ScramblePassword(pw, hex));
    ASSERT_EQ(0u, hex.size() % 2);
    const std::size_t bytes = hex.size() / 2;
    ASSERT_GE(bytes, 5 + pw.size());
    ASSERT_LE(bytes, 5 + pw.size() + 15);
    for (char c : hex) EXPECT_TRUE((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F')) << c;
    // Recover the random pairs and check the header byte: top nibble A, low nibble the pad count.
    const auto block = FromHex(hex);
    unsigned char pairs[4];
    for (int i = 0; i < 4; ++i) {
      EXPECT_EQ(0x80, config::ApplySwaps(wire::kScrambleFixedPairs, block[i]) & 0x80);
      pairs[i] = config::ApplySwaps(wire::kScrambleFixedPairs, block[i]) & 0x7F;
    }
    const unsigned char header = config::ApplySwaps(pairs, block[4]);
    EXPECT_EQ(0xA0, header & 0xF0);
    EXPECT_EQ(bytes - 5 - pw.size(), static_cast<std::size_t>(header & 0x0F));
  }
}

TEST(PasswordScramble, RoundTripForManyPasswords) {
  std::mt19937 gen(12345);
  std::vector<std::string> passwords = {"", "a", "secret", "P@ss w0rd!", std::string(45, '\xff'),
                                        std::string(44, 'k')};
  for (int i = 0; i < 300; ++i) {
    std::string pw(gen() % 46, ' ');
    for (auto& c : pw) c = static_cast<char>(1 + gen() % 255);
    passwords.push_back(pw);
  }
  for (const auto& pw : passwords) {
    SCOPED_TRACE(pw.size());
    unsigned char work[config::kScrambleWorkSize];
    char text[config::kScrambledTextCapacity] = {};
    std::memcpy(text, pw.data(), pw.size());
    ASSERT_EQ(0, config::ScramblePassword(work, text));
    EXPECT_EQ(1, config::UnscramblePassword(text));
    EXPECT_EQ(pw, std::string(text));
  }
}

TEST(PasswordScramble, EveryEncodingFitsOneHundredDigits) {
  // The pad range shrinks for long passwords; every length up to 45 still gets some padding
  // choice and never passes 100 digits, and the longest password still round-trips.
  for (std::size_t len = 0; len <= 45; ++len) {
    SCOPED_TRACE(len);
    std::size_t longest = 0;
    for (int round = 0; round < 200; ++round) {
      std::string hex;
      ASSERT_EQ(0, config::ScramblePassword(std::string(len, 'q'), hex));
      ASSERT_LE(hex.size(), 100u);
      longest = std::max(longest, hex.size());
    }
    EXPECT_EQ(longest, std::min<std::size_t>(100, 2 * (5 + len + 15)));
  }
}

TEST(PasswordScramble, EncodingsDifferFromCallToCall) {
  // A fresh permutation and pad each time: a run of encodings of one password is not constant.
  std::string first;
  ASSERT_EQ(0, config::ScramblePassword("same", first));
  bool differs = false;
  for (int i = 0; i < 20 && !differs; ++i) {
    std::string next;
    ASSERT_EQ(0, config::ScramblePassword("same", next));
    differs = next != first;
  }
  EXPECT_TRUE(differs);
}

TEST(PasswordScramble, RefusesTooLongOrNull) {
  std::string hex = "x";
  EXPECT_EQ(-2, config::ScramblePassword(std::string(46, 'a'), hex));
  EXPECT_TRUE(hex.empty());
  unsigned char work[config::kScrambleWorkSize];
  char text[200] = {};
  std::memset(text, 'a', 46);
  EXPECT_EQ(-2, config::ScramblePassword(work, text));
  EXPECT_EQ(std::string(46, 'a'), std::string(text));  // untouched
  EXPECT_EQ(-2, config::ScramblePassword(nullptr, text));
  EXPECT_EQ(-2, config::ScramblePassword(work, nullptr));
}

TEST(PasswordScramble, UnscrambleFailures) {
  struct Case {
    std::string text;
    int rc;
  };
  // Block bytes: a pair byte whose bit 3 survives the fixed key, a header claiming 15 pad bytes
  // with too few bytes, an odd digit count, a non-hex digit, an over-long text.
  const std::vector<Case> cases = {
      {"0808088808", 2},                       // third pair byte decodes with bit 3 set
      {"080808082F", 4},                       // identity pairs; header 0x2F: pad 15, no room
      {"0808080840", 3},                       // header & 0x5F = 0x40: pad count 64
      {"080808082", 5},
      {"08080808ZZ", 5},
      {std::string(200, '8'), 5},
      {"08080808A0" + std::string(92, '4'), 5},  // a well-formed block of 51 bytes: 102 digits
      {"8888", 4},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    std::vector<char> buf(c.text.begin(), c.text.end());
    buf.push_back('\0');
    EXPECT_EQ(c.rc, config::UnscramblePassword(buf.data()));
    if (c.rc == 5) {
      EXPECT_EQ(c.text, std::string(buf.data()));  // refused texts stay as they were
    }
  }
  EXPECT_EQ(5, config::UnscramblePassword(nullptr));
  // Exactly 100 digits is the longest encoding: identity pairs, no pad, 45 password bytes.
  std::string longest = "08080808A0" + std::string(90, '4');
  EXPECT_EQ(1, config::UnscramblePassword(longest.data()));
  EXPECT_EQ(std::string(45, 'D'), std::string(longest.c_str()));
  // Identity pairs, no pad, password "AB".
  char ok[] = "08080808A04142";
  EXPECT_EQ(1, config::UnscramblePassword(ok));
  EXPECT_STREQ("AB", ok);
}

TEST(PasswordScramble, HexHelpers) {
  std::string out;
  const unsigned char ab[] = {'A', 'B', 0, 0, 0, 0, 0, 0, 0, 0};
  EXPECT_EQ(0, config::HexEncodeText(ab, 10, out));
  EXPECT_EQ("4142", out);
  EXPECT_EQ(-2, config::HexEncodeText(ab, 2, out));
  EXPECT_TRUE(out.empty());
  const unsigned char empty[] = {0, 1};
  EXPECT_EQ(-2, config::HexEncodeText(empty, 2, out));
  char buf[6] = {'-', '-', '-', '-', '-', '-'};
  const unsigned char bytes[] = {0x0F, 0xA0};
  config::HexEncodeBytes(buf, bytes, 2);
  EXPECT_EQ("0FA0--", std::string(buf, 6));
}

}  // namespace

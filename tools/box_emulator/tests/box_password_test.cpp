// Passwords as the client sends them: a scrambler written here from the protocol's description,
// and the box's decoder on the other end.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>

#include "tools/box_emulator/box_emulator.h"
#include "tools/box_emulator/password_decoder.h"
#include "tools/box_emulator/tests/raw_client.h"

namespace {

using namespace std::chrono_literals;
using box_emulator::PasswordDecodeResult;

std::uint8_t Swap(std::uint8_t b, int x, int y) {
  if (((b >> x) & 1) == ((b >> y) & 1)) return b;
  return static_cast<std::uint8_t>(b ^ (1 << x) ^ (1 << y));
}

std::uint8_t Pairs(const std::uint8_t* pairs, std::uint8_t b) {
  for (int i = 0; i < 4; ++i) b = Swap(b, pairs[i] & 0x0F, pairs[i] >> 4);
  return b;
}

// The client's encoding: a random bit permutation taken two by two as four swap pairs, a header
// 0xA0 | pad, the swapped password and pad bytes, the pairs hidden with the fixed pair key and
// bit 3 set, all as upper-case hex.
std::string Scramble(const std::string& password, std::mt19937& rng) {
  static const std::uint8_t kFixed[4] = {0x37, 0x16, 0x25, 0x04};
  int list[8] = {0, 1, 2, 3, 4, 5, 6, 7};
  int perm[8];
  for (int k = 0, n = 8; k < 8; ++k, --n) {
    const int r = static_cast<int>(rng() % static_cast<unsigned>(n));
    perm[k] = list[r];
    list[r] = list[n - 1];
  }
  // Long passwords get fewer pad bytes so that the block stays within 50 bytes; a password over
  // 45 bytes gets none and its block is longer than a box reads.
  const int room = std::max(0, 45 - static_cast<int>(password.size()));
  const int pad = static_cast<int>(rng() % static_cast<unsigned>(std::min(15, room) + 1));
  std::uint8_t pairs[4];
  for (int i = 0; i < 4; ++i) pairs[i] = static_cast<std::uint8_t>(perm[2 * i] << 4 | perm[2 * i + 1]);
  std::vector<std::uint8_t> block(pairs, pairs + 4);
  block.push_back(Pairs(pairs, static_cast<std::uint8_t>(0xA0 | pad)));
  for (unsigned char c : password) block.push_back(Pairs(pairs, c));
  for (int i = 0; i < pad; ++i) block.push_back(Pairs(pairs, static_cast<std::uint8_t>(rng())));
  for (int i = 0; i < 4; ++i) block[static_cast<std::size_t>(i)] = Pairs(kFixed, block[static_cast<std::size_t>(i)]) | 0x08;
  static const char* const kHex = "0123456789ABCDEF";
  std::string hex;
  for (std::uint8_t b : block) {
    hex += kHex[b >> 4];
    hex += kHex[b & 0x0F];
  }
  return hex;
}

TEST(BoxPassword, DecodesWhatTheClientScrambles) {
  std::mt19937 rng(12345);
  const std::string passwords[] = {"", "a", "secret", "pass word!", std::string(45, 'z'),
                                   "\x7F\x80\xFF" "hi"};
  for (const auto& p : passwords) {
    for (int round = 0; round < 20; ++round) {
      std::string out;
      ASSERT_EQ(box_emulator::UnscramblePassword(Scramble(p, rng), &out), PasswordDecodeResult::kDone);
      ASSERT_EQ(out, p);
    }
  }
}

TEST(BoxPassword, RefusesBrokenEncodings) {
  std::mt19937 rng(7);
  const std::string good = Scramble("abc", rng);
  std::string badPair = good;
  badPair[0] = 'F';  // top bit of pair byte 0 set: it unhides into bit 3
  const struct {
    std::string text;
    PasswordDecodeResult want;
  } cases[] = {
      {good.substr(0, 9), PasswordDecodeResult::kBadText},  // odd digit count
      {"ZZ" + good.substr(2), PasswordDecodeResult::kBadText},
      {std::string(200, 'A'), PasswordDecodeResult::kBadText},  // longer than a work area
      {Scramble(std::string(46, 'x'), rng), PasswordDecodeResult::kBadText},  // 102 digits
      {"00000000", PasswordDecodeResult::kTooShort},
      {badPair, PasswordDecodeResult::kBadPairByte},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    std::string out = "unchanged";
    EXPECT_EQ(box_emulator::UnscramblePassword(c.text, &out), c.want);
    EXPECT_EQ(out, "unchanged");
  }
}

TEST(BoxPassword, SetAndVerifyThroughTheBox) {
  box_emulator::BoxOptions o;
  o.restartWindow = 0ms;
  box_emulator::Box box(o);
  std::mt19937 rng(99);
  auto reply = box_test::Request(box.Address(), "9005:" + Scramble("n3w-Pass", rng) + "\n");
  ASSERT_EQ(reply.chunks.size(), 1u);
  EXPECT_EQ(reply.chunks[0].error, 0);
  EXPECT_EQ(box.Password(), "n3w-Pass");

  EXPECT_EQ(box_test::Request(box.Address(), "9036:" + Scramble("n3w-Pass", rng) + "\n").chunks.at(0).error, 0);
  EXPECT_NE(box_test::Request(box.Address(), "9036:" + Scramble("wrong", rng) + "\n").chunks.at(0).error, 0);
  // A broken encoding fails the command and keeps the password.
  EXPECT_NE(box_test::Request(box.Address(), "9005:XYZ\n").chunks.at(0).error, 0);
  EXPECT_EQ(box.Password(), "n3w-Pass");
  // So does an encoding past 100 digits, even one whose block is otherwise sound.
  EXPECT_NE(box_test::Request(box.Address(), "9005:" + Scramble(std::string(46, 'x'), rng) + "\n").chunks.at(0).error, 0);
  EXPECT_EQ(box.Password(), "n3w-Pass");
}

}  // namespace

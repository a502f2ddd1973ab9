#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "device_client/core/transport/text.h"

namespace {

struct NameCase {
  const char* label;
  const char* name;
  std::string expected;  // 16 bytes
};

class DeviceName : public ::testing::TestWithParam<NameCase> {};

TEST_P(DeviceName, PadsWith02AndEndsWith01) {
  char out[17];
  std::memset(out, 'Z', sizeof out);
  core::FormatDeviceName(GetParam().name, out);
  EXPECT_EQ(std::string(out, 16), GetParam().expected);
  EXPECT_EQ(out[16], '\0');
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DeviceName,
    ::testing::Values(NameCase{"three_chars", "BOX", std::string("BOX") + std::string(12, '\x02') + "\x01"},
                      NameCase{"fifteen_chars", "ABCDEFGHIJKLMNO", "ABCDEFGHIJKLMNO\x01"},
                      NameCase{"longer_is_cut", "ABCDEFGHIJKLMNOPQRS", "ABCDEFGHIJKLMNO\x01"},
                      NameCase{"empty", "", std::string(15, '\x02') + "\x01"}),
    [](const auto& p) { return std::string(p.param.label); });

TEST(DeviceName, NullNameUsesTheBufferItself) {
  char out[17] = "PRN1";
  core::FormatDeviceName(nullptr, out);
  EXPECT_EQ(std::string(out, 16), std::string("PRN1") + std::string(11, '\x02') + "\x01");
}

struct LocalCase {
  const char* label;
  const char* computer;
  int n;
  std::string expected;  // 16 bytes
};

class LocalName : public ::testing::TestWithParam<LocalCase> {};

TEST_P(LocalName, CutsTo14AddsSuffixAndBlanks) {
  char out[17];
  core::FormatLocalName(GetParam().computer, GetParam().n, out);
  EXPECT_EQ(std::string(out, 16), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LocalName,
    ::testing::Values(
        LocalCase{"short", "PC1", 5, std::string("PC1\x85") + std::string(11, ' ') + '\0'},
        LocalCase{"fifteen_loses_last", "ABCDEFGHIJKLMNO", 0, std::string("ABCDEFGHIJKLMN\x80") + '\0'},
        LocalCase{"last_index", "PC", 63, std::string("PC\xBF") + std::string(12, ' ') + '\0'}),
    [](const auto& p) { return std::string(p.param.label); });

struct HexCase {
  const char* text;
  std::vector<int> bytes;
};

class HexText : public ::testing::TestWithParam<HexCase> {};

TEST_P(HexText, ToBytes) {
  const auto& expected = GetParam().bytes;
  std::uint8_t out[8] = {};
  core::HexToBytes(GetParam().text, out, static_cast<int>(expected.size()));
  for (std::size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(out[i], expected[i]) << i;
}

INSTANTIATE_TEST_SUITE_P(Cases, HexText,
                         ::testing::Values(HexCase{"0452", {0x04, 0x52}},
                                           HexCase{"0404", {0x04, 0x04}},
                                           HexCase{"00c0ffee12ab", {0x00, 0xC0, 0xFF, 0xEE, 0x12, 0xAB}},
                                           HexCase{"00C0FFEE12AB", {0x00, 0xC0, 0xFF, 0xEE, 0x12, 0xAB}},
                                           // a bad digit counts 0xFF: 0xFF * 16 + 1 kept to 8 bits
                                           HexCase{"G1", {0xF1}},
                                           // text shorter than asked: the NUL and what follows
                                           // count as bad digits, nothing past it is read
                                           HexCase{"4", {0x3F, 0xEF}}));

TEST(HexDigit, Values) {
  const struct {
    char c;
    int value;
  } cases[] = {{'0', 0}, {'9', 9}, {'A', 10}, {'F', 15}, {'a', 10}, {'f', 15},
               {'G', 0xFF}, {'g', 0xFF}, {' ', 0xFF}, {'\0', 0xFF}, {'/', 0xFF}, {':', 0xFF}};
  for (const auto& c : cases) EXPECT_EQ(core::HexDigitValue(c.c), c.value) << c.c;
}

TEST(HexFormat, BytesNodesAndIpxAddresses) {
  const std::uint8_t two[] = {0x00, 0xAB};
  char text[32];
  EXPECT_EQ(core::BytesToHex(two, text, 2), 4);
  EXPECT_STREQ(text, "00AB");
  char pair[2];
  core::ByteToHex(0x5C, pair);
  EXPECT_EQ(std::string(pair, 2), "5C");
  const std::uint8_t node[6] = {0x00, 0xC0, 0x02, 0xAB, 0xCD, 0xEF};
  const std::uint8_t net[4] = {0x00, 0x00, 0x12, 0x34};
  core::FormatNodeHex(text, node);
  EXPECT_STREQ(text, "00C002ABCDEF");
  core::FormatIpxAddress(text, net, node);
  EXPECT_STREQ(text, "00001234.00C002ABCDEF");
}

TEST(BindIp, KeepsAtMostTheCallersCount) {
  std::uint8_t all[64][4];
  int count = 0;
  ASSERT_TRUE(core::EnumBindIp(all, 64, &count));
  ASSERT_GE(count, 1);  // at least the loopback address
  // Non-loopback addresses come first.
  bool seenLoopback = false;
  for (int i = 0; i < count; ++i) {
    bool loopback = all[i][0] == 127;
    EXPECT_FALSE(seenLoopback && !loopback) << "address " << i << " after a loopback one";
    seenLoopback = seenLoopback || loopback;
  }
  std::uint8_t one[1][4];
  int limited = 0;
  ASSERT_TRUE(core::EnumBindIp(one, 1, &limited));
  EXPECT_EQ(limited, 1);
  EXPECT_EQ(std::memcmp(one[0], all[0], 4), 0);
  int none = 7;
  ASSERT_TRUE(core::EnumBindIp(one, 0, &none));
  EXPECT_EQ(none, 0);
}

}  // namespace

// The wireless texts: the box's link status, its regulatory domains and their channels, the
// station name, the key-byte filter and the joining of key bytes, the digit test and the hex text.
#include "console_pages/wireless_text.h"

#include <gtest/gtest.h>

namespace {

using namespace wireless_text;

TEST(LinkStatusText, EveryTagAndBothPercentages) {
  LinkStatus s;
  ApplyLinkStatus("STATE:Connected;CHANNEL:6;TXRATE:11;TX:120;RX:300;QUALITY:Good (80%);STRENGTH:Fair (45%);", s);
  EXPECT_EQ(s.state, "Connected");
  EXPECT_EQ(s.channel, "6");
  EXPECT_EQ(s.txRate, "11");
  EXPECT_EQ(s.tx, "120");
  EXPECT_EQ(s.rx, "300");
  EXPECT_EQ(s.quality, "Good (80%)");
  EXPECT_EQ(s.strength, "Fair (45%)");
  EXPECT_EQ(s.qualityPercent, 80);
  EXPECT_EQ(s.strengthPercent, 45);
}

TEST(LinkStatusText, PartialAndOddTexts) {
  struct Case {
    const char* text;
    const char* tx;
    const char* txRate;
    const char* quality;
    int qualityPercent;  // starts at 33
  };
  const Case cases[] = {
      // "TX:" is not found inside "TXRATE:".
      {"TXRATE:54;", "old", "54", "old", 33},
      // A last token without ";" is empty.
      {"TX:5;QUALITY:Good (70%)", "5", "old", "", 33},
      {"QUALITY:Good (70%", "old", "old", "", 33},
      // Without "(" the percentage stays; without "%" or digits it is 0.
      {"QUALITY:Good;", "old", "old", "Good", 33},
      {"QUALITY:Good (70;", "old", "old", "Good (70", 0},
      {"QUALITY:Good (x%);", "old", "old", "Good (x%)", 0},
      // Numbers beyond the bar's range stop at its end.
      {"QUALITY:(99999999999999999999%);", "old", "old", "(99999999999999999999%)", 100},
      {"", "old", "old", "old", 33},
      // The first occurrence counts.
      {"TX:1;TX:2;", "1", "old", "old", 33},
  };
  for (const Case& c : cases) {
    LinkStatus s;
    s.tx = s.txRate = s.quality = "old";
    s.qualityPercent = 33;
    ApplyLinkStatus(c.text, s);
    EXPECT_EQ(s.tx, c.tx) << c.text;
    EXPECT_EQ(s.txRate, c.txRate) << c.text;
    EXPECT_EQ(s.quality, c.quality) << c.text;
    EXPECT_EQ(s.qualityPercent, c.qualityPercent) << c.text;
  }
}

TEST(DomainText, NamesAndChannelsOfDomainLists) {
  auto range = [](int a, int b) {
    std::vector<std::string> v;
    for (int i = a; i <= b; ++i) v.push_back(std::to_string(i));
    return v;
  };
  struct Case {
    const char* list;
    const char* names;
    std::vector<std::string> channels;
  };
  std::vector<std::string> japanTwice = range(1, 14);
  japanTwice.push_back("14");
  const Case cases[] = {
      {"10,20", "USA/Canada", range(1, 11)},
      {"31,32", "Spain/France", range(10, 13)},
      {"41,40", "Japan (All)/Japan", japanTwice},
      {"30,0,20", "Most of Europe, Australia", range(1, 13)},
      {"10,20,30,40", "USA/Canada/Most of Europe, Australia", range(1, 13)},
      {"", "Unknown", range(1, 14)},
      {"99", "Unknown", range(1, 14)},
      {"abc,40", "Unknown/Japan", japanTwice},
      {"40", "Japan", {"14"}},
  };
  for (const Case& c : cases) {
    const DomainChannels d = ChannelsOfDomains(ParseDomainList(c.list));
    EXPECT_EQ(d.names, c.names) << c.list;
    EXPECT_EQ(d.channels, c.channels) << c.list;
  }
  EXPECT_EQ(ParseDomainList("10,20,30,40"), (std::array<int, 3>{10, 20, 30}));
  EXPECT_EQ(ParseDomainList("99999999999999999999"), (std::array<int, 3>{1000000, 0, 0}));
}

TEST(StationText, PrefixAndPairs) {
  struct Case {
    const char* defaultName;
    const char* prefix;
    const char* station;
  };
  const Case cases[] = {
      {"KL1A2B3C", "02A7C4", "02-A7-C4-1A-2B-3C"},
      {"kl1a2b3c", "02a7c4", "02-A7-C4-1A-2B-3C"},
      {"KL123456", "", "12-34-56-56-56-56"},
      {"KL123456", "0011223344", "00-11-22-12-34-56"},
      {"AB", "", "AB-AB-AB-AB-AB-AB"},
      {"", "", ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FormatStationName(DefaultStationName(c.defaultName, c.prefix), "-"), c.station) << c.defaultName;
  }
}

TEST(KeyText, FilterAndPad) {
  struct Case {
    const char* typed;
    const char* kept;
    bool clean;
  };
  const Case cases[] = {{"1g", "1", false}, {"a:", "a:", true}, {"F-", "F-", true}, {"\n7", "7", false}, {"", "", true}};
  for (const Case& c : cases) {
    std::string t = c.typed;
    EXPECT_EQ(FilterKeyText(t), c.clean) << c.typed;
    EXPECT_EQ(t, c.kept);
  }
  for (auto [in, out] : {std::pair{"", "00"}, {"7", "07"}, {"ab", "ab"}, {"abc", "abc"}}) {
    std::string t = in;
    PadKeyByte(t);
    EXPECT_EQ(t, out);
  }
}

TEST(KeyText, SixtyFourAndOneTwentyEightBitLayouts) {
  std::array<std::string, kKeyByteEdits> bytes;
  for (int i = 0; i < kKeyByteEdits; ++i) bytes[static_cast<std::size_t>(i)] = std::to_string(i % 10);
  bytes[3] = "aB";
  const WepKeys short64 = JoinWepKeys(bytes, 5);
  EXPECT_EQ(short64.key1, "000102aB04");
  EXPECT_EQ(short64.key2, "0506070809");
  EXPECT_EQ(short64.key3, "0001020304");
  EXPECT_EQ(short64.key4, "0506070809");
  const WepKeys long128 = JoinWepKeys(bytes, 13);
  EXPECT_EQ(long128.key1, "000102aB040506070809000102");
  EXPECT_EQ(long128.key1.size(), 26u);
  EXPECT_EQ(long128.key2, "");
  EXPECT_EQ(long128.key4, "");
  // Empty edits pad to zeros; an over-long text is cut to the key's width.
  std::array<std::string, kKeyByteEdits> odd;
  odd[0] = "123";
  EXPECT_EQ(JoinWepKeys(odd, 5).key1, "1230000000");
  EXPECT_EQ(JoinWepKeys(odd, 13).key1, std::string("123") + std::string(23, '0'));
}

TEST(HexText, AppendHexBytesReplacesTheText) {
  std::string out = "stale";
  const unsigned char bytes[] = {0x00, 0x0A, 0xFF, 0x7B};
  AppendHexBytes(bytes, 4, out);
  EXPECT_EQ(out, "000AFF7B");
  AppendHexBytes(bytes, 0, out);
  EXPECT_EQ(out, "");
}

}  // namespace

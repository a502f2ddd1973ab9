#include <gtest/gtest.h>

#include <string>

#include "device_client/settings/address_rules.h"
#include "device_client/settings/com_method.h"

namespace {

using std::string;

TEST(ComMethodTextChecks, EachCheckAcceptsOnlyItsCharacters) {
  struct Case {
    string text;
    int printable, hex, decimal, digitsAndDots, decimalNumber;
  };
  const Case cases[] = {
      {"", 1, 1, 1, 1, 0},
      {"~", 1, 0, 0, 0, 1},
      {string(1, '\x7F'), 1, 0, 0, 0, 1},
      {"a\tb", 0, 0, 0, 0, 1},
      {string("x\x80"), 0, 0, 0, 0, 1},
      {string("\xFF"), 0, 0, 0, 0, 1},
      {string("ok\0", 3), 0, 0, 0, 0, 1},
      {"Name 01", 1, 0, 0, 0, 1},
      {"0123456789", 1, 1, 1, 1, 1},
      {"09afAF", 1, 1, 0, 0, 1},
      {"0g", 1, 0, 0, 0, 1},
      {"1.5", 1, 0, 0, 1, 1},
      {".5", 1, 0, 0, 1, 1},
      {"1.", 1, 0, 0, 1, 0},
      {"1.2.3", 1, 0, 0, 1, 0},
      {"192.168.0.1", 1, 0, 0, 1, 0},
      {"abc", 1, 1, 0, 0, 1},
      {"xyz", 1, 0, 0, 0, 1},
      {"-12", 1, 0, 0, 0, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("text '" + c.text + "'");
    EXPECT_EQ(CComMethod::IsPrintableText(c.text), c.printable);
    EXPECT_EQ(CComMethod::IsHexText(c.text), c.hex);
    EXPECT_EQ(CComMethod::IsDecimalText(c.text), c.decimal);
    EXPECT_EQ(CComMethod::IsDigitText(c.text), c.decimal);
    EXPECT_EQ(CComMethod::IsDigitsAndDots(c.text), c.digitsAndDots);
    EXPECT_EQ(CComMethod::IsDecimalNumber(c.text), c.decimalNumber);
  }
}

TEST(ComMethodTextChecks, PrintableRangeIsDecidedOnTheByteValue) {
  for (int byte = 0; byte < 256; ++byte) {
    const string text(1, static_cast<char>(byte));
    EXPECT_EQ(CComMethod::IsPrintableText(text), byte >= 0x20 && byte <= 0x7F ? 1 : 0) << byte;
  }
}

TEST(ComMethodTextEdits, EditsChangeTheTextInPlace) {
  struct Case {
    string text, removeSpaces, stripZeros, normalized;
  };
  const Case cases[] = {
      {" 0 07", "007", " 0 07", "7"},
      {"   ", "", "   ", "0"},
      {"000", "000", "0", "0"},
      {"", "", "", "0"},
      {"0", "0", "0", "0"},
      {"0010", "0010", "10", "10"},
      {"1 2 3", "123", "1 2 3", "123"},
      {"00 1", "001", " 1", "1"},
      {"0.5", "0.5", ".5", ".5"},
      {"a\tb", "a\tb", "a\tb", "a\tb"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("text '" + c.text + "'");
    string s = c.text;
    CComMethod::RemoveSpaces(s);
    EXPECT_EQ(s, c.removeSpaces);
    s = c.text;
    CComMethod::StripLeadingZeros(s);
    EXPECT_EQ(s, c.stripZeros);
    s = c.text;
    CComMethod::NormalizeNumberText(s);
    EXPECT_EQ(s, c.normalized);
  }
}

TEST(ComMethodSplitIpAddress, CutsAtTheThreeDotsAndRefusesOtherShapes) {
  struct Case {
    string text;
    int result;
    string a, b, c, d;
  };
  const Case cases[] = {
      {"192.168.0.1", 1, "192", "168", "0", "1"},
      {"1.2.3.4", 1, "1", "2", "3", "4"},
      {"a.bc.d.ef", 1, "a", "bc", "d", "ef"},
      {" 1. 2.3 .4", 1, " 1", " 2", "3 ", "4"},
      {"1.2.3.4.5", 0, "", "", "", ""},  // an address has exactly four parts
      {"1.2.3.4.", 0, "", "", "", ""},
      {".1.2.3", 0, "", "", "", ""},
      {"1.2.3.", 0, "", "", "", ""},
      {"1..2.3", 0, "", "", "", ""},
      {"1.2..3", 0, "", "", "", ""},
      {"1.2.3", 0, "", "", "", ""},
      {"1234", 0, "", "", "", ""},
      {"", 0, "", "", "", ""},
      {"...", 0, "", "", "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("text '" + c.text + "'");
    string a = "keep", b = "keep", cc = "keep", d = "keep";
    EXPECT_EQ(CComMethod::SplitIpAddress(c.text, a, b, cc, d), c.result);
    if (c.result == 1) {
      EXPECT_EQ(a, c.a);
      EXPECT_EQ(b, c.b);
      EXPECT_EQ(cc, c.c);
      EXPECT_EQ(d, c.d);
    } else {
      EXPECT_EQ(a + b + cc + d, "keepkeepkeepkeep");
    }
  }
}

}  // namespace

namespace {

TEST(ComMethodAddresses, OctetsAreReadAsPlainDecimal) {
  struct Case {
    std::string text;
    int result, value;
  } cases[] = {
      {"0", CComMethod::kOctetOk, 0},
      {"7", CComMethod::kOctetOk, 7},
      {"255", CComMethod::kOctetOk, 255},
      {"010", CComMethod::kOctetOk, 10},  // never octal
      {"0255", CComMethod::kOctetOk, 255},
      {"", CComMethod::kOctetEmpty, -9},
      {"256", CComMethod::kOctetOutOfRange, -9},
      {"99999999999999999999999", CComMethod::kOctetOutOfRange, -9},
      {"+1", CComMethod::kOctetNotDecimal, -9},
      {"-1", CComMethod::kOctetNotDecimal, -9},
      {" 7", CComMethod::kOctetNotDecimal, -9},
      {"0x1", CComMethod::kOctetNotDecimal, -9},
      {"1.", CComMethod::kOctetNotDecimal, -9},
      {std::string("1\0", 2), CComMethod::kOctetNotDecimal, -9},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("octet '" + c.text + "'");
    int value = -9;
    EXPECT_EQ(CComMethod::ReadOctet(c.text, value), c.result);
    EXPECT_EQ(value, c.value);
  }
}

TEST(ComMethodAddresses, DottedAddressesHaveExactlyFourDecimalOctets) {
  struct Case {
    std::string text;
    bool ok;
    std::string joined;
  } cases[] = {
      {"192.168.0.1", true, "192.168.0.1"},
      {"0.0.0.0", true, "0.0.0.0"},
      {"255.255.255.255", true, "255.255.255.255"},
      {"010.001.000.009", true, "10.1.0.9"},
      {"1.2.3", false, ""},
      {"1.2.3.4.5", false, ""},
      {"1.2.3.4.", false, ""},
      {".1.2.3", false, ""},
      {"1..2.3", false, ""},
      {"1.2.3.256", false, ""},
      {"1.2.3.-4", false, ""},
      {"+1.2.3.4", false, ""},
      {"1.2.3.4 ", false, ""},
      {" 1.2.3.4", false, ""},
      {"0x7f.0.0.1", false, ""},
      {"0001.2.3.4", false, ""},
      {"", false, ""},
      {std::string("1.2.3.4\0", 8), false, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("address '" + c.text + "'");
    int octets[4] = {-1, -1, -1, -1};
    EXPECT_EQ(CComMethod::ParseIpAddress(c.text, octets), c.ok ? 1 : 0);
    if (c.ok) {
      EXPECT_EQ(CComMethod::JoinOctets(octets), c.joined);
    } else {
      EXPECT_EQ(octets[0], -1);
    }
  }
  EXPECT_EQ(CComMethod::ParseIpAddress("1.2.3.4", nullptr), 0);
}

// The one rule of a box's address, mask and gateway: checked in that order, a text that is no
// address breaking its own field's rule.
TEST(AddressRules, TheFirstBrokenRuleInTheOrderAddressMaskGateway) {
  using address_rules::Broken;
  struct Case {
    const char *ip, *mask, *gateway;
    Broken broken;
  };
  const Case cases[] = {
      {"192.168.1.20", "255.255.255.0", "192.168.1.1", Broken::kNone},
      {"192.168.1.20", "255.255.255.0", "0.0.0.0", Broken::kDifferentSubnets},
      {"10.0.0.5", "255.255.255.255", "10.0.0.5", Broken::kNone},
      {"no address", "junk", "junk", Broken::kIpAddress},
      {"10.0.0.0", "255.0.0.0", "10.0.0.1", Broken::kIpAddress},
      {"10.255.0.1", "255.0.0.0", "10.0.0.1", Broken::kIpAddress},
      {"10.0.0.5", "junk", "junk", Broken::kSubnetMask},
      {"10.0.0.5", "0.0.0.0", "10.0.0.1", Broken::kSubnetMask},
      {"10.0.0.5", "255.0.255.0", "10.0.0.1", Broken::kSubnetMask},
      {"10.0.0.5", "255.0.0.0", "junk", Broken::kGateway},
      {"10.0.0.5", "255.0.0.0", "10.0.0.255", Broken::kGateway},
      {"192.168.1.20", "255.255.252.0", "192.168.2.1", Broken::kNone},
      {"192.168.1.20", "255.255.255.0", "192.168.2.1", Broken::kDifferentSubnets},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.ip) + " " + c.mask + " " + c.gateway);
    EXPECT_EQ(address_rules::Check(address_rules::ReadAddress(c.ip), address_rules::ReadAddress(c.mask),
                                   address_rules::ReadAddress(c.gateway)),
              c.broken);
  }
  EXPECT_EQ(address_rules::ReadAddress("010.001.008.255"), std::optional<std::uint32_t>(0x0A0108FFu));
  EXPECT_EQ(address_rules::FormatAddress(0x0A0108FFu), "10.1.8.255");
}

}  // namespace

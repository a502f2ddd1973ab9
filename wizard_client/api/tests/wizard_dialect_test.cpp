// The wizard's reading of configuration text beside the console's, the device-information
// decoding with its model look-up, and the default texts: no box needed.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <set>
#include <sstream>
#include <string>

#include "device_client/core/config/config_parser.h"
#include "device_client/core/config/model_capabilities.h"
#include "device_client/core/wire_layout.h"
#include "platform/profile.h"
#include "platform/test_support/temp_root.h"
#include "wizard_client/api/wizard_key_table.h"
#include "wizard_client/api/wizard_utility.h"

namespace {

namespace pid = wire::pid;

struct Parsed {
  int rc = 0;
  config::DeviceConfigurationData base;
  wizard::WizardCacheExtras extras;
};

Parsed ParseConsole(const std::string& text) {
  Parsed p;
  config::ClearConfiguration(p.base);
  p.rc = config::ParseConfiguration(text.data(), static_cast<int>(text.size()), &p.base);
  return p;
}

Parsed ParseWizard(const std::string& text) {
  Parsed p;
  wizard::ClearWizardConfiguration(p.base, p.extras);
  p.rc = wizard::ParseWizardConfiguration(text.data(), static_cast<int>(text.size()),
                                          wizard::ParseTarget{&p.base, &p.extras});
  return p;
}

// One line read by both libraries: the result codes and what each stored, side by side.
struct DialectCase {
  const char* text;
  int consoleRc;
  int wizardRc;
  // What the field the line fills holds afterwards, in each library ("" when not compared).
  std::string (*console)(const Parsed&);
  std::string (*wizard)(const Parsed&);
  const char* consoleValue;
  const char* wizardValue;
};

std::string LF4(const Parsed& p) {
  return std::to_string(p.base.dsLogicalPrinter[3].bConvertLFToLFCR);
}
std::string Bcp1(const Parsed& p) {
  return std::to_string(p.base.dsAPPLETALK.bP1BinaryCommunicationProtocol);
}
std::string Extra5003(const Parsed& p) { return p.extras.netbeui.sz5003; }
std::string Extra5104(const Parsed& p) { return p.extras.netbeui.sz5104; }
std::string Macs(const Parsed& p) {
  std::string all;
  for (const auto& m : p.extras.wireless.MacAddressList) all += m + ";";
  return all;
}
std::string Domain(const Parsed& p) { return p.base.dsWireless.szDomainList; }
std::string Tcp(const Parsed& p) { return std::to_string(p.base.dsSystem.bTCPIPProtocol); }
std::string Response(const Parsed& p) { return std::to_string(p.base.dsNetBEUI.iResponseTime); }
std::string Names(const Parsed& p) {
  return p.base.dsSystem.szDeviceName + "|" + p.base.dsNetware.szPrintServerName + "|" +
         p.base.dsNetware.szDeviceName;
}
std::string Nothing(const Parsed&) { return ""; }

TEST(WizardDialect, KeysReadSideBySideWithTheConsole) {
  const DialectCase cases[] = {
      // Where the two differ.
      {"0163 : YES \r\n", -100, 0, LF4, LF4, "0", "1"},  // the wizard trims every switch
      {"5003 :Floor 2\r\n", 0, 0, Nothing, Extra5003, "", "Floor 2"},
      {"5104 : spaced \r\n", 0, 0, Nothing, Extra5104, "", " spaced "},
      {"7011 :0040011A2B3C0040011A2B3D\r\n", 0, 0, Nothing, Macs, "", "0040011A2B3C;0040011A2B3D;"},
      {"7011 :0040011A2B3C0\r\n", 0, 0, Nothing, Macs, "", "0040011A2B3C;"},
      // Where the wizard reads as the console does.
      {"3101 :BCP\r\n", 0, 0, Bcp1, Bcp1, "2", "2"},  // a box the console set stays readable
      {"3101 :yes\r\n", 0, 0, Bcp1, Bcp1, "1", "1"},
      {"7001 :US,EU\r\n", 0, 0, Domain, Domain, "US,EU", "US,EU"},
      {"0012 :enable\r\n", 0, 0, Tcp, Tcp, "1", "1"},
      {"0012 :on\r\n", -100, -100, Tcp, Tcp, "0", "0"},
      {"5002 :300\r\n", -100, -100, Response, Response, "0", "0"},
      {"5002 :0\r\n", 0, 0, Response, Response, "0", "0"},
      {"0001 :BOX1\r\n5003 :ABC\r\n", 0, 0, Names, Names, "BOX1|BOX1|BOX1", "BOX1|BOX1|BOX1"},
      {"12X4 :1\r\n", -1, -1, Nothing, Nothing, "", ""},
      {"Status line\r\n0012 :Disable", 0, 0, Tcp, Tcp, "0", "0"},
  };
  for (const DialectCase& c : cases) {
    SCOPED_TRACE(c.text);
    const Parsed console = ParseConsole(c.text);
    const Parsed wizard = ParseWizard(c.text);
    EXPECT_EQ(console.rc, c.consoleRc);
    EXPECT_EQ(wizard.rc, c.wizardRc);
    EXPECT_EQ(c.console(console), c.consoleValue);
    EXPECT_EQ(c.wizard(wizard), c.wizardValue);
  }
}

TEST(WizardDialect, ListsAppendAcrossLinesAndABadValueKeepsEarlierLines) {
  const Parsed p = ParseWizard(
      "7011 :AAAAAAAAAAAA\n0001 :KEPT\n7011 :BBBBBBBBBBBB\n5001 :maybe\n"
      "5000 :LOST\n");
  EXPECT_EQ(p.rc, -100);
  EXPECT_EQ(Macs(p), "AAAAAAAAAAAA;BBBBBBBBBBBB;");
  EXPECT_EQ(p.base.dsSystem.szDeviceName, "KEPT");
  EXPECT_EQ(p.base.dsNetBEUI.szDomainName, "");
  EXPECT_EQ(wizard::ParseWizardConfiguration(nullptr, 4, wizard::ParseTarget{}), -2);
}

TEST(WizardDialect, SplittingATextIntoItsLines) {
  struct Case {
    const char* text;
    int maxLength;
    int rc;
    std::list<std::string> lines;
  } cases[] = {
      {"0001 :A\r\n\r\n0012 :Enable\n", 24, 0, {"0001 :A", "0012 :Enable"}},
      {"0001 :A\n0012 :En", 16, 0, {"0001 :A"}},
      {"0001 :A\n0012", 100, -1, {"0001 :A"}},
      {"", 5, -2, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    std::list<std::string> lines;
    EXPECT_EQ(wizard::CPrintServerUtility::SplitConfigurationText(c.text, c.maxLength, lines),
              c.rc);
    EXPECT_EQ(lines, c.lines);
  }
  std::list<std::string> lines;
  EXPECT_EQ(wizard::CPrintServerUtility::SplitConfigurationText(nullptr, 4, lines), -2);
}

// A 164-byte block with the given model code and port bytes.
wizard::DevicePIDData Block(std::uint8_t b4, std::uint8_t b5, std::uint8_t b6, std::uint8_t b9,
                            std::uint8_t b10, std::uint8_t b11 = 0) {
  wizard::DevicePIDData d;
  d.data[pid::kModelCode] = b4;
  d.data[pid::kModelCode + 1] = b5;
  d.data[pid::kModelCode + 2] = b6;
  d.data[pid::kSerialPorts] = b9;
  d.data[pid::kParallelPorts] = b10;
  d.data[pid::kUsbPorts] = b11;
  return d;
}

class WizardDecode : public ::testing::Test {
 protected:
  platform::testing::TempRoot root_;
  wizard::CPrintServerUtility util_;
};

TEST_F(WizardDecode, ModelLookUpTellsAKnownModelFromARawCode) {
  struct Case {
    std::uint8_t code[3];
    int index;
    bool known;
    int strict;
  } cases[] = {
      {{0x00, 0x54, 0x10}, 0, true, 0},   {{0x00, 0x98, 0x00}, 38912, false, 11},
      {{0x00, 0x97, 0x00}, 23, true, 11}, {{0x00, 0xF2, 0x00}, 25, true, 25},
      {{0x05, 0x00, 0x00}, 5, false, -1},  // a raw code equal to an index is still unknown
      {{0x00, 0x00, 0x00}, 0, false, -1},
  };
  for (const Case& c : cases) {
    int index = -7;
    bool known = !c.known;
    EXPECT_EQ(wizard::CPrintServerUtility::MapModelCode(c.code, &index, &known), 0);
    EXPECT_EQ(index, c.index);
    EXPECT_EQ(known, c.known);
    EXPECT_EQ(wizard::CPrintServerUtility::MapModelCodeStrict(c.code), c.strict);
  }
  EXPECT_EQ(wizard::CPrintServerUtility::MapModelCode(nullptr, nullptr), -2);
}

TEST_F(WizardDecode, UnknownModelsAreNamedFromTheWizardSettingsOrByTheirCode) {
  ASSERT_TRUE(WritePrivateProfileString("NewModel", "563412", "PS-Next", "Setupwizard.ini"));
  std::string name;
  wizard::DevicePIDData block = Block(0x12, 0x34, 0x56, 0x01, 0xC0);
  auto* reply = reinterpret_cast<const char*>(block.data);
  wizard::DevicePIDData out;
  ASSERT_EQ(util_.DecodeDevicePID(reply, pid::kSize, &out), 0);
  EXPECT_STREQ(reinterpret_cast<const char*>(out.data + pid::kModelText), "PS-Next");
  block = Block(0x00, 0x98, 0x00, 0x01, 0xC0);
  ASSERT_EQ(util_.DecodeDevicePID(reinterpret_cast<const char*>(block.data), pid::kSize, &out), 0);
  EXPECT_STREQ(reinterpret_cast<const char*>(out.data + pid::kModelText), "  9800");
  // Two parallel ports and no serial port: index 16 whatever the code.
  block = Block(0x00, 0x98, 0x00, 0x00, 0x80);
  ASSERT_EQ(util_.DecodeDevicePID(reinterpret_cast<const char*>(block.data), pid::kSize, &out), 0);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(out.data + pid::kModelText)),
            ::CPrintServerUtility::ModelName(16));
  std::int32_t parallel = 0;
  std::memcpy(&parallel, out.data + pid::kDecodedParallel, sizeof parallel);
  EXPECT_EQ(parallel, 2);
  // A block shorter than the fields read is refused and the output left alone.
  out.data[0] = 0x5A;
  EXPECT_EQ(util_.DecodeDevicePID(reinterpret_cast<const char*>(block.data), 50, &out), -2);
  EXPECT_EQ(out.data[0], 0x5A);
  EXPECT_EQ(util_.GetModelName(Block(0x00, 0x98, 0x00, 0, 0), name), 0);
  EXPECT_EQ(name, "  9800");
}

// What a display name says of the ports, read from its brackets: "3 parallel", "1 serial",
// "USB", "token ring", "2 ports"; other words (wireless, pocket, ...) say nothing of them.
struct NamedPorts {
  bool bracketed = false;
  int parallel = 0;
  int serial = 0;
  int ports = -1;
  bool usb = false;
  bool tokenRing = false;
};

NamedPorts PortsNamedIn(const std::string& name) {
  NamedPorts n;
  const std::size_t open = name.rfind('(');
  const std::size_t close = name.rfind(')');
  if (open == std::string::npos || close == std::string::npos || close < open) return n;
  n.bracketed = true;
  std::stringstream inside(name.substr(open + 1, close - open - 1));
  std::string part;
  while (std::getline(inside, part, ',')) {
    if (!part.empty() && part[0] == ' ') part.erase(0, 1);
    const int count = std::atoi(part.c_str());
    const std::string word = part.substr(part.find_first_not_of("0123456789 "));
    if (word == "parallel") n.parallel = count;
    if (word == "serial") n.serial = count;
    if (word == "port" || word == "ports") n.ports = count;
    if (word == "USB") n.usb = true;
    if (word == "token ring") n.tokenRing = true;
  }
  return n;
}

// The name's port text agrees with the capability row of its model index: a port the row lacks is
// not named, and one it has is not left out.
void ExpectNameAgreesWithTheTable(const std::string& name, int index) {
  SCOPED_TRACE(name + " for index " + std::to_string(index));
  const config::ModelCapabilities& row = config::ModelCapabilitiesOf(index);
  const NamedPorts n = PortsNamedIn(name);
  ASSERT_TRUE(n.bracketed);
  EXPECT_EQ(n.usb, row.bUsbPort);
  EXPECT_EQ(n.tokenRing, row.bTokenRing);
  if (n.ports >= 0) {
    EXPECT_EQ(n.ports, row.iPhysicalPortCount);
    return;
  }
  // A USB port is the first printer port of its box.
  EXPECT_EQ(n.parallel + (n.usb ? 1 : 0), row.iParallelPorts);
  EXPECT_EQ(n.serial, row.bSerialPort ? 1 : 0);
}

TEST_F(WizardDecode, ModelNamesSayOfThePortsWhatTheCapabilityTableSays) {
  // Every code of the model-code tables (the code bytes they use, every middle byte), by both
  // name look-ups, with and without the default-name prefix of the alternative names and the
  // product id of index 24's second name.
  std::set<int> seen;
  for (const std::uint8_t b4 : {0x00, 0x01, 0x02, 0x05, 0x06, 0x49, 0x4F}) {
    for (int b5 = 0; b5 < 256; ++b5) {
      for (const std::uint8_t b6 :
           {0x00, 0x01, 0x0D, 0x10, 0x30, 0x4B, 0x52, 0x70, 0x73, 0x91, 0x92}) {
        wizard::DevicePIDData block = Block(b4, static_cast<std::uint8_t>(b5), b6, 0x01, 0x40);
        int index = -1;
        bool known = false;
        ASSERT_EQ(
            wizard::CPrintServerUtility::MapModelCode(block.data + pid::kModelCode, &index, &known),
            0);
        if (!known) continue;
        seen.insert(index);
        for (const char* prefix : {"PS", "KX"}) {
          for (const std::uint8_t product : {0x00, 0x08}) {
            std::memcpy(block.data + pid::kDefaultName, prefix, 2);
            block.data[pid::kProductId + 1] = product;
            std::string name;
            ASSERT_EQ(wizard::CPrintServerUtility::GetModelName(block, name), 0);
            if (name == ::CPrintServerUtility::ModelName(-1)) continue;  // the fallback says nothing
            ExpectNameAgreesWithTheTable(name, index);
            wizard::DevicePIDData out;
            ASSERT_EQ(util_.DecodeDevicePID(reinterpret_cast<const char*>(block.data), pid::kSize,
                                            &out),
                      0);
            const std::string decoded(reinterpret_cast<const char*>(out.data + pid::kModelText));
            if (decoded != ::CPrintServerUtility::ModelName(-1)) {
              ExpectNameAgreesWithTheTable(decoded, index);
            }
          }
        }
      }
    }
  }
  EXPECT_EQ(seen.size(), static_cast<std::size_t>(config::kModelTableRows));
  // Only the two indexes without a row of their own take the fallback.
  for (int index = 0; index < 24; ++index) {
    const std::string name = ::CPrintServerUtility::ModelName(index);
    if (index == 2 || index == 13) {
      EXPECT_EQ(name, ::CPrintServerUtility::ModelName(-1));
    } else {
      ExpectNameAgreesWithTheTable(name, index);
    }
  }
  // The console's browse list: its own text for index 16 counts the ports.
  for (int index = 0; index <= 21; ++index) {
    const std::string name = ::CPrintServerUtility::BrowseModelName(index);
    if (name != ::CPrintServerUtility::ModelName(-1)) ExpectNameAgreesWithTheTable(name, index);
  }
  EXPECT_EQ(PortsNamedIn(::CPrintServerUtility::BrowseModelName(16)).ports, 2);
  // Two parallel ports and no serial port decode as index 16 whatever the code says.
  wizard::DevicePIDData out;
  const wizard::DevicePIDData two = Block(0x00, 0x55, 0x10, 0x00, 0x80);
  ASSERT_EQ(util_.DecodeDevicePID(reinterpret_cast<const char*>(two.data), pid::kSize, &out), 0);
  ExpectNameAgreesWithTheTable(reinterpret_cast<const char*>(out.data + pid::kModelText), 16);
}

TEST_F(WizardDecode, DefaultTextsAreTheFactoryLinesWithoutCarriageReturns) {
  std::string text;
  wizard::LogicalPrinterConfigurationData lp;
  lp.szPhysicalPort = "P3";
  EXPECT_EQ(util_.DefaultLogicalPortConfiguration(8, &lp, 1, text), 0);
  EXPECT_EQ(text, "0240 :P1\n0241 :\n0242 :\n0243 :No\n");
  EXPECT_EQ(lp.szPhysicalPort, "");
  lp.szPhysicalPort = "P3";
  EXPECT_EQ(util_.DefaultLogicalPortConfiguration(9, &lp, 1, text), -1);
  EXPECT_EQ(lp.szPhysicalPort, "P3");

  wizard::SystemConfigurationData sys;
  text = "old";
  EXPECT_EQ(util_.DefaultSystemConfiguration(&sys, 0, text), 0);
  EXPECT_EQ(text, "");
  EXPECT_EQ(util_.DefaultSystemConfiguration(&sys, 1, text), -2);
  EXPECT_EQ(sys.bNetBEUIProtocol, 1);
  sys.szDeviceName = "LOBBY";
  EXPECT_EQ(util_.DefaultSystemConfiguration(&sys, 1, text), 0);
  EXPECT_EQ(text,
            "0001 :LOBBY\n0011 :ENABLE\n0012 :ENABLE\n0013 :ENABLE\n0014 :ENABLE\n"
            "0019 :ENABLE\n");
  sys.szDeviceName = "TWO\nLINES";
  EXPECT_EQ(util_.DefaultSystemConfiguration(&sys, 1, text), -2);

  wizard::SNMPConfigurationData snmp;
  ASSERT_EQ(util_.DefaultSNMPConfiguration(&snmp, 1, text), 0);
  EXPECT_EQ(text.substr(0, 57), "6000 :\n6001 :\n6011 :0.0.0.0\n6012 :Read Only\n6013 :wozlek\n");
  EXPECT_EQ(text.substr(text.size() - 14), "6151 :DISABLE\n");
  EXPECT_EQ(snmp.iT4_TrapSeverity, 1);
  wizard::TCPIPConfigurationData tcp;
  ASSERT_EQ(util_.DefaultTCPIPConfiguration(&tcp, 1, text), 0);
  EXPECT_EQ(text.find('\r'), std::string::npos);
  EXPECT_EQ(tcp.iTCPCountSessionRetry, 254);
}

}  // namespace

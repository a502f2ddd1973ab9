// The rules of the monitor's port dialogs: labels and indexes both ways for every layout, the
// Output Select list, suggested names, typed-name checks and the device-information decoding.
#include "print_monitor/port_dialog_rules.h"

#include <gtest/gtest.h>

#include <array>

namespace {

using namespace brandel;

TEST(PortDialogRules, EveryIndexOfEveryLayoutSurvivesLabelAndBack) {
  // Box types: 1 parallel; 3 parallel; 1 parallel + 1 USB; 2 USB; 3 parallel + serial; 1 USB + serial.
  for (std::uint8_t boxType : {1, 3, 5, 8, 19, 20}) {
    const BoxLayout b = LayoutOfBoxType(boxType);
    const int logical = b.parallel + b.usb == 1 ? 3 : 8;
    for (int index = 0; index < b.parallel + b.usb + b.serial + logical; ++index) {
      const std::string label = PortLabelFromIndex(index, boxType);
      EXPECT_EQ(PortIndexFromLabel(label, boxType), index) << int(boxType) << " " << label;
    }
  }
  const struct {
    const char* label;
    std::uint8_t boxType;
    int index;
  } cases[] = {
      {"Parallel 2", 3, 1}, {"Parallel 2", 1, -1},      {"USB 1", 5, 1},         {"USB 2", 5, -1},
      {"USB 1", 3, -1},     {"Serial", 19, 3},          {"Serial", 3, -1},       {"Logical Port 1", 1, 1},
      {"Logical Port 4", 1, -1}, {"Logical Port 8", 19, 11}, {"Parallel x", 3, -1}, {"", 3, -1},
      {"Parallel 1", 0, -1},
  };
  for (const auto& c : cases) EXPECT_EQ(PortIndexFromLabel(c.label, c.boxType), c.index) << c.label;
}

TEST(PortDialogRules, OutputSelectListAndSuggestedNames) {
  EXPECT_EQ(OutputSelectLines(5, 0x1),
            (std::vector<std::string>{"Parallel 1     ON-Line", "USB 1     OFF-Line", "Logical Port 1", "Logical Port 2",
                                      "Logical Port 3", "Logical Port 4", "Logical Port 5", "Logical Port 6",
                                      "Logical Port 7", "Logical Port 8"}));
  EXPECT_EQ(OutputSelectLines(17, 0),
            (std::vector<std::string>{"Parallel 1     OFF-Line", "Serial", "Logical Port 1", "Logical Port 2",
                                      "Logical Port 3"}));
  EXPECT_EQ(SuggestedPortName("PS123456", "Parallel 2"), "PS123456_P2");
  EXPECT_EQ(SuggestedPortName("PS123456", "USB 2"), "PS123456_PN");
  EXPECT_EQ(SuggestedPortName("LONGNAME12345", "Parallel 1"), "LONGNAME_P1");

  const struct {
    const char* name;
    int message;
  } names[] = {{"LPT3:PS123456", 0}, {"PS1_P1:", 0}, {"", 717}, {"PS 1", 501}, {"PS1,P1", 501},
               {"PS\\1", 501},       {"PS\t1", 501}};
  for (const auto& n : names) EXPECT_EQ(CheckTypedPortName(n.name), n.message) << n.name;
}

TEST(PortDialogRules, DeviceInformationReply) {
  std::array<std::uint8_t, 101> reply{};
  reply[15] = 0x40;  // one parallel port
  reply[16] = 0x80;  // two USB ports
  reply[55] = 0x01;
  reply[56] = 0x23;
  std::uint8_t boxType = 0;
  long number = 0;
  ASSERT_TRUE(DecodeBoxTypeReply(reply.data(), reply.size(), &boxType, &number));
  EXPECT_EQ(boxType, 9);
  EXPECT_EQ(number, 123);
  reply[55] = 0x1A;  // not BCD: the leading digits count
  ASSERT_TRUE(DecodeBoxTypeReply(reply.data(), reply.size(), &boxType, &number));
  EXPECT_EQ(number, 1);
  // Too short to hold byte 56.
  EXPECT_FALSE(DecodeBoxTypeReply(reply.data(), 56, &boxType, &number));
  EXPECT_FALSE(DecodeBoxTypeReply(nullptr, 101, &boxType, &number));
}

}  // namespace

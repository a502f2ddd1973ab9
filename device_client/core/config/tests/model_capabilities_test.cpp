#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "device_client/core/config/model_capabilities.h"

namespace {

using config::kPortP1;
using config::kPortP2;
using config::kPortP3;
using config::kPortSerial;
using config::ModelCapabilitiesOf;

// One row per model index (and the values around the table's ends): what the console's pages and
// the wizard read from the table.
TEST(ModelCapabilities, OneRowPerModel) {
  struct Case {
    int model;
    bool table;
    int parallel;
    bool serial, usb;
    int logical;
    std::vector<int> ports;  // the port list, in order
    int remote, appleTalk;
    bool tokenRing;
  };
  const std::vector<int> p1{kPortP1};
  const std::vector<int> p12s{kPortP1, kPortP2, kPortSerial};
  const Case cases[] = {
      {0, true, 1, false, false, 3, p1, 1, 1, false},
      {1, true, 1, false, false, 3, p1, 1, 1, false},
      {2, true, 2, true, false, 8, p12s, 2, 2, false},
      {3, true, 3, true, false, 8, {kPortP1, kPortP2, kPortP3, kPortSerial}, 3, 3, false},
      {4, true, 3, false, false, 8, {kPortP1, kPortP2, kPortP3}, 3, 3, false},
      {5, true, 2, true, false, 8, p12s, 2, 2, false},
      {6, true, 1, false, false, 3, p1, 1, 1, false},
      {7, true, 1, false, false, 3, p1, 1, 1, false},
      {8, true, 2, true, false, 8, p12s, 2, 2, false},
      {9, true, 1, false, false, 3, p1, 1, 1, false},
      {10, true, 2, true, false, 8, p12s, 2, 2, true},
      {11, true, 1, false, false, 3, p1, 1, 1, false},
      {12, true, 1, false, false, 3, p1, 1, 1, false},
      {13, true, 2, true, false, 8, p12s, 2, 2, false},
      {14, true, 1, false, false, 3, p1, 1, 1, false},
      {15, true, 1, false, false, 3, p1, 1, 1, false},
      {16, true, 2, false, false, 8, {kPortP1, kPortP2}, 2, 2, false},
      {17, true, 1, false, false, 3, p1, 1, 1, false},
      {20, true, 1, false, false, 3, p1, 1, 1, false},
      {22, true, 1, false, false, 3, p1, 1, 1, false},
      {23, true, 1, false, false, 3, p1, 1, 1, false},
      {24, true, 1, false, true, 3, p1, 1, 1, false},
      {25, true, 1, false, false, 3, p1, 1, 1, false},
      // Raw codes of models no table knows (and nonsense from a caller): one port, pages usable.
      {26, false, 1, false, false, 3, p1, 1, 1, false},
      {0x563412, false, 1, false, false, 3, p1, 1, 1, false},
      {-1, false, 1, false, false, 3, p1, 1, 1, false},
      {-2147483647 - 1, false, 1, false, false, 3, p1, 1, 1, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("model " + std::to_string(c.model));
    const config::ModelCapabilities& m = ModelCapabilitiesOf(c.model);
    EXPECT_EQ(m.bTableModel, c.table);
    EXPECT_EQ(m.iParallelPorts, c.parallel);
    EXPECT_EQ(m.bSerialPort, c.serial);
    EXPECT_EQ(m.bUsbPort, c.usb);
    EXPECT_EQ(m.iLogicalPorts, c.logical);
    EXPECT_EQ(std::vector<int>(m.aPhysicalPorts, m.aPhysicalPorts + m.iPhysicalPortCount), c.ports);
    EXPECT_EQ(m.iRemotePrinters, c.remote);
    EXPECT_EQ(m.iAppleTalkPorts, c.appleTalk);
    EXPECT_EQ(m.bTokenRing, c.tokenRing);

    // The helpers agree with the row.
    for (int port = 0; port <= 4; ++port)
      EXPECT_EQ(config::ModelHasParallelPort(c.model, port), port >= 1 && port <= c.parallel) << port;
    for (int entry = -1; entry <= 4; ++entry) {
      const bool listed = entry >= 0 && entry < static_cast<int>(c.ports.size());
      const int record = config::ModelPhysicalPortAt(c.model, entry);
      EXPECT_EQ(record, listed ? c.ports[static_cast<std::size_t>(entry)] : -1) << entry;
      if (listed) {
        EXPECT_EQ(config::ModelPhysicalPortEntry(c.model, record), entry);
      }
    }
  }
}

// The serial port's entry names the serial port's record, also where it is the third entry.
TEST(ModelCapabilities, SerialEntryIsTheSerialRecord) {
  EXPECT_EQ(config::ModelPhysicalPortAt(2, 2), kPortSerial);
  EXPECT_EQ(config::ModelPhysicalPortEntry(2, kPortP3), -1);
  EXPECT_EQ(config::ModelPhysicalPortAt(3, 3), kPortSerial);
  EXPECT_EQ(config::ModelPhysicalPortEntry(0, kPortP2), -1);
}

// Factory targets of logical ports 1..8: the model's parallel ports in turn.
TEST(ModelCapabilities, DefaultLogicalPortTargets) {
  struct Case {
    int model;
    std::string targets;  // logical ports 1..8
  } cases[] = {
      {0, "11111111"}, {4, "12312312"}, {3, "12312312"}, {2, "12121212"}, {16, "12121212"}, {0x123456, "11111111"},
  };
  for (const Case& c : cases) {
    std::string got;
    for (int n = 1; n <= 8; ++n) got += static_cast<char>('1' + config::ModelDefaultLogicalPortTarget(c.model, n));
    EXPECT_EQ(got, c.targets) << c.model;
  }
  EXPECT_EQ(config::ModelDefaultLogicalPortTarget(4, 0), kPortP1);
  EXPECT_EQ(config::ModelDefaultLogicalPortTarget(4, 9), kPortP1);
}

// Display names take their port text from the rows; a value outside the table names no ports.
TEST(ModelCapabilities, DisplayNamesTellThePortsOfTheRow) {
  struct Case {
    const char* feature;
    int model;
    const char* name;
  } cases[] = {
      {nullptr, 0, "PS (1 parallel)"},
      {"pocket", 19, "PS (pocket, 1 parallel)"},
      {nullptr, 3, "PS (3 parallel, 1 serial)"},
      {"", 4, "PS (3 parallel)"},
      {nullptr, 10, "PS (token ring, 2 parallel, 1 serial)"},
      {"wireless", 24, "PS (wireless, USB)"},
      {"new", 0x123456, "PS (new)"},
      {nullptr, -1, "PS"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(config::ModelDisplayName("PS", c.feature, c.model), c.name) << c.model;
  }
  EXPECT_EQ(config::ModelPortCountText(16), "2 ports");
  EXPECT_EQ(config::ModelPortCountText(3), "4 ports");
  EXPECT_EQ(config::ModelPortCountText(0), "1 port");
  EXPECT_EQ(config::ModelPortCountText(26), "");
}

}  // namespace

// The device-API object's browse, cross-segment add and protocol query, end to end: cache files
// as the scanner writes them, emulated boxes over the real TCP transport, the registry lists.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <climits>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "device_client/api/print_server_utility.h"
#include "device_client/device_lists/device_lists.h"
#include "device_client/device_lists/tests/lists_test_support.h"
#include "device_client/core/scan_cache/scan_cache.h"
#include "platform/clock.h"
#include "platform/profile.h"
#include "platform/registry.h"
#include "platform/test_support/temp_root.h"
#include "tools/box_emulator/box_emulator.h"

namespace {

using box_emulator::Box;
using box_emulator::BoxOptions;
using Strings = std::vector<std::string>;

BoxOptions Named(const std::string& name) {
  BoxOptions o = lists_test::QuickBox();
  o.identity.defaultName = name;
  return o;
}

Strings List(const std::list<std::string>& l) { return Strings(l.begin(), l.end()); }

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

std::vector<std::string> TcpipSubkeys() { return lists_test::Subkeys(kTcpipListKey); }

class BrowseOps : public ::testing::Test {
 protected:
  void SetUp() override {
    char cwd[PATH_MAX];
    ASSERT_NE(::getcwd(cwd, sizeof cwd), nullptr);
    oldCwd_ = cwd;
    ASSERT_EQ(::chdir(root_.path().c_str()), 0);  // "utility.log" lives in the current directory
    device_lists::RestoreTcpipListKey();
  }
  void TearDown() override {
    util_.reset();
    device_lists::RestoreTcpipListKey();
    if (!oldCwd_.empty()) {
      EXPECT_EQ(::chdir(oldCwd_.c_str()), 0);
    }
  }
  void Start(bool withLog = false) {
    if (withLog) std::ofstream(root_.path() + "/utility.log").close();
    util_ = std::make_unique<CPrintServerUtility>();
    ASSERT_EQ(util_->mInitializeLanComponent(TYPE_TCPIP, 20), 0);
  }

  platform::testing::TempRoot root_;
  // Socket waits block for real up to 3 s, so a slow emulator is never taken for a silent box.
  platform::FakeClock clock_{1765368000000LL, 3000};
  platform::ScopedClock useClock_{&clock_};
  std::unique_ptr<CPrintServerUtility> util_;
  std::string oldCwd_;
};

TEST_F(BrowseOps, BrowseListsNamesModelsAndDisplayNames) {
  Box plain(Named("PS-A01"));
  plain.SetModelCode(0x00, 0xB5, 0x00);  // index 4
  plain.SetDeviceName("Front desk");
  Box twoPorts(Named("PS-B02"));
  twoPorts.SetModelCode(0x06, 0x31, 0x00);  // index 16: the browse list has its own text
  Box extended(Named("PS-C03"));
  extended.SetFunctionFlags(0x02);
  extended.SetExtendedName("Reception printer");
  Box newModel(Named("PS-D04"));
  newModel.SetModelCode(0x12, 0x34, 0x56);
  ASSERT_TRUE(WritePrivateProfileString("NewModel", "563412", "PS-9000 (new)", "common.ini"));
  Box other(Named("XY-E05"));
  Box extendedOff(Named("PS-F06"));
  extendedOff.SetFunctionFlags(0x02);
  extendedOff.SetDeviceName("Cached name");
  std::vector<scan_cache::ScanCacheRecord> records;
  for (Box* b : {&plain, &twoPorts, &extended, &newModel, &other, &extendedOff}) {
    records.push_back(lists_test::CacheRecordOf(*b));
  }
  extendedOff.SwitchOff();
  Start(true);
  ASSERT_TRUE(scan_cache::WriteScanFile(scan_cache::kUdpFile, records.data(),
                                        static_cast<int>(records.size())));

  BrowseAllPrintServerData lists;
  ASSERT_EQ(util_->PS_Browse(lists, "PS"), 0);
  EXPECT_EQ(List(lists.szDefaultName), (Strings{"PS-A01", "PS-B02", "PS-C03", "PS-D04", "PS-F06"}));
  EXPECT_EQ(List(lists.szDeviceName),
            (Strings{"Front desk", twoPorts.DeviceName(), "Reception printer",
                     newModel.DeviceName(), "Cached name"}));
  EXPECT_EQ(
      List(lists.szPortType),
      (Strings{CPrintServerUtility::BrowseModelName(4), CPrintServerUtility::BrowseModelName(16),
               CPrintServerUtility::BrowseModelName(1), "PS-9000 (new)",
               CPrintServerUtility::BrowseModelName(1)}));
  EXPECT_NE(CPrintServerUtility::BrowseModelName(16), CPrintServerUtility::ModelName(16));
  // Only the boxes whose cache record asks for it were asked for the extended name.
  EXPECT_EQ(plain.RequestCount(), 0u);
  ASSERT_EQ(extended.RequestCount(), 1u);
  EXPECT_EQ(extended.Requests()[0].data, "9037:\n");

  const std::string log = ReadFile(root_.path() + "/utility.log");
  EXPECT_NE(log.find("9764, Calling PSBrowse() ..."), std::string::npos) << log;
  EXPECT_NE(log.find("PSBrowse() returned. Number of print servers found = 6"), std::string::npos)
      << log;
}

TEST_F(BrowseOps, PatternSelectsByCaseSensitivePrefixAndListsAreAppended) {
  Box a(Named("PS-A01"));
  Box b(Named("ps-B02"));
  Box x(Named("XY-C03"));
  Start();
  std::vector<scan_cache::ScanCacheRecord> records = {lists_test::CacheRecordOf(a), lists_test::CacheRecordOf(b),
                                                      lists_test::CacheRecordOf(x)};
  ASSERT_TRUE(scan_cache::WriteScanFile(scan_cache::kUdpFile, records.data(), 3));
  const struct {
    const char* pattern;
    Strings names;
  } cases[] = {{"", {"PS-A01", "XY-C03", "ps-B02"}},
               {"*", {"PS-A01", "XY-C03", "ps-B02"}},
               {"PS", {"PS-A01"}},
               {"ps", {"ps-B02"}},
               {"XY-C03", {"XY-C03"}},
               {"XY-C034", {}},
               {"Q", {}}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.pattern);
    BrowseAllPrintServerData lists;
    lists.szDefaultName.push_back("kept");
    lists.szDeviceName.push_back("kept");
    lists.szPortType.push_back("kept");
    ASSERT_EQ(util_->PS_Browse(lists, c.pattern), 0);
    Strings expected = {"kept"};
    expected.insert(expected.end(), c.names.begin(), c.names.end());
    EXPECT_EQ(List(lists.szDefaultName), expected);
    EXPECT_EQ(lists.szDeviceName.size(), expected.size());
    EXPECT_EQ(lists.szPortType.size(), expected.size());
  }

  // No box at all: the three lists are emptied.
  ASSERT_TRUE(scan_cache::WriteScanFile(scan_cache::kUdpFile, records.data(), 0));
  BrowseAllPrintServerData lists;
  lists.szDefaultName.push_back("old");
  lists.szDeviceName.push_back("old");
  lists.szPortType.push_back("old");
  lists.szReserved1.push_back("untouched");
  ASSERT_EQ(util_->PS_Browse(lists, ""), 0);
  EXPECT_TRUE(lists.szDefaultName.empty());
  EXPECT_TRUE(lists.szDeviceName.empty());
  EXPECT_TRUE(lists.szPortType.empty());
  EXPECT_EQ(List(lists.szReserved1), Strings{"untouched"});
}

TEST_F(BrowseOps, CrossSegmentAddListsTheBoxAndRefusesADuplicate) {
  Box box(Named("PS-X01"));
  box.SetDeviceName("Remote office");
  box.SetModelCode(0x00, 0x87, 0x00);  // index 21
  Start();
  std::string ip = "  " + box.Address() + " ";
  BrowseAllPrintServerData lists;
  lists.szDefaultName.push_back("old");
  lists.szDeviceName.push_back("old");
  lists.szPortType.push_back("old");
  ASSERT_EQ(util_->mAddCrossSegmentPrintServer(ip, &lists), 0);
  EXPECT_EQ(ip, box.Address());  // trimmed in place
  EXPECT_EQ(List(lists.szDefaultName), Strings{"PS-X01"});
  EXPECT_EQ(List(lists.szDeviceName), Strings{"Remote office"});
  EXPECT_EQ(List(lists.szPortType), Strings{CPrintServerUtility::ModelName(21)});
  EXPECT_EQ(util_->mQueryProtocol("PS-X01"), TYPE_TCPIP);
  EXPECT_EQ(TcpipSubkeys(), Strings{"PS-X01"});

  // The same box again is refused and stores nothing.
  const int count = console_access::DeviceCount();
  std::string again = box.Address();
  BrowseAllPrintServerData second;
  second.szDefaultName.push_back("kept");
  EXPECT_EQ(util_->mAddCrossSegmentPrintServer(again, &second), -1);
  EXPECT_EQ(List(second.szDefaultName), Strings{"kept"});
  EXPECT_EQ(console_access::DeviceCount(), count);
  EXPECT_EQ(TcpipSubkeys(), Strings{"PS-X01"});

  // A later browse lists it through the registry list, with what it answered.
  BrowseAllPrintServerData browsed;
  ASSERT_EQ(util_->PS_Browse(browsed, "*"), 0);
  EXPECT_EQ(List(browsed.szDefaultName), Strings{"PS-X01"});
  EXPECT_EQ(List(browsed.szDeviceName), Strings{"Remote office"});
  EXPECT_EQ(List(browsed.szPortType), Strings{CPrintServerUtility::BrowseModelName(21)});
}

TEST_F(BrowseOps, CrossSegmentAddRefusals) {
  Box off(Named("PS-OFF"));
  off.SwitchOff();
  Start();
  const struct {
    std::string ip;
    int result;
  } cases[] = {{"", -2},
               {"    ", -2},
               {"0.0.0.0", -2},
               {" 0.0.0.0 ", -2},
               {"1234.1234.1234.1", -2},
               {off.Address(), -1},
               {"127.0.0.1\t", -1}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.ip);
    std::string ip = c.ip;
    BrowseAllPrintServerData lists;
    lists.szDefaultName.push_back("kept");
    EXPECT_EQ(util_->mAddCrossSegmentPrintServer(ip, &lists), c.result);
    EXPECT_EQ(List(lists.szDefaultName), Strings{"kept"});
  }
  std::string ip = off.Address();
  EXPECT_EQ(util_->mAddCrossSegmentPrintServer(ip, nullptr), -2);
  EXPECT_EQ(console_access::DeviceCount(), 0);
  EXPECT_TRUE(TcpipSubkeys().empty());
  EXPECT_EQ(util_->mQueryProtocol("PS-OFF"), -1);
  EXPECT_EQ(util_->mQueryProtocol(""), -2);
}

}  // namespace

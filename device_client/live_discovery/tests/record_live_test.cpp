// Asking single boxes for their names (GetDefNameSPX, GetDefName, PSAddOrBrowse) over TCP against
// emulated boxes.
#include <chrono>
#include <vector>

#include "device_client/device_lists/device_lists.h"
#include "device_client/live_discovery/tests/live_test_support.h"
#include "tools/box_emulator/box_emulator.h"

namespace live_test {
namespace {

using namespace std::chrono_literals;

DeviceRecord TcpRecord(const std::string& address) {
  DeviceRecord r{};
  r.iProtocol = TYPE_TCPIP;
  std::memcpy(r.address, address.data(), address.size());
  return r;
}

BrowseEntry TcpEntry(const std::string& address) {
  BrowseEntry e{};
  const DeviceRecord r = TcpRecord(address);
  std::memcpy(&e, &r, sizeof r);
  return e;
}

class RecordLive : public LiveTest {
 protected:
  void SetUp() override {
    LiveTest::SetUp();
    ASSERT_EQ(PSInit(TYPE_TCPIP, 20), 0);
    box_.SetDeviceName("Stock-Room");
    box_.SetModelCode(0x00, 0x77, 0x31);
  }
  box_emulator::Box box_;
};

TEST_F(RecordLive, EntryTakesNameModelAndNameTextOfAWholeBlock) {
  box_.SetFunctionFlags(wire::pid::kFuncExtendedName);  // offers a longer name the box cannot give
  BrowseEntry e = TcpEntry(box_.Address());
  ASSERT_EQ(GetDefNameSPX(&e), 1);
  EXPECT_EQ(Text(e.szName, 20), box_.DefaultName());
  EXPECT_EQ(Text(e.szServerName, 50), "Stock-Room");
  const std::uint8_t model[4] = {0x00, 0x77, 0x31, 0x00};
  EXPECT_EQ(std::memcmp(e.hardwareId, model, 4), 0);
  EXPECT_EQ(box_.Requests().back().data, "9701:");

  struct Case {
    const char* label;
    box_emulator::FaultPlan fault;
  };
  box_emulator::FaultPlan cut;
  cut.replySize = 95;  // the default name would end at byte 95
  box_emulator::FaultPlan failed;
  failed.errorChunk = 0;
  for (const Case& c : {Case{"cut_block", cut}, Case{"error_reply", failed}}) {
    box_.InjectFault(c.fault);
    BrowseEntry untouched = TcpEntry(box_.Address());
    EXPECT_EQ(GetDefNameSPX(&untouched), 0) << c.label;
    EXPECT_EQ(untouched.szName[0], '\0') << c.label;
  }
  BrowseEntry netbios{};
  netbios.iProtocol = TYPE_NETBEUI;
  EXPECT_EQ(GetDefNameSPX(&netbios), 0);
}

TEST_F(RecordLive, AddOrBrowseAddsAnAnsweringBoxAndListsTheTable) {
  box_emulator::Box other;
  DeviceRecord r = TcpRecord(other.Address());
  ASSERT_EQ(GetDefName(&r), 1);
  EXPECT_EQ(Text(r.szName, 20), other.DefaultName());
  console_access::ClearDevices();
  ASSERT_EQ(console_access::AppendDevice(r), 0);

  DeviceRecord mine = TcpRecord(box_.Address());
  std::vector<char> names(3 * 20 + 1, '\x7F');
  int count = 0;
  ASSERT_EQ(PSAddOrBrowse(names.data(), &count, 3, &mine), 0);
  ASSERT_EQ(count, 2);
  std::vector<std::string> listed = {Text(&names[0], 20), Text(&names[20], 20)};
  std::vector<std::string> expected = {box_.DefaultName(), other.DefaultName()};
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(listed, expected);

  // The caller's room bounds the list.
  ASSERT_EQ(PSAddOrBrowse(names.data(), &count, 1, &mine), 0);
  EXPECT_EQ(count, 1);
  EXPECT_EQ(console_access::DeviceCount(), 2);
  EXPECT_EQ(names.back(), '\x7F');

  // A box that does not answer: the table is rebuilt by a browse (no cache files: empty).
  box_.SwitchOff();
  ASSERT_EQ(PSAddOrBrowse(names.data(), &count, 3, &mine), 0);
  EXPECT_EQ(count, 0);
  EXPECT_EQ(console_access::DeviceCount(), 0);
}

TEST_F(RecordLive, NameThatCannotBeStoredIsRefusedAndNotAdded) {
  console_access::ClearDevices();
  for (const char* bad : {"KV\\001122", "KV\n001122", "KV\x1b" "001122"}) {
    box_.SetDefaultName(bad);
    DeviceRecord r = TcpRecord(box_.Address());
    EXPECT_EQ(GetDefName(&r), 0) << bad;
    EXPECT_EQ(r.szName[0], '\0') << "the record keeps its name";

    std::vector<char> names(4 * 20);
    int count = -1;
    ASSERT_EQ(PSAddOrBrowse(names.data(), &count, 4, &r), 0);
    EXPECT_EQ(count, 0) << bad;
    EXPECT_EQ(console_access::DeviceCount(), 0) << bad;
  }
}

}  // namespace
}  // namespace live_test

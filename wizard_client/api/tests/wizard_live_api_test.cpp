// The wizard device-API's live operations end to end against emulated boxes that answer the UDP
// discovery and the set-address datagram: the live browse into the name lists, the browse that
// reads every box's configuration by its record, and setting a box's address by its hardware
// address, by default name and by device record.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "device_client/device_lists/device_lists.h"
#include "device_client/live_discovery/live_discovery.h"
#include "device_client/live_discovery/tests/live_test_support.h"
#include "platform/clock.h"
#include "platform/test_support/temp_root.h"
#include "tools/box_emulator/box_emulator.h"
#include "tools/box_emulator/ipx_discovery.h"
#include "tools/box_emulator/udp_discovery.h"
#include "wizard_client/api/wizard_utility.h"
#include "wizard_client/device_lists/tests/udp_responder_support.h"

namespace {

using namespace std::chrono_literals;
using box_emulator::Box;

std::vector<std::string> AsVector(const std::list<std::string>& list) {
  return std::vector<std::string>(list.begin(), list.end());
}

box_emulator::BoxOptions BoxWith(const std::string& prefix,
                                 std::array<std::uint8_t, 3> vendor = {0x00, 0x40, 0x01}) {
  box_emulator::BoxOptions o;
  o.restartWindow = 0ms;
  o.identity.namePrefix = prefix;
  o.identity.hardwareAddress = {vendor[0], vendor[1], vendor[2], 0, 0, 0};  // the rest drawn
  return o;
}

class WizardLiveApi : public ::testing::Test {
 protected:
  void SetUp() override {
    util_ = std::make_unique<wizard::CPrintServerUtility>();
    ASSERT_EQ(util_->mInitializeLanComponent(TYPE_TCPIP, 20), 0);
    responder_ = std::make_unique<box_emulator::UdpDiscovery>(
        box_emulator::UdpDiscoveryOptions{0, 0, "0.0.0.0"});
    wizard_test::UseResponder(*responder_);
  }

  void TearDown() override {
    util_.reset();
    responder_.reset();
    device_lists::RestoreTcpipListKey();
    live_discovery::SetUdpSettings({});
  }

  Box& Answering(box_emulator::BoxOptions options) {
    boxes_.push_back(std::make_unique<Box>(std::move(options)));
    responder_->AddBox(boxes_.back().get());
    return *boxes_.back();
  }

  platform::testing::TempRoot root_;
  // Waits of up to 1 s real time each (the silence that ends a discovery round).
  platform::FakeClock clock_{1765368000000LL, 1000};
  platform::ScopedClock useClock_{&clock_};
  std::unique_ptr<box_emulator::UdpDiscovery> responder_;
  std::vector<std::unique_ptr<Box>> boxes_;
  std::unique_ptr<wizard::CPrintServerUtility> util_;
};

TEST_F(WizardLiveApi, LiveBrowseListsTheBoxesThatAnswerNow) {
  Box& plain = Answering(BoxWith("PS"));
  plain.SetDeviceName("Front");
  box_emulator::BoxOptions longNamed = BoxWith("PS");
  longNamed.identity.functionByte47 = wire::pid::kFuncExtendedName;
  longNamed.identity.extendedName = "Reception Printer Server";
  Box& extended = Answering(longNamed);
  Box& other = Answering(BoxWith("KV"));
  struct Expected {
    std::string name, deviceName;
    bool operator<(const Expected& e) const { return name < e.name; }
  };
  std::vector<Expected> ps = {{plain.DefaultName(), "Front"},
                              {extended.DefaultName(), "Reception Printer Server"}};
  std::sort(ps.begin(), ps.end());

  struct Case {
    const char* filter;
    std::vector<Expected> rows;
  };
  std::vector<Expected> all = ps;
  all.push_back({other.DefaultName(), other.DeviceName()});
  std::sort(all.begin(), all.end());
  for (const Case& c : {Case{"PS", ps}, Case{"*", all}, Case{"", all}, Case{"QQ", {}}}) {
    SCOPED_TRACE(c.filter);
    wizard::BrowseLists lists;
    ASSERT_EQ(util_->PS_BrowseLive(&lists, c.filter), 0);
    std::vector<std::string> names, deviceNames;
    for (const Expected& e : c.rows) {
      names.push_back(e.name);
      deviceNames.push_back(e.deviceName);
    }
    EXPECT_EQ(AsVector(lists.lists[0]), names);
    EXPECT_EQ(AsVector(lists.lists[1]), deviceNames);
    EXPECT_EQ(AsVector(lists.lists[2]),
              std::vector<std::string>(c.rows.size(), "PS-1300 (1 parallel)"));
  }

  // A box that stops answering its own query is left out; the others stay.
  other.SwitchOff();
  wizard::BrowseLists lists;
  ASSERT_EQ(util_->PS_BrowseLive(&lists, "*"), 0);
  EXPECT_EQ(std::count(lists.lists[0].begin(), lists.lists[0].end(), other.DefaultName()), 0);
  EXPECT_EQ(lists.lists[0].size(), 2u);
  EXPECT_EQ(util_->PS_BrowseLive(nullptr, "*"), -2);
}

TEST_F(WizardLiveApi, BrowseAllConfigurationReadsEveryBoxByItsRecord) {
  Box& first = Answering(BoxWith("PS"));
  Box& second = Answering(BoxWith("PS"));
  second.SetDeviceName("Second");
  std::vector<wizard::BrowseConfigurationEntry> entries(4);
  int count = -1;
  ASSERT_EQ(util_->mBrowseAllConfiguration(entries.data(), &count, 4), 0);
  ASSERT_EQ(count, 2);
  for (int i = 0; i < count; ++i) {
    const wizard::BrowseConfigurationEntry& e = entries[static_cast<std::size_t>(i)];
    const std::string name(e.record.szName, strnlen(e.record.szName, sizeof e.record.szName));
    SCOPED_TRACE(name);
    Box& box = name == first.DefaultName() ? first : second;
    ASSERT_EQ(name, box.DefaultName());
    EXPECT_EQ(e.record.iProtocol, TYPE_TCPIP);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(e.record.address)), box.Address());
    // Each box was asked for its whole configuration, then its device information.
    const auto asked = box.Requests();
    ASSERT_GE(asked.size(), 2u);
    EXPECT_EQ(asked[asked.size() - 2].data, "9100:\r\n");
    EXPECT_EQ(asked.back().data, "9007:\n");
    const auto block = box.DeviceInfoBlock();
    EXPECT_TRUE(std::equal(block.begin(), block.begin() + 20, e.pidHead));
    // Bytes 40-99 as the read decoded them: the box's own up to 95, the model name from 96.
    EXPECT_TRUE(std::equal(block.begin() + 40, block.begin() + 96, e.pidMiddle));
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(e.pidMiddle) + 56, 4), "PS-1");
  }

  // Room for one: one entry, and nothing written past it.
  std::vector<wizard::BrowseConfigurationEntry> one(2);
  std::memset(one[1].pidHead, 0x5A, sizeof one[1].pidHead);
  ASSERT_EQ(util_->mBrowseAllConfiguration(one.data(), &count, 1), 0);
  EXPECT_EQ(count, 1);
  EXPECT_EQ(one[1].pidHead[0], 0x5A);
  EXPECT_EQ(util_->mBrowseAllConfiguration(nullptr, &count, 4), -2);
  EXPECT_EQ(util_->mBrowseAllConfiguration(entries.data(), nullptr, 4), -2);
}

TEST_F(WizardLiveApi, SetIPAddressMovesTheBoxItsNameOrRecordNames) {
  const auto freeAddress = [] {
    Box probe;  // a loopback address of its own, released again
    return probe.Address();
  };
  for (const bool byRecord : {false, true}) {
    SCOPED_TRACE(byRecord ? "by record" : "by name");
    Box& box = Answering(BoxWith("PS", {0x02, 0xA7, 0xC4}));
    const std::string name = box.DefaultName();
    const std::string target = freeAddress();
    wizard::DeviceRecord record{};
    std::memcpy(record.szName, name.data(), name.size());
    record.iProtocol = TYPE_TCPIP;
    // Blanks around the address are trimmed; "0.0.0.0" and over-long texts are refused unsent.
    const auto set = [&](const std::string& ip, const std::string& gateway) {
      return byRecord ? util_->mSetIPAddress(&record, ip, gateway, "255.0.0.0")
                      : util_->mSetIPAddress(name, ip, gateway, "255.0.0.0");
    };
    EXPECT_EQ(set("0.0.0.0", "10.0.0.1"), -2);
    EXPECT_EQ(set(" " + target + " ", std::string(16, '1')), -2);
    EXPECT_EQ(box.RestartCount(), 0);
    ASSERT_EQ(set(" " + target + " ", "10.0.0.1"), 0);
    ASSERT_TRUE(box.WaitForRestarts(1, 10s));
    EXPECT_EQ(box.Address(), target);
    EXPECT_EQ(box.Setting("4020").value_or(""), "Disable");
  }
  // Nobody has the hardware address of that name.
  wizard::DeviceRecord nobody{};
  std::memcpy(nobody.szName, "PS0A0B0C", 8);
  EXPECT_EQ(util_->mSetIPAddress(&nobody, "127.0.0.9", "10.0.0.1", "255.0.0.0"), -1);
  EXPECT_EQ(util_->mSetIPAddress(static_cast<const wizard::DeviceRecord*>(nullptr), "127.0.0.9",
                                 "10.0.0.1", "255.0.0.0"),
            -2);
}

// The NetWare pages' drop-down lists over the IPX stand-in.
class WizardNetwareNames : public live_test::LiveTest {};

TEST_F(WizardNetwareNames, AFullNameListIsAFailureThatLeavesTheListAsItWas) {
  wizard::CPrintServerUtility util;
  ASSERT_EQ(util.mInitializeLanComponent(TYPE_TCPIP, 20), 0);
  box_emulator::IpxDiscovery ipx;
  for (int i = 0; i < 3; ++i) ipx.AddServer(wire::kFileServerSapType, "FS" + std::to_string(1000 + i));
  ipx.AddServer(wire::kNdsTreeSapType, "ACME_CORP");

  std::list<std::string> names{"typed before"};
  ASSERT_EQ(util.mScanAllFileServer(names), 0);
  std::vector<std::string> servers = AsVector(names);
  std::sort(servers.begin(), servers.end());
  EXPECT_EQ(servers, (std::vector<std::string>{"FS1000", "FS1001", "FS1002"}));
  ASSERT_EQ(util.mScanNDSTree(names), 0);
  EXPECT_EQ(AsVector(names), (std::vector<std::string>{"ACME_CORP"}));

  // More servers than the list takes: not a list of the first 128.
  for (int i = 3; i < 130; ++i) ipx.AddServer(wire::kFileServerSapType, "FS" + std::to_string(1000 + i));
  names = {"typed before"};
  EXPECT_EQ(util.mScanAllFileServer(names), -1);
  EXPECT_EQ(AsVector(names), (std::vector<std::string>{"typed before"}));
  // The trees still fit.
  EXPECT_EQ(util.mScanNDSTree(names), 0);
  EXPECT_EQ(AsVector(names), (std::vector<std::string>{"ACME_CORP"}));
}

}  // namespace

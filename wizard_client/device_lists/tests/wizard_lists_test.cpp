// The wizard's device lists end to end: cache files written by the scanner's writer, the registry
// list, emulated boxes reached over TCP and the UDP discovery ports.
#include "wizard_client/device_lists/wizard_lists.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "device_client/device_lists/device_lists.h"
#include "device_client/device_lists/tests/lists_test_support.h"
#include "device_client/live_discovery/live_discovery.h"
#include "device_client/core/scan_cache/scan_cache.h"
#include "platform/clock.h"
#include "platform/registry.h"
#include "platform/test_support/temp_root.h"
#include "tools/box_emulator/box_emulator.h"
#include "tools/box_emulator/udp_discovery.h"
#include "wizard_client/device_lists/tests/udp_responder_support.h"

namespace {

using box_emulator::Box;
using namespace std::chrono_literals;
using lists_test::QuickBox;
using lists_test::Subkeys;
using scan_cache::ScanCacheRecord;

std::string Field(const char* bytes, std::size_t n = 20) { return std::string(bytes, strnlen(bytes, n)); }

ScanCacheRecord Cached(const std::string& name, int protocol, const std::string& address,
                       const std::string& local = "", const std::string& deviceName = "",
                       std::uint8_t model = 0x10) {
  ScanCacheRecord r{};
  std::memcpy(r.szDefaultName, name.data(), std::min<std::size_t>(name.size(), 20));
  r.iProtocol = protocol;
  std::memcpy(r.address, address.data(), std::min<std::size_t>(address.size(), 20));
  std::memcpy(r.szLocalAddress, local.data(), std::min<std::size_t>(local.size(), 20));
  r.hardwareId[2] = model;
  std::memcpy(r.szDeviceName, deviceName.data(), std::min<std::size_t>(deviceName.size(), 20));
  return r;
}

void WriteCache(const char* file, const std::vector<ScanCacheRecord>& records) {
  ASSERT_TRUE(scan_cache::WriteScanFile(file, records.data(), static_cast<int>(records.size())));
}

struct BrowseResult {
  std::vector<std::string> names, addresses, locals;
};

BrowseResult Browse(int capacity = wizard::MAX_DEVICE_RECORDS) {
  std::vector<std::array<char, 20>> names(static_cast<std::size_t>(capacity) + 1);
  std::vector<std::array<char, 20>> addresses(names.size());
  std::vector<std::array<char, 20>> locals(names.size());
  int count = -1;
  EXPECT_EQ(wizard::PSBrowse(reinterpret_cast<char(*)[20]>(names.data()),
                             reinterpret_cast<char(*)[20]>(addresses.data()),
                             reinterpret_cast<char(*)[20]>(locals.data()), &count, capacity),
            0);
  BrowseResult r;
  for (int i = 0; i < count; ++i) {
    r.names.push_back(Field(names[static_cast<std::size_t>(i)].data()));
    r.addresses.push_back(Field(addresses[static_cast<std::size_t>(i)].data()));
    r.locals.push_back(Field(locals[static_cast<std::size_t>(i)].data()));
  }
  return r;
}

class WizardLists : public ::testing::Test {
 protected:
  void SetUp() override { Init(7); }
  void TearDown() override {
    wizard::PSExit();
    device_lists::RestoreTcpipListKey();
    live_discovery::SetUdpSettings({});
  }
  void Init(int mask) {
    wizard::PSExit();
    wizard::PSInit(mask, 20);
  }

  platform::testing::TempRoot root_;
  // Waits of up to 1 s real time each.
  platform::FakeClock clock_{1765368000000LL, 1000};
  platform::ScopedClock useClock_{&clock_};
};

TEST_F(WizardLists, BrowseMergesSortsAndKeepsTheLookUp) {
  WriteCache(scan_cache::kUdpFile, {Cached("KV000010", 2, "127.0.0.10", "192.168.1.5", "Tcp10"),
                                    Cached("KV000002", 2, "127.0.0.2", "", "Tcp2", 0x22)});
  WriteCache(scan_cache::kNetBiosFile, {Cached("KV000002", 4, "NBNAME2", "", "Nb2"),
                                        Cached("KV000003", 4, "NBNAME3", "", "Nb3")});
  WriteCache(scan_cache::kIpxFile, {Cached("KV000010", 1, "\x01\x02\x03\x04", "", "Ipx10")});
  WriteCache(scan_cache::kUdp2File, {Cached("KV000099", 8, "127.0.0.99")});  // never read here

  const BrowseResult r = Browse();
  EXPECT_EQ(r.names, (std::vector<std::string>{"KV000002", "KV000003", "KV000010"}));
  // IPX wins over UDP/TCP, which wins over NetBIOS; NetBIOS and IPX boxes show 0.0.0.0.
  EXPECT_EQ(r.addresses, (std::vector<std::string>{"127.0.0.2", "0.0.0.0", "0.0.0.0"}));
  EXPECT_EQ(wizard::GetDeviceProtocol("KV000002"), TYPE_TCPIP);
  EXPECT_EQ(wizard::GetDeviceProtocol("KV000010"), TYPE_IPXSPX);
  EXPECT_EQ(wizard::GetDeviceProtocol("KV000099"), -1);

  // The look-up: the first entry of a name, in the reading order UDP, IPX, NetBIOS.
  std::uint8_t hardwareId[32] = {};
  char deviceName[20] = {};
  ASSERT_EQ(wizard::FindScanCacheInfo(hardwareId, deviceName, "KV000002"), 1);
  EXPECT_EQ(Field(deviceName), "Tcp2");
  EXPECT_EQ(hardwareId[2], 0x22);
  ASSERT_EQ(wizard::FindScanCacheInfo(hardwareId, deviceName, "KV000010"), 1);
  EXPECT_EQ(Field(deviceName), "Tcp10");
  EXPECT_EQ(wizard::FindScanCacheInfo(hardwareId, deviceName, "KV000099"), 0);

  // Without TCP/IP in the mask only NetBIOS (and IPX) files count, and local interfaces come
  // from the cache records.
  Init(4);
  EXPECT_EQ(Browse().names, (std::vector<std::string>{"KV000002", "KV000003"}));
  EXPECT_EQ(wizard::FindScanCacheInfo(hardwareId, deviceName, "KV000010"), 0);
  Init(2);
  EXPECT_EQ(Browse().locals, (std::vector<std::string>{"", "192.168.1.5"}));
}

TEST_F(WizardLists, DamagedCacheRecordsAreDroppedAsTheConsoleDropsThem) {
  // One box-name rule for both libraries: a record whose names could not be stored is left out
  // of the device table, the list and the look-up table.
  const std::string full(20, 'K');  // a default name that fills its field: still a name
  WriteCache(scan_cache::kUdpFile,
             {Cached("KV000001", 2, "127.0.0.1", "", "Good1"),
              Cached("", 2, "127.0.0.2", "", "NoDefaultName"),
              Cached("KV00\x01" "003", 2, "127.0.0.3", "", "Control"),
              Cached("KV\\00004", 2, "127.0.0.4", "", "Backslash"),
              Cached("KV000005", 2, "127.0.0.5", "", "Line\nBreak"),
              Cached(full, 2, "127.0.0.6", "", "Full")});
  WriteCache(scan_cache::kNetBiosFile, {Cached("KV000007", 4, "NBNAME7", "", "Del\x7F"),
                                        Cached("KV000008", 4, "NBNAME8", "", "Good8")});
  const std::vector<std::string> kept{full, "KV000001", "KV000008"};  // in byte order
  EXPECT_EQ(Browse().names, kept);
  for (const char* dropped : {"KV000005", "KV000007", "KV00\x01" "003", "KV\\00004"}) {
    SCOPED_TRACE(dropped);
    EXPECT_EQ(wizard::FindScanCacheInfo(nullptr, nullptr, dropped), 0);
    EXPECT_EQ(wizard::FindDeviceIndex(dropped), -1);
  }
  char deviceName[20] = {};
  ASSERT_EQ(wizard::FindScanCacheInfo(nullptr, deviceName, full.c_str()), 1);
  EXPECT_EQ(Field(deviceName), "Full");

  // The console's browse of the same files lists the same boxes.
  std::vector<char> names(static_cast<std::size_t>(MAX_DEVICE_RECORDS) * 20);
  int count = -1;
  ASSERT_EQ(::PSBrowse(names.data(), &count), 0);
  std::vector<std::string> console;
  for (int i = 0; i < count; ++i) console.push_back(Field(names.data() + 20 * i));
  EXPECT_EQ(console, kept);
}

TEST_F(WizardLists, CacheCountsAndTheOutputAreBounded) {
  auto numbered = [](const char* prefix, int count, int protocol) {
    std::vector<ScanCacheRecord> records;
    for (int i = 0; i < count; ++i) {
      char name[16];
      std::snprintf(name, sizeof name, "%s%06d", prefix, i);
      records.push_back(Cached(name, protocol, "127.0.0.1"));
    }
    return records;
  };
  WriteCache(scan_cache::kUdpFile, numbered("KV", 300, 2));
  const std::vector<ScanCacheRecord> more = numbered("KW", 60, 4);
  WriteCache(scan_cache::kNetBiosFile, more);
  // 128 records of the UDP file fill the table; the NetBIOS file adds nothing.
  const BrowseResult r = Browse();
  ASSERT_EQ(r.names.size(), 128u);
  EXPECT_EQ(r.names.back(), "KV000127");
  EXPECT_EQ(wizard::wizard_lists::LookupCount(), 128 + 60);
  // A caller with room for 10 gets 10.
  EXPECT_EQ(Browse(10).names.size(), 10u);
  // A file whose count claims more than it holds reads as what it holds.
  const std::string path = scan_cache::ScanFilePath(scan_cache::kNetBiosFile);
  FILE* f = std::fopen(path.c_str(), "r+b");
  ASSERT_NE(f, nullptr);
  const std::int32_t lie = 100000;
  std::fwrite(&lie, 4, 1, f);
  std::fclose(f);
  Init(4);
  EXPECT_EQ(Browse().names.size(), 60u);
}

TEST_F(WizardLists, AddByAddressAndTheRegistryList) {
  Box box(QuickBox());
  wizard::DeviceRecord record{};
  ASSERT_EQ(wizard::PSAddUDP(box.Address().c_str(), &record), 1);
  EXPECT_EQ(Field(record.szName), box.DefaultName());
  EXPECT_EQ(record.iProtocol, TYPE_TCPIP);
  EXPECT_EQ(Subkeys(kTcpipListKey), (std::vector<std::string>{box.DefaultName()}));
  // The added box is reached by its name.
  char reply[256];
  int length = 0;
  EXPECT_EQ(wizard::PSISendResp(box.DefaultName().c_str(), "9007:\n", 6, reply, &length, sizeof reply), 0);
  // Listed already, unusable texts, nobody there: nothing added.
  EXPECT_EQ(wizard::PSAddUDP(box.Address().c_str(), &record), 0);
  EXPECT_EQ(wizard::PSAddUDP("127.0.0.1\n", &record), 0);
  EXPECT_EQ(wizard::PSAddUDP("", &record), 0);
  {
    Box gone(QuickBox());
    const std::string address = gone.Address();
    gone.SwitchOff();
    EXPECT_EQ(wizard::PSAddUDP(address.c_str(), &record), 0);
  }
  EXPECT_EQ(wizard::wizard_access::DeviceCount(), 1);

  // The registry list: a box that answers stays, a silent one's entry is deleted.
  Box silent(QuickBox());
  wizard::DeviceRecord other{};
  wizard::PSExit();
  wizard::PSInit(6, 20);
  ASSERT_EQ(wizard::PSAddUDP(silent.Address().c_str(), &other), 1);
  silent.SwitchOff();
  std::vector<wizard::DeviceRecord> listed(8);
  int count = 0;
  EXPECT_EQ(wizard::RegListDevices(listed.data(), &count, 8), 1);
  ASSERT_EQ(count, 1);
  EXPECT_EQ(Field(listed[0].szName), box.DefaultName());
  EXPECT_EQ(Field(reinterpret_cast<const char*>(listed[0].address)), box.Address());
  EXPECT_EQ(Subkeys(kTcpipListKey), (std::vector<std::string>{box.DefaultName()}));

  // The Internet list: written only, the table unchanged.
  Box internet(QuickBox());
  EXPECT_EQ(wizard::PSIAddUDP(internet.Address().c_str()), 1);
  EXPECT_EQ(Subkeys(kInternetListKey), (std::vector<std::string>{internet.DefaultName()}));
  EXPECT_EQ(wizard::FindDeviceIndex(internet.DefaultName().c_str()), -1);
}

class WizardLive : public WizardLists {
 protected:
  void SetUp() override {
    WizardLists::SetUp();
    responder_ = std::make_unique<box_emulator::UdpDiscovery>(box_emulator::UdpDiscoveryOptions{0, 0, "0.0.0.0"});
    wizard_test::UseResponder(*responder_);
  }
  void TearDown() override {
    responder_.reset();
    WizardLists::TearDown();
  }
  std::unique_ptr<box_emulator::UdpDiscovery> responder_;
};

TEST_F(WizardLive, UdpQueriesOnBothPorts) {
  Box one(QuickBox());
  Box two(QuickBox());
  responder_->AddBox(&one);
  responder_->AddBox(&two);
  for (int port = 1; port <= 2; ++port) {
    SCOPED_TRACE(port);
    std::vector<wizard::DeviceRecord> records(4);
    int count = 0;
    ASSERT_EQ(port == 1 ? wizard::QueryUDP(records.data(), &count, 4)
                        : wizard::QueryUDP2(records.data(), &count, 4),
              1);
    ASSERT_EQ(count, 2);
    std::vector<std::string> names = {Field(records[0].szName), Field(records[1].szName)};
    std::sort(names.begin(), names.end());
    std::vector<std::string> expected = {one.DefaultName(), two.DefaultName()};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(names, expected);
    for (int i = 0; i < 2; ++i) {
      EXPECT_EQ(records[static_cast<std::size_t>(i)].iProtocol, TYPE_TCPIP);
      const std::string address = Field(reinterpret_cast<const char*>(records[static_cast<std::size_t>(i)].address));
      EXPECT_TRUE(address == one.Address() || address == two.Address()) << address;
      EXPECT_EQ(Field(records[static_cast<std::size_t>(i)].szLocalAddress), port == 2 ? "127.64.0.1" : "");
    }
    // A caller with room for one gets one.
    EXPECT_EQ(port == 1 ? wizard::QueryUDP(records.data(), &count, 1)
                        : wizard::QueryUDP2(records.data(), &count, 1),
              1);
    EXPECT_EQ(count, 1);
  }
}

TEST_F(WizardLive, SettingTheAddressByHardwareAddressMovesTheBox) {
  struct Case {
    const char* label;
    std::array<std::uint8_t, 3> vendor;
    const char* prefix;  // null: the plain form
  };
  std::vector<std::unique_ptr<Box>> boxes;  // the responder keeps answering for each of them
  for (const Case& c : {Case{"plain", {0x02, 0xA7, 0xC4}, nullptr},
                        Case{"prefix", {0x00, 0x40, 0x01}, "004001-ignored"}}) {
    SCOPED_TRACE(c.label);
    box_emulator::BoxOptions options = QuickBox();
    options.identity.hardwareAddress = {c.vendor[0], c.vendor[1], c.vendor[2], 0, 0, 0};
    boxes.push_back(std::make_unique<Box>(options));
    Box& box = *boxes.back();
    responder_->AddBox(&box);
    std::string target;
    {
      Box probe;  // a free loopback address, released again
      target = probe.Address();
    }
    const std::string name = box.DefaultName();
    const int rc = c.prefix == nullptr
                       ? wizard::SetDeviceIPByMac(name.c_str(), "255.0.0.0", "10.0.0.1", target.c_str())
                       : wizard::SetDeviceIPByMacPrefix(c.prefix, name.c_str(), "255.0.0.0", "10.0.0.1",
                                                        target.c_str());
    ASSERT_EQ(rc, 1);
    ASSERT_TRUE(box.WaitForRestarts(1, 10s));
    EXPECT_EQ(box.Address(), target);
    EXPECT_EQ(box.Setting("4020").value_or(""), "Disable");
    // The box answers at its new address.
    wizard::DeviceRecord record{};
    std::memcpy(record.szName, name.data(), name.size());
    record.iProtocol = TYPE_TCPIP;
    std::memcpy(record.address, target.data(), target.size());
    char reply[256];
    int length = 0;
    EXPECT_EQ(wizard::SendRespByRecord(&record, "9007:\n", 6, reply, &length, sizeof reply), 0);
    EXPECT_EQ(Field(reply + 76), name);
  }
  // Nobody with that hardware address: nothing confirmed.
  EXPECT_EQ(wizard::SetDeviceIPByMac("KV000000", "255.0.0.0", "10.0.0.1", "127.0.0.9"), 0);
  // A box that refuses with the error byte keeps its address and is not restarted.
  box_emulator::BoxOptions options = QuickBox();
  options.identity.hardwareAddress = {0x02, 0xA7, 0xC4, 0, 0, 0};
  Box refusing(options);
  responder_->SetFault(responder_->AddBox(&refusing), box_emulator::UdpAnswerFault::kErrorByte);
  const std::string before = refusing.Address();
  EXPECT_EQ(wizard::SetDeviceIPByMac(refusing.DefaultName().c_str(), "255.0.0.0", "10.0.0.1", "127.0.0.9"), 0);
  EXPECT_EQ(refusing.Address(), before);
  EXPECT_EQ(refusing.RestartCount(), 0);
}

}  // namespace

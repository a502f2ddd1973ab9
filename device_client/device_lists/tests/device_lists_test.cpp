// The device lists end to end: cache files written by the scanner's writer, registry lists, and
// emulated boxes reached over the real TCP transport.
#include "device_client/device_lists/device_lists.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstring>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "device_client/device_lists/tests/lists_test_support.h"
#include "device_client/core/scan_cache/scan_cache.h"
#include "platform/clock.h"
#include "platform/paths.h"
#include "platform/registry.h"
#include "platform/test_support/temp_root.h"
#include "tools/box_emulator/box_emulator.h"

namespace {

using box_emulator::Box;
using namespace std::chrono_literals;
using lists_test::QuickBox;
using lists_test::Subkeys;
using scan_cache::ScanCacheRecord;

std::string Field(const char* bytes, std::size_t n) {
  return std::string(bytes, strnlen(bytes, n));
}

ScanCacheRecord Cached(const std::string& name, int protocol, const std::string& address = "",
                       std::array<std::uint8_t, 3> model = {0x00, 0x55, 0x10},
                       std::uint8_t function47 = 0, const std::string& nameText = "") {
  ScanCacheRecord r{};
  std::memcpy(r.szDefaultName, name.data(), std::min<std::size_t>(name.size(), 20));
  r.iProtocol = protocol;
  std::memcpy(r.address, address.data(), std::min<std::size_t>(address.size(), 20));
  std::memcpy(r.hardwareId, model.data(), 3);
  r.functionId[1] = function47;
  std::memcpy(r.szDeviceName, nameText.data(), std::min<std::size_t>(nameText.size(), 20));
  return r;
}

void WriteCache(const char* file, const std::vector<ScanCacheRecord>& records) {
  ASSERT_TRUE(scan_cache::WriteScanFile(file, records.data(), static_cast<int>(records.size())));
}

bool FileExists(const char* file) {
  struct stat st {};
  return ::stat(scan_cache::ScanFilePath(file).c_str(), &st) == 0;
}

// Registry helpers (HKEY_LOCAL_MACHINE).
void SetRaw(const std::string& path, const char* value, DWORD type, const void* data, DWORD size) {
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyEx(HKEY_LOCAL_MACHINE, path.c_str(), KEY_ALL_ACCESS, &key, nullptr),
            ERROR_SUCCESS);
  ASSERT_EQ(RegSetValueEx(key, value, type, static_cast<const BYTE*>(data), size), ERROR_SUCCESS);
  RegCloseKey(key);
}

void SetText(const std::string& path, const char* value, const std::string& text) {
  SetRaw(path, value, REG_SZ, text.c_str(), static_cast<DWORD>(text.size() + 1));
}

// The stored bytes of a value, or nullopt.
std::optional<std::string> ValueBytes(const std::string& path, const char* value) {
  HKEY key = nullptr;
  if (RegOpenKeyEx(HKEY_LOCAL_MACHINE, path.c_str(), KEY_READ, &key) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  char data[256];
  DWORD size = sizeof data;
  DWORD type = 0;
  const LONG rc = RegQueryValueEx(key, value, &type, reinterpret_cast<BYTE*>(data), &size);
  RegCloseKey(key);
  if (rc != ERROR_SUCCESS) return std::nullopt;
  return std::string(data, size);
}

std::string Tcpip(const std::string& sub) { return std::string(kTcpipListKey) + "\\" + sub; }
std::string Internet(const std::string& sub) { return std::string(kInternetListKey) + "\\" + sub; }
std::string Ipx(const std::string& sub) { return std::string(kIpxListKey) + "\\" + sub; }

struct Listed {
  std::string name;
  int protocol;
};

class DeviceLists : public ::testing::Test {
 protected:
  void SetUp() override { device_lists::RestoreTcpipListKey(); }
  void TearDown() override {
    PSExit();
    device_lists::RestoreTcpipListKey();
  }

  // PSBrowse, with each listed name and the protocol of its record.
  std::vector<Listed> Browse() {
    std::vector<char> names(20 * MAX_DEVICE_RECORDS, 'x');
    int count = -1;
    EXPECT_EQ(PSBrowse(names.data(), &count), 0);
    std::vector<Listed> out;
    for (int i = 0; i < count; ++i) {
      const std::string name = Field(names.data() + 20 * i, 20);
      out.push_back({name, QueryDeviceProtocol(name.c_str())});
    }
    return out;
  }

  std::vector<std::string> BrowseNames() {
    std::vector<std::string> out;
    for (const Listed& l : Browse()) out.push_back(l.name);
    return out;
  }

  platform::testing::TempRoot root_;
  // Socket waits block for real up to 3 s, so a slow emulator is never taken for a silent box.
  platform::FakeClock clock_{1765368000000LL, 3000};
  platform::ScopedClock useClock_{&clock_};
};

// Every source in its place: the first record of a name wins in the order IPX cache, IPX
// registry list, TCP/IP cache, NetBIOS cache; the names come out sorted.
TEST_F(DeviceLists, MergeKeepsFirstRecordInSourceOrder) {
  PSInit(7, 5);  // IPX and NetBIOS may be missing here; the browse follows the asked mask
  ASSERT_EQ(console_access::RequestedProtocols(), 7);
  const std::string node("\x00\x00\x00\x01\x00\x40\x01\x1A\x2B\x3C", 10);
  WriteCache(scan_cache::kIpxFile, {Cached("Shared", 1, node), Cached("IpxOnly", 1, node)});
  const std::uint8_t address[20] = {0, 0, 0, 2, 1, 2, 3, 4, 5, 6};
  const std::uint8_t hwid[4] = {0xDE, 0xAD, 0xBE, 0xEF};
  char names[2][20] = {{"Shared"}, {"RegIpx"}};
  char servers[2][50] = {{"SRV1"}, {"SRV2"}};
  std::uint8_t addresses[2][20] = {};
  std::memcpy(addresses[0], address, 20);
  std::memcpy(addresses[1], address, 20);
  std::uint8_t hwids[2][4];
  std::memcpy(hwids[0], hwid, 4);
  std::memcpy(hwids[1], hwid, 4);
  ASSERT_EQ(WriteIpxRegistryList(names[0], servers[0], addresses[0], hwids[0], 2), 2);
  WriteCache(scan_cache::kUdpFile,
             {Cached("Shared", 2, "127.1.2.3"), Cached("RegIpx", 2, "127.1.2.4"),
              Cached("beta", 2, "127.1.2.5")});
  std::string nb = "GAMMA";
  nb.resize(20, '\0');
  nb[19] = 3;
  WriteCache(scan_cache::kNetBiosFile,
             {Cached("Shared", 4, nb), Cached("Gamma", 4, nb), Cached("beta", 4, nb)});

  const std::vector<Listed> listed = Browse();
  std::map<std::string, int> protocols;
  std::vector<std::string> order;
  for (const Listed& l : listed) {
    protocols[l.name] = l.protocol;
    order.push_back(l.name);
  }
  EXPECT_EQ(order, (std::vector<std::string>{"Gamma", "IpxOnly", "RegIpx", "Shared", "beta"}));
  EXPECT_EQ(protocols,
            (std::map<std::string, int>{
                {"Gamma", 4}, {"IpxOnly", 1}, {"RegIpx", 1}, {"Shared", 1}, {"beta", 2}}));

  // The IPX registry record carries network and node, then zeros.
  const DeviceRecord* regIpx = console_access::DeviceAt(FindDeviceIndex("RegIpx"));
  ASSERT_NE(regIpx, nullptr);
  EXPECT_EQ(std::memcmp(regIpx->address, address, 20), 0);
  // The NetBIOS record keeps its LANA byte.
  const DeviceRecord* gamma = console_access::DeviceAt(FindDeviceIndex("Gamma"));
  ASSERT_NE(gamma, nullptr);
  EXPECT_EQ(gamma->address[19], 3);
  EXPECT_EQ(FindDeviceIndex("nobody"), -1);
  EXPECT_EQ(QueryDeviceProtocol("nobody"), -1);
}

TEST_F(DeviceLists, NamesAreSortedBytewiseOverTwentyBytes) {
  PSInit(2, 5);
  const std::vector<std::string> names = {
      "b",          "B",          "a1", "A", "1", "ab", "a", "Zz", "_", "ABCDEFGHIJKLMNOPQRST",
      "ABCDEFGHIJ", "ABCDEFGHIJK"};
  std::vector<ScanCacheRecord> records;
  for (const std::string& n : names) records.push_back(Cached(n, 2, "127.0.0.9"));
  WriteCache(scan_cache::kUdpFile, records);
  EXPECT_EQ(BrowseNames(),
            (std::vector<std::string>{"1", "A", "ABCDEFGHIJ", "ABCDEFGHIJK", "ABCDEFGHIJKLMNOPQRST",
                                      "B", "Zz", "_", "a", "a1", "ab", "b"}));
  // A name of exactly 20 characters is found by that name.
  EXPECT_GE(FindDeviceIndex("ABCDEFGHIJKLMNOPQRST"), 0);
}

TEST_F(DeviceLists, OnlyTheRequestedProtocolsFilesAreReadAndCreated) {
  const struct {
    int mask;
    bool ipx, udp, nb;
  } cases[] = {{1, true, false, false},
               {2, false, true, false},
               {4, false, false, true},
               {6, false, true, true},
               {7, true, true, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.mask);
    platform::testing::TempRoot root;
    PSInit(c.mask, 5);
    EXPECT_TRUE(BrowseNames().empty());
    EXPECT_EQ(FileExists(scan_cache::kIpxFile), c.ipx);
    EXPECT_EQ(FileExists(scan_cache::kUdpFile), c.udp);
    EXPECT_EQ(FileExists(scan_cache::kNetBiosFile), c.nb);
    EXPECT_FALSE(FileExists(scan_cache::kUdp2File));
    PSExit();
  }
}

TEST_F(DeviceLists, UnrequestedFilesContributeNothing) {
  PSInit(2, 5);
  WriteCache(scan_cache::kIpxFile, {Cached("Ipx", 1)});
  WriteCache(scan_cache::kNetBiosFile, {Cached("Nb", 4)});
  WriteCache(scan_cache::kUdp2File, {Cached("Udp2", 8)});
  WriteCache(scan_cache::kUdpFile, {Cached("Udp", 2, "127.0.0.9")});
  EXPECT_EQ(BrowseNames(), (std::vector<std::string>{"Udp"}));
}

// Names the live browse would refuse (control bytes, a backslash, an empty default name) do not
// reach the device table or the look-up table through a cache file either.
TEST_F(DeviceLists, CachedRecordsWithUnstorableNamesArePassedOver) {
  PSInit(2, 5);
  const struct {
    const char* defaultName;
    const char* deviceName;
    bool listed;
  } cases[] = {
      {"KV000001", "Front desk", true},
      {"KV\x01" "00002", "Plain", false},
      {"KV\\00003", "Plain", false},
      {"KV000004", "Tab\there", false},
      {"KV000005", "Back\\slash", false},
      {"KV000006", "Del\x7F", false},
      {"", "No default name", false},
      {"KV000008", "", true},
      {"KV0000090123456789AB", "TwentyCharsDevName12", true},  // both fields full, no NUL
  };
  std::vector<ScanCacheRecord> records;
  std::vector<std::string> expected;
  for (const auto& c : cases) {
    records.push_back(Cached(c.defaultName, 2, "127.0.0.9", {0x00, 0x55, 0x10}, 0, c.deviceName));
    if (c.listed) expected.push_back(Field(c.defaultName, 20));
  }
  WriteCache(scan_cache::kUdpFile, records);
  EXPECT_EQ(BrowseNames(), expected);
  std::uint8_t info[32] = {};
  std::uint8_t function[2] = {};
  char text[20] = {};
  EXPECT_EQ(GetCacheDetails(info, function, text, "KV000004"), 0);
  EXPECT_EQ(GetCacheDetails(info, function, text, "KV000001"), 1);
}

TEST_F(DeviceLists, CachedIdentificationIsKeptUntilTheNextBrowse) {
  PSInit(2, 5);
  WriteCache(scan_cache::kUdpFile,
             {Cached("KV1A2B3C", 2, "127.0.0.9", {0x00, 0xB5, 0x00}, 0x02, "Front desk")});
  Browse();
  std::uint8_t info[32] = {};
  std::uint8_t function[2] = {};
  char text[20] = {};
  ASSERT_EQ(GetCacheDetails(info, function, text, "KV1A2B3C"), 1);
  EXPECT_EQ(info[0], 0x00);
  EXPECT_EQ(info[1], 0xB5);
  EXPECT_EQ(function[1], 0x02);
  EXPECT_EQ(Field(text, 20), "Front desk");
  EXPECT_EQ(GetCacheDetails(info, function, text, "KV000000"), 0);

  Browse();
  PSExit();  // releases the look-up table with the library's other tables
  EXPECT_EQ(device_lists::LookupCount(), 0);
  EXPECT_EQ(GetCacheDetails(info, function, text, "KV1A2B3C"), 0);

  PSInit(2, 5);
  WriteCache(scan_cache::kUdpFile, {});
  Browse();
  EXPECT_EQ(GetCacheDetails(info, function, text, "KV1A2B3C"), 0);
}

// Three full files and both registry lists: the device table stops at 384 records and the
// look-up table at 1,152 entries.
TEST_F(DeviceLists, FullSourcesStopAtTheTableLimits) {
  PSInit(7, 5);
  auto fill = [](char prefix, int protocol) {
    std::vector<ScanCacheRecord> records;
    for (int i = 0; i < MAX_DEVICE_RECORDS; ++i) {
      records.push_back(Cached(std::string(1, prefix) + std::to_string(1000 + i), protocol));
    }
    return records;
  };
  WriteCache(scan_cache::kIpxFile, fill('I', 1));
  WriteCache(scan_cache::kUdpFile, fill('T', 2));
  WriteCache(scan_cache::kNetBiosFile, fill('N', 4));
  char name[20] = "Extra";
  char server[50] = "S";
  std::uint8_t address[20] = {};
  std::uint8_t hwid[4] = {};
  ASSERT_EQ(WriteIpxRegistryList(name, server, address, hwid, 1), 1);

  const std::vector<std::string> names = BrowseNames();
  ASSERT_EQ(names.size(), static_cast<std::size_t>(MAX_DEVICE_RECORDS));
  EXPECT_EQ(names.front(), "I1000");
  EXPECT_EQ(names.back(), "I1383");
  EXPECT_EQ(device_lists::LookupCount(), MAX_LOOKUP_ENTRIES);
  EXPECT_EQ(FindDeviceIndex("Extra"), -1);

  // Adding by address is refused as well and stores nothing.
  Box box(QuickBox());
  DeviceRecord added{};
  EXPECT_EQ(PSAddUDP(box.Address().c_str(), &added), 0);
  EXPECT_EQ(console_access::DeviceCount(), MAX_DEVICE_RECORDS);
  EXPECT_TRUE(Subkeys(kTcpipListKey).empty());
}

// The TCP/IP registry list: answering boxes are listed under the name they answer with, entries
// of boxes that do not answer are deleted, entries without a readable address are left alone.
TEST_F(DeviceLists, TcpipRegistryEntriesAreCheckedWithTheBoxes) {
  PSInit(2, 5);
  Box on(QuickBox());
  Box on2(QuickBox());
  Box off(QuickBox());
  Box silent(QuickBox());
  off.SwitchOff();
  box_emulator::FaultPlan hang;
  hang.neverReply = true;
  silent.InjectFault(hang);
  SetText(Tcpip("stale-name"), "Address", on.Address());
  SetText(Tcpip("switched-off"), "Address", off.Address());
  SetText(Tcpip("silent"), "Address", silent.Address());
  SetRaw(Tcpip("no-nul"), "Address", REG_SZ, on2.Address().data(),
         static_cast<DWORD>(on2.Address().size()));                     // stored without its NUL
  SetRaw(Tcpip("sixteen"), "Address", REG_SZ, "127.000.000.0001", 16);  // no room for a NUL
  SetText(Tcpip("too-long"), "Address", "127.000.000.00001");
  const DWORD number = 0x7F000001;
  SetRaw(Tcpip("dword"), "Address", REG_DWORD, &number, sizeof number);
  SetText(Tcpip("no-address"), "Other", "x");
  // An entry that cannot be deleted (it has a subkey) is passed over, not asked again and again.
  SetText(Tcpip("has-child"), "Address", off.Address());
  SetText(Tcpip("has-child\\child"), "Other", "x");

  const std::int64_t waitedBefore = clock_.WaitedMs();
  std::vector<std::string> expected = {on.DefaultName(), on2.DefaultName()};
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(BrowseNames(), expected);
  EXPECT_EQ(Subkeys(kTcpipListKey),
            (std::vector<std::string>{"stale-name", "no-nul", "sixteen", "too-long", "dword",
                                      "no-address", "has-child"}));
  // The silent box cost its 20-second wait on the platform clock.
  EXPECT_GE(clock_.WaitedMs() - waitedBefore, 20000);
  EXPECT_EQ(QueryDeviceProtocol(on.DefaultName().c_str()), TYPE_TCPIP);
  // Its answer stands in for a cache record.
  std::uint8_t info[32] = {};
  std::uint8_t function[2] = {};
  char text[20] = {};
  ASSERT_EQ(GetCacheDetails(info, function, text, on.DefaultName().c_str()), 1);
  const auto block = on.DeviceInfoBlock();
  EXPECT_EQ(std::memcmp(info, block.data() + 4, 32), 0);
  EXPECT_EQ(std::memcmp(function, block.data() + 46, 2), 0);
  EXPECT_EQ(Field(text, 20), on.DeviceName());
  // The listed box answers requests at its registered address.
  char reply[256];
  int length = 0;
  EXPECT_EQ(PSISendResp(on.DefaultName().c_str(), "9007:\n", 6, reply, &length, sizeof reply), 0);
  EXPECT_EQ(length, 164);
}

TEST_F(DeviceLists, BoxAddedByAddressIsStoredOnceAndListedLater) {
  PSInit(2, 5);
  Box box(QuickBox());
  EXPECT_TRUE(BrowseNames().empty());
  DeviceRecord record{};
  ASSERT_EQ(PSAddUDP(box.Address().c_str(), &record), 1);
  EXPECT_EQ(Field(record.szName, 20), box.DefaultName());
  EXPECT_EQ(record.iProtocol, TYPE_TCPIP);
  EXPECT_EQ(Field(reinterpret_cast<const char*>(record.address), 20), box.Address());
  EXPECT_EQ(console_access::DeviceCount(), 1);
  EXPECT_EQ(ValueBytes(Tcpip(box.DefaultName()), "Address"), box.Address() + std::string(1, '\0'));

  // Another box answering with the same name is refused: nothing changes anywhere.
  Box twin(QuickBox());
  twin.SetDefaultName(box.DefaultName());
  DeviceRecord second{};
  EXPECT_EQ(PSAddUDP(twin.Address().c_str(), &second), 0);
  EXPECT_EQ(console_access::DeviceCount(), 1);
  EXPECT_EQ(Subkeys(kTcpipListKey), (std::vector<std::string>{box.DefaultName()}));
  EXPECT_EQ(ValueBytes(Tcpip(box.DefaultName()), "Address"), box.Address() + std::string(1, '\0'));

  // A later browse lists the box through the registry list.
  EXPECT_EQ(BrowseNames(), (std::vector<std::string>{box.DefaultName()}));
}

TEST_F(DeviceLists, AddByAddressRefusesWhatCannotBeStored) {
  PSInit(2, 5);
  Box off(QuickBox());
  off.SwitchOff();
  Box backslash(QuickBox());
  backslash.SetDefaultName("KV\\12");
  Box control(QuickBox());
  control.SetDefaultName("KV\t12");
  const std::string cases[] = {"",
                               "127.0.0.1\n",
                               "127.000.000.00001",
                               off.Address(),
                               backslash.Address(),
                               control.Address()};
  for (const std::string& ip : cases) {
    SCOPED_TRACE(ip);
    DeviceRecord record{};
    EXPECT_EQ(PSAddUDP(ip.c_str(), &record), 0);
    EXPECT_EQ(PSIAddUDP(ip.c_str()), 0);
  }
  EXPECT_EQ(console_access::DeviceCount(), 0);
  EXPECT_TRUE(Subkeys(kTcpipListKey).empty());
  EXPECT_TRUE(Subkeys(kInternetListKey).empty());
  EXPECT_EQ(backslash.RequestCount(), 2u);  // asked, then refused for its name
}

TEST_F(DeviceLists, RegisteringByAddressMovesTheListToTheInternetKey) {
  PSInit(2, 5);
  Box old(QuickBox());
  Box box(QuickBox());
  SetText(Tcpip("old"), "Address", old.Address());
  ASSERT_EQ(PSIAddUDP(box.Address().c_str()), 1);
  EXPECT_STREQ(device_lists::CurrentTcpipListKey(), kInternetListKey);
  EXPECT_EQ(console_access::DeviceCount(), 0);
  EXPECT_EQ(ValueBytes(Internet(box.DefaultName()), "Address"),
            box.Address() + std::string(1, '\0'));
  // From now on the browse reads the Internet key only.
  EXPECT_EQ(BrowseNames(), (std::vector<std::string>{box.DefaultName()}));
  EXPECT_EQ(old.RequestCount(), 0u);

  // PSBrowseRecords lists whole records (it too uses the Internet key).
  device_lists::RestoreTcpipListKey();
  std::vector<DeviceRecord> records(MAX_DEVICE_RECORDS);
  int count = 0;
  ASSERT_EQ(PSBrowseRecords(records.data(), &count), 0);
  ASSERT_EQ(count, 1);
  EXPECT_EQ(Field(records[0].szName, 20), box.DefaultName());
  EXPECT_EQ(Field(reinterpret_cast<const char*>(records[0].address), 20), box.Address());
  EXPECT_STREQ(device_lists::CurrentTcpipListKey(), kInternetListKey);
}

TEST_F(DeviceLists, AddressUpdateReachesTheBoxAtItsNewAddress) {
  PSInit(2, 5);
  Box box(QuickBox());
  const std::string name = box.DefaultName();
  std::string newAddress;
  {
    Box probe(QuickBox());
    newAddress = probe.Address();
  }
  DeviceRecord record{};
  ASSERT_EQ(PSAddUDP(box.Address().c_str(), &record), 1);
  char reply[10240];
  int length = 0;
  const std::string move = "4000 :" + newAddress + "\n";
  ASSERT_EQ(PSISendResp(name.c_str(), move.data(), static_cast<int>(move.size()), reply, &length,
                        sizeof reply),
            0);
  ASSERT_EQ(PSISendResp(name.c_str(), "9002:\n", 6, reply, &length, sizeof reply), 0);
  ASSERT_TRUE(box.WaitForRestarts(1, 10s));
  ASSERT_EQ(box.Address(), newAddress);
  EXPECT_EQ(PSISendResp(name.c_str(), "9007:\n", 6, reply, &length, sizeof reply), ERR_NETWORK);

  UpdateDeviceAddress(name.c_str(), "IGNORED", newAddress.c_str());
  EXPECT_EQ(PSISendResp(name.c_str(), "9007:\n", 6, reply, &length, sizeof reply), 0);
  EXPECT_EQ(length, 164);
}

TEST_F(DeviceLists, AddressUpdateFollowsTheRecordsProtocol) {
  PSInit(6, 5);
  std::string nb = "OLDNAME";
  nb.resize(20, '\0');
  nb[19] = 5;
  WriteCache(scan_cache::kNetBiosFile, {Cached("Nb", 4, nb)});
  WriteCache(scan_cache::kUdpFile, {Cached("Tcp", 2, "10.0.0.1")});
  Browse();
  auto address = [](const char* name) {
    const DeviceRecord* r = console_access::DeviceAt(FindDeviceIndex(name));
    return std::string(reinterpret_cast<const char*>(r->address), 20);
  };
  auto padded = [](std::string s, char last) {
    s.resize(20, '\0');
    s[19] = last;
    return s;
  };
  const struct {
    const char* name;
    const char* netbios;
    const char* ip;
    std::string expected;
  } cases[] = {
      {"Nb", "A-VERY-LONG-DEVICE-NAME", "10.0.0.2", padded("A-VERY-LONG-DEV", 5)},
      {"Nb", nullptr, nullptr, padded("A-VERY-LONG-DEV", 5)},
      {"Nb", "SHORT", nullptr, padded("SHORT", 5)},
      {"Tcp", "SHORT", "10.0.0.22", padded("10.0.0.22", 0)},
      {"Tcp", nullptr, "10.000.000.00022", padded("10.0.0.22", 0)},  // too long: no change
      {"Tcp", nullptr, "10.0.0.3\n", padded("10.0.0.22", 0)},
      {"Tcp", nullptr, "", padded("10.0.0.22", 0)},
      {"Tcp", nullptr, "10.0.0.4", padded("10.0.0.4", 0)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.name) + " " + (c.netbios ? c.netbios : "-") + " " +
                 (c.ip ? c.ip : "-"));
    UpdateDeviceAddress(c.name, c.netbios, c.ip);
    EXPECT_EQ(address(c.name), c.expected);
  }
  UpdateDeviceAddress("Unknown", "X", "10.0.0.5");  // no record: nothing happens
}

TEST_F(DeviceLists, IpxRegistryListReadsWhatItsWriterWrote) {
  PSInit(1, 5);
  char names[4][20] = {{"KV000001"}, {"KV\\bad"}, {"KV000003"}, {}};
  std::memcpy(names[3], "ABCDEFGHIJKLMNOPQRST", 20);  // fills its field
  char servers[4][50] = {{"Server one"}, {"S2"}, {"Line\nbreak"}, {}};
  std::memset(servers[3], 'S', 50);  // no NUL: 49 characters are taken
  std::uint8_t addresses[4][20] = {};
  for (int i = 0; i < 4; ++i) {
    for (int b = 0; b < 10; ++b) addresses[i][b] = static_cast<std::uint8_t>(0xA0 + 16 * i + b);
    addresses[i][15] = 0x77;  // beyond the 10 bytes that are kept
  }
  std::uint8_t hwids[4][4] = {{0x00, 0x55, 0x10, 0x01}, {}, {}, {0xFF, 0, 0, 0x0F}};
  ASSERT_EQ(WriteIpxRegistryList(names[0], servers[0], addresses[0], hwids[0], 4), 2);
  EXPECT_EQ(Subkeys(kIpxListKey),
            (std::vector<std::string>{"DeviceCnt", "KV000001", "ABCDEFGHIJKLMNOPQRST"}));
  DWORD two = 2;
  EXPECT_EQ(ValueBytes(Ipx("DeviceCnt"), "DeviceCount"),
            std::string(reinterpret_cast<const char*>(&two), 4));
  EXPECT_EQ(ValueBytes(Ipx("KV000001"), "Address"), std::string("A0A1A2A3A4A5A6A7A8A9") + '\0');
  EXPECT_EQ(ValueBytes(Ipx("KV000001"), "HWID"), std::string("00551001") + '\0');
  EXPECT_EQ(ValueBytes(Ipx("KV000001"), "ServerName"), std::string("Server one") + '\0');
  EXPECT_EQ(ValueBytes(Ipx("ABCDEFGHIJKLMNOPQRST"), "ServerName"), std::string(49, 'S') + '\0');

  const std::vector<Listed> listed = Browse();
  ASSERT_EQ(listed.size(), 2u);
  EXPECT_EQ(listed[0].name, "ABCDEFGHIJKLMNOPQRST");
  EXPECT_EQ(listed[1].name, "KV000001");
  const DeviceRecord* r = console_access::DeviceAt(FindDeviceIndex("KV000001"));
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(r->iProtocol, TYPE_IPXSPX);
  std::uint8_t expected[20] = {};
  std::memcpy(expected, addresses[0], 10);
  EXPECT_EQ(std::memcmp(r->address, expected, 20), 0);
}

TEST_F(DeviceLists, IpxRegistryEntriesWithBadValuesAreSkipped) {
  PSInit(1, 5);
  DWORD one = 1;
  SetRaw(Ipx("DeviceCnt"), "DeviceCount", REG_DWORD, &one, sizeof one);
  auto entry = [](const std::string& name, const std::string& address, const std::string& hwid) {
    SetText(Ipx(name), "ServerName", "S");
    SetRaw(Ipx(name), "Address", REG_SZ, address.data(), static_cast<DWORD>(address.size()));
    if (!hwid.empty())
      SetRaw(Ipx(name), "HWID", REG_SZ, hwid.data(), static_cast<DWORD>(hwid.size()));
  };
  entry("NoNul", "00000001000000000001", "00000001");  // values without their NUL: fine
  entry("Short", std::string("0000000100000000001") + '\0', "00000001");
  entry("NotHex", std::string("0000000100000000000G") + '\0', "00000001");
  entry("LongAddr", std::string(65, '0'), "00000001");
  entry("SixDigitId", std::string("00000001000000000001") + '\0', "000000");
  entry("NoId", std::string("00000001000000000001") + '\0', "");
  entry("ABCDEFGHIJKLMNOPQRSTU", std::string("00000001000000000001") + '\0', "00000001");
  entry("Fine", std::string("00000001000000000002") + '\0', std::string("0A0B0C0D") + '\0');
  SetText(Ipx("NoServer"), "Address", "00000001000000000003");
  SetText(Ipx("NoServer"), "HWID", "00000001");

  EXPECT_EQ(BrowseNames(), (std::vector<std::string>{"Fine", "NoNul"}));

  // Without the count the list is not read at all.
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyEx(HKEY_LOCAL_MACHINE, Ipx("DeviceCnt").c_str(), KEY_ALL_ACCESS, &key),
            ERROR_SUCCESS);
  RegDeleteValue(key, "DeviceCount");
  RegCloseKey(key);
  EXPECT_TRUE(BrowseNames().empty());
}

}  // namespace

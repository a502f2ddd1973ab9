// The live IPX routines end to end: emulated boxes and NetWare servers answering the service query
// over the IPX stand-in, boxes advertising themselves to a passive listener, and the management
// protocol over SPX through the device-API object.
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <list>
#include <memory>
#include <thread>
#include <vector>

#include "device_client/api/print_server_utility.h"
#include "device_client/api/tests/config_round_trip.h"
#include "device_client/device_lists/device_lists.h"
#include "device_client/live_discovery/tests/live_test_support.h"
#include "platform/ipx/ipx.h"
#include "platform/registry.h"
#include "tools/box_emulator/box_emulator.h"
#include "tools/box_emulator/ipx_discovery.h"

namespace live_test {
namespace {

using namespace std::chrono_literals;

std::string BoxAddress(int last) {
  static const std::string base = "127.66." + std::to_string(RandomByte()) + ".";
  return base + std::to_string(last);
}

box_emulator::BoxOptions QuickRestart() {
  box_emulator::BoxOptions o;
  o.restartWindow = 0ms;
  return o;
}

class IpxLive : public LiveTest {
 protected:
  std::vector<std::string> Names(int type, int capacity, int* rc) {
    std::vector<char> area(static_cast<std::size_t>(capacity) * SAP_NAME_SIZE + 1, '\x7F');
    int count = -1;
    *rc = QuerySAP(type, area.data(), nullptr, &count, capacity);
    std::vector<std::string> out;
    for (int i = 0; i < count; ++i) out.push_back(Text(&area[static_cast<std::size_t>(i) * SAP_NAME_SIZE], SAP_NAME_SIZE));
    EXPECT_EQ(area.back(), '\x7F') << "written past the capacity";
    return out;
  }

  void SetUp() override {
    LiveTest::SetUp();  // the stand-in's ports first: the responder opens its socket on them
    ipx_ = std::make_unique<box_emulator::IpxDiscovery>();
  }

  std::unique_ptr<box_emulator::IpxDiscovery> ipx_;
};

// Declared after the boxes of a test: stops the responder before those boxes go.
struct StopResponderFirst {
  std::unique_ptr<box_emulator::IpxDiscovery>& responder;
  ~StopResponderFirst() { responder.reset(); }
};

TEST_F(IpxLive, FileServersAndTreesAreListedOnceEachByType) {
  ipx_->AddServer(wire::kFileServerSapType, "FS-MAIN");
  ipx_->AddServer(wire::kFileServerSapType, "FS_ARCHIVE");
  ipx_->AddServer(wire::kNdsTreeSapType, "ACME_CORP");
  ipx_->AddServer(wire::kNdsTreeSapType, "LAB");
  ipx_->AddServer(0x0007, "PRINT-Q");  // another service type

  struct Case {
    int type;
    std::vector<std::string> expected;
  };
  const Case cases[] = {
      {SAP_QUERY_FILE_SERVER, {"FS-MAIN", "FS_ARCHIVE"}},
      {SAP_QUERY_NDS_TREE, {"ACME_CORP", "LAB"}},  // padding '_' and what follows it cut
  };
  for (const Case& c : cases) {
    int rc = 99;
    EXPECT_EQ(Names(c.type, 384, &rc), c.expected) << c.type;
    EXPECT_EQ(rc, 0);
  }
}

TEST_F(IpxLive, The385thDistinctNameFindsTheListFull) {
  for (int i = 0; i < 385; ++i) ipx_->AddServer(wire::kFileServerSapType, "FS" + std::to_string(1000 + i));
  int rc = 0;
  const auto names = Names(SAP_QUERY_FILE_SERVER, 384, &rc);
  EXPECT_EQ(rc, ERR_LIST_FULL);
  ASSERT_EQ(names.size(), 384u);
  EXPECT_EQ(names.front(), "FS1000");
  EXPECT_EQ(names.back(), "FS1383");

  // A smaller array is full at its own size.
  EXPECT_EQ(Names(SAP_QUERY_FILE_SERVER, 10, &rc).size(), 10u);
  EXPECT_EQ(rc, ERR_LIST_FULL);
}

TEST_F(IpxLive, BoxAnsweringEverySendAndAdvertisingTwiceIsOneRecord) {
  box_emulator::IpxDiscovery::Entry twice;
  box_emulator::Box box(QuickRestart());
  twice.address = BoxAddress(1);
  twice.block = box.DeviceInfoBlock();
  twice.advertisements = 2;
  ASSERT_TRUE(ipx_->Add(twice));

  DeviceRecord records[4] = {};
  int count = 0;
  ASSERT_EQ(QuerySAP(SAP_QUERY_PRINT_SERVER, nullptr, records, &count, 4), 0);
  ASSERT_EQ(count, 1);
  EXPECT_EQ(ipx_->QueryCount(), 3u);  // the query and its two repeats
  const DeviceRecord& r = records[0];
  const std::uint8_t expected[10] = {0x00, 0x00, 0xAB, 0xCD, 0x02, 0x00, 127, 66,
                                     static_cast<std::uint8_t>(std::stoi(BoxAddress(1).substr(7))), 1};
  EXPECT_EQ(std::memcmp(r.address, expected, 10), 0);
  char name[9];
  std::snprintf(name, sizeof name, "KL%02X%02X%02X", expected[7], expected[8], expected[9]);
  EXPECT_EQ(Text(r.szName, 20), name);
  EXPECT_EQ(r.iProtocol, TYPE_IPXSPX);
}

TEST_F(IpxLive, QuietNetworkEndsTheListeningAfter51Rounds) {
  std::vector<BrowseEntry> entries(8);
  int count = -1;
  EXPECT_EQ(ListenIPXDevice(entries.data(), &count, 8), 3);
  EXPECT_EQ(count, 0);
  EXPECT_EQ(clock_.WaitedMs(), 51 * 2000);
}

TEST_F(IpxLive, AQueryHeardWhileListeningIsNoBox) {
  // After the first silent round another station asks for print servers: its 4-byte query
  // reaches the listener, ends a round early and adds nothing.
  const int asker = IpxSocket(SOCK_DGRAM, 4);
  ASSERT_GE(asker, 0);
  ASSERT_EQ(IpxSetBroadcast(asker, true), 0);
  bool asked = false;
  clock_.onElapsed = [&] {
    if (asked) return;
    asked = true;
    const std::uint8_t zero[4] = {};
    const std::uint8_t all[6] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    const SOCKADDR_IPX to = IpxMakeAddress(zero, all, wire::kSapSocket);
    const std::uint8_t query[4] = {0x00, 0x01, 0x86, 0x8B};
    IpxSendTo(asker, query, 4, &to);
  };
  std::vector<BrowseEntry> entries(8);
  int count = -1;
  EXPECT_EQ(ListenIPXDevice(entries.data(), &count, 8), 3);
  clock_.onElapsed = nullptr;
  IpxClose(asker);
  EXPECT_EQ(count, 0);
  EXPECT_EQ(clock_.WaitedMs(), 50 * 2000);  // one of the 51 rounds ended with the datagram
}

// One 64-byte service entry: type (big-endian), name, network 0000ABCD, node 02 00 0A 00 00 nodeLast.
std::vector<std::uint8_t> ServiceEntry(std::uint16_t type, std::uint8_t nodeLast) {
  std::vector<std::uint8_t> e(64, 0);
  e[0] = static_cast<std::uint8_t>(type >> 8);
  e[1] = static_cast<std::uint8_t>(type & 0xFF);
  std::memcpy(e.data() + 2, "SRV", 3);
  const std::uint8_t net[4] = {0x00, 0x00, 0xAB, 0xCD};
  std::memcpy(e.data() + 50, net, 4);
  const std::uint8_t node[6] = {0x02, 0x00, 0x0A, 0x00, 0x00, nodeLast};
  std::memcpy(e.data() + 54, node, 6);
  return e;
}

TEST_F(IpxLive, ListeningTakesBoxTypedEntriesAndEveryEntryFromABoxNode) {
  // Two stations answer while the listener runs: one whose node carries the boxes' prefix
  // 02A7C4 (each of its entries counts, whatever the type) and an ordinary one (only its
  // print-server entry counts).
  const std::uint8_t zero[4] = {};
  const std::uint8_t all[6] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
  const std::uint8_t boxNode[6] = {0x02, 0xA7, 0xC4, 0x12, 0x34, 0x56};
  const int boxStation = IpxSocket(SOCK_DGRAM, 4);
  const int plainStation = IpxSocket(SOCK_DGRAM, 4);
  ASSERT_GE(boxStation, 0);
  ASSERT_GE(plainStation, 0);
  const SOCKADDR_IPX boxLocal = IpxMakeAddress(zero, boxNode, 0);
  ASSERT_EQ(IpxBind(boxStation, &boxLocal), 0);
  ASSERT_EQ(IpxSetBroadcast(boxStation, true), 0);
  ASSERT_EQ(IpxSetBroadcast(plainStation, true), 0);
  auto answer = [](std::initializer_list<std::vector<std::uint8_t>> entries) {
    std::vector<std::uint8_t> out = {0x00, 0x02};
    for (const auto& e : entries) out.insert(out.end(), e.begin(), e.end());
    return out;
  };
  const auto fromBox = answer({ServiceEntry(wire::kFileServerSapType, 1), ServiceEntry(0x0007, 2)});
  const auto fromPlain = answer({ServiceEntry(wire::kFileServerSapType, 3),
                                 ServiceEntry(wire::kBoxSapServerType, 4),
                                 ServiceEntry(wire::kBoxSapServerType, 1)});  // node already listed
  bool sent = false;
  clock_.onElapsed = [&] {
    if (sent) return;
    sent = true;
    const SOCKADDR_IPX to = IpxMakeAddress(zero, all, wire::kSapSocket);
    IpxSendTo(boxStation, fromBox.data(), static_cast<int>(fromBox.size()), &to);
    IpxSendTo(plainStation, fromPlain.data(), static_cast<int>(fromPlain.size()), &to);
  };

  struct Case {
    int capacity;
    std::vector<std::uint8_t> nodeLasts;
  };
  for (const Case& c : {Case{8, {1, 2, 4}}, Case{2, {1, 2}}}) {
    sent = false;
    std::vector<BrowseEntry> entries(static_cast<std::size_t>(c.capacity) + 1);
    std::memset(entries.data(), 0x7F, entries.size() * sizeof(BrowseEntry));
    int count = -1;
    EXPECT_EQ(ListenIPXDevice(entries.data(), &count, c.capacity), 0);
    ASSERT_EQ(count, static_cast<int>(c.nodeLasts.size())) << c.capacity;
    for (std::size_t i = 0; i < c.nodeLasts.size(); ++i) {
      char name[9];
      std::snprintf(name, sizeof name, "KL0000%02X", c.nodeLasts[i]);
      EXPECT_EQ(Text(entries[i].szName, 20), name);
      EXPECT_EQ(entries[i].address[9], c.nodeLasts[i]);
      EXPECT_EQ(entries[i].address[3], 0xCD);
    }
    EXPECT_EQ(reinterpret_cast<const std::uint8_t*>(&entries.back())[0], 0x7F) << "written past the capacity";
  }
  clock_.onElapsed = nullptr;
  IpxClose(boxStation);
  IpxClose(plainStation);
}

// A box on SPX socket 0x0404 of its own node that answers the connections made to it in turn with
// scripted replies (data behind one 4-byte reply header; an empty script entry: an error reply).
class ScriptedSpxBox {
 public:
  ScriptedSpxBox(const std::uint8_t (&node)[6], std::vector<std::string> replies)
      : replies_(std::move(replies)) {
    SOCKADDR_IPX own{};
    IpxLocalAddress(&own);
    std::memcpy(net_, own.sa_netnum, 4);
    std::memcpy(node_, node, 6);
    listener_ = IpxSocket(SOCK_STREAM);
    const SOCKADDR_IPX at = IpxMakeAddress(net_, node_, wire::kSpxSocket);
    if (listener_ >= 0 && IpxBind(listener_, &at) == 0 && IpxListen(listener_, 4) == 0) {
      thread_ = std::thread([this] { Serve(); });
    }
  }
  ~ScriptedSpxBox() {
    if (listener_ >= 0) ::shutdown(listener_, SHUT_RDWR);
    if (thread_.joinable()) thread_.join();
    if (listener_ >= 0) IpxClose(listener_);
  }
  bool listening() const { return thread_.joinable(); }
  BrowseEntry Entry() const {
    BrowseEntry e{};
    e.iProtocol = TYPE_IPXSPX;
    std::memcpy(e.address, net_, 4);
    std::memcpy(e.address + 4, node_, 6);
    return e;
  }
  std::vector<std::string> Requests() {
    if (thread_.joinable()) thread_.join();
    return requests_;
  }

 private:
  static bool ReadAll(int fd, std::uint8_t* p, std::size_t n) {
    while (n > 0) {
      const ssize_t got = ::recv(fd, p, n, 0);
      if (got <= 0) return false;
      p += got;
      n -= static_cast<std::size_t>(got);
    }
    return true;
  }
  void Serve() {
    for (const std::string& reply : replies_) {
      const int c = IpxAccept(listener_, nullptr);
      if (c < 0) return;
      std::uint8_t head[4];
      std::string request;
      if (ReadAll(c, head, 4)) {
        request.resize(static_cast<std::size_t>(head[2] | (head[3] << 8)));
        if (!ReadAll(c, reinterpret_cast<std::uint8_t*>(request.data()), request.size())) request.clear();
      }
      requests_.push_back(request);
      std::string out;
      out += '\0';
      out += reply.empty() ? '\1' : '\0';
      out += static_cast<char>(reply.size() & 0xFF);
      out += static_cast<char>(reply.size() >> 8);
      out += reply;
      (void)::send(c, out.data(), out.size(), MSG_NOSIGNAL);
      ::close(c);
    }
  }

  std::uint8_t net_[4] = {};
  std::uint8_t node_[6] = {};
  std::vector<std::string> replies_;
  std::vector<std::string> requests_;
  int listener_ = -1;
  std::thread thread_;
};

TEST_F(IpxLive, LongerNameTextIsTakenFromAWholeOrShortExtendedAnswer) {
  // The device-information block offers the longer name (byte 47 bit 1); the "9701:" answer
  // carries it from byte 96 on, at most 50 bytes of it.
  box_emulator::Box box(QuickRestart());
  box.SetDeviceName("Short-Name");
  box.SetFunctionFlags(wire::pid::kFuncExtendedName);
  const auto block = box.DeviceInfoBlock();
  const std::string blockText(reinterpret_cast<const char*>(block.data()), block.size());
  const std::string longName = "Second-Floor-Copy-Room-Printer-Near-The-Stairs-0123456789";  // 57

  struct Case {
    const char* label;
    std::string extended;  // the "9701:" answer ("" = error reply)
    std::string expected;  // the entry's name text
  };
  const Case cases[] = {
      {"whole", std::string(96, '\0') + longName, longName.substr(0, 50)},
      {"short", std::string(96, '\0') + "Lobby", "Lobby"},
      {"only_header_part", std::string(96, 'x'), "Short-Name"},
      {"error", "", "Short-Name"},
      {"too_long_for_the_reply_buffer", std::string(96, '\0') + std::string(300, 'L'), "Short-Name"},
  };
  std::uint8_t last = 1;
  for (const Case& c : cases) {
    const std::uint8_t node[6] = {0x02, 0x00, 127, 67, RandomByte(), last++};
    ScriptedSpxBox peer(node, {blockText, c.extended});
    ASSERT_TRUE(peer.listening()) << c.label;
    BrowseEntry e = peer.Entry();
    ASSERT_EQ(GetDefNameSPX(&e), 1) << c.label;
    EXPECT_EQ(Text(e.szName, 20), box.DefaultName()) << c.label;
    EXPECT_EQ(std::string(e.szServerName, strnlen(e.szServerName, 50)), c.expected) << c.label;
    EXPECT_EQ(peer.Requests(), (std::vector<std::string>{"9007:\n", "9701:"})) << c.label;
  }
}

std::string ReadRegistryText(const std::string& key, const char* value) {
  HKEY k = nullptr;
  if (RegOpenKeyEx(HKEY_LOCAL_MACHINE, key.c_str(), KEY_READ, &k) != ERROR_SUCCESS) return "<no key>";
  char buffer[128] = {};
  DWORD size = sizeof buffer - 1;
  DWORD type = 0;
  const LONG rc = RegQueryValueEx(k, value, &type, reinterpret_cast<BYTE*>(buffer), &size);
  RegCloseKey(k);
  return rc == ERROR_SUCCESS ? Text(buffer, size) : "<no value>";
}

TEST_F(IpxLive, LiveBrowseListsAdvertisingBoxesThatAnswerOverSpx) {
  ASSERT_EQ(PSInit(TYPE_IPXSPX, 20), 0);
  box_emulator::BoxOptions a = QuickRestart();
  a.address = BoxAddress(11);
  box_emulator::BoxOptions b = QuickRestart();
  b.address = BoxAddress(12);
  box_emulator::Box first(a), second(b);
  StopResponderFirst stop{ipx_};
  first.SetDeviceName("Zeta-Room");
  second.SetDeviceName("Alpha-Room");
  second.SetModelCode(0x00, 0x66, 0x21);
  ASSERT_TRUE(ipx_->AddBox(&first));
  ASSERT_TRUE(ipx_->AddBox(&second));
  box_emulator::IpxDiscovery::Entry mute;  // advertises, takes no SPX connection
  mute.address = BoxAddress(13);
  mute.block = first.DeviceInfoBlock();
  mute.answersSpx = false;
  ASSERT_TRUE(ipx_->Add(mute));
  ipx_->AdvertiseEvery(30);

  char names[4 * 20];
  char servers[4 * 50];
  std::uint8_t addresses[4 * 20];
  std::uint8_t hardware[4 * 4];
  int count = 0;
  ASSERT_EQ(PSBrowseIPX(names, servers, addresses, hardware, &count, 4), 0);
  ASSERT_EQ(count, 2);
  std::vector<box_emulator::Box*> sorted = {&first, &second};
  std::sort(sorted.begin(), sorted.end(), [](auto* x, auto* y) { return x->DefaultName() < y->DefaultName(); });
  for (int i = 0; i < 2; ++i) {
    const auto block = sorted[static_cast<std::size_t>(i)]->DeviceInfoBlock();
    EXPECT_EQ(Text(names + i * 20, 20), sorted[static_cast<std::size_t>(i)]->DefaultName());
    EXPECT_EQ(Text(servers + i * 50, 50), sorted[static_cast<std::size_t>(i)]->DeviceName());
    EXPECT_EQ(std::memcmp(hardware + i * 4, block.data() + 4, 3), 0);
    EXPECT_EQ(hardware[i * 4 + 3], 0);
    EXPECT_EQ(addresses[i * 20 + 4], 0x02);
    const std::int32_t protocol = live_discovery::BrowseAt(i)->iProtocol;  // a packed field
    EXPECT_EQ(protocol, TYPE_IPXSPX);
  }
  EXPECT_EQ(live_discovery::BrowseCount(), 2);

  // The IPX registry list and the device table hold both boxes.
  const std::string key = std::string(kIpxListKey) + "\\" + first.DefaultName();
  EXPECT_EQ(ReadRegistryText(key, "ServerName"), "Zeta-Room");
  EXPECT_EQ(ReadRegistryText(key, "Address").substr(0, 8), kNetwork);
  EXPECT_EQ(console_access::DeviceCount(), 2);
  EXPECT_GE(FindDeviceIndex(first.DefaultName().c_str()), 0);
  EXPECT_EQ(QueryDeviceProtocol(second.DefaultName().c_str()), TYPE_IPXSPX);

  // The browse table goes with the library.
  PSExit();
  EXPECT_EQ(live_discovery::BrowseCount(), 0);
}

TEST_F(IpxLive, ConfigurationIsReadAndWrittenOverSpx) {
  box_emulator::Box box(QuickRestart());
  StopResponderFirst stop{ipx_};
  box.SetDeviceName("Spx-Box");
  ASSERT_TRUE(ipx_->AddBox(&box));
  DeviceRecord records[2] = {};
  int count = 0;
  ASSERT_EQ(QuerySAP(SAP_QUERY_PRINT_SERVER, nullptr, records, &count, 2), 0);
  ASSERT_EQ(count, 1);

  CPrintServerUtility util;
  ASSERT_EQ(util.mInitializeLanComponent(TYPE_IPXSPX, 20), 0);
  console_access::ClearDevices();
  ASSERT_EQ(console_access::AppendDevice(records[0]), 0);
  const std::string name = Text(records[0].szName, 20);

  ASSERT_NO_FATAL_FAILURE(
      api_test::RenameThroughDeviceApi(util, name, "Spx-Box", "Spx-Renamed", "SPXGRP"));
  EXPECT_EQ(box.Setting("0001").value_or(""), "Spx-Renamed");

  ASSERT_NO_FATAL_FAILURE(api_test::ExpectRenamed(util, name, "Spx-Renamed", "SPXGRP"));
  EXPECT_EQ(box.RequestCount(), 0u) << "every request went over SPX";
}

// A box that keeps dripping its reply over SPX is cut off after three 20-second waits (on the
// fake clock), however each single wait is satisfied.
TEST_F(IpxLive, ADrippingBoxIsCutOffAfterThreeWaitsOverSpx) {
  box_emulator::Box box(QuickRestart());
  StopResponderFirst stop{ipx_};
  ASSERT_TRUE(ipx_->AddBox(&box));
  DeviceRecord records[2] = {};
  int count = 0;
  ASSERT_EQ(QuerySAP(SAP_QUERY_PRINT_SERVER, nullptr, records, &count, 2), 0);
  ASSERT_EQ(count, 1);
  ASSERT_EQ(PSInit(TYPE_IPXSPX, 20), 0);
  for (const bool endless : {false, true}) {
    box_emulator::FaultPlan fault;
    fault.dripEvery = 1000ms;
    fault.endlessEmptyChunks = endless;
    box.InjectFault(fault);
    std::vector<char> reply(10240);
    int length = -99;
    const std::int64_t before = clock_.SteadyMs();
    EXPECT_EQ(SendRespByRecord(&records[0], "9100:\r\n", 7, reply.data(), &length, 10240), ERR_NETWORK);
    const std::int64_t spent = clock_.SteadyMs() - before;
    // The limit plus at most the one wait under way when it passed.
    EXPECT_GE(spent, 60000) << "endless " << endless;
    EXPECT_LE(spent, 80000) << "endless " << endless;
    EXPECT_EQ(length, -99);
  }
  std::vector<char> reply(10240);
  int length = 0;
  EXPECT_EQ(SendRespByRecord(&records[0], "9007:\n", 6, reply.data(), &length, 10240), 0);
  EXPECT_EQ(length, 164);
}

TEST_F(IpxLive, ConsoleScansListAtMost128Names) {
  for (int i = 0; i < 130; ++i) ipx_->AddServer(wire::kFileServerSapType, "SRV" + std::to_string(100 + i));
  ipx_->AddServer(wire::kNdsTreeSapType, "HQ");
  CPrintServerUtility util;
  std::list<std::string> servers{"old"};
  ASSERT_EQ(util.mScanAllFileServer(servers), 0);
  ASSERT_EQ(servers.size(), 128u);
  EXPECT_EQ(servers.front(), "SRV100");
  EXPECT_EQ(servers.back(), "SRV227");
  std::list<std::string> trees{"old"};
  ASSERT_EQ(util.mScanNDSTree(trees), 0);
  EXPECT_EQ(trees, std::list<std::string>{"HQ"});
}

}  // namespace
}  // namespace live_test

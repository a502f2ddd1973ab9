// The UDP routes against emulated boxes answering over the loopback network. Each test takes its
// own discovery ports, so tests running at the same time do not hear each other's boxes.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <future>
#include <thread>
#include <memory>
#include <string>
#include <vector>

#include "discovery_scanner/scanner/discovery_wire.h"
#include "discovery_scanner/scanner/protocols.h"
#include "discovery_scanner/scanner/scan_routes.h"
#include "discovery_scanner/scanner/tests/box_blocks.h"
#include "tools/box_emulator/box_core.h"
#include "tools/box_emulator/box_emulator.h"
#include "tools/box_emulator/udp_discovery.h"

namespace lumeth {
namespace {

using scan_cache::ScanCacheRecord;

std::string Text(const char* field, std::size_t size = 20) { return std::string(field, strnlen(field, size)); }
std::string Text(const std::uint8_t* field) { return Text(reinterpret_cast<const char*>(field)); }

class UdpRouteTest : public ::testing::Test {
 protected:
  void SetUp() override {
    responder_ = std::make_unique<box_emulator::UdpDiscovery>(box_emulator::UdpDiscoveryOptions{0, 0, "0.0.0.0"});
    options_.windowMs = 150;
    options_.udpPort = responder_->port();
    options_.udp2Port = responder_->port2();
    SetAddresses("127.64.0.1/255.192.0.0");
  }
  void TearDown() override { ScanExit(); }

  void SetAddresses(const char* list) {
    ASSERT_TRUE(ParseAddressList(list, &options_.addresses));
    options_.addressesGiven = true;
  }

  std::vector<ScanCacheRecord> Scan(ScanRoute& route) {
    ScanExit();
    ScanInit(kProtocolTcpIp, 20, options_);
    std::vector<ScanCacheRecord> records;
    ScanContext context{&options_, &stop_, &localText_};
    EXPECT_TRUE(route.Scan(context, &records));
    return records;
  }

  static const ScanCacheRecord* Find(const std::vector<ScanCacheRecord>& records, const std::string& name) {
    for (const auto& r : records) {
      if (Text(r.szDefaultName) == name) return &r;
    }
    return nullptr;
  }

  ScannerOptions options_;
  StopSignal stop_;
  SharedLocalText localText_;
  std::unique_ptr<box_emulator::UdpDiscovery> responder_;
};

TEST_F(UdpRouteTest, BoxesAreRecordedWithTheirFieldsAndOnlyTheSameSubnetOnThe34443Route) {
  box_emulator::Box near1, near2;  // random addresses in 127.64.0.0/10: the scanner's subnet
  near1.SetDeviceName("Front-Desk");
  near2.SetDeviceName("Back-Office");
  responder_->AddBox(&near1);
  responder_->AddBox(&near2);
  const auto farBlock = BlockFor(0x00F0F0, "Far-Away");
  responder_->AddBlock("127.0.9.9", farBlock);  // another subnet

  auto udp = MakeUdpRoute();
  auto records = Scan(*udp);
  ASSERT_EQ(records.size(), 2u);
  for (box_emulator::Box* box : {&near1, &near2}) {
    const ScanCacheRecord* r = Find(records, box->DefaultName());
    ASSERT_NE(r, nullptr) << box->DefaultName();
    const auto block = box->DeviceInfoBlock();
    EXPECT_EQ(r->iProtocol, 2);
    EXPECT_EQ(Text(r->address), box->Address());
    EXPECT_EQ(Text(r->szLocalAddress), "127.64.0.1");
    EXPECT_EQ(Text(r->szDeviceName), box->DeviceName());
    EXPECT_EQ(std::memcmp(r->hardwareId, &block[4], 32), 0);
    EXPECT_EQ(std::memcmp(r->functionId, &block[46], 2), 0);
  }
  EXPECT_EQ(responder_->RequestCount(0), 3u);  // three sends from the one address

  auto udp2 = MakeUdp2Route();
  records = Scan(*udp2);
  ASSERT_EQ(records.size(), 3u);
  const ScanCacheRecord* far = Find(records, box_emulator::DefaultNameFor([] {
    box_emulator::BoxIdentity id;
    id.hardwareAddress = {0x00, 0x40, 0x01, 0x00, 0xF0, 0xF0};
    return id;
  }()));
  ASSERT_NE(far, nullptr);
  EXPECT_EQ(far->iProtocol, 8);
  EXPECT_EQ(Text(far->address), "127.0.9.9");
  EXPECT_EQ(Text(far->szDeviceName), "Far-Away");
}

TEST_F(UdpRouteTest, SpoiledAnswersAreDroppedAndGoodOnesKept) {
  struct Case {
    box_emulator::UdpAnswerFault fault;
    bool zeroProtocols;
    const char* deviceName;
    bool inUdp, inUdp2;
  } cases[] = {
      {box_emulator::UdpAnswerFault::kNone, false, "Box0", true, true},
      // The reply header is not the scanner's business: an error byte or a length that runs past
      // the datagram still gives a record, as long as every field read lies in the datagram.
      {box_emulator::UdpAnswerFault::kErrorByte, false, "Box1", true, true},
      {box_emulator::UdpAnswerFault::kShort, false, "Box2", false, false},
      {box_emulator::UdpAnswerFault::kBadLength, false, "Box3", true, true},
      {box_emulator::UdpAnswerFault::kSilent, false, "Box4", false, false},
      {box_emulator::UdpAnswerFault::kNone, true, "Box5", false, true},
      {box_emulator::UdpAnswerFault::kNone, false, "Back\\slash", false, false},
      {box_emulator::UdpAnswerFault::kNone, false, "Line\nbreak", false, false},
  };
  std::vector<std::string> names;
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    auto block = BlockFor(0x100 + static_cast<std::uint32_t>(i), "Box");
    std::memset(&block[wire::pid::kDeviceName], 0, wire::pid::kNameSize);
    std::memcpy(&block[wire::pid::kDeviceName], cases[i].deviceName, std::strlen(cases[i].deviceName));
    if (cases[i].zeroProtocols) block[42] = block[43] = 0;
    std::size_t index = responder_->AddBlock("127.64.7." + std::to_string(i + 1), block);
    responder_->SetFault(index, cases[i].fault);
    names.push_back(Text(reinterpret_cast<const char*>(&block[76])));
  }
  auto udp = MakeUdpRoute();
  auto udp2 = MakeUdp2Route();
  const auto viaUdp = Scan(*udp);
  const auto viaUdp2 = Scan(*udp2);
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    EXPECT_EQ(Find(viaUdp, names[i]) != nullptr, cases[i].inUdp) << "case " << i;
    EXPECT_EQ(Find(viaUdp2, names[i]) != nullptr, cases[i].inUdp2) << "case " << i;
  }
}

TEST_F(UdpRouteTest, AFloodOfAnswersFillsTheAreaAndNoMore) {
  for (std::uint32_t i = 0; i < 400; ++i) {
    responder_->AddBlock("127.64.8." + std::to_string(i % 250 + 1), BlockFor(0x2000 + i, "Flood"));
  }
  auto udp2 = MakeUdp2Route();
  const auto records = Scan(*udp2);
  EXPECT_EQ(records.size(), static_cast<std::size_t>(scan_cache::kMaxRecords));
}

TEST_F(UdpRouteTest, AnAddressThatFailsIsSkippedAndABoxHeardTwiceIsRecordedOnce) {
  box_emulator::Box box;
  responder_->AddBox(&box);
  // 192.0.2.254 is no address of this machine: binding to it fails, the others still scan.
  SetAddresses("192.0.2.254/255.255.255.0,127.64.0.1/255.192.0.0,127.64.0.2/255.192.0.0");
  auto udp = MakeUdpRoute();
  const auto records = Scan(*udp);
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(Text(records[0].szDefaultName), box.DefaultName());
  EXPECT_EQ(Text(records[0].szLocalAddress), "127.64.0.1");  // the first reply wins
  EXPECT_EQ(responder_->RequestCount(0), 6u);
}

TEST_F(UdpRouteTest, AHostThatNeverFallsSilentCannotHoldTheRouteForEver) {
  // A host on the second port that answers the first request with an endless stream of the same
  // reply, faster than the window of silence.
  int host = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  ASSERT_GE(host, 0);
  sockaddr_in self{};
  self.sin_family = AF_INET;
  self.sin_addr.s_addr = htonl(INADDR_ANY);  // hears the broadcast
  ASSERT_EQ(::bind(host, reinterpret_cast<sockaddr*>(&self), sizeof self), 0);
  socklen_t selfLength = sizeof self;
  ASSERT_EQ(::getsockname(host, reinterpret_cast<sockaddr*>(&self), &selfLength), 0);
  options_.udp2Port = ntohs(self.sin_port);
  options_.windowMs = 50;

  std::vector<std::uint8_t> reply(wire::kStreamReplyHeaderSize + kDeviceIdSize + wire::pid::kSize, 0);
  const std::size_t length = reply.size() - wire::kStreamReplyHeaderSize;
  reply[wire::kStreamReplyLengthOffset] = static_cast<std::uint8_t>(length);
  reply[wire::kStreamReplyLengthOffset + 1] = static_cast<std::uint8_t>(length >> 8);
  std::memset(&reply[wire::kStreamReplyHeaderSize], 'X', kDeviceIdSize);
  const auto block = BlockFor(0x00ABCD, "Chatter");
  std::memcpy(&reply[wire::kStreamReplyHeaderSize + kDeviceIdSize], block.data(), block.size());

  std::atomic<bool> quit{false};
  std::thread stream([&] {
    pollfd p{host, POLLIN, 0};
    while (!quit && ::poll(&p, 1, 20) <= 0) {
    }
    sockaddr_in scanner{};
    socklen_t scannerLength = sizeof scanner;
    std::uint8_t request[64];
    if (quit || ::recvfrom(host, request, sizeof request, 0, reinterpret_cast<sockaddr*>(&scanner), &scannerLength) <= 0) {
      return;
    }
    while (!quit) {
      ::sendto(host, reply.data(), reply.size(), 0, reinterpret_cast<sockaddr*>(&scanner), scannerLength);
      std::this_thread::sleep_for(std::chrono::milliseconds(5));  // the stream's pace
    }
  });

  auto udp2 = MakeUdp2Route();
  auto scan = std::async(std::launch::async, [&] { return Scan(*udp2); });
  const bool ended = scan.wait_for(std::chrono::seconds(60)) == std::future_status::ready;
  if (!ended) stop_.Stop();  // lets the test end either way
  const auto records = scan.get();
  quit = true;
  stream.join();
  ::close(host);
  EXPECT_TRUE(ended);
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(Text(records[0].szDefaultName), Text(reinterpret_cast<const char*>(&block[wire::pid::kDefaultName])));
}

}  // namespace
}  // namespace lumeth

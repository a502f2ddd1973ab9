// The IPX and NetBIOS routes against emulated boxes on the IPX and NetBIOS stand-ins, each test on
// ports of its own.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstring>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "discovery_scanner/scanner/protocols.h"
#include "discovery_scanner/scanner/scan_routes.h"
#include "discovery_scanner/scanner/tests/box_blocks.h"
#include "platform/ipx/ipx.h"
#include "platform/netbios/netbios.h"
#include "platform/paths.h"
#include "platform/profile.h"
#include "platform/test_support/temp_root.h"
#include "tools/box_emulator/ipx_discovery.h"

namespace lumeth {
namespace {

using scan_cache::ScanCacheRecord;

std::string Name(const std::array<std::uint8_t, wire::pid::kSize>& block) {
  const char* p = reinterpret_cast<const char*>(block.data() + wire::pid::kDefaultName);
  return std::string(p, strnlen(p, 20));
}

std::uint16_t FreePort(int type) {
  int fd = ::socket(AF_INET, type, 0);
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  ::bind(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa);
  socklen_t len = sizeof sa;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&sa), &len);
  ::close(fd);
  return ntohs(sa.sin_port);
}

class RouteTest : public ::testing::Test {
 protected:
  RouteTest() { options_.windowMs = 200; }
  ~RouteTest() override { ScanExit(); }

  std::vector<ScanCacheRecord> Scan(ScanRoute& route) {
    std::vector<ScanCacheRecord> records;
    ScanContext context{&options_, &stop_, &localText_};
    EXPECT_TRUE(route.Scan(context, &records));
    return records;
  }

  platform::testing::TempRoot root_;
  ScannerOptions options_;
  StopSignal stop_;
  SharedLocalText localText_;
};

TEST_F(RouteTest, IpxBoxesAreConfirmedOverSpxOnceEach) {
  std::random_device rd;
  const std::string ini = "ipx.ini";
  WritePrivateProfileString("IPX", "Network", "0000ABCD", ini.c_str());
  WritePrivateProfileString("IPX", "UdpPortBase", std::to_string(20000 + rd() % 9000).c_str(), ini.c_str());
  WritePrivateProfileString("IPX", "TcpPortBase", std::to_string(20000 + rd() % 9000).c_str(), ini.c_str());
  WritePrivateProfileString("IPX", "Address", "127.0.0.1", ini.c_str());
  WritePrivateProfileString("IPX", "Broadcast", "127.255.255.255", ini.c_str());
  ASSERT_EQ(ScanInit(kProtocolIpx, 20, options_), 0);
  localText_.Set("127.0.0.1");

  box_emulator::IpxDiscovery boxes;
  const std::string base = "127.65." + std::to_string(rd() % 250 + 1) + ".";
  box_emulator::IpxDiscovery::Entry plain{base + "1", BlockFor(0x3001, "Ipx-One")};
  box_emulator::IpxDiscovery::Entry twice{base + "2", BlockFor(0x3002, "Ipx-Two")};
  twice.advertisements = 2;
  box_emulator::IpxDiscovery::Entry refusing{base + "3", BlockFor(0x3003, "Ipx-Refuses")};
  refusing.answersSpx = false;
  ASSERT_TRUE(boxes.Add(plain));
  ASSERT_TRUE(boxes.Add(twice));
  ASSERT_TRUE(boxes.Add(refusing));

  auto route = MakeIpxRoute();
  const auto records = Scan(*route);
  ASSERT_EQ(records.size(), 2u);
  const box_emulator::IpxDiscovery::Entry* expected[] = {&plain, &twice};
  for (std::size_t i = 0; i < 2; ++i) {
    const ScanCacheRecord& r = records[i];
    EXPECT_EQ(std::string(r.szDefaultName, strnlen(r.szDefaultName, 20)), Name(expected[i]->block));
    EXPECT_EQ(r.iProtocol, 1);
    const std::uint8_t net[4] = {0x00, 0x00, 0xAB, 0xCD};
    EXPECT_EQ(std::memcmp(r.address, net, 4), 0);
    EXPECT_EQ(r.address[4], 0x02);
    EXPECT_EQ(r.address[9], static_cast<std::uint8_t>(i + 1));  // the node of the box's address
    EXPECT_EQ(std::memcmp(r.hardwareId, expected[i]->block.data() + 4, 32), 0);
    EXPECT_EQ(std::string(r.szLocalAddress), "127.0.0.1");
  }
  EXPECT_EQ(boxes.QueryCount(), 1u);
}

// Boxes on the NetBIOS stand-in: one member of the print servers' group name that answers each
// discovery datagram once per box, from each box's own name, with that box's block. The boxes
// listed in `cut` send only the first 101 bytes of their answer, with a header that still
// announces the whole block.
class NetBiosBoxes {
 public:
  explicit NetBiosBoxes(const std::vector<std::pair<std::string, std::array<std::uint8_t, wire::pid::kSize>>>& boxes,
                        std::vector<std::string> cut = {})
      : cut_(std::move(cut)) {
    NCB add{};
    add.ncb_command = NCBADDGRNAME;
    std::memcpy(add.ncb_name, wire::kBoxGroupName, std::strlen(wire::kBoxGroupName));
    ok_ = Netbios(&add) == NRC_GOODRET;
    group_ = add.ncb_num;
    for (const auto& [name, block] : boxes) {
      NCB own{};
      own.ncb_command = NCBADDNAME;
      std::memset(own.ncb_name, ' ', 15);
      std::memcpy(own.ncb_name, name.data(), name.size());
      own.ncb_name[15] = 0x01;
      ok_ = ok_ && Netbios(&own) == NRC_GOODRET;
      const bool cutAnswer = std::find(cut_.begin(), cut_.end(), name) != cut_.end();
      boxes_.push_back({own.ncb_num, block, cutAnswer});
    }
    thread_ = std::thread([this] { Run(); });
  }
  ~NetBiosBoxes() {
    stop_ = true;
    thread_.join();
  }
  bool ok() const { return ok_; }

 private:
  void Run() {
    NbEvent done;
    while (!stop_) {
      std::uint8_t in[64];
      NCB r{};
      r.ncb_command = NCBDGRECV | ASYNCH;
      r.ncb_num = group_;
      r.ncb_buffer = in;
      r.ncb_length = sizeof in;
      r.ncb_event = &done;
      done.Reset();
      if (Netbios(&r) != NRC_GOODRET) return;
      while (!done.Wait(50)) {
        if (stop_) {
          NCB cancel{};
          cancel.ncb_command = NCBCANCEL;
          cancel.ncb_buffer = reinterpret_cast<unsigned char*>(&r);
          Netbios(&cancel);
          return;
        }
      }
      if (r.ncb_retcode != NRC_GOODRET || r.ncb_length != 10 || std::memcmp(in + 4, "9007:\n", 6) != 0) continue;
      for (const auto& [self, block, cutAnswer] : boxes_) {
        std::uint8_t reply[5 + wire::pid::kSize] = {0xA5, 0, 0, wire::pid::kSize, 0};
        std::memcpy(reply + 5, block.data(), block.size());
        NCB s{};
        s.ncb_command = NCBDGSEND;
        s.ncb_num = self;
        std::memcpy(s.ncb_callname, r.ncb_callname, 16);
        s.ncb_buffer = reply;
        s.ncb_length = cutAnswer ? 101 : sizeof reply;
        Netbios(&s);
      }
    }
  }

  bool ok_ = false;
  UCHAR group_ = 0;
  struct Answerer {
    UCHAR self;
    std::array<std::uint8_t, wire::pid::kSize> block;
    bool cutAnswer;
  };
  std::vector<std::string> cut_;
  std::vector<Answerer> boxes_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

TEST_F(RouteTest, NetBiosBoxesAnswerTheGroupNameDatagram) {
  const std::string ini = "netbios.ini";
  WritePrivateProfileString("NetBIOS", "Lana0Address", "127.0.0.1", ini.c_str());
  WritePrivateProfileString("NetBIOS", "NameServicePort", std::to_string(FreePort(SOCK_DGRAM)).c_str(), ini.c_str());
  WritePrivateProfileString("NetBIOS", "DatagramPort", std::to_string(FreePort(SOCK_DGRAM)).c_str(), ini.c_str());
  WritePrivateProfileString("NetBIOS", "SessionPort", std::to_string(FreePort(SOCK_STREAM)).c_str(), ini.c_str());
  WritePrivateProfileString("NetBIOS", "RegistrationTimeoutMs", "100", ini.c_str());
  WritePrivateProfileString("NetBIOS", "RegistrationRetries", "1", ini.c_str());
  WritePrivateProfileString("NetBIOS", "IdleExitMs", "300", ini.c_str());
  ASSERT_EQ(ScanInit(kProtocolNetBios, 20, options_), 0);

  const auto blockA = BlockFor(0x4001, "Nb-Alpha");
  const auto blockB = BlockFor(0x4002, "Nb-Beta");
  // Beta's answer is cut to the 101 bytes that hold every field a record takes, while its header
  // announces all 164: it is recorded like a whole one.
  NetBiosBoxes boxes({{"NBBOXALPHA", blockA}, {"NBBOXBETA", blockB}}, {"NBBOXBETA"});
  ASSERT_TRUE(boxes.ok());

  auto route = MakeNetBiosRoute();
  const auto records = Scan(*route);
  ASSERT_EQ(records.size(), 2u);
  for (const auto& r : records) {
    const std::string name(r.szDefaultName, strnlen(r.szDefaultName, 20));
    const auto& block = name == Name(blockA) ? blockA : blockB;
    EXPECT_EQ(name, Name(block));
    EXPECT_EQ(r.iProtocol, 4);
    EXPECT_EQ(std::memcmp(r.address, block.data() + wire::pid::kDeviceName, 15), 0);
    EXPECT_EQ(r.address[15], 0);
    EXPECT_EQ(r.address[19], 0);  // LAN adapter 0
  }
}

}  // namespace
}  // namespace lumeth

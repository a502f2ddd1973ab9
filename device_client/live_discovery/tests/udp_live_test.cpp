// The UDP routines end to end: emulated boxes answering the device-information broadcast and the
// set-address datagram on a discovery port of this test, from loopback addresses.
#include <arpa/inet.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <map>
#include <memory>
#include <vector>

#include "device_client/live_discovery/tests/live_test_support.h"
#include "tools/box_emulator/box_emulator.h"
#include "tools/box_emulator/udp_discovery.h"

namespace live_test {
namespace {

using namespace std::chrono_literals;

std::array<std::uint8_t, 4> Loopback(const char* text) {
  std::array<std::uint8_t, 4> a{};
  ::inet_pton(AF_INET, text, a.data());
  return a;
}

class UdpLive : public LiveTest {
 protected:
  void SetUp() override {
    LiveTest::SetUp();
    responder_ = std::make_unique<box_emulator::UdpDiscovery>(box_emulator::UdpDiscoveryOptions{0, 0, "0.0.0.0"});
    live_discovery::UdpSettings settings;
    settings.port = responder_->port();
    settings.localAddresses = {Loopback("127.64.0.1")};
    live_discovery::SetUdpSettings(settings);
  }

  static box_emulator::BoxOptions Options(std::array<std::uint8_t, 3> vendor) {
    box_emulator::BoxOptions o;
    o.restartWindow = 0ms;
    o.identity.hardwareAddress = {vendor[0], vendor[1], vendor[2], 0, 0, 0};
    return o;
  }

  std::unique_ptr<box_emulator::UdpDiscovery> responder_;
};

TEST_F(UdpLive, EachAnsweringBoxIsListedOnceWithItsAddress) {
  box_emulator::Box one, two;
  responder_->AddBox(&one);
  responder_->AddBox(&two);
  const auto block = one.DeviceInfoBlock();
  responder_->AddBlock("127.0.0.1", block);  // the same name answering from elsewhere
  auto cut = block;
  responder_->SetFault(responder_->AddBlock("127.0.0.2", cut), box_emulator::UdpAnswerFault::kShort);
  // A second local address hears the same boxes again.
  live_discovery::UdpSettings settings = live_discovery::CurrentUdpSettings();
  settings.localAddresses.push_back(Loopback("127.64.0.2"));
  live_discovery::SetUdpSettings(settings);

  std::vector<DeviceRecord> records(8);
  int count = 0;
  ASSERT_EQ(QueryUDP(records.data(), &count, 8), 1);
  ASSERT_EQ(count, 2);
  std::map<std::string, std::string> found;
  for (int i = 0; i < count; ++i) {
    EXPECT_EQ(records[static_cast<std::size_t>(i)].iProtocol, TYPE_TCPIP);
    found[Text(records[static_cast<std::size_t>(i)].szName, 20)] = Text(records[static_cast<std::size_t>(i)].address, 20);
  }
  EXPECT_EQ(found.count(one.DefaultName()), 1u);
  EXPECT_EQ(found[two.DefaultName()], two.Address());
  EXPECT_GE(responder_->RequestCount(0), 3u);  // three sends from each local address

  // The output is bounded by the caller's array.
  DeviceRecord single[1];
  ASSERT_EQ(QueryUDP(single, &count, 1), 1);
  EXPECT_EQ(count, 1);
}

struct SetCase {
  const char* label;
  bool extended;
  std::array<std::uint8_t, 3> vendor;
  std::vector<const char*> disabled;
};

class SetAddress : public UdpLive, public ::testing::WithParamInterface<SetCase> {};

TEST_P(SetAddress, BoxMovesToTheThirdAddressAndRestartsWithoutAddressServices) {
  const SetCase& c = GetParam();
  box_emulator::Box box(Options(c.vendor));
  for (const char* key : {"4020", "4021", "4022"}) box.SetSetting(key, "Enable");
  responder_->AddBox(&box);
  std::string target;
  {
    box_emulator::Box probe;  // a free loopback address, released again
    target = probe.Address();
  }
  const std::string name = box.DefaultName();
  const int rc = c.extended ? SetIPByDatagramEx("004001", name.c_str(), "10.0.0.1", "255.0.0.0", target.c_str())
                            : SetIPByDatagram(name.c_str(), "10.0.0.1", "255.0.0.0", target.c_str());
  ASSERT_EQ(rc, 1);
  EXPECT_TRUE(box.WaitForRestarts(1, 10s));
  EXPECT_EQ(box.Address(), target);
  for (const char* key : c.disabled) EXPECT_EQ(box.Setting(key).value_or(""), "Disable") << key;
  if (!c.extended) {
    EXPECT_EQ(box.Setting("4021").value_or(""), "Enable");
  }
  const auto requests = box.Requests();
  ASSERT_FALSE(requests.empty());
  EXPECT_EQ(requests.back().data.substr(requests.back().data.size() - 6), "9002:\n");
}

INSTANTIATE_TEST_SUITE_P(
    Forms, SetAddress,
    ::testing::Values(SetCase{"plain", false, {0x02, 0xA7, 0xC4}, {"4020"}},
                      SetCase{"vendor_prefix", true, {0x00, 0x40, 0x01}, {"4020", "4021", "4022"}}),
    [](const auto& p) { return std::string(p.param.label); });

TEST_F(UdpLive, SetAddressDatagramIsTheTwentyThreeBytesOfItsLayout) {
  // A listener in place of the boxes records what goes out and never answers.
  const int listener = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  ASSERT_GE(listener, 0);
  const int on = 1;
  ::setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  sockaddr_in any{};
  any.sin_family = AF_INET;
  socklen_t length = sizeof any;
  ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&any), sizeof any), 0);
  ASSERT_EQ(::getsockname(listener, reinterpret_cast<sockaddr*>(&any), &length), 0);
  live_discovery::UdpSettings settings = live_discovery::CurrentUdpSettings();
  settings.port = ntohs(any.sin_port);
  live_discovery::SetUdpSettings(settings);

  struct Case {
    const char* label;
    bool extended;
    std::vector<std::uint8_t> hardware;
  };
  for (const Case& c : {Case{"plain", false, {0x02, 0xA7, 0xC4, 0x12, 0xAB, 0x5F}},
                        Case{"vendor_prefix", true, {0x00, 0xA0, 0xB1, 0x12, 0xAB, 0x5F}}}) {
    const int rc = c.extended ? SetIPByDatagramEx("00a0B1", "KL12aB5F", "10.1.2.3", "255.255.0.0", "127.0.0.9")
                              : SetIPByDatagram("KL12aB5F", "10.1.2.3", "255.255.0.0", "127.0.0.9");
    EXPECT_EQ(rc, 0) << c.label;  // nobody confirmed
    std::vector<std::uint8_t> expected = {0x60, 0x00, 18, 0x00};
    expected.insert(expected.end(), c.hardware.begin(), c.hardware.end());
    for (std::uint8_t b : {10, 1, 2, 3, 255, 255, 0, 0, 127, 0, 0, 9}) expected.push_back(b);
    expected.push_back('\n');
    std::uint8_t got[64];
    const ssize_t n = ::recv(listener, got, sizeof got, MSG_DONTWAIT);
    ASSERT_EQ(n, 23) << c.label;
    EXPECT_EQ(std::vector<std::uint8_t>(got, got + n), expected) << c.label;
    EXPECT_LT(::recv(listener, got, sizeof got, MSG_DONTWAIT), 0) << "sent once from the one local address";
  }
  ::close(listener);
}

TEST_F(UdpLive, UnconfirmedOrUnusableRequestsChangeNothing) {
  box_emulator::Box box(Options({0x02, 0xA7, 0xC4}));
  responder_->AddBox(&box);
  const std::string before = box.Address();
  // Another box's name: nobody confirms within the silence.
  EXPECT_EQ(SetIPByDatagram("KV000000", "10.0.0.1", "255.0.0.0", "127.0.0.9"), 0);
  EXPECT_EQ(clock_.WaitedMs(), 4000);
  // Refused before anything is sent: short name, bad addresses, a name that gives no hex digits.
  const std::string name = box.DefaultName();
  EXPECT_EQ(SetIPByDatagram("KV12345", "10.0.0.1", "255.0.0.0", "127.0.0.9"), 0);
  EXPECT_EQ(SetIPByDatagram(name.c_str(), "10.0.0", "255.0.0.0", "127.0.0.9"), 0);
  EXPECT_EQ(SetIPByDatagram(name.c_str(), "10.0.0.1", "255.0.0.0", "255.255.255.255"), 0);
  EXPECT_EQ(SetIPByDatagramEx("00-40-", name.c_str(), "10.0.0.1", "255.0.0.0", "127.0.0.9"), 0);
  EXPECT_EQ(clock_.WaitedMs(), 4000);
  EXPECT_EQ(box.Address(), before);
  EXPECT_EQ(box.RequestCount(), 0u);
}

}  // namespace
}  // namespace live_test

// The wizard's exchanges end to end against emulated boxes: the UDP request transport of port
// 34444 with its faults, TCP with the wizard's waits, and the device-table routines.
#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/test_support/temp_root.h"
#include "tools/box_emulator/box_emulator.h"
#include "tools/box_emulator/udp_discovery.h"
#include "wizard_client/transport/udp_exchange.h"
#include "wizard_client/transport/wizard_transport.h"

namespace {

using namespace std::chrono_literals;
using box_emulator::Box;
using box_emulator::UdpRequestFault;

wizard::DeviceRecord Record(const std::string& name, int protocol, const std::string& address) {
  wizard::DeviceRecord r{};
  std::memcpy(r.szName, name.data(), std::min<std::size_t>(name.size(), 20));
  r.iProtocol = protocol;
  std::memcpy(r.address, address.data(), std::min<std::size_t>(address.size(), 19));
  return r;
}

class WizardExchange : public ::testing::Test {
 protected:
  void SetUp() override {
    // Waits of up to 1 s real time each: a lost datagram costs an attempt, never the test.
    clock_ = std::make_unique<platform::FakeClock>(1765368000000LL, 1000);
    scoped_ = std::make_unique<platform::ScopedClock>(clock_.get());
    ASSERT_EQ(wizard::PSInit(2, 20), 0);
    responder_ = std::make_unique<box_emulator::UdpDiscovery>(
        box_emulator::UdpDiscoveryOptions{0, 0, "0.0.0.0"});
    wizard::wizard_access::UdpSettings udp;
    udp.port = responder_->port2();
    udp.destination = {127, 0, 0, 1};
    wizard::wizard_access::SetUdpSettings(udp);
    box_emulator::BoxOptions options;
    options.restartWindow = 0ms;
    box_ = std::make_unique<Box>(options);
    boxIndex_ = responder_->AddBox(box_.get());
  }
  void TearDown() override {
    responder_.reset();
    wizard::PSExit();
  }

  int Send(const wizard::DeviceRecord& record, const std::string& request, std::string* reply,
           int capacity = 10240) {
    std::vector<char> buffer(static_cast<std::size_t>(capacity) + 16, '\x7E');
    int length = -1;
    const int rc = wizard::SendRespByRecord(&record, request.data(), static_cast<int>(request.size()),
                                            buffer.data(), &length, capacity);
    if (rc == 0) reply->assign(buffer.data(), static_cast<std::size_t>(length));
    // Nothing past the caller's capacity is ever written.
    for (std::size_t i = static_cast<std::size_t>(capacity); i < buffer.size(); ++i) {
      EXPECT_EQ(buffer[i], '\x7E');
    }
    return rc;
  }

  wizard::DeviceRecord UdpRecord() const {
    return Record(box_->DefaultName(), wizard::TYPE_UDP, "10.9.9.9");  // the address is not used
  }

  std::string TcpConfiguration() {
    std::string reply;
    EXPECT_EQ(Send(Record(box_->DefaultName(), TYPE_TCPIP, box_->Address()), "9100:\r\n", &reply), 0);
    return reply;
  }

  platform::testing::TempRoot root_;
  std::unique_ptr<platform::FakeClock> clock_;
  std::unique_ptr<platform::ScopedClock> scoped_;
  std::unique_ptr<box_emulator::UdpDiscovery> responder_;
  std::unique_ptr<Box> box_;
  std::size_t boxIndex_ = 0;
};

TEST(UdpFragments, RequestsSplitIntoFragmentsCountingDown) {
  const std::uint8_t id[8] = {'K', 'V', '1', '2', '3', '4', '5', '6'};
  struct Case {
    int length;
    std::vector<int> dataSizes;
  } cases[] = {{0, {0}}, {6, {6}}, {384, {384}}, {385, {384, 1}}, {769, {384, 384, 1}}};
  for (const Case& c : cases) {
    const std::string request(static_cast<std::size_t>(c.length), 'r');
    ASSERT_EQ(wizard::UdpFragmentCount(c.length), static_cast<int>(c.dataSizes.size())) << c.length;
    for (std::size_t i = 0; i < c.dataSizes.size(); ++i) {
      std::uint8_t out[wizard::kUdpMaxRequestDatagram];
      const int n = wizard::BuildUdpRequestFragment(request.data(), c.length, id, static_cast<int>(i), out);
      EXPECT_EQ(n, 12 + c.dataSizes[i]);
      EXPECT_EQ(out[0], '@');
      EXPECT_EQ(out[1], c.dataSizes.size() - 1 - i) << c.length;
      EXPECT_EQ(out[2] | (out[3] << 8), c.length);
      EXPECT_EQ(std::memcmp(out + 4, id, 8), 0);
    }
    std::uint8_t out[wizard::kUdpMaxRequestDatagram];
    EXPECT_EQ(wizard::BuildUdpRequestFragment(request.data(), c.length, id,
                                              static_cast<int>(c.dataSizes.size()), out),
              -1);
  }
}

TEST_F(WizardExchange, UdpReadsTheWholeConfigurationAsTcpDoes) {
  responder_->SetReplyFragmentSize(700);  // several fragments
  const std::string tcp = TcpConfiguration();
  ASSERT_GT(tcp.size(), 1400u);
  std::string udp;
  ASSERT_EQ(Send(UdpRecord(), "9100:\r\n", &udp), 0);
  EXPECT_EQ(udp, tcp);
  // The fragment pauses: 400 ms after each fragment but the last.
  const std::int64_t fragments = static_cast<std::int64_t>((tcp.size() + 699) / 700);
  EXPECT_GE(clock_->WaitedMs(), (fragments - 1) * 400);
}

TEST_F(WizardExchange, UdpCarriesLongRequestsInFragments) {
  // A configuration text of three fragments sets the device name; the restart makes it run.
  std::string text = "0001 :UDPNAME\n";
  while (text.size() < 800) text += "5000 :WORKGROUP\n";
  text += "9002:\n";
  std::string reply;
  ASSERT_EQ(Send(UdpRecord(), text, &reply), 0);
  EXPECT_TRUE(box_->WaitUntil([&] { return box_->DeviceName() == "UDPNAME"; }, 10s));
}

TEST_F(WizardExchange, UdpFaultsNeverCorruptTheReply) {
  responder_->SetReplyFragmentSize(500);
  const std::string tcp = TcpConfiguration();
  struct Case {
    const char* what;
    UdpRequestFault fault;
    std::size_t served;  // requests the box served: one per attempt
  };
  auto fault = [](auto set) {
    UdpRequestFault f;
    set(f);
    return f;
  };
  const Case cases[] = {
      {"duplicated fragment", fault([](UdpRequestFault& f) { f.duplicateFragment = 1; }), 1},
      {"reply of another device id", fault([](UdpRequestFault& f) { f.foreignReplyFirst = true; }), 1},
      {"lost fragment", fault([](UdpRequestFault& f) { f.loseFragment = 1; }), 2},
      {"fragments out of order", fault([](UdpRequestFault& f) { f.swapFragment = 0; }), 2},
      {"error byte", fault([](UdpRequestFault& f) { f.errorByte = true; }), 2},
      {"error byte three times", fault([](UdpRequestFault& f) {
         f.errorByte = true;
         f.count = 3;
       }), 4},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::size_t before = responder_->ServedRequestCount();
    responder_->SetRequestFault(boxIndex_, c.fault);
    std::string udp;
    ASSERT_EQ(Send(UdpRecord(), "9100:\r\n", &udp), 0);
    EXPECT_EQ(udp, tcp);
    EXPECT_EQ(responder_->ServedRequestCount() - before, c.served);
  }
}

TEST_F(WizardExchange, UdpGivesUpAfterFourAttempts) {
  UdpRequestFault f;
  f.errorByte = true;
  f.count = 4;
  responder_->SetRequestFault(boxIndex_, f);
  std::string reply;
  EXPECT_EQ(Send(UdpRecord(), "9007:\n", &reply), ERR_NETWORK);
  EXPECT_EQ(responder_->ServedRequestCount(), 4u);

  // A box that is not there: four silent attempts of 3 s each.
  const std::int64_t before = clock_->WaitedMs();
  EXPECT_EQ(Send(Record("KVNOBOX1", wizard::TYPE_UDP, ""), "9007:\n", &reply), ERR_NETWORK);
  EXPECT_EQ(clock_->WaitedMs() - before, 4 * 3000);
}

TEST_F(WizardExchange, AReplyLargerThanTheBufferIsRefused) {
  std::string reply;
  EXPECT_EQ(Send(UdpRecord(), "9100:\r\n", &reply, 100), ERR_NETWORK);
  EXPECT_EQ(Send(Record(box_->DefaultName(), TYPE_TCPIP, box_->Address()), "9100:\r\n", &reply, 100),
            ERR_NETWORK);
  // A fragment larger than the 3072-byte receive buffer (a configuration made long enough).
  for (int printer = 0; printer < 8; ++printer) {
    for (int field = 1; field <= 2; ++field) {
      char key[5];
      std::snprintf(key, sizeof key, "%04d", 100 + 20 * printer + field);
      ASSERT_TRUE(box_->SetSetting(key, std::string(100, 'x'))) << key;
    }
  }
  responder_->SetReplyFragmentSize(4000);
  const std::size_t served = responder_->ServedRequestCount();
  EXPECT_EQ(Send(UdpRecord(), "9100:\r\n", &reply), ERR_NETWORK);
  EXPECT_EQ(responder_->ServedRequestCount() - served, 1u) << "not asked again";
  responder_->SetReplyFragmentSize(1024);
  // The device-information block fits exactly.
  EXPECT_EQ(Send(UdpRecord(), "9007:\n", &reply, 164), 0);
  EXPECT_EQ(reply.size(), 164u);
}

TEST_F(WizardExchange, DispatchAndDeviceTable) {
  std::string reply;
  // Flags 2 win over 8: TCP at the record's address.
  EXPECT_EQ(Send(Record(box_->DefaultName(), TYPE_TCPIP | wizard::TYPE_UDP, box_->Address()),
                 "9007:\n", &reply),
            0);
  EXPECT_EQ(Send(Record(box_->DefaultName(), 0x10, box_->Address()), "9007:\n", &reply),
            ERR_DEVICE_NOTFOUND);
  EXPECT_EQ(Send(Record(box_->DefaultName(), TYPE_TCPIP, "not.an.address"), "9007:\n", &reply),
            ERR_NETWORK);

  // A name that is not in the table: -20 and nothing sent.
  char buffer[256];
  int length = 0;
  const std::size_t requests = box_->RequestCount();
  EXPECT_EQ(wizard::PSISendResp(box_->DefaultName().c_str(), "9007:\n", 6, buffer, &length,
                                sizeof buffer),
            ERR_DEVICE_NOTFOUND);
  EXPECT_EQ(box_->RequestCount(), requests);

  ASSERT_EQ(wizard::wizard_access::AppendDevice(UdpRecord()), 0);
  EXPECT_EQ(wizard::PSISendResp(box_->DefaultName().c_str(), "9007:\n", 6, buffer, &length,
                                sizeof buffer),
            0);
  EXPECT_EQ(length, 164);
  EXPECT_EQ(std::string(buffer + 76), box_->DefaultName());
  EXPECT_EQ(wizard::GetDeviceProtocol(box_->DefaultName().c_str()), wizard::TYPE_UDP);
  EXPECT_EQ(wizard::GetDeviceProtocol("KVOTHER1"), -1);

  // Address updates: only exact TCP/IP and NetBIOS records change.
  ASSERT_EQ(wizard::wizard_access::AppendDevice(Record("KVTCP001", TYPE_TCPIP, "127.0.0.9")), 0);
  ASSERT_EQ(wizard::wizard_access::AppendDevice(Record("KVNB0001", TYPE_NETBEUI, "OLDNAME")), 0);
  wizard::UpdateDeviceAddress("KVTCP001", "NEWNAME", "127.0.0.10");
  wizard::UpdateDeviceAddress("KVNB0001", "NEWNAME", "127.0.0.10");
  wizard::UpdateDeviceAddress(box_->DefaultName().c_str(), "NEWNAME", "127.0.0.10");
  wizard::DeviceRecord r{};
  ASSERT_EQ(wizard::SearchName(&r, "KVTCP001"), 1);
  EXPECT_STREQ(reinterpret_cast<const char*>(r.address), "127.0.0.10");
  ASSERT_EQ(wizard::SearchName(&r, "KVNB0001"), 1);
  EXPECT_STREQ(reinterpret_cast<const char*>(r.address), "NEWNAME");
  ASSERT_EQ(wizard::SearchName(&r, box_->DefaultName().c_str()), 1);
  EXPECT_STREQ(reinterpret_cast<const char*>(r.address), "10.9.9.9");

  // PSExit twice does no harm and empties the table.
  wizard::PSExit();
  wizard::PSExit();
  EXPECT_EQ(wizard::wizard_access::DeviceCount(), 0);
  EXPECT_EQ(wizard::SearchName(&r, "KVTCP001"), 0);
}

TEST_F(WizardExchange, TcpFaultsWithTheWizardsWaits) {
  const wizard::DeviceRecord tcp = Record(box_->DefaultName(), TYPE_TCPIP, box_->Address());
  std::string reply;
  // An error byte in the second reply chunk.
  box_emulator::FaultPlan error;
  error.chunkSize = 200;
  error.errorChunk = 1;
  box_->InjectFault(error);
  EXPECT_EQ(Send(tcp, "9100:\r\n", &reply), ERR_COMMAND);
  // A silent box: one 30 s wait.
  box_emulator::FaultPlan silent;
  silent.neverReply = true;
  box_->InjectFault(silent);
  const std::int64_t before = clock_->WaitedMs();
  EXPECT_EQ(Send(tcp, "9007:\n", &reply), ERR_NETWORK);
  EXPECT_EQ(clock_->WaitedMs() - before, 30000);
  // A reply cut short by the box closing the connection.
  box_emulator::FaultPlan cut;
  cut.closeAfterBytes = 100;
  box_->InjectFault(cut);
  EXPECT_EQ(Send(tcp, "9100:\r\n", &reply), ERR_NETWORK);
  EXPECT_EQ(Send(tcp, "9007:\n", &reply), 0);
}

}  // namespace

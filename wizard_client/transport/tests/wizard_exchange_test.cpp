// The wizard's exchanges end to end against emulated boxes: the UDP request transport of port
// 34444 with its faults, TCP with the wizard's waits, and the device-table routines.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "platform/clock.h"
#include "platform/test_support/temp_root.h"
#include "tools/box_emulator/box_emulator.h"
#include "tools/box_emulator/udp_discovery.h"
#include "device_client/core/wire_layout.h"
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

// A peer on the request port that keeps an attempt busy: it answers each request with a datagram
// and then sends another one every `everyMs` of the clock (it moves the fake clock on itself),
// until the client's socket is gone (the port refuses), the client asks again, or kCap datagrams
// went out.
class BusyPeer {
 public:
  enum class Kind {
    kRepeatedFragment,  // fragment 1 of a two-fragment reply, again and again
    kOtherId,           // whole replies of another device id
    kSlowFragments,     // one fragment after the other of a 200-fragment reply, each in time
  };
  static constexpr int kCap = 40;

  BusyPeer(platform::FakeClock* clock, Kind kind, std::string deviceId, int everyMs)
      : clock_(clock), kind_(kind), id_(std::move(deviceId)), everyMs_(everyMs) {
    fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in self{};
    self.sin_family = AF_INET;
    self.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof self;
    if (fd_ < 0 || ::bind(fd_, reinterpret_cast<sockaddr*>(&self), sizeof self) != 0 ||
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&self), &length) != 0) {
      throw std::runtime_error("no socket for the busy peer");
    }
    port_ = ntohs(self.sin_port);
    thread_ = std::thread([this] { Run(); });
  }
  ~BusyPeer() {
    stop_ = true;
    thread_.join();
    ::close(fd_);
  }
  std::uint16_t port() const { return port_; }
  // The datagrams sent for each request, in request order, once `requests` requests are served
  // (or 10 s have passed).
  std::vector<int> SentPerRequest(std::size_t requests) {
    std::unique_lock<std::mutex> lock(mu_);
    served_.wait_for(lock, 10s, [&] { return sent_.size() >= requests; });
    return sent_;
  }

 private:
  std::string Datagram(int i) const {
    // Lead byte, fragment index, error byte, total length (uint16 LE), device id, data.
    auto make = [](int index, int total, const std::string& id, const std::string& data) {
      std::string d(1, '\x01');
      d += static_cast<char>(index);
      d += '\0';
      d += static_cast<char>(total & 0xFF);
      d += static_cast<char>(total >> 8);
      d += id.substr(0, 8);
      return d + data;
    };
    switch (kind_) {
      case Kind::kRepeatedFragment:
        return make(1, 20, id_, std::string(10, 'a'));
      case Kind::kOtherId:
        return make(0, 10, "KVOTHER1", std::string(10, 'o'));
      case Kind::kSlowFragments:
        return make(199 - i, 200, id_, "s");
    }
    return {};
  }

  void Serve(const sockaddr_in& client) {
    const int s = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    int sent = 0;
    if (s >= 0 && ::connect(s, reinterpret_cast<const sockaddr*>(&client), sizeof client) == 0) {
      for (int i = 0; i < kCap && !stop_; ++i) {
        if (i > 0) clock_->Advance(everyMs_);
        const std::string d = Datagram(i);
        if (::send(s, d.data(), d.size(), 0) < 0) break;  // the client's port refused
        ++sent;
        // Give the client time to read it; stop once its socket is gone or it asks again.
        pollfd p[2] = {{s, 0, 0}, {fd_, POLLIN, 0}};
        ::poll(p, 2, 20);
        if ((p[0].revents & POLLERR) != 0 || (p[1].revents & POLLIN) != 0) break;
      }
    }
    if (s >= 0) ::close(s);
    std::lock_guard<std::mutex> lock(mu_);
    sent_.push_back(sent);
    served_.notify_all();
  }

  void Run() {
    while (!stop_) {
      pollfd p{fd_, POLLIN, 0};
      if (::poll(&p, 1, 20) <= 0) continue;
      sockaddr_in from{};
      socklen_t length = sizeof from;
      std::uint8_t request[512];
      if (::recvfrom(fd_, request, sizeof request, 0, reinterpret_cast<sockaddr*>(&from),
                     &length) < wire::kUdpRequestHeaderSize) {
        continue;
      }
      Serve(from);
    }
  }

  platform::FakeClock* clock_;
  Kind kind_;
  std::string id_;
  int everyMs_;
  int fd_ = -1;
  std::uint16_t port_ = 0;
  std::atomic<bool> stop_{false};
  std::mutex mu_;
  std::condition_variable served_;
  std::vector<int> sent_;
  std::thread thread_;
};

TEST_F(WizardExchange, UdpAttemptsEndInTimeWhateverArrivesMeanwhile) {
  struct Case {
    const char* what;
    BusyPeer::Kind kind;
    int everyMs;
  } cases[] = {
      // Each datagram comes within the 3 s wait; none of them may start the wait anew.
      {"one fragment repeated every 2 s", BusyPeer::Kind::kRepeatedFragment, 2000},
      {"another device id every 2 s", BusyPeer::Kind::kOtherId, 2000},
      // Every fragment is in time, but the attempt as a whole is not.
      {"a fragment every 2.9 s", BusyPeer::Kind::kSlowFragments, 2900},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    BusyPeer peer(clock_.get(), c.kind, "KVBUSY01", c.everyMs);
    wizard::wizard_access::UdpSettings udp;
    udp.port = peer.port();
    udp.destination = {127, 0, 0, 1};
    wizard::wizard_access::SetUdpSettings(udp);
    std::string reply;
    EXPECT_EQ(Send(Record("KVBUSY01", wizard::TYPE_UDP, ""), "9007:\n", &reply), ERR_NETWORK);
    const std::vector<int> sent = peer.SentPerRequest(4);
    ASSERT_EQ(sent.size(), 4u) << "four attempts";
    for (int n : sent) {
      // About 3 s (or 9 s for the whole attempt) of the peer's datagrams, and the one that
      // found the port closed; an attempt that let them restart its wait would take all kCap.
      EXPECT_LE(n, 10);
    }
  }
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

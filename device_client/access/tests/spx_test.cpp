// The SPX exchange of the access library through the IPX stand-in, against a small SPX peer that
// answers with scripted 4-byte-header reply chunks.
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "device_client/access/access.h"
#include "device_client/access/access_state.h"
#include "device_client/core/wire_layout.h"
#include "platform/clock.h"
#include "platform/ipx/ipx.h"
#include "platform/profile.h"
#include "platform/test_support/temp_root.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::uint8_t kNet[4] = {0x00, 0x00, 0x00, 0x01};
constexpr std::uint8_t kBoxNode[6] = {0x02, 0x00, 0x7F, 0x00, 0x00, 0x01};

// A 4-byte SPX reply header (more flag, error byte, uint16 LE length) and its data.
Bytes SpxChunk(bool more, int error, const std::string& data) {
  Bytes out;
  out.reserve(4 + data.size());
  out.push_back(static_cast<std::uint8_t>(more ? 1 : 0));
  out.push_back(static_cast<std::uint8_t>(error));
  out.push_back(static_cast<std::uint8_t>(data.size() & 0xFF));
  out.push_back(static_cast<std::uint8_t>((data.size() >> 8) & 0xFF));
  for (char c : data) out.push_back(static_cast<std::uint8_t>(c));
  return out;
}

// Listens on SPX socket 0x0404 of this machine, accepts one connection, sends `reply` at once (then
// closes its sending side; an empty reply: stays silent) and records the request until the client
// closes.
class SpxPeer {
 public:
  explicit SpxPeer(Bytes reply) : reply_(std::move(reply)) {
    listener_ = IpxSocket(SOCK_STREAM);
    const SOCKADDR_IPX at = IpxMakeAddress(kNet, kBoxNode, wire::kSpxSocket);
    listening_ = listener_ >= 0 && IpxBind(listener_, &at) == 0 && IpxListen(listener_, 2) == 0;
    if (listening_) thread_ = std::thread([this] { Serve(); });
  }
  ~SpxPeer() {
    if (listener_ >= 0) shutdown(listener_, SHUT_RDWR);  // wakes an accept that nobody answers
    if (thread_.joinable()) thread_.join();
    if (listener_ >= 0) IpxClose(listener_);
  }
  bool listening() const { return listening_; }
  // The request bytes; valid once the client has closed (after the exchange returned).
  Bytes Request() {
    if (thread_.joinable()) thread_.join();
    return request_;
  }

 private:
  void Serve() {
    const int c = IpxAccept(listener_, nullptr);
    if (c < 0) return;
    if (!reply_.empty()) {
      (void)send(c, reply_.data(), reply_.size(), MSG_NOSIGNAL);
      shutdown(c, SHUT_WR);  // nothing more comes: a short reply meets the end of the stream
    }
    std::uint8_t buf[512];
    for (;;) {
      const ssize_t n = recv(c, buf, sizeof buf, 0);
      if (n <= 0) break;
      request_.insert(request_.end(), buf, buf + n);
    }
    close(c);
  }

  Bytes reply_;
  Bytes request_;
  int listener_ = -1;
  bool listening_ = false;
  std::thread thread_;
};

DeviceRecord SpxRecord(const char* name) {
  DeviceRecord r{};
  std::strncpy(r.szName, name, sizeof r.szName);
  r.iProtocol = TYPE_IPXSPX;
  std::memcpy(r.address, kNet, 4);
  std::memcpy(r.address + 4, kBoxNode, 6);
  return r;
}

class Spx : public ::testing::Test {
 protected:
  void SetUp() override {
    unsetenv("PSADMIN_IPX_ENABLED");
    unsetenv("PSADMIN_IPX_TCP_BASE");
    unsetenv("PSADMIN_IPX_ADDRESS");
    std::random_device rd;
    const std::string base = std::to_string(20000 + rd() % 9000);
    ASSERT_TRUE(WritePrivateProfileString("IPX", "TcpPortBase", base.c_str(), "ipx.ini"));
    ASSERT_TRUE(WritePrivateProfileString("IPX", "Address", "127.0.0.1", "ipx.ini"));
  }
  void TearDown() override { PSExit(); }

  platform::testing::TempRoot root_;
};

TEST_F(Spx, InitProbesTheStandIn) {
  EXPECT_EQ(PSInit(1, 20), 0);
  EXPECT_EQ(PSInit(3, 20), 0);
  ASSERT_TRUE(WritePrivateProfileString("IPX", "Enabled", "0", "ipx.ini"));
  EXPECT_EQ(PSInit(1, 20), 0x11);
  EXPECT_EQ(PSInit(3, 20), 0x11);
}

struct ExchangeCase {
  const char* label;
  Bytes reply;
  int result;
  std::string data;  // reply data in the caller's buffer afterwards
};

class SpxExchange : public Spx, public ::testing::WithParamInterface<ExchangeCase> {};

TEST_P(SpxExchange, ThroughTheDeviceTable) {
  const ExchangeCase& c = GetParam();
  SpxPeer peer(c.reply);
  ASSERT_TRUE(peer.listening());
  ASSERT_EQ(PSInit(1, 20), 0);
  console_access::ClearDevices();
  ASSERT_EQ(console_access::AppendDevice(SpxRecord("KL00000001")), 0);

  char reply[64] = {};
  int length = -99;
  EXPECT_EQ(PSISendResp("KL00000001", "9007:\n", 6, reply, &length, sizeof reply), c.result);
  EXPECT_EQ(std::string(reply, c.data.size()), c.data);
  EXPECT_EQ(length, c.result == 0 ? static_cast<int>(c.data.size()) : -99);
  const Bytes request = {'@', 0, 6, 0, '9', '0', '0', '7', ':', '\n'};
  EXPECT_EQ(peer.Request(), request);
}

// A chunk that announces 5 data bytes and brings 2 before the box closes.
Bytes Truncated() {
  Bytes out = SpxChunk(false, 0, "ab");
  out[2] = 5;
  return out;
}

Bytes Join(const Bytes& a, const Bytes& b) {
  Bytes out;
  out.reserve(a.size() + b.size());
  for (std::uint8_t v : a) out.push_back(v);
  for (std::uint8_t v : b) out.push_back(v);
  return out;
}

INSTANTIATE_TEST_SUITE_P(
    Replies, SpxExchange,
    ::testing::Values(
        ExchangeCase{"two_chunks", Join(SpxChunk(true, 0, "abc"), SpxChunk(false, 0, "de")), 0,
                     "abcde"},
        ExchangeCase{"empty_reply", SpxChunk(false, 0, ""), 0, ""},
        ExchangeCase{"error_in_second_chunk", Join(SpxChunk(true, 0, "abc"), SpxChunk(false, 1, "")),
                     ERR_COMMAND, "abc"},
        ExchangeCase{"closed_mid_reply", Truncated(), ERR_NETWORK, ""}),
    [](const auto& p) { return std::string(p.param.label); });

TEST_F(Spx, SilentPeerTimesOutAndRefusedConnectIsNetworkError) {
  platform::FakeClock clock;
  platform::ScopedClock useClock(&clock);
  const DeviceRecord box = SpxRecord("KL00000001");
  char reply[16];
  int length = -99;
  {
    SpxPeer silent({});
    ASSERT_TRUE(silent.listening());
    EXPECT_EQ(SendRespByRecord(&box, "9007:\n", 6, reply, &length, sizeof reply), ERR_NETWORK);
    EXPECT_EQ(clock.WaitedMs(), 20000);  // one 20-second wait for the first reply header
  }
  EXPECT_EQ(ConnectSPX(&box), -1);  // nobody listens any more
  EXPECT_EQ(SendRespByRecord(&box, "9007:\n", 6, reply, &length, sizeof reply), ERR_NETWORK);
  DeviceRecord nowhere = box;
  std::memset(nowhere.address + 4, 0xFF, 6);  // the broadcast node is no box
  EXPECT_EQ(ConnectSPX(&nowhere), -1);
  EXPECT_EQ(length, -99);
}

TEST_F(Spx, ConnectReachesSocket0404OfTheNode) {
  SpxPeer peer({});
  ASSERT_TRUE(peer.listening());
  const DeviceRecord box = SpxRecord("KL00000001");
  const int fd = ConnectSPX(&box);
  ASSERT_GE(fd, 0);
  SOCKADDR_IPX local{};
  ASSERT_EQ(IpxGetSockName(fd, &local), 0);
  EXPECT_EQ(std::memcmp(local.sa_nodenum, kBoxNode, 6), 0);
  ASSERT_EQ(send(fd, "x", 1, MSG_NOSIGNAL), 1);
  close(fd);
  EXPECT_EQ(peer.Request(), Bytes{'x'});
}

}  // namespace

// IPX datagrams and SPX connections through real sockets on the loopback, each test on its own
// random port bases.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/ipx/ipx.h"
#include "platform/ipx/ipx_wire.h"
#include "platform/profile.h"
#include "platform/test_support/temp_root.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::uint8_t kNet[4] = {0x00, 0x00, 0xAB, 0xCD};
constexpr std::uint8_t kZeroNet[4] = {};
constexpr std::uint8_t kLoopNode[6] = {0x02, 0x00, 0x7F, 0x00, 0x00, 0x01};
constexpr std::uint8_t kBroadcastNode[6] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
constexpr std::uint8_t kZeroNode[6] = {};

class Ipx : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* v : {"PSADMIN_IPX_ENABLED", "PSADMIN_IPX_NETWORK", "PSADMIN_IPX_UDP_BASE",
                          "PSADMIN_IPX_TCP_BASE", "PSADMIN_IPX_ADDRESS", "PSADMIN_IPX_BROADCAST"}) {
      unsetenv(v);
    }
    std::random_device rd;
    udpBase_ = 20000 + static_cast<int>(rd() % 9000);
    tcpBase_ = 20000 + static_cast<int>(rd() % 9000);
    Set("Network", "0000ABCD");
    Set("UdpPortBase", std::to_string(udpBase_));
    Set("TcpPortBase", std::to_string(tcpBase_));
    Set("Address", "127.0.0.1");
    Set("Broadcast", "127.255.255.255");
  }
  void TearDown() override {
    for (int fd : open_) IpxClose(fd);
  }
  static void Set(const char* key, const std::string& value) {
    ASSERT_TRUE(WritePrivateProfileString("IPX", key, value.c_str(), "ipx.ini"));
  }
  int Open(int type, int packetType = 0) {
    int fd = IpxSocket(type, packetType);
    EXPECT_GE(fd, 0) << std::strerror(errno);
    if (fd >= 0) open_.push_back(fd);
    return fd;
  }
  int BoundDatagram(std::uint16_t socketNumber, const std::uint8_t (&node)[6] = kZeroNode) {
    int fd = Open(SOCK_DGRAM, 4);
    SOCKADDR_IPX local = IpxMakeAddress(kZeroNet, node, socketNumber);
    EXPECT_EQ(IpxBind(fd, &local), 0) << std::strerror(errno);
    return fd;
  }
  // A plain UDP socket for bytes that no IPX socket would send.
  int RawUdp() {
    int fd = socket(AF_INET, SOCK_DGRAM, 0);
    EXPECT_GE(fd, 0);
    raw_.push_back(fd);
    return fd;
  }
  void SendRaw(int raw, std::uint16_t ipxSocket, const Bytes& bytes) {
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = htonl(0x7F000001u);
    to.sin_port = htons(static_cast<std::uint16_t>(udpBase_ + ipxSocket));
    ASSERT_EQ(sendto(raw, bytes.data(), bytes.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to),
              static_cast<ssize_t>(bytes.size()));
  }
  static Bytes Datagram(std::uint16_t dstSocket, const std::string& data,
                        const std::uint8_t (&dstNode)[6] = kLoopNode) {
    platform::ipx::Header h;
    h.length = static_cast<std::uint16_t>(30 + data.size());
    h.packetType = 4;
    std::memcpy(h.dstNode, dstNode, 6);
    h.dstSocket = dstSocket;
    std::memcpy(h.srcNet, kNet, 4);
    std::memcpy(h.srcNode, kLoopNode, 6);
    h.srcSocket = 0x4321;
    Bytes out(30 + data.size());
    platform::ipx::EncodeHeader(h, out.data());
    std::memcpy(out.data() + 30, data.data(), data.size());
    return out;
  }
  static std::string Receive(int fd, SOCKADDR_IPX* from = nullptr, int size = 1500) {
    if (IpxWaitReadable(fd, 5000) != 1) return "<nothing>";
    std::vector<char> buf(static_cast<std::size_t>(size) + 1);
    int n = IpxRecvFrom(fd, buf.data(), size, from);
    if (n < 0) return "<error>";
    return std::string(buf.data(), static_cast<std::size_t>(n));
  }
  ~Ipx() override {
    for (int fd : raw_) close(fd);
  }

  platform::testing::TempRoot root_;
  int udpBase_ = 0;
  int tcpBase_ = 0;
  std::vector<int> open_;
  std::vector<int> raw_;
};

void ExpectAddress(const SOCKADDR_IPX& a, const std::uint8_t (&net)[4], const std::uint8_t (&node)[6],
                   std::uint16_t socketNumber) {
  EXPECT_EQ(a.sa_family, IPX_ADDRESS_FAMILY);
  EXPECT_EQ(std::memcmp(a.sa_netnum, net, 4), 0);
  EXPECT_EQ(std::memcmp(a.sa_nodenum, node, 6), 0);
  EXPECT_EQ(IpxSocketNumber(a), socketNumber);
}

TEST_F(Ipx, ConfigurationFromFileAndEnvironment) {
  IpxConfig c = IpxLoadConfig();
  EXPECT_TRUE(c.enabled);
  EXPECT_EQ(c.network, 0xABCDu);
  EXPECT_EQ(c.udpPortBase, udpBase_);
  EXPECT_EQ(c.tcpPortBase, tcpBase_);
  EXPECT_EQ(c.address, 0x7F000001u);
  EXPECT_EQ(c.broadcast, 0x7FFFFFFFu);

  setenv("PSADMIN_IPX_NETWORK", "12345678", 1);
  setenv("PSADMIN_IPX_UDP_BASE", "100", 1);
  setenv("PSADMIN_IPX_ADDRESS", "127.0.0.9", 1);
  c = IpxLoadConfig();
  EXPECT_EQ(c.network, 0x12345678u);
  EXPECT_EQ(c.udpPortBase, 100);
  EXPECT_EQ(c.address, 0x7F000009u);
  unsetenv("PSADMIN_IPX_NETWORK");
  unsetenv("PSADMIN_IPX_UDP_BASE");
  unsetenv("PSADMIN_IPX_ADDRESS");

  // Values that do not parse keep the defaults.
  Set("Network", "xyz");
  Set("UdpPortBase", "70000");
  Set("TcpPortBase", "-4");
  Set("Enabled", "maybe");
  c = IpxLoadConfig();
  EXPECT_TRUE(c.enabled);
  EXPECT_EQ(c.network, 1u);
  EXPECT_EQ(c.udpPortBase, 0);
  EXPECT_EQ(c.tcpPortBase, 0);

  SOCKADDR_IPX local{};
  ASSERT_EQ(IpxLocalAddress(&local), 0);
  const std::uint8_t net1[4] = {0, 0, 0, 1};
  ExpectAddress(local, net1, kLoopNode, 0);
}

TEST_F(Ipx, SwitchedOffOpensNothing) {
  Set("Enabled", "0");
  errno = 0;
  EXPECT_EQ(IpxSocket(SOCK_STREAM), -1);
  EXPECT_EQ(errno, EAFNOSUPPORT);
  EXPECT_EQ(IpxSocket(SOCK_DGRAM, 4), -1);
  SOCKADDR_IPX local{};
  EXPECT_EQ(IpxLocalAddress(&local), -1);
  Set("Enabled", "1");
  EXPECT_EQ(IpxClose(Open(SOCK_STREAM)), 0);
  open_.clear();
}

TEST(IpxNodes, MapToAndFromIPv4) {
  std::uint8_t node[6];
  IpxNodeFromIPv4(0xC0A8010Au, node);
  const std::uint8_t expected[6] = {0x02, 0x00, 0xC0, 0xA8, 0x01, 0x0A};
  EXPECT_EQ(std::memcmp(node, expected, 6), 0);
  std::uint32_t ip = 0;
  EXPECT_TRUE(IpxIPv4FromNode(node, ip));
  EXPECT_EQ(ip, 0xC0A8010Au);

  struct Case {
    std::uint8_t node[6];
    bool maps;
  };
  const Case cases[] = {
      {{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, false},  // broadcast
      {{0x00, 0x00, 0x00, 0x00, 0x00, 0x00}, false},  // 0.0.0.0
      {{0x02, 0x00, 0xFF, 0xFF, 0xFF, 0xFF}, false},  // 255.255.255.255
      {{0x00, 0xC0, 0x7F, 0x00, 0x00, 0x02}, true},   // another prefix: the last four bytes count
  };
  for (const Case& c : cases) {
    EXPECT_EQ(IpxIPv4FromNode(c.node, ip), c.maps);
  }
}

TEST_F(Ipx, UnicastCarriesHeaderAndSenderAddress) {
  const int receiver = BoundDatagram(0x0455);
  const int sender = Open(SOCK_DGRAM, 4);
  const SOCKADDR_IPX to = IpxMakeAddress(kZeroNet, kLoopNode, 0x0455);
  ASSERT_EQ(IpxSendTo(sender, "hello", 5, &to), 5) << std::strerror(errno);

  SOCKADDR_IPX self{};
  ASSERT_EQ(IpxGetSockName(sender, &self), 0);
  const std::uint16_t senderSocket = IpxSocketNumber(self);
  EXPECT_GE(senderSocket, 0x4000);  // bound to a dynamic socket by the first send
  EXPECT_LE(senderSocket, 0x7FFF);
  ExpectAddress(self, kNet, kLoopNode, senderSocket);

  SOCKADDR_IPX from{};
  EXPECT_EQ(Receive(receiver, &from), "hello");
  ExpectAddress(from, kNet, kLoopNode, senderSocket);

  // The answer goes back to the reported address; a short buffer gets the start of the data.
  ASSERT_EQ(IpxSendTo(receiver, "world!", 6, &from), 6);
  SOCKADDR_IPX back{};
  EXPECT_EQ(Receive(sender, &back, 3), "wor");
  ExpectAddress(back, kNet, kLoopNode, 0x0455);
}

TEST_F(Ipx, WireFormatIsIpxHeaderInUdp) {
  // A plain UDP socket on the port of IPX socket 0x0456 sees the header in front of the data.
  const int raw = RawUdp();
  int one = 1;
  setsockopt(raw, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in at{};
  at.sin_family = AF_INET;
  at.sin_addr.s_addr = htonl(0x7F000001u);
  at.sin_port = htons(static_cast<std::uint16_t>(udpBase_ + 0x0456));
  ASSERT_EQ(bind(raw, reinterpret_cast<sockaddr*>(&at), sizeof at), 0);

  const int sender = BoundDatagram(0x0457);
  const std::uint8_t dstNet[4] = {0, 0, 0, 0};
  const SOCKADDR_IPX to = IpxMakeAddress(dstNet, kLoopNode, 0x0456);
  ASSERT_EQ(IpxSendTo(sender, "\x00\x01\x86\x8B", 4, &to), 4);
  std::uint8_t buf[100];
  ASSERT_EQ(platform::WaitReadable(raw, 5000), 1);
  ASSERT_EQ(recv(raw, buf, sizeof buf, 0), 34);
  const Bytes expected = {0xFF, 0xFF, 0x00, 0x22, 0x00, 0x04,                    // checksum, length, tc, type
                          0x00, 0x00, 0x00, 0x00, 0x02, 0x00, 0x7F, 0x00, 0x00, 0x01, 0x04, 0x56,
                          0x00, 0x00, 0xAB, 0xCD, 0x02, 0x00, 0x7F, 0x00, 0x00, 0x01, 0x04, 0x57,
                          0x00, 0x01, 0x86, 0x8B};
  EXPECT_EQ(Bytes(buf, buf + 34), expected);
}

TEST_F(Ipx, BroadcastToSapSocketReachesEveryListener) {
  const int first = BoundDatagram(0x0452);
  const int second = BoundDatagram(0x0452);
  const int other = BoundDatagram(0x0453);
  const int sender = Open(SOCK_DGRAM, 4);
  const SOCKADDR_IPX to = IpxMakeAddress(kZeroNet, kBroadcastNode, 0x0452);

  errno = 0;
  EXPECT_EQ(IpxSendTo(sender, "q", 1, &to), -1);  // broadcasts not switched on
  EXPECT_EQ(errno, EACCES);
  ASSERT_EQ(IpxSetBroadcast(sender, true), 0);
  ASSERT_EQ(IpxSendTo(sender, "query", 5, &to), 5) << std::strerror(errno);

  SOCKADDR_IPX self{};
  ASSERT_EQ(IpxGetSockName(sender, &self), 0);
  for (int listener : {first, second}) {
    SOCKADDR_IPX from{};
    EXPECT_EQ(Receive(listener, &from), "query");
    ExpectAddress(from, kNet, kLoopNode, IpxSocketNumber(self));
  }
  platform::FakeClock clock;
  platform::ScopedClock useClock(&clock);
  EXPECT_EQ(IpxWaitReadable(other, 4000), 0);
}

TEST_F(Ipx, ServiceQueryAndAnswer) {
  // A box listening on the SAP socket answers a general service query with one 64-byte entry.
  const int box = BoundDatagram(0x0452);
  const int client = Open(SOCK_DGRAM, 4);
  ASSERT_EQ(IpxSetBroadcast(client, true), 0);
  SOCKADDR_IPX any = IpxMakeAddress(kZeroNet, kZeroNode, 0);
  ASSERT_EQ(IpxBind(client, &any), 0);
  const SOCKADDR_IPX sap = IpxMakeAddress(kZeroNet, kBroadcastNode, 0x0452);
  ASSERT_EQ(IpxSendTo(client, "\x00\x01\x86\x8B", 4, &sap), 4);

  SOCKADDR_IPX asker{};
  ASSERT_EQ(Receive(box, &asker), std::string("\x00\x01\x86\x8B", 4));
  std::string answer(2 + 64, '\0');
  answer[1] = 2;  // general service response
  answer[2] = static_cast<char>(0x86);
  answer[3] = static_cast<char>(0x8B);
  std::memcpy(answer.data() + 4, "BOX1", 4);
  std::memcpy(answer.data() + 52, kNet, 4);
  std::memcpy(answer.data() + 56, kLoopNode, 6);
  answer[62] = 0x04;
  answer[63] = 0x04;
  ASSERT_EQ(IpxSendTo(box, answer.data(), static_cast<int>(answer.size()), &asker), 66);

  SOCKADDR_IPX from{};
  EXPECT_EQ(Receive(client, &from), answer);
  ExpectAddress(from, kNet, kLoopNode, 0x0452);
}

TEST_F(Ipx, MalformedDatagramsAreDroppedUnseen) {
  const int receiver = BoundDatagram(0x0460, kLoopNode);
  const int raw = RawUdp();
  Bytes tooLong = Datagram(0x0460, "abc");
  tooLong[3] = 40;  // length beyond the datagram
  Bytes tooShort = Datagram(0x0460, "abc");
  tooShort[2] = 0;
  tooShort[3] = 29;  // length below a header
  Bytes huge = Datagram(0x0460, std::string(1471, 'x'));
  const std::uint8_t otherNode[6] = {0x02, 0x00, 0x7F, 0x00, 0x00, 0x02};
  const Bytes junk[] = {
      {},
      {0x01, 0x02, 0x03},
      Bytes(29, 0xFF),
      tooLong,
      tooShort,
      huge,
      Datagram(0x0461, "other socket"),
      Datagram(0x0460, "other node", otherNode),
  };
  for (const Bytes& j : junk) SendRaw(raw, 0x0460, j);
  {
    platform::FakeClock clock;
    platform::ScopedClock useClock(&clock);
    EXPECT_EQ(IpxWaitReadable(receiver, 4000), 0);
    char b[8];
    errno = 0;
    EXPECT_EQ(IpxRecvFrom(receiver, b, sizeof b, nullptr, MSG_DONTWAIT), -1);
    EXPECT_TRUE(errno == EAGAIN || errno == EWOULDBLOCK);
  }
  for (const Bytes& j : junk) SendRaw(raw, 0x0460, j);
  Bytes good = Datagram(0x0460, "good");
  good.push_back('!');  // bytes beyond the length field are not data
  SendRaw(raw, 0x0460, good);
  SendRaw(raw, 0x0460, Datagram(0x0460, "to all", kBroadcastNode));
  SOCKADDR_IPX from{};
  EXPECT_EQ(Receive(receiver, &from), "good");  // IpxRecvFrom skips the junk by itself
  ExpectAddress(from, kNet, kLoopNode, 0x4321);
  EXPECT_EQ(Receive(receiver), "to all");
}

TEST_F(Ipx, RefusedSendsAndBinds) {
  const int fd = Open(SOCK_DGRAM, 4);
  ASSERT_EQ(IpxSetBroadcast(fd, true), 0);
  const std::string big(kIpxMaxData + 1, 'x');
  struct Case {
    const char* label;
    SOCKADDR_IPX to;
    int length;
    int error;
  };
  const Case cases[] = {
      {"too_long", IpxMakeAddress(kZeroNet, kLoopNode, 0x0452), kIpxMaxData + 1, EMSGSIZE},
      {"socket_zero", IpxMakeAddress(kZeroNet, kLoopNode, 0), 1, EINVAL},
      {"beyond_port_range", IpxMakeAddress(kZeroNet, kLoopNode, 0xFFF0), 1, EINVAL},
      {"no_host", IpxMakeAddress(kZeroNet, kZeroNode, 0x0452), 1, EADDRNOTAVAIL},
  };
  for (const Case& c : cases) {
    errno = 0;
    EXPECT_EQ(IpxSendTo(fd, big.data(), c.length, &c.to), -1) << c.label;
    EXPECT_EQ(errno, c.error) << c.label;
  }
  EXPECT_EQ(IpxSendTo(fd, big.data(), kIpxMaxData, &cases[0].to), kIpxMaxData);

  // Once bound (here by the send), a datagram socket stays on its socket number.
  SOCKADDR_IPX again = IpxMakeAddress(kZeroNet, kZeroNode, 0x0470);
  EXPECT_EQ(IpxBind(fd, &again), -1);
  EXPECT_EQ(errno, EINVAL);
  // Two dynamic sockets never share a number.
  const int a = BoundDatagram(0);
  const int b = BoundDatagram(0);
  SOCKADDR_IPX na{}, nb{};
  ASSERT_EQ(IpxGetSockName(a, &na), 0);
  ASSERT_EQ(IpxGetSockName(b, &nb), 0);
  EXPECT_NE(IpxSocketNumber(na), IpxSocketNumber(nb));
  // Receiving needs a bound socket.
  const int unbound = Open(SOCK_DGRAM);
  char buf[4];
  EXPECT_EQ(IpxRecvFrom(unbound, buf, sizeof buf, nullptr, MSG_DONTWAIT), -1);
  EXPECT_EQ(errno, EINVAL);
}

TEST_F(Ipx, SpxConnectionIsAStream) {
  const int listener = Open(SOCK_STREAM);
  const SOCKADDR_IPX boxAddress = IpxMakeAddress(kNet, kLoopNode, 0x0404);
  ASSERT_EQ(IpxBind(listener, &boxAddress), 0) << std::strerror(errno);
  ASSERT_EQ(IpxListen(listener, 4), 0);
  SOCKADDR_IPX listening{};
  ASSERT_EQ(IpxGetSockName(listener, &listening), 0);
  ExpectAddress(listening, kNet, kLoopNode, 0x0404);

  const int client = Open(SOCK_STREAM);
  const SOCKADDR_IPX any = IpxMakeAddress(kZeroNet, kZeroNode, 0);
  ASSERT_EQ(IpxBind(client, &any), 0);
  ASSERT_EQ(IpxConnect(client, &boxAddress, 5000), 0) << std::strerror(errno);

  SOCKADDR_IPX peer{};
  const int served = IpxAccept(listener, &peer);
  ASSERT_GE(served, 0);
  open_.push_back(served);
  EXPECT_EQ(std::memcmp(peer.sa_nodenum, kLoopNode, 6), 0);
  EXPECT_EQ(std::memcmp(peer.sa_netnum, kNet, 4), 0);

  ASSERT_EQ(send(client, "@\0\6\0009007:\n", 10, MSG_NOSIGNAL), 10);
  char in[16] = {};
  ASSERT_EQ(platform::WaitReadable(served, 5000), 1);
  ASSERT_EQ(recv(served, in, 10, MSG_WAITALL), 10);
  EXPECT_EQ(std::string(in, 10), std::string("@\0\6\0009007:\n", 10));
  ASSERT_EQ(send(served, "\0\0\2\0ok", 6, MSG_NOSIGNAL), 6);
  ASSERT_EQ(IpxWaitReadable(client, 5000), 1);
  ASSERT_EQ(recv(client, in, 6, MSG_WAITALL), 6);
  EXPECT_EQ(std::string(in, 6), std::string("\0\0\2\0ok", 6));
}

TEST_F(Ipx, SpxConnectFailures) {
  struct Case {
    const char* label;
    SOCKADDR_IPX to;
    int error;
  };
  const Case cases[] = {
      {"nobody_listens", IpxMakeAddress(kNet, kLoopNode, 0x0404), ECONNREFUSED},
      {"broadcast_node", IpxMakeAddress(kNet, kBroadcastNode, 0x0404), EADDRNOTAVAIL},
      {"zero_node", IpxMakeAddress(kNet, kZeroNode, 0x0404), EADDRNOTAVAIL},
      {"socket_zero", IpxMakeAddress(kNet, kLoopNode, 0), EINVAL},
  };
  for (const Case& c : cases) {
    const int fd = Open(SOCK_STREAM);
    errno = 0;
    EXPECT_EQ(IpxConnect(fd, &c.to, 5000), -1) << c.label;
    EXPECT_EQ(errno, c.error) << c.label;
  }
  const int dgram = Open(SOCK_DGRAM);
  EXPECT_EQ(IpxConnect(dgram, &cases[0].to, 5000), -1);
  EXPECT_EQ(errno, EOPNOTSUPP);
}

// ---- the header codec on its own ----

TEST(IpxWire, HeaderRoundTripAndAcceptance) {
  platform::ipx::Header h;
  h.length = 34;
  h.transportControl = 3;
  h.packetType = 4;
  std::memcpy(h.dstNode, kLoopNode, 6);
  h.dstSocket = 0x0452;
  std::memcpy(h.srcNet, kNet, 4);
  h.srcSocket = 0x4001;
  std::uint8_t bytes[34] = {};
  platform::ipx::EncodeHeader(h, bytes);
  platform::ipx::Header back;
  std::size_t dataLength = 99;
  ASSERT_TRUE(platform::ipx::DecodeHeader(bytes, sizeof bytes, back, dataLength));
  EXPECT_EQ(dataLength, 4u);
  EXPECT_EQ(back.checksum, 0xFFFF);
  EXPECT_EQ(back.transportControl, 3);
  EXPECT_EQ(back.packetType, 4);
  EXPECT_EQ(back.dstSocket, 0x0452);
  EXPECT_EQ(back.srcSocket, 0x4001);
  EXPECT_EQ(std::memcmp(back.srcNet, kNet, 4), 0);

  const std::uint8_t otherNode[6] = {0x02, 0x00, 0x7F, 0x00, 0x00, 0x02};
  EXPECT_TRUE(platform::ipx::Accepts(back, 0x0452, nullptr));
  EXPECT_TRUE(platform::ipx::Accepts(back, 0x0452, kLoopNode));
  EXPECT_FALSE(platform::ipx::Accepts(back, 0x0452, otherNode));
  EXPECT_FALSE(platform::ipx::Accepts(back, 0x0453, nullptr));
  EXPECT_FALSE(platform::ipx::Accepts(back, 0, nullptr));
  std::memcpy(back.dstNode, kBroadcastNode, 6);
  EXPECT_TRUE(platform::ipx::Accepts(back, 0x0452, otherNode));

  EXPECT_FALSE(platform::ipx::DecodeHeader(bytes, 29, back, dataLength));
  EXPECT_FALSE(platform::ipx::DecodeHeader(nullptr, 0, back, dataLength));
}

}  // namespace

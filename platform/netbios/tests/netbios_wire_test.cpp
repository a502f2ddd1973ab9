#include <gtest/gtest.h>

#include <cstring>

#include "platform/netbios/nb_wire.h"

namespace wire = platform::netbios::wire;

namespace {

wire::Name NameOf(const char* text, std::uint8_t suffix) {
  wire::Name n{};
  n.fill(' ');
  std::memcpy(n.data(), text, std::strlen(text));
  n[15] = suffix;
  return n;
}

TEST(NetbiosWire, FirstLevelEncodingRoundTrips) {
  wire::Name n = NameOf("FRED", 0x20);
  std::vector<std::uint8_t> out;
  wire::AppendEncodedName(out, n);
  ASSERT_EQ(out.size(), 34u);
  EXPECT_EQ(out[0], 0x20);
  EXPECT_EQ(std::string(out.begin() + 1, out.begin() + 9), "EGFCEFEE");  // F R E D
  EXPECT_EQ(out[33], 0);
  std::size_t off = 0;
  wire::Name back{};
  ASSERT_TRUE(wire::ReadEncodedName(out.data(), out.size(), off, back));
  EXPECT_EQ(back, n);
  EXPECT_EQ(off, 34u);
}

TEST(NetbiosWire, NameQueryResponseWithCompressedNameParses) {
  wire::NsPacket q;
  q.trnId = 0x1234;
  q.response = true;
  q.aa = true;
  q.questions.push_back({NameOf("BOX", 0x01), wire::kTypeNB, wire::kClassIN});
  std::vector<std::uint8_t> bytes = wire::BuildNsPacket(q);
  // An answer whose name is a pointer to the question's name at offset 12.
  bytes[5] = 1;  // QDCOUNT stays 1
  bytes[7] = 1;  // ANCOUNT 1
  std::vector<std::uint8_t> answer = {0xC0, 0x0C, 0x00, 0x20, 0x00, 0x01, 0, 0, 0, 0, 0, 6, 0x80, 0x00, 10, 1, 2, 3};
  bytes.insert(bytes.end(), answer.begin(), answer.end());
  wire::NsPacket p;
  ASSERT_TRUE(wire::ParseNsPacket(bytes.data(), bytes.size(), p));
  ASSERT_EQ(p.answers.size(), 1u);
  EXPECT_EQ(p.answers[0].name, NameOf("BOX", 0x01));
  std::uint16_t flags = 0;
  std::uint32_t address = 0;
  ASSERT_TRUE(wire::ReadNbRdata(p.answers[0].rdata, flags, address));
  EXPECT_EQ(flags, wire::kNbFlagGroup);
  EXPECT_EQ(address, 0x0A010203u);
}

TEST(NetbiosWire, DatagramRoundTripsAndSessionRequestParses) {
  wire::Datagram d;
  d.type = wire::kDgmDirectGroup;
  d.id = 7;
  d.sourceIp = 0x7F000002;
  d.sourcePort = 138;
  d.source = NameOf("PC", 0x00);
  d.destination = NameOf("WSPS_PSRV_KVX", 0x00);
  d.data = {'@', 0, 6, 0, '9', '0', '0', '7', ':', '\n'};
  std::vector<std::uint8_t> bytes = wire::BuildDatagram(d);
  wire::Datagram back;
  ASSERT_TRUE(wire::ParseDatagram(bytes.data(), bytes.size(), back));
  EXPECT_EQ(back.type, d.type);
  EXPECT_EQ(back.sourceIp, d.sourceIp);
  EXPECT_EQ(back.source, d.source);
  EXPECT_EQ(back.destination, d.destination);
  EXPECT_EQ(back.data, d.data);

  std::vector<std::uint8_t> req = wire::BuildSessionRequest(NameOf("BOX", 1), NameOf("PC", 0));
  std::uint8_t type = 0;
  std::uint32_t len = 0;
  wire::ReadSessionHeader(req.data(), type, len);
  EXPECT_EQ(type, wire::kSsnRequest);
  ASSERT_EQ(len, 68u);
  wire::Name called{}, calling{};
  ASSERT_TRUE(wire::ParseSessionRequestBody(req.data() + 4, len, called, calling));
  EXPECT_EQ(called, NameOf("BOX", 1));
  EXPECT_EQ(calling, NameOf("PC", 0));
}

TEST(NetbiosWire, SessionLengthCarriesSeventeenBits) {
  std::uint8_t h[4];
  wire::PutSessionHeader(wire::kSsnMessage, 0x1FFFF, h);
  EXPECT_EQ(h[1], 1);
  std::uint8_t type = 0xEE;
  std::uint32_t len = 0;
  wire::ReadSessionHeader(h, type, len);
  EXPECT_EQ(type, 0);
  EXPECT_EQ(len, 0x1FFFFu);
}

TEST(NetbiosWire, DamagedPacketsAreRefused) {
  wire::Datagram d;
  d.source = NameOf("A", 0);
  d.destination = NameOf("B", 0);
  d.data = {1, 2, 3};
  std::vector<std::uint8_t> good = wire::BuildDatagram(d);
  struct Case {
    const char* what;
    std::function<void(std::vector<std::uint8_t>&)> damage;
  };
  const Case cases[] = {
      {"cut inside the header", [](auto& b) { b.resize(9); }},
      {"length beyond the packet", [](auto& b) { b[10] = 0x7F; }},
      {"fragment (more flag)", [](auto& b) { b[1] |= wire::kDgmMoreFlag; }},
      {"name not 32 characters", [](auto& b) { b[14] = 0x10; }},
      {"bad encoding character", [](auto& b) { b[15] = 'z'; }},
      {"pointer loop", [](auto& b) { b[14] = 0xC0; b[15] = 14; }},
      {"unknown type", [](auto& b) { b[0] = 0x15; }},
  };
  for (const Case& c : cases) {
    std::vector<std::uint8_t> b = good;
    c.damage(b);
    wire::Datagram out;
    EXPECT_FALSE(wire::ParseDatagram(b.data(), b.size(), out)) << c.what;
  }
  wire::NsPacket p;
  std::vector<std::uint8_t> tooMany = {0, 1, 0, 0, 0xFF, 0xFF, 0, 0, 0, 0, 0, 0};
  EXPECT_FALSE(wire::ParseNsPacket(tooMany.data(), tooMany.size(), p));
  std::vector<std::uint8_t> truncated = {0, 1, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0x20, 'A'};
  EXPECT_FALSE(wire::ParseNsPacket(truncated.data(), truncated.size(), p));
}

}  // namespace

#include "discovery_scanner/scanner/discovery_wire.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "device_client/core/wire_layout.h"

namespace lumeth {
namespace {

std::vector<std::uint8_t> Block(const char* defaultName, const char* deviceName, std::uint8_t protocols = 0x1F) {
  std::vector<std::uint8_t> b(wire::pid::kSize, 0);
  for (int i = 0; i < 32; ++i) b[static_cast<std::size_t>(4 + i)] = static_cast<std::uint8_t>(0x40 + i);
  b[wire::pid::kProtocolId + 1] = protocols;
  b[wire::pid::kFunctionId] = 0x12;
  b[wire::pid::kFunctionId + 1] = 0x34;
  std::memcpy(&b[wire::pid::kDefaultName], defaultName, std::strlen(defaultName));
  std::memcpy(&b[wire::pid::kDeviceName], deviceName, std::strlen(deviceName));
  return b;
}

std::vector<std::uint8_t> Reply(const std::vector<std::uint8_t>& payload, std::uint8_t error = 0, int length = -1) {
  std::vector<std::uint8_t> d(5 + payload.size(), 0);
  const int n = length < 0 ? static_cast<int>(payload.size()) : length;
  d[0] = 0xA5;
  d[2] = error;
  d[3] = static_cast<std::uint8_t>(n);
  d[4] = static_cast<std::uint8_t>(n >> 8);
  for (std::size_t i = 0; i < payload.size(); ++i) d[5 + i] = payload[i];
  return d;
}

TEST(DiscoveryWireTest, RequestsHaveTheirLayout) {
  const auto r = BuildDiscoveryRequest();
  EXPECT_EQ(std::string(r.begin(), r.end()), std::string("@\0\x06\0" "9007:\n", 10));
  const auto r2 = BuildDiscoveryRequest2();
  EXPECT_EQ(std::string(r2.begin(), r2.end()), std::string("@\0\x06\0XXXXXXXX9007:\n", 18));
  const auto own = BuildDiscoveryRequest2("1A2B");
  EXPECT_EQ(std::string(own.begin() + 4, own.begin() + 12), "1A2BXXXX");
}

TEST(DiscoveryWireTest, GoodReplyFillsTheBlockFields) {
  const auto block = Block("KV1A2B3C", "Office-Printer");
  for (ReplyKind kind : {ReplyKind::kUdp, ReplyKind::kNetBios, ReplyKind::kUdp2}) {
    std::vector<std::uint8_t> payload = block;
    if (kind == ReplyKind::kUdp2) payload.insert(payload.begin(), 8, 'X');
    scan_cache::ScanCacheRecord r{};
    ASSERT_EQ(ParseDiscoveryReply(Reply(payload).data(), Reply(payload).size(), kind, &r), ReplyCheck::kOk);
    EXPECT_STREQ(std::string(r.szDefaultName, 20).c_str(), "KV1A2B3C");
    EXPECT_STREQ(std::string(r.szDeviceName, 20).c_str(), "Office-Printer");
    EXPECT_EQ(std::memcmp(r.hardwareId, &block[4], 32), 0);
    EXPECT_EQ(r.functionId[0], 0x12);
    EXPECT_EQ(r.functionId[1], 0x34);
  }
}

TEST(DiscoveryWireTest, BadRepliesAreRefusedBeforeARecordIsBuilt) {
  const auto block = Block("KV1A2B3C", "Office");
  std::vector<std::uint8_t> used(block.begin(), block.begin() + 96);  // every field the record takes
  std::vector<std::uint8_t> cut(block.begin(), block.begin() + 95);
  struct Case {
    const char* what;
    std::vector<std::uint8_t> datagram;
    ReplyKind kind;
    ReplyCheck expected;
  } cases[] = {
      {"empty", {}, ReplyKind::kUdp, ReplyCheck::kTooShort},
      {"header only", Reply({}), ReplyKind::kUdp, ReplyCheck::kTooShort},
      {"block cut before the default name ends", Reply(cut), ReplyKind::kNetBios, ReplyCheck::kTooShort},
      {"fields present", Reply(used), ReplyKind::kNetBios, ReplyCheck::kOk},
      {"34444 reply without the identifier", Reply(used), ReplyKind::kUdp2, ReplyCheck::kTooShort},
      // The header is never looked at: only the datagram's size bounds what is read.
      {"101-byte NetBIOS answer announcing 164", Reply(used, 0, 164), ReplyKind::kNetBios, ReplyCheck::kOk},
      {"length past the datagram", Reply(block, 0, 200), ReplyKind::kUdp, ReplyCheck::kOk},
      {"length too small for the fields", Reply(block, 0, 20), ReplyKind::kUdp, ReplyCheck::kOk},
      {"error byte set", Reply(block, 1), ReplyKind::kUdp, ReplyCheck::kOk},
      {"cut and announcing more, too short", Reply(cut, 0, 164), ReplyKind::kNetBios, ReplyCheck::kTooShort},
      // Names the device libraries would refuse never become a record.
      {"control byte in the default name", Reply(Block("KV\x01" "1", "A")), ReplyKind::kUdp, ReplyCheck::kUnusableName},
      {"backslash in the default name", Reply(Block("KV\\1", "A")), ReplyKind::kNetBios, ReplyCheck::kUnusableName},
      {"empty default name", Reply(Block("", "A")), ReplyKind::kNetBios, ReplyCheck::kUnusableName},
      {"control byte in the device name", Reply(Block("KV1", "Front\ndesk")), ReplyKind::kUdp, ReplyCheck::kUnusableName},
      {"backslash in the device name", Reply(Block("KV1", "A\\B")), ReplyKind::kNetBios, ReplyCheck::kUnusableName},
      {"empty device name", Reply(Block("KV1", "")), ReplyKind::kNetBios, ReplyCheck::kOk},
      {"no protocols on 34443", Reply(Block("KV1", "A", 0)), ReplyKind::kUdp, ReplyCheck::kNoProtocols},
      {"no protocols over NetBIOS", Reply(Block("KV1", "A", 0)), ReplyKind::kNetBios, ReplyCheck::kOk},
  };
  for (const Case& c : cases) {
    scan_cache::ScanCacheRecord r{};
    std::memset(&r, 0x5A, sizeof r);
    const ReplyCheck got = ParseDiscoveryReply(c.datagram.data(), c.datagram.size(), c.kind, &r);
    EXPECT_EQ(got, c.expected) << c.what;
    if (got != ReplyCheck::kOk) {
      EXPECT_EQ(static_cast<unsigned char>(r.szDefaultName[0]), 0x5A) << c.what;
    }
  }
}

TEST(DiscoveryWireTest, NetBiosAddressAndSubnet) {
  scan_cache::ScanCacheRecord r{};
  std::memcpy(r.szDeviceName, "ABCDEFGHIJKLMNOPQRST", 20);
  SetNetBiosAddress(&r, 3);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(r.address), 15), "ABCDEFGHIJKLMNO");
  EXPECT_EQ(r.address[15], 0);
  EXPECT_EQ(r.address[19], 3);

  const std::uint8_t local[4] = {192, 168, 1, 10}, mask[4] = {255, 255, 255, 0};
  const std::uint8_t same[4] = {192, 168, 1, 200}, other[4] = {192, 168, 2, 10};
  EXPECT_EQ(IsSameSubnet(local, mask, same), 1);
  EXPECT_EQ(IsSameSubnet(local, mask, other), 0);
}

TEST(DiscoveryWireTest, TakenNamesCompareAsTheirRouteDoes) {
  const char a[20] = {'K', 'V', '1', 0, 'x'};
  const char b[20] = {'K', 'V', '1', 0, 'y'};  // the same text, other bytes after the NUL
  const char full[20] = {'A', 'B', 'C', 'D', 'E', 'F', 'G', 'H', 'I', 'J',
                         'K', 'L', 'M', 'N', 'O', 'P', 'Q', 'R', 'S', 'T'};
  TakenNames text(TakenNames::Compare::kText);
  EXPECT_TRUE(text.Take(a));
  EXPECT_FALSE(text.Take(b));
  EXPECT_TRUE(text.Take(full));
  EXPECT_FALSE(text.Take(full));
  TakenNames bytes(TakenNames::Compare::kBytes);
  EXPECT_TRUE(bytes.Take(a));
  EXPECT_TRUE(bytes.Take(b));
  EXPECT_FALSE(bytes.Take(a));
  EXPECT_EQ(bytes.size(), 2u);
}

std::vector<std::uint8_t> SapEntry(std::uint16_t type, std::uint8_t nodeLast) {
  std::vector<std::uint8_t> e(64, 0);
  e[0] = static_cast<std::uint8_t>(type >> 8);
  e[1] = static_cast<std::uint8_t>(type);
  std::memcpy(&e[2], "BOX", 3);
  const std::uint8_t net[4] = {0, 0, 0xAB, 0xCD};
  const std::uint8_t node[6] = {0x02, 0x00, 0x7F, 0x00, 0x0A, nodeLast};
  std::memcpy(&e[50], net, 4);
  std::memcpy(&e[54], node, 6);
  return e;
}

TEST(DiscoveryWireTest, SapAnswersGiveOneProvisionalRecordPerPrintServerNode) {
  std::vector<std::uint8_t> answer = {0x00, 0x02};
  for (const auto& e : {SapEntry(0x868B, 1), SapEntry(0x0004, 2), SapEntry(0x868B, 1), SapEntry(0x868B, 3)}) {
    answer.insert(answer.end(), e.begin(), e.end());
  }
  answer.insert(answer.end(), 40, 0x86);  // a cut entry at the end is not read
  const char local[20] = "10.0.0.1";
  std::vector<scan_cache::ScanCacheRecord> records;
  EXPECT_EQ(TakeSapAnswer(answer.data(), answer.size(), local, &records), 0);
  ASSERT_EQ(records.size(), 2u);
  EXPECT_STREQ(records[0].szDefaultName, "KL000A01");
  EXPECT_STREQ(records[1].szDefaultName, "KL000A03");
  EXPECT_EQ(records[0].iProtocol, 1);
  EXPECT_EQ(records[0].address[3], 0xCD);
  EXPECT_EQ(records[0].address[9], 0x01);
  EXPECT_STREQ(records[0].szLocalAddress, "10.0.0.1");

  // The 385th print server finds the list full.
  records.assign(static_cast<std::size_t>(scan_cache::kMaxRecords), scan_cache::ScanCacheRecord{});
  std::vector<std::uint8_t> one = {0x00, 0x02};
  const auto e = SapEntry(0x868B, 9);
  one.insert(one.end(), e.begin(), e.end());
  EXPECT_EQ(TakeSapAnswer(one.data(), one.size(), local, &records), -10);
  EXPECT_EQ(records.size(), static_cast<std::size_t>(scan_cache::kMaxRecords));
}

}  // namespace
}  // namespace lumeth

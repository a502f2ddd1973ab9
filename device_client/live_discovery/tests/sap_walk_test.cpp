// The SAP answer walk and the device-answer check on hand-made datagrams.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "device_client/live_discovery/live_discovery.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Entry(std::uint16_t type, const std::string& name, std::uint8_t nodeLast) {
  Bytes e(64, 0);
  e[0] = static_cast<std::uint8_t>(type >> 8);
  e[1] = static_cast<std::uint8_t>(type & 0xFF);
  std::memcpy(e.data() + 2, name.data(), std::min<std::size_t>(name.size(), 48));
  e[53] = 0x01;  // network 00000001
  e[54] = 0x02;
  e[59] = nodeLast;
  return e;
}

Bytes Answer(const std::vector<Bytes>& entries) {
  Bytes out = {0x00, 0x02};
  for (const auto& e : entries) out.insert(out.end(), e.begin(), e.end());
  return out;
}

std::vector<std::string> Walk(int type, const Bytes& datagram, int capacity = 8, int* rc = nullptr) {
  std::vector<char> names(static_cast<std::size_t>(capacity) * SAP_NAME_SIZE);
  int count = 0;
  const int result = live_discovery::TakeSapAnswer(type, datagram.data(), static_cast<int>(datagram.size()),
                                                   names.data(), nullptr, &count, capacity);
  if (rc != nullptr) *rc = result;
  std::vector<std::string> out;
  for (int i = 0; i < count; ++i) {
    const char* p = &names[static_cast<std::size_t>(i) * SAP_NAME_SIZE];
    out.emplace_back(p, strnlen(p, SAP_NAME_SIZE));
  }
  return out;
}

struct WalkCase {
  const char* label;
  int type;
  Bytes datagram;
  std::vector<std::string> expected;
};

class SapWalk : public ::testing::TestWithParam<WalkCase> {};

TEST_P(SapWalk, TakesWholeEntriesOfTheAskedType) {
  EXPECT_EQ(Walk(GetParam().type, GetParam().datagram), GetParam().expected);
}

Bytes Cut(Bytes b, std::size_t size) {
  b.resize(size);
  return b;
}

std::string Padded(const std::string& tree) {
  std::string s = tree;
  s.resize(32, '_');
  return s + "ABCDEF0123456789";
}

// A tree entry whose name is three underscores and zeros: nothing of the name is left.
Bytes UnderscoreTree() {
  Bytes b(66, 0);
  const std::uint8_t head[] = {0x00, 0x02, 0x02, 0x78, 0x5F, 0x5F, 0x5F};
  std::memcpy(b.data(), head, sizeof head);
  return b;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SapWalk,
    ::testing::Values(
        WalkCase{"query_heard", 11, Bytes{0x00, 0x01, 0x00, 0x04}, {}},
        WalkCase{"last_entry_cut", 11, Cut(Answer({Entry(4, "FS1", 1), Entry(4, "FS2", 2)}), 2 + 64 + 63), {"FS1"}},
        WalkCase{"other_types_passed", 11, Answer({Entry(0x0278, "T", 1), Entry(4, "FS", 2)}), {"FS"}},
        WalkCase{"duplicates_once", 11, Answer({Entry(4, "FS", 1), Entry(4, "FS", 2)}), {"FS"}},
        WalkCase{"control_characters", 11, Answer({Entry(4, "BAD\nNAME", 1), Entry(4, "OK", 2)}), {"OK"}},
        WalkCase{"tree_padding_cut", 12, Answer({Entry(0x0278, Padded("MY_TREE"), 1)}), {"MY_TREE"}},
        WalkCase{"tree_only_padding", 12, Answer({Entry(0x0278, Padded(""), 1)}), {}},
        WalkCase{"tree_only_underscores", 12, UnderscoreTree(), {}},
        WalkCase{"tree_full_width", 12, Answer({Entry(0x0278, std::string(40, 'T'), 1)}), {std::string(32, 'T')}}),
    [](const auto& p) { return std::string(p.param.label); });

TEST(SapWalkLimits, FullArrayAndPrintServersByNode) {
  int rc = 0;
  EXPECT_EQ(Walk(11, Answer({Entry(4, "A", 1), Entry(4, "B", 2), Entry(4, "C", 3)}), 2, &rc).size(), 2u);
  EXPECT_EQ(rc, ERR_LIST_FULL);

  const Bytes boxes = Answer({Entry(0x868B, "X", 0x21), Entry(0x868B, "Y", 0x21), Entry(0x868B, "Z", 0x22)});
  DeviceRecord records[4] = {};
  int count = 0;
  EXPECT_EQ(live_discovery::TakeSapAnswer(10, boxes.data(), static_cast<int>(boxes.size()), nullptr, records,
                                          &count, 4),
            0);
  ASSERT_EQ(count, 2);
  EXPECT_EQ(std::string(records[0].szName), "KL000021");
  EXPECT_EQ(records[1].address[9], 0x22);
  EXPECT_EQ(records[1].address[3], 0x01);
}

TEST(DeviceAnswer, NeedsTheWholeNameAndAUsableOne) {
  Bytes answer(101, 0);
  std::memcpy(answer.data() + 81, "KV001122", 8);
  std::memcpy(answer.data() + 61, "Front-Desk-Printer", 18);
  char name[20];
  char netbios[16];
  ASSERT_TRUE(live_discovery::ParseDeviceAnswer(answer.data(), 101, name, netbios));
  EXPECT_EQ(std::string(name), "KV001122");
  EXPECT_EQ(std::string(netbios), "Front-Desk-Prin");
  EXPECT_FALSE(live_discovery::ParseDeviceAnswer(answer.data(), 100, name, netbios));
  answer[82] = '\t';
  EXPECT_FALSE(live_discovery::ParseDeviceAnswer(answer.data(), 101, name, nullptr));
  answer[81] = 0;
  EXPECT_FALSE(live_discovery::ParseDeviceAnswer(answer.data(), 101, name, nullptr));
}

}  // namespace

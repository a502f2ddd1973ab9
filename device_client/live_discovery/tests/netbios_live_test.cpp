// The NetBIOS datagram browse against a scripted NetBIOS transport: boxes answer the datagram on
// the LANAs they are reachable on, as many times as it is sent.
#include <deque>
#include <map>
#include <mutex>
#include <vector>

#include "device_client/access/ncb.h"
#include "device_client/live_discovery/tests/live_test_support.h"
#include "platform/netbios/tests/nb_test_env.h"
#include "tools/box_emulator/box_core.h"
#include "tools/box_emulator/box_emulator.h"
#include "tools/box_emulator/netbios_front.h"

namespace live_test {
namespace {

using Bytes = std::vector<std::uint8_t>;

// Answer datagrams of one box: the 5-byte reply header, then its device-information block, cut to
// `size` bytes.
Bytes AnswerOf(const std::string& deviceName, std::uint8_t serial, std::size_t size = 169) {
  box_emulator::BoxIdentity identity;
  identity.hardwareAddress = {0x00, 0x40, 0x01, 0x00, 0x10, serial};
  box_emulator::BoxCore core(identity, "127.0.0.1");
  core.Set("0001", deviceName);
  const auto block = core.DeviceInfoBlock();
  Bytes out(5 + block.size(), 0);
  out[0] = 0xA5;
  out[3] = 164;
  std::copy(block.begin(), block.end(), out.begin() + 5);
  out.resize(size);
  return out;
}

std::string DefaultNameOf(std::uint8_t serial) {
  char name[9];
  std::snprintf(name, sizeof name, "KV0010%02X", serial);
  return name;
}

struct ScriptedNetbios {
  std::mutex mu;
  std::vector<std::uint8_t> lanas = {0, 3};
  std::map<std::uint8_t, std::vector<Bytes>> answers;  // what answers each datagram, per LANA
  std::map<std::uint8_t, std::deque<Bytes>> queued;     // answers not yet received
  std::vector<NCB*> pending;
  struct Sent {
    std::uint8_t lana;
    std::string local, call;
    Bytes data;
  };
  std::vector<Sent> sent;
  int cancels = 0;

  void DeliverLocked(std::uint8_t lana) {
    auto& q = queued[lana];
    for (auto it = pending.begin(); it != pending.end() && !q.empty();) {
      if ((*it)->ncb_lana_num != lana) {
        ++it;
        continue;
      }
      nbtest::CompleteReceive(*it, q.front());
      q.pop_front();
      it = pending.erase(it);
    }
  }
};
ScriptedNetbios* g_nb = nullptr;

std::uint8_t Submit(NCB* ncb) {
  ScriptedNetbios& f = *g_nb;
  std::lock_guard<std::mutex> lock(f.mu);
  switch (ncb->ncb_command) {
    case NCBENUM:
      nbtest::AnswerLanaEnum(ncb, f.lanas);
      break;
    case NCBADDNAME:
      ncb->ncb_num = 7;
      break;
    case NCBDGSEND: {
      f.sent.push_back({ncb->ncb_lana_num, std::string(reinterpret_cast<char*>(ncb->ncb_name), 16),
                        std::string(reinterpret_cast<char*>(ncb->ncb_callname), 16),
                        Bytes(ncb->ncb_buffer, ncb->ncb_buffer + ncb->ncb_length)});
      for (const Bytes& a : f.answers[ncb->ncb_lana_num]) f.queued[ncb->ncb_lana_num].push_back(a);
      f.DeliverLocked(ncb->ncb_lana_num);
      break;
    }
    case NCBDGRECV | ASYNCH: {
      ncb->ncb_retcode = NRC_PENDING;
      f.pending.push_back(ncb);
      f.DeliverLocked(ncb->ncb_lana_num);
      return NRC_GOODRET;
    }
    case NCBCANCEL: {
      NCB* target = reinterpret_cast<NCB*>(ncb->ncb_buffer);
      for (auto it = f.pending.begin(); it != f.pending.end(); ++it) {
        if (*it == target) {
          f.pending.erase(it);
          target->ncb_retcode = 0x0B;  // command cancelled
          break;
        }
      }
      ++f.cancels;
      break;
    }
    case NCBRESET:
      break;
    default:
      ncb->ncb_retcode = NRC_SYSTEM;
      return NRC_SYSTEM;
  }
  ncb->ncb_retcode = NRC_GOODRET;
  return NRC_GOODRET;
}

std::uint8_t NoNetbios(NCB* ncb) {
  ncb->ncb_retcode = NRC_SYSTEM;
  return NRC_SYSTEM;
}

class NetbiosLive : public LiveTest {
 protected:
  void SetUp() override {
    LiveTest::SetUp();
    g_nb = &nb_;
    SetNcbSubmitter(&Submit);
  }
  void TearDown() override {
    LiveTest::TearDown();
    SetNcbSubmitter(nullptr);
    g_nb = nullptr;
  }

  ScriptedNetbios nb_;
};

struct GroupCase {
  const char* label;
  const char* oldNameSetting;  // nullptr: not in common.ini
  std::string group;
};

class NetbiosGroup : public NetbiosLive, public ::testing::WithParamInterface<GroupCase> {};

TEST_P(NetbiosGroup, BoxesOfEveryLanaAreListedOnceWithTheirLana) {
  if (GetParam().oldNameSetting != nullptr) {
    const std::string ini = platform::JoinPath(platform::WindowsDirectory(), "common.ini");
    ASSERT_TRUE(WritePrivateProfileString("ConnectedProtocol", "bNBOldName", GetParam().oldNameSetting, ini.c_str()));
  }
  nb_.answers[0] = {AnswerOf("Front-Desk", 0x01), AnswerOf("Short", 0x02, 100)};
  nb_.answers[3] = {AnswerOf("Lab-Printer-Number-9", 0x03, 101), AnswerOf("Front-Desk", 0x01)};
  ASSERT_EQ(PSInit(TYPE_NETBEUI, 20), 0);

  DeviceRecord records[8] = {};
  int count = 0;
  ASSERT_EQ(BrowseNetBIOS(records, &count, 8), 1);
  ASSERT_EQ(count, 2);
  EXPECT_EQ(Text(records[0].szName, 20), DefaultNameOf(0x01));
  EXPECT_EQ(records[0].iProtocol, TYPE_NETBEUI);
  EXPECT_EQ(Text(records[0].address, 20), "Front-Desk");
  EXPECT_EQ(records[0].address[NETBIOS_LANA_OFFSET], 0);
  EXPECT_EQ(Text(records[1].szName, 20), DefaultNameOf(0x03));
  EXPECT_EQ(Text(records[1].address, 16), "Lab-Printer-Num");  // a NetBIOS name has 15 characters
  EXPECT_EQ(records[1].address[NETBIOS_LANA_OFFSET], 3);

  // Three sends per LANA to the group name, each the 10-byte request; every receive cancelled.
  const Bytes request = {0x40, 0, 6, 0, '9', '0', '0', '7', ':', '\n'};
  ASSERT_EQ(nb_.sent.size(), 6u);
  for (const auto& s : nb_.sent) {
    EXPECT_EQ(s.call, GetParam().group);
    EXPECT_EQ(s.data, request);
  }
  EXPECT_EQ(std::count_if(nb_.sent.begin(), nb_.sent.end(), [](const auto& s) { return s.lana == 3; }), 3);
  EXPECT_TRUE(nb_.pending.empty());
  EXPECT_EQ(nb_.cancels, 8);
}

INSTANTIATE_TEST_SUITE_P(
    Names, NetbiosGroup,
    ::testing::Values(GroupCase{"group_name", nullptr, std::string("WSPS_PSRV_KVX\0\0\0", 16)},
                      GroupCase{"old_name", "1", std::string("KVX_\x01\x02\x03\x04\x05\x06\x07\x08\x09\x0A\x0B\x0C", 16)}),
    [](const auto& p) { return std::string(p.param.label); });

TEST_F(NetbiosLive, OutputIsBoundedAndSilenceGivesNothing) {
  nb_.answers[0] = {AnswerOf("One", 0x11), AnswerOf("Two", 0x12), AnswerOf("Three", 0x13)};
  ASSERT_EQ(PSInit(TYPE_NETBEUI, 20), 0);
  DeviceRecord records[2] = {};
  int count = 0;
  ASSERT_EQ(BrowseNetBIOS(records, &count, 2), 1);
  EXPECT_EQ(count, 2);

  nb_.answers.clear();
  nb_.queued.clear();
  EXPECT_EQ(BrowseNetBIOS(records, &count, 2), 0);
  EXPECT_EQ(count, 0);
}

TEST_F(NetbiosLive, WithoutNetbiosNothingIsSent) {
  SetNcbSubmitter(&NoNetbios);  // no transport: the LANAs cannot be enumerated
  DeviceRecord records[2] = {};
  int count = 5;
  EXPECT_EQ(BrowseNetBIOS(records, &count, 2), 0);
  EXPECT_EQ(count, 0);
  EXPECT_TRUE(nb_.sent.empty());
}

// The browse through the NetBIOS stand-in to emulated boxes that answer the group datagram.
class NetbiosStandIn : public ::testing::Test {
 protected:
  void SetUp() override {
    nbtest::WriteConfig(root_.path(), ports_, {"127.0.0.1"});
    box_emulator::NetbiosFrontOptions options = nbtest::OnPorts(box_emulator::NetbiosFrontOptions{}, ports_);
    front_ = std::make_unique<box_emulator::NetbiosFront>(options);
  }
  void TearDown() override {
    PSExit();
    front_.reset();
  }

  platform::testing::TempRoot root_;
  nbtest::Ports ports_;
  // A browse round waits 2,000 ms for answers: up to a second of it really passes.
  platform::FakeClock clock_{1765368000000LL, 1000};
  platform::ScopedClock useClock_{&clock_};
  std::unique_ptr<box_emulator::NetbiosFront> front_;
};

TEST_F(NetbiosStandIn, BrowseFindsEveryBoxAndItsRecordReachesIt) {
  box_emulator::Box first;
  box_emulator::Box second;
  // The responder reads the boxes from its own thread: it stops before they go, on every path.
  struct StopFront {
    std::unique_ptr<box_emulator::NetbiosFront>& front;
    ~StopFront() { front.reset(); }
  } stopFront{front_};
  first.SetDeviceName("Front-Desk");
  second.SetDeviceName("Lab-Printer-Number-9");  // answers under its first 15 characters
  ASSERT_TRUE(front_->AddBox(&first));
  ASSERT_TRUE(front_->AddBox(&second));
  ASSERT_EQ(PSInit(TYPE_NETBEUI, 20), 0);

  DeviceRecord records[8] = {};
  int count = 0;
  ASSERT_EQ(BrowseNetBIOS(records, &count, 8), 1);
  ASSERT_EQ(count, 2);
  std::sort(records, records + 2, [](const DeviceRecord& a, const DeviceRecord& b) {
    return std::memcmp(a.address, b.address, 16) < 0;
  });
  EXPECT_EQ(Text(records[0].szName, 20), first.DefaultName());
  EXPECT_EQ(Text(records[0].address, 16), "Front-Desk");
  EXPECT_EQ(Text(records[1].szName, 20), second.DefaultName());
  EXPECT_EQ(Text(records[1].address, 16), "Lab-Printer-Num");
  for (const DeviceRecord& r : {records[0], records[1]}) {
    EXPECT_EQ(r.iProtocol, TYPE_NETBEUI);
    EXPECT_EQ(r.address[NETBIOS_LANA_OFFSET], 0);
  }
  EXPECT_GE(front_->DatagramCount(0), 1u);

  // The records reach their boxes over NetBIOS sessions.
  for (const DeviceRecord& r : {records[0], records[1]}) {
    char reply[256];
    int length = 0;
    ASSERT_EQ(SendRespByRecord(&r, "9007:\n", 6, reply, &length, sizeof reply), 0);
    ASSERT_EQ(length, 164);
    EXPECT_EQ(Text(reply + 76, 20), Text(r.szName, 20));
  }
  EXPECT_EQ(first.RequestCount() + second.RequestCount(), 0u);
}

}  // namespace
}  // namespace live_test

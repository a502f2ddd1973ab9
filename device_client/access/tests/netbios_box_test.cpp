// Requests over NetBIOS sessions, end to end: the access library through the NetBIOS stand-in
// (its local service and NetBIOS over TCP/IP on private loopback ports) to emulated boxes that
// answer as NetBIOS nodes of their own.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "device_client/access/access.h"
#include "device_client/access/ncb.h"
#include "device_client/api/print_server_utility.h"
#include "device_client/api/tests/config_round_trip.h"
#include "device_client/core/transport/text.h"
#include "platform/clock.h"
#include "platform/netbios/nb_peer.h"
#include "platform/netbios/tests/nb_test_env.h"
#include "platform/system_info.h"
#include "platform/test_support/temp_root.h"
#include "tools/box_emulator/box_emulator.h"
#include "tools/box_emulator/netbios_front.h"

namespace {

// Every command goes to the stand-in; the test keeps a copy of the ones it looks at.
struct Recorded {
  UCHAR command;
  UCHAR rc;
  std::string name;
};
std::mutex g_recordMu;
std::vector<Recorded> g_recorded;

std::uint8_t RecordingNetbios(NCB* ncb) {
  const UCHAR rc = Netbios(ncb);
  const UCHAR command = ncb->ncb_command;
  if (command == NCBADDNAME || command == NCBCALL) {
    std::lock_guard<std::mutex> lock(g_recordMu);
    g_recorded.push_back({command, rc, std::string(reinterpret_cast<const char*>(ncb->ncb_name), 16)});
  }
  return rc;
}

std::string Text(const void* p, std::size_t n) {
  const char* c = static_cast<const char*>(p);
  return std::string(c, strnlen(c, n));
}

class NetbiosBox : public ::testing::Test {
 protected:
  void SetUp() override {
    nbtest::WriteConfig(root_.path(), ports_, {"127.0.0.1"});
    {
      std::lock_guard<std::mutex> lock(g_recordMu);
      g_recorded.clear();
    }
    SetNcbSubmitter(&RecordingNetbios);
    box_emulator::BoxOptions options;
    options.restartWindow = std::chrono::milliseconds(0);
    box_ = std::make_unique<box_emulator::Box>(options);
    box_->SetDeviceName("Nb-Box");
    box_emulator::NetbiosFrontOptions nb = nbtest::OnPorts(box_emulator::NetbiosFrontOptions{}, ports_);
    front_ = std::make_unique<box_emulator::NetbiosFront>(nb);
    ASSERT_TRUE(front_->AddBox(box_.get(), &index_));
  }
  void TearDown() override {
    PSExit();
    SetNcbSubmitter(nullptr);
    front_.reset();
    box_.reset();
  }

  DeviceRecord NetbiosRecord() const {
    DeviceRecord r{};
    const std::string name = box_->DefaultName();
    std::memcpy(r.szName, name.data(), std::min<std::size_t>(name.size(), 19));
    r.iProtocol = TYPE_NETBEUI;
    const std::string device = box_->DeviceName();
    std::memcpy(r.address, device.data(), std::min<std::size_t>(device.size(), 15));
    r.address[NETBIOS_LANA_OFFSET] = 0;
    return r;
  }
  DeviceRecord TcpRecord() const {
    DeviceRecord r = NetbiosRecord();
    r.iProtocol = TYPE_TCPIP;
    std::memset(r.address, 0, sizeof r.address);
    const std::string address = box_->Address();
    std::memcpy(r.address, address.data(), address.size());
    return r;
  }
  int Send(const DeviceRecord& r, const std::string& request, std::string* reply) {
    std::vector<char> buffer(10240);
    int length = -1;
    const int rc = SendRespByRecord(&r, request.data(), static_cast<int>(request.size()), buffer.data(),
                                    &length, static_cast<int>(buffer.size()));
    if (rc == 0 && reply != nullptr) reply->assign(buffer.data(), static_cast<std::size_t>(length));
    return rc;
  }
  std::vector<Recorded> Commands(UCHAR command) {
    std::lock_guard<std::mutex> lock(g_recordMu);
    std::vector<Recorded> out;
    for (const auto& r : g_recorded)
      if (r.command == command) out.push_back(r);
    return out;
  }

  platform::testing::TempRoot root_;
  nbtest::Ports ports_;
  platform::FakeClock clock_;
  platform::ScopedClock useClock_{&clock_};
  std::unique_ptr<box_emulator::Box> box_;
  std::unique_ptr<box_emulator::NetbiosFront> front_;
  std::size_t index_ = 0;
};

struct FramingCase {
  const char* label;
  std::size_t chunkSize;
  std::size_t messageSize;
};

class NetbiosFraming : public NetbiosBox, public ::testing::WithParamInterface<FramingCase> {};

// The whole configuration comes back as over TCP, however the box cuts it into chunks and messages.
TEST_P(NetbiosFraming, ReplyIsTheSameAsOverTcp) {
  front_->SetChunkSize(index_, GetParam().chunkSize);
  front_->SetMessageSize(index_, GetParam().messageSize);
  ASSERT_EQ(PSInit(TYPE_TCPIP | TYPE_NETBEUI, 20), 0);
  std::string overTcp, overNetbios;
  ASSERT_EQ(Send(TcpRecord(), "9100:\r\n", &overTcp), 0);
  ASSERT_EQ(Send(NetbiosRecord(), "9100:\r\n", &overNetbios), 0);
  EXPECT_GT(overNetbios.size(), 1000u);
  EXPECT_EQ(overNetbios, overTcp);
  // A request longer than one chunk: a configuration line of 500 bytes goes out as two chunks.
  std::string answer;
  EXPECT_EQ(Send(NetbiosRecord(), "6000 :" + std::string(500, 'x') + "\n", &answer), 0);
  EXPECT_EQ(front_->RequestCount(index_), 2u);
  EXPECT_EQ(box_->RequestCount(), 1u) << "only the TCP request reached the TCP side";
}

INSTANTIATE_TEST_SUITE_P(Cuts, NetbiosFraming,
                         ::testing::Values(FramingCase{"chunks_within_messages", 1024, 3072},
                                           FramingCase{"chunks_over_several_messages", 3000, 700},
                                           FramingCase{"header_message_of_its_own", 100, 5},
                                           FramingCase{"many_small_chunks", 37, 3072}),
                         [](const auto& p) { return std::string(p.param.label); });

struct FaultCase {
  const char* label;
  box_emulator::NetbiosFault fault;
  int result;
};

class NetbiosFaults : public NetbiosBox, public ::testing::WithParamInterface<FaultCase> {};

TEST_P(NetbiosFaults, FaultyRepliesFailCleanly) {
  front_->SetChunkSize(index_, 100);
  front_->SetFault(index_, GetParam().fault);
  ASSERT_EQ(PSInit(TYPE_NETBEUI, 20), 0);
  std::vector<char> buffer(10240);
  int length = -99;
  const DeviceRecord r = NetbiosRecord();
  EXPECT_EQ(SendRespByRecord(&r, "9100:\r\n", 7, buffer.data(), &length, 10240), GetParam().result);
  EXPECT_EQ(length, -99);
  if (GetParam().fault.errorChunk) {
    // The chunk before the faulty one was already copied.
    std::string tcp;
    ASSERT_EQ(PSInit(TYPE_TCPIP, 20), 0);
    ASSERT_EQ(Send(TcpRecord(), "9100:\r\n", &tcp), 0);
    EXPECT_EQ(std::string(buffer.data(), 100), tcp.substr(0, 100));
  }
  // The box is fine again once the fault is gone.
  front_->SetFault(index_, {});
  std::string reply;
  EXPECT_EQ(Send(r, "9007:\n", &reply), 0);
  EXPECT_EQ(reply.size(), 164u);
}

INSTANTIATE_TEST_SUITE_P(
    Faults, NetbiosFaults,
    ::testing::Values(FaultCase{"message_over_3072_bytes", {true, std::nullopt, false}, ERR_NETWORK},
                      FaultCase{"error_byte_in_second_chunk", {false, 1, false}, ERR_COMMAND},
                      FaultCase{"never_answers", {false, std::nullopt, true}, ERR_NETWORK}),
    [](const auto& p) { return std::string(p.param.label); });

// One exchange ends within its overall limit (three waits: 60 s over TCP, 30 s over NetBIOS on
// the fake clock) however the box keeps every single wait satisfied; a slow reply that finishes
// within the limit still arrives whole.
struct LimitCase {
  const char* label;
  bool netbios;
  std::chrono::milliseconds every;  // the box's pause before each piece
  bool endless;                     // empty chunks with the more flag, for ever
  const char* request;
  int result;
};

class ExchangeLimit : public NetbiosBox, public ::testing::WithParamInterface<LimitCase> {};

TEST_P(ExchangeLimit, EndsWithinThreeWaitsOfTheTransport) {
  const LimitCase& c = GetParam();
  if (c.netbios) {
    box_emulator::NetbiosFault fault;
    fault.dripEvery = c.every;
    fault.endlessEmptyChunks = c.endless;
    front_->SetFault(index_, fault);
  } else {
    box_emulator::FaultPlan fault;
    fault.dripEvery = c.every;
    fault.endlessEmptyChunks = c.endless;
    box_->InjectFault(fault);
  }
  ASSERT_EQ(PSInit(TYPE_TCPIP | TYPE_NETBEUI, 20), 0);
  const std::int64_t limit = c.netbios ? 30000 : 60000;
  const std::int64_t before = clock_.SteadyMs();
  std::string reply;
  EXPECT_EQ(Send(c.netbios ? NetbiosRecord() : TcpRecord(), c.request, &reply), c.result);
  const std::int64_t spent = clock_.SteadyMs() - before;
  if (c.result == 0) {
    EXPECT_EQ(reply.size(), 164u);
    EXPECT_LT(spent, limit);
  } else {
    EXPECT_GE(spent, limit);
    // The limit plus at most the one wait under way when it passed. Every sleeper shares the fake
    // clock (the box's pauses too), so a slow run may see it move by more than the box's pace.
    EXPECT_LE(spent, limit + limit / 3);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Boxes, ExchangeLimit,
    ::testing::Values(
        LimitCase{"tcp_dripping_bytes", false, std::chrono::milliseconds(1000), false, "9100:\r\n", ERR_NETWORK},
        LimitCase{"tcp_endless_empty_chunks", false, std::chrono::milliseconds(500), true, "9007:\n", ERR_NETWORK},
        LimitCase{"tcp_slow_but_finishing", false, std::chrono::milliseconds(100), false, "9007:\n", 0},
        LimitCase{"netbios_dripping_bytes", true, std::chrono::milliseconds(1000), false, "9100:\r\n", ERR_NETWORK},
        LimitCase{"netbios_endless_empty_chunks", true, std::chrono::milliseconds(500), true, "9007:\n", ERR_NETWORK},
        LimitCase{"netbios_slow_but_finishing", true, std::chrono::milliseconds(100), false, "9007:\n", 0}),
    [](const auto& p) { return std::string(p.param.label); });

// A box that begins its reply and then stalls mid-message: the receive's wait ends it, and its
// cancel ends the receive at once (the rest of the message is not waited for), so the request
// fails within the exchange's limit plus that one receive.
TEST_F(NetbiosBox, AReplyThatStallsMidMessageEndsWithinOneReceiveWait) {
  box_emulator::NetbiosFault fault;
  fault.stallMidMessage = true;
  front_->SetFault(index_, fault);
  ASSERT_EQ(PSInit(TYPE_NETBEUI, 20), 0);
  core::TransportParams params = console_access::ConsoleParams();
  params.netbiosReceiveWaitMs = 300;
  console_access::UseParams(params);
  // Waits last up to 5 s of real time: the receive's 300 ms wait ends long before a wait for the
  // rest of the message would.
  platform::FakeClock clock(1765368000000LL, 5000);
  platform::ScopedClock useClock(&clock);
  const std::int64_t before = clock.SteadyMs();
  EXPECT_EQ(Send(NetbiosRecord(), "9007:\n", nullptr), ERR_NETWORK);
  const std::int64_t spent = clock.SteadyMs() - before;
  console_access::UseParams(console_access::ConsoleParams());
  EXPECT_GE(spent, 300);
  EXPECT_LE(spent, core::ExchangeLimitMs(300) + 300);
  // The box is reached again as soon as it answers.
  front_->SetFault(index_, box_emulator::NetbiosFault{});
  std::string reply;
  EXPECT_EQ(Send(NetbiosRecord(), "9007:\n", &reply), 0);
  EXPECT_EQ(reply.size(), 164u);
}

TEST_F(NetbiosBox, SwitchedOffBoxIsCalledThreeTimesWithPauses) {
  ASSERT_EQ(PSInit(TYPE_NETBEUI, 20), 0);
  box_->SwitchOff();
  front_->Refresh();
  EXPECT_EQ(front_->NodeName(index_), "");
  const std::int64_t before = clock_.SteadyMs();
  EXPECT_EQ(Send(NetbiosRecord(), "9007:\n", nullptr), ERR_NETWORK);
  const auto calls = Commands(NCBCALL);
  ASSERT_EQ(calls.size(), 3u);
  for (const auto& c : calls) EXPECT_NE(c.rc, NRC_GOODRET);
  EXPECT_GE(clock_.SteadyMs() - before, 3 * 3000);

  box_->SwitchOn();
  front_->Refresh();
  std::string reply;
  EXPECT_EQ(Send(NetbiosRecord(), "9007:\n", &reply), 0);
}

// Every configured LANA is started with a name cache of its own; a record naming another LANA
// fails cleanly.
TEST_F(NetbiosBox, RecordsReachTheBoxOnEveryStartedLanaOnly) {
  nbtest::WriteConfig(root_.path(), ports_, {"127.0.0.1", "127.0.0.2"});
  ASSERT_EQ(PSInit(TYPE_NETBEUI, 20), 0);
  struct Case {
    std::uint8_t lana;
    int result;
  };
  for (const Case& c : {Case{0, 0}, Case{1, 0}, Case{2, ERR_NETWORK}, Case{255, ERR_NETWORK}}) {
    DeviceRecord r = NetbiosRecord();
    r.address[NETBIOS_LANA_OFFSET] = c.lana;
    std::string reply;
    EXPECT_EQ(Send(r, "9007:\n", &reply), c.result) << "LANA " << int{c.lana};
    if (c.result == 0) {
      EXPECT_EQ(reply.size(), 164u);
    }
  }
  // One local name registered per started LANA, none for the others. (Both LANAs share one
  // broadcast address here, so the second one finds its first candidate taken by the first.)
  const auto adds = Commands(NCBADDNAME);
  EXPECT_EQ(std::count_if(adds.begin(), adds.end(), [](const Recorded& r) { return r.rc == NRC_GOODRET; }), 2);
}

TEST_F(NetbiosBox, TakenLocalNameMovesToTheNextSuffix) {
  // Another machine on the LAN already holds the first candidate name.
  char first[17];
  const std::string computer = platform::ComputerName();
  core::FormatLocalName(computer.c_str(), 0, first);
  platform::netbios::PeerOptions other;
  other.address = 0x7F000000u | 0x4D0101u;  // 127.77.1.1
  other.nameServicePort = ports_.ns;
  other.datagramPort = ports_.dg;
  other.sessionPort = ports_.ssn;
  std::memcpy(other.name.data(), first, 16);
  platform::netbios::PeerNode holder(other, nullptr, nullptr);
  ASSERT_TRUE(holder.Start());

  ASSERT_EQ(PSInit(TYPE_NETBEUI, 20), 0);
  std::string reply;
  ASSERT_EQ(Send(NetbiosRecord(), "9007:\n", &reply), 0);
  const auto adds = Commands(NCBADDNAME);
  ASSERT_EQ(adds.size(), 2u);
  EXPECT_EQ(adds[0].name, std::string(first, 16));
  EXPECT_EQ(adds[0].rc, NRC_DUPNAME);
  char second[17];
  core::FormatLocalName(computer.c_str(), 1, second);
  EXPECT_EQ(adds[1].name, std::string(second, 16));
  EXPECT_EQ(adds[1].rc, NRC_GOODRET);
  const auto calls = Commands(NCBCALL);
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].name, std::string(second, 16));

  // The name stays registered for the process: the next request registers nothing.
  ASSERT_EQ(Send(NetbiosRecord(), "9007:\n", &reply), 0);
  EXPECT_EQ(Commands(NCBADDNAME).size(), 2u);
  holder.Stop();
}

TEST_F(NetbiosBox, DeviceApiReadsAndWritesTheConfigurationOverNetbios) {
  CPrintServerUtility util;
  ASSERT_EQ(util.mInitializeLanComponent(TYPE_NETBEUI, 20), 0);
  console_access::ClearDevices();
  ASSERT_EQ(console_access::AppendDevice(NetbiosRecord()), 0);
  const std::string name = box_->DefaultName();

  ASSERT_NO_FATAL_FAILURE(
      api_test::RenameThroughDeviceApi(util, name, "Nb-Box", "Nb-Renamed", "NBGRP"));
  EXPECT_EQ(box_->Setting("0001").value_or(""), "Nb-Renamed");
  EXPECT_EQ(front_->NodeName(index_), box_emulator::NetbiosNameOf("Nb-Renamed"));
  // The record follows the box's new session name; its LANA stays.
  const DeviceRecord* record = console_access::DeviceAt(0);
  ASSERT_NE(record, nullptr);
  EXPECT_EQ(Text(record->address, 16), "Nb-Renamed");
  EXPECT_EQ(record->address[NETBIOS_LANA_OFFSET], 0);

  ASSERT_NO_FATAL_FAILURE(api_test::ExpectRenamed(util, name, "Nb-Renamed", "NBGRP"));
  EXPECT_EQ(box_->RequestCount(), 0u) << "every request went over NetBIOS";
}

}  // namespace

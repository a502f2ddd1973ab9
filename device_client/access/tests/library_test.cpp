// Start-up, device table, name look-up and the NetBIOS session exchange of the access library.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <deque>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "device_client/access/access.h"
#include "device_client/access/ncb.h"
#include "device_client/access/tests/dead_transports.h"
#include "platform/clock.h"
#include "platform/netbios/tests/nb_test_env.h"
#include "platform/paths.h"
#include "platform/profile.h"
#include "platform/system_info.h"
#include "platform/test_support/temp_root.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

DeviceRecord Record(const std::string& name, int protocol, const std::string& address) {
  DeviceRecord r{};
  std::memcpy(r.szName, name.data(), std::min<std::size_t>(name.size(), 20));
  r.iProtocol = protocol;
  std::memcpy(r.address, address.data(), std::min<std::size_t>(address.size(), 19));
  return r;
}

using access_test::DeadProvider;
using access_test::NoNetbios;

class Library : public ::testing::Test {
 protected:
  // IPX and NetBIOS are switched off here, as on a PC without them (tests/spx_test.cpp runs IPX,
  // tests/netbios_box_test.cpp NetBIOS).
  void SetUp() override {
    unsetenv("PSADMIN_IPX_ENABLED");
    ASSERT_TRUE(WritePrivateProfileString("IPX", "Enabled", "0", "ipx.ini"));
    SetNcbSubmitter(&NoNetbios);
  }
  void TearDown() override {
    PSExit();
    core::SetStreamProvider(core::StreamKind::kTcp, nullptr);
    SetNcbSubmitter(nullptr);
  }
  platform::testing::TempRoot root_;
  platform::FakeClock clock_;
  platform::ScopedClock useClock_{&clock_};
};

struct InitCase {
  const char* label;
  int mask;
  bool tcpWorks;
  int bits;
};

class InitBits : public Library, public ::testing::WithParamInterface<InitCase> {};

// IPX is switched off and no NetBIOS transport exists here; TCP is made to fail by a provider.
TEST_P(InitBits, NamesOnlyAskedProtocolsThatFailed) {
  DeadProvider dead;
  if (!GetParam().tcpWorks) core::SetStreamProvider(core::StreamKind::kTcp, &dead);
  EXPECT_EQ(PSInit(GetParam().mask, 20), GetParam().bits);
  EXPECT_EQ(console_access::RequestedProtocols(), GetParam().mask);
}

INSTANTIATE_TEST_SUITE_P(Masks, InitBits,
                         ::testing::Values(InitCase{"nothing_asked", 0, true, 0},
                                           InitCase{"tcp", 2, true, 0},
                                           InitCase{"tcp_missing", 2, false, 0x12},
                                           InitCase{"ipx", 1, true, 0x11},
                                           InitCase{"netbios", 4, true, 0x14},
                                           InitCase{"tcp_and_netbios", 6, true, 0x14},
                                           InitCase{"ipx_and_tcp", 3, true, 0x11},
                                           InitCase{"all_three_fail", 7, false, 0x17},
                                           InitCase{"all_but_tcp_fail", 7, true, 0x15}),
                         [](const auto& p) { return std::string(p.param.label); });

TEST_F(Library, InitCreatesDataDirectoryAndRenewsMaskAndTimeOut) {
  EXPECT_EQ(PSInit(2, 20), 0);
  const std::string dir = platform::DataDirectory();
  EXPECT_EQ(console_access::DataDirectoryPath(), dir);
  struct stat st{};
  EXPECT_EQ(stat(dir.c_str(), &st), 0);
  EXPECT_EQ(PSInit(2, 35), 0);
  EXPECT_EQ(console_access::TimeOutValue(), 35);
  EXPECT_EQ(PSInit(0, 5), 0);
  EXPECT_EQ(console_access::RequestedProtocols(), 0);
  EXPECT_EQ(console_access::TimeOutValue(), 5);
}

TEST_F(Library, ExitTwiceIsHarmlessAndInitWorksAgain) {
  int hookCalls = 0;
  const int hook = console_access::AddExitHook([&hookCalls] { ++hookCalls; });
  ASSERT_EQ(PSInit(2, 20), 0);
  ASSERT_EQ(console_access::AppendDevice(Record("A", TYPE_TCPIP, "10.0.0.1")), 0);
  PSExit();
  PSExit();
  EXPECT_EQ(hookCalls, 2);
  EXPECT_EQ(console_access::DeviceCount(), 0);
  EXPECT_EQ(SearchName(nullptr, "A"), 0);
  EXPECT_EQ(PSInit(2, 20), 0);
  EXPECT_EQ(console_access::AppendDevice(Record("B", TYPE_TCPIP, "10.0.0.2")), 0);
  EXPECT_EQ(SearchName(nullptr, "B"), 1);
  console_access::RemoveExitHook(hook);
  PSExit();
  EXPECT_EQ(hookCalls, 2);
}

TEST_F(Library, DeviceTableHolds384Records) {
  console_access::ClearDevices();
  for (int i = 0; i < MAX_DEVICE_RECORDS; ++i) {
    ASSERT_EQ(console_access::AppendDevice(Record("N" + std::to_string(i), TYPE_TCPIP, "1.2.3.4")), 0);
  }
  EXPECT_EQ(console_access::AppendDevice(Record("extra", TYPE_TCPIP, "1.2.3.4")), ERR_LIST_FULL);
  EXPECT_EQ(console_access::DeviceCount(), MAX_DEVICE_RECORDS);
  EXPECT_STREQ(console_access::DeviceAt(383)->szName, "N383");
  EXPECT_EQ(console_access::DeviceAt(384), nullptr);
  EXPECT_EQ(console_access::DeviceAt(-1), nullptr);
  console_access::ClearDevices();
  EXPECT_EQ(console_access::DeviceCount(), 0);
}

TEST_F(Library, NamesMatchOverTwentyBytesFirstRecordWins) {
  console_access::ClearDevices();
  DeviceRecord first = Record("ABCDEFGHIJKLMNOPQRST", TYPE_TCPIP, "10.0.0.1");
  DeviceRecord second = Record("ABCDEFGHIJKLMNOPQRST", TYPE_NETBEUI, "BOX");
  DeviceRecord shortName = Record("ABC", TYPE_TCPIP, "10.0.0.3");
  ASSERT_EQ(console_access::AppendDevice(first), 0);
  ASSERT_EQ(console_access::AppendDevice(second), 0);
  ASSERT_EQ(console_access::AppendDevice(shortName), 0);
  DeviceRecord found{};
  EXPECT_EQ(SearchName(&found, "ABCDEFGHIJKLMNOPQRSTUVWXYZ"), 1);
  EXPECT_EQ(std::memcmp(&found, &first, sizeof found), 0);
  EXPECT_EQ(SearchName(&found, "ABC"), 1);
  EXPECT_STREQ(reinterpret_cast<char*>(found.address), "10.0.0.3");
  EXPECT_EQ(SearchName(&found, "ABCD"), 0);
  EXPECT_EQ(SearchName(&found, "AB"), 0);
}

TEST_F(Library, UnknownNameAndRecordsWithoutProtocolAreNotFound) {
  ASSERT_EQ(PSInit(2, 20), 0);
  console_access::ClearDevices();
  ASSERT_EQ(console_access::AppendDevice(Record("NOPROTO", 0, "10.0.0.1")), 0);
  ASSERT_EQ(console_access::AppendDevice(Record("UDPONLY", 8, "10.0.0.1")), 0);
  char reply[16];
  int length = -99;
  EXPECT_EQ(PSISendResp("MISSING", "9007:\n", 6, reply, &length, 16), ERR_DEVICE_NOTFOUND);
  EXPECT_EQ(PSISendResp("NOPROTO", "9007:\n", 6, reply, &length, 16), ERR_DEVICE_NOTFOUND);
  EXPECT_EQ(PSISendResp("UDPONLY", "9007:\n", 6, reply, &length, 16), ERR_DEVICE_NOTFOUND);
  EXPECT_EQ(length, -99);
}

TEST_F(Library, TransportsNotAvailableHereAreNetworkErrors) {
  EXPECT_EQ(PSInit(7, 20), 0x15);
  DeviceRecord spx = Record("SPX", TYPE_IPXSPX, std::string("\x00\x00\x00\x01\x00\xc0", 6));
  DeviceRecord nb = Record("NB", TYPE_NETBEUI, "PRINTSRV");
  char reply[16];
  int length = -99;
  EXPECT_EQ(ConnectSPX(&spx), -1);
  EXPECT_EQ(SendRespByRecord(&spx, "9007:\n", 6, reply, &length, 16), ERR_NETWORK);
  EXPECT_EQ(SendRespByRecord(&nb, "9007:\n", 6, reply, &length, 16), ERR_NETWORK);
  EXPECT_EQ(length, -99);
}

// ---- NetBIOS session exchange against a scripted control-block handler ----

struct FakeNetbios {
  std::vector<std::uint8_t> lanas{0, 3};
  int refuseNames = 0;     // ADD NAME refusals before a success
  int failCalls = 0;       // CALL failures before a success (-1: always)
  std::deque<Bytes> messages;  // what the box sends, one session message each
  Bytes sent;
  std::vector<std::uint8_t> callLanas, callRto, callSto;
  std::vector<std::string> callRemote, addedNames;
  int calls = 0, hangUps = 0, cancels = 0;
};
FakeNetbios* g_fake = nullptr;

std::uint8_t Submit(NCB* ncb) {
  FakeNetbios& f = *g_fake;
  std::uint8_t rc = NRC_GOODRET;
  switch (ncb->ncb_command) {
    case NCBENUM:
      nbtest::AnswerLanaEnum(ncb, f.lanas);
      break;
    case NCBRESET:
      break;
    case NCBADDNAME:
      f.addedNames.emplace_back(reinterpret_cast<char*>(ncb->ncb_name), 16);
      if (f.refuseNames > 0) {
        --f.refuseNames;
        rc = 0x0D;  // duplicate name
      } else {
        ncb->ncb_num = 2;
      }
      break;
    case NCBCALL:
      ++f.calls;
      f.callLanas.push_back(ncb->ncb_lana_num);
      f.callRto.push_back(ncb->ncb_rto);
      f.callSto.push_back(ncb->ncb_sto);
      f.callRemote.emplace_back(reinterpret_cast<char*>(ncb->ncb_callname), 16);
      if (f.failCalls != 0) {
        if (f.failCalls > 0) --f.failCalls;
        rc = 0x14;  // no answer
      } else {
        ncb->ncb_lsn = 9;
      }
      break;
    case NCBSEND:
      f.sent.insert(f.sent.end(), ncb->ncb_buffer, ncb->ncb_buffer + ncb->ncb_length);
      break;
    case NCBRECV | ASYNCH:
      ncb->ncb_event->Reset();  // as Netbios() does for an asynchronous command
      if (f.messages.empty()) {
        ncb->ncb_retcode = NRC_PENDING;  // the box stays silent: never completes
        return NRC_GOODRET;
      } else {
        nbtest::CompleteReceive(ncb, f.messages.front());
        f.messages.pop_front();
        return NRC_GOODRET;
      }
    case NCBCANCEL:
      ++f.cancels;
      break;
    case NCBHANGUP:
      ++f.hangUps;
      break;
    default:
      rc = NRC_SYSTEM;
  }
  ncb->ncb_retcode = rc;
  return rc;
}

Bytes Concat2(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

Bytes Chunk(bool more, int error, const std::string& data) {
  Bytes out;
  out.reserve(5 + data.size());
  out.push_back(0x30);
  out.push_back(static_cast<std::uint8_t>(more ? 1 : 0));
  out.push_back(static_cast<std::uint8_t>(error));
  out.push_back(static_cast<std::uint8_t>(data.size() & 0xFF));
  out.push_back(static_cast<std::uint8_t>(data.size() >> 8));
  for (char c : data) out.push_back(static_cast<std::uint8_t>(c));
  return out;
}

class NetbiosExchange : public Library {
 protected:
  void SetUp() override {
    g_fake = &fake_;
    SetNcbSubmitter(&Submit);
  }
  void TearDown() override {
    Library::TearDown();
    SetNcbSubmitter(nullptr);
    g_fake = nullptr;
  }
  int Send(const std::string& request, int timeOut = 20) {
    EXPECT_EQ(PSInit(4, timeOut), 0);
    DeviceRecord r = Record("KV00A1B2", TYPE_NETBEUI, "PRINTSRV");
    r.address[NETBIOS_LANA_OFFSET] = 3;
    return SendRespByRecord(&r, request.data(), static_cast<int>(request.size()), reply_.data(),
                            &replyLength_, static_cast<int>(reply_.size()));
  }
  std::string Reply() const { return std::string(reply_.data(), static_cast<std::size_t>(replyLength_)); }

  FakeNetbios fake_;
  std::vector<char> reply_ = std::vector<char>(64);
  int replyLength_ = -99;
};

TEST_F(NetbiosExchange, ChunksAndMessagesMakeOneReply) {
  Bytes first = Chunk(true, 0, "abc");
  first.resize(first.size() - 1);  // "ab" here, "c" in the next message
  fake_.messages = {first, Bytes{'c'}, Chunk(true, 0, ""), Chunk(false, 0, "de")};
  ASSERT_EQ(Send("9007:\n"), 0);
  EXPECT_EQ(Reply(), "abcde");
  EXPECT_EQ(fake_.sent, (Bytes{0x40, 0, 6, 0, '9', '0', '0', '7', ':', '\n'}));
  EXPECT_EQ(fake_.callLanas, (std::vector<std::uint8_t>{3}));
  EXPECT_EQ(fake_.callRemote[0], std::string("PRINTSRV\x02\x02\x02\x02\x02\x02\x02\x01", 16));
  EXPECT_EQ(fake_.callRto[0], 40);
  EXPECT_EQ(fake_.callSto[0], 40);
  EXPECT_EQ(fake_.hangUps, 1);
}

struct NbReplyCase {
  const char* label;
  std::vector<Bytes> messages;
  int result;
};

class NetbiosReplies : public NetbiosExchange, public ::testing::WithParamInterface<NbReplyCase> {};

TEST_P(NetbiosReplies, EndWithTheRightCodeAndHangUp) {
  fake_.messages.assign(GetParam().messages.begin(), GetParam().messages.end());
  EXPECT_EQ(Send("9007:\n"), GetParam().result);
  EXPECT_EQ(fake_.hangUps, 1);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, NetbiosReplies,
    ::testing::Values(
        NbReplyCase{"empty_reply", {Chunk(false, 0, "")}, 0},
        NbReplyCase{"error_in_second_chunk", {Chunk(true, 0, "ab"), Chunk(false, 1, "")}, ERR_COMMAND},
        NbReplyCase{"header_cut_short", {Bytes{0x30, 0, 0}}, ERR_NETWORK},
        NbReplyCase{"message_longer_than_its_chunk", {Concat2(Chunk(false, 0, "ab"), Bytes{'x'})}, ERR_NETWORK},
        NbReplyCase{"over_capacity", {Chunk(false, 0, std::string(65, 'z'))}, ERR_NETWORK},
        NbReplyCase{"message_over_3072_bytes", {Bytes(3073, 0)}, ERR_NETWORK},
        NbReplyCase{"silent_box", {}, ERR_NETWORK}),
    [](const auto& p) { return std::string(p.param.label); });

TEST_F(NetbiosExchange, SilentBoxCostsOneTenSecondReceiveWait) {
  EXPECT_EQ(Send("9007:\n"), ERR_NETWORK);
  EXPECT_EQ(fake_.cancels, 1);
  EXPECT_EQ(clock_.WaitedMs(), 10000);
}

// A receive that completes on its own just as its wait ends: the cancel no longer finds it
// (NRC_CANOCCR) while its event is still to be set. That late signal must not complete the next
// receive of the thread, which waits on the same event.
struct LateCompletion {
  long callerTid = 0;
  std::atomic<bool> callerDone{false};
  std::thread finisher;
};
LateCompletion* g_late = nullptr;

// The state of a thread of this process: 'S' while it sleeps in a wait.
char ThreadState(long tid) {
  std::ifstream stat("/proc/self/task/" + std::to_string(tid) + "/stat");
  std::string line;
  std::getline(stat, line);
  const std::size_t paren = line.rfind(')');
  return paren == std::string::npos || paren + 2 >= line.size() ? '?' : line[paren + 2];
}

std::uint8_t LateSubmit(NCB* ncb) {
  LateCompletion& l = *g_late;
  if (ncb->ncb_command == (NCBRECV | ASYNCH)) {
    ncb->ncb_event->Reset();  // as Netbios() does for an asynchronous command
    ncb->ncb_retcode = ncb->ncb_cmd_cplt = NRC_PENDING;
    return NRC_GOODRET;  // the box is silent
  }
  if (ncb->ncb_command != NCBCANCEL) return NRC_SYSTEM;
  if (l.finisher.joinable()) return NRC_GOODRET;  // the second receive: cancelled
  // The first receive got its message a moment ago; its event is set once the caller waits.
  NCB* target = reinterpret_cast<NCB*>(ncb->ncb_buffer);
  l.finisher = std::thread([&l, target] {
    while (!l.callerDone && ThreadState(l.callerTid) != 'S') std::this_thread::yield();
    std::memcpy(target->ncb_buffer, "late", 4);
    target->ncb_length = 4;
    target->ncb_retcode = target->ncb_cmd_cplt = NRC_GOODRET;
    target->ncb_event->Set();
  });
  return NRC_CANOCCR;
}

TEST_F(Library, AReceiveCompletingAsItsWaitEndsDoesNotCompleteTheNextOne) {
  LateCompletion late;
  late.callerTid = static_cast<long>(syscall(SYS_gettid));
  g_late = &late;
  SetNcbSubmitter(&LateSubmit);
  core::TransportParams params{};
  params.netbiosReceiveWaitMs = 50;
  NCB ncb;
  char buffer[16] = {};
  EXPECT_EQ(SessionReceiveTimed(5, buffer, sizeof buffer, &ncb, params), -1);
  std::memset(buffer, 0, sizeof buffer);
  EXPECT_EQ(SessionReceiveTimed(5, buffer, sizeof buffer, &ncb, params), -1);
  EXPECT_EQ(ncb.ncb_retcode, NRC_CMDTMO);
  late.callerDone = true;
  late.finisher.join();
  SetNcbSubmitter(&NoNetbios);
  g_late = nullptr;
}

TEST_F(NetbiosExchange, SwitchedOffBoxTakesThreeCallsAndThreePauses) {
  fake_.failCalls = -1;
  EXPECT_EQ(Send("9007:\n"), ERR_NETWORK);
  EXPECT_EQ(fake_.calls, 3);
  EXPECT_EQ(clock_.WaitedMs(), 9000);
  EXPECT_EQ(fake_.hangUps, 0);
  EXPECT_TRUE(fake_.sent.empty());
}

TEST_F(NetbiosExchange, CallTimeOutIsClampedToOneByte) {
  fake_.messages = {Chunk(false, 0, "")};
  ASSERT_EQ(Send("9007:\n", 200), 0);
  EXPECT_EQ(fake_.callRto[0], 255);
  EXPECT_EQ(fake_.callSto[0], 255);
}

TEST_F(NetbiosExchange, LocalNameIsRegisteredOncePerLana) {
  fake_.refuseNames = 2;
  fake_.messages = {Chunk(false, 0, ""), Chunk(false, 0, "")};
  ASSERT_EQ(Send("9007:\n"), 0);
  ASSERT_EQ(Send("9007:\n"), 0);
  ASSERT_EQ(fake_.addedNames.size(), 3u);
  char third[17];
  FormatLocalName(platform::ComputerName().c_str(), 2, third);
  EXPECT_EQ(fake_.addedNames[2], std::string(third, 16));
}

TEST_F(NetbiosExchange, AllSixtyFourNamesRefusedIsNetworkErrorWithoutCall) {
  fake_.refuseNames = 1000;
  EXPECT_EQ(Send("9007:\n"), ERR_NETWORK);
  EXPECT_EQ(fake_.addedNames.size(), 64u);
  EXPECT_EQ(fake_.calls, 0);
}

TEST_F(NetbiosExchange, LanaWithoutNameCacheIsNetworkError) {
  ASSERT_EQ(PSInit(4, 20), 0);
  DeviceRecord r = Record("KV00A1B2", TYPE_NETBEUI, "PRINTSRV");
  r.address[NETBIOS_LANA_OFFSET] = 7;  // not enumerated
  char reply[8];
  int length = -99;
  EXPECT_EQ(NbSendResp(&r, "9007:\n", 6, reply, &length, 8), ERR_NETWORK);
  EXPECT_EQ(fake_.calls, 0);
  EXPECT_TRUE(fake_.addedNames.empty());
}

}  // namespace

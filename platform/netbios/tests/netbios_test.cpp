// End-to-end tests of Netbios(): real programs (forked), the local service and loopback sockets.
// Every test has its own root (so its own service) and its own ports.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <stdlib.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <fstream>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/clock.h"
#include "platform/netbios/nb_common.h"
#include "platform/netbios/nb_peer.h"
#include "platform/netbios/netbios.h"
#include "platform/netbios/tests/nb_test_env.h"
#include "platform/test_support/temp_root.h"

namespace {

using nbtest::AddName;
using nbtest::Block;
using nbtest::SessionBlock;
using nbtest::Child;
using nbtest::Join;
using nbtest::Pipe;
using nbtest::PutName;

class NetbiosTest : public ::testing::Test {
 protected:
  void SetUp() override { nbtest::WriteConfig(root_.path(), ports_, {"127.0.0.1"}); }

  // A second machine: its own root and address on the same ports and broadcast address.
  std::string OtherMachine(const std::string& address) {
    std::string dir = root_.path() + "/other-" + address;
    platform::MakeDirectories(dir);
    nbtest::WriteConfig(dir, ports_, {address});
    return dir;
  }

  // Options of a node at `address` on this test's ports (its name still to be set).
  platform::netbios::PeerOptions NodeOptions(const char* address) const {
    platform::netbios::PeerOptions opt;
    platform::netbios::ParseAddress(address, opt.address);
    opt.nameServicePort = ports_.ns;
    opt.datagramPort = ports_.dg;
    opt.sessionPort = ports_.ssn;
    return opt;
  }

  // A print-server-like node on `address` answering to `name` (blanks up to 15 bytes, then 0x20);
  // it takes every session and closes it. Null when it could not start.
  std::unique_ptr<platform::netbios::PeerNode> StartBox(const char* address, const char* name) {
    namespace nb = platform::netbios;
    nb::PeerOptions opt = NodeOptions(address);
    PutName(opt.name.data(), name);
    auto box = std::make_unique<nb::PeerNode>(opt, nullptr, [](int fd, const nb::wire::Name&) { close(fd); });
    if (!box->Start()) return nullptr;
    return box;
  }

  // Calls `called` from `local`; the session number or 0 with the code in *rc.
  UCHAR Call(const char* local, const char* called, UCHAR* rc, UCHAR rto = 0, UCHAR sto = 0) {
    NCB n = Block(NCBCALL);
    PutName(n.ncb_name, local);
    PutName(n.ncb_callname, called);
    n.ncb_rto = rto;
    n.ncb_sto = sto;
    *rc = Netbios(&n);
    return *rc == NRC_GOODRET ? n.ncb_lsn : 0;
  }

  static UCHAR Send(UCHAR lsn, const std::string& data) {
    NCB n = Block(NCBSEND);
    n.ncb_lsn = lsn;
    n.ncb_buffer = reinterpret_cast<unsigned char*>(const_cast<char*>(data.data()));
    n.ncb_length = static_cast<WORD>(data.size());
    return Netbios(&n);
  }

  // CHAIN SEND of `head` and `body` as one message.
  static UCHAR ChainSend(UCHAR lsn, const std::string& head, const std::string& body) {
    NCB n = Block(NCBCHAINSEND);
    n.ncb_lsn = lsn;
    n.ncb_buffer = reinterpret_cast<unsigned char*>(const_cast<char*>(head.data()));
    n.ncb_length = static_cast<WORD>(head.size());
    NcbSetChainBuffer(&n, body.data(), static_cast<WORD>(body.size()));
    return Netbios(&n);
  }

  static UCHAR Receive(UCHAR lsn, std::string& out, WORD size) {
    std::vector<unsigned char> buf(size + 1u);
    NCB n = SessionBlock(NCBRECV, lsn, buf.data(), size);
    UCHAR rc = Netbios(&n);
    out.assign(reinterpret_cast<char*>(buf.data()), n.ncb_length);
    return rc;
  }

  static UCHAR Hangup(UCHAR lsn) {
    NCB n = Block(NCBHANGUP);
    n.ncb_lsn = lsn;
    return Netbios(&n);
  }

  // An asynchronous session receive into `buffer`, completed through `event`.
  static NCB AsyncReceive(UCHAR lsn, unsigned char* buffer, WORD size, NbEvent* event) {
    NCB n = SessionBlock(NCBRECV | ASYNCH, lsn, buffer, size);
    n.ncb_event = event;
    return n;
  }

  // A session from "ASKER" to "ECHO" (both added here), listened for with `expected` as the
  // caller's name; `rto` is the caller's receive time-out.
  struct Pair {
    UCHAR listener = 0;
    UCHAR caller = 0;
  };
  void Connect(Pair* pair, const char* expected = "*", UCHAR rto = 0) {
    ASSERT_EQ(AddName("ECHO"), NRC_GOODRET);
    ASSERT_EQ(AddName("ASKER"), NRC_GOODRET);
    NCB listen = Block(NCBLISTEN | ASYNCH);
    PutName(listen.ncb_name, "ECHO");
    PutName(listen.ncb_callname, expected);
    NbEvent listened;
    listen.ncb_event = &listened;
    ASSERT_EQ(Netbios(&listen), NRC_GOODRET);
    UCHAR rc = 0;
    pair->caller = Call("ASKER", "ECHO", &rc, rto, 0);
    if (rc != NRC_GOODRET || !listened.Wait(30000)) {
      NCB cancel = Block(NCBCANCEL);
      cancel.ncb_buffer = reinterpret_cast<unsigned char*>(&listen);
      cancel.ncb_length = 64;
      Netbios(&cancel);
      FAIL() << "no session: call " << int(rc) << ", listen " << int(listen.ncb_retcode);
    }
    ASSERT_EQ(listen.ncb_retcode, NRC_GOODRET);
    pair->listener = listen.ncb_lsn;
  }

  platform::testing::TempRoot root_;
  nbtest::Ports ports_;
};

// The service keeps its pid file locked while it runs: taking the lock waits for its end.
void WaitForServiceEnd(const std::string& root, pid_t* pid = nullptr) {
  int fd = open((root + "/netbios/nbd.pid").c_str(), O_RDWR | O_CLOEXEC);
  ASSERT_GE(fd, 0);
  if (pid != nullptr) {
    char buf[32] = {};
    ASSERT_GT(pread(fd, buf, sizeof buf - 1, 0), 0);
    *pid = static_cast<pid_t>(std::atoi(buf));
    kill(*pid, SIGKILL);
  }
  EXPECT_EQ(flock(fd, LOCK_EX), 0);
  close(fd);
}

TEST_F(NetbiosTest, TheServiceEndsWhenUnusedAndStartsAgainWhenNeeded) {
  pid_t first = Child([] { return AddName("EARLY") == NRC_GOODRET ? 0 : 1; });
  ASSERT_EQ(Join(first), 0);
  WaitForServiceEnd(root_.path());  // the last program went away: the service ends
  ASSERT_EQ(AddName("EARLY"), NRC_GOODRET);  // a new service, without the old name

  // A service killed outright leaves its socket file behind: the next command starts a new one,
  // and the names that died with the old one can be added again.
  pid_t service = 0;
  WaitForServiceEnd(root_.path(), &service);
  EXPECT_GT(service, 0);
  EXPECT_EQ(AddName("EARLY"), NRC_GOODRET);
  EXPECT_EQ(AddName("LATER"), NRC_GOODRET);
  EXPECT_EQ(AddName("LATER"), NRC_DUPNAME);
}

TEST_F(NetbiosTest, TheServiceIgnoresTheSignalMaskOfTheProgramThatStartedIt) {
  // A program that blocks SIGTERM for its own loop starts the service and keeps its name.
  int up[2], down[2];
  ASSERT_EQ(pipe(up), 0);
  ASSERT_EQ(pipe(down), 0);
  pid_t starter = fork();
  ASSERT_GE(starter, 0);
  if (starter == 0) {
    close(up[0]);
    close(down[1]);
    sigset_t blocked;
    sigemptyset(&blocked);
    sigaddset(&blocked, SIGTERM);
    sigaddset(&blocked, SIGINT);
    sigprocmask(SIG_BLOCK, &blocked, nullptr);
    char ok = AddName("MASKED") == NRC_GOODRET ? 1 : 0;
    if (write(up[1], &ok, 1) != 1) _exit(2);
    char done = 0;
    if (read(down[0], &done, 1) < 0) _exit(3);  // until the parent closes its end
    _exit(0);
  }
  close(up[1]);
  close(down[0]);
  char ok = 0;
  ASSERT_EQ(read(up[0], &ok, 1), 1);
  close(up[0]);
  ASSERT_EQ(ok, 1);

  int fd = open((root_.path() + "/netbios/nbd.pid").c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_GE(fd, 0);
  char buf[32] = {};
  ASSERT_GT(pread(fd, buf, sizeof buf - 1, 0), 0);
  close(fd);
  const pid_t service = static_cast<pid_t>(std::atoi(buf));
  ASSERT_GT(service, 0);
  std::ifstream status("/proc/" + std::to_string(service) + "/status");
  std::string line, blockedMask;
  while (std::getline(status, line)) {
    if (line.rfind("SigBlk:", 0) == 0) blockedMask = line.substr(7);
  }
  EXPECT_FALSE(blockedMask.empty());
  EXPECT_EQ(blockedMask.find_first_not_of("\t 0"), std::string::npos) << blockedMask;

  // SIGTERM ends it: its pid lock is released.
  EXPECT_EQ(kill(service, SIGTERM), 0);
  close(down[1]);
  EXPECT_EQ(Join(starter), 0);
  WaitForServiceEnd(root_.path());
}

TEST_F(NetbiosTest, EnumListsTheConfiguredLanasAndRejectsOthers) {
  nbtest::WriteConfig(root_.path(), ports_, {"127.0.0.1", "127.0.0.2"});
  LANA_ENUM lanas{};
  NCB n = Block(NCBENUM);
  n.ncb_buffer = reinterpret_cast<unsigned char*>(&lanas);
  n.ncb_length = sizeof lanas;
  ASSERT_EQ(Netbios(&n), NRC_GOODRET);
  ASSERT_EQ(lanas.length, 2);
  EXPECT_EQ(lanas.lana[0], 0);
  EXPECT_EQ(lanas.lana[1], 1);

  NCB bad = Block(NCBENUM);
  EXPECT_EQ(Netbios(&bad), NRC_BUFLEN);
  NCB reset = Block(NCBRESET, 7);
  EXPECT_EQ(Netbios(&reset), NRC_BRIDGE);
  NCB unknown = Block(0x7E);
  EXPECT_EQ(Netbios(&unknown), NRC_ILLCMD);
  EXPECT_EQ(Netbios(nullptr), NRC_BADDR);
}

TEST_F(NetbiosTest, NamesAreUniqueAcrossTheProgramsOfAMachine) {
  // Another program: the held name is refused, a group name can be shared.
  Pipe go;
  pid_t other = Child([&go] {
    if (go.Get() != 'g') return 9;
    if (AddName("FIRST") != NRC_DUPNAME) return 1;
    if (AddName("TEAM", nullptr, true) != NRC_GOODRET) return 2;
    if (AddName("TEAM") != NRC_DUPNAME) return 3;  // unique over a group
    return 0;
  });
  UCHAR num = 0;
  ASSERT_EQ(AddName("FIRST", &num), NRC_GOODRET);
  EXPECT_GE(num, 2);
  EXPECT_EQ(AddName("FIRST"), NRC_DUPNAME);  // same program
  NCB wild = Block(NCBADDNAME);
  PutName(wild.ncb_name, "*");
  EXPECT_EQ(Netbios(&wild), NRC_NOWILD);
  ASSERT_EQ(AddName("TEAM", nullptr, true), NRC_GOODRET);
  go.Put('g');
  EXPECT_EQ(Join(other), 0);

  NCB del = Block(NCBDELNAME);
  PutName(del.ncb_name, "FIRST");
  EXPECT_EQ(Netbios(&del), NRC_GOODRET);
  EXPECT_EQ(Netbios(&del), NRC_NOWILD);
  EXPECT_EQ(AddName("FIRST"), NRC_GOODRET);
}

TEST_F(NetbiosTest, TwoProgramsAddingTheSameNameAtOnceGetOneWinner) {
  Pipe go;
  std::vector<pid_t> kids;
  for (int i = 0; i < 2; ++i) {
    kids.push_back(Child([&go, i] {
      if (go.Get() != 'g') return 9;
      UCHAR rc = AddName("RACE");
      UCHAR own = AddName(i == 0 ? "FIRSTKID" : "SECONDKID");  // different names both succeed
      if (own != NRC_GOODRET) return 8;
      return rc == NRC_GOODRET ? 0 : rc == NRC_DUPNAME ? 1 : 7;
    }));
  }
  go.Put('g');
  go.Put('g');
  int a = Join(kids[0]);
  int b = Join(kids[1]);
  EXPECT_EQ(a + b, 1) << a << " " << b;
}

TEST_F(NetbiosTest, AKilledProgramsNamesAreReleased) {
  Pipe ready;
  pid_t holder = Child([&ready] {
    UCHAR rc = AddName("HOLDER");
    ready.Put(rc == NRC_GOODRET ? 'y' : 'n');
    pause();
    return 0;
  });
  ASSERT_EQ(ready.Get(), 'y');
  EXPECT_EQ(AddName("HOLDER"), NRC_DUPNAME);
  kill(holder, SIGKILL);
  EXPECT_EQ(Join(holder), 128 + SIGKILL);
  EXPECT_EQ(AddName("HOLDER"), NRC_GOODRET);
}

TEST_F(NetbiosTest, AnotherMachineDefendsItsNameOnTheWire) {
  std::string otherRoot = OtherMachine("127.0.0.3");
  Pipe ready, done;
  pid_t machine = Child([&] {
    setenv("PSADMIN_ROOT", otherRoot.c_str(), 1);
    UCHAR rc = AddName("REMOTEBOX");
    UCHAR grp = AddName("REMOTEGRP", nullptr, true);
    ready.Put(rc == NRC_GOODRET && grp == NRC_GOODRET ? 'y' : 'n');
    return done.Get() == 'q' ? 0 : 1;
  });
  ASSERT_EQ(ready.Get(), 'y');
  EXPECT_EQ(AddName("REMOTEBOX"), NRC_DUPNAME);
  EXPECT_EQ(AddName("REMOTEGRP"), NRC_DUPNAME);  // a unique name over their group
  EXPECT_EQ(AddName("REMOTEGRP", nullptr, true), NRC_GOODRET);
  EXPECT_EQ(AddName("MYOWN"), NRC_GOODRET);
  done.Put('q');
  EXPECT_EQ(Join(machine), 0);
}

// A program that adds `text`, asks the table to keep it after its end and ends: 0 on success.
int KeepAndEnd(const char* text) {
  UCHAR name[16];
  PutName(name, text);
  if (AddName(text) != NRC_GOODRET) return 1;
  return NbKeepName(0, name) == NRC_GOODRET ? 0 : 2;
}

// What another machine (its own root at its own address) gets for adding `text`.
UCHAR AddFromMachine(const std::string& root, const char* text) {
  Pipe result;
  pid_t machine = Child([&] {
    setenv("PSADMIN_ROOT", root.c_str(), 1);
    result.Put(static_cast<char>(AddName(text)));
    return 0;
  });
  const auto rc = static_cast<UCHAR>(result.Get());
  Join(machine);
  return rc;
}

TEST_F(NetbiosTest, AKeptNameIsDefendedRefusedToOthersAndTakenOverAtOnceByItsUser) {
  nbtest::WriteConfig(root_.path(), ports_, {"127.0.0.1"}, {{"NameLingerMs", "600000"}});
  std::string otherRoot = OtherMachine("127.0.0.3");
  // Another user of this machine, when the test may change users.
  Pipe go, answer;
  pid_t stranger = -1;
  if (geteuid() == 0) {
    stranger = Child([&] {
      if (go.Get() != 'g') return 9;
      for (const std::string& dir : {root_.path(), root_.path() + "/netbios", root_.path() + "/windows"})
        chmod(dir.c_str(), 0755);
      chmod((root_.path() + "/netbios/nbd.sock").c_str(), 0777);
      chmod((root_.path() + "/windows/netbios.ini").c_str(), 0644);
      if (setgid(65534) != 0 || setuid(65534) != 0) return 8;
      answer.Put(static_cast<char>(AddName("KEEPME")));
      return 0;
    });
  }
  ASSERT_EQ(Join(Child([] { return KeepAndEnd("KEEPME"); })), 0);

  // Nobody holds it now, yet it is still on the wire: another machine is refused it.
  EXPECT_EQ(AddFromMachine(otherRoot, "KEEPME"), NRC_DUPNAME);
  if (stranger > 0) {
    go.Put('g');
    EXPECT_EQ(answer.Get(), static_cast<char>(NRC_DUPNAME));  // another user of this machine
    EXPECT_EQ(Join(stranger), 0);
  }
  // A node that objects to every registration of the name: the same user's program takes the kept
  // name over without registering it again, so the node is never asked.
  auto objector = StartBox("127.0.0.4", "KEEPME");
  ASSERT_NE(objector, nullptr);
  UCHAR num = 0;
  EXPECT_EQ(AddName("KEEPME", &num), NRC_GOODRET);
  EXPECT_GE(num, 2);
  EXPECT_EQ(AddName("KEEPME"), NRC_DUPNAME);  // held again, by this program
  // Deleted, it is gone at once: a new registration meets the node's objection.
  NCB del = Block(NCBDELNAME);
  PutName(del.ncb_name, "KEEPME");
  EXPECT_EQ(Netbios(&del), NRC_GOODRET);
  EXPECT_EQ(AddName("KEEPME"), NRC_DUPNAME);
  UCHAR keep[16];
  PutName(keep, "NOTMINE");
  EXPECT_EQ(NbKeepName(0, keep), NRC_NOWILD);
  ASSERT_EQ(AddName("TEAM", nullptr, true), NRC_GOODRET);
  PutName(keep, "TEAM");
  EXPECT_EQ(NbKeepName(0, keep), NRC_ILLCMD);
  EXPECT_EQ(NbKeepName(7, keep), NRC_BRIDGE);
}

// A program that adds `text` and asks, in the same request, that it be kept after its end: 0 on
// success.
int AddKeptAndEnd(const char* text) {
  NCB ncb = Block(NCBADDNAME);
  PutName(ncb.ncb_name, text);
  return NbAddKeptName(&ncb) == NRC_GOODRET && ncb.ncb_retcode == NRC_GOODRET && ncb.ncb_num >= 2 ? 0 : 1;
}

TEST_F(NetbiosTest, ANameAddedAndKeptInOneRequestOutlivesEachProgramThatTakesItOver) {
  nbtest::WriteConfig(root_.path(), ports_, {"127.0.0.1"}, {{"NameLingerMs", "600000"}});
  std::string otherRoot = OtherMachine("127.0.0.3");
  ASSERT_EQ(Join(Child([] { return AddKeptAndEnd("ONEASK"); })), 0);
  EXPECT_EQ(AddFromMachine(otherRoot, "ONEASK"), NRC_DUPNAME);
  // The next program of the user takes it over and asks again: kept after it too.
  ASSERT_EQ(Join(Child([] { return AddKeptAndEnd("ONEASK"); })), 0);
  EXPECT_EQ(AddFromMachine(otherRoot, "ONEASK"), NRC_DUPNAME);
  // A program that takes it over with a plain ADD NAME does not keep it: gone with the program.
  ASSERT_EQ(Join(Child([] { return AddName("ONEASK") == NRC_GOODRET ? 0 : 1; })), 0);
  EXPECT_EQ(AddFromMachine(otherRoot, "ONEASK"), NRC_GOODRET);

  // Only a synchronous ADD NAME can be asked so; a name already held stays a duplicate.
  NCB other = Block(NCBADDGRNAME);
  PutName(other.ncb_name, "TEAM");
  EXPECT_EQ(NbAddKeptName(&other), NRC_ILLCMD);
  other.ncb_command = NCBADDNAME | ASYNCH;
  EXPECT_EQ(NbAddKeptName(&other), NRC_ILLCMD);
  EXPECT_EQ(NbAddKeptName(nullptr), NRC_BADDR);
  ASSERT_EQ(AddName("MINE"), NRC_GOODRET);
  NCB again = Block(NCBADDNAME);
  PutName(again.ncb_name, "MINE");
  EXPECT_EQ(NbAddKeptName(&again), NRC_DUPNAME);
}

TEST_F(NetbiosTest, AKeptNameIsReleasedAfterItsLingerTime) {
  nbtest::WriteConfig(root_.path(), ports_, {"127.0.0.1"}, {{"NameLingerMs", "500"}});
  std::string otherRoot = OtherMachine("127.0.0.3");
  ASSERT_EQ(Join(Child([] { return KeepAndEnd("BRIEFLY"); })), 0);
  // The service stays while it keeps the name, releases it after the linger time and then ends as
  // an unused one does.
  WaitForServiceEnd(root_.path());
  EXPECT_EQ(AddFromMachine(otherRoot, "BRIEFLY"), NRC_GOODRET);
}

TEST_F(NetbiosTest, SessionKeepsMessageBoundariesAndSplitsLongMessages) {
  // Programs are forked before this one starts threads of its own.
  Pipe go;
  pid_t client = Child([this, &go] {
    if (go.Get() != 'g') return 9;
    if (UCHAR r = AddName("CLIENT"); r != NRC_GOODRET) return 100 + r;
    UCHAR rc = 0;
    UCHAR lsn = Call("CLIENT", "SERVER", &rc);
    if (rc != NRC_GOODRET) return 2;
    if (Send(lsn, "hello") != NRC_GOODRET || Send(lsn, "") != NRC_GOODRET) return 3;
    if (Send(lsn, std::string(3000, 'x') + "END") != NRC_GOODRET) return 4;
    // Chain sends: two buffers arrive as one message, also when either is empty, and a message
    // longer than one buffer may hold (the session header carries its 17th length bit).
    if (ChainSend(lsn, "chain", "ed") != NRC_GOODRET || ChainSend(lsn, "", "body only") != NRC_GOODRET ||
        ChainSend(lsn, "head only", "") != NRC_GOODRET ||
        ChainSend(lsn, std::string(65535, 'h'), std::string(65535, 'b')) != NRC_GOODRET) {
      return 7;
    }
    std::string reply;
    if (Receive(lsn, reply, 100) != NRC_GOODRET || reply != "thanks") return 5;
    return Hangup(lsn) == NRC_GOODRET ? 0 : 6;
  });
  ASSERT_EQ(AddName("SERVER"), NRC_GOODRET);
  NCB listen = Block(NCBLISTEN | ASYNCH);
  NbEvent listened;
  listen.ncb_event = &listened;
  PutName(listen.ncb_name, "SERVER");
  PutName(listen.ncb_callname, "*");
  ASSERT_EQ(Netbios(&listen), NRC_GOODRET);
  EXPECT_EQ(listen.ncb_cmd_cplt, NRC_PENDING);
  go.Put('g');

  if (!listened.Wait(30000)) {
    NCB cancel = Block(NCBCANCEL);
    cancel.ncb_buffer = reinterpret_cast<unsigned char*>(&listen);
    Netbios(&cancel);
    FAIL() << "no call came; the client ended with " << Join(client);
  }
  ASSERT_EQ(listen.ncb_retcode, NRC_GOODRET);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(listen.ncb_callname), 6), "CLIENT");
  UCHAR lsn = listen.ncb_lsn;
  std::string got;
  EXPECT_EQ(Receive(lsn, got, 100), NRC_GOODRET);
  EXPECT_EQ(got, "hello");
  EXPECT_EQ(Receive(lsn, got, 100), NRC_GOODRET);
  EXPECT_EQ(got, "");
  EXPECT_EQ(Receive(lsn, got, 1000), NRC_INCOMP);
  EXPECT_EQ(got, std::string(1000, 'x'));
  EXPECT_EQ(Receive(lsn, got, 1000), NRC_INCOMP);
  std::string rest;
  EXPECT_EQ(Receive(lsn, rest, 2000), NRC_GOODRET);
  EXPECT_EQ(rest, std::string(1000, 'x') + "END");
  for (const char* chained : {"chained", "body only", "head only"}) {
    EXPECT_EQ(Receive(lsn, got, 100), NRC_GOODRET);
    EXPECT_EQ(got, chained);
  }
  EXPECT_EQ(Receive(lsn, got, 65535), NRC_INCOMP);
  EXPECT_EQ(got, std::string(65535, 'h'));
  EXPECT_EQ(Receive(lsn, rest, 65535), NRC_GOODRET);
  EXPECT_EQ(rest, std::string(65535, 'b'));
  EXPECT_EQ(Send(lsn, "thanks"), NRC_GOODRET);
  EXPECT_EQ(Receive(lsn, got, 100), NRC_SCLOSED);  // the caller hung up
  EXPECT_EQ(Join(client), 0);
  EXPECT_EQ(Hangup(lsn), NRC_GOODRET);
  EXPECT_EQ(Hangup(lsn), NRC_SNUMOUT);
  EXPECT_EQ(Send(lsn, "late"), NRC_SNUMOUT);
  EXPECT_EQ(ChainSend(lsn, "late", "r"), NRC_SNUMOUT);
  // A second buffer announced with no address is refused before anything else.
  NCB bad = Block(NCBCHAINSEND);
  bad.ncb_lsn = lsn;
  NcbSetChainBuffer(&bad, nullptr, 4);
  EXPECT_EQ(Netbios(&bad), NRC_BUFLEN);
}

TEST_F(NetbiosTest, AsyncReceiveCompletesOnDataAndCancelEndsAnother) {
  Pair pair;
  ASSERT_NO_FATAL_FAILURE(Connect(&pair, "ASKER"));
  const UCHAR caller = pair.caller, listener = pair.listener;

  unsigned char buf[64];
  NbEvent done;
  NCB recv = AsyncReceive(listener, buf, sizeof buf, &done);
  ASSERT_EQ(Netbios(&recv), NRC_GOODRET);
  EXPECT_EQ(recv.ncb_cmd_cplt, NRC_PENDING);
  EXPECT_FALSE(done.IsSet());
  ASSERT_EQ(Send(caller, "ping"), NRC_GOODRET);
  ASSERT_TRUE(done.Wait(30000));
  EXPECT_EQ(recv.ncb_cmd_cplt, NRC_GOODRET);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(buf), recv.ncb_length), "ping");

  // A receive nobody answers, cancelled: it completes with NRC_CMDCAN and its event is set.
  NbEvent waitingDone;
  NCB waiting = AsyncReceive(listener, buf, sizeof buf, &waitingDone);
  ASSERT_EQ(Netbios(&waiting), NRC_GOODRET);
  NCB cancel = Block(NCBCANCEL);
  cancel.ncb_buffer = reinterpret_cast<unsigned char*>(&waiting);
  cancel.ncb_length = 64;
  EXPECT_EQ(Netbios(&cancel), NRC_GOODRET);
  EXPECT_TRUE(waitingDone.IsSet());
  EXPECT_EQ(waiting.ncb_retcode, NRC_CMDCAN);
  EXPECT_EQ(waiting.ncb_cmd_cplt, NRC_CMDCAN);
  EXPECT_EQ(Netbios(&cancel), NRC_CANOCCR);  // nothing pending any more

  // The session is still good after the cancelled receive.
  ASSERT_EQ(Send(caller, "again"), NRC_GOODRET);
  std::string got;
  EXPECT_EQ(Receive(listener, got, 64), NRC_GOODRET);
  EXPECT_EQ(got, "again");

  // Hanging up ends a pending receive on the session with NRC_SCLOSED.
  NbEvent pendingDone;
  NCB pending = AsyncReceive(listener, buf, sizeof buf, &pendingDone);
  ASSERT_EQ(Netbios(&pending), NRC_GOODRET);
  EXPECT_EQ(Hangup(listener), NRC_GOODRET);
  ASSERT_TRUE(pendingDone.Wait(30000));
  EXPECT_EQ(pending.ncb_retcode, NRC_SCLOSED);
  EXPECT_EQ(Receive(caller, got, 64), NRC_SCLOSED);  // and the other side sees the end
}

// Receives keep their order whoever carries them out: one completed at submission (its message
// was there), the session's next ones by their threads or by the thread waiting for their event.
TEST_F(NetbiosTest, AsyncReceivesCompleteInOrderWhetherTheMessageIsThereOrNot) {
  Pair pair;
  ASSERT_NO_FATAL_FAILURE(Connect(&pair));
  const UCHAR caller = pair.caller, listener = pair.listener;
  ASSERT_EQ(Send(caller, "first message"), NRC_GOODRET);
  // The message asynchronously in two parts.
  // The post routine runs before the event tells the waiter (who may free the block at once):
  // 1 when it found the event still clear, 2 when it was set already.
  struct Posted {
    static void Note(NCB* n) { n->ncb_reserve[0] = n->ncb_event->IsSet() ? 2 : 1; }
  };
  unsigned char part[8], rest[64], later[64], last[64];
  auto make = [&](unsigned char* buf, WORD size, NbEvent* ev) {
    NCB n = AsyncReceive(listener, buf, size, ev);
    n.ncb_post = &Posted::Note;
    return n;
  };
  NbEvent e1, e2, e3, e4;
  NCB r1 = make(part, 5, &e1);
  ASSERT_EQ(Netbios(&r1), NRC_GOODRET);
  ASSERT_TRUE(e1.Wait(30000));
  EXPECT_EQ(r1.ncb_retcode, NRC_INCOMP);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(part), r1.ncb_length), "first");
  EXPECT_EQ(r1.ncb_reserve[0], 1);
  NCB r2 = make(rest, sizeof rest, &e2);
  ASSERT_EQ(Netbios(&r2), NRC_GOODRET);  // the rest is there: done before Netbios() returned
  EXPECT_TRUE(e2.IsSet());
  EXPECT_EQ(r2.ncb_retcode, NRC_GOODRET);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(rest), r2.ncb_length), " message");
  EXPECT_EQ(r2.ncb_reserve[0], 1);  // and its post routine was called
  // Two receives wait; the waiter of the second one is not served before the first.
  NCB r3 = make(later, sizeof later, &e3);
  NCB r4 = make(last, sizeof last, &e4);
  ASSERT_EQ(Netbios(&r3), NRC_GOODRET);
  ASSERT_EQ(Netbios(&r4), NRC_GOODRET);
  ASSERT_EQ(Send(caller, "two"), NRC_GOODRET);
  ASSERT_EQ(Send(caller, "three"), NRC_GOODRET);
  ASSERT_TRUE(e4.Wait(30000));
  ASSERT_TRUE(e3.Wait(30000));
  EXPECT_EQ(std::string(reinterpret_cast<char*>(later), r3.ncb_length), "two");
  EXPECT_EQ(std::string(reinterpret_cast<char*>(last), r4.ncb_length), "three");
  EXPECT_EQ(r3.ncb_reserve[0], 1);
  EXPECT_EQ(r4.ncb_reserve[0], 1);
  EXPECT_EQ(Hangup(caller), NRC_GOODRET);
}

// A receive with an event and no post routine is carried out by the thread that waits for the
// event. One nobody waits for still completes, and a waiter of a later receive is served once the
// earlier receive, which nobody waits for, has taken its message.
TEST_F(NetbiosTest, AReceiveWithAnEventCompletesWhetherOrNotItsEventIsWaitedFor) {
  Pair pair;
  ASSERT_NO_FATAL_FAILURE(Connect(&pair));
  const UCHAR caller = pair.caller, listener = pair.listener;
  unsigned char first[64], second[64], third[64];
  auto make = [&](unsigned char* buf, NbEvent* ev) { return AsyncReceive(listener, buf, 64, ev); };
  // Nobody waits: the block is watched until it completes (a program polling ncb_cmd_cplt).
  NbEvent e1;
  NCB r1 = make(first, &e1);
  ASSERT_EQ(Netbios(&r1), NRC_GOODRET);
  ASSERT_EQ(Send(caller, "unwatched"), NRC_GOODRET);
  const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (__atomic_load_n(&r1.ncb_cmd_cplt, __ATOMIC_ACQUIRE) == NRC_PENDING &&
         std::chrono::steady_clock::now() < limit) {
    std::this_thread::yield();
  }
  ASSERT_EQ(__atomic_load_n(&r1.ncb_cmd_cplt, __ATOMIC_ACQUIRE), NRC_GOODRET);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(first), r1.ncb_length), "unwatched");
  EXPECT_TRUE(e1.IsSet());

  // Two receives; only the second one's event is waited for.
  NbEvent e2, e3;
  NCB r2 = make(second, &e2);
  NCB r3 = make(third, &e3);
  ASSERT_EQ(Netbios(&r2), NRC_GOODRET);
  ASSERT_EQ(Netbios(&r3), NRC_GOODRET);
  ASSERT_EQ(Send(caller, "two"), NRC_GOODRET);
  ASSERT_EQ(Send(caller, "three"), NRC_GOODRET);
  ASSERT_TRUE(e3.Wait(30000));
  EXPECT_EQ(std::string(reinterpret_cast<char*>(third), r3.ncb_length), "three");
  ASSERT_TRUE(e2.Wait(30000));
  EXPECT_EQ(std::string(reinterpret_cast<char*>(second), r2.ncb_length), "two");

  // A waiter that gives up leaves the receive to complete later; the event is set by then.
  NbEvent e4;
  unsigned char fourth[64];
  NCB r4 = make(fourth, &e4);
  ASSERT_EQ(Netbios(&r4), NRC_GOODRET);
  EXPECT_FALSE(e4.Wait(0));
  ASSERT_EQ(Send(caller, "late"), NRC_GOODRET);
  NbEvent* list[] = {&e4};
  ASSERT_EQ(NbWaitAny(list, 1, 30000), 0);
  EXPECT_EQ(r4.ncb_retcode, NRC_GOODRET);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(fourth), r4.ncb_length), "late");
  EXPECT_EQ(Hangup(caller), NRC_GOODRET);
}

// Manual-reset events keep their state whether or not a waiter polls them when they are set.
TEST(NbEventTest, ManualResetEventsKeepTheirStateAcrossWaitersAndResets) {
  NbEvent e;
  EXPECT_FALSE(e.IsSet());
  EXPECT_FALSE(e.Wait(0));
  e.Set();
  EXPECT_TRUE(e.IsSet());
  EXPECT_TRUE(e.Wait(0));
  NbEvent other;
  NbEvent* both[] = {&other, &e};
  EXPECT_EQ(NbWaitAny(both, 2, 0), 1);
  e.Reset();
  EXPECT_FALSE(e.Wait(0));
  EXPECT_EQ(NbWaitAny(both, 2, 0), -1);
  // Set by another thread while this one waits on both, then reset and set again.
  for (int round = 0; round < 2; ++round) {
    std::thread setter([&] { e.Set(); });
    EXPECT_EQ(NbWaitAny(both, 2, 30000), 1);
    setter.join();
    EXPECT_TRUE(e.IsSet());
    e.Reset();
    EXPECT_FALSE(e.IsSet());
  }
  NbEvent initially(true, true);
  EXPECT_TRUE(initially.Wait(0));
  initially.Reset();
  EXPECT_FALSE(initially.Wait(0));
  // An auto-reset event is taken by one wait.
  NbEvent automatic(false, false);
  automatic.Set();
  EXPECT_TRUE(automatic.Wait(0));
  EXPECT_FALSE(automatic.Wait(0));
}

TEST_F(NetbiosTest, TimeOutsRunOnThePlatformClock) {
  ASSERT_EQ(AddName("QUIET"), NRC_GOODRET);
  ASSERT_EQ(AddName("TALKER"), NRC_GOODRET);
  platform::FakeClock clock;
  platform::ScopedClock scoped(&clock);

  // Nobody holds the name: the call fails after the queries' time-outs (2 x 300 ms here).
  UCHAR rc = 0;
  Call("TALKER", "NOBODY", &rc);
  EXPECT_EQ(rc, NRC_NOCALL);
  EXPECT_GE(clock.WaitedMs(), 600);

  // The name is held but not listened on.
  Call("TALKER", "QUIET", &rc);
  EXPECT_EQ(rc, NRC_NOCALL);

  // A receive time-out of 20 x 500 ms: the session stays usable.
  NCB listen = Block(NCBLISTEN | ASYNCH);
  PutName(listen.ncb_name, "QUIET");
  PutName(listen.ncb_callname, "*");
  NbEvent listened;
  listen.ncb_event = &listened;
  ASSERT_EQ(Netbios(&listen), NRC_GOODRET);
  UCHAR lsn = Call("TALKER", "QUIET", &rc, 20, 20);
  ASSERT_EQ(rc, NRC_GOODRET);
  ASSERT_TRUE(listened.Wait(-1));
  std::int64_t before = clock.WaitedMs();
  std::string got;
  EXPECT_EQ(Receive(lsn, got, 10), NRC_CMDTMO);
  EXPECT_GE(clock.WaitedMs() - before, 10000);
  ASSERT_EQ(Send(listen.ncb_lsn, "late reply"), NRC_GOODRET);
  EXPECT_EQ(Receive(lsn, got, 4), NRC_INCOMP);
  EXPECT_EQ(got, "late");
  EXPECT_EQ(Receive(lsn, got, 10), NRC_GOODRET);
  EXPECT_EQ(got, " reply");

  // A send that cannot get rid of its data within 20 x 500 ms (nobody reads the other end) ends
  // with NRC_CMDTMO and aborts the session.
  std::string block(65535, 'z');
  UCHAR sent = NRC_GOODRET;
  for (int i = 0; i < 2000 && sent == NRC_GOODRET; ++i) sent = Send(lsn, block);
  EXPECT_EQ(sent, NRC_CMDTMO);
  EXPECT_EQ(Send(lsn, "more"), NRC_SABORT);
}

TEST_F(NetbiosTest, DatagramsReachAUniqueNameAndEveryGroupMember) {
  std::string otherRoot = OtherMachine("127.0.0.4");

  // Two receivers: a program of this machine in the group, one of another machine with a
  // unique name and the group.
  Pipe ready;
  auto receiver = [&](const std::string& root, const char* unique) {
    return Child([&, root, unique] {
      if (!root.empty()) setenv("PSADMIN_ROOT", root.c_str(), 1);
      UCHAR num = 0, grp = 0;
      if (unique != nullptr && AddName(unique, &num) != NRC_GOODRET) return 1;
      if (AddName("DGTEAM", &grp, true) != NRC_GOODRET) return 2;
      int expected = unique != nullptr ? 2 : 1;
      unsigned char buf[2][16];
      NCB recv[2];
      NbEvent got[2];
      for (int i = 0; i < expected; ++i) {
        recv[i] = Block(NCBDGRECV | ASYNCH);
        recv[i].ncb_num = 0xFF;
        recv[i].ncb_buffer = buf[i];
        recv[i].ncb_length = sizeof buf[i];
        recv[i].ncb_event = &got[i];
        if (Netbios(&recv[i]) != NRC_GOODRET) return 3;
      }
      ready.Put('r');
      int seen = 0;
      for (int i = 0; i < expected; ++i) {
        if (!got[i].Wait(30000)) return 4;
        std::string text(reinterpret_cast<char*>(buf[i]), recv[i].ncb_length);
        if (std::memcmp(recv[i].ncb_callname, "DGSENDER", 8) != 0) return 5;
        if (text == "to all" && recv[i].ncb_retcode == NRC_GOODRET) seen |= 1;
        if (text == "just for you, to" && recv[i].ncb_retcode == NRC_INCOMP) seen |= 2;  // 16 of 17 bytes
      }
      return seen;
    });
  };
  pid_t local = receiver("", nullptr);
  pid_t remote = receiver(otherRoot, "DGREMOTE");
  UCHAR me = 0;
  ASSERT_EQ(AddName("DGSENDER", &me), NRC_GOODRET);
  UCHAR team = 0;
  ASSERT_EQ(AddName("DGTEAM", &team, true), NRC_GOODRET);
  ASSERT_EQ(ready.Get(), 'r');
  ASSERT_EQ(ready.Get(), 'r');

  auto send = [&](const char* to, const std::string& data) {
    NCB n = Block(NCBDGSEND);
    n.ncb_num = me;
    PutName(n.ncb_callname, to);
    n.ncb_buffer = reinterpret_cast<unsigned char*>(const_cast<char*>(data.data()));
    n.ncb_length = static_cast<WORD>(data.size());
    return Netbios(&n);
  };
  EXPECT_EQ(send("DGTEAM", "to all"), NRC_GOODRET);
  EXPECT_EQ(send("DGREMOTE", "just for you, too"), NRC_GOODRET);
  EXPECT_EQ(Join(local), 1);
  EXPECT_EQ(Join(remote), 3);

  NCB big = Block(NCBDGSEND);
  std::vector<unsigned char> data(513);
  big.ncb_num = me;
  big.ncb_buffer = data.data();
  big.ncb_length = 513;
  EXPECT_EQ(Netbios(&big), NRC_BUFLEN);
  big.ncb_length = 1;
  big.ncb_num = 77;
  EXPECT_EQ(Netbios(&big), NRC_ILLNN);
}

// A node on the LAN that answers as a print server does: found by a datagram to the group name,
// called by its 16-byte name, one request and reply per session.
TEST_F(NetbiosTest, ABoxNodeIsFoundByDatagramAndServesASession) {
  namespace nb = platform::netbios;
  nb::PeerOptions opt = NodeOptions("127.0.0.5");
  // The box's name: its default name padded with 0x02, then 0x01.
  std::memset(opt.name.data(), 0x02, 15);
  std::memcpy(opt.name.data(), "PS123456", 8);
  opt.name[15] = 0x01;
  nb::wire::Name group{};
  std::memcpy(group.data(), "WSPS_PSRV_KVX", 13);
  opt.groups.push_back(group);
  std::vector<std::thread> servers;
  nb::PeerNode box(
      opt,
      [](nb::PeerNode& node, const nb::wire::Datagram& d) {
        std::vector<std::uint8_t> reply(5 + 164, 0);
        std::memcpy(reply.data() + 5 + 56, "PS123456", 8);
        std::memcpy(reply.data() + 5 + 76, "Front desk", 10);
        if (d.data.size() == 10 && std::memcmp(d.data.data() + 4, "9007:\n", 6) == 0)
          node.SendDatagram(d.source, d.sourceIp, d.sourcePort, reply);
      },
      [&servers](int fd, const nb::wire::Name&) {
        servers.emplace_back([fd] {
          std::vector<std::uint8_t> request;
          if (nb::PeerNode::ReceiveSessionMessage(fd, request, 10000) == 1) {
            const std::uint8_t head[5] = {0, 0, 0, 4, 0};  // last chunk, no error, 4 bytes
            nb::PeerNode::SendSessionMessage(fd, head, 5);
            nb::PeerNode::SendSessionMessage(fd, reinterpret_cast<const std::uint8_t*>("OK\r\n"), 4);
          }
          std::vector<std::uint8_t> end;
          nb::PeerNode::ReceiveSessionMessage(fd, end, 10000);  // until the caller hangs up
          close(fd);
        });
      });
  ASSERT_TRUE(box.Start());

  // The program's own name as the suite forms it: computer name, 0x80 + n, blanks, NUL.
  NCB add = Block(NCBADDNAME);
  std::memset(add.ncb_name, ' ', 15);
  std::memcpy(add.ncb_name, "PC", 2);
  add.ncb_name[2] = 0x80;
  add.ncb_name[15] = 0;
  ASSERT_EQ(Netbios(&add), NRC_GOODRET);
  NCB taken = Block(NCBADDNAME);
  std::memcpy(taken.ncb_name, opt.name.data(), 16);
  EXPECT_EQ(Netbios(&taken), NRC_DUPNAME);  // the box defends its name

  unsigned char answer[200];
  NbEvent answered;
  NCB recv = Block(NCBDGRECV | ASYNCH);
  recv.ncb_num = add.ncb_num;
  recv.ncb_buffer = answer;
  recv.ncb_length = sizeof answer;
  recv.ncb_event = &answered;
  ASSERT_EQ(Netbios(&recv), NRC_GOODRET);
  unsigned char query[10] = {'@', 0, 6, 0, '9', '0', '0', '7', ':', '\n'};
  NCB dg = Block(NCBDGSEND);
  dg.ncb_num = add.ncb_num;
  std::memcpy(dg.ncb_callname, group.data(), 16);
  dg.ncb_buffer = query;
  dg.ncb_length = sizeof query;
  ASSERT_EQ(Netbios(&dg), NRC_GOODRET);
  ASSERT_TRUE(answered.Wait(30000));
  ASSERT_EQ(recv.ncb_retcode, NRC_GOODRET);
  EXPECT_EQ(recv.ncb_length, 169);
  EXPECT_EQ(std::memcmp(answer + 61, "PS123456", 8), 0);
  EXPECT_EQ(std::memcmp(recv.ncb_callname, opt.name.data(), 16), 0);

  NCB call = Block(NCBCALL);
  std::memcpy(call.ncb_name, add.ncb_name, 16);
  std::memcpy(call.ncb_callname, opt.name.data(), 16);
  call.ncb_rto = call.ncb_sto = 20;
  ASSERT_EQ(Netbios(&call), NRC_GOODRET);
  unsigned char chunk[10] = {'@', 0, 6, 0, '9', '0', '0', '7', ':', '\n'};
  NCB send = Block(NCBSEND);
  send.ncb_lsn = call.ncb_lsn;
  send.ncb_buffer = chunk;
  send.ncb_length = sizeof chunk;
  ASSERT_EQ(Netbios(&send), NRC_GOODRET);
  std::string head, data;
  EXPECT_EQ(Receive(call.ncb_lsn, head, 3072), NRC_GOODRET);
  EXPECT_EQ(head.size(), 5u);
  EXPECT_EQ(Receive(call.ncb_lsn, data, 3072), NRC_GOODRET);
  EXPECT_EQ(data, "OK\r\n");
  EXPECT_EQ(Hangup(call.ncb_lsn), NRC_GOODRET);
  box.Stop();
  for (auto& t : servers) t.join();
}

}  // namespace

// Calls to print-server-like nodes answering to "CACHEDBOX", their names remembered for 60 s.
class CacheTest : public NetbiosTest {
 protected:
  void SetUp() override {
    nbtest::WriteConfig(root_.path(), ports_, {"127.0.0.1"}, {{"RemoteCacheTimeoutMs", "60000"}});
    ASSERT_EQ(AddName("CALLER"), NRC_GOODRET);
  }

  std::unique_ptr<platform::netbios::PeerNode> StartBox(const char* address) {
    return NetbiosTest::StartBox(address, "CACHEDBOX");
  }

  // Calls the box and hangs up at once: the call's return code.
  UCHAR CallBox() {
    UCHAR rc = 0;
    UCHAR lsn = Call("CALLER", "CACHEDBOX", &rc, 20, 20);
    if (lsn != 0) Hangup(lsn);
    return rc;
  }
};

TEST_F(CacheTest, ACallToAResolvedNameSkipsTheQuery) {
  auto box = StartBox("127.0.0.5");
  ASSERT_NE(box, nullptr);
  ASSERT_EQ(CallBox(), NRC_GOODRET);
  ASSERT_EQ(CallBox(), NRC_GOODRET);
  ASSERT_EQ(CallBox(), NRC_GOODRET);
  EXPECT_EQ(box->QueriesAnswered(), 1u);
}

TEST_F(CacheTest, AFailedCallDropsTheEntryAndFindsAMovedBox) {
  auto box = StartBox("127.0.0.5");
  ASSERT_NE(box, nullptr);
  ASSERT_EQ(CallBox(), NRC_GOODRET);
  box->Stop();
  // The box comes back at another address: the call to the old one fails, the name is asked anew.
  auto moved = StartBox("127.0.0.6");
  ASSERT_NE(moved, nullptr);
  ASSERT_EQ(CallBox(), NRC_GOODRET);
  EXPECT_EQ(moved->QueriesAnswered(), 1u);
  ASSERT_EQ(CallBox(), NRC_GOODRET);  // and it is remembered at its new address
  EXPECT_EQ(moved->QueriesAnswered(), 1u);
}

TEST_F(CacheTest, ASwitchedOffBoxIsQueriedOnEveryAttempt) {
  auto box = StartBox("127.0.0.5");
  ASSERT_NE(box, nullptr);
  ASSERT_EQ(CallBox(), NRC_GOODRET);
  box->Stop();
  platform::FakeClock clock;
  platform::ScopedClock scoped(&clock);
  // Every attempt waits out the queries (2 x 300 ms here): none reuses the dead entry.
  for (int attempt = 0; attempt < 3; ++attempt) {
    const std::int64_t before = clock.WaitedMs();
    EXPECT_EQ(CallBox(), NRC_NOCALL);
    EXPECT_GE(clock.WaitedMs() - before, 600) << "attempt " << attempt;
  }
}

TEST_F(CacheTest, AnEntryExpiresAfterItsLifetime) {
  auto box = StartBox("127.0.0.5");
  ASSERT_NE(box, nullptr);
  platform::FakeClock clock;
  platform::ScopedClock scoped(&clock);
  ASSERT_EQ(CallBox(), NRC_GOODRET);
  clock.Advance(59999);
  ASSERT_EQ(CallBox(), NRC_GOODRET);
  EXPECT_EQ(box->QueriesAnswered(), 1u);
  clock.Advance(1);
  ASSERT_EQ(CallBox(), NRC_GOODRET);
  EXPECT_EQ(box->QueriesAnswered(), 2u);
}

TEST_F(NetbiosTest, ACacheLifetimeOfZeroQueriesOnEveryCall) {
  nbtest::WriteConfig(root_.path(), ports_, {"127.0.0.1"}, {{"RemoteCacheTimeoutMs", "0"}});
  auto box = StartBox("127.0.0.5", "UNCACHED");
  ASSERT_NE(box, nullptr);
  ASSERT_EQ(AddName("CALLER"), NRC_GOODRET);
  for (int i = 0; i < 2; ++i) {
    UCHAR rc = 0;
    UCHAR lsn = Call("CALLER", "UNCACHED", &rc);
    ASSERT_EQ(rc, NRC_GOODRET);
    Hangup(lsn);
  }
  EXPECT_EQ(box->QueriesAnswered(), 2u);
}

// Two receives wait on one session, the second one's event waited for by a thread of its own.
// Whoever takes the first message may read the second one along with it: the waiter of the
// second receive must still be served, whether or not it saw its message on the socket.
TEST_F(NetbiosTest, AWaiterOfALaterReceiveIsServedWhenAnEarlierOneReadsItsMessage) {
  Pair pair;
  ASSERT_NO_FATAL_FAILURE(Connect(&pair));
  const UCHAR caller = pair.caller, listener = pair.listener;
  struct Posted {
    static void Note(NCB*) {}
  };
  for (int round = 0; round < 100; ++round) {
    unsigned char first[64], second[64];
    NbEvent e1, e2;
    NCB r1 = AsyncReceive(listener, first, sizeof first, &e1);
    r1.ncb_post = &Posted::Note;  // a thread of its own at once
    NCB r2 = r1;
    r2.ncb_buffer = second;
    r2.ncb_event = &e2;
    r2.ncb_post = nullptr;
    ASSERT_EQ(Netbios(&r1), NRC_GOODRET);
    ASSERT_EQ(Netbios(&r2), NRC_GOODRET);
    std::atomic<bool> waiting{false};
    bool served = false;
    std::thread waiter([&] {
      waiting = true;
      served = e2.Wait(10000);
    });
    while (!waiting) std::this_thread::yield();
    ASSERT_EQ(Send(caller, "one"), NRC_GOODRET);
    ASSERT_EQ(Send(caller, "two"), NRC_GOODRET);
    waiter.join();
    EXPECT_TRUE(served) << "round " << round;
    ASSERT_TRUE(e1.Wait(30000));
    ASSERT_TRUE(e2.Wait(30000));
    EXPECT_EQ(std::string(reinterpret_cast<char*>(first), r1.ncb_length), "one");
    EXPECT_EQ(std::string(reinterpret_cast<char*>(second), r2.ncb_length), "two");
    if (!served) break;
  }
  EXPECT_EQ(Hangup(caller), NRC_GOODRET);
}

// The thread that waits for a receive's event and carries the receive out keeps the session's
// receive time-out: the receive ends with NRC_CMDTMO when it passes, however long the wait.
TEST_F(NetbiosTest, AReceiveCarriedOutByItsWaiterEndsAtTheReceiveTimeOut) {
  Pair pair;
  ASSERT_NO_FATAL_FAILURE(Connect(&pair, "*", 4));  // receives wait 4 x 500 ms
  const UCHAR caller = pair.caller, listener = pair.listener;
  platform::FakeClock clock;
  platform::ScopedClock scoped(&clock);
  unsigned char buf[64];
  NbEvent done;
  NCB r = AsyncReceive(caller, buf, sizeof buf, &done);
  ASSERT_EQ(Netbios(&r), NRC_GOODRET);
  const std::int64_t before = clock.WaitedMs();
  ASSERT_TRUE(done.Wait(600000));
  EXPECT_EQ(r.ncb_retcode, NRC_CMDTMO);
  EXPECT_GE(clock.WaitedMs() - before, 2000);
  EXPECT_LT(clock.WaitedMs() - before, 600000);
  // A waiter that gives up before the time-out leaves the rest of it, not a new one, to the
  // receive's thread.
  r.ncb_length = sizeof buf;
  ASSERT_EQ(Netbios(&r), NRC_GOODRET);
  const std::int64_t again = clock.WaitedMs();
  EXPECT_FALSE(done.Wait(1500));
  ASSERT_TRUE(done.Wait(600000));
  EXPECT_EQ(r.ncb_retcode, NRC_CMDTMO);
  EXPECT_LT(clock.WaitedMs() - again, 3500);
  // The session goes on.
  ASSERT_EQ(Send(listener, "later"), NRC_GOODRET);
  r.ncb_length = sizeof buf;
  ASSERT_EQ(Netbios(&r), NRC_GOODRET);
  ASSERT_TRUE(done.Wait(600000));
  EXPECT_EQ(r.ncb_retcode, NRC_GOODRET);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(buf), r.ncb_length), "later");
  EXPECT_EQ(Hangup(caller), NRC_GOODRET);
}

// A server keeps 8 LISTENs posted and posts one again as each of its sessions ends; a client in
// another program calls it 500 times back to back (call, hang-up). The client's sessions end
// faster than the server can see them end and listen again, but no call may be refused for that:
// it waits for the server's next LISTEN.
TEST_F(NetbiosTest, BackToBackCallsAlwaysFindOneOfEightListens) {
  constexpr int kCalls = 500;
  constexpr int kListens = 8;
  Pipe go, result;
  pid_t client = Child([this, &go, &result] {
    if (go.Get() != 'g') return 9;
    if (AddName("CALLER") != NRC_GOODRET) return 8;
    int failed = 0, noCall = 0;
    for (int i = 0; i < kCalls; ++i) {
      UCHAR rc = 0;
      const UCHAR lsn = Call("CALLER", "SERVER", &rc);
      if (rc != NRC_GOODRET) {
        ++failed;
        if (rc == NRC_NOCALL) ++noCall;
        continue;
      }
      if (Hangup(lsn) != NRC_GOODRET) ++failed;
    }
    result.Put(static_cast<char>(std::min(failed, 120)));
    result.Put(static_cast<char>(std::min(noCall, 120)));
    return 0;
  });
  ASSERT_EQ(AddName("SERVER"), NRC_GOODRET);
  std::atomic<bool> stopping{false};
  std::atomic<int> listenErrors{0};
  std::mutex mu;
  std::condition_variable ended;
  int sessions = 0;
  struct Slot {
    NCB listen{};
    NbEvent done;
  };
  std::vector<std::unique_ptr<Slot>> slots;
  for (int i = 0; i < kListens; ++i) slots.push_back(std::make_unique<Slot>());
  auto post = [](Slot& s) {
    s.listen = Block(NCBLISTEN | ASYNCH);
    PutName(s.listen.ncb_name, "SERVER");
    PutName(s.listen.ncb_callname, "*");
    s.listen.ncb_event = &s.done;
    return Netbios(&s.listen);
  };
  for (auto& s : slots) ASSERT_EQ(post(*s), NRC_GOODRET);
  // One thread per posted LISTEN: serve its session to the end, then listen again.
  std::vector<std::thread> servers;
  for (auto& slot : slots) {
    servers.emplace_back([&, s = slot.get()] {
      for (;;) {
        if (!s->done.Wait(-1) || stopping) return;
        if (s->listen.ncb_retcode != NRC_GOODRET) {
          ++listenErrors;
          return;
        }
        const UCHAR lsn = s->listen.ncb_lsn;
        std::string got;
        while (Receive(lsn, got, 64) == NRC_GOODRET) {
        }
        Hangup(lsn);
        const UCHAR rc = post(*s);
        if (rc != NRC_GOODRET) ++listenErrors;
        {
          std::lock_guard<std::mutex> lk(mu);
          ++sessions;
        }
        ended.notify_all();
        if (rc != NRC_GOODRET) return;
      }
    });
  }
  go.Put('g');
  const int failed = static_cast<unsigned char>(result.Get());
  const int noCall = static_cast<unsigned char>(result.Get());
  EXPECT_EQ(Join(client), 0);
  {
    // Every session the client made ends on the server too, and its LISTEN is posted again.
    std::unique_lock<std::mutex> lk(mu);
    ended.wait_for(lk, std::chrono::seconds(30), [&] { return sessions >= kCalls - failed; });
  }
  stopping = true;
  for (auto& s : slots) {
    NCB cancel = Block(NCBCANCEL);
    cancel.ncb_buffer = reinterpret_cast<unsigned char*>(&s->listen);
    cancel.ncb_length = 64;
    Netbios(&cancel);
    s->done.Set();
  }
  for (auto& t : servers) t.join();
  EXPECT_EQ(failed, 0) << noCall << " of the failed calls ended with NRC_NOCALL";
  EXPECT_EQ(listenErrors.load(), 0);
  EXPECT_EQ(sessions, kCalls - failed);
}

// A call that waits for the next LISTEN of a listening program is refused when none comes.
TEST_F(NetbiosTest, ACallWaitingForAListenIsRefusedWhenNoneComes) {
  Pair pair;
  ASSERT_NO_FATAL_FAILURE(Connect(&pair));
  EXPECT_EQ(Hangup(pair.caller), NRC_GOODRET);
  EXPECT_EQ(Hangup(pair.listener), NRC_GOODRET);
  UCHAR rc = 0;
  Call("ASKER", "ECHO", &rc);
  EXPECT_EQ(rc, NRC_NOCALL);
}

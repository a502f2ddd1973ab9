// The machine's NetBIOS service (psa_nbd --machine): one name table for the programs of every user,
// which keeps each program to what is its own or its user's. The other user is `nobody`, through
// setpriv; the tests need root and say so when they skip.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/netbios/netbios.h"
#include "platform/netbios/tests/machine_env.h"
#include "platform/netbios/tests/nb_test_env.h"
#include "platform/paths.h"
#include "platform/test_support/temp_root.h"
#include "platform/test_support/watched_program.h"

namespace {

using platform::testing::WatchedProgram;

class MachineService : public ::testing::Test {
 protected:
  void SetUp() override {
    if (geteuid() != 0) GTEST_SKIP() << "needs root: the machine's service and a second user";
    nbtest::WriteConfig(root_.path(), ports_, {"127.0.0.1"});
  }

  platform::testing::TempRoot root_;
  nbtest::Ports ports_;
  nbtest::MachineFolder machine_;
};

TEST_F(MachineService, UsersShareItButNotWhatIsEachOthers) {
  auto service = machine_.StartService();
  ASSERT_TRUE(machine_.WaitForSocket(*service)) << service->Error();
  struct stat st {};
  ASSERT_EQ(stat((machine_.path() + "/nbd.sock").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0666u);  // every local user reaches it; credentials tell them apart
  EXPECT_EQ(st.st_uid, 0u);

  // The other user's program has its own root with no NetBIOS settings at all: it works on the
  // service's LANA and ports.
  nbtest::OtherUser nobody;
  auto user = nobody.Run({"add:NOBODYPROG", "keep:NOBODYPROG", "add:NOBODYDG", "dgrecv:NOBODYDG", "hold"},
                                   machine_.path());
  ASSERT_TRUE(user->WaitForOutput([](const std::string& out, const std::string&) {
    return out.find("add NOBODYDG") != std::string::npos;
  }, 30000)) << user->Output() << user->Error();
  EXPECT_NE(user->Output().find("add NOBODYPROG 0\nkeep NOBODYPROG 0\nadd NOBODYDG 0\n"), std::string::npos) << user->Output();

  // This program (root, another user) can neither take nor drop the other user's names.
  EXPECT_EQ(nbtest::AddName("NOBODYPROG"), NRC_DUPNAME);
  NCB del = nbtest::Block(NCBDELNAME);
  nbtest::PutName(del.ncb_name, "NOBODYPROG");
  EXPECT_EQ(Netbios(&del), NRC_NOWILD);
  // Nor listen for calls to them.
  NCB listen = nbtest::Block(NCBLISTEN);
  nbtest::PutName(listen.ncb_name, "NOBODYPROG");
  nbtest::PutName(listen.ncb_callname, "*");
  EXPECT_NE(Netbios(&listen), NRC_GOODRET);

  // A datagram to the other user's name reaches that program, and never this one's receive for
  // any of its own names; the next, to its own name, does.
  UCHAR mine = 0;
  ASSERT_EQ(nbtest::AddName("ROOTPROG", &mine), NRC_GOODRET);
  char buf[100] = {};
  NbEvent got;
  NCB recv = nbtest::Block(NCBDGRECV | ASYNCH);
  recv.ncb_num = 0xFF;
  recv.ncb_buffer = reinterpret_cast<UCHAR*>(buf);
  recv.ncb_length = sizeof buf;
  recv.ncb_event = &got;
  ASSERT_EQ(Netbios(&recv), NRC_GOODRET);
  for (const auto& [to, text] : {std::pair<const char*, std::string>{"NOBODYDG", "theirs"}, {"ROOTPROG", "ours"}}) {
    NCB send = nbtest::Block(NCBDGSEND);
    send.ncb_num = mine;
    nbtest::PutName(send.ncb_callname, to);
    send.ncb_buffer = reinterpret_cast<UCHAR*>(const_cast<char*>(text.data()));
    send.ncb_length = static_cast<WORD>(text.size());
    ASSERT_EQ(Netbios(&send), NRC_GOODRET);
    if (std::string(to) == "NOBODYDG") {
      ASSERT_TRUE(user->WaitForOutput([](const std::string& out, const std::string&) {
        return out.find("dgrecv NOBODYDG") != std::string::npos;
      }, 30000)) << user->Output();
      EXPECT_NE(user->Output().find("got theirs\n"), std::string::npos) << user->Output();
    }
  }
  ASSERT_TRUE(got.Wait(10000));
  EXPECT_EQ(std::string(buf, recv.ncb_length), "ours");

  // The other user's program ends; its kept name stays that user's: root does not take it over.
  user->CloseInput();
  ASSERT_EQ(user->WaitForExit(), 0) << user->Error();
  EXPECT_EQ(nbtest::AddName("NOBODYPROG"), NRC_DUPNAME);
}

// While the machine's folder is there, a user's program never starts a service of its own on the
// machine's ports: it says which service it lacks and how that is started, once. So it is before
// any service ran, and when an administrator stops the service while the program runs.
TEST_F(MachineService, AUserProgramDoesNotStartOneOfItsOwn) {
  const std::string told = "The NetBIOS service of this computer (psa_nbd --machine, socket " + machine_.path() +
                           "/nbd.sock) does not answer, so print servers cannot be reached over NetBIOS. An "
                           "administrator starts it with \"systemctl start psadmin-nbd\" (or runs psa_nbd --machine "
                           "as root).";
  for (const bool stoppedMeanwhile : {false, true}) {
    SCOPED_TRACE(stoppedMeanwhile ? "the service stopped while the program runs" : "no service ran yet");
    nbtest::OtherUser nobody;
    std::unique_ptr<WatchedProgram> service;
    std::unique_ptr<WatchedProgram> user;
    std::string before;
    if (stoppedMeanwhile) {
      service = machine_.StartService();
      ASSERT_TRUE(machine_.WaitForSocket(*service)) << service->Error();
      user = nobody.Run({"add:NOBODYONE", "hold", "add:NOBODYPROG", "problem", "add:NOBODYPROG", "problem"},
                        machine_.path());
      ASSERT_TRUE(nbtest::OtherUser::WaitUntilHolding(*user)) << user->Output() << user->Error();
      before = "add NOBODYONE 0\nholding\n";
      service->Terminate();
      platform::testing::StopMachineNetbios(machine_.path());
      user->CloseInput();
    } else {
      user = nobody.Run({"add:NOBODYPROG", "problem", "add:NOBODYPROG", "problem"}, machine_.path());
    }
    ASSERT_EQ(user->WaitForExit(), 0) << user->Error();
    // NRC_SYSTEM; what the program shows its user comes once.
    EXPECT_EQ(user->Output(), before + "add NOBODYPROG 64\nproblem " + told + "\nadd NOBODYPROG 64\nproblem \n");
    EXPECT_NE(user->Error().find("psadmin: " + told + " Programs do not start a NetBIOS service of their own while " +
                                 machine_.path() + " is there."),
              std::string::npos)
        << user->Error();
    EXPECT_FALSE(std::filesystem::exists(nobody.root() + "/netbios/nbd.sock"));
    EXPECT_FALSE(std::filesystem::exists(nobody.root() + "/netbios/nbd.pid"));
  }
}

// A machine folder that another user could have made is nobody's machine service: programs keep
// to a service of their own root, and the service itself does not start there.
TEST_F(MachineService, AFolderAnotherUserCouldChangeIsNotUsed) {
  struct Case {
    const char* what;
    uid_t owner;
    mode_t mode;
  };
  for (const Case& c : {Case{"another user's", 65534, 0755}, Case{"writable by all", 0, 0777}}) {
    SCOPED_TRACE(c.what);
    ASSERT_EQ(chown(machine_.path().c_str(), c.owner, c.owner), 0);
    ASSERT_EQ(chmod(machine_.path().c_str(), c.mode), 0);
    auto refused = machine_.StartService();
    EXPECT_EQ(refused->WaitForExit(), 1);
    EXPECT_NE(refused->Error().find("the machine's NetBIOS service does not use it"), std::string::npos)
        << refused->Error();
    EXPECT_FALSE(std::filesystem::exists(machine_.path() + "/nbd.sock"));
  }
  // The last folder stays: this program uses its own root's service.
  platform::testing::TempRoot own;
  nbtest::WriteConfig(own.path(), ports_, {"127.0.0.1"});
  setenv("PSADMIN_NBD_MACHINE", machine_.path().c_str(), 1);
  EXPECT_EQ(nbtest::AddName("ROOTPROG"), NRC_GOODRET);
  EXPECT_TRUE(std::filesystem::exists(own.path() + "/netbios/nbd.sock"));
  EXPECT_FALSE(std::filesystem::exists(machine_.path() + "/nbd.sock"));
  NCB reset = nbtest::Block(NCBRESET);
  Netbios(&reset);
}

}  // namespace

// Bindery operations against the in-memory NetWare.
#include <gtest/gtest.h>

#include "wizard_netware/nw_bindery.h"
#include "wizard_netware/nw_codes.h"
#include "wizard_netware/nw_errors.h"
#include "wizard_netware/tests/netware_fixture.h"

namespace netware::testing {
namespace {

class BinderyTest : public NetWareTest {
 protected:
  BinderyTest() {
    nw.AddFileServer("FS1", '3', "4.11 NetWare");
    nw.AddFileServer("FS2", '3', "3.12");
    nw.AddFileServer("OLDBOX", '2', "2.2");
    nw.AddBinderyObject("FS1", kUser, "ALICE");
    nw.AddBinderyObject("FS1", kUser, "BOB");
    nw.AddBinderyObject("FS1", kGroup, "STAFF");
  }

  // A print server with two printers and their queues, made by the set-up sequence.
  void SetUpPrintServer() {
    std::string fs = "FS1";
    ASSERT_EQ(NwBindSetupPrintServer(fs, "PS1", {"PS1_P1", "PS1_P2"}, {"Q1", "Q2"}), 0);
  }
};

TEST_F(BinderyTest, FileServerListKeepsTheServersOfTypeThree) {
  NwNameList list = {"stale"};
  EXPECT_EQ(NwBindListFileServers(list), 0);
  EXPECT_EQ(list, (NwNameList{"FS1", "FS2"}));
}

TEST_F(BinderyTest, SetupCreatesNumberedPrintersWithTheirQueues) {
  std::string fs = "fs1";
  ASSERT_EQ(NwBindSetupPrintServer(fs, "PS1", {"PS1_P1", "PS1_P2"}, {"Q1", "Q2"}), 0);
  EXPECT_EQ(fs, "FS1");  // the file server is upper-cased in place

  ASSERT_NE(nw.FindBindery("FS1", kPrintServer, "PS1"), nullptr);
  NwNameList printers;
  NwByteArray numbers;
  ASSERT_EQ(NwBindListPrinters(fs, "PS1", printers, numbers), 0);
  EXPECT_EQ(printers, (NwNameList{"PS1_P1", "PS1_P2"}));
  EXPECT_EQ(numbers, (NwByteArray{0, 1}));

  NwNameList queues;
  NwByteArray priorities;
  ASSERT_EQ(NwBindListPrinterQueues(fs, "PS1", "PS1_P2", priorities, queues), 0);
  EXPECT_EQ(queues, NwNameList{"Q2"});
  EXPECT_EQ(priorities, NwByteArray{1});

  // Running it again replaces what the first run made.
  ASSERT_EQ(NwBindSetupPrintServer(fs, "PS1", {"PS1_P1"}, {"Q1"}), 0);
  EXPECT_EQ(nw.CountObjects("FS1", kPrinter), 1u);
  EXPECT_EQ(nw.CountObjects("FS1", kPrintServer), 1u);
}

TEST_F(BinderyTest, SetupRefusesEmptyOrUnevenListsWithoutTouchingTheServer) {
  std::string fs = "FS1";
  EXPECT_EQ(NwBindSetupPrintServer(fs, "PS1", {"P1"}, {}), kNwEmptyNameList);
  EXPECT_EQ(NwBindSetupPrintServer(fs, "PS1", {}, {"Q1"}), kNwEmptyNameList);
  EXPECT_EQ(NwBindSetupPrintServer(fs, "PS1", {"P1", "P2"}, {"Q1"}), kNwEmptyNameList);
  EXPECT_EQ(nw.TotalCalls(), 0);
  EXPECT_EQ(NwErrorName(kNwEmptyNameList), "NWE_PARAMETERS_INVALID");
}

TEST_F(BinderyTest, SetupStopsAtTheFirstFailingCreate) {
  nw.FailNext("PsCreateQueue", kAccessDenied);
  std::string fs = "FS1";
  EXPECT_EQ(NwBindSetupPrintServer(fs, "PS1", {"P1", "P2"}, {"Q1", "Q2"}), kAccessDenied);
  EXPECT_NE(nw.FindBindery("FS1", kPrinter, "P1", "PS1"), nullptr);  // made before the failure
  EXPECT_EQ(nw.FindBindery("FS1", kPrinter, "P2", "PS1"), nullptr);
}

TEST_F(BinderyTest, FindsIgnoreCaseAndReportNotFound) {
  SetUpPrintServer();
  std::string fs = "FS1";
  EXPECT_EQ(NwBindFindPrintServer(fs, "ps1"), 0);
  EXPECT_EQ(NwBindFindQueue(fs, "q2"), 0);
  EXPECT_EQ(NwBindFindPrintServer(fs, "PS9"), kNwNotFound);
  EXPECT_EQ(NwBindFindQueue(fs, "Q9"), kNwNotFound);
  EXPECT_EQ(NwErrorName(kNwNotFound), "DSERR_NO_SUCH_OBJECT");
  std::string unknown = "NOSUCH";
  EXPECT_EQ(NwBindFindQueue(unknown, "Q1"), kServerNotFound);
}

TEST_F(BinderyTest, QueueIdOfAQueueAndOfNone) {
  SetUpPrintServer();
  std::string fs = "FS1";
  std::string id = "untouched";
  EXPECT_EQ(NwBindGetQueueId(fs, "nosuch", id), kBindNoSuchObject);
  EXPECT_EQ(id, "untouched");
  ASSERT_EQ(NwBindGetQueueId(fs, "q1", id), 0);
  char expected[24];
  std::snprintf(expected, sizeof expected, "0X%-4lx",
                static_cast<unsigned long>(nw.FindBindery("FS1", kQueue, "Q1")->id));
  EXPECT_EQ(id, expected);
}

TEST_F(BinderyTest, AnExistingConnectionIsUsed) {
  std::string fs = "FS1";
  ASSERT_EQ(NwBindAttach(fs), 0);
  ASSERT_EQ(NwBindCreatePrintServer(fs, "PS1"), 0);  // the attach answers 0x8800 now
  EXPECT_EQ(nw.Calls("AttachToFileServer"), 2);
  EXPECT_NE(nw.FindBindery("FS1", kPrintServer, "PS1"), nullptr);
}

TEST_F(BinderyTest, AccessDeniedIsPassedOn) {
  nw.DenyWrites("FS1");
  std::string fs = "FS1";
  EXPECT_EQ(NwBindCreatePrintServer(fs, "PS1"), kAccessDenied);
  EXPECT_EQ(NwErrorName(kAccessDenied), "NWE_ACCESS_DENIED");
  std::string member = "alice";
  EXPECT_EQ(NwBindAddPrintServerUser(fs, "PS1", member), kBindNoSuchObject);
}

TEST_F(BinderyTest, PrintServerAndQueueMembers) {
  SetUpPrintServer();
  std::string fs = "FS1";
  std::string alice = "alice";
  std::string staff = "staff";
  std::string bob = "Bob";
  ASSERT_EQ(NwBindAddPrintServerUser(fs, "PS1", alice), 0);
  EXPECT_EQ(alice, "ALICE");  // member names are upper-cased in place
  ASSERT_EQ(NwBindAddPrintServerGroup(fs, "PS1", staff), 0);
  ASSERT_EQ(NwBindAddPrintServerOperator(fs, "PS1", bob), 0);
  EXPECT_EQ(NwBindAddPrintServerUser(fs, "PS1", alice), kBindMemberExists);

  NwNameList list;
  ASSERT_EQ(NwBindListPrintServerUsers(fs, "PS1", list), 0);
  EXPECT_EQ(list, NwNameList{"ALICE"});
  ASSERT_EQ(NwBindListPrintServerGroups(fs, "PS1", list), 0);
  EXPECT_EQ(list, NwNameList{"STAFF"});
  ASSERT_EQ(NwBindListPrintServerOperators(fs, "PS1", list), 0);
  EXPECT_EQ(list, NwNameList{"BOB"});
  ASSERT_EQ(NwBindListPrintServerOperatorGroups(fs, "PS1", list), 0);
  EXPECT_TRUE(list.empty());

  ASSERT_EQ(NwBindRemovePrintServerUser(fs, "PS1", alice), 0);
  EXPECT_EQ(NwBindRemovePrintServerUser(fs, "PS1", alice), kBindNoSuchMember);

  std::string carol = "carol";
  ASSERT_EQ(NwBindAddQueueOperatorGroup(fs, "Q1", staff), 0);
  ASSERT_EQ(NwBindAddQueueUser(fs, "Q1", carol), 0);
  ASSERT_EQ(NwBindListQueueOperatorGroups(fs, "Q1", list), 0);
  EXPECT_EQ(list, NwNameList{"STAFF"});
  ASSERT_EQ(NwBindListQueueUsers(fs, "Q1", list), 0);
  EXPECT_EQ(list, NwNameList{"CAROL"});
  ASSERT_EQ(NwBindRemoveQueueUser(fs, "Q1", carol), 0);
  ASSERT_EQ(NwBindListQueueUsers(fs, "Q1", list), 0);
  EXPECT_TRUE(list.empty());
}

TEST_F(BinderyTest, ObjectListsOfAServer) {
  SetUpPrintServer();
  std::string fs = "FS1";
  NwNameList list;
  ASSERT_EQ(NwBindListUsers(fs, list), 0);
  EXPECT_EQ(list, (NwNameList{"ALICE", "BOB"}));
  ASSERT_EQ(NwBindListGroups(fs, list), 0);
  EXPECT_EQ(list, NwNameList{"STAFF"});
  ASSERT_EQ(NwBindListQueues(fs, list), 0);
  EXPECT_EQ(list, (NwNameList{"Q1", "Q2"}));
  ASSERT_EQ(NwBindListPrintServers(fs, list), 0);
  EXPECT_EQ(list, NwNameList{"PS1"});
}

TEST_F(BinderyTest, QueueLinksAndDeletes) {
  SetUpPrintServer();
  std::string fs = "FS1";
  std::string q2 = "q2";
  ASSERT_EQ(NwBindAddQueueToPrinter(fs, "PS1", "PS1_P1", 3, q2), 0);
  EXPECT_EQ(q2, "Q2");
  NwNameList queues;
  NwByteArray priorities;
  ASSERT_EQ(NwBindListPrinterQueues(fs, "PS1", "PS1_P1", priorities, queues), 0);
  EXPECT_EQ(queues, (NwNameList{"Q1", "Q2"}));
  EXPECT_EQ(priorities, (NwByteArray{1, 3}));
  ASSERT_EQ(NwBindRemoveQueueFromPrinter(fs, "PS1", "PS1_P1", 3, q2), 0);
  ASSERT_EQ(NwBindDeleteQueue(fs, "Q1"), 0);
  ASSERT_EQ(NwBindListPrinterQueues(fs, "PS1", "PS1_P1", priorities, queues), 0);
  EXPECT_TRUE(queues.empty());
  EXPECT_TRUE(priorities.empty());
  ASSERT_EQ(NwBindDeletePrinter(fs, "PS1", "PS1_P1", 0), 0);
  EXPECT_EQ(NwBindDeletePrinter(fs, "PS1", "PS1_P1", 0), kBindNoSuchObject);
  ASSERT_EQ(NwBindDeletePrintServer(fs, "PS1"), 0);
  EXPECT_EQ(NwBindFindPrintServer(fs, "PS1"), kNwNotFound);
}

TEST_F(BinderyTest, ServicedFileServers) {
  SetUpPrintServer();
  std::string fs = "FS1";
  ASSERT_EQ(NwBindAddServicedFileServer(fs, "PS1", "FS2"), 0);
  ASSERT_EQ(NwBindAddServicedFileServer(fs, "PS1", "OLDBOX"), 0);
  NwNameList list;
  ASSERT_EQ(NwBindListServicedFileServers(fs, "PS1", list), 0);
  EXPECT_EQ(list, (NwNameList{"FS2", "OLDBOX"}));  // the server's own name is left out

  std::string served = "fs2";
  ASSERT_EQ(NwBindRemoveServicedFileServer(fs, "PS1", served), 0);
  ASSERT_EQ(NwBindListServicedFileServers(fs, "PS1", list), 0);
  EXPECT_EQ(list, NwNameList{"OLDBOX"});
  EXPECT_EQ(nw.Calls("DeleteFile"), 1);

  EXPECT_EQ(NwBindRemoveServicedFileServer(fs, "NOSUCH", served), kBindNoSuchObject);
  nw.AddBinderyObject("FS2", kPrintServer, "ELSEWHERE");
  std::string fs2 = "FS2";
  EXPECT_EQ(NwBindAddServicedFileServer(fs2, "ELSEWHERE", "FS1"), 0);
}

TEST_F(BinderyTest, RemovingAServicedServerOfAPrintServerTheServerDoesNotHold) {
  // The list is read first (its failure is returned); the print server must then be on the server.
  nw.AddBinderyObject("FS1", kPrintServer, "PS1");
  nw.FailNext("ScanBinderyObject", kBindNoSuchObject);
  std::string fs = "FS1";
  std::string served = "FS2";
  EXPECT_EQ(NwBindRemoveServicedFileServer(fs, "PS1", served), kNwPrintServerNotOnServer);
  EXPECT_EQ(nw.Calls("DeleteFile"), 0);
}

TEST_F(BinderyTest, PrintServerPassword) {
  nw.AddBinderyObject("FS1", kPrintServer, "PS1", "old");
  std::string fs = "FS1";
  EXPECT_EQ(NwBindSetPrintServerPassword(fs, "PS1", "wrong", "new"), kPasswordInvalid);
  EXPECT_EQ(NwBindSetPrintServerPassword(fs, "PS1", "old", "new"), 0);
  EXPECT_EQ(nw.FindBindery("FS1", kPrintServer, "PS1")->password, "new");
}

TEST_F(BinderyTest, ServerMajorVersion) {
  const std::pair<const char*, int> cases[] = {
      {"FS1", 4}, {"FS2", 3}, {"OLDBOX", 2}};
  for (const auto& [server, version] : cases) {
    std::string fs = server;
    EXPECT_EQ(NwGetServerMajorVersion(fs), version) << server;
  }
  nw.AddFileServer("NODOT", '3', "NetWare");
  nw.AddFileServer("LEADDOT", '3', ".5");
  for (const char* server : {"NODOT", "LEADDOT"}) {
    std::string fs = server;
    EXPECT_EQ(NwGetServerMajorVersion(fs), kNwNdsNotFound) << server;
  }
}

TEST_F(BinderyTest, PrinterStatusOfAPrintServer) {
  SetUpPrintServer();
  NwPrinterStatusRecord record;
  ASSERT_EQ(NwBindPrinterStatus("", "PS1", 0, &record), 0);
  EXPECT_EQ(record.iValid, 1);
  EXPECT_STREQ(record.szText[0], "PS1");
  EXPECT_STREQ(record.szText[1], "PRINTER 0 READY");
  EXPECT_EQ(record.iStatus[1], 81);
  EXPECT_EQ(NwBindPrinterStatus("", "NOSUCH", 0, &record), 66);
}

TEST_F(BinderyTest, CreatePrinterEntryCreatesAndNumbers) {
  std::string fs = "FS1";
  ASSERT_EQ(NwBindCreatePrintServer(fs, "PS1"), 0);
  ASSERT_EQ(NwBindCreatePrinterEntry(fs, "PS1", "P7", 7), 0);
  NwNameList printers;
  NwByteArray numbers;
  ASSERT_EQ(NwBindListPrinters(fs, "PS1", printers, numbers), 0);
  EXPECT_EQ(printers, NwNameList{"P7"});
  EXPECT_EQ(numbers, NwByteArray{7});
  EXPECT_EQ(nw.FindBindery("FS1", kPrinter, "P7", "PS1")->number, 7);
}

}  // namespace
}  // namespace netware::testing

// NDS operations against the in-memory NetWare: a tree ACME_TREE with the organisation ACME, its
// unit SALES and the unit EAST below that.
#include <gtest/gtest.h>

#include "wizard_netware/nw_codes.h"
#include "wizard_netware/nw_errors.h"
#include "wizard_netware/nw_nds.h"
#include "wizard_netware/tests/netware_fixture.h"

namespace netware::testing {
namespace {

class NdsTest : public NetWareTest {
 protected:
  NdsTest() {
    nw.AddFileServer("FS1");
    nw.AddTree("ACME_TREE_____________");
    nw.AddTree("ACME_TREE__2");  // the same tree advertised a second time
    nw.AddContainer("ACME_TREE", "ACME", kOrganization);
    nw.AddContainer("ACME_TREE", "SALES.ACME", kOrganizationalUnit);
    nw.AddContainer("ACME_TREE", "EAST.SALES.ACME", kOrganizationalUnit);
    nw.AddContainer("ACME_TREE", "ADMIN.ACME", kOrganizationalUnit);
    nw.AddNdsObject("ACME_TREE", "ACME", kVolume, "FS1_SYS");
    nw.AddNdsObject("ACME_TREE", "SALES.ACME", kVolume, "FS1_DATA");
    nw.AddNdsObject("ACME_TREE", "SALES.ACME", kUser, "ALICE");
    nw.AddNdsObject("ACME_TREE", "SALES.ACME", kUser, "BOB");
    nw.AddNdsObject("ACME_TREE", "SALES.ACME", kUser, "CAROL");
    nw.AddNdsObject("ACME_TREE", "EAST.SALES.ACME", kUser, "DAVE");
    nw.AddNdsObject("ACME_TREE", "SALES.ACME", kGroup, "STAFF");
  }

  std::string tree = "acme_tree";
  std::string context = "sales.acme";
};

TEST_F(NdsTest, TreesAreListedOnceWithoutTheirPadding) {
  NwNameList list = {"stale"};
  ASSERT_EQ(NwListTrees(list), 0);
  EXPECT_EQ(list, NwNameList{"ACME_TREE"});
}

TEST_F(NdsTest, CheckTree) {
  EXPECT_EQ(NwNdsCheckTree(tree, ""), 0);
  EXPECT_EQ(tree, "ACME_TREE");
  std::string other = "OTHER";
  EXPECT_EQ(NwNdsCheckTree(other, ""), kNwNdsNotFound);
  nw.SetAuthenticated(false);
  EXPECT_EQ(NwNdsCheckTree(tree, ""), kNwTreeNotAuthenticated);
}

TEST_F(NdsTest, CheckTreeOnAServerOfAnotherType) {
  InMemoryNetWare old;
  old.AddFileServer("OLD", '2');
  old.AddTree("ACME_TREE___");
  ScopedNwClient use(old);
  EXPECT_EQ(NwNdsCheckTree(tree, ""), kNwTreeWrongServerType);
  EXPECT_TRUE(old.violations().empty());
}

TEST_F(NdsTest, SearchesKeepTheObjectsOfTheContextOnly) {
  NwNameList list;
  ASSERT_EQ(NwNdsListUsers(tree, context, list), 0);
  EXPECT_EQ(tree, "ACME_TREE");
  EXPECT_EQ(context, "SALES.ACME");
  EXPECT_EQ(list, (NwNameList{"ALICE", "BOB", "CAROL"}));  // not DAVE of EAST.SALES.ACME
  ASSERT_EQ(NwNdsListGroups(tree, context, list), 0);
  EXPECT_EQ(list, NwNameList{"STAFF"});
  std::string acme = "ACME";
  ASSERT_EQ(NwNdsListVolumes(tree, acme, list), 0);
  EXPECT_EQ(list, NwNameList{"FS1_SYS"});
  EXPECT_GT(nw.Calls("Search"), 3);  // the user search came back in several parts
}

TEST_F(NdsTest, SearchAtTheRootIsRefused) {
  std::string root = "[root]";
  NwNameList list = {"stale"};
  EXPECT_EQ(NwNdsListUsers(tree, root, list), kNwNdsNotFound);
  EXPECT_TRUE(list.empty());
  EXPECT_EQ(NwNdsFindQueue(tree, root, "Q1"), kNwNdsNotFound);
  EXPECT_EQ(nw.TotalCalls(), 0);
}

TEST_F(NdsTest, FindsCompareWithoutCase) {
  ASSERT_EQ(NwNdsCreatePrintServer(tree, context, "PS1"), 0);
  EXPECT_EQ(NwNdsFindPrintServer(tree, context, "ps1"), 0);
  EXPECT_EQ(NwNdsFindPrintServer(tree, context, "PS2"), kNwNotFound);
  EXPECT_EQ(NwNdsFindPrinter(tree, context, "P1"), kNwNotFound);
  std::string unknownContext = "NOWHERE.ACME";
  EXPECT_EQ(NwNdsFindPrintServer(tree, unknownContext, "PS1"), kNdsNoSuchEntry);
}

TEST_F(NdsTest, Containers) {
  std::string root = "[ROOT]";
  NwNameList list;
  ASSERT_EQ(NwNdsListContainers(tree, root, list), 0);
  EXPECT_EQ(list, NwNameList{"ACME"});
  std::string acme = "acme";
  ASSERT_EQ(NwNdsListContainers(tree, acme, list), 0);
  EXPECT_EQ(list, (NwNameList{"SALES", "ADMIN"}));

  std::string wanted = "east.sales.acme";
  EXPECT_EQ(NwNdsFindContext(tree, root, wanted), 0);
  EXPECT_EQ(wanted, "EAST.SALES.ACME");
  std::string missing = "WEST.SALES.ACME";
  EXPECT_EQ(NwNdsFindContext(tree, root, missing), kNwNdsNotFound);
  std::string start = "SALES.ACME";
  EXPECT_EQ(NwNdsFindContext(tree, start, wanted), 0);

  ASSERT_EQ(NwNdsListAllVolumes(tree, root, list), 0);
  EXPECT_EQ(list, (NwNameList{"FS1_SYS.ACME", "FS1_DATA.SALES.ACME"}));
}

TEST_F(NdsTest, RelativeNames) {
  struct Case {
    const char* context;
    const char* container;
    const char* relative;
  };
  const Case cases[] = {
      {"SALES.ACME", "SALES.ACME", ""},
      {"SALES.ACME", "ADMIN.ACME", ".ADMIN."},
      {"SALES.ACME", "EAST.SALES.ACME", ".EAST"},
      {"SALES.ACME", "ACME", "."},
      {"EAST.SALES.ACME", "ACME", ".."},
      {"EAST.SALES.ACME", "ADMIN.ACME", ".ADMIN.."},
      {"ACME", "A.B.ACME", ".A.B"},
      {"X.ONE", "Y.TWO", ".Y.TWO.."},  // climbs to the root: both names leave it
  };
  for (const Case& c : cases) {
    std::string out = "stale";
    NwNdsRelativeName(c.context, c.container, out);
    EXPECT_EQ(out, c.relative) << c.context << " / " << c.container;
  }
}

TEST_F(NdsTest, FindSysVolume) {
  std::string volume = "stale";
  std::string first = "stale";
  ASSERT_EQ(NwNdsFindSysVolume(tree, context, volume, first, "[ROOT]"), 0);
  EXPECT_EQ(volume, "FS1_SYS.");  // in ACME, one level above SALES.ACME
  EXPECT_EQ(first, "FS1_DATA");   // the deeper containers are looked at first
}

TEST_F(NdsTest, SetupMakesOnePrinterAndOneQueue) {
  ASSERT_EQ(NwNdsSetupPrintServer(tree, context, "PS1", {"P1"}, {"Q1"}), 0);
  EXPECT_EQ(nw.CountObjects("ACME_TREE", kPrinter), 1u);
  EXPECT_EQ(nw.CountObjects("ACME_TREE", kQueue), 1u);
  const auto* printer = nw.FindNds("ACME_TREE", "SALES.ACME", kPrinter, "P1");
  ASSERT_NE(printer, nullptr);
  EXPECT_EQ(printer->number, 0);
  ASSERT_EQ(printer->queues.size(), 1u);
  EXPECT_EQ(printer->queues[0].name, "Q1");
  EXPECT_EQ(printer->queues[0].number, 1);  // priority
  EXPECT_EQ(nw.FindNds("ACME_TREE", "SALES.ACME", kQueue, "Q1")->volume, "FS1_SYS.ACME");

  NwNameList list;
  NwByteArray numbers;
  ASSERT_EQ(NwNdsListPrinters(tree, context, "PS1", list, numbers), 0);
  EXPECT_EQ(list, NwNameList{"P1"});
  EXPECT_EQ(numbers, NwByteArray{0});
  ASSERT_EQ(NwNdsListPrinterQueues(tree, context, "P1", numbers, list), 0);
  EXPECT_EQ(list, NwNameList{"Q1"});

  std::string id, server, volume;
  ASSERT_EQ(NwNdsGetQueueIds(tree, context, "Q1", id, server, volume), 0);
  EXPECT_EQ(id.substr(0, 2), "0x");
  EXPECT_EQ(server, "FS1");
  EXPECT_EQ(volume, "FS1_SYS.ACME");
}

TEST_F(NdsTest, SetupRefusesEmptyOrUnevenLists) {
  EXPECT_EQ(NwNdsSetupPrintServer(tree, context, "PS1", {"P1"}, {}), kNwEmptyNameList);
  EXPECT_EQ(NwNdsSetupPrintServer(tree, context, "PS1", {"P1"}, {"Q1", "Q2"}), kNwEmptyNameList);
  EXPECT_EQ(nw.TotalCalls(), 0);
}

TEST_F(NdsTest, AFailedQueueIsRetriedUntilAVolumeTakesIt) {
  nw.FailNext("PsCreateQueue", kNdsNoAccess);
  ASSERT_EQ(NwNdsSetupPrintServer(tree, context, "PS1", {"P1"}, {"Q1"}), 0);
  // The first volume of the tree takes it; the other is not tried.
  EXPECT_EQ(nw.Calls("PsCreateQueue"), 2);
  EXPECT_EQ(nw.FindNds("ACME_TREE", "SALES.ACME", kQueue, "Q1")->volume, "FS1_SYS.ACME");
}

TEST_F(NdsTest, AQueueNoVolumeTakesGivesTheLastCode) {
  for (int i = 0; i < 3; ++i) nw.FailNext("PsCreateQueue", kNdsNoAccess - i);
  EXPECT_EQ(NwNdsSetupPrintServer(tree, context, "PS1", {"P1"}, {"Q1"}), kNdsNoAccess - 2);
  EXPECT_EQ(nw.Calls("PsCreateQueue"), 3);
}

TEST_F(NdsTest, AccessDeniedAndUnknownTree) {
  nw.DenyWrites("ACME_TREE");
  EXPECT_EQ(NwNdsCreatePrintServer(tree, context, "PS1"), kNdsNoAccess);
  EXPECT_EQ(NwErrorName(kNdsNoAccess), "ERR_NO_ACCESS");
  std::string other = "OTHER_TREE";
  NwNameList list;
  EXPECT_EQ(NwNdsListUsers(other, context, list), kPreferredTreeNotFound);
}

TEST_F(NdsTest, MembersOfPrintServersAndQueues) {
  ASSERT_EQ(NwNdsSetupPrintServer(tree, context, "PS1", {"P1"}, {"Q1"}), 0);
  std::string alice = "alice";
  std::string staff = "staff";
  ASSERT_EQ(NwNdsAddPrintServerUser(tree, context, "PS1", alice), 0);
  EXPECT_EQ(alice, "ALICE");
  ASSERT_EQ(NwNdsAddPrintServerOperatorGroup(tree, context, "PS1", staff), 0);
  EXPECT_EQ(NwNdsAddPrintServerUser(tree, context, "PS1", alice), kNdsDuplicateValue);
  NwNameList list;
  ASSERT_EQ(NwNdsListPrintServerUsers(tree, context, "PS1", list), 0);
  EXPECT_EQ(list, NwNameList{"ALICE"});
  ASSERT_EQ(NwNdsListPrintServerOperatorGroups(tree, context, "PS1", list), 0);
  EXPECT_EQ(list, NwNameList{"STAFF"});
  ASSERT_EQ(NwNdsRemovePrintServerUser(tree, context, "PS1", alice), 0);
  EXPECT_EQ(NwNdsRemovePrintServerUser(tree, context, "PS1", alice), kNdsNoSuchValue);

  ASSERT_EQ(NwNdsAddQueueGroup(tree, context, "Q1", staff), 0);
  ASSERT_EQ(NwNdsListQueueGroups(tree, context, "Q1", list), 0);
  EXPECT_EQ(list, NwNameList{"STAFF"});
  ASSERT_EQ(NwNdsListQueueUsers(tree, context, "Q1", list), 0);
  EXPECT_TRUE(list.empty());
}

TEST_F(NdsTest, PrintersAndQueuesAddedAndRemoved) {
  ASSERT_EQ(NwNdsCreatePrintServer(tree, context, "PS1"), 0);
  std::string printer = "P2";
  ASSERT_EQ(NwNdsCreatePrinter(tree, context, "PS1", printer, 4), 0);
  ASSERT_EQ(NwNdsRemovePrinterFromPrintServer(tree, context, "PS1", printer, 4), 0);
  NwNameList list;
  NwByteArray numbers;
  ASSERT_EQ(NwNdsListPrinters(tree, context, "PS1", list, numbers), 0);
  EXPECT_TRUE(list.empty());
  ASSERT_EQ(NwNdsAddPrinterToPrintServer(tree, context, "PS1", printer, 4), 0);
  ASSERT_EQ(NwNdsListPrinters(tree, context, "PS1", list, numbers), 0);
  EXPECT_EQ(numbers, NwByteArray{4});

  std::string queue = "q5";
  ASSERT_EQ(NwNdsCreateQueue(tree, context, printer, "FS1_DATA", 2, queue), 0);
  EXPECT_EQ(queue, "Q5");
  ASSERT_EQ(NwNdsRemoveQueueFromPrinter(tree, context, printer, 2, queue), 0);
  ASSERT_EQ(NwNdsDeleteQueue(tree, context, "Q5"), 0);
  ASSERT_EQ(NwNdsDeletePrinter(tree, context, "P2"), 0);
  ASSERT_EQ(NwNdsListPrinters(tree, context, "PS1", list, numbers), 0);
  EXPECT_TRUE(list.empty());
  ASSERT_EQ(NwNdsDeletePrintServer(tree, context, "PS1"), 0);
  EXPECT_EQ(NwNdsDeletePrintServer(tree, context, "PS1"), kNdsNoSuchEntry);
}

TEST_F(NdsTest, PasswordsAndContextSelection) {
  nw.AddNdsObject("ACME_TREE", "SALES.ACME", kPrintServer, "PS9", "old");
  const std::string upperTree = "ACME_TREE";
  const std::string upperContext = "SALES.ACME";
  EXPECT_EQ(NwNdsSetPassword(upperTree, upperContext, "PS9", "bad", "new"),
            kNdsFailedAuthentication);
  EXPECT_EQ(NwNdsSetPassword(upperTree, upperContext, "PS9", "old", "new"), 0);
  EXPECT_EQ(NwNdsSelectContext(tree, context), 0);
}

}  // namespace
}  // namespace netware::testing

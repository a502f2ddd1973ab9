// The simulation twins on a temporary settings file. An in-memory NetWare is installed too: with the
// switch on, no call may reach it.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "platform/paths.h"
#include "platform/profile.h"
#include "wizard_netware/nw_bindery.h"
#include "wizard_netware/nw_codes.h"
#include "wizard_netware/nw_nds.h"
#include "wizard_netware/nw_simulation.h"
#include "wizard_netware/tests/netware_fixture.h"

namespace netware::testing {
namespace {

std::string SimPath() { return platform::WindowsDirectory() + "/" + kNwSimulationFile; }

class SimulationTest : public NetWareTest {
 protected:
  void SetUp() override { WriteFile("[debug]\nsimulation=1\n"); }
  void TearDown() override {
    EXPECT_EQ(nw.TotalCalls(), 0);
    NetWareTest::TearDown();
  }

  static void WriteFile(const std::string& text) { std::ofstream(SimPath()) << text; }
  static std::string FileText() {
    std::ifstream in(SimPath());
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }
  static std::string Value(const char* section, const char* key) {
    char buf[1024];
    GetPrivateProfileString(section, key, "<none>", buf, sizeof buf, kNwSimulationFile);
    return buf;
  }
  static void Set(const char* section, const char* key, const std::string& value) {
    ASSERT_TRUE(WritePrivateProfileString(section, key, value.c_str(), kNwSimulationFile));
  }
};

TEST_F(SimulationTest, TheSwitchReadsAsTheIntegerOne) {
  const std::pair<const char*, int> cases[] = {
      {"1", 1}, {" 1", 1}, {"1x", 1}, {"0", 0}, {"2", 0}, {"", 0}, {"yes", 0}, {"-1", 0}};
  for (const auto& [text, on] : cases) {
    Set("debug", "simulation", text);
    EXPECT_EQ(IsNwSimulation(), on) << "'" << text << "'";
  }
  WriteFile("");
  EXPECT_EQ(IsNwSimulation(), 0);
}

TEST_F(SimulationTest, CommaLists) {
  NwNameList list = {"stale"};
  SplitCommaList(list, "");
  EXPECT_TRUE(list.empty());
  SplitCommaList(list, "A,,b ,C");
  EXPECT_EQ(list, (NwNameList{"A", "", "b ", "C"}));
  EXPECT_EQ(CommaListContains("A,B", "B"), 1);
  EXPECT_EQ(CommaListContains("A,B", "b"), 0);

  std::string text;
  CommaListAdd(text, "A");
  EXPECT_EQ(text, "A");
  CommaListAdd(text, "B");
  CommaListAdd(text, "A");
  EXPECT_EQ(text, "A,B");
  CommaListRemove(text, "A");
  EXPECT_EQ(text, "B");
  CommaListRemove(text, "B");
  EXPECT_EQ(text, "");
}

TEST_F(SimulationTest, FileServerListAndVersions) {
  Set("fileserver", "total", "FS1,FS2,FS3");
  Set("fileserver", "FS1", "4.0x33");
  Set("fileserver", "FS2", "3.0X33");
  Set("fileserver", "FS3", "4.0x34");
  NwNameList list;
  ASSERT_EQ(NwBindListFileServers(list), 0);
  EXPECT_EQ(list, (NwNameList{"FS1", "FS2"}));
  std::string fs = "FS2";
  EXPECT_EQ(NwGetServerMajorVersion(fs), 3);
  fs = "NONE";
  EXPECT_EQ(NwGetServerMajorVersion(fs), 0);
}

TEST_F(SimulationTest, CreateFindAndDeleteKeepTheTotals) {
  std::string fs = "fs1";
  EXPECT_EQ(NwBindFindPrintServer(fs, "PS1"), kNwNotFound);  // an empty total
  ASSERT_EQ(NwBindCreatePrintServer(fs, "PS1"), 0);
  ASSERT_EQ(NwBindCreatePrintServer(fs, "PS1"), 0);
  EXPECT_EQ(fs, "fs1");  // the twins use names as given
  EXPECT_EQ(Value("printserver", "total"), "PS1");
  EXPECT_EQ(NwBindFindPrintServer(fs, "PS1"), 0);
  EXPECT_EQ(NwBindFindPrintServer(fs, "ps1"), kNwNotFound);  // case matters here
  ASSERT_EQ(NwBindDeletePrintServer(fs, "PS1"), 0);
  EXPECT_EQ(Value("printserver", "total"), "");
}

TEST_F(SimulationTest, BinderySetup) {
  std::string fs = "FS1";
  ASSERT_EQ(NwBindSetupPrintServer(fs, "PS1", {"P1", "P2"}, {"Q1", "Q2"}), 0);
  EXPECT_EQ(Value("printserver", "total"), "PS1");
  EXPECT_EQ(Value("printer", "total"), "P1,P2");
  EXPECT_EQ(Value("PS1", "printer"), "P1,P2");
  EXPECT_EQ(Value("queue", "total"), "Q1,Q2");
  EXPECT_EQ(Value("P2", "queue"), "Q2");

  NwNameList list;
  NwByteArray numbers;
  ASSERT_EQ(NwBindListPrinters(fs, "PS1", list, numbers), 0);
  EXPECT_EQ(list, (NwNameList{"P1", "P2"}));
  EXPECT_EQ(numbers, (NwByteArray{0, 1}));
  ASSERT_EQ(NwBindListPrinterQueues(fs, "PS1", "P1", numbers, list), 0);
  EXPECT_EQ(list, NwNameList{"Q1"});
  EXPECT_EQ(numbers, NwByteArray{0});
}

TEST_F(SimulationTest, SetupWithAnEmptyOrUnevenListWritesNothing) {
  const std::string before = FileText();
  std::string fs = "FS1";
  std::string tree = "T";
  std::string context = "C";
  EXPECT_EQ(NwBindSetupPrintServer(fs, "PS1", {"P1"}, {}), kNwEmptyNameList);
  EXPECT_EQ(NwNdsSetupPrintServer(tree, context, "PS1", {}, {"Q1"}), kNwEmptyNameList);
  EXPECT_EQ(NwNdsSetupPrintServer(tree, context, "PS1", {"P1", "P2"}, {"Q1"}), kNwEmptyNameList);
  EXPECT_EQ(NwBindSetupPrintServer(fs, "PS1", {"P,1"}, {"Q1"}), kNwParamInvalid);
  EXPECT_EQ(FileText(), before);
}

TEST_F(SimulationTest, MembersAndServicedServers) {
  std::string fs = "FS1";
  std::string alice = "alice";
  std::string staff = "STAFF";
  ASSERT_EQ(NwBindAddPrintServerUser(fs, "PS1", alice), 0);
  ASSERT_EQ(NwBindAddPrintServerOperatorGroup(fs, "PS1", staff), 0);
  ASSERT_EQ(NwBindAddQueueOperator(fs, "Q1", alice), 0);
  EXPECT_EQ(alice, "alice");
  EXPECT_EQ(Value("PS1", "user"), "alice");
  EXPECT_EQ(Value("PS1", "operator_group"), "STAFF");
  EXPECT_EQ(Value("Q1", "operator_user"), "alice");
  NwNameList list;
  ASSERT_EQ(NwBindListPrintServerUsers(fs, "PS1", list), 0);
  EXPECT_EQ(list, NwNameList{"alice"});
  ASSERT_EQ(NwBindRemovePrintServerUser(fs, "PS1", alice), 0);
  EXPECT_EQ(Value("PS1", "user"), "");

  ASSERT_EQ(NwBindAddServicedFileServer(fs, "PS1", "FS2"), 0);
  ASSERT_EQ(NwBindListServicedFileServers(fs, "PS1", list), 0);
  EXPECT_EQ(list, NwNameList{"FS2"});
  std::string served = "FS2";
  ASSERT_EQ(NwBindRemoveServicedFileServer(fs, "PS1", served), 0);
  EXPECT_EQ(Value("PS1", "service_fileserver"), "");
}

TEST_F(SimulationTest, NamesThatCannotBeStoredAreRefused) {
  const std::string before = FileText();
  std::string fs = "FS1";
  for (const char* bad : {"A,B", "", "A]B", " A", "A\tB", "'A'"}) {
    std::string member = bad;
    EXPECT_EQ(NwBindAddPrintServerUser(fs, "PS1", member), kNwParamInvalid) << bad;
    EXPECT_EQ(NwBindCreatePrintServer(fs, bad), kNwParamInvalid) << bad;
  }
  std::string member = "ALICE";
  EXPECT_EQ(NwBindAddPrintServerUser(fs, "P,S", member), kNwParamInvalid);
  EXPECT_EQ(FileText(), before);
}

TEST_F(SimulationTest, ListsStayWithinTheirBuffer) {
  // 25 names of 9 characters and their commas fill 249 characters; the 26th does not fit.
  std::string fs = "FS1";
  std::string total;
  for (int i = 0; i < 25; ++i) {
    char name[16];
    std::snprintf(name, sizeof name, "PRINTS%03d", i);
    ASSERT_EQ(NwBindCreatePrintServer(fs, name), 0) << name;
    total += (i ? "," : "") + std::string(name);
  }
  EXPECT_EQ(NwBindCreatePrintServer(fs, "PRINTS025"), kNwBufferOverflow);
  EXPECT_EQ(Value("printserver", "total"), total);
  EXPECT_EQ(NwBindCreatePrintServer(fs, "P"), 0);  // a short one still fits

  // A longer list written by hand is read up to its last whole name and never rewritten.
  std::string longList;
  for (int i = 0; i < 40; ++i) longList += (i ? "," : "") + std::string("QUEUE") + std::to_string(100 + i);
  Set("queue", "total", longList);
  NwNameList list;
  ASSERT_EQ(NwBindListQueues(fs, list), 0);
  EXPECT_EQ(list.size(), 28u);  // 28 names of 8 characters and their commas fill 251 characters
  EXPECT_EQ(list.back(), "QUEUE127");
  std::string queue = "Q1";
  EXPECT_EQ(NwBindCreateQueue(fs, "PS1", "P1", 1, queue), kNwBufferOverflow);
  EXPECT_EQ(Value("queue", "total"), longList);
}

TEST_F(SimulationTest, Passwords) {
  Set("PS1", "password", "secret");
  std::string fs = "FS1";
  EXPECT_EQ(NwBindSetPrintServerPassword(fs, "PS1", "wrong", "new"), -1);
  EXPECT_EQ(Value("PS1", "password"), "secret");
  EXPECT_EQ(NwBindSetPrintServerPassword(fs, "PS1", "secret", "new"), 0);
  EXPECT_EQ(NwNdsSetPassword("T", "C", "PS1", "new", "newer"), 0);
  EXPECT_EQ(Value("PS1", "password"), "newer");
  EXPECT_EQ(NwNdsSetPassword("T", "C", "PS1", "new", "bad\nline"), -1);
  EXPECT_EQ(NwNdsSetPassword("T", "C", "PS1", "newer", "bad\nline"), kNwParamInvalid);
}

TEST_F(SimulationTest, DirectoryTwinsCutNamesAtTheirFirstDot) {
  std::string tree = "tree";
  std::string context = "sales.acme";
  std::string printer = "P1.SALES.ACME";
  ASSERT_EQ(NwNdsCreatePrintServer(tree, context, "PS1"), 0);
  ASSERT_EQ(NwNdsCreatePrinter(tree, context, "PS1", printer, 0), 0);
  EXPECT_EQ(printer, "P1");
  EXPECT_EQ(tree, "tree");  // the switch comes before any upper-casing
  std::string queue = "Q1.SALES.ACME";
  ASSERT_EQ(NwNdsCreateQueue(tree, context, printer, "VOL", 1, queue), 0);
  EXPECT_EQ(queue, "Q1");
  std::string member = "ALICE.SALES.ACME";
  ASSERT_EQ(NwNdsAddQueueUser(tree, context, "Q1", member), 0);
  EXPECT_EQ(member, "ALICE");
  EXPECT_EQ(Value("Q1", "user"), "ALICE");
  EXPECT_EQ(NwNdsFindPrinter(tree, context, "P1"), 0);
  EXPECT_EQ(NwNdsFindQueue(tree, context, "Q2"), kNwNotFound);

  // Deleting a directory printer takes it out of every print server.
  Set("PS2", "printer", "P0,P1");
  Set("printserver", "total", "PS1,PS2");
  ASSERT_EQ(NwNdsDeletePrinter(tree, context, "P1"), 0);
  EXPECT_EQ(Value("PS1", "printer"), "");
  EXPECT_EQ(Value("PS2", "printer"), "P0");
  EXPECT_EQ(Value("printer", "total"), "");
}

TEST_F(SimulationTest, DirectoryListsAndFixedAnswers) {
  Set("tree", "total", "ACME,OTHER");
  Set("context", "total", "ACME");
  Set("context", "ACME", "SALES,ADMIN");
  Set("volume", "total", "SYS");
  Set("volume", "SALES.ACME", "VOL1,VOL2");
  NwNameList list;
  ASSERT_EQ(NwListTrees(list), 0);
  EXPECT_EQ(list, (NwNameList{"ACME", "OTHER"}));
  std::string tree = "ACME";
  std::string container = "[ROOT]";
  ASSERT_EQ(NwNdsListContainers(tree, container, list), 0);
  EXPECT_EQ(list, NwNameList{"ACME"});
  container = "ACME";
  ASSERT_EQ(NwNdsListContainers(tree, container, list), 0);
  EXPECT_EQ(list, (NwNameList{"SALES", "ADMIN"}));
  container = "NONE";
  ASSERT_EQ(NwNdsListContainers(tree, container, list), 0);
  EXPECT_TRUE(list.empty());
  std::string context = "SALES.ACME";
  ASSERT_EQ(NwNdsListVolumes(tree, context, list), 0);
  EXPECT_EQ(list, (NwNameList{"VOL1", "VOL2"}));

  std::string id, server, volume = "untouched", first = "untouched";
  ASSERT_EQ(NwNdsGetQueueIds(tree, context, "Q1", id, server, volume), 0);
  EXPECT_EQ(id + server + volume, "IDxxxxSRxxxxVOLxxxx");
  std::string fs = "FS1";
  ASSERT_EQ(NwBindGetQueueId(fs, "Q1", id), 0);
  EXPECT_EQ(id, "IDxxxx");
  volume = "untouched";
  EXPECT_EQ(NwNdsFindSysVolume(tree, context, volume, first, "[ROOT]"), 0);
  EXPECT_EQ(volume + first, "untoucheduntouched");
  EXPECT_EQ(NwNdsCheckTree(tree, ""), 0);
  EXPECT_EQ(NwNdsFindContext(tree, container, context), 0);
  EXPECT_EQ(NwNdsSelectContext(tree, context), 1);
  EXPECT_EQ(NwBindAttach(fs), 0);
}

TEST_F(SimulationTest, AllVolumesWalksARepeatedContainerOnce) {
  // Every level names its one child a dozen times (once in lower case). Walked once per
  // repetition, the deepest container's volume would come back 12 x 12 x 12 times, and a few
  // more such levels would make a walk without end.
  auto dozen = [](const std::string& name, const std::string& lower) {
    std::string text = name;
    for (int i = 1; i < 12; ++i) text += "," + (i == 5 ? lower : name);
    return text;
  };
  Set("context", "total", "A");
  Set("context", "A", dozen("B", "b"));
  Set("context", "B.A", dozen("C", "c"));
  Set("context", "C.B.A", dozen("D", "d"));
  Set("volume", "total", "SYS");
  Set("volume", "B.A", "VOL0");
  Set("volume", "D.C.B.A", "VOL1,VOL2");
  std::string tree = "ACME";
  std::string root = "[ROOT]";
  NwNameList list;
  ASSERT_EQ(NwNdsListAllVolumes(tree, root, list), 0);
  EXPECT_EQ(list, (NwNameList{"SYS", "VOL0.B.A", "VOL1.D.C.B.A", "VOL2.D.C.B.A"}));
}

TEST_F(SimulationTest, NdsSetupThroughTheTwins) {
  std::string tree = "ACME";
  std::string context = "SALES.ACME";
  ASSERT_EQ(NwNdsSetupPrintServer(tree, context, "PS1", {"P1"}, {"Q1"}), 0);
  EXPECT_EQ(Value("printserver", "total"), "PS1");
  EXPECT_EQ(Value("PS1", "printer"), "P1");
  EXPECT_EQ(Value("P1", "queue"), "Q1");
}

}  // namespace
}  // namespace netware::testing

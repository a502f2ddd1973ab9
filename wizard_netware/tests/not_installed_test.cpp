// What the product runs on: no NetWare requester. Every call fails as an absent requester does.
#include <gtest/gtest.h>

#include <functional>

#include "platform/test_support/temp_root.h"
#include "wizard_netware/nw_bindery.h"
#include "wizard_netware/nw_client.h"
#include "wizard_netware/nw_codes.h"
#include "wizard_netware/nw_errors.h"
#include "wizard_netware/nw_nds.h"

namespace netware {
namespace {

TEST(NotInstalledClient, EveryOperationReportsTheMissingRequester) {
  platform::testing::TempRoot root;
  SetNwClient(nullptr);
  EXPECT_EQ(&GetNwClient(), &NotInstalledClient());
  std::string fs = "FS1";
  std::string tree = "TREE";
  std::string context = "SALES.ACME";
  std::string member = "ALICE";
  std::string queue = "Q1";
  std::string printer = "P1";
  std::string text;
  NwNameList list;
  NwByteArray numbers;
  NwPrinterStatusRecord record;
  const std::pair<const char*, std::function<int()>> calls[] = {
      {"NwBindAttach", [&] { return NwBindAttach(fs); }},
      {"NwGetServerMajorVersion", [&] { return NwGetServerMajorVersion(fs); }},
      {"NwBindCreatePrintServer", [&] { return NwBindCreatePrintServer(fs, "PS1"); }},
      {"NwBindFindPrintServer", [&] { return NwBindFindPrintServer(fs, "PS1"); }},
      {"NwBindListUsers", [&] { return NwBindListUsers(fs, list); }},
      {"NwBindGetQueueId", [&] { return NwBindGetQueueId(fs, "Q1", text); }},
      {"NwBindAddPrintServerUser", [&] { return NwBindAddPrintServerUser(fs, "PS1", member); }},
      {"NwBindListPrinters", [&] { return NwBindListPrinters(fs, "PS1", list, numbers); }},
      {"NwBindSetupPrintServer", [&] { return NwBindSetupPrintServer(fs, "PS1", {"P1"}, {"Q1"}); }},
      {"NwBindPrinterStatus", [&] { return NwBindPrinterStatus("", "PS1", 0, &record); }},
      {"NwListTrees", [&] { return NwListTrees(list); }},
      {"NwNdsCheckTree", [&] { return NwNdsCheckTree(tree, ""); }},
      {"NwNdsFindContext", [&] { return NwNdsFindContext(tree, context, context); }},
      {"NwNdsListUsers", [&] { return NwNdsListUsers(tree, context, list); }},
      {"NwNdsFindQueue", [&] { return NwNdsFindQueue(tree, context, "Q1"); }},
      {"NwNdsCreatePrintServer", [&] { return NwNdsCreatePrintServer(tree, context, "PS1"); }},
      {"NwNdsCreateQueue", [&] { return NwNdsCreateQueue(tree, context, printer, "V", 1, queue); }},
      {"NwNdsSetPassword", [&] { return NwNdsSetPassword(tree, context, "PS1", "a", "b"); }},
      {"NwNdsAddQueueUser", [&] { return NwNdsAddQueueUser(tree, context, "Q1", member); }},
      {"NwNdsSetupPrintServer",
       [&] { return NwNdsSetupPrintServer(tree, context, "PS1", {"P1"}, {"Q1"}); }},
  };
  for (const auto& [name, call] : calls) EXPECT_EQ(call(), kNwRequesterFailure) << name;

  // The file-server list always succeeds, empty.
  list = {"stale"};
  EXPECT_EQ(NwBindListFileServers(list), 0);
  EXPECT_TRUE(list.empty());
  EXPECT_FALSE(NwClientInit());
  EXPECT_EQ(NwErrorName(kNwRequesterFailure), "NWE_REQUESTER_FAILURE");
}

}  // namespace
}  // namespace netware

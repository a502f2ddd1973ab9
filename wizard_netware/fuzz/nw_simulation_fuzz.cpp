// Arbitrary bytes as the NetWare simulation's settings file (behind a section that turns the
// simulation on): every twin must answer with a defined result, lists must hold whole names that fit
// their buffer, and what an edit reports as done must read back.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/fuzz/fuzz_root.h"
#include "platform/paths.h"
#include "wizard_netware/nw_bindery.h"
#include "wizard_netware/nw_codes.h"
#include "wizard_netware/nw_nds.h"
#include "wizard_netware/nw_simulation.h"

namespace {

using netware::NwByteArray;
using netware::NwNameList;

void Check(bool ok) {
  if (!ok) std::abort();
}

void CheckList(const NwNameList& list) {
  std::size_t total = 0;
  for (const std::string& name : list) {
    Check(name.find(',') == std::string::npos);
    total += name.size() + 1;
  }
  Check(total <= 256);
}

bool ListHolds(const char* section, const char* key, const std::string& name) {
  std::string value;
  netware::ReadNwSimSetting(section, key, value);
  return netware::CommaListContains(value, name) == 1;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  platform_fuzz::FuzzRoot();
  const std::string path =
      platform::JoinPath(platform::WindowsDirectory(), netware::kNwSimulationFile);
  FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) std::abort();
  std::fputs("[debug]\nsimulation=1\n", f);
  if (size != 0) std::fwrite(data, 1, size, f);
  std::fclose(f);
  Check(netware::IsNwSimulation() == 1);

  NwNameList list;
  NwByteArray numbers;
  std::string fs = "FS1";
  std::string tree = "TREE";
  std::string context = "SALES.ACME";
  std::string root = "[ROOT]";

  netware::NwBindListFileServers(list);
  CheckList(list);
  Check(netware::NwGetServerMajorVersion(fs) >= 0);
  for (auto lister : {netware::NwBindListPrintServers, netware::NwBindListQueues,
                      netware::NwBindListUsers, netware::NwBindListGroups}) {
    Check(lister(fs, list) == 0);
    CheckList(list);
  }
  netware::NwBindListPrinters(fs, "PS1", list, numbers);
  CheckList(list);
  Check(numbers.size() == list.size());
  netware::NwBindListPrinterQueues(fs, "PS1", "P1", numbers, list);
  Check(numbers.size() == list.size());
  netware::NwListTrees(list);
  netware::NwNdsListContainers(tree, root, list);
  netware::NwNdsListAllVolumes(tree, root, list);
  // The volumes of the whole tree, each as volume '.' container: whole names, as many as the tree
  // holds (no one buffer bounds them).
  for (const std::string& name : list) Check(name.find(',') == std::string::npos);
  netware::NwNdsListVolumes(tree, context, list);

  // Edits: done means it reads back; a refusal leaves the list as it was.
  std::string member = "ALICE";
  const int added = netware::NwBindAddPrintServerUser(fs, "PS1", member);
  Check(added == 0 || added == netware::kNwBufferOverflow || added == netware::kNwParamInvalid ||
        added == netware::kNwSettingsNotWritten);
  if (added == 0) Check(ListHolds("PS1", "user", "ALICE"));
  if (netware::NwBindRemovePrintServerUser(fs, "PS1", member) == 0) {
    Check(!ListHolds("PS1", "user", "ALICE"));
  }
  if (netware::NwBindCreatePrintServer(fs, "PS9") == 0) Check(ListHolds("printserver", "total", "PS9"));
  netware::NwBindFindQueue(fs, "Q1");
  netware::NwBindSetPrintServerPassword(fs, "PS1", "old", "new");
  netware::NwBindSetupPrintServer(fs, "PS2", {"P1", "P2"}, {"Q1", "Q2"});
  std::string printer = "P3.SALES";
  netware::NwNdsSetupPrintServer(tree, context, "PS3", {printer}, {"Q3"});
  netware::NwNdsDeletePrinter(tree, context, "P1");
  netware::NwNdsDeleteQueue(tree, context, "Q1");
  return 0;
}

#include "wizard_netware/nw_nds.h"

#include <cstdio>
#include <set>

#include "platform/ascii.h"
#include "wizard_netware/nw_client.h"
#include "wizard_netware/nw_codes.h"
#include "wizard_netware/nw_layer.h"
#include "wizard_netware/nw_sim_twins.h"
#include "wizard_netware/nw_simulation.h"

namespace netware {
namespace {

using detail::Upper;
using detail::UpperInPlace;

constexpr const char* kRoot = "[ROOT]";
constexpr std::size_t kMaxNameLength = kNwTextBufferSize - 1;

bool IsRoot(const std::string& name) { return platform::EqualsNoCase(name, kRoot); }

// Which failures of the frame's set-up calls a function goes on after.
enum FrameRule { kStrict = 0, kGoOnTree = 1, kGoOnContext = 2, kGoOnTreeAndContext = 3 };

// The NDS frame: client start, preferred tree, a context handle with its name context; the handle
// is freed when the frame ends.
class NdsFrame {
 public:
  NdsFrame() = default;
  NdsFrame(const NdsFrame&) = delete;
  NdsFrame& operator=(const NdsFrame&) = delete;
  ~NdsFrame() {
    if (open_) GetNwClient().FreeContext(handle_);
  }

  int Open(const std::string& tree, const std::string& nameContext, FrameRule rule = kStrict) {
    NwClient& client = GetNwClient();
    int rc = client.InitClient();
    if (rc != 0) return rc;
    rc = client.SetPreferredTree(tree);
    if (rc != 0 && (rule & kGoOnTree) == 0) return rc;
    rc = client.CreateContext(&handle_);
    if (rc == 0) {
      open_ = true;
    } else if ((rule & kGoOnContext) == 0) {
      return rc;
    }
    return client.SetContextName(handle_, nameContext);
  }

  NwHandle handle() const { return handle_; }

 private:
  NwHandle handle_ = 0;
  bool open_ = false;
};

// A component's name without its type: "OU=SALES" gives "SALES"; a name without '=' stays.
std::string StripType(const std::string& component) {
  std::size_t eq = component.find('=');
  return eq == std::string::npos ? component : component.substr(eq + 1);
}

// A dotted name with the type of every component cut.
std::string StripTypes(const std::string& name) {
  std::string out;
  std::size_t start = 0;
  for (;;) {
    std::size_t dot = name.find('.', start);
    out += StripType(name.substr(start, dot == std::string::npos ? std::string::npos : dot - start));
    if (dot == std::string::npos) return out;
    out += '.';
    start = dot + 1;
  }
}

// The full name of a container's child: "child.container", or the child alone below the root.
std::string ChildName(const std::string& child, const std::string& container) {
  return IsRoot(container) ? child : child + "." + container;
}

// Lists the container objects directly below the frame's name context (types cut). Returns the
// listing's failure, else 0.
int ListChildContainers(NwHandle context, bool organisationsOnly, NwNameList& children) {
  NwClient& client = GetNwClient();
  std::int32_t iteration = -1;
  do {
    std::vector<NdsEntry> entries;
    int rc = client.ListSubordinates(context, &iteration, &entries);
    if (rc < 0) return rc;
    for (const NdsEntry& entry : entries) {
      if ((entry.infoFlags & kNdsInfoContainer) == 0) continue;
      if (organisationsOnly && entry.className != "Organization" &&
          entry.className != "Organizational Unit") {
        continue;
      }
      children.push_back(StripType(entry.name));
    }
  } while (iteration != -1);
  return 0;
}

// The search routine: the objects of one class whose parent is the context. A list (wanted null)
// gets their leaf names; a find stops at the first equal to the wanted name.
int SearchClass(std::string& tree, std::string& context, const char* className, NwNameList* list,
                const std::string* wanted) {
  if (list != nullptr) list->clear();
  UpperInPlace(tree);
  UpperInPlace(context);
  if (IsRoot(context)) return kNwNdsNotFound;
  NdsFrame frame;
  int rc = frame.Open(tree, context);
  if (rc != 0) return rc;
  NwClient& client = GetNwClient();
  std::string base;
  rc = client.GetContextName(frame.handle(), &base);
  if (rc != 0) return rc;
  DWORD flags = 0;
  rc = client.GetContextFlags(frame.handle(), &flags);
  if (rc != 0) return rc;
  flags = (flags | kContextFlagTypeless) & ~kContextFlagCanonicalize;
  rc = client.SetContextFlags(frame.handle(), flags);
  if (rc != 0) return rc;

  const std::vector<NdsFilterToken> filter = {
      {kFilterAttrName, "Object Class", kSyntaxClassName}, {kFilterEquals, "", 0},
      {kFilterValue, className, kSyntaxClassName},          {kFilterAnd, "", 0},
      {kFilterAttrName, "CN", kSyntaxNamingText},          {kFilterEquals, "", 0},
      {kFilterValue, "*", kSyntaxNamingText},              {kFilterEnd, "", 0}};
  const std::string wantedUpper = wanted != nullptr ? Upper(*wanted) : std::string();
  std::int32_t iteration = -1;
  do {
    std::vector<std::string> names;
    rc = client.Search(frame.handle(), base, 2, filter, &iteration, &names);
    if (rc != 0) return rc;
    for (const std::string& found : names) {
      std::string name = StripTypes(found);
      std::size_t dot = name.find('.');
      if (dot != std::string::npos && Upper(name.substr(dot + 1)) != context) continue;
      std::string leaf = name.substr(0, dot);
      if (list != nullptr) list->push_back(leaf);
      if (wanted != nullptr && Upper(leaf) == wantedUpper) return 0;
    }
  } while (iteration != -1);
  return wanted != nullptr ? kNwNotFound : 0;
}

// A print-services operation in the frame of the tree and context.
template <typename Op>
int NdsOp(std::string& tree, std::string& context, FrameRule rule, Op op) {
  UpperInPlace(tree);
  UpperInPlace(context);
  NdsFrame frame;
  int rc = frame.Open(tree, context, rule);
  if (rc != 0) return rc;
  return op(GetNwClient(), frame.handle());
}

const char* MemberKey(int attr, BYTE type) {
  if (attr == kAttrUsers) return type == kMemberGroup ? sim::kGroupKey : sim::kUserKey;
  return type == kMemberGroup ? sim::kOperatorGroupKey : sim::kOperatorUserKey;
}

int MemberOp(std::string& tree, std::string& context, const std::string& object, bool isQueue,
             int attr, BYTE type, std::string& member, bool add) {
  if (IsNwSimulation()) {
    sim::CutAtFirstDot(member);
    const char* key = MemberKey(attr, type);
    return add ? sim::AddToKey(object, key, member) : sim::RemoveFromKey(object, key, member);
  }
  return NdsOp(tree, context, kStrict, [&](NwClient& client, NwHandle h) {
    UpperInPlace(member);
    NwAttrBlock block{type, 0, member};
    if (isQueue) {
      return add ? client.PsAddQueueAttr(kNdsMode, h, object, attr, block)
                 : client.PsRemoveQueueAttr(kNdsMode, h, object, attr, block);
    }
    return add ? client.PsAddPrintServerAttr(kNdsMode, h, object, attr, block)
               : client.PsRemovePrintServerAttr(kNdsMode, h, object, attr, block);
  });
}

int MemberList(std::string& tree, std::string& context, const std::string& object, bool isQueue,
               int attr, bool groups, NwNameList& list) {
  if (IsNwSimulation()) {
    return sim::ListKey(object, MemberKey(attr, groups ? kMemberGroup : kMemberUser), list);
  }
  list.clear();
  return NdsOp(tree, context, kStrict, [&](NwClient&, NwHandle h) {
    detail::ScanCalls calls = isQueue ? detail::QueueAttrScan(kNdsMode, h, object, attr)
                                      : detail::PrintServerAttrScan(kNdsMode, h, object, attr);
    return detail::RunScan(calls, list, nullptr,
                           groups ? detail::IsGroupMember : detail::IsUserMember);
  });
}

int PrinterOfPrintServer(std::string& tree, std::string& context, const std::string& printServer,
                         std::string& printer, int number, bool add) {
  if (IsNwSimulation()) {
    sim::CutAtFirstDot(printer);
    return add ? sim::AddToKey(printServer, "printer", printer)
               : sim::RemoveFromKey(printServer, "printer", printer);
  }
  return NdsOp(tree, context, kStrict, [&](NwClient& client, NwHandle h) {
    NwAttrBlock block{0, static_cast<BYTE>(number), printer};
    return add ? client.PsAddPrintServerAttr(kNdsMode, h, printServer, kAttrPrinters, block)
               : client.PsRemovePrintServerAttr(kNdsMode, h, printServer, kAttrPrinters, block);
  });
}

int QueueOfPrinter(std::string& tree, std::string& context, std::string& printer, int priority,
                   std::string& queue, bool add) {
  if (IsNwSimulation()) {
    sim::CutAtFirstDot(queue);
    return add ? sim::AddToKey(printer, "queue", queue) : sim::RemoveFromKey(printer, "queue", queue);
  }
  return NdsOp(tree, context, kStrict, [&](NwClient& client, NwHandle h) {
    UpperInPlace(queue);
    NwQueueLink link{queue, priority};
    return add ? client.PsAddQueueToPrinter(kNdsMode, h, "", printer, kAttrQueues, link)
               : client.PsRemoveQueueFromPrinter(kNdsMode, h, "", printer, kAttrQueues, link);
  });
}

// Keeps the first of containers that a listing names more than once (names in a directory are
// unique, case aside; a hand-edited simulation file or a faulty server may repeat one). The walks
// below visit each container of a listing: a repeated name would make them walk its whole subtree
// once per repetition, and repetitions on every level multiply into a walk without end.
void DropRepeatedNames(NwNameList& names) {
  std::set<std::string> seen;
  for (auto it = names.begin(); it != names.end();) {
    if (seen.insert(Upper(*it)).second) {
      ++it;
    } else {
      it = names.erase(it);
    }
  }
}

int FindContextIn(std::string& tree, const std::string& start, const std::string& wanted) {
  NdsFrame frame;
  int rc = frame.Open(tree, start);
  if (rc != 0) return rc;
  NwNameList children;
  rc = ListChildContainers(frame.handle(), false, children);
  if (rc != 0) return rc;
  DropRepeatedNames(children);
  for (const std::string& child : children) {
    std::string full = Upper(ChildName(child, start));
    if (full == wanted) return 0;
    // A name longer than the directory allows cannot lead to the wanted one.
    if (full.size() > kMaxNameLength) continue;
    if (FindContextIn(tree, full, wanted) == 0) return 0;
  }
  return kNwNdsNotFound;
}

int ListAllVolumesIn(std::string& tree, const std::string& container, NwNameList& list) {
  NwNameList children;
  std::string below = container;
  int rc = NwNdsListContainers(tree, below, children);
  if (rc != 0) return rc;
  DropRepeatedNames(children);
  for (const std::string& child : children) {
    std::string full = ChildName(child, container);
    if (full.size() > kMaxNameLength) continue;
    NwNameList volumes;
    std::string context = full;
    NwNdsListVolumes(tree, context, volumes);
    for (const std::string& volume : volumes) list.push_back(volume + "." + full);
    ListAllVolumesIn(tree, full, list);
  }
  return 0;
}

int FindSysVolumeIn(std::string& tree, std::string& context, std::string& volume,
                    std::string& firstVolume, const std::string& start, std::size_t depth) {
  NwNameList children;
  std::string below = start;
  NwNdsListContainers(tree, below, children);
  DropRepeatedNames(children);
  for (const std::string& child : children) {
    std::string full = ChildName(child, start);
    if (full.size() > kMaxNameLength || depth > kMaxNameLength) continue;
    if (FindSysVolumeIn(tree, context, volume, firstVolume, full, depth + 1) == 0) return 0;
  }
  NwNameList volumes;
  std::string here = start;
  NwNdsListVolumes(tree, here, volumes);
  if (volumes.empty()) return kNwNoVolume;
  std::string relative;
  NwNdsRelativeName(context, start, relative);
  for (const std::string& name : volumes) {
    if (firstVolume.empty()) firstVolume = name + relative;
    if (Upper(name).find("_SYS") != std::string::npos) {
      volume = name + relative;
      return 0;
    }
  }
  return kNwNoVolume;
}

// The components of a dotted name, first to last.
std::vector<std::string> Components(const std::string& name) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  for (;;) {
    std::size_t dot = name.find('.', start);
    parts.push_back(name.substr(start, dot == std::string::npos ? std::string::npos : dot - start));
    if (dot == std::string::npos) return parts;
    start = dot + 1;
  }
}

}  // namespace

int NwListTrees(NwNameList& list) {
  if (IsNwSimulation()) return sim::ListKind(sim::kTrees, list);
  list.clear();
  NwClient& client = GetNwClient();
  client.InitClient();
  NwHandle conn = 0;
  int rc = client.GetDefaultConnection(&conn);
  if (rc != 0) return rc;
  std::int32_t id = -1;
  for (;;) {
    std::string name;
    if (client.ScanBinderyObject(conn, "*", kObjDirectoryTree, &id, &name) != 0) break;
    UpperInPlace(name);
    std::size_t cut = name.find("__");
    if (cut != std::string::npos) name.resize(cut);
    bool known = false;
    for (const std::string& seen : list) known = known || seen == name;
    if (!known) list.push_back(name);
  }
  return 0;
}

int NwNdsCheckTree(std::string& tree, const std::string&) {
  if (IsNwSimulation()) return 0;
  UpperInPlace(tree);
  NwClient& client = GetNwClient();
  client.InitClient();
  NwHandle conn = 0;
  int rc = client.GetDefaultConnection(&conn);
  if (rc != 0) return rc;
  bool advertised = false;
  std::int32_t id = -1;
  for (;;) {
    std::string name;
    if (client.ScanBinderyObject(conn, "*", kObjDirectoryTree, &id, &name) != 0) break;
    UpperInPlace(name);
    std::size_t cut = name.find("__");
    if (cut != std::string::npos) name.resize(cut);
    if (name == tree) {
      advertised = true;
      break;
    }
  }
  if (!advertised) return kNwNdsNotFound;
  rc = client.SetPreferredTree(tree);
  if (rc != 0) return rc;
  if (client.IsAuthenticated() == 0) return kNwTreeNotAuthenticated;
  WORD type = 0;
  rc = client.GetFileServerType(conn, &type);
  if (rc != 0) return rc;
  return (type & 0xff) == '3' ? 0 : kNwTreeWrongServerType;
}

int NwNdsSelectContext(std::string& tree, std::string& context) {
  if (IsNwSimulation()) return 1;
  return NdsOp(tree, context, kGoOnTree, [](NwClient& client, NwHandle) {
    NwHandle conn = 0;
    return client.GetDefaultConnection(&conn);
  });
}

int NwNdsFindContext(std::string& tree, std::string& start, std::string& wanted) {
  if (IsNwSimulation()) return 0;
  UpperInPlace(tree);
  UpperInPlace(start);
  UpperInPlace(wanted);
  return FindContextIn(tree, start, wanted);
}

int NwNdsListContainers(std::string& tree, std::string& container, NwNameList& list) {
  if (IsNwSimulation()) return sim::ListContainers(container, list);
  list.clear();
  return NdsOp(tree, container, kStrict, [&](NwClient&, NwHandle h) {
    return ListChildContainers(h, true, list);
  });
}

int NwNdsListAllVolumes(std::string& tree, std::string& container, NwNameList& list) {
  list.clear();
  if (IsRoot(container)) {
    std::string root = kRoot;
    NwNdsListVolumes(tree, root, list);
  }
  return ListAllVolumesIn(tree, container, list);
}

int NwNdsListPrintServers(std::string& tree, std::string& context, NwNameList& list) {
  if (IsNwSimulation()) return sim::ListKind(sim::kPrintServers, list);
  return SearchClass(tree, context, "Print Server", &list, nullptr);
}
int NwNdsListQueues(std::string& tree, std::string& context, NwNameList& list) {
  if (IsNwSimulation()) return sim::ListKind(sim::kQueues, list);
  return SearchClass(tree, context, "Queue", &list, nullptr);
}
int NwNdsListUsers(std::string& tree, std::string& context, NwNameList& list) {
  if (IsNwSimulation()) return sim::ListKind(sim::kUsers, list);
  return SearchClass(tree, context, "User", &list, nullptr);
}
int NwNdsListGroups(std::string& tree, std::string& context, NwNameList& list) {
  if (IsNwSimulation()) return sim::ListKind(sim::kGroups, list);
  return SearchClass(tree, context, "Group", &list, nullptr);
}
int NwNdsListVolumes(std::string& tree, std::string& context, NwNameList& list) {
  if (IsNwSimulation()) return sim::ListVolumes(context, list);
  return SearchClass(tree, context, "Volume", &list, nullptr);
}

int NwNdsFindPrintServer(std::string& tree, std::string& context, const std::string& name) {
  if (IsNwSimulation()) return sim::FindInKind(sim::kPrintServers, name);
  return SearchClass(tree, context, "Print Server", nullptr, &name);
}
int NwNdsFindQueue(std::string& tree, std::string& context, const std::string& name) {
  if (IsNwSimulation()) return sim::FindInKind(sim::kQueues, name);
  return SearchClass(tree, context, "Queue", nullptr, &name);
}
int NwNdsFindPrinter(std::string& tree, std::string& context, const std::string& name) {
  if (IsNwSimulation()) return sim::FindInKind(sim::kPrinters, name);
  return SearchClass(tree, context, "Printer", nullptr, &name);
}

int NwNdsCreatePrintServer(std::string& tree, std::string& context,
                           const std::string& printServer) {
  if (IsNwSimulation()) return sim::AddToKind(sim::kPrintServers, printServer);
  return NdsOp(tree, context, kGoOnTreeAndContext, [&](NwClient& client, NwHandle h) {
    return client.PsCreatePrintServer(kNdsMode, h, printServer);
  });
}

int NwNdsDeletePrintServer(std::string& tree, std::string& context,
                           const std::string& printServer) {
  if (IsNwSimulation()) return sim::RemoveFromKind(sim::kPrintServers, printServer);
  return NdsOp(tree, context, kGoOnTreeAndContext, [&](NwClient& client, NwHandle h) {
    return client.PsDeletePrintServer(kNdsMode, h, printServer);
  });
}

int NwNdsSetPassword(const std::string& tree, const std::string& context,
                     const std::string& object, const std::string& oldPassword,
                     const std::string& newPassword) {
  if (IsNwSimulation()) return sim::SetPassword(object, oldPassword, newPassword);
  NdsFrame frame;
  int rc = frame.Open(tree, context);
  if (rc != 0) return rc;
  return GetNwClient().ChangeObjectPassword(frame.handle(), object, oldPassword, newPassword);
}

int NwNdsCreatePrinter(std::string& tree, std::string& context, const std::string& printServer,
                       std::string& printer, int number) {
  if (IsNwSimulation()) {
    sim::CutAtFirstDot(printer);
    return sim::CreatePrinter(printServer, printer);
  }
  return NdsOp(tree, context, kStrict, [&](NwClient& client, NwHandle h) {
    int rc = client.PsCreatePrinter(kNdsMode, h, "", printer, &number);
    if (rc != 0) return rc;
    NwAttrBlock block{0, static_cast<BYTE>(number), printer};
    return client.PsAddPrintServerAttr(kNdsMode, h, printServer, kAttrPrinters, block);
  });
}

int NwNdsDeletePrinter(std::string& tree, std::string& context, const std::string& printer) {
  if (IsNwSimulation()) return sim::DeletePrinterEverywhere(printer);
  return NdsOp(tree, context, kStrict, [&](NwClient& client, NwHandle h) {
    return client.PsDeletePrinter(kNdsMode, h, "", printer);
  });
}

int NwNdsAddPrinterToPrintServer(std::string& tree, std::string& context,
                                 const std::string& printServer, std::string& printer,
                                 int number) {
  return PrinterOfPrintServer(tree, context, printServer, printer, number, true);
}

int NwNdsRemovePrinterFromPrintServer(std::string& tree, std::string& context,
                                      const std::string& printServer, std::string& printer,
                                      int number) {
  return PrinterOfPrintServer(tree, context, printServer, printer, number, false);
}

int NwNdsListPrinters(std::string& tree, std::string& context, const std::string& printServer,
                      NwNameList& list, NwByteArray& numbers) {
  if (IsNwSimulation()) return sim::ListNumbered(printServer, "printer", list, numbers);
  list.clear();
  numbers.clear();
  return NdsOp(tree, context, kStrict, [&](NwClient&, NwHandle h) {
    detail::ScanCalls calls = detail::PrintServerAttrScan(kNdsMode, h, printServer, kAttrPrinters);
    return detail::RunScan(calls, list, &numbers, detail::KeepAll);
  });
}

int NwNdsCreateQueue(std::string& tree, std::string& context, std::string& printer,
                     const std::string& volume, int priority, std::string& queue) {
  if (IsNwSimulation()) {
    sim::CutAtFirstDot(queue);
    return sim::CreateQueue(printer, queue);
  }
  int rc = NdsOp(tree, context, kGoOnTreeAndContext, [&](NwClient& client, NwHandle h) {
    return client.PsCreateQueue(kNdsMode, h, queue, volume);
  });
  if (rc != 0) return rc;
  return NwNdsAddQueueToPrinter(tree, context, printer, priority, queue);
}

int NwNdsDeleteQueue(std::string& tree, std::string& context, const std::string& queue) {
  if (IsNwSimulation()) return sim::DeleteQueueEverywhere(queue);
  return NdsOp(tree, context, kGoOnTreeAndContext, [&](NwClient& client, NwHandle h) {
    return client.PsDeleteQueue(kNdsMode, h, queue);
  });
}

int NwNdsAddQueueToPrinter(std::string& tree, std::string& context, std::string& printer,
                           int priority, std::string& queue) {
  return QueueOfPrinter(tree, context, printer, priority, queue, true);
}

int NwNdsRemoveQueueFromPrinter(std::string& tree, std::string& context, std::string& printer,
                                int priority, std::string& queue) {
  return QueueOfPrinter(tree, context, printer, priority, queue, false);
}

int NwNdsListPrinterQueues(std::string& tree, std::string& context, const std::string& printer,
                           NwByteArray& priorities, NwNameList& list) {
  if (IsNwSimulation()) return sim::ListNumbered(printer, "queue", list, priorities);
  list.clear();
  priorities.clear();
  return NdsOp(tree, context, kStrict, [&](NwClient&, NwHandle h) {
    detail::ScanCalls calls = detail::PrinterQueueScan(kNdsMode, h, "", printer);
    return detail::RunScan(calls, list, &priorities, detail::KeepAll);
  });
}

int NwNdsListPrintServerUsers(std::string& t, std::string& c, const std::string& ps,
                              NwNameList& list) {
  return MemberList(t, c, ps, false, kAttrUsers, false, list);
}
int NwNdsListPrintServerGroups(std::string& t, std::string& c, const std::string& ps,
                               NwNameList& list) {
  return MemberList(t, c, ps, false, kAttrUsers, true, list);
}
int NwNdsListPrintServerOperators(std::string& t, std::string& c, const std::string& ps,
                                  NwNameList& list) {
  return MemberList(t, c, ps, false, kAttrOperators, false, list);
}
int NwNdsListPrintServerOperatorGroups(std::string& t, std::string& c, const std::string& ps,
                                       NwNameList& list) {
  return MemberList(t, c, ps, false, kAttrOperators, true, list);
}
int NwNdsAddPrintServerUser(std::string& t, std::string& c, const std::string& ps,
                            std::string& m) {
  return MemberOp(t, c, ps, false, kAttrUsers, kMemberUser, m, true);
}
int NwNdsRemovePrintServerUser(std::string& t, std::string& c, const std::string& ps,
                               std::string& m) {
  return MemberOp(t, c, ps, false, kAttrUsers, kMemberUser, m, false);
}
int NwNdsAddPrintServerGroup(std::string& t, std::string& c, const std::string& ps,
                             std::string& m) {
  return MemberOp(t, c, ps, false, kAttrUsers, kMemberGroup, m, true);
}
int NwNdsRemovePrintServerGroup(std::string& t, std::string& c, const std::string& ps,
                                std::string& m) {
  return MemberOp(t, c, ps, false, kAttrUsers, kMemberGroup, m, false);
}
int NwNdsAddPrintServerOperator(std::string& t, std::string& c, const std::string& ps,
                                std::string& m) {
  return MemberOp(t, c, ps, false, kAttrOperators, kMemberUser, m, true);
}
int NwNdsRemovePrintServerOperator(std::string& t, std::string& c, const std::string& ps,
                                   std::string& m) {
  return MemberOp(t, c, ps, false, kAttrOperators, kMemberUser, m, false);
}
int NwNdsAddPrintServerOperatorGroup(std::string& t, std::string& c, const std::string& ps,
                                     std::string& m) {
  return MemberOp(t, c, ps, false, kAttrOperators, kMemberGroup, m, true);
}
int NwNdsRemovePrintServerOperatorGroup(std::string& t, std::string& c, const std::string& ps,
                                        std::string& m) {
  return MemberOp(t, c, ps, false, kAttrOperators, kMemberGroup, m, false);
}

int NwNdsListQueueUsers(std::string& t, std::string& c, const std::string& q, NwNameList& list) {
  return MemberList(t, c, q, true, kAttrUsers, false, list);
}
int NwNdsListQueueGroups(std::string& t, std::string& c, const std::string& q,
                         NwNameList& list) {
  return MemberList(t, c, q, true, kAttrUsers, true, list);
}
int NwNdsListQueueOperators(std::string& t, std::string& c, const std::string& q,
                            NwNameList& list) {
  return MemberList(t, c, q, true, kAttrOperators, false, list);
}
int NwNdsListQueueOperatorGroups(std::string& t, std::string& c, const std::string& q,
                                 NwNameList& list) {
  return MemberList(t, c, q, true, kAttrOperators, true, list);
}
int NwNdsAddQueueUser(std::string& t, std::string& c, const std::string& q, std::string& m) {
  return MemberOp(t, c, q, true, kAttrUsers, kMemberUser, m, true);
}
int NwNdsRemoveQueueUser(std::string& t, std::string& c, const std::string& q, std::string& m) {
  return MemberOp(t, c, q, true, kAttrUsers, kMemberUser, m, false);
}
int NwNdsAddQueueGroup(std::string& t, std::string& c, const std::string& q, std::string& m) {
  return MemberOp(t, c, q, true, kAttrUsers, kMemberGroup, m, true);
}
int NwNdsRemoveQueueGroup(std::string& t, std::string& c, const std::string& q, std::string& m) {
  return MemberOp(t, c, q, true, kAttrUsers, kMemberGroup, m, false);
}
int NwNdsAddQueueOperator(std::string& t, std::string& c, const std::string& q, std::string& m) {
  return MemberOp(t, c, q, true, kAttrOperators, kMemberUser, m, true);
}
int NwNdsRemoveQueueOperator(std::string& t, std::string& c, const std::string& q,
                             std::string& m) {
  return MemberOp(t, c, q, true, kAttrOperators, kMemberUser, m, false);
}
int NwNdsAddQueueOperatorGroup(std::string& t, std::string& c, const std::string& q,
                               std::string& m) {
  return MemberOp(t, c, q, true, kAttrOperators, kMemberGroup, m, true);
}
int NwNdsRemoveQueueOperatorGroup(std::string& t, std::string& c, const std::string& q,
                                  std::string& m) {
  return MemberOp(t, c, q, true, kAttrOperators, kMemberGroup, m, false);
}

int NwNdsFindSysVolume(std::string& tree, std::string& context, std::string& volume,
                       std::string& firstVolume, const std::string& start) {
  if (IsNwSimulation()) return 0;
  if (IsRoot(start)) {
    volume.clear();
    firstVolume.clear();
  }
  return FindSysVolumeIn(tree, context, volume, firstVolume, start, 0);
}

int NwNdsGetQueueIds(std::string& tree, std::string& context, const std::string& queue,
                     std::string& id, std::string& server, std::string& volume) {
  if (IsNwSimulation()) {
    id = "IDxxxx";
    server = "SRxxxx";
    volume = "VOLxxxx";
    return 0;
  }
  return NdsOp(tree, context, kGoOnTree, [&](NwClient& client, NwHandle h) {
    NwHandle conn = 0;
    int rc = client.GetDefaultConnection(&conn);
    if (rc != 0) return rc;
    DWORD objectId = 0;
    rc = client.GetObjectId(h, conn, queue, &objectId);
    if (rc != 0) return rc;
    char text[24];
    std::snprintf(text, sizeof text, "0x%-4lx", static_cast<unsigned long>(objectId));
    id = text;
    // The first member of a queue attribute, or nothing.
    auto first = [&](int attr, std::string* out) {
      NwHandle scan = 0;
      NwAttrBlock block;
      int open = client.PsScanQueueAttrOpen(kNdsMode, h, queue, attr, &scan, &block);
      if (open != 0 && open != kNwEndOfScan) return open;
      if (open == 0) *out = block.name;
      return client.PsScanQueueAttrClose(scan);
    };
    std::string found = "UNKNOWN";
    rc = first(kAttrQueueVolume, &found);
    if (rc != 0) return rc;
    volume = found;
    return first(kAttrQueueServer, &server);
  });
}

void NwNdsRelativeName(const std::string& context, const std::string& container,
                       std::string& out) {
  std::vector<std::string> ctx = Components(context);
  std::vector<std::string> cont = Components(container);
  std::string prefix;
  std::string suffix;
  std::size_t c = 0;  // first remaining component of the context
  std::size_t k = 0;  // first remaining component of the container
  while (cont.size() - k > ctx.size() - c) prefix += "." + cont[k++];
  while (ctx.size() - c > cont.size() - k) {
    ++c;
    suffix += ".";
  }
  auto same = [&] {
    if (ctx.size() - c != cont.size() - k) return false;
    for (std::size_t i = 0; c + i < ctx.size(); ++i) {
      if (!platform::EqualsNoCase(ctx[c + i], cont[k + i])) return false;
    }
    return true;
  };
  while (k < cont.size() && c < ctx.size() && !same()) {
    prefix += "." + cont[k++];
    ++c;
    suffix += ".";
  }
  out = prefix + suffix;
}

int NwNdsSetupPrintServer(std::string& tree, std::string& context, const std::string& printServer,
                          const NwNameList& printers, const NwNameList& queues) {
  if (IsNwSimulation()) return sim::SetupPrintServer(printServer, printers, queues);
  if (printers.empty() || queues.empty() || printers.size() != queues.size()) {
    return kNwEmptyNameList;
  }
  NwNdsDeletePrintServer(tree, context, printServer);
  int rc = NwNdsCreatePrintServer(tree, context, printServer);
  if (rc != 0) return rc;
  auto queueIt = queues.begin();
  int number = 0;
  for (const std::string& printerName : printers) {
    std::string printer = printerName;
    std::string queue = *queueIt++;
    std::string sysVolume;
    std::string firstVolume;
    NwNdsFindSysVolume(tree, context, sysVolume, firstVolume, kRoot);
    const std::string volume = sysVolume.empty() ? firstVolume : sysVolume;
    NwNdsDeletePrinter(tree, context, printer);
    rc = NwNdsCreatePrinter(tree, context, printServer, printer, number);
    if (rc != 0) return rc;
    NwNdsDeleteQueue(tree, context, queue);
    rc = NwNdsCreateQueue(tree, context, printer, volume, 1, queue);
    if (rc != 0) {
      // Another volume of the tree may take the queue: the first that does ends the retry. The
      // listed names are full names, given with a leading '.' so that they are not read relative
      // to the context.
      NwNameList volumes;
      std::string root = kRoot;
      NwNdsListAllVolumes(tree, root, volumes);
      for (const std::string& other : volumes) {
        rc = NwNdsCreateQueue(tree, context, printer, "." + other, 1, queue);
        if (rc == 0) break;
      }
      if (rc != 0) return rc;
    }
    ++number;
  }
  return 0;
}

}  // namespace netware

#include "wizard_netware/nw_bindery.h"

#include <cstdio>

#include "wizard_netware/nw_client.h"
#include "wizard_netware/nw_codes.h"
#include "wizard_netware/nw_layer.h"
#include "wizard_netware/nw_sim_twins.h"
#include "wizard_netware/nw_simulation.h"

namespace netware {
namespace {

using detail::BinderyFrame;
using detail::Upper;
using detail::UpperInPlace;

// Scans the bindery objects of one type; fn(name, id) returns true to stop. Returns the code that
// ended the scan, or 0 when fn stopped it.
template <typename Fn>
int ScanObjects(NwHandle conn, WORD type, Fn fn) {
  NwClient& client = GetNwClient();
  std::int32_t id = -1;
  for (;;) {
    std::string name;
    int rc = client.ScanBinderyObject(conn, "*", type, &id, &name);
    if (rc != 0) return rc;
    UpperInPlace(name);
    if (fn(name, id)) return 0;
  }
}

int ListObjects(std::string& fileServer, WORD type, const char* kind, NwNameList& list) {
  if (IsNwSimulation()) return sim::ListKind(kind, list);
  list.clear();
  NwHandle conn = 0;
  int rc = BinderyFrame(fileServer, &conn, true);
  if (rc != 0) return rc;
  ScanObjects(conn, type, [&](const std::string& name, std::int32_t) {
    list.push_back(name);
    return false;
  });
  return 0;
}

int FindObject(std::string& fileServer, WORD type, const char* kind, const std::string& name) {
  if (IsNwSimulation()) return sim::FindInKind(kind, name);
  NwHandle conn = 0;
  int rc = BinderyFrame(fileServer, &conn, true);
  if (rc != 0) return rc;
  const std::string wanted = Upper(name);
  bool found = false;
  ScanObjects(conn, type, [&](const std::string& seen, std::int32_t) {
    found = seen == wanted;
    return found;
  });
  return found ? 0 : kNwNotFound;
}

// A member of attribute 34 or 16 of a print server (isQueue false) or queue.
int MemberOp(std::string& fileServer, const std::string& object, bool isQueue, int attr,
             BYTE type, std::string& member, bool add) {
  if (IsNwSimulation()) {
    const char* key = attr == kAttrUsers ? (type == kMemberGroup ? sim::kGroupKey : sim::kUserKey)
                                         : (type == kMemberGroup ? sim::kOperatorGroupKey
                                                                 : sim::kOperatorUserKey);
    return add ? sim::AddToKey(object, key, member) : sim::RemoveFromKey(object, key, member);
  }
  NwHandle conn = 0;
  int rc = BinderyFrame(fileServer, &conn);
  if (rc != 0) return rc;
  UpperInPlace(member);
  NwAttrBlock block{type, 0, member};
  NwClient& client = GetNwClient();
  if (isQueue) {
    return add ? client.PsAddQueueAttr(kBinderyMode, conn, object, attr, block)
               : client.PsRemoveQueueAttr(kBinderyMode, conn, object, attr, block);
  }
  return add ? client.PsAddPrintServerAttr(kBinderyMode, conn, object, attr, block)
             : client.PsRemovePrintServerAttr(kBinderyMode, conn, object, attr, block);
}

// The members of attribute 34 or 16 of a print server (isQueue false) or queue.
int MemberList(std::string& fileServer, const std::string& object, bool isQueue, int attr,
               bool groups, NwNameList& list, bool initMayFail) {
  if (IsNwSimulation()) {
    const char* key = attr == kAttrUsers ? (groups ? sim::kGroupKey : sim::kUserKey)
                                         : (groups ? sim::kOperatorGroupKey
                                                   : sim::kOperatorUserKey);
    return sim::ListKey(object, key, list);
  }
  list.clear();
  NwHandle conn = 0;
  int rc = BinderyFrame(fileServer, &conn, initMayFail);
  if (rc != 0) return rc;
  detail::ScanCalls calls = isQueue
                                ? detail::QueueAttrScan(kBinderyMode, conn, object, attr)
                                : detail::PrintServerAttrScan(kBinderyMode, conn, object, attr);
  return detail::RunScan(calls, list, nullptr,
                         groups ? detail::IsGroupMember : detail::IsUserMember);
}

int QueueLinkOp(std::string& fileServer, const std::string& printServer,
                const std::string& printer, int priority, std::string& queue, bool add) {
  if (IsNwSimulation()) {
    return add ? sim::AddToKey(printer, "queue", queue) : sim::RemoveFromKey(printer, "queue", queue);
  }
  NwHandle conn = 0;
  int rc = BinderyFrame(fileServer, &conn);
  if (rc != 0) return rc;
  UpperInPlace(queue);
  NwQueueLink link{queue, priority};
  NwClient& client = GetNwClient();
  return add ? client.PsAddQueueToPrinter(kBinderyMode, conn, printServer, printer, kAttrQueues,
                                          link)
             : client.PsRemoveQueueFromPrinter(kBinderyMode, conn, printServer, printer,
                                               kAttrQueues, link);
}

// The print server's object id as the eight hexadecimal digits of its directory.
std::string IdDirectory(std::int32_t id) {
  char text[16];
  std::snprintf(text, sizeof text, "%08lx",
                static_cast<unsigned long>(static_cast<std::uint32_t>(id)));
  return text;
}

}  // namespace

int NwBindListFileServers(NwNameList& list) {
  if (IsNwSimulation()) return sim::ListFileServers(list);
  list.clear();
  NwClient& client = GetNwClient();
  client.InitClient();
  NwHandle conn = 0;
  if (client.GetDefaultConnection(&conn) != 0) return 0;
  NwNameList servers;
  ScanObjects(conn, kObjFileServer, [&](const std::string& name, std::int32_t) {
    servers.push_back(name);
    return false;
  });
  for (std::string server : servers) {
    NwHandle serverConn = 0;
    int rc = client.AttachToFileServer(server, &serverConn);
    if (rc != 0 && rc != kNwAlreadyAttached) continue;
    std::string probe = server;
    NwGetServerMajorVersion(probe);
    WORD type = 0;
    if (client.GetFileServerType(serverConn, &type) != 0) continue;
    if ((type & 0xff) == '3') list.push_back(server);
  }
  return 0;
}

int NwGetServerMajorVersion(std::string& fileServer) {
  if (IsNwSimulation()) return sim::ServerMajorVersion(fileServer);
  NwHandle conn = 0;
  int rc = BinderyFrame(fileServer, &conn);
  if (rc != 0) return rc;
  std::string text;
  rc = GetNwClient().GetFileServerDescription(conn, &text);
  if (rc != 0) return rc;
  std::size_t dot = text.find('.');
  if (dot == std::string::npos || dot == 0) return kNwNdsNotFound;
  return text[dot - 1] - '0';
}

int NwBindAttach(std::string& fileServer) {
  if (IsNwSimulation()) return 0;
  NwHandle conn = 0;
  return BinderyFrame(fileServer, &conn);
}

bool NwClientInit() { return GetNwClient().InitClient() == 0; }

int NwBindCreatePrintServer(std::string& fileServer, const std::string& printServer) {
  if (IsNwSimulation()) return sim::AddToKind(sim::kPrintServers, printServer);
  NwHandle conn = 0;
  int rc = BinderyFrame(fileServer, &conn);
  if (rc != 0) return rc;
  return GetNwClient().PsCreatePrintServer(kBinderyMode, conn, printServer);
}

int NwBindDeletePrintServer(std::string& fileServer, const std::string& printServer) {
  if (IsNwSimulation()) return sim::RemoveFromKind(sim::kPrintServers, printServer);
  NwHandle conn = 0;
  int rc = BinderyFrame(fileServer, &conn);
  if (rc != 0) return rc;
  return GetNwClient().PsDeletePrintServer(kBinderyMode, conn, printServer);
}

int NwBindFindPrintServer(std::string& fileServer, const std::string& name) {
  return FindObject(fileServer, kObjPrintServer, sim::kPrintServers, name);
}

int NwBindFindQueue(std::string& fileServer, const std::string& name) {
  return FindObject(fileServer, kObjQueue, sim::kQueues, name);
}

int NwBindGetQueueId(std::string& fileServer, const std::string& queue, std::string& id) {
  if (IsNwSimulation()) {
    id = "IDxxxx";
    return 0;
  }
  NwHandle conn = 0;
  int rc = BinderyFrame(fileServer, &conn);
  if (rc != 0) return rc;
  const std::string wanted = Upper(queue);
  std::int32_t foundId = 0;
  rc = ScanObjects(conn, kObjQueue, [&](const std::string& name, std::int32_t objectId) {
    foundId = objectId;
    return name == wanted;
  });
  if (rc != 0) return rc;
  char text[24];
  std::snprintf(text, sizeof text, "0X%-4lx",
                static_cast<unsigned long>(static_cast<std::uint32_t>(foundId)));
  id = text;
  return 0;
}

int NwBindListPrintServers(std::string& fileServer, NwNameList& list) {
  return ListObjects(fileServer, kObjPrintServer, sim::kPrintServers, list);
}
int NwBindListQueues(std::string& fileServer, NwNameList& list) {
  return ListObjects(fileServer, kObjQueue, sim::kQueues, list);
}
int NwBindListUsers(std::string& fileServer, NwNameList& list) {
  return ListObjects(fileServer, kObjUser, sim::kUsers, list);
}
int NwBindListGroups(std::string& fileServer, NwNameList& list) {
  return ListObjects(fileServer, kObjGroup, sim::kGroups, list);
}

int NwBindSetPrintServerPassword(std::string& fileServer, const std::string& printServer,
                                 const std::string& oldPassword, const std::string& newPassword) {
  if (IsNwSimulation()) return sim::SetPassword(printServer, oldPassword, newPassword);
  NwHandle conn = 0;
  int rc = BinderyFrame(fileServer, &conn, true);
  if (rc != 0) return rc;
  return GetNwClient().ChangeBinderyObjectPassword(conn, printServer, kPasswordObjPrintServer,
                                                   oldPassword, newPassword);
}

int NwBindCreatePrinter(std::string& fileServer, const std::string& printServer,
                        const std::string& printer, int number) {
  if (IsNwSimulation()) return sim::CreatePrinter(printServer, printer);
  NwHandle conn = 0;
  int rc = BinderyFrame(fileServer, &conn);
  if (rc != 0) return rc;
  NwClient& client = GetNwClient();
  rc = client.PsCreatePrinter(kBinderyMode, conn, printServer, printer, &number);
  if (rc != 0) return rc;
  NwAttrBlock block{0, static_cast<BYTE>(number), printer};
  return client.PsAddPrintServerAttr(kBinderyMode, conn, printServer, kAttrPrinters, block);
}

int NwBindCreatePrinterEntry(std::string& fileServer, const std::string& printServer,
                             const std::string& printer, int number) {
  if (IsNwSimulation()) return sim::AddToKey(printServer, "printer", printer);
  return NwBindCreatePrinter(fileServer, printServer, printer, number);
}

int NwBindDeletePrinter(std::string& fileServer, const std::string& printServer,
                        const std::string& printer, int) {
  if (IsNwSimulation()) return sim::RemoveFromKey(printServer, "printer", printer);
  NwHandle conn = 0;
  int rc = BinderyFrame(fileServer, &conn);
  if (rc != 0) return rc;
  return GetNwClient().PsDeletePrinter(kBinderyMode, conn, printServer, printer);
}

int NwBindListPrinters(std::string& fileServer, const std::string& printServer, NwNameList& list,
                       NwByteArray& numbers) {
  if (IsNwSimulation()) return sim::ListNumbered(printServer, "printer", list, numbers);
  list.clear();
  numbers.clear();
  NwHandle conn = 0;
  int rc = BinderyFrame(fileServer, &conn);
  if (rc != 0) return rc;
  detail::ScanCalls calls =
      detail::PrintServerAttrScan(kBinderyMode, conn, printServer, kAttrPrinters);
  return detail::RunScan(calls, list, &numbers, detail::KeepAll);
}

int NwBindCreateQueue(std::string& fileServer, const std::string& printServer,
                      const std::string& printer, int priority, std::string& queue) {
  if (IsNwSimulation()) return sim::CreateQueue(printer, queue);
  NwHandle conn = 0;
  int rc = BinderyFrame(fileServer, &conn);
  if (rc != 0) return rc;
  rc = GetNwClient().PsCreateQueue(kBinderyMode, conn, queue, "");
  if (rc != 0) return rc;
  return NwBindAddQueueToPrinter(fileServer, printServer, printer, priority, queue);
}

int NwBindDeleteQueue(std::string& fileServer, const std::string& queue) {
  if (IsNwSimulation()) return sim::DeleteQueueEverywhere(queue);
  NwHandle conn = 0;
  int rc = BinderyFrame(fileServer, &conn);
  if (rc != 0) return rc;
  return GetNwClient().PsDeleteQueue(kBinderyMode, conn, queue);
}

int NwBindAddQueueToPrinter(std::string& fileServer, const std::string& printServer,
                            const std::string& printer, int priority, std::string& queue) {
  return QueueLinkOp(fileServer, printServer, printer, priority, queue, true);
}

int NwBindRemoveQueueFromPrinter(std::string& fileServer, const std::string& printServer,
                                 const std::string& printer, int priority, std::string& queue) {
  return QueueLinkOp(fileServer, printServer, printer, priority, queue, false);
}

int NwBindListPrinterQueues(std::string& fileServer, const std::string& printServer,
                            const std::string& printer, NwByteArray& priorities,
                            NwNameList& list) {
  if (IsNwSimulation()) return sim::ListNumbered(printer, "queue", list, priorities);
  list.clear();
  priorities.clear();
  NwHandle conn = 0;
  int rc = BinderyFrame(fileServer, &conn);
  if (rc != 0) return rc;
  detail::ScanCalls calls = detail::PrinterQueueScan(kBinderyMode, conn, printServer, printer);
  return detail::RunScan(calls, list, &priorities, detail::KeepAll);
}

int NwBindListPrintServerUsers(std::string& fs, const std::string& ps, NwNameList& list) {
  return MemberList(fs, ps, false, kAttrUsers, false, list, true);
}
int NwBindListPrintServerGroups(std::string& fs, const std::string& ps, NwNameList& list) {
  return MemberList(fs, ps, false, kAttrUsers, true, list, false);
}
int NwBindListPrintServerOperators(std::string& fs, const std::string& ps, NwNameList& list) {
  return MemberList(fs, ps, false, kAttrOperators, false, list, true);
}
int NwBindListPrintServerOperatorGroups(std::string& fs, const std::string& ps,
                                        NwNameList& list) {
  return MemberList(fs, ps, false, kAttrOperators, true, list, false);
}

int NwBindAddPrintServerUser(std::string& fs, const std::string& ps, std::string& member) {
  return MemberOp(fs, ps, false, kAttrUsers, kMemberUser, member, true);
}
int NwBindRemovePrintServerUser(std::string& fs, const std::string& ps, std::string& member) {
  return MemberOp(fs, ps, false, kAttrUsers, kMemberUser, member, false);
}
int NwBindAddPrintServerGroup(std::string& fs, const std::string& ps, std::string& member) {
  return MemberOp(fs, ps, false, kAttrUsers, kMemberGroup, member, true);
}
int NwBindRemovePrintServerGroup(std::string& fs, const std::string& ps, std::string& member) {
  return MemberOp(fs, ps, false, kAttrUsers, kMemberGroup, member, false);
}
int NwBindAddPrintServerOperator(std::string& fs, const std::string& ps, std::string& member) {
  return MemberOp(fs, ps, false, kAttrOperators, kMemberUser, member, true);
}
int NwBindRemovePrintServerOperator(std::string& fs, const std::string& ps, std::string& member) {
  return MemberOp(fs, ps, false, kAttrOperators, kMemberUser, member, false);
}
int NwBindAddPrintServerOperatorGroup(std::string& fs, const std::string& ps,
                                      std::string& member) {
  return MemberOp(fs, ps, false, kAttrOperators, kMemberGroup, member, true);
}
int NwBindRemovePrintServerOperatorGroup(std::string& fs, const std::string& ps,
                                         std::string& member) {
  return MemberOp(fs, ps, false, kAttrOperators, kMemberGroup, member, false);
}

int NwBindListQueueUsers(std::string& fs, const std::string& queue, NwNameList& list) {
  return MemberList(fs, queue, true, kAttrUsers, false, list, false);
}
int NwBindListQueueGroups(std::string& fs, const std::string& queue, NwNameList& list) {
  return MemberList(fs, queue, true, kAttrUsers, true, list, false);
}
int NwBindListQueueOperators(std::string& fs, const std::string& queue, NwNameList& list) {
  return MemberList(fs, queue, true, kAttrOperators, false, list, false);
}
int NwBindListQueueOperatorGroups(std::string& fs, const std::string& queue, NwNameList& list) {
  return MemberList(fs, queue, true, kAttrOperators, true, list, false);
}

int NwBindAddQueueUser(std::string& fs, const std::string& queue, std::string& member) {
  return MemberOp(fs, queue, true, kAttrUsers, kMemberUser, member, true);
}
int NwBindRemoveQueueUser(std::string& fs, const std::string& queue, std::string& member) {
  return MemberOp(fs, queue, true, kAttrUsers, kMemberUser, member, false);
}
int NwBindAddQueueGroup(std::string& fs, const std::string& queue, std::string& member) {
  return MemberOp(fs, queue, true, kAttrUsers, kMemberGroup, member, true);
}
int NwBindRemoveQueueGroup(std::string& fs, const std::string& queue, std::string& member) {
  return MemberOp(fs, queue, true, kAttrUsers, kMemberGroup, member, false);
}
int NwBindAddQueueOperator(std::string& fs, const std::string& queue, std::string& member) {
  return MemberOp(fs, queue, true, kAttrOperators, kMemberUser, member, true);
}
int NwBindRemoveQueueOperator(std::string& fs, const std::string& queue, std::string& member) {
  return MemberOp(fs, queue, true, kAttrOperators, kMemberUser, member, false);
}
int NwBindAddQueueOperatorGroup(std::string& fs, const std::string& queue, std::string& member) {
  return MemberOp(fs, queue, true, kAttrOperators, kMemberGroup, member, true);
}
int NwBindRemoveQueueOperatorGroup(std::string& fs, const std::string& queue,
                                   std::string& member) {
  return MemberOp(fs, queue, true, kAttrOperators, kMemberGroup, member, false);
}

int NwBindListServicedFileServers(std::string& fileServer, const std::string& printServer,
                                  NwNameList& list) {
  if (IsNwSimulation()) return sim::ListKey(printServer, sim::kServicedKey, list);
  list.clear();
  NwHandle conn = 0;
  int rc = BinderyFrame(fileServer, &conn);
  if (rc != 0) return rc;
  NwClient& client = GetNwClient();
  detail::ScanCalls calls{
      [&](NwHandle* scan, NwAttrBlock* block) {
        return client.PsScanServicedOpen(kBinderyMode, conn, printServer, scan, &block->name);
      },
      [&](NwHandle scan, NwAttrBlock* block) {
        return client.PsScanServicedNext(scan, printServer, &block->name);
      },
      [&](NwHandle scan) { return client.PsScanServicedClose(scan); }};
  const std::string own = Upper(fileServer);
  return detail::RunScan(calls, list, nullptr,
                         [&](const NwAttrBlock& block) { return Upper(block.name) != own; });
}

int NwBindAddServicedFileServer(std::string& fileServer, const std::string& printServer,
                                const std::string& servedFileServer) {
  if (IsNwSimulation()) return sim::AddToKey(printServer, sim::kServicedKey, servedFileServer);
  NwHandle conn = 0;
  int rc = BinderyFrame(fileServer, &conn);
  if (rc != 0) return rc;
  return GetNwClient().PsAddServicedFileServer(kBinderyMode, conn, printServer, servedFileServer);
}

int NwBindRemoveServicedFileServer(std::string& fileServer, const std::string& printServer,
                                   std::string& servedFileServer) {
  if (IsNwSimulation()) {
    return sim::RemoveFromKey(printServer, sim::kServicedKey, servedFileServer);
  }
  UpperInPlace(fileServer);
  UpperInPlace(servedFileServer);
  NwNameList served;
  int rc = NwBindListServicedFileServers(fileServer, printServer, served);
  if (rc != 0) return rc;
  served.remove_if([&](const std::string& name) { return Upper(name) == servedFileServer; });

  NwHandle conn = 0;
  rc = BinderyFrame(fileServer, &conn);
  if (rc != 0) return rc;
  const std::string wanted = Upper(printServer);
  std::int32_t id = 0;
  bool found = false;
  ScanObjects(conn, kObjPrintServer, [&](const std::string& name, std::int32_t objectId) {
    id = objectId;
    found = name == wanted;
    return found;
  });
  if (!found) return kNwPrintServerNotOnServer;

  // Deleting the print server's list of serviced file servers resets it to the server it lives
  // on; the others are added back.
  NwClient& client = GetNwClient();
  char drive = 0;
  rc = client.MapDirectory(conn, "SYS:\\SYSTEM", &drive);
  if (rc != 0) return rc;
  client.DeleteFile(std::string(1, drive) + ":\\" + IdDirectory(id) + "\\FILESERV");
  client.FreeDirectory(drive);
  for (const std::string& name : served) {
    rc = NwBindAddServicedFileServer(fileServer, printServer, name);
    if (rc != 0) return rc;
  }
  return 0;
}

int NwBindPrinterStatus(const std::string&, const std::string& printServer, int,
                        NwPrinterStatusRecord* record) {
  NwClient& client = GetNwClient();
  int rc = client.InitClient();
  if (rc != 0) return rc;
  NwHandle conn = 0;
  rc = client.GetDefaultConnection(&conn);
  if (rc != 0) return rc;
  std::vector<NwHandle> conns;
  rc = client.GetConnectionList(&conns, 16);
  if (rc != 0) return rc;
  if (conns.empty()) return kNwServerNoConnection;
  NwHandle status = 0;
  rc = client.PsAttachStatus(conns.front(), printServer, 60, &status);
  if (rc != 0 && rc != 70) return rc;
  NwStatusBlock blocks[3];
  rc = client.PsReadStatus(status, 75, 20, &blocks[0]);
  if (rc == 0) rc = client.PsReadStatus(status, 80, 0, &blocks[1]);
  if (rc == 0) rc = client.PsReadStatus(status, 81, 0, &blocks[2]);
  if (rc == 0 && record != nullptr) {
    *record = NwPrinterStatusRecord();
    record->iValid = 1;
    for (int i = 0; i < 3; ++i) {
      std::snprintf(record->szText[i], sizeof record->szText[i], "%s", blocks[i].text.c_str());
    }
    record->iStatus[0] = blocks[1].value;
    record->iStatus[1] = blocks[2].value;
  }
  client.PsDetachStatus(status);
  return rc;
}

int NwBindSetupPrintServer(std::string& fileServer, const std::string& printServer,
                           const NwNameList& printers, const NwNameList& queues) {
  if (IsNwSimulation()) return sim::SetupPrintServer(printServer, printers, queues);
  if (printers.empty() || queues.empty() || printers.size() != queues.size()) {
    return kNwEmptyNameList;
  }
  NwBindDeletePrintServer(fileServer, printServer);
  int rc = NwBindCreatePrintServer(fileServer, printServer);
  if (rc != 0) return rc;
  auto queue = queues.begin();
  int number = 0;
  for (const std::string& printer : printers) {
    std::string queueName = *queue++;
    NwBindDeletePrinter(fileServer, printServer, printer, number);
    rc = NwBindCreatePrinter(fileServer, printServer, printer, number);
    if (rc != 0) return rc;
    NwBindDeleteQueue(fileServer, queueName);
    rc = NwBindCreateQueue(fileServer, printServer, printer, 1, queueName);
    if (rc != 0) return rc;
    ++number;
  }
  return 0;
}

}  // namespace netware

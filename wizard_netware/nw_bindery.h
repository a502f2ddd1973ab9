// Print-services objects of one NetWare file server (bindery mode). Every function checks the
// simulation switch first (IsNwSimulation) and then answers from the settings file; otherwise it
// starts the client, attaches to the file server by name (an existing connection is used) and runs
// its operation. Results are client codes, 0 for success (nw_codes.h). Names given by non-const
// reference are upper-cased in place before use (outside the simulation).
#pragma once
#include <string>

#include "wizard_netware/nw_types.h"

namespace netware {

int NwBindListFileServers(NwNameList& list);
int NwGetServerMajorVersion(std::string& fileServer);
int NwBindAttach(std::string& fileServer);
bool NwClientInit();

int NwBindCreatePrintServer(std::string& fileServer, const std::string& printServer);
int NwBindDeletePrintServer(std::string& fileServer, const std::string& printServer);
int NwBindFindPrintServer(std::string& fileServer, const std::string& name);
int NwBindFindQueue(std::string& fileServer, const std::string& name);
int NwBindGetQueueId(std::string& fileServer, const std::string& queue, std::string& id);
int NwBindListPrintServers(std::string& fileServer, NwNameList& list);
int NwBindListQueues(std::string& fileServer, NwNameList& list);
int NwBindListUsers(std::string& fileServer, NwNameList& list);
int NwBindListGroups(std::string& fileServer, NwNameList& list);
int NwBindSetPrintServerPassword(std::string& fileServer, const std::string& printServer,
                                 const std::string& oldPassword, const std::string& newPassword);

int NwBindCreatePrinter(std::string& fileServer, const std::string& printServer,
                        const std::string& printer, int number);
int NwBindCreatePrinterEntry(std::string& fileServer, const std::string& printServer,
                             const std::string& printer, int number);
int NwBindDeletePrinter(std::string& fileServer, const std::string& printServer,
                        const std::string& printer, int number);
int NwBindListPrinters(std::string& fileServer, const std::string& printServer, NwNameList& list,
                       NwByteArray& numbers);

int NwBindCreateQueue(std::string& fileServer, const std::string& printServer,
                      const std::string& printer, int priority, std::string& queue);
int NwBindDeleteQueue(std::string& fileServer, const std::string& queue);
int NwBindAddQueueToPrinter(std::string& fileServer, const std::string& printServer,
                            const std::string& printer, int priority, std::string& queue);
int NwBindRemoveQueueFromPrinter(std::string& fileServer, const std::string& printServer,
                                 const std::string& printer, int priority, std::string& queue);
int NwBindListPrinterQueues(std::string& fileServer, const std::string& printServer,
                            const std::string& printer, NwByteArray& priorities,
                            NwNameList& list);

int NwBindListPrintServerUsers(std::string& fileServer, const std::string& printServer,
                               NwNameList& list);
int NwBindListPrintServerGroups(std::string& fileServer, const std::string& printServer,
                                NwNameList& list);
int NwBindListPrintServerOperators(std::string& fileServer, const std::string& printServer,
                                   NwNameList& list);
int NwBindListPrintServerOperatorGroups(std::string& fileServer, const std::string& printServer,
                                        NwNameList& list);
int NwBindAddPrintServerUser(std::string& fileServer, const std::string& printServer,
                             std::string& member);
int NwBindRemovePrintServerUser(std::string& fileServer, const std::string& printServer,
                                std::string& member);
int NwBindAddPrintServerGroup(std::string& fileServer, const std::string& printServer,
                              std::string& member);
int NwBindRemovePrintServerGroup(std::string& fileServer, const std::string& printServer,
                                 std::string& member);
int NwBindAddPrintServerOperator(std::string& fileServer, const std::string& printServer,
                                 std::string& member);
int NwBindRemovePrintServerOperator(std::string& fileServer, const std::string& printServer,
                                    std::string& member);
int NwBindAddPrintServerOperatorGroup(std::string& fileServer, const std::string& printServer,
                                      std::string& member);
int NwBindRemovePrintServerOperatorGroup(std::string& fileServer, const std::string& printServer,
                                         std::string& member);

int NwBindListQueueUsers(std::string& fileServer, const std::string& queue, NwNameList& list);
int NwBindListQueueGroups(std::string& fileServer, const std::string& queue, NwNameList& list);
int NwBindListQueueOperators(std::string& fileServer, const std::string& queue,
                             NwNameList& list);
int NwBindListQueueOperatorGroups(std::string& fileServer, const std::string& queue,
                                  NwNameList& list);
int NwBindAddQueueUser(std::string& fileServer, const std::string& queue, std::string& member);
int NwBindRemoveQueueUser(std::string& fileServer, const std::string& queue,
                          std::string& member);
int NwBindAddQueueGroup(std::string& fileServer, const std::string& queue, std::string& member);
int NwBindRemoveQueueGroup(std::string& fileServer, const std::string& queue,
                           std::string& member);
int NwBindAddQueueOperator(std::string& fileServer, const std::string& queue,
                           std::string& member);
int NwBindRemoveQueueOperator(std::string& fileServer, const std::string& queue,
                              std::string& member);
int NwBindAddQueueOperatorGroup(std::string& fileServer, const std::string& queue,
                                std::string& member);
int NwBindRemoveQueueOperatorGroup(std::string& fileServer, const std::string& queue,
                                   std::string& member);

int NwBindListServicedFileServers(std::string& fileServer, const std::string& printServer,
                                  NwNameList& list);
int NwBindAddServicedFileServer(std::string& fileServer, const std::string& printServer,
                                const std::string& servedFileServer);
int NwBindRemoveServicedFileServer(std::string& fileServer, const std::string& printServer,
                                   std::string& servedFileServer);

// Reads the status of a print server over the first connection of the client (no simulation).
int NwBindPrinterStatus(const std::string& unused, const std::string& printServer, int unusedValue,
                        NwPrinterStatusRecord* record);

// The set-up sequence of the bindery page: the print server, then for each index i printer i
// (numbered i) and queue i linked to it with priority 1. Both lists must be non-empty and of one
// length (else 35323, nothing touched); it stops at the first failing create.
int NwBindSetupPrintServer(std::string& fileServer, const std::string& printServer,
                           const NwNameList& printers, const NwNameList& queues);

}  // namespace netware

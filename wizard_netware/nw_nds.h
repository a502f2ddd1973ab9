// Print-services objects in a NetWare directory tree, inside a name context (a dotted container
// name such as "SALES.ACME"; "[ROOT]" is the tree's root). Every function but NwNdsListAllVolumes
// and NwNdsRelativeName checks the simulation switch first; otherwise it upper-cases the tree and
// the context in place, starts the client, makes the tree the preferred tree, opens a context
// handle on the context and runs its operation. Results are client codes, 0 for success
// (nw_codes.h). Names given by non-const reference may be changed in place (upper-cased, or in the
// simulation cut at their first '.').
//
// Names that come back from the directory may carry their types ("OU=SALES"); every function cuts
// a component's type the same way, up to and including its '='.
#pragma once
#include <string>

#include "wizard_netware/nw_types.h"

namespace netware {

int NwListTrees(NwNameList& list);
int NwNdsCheckTree(std::string& tree, const std::string& unused);
int NwNdsSelectContext(std::string& tree, std::string& context);
int NwNdsFindContext(std::string& tree, std::string& start, std::string& wanted);
int NwNdsListContainers(std::string& tree, std::string& container, NwNameList& list);
int NwNdsListAllVolumes(std::string& tree, std::string& container, NwNameList& list);

int NwNdsListPrintServers(std::string& tree, std::string& context, NwNameList& list);
int NwNdsListQueues(std::string& tree, std::string& context, NwNameList& list);
int NwNdsListUsers(std::string& tree, std::string& context, NwNameList& list);
int NwNdsListGroups(std::string& tree, std::string& context, NwNameList& list);
int NwNdsListVolumes(std::string& tree, std::string& context, NwNameList& list);
int NwNdsFindPrintServer(std::string& tree, std::string& context, const std::string& name);
int NwNdsFindQueue(std::string& tree, std::string& context, const std::string& name);
int NwNdsFindPrinter(std::string& tree, std::string& context, const std::string& name);

int NwNdsCreatePrintServer(std::string& tree, std::string& context, const std::string& printServer);
int NwNdsDeletePrintServer(std::string& tree, std::string& context, const std::string& printServer);
int NwNdsSetPassword(const std::string& tree, const std::string& context, const std::string& object,
                     const std::string& oldPassword, const std::string& newPassword);

int NwNdsCreatePrinter(std::string& tree, std::string& context, const std::string& printServer,
                       std::string& printer, int number);
int NwNdsDeletePrinter(std::string& tree, std::string& context, const std::string& printer);
int NwNdsAddPrinterToPrintServer(std::string& tree, std::string& context,
                                 const std::string& printServer, std::string& printer, int number);
int NwNdsRemovePrinterFromPrintServer(std::string& tree, std::string& context,
                                      const std::string& printServer, std::string& printer,
                                      int number);
int NwNdsListPrinters(std::string& tree, std::string& context, const std::string& printServer,
                      NwNameList& list, NwByteArray& numbers);

int NwNdsCreateQueue(std::string& tree, std::string& context, std::string& printer,
                     const std::string& volume, int priority, std::string& queue);
int NwNdsDeleteQueue(std::string& tree, std::string& context, const std::string& queue);
int NwNdsAddQueueToPrinter(std::string& tree, std::string& context, std::string& printer,
                           int priority, std::string& queue);
int NwNdsRemoveQueueFromPrinter(std::string& tree, std::string& context, std::string& printer,
                                int priority, std::string& queue);
int NwNdsListPrinterQueues(std::string& tree, std::string& context, const std::string& printer,
                           NwByteArray& priorities, NwNameList& list);

int NwNdsListPrintServerUsers(std::string& tree, std::string& context,
                              const std::string& printServer, NwNameList& list);
int NwNdsListPrintServerGroups(std::string& tree, std::string& context,
                               const std::string& printServer, NwNameList& list);
int NwNdsListPrintServerOperators(std::string& tree, std::string& context,
                                  const std::string& printServer, NwNameList& list);
int NwNdsListPrintServerOperatorGroups(std::string& tree, std::string& context,
                                       const std::string& printServer, NwNameList& list);
int NwNdsAddPrintServerUser(std::string& tree, std::string& context,
                            const std::string& printServer, std::string& member);
int NwNdsRemovePrintServerUser(std::string& tree, std::string& context,
                               const std::string& printServer, std::string& member);
int NwNdsAddPrintServerGroup(std::string& tree, std::string& context,
                             const std::string& printServer, std::string& member);
int NwNdsRemovePrintServerGroup(std::string& tree, std::string& context,
                                const std::string& printServer, std::string& member);
int NwNdsAddPrintServerOperator(std::string& tree, std::string& context,
                                const std::string& printServer, std::string& member);
int NwNdsRemovePrintServerOperator(std::string& tree, std::string& context,
                                   const std::string& printServer, std::string& member);
int NwNdsAddPrintServerOperatorGroup(std::string& tree, std::string& context,
                                     const std::string& printServer, std::string& member);
int NwNdsRemovePrintServerOperatorGroup(std::string& tree, std::string& context,
                                        const std::string& printServer, std::string& member);

int NwNdsListQueueUsers(std::string& tree, std::string& context, const std::string& queue,
                        NwNameList& list);
int NwNdsListQueueGroups(std::string& tree, std::string& context, const std::string& queue,
                         NwNameList& list);
int NwNdsListQueueOperators(std::string& tree, std::string& context, const std::string& queue,
                            NwNameList& list);
int NwNdsListQueueOperatorGroups(std::string& tree, std::string& context,
                                 const std::string& queue, NwNameList& list);
int NwNdsAddQueueUser(std::string& tree, std::string& context, const std::string& queue,
                      std::string& member);
int NwNdsRemoveQueueUser(std::string& tree, std::string& context, const std::string& queue,
                         std::string& member);
int NwNdsAddQueueGroup(std::string& tree, std::string& context, const std::string& queue,
                       std::string& member);
int NwNdsRemoveQueueGroup(std::string& tree, std::string& context, const std::string& queue,
                          std::string& member);
int NwNdsAddQueueOperator(std::string& tree, std::string& context, const std::string& queue,
                          std::string& member);
int NwNdsRemoveQueueOperator(std::string& tree, std::string& context, const std::string& queue,
                             std::string& member);
int NwNdsAddQueueOperatorGroup(std::string& tree, std::string& context, const std::string& queue,
                               std::string& member);
int NwNdsRemoveQueueOperatorGroup(std::string& tree, std::string& context,
                                  const std::string& queue, std::string& member);

// Looks for a volume whose name contains "_SYS" below the start container, deepest containers
// first; the volume's name comes back relative to the context (NwNdsRelativeName). 0 or -1.
int NwNdsFindSysVolume(std::string& tree, std::string& context, std::string& volume,
                       std::string& firstVolume, const std::string& start);
int NwNdsGetQueueIds(std::string& tree, std::string& context, const std::string& queue,
                     std::string& id, std::string& server, std::string& volume);
// The container's name relative to the context, in relative form (a trailing '.' climbs one level).
void NwNdsRelativeName(const std::string& context, const std::string& container, std::string& out);

// The set-up sequence of the NDS page, as NwBindSetupPrintServer; each queue goes on the tree's
// "_SYS" volume (else the first volume found), and when that fails on the first volume of the tree
// that takes it.
int NwNdsSetupPrintServer(std::string& tree, std::string& context, const std::string& printServer,
                          const NwNameList& printers, const NwNameList& queues);

}  // namespace netware

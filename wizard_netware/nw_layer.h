// Pieces shared by the bindery and NDS functions (inside the layer).
#pragma once
#include <functional>
#include <string>

#include "wizard_netware/nw_client.h"
#include "wizard_netware/nw_types.h"

namespace netware::detail {

void UpperInPlace(std::string& text);
std::string Upper(std::string text);

// Starts the client and attaches to the file server (upper-cased in place). The client start's
// failure ends it unless initMayFail; an attach result other than 0 and 0x8800 ends it.
int BinderyFrame(std::string& fileServer, NwHandle* conn, bool initMayFail = false);

// One print-services scan: open gives the first block, next the following ones; both answer
// 30562 at the end. Keeps the blocks that pass the filter: their names in the list and, when
// numbers is given, their byte 4 beside them.
struct ScanCalls {
  std::function<int(NwHandle* scan, NwAttrBlock* block)> open;
  std::function<int(NwHandle scan, NwAttrBlock* block)> next;
  std::function<int(NwHandle scan)> close;
};
// The scans of a print server's attribute, a queue's attribute and a printer's queues.
ScanCalls PrintServerAttrScan(int mode, NwHandle h, const std::string& printServer, int attr);
ScanCalls QueueAttrScan(int mode, NwHandle h, const std::string& queue, int attr);
ScanCalls PrinterQueueScan(int mode, NwHandle h, const std::string& printServer,
                           const std::string& printer);
int RunScan(const ScanCalls& calls, NwNameList& list, NwByteArray* numbers,
            const std::function<bool(const NwAttrBlock&)>& keep);

// Filters of the member lists: users are every member that is not a group.
bool IsUserMember(const NwAttrBlock& block);
bool IsGroupMember(const NwAttrBlock& block);
bool KeepAll(const NwAttrBlock& block);

}  // namespace netware::detail

// The simulation twins the bindery and NDS functions call when the switch is on (inside the layer).
#pragma once
#include <string>

#include "wizard_netware/nw_types.h"

namespace netware::sim {

// Kinds of object with a [<kind>] total list.
inline constexpr const char* kPrintServers = "printserver";
inline constexpr const char* kQueues = "queue";
inline constexpr const char* kPrinters = "printer";
inline constexpr const char* kUsers = "user";
inline constexpr const char* kGroups = "group";
inline constexpr const char* kTrees = "tree";

// Member keys of a print server or queue section.
inline constexpr const char* kUserKey = "user";
inline constexpr const char* kGroupKey = "group";
inline constexpr const char* kOperatorUserKey = "operator_user";
inline constexpr const char* kOperatorGroupKey = "operator_group";
inline constexpr const char* kServicedKey = "service_fileserver";

int ListFileServers(NwNameList& list);
int ServerMajorVersion(const std::string& fileServer);
int ListKind(const char* kind, NwNameList& list);
int FindInKind(const char* kind, const std::string& name);   // 0 or kNwNotFound
int AddToKind(const char* kind, const std::string& name);
int RemoveFromKind(const char* kind, const std::string& name);
int ListKey(const std::string& section, const char* key, NwNameList& list);
int AddToKey(const std::string& section, const char* key, const std::string& name);
int RemoveFromKey(const std::string& section, const char* key, const std::string& name);
// The list of a key with 0, 1, 2, ... as its numbers.
int ListNumbered(const std::string& section, const char* key, NwNameList& list,
                 NwByteArray& numbers);

int CreatePrinter(const std::string& printServer, const std::string& printer);
int DeletePrinterEverywhere(const std::string& printer);
int CreateQueue(const std::string& printer, const std::string& queue);
int DeleteQueueEverywhere(const std::string& queue);
int SetPassword(const std::string& object, const std::string& oldPassword,
                const std::string& newPassword);
int ListContainers(const std::string& container, NwNameList& list);
int ListVolumes(const std::string& context, NwNameList& list);
int SetupPrintServer(const std::string& printServer, const NwNameList& printers,
                     const NwNameList& queues);

// NDS twins cut names at their first '.' and hand the cut name back.
void CutAtFirstDot(std::string& name);

}  // namespace netware::sim

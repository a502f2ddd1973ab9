// The NetWare client as the set-up layer sees it: one interface with the operations of the client
// libraries (client start, connections and bindery scans; directory contexts, searches and
// listings; print-services objects, their attributes and scans).
//
// Linux has no NetWare requester, so the product runs on NotInstalledNwClient, whose every call
// fails as an absent requester does; tests install an in-memory NetWare
// (wizard_netware/test_support) with SetNwClient. Calls are synchronous and must not overlap.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "platform/win_types.h"

namespace netware {

using NwHandle = std::uint32_t;  // connections, context handles, scan handles, status attachments

// Directory mode, the first argument of every print-services operation.
constexpr int kBinderyMode = 0;  // the handle is a connection
constexpr int kNdsMode = 1;      // the handle is a context handle

// Bindery object types as the object scan takes them (high and low bytes exchanged).
constexpr WORD kObjUser = 0x0100;
constexpr WORD kObjGroup = 0x0200;
constexpr WORD kObjQueue = 0x0300;
constexpr WORD kObjFileServer = 0x0400;
constexpr WORD kObjPrintServer = 0x0700;
constexpr WORD kObjDirectoryTree = 0x7802;
// The object type the password change takes for a print server.
constexpr WORD kPasswordObjPrintServer = 0x0700;

// Print-services attributes.
constexpr int kAttrOperators = 16;  // print server or queue: its operators (users and groups)
constexpr int kAttrPrinters = 23;   // print server: its printers
constexpr int kAttrQueues = 26;     // printer: the queues it services
constexpr int kAttrUsers = 34;      // print server or queue: its users (users and groups)
constexpr int kAttrQueueServer = 9;   // queue: its host server
constexpr int kAttrQueueVolume = 36;  // queue: its volume

// Member types of the user and operator attributes.
constexpr BYTE kMemberUser = 1;
constexpr BYTE kMemberGroup = 2;

// Keys of a context handle, and bits of its flags key.
constexpr int kContextFlagsKey = 1;
constexpr int kContextNameKey = 3;
constexpr DWORD kContextFlagTypeless = 0x04;      // names come back without their types
constexpr DWORD kContextFlagCanonicalize = 0x10;  // names are completed to full names

// Information flag of a listed directory object that is a container.
constexpr DWORD kNdsInfoContainer = 4;

// One member of a print-services attribute, as added, removed and scanned:
// users and operators: the member type (1 user, 2 group) and the upper-cased name;
// printers of a print server: the printer number and name;
// queues of a printer: the priority (in `number`) and the upper-cased queue name.
struct NwAttrBlock {
  BYTE type = 0;
  BYTE number = 0;
  std::string name;
};

// A queue-link block: the queue (upper-cased) and its priority.
struct NwQueueLink {
  std::string queue;
  std::int32_t priority = 0;
};

// One token of a directory search filter.
struct NdsFilterToken {
  int token;          // 14 attribute name, 7 equals, 6 value, 2 and, 0 end
  std::string value;  // attribute name or value; empty for the operators
  int syntax;         // 20 class names, 3 naming texts; 0 for the operators
};
constexpr int kFilterEnd = 0;
constexpr int kFilterAnd = 2;
constexpr int kFilterValue = 6;
constexpr int kFilterEquals = 7;
constexpr int kFilterAttrName = 14;
constexpr int kSyntaxClassName = 20;
constexpr int kSyntaxNamingText = 3;

// One object directly below a container.
struct NdsEntry {
  std::string name;  // its relative name with its type ("O=ACME", "OU=SALES", "CN=PS1")
  DWORD infoFlags = 0;
  std::string className;
};

// One status read of a print server.
struct NwStatusBlock {
  std::string text;
  int value = 0;
};

class NwClient {
 public:
  virtual ~NwClient() = default;

  // Client start and connections.
  virtual int InitClient() = 0;
  // 0 or 0x8800 (a connection to that server already exists) give a usable connection.
  virtual int AttachToFileServer(const std::string& server, NwHandle* conn) = 0;
  virtual int GetDefaultConnection(NwHandle* conn) = 0;
  // One more object of the type after *objectId (-1 starts): 0 with its name and id; any other
  // code ends the scan.
  virtual int ScanBinderyObject(NwHandle conn, const std::string& pattern, WORD type,
                                std::int32_t* objectId, std::string* name) = 0;
  virtual int GetFileServerType(NwHandle conn, WORD* type) = 0;
  virtual int GetFileServerDescription(NwHandle conn, std::string* text) = 0;
  virtual int ChangeBinderyObjectPassword(NwHandle conn, const std::string& object, WORD type,
                                          const std::string& oldPassword,
                                          const std::string& newPassword) = 0;
  // Maps the path of the connection's server to a drive letter; DeleteFile takes a path on it
  // ("X:\..."); FreeDirectory unmaps the drive.
  virtual int MapDirectory(NwHandle conn, const std::string& path, char* drive) = 0;
  virtual int DeleteFile(const std::string& path) = 0;
  virtual int FreeDirectory(char drive) = 0;
  virtual int GetConnectionList(std::vector<NwHandle>* conns, std::size_t max) = 0;

  // Directory services.
  virtual int SetPreferredTree(const std::string& tree) = 0;
  virtual int IsAuthenticated() = 0;  // 0: no authenticated identity
  virtual int CreateContext(NwHandle* context) = 0;
  virtual int FreeContext(NwHandle context) = 0;
  virtual int GetContextFlags(NwHandle context, DWORD* flags) = 0;
  virtual int SetContextFlags(NwHandle context, DWORD flags) = 0;
  virtual int GetContextName(NwHandle context, std::string* name) = 0;
  virtual int SetContextName(NwHandle context, const std::string& name) = 0;
  // Searches below the base (scope 2: the whole subtree) for the objects the filter matches;
  // *iteration starts at -1 and is -1 again when the search is complete. Names come back whole
  // and without types ("PS1.SALES.ACME").
  virtual int Search(NwHandle context, const std::string& base, int scope,
                     const std::vector<NdsFilterToken>& filter, std::int32_t* iteration,
                     std::vector<std::string>* names) = 0;
  // The objects directly below the context's name context; *iteration as in Search. A negative
  // result is a failure.
  virtual int ListSubordinates(NwHandle context, std::int32_t* iteration,
                               std::vector<NdsEntry>* entries) = 0;
  virtual int GetObjectId(NwHandle context, NwHandle conn, const std::string& name,
                          DWORD* id) = 0;
  virtual int ChangeObjectPassword(NwHandle context, const std::string& object,
                                   const std::string& oldPassword,
                                   const std::string& newPassword) = 0;

  // Print services. `mode` is kBinderyMode with a connection or kNdsMode with a context handle;
  // in NDS mode the print-server name of the printer operations is empty.
  virtual int PsCreatePrintServer(int mode, NwHandle h, const std::string& printServer) = 0;
  virtual int PsDeletePrintServer(int mode, NwHandle h, const std::string& printServer) = 0;
  virtual int PsCreatePrinter(int mode, NwHandle h, const std::string& printServer,
                              const std::string& printer, int* number) = 0;
  virtual int PsDeletePrinter(int mode, NwHandle h, const std::string& printServer,
                              const std::string& printer) = 0;
  // The volume is empty in bindery mode.
  virtual int PsCreateQueue(int mode, NwHandle h, const std::string& queue,
                            const std::string& volume) = 0;
  virtual int PsDeleteQueue(int mode, NwHandle h, const std::string& queue) = 0;
  virtual int PsAddQueueToPrinter(int mode, NwHandle h, const std::string& printServer,
                                  const std::string& printer, int attr,
                                  const NwQueueLink& link) = 0;
  virtual int PsRemoveQueueFromPrinter(int mode, NwHandle h, const std::string& printServer,
                                       const std::string& printer, int attr,
                                       const NwQueueLink& link) = 0;
  virtual int PsAddPrintServerAttr(int mode, NwHandle h, const std::string& printServer,
                                   int attr, const NwAttrBlock& block) = 0;
  virtual int PsRemovePrintServerAttr(int mode, NwHandle h, const std::string& printServer,
                                      int attr, const NwAttrBlock& block) = 0;
  virtual int PsAddQueueAttr(int mode, NwHandle h, const std::string& queue, int attr,
                             const NwAttrBlock& block) = 0;
  virtual int PsRemoveQueueAttr(int mode, NwHandle h, const std::string& queue, int attr,
                                const NwAttrBlock& block) = 0;
  virtual int PsAddServicedFileServer(int mode, NwHandle h, const std::string& printServer,
                                      const std::string& fileServer) = 0;

  // Attribute scans: the open call returns the first member, next the following ones; both
  // return 30562 at the end. Every opened scan is closed.
  virtual int PsScanPrintServerAttrOpen(int mode, NwHandle h, const std::string& printServer,
                                        int attr, NwHandle* scan, NwAttrBlock* block) = 0;
  virtual int PsScanPrintServerAttrNext(NwHandle scan, const std::string& printServer,
                                        NwAttrBlock* block) = 0;
  virtual int PsScanPrintServerAttrClose(NwHandle scan) = 0;
  virtual int PsScanQueueAttrOpen(int mode, NwHandle h, const std::string& queue, int attr,
                                  NwHandle* scan, NwAttrBlock* block) = 0;
  virtual int PsScanQueueAttrNext(NwHandle scan, const std::string& queue,
                                  NwAttrBlock* block) = 0;
  virtual int PsScanQueueAttrClose(NwHandle scan) = 0;
  virtual int PsScanPrinterAttrOpen(int mode, NwHandle h, const std::string& printServer,
                                    const std::string& printer, int attr, NwHandle* scan,
                                    NwAttrBlock* block) = 0;
  virtual int PsScanPrinterAttrNext(NwHandle scan, const std::string& printer,
                                    NwAttrBlock* block) = 0;
  virtual int PsScanPrinterAttrClose(NwHandle scan) = 0;
  virtual int PsScanServicedOpen(int mode, NwHandle h, const std::string& printServer,
                                 NwHandle* scan, std::string* fileServer) = 0;
  virtual int PsScanServicedNext(NwHandle scan, const std::string& printServer,
                                 std::string* fileServer) = 0;
  virtual int PsScanServicedClose(NwHandle scan) = 0;

  // Print-server status: attach over a connection (70 also counts as attached), the three
  // status reads (75 the print server, 80 and 81 its two status blocks), detach.
  virtual int PsAttachStatus(NwHandle conn, const std::string& printServer, int timeout,
                             NwHandle* status) = 0;
  virtual int PsReadStatus(NwHandle status, int which, int timeout, NwStatusBlock* block) = 0;
  virtual int PsDetachStatus(NwHandle status) = 0;
};

// The client every function of the layer uses: the one SetNwClient installed, else the
// not-installed client. SetNwClient(nullptr) goes back to that.
NwClient& GetNwClient();
void SetNwClient(NwClient* client);

// What Linux offers: no requester. Every call fails with NWE_REQUESTER_FAILURE.
NwClient& NotInstalledClient();

}  // namespace netware

// An in-memory NetWare network for tests: file servers with their bindery objects and print
// services, directory trees with containers and objects, and a client that answers the layer's
// calls from them. It checks the calls it gets (handles known and of the right kind, the client
// started first, names upper-cased where the layer promises it, blocks and filters well formed)
// and records every breach in violations(); OpenHandles() counts what was left open.
#pragma once
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "wizard_netware/nw_client.h"

namespace netware::testing {

// Codes the in-memory NetWare answers with (the server's and directory's own).
constexpr int kBindNoSuchObject = 35324;       // NWE_BIND_NO_SUCH_OBJ; also ends an object scan
constexpr int kBindObjectExists = 35310;       // NWE_BIND_OBJ_ALREADY_EXISTS
constexpr int kBindMemberExists = 35305;       // NWE_BIND_MEMBER_ALREADY_EXISTS
constexpr int kBindNoSuchMember = 35306;       // NWE_BIND_NO_SUCH_MEMBER
constexpr int kAccessDenied = 35240;           // NWE_ACCESS_DENIED
constexpr int kPasswordInvalid = 35294;        // NWE_PASSWORD_INVALID
constexpr int kServerNotFound = 34887;         // NWE_SERVER_NOT_FOUND
constexpr int kConnInvalid = 34817;            // NWE_CONN_INVALID
constexpr int kPreferredTreeNotFound = 34901;  // NWE_DS_PREFERRED_NOT_FOUND
constexpr int kAlreadyInList = 779;            // NWPSE_ALREADY_IN_LIST
constexpr int kNdsNoSuchEntry = -601;          // ERR_NO_SUCH_ENTRY
constexpr int kNdsNoSuchValue = -602;          // ERR_NO_SUCH_VALUE
constexpr int kNdsEntryExists = -606;          // ERR_ENTRY_ALREADY_EXISTS
constexpr int kNdsDuplicateValue = -614;       // ERR_DUPLICATE_VALUE
constexpr int kNdsFailedAuthentication = -669; // ERR_FAILED_AUTHENTICATION
constexpr int kNdsNoAccess = -672;             // ERR_NO_ACCESS
constexpr int kNdsInvalidHandle = -322;        // ERR_INVALID_HANDLE

// Object kinds, named by their directory classes.
inline constexpr const char* kUser = "User";
inline constexpr const char* kGroup = "Group";
inline constexpr const char* kPrintServer = "Print Server";
inline constexpr const char* kQueue = "Queue";
inline constexpr const char* kPrinter = "Printer";
inline constexpr const char* kVolume = "Volume";
inline constexpr const char* kOrganization = "Organization";
inline constexpr const char* kOrganizationalUnit = "Organizational Unit";

class InMemoryNetWare : public NwClient {
 public:
  // One object of a file server or tree.
  struct Object {
    std::string kind;
    std::string name;
    std::string container;  // tree: the full container name; file server: a printer's print server
    DWORD id = 0;
    std::string password;
    std::vector<NwAttrBlock> users;      // attribute 34
    std::vector<NwAttrBlock> operators;  // attribute 16
    std::vector<NwAttrBlock> printers;   // attribute 23 of a print server
    std::vector<NwAttrBlock> queues;     // attribute 26 of a printer (number = priority)
    std::vector<std::string> serviced;   // serviced file servers of a bindery print server
    std::string volume;                  // a queue's volume (full name) and host server
    std::string hostServer;
    int number = 0;                      // a printer's number
  };

  InMemoryNetWare() = default;

  // The network. The first file server added holds the default connection.
  void AddFileServer(const std::string& name, char typeByte = '3',
                     const std::string& description = "4.11");
  void AddBinderyObject(const std::string& server, const std::string& kind,
                        const std::string& name, const std::string& password = "");
  // A tree by the name it is advertised under ("ACME_TREE___"); its name is that text upper-cased
  // up to its first "__".
  void AddTree(const std::string& advertisedName);
  // A container by its full name without types ("SALES.ACME"); its parent must exist.
  void AddContainer(const std::string& tree, const std::string& fullName,
                    const std::string& className);
  void AddNdsObject(const std::string& tree, const std::string& container, const std::string& kind,
                    const std::string& name, const std::string& password = "");
  void SetAuthenticated(bool authenticated) { authenticated_ = authenticated; }
  // Every change of objects on that file server or tree is refused as access denied.
  void DenyWrites(const std::string& serverOrTree) { denied_.insert(Key(serverOrTree)); }
  // The next call of the operation (by its method name, "PsCreateQueue") fails with the code.
  void FailNext(const std::string& operation, int code) { failures_[operation].push_back(code); }

  // Inspection.
  const Object* FindBindery(const std::string& server, const std::string& kind,
                            const std::string& name, const std::string& owner = "") const;
  const Object* FindNds(const std::string& tree, const std::string& container,
                        const std::string& kind, const std::string& name) const;
  std::size_t CountObjects(const std::string& serverOrTree, const std::string& kind) const;
  int Calls(const std::string& operation) const;
  int TotalCalls() const { return totalCalls_; }
  const std::vector<std::string>& violations() const { return violations_; }
  std::size_t OpenHandles() const;

  // NwClient.
  int InitClient() override;
  int AttachToFileServer(const std::string& server, NwHandle* conn) override;
  int GetDefaultConnection(NwHandle* conn) override;
  int ScanBinderyObject(NwHandle conn, const std::string& pattern, WORD type,
                        std::int32_t* objectId, std::string* name) override;
  int GetFileServerType(NwHandle conn, WORD* type) override;
  int GetFileServerDescription(NwHandle conn, std::string* text) override;
  int ChangeBinderyObjectPassword(NwHandle conn, const std::string& object, WORD type,
                                  const std::string& oldPassword,
                                  const std::string& newPassword) override;
  int MapDirectory(NwHandle conn, const std::string& path, char* drive) override;
  int DeleteFile(const std::string& path) override;
  int FreeDirectory(char drive) override;
  int GetConnectionList(std::vector<NwHandle>* conns, std::size_t max) override;
  int SetPreferredTree(const std::string& tree) override;
  int IsAuthenticated() override;
  int CreateContext(NwHandle* context) override;
  int FreeContext(NwHandle context) override;
  int GetContextFlags(NwHandle context, DWORD* flags) override;
  int SetContextFlags(NwHandle context, DWORD flags) override;
  int GetContextName(NwHandle context, std::string* name) override;
  int SetContextName(NwHandle context, const std::string& name) override;
  int Search(NwHandle context, const std::string& base, int scope,
             const std::vector<NdsFilterToken>& filter, std::int32_t* iteration,
             std::vector<std::string>* names) override;
  int ListSubordinates(NwHandle context, std::int32_t* iteration,
                       std::vector<NdsEntry>* entries) override;
  int GetObjectId(NwHandle context, NwHandle conn, const std::string& name, DWORD* id) override;
  int ChangeObjectPassword(NwHandle context, const std::string& object,
                           const std::string& oldPassword,
                           const std::string& newPassword) override;
  int PsCreatePrintServer(int mode, NwHandle h, const std::string& printServer) override;
  int PsDeletePrintServer(int mode, NwHandle h, const std::string& printServer) override;
  int PsCreatePrinter(int mode, NwHandle h, const std::string& printServer,
                      const std::string& printer, int* number) override;
  int PsDeletePrinter(int mode, NwHandle h, const std::string& printServer,
                      const std::string& printer) override;
  int PsCreateQueue(int mode, NwHandle h, const std::string& queue,
                    const std::string& volume) override;
  int PsDeleteQueue(int mode, NwHandle h, const std::string& queue) override;
  int PsAddQueueToPrinter(int mode, NwHandle h, const std::string& printServer,
                          const std::string& printer, int attr, const NwQueueLink& link) override;
  int PsRemoveQueueFromPrinter(int mode, NwHandle h, const std::string& printServer,
                               const std::string& printer, int attr,
                               const NwQueueLink& link) override;
  int PsAddPrintServerAttr(int mode, NwHandle h, const std::string& printServer, int attr,
                           const NwAttrBlock& block) override;
  int PsRemovePrintServerAttr(int mode, NwHandle h, const std::string& printServer, int attr,
                              const NwAttrBlock& block) override;
  int PsAddQueueAttr(int mode, NwHandle h, const std::string& queue, int attr,
                     const NwAttrBlock& block) override;
  int PsRemoveQueueAttr(int mode, NwHandle h, const std::string& queue, int attr,
                        const NwAttrBlock& block) override;
  int PsAddServicedFileServer(int mode, NwHandle h, const std::string& printServer,
                              const std::string& fileServer) override;
  int PsScanPrintServerAttrOpen(int mode, NwHandle h, const std::string& printServer, int attr,
                                NwHandle* scan, NwAttrBlock* block) override;
  int PsScanPrintServerAttrNext(NwHandle scan, const std::string& printServer,
                                NwAttrBlock* block) override;
  int PsScanPrintServerAttrClose(NwHandle scan) override;
  int PsScanQueueAttrOpen(int mode, NwHandle h, const std::string& queue, int attr,
                          NwHandle* scan, NwAttrBlock* block) override;
  int PsScanQueueAttrNext(NwHandle scan, const std::string& queue, NwAttrBlock* block) override;
  int PsScanQueueAttrClose(NwHandle scan) override;
  int PsScanPrinterAttrOpen(int mode, NwHandle h, const std::string& printServer,
                            const std::string& printer, int attr, NwHandle* scan,
                            NwAttrBlock* block) override;
  int PsScanPrinterAttrNext(NwHandle scan, const std::string& printer,
                            NwAttrBlock* block) override;
  int PsScanPrinterAttrClose(NwHandle scan) override;
  int PsScanServicedOpen(int mode, NwHandle h, const std::string& printServer, NwHandle* scan,
                         std::string* fileServer) override;
  int PsScanServicedNext(NwHandle scan, const std::string& printServer,
                         std::string* fileServer) override;
  int PsScanServicedClose(NwHandle scan) override;
  int PsAttachStatus(NwHandle conn, const std::string& printServer, int timeout,
                     NwHandle* status) override;
  int PsReadStatus(NwHandle status, int which, int timeout, NwStatusBlock* block) override;
  int PsDetachStatus(NwHandle status) override;

 private:
  struct FileServer {
    std::string name;
    char typeByte = '3';
    std::string description;
    DWORD id = 0;
    std::vector<Object> objects;
  };
  struct Container {
    std::string fullName;  // upper-case, without types
    std::string className;
  };
  struct Tree {
    std::string advertised;
    std::string name;
    DWORD id = 0;
    std::vector<Container> containers;
    std::vector<Object> objects;
  };
  struct Context {
    DWORD flags = 0;
    std::string name;
    bool named = false;
  };
  struct Scan {
    std::vector<NwAttrBlock> items;
    std::size_t next = 0;
  };
  // Where a print-services call works: a file server, or a tree and the context's container.
  struct Place {
    std::vector<Object>* objects = nullptr;
    std::string key;        // the file server's or tree's name, for DenyWrites
    std::string container;  // NDS: the context's container
    bool nds = false;
  };

  static std::string Key(const std::string& name);
  int Enter(const char* operation);  // counts the call, checks the client was started, injects
  void Violation(const std::string& what) { violations_.push_back(what); }
  FileServer* ServerOf(NwHandle conn);
  Tree* CurrentTree();
  int PlaceOf(int mode, NwHandle h, Place* place);
  Object* Find(Place& place, const std::string& kind, const std::string& name,
               const std::string& owner = "");
  bool Denied(const Place& place) const { return denied_.count(place.key) != 0; }
  int NotFound(const Place& place) const { return place.nds ? kNdsNoSuchEntry : kBindNoSuchObject; }
  int Exists(const Place& place) const { return place.nds ? kNdsEntryExists : kBindObjectExists; }
  int NoAccess(const Place& place) const { return place.nds ? kNdsNoAccess : kAccessDenied; }
  Object* PrinterOf(Place& place, const std::string& printServer, const std::string& printer);
  void CheckUpper(const std::string& name, const char* what);
  int MemberOp(std::vector<NwAttrBlock>& set, const Place& place, const NwAttrBlock& block,
               bool add);
  int OpenScan(std::vector<NwAttrBlock> items, NwHandle* scan, NwAttrBlock* block);
  int NextScan(NwHandle scan, NwAttrBlock* block);
  int CloseScan(NwHandle scan);
  std::string ResolveVolume(const std::string& container, const std::string& relative) const;

  std::vector<FileServer> servers_;
  std::vector<Tree> trees_;
  std::map<NwHandle, std::string> conns_;  // connection -> file server key
  std::map<NwHandle, Context> contexts_;
  std::map<NwHandle, Scan> scans_;
  std::map<char, std::string> drives_;     // drive -> file server key
  std::map<NwHandle, std::string> statuses_;
  std::map<std::string, std::vector<int>> failures_;
  std::map<std::string, int> calls_;
  std::set<std::string> denied_;
  std::vector<std::string> violations_;
  std::string preferredTree_;
  bool started_ = false;
  bool authenticated_ = true;
  NwHandle nextHandle_ = 100;
  DWORD nextId_ = 0x0e000010;
  int totalCalls_ = 0;
};

// Installs a client for the life of the guard.
class ScopedNwClient {
 public:
  explicit ScopedNwClient(NwClient& client) { SetNwClient(&client); }
  ~ScopedNwClient() { SetNwClient(nullptr); }
  ScopedNwClient(const ScopedNwClient&) = delete;
  ScopedNwClient& operator=(const ScopedNwClient&) = delete;
};

}  // namespace netware::testing

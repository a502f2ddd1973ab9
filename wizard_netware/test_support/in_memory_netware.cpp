#include "wizard_netware/test_support/in_memory_netware.h"

#include <algorithm>
#include <cstdio>

#include "wizard_netware/nw_codes.h"

namespace netware::testing {
namespace {

bool Same(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i] >= 'a' && a[i] <= 'z' ? static_cast<char>(a[i] - 32) : a[i];
    char y = b[i] >= 'a' && b[i] <= 'z' ? static_cast<char>(b[i] - 32) : b[i];
    if (x != y) return false;
  }
  return true;
}

// The parent of a full container name ("" for a top-level container).
std::string ParentOf(const std::string& fullName) {
  std::size_t dot = fullName.find('.');
  return dot == std::string::npos ? std::string() : fullName.substr(dot + 1);
}

std::string FirstComponent(const std::string& fullName) {
  return fullName.substr(0, fullName.find('.'));
}

// Is the container at or below the base?
bool AtOrBelow(const std::string& container, const std::string& base) {
  if (Same(container, base)) return true;
  return container.size() > base.size() + 1 &&
         Same(container.substr(container.size() - base.size()), base) &&
         container[container.size() - base.size() - 1] == '.';
}

const char* TypeOf(const std::string& className) {
  if (className == kOrganization) return "O=";
  if (className == kOrganizationalUnit) return "OU=";
  if (className == "Country") return "C=";
  return "CN=";
}

constexpr std::size_t kChunk = 2;  // names handed back per directory call

}  // namespace

std::string InMemoryNetWare::Key(const std::string& name) {
  std::string key = name;
  for (char& c : key) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
  }
  return key;
}

void InMemoryNetWare::AddFileServer(const std::string& name, char typeByte,
                                    const std::string& description) {
  FileServer server;
  server.name = Key(name);
  server.typeByte = typeByte;
  server.description = description;
  server.id = nextId_++;
  servers_.push_back(server);
}

void InMemoryNetWare::AddBinderyObject(const std::string& server, const std::string& kind,
                                       const std::string& name, const std::string& password) {
  for (FileServer& s : servers_) {
    if (s.name != Key(server)) continue;
    Object object;
    object.kind = kind;
    object.name = Key(name);
    object.id = nextId_++;
    object.password = password;
    if (kind == kPrintServer) object.serviced.push_back(s.name);
    s.objects.push_back(object);
    return;
  }
  Violation("test set-up: no file server " + server);
}

void InMemoryNetWare::AddTree(const std::string& advertisedName) {
  Tree tree;
  tree.advertised = advertisedName;
  tree.name = Key(advertisedName);
  std::size_t cut = tree.name.find("__");
  if (cut != std::string::npos) tree.name.resize(cut);
  tree.id = nextId_++;
  trees_.push_back(tree);
}

void InMemoryNetWare::AddContainer(const std::string& tree, const std::string& fullName,
                                   const std::string& className) {
  for (Tree& t : trees_) {
    if (t.name == Key(tree)) t.containers.push_back({Key(fullName), className});
  }
}

void InMemoryNetWare::AddNdsObject(const std::string& tree, const std::string& container,
                                   const std::string& kind, const std::string& name,
                                   const std::string& password) {
  for (Tree& t : trees_) {
    if (t.name != Key(tree)) continue;
    Object object;
    object.kind = kind;
    object.name = Key(name);
    object.container = Key(container);
    object.id = nextId_++;
    object.password = password;
    t.objects.push_back(object);
  }
}

const InMemoryNetWare::Object* InMemoryNetWare::FindBindery(const std::string& server,
                                                            const std::string& kind,
                                                            const std::string& name,
                                                            const std::string& owner) const {
  for (const FileServer& s : servers_) {
    if (s.name != Key(server)) continue;
    for (const Object& o : s.objects) {
      if (o.kind == kind && Same(o.name, name) && Same(o.container, owner)) return &o;
    }
  }
  return nullptr;
}

const InMemoryNetWare::Object* InMemoryNetWare::FindNds(const std::string& tree,
                                                        const std::string& container,
                                                        const std::string& kind,
                                                        const std::string& name) const {
  for (const Tree& t : trees_) {
    if (t.name != Key(tree)) continue;
    for (const Object& o : t.objects) {
      if (o.kind == kind && Same(o.name, name) && Same(o.container, container)) return &o;
    }
  }
  return nullptr;
}

std::size_t InMemoryNetWare::CountObjects(const std::string& serverOrTree,
                                          const std::string& kind) const {
  std::size_t n = 0;
  for (const FileServer& s : servers_) {
    if (s.name != Key(serverOrTree)) continue;
    for (const Object& o : s.objects) n += o.kind == kind ? 1 : 0;
  }
  for (const Tree& t : trees_) {
    if (t.name != Key(serverOrTree)) continue;
    for (const Object& o : t.objects) n += o.kind == kind ? 1 : 0;
  }
  return n;
}

int InMemoryNetWare::Calls(const std::string& operation) const {
  auto it = calls_.find(operation);
  return it == calls_.end() ? 0 : it->second;
}

std::size_t InMemoryNetWare::OpenHandles() const {
  return contexts_.size() + scans_.size() + drives_.size() + statuses_.size();
}

int InMemoryNetWare::Enter(const char* operation) {
  ++calls_[operation];
  ++totalCalls_;
  if (!started_ && std::string(operation) != "InitClient") {
    Violation(std::string(operation) + " before the client was started");
  }
  auto it = failures_.find(operation);
  if (it != failures_.end() && !it->second.empty()) {
    int code = it->second.front();
    it->second.erase(it->second.begin());
    return code;
  }
  return 0;
}

InMemoryNetWare::FileServer* InMemoryNetWare::ServerOf(NwHandle conn) {
  auto it = conns_.find(conn);
  if (it == conns_.end()) {
    Violation("unknown connection " + std::to_string(conn));
    return nullptr;
  }
  for (FileServer& s : servers_) {
    if (s.name == it->second) return &s;
  }
  return nullptr;
}

InMemoryNetWare::Tree* InMemoryNetWare::CurrentTree() {
  for (Tree& t : trees_) {
    if (t.name == preferredTree_) return &t;
  }
  return nullptr;
}

int InMemoryNetWare::PlaceOf(int mode, NwHandle h, Place* place) {
  if (mode == kBinderyMode) {
    if (contexts_.count(h) != 0) Violation("bindery mode with a context handle");
    FileServer* server = ServerOf(h);
    if (server == nullptr) return kConnInvalid;
    place->objects = &server->objects;
    place->key = server->name;
    place->nds = false;
    return 0;
  }
  if (mode != kNdsMode) {
    Violation("unknown directory mode " + std::to_string(mode));
    return kNwParamInvalid;
  }
  auto it = contexts_.find(h);
  if (it == contexts_.end()) {
    Violation(conns_.count(h) != 0 ? "directory mode with a connection" : "unknown context handle");
    return kNdsInvalidHandle;
  }
  if (!it->second.named) Violation("context handle without a name context");
  Tree* tree = CurrentTree();
  if (tree == nullptr) return kNdsNoSuchEntry;
  place->objects = &tree->objects;
  place->key = tree->name;
  place->container = Key(it->second.name);
  place->nds = true;
  return 0;
}

InMemoryNetWare::Object* InMemoryNetWare::Find(Place& place, const std::string& kind,
                                               const std::string& name,
                                               const std::string& owner) {
  const std::string& container = place.nds ? place.container : owner;
  for (Object& o : *place.objects) {
    if (o.kind == kind && Same(o.name, name) && Same(o.container, container)) return &o;
  }
  return nullptr;
}

InMemoryNetWare::Object* InMemoryNetWare::PrinterOf(Place& place, const std::string& printServer,
                                                    const std::string& printer) {
  if (place.nds) {
    if (!printServer.empty()) Violation("a print-server name for a directory printer");
    return Find(place, kPrinter, printer);
  }
  return Find(place, kPrinter, printer, Key(printServer));
}

void InMemoryNetWare::CheckUpper(const std::string& name, const char* what) {
  if (name != Key(name)) Violation(std::string(what) + " not upper-cased: " + name);
}

std::string InMemoryNetWare::ResolveVolume(const std::string& container,
                                           const std::string& relative) const {
  std::string name = Key(relative);
  if (!name.empty() && name.front() == '.') return name.substr(1);  // a full name
  std::string base = container;
  while (!name.empty() && name.back() == '.') {
    name.pop_back();
    base = ParentOf(base);
  }
  return base.empty() ? name : name + "." + base;
}

// Client start and connections.

int InMemoryNetWare::InitClient() {
  if (int rc = Enter("InitClient")) return rc;
  started_ = true;
  return 0;
}

int InMemoryNetWare::AttachToFileServer(const std::string& server, NwHandle* conn) {
  if (int rc = Enter("AttachToFileServer")) return rc;
  for (const auto& [handle, name] : conns_) {
    if (name == Key(server)) {
      *conn = handle;
      return kNwAlreadyAttached;
    }
  }
  for (const FileServer& s : servers_) {
    if (s.name == Key(server)) {
      *conn = nextHandle_++;
      conns_[*conn] = s.name;
      return 0;
    }
  }
  return kServerNotFound;
}

int InMemoryNetWare::GetDefaultConnection(NwHandle* conn) {
  if (int rc = Enter("GetDefaultConnection")) return rc;
  if (servers_.empty()) return kServerNotFound;
  for (const auto& [handle, name] : conns_) {
    if (name == servers_.front().name) {
      *conn = handle;
      return 0;
    }
  }
  *conn = nextHandle_++;
  conns_[*conn] = servers_.front().name;
  return 0;
}

int InMemoryNetWare::ScanBinderyObject(NwHandle conn, const std::string& pattern, WORD type,
                                       std::int32_t* objectId, std::string* name) {
  if (int rc = Enter("ScanBinderyObject")) return rc;
  if (pattern != "*") Violation("object scan with pattern " + pattern);
  FileServer* server = ServerOf(conn);
  if (server == nullptr) return kConnInvalid;
  // Every object of the type, by rising id.
  std::vector<std::pair<DWORD, std::string>> found;
  if (type == kObjFileServer) {
    for (const FileServer& s : servers_) found.emplace_back(s.id, s.name);
  } else if (type == kObjDirectoryTree) {
    for (const Tree& t : trees_) found.emplace_back(t.id, t.advertised);
  } else {
    const char* kind = type == kObjUser ? kUser
                       : type == kObjGroup ? kGroup
                       : type == kObjQueue ? kQueue
                       : type == kObjPrintServer ? kPrintServer
                                                 : nullptr;
    if (kind == nullptr) {
      Violation("object scan of unknown type " + std::to_string(type));
      return kBindNoSuchObject;
    }
    for (const Object& o : server->objects) {
      if (o.kind == kind) found.emplace_back(o.id, o.name);
    }
  }
  std::sort(found.begin(), found.end());
  const DWORD after = static_cast<DWORD>(*objectId);
  for (const auto& [id, objectName] : found) {
    if (*objectId != -1 && id <= after) continue;
    *objectId = static_cast<std::int32_t>(id);
    *name = objectName;
    return 0;
  }
  return kBindNoSuchObject;
}

int InMemoryNetWare::GetFileServerType(NwHandle conn, WORD* type) {
  if (int rc = Enter("GetFileServerType")) return rc;
  FileServer* server = ServerOf(conn);
  if (server == nullptr) return kConnInvalid;
  *type = static_cast<WORD>(static_cast<unsigned char>(server->typeByte));
  return 0;
}

int InMemoryNetWare::GetFileServerDescription(NwHandle conn, std::string* text) {
  if (int rc = Enter("GetFileServerDescription")) return rc;
  FileServer* server = ServerOf(conn);
  if (server == nullptr) return kConnInvalid;
  *text = server->description;
  return 0;
}

int InMemoryNetWare::ChangeBinderyObjectPassword(NwHandle conn, const std::string& object,
                                                 WORD type, const std::string& oldPassword,
                                                 const std::string& newPassword) {
  if (int rc = Enter("ChangeBinderyObjectPassword")) return rc;
  if (type != kPasswordObjPrintServer) Violation("password change of object type " + std::to_string(type));
  Place place;
  if (int rc = PlaceOf(kBinderyMode, conn, &place)) return rc;
  Object* o = Find(place, kPrintServer, object);
  if (o == nullptr) return kBindNoSuchObject;
  if (o->password != oldPassword) return kPasswordInvalid;
  if (Denied(place)) return kAccessDenied;
  o->password = newPassword;
  return 0;
}

int InMemoryNetWare::MapDirectory(NwHandle conn, const std::string& path, char* drive) {
  if (int rc = Enter("MapDirectory")) return rc;
  if (path != "SYS:\\SYSTEM") Violation("mapped " + path);
  FileServer* server = ServerOf(conn);
  if (server == nullptr) return kConnInvalid;
  for (char d = 'G'; d <= 'Z'; ++d) {
    if (drives_.count(d) == 0) {
      drives_[d] = server->name;
      *drive = d;
      return 0;
    }
  }
  return kConnInvalid;
}

int InMemoryNetWare::DeleteFile(const std::string& path) {
  if (int rc = Enter("DeleteFile")) return rc;
  // "X:\<eight hexadecimal digits of the print server's id>\FILESERV"
  if (path.size() != 3 + 8 + 9 || path[1] != ':' || path.substr(11) != "\\FILESERV") {
    Violation("deleted " + path);
    return kBindNoSuchObject;
  }
  auto drive = drives_.find(path[0]);
  if (drive == drives_.end()) {
    Violation("deleted a file on an unmapped drive: " + path);
    return kBindNoSuchObject;
  }
  for (FileServer& s : servers_) {
    if (s.name != drive->second) continue;
    for (Object& o : s.objects) {
      char digits[16];
      std::snprintf(digits, sizeof digits, "%08lx", static_cast<unsigned long>(o.id));
      if (o.kind == kPrintServer && path.substr(3, 8) == digits) {
        o.serviced.assign(1, s.name);
        return 0;
      }
    }
  }
  return kBindNoSuchObject;
}

int InMemoryNetWare::FreeDirectory(char drive) {
  if (int rc = Enter("FreeDirectory")) return rc;
  if (drives_.erase(drive) == 0) Violation("freed an unmapped drive");
  return 0;
}

int InMemoryNetWare::GetConnectionList(std::vector<NwHandle>* conns, std::size_t max) {
  if (int rc = Enter("GetConnectionList")) return rc;
  conns->clear();
  for (const auto& entry : conns_) {
    if (conns->size() < max) conns->push_back(entry.first);
  }
  return 0;
}

// Directory services.

int InMemoryNetWare::SetPreferredTree(const std::string& tree) {
  if (int rc = Enter("SetPreferredTree")) return rc;
  CheckUpper(tree, "tree");
  for (const Tree& t : trees_) {
    if (t.name == Key(tree)) {
      preferredTree_ = t.name;
      return 0;
    }
  }
  return kPreferredTreeNotFound;
}

int InMemoryNetWare::IsAuthenticated() {
  Enter("IsAuthenticated");
  return authenticated_ ? 1 : 0;
}

int InMemoryNetWare::CreateContext(NwHandle* context) {
  if (int rc = Enter("CreateContext")) return rc;
  *context = nextHandle_++;
  contexts_[*context] = Context();
  return 0;
}

int InMemoryNetWare::FreeContext(NwHandle context) {
  if (int rc = Enter("FreeContext")) return rc;
  if (contexts_.erase(context) == 0) {
    Violation("freed an unknown context handle");
    return kNdsInvalidHandle;
  }
  return 0;
}

int InMemoryNetWare::GetContextFlags(NwHandle context, DWORD* flags) {
  if (int rc = Enter("GetContextFlags")) return rc;
  auto it = contexts_.find(context);
  if (it == contexts_.end()) return kNdsInvalidHandle;
  *flags = it->second.flags;
  return 0;
}

int InMemoryNetWare::SetContextFlags(NwHandle context, DWORD flags) {
  if (int rc = Enter("SetContextFlags")) return rc;
  auto it = contexts_.find(context);
  if (it == contexts_.end()) return kNdsInvalidHandle;
  it->second.flags = flags;
  return 0;
}

int InMemoryNetWare::GetContextName(NwHandle context, std::string* name) {
  if (int rc = Enter("GetContextName")) return rc;
  auto it = contexts_.find(context);
  if (it == contexts_.end()) return kNdsInvalidHandle;
  *name = it->second.name;
  return 0;
}

int InMemoryNetWare::SetContextName(NwHandle context, const std::string& name) {
  if (int rc = Enter("SetContextName")) return rc;
  auto it = contexts_.find(context);
  if (it == contexts_.end()) {
    Violation("name context set on an unknown handle");
    return kNdsInvalidHandle;
  }
  Tree* tree = CurrentTree();
  if (tree == nullptr) return kNdsNoSuchEntry;
  bool known = Key(name) == "[ROOT]";
  for (const Container& c : tree->containers) known = known || c.fullName == Key(name);
  if (!known) return kNdsNoSuchEntry;
  it->second.name = name;
  it->second.named = true;
  return 0;
}

int InMemoryNetWare::Search(NwHandle context, const std::string& base, int scope,
                            const std::vector<NdsFilterToken>& filter, std::int32_t* iteration,
                            std::vector<std::string>* names) {
  if (int rc = Enter("Search")) return rc;
  names->clear();
  auto it = contexts_.find(context);
  if (it == contexts_.end()) return kNdsInvalidHandle;
  if (scope != 2) Violation("search scope " + std::to_string(scope));
  // Object Class = <class> and CN = *
  if (filter.size() != 8 || filter[0].token != kFilterAttrName ||
      filter[0].value != "Object Class" || filter[1].token != kFilterEquals ||
      filter[2].token != kFilterValue || filter[2].syntax != kSyntaxClassName ||
      filter[3].token != kFilterAnd || filter[4].value != "CN" ||
      filter[4].syntax != kSyntaxNamingText || filter[6].value != "*" ||
      filter[7].token != kFilterEnd) {
    Violation("unexpected search filter");
    return kNwParamInvalid;
  }
  Tree* tree = CurrentTree();
  if (tree == nullptr) return kNdsNoSuchEntry;
  const bool typeless = (it->second.flags & kContextFlagTypeless) != 0;
  std::vector<std::string> all;
  for (const Object& o : tree->objects) {
    if (o.kind != filter[2].value || !AtOrBelow(o.container, Key(base))) continue;
    if (typeless) {
      all.push_back(o.name + "." + o.container);
      continue;
    }
    std::string typed = "CN=" + o.name;
    for (std::string c = o.container; !c.empty(); c = ParentOf(c)) {
      std::string cls;
      for (const Container& k : tree->containers) {
        if (k.fullName == c) cls = k.className;
      }
      typed += std::string(".") + TypeOf(cls) + FirstComponent(c);
    }
    all.push_back(typed);
  }
  std::size_t from = *iteration == -1 ? 0 : static_cast<std::size_t>(*iteration);
  for (std::size_t i = from; i < all.size() && i < from + kChunk; ++i) names->push_back(all[i]);
  *iteration = from + kChunk < all.size() ? static_cast<std::int32_t>(from + kChunk) : -1;
  return 0;
}

int InMemoryNetWare::ListSubordinates(NwHandle context, std::int32_t* iteration,
                                      std::vector<NdsEntry>* entries) {
  if (int rc = Enter("ListSubordinates")) return rc;
  entries->clear();
  auto it = contexts_.find(context);
  if (it == contexts_.end()) return kNdsInvalidHandle;
  Tree* tree = CurrentTree();
  if (tree == nullptr) return kNdsNoSuchEntry;
  const std::string parent = Key(it->second.name) == "[ROOT]" ? "" : Key(it->second.name);
  std::vector<NdsEntry> all;
  for (const Container& c : tree->containers) {
    if (ParentOf(c.fullName) == parent) {
      all.push_back({TypeOf(c.className) + FirstComponent(c.fullName), kNdsInfoContainer,
                     c.className});
    }
  }
  for (const Object& o : tree->objects) {
    if (o.container == parent) all.push_back({"CN=" + o.name, 0, o.kind});
  }
  std::size_t from = *iteration == -1 ? 0 : static_cast<std::size_t>(*iteration);
  for (std::size_t i = from; i < all.size() && i < from + kChunk; ++i) entries->push_back(all[i]);
  *iteration = from + kChunk < all.size() ? static_cast<std::int32_t>(from + kChunk) : -1;
  return 0;
}

int InMemoryNetWare::GetObjectId(NwHandle context, NwHandle conn, const std::string& name,
                                 DWORD* id) {
  if (int rc = Enter("GetObjectId")) return rc;
  if (conns_.count(conn) == 0) Violation("object id over an unknown connection");
  Place place;
  if (int rc = PlaceOf(kNdsMode, context, &place)) return rc;
  for (Object& o : *place.objects) {
    if (Same(o.name, name) && o.container == place.container) {
      *id = o.id;
      return 0;
    }
  }
  return kNdsNoSuchEntry;
}

int InMemoryNetWare::ChangeObjectPassword(NwHandle context, const std::string& object,
                                          const std::string& oldPassword,
                                          const std::string& newPassword) {
  if (int rc = Enter("ChangeObjectPassword")) return rc;
  Place place;
  if (int rc = PlaceOf(kNdsMode, context, &place)) return rc;
  for (Object& o : *place.objects) {
    if (!Same(o.name, object) || o.container != place.container) continue;
    if (o.password != oldPassword) return kNdsFailedAuthentication;
    if (Denied(place)) return kNdsNoAccess;
    o.password = newPassword;
    return 0;
  }
  return kNdsNoSuchEntry;
}

// Print services.

int InMemoryNetWare::PsCreatePrintServer(int mode, NwHandle h, const std::string& printServer) {
  if (int rc = Enter("PsCreatePrintServer")) return rc;
  Place place;
  if (int rc = PlaceOf(mode, h, &place)) return rc;
  if (Find(place, kPrintServer, printServer) != nullptr) return Exists(place);
  if (Denied(place)) return NoAccess(place);
  Object o;
  o.kind = kPrintServer;
  o.name = Key(printServer);
  o.container = place.container;
  o.id = nextId_++;
  if (!place.nds) o.serviced.push_back(place.key);
  place.objects->push_back(o);
  return 0;
}

int InMemoryNetWare::PsDeletePrintServer(int mode, NwHandle h, const std::string& printServer) {
  if (int rc = Enter("PsDeletePrintServer")) return rc;
  Place place;
  if (int rc = PlaceOf(mode, h, &place)) return rc;
  Object* o = Find(place, kPrintServer, printServer);
  if (o == nullptr) return NotFound(place);
  if (Denied(place)) return NoAccess(place);
  const std::string key = o->name;
  std::erase_if(*place.objects, [&](const Object& x) {
    return (x.kind == kPrintServer && x.name == key && x.container == place.container) ||
           (!place.nds && x.kind == kPrinter && x.container == key);
  });
  return 0;
}

int InMemoryNetWare::PsCreatePrinter(int mode, NwHandle h, const std::string& printServer,
                                     const std::string& printer, int* number) {
  if (int rc = Enter("PsCreatePrinter")) return rc;
  Place place;
  if (int rc = PlaceOf(mode, h, &place)) return rc;
  if (!place.nds && Find(place, kPrintServer, printServer) == nullptr) return NotFound(place);
  if (PrinterOf(place, printServer, printer) != nullptr) return Exists(place);
  if (Denied(place)) return NoAccess(place);
  Object o;
  o.kind = kPrinter;
  o.name = Key(printer);
  o.container = place.nds ? place.container : Key(printServer);
  o.id = nextId_++;
  o.number = *number;
  place.objects->push_back(o);
  return 0;
}

int InMemoryNetWare::PsDeletePrinter(int mode, NwHandle h, const std::string& printServer,
                                     const std::string& printer) {
  if (int rc = Enter("PsDeletePrinter")) return rc;
  Place place;
  if (int rc = PlaceOf(mode, h, &place)) return rc;
  Object* o = PrinterOf(place, printServer, printer);
  if (o == nullptr) return NotFound(place);
  if (Denied(place)) return NoAccess(place);
  const std::string name = o->name;
  const std::string container = o->container;
  std::erase_if(*place.objects, [&](const Object& x) {
    return x.kind == kPrinter && x.name == name && x.container == container;
  });
  // The print servers forget it too.
  for (Object& ps : *place.objects) {
    if (ps.kind != kPrintServer) continue;
    if (!place.nds && ps.name != container) continue;
    std::erase_if(ps.printers, [&](const NwAttrBlock& b) { return Same(b.name, name); });
  }
  return 0;
}

int InMemoryNetWare::PsCreateQueue(int mode, NwHandle h, const std::string& queue,
                                   const std::string& volume) {
  if (int rc = Enter("PsCreateQueue")) return rc;
  Place place;
  if (int rc = PlaceOf(mode, h, &place)) return rc;
  std::string volumeName;
  std::string host;
  if (place.nds) {
    // The volume comes relative to the context; it must exist.
    volumeName = ResolveVolume(place.container, volume);
    std::string leaf = FirstComponent(volumeName);
    std::string in = ParentOf(volumeName);
    bool found = false;
    for (const Object& o : *place.objects) {
      found = found || (o.kind == kVolume && o.name == leaf && o.container == in);
    }
    if (!found) return kNdsNoSuchEntry;
    host = leaf.substr(0, leaf.find('_'));
  } else {
    if (!volume.empty()) Violation("a volume for a bindery queue");
    host = place.key;
  }
  if (Find(place, kQueue, queue) != nullptr) return Exists(place);
  if (Denied(place)) return NoAccess(place);
  Object o;
  o.kind = kQueue;
  o.name = Key(queue);
  o.container = place.container;
  o.id = nextId_++;
  o.volume = volumeName;
  o.hostServer = host;
  place.objects->push_back(o);
  return 0;
}

int InMemoryNetWare::PsDeleteQueue(int mode, NwHandle h, const std::string& queue) {
  if (int rc = Enter("PsDeleteQueue")) return rc;
  Place place;
  if (int rc = PlaceOf(mode, h, &place)) return rc;
  Object* o = Find(place, kQueue, queue);
  if (o == nullptr) return NotFound(place);
  if (Denied(place)) return NoAccess(place);
  const std::string name = o->name;
  std::erase_if(*place.objects, [&](const Object& x) {
    return x.kind == kQueue && x.name == name && x.container == place.container;
  });
  for (Object& printer : *place.objects) {
    std::erase_if(printer.queues, [&](const NwAttrBlock& b) { return b.name == name; });
  }
  return 0;
}

int InMemoryNetWare::PsAddQueueToPrinter(int mode, NwHandle h, const std::string& printServer,
                                         const std::string& printer, int attr,
                                         const NwQueueLink& link) {
  if (int rc = Enter("PsAddQueueToPrinter")) return rc;
  if (attr != kAttrQueues) Violation("queue link through attribute " + std::to_string(attr));
  CheckUpper(link.queue, "queue of a link block");
  Place place;
  if (int rc = PlaceOf(mode, h, &place)) return rc;
  Object* p = PrinterOf(place, printServer, printer);
  if (p == nullptr || Find(place, kQueue, link.queue) == nullptr) return NotFound(place);
  if (Denied(place)) return NoAccess(place);
  for (const NwAttrBlock& b : p->queues) {
    if (b.name == link.queue) return place.nds ? kNdsDuplicateValue : kAlreadyInList;
  }
  p->queues.push_back({0, static_cast<BYTE>(link.priority), link.queue});
  return 0;
}

int InMemoryNetWare::PsRemoveQueueFromPrinter(int mode, NwHandle h,
                                              const std::string& printServer,
                                              const std::string& printer, int attr,
                                              const NwQueueLink& link) {
  if (int rc = Enter("PsRemoveQueueFromPrinter")) return rc;
  if (attr != kAttrQueues) Violation("queue link through attribute " + std::to_string(attr));
  CheckUpper(link.queue, "queue of a link block");
  Place place;
  if (int rc = PlaceOf(mode, h, &place)) return rc;
  Object* p = PrinterOf(place, printServer, printer);
  if (p == nullptr) return NotFound(place);
  if (Denied(place)) return NoAccess(place);
  auto before = p->queues.size();
  std::erase_if(p->queues, [&](const NwAttrBlock& b) { return b.name == link.queue; });
  if (p->queues.size() == before) return place.nds ? kNdsNoSuchValue : 781;  // NWPSE_NOT_IN_LIST
  return 0;
}

int InMemoryNetWare::MemberOp(std::vector<NwAttrBlock>& set, const Place& place,
                              const NwAttrBlock& block, bool add) {
  if (Denied(place)) return NoAccess(place);
  auto it = std::find_if(set.begin(), set.end(),
                         [&](const NwAttrBlock& b) { return Same(b.name, block.name); });
  if (add) {
    if (it != set.end()) return place.nds ? kNdsDuplicateValue : kBindMemberExists;
    set.push_back(block);
    return 0;
  }
  if (it == set.end()) return place.nds ? kNdsNoSuchValue : kBindNoSuchMember;
  set.erase(it);
  return 0;
}

int InMemoryNetWare::PsAddPrintServerAttr(int mode, NwHandle h, const std::string& printServer,
                                          int attr, const NwAttrBlock& block) {
  if (int rc = Enter("PsAddPrintServerAttr")) return rc;
  Place place;
  if (int rc = PlaceOf(mode, h, &place)) return rc;
  Object* ps = Find(place, kPrintServer, printServer);
  if (ps == nullptr) return NotFound(place);
  if (attr == kAttrPrinters) {
    if (PrinterOf(place, place.nds ? "" : printServer, block.name) == nullptr) {
      return NotFound(place);
    }
    return MemberOp(ps->printers, place, block, true);
  }
  if (attr != kAttrUsers && attr != kAttrOperators) {
    Violation("print-server attribute " + std::to_string(attr));
    return kNwParamInvalid;
  }
  CheckUpper(block.name, "member");
  if (block.type != kMemberUser && block.type != kMemberGroup) Violation("member type");
  return MemberOp(attr == kAttrUsers ? ps->users : ps->operators, place, block, true);
}

int InMemoryNetWare::PsRemovePrintServerAttr(int mode, NwHandle h,
                                             const std::string& printServer, int attr,
                                             const NwAttrBlock& block) {
  if (int rc = Enter("PsRemovePrintServerAttr")) return rc;
  Place place;
  if (int rc = PlaceOf(mode, h, &place)) return rc;
  Object* ps = Find(place, kPrintServer, printServer);
  if (ps == nullptr) return NotFound(place);
  if (attr == kAttrPrinters) return MemberOp(ps->printers, place, block, false);
  if (attr != kAttrUsers && attr != kAttrOperators) {
    Violation("print-server attribute " + std::to_string(attr));
    return kNwParamInvalid;
  }
  CheckUpper(block.name, "member");
  return MemberOp(attr == kAttrUsers ? ps->users : ps->operators, place, block, false);
}

int InMemoryNetWare::PsAddQueueAttr(int mode, NwHandle h, const std::string& queue, int attr,
                                    const NwAttrBlock& block) {
  if (int rc = Enter("PsAddQueueAttr")) return rc;
  Place place;
  if (int rc = PlaceOf(mode, h, &place)) return rc;
  Object* q = Find(place, kQueue, queue);
  if (q == nullptr) return NotFound(place);
  if (attr != kAttrUsers && attr != kAttrOperators) {
    Violation("queue attribute " + std::to_string(attr));
    return kNwParamInvalid;
  }
  CheckUpper(block.name, "member");
  return MemberOp(attr == kAttrUsers ? q->users : q->operators, place, block, true);
}

int InMemoryNetWare::PsRemoveQueueAttr(int mode, NwHandle h, const std::string& queue, int attr,
                                       const NwAttrBlock& block) {
  if (int rc = Enter("PsRemoveQueueAttr")) return rc;
  Place place;
  if (int rc = PlaceOf(mode, h, &place)) return rc;
  Object* q = Find(place, kQueue, queue);
  if (q == nullptr) return NotFound(place);
  if (attr != kAttrUsers && attr != kAttrOperators) {
    Violation("queue attribute " + std::to_string(attr));
    return kNwParamInvalid;
  }
  CheckUpper(block.name, "member");
  return MemberOp(attr == kAttrUsers ? q->users : q->operators, place, block, false);
}

int InMemoryNetWare::PsAddServicedFileServer(int mode, NwHandle h, const std::string& printServer,
                                             const std::string& fileServer) {
  if (int rc = Enter("PsAddServicedFileServer")) return rc;
  Place place;
  if (int rc = PlaceOf(mode, h, &place)) return rc;
  Object* ps = Find(place, kPrintServer, printServer);
  if (ps == nullptr) return NotFound(place);
  if (Denied(place)) return NoAccess(place);
  for (const std::string& s : ps->serviced) {
    if (Same(s, fileServer)) return kAlreadyInList;
  }
  ps->serviced.push_back(Key(fileServer));
  return 0;
}

int InMemoryNetWare::OpenScan(std::vector<NwAttrBlock> items, NwHandle* scan,
                              NwAttrBlock* block) {
  *scan = nextHandle_++;
  scans_[*scan] = Scan{std::move(items), 0};
  return NextScan(*scan, block);
}

int InMemoryNetWare::NextScan(NwHandle scan, NwAttrBlock* block) {
  auto it = scans_.find(scan);
  if (it == scans_.end()) {
    Violation("unknown scan handle");
    return kNwParamInvalid;
  }
  if (it->second.next >= it->second.items.size()) return kNwEndOfScan;
  *block = it->second.items[it->second.next++];
  return 0;
}

int InMemoryNetWare::CloseScan(NwHandle scan) {
  if (scans_.erase(scan) == 0) {
    Violation("closed an unknown scan handle");
    return kNwParamInvalid;
  }
  return 0;
}

int InMemoryNetWare::PsScanPrintServerAttrOpen(int mode, NwHandle h,
                                               const std::string& printServer, int attr,
                                               NwHandle* scan, NwAttrBlock* block) {
  if (int rc = Enter("PsScanPrintServerAttrOpen")) return rc;
  Place place;
  if (int rc = PlaceOf(mode, h, &place)) return rc;
  Object* ps = Find(place, kPrintServer, printServer);
  if (ps == nullptr) return NotFound(place);
  if (attr != kAttrUsers && attr != kAttrOperators && attr != kAttrPrinters) {
    Violation("print-server attribute " + std::to_string(attr));
  }
  return OpenScan(attr == kAttrUsers       ? ps->users
                  : attr == kAttrOperators ? ps->operators
                                           : ps->printers,
                  scan, block);
}

int InMemoryNetWare::PsScanPrintServerAttrNext(NwHandle scan, const std::string&,
                                               NwAttrBlock* block) {
  if (int rc = Enter("PsScanPrintServerAttrNext")) return rc;
  return NextScan(scan, block);
}

int InMemoryNetWare::PsScanPrintServerAttrClose(NwHandle scan) {
  if (int rc = Enter("PsScanPrintServerAttrClose")) return rc;
  return CloseScan(scan);
}

int InMemoryNetWare::PsScanQueueAttrOpen(int mode, NwHandle h, const std::string& queue,
                                         int attr, NwHandle* scan, NwAttrBlock* block) {
  if (int rc = Enter("PsScanQueueAttrOpen")) return rc;
  Place place;
  if (int rc = PlaceOf(mode, h, &place)) return rc;
  Object* q = Find(place, kQueue, queue);
  if (q == nullptr) return NotFound(place);
  std::vector<NwAttrBlock> items;
  if (attr == kAttrUsers) {
    items = q->users;
  } else if (attr == kAttrOperators) {
    items = q->operators;
  } else if (attr == kAttrQueueVolume) {
    if (!q->volume.empty()) items.push_back({0, 0, q->volume});
  } else if (attr == kAttrQueueServer) {
    items.push_back({0, 0, q->hostServer});
  } else {
    Violation("queue attribute " + std::to_string(attr));
  }
  return OpenScan(items, scan, block);
}

int InMemoryNetWare::PsScanQueueAttrNext(NwHandle scan, const std::string&, NwAttrBlock* block) {
  if (int rc = Enter("PsScanQueueAttrNext")) return rc;
  return NextScan(scan, block);
}

int InMemoryNetWare::PsScanQueueAttrClose(NwHandle scan) {
  if (int rc = Enter("PsScanQueueAttrClose")) return rc;
  return CloseScan(scan);
}

int InMemoryNetWare::PsScanPrinterAttrOpen(int mode, NwHandle h, const std::string& printServer,
                                           const std::string& printer, int attr, NwHandle* scan,
                                           NwAttrBlock* block) {
  if (int rc = Enter("PsScanPrinterAttrOpen")) return rc;
  if (attr != kAttrQueues) Violation("printer attribute " + std::to_string(attr));
  Place place;
  if (int rc = PlaceOf(mode, h, &place)) return rc;
  Object* p = PrinterOf(place, printServer, printer);
  if (p == nullptr) return NotFound(place);
  return OpenScan(p->queues, scan, block);
}

int InMemoryNetWare::PsScanPrinterAttrNext(NwHandle scan, const std::string&,
                                           NwAttrBlock* block) {
  if (int rc = Enter("PsScanPrinterAttrNext")) return rc;
  return NextScan(scan, block);
}

int InMemoryNetWare::PsScanPrinterAttrClose(NwHandle scan) {
  if (int rc = Enter("PsScanPrinterAttrClose")) return rc;
  return CloseScan(scan);
}

int InMemoryNetWare::PsScanServicedOpen(int mode, NwHandle h, const std::string& printServer,
                                        NwHandle* scan, std::string* fileServer) {
  if (int rc = Enter("PsScanServicedOpen")) return rc;
  Place place;
  if (int rc = PlaceOf(mode, h, &place)) return rc;
  Object* ps = Find(place, kPrintServer, printServer);
  if (ps == nullptr) return NotFound(place);
  std::vector<NwAttrBlock> items;
  for (const std::string& s : ps->serviced) items.push_back({0, 0, s});
  NwAttrBlock block;
  int rc = OpenScan(items, scan, &block);
  *fileServer = block.name;
  return rc;
}

int InMemoryNetWare::PsScanServicedNext(NwHandle scan, const std::string&,
                                        std::string* fileServer) {
  if (int rc = Enter("PsScanServicedNext")) return rc;
  NwAttrBlock block;
  int rc = NextScan(scan, &block);
  *fileServer = block.name;
  return rc;
}

int InMemoryNetWare::PsScanServicedClose(NwHandle scan) {
  if (int rc = Enter("PsScanServicedClose")) return rc;
  return CloseScan(scan);
}

int InMemoryNetWare::PsAttachStatus(NwHandle conn, const std::string& printServer, int,
                                    NwHandle* status) {
  if (int rc = Enter("PsAttachStatus")) return rc;
  Place place;
  if (int rc = PlaceOf(kBinderyMode, conn, &place)) return rc;
  if (Find(place, kPrintServer, printServer) == nullptr) return 66;  // NWPSE_NO_SUCH_PSERVER
  *status = nextHandle_++;
  statuses_[*status] = Key(printServer);
  return 0;
}

int InMemoryNetWare::PsReadStatus(NwHandle status, int which, int, NwStatusBlock* block) {
  if (int rc = Enter("PsReadStatus")) return rc;
  auto it = statuses_.find(status);
  if (it == statuses_.end()) {
    Violation("status read without an attachment");
    return kConnInvalid;
  }
  if (which == 75) {
    block->text = it->second;
  } else {
    block->text = "PRINTER " + std::to_string(which - 80) + " READY";
    block->value = which;
  }
  return 0;
}

int InMemoryNetWare::PsDetachStatus(NwHandle status) {
  if (int rc = Enter("PsDetachStatus")) return rc;
  if (statuses_.erase(status) == 0) Violation("detached an unknown attachment");
  return 0;
}

}  // namespace netware::testing

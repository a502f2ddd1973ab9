// The registry store.
//
// The store is one text file, <registry dir>/registry.txt:
//   PSADMIN-REGISTRY 1
//   K HKEY_LOCAL_MACHINE                  a key, by its full path; parents come before children
//   V <type> <name> <data>                a value of the key of the nearest K line above
//   K HKEY_LOCAL_MACHINE\SOFTWARE
//   ...
//   E <number of K and V lines> <FNV-1a 64 of every byte before this line, 16 hex digits>
// Names and data are escaped: bytes 0x21-0x7E other than '%' stand for themselves, every other byte
// is "%XX" (upper-case hex); fields are separated by exactly one space, so an empty field is empty.
// Keys and values appear in creation order, which is the enumeration order.
// Anything that does not read back exactly (wrong header, unknown line, bad escape, a missing or
// wrong end line, a duplicate name, an oversized value) makes the whole file damaged: every call
// then answers ERROR_BADDB and the file is never rewritten.
//
// Each call reads the file afresh (a read reuses the parsed store when the file holds the bytes it
// was parsed from). A change takes an exclusive flock on registry.lock, reads,
// changes and writes a new file beside the old one, flushes it and renames it over the old one.
// A store file made read-only (chmod 444) is left as it is: changes answer ERROR_FILE_READ_ONLY.
// A store file that is a symbolic link stays one; the file it leads to gets the change.
#include "platform/registry.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "platform/ascii.h"
#include "platform/atomic_file.h"
#include "platform/paths.h"

struct RegKeyHandle {
  int root = 0;                    // 0 HKEY_LOCAL_MACHINE, 1 HKEY_CURRENT_USER
  std::vector<std::string> path;   // key names below the root, as the caller spelled them
  REGSAM sam = 0;
};

namespace {

using platform::EqualsNoCase;

constexpr std::size_t kMaxNameLength = 255;
constexpr std::size_t kMaxValueBytes = 1024u * 1024u;
constexpr std::size_t kMaxDepth = 512;
constexpr std::size_t kMaxStoreBytes = 64u * 1024u * 1024u;
constexpr std::string_view kHeader = "PSADMIN-REGISTRY 1";
constexpr const char* kRootNames[2] = {"HKEY_LOCAL_MACHINE", "HKEY_CURRENT_USER"};

struct Value {
  std::string name;
  DWORD type = REG_NONE;
  std::string data;
};

struct Key {
  std::string name;
  std::vector<std::unique_ptr<Key>> children;
  std::vector<Value> values;
};

struct Store {
  Key roots[2];
};

Key* FindChild(Key* key, std::string_view name) {
  for (auto& child : key->children) {
    if (EqualsNoCase(child->name, name)) return child.get();
  }
  return nullptr;
}

Value* FindValue(Key* key, std::string_view name) {
  for (Value& v : key->values) {
    if (EqualsNoCase(v.name, name)) return &v;
  }
  return nullptr;
}

Key* Resolve(Store& store, int root, const std::vector<std::string>& path) {
  Key* key = &store.roots[root];
  for (const std::string& name : path) {
    key = FindChild(key, name);
    if (key == nullptr) return nullptr;
  }
  return key;
}

// ---- file format ----

std::uint64_t Fnv1a(std::string_view bytes) {
  std::uint64_t h = 0xcbf29ce484222325ull;
  for (char c : bytes) {
    h ^= static_cast<unsigned char>(c);
    h *= 0x100000001b3ull;
  }
  return h;
}

void Escape(std::string_view in, std::string* out) {
  static const char kHex[] = "0123456789ABCDEF";
  for (char c : in) {
    auto u = static_cast<unsigned char>(c);
    if (u >= 0x21 && u <= 0x7E && u != '%') {
      out->push_back(c);
    } else {
      out->push_back('%');
      out->push_back(kHex[u >> 4]);
      out->push_back(kHex[u & 15]);
    }
  }
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool Unescape(std::string_view in, std::string* out) {
  out->clear();
  for (std::size_t i = 0; i < in.size(); ++i) {
    auto u = static_cast<unsigned char>(in[i]);
    if (u == '%') {
      if (i + 2 >= in.size()) return false;
      int hi = HexDigit(in[i + 1]);
      int lo = HexDigit(in[i + 2]);
      if (hi < 0 || lo < 0) return false;
      auto byte = static_cast<unsigned char>(hi * 16 + lo);
      if (byte >= 0x21 && byte <= 0x7E && byte != '%') return false;  // never written escaped
      out->push_back(static_cast<char>(byte));
      i += 2;
    } else if (u >= 0x21 && u <= 0x7E) {
      out->push_back(static_cast<char>(u));
    } else {
      return false;
    }
  }
  return true;
}

bool ValidName(std::string_view name, bool isKey) {
  if (name.size() > kMaxNameLength) return false;
  if (name.find('\0') != std::string_view::npos) return false;
  if (isKey) return !name.empty() && name.find('\\') == std::string_view::npos;
  return true;
}

bool ValidData(DWORD type, std::string_view data) {
  if (data.size() > kMaxValueBytes) return false;
  if (type == REG_DWORD) return data.size() == 4;
  return type == REG_SZ || type == REG_BINARY;
}

std::vector<std::string_view> SplitFields(std::string_view line) {
  std::vector<std::string_view> fields;
  std::size_t pos = 0;
  for (;;) {
    std::size_t sp = line.find(' ', pos);
    fields.push_back(line.substr(pos, sp == std::string_view::npos ? std::string_view::npos : sp - pos));
    if (sp == std::string_view::npos) break;
    pos = sp + 1;
  }
  return fields;
}

std::string LowerName(std::string_view name) {
  std::string lower(name);
  for (char& c : lower) c = platform::AsciiLower(c);
  return lower;
}

// The keys a parse has made, by parent and lower-case name, so that finding a key's parent and
// checking that a name is new cost the same however many siblings there are (a linear walk of the
// siblings made a store of many keys under one parent quadratic to read).
class ParseIndex {
 public:
  Key* FindKey(const Key* parent, std::string_view name) const {
    auto it = keys_.find(Id(parent, name));
    return it == keys_.end() ? nullptr : it->second;
  }
  void AddKey(const Key* parent, Key* key) { keys_.emplace(Id(parent, key->name), key); }
  // False when the key has a value of that name already.
  bool AddValue(const Key* key, std::string_view name) { return values_.insert(Id(key, name)).second; }

 private:
  static std::string Id(const Key* owner, std::string_view name) {
    std::string id(reinterpret_cast<const char*>(&owner), sizeof owner);
    id.append(LowerName(name));
    return id;
  }
  std::unordered_map<std::string, Key*> keys_;
  std::unordered_set<std::string> values_;
};

bool ParseStore(std::string_view text, Store* store) {
  ParseIndex index;
  std::size_t pos = 0;
  auto nextLine = [&](std::string_view* line, std::size_t* start) {
    if (pos >= text.size()) return false;
    std::size_t nl = text.find('\n', pos);
    if (nl == std::string_view::npos) return false;  // every line, the last too, ends in LF
    *start = pos;
    *line = text.substr(pos, nl - pos);
    pos = nl + 1;
    return true;
  };
  std::string_view line;
  std::size_t start = 0;
  if (!nextLine(&line, &start) || line != kHeader) return false;
  Key* current = nullptr;
  std::uint64_t entries = 0;
  std::string name;
  std::string data;
  while (nextLine(&line, &start)) {
    std::vector<std::string_view> f = SplitFields(line);
    if (f[0] == "K" && f.size() == 2) {
      std::vector<std::string_view> parts;
      std::string_view p = f[1];
      for (;;) {
        std::size_t bs = p.find('\\');
        parts.push_back(p.substr(0, bs));
        if (bs == std::string_view::npos) break;
        p.remove_prefix(bs + 1);
      }
      if (parts.size() > kMaxDepth + 1) return false;
      int root = parts[0] == kRootNames[0] ? 0 : parts[0] == kRootNames[1] ? 1 : -1;
      if (root < 0) return false;
      Key* key = &store->roots[root];
      for (std::size_t i = 1; i < parts.size(); ++i) {
        if (!Unescape(parts[i], &name) || !ValidName(name, true)) return false;
        Key* child = index.FindKey(key, name);
        if (i + 1 < parts.size()) {
          if (child == nullptr) return false;  // parents come first
          key = child;
        } else {
          if (child != nullptr) return false;  // each key once
          auto made = std::make_unique<Key>();
          made->name = name;
          key->children.push_back(std::move(made));
          index.AddKey(key, key->children.back().get());
          key = key->children.back().get();
        }
      }
      current = key;
      ++entries;
    } else if (f[0] == "V" && f.size() == 4) {
      if (current == nullptr) return false;
      DWORD type = f[1] == "1" ? REG_SZ : f[1] == "3" ? REG_BINARY : f[1] == "4" ? REG_DWORD : REG_NONE;
      if (type == REG_NONE) return false;
      if (!Unescape(f[2], &name) || !ValidName(name, false)) return false;
      if (f[3].size() > 3 * kMaxValueBytes || !Unescape(f[3], &data) || !ValidData(type, data)) {
        return false;
      }
      if (!index.AddValue(current, name)) return false;  // each value once
      current->values.push_back(Value{name, type, data});
      ++entries;
    } else if (f[0] == "E" && f.size() == 3) {
      if (pos != text.size()) return false;  // the end line is the last line
      if (f[1] != std::to_string(entries)) return false;
      char want[17];
      std::snprintf(want, sizeof want, "%016llx",
                    static_cast<unsigned long long>(Fnv1a(text.substr(0, start))));
      return f[2] == want;
    } else {
      return false;
    }
  }
  return false;  // no end line: cut short
}

void WriteKey(const Key& key, const std::string& path, std::string* out, std::uint64_t* entries) {
  out->append("K ").append(path).append("\n");
  ++*entries;
  for (const Value& v : key.values) {
    out->append("V ").append(std::to_string(v.type)).append(" ");
    Escape(v.name, out);
    out->append(" ");
    Escape(v.data, out);
    out->append("\n");
    ++*entries;
  }
  for (const auto& child : key.children) {
    std::string childPath = path + "\\";
    Escape(child->name, &childPath);
    WriteKey(*child, childPath, out, entries);
  }
}

std::string SerializeStore(const Store& store) {
  std::string out(kHeader);
  out.append("\n");
  std::uint64_t entries = 0;
  for (int r = 0; r < 2; ++r) WriteKey(store.roots[r], kRootNames[r], &out, &entries);
  char end[64];
  std::snprintf(end, sizeof end, "E %llu %016llx\n", static_cast<unsigned long long>(entries),
                static_cast<unsigned long long>(Fnv1a(out)));
  out.append(end);
  return out;
}

std::string StorePath() { return platform::JoinPath(platform::RegistryDirectory(), "registry.txt"); }

// The same path without making the folder: a read of a root without one finds no file, an empty
// store, and spares a look at the folder in every read.
std::string StorePathToRead() { return platform::JoinPath(platform::RegistryDirectoryPath(), "registry.txt"); }

// Reads the store file at `path` whole: ERROR_SUCCESS with no `text` when there is no store yet
// (an existing empty file is a damaged store, not a missing one), ERROR_BADDB when it cannot be
// read or is larger than a store may be.
LONG ReadStoreFile(const std::string& path, std::optional<std::string>* text) {
  std::string bytes;
  switch (platform::fileio::ReadWholeFile(path, kMaxStoreBytes, &bytes)) {
    case platform::fileio::ReadResult::kMissing:
      text->reset();
      return ERROR_SUCCESS;
    case platform::fileio::ReadResult::kOk:
      *text = std::move(bytes);
      return ERROR_SUCCESS;
    default:
      return ERROR_BADDB;
  }
}

LONG LoadStore(Store* store) {
  std::optional<std::string> text;
  if (LONG r = ReadStoreFile(StorePath(), &text); r != ERROR_SUCCESS || !text) return r;
  return ParseStore(*text, store) ? ERROR_SUCCESS : ERROR_BADDB;
}

// ---- handles ----

std::mutex g_handlesMutex;
std::unordered_set<RegKeyHandle*>& Handles() {
  static auto* handles = new std::unordered_set<RegKeyHandle*>();
  return *handles;
}

struct Target {
  int root = 0;
  std::vector<std::string> path;
  REGSAM sam = 0;
};

bool LookupHandle(HKEY key, Target* t) {
  if (key == HKEY_LOCAL_MACHINE || key == HKEY_CURRENT_USER) {
    t->root = key == HKEY_LOCAL_MACHINE ? 0 : 1;
    t->path.clear();
    t->sam = KEY_ALL_ACCESS;
    return true;
  }
  std::lock_guard<std::mutex> lock(g_handlesMutex);
  if (Handles().count(key) == 0) return false;
  t->root = key->root;
  t->path = key->path;
  t->sam = key->sam;
  return true;
}

HKEY NewHandle(const Target& t, REGSAM sam) {
  auto* h = new RegKeyHandle{t.root, t.path, sam};
  std::lock_guard<std::mutex> lock(g_handlesMutex);
  Handles().insert(h);
  return h;
}

// Appends the parts of a '\'-separated sub-key path; false on an empty part, an invalid name or a
// path that is too deep.
bool AppendSubKey(const char* subKey, std::vector<std::string>* path) {
  if (subKey == nullptr || subKey[0] == '\0') return true;
  std::string_view p(subKey);
  for (;;) {
    std::size_t bs = p.find('\\');
    std::string_view part = p.substr(0, bs);
    if (!ValidName(part, true)) return false;
    path->emplace_back(part);
    if (path->size() > kMaxDepth) return false;
    if (bs == std::string_view::npos) break;
    p.remove_prefix(bs + 1);
  }
  return true;
}

bool ValidValueName(const char* name) {
  return name == nullptr || std::strlen(name) <= kMaxNameLength;
}

// Runs `op` on a freshly read store. When it reports a change, writes the store back under the
// lock; the lock is taken before reading so that no change of another process is lost.
// A store file that is a symbolic link stays one: the file it leads to is replaced, in its own
// folder, and the lock is taken there too.
template <typename Op>
LONG Change(Op op) {
  const std::string target = platform::fileio::WriteTarget(StorePath());
  platform::fileio::LockFile lock(target.substr(0, target.rfind('/') + 1) + "registry.lock");
  Store store;
  LONG r = LoadStore(&store);
  if (r != ERROR_SUCCESS) return r;
  bool changed = false;
  r = op(store, changed);
  if (r != ERROR_SUCCESS || !changed) return r;
  if (!lock.locked()) return ERROR_WRITE_FAULT;
  std::string text = SerializeStore(store);
  if (text.size() > kMaxStoreBytes) return ERROR_NOT_ENOUGH_MEMORY;
  switch (platform::fileio::ReplaceFile(target, text)) {
    case platform::fileio::ReplaceResult::kOk:
      return ERROR_SUCCESS;
    case platform::fileio::ReplaceResult::kReadOnly:
      return ERROR_FILE_READ_ONLY;
    default:
      return ERROR_WRITE_FAULT;
  }
}

// The last store a read of this process parsed, with the exact text it came from. The file is
// still read on every call, so a change by any process is seen at once; only a file holding the
// same bytes is not parsed again.
struct ParsedStore {
  std::string text;
  Store store;
};
std::mutex g_lastReadMutex;
std::shared_ptr<ParsedStore> g_lastRead;

// Runs `op`, which only looks, on a freshly read store.
template <typename Op>
LONG Read(Op op) {
  std::optional<std::string> text;
  if (LONG r = ReadStoreFile(StorePathToRead(), &text); r != ERROR_SUCCESS) return r;
  if (!text) {
    Store empty;
    return op(empty);
  }
  std::shared_ptr<ParsedStore> parsed;
  {
    std::lock_guard<std::mutex> lock(g_lastReadMutex);
    if (g_lastRead && g_lastRead->text == *text) parsed = g_lastRead;
  }
  if (!parsed) {
    parsed = std::make_shared<ParsedStore>();
    if (!ParseStore(*text, &parsed->store)) return ERROR_BADDB;
    parsed->text = std::move(*text);
    std::lock_guard<std::mutex> lock(g_lastReadMutex);
    g_lastRead = parsed;
  }
  return op(parsed->store);
}

LONG OpenOrCreate(HKEY parent, const char* subKey, REGSAM sam, HKEY* result, DWORD* disposition,
                  bool create) {
  if (result == nullptr) return ERROR_INVALID_PARAMETER;
  *result = nullptr;
  Target t;
  if (!LookupHandle(parent, &t)) return ERROR_INVALID_HANDLE;
  std::size_t parentDepth = t.path.size();
  if (!AppendSubKey(subKey, &t.path)) return ERROR_INVALID_PARAMETER;
  bool created = false;
  auto find = [&](Store& store) -> LONG {
    std::vector<std::string> parentPath(t.path.begin(), t.path.begin() + static_cast<long>(parentDepth));
    if (Resolve(store, t.root, parentPath) == nullptr) return ERROR_KEY_DELETED;
    return Resolve(store, t.root, t.path) != nullptr ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
  };
  LONG r;
  if (!create) {
    r = Read(find);
  } else {
    r = Change([&](Store& store, bool& changed) -> LONG {
      LONG found = find(store);
      if (found != ERROR_FILE_NOT_FOUND) return found;
      if ((t.sam & KEY_CREATE_SUB_KEY) == 0) return ERROR_ACCESS_DENIED;
      Key* key = &store.roots[t.root];
      for (const std::string& name : t.path) {
        Key* child = FindChild(key, name);
        if (child == nullptr) {
          auto made = std::make_unique<Key>();
          made->name = name;
          key->children.push_back(std::move(made));
          child = key->children.back().get();
        }
        key = child;
      }
      created = changed = true;
      return ERROR_SUCCESS;
    });
  }
  if (r != ERROR_SUCCESS) return r;
  if (disposition != nullptr) *disposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
  *result = NewHandle(t, sam);
  return ERROR_SUCCESS;
}

}  // namespace

LONG RegCreateKeyEx(HKEY parent, const char* subKey, REGSAM sam, HKEY* result, DWORD* disposition) {
  return OpenOrCreate(parent, subKey, sam, result, disposition, true);
}

LONG RegOpenKeyEx(HKEY parent, const char* subKey, REGSAM sam, HKEY* result) {
  return OpenOrCreate(parent, subKey, sam, result, nullptr, false);
}

LONG RegCloseKey(HKEY key) {
  if (key == HKEY_LOCAL_MACHINE || key == HKEY_CURRENT_USER) return ERROR_SUCCESS;
  std::lock_guard<std::mutex> lock(g_handlesMutex);
  if (Handles().erase(key) == 0) return ERROR_INVALID_HANDLE;
  delete key;
  return ERROR_SUCCESS;
}

LONG RegDeleteKey(HKEY parent, const char* subKey) {
  if (subKey == nullptr) return ERROR_INVALID_PARAMETER;
  Target t;
  if (!LookupHandle(parent, &t)) return ERROR_INVALID_HANDLE;
  std::size_t parentDepth = t.path.size();
  if (!AppendSubKey(subKey, &t.path)) return ERROR_INVALID_PARAMETER;
  if (t.path.empty()) return ERROR_ACCESS_DENIED;  // a root key cannot be deleted
  return Change([&](Store& store, bool& changed) -> LONG {
    std::vector<std::string> parentPath(t.path.begin(), t.path.begin() + static_cast<long>(parentDepth));
    if (Resolve(store, t.root, parentPath) == nullptr) return ERROR_KEY_DELETED;
    std::vector<std::string> upPath(t.path.begin(), t.path.end() - 1);
    Key* up = Resolve(store, t.root, upPath);
    Key* victim = up != nullptr ? FindChild(up, t.path.back()) : nullptr;
    if (victim == nullptr) return ERROR_FILE_NOT_FOUND;
    if (!victim->children.empty()) return ERROR_ACCESS_DENIED;
    up->children.erase(std::find_if(up->children.begin(), up->children.end(),
                                    [&](const std::unique_ptr<Key>& k) { return k.get() == victim; }));
    changed = true;
    return ERROR_SUCCESS;
  });
}

LONG RegSetValueEx(HKEY key, const char* valueName, DWORD type, const BYTE* data, DWORD size) {
  Target t;
  if (!LookupHandle(key, &t)) return ERROR_INVALID_HANDLE;
  if (!ValidValueName(valueName)) return ERROR_INVALID_PARAMETER;
  if (data == nullptr && size != 0) return ERROR_INVALID_PARAMETER;
  if (size > kMaxValueBytes) return ERROR_INVALID_PARAMETER;
  std::string bytes(reinterpret_cast<const char*>(data), data != nullptr ? size : 0);
  if (!ValidData(type, bytes)) return ERROR_INVALID_PARAMETER;
  if ((t.sam & KEY_SET_VALUE) == 0) return ERROR_ACCESS_DENIED;
  std::string name = valueName != nullptr ? valueName : "";
  return Change([&](Store& store, bool& changed) -> LONG {
    Key* k = Resolve(store, t.root, t.path);
    if (k == nullptr) return ERROR_KEY_DELETED;
    if (Value* v = FindValue(k, name)) {
      if (v->type == type && v->data == bytes) return ERROR_SUCCESS;
      v->type = type;
      v->data = bytes;
    } else {
      k->values.push_back(Value{name, type, bytes});
    }
    changed = true;
    return ERROR_SUCCESS;
  });
}

LONG RegQueryValueEx(HKEY key, const char* valueName, DWORD* type, BYTE* data, DWORD* size) {
  Target t;
  if (!LookupHandle(key, &t)) return ERROR_INVALID_HANDLE;
  if (!ValidValueName(valueName)) return ERROR_INVALID_PARAMETER;
  if (data != nullptr && size == nullptr) return ERROR_INVALID_PARAMETER;
  if ((t.sam & KEY_QUERY_VALUE) == 0) return ERROR_ACCESS_DENIED;
  std::string name = valueName != nullptr ? valueName : "";
  return Read([&](Store& store) -> LONG {
    Key* k = Resolve(store, t.root, t.path);
    if (k == nullptr) return ERROR_KEY_DELETED;
    Value* v = FindValue(k, name);
    if (v == nullptr) return ERROR_FILE_NOT_FOUND;
    if (type != nullptr) *type = v->type;
    auto needed = static_cast<DWORD>(v->data.size());
    if (data != nullptr && *size < needed) {
      *size = needed;
      return ERROR_MORE_DATA;
    }
    if (data != nullptr && needed != 0) std::memcpy(data, v->data.data(), needed);
    if (size != nullptr) *size = needed;
    return ERROR_SUCCESS;
  });
}

LONG RegQueryMultipleValues(HKEY key, VALENTA* values, DWORD count, char* buffer, DWORD* totalSize) {
  Target t;
  if (!LookupHandle(key, &t)) return ERROR_INVALID_HANDLE;
  if (values == nullptr || count == 0 || totalSize == nullptr || (buffer == nullptr && *totalSize != 0))
    return ERROR_INVALID_PARAMETER;
  for (DWORD i = 0; i < count; ++i)
    if (!ValidValueName(values[i].ve_valuename)) return ERROR_INVALID_PARAMETER;
  if ((t.sam & KEY_QUERY_VALUE) == 0) return ERROR_ACCESS_DENIED;
  return Read([&](Store& store) -> LONG {
    Key* k = Resolve(store, t.root, t.path);
    if (k == nullptr) return ERROR_KEY_DELETED;
    std::vector<const Value*> found(count);
    std::size_t needed = 0;
    for (DWORD i = 0; i < count; ++i) {
      found[i] = FindValue(k, values[i].ve_valuename != nullptr ? values[i].ve_valuename : "");
      if (found[i] == nullptr) return ERROR_CANTREAD;
      needed += found[i]->data.size();
    }
    if (needed > *totalSize) {
      *totalSize = static_cast<DWORD>(needed);
      return ERROR_MORE_DATA;
    }
    std::size_t at = 0;
    for (DWORD i = 0; i < count; ++i) {
      const std::string& data = found[i]->data;
      if (!data.empty()) std::memcpy(buffer + at, data.data(), data.size());
      values[i].ve_valuelen = static_cast<DWORD>(data.size());
      values[i].ve_valueptr = reinterpret_cast<std::uintptr_t>(buffer + at);
      values[i].ve_type = found[i]->type;
      at += data.size();
    }
    *totalSize = static_cast<DWORD>(at);
    return ERROR_SUCCESS;
  });
}

LONG RegDeleteValue(HKEY key, const char* valueName) {
  Target t;
  if (!LookupHandle(key, &t)) return ERROR_INVALID_HANDLE;
  if (!ValidValueName(valueName)) return ERROR_INVALID_PARAMETER;
  if ((t.sam & KEY_SET_VALUE) == 0) return ERROR_ACCESS_DENIED;
  std::string name = valueName != nullptr ? valueName : "";
  return Change([&](Store& store, bool& changed) -> LONG {
    Key* k = Resolve(store, t.root, t.path);
    if (k == nullptr) return ERROR_KEY_DELETED;
    auto it = std::find_if(k->values.begin(), k->values.end(),
                           [&](const Value& v) { return EqualsNoCase(v.name, name); });
    if (it == k->values.end()) return ERROR_FILE_NOT_FOUND;
    k->values.erase(it);
    changed = true;
    return ERROR_SUCCESS;
  });
}

LONG RegEnumKeyEx(HKEY key, DWORD index, char* name, DWORD* nameSize) {
  Target t;
  if (!LookupHandle(key, &t)) return ERROR_INVALID_HANDLE;
  if (name == nullptr || nameSize == nullptr) return ERROR_INVALID_PARAMETER;
  if ((t.sam & KEY_ENUMERATE_SUB_KEYS) == 0) return ERROR_ACCESS_DENIED;
  return Read([&](Store& store) -> LONG {
    Key* k = Resolve(store, t.root, t.path);
    if (k == nullptr) return ERROR_KEY_DELETED;
    if (index >= k->children.size()) return ERROR_NO_MORE_ITEMS;
    const std::string& n = k->children[index]->name;
    if (*nameSize < n.size() + 1) {
      *nameSize = static_cast<DWORD>(n.size() + 1);
      return ERROR_MORE_DATA;
    }
    std::memcpy(name, n.c_str(), n.size() + 1);
    *nameSize = static_cast<DWORD>(n.size());
    return ERROR_SUCCESS;
  });
}

LONG RegEnumValue(HKEY key, DWORD index, char* name, DWORD* nameSize, DWORD* type, BYTE* data,
                  DWORD* dataSize) {
  Target t;
  if (!LookupHandle(key, &t)) return ERROR_INVALID_HANDLE;
  if (name == nullptr || nameSize == nullptr) return ERROR_INVALID_PARAMETER;
  if (data != nullptr && dataSize == nullptr) return ERROR_INVALID_PARAMETER;
  if ((t.sam & KEY_QUERY_VALUE) == 0) return ERROR_ACCESS_DENIED;
  return Read([&](Store& store) -> LONG {
    Key* k = Resolve(store, t.root, t.path);
    if (k == nullptr) return ERROR_KEY_DELETED;
    if (index >= k->values.size()) return ERROR_NO_MORE_ITEMS;
    const Value& v = k->values[index];
    auto needed = static_cast<DWORD>(v.data.size());
    bool nameFits = *nameSize >= v.name.size() + 1;
    bool dataFits = data == nullptr || *dataSize >= needed;
    if (type != nullptr) *type = v.type;
    if (!nameFits || !dataFits) {
      *nameSize = static_cast<DWORD>(v.name.size() + 1);
      if (dataSize != nullptr) *dataSize = needed;
      return ERROR_MORE_DATA;
    }
    std::memcpy(name, v.name.c_str(), v.name.size() + 1);
    *nameSize = static_cast<DWORD>(v.name.size());
    if (data != nullptr && needed != 0) std::memcpy(data, v.data.data(), needed);
    if (dataSize != nullptr) *dataSize = needed;
    return ERROR_SUCCESS;
  });
}

namespace platform {

std::string RegistryStorePath() { return StorePathToRead(); }

std::string RegistryResultText(LONG result) {
  const std::string store = "the registry store " + RegistryStorePath();
  switch (result) {
    case ERROR_SUCCESS:
      return "done";
    case ERROR_FILE_READ_ONLY:
      return store + " is read-only";
    case ERROR_BADDB:
      return store + " is damaged";
    case ERROR_WRITE_FAULT:
      return store + " cannot be written";
    case ERROR_NOT_ENOUGH_MEMORY:
      return store + " would grow too large";
    case ERROR_ACCESS_DENIED:
      return "access denied";
    case ERROR_FILE_NOT_FOUND:
      return "no such key or value";
    case ERROR_KEY_DELETED:
      return "the key was deleted";
    case ERROR_INVALID_PARAMETER:
      return "invalid name or value";
    default:
      return "registry error " + std::to_string(result);
  }
}

}  // namespace platform

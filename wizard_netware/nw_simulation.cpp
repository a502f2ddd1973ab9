#include "wizard_netware/nw_simulation.h"

#include <cstdlib>

#include "platform/ascii.h"
#include "platform/profile.h"
#include "wizard_netware/nw_codes.h"
#include "wizard_netware/nw_sim_twins.h"

namespace netware {
namespace {

constexpr std::size_t kMaxValue = kNwTextBufferSize - 1;

// Reads a value whole, up to the point where it is known to be too long for the buffers: returns
// false when it is longer than kMaxValue.
bool ReadWhole(const std::string& section, const std::string& key, std::string& out) {
  char buf[kNwTextBufferSize + 1] = {};
  DWORD n = GetPrivateProfileString(section.c_str(), key.c_str(), "", buf, sizeof buf,
                                    kNwSimulationFile);
  out.assign(buf, n);
  if (out.size() > kMaxValue) {
    out.resize(kMaxValue);
    return false;
  }
  return true;
}

}  // namespace

int IsNwSimulation() {
  std::string text;
  ReadNwSimSetting("debug", "simulation", text);
  if (text.empty()) return 0;
  return std::atoi(text.c_str()) == 1 ? 1 : 0;
}

bool ReadNwSimSetting(const std::string& section, const std::string& key, std::string& out) {
  return ReadWhole(section, key, out);
}

int WriteNwSimSetting(const std::string& section, const std::string& key,
                      const std::string& value) {
  if (platform::HasAsciiControl(section) || platform::HasAsciiControl(key) || platform::HasAsciiControl(value)) return kNwParamInvalid;
  if (!WritePrivateProfileString(section.c_str(), key.c_str(), value.c_str(), kNwSimulationFile)) {
    return kNwSettingsNotWritten;
  }
  return 0;
}

void SplitCommaList(NwNameList& list, const std::string& text) {
  list.clear();
  if (text.empty()) return;
  std::size_t start = 0;
  for (;;) {
    std::size_t comma = text.find(',', start);
    if (comma == std::string::npos) {
      list.push_back(text.substr(start));
      return;
    }
    list.push_back(text.substr(start, comma - start));
    start = comma + 1;
  }
}

int CommaListContains(const std::string& text, const std::string& name) {
  NwNameList pieces;
  SplitCommaList(pieces, text);
  for (const std::string& piece : pieces) {
    if (piece == name) return 1;
  }
  return 0;
}

int CommaListRemove(std::string& text, const std::string& name) {
  NwNameList pieces;
  SplitCommaList(pieces, text);
  std::string kept;
  bool first = true;
  for (const std::string& piece : pieces) {
    if (piece == name) continue;
    if (!first) kept += ',';
    kept += piece;
    first = false;
  }
  text = kept;
  return 1;
}

int CommaListAdd(std::string& text, const std::string& name) {
  if (CommaListContains(text, name)) return 1;
  if (!text.empty()) text += ',';
  text += name;
  return 1;
}

bool IsStorableNwName(const std::string& name) {
  if (name.empty() || name.size() > kMaxValue) return false;
  for (char c : name) {
    if (platform::IsAsciiControl(c) || c == ',' || c == ']') return false;
  }
  auto outer = [](char c) { return c == ' ' || c == '"' || c == '\''; };
  return !outer(name.front()) && !outer(name.back());
}

namespace sim {
namespace {

// A list value, cut at its last whole name when it was longer than the buffer.
std::string ReadList(const std::string& section, const std::string& key) {
  std::string value;
  if (!ReadNwSimSetting(section, key, value)) {
    std::size_t comma = value.rfind(',');
    value.resize(comma == std::string::npos ? 0 : comma);
  }
  return value;
}

// Edits one list value: refuses a name that could not be read back, a value already too long to
// edit without losing its tail, and an edit that would make it too long.
template <typename Edit>
int EditList(const std::string& section, const std::string& key, const std::string& name,
             Edit edit) {
  if (!IsStorableNwName(name) || !IsStorableNwName(section)) return kNwParamInvalid;
  std::string value;
  if (!ReadWhole(section, key, value)) return kNwBufferOverflow;
  std::string edited = value;
  edit(edited, name);
  if (edited == value) return 0;
  if (edited.size() > kMaxValue) return kNwBufferOverflow;
  return WriteNwSimSetting(section, key, edited);
}

}  // namespace

int ListFileServers(NwNameList& list) {
  NwNameList all;
  SplitCommaList(all, ReadList("fileserver", "total"));
  list.clear();
  for (const std::string& server : all) {
    std::string type;
    ReadNwSimSetting("fileserver", server, type);
    if (type.size() > 2 && platform::EqualsNoCase(std::string_view(type).substr(2), "0x33")) {
      list.push_back(server);
    }
  }
  return 0;
}

int ServerMajorVersion(const std::string& fileServer) {
  std::string type;
  ReadNwSimSetting("fileserver", fileServer, type);
  if (type.empty()) return 0;
  const char digit[2] = {type[0], '\0'};
  return std::atoi(digit);
}

int ListKind(const char* kind, NwNameList& list) { return ListKey(kind, "total", list); }

int FindInKind(const char* kind, const std::string& name) {
  return CommaListContains(ReadList(kind, "total"), name) ? 0 : kNwNotFound;
}

int AddToKind(const char* kind, const std::string& name) { return AddToKey(kind, "total", name); }

int RemoveFromKind(const char* kind, const std::string& name) {
  return RemoveFromKey(kind, "total", name);
}

int ListKey(const std::string& section, const char* key, NwNameList& list) {
  SplitCommaList(list, ReadList(section, key));
  return 0;
}

int AddToKey(const std::string& section, const char* key, const std::string& name) {
  return EditList(section, key, name, CommaListAdd);
}

int RemoveFromKey(const std::string& section, const char* key, const std::string& name) {
  return EditList(section, key, name, CommaListRemove);
}

int ListNumbered(const std::string& section, const char* key, NwNameList& list,
                 NwByteArray& numbers) {
  ListKey(section, key, list);
  numbers.clear();
  for (std::size_t i = 0; i < list.size(); ++i) numbers.push_back(static_cast<BYTE>(i));
  return 0;
}

int CreatePrinter(const std::string& printServer, const std::string& printer) {
  int rc = AddToKind(kPrinters, printer);
  if (rc != 0) return rc;
  return AddToKey(printServer, "printer", printer);
}

namespace {

// Removes the name from the kind's total and from that key of every print server.
int RemoveFromKindAndPrintServers(const char* kind, const char* key, const std::string& name) {
  int rc = RemoveFromKind(kind, name);
  NwNameList servers;
  ListKind(kPrintServers, servers);
  for (const std::string& server : servers) {
    int one = RemoveFromKey(server, key, name);
    if (rc == 0) rc = one;
  }
  return rc;
}

}  // namespace

int DeletePrinterEverywhere(const std::string& printer) {
  return RemoveFromKindAndPrintServers(kPrinters, "printer", printer);
}

int CreateQueue(const std::string& printer, const std::string& queue) {
  int rc = AddToKind(kQueues, queue);
  if (rc != 0) return rc;
  return AddToKey(printer, "queue", queue);
}

int DeleteQueueEverywhere(const std::string& queue) {
  return RemoveFromKindAndPrintServers(kQueues, "queue", queue);
}

int SetPassword(const std::string& object, const std::string& oldPassword,
                const std::string& newPassword) {
  std::string stored;
  ReadNwSimSetting(object, "password", stored);
  if (stored != oldPassword) return kNwNoVolume;  // -1: the old password does not match
  if (!IsStorableNwName(object)) return kNwParamInvalid;
  return WriteNwSimSetting(object, "password", newPassword);
}

int ListContainers(const std::string& container, NwNameList& list) {
  if (platform::EqualsNoCase(container, "[ROOT]")) return ListKey("context", "total", list);
  return ListKey("context", container.c_str(), list);
}

int ListVolumes(const std::string& context, NwNameList& list) {
  if (platform::EqualsNoCase(context, "[ROOT]")) return ListKey("volume", "total", list);
  return ListKey("volume", context.c_str(), list);
}

int SetupPrintServer(const std::string& printServer, const NwNameList& printers,
                     const NwNameList& queues) {
  if (printers.empty() || queues.empty() || printers.size() != queues.size()) {
    return kNwEmptyNameList;
  }
  // Every name is checked before the first write, so that a refused name leaves the file alone.
  if (!IsStorableNwName(printServer)) return kNwParamInvalid;
  for (const NwNameList* names : {&printers, &queues}) {
    for (const std::string& name : *names) {
      if (!IsStorableNwName(name)) return kNwParamInvalid;
    }
  }
  RemoveFromKind(kPrintServers, printServer);
  AddToKind(kPrintServers, printServer);
  auto queue = queues.begin();
  for (const std::string& printer : printers) {
    DeletePrinterEverywhere(printer);
    CreatePrinter(printServer, printer);
    DeleteQueueEverywhere(*queue);
    CreateQueue(printer, *queue);
    ++queue;
  }
  return 0;
}

void CutAtFirstDot(std::string& name) {
  std::size_t dot = name.find('.');
  if (dot != std::string::npos) name.resize(dot);
}

}  // namespace sim
}  // namespace netware

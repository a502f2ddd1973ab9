#include "device_client/live_discovery/live_discovery.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "device_client/access/ncb.h"
#include "device_client/core/transport/text.h"
#include "device_client/device_lists/device_lists.h"
#include "platform/ascii.h"
#include "platform/clock.h"
#include "platform/ipx/ipx.h"
#include "platform/paths.h"
#include "platform/profile.h"

namespace {

namespace pid = wire::pid;

constexpr int kSapEntrySize = 64;
constexpr int kSapEntriesOffset = 2;
constexpr int kSapNameOffset = 2;
constexpr int kSapNetworkOffset = 50;
constexpr int kSapNodeOffset = 54;
constexpr int kSapDatagramSize = 1024;
constexpr int kUdpDatagramSize = 3072;
// Room in a socket for a whole burst of answers (several hundred servers answering one query at
// once); a smaller buffer would drop the answers that come last.
constexpr int kSocketReceiveBuffer = 256 * 1024;

constexpr std::int64_t kSilenceMs = 4000;       // end of a query: this long without an answer
constexpr std::int64_t kListenRoundMs = 2000;   // one round of passive listening
constexpr int kMaxQuietRounds = 50;             // passive listening ends after more quiet rounds
constexpr std::int64_t kNetbiosRoundMs = 2000;  // NetBIOS: wait for any receive
constexpr std::int64_t kResendPauseMs = 600;
constexpr int kResends = 2;
constexpr std::int64_t kCancelPauseMs = 100;
// A network that never falls silent (a flood of answers) still ends a query after this many
// datagrams.
constexpr int kMaxDatagrams = 8192;

// The device-information answer on UDP and NetBIOS: 5-byte reply header, then the block.
constexpr int kAnswerHeader = wire::kStreamReplyHeaderSize;
constexpr int kAnswerMinimum = kAnswerHeader + pid::kDefaultName + pid::kNameSize;  // 101
constexpr int kNetbiosNameLength = 15;

constexpr std::uint8_t kDiscoveryRequest[10] = {wire::kRequestMarker, 0, 6, 0, '9', '0', '0', '7', ':', '\n'};

// Repeats a broadcast from a thread of its own: waits 600 ms and sends again, twice. The owner
// stops it (which joins it) before it closes what the thread sends on.
class Resender {
 public:
  explicit Resender(std::function<void()> send) : send_(std::move(send)) {
    try {
      thread_ = std::thread([this] { Run(); });
    } catch (...) {
      // No thread: the query goes out once.
    }
  }
  ~Resender() { Stop(); }
  Resender(const Resender&) = delete;
  Resender& operator=(const Resender&) = delete;

  void Stop() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
  }

 private:
  void Run() {
    for (int i = 0; i < kResends; ++i) {
      // The pause in short steps, so that a stop does not wait for the whole of it.
      for (std::int64_t waited = 0; waited < kResendPauseMs; waited += 100) {
        if (stop_) return;
        platform::GetClock().SleepMs(100);
      }
      if (stop_) return;
      send_();
    }
  }

  std::function<void()> send_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

// Closes an IPX or plain socket when it goes out of scope (declared before any Resender that
// sends on it, so the Resender is joined first).
class SocketCloser {
 public:
  SocketCloser(int fd, bool ipx) : fd_(fd), ipx_(ipx) {}
  ~SocketCloser() {
    if (fd_ < 0) return;
    if (ipx_) IpxClose(fd_);
    else ::close(fd_);
  }
  SocketCloser(const SocketCloser&) = delete;
  SocketCloser& operator=(const SocketCloser&) = delete;

 private:
  int fd_;
  bool ipx_;
};

struct BrowseState {
  std::unique_ptr<std::array<BrowseEntry, MAX_BROWSE_ENTRIES>> table;
  int count = 0;
  int exitHook = 0;
  live_discovery::UdpSettings udp;
};

// Never destroyed: the device-API object that stops the library (PSExit, and the exit hooks it
// runs) may itself be a static built before this state, so it would be destroyed after it.
BrowseState& B() {
  static BrowseState* const state = new BrowseState;
  return *state;
}

// The browse table, allocated once and released when the library exits.
std::array<BrowseEntry, MAX_BROWSE_ENTRIES>* BrowseTable() {
  BrowseState& b = B();
  if (!b.table) {
    b.table = std::make_unique<std::array<BrowseEntry, MAX_BROWSE_ENTRIES>>();
    std::memset(b.table->data(), 0, sizeof(BrowseEntry) * MAX_BROWSE_ENTRIES);
    b.count = 0;
    if (b.exitHook == 0) {
      b.exitHook = console_access::AddExitHook([] {
        B().table.reset();
        B().count = 0;
      });
    }
  }
  return b.table.get();
}

std::uint16_t SapServerType(int iType) {
  switch (iType) {
    case SAP_QUERY_PRINT_SERVER:
      return wire::kBoxSapServerType;
    case SAP_QUERY_FILE_SERVER:
      return wire::kFileServerSapType;
    case SAP_QUERY_NDS_TREE:
      return wire::kNdsTreeSapType;
    default:
      return 0;
  }
}

// The text runs to its first NUL within `size` bytes.
bool HasControlCharacter(const char* text, std::size_t size) {
  return platform::HasAsciiControl(std::string_view(text, strnlen(text, size)));
}

// A box record from a SAP entry: "KL" + the last six hex digits of the node, protocol 1, the
// network number and node as address.
DeviceRecord RecordFromSapEntry(const std::uint8_t* entry) {
  DeviceRecord r{};
  const std::uint8_t* node = entry + kSapNodeOffset;
  char name[9];
  std::snprintf(name, sizeof name, "KL%02X%02X%02X", node[3], node[4], node[5]);
  std::memcpy(r.szName, name, 8);
  r.iProtocol = TYPE_IPXSPX;
  std::memcpy(r.address, entry + kSapNetworkOffset, 4);
  std::memcpy(r.address + 4, node, 6);
  return r;
}

bool SameNode(const std::uint8_t* address, const std::uint8_t* node) {
  return std::memcmp(address + 4, node, 6) == 0;
}

// The 48-byte name of a server entry as the name array keeps it: the text up to its NUL, the rest
// zero; a tree's name cut after its last printable character other than '_' (from position 31
// down). False when nothing usable is left.
bool ServerNameOf(int iType, const std::uint8_t* entry, char (&name)[SAP_NAME_SIZE]) {
  std::memset(name, 0, sizeof name);
  const char* text = reinterpret_cast<const char*>(entry + kSapNameOffset);
  std::memcpy(name, text, strnlen(text, SAP_NAME_SIZE));
  if (iType == SAP_QUERY_NDS_TREE) {
    // keep = how many leading characters stay; a name of nothing but padding keeps none.
    std::size_t keep = 32;
    while (keep > 0) {
      const auto c = static_cast<unsigned char>(name[keep - 1]);
      if (std::isprint(c) != 0 && c != '_') break;
      --keep;
    }
    std::memset(name + keep, 0, sizeof name - keep);
  }
  return name[0] != '\0' && !HasControlCharacter(name, sizeof name);
}

bool SameName20(const char* a, const char* b) { return std::memcmp(a, b, 20) == 0; }

// Takes a box that answered into the caller's records, once: a zeroed record with its name and
// protocol (the caller fills in the address), or null when a record of that name is there already
// or the records are full.
DeviceRecord* AddFoundBox(DeviceRecord* pRecords, int& count, int nCapacity, const char (&name)[20],
                          int protocol) {
  bool known = false;
  for (int k = 0; k < count && !known; ++k) known = SameName20(pRecords[k].szName, name);
  if (known || count >= nCapacity) return nullptr;
  DeviceRecord& r = pRecords[count++];
  std::memset(&r, 0, sizeof r);
  std::memcpy(r.szName, name, 20);
  r.iProtocol = protocol;
  return &r;
}

// A usable default name: not empty, storable (no control characters, no backslash).
bool UsableName(const char (&name)[20]) { return core::AcceptableBoxNames(name, nullptr); }

// Local IPv4 addresses to send from.
std::vector<std::array<std::uint8_t, 4>> LocalAddresses() {
  const auto& given = B().udp.localAddresses;
  if (!given.empty()) return given;
  std::uint8_t list[10][4];
  int count = 0;
  core::EnumBindIp(list, 10, &count);
  std::vector<std::array<std::uint8_t, 4>> out;
  for (int i = 0; i < count; ++i) out.push_back({list[i][0], list[i][1], list[i][2], list[i][3]});
  return out;
}

// A UDP broadcast socket bound to one local address: the descriptor, or -1.
int OpenUdpBroadcastSocket(const std::array<std::uint8_t, 4>& local) {
  const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  const int on = 1;
  sockaddr_in self{};
  self.sin_family = AF_INET;
  std::memcpy(&self.sin_addr, local.data(), 4);
  if (::setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &on, sizeof on) != 0 ||
      ::bind(fd, reinterpret_cast<sockaddr*>(&self), sizeof self) != 0) {
    ::close(fd);
    return -1;
  }
  const int size = kSocketReceiveBuffer;
  ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
  return fd;
}

sockaddr_in BroadcastTarget() {
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_addr.s_addr = htonl(INADDR_BROADCAST);
  to.sin_port = htons(B().udp.port);
  return to;
}

bool SendUdp(int fd, const void* data, std::size_t size, const sockaddr_in& to) {
  return ::sendto(fd, data, size, 0, reinterpret_cast<const sockaddr*>(&to), sizeof to) ==
         static_cast<ssize_t>(size);
}

// Sorts browse entries by name, byte-wise over 20 bytes, by repeated neighbour exchanges.
void SortBrowseEntries(BrowseEntry* entries, int count) {
  bool swapped = true;
  while (swapped) {
    swapped = false;
    for (int i = 0; i + 1 < count; ++i) {
      if (std::strncmp(entries[i].szName, entries[i + 1].szName, 20) > 0) {
        BrowseEntry t = entries[i];
        entries[i] = entries[i + 1];
        entries[i + 1] = t;
        swapped = true;
      }
    }
  }
}

// Adds a record to the device table unless its name is there already; false when the table is
// full.
bool AddToDeviceTable(const DeviceRecord& record) {
  if (FindDeviceIndex(record.szName) >= 0) return true;
  return console_access::AppendDevice(record) == 0;
}

void SortDeviceTable() {
  const int count = console_access::DeviceCount();
  if (count > 1) SortDeviceRecords(console_access::MutableDeviceAt(0), count);
}

int CopyDeviceTableNames(char* pNames, int nCapacity) {
  int n = 0;
  for (int i = 0; i < console_access::DeviceCount() && n < nCapacity; ++i) {
    std::memcpy(pNames + static_cast<std::ptrdiff_t>(n) * 20, console_access::DeviceAt(i)->szName, 20);
    ++n;
  }
  return n;
}

}  // namespace

DeviceRecord RecordOfEntry(const BrowseEntry& entry) {
  DeviceRecord r{};
  std::memcpy(&r, &entry, sizeof r);
  return r;
}

namespace live_discovery {

int BrowseCount() { return B().table ? B().count : 0; }

const BrowseEntry* BrowseAt(int index) {
  BrowseState& b = B();
  if (!b.table || index < 0 || index >= b.count) return nullptr;
  return &(*b.table)[static_cast<std::size_t>(index)];
}

void SetUdpSettings(const UdpSettings& settings) { B().udp = settings; }
const UdpSettings& CurrentUdpSettings() { return B().udp; }

int TakeSapAnswer(int iType, const std::uint8_t* data, int size, char* pNames,
                  DeviceRecord* pRecords, int* pnCount, int nCapacity) {
  const std::uint16_t wanted = SapServerType(iType);
  if (wanted == 0 || data == nullptr || pnCount == nullptr) return 0;
  for (int offset = kSapEntriesOffset; offset + kSapEntrySize <= size; offset += kSapEntrySize) {
    const std::uint8_t* entry = data + offset;
    const auto type = static_cast<std::uint16_t>((entry[0] << 8) | entry[1]);
    if (type != wanted) continue;
    if (iType == SAP_QUERY_PRINT_SERVER) {
      if (pRecords == nullptr) return 0;
      bool known = false;
      for (int i = 0; i < *pnCount && !known; ++i) known = SameNode(pRecords[i].address, entry + kSapNodeOffset);
      if (known) continue;
      if (*pnCount >= nCapacity) return ERR_LIST_FULL;
      pRecords[(*pnCount)++] = RecordFromSapEntry(entry);
    } else {
      if (pNames == nullptr) return 0;
      char name[SAP_NAME_SIZE];
      if (!ServerNameOf(iType, entry, name)) continue;
      bool known = false;
      for (int i = 0; i < *pnCount && !known; ++i) {
        known = std::memcmp(pNames + static_cast<std::ptrdiff_t>(i) * SAP_NAME_SIZE, name, SAP_NAME_SIZE) == 0;
      }
      if (known) continue;
      if (*pnCount >= nCapacity) return ERR_LIST_FULL;
      std::memcpy(pNames + static_cast<std::ptrdiff_t>(*pnCount) * SAP_NAME_SIZE, name, SAP_NAME_SIZE);
      ++*pnCount;
    }
  }
  return 0;
}

bool ParseDeviceAnswer(const std::uint8_t* data, int size, char (&name)[20], char* deviceName) {
  return ParseDeviceAnswerAt(kAnswerHeader, data, size, name, deviceName);
}

bool ParseDeviceAnswerAt(int headerSize, const std::uint8_t* data, int size, char (&name)[20],
                         char* deviceName) {
  if (data == nullptr || headerSize < 0 || headerSize > kUdpDatagramSize ||
      size < headerSize + pid::kDefaultName + pid::kNameSize) {
    return false;
  }
  std::memcpy(name, data + headerSize + pid::kDefaultName, 20);
  if (!core::AcceptableBoxNames(
          name, reinterpret_cast<const char*>(data + headerSize + pid::kDeviceName))) {
    return false;
  }
  if (deviceName != nullptr) {
    std::memset(deviceName, 0, kNetbiosNameLength + 1);
    const char* text = reinterpret_cast<const char*>(data + headerSize + pid::kDeviceName);
    std::memcpy(deviceName, text, strnlen(text, kNetbiosNameLength));
  }
  return true;
}

}  // namespace live_discovery

int QuerySAP(int iType, char* pNames, DeviceRecord* pRecords, int* pnCount, int nCapacity) {
  const std::uint16_t serverType = SapServerType(iType);
  if (serverType == 0 || pnCount == nullptr || nCapacity < 0) return -1;
  if (iType == SAP_QUERY_PRINT_SERVER ? pRecords == nullptr : pNames == nullptr) return -1;
  const int capacity = nCapacity < MAX_DEVICE_RECORDS ? nCapacity : MAX_DEVICE_RECORDS;
  *pnCount = 0;

  const int fd = IpxSocket(SOCK_DGRAM, 4);
  if (fd < 0) return -1;
  SocketCloser closer(fd, true);
  const std::uint8_t anyNet[4] = {};
  const std::uint8_t anyNode[6] = {};
  const SOCKADDR_IPX local = IpxMakeAddress(anyNet, anyNode, 0);
  if (IpxSetBroadcast(fd, true) != 0 || IpxBind(fd, &local) != 0) return -1;
  const int size = kSocketReceiveBuffer;
  ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &size, sizeof size);

  const std::uint8_t everyNode[6] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
  const SOCKADDR_IPX to = IpxMakeAddress(anyNet, everyNode, wire::kSapSocket);
  const std::uint8_t query[4] = {0x00, 0x01, static_cast<std::uint8_t>(serverType >> 8),
                                 static_cast<std::uint8_t>(serverType & 0xFF)};
  if (IpxSendTo(fd, query, sizeof query, &to) != static_cast<int>(sizeof query)) return -1;
  Resender resend([&] { IpxSendTo(fd, query, sizeof query, &to); });

  int count = 0;
  int rc = 0;
  for (int datagrams = 0; datagrams < kMaxDatagrams; ++datagrams) {
    const int ready = IpxWaitReadable(fd, kSilenceMs);
    if (ready == 0) break;
    if (ready < 0) {
      rc = -1;
      break;
    }
    std::uint8_t buffer[kSapDatagramSize];
    SOCKADDR_IPX from{};
    const int n = IpxRecvFrom(fd, buffer, sizeof buffer, &from, MSG_DONTWAIT);
    if (n < 0) {
      if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) continue;
      rc = -1;
      break;
    }
    if (live_discovery::TakeSapAnswer(iType, buffer, n, pNames, pRecords, &count, capacity) ==
        ERR_LIST_FULL) {
      rc = ERR_LIST_FULL;
      break;
    }
  }
  resend.Stop();
  *pnCount = count;
  return rc;
}

int ListenIPXDevice(BrowseEntry* pEntries, int* pnCount, int nCapacity) {
  if (pEntries == nullptr || pnCount == nullptr || nCapacity < 0) return -1;
  *pnCount = 0;
  const int fd = IpxSocket(SOCK_DGRAM, 4);
  if (fd < 0) return -1;
  SocketCloser closer(fd, true);
  const std::uint8_t anyNet[4] = {};
  const std::uint8_t anyNode[6] = {};
  const SOCKADDR_IPX local = IpxMakeAddress(anyNet, anyNode, wire::kSapSocket);
  if (IpxBind(fd, &local) != 0 || IpxSetBroadcast(fd, true) != 0) return -1;
  const int size = kSocketReceiveBuffer;
  ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &size, sizeof size);

  int count = 0;
  int quietRounds = 0;
  while (quietRounds <= kMaxQuietRounds && count < nCapacity) {
    const int before = count;
    const int ready = IpxWaitReadable(fd, kListenRoundMs);
    if (ready < 0) return -1;
    if (ready == 1) {
      std::uint8_t buffer[kSapDatagramSize];
      SOCKADDR_IPX from{};
      const int n = IpxRecvFrom(fd, buffer, sizeof buffer, &from, MSG_DONTWAIT);
      if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) return -1;
      char senderNode[13];
      FormatNodeHex(senderNode, from.sa_nodenum);
      const bool senderIsBox = std::strncmp(senderNode, "02A7C4", 6) == 0;
      for (int offset = kSapEntriesOffset; offset + kSapEntrySize <= n && count < nCapacity;
           offset += kSapEntrySize) {
        const std::uint8_t* entry = buffer + offset;
        const auto type = static_cast<std::uint16_t>((entry[0] << 8) | entry[1]);
        if (type != wire::kBoxSapServerType && !senderIsBox) continue;
        bool known = false;
        for (int i = 0; i < count && !known; ++i) known = SameNode(pEntries[i].address, entry + kSapNodeOffset);
        if (known) continue;
        const DeviceRecord r = RecordFromSapEntry(entry);
        BrowseEntry& e = pEntries[count++];
        std::memset(&e, 0, sizeof e);
        std::memcpy(&e, &r, sizeof r);
      }
    }
    if (count == before) ++quietRounds;
  }
  *pnCount = count;
  return count > 0 ? 0 : 3;
}

int GetDefNameSPX(BrowseEntry* pEntry) {
  if (pEntry == nullptr) return 0;
  const DeviceRecord record = RecordOfEntry(*pEntry);
  if ((record.iProtocol & (TYPE_IPXSPX | TYPE_TCPIP)) == 0) return 0;
  char reply[256];
  int length = 0;
  if (SpxSendResp(&record, "9007:\n", 6, reply, &length, sizeof reply) != 0) return 0;
  // The whole block up to the default name must be there before any field is taken.
  if (length < pid::kDefaultName + pid::kNameSize) return 0;
  char name[20];
  std::memcpy(name, reply + pid::kDefaultName, 20);
  if (!core::AcceptableBoxNames(name, reply + pid::kDeviceName)) return 0;
  std::memcpy(pEntry->szName, name, 20);
  std::memcpy(pEntry->hardwareId, reply + pid::kModelCode, 3);
  pEntry->hardwareId[3] = 0;
  std::memset(pEntry->szServerName, 0, sizeof pEntry->szServerName);
  std::memcpy(pEntry->szServerName, reply + pid::kDeviceName, pid::kNameSize);
  if ((static_cast<std::uint8_t>(reply[pid::kFunctionId + 1]) & pid::kFuncExtendedName) != 0) {
    char more[256];
    int moreLength = 0;
    if (SpxSendResp(&record, "9701:", 5, more, &moreLength, sizeof more) == 0 &&
        moreLength > pid::kModelText) {
      const int take = moreLength - pid::kModelText < 50 ? moreLength - pid::kModelText : 50;
      std::memset(pEntry->szServerName, 0, sizeof pEntry->szServerName);
      std::memcpy(pEntry->szServerName, more + pid::kModelText, static_cast<std::size_t>(take));
    }
  }
  return 1;
}

int PSBrowseIPX(char* pNames, char* pServerNames, std::uint8_t* pAddresses,
                std::uint8_t* pHardwareIds, int* pnCount, int nCapacity) {
  if (pnCount == nullptr) return 3;
  *pnCount = 0;
  std::unique_ptr<std::array<BrowseEntry, MAX_BROWSE_ENTRIES>> heard;
  std::array<BrowseEntry, MAX_BROWSE_ENTRIES>* table = nullptr;
  try {
    heard = std::make_unique<std::array<BrowseEntry, MAX_BROWSE_ENTRIES>>();
    table = BrowseTable();
  } catch (...) {
    return 3;
  }
  std::memset(heard->data(), 0, sizeof(BrowseEntry) * MAX_BROWSE_ENTRIES);
  int heardCount = 0;
  if (ListenIPXDevice(heard->data(), &heardCount, MAX_BROWSE_ENTRIES) != 0 || heardCount == 0) {
    return 3;
  }

  // The browse table is rebuilt from the boxes that answer over SPX, each name once.
  std::memset(table->data(), 0, sizeof(BrowseEntry) * MAX_BROWSE_ENTRIES);
  int count = 0;
  for (int i = 0; i < heardCount; ++i) {
    BrowseEntry& e = (*heard)[static_cast<std::size_t>(i)];
    if (GetDefNameSPX(&e) == 0) continue;
    bool known = false;
    for (int k = 0; k < count && !known; ++k) known = SameName20((*table)[static_cast<std::size_t>(k)].szName, e.szName);
    if (!known) (*table)[static_cast<std::size_t>(count++)] = e;
  }
  B().count = count;
  SortBrowseEntries(table->data(), count);

  // The whole table goes to the IPX registry list; the caller gets as many as it has room for.
  std::vector<char> names(static_cast<std::size_t>(count) * 20 + 1);
  std::vector<char> serverNames(static_cast<std::size_t>(count) * 50 + 1);
  std::vector<std::uint8_t> addresses(static_cast<std::size_t>(count) * 20 + 1);
  std::vector<std::uint8_t> hardwareIds(static_cast<std::size_t>(count) * 4 + 1);
  for (int i = 0; i < count; ++i) {
    const BrowseEntry& e = (*table)[static_cast<std::size_t>(i)];
    const auto at = static_cast<std::size_t>(i);
    std::memcpy(&names[at * 20], e.szName, 20);
    std::memcpy(&serverNames[at * 50], e.szServerName, 50);
    std::memcpy(&addresses[at * 20], e.address, 20);
    std::memcpy(&hardwareIds[at * 4], e.hardwareId, 4);
  }
  const int out = count < nCapacity ? count : (nCapacity > 0 ? nCapacity : 0);
  if (pNames != nullptr) std::memcpy(pNames, names.data(), static_cast<std::size_t>(out) * 20);
  if (pServerNames != nullptr) std::memcpy(pServerNames, serverNames.data(), static_cast<std::size_t>(out) * 50);
  if (pAddresses != nullptr) std::memcpy(pAddresses, addresses.data(), static_cast<std::size_t>(out) * 20);
  if (pHardwareIds != nullptr) std::memcpy(pHardwareIds, hardwareIds.data(), static_cast<std::size_t>(out) * 4);
  *pnCount = out;
  WriteIpxRegistryList(names.data(), serverNames.data(), addresses.data(), hardwareIds.data(), count);

  for (int i = 0; i < count; ++i) {
    if (!AddToDeviceTable(RecordOfEntry((*table)[static_cast<std::size_t>(i)]))) break;
  }
  SortDeviceTable();
  return 0;
}

// A name the box gives that could not be stored (control characters, a backslash) is refused, as
// by every other live routine, so that it never reaches the device table; the record is then left
// as it was.
int GetDefName(DeviceRecord* pRecord) {
  if (pRecord == nullptr) return 0;
  DeviceRecord asked = *pRecord;
  if (RegFindDevice(&asked) != 1 || !UsableName(asked.szName)) return 0;
  *pRecord = asked;
  return 1;
}

int PSAddOrBrowse(char* pNames, int* pnCount, int nCapacity, DeviceRecord* pRecord) {
  if (pnCount == nullptr) return 0;
  *pnCount = 0;
  if (pRecord != nullptr && GetDefName(pRecord) == 1) {
    AddToDeviceTable(*pRecord);
    SortDeviceTable();
  } else {
    std::vector<char> all(static_cast<std::size_t>(MAX_DEVICE_RECORDS) * 20);
    int total = 0;
    PSBrowse(all.data(), &total);
  }
  if (pNames != nullptr && nCapacity > 0) *pnCount = CopyDeviceTableNames(pNames, nCapacity);
  return 0;
}

int BrowseNetBIOS(DeviceRecord* pRecords, int* pnCount, int nCapacity) {
  return BrowseNetBIOSWith("common.ini", pRecords, pnCount, nCapacity);
}

int BrowseNetBIOSWith(const char* settingsFile, DeviceRecord* pRecords, int* pnCount,
                      int nCapacity) {
  if (settingsFile == nullptr || pRecords == nullptr || pnCount == nullptr) return 0;
  *pnCount = 0;
  const std::string ini = platform::JoinPath(platform::WindowsDirectory(), settingsFile);
  const int oldName = GetPrivateProfileInt("ConnectedProtocol", "bNBOldName", 0, ini.c_str());
  char group[17] = {};
  if (oldName != 0) {
    std::memcpy(group, "KVX_", 4);
    for (int i = 0; i < 12; ++i) group[4 + i] = static_cast<char>(0x01 + i);
  } else {
    std::memcpy(group, wire::kBoxGroupName, std::strlen(wire::kBoxGroupName));
  }

  NCB enumNcb;
  LANA_ENUM lanas;
  if (NCBEnumLana(&enumNcb, &lanas) != NRC_GOODRET) return 0;
  NbEvent events[4];
  NbEvent* eventList[4] = {&events[0], &events[1], &events[2], &events[3]};
  for (const NbEvent& e : events) {
    if (e.fd() < 0) return 0;
  }

  constexpr int kHalf = kAnswerMinimum;  // 101 bytes per receive
  struct Slot {
    std::unique_ptr<NCB> ncb;
    std::uint8_t buffer[2 * kHalf];
    int half = 0;
  };
  int count = 0;
  bool answered = false;
  const int lanaCount = lanas.length > MAX_LANA + 1 ? MAX_LANA + 1 : lanas.length;
  for (int l = 0; l < lanaCount; ++l) {
    const std::uint8_t lana = lanas.lana[l];
    SetCurrentLana(lana);
    char localName[17];
    std::uint8_t nameNumber = 0;
    if (!GetAvailableName(localName, &nameNumber)) break;

    Slot slots[4];
    auto post = [&](int i) {
      Slot& s = slots[i];
      if (NCBASReceive(s.ncb.get(), nameNumber, s.buffer + s.half * kHalf, kHalf, &events[i]) != NRC_GOODRET) {
        events[i].Reset();
      }
    };
    for (int i = 0; i < 4; ++i) {
      events[i].Reset();
      slots[i].ncb = std::make_unique<NCB>();
      std::memset(slots[i].ncb.get(), 0, sizeof(NCB));
      post(i);
    }
    NCB sendNcb;
    SendDataGram(&sendNcb, nameNumber, kDiscoveryRequest, sizeof kDiscoveryRequest, localName, group);
    Resender resend([lana, nameNumber, &localName, &group] {
      SetCurrentLana(lana);
      NCB ncb;
      SendDataGram(&ncb, nameNumber, kDiscoveryRequest, sizeof kDiscoveryRequest, localName, group);
    });

    for (int completions = 0; completions < kMaxDatagrams; ++completions) {
      const int i = NbWaitAny(eventList, 4, kNetbiosRoundMs);
      if (i < 0) break;
      Slot& s = slots[i];
      const std::uint8_t rc = s.ncb->ncb_retcode;
      if (rc == NRC_PENDING) {
        NCBCancel(s.ncb.get());
        platform::GetClock().SleepMs(kCancelPauseMs);
        s.ncb = std::make_unique<NCB>();
        std::memset(s.ncb.get(), 0, sizeof(NCB));
        events[i].Reset();
        post(i);
        continue;
      }
      // A longer answer than the receive takes arrives cut (NRC_INCOMP): every field read from it
      // lies in the first 101 bytes, so it counts like a whole one.
      if (rc != NRC_GOODRET && rc != NRC_INCOMP) {
        events[i].Reset();
        post(i);
        continue;
      }
      // Take the completed half before the slot's next receive goes into the other one.
      std::uint8_t answer[kHalf];
      const int length = s.ncb->ncb_length < kHalf ? s.ncb->ncb_length : kHalf;
      std::memcpy(answer, s.buffer + s.half * kHalf, static_cast<std::size_t>(length));
      s.half ^= 1;
      events[i].Reset();
      post(i);

      char name[20];
      char netbiosName[kNetbiosNameLength + 1];
      if (!live_discovery::ParseDeviceAnswer(answer, length, name, netbiosName)) continue;
      answered = true;
      DeviceRecord* r = AddFoundBox(pRecords, count, nCapacity, name, TYPE_NETBEUI);
      if (r == nullptr) continue;
      std::memcpy(r->address, netbiosName, kNetbiosNameLength);
      r->address[NETBIOS_LANA_OFFSET] = lana;
    }
    resend.Stop();
    for (Slot& s : slots) {
      NCBCancel(s.ncb.get());
      platform::GetClock().SleepMs(kCancelPauseMs);
    }
  }
  *pnCount = count;
  return answered ? 1 : 0;
}

int QueryUDP(DeviceRecord* pRecords, int* pnCount, int nCapacity) {
  const live_discovery::UdpQueryForm form{B().udp.port, kDiscoveryRequest,
                                          static_cast<int>(sizeof kDiscoveryRequest), kAnswerHeader};
  return QueryUDPWith(form, pRecords, nullptr, pnCount, nCapacity);
}

int QueryUDPWith(const live_discovery::UdpQueryForm& form, DeviceRecord* pRecords,
                 char (*pLocalAddresses)[20], int* pnCount, int nCapacity) {
  if (pRecords == nullptr || pnCount == nullptr || form.request == nullptr ||
      form.requestSize <= 0) {
    return 0;
  }
  *pnCount = 0;
  sockaddr_in to = BroadcastTarget();
  to.sin_port = htons(form.port);
  const auto request = form.request;
  const auto requestSize = static_cast<std::size_t>(form.requestSize);
  int count = 0;
  for (const auto& local : LocalAddresses()) {
    const int fd = OpenUdpBroadcastSocket(local);
    if (fd < 0) {
      *pnCount = count;
      return 0;
    }
    SocketCloser closer(fd, false);
    if (!SendUdp(fd, request, requestSize, to)) {
      *pnCount = count;
      return 0;
    }
    Resender resend([fd, &to, request, requestSize] { SendUdp(fd, request, requestSize, to); });
    bool failed = false;
    for (int datagrams = 0; datagrams < kMaxDatagrams; ++datagrams) {
      const int ready = platform::WaitReadable(fd, kSilenceMs);
      if (ready == 0) break;
      if (ready < 0) {
        failed = true;
        break;
      }
      std::uint8_t buffer[kUdpDatagramSize];
      sockaddr_in from{};
      socklen_t fromLength = sizeof from;
      const ssize_t n = ::recvfrom(fd, buffer, sizeof buffer, MSG_DONTWAIT,
                                   reinterpret_cast<sockaddr*>(&from), &fromLength);
      if (n < 0) {
        if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) continue;
        failed = true;
        break;
      }
      char name[20];
      if (!live_discovery::ParseDeviceAnswerAt(form.answerHeaderSize, buffer, static_cast<int>(n),
                                               name, nullptr)) {
        continue;
      }
      // Each box once: it answers all three sends, possibly through several local addresses.
      DeviceRecord* r = AddFoundBox(pRecords, count, nCapacity, name, TYPE_TCPIP);
      if (r == nullptr) continue;
      ::inet_ntop(AF_INET, &from.sin_addr, reinterpret_cast<char*>(r->address), sizeof r->address);
      if (pLocalAddresses != nullptr) {
        char* localText = pLocalAddresses[r - pRecords];
        std::memset(localText, 0, 20);
        ::inet_ntop(AF_INET, local.data(), localText, 20);
      }
    }
    resend.Stop();
    if (failed) {
      *pnCount = count;
      return 0;
    }
  }
  *pnCount = count;
  return 1;
}

namespace {

bool ParseAddress(const char* text, std::uint8_t (&out)[4]) {
  if (text == nullptr) return false;
  in_addr a{};
  if (::inet_pton(AF_INET, text, &a) != 1 || a.s_addr == INADDR_NONE) return false;
  std::memcpy(out, &a, 4);
  return true;
}

int SetIpCommon(const char* prefix, const char* szDefaultName, const char* szFirst,
                const char* szSecond, const char* szThird, const char* configuration) {
  if (prefix == nullptr || szDefaultName == nullptr || strnlen(szDefaultName, 20) < 8) return 0;
  if (strnlen(prefix, 7) != 6) return 0;
  char hardwareText[13] = {};
  std::memcpy(hardwareText, prefix, 6);
  std::memcpy(hardwareText + 6, szDefaultName + 2, 6);
  for (int i = 0; i < 12; ++i) {
    if (HexDigitValue(hardwareText[i]) == 0xFF) return 0;
  }
  std::uint8_t datagram[23] = {0x60, 0, 18, 0};
  HexToBytes(hardwareText, datagram + 4, 6);
  std::uint8_t first[4];
  std::uint8_t second[4];
  std::uint8_t third[4];
  if (!ParseAddress(szFirst, first) || !ParseAddress(szSecond, second) || !ParseAddress(szThird, third)) {
    return 0;
  }
  std::memcpy(datagram + 10, first, 4);
  std::memcpy(datagram + 14, second, 4);
  std::memcpy(datagram + 18, third, 4);
  datagram[22] = '\n';

  const sockaddr_in to = BroadcastTarget();
  bool confirmed = false;
  for (const auto& local : LocalAddresses()) {
    const int fd = OpenUdpBroadcastSocket(local);
    if (fd < 0) return 0;
    SocketCloser closer(fd, false);
    if (!SendUdp(fd, datagram, sizeof datagram, to)) return 0;
    for (int datagrams = 0; datagrams < kMaxDatagrams && !confirmed; ++datagrams) {
      const int ready = platform::WaitReadable(fd, kSilenceMs);
      if (ready == 0) break;
      if (ready < 0) return 0;
      std::uint8_t buffer[kUdpDatagramSize];
      const ssize_t n = ::recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
      if (n < 0) {
        if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) continue;
        return 0;
      }
      // Only a whole reply header with its error byte clear confirms.
      if (n >= wire::kStreamReplyHeaderSize && buffer[wire::kStreamReplyErrorOffset] == 0) confirmed = true;
    }
    if (confirmed) break;
  }
  if (!confirmed) return 0;

  DeviceRecord record{};
  std::memcpy(record.szName, szDefaultName, strnlen(szDefaultName, 20));
  record.iProtocol = TYPE_TCPIP;
  ::inet_ntop(AF_INET, third, reinterpret_cast<char*>(record.address), sizeof record.address);
  char reply[256];
  int length = -1;
  const int rc = SpxSendResp(&record, configuration, static_cast<int>(std::strlen(configuration)), reply,
                             &length, sizeof reply);
  return rc == 0 && length == 0 ? 1 : 0;
}

}  // namespace

int SetIPByDatagram(const char* szDefaultName, const char* szFirst, const char* szSecond,
                    const char* szThird) {
  return SetIpCommon("02a7c4", szDefaultName, szFirst, szSecond, szThird, "4020 :Disable\n9002:\n");
}

int SetIPByDatagramEx(const char* szVendorPrefix, const char* szDefaultName, const char* szFirst,
                      const char* szSecond, const char* szThird) {
  return SetIpCommon(szVendorPrefix, szDefaultName, szFirst, szSecond, szThird,
                     "4020 :Disable\n4021 :Disable\n4022 :Disable\n9002:\n");
}

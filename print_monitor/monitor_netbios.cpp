// The monitor's NetBIOS layer over the shared control-block wrappers (device_client/core/ncb, on
// the calling thread's current LANA): sessions, the local name per LANA, and finding boxes by a
// datagram to the print servers' group.
#include <algorithm>
#include <array>
#include <cstring>
#include <memory>

#include "platform/clock.h"
#include "platform/message_sink.h"
#include "platform/registry.h"
#include "platform/system_info.h"
#include "print_monitor/monitor.h"

namespace brandel {

namespace {

// The local name of each LANA and its name number; one lock for every thread of the spooler.
struct NameSlot {
  bool allocated = false;
  char name[17] = {};
  UCHAR number = 0;
};
std::mutex g_slotsMu;
std::array<NameSlot, 256> g_slots;

constexpr std::size_t kAnswerSize = 101;
constexpr std::size_t kAnswerNameOffset = 61;
constexpr int kReceives = 4;
// A pass ends 2 s after the last answer, and in any case this long after its start: boxes that
// keep answering cannot hold the caller.
constexpr std::int64_t kQuietMs = 2000;
constexpr std::int64_t kPassLimitMs = 10000;
// A receive that fails at once again and again (the NetBIOS service gone) is posted no more on
// that LANA after this many failures.
constexpr int kMaxReceiveFailures = 3;

}  // namespace

int SessionSend(UCHAR session, const void* buffer, std::size_t length) {
  NCB ncb;
  if (NCBSend(&ncb, session, buffer, length) != NRC_GOODRET) return -1;
  return ncb.ncb_length;
}

int SessionSend(UCHAR session, const void* head, std::size_t headLength, const void* body, std::size_t bodyLength) {
  NCB ncb;
  if (NCBChainSend(&ncb, session, head, headLength, body, bodyLength) != NRC_GOODRET) return -1;
  return static_cast<int>(headLength + bodyLength);
}

int SessionReceive(UCHAR session, void* buffer, std::size_t length) {
  NCB ncb;
  if (NCBReceive(&ncb, session, buffer, static_cast<int>(std::min<std::size_t>(length, 0xFFFF))) != NRC_GOODRET) {
    return -1;
  }
  return ncb.ncb_length;
}

void ClearNameSlotsForTesting() {
  std::lock_guard<std::mutex> lock(g_slotsMu);
  g_slots.fill(NameSlot{});
}

void AllocateNameSlot(BYTE lana) {
  std::lock_guard<std::mutex> lock(g_slotsMu);
  if (!g_slots[lana].allocated) g_slots[lana] = NameSlot{true, {}, 0};
}

bool GetAvailableName(NCB* ncb, char (&name)[17], UCHAR* number, bool* serviceDown) {
  if (serviceDown != nullptr) *serviceDown = false;
  const BYTE lana = CurrentLana();
  std::lock_guard<std::mutex> lock(g_slotsMu);
  NameSlot& slot = g_slots[lana];
  // A LANA that was not reported at start-up (a stored LANA of a moved box) gets its slot now.
  slot.allocated = true;
  if (slot.name[0] != 0) {
    std::memcpy(name, slot.name, sizeof name);
    *number = slot.number;
    return true;
  }
  // The name stays registered for the next job of this user (asked for in the same request): on
  // this platform each job may be a process of its own, where the spooler's process would have
  // kept it. A table that does not keep it only costs the next job its registration. Without a
  // service to hold a name, another name would fare no better.
  char candidate[17];
  const UCHAR rc = RegisterLocalName(ncb, platform::ComputerName().c_str(), kLocalNameSuffixBase, candidate,
                                     NbAddKeptName, true);
  if (rc != NRC_GOODRET) {
    if (serviceDown != nullptr) *serviceDown = rc == NRC_SYSTEM;
    return false;
  }
  std::memcpy(slot.name, candidate, sizeof candidate);
  slot.number = ncb->ncb_num;
  std::memcpy(name, candidate, sizeof name);
  *number = slot.number;
  return true;
}

bool GetAvailableNameOrTell(HWND owner, NCB* ncb, char (&name)[17], UCHAR* number, bool* serviceDown) {
  bool down = false;
  if (GetAvailableName(ncb, name, number, &down)) return true;
  if (serviceDown != nullptr && down) {
    *serviceDown = true;
    PortMessageBox(owner, platform::MB_ICONERROR, 614);
  } else {
    PortMessageBox(owner, platform::MB_ICONERROR, 612);
  }
  return false;
}

bool GetOldNameSetting() {
  HKEY key = nullptr;
  if (RegOpenKeyEx(HKEY_LOCAL_MACHINE, kPortsKey, KEY_READ, &key) != ERROR_SUCCESS) return true;
  DWORD value = 0, type = 0, size = sizeof value;
  const LONG rc = RegQueryValueEx(key, "OldName", &type, reinterpret_cast<BYTE*>(&value), &size);
  RegCloseKey(key);
  return rc == ERROR_SUCCESS && type == REG_DWORD && value != 0;
}

void BuildGroupName(char (&name)[17]) {
  std::memset(name, 0, sizeof name);
  if (GetOldNameSetting()) {
    std::memcpy(name, "KVX_", 4);
    for (int i = 0; i < 12; ++i) name[4 + i] = static_cast<char>(0x01 + i);
  } else {
    std::memcpy(name, "WSPS_PSRV_KVX", 13);
  }
}

int BrowseDevices(int mode, std::vector<BrowsedDevice>& list, BYTE lana, const char* name) {
  char group[17];
  BuildGroupName(group);
  NCB enumNcb;
  LANA_ENUM lanas{};
  if (NCBEnumLana(&enumNcb, &lanas) != NRC_GOODRET) return 0;
  list.clear();
  std::vector<BYTE> work;
  for (int i = 0; i < lanas.length && i <= MAX_LANA; ++i) {
    if (mode == 1 || lanas.lana[i] == lana) work.push_back(lanas.lana[i]);
  }
  if (work.empty()) return 0;
  char sought[16] = {};
  if (name != nullptr) std::memcpy(sought, name, strnlen(name, 15));
  bool found = false;
  bool answered = false;
  NbEvent events[kReceives] = {NbEvent(true, false), NbEvent(true, false), NbEvent(true, false),
                               NbEvent(true, false)};
  NbEvent* waitList[kReceives] = {&events[0], &events[1], &events[2], &events[3]};
  for (BYTE l : work) {
    SetCurrentLana(l);
    NCB nameNcb;
    char local[17];
    UCHAR number = 0;
    if (!GetAvailableNameOrTell(nullptr, &nameNcb, local, &number)) break;
    struct Receive {
      NCB ncb{};
      std::uint8_t buffers[2][kAnswerSize] = {};
      int current = 0;
      int failures = 0;
      bool posted = false;
    };
    auto receives = std::make_unique<Receive[]>(kReceives);
    auto post = [&](int i) {
      events[i].Reset();
      receives[i].posted = true;
      NCBASReceive(&receives[i].ncb, number, receives[i].buffers[receives[i].current], kAnswerSize, &events[i]);
    };
    // Only receives still posted are waited for; a retired one's event stays unsignalled.
    auto retire = [&](int i) {
      receives[i].posted = false;
      events[i].Reset();
    };
    auto anyPosted = [&] {
      for (int i = 0; i < kReceives; ++i)
        if (receives[i].posted) return true;
      return false;
    };
    for (int i = 0; i < kReceives; ++i) post(i);
    platform::Clock& clock = platform::GetClock();
    for (int pass = 0; pass < 3 && !found && anyPosted(); ++pass) {
      NCB send;
      if (SendDataGram(&send, number, kDeviceInfoRequest, sizeof kDeviceInfoRequest, nullptr, group) != NRC_GOODRET) {
        for (auto& e : events) e.Reset();
      }
      const std::int64_t passEnd = clock.SteadyMs() + kPassLimitMs;
      for (;;) {
        const std::int64_t left = passEnd - clock.SteadyMs();
        if (left <= 0 || !anyPosted()) break;
        const int which = NbWaitAny(waitList, kReceives, std::min(kQuietMs, left));
        if (which < 0) break;
        Receive& r = receives[which];
        const UCHAR rc = r.ncb.ncb_retcode;
        // The answer is longer than the part the name lies in: a cut answer still names its box.
        if (rc == NRC_GOODRET || rc == NRC_INCOMP) {
          const std::uint8_t* answer = r.buffers[r.current];
          const std::size_t length = r.ncb.ncb_length;
          r.current ^= 1;
          post(which);
          if (length < kAnswerNameOffset + 15) continue;
          answered = true;
          char boxName[16] = {};
          std::memcpy(boxName, answer + kAnswerNameOffset, 15);
          const bool known = std::any_of(list.begin(), list.end(), [&](const BrowsedDevice& d) {
            return std::memcmp(d.name, boxName, 15) == 0;
          });
          if (known || list.size() >= kMaxBrowsedDevices) continue;
          BrowsedDevice d;
          d.lana = l;
          std::memcpy(d.name, boxName, sizeof d.name);
          list.push_back(d);
          if (mode == 0 && std::memcmp(boxName, sought, 15) == 0) {
            found = true;
            break;
          }
        } else if (rc == NRC_PENDING) {
          NCBCancel(&r.ncb);
          post(which);
        } else if (++r.failures < kMaxReceiveFailures) {
          post(which);
        } else {
          retire(which);
        }
      }
    }
    for (int i = 0; i < kReceives; ++i) {
      if (receives[i].ncb.ncb_cmd_cplt == NRC_PENDING) NCBCancel(&receives[i].ncb);
    }
  }
  return mode == 1 ? (answered ? 1 : 0) : (found ? 1 : 0);
}

int FindDeviceLana(const char* name, BYTE lana) {
  std::vector<BrowsedDevice> list;
  if (BrowseDevices(0, list, lana, name) == 1) return lana;
  if (BrowseDevices(1, list, 0, nullptr) != 1) return -1;
  char sought[16] = {};
  std::memcpy(sought, name, strnlen(name, 15));
  for (const BrowsedDevice& d : list)
    if (std::memcmp(d.name, sought, 15) == 0) return d.lana;
  return -1;
}

}  // namespace brandel

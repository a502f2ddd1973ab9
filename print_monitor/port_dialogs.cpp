// The port dialogs: Add Port (601, also the edit dialog of ConfigurePort), Output Select (701) and
// Device Select (801), and the device queries that fill them. The monitor shows no window itself:
// it works the dialogs' controls by id through the host's dialog service.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/ascii.h"
#include "platform/message_sink.h"
#include "platform/spooler/dialog_service.h"
#include "print_monitor/monitor.h"
#include "print_monitor/port_dialog_rules.h"

namespace brandel {

namespace {

// Dialog 601.
constexpr int kAddPortDialog = 601;
constexpr int kUserName = 1000;
constexpr int kPortName = 1001;
constexpr int kDeviceName = 1002;
constexpr int kSelectPort = 1003;
constexpr int kBrowse = 1004;
constexpr int kOutputLabel = 1006;
constexpr int kPostScript = 1008;
constexpr int kRetry = 1010;
constexpr int kRetrySpin = 1012;
constexpr int kVersion = 1014;
constexpr int kBanner = 302;
// Dialogs 701 and 801.
constexpr int kOutputSelectDialog = 701;
constexpr int kDeviceSelectDialog = 801;
constexpr int kList = 1007;
constexpr int kDeviceNumber = 1000;

constexpr int kOk = 1;
constexpr int kCancel = 2;

std::string Text(const PsaDialogService& s, PsaDialog* d, int id) {
  char buffer[260] = {};
  s.getText(d, id, buffer, sizeof buffer);
  return buffer;
}

std::string Line(const PsaDialogService& s, PsaDialog* d, int id, int index) {
  char buffer[128] = {};
  s.getLine(d, id, index, buffer, sizeof buffer);
  return buffer;
}

// Runs `templateId` with the member functions of `T` as its handler.
template <class T>
int Run(const PsaDialogService& service, int templateId, HWND owner, T& dialog) {
  PsaDialogHandler handler{};
  handler.context = &dialog;
  handler.onInit = [](void* c, PsaDialog* d) { static_cast<T*>(c)->OnInit(d); };
  handler.onCommand = [](void* c, PsaDialog* d, int id) { static_cast<T*>(c)->OnCommand(d, id); };
  return service.runModal(templateId, owner, &handler);
}

// The box's type and number from its answer to the device-information request, on a session.
bool GetBoxType(UCHAR session, std::uint8_t* boxType, long* number) {
  if (SessionSend(session, kDeviceInfoRequest, sizeof kDeviceInfoRequest) != static_cast<int>(sizeof kDeviceInfoRequest))
    return false;
  // Room for the whole reply: a box that sends it as one message is not cut off.
  std::uint8_t reply[1024] = {};
  const int n = SessionReceive(session, reply, sizeof reply);
  return n > 0 && DecodeBoxTypeReply(reply, static_cast<std::size_t>(n), boxType, number);
}

// 1 when the printer of port `index` is on-line, 0 when not, -1 when the box did not answer.
int QueryPortOnline(UCHAR session, int index) {
  BYTE request[kCommandHeaderSize];
  PutCommandHeader(request, kStatusCommand, 0, static_cast<BYTE>(index));
  if (SessionSend(session, request, sizeof request) != static_cast<int>(sizeof request)) return -1;
  BYTE reply[kCommandReplySize] = {};
  if (SessionReceive(session, reply, sizeof reply) != static_cast<int>(sizeof reply)) return -1;
  return reply[7] == 0 ? 1 : 0;
}

bool CallBox(const char* deviceName, const char (&local)[17], UCHAR* session) {
  char remote[17];
  FormatDeviceName(deviceName, remote);
  NCB ncb;
  if (NCBCall(&ncb, local, remote, 40, 40) != NRC_GOODRET) return false;
  *session = ncb.ncb_lsn;
  return true;
}

// The list line that OK or a double click chose; -1 for none (Cancel ends the dialog with 0).
int ChosenLine(const PsaDialogService& s, PsaDialog* d, int id) {
  if (id == kCancel) {
    s.endDialog(d, 0);
    return -1;
  }
  return id == kOk || id == kList ? s.selection(d, kList) : -1;
}

// The host's wait cursor for the life of the object.
class WaitCursor {
 public:
  explicit WaitCursor(const PsaDialogService& s) : s_(s) { s_.waitCursor(1); }
  ~WaitCursor() { s_.waitCursor(0); }
  WaitCursor(const WaitCursor&) = delete;
  WaitCursor& operator=(const WaitCursor&) = delete;

 private:
  const PsaDialogService& s_;
};

// The box the Add Port dialog works on.
struct SelectedDevice {
  BYTE lana = 0;
  char name[kMaxDeviceName + 1] = {};
};

class OutputSelectDialog {
 public:
  OutputSelectDialog(const PsaDialogService& s, const PortRegistryData& record, std::string current)
      : s_(s), record_(record), label(std::move(current)) {}

  void OnInit(PsaDialog* d) {
    s_.setText(d, kDeviceNumber, std::to_string(record_.dwDeviceNumber).c_str());
    const std::vector<std::string> lines = OutputSelectLines(record_.bBoxType, record_.wOnlineMask);
    int chosen = 0;
    for (std::size_t i = 0; i < lines.size(); ++i) {
      s_.addLine(d, kList, lines[i].c_str());
      if (chosen == 0 && LabelOf(lines[i]) == label) chosen = static_cast<int>(i);
    }
    s_.select(d, kList, chosen);
  }
  void OnCommand(PsaDialog* d, int id) {
    const int index = ChosenLine(s_, d, id);
    if (index < 0) return;
    const std::string chosen = LabelOf(Line(s_, d, kList, index));
    if (chosen == "Serial") {
      PortMessageBox(nullptr, platform::MB_ICONERROR, 716);
      return;
    }
    label = chosen;
    s_.endDialog(d, 1);
  }

  // "Parallel 1     ON-Line" -> "Parallel 1".
  static std::string LabelOf(const std::string& line) { return line.substr(0, line.find("     ")); }

 private:
  const PsaDialogService& s_;
  const PortRegistryData& record_;

 public:
  std::string label;
};

class DeviceSelectDialog {
 public:
  DeviceSelectDialog(const PsaDialogService& s, const std::vector<BrowsedDevice>& list) : s_(s), list_(list) {}

  void OnInit(PsaDialog* d) {
    for (const BrowsedDevice& device : list_) s_.addLine(d, kList, std::string(device.name, strnlen(device.name, 15)).c_str());
    if (!list_.empty()) s_.select(d, kList, 0);
  }
  void OnCommand(PsaDialog* d, int id) {
    const int index = ChosenLine(s_, d, id);
    if (index < 0 || static_cast<std::size_t>(index) >= list_.size()) return;
    chosen = index;
    s_.endDialog(d, 1);
  }

  int chosen = -1;

 private:
  const PsaDialogService& s_;
  const std::vector<BrowsedDevice>& list_;
};

class AddPortDialog {
 public:
  AddPortDialog(const PsaDialogService& s, HWND owner, PortRegistryData& record, bool editMode, std::string name)
      : s_(s), owner_(owner), record_(record), edit_(editMode), portName(std::move(name)) {}

  void OnInit(PsaDialog* d) {
    resolved_ = false;
    s_.bringToFront(d);
    s_.setText(d, kOutputLabel, "Parallel 1");
    s_.setText(d, kVersion, "1.16");
    const int start = edit_ ? std::clamp<int>(record_.wRegiRetry, 40, 110) : 50;
    // Without its arrows the interval stays at its start; the rest of the dialog works as ever.
    if (s_.setUpDown(d, kRetrySpin, kRetry, 40, 110, start) == 0) {
      s_.beep();
      s_.setText(d, kRetry, std::to_string(start).c_str());
    }
    if (edit_) {
      s_.setText(d, kOutputLabel, PortLabelFromIndex(record_.bPort, record_.bBoxType).c_str());
      s_.setText(d, kUserName, record_.szUserName);
      s_.setCheck(d, kBanner, record_.dwBannerPage != 0);
      s_.setCheck(d, kPostScript, record_.dwPostScript != 0);
      s_.setText(d, kPortName, portName.c_str());
      s_.setReadOnly(d, kPortName, 1);
      s_.setText(d, kDeviceName, record_.szDeviceName);
      std::memcpy(device_.name, record_.szDeviceName, sizeof device_.name);
      device_.lana = record_.bLanaNum;
    }
    s_.setReadOnly(d, kDeviceName, 1);
    s_.limitText(d, kDeviceName, static_cast<int>(kMaxDeviceName));
    s_.limitText(d, kPortName, static_cast<int>(kMaxUserName));
    s_.limitText(d, kUserName, static_cast<int>(kMaxUserName));
  }

  void OnCommand(PsaDialog* d, int id) {
    switch (id) {
      case kBrowse: OnBrowse(d); break;
      case kSelectPort: OnSelectPort(d); break;
      case kOk: OnOk(d); break;
      case kCancel: s_.endDialog(d, 0); break;
      default: break;
    }
  }

 private:
  void OnBrowse(PsaDialog* d) {
    std::vector<BrowsedDevice> list;
    int answered = 0;
    {
      WaitCursor wait(s_);
      answered = BrowseDevices(1, list, 0, nullptr);
    }
    if (answered == 0 || list.empty()) {
      PortMessageBox(owner_, platform::MB_ICONERROR, 609);
      return;
    }
    DeviceSelectDialog select(s_, list);
    if (Run(s_, kDeviceSelectDialog, owner_, select) != 1 || select.chosen < 0) return;
    const BrowsedDevice& chosen = list[static_cast<std::size_t>(select.chosen)];
    device_ = SelectedDevice{};
    device_.lana = chosen.lana;
    std::memcpy(device_.name, chosen.name, strnlen(chosen.name, 15));
    if (!ValidDeviceName(device_.name)) {
      device_ = SelectedDevice{};
      return;
    }
    s_.setText(d, kDeviceName, device_.name);
    resolved_ = true;
    if (Query()) {
      const BoxLayout b = LayoutOfBoxType(record_.bBoxType);
      s_.setText(d, kOutputLabel, b.usb > 0 && b.parallel == 0 ? "USB 1" : "Parallel 1");
      if (!edit_) s_.setText(d, kPortName, (std::string(device_.name).substr(0, 8) + "_P1").c_str());
    }
  }

  // A device name that may be called and stored: not empty, no control characters.
  bool ValidDeviceName(const std::string& name) {
    if (name.empty() || platform::HasAsciiControl(name)) {
      PortMessageBox(owner_, platform::MB_ICONERROR, 610);
      return false;
    }
    return true;
  }

  // The LANA on which the selected box answers, looked for once per opening.
  bool Resolve(const std::string& name) {
    if (!ValidDeviceName(name)) return false;
    if (resolved_ && name == device_.name) return true;
    int lana = -1;
    {
      WaitCursor wait(s_);
      lana = FindDeviceLana(name.c_str(), device_.lana);
    }
    if (lana < 0) {
      PortMessageBox(owner_, platform::MB_ICONERROR, 611, name.c_str());
      return false;
    }
    device_ = SelectedDevice{};
    device_.lana = static_cast<BYTE>(lana);
    std::memcpy(device_.name, name.data(), std::min(name.size(), kMaxDeviceName));
    resolved_ = true;
    return true;
  }

  bool Query() {
    WaitCursor wait(s_);
    return QueryDeviceInfo(owner_, device_.name, device_.lana, record_);
  }

  void OnSelectPort(PsaDialog* d) {
    const std::string name = Text(s_, d, kDeviceName);
    const std::string label = Text(s_, d, kOutputLabel);
    if (!Resolve(name) || !Query()) return;
    OutputSelectDialog select(s_, record_, label);
    if (Run(s_, kOutputSelectDialog, owner_, select) != 1) return;
    s_.setText(d, kOutputLabel, select.label.c_str());
    // The edit dialog keeps the port's own name.
    if (!edit_) s_.setText(d, kPortName, SuggestedPortName(device_.name, select.label).c_str());
  }

  void OnOk(PsaDialog* d) {
    const std::string name = Text(s_, d, kDeviceName);
    if (!Resolve(name) || !Query()) return;
    const std::string typed = edit_ ? portName : Text(s_, d, kPortName);
    const int check = CheckTypedPortName(typed);
    if (check == 717) {
      PortMessageBox(owner_, platform::MB_ICONERROR, 717);
      return;
    }
    if (!edit_ && check == 0 && IsPortKeyAbsent(typed.c_str()) == 0) {
      PortMessageBox(owner_, platform::MB_ICONERROR, 502, typed.c_str());
      return;
    }
    if (check != 0) {
      PortMessageBox(owner_, platform::MB_ICONERROR, 501, typed.c_str());
      return;
    }
    const std::string user = Text(s_, d, kUserName);
    if (user.size() > kMaxUserName || platform::HasAsciiControl(user)) {
      PortMessageBox(owner_, platform::MB_ICONERROR, 718);
      return;
    }
    const int index = PortIndexFromLabel(Text(s_, d, kOutputLabel), record_.bBoxType);
    if (index < 0) {
      PortMessageBox(owner_, platform::MB_ICONERROR, 501, typed.c_str());
      return;
    }
    // The interval: the leading digits of its edit (three at most), kept within the arrows' range.
    const std::string retry = Text(s_, d, kRetry).substr(0, 3);
    const int seconds = std::atoi(retry.substr(0, retry.find_first_not_of("0123456789")).c_str());
    record_.dwBannerPage = s_.isChecked(d, kBanner) != 0 ? 1 : 0;
    record_.dwPostScript = s_.isChecked(d, kPostScript) != 0 ? 1 : 0;
    record_.wRegiRetry = static_cast<WORD>(std::clamp(seconds, 40, 110));
    std::memset(record_.szUserName, 0, sizeof record_.szUserName);
    std::memcpy(record_.szUserName, user.data(), user.size());
    record_.bPort = static_cast<BYTE>(index);
    std::memset(record_.szDeviceName, 0, sizeof record_.szDeviceName);
    std::memcpy(record_.szDeviceName, device_.name, strnlen(device_.name, kMaxDeviceName));
    record_.bLanaNum = device_.lana;
    if (!edit_) {
      std::lock_guard<std::recursive_mutex> lock(MonitorLock());
      portName = typed;
    }
    s_.endDialog(d, 1);
  }

  const PsaDialogService& s_;
  HWND owner_;
  PortRegistryData& record_;
  bool edit_;
  SelectedDevice device_;
  bool resolved_ = false;

 public:
  std::string portName;
};

}  // namespace

bool HasPortDialogs() {
  const PsaDialogService* s = platform::spooler::GetDialogService();
  return s != nullptr && s->size >= sizeof(PsaDialogService);
}

bool QueryDeviceInfo(HWND owner, const char* deviceName, BYTE lana, PortRegistryData& record) {
  SetCurrentLana(lana);
  NCB ncb;
  char local[17];
  UCHAR number = 0;
  if (!GetAvailableNameOrTell(owner, &ncb, local, &number)) return false;
  UCHAR session = 0;
  if (!CallBox(deviceName, local, &session)) {
    PortMessageBox(owner, platform::MB_ICONERROR, 708);
    return false;
  }
  std::uint8_t boxType = 0;
  long deviceNumber = 0;
  const bool known = GetBoxType(session, &boxType, &deviceNumber);
  WORD online = 0;
  if (known) {
    const BoxLayout b = LayoutOfBoxType(boxType);
    bool called = true;
    for (int i = 0; i < b.parallel + b.usb; ++i) {
      int state = called ? QueryPortOnline(session, i) : -1;
      if (state < 0) {
        // A box may end the session after its information reply: the states are asked on a
        // fresh call.
        NCBHangUp(&ncb, session);
        called = CallBox(deviceName, local, &session);
        state = called ? QueryPortOnline(session, i) : -1;
      }
      if (state == 1) online = static_cast<WORD>(online | (1u << i));
    }
    if (called) NCBHangUp(&ncb, session);
  } else {
    NCBHangUp(&ncb, session);
  }
  if (!known) {
    PortMessageBox(owner, platform::MB_ICONERROR, 714);
    return false;
  }
  record.bBoxType = boxType;
  record.dwDeviceNumber = deviceNumber;
  record.wOnlineMask = online;
  return true;
}

bool ShowNewPortDialog(HWND owner, PortRegistryData& record, std::string& portName) {
  if (!HasPortDialogs()) return false;
  record = PortRegistryData{};
  AddPortDialog dialog(*platform::spooler::GetDialogService(), owner, record, false, {});
  if (Run(*platform::spooler::GetDialogService(), kAddPortDialog, owner, dialog) != 1) return false;
  portName = dialog.portName;
  return true;
}

bool ShowEditPortDialog(HWND owner, const char* portName, PortRegistryData& record) {
  if (!HasPortDialogs() || portName == nullptr) return false;
  AddPortDialog dialog(*platform::spooler::GetDialogService(), owner, record, true, portName);
  return Run(*platform::spooler::GetDialogService(), kAddPortDialog, owner, dialog) == 1;
}

int CreatePortWithDialog(HWND owner) {
  PortRegistryData record;
  std::string name;
  if (!ShowNewPortDialog(owner, record, name)) {
    SetLastError(ERROR_CANCELLED);
    return 0;
  }
  if (IsDevicePortName(name.c_str(), 3)) {
    PortMessageBox(owner, platform::MB_ICONERROR, 702);
    SetLastError(ERROR_INVALID_NAME);
    return 0;
  }
  std::lock_guard<std::recursive_mutex> lock(MonitorLock());
  if (FindPortEntry(name.c_str()) != nullptr) {
    PortMessageBox(owner, platform::MB_ICONERROR, 502, name.c_str());
    SetLastError(ERROR_INVALID_NAME);
    return 0;
  }
  if (CreatePortEntry(name.c_str(), LoadMonitorString(715).c_str()) == nullptr) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return 0;
  }
  if (SavePortSettings(owner, name.c_str(), record, false) == 0) {
    RemovePortEntry(name.c_str());
    SetLastError(ERROR_INVALID_NAME);
    return 0;
  }
  return 1;
}

}  // namespace brandel

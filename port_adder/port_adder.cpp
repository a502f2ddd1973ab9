#include "port_adder/port_adder.h"

#include <arpa/inet.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "device_client/device_lists/device_lists.h"
#include "platform/ascii.h"
#include "platform/message_sink.h"
#include "platform/process/process.h"
#include "platform/registry.h"
#include "platform/spooler/spooler.h"

namespace dapsel {

namespace {

const char* const kHandOverKey = "SOFTWARE\\Kelmor\\KVX";
const char* const kMonitorPortsKey = "System\\CurrentControlSet\\control\\Print\\Monitors\\Vardon Print Server\\Ports";
const char* const kMonitorName = "Vardon Print Server";
constexpr int kDeviceInfoReply = 5120;
constexpr int kMaxPortName = 13;
constexpr int kNetbiosNameLength = 15;

// Text of `bytes` up to its first zero byte, at most n bytes.
std::string Bounded(const void* bytes, std::size_t n) {
  const char* p = static_cast<const char*>(bytes);
  return std::string(p, strnlen(p, n));
}

// The part of `text` before the first "\r\n" (all of it when there is none).
std::string CutAtLineEnd(const std::string& text) { return text.substr(0, text.find("\r\n")); }

// Shows a text with a string id through the sink (for texts formatted with arguments).
int ShowText(int id, const std::string& text, UINT type) { return platform::GetMessageSink().Show(id, text, type); }

int Request(const DeviceRecord& record, const std::string& request, std::string& reply, int capacity) {
  std::vector<char> buffer(static_cast<std::size_t>(capacity));
  int length = 0;
  const int rc = SendRespByRecord(&record, request.data(), static_cast<int>(request.size()), buffer.data(), &length,
                                  capacity);
  if (rc != 0) return rc;
  reply.assign(buffer.data(), static_cast<std::size_t>(std::clamp(length, 0, capacity)));
  return 0;
}

// The printer model of port `index` (0..2 and 4 are asked; others have none).
std::string QueryPrinterModel(const DeviceRecord& record, int index) {
  const char* prefix = nullptr;
  switch (index) {
    case 0: prefix = "P10000"; break;
    case 1: prefix = "P20000"; break;
    case 2: prefix = "P30000"; break;
    case 4: prefix = "SP0000"; break;
    default: return {};
  }
  std::string reply;
  if (Request(record, std::string("9500: ") + prefix + "Am I a bidirectional printer?\n", reply, kDeviceInfoReply) != 0)
    return {};
  return ParsePrinterModel(reply);
}

}  // namespace

void RegisterDapselStrings() {
  static const struct {
    int id;
    const char* text;
  } kStrings[] = {
      {101, "&About Dapsel..."},
      {103,
       "Device not found\n1.Please check connection(e.g. power cord, ethernet cable,\nand printer cable)\n2. The "
       "Print Server and your PC are on the same LAN segment\nand have compatiable IP address"},
      {104, "Please select a parallel port to Add"},
      {106, "Please disable Epson Spooler Manager.\nThis program can not be used with the Print Server"},
      {107, "Port name duplicate, this port has been installed"},
      {108, "Create Registry key fail"},
      {121, "Add Printer Wizard can run only under Windows 95/98/Me, Windows NT4/2000/XP or above."},
      {122,
       "Before you begin the Setup process, make sure that the Vardon print\nserver and the printer that connects to "
       "it are both powered on, and make\nsure that the cable connections between them are connected properly."},
      {123, "Add Printer Wizard"},
      {147, "Print Server AddPrinter Event"},
      {151, "'%s' is an invalid port name."},
      {152, "'%s' is an invalid device name."},
  };
  for (const auto& s : kStrings) platform::RegisterString(s.id, s.text);
}

int ProtocolMaskFromCommandLine(const char* commandLine) {
  return commandLine != nullptr && commandLine[0] == '2' ? TYPE_TCPIP : TYPE_NETBEUI;
}

int PortCount(std::uint8_t portKind) { return (portKind & 3) + ((portKind >> 2) & 3); }

PortStatusFields ParsePortStatus(int portIndex, const std::string& statusText) {
  PortStatusFields f;
  if (portIndex < 0 || portIndex > 2) return f;
  std::size_t pos = statusText.find("STATE");
  for (int i = 0; i < portIndex && pos != std::string::npos; ++i) pos = statusText.find("STATE", pos + 5);
  if (pos == std::string::npos) return f;
  std::string rest = statusText.substr(std::min(pos + 6, statusText.size()));
  if (const std::size_t paren = rest.find('('); paren != std::string::npos) rest.resize(paren);
  f.state = CutAtLineEnd(rest);
  // Each field: the text after its name and one separator character, up to the line end.
  auto field = [&rest](const char* name, std::string& out) {
    const std::size_t at = rest.find(name);
    if (at == std::string::npos) return false;
    out = CutAtLineEnd(rest.substr(std::min(at + std::strlen(name) + 1, rest.size())));
    return true;
  };
  if (field("PRINTER STATUS", f.printerStatus) && field("BYTES SERVICED", f.bytesServiced))
    field("OCCUPIED BY", f.occupiedBy);
  f.ready = f.printerStatus.find("On-Line") != std::string::npos && f.state.find("Idle") != std::string::npos;
  return f;
}

std::string ParsePrinterModel(const std::string& reply) {
  if (reply.empty() || reply[0] != '0') return {};  // '1'..'3': not bidirectional; others: no answer
  const std::string id = reply.substr(1);
  for (const char* key : {"MODEL:", "model:", "MDL:", "mdl:"}) {
    const std::size_t at = id.find(key);
    if (at == std::string::npos) continue;
    std::string model = id.substr(at + std::strlen(key));
    if (const std::size_t end = model.find(';'); end != std::string::npos) model.resize(end);
    // The model is shown in a tree item: no line breaks or other control characters.
    std::replace_if(model.begin(), model.end(),
                    platform::IsAsciiControl, ' ');
    return model;
  }
  return {};
}

std::vector<ServerNode> QueryServers(const DeviceRecord* records, int count) {
  std::vector<ServerNode> nodes;
  for (int r = 0; r < count; ++r) {
    DeviceRecord record = records[r];
    if (std::strncmp(record.szName, "PS", 2) != 0) continue;
    std::string info;
    if (Request(record, "9007:\n", info, kDeviceInfoReply) != 0) continue;
    // A block too short to hold the box's name is no answer.
    if (info.size() < 76) continue;
    ServerNode node;
    node.defaultName = Bounded(record.szName, sizeof record.szName);
    const bool tcp = record.iProtocol == TYPE_TCPIP;
    const std::size_t nameLength = tcp ? 19 : kNetbiosNameLength;
    const std::string name = Bounded(info.data() + 56, std::min<std::size_t>(nameLength, info.size() - 56));
    std::memcpy(node.deviceName, name.data(), name.size());
    if (tcp) record.address[NETBIOS_LANA_OFFSET] = 0;
    node.record = record;
    const auto b10 = static_cast<std::uint8_t>(info[10]);
    const auto b11 = static_cast<std::uint8_t>(info[11]);
    node.portKind = static_cast<std::uint8_t>(((b11 >> 6) << 2) | (b10 >> 6));
    std::string status;
    for (int i = 0; i < PortCount(node.portKind); ++i) {
      std::string fresh;
      // A failed status request keeps the text of the last one.
      if (Request(record, "9020: \n", fresh, kDeviceInfoReply) == 0) status = fresh;
      const PortStatusFields fields = ParsePortStatus(i, status);
      char text[128];
      if (fields.printerStatus.find("On-Line") == std::string::npos) {
        std::snprintf(text, sizeof text, "Port %d,No Printer", i + 1);
      } else {
        const std::string model = QueryPrinterModel(record, i);
        if (model.empty()) std::snprintf(text, sizeof text, "Port %d,Unknown Printer Model", i + 1);
        else std::snprintf(text, sizeof text, "Port %d,%.100s", i + 1, model.c_str());
      }
      node.portTexts.emplace_back(text);
    }
    nodes.push_back(std::move(node));
  }
  return nodes;
}

std::vector<ServerNode> BrowseServers() {
  std::vector<DeviceRecord> records(MAX_DEVICE_RECORDS);
  int count = 0;
  PSBrowseRecords(records.data(), &count);
  return QueryServers(records.data(), std::clamp(count, 0, MAX_DEVICE_RECORDS));
}

std::string MakePortName(const ServerNode& node, int portIndex, bool epson) {
  const std::string source = node.record.iProtocol == TYPE_TCPIP
                                 ? Bounded(node.deviceName, sizeof node.deviceName)
                                 : Bounded(node.record.address, kNetbiosNameLength);
  char name[64];
  if (epson) {
    std::snprintf(name, sizeof name, "LPT%d:%.8s", portIndex + 1, source.c_str());
    name[kMaxPortName] = 0;
  } else {
    std::snprintf(name, sizeof name, "%.10s_P%d", source.c_str(), portIndex + 1);
  }
  return name;
}

namespace {

bool IsUsableName(const std::string& name, std::size_t maxLength) {
  if (name.empty() || name.size() > maxLength) return false;
  return std::none_of(name.begin(), name.end(), [](char c) {
    return c == ' ' || c == ',' || c == '\\' || platform::IsAsciiControl(c);
  });
}

}  // namespace

bool IsUsablePortName(const std::string& name) { return IsUsableName(name, static_cast<std::size_t>(kMaxPortName)); }

bool IsUsableDeviceName(const std::string& name) {
  return IsUsableName(name, static_cast<std::size_t>(kNetbiosNameLength));
}

RecordResult WritePortRecord(const ServerNode& node, int portIndex, bool epson, std::string& portName) {
  portName = MakePortName(node, portIndex, epson);
  // The monitor reads at most a NetBIOS name (15 characters) as the box's name.
  const std::string device = Bounded(node.deviceName, kNetbiosNameLength);
  if (!IsUsablePortName(portName)) return RecordResult::kBadName;
  if (!IsUsableDeviceName(device)) return RecordResult::kBadDeviceName;
  HKEY key = nullptr;
  const std::string existing = std::string(kMonitorPortsKey) + "\\" + portName;
  if (RegOpenKeyEx(HKEY_LOCAL_MACHINE, existing.c_str(), KEY_ALL_ACCESS, &key) == ERROR_SUCCESS) {
    RegCloseKey(key);
    return RecordResult::kDuplicate;
  }
  if (RegCreateKeyEx(HKEY_LOCAL_MACHINE, kHandOverKey, KEY_ALL_ACCESS, &key, nullptr) != ERROR_SUCCESS)
    return RecordResult::kRegistryFailure;
  char text[80];
  std::snprintf(text, sizeof text, "%s,%s,%d,%d,%d", portName.c_str(), device.c_str(), portIndex,
                static_cast<int>(node.record.address[NETBIOS_LANA_OFFSET]), static_cast<int>(node.portKind));
  const DWORD one = 1;
  const bool ok =
      RegSetValueEx(key, "PS_0", REG_SZ, reinterpret_cast<const BYTE*>(text), static_cast<DWORD>(std::strlen(text) + 1)) ==
          ERROR_SUCCESS &&
      RegSetValueEx(key, "TotalPortCnt", REG_DWORD, reinterpret_cast<const BYTE*>(&one), sizeof one) == ERROR_SUCCESS;
  RegCloseKey(key);
  if (!ok) {
    DeleteHandOverRecord();
    return RecordResult::kRegistryFailure;
  }
  return RecordResult::kWritten;
}

void DeleteHandOverRecord() { RegDeleteKey(HKEY_LOCAL_MACHINE, kHandOverKey); }

bool IsMonitorRegistered() {
  const std::string path = std::string(platform::spooler::kMonitorsKey) + "\\" + kMonitorName;
  HKEY key = nullptr;
  if (RegOpenKeyEx(HKEY_LOCAL_MACHINE, path.c_str(), KEY_READ, &key) != ERROR_SUCCESS) return false;
  DWORD type = 0, size = 0;
  const bool driver = RegQueryValueEx(key, "Driver", &type, nullptr, &size) == ERROR_SUCCESS && type == REG_SZ;
  RegCloseKey(key);
  return driver;
}

int AddPortA(const char*, void*, const char* monitorName) {
  // The spooler keeps a monitor loaded for the life of the process.
  static platform::spooler::Spooler spooler;
  if (monitorName == nullptr) return FALSE;
  if (!spooler.loaded() && !spooler.LoadMonitor(monitorName)) {
    SetLastError(ERROR_INVALID_NAME);
    return FALSE;
  }
  DWORD error = 0;
  const BOOL ok = spooler.AddPort(&error);
  if (!ok) SetLastError(error);
  return ok;
}

const char* const kStandardPortsKey = "System\\CurrentControlSet\\Control\\Print\\Monitors\\Standard TCP/IP Port\\Ports";

int AddStandardTcpIpPort(const std::string& portName, int portNumber, const ServerNode& node) {
  if (node.record.iProtocol != TYPE_TCPIP) return 0;
  const std::string address = Bounded(node.record.address, 16);
  in_addr parsed{};
  if (inet_pton(AF_INET, address.c_str(), &parsed) != 1 || portNumber < 1 || portNumber > 6) return 0;
  const std::string path = std::string(kStandardPortsKey) + "\\" + portName;
  HKEY key = nullptr;
  if (RegOpenKeyEx(HKEY_LOCAL_MACHINE, path.c_str(), KEY_READ, &key) == ERROR_SUCCESS) {
    RegCloseKey(key);  // an existing port keeps its settings
    return 0;
  }
  if (RegCreateKeyEx(HKEY_LOCAL_MACHINE, path.c_str(), KEY_ALL_ACCESS, &key, nullptr) != ERROR_SUCCESS) return 0;
  const std::string queue = "L" + std::to_string(portNumber);
  const std::string uri = "lpd://" + address + ":515/" + queue;
  auto text = [key](const char* name, const std::string& value) {
    return RegSetValueEx(key, name, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                         static_cast<DWORD>(value.size() + 1)) == ERROR_SUCCESS;
  };
  auto number = [key](const char* name, DWORD value) {
    return RegSetValueEx(key, name, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value) == ERROR_SUCCESS;
  };
  const bool ok = text("HostName", address) && text("IPAddress", address) && number("Protocol", 2) &&
                  number("Version", 1) && number("PortNumber", 515) && text("Queue", queue) &&
                  number("DoubleSpool", 1) && number("SNMP Enabled", 0) && text("URI", uri);
  RegCloseKey(key);
  if (!ok) {
    HKEY ports = nullptr;
    if (RegOpenKeyEx(HKEY_LOCAL_MACHINE, kStandardPortsKey, KEY_ALL_ACCESS, &ports) == ERROR_SUCCESS) {
      RegDeleteKey(ports, portName.c_str());
      RegCloseKey(ports);
    }
    return 0;
  }
  return 1;
}

std::string PrinterSetupCommand() {
  if (const char* configured = std::getenv("PSADMIN_PRINTER_SETUP"); configured != nullptr && *configured != '\0') {
    const std::string command = configured;
    return platform::HasAsciiControl(command) ? std::string() : command;
  }
  if (!platform::FindProgram("system-config-printer").empty()) return "system-config-printer";
  if (!platform::FindProgram("xdg-open").empty()) return "xdg-open http://localhost:631/admin";
  return {};
}

bool RunAddPrinterWizard(const StartFn& start) {
  const std::string command = PrinterSetupCommand();
  if (command.empty()) {
    platform::MessageBoxById(121, platform::MB_OK);
    return false;
  }
  return start && start(command.c_str(), SW_SHOWNORMAL) > 31;
}

AddResult AddSelectedPort(const ServerNode& node, const std::string& portText, const AddPortFn& addPort,
                          const StartFn& start) {
  AddResult result;
  // "Port n,...": the port index is the sixth character minus '1'.
  const int index = portText.size() > 5 ? portText[5] - '1' : -1;
  if (portText.compare(0, 4, "Port") != 0 || index < 0 || index >= PortCount(node.portKind)) {
    platform::MessageBoxById(104, platform::MB_OK);
    return result;
  }
  std::string upper = portText;
  std::transform(upper.begin(), upper.end(), upper.begin(),
                 [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; });
  bool epson = upper.find("STYLUS") != std::string::npos;
  if (!epson && (upper.find("NO PRINTER") != std::string::npos ||
                 upper.find("UNKNOWN PRINTER MODEL") != std::string::npos)) {
    epson = ShowText(0, "Is there an Epson Stylus Color printer connected to this port ?",
                     platform::MB_YESNO | platform::MB_ICONQUESTION) == platform::IDYES;
  }
  if (epson) platform::MessageBoxById(106, platform::MB_ICONINFORMATION);

  switch (WritePortRecord(node, index, epson, result.portName)) {
    case RecordResult::kWritten: break;
    case RecordResult::kDuplicate:
      // The port exists already: the printer set-up still starts, for a printer on it.
      platform::MessageBoxById(107, platform::MB_OK);
      RunAddPrinterWizard(start);
      return result;
    case RecordResult::kRegistryFailure:
      platform::MessageBoxById(108, platform::MB_OK);
      RunAddPrinterWizard(start);
      return result;
    case RecordResult::kBadName: {
      char text[160];
      std::snprintf(text, sizeof text, platform::LoadString(151).c_str(), result.portName.c_str());
      ShowText(151, text, platform::MB_ICONERROR);
      return result;
    }
    case RecordResult::kBadDeviceName: {
      const std::string device = Bounded(node.deviceName, kNetbiosNameLength);
      char text[160];
      std::snprintf(text, sizeof text, platform::LoadString(152).c_str(), device.c_str());
      ShowText(152, text, platform::MB_ICONERROR);
      return result;
    }
  }

  if (IsMonitorRegistered() || node.record.iProtocol != TYPE_TCPIP) {
    SetLastError(0);
    const int ok = addPort ? addPort(nullptr, nullptr, kMonitorName) : 0;
    // The monitor has read the record inside the call, whatever it answered.
    DeleteHandOverRecord();
    if (ok != 1) {
      ShowText(0, "AddPort fail", platform::MB_ICONERROR);
      return result;
    }
  } else {
    // No monitor on this system: a standard TCP/IP port printing over LPD.
    DeleteHandOverRecord();
    result.portName = "IP_" + Bounded(node.record.address, 16);
    if (AddStandardTcpIpPort(result.portName, index + 1, node) != 1) {
      ShowText(0, "AddPort fail", platform::MB_ICONERROR);
      return result;
    }
  }
  result.created = true;
  char text[256];
  std::snprintf(text, sizeof text,
                "Vardon Print Server Port %s added successfully.\nPlease write down the port name.\nYou will need to "
                "select this port name for the following steps.",
                result.portName.c_str());
  ShowText(0, text, platform::MB_ICONINFORMATION);
  RunAddPrinterWizard(start);
  return result;
}

}  // namespace dapsel

#include "wizard/wizard_routines.h"

#include <vector>

#include "device_client/settings/com_method.h"
#include "platform/ascii.h"
#include "platform/message_sink.h"
#include "platform/netprobe/netprobe.h"
#include "platform/registry.h"

namespace wizard {
namespace {

struct MessageText {
  int id;
  const char* text;
};

constexpr MessageText kMessages[] = {
    {IDS_WZ_NETWORK_BUSY_OR_NOT_FOUND, "Network Busy, or Device not found !!"},
    {IDS_WZ_UNKNOWN_ERROR_CODE, "Unknown error code"},
    {IDS_WZ_DEVICE_NOT_FOUND, "Device not found"},
    {IDS_WZ_PJL_DATA_ERROR, "PJL data error"},
    {IDS_WZ_NOT_PJL_PRINTER, "Not PJL printer , or printer is offline"},
    {IDS_WZ_PJL_GET_STATUS_ERROR, "PJL Get Status return error"},
    {IDS_WZ_PJL_CONFIG_NOT_AVAILABLE, "PJL Configuration Information not availabl"},
    {IDS_WZ_PRINTER_OCCUPIED, "Printer is occupied"},
    {IDS_WZ_PRINTER_NOT_BIDIRECTIONAL,
     "Printer is offline or\nnot responding or\nattached is not a bi-direction printer."},
    {IDS_WZ_PRINTER_PRINTING, "Printer is printing now"},
    {IDS_WZ_COMMAND_PARAMETER_INVALID, "Command Parameter invalid"},
    {IDS_WZ_NETWORK_BUSY, "Network busy !!"},
};

constexpr std::size_t kRecordTextRoom = 128;  // bytes, terminator included

// A string value of the installation record; false when it is missing or not a clean text.
bool ReadInstallationText(const char* valueName, std::string& out) {
  HKEY key = nullptr;
  if (RegOpenKeyEx(HKEY_LOCAL_MACHINE, kInstallationKey, KEY_READ, &key) != ERROR_SUCCESS) {
    return false;
  }
  char buffer[kRecordTextRoom] = {};
  DWORD size = sizeof buffer - 1;
  DWORD type = REG_NONE;
  const LONG rc =
      RegQueryValueEx(key, valueName, &type, reinterpret_cast<BYTE*>(buffer), &size);
  RegCloseKey(key);
  if (rc != ERROR_SUCCESS || type != REG_SZ) return false;
  std::string text(buffer, size);
  while (!text.empty() && text.back() == '\0') text.pop_back();
  if (platform::HasAsciiControl(text)) return false;
  out = text;
  return true;
}

}  // namespace

void RegisterWizardRoutineStrings() {
  for (const MessageText& m : kMessages) platform::RegisterString(m.id, m.text);
}

OsClass OsClassOf(unsigned platformId, unsigned major, unsigned minor) {
  // The console's classes, except that the wizard knows no NT release after major version 6.
  constexpr unsigned kWindowsNt = 2;
  if (platformId == kWindowsNt && major > 6) return 0;
  return CComMethod::WindowsVersionClassOf(platformId, major, minor);
}

OsClass GetOsClass() { return OsClassOf(2, 5, 0); }

int ErrorMessageIdForCode(int code) {
  switch (code) {
    case 0:
    case 1:
    case 2:
    case 4:
    case -205:
      return 0;
    case -1:
    case -5:
      return IDS_WZ_NETWORK_BUSY_OR_NOT_FOUND;
    case -4:
    case -210:
      return IDS_WZ_DEVICE_NOT_FOUND;
    case -200:
      return IDS_WZ_PJL_DATA_ERROR;
    case -201:
      return IDS_WZ_NOT_PJL_PRINTER;
    case -202:
      return IDS_WZ_PJL_GET_STATUS_ERROR;
    case -203:
      return IDS_WZ_PJL_CONFIG_NOT_AVAILABLE;
    case -204:
      return IDS_WZ_PRINTER_OCCUPIED;
    case -206:
      return IDS_WZ_PRINTER_NOT_BIDIRECTIONAL;
    case -207:
      return IDS_WZ_PRINTER_PRINTING;
    case -208:
      return IDS_WZ_COMMAND_PARAMETER_INVALID;
    case -209:
      return IDS_WZ_NETWORK_BUSY;
    default:
      return IDS_WZ_UNKNOWN_ERROR_CODE;
  }
}

void ShowErrorForCode(int code) {
  const int id = ErrorMessageIdForCode(code);
  if (id == 0) return;
  if (platform::LoadString(id).empty()) RegisterWizardRoutineStrings();
  platform::MessageBoxById(id, platform::MB_OK);
}

bool ProtocolInstalledForClass(OsClass osClass, bool isTcpip, bool (*probe)()) {
  if (osClass < 1 || osClass > 7) return true;
  if (osClass == 7 && isTcpip) return true;
  return probe();
}

bool IsIpxInstalled() {
  return ProtocolInstalledForClass(GetOsClass(), false, &platform::netprobe::IpxUsable);
}

bool IsTcpipInstalled() {
  return ProtocolInstalledForClass(GetOsClass(), true, &platform::netprobe::TcpipUsable);
}

void EnumWorkgroups(std::list<std::string>& list) {
  list.clear();
  for (std::string& name : platform::netprobe::ListWorkgroups()) list.push_back(std::move(name));
}

void GetDefaultWorkgroup(std::string& text) { platform::netprobe::ReadDefaultWorkgroup(text); }

int IsUserSetup() {
  std::string type;
  return ReadInstallationText("SetupType", type) && type == "User" ? 1 : 0;
}

int GetTargetDir(std::string& dir) { return ReadInstallationText("TARGETDIR", dir) ? 1 : 0; }

}  // namespace wizard

// Routines that several pages of the setup wizard share: the Windows version class whose layout
// the platform stand-ins follow, the one message box for a device-library result code, whether
// this PC can use each network layer, the workgroups of the network and of this PC, and the
// installation record of the package. None of them keeps state.
#pragma once
#include <list>
#include <string>

namespace wizard {

// String-table ids of the result messages.
constexpr int IDS_WZ_NETWORK_BUSY_OR_NOT_FOUND = 103;
constexpr int IDS_WZ_UNKNOWN_ERROR_CODE = 104;
constexpr int IDS_WZ_DEVICE_NOT_FOUND = 105;
constexpr int IDS_WZ_PJL_DATA_ERROR = 106;
constexpr int IDS_WZ_NOT_PJL_PRINTER = 107;
constexpr int IDS_WZ_PJL_GET_STATUS_ERROR = 108;
constexpr int IDS_WZ_PJL_CONFIG_NOT_AVAILABLE = 109;
constexpr int IDS_WZ_PRINTER_OCCUPIED = 110;
constexpr int IDS_WZ_PRINTER_NOT_BIDIRECTIONAL = 111;
constexpr int IDS_WZ_PRINTER_PRINTING = 112;
constexpr int IDS_WZ_COMMAND_PARAMETER_INVALID = 113;
constexpr int IDS_WZ_NETWORK_BUSY = 114;

// Registers the texts above in the string table (ShowErrorForCode does it itself when needed).
void RegisterWizardRoutineStrings();

// Windows version classes: 0 none of the others, 1 Windows 95, 2 Windows 98 or ME, 3 NT 3.51,
// 4 NT 4.0, 5 Windows 2000, 6 Windows XP, 7 NT 6.x.
using OsClass = int;
// The class of a reported platform id (1 Windows 9x, 2 NT) and version.
OsClass OsClassOf(unsigned platformId, unsigned major, unsigned minor);
// The class of this PC: the suite's registry layout and network layers stand in for those of the
// NT 5.0 family, as the console's settings report, so this is 5.
OsClass GetOsClass();

// The id of the message that a device-library result code shows, or 0 for none: 0, 1, 2, 4 and
// -205 are silent; -4 shows "Device not found" alone.
int ErrorMessageIdForCode(int code);
// Shows that message in an OK box.
void ShowErrorForCode(int code);

// Whether this PC can use a network layer. A class without probes of its own (0), and TCP/IP on
// class 7, answer true without looking.
bool IsIpxInstalled();
bool IsTcpipInstalled();
// The same decisions for a given class, with the layer's probe given.
bool ProtocolInstalledForClass(OsClass osClass, bool isTcpip, bool (*probe)());

// Empties the list and fills it with the workgroups and domains the network knows, in the order
// found (empty when none can be learnt).
void EnumWorkgroups(std::list<std::string>& list);
// Sets the text to this PC's workgroup; leaves it unchanged when this PC has no configuration
// that names one.
void GetDefaultWorkgroup(std::string& text);

// The installation record of the package, read only (HKEY_LOCAL_MACHINE, kInstallationKey).
constexpr const char* kInstallationKey = "SOFTWARE\\Vardon\\Vardon Print Server Software\\1.0";
// 1 when its "SetupType" is exactly "User", else 0 (also when the key or value is missing).
int IsUserSetup();
// Copies "TARGETDIR" (at most 127 characters) into dir and returns 1; 0 with dir untouched when the
// key or the value is missing, is not a text or holds a control character.
int GetTargetDir(std::string& dir);

}  // namespace wizard

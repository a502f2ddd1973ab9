// Small common services of the administration console: the program settings of "common.ini", the
// debug log, the message box for a device-API result code, checks and edits of the text the user
// types into the settings pages, and the network protocols installed on this computer.
//
// Every setting is read afresh from "common.ini" in the Windows directory
// (platform::WindowsDirectory()) on each call, so an edit of the file takes effect at the next call;
// a missing file, section or key gives the default (empty text or 0).
//
// The class holds no data; every operation is static, so it may be called through an instance (the
// console keeps one) or through the class name.
#pragma once
#include <cstddef>
#include <string>

#include "platform/netprobe/netprobe.h"

// Set to 1 by CComMethod::ShowResult just before it shows a box for a known result code. The device
// dialogs clear it around their own ShowResult calls; the printer-status dialog's timer stays idle
// while it is 1.
extern int g_bResultShown;

// String-table ids of the result messages (registered by RegisterComMethodStrings).
constexpr int IDS_NETWORK_BUSY_OR_NOT_FOUND = 32794;
constexpr int IDS_DEVICE_NOT_FOUND = 32887;
constexpr int IDS_PJL_DATA_ERROR = 32886;
constexpr int IDS_NOT_PJL_PRINTER = 32885;
constexpr int IDS_PJL_GET_STATUS_ERROR = 32882;
constexpr int IDS_PJL_CONFIG_NOT_AVAILABLE = 32883;
constexpr int IDS_PRINTER_OCCUPIED = 32891;
constexpr int IDS_PRINTER_NOT_BIDIRECTIONAL = 32896;
constexpr int IDS_PRINTER_PRINTING = 32897;
constexpr int IDS_COMMAND_PARAMETER_INVALID = 32898;
constexpr int IDS_NETWORK_BUSY = 32899;
constexpr int IDS_UNKNOWN_ERROR_CODE = 32884;

// Registers the texts of the result messages in the string table. ShowResult calls it itself the
// first time; calling it again is harmless.
void RegisterComMethodStrings();

class CComMethod {
 public:
  // --- Settings ([general] and [ConnectedProtocol] of "common.ini") ---
  // 1 when [general] simulation is exactly "T", else 0.
  static int IsSimulation();
  // 1 when [general] debuglog is exactly "T" (not "t", not "true"), else 0.
  static int IsDebugLogOn();
  static int GetCustomer();      // [general] customer, default 0
  static int GetTimeOut();       // [general] iTimeOut, default 0
  static int GetRefreshDelay();  // [general] RefreshDelay, default 0
  // [ConnectedProtocol] bTCPIP, bIPXSPX, bNETBEUI, each defaulting to 0.
  static void GetConnectedProtocols(int& tcpip, int& ipxspx, int& netbeui);

  // --- Debug log ---
  // Reads [general] debuglogfilename and debuglog anew; when debuglog is exactly "T" appends the text
  // and a line feed to that file, opening and closing it for this one line. A line of any length is
  // written whole. A relative file name is taken relative to the current directory of the process.
  // Returns 1 when the line was written; 0 when the log is off, no file is named or the file cannot
  // be opened or written (nothing is written then).
  static int WriteLog(const std::string& text);
  // "login at <year>/<month>/<day>  <hour>:<minute>:<second> \n" of the current local time (the
  // time of platform::GetClock()).
  static void FormatLoginTime(std::string& out);
  // The same into a caller's buffer, truncated to size-1 characters and always NUL-terminated
  // (nothing is written when size is 0).
  static void FormatLoginTime(char* buffer, std::size_t size);

  // --- Result messages ---
  // Shows the message box for a device-API result code: no box for 0, 1, 2, 4 and -205; a plain OK
  // box for each known error code (g_bResultShown is set to 1 first); all of these return 1. Any
  // other code shows "Unknown error code", leaves g_bResultShown alone and returns 0.
  static int ShowResult(int code);

  // --- Text checks (1 when the text passes, else 0) ---
  // Every character lies in 0x20..0x7F; control characters and bytes 0x80..0xFF fail.
  static int IsPrintableText(const std::string& text);
  static int IsHexText(const std::string& text);        // only 0-9, A-F, a-f
  static int IsDecimalText(const std::string& text);    // only 0-9
  static int IsDigitText(const std::string& text);      // only 0-9 (same check as IsDecimalText)
  static int IsDigitsAndDots(const std::string& text);  // only 0-9 and '.'
  // Not empty, does not end with '.', holds at most one '.'; the other characters are not examined.
  // Unlike the checks above it rejects the empty text.
  static int IsDecimalNumber(const std::string& text);

  // --- Text edits (in place) ---
  static void RemoveSpaces(std::string& text);       // removes every blank
  static void StripLeadingZeros(std::string& text);  // drops leading '0's, keeps at least one char
  // Removes every blank, makes an empty text "0", then drops leading '0's ("  007" -> "7").
  static void NormalizeNumberText(std::string& text);
  // Cuts a dotted text "a.b.c.d" into its four parts. Returns 0 when a dot is missing, when a part
  // is empty or when the fourth part holds a further dot ("1.2.3.4.5"); the out texts are changed
  // only when it returns 1.
  static int SplitIpAddress(const std::string& text, std::string& a, std::string& b, std::string& c,
                            std::string& d);

  // --- Addresses: the one strict reader of IPv4 octets and dotted addresses ---
  // An octet is decimal digits only: no sign, no blank, no hexadecimal; leading zeros are read as
  // decimal ("010" is 10, never octal). ReadOctet gives kOctetOk and the value, or the reason the
  // text is refused (value is then left alone). The text is taken as it stands: a caller that
  // tolerates blanks removes them first.
  static constexpr int kOctetOk = 0;
  static constexpr int kOctetEmpty = 1;
  static constexpr int kOctetNotDecimal = 2;
  static constexpr int kOctetOutOfRange = 3;  // above 255 (any length of digits)
  static int ReadOctet(const std::string& text, int& value);
  // A dotted address of exactly four octets of one to three decimal digits each, 0-255, nothing
  // before, between or after them. Returns 1 and the four values, else 0 (octets untouched).
  static int ParseIpAddress(const std::string& text, int octets[4]);
  // "a.b.c.d" of four values read by ReadOctet (each printed as a plain decimal number).
  static std::string JoinOctets(const int octets[4]);

  // --- Installed protocols ---
  // The Windows version class of this computer: 1, 2 Windows 9x; 3 NT 3.51; 4 NT 4.0; 5 NT 5.0;
  // 6 NT 5.1; 7 NT 6 and later; 0 unknown. There is no Windows version on this platform; the suite's
  // own stand-ins for the Windows services (registry layout, network layers) behave as the NT 5.0
  // family, so this returns 5.
  static int GetWindowsVersionClass();
  // The class of a reported platform id (1 Windows 9x, 2 NT) and version.
  static int WindowsVersionClassOf(unsigned platformId, unsigned major, unsigned minor);
  // Sets each flag to 1 when the protocol is installed, else 0, and returns false when none is.
  // Installed means what this PC has by the suite's one answer (platform::netprobe::
  // DetectInstalledProtocols), which the wizard gives too: NetBEUI is the NetBIOS stand-in.
  static bool DetectInstalledProtocols(int& ipx, int& tcpip, int& netbeui);
  // The same for a given version class and answer: class 0 (or any unknown class) returns false at
  // once with every flag 0; on class 6 NetBEUI is never installed.
  static bool DetectInstalledProtocolsForClass(int versionClass, const platform::netprobe::InstalledProtocols& layers,
                                               int& ipx, int& tcpip, int& netbeui);
};

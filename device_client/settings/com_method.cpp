#include "device_client/settings/com_method.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <mutex>

#include "platform/clock.h"
#include "platform/message_sink.h"
#include "platform/netprobe/netprobe.h"
#include "platform/profile.h"

int g_bResultShown = 0;

namespace {

constexpr const char* kIniFile = "common.ini";
constexpr const char* kGeneral = "general";
constexpr const char* kConnected = "ConnectedProtocol";
// Text settings are read with room for 511 characters.
constexpr DWORD kTextRoom = 512;

std::string ReadText(const char* section, const char* key) {
  char buf[kTextRoom] = {};
  GetPrivateProfileString(section, key, "", buf, kTextRoom, kIniFile);
  return buf;
}

int ReadInt(const char* section, const char* key) {
  return GetPrivateProfileInt(section, key, 0, kIniFile);
}

bool IsSwitchOn(const char* key) { return ReadText(kGeneral, key) == "T"; }

struct ResultRow {
  int code;
  int stringId;  // 0: no box
};

// Every code the device API and the PJL extension return that has its own handling.
constexpr ResultRow kResultRows[] = {
    {0, 0},
    {1, 0},
    {2, 0},
    {4, 0},
    {-205, 0},
    {-1, IDS_NETWORK_BUSY_OR_NOT_FOUND},
    {-5, IDS_NETWORK_BUSY_OR_NOT_FOUND},
    {-4, IDS_DEVICE_NOT_FOUND},
    {-200, IDS_PJL_DATA_ERROR},
    {-201, IDS_NOT_PJL_PRINTER},
    {-202, IDS_PJL_GET_STATUS_ERROR},
    {-203, IDS_PJL_CONFIG_NOT_AVAILABLE},
    {-204, IDS_PRINTER_OCCUPIED},
    {-206, IDS_PRINTER_NOT_BIDIRECTIONAL},
    {-207, IDS_PRINTER_PRINTING},
    {-208, IDS_COMMAND_PARAMETER_INVALID},
    {-209, IDS_NETWORK_BUSY},
    {-210, IDS_DEVICE_NOT_FOUND},
};

template <typename Pred>
int AllOf(const std::string& text, Pred pred) {
  for (char ch : text) {
    if (!pred(static_cast<unsigned char>(ch))) return 0;
  }
  return 1;
}

bool IsDigit(unsigned char c) { return c >= '0' && c <= '9'; }

}  // namespace

void RegisterComMethodStrings() {
  platform::RegisterString(IDS_NETWORK_BUSY_OR_NOT_FOUND, "Network Busy ,or Device not found !! ");
  platform::RegisterString(IDS_DEVICE_NOT_FOUND, "Device not found");
  platform::RegisterString(IDS_PJL_DATA_ERROR, "PJL data error");
  platform::RegisterString(IDS_NOT_PJL_PRINTER, "Not PJL printer , or printer is offline");
  platform::RegisterString(IDS_PJL_GET_STATUS_ERROR, "PJL Get Status return error");
  platform::RegisterString(IDS_PJL_CONFIG_NOT_AVAILABLE,
                           "PJL Configuration Information not available");
  platform::RegisterString(IDS_PRINTER_OCCUPIED, "Printer is occupied");
  platform::RegisterString(
      IDS_PRINTER_NOT_BIDIRECTIONAL,
      "Printer is offline or\nnot responding or\nattached is not a bi-direction printer.");
  platform::RegisterString(IDS_PRINTER_PRINTING, "Printer is printing now");
  platform::RegisterString(IDS_COMMAND_PARAMETER_INVALID, "Command Parameter invalid");
  platform::RegisterString(IDS_NETWORK_BUSY, "Network busy !!");
  platform::RegisterString(IDS_UNKNOWN_ERROR_CODE, "Unknown error code");
}

// --- Settings ---

int CComMethod::IsSimulation() { return IsSwitchOn("simulation") ? 1 : 0; }

int CComMethod::IsDebugLogOn() { return IsSwitchOn("debuglog") ? 1 : 0; }

int CComMethod::GetCustomer() { return ReadInt(kGeneral, "customer"); }

int CComMethod::GetTimeOut() { return ReadInt(kGeneral, "iTimeOut"); }

int CComMethod::GetRefreshDelay() { return ReadInt(kGeneral, "RefreshDelay"); }

void CComMethod::GetConnectedProtocols(int& tcpip, int& ipxspx, int& netbeui) {
  tcpip = ReadInt(kConnected, "bTCPIP");
  ipxspx = ReadInt(kConnected, "bIPXSPX");
  netbeui = ReadInt(kConnected, "bNETBEUI");
}

// --- Debug log ---

int CComMethod::WriteLog(const std::string& text) {
  const std::string fileName = ReadText(kGeneral, "debuglogfilename");
  if (IsDebugLogOn() != 1) return 0;
  if (fileName.empty()) return 0;
  // O_NONBLOCK only for the open: a FIFO without a reader named as the log fails at once (ENXIO)
  // instead of holding the program; the writes then block as usual. Close-on-exec, so a program
  // started meanwhile by another thread does not inherit the log.
  const int fd = ::open(fileName.c_str(),
                        O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, 0644);
  if (fd < 0) return 0;
  const int flags = ::fcntl(fd, F_GETFL);
  bool written = flags != -1 && ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) == 0;
  // The line is written as it stands, whatever its length: no intermediate formatting buffer.
  std::string line = text;
  line += '\n';
  std::size_t done = 0;
  while (written && done < line.size()) {
    const ssize_t n = ::write(fd, line.data() + done, line.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      written = false;
      break;
    }
    done += static_cast<std::size_t>(n);
  }
  const bool closed = ::close(fd) == 0;
  return written && closed ? 1 : 0;
}

void CComMethod::FormatLoginTime(std::string& out) {
  const std::tm now = platform::LocalTimeNow();
  char buf[96];
  std::snprintf(buf, sizeof buf, "login at %d/%d/%d  %d:%d:%d \n", now.tm_year + 1900,
                now.tm_mon + 1, now.tm_mday, now.tm_hour, now.tm_min, now.tm_sec);
  out = buf;
}

void CComMethod::FormatLoginTime(char* buffer, std::size_t size) {
  if (buffer == nullptr || size == 0) return;
  std::string text;
  FormatLoginTime(text);
  std::snprintf(buffer, size, "%s", text.c_str());
}

// --- Result messages ---

int CComMethod::ShowResult(int code) {
  static std::once_flag registered;
  std::call_once(registered, RegisterComMethodStrings);
  for (const ResultRow& row : kResultRows) {
    if (row.code != code) continue;
    if (row.stringId != 0) {
      g_bResultShown = 1;
      platform::MessageBoxById(row.stringId, platform::MB_OK);
    }
    return 1;
  }
  platform::MessageBoxById(IDS_UNKNOWN_ERROR_CODE, platform::MB_OK);
  return 0;
}

// --- Text checks ---

int CComMethod::IsPrintableText(const std::string& text) {
  return AllOf(text, [](unsigned char c) { return c >= 0x20 && c <= 0x7F; });
}

int CComMethod::IsHexText(const std::string& text) {
  return AllOf(text, [](unsigned char c) {
    return IsDigit(c) || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
  });
}

int CComMethod::IsDecimalText(const std::string& text) { return AllOf(text, IsDigit); }

int CComMethod::IsDigitText(const std::string& text) { return IsDecimalText(text); }

int CComMethod::IsDigitsAndDots(const std::string& text) {
  return AllOf(text, [](unsigned char c) { return IsDigit(c) || c == '.'; });
}

int CComMethod::IsDecimalNumber(const std::string& text) {
  if (text.empty() || text.back() == '.') return 0;
  return text.find('.') == text.rfind('.') ? 1 : 0;
}

// --- Text edits ---

void CComMethod::RemoveSpaces(std::string& text) { std::erase(text, ' '); }

void CComMethod::StripLeadingZeros(std::string& text) {
  std::size_t drop = 0;
  while (text.size() - drop > 1 && text[drop] == '0') ++drop;
  text.erase(0, drop);
}

void CComMethod::NormalizeNumberText(std::string& text) {
  RemoveSpaces(text);
  if (text.empty()) text = "0";
  StripLeadingZeros(text);
}

int CComMethod::SplitIpAddress(const std::string& text, std::string& a, std::string& b,
                               std::string& c, std::string& d) {
  std::string parts[4];
  std::size_t start = 0;
  for (int i = 0; i < 3; ++i) {
    const std::size_t dot = text.find('.', start);
    if (dot == std::string::npos || dot == start) return 0;
    parts[i] = text.substr(start, dot - start);
    start = dot + 1;
  }
  parts[3] = text.substr(start);
  // An address has exactly four parts: an empty fourth part or a fifth one is refused.
  if (parts[3].empty() || parts[3].find('.') != std::string::npos) return 0;
  a = parts[0];
  b = parts[1];
  c = parts[2];
  d = parts[3];
  return 1;
}

// --- Addresses ---

int CComMethod::ReadOctet(const std::string& text, int& value) {
  if (text.empty()) return kOctetEmpty;
  if (!IsDecimalText(text)) return kOctetNotDecimal;
  int v = 0;
  for (char c : text) {
    v = v * 10 + (c - '0');
    if (v > 255) return kOctetOutOfRange;  // stop before a long digit run can overflow
  }
  value = v;
  return kOctetOk;
}

int CComMethod::ParseIpAddress(const std::string& text, int octets[4]) {
  if (octets == nullptr) return 0;
  int values[4];
  std::size_t start = 0;
  for (int i = 0; i < 4; ++i) {
    const std::size_t end = i < 3 ? text.find('.', start) : text.size();
    if (end == std::string::npos) return 0;
    const std::string part = text.substr(start, end - start);
    if (part.size() > 3 || ReadOctet(part, values[i]) != kOctetOk) return 0;
    start = end + 1;
  }
  for (int i = 0; i < 4; ++i) octets[i] = values[i];
  return 1;
}

std::string CComMethod::JoinOctets(const int octets[4]) {
  return std::to_string(octets[0]) + "." + std::to_string(octets[1]) + "." + std::to_string(octets[2]) + "." +
         std::to_string(octets[3]);
}

// --- Installed protocols ---

int CComMethod::WindowsVersionClassOf(unsigned platformId, unsigned major, unsigned minor) {
  constexpr unsigned kWindows9x = 1;
  constexpr unsigned kWindowsNt = 2;
  if (platformId == kWindows9x && major == 4) return minor < 10 ? 1 : 2;
  if (platformId == kWindowsNt) {
    if (major == 3 && minor == 51) return 3;
    if (major == 4 && minor == 0) return 4;
    if (major == 5 && minor == 0) return 5;
    if (major == 5 && minor == 1) return 6;
    if (major > 5) return 7;
  }
  return 0;
}

int CComMethod::GetWindowsVersionClass() {
  // The registry layout and network layers of this suite stand in for those of Windows NT 5.0.
  return WindowsVersionClassOf(2, 5, 0);
}

bool CComMethod::DetectInstalledProtocols(int& ipx, int& tcpip, int& netbeui) {
  return DetectInstalledProtocolsForClass(GetWindowsVersionClass(), platform::netprobe::DetectInstalledProtocols(),
                                          ipx, tcpip, netbeui);
}

bool CComMethod::DetectInstalledProtocolsForClass(int versionClass,
                                                  const platform::netprobe::InstalledProtocols& layers,
                                                  int& ipx, int& tcpip, int& netbeui) {
  ipx = 0;
  tcpip = 0;
  netbeui = 0;
  if (versionClass < 1 || versionClass > 7) return false;
  ipx = layers.ipxspx ? 1 : 0;
  tcpip = layers.tcpip ? 1 : 0;
  netbeui = versionClass != 6 && layers.netbios ? 1 : 0;
  return ipx != 0 || tcpip != 0 || netbeui != 0;
}

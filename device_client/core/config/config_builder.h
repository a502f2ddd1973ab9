// Builds the configuration text that writes settings back to a box: the whole-configuration
// request and the six-line system request. Pure functions: the caller sends the text and restarts
// the box. Every refusal is decided here, before anything is sent.
#pragma once
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "device_client/core/config/config_records.h"
#include "platform/ascii.h"

namespace config {

constexpr int kBuildOk = 0;
constexpr int kBuildInvalid = -2;  // a value that cannot be written; nothing must be sent

// Collects lines "KEY :value\n"; remembers whether any value was unfit to be written (a control
// character in it, platform::HasAsciiControl, which would break or add configuration lines; or a
// check of the caller's that failed).
class LineWriter {
 public:
  void Text(std::string_view key, std::string_view value) {
    if (platform::HasAsciiControl(value)) bad_ = true;
    out_.append(key);
    out_ += " :";
    out_.append(value);
    out_ += '\n';
  }
  void Number(std::string_view key, std::int64_t value) { Text(key, std::to_string(value)); }
  // A fixed character array written up to its NUL (or its full width when it has none).
  template <std::size_t N>
  void Array(std::string_view key, const char (&value)[N]) {
    Text(key, std::string_view(value, strnlen(value, N)));
  }
  void Refuse() { bad_ = true; }
  bool bad() const { return bad_; }
  std::string& text() { return out_; }

 protected:
  std::string out_;
  bool bad_ = false;
};

// The NetWare lines of a settings text: 0001 with the print-server name ("PS" mode) or the
// remote-printer name ("RP"), the frame switches 2001-2004, 2000, 2101, 2102, 2103, 2110, 2111 and
// the remote printers 2501-2504. False for another mode, an empty name, a switch other than 0/1
// or a polling interval outside 1..255 (what was appended must then not be sent).
bool WriteNetwareLines(LineWriter& w, const NetwareConfigurationData& nw);

// The wireless lines 7002-7009: channel, WEP switch, key length, default key and the four keys.
void WriteWirelessKeyLines(LineWriter& w, const WirelessConfigurationData& wl);

// The request of the whole-configuration write. Which key groups are written depends on caps.
// Returns kBuildOk with the text in `text`, or kBuildInvalid (text left empty).
int BuildAllConfigurationText(const AllConfigurationData& settings, const ProtocolData& caps,
                              std::string& text);

// The six lines of the system write: 0001, 0011, 0012, 0013, 0014, 0019. Returns kBuildOk or
// kBuildInvalid (a device name with control characters; text left empty).
int BuildSystemConfigurationText(const SystemConfigurationData& system, std::string& text);

}  // namespace config

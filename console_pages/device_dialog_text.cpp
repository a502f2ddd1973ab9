#include "console_pages/device_dialog_text.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>

#include "device_client/settings/com_method.h"
#include "platform/message_sink.h"

namespace device_dialogs {

void RegisterDeviceDialogStrings() {
  RegisterComMethodStrings();
  platform::RegisterString(IDS_NEED_VALUE_BETWEEN, "Need to input value between");
  platform::RegisterString(IDS_NEED_INPUT_DATA, "Need to input data");
  platform::RegisterString(IDS_ILLEGAL_INPUT_DATA, "Illegal input data");
  platform::RegisterString(IDS_PRINTER_NOT_ON_LINE,
                           "Printer not on-line ,\ncan not set configuration  ,Please Wait.");
}

void ReportResult(int result) {
  g_bResultShown = 0;
  CComMethod::ShowResult(result);
  g_bResultShown = 0;
}

std::string PortToken(int port, const std::string& configuredName) {
  const char* fallback = nullptr;
  switch (port) {
    case 1: fallback = "P1"; break;
    case 2: fallback = "P2"; break;
    case 3: fallback = "P3"; break;
    case 101: fallback = "SP"; break;
    default: return std::string();
  }
  return configuredName.empty() ? std::string(fallback) : configuredName;
}

namespace {

// The text after `key` and one separator character, up to the next "\r\n"; empty when the key
// is absent, when nothing follows it or when the line end is missing. `found` tells whether the
// key occurs.
std::string ValueAfter(const std::string& block, const char* key, bool& found) {
  const std::size_t at = block.find(key);
  found = at != std::string::npos;
  if (!found) return std::string();
  const std::size_t start = at + std::strlen(key) + 1;
  if (start > block.size()) return std::string();
  const std::size_t end = block.find("\r\n", start);
  return end == std::string::npos ? std::string() : block.substr(start, end - start);
}

}  // namespace

PortStatusBlock ParsePortStatus(const std::string& text, const std::string& token) {
  PortStatusBlock out;
  if (token.empty()) return out;
  const std::string key = "(" + token + ")STATE";
  const std::size_t at = text.find(key);
  if (at == std::string::npos) return out;
  out.found = true;
  const std::size_t start = at + key.size() + 1;
  if (start > text.size()) return out;
  std::string block = text.substr(start);
  if (const std::size_t next = block.find('('); next != std::string::npos) block.resize(next);
  if (const std::size_t end = block.find("\r\n"); end != std::string::npos) out.state = block.substr(0, end);
  bool found = false;
  out.printerStatus = ValueAfter(block, "PRINTER STATUS", found);
  if (!found) return out;
  out.bytesServiced = ValueAfter(block, "BYTES SERVICED", found);
  if (!found) return out;
  out.occupiedBy = ValueAfter(block, "OCCUPIED BY", found);
  return out;
}

bool IsOnLineAndIdle(const PortStatusBlock& block) {
  return block.printerStatus.find("On-Line") != std::string::npos &&
         block.state.find("Idle") != std::string::npos;
}

std::vector<std::string> SplitReplyLines(const char* buffer, std::size_t capacity) {
  std::vector<std::string> lines;
  if (buffer == nullptr) return lines;
  const void* nul = std::memchr(buffer, 0, capacity);
  const std::size_t length = nul ? static_cast<std::size_t>(static_cast<const char*>(nul) - buffer) : capacity;
  std::size_t start = 0;
  for (std::size_t i = 0; i < length; ++i) {
    if (buffer[i] != '\n') continue;
    const std::size_t n = i - start;
    lines.emplace_back(buffer + start, n < kReplyLineChars ? n : kReplyLineChars);
    start = i + 1;
  }
  return lines;
}

namespace {

ValueCheck Refuse(int id) {
  ValueCheck c;
  c.messageId = id;
  c.message = platform::LoadString(id);
  return c;
}

ValueCheck Accept(const std::string& value) {
  ValueCheck c;
  c.ok = true;
  c.value = value;
  return c;
}

ValueCheck RefuseRange(const char* rangeText) {
  ValueCheck c = Refuse(IDS_NEED_VALUE_BETWEEN);
  c.message += " ";
  c.message += rangeText;
  return c;
}

// The typed text with blanks removed and leading zeros dropped; a zero written before the point
// stays, so "0.5" keeps its form.
std::string Normalised(const std::string& typed) {
  std::string text = typed;
  CComMethod::RemoveSpaces(text);
  const bool zeroFirst = !text.empty() && text[0] == '0';
  CComMethod::StripLeadingZeros(text);
  if (zeroFirst && !text.empty() && text[0] == '.') text.insert(text.begin(), '0');
  return text;
}

// A decimal integer; texts too long for a long long saturate (and so lie outside any range).
long long WholeValue(const std::string& text) {
  errno = 0;
  const long long v = std::strtoll(text.c_str(), nullptr, 10);
  if (errno == ERANGE) return v < 0 ? LLONG_MIN : LLONG_MAX;
  return v;
}

int BoundAsInt(const std::string& text) {
  const long long v = WholeValue(text);
  if (v > INT_MAX) return INT_MAX;
  if (v < INT_MIN) return INT_MIN;
  return static_cast<int>(v);
}

}  // namespace

ValueCheck CheckWholeNumber(const std::string& typed, const std::list<std::string>& bounds) {
  std::string text = typed;
  CComMethod::RemoveSpaces(text);
  if (text.empty()) return Refuse(IDS_NEED_INPUT_DATA);
  text = Normalised(text);
  if (CComMethod::IsDecimalText(text) != 1) return Refuse(IDS_ILLEGAL_INPUT_DATA);
  if (bounds.size() >= 2) {
    const int minimum = BoundAsInt(bounds.front());
    const int maximum = BoundAsInt(*std::next(bounds.begin()));
    const long long v = WholeValue(text);
    if (v < minimum || v > maximum) {
      char range[64];
      std::snprintf(range, sizeof range, "%d - %d", minimum, maximum);
      return RefuseRange(range);
    }
  }
  return Accept(text);
}

ValueCheck CheckDecimalNumber(const std::string& typed, const std::list<std::string>& bounds) {
  std::string text = typed;
  CComMethod::RemoveSpaces(text);
  if (text.empty()) return Refuse(IDS_NEED_INPUT_DATA);
  text = Normalised(text);
  if (!CComMethod::IsDecimalNumber(text)) return Refuse(IDS_ILLEGAL_INPUT_DATA);
  if (!CComMethod::IsDigitsAndDots(text)) return Refuse(IDS_ILLEGAL_INPUT_DATA);
  if (bounds.size() >= 2) {
    const double minimum = std::strtod(bounds.front().c_str(), nullptr);
    const double maximum = std::strtod(std::next(bounds.begin())->c_str(), nullptr);
    const double v = std::strtod(text.c_str(), nullptr);
    if (v > maximum || !(v >= minimum)) {
      char range[128];
      std::snprintf(range, sizeof range, "%5.2f - %5.2f", minimum, maximum);
      return RefuseRange(range);
    }
  }
  return Accept(text);
}

}  // namespace device_dialogs

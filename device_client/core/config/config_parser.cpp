#include "device_client/core/config/config_parser.h"

#include <climits>

namespace config {
namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsLineEnd(char c) { return c == '\r' || c == '\n'; }
char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace

int ScanConfigurationLines(const char* text, int length, const LineHandler& on_line) {
  if (text == nullptr || length < 1) return kParseInvalidArgument;
  const std::size_t n = static_cast<std::size_t>(length);
  std::size_t p = 0;
  while (p < n) {
    if (!IsDigit(text[p])) {
      // Not a configuration line: skip to the next CR or LF and step over that one byte (a CR LF
      // pair thus leaves an empty line, which is skipped the same way).
      while (p < n && !IsLineEnd(text[p])) ++p;
      if (p < n) ++p;
      continue;
    }
    if (n - p < 4) return kParseMalformed;
    for (std::size_t i = 0; i < 4; ++i) {
      if (!IsDigit(text[p + i])) return kParseMalformed;
    }
    const std::string_view key(text + p, 4);
    p += 4;
    // The colon must come on the same line.
    while (p < n && text[p] != ':' && !IsLineEnd(text[p])) ++p;
    if (p >= n || text[p] != ':') return kParseMalformed;
    ++p;
    const std::size_t start = p;
    while (p < n && !IsLineEnd(text[p])) ++p;
    const std::string_view value(text + start, p - start);
    if (on_line) {
      const int rc = on_line(key, value);
      if (rc != 0) return rc;
    }
    if (p < n && text[p] != '\r') ++p;
  }
  return kParseOk;
}

std::string_view TrimBlanks(std::string_view value) {
  std::size_t b = 0;
  std::size_t e = value.size();
  while (b < e && (value[b] == ' ' || value[b] == '\t')) ++b;
  while (e > b && (value[e - 1] == ' ' || value[e - 1] == '\t')) --e;
  return value.substr(b, e - b);
}

bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (Lower(a[i]) != Lower(b[i])) return false;
  }
  return true;
}

std::int32_t ValueToInt(std::string_view value) {
  const std::string_view t = TrimBlanks(value);
  std::size_t i = 0;
  bool negative = false;
  if (i < t.size() && (t[i] == '+' || t[i] == '-')) {
    negative = t[i] == '-';
    ++i;
  }
  long long n = 0;
  for (; i < t.size() && IsDigit(t[i]); ++i) {
    n = n * 10 + (t[i] - '0');
    if (n > static_cast<long long>(INT32_MAX) + 1) {
      n = static_cast<long long>(INT32_MAX) + 1;  // saturate; remaining digits change nothing
    }
  }
  if (negative) n = -n;
  if (n > INT32_MAX) n = INT32_MAX;
  if (n < INT32_MIN) n = INT32_MIN;
  return static_cast<std::int32_t>(n);
}

bool ValueEnable(std::string_view value, std::int32_t& out) {
  const std::string_view t = TrimBlanks(value);
  if (EqualsIgnoreCase(t, "Enable")) {
    out = 1;
    return true;
  }
  if (EqualsIgnoreCase(t, "Disable")) {
    out = 0;
    return true;
  }
  return false;
}

std::int32_t ValueEnable1(std::string_view value) {
  return EqualsIgnoreCase(TrimBlanks(value), "Enable") ? 1 : 0;
}

bool ValueYesNo(std::string_view value, std::int32_t& out) {
  const std::string_view t = TrimBlanks(value);
  if (EqualsIgnoreCase(t, "YES")) {
    out = 1;
    return true;
  }
  if (EqualsIgnoreCase(t, "NO")) {
    out = 0;
    return true;
  }
  return false;
}

std::int32_t ValueYesNoOther(std::string_view value) {
  const std::string_view t = TrimBlanks(value);
  if (EqualsIgnoreCase(t, "YES")) return 1;
  if (EqualsIgnoreCase(t, "NO")) return 0;
  return 2;
}

bool ValueBusy(std::string_view value, std::int32_t& out) {
  const std::string_view t = TrimBlanks(value);
  if (EqualsIgnoreCase(t, "BUSY")) {
    out = 1;
    return true;
  }
  if (EqualsIgnoreCase(t, "ACK&BUSY")) {
    out = 0;
    return true;
  }
  return false;
}

std::int32_t ValueAccess(std::string_view value) {
  const std::string_view t = TrimBlanks(value);
  if (EqualsIgnoreCase(t, "Read Only")) return 0;
  if (EqualsIgnoreCase(t, "Read/Write")) return 1;
  return 2;
}

std::int32_t ValueListMode(std::string_view value) {
  const std::string_view t = TrimBlanks(value);
  if (EqualsIgnoreCase(t, "Enable")) return 1;
  if (EqualsIgnoreCase(t, "Enable_List")) return 2;
  return 0;
}

void ValueHex(std::string_view value, char* dest, std::size_t n) {
  const std::string_view t = TrimBlanks(value).substr(0, n);
  std::size_t i = 0;
  for (; i < t.size(); ++i) dest[i] = t[i];
  for (; i <= n; ++i) dest[i] = '\0';
}

}  // namespace config

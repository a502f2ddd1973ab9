#include "device_client/pjl/pjl_text.h"

#include <algorithm>

#include "platform/ascii.h"

namespace pjl {

const VariableName kVariableTable[kVariableCount] = {
    {"AUTOCONT", 26},
    {"CLEARABLEWARNINGS", 24},
    {"COPIES", 25},
    {"DENSITY", 27},
    {"FORMLINES", 28},
    {"INTRAY1", 0},
    {"INTRAY2", 1},
    {"INTRAY3", 2},
    {"INTRAY1SIZE", 4},
    {"INTRAY2SIZE", 5},
    {"INTRAY3SIZE", 6},
    {"INTRAY4SIZE", 7},
    {"LOWTONER", 8},
    {"MANUALFEED", 9},
    {"MPTRAY", 10},
    {"ORIENTATION", 11},
    {"PAGEPROTECT", 12},
    {"PAPER", 13},
    {"PERSONALITY", 14},
    {"RESOLUTION", 15},
    {"RET", 16},
    {"TIMEOUT", 17},
    {"LPARM:PCL FONTSOURCE", 18},
    {"LPARM:PCL FONTNUMBER", 19},
    {"LPARM:PCL PITCH", 20},
    {"LPARM:PCL PTSIZE", 21},
    {"LPARM:PCL SYMSET", 22},
    {"LPARM:POSTSCRIPT PRTPSERRS", 23},
};

const char* PortToken(int port) {
  switch (port) {
    case kPortP1:
      return "P1";
    case kPortP2:
      return "P2";
    case kPortP3:
      return "P3";
    case kPortSerial:
      return "SP";
    default:
      return nullptr;
  }
}

std::string BidirectionalRequest(int port) {
  const char* token = PortToken(port);
  if (token == nullptr) return {};
  return std::string("9500: ") + token + "0000" + "Am I a bidirectional printer?" + "\n";
}

std::string PassThroughRequest(int port, std::string_view hex) {
  const char* token = PortToken(port);
  if (token == nullptr) return {};
  std::string request = std::string("9601: ") + token + "0000";
  request.append(hex);
  request += '\n';
  return request;
}

std::string FrameInfoVariables() {
  std::string text(kUel);
  text += "@PJL\r\n";
  text += "@PJL INFO VARIABLES\r\n";
  text += kUel;
  return text;
}

std::string FrameDefault(std::string_view name, std::string_view value) {
  std::string text(kUel);
  text += "@PJL\r\n";
  text += "@PJL DEFAULT ";
  text += name;
  text += " = ";
  text += value;
  text += " \r\n@PJL ECHO \"echo\" \r\n";
  text += kUel;
  return text;
}

bool IsAcceptableValue(std::string_view value) {
  if (value.empty() || value.size() > kMaxValueLength) return false;
  for (char c : value) {
    if (platform::IsAsciiControl(c) || c == '"') return false;
  }
  return true;
}

std::string ModelFromDeviceId(std::string_view deviceId) {
  static constexpr std::string_view kKeys[] = {"MODEL:", "model:", "MDL:", "mdl:"};
  for (std::string_view key : kKeys) {
    const std::size_t at = deviceId.find(key);
    if (at == std::string_view::npos) continue;
    std::string_view rest = deviceId.substr(at + key.size());
    return std::string(rest.substr(0, rest.find(';')));
  }
  return {};
}

AnswerText::AnswerText(std::string_view bytes) {
  const std::size_t nul = bytes.find('\0');
  endsAtNul = nul != std::string_view::npos;
  text = bytes.substr(0, endsAtNul ? nul : bytes.size());
}

namespace {

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }

std::string Trimmed(const std::string& s) {
  std::size_t b = 0;
  std::size_t e = s.size();
  while (b < e && IsSpace(s[b])) ++b;
  while (e > b && IsSpace(s[e - 1])) --e;
  return s.substr(b, e - b);
}

bool Contains(std::string_view text, std::string_view word) {
  return text.find(word) != std::string_view::npos;
}

}  // namespace

int ReadVariableEntry(const AnswerText& answer, std::size_t pos, RawEntry& entry,
                      std::size_t& next) {
  const std::string_view t = answer.text;
  entry.line.clear();
  entry.values.clear();
  if (pos == kEnd || pos >= t.size()) {
    next = kEnd;
    return -1;
  }

  // The entry line, up to LF or FF; CRs are dropped.
  std::size_t i = pos;
  while (i < t.size() && t[i] != '\n' && t[i] != '\f') {
    if (t[i] != '\r') entry.line += t[i];
    ++i;
  }
  if (i >= t.size()) {  // the text ended inside the line
    entry.line.clear();
    next = kEnd;
    return -1;
  }
  const bool answerOver = t[i] == '\f';
  ++i;

  entry.line = Trimmed(entry.line);
  const std::size_t eq = entry.line.find('=');
  if (entry.line.empty() || eq == std::string::npos || eq == 0) {
    next = answerOver ? kEnd : i;
    return -1;
  }
  if (answerOver) {
    next = kEnd;
    return 0;
  }

  // The allowed values: the following lines indented by a TAB (the first one may also be
  // indented by blanks).
  bool first = true;
  while (i < t.size()) {
    std::size_t start;
    if (t[i] == '\t') {
      start = i + 1;
    } else if (first && t[i] == ' ') {
      start = i;
      while (start < t.size() && t[start] == ' ') ++start;
    } else {
      break;
    }
    first = false;

    std::string value;
    std::size_t j = start;
    while (j < t.size() && t[j] != '\n' && t[j] != '\f') {
      if (t[j] != '\r') value += t[j];
      ++j;
    }
    if (j >= t.size()) {
      if (!answer.endsAtNul) {  // cut off inside a value line: the entry is lost
        entry.line.clear();
        entry.values.clear();
        next = kEnd;
        return -1;
      }
      // The value line ends at the NUL that ends the answer.
      if (entry.values.size() < kMaxChoices) entry.values.push_back(std::move(value));
      next = kEnd;
      return 0;
    }
    if (entry.values.size() < kMaxChoices) entry.values.push_back(std::move(value));
    if (t[j] == '\f') {
      next = kEnd;
      return 0;
    }
    i = j + 1;
  }
  next = i;
  return 0;
}

int ExtractToken(std::string_view text, std::size_t start, char stop, std::string& token) {
  token.clear();
  for (std::size_t i = start; i < text.size() && text[i] != stop; ++i) token += text[i];
  return 0;
}

int ParseVariableEntries(std::string_view bytes, ParseResult& result) {
  result.variables.clear();
  result.notAvailable = false;
  const AnswerText answer(bytes);
  if (bytes.empty()) return -2;

  RawEntry entry;
  std::size_t pos = 0;
  while (pos != kEnd && pos < answer.text.size()) {
    std::size_t next = kEnd;
    if (ReadVariableEntry(answer, pos, entry, next) != 0) {
      // Remember a printer that says it has no information to give: a line "?" in quotes.
      if (entry.line == "\"?\"") result.notAvailable = true;
      pos = next;
      continue;
    }
    pos = next;

    const std::string& line = entry.line;
    const std::size_t eq = line.find('=');
    ParsedVariable v;
    v.name = line.substr(0, eq);
    // The value runs to the next blank; what follows it ("[2 RANGE]", "READONLY") describes it.
    ExtractToken(line, eq + 1, ' ', v.value);
    const std::string_view attributes = std::string_view(line).substr(eq + 1 + v.value.size());
    v.readOnly = Contains(attributes, "READONLY") ? 1 : 0;
    if (Contains(attributes, "ENUMERATED")) {
      v.valueType = 2;
    } else if (Contains(attributes, "RANGE")) {
      v.valueType = 1;
    } else {
      break;  // a variable of no known kind ends the answer's reading
    }
    const std::size_t lparm = v.name.find("LPARM:");
    if (lparm != std::string::npos) ExtractToken(v.name, lparm + 6, ' ', v.language);
    v.choices = std::move(entry.values);
    entry.values.clear();
    result.variables.push_back(std::move(v));
  }
  return 0;
}

}  // namespace pjl

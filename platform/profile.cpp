// Profile (ini) files.
//
// Reading: the file is read whole on every call (no caching), at most kMaxProfileBytes; a larger or
// unreadable file reads as empty, so every lookup gives its default. Lines end in LF or CRLF; a line
// is taken up to its first NUL byte. After leading blanks a line is
//   "[name]"       a section header (the name runs to the first ']' or the end of the line),
//   ";..."         a comment,
//   "key=value"    a key (key and value trimmed of blanks, one pair of surrounding double or
//                  single quotes stripped from the value),
//   anything else  ignored (kept as it is when the file is written).
// Names are compared ignoring ASCII case. Several sections of one name read as one section in file
// order; of several keys of one name the first wins.
//
// Writing: the whole file is rewritten under an exclusive lock (".<name>.lock" beside it) and
// replaced atomically; every line not concerned is kept byte for byte, new lines take the file's
// line ending (CRLF when its first line ends in CRLF, else LF). A file larger than kMaxProfileBytes
// or one that cannot be read is never written.
#include "platform/profile.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "platform/ascii.h"
#include "platform/atomic_file.h"
#include "platform/paths.h"

namespace {

using platform::AsciiLower;
using platform::EqualsNoCase;

constexpr std::size_t kMaxProfileBytes = 4u * 1024u * 1024u;

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

enum class Kind { kOther, kSection, kKey };

struct Line {
  std::string_view raw;      // the whole line with its line ending, as in the file
  std::string_view ending;   // "\n", "\r\n" or "" for a last line without one
  Kind kind = Kind::kOther;
  std::string_view name;     // section or key name
  std::string_view value;    // key value
  long section = -1;         // index of the header line of the section holding this line
};

// Calls fn(line) for every line of the text in file order; line.section counts lines from 0.
template <typename Fn>
void ForEachLine(std::string_view text, Fn&& fn) {
  long current = -1;
  long index = 0;
  std::size_t pos = 0;
  bool first = true;
  while (pos < text.size()) {
    std::size_t nl = text.find('\n', pos);
    std::size_t end = nl == std::string_view::npos ? text.size() : nl + 1;
    Line line;
    line.raw = text.substr(pos, end - pos);
    std::string_view body = line.raw;
    if (!body.empty() && body.back() == '\n') {
      body.remove_suffix(1);
      line.ending = line.raw.substr(body.size());
      if (!body.empty() && body.back() == '\r') {
        body.remove_suffix(1);
        line.ending = line.raw.substr(body.size());
      }
    }
    if (std::size_t nul = body.find('\0'); nul != std::string_view::npos) body = body.substr(0, nul);
    if (first && body.substr(0, 3) == "\xEF\xBB\xBF") body.remove_prefix(3);  // UTF-8 byte order mark
    first = false;
    std::string_view t = Trim(body);
    if (!t.empty() && t.front() == '[') {
      t.remove_prefix(1);
      std::size_t close = t.find(']');
      line.kind = Kind::kSection;
      line.name = Trim(t.substr(0, close));
      current = index;
    } else if (!t.empty() && t.front() != ';') {
      std::size_t eq = t.find('=');
      if (eq != std::string_view::npos) {
        line.kind = Kind::kKey;
        line.name = Trim(t.substr(0, eq));
        std::string_view v = Trim(t.substr(eq + 1));
        if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front()) {
          v = v.substr(1, v.size() - 2);
        }
        line.value = v;
      }
    }
    line.section = current;
    fn(static_cast<const Line&>(line));
    ++index;
    pos = end;
  }
}

std::vector<Line> Parse(std::string_view text) {
  std::vector<Line> lines;
  ForEachLine(text, [&](const Line& line) { lines.push_back(line); });
  return lines;
}

bool InSection(const std::vector<Line>& lines, const Line& line, std::string_view section) {
  return line.section >= 0 && EqualsNoCase(lines[static_cast<std::size_t>(line.section)].name, section);
}

std::string ResolvePath(const char* fileName) {
  std::string name = fileName != nullptr ? fileName : "win.ini";
  if (name.find('/') != std::string::npos) return name;
  return platform::JoinPath(platform::WindowsDirectory(), name);
}

// The file's text, or empty when it is missing, too large or unreadable.
std::string LoadForReading(const char* fileName) {
  std::string text;
  if (platform::fileio::ReadWholeFile(ResolvePath(fileName), kMaxProfileBytes, &text) !=
      platform::fileio::ReadResult::kOk) {
    text.clear();
  }
  return text;
}

// Reading walks the text once and keeps no line table, so its cost stays linear in the file's
// size whatever the file holds.
std::optional<std::string_view> FindValue(std::string_view text, std::string_view section,
                                          std::string_view key) {
  std::optional<std::string_view> found;
  bool inSection = false;
  ForEachLine(text, [&](const Line& line) {
    if (found) return;
    if (line.kind == Kind::kSection) {
      inSection = EqualsNoCase(line.name, section);
    } else if (inSection && line.kind == Kind::kKey && EqualsNoCase(line.name, key)) {
      found = line.value;
    }
  });
  return found;
}

DWORD CopyString(std::string_view s, char* buf, DWORD size) {
  if (buf == nullptr || size == 0) return 0;
  std::size_t n = std::min<std::size_t>(s.size(), size - 1);
  if (n != 0) std::memcpy(buf, s.data(), n);
  buf[n] = '\0';
  return static_cast<DWORD>(n);
}

// Win32 list form: each name NUL-terminated, one more NUL at the end. When the room runs out the
// last name is cut, followed by two NULs, and the result is size - 2.
DWORD CopyList(const std::vector<std::string_view>& items, char* buf, DWORD size) {
  if (buf == nullptr || size == 0) return 0;
  if (size == 1) {
    buf[0] = '\0';
    return 0;
  }
  std::size_t room = size;
  std::size_t pos = 0;
  for (std::string_view item : items) {
    if (pos + item.size() + 1 > room - 1) {
      if (pos < room - 2) std::memcpy(buf + pos, item.data(), room - 2 - pos);
      buf[room - 2] = '\0';
      buf[room - 1] = '\0';
      return static_cast<DWORD>(room - 2);
    }
    std::memcpy(buf + pos, item.data(), item.size());
    pos += item.size();
    buf[pos++] = '\0';
  }
  buf[pos] = '\0';
  if (pos == 0) buf[1] = '\0';
  return static_cast<DWORD>(pos);
}

// Names in order of first appearance, each once (compared ignoring case); a hash of the lower-case
// names keeps a file of many names from costing quadratic time.
class DistinctNames {
 public:
  void Add(std::string_view name) {
    if (name.empty()) return;  // an empty name would end the list early
    std::string lower(name);
    for (char& c : lower) c = AsciiLower(c);
    if (seen_.insert(std::move(lower)).second) names_.push_back(name);
  }
  const std::vector<std::string_view>& names() const { return names_; }

 private:
  std::vector<std::string_view> names_;
  std::unordered_set<std::string> seen_;
};

bool ValidSection(std::string_view s) {
  return !s.empty() && !platform::HasAsciiControl(s) && s.find(']') == std::string_view::npos;
}

bool ValidKey(std::string_view k) {
  return !k.empty() && !platform::HasAsciiControl(k) && k.find('=') == std::string_view::npos && k.front() != '[' &&
         k.front() != ';';
}

DWORD StringFromText(std::string_view text, const char* section, const char* key, const char* defaultValue,
                     char* buf, DWORD size) {
  if (buf == nullptr || size == 0) return 0;
  if (section == nullptr) {
    DistinctNames names;
    ForEachLine(text, [&](const Line& line) {
      if (line.kind == Kind::kSection) names.Add(line.name);
    });
    return CopyList(names.names(), buf, size);
  }
  std::string_view sec = Trim(section);
  if (key == nullptr) {
    DistinctNames names;
    bool inSection = false;
    ForEachLine(text, [&](const Line& line) {
      if (line.kind == Kind::kSection) inSection = EqualsNoCase(line.name, sec);
      if (line.kind == Kind::kKey && inSection) names.Add(line.name);
    });
    return CopyList(names.names(), buf, size);
  }
  if (std::optional<std::string_view> v = FindValue(text, sec, Trim(key))) {
    return CopyString(*v, buf, size);
  }
  std::string_view def = defaultValue != nullptr ? std::string_view(defaultValue) : std::string_view();
  while (!def.empty() && (def.back() == ' ' || def.back() == '\t')) def.remove_suffix(1);
  return CopyString(def, buf, size);
}

int IntFromText(std::string_view text, const char* section, const char* key, int defaultValue) {
  if (section == nullptr || key == nullptr) return defaultValue;
  std::optional<std::string_view> v = FindValue(text, Trim(section), Trim(key));
  if (!v || v->empty()) return defaultValue;
  std::string_view s = *v;
  std::size_t i = 0;
  bool negative = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
  long long n = 0;
  for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) {
    if (n <= static_cast<long long>(INT_MAX) + 1) n = n * 10 + (s[i] - '0');
  }
  if (negative) n = -n;
  if (n > INT_MAX) return INT_MAX;
  if (n < INT_MIN) return INT_MIN;
  return static_cast<int>(n);
}

}  // namespace

DWORD GetPrivateProfileString(const char* section, const char* key, const char* defaultValue,
                              char* buf, DWORD size, const char* fileName) {
  if (buf == nullptr || size == 0) return 0;
  return StringFromText(LoadForReading(fileName), section, key, defaultValue, buf, size);
}

int GetPrivateProfileInt(const char* section, const char* key, int defaultValue, const char* fileName) {
  if (section == nullptr || key == nullptr) return defaultValue;
  return IntFromText(LoadForReading(fileName), section, key, defaultValue);
}

namespace platform {

ProfileFile::ProfileFile(const char* fileName) : text_(LoadForReading(fileName)) {}

DWORD ProfileFile::GetString(const char* section, const char* key, const char* defaultValue, char* buf,
                             DWORD size) const {
  return StringFromText(text_, section, key, defaultValue, buf, size);
}

int ProfileFile::GetInt(const char* section, const char* key, int defaultValue) const {
  return IntFromText(text_, section, key, defaultValue);
}

}  // namespace platform

BOOL WritePrivateProfileString(const char* section, const char* key, const char* value,
                               const char* fileName) {
  // All three null only asks to flush a cache; there is none.
  if (section == nullptr) return key == nullptr && value == nullptr ? TRUE : FALSE;
  auto fail = [](DWORD error) {
    SetLastError(error);
    return FALSE;
  };
  if (fileName == nullptr) return fail(ERROR_INVALID_PARAMETER);
  std::string_view sec = Trim(section);
  if (!ValidSection(sec)) return fail(ERROR_INVALID_PARAMETER);
  std::string_view k = key != nullptr ? Trim(key) : std::string_view();
  if (key != nullptr && !ValidKey(k)) return fail(ERROR_INVALID_PARAMETER);
  std::string_view val = value != nullptr ? std::string_view(value) : std::string_view();
  if (platform::HasAsciiControl(val)) return fail(ERROR_INVALID_PARAMETER);

  // A file that is a symbolic link is written where the link leads (the link stays), and the lock
  // is taken beside that file, so that writers through any of its names keep to one another.
  std::string path = platform::fileio::WriteTarget(ResolvePath(fileName));
  std::size_t slash = path.rfind('/');
  std::string lockPath = path.substr(0, slash + 1) + "." + path.substr(slash + 1) + ".lock";
  platform::fileio::LockFile lock(lockPath);
  if (!lock.locked()) return fail(ERROR_WRITE_FAULT);

  std::string text;
  platform::fileio::ReadResult rr = platform::fileio::ReadWholeFile(path, kMaxProfileBytes, &text);
  if (rr == platform::fileio::ReadResult::kTooLarge || rr == platform::fileio::ReadResult::kError) {
    return fail(ERROR_WRITE_FAULT);
  }
  std::vector<Line> lines = Parse(text);
  std::string nl = !lines.empty() && lines.front().ending == "\r\n" ? "\r\n" : "\n";

  std::string out;
  out.reserve(text.size() + sec.size() + k.size() + val.size() + 8);
  auto appendLine = [&](const Line& line) {
    out.append(line.raw);
    if (line.ending.empty() && !line.raw.empty()) out.append(nl);  // a last line without ending
  };

  if (key == nullptr || value == nullptr) {
    // Delete the key (or the whole section) in every section of that name.
    for (const Line& line : lines) {
      bool inSec = InSection(lines, line, sec);
      bool drop = key == nullptr ? inSec : (inSec && line.kind == Kind::kKey && EqualsNoCase(line.name, k));
      if (!drop) out.append(line.raw);
    }
  } else {
    std::string newLine;
    const Line* existing = nullptr;
    for (const Line& line : lines) {
      if (line.kind == Kind::kKey && EqualsNoCase(line.name, k) && InSection(lines, line, sec)) {
        existing = &line;
        break;
      }
    }
    if (existing != nullptr) {
      for (const Line& line : lines) {
        if (&line == existing) {
          out.append(line.name).append("=").append(val);
          out.append(line.ending.empty() ? std::string_view(nl) : line.ending);
        } else {
          out.append(line.raw);
        }
      }
    } else {
      // Into the first section of that name, after its last key (or right after its header).
      long header = -1;
      for (std::size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].kind == Kind::kSection && EqualsNoCase(lines[i].name, sec)) {
          header = static_cast<long>(i);
          break;
        }
      }
      std::string entry = std::string(k) + "=" + std::string(val) + nl;
      if (header >= 0) {
        std::size_t after = static_cast<std::size_t>(header);
        for (std::size_t i = after + 1; i < lines.size() && lines[i].section == header; ++i) {
          if (lines[i].kind == Kind::kKey) after = i;
        }
        for (std::size_t i = 0; i < lines.size(); ++i) {
          if (i == after) {
            appendLine(lines[i]);
            out.append(entry);
          } else {
            out.append(lines[i].raw);
          }
        }
      } else {
        out.append(text);
        if (!lines.empty() && lines.back().ending.empty()) out.append(nl);
        out.append("[").append(sec).append("]").append(nl).append(entry);
      }
    }
  }

  if (rr == platform::fileio::ReadResult::kOk && out == text) return TRUE;  // nothing to change
  if (rr == platform::fileio::ReadResult::kMissing && out.empty()) return TRUE;
  switch (platform::fileio::ReplaceFile(path, out)) {
    case platform::fileio::ReplaceResult::kOk:
      return TRUE;
    case platform::fileio::ReplaceResult::kReadOnly:
      return fail(static_cast<DWORD>(ERROR_FILE_READ_ONLY));
    default:
      return fail(ERROR_WRITE_FAULT);
  }
}

#include "console_pages/wireless_text.h"

#include <algorithm>
#include <cctype>

namespace wireless_text {
namespace {

// The value of `tag` in a link status text: from after its first occurrence to the first ";".
bool TagValue(const std::string& text, const char* tag, std::string& value) {
  const std::size_t at = text.find(tag);
  if (at == std::string::npos) return false;
  const std::size_t start = at + std::char_traits<char>::length(tag);
  const std::size_t end = text.find(';', start);
  value = end == std::string::npos ? std::string() : text.substr(start, end - start);
  return true;
}

// The number after "(" up to "%" in a quality or strength value; `percent` stays without "(".
void ReadPercent(const std::string& value, int& percent) {
  const std::size_t open = value.find('(');
  if (open == std::string::npos) return;
  const std::size_t sign = value.find('%', open + 1);
  if (sign == std::string::npos) {
    percent = 0;
    return;
  }
  std::size_t i = open + 1;
  while (i < sign && value[i] == ' ') ++i;
  int n = 0;
  for (; i < sign && std::isdigit(static_cast<unsigned char>(value[i])) != 0; ++i) {
    n = std::min(n * 10 + (value[i] - '0'), 1000);
  }
  percent = std::min(n, 100);
}

// The decimal value of a text as atoi reads it (blanks, a sign, digits), bounded.
int DecimalOf(const std::string& text) {
  std::size_t i = 0;
  while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i])) != 0) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  long n = 0;
  for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])) != 0; ++i) {
    n = std::min(n * 10 + (text[i] - '0'), 1000000L);
  }
  return static_cast<int>(negative ? -n : n);
}

struct Domain {
  int code;
  const char* name;
  int first;
  int last;
};
constexpr Domain kDomains[] = {
    {10, "USA", 1, 11},       {20, "Canada", 1, 11}, {30, "Most of Europe, Australia", 1, 13},
    {31, "Spain", 10, 11},    {32, "France", 10, 13}, {40, "Japan", 14, 14},
    {41, "Japan (All)", 1, 14},
};
constexpr Domain kUnknownDomain = {0, "Unknown", 1, 14};

const Domain& DomainOf(int code) {
  for (const Domain& d : kDomains) {
    if (d.code == code) return d;
  }
  return kUnknownDomain;
}

void AddChannels(int code, DomainChannels& out) {
  const Domain& d = DomainOf(code);
  for (int ch = d.first; ch <= d.last; ++ch) {
    const std::string text = std::to_string(ch);
    const bool listed = std::find(out.channels.begin(), out.channels.end(), text) != out.channels.end();
    // Japan's one channel is added as it stands.
    if (!listed || code == 40) out.channels.push_back(text);
  }
}

std::string Upper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

}  // namespace

void ApplyLinkStatus(const std::string& text, LinkStatus& status) {
  TagValue(text, "STATE:", status.state);
  TagValue(text, "CHANNEL:", status.channel);
  TagValue(text, "TXRATE:", status.txRate);
  TagValue(text, "TX:", status.tx);
  TagValue(text, "RX:", status.rx);
  if (TagValue(text, "QUALITY:", status.quality)) ReadPercent(status.quality, status.qualityPercent);
  if (TagValue(text, "STRENGTH:", status.strength)) ReadPercent(status.strength, status.strengthPercent);
}

std::array<int, 3> ParseDomainList(const std::string& list) {
  std::array<int, 3> codes{};
  std::string rest = list;
  for (int& code : codes) {
    const std::size_t comma = rest.find(',');
    if (comma == std::string::npos) {
      code = DecimalOf(rest);
      rest = "0";
    } else {
      code = DecimalOf(rest.substr(0, comma));
      rest.erase(0, comma + 1);
    }
  }
  return codes;
}

const char* DomainName(int code) { return DomainOf(code).name; }

DomainChannels ChannelsOfDomains(const std::array<int, 3>& codes) {
  DomainChannels out;
  out.names = DomainName(codes[0]);
  AddChannels(codes[0], out);
  if (codes[1] != 0) {
    out.names += "/";
    out.names += DomainName(codes[1]);
    AddChannels(codes[1], out);
    if (codes[2] != 0) {
      out.names += "/";
      out.names += DomainName(codes[2]);
      AddChannels(codes[2], out);
    }
  }
  return out;
}

std::string DefaultStationName(const std::string& defaultName, const std::string& vendorPrefix) {
  const std::string prefix = vendorPrefix.substr(0, 6);
  const std::string tail = defaultName.size() > 6 ? defaultName.substr(defaultName.size() - 6) : defaultName;
  return Upper(prefix + tail);
}

std::string FormatStationName(const std::string& text, const std::string& separator) {
  if (text.empty()) return {};
  std::string out = text.substr(0, 2);
  for (std::size_t k = 2; k <= 6; ++k) {
    const std::size_t end = std::min(2 * k, text.size());
    const std::size_t start = end >= 2 ? end - 2 : 0;
    out += separator;
    out += text.substr(start, end - start);
  }
  return Upper(out);
}

bool FilterKeyText(std::string& text) {
  const std::size_t before = text.size();
  text.erase(std::remove_if(text.begin(), text.end(),
                            [](char c) {
                              return !(std::isxdigit(static_cast<unsigned char>(c)) != 0 || c == ':' ||
                                       c == '-');
                            }),
             text.end());
  return text.size() == before;
}

void PadKeyByte(std::string& text) {
  if (text.empty()) text = "00";
  else if (text.size() == 1) text.insert(text.begin(), '0');
}

WepKeys JoinWepKeys(const std::array<std::string, kKeyByteEdits>& bytes, int keyLength) {
  auto join = [&](int from, int to) {
    std::string key;
    for (int i = from; i <= to; ++i) {
      std::string b = bytes[static_cast<std::size_t>(i)];
      PadKeyByte(b);
      key += b;
    }
    return key;
  };
  WepKeys keys;
  if (keyLength == kLongKeyLength) {
    keys.key1 = join(0, 12).substr(0, 2 * kLongKeyLength);
  } else {
    keys.key1 = join(0, 4).substr(0, 2 * kShortKeyLength);
    keys.key2 = join(5, 9).substr(0, 2 * kShortKeyLength);
    keys.key3 = join(10, 14).substr(0, 2 * kShortKeyLength);
    keys.key4 = join(15, 19).substr(0, 2 * kShortKeyLength);
  }
  return keys;
}

void AppendHexBytes(const unsigned char* bytes, std::size_t count, std::string& out) {
  static const char kDigits[] = "0123456789ABCDEF";
  out.clear();
  if (bytes == nullptr) return;
  for (std::size_t i = 0; i < count; ++i) {
    out += kDigits[bytes[i] >> 4];
    out += kDigits[bytes[i] & 0x0F];
  }
}

}  // namespace wireless_text

// ASCII rules that hold whatever the locale.
// Names that compare without regard to case (profile sections and keys, registry keys and values,
// option words): only the ASCII letters are folded, every other byte compares as it is.
// Control characters: the bytes below 0x20 (CR, LF, tab and NUL among them) and DEL (0x7F); bytes
// from 0x80 up are not control characters here, a caller that refuses them too says so itself.
#pragma once
#include <cstddef>
#include <string_view>

namespace platform {

constexpr char AsciiLower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

constexpr bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  }
  return true;
}

constexpr bool IsAsciiControl(char c) {
  const auto u = static_cast<unsigned char>(c);
  return u < 0x20 || u == 0x7F;
}

constexpr bool HasAsciiControl(std::string_view text) {
  for (char c : text) {
    if (IsAsciiControl(c)) return true;
  }
  return false;
}

}  // namespace platform

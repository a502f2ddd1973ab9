#include "console_pages/port_name_check.h"

#include "platform/ascii.h"

namespace port_names {

NameCheck CheckPhysicalPortName(const std::string& name, const std::vector<std::string>& otherNames) {
  if (name.find_first_not_of(' ') == std::string::npos) return NameCheck::kEmpty;
  for (char ch : name) {
    // Printable ASCII only (no control characters, no bytes from 0x80 up), and no parentheses.
    if (platform::IsAsciiControl(ch) || static_cast<unsigned char>(ch) >= 0x80 || ch == '(' || ch == ')')
      return NameCheck::kBadCharacter;
  }
  if (name.front() == ' ' || name.back() == ' ') return NameCheck::kBadCharacter;
  for (const std::string& other : otherNames) {
    if (platform::EqualsNoCase(name, other)) return NameCheck::kDuplicate;
  }
  return NameCheck::kOk;
}

int NameCheckMessage(NameCheck check) {
  switch (check) {
    case NameCheck::kOk: return 0;
    case NameCheck::kEmpty: return IDS_NEED_INPUT_DATA;
    case NameCheck::kBadCharacter:
    case NameCheck::kDuplicate: return IDS_ILLEGAL_INPUT_DATA;
  }
  return IDS_ILLEGAL_INPUT_DATA;
}

}  // namespace port_names

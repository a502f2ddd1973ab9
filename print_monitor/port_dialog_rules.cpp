#include "print_monitor/port_dialog_rules.h"

#include <cstdio>
#include <cstdlib>

#include "print_monitor/monitor.h"

namespace brandel {

BoxLayout LayoutOfBoxType(std::uint8_t boxType) {
  return BoxLayout{boxType & 3, (boxType >> 2) & 3, boxType > 15 ? 1 : 0};
}

std::string PortLabelFromIndex(int index, std::uint8_t boxType) {
  const BoxLayout b = LayoutOfBoxType(boxType);
  if (index < 0) return {};
  if (index < b.parallel) return "Parallel " + std::to_string(index + 1);
  if (index < b.parallel + b.usb) return "USB " + std::to_string(index - b.parallel + 1);
  if (index == b.parallel + b.usb && b.serial) return "Serial";
  return "Logical Port " + std::to_string(index - b.parallel - b.usb - b.serial + 1);
}

int PortIndexFromLabel(const std::string& label, std::uint8_t boxType) {
  const BoxLayout b = LayoutOfBoxType(boxType);
  auto number = [&label](const char* prefix) -> int {
    const std::string p = prefix;
    if (label.compare(0, p.size(), p) != 0) return -1;
    const std::string digits = label.substr(p.size());
    if (digits.empty() || digits.size() > 2 || digits.find_first_not_of("0123456789") != std::string::npos) return -1;
    return std::atoi(digits.c_str());
  };
  if (label == "Serial") return b.serial ? b.parallel + b.usb : -1;
  if (int n = number("Parallel "); n >= 0) return n >= 1 && n <= b.parallel ? n - 1 : -1;
  if (int n = number("USB "); n >= 0) return n >= 1 && n <= b.usb ? b.parallel + n - 1 : -1;
  if (int n = number("Logical Port "); n >= 0) {
    const int count = b.parallel + b.usb == 1 ? 3 : 8;
    return n >= 1 && n <= count ? b.parallel + b.usb + b.serial + n - 1 : -1;
  }
  return -1;
}

std::vector<std::string> OutputSelectLines(std::uint8_t boxType, std::uint16_t onlineMask) {
  const BoxLayout b = LayoutOfBoxType(boxType);
  std::vector<std::string> lines;
  for (int i = 0; i < b.parallel + b.usb; ++i) {
    const bool online = (onlineMask >> i) & 1;
    lines.push_back(PortLabelFromIndex(i, boxType) + (online ? "     ON-Line" : "     OFF-Line"));
  }
  if (b.serial) lines.emplace_back("Serial");
  const int logical = b.parallel + b.usb == 1 ? 3 : 8;
  for (int n = 1; n <= logical; ++n) lines.push_back("Logical Port " + std::to_string(n));
  return lines;
}

std::string SuggestedPortName(const std::string& deviceName, const std::string& label) {
  std::string suffix = "_PN";
  if (label == "Parallel 1") suffix = "_P1";
  else if (label == "Parallel 2") suffix = "_P2";
  else if (label == "Parallel 3") suffix = "_P3";
  return deviceName.substr(0, 8) + suffix;
}

int CheckTypedPortName(const std::string& name) {
  if (name.empty()) return 717;
  std::string body = name;
  if (body.back() == ':') body.pop_back();
  if (body.find(' ') != std::string::npos || !IsValidPortName(name.c_str())) return 501;
  return 0;
}

bool DecodeBoxTypeReply(const std::uint8_t* reply, std::size_t length, std::uint8_t* boxType, long* number) {
  if (reply == nullptr || length < 57) return false;
  *boxType = static_cast<std::uint8_t>((reply[15] >> 6) | ((reply[16] >> 6) << 2));
  // The two bytes read as hexadecimal digits and taken back as a decimal number: BCD shows as is.
  char digits[8];
  std::snprintf(digits, sizeof digits, "%02X%02X", reply[55], reply[56]);
  *number = std::strtol(digits, nullptr, 10);
  return true;
}

}  // namespace brandel

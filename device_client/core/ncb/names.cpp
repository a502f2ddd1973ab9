#include "device_client/core/ncb/names.h"

#include <cstring>

namespace core {

void FormatLocalName(const char* computerName, int n, char (&out)[17], std::uint8_t suffixBase) {
  std::size_t len = computerName != nullptr ? strnlen(computerName, 14) : 0;
  std::memset(out, ' ', 15);
  if (len > 0) std::memcpy(out, computerName, len);
  out[len] = static_cast<char>(suffixBase + (n & 0x3F));
  out[15] = '\0';
  out[16] = '\0';
}

void FormatDeviceName(const char* name, char (&out)[17]) {
  char copy[16] = {};
  const char* source = name != nullptr ? name : out;
  std::size_t len = strnlen(source, 15);
  std::memcpy(copy, source, len);
  std::memset(out, wire::kDeviceNamePad, 15);
  std::memcpy(out, copy, len);
  out[15] = static_cast<char>(wire::kDeviceNameSuffix);
  out[16] = '\0';
}

}  // namespace core

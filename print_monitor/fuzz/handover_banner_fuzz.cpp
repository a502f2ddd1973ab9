// Hand-over records as the registry may hold them (any bytes up to the 80 the monitor reads), and
// any user name drawn on the banner page.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "print_monitor/monitor.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  char text[81] = {};
  std::memcpy(text, data, size < 80 ? size : 80);
  std::string port;
  brandel::PortRegistryData record;
  if (brandel::ParseHandOverRecord(text, port, record)) {
    if (!brandel::IsValidPortName(port.c_str()) || std::strlen(record.szDeviceName) > 15) __builtin_trap();
  }
  char banner[brandel::kBannerSize];
  char name[brandel::kMaxUserName + 1] = {};
  std::memcpy(name, data, size < brandel::kMaxUserName ? size : brandel::kMaxUserName);
  const std::size_t n = brandel::BuildBanner(size > 0 && (data[0] & 1) != 0, name, banner);
  if (n > brandel::kBannerSize) __builtin_trap();
  return 0;
}

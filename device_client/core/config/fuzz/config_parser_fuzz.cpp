// Feeds arbitrary bytes to the configuration text reader, through the console's table and through
// the bare line scanner, and builds the text back from what was read.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "device_client/core/config/config_builder.h"
#include "device_client/core/config/config_parser.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > 1 << 16) return 0;
  // An exact-size copy, so any read past the length is caught.
  std::vector<char> text(data, data + size);
  const int length = static_cast<int>(size);

  config::DeviceConfigurationData d;
  config::ClearConfiguration(d);
  std::size_t logged = 0;
  config::ParseConfiguration(text.data(), length, &d,
                             [&](const std::string& line) { logged += line.size(); });

  config::ScanConfigurationLines(text.data(), length, [](std::string_view key, std::string_view) {
    return key.size() == 4 ? 0 : 1;
  });

  config::AllConfigurationData all;
  all.dsSystem = d.dsSystem;
  all.dsNetware = d.dsNetware;
  all.dsTCPIP = d.dsTCPIP;
  all.dsAPPLETALK = d.dsAPPLETALK;
  all.dsNetBEUI = d.dsNetBEUI;
  all.dsWireless = d.dsWireless;
  for (int i = 0; i < config::kLogicalPrinterCount; ++i) all.dsLogicalPrinter[i] = d.dsLogicalPrinter[i];
  for (int i = 0; i < config::kPhysicalPortCount; ++i) all.dsPhysicalPort[i] = d.dsPhysicalPort[i];
  config::ProtocolData caps;
  caps.bWirelessDevice = caps.bIPXSPXProtocol = caps.bTCPIPProtocol = 1;
  caps.bAPPLETALKProtocol = caps.bNetBEUIProtocol = 1;
  std::string out;
  if (config::BuildAllConfigurationText(all, caps, out) == config::kBuildOk) {
    // Whatever is built carries no control characters besides the line ends.
    for (char c : out) {
      const auto u = static_cast<unsigned char>(c);
      if ((u < 0x20 && c != '\n') || u == 0x7F) __builtin_trap();
    }
  }
  return 0;
}

// Any bytes as a box's link status text, as its list of regulatory domains, as a default name and
// vendor prefix for the station name and as key-byte texts.
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "console_pages/wireless_text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  wireless_text::LinkStatus status;
  wireless_text::ApplyLinkStatus(text, status);
  if (status.qualityPercent < 0 || status.qualityPercent > 100) __builtin_trap();
  if (status.strengthPercent < 0 || status.strengthPercent > 100) __builtin_trap();
  const wireless_text::DomainChannels channels = wireless_text::ChannelsOfDomains(wireless_text::ParseDomainList(text));
  if (channels.channels.empty()) __builtin_trap();
  const std::size_t half = size / 2;
  const std::string station =
      wireless_text::FormatStationName(wireless_text::DefaultStationName(text.substr(0, half), text.substr(half)), "-");
  if (station.size() > 17) __builtin_trap();
  std::array<std::string, wireless_text::kKeyByteEdits> bytes;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    bytes[i] = text.substr(std::min(size, i * 2), 2);
    wireless_text::FilterKeyText(bytes[i]);
  }
  for (int length : {5, 13}) {
    const wireless_text::WepKeys keys = wireless_text::JoinWepKeys(bytes, length);
    if (keys.key1.size() > 26 || keys.key2.size() > 10) __builtin_trap();
  }
  std::string hex;
  wireless_text::AppendHexBytes(data, size, hex);
  return 0;
}

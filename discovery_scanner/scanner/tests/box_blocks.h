// The device-information block a box answers discovery with, for the route tests.
#pragma once
#include <array>
#include <cstdint>
#include <string>

#include "device_client/core/wire_layout.h"
#include "tools/box_emulator/box_core.h"

namespace lumeth {

// A block of a box with hardware address ending in `serial`, without a TCP side.
inline std::array<std::uint8_t, wire::pid::kSize> BlockFor(std::uint32_t serial, const std::string& deviceName) {
  box_emulator::BoxIdentity identity;
  identity.hardwareAddress = {0x00, 0x40, 0x01, static_cast<std::uint8_t>(serial >> 16),
                              static_cast<std::uint8_t>(serial >> 8), static_cast<std::uint8_t>(serial)};
  box_emulator::BoxCore core(identity, "127.0.0.1");
  core.Set("0001", deviceName);
  return core.DeviceInfoBlock();
}

}  // namespace lumeth

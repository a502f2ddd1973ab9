// The set-address datagram of an emulated box (UDP, discovery port 34443):
//   '`' (0x60), 0, uint16 LE 18, the 6-byte hardware address, three IPv4 addresses in network
//   order (the third is the box's new address), '\n' — 23 bytes.
// The box whose hardware address it names takes the third address at once (a loopback address
// moves its TCP side there) and answers with a 5-byte reply header (error byte 0, no data).
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace box_emulator {

class Box;

constexpr std::uint8_t kSetAddressMarker = 0x60;
constexpr std::size_t kSetAddressSize = 23;

struct SetAddressRequest {
  std::array<std::uint8_t, 6> hardwareAddress{};
  std::string first, second, third;  // dotted texts
};

// The request a datagram carries, or nothing for any other datagram.
std::optional<SetAddressRequest> ParseSetAddressDatagram(const std::uint8_t* data, std::size_t size);

// Whether the request names the box's hardware address.
bool SetAddressNames(const Box& box, const SetAddressRequest& request);

// Applies the request to the box when its hardware address matches: true (it took the address).
bool ApplySetAddress(Box& box, const SetAddressRequest& request);

// The answer a box sends: the reply header with the error byte (0: the box took the address) and
// length 0.
std::string SetAddressAnswer(std::uint8_t error = 0);

}  // namespace box_emulator

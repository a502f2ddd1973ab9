#include "tools/box_emulator/set_address.h"

#include <arpa/inet.h>

#include <algorithm>
#include <cstring>

#include "tools/box_emulator/box_emulator.h"
#include "tools/box_emulator/framing.h"

namespace box_emulator {
namespace {

std::string Dotted(const std::uint8_t* bytes) {
  char text[INET_ADDRSTRLEN] = {};
  ::inet_ntop(AF_INET, bytes, text, sizeof text);
  return text;
}

}  // namespace

std::optional<SetAddressRequest> ParseSetAddressDatagram(const std::uint8_t* data, std::size_t size) {
  if (data == nullptr || size != kSetAddressSize || data[0] != kSetAddressMarker || data[1] != 0 ||
      data[2] != 18 || data[3] != 0 || data[22] != '\n') {
    return std::nullopt;
  }
  SetAddressRequest request;
  std::copy(data + 4, data + 10, request.hardwareAddress.begin());
  request.first = Dotted(data + 10);
  request.second = Dotted(data + 14);
  request.third = Dotted(data + 18);
  return request;
}

bool SetAddressNames(const Box& box, const SetAddressRequest& request) {
  const auto block = box.DeviceInfoBlock();
  return std::equal(request.hardwareAddress.begin(), request.hardwareAddress.end(), block.begin() + 12);
}

bool ApplySetAddress(Box& box, const SetAddressRequest& request) {
  if (!SetAddressNames(box, request)) return false;
  box.SetSetting("4000", request.third);
  // The new address takes effect at once: the box's network side starts again on it.
  box.SwitchOff();
  box.SwitchOn();
  return true;
}

std::string SetAddressAnswer(std::uint8_t error) {
  return EncodeReplyHeader(ReplyHeader::kStream, false, error, 0);
}

}  // namespace box_emulator

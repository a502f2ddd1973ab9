#include "platform/ipx/ipx_wire.h"

#include <cstring>

namespace platform::ipx {

namespace {

void Put16(std::uint8_t* p, std::uint16_t v) {
  p[0] = static_cast<std::uint8_t>(v >> 8);
  p[1] = static_cast<std::uint8_t>(v & 0xFF);
}

std::uint16_t Get16(const std::uint8_t* p) {
  return static_cast<std::uint16_t>((p[0] << 8) | p[1]);
}

}  // namespace

void EncodeHeader(const Header& h, std::uint8_t* out) {
  Put16(out + 0, h.checksum);
  Put16(out + 2, h.length);
  out[4] = h.transportControl;
  out[5] = h.packetType;
  std::memcpy(out + 6, h.dstNet, 4);
  std::memcpy(out + 10, h.dstNode, 6);
  Put16(out + 16, h.dstSocket);
  std::memcpy(out + 18, h.srcNet, 4);
  std::memcpy(out + 22, h.srcNode, 6);
  Put16(out + 28, h.srcSocket);
}

bool DecodeHeader(const std::uint8_t* d, std::size_t size, Header& h, std::size_t& dataLength) {
  if (d == nullptr || size < kHeaderSize) return false;
  const std::uint16_t length = Get16(d + 2);
  if (length < kHeaderSize || length > size || length > kHeaderSize + kMaxData) return false;
  h.checksum = Get16(d + 0);
  h.length = length;
  h.transportControl = d[4];
  h.packetType = d[5];
  std::memcpy(h.dstNet, d + 6, 4);
  std::memcpy(h.dstNode, d + 10, 6);
  h.dstSocket = Get16(d + 16);
  std::memcpy(h.srcNet, d + 18, 4);
  std::memcpy(h.srcNode, d + 22, 6);
  h.srcSocket = Get16(d + 28);
  dataLength = length - kHeaderSize;
  return true;
}

bool IsBroadcastNode(const std::uint8_t* node) {
  for (int i = 0; i < 6; ++i) {
    if (node[i] != 0xFF) return false;
  }
  return true;
}

bool Accepts(const Header& h, std::uint16_t socketNumber, const std::uint8_t* ownNode) {
  if (socketNumber == 0 || h.dstSocket != socketNumber) return false;
  if (ownNode == nullptr || IsBroadcastNode(h.dstNode)) return true;
  return std::memcmp(h.dstNode, ownNode, 6) == 0;
}

}  // namespace platform::ipx

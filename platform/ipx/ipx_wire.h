// The IPX header as it travels in front of each datagram's data inside a UDP datagram, and the
// check that decides whether a received datagram is delivered to a socket. Pure functions over
// bytes, shared by the socket layer and its fuzz target.
#pragma once
#include <cstddef>
#include <cstdint>

namespace platform::ipx {

// Header fields in host order; addresses in wire order.
struct Header {
  std::uint16_t checksum = 0xFFFF;  // always FFFF: no checksum
  std::uint16_t length = 0;         // header + data
  std::uint8_t transportControl = 0;
  std::uint8_t packetType = 0;
  std::uint8_t dstNet[4] = {};
  std::uint8_t dstNode[6] = {};
  std::uint16_t dstSocket = 0;
  std::uint8_t srcNet[4] = {};
  std::uint8_t srcNode[6] = {};
  std::uint16_t srcSocket = 0;
};

constexpr std::size_t kHeaderSize = 30;
constexpr std::size_t kMaxData = 1470;

// Writes the 30 header bytes (big-endian numbers) to `out`.
void EncodeHeader(const Header& header, std::uint8_t* out);

// Reads a header from a received datagram of `size` bytes. False when the datagram is shorter than
// a header, its length field is below 30, above the datagram's size or above 30 + kMaxData.
// On success the data is the `dataLength` bytes after the header (bytes beyond the length field
// are ignored).
bool DecodeHeader(const std::uint8_t* datagram, std::size_t size, Header& header,
                  std::size_t& dataLength);

// Whether a socket bound to `socketNumber` (and, when `ownNode` is given, to that node) takes a
// datagram with this header: the destination socket must match, and the destination node must be
// the broadcast node or `ownNode` when one is given.
bool Accepts(const Header& header, std::uint16_t socketNumber, const std::uint8_t* ownNode);

bool IsBroadcastNode(const std::uint8_t* node);

}  // namespace platform::ipx

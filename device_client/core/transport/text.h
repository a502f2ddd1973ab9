// Text helpers of the transports and the discovery code: NetBIOS name forms, hexadecimal text and
// the PC's own IPv4 addresses. Plain functions without state.
#pragma once
#include <cstdint>

// The NetBIOS name forms (FormatLocalName, FormatDeviceName).
#include "device_client/core/ncb/names.h"

namespace core {

// 0-9 for '0'-'9', 10-15 for 'A'-'F' / 'a'-'f', 0xFF for any other character.
std::uint8_t HexDigitValue(char c);

// n bytes from 2n hex digits (high digit first), each kept to 8 bits. `hex` must hold 2n
// characters; a NUL or any non-hex character counts as the value 0xFF, kept to 8 bits.
void HexToBytes(const char* hex, std::uint8_t* out, int n);

// Two upper-case hex digits (no NUL).
void ByteToHex(std::uint8_t value, char (&out)[2]);

// 2n upper-case hex digits and a NUL into `out` (room for 2n + 1); returns 2n.
int BytesToHex(const std::uint8_t* bytes, char* out, int n);

// "%02X" x 6 of a node address: 12 digits and a NUL (room for 13).
void FormatNodeHex(char* out, const std::uint8_t (&node)[6]);

// "NNNNNNNN.NNNNNNNNNNNN" of a network number and a node: 21 characters and a NUL (room for 22).
void FormatIpxAddress(char* out, const std::uint8_t (&network)[4], const std::uint8_t (&node)[6]);

// The PC's own IPv4 addresses (network byte order, 4 bytes each) of the interfaces that are up,
// from the machine's interface list: non-loopback addresses first in interface order, then
// loopback ones, each address once, at most `capacity` of them. Writes *count only when the
// interface list could be read (callers start it at 0), and then returns true.
bool EnumBindIp(std::uint8_t (*addresses)[4], int capacity, int* count);

// The size of a box's name fields (the default name and the device name of its information block,
// of the cache records and of the device records).
constexpr int kBoxNameFieldSize = 20;

// Whether a box's names may be taken from an answer or a cache file into records, cache files, the
// device table and the registry. Each name is the text of its 20-byte field up to the first NUL
// (a name of 20 characters fills its field). The default name (the key of every device call and a
// registry key name) must not be empty; neither name may hold a control character (below 0x20,
// 0x7F) or a backslash. `deviceName` may be null when only the default name is known.
bool AcceptableBoxNames(const char* defaultName, const char* deviceName);

}  // namespace core

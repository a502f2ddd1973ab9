// The discovery datagrams of the scanner: the "9007:" requests it broadcasts and the checks and
// record building for the replies it receives.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_set>
#include <vector>

#include "device_client/core/scan_cache/scan_cache.h"

namespace lumeth {

// The request on the first UDP port and as a NetBIOS datagram: '@', 0, length 6, "9007:\n".
constexpr int kRequestSize = 10;
// The request on the second UDP port: the same head, an 8-byte device identifier, "9007:\n".
constexpr int kRequest2Size = 18;
// The device identifier that any box answers.
constexpr const char* kAnyDeviceId = "XXXXXXXX";
constexpr int kDeviceIdSize = 8;

std::array<std::uint8_t, kRequestSize> BuildDiscoveryRequest();
std::array<std::uint8_t, kRequest2Size> BuildDiscoveryRequest2(const char* deviceId = kAnyDeviceId);

// How a reply is laid out: on the second UDP port the device identifier sits between the 5-byte
// reply header and the device-information block.
enum class ReplyKind { kUdp, kUdp2, kNetBios };

// The reply header (more flag, error byte, length) is never looked at: boxes answer with headers
// that announce more than the datagram carries (a NetBIOS answer cut to the receive buffer), and
// the block fields are all the scanner needs. Only the datagram's own size bounds what is read.
enum class ReplyCheck {
  kOk,
  kTooShort,      // the datagram ends before the last block field that a record takes
  kNoProtocols,   // first UDP port: block bytes 42 and 43 both zero
  kUnusableName,  // a name the device libraries would refuse (core::AcceptableBoxNames)
};

// The smallest datagram that carries every block field a record takes (block bytes 0-95).
std::size_t MinimumReplySize(ReplyKind kind);

// Checks one reply datagram (its size, on the first UDP port the protocol bytes, and the two names)
// and, when it is good, fills the fields that come from the device-information block: name (block 76-95),
// device information (block 4-35), function identifier (block 46-47) and the default-name field
// (block 56-75). Protocol, address and local interface are the caller's. Never reads outside
// [data, data + size).
ReplyCheck ParseDiscoveryReply(const std::uint8_t* data, std::size_t size, ReplyKind kind,
                               scan_cache::ScanCacheRecord* out);

// Takes the print-server entries of one IPX service answer (a 2-byte response type, then 64-byte
// entries: server type, name, network, node, socket, hops; a cut last entry is ignored): each
// entry of server type 0x868B whose node is not yet in `records` becomes a provisional record
// (name "KL" and the last six hex digits of the node, protocol 1, network and node as address,
// `localText` as local interface). 0, or -10 when an entry found the list full (384 records).
int TakeSapAnswer(const std::uint8_t* data, std::size_t size, const char (&localText)[20],
                  std::vector<scan_cache::ScanCacheRecord>* records);

// The NetBIOS record address: the first 15 characters of block 56-70, byte 15 zero, byte 19 the
// LAN adapter number. `record` must already hold the block fields.
void SetNetBiosAddress(scan_cache::ScanCacheRecord* record, std::uint8_t lana);

// Dotted text of a network-order address into a 20-byte field (zero-filled).
void SetDottedText(char (&field)[20], const std::uint8_t* address);
void SetDottedText(std::uint8_t (&field)[20], const std::uint8_t* address);

// The names a scan has taken so far, for its duplicate check: one hash look-up per answer, however
// many records are kept. The UDP scans compare names as text (up to the first NUL of the 20-byte
// field), the NetBIOS scan all 20 bytes.
class TakenNames {
 public:
  enum class Compare { kText, kBytes };
  explicit TakenNames(Compare compare);
  // True when `name` was not taken yet; it is taken from now on.
  bool Take(const char (&name)[20]);
  std::size_t size() const { return names_.size(); }

 private:
  Compare compare_;
  std::unordered_set<std::string> names_;
};

// 1 when (local AND mask) equals (other AND mask) in all four bytes, else 0.
int IsSameSubnet(const std::uint8_t* local, const std::uint8_t* mask, const std::uint8_t* other);

}  // namespace lumeth

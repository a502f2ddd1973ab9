// The UDP request transport of port 34444, the steps that need no socket.
//
// A request goes out as n = ceil(length / 384) datagrams (one for a request of at most 384 bytes):
// '@', the fragment index counting down from n-1 to 0, the total request length (uint16 LE), the
// 8-byte device id (the first 8 bytes of the box's default name), then at most 384 data bytes.
// Each reply datagram has a 13-byte header: a lead byte, the fragment index (0 = last), the error
// byte, the total reply length (uint16 LE) and the device id of the answering box; its data
// follows.
//
// A reply is assembled so that nothing but the announced reply of the asked box, in order, ever
// reaches the caller's buffer: a datagram of another box (a broadcast is heard by every box) and a
// repeat of a fragment already taken are passed over; a gap in the indexes, a change of the total
// length, an error byte or more data than announced end the attempt (the caller asks again).
#pragma once
#include <cstdint>

#include "device_client/core/wire_layout.h"

namespace wizard {

constexpr int kUdpFragmentData = wire::kMaxRequestChunk;  // 384
constexpr int kUdpMaxRequestDatagram = wire::kUdpRequestHeaderSize + kUdpFragmentData;
constexpr int kUdpDeviceIdSize = 8;
// The device id that every box answers (discovery).
constexpr const char* kUdpWildcardId = "XXXXXXXX";

// The fragments a request of `length` bytes takes (1 for 0..384).
int UdpFragmentCount(int length);

// Writes the `fragment`-th datagram (0 = the first sent) of a request into `out` and returns its
// size, or -1 for a fragment outside the request or a length the header cannot carry.
int BuildUdpRequestFragment(const char* request, int length, const std::uint8_t (&deviceId)[8],
                            int fragment, std::uint8_t (&out)[kUdpMaxRequestDatagram]);

// Assembles one reply (one attempt) into the caller's buffer.
class UdpReplyAssembler {
 public:
  enum class Step {
    kTaken,     // data appended; more fragments follow
    kIgnored,   // another box's datagram or a repeat: nothing changed, keep waiting
    kFailed,    // this attempt cannot end well: ask again
    kComplete,  // the whole reply is in the buffer
    kTooLarge,  // the announced reply does not fit the caller's buffer
  };

  // `deviceId` is the id the request carried; with the wildcard id any box's reply counts.
  UdpReplyAssembler(char* reply, int capacity, const std::uint8_t (&deviceId)[8]);

  Step Take(const std::uint8_t* datagram, int size);
  // Whether a datagram (at least its 13-byte header) comes from the asked box.
  bool FromAskedBox(const std::uint8_t* datagram, int size) const;

  int received() const { return received_; }
  int total() const { return total_; }

 private:
  char* reply_;
  int capacity_;
  std::uint8_t deviceId_[8];
  bool wildcard_;
  int lastIndex_ = -1;  // index of the last fragment taken; -1 before the first
  int total_ = 0;
  int received_ = 0;
};

}  // namespace wizard

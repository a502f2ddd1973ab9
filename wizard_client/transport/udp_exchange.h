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
//
// One attempt is bounded from its start, whatever arrives meanwhile (ReceiveUdpReply): a datagram
// that is passed over extends no wait, so neither a box repeating one fragment nor anything sending
// another id to the client's port can hold the caller.
#pragma once
#include <cstdint>
#include <functional>

#include "device_client/core/wire_layout.h"

namespace wizard {

constexpr int kUdpFragmentData = wire::kMaxRequestChunk;  // 384
constexpr int kUdpMaxRequestDatagram = wire::kUdpRequestHeaderSize + kUdpFragmentData;
constexpr int kUdpDeviceIdSize = 8;
// The device id that every box answers (discovery).
constexpr const char* kUdpWildcardId = "XXXXXXXX";

// The waits of one attempt, on platform::GetClock().
constexpr int kUdpWaitMs = 3000;           // for a datagram, from the start or the last fragment taken
constexpr int kUdpFragmentPauseMs = 400;   // after each fragment that is not the last
constexpr int kUdpDatagramRoom = 3072;     // one reply datagram
// Datagrams read in one attempt at most, whatever the clock says.
constexpr int kUdpMaxDatagramsPerAttempt = 4096;
// The attempt's waits together, from its start (the pauses after taken fragments are the
// exchange's own and come on top: at most 255 of them, as the fragment index is one byte and only
// falls). Three waits, as a stream exchange gets.
std::int64_t UdpAttemptLimitMs();

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

// One receive of an attempt: waits at most `waitMs` for one datagram and reads it into `buffer`
// (room for `size` bytes). Returns its length (more than `size` when it was cut), kUdpNothing when
// the wait ran out or the receive failed, kUdpReceiveAgain when nothing was read but the wait may
// go on (an interrupted or spurious wake-up).
constexpr int kUdpNothing = -1;
constexpr int kUdpReceiveAgain = -2;
using UdpReceiver = std::function<int(std::uint8_t* buffer, int size, std::int64_t waitMs)>;

enum class UdpAttemptEnd {
  kComplete,  // the whole reply is in the assembler's buffer
  kAskAgain,  // no complete reply in time, or one that cannot be right: a new attempt may help
  kGiveUp,    // the reply cannot be taken at all (too large): asking again cannot help
};

// Reads the reply of one attempt through `receive` into `assembler`. Each wait lasts at most
// kUdpWaitMs from the attempt's start or from the last fragment taken, and all waits together at
// most UdpAttemptLimitMs() from the start; kUdpFragmentPauseMs follows each fragment taken that is
// not the last. Datagrams passed over (another box's, a repeat) move neither bound.
UdpAttemptEnd ReceiveUdpReply(const UdpReceiver& receive, UdpReplyAssembler& assembler);

}  // namespace wizard

#include "wizard_client/transport/udp_exchange.h"

#include <algorithm>
#include <cstring>

#include "device_client/core/transport/transport.h"
#include "platform/clock.h"

namespace wizard {
namespace {

constexpr int kReplyIndex = 1;
constexpr int kReplyError = 2;
constexpr int kReplyTotal = 3;
constexpr int kReplyDeviceId = 5;

}  // namespace

std::int64_t UdpAttemptLimitMs() { return core::ExchangeLimitMs(kUdpWaitMs); }

int UdpFragmentCount(int length) {
  if (length <= kUdpFragmentData) return 1;
  return (length + kUdpFragmentData - 1) / kUdpFragmentData;
}

int BuildUdpRequestFragment(const char* request, int length, const std::uint8_t (&deviceId)[8],
                            int fragment, std::uint8_t (&out)[kUdpMaxRequestDatagram]) {
  if (length < 0 || length > 0xFFFF || (length > 0 && request == nullptr)) return -1;
  const int count = UdpFragmentCount(length);
  if (fragment < 0 || fragment >= count || count > 0xFF + 1) return -1;
  const int offset = fragment * kUdpFragmentData;
  const int size = length - offset < kUdpFragmentData ? length - offset : kUdpFragmentData;
  out[0] = wire::kRequestMarker;
  out[1] = static_cast<std::uint8_t>(count - 1 - fragment);
  out[2] = static_cast<std::uint8_t>(length & 0xFF);
  out[3] = static_cast<std::uint8_t>(length >> 8);
  std::memcpy(out + 4, deviceId, kUdpDeviceIdSize);
  if (size > 0) std::memcpy(out + wire::kUdpRequestHeaderSize, request + offset, static_cast<std::size_t>(size));
  return wire::kUdpRequestHeaderSize + size;
}

UdpReplyAssembler::UdpReplyAssembler(char* reply, int capacity, const std::uint8_t (&deviceId)[8])
    : reply_(reply), capacity_(capacity < 0 ? 0 : capacity) {
  std::memcpy(deviceId_, deviceId, sizeof deviceId_);
  wildcard_ = std::memcmp(deviceId_, kUdpWildcardId, kUdpDeviceIdSize) == 0;
}

bool UdpReplyAssembler::FromAskedBox(const std::uint8_t* datagram, int size) const {
  if (datagram == nullptr || size < wire::kUdpReplyHeaderSize) return false;
  return wildcard_ || std::memcmp(datagram + kReplyDeviceId, deviceId_, kUdpDeviceIdSize) == 0;
}

UdpReplyAssembler::Step UdpReplyAssembler::Take(const std::uint8_t* datagram, int size) {
  if (datagram == nullptr || size < wire::kUdpReplyHeaderSize) return Step::kFailed;
  if (!FromAskedBox(datagram, size)) return Step::kIgnored;  // another box answering a broadcast
  const int index = datagram[kReplyIndex];
  const int total = datagram[kReplyTotal] | (datagram[kReplyTotal + 1] << 8);
  const int length = size - wire::kUdpReplyHeaderSize;
  if (lastIndex_ >= 0 && index >= lastIndex_) return Step::kIgnored;  // taken already
  if (datagram[kReplyError] != 0) return Step::kFailed;
  if (lastIndex_ >= 0 && (index != lastIndex_ - 1 || total != total_)) return Step::kFailed;
  // A fragment that is not the last never carries the whole reply.
  if (index != 0 && length == total) return Step::kFailed;
  if (total > capacity_) return Step::kTooLarge;
  if (length > total - received_) return Step::kFailed;
  if (length > 0) std::memcpy(reply_ + received_, datagram + wire::kUdpReplyHeaderSize, static_cast<std::size_t>(length));
  received_ += length;
  total_ = total;
  lastIndex_ = index;
  if (index != 0) return Step::kTaken;
  return received_ == total_ ? Step::kComplete : Step::kFailed;
}

}  // namespace wizard

namespace wizard {

UdpAttemptEnd ReceiveUdpReply(const UdpReceiver& receive, UdpReplyAssembler& assembler) {
  platform::Clock& clock = platform::GetClock();
  const std::int64_t start = clock.SteadyMs();
  std::int64_t limit = start + UdpAttemptLimitMs();  // moved on only by the exchange's own pauses
  std::int64_t waitFrom = start;                      // the start, then each fragment taken
  for (int datagrams = 0; datagrams < kUdpMaxDatagramsPerAttempt; ++datagrams) {
    const std::int64_t end = std::min(waitFrom + kUdpWaitMs, limit);
    const std::int64_t now = clock.SteadyMs();
    if (now >= end) return UdpAttemptEnd::kAskAgain;
    std::uint8_t buffer[kUdpDatagramRoom];
    const int n = receive(buffer, static_cast<int>(sizeof buffer), end - now);
    if (n == kUdpReceiveAgain) continue;
    if (n < 0) return UdpAttemptEnd::kAskAgain;
    if (n > static_cast<int>(sizeof buffer)) {
      // A fragment larger than the receive buffer cannot be read whole: from the asked box it
      // would come again on every attempt.
      if (assembler.FromAskedBox(buffer, static_cast<int>(sizeof buffer))) {
        return UdpAttemptEnd::kGiveUp;
      }
      continue;
    }
    switch (assembler.Take(buffer, n)) {
      case UdpReplyAssembler::Step::kIgnored:
        break;
      case UdpReplyAssembler::Step::kTaken:
        clock.SleepMs(kUdpFragmentPauseMs);
        limit += kUdpFragmentPauseMs;
        waitFrom = clock.SteadyMs();
        break;
      case UdpReplyAssembler::Step::kComplete:
        return UdpAttemptEnd::kComplete;
      case UdpReplyAssembler::Step::kTooLarge:
        return UdpAttemptEnd::kGiveUp;
      case UdpReplyAssembler::Step::kFailed:
        return UdpAttemptEnd::kAskAgain;
    }
  }
  return UdpAttemptEnd::kAskAgain;
}

}  // namespace wizard

#include "tools/box_emulator/framing.h"

#include <algorithm>
#include <chrono>
#include <random>
#include <thread>

#include "device_client/core/wire_layout.h"
#include "platform/clock.h"

namespace box_emulator {

RequestAssembler::State RequestAssembler::Fail(const char* why) {
  state_ = State::kBad;
  error_ = why;
  return state_;
}

RequestAssembler::State RequestAssembler::Feed(std::string_view bytes) {
  if (state_ != State::kNeedMore) {
    wire_.append(bytes);
    return state_;
  }
  wire_.append(bytes);
  while (wire_.size() - parsed_ >= static_cast<std::size_t>(wire::kRequestHeaderSize)) {
    const auto* h = reinterpret_cast<const unsigned char*>(wire_.data() + parsed_);
    if (h[0] != wire::kRequestMarker) return Fail("chunk does not start with '@'");
    if (h[1] > 1) return Fail("more flag is neither 0 nor 1");
    const std::size_t n = static_cast<std::size_t>(h[2]) | static_cast<std::size_t>(h[3]) << 8;
    if (n == 0) return Fail("empty request chunk");
    if (n > static_cast<std::size_t>(wire::kMaxRequestChunk)) return Fail("request chunk longer than 384 bytes");
    if (data_.size() + n > kMaxRequestSize) return Fail("request too long");
    if (wire_.size() - parsed_ < wire::kRequestHeaderSize + n) return state_;
    const bool more = h[1] == 1;
    data_.append(wire_, parsed_ + wire::kRequestHeaderSize, n);
    chunkSizes_.push_back(n);
    parsed_ += wire::kRequestHeaderSize + n;
    if (!more) {
      state_ = State::kComplete;
      return state_;
    }
  }
  return state_;
}

std::string EncodeReplyHeader(ReplyHeader header, bool more, std::uint8_t error,
                              std::uint16_t length) {
  std::string h;
  if (header == ReplyHeader::kStream) {
    h.resize(wire::kStreamReplyHeaderSize);
    h[0] = static_cast<char>(kStreamLeadByte);
    h[wire::kStreamReplyMoreOffset] = static_cast<char>(more ? 1 : 0);
    h[wire::kStreamReplyErrorOffset] = static_cast<char>(error);
    h[wire::kStreamReplyLengthOffset] = static_cast<char>(length & 0xFF);
    h[wire::kStreamReplyLengthOffset + 1] = static_cast<char>(length >> 8);
  } else {
    h.resize(wire::kSpxReplyHeaderSize);
    h[wire::kSpxReplyMoreOffset] = static_cast<char>(more ? 1 : 0);
    h[wire::kSpxReplyErrorOffset] = static_cast<char>(error);
    h[wire::kSpxReplyLengthOffset] = static_cast<char>(length & 0xFF);
    h[wire::kSpxReplyLengthOffset + 1] = static_cast<char>(length >> 8);
  }
  return h;
}

std::vector<ReplyChunk> BuildReplyChunks(std::string_view data, std::size_t chunkSize,
                                         std::uint8_t error, std::size_t errorChunk,
                                         ReplyHeader header) {
  chunkSize = std::clamp<std::size_t>(chunkSize, 1, 0xFFFF);
  std::vector<ReplyChunk> chunks;
  std::size_t pos = 0;
  do {
    const std::size_t n = std::min(chunkSize, data.size() - pos);
    chunks.push_back(ReplyChunk{{}, std::string(data.substr(pos, n))});
    pos += n;
  } while (pos < data.size());
  const std::size_t errorAt = std::min(errorChunk, chunks.size() - 1);
  for (std::size_t i = 0; i < chunks.size(); ++i) {
    chunks[i].header = EncodeReplyHeader(header, i + 1 < chunks.size(),
                                         i == errorAt ? error : 0,
                                         static_cast<std::uint16_t>(chunks[i].data.size()));
  }
  return chunks;
}

std::string OutgoingReply::Bytes() const {
  std::string all;
  for (const auto& c : chunks) all += c.header + c.data;
  if (closeAfterBytes && all.size() > *closeAfterBytes) all.resize(*closeAfterBytes);
  return all;
}

OutgoingReply PlanReply(std::string_view replyData, std::uint8_t error, const FaultPlan& fault,
                        std::size_t chunkSize, ReplyHeader header) {
  OutgoingReply out;
  out.splitHeaders = fault.splitHeaders;
  out.closeAfterBytes = fault.closeAfterBytes;
  std::string data(replyData);
  if (fault.replySize) {
    const std::size_t n = *fault.replySize;
    if (data.size() > n) data.resize(n);
    while (data.size() < n) data.push_back(static_cast<char>('A' + data.size() % 26));
  }
  if (fault.garbage) {
    std::string junk(*fault.garbage, '\0');
    std::mt19937 rng{std::random_device{}()};
    for (auto& c : junk) c = static_cast<char>(rng() & 0xFF);
    out.chunks.push_back(ReplyChunk{{}, std::move(junk)});
  } else if (fault.oversizeChunk) {
    const std::size_t n = std::min<std::size_t>(*fault.oversizeChunk, 0xFFFF);
    while (data.size() < n) data.push_back(static_cast<char>('a' + data.size() % 26));
    data.resize(n);
    out.chunks.push_back(ReplyChunk{
        EncodeReplyHeader(header, false, fault.errorChunk ? fault.errorValue : error,
                          static_cast<std::uint16_t>(n)),
        std::move(data)});
  } else if (fault.errorChunk) {
    out.chunks = BuildReplyChunks(data, chunkSize, fault.errorValue, *fault.errorChunk, header);
  } else {
    out.chunks = BuildReplyChunks(data, chunkSize, error, 0, header);
  }
  return out;
}

bool Drips(const FaultPlan& fault) { return fault.dripEvery.has_value() || fault.endlessEmptyChunks; }

void DripReply(const OutgoingReply& reply, const FaultPlan& fault, ReplyHeader header,
               const std::function<bool(std::string_view)>& put,
               const std::function<bool()>& stopped) {
  const std::int64_t every = fault.dripEvery.value_or(std::chrono::milliseconds(1000)).count();
  // The pause runs on the platform clock; the short real one lets the reader keep up when that
  // clock is a test's FakeClock, whose pauses take no time.
  auto pauseThenPut = [&](std::string_view piece) {
    platform::GetClock().SleepMs(every);
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return !stopped() && put(piece);
  };
  if (fault.endlessEmptyChunks) {
    const std::string empty = EncodeReplyHeader(header, true, 0, 0);
    while (pauseThenPut(empty)) {
    }
    return;
  }
  for (const ReplyChunk& chunk : reply.chunks) {
    if (!chunk.header.empty() && !pauseThenPut(chunk.header)) return;
    for (std::size_t i = 0; i < chunk.data.size(); ++i) {
      if (!pauseThenPut(std::string_view(chunk.data).substr(i, 1))) return;
    }
  }
}

}  // namespace box_emulator

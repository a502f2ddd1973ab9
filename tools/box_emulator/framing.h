// Request chunks in, reply chunks out: the framing of the management protocol as the box sees it,
// independent of the transport that carries the bytes.
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tools/box_emulator/fault_plan.h"

namespace box_emulator {

// Reassembles one request from its chunks ('@', more flag, uint16 LE length, data).
class RequestAssembler {
 public:
  enum class State { kNeedMore, kComplete, kBad };

  // The largest request a box takes in: anything longer is refused as bad.
  static constexpr std::size_t kMaxRequestSize = 64 * 1024;

  // Takes the next bytes from the connection. Bytes after the last chunk are kept in wire() but
  // otherwise ignored.
  State Feed(std::string_view bytes);
  State state() const { return state_; }
  // Why the request was refused (empty unless kBad).
  const std::string& error() const { return error_; }
  const std::string& data() const { return data_; }
  const std::string& wire() const { return wire_; }
  const std::vector<std::size_t>& chunkSizes() const { return chunkSizes_; }

 private:
  State Fail(const char* why);
  State state_ = State::kNeedMore;
  std::string wire_;
  std::string data_;
  std::string error_;
  std::vector<std::size_t> chunkSizes_;
  std::size_t parsed_ = 0;  // bytes of wire_ consumed by whole chunks
};

// Which reply header a transport puts before each chunk.
enum class ReplyHeader {
  kStream,  // TCP and NetBIOS: lead byte, more flag, error byte, uint16 LE length
  kSpx,     // SPX: more flag, error byte, uint16 LE length
};

// One reply chunk as it goes out: its header and data.
struct ReplyChunk {
  std::string header;
  std::string data;
};

// The lead byte of stream reply headers. Clients do not examine it; it is not zero so that a
// client reading the header at the wrong offset notices.
constexpr std::uint8_t kStreamLeadByte = 0xA5;

// Cuts `data` into chunks of at most `chunkSize` bytes (an empty reply is one empty chunk) and
// puts `error` into the header of chunk `errorChunk` (the last chunk when there are fewer).
std::vector<ReplyChunk> BuildReplyChunks(std::string_view data, std::size_t chunkSize,
                                         std::uint8_t error, std::size_t errorChunk,
                                         ReplyHeader header);

std::string EncodeReplyHeader(ReplyHeader header, bool more, std::uint8_t error,
                              std::uint16_t length);

// One reply as it goes out on any transport, after the faults of a plan were applied.
struct OutgoingReply {
  std::vector<ReplyChunk> chunks;  // a chunk without header carries raw bytes (garbage)
  bool splitHeaders = false;
  std::optional<std::size_t> closeAfterBytes;
  // Every byte in order, cut at closeAfterBytes.
  std::string Bytes() const;
};

OutgoingReply PlanReply(std::string_view data, std::uint8_t error, const FaultPlan& fault,
                        std::size_t chunkSize, ReplyHeader header);

// Whether a plan asks for a reply that drips or never ends (FaultPlan::dripEvery,
// endlessEmptyChunks).
bool Drips(const FaultPlan& fault);

// Sends such a reply piece by piece through `put`, which carries one piece and returns false when
// the peer has gone. Ends when the reply is out (never for endless empty chunks), `put` failed or
// `stopped` says the box goes away.
void DripReply(const OutgoingReply& reply, const FaultPlan& fault, ReplyHeader header,
               const std::function<bool(std::string_view)>& put,
               const std::function<bool()>& stopped);

}  // namespace box_emulator

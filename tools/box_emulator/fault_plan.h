// Misbehaviours a test can ask of a box for its next replies.
#pragma once
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>

namespace box_emulator {

// A misbehaviour for the next `count` requests (those answered; requests that arrive during a
// restart do not use it up). Fields combine.
struct FaultPlan {
  int count = 1;
  // Put errorValue into the error byte of reply chunk errorChunk (0-based; the last chunk when the
  // reply has fewer). Combine with chunkSize for a multi-chunk reply.
  std::optional<std::size_t> errorChunk;
  std::uint8_t errorValue = 1;
  std::optional<std::size_t> chunkSize;        // data bytes per reply chunk
  bool splitHeaders = false;                   // each header byte in its own TCP segment
  std::optional<std::size_t> closeAfterBytes;  // close after this many reply bytes (headers count)
  std::chrono::milliseconds delay{0};          // real time before the reply goes out
  bool neverReply = false;                     // keep the connection open, silent, until the peer closes
  // One chunk (more flag 0) whose length field and data are this many bytes (up to 65535).
  std::optional<std::size_t> oversizeChunk;
  std::optional<std::size_t> garbage;    // this many garbage bytes instead of the reply
  std::optional<std::size_t> replySize;  // reply data padded (or cut) to this many bytes
  // A box that keeps the client busy without ever letting one of its waits run out, paced on
  // platform::GetClock() (a test's FakeClock lets it run in little real time): with dripEvery, the
  // reply goes out a piece at a time, each chunk header whole, then its data byte by byte, one
  // piece after each pause of dripEvery; with endlessEmptyChunks, instead of the reply, empty
  // chunks with the more flag set, one after each pause (dripEvery, else 1000 ms), until the peer
  // goes away.
  std::optional<std::chrono::milliseconds> dripEvery;
  bool endlessEmptyChunks = false;
};

}  // namespace box_emulator

// Whole-buffer transfers on file descriptors: the loops over short transfers and interrupted calls
// that file writers, socket servers and clients all need.
#pragma once
#include <cstddef>

namespace platform {

// Writes all `size` bytes with write(2), again after an interrupted call. False on any other error.
bool WriteAll(int fd, const void* data, std::size_t size);

// Sends all `size` bytes on a stream socket with send(MSG_NOSIGNAL), so a peer that has gone gives
// false instead of SIGPIPE; an interrupted call is made again. False on any other error.
bool SendAll(int fd, const void* data, std::size_t size);

// Receives exactly `size` bytes with recv(2), again after an interrupted call. False on an error or
// when the stream ends early.
bool ReadExactly(int fd, void* buffer, std::size_t size);

// The same, waiting with poll(2) for each piece at most `waitMs` milliseconds (negative: without
// limit); a wait that runs out or fails gives false, an interrupted wait is made again.
bool ReadExactly(int fd, void* buffer, std::size_t size, int waitMs);

}  // namespace platform

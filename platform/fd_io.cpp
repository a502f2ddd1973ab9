#include "platform/fd_io.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

namespace platform {
namespace {

// Moves `size` bytes through `transfer` (one call of write, send or recv); a call that moves
// nothing ends the loop, as does an error other than an interruption. With waitMs present, each
// call waits first until the descriptor is readable.
template <typename Byte, typename Transfer>
bool TransferAll(int fd, Byte* p, std::size_t size, const int* waitMs, Transfer transfer) {
  while (size > 0) {
    if (waitMs != nullptr) {
      pollfd pf{fd, POLLIN, 0};
      const int r = ::poll(&pf, 1, *waitMs);
      if (r < 0 && errno == EINTR) continue;
      if (r <= 0) return false;
    }
    const ssize_t n = transfer(p, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    p += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace

bool WriteAll(int fd, const void* data, std::size_t size) {
  return TransferAll(fd, static_cast<const char*>(data), size, nullptr,
                     [fd](const char* p, std::size_t n) { return ::write(fd, p, n); });
}

bool SendAll(int fd, const void* data, std::size_t size) {
  return TransferAll(fd, static_cast<const char*>(data), size, nullptr,
                     [fd](const char* p, std::size_t n) { return ::send(fd, p, n, MSG_NOSIGNAL); });
}

bool ReadExactly(int fd, void* buffer, std::size_t size) {
  return TransferAll(fd, static_cast<char*>(buffer), size, nullptr,
                     [fd](char* p, std::size_t n) { return ::recv(fd, p, n, 0); });
}

bool ReadExactly(int fd, void* buffer, std::size_t size, int waitMs) {
  return TransferAll(fd, static_cast<char*>(buffer), size, &waitMs,
                     [fd](char* p, std::size_t n) { return ::recv(fd, p, n, 0); });
}

}  // namespace platform

#include "discovery_scanner/scanner/scan_routes.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

namespace lumeth {

StopSignal::StopSignal() : fd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

StopSignal::~StopSignal() {
  if (fd_ >= 0) ::close(fd_);
}

void StopSignal::Stop() {
  std::uint64_t one = 1;
  ssize_t n = ::write(fd_, &one, sizeof one);
  (void)n;
}

void StopSignal::Clear() {
  std::uint64_t value = 0;
  ssize_t n = ::read(fd_, &value, sizeof value);
  (void)n;
}

bool StopSignal::Stopped() const {
  pollfd p{fd_, POLLIN, 0};
  return ::poll(&p, 1, 0) > 0;
}

int StopSignal::WaitReadable(int fd, int ms) const {
  using Steady = std::chrono::steady_clock;
  const auto end = Steady::now() + std::chrono::milliseconds(ms);
  for (;;) {
    pollfd p[2] = {{fd_, POLLIN, 0}, {fd, POLLIN, 0}};
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Steady::now()).count();
    int n = ::poll(p, fd >= 0 ? 2 : 1, left > 0 ? static_cast<int>(left) : 0);
    if (n < 0) {
      if (errno == EINTR) continue;
      return -1;
    }
    if ((p[0].revents & POLLIN) != 0) return -2;
    if (n > 0 && fd >= 0 && p[1].revents != 0) return 1;
    if (left <= 0) return 0;
  }
}

bool StopSignal::Pause(int ms) const { return WaitReadable(-1, ms) != -2; }

void SharedLocalText::Set(const char* text) {
  std::lock_guard<std::mutex> lock(mu_);
  std::memset(text_, 0, sizeof text_);
  std::strncpy(text_, text, sizeof text_ - 1);
}

void SharedLocalText::CopyTo(char (&field)[20]) const {
  std::lock_guard<std::mutex> lock(mu_);
  std::memcpy(field, text_, sizeof field);
}

}  // namespace lumeth

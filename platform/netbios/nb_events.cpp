// Completion events (NbEvent, NbWaitAny) and the waits on descriptors that the engine shares.
#include "platform/netbios/netbios_internal.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <mutex>
#include <vector>

#include "platform/clock.h"

namespace platform::netbios::internal {

// Waits for `fds` through the platform clock: >0 ready, 0 timed out, -1 failed. Negative `ms`
// waits without limit.
int WaitFds(pollfd* fds, nfds_t count, std::int64_t ms) {
  for (nfds_t i = 0; i < count; ++i) fds[i].revents = 0;
  if (ms < 0) {
    for (;;) {
      int r = poll(fds, count, -1);
      if (r >= 0 || errno != EINTR) return r;
    }
  }
  platform::Clock& clock = platform::GetClock();
  std::int64_t real = clock.RealWaitMs(ms);
  platform::SystemClock sys;
  std::int64_t start = sys.SteadyMs();
  for (;;) {
    std::int64_t left = real - (sys.SteadyMs() - start);
    if (left < 0) left = 0;
    int r = poll(fds, count, static_cast<int>(std::min<std::int64_t>(left, 0x7fffffff)));
    if (r > 0) return r;
    if (r == 0) {
      clock.Elapsed(ms);
      return 0;
    }
    if (errno != EINTR) return -1;
  }
}

bool DrainEventFd(int fd) {
  std::uint64_t v = 0;
  return read(fd, &v, sizeof v) == static_cast<ssize_t>(sizeof v);
}

void SignalEventFd(int fd) {
  std::uint64_t one = 1;
  ssize_t w = write(fd, &one, sizeof one);
  (void)w;
}

}  // namespace platform::netbios::internal

using platform::netbios::internal::DrainEventFd;
using platform::netbios::internal::SignalEventFd;
using platform::netbios::internal::WaitFds;

NbEvent::NbEvent(bool manualReset, bool initiallySet)
    : fd_(eventfd(initiallySet ? 1 : 0, EFD_CLOEXEC | EFD_NONBLOCK)),
      manual_(manualReset),
      everSet_(initiallySet),
      set_(initiallySet),
      fdSet_(initiallySet) {}

NbEvent::~NbEvent() {
  platform::netbios::ForgetDriver(this);
  if (fd_ >= 0) close(fd_);
}

void NbEvent::Set() {
  if (!manual_) {
    everSet_ = true;
    SignalEventFd(fd_);  // the counter may grow past 1: a reset or an auto-reset wait clears it all
    return;
  }
  std::lock_guard<std::mutex> lk(mu_);
  set_ = true;
  if (pollers_ > 0 && !fdSet_) {
    SignalEventFd(fd_);
    fdSet_ = true;
  }
}

void NbEvent::Reset() {
  if (!manual_) {
    if (everSet_) DrainEventFd(fd_);
    return;
  }
  std::lock_guard<std::mutex> lk(mu_);
  set_ = false;
  if (fdSet_) {
    DrainEventFd(fd_);
    fdSet_ = false;
  }
}

bool NbEvent::BeginPoll() {
  if (!manual_) return true;
  std::lock_guard<std::mutex> lk(mu_);
  if (set_) return false;
  ++pollers_;
  return true;
}

void NbEvent::EndPoll() {
  if (!manual_) return;
  std::lock_guard<std::mutex> lk(mu_);
  --pollers_;
}

bool NbEvent::IsSet() const {
  platform::netbios::LaunchDriven(const_cast<NbEvent*>(this));
  if (manual_) {
    std::lock_guard<std::mutex> lk(mu_);
    return set_;
  }
  pollfd p{fd_, POLLIN, 0};
  return poll(&p, 1, 0) > 0;
}

bool NbEvent::Wait(std::int64_t ms) {
  if (manual_) {
    std::lock_guard<std::mutex> lk(mu_);
    if (set_) return true;  // set already (a receive completed inside Netbios(), say)
  }
  const int driven = platform::netbios::DriveWait(this, ms);
  if (driven >= 0) return driven == 1;
  NbEvent* self = this;
  return NbWaitAny(&self, 1, ms) == 0;
}

int NbWaitAny(NbEvent* const* events, int count, std::int64_t ms) {
  if (count <= 0) return -1;
  for (int i = 0; i < count; ++i) platform::netbios::LaunchDriven(events[i]);
  // Registered as a poller of every event first: a set after this signals the descriptors.
  int begun = 0;
  int setAlready = -1;
  for (; begun < count; ++begun) {
    if (!events[begun]->BeginPoll()) {
      setAlready = begun;
      break;
    }
  }
  struct EndPolls {
    NbEvent* const* events;
    const int& n;
    ~EndPolls() {
      for (int i = 0; i < n; ++i) events[i]->EndPoll();
    }
  } endPolls{events, begun};
  if (setAlready >= 0) return setAlready;
  std::vector<pollfd> fds;
  for (int i = 0; i < count; ++i) fds.push_back({events[i]->fd(), POLLIN, 0});
  platform::Clock& clock = platform::GetClock();
  std::int64_t deadline = clock.SteadyMs() + ms;
  for (;;) {
    std::int64_t left = ms < 0 ? -1 : std::max<std::int64_t>(0, deadline - clock.SteadyMs());
    int r = WaitFds(fds.data(), fds.size(), left);
    if (r <= 0) return -1;
    for (int i = 0; i < count; ++i) {
      if ((fds[static_cast<std::size_t>(i)].revents & POLLIN) == 0) continue;
      if (events[i]->manualReset()) return i;
      if (DrainEventFd(events[i]->fd())) return i;  // an auto-reset event: this waiter took it
    }
    if (ms >= 0 && clock.SteadyMs() >= deadline) return -1;
  }
}

#include "platform/clock.h"

#include <poll.h>

#include <cerrno>
#include <chrono>
#include <thread>

namespace platform {

std::int64_t SystemClock::NowMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

std::int64_t SystemClock::SteadyMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

void SystemClock::SleepMs(std::int64_t ms) {
  if (ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

namespace {
SystemClock g_systemClock;
std::atomic<Clock*> g_clock{nullptr};
}  // namespace

Clock& GetClock() {
  Clock* c = g_clock.load();
  return c != nullptr ? *c : g_systemClock;
}

void SetClock(Clock* clock) { g_clock.store(clock); }

int WaitReadable(int fd, std::int64_t ms) {
  Clock& clock = GetClock();
  std::int64_t real = clock.RealWaitMs(ms < 0 ? 0 : ms);
  std::int64_t start = SystemClock().SteadyMs();
  for (;;) {
    std::int64_t spent = SystemClock().SteadyMs() - start;
    std::int64_t left = real - spent;
    if (left < 0) left = 0;
    pollfd p{fd, POLLIN, 0};
    int r = poll(&p, 1, static_cast<int>(left > 0x7fffffff ? 0x7fffffff : left));
    if (r > 0) return 1;
    if (r == 0) {
      clock.Elapsed(ms);
      return 0;
    }
    if (errno != EINTR) return -1;
  }
}

std::tm LocalTimeNow() {
  std::time_t t = static_cast<std::time_t>(GetClock().NowMs() / 1000);
  std::tm out{};
  localtime_r(&t, &out);
  return out;
}

ScopedClock::ScopedClock(Clock* clock) : previous_(g_clock.load()) { SetClock(clock); }
ScopedClock::~ScopedClock() { SetClock(previous_); }

}  // namespace platform

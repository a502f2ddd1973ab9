// Time as a replaceable service. Every wait of the suite that the user would notice (protocol
// time-outs, pauses between retries, restart waits) goes through GetClock(), so tests can install a
// FakeClock and run the long waits in no real time while still checking how long was waited.
#pragma once
#include <atomic>
#include <cstdint>
#include <ctime>

namespace platform {

class Clock {
 public:
  virtual ~Clock() = default;
  // Milliseconds since the Unix epoch.
  virtual std::int64_t NowMs() = 0;
  // Milliseconds of a steady clock, for measuring waits.
  virtual std::int64_t SteadyMs() = 0;
  virtual void SleepMs(std::int64_t ms) = 0;
  // How long to really block in poll() for a wait of `ms`; after a real time-out the caller reports
  // the whole wait with Elapsed(ms).
  virtual std::int64_t RealWaitMs(std::int64_t ms) = 0;
  virtual void Elapsed(std::int64_t ms) = 0;
};

class SystemClock : public Clock {
 public:
  std::int64_t NowMs() override;
  std::int64_t SteadyMs() override;
  void SleepMs(std::int64_t ms) override;
  std::int64_t RealWaitMs(std::int64_t ms) override { return ms; }
  void Elapsed(std::int64_t) override {}
};

// Virtual time: sleeps advance it at once; socket waits block for at most `realWaitCapMs` of real
// time (so data that is already on its way still arrives) and then advance it by the full wait.
class FakeClock : public Clock {
 public:
  explicit FakeClock(std::int64_t startEpochMs = 1765368000000LL, std::int64_t realWaitCapMs = 200)
      : now_(startEpochMs), steady_(0), cap_(realWaitCapMs) {}
  std::int64_t NowMs() override { return now_.load(); }
  std::int64_t SteadyMs() override { return steady_.load(); }
  void SleepMs(std::int64_t ms) override { Advance(ms); }
  std::int64_t RealWaitMs(std::int64_t ms) override { return ms < cap_ ? ms : cap_; }
  void Elapsed(std::int64_t ms) override { Advance(ms); }
  void Advance(std::int64_t ms) {
    if (ms > 0) {
      now_ += ms;
      steady_ += ms;
      sleptTotal_ += ms;
    }
  }
  // Total virtual time spent in sleeps and waits since construction.
  std::int64_t WaitedMs() const { return sleptTotal_.load(); }

 private:
  std::atomic<std::int64_t> now_, steady_, sleptTotal_{0};
  std::int64_t cap_;
};

Clock& GetClock();
// Installs a clock for the whole process; nullptr restores the system clock.
void SetClock(Clock* clock);

// Waits until fd is readable (or has an error / hang-up) for at most `ms` of the clock's time.
// Returns 1 ready, 0 timed out, -1 poll failed.
int WaitReadable(int fd, std::int64_t ms);

// Local calendar time of the clock's NowMs().
std::tm LocalTimeNow();

// Restores the previous clock when it goes out of scope (for tests).
class ScopedClock {
 public:
  explicit ScopedClock(Clock* clock);
  ~ScopedClock();
  ScopedClock(const ScopedClock&) = delete;
  ScopedClock& operator=(const ScopedClock&) = delete;

 private:
  Clock* previous_;
};

}  // namespace platform

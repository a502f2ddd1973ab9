// An echo prober for tests: the addresses in `answering` reply, every other one stays silent; every
// request is recorded. No packet leaves the process.
#pragma once
#include <cstdint>
#include <set>
#include <vector>

#include "platform/netprobe/netprobe.h"

namespace wizard_test {

class FakeProber : public platform::netprobe::EchoProber {
 public:
  bool Open() override {
    ++opened;
    return canOpen;
  }
  bool Echo(std::uint32_t address, const std::uint8_t* payload, std::size_t size, std::int64_t timeoutMs) override {
    probed.push_back(address);
    lastPayload.assign(payload, payload + size);
    lastTimeoutMs = timeoutMs;
    return everyoneAnswers || answering.count(address) != 0;
  }
  void Close() override { ++closed; }

  std::set<std::uint32_t> answering;
  // Every address answers (a network where no address is free).
  bool everyoneAnswers = false;
  bool canOpen = true;
  std::vector<std::uint32_t> probed;
  std::vector<std::uint8_t> lastPayload;
  std::int64_t lastTimeoutMs = 0;
  int opened = 0;
  int closed = 0;
};

// Installs a prober for the life of the object.
class ScopedProber {
 public:
  explicit ScopedProber(FakeProber& prober) { platform::netprobe::SetEchoProber(&prober); }
  ~ScopedProber() { platform::netprobe::SetEchoProber(nullptr); }
  ScopedProber(const ScopedProber&) = delete;
  ScopedProber& operator=(const ScopedProber&) = delete;
};

}  // namespace wizard_test

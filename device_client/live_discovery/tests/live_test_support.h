// Shared set-up of the live discovery tests: a fresh root, the IPX stand-in on ports of this test,
// a virtual clock, and helpers to read the library's fixed-width results.
#pragma once
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <functional>
#include <random>
#include <string>

#include "device_client/access/access.h"
#include "device_client/live_discovery/live_discovery.h"
#include "platform/clock.h"
#include "platform/paths.h"
#include "platform/profile.h"
#include "platform/test_support/temp_root.h"

namespace live_test {

// Virtual time for the library's waits. In real time a wait blocks at most 20 ms when it is a
// 2-second listening round (so 51 quiet rounds pass quickly), 1 s when it is one of the 4-second
// silences that end a query, and 10 s otherwise (a slow emulator is never taken for silence).
class TestClock : public platform::FakeClock {
 public:
  std::int64_t RealWaitMs(std::int64_t ms) override {
    if (ms <= 2000) return std::min<std::int64_t>(ms, 20);
    if (ms <= 4000) return 1000;
    return std::min<std::int64_t>(ms, 10000);
  }
  // Runs after every wait that ran out (so a test can act "during" a silence).
  void Elapsed(std::int64_t ms) override {
    FakeClock::Elapsed(ms);
    if (onElapsed) onElapsed();
  }
  std::function<void()> onElapsed;
};

inline std::string Text(const char* field, std::size_t size) { return std::string(field, strnlen(field, size)); }
inline std::string Text(const std::uint8_t* field, std::size_t size) {
  return Text(reinterpret_cast<const char*>(field), size);
}

inline std::uint8_t RandomByte() {
  static std::random_device rd;
  return static_cast<std::uint8_t>(rd() % 250 + 2);
}

class LiveTest : public ::testing::Test {
 protected:
  static constexpr const char* kNetwork = "0000ABCD";

  void SetUp() override {
    std::random_device rd;
    const std::string ini = platform::JoinPath(platform::WindowsDirectory(), "ipx.ini");
    WritePrivateProfileString("IPX", "Network", kNetwork, ini.c_str());
    // Broadcasts reach every test process on the same ports: tests running side by side take
    // their bases from their process ids, which ctest hands out close together, so two of them
    // rarely share one (a random pick did now and then).
    WritePrivateProfileString("IPX", "UdpPortBase", std::to_string(30000 + ::getpid() % 2500).c_str(), ini.c_str());
    WritePrivateProfileString("IPX", "TcpPortBase", std::to_string(30000 + rd() % 20000).c_str(), ini.c_str());
    WritePrivateProfileString("IPX", "Address", "127.0.0.1", ini.c_str());
    WritePrivateProfileString("IPX", "Broadcast", "127.255.255.255", ini.c_str());
  }
  void TearDown() override {
    PSExit();
    live_discovery::SetUdpSettings({});
  }

  platform::testing::TempRoot root_;
  TestClock clock_;
  platform::ScopedClock useClock_{&clock_};
};

}  // namespace live_test

// Shared set-up of the device-API tests: a fresh root (also the current directory, where
// "utility.log" lives), an emulated box on loopback registered in the access library's device
// table, a fake clock for the client's waits, and the object under test.
#pragma once
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <climits>
#include <cstring>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>

#include "device_client/access/access.h"
#include "device_client/api/print_server_utility.h"
#include "platform/clock.h"
#include "platform/test_support/temp_root.h"
#include "tools/box_emulator/box_emulator.h"

namespace api_test {

using namespace std::chrono_literals;

// Virtual time for the client; a sleep can also wait (in real time) for something the emulated
// box does meanwhile, such as finishing its restart. The real-time cap of socket waits is large,
// so a slow emulator reply is never mistaken for a silent box.
class BoxAwareClock : public platform::FakeClock {
 public:
  explicit BoxAwareClock(std::int64_t realWaitCapMs = 10000)
      : FakeClock(1765368000000LL, realWaitCapMs) {}
  void SleepMs(std::int64_t ms) override {
    FakeClock::SleepMs(ms);
    if (onSleep) onSleep();
  }
  std::function<void()> onSleep;
};

inline DeviceRecord TcpRecord(const std::string& name, const std::string& address) {
  DeviceRecord r{};
  std::memcpy(r.szName, name.data(), std::min<std::size_t>(name.size(), 20));
  r.iProtocol = TYPE_TCPIP;
  std::memcpy(r.address, address.data(), std::min<std::size_t>(address.size(), 19));
  return r;
}

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

inline bool FileExists(const std::string& path) { return ::access(path.c_str(), F_OK) == 0; }

class ApiTest : public ::testing::Test {
 protected:
  // Box options: the restart completes before the "9002:" reply, so no test depends on timing.
  static box_emulator::BoxOptions Options() {
    box_emulator::BoxOptions o;
    o.restartWindow = 0ms;
    return o;
  }

  ApiTest() : box_(Options()) {}

  void SetUp() override {
    char cwd[PATH_MAX];
    ASSERT_NE(::getcwd(cwd, sizeof cwd), nullptr);
    oldCwd_ = cwd;
    ASSERT_EQ(::chdir(root_.path().c_str()), 0);
    name_ = box_.DefaultName();
  }

  // Creates the object (after a test has prepared utility.log) and registers the box.
  void Start() {
    util_ = std::make_unique<CPrintServerUtility>();
    ASSERT_EQ(util_->mInitializeLanComponent(TYPE_TCPIP, 20), 0);
    console_access::ClearDevices();
    ASSERT_EQ(console_access::AppendDevice(TcpRecord(name_, box_.Address())), 0);
  }

  void TearDown() override {
    util_.reset();
    if (!oldCwd_.empty()) {
      EXPECT_EQ(::chdir(oldCwd_.c_str()), 0);
    }
  }

  std::string LogText() { return ReadFile(root_.path() + "/utility.log"); }
  std::string LastRequest() {
    const auto all = box_.Requests();
    return all.empty() ? std::string() : all.back().data;
  }

  platform::testing::TempRoot root_;
  BoxAwareClock clock_;
  platform::ScopedClock useClock_{&clock_};
  box_emulator::Box box_;
  std::unique_ptr<CPrintServerUtility> util_;
  std::string name_;
  std::string oldCwd_;
};

}  // namespace api_test

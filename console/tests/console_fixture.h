// The console in the test process against emulated boxes: a temporary root with "common.ini",
// three boxes on loopback listed in the UDP cache file, scripted message boxes, timers fired by
// hand, and helpers that run other programs (a second console, the event probe).
#pragma once
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "console/pellam_app.h"
#include "platform/test_support/temp_root.h"
#include "tools/box_emulator/box_emulator.h"
#include "ui/services.h"

namespace console_test {

// The application with the scanner's command line of the test's choice.
class TestApp : public CPellamApp {
 public:
  explicit TestApp(const std::string& scanner) { m_szScannerCommand = scanner; }
};

// Runs a program to its end while this process keeps handling its own events; returns its
// standard output (empty when it could not be run or did not end within 30 s).
std::string RunProgram(const std::vector<std::string>& argv);

class ConsoleTest : public ::testing::Test {
 protected:
  ConsoleTest();
  ~ConsoleTest() override;

  // Boxes named PS..., device names "FRONT DESK", "LAB", "STORE"; all listed in ss_udp.dat.
  void MakeBoxes(int count = 3);
  box_emulator::Box& BoxNamed(const std::string& defaultName);
  // The device name of the box with this default name.
  std::string NameOfBox(const std::string& defaultName) { return BoxNamed(defaultName).DeviceName(); }
  std::vector<std::string> BoxDefaults() const;
  void WriteConnected(int tcpip, int ipxspx, int netbeui);
  // InitInstance of a fresh application; the result.
  bool Start(const std::string& scanner = "true");
  void Stop();
  // One tick of the view's timer (the first browse runs on it).
  void Tick();
  // The state of the pause event as another process sees it.
  static std::string PauseEventSeenOutside();

  CPellamView& View();
  CMainFrame& Frame();

  platform::testing::TempRoot root_;
  std::string oldCwd_;
  ui::ScriptedMessageSink sink_;
  ui::ManualTimerService timers_;
  std::vector<std::unique_ptr<box_emulator::Box>> boxes_;
  std::unique_ptr<TestApp> app_;
  bool started_ = false;
};

}  // namespace console_test

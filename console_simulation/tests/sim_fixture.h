// A fresh platform root per test with helpers to write and read the simulation's settings file and
// the other files of the Windows directory.
#pragma once
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "console_simulation/simulation.h"
#include "platform/paths.h"
#include "platform/test_support/temp_root.h"

namespace sim_test {

inline std::string WindowsFile(const std::string& name) {
  return platform::JoinPath(platform::WindowsDirectory(), name);
}

inline void WriteFile(const std::string& path, const std::string& content) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << content;
}

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

class SimulationTest : public ::testing::Test {
 protected:
  void WriteSettings(const std::string& content) {
    WriteFile(WindowsFile(CSimulation::kSettingsFileName), content);
  }
  std::string Settings() const { return ReadFile(WindowsFile(CSimulation::kSettingsFileName)); }

  platform::testing::TempRoot root_;
  CSimulation sim_;
};

}  // namespace sim_test

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "device_client/settings/com_method.h"
#include "platform/clock.h"
#include "platform/paths.h"
#include "platform/test_support/temp_root.h"

namespace {

namespace fs = std::filesystem;

void WriteCommonIni(const std::string& content) {
  std::ofstream out(platform::JoinPath(platform::WindowsDirectory(), "common.ini"),
                    std::ios::binary | std::ios::trunc);
  out << content;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

// What every getter of the settings gives.
struct Settings {
  int simulation, debugLog, customer, timeOut, refreshDelay, tcpip, ipxspx, netbeui;
};

void ExpectSettings(const Settings& want) {
  EXPECT_EQ(CComMethod::IsSimulation(), want.simulation);
  EXPECT_EQ(CComMethod::IsDebugLogOn(), want.debugLog);
  EXPECT_EQ(CComMethod::GetCustomer(), want.customer);
  EXPECT_EQ(CComMethod::GetTimeOut(), want.timeOut);
  EXPECT_EQ(CComMethod::GetRefreshDelay(), want.refreshDelay);
  // Each output starts unlike the value expected, so the call is seen to set it.
  int tcpip = want.tcpip - 1, ipxspx = want.ipxspx - 1, netbeui = want.netbeui - 1;
  CComMethod::GetConnectedProtocols(tcpip, ipxspx, netbeui);
  EXPECT_EQ(tcpip, want.tcpip);
  EXPECT_EQ(ipxspx, want.ipxspx);
  EXPECT_EQ(netbeui, want.netbeui);
}

TEST(ComMethodSettings, MissingFileGivesDefaults) {
  platform::testing::TempRoot root;
  ExpectSettings({.simulation = 0, .debugLog = 0, .customer = 0, .timeOut = 0, .refreshDelay = 0,
                  .tcpip = 0, .ipxspx = 0, .netbeui = 0});
}

TEST(ComMethodSettings, ReadsEveryKeyOfItsSection) {
  platform::testing::TempRoot root;
  WriteCommonIni(
      "[general]\r\nsimulation=T\r\ndebuglog=T\r\ncustomer=7\r\niTimeOut=5000\r\n"
      "RefreshDelay=20\r\n[ConnectedProtocol]\r\nbTCPIP=1\r\nbIPXSPX=2\r\nbNETBEUI=3\r\n");
  ExpectSettings({.simulation = 1, .debugLog = 1, .customer = 7, .timeOut = 5000,
                  .refreshDelay = 20, .tcpip = 1, .ipxspx = 2, .netbeui = 3});
}

TEST(ComMethodSettings, OnlyCapitalTSwitchesOn) {
  platform::testing::TempRoot root;
  struct Case {
    const char* value;
    int expected;
  };
  const Case cases[] = {{"T", 1}, {"t", 0}, {"true", 0}, {"TRUE", 0}, {"TT", 0},
                        {"F", 0}, {"1", 0}, {"", 0}};
  for (const Case& c : cases) {
    WriteCommonIni(std::string("[general]\nsimulation=") + c.value + "\ndebuglog=" + c.value +
                   "\n");
    EXPECT_EQ(CComMethod::IsDebugLogOn(), c.expected) << "value '" << c.value << "'";
    EXPECT_EQ(CComMethod::IsSimulation(), c.expected) << "value '" << c.value << "'";
  }
}

TEST(ComMethodSettings, SettingsAreReadAfreshOnEveryCall) {
  platform::testing::TempRoot root;
  WriteCommonIni("[general]\niTimeOut=100\ndebuglog=T\n");
  EXPECT_EQ(CComMethod::GetTimeOut(), 100);
  EXPECT_EQ(CComMethod::IsDebugLogOn(), 1);
  WriteCommonIni("[general]\niTimeOut=250\n");
  EXPECT_EQ(CComMethod::GetTimeOut(), 250);
  EXPECT_EQ(CComMethod::IsDebugLogOn(), 0);
}

class ComMethodLog : public ::testing::Test {
 protected:
  std::string LogPath(const char* name) const { return platform::JoinPath(root_.path(), name); }
  void Configure(const std::string& debuglog, const std::string& fileName) {
    WriteCommonIni("[general]\ndebuglog=" + debuglog + "\ndebuglogfilename=" + fileName + "\n");
  }
  platform::testing::TempRoot root_;
};

TEST_F(ComMethodLog, AppendsEachLineWithALineFeedWhenOn) {
  const std::string path = LogPath("debug.log");
  Configure("T", path);
  EXPECT_EQ(CComMethod::WriteLog("first"), 1);
  EXPECT_EQ(CComMethod::WriteLog("second"), 1);
  EXPECT_EQ(ReadFile(path), "first\nsecond\n");
}

TEST_F(ComMethodLog, WritesNothingWhenOffOrUnnamed) {
  const std::string path = LogPath("debug.log");
  Configure("t", path);
  EXPECT_EQ(CComMethod::WriteLog("line"), 0);
  Configure("true", path);
  EXPECT_EQ(CComMethod::WriteLog("line"), 0);
  EXPECT_FALSE(fs::exists(path));
  Configure("T", "");
  EXPECT_EQ(CComMethod::WriteLog("line"), 0);
}

TEST_F(ComMethodLog, UnopenableFileWritesNothingAndDoesNotFail) {
  const std::string cases[] = {root_.path(),  // a directory
                               LogPath("missing-dir/debug.log")};
  for (const std::string& path : cases) {
    Configure("T", path);
    EXPECT_EQ(CComMethod::WriteLog("line"), 0) << path;
  }
  EXPECT_FALSE(fs::exists(LogPath("missing-dir")));
}

TEST_F(ComMethodLog, AFifoWithoutAReaderWritesNothingAndDoesNotBlock) {
  const std::string path = LogPath("debug.fifo");
  ASSERT_EQ(mkfifo(path.c_str(), 0644), 0);
  Configure("T", path);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    alarm(30);  // a log write that blocks is killed, so the test fails instead of hanging
    _exit(CComMethod::WriteLog("line") == 0 ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status)) << "the log write blocked or crashed";
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST_F(ComMethodLog, AVeryLongLineIsWrittenWhole) {
  const std::string path = LogPath("debug.log");
  Configure("T", path);
  std::string longLine(400000, 'x');
  longLine += "%s%n end";
  EXPECT_EQ(CComMethod::WriteLog(longLine), 1);
  EXPECT_EQ(ReadFile(path), longLine + "\n");
}

TEST_F(ComMethodLog, FileNameAndSwitchAreReadAgainForEveryLine) {
  const std::string first = LogPath("one.log");
  const std::string second = LogPath("two.log");
  Configure("T", first);
  CComMethod::WriteLog("a");
  Configure("T", second);
  CComMethod::WriteLog("b");
  Configure("F", second);
  CComMethod::WriteLog("c");
  EXPECT_EQ(ReadFile(first), "a\n");
  EXPECT_EQ(ReadFile(second), "b\n");
}

TEST_F(ComMethodLog, RelativeFileNameIsRelativeToTheCurrentDirectory) {
  const fs::path previous = fs::current_path();
  const std::string workDir = LogPath("work");
  fs::create_directories(workDir);
  fs::current_path(workDir);
  Configure("T", "relative.log");
  const int written = CComMethod::WriteLog("here");
  fs::current_path(previous);
  EXPECT_EQ(written, 1);
  EXPECT_EQ(ReadFile(platform::JoinPath(workDir, "relative.log")), "here\n");
}

TEST(ComMethodLoginTime, FormatsTheClocksLocalTime) {
  const std::int64_t epochMs = 1765368000000LL + 3723000;  // some seconds past a round hour
  platform::FakeClock fake(epochMs);
  platform::ScopedClock scoped(&fake);
  std::time_t t = static_cast<std::time_t>(epochMs / 1000);
  std::tm tm{};
  localtime_r(&t, &tm);
  const std::string expected = "login at " + std::to_string(tm.tm_year + 1900) + "/" +
                               std::to_string(tm.tm_mon + 1) + "/" + std::to_string(tm.tm_mday) +
                               "  " + std::to_string(tm.tm_hour) + ":" +
                               std::to_string(tm.tm_min) + ":" + std::to_string(tm.tm_sec) + " \n";
  std::string text;
  CComMethod::FormatLoginTime(text);
  EXPECT_EQ(text, expected);

  char big[128];
  CComMethod::FormatLoginTime(big, sizeof big);
  EXPECT_EQ(std::string(big), expected);

  char small[10] = "xxxxxxxxx";
  CComMethod::FormatLoginTime(small, sizeof small);
  EXPECT_EQ(std::string(small), "login at ");
  char untouched[2] = "u";
  CComMethod::FormatLoginTime(untouched, 0);
  EXPECT_EQ(untouched[0], 'u');
}

}  // namespace

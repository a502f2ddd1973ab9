// The setup launcher and the service-removal utility: their logic through fake back-ends, and the
// two programs run as they ship, with a fake installer and a fake systemctl.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "install_helpers/launcher.h"
#include "install_helpers/service_control.h"
#include "platform/process/process.h"
#include "platform/test_support/temp_root.h"
#include "platform/test_support/watched_program.h"

namespace {

using install_helpers::NullServiceControl;

std::string ReadFile(const std::string& path) {
  std::ifstream in(path);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

void WriteScript(const std::string& path, const std::string& text) {
  std::ofstream(path) << text;
  ::chmod(path.c_str(), 0755);
}

// Runs a program to its end; its exit code (see WatchedProgram::ExitCode).
int RunProgram(const std::string& program) { return platform::testing::WatchedProgram({program}).WaitForExit(); }

// Waits (bounded) until the file holds a whole line.
bool WaitForLine(const std::string& path) {
  for (int i = 0; i < 1000; ++i) {
    const std::string text = ReadFile(path);
    if (!text.empty() && text.back() == '\n') return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return false;
}

TEST(Launcher, StartsTheInstallerBesideItselfDetachedAndAlwaysEndsWithZero) {
  EXPECT_EQ(install_helpers::InstallerPath("/media/install"), "/media/install/Utility/Setup");
  EXPECT_EQ(install_helpers::InstallerPath(""), "");

  struct Case {
    std::string dir;
    unsigned startResult;
    std::vector<std::string> started;
  } cases[] = {
      {"/media/install", WINEXEC_STARTED, {"\"/media/install/Utility/Setup\""}},
      {"/media/my install", WINEXEC_FILE_NOT_FOUND, {"\"/media/my install/Utility/Setup\""}},  // not reported
      {"", WINEXEC_STARTED, {}},                  // the launcher's own place is unknown
      {"/media/odd\"dir", WINEXEC_STARTED, {}},   // cannot be quoted on a command line
  };
  for (const Case& c : cases) {
    std::vector<std::string> started;
    unsigned show = 99;
    const int code = install_helpers::RunLauncher(c.dir, [&](const char* line, unsigned s) {
      started.emplace_back(line);
      show = s;
      return c.startResult;
    });
    EXPECT_EQ(code, 0) << c.dir;
    EXPECT_EQ(started, c.started) << c.dir;
    if (!started.empty()) {
      EXPECT_EQ(show, SW_SHOWNORMAL);
    }
  }
}

TEST(Launcher, TheShippedProgramStartsUtilitySetupAndDoesNotWaitForIt) {
  platform::testing::TempRoot root;
  const std::string dir = root.path() + "/media";
  ::mkdir(dir.c_str(), 0755);
  const std::string launcher = dir + "/orvane";
  std::ifstream src(PSA_ORVANE, std::ios::binary);
  std::ofstream(launcher, std::ios::binary) << src.rdbuf();
  ::chmod(launcher.c_str(), 0755);

  // No installer yet: the launcher still ends at once with 0.
  EXPECT_EQ(RunProgram(launcher), 0);

  ::mkdir((dir + "/Utility").c_str(), 0755);
  const std::string marker = root.path() + "/installer-ran";
  // The installer outlives the launcher: it goes on only once the test has seen the launcher end
  // (and gives up after ten seconds, so it never stays behind).
  const std::string release = root.path() + "/release";
  WriteScript(dir + "/Utility/Setup", "#!/bin/sh\nPATH=/usr/bin:/bin\necho started > " + marker +
                                          "\ni=0\nwhile [ ! -e " + release + " ] && [ $i -lt 200 ]; do sleep 0.05; i=$((i+1)); done\n"
                                          "echo done >> " + marker + "\n");
  EXPECT_EQ(RunProgram(launcher), 0);
  EXPECT_TRUE(WaitForLine(marker));
  EXPECT_EQ(ReadFile(marker), "started\n");  // the launcher ended before its installer
  std::ofstream(release) << "x";
  for (int i = 0; i < 1000 && ReadFile(marker) != "started\ndone\n"; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_EQ(ReadFile(marker), "started\ndone\n");
}

TEST(ServiceRemoval, StopsThenRemovesAndReportsOnlyTheManager) {
  struct Case {
    const char* what;
    bool manager, installed, running;
    int exitCode;
    std::vector<std::string> calls;
    bool installedAfter;
  } cases[] = {
      {"running service", true, true, true, 0, {"open", "stop Trevalk", "delete Trevalk", "close"}, false},
      {"stopped service: the stop fails, the removal still runs", true, true, false, 0,
       {"open", "stop Trevalk", "delete Trevalk", "close"}, false},
      {"service not installed", true, false, false, 0, {"open", "stop Trevalk", "delete Trevalk", "close"}, false},
      {"no service manager", false, true, true, 1, {"open"}, true},
  };
  for (const Case& c : cases) {
    NullServiceControl control;
    control.managerAvailable = c.manager;
    control.installed = c.installed;
    control.running = c.running;
    EXPECT_EQ(install_helpers::RemoveNdisHookService(control), c.exitCode) << c.what;
    EXPECT_EQ(control.calls, c.calls) << c.what;
    EXPECT_EQ(control.installed, c.installedAfter) << c.what;
  }
}

TEST(ServiceRemoval, SystemdBackEndAsksForANonBlockingStopThenDisables) {
  EXPECT_EQ(install_helpers::SystemdServiceControl::UnitName("Trevalk"), "trevalk.service");
  platform::testing::TempRoot root;
  const std::string log = root.path() + "/systemctl.log";
  const std::string fake = root.path() + "/systemctl";
  struct Case {
    const char* what;
    std::string script;  // body after the log line
    int exitCode;
    std::string calls;
  } cases[] = {
      {"manager answers", "exit 0\n", 0,
       "show-environment\nstop --no-block trevalk.service\ndisable trevalk.service\n"},
      {"unit missing: every call but the query fails", "[ \"$1\" = show-environment ] && exit 0\nexit 5\n", 0,
       "show-environment\nstop --no-block trevalk.service\ndisable trevalk.service\n"},
      {"manager refuses us", "exit 1\n", 1, "show-environment\n"},
  };
  for (const Case& c : cases) {
    ::unlink(log.c_str());
    WriteScript(fake, "#!/bin/sh\necho \"$*\" >> " + log + "\n" + c.script);
    ASSERT_EQ(::setenv("PSADMIN_SYSTEMCTL", fake.c_str(), 1), 0);
    EXPECT_EQ(RunProgram(PSA_HARBEK), c.exitCode) << c.what;
    EXPECT_EQ(ReadFile(log), c.calls) << c.what;
  }
  // No systemctl at all.
  ASSERT_EQ(::setenv("PSADMIN_SYSTEMCTL", (root.path() + "/missing").c_str(), 1), 0);
  EXPECT_EQ(RunProgram(PSA_HARBEK), 1);
  ::unsetenv("PSADMIN_SYSTEMCTL");
}

}  // namespace

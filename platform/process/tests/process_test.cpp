#include "platform/process/process.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/clock.h"
#include "platform/named_objects/named_objects.h"
#include "platform/test_support/lingering_program.h"
#include "platform/test_support/temp_root.h"

namespace {

void WriteFile(const std::string& path, const std::string& text, mode_t mode) {
  std::ofstream(path) << text;
  ::chmod(path.c_str(), mode);
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// Waits (bounded) until `path` holds a line ending in a line feed.
bool WaitForFile(const std::string& path) {
  for (int i = 0; i < 1000; ++i) {
    std::string text = ReadFile(path);
    if (!text.empty() && text.back() == '\n') return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return false;
}

// A script that records its arguments, pid, parent pid and session id, then waits to be killed.
std::string RecorderScript(const std::string& out) {
  return "#!/bin/sh\nPATH=/usr/bin:/bin\n"
         "sid=$(cut -d' ' -f6 /proc/$$/stat)\n"
         "ppid=$(cut -d' ' -f4 /proc/$$/stat)\n"
         "echo \"$$ $ppid $sid $*\" > " + out + ".tmp\n"
         "mv " + out + ".tmp " + out + "\n"
         "exec sleep 30\n";
}

struct Started {
  pid_t pid = 0, ppid = 0, sid = 0;
  std::string args;
};

Started ParseRecord(const std::string& text) {
  Started s;
  std::istringstream in(text);
  in >> s.pid >> s.ppid >> s.sid;
  std::getline(in, s.args);
  if (!s.args.empty() && s.args[0] == ' ') s.args.erase(0, 1);
  return s;
}

TEST(WinExecTest, ErrorCodes) {
  platform::testing::TempRoot root;
  const std::string dir = root.path();
  WriteFile(dir + "/plain.txt", "not a program\n", 0644);
  WriteFile(dir + "/garbage", "\x01\x02\x03 not a program\n", 0755);
  ::mkdir((dir + "/folder").c_str(), 0755);
  struct Case {
    std::string commandLine;
    UINT expected;
  } cases[] = {
      {dir + "/missing-program", WINEXEC_FILE_NOT_FOUND},
      {dir + "/no-such-dir/program", WINEXEC_PATH_NOT_FOUND},
      {"no-such-program-anywhere-4711", WINEXEC_FILE_NOT_FOUND},
      {dir + "/plain.txt", WINEXEC_BAD_FORMAT},
      {dir + "/garbage", WINEXEC_BAD_FORMAT},
      {dir + "/folder", WINEXEC_BAD_FORMAT},
      {"", WINEXEC_FILE_NOT_FOUND},
  };
  for (const Case& c : cases) EXPECT_EQ(WinExec(c.commandLine.c_str(), SW_SHOW), c.expected) << c.commandLine;
}

TEST(WinExecTest, StartsDetachedWithArgumentsAndNoInheritedHandles) {
  platform::testing::TempRoot root;
  const std::string script = root.path() + "/recorder";
  const std::string out = root.path() + "/record";
  WriteFile(script, RecorderScript(out), 0755);

  HANDLE presence = CreateEvent(TRUE, TRUE, "Print Server Tollard Event");
  ASSERT_NE(presence, nullptr);
  UINT result = WinExec(("\"" + script + "\" 1 \"two words\"").c_str(), SW_SHOW);
  EXPECT_GT(result, 31u);
  ASSERT_TRUE(WaitForFile(out));
  Started child = ParseRecord(ReadFile(out));
  EXPECT_EQ(child.args, "1 two words");
  EXPECT_NE(child.ppid, ::getpid());  // reaped through the intermediate process
  EXPECT_EQ(child.sid, child.pid);    // a session of its own

  // The child holds no handle of the event: closing ours ends it.
  CloseHandle(presence);
  EXPECT_EQ(OpenEvent(EVENT_MODIFY_STATE, FALSE, "Print Server Tollard Event"), nullptr);
  ::kill(child.pid, SIGKILL);
}

TEST(WinExecTest, SearchesProgramDirectoryBeforePath) {
  platform::testing::TempRoot root;
  const std::string name = "psa_winexec_probe_" + std::to_string(::getpid());
  const std::string pathDir = root.path() + "/bin";
  ::mkdir(pathDir.c_str(), 0755);
  const std::string own = platform::ProgramDirectory() + "/" + name;
  const std::string outOwn = root.path() + "/own";
  const std::string outPath = root.path() + "/path";
  WriteFile(pathDir + "/" + name, RecorderScript(outPath), 0755);

  const std::string savedPath = std::getenv("PATH") ? std::getenv("PATH") : "";
  ::setenv("PATH", pathDir.c_str(), 1);
  EXPECT_GT(WinExec((name + " via-path").c_str(), SW_SHOW), 31u);
  ASSERT_TRUE(WaitForFile(outPath));
  ::kill(ParseRecord(ReadFile(outPath)).pid, SIGKILL);

  WriteFile(own, RecorderScript(outOwn), 0755);
  EXPECT_GT(WinExec((name + " via-own").c_str(), SW_SHOW), 31u);
  bool started = WaitForFile(outOwn);
  ::unlink(own.c_str());
  ::setenv("PATH", savedPath.c_str(), 1);
  ASSERT_TRUE(started);
  Started child = ParseRecord(ReadFile(outOwn));
  EXPECT_EQ(child.args, "via-own");
  ::kill(child.pid, SIGKILL);
}

// A system tool is looked up on $PATH alone, the first file there that may be executed: a copy in
// the program's own folder, or a file on the way that is not executable, is passed over.
TEST(FindToolTest, TakesTheFirstExecutableOnPathAndNeverTheProgramsFolder) {
  platform::testing::TempRoot root;
  const std::string name = "psa_tool_probe_" + std::to_string(::getpid());
  const std::string first = root.path() + "/first", second = root.path() + "/second";
  ::mkdir(first.c_str(), 0755);
  ::mkdir(second.c_str(), 0755);
  WriteFile(first + "/" + name, "#!/bin/sh\n", 0644);
  WriteFile(second + "/" + name, "#!/bin/sh\n", 0755);
  const std::string own = platform::ProgramDirectory() + "/" + name;
  WriteFile(own, "#!/bin/sh\n", 0755);

  const std::string savedPath = std::getenv("PATH") ? std::getenv("PATH") : "";
  ::setenv("PATH", (first + ":" + second).c_str(), 1);
  const std::string tool = platform::FindTool(name);
  const std::string program = platform::FindProgram(name);
  const std::string missing = platform::FindTool(name + "_missing");
  ::setenv("PATH", savedPath.c_str(), 1);
  ::unlink(own.c_str());
  EXPECT_EQ(tool, second + "/" + name);
  EXPECT_EQ(program, own);
  EXPECT_EQ(missing, "");
  EXPECT_EQ(platform::FindTool("/no/such/folder/tool"), "/no/such/folder/tool");
}

// WinExecAndWait tells how the program ended when it ends within the bound; one still running at
// the bound runs on, holding nothing of the caller's, and the wait took the bound on the clock.
TEST(WinExecAndWaitTest, ReportsTheEndWithinTheBoundAndLetsALongerProgramRunOn) {
  platform::testing::TempRoot root;
  const std::string dir = root.path();
  struct Case {
    const char* name;
    std::string script;  // empty: no program there
    UINT started;
    bool ended;
    int exitCode;
  };
  const std::vector<Case> cases = {
      {"ends well", "exit 0\n", WINEXEC_STARTED, true, 0},
      {"fails", "echo 'no method available' >&2\nexit 3\n", WINEXEC_STARTED, true, 3},
      {"killed", "kill -KILL $$\n", WINEXEC_STARTED, true, -1},
      {"runs past the bound", platform::testing::LingeringScript(dir), WINEXEC_STARTED, false, -1},
      {"not there", "", WINEXEC_FILE_NOT_FOUND, false, -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string program = dir + "/program";
    ::unlink(program.c_str());
    if (!c.script.empty()) WriteFile(program, "#!/bin/sh\nPATH=/usr/bin:/bin\n" + c.script, 0755);
    // A program that ends has its real time (up to 10 s) to do so; the one that runs on is left
    // after 100 ms of real time.
    platform::FakeClock clock(1765368000000LL, c.ended ? 10000 : 100);
    platform::ScopedClock useClock(&clock);
    HANDLE presence = CreateEvent(TRUE, TRUE, "Print Server Tollard Event");
    ASSERT_NE(presence, nullptr);
    platform::ProgramEnd end;
    end.exitCode = 99;
    EXPECT_EQ(platform::WinExecAndWait("\"" + program + "\" page", 3000, end), c.started);
    EXPECT_EQ(end.ended, c.ended);
    EXPECT_EQ(end.exitCode, c.exitCode);
    if (c.started == WINEXEC_STARTED && !c.ended) {
      EXPECT_EQ(clock.WaitedMs(), 3000);
      // Neither the program nor the process watching it holds the caller's event.
      CloseHandle(presence);
      EXPECT_EQ(OpenEvent(EVENT_MODIFY_STATE, FALSE, "Print Server Tollard Event"), nullptr);
      const pid_t pid = platform::testing::LingeringPid(dir);
      ASSERT_GT(pid, 0);
      EXPECT_EQ(::kill(pid, 0), 0);  // still running
      // Told to stop, it ends before its folder goes.
      EXPECT_TRUE(platform::testing::StopLingering(dir));
    } else {
      EXPECT_LT(clock.WaitedMs(), 3000);
      CloseHandle(presence);
    }
  }
}

}  // namespace

// A real CUPS server prints through the backend: cupsd from the system's packages runs in a
// temporary directory on a free port with the backend "brandel" as its only backend; a queue is
// added with lpadmin, a file is printed with lp, and the emulated box's sink must hold exactly the
// file's bytes (and the banner page once the port asks for one).
//
// Where cupsd is not installed or cannot run (an unprivileged account in a sandbox), the test is
// skipped with the reason. Run as root it must pass.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/netbios/tests/nb_test_env.h"
#include "platform/paths.h"
#include "platform/process/process.h"
#include "platform/registry.h"
#include "platform/spooler/spooler.h"
#include "platform/test_support/temp_root.h"
#include "platform/test_support/watched_program.h"
#include "print_monitor/monitor.h"
#include "print_monitor/tests/emulated_print_box.h"

namespace {

using platform::testing::WatchedProgram;

using monitor_test::ReadFile;

void WriteFile(const std::string& path, const std::string& data, mode_t mode = 0644) {
  {
    std::ofstream out(path, std::ios::binary);
    out << data;
  }
  ::chmod(path.c_str(), mode);
}

std::string Find(const std::string& program) {
  for (const char* dir : {"/usr/sbin", "/usr/bin", "/sbin", "/bin", "/usr/local/sbin", "/usr/local/bin"}) {
    const std::string p = std::string(dir) + "/" + program;
    if (::access(p.c_str(), X_OK) == 0) return p;
  }
  return {};
}

// Polls `done` every 50 ms for at most `seconds` (real time: cupsd and the box keep real time).
template <typename F>
bool WaitFor(F done, int seconds) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  while (!done()) {
    if (std::chrono::steady_clock::now() > until) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return true;
}

class RealCups : public ::testing::Test {
 protected:
  void SetUp() override {
    cupsd_ = Find("cupsd");
    lpadmin_ = Find("lpadmin");
    lp_ = Find("lp");
    lpstat_ = Find("lpstat");
    if (cupsd_.empty() || lpadmin_.empty() || lp_.empty() || lpstat_.empty())
      GTEST_SKIP() << "cupsd, lpadmin, lp or lpstat is not installed (packages cups-daemon, cups-client)";
    emu_ = std::make_unique<monitor_test::EmulatedPrintBox>(root_.path(), ports_, "CUPSBOX", 8192);
    box_ = emu_->box.get();
    path_ = emu_->path.get();
    // Set up as the installation steps say: cupsd runs the backend as root, which uses a root and a
    // monitor library only when root alone can change them (the root of a test is its own, 0700).
    const std::string lib = root_.path() + "/lib";
    platform::MakeDirectories(lib);
    ::chmod(lib.c_str(), 0755);
    WriteFile(lib + "/libbrandel.so", ReadFile(platform::ProgramDirectory() + "/../lib/libbrandel.so"), 0644);
    ASSERT_TRUE(platform::spooler::RegisterMonitor("Vardon Print Server", lib + "/libbrandel.so"));
    SavePort(0, "");
    StartCups();
  }
  void TearDown() override {
    if (cups_) cups_->Terminate();
    emu_.reset();
  }
  void SavePort(DWORD banner, const char* user) {
    brandel::PortRegistryData record;
    std::strcpy(record.szDeviceName, "CUPSBOX");
    record.dwBannerPage = banner;
    std::strncpy(record.szUserName, user, brandel::kMaxUserName);
    ASSERT_EQ(brandel::SavePortSettings(nullptr, "CUPS_P1", record, true), 1);
  }
  void StartCups() {
    const std::string dir = root_.path() + "/cups";
    for (const char* sub : {"conf", "serverbin/backend", "log", "cache", "state", "spool/tmp"})
      platform::MakeDirectories(dir + "/" + sub);
    // The CUPS helper programs of the system, our backend as the only backend (mode 0700: run
    // with the server's own rights, so it can read the test's root).
    ASSERT_EQ(::symlink("/usr/lib/cups/daemon", (dir + "/serverbin/daemon").c_str()), 0);
    WriteFile(dir + "/serverbin/backend/brandel", ReadFile(platform::ProgramDirectory() + "/brandel"), 0700);
    port_ = nbtest::FreePort(SOCK_STREAM);
    server_ = "127.0.0.1:" + std::to_string(port_);
    WriteFile(dir + "/conf/cupsd.conf",
              "Listen " + server_ + "\nLogLevel debug\nBrowsing Off\nWebInterface No\nDefaultAuthType None\n"
              "<Location />\n  Order allow,deny\n  Allow all\n</Location>\n"
              "<Policy default>\n  <Limit All>\n    Order deny,allow\n  </Limit>\n</Policy>\n");
    std::string files = "ServerRoot " + dir + "/conf\nServerBin " + dir + "/serverbin\nDataDir /usr/share/cups\n"
                        "AccessLog " + dir + "/log/access_log\nErrorLog " + dir + "/log/error_log\n"
                        "PageLog " + dir + "/log/page_log\nCacheDir " + dir + "/cache\nStateDir " + dir + "/state\n"
                        "RequestRoot " + dir + "/spool\nTempDir " + dir + "/spool/tmp\nSandboxing Relaxed\n"
                        "SetEnv PSADMIN_ROOT " + root_.path() + "\nSetEnv PSADMIN_NBD " + platform::ProgramDirectory() + "/psa_nbd\n"
                        "SetEnv PSADMIN_NBD_MACHINE " + root_.machineNetbios() + "\n";
    if (::geteuid() != 0) files += "User " + std::to_string(::geteuid()) + "\nGroup " + std::to_string(::getegid()) + "\n";
    WriteFile(dir + "/conf/cups-files.conf", files);
    errorLog_ = dir + "/log/error_log";
    cups_ = std::make_unique<WatchedProgram>(
        std::vector<std::string>{cupsd_, "-f", "-c", dir + "/conf/cupsd.conf", "-s", dir + "/conf/cups-files.conf"});
    const bool up = WaitFor(
        [&] {
          WatchedProgram s({lpstat_, "-h", server_, "-r"});
          return s.WaitForExit() == 0 && s.Output().find("is running") != std::string::npos &&
                 s.Output().find("not") == std::string::npos;
        },
        30);
    if (!up) {
      const std::string why = cups_->Error() + ReadFile(errorLog_);
      if (::geteuid() != 0) GTEST_SKIP() << "cupsd cannot run here without root: " << why;
      FAIL() << "cupsd did not start: " << why;
    }
    WatchedProgram add({lpadmin_, "-h", server_, "-p", "brandelq", "-E", "-v", "brandel:/CUPS_P1"});
    if (add.WaitForExit() != 0) {
      if (::geteuid() != 0) GTEST_SKIP() << "lpadmin refused without root: " << add.Error();
      FAIL() << "lpadmin failed: " << add.Error();
    }
  }
  // Prints `file` with lp and waits until the queue is empty again.
  void PrintAndWait(const std::string& file, std::size_t expectedSinkSize) {
    WatchedProgram job({lp_, "-h", server_, "-d", "brandelq", "-o", "raw", file});
    ASSERT_EQ(job.WaitForExit(), 0) << job.Error();
    const bool printed = WaitFor([&] { return ReadFile(path_->SinkPath(box_, 0)).size() >= expectedSinkSize; }, 90);
    if (!printed) {
      std::string log = ReadFile(errorLog_);
      std::string lines;
      std::istringstream in(log);
      for (std::string line; std::getline(in, line);)
        if (line.find("envp") != std::string::npos || line.find("E [") == 0 || line.find("SetEnv") != std::string::npos) lines += line + "\n";
      FAIL() << lines;
    }
    ASSERT_TRUE(WaitFor(
        [&] {
          WatchedProgram q({lpstat_, "-h", server_, "-o", "brandelq"});
          return q.WaitForExit() == 0 && q.Output().empty();
        },
        60));
  }

  platform::testing::TempRoot root_;
  nbtest::Ports ports_;
  std::unique_ptr<monitor_test::EmulatedPrintBox> emu_;
  box_emulator::Box* box_ = nullptr;
  box_emulator::PrintPath* path_ = nullptr;
  std::unique_ptr<WatchedProgram> cups_;
  std::string cupsd_, lpadmin_, lp_, lpstat_, server_, errorLog_;
  std::uint16_t port_ = 0;
};

TEST_F(RealCups, LpPrintsTheFileByteForByteAndTheBannerWhenAsked) {
  std::mt19937 rng(5);
  std::string data(300000, '\0');
  for (char& c : data) c = static_cast<char>(rng() & 0xFF);
  const std::string file = root_.path() + "/job.bin";
  WriteFile(file, data);
  PrintAndWait(file, data.size());
  std::string sink = ReadFile(path_->SinkPath(box_, 0));
  EXPECT_EQ(sink.size(), data.size());
  EXPECT_TRUE(sink == data);
  // The banner page switched on: it comes before the next job's bytes.
  SavePort(1, "cups");
  char banner[brandel::kBannerSize];
  const std::size_t bannerSize = brandel::BuildBanner(false, "cups", banner);
  PrintAndWait(file, 2 * data.size() + bannerSize);
  sink = ReadFile(path_->SinkPath(box_, 0));
  EXPECT_EQ(sink.size(), 2 * data.size() + bannerSize);
  EXPECT_TRUE(sink == data + std::string(banner, bannerSize) + data);
}

}  // namespace

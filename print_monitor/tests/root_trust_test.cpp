// Run as root (CUPS runs the backend so), the backend and psa_spooler use only a platform root,
// registry store and monitor library that root alone can change: anything another user owns or
// may write, on the way to them too, stops the queue with the reason. Needs root to hand files to
// another user; skipped otherwise.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "platform/netbios/tests/nb_test_env.h"
#include "platform/paths.h"
#include "platform/process/process.h"
#include "platform/spooler/spooler.h"
#include "platform/test_support/temp_root.h"
#include "platform/test_support/watched_program.h"

namespace {

using platform::testing::WatchedProgram;

constexpr uid_t kOtherUser = 65534;
constexpr int kCupsStopQueue = 4;

void CopyFile(const std::string& from, const std::string& to, mode_t mode) {
  {
    std::ifstream in(from, std::ios::binary);
    std::ofstream out(to, std::ios::binary);
    out << in.rdbuf();
  }
  ::chmod(to.c_str(), mode);
}

// A root set up as the installation steps say: everything root's, writable by root alone, the
// monitor's library in a folder of its own, and one port.
class TrustedRoot {
 public:
  TrustedRoot() {
    ::chmod(root_.path().c_str(), 0755);
    library_ = root_.path() + "/lib/libbrandel.so";
    platform::MakeDirectories(root_.path() + "/lib");
    ::chmod((root_.path() + "/lib").c_str(), 0755);
    CopyFile(platform::ProgramDirectory() + "/../lib/libbrandel.so", library_, 0644);
    ok_ = platform::spooler::RegisterMonitor("Vardon Print Server", library_);
    platform::MakeDirectories(root_.path() + "/netbios");
    // The monitor's NetBIOS on a loopback address and private ports of this test.
    nbtest::WriteConfig(root_.path(), nbtest::Ports{}, {"127.0.0.34"});
  }
  bool ok() const { return ok_; }
  const std::string& path() const { return root_.path(); }
  const std::string& library() const { return library_; }

 private:
  platform::testing::TempRoot root_;
  std::string library_;
  bool ok_ = false;
};

struct Outcome {
  int rc;
  std::string err;
};

Outcome Program(const std::string& program, const std::vector<std::string>& args, const std::vector<std::string>& env) {
  std::vector<std::string> argv = {platform::ProgramDirectory() + "/" + program};
  argv.insert(argv.end(), args.begin(), args.end());
  WatchedProgram p(argv, {.extraEnvironment = env});
  const int rc = p.WaitForExit();
  return {rc, p.Error()};
}

TEST(BackendAsRoot, RefusesWhatAnotherUserCouldChange) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root: the backend checks its root only when it runs as root";
  struct Case {
    const char* what;
    std::function<std::string(const TrustedRoot&)> spoil;  // returns the path the reason names
    std::string reason;                                    // after the path
  };
  const std::string otherUid = " belongs to uid " + std::to_string(kOtherUser);
  const std::vector<Case> cases = {
      {"root folder of another user",
       [](const TrustedRoot& r) { return ::chown(r.path().c_str(), kOtherUser, kOtherUser) == 0 ? r.path() : ""; },
       otherUid},
      {"root folder writable by all",
       [](const TrustedRoot& r) { return ::chmod(r.path().c_str(), 0777) == 0 ? r.path() : ""; },
       " can be written by its group or by others (mode 0777)"},
      {"registry folder of another user",
       [](const TrustedRoot& r) {
         const std::string p = r.path() + "/registry";
         return ::chown(p.c_str(), kOtherUser, 0) == 0 ? p : "";
       },
       otherUid},
      {"registry store of another user",
       [](const TrustedRoot& r) {
         const std::string p = r.path() + "/registry/registry.txt";
         return ::chown(p.c_str(), kOtherUser, 0) == 0 ? p : "";
       },
       otherUid},
      {"registry store writable by its group",
       [](const TrustedRoot& r) {
         const std::string p = r.path() + "/registry/registry.txt";
         return ::chmod(p.c_str(), 0664) == 0 ? p : "";
       },
       " can be written by its group or by others (mode 0664)"},
      {"service folder of another user",
       [](const TrustedRoot& r) {
         const std::string p = r.path() + "/netbios";
         return ::chown(p.c_str(), kOtherUser, 0) == 0 ? p : "";
       },
       otherUid},
      {"library of another user",
       [](const TrustedRoot& r) { return ::chown(r.library().c_str(), kOtherUser, 0) == 0 ? r.library() : ""; },
       otherUid},
      {"library folder writable by its group",
       [](const TrustedRoot& r) {
         const std::string p = r.path() + "/lib";
         return ::chmod(p.c_str(), 0775) == 0 ? p : "";
       },
       " can be written by its group or by others (mode 0775)"},
      {"library named through a link in another user's folder",
       [](const TrustedRoot& r) {
         const std::string folder = r.path() + "/links";
         platform::MakeDirectories(folder);
         if (::symlink(r.library().c_str(), (folder + "/libbrandel.so").c_str()) != 0 ||
             ::chown(folder.c_str(), kOtherUser, kOtherUser) != 0 ||
             !platform::spooler::RegisterMonitor("Vardon Print Server", folder + "/libbrandel.so"))
           return std::string();
         return folder;
       },
       otherUid},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TrustedRoot root;
    ASSERT_TRUE(root.ok());
    const std::vector<std::string> env = {"PSADMIN_ROOT=" + root.path(), "DEVICE_URI=brandel:/PS1_P1"};
    // As set up, the backend lists the (empty) port list and psa_spooler takes the monitor.
    Outcome list = Program("brandel", {}, env);
    ASSERT_EQ(list.rc, 0) << list.err;
    ASSERT_EQ(Program("psa_spooler", {"ports"}, env).rc, 0);

    const std::string spoiled = c.spoil(root);
    ASSERT_FALSE(spoiled.empty());
    const std::string reason = spoiled + c.reason;
    list = Program("brandel", {}, env);
    EXPECT_EQ(list.rc, kCupsStopQueue);
    EXPECT_NE(list.err.find("ERROR: "), std::string::npos) << list.err;
    EXPECT_NE(list.err.find(reason), std::string::npos) << list.err;
    // A job stops the queue before it reads anything of the root.
    const std::string job = root.path() + "/../job-" + std::to_string(::getpid());
    CopyFile("/dev/null", job, 0644);
    Outcome print = Program("brandel", {"7", "alice", "title", "1", "", job}, env);
    ::unlink(job.c_str());
    EXPECT_EQ(print.rc, kCupsStopQueue);
    EXPECT_NE(print.err.find("ERROR: "), std::string::npos) << print.err;
    EXPECT_NE(print.err.find(reason), std::string::npos) << print.err;
    EXPECT_EQ(print.err.find("STATE: +connecting-to-device"), std::string::npos) << print.err;
    // psa_spooler as root: the same rule.
    Outcome spooler = Program("psa_spooler", {"ports"}, env);
    EXPECT_EQ(spooler.rc, 1);
    EXPECT_NE(spooler.err.find("psa_spooler: "), std::string::npos) << spooler.err;
    EXPECT_NE(spooler.err.find(reason), std::string::npos) << spooler.err;
  }
}

TEST(BackendAsRoot, LoadsNoLibraryFromTheLoaderSearchPath) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root: the rule holds only for a program running as root";
  TrustedRoot root;
  ASSERT_TRUE(root.ok());
  // A bare name that is not beside the program is not looked for on the loader's path, which the
  // environment or the loader's configuration supplies and nothing here can judge.
  CopyFile(root.library(), root.path() + "/lib/libpsa-test-monitor.so", 0644);
  ASSERT_TRUE(platform::spooler::RegisterMonitor("Vardon Print Server", "libpsa-test-monitor.so"));
  const Outcome list = Program("brandel", {}, {"PSADMIN_ROOT=" + root.path(), "LD_LIBRARY_PATH=" + root.path() + "/lib"});
  EXPECT_NE(list.err.find("ERROR: cannot load libpsa-test-monitor.so (running as root, a library is looked for only "
                          "in the program's folders)"),
            std::string::npos)
      << list.err;
}

}  // namespace

// The monitor as it is shipped: libbrandel.so loaded by the spooler stand-in (in this test program,
// which is a spooler host), the psa_spooler command and the CUPS backend "brandel" as programs,
// all printing to an emulated box on private NetBIOS ports.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include <algorithm>
#include <fstream>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/clock.h"
#include "platform/message_sink.h"
#include "platform/netbios/tests/machine_env.h"
#include "platform/netbios/tests/nb_test_env.h"
#include "platform/process/process.h"
#include "platform/registry.h"
#include "platform/spooler/spooler.h"
#include "platform/test_support/temp_root.h"
#include "platform/test_support/watched_program.h"
#include "print_monitor/tests/emulated_print_box.h"

namespace {

namespace sp = platform::spooler;
using platform::testing::WatchedProgram;

using monitor_test::ReadFile;

void WriteFile(const std::string& path, const std::string& data) {
  std::ofstream out(path, std::ios::binary);
  out << data;
}

std::string Pattern(std::size_t n) { return monitor_test::Pattern(n, 11); }

struct QuietSink : platform::MessageSink {
  std::vector<int> ids;
  int Show(int id, const std::string&, UINT) override {
    ids.push_back(id);
    return platform::IDOK;
  }
};

class ShippedMonitor : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::SetMessageSink(&sink_);
    emu_ = std::make_unique<monitor_test::EmulatedPrintBox>(root_.path(), ports_, "CUPSBOX", 4096);
    box_ = emu_->box.get();
    path_ = emu_->path.get();
    // The port-adding program's hand-over record, imported by AddPort through psa_spooler.
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyEx(HKEY_LOCAL_MACHINE, "SOFTWARE\\Kelmor\\KVX", KEY_ALL_ACCESS, &key, nullptr), ERROR_SUCCESS);
    const DWORD count = 1;
    const char record[] = "CUPS_P1,CUPSBOX,0,0,1";
    RegSetValueEx(key, "TotalPortCnt", REG_DWORD, reinterpret_cast<const BYTE*>(&count), sizeof count);
    RegSetValueEx(key, "PS_0", REG_SZ, reinterpret_cast<const BYTE*>(record), sizeof record);
    RegCloseKey(key);
  }
  void TearDown() override {
    emu_.reset();
    platform::SetMessageSink(nullptr);
  }
  std::vector<std::string> Env() { return {"PSADMIN_ROOT=" + root_.path()}; }
  int Spooler(const std::vector<std::string>& args) {
    std::vector<std::string> argv = {platform::ProgramDirectory() + "/psa_spooler"};
    argv.insert(argv.end(), args.begin(), args.end());
    WatchedProgram p(argv, {.extraEnvironment = Env()});
    const int rc = p.WaitForExit();
    if (rc != 0) ADD_FAILURE() << p.Error();
    return rc;
  }
  std::string Sink() { return ReadFile(path_->SinkPath(box_, 0)); }

  platform::testing::TempRoot root_;
  nbtest::Ports ports_;
  QuietSink sink_;
  std::unique_ptr<monitor_test::EmulatedPrintBox> emu_;
  box_emulator::Box* box_ = nullptr;
  box_emulator::PrintPath* path_ = nullptr;
};

TEST_F(ShippedMonitor, LoadedLibraryTakesItsServicesFromTheHost) {
  ASSERT_TRUE(sp::RegisterMonitor("Vardon Print Server", "libbrandel.so"));
  platform::FakeClock clock;
  platform::ScopedClock useClock(&clock);
  sp::Spooler spooler;
  ASSERT_TRUE(spooler.LoadMonitor("Vardon Print Server")) << spooler.error();
  const MONITOR& t = spooler.table();
  EXPECT_EQ(t.pfnOpenPortEx, nullptr);
  EXPECT_NE(t.pfnGetPrinterDataFromPort, nullptr);
  ASSERT_TRUE(spooler.AddPort());
  EXPECT_EQ(spooler.PortNames(), std::vector<std::string>{"CUPS_P1"});
  // Two refused opens cost the monitor two 5-second pauses: on this program's fake clock.
  box_emulator::PrintPortFault fault;
  fault.refuseOpen = 2;
  path_->SetFault(box_, 0, fault);
  const std::string data = Pattern(10000);
  std::size_t offset = 0;
  sp::JobOptions options;
  ASSERT_EQ(spooler.PrintJob("CUPS_P1",
                             [&](char* p, std::size_t n) -> long {
                               const std::size_t k = std::min(n, data.size() - offset);
                               std::memcpy(p, data.data() + offset, k);
                               offset += k;
                               return static_cast<long>(k);
                             },
                             options),
            sp::JobResult::kDone);
  EXPECT_EQ(Sink(), data);
  EXPECT_GE(clock.WaitedMs(), 10000);
  // The last error the monitor sets is the one this program reads.
  DWORD error = 0;
  EXPECT_FALSE(spooler.DeletePort("NOPE", &error));
  EXPECT_EQ(error, ERROR_UNKNOWN_PORT);
}

TEST_F(ShippedMonitor, SpoolerCommandAndBackendPrint) {
  ASSERT_EQ(Spooler({"register"}), 0);
  ASSERT_EQ(Spooler({"add-port"}), 0);
  ASSERT_EQ(Spooler({"add-printer", "Office", "CUPS_P1", "45000"}), 0);
  {
    WatchedProgram ports({platform::ProgramDirectory() + "/psa_spooler", "ports"}, {.extraEnvironment = Env()});
    ASSERT_EQ(ports.WaitForExit(), 0);
    EXPECT_EQ(ports.Output(), "CUPS_P1\tLocal Port\tVardon Print Server\n");
  }
  const std::string file = root_.path() + "/job.bin";
  const std::string data = Pattern(100000);
  WriteFile(file, data);
  ASSERT_EQ(Spooler({"print", "Office", file}), 0);
  EXPECT_EQ(Sink(), data);
  // The backend lists the port as a device, then prints a job from a file and one from stdin.
  {
    WatchedProgram list({platform::ProgramDirectory() + "/brandel"}, {.extraEnvironment = Env()});
    ASSERT_EQ(list.WaitForExit(), 0);
    EXPECT_EQ(list.Output(), "network brandel:/CUPS_P1 \"Vardon Print Server\" \"Vardon Print Server CUPS_P1\"\n");
  }
  std::vector<std::string> env = Env();
  env.push_back("DEVICE_URI=brandel:/CUPS_P1");
  env.push_back("PRINTER=Office");
  {
    WatchedProgram job({platform::ProgramDirectory() + "/brandel", "7", "kim", "title", "2", "", file}, {.extraEnvironment = env});
    ASSERT_EQ(job.WaitForExit(), 0) << job.Error();
  }
  {
    WatchedProgram job({platform::ProgramDirectory() + "/brandel", "8", "kim", "title", "1", ""}, {.extraEnvironment = env, .inputFile = file});
    ASSERT_EQ(job.WaitForExit(), 0) << job.Error();
  }
  EXPECT_EQ(Sink(), data + data + data + data);
}

// A registry store its owner made read-only is left as it is, and the command says so.
TEST_F(ShippedMonitor, SpoolerCommandSaysWhenTheStoreIsReadOnly) {
  const std::string store = platform::RegistryStorePath();
  const std::string before = ReadFile(store);
  ASSERT_EQ(::chmod(store.c_str(), 0444), 0);
  const std::pair<std::vector<std::string>, std::string> commands[] = {
      {{"register"}, "cannot register Vardon Print Server"},
      {{"add-printer", "Office", "CUPS_P1"}, "cannot add the printer Office"},
  };
  for (const auto& [args, what] : commands) {
    std::vector<std::string> argv = {platform::ProgramDirectory() + "/psa_spooler"};
    argv.insert(argv.end(), args.begin(), args.end());
    WatchedProgram p(argv, {.extraEnvironment = Env()});
    EXPECT_EQ(p.WaitForExit(), 1);
    EXPECT_EQ(p.Error(), "psa_spooler: " + what + ": the registry store " + store + " is read-only\n");
  }
  EXPECT_EQ(ReadFile(store), before);
  ASSERT_EQ(::chmod(store.c_str(), 0600), 0);
  EXPECT_EQ(Spooler({"register"}), 0);
}

TEST_F(ShippedMonitor, BackendReportsStatesAndExitsAsCupsExpects) {
  ASSERT_EQ(Spooler({"register"}), 0);
  ASSERT_EQ(Spooler({"add-port"}), 0);
  const std::string file = root_.path() + "/job.bin";
  const std::string data = Pattern(30000);
  WriteFile(file, data);
  std::vector<std::string> env = Env();
  env.push_back("DEVICE_URI=brandel:/CUPS_P1");
  // Paper out: reported to CUPS, and the job goes on once paper is back.
  box_emulator::PrintPortFault fault;
  fault.paperOutAfter = 10000;
  path_->SetFault(box_, 0, fault);
  {
    WatchedProgram job({platform::ProgramDirectory() + "/brandel", "1", "u", "t", "1", "", file}, {.extraEnvironment = env});
    ASSERT_TRUE(job.WaitForError("STATE: +media-empty-error", 60000)) << job.Error();
    path_->SetFault(box_, 0, {});
    ASSERT_EQ(job.WaitForExit(), 0) << job.Error();
    EXPECT_NE(job.Error().find("STATE: -media-empty-error"), std::string::npos);
  }
  EXPECT_EQ(Sink(), data);
  // Off-line, then cancelled by CUPS: the job ends its document and leaves with 0.
  fault = {};
  fault.offline = true;
  path_->SetFault(box_, 0, fault);
  {
    WatchedProgram job({platform::ProgramDirectory() + "/brandel", "2", "u", "t", "1", "", file}, {.extraEnvironment = env});
    ASSERT_TRUE(job.WaitForError("STATE: +offline-report", 60000)) << job.Error();
    ::kill(job.pid(), SIGTERM);
    EXPECT_EQ(job.WaitForExit(), 0);
    EXPECT_NE(job.Error().find("Job cancelled"), std::string::npos);
  }
  path_->SetFault(box_, 0, {});
  // The cancelled job hung up: the box's session ends (bounded wait on the condition).
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (path_->ActiveSessions() != 0 && std::chrono::steady_clock::now() < until)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_EQ(path_->ActiveSessions(), 0u);
  // A port the monitor does not have: stop the queue. A document the box will not start: retry.
  std::vector<std::string> wrong = Env();
  wrong.push_back("DEVICE_URI=brandel:/NO_SUCH_PORT");
  EXPECT_EQ(WatchedProgram({platform::ProgramDirectory() + "/brandel", "3", "u", "t", "1", "", file}, {.extraEnvironment = wrong}).WaitForExit(), 4);
  path_->SetBufferSize(6);
  EXPECT_EQ(WatchedProgram({platform::ProgramDirectory() + "/brandel", "4", "u", "t", "1", "", file}, {.extraEnvironment = env}).WaitForExit(), 6);
}

// A printer state the protocol does not name counts as off-line: CUPS hears of it, and the job
// goes on once the printer is back.
TEST_F(ShippedMonitor, BackendReportsAnUnknownPrinterStateAsOffline) {
  ASSERT_EQ(Spooler({"register"}), 0);
  ASSERT_EQ(Spooler({"add-port"}), 0);
  const std::string file = root_.path() + "/job.bin";
  const std::string data = Pattern(9000);
  WriteFile(file, data);
  std::vector<std::string> env = Env();
  env.push_back("DEVICE_URI=brandel:/CUPS_P1");
  box_emulator::PrintPortFault fault;
  fault.offline = true;
  fault.offlineState = 7;
  path_->SetFault(box_, 0, fault);
  WatchedProgram job({platform::ProgramDirectory() + "/brandel", "3", "u", "t", "1", "", file}, {.extraEnvironment = env});
  ASSERT_TRUE(job.WaitForError("STATE: +offline-report", 60000)) << job.Error();
  path_->SetFault(box_, 0, {});
  ASSERT_EQ(job.WaitForExit(), 0) << job.Error();
  EXPECT_NE(job.Error().find("STATE: -media-empty-error,offline-report"), std::string::npos) << job.Error();
  EXPECT_EQ(Sink(), data);
}

// psa_spooler registers the monitor by the library's absolute path: a backend installed in another
// folder (as CUPS keeps its backends) loads it and prints.
TEST_F(ShippedMonitor, RegisteredLibraryLoadsFromABackendInAnotherFolder) {
  ASSERT_EQ(Spooler({"register"}), 0);
  {
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyEx(HKEY_LOCAL_MACHINE, "System\\CurrentControlSet\\Control\\Print\\Monitors\\Vardon Print Server",
                           KEY_READ, &key),
              ERROR_SUCCESS);
    char driver[1024] = {};
    DWORD size = sizeof driver - 1, type = 0;
    ASSERT_EQ(RegQueryValueEx(key, "Driver", &type, reinterpret_cast<BYTE*>(driver), &size), ERROR_SUCCESS);
    RegCloseKey(key);
    char expected[4096] = {};
    ASSERT_NE(::realpath((platform::ProgramDirectory() + "/../lib/libbrandel.so").c_str(), expected), nullptr);
    EXPECT_EQ(std::string(driver), std::string(expected));
  }
  ASSERT_EQ(Spooler({"add-port"}), 0);
  const std::string backends = root_.path() + "/cups-backend";
  ASSERT_EQ(::mkdir(backends.c_str(), 0755), 0);
  WriteFile(backends + "/brandel", ReadFile(platform::ProgramDirectory() + "/brandel"));
  ASSERT_EQ(::chmod((backends + "/brandel").c_str(), 0700), 0);
  const std::string file = root_.path() + "/job.bin";
  const std::string data = Pattern(5000);
  WriteFile(file, data);
  std::vector<std::string> env = Env();
  env.push_back("DEVICE_URI=brandel:/CUPS_P1");
  env.push_back("PSADMIN_NBD=" + platform::ProgramDirectory() + "/psa_nbd");
  WatchedProgram job({backends + "/brandel", "5", "kim", "title", "1", "", file}, {.extraEnvironment = env});
  ASSERT_EQ(job.WaitForExit(), 0) << job.Error();
  EXPECT_EQ(Sink(), data);
  // A library that is nowhere is not registered.
  WatchedProgram missing({platform::ProgramDirectory() + "/psa_spooler", "register", "Vardon Print Server", root_.path() + "/none.so"}, {.extraEnvironment = Env()});
  EXPECT_EQ(missing.WaitForExit(), 1);
  EXPECT_NE(missing.Error().find("monitor library " + root_.path() + "/none.so not found"), std::string::npos)
      << missing.Error();
}

// A damaged registry store is named, by psa_spooler's commands and by the backend; it is not
// reported as a monitor that is not registered, and nothing fails without a word.
TEST_F(ShippedMonitor, ADamagedRegistryStoreIsNamed) {
  ASSERT_EQ(Spooler({"register"}), 0);
  ASSERT_EQ(Spooler({"add-port"}), 0);
  const std::string store = platform::RegistryStorePath();
  WriteFile(store, "this is no registry store\n");
  const std::string damaged = "the registry store " + store + " is damaged";
  const struct {
    std::vector<std::string> args;
    const char* says;
  } commands[] = {
      {{"register"}, "psa_spooler: cannot register Vardon Print Server: "},
      {{"add-printer", "Office", "CUPS_P1"}, "psa_spooler: cannot add the printer Office: "},
      {{"add-port"}, "psa_spooler: "},
  };
  for (const auto& c : commands) {
    std::vector<std::string> argv = {platform::ProgramDirectory() + "/psa_spooler"};
    argv.insert(argv.end(), c.args.begin(), c.args.end());
    WatchedProgram p(argv, {.extraEnvironment = Env()});
    EXPECT_EQ(p.WaitForExit(), 1) << c.args[0];
    EXPECT_NE(p.Error().find(std::string(c.says) + damaged), std::string::npos) << p.Error();
  }
  std::vector<std::string> env = Env();
  env.push_back("DEVICE_URI=brandel:/CUPS_P1");
  const std::string file = root_.path() + "/job.bin";
  WriteFile(file, "x");
  WatchedProgram job({platform::ProgramDirectory() + "/brandel", "6", "kim", "title", "1", "", file}, {.extraEnvironment = env});
  EXPECT_EQ(job.WaitForExit(), 4);
  EXPECT_NE(job.Error().find("ERROR: " + damaged), std::string::npos) << job.Error();
  EXPECT_EQ(job.Error().find("not registered"), std::string::npos) << job.Error();
  EXPECT_EQ(ReadFile(store), "this is no registry store\n");
}

// The job's arguments as CUPS passes them: a number of copies the backend cannot hold is refused,
// never cut down to another number of copies.
TEST_F(ShippedMonitor, BackendRefusesCopiesItCannotHold) {
  ASSERT_EQ(Spooler({"register"}), 0);
  ASSERT_EQ(Spooler({"add-port"}), 0);
  const std::string file = root_.path() + "/job.bin";
  WriteFile(file, "page\n");
  std::vector<std::string> env = Env();
  env.push_back("DEVICE_URI=brandel:/CUPS_P1");
  for (const char* copies : {"4294967299", "2147483648", "-1", "2x", "", " 2"}) {
    WatchedProgram job({platform::ProgramDirectory() + "/brandel", "7", "kim", "title", copies, "", file}, {.extraEnvironment = env});
    EXPECT_EQ(job.WaitForExit(), 1) << copies;
    EXPECT_NE(job.Error().find("ERROR: Invalid number of copies"), std::string::npos) << job.Error();
  }
  EXPECT_EQ(Sink(), "");
  WatchedProgram three({platform::ProgramDirectory() + "/brandel", "8", "kim", "title", "3", "", file}, {.extraEnvironment = env});
  ASSERT_EQ(three.WaitForExit(), 0) << three.Error();
  EXPECT_EQ(Sink(), "page\npage\npage\n");
}

// This computer's NetBIOS service cannot be started or reached: a condition of the machine, not
// of the job. The job says so and asks CUPS to retry it later (the queue goes on), instead of
// stopping the queue or reporting the box missing. Once the service can run, the job prints.
TEST_F(ShippedMonitor, BackendAsksForARetryWhenTheNetbiosServiceCannotStart) {
  ASSERT_EQ(Spooler({"register"}), 0);
  ASSERT_EQ(Spooler({"add-port"}), 0);
  const std::string file = root_.path() + "/job.bin";
  WriteFile(file, "x");
  const std::string failing = root_.path() + "/failing-service";
  WriteFile(failing, "#!/bin/sh\nexit 1\n");
  ASSERT_EQ(::chmod(failing.c_str(), 0755), 0);
  struct Case {
    const char* what;
    std::string service;  // PSADMIN_NBD; empty: psa_nbd beside the backend
    bool holdNamePort;    // another socket holds the service's name service port
    const char* reason;   // what the service's start says besides, or nullptr
  };
  const std::vector<Case> cases = {
      {"no service program", root_.path() + "/no-such-service", false, nullptr},
      {"the service program fails", failing, false, nullptr},
      {"the name service port is taken", "", true, "psa_nbd: cannot open the NetBIOS name service port"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    monitor_test::StopNetbiosService(root_.path());
    int holder = -1;
    if (c.holdNamePort) {
      holder = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
      sockaddr_in sa{};
      sa.sin_family = AF_INET;
      sa.sin_port = htons(ports_.ns);
      sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
      ASSERT_EQ(::bind(holder, reinterpret_cast<sockaddr*>(&sa), sizeof sa), 0) << std::strerror(errno);
    }
    std::vector<std::string> env = Env();
    env.push_back("DEVICE_URI=brandel:/CUPS_P1");
    if (!c.service.empty()) env.push_back("PSADMIN_NBD=" + c.service);
    WatchedProgram job({platform::ProgramDirectory() + "/brandel", "9", "kim", "title", "1", "", file},
                       {.extraEnvironment = env});
    EXPECT_EQ(job.WaitForExit(), 6) << job.Error();
    if (holder >= 0) ::close(holder);
    EXPECT_NE(job.Error().find("ERROR: The NetBIOS service of this computer could not be started or reached; "
                               "the job will be retried later\n"),
              std::string::npos)
        << job.Error();
    if (c.reason != nullptr) {
      EXPECT_NE(job.Error().find(c.reason), std::string::npos) << job.Error();
    }
    EXPECT_EQ(job.Error().find("not found"), std::string::npos) << job.Error();
    EXPECT_EQ(job.Error().find("Port CUPS_P1 cannot be opened"), std::string::npos) << job.Error();
    EXPECT_EQ(Sink(), "");
  }
  // The retry, once the service can start again.
  std::vector<std::string> env = Env();
  env.push_back("DEVICE_URI=brandel:/CUPS_P1");
  WatchedProgram retry({platform::ProgramDirectory() + "/brandel", "9", "kim", "title", "1", "", file},
                       {.extraEnvironment = env});
  EXPECT_EQ(retry.WaitForExit(), 0) << retry.Error();
  EXPECT_EQ(Sink(), "x");
}

// This computer's NetBIOS service ends in the middle of a job (an administrator restarts it, or it
// fails). The job's session to the box is the job's own and goes on; when the box then drops it,
// the job calls the box again at the address it already knows, also when no service can be
// started again. The box gets each byte once; only a data message the box took just before it
// dropped the session, its reply lost, comes again.
TEST_F(ShippedMonitor, AJobGoesOnWhenTheNetbiosServiceEndsInTheMiddle) {
  ASSERT_EQ(Spooler({"register"}), 0);
  ASSERT_EQ(Spooler({"add-port"}), 0);
  const std::string file = root_.path() + "/job.bin";
  const std::string data = Pattern(30000);
  WriteFile(file, data);
  // Starts the service once; every later start fails.
  const std::string once = root_.path() + "/service-once";
  WriteFile(once, "#!/bin/sh\n[ -e \"$0.started\" ] && exit 1\n: > \"$0.started\"\nexec " +
                      platform::ProgramDirectory() + "/psa_nbd \"$@\"\n");
  ASSERT_EQ(::chmod(once.c_str(), 0755), 0);
  enum class Drop { kNone, kBeforeTaking, kAfterTaking };  // what the box does after the service ended
  struct Case {
    const char* what;
    Drop drop;
  };
  for (const Case& c : {Case{"the session goes on", Drop::kNone},
                        Case{"the box drops the session", Drop::kBeforeTaking},
                        Case{"the box takes a data message and drops the session before its reply", Drop::kAfterTaking}}) {
    SCOPED_TRACE(c.what);
    monitor_test::StopNetbiosService(root_.path());
    ::unlink((once + ".started").c_str());
    const std::string before = Sink();
    const std::uint64_t taken = path_->BytesTaken(box_, 0);
    std::vector<std::string> env = Env();
    env.push_back("DEVICE_URI=brandel:/CUPS_P1");
    env.push_back("PSADMIN_NBD=" + once);
    box_emulator::PrintPortFault fault;
    fault.paperOutAfter = taken + 10000;
    path_->SetFault(box_, 0, fault);
    WatchedProgram job({platform::ProgramDirectory() + "/brandel", "10", "kim", "title", "1", "", file},
                       {.extraEnvironment = env});
    ASSERT_TRUE(job.WaitForError("STATE: +media-empty-error", 60000)) << job.Error();
    monitor_test::StopNetbiosService(root_.path());
    fault = {};
    if (c.drop == Drop::kBeforeTaking) fault.dropAfter = taken + 15000;
    if (c.drop == Drop::kAfterTaking) fault.dropAfterTaking = taken + 15000;
    path_->SetFault(box_, 0, fault);
    EXPECT_EQ(job.WaitForExit(), 0) << job.Error();
    EXPECT_EQ(job.Error().find("ERROR"), std::string::npos) << job.Error();
    // The box's drop is met as a box that does not answer, and the job calls it again.
    EXPECT_EQ(job.Error().find("does not answer") != std::string::npos, c.drop != Drop::kNone) << job.Error();
    const std::string sink = Sink();
    ASSERT_EQ(sink.compare(0, before.size(), before), 0);
    const std::string got = sink.substr(before.size());
    if (c.drop != Drop::kAfterTaking) {
      EXPECT_TRUE(got == data) << got.size() << " bytes of " << data.size();
      continue;
    }
    // What came twice is one data message (at most 4090 bytes at this box), sent again whole.
    ASSERT_GT(got.size(), data.size());
    const std::size_t again = got.size() - data.size();
    EXPECT_LE(again, 4090u);
    const std::size_t end = static_cast<std::size_t>(std::mismatch(data.begin(), data.end(), got.begin()).first - data.begin());
    ASSERT_GE(end, again);
    EXPECT_TRUE(got == data.substr(0, end) + data.substr(end - again)) << "taken up to " << end << ", " << again << " again";
  }
}

// A job that comes through a pipe (as CUPS hands jobs to backends) arrives in pieces of at most
// the pipe's size. The backend gathers them into its blocks: the box gets full data messages and
// one short one per block, not a short message behind every piece.
TEST_F(ShippedMonitor, BackendSendsAPipedJobInFullDataMessages) {
  ASSERT_EQ(Spooler({"register"}), 0);
  ASSERT_EQ(Spooler({"add-port"}), 0);
  const std::string fifo = root_.path() + "/job.fifo";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const std::string data = Pattern(600000);
  // The writer fills the pipe piece by piece for as long as the backend reads.
  std::thread writer([&] {
    const int fd = ::open(fifo.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd < 0) return;
    for (std::size_t at = 0; at < data.size();) {
      const ssize_t n = ::write(fd, data.data() + at, std::min<std::size_t>(16384, data.size() - at));
      if (n <= 0) break;
      at += static_cast<std::size_t>(n);
    }
    ::close(fd);
  });
  std::vector<std::string> env = Env();
  env.push_back("DEVICE_URI=brandel:/CUPS_P1");
  {
    WatchedProgram job({platform::ProgramDirectory() + "/brandel", "9", "kim", "title", "1", ""}, {.extraEnvironment = env, .inputFile = fifo});
    EXPECT_EQ(job.WaitForExit(), 0) << job.Error();
  }
  writer.join();
  EXPECT_EQ(Sink(), data);
  // 4090 data bytes a message at this box; the whole job fits one block.
  const std::vector<std::size_t> sizes = path_->DataSizes(box_, 0);
  ASSERT_FALSE(sizes.empty());
  std::size_t shortOnes = 0;
  for (std::size_t i = 0; i + 1 < sizes.size(); ++i) shortOnes += sizes[i] < 4090 ? 1 : 0;
  // A writer that stalls past the gathering time cuts a block short; a few may, ten pipe-sized
  // pieces each with a short message of their own may not.
  EXPECT_LE(shortOnes, 3u) << sizes.size() << " data messages";
}

// Run as root, the backend uses the machine's one NetBIOS service, which an ordinary user's program
// shares at the same time: a job reaches the box while another user's program holds a name, in
// either order, with the service started as at boot or by the backend itself when it did not run.
// A user's program never starts a service of its own meanwhile (that would hold the ports the
// backend needs): before any service runs, it says so and gets none.
TEST_F(ShippedMonitor, AJobPrintsBesideAnotherUsersNetbiosProgram) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root: the backend as CUPS runs it, and a second user";
  ASSERT_EQ(Spooler({"register"}), 0);
  ASSERT_EQ(Spooler({"add-port"}), 0);
  monitor_test::StopNetbiosService(root_.path());  // what adding the port started, on the same ports
  struct Case {
    const char* what;
    bool startedAtBoot;
    bool userFirst;
  };
  const std::string file = root_.path() + "/job.bin";
  const std::string data = Pattern(20000);
  WriteFile(file, data);
  std::string expected;
  auto job = [&](const char* id) {
    std::vector<std::string> env = Env();
    env.push_back("DEVICE_URI=brandel:/CUPS_P1");
    WatchedProgram p({platform::ProgramDirectory() + "/brandel", id, "kim", "title", "1", "", file}, {.extraEnvironment = env});
    EXPECT_EQ(p.WaitForExit(), 0) << p.Error();
    expected += data;
    EXPECT_EQ(Sink(), expected);
  };
  for (const Case& c : {Case{"started at boot, the user's program first", true, true},
                        Case{"started at boot, the job first", true, false},
                        Case{"started by the backend, the user's program first", false, true},
                        Case{"started by the backend, the job first", false, false}}) {
    SCOPED_TRACE(c.what);
    nbtest::MachineFolder machine;
    std::unique_ptr<WatchedProgram> service;
    if (c.startedAtBoot) {
      service = machine.StartService();
      ASSERT_TRUE(machine.WaitForSocket(*service)) << service->Error();
    }
    nbtest::OtherUser nobody;
    std::unique_ptr<WatchedProgram> user;
    if (c.userFirst) {
      if (!c.startedAtBoot) {
        auto early = nobody.Run({"add:NOBODYPROG"}, machine.path());
        ASSERT_EQ(early->WaitForExit(), 0);
        EXPECT_EQ(early->Output(), "add NOBODYPROG 64\n");
        EXPECT_NE(early->Error().find("\"systemctl start psadmin-nbd\""), std::string::npos) << early->Error();
        job("20");  // starts the machine's service
      }
      user = nobody.Run({"add:NOBODYPROG", "hold", "del:NOBODYPROG"}, machine.path());
      ASSERT_TRUE(nbtest::OtherUser::WaitUntilHolding(*user)) << user->Output() << user->Error();
      EXPECT_EQ(user->Output(), "add NOBODYPROG 0\nholding\n");
      job("21");
    } else {
      job("22");
      user = nobody.Run({"add:NOBODYPROG", "hold", "del:NOBODYPROG"}, machine.path());
      ASSERT_TRUE(nbtest::OtherUser::WaitUntilHolding(*user)) << user->Output() << user->Error();
      EXPECT_EQ(user->Output(), "add NOBODYPROG 0\nholding\n");
      job("23");
    }
    // The user's program kept its name through the jobs.
    user->CloseInput();
    EXPECT_EQ(user->WaitForExit(), 0);
    EXPECT_EQ(user->Output(), "add NOBODYPROG 0\nholding\ndel NOBODYPROG 0\n");
  }
}

}  // namespace

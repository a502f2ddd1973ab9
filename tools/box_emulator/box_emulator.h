// An emulated print server on the loopback network: the box side of the management protocol over
// TCP, for tests (in-process) and for trying the suite (the box_emulator program).
//
// Each box listens on its own loopback address (127.x.y.z) at the protocol's TCP port and takes
// one request per connection: it reads request chunks up to the chunk whose more flag is 0,
// answers in reply chunks behind the 5-byte header and closes the connection. Malformed requests
// (no '@', a chunk longer than 384 bytes, a more flag other than 0/1, an empty chunk, a
// connection closed before the last chunk) close the connection without a reply.
//
// Configuration lines written to a box ("KKKK :value") are staged and take effect at the next
// restart, like the real device's; "9006:" stages the factory set (password cleared too).
// "9002:" answers, then the box restarts: during the restart window it still accepts connections
// on its address but answers none of them; those connections are closed without a reply when the
// window ends. After the window the staged configuration runs: the device name (key 0001)
// changes, and a changed IP address (key 4000) that is a 127.x.y.z address moves the listener to
// it. Other addresses are stored and reported but the box stays where it is. With a restart
// window of 0 the restart completes before the reply to "9002:" is sent.
//
// The box keeps real time (std::chrono), never the suite's replaceable clock: it is a device
// outside the system, so a test's FakeClock does not speed it up. Tests that fake the client's
// clock set a restart window of 0 or wait with WaitForRestarts().
#pragma once
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "device_client/core/wire_layout.h"
#include "tools/box_emulator/box_core.h"
#include "tools/box_emulator/fault_plan.h"
#include "tools/box_emulator/framing.h"

namespace box_emulator {

struct BoxOptions {
  // Dotted loopback address to listen on; empty: a random free one in 127.64.0.0/10 (tests run in
  // parallel processes, all on the same port).
  std::string address;
  std::uint16_t port = wire::kTcpPort;
  BoxIdentity identity;
  // Replace the identity's hardware address by a random one (so default names differ).
  bool randomHardwareAddress = true;
  std::chrono::milliseconds restartWindow{300};
  std::size_t replyChunkSize = 1024;  // data bytes per reply chunk
  // A connection that brings no complete request within this time is closed.
  std::chrono::milliseconds idleTimeout{60000};
};

struct ReceivedRequest {
  std::string data;                     // the request, chunk headers removed
  std::string wire;                     // every byte read from the connection
  std::vector<std::size_t> chunkSizes;  // data length of each chunk
  bool wellFormed = false;              // false: refused (see error), connection closed
  bool answered = false;                // a reply (or a faulty one) was sent
  bool duringRestart = false;           // arrived while the box was restarting
  std::string error;
};

class Box {
 public:
  // Opens the listener and starts serving. Throws std::runtime_error when no address can be had.
  explicit Box(BoxOptions options = {});
  ~Box();
  Box(const Box&) = delete;
  Box& operator=(const Box&) = delete;

  // Where the box listens now (changes after a restart with a new key 4000).
  std::string Address() const;
  std::uint16_t Port() const { return port_; }
  std::string DefaultName() const;
  std::string DeviceName() const;

  // Configuration: the running value, the value after the next restart, and a direct set of
  // both (false for a key the box does not know).
  std::optional<std::string> Setting(const std::string& key) const;
  std::optional<std::string> PendingSetting(const std::string& key) const;
  bool SetSetting(const std::string& key, const std::string& value);
  Settings AllSettings() const;
  void SetDeviceName(const std::string& name) { SetSetting("0001", name); }

  // The decoded passwords ("9005:" and "9035:").
  std::string Password() const;
  void SetPassword(const std::string& password);
  std::string NetwarePassword() const;

  // Identity (reported in the "9007:" block from the next request on). The default box is a
  // one-port model (code 00 55 10, one parallel port), its logical ports printing to P1; a test
  // that makes it another model sets the model's code and ports (the configuration stays as it
  // is: give BoxOptions::identity the ports for a box that starts with the model's own set).
  void SetModelCode(std::uint8_t b4, std::uint8_t b5, std::uint8_t b6);
  void SetPortCounts(int parallel, int serial, int usb);
  void SetCapabilities(std::uint8_t byte42, std::uint8_t byte43);
  void SetFunctionFlags(std::uint8_t byte47);
  void SetFirmware(std::uint8_t b50, std::uint8_t b51);
  void SetDefaultName(const std::string& name);
  void SetExtendedName(const std::string& name);
  void SetPortStatus(int port, const PortStatus& status);  // port 1..3
  std::array<std::uint8_t, 164> DeviceInfoBlock() const;
  std::vector<int> TestPagesPrinted() const;

  // Anything else: runs `f` on the box's core under its lock.
  void WithCore(const std::function<void(BoxCore&)>& f);
  // The requests the core handled, over whichever transport, from the last one that begins with
  // `prefix` on (empty when none does): for instance what followed the last configuration text.
  std::vector<std::string> HandledFromLast(const std::string& prefix);

  // Power: off closes the listener (connections refused) and every open connection; on listens
  // again, booting with the staged configuration. SwitchOn returns whether it listens.
  void SwitchOff();
  bool SwitchOn();
  bool IsOn() const;

  void SetRestartWindow(std::chrono::milliseconds window);
  void SetReplyChunkSize(std::size_t bytes);
  bool IsRestarting() const;
  int RestartCount() const;
  // Ends a running restart window now (connections held during it are closed unanswered).
  void EndRestartWindow();

  // Requests received, oldest first (also refused ones and those during a restart).
  std::vector<ReceivedRequest> Requests() const;
  std::size_t RequestCount() const;
  void ClearRequests();

  void InjectFault(const FaultPlan& plan);
  void ClearFaults();
  // The next planned fault, used up as by a request answered over TCP (none planned: a plan
  // without faults). For the box's other fronts.
  FaultPlan TakeFault();

  // Bounded real-time waits; each returns whether the condition holds.
  bool WaitForRequests(std::size_t n, std::chrono::milliseconds timeout);
  bool WaitForRestarts(int n, std::chrono::milliseconds timeout);
  bool WaitForRestartDone(std::chrono::milliseconds timeout);
  // `condition` is evaluated without the box's lock (it may call the box) after every change.
  bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout);

 private:
  using Clock = std::chrono::steady_clock;
  // A connection whose request the event loop is still reading.
  struct Pending {
    int fd = -1;
    RequestAssembler assembler;
    Clock::time_point deadline;
  };

  void AcceptLoop();
  void AcceptLocked(std::unique_lock<std::mutex>& lock);
  bool ReadRequest(Pending& p, std::string& failure);
  void DispatchLocked(Pending& p, std::string failure, std::unique_lock<std::mutex>& lock);
  void AnswerNowLocked(int fd, const RequestAssembler& assembler,
                       std::unique_lock<std::mutex>& lock);
  void Answer(int fd, const RequestAssembler& assembler, const std::string& failure);
  void RunOnWorkerLocked(std::function<void()> job);
  void WorkerLoop();
  void CloseAfterReply(int fd);
  void ReconcileListenerLocked();
  void BeginRestartLocked(std::unique_lock<std::mutex>& lock);
  void FinishRestartLocked();
  void RequestListenerChangeLocked(std::unique_lock<std::mutex>& lock);
  void ChangedLocked();
  void Wake();
  bool SendReply(int fd, const OutgoingReply& reply);
  void CloseConnection(int fd);

  const std::uint16_t port_;
  std::chrono::milliseconds idleTimeout_;

  mutable std::mutex mu_;
  std::condition_variable cv_;
  BoxCore core_;
  std::string address_;         // bound (or last bound) address
  std::string desiredAddress_;  // where the listener should be
  int listenFd_ = -1;
  bool on_ = true;
  bool stopping_ = false;
  std::uint64_t requestedGen_ = 0;
  std::uint64_t appliedGen_ = 0;
  std::uint64_t changes_ = 0;
  bool restarting_ = false;
  Clock::time_point restartEnd_{};
  int restarts_ = 0;
  std::chrono::milliseconds restartWindow_;
  std::size_t chunkSize_;
  std::set<int> connections_;
  std::vector<Pending> pending_;  // owned by the acceptor thread
  // Long-lived workers for connections that have to wait (faults, restarts, refusals).
  std::vector<std::thread> workers_;
  std::deque<std::function<void()>> jobs_;
  std::size_t idleWorkers_ = 0;
  std::condition_variable jobCv_;
  std::deque<FaultPlan> faults_;
  std::vector<ReceivedRequest> requests_;
  int wakeFd_ = -1;
  std::thread acceptor_;
};

// Binds a listening TCP socket at address:port; returns the fd or -1 with errno set.
int OpenListener(const std::string& address, std::uint16_t port);
// Whether `text` is a dotted IPv4 address inside 127.0.0.0/8.
bool IsLoopbackAddress(const std::string& text);

}  // namespace box_emulator

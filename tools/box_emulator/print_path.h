// The print path of emulated boxes over NetBIOS sessions: what a box does for the print monitor.
//
// A session whose first message starts with a print command (0x50 open, 0x51 data, 0x52 end,
// 0x54 status) is a print session; one whose first byte is '@' carries the management protocol
// (netbios_front.h). Requests are a 5-byte header (command, 0, uint16 LE length of what follows
// the length field, port index) and, for data, the print bytes. Every reply is exactly 8 bytes:
// command echoed, 0, result (0 = accepted), three zero bytes, then
//   open:   bytes 6-7 the port's buffer size (uint16 LE; the caller sends at most that minus 6);
//   data:   byte 6 busy (1: the data was taken, a further data reply with busy 0 follows when the
//           printer is ready again), byte 7 the printer state (0 ready, 1 off-line, 2 paper out);
//   status: byte 7 the printer state;
//   end:    result 0.
// An open is refused (result 1) while another session holds the port. Every port of a box writes
// the data it took to its own sink file (appended, across sessions; a message's data is written
// after its reply, before the next message is read), so a test can compare it
// byte for byte with what was printed.
//
// Fault scripts per port (they last until replaced):
//   - paper out after N bytes: the data message that brings the port to N bytes or more is still
//     taken whole and answered with state 2; later data is refused (result 1, state 2) and the
//     status says 2 until the fault is replaced;
//   - off-line: data is refused with state 1 (or the script's own off-line state, for a box that
//     reports a state the protocol does not name); the status says the same;
//   - refuse the open k times: the next k opens are answered with result 1;
//   - drop the session: the first data message that arrives once the port has taken N bytes is
//     not taken; the box closes the session instead (once per script);
//   - drop the session after taking: the first data message that arrives once the port has taken
//     N bytes is taken (it reaches the sink), then the box closes the session before its reply
//     (once per script): the sender cannot know that the box has the data;
//   - refuse data k times: the next k data messages are refused with state ready (no reason);
//   - busy: every k-th data message is taken and answered busy; the unsolicited ready follows
//     after the given real time.
// The box keeps real time; the client's FakeClock does not speed it up.
#pragma once
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace box_emulator {

class Box;

struct PrintPortFault {
  std::optional<std::uint64_t> paperOutAfter;
  bool offline = false;
  std::uint8_t offlineState = 1;  // the state byte an off-line port reports
  int refuseOpen = 0;
  std::optional<std::uint64_t> dropAfter;
  std::optional<std::uint64_t> dropAfterTaking;  // the data is taken, the reply is never sent
  int refuseData = 0;         // data messages refused (result 1, state ready) before one is taken
  std::size_t busyEvery = 0;  // 0: never busy
  int busyMs = 0;             // real time until the unsolicited ready
};

struct PrintPathOptions {
  std::string sinkDirectory;        // where the sink files go (created when missing)
  std::uint16_t bufferSize = 1030;  // announced in the open reply
};

// Print commands and the fixed reply size.
namespace print_wire {
constexpr std::uint8_t kOpen = 0x50;
constexpr std::uint8_t kData = 0x51;
constexpr std::uint8_t kEnd = 0x52;
constexpr std::uint8_t kStatus = 0x54;
constexpr std::size_t kHeaderSize = 5;
constexpr std::size_t kReplySize = 8;
inline bool IsPrintCommand(std::uint8_t b) { return b == kOpen || b == kData || b == kEnd || b == kStatus; }
}  // namespace print_wire

class PrintPath {
 public:
  explicit PrintPath(PrintPathOptions options);
  ~PrintPath();
  PrintPath(const PrintPath&) = delete;
  PrintPath& operator=(const PrintPath&) = delete;

  // Takes over a print session of `box` whose first message is `first` (owns `fd` from now on).
  void Serve(Box* box, int fd, std::vector<std::uint8_t> first);

  void SetFault(const Box* box, int port, const PrintPortFault& fault);
  void SetBufferSize(std::uint16_t bytes);
  // The sink file of a port of a box, and what the port took so far.
  std::string SinkPath(const Box* box, int port) const;
  std::uint64_t BytesTaken(const Box* box, int port) const;
  // The data length of every data message a port took, oldest first.
  std::vector<std::size_t> DataSizes(const Box* box, int port) const;
  // Sessions that ended (closed by either side) and sessions still being served.
  std::size_t SessionsEnded() const { return ended_.load(); }
  std::size_t ActiveSessions() const;

 private:
  struct Port;
  struct Session;
  Port& PortOf(const Box* box, int port);  // under mu_
  void Run(Box* box, int fd, std::vector<std::uint8_t> first);
  // Answers one request; false when the session is to be dropped.
  bool Handle(Session& s, const std::vector<std::uint8_t>& m);

  PrintPathOptions options_;
  mutable std::mutex mu_;
  std::map<std::pair<const Box*, int>, std::unique_ptr<Port>> ports_;
  std::map<std::thread::id, std::thread> threads_;  // one per session being served
  std::vector<std::thread::id> finished_;           // sessions over, their threads to join
  std::size_t active_ = 0;
  std::atomic<std::size_t> ended_{0};
  std::atomic<bool> stop_{false};
};

}  // namespace box_emulator

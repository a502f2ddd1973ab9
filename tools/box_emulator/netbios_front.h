// The management protocol of emulated boxes over NetBIOS sessions, and their answers to the
// discovery datagram of the NetBIOS browse.
//
// Each box added is a NetBIOS node of its own on its loopback address (the name service, datagram
// and session ports of the options, broadcast address 127.255.255.255 unless given):
//   - its unique name is its device name in the form boxes are called by: the name cut to 15
//     bytes, padded with 0x02 to 15 bytes, then 0x01; it answers name queries for it and defends
//     it against registrations from elsewhere;
//   - it belongs to the print servers' group "WSPS_PSRV_KVX" (NUL-padded) and to the old group
//     "KVX_" + 0x01..0x0C; a datagram to either carrying the 10-byte "9007:\n" request is answered
//     with one datagram to the sender's name: the 5-byte reply header (length 164) and the
//     device-information block, 169 bytes;
//   - it accepts calls to its name: the request chunks come as session messages (one chunk per
//     message, '@', more flag, uint16 LE length, data); the reply goes out chunk by chunk, each
//     chunk (5-byte header + data) cut into session messages of at most `messageSize` bytes (3,072
//     by default), so the first message of every chunk starts with its header. One request per
//     session; the box hangs up after the reply. A restart request power-cycles the box after its
//     answer, so its staged device name takes effect.
//   - a switched-off box is no node: no name answers, no calls, no datagrams. A changed device name
//     (or address) is taken over by the node, which registers the new name: Refresh() does it at
//     once, a watcher thread within a short real time.
// The box keeps real time; the client's FakeClock does not speed it up (the dripping faults
// excepted, which are paced on the platform clock).
#pragma once
#include <atomic>
#include <condition_variable>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <utility>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "tools/box_emulator/framing.h"

namespace box_emulator {

class Box;
class PrintPath;

struct NetbiosFrontOptions {
  std::uint16_t nameServicePort = 137;
  std::uint16_t datagramPort = 138;
  std::uint16_t sessionPort = 139;
  std::string broadcast;  // dotted; empty: 127.255.255.255
  std::size_t messageSize = 3072;  // bytes per session message of a reply
  std::size_t chunkSize = 1024;    // data bytes per reply chunk
};

// Misbehaviours of one box's NetBIOS side; they last until cleared.
struct NetbiosFault {
  bool oversizeMessage = false;         // the reply as one chunk in one message of over 3,072 bytes
  std::optional<std::size_t> errorChunk;  // error byte 1 in reply chunk k (0-based; last when fewer)
  bool neverAnswer = false;             // take the request, then stay silent until the caller hangs up
  // Begin the reply's first session message (its header announces the whole message) with only the
  // 5-byte chunk header and one data byte, then stay silent until the caller hangs up.
  bool stallMidMessage = false;
  // The reply's chunk headers as messages of their own and its data one byte per message, one
  // message after each pause of dripEvery; or, with endlessEmptyChunks, header-only messages of
  // empty chunks with the more flag set until the caller hangs up (FaultPlan's fields of the same
  // names, paced on the platform clock).
  std::optional<std::chrono::milliseconds> dripEvery;
  bool endlessEmptyChunks = false;
};

// The 16-byte NetBIOS name under which a box with this device name is called.
std::string NetbiosNameOf(const std::string& deviceName);

class NetbiosFront {
 public:
  explicit NetbiosFront(NetbiosFrontOptions options = {});
  ~NetbiosFront();
  NetbiosFront(const NetbiosFront&) = delete;
  NetbiosFront& operator=(const NetbiosFront&) = delete;

  // Serves `box` (which must outlive the front) from now on; false when its node cannot open its
  // ports. Returns its index in `index` when given.
  bool AddBox(Box* box, std::size_t* index = nullptr);
  void SetFault(std::size_t index, const NetbiosFault& fault);
  void SetMessageSize(std::size_t index, std::size_t bytes);
  void SetChunkSize(std::size_t index, std::size_t bytes);
  // Sessions that begin with a print command go to `path` (print_path.h); set before AddBox.
  void SetPrintPath(PrintPath* path) { printPath_ = path; }

  // Brings every node in line with its box now (power, device name, address).
  void Refresh();
  // The name the node of box `index` answers to now (16 bytes; empty while it is no node).
  std::string NodeName(std::size_t index) const;
  // Complete requests taken over NetBIOS by box `index`, and discovery datagrams it answered.
  std::size_t RequestCount(std::size_t index) const;
  std::size_t DatagramCount(std::size_t index) const;

 private:
  struct Entry;
  void Watch();
  void RefreshEntry(Entry& e);
  bool OnMessage(Entry* e, int fd, const std::vector<std::uint8_t>& message, bool first);
  void Answer(Entry* e, int fd, const std::string& request);
  struct Job {
    Entry* entry = nullptr;
    int fd = -1;        // a silent session to hold until the caller hangs up; -1: a restart
    std::shared_ptr<const OutgoingReply> drip;  // with fd: a reply to drip instead (dripFault)
    FaultPlan dripFault;
  };
  void RunOnWorker(Job job);
  void SessionWorker();

  NetbiosFrontOptions options_;
  PrintPath* printPath_ = nullptr;
  mutable std::mutex mu_;
  std::condition_variable cv_;
  std::vector<std::unique_ptr<Entry>> entries_;
  // Sessions are served on the node's thread as their messages come; what has to wait (a silent
  // session, a restart) goes to workers: an idle one, else a new one.
  std::mutex sessionsMu_;
  std::condition_variable sessionsCv_;
  std::deque<Job> sessions_;
  std::size_t idleWorkers_ = 0;
  std::vector<std::thread> workers_;
  std::atomic<bool> stop_{false};
  std::thread watcher_;
};

}  // namespace box_emulator

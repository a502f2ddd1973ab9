#include "tools/box_emulator/print_path.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstring>

#include "platform/fd_io.h"
#include "platform/netbios/nb_peer.h"
#include "platform/paths.h"
#include "tools/box_emulator/box_emulator.h"

namespace box_emulator {

namespace {

using SteadyClock = std::chrono::steady_clock;

constexpr std::uint8_t kStateReady = 0;
constexpr std::uint8_t kStateOffline = 1;
constexpr std::uint8_t kStatePaperOut = 2;

// How long a print session may stay silent before the box gives up on it.
constexpr int kIdleLimitMs = 120000;

}  // namespace

struct PrintPath::Port {
  int sink = -1;
  std::string path;
  std::uint64_t taken = 0;
  std::size_t dataMessages = 0;
  std::vector<std::size_t> sizes;
  const void* holder = nullptr;  // the session that has the port open
  bool broken = false;           // its sink could not be written
  PrintPortFault fault;

  std::uint8_t State() const {
    if (fault.offline) return fault.offlineState;
    if (broken) return kStateOffline;
    if (fault.paperOutAfter && taken >= *fault.paperOutAfter) return kStatePaperOut;
    return kStateReady;
  }
};

struct PrintPath::Session {
  Box* box = nullptr;
  int fd = -1;
  int port = -1;  // the port this session opened (-1: none)
  std::optional<SteadyClock::time_point> readyAt;
};

PrintPath::PrintPath(PrintPathOptions options) : options_(std::move(options)) {
  if (!options_.sinkDirectory.empty()) platform::MakeDirectories(options_.sinkDirectory);
}

PrintPath::~PrintPath() {
  stop_ = true;
  std::map<std::thread::id, std::thread> threads;
  {
    std::lock_guard<std::mutex> lock(mu_);
    threads.swap(threads_);
  }
  for (auto& [id, t] : threads) t.join();
  for (auto& [key, port] : ports_)
    if (port->sink >= 0) ::close(port->sink);
}

PrintPath::Port& PrintPath::PortOf(const Box* box, int port) {
  auto& slot = ports_[{box, port}];
  if (!slot) {
    slot = std::make_unique<Port>();
    slot->path = SinkPath(box, port);
  }
  return *slot;
}

std::string PrintPath::SinkPath(const Box* box, int port) const {
  return options_.sinkDirectory + "/" + box->DefaultName() + "_port" + std::to_string(port) + ".prn";
}

void PrintPath::SetFault(const Box* box, int port, const PrintPortFault& fault) {
  std::lock_guard<std::mutex> lock(mu_);
  PortOf(box, port).fault = fault;
}

void PrintPath::SetBufferSize(std::uint16_t bytes) {
  std::lock_guard<std::mutex> lock(mu_);
  options_.bufferSize = bytes;
}

std::uint64_t PrintPath::BytesTaken(const Box* box, int port) const {
  std::lock_guard<std::mutex> lock(mu_);
  auto it = ports_.find({box, port});
  return it == ports_.end() ? 0 : it->second->taken;
}

std::vector<std::size_t> PrintPath::DataSizes(const Box* box, int port) const {
  std::lock_guard<std::mutex> lock(mu_);
  auto it = ports_.find({box, port});
  return it == ports_.end() ? std::vector<std::size_t>{} : it->second->sizes;
}

std::size_t PrintPath::ActiveSessions() const {
  std::lock_guard<std::mutex> lock(mu_);
  return active_;
}

void PrintPath::Serve(Box* box, int fd, std::vector<std::uint8_t> first) {
  std::lock_guard<std::mutex> lock(mu_);
  if (stop_) {
    ::close(fd);
    return;
  }
  // Threads of sessions that are over are joined here, so a long-running box keeps none.
  for (const std::thread::id& id : finished_) {
    auto it = threads_.find(id);
    if (it != threads_.end()) {
      it->second.join();
      threads_.erase(it);
    }
  }
  finished_.clear();
  ++active_;
  try {
    std::thread t([this, box, fd, m = std::move(first)]() mutable { Run(box, fd, std::move(m)); });
    const std::thread::id id = t.get_id();
    threads_.emplace(id, std::move(t));
  } catch (...) {
    --active_;
    ::close(fd);
  }
}

void PrintPath::Run(Box* box, int fd, std::vector<std::uint8_t> first) {
  Session s;
  s.box = box;
  s.fd = fd;
  bool alive = Handle(s, first);
  std::vector<std::uint8_t> message;
  int idleMs = 0;
  while (alive && !stop_) {
    int waitMs = 200;
    if (s.readyAt) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(*s.readyAt - SteadyClock::now());
      waitMs = static_cast<int>(std::max<std::int64_t>(0, std::min<std::int64_t>(left.count(), 200)));
    }
    if (s.readyAt && SteadyClock::now() >= *s.readyAt) {
      // The printer took what it was busy with: the unsolicited ready.
      s.readyAt.reset();
      std::uint8_t state = kStateReady;
      {
        std::lock_guard<std::mutex> lock(mu_);
        if (s.port >= 0) state = PortOf(box, s.port).State();
      }
      const std::uint8_t reply[print_wire::kReplySize] = {print_wire::kData, 0, 0, 0, 0, 0, 0, state};
      if (!platform::netbios::PeerNode::SendSessionMessage(fd, reply, sizeof reply)) break;
      continue;
    }
    const int r = platform::netbios::PeerNode::ReceiveSessionMessage(fd, message, waitMs);
    if (r == 0) break;
    if (r < 0) {
      idleMs += waitMs;
      if (idleMs >= kIdleLimitMs || !box->IsOn()) break;
      continue;
    }
    idleMs = 0;
    alive = Handle(s, message);
  }
  {
    std::lock_guard<std::mutex> lock(mu_);
    if (s.port >= 0) {
      Port& p = PortOf(box, s.port);
      if (p.holder == &s) p.holder = nullptr;
    }
    --active_;
    finished_.push_back(std::this_thread::get_id());
  }
  ::close(fd);
  ++ended_;
}

bool PrintPath::Handle(Session& s, const std::vector<std::uint8_t>& m) {
  if (m.size() < print_wire::kHeaderSize || !print_wire::IsPrintCommand(m[0])) return false;
  const std::size_t declared = static_cast<std::size_t>(m[2]) | (static_cast<std::size_t>(m[3]) << 8);
  if (declared != m.size() - 4) return false;  // a length that does not match the message
  const std::uint8_t command = m[0];
  const int portIndex = m[4];
  std::uint8_t reply[print_wire::kReplySize] = {command, 0, 0, 0, 0, 0, 0, 0};
  int sinkFd = -1;
  Port* sinkPort = nullptr;
  bool dropBeforeReply = false;
  {
    std::lock_guard<std::mutex> lock(mu_);
    Port& port = PortOf(s.box, portIndex);
    switch (command) {
      case print_wire::kOpen:
        if (port.fault.refuseOpen > 0) {
          --port.fault.refuseOpen;
          reply[2] = 1;
        } else if (port.holder != nullptr && port.holder != &s) {
          reply[2] = 1;  // another job is printing on the port
        } else {
          port.holder = &s;
          s.port = portIndex;
          reply[6] = static_cast<std::uint8_t>(options_.bufferSize & 0xFF);
          reply[7] = static_cast<std::uint8_t>(options_.bufferSize >> 8);
        }
        break;
      case print_wire::kData: {
        if (s.port != portIndex || port.holder != &s) {
          reply[2] = 1;
          break;
        }
        if (port.fault.dropAfter && port.taken >= *port.fault.dropAfter) {
          port.fault.dropAfter.reset();
          return false;
        }
        if (port.fault.refuseData > 0) {
          --port.fault.refuseData;
          reply[2] = 1;
          break;
        }
        const std::uint8_t before = port.State();
        if (before != kStateReady) {
          reply[2] = 1;
          reply[7] = before;
          break;
        }
        const std::size_t n = m.size() - print_wire::kHeaderSize;
        if (n > 0) {
          if (port.sink < 0) {
            port.sink = ::open(port.path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
          }
          if (port.sink < 0) {
            reply[2] = 1;  // nowhere to print to: not taken
            break;
          }
          // Taken into the box's buffer now; it goes to the sink once the reply is out, as a
          // printer prints while the next data is on its way.
          sinkFd = port.sink;
          sinkPort = &port;
          if (port.fault.dropAfterTaking && port.taken >= *port.fault.dropAfterTaking) {
            port.fault.dropAfterTaking.reset();
            dropBeforeReply = true;
          }
          port.taken += n;
          port.sizes.push_back(n);
        }
        ++port.dataMessages;
        reply[7] = port.State();
        if (port.fault.busyEvery > 0 && port.dataMessages % port.fault.busyEvery == 0) {
          reply[6] = 1;
          s.readyAt = SteadyClock::now() + std::chrono::milliseconds(port.fault.busyMs);
        }
        break;
      }
      case print_wire::kStatus:
        reply[7] = port.State();
        break;
      case print_wire::kEnd:
        if (port.holder == &s) port.holder = nullptr;
        if (s.port == portIndex) s.port = -1;
        break;
      default:
        return false;
    }
  }
  const bool sent = !dropBeforeReply && platform::netbios::PeerNode::SendSessionMessage(s.fd, reply, sizeof reply);
  if (sinkFd >= 0 &&
      !platform::WriteAll(sinkFd, m.data() + print_wire::kHeaderSize, m.size() - print_wire::kHeaderSize)) {
    std::lock_guard<std::mutex> lock(mu_);
    sinkPort->broken = true;  // the printer cannot print any more: off-line from now on
  }
  return sent;
}

}  // namespace box_emulator

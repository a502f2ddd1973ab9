#include "tools/box_emulator/netbios_front.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <map>

#include "device_client/core/wire_layout.h"
#include "platform/fd_io.h"
#include "platform/netbios/nb_common.h"
#include "platform/netbios/nb_peer.h"
#include "tools/box_emulator/box_emulator.h"
#include "tools/box_emulator/framing.h"
#include "tools/box_emulator/print_path.h"

namespace box_emulator {

namespace nb = platform::netbios;

namespace {

constexpr std::uint8_t kDiscoveryRequest[] = {0x40, 0x00, 0x06, 0x00, '9', '0', '0', '7', ':', '\n'};
// The largest reply message the callers take: an oversize fault goes beyond it.
constexpr std::size_t kOversizeMessage = 4000;

nb::wire::Name ToName(const std::string& sixteen) {
  nb::wire::Name n{};
  std::memcpy(n.data(), sixteen.data(), std::min<std::size_t>(sixteen.size(), 16));
  return n;
}

nb::wire::Name GroupName() {
  nb::wire::Name n{};
  std::memcpy(n.data(), wire::kBoxGroupName, std::strlen(wire::kBoxGroupName));
  return n;
}

nb::wire::Name OldGroupName() {
  nb::wire::Name n{};
  std::memcpy(n.data(), "KVX_", 4);
  for (int i = 0; i < 12; ++i) n[static_cast<std::size_t>(4 + i)] = static_cast<std::uint8_t>(0x01 + i);
  return n;
}

std::uint32_t HostAddress(const std::string& dotted) {
  in_addr a{};
  if (inet_pton(AF_INET, dotted.c_str(), &a) != 1) return 0;
  return ntohl(a.s_addr);
}

// Announces that the node at `address` takes `name`: a broadcast NAME REGISTRATION REQUEST, as a
// node sends when it starts or takes a new name. Objections are not waited for (the box keeps its
// name, as a print server does).
void BroadcastRegistration(const nb::wire::Name& name, std::uint32_t address, std::uint32_t broadcast,
                           std::uint16_t port) {
  static std::atomic<std::uint16_t> trn{0x4000};
  nb::wire::NsPacket p;
  p.trnId = trn++;
  p.opcode = nb::wire::kOpRegistration;
  p.broadcast = true;
  p.questions.push_back({name, nb::wire::kTypeNB, nb::wire::kClassIN});
  nb::wire::NsRecord rr;
  rr.name = name;
  rr.ttl = 300000;
  rr.rdata = nb::wire::NbRdata(0, address);
  p.additional.push_back(rr);
  const std::vector<std::uint8_t> packet = nb::wire::BuildNsPacket(p);
  const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return;
  int one = 1;
  ::setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &one, sizeof one);
  sockaddr_in local{};
  local.sin_family = AF_INET;
  local.sin_addr.s_addr = htonl(address);
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(port);
  to.sin_addr.s_addr = htonl(broadcast != 0 ? broadcast : (address | 0x00FFFFFFu));
  if (::bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) == 0) {
    [[maybe_unused]] ssize_t sent =
        ::sendto(fd, packet.data(), packet.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
  }
  ::close(fd);
}

}  // namespace

std::string NetbiosNameOf(const std::string& deviceName) {
  std::string name = deviceName.substr(0, std::min<std::size_t>(deviceName.find('\0'), 15));
  name.resize(15, '\x02');
  name.push_back('\x01');
  return name;
}

struct NetbiosFront::Entry {
  Box* box = nullptr;
  // Settings, under the front's mu_.
  NetbiosFault fault;
  std::size_t messageSize = 3072;
  std::size_t chunkSize = 1024;
  std::string nodeName;  // what the node answers to ("" while there is none)
  // Requests being assembled, by session socket (on the node's thread only).
  std::map<int, RequestAssembler> assembling;
  // The node and what it was started for, under refreshMu.
  std::mutex refreshMu;
  std::unique_ptr<nb::PeerNode> node;
  std::string address;
  std::atomic<std::size_t> requests{0};
  std::atomic<std::size_t> datagrams{0};
};

NetbiosFront::NetbiosFront(NetbiosFrontOptions options) : options_(std::move(options)) {
  watcher_ = std::thread([this] { Watch(); });
}

NetbiosFront::~NetbiosFront() {
  {
    std::lock_guard<std::mutex> lock(mu_);
    stop_ = true;
  }
  cv_.notify_all();
  watcher_.join();
  std::vector<Entry*> all;
  {
    std::lock_guard<std::mutex> lock(mu_);
    for (auto& e : entries_) all.push_back(e.get());
  }
  for (Entry* e : all) {
    std::lock_guard<std::mutex> lock(e->refreshMu);
    if (e->node) e->node->Stop();
    e->node.reset();
  }
  std::vector<std::thread> workers;
  {
    std::lock_guard<std::mutex> lock(sessionsMu_);
    workers.swap(workers_);
    for (const Job& job : sessions_)
      if (job.fd >= 0) ::close(job.fd);
    sessions_.clear();
  }
  sessionsCv_.notify_all();
  for (auto& t : workers) t.join();
}

bool NetbiosFront::AddBox(Box* box, std::size_t* index) {
  if (box == nullptr) return false;
  auto entry = std::make_unique<Entry>();
  entry->box = box;
  entry->messageSize = options_.messageSize;
  entry->chunkSize = options_.chunkSize;
  Entry* e = entry.get();
  {
    std::lock_guard<std::mutex> lock(mu_);
    if (index != nullptr) *index = entries_.size();
    entries_.push_back(std::move(entry));
  }
  RefreshEntry(*e);
  std::lock_guard<std::mutex> lock(e->refreshMu);
  return e->node != nullptr || !box->IsOn();
}

void NetbiosFront::SetFault(std::size_t index, const NetbiosFault& fault) {
  std::lock_guard<std::mutex> lock(mu_);
  if (index < entries_.size()) entries_[index]->fault = fault;
}

void NetbiosFront::SetMessageSize(std::size_t index, std::size_t bytes) {
  std::lock_guard<std::mutex> lock(mu_);
  if (index < entries_.size() && bytes > 0) entries_[index]->messageSize = bytes;
}

void NetbiosFront::SetChunkSize(std::size_t index, std::size_t bytes) {
  std::lock_guard<std::mutex> lock(mu_);
  if (index < entries_.size() && bytes > 0) entries_[index]->chunkSize = bytes;
}

std::string NetbiosFront::NodeName(std::size_t index) const {
  std::lock_guard<std::mutex> lock(mu_);
  return index < entries_.size() ? entries_[index]->nodeName : std::string();
}

std::size_t NetbiosFront::RequestCount(std::size_t index) const {
  std::lock_guard<std::mutex> lock(mu_);
  return index < entries_.size() ? entries_[index]->requests.load() : 0;
}

std::size_t NetbiosFront::DatagramCount(std::size_t index) const {
  std::lock_guard<std::mutex> lock(mu_);
  return index < entries_.size() ? entries_[index]->datagrams.load() : 0;
}

void NetbiosFront::Refresh() {
  std::vector<Entry*> all;
  {
    std::lock_guard<std::mutex> lock(mu_);
    for (auto& e : entries_) all.push_back(e.get());
  }
  for (Entry* e : all) RefreshEntry(*e);
}

void NetbiosFront::Watch() {
  std::unique_lock<std::mutex> lock(mu_);
  while (!stop_) {
    cv_.wait_for(lock, std::chrono::milliseconds(100));
    if (stop_) break;
    lock.unlock();
    Refresh();
    lock.lock();
  }
}

void NetbiosFront::RefreshEntry(Entry& e) {
  std::lock_guard<std::mutex> refresh(e.refreshMu);
  if (stop_) return;
  const bool on = e.box->IsOn();
  const std::string name = on ? NetbiosNameOf(e.box->DeviceName()) : std::string();
  const std::string address = on ? e.box->Address() : std::string();
  if (!on) {
    if (e.node) e.node->Stop();
    e.node.reset();
  } else if (e.node && address == e.address) {
    // A new device name: the node takes it over (and stops answering to the old one).
    if (e.node->Name() != ToName(name)) {
      e.node->SetName(ToName(name));
      BroadcastRegistration(ToName(name), HostAddress(address),
                            options_.broadcast.empty() ? 0 : HostAddress(options_.broadcast),
                            options_.nameServicePort);
    }
  } else {
    if (e.node) e.node->Stop();
    e.node.reset();
    nb::PeerOptions po;
    po.address = HostAddress(address);
    po.broadcast = options_.broadcast.empty() ? 0 : HostAddress(options_.broadcast);
    po.nameServicePort = options_.nameServicePort;
    po.datagramPort = options_.datagramPort;
    po.sessionPort = options_.sessionPort;
    po.name = ToName(name);
    po.groups = {GroupName(), OldGroupName()};
    Entry* self = &e;
    auto node = std::make_unique<nb::PeerNode>(
        po,
        [self](nb::PeerNode& n, const nb::wire::Datagram& d) {
          if (d.data.size() != sizeof kDiscoveryRequest ||
              std::memcmp(d.data.data(), kDiscoveryRequest, sizeof kDiscoveryRequest) != 0 ||
              !self->box->IsOn()) {
            return;
          }
          const auto block = self->box->DeviceInfoBlock();
          const std::string header =
              EncodeReplyHeader(ReplyHeader::kStream, false, 0, static_cast<std::uint16_t>(block.size()));
          std::vector<std::uint8_t> answer(header.begin(), header.end());
          answer.insert(answer.end(), block.begin(), block.end());
          if (n.SendDatagram(d.source, d.sourceIp, d.sourcePort, answer)) ++self->datagrams;
        },
        [](int fd, const nb::wire::Name&) { ::close(fd); });
    node->ServeSessionsInline([this, self](int fd, const std::vector<std::uint8_t>& message, bool first) {
      return OnMessage(self, fd, message, first);
    });
    if (node->Start()) {
      e.node = std::move(node);
      e.address = address;
      BroadcastRegistration(po.name, po.address, po.broadcast, po.nameServicePort);
    }
  }
  std::lock_guard<std::mutex> lock(mu_);
  e.nodeName = e.node ? name : std::string();
}

bool NetbiosFront::OnMessage(Entry* e, int fd, const std::vector<std::uint8_t>& message, bool first) {
  if (first) e->assembling.erase(fd);  // a socket number of an earlier session
  if (first && printPath_ != nullptr && !message.empty() && print_wire::IsPrintCommand(message[0])) {
    printPath_->Serve(e->box, fd, message);
    return false;
  }
  RequestAssembler& assembler = e->assembling[fd];
  assembler.Feed(std::string_view(reinterpret_cast<const char*>(message.data()), message.size()));
  if (assembler.state() == RequestAssembler::State::kNeedMore) return true;
  const bool complete = assembler.state() == RequestAssembler::State::kComplete;
  const std::string request = complete ? assembler.data() : std::string();
  e->assembling.erase(fd);
  if (!complete || !e->box->IsOn() || stop_) {
    ::close(fd);
    return false;
  }
  Answer(e, fd, request);
  return false;
}

void NetbiosFront::RunOnWorker(Job job) {
  std::lock_guard<std::mutex> lock(sessionsMu_);
  if (stop_) {
    if (job.fd >= 0) ::close(job.fd);
    return;
  }
  sessions_.push_back(job);
  if (sessions_.size() <= idleWorkers_) {
    sessionsCv_.notify_one();
    return;
  }
  try {
    workers_.emplace_back([this] { SessionWorker(); });
  } catch (...) {
    sessions_.pop_back();
    if (job.fd >= 0) ::close(job.fd);
  }
}

void NetbiosFront::SessionWorker() {
  std::unique_lock<std::mutex> lock(sessionsMu_);
  for (;;) {
    ++idleWorkers_;
    sessionsCv_.wait(lock, [this] { return stop_ || !sessions_.empty(); });
    --idleWorkers_;
    if (stop_) return;
    const Job job = sessions_.front();
    sessions_.pop_front();
    lock.unlock();
    if (job.fd >= 0 && job.drip) {
      const int fd = job.fd;
      DripReply(
          *job.drip, job.dripFault, ReplyHeader::kStream,
          [fd](std::string_view piece) {
            std::vector<std::uint8_t> message(4 + piece.size());
            nb::wire::PutSessionHeader(nb::wire::kSsnMessage, static_cast<std::uint32_t>(piece.size()),
                                       message.data());
            std::memcpy(message.data() + 4, piece.data(), piece.size());
            return platform::SendAll(fd, message.data(), message.size());
          },
          [this] { return stop_.load(); });
      ::close(fd);
    } else if (job.fd >= 0) {
      // Silent until the caller hangs up (or the front goes away).
      std::vector<std::uint8_t> message;
      while (!stop_) {
        if (nb::PeerNode::ReceiveSessionMessage(job.fd, message, 200) == 0) break;
      }
      ::close(job.fd);
    } else {
      // Power cycle: the staged configuration (a new device name among it) starts running.
      job.entry->box->SwitchOff();
      job.entry->box->SwitchOn();
      RefreshEntry(*job.entry);
    }
    lock.lock();
  }
}

// Runs on the node's thread with a complete request: the reply goes out at once, chunk by chunk.
void NetbiosFront::Answer(Entry* e, int fd, const std::string& request) {
  ++e->requests;
  NetbiosFault fault;
  std::size_t messageSize = 3072;
  std::size_t chunkSize = 1024;
  {
    std::lock_guard<std::mutex> lock(mu_);
    fault = e->fault;
    messageSize = e->messageSize;
    chunkSize = e->chunkSize;
  }
  if (fault.neverAnswer) {
    RunOnWorker(Job{e, fd});
    return;
  }
  CoreReply reply;
  e->box->WithCore([&](BoxCore& core) { reply = core.HandleRequest(request); });
  FaultPlan plan;
  if (fault.errorChunk) plan.errorChunk = fault.errorChunk;
  if (fault.oversizeMessage) {
    plan.oversizeChunk = std::max(reply.data.size(), kOversizeMessage);
    messageSize = 0xFFFF + 5;
  }
  const OutgoingReply out = PlanReply(reply.data, reply.error, plan, chunkSize, ReplyHeader::kStream);
  plan.dripEvery = fault.dripEvery;
  plan.endlessEmptyChunks = fault.endlessEmptyChunks;
  if (fault.stallMidMessage && !out.chunks.empty()) {
    const std::string bytes = out.chunks.front().header + out.chunks.front().data;
    const std::size_t n = std::min(messageSize, bytes.size());
    const std::size_t begun = std::min<std::size_t>(n, 6);
    std::vector<std::uint8_t> message(4 + begun);
    nb::wire::PutSessionHeader(nb::wire::kSsnMessage, static_cast<std::uint32_t>(n), message.data());
    std::memcpy(message.data() + 4, bytes.data(), begun);
    platform::SendAll(fd, message.data(), message.size());
    RunOnWorker(Job{e, fd});  // silent until the caller hangs up
    return;
  }
  if (Drips(plan)) {
    // On a worker: the node's thread goes on serving.
    RunOnWorker(Job{e, fd, std::make_shared<const OutgoingReply>(out), plan});
    return;
  }
  // Every session message of the reply, framed, in one send.
  std::vector<std::uint8_t> wireBytes;
  bool ok = true;
  for (const ReplyChunk& chunk : out.chunks) {
    const std::string bytes = chunk.header + chunk.data;
    for (std::size_t off = 0; ok && off < bytes.size(); off += messageSize) {
      const std::size_t n = std::min(messageSize, bytes.size() - off);
      if (n > nb::wire::kMaxSessionLength) {
        ok = false;
        break;
      }
      std::uint8_t head[4];
      nb::wire::PutSessionHeader(nb::wire::kSsnMessage, static_cast<std::uint32_t>(n), head);
      wireBytes.insert(wireBytes.end(), head, head + 4);
      wireBytes.insert(wireBytes.end(), bytes.begin() + static_cast<std::ptrdiff_t>(off),
                       bytes.begin() + static_cast<std::ptrdiff_t>(off + n));
    }
  }
  if (!wireBytes.empty()) {
    // A reply usually fits the socket's buffer at once. When it does not, the rest waits for the
    // caller, but a caller that stops reading does not hold the node up for long.
    ssize_t sent;
    do {
      sent = ::send(fd, wireBytes.data(), wireBytes.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
    } while (sent < 0 && errno == EINTR);
    const std::size_t done = sent > 0 ? static_cast<std::size_t>(sent) : 0;
    if (done < wireBytes.size() && (sent >= 0 || errno == EAGAIN || errno == EWOULDBLOCK)) {
      timeval limit{2, 0};
      ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
      platform::SendAll(fd, wireBytes.data() + done, wireBytes.size() - done);
    }
  }
  ::close(fd);
  // The node's thread cannot replace its own node: the restart runs on a worker.
  if (reply.restart) RunOnWorker(Job{e, -1});
}

}  // namespace box_emulator

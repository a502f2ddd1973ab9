#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <random>
#include <stdexcept>

#include "platform/fd_io.h"
#include "tools/box_emulator/box_emulator.h"

namespace box_emulator {
namespace {

constexpr std::size_t kMaxConnections = 256;

std::mt19937& Rng() {
  static thread_local std::mt19937 rng{std::random_device{}()};
  return rng;
}

// A loopback address a real box could have: no octet is 255 and the last is not 0, which the
// programs' address rules refuse.
std::string RandomLoopbackAddress() {
  std::uniform_int_distribution<int> second(64, 127), third(0, 254), fourth(1, 254);
  auto& rng = Rng();
  return "127." + std::to_string(second(rng)) + "." + std::to_string(third(rng)) + "." +
         std::to_string(fourth(rng));
}

// The listener of a box never blocks its event loop: an accept finds a connection or EAGAIN.
int OpenBoxListener(const std::string& address, std::uint16_t port) {
  const int fd = OpenListener(address, port);
  if (fd >= 0) {
    const int flags = ::fcntl(fd, F_GETFL, 0);
    if (flags >= 0) ::fcntl(fd, F_SETFL, flags | O_NONBLOCK);
  }
  return fd;
}

void SetNoDelay(int fd) {
  const int one = 1;
  ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
}

// Every header and data piece of a reply, in order, for one gathered send.
std::vector<iovec> ReplyVector(const OutgoingReply& reply) {
  std::vector<iovec> iov;
  iov.reserve(reply.chunks.size() * 2);
  for (const auto& chunk : reply.chunks) {
    for (const std::string* part : {&chunk.header, &chunk.data}) {
      if (!part->empty()) iov.push_back({const_cast<char*>(part->data()), part->size()});
    }
  }
  return iov;
}

enum class SendResult { kDone, kWouldBlock, kFailed };

// Sends iov[at..] with as few sendmsg calls as the socket takes, advancing `at` and the first
// unsent piece past what went out.
SendResult SendVector(int fd, std::vector<iovec>& iov, std::size_t& at, int flags) {
  while (at < iov.size()) {
    msghdr m{};
    m.msg_iov = &iov[at];
    m.msg_iovlen = std::min<std::size_t>(iov.size() - at, IOV_MAX);
    const ssize_t n = ::sendmsg(fd, &m, flags | MSG_NOSIGNAL);
    if (n < 0) {
      if (errno == EINTR) continue;
      return errno == EAGAIN || errno == EWOULDBLOCK ? SendResult::kWouldBlock : SendResult::kFailed;
    }
    auto left = static_cast<std::size_t>(n);
    while (at < iov.size() && left >= iov[at].iov_len) left -= iov[at++].iov_len;
    if (left > 0) {
      iov[at].iov_base = static_cast<char*>(iov[at].iov_base) + left;
      iov[at].iov_len -= left;
    }
  }
  return SendResult::kDone;
}

}  // namespace

bool IsLoopbackAddress(const std::string& text) {
  in_addr a{};
  if (::inet_pton(AF_INET, text.c_str(), &a) != 1) return false;
  return (ntohl(a.s_addr) >> 24) == 127;
}

int OpenListener(const std::string& address, std::uint16_t port) {
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_port = htons(port);
  if (::inet_pton(AF_INET, address.c_str(), &sa.sin_addr) != 1) {
    errno = EINVAL;
    return -1;
  }
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  // Lets a restarted box take its address back while old connections linger in TIME_WAIT; a
  // second listener on the same address still gets EADDRINUSE.
  const int one = 1;
  ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  if (::bind(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0 || ::listen(fd, 64) != 0) {
    const int e = errno;
    ::close(fd);
    errno = e;
    return -1;
  }
  return fd;
}

Box::Box(BoxOptions options)
    : port_(options.port),
      idleTimeout_(options.idleTimeout),
      core_([&] {
        BoxIdentity id = options.identity;
        if (options.randomHardwareAddress) {
          std::uniform_int_distribution<int> byte(0, 255);
          for (int i = 3; i < 6; ++i) id.hardwareAddress[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(byte(Rng()));
        }
        return id;
      }(), ""),
      restartWindow_(options.restartWindow),
      chunkSize_(options.replyChunkSize) {
  if (options.address.empty()) {
    for (int attempt = 0; attempt < 200 && listenFd_ < 0; ++attempt) {
      const std::string a = RandomLoopbackAddress();
      listenFd_ = OpenBoxListener(a, port_);
      if (listenFd_ >= 0) address_ = a;
      else if (errno != EADDRINUSE) break;
    }
  } else {
    if (!IsLoopbackAddress(options.address)) throw std::runtime_error("not a loopback address: " + options.address);
    listenFd_ = OpenBoxListener(options.address, port_);
    address_ = options.address;
  }
  if (listenFd_ < 0) {
    throw std::runtime_error("box emulator cannot listen at " +
                             (address_.empty() ? std::string("a random address") : address_) +
                             ":" + std::to_string(port_) + ": " + std::strerror(errno));
  }
  desiredAddress_ = address_;
  core_.StartConfigured(address_);
  wakeFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (wakeFd_ < 0) {
    ::close(listenFd_);
    throw std::runtime_error("box emulator: eventfd failed");
  }
  acceptor_ = std::thread([this] { AcceptLoop(); });
}

Box::~Box() {
  {
    std::lock_guard lock(mu_);
    stopping_ = true;
    for (int fd : connections_) ::shutdown(fd, SHUT_RDWR);
    cv_.notify_all();
    jobCv_.notify_all();
  }
  Wake();
  acceptor_.join();
  // Only the acceptor starts workers; they finish the jobs still queued, then leave.
  for (auto& w : workers_) w.join();
  ::close(wakeFd_);
}

void Box::Wake() {
  const std::uint64_t one = 1;
  [[maybe_unused]] const ssize_t n = ::write(wakeFd_, &one, sizeof one);
}

void Box::ChangedLocked() {
  ++changes_;
  cv_.notify_all();
}

// Runs on the acceptor thread, which alone opens and closes the listening socket.
void Box::ReconcileListenerLocked() {
  const bool wantListen = on_ && !stopping_;
  if (listenFd_ >= 0 && (!wantListen || address_ != desiredAddress_)) {
    ::close(listenFd_);
    listenFd_ = -1;
  }
  if (wantListen && listenFd_ < 0) {
    listenFd_ = OpenBoxListener(desiredAddress_, port_);
    if (listenFd_ >= 0) {
      address_ = desiredAddress_;
    } else if (desiredAddress_ != address_) {
      // The new address is taken: the box stays reachable where it was.
      desiredAddress_ = address_;
      listenFd_ = OpenBoxListener(address_, port_);
    }
  }
  if (appliedGen_ != requestedGen_) {
    appliedGen_ = requestedGen_;
    ChangedLocked();
  }
}

void Box::RequestListenerChangeLocked(std::unique_lock<std::mutex>& lock) {
  const std::uint64_t gen = ++requestedGen_;
  Wake();
  cv_.wait(lock, [&] { return appliedGen_ >= gen || stopping_; });
}

void Box::FinishRestartLocked() {
  core_.CompleteRestart();
  restarting_ = false;
  ++restarts_;
  const std::string ip = core_.Get("4000").value_or("");
  if (IsLoopbackAddress(ip) && ip != address_) {
    desiredAddress_ = ip;
    ++requestedGen_;
    Wake();
  }
  ChangedLocked();
}

void Box::BeginRestartLocked(std::unique_lock<std::mutex>& lock) {
  if (restartWindow_.count() <= 0) {
    FinishRestartLocked();
    const std::uint64_t gen = requestedGen_;
    cv_.wait(lock, [&] { return appliedGen_ >= gen || stopping_; });
    return;
  }
  restarting_ = true;
  restartEnd_ = Clock::now() + restartWindow_;
  Wake();
  ChangedLocked();
}

// The box's event loop, on the acceptor thread (which alone opens and closes the listening
// socket). It accepts connections and reads their requests without blocking. A request that can
// be answered at once (no fault planned, no restart running) is answered here in one gathered
// send and the connection closed; everything that has to wait (fault plans, requests during a
// restart, refused or unfinished requests) goes to a pool of long-lived worker threads.
void Box::AcceptLoop() {
  std::unique_lock lock(mu_);
  std::vector<pollfd> fds;
  for (;;) {
    if (stopping_) break;
    if (restarting_ && Clock::now() >= restartEnd_) FinishRestartLocked();
    ReconcileListenerLocked();

    // Connections that brought no complete request in time.
    const auto now = Clock::now();
    auto next = Clock::time_point::max();
    for (std::size_t i = pending_.size(); i-- > 0;) {
      if (now >= pending_[i].deadline) {
        Pending p = std::move(pending_[i]);
        pending_.erase(pending_.begin() + static_cast<std::ptrdiff_t>(i));
        DispatchLocked(p, "no complete request in time", lock);
      } else {
        next = std::min(next, pending_[i].deadline);
      }
    }
    if (restarting_) next = std::min(next, restartEnd_);
    int timeout = -1;
    if (next != Clock::time_point::max()) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(next - Clock::now());
      timeout = static_cast<int>(std::clamp<long long>(left.count(), 0, INT_MAX - 1) + 1);
    }

    fds.clear();
    fds.push_back({wakeFd_, POLLIN, 0});
    const int listener = listenFd_;
    if (listener >= 0) fds.push_back({listener, POLLIN, 0});
    const std::size_t first = fds.size();
    for (const Pending& p : pending_) fds.push_back({p.fd, POLLIN, 0});
    lock.unlock();
    ::poll(fds.data(), fds.size(), timeout);
    lock.lock();
    if (fds[0].revents & POLLIN) {
      std::uint64_t value;
      [[maybe_unused]] const ssize_t n = ::read(wakeFd_, &value, sizeof value);
    }
    if (stopping_) break;
    // pending_ changes only on this thread, so it still lines up with fds.
    for (std::size_t i = pending_.size(); i-- > 0;) {
      if (fds[first + i].revents == 0) continue;
      std::string failure;
      if (!ReadRequest(pending_[i], failure)) continue;
      Pending p = std::move(pending_[i]);
      pending_.erase(pending_.begin() + static_cast<std::ptrdiff_t>(i));
      DispatchLocked(p, std::move(failure), lock);
    }
    if (listener >= 0 && listener == listenFd_ && (fds[1].revents & POLLIN)) AcceptLocked(lock);
  }
  for (const Pending& p : pending_) {
    connections_.erase(p.fd);
    ::close(p.fd);
  }
  pending_.clear();
  if (listenFd_ >= 0) {
    ::close(listenFd_);
    listenFd_ = -1;
  }
  ChangedLocked();
}

// Takes one connection (the loop comes back for the next) and reads what of its request is
// already there: when the client was quicker than the box, that saves a wait in poll(); when
// not, the box was waiting for the client anyway.
void Box::AcceptLocked(std::unique_lock<std::mutex>& lock) {
  const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
  if (fd < 0) return;
  if (connections_.size() >= kMaxConnections) {
    ::close(fd);  // too many at once: refused like a busy device would
    return;
  }
  connections_.insert(fd);
  Pending p;
  p.fd = fd;
  p.deadline = Clock::now() + idleTimeout_;
  std::string failure;
  if (ReadRequest(p, failure)) {
    DispatchLocked(p, std::move(failure), lock);
  } else {
    pending_.push_back(std::move(p));
  }
}

// Reads what has arrived of a connection's request without waiting. True when the reading is
// over: the request is complete or refused, or the connection ended (`failure` says so).
bool Box::ReadRequest(Pending& p, std::string& failure) {
  char buf[4096];
  for (;;) {
    const ssize_t n = ::recv(p.fd, buf, sizeof buf, MSG_DONTWAIT);
    if (n > 0) {
      if (p.assembler.Feed(std::string_view(buf, static_cast<std::size_t>(n))) !=
          RequestAssembler::State::kNeedMore) {
        return true;
      }
      if (static_cast<std::size_t>(n) < sizeof buf) return false;  // the rest is still on its way
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return false;
    failure = "connection closed before the last request chunk";
    return true;
  }
}

void Box::DispatchLocked(Pending& p, std::string failure, std::unique_lock<std::mutex>& lock) {
  if (p.assembler.state() == RequestAssembler::State::kComplete && !restarting_ && on_ &&
      !stopping_ && faults_.empty()) {
    AnswerNowLocked(p.fd, p.assembler, lock);
    return;
  }
  RunOnWorkerLocked([this, fd = p.fd, assembler = std::move(p.assembler),
                     why = std::move(failure)] { Answer(fd, assembler, why); });
}

void Box::RunOnWorkerLocked(std::function<void()> job) {
  jobs_.push_back(std::move(job));
  if (jobs_.size() > idleWorkers_) {
    workers_.emplace_back([this] { WorkerLoop(); });
  } else {
    jobCv_.notify_one();
  }
}

void Box::WorkerLoop() {
  std::unique_lock lock(mu_);
  for (;;) {
    ++idleWorkers_;
    jobCv_.wait(lock, [&] { return !jobs_.empty() || stopping_; });
    --idleWorkers_;
    if (jobs_.empty()) return;
    std::function<void()> job = std::move(jobs_.front());
    jobs_.pop_front();
    lock.unlock();
    job();
    job = nullptr;
    lock.lock();
  }
}

// A well-formed request, no fault, no restart running: answered on the event loop.
void Box::AnswerNowLocked(int fd, const RequestAssembler& assembler,
                          std::unique_lock<std::mutex>& lock) {
  ReceivedRequest record;
  record.data = assembler.data();
  record.wire = assembler.wire();
  record.chunkSizes = assembler.chunkSizes();
  record.wellFormed = true;
  record.answered = true;
  const CoreReply reply = core_.HandleRequest(record.data);
  const OutgoingReply outgoing =
      PlanReply(reply.data, reply.error, FaultPlan{}, chunkSize_, ReplyHeader::kStream);
  requests_.push_back(std::move(record));
  if (reply.restart) {
    if (restartWindow_.count() <= 0) {
      // The listener belongs to this thread: the restart, a move included, completes here,
      // before the reply goes out.
      FinishRestartLocked();
      ReconcileListenerLocked();
    } else {
      BeginRestartLocked(lock);
    }
  }
  ChangedLocked();
  lock.unlock();

  std::vector<iovec> iov = ReplyVector(outgoing);
  std::size_t at = 0;
  if (SendVector(fd, iov, at, MSG_DONTWAIT) == SendResult::kWouldBlock) {
    // The client's window is full: a worker sends the rest as the client reads.
    std::string rest;
    for (std::size_t i = at; i < iov.size(); ++i) {
      rest.append(static_cast<const char*>(iov[i].iov_base), iov[i].iov_len);
    }
    lock.lock();
    RunOnWorkerLocked([this, fd, rest = std::move(rest)] {
      SetNoDelay(fd);
      platform::SendAll(fd, rest.data(), rest.size());
      CloseAfterReply(fd);
    });
    return;
  }
  CloseAfterReply(fd);
  lock.lock();
}

// Closes right after the reply: request bytes the client sent beyond its request are read
// first, so the close is an orderly end of the stream (not a reset that could destroy reply
// data still in flight).
void Box::CloseAfterReply(int fd) {
  char buf[512];
  while (::recv(fd, buf, sizeof buf, MSG_DONTWAIT) > 0) {
  }
  std::lock_guard lock(mu_);
  connections_.erase(fd);
  ::close(fd);
}

void Box::CloseConnection(int fd) {
  // Half-close, then let the peer close first, so that unread request bytes cannot turn the
  // close into a reset that would destroy reply data still in flight.
  ::shutdown(fd, SHUT_WR);
  char buf[512];
  for (;;) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, 2000) <= 0) break;
    const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
    if (n <= 0) break;
  }
  std::lock_guard lock(mu_);
  connections_.erase(fd);
  ::close(fd);
}

// On a worker: a request that was refused, ended early, arrived during a restart or meets a
// planned fault.
void Box::Answer(int fd, const RequestAssembler& assembler, const std::string& failure) {
  std::unique_lock lock(mu_);
  ReceivedRequest record;
  record.data = assembler.data();
  record.wire = assembler.wire();
  record.chunkSizes = assembler.chunkSizes();
  if (assembler.state() != RequestAssembler::State::kComplete) {
    record.error = assembler.state() == RequestAssembler::State::kBad ? assembler.error() : failure;
    if (!record.wire.empty()) {
      requests_.push_back(std::move(record));
      ChangedLocked();
    }
    lock.unlock();
    CloseConnection(fd);
    return;
  }
  record.wellFormed = true;

  if (restarting_ || !on_ || stopping_) {
    // The box is restarting: it takes the request in but stays silent, and drops the connection
    // when the restart is over.
    record.duringRestart = true;
    requests_.push_back(std::move(record));
    ChangedLocked();
    const int before = restarts_;
    cv_.wait(lock, [&] { return stopping_ || !on_ || !restarting_ || restarts_ != before; });
    lock.unlock();
    ::shutdown(fd, SHUT_RDWR);
    CloseConnection(fd);
    return;
  }

  FaultPlan fault;
  if (!faults_.empty()) {
    fault = faults_.front();
    if (--faults_.front().count <= 0) faults_.pop_front();
  }
  const CoreReply reply = core_.HandleRequest(record.data);
  const OutgoingReply outgoing = PlanReply(reply.data, reply.error, fault,
                                           fault.chunkSize.value_or(chunkSize_), ReplyHeader::kStream);
  record.answered = !fault.neverReply;
  requests_.push_back(std::move(record));
  if (reply.restart) BeginRestartLocked(lock);
  ChangedLocked();

  if (fault.delay.count() > 0) {
    cv_.wait_for(lock, fault.delay, [&] { return stopping_ || !on_; });
  }
  const bool cut = stopping_ || !on_;
  lock.unlock();

  if (Drips(fault)) {
    if (!cut) {
      SetNoDelay(fd);  // every piece in a segment of its own
      DripReply(
          outgoing, fault, ReplyHeader::kStream,
          [fd](std::string_view piece) { return platform::SendAll(fd, piece.data(), piece.size()); },
          [this] {
            std::lock_guard stopLock(mu_);
            return stopping_ || !on_;
          });
    }
    CloseAfterReply(fd);
    return;
  }
  if (fault.neverReply) {
    // Silent until the peer gives up (or the box is switched off).
    char buf[512];
    for (;;) {
      const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
    }
    CloseConnection(fd);
    return;
  }
  if (!cut) SendReply(fd, outgoing);
  CloseAfterReply(fd);
}

bool Box::SendReply(int fd, const OutgoingReply& reply) {
  if (!reply.splitHeaders && !reply.closeAfterBytes) {
    // Each chunk's header travels with its data, the whole reply in as few sends as it takes.
    SetNoDelay(fd);
    std::vector<iovec> iov = ReplyVector(reply);
    std::size_t at = 0;
    return SendVector(fd, iov, at, 0) == SendResult::kDone;
  }
  // Faults that cut the reply or split its headers send it piece by piece.
  if (reply.splitHeaders) SetNoDelay(fd);
  std::size_t budget = reply.closeAfterBytes.value_or(static_cast<std::size_t>(-1));
  auto put = [&](const std::string& bytes, bool piecewise) {
    const std::size_t n = std::min(bytes.size(), budget);
    budget -= n;
    if (!piecewise) return platform::SendAll(fd, bytes.data(), n) && budget > 0;
    for (std::size_t i = 0; i < n; ++i) {
      if (!platform::SendAll(fd, bytes.data() + i, 1)) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(3));  // one segment per byte
    }
    return budget > 0;
  };
  for (const auto& chunk : reply.chunks) {
    if (!chunk.header.empty() && !put(chunk.header, reply.splitHeaders)) return false;
    if (!chunk.data.empty() && !put(chunk.data, false)) return false;
  }
  return true;
}

// ---- accessors ----

std::string Box::Address() const {
  std::lock_guard lock(mu_);
  return address_;
}
std::string Box::DefaultName() const {
  std::lock_guard lock(mu_);
  return core_.DefaultName();
}
std::string Box::DeviceName() const {
  std::lock_guard lock(mu_);
  return core_.DeviceName();
}
std::optional<std::string> Box::Setting(const std::string& key) const {
  std::lock_guard lock(mu_);
  return core_.Get(key);
}
std::optional<std::string> Box::PendingSetting(const std::string& key) const {
  std::lock_guard lock(mu_);
  return core_.GetPending(key);
}
bool Box::SetSetting(const std::string& key, const std::string& value) {
  std::lock_guard lock(mu_);
  const bool ok = core_.Set(key, value);
  ChangedLocked();
  return ok;
}
Settings Box::AllSettings() const {
  std::lock_guard lock(mu_);
  return core_.running();
}
std::string Box::Password() const {
  std::lock_guard lock(mu_);
  return core_.password();
}
void Box::SetPassword(const std::string& password) {
  std::lock_guard lock(mu_);
  core_.setPassword(password);
  ChangedLocked();
}
std::string Box::NetwarePassword() const {
  std::lock_guard lock(mu_);
  return core_.netwarePassword();
}
void Box::WithCore(const std::function<void(BoxCore&)>& f) {
  std::lock_guard lock(mu_);
  f(core_);
  ChangedLocked();
}

std::vector<std::string> Box::HandledFromLast(const std::string& prefix) {
  std::vector<std::string> handled;
  WithCore([&](BoxCore& core) { handled = core.handledRequests(); });
  for (auto it = handled.rbegin(); it != handled.rend(); ++it) {
    if (it->rfind(prefix, 0) == 0) return {std::prev(it.base()), handled.end()};
  }
  return {};
}
void Box::SetModelCode(std::uint8_t b4, std::uint8_t b5, std::uint8_t b6) {
  WithCore([&](BoxCore& c) { c.identity().modelCode = {b4, b5, b6}; });
}
void Box::SetPortCounts(int parallel, int serial, int usb) {
  WithCore([&](BoxCore& c) {
    c.identity().parallelPorts = parallel;
    c.identity().serialPorts = serial;
    c.identity().usbPorts = usb;
  });
}
void Box::SetCapabilities(std::uint8_t byte42, std::uint8_t byte43) {
  WithCore([&](BoxCore& c) {
    c.identity().protocolByte42 = byte42;
    c.identity().protocolByte43 = byte43;
  });
}
void Box::SetFunctionFlags(std::uint8_t byte47) {
  WithCore([&](BoxCore& c) { c.identity().functionByte47 = byte47; });
}
void Box::SetFirmware(std::uint8_t b50, std::uint8_t b51) {
  WithCore([&](BoxCore& c) { c.identity().firmware = {b50, b51}; });
}
void Box::SetDefaultName(const std::string& name) {
  WithCore([&](BoxCore& c) { c.identity().defaultName = name; });
}
void Box::SetExtendedName(const std::string& name) {
  WithCore([&](BoxCore& c) { c.identity().extendedName = name; });
}
void Box::SetPortStatus(int port, const PortStatus& status) {
  if (port < 1 || port > 3) return;
  WithCore([&](BoxCore& c) { c.portStatus(port) = status; });
}
std::array<std::uint8_t, 164> Box::DeviceInfoBlock() const {
  std::lock_guard lock(mu_);
  return core_.DeviceInfoBlock();
}
std::vector<int> Box::TestPagesPrinted() const {
  std::lock_guard lock(mu_);
  return core_.testPages();
}

void Box::SwitchOff() {
  std::unique_lock lock(mu_);
  if (!on_) return;
  on_ = false;
  restarting_ = false;  // an unfinished restart is lost; the box boots when switched on
  for (int fd : connections_) ::shutdown(fd, SHUT_RDWR);
  RequestListenerChangeLocked(lock);
  ChangedLocked();
}

bool Box::SwitchOn() {
  std::unique_lock lock(mu_);
  if (!on_) {
    on_ = true;
    core_.CompleteRestart();
    const std::string ip = core_.Get("4000").value_or("");
    if (IsLoopbackAddress(ip)) desiredAddress_ = ip;
    RequestListenerChangeLocked(lock);
    ChangedLocked();
  }
  return listenFd_ >= 0;
}

bool Box::IsOn() const {
  std::lock_guard lock(mu_);
  return on_;
}
void Box::SetRestartWindow(std::chrono::milliseconds window) {
  std::lock_guard lock(mu_);
  restartWindow_ = window;
}
void Box::SetReplyChunkSize(std::size_t bytes) {
  std::lock_guard lock(mu_);
  chunkSize_ = bytes;
}
bool Box::IsRestarting() const {
  std::lock_guard lock(mu_);
  return restarting_;
}
void Box::EndRestartWindow() {
  std::unique_lock lock(mu_);
  if (!restarting_) return;
  FinishRestartLocked();
  const std::uint64_t gen = requestedGen_;
  cv_.wait(lock, [&] { return appliedGen_ >= gen || stopping_; });
}
int Box::RestartCount() const {
  std::lock_guard lock(mu_);
  return restarts_;
}
std::vector<ReceivedRequest> Box::Requests() const {
  std::lock_guard lock(mu_);
  return requests_;
}
std::size_t Box::RequestCount() const {
  std::lock_guard lock(mu_);
  return requests_.size();
}
void Box::ClearRequests() {
  std::lock_guard lock(mu_);
  requests_.clear();
  ChangedLocked();
}
FaultPlan Box::TakeFault() {
  std::lock_guard lock(mu_);
  FaultPlan fault;
  if (!faults_.empty()) {
    fault = faults_.front();
    if (--faults_.front().count <= 0) faults_.pop_front();
  }
  return fault;
}

void Box::InjectFault(const FaultPlan& plan) {
  std::lock_guard lock(mu_);
  if (plan.count > 0) faults_.push_back(plan);
}
void Box::ClearFaults() {
  std::lock_guard lock(mu_);
  faults_.clear();
}

bool Box::WaitForRequests(std::size_t n, std::chrono::milliseconds timeout) {
  std::unique_lock lock(mu_);
  return cv_.wait_for(lock, timeout, [&] { return requests_.size() >= n; });
}
bool Box::WaitForRestarts(int n, std::chrono::milliseconds timeout) {
  std::unique_lock lock(mu_);
  return cv_.wait_for(lock, timeout, [&] { return restarts_ >= n; });
}
bool Box::WaitForRestartDone(std::chrono::milliseconds timeout) {
  std::unique_lock lock(mu_);
  return cv_.wait_for(lock, timeout, [&] { return !restarting_; });
}
bool Box::WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
  const auto deadline = Clock::now() + timeout;
  for (;;) {
    std::uint64_t seen;
    {
      std::lock_guard lock(mu_);
      seen = changes_;
    }
    if (condition()) return true;
    std::unique_lock lock(mu_);
    if (!cv_.wait_until(lock, deadline, [&] { return changes_ != seen; })) {
      lock.unlock();
      return condition();
    }
  }
}

}  // namespace box_emulator

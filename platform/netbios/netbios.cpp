#include "platform/netbios/netbios.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <spawn.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <deque>
#include <functional>
#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <random>
#include <thread>
#include <vector>

#include "platform/clock.h"
#include "platform/netbios/nb_common.h"
#include "platform/netbios/nb_session_testing.h"
#include "platform/paths.h"

extern char** environ;

// ---------------------------------------------------------------------------------------------
// Events

namespace platform::netbios {
// A thread waiting for the event of an asynchronous receive may carry the receive out itself (see
// DriveWait below): -1 when the event has no such receive, else 1 set / 0 timed out.
int DriveWait(NbEvent* event, std::int64_t ms);
void ForgetDriver(NbEvent* event);
// A receive that waits for its thread gets it: its event is waited for some other way.
void LaunchDriven(NbEvent* event);
}  // namespace platform::netbios

namespace {

// Waits for `fds` through the platform clock: >0 ready, 0 timed out, -1 failed. Negative `ms`
// waits without limit.
int WaitFds(pollfd* fds, nfds_t count, std::int64_t ms) {
  for (nfds_t i = 0; i < count; ++i) fds[i].revents = 0;
  if (ms < 0) {
    for (;;) {
      int r = poll(fds, count, -1);
      if (r >= 0 || errno != EINTR) return r;
    }
  }
  platform::Clock& clock = platform::GetClock();
  std::int64_t real = clock.RealWaitMs(ms);
  platform::SystemClock sys;
  std::int64_t start = sys.SteadyMs();
  for (;;) {
    std::int64_t left = real - (sys.SteadyMs() - start);
    if (left < 0) left = 0;
    int r = poll(fds, count, static_cast<int>(std::min<std::int64_t>(left, 0x7fffffff)));
    if (r > 0) return r;
    if (r == 0) {
      clock.Elapsed(ms);
      return 0;
    }
    if (errno != EINTR) return -1;
  }
}

bool DrainEventFd(int fd) {
  std::uint64_t v = 0;
  return read(fd, &v, sizeof v) == static_cast<ssize_t>(sizeof v);
}

void SignalEventFd(int fd) {
  std::uint64_t one = 1;
  ssize_t w = write(fd, &one, sizeof one);
  (void)w;
}

}  // namespace

NbEvent::NbEvent(bool manualReset, bool initiallySet)
    : fd_(eventfd(initiallySet ? 1 : 0, EFD_CLOEXEC | EFD_NONBLOCK)),
      manual_(manualReset),
      everSet_(initiallySet),
      set_(initiallySet),
      fdSet_(initiallySet) {}

NbEvent::~NbEvent() {
  platform::netbios::ForgetDriver(this);
  if (fd_ >= 0) close(fd_);
}

void NbEvent::Set() {
  if (!manual_) {
    everSet_ = true;
    SignalEventFd(fd_);  // the counter may grow past 1: a reset or an auto-reset wait clears it all
    return;
  }
  std::lock_guard<std::mutex> lk(mu_);
  set_ = true;
  if (pollers_ > 0 && !fdSet_) {
    SignalEventFd(fd_);
    fdSet_ = true;
  }
}

void NbEvent::Reset() {
  if (!manual_) {
    if (everSet_) DrainEventFd(fd_);
    return;
  }
  std::lock_guard<std::mutex> lk(mu_);
  set_ = false;
  if (fdSet_) {
    DrainEventFd(fd_);
    fdSet_ = false;
  }
}

bool NbEvent::BeginPoll() {
  if (!manual_) return true;
  std::lock_guard<std::mutex> lk(mu_);
  if (set_) return false;
  ++pollers_;
  return true;
}

void NbEvent::EndPoll() {
  if (!manual_) return;
  std::lock_guard<std::mutex> lk(mu_);
  --pollers_;
}

bool NbEvent::IsSet() const {
  platform::netbios::LaunchDriven(const_cast<NbEvent*>(this));
  if (manual_) {
    std::lock_guard<std::mutex> lk(mu_);
    return set_;
  }
  pollfd p{fd_, POLLIN, 0};
  return poll(&p, 1, 0) > 0;
}

bool NbEvent::Wait(std::int64_t ms) {
  if (manual_) {
    std::lock_guard<std::mutex> lk(mu_);
    if (set_) return true;  // set already (a receive completed inside Netbios(), say)
  }
  const int driven = platform::netbios::DriveWait(this, ms);
  if (driven >= 0) return driven == 1;
  NbEvent* self = this;
  return NbWaitAny(&self, 1, ms) == 0;
}

int NbWaitAny(NbEvent* const* events, int count, std::int64_t ms) {
  if (count <= 0) return -1;
  for (int i = 0; i < count; ++i) platform::netbios::LaunchDriven(events[i]);
  // Registered as a poller of every event first: a set after this signals the descriptors.
  int begun = 0;
  int setAlready = -1;
  for (; begun < count; ++begun) {
    if (!events[begun]->BeginPoll()) {
      setAlready = begun;
      break;
    }
  }
  struct EndPolls {
    NbEvent* const* events;
    const int& n;
    ~EndPolls() {
      for (int i = 0; i < n; ++i) events[i]->EndPoll();
    }
  } endPolls{events, begun};
  if (setAlready >= 0) return setAlready;
  std::vector<pollfd> fds;
  for (int i = 0; i < count; ++i) fds.push_back({events[i]->fd(), POLLIN, 0});
  platform::Clock& clock = platform::GetClock();
  std::int64_t deadline = clock.SteadyMs() + ms;
  for (;;) {
    std::int64_t left = ms < 0 ? -1 : std::max<std::int64_t>(0, deadline - clock.SteadyMs());
    int r = WaitFds(fds.data(), fds.size(), left);
    if (r <= 0) return -1;
    for (int i = 0; i < count; ++i) {
      if ((fds[static_cast<std::size_t>(i)].revents & POLLIN) == 0) continue;
      if (events[i]->manualReset()) return i;
      if (DrainEventFd(events[i]->fd())) return i;  // an auto-reset event: this waiter took it
    }
    if (ms >= 0 && clock.SteadyMs() >= deadline) return -1;
  }
}

// ---------------------------------------------------------------------------------------------
// The NetBIOS engine of this process

namespace platform::netbios {
namespace {

using wire::Name;

constexpr int kContinue = 0x100;
// An asynchronous receive's thread finds that the waiter for its event carried the receive out.
constexpr int kNotMine = 0x200;
constexpr std::int64_t kMidMessageMs = 30000;
constexpr std::int64_t kServiceReplyMs = 120000;

Name NameOf(const UCHAR* p) { return wire::MakeName(p); }

std::int64_t UnitsMs(UCHAR units) { return units == 0 ? -1 : static_cast<std::int64_t>(units) * 500; }

struct Op;

struct Session {
  std::mutex mu;
  std::condition_variable cv;
  std::mutex sendMu;
  int fd = -1;
  int lana = 0;
  int lsn = 0;
  Name local{}, remote{};
  UCHAR rto = 0, sto = 0;
  std::uint32_t remaining = 0;
  std::atomic<bool> dead{false};
  std::atomic<UCHAR> deadCode{NRC_SCLOSED};
  std::atomic<int> sending{0};  // sends under way (each checks `dead` after counting itself)
  // A message went out and nothing was read since: the answer is a round trip away, so the next
  // receive does not try the socket before it waits.
  std::atomic<bool> answerDue{false};
  std::deque<Op*> recvQueue;
  // Bytes read from the socket ahead of the receive that delivers them: a message's header and
  // payload come in one read, and what belongs to the next message waits here for the next
  // receive. Guarded by bufMu, held by the one receive that reads.
  std::mutex bufMu;
  // Allocated on the first read, not cleared: only the bytes between bufPos and bufEnd are ever
  // looked at, and they come from the socket.
  std::unique_ptr<std::uint8_t[]> buf;
  std::size_t bufPos = 0, bufEnd = 0;

  std::size_t Buffered() const { return bufEnd - bufPos; }
  const std::uint8_t* Head() const { return buf.get() + bufPos; }

  ~Session() {
    if (fd >= 0) close(fd);
  }
  // Ends the session. A thread that waits on the socket (a queued receive, a send waiting for
  // room) is woken by shutting the socket down; with none, closing it at the end is all it takes.
  // A receive queued or a send begun after `dead` is set sees it before it waits.
  void Kill(UCHAR code) {
    bool was = dead.exchange(true);
    std::lock_guard<std::mutex> lk(mu);
    if (!was) {
      deadCode = code;
      if (!recvQueue.empty() || sending.load() > 0) shutdown(fd, SHUT_RDWR);
    }
    cv.notify_all();
  }
};

struct DgWait {
  int lana = 0;
  UCHAR num = 0;
  int evfd = -1;
  bool filled = false;
  UCHAR gotNum = 0;
  Name source{};
  std::vector<std::uint8_t> data;
};

struct ListenWait {
  int evfd = -1;
  bool done = false;
  UCHAR rc = NRC_SYSTEM;
  Name caller{};
  int fd = -1;
};

struct RpcSlot {
  bool done = false;
  UCHAR rc = NRC_SYSTEM;
  UCHAR num = 0;
  std::uint32_t address = 0;
};

struct Link {
  int fd = -1;
  std::thread reader;
  std::mutex mu;
  std::condition_variable cv;
  bool dead = false;
  std::map<std::uint32_t, RpcSlot*> rpcs;
  std::list<DgWait*> dgWaits;
  std::map<std::uint32_t, ListenWait*> listens;

  ~Link() {
    if (fd >= 0) shutdown(fd, SHUT_RDWR);
    if (reader.joinable()) reader.join();
    if (fd >= 0) close(fd);
  }
  void ReadLoop();
};

struct NameInfo {
  Name name{};
  bool group = false;
};

struct State;

// Cancel signals of commands, kept for the next command when drained: a command costs no eventfd
// of its own. A signal comes only from holders of the command, which release it before its fd
// comes back here.
class CancelFds {
 public:
  int Take() {
    {
      std::lock_guard<std::mutex> lk(mu_);
      if (!free_.empty()) {
        int fd = free_.back();
        free_.pop_back();
        return fd;
      }
    }
    return eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  }
  void Give(int fd, bool signalled) {
    if (signalled) DrainEventFd(fd);
    std::lock_guard<std::mutex> lk(mu_);
    if (free_.size() < 64) {
      free_.push_back(fd);
      return;
    }
    close(fd);
  }

 private:
  std::mutex mu_;
  std::vector<int> free_;
};
// Replaced in a forked child (the parent's eventfds must not be shared); never destroyed.
std::atomic<CancelFds*> g_cancelFds{new CancelFds()};

struct Op {
  std::shared_ptr<State> st;
  NCB* ncb = nullptr;
  UCHAR cmd = 0;
  bool async = false;
  bool keepName = false;  // an ADD NAME that also asks the table to keep the name (NbAddKeptName)
  int lana = 0;
  int cancelFd = -1;
  std::atomic<bool> cancelled{false};
  std::atomic<bool> signalled{false};  // cancelFd was written to
  // An asynchronous receive with an event: whoever claims it first (its thread, or a thread
  // waiting for the event while the message is already there) carries it out and completes it.
  bool drivable = false;
  std::atomic<bool> claimed{false};
  // False while a receive waits for its thread (see DeferredStarts); waiters in DriveWait.
  std::atomic<bool> launched{true};
  std::atomic<int> driving{0};
  // When the receive began to wait for its message as its session's first (platform clock), or -1.
  std::atomic<std::int64_t> rtoStart{-1};
  std::mutex mu;
  std::condition_variable cv;
  bool done = false;
  std::shared_ptr<Session> session;
  std::unique_ptr<DgWait> dg;
  std::shared_ptr<Link> link;
  std::unique_ptr<ListenWait> lw;
  std::uint32_t listenId = 0;

  ~Op() {
    if (cancelFd >= 0) g_cancelFds.load()->Give(cancelFd, signalled);
    if (dg && dg->evfd >= 0) close(dg->evfd);
    if (lw && lw->evfd >= 0) close(lw->evfd);
    if (lw && lw->fd >= 0) close(lw->fd);
  }
};

struct State {
  std::mutex mu;
  std::string root;
  Config cfg;
  std::shared_ptr<Link> link;
  std::map<std::pair<int, int>, std::shared_ptr<Session>> sessions;
  std::map<int, std::map<UCHAR, NameInfo>> names;
  std::vector<std::shared_ptr<Op>> pending;
  std::atomic<std::uint32_t> nextId{1};
  // Remote names resolved by earlier calls: (LANA, name) -> address and when the entry expires
  // (platform clock). Dropped as soon as a call to the address fails.
  struct CachedName {
    std::uint32_t address = 0;
    std::int64_t expiresMs = 0;
  };
  std::map<std::pair<int, Name>, CachedName> remoteNames;

  void Teardown();
};

std::mutex g_mu;
std::shared_ptr<State> g_state;

// Threads for asynchronous commands. Starting a thread per command costs more than a short
// session exchange, so finished threads wait a while for the next command. A command may wait
// without limit (a datagram receive, a LISTEN), so every queued command has a thread of its own:
// an idle one, else a new one.
class AsyncThreads {
 public:
  bool Run(std::function<void()> job) {
    std::lock_guard<std::mutex> lk(mu_);
    jobs_.push_back(std::move(job));
    if (jobs_.size() <= idle_) {
      cv_.notify_one();
      return true;
    }
    try {
      std::thread([this] { Work(); }).detach();
    } catch (...) {
      jobs_.pop_back();
      return false;
    }
    return true;
  }

 private:
  void Work() {
    std::unique_lock<std::mutex> lk(mu_);
    for (;;) {
      if (jobs_.empty()) {
        ++idle_;
        const bool got = cv_.wait_for(lk, std::chrono::seconds(10), [this] { return !jobs_.empty(); });
        --idle_;
        if (!got) return;
      }
      std::function<void()> job = std::move(jobs_.front());
      jobs_.pop_front();
      lk.unlock();
      job();
      job = nullptr;
      lk.lock();
    }
  }

  std::mutex mu_;
  std::condition_variable cv_;
  std::deque<std::function<void()>> jobs_;
  std::size_t idle_ = 0;
};
// Never destroyed: idle threads may still wait on it while the process ends.
std::atomic<AsyncThreads*> g_async{new AsyncThreads()};
std::atomic<int> g_linkFd{-1};

int Finish(State& st, Op& op);
void Complete(const std::shared_ptr<Op>& op, UCHAR rc);

// Carries out the rest of an asynchronous command on a thread of g_async (here when none starts).
void RunOnThread(const std::shared_ptr<Op>& op) {
  auto finish = [](const std::shared_ptr<Op>& o) {
    int r = NRC_SYSTEM;
    try {
      r = Finish(*o->st, *o);
    } catch (...) {
      r = NRC_SYSTEM;
    }
    if (r != kNotMine) Complete(o, static_cast<UCHAR>(r));
  };
  bool started = false;
  try {
    started = g_async.load()->Run([op, finish] { finish(op); });
  } catch (...) {
    started = false;
  }
  if (!started) finish(op);  // no thread: finish here instead
}

// Gives a deferred receive its thread, once.
void Launch(const std::shared_ptr<Op>& op) {
  if (op && !op->launched.exchange(true)) RunOnThread(op);
}

// An asynchronous receive with a completion event is mostly waited for at once by the thread
// that started it, and that waiter takes the message itself (DriveWait): starting a thread for it
// as well costs more than the exchange. So such a receive starts without a thread. It gets one
// when its waiter stops waiting before it completed, when a cancel, a hang-up, a reset or another
// kind of wait needs it, or when nobody has waited for it for kDeferMs: a program that never waits
// for the event still sees the receive complete.
class DeferredStarts {
 public:
  static constexpr std::int64_t kDeferMs = 20;

  void Add(const std::shared_ptr<Op>& op) {
    {
      std::lock_guard<std::mutex> lk(mu_);
      items_.push_back({NowMs() + kDeferMs, op});
      if (running_) {
        if (!ticking_) cv_.notify_one();
        return;
      }
      try {
        std::thread([this] { Loop(); }).detach();
        running_ = true;
        return;
      } catch (...) {
        items_.pop_back();
      }
    }
    Launch(op);  // no timer: the receive gets its thread now (outside the lock: it may run here)
  }

 private:
  static std::int64_t NowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
  }

  // While receives wait here the thread looks at them every kDeferMs without being woken; after
  // a quiet while it sleeps until the next one comes, and ends after a long one.
  void Loop() {
    std::unique_lock<std::mutex> lk(mu_);
    int quiet = 0;
    for (;;) {
      if (items_.empty() && ++quiet > 50) {
        ticking_ = false;
        if (!cv_.wait_for(lk, std::chrono::seconds(10), [this] { return !items_.empty(); })) {
          running_ = false;
          return;
        }
      }
      if (!items_.empty()) quiet = 0;
      ticking_ = true;
      cv_.wait_for(lk, std::chrono::milliseconds(kDeferMs));
      const std::int64_t now = NowMs();
      std::vector<std::shared_ptr<Op>> due;
      for (auto it = items_.begin(); it != items_.end();) {
        std::shared_ptr<Op> op = it->second.lock();
        if (!op || op->launched || op->claimed) {
          it = items_.erase(it);
        } else if (it->first <= now && op->driving == 0) {
          due.push_back(std::move(op));
          it = items_.erase(it);
        } else {
          if (op->driving > 0) it->first = now + kDeferMs;
          ++it;
        }
      }
      lk.unlock();
      for (auto& op : due) Launch(op);
      due.clear();
      lk.lock();
    }
  }

  std::mutex mu_;
  std::condition_variable cv_;
  std::vector<std::pair<std::int64_t, std::weak_ptr<Op>>> items_;
  bool running_ = false;
  bool ticking_ = false;
};
// Replaced (never destroyed) in a forked child, where its thread does not exist.
std::atomic<DeferredStarts*> g_deferred{new DeferredStarts()};

// Asynchronous receives by their completion event, for the threads that wait for the event.
struct Drivers {
  std::mutex mu;
  std::map<NbEvent*, std::weak_ptr<Op>> byEvent;
};
// Replaced (never destroyed) in a forked child.
std::atomic<Drivers*> g_drivers{new Drivers()};
std::atomic<int> g_driverCount{0};


void CancelOp(const std::shared_ptr<Op>& op) {
  op->cancelled = true;
  op->signalled = true;
  SignalEventFd(op->cancelFd);
  if (op->session) {
    std::lock_guard<std::mutex> lk(op->session->mu);
    op->session->cv.notify_all();
  }
  Launch(op);  // a deferred receive completes on its thread
}

// Gives every deferred receive of `s` its thread: the session ended under them.
void LaunchSessionReceives(State& st, const Session* s) {
  std::vector<std::shared_ptr<Op>> ops;
  {
    std::lock_guard<std::mutex> lk(st.mu);
    for (auto& op : st.pending)
      if (op->session.get() == s && !op->launched) ops.push_back(op);
  }
  for (auto& op : ops) Launch(op);
}

void State::Teardown() {
  std::vector<std::shared_ptr<Op>> ops;
  std::shared_ptr<Link> oldLink;
  {
    std::lock_guard<std::mutex> lk(mu);
    ops = pending;
    for (auto& [key, s] : sessions) s->Kill(NRC_SCLOSED);
    sessions.clear();
    names.clear();
    oldLink = std::move(link);
  }
  for (auto& op : ops) CancelOp(op);
  if (oldLink) shutdown(oldLink->fd, SHUT_RDWR);
}

void AtForkChild() {
  // The child starts without the parent's names: it must not keep the parent's connection to the
  // service open (the parent's names would outlive the parent).
  int fd = g_linkFd.exchange(-1);
  if (fd >= 0) close(fd);
  auto* leaked = new std::shared_ptr<State>(std::move(g_state));
  (void)leaked;
  new (&g_mu) std::mutex();
  // The parent's idle threads do not exist here.
  g_async = new AsyncThreads();
  g_drivers = new Drivers();
  g_deferred = new DeferredStarts();
  g_cancelFds = new CancelFds();  // the parent's are leaked here: they are the parent's signals
  g_driverCount = 0;
}

// The root's variable as it was when the current state was made ("" when unset): while it reads
// the same, every command finds the state without working the root out again.
std::string g_stateRootVar;

std::shared_ptr<State> CurrentState() {
  static std::once_flag once;
  std::call_once(once, [] { pthread_atfork(nullptr, nullptr, AtForkChild); });
  const char* var = std::getenv(platform::kRootEnvVar);
  if (var != nullptr && var[0] != '\0') {
    std::lock_guard<std::mutex> lk(g_mu);
    if (g_state && g_stateRootVar == var) return g_state;
  }
  std::string root = platform::Root();
  std::shared_ptr<State> old;
  std::shared_ptr<State> st;
  {
    std::lock_guard<std::mutex> lk(g_mu);
    if (!g_state || g_state->root != root) {
      old = g_state;
      g_state = std::make_shared<State>();
      g_state->root = root;
      g_state->cfg = LoadConfig();
    }
    g_stateRootVar = var != nullptr ? var : "";
    st = g_state;
  }
  if (old) old->Teardown();
  return st;
}

void Link::ReadLoop() {
  std::vector<std::uint8_t> msg;
  for (;;) {
    int passed = -1;
    int r = RecvMsg(fd, msg, &passed);
    if (r <= 0) break;
    MsgReader rd(msg);
    std::uint8_t type = 0;
    std::uint32_t id = 0;
    if (!rd.U8(type) || !rd.U32(id)) {
      if (passed >= 0) close(passed);
      continue;
    }
    std::lock_guard<std::mutex> lk(mu);
    switch (static_cast<Msg>(type)) {
      case Msg::kResult: {
        auto it = rpcs.find(id);
        if (it != rpcs.end()) {
          rd.U8(it->second->rc);
          rd.U8(it->second->num);
          rd.U32(it->second->address);
          it->second->done = true;
          cv.notify_all();
        }
        break;
      }
      case Msg::kListenDone: {
        auto it = listens.find(id);
        if (it == listens.end() || it->second->done) break;
        ListenWait* w = it->second;
        rd.U8(w->rc);
        rd.NameField(w->caller);
        w->fd = passed;
        passed = -1;
        w->done = true;
        SignalEventFd(w->evfd);
        break;
      }
      case Msg::kDatagram: {
        std::uint8_t lana = 0, num = 0;
        Name source{};
        if (!rd.U8(lana) || !rd.U8(num) || !rd.NameField(source)) break;
        for (DgWait* w : dgWaits) {
          if (w->filled || w->lana != lana || (w->num != num && w->num != 0xFF)) continue;
          w->filled = true;
          w->gotNum = num;
          w->source = source;
          w->data = rd.Rest();
          SignalEventFd(w->evfd);
          break;
        }
        break;
      }
      default:
        break;
    }
    if (passed >= 0) close(passed);
  }
  std::lock_guard<std::mutex> lk(mu);
  dead = true;
  for (auto& [id, slot] : rpcs) slot->done = true;  // rc stays NRC_SYSTEM
  for (auto& [id, w] : listens) {
    if (!w->done) {
      w->done = true;
      w->rc = NRC_NAMERR;
      SignalEventFd(w->evfd);
    }
  }
  for (DgWait* w : dgWaits) SignalEventFd(w->evfd);
  cv.notify_all();
}

// --- starting and reaching the local service ---

int ConnectService(const std::string& path) {
  sockaddr_un un{};
  un.sun_family = AF_UNIX;
  if (path.size() >= sizeof un.sun_path) return -1;
  std::memcpy(un.sun_path, path.c_str(), path.size() + 1);
  int fd = socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  if (connect(fd, reinterpret_cast<sockaddr*>(&un), sizeof un) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

std::string ServiceProgram() {
  const char* env = std::getenv("PSADMIN_NBD");
  if (env != nullptr && *env != '\0') return env;
  char buf[4096] = {};
  ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return "psa_nbd";
  std::string self(buf, static_cast<std::size_t>(n));
  std::size_t slash = self.rfind('/');
  return (slash == std::string::npos ? std::string(".") : self.substr(0, slash)) + "/psa_nbd";
}

bool StartService(const std::string& root) {
  std::string program = ServiceProgram();
  if (access(program.c_str(), X_OK) != 0) return false;
  int pipeFds[2];
  if (pipe2(pipeFds, O_CLOEXEC) != 0) return false;
  std::string log = JoinPath(ServiceDirectory(), "nbd.log");
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  posix_spawn_file_actions_addopen(&fa, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&fa, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&fa, 2, log.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_NOFOLLOW, 0600);
  posix_spawn_file_actions_adddup2(&fa, pipeFds[1], 3);
  posix_spawn_file_actions_addclosefrom_np(&fa, 4);
  std::vector<std::string> args = {program, "--detach", "--root", root, "--ready-fd", "3"};
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  // The service starts with no blocked signals and default dispositions, whatever the program
  // that happened to start it had set up (a scanner blocks SIGINT and SIGTERM for its own loop).
  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  sigset_t none;
  sigemptyset(&none);
  posix_spawnattr_setsigmask(&attr, &none);
  sigset_t defaults;
  sigemptyset(&defaults);
  for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGPIPE, SIGCHLD, SIGUSR1, SIGUSR2}) {
    sigaddset(&defaults, sig);
  }
  posix_spawnattr_setsigdefault(&attr, &defaults);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
  pid_t pid = -1;
  int rc = posix_spawn(&pid, program.c_str(), &fa, &attr, argv.data(), environ);
  posix_spawnattr_destroy(&attr);
  posix_spawn_file_actions_destroy(&fa);
  close(pipeFds[1]);
  bool ok = false;
  if (rc == 0) {
    pollfd p{pipeFds[0], POLLIN, 0};
    if (poll(&p, 1, 15000) > 0) {
      // The status byte, after a failure with its reason (one write, so one read takes it whole).
      char status[512];
      const ssize_t n = read(pipeFds[0], status, sizeof status - 1);
      ok = n >= 1 && status[0] == 0;
      if (n > 1 && !ok) {
        status[n] = 0;
        for (ssize_t i = 1; i < n; ++i)
          if (static_cast<unsigned char>(status[i]) < 0x20) status[i] = ' ';
        std::fprintf(stderr, "psa_nbd: %s\n", status + 1);
      }
    }
    int ws = 0;
    waitpid(pid, &ws, 0);  // the launcher half exits as soon as the service runs on its own
  }
  close(pipeFds[0]);
  return ok;
}

// The connection to the local service, started when needed. Caller holds no lock.
std::shared_ptr<Link> EnsureLink(State& st) {
  {
    std::lock_guard<std::mutex> lk(st.mu);
    if (st.link && !st.link->dead) return st.link;
  }
  std::string path = ServiceSocketPath();
  int fd = -1;
  for (int attempt = 0; attempt < 3 && fd < 0; ++attempt) {
    fd = ConnectService(path);
    if (fd < 0) {
      int lock = open(ServiceLockPath().c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
      if (lock < 0) return nullptr;
      flock(lock, LOCK_EX);
      fd = ConnectService(path);
      if (fd < 0 && StartService(st.root)) fd = ConnectService(path);
      close(lock);
      if (fd < 0) return nullptr;
    }
    // The service answers a greeting; a service that was just ending closes instead.
    MsgWriter hello(Msg::kHello, 0);
    hello.U32(static_cast<std::uint32_t>(getpid()));
    std::vector<std::uint8_t> reply;
    pollfd p{fd, POLLIN, 0};
    if (!SendMsg(fd, hello.data()) || poll(&p, 1, 15000) <= 0 || RecvMsg(fd, reply, nullptr) <= 0) {
      close(fd);
      fd = -1;
    }
  }
  if (fd < 0) return nullptr;
  auto link = std::make_shared<Link>();
  link->fd = fd;
  std::lock_guard<std::mutex> lk(st.mu);
  if (st.link && !st.link->dead) {
    // Another thread connected meanwhile; keep one connection.
    close(fd);
    link->fd = -1;
    return st.link;
  }
  st.names.clear();
  st.link = link;
  g_linkFd = fd;
  Link* raw = link.get();
  link->reader = std::thread([raw] { raw->ReadLoop(); });
  return link;
}

// One request to the service and its result.
RpcSlot Rpc(State& st, const std::shared_ptr<Link>& link, MsgWriter& msg, std::uint32_t id) {
  RpcSlot slot;
  std::unique_lock<std::mutex> lk(link->mu);
  if (link->dead) return slot;
  link->rpcs[id] = &slot;
  if (!SendMsg(link->fd, msg.data())) {
    link->rpcs.erase(id);
    link->dead = true;  // the service is gone; the next command connects anew
    return slot;
  }
  link->cv.wait_for(lk, std::chrono::milliseconds(kServiceReplyMs), [&] { return slot.done; });
  link->rpcs.erase(id);
  (void)st;
  return slot;
}

// --- socket helpers with time-outs on the platform clock and cancellation ---

enum class Io { kOk, kTimeout, kCancel, kClosed, kError };

// Reads exactly n bytes. The first byte may wait `firstMs` (negative: no limit); the rest follows
// within kMidMessageMs of the first. No wait goes past `by` (platform clock; negative: no such
// limit), however the bytes come, and every wait watches `cancelFd` (when there is one).
Io ReadExact(int fd, std::uint8_t* p, std::size_t n, std::int64_t firstMs, int cancelFd, std::int64_t by = -1) {
  std::size_t got = 0;
  platform::Clock& clock = platform::GetClock();
  auto capped = [by](std::int64_t deadline) { return by >= 0 && (deadline < 0 || deadline > by) ? by : deadline; };
  std::int64_t deadline = capped(firstMs < 0 ? -1 : clock.SteadyMs() + firstMs);
  while (got < n) {
    ssize_t r = recv(fd, p + got, n - got, MSG_DONTWAIT);
    if (r > 0) {
      if (got == 0) deadline = capped(clock.SteadyMs() + kMidMessageMs);
      got += static_cast<std::size_t>(r);
      continue;
    }
    if (r == 0) return got == 0 ? Io::kClosed : Io::kError;
    if (errno == EINTR) continue;
    if (errno != EAGAIN && errno != EWOULDBLOCK) return errno == ECONNRESET && got == 0 ? Io::kClosed : Io::kError;
    pollfd fds[2] = {{fd, POLLIN, 0}, {cancelFd, POLLIN, 0}};
    std::int64_t wait = deadline < 0 ? -1 : std::max<std::int64_t>(0, deadline - clock.SteadyMs());
    int w = WaitFds(fds, cancelFd >= 0 ? 2 : 1, wait);
    if (w < 0) return Io::kError;
    if (w == 0) return got == 0 ? Io::kTimeout : Io::kError;
    if (cancelFd >= 0 && (fds[1].revents & POLLIN) != 0) return Io::kCancel;
  }
  return Io::kOk;
}

constexpr std::size_t kSessionBuffer = 16384;

// One non-blocking read into the session's buffer (bufMu held): >0 bytes added, 0 end of stream,
// -1 nothing to read or failed (errno).
ssize_t FillOnce(Session& s) {
  if (!s.buf) s.buf.reset(new std::uint8_t[kSessionBuffer]);
  if (s.bufPos > 0) {
    std::memmove(s.buf.get(), s.Head(), s.Buffered());
    s.bufEnd -= s.bufPos;
    s.bufPos = 0;
  }
  if (s.bufEnd == kSessionBuffer) {
    errno = EAGAIN;
    return -1;
  }
  ssize_t r;
  s.answerDue = false;
  do {
    r = recv(s.fd, s.buf.get() + s.bufEnd, kSessionBuffer - s.bufEnd, MSG_DONTWAIT);
  } while (r < 0 && errno == EINTR);
  if (r > 0) s.bufEnd += static_cast<std::size_t>(r);
  return r;
}

// Makes `need` bytes (at most kSessionBuffer) ready in the session's buffer. Until the first byte
// of the message has come, the wait lasts until `firstBy` (platform clock; negative: no limit);
// from then on, the message's bytes come by `restBy`, which the first byte sets (kMidMessageMs
// after it) when it is negative. Bytes already buffered count as begun. Every wait watches
// `cancelFd`. When the session's last send still waits for its answer, the answer is a round trip
// away: the reading starts with the wait instead of a read that would find nothing.
Io FillTo(Session& s, std::size_t need, std::int64_t firstBy, std::int64_t& restBy, int cancelFd) {
  platform::Clock& clock = platform::GetClock();
  bool started = s.Buffered() > 0 || restBy >= 0;
  if (started && restBy < 0) restBy = clock.SteadyMs() + kMidMessageMs;
  bool waitFirst = !started && s.answerDue.load();
  while (s.Buffered() < need) {
    if (!waitFirst) {
      ssize_t r = FillOnce(s);
      if (r > 0) {
        if (!started) restBy = clock.SteadyMs() + kMidMessageMs;
        started = true;
        continue;
      }
      if (r == 0) return started ? Io::kError : Io::kClosed;
      if (errno != EAGAIN && errno != EWOULDBLOCK) return errno == ECONNRESET && !started ? Io::kClosed : Io::kError;
    }
    waitFirst = false;
    pollfd fds[2] = {{s.fd, POLLIN, 0}, {cancelFd, POLLIN, 0}};
    const std::int64_t by = started ? restBy : firstBy;
    std::int64_t wait = by < 0 ? -1 : std::max<std::int64_t>(0, by - clock.SteadyMs());
    int w = WaitFds(fds, cancelFd >= 0 ? 2 : 1, wait);
    if (w < 0) return Io::kError;
    if (w == 0) return started ? Io::kError : Io::kTimeout;
    if (cancelFd >= 0 && (fds[1].revents & POLLIN) != 0) return Io::kCancel;
  }
  return Io::kOk;
}

// One piece of what WriteTimed sends.
struct Piece {
  const std::uint8_t* data;
  std::size_t size;
};

// Writes the pieces (any may be empty) as one stream, in order, without joining them first.
Io WriteTimed(int fd, std::initializer_list<Piece> pieces, std::int64_t ms, int cancelFd) {
  platform::Clock& clock = platform::GetClock();
  std::int64_t deadline = clock.SteadyMs() + (ms < 0 ? 0 : ms);
  std::size_t n = 0;
  for (const Piece& p : pieces) n += p.size;
  std::size_t sent = 0;
  while (sent < n) {
    iovec parts[3];
    std::size_t count = 0;
    std::size_t before = 0;  // bytes of the pieces ahead of this one
    for (const Piece& p : pieces) {
      if (count < 3 && p.size > 0 && before + p.size > sent) {
        const std::size_t done = sent > before ? sent - before : 0;
        parts[count++] = {const_cast<std::uint8_t*>(p.data) + done, p.size - done};
      }
      before += p.size;
    }
    msghdr mh{};
    mh.msg_iov = parts;
    mh.msg_iovlen = count;
    ssize_t r = sendmsg(fd, &mh, MSG_DONTWAIT | MSG_NOSIGNAL);
    if (r > 0) {
      sent += static_cast<std::size_t>(r);
      continue;
    }
    if (r < 0 && errno == EINTR) continue;
    if (r < 0 && errno != EAGAIN && errno != EWOULDBLOCK) return Io::kError;
    pollfd fds[2] = {{fd, POLLOUT, 0}, {cancelFd, POLLIN, 0}};
    std::int64_t wait = ms < 0 ? -1 : std::max<std::int64_t>(0, deadline - clock.SteadyMs());
    int w = WaitFds(fds, cancelFd >= 0 ? 2 : 1, wait);
    if (w < 0) return Io::kError;
    if (w == 0) return Io::kTimeout;
    if (cancelFd >= 0 && (fds[1].revents & POLLIN) != 0) return Io::kCancel;
  }
  return Io::kOk;
}

Io WriteTimed(int fd, const std::uint8_t* p, std::size_t n, std::int64_t ms, int cancelFd) {
  return WriteTimed(fd, {{p, n}}, ms, cancelFd);
}

// --- commands ---

bool ValidLana(const State& st, int lana) { return lana >= 0 && static_cast<std::size_t>(lana) < st.cfg.lanas.size(); }

bool OwnsName(State& st, int lana, const Name& name) {
  std::lock_guard<std::mutex> lk(st.mu);
  for (auto& [num, info] : st.names[lana])
    if (info.name == name) return true;
  return false;
}

UCHAR DoEnum(State& st, NCB& n) {
  if (n.ncb_buffer == nullptr || n.ncb_length < 1) return NRC_BUFLEN;
  std::size_t count = std::min<std::size_t>(st.cfg.lanas.size(), MAX_LANA);
  count = std::min<std::size_t>(count, n.ncb_length - 1u);
  n.ncb_buffer[0] = static_cast<UCHAR>(count);
  for (std::size_t i = 0; i < count; ++i) n.ncb_buffer[1 + i] = static_cast<UCHAR>(i);
  return NRC_GOODRET;
}

UCHAR DoReset(State& st, int lana) {
  std::vector<std::shared_ptr<Op>> ops;
  std::shared_ptr<Link> link;
  {
    std::lock_guard<std::mutex> lk(st.mu);
    for (auto it = st.sessions.begin(); it != st.sessions.end();) {
      if (it->first.first == lana) {
        it->second->Kill(NRC_SCLOSED);
        it = st.sessions.erase(it);
      } else {
        ++it;
      }
    }
    st.names.erase(lana);
    for (auto& op : st.pending)
      if (op->lana == lana && op->cmd != NCBRESET) ops.push_back(op);
    if (st.link && !st.link->dead) link = st.link;
  }
  for (auto& op : ops) CancelOp(op);
  if (link) {
    std::uint32_t id = st.nextId++;
    MsgWriter w(Msg::kReset, id);
    w.U8(static_cast<std::uint8_t>(lana));
    Rpc(st, link, w, id);
  }
  return NRC_GOODRET;
}

UCHAR DoAddName(State& st, NCB& n, bool group, bool keep) {
  Name name = NameOf(n.ncb_name);
  if (name[0] == 0 || name[0] == '*') return NRC_NOWILD;
  RpcSlot r;
  // A service that ended under us (killed) took our names along; a new one is started once.
  for (int attempt = 0; attempt < 2; ++attempt) {
    auto link = EnsureLink(st);
    if (!link) return NRC_SYSTEM;
    std::uint32_t id = st.nextId++;
    MsgWriter w(Msg::kAddName, id);
    w.U8(static_cast<std::uint8_t>(n.ncb_lana_num)).U8(group ? 1 : 0).NameField(name);
    if (keep) w.U8(1);
    r = Rpc(st, link, w, id);
    std::lock_guard<std::mutex> lk(link->mu);
    if (!link->dead) break;
  }
  if (r.rc == NRC_GOODRET) {
    std::lock_guard<std::mutex> lk(st.mu);
    st.names[n.ncb_lana_num][r.num] = NameInfo{name, group};
    n.ncb_num = r.num;
  }
  return r.rc;
}

// A request about one of this program's names (lana, name) over the link it was added on; with no
// link the program has no names: NRC_NOWILD.
RpcSlot NameRequest(State& st, Msg type, UCHAR lana, const Name& name) {
  std::shared_ptr<Link> link;
  {
    std::lock_guard<std::mutex> lk(st.mu);
    if (st.link && !st.link->dead) link = st.link;
  }
  if (!link) {
    RpcSlot none;
    none.rc = NRC_NOWILD;
    return none;
  }
  std::uint32_t id = st.nextId++;
  MsgWriter w(type, id);
  w.U8(lana).NameField(name);
  return Rpc(st, link, w, id);
}

UCHAR DoKeepName(State& st, UCHAR lana, const Name& name) { return NameRequest(st, Msg::kKeepName, lana, name).rc; }

UCHAR DoDeleteName(State& st, NCB& n) {
  Name name = NameOf(n.ncb_name);
  RpcSlot r = NameRequest(st, Msg::kDeleteName, n.ncb_lana_num, name);
  if (r.rc == NRC_NOWILD && !r.done) return NRC_NOWILD;
  std::lock_guard<std::mutex> lk(st.mu);
  auto& table = st.names[n.ncb_lana_num];
  for (auto it = table.begin(); it != table.end(); ++it) {
    if (it->second.name == name) {
      table.erase(it);
      break;
    }
  }
  return r.rc;
}

std::shared_ptr<Session> AddSession(State& st, int fd, int lana, const Name& local, const Name& remote, UCHAR rto,
                                    UCHAR sto, UCHAR& lsnOut) {
  auto s = std::make_shared<Session>();
  s->fd = fd;
  s->lana = lana;
  s->local = local;
  s->remote = remote;
  s->rto = rto;
  s->sto = sto;
  std::lock_guard<std::mutex> lk(st.mu);
  for (int lsn = 1; lsn <= 254; ++lsn) {
    if (st.sessions.count({lana, lsn}) != 0) continue;
    s->lsn = lsn;
    st.sessions[{lana, lsn}] = s;
    lsnOut = static_cast<UCHAR>(lsn);
    return s;
  }
  return nullptr;  // the destructor closes the socket
}

// Resolves a name by broadcast query from this program, sent up to `attempts` times: 1 found,
// 0 nobody answered, 2 cancelled.
int QueryName(const State& st, int lana, const Name& name, int cancelFd, std::uint32_t& address, int attempts) {
  const LanaConfig& lc = st.cfg.lanas[static_cast<std::size_t>(lana)];
  int fd = OpenUdp(lc.address, 0, UdpSharing::kExclusive);
  if (fd < 0) return 0;
  static std::atomic<std::uint16_t> trnSeed{static_cast<std::uint16_t>(std::random_device{}())};
  wire::NsPacket q;
  q.trnId = trnSeed++;
  q.opcode = wire::kOpQuery;
  q.rd = true;
  q.broadcast = true;
  q.questions.push_back({name, wire::kTypeNB, wire::kClassIN});
  std::vector<std::uint8_t> packet = wire::BuildNsPacket(q);
  platform::Clock& clock = platform::GetClock();
  int result = 0;
  for (int attempt = 0; attempt < attempts && result == 0; ++attempt) {
    SendUdp(fd, lc.broadcast, st.cfg.nameServicePort, packet);
    std::int64_t deadline = clock.SteadyMs() + st.cfg.queryTimeoutMs;
    while (result == 0) {
      std::int64_t left = deadline - clock.SteadyMs();
      if (left <= 0) break;
      pollfd fds[2] = {{fd, POLLIN, 0}, {cancelFd, POLLIN, 0}};
      int w = WaitFds(fds, 2, left);
      if (w <= 0) break;
      if ((fds[1].revents & POLLIN) != 0) {
        result = 2;
        break;
      }
      std::uint8_t buf[1500];
      ssize_t n = recv(fd, buf, sizeof buf, MSG_DONTWAIT);
      wire::NsPacket resp;
      if (n <= 0 || !wire::ParseNsPacket(buf, static_cast<std::size_t>(n), resp)) continue;
      if (!resp.response || resp.trnId != q.trnId || resp.opcode != wire::kOpQuery || resp.rcode != 0) continue;
      for (const auto& a : resp.answers) {
        std::uint16_t flags = 0;
        if (a.type == wire::kTypeNB && a.name == name && wire::ReadNbRdata(a.rdata, flags, address)) {
          result = 1;
          break;
        }
      }
    }
  }
  close(fd);
  return result;
}

// Connects to address:port and sets up a session; *fdOut on success. The whole of it, a retarget
// to another address included, ends by `deadline` (platform clock; negative: CallTimeoutMs from
// now), whatever the other end sends meanwhile: keep-alives and a response that comes byte by byte
// do not extend it.
UCHAR OpenSession(const State& st, std::uint32_t address, std::uint16_t port, const Name& called, const Name& calling,
                  int cancelFd, int& fdOut, int depth = 0, std::int64_t deadline = -1) {
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) return NRC_NORESOURCES;
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_port = htons(port);
  sa.sin_addr.s_addr = htonl(address);
  auto fail = [&](UCHAR rc) {
    close(fd);
    return rc;
  };
  platform::Clock& clock = platform::GetClock();
  if (deadline < 0) deadline = clock.SteadyMs() + st.cfg.callTimeoutMs;
  int one = 1;
  setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  // A connect under way is waited for by the first send: it finds no room until the handshake
  // has finished (and waits for it on the same terms), and fails as a refused connect does.
  if (connect(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0 && errno != EINPROGRESS) {
    return fail(NRC_NOCALL);
  }
  std::vector<std::uint8_t> request = wire::BuildSessionRequest(called, calling);
  Io io = WriteTimed(fd, request.data(), request.size(), std::max<std::int64_t>(0, deadline - clock.SteadyMs()), cancelFd);
  if (io == Io::kCancel) return fail(NRC_CMDCAN);
  if (io != Io::kOk) return fail(io == Io::kTimeout ? NRC_CMDTMO : NRC_NOCALL);
  {
    // The answer takes a round trip: wait for it before the first read.
    pollfd fds[2] = {{fd, POLLIN, 0}, {cancelFd, POLLIN, 0}};
    const int w = WaitFds(fds, 2, std::max<std::int64_t>(0, deadline - clock.SteadyMs()));
    if (w == 0) return fail(NRC_CMDTMO);
    if (w < 0) return fail(NRC_NOCALL);
    if ((fds[1].revents & POLLIN) != 0) return fail(NRC_CMDCAN);
  }
  for (;;) {
    std::uint8_t hdr[4];
    io = ReadExact(fd, hdr, 4, std::max<std::int64_t>(0, deadline - clock.SteadyMs()), cancelFd, deadline);
    // A header or body cut off by the call's end is the call's time-out too.
    auto failed = [&](Io r) {
      if (r == Io::kCancel) return fail(NRC_CMDCAN);
      if (r == Io::kTimeout || clock.SteadyMs() >= deadline) return fail(NRC_CMDTMO);
      return fail(NRC_NOCALL);
    };
    if (io != Io::kOk) return failed(io);
    std::uint8_t type = 0;
    std::uint32_t len = 0;
    wire::ReadSessionHeader(hdr, type, len);
    if (len > 64) return fail(NRC_NOCALL);
    std::uint8_t body[64] = {};
    if (len > 0) {
      io = ReadExact(fd, body, len, kMidMessageMs, cancelFd, deadline);
      if (io != Io::kOk) return failed(io);
    }
    if (type == wire::kSsnKeepAlive) {
      // Read past, but the call ends when its time is over.
      if (clock.SteadyMs() >= deadline) return fail(NRC_CMDTMO);
      continue;
    }
    if (type == wire::kSsnPositive) {
      fdOut = fd;
      return NRC_GOODRET;
    }
    if (type == wire::kSsnNegative) {
      return fail(len >= 1 && body[0] == wire::kSsnErrInsufficientResources ? NRC_REMTFUL : NRC_NOCALL);
    }
    if (type == wire::kSsnRetarget && len >= 6 && depth < 3) {
      std::uint32_t a = (static_cast<std::uint32_t>(body[0]) << 24) | (body[1] << 16) | (body[2] << 8) | body[3];
      std::uint16_t p = static_cast<std::uint16_t>((body[4] << 8) | body[5]);
      close(fd);
      return OpenSession(st, a, p, called, calling, cancelFd, fdOut, depth + 1, deadline);
    }
    return fail(NRC_NOCALL);
  }
}

bool CachedAddress(State& st, int lana, const Name& name, std::uint32_t& address) {
  if (st.cfg.remoteCacheTimeoutMs <= 0) return false;
  const std::int64_t now = platform::GetClock().SteadyMs();
  std::lock_guard<std::mutex> lk(st.mu);
  auto it = st.remoteNames.find({lana, name});
  if (it == st.remoteNames.end()) return false;
  if (now >= it->second.expiresMs) {
    st.remoteNames.erase(it);
    return false;
  }
  address = it->second.address;
  return true;
}

void RememberAddress(State& st, int lana, const Name& name, std::uint32_t address) {
  if (st.cfg.remoteCacheTimeoutMs <= 0) return;
  const std::int64_t expires = platform::GetClock().SteadyMs() + st.cfg.remoteCacheTimeoutMs;
  std::lock_guard<std::mutex> lk(st.mu);
  st.remoteNames[{lana, name}] = State::CachedName{address, expires};
}

void ForgetAddress(State& st, int lana, const Name& name) {
  std::lock_guard<std::mutex> lk(st.mu);
  st.remoteNames.erase({lana, name});
}

// Resolves a remote name on the wire: 1 found, 0 nobody knows it, 2 cancelled. The first broadcast
// query is answered by the node that holds the name, the local service included (for names of
// programs on this machine); the service's table is asked only when that query went unanswered,
// before the remaining queries.
int ResolveName(State& st, Op& op, const Name& called, std::uint32_t& address) {
  int q = QueryName(st, op.lana, called, op.cancelFd, address, std::min(st.cfg.queryRetries, 1));
  if (q == 2) return 2;
  if (q == 0) {
    auto link = EnsureLink(st);
    if (link) {
      std::uint32_t id = st.nextId++;
      MsgWriter w(Msg::kLookup, id);
      w.U8(static_cast<std::uint8_t>(op.lana)).NameField(called);
      RpcSlot r = Rpc(st, link, w, id);
      if (r.rc == NRC_GOODRET) {
        address = r.address;
        q = 1;
      }
    }
  }
  if (q == 0 && st.cfg.queryRetries > 1) q = QueryName(st, op.lana, called, op.cancelFd, address, st.cfg.queryRetries - 1);
  return q;
}

UCHAR DoCall(State& st, Op& op) {
  NCB& n = *op.ncb;
  Name local = NameOf(n.ncb_name);
  Name called = NameOf(n.ncb_callname);
  if (!OwnsName(st, op.lana, local)) return NRC_NOWILD;
  if (called[0] == '*') return NRC_NOWILD;
  int fd = -1;
  UCHAR rc = NRC_NOCALL;
  std::uint32_t address = 0;
  bool connected = false;
  // A name resolved a short while ago is called at its remembered address without a query. When
  // that call fails (refused, no such name there, no answer) the entry is dropped and the name is
  // resolved anew, once: the node may have moved to another address.
  if (CachedAddress(st, op.lana, called, address)) {
    rc = OpenSession(st, address, st.cfg.sessionPort, called, local, op.cancelFd, fd);
    if (rc == NRC_CMDCAN) return rc;
    connected = rc == NRC_GOODRET;
    if (!connected) ForgetAddress(st, op.lana, called);
  }
  if (!connected) {
    int q = ResolveName(st, op, called, address);
    if (q == 2) return NRC_CMDCAN;
    if (q == 0) return NRC_NOCALL;
    rc = OpenSession(st, address, st.cfg.sessionPort, called, local, op.cancelFd, fd);
    if (rc != NRC_GOODRET) return rc;
    RememberAddress(st, op.lana, called, address);
  }
  UCHAR lsn = 0;
  if (!AddSession(st, fd, op.lana, local, called, n.ncb_rto, n.ncb_sto, lsn)) return NRC_LOCTFUL;
  n.ncb_lsn = lsn;
  return NRC_GOODRET;
}

std::shared_ptr<Session> FindSession(State& st, int lana, int lsn) {
  std::lock_guard<std::mutex> lk(st.mu);
  auto it = st.sessions.find({lana, lsn});
  return it == st.sessions.end() ? nullptr : it->second;
}

UCHAR DoSend(Op& op) {
  NCB& n = *op.ncb;
  Session& s = *op.session;
  std::lock_guard<std::mutex> lk(s.sendMu);
  struct Sending {
    Session& s;
    explicit Sending(Session& session) : s(session) { ++s.sending; }
    ~Sending() { --s.sending; }
  } sending{s};
  if (s.dead) return s.deadCode;
  const unsigned char* second = nullptr;
  WORD secondLength = 0;
  if (op.cmd == NCBCHAINSEND) NcbGetChainBuffer(&n, &second, &secondLength);
  s.answerDue = true;
  std::uint8_t header[4];
  wire::PutSessionHeader(wire::kSsnMessage, std::uint32_t{n.ncb_length} + secondLength, header);
  Io io = WriteTimed(s.fd, {{header, sizeof header}, {n.ncb_buffer, n.ncb_length}, {second, secondLength}},
                     UnitsMs(s.sto), op.cancelFd);
  switch (io) {
    case Io::kOk:
      return NRC_GOODRET;
    case Io::kTimeout:
      s.Kill(NRC_SABORT);
      return NRC_CMDTMO;
    case Io::kCancel:
      s.Kill(NRC_SABORT);
      return NRC_CMDCAN;
    default:
      s.Kill(NRC_SABORT);
      return NRC_SABORT;
  }
}

UCHAR ReceiveMessage(Op& op);

// Waits until the session has something to read, the receive is cancelled or claimed, or the
// session's receive time-out passed: false on the time-out.
// The session's receive time-out counts from the moment the receive began to wait for its
// message, whichever thread carries it out: its waiter first, then its own thread.
std::int64_t RtoStart(Op& op, std::int64_t now) {
  std::int64_t expected = -1;
  return op.rtoStart.compare_exchange_strong(expected, now) ? now : expected;
}

bool WaitForData(Op& op) {
  Session& s = *op.session;
  if (op.cancelled || s.dead || op.claimed) return true;
  {
    std::lock_guard<std::mutex> bl(s.bufMu);
    if (s.Buffered() > 0) return true;
  }
  pollfd fds[2] = {{s.fd, POLLIN, 0}, {op.cancelFd, POLLIN, 0}};
  std::int64_t left = UnitsMs(s.rto);
  if (left >= 0) {
    const std::int64_t now = platform::GetClock().SteadyMs();
    left = std::max<std::int64_t>(0, RtoStart(op, now) + left - now);
  }
  return WaitFds(fds, 2, left) != 0;
}

int DoReceive(Op& op) {
  Session& s = *op.session;
  {
    std::unique_lock<std::mutex> lk(s.mu);
    s.cv.wait(lk, [&] {
      return op.claimed || (!s.recvQueue.empty() && s.recvQueue.front() == &op) || op.cancelled || s.dead;
    });
    if (op.claimed) return kNotMine;
    if (s.recvQueue.empty() || s.recvQueue.front() != &op) {
      if (op.drivable && op.claimed.exchange(true)) return kNotMine;
      auto it = std::find(s.recvQueue.begin(), s.recvQueue.end(), &op);
      if (it != s.recvQueue.end()) s.recvQueue.erase(it);
      s.cv.notify_all();
      return op.cancelled ? NRC_CMDCAN : s.deadCode.load();
    }
  }
  if (op.drivable) {
    // The message is taken only by the claimer: this thread, or the event's waiter.
    const bool data = WaitForData(op);
    if (op.claimed.exchange(true)) return kNotMine;
    if (!data) {
      std::lock_guard<std::mutex> lk(s.mu);
      s.recvQueue.pop_front();
      s.cv.notify_all();
      return NRC_CMDTMO;
    }
  }
  return ReceiveMessage(op);
}

// Receives into the block of `op`, the first receive in its session's queue (and pops it).
UCHAR ReceiveMessage(Op& op) {
  NCB& n = *op.ncb;
  Session& s = *op.session;
  struct PopFront {
    Session& s;
    ~PopFront() {
      std::lock_guard<std::mutex> lk(s.mu);
      s.recvQueue.pop_front();
      s.cv.notify_all();
    }
  } pop{s};
  if (s.dead) return s.deadCode;
  if (op.cancelled) return NRC_CMDCAN;
  std::lock_guard<std::mutex> bl(s.bufMu);
  // The receive time-out counts from when the receive began to wait; keep-alives do not extend it.
  // A message, once begun, has kMidMessageMs from its first byte to come whole (header and data).
  platform::Clock& clock = platform::GetClock();
  const std::int64_t rtoMs = UnitsMs(s.rto);
  const std::int64_t firstBy = rtoMs < 0 ? -1 : RtoStart(op, clock.SteadyMs()) + rtoMs;
  std::int64_t restBy = -1;
  if (s.remaining == 0) {
    for (;;) {
      restBy = -1;
      Io io = FillTo(s, 4, firstBy, restBy, op.cancelFd);
      if (s.dead) return s.deadCode;
      if (io == Io::kTimeout) return NRC_CMDTMO;
      if (io == Io::kCancel) return NRC_CMDCAN;
      if (io == Io::kClosed) {
        s.Kill(NRC_SCLOSED);
        return NRC_SCLOSED;
      }
      if (io != Io::kOk) {
        s.Kill(NRC_SABORT);
        return NRC_SABORT;
      }
      std::uint8_t type = 0;
      std::uint32_t len = 0;
      wire::ReadSessionHeader(s.Head(), type, len);
      s.bufPos += 4;
      if (type == wire::kSsnKeepAlive) {
        if (firstBy >= 0 && clock.SteadyMs() >= firstBy) return NRC_CMDTMO;
        continue;
      }
      if (type != wire::kSsnMessage) {
        s.Kill(NRC_SABORT);
        return NRC_SABORT;
      }
      s.remaining = len;
      break;
    }
  }
  std::uint32_t take = std::min<std::uint32_t>(s.remaining, n.ncb_length);
  const std::size_t buffered = std::min<std::size_t>(take, s.Buffered());
  if (buffered > 0) {
    std::memcpy(n.ncb_buffer, s.Head(), buffered);
    s.bufPos += buffered;
  }
  if (take > buffered) {
    // Within the message's time; a cancel here ends the session, whose stream is cut mid-message.
    if (restBy < 0) restBy = clock.SteadyMs() + kMidMessageMs;
    Io io = ReadExact(s.fd, n.ncb_buffer + buffered, take - buffered,
                      std::max<std::int64_t>(0, restBy - clock.SteadyMs()), op.cancelFd, restBy);
    if (io == Io::kCancel) {
      s.Kill(NRC_SABORT);
      return NRC_CMDCAN;
    }
    if (io != Io::kOk) {
      s.Kill(s.dead ? s.deadCode.load() : NRC_SABORT);
      return s.deadCode;
    }
  }
  s.remaining -= take;
  n.ncb_length = static_cast<WORD>(take);
  return s.remaining > 0 ? NRC_INCOMP : NRC_GOODRET;
}

// True when a receive can complete without waiting: it is the next receive of its session and
// the bytes it delivers (a whole message, or as much as fits the buffer) are in the session's
// buffer after at most one non-blocking read; a header of a kind that ends the session counts too.
// Keep-alives ahead of a message are dropped here. False as well while another thread reads.
// Without `mayRead` only the buffer is looked at.
bool ReceivableNow(Op& op, bool mayRead = true) {
  Session& s = *op.session;
  std::lock_guard<std::mutex> lk(s.mu);
  if (s.recvQueue.empty() || s.recvQueue.front() != &op || s.dead || op.cancelled) return false;
  std::unique_lock<std::mutex> bl(s.bufMu, std::try_to_lock);
  if (!bl.owns_lock()) return false;
  const std::uint32_t want = op.ncb->ncb_length;
  for (bool read = false;; read = true) {
    if (s.remaining > 0) {
      if (s.Buffered() >= std::min(s.remaining, want)) return true;
    } else {
      std::uint8_t type = 0;
      std::uint32_t len = 0;
      while (s.Buffered() >= 4) {
        wire::ReadSessionHeader(s.Head(), type, len);
        if (type != wire::kSsnKeepAlive) break;
        s.bufPos += 4;
      }
      if (s.Buffered() >= 4) return type != wire::kSsnMessage || s.Buffered() - 4 >= std::min(len, want);
    }
    if (read || !mayRead || FillOnce(s) <= 0) return false;
  }
}

UCHAR DoHangup(State& st, NCB& n) {
  std::shared_ptr<Session> s;
  {
    std::lock_guard<std::mutex> lk(st.mu);
    auto it = st.sessions.find({n.ncb_lana_num, n.ncb_lsn});
    if (it == st.sessions.end()) return NRC_SNUMOUT;
    s = it->second;
    st.sessions.erase(it);
  }
  s->Kill(NRC_SCLOSED);
  LaunchSessionReceives(st, s.get());
  return NRC_GOODRET;
}

UCHAR DoDatagramSend(State& st, NCB& n) {
  if (n.ncb_length > wire::kMaxDatagramData) return NRC_BUFLEN;
  std::shared_ptr<Link> link;
  {
    std::lock_guard<std::mutex> lk(st.mu);
    if (st.names[n.ncb_lana_num].count(n.ncb_num) == 0) return NRC_ILLNN;
    if (st.link && !st.link->dead) link = st.link;
  }
  if (!link) return NRC_ILLNN;
  std::uint32_t id = st.nextId++;
  MsgWriter w(Msg::kDgSend, id);
  w.U8(n.ncb_lana_num).U8(n.ncb_num).NameField(NameOf(n.ncb_callname)).Bytes(n.ncb_buffer, n.ncb_length);
  return Rpc(st, link, w, id).rc;
}

// Registers the datagram receive at once, so a datagram that arrives after Netbios() returned is
// not missed.
int StartDatagramReceive(State& st, Op& op) {
  NCB& n = *op.ncb;
  {
    std::lock_guard<std::mutex> lk(st.mu);
    if (n.ncb_num != 0xFF && st.names[op.lana].count(n.ncb_num) == 0) return NRC_ILLNN;
    if (!st.link || st.link->dead) return NRC_ILLNN;
    op.link = st.link;
  }
  op.dg = std::make_unique<DgWait>();
  op.dg->lana = op.lana;
  op.dg->num = n.ncb_num;
  op.dg->evfd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (op.dg->evfd < 0) return NRC_OSRESNOTAV;
  std::lock_guard<std::mutex> lk(op.link->mu);
  op.link->dgWaits.push_back(op.dg.get());
  return kContinue;
}

UCHAR FinishDatagramReceive(Op& op) {
  NCB& n = *op.ncb;
  DgWait& w = *op.dg;
  pollfd fds[2] = {{w.evfd, POLLIN, 0}, {op.cancelFd, POLLIN, 0}};
  for (;;) {
    {
      std::lock_guard<std::mutex> lk(op.link->mu);
      if (w.filled || op.cancelled || op.link->dead) {
        op.link->dgWaits.remove(&w);
        break;
      }
    }
    WaitFds(fds, 2, -1);
    DrainEventFd(w.evfd);
  }
  if (!w.filled) return op.cancelled ? NRC_CMDCAN : NRC_NAMERR;
  std::size_t take = std::min<std::size_t>(w.data.size(), n.ncb_length);
  if (take > 0) std::memcpy(n.ncb_buffer, w.data.data(), take);
  n.ncb_length = static_cast<WORD>(take);
  std::memcpy(n.ncb_callname, w.source.data(), 16);
  return take < w.data.size() ? NRC_INCOMP : NRC_GOODRET;
}

// Tells the service to listen at once, so a CALL made after Netbios() returned finds it.
int StartListen(State& st, Op& op) {
  NCB& n = *op.ncb;
  Name local = NameOf(n.ncb_name);
  if (!OwnsName(st, op.lana, local)) return NRC_NOWILD;
  {
    std::lock_guard<std::mutex> lk(st.mu);
    if (!st.link || st.link->dead) return NRC_NOWILD;
    op.link = st.link;
  }
  op.lw = std::make_unique<ListenWait>();
  op.lw->evfd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (op.lw->evfd < 0) return NRC_OSRESNOTAV;
  op.listenId = st.nextId++;
  MsgWriter w(Msg::kListen, op.listenId);
  w.U8(static_cast<std::uint8_t>(op.lana)).NameField(local).NameField(NameOf(n.ncb_callname));
  std::lock_guard<std::mutex> lk(op.link->mu);
  op.link->listens[op.listenId] = op.lw.get();
  if (!SendMsg(op.link->fd, w.data())) {
    op.link->listens.erase(op.listenId);
    return NRC_SYSTEM;
  }
  return kContinue;
}

UCHAR FinishListen(State& st, Op& op) {
  NCB& n = *op.ncb;
  ListenWait& w = *op.lw;
  pollfd fds[2] = {{w.evfd, POLLIN, 0}, {op.cancelFd, POLLIN, 0}};
  bool unlistenSent = false;
  for (;;) {
    {
      std::lock_guard<std::mutex> lk(op.link->mu);
      if (w.done || op.link->dead) {
        op.link->listens.erase(op.listenId);
        break;
      }
      if (op.cancelled && !unlistenSent) {
        MsgWriter u(Msg::kUnlisten, op.listenId);
        unlistenSent = SendMsg(op.link->fd, u.data());
        if (!unlistenSent) {
          op.link->listens.erase(op.listenId);
          return NRC_CMDCAN;
        }
      }
    }
    WaitFds(fds, unlistenSent ? 1 : 2, -1);
    DrainEventFd(w.evfd);
  }
  if (!w.done) return NRC_NAMERR;
  if (w.rc != NRC_GOODRET || w.fd < 0) return w.rc == NRC_GOODRET ? NRC_SYSTEM : w.rc;
  int fd = w.fd;
  w.fd = -1;
  int flags = fcntl(fd, F_GETFL);
  fcntl(fd, F_SETFL, flags | O_NONBLOCK);
  UCHAR lsn = 0;
  if (!AddSession(st, fd, op.lana, NameOf(n.ncb_name), w.caller, n.ncb_rto, n.ncb_sto, lsn)) return NRC_LOCTFUL;
  n.ncb_lsn = lsn;
  std::memcpy(n.ncb_callname, w.caller.data(), 16);
  return NRC_GOODRET;
}

UCHAR DoCancel(State& st, NCB& n) {
  NCB* target = reinterpret_cast<NCB*>(n.ncb_buffer);
  if (target == nullptr) return NRC_BUFLEN;
  std::shared_ptr<Op> op;
  {
    std::lock_guard<std::mutex> lk(st.mu);
    for (auto& p : st.pending)
      if (p->ncb == target && p->cmd != NCBCANCEL) op = p;
  }
  if (!op) return NRC_CANOCCR;
  switch (op->cmd) {
    case NCBCALL:
    case NCBLISTEN:
    case NCBSEND:
    case NCBCHAINSEND:
    case NCBRECV:
    case NCBDGRECV:
      break;
    default:
      return NRC_CANCEL;
  }
  CancelOp(op);
  std::unique_lock<std::mutex> lk(op->mu);
  op->cv.wait(lk, [&] { return op->done; });
  return NRC_GOODRET;
}

// Checks the block and does the command's immediate part: a return code, or kContinue when the
// command goes on in Finish().
int Start(State& st, Op& op) {
  NCB& n = *op.ncb;
  switch (op.cmd) {
    case NCBENUM:
      return DoEnum(st, n);
    case NCBCANCEL:
      return DoCancel(st, n);
    default:
      break;
  }
  if (!ValidLana(st, op.lana)) return NRC_BRIDGE;
  bool usesBuffer = op.cmd == NCBSEND || op.cmd == NCBCHAINSEND || op.cmd == NCBRECV || op.cmd == NCBDGSEND ||
                    op.cmd == NCBDGRECV;
  if (usesBuffer && n.ncb_buffer == nullptr && n.ncb_length > 0) return NRC_BUFLEN;
  if (op.cmd == NCBCHAINSEND) {
    const unsigned char* second = nullptr;
    WORD secondLength = 0;
    NcbGetChainBuffer(&n, &second, &secondLength);
    if (second == nullptr && secondLength > 0) return NRC_BUFLEN;
  }
  switch (op.cmd) {
    case NCBRESET:
      return DoReset(st, op.lana);
    case NCBADDNAME:
      return DoAddName(st, n, false, op.keepName);
    case NCBADDGRNAME:
      return DoAddName(st, n, true, false);
    case NCBDELNAME:
      return DoDeleteName(st, n);
    case NCBHANGUP:
      return DoHangup(st, n);
    case NCBDGSEND:
      return DoDatagramSend(st, n);
    case NCBDGRECV:
      return StartDatagramReceive(st, op);
    case NCBLISTEN:
      return StartListen(st, op);
    case NCBCALL:
      return kContinue;
    case NCBSEND:
    case NCBCHAINSEND:
    case NCBRECV: {
      op.session = FindSession(st, op.lana, n.ncb_lsn);
      if (!op.session) return NRC_SNUMOUT;
      if (op.cmd == NCBRECV) {
        std::lock_guard<std::mutex> lk(op.session->mu);
        op.session->recvQueue.push_back(&op);
      }
      return kContinue;
    }
    default:
      return NRC_ILLCMD;
  }
}

int Finish(State& st, Op& op) {
  switch (op.cmd) {
    case NCBCALL:
      return DoCall(st, op);
    case NCBLISTEN:
      return FinishListen(st, op);
    case NCBSEND:
    case NCBCHAINSEND:
      return DoSend(op);
    case NCBRECV:
      return DoReceive(op);
    case NCBDGRECV:
      return FinishDatagramReceive(op);
    default:
      return NRC_SYSTEM;
  }
}

void Register(const std::shared_ptr<Op>& op) {
  Drivers& d = *g_drivers.load();
  std::lock_guard<std::mutex> lk(d.mu);
  op->drivable = true;
  d.byEvent[op->ncb->ncb_event] = op;
  g_driverCount = static_cast<int>(d.byEvent.size());
}

void Unregister(Op& op) {
  Drivers& d = *g_drivers.load();
  std::lock_guard<std::mutex> lk(d.mu);
  auto it = d.byEvent.find(op.ncb->ncb_event);
  if (it != d.byEvent.end() && it->second.lock().get() == &op) d.byEvent.erase(it);
  g_driverCount = static_cast<int>(d.byEvent.size());
}

void Complete(const std::shared_ptr<Op>& op, UCHAR rc) {
  NCB* n = op->ncb;
  NbEvent* event = n->ncb_event;
  void (*post)(NCB*) = n->ncb_post;
  if (op->drivable) Unregister(*op);
  {
    std::lock_guard<std::mutex> lk(op->st->mu);
    auto& p = op->st->pending;
    p.erase(std::remove(p.begin(), p.end(), op), p.end());
  }
  n->ncb_retcode = rc;
  n->ncb_cmd_cplt = rc;
  if (op->async) {
    // The caller may free the block and the event as soon as it sees the completion: the post
    // routine, which is handed the block, runs before the event tells the waiter, and nothing of
    // either is touched after the event is set.
    if (post != nullptr) post(n);
    if (event != nullptr) event->Set();
  }
  std::lock_guard<std::mutex> lk(op->mu);
  op->done = true;
  op->cv.notify_all();
}

UCHAR Submit(NCB* ncb, bool keepName = false) {
  auto st = CurrentState();
  auto op = std::make_shared<Op>();
  op->st = st;
  op->ncb = ncb;
  op->keepName = keepName;
  op->cmd = static_cast<UCHAR>(ncb->ncb_command & 0x7F);
  op->async = (ncb->ncb_command & ASYNCH) != 0;
  op->lana = ncb->ncb_lana_num;
  op->cancelFd = g_cancelFds.load()->Take();
  if (op->cancelFd < 0) {
    ncb->ncb_retcode = ncb->ncb_cmd_cplt = NRC_OSRESNOTAV;
    return NRC_OSRESNOTAV;
  }
  if (op->async) {
    ncb->ncb_retcode = ncb->ncb_cmd_cplt = NRC_PENDING;
    if (ncb->ncb_event != nullptr) ncb->ncb_event->Reset();
  }
  {
    std::lock_guard<std::mutex> lk(st->mu);
    st->pending.push_back(op);
  }
  int rc = Start(*st, *op);
  if (rc != kContinue) {
    Complete(op, static_cast<UCHAR>(rc));
    return static_cast<UCHAR>(rc);
  }
  if (!op->async) {
    UCHAR r = static_cast<UCHAR>(Finish(*st, *op));
    Complete(op, r);
    return r;
  }
  if (op->cmd == NCBRECV && ReceivableNow(*op, !op->session->answerDue)) {
    // The message is here already: completed at once, without a thread (the block, its event and
    // its post routine see the completion before Netbios() returns).
    Complete(op, static_cast<UCHAR>(Finish(*st, *op)));
    return NRC_GOODRET;
  }
  if (op->cmd == NCBRECV && ncb->ncb_event != nullptr) {
    const bool defer = ncb->ncb_post == nullptr;
    if (defer) op->launched = false;
    Register(op);
    if (defer) {
      g_deferred.load()->Add(op);
      return NRC_GOODRET;
    }
  }
  RunOnThread(op);
  return NRC_GOODRET;
}

}  // namespace

// The waiter of an asynchronous receive's event takes the message itself when it is all there:
// one thread less between the message and the waiter. Otherwise (not yet the session's first
// receive, a partial message, the end of the session) it waits for the event as usual.
std::shared_ptr<Op> DriverOf(NbEvent* event) {
  if (g_driverCount.load() == 0) return nullptr;
  Drivers& d = *g_drivers.load();
  std::lock_guard<std::mutex> lk(d.mu);
  auto it = d.byEvent.find(event);
  return it != d.byEvent.end() ? it->second.lock() : nullptr;
}

// True when `op` is the next receive of its session.
bool FirstInQueue(Op& op) {
  Session& s = *op.session;
  std::lock_guard<std::mutex> lk(s.mu);
  return !s.recvQueue.empty() && s.recvQueue.front() == &op;
}

// Ends a receive that its waiter claimed when the session's receive time-out passed without a
// message (as DoReceive does on its thread).
UCHAR EndUnanswered(Op& op) {
  Session& s = *op.session;
  std::lock_guard<std::mutex> lk(s.mu);
  auto it = std::find(s.recvQueue.begin(), s.recvQueue.end(), &op);
  if (it != s.recvQueue.end()) s.recvQueue.erase(it);
  s.cv.notify_all();
  if (op.cancelled) return NRC_CMDCAN;
  if (s.dead) return s.deadCode;
  return NRC_CMDTMO;
}

int DriveWait(NbEvent* event, std::int64_t ms) {
  std::shared_ptr<Op> op = DriverOf(event);
  if (!op || !op->session) return -1;
  ++op->driving;
  struct Leave {
    Op& op;
    std::shared_ptr<Op> ptr;
    ~Leave() {
      --op.driving;
      if (!op.claimed) Launch(ptr);  // not carried out here: its thread takes over
    }
  } leave{*op, op};
  platform::Clock& clock = platform::GetClock();
  const std::int64_t start = clock.SteadyMs();
  const std::int64_t deadline = start + ms;
  // Behind another receive of the session the socket is no sign for this waiter: the earlier
  // receive may read this one's message along with its own, and nothing would wake the waiter
  // when it becomes the next. Such a receive gets its thread; the waiter waits for the event.
  // Nor is it for a session that has ended (its socket may not have been shut down).
  bool watchSocket = FirstInQueue(*op) && !op->session->dead;
  if (!watchSocket) Launch(op);
  // While it watches the socket the waiter keeps the session's receive time-out, which the
  // receive's thread would keep otherwise.
  const std::int64_t rtoMs = UnitsMs(op->session->rto);
  const std::int64_t rtoDeadline = watchSocket && rtoMs >= 0 ? RtoStart(*op, start) + rtoMs : 0;
  // Completes the receive claimed here: 1 when the wait is over, 0 to wait on (an auto-reset event
  // that another waiter took).
  auto completeHere = [&](UCHAR r) {
    if (op->launched) {
      op->signalled = true;
      SignalEventFd(op->cancelFd);  // the receive's own thread stops waiting
    }
    Complete(op, r);
    return event->manualReset() || DrainEventFd(event->fd()) ? 1 : 0;
  };
  // Netbios() found the socket empty a moment ago: the first look is at the buffer only, and the
  // socket is read once the wait reports it readable.
  bool mayRead = false;
  for (;;) {
    if (watchSocket && !op->claimed && ReceivableNow(*op, mayRead) && !op->claimed.exchange(true)) {
      if (completeHere(ReceiveMessage(*op)) == 1) return 1;
    }
    const bool socket = watchSocket && !op->claimed;
    pollfd fds[2] = {{event->fd(), POLLIN, 0}, {op->session->fd, POLLIN, 0}};
    std::int64_t left = ms < 0 ? -1 : std::max<std::int64_t>(0, deadline - clock.SteadyMs());
    if (socket && rtoMs >= 0) {
      const std::int64_t rtoLeft = std::max<std::int64_t>(0, rtoDeadline - clock.SteadyMs());
      if (left < 0 || rtoLeft < left) left = rtoLeft;
    }
    if (!event->BeginPoll()) return 1;  // a manual-reset event, set already
    const int w = WaitFds(fds, socket ? 2 : 1, left);
    event->EndPoll();
    if (w < 0) return 0;
    mayRead = true;
    if ((fds[0].revents & POLLIN) != 0) {
      if (event->manualReset() || DrainEventFd(event->fd())) return 1;
    } else if (socket && fds[1].revents != 0) {
      if (!ReceivableNow(*op)) {
        watchSocket = false;  // not for this waiter: the thread takes it
        Launch(op);
      }
      continue;
    }
    if (socket && rtoMs >= 0 && clock.SteadyMs() >= rtoDeadline && !op->claimed.exchange(true)) {
      if (completeHere(EndUnanswered(*op)) == 1) return 1;
    }
    if (ms >= 0 && clock.SteadyMs() >= deadline) return 0;
  }
}

void LaunchDriven(NbEvent* event) {
  std::shared_ptr<Op> op = DriverOf(event);
  if (op && !op->claimed) Launch(op);
}

void ForgetDriver(NbEvent* event) {
  if (g_driverCount.load() == 0) return;
  Drivers& d = *g_drivers.load();
  std::lock_guard<std::mutex> lk(d.mu);
  d.byEvent.erase(event);
  g_driverCount = static_cast<int>(d.byEvent.size());
}

namespace testing {

UCHAR AttachSession(int fd, UCHAR lana, UCHAR rto, UCHAR sto, UCHAR* lsn) {
  auto st = CurrentState();
  if (!ValidLana(*st, lana)) {
    close(fd);
    return NRC_BRIDGE;
  }
  const int flags = fcntl(fd, F_GETFL);
  fcntl(fd, F_SETFL, flags | O_NONBLOCK);
  UCHAR number = 0;
  if (!AddSession(*st, fd, lana, Name{}, Name{}, rto, sto, number)) return NRC_LOCTFUL;
  *lsn = number;
  return NRC_GOODRET;
}

UCHAR OpenSessionTo(std::uint32_t address, std::uint16_t port, const UCHAR* called, const UCHAR* calling, int* fd) {
  auto st = CurrentState();
  int out = -1;
  const UCHAR rc = OpenSession(*st, address, port, NameOf(called), NameOf(calling), -1, out);
  if (rc == NRC_GOODRET) *fd = out;
  return rc;
}

}  // namespace testing

bool LanaInUse(UCHAR lana) {
  auto st = CurrentState();
  std::lock_guard<std::mutex> lk(st->mu);
  auto names = st->names.find(lana);
  if (names != st->names.end() && !names->second.empty()) return true;
  for (const auto& [key, session] : st->sessions)
    if (key.first == lana) return true;
  return false;
}

UCHAR KeepName(UCHAR lana, const UCHAR* name) {
  auto st = CurrentState();
  const Name n = NameOf(name);
  if (!ValidLana(*st, lana)) return NRC_BRIDGE;
  return DoKeepName(*st, lana, n);
}

}  // namespace platform::netbios

UCHAR NbKeepName(UCHAR lana, const UCHAR* name) {
  if (name == nullptr) return NRC_BADDR;
  try {
    return platform::netbios::KeepName(lana, name);
  } catch (...) {
    return NRC_SYSTEM;
  }
}

bool NbLanaInUse(UCHAR lana) {
  try {
    return platform::netbios::LanaInUse(lana);
  } catch (...) {
    return false;
  }
}

UCHAR NbAddKeptName(NCB* ncb) {
  if (ncb == nullptr) return NRC_BADDR;
  if (ncb->ncb_command != NCBADDNAME) {
    ncb->ncb_retcode = ncb->ncb_cmd_cplt = NRC_ILLCMD;
    return NRC_ILLCMD;
  }
  try {
    return platform::netbios::Submit(ncb, true);
  } catch (...) {
    ncb->ncb_retcode = NRC_SYSTEM;
    ncb->ncb_cmd_cplt = NRC_SYSTEM;
    return NRC_SYSTEM;
  }
}

void NcbSetChainBuffer(NCB* ncb, const void* buffer, WORD length) {
  ncb->ncb_callname[0] = static_cast<UCHAR>(length & 0xFF);
  ncb->ncb_callname[1] = static_cast<UCHAR>(length >> 8);
  const unsigned char* address = static_cast<const unsigned char*>(buffer);
  static_assert(sizeof address <= NCBNAMSZ - 2, "the address fits behind the length");
  std::memcpy(ncb->ncb_callname + 2, &address, sizeof address);
}

void NcbGetChainBuffer(const NCB* ncb, const unsigned char** buffer, WORD* length) {
  *length = static_cast<WORD>(ncb->ncb_callname[0] | (ncb->ncb_callname[1] << 8));
  std::memcpy(buffer, ncb->ncb_callname + 2, sizeof *buffer);
}

UCHAR Netbios(NCB* ncb) {
  if (ncb == nullptr) return NRC_BADDR;
  try {
    return platform::netbios::Submit(ncb);
  } catch (...) {
    ncb->ncb_retcode = NRC_SYSTEM;
    ncb->ncb_cmd_cplt = NRC_SYSTEM;
    return NRC_SYSTEM;
  }
}

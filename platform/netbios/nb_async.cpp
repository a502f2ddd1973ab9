// How a command runs: at once on the caller's thread, on a kept thread, or (an asynchronous receive
// with an event) deferred for the thread that waits for its event; its completion and its cancel.
#include "platform/netbios/netbios_internal.h"

#include <poll.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <functional>
#include <new>

#include "platform/clock.h"

namespace platform::netbios::internal {
namespace {

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

}  // namespace

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

namespace {

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

}  // namespace

UCHAR Submit(NCB* ncb, bool keepName) {
  auto st = CurrentState();
  auto op = std::make_shared<Op>();
  op->st = st;
  op->ncb = ncb;
  op->keepName = keepName;
  op->cmd = static_cast<UCHAR>(ncb->ncb_command & 0x7F);
  op->async = (ncb->ncb_command & ASYNCH) != 0;
  op->lana = ncb->ncb_lana_num;
  op->startMs = platform::GetClock().SteadyMs();
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

}  // namespace platform::netbios::internal

namespace platform::netbios {

using namespace internal;

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

}  // namespace platform::netbios

// What the files of the Netbios() engine share: the state of this process, the record of one
// command, a session, the connection to the local service, and the functions each file offers the
// others. Private to psa_netbios: nothing outside this folder includes it.
#pragma once
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <initializer_list>
#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/netbios/nb_common.h"
#include "platform/netbios/nb_wire.h"
#include "platform/netbios/netbios.h"

namespace platform::netbios {
// A thread waiting for the event of an asynchronous receive may carry the receive out itself (see
// DriveWait in nb_async.cpp): -1 when the event has no such receive, else 1 set / 0 timed out.
int DriveWait(NbEvent* event, std::int64_t ms);
void ForgetDriver(NbEvent* event);
// A receive that waits for its thread gets it: its event is waited for some other way.
void LaunchDriven(NbEvent* event);
}  // namespace platform::netbios

namespace platform::netbios::internal {

// --- events (nb_events.cpp) ---

// Waits for `fds` through the platform clock: >0 ready, 0 timed out, -1 failed. Negative `ms`
// waits without limit.
int WaitFds(pollfd* fds, nfds_t count, std::int64_t ms);
bool DrainEventFd(int fd);
void SignalEventFd(int fd);

// --- what every file shares ---

using wire::Name;

constexpr int kContinue = 0x100;
// An asynchronous receive's thread finds that the waiter for its event carried the receive out.
constexpr int kNotMine = 0x200;
constexpr std::int64_t kMidMessageMs = 30000;
constexpr std::int64_t kServiceReplyMs = 120000;

inline Name NameOf(const UCHAR* p) { return wire::MakeName(p); }

inline std::int64_t UnitsMs(UCHAR units) { return units == 0 ? -1 : static_cast<std::int64_t>(units) * 500; }

struct Op;

struct Session {
  std::mutex mu;
  std::condition_variable cv;
  int fd = -1;
  int lana = 0;
  int lsn = 0;
  Name local{}, remote{};
  UCHAR rto = 0, sto = 0;
  std::uint32_t remaining = 0;
  std::atomic<bool> dead{false};
  std::atomic<UCHAR> deadCode{NRC_SCLOSED};
  std::atomic<int> sending{0};  // sends under way (each checks `dead` after counting itself)
  // One send writes at a time: a send that finds the session's writing taken waits for its turn,
  // in order, on an eventfd of its own (so that it can watch its cancel and its time-out as well).
  // The sender that ends hands the turn to the first waiter. Guarded by mu.
  struct SendTurn {
    int fd = -1;
    bool given = false;
  };
  bool sendBusy = false;
  std::deque<SendTurn*> sendTurns;
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
  // Ends the turn of the send that writes (mu held): the next waiting send gets it.
  void PassSendTurnLocked() {
    if (sendTurns.empty()) {
      sendBusy = false;
      return;
    }
    SendTurn* next = sendTurns.front();
    sendTurns.pop_front();
    next->given = true;
    const std::uint64_t one = 1;
    const ssize_t w = write(next->fd, &one, sizeof one);
    (void)w;
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
  // The program's settings with the LANAs and ports the service works with, from its answer to
  // the greeting (when it tells them: haveServiceCfg).
  Config serviceCfg;
  bool haveServiceCfg = false;
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
extern std::atomic<CancelFds*> g_cancelFds;

struct Op {
  std::shared_ptr<State> st;
  NCB* ncb = nullptr;
  UCHAR cmd = 0;
  bool async = false;
  bool keepName = false;  // an ADD NAME that also asks the table to keep the name (NbAddKeptName)
  int lana = 0;
  // When Netbios() took the command (platform clock): a SEND's time-out counts from here, however
  // long it waited for its thread or its turn.
  std::int64_t startMs = 0;
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
  // The machine's service is this program's (its folder is there and root's alone, or the program
  // asked for it with NbUseMachineService): serviceDir is the machine folder, else <root>/netbios.
  bool machine = false;
  std::string serviceDir;
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

extern std::mutex g_mu;
extern std::shared_ptr<State> g_state;
// NbUseMachineService() was called.
extern std::atomic<bool> g_machineForced;
// The connection to the service, for a forked child to close (nb_names.cpp).
extern std::atomic<int> g_linkFd;

// --- the command and its completion (nb_dispatch.cpp, nb_async.cpp) ---

std::shared_ptr<State> CurrentState();
void AtForkChild();
bool ValidLana(const State& st, int lana);
// Checks the block and does the command's immediate part: a return code, or kContinue when the
// command goes on in Finish().
int Start(State& st, Op& op);
int Finish(State& st, Op& op);
UCHAR Submit(NCB* ncb, bool keepName = false);
void CancelOp(const std::shared_ptr<Op>& op);
void LaunchSessionReceives(State& st, const Session* s);

// --- the local service: names and the link (nb_names.cpp, nb_service_start.cpp) ---

// Starts psa_nbd for `st`: the user's own service in <root>/netbios, or the machine's (on demand)
// in the machine folder. True once it runs.
bool StartService(const State& st);
// The connection to the local service, started when needed. Caller holds no lock.
std::shared_ptr<Link> EnsureLink(State& st);
// One request to the service and its result.
RpcSlot Rpc(State& st, const std::shared_ptr<Link>& link, MsgWriter& msg, std::uint32_t id);
bool OwnsName(State& st, int lana, const Name& name);
UCHAR DoAddName(State& st, NCB& n, bool group, bool keep);
UCHAR DoKeepName(State& st, UCHAR lana, const Name& name);
UCHAR DoDeleteName(State& st, NCB& n);

// --- sessions (nb_session.cpp) ---

UCHAR DoCall(State& st, Op& op);
std::shared_ptr<Session> FindSession(State& st, int lana, int lsn);
UCHAR DoHangup(State& st, NCB& n);
// Tells the service to listen at once, so a CALL made after Netbios() returned finds it.
int StartListen(State& st, Op& op);
UCHAR FinishListen(State& st, Op& op);

// --- socket helpers and session data (nb_session_io.cpp) ---

enum class Io { kOk, kTimeout, kCancel, kClosed, kError };

// One piece of what WriteTimed sends.
struct Piece {
  const std::uint8_t* data;
  std::size_t size;
};

// Reads exactly n bytes. The first byte may wait `firstMs` (negative: no limit); the rest follows
// within kMidMessageMs of the first. No wait goes past `by` (platform clock; negative: no such
// limit), however the bytes come, and every wait watches `cancelFd` (when there is one).
Io ReadExact(int fd, std::uint8_t* p, std::size_t n, std::int64_t firstMs, int cancelFd, std::int64_t by = -1);
Io WriteTimed(int fd, std::initializer_list<Piece> pieces, std::int64_t ms, int cancelFd);
Io WriteTimed(int fd, const std::uint8_t* p, std::size_t n, std::int64_t ms, int cancelFd);
UCHAR DoSend(Op& op);
std::int64_t RtoStart(Op& op, std::int64_t now);
int DoReceive(Op& op);
UCHAR ReceiveMessage(Op& op);
// True when a receive can complete without waiting: it is the next receive of its session and
// the bytes it delivers (a whole message, or as much as fits the buffer) are in the session's
// buffer after at most one non-blocking read; a header of a kind that ends the session counts too.
// Keep-alives ahead of a message are dropped here. False as well while another thread reads.
// Without `mayRead` only the buffer is looked at.
bool ReceivableNow(Op& op, bool mayRead = true);

// --- datagrams (nb_datagram.cpp) ---

UCHAR DoDatagramSend(State& st, NCB& n);
int StartDatagramReceive(State& st, Op& op);
UCHAR FinishDatagramReceive(Op& op);

}  // namespace platform::netbios::internal

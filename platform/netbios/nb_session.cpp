// Sessions: CALL (name resolution, the remote name cache, the session set-up), LISTEN, HANG UP, and
// the entry points of nb_session_testing.h.
#include "platform/netbios/netbios_internal.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <random>

#include "platform/clock.h"
#include "platform/netbios/nb_session_testing.h"

namespace platform::netbios::internal {
namespace {

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

}  // namespace

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

}  // namespace platform::netbios::internal

namespace platform::netbios {

using namespace internal;

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

}  // namespace platform::netbios

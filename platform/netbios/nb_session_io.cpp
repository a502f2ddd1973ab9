// Session data: SEND, CHAIN SEND and RECEIVE over a session's socket, and the socket reads and writes
// with time-outs on the platform clock and cancellation that sessions use.
#include "platform/netbios/netbios_internal.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/uio.h>

#include <algorithm>
#include <cstring>

#include "platform/clock.h"

namespace platform::netbios::internal {

Io ReadExact(int fd, std::uint8_t* p, std::size_t n, std::int64_t firstMs, int cancelFd, std::int64_t by) {
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

namespace {

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

}  // namespace

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

namespace {

// Waits until it is the turn of `op` to write on its session. NRC_GOODRET with the turn (to be
// handed on with PassSendTurnLocked); otherwise the send sent nothing and ends with NRC_CMDCAN
// when it was cancelled or NRC_CMDTMO when `by` (platform clock; negative: no limit) passed.
UCHAR TakeSendTurn(Op& op, std::int64_t by) {
  Session& s = *op.session;
  Session::SendTurn turn;
  {
    std::lock_guard<std::mutex> lk(s.mu);
    if (!s.sendBusy) {
      s.sendBusy = true;
      return NRC_GOODRET;
    }
    turn.fd = g_cancelFds.load()->Take();
    if (turn.fd < 0) return NRC_OSRESNOTAV;
    s.sendTurns.push_back(&turn);
  }
  struct GiveBack {
    int fd;
    ~GiveBack() { g_cancelFds.load()->Give(fd, true); }
  } giveBack{turn.fd};
  platform::Clock& clock = platform::GetClock();
  for (;;) {
    pollfd fds[2] = {{turn.fd, POLLIN, 0}, {op.cancelFd, POLLIN, 0}};
    const std::int64_t wait = by < 0 ? -1 : std::max<std::int64_t>(0, by - clock.SteadyMs());
    const int w = WaitFds(fds, 2, wait);
    std::lock_guard<std::mutex> lk(s.mu);
    const bool late = w == 0 || (by >= 0 && clock.SteadyMs() >= by);
    if (!op.cancelled && !late && w > 0 && turn.given) return NRC_GOODRET;
    if (!op.cancelled && !late && w >= 0) continue;
    // The send gives up before it wrote anything: the turn, if it came meanwhile, goes on.
    if (turn.given) {
      s.PassSendTurnLocked();
    } else {
      auto it = std::find(s.sendTurns.begin(), s.sendTurns.end(), &turn);
      if (it != s.sendTurns.end()) s.sendTurns.erase(it);
    }
    if (op.cancelled) return NRC_CMDCAN;
    return late ? NRC_CMDTMO : NRC_SYSTEM;
  }
}

}  // namespace

// The session's send time-out counts from the send's start (when Netbios() took it), its wait for
// its turn included. A send that is cancelled or times out while it waits ends without a byte
// sent and leaves the session as it is; one that does so while it writes leaves a message cut
// short, and the session is aborted.
UCHAR DoSend(Op& op) {
  NCB& n = *op.ncb;
  Session& s = *op.session;
  platform::Clock& clock = platform::GetClock();
  const std::int64_t stoMs = UnitsMs(s.sto);
  const std::int64_t by = stoMs < 0 ? -1 : op.startMs + stoMs;
  struct Sending {
    Session& s;
    explicit Sending(Session& session) : s(session) { ++s.sending; }
    ~Sending() { --s.sending; }
  } sending{s};
  // Its time ran out before it could begin (its thread came late): it ends as a time-out.
  if (by >= 0 && clock.SteadyMs() >= by) return NRC_CMDTMO;
  if (s.dead) return s.deadCode;
  const UCHAR turn = TakeSendTurn(op, by);
  if (turn != NRC_GOODRET) return turn;
  struct EndTurn {
    Session& s;
    ~EndTurn() {
      std::lock_guard<std::mutex> lk(s.mu);
      s.PassSendTurnLocked();
    }
  } endTurn{s};
  if (s.dead) return s.deadCode;
  const unsigned char* second = nullptr;
  WORD secondLength = 0;
  if (op.cmd == NCBCHAINSEND) NcbGetChainBuffer(&n, &second, &secondLength);
  s.answerDue = true;
  std::uint8_t header[4];
  wire::PutSessionHeader(wire::kSsnMessage, std::uint32_t{n.ncb_length} + secondLength, header);
  const std::int64_t left = by < 0 ? -1 : std::max<std::int64_t>(0, by - clock.SteadyMs());
  Io io = WriteTimed(s.fd, {{header, sizeof header}, {n.ncb_buffer, n.ncb_length}, {second, secondLength}}, left,
                     op.cancelFd);
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

// The session's receive time-out counts from the moment the receive began to wait for its
// message, whichever thread carries it out: its waiter first, then its own thread.
std::int64_t RtoStart(Op& op, std::int64_t now) {
  std::int64_t expected = -1;
  return op.rtoStart.compare_exchange_strong(expected, now) ? now : expected;
}

namespace {

// Waits until the session has something to read, the receive is cancelled or claimed, or the
// session's receive time-out passed: false on the time-out.
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

}  // namespace

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

bool ReceivableNow(Op& op, bool mayRead) {
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

}  // namespace platform::netbios::internal

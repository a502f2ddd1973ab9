// Hostile session peers against Netbios(): a node that answers the called name and then drips
// keep-alives, starts a message and lets it stall, or never finishes its answer to a CALL. Every
// wait of a CALL or a RECEIVE ends within its bound counted from its start, whatever the peer
// sends meanwhile, and a CANCEL ends its command at once.
//
// Time is the fake clock's: the peer moves it on before each piece it sends (as if that much time
// had passed), so the tests measure in the peer's time what the waits allow.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/clock.h"
#include "platform/netbios/nb_common.h"
#include "platform/netbios/nb_peer.h"
#include "platform/netbios/nb_session_testing.h"
#include "platform/netbios/netbios.h"
#include "platform/netbios/tests/nb_test_env.h"
#include "platform/test_support/temp_root.h"

namespace {

namespace nb = platform::netbios;
using nbtest::AddName;
using nbtest::Block;
using nbtest::SessionBlock;
using nbtest::PutName;

constexpr std::uint8_t kKeepAlive[4] = {0x85, 0, 0, 0};

bool SendAll(int fd, const std::uint8_t* p, std::size_t n) {
  while (n > 0) {
    const ssize_t w = send(fd, p, n, MSG_NOSIGNAL);
    if (w <= 0) return false;
    p += w;
    n -= static_cast<std::size_t>(w);
  }
  return true;
}

// Sends pieces on `fd` from a thread of its own: before each, the fake clock is moved on by
// `stepMs` (the first piece goes at once). It stops after the last piece, when told, or when the
// socket fails; `sent` counts the pieces that went out.
class Dripper {
 public:
  Dripper(platform::FakeClock& clock, int fd, std::int64_t stepMs, std::vector<std::vector<std::uint8_t>> pieces)
      : thread_([this, &clock, fd, stepMs, pieces = std::move(pieces)] {
          for (std::size_t i = 0; i < pieces.size(); ++i) {
            {
              std::unique_lock<std::mutex> lk(mu_);
              // A short real pause lets the reader take each piece before the next moves time on.
              if (cv_.wait_for(lk, std::chrono::milliseconds(i == 0 ? 0 : 20), [this] { return stop_; })) return;
            }
            if (i > 0) clock.Advance(stepMs);
            if (!SendAll(fd, pieces[i].data(), pieces[i].size())) return;
            ++sent_;
          }
        }) {}
  ~Dripper() { Stop(); }
  void Stop() {
    {
      std::lock_guard<std::mutex> lk(mu_);
      stop_ = true;
    }
    cv_.notify_all();
    if (thread_.joinable()) thread_.join();
  }
  int sent() const { return sent_.load(); }

 private:
  std::mutex mu_;
  std::condition_variable cv_;
  bool stop_ = false;
  std::atomic<int> sent_{0};
  std::thread thread_;
};

std::vector<std::vector<std::uint8_t>> KeepAlives(int count) {
  return std::vector<std::vector<std::uint8_t>>(static_cast<std::size_t>(count),
                                                std::vector<std::uint8_t>(kKeepAlive, kKeepAlive + 4));
}

// The header of a session message of `length` bytes, as it goes out before them.
std::string MessageHeader(std::size_t length) {
  return std::string{'\0', static_cast<char>((length >> 16) & 1), static_cast<char>((length >> 8) & 0xFF),
                     static_cast<char>(length & 0xFF)};
}

// What `fd` holds now, read without waiting.
std::string ReadNow(int fd) {
  std::string got;
  char buf[65536];
  for (ssize_t r; (r = recv(fd, buf, sizeof buf, MSG_DONTWAIT)) > 0;) got.append(buf, static_cast<std::size_t>(r));
  return got;
}

// Reads from `fd` until `n` bytes came, the stream ended, or nothing came for 30 s.
std::string ReadUpTo(int fd, std::size_t n) {
  std::string got;
  char buf[65536];
  while (got.size() < n) {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, 30000) != 1) break;
    const ssize_t r = recv(fd, buf, std::min(sizeof buf, n - got.size()), 0);
    if (r <= 0) break;
    got.append(buf, static_cast<std::size_t>(r));
  }
  return got;
}

// True when the auto-reset event `e` is set within 30 s (real time: the fake clock does not move).
bool SetSoon(NbEvent& e) {
  pollfd p{e.fd(), POLLIN, 0};
  return poll(&p, 1, 30000) == 1 && e.Wait(0);
}

class HostilePeerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    nbtest::WriteConfig(root_.path(), ports_, {"127.0.0.1"}, {{"CallTimeoutMs", "10000"}});
  }
  void TearDown() override {
    if (peerFd_ >= 0) close(peerFd_);
  }

  nb::PeerOptions NodeOptions(const char* address, const char* name) const {
    nb::PeerOptions opt;
    nb::ParseAddress(address, opt.address);
    opt.nameServicePort = ports_.ns;
    opt.datagramPort = ports_.dg;
    opt.sessionPort = ports_.ssn;
    PutName(opt.name.data(), name);
    return opt;
  }

  // A node "HOSTILE" that takes one session and hands its socket to the test (peerFd_); the
  // session from "ASKER" with the receive time-out `rto`. The session number, or 0.
  UCHAR SessionWithHostilePeer(UCHAR rto) {
    std::mutex mu;
    std::condition_variable cv;
    int taken = -1;
    node_ = std::make_unique<nb::PeerNode>(NodeOptions("127.0.0.6", "HOSTILE"), nullptr,
                                           [&](int fd, const nb::wire::Name&) {
                                             std::lock_guard<std::mutex> lk(mu);
                                             if (taken < 0) {
                                               taken = fd;
                                             } else {
                                               close(fd);
                                             }
                                             cv.notify_all();
                                           });
    if (!node_->Start()) return 0;
    const UCHAR added = AddName("ASKER");
    if (added != NRC_GOODRET && added != NRC_DUPNAME) return 0;  // DUPNAME: added for an earlier case
    NCB call = Block(NCBCALL);
    PutName(call.ncb_name, "ASKER");
    PutName(call.ncb_callname, "HOSTILE");
    call.ncb_rto = rto;
    if (Netbios(&call) != NRC_GOODRET) return 0;
    std::unique_lock<std::mutex> lk(mu);
    if (!cv.wait_for(lk, std::chrono::seconds(30), [&] { return taken >= 0; })) return 0;
    peerFd_ = taken;
    return call.ncb_lsn;
  }

  // Starts an asynchronous SEND of `data` on `lsn` into `block`, completing on `done`; with
  // `untilWriting`, waits until its first bytes reached the peer (the session's writing is its).
  void StartSend(NCB& block, UCHAR lsn, std::string& data, NbEvent& done, bool untilWriting) {
    block = SessionBlock(NCBSEND | ASYNCH, lsn, data.data(), data.size());
    block.ncb_event = &done;
    ASSERT_EQ(Netbios(&block), NRC_GOODRET);
    if (!untilWriting) return;
    pollfd begun{peerFd_, POLLIN, 0};
    ASSERT_EQ(poll(&begun, 1, 30000), 1);
  }

  // A session with the send time-out `sto` over a socket pair whose far end (peerFd_) reads only
  // when the test does. This end's send buffer is small: one long SEND fills it and waits for
  // room. The session number, or 0.
  UCHAR SessionWithStalledReader(UCHAR sto) {
    int pair[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0) return 0;
    const int small = 4096;
    setsockopt(pair[0], SOL_SOCKET, SO_SNDBUF, &small, sizeof small);
    UCHAR lsn = 0;
    if (nb::testing::AttachSession(pair[0], 0, 0, sto, &lsn) != NRC_GOODRET) {
      close(pair[1]);
      return 0;
    }
    peerFd_ = pair[1];
    return lsn;
  }

  void HangUp(UCHAR lsn) {
    NCB hangup = Block(NCBHANGUP);
    hangup.ncb_lsn = lsn;
    Netbios(&hangup);
    close(peerFd_);
    peerFd_ = -1;
  }

  platform::testing::TempRoot root_;
  nbtest::Ports ports_;
  std::unique_ptr<nb::PeerNode> node_;
  int peerFd_ = -1;
};

// A peer that sends a keep-alive every 15 s never lets a receive of 20 s time out, however long it
// goes on, unless the time-out counts from the receive's start. Both ways a receive is carried
// out: by a program that waits in Netbios() (as the print monitor does), and by the thread of an
// asynchronous receive whose event is waited for.
TEST_F(HostilePeerTest, KeepAlivesDoNotExtendTheReceiveTimeOut) {
  for (const bool async : {false, true}) {
    SCOPED_TRACE(async ? "asynchronous receive" : "synchronous receive");
    const UCHAR lsn = SessionWithHostilePeer(40);  // 40 x 500 ms
    ASSERT_NE(lsn, 0);
    // Waits may last up to 5 s of real time: only the peer moves the time on meanwhile.
    platform::FakeClock clock(1765368000000LL, 5000);
    platform::ScopedClock scoped(&clock);
    const std::int64_t start = clock.SteadyMs();
    Dripper peer(clock, peerFd_, 15000, KeepAlives(40));  // 10 minutes of keep-alives
    unsigned char buf[8];
    NCB r = SessionBlock(async ? static_cast<UCHAR>(NCBRECV | ASYNCH) : NCBRECV, lsn, buf, sizeof buf);
    NbEvent done;
    if (async) {
      r.ncb_event = &done;
      ASSERT_EQ(Netbios(&r), NRC_GOODRET);
      ASSERT_TRUE(done.Wait(3600000));
    } else {
      Netbios(&r);
    }
    const std::int64_t took = clock.SteadyMs() - start;
    const int keepAlives = peer.sent();
    peer.Stop();
    EXPECT_EQ(r.ncb_retcode, NRC_CMDTMO);
    EXPECT_LE(took, 20000 + 15000) << keepAlives << " keep-alives";
    EXPECT_LE(keepAlives, 3);
    // The session stays: a message that comes now is received.
    const std::uint8_t message[] = {0, 0, 0, 2, 'o', 'k'};
    ASSERT_TRUE(SendAll(peerFd_, message, sizeof message));
    NCB again = SessionBlock(NCBRECV, lsn, buf, sizeof buf);
    EXPECT_EQ(Netbios(&again), NRC_GOODRET);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buf), again.ncb_length), "ok");
    NCB hangup = Block(NCBHANGUP);
    hangup.ncb_lsn = lsn;
    Netbios(&hangup);
    close(peerFd_);
    peerFd_ = -1;
    node_.reset();
  }
}

// A message that begins and then comes a byte every 9 s (its header too) ends the receive 30 s
// after its first byte: the header and the data share that time, and the session is aborted.
TEST_F(HostilePeerTest, AStartedMessageThatStallsEndsWithinItsBound) {
  const UCHAR lsn = SessionWithHostilePeer(40);
  ASSERT_NE(lsn, 0);
  platform::FakeClock clock;
  platform::ScopedClock scoped(&clock);
  const std::int64_t start = clock.SteadyMs();
  std::vector<std::vector<std::uint8_t>> bytes;
  for (std::uint8_t b : {std::uint8_t{0}, std::uint8_t{0}, std::uint8_t{0}, std::uint8_t{8}}) bytes.push_back({b});
  for (int i = 0; i < 8; ++i) bytes.push_back({0x51});
  Dripper peer(clock, peerFd_, 9000, bytes);
  unsigned char buf[8];
  NCB r = SessionBlock(NCBRECV, lsn, buf, sizeof buf);
  const UCHAR rc = Netbios(&r);
  const std::int64_t took = clock.SteadyMs() - start;
  peer.Stop();
  EXPECT_EQ(rc, NRC_SABORT);
  EXPECT_LE(took, 30000 + 9000);
  NCB again = SessionBlock(NCBRECV, lsn, buf, sizeof buf);
  EXPECT_EQ(Netbios(&again), NRC_SABORT);
}

// The console waits a while for each receive and then cancels it. A receive whose message began
// and stalled ends at the cancel, with no further wait, and the session (cut mid-message) is
// aborted.
TEST_F(HostilePeerTest, ACancelEndsAReceiveWhoseMessageStalled) {
  const UCHAR lsn = SessionWithHostilePeer(40);
  ASSERT_NE(lsn, 0);
  // Waits may last up to 5 s of real time here: a stalled wait does not end by itself meanwhile.
  platform::FakeClock clock(1765368000000LL, 5000);
  platform::ScopedClock scoped(&clock);
  std::vector<std::uint8_t> begun = {0, 0, 0, 100};  // a message of 100 bytes
  begun.insert(begun.end(), 10, 'x');                 // of which 10 come
  ASSERT_TRUE(SendAll(peerFd_, begun.data(), begun.size()));
  unsigned char buf[3072];
  NbEvent done;
  NCB r = SessionBlock(NCBRECV | ASYNCH, lsn, buf, sizeof buf);
  r.ncb_event = &done;
  ASSERT_EQ(Netbios(&r), NRC_GOODRET);
  // Let the receive's thread take the message's beginning and wait for the rest.
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  const std::int64_t before = clock.SteadyMs();
  NCB cancel = Block(NCBCANCEL);
  cancel.ncb_buffer = reinterpret_cast<unsigned char*>(&r);
  cancel.ncb_length = 64;
  EXPECT_EQ(Netbios(&cancel), NRC_GOODRET);
  EXPECT_EQ(clock.SteadyMs() - before, 0);
  ASSERT_TRUE(done.Wait(0));
  EXPECT_EQ(r.ncb_retcode, NRC_CMDCAN);
  NCB again = SessionBlock(NCBRECV, lsn, buf, sizeof buf);
  EXPECT_EQ(Netbios(&again), NRC_SABORT);
}

// A node that answers the name query but, on the session port, never answers the session request
// in time: it sends keep-alives, each piece the end of one and the beginning of the next (so a
// keep-alive has always begun when the call looks), or it begins a response and stalls. The call
// ends at CallTimeoutMs (10 s here) from its start, as a time-out.
TEST_F(HostilePeerTest, NeitherKeepAlivesNorAStalledResponseHoldACall) {
  // The name is answered at 127.0.0.7; its session port is this test's listener, not the node's.
  nb::PeerOptions opt = NodeOptions("127.0.0.7", "STALLER");
  opt.sessionPort = nbtest::FreePort(SOCK_STREAM);
  nb::PeerNode node(opt, nullptr, [](int fd, const nb::wire::Name&) { close(fd); });
  ASSERT_TRUE(node.Start());
  const int listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  ASSERT_GE(listener, 0);
  int one = 1;
  setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_port = htons(ports_.ssn);
  sa.sin_addr.s_addr = htonl(0x7F000007);
  ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&sa), sizeof sa), 0);
  ASSERT_EQ(listen(listener, 4), 0);
  ASSERT_EQ(AddName("ASKER"), NRC_GOODRET);

  struct Case {
    const char* label;
    std::vector<std::vector<std::uint8_t>> pieces;
    std::int64_t stepMs;
  };
  Case keepAlives{"keep-alives, one always begun", {{kKeepAlive, kKeepAlive + 3}}, 2000};
  for (int i = 0; i < 270; ++i) keepAlives.pieces.push_back({kKeepAlive[3], kKeepAlive[0], kKeepAlive[1], kKeepAlive[2]});
  const Case stalled{"a positive response begun and stalled", {{0x82}}, 0};
  for (const Case& c : {keepAlives, stalled}) {
    SCOPED_TRACE(c.label);
    platform::FakeClock clock;
    platform::ScopedClock scoped(&clock);
    std::unique_ptr<Dripper> peer;
    std::thread acceptor([&] {
      pollfd p{listener, POLLIN, 0};
      if (poll(&p, 1, 30000) <= 0) return;
      peerFd_ = accept(listener, nullptr, nullptr);
      if (peerFd_ >= 0) peer = std::make_unique<Dripper>(clock, peerFd_, c.stepMs, c.pieces);
    });
    const std::int64_t start = clock.SteadyMs();
    NCB call = Block(NCBCALL);
    PutName(call.ncb_name, "ASKER");
    PutName(call.ncb_callname, "STALLER");
    const UCHAR rc = Netbios(&call);
    const std::int64_t took = clock.SteadyMs() - start;
    acceptor.join();
    peer.reset();
    if (peerFd_ >= 0) close(peerFd_);
    peerFd_ = -1;
    EXPECT_EQ(rc, NRC_CMDTMO);
    EXPECT_LE(took, 10000 + 2000 + 2000);  // the query's own wait and one step of the peer
  }
  close(listener);
}

// A SEND queued behind another SEND that waits for room (its peer stopped reading, with no send
// time-out or a long one) is cancelled at once: it ends with NRC_CMDCAN and sends nothing, the
// SEND ahead of it goes on when the peer reads again, and the session stays usable.
TEST_F(HostilePeerTest, ACancelEndsASendQueuedBehindAStalledOne) {
  for (const UCHAR sto : {UCHAR{0}, UCHAR{255}}) {
    SCOPED_TRACE(sto == 0 ? "no send time-out" : "a send time-out of 127.5 s");
    const UCHAR lsn = SessionWithStalledReader(sto);
    ASSERT_NE(lsn, 0);
    // No wait ends by itself in real time here: the cancel is all that can end the queued SEND.
    platform::FakeClock clock(1765368000000LL, 600000);
    platform::ScopedClock scoped(&clock);
    std::string first(60000, 'a');
    NbEvent firstDone(false);
    NCB s1{};
    StartSend(s1, lsn, first, firstDone, true);
    std::string second(100, 'b');
    NbEvent secondDone(false);
    NCB s2{};
    StartSend(s2, lsn, second, secondDone, false);
    const std::int64_t before = clock.SteadyMs();
    std::promise<UCHAR> cancelRc;
    std::future<UCHAR> cancelled = cancelRc.get_future();
    std::thread canceller([&] {
      NCB cancel = Block(NCBCANCEL);
      cancel.ncb_buffer = reinterpret_cast<unsigned char*>(&s2);
      cancel.ncb_length = 64;
      cancelRc.set_value(Netbios(&cancel));
    });
    const bool prompt = cancelled.wait_for(std::chrono::seconds(30)) == std::future_status::ready;
    EXPECT_TRUE(prompt) << "the CANCEL waits for the SEND ahead of the one it cancels";
    if (prompt) {
      EXPECT_EQ(cancelled.get(), NRC_GOODRET);
      EXPECT_EQ(clock.SteadyMs() - before, 0);
      ASSERT_TRUE(secondDone.Wait(0));
      EXPECT_EQ(s2.ncb_retcode, NRC_CMDCAN);
      pollfd stillSending{firstDone.fd(), POLLIN, 0};
      EXPECT_EQ(poll(&stillSending, 1, 0), 0) << "the first SEND ended with the cancel of the second";
    }
    // The peer reads again: the first SEND's message comes whole, and nothing of the second.
    const std::string got = ReadUpTo(peerFd_, 4 + first.size());
    canceller.join();
    ASSERT_TRUE(SetSoon(firstDone));
    EXPECT_EQ(s1.ncb_retcode, NRC_GOODRET);
    EXPECT_TRUE(got == MessageHeader(first.size()) + first) << got.size() << " bytes";
    std::string third = "ok";
    NCB s3 = SessionBlock(NCBSEND, lsn, third.data(), third.size());
    EXPECT_EQ(Netbios(&s3), NRC_GOODRET);
    EXPECT_EQ(ReadUpTo(peerFd_, 6), MessageHeader(2) + "ok");
    HangUp(lsn);
  }
}

// A queued SEND's send time-out counts from its own start, its wait for its turn included. Here
// the SEND ahead of it waits for room until its time-out (10 s) ends it and aborts the session;
// the queued SEND ends then too: as a time-out when its own 10 s have passed by then, else with
// the session aborted. Either way it sends nothing.
TEST_F(HostilePeerTest, AQueuedSendEndsWithinItsOwnSendTimeOut) {
  struct Case {
    const char* label;
    std::int64_t queuedAfterMs;  // how long after the first SEND the second begins
    UCHAR expected;
  };
  for (const Case& c : {Case{"queued at once", 0, NRC_CMDTMO}, Case{"queued 4 s later", 4000, NRC_SABORT}}) {
    SCOPED_TRACE(c.label);
    const UCHAR lsn = SessionWithStalledReader(20);  // 20 x 500 ms
    ASSERT_NE(lsn, 0);
    // Time moves only when the test moves it: no wait ends by itself in real time.
    platform::FakeClock clock(1765368000000LL, 600000);
    platform::ScopedClock scoped(&clock);
    std::string first(60000, 'a');
    NbEvent firstDone(false);
    NCB s1{};
    StartSend(s1, lsn, first, firstDone, true);
    clock.Advance(c.queuedAfterMs);
    std::string second(100, 'b');
    NbEvent secondDone(false);
    NCB s2{};
    StartSend(s2, lsn, second, secondDone, false);
    const std::int64_t queued = clock.SteadyMs();
    // The first SEND's time-out comes; the peer takes a little, which lets the first SEND see it.
    clock.Advance(10000 - c.queuedAfterMs);
    std::string got = ReadNow(peerFd_);
    ASSERT_TRUE(SetSoon(firstDone));
    EXPECT_EQ(s1.ncb_retcode, NRC_CMDTMO);
    ASSERT_TRUE(SetSoon(secondDone));
    EXPECT_EQ(s2.ncb_retcode, c.expected);
    EXPECT_LE(clock.SteadyMs() - queued, 10000);
    // What the peer gets is the first SEND's message, cut short by the aborted session.
    got += ReadUpTo(peerFd_, 1 << 20);
    EXPECT_LT(got.size(), 4 + first.size());
    EXPECT_EQ(got.find('b'), std::string::npos);
    NCB again = SessionBlock(NCBSEND, lsn, second.data(), second.size());
    EXPECT_EQ(Netbios(&again), NRC_SABORT);
    HangUp(lsn);
  }
}

}  // namespace

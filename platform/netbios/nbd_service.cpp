// The machine's NetBIOS name table and ports: registers and defends the names of the programs that
// are connected over the unix socket, answers name queries, carries datagrams and accepts sessions
// for listening programs, handing the connected socket over.
#include "platform/netbios/nbd_service.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <map>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "platform/fd_io.h"
#include "platform/netbios/nb_common.h"
#include "platform/netbios/netbios.h"
#include "platform/ownership.h"
#include "platform/paths.h"

namespace platform::netbios {

namespace {

using wire::Name;

std::int64_t NowMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

void Log(const char* fmt, const std::string& a = "", const std::string& b = "") {
  std::fprintf(stderr, fmt, a.c_str(), b.c_str());
  std::fputc('\n', stderr);
  std::fflush(stderr);
}

bool IsWildcard(const Name& n) { return n[0] == '*'; }

constexpr std::uint32_t kTtl = 300000;
constexpr std::int64_t kSessionRequestWaitMs = 10000;
// How long a session request for a name whose program listens for it waits for that program to
// post its next LISTEN when none is posted at the moment (see Service::OnIncoming).
constexpr std::int64_t kWaitForListenMs = 1000;
constexpr std::int64_t kCacheMs = 30000;
constexpr std::size_t kMaxClients = 1000;

struct Client {
  int fd = -1;
  uid_t uid = 0;
  bool uidKnown = false;  // the peer's credentials could be read
};

struct Entry {
  int lana = 0;
  Name name{};
  bool group = false;
  std::uint8_t num = 0;
  int client = 0;
  bool registered = false;
  bool listened = false;  // its program has posted a LISTEN for it
  // Its program asked to keep the name for a while after it goes away (unique names only).
  bool keep = false;
  // Kept after its program went away (client 0): registered and defended until keptUntil, when
  // it is released; an ADD NAME of the same user on the same LANA takes it over at once.
  std::int64_t keptUntil = 0;
  uid_t keptFor = 0;
};

struct Registration {
  std::uint16_t trn = 0;
  int lana = 0;
  Name name{};
  int client = 0;
  std::uint32_t reqId = 0;
  int sendsLeft = 0;
  std::int64_t due = 0;
};

struct Query {
  std::uint16_t trn = 0;
  int lana = 0;
  Name name{};
  int sendsLeft = 0;
  std::int64_t due = 0;
  std::vector<wire::Datagram> waiting;
};

// Walks requests that repeat their packet until answered: one not yet due waits; one with sends
// left goes out again (`resend`) and is due once more after `timeoutMs`; the others leave the list
// and end through `finish`.
template <typename Pending, typename Resend, typename Finish>
void RepeatOrEnd(std::vector<Pending>& pending, std::int64_t now, std::int64_t timeoutMs, Resend resend,
                 Finish finish) {
  for (std::size_t i = 0; i < pending.size();) {
    Pending& p = pending[i];
    if (p.due > now) {
      ++i;
      continue;
    }
    if (p.sendsLeft > 0) {
      --p.sendsLeft;
      p.due = now + timeoutMs;
      resend(p);
      ++i;
      continue;
    }
    Pending done = std::move(p);
    pending.erase(pending.begin() + static_cast<std::ptrdiff_t>(i));
    finish(done);
  }
}

struct Listen {
  int client = 0;
  std::uint32_t reqId = 0;
  int lana = 0;
  Name local{}, caller{};
};

struct Incoming {
  int fd = -1;
  int lana = 0;
  std::vector<std::uint8_t> buf;
  std::int64_t deadline = 0;
  // A whole request that waits for a LISTEN of its called name (until the deadline).
  bool waiting = false;
  Name called{}, calling{};
};

struct Resolved {
  std::uint32_t address = 0;
  bool group = false;
  std::int64_t expires = 0;
};

struct LanaSockets {
  LanaConfig cfg;
  int nsUnicast = -1, nsBroadcast = -1, dgUnicast = -1, dgBroadcast = -1, tcp = -1;
};

class Service {
 public:
  explicit Service(ServiceOptions options) : options_(std::move(options)) {}
  int Run(int readyFd);

 private:
  bool Open();
  // Sets and logs the reason why a port of the service could not be opened; false.
  bool PortFailure(const char* what, std::uint32_t address, std::uint16_t port, int error);
  void Loop();
  void AcceptClient();
  void DropClient(int key);
  bool ClientGone(int key);
  void OnClientMessage(int key);
  void Reply(int key, std::uint32_t id, std::uint8_t rc, std::uint8_t num = 0, std::uint32_t address = 0);
  void AddName(int key, std::uint32_t id, MsgReader& r);
  void DeleteName(int key, std::uint32_t id, MsgReader& r);
  void KeepName(int key, std::uint32_t id, MsgReader& r);
  bool Reclaim(int key, std::uint32_t id, int lana, const Name& name, bool group, bool keep);
  bool AnyKept() const;
  void RemoveEntry(std::size_t index);
  void ListenRequest(int key, std::uint32_t id, MsgReader& r);
  void FinishListen(std::size_t index, std::uint8_t rc, const Name& caller, int fd);
  void DatagramRequest(int key, std::uint32_t id, MsgReader& r);
  void SendDatagram(int lana, const Name& source, const Name& dest, const std::vector<std::uint8_t>& data);
  void Deliver(int lana, const wire::Datagram& d, bool fromNetwork);
  void OnNameService(int lana, int fd);
  void OnDatagramSocket(int lana, int fd);
  void OnAccept(int lana);
  void OnIncoming(std::size_t index);
  bool HandOver(Incoming& in);
  void Refuse(Incoming& in);
  void Timers();
  void SendRegistration(const Registration& reg, bool demand);
  void SendQuery(const Query& q);
  void SendRelease(int lana, const Name& name, bool group);
  bool TryExit();
  Entry* FindRegistered(int lana, const Name& name);
  std::uint16_t NextTrn() { return static_cast<std::uint16_t>(++trn_ == 0 ? ++trn_ : trn_); }

  bool IdleNow() const { return options_.idleExit && clients_.empty() && !AnyKept(); }

  ServiceOptions options_;
  Config cfg_;
  std::vector<LanaSockets> lanas_;
  std::string failure_;  // why the service could not start, for the program that started it
  int listenFd_ = -1;
  std::string socketPath_;
  ino_t socketInode_ = 0;
  std::map<int, Client> clients_;
  int nextClient_ = 1;
  std::vector<Entry> entries_;
  std::vector<Registration> registrations_;
  std::vector<Query> queries_;
  std::vector<Listen> listens_;
  std::vector<Incoming> incoming_;
  std::map<std::pair<int, Name>, Resolved> cache_;
  std::uint16_t trn_ = 0;
  std::uint16_t dgmId_ = 0;
  std::int64_t idleSince_ = 0;
};

int Service::Run(int readyFd) {
  cfg_ = LoadConfig();
  // Held for the life of the service (the system drops it when the process ends, however it ends):
  // whoever takes this lock knows the service has gone.
  // The file is truncated: a link or another user's file planted under its name is refused, never
  // followed, and the service does not start.
  const std::string pidPath = JoinPath(options_.folder, "nbd.pid");
  int pidFd = OpenOwnFile(pidPath, 0600);
  if (pidFd < 0) {
    failure_ = pidPath + " is no file of this user's (" + std::strerror(errno) + "): not starting";
    Log("%s%s", failure_);
  }
  if (pidFd >= 0 && flock(pidFd, LOCK_EX) == 0) {
    std::string pid = std::to_string(getpid()) + "\n";
    if (ftruncate(pidFd, 0) == 0) {
      ssize_t w = pwrite(pidFd, pid.data(), pid.size(), 0);
      (void)w;
    }
  }
  std::random_device rd;
  trn_ = static_cast<std::uint16_t>(rd());
  dgmId_ = static_cast<std::uint16_t>(rd());
  bool ok = pidFd >= 0 && Open();
  TellStarter(readyFd, ok, failure_);
  if (!ok) return 1;
  idleSince_ = NowMs();
  Loop();
  return 0;
}

bool Service::PortFailure(const char* what, std::uint32_t address, std::uint16_t port, int error) {
  failure_ = std::string("cannot open the NetBIOS ") + what + " port (UDP " + std::to_string(port) + ") on " +
             AddressText(address) + ": " +
             (error == EADDRINUSE ? "another program (another NetBIOS service?) holds it; the service does not share it"
                                  : std::strerror(error));
  Log("%s%s", failure_);
  return false;
}

bool Service::Open() {
  for (const LanaConfig& l : cfg_.lanas) {
    LanaSockets s;
    s.cfg = l;
    // The unicast ports are this service's alone: a socket that shared them would take queries
    // and datagrams meant for this machine and answer in its place. The broadcast reception is
    // shared with this user's other nodes only.
    s.nsUnicast = OpenUdp(l.address, cfg_.nameServicePort, UdpSharing::kExclusive);
    if (s.nsUnicast < 0) return PortFailure("name service", l.address, cfg_.nameServicePort, errno);
    s.dgUnicast = OpenUdp(l.address, cfg_.datagramPort, UdpSharing::kExclusive);
    if (s.dgUnicast < 0) return PortFailure("datagram", l.address, cfg_.datagramPort, errno);
    s.nsBroadcast = OpenUdp(l.broadcast, cfg_.nameServicePort, UdpSharing::kSameUser);
    s.dgBroadcast = OpenUdp(l.broadcast, cfg_.datagramPort, UdpSharing::kSameUser);
    if (s.nsBroadcast < 0 || s.dgBroadcast < 0) Log("no broadcast reception on %s%s", AddressText(l.broadcast));
    s.tcp = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    int one = 1;
    setsockopt(s.tcp, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(cfg_.sessionPort);
    sa.sin_addr.s_addr = htonl(l.address);
    if (s.tcp < 0 || bind(s.tcp, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0 || listen(s.tcp, 32) != 0) {
      Log("no session port on %s%s", AddressText(l.address));
      if (s.tcp >= 0) close(s.tcp);
      s.tcp = -1;
    }
    lanas_.push_back(s);
  }
  socketPath_ = JoinPath(options_.folder, "nbd.sock");
  sockaddr_un un{};
  un.sun_family = AF_UNIX;
  if (socketPath_.size() >= sizeof un.sun_path) return false;
  std::memcpy(un.sun_path, socketPath_.c_str(), socketPath_.size() + 1);
  listenFd_ = socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (listenFd_ < 0) return false;
  unlink(socketPath_.c_str());
  // A user's service: only this user (and root) may connect, whatever the umask: the socket file
  // takes the socket's mode less the umask, and is set again before anyone can be accepted. The
  // machine's service takes every local user; each program may touch only what is its own or its
  // user's (see the peer credentials in AcceptClient).
  const mode_t mode = options_.machine ? 0666 : 0600;
  if (fchmod(listenFd_, mode) != 0 || bind(listenFd_, reinterpret_cast<sockaddr*>(&un), sizeof un) != 0 ||
      chmod(socketPath_.c_str(), mode) != 0 || listen(listenFd_, 64) != 0) {
    Log("cannot listen on %s%s", socketPath_);
    return false;
  }
  struct stat st {};
  if (stat(socketPath_.c_str(), &st) == 0) socketInode_ = st.st_ino;
  return true;
}

void Service::Loop() {
  enum Kind { kListenSock, kClient, kNsSock, kDgSock, kTcp, kIncoming };
  struct Slot {
    Kind kind;
    int a;
    int fd;
  };
  for (;;) {
    std::vector<pollfd> fds;
    std::vector<Slot> slots;
    auto add = [&](Kind k, int a, int fd) {
      if (fd < 0) return;
      fds.push_back({fd, POLLIN, 0});
      slots.push_back({k, a, fd});
    };
    add(kListenSock, 0, listenFd_);
    for (auto& [key, c] : clients_) add(kClient, key, c.fd);
    for (std::size_t i = 0; i < lanas_.size(); ++i) {
      int l = static_cast<int>(i);
      add(kNsSock, l, lanas_[i].nsUnicast);
      add(kNsSock, l, lanas_[i].nsBroadcast);
      add(kDgSock, l, lanas_[i].dgUnicast);
      add(kDgSock, l, lanas_[i].dgBroadcast);
      add(kTcp, l, lanas_[i].tcp);
    }
    for (std::size_t i = 0; i < incoming_.size(); ++i) add(kIncoming, static_cast<int>(i), incoming_[i].fd);

    std::int64_t now = NowMs();
    std::int64_t next = now + 60000;
    for (const auto& r : registrations_) next = std::min(next, r.due);
    for (const auto& q : queries_) next = std::min(next, q.due);
    for (const auto& in : incoming_) next = std::min(next, in.deadline);
    for (const auto& e : entries_)
      if (e.keptUntil > 0) next = std::min(next, e.keptUntil);
    if (IdleNow()) next = std::min(next, idleSince_ + cfg_.idleExitMs);
    int wait = static_cast<int>(std::max<std::int64_t>(0, next - now));
    int r = poll(fds.data(), fds.size(), wait);
    if (r < 0 && errno != EINTR) return;
    if (r > 0) {
      // Incoming sessions are handled last and from the back, so indices stay valid.
      std::vector<std::size_t> incomingReady;
      for (std::size_t i = 0; i < fds.size(); ++i) {
        if (fds[i].revents == 0) continue;
        const Slot& s = slots[i];
        switch (s.kind) {
          case kListenSock:
            AcceptClient();
            break;
          case kClient:
            if (clients_.count(s.a) != 0 && clients_[s.a].fd == s.fd) OnClientMessage(s.a);
            break;
          case kNsSock:
            OnNameService(s.a, s.fd);
            break;
          case kDgSock:
            OnDatagramSocket(s.a, s.fd);
            break;
          case kTcp:
            OnAccept(s.a);
            break;
          case kIncoming:
            incomingReady.push_back(static_cast<std::size_t>(s.a));
            break;
        }
      }
      for (auto it = incomingReady.rbegin(); it != incomingReady.rend(); ++it) OnIncoming(*it);
    }
    Timers();
    if (IdleNow() && NowMs() >= idleSince_ + cfg_.idleExitMs && TryExit()) return;
  }
}

bool Service::TryExit() {
  // The lock file beside our socket, without creating folders: when the whole root is gone (a
  // test that cleaned up before we went idle), leaving must not make it again.
  const std::string lockPath = JoinPath(options_.folder, "nbd.lock");
  int lock = platform::OpenOrCreate(lockPath, O_RDWR | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (lock >= 0) flock(lock, LOCK_EX);
  pollfd p{listenFd_, POLLIN, 0};
  if (poll(&p, 1, 0) > 0) {
    if (lock >= 0) close(lock);
    return false;
  }
  struct stat st {};
  if (stat(socketPath_.c_str(), &st) == 0 && st.st_ino == socketInode_) unlink(socketPath_.c_str());
  close(listenFd_);
  // The ports are nobody else's while this service holds them: free them before the next service,
  // which waits for this lock, binds them.
  for (LanaSockets& l : lanas_) {
    for (int* fd : {&l.nsUnicast, &l.dgUnicast, &l.nsBroadcast, &l.dgBroadcast, &l.tcp}) {
      if (*fd >= 0) close(*fd);
      *fd = -1;
    }
  }
  if (lock >= 0) close(lock);
  return true;
}

void Service::AcceptClient() {
  for (;;) {
    int fd = accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (fd < 0) return;
    // Every program's descriptor stays open while it is connected: a bound keeps the service
    // answering the wire however many connections local programs open.
    if (clients_.size() >= kMaxClients) {
      close(fd);
      continue;
    }
    Client c;
    c.fd = fd;
    // Whose the program is comes from the system, never from what it says: what its user kept is
    // told apart by it (its names, sessions and datagrams by its connection).
    ucred cred{};
    socklen_t len = sizeof cred;
    if (getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &cred, &len) == 0 && len == sizeof cred) {
      c.uid = cred.uid;
      c.uidKnown = true;
    }
    clients_[nextClient_++] = c;
  }
}

bool Service::AnyKept() const {
  return std::any_of(entries_.begin(), entries_.end(), [](const Entry& e) { return e.keptUntil > 0; });
}

bool Service::ClientGone(int key) {
  auto it = clients_.find(key);
  if (it == clients_.end()) return true;
  pollfd p{it->second.fd, POLLRDHUP, 0};
  if (poll(&p, 1, 0) > 0 && (p.revents & (POLLHUP | POLLRDHUP | POLLERR)) != 0) {
    DropClient(key);
    return true;
  }
  return false;
}

void Service::DropClient(int key) {
  auto it = clients_.find(key);
  if (it == clients_.end()) return;
  const Client gone = it->second;
  close(gone.fd);
  clients_.erase(it);
  for (std::size_t i = entries_.size(); i-- > 0;) {
    Entry& e = entries_[i];
    if (e.client != key) continue;
    if (e.keep && e.registered && !e.group && gone.uidKnown && cfg_.nameLingerMs > 0) {
      // Stays on the wire (answered and defended) for the next program of the same user.
      e.client = 0;
      e.listened = false;
      e.keptUntil = NowMs() + cfg_.nameLingerMs;
      e.keptFor = gone.uid;
      continue;
    }
    RemoveEntry(i);
  }
  listens_.erase(std::remove_if(listens_.begin(), listens_.end(), [&](const Listen& l) { return l.client == key; }),
                 listens_.end());
  if (clients_.empty()) idleSince_ = NowMs();
}

void Service::RemoveEntry(std::size_t index) {
  Entry e = entries_[index];
  entries_.erase(entries_.begin() + static_cast<std::ptrdiff_t>(index));
  // An ADD NAME still registering this name ends now (its program may be waiting for it).
  for (std::size_t i = registrations_.size(); i-- > 0;) {
    const Registration& r = registrations_[i];
    if (r.client != e.client || r.lana != e.lana || r.name != e.name) continue;
    Reply(r.client, r.reqId, NRC_NAMERR);
    registrations_.erase(registrations_.begin() + static_cast<std::ptrdiff_t>(i));
  }
  for (std::size_t i = listens_.size(); i-- > 0;) {
    if (listens_[i].client == e.client && listens_[i].lana == e.lana && listens_[i].local == e.name)
      FinishListen(i, NRC_NAMERR, Name{}, -1);
  }
  if (e.registered && FindRegistered(e.lana, e.name) == nullptr) SendRelease(e.lana, e.name, e.group);
}

Entry* Service::FindRegistered(int lana, const Name& name) {
  for (Entry& e : entries_)
    if (e.lana == lana && e.name == name && e.registered) return &e;
  return nullptr;
}

void Service::Reply(int key, std::uint32_t id, std::uint8_t rc, std::uint8_t num, std::uint32_t address) {
  auto it = clients_.find(key);
  if (it == clients_.end()) return;
  MsgWriter w(Msg::kResult, id);
  w.U8(rc).U8(num).U32(address);
  SendMsg(it->second.fd, w.data());
}

void Service::OnClientMessage(int key) {
  std::vector<std::uint8_t> msg;
  int passed = -1;
  int r = RecvMsg(clients_[key].fd, msg, &passed);
  if (passed >= 0) close(passed);
  if (r < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return;
  if (r <= 0) {
    DropClient(key);
    return;
  }
  MsgReader rd(msg);
  std::uint8_t type = 0;
  std::uint32_t id = 0;
  if (!rd.U8(type) || !rd.U32(id)) return;
  switch (static_cast<Msg>(type)) {
    case Msg::kHello: {
      // The greeting's answer carries the LANAs and ports of this service, which the programs of
      // a machine's service use instead of their own settings.
      MsgWriter w(Msg::kResult, id);
      w.U8(NRC_GOODRET).U8(0).U32(0);
      WriteServiceSettings(w, cfg_);
      SendMsg(clients_[key].fd, w.data());
      break;
    }
    case Msg::kAddName:
      AddName(key, id, rd);
      break;
    case Msg::kDeleteName:
      DeleteName(key, id, rd);
      break;
    case Msg::kKeepName:
      KeepName(key, id, rd);
      break;
    case Msg::kReset: {
      std::uint8_t lana = 0;
      rd.U8(lana);
      for (std::size_t i = entries_.size(); i-- > 0;)
        if (entries_[i].client == key && entries_[i].lana == lana) RemoveEntry(i);
      for (std::size_t i = listens_.size(); i-- > 0;)
        if (listens_[i].client == key && listens_[i].lana == lana) FinishListen(i, NRC_CMDCAN, Name{}, -1);
      Reply(key, id, NRC_GOODRET);
      break;
    }
    case Msg::kDgSend:
      DatagramRequest(key, id, rd);
      break;
    case Msg::kListen:
      ListenRequest(key, id, rd);
      break;
    case Msg::kUnlisten:
      for (std::size_t i = 0; i < listens_.size(); ++i) {
        if (listens_[i].client == key && listens_[i].reqId == id) {
          FinishListen(i, NRC_CMDCAN, Name{}, -1);
          break;
        }
      }
      break;
    case Msg::kLookup: {
      std::uint8_t lana = 0;
      Name name{};
      if (!rd.U8(lana) || !rd.NameField(name) || lana >= lanas_.size()) {
        Reply(key, id, NRC_BRIDGE);
        break;
      }
      Entry* e = FindRegistered(lana, name);
      Reply(key, id, e != nullptr ? NRC_GOODRET : NRC_NOCALL, 0, lanas_[lana].cfg.address);
      break;
    }
    default:
      Reply(key, id, NRC_ILLCMD);
      break;
  }
}

void Service::AddName(int key, std::uint32_t id, MsgReader& r) {
  std::uint8_t lana = 0, group = 0;
  Name name{};
  if (!r.U8(lana) || !r.U8(group) || !r.NameField(name)) return Reply(key, id, NRC_ILLCMD);
  // An optional last byte asks that a unique name be kept after its program (as kKeepName does).
  std::uint8_t keepByte = 0;
  const bool keep = r.U8(keepByte) && keepByte != 0 && group == 0;
  if (lana >= lanas_.size()) return Reply(key, id, NRC_BRIDGE);
  if (name[0] == 0 || name[0] == '*') return Reply(key, id, NRC_NOWILD);
  // Names of programs that are gone (a killed program whose hang-up is not processed yet) do not
  // count.
  for (;;) {
    int gone = 0;
    for (const Entry& e : entries_)
      if (e.lana == lana && e.name == name && e.client != key && clients_.count(e.client) != 0) {
        pollfd p{clients_[e.client].fd, POLLRDHUP, 0};
        if (poll(&p, 1, 0) > 0 && (p.revents & (POLLHUP | POLLRDHUP | POLLERR)) != 0) {
          gone = e.client;
          break;
        }
      }
    if (gone == 0 || !ClientGone(gone)) break;
  }
  if (Reclaim(key, id, lana, name, group != 0, keep)) return;
  bool groupRegistered = false;
  std::uint8_t used[256] = {};
  for (const Entry& e : entries_) {
    if (e.client == key && e.lana == lana) used[e.num] = 1;
    if (e.lana != lana || e.name != name) continue;
    if (!group || !e.group || e.client == key) return Reply(key, id, NRC_DUPNAME);
    if (e.registered) groupRegistered = true;
  }
  int num = 0;
  for (int n = 2; n <= 254; ++n)
    if (used[n] == 0) {
      num = n;
      break;
    }
  if (num == 0) return Reply(key, id, NRC_NAMTFUL);
  Entry e;
  e.lana = lana;
  e.name = name;
  e.group = group != 0;
  e.num = static_cast<std::uint8_t>(num);
  e.client = key;
  e.registered = groupRegistered;
  e.keep = keep;
  entries_.push_back(e);
  if (groupRegistered) return Reply(key, id, NRC_GOODRET, e.num);
  Registration reg;
  reg.trn = NextTrn();
  reg.lana = lana;
  reg.name = name;
  reg.client = key;
  reg.reqId = id;
  reg.sendsLeft = cfg_.registrationRetries - 1;
  reg.due = NowMs() + cfg_.registrationTimeoutMs;
  SendRegistration(reg, false);
  registrations_.push_back(reg);
}

// A name kept after its program went away: the same user's program takes it over as it stands (it
// was never released, so there is nothing to register again); anybody else is refused, as for any
// name in the table. False when the name is not kept.
bool Service::Reclaim(int key, std::uint32_t id, int lana, const Name& name, bool group, bool keep) {
  auto kept = std::find_if(entries_.begin(), entries_.end(), [&](const Entry& e) {
    return e.keptUntil > 0 && e.lana == lana && e.name == name;
  });
  if (kept == entries_.end()) return false;
  const Client& c = clients_[key];
  if (group || !c.uidKnown || c.uid != kept->keptFor) {
    Reply(key, id, NRC_DUPNAME);
    return true;
  }
  std::uint8_t used[256] = {};
  for (const Entry& e : entries_)
    if (e.client == key && e.lana == lana) used[e.num] = 1;
  int num = 0;
  for (int n = 2; n <= 254 && num == 0; ++n)
    if (used[n] == 0) num = n;
  if (num == 0) {
    Reply(key, id, NRC_NAMTFUL);
    return true;
  }
  kept->client = key;
  kept->num = static_cast<std::uint8_t>(num);
  kept->keep = keep;  // kept after the new program only when it asks again
  kept->keptUntil = 0;
  Reply(key, id, NRC_GOODRET, kept->num);
  return true;
}

void Service::KeepName(int key, std::uint32_t id, MsgReader& r) {
  std::uint8_t lana = 0;
  Name name{};
  if (!r.U8(lana) || !r.NameField(name)) return Reply(key, id, NRC_ILLCMD);
  for (Entry& e : entries_) {
    if (e.client != key || e.lana != lana || e.name != name) continue;
    if (e.group) return Reply(key, id, NRC_ILLCMD);  // a group name is not one program's to keep
    e.keep = true;
    return Reply(key, id, NRC_GOODRET);
  }
  Reply(key, id, NRC_NOWILD);
}

void Service::DeleteName(int key, std::uint32_t id, MsgReader& r) {
  std::uint8_t lana = 0;
  Name name{};
  if (!r.U8(lana) || !r.NameField(name)) return Reply(key, id, NRC_ILLCMD);
  for (std::size_t i = 0; i < entries_.size(); ++i) {
    if (entries_[i].client == key && entries_[i].lana == lana && entries_[i].name == name) {
      RemoveEntry(i);
      return Reply(key, id, NRC_GOODRET);
    }
  }
  Reply(key, id, NRC_NOWILD);
}

void Service::ListenRequest(int key, std::uint32_t id, MsgReader& r) {
  Listen l;
  std::uint8_t lana = 0;
  if (!r.U8(lana) || !r.NameField(l.local) || !r.NameField(l.caller)) return;
  l.client = key;
  l.reqId = id;
  l.lana = lana;
  listens_.push_back(l);
  std::size_t index = listens_.size() - 1;
  if (lana >= lanas_.size()) return FinishListen(index, NRC_BRIDGE, Name{}, -1);
  bool owned = false;
  for (const Entry& e : entries_)
    if (e.client == key && e.lana == lana && e.name == l.local && e.registered) owned = true;
  if (!owned) return FinishListen(index, NRC_NOWILD, Name{}, -1);
  if (lanas_[lana].tcp < 0) return FinishListen(index, NRC_OSRESNOTAV, Name{}, -1);
  for (Entry& e : entries_)
    if (e.client == key && e.lana == lana && e.name == l.local && e.registered) e.listened = true;
  // A call that came while no LISTEN was posted takes this one, oldest first.
  for (std::size_t i = 0; i < incoming_.size(); ++i) {
    if (incoming_[i].waiting && HandOver(incoming_[i])) {
      close(incoming_[i].fd);
      incoming_.erase(incoming_.begin() + static_cast<std::ptrdiff_t>(i));
      return;
    }
  }
}

void Service::FinishListen(std::size_t index, std::uint8_t rc, const Name& caller, int fd) {
  Listen l = listens_[index];
  listens_.erase(listens_.begin() + static_cast<std::ptrdiff_t>(index));
  auto it = clients_.find(l.client);
  if (it == clients_.end()) return;
  MsgWriter w(Msg::kListenDone, l.reqId);
  w.U8(rc).NameField(caller);
  SendMsg(it->second.fd, w.data(), fd);
}

void Service::DatagramRequest(int key, std::uint32_t id, MsgReader& r) {
  std::uint8_t lana = 0, num = 0;
  Name dest{};
  if (!r.U8(lana) || !r.U8(num) || !r.NameField(dest)) return Reply(key, id, NRC_ILLCMD);
  std::vector<std::uint8_t> data = r.Rest();
  if (lana >= lanas_.size()) return Reply(key, id, NRC_BRIDGE);
  if (data.size() > wire::kMaxDatagramData) return Reply(key, id, NRC_BUFLEN);
  const Entry* source = nullptr;
  for (const Entry& e : entries_)
    if (e.client == key && e.lana == lana && e.num == num && e.registered) source = &e;
  if (source == nullptr) return Reply(key, id, NRC_ILLNN);
  Name sourceName = source->name;
  Reply(key, id, NRC_GOODRET);
  SendDatagram(lana, sourceName, dest, data);
}

void Service::SendDatagram(int lana, const Name& source, const Name& dest, const std::vector<std::uint8_t>& data) {
  const LanaSockets& ls = lanas_[static_cast<std::size_t>(lana)];
  wire::Datagram d;
  d.id = ++dgmId_;
  d.sourceIp = ls.cfg.address;
  d.sourcePort = cfg_.datagramPort;
  d.source = source;
  d.destination = dest;
  d.data = data;
  bool localUnique = false, localGroup = false;
  for (const Entry& e : entries_) {
    if (e.lana != lana || e.name != dest || !e.registered) continue;
    if (e.group) localGroup = true;
    else localUnique = true;
  }
  if (localUnique || localGroup) Deliver(lana, d, false);
  if (localUnique) return;
  auto cached = cache_.find({lana, dest});
  if (cached != cache_.end() && cached->second.expires < NowMs()) {
    cache_.erase(cached);
    cached = cache_.end();
  }
  if (localGroup || (cached != cache_.end() && cached->second.group)) {
    d.type = wire::kDgmDirectGroup;
    SendUdp(ls.dgUnicast, ls.cfg.broadcast, cfg_.datagramPort, wire::BuildDatagram(d));
    return;
  }
  if (cached != cache_.end()) {
    d.type = wire::kDgmDirectUnique;
    SendUdp(ls.dgUnicast, cached->second.address, cfg_.datagramPort, wire::BuildDatagram(d));
    return;
  }
  for (Query& q : queries_) {
    if (q.lana == lana && q.name == dest) {
      if (q.waiting.size() < 64) q.waiting.push_back(d);
      return;
    }
  }
  Query q;
  q.trn = NextTrn();
  q.lana = lana;
  q.name = dest;
  q.sendsLeft = cfg_.queryRetries - 1;
  q.due = NowMs() + cfg_.queryTimeoutMs;
  q.waiting.push_back(d);
  SendQuery(q);
  queries_.push_back(std::move(q));
}

void Service::Deliver(int lana, const wire::Datagram& d, bool fromNetwork) {
  bool unique = d.type == wire::kDgmDirectUnique;
  for (const Entry& e : entries_) {
    if (e.lana != lana || e.name != d.destination || !e.registered) continue;
    if (fromNetwork && unique && e.group) continue;
    auto it = clients_.find(e.client);
    if (it == clients_.end()) continue;
    MsgWriter w(Msg::kDatagram, 0);
    w.U8(static_cast<std::uint8_t>(lana)).U8(e.num).NameField(d.source).Bytes(d.data.data(), d.data.size());
    SendMsg(it->second.fd, w.data());
    if (!e.group) break;
  }
}

void Service::SendRegistration(const Registration& reg, bool demand) {
  const LanaSockets& ls = lanas_[static_cast<std::size_t>(reg.lana)];
  bool group = false;
  for (const Entry& e : entries_)
    if (e.client == reg.client && e.lana == reg.lana && e.name == reg.name) group = e.group;
  wire::NsPacket p;
  p.trnId = reg.trn;
  p.opcode = wire::kOpRegistration;
  p.rd = !demand;
  p.broadcast = true;
  p.questions.push_back({reg.name, wire::kTypeNB, wire::kClassIN});
  wire::NsRecord rr;
  rr.name = reg.name;
  rr.ttl = kTtl;
  rr.rdata = wire::NbRdata(group ? wire::kNbFlagGroup : 0, ls.cfg.address);
  p.additional.push_back(rr);
  SendUdp(ls.nsUnicast, ls.cfg.broadcast, cfg_.nameServicePort, wire::BuildNsPacket(p));
}

void Service::SendQuery(const Query& q) {
  const LanaSockets& ls = lanas_[static_cast<std::size_t>(q.lana)];
  wire::NsPacket p;
  p.trnId = q.trn;
  p.opcode = wire::kOpQuery;
  p.rd = true;
  p.broadcast = true;
  p.questions.push_back({q.name, wire::kTypeNB, wire::kClassIN});
  SendUdp(ls.nsUnicast, ls.cfg.broadcast, cfg_.nameServicePort, wire::BuildNsPacket(p));
}

void Service::SendRelease(int lana, const Name& name, bool group) {
  const LanaSockets& ls = lanas_[static_cast<std::size_t>(lana)];
  wire::NsPacket p;
  p.trnId = NextTrn();
  p.opcode = wire::kOpRelease;
  p.broadcast = true;
  p.questions.push_back({name, wire::kTypeNB, wire::kClassIN});
  wire::NsRecord rr;
  rr.name = name;
  rr.rdata = wire::NbRdata(group ? wire::kNbFlagGroup : 0, ls.cfg.address);
  p.additional.push_back(rr);
  SendUdp(ls.nsUnicast, ls.cfg.broadcast, cfg_.nameServicePort, wire::BuildNsPacket(p));
}

void Service::Timers() {
  std::int64_t now = NowMs();
  RepeatOrEnd(registrations_, now, cfg_.registrationTimeoutMs,
              [&](const Registration& reg) { SendRegistration(reg, false); },
              [&](const Registration& done) {
                for (Entry& e : entries_) {
                  if (e.client == done.client && e.lana == done.lana && e.name == done.name) {
                    e.registered = true;
                    SendRegistration(done, true);
                    Reply(done.client, done.reqId, NRC_GOODRET, e.num);
                    break;
                  }
                }
              });
  RepeatOrEnd(queries_, now, cfg_.queryTimeoutMs, [&](const Query& q) { SendQuery(q); },
              [&](Query& done) {
                // Nobody answered for the name: a group whose members keep quiet still hears a
                // broadcast.
                const LanaSockets& ls = lanas_[static_cast<std::size_t>(done.lana)];
                for (wire::Datagram& d : done.waiting) {
                  d.type = wire::kDgmDirectGroup;
                  SendUdp(ls.dgUnicast, ls.cfg.broadcast, cfg_.datagramPort, wire::BuildDatagram(d));
                }
              });
  bool released = false;
  for (std::size_t i = entries_.size(); i-- > 0;) {
    if (entries_[i].keptUntil > 0 && entries_[i].keptUntil <= now) {
      RemoveEntry(i);
      released = true;
    }
  }
  if (released && clients_.empty() && !AnyKept()) idleSince_ = now;
  for (std::size_t i = incoming_.size(); i-- > 0;) {
    if (incoming_[i].deadline <= now) {
      if (incoming_[i].waiting) Refuse(incoming_[i]);
      close(incoming_[i].fd);
      incoming_.erase(incoming_.begin() + static_cast<std::ptrdiff_t>(i));
    }
  }
}

void Service::OnNameService(int lana, int fd) {
  const LanaSockets& ls = lanas_[static_cast<std::size_t>(lana)];
  UdpDatagram in;
  if (!ReceiveUdp(fd, ls.cfg.address, cfg_.nameServicePort, in)) return;
  const std::uint32_t srcAddr = in.address;
  const std::uint16_t srcPort = in.port;
  wire::NsPacket p;
  if (!wire::ParseNsPacket(in.bytes, in.size, p)) return;
  if (p.response) {
    if (p.opcode == wire::kOpRegistration && p.rcode != 0) {
      for (std::size_t i = 0; i < registrations_.size(); ++i) {
        Registration& reg = registrations_[i];
        if (reg.trn != p.trnId || reg.lana != lana) continue;
        Registration failed = reg;
        registrations_.erase(registrations_.begin() + static_cast<std::ptrdiff_t>(i));
        for (std::size_t k = 0; k < entries_.size(); ++k) {
          if (entries_[k].client == failed.client && entries_[k].lana == lana && entries_[k].name == failed.name) {
            entries_.erase(entries_.begin() + static_cast<std::ptrdiff_t>(k));
            break;
          }
        }
        Log("name %s refused by %s", wire::NameText(failed.name), AddressText(srcAddr));
        Reply(failed.client, failed.reqId, NRC_DUPNAME);
        break;
      }
    } else if (p.opcode == wire::kOpQuery && p.rcode == 0 && !p.answers.empty()) {
      for (std::size_t i = 0; i < queries_.size(); ++i) {
        Query& q = queries_[i];
        if (q.trn != p.trnId || q.lana != lana) continue;
        std::uint16_t flags = 0;
        std::uint32_t address = 0;
        if (!wire::ReadNbRdata(p.answers[0].rdata, flags, address)) break;
        bool group = (flags & wire::kNbFlagGroup) != 0;
        cache_[{lana, q.name}] = Resolved{address, group, NowMs() + kCacheMs};
        for (wire::Datagram& d : q.waiting) {
          d.type = group ? wire::kDgmDirectGroup : wire::kDgmDirectUnique;
          SendUdp(ls.dgUnicast, group ? ls.cfg.broadcast : address, cfg_.datagramPort, wire::BuildDatagram(d));
        }
        queries_.erase(queries_.begin() + static_cast<std::ptrdiff_t>(i));
        break;
      }
    }
    return;
  }
  if (p.questions.empty()) return;
  const wire::NsQuestion& q = p.questions[0];
  if (p.opcode == wire::kOpQuery) {
    wire::NsPacket resp = wire::AnswerTo(p, wire::kOpQuery);
    wire::NsRecord rr;
    rr.name = q.name;
    rr.ttl = kTtl;
    if (q.type == wire::kTypeNBSTAT) {
      // Node status: the names of this LANA.
      std::vector<const Entry*> names;
      for (const Entry& e : entries_)
        if (e.lana == lana && e.registered && names.size() < 64) {
          bool dup = false;
          for (const Entry* o : names) dup = dup || o->name == e.name;
          if (!dup) names.push_back(&e);
        }
      if (!IsWildcard(q.name) && FindRegistered(lana, q.name) == nullptr) return;
      rr.type = wire::kTypeNBSTAT;
      rr.ttl = 0;
      rr.rdata.push_back(static_cast<std::uint8_t>(names.size()));
      for (const Entry* e : names) {
        rr.rdata.insert(rr.rdata.end(), e->name.begin(), e->name.end());
        std::uint16_t flags = static_cast<std::uint16_t>((e->group ? 0x8000 : 0) | 0x0400);
        rr.rdata.push_back(static_cast<std::uint8_t>(flags >> 8));
        rr.rdata.push_back(static_cast<std::uint8_t>(flags));
      }
      rr.rdata.resize(rr.rdata.size() + 46, 0);
    } else {
      Entry* e = FindRegistered(lana, q.name);
      if (e == nullptr) {
        if (p.broadcast) return;
        resp.rcode = wire::kRcodeNameError;
        rr.type = 0x000A;
        rr.ttl = 0;
      } else {
        rr.rdata = wire::NbRdata(e->group ? wire::kNbFlagGroup : 0, ls.cfg.address);
      }
    }
    resp.answers.push_back(rr);
    SendUdp(ls.nsUnicast, srcAddr, srcPort, wire::BuildNsPacket(resp));
    return;
  }
  if (p.opcode == wire::kOpRegistration || p.opcode == wire::kOpRefresh) {
    Entry* e = FindRegistered(lana, q.name);
    if (e == nullptr) return;
    bool requestGroup = false;
    std::uint16_t flags = 0;
    std::uint32_t address = 0;
    if (!p.additional.empty() && wire::ReadNbRdata(p.additional[0].rdata, flags, address))
      requestGroup = (flags & wire::kNbFlagGroup) != 0;
    if (address == ls.cfg.address) return;
    if (e->group && requestGroup) return;
    // Defend the name.
    wire::NsPacket resp = wire::AnswerTo(p, wire::kOpRegistration);
    resp.rcode = wire::kRcodeActiveError;
    wire::NsRecord rr;
    rr.name = q.name;
    rr.rdata = wire::NbRdata(e->group ? wire::kNbFlagGroup : 0, ls.cfg.address);
    resp.answers.push_back(rr);
    SendUdp(ls.nsUnicast, srcAddr, srcPort, wire::BuildNsPacket(resp));
  }
}

void Service::OnDatagramSocket(int lana, int fd) {
  const LanaSockets& ls = lanas_[static_cast<std::size_t>(lana)];
  UdpDatagram in;
  if (!ReceiveUdp(fd, ls.cfg.address, cfg_.datagramPort, in)) return;
  wire::Datagram d;
  if (!wire::ParseDatagram(in.bytes, in.size, d)) return;
  if (d.type == wire::kDgmBroadcast) return;
  Deliver(lana, d, true);
}

void Service::OnAccept(int lana) {
  for (;;) {
    int fd = accept4(lanas_[static_cast<std::size_t>(lana)].tcp, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (fd < 0) return;
    int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);  // messages go out as written
    if (incoming_.size() >= 64) {
      close(fd);
      continue;
    }
    Incoming in;
    in.fd = fd;
    in.lana = lana;
    in.deadline = NowMs() + kSessionRequestWaitMs;
    incoming_.push_back(std::move(in));
  }
}

void Service::OnIncoming(std::size_t index) {
  Incoming& in = incoming_[index];
  std::uint8_t buf[512];
  ssize_t n = recv(in.fd, buf, sizeof buf, MSG_DONTWAIT);
  auto drop = [&]() {
    close(in.fd);
    incoming_.erase(incoming_.begin() + static_cast<std::ptrdiff_t>(index));
  };
  if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) return;
  if (n <= 0) return drop();
  if (in.waiting) return;  // nothing is due from the caller before the answer: ignored
  in.buf.insert(in.buf.end(), buf, buf + n);
  // Keep-alives before the request are skipped.
  while (in.buf.size() >= 4 && in.buf[0] == wire::kSsnKeepAlive) in.buf.erase(in.buf.begin(), in.buf.begin() + 4);
  if (in.buf.size() < 4) return;
  std::uint8_t type = 0;
  std::uint32_t len = 0;
  wire::ReadSessionHeader(in.buf.data(), type, len);
  if (type != wire::kSsnRequest || len > 256) return drop();
  if (in.buf.size() < 4 + len) return;
  if (!wire::ParseSessionRequestBody(in.buf.data() + 4, len, in.called, in.calling)) {
    std::uint8_t r[5];
    wire::PutSessionHeader(wire::kSsnNegative, 1, r);
    r[4] = wire::kSsnErrUnspecified;
    platform::SendAll(in.fd, r, 5);
    return drop();
  }
  if (HandOver(in)) return drop();
  // The name's program listens for it but has none of its LISTENs posted right now: it posts the
  // next one as soon as it has seen one of its sessions end, which may be later than a quick
  // caller's next call. The request waits for it, as a connection waits in a listen queue.
  const Entry* owner = FindRegistered(in.lana, in.called);
  if (owner != nullptr && owner->listened && clients_.count(owner->client) != 0) {
    in.waiting = true;
    in.deadline = NowMs() + kWaitForListenMs;
    return;
  }
  Refuse(in);
  drop();
}

// Gives a complete session request to a matching LISTEN: the positive response goes to the caller
// and the connection to the listening program (which gets a descriptor of its own: this one is
// closed after a true result). True as well when the caller has gone meanwhile (the LISTEN stays
// posted); false when no LISTEN matches (nothing was sent).
bool Service::HandOver(Incoming& in) {
  for (std::size_t i = 0; i < listens_.size(); ++i) {
    const Listen& l = listens_[i];
    if (l.lana != in.lana || l.local != in.called) continue;
    if (!IsWildcard(l.caller) && l.caller != in.calling) continue;
    if (clients_.count(l.client) == 0) continue;
    std::uint8_t ok[4];
    wire::PutSessionHeader(wire::kSsnPositive, 0, ok);
    int flags = fcntl(in.fd, F_GETFL);
    fcntl(in.fd, F_SETFL, flags & ~O_NONBLOCK);
    if (!platform::SendAll(in.fd, ok, 4)) return true;  // the caller has gone: nothing to hand over
    FinishListen(i, NRC_GOODRET, in.calling, in.fd);
    return true;
  }
  return false;
}

// The negative session response for a request nobody listens for.
void Service::Refuse(Incoming& in) {
  std::uint8_t r[5];
  wire::PutSessionHeader(wire::kSsnNegative, 1, r);
  r[4] = FindRegistered(in.lana, in.called) != nullptr ? wire::kSsnErrNotListeningCalled
                                                      : wire::kSsnErrCalledNotPresent;
  platform::SendAll(in.fd, r, 5);
}

}  // namespace

void TellStarter(int readyFd, bool ok, const std::string& why) {
  if (readyFd < 0) return;
  // The status byte, and after a failure its reason, in one write the starter reads whole.
  std::string status(1, ok ? '\0' : '\1');
  if (!ok) status += why.substr(0, 400);
  ssize_t w = write(readyFd, status.data(), status.size());
  (void)w;
  close(readyFd);
}

int RunService(int readyFd, const ServiceOptions& options) {
  Service s(options);
  return s.Run(readyFd);
}

}  // namespace platform::netbios

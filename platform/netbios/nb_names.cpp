// Names (ADD NAME, ADD GROUP NAME, DELETE NAME, keeping a name) and the link to the local service
// that holds the machine's name table: its connection, its reader and one request's answer.
#include "platform/netbios/netbios_internal.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>

#include "platform/ownership.h"
#include "platform/paths.h"

namespace platform::netbios::internal {

std::atomic<int> g_linkFd{-1};

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

namespace {

int ConnectService(const std::string& path, bool machine) {
  sockaddr_un un{};
  un.sun_family = AF_UNIX;
  if (path.size() >= sizeof un.sun_path) return -1;
  // The machine's socket is root's: its folder lets nobody else put one there, and this says so
  // once more for the socket itself.
  struct stat st {};
  if (machine && (lstat(path.c_str(), &st) != 0 || !S_ISSOCK(st.st_mode) || st.st_uid != 0)) return -1;
  std::memcpy(un.sun_path, path.c_str(), path.size() + 1);
  int fd = socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  if (connect(fd, reinterpret_cast<sockaddr*>(&un), sizeof un) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

// What TellMachineServiceMissing said, for the program's window (NbTakeServiceProblem).
std::mutex g_problemMu;
std::string g_problem;

// A program that may not start the machine's service says once why it has no NetBIOS, and how it
// gets it, on its standard error (and to its window, through NbTakeServiceProblem); its commands
// fail with NRC_SYSTEM.
void TellMachineServiceMissing(const State& st, const std::string& why) {
  static std::atomic<bool> told{false};
  if (told.exchange(true)) return;
  const std::string text = "The NetBIOS service of this computer (psa_nbd --machine, socket " + st.serviceDir +
                           "/nbd.sock) " + why +
                           ", so print servers cannot be reached over NetBIOS. An administrator starts it with "
                           "\"systemctl start psadmin-nbd\" (or runs psa_nbd --machine as root).";
  std::fprintf(stderr, "psadmin: %s Programs do not start a NetBIOS service of their own while %s is there.\n",
               text.c_str(), st.serviceDir.c_str());
  std::lock_guard<std::mutex> lk(g_problemMu);
  g_problem = text;
}

// Whether this program may start the service it lacks, after making the machine folder when it
// starts the machine's: only root starts the machine's service, in a folder root alone can change.
bool MayStartService(const State& st) {
  if (!st.machine) return true;
  if (geteuid() != 0) {
    TellMachineServiceMissing(st, "does not answer");
    return false;
  }
  const std::string problem = PrepareMachineFolder(st.serviceDir);
  if (!problem.empty()) {
    std::fprintf(stderr, "psadmin: %s\n", problem.c_str());
    return false;
  }
  return true;
}

}  // namespace

std::shared_ptr<Link> EnsureLink(State& st) {
  {
    std::lock_guard<std::mutex> lk(st.mu);
    if (st.link && !st.link->dead) return st.link;
  }
  const std::string path = JoinPath(st.serviceDir, "nbd.sock");
  int fd = -1;
  Config serviceCfg = st.cfg;
  bool haveServiceCfg = false;
  for (int attempt = 0; attempt < 3 && fd < 0; ++attempt) {
    fd = ConnectService(path, st.machine);
    if (fd < 0) {
      if (!MayStartService(st)) return nullptr;
      int lock = platform::OpenOrCreate(JoinPath(st.serviceDir, "nbd.lock"), O_RDWR | O_NOFOLLOW | O_CLOEXEC, 0600);
      if (lock < 0) return nullptr;
      flock(lock, LOCK_EX);
      fd = ConnectService(path, st.machine);
      if (fd < 0 && StartService(st)) fd = ConnectService(path, st.machine);
      close(lock);
      if (fd < 0) return nullptr;
    }
    // The service answers a greeting (with its LANAs and ports); a service that was just ending
    // closes instead.
    MsgWriter hello(Msg::kHello, 0);
    hello.U32(static_cast<std::uint32_t>(getpid()));
    std::vector<std::uint8_t> reply;
    pollfd p{fd, POLLIN, 0};
    if (!SendMsg(fd, hello.data()) || poll(&p, 1, 15000) <= 0 || RecvMsg(fd, reply, nullptr) <= 0) {
      close(fd);
      fd = -1;
      continue;
    }
    MsgReader rd(reply);
    std::uint8_t type = 0, rc = 0, num = 0;
    std::uint32_t id = 0, address = 0;
    haveServiceCfg = rd.U8(type) && rd.U32(id) && rd.U8(rc) && rd.U8(num) && rd.U32(address) &&
                     ReadServiceSettings(rd, serviceCfg);
  }
  if (fd < 0) return nullptr;
  auto link = std::make_shared<Link>();
  link->fd = fd;
  link->serviceCfg = serviceCfg;
  link->haveServiceCfg = haveServiceCfg;
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

bool OwnsName(State& st, int lana, const Name& name) {
  std::lock_guard<std::mutex> lk(st.mu);
  for (auto& [num, info] : st.names[lana])
    if (info.name == name) return true;
  return false;
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

namespace {

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

}  // namespace

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

}  // namespace platform::netbios::internal

std::string NbTakeServiceProblem() {
  std::lock_guard<std::mutex> lk(platform::netbios::internal::g_problemMu);
  std::string text;
  text.swap(platform::netbios::internal::g_problem);
  return text;
}

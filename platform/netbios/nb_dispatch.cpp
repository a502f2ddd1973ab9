// Netbios() and the other entry points: the state of this process, the command table (Start,
// Finish), and the commands about the adapter as a whole (RESET, ENUM, CANCEL).
#include "platform/netbios/netbios_internal.h"

#include <pthread.h>
#include <sys/socket.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "platform/paths.h"

namespace platform::netbios::internal {

// Replaced in a forked child (the parent's eventfds must not be shared); never destroyed.
std::atomic<CancelFds*> g_cancelFds{new CancelFds()};

std::mutex g_mu;
std::shared_ptr<State> g_state;
std::atomic<bool> g_machineForced{false};

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

namespace {

// The root's variable as it was when the current state was made ("" when unset): while it reads
// the same, every command finds the state without working the root out again.
std::string g_stateRootVar;

}  // namespace

std::shared_ptr<State> CurrentState() {
  static std::once_flag once;
  std::call_once(once, [] { pthread_atfork(nullptr, nullptr, AtForkChild); });
  const char* var = std::getenv(platform::kRootEnvVar);
  if (var != nullptr && var[0] != '\0') {
    std::lock_guard<std::mutex> lk(g_mu);
    if (g_state && g_stateRootVar == var) return g_state;
  }
  std::string root = platform::Root();
  {
    std::lock_guard<std::mutex> lk(g_mu);
    if (g_state && g_state->root == root) {
      g_stateRootVar = var != nullptr ? var : "";
      return g_state;
    }
  }
  // A new state: which service it uses is settled once, here. With the machine's service it
  // connects before anyone can use it, so that its LANAs and ports are the service's.
  auto fresh = std::make_shared<State>();
  fresh->root = root;
  fresh->cfg = LoadConfig();
  const std::string machineFolder = MachineFolder();
  fresh->machine = g_machineForced.load() || MachineFolderProblem(machineFolder).empty();
  fresh->serviceDir = fresh->machine ? machineFolder : ServiceDirectory();
  if (fresh->machine) {
    std::shared_ptr<Link> link = EnsureLink(*fresh);
    if (link && link->haveServiceCfg) fresh->cfg = link->serviceCfg;
  }
  std::shared_ptr<State> old;
  std::shared_ptr<State> st;
  {
    std::lock_guard<std::mutex> lk(g_mu);
    if (!g_state || g_state->root != root) {
      old = g_state;
      g_state = fresh;
      fresh.reset();
    }
    g_stateRootVar = var != nullptr ? var : "";
    st = g_state;
  }
  if (fresh) fresh->Teardown();  // another thread made the state meanwhile
  if (old) old->Teardown();
  return st;
}

bool ValidLana(const State& st, int lana) { return lana >= 0 && static_cast<std::size_t>(lana) < st.cfg.lanas.size(); }

namespace {

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

}  // namespace

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

}  // namespace platform::netbios::internal

namespace platform::netbios {

using namespace internal;

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

void NbUseMachineService() { platform::netbios::internal::g_machineForced = true; }

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

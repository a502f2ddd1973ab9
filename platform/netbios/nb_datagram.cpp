// Datagrams: SEND DATAGRAM, SEND BROADCAST DATAGRAM and RECEIVE DATAGRAM, carried by the local service.
#include "platform/netbios/netbios_internal.h"

#include <poll.h>
#include <sys/eventfd.h>

#include <algorithm>
#include <cstring>
#include <memory>

namespace platform::netbios::internal {

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

}  // namespace platform::netbios::internal

#include "device_client/access/ncb.h"

#include <pthread.h>

#include <atomic>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>

#include "device_client/access/access.h"
#include "device_client/access/access_state.h"
#include "platform/clock.h"

namespace {

std::atomic<unsigned> g_forkGeneration{0};

// The event of this thread's timed session receives: one manual-reset event per thread, reset by
// every submit, so a receive costs no event object of its own. Each receive is waited for to its
// completion (a cancelled one included, and one that completed as its wait ended) before the next
// starts, so no late signal reaches the next receive. A forked child makes its own (its copy would
// share the parent's descriptor).
NbEvent& ReceiveEvent() {
  static std::once_flag once;
  std::call_once(once, [] { pthread_atfork(nullptr, nullptr, [] { g_forkGeneration.fetch_add(1); }); });
  thread_local std::unique_ptr<NbEvent> event;
  thread_local unsigned generation = 0;
  const unsigned now = g_forkGeneration.load();
  if (!event || generation != now) {
    event = std::make_unique<NbEvent>();
    generation = now;
  }
  return *event;
}

}  // namespace

bool GetAvailableName(char (&name)[17], std::uint8_t* nameNumber) {
  LanaNameCache* cache = console_access::NameCacheOf(CurrentLana());
  if (cache == nullptr) return false;  // NetBIOS not started, or a LANA that was not enumerated
  if (cache->name[0] == '\0') {
    const std::string computer = console_access::LocalComputerName();
    NCB ncb;
    char candidate[17];
    if (RegisterLocalName(&ncb, computer.c_str(), wire::kLocalNameSuffixBase, candidate) != NRC_GOODRET)
      return false;
    std::memcpy(cache->name, candidate, 16);
    cache->nameNumber = ncb.ncb_num;
  }
  std::memcpy(name, cache->name, 16);
  name[16] = '\0';
  if (nameNumber != nullptr) *nameNumber = cache->nameNumber;
  return true;
}

int SessionSend(std::uint8_t lsn, const void* buffer, int length, NCB* ncb) {
  if (NCBSend(ncb, lsn, buffer, length) != NRC_GOODRET) return -1;
  return ncb->ncb_length;
}

int SessionReceiveTimed(std::uint8_t lsn, void* buffer, int size, NCB* ncb) {
  return SessionReceiveTimed(lsn, buffer, size, ncb, console_access::Params());
}

int SessionReceiveTimed(std::uint8_t lsn, void* buffer, int size, NCB* ncb,
                        const core::TransportParams& params) {
  NbEvent& event = ReceiveEvent();
  if (event.fd() < 0) return -1;
  if (NCBReceiveAsync(ncb, lsn, buffer, size, &event) != NRC_GOODRET) return -1;
  if (event.Wait(params.netbiosReceiveWaitMs)) {
    return ncb->ncb_retcode == NRC_GOODRET ? ncb->ncb_length : -1;
  }
  // A receive that completed on its own as the wait ended is still signalling its completion
  // (the cancel no longer finds it): that signal is waited for here, or it would reach the next
  // receive, which reuses the event.
  if (NCBCancel(ncb) == NRC_CANOCCR) event.Wait(-1);
  ncb->ncb_retcode = NRC_CMDTMO;
  if (params.pauseAfterReceiveTimeoutMs > 0) {
    platform::GetClock().SleepMs(params.pauseAfterReceiveTimeoutMs);
  }
  return -1;
}

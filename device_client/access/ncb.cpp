#include "device_client/access/ncb.h"

#include <pthread.h>

#include <atomic>
#include <cstring>
#include <memory>
#include <mutex>

#include "device_client/access/access.h"
#include "device_client/access/access_state.h"
#include "platform/clock.h"

namespace {

std::atomic<NcbSubmitter> g_submitter{nullptr};
thread_local std::uint8_t t_currentLana = 0;

void CopyName(std::uint8_t (&field)[16], const char* name) {
  if (name == nullptr) return;
  std::size_t len = strnlen(name, 16);
  std::memcpy(field, name, len);
}

std::uint16_t CappedLength(int length) {
  if (length < 0) return 0;
  return static_cast<std::uint16_t>(length > 0xFFFF ? 0xFFFF : length);
}

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

void SetNcbSubmitter(NcbSubmitter submitter) { g_submitter.store(submitter); }

std::uint8_t SubmitNcb(NCB* ncb) {
  NcbSubmitter s = g_submitter.load();
  return s != nullptr ? s(ncb) : Netbios(ncb);
}

void SetCurrentLana(std::uint8_t lana) { t_currentLana = lana; }
std::uint8_t CurrentLana() { return t_currentLana; }

void ClearNcb(NCB* ncb) {
  std::memset(ncb, 0, sizeof *ncb);
  ncb->ncb_lana_num = t_currentLana;
}

static std::uint8_t NameCommand(NCB* ncb, std::uint8_t command, const char* name) {
  ClearNcb(ncb);
  ncb->ncb_command = command;
  CopyName(ncb->ncb_name, name);
  return SubmitNcb(ncb);
}

std::uint8_t NCBAddName(NCB* ncb, const char* name) { return NameCommand(ncb, NCBADDNAME, name); }
std::uint8_t NCBAddGroupName(NCB* ncb, const char* name) {
  return NameCommand(ncb, NCBADDGRNAME, name);
}
std::uint8_t NCBDeleteName(NCB* ncb, const char* name) { return NameCommand(ncb, NCBDELNAME, name); }

std::uint8_t NCBCall(NCB* ncb, const char* localName, const char* remoteName, std::uint8_t rto,
                     std::uint8_t sto) {
  ClearNcb(ncb);
  ncb->ncb_command = NCBCALL;
  std::memcpy(ncb->ncb_name, localName, 16);
  std::memcpy(ncb->ncb_callname, remoteName, 16);
  ncb->ncb_rto = rto;
  ncb->ncb_sto = sto;
  return SubmitNcb(ncb);
}

std::uint8_t NCBHangUp(NCB* ncb, std::uint8_t lsn) {
  ClearNcb(ncb);
  ncb->ncb_command = NCBHANGUP;
  ncb->ncb_lsn = lsn;
  return SubmitNcb(ncb);
}

std::uint8_t NCBSend(NCB* ncb, std::uint8_t lsn, const void* buffer, int length) {
  ClearNcb(ncb);
  // A message longer than a control block can describe is the caller's error: refused, not cut.
  if (length < 0 || length > 0xFFFF) {
    ncb->ncb_retcode = NRC_BUFLEN;
    return NRC_BUFLEN;
  }
  ncb->ncb_command = NCBSEND;
  ncb->ncb_lsn = lsn;
  ncb->ncb_buffer = static_cast<std::uint8_t*>(const_cast<void*>(buffer));
  ncb->ncb_length = static_cast<std::uint16_t>(length);
  return SubmitNcb(ncb);
}

// A receive into the caller's buffer (its length capped at what a control block describes): a
// session receive names its session in ncb_lsn, a datagram receive its name number in ncb_num.
static std::uint8_t ReceiveCommand(NCB* ncb, std::uint8_t command, std::uint8_t NCB::*numberField,
                                   std::uint8_t number, void* buffer, int length, NbEvent* event) {
  ClearNcb(ncb);
  ncb->ncb_command = command;
  ncb->*numberField = number;
  ncb->ncb_buffer = static_cast<std::uint8_t*>(buffer);
  ncb->ncb_length = CappedLength(length);
  ncb->ncb_event = event;
  return SubmitNcb(ncb);
}

std::uint8_t NCBReceive(NCB* ncb, std::uint8_t lsn, void* buffer, int length) {
  return ReceiveCommand(ncb, NCBRECV, &NCB::ncb_lsn, lsn, buffer, length, nullptr);
}

std::uint8_t NCBReceiveAsync(NCB* ncb, std::uint8_t lsn, void* buffer, int length,
                             NbEvent* event) {
  return ReceiveCommand(ncb, NCBRECV | ASYNCH, &NCB::ncb_lsn, lsn, buffer, length, event);
}

std::uint8_t NCBReset(NCB* ncb, std::uint8_t sessions, std::uint8_t names) {
  ClearNcb(ncb);
  ncb->ncb_command = NCBRESET;
  ncb->ncb_lsn = sessions;
  ncb->ncb_num = names;
  return SubmitNcb(ncb);
}

std::uint8_t SendDataGram(NCB* ncb, std::uint8_t nameNumber, const void* buffer, int length,
                          const char* localName, const char* callName) {
  ClearNcb(ncb);
  ncb->ncb_command = NCBDGSEND;
  ncb->ncb_num = nameNumber;
  ncb->ncb_buffer = static_cast<std::uint8_t*>(const_cast<void*>(buffer));
  ncb->ncb_length = CappedLength(length);
  if (localName != nullptr) std::memcpy(ncb->ncb_name, localName, 16);
  if (callName != nullptr) std::memcpy(ncb->ncb_callname, callName, 16);
  return SubmitNcb(ncb);
}

std::uint8_t NCBDataGramReceive(NCB* ncb, std::uint8_t nameNumber, void* buffer, int length) {
  return ReceiveCommand(ncb, NCBDGRECV, &NCB::ncb_num, nameNumber, buffer, length, nullptr);
}

std::uint8_t NCBASReceive(NCB* ncb, std::uint8_t nameNumber, void* buffer, int length,
                          NbEvent* event) {
  return ReceiveCommand(ncb, NCBDGRECV | ASYNCH, &NCB::ncb_num, nameNumber, buffer, length, event);
}

std::uint8_t NCBCancel(NCB* target) {
  NCB cancel;
  ClearNcb(&cancel);
  cancel.ncb_command = NCBCANCEL;
  cancel.ncb_buffer = reinterpret_cast<std::uint8_t*>(target);
  cancel.ncb_length = 64;
  return SubmitNcb(&cancel);
}

std::uint8_t NCBEnumLana(NCB* ncb, LANA_ENUM* lanas) {
  std::memset(ncb, 0, sizeof *ncb);
  std::memset(lanas, 0, sizeof *lanas);
  ncb->ncb_command = NCBENUM;
  ncb->ncb_buffer = reinterpret_cast<std::uint8_t*>(lanas);
  ncb->ncb_length = sizeof *lanas;
  return SubmitNcb(ncb);
}

bool GetAvailableName(char (&name)[17], std::uint8_t* nameNumber) {
  LanaNameCache* cache = console_access::NameCacheOf(CurrentLana());
  if (cache == nullptr) return false;  // NetBIOS not started, or a LANA that was not enumerated
  if (cache->name[0] == '\0') {
    const std::string computer = console_access::LocalComputerName();
    NCB ncb;
    bool registered = false;
    for (int n = 0; n < 64 && !registered; ++n) {
      char candidate[17];
      core::FormatLocalName(computer.c_str(), n, candidate);
      if (NCBAddName(&ncb, candidate) == NRC_GOODRET) {
        std::memcpy(cache->name, candidate, 16);
        cache->nameNumber = ncb.ncb_num;
        registered = true;
      }
    }
    if (!registered) return false;
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

#include "device_client/core/ncb/ncb.h"

#include <atomic>
#include <cstring>

namespace {

std::atomic<NcbSubmitter> g_submitter{nullptr};
// Initial-exec: the print monitor, loaded with dlopen, carries these objects, and a slot in the
// static TLS block spares every thread a dynamically allocated one.
__attribute__((tls_model("initial-exec"))) thread_local std::uint8_t t_currentLana = 0;

void CopyName(std::uint8_t (&field)[16], const char* name) {
  if (name == nullptr) return;
  std::size_t len = strnlen(name, 16);
  std::memcpy(field, name, len);
}

std::uint16_t CappedLength(int length) {
  if (length < 0) return 0;
  return static_cast<std::uint16_t>(length > 0xFFFF ? 0xFFFF : length);
}

std::uint8_t NameCommand(NCB* ncb, std::uint8_t command, const char* name, NcbSubmitter submit) {
  ClearNcb(ncb);
  ncb->ncb_command = command;
  CopyName(ncb->ncb_name, name);
  return submit != nullptr ? submit(ncb) : SubmitNcb(ncb);
}

// A receive into the caller's buffer (its length capped at what a control block describes): a
// session receive names its session in ncb_lsn, a datagram receive its name number in ncb_num.
std::uint8_t ReceiveCommand(NCB* ncb, std::uint8_t command, std::uint8_t NCB::*numberField,
                            std::uint8_t number, void* buffer, int length, NbEvent* event) {
  ClearNcb(ncb);
  ncb->ncb_command = command;
  ncb->*numberField = number;
  ncb->ncb_buffer = static_cast<std::uint8_t*>(buffer);
  ncb->ncb_length = CappedLength(length);
  ncb->ncb_event = event;
  return SubmitNcb(ncb);
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

std::uint8_t NCBAddName(NCB* ncb, const char* name, NcbSubmitter submit) {
  return NameCommand(ncb, NCBADDNAME, name, submit);
}
std::uint8_t NCBAddGroupName(NCB* ncb, const char* name) {
  return NameCommand(ncb, NCBADDGRNAME, name, nullptr);
}
std::uint8_t NCBDeleteName(NCB* ncb, const char* name) {
  return NameCommand(ncb, NCBDELNAME, name, nullptr);
}

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

std::uint8_t NCBSend(NCB* ncb, std::uint8_t lsn, const void* buffer, std::size_t length) {
  ClearNcb(ncb);
  // A message longer than a control block can describe is the caller's error: refused, not cut.
  if (length > 0xFFFF) {
    ncb->ncb_retcode = NRC_BUFLEN;
    return NRC_BUFLEN;
  }
  ncb->ncb_command = NCBSEND;
  ncb->ncb_lsn = lsn;
  ncb->ncb_buffer = static_cast<std::uint8_t*>(const_cast<void*>(buffer));
  ncb->ncb_length = static_cast<std::uint16_t>(length);
  return SubmitNcb(ncb);
}

std::uint8_t NCBChainSend(NCB* ncb, std::uint8_t lsn, const void* head, std::size_t headLength,
                          const void* body, std::size_t bodyLength) {
  ClearNcb(ncb);
  if (headLength > 0xFFFF || bodyLength > 0xFFFF) {
    ncb->ncb_retcode = NRC_BUFLEN;
    return NRC_BUFLEN;
  }
  ncb->ncb_command = NCBCHAINSEND;
  ncb->ncb_lsn = lsn;
  ncb->ncb_buffer = static_cast<std::uint8_t*>(const_cast<void*>(head));
  ncb->ncb_length = static_cast<std::uint16_t>(headLength);
  NcbSetChainBuffer(ncb, body, static_cast<WORD>(bodyLength));
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

std::uint8_t RegisterLocalName(NCB* ncb, const char* computerName, std::uint8_t suffixBase,
                               char (&name)[17], NcbSubmitter submit, bool stopWhenServiceDown) {
  std::uint8_t rc = NRC_NORES;
  for (int n = 0; n < 64; ++n) {
    core::FormatLocalName(computerName, n, name, suffixBase);
    rc = NCBAddName(ncb, name, submit);
    if (rc == NRC_GOODRET) return rc;
    if (rc == NRC_SYSTEM && stopWhenServiceDown) return rc;
  }
  return rc;
}

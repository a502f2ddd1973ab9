// The NetBIOS control-block wrappers of the device libraries, the scanner and the print monitor:
// one small function per command. Every wrapper but NCBEnumLana and NCBCancel clears the block
// first (ClearNcb: zeroed, LANA set to the calling thread's current LANA) and returns the result
// byte of the submission (0 = success; for an asynchronous command 0 means it was started).
//
// The control block, its command and return codes and its completion event (NbEvent, waited for
// with NbEvent::Wait / NbWaitAny on the platform clock) are those of the platform's NetBIOS
// interface. Commands go to Netbios() unless a test installs another submitter (SetNcbSubmitter);
// a name command can also be given a submitter of its own (the print monitor adds its local names
// with NbAddKeptName).
//
// Without Qt and without the platform library linked in: the print monitor (a shared library whose
// platform services come from the program that loads it) builds these objects into itself, hidden,
// and the current LANA is initial-exec thread-local storage, which a library loaded with dlopen
// may use.
#pragma once
#include <cstddef>
#include <cstdint>

#include "device_client/core/ncb/names.h"
#include "platform/netbios/netbios.h"

// The function that carries a control block to the NetBIOS transport; returns its result byte
// (and sets ncb_retcode; an asynchronous command sets NRC_PENDING until it completes, then the
// final code, and sets ncb_event).
using NcbSubmitter = std::uint8_t (*)(NCB* ncb);
// Installs the transport (nullptr restores Netbios()).
void SetNcbSubmitter(NcbSubmitter submitter);
std::uint8_t SubmitNcb(NCB* ncb);

// The calling thread's current LANA.
void SetCurrentLana(std::uint8_t lana);
std::uint8_t CurrentLana();

void ClearNcb(NCB* ncb);

// `submit` (when given) carries the block instead of the installed submitter.
std::uint8_t NCBAddName(NCB* ncb, const char* name, NcbSubmitter submit = nullptr);
std::uint8_t NCBAddGroupName(NCB* ncb, const char* name);
std::uint8_t NCBDeleteName(NCB* ncb, const char* name);
// Local name and remote name are 16 bytes each; time-outs in 500 ms units.
std::uint8_t NCBCall(NCB* ncb, const char* localName, const char* remoteName, std::uint8_t rto,
                     std::uint8_t sto);
std::uint8_t NCBHangUp(NCB* ncb, std::uint8_t lsn);
// A length above 0xFFFF (or a negative one converted) is refused with NRC_BUFLEN without
// submitting anything.
std::uint8_t NCBSend(NCB* ncb, std::uint8_t lsn, const void* buffer, std::size_t length);
// CHAIN SEND: `head` and then `body` as one message, without joining them first. Either length
// above 0xFFFF is refused with NRC_BUFLEN without submitting anything.
std::uint8_t NCBChainSend(NCB* ncb, std::uint8_t lsn, const void* head, std::size_t headLength,
                          const void* body, std::size_t bodyLength);
std::uint8_t NCBReceive(NCB* ncb, std::uint8_t lsn, void* buffer, int length);  // capped 0..0xFFFF
std::uint8_t NCBReceiveAsync(NCB* ncb, std::uint8_t lsn, void* buffer, int length,
                             NbEvent* event);  // capped 0..0xFFFF
std::uint8_t NCBReset(NCB* ncb, std::uint8_t sessions, std::uint8_t names);
// localName / callName (16 bytes each) are set only when given.
std::uint8_t SendDataGram(NCB* ncb, std::uint8_t nameNumber, const void* buffer, int length,
                          const char* localName, const char* callName);
std::uint8_t NCBDataGramReceive(NCB* ncb, std::uint8_t nameNumber, void* buffer, int length);
std::uint8_t NCBASReceive(NCB* ncb, std::uint8_t nameNumber, void* buffer, int length,
                          NbEvent* event);
// Cancels `target` with a block of its own on the current LANA.
std::uint8_t NCBCancel(NCB* target);
std::uint8_t NCBEnumLana(NCB* ncb, LANA_ENUM* lanas);

// Registers a local name of this computer on the current LANA: the candidates 0..63 of
// core::FormatLocalName (with `suffixBase`) in turn until one is taken. NRC_GOODRET with the name
// (and NUL) in `name` and its number in ncb->ncb_num; else the last candidate's result, or at once
// the first NRC_SYSTEM when `stopWhenServiceDown` (no service to hold a name: another would fare
// no better). `submit` as for NCBAddName.
std::uint8_t RegisterLocalName(NCB* ncb, const char* computerName, std::uint8_t suffixBase,
                               char (&name)[17], NcbSubmitter submit = nullptr,
                               bool stopWhenServiceDown = false);

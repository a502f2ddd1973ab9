// NetBIOS network control blocks and one small wrapper per command. Every wrapper but
// NCBEnumLana and NCBCancel clears the block first (ClearNcb: zeroed, LANA set to the calling
// thread's current LANA) and returns the result byte of the submission (0 = success; for an
// asynchronous command 0 means it was started).
//
// Commands are submitted through one replaceable function (SetNcbSubmitter). Until a NetBIOS
// transport is installed, the built-in submitter answers every command with NRC_SYSTEM, so LANA
// enumeration fails and NetBIOS stays unusable.
#pragma once
#include <cstdint>

#include "device_client/core/transport/transport.h"

class NcbEvent;

// A network control block (the fields of the Windows form; pointers at native size).
struct NCB {
  std::uint8_t ncb_command;
  std::uint8_t ncb_retcode;
  std::uint8_t ncb_lsn;
  std::uint8_t ncb_num;
  std::uint8_t* ncb_buffer;
  std::uint16_t ncb_length;
  std::uint8_t ncb_callname[16];
  std::uint8_t ncb_name[16];
  std::uint8_t ncb_rto;
  std::uint8_t ncb_sto;
  void (*ncb_post)(NCB*);
  std::uint8_t ncb_lana_num;
  std::uint8_t ncb_cmd_cplt;
  std::uint8_t ncb_reserve[10];
  NcbEvent* ncb_event;  // signalled when an asynchronous command completes (nullptr: none)
};

// Command codes.
constexpr std::uint8_t NCBCALL = 0x10;
constexpr std::uint8_t NCBHANGUP = 0x12;
constexpr std::uint8_t NCBSEND = 0x14;
constexpr std::uint8_t NCBRECV = 0x15;
constexpr std::uint8_t NCBDGSEND = 0x20;
constexpr std::uint8_t NCBDGRECV = 0x21;
constexpr std::uint8_t NCBADDNAME = 0x30;
constexpr std::uint8_t NCBDELNAME = 0x31;
constexpr std::uint8_t NCBRESET = 0x32;
constexpr std::uint8_t NCBCANCEL = 0x35;
constexpr std::uint8_t NCBADDGRNAME = 0x36;
constexpr std::uint8_t NCBENUM = 0x37;
constexpr std::uint8_t ASYNCH = 0x80;

// Result codes used by the library.
constexpr std::uint8_t NRC_GOODRET = 0x00;
constexpr std::uint8_t NRC_BUFLEN = 0x01;
constexpr std::uint8_t NRC_CMDTMO = 0x05;
constexpr std::uint8_t NRC_INCOMP = 0x06;
constexpr std::uint8_t NRC_SYSTEM = 0x40;
constexpr std::uint8_t NRC_PENDING = 0xFF;

constexpr int MAX_LANA = 254;
// The LANA list: count, then the LANA numbers.
struct LANA_ENUM {
  std::uint8_t length;
  std::uint8_t lana[MAX_LANA + 1];
};
static_assert(sizeof(LANA_ENUM) == 256);

// A manual-reset event for asynchronous commands; Wait goes through platform::WaitReadable, so a
// test's FakeClock governs it.
class NcbEvent {
 public:
  NcbEvent();
  ~NcbEvent();
  NcbEvent(const NcbEvent&) = delete;
  NcbEvent& operator=(const NcbEvent&) = delete;
  bool Valid() const { return fd_ >= 0; }
  void Signal();
  // 1 signalled, 0 timed out, -1 failure.
  int Wait(std::int64_t ms);
  // Back to not signalled.
  void Reset();
  // Waits at most `ms` (platform clock) until one of `count` events is signalled: the index of a
  // signalled one, -1 timed out, -2 failure.
  static int WaitAny(NcbEvent* const* events, int count, std::int64_t ms);

 private:
  int fd_;
};

// The function that carries a control block to the NetBIOS transport; returns its result byte
// (and sets ncb_retcode; an asynchronous command sets NRC_PENDING until it completes, then the
// final code, and signals ncb_event).
using NcbSubmitter = std::uint8_t (*)(NCB* ncb);
// Installs the transport (nullptr restores the built-in one that answers NRC_SYSTEM).
void SetNcbSubmitter(NcbSubmitter submitter);
std::uint8_t SubmitNcb(NCB* ncb);

// The calling thread's current LANA.
void SetCurrentLana(std::uint8_t lana);
std::uint8_t CurrentLana();

void ClearNcb(NCB* ncb);

std::uint8_t NCBAddName(NCB* ncb, const char* name);
std::uint8_t NCBAddGroupName(NCB* ncb, const char* name);
std::uint8_t NCBDeleteName(NCB* ncb, const char* name);
// Local name and remote name are 16 bytes each; time-outs in 500 ms units.
std::uint8_t NCBCall(NCB* ncb, const char* localName, const char* remoteName, std::uint8_t rto,
                     std::uint8_t sto);
std::uint8_t NCBHangUp(NCB* ncb, std::uint8_t lsn);
// A length above 0xFFFF is refused with NRC_BUFLEN without submitting anything.
std::uint8_t NCBSend(NCB* ncb, std::uint8_t lsn, const void* buffer, int length);
std::uint8_t NCBReceive(NCB* ncb, std::uint8_t lsn, void* buffer, int length);  // capped 0xFFFF
std::uint8_t NCBReceiveAsync(NCB* ncb, std::uint8_t lsn, void* buffer, int length,
                             NcbEvent* event);  // capped 0xFFFF
std::uint8_t NCBReset(NCB* ncb, std::uint8_t sessions, std::uint8_t names);
// localName / callName (16 bytes each) are set only when given.
std::uint8_t SendDataGram(NCB* ncb, std::uint8_t nameNumber, const void* buffer, int length,
                          const char* localName, const char* callName);
std::uint8_t NCBDataGramReceive(NCB* ncb, std::uint8_t nameNumber, void* buffer, int length);
std::uint8_t NCBASReceive(NCB* ncb, std::uint8_t nameNumber, void* buffer, int length,
                          NcbEvent* event);
// Cancels `target` with a block of its own on the current LANA.
std::uint8_t NCBCancel(NCB* target);
std::uint8_t NCBEnumLana(NCB* ncb, LANA_ENUM* lanas);

// A local NetBIOS name of the current LANA (registered on first use, then cached for the process):
// true with the 16-byte name (and NUL) and its name number; false when the LANA has no name cache
// (NetBIOS not started, LANA not enumerated) or all 64 candidates were refused.
bool GetAvailableName(char (&name)[17], std::uint8_t* nameNumber);

// Sends `length` bytes on a session: bytes sent or -1.
int SessionSend(std::uint8_t lsn, const void* buffer, int length, NCB* ncb);
// Receives one message of at most `size` bytes, waiting at most the library's NetBIOS receive wait
// (the receive is cancelled on time-out, then the pause after a time-out follows): bytes received
// or -1. A message that does not fit (NRC_INCOMP) is -1 as well.
int SessionReceiveTimed(std::uint8_t lsn, void* buffer, int size, NCB* ncb);
// The same with another library's waits.
int SessionReceiveTimed(std::uint8_t lsn, void* buffer, int size, NCB* ncb,
                        const core::TransportParams& params);

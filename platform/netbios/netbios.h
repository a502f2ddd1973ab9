// The NetBIOS programming interface of the suite: network control blocks (NCB) submitted through
// Netbios(), with the field names, command codes and return codes of the Windows interface, carried
// by NetBIOS over TCP/IP as a broadcast node (name service on UDP 137, datagrams on UDP 138,
// sessions on TCP 139).
//
// One name table per machine: a small local service program, psa_nbd, owns the UDP ports (and the
// session port for LISTEN), registers and defends the names of all programs and hands datagrams and
// incoming sessions to the program that owns the name. The machine's service (psa_nbd --machine,
// run as root, socket nbd.sock in $PSADMIN_NBD_MACHINE, else /run/psadmin) serves every user's
// programs whenever that folder is there and root's alone (see NbUseMachineService below). Without
// it, the first command that needs a service starts one for the program's root (the program file is
// $PSADMIN_NBD, else "psa_nbd" beside the running program); it listens on the
// unix socket <root>/netbios/nbd.sock and ends by itself when no program has used it for a short
// while (IdleExitMs). Its process id is in <root>/netbios/nbd.pid, which it keeps locked (flock)
// while it runs; its messages go to <root>/netbios/nbd.log. A program's names die with its connection to the service (also when it is killed).
// CALL resolves the called name with a broadcast name query from the program itself and connects
// straight to the session port of the answering address. The address is remembered in the
// program's remote name cache for RemoteCacheTimeoutMs, so the next CALL of the name connects
// without a query; when a CALL to a remembered address fails (refused, a negative session response,
// no answer in time) the entry is dropped at once and the name is queried anew, once, before the
// CALL fails. A node that moved to another address is found again that way.
//
// Configuration: file <root>/windows/netbios.ini, section [NetBIOS]; environment variables override.
//   Lana0Address=192.168.1.10      interface address of LANA 0 (Lana1Address, ... for more LANAs)
//   Lana0Broadcast=192.168.1.255   its broadcast address (default: the interface's, or the /8, /16
//                                  or /24 broadcast derived from the address when it is no interface)
//   NameServicePort=137  DatagramPort=138  SessionPort=139
//   QueryTimeoutMs=750   QueryRetries=3           broadcast name queries (CALL, datagram sends)
//   RegistrationTimeoutMs=250  RegistrationRetries=3   broadcast name registration (ADD NAME)
//   CallTimeoutMs=10000  connect plus session request/response of a CALL
//   RemoteCacheTimeoutMs=600000   lifetime of a resolved remote name in the program's cache (on
//                        the platform clock); 0 turns the cache off (every CALL queries)
//   IdleExitMs=3000      how long the service stays after its last program went away (and its
//                        last kept name was released)
//   NameLingerMs=30000   how long a name kept with NbKeepName outlives its program; 0: not kept
//   PSADMIN_NB_LANAS="addr[/bcast],addr[/bcast],..."   replaces the LanaN keys
//   PSADMIN_NB_NAME_PORT, PSADMIN_NB_DATAGRAM_PORT, PSADMIN_NB_SESSION_PORT   replace the ports
// With no LANA configured, every IPv4 interface that is up, has a broadcast address and is not the
// loopback becomes a LANA (in interface order); with none of those, 127.0.0.1 / 127.255.255.255.
//
// Behaviour worth knowing: message boundaries are kept; a session message longer than the RECEIVE
// buffer completes with NRC_INCOMP and the next RECEIVE delivers the rest; a datagram longer than the
// buffer completes with NRC_INCOMP and the rest is lost. ncb_rto / ncb_sto are in 500 ms units
// (0 = no time-out) and run on platform::GetClock(). Every wait counts from its start, whatever the
// peer sends meanwhile: a RECEIVE's time-out from when it began to wait (KEEP ALIVEs are read past
// and do not extend it); a message, once begun, has 30 s from its first byte to come whole (header
// and data), else the session is aborted (NRC_SABORT); a CALL's session set-up ends within
// CallTimeoutMs, keep-alives or a response that comes byte by byte notwithstanding. An asynchronous
// command (ASYNCH bit) returns NRC_GOODRET at once with ncb_cmd_cplt = NRC_PENDING; on completion
// ncb_retcode and ncb_cmd_cplt get the result, then ncb_event is set and ncb_post is called (when
// given). NCBCANCEL (ncb_buffer = the
// pending NCB) returns once the cancelled command has completed with NRC_CMDCAN, which every wait
// of a command notices at once; a RECEIVE cancelled in the middle of a message aborts its session
// (the rest of the message cannot be told from the next one).
#pragma once
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

#include "platform/win_types.h"

using UCHAR = unsigned char;

// The completion event of an NCB: a Win32-style event object of this process (manual-reset by
// default), waitable through the platform clock.
class NbEvent {
 public:
  explicit NbEvent(bool manualReset = true, bool initiallySet = false);
  ~NbEvent();
  NbEvent(const NbEvent&) = delete;
  NbEvent& operator=(const NbEvent&) = delete;
  void Set();
  void Reset();
  bool IsSet() const;
  // Waits until the event is set: true when set, false after `ms` (of the platform clock) passed.
  // A negative `ms` waits without limit. An auto-reset event is reset by a successful wait.
  bool Wait(std::int64_t ms);
  int fd() const { return fd_; }
  bool manualReset() const { return manual_; }
  // For a waiter that polls fd(): a manual-reset event signals its descriptor only while such a
  // waiter is registered (a set and a reset without one cost no system call). BeginPoll registers
  // one, or returns false when the event is set already; EndPoll ends a registration.
  bool BeginPoll();
  void EndPoll();

 private:
  int fd_;
  bool manual_;
  std::atomic<bool> everSet_;  // of an auto-reset event: false when it was never set
  // Of a manual-reset event, under mu_: set and not reset since; the descriptor is signalled
  // (only ever while set_); waiters polling the descriptor.
  mutable std::mutex mu_;
  bool set_ = false;
  bool fdSet_ = false;
  int pollers_ = 0;
};
using NbEventHandle = NbEvent*;

// Waits for any of `count` events: the index of the first set one, or -1 after `ms` (negative: no
// limit). An auto-reset event that is returned is reset.
int NbWaitAny(NbEvent* const* events, int count, std::int64_t ms);

constexpr int NCBNAMSZ = 16;
constexpr int MAX_LANA = 254;

struct NCB {
  UCHAR ncb_command;
  UCHAR ncb_retcode;
  UCHAR ncb_lsn;
  UCHAR ncb_num;
  unsigned char* ncb_buffer;
  WORD ncb_length;
  UCHAR ncb_callname[NCBNAMSZ];
  UCHAR ncb_name[NCBNAMSZ];
  UCHAR ncb_rto;
  UCHAR ncb_sto;
  void (*ncb_post)(NCB*);
  UCHAR ncb_lana_num;
  UCHAR ncb_cmd_cplt;
  UCHAR ncb_reserve[18];
  NbEventHandle ncb_event;
};
using PNCB = NCB*;

struct LANA_ENUM {
  UCHAR length;
  UCHAR lana[MAX_LANA + 1];
};

// Commands.
constexpr UCHAR NCBCALL = 0x10;
constexpr UCHAR NCBLISTEN = 0x11;
constexpr UCHAR NCBHANGUP = 0x12;
constexpr UCHAR NCBSEND = 0x14;
constexpr UCHAR NCBRECV = 0x15;
constexpr UCHAR NCBCHAINSEND = 0x17;
constexpr UCHAR NCBDGSEND = 0x20;
constexpr UCHAR NCBDGRECV = 0x21;
constexpr UCHAR NCBADDNAME = 0x30;
constexpr UCHAR NCBDELNAME = 0x31;
constexpr UCHAR NCBRESET = 0x32;
constexpr UCHAR NCBASTAT = 0x33;
constexpr UCHAR NCBCANCEL = 0x35;
constexpr UCHAR NCBADDGRNAME = 0x36;
constexpr UCHAR NCBENUM = 0x37;
constexpr UCHAR ASYNCH = 0x80;

// Return codes.
constexpr UCHAR NRC_GOODRET = 0x00;
constexpr UCHAR NRC_BUFLEN = 0x01;
constexpr UCHAR NRC_ILLCMD = 0x03;
constexpr UCHAR NRC_CMDTMO = 0x05;
constexpr UCHAR NRC_INCOMP = 0x06;
constexpr UCHAR NRC_BADDR = 0x07;
constexpr UCHAR NRC_SNUMOUT = 0x08;
constexpr UCHAR NRC_NORES = 0x09;
constexpr UCHAR NRC_SCLOSED = 0x0A;
constexpr UCHAR NRC_CMDCAN = 0x0B;
constexpr UCHAR NRC_DUPNAME = 0x0D;
constexpr UCHAR NRC_NAMTFUL = 0x0E;
constexpr UCHAR NRC_ACTSES = 0x0F;
constexpr UCHAR NRC_LOCTFUL = 0x11;
constexpr UCHAR NRC_REMTFUL = 0x12;
constexpr UCHAR NRC_ILLNN = 0x13;
constexpr UCHAR NRC_NOCALL = 0x14;
constexpr UCHAR NRC_NOWILD = 0x15;
constexpr UCHAR NRC_INUSE = 0x16;
constexpr UCHAR NRC_NAMERR = 0x17;
constexpr UCHAR NRC_SABORT = 0x18;
constexpr UCHAR NRC_NAMCONF = 0x19;
constexpr UCHAR NRC_IFBUSY = 0x21;
constexpr UCHAR NRC_TOOMANY = 0x22;
constexpr UCHAR NRC_BRIDGE = 0x23;
constexpr UCHAR NRC_CANOCCR = 0x24;
constexpr UCHAR NRC_CANCEL = 0x26;
constexpr UCHAR NRC_DUPENV = 0x30;
constexpr UCHAR NRC_ENVNOTDEF = 0x34;
constexpr UCHAR NRC_OSRESNOTAV = 0x35;
constexpr UCHAR NRC_MAXAPPS = 0x36;
constexpr UCHAR NRC_NOSAPS = 0x37;
constexpr UCHAR NRC_NORESOURCES = 0x38;
constexpr UCHAR NRC_INVADDRESS = 0x39;
constexpr UCHAR NRC_INVDDID = 0x3B;
constexpr UCHAR NRC_LOCKFAIL = 0x3C;
constexpr UCHAR NRC_OPENERR = 0x3F;
constexpr UCHAR NRC_SYSTEM = 0x40;
constexpr UCHAR NRC_PENDING = 0xFF;

// Submits one control block. Returns the command's return code (for an asynchronous command that
// was accepted: NRC_GOODRET). Never throws.
//   NCBENUM      ncb_buffer -> LANA_ENUM, ncb_length >= 2
//   NCBRESET     drops this program's names, sessions and pending commands on ncb_lana_num
//   NCBADDNAME / NCBADDGRNAME   ncb_name (16 bytes); out: ncb_num
//   NCBDELNAME   ncb_name
//   NCBCALL      ncb_name (one of our names), ncb_callname, ncb_rto, ncb_sto; out: ncb_lsn
//   NCBLISTEN    ncb_name, ncb_callname ("*" = any caller), ncb_rto, ncb_sto; out: ncb_lsn and the
//                caller's name in ncb_callname
//   NCBSEND      ncb_lsn, ncb_buffer, ncb_length          NCBRECV  ncb_lsn, ncb_buffer, ncb_length
//   NCBCHAINSEND ncb_lsn, ncb_buffer, ncb_length, and a second buffer sent behind the first as one
//                message: its length in ncb_callname bytes 0-1 (low byte first), its address in
//                bytes 2-9 (NcbSetChainBuffer fills them)
//   NCBHANGUP    ncb_lsn
//   NCBDGSEND    ncb_num (our name), ncb_callname, ncb_buffer, ncb_length (at most 512)
//   NCBDGRECV    ncb_num (our name, 0xFF = any of ours); out: ncb_callname = sender, ncb_length
//   NCBCANCEL    ncb_buffer = the NCB to cancel
UCHAR Netbios(NCB* ncb);

// The second buffer of an NCBCHAINSEND block, written into and read from ncb_callname.
void NcbSetChainBuffer(NCB* ncb, const void* buffer, WORD length);
void NcbGetChainBuffer(const NCB* ncb, const unsigned char** buffer, WORD* length);

// Asks the machine's name table to keep one of this program's unique names (added with NCBADDNAME
// on `lana`) registered for NameLingerMs after the program goes away, as the name of a long-running
// service outlives each job. Meanwhile the name is answered and defended on the wire; an ADD NAME of
// it by a program of the same user takes it over at once, without a new registration, and a program
// of another user is refused (NRC_DUPNAME). After the linger time the name is released. DELETE NAME
// and RESET still drop it at once. Returns NRC_GOODRET, NRC_NOWILD (not a name of this program),
// NRC_ILLCMD (a group name) or NRC_BRIDGE (no such LANA).
UCHAR NbKeepName(UCHAR lana, const UCHAR* name);

// A synchronous NCBADDNAME (ncb_command must be exactly that, else NRC_ILLCMD) that asks, in the
// same request to the name table, that the name be kept as NbKeepName does once it is added (the
// answer is the ADD NAME's: ncb_num and the return code; a name taken over from the same user's
// earlier program stays kept). One exchange with the table instead of two.
UCHAR NbAddKeptName(NCB* ncb);

// Whether this program has names or sessions on `lana` now. A module that comes into a program
// which already uses NetBIOS (a print monitor loaded by the program that adds its ports) asks it
// before it resets the LANA: a RESET drops the names and sessions of the whole program.
bool NbLanaInUse(UCHAR lana);

// Makes this program use only the machine's NetBIOS service (psa_nbd --machine in
// $PSADMIN_NBD_MACHINE, else /run/psadmin), never one of its own root. For programs run as root for
// the whole machine (the print backend, the spooler stand-in): they make the machine folder and start
// the machine's service themselves when it does not run. Other programs use the machine's service
// whenever its folder is there and root's alone (and start none of their own then), else a service
// of their own root. Call it before the first Netbios().
void NbUseMachineService();

// Why this program has no NetBIOS when that is because the machine's service does not answer and
// the program may not start it (with how an administrator starts it), the first time that happened;
// "" otherwise, and on later calls. The same text went to standard error; a program with windows
// shows it to its user once its NetBIOS is started.
std::string NbTakeServiceProblem();

// Pieces shared by the NetBIOS library and its local service program: the configuration, the
// messages between them over the unix socket, and small socket helpers.
#pragma once
#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

#include "platform/netbios/nb_wire.h"

namespace platform::netbios {

struct LanaConfig {
  std::uint32_t address = 0;    // host order
  std::uint32_t broadcast = 0;  // host order
};

struct Config {
  std::vector<LanaConfig> lanas;
  std::uint16_t nameServicePort = 137;
  std::uint16_t datagramPort = 138;
  std::uint16_t sessionPort = 139;
  int queryTimeoutMs = 750;
  int queryRetries = 3;
  int registrationTimeoutMs = 250;
  int registrationRetries = 3;
  int callTimeoutMs = 10000;
  int remoteCacheTimeoutMs = 600000;  // how long a resolved remote name is kept; 0: not kept
  int idleExitMs = 3000;
  // How long a name whose program asked to keep it (NbKeepName) stays registered after the program
  // went away, for the next program of the same user; 0: names die with their program.
  int nameLingerMs = 30000;
};

// Reads <root>/windows/netbios.ini and the environment (see netbios.h).
Config LoadConfig();

std::string ServiceDirectory();  // <root>/netbios, created on demand

// The folder of the machine's service (psa_nbd --machine), shared by every user of this machine:
// $PSADMIN_NBD_MACHINE, else /run/psadmin.
std::string MachineFolder();
// Why `folder` cannot be trusted as the machine service's, or "" when it can: it exists, is no
// symbolic link, belongs to root, and nobody but root can change it or a folder on the way to it.
// A folder that another user could have made is never used.
std::string MachineFolderProblem(const std::string& folder);
// Makes the machine folder when it is missing (root's, 0755: every user reaches the socket in it,
// nobody but root puts anything there), as root; "" when it can be used then, else why not.
std::string PrepareMachineFolder(const std::string& folder);

std::string AddressText(std::uint32_t hostOrder);
bool ParseAddress(const std::string& text, std::uint32_t& hostOrder);

// Who else may bind a UDP socket to the same address and port.
enum class UdpSharing {
  kAnyone,     // SO_REUSEADDR: any program of any user (an emulated box's own address)
  kSameUser,   // SO_REUSEPORT alone: only sockets of the same user, each hearing every broadcast
  kExclusive,  // nobody: a second bind fails with EADDRINUSE
};
// A UDP socket bound to address:port (SO_BROADCAST, close-on-exec); -1 on failure with errno set.
int OpenUdp(std::uint32_t address, std::uint16_t port, UdpSharing sharing = UdpSharing::kAnyone);
bool SendUdp(int fd, std::uint32_t address, std::uint16_t port, const std::vector<std::uint8_t>& data);

// One datagram as received on a UDP socket, with its sender.
struct UdpDatagram {
  std::uint8_t bytes[1500];
  std::size_t size = 0;
  std::uint32_t address = 0;  // host order
  std::uint16_t port = 0;
};
// Takes the next datagram waiting on `fd` without blocking. False when none is waiting, it is empty,
// or it is this node's own, sent from ownAddress:ownPort (a broadcast of ours heard back).
bool ReceiveUdp(int fd, std::uint32_t ownAddress, std::uint16_t ownPort, UdpDatagram& out);

// Messages over the unix socket (SOCK_SEQPACKET: one message per send). Each starts with a type
// byte and a 32-bit request id chosen by the program.
enum class Msg : std::uint8_t {
  kHello = 1,        // program -> service: pid (not used: the socket tells who it is)
  kAddName = 2,      // lana, group flag, name[, keep flag]    -> kResult (rc, num)
  kDeleteName = 3,   // lana, name                             -> kResult
  kReset = 4,        // lana                                   -> kResult
  kDgSend = 5,       // lana, num, destination name, data      -> kResult
  kListen = 6,       // lana, local name, caller name          -> kListenDone (+fd)
  kUnlisten = 7,     // the listen's request id
  kLookup = 8,       // lana, name                             -> kResult (rc, address)
  kKeepName = 9,     // lana, name                             -> kResult
                     // (kHello's kResult carries the service's settings after its address:
                     // ServiceSettings below)
  kResult = 64,      // rc, num, address
  kDatagram = 65,    // lana, num, source name, data
  kListenDone = 66,  // rc, caller name; the session socket rides along on success
};

class MsgWriter {
 public:
  MsgWriter(Msg type, std::uint32_t id);
  MsgWriter& U8(std::uint8_t v);
  MsgWriter& U16(std::uint16_t v);
  MsgWriter& U32(std::uint32_t v);
  MsgWriter& NameField(const wire::Name& name);
  MsgWriter& Bytes(const std::uint8_t* p, std::size_t n);
  const std::vector<std::uint8_t>& data() const { return buf_; }

 private:
  std::vector<std::uint8_t> buf_;
};

class MsgReader {
 public:
  explicit MsgReader(const std::vector<std::uint8_t>& buf) : buf_(buf) {}
  bool U8(std::uint8_t& v);
  bool U16(std::uint16_t& v);
  bool U32(std::uint32_t& v);
  bool NameField(wire::Name& name);
  // The rest of the message.
  std::vector<std::uint8_t> Rest();

 private:
  const std::vector<std::uint8_t>& buf_;
  std::size_t off_ = 0;
};

// What the service tells a program in its answer to kHello, so that a program of any user works
// with the LANAs and ports of the machine's service, whatever its own settings say: the LANA count,
// each LANA's address and broadcast address, then the name service, datagram and session ports.
void WriteServiceSettings(MsgWriter& w, const Config& cfg);
// Reads them into `cfg` (its LANAs and ports); false, and `cfg` untouched, when they are missing or
// malformed.
bool ReadServiceSettings(MsgReader& r, Config& cfg);

// Sends one message, with `fdToPass` attached when >= 0. False when the peer is gone.
bool SendMsg(int fd, const std::vector<std::uint8_t>& msg, int fdToPass = -1);
// Receives one message (blocking). 1 = message, 0 = peer closed, -1 = error. A passed descriptor is
// returned in *passedFd (else -1).
int RecvMsg(int fd, std::vector<std::uint8_t>& msg, int* passedFd);

}  // namespace platform::netbios

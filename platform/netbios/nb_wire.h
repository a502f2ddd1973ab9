// Packets of NetBIOS over TCP/IP: name service (UDP 137), datagram service (UDP 138) and session
// service (TCP 139) headers, with first-level encoded names and an empty scope. The parsers take
// any bytes from the network and never read outside them.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace platform::netbios::wire {

using Name = std::array<std::uint8_t, 16>;

Name MakeName(const std::uint8_t* sixteenBytes);
// Readable form for logs: printable characters, others as <xx>.
std::string NameText(const Name& name);

// 0x20, 32 characters 'A'+nibble, then the empty scope (0x00): 34 bytes.
void AppendEncodedName(std::vector<std::uint8_t>& out, const Name& name);
// Reads an encoded name at `off` (label sequences and compression pointers); on success `off` is
// past the name. A name that is not 32 valid characters long in its first label is refused.
bool ReadEncodedName(const std::uint8_t* p, std::size_t n, std::size_t& off, Name& out);

// Name service.
constexpr std::uint8_t kOpQuery = 0;
constexpr std::uint8_t kOpRegistration = 5;
constexpr std::uint8_t kOpRelease = 6;
constexpr std::uint8_t kOpWack = 7;
constexpr std::uint8_t kOpRefresh = 8;
constexpr std::uint16_t kTypeNB = 0x0020;
constexpr std::uint16_t kTypeNBSTAT = 0x0021;
constexpr std::uint16_t kClassIN = 0x0001;
constexpr std::uint16_t kNbFlagGroup = 0x8000;
constexpr std::uint8_t kRcodeNameError = 3;
constexpr std::uint8_t kRcodeActiveError = 6;
constexpr std::uint8_t kRcodeConflict = 7;

struct NsQuestion {
  Name name{};
  std::uint16_t type = kTypeNB;
  std::uint16_t cls = kClassIN;
};

struct NsRecord {
  Name name{};
  std::uint16_t type = kTypeNB;
  std::uint16_t cls = kClassIN;
  std::uint32_t ttl = 0;
  std::vector<std::uint8_t> rdata;
};

struct NsPacket {
  std::uint16_t trnId = 0;
  bool response = false;
  std::uint8_t opcode = kOpQuery;
  bool aa = false, tc = false, rd = false, ra = false, broadcast = false;
  std::uint8_t rcode = 0;
  std::vector<NsQuestion> questions;
  std::vector<NsRecord> answers, authority, additional;
};

bool ParseNsPacket(const std::uint8_t* p, std::size_t n, NsPacket& out);
std::vector<std::uint8_t> BuildNsPacket(const NsPacket& packet);
// The head of a node's authoritative answer to `request`: its transaction id and recursion flag,
// the given opcode; no records yet.
NsPacket AnswerTo(const NsPacket& request, std::uint8_t opcode);

// The 6-byte NB resource data: flags and an IPv4 address (host order).
std::vector<std::uint8_t> NbRdata(std::uint16_t flags, std::uint32_t address);
// First entry of an NB record's data; false when shorter than 6 bytes.
bool ReadNbRdata(const std::vector<std::uint8_t>& rdata, std::uint16_t& flags, std::uint32_t& address);

// Datagram service.
constexpr std::uint8_t kDgmDirectUnique = 0x10;
constexpr std::uint8_t kDgmDirectGroup = 0x11;
constexpr std::uint8_t kDgmBroadcast = 0x12;
constexpr std::uint8_t kDgmError = 0x13;
constexpr std::uint8_t kDgmFirstFlag = 0x02;
constexpr std::uint8_t kDgmMoreFlag = 0x01;
constexpr std::size_t kMaxDatagramData = 512;

struct Datagram {
  std::uint8_t type = kDgmDirectUnique;
  std::uint8_t flags = kDgmFirstFlag;
  std::uint16_t id = 0;
  std::uint32_t sourceIp = 0;  // host order
  std::uint16_t sourcePort = 0;
  Name source{}, destination{};
  std::vector<std::uint8_t> data;
};

// Accepts the three data-carrying types, unfragmented (first flag, no more flag, offset 0) only.
bool ParseDatagram(const std::uint8_t* p, std::size_t n, Datagram& out);
std::vector<std::uint8_t> BuildDatagram(const Datagram& d);

// Session service.
constexpr std::uint8_t kSsnMessage = 0x00;
constexpr std::uint8_t kSsnRequest = 0x81;
constexpr std::uint8_t kSsnPositive = 0x82;
constexpr std::uint8_t kSsnNegative = 0x83;
constexpr std::uint8_t kSsnRetarget = 0x84;
constexpr std::uint8_t kSsnKeepAlive = 0x85;
constexpr std::uint8_t kSsnErrNotListeningCalled = 0x80;
constexpr std::uint8_t kSsnErrNotListeningCalling = 0x81;
constexpr std::uint8_t kSsnErrCalledNotPresent = 0x82;
constexpr std::uint8_t kSsnErrInsufficientResources = 0x83;
constexpr std::uint8_t kSsnErrUnspecified = 0x8F;
constexpr std::uint32_t kMaxSessionLength = 0x1FFFF;

// The 4-byte header: type, flags (bit 0 = length bit 16), length.
void PutSessionHeader(std::uint8_t type, std::uint32_t length, std::uint8_t out[4]);
void ReadSessionHeader(const std::uint8_t in[4], std::uint8_t& type, std::uint32_t& length);
std::vector<std::uint8_t> BuildSessionRequest(const Name& called, const Name& calling);
// The body (after the 4-byte header) of a SESSION REQUEST.
bool ParseSessionRequestBody(const std::uint8_t* p, std::size_t n, Name& called, Name& calling);

}  // namespace platform::netbios::wire

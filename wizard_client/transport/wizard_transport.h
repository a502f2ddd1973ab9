// The wizard's transport library: opens the LAN transports once per process, keeps the device
// table of known boxes (64-byte records) and carries one request to one box and its whole reply
// back over SPX, TCP, NetBIOS or the UDP request transport of port 34444.
//
// The SPX, TCP and NetBIOS exchanges, the LAN start-up and the NetBIOS control-block layer are
// those of the console's access library (device_client/access), run with the wizard's waits: 30 s
// per socket wait, 5 s per NetBIOS receive followed by a 3 s pause when it timed out, the low byte
// of the time-out doubled for NetBIOS calls. Only the UDP transport and the record form are the
// wizard's own. Plain functions over plain records, called from one thread; nothing is locked.
#pragma once
#include <array>
#include <cstdint>

#include "device_client/access/access.h"

namespace wizard {

// One known box, 64 bytes, copied by value. The first 44 bytes have the layout of the console's
// record (name, protocol flags, address); then the PC's own interface through which the box was
// found (dotted IPv4 text, empty when none is known).
struct DeviceRecord {
  char szName[20];
  std::int32_t iProtocol;  // TYPE_IPXSPX 1, TYPE_TCPIP 2, TYPE_NETBEUI 4, TYPE_UDP 8
  std::uint8_t address[20];
  char szLocalAddress[20];
};
static_assert(sizeof(DeviceRecord) == 64, "the wizard's DeviceRecord is a 64-byte record");

constexpr int TYPE_UDP = 8;
constexpr int MAX_DEVICE_RECORDS = 128;

// Opens the transports asked for in iProtocol (mask 1 IPX/SPX, 2 TCP/IP, 4 NetBIOS) and keeps the
// mask and the time-out. Returns failure bits 0x11, 0x12, 0x14 (0 when every asked one opened).
int PSInit(int iProtocol, int iTimeOut);
// Closes what PSInit opened and releases the device table and the look-up table; a second call
// does no harm.
void PSExit();

// One request to the box of that default name: 0 with the reply (headers removed) in pReply,
// which holds nReplyCapacity bytes; ERR_NETWORK (-5), ERR_COMMAND (-6), ERR_DEVICE_NOTFOUND (-20,
// nothing sent). A reply that would not fit is ERR_NETWORK.
int PSISendResp(const char* szName, const char* pRequest, int nRequestLength, char* pReply,
                int* pnReplyLength, int nReplyCapacity);
// The same for a record the caller holds. Flags 1 or 2: SocketSendResp; else 8: UdpSendResp;
// else 4: NetBiosSendResp; else ERR_DEVICE_NOTFOUND.
int SendRespByRecord(const DeviceRecord* pRecord, const char* pRequest, int nRequestLength,
                     char* pReply, int* pnReplyLength, int nReplyCapacity);
int SocketSendResp(const DeviceRecord* pRecord, const char* pRequest, int nRequestLength,
                   char* pReply, int* pnReplyLength, int nReplyCapacity);
int NetBiosSendResp(const DeviceRecord* pRecord, const char* pRequest, int nRequestLength,
                    char* pReply, int* pnReplyLength, int nReplyCapacity);
// The UDP request transport (udp_exchange.h): the box is chosen by the first 8 bytes of the
// record's name; its address is not used.
int UdpSendResp(const DeviceRecord* pRecord, const char* pRequest, int nRequestLength,
                char* pReply, int* pnReplyLength, int nReplyCapacity);

// Copies the first table record of that name (compared over 20 bytes): 1, else 0.
int SearchName(DeviceRecord* pOut, const char* szName);
// Index in the device table, or -1.
int FindDeviceIndex(const char* szName);
// The record's protocol flags, or -1.
int GetDeviceProtocol(const char* szName);
// After a restart with new settings: a record whose flags are exactly 4 takes the NetBIOS name,
// one whose flags are exactly 2 the IPv4 text; either may be null.
void UpdateDeviceAddress(const char* szName, const char* szNewNetbiosName,
                         const char* szNewIpAddress);

// The first 44 bytes as the console's record, and back (the local interface from `local`).
::DeviceRecord ToConsoleRecord(const DeviceRecord& record);
DeviceRecord FromConsoleRecord(const ::DeviceRecord& record, const char* local = nullptr);

namespace wizard_access {

// The wizard's waits and limits.
const core::TransportParams& Params();

int RequestedProtocols();
int TimeOutValue();

// The device table (up to MAX_DEVICE_RECORDS records, in table order).
int DeviceCount();
const DeviceRecord* DeviceAt(int index);   // nullptr outside 0..count-1
DeviceRecord* MutableDeviceAt(int index);  // nullptr outside 0..count-1
int AppendDevice(const DeviceRecord& record);  // 0, or ERR_LIST_FULL
void ClearDevices();

// Called by PSExit for tables owned by other parts of the library.
void SetExitHook(void (*hook)());

// Where the UDP request transport sends: 255.255.255.255 port 34444 unless a test points it at
// its own responder.
struct UdpSettings {
  std::uint16_t port = 34444;
  std::array<std::uint8_t, 4> destination{255, 255, 255, 255};
};
void SetUdpSettings(const UdpSettings& settings);
const UdpSettings& CurrentUdpSettings();

}  // namespace wizard_access
}  // namespace wizard

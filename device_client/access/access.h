// The console's access library: opens the LAN transports once per process, keeps the device table
// of known boxes and carries one request to one box and its whole reply back over an SPX stream, a
// TCP connection or a NetBIOS session. Plain functions over plain records; every outcome is an
// integer code. Used from one thread (the console's UI thread); nothing is locked.
#pragma once
#include <cstdint>
#include <functional>
#include <string>

#include "device_client/core/transport/text.h"
#include "device_client/core/transport/transport.h"

// One known box, 44 bytes, copied by value.
//   szName:    default name, NUL-padded, compared over all 20 bytes
//   iProtocol: TYPE_IPXSPX, TYPE_TCPIP or TYPE_NETBEUI (records built by the library carry one)
//   address:   IPX/SPX: bytes 0-3 network number, 4-9 node; TCP/IP: dotted IPv4 text with NUL;
//              NetBIOS: the box's NetBIOS name (up to 15 characters, NUL) and in byte 19 the LANA
struct DeviceRecord {
  char szName[20];
  std::int32_t iProtocol;
  std::uint8_t address[20];
};
static_assert(sizeof(DeviceRecord) == 44, "DeviceRecord is a 44-byte wire and file record");

constexpr int TYPE_IPXSPX = 1;
constexpr int TYPE_TCPIP = 2;
constexpr int TYPE_NETBEUI = 4;

constexpr int FAIL = -1;  // for the callers; the transports never return it
constexpr int ERR_NETWORK = -5;
constexpr int ERR_COMMAND = -6;
constexpr int ERR_LIST_FULL = -10;
constexpr int ERR_DEVICE_NOTFOUND = -20;

constexpr int MAX_DEVICE_RECORDS = 384;
constexpr int NETBIOS_LANA_OFFSET = 19;  // address byte that holds a NetBIOS record's LANA

// Opens the transports asked for in iProtocol (mask of TYPE_*) and stores the mask and the
// time-out (seconds; the NetBIOS call time-outs). Creates the data directory. Returns failure bits:
// 0x11 IPX/SPX, 0x12 TCP/IP, 0x14 NetBIOS (0x10 with every failure), 0 when all asked ones work.
// May be called any number of times, also after PSExit.
int PSInit(int iProtocol, int iTimeOut);
// Closes the transports and releases the tables; harmless when nothing is open.
void PSExit();

// Copies the first table record whose name equals the first 20 bytes of szName: 1, else 0.
int SearchName(DeviceRecord* pOut, const char* szName);

// One request to the box of that name and its whole reply (headers removed) into pReply, which
// holds nReplyCapacity bytes: 0 (and *pnReplyLength set), ERR_NETWORK, ERR_COMMAND,
// ERR_DEVICE_NOTFOUND. A reply that would not fit in nReplyCapacity is ERR_NETWORK.
int PSISendResp(const char* szName, const char* pRequest, int nRequestLength, char* pReply,
                int* pnReplyLength, int nReplyCapacity);
// The same for a record the caller holds (also one that is not in the table).
int SendRespByRecord(const DeviceRecord* pRecord, const char* pRequest, int nRequestLength,
                     char* pReply, int* pnReplyLength, int nReplyCapacity);
// The SPX (iProtocol bit 0) or TCP stream exchange.
int SpxSendResp(const DeviceRecord* pRecord, const char* pRequest, int nRequestLength,
                char* pReply, int* pnReplyLength, int nReplyCapacity);
// The NetBIOS session exchange on the record's LANA.
int NbSendResp(const DeviceRecord* pRecord, const char* pRequest, int nRequestLength,
               char* pReply, int* pnReplyLength, int nReplyCapacity);

// Connected socket or -1.
int ConnectTCP(const DeviceRecord* pRecord);
int ConnectSPX(const DeviceRecord* pRecord);
// Session number or -1; uses the calling thread's current LANA.
int ConnectNCB(const DeviceRecord* pRecord);

// The text helpers of the shared core, under the names the library's callers use.
using core::ByteToHex;
using core::BytesToHex;
using core::EnumBindIp;
using core::FormatDeviceName;
using core::FormatIpxAddress;
using core::FormatLocalName;
using core::FormatNodeHex;
using core::HexDigitValue;
using core::HexToBytes;

// Library state for the device lists, the live discovery routines and the device-API class.
namespace console_access {

// The transport values every exchange of the library uses: the console's (ConsoleParams) unless
// UseParams replaced them.
const core::TransportParams& Params();
// The console's values: 20 s per socket wait, 10 s per NetBIOS receive, no pause after a receive
// time-out, 3 CALL attempts 3 s apart, the whole time-out doubled for NetBIOS.
const core::TransportParams& ConsoleParams();
// Another program's values for the rest of the process (the wizard's library runs its SPX, TCP
// and NetBIOS exchanges, and the discovery routines it shares, through this library).
void UseParams(const core::TransportParams& params);

// Mask and time-out of the last PSInit (0 before the first).
int RequestedProtocols();
int TimeOutValue();
// The data directory (with its trailing '/'), as PSInit built it; empty before the first PSInit.
const std::string& DataDirectoryPath();

// The device table (up to MAX_DEVICE_RECORDS records, in table order).
int DeviceCount();
const DeviceRecord* DeviceAt(int index);  // nullptr outside 0..count-1
DeviceRecord* MutableDeviceAt(int index); // nullptr outside 0..count-1
int AppendDevice(const DeviceRecord& record);  // 0, or ERR_LIST_FULL when the table is full
void ClearDevices();                            // count 0, records zero-filled

// Called by PSExit to release tables that other parts of the library own (browse and look-up
// tables). Hooks stay registered across PSExit; AddExitHook returns an id for RemoveExitHook.
int AddExitHook(std::function<void()> hook);
void RemoveExitHook(int id);

}  // namespace console_access

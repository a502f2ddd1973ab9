// The access library's own discovery: instead of reading the discovery cache, these routines
// broadcast a query themselves (IPX service query, UDP and NetBIOS device-information requests),
// let a helper thread send it twice more 600 ms apart, and collect the answers until the network
// has been quiet for a while. The set-address datagram goes out once from each local address.
//
// Every output list is bounded by the capacity its caller passes; every answer is checked for
// length before a field of it is read; each helper thread is joined before the socket (or
// NetBIOS name) it sends on is closed. All waits go through platform::GetClock(), so a test's
// FakeClock governs them. Used from one thread, like the rest of the access library.
#pragma once
#include <array>
#include <cstdint>
#include <vector>

#include "device_client/access/access.h"

// Type codes of QuerySAP and the service types they ask for.
constexpr int SAP_QUERY_PRINT_SERVER = 10;  // 0x868B, the boxes: DeviceRecords
constexpr int SAP_QUERY_FILE_SERVER = 11;   // 0x0004: names
constexpr int SAP_QUERY_NDS_TREE = 12;      // 0x0278: names, trailing underscores cut
constexpr int SAP_NAME_SIZE = 48;           // one name of the name array

constexpr int MAX_BROWSE_ENTRIES = 384;

// One box of a live browse (98 bytes). The first 44 bytes have the DeviceRecord layout.
#pragma pack(push, 1)
struct BrowseEntry {
  char szName[20];
  std::int32_t iProtocol;
  std::uint8_t address[20];
  char szServerName[50];        // the box's name text (device name, or its longer display name)
  std::uint8_t hardwareId[4];   // the 3-byte model code of the device-information block, then 0
};
#pragma pack(pop)
static_assert(sizeof(BrowseEntry) == 98, "a browse entry is 98 bytes");

// The DeviceRecord that the first 44 bytes of an entry make.
DeviceRecord RecordOfEntry(const BrowseEntry& entry);

// IPX service query of type code iType (10, 11 or 12). Type 10 fills pRecords (one record per
// node: name "KL" + the last six hex digits of the node, protocol 1, network number and node),
// types 11 and 12 fill pNames (SAP_NAME_SIZE bytes per name, NUL-padded, each name once). Either
// array holds nCapacity entries (at most 384 are ever taken). Returns 0 once the network has been
// quiet for 4 seconds, -1 on a socket failure (or a bad type code or capacity), ERR_LIST_FULL
// when one more distinct answer came than the array holds (*pnCount is then the capacity).
int QuerySAP(int iType, char* pNames, DeviceRecord* pRecords, int* pnCount, int nCapacity);

// Listens passively on the service socket for boxes advertising themselves, in rounds of up to
// 2 seconds, until more than 50 rounds added no new box. Entries (name, protocol 1, address)
// into pEntries, at most nCapacity. Returns 0 (boxes found), 3 (none) or -1 (socket failure).
int ListenIPXDevice(BrowseEntry* pEntries, int* pnCount, int nCapacity);

// Asks the box of the entry for its device-information block (SPX or TCP by its protocol flag)
// and completes the entry: its default name, model code and name text (the longer display name
// when the box offers one). 1 when the box answered with a whole block, else 0.
int GetDefNameSPX(BrowseEntry* pEntry);

// The live IPX browse: listens for boxes, keeps those that answer over SPX, rebuilds the browse
// table from them (sorted by name), returns names (20 bytes each), server names (50), addresses
// (20) and hardware identifiers (4), at most nCapacity of each, writes them as the IPX registry
// list and adds the boxes to the device table. Returns 0, or 3 when no box was heard.
int PSBrowseIPX(char* pNames, char* pServerNames, std::uint8_t* pAddresses,
                std::uint8_t* pHardwareIds, int* pnCount, int nCapacity);

// Asks the box the record addresses (protocol and address set) for its default name: 1 and the
// record's name set, else 0 (also for a name with control characters or a backslash, which could
// not be stored) with the record unchanged.
int GetDefName(DeviceRecord* pRecord);

// Adds the box of the record to the device table when it answers (else rebuilds the table with a
// full browse) and returns all names of the device table (20 bytes each, at most nCapacity).
// Returns 0.
int PSAddOrBrowse(char* pNames, int* pnCount, int nCapacity, DeviceRecord* pRecord);

// NetBIOS datagram browse on every LANA: the device-information request to the boxes' group name
// ("KVX_" and the bytes 01..0C instead when [ConnectedProtocol] bNBOldName of common.ini is not
// 0); each answering box once (by name), at most nCapacity. 1 when a box answered, else 0.
int BrowseNetBIOS(DeviceRecord* pRecords, int* pnCount, int nCapacity);

// BrowseNetBIOS with the old-naming switch read from another settings file of the Windows
// directory (the wizard's "Setupwizard.ini").
int BrowseNetBIOSWith(const char* settingsFile, DeviceRecord* pRecords, int* pnCount,
                      int nCapacity);

// UDP browse: the device-information request broadcast to port 34443 from every local IPv4
// address. Each box is listed once, by its default name, even though it answers every one of the
// three sends and may be heard through several local addresses (the first answer wins); at most
// nCapacity records (protocol 2, dotted sender address). 1, or 0 on a socket failure.
int QueryUDP(DeviceRecord* pRecords, int* pnCount, int nCapacity);

// Gives the box of that default name (at least 8 characters) a new address by datagram: the
// hardware address is "02a7c4" (SetIPByDatagram) or the given six-digit prefix
// (SetIPByDatagramEx) followed by the six characters of the name from position 2 on. Once a box
// confirms, DHCP, BOOTP and RARP are switched off ("4020 :Disable\n", plus 4021 and 4022 for the
// Ex form) and the box restarted ("9002:\n") over TCP at the third address. 1 when that request
// succeeded with an empty reply, else 0.
int SetIPByDatagram(const char* szDefaultName, const char* szFirst, const char* szSecond,
                    const char* szThird);
int SetIPByDatagramEx(const char* szVendorPrefix, const char* szDefaultName, const char* szFirst,
                      const char* szSecond, const char* szThird);

namespace live_discovery {
// How one UDP device-information query goes out and where its answers carry the block.
struct UdpQueryForm {
  std::uint16_t port;              // destination port of the broadcast
  const std::uint8_t* request;     // the request datagram
  int requestSize;
  int answerHeaderSize;            // bytes ahead of the block in an answer
};
}  // namespace live_discovery

// QueryUDP in another form (the wizard's query on port 34444 with its device identifier and
// 13-byte answer header). pLocalAddresses (may be null; 20 bytes per record) receives the dotted
// local address that heard each box.
int QueryUDPWith(const live_discovery::UdpQueryForm& form, DeviceRecord* pRecords,
                 char (*pLocalAddresses)[20], int* pnCount, int nCapacity);

namespace live_discovery {

// The browse table of the last live IPX browse (released at PSExit).
int BrowseCount();
const BrowseEntry* BrowseAt(int index);  // nullptr outside 0..count-1

// Where the UDP routines send: the discovery port and the local addresses to send from (network
// order; empty: every local IPv4 address of the machine). Tests point them at their own
// responder.
struct UdpSettings {
  std::uint16_t port = 34443;
  std::vector<std::array<std::uint8_t, 4>> localAddresses;
};
void SetUdpSettings(const UdpSettings& settings);
const UdpSettings& CurrentUdpSettings();

// The parsing steps, separate so that they can be checked on arbitrary bytes.
//
// Walks one SAP answer (a 2-byte response type, then 64-byte entries; only entries that lie
// wholly inside the datagram count) and adds what type code iType takes to the arrays. Returns 0,
// or ERR_LIST_FULL when an entry found the array full.
int TakeSapAnswer(int iType, const std::uint8_t* data, int size, char* pNames,
                  DeviceRecord* pRecords, int* pnCount, int nCapacity);
// The box an answer to the device-information request names (5-byte reply header, then the
// block): false for an answer too short to hold the default name, or one without a usable name.
// `name` receives the 20-byte default name, `deviceName` (may be null) the 15-character NetBIOS
// name text of block bytes 56-70.
bool ParseDeviceAnswer(const std::uint8_t* data, int size, char (&name)[20], char* deviceName);
// The same with `headerSize` bytes ahead of the block instead of 5.
bool ParseDeviceAnswerAt(int headerSize, const std::uint8_t* data, int size, char (&name)[20],
                         char* deviceName);

}  // namespace live_discovery

// The wizard's device lists: the browse of the discovery cache files into the device table and its
// look-up table, the live discovery queries (IPX service query, UDP on ports 34443 and 34444,
// NetBIOS datagrams), the registry list of boxes added by address, and setting a box's address by
// its hardware address.
//
// The cache-file reader, the discovery queries, the registry list and the set-address datagram are
// those of the console's library (device_client/device_lists, device_client/live_discovery),
// called with the wizard's differences: its 64-byte records and 128-record table, the 34444 query
// form, "Setupwizard.ini" for the NetBIOS group-name switch.
//
// Limits: the device table holds 128 records (merges stop there), each cache file contributes at
// most 128 records, the look-up table 512 entries; every output array is bounded by the capacity
// its caller passes. Used from one thread.
#pragma once
#include <cstdint>

#include "wizard_client/transport/wizard_transport.h"

namespace wizard {

constexpr int MAX_CACHE_RECORDS_PER_FILE = 128;
constexpr int MAX_SCAN_LOOKUP = 512;
constexpr int SAP_NAME_CAPACITY = 128;  // names of PSScanSapNames, 48 bytes each
constexpr const char* kWizardSettingsFile = "Setupwizard.ini";

// One look-up entry (72 bytes) from a cache record of the last browse.
struct ScanLookupEntry {
  char szDefaultName[20];       // cache bytes 0-19
  char szDeviceName[20];        // cache bytes 98-117
  std::uint8_t hardwareId[32];  // cache bytes 64-95 (device-information block bytes 4-35)
};
static_assert(sizeof(ScanLookupEntry) == 72, "a look-up entry is 72 bytes");

// Rebuilds the device table from the cache files of the PSInit mask ("ss_udp.dat" for bit 2,
// "ss_ipx.dat" for bit 1, "ss_nb.dat" for bit 4), merged in the order IPX, UDP/TCP, NetBIOS (the
// first record of a name wins) and sorted by name; copies out, for at most nCapacity records,
// the names, the addresses ("0.0.0.0" for NetBIOS and IPX records) and the local interfaces, 20
// bytes each. Returns 0.
int PSBrowse(char (*pNames)[20], char (*pAddresses)[20], char (*pLocalInterfaces)[20],
             int* pnCount, int nCapacity);

// The hardware id (32 bytes) and the device name (20 bytes) of the first look-up entry of that
// default name: 1, or 0 when there is none.
int FindScanCacheInfo(std::uint8_t* pHardwareId, char* pDeviceName, const char* szDefaultName);

// The IPX service query for NetWare file servers (kind 11) or directory trees (kind 12): names of
// 48 bytes into pNames (room for SAP_NAME_CAPACITY). 0, -1 (socket failure or another kind),
// ERR_LIST_FULL when more names came than fit (count 128).
int PSScanSapNames(int iKind, char* pNames, int* pnCount);

// The live queries, each into at most nCapacity records.
// UDP to port 34443: records of flag 2 at the sender's address. 1, or 0 on a socket failure.
int QueryUDP(DeviceRecord* pRecords, int* pnCount, int nCapacity);
// UDP to port 34444 with the wildcard device id: flag 2, the sender's address and the local
// address that heard it. 1, or 0 on a socket failure.
int QueryUDP2(DeviceRecord* pRecords, int* pnCount, int nCapacity);
// NetBIOS datagram to the boxes' group name on every LANA: flag 4, NetBIOS name and LANA. 1 when
// a box answered.
int QueryNetBios(DeviceRecord* pRecords, int* pnCount, int nCapacity);

// Asks each box of the TCP/IP registry list and appends those that answer (flag 2); the entry of
// a box that does not answer is deleted. Returns 1.
int RegListDevices(DeviceRecord* pRecords, int* pnCount, int nCapacity);
// "9007:" to the record's box; on an answer the record takes the default name: 1, else 0.
int RegFindDevice(DeviceRecord* pRecord);

// Asks the box at szIPAddress and, when it answers with a name not in the table yet, appends it
// to the device table and writes its registry entry: 1 and *pRecord set, else 0.
int PSAddUDP(const char* szIPAddress, DeviceRecord* pRecord);
// Switches the registry list to the Internet key for the rest of the process, asks the box and
// writes its registry entry only: 1, else 0.
int PSIAddUDP(const char* szIPAddress);

// Live browses: IPX boxes that answer over SPX, UDP answers and the registry list, NetBIOS
// answers (by the PSInit mask), merged IPX, UDP/TCP, NetBIOS into the device table and sorted.
// PSLiveBrowse copies out the names (20 bytes each), PSLiveBrowseInternet (after switching the
// registry list to the Internet key) the whole records; at most nCapacity. Return 0.
int PSLiveBrowse(char (*pNames)[20], int* pnCount, int nCapacity);
int PSLiveBrowseInternet(DeviceRecord* pRecords, int* pnCount, int nCapacity);
// When the record's box answers, the record takes the default name it answers with and is merged
// into the device table (sorted); else PSLiveBrowse. Copies out the names of the whole table.
// Returns 0.
int PSQueryOrBrowse(char (*pNames)[20], int* pnCount, int nCapacity, DeviceRecord* pRecord);

// Gives the box of that default name a new address by the set-address datagram: the hardware
// address is "02a7c4" (or the first six characters of szMacPrefix) followed by the six characters
// of the name after its first two; the three texts are the subnet mask, the gateway and the new
// address. Once a box confirms, its address assignment is switched off and it is restarted over
// TCP at the new address. 1 when that request left an empty reply, else 0.
int SetDeviceIPByMac(const char* szDefaultName, const char* szFirst, const char* szSecond,
                     const char* szThird);
int SetDeviceIPByMacPrefix(const char* szMacPrefix, const char* szDefaultName, const char* szFirst,
                           const char* szSecond, const char* szThird);

namespace wizard_lists {
int LookupCount();
const ScanLookupEntry* LookupAt(int index);  // nullptr outside 0..count-1
}  // namespace wizard_lists

}  // namespace wizard

// The device lists of the console's access library: the device table is rebuilt from the
// discovery cache files and from the two device lists kept in the registry (boxes added by IP
// address, boxes found over IPX); single boxes are added by IP address; names are looked up; a
// box's address is corrected after it restarted with new settings.
//
// Limits: the device table holds MAX_DEVICE_RECORDS (384) records and each merge stops adding at
// that size; the look-up table holds MAX_LOOKUP_ENTRIES (1,152) entries. Registry values are
// never trusted: text values are terminated inside their buffers, over-long or malformed values
// make their entry count as absent, and nothing carrying control characters is ever written.
// Used from one thread, like the rest of the library.
#pragma once
#include <cstdint>

#include "device_client/access/access.h"

constexpr int MAX_LOOKUP_ENTRIES = 1152;  // three cache files of at most 384 records

// One look-up entry (74 bytes), taken from a cache record of the last browse, or for a box of the
// TCP/IP registry list from its answer to the device-information request.
struct LookupEntry {
  char szDefaultName[20];       // cache bytes 0-19
  std::uint8_t deviceInfo[32];  // cache bytes 64-95 (device-information block bytes 4-35)
  std::uint8_t functionId[2];   // cache bytes 96-97 (block bytes 46-47)
  char szNameText[20];          // cache bytes 98-117 (block bytes 56-75)
};
static_assert(sizeof(LookupEntry) == 74, "a look-up entry is 74 bytes");

// Registry keys of the two lists (under HKEY_LOCAL_MACHINE).
constexpr const char* kTcpipListKey = "SOFTWARE\\Kelmor\\Ferrow\\TCPIP";
constexpr const char* kInternetListKey = "SOFTWARE\\Kelmor\\Ferrow\\Internet";
constexpr const char* kIpxListKey = "SOFTWARE\\PrintServer\\Ferrow\\IPX";
constexpr const char* kIpxCountSubkey = "DeviceCnt";

// Rebuilds the device table from the cache files of the protocols of the last PSInit and the
// registry lists, sorted by name, and copies the names (20 bytes each) in table order into pNames
// (room for 384 names). Returns 0.
int PSBrowse(char* pNames, int* pnCount);
// The same rebuild without the IPX registry list, after switching the TCP/IP list to the Internet
// key; pRecords receives the whole records (room for 384).
int PSBrowseRecords(DeviceRecord* pRecords, int* pnCount);

// The cached identification of the first look-up entry named szName: 32 bytes of device
// information, the 2-byte function identifier and the 20-byte name text. 1, or 0 when none.
int GetCacheDetails(std::uint8_t* pDeviceInfo, std::uint8_t* pFunctionId, char* pNameText,
                    const char* szName);

// Asks the box at szIPAddress for its device information and adds it to the device table and to
// the TCP/IP registry list: 1 and *pRecord set, else 0 (no answer, a name already listed, the
// table full, an unusable address or name); on 0 nothing is stored.
int PSAddUDP(const char* szIPAddress, DeviceRecord* pRecord);
// Asks the box at szIPAddress as PSAddUDP does and stores nothing: 1 and *pRecord set when the box
// answered with a usable name that is not listed yet, else 0.
int PSAskUDP(const char* szIPAddress, DeviceRecord* pRecord);
// Switches the TCP/IP list to the Internet key, asks the box and writes its registry entry:
// 1 when the box answered and was written, else 0. The device table is not changed.
int PSIAddUDP(const char* szIPAddress);

// Sends "9007:\n" to the box the record addresses and sets the record's name to the default name
// in the answer: 1, or 0 when the box did not answer with a whole block and a usable name.
int RegFindDevice(DeviceRecord* pRecord);

// Index of the first table record of that name (compared over 20 bytes), or -1.
int FindDeviceIndex(const char* szName);
// Protocol flag of that name's record, or -1.
int QueryDeviceProtocol(const char* szName);
// After a restart with new settings: a NetBIOS record takes the new NetBIOS name (its first 15
// characters; the LANA byte stays), a TCP/IP record the new IP text (at most 15 characters;
// a longer text changes nothing). Either may be null.
void UpdateDeviceAddress(const char* szName, const char* szNewNetbiosName,
                         const char* szNewIpAddress);
// The same change on one record.
void UpdateRecordAddress(DeviceRecord* record, const char* szNewNetbiosName,
                         const char* szNewIpAddress);

// Creates (or opens) the entry of the box under the current TCP/IP list key and writes its
// "Address": true when written (never for a name or address that could not be stored).
bool RegWriteDeviceAddress(const DeviceRecord& record, const char* szIPAddress);

// Writes the IPX registry list: the count under "DeviceCnt", then one subkey per box named by
// its name (names: 20 bytes each) with "ServerName" (serverNames: 50 bytes each, at most 49
// characters), "Address" (the 20 upper-case hex digits of the first 10 of its 20 address bytes)
// and "HWID" (the 8 hex digits of its 4 hardware-identifier bytes). A box whose name is empty or
// holds a backslash, or whose name or server name carries control characters, is left out.
// "DeviceCount" is the number of boxes written, which is returned.
int WriteIpxRegistryList(const char* names, const char* serverNames,
                         const std::uint8_t* addresses, const std::uint8_t* hardwareIds,
                         int count);
// Adds the boxes of the IPX registry list (protocol 1) to the device table, skipping names
// already there and entries whose values are missing or malformed. Returns the records added.
int ReadIpxRegistryList();
// Asks each box of the TCP/IP registry list and appends those that answer to records[*pnCount..]
// (up to `capacity`), each with a look-up entry from its answer; entries whose box does not answer
// are deleted from the list, entries whose address cannot be read are left alone.
void VerifyTcpipRegistryList(DeviceRecord* records, int* pnCount, int capacity);
// Reads one cache file of the data directory (created empty when missing): its records are
// appended to records[*pnCount..] (up to `capacity`) and to the look-up table.
void LoadScanFile(const char* fileName, DeviceRecord* records, int* pnCount, int capacity);
// Appends to the device table each record whose name is not there yet, until the table is full.
// Returns the records added.
int MergeDeviceRecords(const DeviceRecord* records, int count);
// Sorts records by name, byte-wise over 20 bytes (as strncmp), by repeated neighbour exchanges.
void SortDeviceRecords(DeviceRecord* records, int count);

namespace device_lists {

// The key the TCP/IP list lives under now (the TCPIP key until PSIAddUDP or PSBrowseRecords ran).
const char* CurrentTcpipListKey();
// Back to the TCPIP key (the switch otherwise lasts for the rest of the process; for tests).
void RestoreTcpipListKey();
// The switch to the Internet key, for the rest of the process.
void UseInternetListKey();

// The look-up table of the last browse.
int LookupCount();
const LookupEntry* LookupAt(int index);  // nullptr outside 0..count-1

// True when `text` may be written to the registry: at most `maxLength` characters and no control
// character (below 0x20, 0x7F); a key name besides is not empty and holds no '\'.
bool IsStorableText(const char* text, int maxLength, bool keyName);

}  // namespace device_lists

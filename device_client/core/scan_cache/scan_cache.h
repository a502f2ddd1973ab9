// The discovery cache files ("scan files"): one per discovery route in the data directory, each a
// little-endian int32 record count followed by that many records of 118 bytes. The scanner writes
// them; the device libraries and the scanner's Verify Data read them.
//
// A file is always replaced whole: the writer writes a temporary file in the same directory and
// renames it over the old one, under the named mutex "Print Server ScanFile Mutex". A reader, with
// or without that mutex, therefore sees either the old file or the new one, never half of one.
//
// Readers trust nothing in a file: the count is clamped to 384 records and to the whole records
// that the file really holds; a negative count, or a file shorter than its 4-byte count, reads as
// no records. A missing file is created empty (a 4-byte count of 0), also atomically, and never
// over a file that a writer has just put in place.
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "device_client/core/wire_layout.h"

namespace scan_cache {

constexpr const char* kIpxFile = "ss_ipx.dat";    // IPX service query, protocol value 1
constexpr const char* kUdpFile = "ss_udp.dat";    // UDP broadcast to port 34443, protocol value 2
constexpr const char* kNetBiosFile = "ss_nb.dat"; // NetBIOS datagrams, protocol value 4
constexpr const char* kUdp2File = "ss_udp2.dat";  // UDP broadcast to port 34444, protocol value 8

constexpr const char* kScanFileMutexName = "Print Server ScanFile Mutex";

constexpr int kRecordSize = wire::cache::kRecordSize;  // 118
constexpr int kMaxRecords = wire::cache::kMaxRecords;  // 384
constexpr std::size_t kMaxFileSize =
    wire::cache::kHeaderSize + static_cast<std::size_t>(kMaxRecords) * kRecordSize;

// One record, field by field. Text fields are not necessarily zero-terminated: a name of exactly
// 20 characters fills its field.
struct ScanCacheRecord {
  char szDefaultName[20];       // bytes 0-19: the box's default name (the key of device calls)
  std::int32_t iProtocol;       // bytes 20-23: 1 IPX/SPX, 2 TCP/IP (34443), 4 NetBIOS, 8 TCP/IP (34444)
  std::uint8_t address[20];     // bytes 24-43: IPX network+node / dotted IPv4 text / NetBIOS name+LANA
  char szLocalAddress[20];      // bytes 44-63: the PC's own interface that heard the box
  std::uint8_t hardwareId[32];  // bytes 64-95: bytes 4-35 of the device-information block
  std::uint8_t functionId[2];   // bytes 96-97: bytes 46-47 of the device-information block
  char szDeviceName[20];        // bytes 98-117: bytes 56-75 of the device-information block
};

void EncodeRecord(const ScanCacheRecord& record, std::uint8_t out[kRecordSize]);
ScanCacheRecord DecodeRecord(const std::uint8_t in[kRecordSize]);

// Decodes a whole file image into `out` (room for `capacity` records, at most kMaxRecords are
// used): the count is clamped to [0, kMaxRecords], to `capacity` and to the whole records present
// after the 4-byte count. Never reads outside [data, data + size). Returns the records decoded.
int ParseScanFile(const std::uint8_t* data, std::size_t size, ScanCacheRecord* out, int capacity);

// The file image for `count` records (clamped to [0, kMaxRecords]).
std::vector<std::uint8_t> BuildScanFile(const ScanCacheRecord* records, int count);

// Where a scan file lives: the data directory followed by the file name.
std::string ScanFilePath(const char* fileName);

// Receives the log text of each write (the scanner hands it to its window's log).
using LogSink = std::function<void(const std::string& text)>;

// The log text of one write, with the local time of the platform clock:
// "hh:mm:ss      <file>      <n> devices\r\n", then the names three to a line, each followed by
// four blanks, then "\r\n\r\n".
std::string FormatWriteLog(const char* fileName, const ScanCacheRecord* records, int count);
// The log text of a write that failed: "hh:mm:ss      <file>      write failed\r\n\r\n" (the
// file keeps what it held, so no device count is given for it).
std::string FormatWriteFailedLog(const char* fileName);

// Replaces one scan file with `count` records (clamped to [0, kMaxRecords]) under the scan-file
// mutex, then hands the log text to `log`: the device count and names when the file was replaced,
// else that the write failed (for example because the data directory does not exist yet; the
// scanner does not create it). True when the file was replaced.
bool WriteScanFile(const char* fileName, const ScanCacheRecord* records, int count,
                   const LogSink& log = {});

// The scanner's reader: under the scan-file mutex, reads one file into `area` (room for
// kMaxRecords records) and sets *count to the records read; a missing file is created empty.
void ReadScanFile(const char* fileName, ScanCacheRecord* area, int* count);

// The device libraries' reader: the same without the mutex (the file is replaced atomically, so
// no lock is needed to see a whole file). A missing file is created empty; a file that cannot be
// opened or read holds no records.
std::vector<ScanCacheRecord> LoadScanFile(const char* fileName);

// Verify Data: reads "ss_ipx.dat", "ss_udp2.dat", "ss_udp.dat" and "ss_nb.dat" in that order into
// one area, cleared before each read, and discards what was read. Returns the records of each
// file in that order (for the caller's log; the scanner ignores them).
std::vector<int> VerifyScanFiles();

}  // namespace scan_cache

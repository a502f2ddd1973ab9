// The four discovery routes of the scanner behind one small interface. A route runs one scan in a
// worker thread of its own and hands back at most kMaxRecords records.
#pragma once
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "device_client/core/scan_cache/scan_cache.h"
#include "discovery_scanner/scanner/scanner_options.h"

namespace lumeth {

// Lets a running scan end early when the program ends: every wait of a scan watches it.
class StopSignal {
 public:
  StopSignal();
  ~StopSignal();
  StopSignal(const StopSignal&) = delete;
  StopSignal& operator=(const StopSignal&) = delete;
  void Stop();
  void Clear();
  bool Stopped() const;
  // Waits until `fd` is readable, at most `ms` of real time: 1 readable, 0 timed out, -1 failure,
  // -2 stopped.
  int WaitReadable(int fd, int ms) const;
  // Waits `ms`; false when stopped meanwhile.
  bool Pause(int ms) const;

 private:
  int fd_;
};

// The wait for replies after one request ends with a window of silence (ScannerOptions::windowMs),
// and at the latest after this many windows, so that a host that keeps sending cannot keep a route
// busy (and its cache file unwritten) for as long as it likes.
constexpr int kMaxWindowsPerSend = 10;

// The text of the local address that the UDP scans work on; the IPX and NetBIOS scans copy it
// into their records' local interface field.
class SharedLocalText {
 public:
  void Set(const char* text);
  void CopyTo(char (&field)[20]) const;

 private:
  mutable std::mutex mu_;
  char text_[20] = {};
};

struct ScanContext {
  const ScannerOptions* options = nullptr;
  const StopSignal* stop = nullptr;
  SharedLocalText* localText = nullptr;
};

class ScanRoute {
 public:
  virtual ~ScanRoute() = default;
  virtual const char* Name() const = 0;
  virtual const char* FileName() const = 0;
  // Runs one scan. Records beyond kMaxRecords are not taken. False when the scan failed as a
  // whole; the caller then writes the file with no records.
  virtual bool Scan(const ScanContext& context, std::vector<scan_cache::ScanCacheRecord>* records) = 0;
};

// The routes in the order the scan round starts them.
enum RouteIndex { kRouteNetBios = 0, kRouteUdp2 = 1, kRouteIpx = 2, kRouteUdp = 3, kRouteCount = 4 };

// The scans behind the routes. Each returns false when it failed as a whole (the caller then
// writes its file with no records) and leaves at most kMaxRecords records.
// UDP port 34443 from the local address of index `startSelector`, or from every one for -1.
bool ScanUdp(int startSelector, const ScanContext& context, std::vector<scan_cache::ScanCacheRecord>* records);
// UDP port 34444 from every local address.
bool ScanUdp2(const ScanContext& context, std::vector<scan_cache::ScanCacheRecord>* records);
// The group-name datagram on every LAN adapter.
bool ScanNetBios(const ScanContext& context, std::vector<scan_cache::ScanCacheRecord>* records);

std::unique_ptr<ScanRoute> MakeUdpRoute();    // port 34443, "ss_udp.dat", protocol 2
std::unique_ptr<ScanRoute> MakeUdp2Route();   // port 34444, "ss_udp2.dat", protocol 8
std::unique_ptr<ScanRoute> MakeIpxRoute();    // IPX service query + SPX, "ss_ipx.dat", protocol 1
std::unique_ptr<ScanRoute> MakeNetBiosRoute();  // NetBIOS datagrams, "ss_nb.dat", protocol 4

// Whether this build carries the IPX route (the IPX stand-in was available).
bool IpxRouteAvailable();

}  // namespace lumeth

// Start-up and clean-up of the scanner's protocols, the table of local network adapters (read from
// the machine's own interface list) and the scanner's NetBIOS calls.
#pragma once
#include <ifaddrs.h>

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "discovery_scanner/scanner/scanner_options.h"
#include "device_client/core/ncb/ncb.h"

namespace lumeth {

// Protocol bits given to ScanInit, and its failure bits.
constexpr int kProtocolIpx = 1;
constexpr int kProtocolTcpIp = 2;
constexpr int kProtocolNetBios = 4;
constexpr int kFailIpx = 0x11;
constexpr int kFailTcpIp = 0x12;
constexpr int kFailNetBios = 0x14;

// One usable local IPv4 address.
struct AdapterEntry {
  std::int32_t interfaceType = 0;         // MIB-II ifType (6 Ethernet, 24 loopback, 1 other)
  std::uint8_t physicalLength = 0;
  std::uint8_t physical[14] = {};
  std::array<std::uint8_t, 4> address{};  // network order
  std::array<std::uint8_t, 4> mask{};     // network order
  char description[64] = {};
};

constexpr int kMaxAdapters = 10;
constexpr int kMaxLocalAddresses = 10;

// Where the adapter table reads the machine's interfaces from: getifaddrs and freeifaddrs, or a
// list of a test's own.
struct InterfaceListSource {
  std::function<int(ifaddrs**)> read = [](ifaddrs** list) { return ::getifaddrs(list); };
  std::function<void(ifaddrs*)> release = [](ifaddrs* list) { ::freeifaddrs(list); };
};

// The table of the machine's network adapters, read from its interface list: the interfaces (one
// row each, from their link-layer entries) and their IPv4 addresses, walked side by side.
class CMibAdapterTable {
 public:
  explicit CMibAdapterTable(InterfaceListSource source = {});
  ~CMibAdapterTable();
  CMibAdapterTable(const CMibAdapterTable&) = delete;
  CMibAdapterTable& operator=(const CMibAdapterTable&) = delete;

  // 0 when the interface list can be read, -3 when it cannot (the table then stays empty).
  int Init();
  // Reads the list again and returns the number of usable interfaces: those with a physical
  // address whose first six bytes are not all zero (so not the loopback), and which neither
  // begins with "DEST" (unless `keepDest`) nor is missing (unless `keepWithoutAddress`).
  int Refresh(bool keepDest, bool keepWithoutAddress);
  // One entry per IPv4 address of a usable interface, in the list's order, at most `capacity`
  // (more usable addresses are left out). An address of an interface the list does not describe
  // is left out. Returns the number of entries copied.
  int CopyEntries(AdapterEntry* destination, int capacity) const;

  // The number of interfaces the last Refresh found (usable or not).
  int InterfaceCount() const { return static_cast<int>(interfaces_.size()); }

 private:
  struct AddressRow {
    std::string interfaceName;
    std::array<std::uint8_t, 4> address{};
    std::array<std::uint8_t, 4> mask{};
  };
  bool Usable(const AdapterEntry& row) const;

  InterfaceListSource source_;
  bool initialised_ = false;
  bool keepDest_ = false;
  bool keepWithoutAddress_ = false;
  std::vector<std::pair<std::string, AdapterEntry>> interfaces_;  // name, type, physical address
  std::vector<AddressRow> addresses_;
};

// Starts the asked protocols (bits above) and returns the failure bits of those that cannot be
// used, 0 when all work. The test hooks of `options` can replace the local addresses (and so the
// adapter table). Call once; ScanExit undoes it.
int ScanInit(int protocols, int timeoutValue, const ScannerOptions& options);
void ScanExit();
// The protocols and the time-out value given to ScanInit.
int StartedProtocols();

// 1 and the mask when the adapter table holds exactly this address, else 0 (mask untouched).
int GetInterfaceMask(const std::uint8_t* address, std::uint8_t* mask);
// The mask that the subnet test uses: the table's, else the mask the machine gives the interface
// that owns the address, else 255.255.255.255 (only the address itself is "the same subnet").
std::array<std::uint8_t, 4> SubnetMaskFor(const std::array<std::uint8_t, 4>& address);

// The local IPv4 addresses to scan from: the test hook's list, else the machine's (at most
// kMaxLocalAddresses; non-loopback ones first). Empty when they cannot be read.
std::vector<std::array<std::uint8_t, 4>> LocalAddresses();

// The scanner's NetBIOS name. Its control blocks are built by the shared wrappers
// (device_client/core/ncb/ncb.h) on the calling thread's current LANA.
namespace nb {
// The scanner's name on the current adapter: registered on first use (trying i = 0..63), then
// kept. 1 with the name and its number, 0 when no name could be added.
int GetAvailableName(NCB* ncb, char (&name)[17], UCHAR* nameNumber);
}  // namespace nb

}  // namespace lumeth

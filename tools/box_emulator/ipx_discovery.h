// Discovery answers of emulated boxes over the IPX stand-in: the box side of the IPX service query
// for print servers (socket 0x0452, server type 0x868B) and of the SPX confirmation (socket
// 0x0404, "9007:" answered with the device-information block behind a 4-byte SPX reply header).
//
// Each box is known on IPX by the node of its loopback address (02 00 and the four address bytes),
// so many boxes share one host. The responder uses the IPX configuration of its own process
// (ipx.ini of the platform root, or the PSADMIN_IPX_* variables).
#pragma once
#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "device_client/core/wire_layout.h"

namespace box_emulator {

class Box;

class IpxDiscovery {
 public:
  // Opens the service socket and starts answering. Throws std::runtime_error when IPX is off or the
  // socket cannot be had.
  IpxDiscovery();
  ~IpxDiscovery();
  IpxDiscovery(const IpxDiscovery&) = delete;
  IpxDiscovery& operator=(const IpxDiscovery&) = delete;

  struct Entry {
    std::string address;  // dotted loopback address of the box
    std::array<std::uint8_t, wire::pid::kSize> block{};
    bool answersSpx = true;  // false: advertises but takes no SPX connection
    int advertisements = 1;  // entries per answer (a box advertising twice)
    // When set, the box's block is reported afresh and its SPX connections carry the whole
    // management protocol (spx_front.h), not only "9007:". The box must outlive the responder.
    Box* box = nullptr;
  };
  // Adds a box; returns false when its SPX listener cannot be opened.
  bool Add(const Entry& entry);
  // Adds the box at its current address with its whole protocol over SPX.
  bool AddBox(Box* box);
  std::size_t QueryCount() const;

  // NetWare servers that answer service queries of their type: file servers (0x0004) under their
  // name, directory trees (0x0278) under their name padded with '_' to 32 characters and followed
  // by 16 characters of their own, as trees advertise themselves.
  void AddServer(std::uint16_t serverType, const std::string& name);

  // Broadcasts one general service response with every box (as boxes announce themselves
  // unasked), and with a non-zero interval keeps doing so every `intervalMs` of real time.
  void Advertise();
  void AdvertiseEvery(int intervalMs);

 private:
  void Run();
  void AnswerQuery(const std::uint8_t* data, int size, const void* asker);
  void AnswerServerQuery(std::uint16_t type, const void* asker);
  void SendEntries(std::uint16_t responseType, const void* to);
  void Serve(int fd, std::size_t entry);

  int sapFd_ = -1, wakeFd_ = -1;
  mutable std::mutex mu_;
  std::vector<Entry> entries_;
  std::vector<int> listeners_;  // per entry, -1 when it takes no SPX connection
  std::vector<std::pair<std::uint16_t, std::string>> servers_;
  std::atomic<int> advertiseMs_{0};
  std::size_t queries_ = 0;
  std::atomic<bool> stopping_{false};
  std::thread thread_;
};

}  // namespace box_emulator

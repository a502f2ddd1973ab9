// Discovery answers of emulated boxes over UDP: the box side of the "9007:" broadcasts on the two
// discovery ports. One responder serves any number of boxes from one socket per port, bound to the
// wildcard address with address reuse, so several responders (and several programs) on one host
// all hear every broadcast.
//
// A request on the first port is '@', 0, length 6, "9007:\n" (10 bytes); on the second port the
// same head, an 8-byte device identifier, then "9007:\n" (18 bytes). Each box answers the first
// with the 5-byte reply header (lead byte, more flag 0, error byte 0, uint16 LE length 164) and its
// device-information block; the second, when the identifier is "XXXXXXXX" or its own, with the
// header (length 172), its own identifier and the block. Anything else gets no answer.
//
// A box on a loopback address answers a requester on the loopback from its own address, so that
// many boxes can share one host in tests; otherwise the system picks the source address.
#pragma once
#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "device_client/core/wire_layout.h"

namespace box_emulator {

class Box;

struct UdpDiscoveryOptions {
  std::uint16_t port = wire::kTcpPort;   // 34443
  std::uint16_t port2 = wire::kUdpPort;  // 34444
  std::string bindAddress = "0.0.0.0";
};

// How one box spoils its answers (for tests of the scanner's checks).
enum class UdpAnswerFault {
  kNone,
  kSilent,     // no answer
  kErrorByte,  // the error byte of the header set
  kShort,      // the datagram cut after 60 bytes of the block
  kBadLength,  // the header's length runs past the datagram
};

class UdpDiscovery {
 public:
  // Opens both sockets and starts answering. Throws std::runtime_error when a port cannot be bound.
  explicit UdpDiscovery(UdpDiscoveryOptions options = {});
  ~UdpDiscovery();
  UdpDiscovery(const UdpDiscovery&) = delete;
  UdpDiscovery& operator=(const UdpDiscovery&) = delete;

  // A box answers with its current device-information block, from its address. Returns its index.
  std::size_t AddBox(Box* box);
  // An answerer without a TCP side: a fixed block from `address`; an empty `deviceId` takes the
  // hexadecimal digits of the block's last four hardware-address bytes. Returns its index.
  std::size_t AddBlock(const std::string& address, const std::array<std::uint8_t, wire::pid::kSize>& block,
                       const std::string& deviceId = "");
  void SetFault(std::size_t index, UdpAnswerFault fault);
  // Which ports answer: both by default.
  void EnablePorts(bool first, bool second);

  std::uint16_t port() const { return port_; }
  std::uint16_t port2() const { return port2_; }
  // Well-formed requests received on each port.
  std::size_t RequestCount(int portIndex) const;

  // The 8-character identifier of a box: the upper-case hexadecimal digits of the last four bytes
  // of its hardware address (block bytes 14-17).
  static std::string DeviceIdOf(const std::array<std::uint8_t, wire::pid::kSize>& block);

 private:
  struct Answerer {
    Box* box = nullptr;
    std::string address;
    std::array<std::uint8_t, wire::pid::kSize> block{};
    std::string deviceId;
    UdpAnswerFault fault = UdpAnswerFault::kNone;
  };
  void Run();
  void Answer(int fd, bool second, const std::uint8_t* request, std::size_t size, const void* from,
              unsigned fromLength);
  // The set-address datagram (set_address.h) on the first port: boxes added with AddBox only.
  void AnswerSetAddress(int fd, const std::uint8_t* request, std::size_t size, const void* from,
                        unsigned fromLength);

  int fd_ = -1, fd2_ = -1, wakeFd_ = -1;
  std::uint16_t port_ = 0, port2_ = 0;
  mutable std::mutex mu_;
  std::vector<Answerer> answerers_;
  bool firstOn_ = true, secondOn_ = true;
  std::atomic<std::size_t> requests_[2] = {0, 0};
  std::thread thread_;
};

}  // namespace box_emulator

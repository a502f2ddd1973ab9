// Discovery answers of emulated boxes over UDP: the box side of the "9007:" broadcasts on the two
// discovery ports. One responder serves any number of boxes from one socket per port, bound to the
// wildcard address with address reuse, so several responders (and several programs) on one host
// all hear every broadcast.
//
// A request on the first port is '@', 0, length 6, "9007:\n" (10 bytes). Each box answers it with
// the 5-byte reply header (lead byte, more flag 0, error byte 0, uint16 LE length 164) and its
// device-information block.
//
// The second port carries the UDP request transport. Every request datagram is '@', a fragment
// index counting down to 0, the total request length (uint16 LE), an 8-byte device id (the first
// 8 bytes of the box's default name, or "XXXXXXXX" for every box) and at most 384 data bytes.
// The discovery request ("XXXXXXXX" and "9007:\n" in one fragment) is answered by every box; any
// other request only by the box of its device id, once its fragments are all in, in order. Each
// reply datagram carries a 13-byte header (lead byte, fragment index counting down to 0, error
// byte, total reply length (uint16 LE, data only), the box's device id) and at most the fragment
// size of data. Boxes added with AddBox serve the whole protocol there; AddBlock answerers only
// the device-information request. Anything else gets no answer.
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
#include <optional>
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
  kErrorByte,  // the error byte of the header set (the set-address datagram: refused so)
  kShort,      // the datagram cut after 60 bytes of the block
  kBadLength,  // the header's length runs past the datagram
};

// How a box spoils its replies on the request transport of the second port, for its next
// `count` replies. Fields combine.
struct UdpRequestFault {
  int count = 1;
  std::optional<std::size_t> loseFragment;       // this fragment (0 = the first sent) never goes out
  std::optional<std::size_t> duplicateFragment;  // this fragment goes out twice in a row
  std::optional<std::size_t> swapFragment;       // this fragment goes out after the next one
  bool foreignReplyFirst = false;  // a whole reply of another device id goes out first
  bool errorByte = false;          // the error byte of every fragment set
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
  // Faults of the request transport for one box added with AddBox.
  void SetRequestFault(std::size_t index, const UdpRequestFault& fault);
  // Data bytes per reply datagram of the request transport (1024 unless set; at least 1).
  void SetReplyFragmentSize(std::size_t bytes);
  // Requests of the request transport served (all fragments in), and replies sent.
  std::size_t ServedRequestCount() const { return served_.load(); }
  // Which ports answer: both by default.
  void EnablePorts(bool first, bool second);

  std::uint16_t port() const { return port_; }
  std::uint16_t port2() const { return port2_; }
  // Well-formed requests received on each port.
  std::size_t RequestCount(int portIndex) const;

  // The 8-byte device id of a box: the first 8 bytes of its default name (block bytes 76-83).
  static std::string DeviceIdOf(const std::array<std::uint8_t, wire::pid::kSize>& block);

 private:
  struct Answerer {
    Box* box = nullptr;
    std::string address;
    std::array<std::uint8_t, wire::pid::kSize> block{};
    std::string deviceId;
    UdpAnswerFault fault = UdpAnswerFault::kNone;
    UdpRequestFault requestFault;
    int requestFaultsLeft = 0;
  };
  // A request of the transport whose fragments are coming in: from one sender socket to one id.
  struct Incoming {
    std::string key;
    int nextIndex = 0;
    std::size_t total = 0;
    std::string data;
  };
  void Run();
  void Answer(int fd, bool second, const std::uint8_t* request, std::size_t size, const void* from,
              unsigned fromLength);
  // The set-address datagram (set_address.h) on the first port: boxes added with AddBox only.
  void AnswerSetAddress(int fd, const std::uint8_t* request, std::size_t size, const void* from,
                        unsigned fromLength);
  // The second port: discovery or one fragment of a request of the request transport.
  void AnswerSecondPort(int fd, const std::uint8_t* request, std::size_t size, const void* from,
                        unsigned fromLength);
  void AnswerDiscovery(int fd, bool second, const std::string& asked, const void* from,
                       unsigned fromLength);
  // Sends one datagram back to the requester, from `address` when both are loopback addresses.
  void SendFrom(int fd, const void* from, unsigned fromLength, const std::string& address,
                const std::string& datagram);
  void ServeRequest(int fd, Box* box, std::size_t index, const std::string& request,
                    const void* from, unsigned fromLength);

  int fd_ = -1, fd2_ = -1, wakeFd_ = -1;
  std::uint16_t port_ = 0, port2_ = 0;
  mutable std::mutex mu_;
  std::vector<Answerer> answerers_;
  bool firstOn_ = true, secondOn_ = true;
  std::atomic<std::size_t> requests_[2] = {0, 0};
  std::atomic<std::size_t> served_{0};
  std::size_t fragmentSize_ = 1024;
  std::vector<Incoming> incoming_;  // used by the answering thread only
  std::thread thread_;
};

}  // namespace box_emulator

// A NetBIOS node of its own on the LAN, without the local service: what a print server does to be
// reached by Netbios(). For the box emulator and for tests.
//
// The node listens on its address (unicast) and on the broadcast address of its network at the
// name service and datagram ports, and on its address at the session port. It
//   - answers name queries (broadcast or unicast) for its unique name and its group names with a
//     positive response to the asker's address and port;
//   - defends its names: a registration of one of them by another address gets a negative
//     response (the registering program sees NRC_DUPNAME);
//   - hands datagrams addressed to its names to the datagram handler (reply with SendDatagram to
//     the datagram's sourceIp / sourcePort and source name);
//   - accepts a SESSION REQUEST for its unique name with a positive response and hands the
//     connected socket to the session handler; other called names get a negative response.
// Handlers run on the node's thread: a session handler that serves for long hands the socket to
// a thread of its own. All waits are real time.
#pragma once
#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/netbios/nb_wire.h"

namespace platform::netbios {

struct PeerOptions {
  std::uint32_t address = 0;    // host order
  std::uint32_t broadcast = 0;  // host order; 0: the address with its last 24 bits set (127/8 style)
  std::uint16_t nameServicePort = 137;
  std::uint16_t datagramPort = 138;
  std::uint16_t sessionPort = 139;
  wire::Name name{};                // the node's unique name
  std::vector<wire::Name> groups;   // group names it belongs to
};

class PeerNode {
 public:
  using DatagramHandler = std::function<void(PeerNode& node, const wire::Datagram& datagram)>;
  // Owns `fd` (a blocking socket after the positive response).
  using SessionHandler = std::function<void(int fd, const wire::Name& calling)>;
  // Serving sessions on the node's thread: called with each session message as it arrives (keep-
  // alives are skipped). Returns true to go on reading the session; false when it took the
  // socket over (closed it, or handed it on). `fd` is blocking. A session that ends, or brings
  // nothing within 5 s, is closed by the node.
  // `first` is true for the first message of a session.
  using MessageHandler = std::function<bool(int fd, const std::vector<std::uint8_t>& message, bool first)>;

  PeerNode(PeerOptions options, DatagramHandler onDatagram, SessionHandler onSession);
  ~PeerNode();
  PeerNode(const PeerNode&) = delete;
  PeerNode& operator=(const PeerNode&) = delete;

  // Set before Start(): sessions are served on the node's thread through `onMessage` instead of
  // being handed to the session handler; no thread waits for a caller's next message.
  void ServeSessionsInline(MessageHandler onMessage) { onMessage_ = std::move(onMessage); }

  // Opens the sockets and starts the node's thread; false when a port cannot be had.
  bool Start();
  void Stop();
  void SetName(const wire::Name& name);
  wire::Name Name() const;
  // Name queries the node answered (for its unique name and its group names).
  std::size_t QueriesAnswered() const { return queries_.load(); }

  // A DIRECT_UNIQUE datagram from the node's name to `to` at ip:port.
  bool SendDatagram(const wire::Name& to, std::uint32_t ip, std::uint16_t port, const std::vector<std::uint8_t>& data);

  // Session messages on a connected socket (blocking). Receive: 1 one message (keep-alives are
  // skipped), 0 the peer closed, -1 error or nothing within timeoutMs.
  static bool SendSessionMessage(int fd, const std::uint8_t* p, std::size_t n);
  static int ReceiveSessionMessage(int fd, std::vector<std::uint8_t>& out, int timeoutMs);

 private:
  void Loop();
  void OnNameService(int fd);
  void OnDatagram(int fd);
  void OnSession();
  struct Conn {
    int fd = -1;
    bool established = false;
    bool first = true;
    std::vector<std::uint8_t> buf;
    std::int64_t deadlineMs = 0;
  };
  // Reads what a connection has brought without waiting: false when it is over (closed or taken).
  bool Pump(Conn& c);
  std::vector<Conn> conns_;
  MessageHandler onMessage_;
  bool Holds(const wire::Name& n, bool* group) const;

  PeerOptions opt_;
  DatagramHandler onDatagram_;
  SessionHandler onSession_;
  mutable std::mutex mu_;
  int nsU_ = -1, nsB_ = -1, dgU_ = -1, dgB_ = -1, tcp_ = -1;
  int wake_[2] = {-1, -1};
  std::thread thread_;
  std::atomic<bool> stop_{false};
  std::atomic<std::size_t> queries_{0};
  std::uint16_t dgmId_ = 1;
};

}  // namespace platform::netbios

// IPX datagrams and SPX connections for the suite's programs, on a machine without an IPX stack.
//
// The stand-in reaches only other programs that use it (the suite's own programs and the box
// emulator); real IPX networks cannot be reached.
//
// Addresses. An IPX address is a 4-byte network number, a 6-byte node and a 2-byte socket number
// (SOCKADDR_IPX, all in wire order). A node stands for an IPv4 address: node = 02 00 a b c d for
// the IPv4 address a.b.c.d, so every node maps back to the host that owns it; FF FF FF FF FF FF is
// the broadcast node. This machine's network number is configured (default 00000001); a
// destination network of 00000000 means "this network". Network numbers are carried, not routed.
//
// Datagrams (IpxSocket(SOCK_DGRAM)). Each datagram travels in one UDP datagram as a 30-byte IPX
// header (checksum FFFF, length, transport control, packet type, destination and source network,
// node and socket) followed by the data, at most kIpxMaxData bytes. IPX socket n is UDP port
// UdpPortBase + n, so each IPX socket of a host is a UDP port of its own: a datagram to node N and
// socket n goes to the IPv4 address of N, port UdpPortBase + n; a datagram to the broadcast node
// goes to the configured broadcast address on that port and reaches every socket bound to n on
// every host of the segment (this one included). Several sockets of one host may bind the same
// well-known socket number (e.g. 0x0452): all of them receive broadcasts, a unicast datagram
// reaches one of them. Binding socket 0 takes a free dynamic socket number (0x4000-0x7FFF).
// A socket receives only datagrams whose header is well formed and whose destination socket is
// its own (and, for a socket bound to an explicit node, whose destination node is that node or the
// broadcast node); anything else that reaches its UDP port is dropped unseen. The sender's address
// that IpxRecvFrom reports is the source address of the IPX header.
//
// Wait on a datagram socket with IpxWaitReadable, not with poll(): it drops datagrams that the
// socket would not deliver, so "readable" means IpxRecvFrom has something to return.
//
// Connections (IpxSocket(SOCK_STREAM), SPX). An SPX connection to node N and socket n is a TCP
// connection to the IPv4 address of N, port TcpPortBase + n (0x0404 is TCP port 1028 with the
// default base of 0). After IpxConnect or IpxAccept the descriptor IS a connected TCP socket:
// send, recv, poll, setsockopt and close work on it directly.
//
// Configuration: file <root>/windows/ipx.ini, section [IPX]; environment variables override.
//   Enabled=1         0 switches the stand-in off: no IPX socket can be opened   PSADMIN_IPX_ENABLED
//   Network=00000001  this machine's network number, 8 hex digits              PSADMIN_IPX_NETWORK
//   UdpPortBase=0     UDP port of IPX socket n is UdpPortBase + n               PSADMIN_IPX_UDP_BASE
//   TcpPortBase=0     TCP port of SPX socket n is TcpPortBase + n               PSADMIN_IPX_TCP_BASE
//   Address=          IPv4 address that gives this machine's node (default: the first interface
//                     that is up, has a broadcast address and is not the loopback; else 127.0.0.1)
//                                                                               PSADMIN_IPX_ADDRESS
//   Broadcast=        where broadcast datagrams go (default: the broadcast address of that
//                     interface; 127.255.255.255 for the loopback)            PSADMIN_IPX_BROADCAST
// The configuration is read when a socket is opened (and on connect, accept and the address
// queries), so a test can point a program at its own ports.
//
// Results follow the sockets convention: -1 with errno set on failure. No function throws.
#pragma once
#include <sys/socket.h>

#include <cstddef>
#include <cstdint>

// The address family value that SOCKADDR_IPX carries (not a family of the Linux kernel).
constexpr std::uint16_t IPX_ADDRESS_FAMILY = 6;

// Largest data of one IPX datagram, and the size of the IPX header in front of it.
constexpr int kIpxHeaderSize = 30;
constexpr int kIpxMaxData = 1470;

struct SOCKADDR_IPX {
  std::uint16_t sa_family;      // IPX_ADDRESS_FAMILY
  std::uint8_t sa_netnum[4];    // network number, wire order
  std::uint8_t sa_nodenum[6];   // node, wire order
  std::uint16_t sa_socket;      // socket number in network byte order
};

// The stand-in's settings (see above). Addresses in host byte order.
struct IpxConfig {
  bool enabled = true;
  std::uint32_t network = 1;
  int udpPortBase = 0;
  int tcpPortBase = 0;
  std::uint32_t address = 0x7F000001u;
  std::uint32_t broadcast = 0x7FFFFFFFu;
};
IpxConfig IpxLoadConfig();

// Builds an address; `socketNumber` in host order.
SOCKADDR_IPX IpxMakeAddress(const std::uint8_t (&net)[4], const std::uint8_t (&node)[6],
                            std::uint16_t socketNumber);
// The socket number of an address, in host order.
std::uint16_t IpxSocketNumber(const SOCKADDR_IPX& address);

// Node of an IPv4 address (host order): 02 00 and the four address bytes.
void IpxNodeFromIPv4(std::uint32_t ipv4, std::uint8_t (&node)[6]);
// The IPv4 address (host order) a node stands for: its last four bytes. False for the broadcast
// node and for nodes that give 0.0.0.0 or 255.255.255.255.
bool IpxIPv4FromNode(const std::uint8_t (&node)[6], std::uint32_t& ipv4);

// This machine's IPX address (configured network, node of the configured address, socket 0).
// 0, or -1 (errno EAFNOSUPPORT) when the stand-in is switched off.
int IpxLocalAddress(SOCKADDR_IPX* out);

// Opens an IPX socket: SOCK_DGRAM (IPX datagrams sent with `packetType`, 0-255) or SOCK_STREAM
// (SPX). Returns a descriptor, or -1 (EAFNOSUPPORT when the stand-in is switched off, EINVAL for
// another type).
int IpxSocket(int type, int packetType = 0);

// Binds to a local address. Network and node all zero mean "this machine"; socket 0 takes a free
// dynamic socket number (datagrams) or any port (SPX, the usual bind before a connect). A datagram
// socket bound to an explicit node sends with that node as source and takes only unicast datagrams
// addressed to it; an SPX socket bound to an explicit node listens on that node's IPv4 address.
// EINVAL for a datagram socket that is already bound or a socket number beyond the port range.
int IpxBind(int fd, const SOCKADDR_IPX* local);

// Allows sending to the broadcast node (a datagram to it fails with EACCES otherwise).
int IpxSetBroadcast(int fd, bool on);
// Changes the packet type of the datagrams a socket sends.
int IpxSetPacketType(int fd, int packetType);

// Sends one datagram; an unbound socket is bound to a dynamic socket number first. Returns `length`
// or -1 (EMSGSIZE above kIpxMaxData, EINVAL for destination socket 0 or one beyond the port range,
// EADDRNOTAVAIL for a node that stands for no host, EACCES for a broadcast without IpxSetBroadcast).
int IpxSendTo(int fd, const void* data, int length, const SOCKADDR_IPX* to);

// Receives the data of the next datagram for this socket (at most `size` bytes; the rest of a longer
// datagram is lost) and the sender's IPX address. Blocks like recvfrom unless `flags` holds
// MSG_DONTWAIT (then -1 with EAGAIN when nothing is there). -1 with EINVAL on an unbound socket.
int IpxRecvFrom(int fd, void* buffer, int size, SOCKADDR_IPX* from, int flags = 0);

// Waits at most `ms` (platform clock; negative: no limit) until a datagram for this socket is
// waiting (datagram sockets) or the socket is readable (SPX). 1 ready, 0 timed out, -1 failure.
int IpxWaitReadable(int fd, std::int64_t ms);

// Connects an SPX socket to a remote address. `waitMs` bounds the connect (platform clock;
// negative: the system's own limit). 0, or -1 (EADDRNOTAVAIL for a node that stands for no host,
// EINVAL for socket 0, ECONNREFUSED, ETIMEDOUT, ...).
int IpxConnect(int fd, const SOCKADDR_IPX* remote, std::int64_t waitMs = -1);

// The listening side of SPX: listen on a bound SPX socket, accept one connection (a connected
// descriptor, and the peer's address when `from` is given).
int IpxListen(int fd, int backlog);
int IpxAccept(int fd, SOCKADDR_IPX* from);

// The local address of a socket: its network, node and socket number.
int IpxGetSockName(int fd, SOCKADDR_IPX* out);

// Closes an IPX socket and forgets what the stand-in kept about it. (A connected SPX socket may
// also be closed with close().)
int IpxClose(int fd);

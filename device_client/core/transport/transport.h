// The request framing and the stream and session exchanges of the print-server management protocol,
// shared by the console's access library and the wizard's transport library. Every difference
// between the two libraries (wait times, pauses, how the NetBIOS time-out is formed) is a field of
// TransportParams; nothing here keeps state of its own except the two replaceable stream providers.
//
// Result codes: 0 success, kErrNetwork (-5) no connection / send or receive failed / no answer in
// time / a reply that breaks the framing or does not fit, kErrCommand (-6) the box set the error
// byte of a reply header. No function here throws.
#pragma once
#include <cstdint>
#include <functional>

#include "device_client/core/wire_layout.h"

namespace core {

constexpr int kOk = 0;
constexpr int kErrNetwork = -5;
constexpr int kErrCommand = -6;

// The limits and waits of one transport library.
struct TransportParams {
  int socketWaitMs;                // each wait of a stream exchange (connect, header, data)
  int netbiosReceiveWaitMs;        // each NetBIOS session receive
  int pauseAfterReceiveTimeoutMs;  // pause after a NetBIOS receive that timed out (0: none)
  int callAttempts;                // NetBIOS CALL attempts
  int pauseAfterFailedCallMs;      // pause after every failed CALL, the last one included
  bool timeoutLowByteOnly;         // NetBIOS time-out formed from the low byte of the time-out only
  int sendBufferSize;              // SO_SNDBUF of a stream connection
  int receiveBufferSize;           // SO_RCVBUF of a stream connection
};

// The longest one exchange may take, on platform::GetClock(): kExchangeWaits times the library's
// wait for one step (`waitMs`: params.socketWaitMs over TCP and SPX, params.netbiosReceiveWaitMs
// over NetBIOS), counted from the first request byte (NetBIOS: from the first reply receive). A
// whole reply takes a small part of one wait on a LAN (a 10 KB configuration text is ten
// chunks), and a box that is slow to start answering still gets the whole wait for every step;
// but a box that keeps dripping bytes, or keeps sending empty chunks with the more flag set,
// satisfies every single wait and would hold the caller (the console's window) for as long as it
// likes. It is cut off with kErrNetwork once the limit has passed. With the console's waits that
// is 60 s over TCP and SPX and 30 s (plus the receive under way, whose wait and cancel end it
// within one netbiosReceiveWaitMs, a message cut off half-way included) over NetBIOS.
constexpr int kExchangeWaits = 3;
std::int64_t ExchangeLimitMs(int waitMs);

// Which reply header a stream carries: 4 bytes over SPX, 5 bytes over TCP (and NetBIOS).
enum class ReplyHeader { kSpx, kStream };

// Size of one request chunk on the wire (header + at most 384 data bytes).
constexpr int kMaxRequestChunkBytes = wire::kRequestHeaderSize + wire::kMaxRequestChunk;

// Writes the chunk of `request` that starts at `offset` into `out` ('@', more flag, uint16 LE
// length, data) and returns its size (4 + n). `offset` must be below `length`.
int BuildRequestChunk(const char* request, int length, int offset,
                      std::uint8_t (&out)[kMaxRequestChunkBytes]);

// Sends a request as chunks of at most 384 bytes through `send`, which returns the bytes it sent
// or -1. A request of length 0 sends nothing. Returns 0, or kErrNetwork when a send fails or is
// short (or the length is negative).
using ChunkSender = std::function<int(const std::uint8_t* data, int size)>;
int SendRequestChunks(const char* request, int length, const ChunkSender& send);

// The same over a connected socket (send() with MSG_NOSIGNAL, so a closed peer gives kErrNetwork
// instead of a signal). The socket may be non-blocking: when its buffer is full, each wait for
// room lasts at most `sendWaitMs` (of platform::GetClock()), then kErrNetwork.
int SendRequestOnSocket(int fd, const char* request, int length, int sendWaitMs = 20000);

// Reads one whole reply from a connected stream socket (blocking or not). Every receive takes
// what has arrived without waiting, as many chunk headers and data bytes as are there; only when
// nothing has arrived does it wait, at most params.socketWaitMs (platform::WaitReadable) from the
// previous step. A 4- or 5-byte header split over segments is reassembled. Bytes sent after the
// reply's last chunk may be taken from the socket and are dropped: a connection carries one
// exchange. The data of all chunks is concatenated into `reply`, which holds `capacity` bytes.
// 0: *replyLength = total data length. kErrCommand: a header's error byte was set (data of earlier
// chunks stays in `reply`, *replyLength untouched). kErrNetwork: a wait ran out, a receive failed,
// the peer closed the stream early, a chunk announced more than wire::kReceiveBufferSize bytes, or
// the reply would not fit in `capacity`, or the exchange went on beyond
// ExchangeLimitMs(params.socketWaitMs) from the call.
int ReceiveStreamReply(int fd, ReplyHeader header, const TransportParams& params, char* reply,
                       int capacity, int* replyLength);

// Gives a stream socket the send and receive buffer sizes of an exchange (params.sendBufferSize,
// params.receiveBufferSize; a size of 0 or less leaves that one alone). Results are ignored: a
// socket that keeps its own sizes still carries the exchange.
void SetExchangeBuffers(int fd, const TransportParams& params);

// One exchange over a connected stream socket: sends the request (each wait for room in the send
// buffer at most params.socketWaitMs) and reads the reply (the two functions above), the whole
// within ExchangeLimitMs(params.socketWaitMs). The socket's buffer sizes are its opener's work
// (SetExchangeBuffers; StreamProvider::ConnectForExchange does it). Does not close `fd`.
int StreamExchange(int fd, ReplyHeader header, const TransportParams& params, const char* request,
                   int requestLength, char* reply, int capacity, int* replyLength);

// Reads a reply that arrives as whole messages (a NetBIOS session). `receive` fills at most
// `size` bytes and returns the message length, or -1 (failure or time-out: it does its own wait).
// The first message of each chunk starts with the 5-byte reply header; the rest of that message
// and the following messages are the chunk's data until its length is reached; the next message
// starts the next chunk. A message that brings more bytes than its chunk still needs, or a first
// message shorter than the header, breaks the framing: kErrNetwork. No receive starts once
// `limitMs` (of platform::GetClock(); negative: no limit) has passed since the call: kErrNetwork.
// Results as ReceiveStreamReply.
using MessageReceiver = std::function<int(std::uint8_t* buffer, int size)>;
int ReceiveMessageReply(const MessageReceiver& receive, char* reply, int capacity,
                        int* replyLength, std::int64_t limitMs = -1);

// The NetBIOS send/receive time-out of a call, in 500 ms units: twice the time-out (of its low
// byte only when params.timeoutLowByteOnly), clamped to 0..255 so it fits the control-block byte.
std::uint8_t NetbiosTimeoutUnits(int timeOut, const TransportParams& params);

// Runs `attempt` up to params.callAttempts times until it succeeds, pausing
// params.pauseAfterFailedCallMs (through platform::GetClock()) after every failed attempt, the last
// one included. True when an attempt succeeded.
bool CallWithRetries(const std::function<bool()>& attempt, const TransportParams& params);

// Opens stream connections of one address family. The TCP provider is built in; the SPX provider
// is a stand-in that fails until an IPX transport is installed with SetStreamProvider.
class StreamProvider {
 public:
  virtual ~StreamProvider() = default;
  // Whether a socket of this family can be opened at all (PSInit's probe).
  virtual bool Probe() = 0;
  // Connects to the box at `address` (the 20-byte address field of a device record: dotted IPv4
  // text for TCP, network number and node for SPX). Returns a connected socket descriptor, or -1.
  // A connect waits at most params.socketWaitMs. The built-in TCP provider leaves the socket
  // non-blocking (the exchange functions above wait with their own limits).
  virtual int Connect(const std::uint8_t (&address)[20], const TransportParams& params) = 0;
  // Opens the connection of one StreamExchange: as Connect, with the exchange's buffer sizes
  // (SetExchangeBuffers) set, except that the handshake may still be under way when it returns.
  // The exchange's first send then waits for it like any wait for room in the send buffer (at
  // most params.socketWaitMs, within the exchange's limit), and a connect that failed fails that
  // send. The built-in TCP provider does so, and sets the sizes on the new socket before its
  // connect, where they cost least; saves a wait per exchange when the handshake has already
  // finished, as it has on a LAN.
  virtual int ConnectForExchange(const std::uint8_t (&address)[20], const TransportParams& params) {
    const int fd = Connect(address, params);
    if (fd >= 0) SetExchangeBuffers(fd, params);
    return fd;
  }
};

enum class StreamKind { kTcp, kSpx };
StreamProvider& GetStreamProvider(StreamKind kind);
// Installs a provider for the whole process (nullptr restores the built-in one). Not thread-safe:
// install at start-up or in a test's set-up.
void SetStreamProvider(StreamKind kind, StreamProvider* provider);

// The built-in TCP connect: the dotted text (NUL-terminated within `address`, parsed as inet_addr
// does, so 255.255.255.255 is refused) on `port`. A non-blocking, close-on-exec socket
// descriptor, or -1. kConnected waits (at most params.socketWaitMs) until the handshake has
// finished; kStarted returns as soon as the connect is under way, with the exchange's buffer
// sizes set before it (see ConnectForExchange).
enum class TcpOpen { kConnected, kStarted };
int OpenTcpStream(const std::uint8_t (&address)[20], std::uint16_t port,
                  const TransportParams& params, TcpOpen until = TcpOpen::kConnected);

}  // namespace core

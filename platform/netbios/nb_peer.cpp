#include "platform/netbios/nb_peer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>

#include "platform/fd_io.h"
#include "platform/netbios/nb_common.h"

namespace platform::netbios {

PeerNode::PeerNode(PeerOptions options, DatagramHandler onDatagram, SessionHandler onSession)
    : opt_(std::move(options)), onDatagram_(std::move(onDatagram)), onSession_(std::move(onSession)) {
  if (opt_.broadcast == 0) opt_.broadcast = opt_.address | 0x00FFFFFFu;
}

PeerNode::~PeerNode() { Stop(); }

bool PeerNode::Start() {
  nsU_ = OpenUdp(opt_.address, opt_.nameServicePort);
  // The broadcast address is shared with the machine's NetBIOS service, which lets only sockets of
  // its own user share it.
  nsB_ = OpenUdp(opt_.broadcast, opt_.nameServicePort, UdpSharing::kSameUser);
  dgU_ = OpenUdp(opt_.address, opt_.datagramPort);
  dgB_ = OpenUdp(opt_.broadcast, opt_.datagramPort, UdpSharing::kSameUser);
  tcp_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  int one = 1;
  setsockopt(tcp_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_port = htons(opt_.sessionPort);
  sa.sin_addr.s_addr = htonl(opt_.address);
  bool tcpOk = tcp_ >= 0 && bind(tcp_, reinterpret_cast<sockaddr*>(&sa), sizeof sa) == 0 && listen(tcp_, 16) == 0;
  if (tcpOk) {
    // A caller's connection is taken when its session request has come: one wake-up for both.
    int seconds = 5;
    setsockopt(tcp_, IPPROTO_TCP, TCP_DEFER_ACCEPT, &seconds, sizeof seconds);
  }
  if (nsU_ < 0 || nsB_ < 0 || dgU_ < 0 || dgB_ < 0 || !tcpOk || pipe2(wake_, O_CLOEXEC) != 0) {
    Stop();
    return false;
  }
  stop_ = false;
  thread_ = std::thread([this] { Loop(); });
  return true;
}

void PeerNode::Stop() {
  stop_ = true;
  if (wake_[1] >= 0) {
    char c = 'x';
    ssize_t w = write(wake_[1], &c, 1);
    (void)w;
  }
  if (thread_.joinable()) thread_.join();
  for (int* fd : {&nsU_, &nsB_, &dgU_, &dgB_, &tcp_, &wake_[0], &wake_[1]}) {
    if (*fd >= 0) close(*fd);
    *fd = -1;
  }
}

void PeerNode::SetName(const wire::Name& name) {
  std::lock_guard<std::mutex> lk(mu_);
  opt_.name = name;
}

wire::Name PeerNode::Name() const {
  std::lock_guard<std::mutex> lk(mu_);
  return opt_.name;
}

bool PeerNode::Holds(const wire::Name& n, bool* group) const {
  std::lock_guard<std::mutex> lk(mu_);
  *group = false;
  if (n == opt_.name) return true;
  for (const wire::Name& g : opt_.groups) {
    if (g == n) {
      *group = true;
      return true;
    }
  }
  return false;
}

static std::int64_t PeerNowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

void PeerNode::Loop() {
  std::vector<pollfd> fds;
  while (!stop_) {
    fds = {{nsU_, POLLIN, 0}, {nsB_, POLLIN, 0}, {dgU_, POLLIN, 0},
           {dgB_, POLLIN, 0}, {tcp_, POLLIN, 0}, {wake_[0], POLLIN, 0}};
    int timeout = -1;
    const std::int64_t now = PeerNowMs();
    for (const Conn& c : conns_) {
      fds.push_back({c.fd, POLLIN, 0});
      const std::int64_t left = std::max<std::int64_t>(0, c.deadlineMs - now) + 1;
      if (timeout < 0 || left < timeout) timeout = static_cast<int>(std::min<std::int64_t>(left, 60000));
    }
    int r = poll(fds.data(), fds.size(), timeout);
    if (r < 0 && errno != EINTR) break;
    if (stop_) break;
    if (r > 0) {
      if (fds[0].revents != 0) OnNameService(nsU_);
      if (fds[1].revents != 0) OnNameService(nsB_);
      if (fds[2].revents != 0) OnDatagram(dgU_);
      if (fds[3].revents != 0) OnDatagram(dgB_);
    }
    // conns_ lines up with fds from index 6 until OnSession adds to it.
    const std::int64_t after = PeerNowMs();
    for (std::size_t i = conns_.size(); i-- > 0;) {
      const bool ready = r > 0 && fds[6 + i].revents != 0;
      bool keep = true;
      if (ready) {
        keep = Pump(conns_[i]);
      } else if (after >= conns_[i].deadlineMs) {
        close(conns_[i].fd);
        keep = false;
      }
      if (!keep) conns_.erase(conns_.begin() + static_cast<std::ptrdiff_t>(i));
    }
    if (r > 0 && fds[4].revents != 0) OnSession();
  }
  for (const Conn& c : conns_) close(c.fd);
  conns_.clear();
}

bool PeerNode::Pump(Conn& c) {
  std::uint8_t chunk[4096];
  bool open = true;
  for (;;) {
    ssize_t n = recv(c.fd, chunk, sizeof chunk, MSG_DONTWAIT);
    if (n > 0) {
      c.buf.insert(c.buf.end(), chunk, chunk + n);
      if (static_cast<std::size_t>(n) < sizeof chunk) break;
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
    open = false;  // the caller hung up (or the connection failed)
    break;
  }
  std::size_t off = 0;
  bool keep = true;
  while (keep && c.buf.size() - off >= 4) {
    std::uint8_t type = 0;
    std::uint32_t len = 0;
    wire::ReadSessionHeader(c.buf.data() + off, type, len);
    if (!c.established && len > 256) {
      keep = false;
      close(c.fd);
      break;
    }
    if (c.buf.size() - off - 4 < len) break;
    const std::uint8_t* body = c.buf.data() + off + 4;
    off += 4 + len;
    if (type == wire::kSsnKeepAlive) continue;
    if (!c.established) {
      wire::Name called{}, calling{};
      bool group = false;
      const bool ok = type == wire::kSsnRequest && wire::ParseSessionRequestBody(body, len, called, calling);
      std::uint8_t out[5];
      if (ok && Holds(called, &group) && !group) {
        wire::PutSessionHeader(wire::kSsnPositive, 0, out);
        if (!platform::SendAll(c.fd, out, 4)) {
          close(c.fd);
          return false;
        }
        c.established = true;
        c.deadlineMs = PeerNowMs() + 5000;
        continue;
      }
      wire::PutSessionHeader(wire::kSsnNegative, 1, out);
      out[4] = ok ? wire::kSsnErrCalledNotPresent : wire::kSsnErrUnspecified;
      platform::SendAll(c.fd, out, 5);
      close(c.fd);
      return false;
    }
    if (type != wire::kSsnMessage) {
      close(c.fd);
      return false;
    }
    const std::vector<std::uint8_t> message(body, body + len);
    c.deadlineMs = PeerNowMs() + 5000;
    const bool first = c.first;
    c.first = false;
    if (!onMessage_(c.fd, message, first)) return false;
  }
  c.buf.erase(c.buf.begin(), c.buf.begin() + static_cast<std::ptrdiff_t>(off));
  if (!keep) return false;
  if (!open) {
    close(c.fd);
    return false;
  }
  return true;
}

void PeerNode::OnNameService(int fd) {
  UdpDatagram in;
  if (!ReceiveUdp(fd, opt_.address, opt_.nameServicePort, in)) return;
  wire::NsPacket p;
  if (!wire::ParseNsPacket(in.bytes, in.size, p) || p.response || p.questions.empty()) return;
  bool group = false;
  if (!Holds(p.questions[0].name, &group)) return;
  // Only a query for a name of the NB type and a registration get an answer, of the same opcode.
  wire::NsPacket resp = wire::AnswerTo(p, p.opcode);
  wire::NsRecord rr;
  rr.name = p.questions[0].name;
  rr.rdata = wire::NbRdata(group ? wire::kNbFlagGroup : 0, opt_.address);
  if (p.opcode == wire::kOpQuery && p.questions[0].type == wire::kTypeNB) {
    rr.ttl = 300000;
  } else if (p.opcode == wire::kOpRegistration) {
    std::uint16_t flags = 0;
    std::uint32_t address = 0;
    bool requestGroup = !p.additional.empty() && wire::ReadNbRdata(p.additional[0].rdata, flags, address) &&
                        (flags & wire::kNbFlagGroup) != 0;
    if (group && requestGroup) return;
    resp.rcode = wire::kRcodeActiveError;
  } else {
    return;
  }
  resp.answers.push_back(rr);
  if (SendUdp(nsU_, in.address, in.port, wire::BuildNsPacket(resp)) && resp.opcode == wire::kOpQuery) ++queries_;
}

void PeerNode::OnDatagram(int fd) {
  UdpDatagram in;
  if (!ReceiveUdp(fd, opt_.address, opt_.datagramPort, in)) return;
  wire::Datagram d;
  if (!wire::ParseDatagram(in.bytes, in.size, d)) return;
  bool group = false;
  if (!Holds(d.destination, &group) || !onDatagram_) return;
  onDatagram_(*this, d);
}

void PeerNode::OnSession() {
  int fd = accept4(tcp_, nullptr, nullptr, SOCK_CLOEXEC);
  if (fd < 0) return;
  // Session messages go out as they are written.
  int one = 1;
  setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  if (onMessage_) {
    // The session request is read as it comes, by the loop; what is there already is read now.
    if (conns_.size() >= 64) {
      close(fd);
      return;
    }
    Conn c;
    c.fd = fd;
    c.deadlineMs = PeerNowMs() + 5000;
    if (Pump(c)) conns_.push_back(std::move(c));
    return;
  }
  std::uint8_t hdr[4];
  std::uint8_t type = 0;
  std::uint32_t len = 0;
  do {
    if (!platform::ReadExactly(fd, hdr, 4, 5000)) {
      close(fd);
      return;
    }
    wire::ReadSessionHeader(hdr, type, len);
  } while (type == wire::kSsnKeepAlive);
  std::vector<std::uint8_t> body(len);
  wire::Name called{}, calling{};
  bool group = false;
  bool ok = type == wire::kSsnRequest && len <= 256 &&
            platform::ReadExactly(fd, body.data(), len, 5000) &&
            wire::ParseSessionRequestBody(body.data(), len, called, calling);
  std::uint8_t out[5];
  if (ok && Holds(called, &group) && !group && onSession_) {
    wire::PutSessionHeader(wire::kSsnPositive, 0, out);
    if (!platform::SendAll(fd, out, 4)) {
      close(fd);
      return;
    }
    onSession_(fd, calling);
    return;
  }
  wire::PutSessionHeader(wire::kSsnNegative, 1, out);
  out[4] = ok ? wire::kSsnErrCalledNotPresent : wire::kSsnErrUnspecified;
  platform::SendAll(fd, out, 5);
  close(fd);
}

bool PeerNode::SendDatagram(const wire::Name& to, std::uint32_t ip, std::uint16_t port,
                            const std::vector<std::uint8_t>& data) {
  wire::Datagram d;
  d.type = wire::kDgmDirectUnique;
  d.id = dgmId_++;
  d.sourceIp = opt_.address;
  d.sourcePort = opt_.datagramPort;
  d.source = Name();
  d.destination = to;
  d.data = data;
  return SendUdp(dgU_, ip, port, wire::BuildDatagram(d));
}

bool PeerNode::SendSessionMessage(int fd, const std::uint8_t* p, std::size_t n) {
  if (n > wire::kMaxSessionLength) return false;
  std::vector<std::uint8_t> msg(4 + n);
  wire::PutSessionHeader(wire::kSsnMessage, static_cast<std::uint32_t>(n), msg.data());
  if (n > 0) std::memcpy(msg.data() + 4, p, n);
  return platform::SendAll(fd, msg.data(), msg.size());
}

int PeerNode::ReceiveSessionMessage(int fd, std::vector<std::uint8_t>& out, int timeoutMs) {
  for (;;) {
    std::uint8_t hdr[4];
    pollfd pf{fd, POLLIN, 0};
    if (poll(&pf, 1, timeoutMs) <= 0) return -1;
    ssize_t peek = recv(fd, hdr, 1, MSG_PEEK);
    if (peek == 0) return 0;
    if (!platform::ReadExactly(fd, hdr, 4, timeoutMs)) return -1;
    std::uint8_t type = 0;
    std::uint32_t len = 0;
    wire::ReadSessionHeader(hdr, type, len);
    out.resize(len);  // a buffer kept across messages of one size is not cleared for each
    if (len > 0 && !platform::ReadExactly(fd, out.data(), len, timeoutMs)) return -1;
    if (type == wire::kSsnKeepAlive) continue;
    return type == wire::kSsnMessage ? 1 : -1;
  }
}

}  // namespace platform::netbios

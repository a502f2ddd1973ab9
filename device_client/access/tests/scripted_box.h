// A scripted box for the exchange tests: listens on port 34443 of a free loopback address
// (127.64.0.0/10), accepts one connection, checks nothing itself but records every request byte
// until the client closes, and answers with scripted bytes.
//
// Two ways to answer:
//  - Reply(bytes, closeAfter): a peer thread sends the bytes at once after accepting, then (when
//    closeAfter) shuts its sending side, and records the request until the client closes.
//  - Pieces(list): each piece is written by PieceClock at the client's next socket wait, so every
//    receive of the client sees exactly one piece (a header split over segments, data in parts).
#pragma once
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "platform/clock.h"

namespace testbox {

using Bytes = std::vector<std::uint8_t>;

inline Bytes B(std::initializer_list<int> values) {
  Bytes out;
  for (int v : values) out.push_back(static_cast<std::uint8_t>(v));
  return out;
}
inline Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}
inline Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }

// A 5-byte stream reply header (lead byte, more flag, error byte, uint16 LE length) and its data.
inline Bytes StreamChunk(bool more, int error, const std::string& data, int lead = 0x30) {
  Bytes out = B({lead, more ? 1 : 0, error, static_cast<int>(data.size() & 0xFF),
                 static_cast<int>((data.size() >> 8) & 0xFF)});
  out.insert(out.end(), data.begin(), data.end());
  return out;
}

class ScriptedBox {
 public:
  ScriptedBox() {
    std::random_device rd;
    std::mt19937 rng(rd());
    for (int attempt = 0; attempt < 200 && listener_ < 0; ++attempt) {
      // 127.64.0.0 - 127.127.255.254
      std::uint32_t host = (127u << 24) | (64u << 16) | (rng() % (64u << 16));
      if ((host & 0xFF) == 0 || (host & 0xFF) == 0xFF) continue;
      int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
      int one = 1;
      setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
      sockaddr_in a{};
      a.sin_family = AF_INET;
      a.sin_port = htons(34443);
      a.sin_addr.s_addr = htonl(host);
      if (bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 && listen(fd, 4) == 0) {
        listener_ = fd;
        char text[INET_ADDRSTRLEN];
        inet_ntop(AF_INET, &a.sin_addr, text, sizeof text);
        address_ = text;
      } else {
        close(fd);
      }
    }
  }
  ~ScriptedBox() {
    if (thread_.joinable()) thread_.join();
    if (peer_ >= 0) close(peer_);
    if (listener_ >= 0) close(listener_);
  }
  ScriptedBox(const ScriptedBox&) = delete;
  ScriptedBox& operator=(const ScriptedBox&) = delete;

  bool ok() const { return listener_ >= 0; }
  const std::string& address() const { return address_; }

  // Answers with `reply` as soon as the client connects.
  void Reply(Bytes reply, bool closeAfter = false) {
    thread_ = std::thread([this, reply = std::move(reply), closeAfter] {
      if (!Accept()) return;
      if (!reply.empty()) SendAll(reply);
      if (closeAfter) shutdown(peer_, SHUT_WR);
      Drain();
    });
  }

  // Closes the connection at once, without reading anything.
  void SlamDoor() {
    thread_ = std::thread([this] {
      if (!Accept()) return;
      linger l{1, 0};  // reset, so the client's next send fails
      setsockopt(peer_, SOL_SOCKET, SO_LINGER, &l, sizeof l);
      close(peer_);
      peer_ = -1;
      accepted_ = true;
      cv_.notify_all();
    });
  }

  // Answers piece by piece, one piece per client wait (see PieceClock). The request of
  // `requestBytes` bytes is read first.
  void Pieces(std::vector<Bytes> pieces, std::size_t requestBytes) {
    pieces_ = std::move(pieces);
    thread_ = std::thread([this, requestBytes] {
      if (!Accept()) return;
      Bytes buffer(4096);
      while (Received().size() < requestBytes) {
        pollfd p{peer_, POLLIN, 0};
        if (poll(&p, 1, 10000) <= 0) break;
        ssize_t n = recv(peer_, buffer.data(), buffer.size(), 0);
        if (n <= 0) break;
        std::lock_guard<std::mutex> lock(mu_);
        request_.insert(request_.end(), buffer.begin(), buffer.begin() + n);
      }
      {
        std::lock_guard<std::mutex> lock(mu_);
        ready_ = true;
      }
      cv_.notify_all();
    });
  }

  // Called by PieceClock before each client wait: writes the next piece once the request is in.
  void OnClientWait() {
    std::unique_lock<std::mutex> lock(mu_);
    if (!cv_.wait_for(lock, std::chrono::seconds(2), [this] { return ready_; })) return;
    if (next_ >= pieces_.size()) return;
    const Bytes& piece = pieces_[next_++];
    if (piece.empty()) {
      shutdown(peer_, SHUT_WR);
      return;
    }
    SendAll(piece);
  }

  // Everything the client sent (complete once the client has closed and the box was joined).
  Bytes Received() {
    std::lock_guard<std::mutex> lock(mu_);
    return request_;
  }
  Bytes Join() {
    if (thread_.joinable()) thread_.join();
    if (!pieces_.empty() && peer_ >= 0) Drain();
    return Received();
  }
  bool Accepted() {
    std::lock_guard<std::mutex> lock(mu_);
    return accepted_;
  }

 private:
  bool Accept() {
    pollfd p{listener_, POLLIN, 0};
    if (poll(&p, 1, 10000) <= 0) return false;
    int fd = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) return false;
    std::lock_guard<std::mutex> lock(mu_);
    peer_ = fd;
    accepted_ = true;
    return true;
  }
  void SendAll(const Bytes& data) {
    std::size_t sent = 0;
    while (sent < data.size()) {
      ssize_t n = send(peer_, data.data() + sent, data.size() - sent, MSG_NOSIGNAL);
      if (n <= 0) return;
      sent += static_cast<std::size_t>(n);
    }
  }
  void Drain() {
    Bytes buffer(4096);
    for (;;) {
      pollfd p{peer_, POLLIN, 0};
      if (poll(&p, 1, 10000) <= 0) return;
      ssize_t n = recv(peer_, buffer.data(), buffer.size(), 0);
      if (n <= 0) return;
      std::lock_guard<std::mutex> lock(mu_);
      request_.insert(request_.end(), buffer.begin(), buffer.begin() + n);
    }
  }

  int listener_ = -1;
  int peer_ = -1;
  std::string address_;
  std::thread thread_;
  std::mutex mu_;
  std::condition_variable cv_;
  Bytes request_;
  std::vector<Bytes> pieces_;
  std::size_t next_ = 0;
  bool ready_ = false;
  bool accepted_ = false;
};

// Virtual time whose every socket wait first lets the scripted box write its next piece.
class PieceClock : public platform::FakeClock {
 public:
  explicit PieceClock(ScriptedBox& box) : box_(box) {}
  std::int64_t RealWaitMs(std::int64_t ms) override {
    box_.OnClientWait();
    return platform::FakeClock::RealWaitMs(ms);
  }

 private:
  ScriptedBox& box_;
};

}  // namespace testbox

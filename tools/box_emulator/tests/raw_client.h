// A bare TCP client for the emulator's own tests. It frames requests and reads replies by hand,
// from the protocol's byte layout, without the emulator's or the device library's code.
#pragma once
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <string>
#include <vector>

namespace box_test {

constexpr int kWaitMs = 10000;  // bound on every wait for the emulator

struct Chunk {
  int lead = 0;
  int more = 0;
  int error = 0;
  std::string data;
};

struct Reply {
  std::vector<Chunk> chunks;
  std::string raw;      // every byte received
  bool closedEarly = false;  // the connection ended before a last chunk
  std::string Data() const {
    std::string d;
    for (const auto& c : chunks) d += c.data;
    return d;
  }
};

inline int Connect(const std::string& address, std::uint16_t port = 34443) {
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_port = htons(port);
  ::inet_pton(AF_INET, address.c_str(), &sa.sin_addr);
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  if (::connect(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

inline void SendRaw(int fd, const std::string& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
    if (n <= 0) return;
    done += static_cast<std::size_t>(n);
  }
}

// '@', more flag, uint16 little-endian length, data; at most `chunk` bytes each.
inline std::string Frame(const std::string& text, std::size_t chunk = 384) {
  std::string out;
  for (std::size_t pos = 0; pos < text.size(); pos += chunk) {
    const std::size_t n = std::min(chunk, text.size() - pos);
    out += '@';
    out += static_cast<char>(pos + n < text.size() ? 1 : 0);
    out += static_cast<char>(n & 0xFF);
    out += static_cast<char>(n >> 8);
    out += text.substr(pos, n);
  }
  return out;
}

// Reads until the peer closes (or kWaitMs without data).
inline std::string ReadAll(int fd) {
  std::string all;
  char buf[8192];
  for (;;) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, kWaitMs) <= 0) break;
    const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
    if (n <= 0) break;
    all.append(buf, static_cast<std::size_t>(n));
  }
  return all;
}

// Splits a byte stream into 5-byte-header chunks.
inline Reply ParseReply(const std::string& raw) {
  Reply r;
  r.raw = raw;
  std::size_t pos = 0;
  for (;;) {
    if (raw.size() - pos < 5) {
      r.closedEarly = true;
      return r;
    }
    Chunk c;
    c.lead = static_cast<unsigned char>(raw[pos]);
    c.more = static_cast<unsigned char>(raw[pos + 1]);
    c.error = static_cast<unsigned char>(raw[pos + 2]);
    const std::size_t n = static_cast<unsigned char>(raw[pos + 3]) |
                          static_cast<std::size_t>(static_cast<unsigned char>(raw[pos + 4])) << 8;
    pos += 5;
    if (raw.size() - pos < n) {
      c.data = raw.substr(pos);
      r.chunks.push_back(c);
      r.closedEarly = true;
      return r;
    }
    c.data = raw.substr(pos, n);
    pos += n;
    r.chunks.push_back(c);
    if (c.more == 0) return r;
  }
}

inline std::string Exchange(const std::string& address, const std::string& wireBytes) {
  const int fd = Connect(address);
  if (fd < 0) return "<connect failed>";
  SendRaw(fd, wireBytes);
  std::string raw = ReadAll(fd);
  ::close(fd);
  return raw;
}

inline Reply Request(const std::string& address, const std::string& text) {
  return ParseReply(Exchange(address, Frame(text)));
}

}  // namespace box_test

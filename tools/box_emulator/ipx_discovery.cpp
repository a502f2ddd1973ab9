#include "tools/box_emulator/ipx_discovery.h"

#include <arpa/inet.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

#include "platform/fd_io.h"
#include "platform/ipx/ipx.h"
#include "tools/box_emulator/box_emulator.h"
#include "tools/box_emulator/spx_front.h"

namespace box_emulator {
namespace {

constexpr std::uint8_t kZeroNet[4] = {};
constexpr std::uint8_t kZeroNode[6] = {};
// How long a request's connection may keep each next piece of the request waiting.
constexpr int kRequestWaitMs = 5000;

bool NodeOf(const std::string& address, std::uint8_t (&node)[6]) {
  in_addr a{};
  if (::inet_pton(AF_INET, address.c_str(), &a) != 1) return false;
  IpxNodeFromIPv4(ntohl(a.s_addr), node);
  return true;
}

}  // namespace

IpxDiscovery::IpxDiscovery() {
  sapFd_ = IpxSocket(SOCK_DGRAM, 4);
  SOCKADDR_IPX local = IpxMakeAddress(kZeroNet, kZeroNode, wire::kSapSocket);
  if (sapFd_ < 0 || IpxBind(sapFd_, &local) != 0) {
    if (sapFd_ >= 0) IpxClose(sapFd_);
    throw std::runtime_error("ipx discovery: cannot open the service socket");
  }
  wakeFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  thread_ = std::thread(&IpxDiscovery::Run, this);
}

IpxDiscovery::~IpxDiscovery() {
  stopping_ = true;
  std::uint64_t one = 1;
  ssize_t n = ::write(wakeFd_, &one, sizeof one);
  (void)n;
  thread_.join();
  IpxClose(sapFd_);
  for (int fd : listeners_) {
    if (fd >= 0) IpxClose(fd);
  }
  ::close(wakeFd_);
}

bool IpxDiscovery::Add(const Entry& entry) {
  int listener = -1;
  if (entry.answersSpx) {
    std::uint8_t node[6];
    if (!NodeOf(entry.address, node)) return false;
    std::uint8_t net[4];
    SOCKADDR_IPX own{};
    IpxLocalAddress(&own);
    std::memcpy(net, own.sa_netnum, 4);
    listener = IpxSocket(SOCK_STREAM);
    SOCKADDR_IPX at = IpxMakeAddress(net, node, wire::kSpxSocket);
    if (listener < 0 || IpxBind(listener, &at) != 0 || IpxListen(listener, 16) != 0) {
      if (listener >= 0) IpxClose(listener);
      return false;
    }
  }
  std::lock_guard<std::mutex> lock(mu_);
  entries_.push_back(entry);
  listeners_.push_back(listener);
  std::uint64_t one = 1;
  ssize_t n = ::write(wakeFd_, &one, sizeof one);  // let the loop watch the new listener
  (void)n;
  return true;
}

bool IpxDiscovery::AddBox(Box* box) {
  Entry entry;
  entry.address = box->Address();
  entry.block = box->DeviceInfoBlock();
  entry.box = box;
  return Add(entry);
}

void IpxDiscovery::AddServer(std::uint16_t serverType, const std::string& name) {
  std::lock_guard<std::mutex> lock(mu_);
  servers_.emplace_back(serverType, name);
}

void IpxDiscovery::Advertise() {
  const std::uint8_t everyNode[6] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
  const SOCKADDR_IPX all = IpxMakeAddress(kZeroNet, everyNode, wire::kSapSocket);
  IpxSetBroadcast(sapFd_, true);
  SendEntries(0x0002, &all);
}

void IpxDiscovery::AdvertiseEvery(int intervalMs) {
  advertiseMs_ = intervalMs > 0 ? intervalMs : 0;
  std::uint64_t one = 1;
  ssize_t n = ::write(wakeFd_, &one, sizeof one);
  (void)n;
}

std::size_t IpxDiscovery::QueryCount() const {
  std::lock_guard<std::mutex> lock(mu_);
  return queries_;
}

void IpxDiscovery::Run() {
  for (;;) {
    std::vector<pollfd> fds = {{wakeFd_, POLLIN, 0}, {sapFd_, POLLIN, 0}};
    std::vector<std::size_t> owners;
    {
      std::lock_guard<std::mutex> lock(mu_);
      for (std::size_t i = 0; i < listeners_.size(); ++i) {
        if (listeners_[i] < 0) continue;
        fds.push_back({listeners_[i], POLLIN, 0});
        owners.push_back(i);
      }
    }
    const int interval = advertiseMs_.load();
    const int ready = ::poll(fds.data(), fds.size(), interval > 0 ? interval : -1);
    if (ready < 0) {
      if (errno == EINTR) continue;
      return;
    }
    if (ready == 0) {
      Advertise();
      continue;
    }
    if (fds[0].revents != 0) {
      std::uint64_t value = 0;
      ssize_t n = ::read(wakeFd_, &value, sizeof value);
      (void)n;
      if (stopping_) return;
      continue;  // a new listener to watch
    }
    if (fds[1].revents != 0 && IpxWaitReadable(sapFd_, 0) == 1) {
      std::uint8_t buffer[256];
      SOCKADDR_IPX asker{};
      int n = IpxRecvFrom(sapFd_, buffer, sizeof buffer, &asker, MSG_DONTWAIT);
      if (n > 0) AnswerQuery(buffer, n, &asker);
    }
    for (std::size_t k = 2; k < fds.size(); ++k) {
      if (fds[k].revents == 0) continue;
      int served = IpxAccept(fds[k].fd, nullptr);
      if (served >= 0) Serve(served, owners[k - 2]);
    }
  }
}

void IpxDiscovery::AnswerQuery(const std::uint8_t* data, int size, const void* askerPtr) {
  if (size != 4 || data[0] != 0 || data[1] != 1) return;
  const std::uint16_t type = static_cast<std::uint16_t>((data[2] << 8) | data[3]);
  if (type != wire::kBoxSapServerType) {
    AnswerServerQuery(type, askerPtr);
    return;
  }
  {
    std::lock_guard<std::mutex> lock(mu_);
    ++queries_;
  }
  SendEntries(0x0002, askerPtr);
}

void IpxDiscovery::AnswerServerQuery(std::uint16_t type, const void* askerPtr) {
  std::vector<std::pair<std::uint16_t, std::string>> servers;
  {
    std::lock_guard<std::mutex> lock(mu_);
    ++queries_;
    servers = servers_;
  }
  SOCKADDR_IPX own{};
  IpxLocalAddress(&own);
  std::vector<std::uint8_t> answer = {0x00, 0x02};
  auto flush = [&] {
    if (answer.size() > 2) IpxSendTo(sapFd_, answer.data(), static_cast<int>(answer.size()),
                                     static_cast<const SOCKADDR_IPX*>(askerPtr));
    answer.resize(2);
  };
  std::uint8_t serial = 1;
  for (const auto& [serverType, name] : servers) {
    if (serverType != type) continue;
    std::uint8_t entry[64] = {};
    entry[0] = static_cast<std::uint8_t>(type >> 8);
    entry[1] = static_cast<std::uint8_t>(type & 0xFF);
    std::string text = name.substr(0, 47);
    if (type == wire::kNdsTreeSapType) {
      text = name.substr(0, 32);
      text.resize(32, '_');
      text += "4E1F0A27C3B5D2E8";  // the tree's own suffix after the padded name
      text.resize(47);
    }
    std::memcpy(entry + 2, text.data(), text.size());
    std::memcpy(entry + 50, own.sa_netnum, 4);
    entry[54] = 0x02;
    entry[59] = serial++;
    entry[60] = 0x04;
    entry[61] = 0x51;
    entry[63] = 1;
    answer.insert(answer.end(), entry, entry + 64);
    if (answer.size() >= 2 + 7 * 64) flush();
  }
  flush();
}

void IpxDiscovery::SendEntries(std::uint16_t responseType, const void* askerPtr) {
  std::vector<Entry> entries;
  {
    std::lock_guard<std::mutex> lock(mu_);
    entries = entries_;
  }
  for (Entry& e : entries) {
    if (e.box != nullptr) e.block = e.box->DeviceInfoBlock();
  }
  SOCKADDR_IPX own{};
  IpxLocalAddress(&own);
  // Up to 7 entries per answer datagram.
  std::vector<std::uint8_t> answer = {static_cast<std::uint8_t>(responseType >> 8),
                                     static_cast<std::uint8_t>(responseType & 0xFF)};
  auto flush = [&] {
    if (answer.size() > 2) IpxSendTo(sapFd_, answer.data(), static_cast<int>(answer.size()),
                                     static_cast<const SOCKADDR_IPX*>(askerPtr));
    answer.resize(2);
  };
  for (const Entry& e : entries) {
    std::uint8_t node[6];
    if (!NodeOf(e.address, node)) continue;
    for (int a = 0; a < e.advertisements; ++a) {
      std::uint8_t entry[64] = {};
      entry[0] = static_cast<std::uint8_t>(wire::kBoxSapServerType >> 8);
      entry[1] = static_cast<std::uint8_t>(wire::kBoxSapServerType & 0xFF);
      const char* name = reinterpret_cast<const char*>(e.block.data() + wire::pid::kDefaultName);
      std::memcpy(entry + 2, name, strnlen(name, wire::pid::kNameSize));
      std::memcpy(entry + 50, own.sa_netnum, 4);
      std::memcpy(entry + 54, node, 6);
      entry[60] = static_cast<std::uint8_t>(wire::kSpxSocket >> 8);
      entry[61] = static_cast<std::uint8_t>(wire::kSpxSocket & 0xFF);
      entry[63] = 1;
      answer.insert(answer.end(), entry, entry + 64);
      if (answer.size() >= 2 + 7 * 64) flush();
    }
  }
  flush();
}

void IpxDiscovery::Serve(int fd, std::size_t index) {
  std::array<std::uint8_t, wire::pid::kSize> block;
  Box* box = nullptr;
  {
    std::lock_guard<std::mutex> lock(mu_);
    block = entries_[index].block;
    box = entries_[index].box;
  }
  if (box != nullptr) {
    ServeSpxConnection(*box, fd);
    return;
  }
  std::uint8_t head[4];
  std::string request;
  bool more = true;
  while (more) {
    if (!platform::ReadExactly(fd, head, 4, kRequestWaitMs) || head[0] != wire::kRequestMarker) {
      ::close(fd);
      return;
    }
    more = head[1] != 0;
    const std::size_t length = head[2] | (static_cast<std::size_t>(head[3]) << 8);
    std::string chunk(length, '\0');
    if (length > 0 && !platform::ReadExactly(fd, chunk.data(), length, kRequestWaitMs)) {
      ::close(fd);
      return;
    }
    request += chunk;
  }
  std::string reply;
  if (request == "9007:\n") {
    reply = std::string("\0\0", 2);
    reply += static_cast<char>(block.size() & 0xFF);
    reply += static_cast<char>(block.size() >> 8);
    reply.append(reinterpret_cast<const char*>(block.data()), block.size());
  } else {
    reply = std::string("\0\1\0\0", 4);
  }
  ::send(fd, reply.data(), reply.size(), MSG_NOSIGNAL);
  ::close(fd);
}

}  // namespace box_emulator

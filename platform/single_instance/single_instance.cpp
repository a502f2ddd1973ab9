#include "platform/single_instance/single_instance.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "platform/ascii.h"
#include "platform/clock.h"
#include "platform/fd_io.h"
#include "platform/ownership.h"
#include "platform/paths.h"

namespace platform {
namespace {

constexpr int kServeWaitMs = 1000;
constexpr std::int64_t kRetryMs = 20;

// File names stay short whatever the name is: its 64-bit FNV-1a hash in hexadecimal.
std::string FileStem(const std::string& name) {
  std::uint64_t h = 1469598103934665603ULL;
  for (unsigned char c : name) {
    h ^= c;
    h *= 1099511628211ULL;
  }
  char text[40];
  std::snprintf(text, sizeof text, "instance-%016llx", static_cast<unsigned long long>(h));
  return text;
}

}  // namespace

// Binds or connects `fd` to the socket file `path`. A path too long for sun_path is reached
// through the directory's descriptor (/proc/self/fd/N/file), which is always short.
bool ConnectOrBindSocket(int fd, const std::string& path, bool bind) {
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  std::string target = path;
  int dirFd = -1;
  if (target.size() >= sizeof addr.sun_path) {
    const std::size_t slash = path.rfind('/');
    dirFd = ::open(path.substr(0, slash).c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (dirFd < 0) return false;
    target = "/proc/self/fd/" + std::to_string(dirFd) + path.substr(slash);
  }
  std::memcpy(addr.sun_path, target.c_str(), target.size() + 1);
  // A bound socket file takes the socket's own mode less the umask: 0600 first, so that no umask
  // (000 included) lets another user connect; set again on the file before anyone can listen.
  if (bind && ::fchmod(fd, 0600) != 0) {
    const int saved = errno;
    if (dirFd >= 0) ::close(dirFd);
    errno = saved;
    return false;
  }
  int r;
  do {
    r = bind ? ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr)
             : ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
  } while (r != 0 && errno == EINTR);
  if (r == 0 && bind && ::chmod(target.c_str(), 0600) != 0) r = -1;
  const int saved = errno;
  if (dirFd >= 0) ::close(dirFd);
  errno = saved;
  return r == 0;
}

namespace {

// Reads one line (up to the line feed, at most kMaxLine characters) within waitMs in all, so a
// client that sends slowly cannot hold the reader longer than that.
bool ReadLine(int fd, std::string& line, int waitMs) {
  line.clear();
  Clock& clock = GetClock();
  const std::int64_t end = clock.SteadyMs() + waitMs;
  for (;;) {
    const std::int64_t left = end - clock.SteadyMs();
    char c = 0;
    if (left <= 0 || !ReadExactly(fd, &c, 1, static_cast<int>(clock.RealWaitMs(left)))) return false;
    if (c == '\n') return true;
    if (line.size() >= SingleInstance::kMaxLine) return false;
    line.push_back(c);
  }
}

bool IsLine(const std::string& text) {
  return text.size() <= SingleInstance::kMaxLine && !platform::HasAsciiControl(text);
}

bool SendLine(int fd, const std::string& text) {
  const std::string line = text + "\n";
  return SendAll(fd, line.data(), line.size());
}

}  // namespace

SingleInstance::~SingleInstance() { Release(); }

std::string SingleInstance::SocketPath(const std::string& name) {
  return JoinPath(ObjectsDirectory(), FileStem(name)) + ".sock";
}

SingleInstance::Result SingleInstance::Acquire(const std::string& name) {
  Release();
  error_.clear();
  const std::string stem = JoinPath(ObjectsDirectory(), FileStem(name));
  const int lockFd = OpenOrCreate(stem + ".lock", O_RDWR | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (lockFd < 0) {
    error_ = std::string("cannot open the lock file: ") + std::strerror(errno);
    return Result::kFailed;
  }
  if (::flock(lockFd, LOCK_EX | LOCK_NB) != 0) {
    const bool elsewhere = errno == EWOULDBLOCK;
    error_ = elsewhere ? "another instance runs" : std::strerror(errno);
    ::close(lockFd);
    return elsewhere ? Result::kOwnedElsewhere : Result::kFailed;
  }
  // Holding the lock, any socket file left behind belongs to a dead owner.
  socketPath_ = SocketPath(name);
  ::unlink(socketPath_.c_str());
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0 || !ConnectOrBindSocket(fd, socketPath_, true) || ::listen(fd, 8) != 0) {
    error_ = std::string("cannot listen: ") + std::strerror(errno);
    if (fd >= 0) ::close(fd);
    ::close(lockFd);
    return Result::kFailed;
  }
  lockFd_ = lockFd;
  listenFd_ = fd;
  return Result::kOwner;
}

bool SingleInstance::ServeOne(const std::function<std::string(const std::string&)>& answer) {
  if (listenFd_ < 0) return false;
  int client;
  do {
    client = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
  } while (client < 0 && errno == EINTR);
  if (client < 0) return false;
  std::string request;
  if (ReadLine(client, request, kServeWaitMs)) {
    std::string reply = answer(request);
    if (!IsLine(reply)) reply.clear();
    SendLine(client, reply);
  }
  ::close(client);
  return true;
}

void SingleInstance::Release() {
  if (listenFd_ >= 0) {
    ::unlink(socketPath_.c_str());
    ::close(listenFd_);
    listenFd_ = -1;
  }
  if (lockFd_ >= 0) {
    ::close(lockFd_);
    lockFd_ = -1;
  }
}

std::string AskInstance(const std::string& name, const std::string& request, int waitMs) {
  if (!IsLine(request)) return {};
  const std::string path = SingleInstance::SocketPath(name);
  Clock& clock = GetClock();
  const std::int64_t end = clock.SteadyMs() + (waitMs > 0 ? waitMs : 0);
  for (;;) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return {};
    if (ConnectOrBindSocket(fd, path, false)) {
      std::string reply;
      const std::int64_t left = end - clock.SteadyMs();
      const int wait = static_cast<int>(clock.RealWaitMs(left > 0 ? left : 0));
      const bool ok = SendLine(fd, request) && ReadLine(fd, reply, wait);
      ::close(fd);
      return ok ? reply : std::string();
    }
    ::close(fd);
    // No listener yet (an owner still starting): try again until the time is up.
    if (clock.SteadyMs() + kRetryMs > end) return {};
    clock.SleepMs(kRetryMs);
  }
}

}  // namespace platform

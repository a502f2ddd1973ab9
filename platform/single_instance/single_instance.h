// One running instance of a program per platform root, and a way for a second start to reach it.
//
// The first process that acquires a name owns it: it holds an exclusive flock() on
// <root>/objects/instance-<hash>.lock and listens on the local (AF_UNIX) socket
// <root>/objects/instance-<hash>.sock (both 0600, whatever the umask). The kernel drops the lock
// when the owner dies, so a killed owner blocks nothing: the next owner removes the socket file it
// left and binds anew.
//
// A second start that fails to acquire the name asks the owner through the socket with
// AskInstance: one short request line, one short answer line. The owner serves requests from its
// event loop (ListenFd() becomes readable; ServeOne answers one request).
#pragma once
#include <functional>
#include <string>

namespace platform {

class SingleInstance {
 public:
  // Requests and answers are single lines of at most this many characters (no line feed).
  static constexpr std::size_t kMaxLine = 63;

  SingleInstance() = default;
  ~SingleInstance();
  SingleInstance(const SingleInstance&) = delete;
  SingleInstance& operator=(const SingleInstance&) = delete;

  enum class Result {
    kOwner,          // this process owns the name and listens
    kOwnedElsewhere, // another live process owns it
    kFailed,         // the files under the root cannot be made (LastError() says why)
  };
  // Tries to become the owner of `name`.
  Result Acquire(const std::string& name);
  bool IsOwner() const { return lockFd_ >= 0; }
  // The listening socket (non-blocking, close-on-exec); -1 when not the owner.
  int ListenFd() const { return listenFd_; }
  // Accepts one waiting request, if any, and sends back answer(request). A client that sends
  // nothing usable within a second is dropped. False when no request was waiting.
  bool ServeOne(const std::function<std::string(const std::string& request)>& answer);
  // Lets go of the name (also done by the destructor).
  void Release();
  const std::string& LastError() const { return error_; }
  // The socket file of `name` under the current root.
  static std::string SocketPath(const std::string& name);

 private:
  int lockFd_ = -1;
  int listenFd_ = -1;
  std::string socketPath_;
  std::string error_;
};

// Binds (bind true) or connects a local socket to a socket file, also one whose path is longer than
// a socket address holds. A socket file it binds is 0600 whatever the umask: only its user (and
// root) can connect.
bool ConnectOrBindSocket(int fd, const std::string& path, bool bind);

// Asks the owner of `name` under this root to handle `request`; returns its answer, or an empty
// text when nobody answered within `waitMs` (no owner, an owner still starting, a stuck owner).
// The wait runs on platform::GetClock().
std::string AskInstance(const std::string& name, const std::string& request, int waitMs);

}  // namespace platform

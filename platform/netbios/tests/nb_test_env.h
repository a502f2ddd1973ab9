// Helpers of the NetBIOS tests: private ports per test, the configuration file, control blocks,
// child programs and pipes to step them.
#pragma once
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "platform/netbios/netbios.h"
#include "platform/paths.h"
#include "platform/profile.h"

namespace nbtest {

// A port below the range the system hands out for outgoing connections (so no client socket of a
// parallel test takes it) that is free right now.
inline std::uint16_t FreePort(int type) {
  static std::mt19937 rng{std::random_device{}()};
  for (int attempt = 0; attempt < 200; ++attempt) {
    auto port = static_cast<std::uint16_t>(std::uniform_int_distribution<int>(10000, 32000)(rng));
    int fd = socket(AF_INET, type, 0);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(port);
    sa.sin_addr.s_addr = htonl(INADDR_ANY);
    bool ok = bind(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) == 0;
    close(fd);
    if (ok) return port;
  }
  return 0;
}

struct Ports {
  std::uint16_t ns = FreePort(SOCK_DGRAM);
  std::uint16_t dg = FreePort(SOCK_DGRAM);
  std::uint16_t ssn = FreePort(SOCK_STREAM);
};

// The options of a node (or an emulated box's NetBIOS front) with this test's three ports.
template <class Options>
Options OnPorts(Options options, const Ports& p) {
  options.nameServicePort = p.ns;
  options.datagramPort = p.dg;
  options.sessionPort = p.ssn;
  return options;
}

// Writes <root>/windows/netbios.ini: the LANAs, the ports and short waits.
inline void WriteConfig(const std::string& root, const Ports& p, const std::vector<std::string>& lanas,
                        const std::vector<std::pair<std::string, std::string>>& extra = {}) {
  std::string dir = root + "/windows";
  platform::MakeDirectories(dir);
  std::string file = dir + "/netbios.ini";
  for (std::size_t i = 0; i < lanas.size(); ++i) {
    std::string key = "Lana" + std::to_string(i) + "Address";
    WritePrivateProfileString("NetBIOS", key.c_str(), lanas[i].c_str(), file.c_str());
  }
  std::vector<std::pair<std::string, std::string>> values = {
      {"NameServicePort", std::to_string(p.ns)},
      {"DatagramPort", std::to_string(p.dg)},
      {"SessionPort", std::to_string(p.ssn)},
      {"RegistrationTimeoutMs", "100"},
      {"RegistrationRetries", "2"},
      {"QueryTimeoutMs", "300"},
      {"QueryRetries", "2"},
      {"IdleExitMs", "300"},
      {"NameLingerMs", "1000"}};
  values.insert(values.end(), extra.begin(), extra.end());
  for (auto& [k, v] : values) WritePrivateProfileString("NetBIOS", k.c_str(), v.c_str(), file.c_str());
}

// A 16-byte name: the text, blanks up to 15 bytes, then `suffix`.
inline void PutName(UCHAR out[16], const char* text, UCHAR suffix = 0x20) {
  std::memset(out, ' ', 15);
  std::size_t n = std::min<std::size_t>(std::strlen(text), 15);
  std::memcpy(out, text, n);
  out[15] = suffix;
}

inline NCB Block(UCHAR command, UCHAR lana = 0) {
  NCB n{};
  n.ncb_command = command;
  n.ncb_lana_num = lana;
  return n;
}

// A session command's block: the session, and the buffer it sends from or receives into.
inline NCB SessionBlock(UCHAR command, UCHAR lsn, void* buffer, std::size_t length) {
  NCB n = Block(command);
  n.ncb_lsn = lsn;
  n.ncb_buffer = static_cast<UCHAR*>(buffer);
  n.ncb_length = static_cast<WORD>(length);
  return n;
}

inline UCHAR AddName(const char* text, UCHAR* num = nullptr, bool group = false, UCHAR lana = 0) {
  NCB n = Block(group ? NCBADDGRNAME : NCBADDNAME, lana);
  PutName(n.ncb_name, text);
  UCHAR rc = Netbios(&n);
  if (num != nullptr) *num = n.ncb_num;
  return rc;
}

// For scripted NetBIOS transports of tests: answers NCBENUM with `lanas`.
inline void AnswerLanaEnum(NCB* ncb, const std::vector<std::uint8_t>& lanas) {
  auto* list = reinterpret_cast<LANA_ENUM*>(ncb->ncb_buffer);
  list->length = static_cast<std::uint8_t>(lanas.size());
  for (std::size_t i = 0; i < lanas.size(); ++i) list->lana[i] = lanas[i];
}

// For scripted NetBIOS transports of tests: completes a receive with `message`, as much of it as
// the buffer holds (NRC_INCOMP when cut), then sets the block's event.
inline void CompleteReceive(NCB* ncb, const std::vector<std::uint8_t>& message) {
  const std::size_t n = std::min<std::size_t>(message.size(), ncb->ncb_length);
  std::memcpy(ncb->ncb_buffer, message.data(), n);
  ncb->ncb_length = static_cast<std::uint16_t>(n);
  ncb->ncb_retcode = message.size() > n ? NRC_INCOMP : NRC_GOODRET;
  ncb->ncb_event->Set();
}

// Runs `body` in a child process; its result is the child's exit code. Fork before this process
// starts NetBIOS commands of its own in the test: the sanitizers' allocator is not fork-safe when
// another thread is inside it at the moment of the fork.
inline pid_t Child(const std::function<int()>& body) {
  pid_t pid = fork();
  if (pid == 0) {
    int rc = 99;
    try {
      rc = body();
    } catch (...) {
    }
    _exit(rc);
  }
  return pid;
}

inline int Join(pid_t pid) {
  int status = 0;
  if (waitpid(pid, &status, 0) != pid) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// One-way byte channel between two processes of a test.
class Pipe {
 public:
  Pipe() {
    if (pipe(fds_) != 0) fds_[0] = fds_[1] = -1;
  }
  ~Pipe() {
    close(fds_[0]);
    close(fds_[1]);
  }
  void Put(char c) {
    ssize_t w = write(fds_[1], &c, 1);
    (void)w;
  }
  // The next byte, or 0 when none came within 30 s (a hung peer).
  char Get() {
    pollfd p{fds_[0], POLLIN, 0};
    char c = 0;
    if (poll(&p, 1, 30000) > 0 && read(fds_[0], &c, 1) == 1) return c;
    return 0;
  }

 private:
  int fds_[2];
};

}  // namespace nbtest

// Workgroups from Samba's configuration file and from the output of its browsing tools.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/ascii.h"
#include "platform/atomic_file.h"
#include "platform/clock.h"
#include "platform/netprobe/netprobe.h"
#include "platform/process/process.h"

extern char** environ;

namespace platform::netprobe {
namespace {

constexpr std::size_t kMaxNameLength = 15;
constexpr std::size_t kMaxSmbConfBytes = 1 << 20;
constexpr std::size_t kMaxMasters = 16;
// The whole look-up ends within this time of its start, however many tools it runs and however
// slowly they answer; smbtree, asked first, gets at most kFirstToolShareMs of it.
constexpr std::int64_t kWorkgroupLookupMs = 4000;
constexpr std::int64_t kFirstToolShareMs = 2500;

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

// Calls f for every line of text (without its line feed).
template <class F>
void ForEachLine(std::string_view text, F f) {
  while (!text.empty()) {
    std::size_t nl = text.find('\n');
    std::string_view line = text.substr(0, nl);
    f(line);
    if (nl == std::string_view::npos) break;
    text.remove_prefix(nl + 1);
  }
}

// A parameter name as Samba compares it: blanks dropped, letters folded.
std::string FoldParameterName(std::string_view name) {
  std::string out;
  for (char c : name) {
    if (!IsBlank(c)) out += AsciiLower(c);
  }
  return out;
}

bool IsDottedIpv4(std::string_view s) {
  int parts = 0;
  std::size_t digits = 0;
  int value = 0;
  for (char c : s) {
    if (c >= '0' && c <= '9') {
      value = value * 10 + (c - '0');
      if (++digits > 3 || value > 255) return false;
    } else if (c == '.') {
      if (digits == 0) return false;
      ++parts;
      digits = 0;
      value = 0;
    } else {
      return false;
    }
  }
  return parts == 3 && digits > 0;
}

void AppendUnique(std::vector<std::string>& list, std::string name) {
  for (const std::string& have : list) {
    if (EqualsNoCase(have, name)) return;
  }
  list.push_back(std::move(name));
}

// Waits until `deadline` (platform clock) for the child to end: true with its *status when it did.
// A tool may close its output long before it ends; the wait for its end keeps the same bound.
bool WaitForChild(pid_t pid, int* status, std::int64_t deadline) {
  Clock& clock = GetClock();
  // The child's descriptor becomes readable when it ends; without one, short sleeps.
  const int pidFd = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
  bool ended = false;
  for (;;) {
    const pid_t r = ::waitpid(pid, status, WNOHANG);
    if (r == pid) {
      ended = true;
      break;
    }
    if (r < 0 && errno != EINTR) break;
    const std::int64_t left = deadline - clock.SteadyMs();
    if (left <= 0) break;
    if (pidFd >= 0) {
      WaitReadable(pidFd, left);
    } else {
      clock.SleepMs(std::min<std::int64_t>(left, 10));
    }
  }
  if (pidFd >= 0) ::close(pidFd);
  return ended;
}

}  // namespace

std::optional<std::string> AcceptWorkgroupName(std::string_view text) {
  text = Trim(text);
  if (text.empty() || text.size() > kMaxNameLength) return std::nullopt;
  // Printable ASCII only: control characters and bytes from 0x80 up are refused.
  for (char c : text) {
    if (platform::IsAsciiControl(c) || static_cast<unsigned char>(c) >= 0x80) return std::nullopt;
  }
  return std::string(text);
}

std::string SmbConfPath() {
  const char* env = std::getenv("PSADMIN_SMB_CONF");
  if (env != nullptr && *env != '\0') return env;
  return "/etc/samba/smb.conf";
}

std::optional<std::string> ParseSmbConfWorkgroup(std::string_view text) {
  bool inGlobal = true;  // parameters before the first section are global
  std::optional<std::string> value;
  std::string joined;  // a line continued by a trailing backslash
  auto handle = [&](std::string_view line) {
    line = Trim(line);
    if (line.empty() || line.front() == '#' || line.front() == ';') return;
    if (line.front() == '[') {
      std::size_t close = line.find(']');
      std::string_view section = Trim(line.substr(1, close == std::string_view::npos ? line.size() - 1 : close - 1));
      inGlobal = EqualsNoCase(section, "global");
      return;
    }
    if (!inGlobal) return;
    std::size_t eq = line.find('=');
    if (eq == std::string_view::npos) return;
    if (FoldParameterName(line.substr(0, eq)) != "workgroup") return;
    value = std::string(Trim(line.substr(eq + 1)));
  };
  ForEachLine(text, [&](std::string_view line) {
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (!line.empty() && line.back() == '\\') {
      joined.append(line.substr(0, line.size() - 1));
      return;
    }
    if (!joined.empty()) {
      joined.append(line);
      handle(joined);
      joined.clear();
      return;
    }
    handle(line);
  });
  if (!joined.empty()) handle(joined);
  if (!value) return std::string("WORKGROUP");
  return AcceptWorkgroupName(*value);
}

bool ReadDefaultWorkgroup(std::string& out) {
  std::string text;
  if (fileio::ReadWholeFile(SmbConfPath(), kMaxSmbConfBytes, &text) != fileio::ReadResult::kOk) {
    return false;
  }
  std::optional<std::string> name = ParseSmbConfWorkgroup(text);
  if (!name) return false;
  out = *name;
  return true;
}

std::vector<std::string> ParseSmbtreeDomains(std::string_view text) {
  std::vector<std::string> names;
  ForEachLine(text, [&](std::string_view line) {
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty() || IsBlank(line.front())) return;  // shares and hosts are indented
    if (line.front() == '\\') return;
    if (std::optional<std::string> name = AcceptWorkgroupName(line)) AppendUnique(names, *name);
  });
  return names;
}

std::vector<std::string> ParseNmblookupMasters(std::string_view text) {
  std::vector<std::string> addresses;
  ForEachLine(text, [&](std::string_view line) {
    line = Trim(line);
    std::size_t blank = line.find(' ');
    if (blank == std::string_view::npos) return;
    std::string_view address = line.substr(0, blank);
    std::string_view name = Trim(line.substr(blank + 1));
    // "192.168.1.5 __MSBROWSE__<01>"; "querying ..." and "name_query failed ..." lines are skipped.
    if (!IsDottedIpv4(address) || name.find("<01>") == std::string_view::npos) return;
    AppendUnique(addresses, std::string(address));
  });
  return addresses;
}

std::vector<std::string> ParseNodeStatusGroups(std::string_view text) {
  std::vector<std::string> names;
  ForEachLine(text, [&](std::string_view line) {
    // "\tWORKGROUP       <00> - <GROUP> B <ACTIVE> "
    std::size_t suffix = line.find("<00>");
    if (suffix == std::string_view::npos || suffix == 0) return;
    std::string_view rest = line.substr(suffix + 4);
    std::size_t dash = rest.find('-');
    if (dash == std::string_view::npos || Trim(rest.substr(0, dash)).size() != 0) return;
    if (Trim(rest.substr(dash + 1)).substr(0, 7) != "<GROUP>") return;
    std::string_view name = line.substr(0, suffix);
    while (!name.empty() && (name.front() == '\t' || name.front() == ' ')) name.remove_prefix(1);
    if (std::optional<std::string> accepted = AcceptWorkgroupName(name)) {
      AppendUnique(names, *accepted);
    }
  });
  return names;
}

bool RunTool(const std::vector<std::string>& argv, std::string& out, std::int64_t timeoutMs,
             std::size_t maxBytes) {
  out.clear();
  if (argv.empty()) return false;
  const std::string program = platform::FindTool(argv[0]);
  if (program.empty()) return false;

  int pipeFds[2];
  if (::pipe2(pipeFds, O_CLOEXEC) != 0) return false;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 1);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);

  std::vector<std::string> envStore;
  for (char** e = environ; e != nullptr && *e != nullptr; ++e) {
    if (std::strncmp(*e, "LC_ALL=", 7) != 0 && std::strncmp(*e, "LANG=", 5) != 0) envStore.emplace_back(*e);
  }
  envStore.emplace_back("LC_ALL=C");
  std::vector<char*> envp;
  for (std::string& e : envStore) envp.push_back(e.data());
  envp.push_back(nullptr);
  std::vector<std::string> args = argv;
  std::vector<char*> argp;
  for (std::string& a : args) argp.push_back(a.data());
  argp.push_back(nullptr);

  pid_t pid = -1;
  const int spawned = posix_spawn(&pid, program.c_str(), &actions, nullptr, argp.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  ::close(pipeFds[1]);
  if (spawned != 0) {
    ::close(pipeFds[0]);
    return false;
  }

  Clock& clock = GetClock();
  const std::int64_t deadline = clock.SteadyMs() + timeoutMs;
  bool eof = false;
  char chunk[4096];
  while (!eof) {
    const std::int64_t left = deadline - clock.SteadyMs();
    if (left <= 0 || WaitReadable(pipeFds[0], left) != 1) break;
    ssize_t n = ::read(pipeFds[0], chunk, sizeof chunk);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      eof = true;
      break;
    }
    const std::size_t room = maxBytes - out.size();
    out.append(chunk, std::min<std::size_t>(room, static_cast<std::size_t>(n)));
    if (out.size() >= maxBytes) break;
  }
  ::close(pipeFds[0]);
  int status = 0;
  if (!eof || !WaitForChild(pid, &status, deadline)) {
    ::kill(pid, SIGKILL);
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return false;
  }
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

std::vector<std::string> ListWorkgroups() {
  Clock& clock = GetClock();
  const std::int64_t deadline = clock.SteadyMs() + kWorkgroupLookupMs;
  auto left = [&] { return deadline - clock.SteadyMs(); };
  std::string output;
  if (RunTool({"smbtree", "-N", "-D"}, output, std::min(left(), kFirstToolShareMs))) {
    std::vector<std::string> names = ParseSmbtreeDomains(output);
    if (!names.empty()) return names;
  }
  std::vector<std::string> names;
  if (left() <= 0 || !RunTool({"nmblookup", "-M", "--", "-"}, output, left())) return names;
  std::vector<std::string> masters = ParseNmblookupMasters(output);
  if (masters.size() > kMaxMasters) masters.resize(kMaxMasters);
  for (const std::string& address : masters) {
    // What the masters named so far is kept when the time is up.
    if (left() <= 0) break;
    if (!RunTool({"nmblookup", "-A", address}, output, left())) continue;
    for (std::string& name : ParseNodeStatusGroups(output)) AppendUnique(names, std::move(name));
  }
  return names;
}

}  // namespace platform::netprobe

// Starting the local service psa_nbd when no program of this root has it running.
#include "platform/netbios/netbios_internal.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/ownership.h"
#include "platform/paths.h"

extern char** environ;

namespace platform::netbios::internal {
namespace {

std::string ServiceProgram() {
  const char* env = std::getenv("PSADMIN_NBD");
  if (env != nullptr && *env != '\0') return env;
  char buf[4096] = {};
  ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return "psa_nbd";
  std::string self(buf, static_cast<std::size_t>(n));
  std::size_t slash = self.rfind('/');
  return (slash == std::string::npos ? std::string(".") : self.substr(0, slash)) + "/psa_nbd";
}

}  // namespace

bool StartService(const State& st) {
  std::string program = ServiceProgram();
  if (access(program.c_str(), X_OK) != 0) return false;
  // Root runs only a service program that root alone can change.
  if (geteuid() == 0) {
    if (const std::string why = platform::WritableByOthersThanRoot(program); !why.empty()) {
      std::fprintf(stderr, "psa_nbd: %s: root does not start it\n", why.c_str());
      return false;
    }
  }
  // Opened here, so that the log of a service root starts in a user's root is the user's.
  const int logFd = platform::OpenOrCreate(JoinPath(st.serviceDir, "nbd.log"),
                                           O_WRONLY | O_APPEND | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (logFd < 0) return false;
  int pipeFds[2];
  if (pipe2(pipeFds, O_CLOEXEC) != 0) {
    close(logFd);
    return false;
  }
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  posix_spawn_file_actions_addopen(&fa, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&fa, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_adddup2(&fa, logFd, 2);
  posix_spawn_file_actions_adddup2(&fa, pipeFds[1], 3);
  posix_spawn_file_actions_addclosefrom_np(&fa, 4);
  std::vector<std::string> args = {program, "--detach", "--root", st.root, "--ready-fd", "3"};
  if (st.machine) {
    args.push_back("--machine");
    args.push_back("--on-demand");
  }
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  // The service starts with no blocked signals and default dispositions, whatever the program
  // that happened to start it had set up (a scanner blocks SIGINT and SIGTERM for its own loop).
  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  sigset_t none;
  sigemptyset(&none);
  posix_spawnattr_setsigmask(&attr, &none);
  sigset_t defaults;
  sigemptyset(&defaults);
  for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGPIPE, SIGCHLD, SIGUSR1, SIGUSR2}) {
    sigaddset(&defaults, sig);
  }
  posix_spawnattr_setsigdefault(&attr, &defaults);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
  pid_t pid = -1;
  int rc = posix_spawn(&pid, program.c_str(), &fa, &attr, argv.data(), environ);
  posix_spawnattr_destroy(&attr);
  posix_spawn_file_actions_destroy(&fa);
  close(pipeFds[1]);
  close(logFd);
  bool ok = false;
  if (rc == 0) {
    pollfd p{pipeFds[0], POLLIN, 0};
    if (poll(&p, 1, 15000) > 0) {
      // The status byte, after a failure with its reason (one write, so one read takes it whole).
      char status[512];
      const ssize_t n = read(pipeFds[0], status, sizeof status - 1);
      ok = n >= 1 && status[0] == 0;
      if (n > 1 && !ok) {
        status[n] = 0;
        for (ssize_t i = 1; i < n; ++i)
          if (static_cast<unsigned char>(status[i]) < 0x20) status[i] = ' ';
        std::fprintf(stderr, "psa_nbd: %s\n", status + 1);
      }
    }
    int ws = 0;
    waitpid(pid, &ws, 0);  // the launcher half exits as soon as the service runs on its own
  }
  close(pipeFds[0]);
  return ok;
}

}  // namespace platform::netbios::internal

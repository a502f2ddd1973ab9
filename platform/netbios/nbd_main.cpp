// psa_nbd: the machine's NetBIOS name and datagram service, started on demand by the suite's
// programs. Usage: psa_nbd [--detach] [--root DIR] [--ready-fd N]
// --detach runs the service in a new session in the background; the started process returns at once.
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/netbios/nbd_service.h"
#include "platform/paths.h"

int main(int argc, char** argv) {
  int readyFd = -1;
  bool detach = false;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--detach") == 0) {
      detach = true;
    } else if (std::strcmp(argv[i], "--root") == 0 && i + 1 < argc) {
      setenv(platform::kRootEnvVar, argv[++i], 1);
    } else if (std::strcmp(argv[i], "--ready-fd") == 0 && i + 1 < argc) {
      readyFd = std::atoi(argv[++i]);
    }
  }
  if (detach) {
    pid_t pid = fork();
    if (pid < 0) return 1;
    if (pid > 0) _exit(0);
    setsid();
  }
  std::signal(SIGPIPE, SIG_IGN);
  return platform::netbios::RunService(readyFd);
}

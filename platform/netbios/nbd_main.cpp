// psa_nbd: the NetBIOS name, datagram and session service of the suite's programs.
// Usage: psa_nbd [--machine [--on-demand]] [--detach] [--root DIR] [--ready-fd N]
// Without --machine it is one user's service in <root>/netbios, started on demand by that user's
// programs. --machine runs the machine's service, as root, in $PSADMIN_NBD_MACHINE (else
// /run/psadmin): one name table and one set of ports for every user's programs and the print
// backend; it runs until stopped, or with --on-demand (a program that started it when it did not
// run) until it has been idle a while. Its settings come from the root it starts with.
// --detach runs the service in a new session in the background; the started process returns at once.
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/netbios/nb_common.h"
#include "platform/netbios/nbd_service.h"
#include "platform/paths.h"

int main(int argc, char** argv) {
  int readyFd = -1;
  bool detach = false;
  platform::netbios::ServiceOptions options;
  bool onDemand = false;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--detach") == 0) {
      detach = true;
    } else if (std::strcmp(argv[i], "--machine") == 0) {
      options.machine = true;
    } else if (std::strcmp(argv[i], "--on-demand") == 0) {
      onDemand = true;
    } else if (std::strcmp(argv[i], "--root") == 0 && i + 1 < argc) {
      setenv(platform::kRootEnvVar, argv[++i], 1);
    } else if (std::strcmp(argv[i], "--ready-fd") == 0 && i + 1 < argc) {
      readyFd = std::atoi(argv[++i]);
    } else {
      std::fprintf(stderr, "usage: psa_nbd [--machine [--on-demand]] [--detach] [--root DIR] [--ready-fd N]\n");
      return 2;
    }
  }
  if (options.machine) {
    options.folder = platform::netbios::MachineFolder();
    options.idleExit = onDemand;
    const std::string problem = platform::netbios::PrepareMachineFolder(options.folder);
    if (!problem.empty()) {
      std::fprintf(stderr, "psa_nbd: %s\n", problem.c_str());
      platform::netbios::TellStarter(readyFd, false, problem);
      return 1;
    }
  } else {
    options.folder = platform::netbios::ServiceDirectory();
  }
  if (detach) {
    pid_t pid = fork();
    if (pid < 0) return 1;
    if (pid > 0) _exit(0);
    setsid();
  }
  std::signal(SIGPIPE, SIG_IGN);
  return platform::netbios::RunService(readyFd, options);
}

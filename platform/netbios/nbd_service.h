// The NetBIOS service (psa_nbd). `readyFd` (or -1) gets one status byte once the ports are open: 0
// ready, 1 failed, the failure followed by its reason as text when there is one (a port that
// another program holds).
#pragma once
#include <string>

namespace platform::netbios {

struct ServiceOptions {
  // The folder of its socket, process id file, lock and log: <root>/netbios for one user's service,
  // the machine folder for the machine's.
  std::string folder;
  // The machine's service: its socket is open to every local user of this machine (programs are
  // told apart by their credentials), and its folder must be root's alone.
  bool machine = false;
  // Ends the configured idle time after its last program went away (and its last kept name was
  // released). A user's service always does; the machine's only when a program started it on demand.
  bool idleExit = true;
};

int RunService(int readyFd, const ServiceOptions& options);

// Tells the program that started the service (on `readyFd`, then closed; nothing when it is -1)
// that it runs, or that it does not and why (`why`, when known).
void TellStarter(int readyFd, bool ok, const std::string& why);

}  // namespace platform::netbios

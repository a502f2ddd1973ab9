// The local NetBIOS service (psa_nbd): runs until no program has used it for the configured idle
// time. `readyFd` (or -1) gets one status byte once the ports are open: 0 ready, 1 failed, the
// failure followed by its reason as text when there is one (a port that another program holds).
#pragma once

namespace platform::netbios {

int RunService(int readyFd);

}  // namespace platform::netbios

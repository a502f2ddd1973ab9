// A stand-in client program for the scanner's tests: creates the presence events named by its
// arguments ("tollard", "wizard", "addprinter"), resets the pause event when given "reset-pause",
// prints "ready" and holds everything until its standard input closes (or it is killed).
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "discovery_scanner/scanner/scanner_core.h"
#include "platform/named_objects/named_objects.h"

int main(int argc, char** argv) {
  std::vector<HANDLE> held;
  for (int i = 1; i < argc; ++i) {
    const char* name = nullptr;
    if (std::strcmp(argv[i], "tollard") == 0) name = lumeth::kPresenceEventNames[0];
    if (std::strcmp(argv[i], "wizard") == 0) name = lumeth::kPresenceEventNames[1];
    if (std::strcmp(argv[i], "addprinter") == 0) name = lumeth::kPresenceEventNames[2];
    if (name != nullptr) held.push_back(CreateEvent(TRUE, TRUE, name));
    if (std::strcmp(argv[i], "reset-pause") == 0) {
      HANDLE pause = CreateEvent(TRUE, TRUE, lumeth::kPauseEventName);
      ResetEvent(pause);
      held.push_back(pause);
    }
  }
  std::printf("ready\n");
  std::fflush(stdout);
  char c;
  while (::read(0, &c, 1) > 0) {
  }
  for (HANDLE h : held) CloseHandle(h);
  return 0;
}

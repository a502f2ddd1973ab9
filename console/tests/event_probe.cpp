// Reports the state of a named event as another process sees it: "signalled", "reset" or
// "missing" (no live handle anywhere). Usage: console_event_probe <event name>
#include <cstdio>

#include "platform/named_objects/named_objects.h"

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  HANDLE h = OpenEvent(SYNCHRONIZE, FALSE, argv[1]);
  if (h == nullptr) {
    std::puts("missing");
    return 0;
  }
  std::puts(WaitForSingleObject(h, 0) == WAIT_OBJECT_0 ? "signalled" : "reset");
  CloseHandle(h);
  return 0;
}

#include "wizard/routines_standin.h"

#include "platform/message_sink.h"

namespace wizard {
bool IsTcpipInstalled() { return true; }
bool IsIpxInstalled() { return true; }
bool IsNetBeuiInstalled() { return true; }
void ShowErrorForCode(int code) {
  if (code == 0 || code == 1 || code == 2 || code == 4) return;
  platform::GetMessageSink().Show(0, code == -1 || code == -5 ? "Network Busy, or Device not found !!"
                                                              : "Unknown error code",
                                  platform::MB_OK);
}
void EnumWorkgroups(std::list<std::string>& list) { list.clear(); }
void GetDefaultWorkgroup(std::string& text) { text.clear(); }
}  // namespace wizard

// Stand-ins for the shared wizard routines until they land: protocol probes and result messages.
#pragma once
#include <list>
#include <string>

namespace wizard {
bool IsTcpipInstalled();
bool IsIpxInstalled();
bool IsNetBeuiInstalled();
void ShowErrorForCode(int code);
void EnumWorkgroups(std::list<std::string>& list);
void GetDefaultWorkgroup(std::string& text);
}  // namespace wizard

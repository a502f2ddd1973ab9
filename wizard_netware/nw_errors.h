// Names of the result codes of the NetWare client libraries, for the message "netware error =%s".
#pragma once
#include <string>

namespace netware {

// The names of the constants of a known code, joined by line feeds (several constants can share
// one code); an unknown negative code as "%d", an unknown code of 0 or above as "0x%04X".
std::string NwErrorName(int code);

}  // namespace netware

#pragma once
#include <string>

namespace platform {

// The computer name as Windows reports it: the host name (up to its first '.') in upper case, cut to
// 15 characters.
std::string ComputerName();

}  // namespace platform

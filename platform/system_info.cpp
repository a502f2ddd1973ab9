#include "platform/system_info.h"

#include <unistd.h>

#include <cctype>

namespace platform {

std::string ComputerName() {
  char host[256] = {};
  if (gethostname(host, sizeof host - 1) != 0) return "LOCALHOST";
  std::string name(host);
  if (auto dot = name.find('.'); dot != std::string::npos) name.resize(dot);
  for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  if (name.size() > 15) name.resize(15);
  if (name.empty()) name = "LOCALHOST";
  return name;
}

}  // namespace platform

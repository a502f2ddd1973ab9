// Arbitrary bytes as smb.conf text and as the output of the browsing tools: every parser must give
// a defined result, and every name it returns must be one that may go into a configuration line.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "platform/netprobe/netprobe.h"

namespace {

void CheckName(const std::string& name) {
  if (name.empty() || name.size() > 15) std::abort();
  for (char c : name) {
    const auto u = static_cast<unsigned char>(c);
    if (u < 0x20 || u > 0x7E) std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  using namespace platform::netprobe;
  if (auto name = ParseSmbConfWorkgroup(text)) CheckName(*name);
  for (const std::string& name : ParseSmbtreeDomains(text)) CheckName(name);
  for (const std::string& name : ParseNodeStatusGroups(text)) CheckName(name);
  for (const std::string& address : ParseNmblookupMasters(text)) {
    if (address.size() < 7 || address.size() > 15) std::abort();
  }
  return 0;
}

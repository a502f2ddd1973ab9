// Feeds arbitrary reply bytes to the readers of a printer's PJL answers: the INFO VARIABLES reader
// (from the start and from the echo on, as the configuration read does) and the device-id model
// look-up of the bidirectional test.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "device_client/pjl/pjl_text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);

  pjl::ParseResult result;
  pjl::ParseVariableEntries(bytes, result);
  for (const pjl::ParsedVariable& v : result.variables) {
    if (v.valueType != 1 && v.valueType != 2) __builtin_trap();
    if (v.choices.size() > pjl::kMaxChoices) __builtin_trap();
    if (v.name.find('=') != std::string_view::npos) __builtin_trap();
  }
  const std::size_t at = bytes.find("PJL INFO VARIABLES");
  if (at != std::string_view::npos) pjl::ParseVariableEntries(bytes.substr(at), result);

  const std::string model = pjl::ModelFromDeviceId(bytes.substr(size > 0 ? 1 : 0));
  if (model.find(';') != std::string::npos) __builtin_trap();
  return 0;
}

// Feeds arbitrary reply bytes to the readers of a printer's PJL answers: the INFO VARIABLES reader
// (alone, and behind the box's status byte as the configuration read takes a "9601:" reply into
// the variable record) and the device-id model look-up of the bidirectional test.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "device_client/pjl/pjl_text.h"
#include "device_client/pjl/pjl_utility.h"

namespace {

CPJLUtility& Utility() {
  static CPJLUtility* utility = [] {
    auto* u = new CPJLUtility();
    for (const pjl::VariableName& row : pjl::kVariableTable) u->AddVariableName(row.name, row.index);
    return u;
  }();
  return *utility;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > static_cast<std::size_t>(CPrintServerUtility::kReplyBufferSize)) return 0;
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);

  pjl::ParseResult result;
  pjl::ParseVariableEntries(bytes, result);
  for (const pjl::ParsedVariable& v : result.variables) {
    if (v.valueType != 1 && v.valueType != 2) __builtin_trap();
    if (v.choices.size() > pjl::kMaxChoices) __builtin_trap();
    if (v.name.find('=') != std::string_view::npos) __builtin_trap();
  }

  PJLConfigurationData record;
  const int rc = Utility().ParsePJLConfiguration(bytes.data(), static_cast<int>(size), &record);
  if (rc == 0) {
    for (int i = 0; i < pjl::kVariableCount; ++i) {
      const PJLVariableData& entry = record.Entry(i);
      if (!entry.szVariableValue.empty() && entry.iVariableValueType != 1 &&
          entry.iVariableValueType != 2) {
        __builtin_trap();
      }
    }
  }

  const std::string model = pjl::ModelFromDeviceId(bytes.substr(size > 0 ? 1 : 0));
  if (model.find(';') != std::string::npos) __builtin_trap();
  return 0;
}

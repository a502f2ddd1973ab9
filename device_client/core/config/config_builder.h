// Builds the configuration text that writes settings back to a box: the whole-configuration
// request and the six-line system request. Pure functions: the caller sends the text and restarts
// the box. Every refusal is decided here, before anything is sent.
#pragma once
#include <string>
#include <string_view>

#include "device_client/core/config/config_records.h"

namespace config {

constexpr int kBuildOk = 0;
constexpr int kBuildInvalid = -2;  // a value that cannot be written; nothing must be sent

// True when the value carries a byte below 0x20 or 0x7F (CR and LF included): such a value would
// break or add configuration lines and is never written.
bool HasControlCharacters(std::string_view value);

// The request of the whole-configuration write. Which key groups are written depends on caps.
// Returns kBuildOk with the text in `text`, or kBuildInvalid (text left empty).
int BuildAllConfigurationText(const AllConfigurationData& settings, const ProtocolData& caps,
                              std::string& text);

// The six lines of the system write: 0001, 0011, 0012, 0013, 0014, 0019. Returns kBuildOk or
// kBuildInvalid (a device name with control characters; text left empty).
int BuildSystemConfigurationText(const SystemConfigurationData& system, std::string& text);

}  // namespace config

// The configuration a box holds: one value for every key it reports in its configuration text,
// and the factory set it returns to.
#pragma once
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace box_emulator {

using Settings = std::map<std::string, std::string>;  // key ("0001") -> value

// Every key a box knows, in ascending order.
const std::vector<std::string>& KnownKeys();
bool IsKnownKey(std::string_view key);

// The factory set of a box with this default name and IPv4 address.
Settings FactorySettings(const std::string& defaultName, const std::string& ipAddress);

// The configuration text: one "KKKK :value\r\n" line per key, keys ascending.
std::string FormatSettings(const Settings& settings);

// The value a box stores for a written line: written handshake words are stored in the form the
// box reports ("ACK" becomes "ACK&BUSY"); everything else as received.
std::string NormaliseWrittenValue(std::string_view key, std::string_view value);

}  // namespace box_emulator

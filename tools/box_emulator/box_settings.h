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

// The ports a box has, which its factory set's logical ports print to.
struct BoxPorts {
  int parallel = 1;  // P1 .. P<n>, at most 3
  int serial = 0;    // any serial port: "SP"
};

// The factory set of a box with this default name, IPv4 address and ports. Its logical ports
// print to the box's own ports in turn (the parallel ports, then the serial port: P1, P2, P3, SP,
// P1, ...; a box without any port: P1), and its gateway is the first host of its own network
// under the factory mask (the second when that is the box itself), so the set keeps the rules of
// a box's address, mask and gateway; an address that is no dotted IPv4 host gets "0.0.0.0".
Settings FactorySettings(const std::string& defaultName, const std::string& ipAddress,
                         BoxPorts ports = {});

// The configuration text: one "KKKK :value\r\n" line per key, keys ascending.
std::string FormatSettings(const Settings& settings);

// The value a box stores for a written line: written handshake words are stored in the form the
// box reports ("ACK" becomes "ACK&BUSY"); everything else as received.
std::string NormaliseWrittenValue(std::string_view key, std::string_view value);

}  // namespace box_emulator

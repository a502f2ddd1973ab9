// The rule for a physical port's name. The name goes into a configuration line, the logical ports
// refer to it by its exact text, and the printer-status text marks each port's block with
// "(" name ")STATE" and ends it at the next "(": so a name must be printable, must not hold either
// parenthesis, must not start or end with a blank (the box keeps names trimmed, which would part
// the port from its logical ports), and must differ from every other port's name of the box
// (compared without regard to case).
#pragma once
#include <string>
#include <vector>

namespace port_names {

enum class NameCheck { kOk, kEmpty, kBadCharacter, kDuplicate };

NameCheck CheckPhysicalPortName(const std::string& name, const std::vector<std::string>& otherNames);

// The message of a refusal (string-table id); 0 for kOk.
int NameCheckMessage(NameCheck check);

constexpr int IDS_NEED_INPUT_DATA = 32878;     // "Need to input data"
constexpr int IDS_ILLEGAL_INPUT_DATA = 32879;  // "Illegal input data"

}  // namespace port_names

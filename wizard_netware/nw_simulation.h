// The NetWare simulation: every function of the layer with a simulation switch answers from the
// settings file "ferrow_simulation_netware.ini" in the Windows directory when [debug] simulation
// reads as 1. Objects are kept as comma lists (names joined by "," without blanks) under
// [fileserver], [printserver], [queue], [printer], [user], [group], [tree], [context], [volume]
// and a section per object. The switch and the file are read again on every call.
//
// Values are read into buffers of 256 bytes; a longer value is cut (a list at its last whole name).
// Lists the simulation writes never grow past what it can read back: such an edit, and a name that
// could not be read back from a list (empty, with a ',', a control character, a ']' or outer
// blanks or quotes), are refused and nothing is written.
#pragma once
#include <string>

#include "wizard_netware/nw_types.h"

namespace netware {

inline constexpr const char* kNwSimulationFile = "ferrow_simulation_netware.ini";

// 1 when [debug] simulation is not empty and reads as the integer 1, else 0.
int IsNwSimulation();

// The value (default ""), cut to 255 characters. Returns false when it had to be cut.
bool ReadNwSimSetting(const std::string& section, const std::string& key, std::string& out);
// 0, kNwParamInvalid for a section, key or value with a control character, or
// kNwSettingsNotWritten when the file cannot be written.
int WriteNwSimSetting(const std::string& section, const std::string& key, const std::string& value);

// Empties the list; a non-empty text is cut at each ',' and every piece, the last included, is
// appended in order, untrimmed.
void SplitCommaList(NwNameList& list, const std::string& text);
// 1 when a piece equals the name exactly (case matters), else 0.
int CommaListContains(const std::string& text, const std::string& name);
// Rewrites the text from the pieces that differ from the name; returns 1.
int CommaListRemove(std::string& text, const std::string& name);
// Appends the name (after a ',' when the text is not empty) unless the text holds it; returns 1.
int CommaListAdd(std::string& text, const std::string& name);

// True when the name can go into a comma list and a section name and be read back unchanged.
bool IsStorableNwName(const std::string& name);

}  // namespace netware

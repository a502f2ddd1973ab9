// Reads and writes of the simulation's settings file, the record walkers over the field tables,
// and the checks made before a write. Inner helpers of CSimulation.
#pragma once
#include <string>

#include "console_simulation/record_fields.h"
#include "platform/ascii.h"

namespace console_sim {

// The texts of the settings file are read with room for 511 characters.
constexpr unsigned kTextRoom = 512;

// Missing file, section or key (or a file that cannot be read): 0 / the empty text.
int ReadInt(const std::string& section, const std::string& key);
std::string ReadText(const std::string& section, const std::string& key);
// False when the file could not be written.
bool WriteInt(const std::string& section, const std::string& key, int value);
bool WriteText(const std::string& section, const std::string& key, const std::string& value);

// Whether a text may be written: no line break and no other control character.
inline bool IsWritable(const std::string& value) { return !platform::HasAsciiControl(value); }

template <class R>
void ReadRecord(const std::string& section, const std::string& prefix, const RecordDef<R>& def,
                R& record) {
  for (const FieldDef<R>& f : def.fields) {
    const std::string key = prefix + f.key;
    if (f.number != nullptr) {
      record.*f.number = ReadInt(section, key);
    } else {
      record.*f.text = ReadText(section, key);
    }
  }
}

template <class R>
bool RecordIsWritable(const RecordDef<R>& def, const R& record) {
  for (const FieldDef<R>& f : def.fields) {
    if (f.text != nullptr && !IsWritable(record.*f.text)) return false;
  }
  return true;
}

// Writes every field in table order; stops at the first failed write (false).
template <class R>
bool WriteRecord(const std::string& section, const std::string& prefix, const RecordDef<R>& def,
                 const R& record) {
  for (const FieldDef<R>& f : def.fields) {
    const std::string key = prefix + f.key;
    const bool ok = f.number != nullptr ? WriteInt(section, key, record.*f.number)
                                        : WriteText(section, key, record.*f.text);
    if (!ok) return false;
  }
  return true;
}

}  // namespace console_sim

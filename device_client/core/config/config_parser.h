// The configuration text reader: a line scanner, the value-kind converters and a key-table engine
// that is generic over the record it fills, plus the console's own key table.
//
// Configuration text is lines of a four-digit key, optional bytes up to a colon, then the value up
// to CR, LF or the end of the text. Lines that do not start with a digit are skipped. The scanner
// never reads at or past the given length; a NUL inside the text is an ordinary byte.
//
// Another device library fills its own record with its own key table:
//
//   config::KeyTable<MyRecord> table = {
//       {"0001", config::SetS<MyRecord>([](MyRecord& r) -> std::string& { return r.name; })},
//       {"5002", config::SetIRange<MyRecord>([](MyRecord& r) -> std::int32_t& { return r.t; }, 0, 255)},
//       {"9200", {}},  // known key, ignored
//   };
//   int rc = config::ParseWithTable(text, length, &record, table, log);
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include "device_client/core/config/config_records.h"

namespace config {

// Results of the parsers.
constexpr int kParseOk = 0;
constexpr int kParseMalformed = -1;        // a non-digit among the four key bytes, or no colon
constexpr int kParseInvalidArgument = -2;  // null text, length below 1, null record
constexpr int kParseBadValue = -100;       // a value outside its vocabulary or range

// Receives one log line per configuration line (" %s = %s": key, value). May be empty.
using LogHook = std::function<void(const std::string&)>;

// ---- Line scanner ---------------------------------------------------------------------------

// Called for each configuration line with its four-digit key and its raw value. A nonzero return
// stops the scan and becomes the scan's result.
using LineHandler = std::function<int(std::string_view key, std::string_view value)>;

// Scans text[0, length). Returns 0 when the whole text was read, kParseMalformed for a malformed
// line, or the first nonzero result of on_line. A null text or a length below 1 gives
// kParseInvalidArgument.
int ScanConfigurationLines(const char* text, int length, const LineHandler& on_line);

// ---- Value kinds ----------------------------------------------------------------------------
// Word comparisons ignore case; "trimmed" removes blanks (space, tab) at both ends.

std::string_view TrimBlanks(std::string_view value);
bool EqualsIgnoreCase(std::string_view a, std::string_view b);

// I: trimmed, decimal like atoi (optional sign, leading digits, no digits give 0); saturates at
// the int32 limits instead of overflowing.
std::int32_t ValueToInt(std::string_view value);
// E: "Enable" 1 / "Disable" 0; false for any other text.
bool ValueEnable(std::string_view value, std::int32_t& out);
// E1: 1 for "Enable", 0 for any other text.
std::int32_t ValueEnable1(std::string_view value);
// YN / Yn: "YES" 1 / "NO" 0; false for any other text.
bool ValueYesNo(std::string_view value, std::int32_t& out);
// YB: 1 "YES", 0 "NO", 2 anything else.
std::int32_t ValueYesNoOther(std::string_view value);
// BU: "BUSY" 1 / "ACK&BUSY" 0; false for any other text.
bool ValueBusy(std::string_view value, std::int32_t& out);
// AC: 0 "Read Only", 1 "Read/Write", 2 anything else.
std::int32_t ValueAccess(std::string_view value);
// WE: 1 "Enable", 2 "Enable_List", 0 anything else.
std::int32_t ValueListMode(std::string_view value);
// HX n: the first n bytes of the trimmed value, then a NUL; the rest of dest[0, n] is zeroed.
// dest must hold n + 1 bytes.
void ValueHex(std::string_view value, char* dest, std::size_t n);

// ---- Key table engine -----------------------------------------------------------------------

enum class ValueStatus { kStored, kBadValue };

template <class Record>
using ValueSetter = std::function<ValueStatus(std::string_view value, Record& record)>;

template <class Record>
struct KeyEntry {
  std::string key;             // four digits
  ValueSetter<Record> store;   // empty: a known key whose value is ignored
  bool secret = false;         // the log line shows "****" instead of the value
};

template <class Record>
using KeyTable = std::vector<KeyEntry<Record>>;

// The number of a key of four digits, or -1 for any other text.
constexpr std::size_t kFourDigitKeys = 10000;
inline int FourDigitKey(std::string_view key) {
  if (key.size() != 4) return -1;
  int n = 0;
  for (char c : key) {
    if (c < '0' || c > '9') return -1;
    n = n * 10 + (c - '0');
  }
  return n;
}

// Which entry of a table serves each four-digit key, so that a line finds its entry at once
// instead of by a string comparison per entry (a configuration text has about a hundred lines and
// the table as many entries). The first entry of a key wins. Built once per table: it refers to
// the table, which must outlive it.
template <class Record>
class KeyIndex {
 public:
  explicit KeyIndex(const KeyTable<Record>& table) : table_(table), slots_(kFourDigitKeys, 0) {
    for (std::size_t i = 0; i < table.size() && i < 0xFFFF; ++i) {
      const int k = FourDigitKey(table[i].key);
      if (k >= 0 && slots_[static_cast<std::size_t>(k)] == 0) {
        slots_[static_cast<std::size_t>(k)] = static_cast<std::uint16_t>(i + 1);
      }
    }
  }
  // The entry of `key`, or null when the table does not know it.
  const KeyEntry<Record>* Find(std::string_view key) const {
    const int k = FourDigitKey(key);
    if (k < 0 || slots_[static_cast<std::size_t>(k)] == 0) return nullptr;
    return &table_[slots_[static_cast<std::size_t>(k)] - 1u];
  }

 private:
  const KeyTable<Record>& table_;
  std::vector<std::uint16_t> slots_;  // position + 1 per key; 0: none
};

// Parses text[0, length) into *record through the table of `index`. Only fields whose keys occur
// change; a key not in the table is ignored; a bad value stops with kParseBadValue keeping the
// earlier lines.
template <class Record>
int ParseWithIndex(const char* text, int length, Record* record, const KeyIndex<Record>& index,
                   const LogHook& log) {
  if (record == nullptr) return kParseInvalidArgument;
  return ScanConfigurationLines(text, length, [&](std::string_view key, std::string_view value) {
    const KeyEntry<Record>* entry = index.Find(key);
    if (log) {
      std::string line = " ";
      line.append(key);
      line += " = ";
      if (entry != nullptr && entry->secret)
        line += "****";
      else
        line.append(value);
      log(line);
    }
    if (entry == nullptr || !entry->store) return kParseOk;
    return entry->store(value, *record) == ValueStatus::kStored ? kParseOk : kParseBadValue;
  });
}

// The same through a table indexed for this one parse (a library that parses often keeps a
// KeyIndex of its table instead).
template <class Record>
int ParseWithTable(const char* text, int length, Record* record, const KeyTable<Record>& table,
                   const LogHook& log) {
  if (record == nullptr) return kParseInvalidArgument;
  return ParseWithIndex(text, length, record, KeyIndex<Record>(table), log);
}

// Setter factories, one per value kind. `get` maps the record to the field (a reference).

template <class R, class Get>
ValueSetter<R> SetS(Get get) {  // S: the text as received
  return [get](std::string_view v, R& r) { get(r).assign(v); return ValueStatus::kStored; };
}
template <class R, class Get>
ValueSetter<R> SetT(Get get) {  // T: the trimmed text
  return [get](std::string_view v, R& r) {
    get(r).assign(TrimBlanks(v));
    return ValueStatus::kStored;
  };
}
template <class R, class Get>
ValueSetter<R> SetTOneOf(Get get, std::vector<std::string> words) {  // T with a vocabulary
  return [get, words = std::move(words)](std::string_view v, R& r) {
    const std::string_view t = TrimBlanks(v);
    for (const auto& w : words) {
      if (EqualsIgnoreCase(t, w)) {
        get(r).assign(t);
        return ValueStatus::kStored;
      }
    }
    return ValueStatus::kBadValue;
  };
}
template <class R, class Get>
ValueSetter<R> SetI(Get get) {
  return [get](std::string_view v, R& r) { get(r) = ValueToInt(v); return ValueStatus::kStored; };
}
template <class R, class Get>
ValueSetter<R> SetIRange(Get get, std::int32_t lo, std::int32_t hi) {
  return [get, lo, hi](std::string_view v, R& r) {
    const std::int32_t n = ValueToInt(v);
    if (n < lo || n > hi) return ValueStatus::kBadValue;
    get(r) = n;
    return ValueStatus::kStored;
  };
}
template <class R, class Get>
ValueSetter<R> SetIOneOf(Get get, std::vector<std::int32_t> allowed) {
  return [get, allowed = std::move(allowed)](std::string_view v, R& r) {
    const std::int32_t n = ValueToInt(v);
    for (std::int32_t a : allowed) {
      if (a == n) {
        get(r) = n;
        return ValueStatus::kStored;
      }
    }
    return ValueStatus::kBadValue;
  };
}
template <class R, class Get>
ValueSetter<R> SetE(Get get) {
  return [get](std::string_view v, R& r) {
    std::int32_t n = 0;
    if (!ValueEnable(v, n)) return ValueStatus::kBadValue;
    get(r) = n;
    return ValueStatus::kStored;
  };
}
template <class R, class Get>
ValueSetter<R> SetE1(Get get) {
  return [get](std::string_view v, R& r) { get(r) = ValueEnable1(v); return ValueStatus::kStored; };
}
template <class R, class Get>
ValueSetter<R> SetYN(Get get) {
  return [get](std::string_view v, R& r) {
    std::int32_t n = 0;
    if (!ValueYesNo(v, n)) return ValueStatus::kBadValue;
    get(r) = n;
    return ValueStatus::kStored;
  };
}
template <class R, class Get>
ValueSetter<R> SetYB(Get get) {
  return [get](std::string_view v, R& r) { get(r) = ValueYesNoOther(v); return ValueStatus::kStored; };
}
template <class R, class Get>
ValueSetter<R> SetBU(Get get) {
  return [get](std::string_view v, R& r) {
    std::int32_t n = 0;
    if (!ValueBusy(v, n)) return ValueStatus::kBadValue;
    get(r) = n;
    return ValueStatus::kStored;
  };
}
template <class R, class Get>
ValueSetter<R> SetAC(Get get) {
  return [get](std::string_view v, R& r) { get(r) = ValueAccess(v); return ValueStatus::kStored; };
}
template <class R, class Get>
ValueSetter<R> SetWE(Get get) {
  return [get](std::string_view v, R& r) { get(r) = ValueListMode(v); return ValueStatus::kStored; };
}
// HX: `get` returns a reference to a char array of N bytes; at most N - 1 characters are stored.
template <class R, class Get>
ValueSetter<R> SetHX(Get get) {
  return [get](std::string_view v, R& r) {
    using Array = std::remove_reference_t<decltype(get(r))>;
    constexpr std::size_t kSize = std::extent_v<Array>;
    static_assert(kSize >= 1, "HX needs a char array");
    ValueHex(v, get(r), kSize - 1);
    return ValueStatus::kStored;
  };
}

// ---- The console's key table ----------------------------------------------------------------

const KeyTable<DeviceConfigurationData>& ConsoleKeyTable();

// Reads a box's configuration text into *record (which the caller has cleared). Returns kParseOk,
// kParseInvalidArgument (null text, length below 1, null record), kParseMalformed or
// kParseBadValue.
int ParseConfiguration(const char* text, int length, DeviceConfigurationData* record,
                       const LogHook& log = {});

}  // namespace config

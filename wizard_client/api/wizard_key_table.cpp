#include "wizard_client/api/wizard_key_table.h"

#include <string>

namespace wizard {
namespace {

using config::KeyTable;
using config::ValueStatus;
using T = ParseTarget;

constexpr std::size_t kMacTextSize = 12;

config::ValueSetter<T> ExtraText(std::string NetBEUIExtraTexts::*field) {
  return [field](std::string_view v, T& t) {
    (t.extras->netbeui.*field).assign(v);
    return ValueStatus::kStored;
  };
}

KeyTable<T> BuildWizardTable() {
  // The wizard's own entries come first: the engine takes the first entry of a key.
  KeyTable<T> table = {
      {"0163",
       [](std::string_view v, T& t) {
         std::int32_t n = 0;
         if (!config::ValueYesNo(v, n)) return ValueStatus::kBadValue;
         t.base->dsLogicalPrinter[3].bConvertLFToLFCR = n;
         return ValueStatus::kStored;
       }},
      {"5003", ExtraText(&NetBEUIExtraTexts::sz5003)},
      {"5101", ExtraText(&NetBEUIExtraTexts::sz5101)},
      {"5102", ExtraText(&NetBEUIExtraTexts::sz5102)},
      {"5104", ExtraText(&NetBEUIExtraTexts::sz5104)},
      {"5103", ExtraText(&NetBEUIExtraTexts::sz5103)},
      {"7011",
       [](std::string_view v, T& t) {
         for (std::size_t at = 0; at + kMacTextSize <= v.size(); at += kMacTextSize) {
           t.extras->wireless.MacAddressList.emplace_back(v.substr(at, kMacTextSize));
         }
         return ValueStatus::kStored;
       }},
  };
  // Then every key of the console's table, on the console's part of the record.
  for (const auto& entry : config::ConsoleKeyTable()) {
    config::KeyEntry<T> wrapped;
    wrapped.key = entry.key;
    wrapped.secret = entry.secret;
    if (entry.store) {
      wrapped.store = [store = entry.store](std::string_view v, T& t) { return store(v, *t.base); };
    }
    table.push_back(std::move(wrapped));
  }
  return table;
}

}  // namespace

const KeyTable<ParseTarget>& WizardKeyTable() {
  static const KeyTable<ParseTarget> table = BuildWizardTable();
  return table;
}

int ParseWizardConfiguration(const char* text, int length, const ParseTarget& target,
                             const config::LogHook& log) {
  if (text == nullptr || length < 1 || target.base == nullptr || target.extras == nullptr) {
    return config::kParseInvalidArgument;
  }
  ParseTarget copy = target;
  return config::ParseWithTable(text, length, &copy, WizardKeyTable(), log);
}

}  // namespace wizard

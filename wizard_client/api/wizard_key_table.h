// The wizard's configuration-text reader: the shared key-table engine (config_parser.h) with a
// second table. The wizard reads every key as the console does, except where its dialect differs:
//   0163        trimmed like the other line-feed switches (the console compares it as received)
//   5003, 5101, 5102, 5104, 5103   five further NetBEUI texts, as received
//   7011        the wireless hardware-address list: consecutive 12-character pieces appended
// Keys 3101-3104 are read as the console reads them ("BCP" is a value of its own, not an error),
// so a box the console configured stays readable; 7001 stays the domain list text.
#pragma once
#include "device_client/core/config/config_parser.h"
#include "wizard_client/api/wizard_records.h"

namespace wizard {

// Where one parse stores: the console's record and the wizard's additions.
struct ParseTarget {
  config::DeviceConfigurationData* base = nullptr;
  WizardCacheExtras* extras = nullptr;
};

const config::KeyTable<ParseTarget>& WizardKeyTable();

// Reads a box's configuration text into the target (which the caller has cleared): 0,
// -1 malformed line, -2 null text or target or a length below 1, -100 bad value.
int ParseWizardConfiguration(const char* text, int length, const ParseTarget& target,
                             const config::LogHook& log = {});

}  // namespace wizard

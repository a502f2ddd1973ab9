// The PJL operations of CSimulation: the variables and the printer status of the printer on one
// port of a simulated device, under keys "<port>_<VARIABLE>.<suffix>" of its device section.
#include <algorithm>

#include "console_simulation/settings_file.h"
#include "console_simulation/simulation.h"
#include "device_client/pjl/pjl_text.h"

namespace {

using namespace console_sim;

std::string VariableKey(const char* port, int position, const std::string& suffix) {
  return std::string(port) + "_" + PJLVariableName(position) + "." + suffix;
}

}  // namespace

int CSimulation::mGetPJLConfiguration(const std::string& szDefaultName, int iPort,
                                      PJLConfigurationData* pdsPJLConfigurationData) {
  if (pdsPJLConfigurationData == nullptr) return -2;
  std::string section;
  if (!FindDeviceSection(szDefaultName, section)) return 0;
  const char* port = PortPrefix(iPort);
  if (port == nullptr) return 0;
  for (int i = 0; i < pjl::kVariableCount; ++i) {
    PJLVariableData& entry = pdsPJLConfigurationData->Entry(i);
    entry.szVariableValue = ReadText(section, VariableKey(port, i, "szVariableValue"));
    entry.bReadOnly = ReadInt(section, VariableKey(port, i, "bReadOnly"));
    entry.iVariableValueType = ReadInt(section, VariableKey(port, i, "iVariableValueType"));
    // A negative or missing count gives an empty list; a huge one is cut to what a printer's
    // variable may list.
    const int count = std::clamp(ReadInt(section, VariableKey(port, i, "0")), 0, kMaxPJLChoices);
    entry.ValidValueList.clear();
    for (int k = 1; k <= count; ++k) {
      entry.ValidValueList.push_back(ReadText(section, VariableKey(port, i, std::to_string(k))));
    }
  }
  return 0;
}

int CSimulation::mSetPJLEnvironmentVariable(const std::string& szDefaultName, int iPort,
                                            const std::string& szVariableValue,
                                            int iPJLInqueryType) {
  const char* port = PortPrefix(iPort);
  const int position = PJLPositionOfIndex(iPJLInqueryType);
  // A port or index that names no key, or a value that would break the file's line: refused.
  if (port == nullptr || position < 0 || !IsWritable(szVariableValue)) return -2;
  std::string section;
  if (!FindDeviceSection(szDefaultName, section)) return 0;
  return WriteText(section, VariableKey(port, position, "szVariableValue"), szVariableValue) ? 0
                                                                                             : -1;
}

int CSimulation::mGetPJLStatus(const std::string& szDefaultName, int iPort,
                               PJLStatusData* pdsPJLStatusData) {
  if (pdsPJLStatusData == nullptr) return -2;
  std::string section;
  if (!FindDeviceSection(szDefaultName, section)) return 0;
  const char* port = PortPrefix(iPort);
  if (port == nullptr) return 0;
  const auto& def = PJLStatusRecord();
  ReadRecord(section, std::string(port) + "_" + def.keyPrefix, def, *pdsPJLStatusData);
  return 0;
}

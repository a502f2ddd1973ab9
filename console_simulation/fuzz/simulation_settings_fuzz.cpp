// Arbitrary bytes as the simulation's settings file: every read must give a defined result without
// changing the file, texts stay within their room, the browse lists stay parallel and bounded, and
// a setter's values read back.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "console_simulation/simulation.h"
#include "platform/fuzz/fuzz_root.h"
#include "platform/paths.h"

namespace {

void Check(bool ok) {
  if (!ok) std::abort();
}

std::string ReadAll(const std::string& path) {
  std::string out;
  if (FILE* f = std::fopen(path.c_str(), "rb")) {
    char buf[4096];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) out.append(buf, n);
    std::fclose(f);
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  platform_fuzz::FuzzRoot();
  const std::string path =
      platform::JoinPath(platform::WindowsDirectory(), CSimulation::kSettingsFileName);
  FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) std::abort();
  if (size != 0) std::fwrite(data, 1, size, f);
  std::fclose(f);
  const std::string before = ReadAll(path);

  CSimulation sim;
  BrowseAllPrintServerData lists;
  sim.PS_Browse(&lists, "*");
  Check(lists.szDefaultName.size() <= static_cast<std::size_t>(CSimulation::kMaxDevices));
  Check(lists.szDefaultName.size() == lists.szDeviceName.size());
  Check(lists.szDefaultName.size() == lists.szPortType.size());
  for (const std::string& name : lists.szDefaultName) Check(name.size() <= 511);

  std::list<std::string> names;
  sim.mScanNDSTree(names);
  sim.mScanAllFileServer(names);
  Check(names.size() <= 2u * CSimulation::kMaxScanNames);
  sim.mInitializeLanComponent(7, 20);

  // Every device the browse found, and one name that is not there.
  lists.szDefaultName.push_back("PS-NOT-THERE");
  for (const std::string& name : lists.szDefaultName) {
    config::SystemConfigurationData sys;
    sim.mGetSystemConfiguration(name, &sys);
    Check(sys.szDeviceName.size() <= 511);
    config::ProtocolData caps;
    sim.mGetDeviceProtocol(name, &caps);
    config::SNMPConfigurationData snmp;
    sim.mGetSNMPConfiguration(name, &snmp);
    config::LogicalPrinterConfigurationData lp;
    sim.mGetLogicalPortConfiguration(name, 5, &lp);
    std::string text;
    sim.mGetDeviceInformation(name, text);
    Check(text.size() <= static_cast<std::size_t>(CSimulation::kMaxTextFileBytes));
    PJLConfigurationData pjl;
    sim.mGetPJLConfiguration(name, 1, &pjl);
    for (int i = 0; i < 28; ++i) {
      Check(pjl.Entry(i).ValidValueList.size() <=
            static_cast<std::size_t>(CSimulation::kMaxPJLChoices));
    }
    PJLStatusData status;
    sim.mGetPJLStatus(name, 101, &status);
  }
  Check(ReadAll(path) == before);  // reads never write

  // A write to the first device reads back (unless the file cannot be written at all).
  std::string section;
  if (!lists.szDefaultName.empty() && sim.FindDeviceSection(lists.szDefaultName.front(), section)) {
    config::NetBEUIConfigureData nb;
    nb.szDomainName = "WORKGROUP";
    nb.iResponseTime = 17;
    if (sim.mSetNetBEUIConfiguration(lists.szDefaultName.front(), &nb) == 0) {
      config::NetBEUIConfigureData back;
      sim.mGetNetBEUIConfiguration(lists.szDefaultName.front(), &back);
      Check(back.iResponseTime == 17 && back.szDomainName == "WORKGROUP");
    }
  }
  return 0;
}

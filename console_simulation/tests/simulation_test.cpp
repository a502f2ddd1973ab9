#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <vector>

#include "console_simulation/console_objects.h"
#include "console_simulation/record_fields.h"
#include "console_simulation/tests/sim_fixture.h"
#include "platform/test_support/unprivileged.h"

namespace {

using namespace sim_test;
using console_sim::FieldDef;
using console_sim::RecordDef;

constexpr const char* kOneDevice =
    "[general]\ndevicecount=1\n[device_0]\ndefaultname=PS1\ndevicename=Office\n";

// One key of the settings file, spelled as "ferrowutilsm.ini" spells it, read through a getter and
// written through a setter.
struct KeyCase {
  const char* key;    // the key's exact text
  const char* value;  // a value to store
  bool isText;        // a missing key reads "" (text) or "0" (integer)
  std::function<std::string(CSimulation&)> read;
  std::function<int(CSimulation&, const std::string&)> write;
};

template <class R>
std::string FieldText(const R& r, std::string R::*m) {
  return r.*m;
}
template <class R>
std::string FieldText(const R& r, std::int32_t R::*m) {
  return std::to_string(r.*m);
}
template <class R>
void SetField(R& r, std::string R::*m, const std::string& v) {
  r.*m = v;
}
template <class R>
void SetField(R& r, std::int32_t R::*m, const std::string& v) {
  r.*m = std::stoi(v);
}

// A case for a record with a getter and a setter taking (name, record*).
template <class R, class M>
KeyCase Group(const char* key, const char* value, int (CSimulation::*get)(const std::string&, R*),
              int (CSimulation::*set)(const std::string&, const R*), M R::*member) {
  constexpr bool kText = std::is_same_v<M, std::string>;
  return {key, value, kText,
          [=](CSimulation& s) {
            R r;
            EXPECT_EQ(0, (s.*get)("PS1", &r));
            return FieldText(r, member);
          },
          [=](CSimulation& s, const std::string& v) {
            R r;
            SetField(r, member, v);
            return set == nullptr ? 0 : (s.*set)("PS1", &r);
          }};
}

// The same for a logical port.
template <class M>
KeyCase Logical(const char* key, const char* value, int port,
                M config::LogicalPrinterConfigurationData::*member) {
  using R = config::LogicalPrinterConfigurationData;
  return {key, value, std::is_same_v<M, std::string>,
          [=](CSimulation& s) {
            R r;
            EXPECT_EQ(0, s.mGetLogicalPortConfiguration("PS1", port, &r));
            return FieldText(r, member);
          },
          [=](CSimulation& s, const std::string& v) {
            R r;
            SetField(r, member, v);
            return s.mSetLogicalPortConfiguration("PS1", port, &r);
          }};
}

std::vector<KeyCase> KeyCases() {
  using namespace config;
  using S = CSimulation;
  return {
      Group<ProtocolData>("pdsProtocolData.bPXSPXProtocol", "1", &S::mGetDeviceProtocol, nullptr,
                          &ProtocolData::bIPXSPXProtocol),
      Group<ProtocolData>("pdsProtocolData.bInternetMailProtocol", "1", &S::mGetDeviceProtocol,
                          nullptr, &ProtocolData::bInternetMailProtocol),
      Group<SystemConfigurationData>("pdsSystemConfigurationData.szDeviceName", "Front desk",
                                     &S::mGetSystemConfiguration, &S::mSetSystemConfiguration,
                                     &SystemConfigurationData::szDeviceName),
      Group<SystemConfigurationData>("pdsSystemConfigurationData.bNetBEUIProtocol", "1",
                                     &S::mGetSystemConfiguration, &S::mSetSystemConfiguration,
                                     &SystemConfigurationData::bNetBEUIProtocol),
      Group<SerialPortConfigurationData>(
          "pdsSerialPortConfigurationData->szParity", "Even", &S::mGetSerialPortConfiguration,
          &S::mSetSerialPortConfiguration, &SerialPortConfigurationData::szParity),
      Group<SerialPortConfigurationData>(
          "pdsSerialPortConfigurationData->iStopbits", "2", &S::mGetSerialPortConfiguration,
          &S::mSetSerialPortConfiguration, &SerialPortConfigurationData::iStopbits),
      Logical("L3_pdsLogicalPrinterConfigurationData->szStringBeforeJob", "<ESC>E", 3,
              &LogicalPrinterConfigurationData::szStringBeforeJob),
      Logical("L8_pdsLogicalPrinterConfigurationData->bConvertLFToLFCR", "1", 8,
              &LogicalPrinterConfigurationData::bConvertLFToLFCR),
      Group<NetwareConfigurationData>(
          "pdsNetwareConfigurationData->szSPRemotePrinter", "RP-SP", &S::mGetNetwareConfiguration,
          &S::mSetNetwareConfiguration, &NetwareConfigurationData::szSPRemotePrinter),
      Group<NetwareConfigurationData>("pdsNetwareConfigurationData->iQueuePollingInterval", "30",
                                      &S::mGetNetwareConfiguration, &S::mSetNetwareConfiguration,
                                      &NetwareConfigurationData::iQueuePollingInterval),
      Group<TCPIPConfigurationData>("pdsTCPIPConfigurationData->szPassword", "mail-pw",
                                    &S::mGetTCPIPConfiguration, &S::mSetTCPIPConfiguration,
                                    &TCPIPConfigurationData::szPassword),
      Group<TCPIPConfigurationData>("pdsTCPIPConfigurationData->bBannerPrinting", "1",
                                    &S::mGetTCPIPConfiguration, &S::mSetTCPIPConfiguration,
                                    &TCPIPConfigurationData::bBannerPrinting),
      Group<APPLETALKConfigurationData>(
          "pdsAPPLETALKConfigurationData->nSPBinaryCommunicationProtocol", "2",
          &S::mGetAPPLETALKConfiguration, &S::mSetAPPLETALKConfiguration,
          &APPLETALKConfigurationData::bSPBinaryCommunicationProtocol),
      Group<APPLETALKConfigurationData>(
          "pdsAPPLETALKConfigurationData->szP3PrinterType", "LaserWriter II",
          &S::mGetAPPLETALKConfiguration, &S::mSetAPPLETALKConfiguration,
          &APPLETALKConfigurationData::szP3PrinterType),
      Group<NetBEUIConfigureData>("pdsNetBEUIConfigureData->iResponseTime", "25",
                                  &S::mGetNetBEUIConfiguration, &S::mSetNetBEUIConfiguration,
                                  &NetBEUIConfigureData::iResponseTime),
      Group<SNMPConfigurationData>("pdsSNMPConfigurationData->szT4_CommunityString", "trapsecret",
                                   &S::mGetSNMPConfiguration, &S::mSetSNMPConfiguration,
                                   &SNMPConfigurationData::szT4_CommunityString),
      Group<SNMPConfigurationData>("pdsSNMPConfigurationData->iM2_AccessPermission", "1",
                                   &S::mGetSNMPConfiguration, &S::mSetSNMPConfiguration,
                                   &SNMPConfigurationData::iM2_AccessPermission),
      Group<SNMPConfigurationData>("pdsSNMPConfigurationData->iT1_TrapSeverity", "3",
                                   &S::mGetSNMPConfiguration, &S::mSetSNMPConfiguration,
                                   &SNMPConfigurationData::iT1_TrapSeverity),
  };
}

TEST_F(SimulationTest, EachKeyReadsWritesAndDefaultsWhenMissing) {
  for (const KeyCase& c : KeyCases()) {
    SCOPED_TRACE(c.key);
    // Missing key: 0 or the empty text.
    WriteSettings(kOneDevice);
    EXPECT_EQ(c.isText ? "" : "0", c.read(sim_));
    // The key as the file names it reaches the field.
    WriteSettings(std::string(kOneDevice) + c.key + "=" + c.value + "\n");
    EXPECT_EQ(c.value, c.read(sim_));
    // A setter writes the field under that key, and it reads back.
    WriteSettings(kOneDevice);
    ASSERT_EQ(0, c.write(sim_, c.value));
    if (c.key != std::string("pdsProtocolData.bPXSPXProtocol") &&
        c.key != std::string("pdsProtocolData.bInternetMailProtocol")) {
      EXPECT_NE(std::string::npos, Settings().find(std::string(c.key) + "=" + c.value + "\n"))
          << Settings();
      EXPECT_EQ(c.value, c.read(sim_));
    }
  }
}

// Distinct values in every keyed field, set through the setter, come back through the getter.
template <class R>
void FillDistinct(const RecordDef<R>& def, R& r) {
  int n = 11;
  for (const FieldDef<R>& f : def.fields) {
    if (f.number != nullptr) {
      r.*f.number = n++;
    } else {
      r.*f.text = std::string("v") + f.key + " " + std::to_string(n++);
    }
  }
}

template <class R>
void ExpectKeyedEqual(const RecordDef<R>& def, const R& want, const R& got) {
  for (const FieldDef<R>& f : def.fields) {
    if (f.number != nullptr) {
      EXPECT_EQ(want.*f.number, got.*f.number) << f.key;
    } else {
      EXPECT_EQ(want.*f.text, got.*f.text) << f.key;
    }
  }
}

template <class R>
void RoundTrip(CSimulation& sim, const RecordDef<R>& def,
               int (CSimulation::*get)(const std::string&, R*),
               int (CSimulation::*set)(const std::string&, const R*)) {
  R in;
  FillDistinct(def, in);
  ASSERT_EQ(0, (sim.*set)("PS1", &in));
  R out;
  ASSERT_EQ(0, (sim.*get)("PS1", &out));
  ExpectKeyedEqual(def, in, out);
}

TEST_F(SimulationTest, EveryFieldOfEveryGroupSurvivesWriteAndRead) {
  WriteSettings(kOneDevice);
  using S = CSimulation;
  RoundTrip(sim_, console_sim::SerialPortRecord(), &S::mGetSerialPortConfiguration,
            &S::mSetSerialPortConfiguration);
  RoundTrip(sim_, console_sim::TCPIPRecord(), &S::mGetTCPIPConfiguration,
            &S::mSetTCPIPConfiguration);
  RoundTrip(sim_, console_sim::APPLETALKRecord(), &S::mGetAPPLETALKConfiguration,
            &S::mSetAPPLETALKConfiguration);
  RoundTrip(sim_, console_sim::NetBEUIRecord(), &S::mGetNetBEUIConfiguration,
            &S::mSetNetBEUIConfiguration);
  RoundTrip(sim_, console_sim::SNMPRecord(), &S::mGetSNMPConfiguration,
            &S::mSetSNMPConfiguration);
  RoundTrip(sim_, console_sim::NetwareRecord(), &S::mGetNetwareConfiguration,
            &S::mSetNetwareConfiguration);
  RoundTrip(sim_, console_sim::SystemRecord(), &S::mGetSystemConfiguration,
            &S::mSetSystemConfiguration);

  // All eight logical printers of one record land on their own ports.
  config::AllLogicalPrinter all;
  for (int n = 1; n <= 8; ++n) {
    const auto& row = *console_sim::AllLogicalPrinterRow(n);
    all.*row.physicalPort = "P" + std::to_string(n);
    all.*row.beforeJob = "before " + std::to_string(n);
    all.*row.afterJob = "after " + std::to_string(n);
    all.*row.convert = n % 2;
  }
  ASSERT_EQ(0, sim_.mSetAllLogicalPortConfiguration("PS1", 0, &all));
  for (int n = 1; n <= 8; ++n) {
    config::LogicalPrinterConfigurationData port;
    ASSERT_EQ(0, sim_.mGetLogicalPortConfiguration("PS1", n, &port));
    EXPECT_EQ("P" + std::to_string(n), port.szPhysicalPort);
    EXPECT_EQ("before " + std::to_string(n), port.szStringBeforeJob);
    EXPECT_EQ("after " + std::to_string(n), port.szStringAfterJob);
    EXPECT_EQ(n % 2, port.bConvertLFToLFCR);
  }
}

TEST_F(SimulationTest, FieldsWithoutKeyAreLeftAlone) {
  WriteSettings(std::string(kOneDevice) + "pdsTCPIPConfigurationData->szIPAddress=10.1.2.3\n");
  config::TCPIPConfigurationData tcp;
  tcp.bAutoAddress1 = 7;
  tcp.szSpare = "kept";
  ASSERT_EQ(0, sim_.mGetTCPIPConfiguration("PS1", &tcp));
  EXPECT_EQ("10.1.2.3", tcp.szIPAddress);
  EXPECT_EQ(7, tcp.bAutoAddress1);
  EXPECT_EQ("kept", tcp.szSpare);

  config::ProtocolData caps;
  caps.bWirelessDevice = 5;
  ASSERT_EQ(0, sim_.mGetDeviceProtocol("PS1", &caps));
  EXPECT_EQ(5, caps.bWirelessDevice);

  config::SNMPConfigurationData snmp;
  snmp.bSNMPEnable = 1;
  ASSERT_EQ(0, sim_.mGetSNMPConfigurationToDefault("PS1", &snmp));
  EXPECT_EQ(1, snmp.bSNMPEnable);
}

TEST_F(SimulationTest, UnknownDeviceChangesNothing) {
  for (const char* settings :
       {"", "[general]\ndevicecount=0\n[device_0]\ndefaultname=PS1\n",
        "[general]\n[device_0]\ndefaultname=PS1\n", kOneDevice}) {
    WriteSettings(settings);
    const std::string before = Settings();
    const std::string name = std::string(settings) == kOneDevice ? "ps1" : "PS1";  // case matters
    config::SystemConfigurationData sys;
    sys.szDeviceName = "untouched";
    sys.bTCPIPProtocol = 9;
    EXPECT_EQ(0, sim_.mGetSystemConfiguration(name, &sys));
    EXPECT_EQ(0, sim_.mGetSystemConfigurationToDefault(name, &sys));
    EXPECT_EQ("untouched", sys.szDeviceName);
    EXPECT_EQ(9, sys.bTCPIPProtocol);
    EXPECT_EQ(0, sim_.mSetSystemConfiguration(name, &sys));
    EXPECT_EQ(0, sim_.mSetPassword(name, "pw"));
    std::string text = "untouched";
    EXPECT_EQ(0, sim_.mGetDeviceInformation(name, text));
    EXPECT_EQ("untouched", text);
    BrowseAllPrintServerData lists;
    EXPECT_EQ(0, sim_.PS_Browse(&lists, "*"));
    if (std::string(settings) != kOneDevice) {
      EXPECT_TRUE(lists.szDefaultName.empty());
    }
    EXPECT_EQ(before, Settings());
  }
}

TEST_F(SimulationTest, LookUpTakesTheLowestSectionAndNeverAnEmptyName) {
  WriteSettings(
      "[general]\ndevicecount=3\n[device_0]\ndefaultname=A\n[device_1]\ndefaultname=PS1\n"
      "iModelType=4\n[device_2]\ndefaultname=PS1\niModelType=9\n");
  std::string section;
  EXPECT_EQ(1, sim_.FindDeviceSection("PS1", section));
  EXPECT_EQ("device_1", section);
  int model = -1;
  EXPECT_EQ(0, sim_.mGetDevicePortType("PS1", &model));
  EXPECT_EQ(4, model);
  // device_3 lies beyond devicecount; an empty name would match any section without a name.
  WriteSettings("[general]\ndevicecount=2\n[device_0]\ndefaultname=A\n[device_3]\ndefaultname=B\n");
  EXPECT_EQ(0, sim_.FindDeviceSection("B", section));
  EXPECT_EQ(0, sim_.FindDeviceSection("", section));
}

TEST_F(SimulationTest, BrowseFiltersByContainedText) {
  WriteSettings(
      "[general]\ndevicecount=3\n"
      "[device_0]\ndefaultname=PS0A1B2C\ndevicename=Sales\nprinterport=3 ports\n"
      "[device_1]\ndefaultname=XPSX\ndevicename=Hall\nprinterport=1 port\n"
      "[device_2]\ndefaultname=KV112233\ndevicename=Lab\nprinterport=USB\n");
  struct Case {
    const char* filter;
    std::vector<std::string> names;
  };
  const Case cases[] = {
      {"*", {"PS0A1B2C", "XPSX", "KV112233"}},
      {"", {"PS0A1B2C", "XPSX", "KV112233"}},
      {"PS", {"PS0A1B2C", "XPSX"}},
      {"ps", {}},
      {"KV1", {"KV112233"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.filter);
    BrowseAllPrintServerData lists;
    lists.szDefaultName.push_back("kept");
    lists.szDeviceName.push_back("kept");
    lists.szPortType.push_back("kept");
    ASSERT_EQ(0, sim_.PS_Browse(&lists, c.filter));
    std::vector<std::string> got(std::next(lists.szDefaultName.begin()), lists.szDefaultName.end());
    EXPECT_EQ(c.names, got);
    EXPECT_EQ(lists.szDefaultName.size(), lists.szDeviceName.size());
    EXPECT_EQ(lists.szDefaultName.size(), lists.szPortType.size());
  }
  BrowseAllPrintServerData lists;
  ASSERT_EQ(0, sim_.PS_Browse(&lists, "KV"));
  EXPECT_EQ(std::list<std::string>{"Lab"}, lists.szDeviceName);
  EXPECT_EQ(std::list<std::string>{"USB"}, lists.szPortType);
  EXPECT_EQ(-2, sim_.PS_Browse(nullptr, "*"));
}

TEST_F(SimulationTest, DeviceCountBeyondTheTableIsBounded) {
  // Sections that do not exist browse as empty entries; a count far beyond the device table must
  // neither hang nor fill memory.
  WriteSettings("[general]\ndevicecount=2147483647\n[device_0]\ndefaultname=PS1\n");
  BrowseAllPrintServerData lists;
  ASSERT_EQ(0, sim_.PS_Browse(&lists, "*"));
  EXPECT_EQ(static_cast<std::size_t>(CSimulation::kMaxDevices), lists.szDefaultName.size());
  EXPECT_EQ("PS1", lists.szDefaultName.front());
  std::string section;
  EXPECT_EQ(0, sim_.FindDeviceSection("nowhere", section));
  WriteSettings("[general]\ndevicecount=-5\n[device_0]\ndefaultname=PS1\n");
  EXPECT_EQ(0, sim_.FindDeviceSection("PS1", section));
}

TEST_F(SimulationTest, LongValuesReadAsTheirFirst511Characters) {
  const std::string longValue(600, 'n');
  WriteSettings(std::string(kOneDevice) + "pdsNetBEUIConfigureData->szDomainName=" + longValue +
                "\n");
  config::NetBEUIConfigureData nb;
  ASSERT_EQ(0, sim_.mGetNetBEUIConfiguration("PS1", &nb));
  EXPECT_EQ(longValue.substr(0, 511), nb.szDomainName);
  // A long value is written whole; the read gives its first 511 characters again.
  nb.szDomainName = std::string(700, 'w');
  ASSERT_EQ(0, sim_.mSetNetBEUIConfiguration("PS1", &nb));
  EXPECT_NE(std::string::npos, Settings().find(std::string(700, 'w')));
  config::NetBEUIConfigureData back;
  ASSERT_EQ(0, sim_.mGetNetBEUIConfiguration("PS1", &back));
  EXPECT_EQ(std::string(511, 'w'), back.szDomainName);
}

TEST_F(SimulationTest, DeviceNameSettersKeepTheirRecordsInStep) {
  WriteSettings(kOneDevice);
  config::SystemConfigurationData sys;
  sys.szDeviceName = "Renamed";
  sys.bTCPIPProtocol = 1;
  ASSERT_EQ(0, sim_.mSetSystemConfiguration("PS1", &sys));
  config::NetwareConfigurationData nw;
  ASSERT_EQ(0, sim_.mGetNetwareConfiguration("PS1", &nw));
  EXPECT_EQ("Renamed", nw.szDeviceName);

  nw.szDeviceName = "ViaNetWare";
  ASSERT_EQ(0, sim_.mSetNetwareConfiguration("PS1", &nw));
  config::SystemConfigurationData back;
  ASSERT_EQ(0, sim_.mGetSystemConfiguration("PS1", &back));
  EXPECT_EQ("ViaNetWare", back.szDeviceName);
  EXPECT_EQ(1, back.bTCPIPProtocol);

  // The browse lists the new device name; the default name still finds the device.
  BrowseAllPrintServerData lists;
  ASSERT_EQ(0, sim_.PS_Browse(&lists, "PS1"));
  EXPECT_EQ(std::list<std::string>{"ViaNetWare"}, lists.szDeviceName);

  ASSERT_EQ(0, sim_.mSetSystemConfigurationToDefault("PS1"));
  ASSERT_EQ(0, sim_.mGetSystemConfiguration("PS1", &back));
  EXPECT_EQ("", back.szDeviceName);
  EXPECT_EQ(0, back.bTCPIPProtocol);
  lists = {};
  ASSERT_EQ(0, sim_.PS_Browse(&lists, "PS1"));
  EXPECT_EQ(std::list<std::string>{"ViaNetWare"}, lists.szDeviceName);
}

TEST_F(SimulationTest, DefaultReadersFillInCodeOnlyForAKnownDevice) {
  WriteSettings(std::string(kOneDevice) + "pdsSerialPortConfigurationData->iBaudrate=300\n");
  config::SerialPortConfigurationData serial;
  ASSERT_EQ(0, sim_.mGetSerialPortConfigurationToDefault("PS1", &serial));
  EXPECT_EQ(9600, serial.iBaudrate);
  EXPECT_EQ(8, serial.iDatabits);
  EXPECT_EQ("None", serial.szParity);
  EXPECT_EQ(1, serial.iStopbits);
  EXPECT_EQ("Hardware", serial.szHandshake);

  config::SystemConfigurationData sys;
  sys.szDeviceName = "x";
  ASSERT_EQ(0, sim_.mGetSystemConfigurationToDefault("PS1", &sys));
  EXPECT_EQ("", sys.szDeviceName);
  EXPECT_EQ(1, sys.bIPXSPXProtocol);
  EXPECT_EQ(1, sys.bTCPIPProtocol);
  EXPECT_EQ(1, sys.bAPPLETALKProtocol);
  EXPECT_EQ(1, sys.bNetBEUIProtocol);

  config::NetwareConfigurationData nw;
  nw.szMasterFileServerName = "FS1";
  ASSERT_EQ(0, sim_.mGetNetwareConfigurationToDefault("PS1", &nw));
  EXPECT_EQ("PS", nw.szOperationMode);
  EXPECT_EQ("", nw.szMasterFileServerName);
  EXPECT_EQ(10, nw.iQueuePollingInterval);
  EXPECT_EQ(1, nw.bFrameTypeTokenringSnap);
  EXPECT_EQ("PS1", nw.szPrintServerName);
  EXPECT_EQ("PS1", nw.szDeviceName);

  config::TCPIPConfigurationData tcp;
  ASSERT_EQ(0, sim_.mGetTCPIPConfigurationToDefault("PS1", &tcp));
  EXPECT_EQ("0.0.0.0", tcp.szSubNetworkMaskAddress);
  EXPECT_EQ(255, tcp.iTCPIntervalSessionRetry);
  EXPECT_EQ(10, tcp.iTCPCountSessionRetry);
  EXPECT_EQ("1", tcp.szCheckMailInterval);
  EXPECT_EQ("P1", tcp.szDefaultPrinterNumber);

  config::APPLETALKConfigurationData at;
  ASSERT_EQ(0, sim_.mGetAPPLETALKConfigurationToDefault("PS1", &at));
  EXPECT_EQ("*", at.szZoneName);
  EXPECT_EQ("LaserWrite", at.szSPPrinterType);

  config::SNMPConfigurationData snmp;
  ASSERT_EQ(0, sim_.mGetSNMPConfigurationToDefault("PS1", &snmp));
  EXPECT_EQ("0.0.0.0", snmp.szT3_TrapReceiveIPAddress);
  EXPECT_EQ(1, snmp.iT3_TrapSeverity);
  EXPECT_EQ("wozlek", snmp.szT3_CommunityString);
  EXPECT_EQ("wozlek", snmp.szM4_CommunityString);
  EXPECT_EQ(0, snmp.iM4_AccessPermission);

  config::LogicalPrinterConfigurationData lp;
  lp.szPhysicalPort = "P2";
  lp.bConvertLFToLFCR = 1;
  ASSERT_EQ(0, sim_.mGetLogicalPortConfigurationToDefault("PS1", 42, &lp));
  EXPECT_EQ("", lp.szPhysicalPort);
  EXPECT_EQ(0, lp.bConvertLFToLFCR);

  config::NetBEUIConfigureData nb;
  nb.iResponseTime = 5;
  ASSERT_EQ(0, sim_.mGetNetBEUIConfigurationToDefault("PS2", &nb));  // unknown device
  EXPECT_EQ(5, nb.iResponseTime);
  EXPECT_NE(std::string::npos, Settings().find("iBaudrate=300"));  // nothing was written
}

TEST_F(SimulationTest, LogicalPortOutsideOneToEight) {
  WriteSettings(std::string(kOneDevice) +
                "L0_pdsLogicalPrinterConfigurationData->szPhysicalPort=P9\n"
                "L9_pdsLogicalPrinterConfigurationData->szPhysicalPort=P9\n");
  const std::string before = Settings();
  for (int port : {0, 9, -1}) {
    config::LogicalPrinterConfigurationData lp;
    lp.szPhysicalPort = "mine";
    EXPECT_EQ(0, sim_.mGetLogicalPortConfiguration("PS1", port, &lp));
    EXPECT_EQ("mine", lp.szPhysicalPort);
    EXPECT_EQ(-2, sim_.mSetLogicalPortConfiguration("PS1", port, &lp));
  }
  EXPECT_EQ(before, Settings());
}

TEST_F(SimulationTest, ValuesThatWouldBreakTheFileAreRefusedWhole) {
  WriteSettings(kOneDevice);
  const std::string before = Settings();
  config::TCPIPConfigurationData tcp;
  tcp.szIPAddress = "10.0.0.1";
  tcp.szPrinterModelString = "model\n[general]\ndevicecount=0";
  EXPECT_EQ(-2, sim_.mSetTCPIPConfiguration("PS1", &tcp));
  EXPECT_EQ(-2, sim_.mSetPassword("PS1", "pw\r\nx=y"));
  EXPECT_EQ(-2, sim_.mSetNetwarePassword("PS1", std::string("pw\0x", 4)));
  config::AllLogicalPrinter all;
  all.szL7StringAfterJob = "\x1b" "E";
  EXPECT_EQ(-2, sim_.mSetAllLogicalPortConfiguration("PS1", 8, &all));
  config::SystemConfigurationData sys;
  sys.szDeviceName = "tab\there";
  EXPECT_EQ(-2, sim_.mSetSystemConfiguration("PS1", &sys));
  EXPECT_EQ(before, Settings());
  EXPECT_EQ(-2, sim_.mSetTCPIPConfiguration("PS1", nullptr));
  EXPECT_EQ(-2, sim_.mGetTCPIPConfiguration("PS1", nullptr));
}

TEST_F(SimulationTest, PasswordIsStoredAndThenNamesTheAnswerFile) {
  WriteSettings(std::string(kOneDevice) + "szPassword=old.txt\n");
  WriteFile(WindowsFile("old.txt"), "old answer");
  WriteFile(WindowsFile("secret"), "the secret's file");
  std::string text;
  ASSERT_EQ(0, sim_.mGetPrinterStatusPassword("PS1", text));
  EXPECT_EQ("old answer", text);
  ASSERT_EQ(0, sim_.mSetPassword("PS1", "secret"));
  EXPECT_NE(std::string::npos, Settings().find("szPassword=secret\n"));
  ASSERT_EQ(0, sim_.mGetPrinterStatusPassword("PS1", text));
  EXPECT_EQ("the secret's file", text);
}

TEST_F(SimulationTest, AnswerTextsComeFromFilesOfTheWindowsDirectory) {
  WriteSettings(std::string(kOneDevice) +
                "szDeviceInformation=info.txt\nszPrinterStatus=status.txt\n");
  WriteFile(WindowsFile("info.txt"), std::string("Firmware 1.2\r\nPorts 3\0after NUL", 31));
  WriteFile(WindowsFile("status.txt"), std::string(CSimulation::kMaxTextFileBytes, 's'));
  std::string text;
  ASSERT_EQ(0, sim_.mGetDeviceInformation("PS1", text));
  EXPECT_EQ("Firmware 1.2\r\nPorts 3", text);
  ASSERT_EQ(0, sim_.mGetPrinterStatus("PS1", text));
  EXPECT_EQ(static_cast<std::size_t>(CSimulation::kMaxTextFileBytes), text.size());
}

TEST_F(SimulationTest, AnswerFilesThatCannotBeReadGiveMinusOne) {
  ASSERT_EQ(0, ::mkfifo(WindowsFile("fifo").c_str(), 0600));
  WriteFile(WindowsFile("big.txt"), std::string(CSimulation::kMaxTextFileBytes + 1, 'b'));
  WriteFile(platform::JoinPath(root_.path(), "outside.txt"), "outside");
  const char* names[] = {"", "missing.txt", "fifo", "big.txt", "../outside.txt", ".", ".."};
  for (const char* name : names) {
    SCOPED_TRACE(name);
    WriteSettings(std::string(kOneDevice) + "szDeviceInformation=" + name + "\n");
    std::string text = "unchanged";
    EXPECT_EQ(-1, sim_.mGetDeviceInformation("PS1", text));
    EXPECT_EQ("unchanged", text);
  }
}

TEST_F(SimulationTest, DamagedOrUnreadableFilesGiveDefaultsAndAreNeverWrittenByReads) {
  struct Case {
    const char* what;
    std::string content;
  };
  const Case cases[] = {
      {"binary", std::string("\0\xff\x01[device_0\n=\n\xfe", 12)},
      {"half section", "[general\ndevicecount=1\n[device_0]\ndefaultname"},
      {"no general", "[device_0]\ndefaultname=PS1\npdsNetBEUIConfigureData->iResponseTime=4\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    WriteSettings(c.content);
    config::NetBEUIConfigureData nb;
    nb.iResponseTime = 77;
    EXPECT_EQ(0, sim_.mGetNetBEUIConfiguration("PS1", &nb));
    EXPECT_EQ(77, nb.iResponseTime);
    EXPECT_EQ(0, sim_.mInitializeLanComponent(3, 20));
    std::list<std::string> trees;
    EXPECT_EQ(0, sim_.mScanNDSTree(trees));
    EXPECT_TRUE(trees.empty());
    EXPECT_EQ(c.content, Settings());
  }
  // A settings "file" that is a directory cannot be read; reads give defaults, writes fail.
  std::filesystem::remove(WindowsFile(CSimulation::kSettingsFileName));
  ASSERT_EQ(0, ::mkdir(WindowsFile(CSimulation::kSettingsFileName).c_str(), 0700));
  EXPECT_EQ(0, sim_.mInitializeLanComponent(1, 1));
  BrowseAllPrintServerData lists;
  EXPECT_EQ(0, sim_.PS_Browse(&lists, "*"));
  EXPECT_TRUE(lists.szDefaultName.empty());
}

TEST_F(SimulationTest, AWriteThatFailsIsReported) {
  WriteSettings(kOneDevice);
  // The Windows directory is readable but not writable for the user that runs the body, so every
  // write of the settings file fails while the device is still found.
  const std::string dir = platform::WindowsDirectory();
  ASSERT_EQ(0, ::chmod(root_.path().c_str(), 0755));
  ASSERT_EQ(0, ::chmod(WindowsFile(CSimulation::kSettingsFileName).c_str(), 0644));
  ASSERT_EQ(0, ::chmod(dir.c_str(), 0555));
  const int rc = platform::testing::RunUnprivileged([] {
    CSimulation sim;
    config::NetBEUIConfigureData nb;
    if (sim.mGetNetBEUIConfiguration("PS1", &nb) != 0) return 1;
    if (sim.mSetNetBEUIConfiguration("PS1", &nb) != -1) return 2;
    if (sim.mSetPassword("PS1", "pw") != -1) return 3;
    if (sim.mSetPJLEnvironmentVariable("PS1", 1, "ON", 26) != -1) return 4;
    config::SystemConfigurationData sys;
    if (sim.mSetSystemConfiguration("PS1", &sys) != -1) return 5;
    return 0;
  });
  ::chmod(dir.c_str(), 0700);
  EXPECT_EQ(0, rc);
  EXPECT_EQ(kOneDevice, Settings());
}

TEST_F(SimulationTest, ScansStopAtTheFirstGap) {
  WriteSettings(
      "[NDSTree]\n0=TREE_A\n1=TREE_B\n3=TREE_D\n[Fileserver]\n0=FS1\n1=\n2=FS3\n"
      "[NewTCPIPDevice]\ndefaultname=KV000001\nprinterport=1 port\n");
  std::list<std::string> trees = {"kept"};
  ASSERT_EQ(0, sim_.mScanNDSTree(trees));
  EXPECT_EQ((std::list<std::string>{"kept", "TREE_A", "TREE_B"}), trees);
  std::list<std::string> servers;
  ASSERT_EQ(0, sim_.mScanAllFileServer(servers));
  EXPECT_EQ(std::list<std::string>{"FS1"}, servers);

  std::string ip = "192.168.7.9";
  BrowseAllPrintServerData lists;
  ASSERT_EQ(0, sim_.mAddCrossSegmentPrintServer(ip, &lists));
  EXPECT_EQ(std::list<std::string>{"KV000001"}, lists.szDefaultName);
  EXPECT_EQ(std::list<std::string>{""}, lists.szDeviceName);  // appended even when empty
  EXPECT_EQ(std::list<std::string>{"1 port"}, lists.szPortType);

  std::string many = "[Fileserver]\n";
  for (int k = 0; k < 300; ++k) many += std::to_string(k) + "=FS" + std::to_string(k) + "\n";
  WriteSettings(many);
  servers.clear();
  ASSERT_EQ(0, sim_.mScanAllFileServer(servers));
  EXPECT_EQ(static_cast<std::size_t>(CSimulation::kMaxScanNames), servers.size());
}

TEST_F(SimulationTest, LanStartAndConnectedProtocol) {
  WriteSettings("[general]\nInitLanReturncode=18\n");
  EXPECT_EQ(18, sim_.mInitializeLanComponent(7, 20));
  struct Case {
    const char* common;
    int expected;
  };
  const Case cases[] = {
      {"", -1},
      {"[ConnectedProtocol]\nbIPXSPX=1\nbTCPIP=1\nbNETBEUI=1\n", 1},
      {"[ConnectedProtocol]\nbTCPIP=1\nbNETBEUI=1\n", 2},
      {"[ConnectedProtocol]\nbNETBEUI=2\n", 4},
      {"[ConnectedProtocol]\nbIPXSPX=0\nbTCPIP=0\n", -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.common);
    WriteFile(WindowsFile("common.ini"), c.common);
    EXPECT_EQ(c.expected, sim_.mQueryProtocol("anything"));
  }
}

TEST_F(SimulationTest, CommandsTouchNothing) {
  WriteSettings(kOneDevice);
  const std::string before = Settings();
  EXPECT_EQ(0, sim_.mResetDevice("PS1"));
  EXPECT_EQ(0, sim_.mResetDevice2("PS1"));
  EXPECT_EQ(0, sim_.mRestoreFactoryDefault("PS1"));
  EXPECT_EQ(0, sim_.mPrintTestPage("PS1", 1));
  EXPECT_EQ(0, sim_.mSetIPAddress("PS1", "1.2.3.4", "1.2.3.1", "255.0.0.0"));
  EXPECT_EQ(0, sim_.mSetSerialPortConfigurationToDefault("PS1"));
  EXPECT_EQ(0, sim_.mSetLogicalPortConfigurationToDefault("PS1", 1));
  EXPECT_EQ(0, sim_.mSetNetwareConfigurationToDefault("PS1"));
  EXPECT_EQ(0, sim_.mSetTCPIPConfigurationToDefault("PS1"));
  EXPECT_EQ(0, sim_.mSetAPPLETALKConfigurationToDefault("PS1"));
  EXPECT_EQ(0, sim_.mSetNetBEUIConfigurationToDefault("PS1"));
  EXPECT_EQ(0, sim_.mSetSNMPConfigurationToDefault("PS1"));
  EXPECT_EQ(before, Settings());
}

TEST(ConsoleObjects, OneOfEachExistsForTheProgramsLife) {
  EXPECT_STREQ("CSimulation", g_Simulation.GetRuntimeClassName());
  EXPECT_STREQ("CDebugLog", g_DebugLog.GetRuntimeClassName());
  EXPECT_STREQ("CSimulation", CSimulation::CreateObject()->GetRuntimeClassName());
  EXPECT_STREQ("CDebugLog", CDebugLog::CreateObject()->GetRuntimeClassName());
}

}  // namespace

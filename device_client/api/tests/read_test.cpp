// Reading a box through the device-API object: whole configuration, getters and their copy rules,
// device information, status texts, the model tables, the send wrappers' codes and the log.
#include <sys/stat.h>

#include <algorithm>
#include <functional>
#include <iterator>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "device_client/api/tests/api_fixture.h"
#include "device_client/core/config/model_capabilities.h"
#include "device_client/core/wire_layout.h"
#include "platform/profile.h"

namespace api_test {
namespace {

namespace pid = wire::pid;

class DeviceApiRead : public ApiTest {
 protected:
  // The box has seen `count` requests, the last two of them one read of the whole configuration:
  // the device-information block, then the configuration text.
  void ExpectRequestsEndWithOneRead(std::size_t count) {
    const auto requests = box_.Requests();
    ASSERT_EQ(requests.size(), count);
    EXPECT_EQ(requests[count - 2].data, "9100:\r\n");
    EXPECT_EQ(requests[count - 1].data, "9007:\n");
  }
};

TEST_F(DeviceApiRead, WholeConfigurationMatchesTheBox) {
  box_.SetDeviceName("Office");
  box_.SetSetting("5000", "LAB");
  box_.SetSetting("5002", "45");
  box_.SetSetting("0121", "\x1b" "E");  // a before-job string with an escape byte, kept as sent
  box_.SetSetting("0120", "P2");  // not the factory target P1
  box_.SetSetting("0501", "BUSY");
  box_.SetSetting("2103", "17");
  box_.SetSetting("3000", "Sales");
  box_.SetSetting("7006", "0123456789ABCDEF0123456789XYZ");  // longer than the 26-digit key
  Start();

  config::AllConfigurationData all;
  all.dsPhysicalPort[1].szPortLabel = "label kept";
  ASSERT_EQ(util_->mGetAllConfiguration(name_, &all), 0);
  EXPECT_EQ(all.dsSystem.szDeviceName, "Office");
  EXPECT_EQ(all.dsSystem.bTCPIPProtocol, 1);
  EXPECT_EQ(all.dsNetware.szPrintServerName, "Office");
  EXPECT_EQ(all.dsNetware.iQueuePollingInterval, 17);
  EXPECT_EQ(all.dsTCPIP.szIPAddress, box_.Address());
  EXPECT_EQ(all.dsTCPIP.szSubNetworkMaskAddress, *box_.Setting("4002"));
  EXPECT_EQ(all.dsNetBEUI.szDomainName, "LAB");
  EXPECT_EQ(all.dsNetBEUI.iResponseTime, 45);
  EXPECT_EQ(all.dsAPPLETALK.szZoneName, "Sales");
  EXPECT_EQ(all.dsLogicalPrinter[1].szStringBeforeJob, "\x1b" "E");
  EXPECT_EQ(all.dsLogicalPrinter[1].szPhysicalPort, "P2");
  EXPECT_EQ(all.dsPhysicalPort[0].iHandshake, 1);
  EXPECT_EQ(all.dsPhysicalPort[1].iHandshake, 0);
  EXPECT_EQ(all.dsPhysicalPort[1].szPortName, "P2");
  EXPECT_EQ(all.dsPhysicalPort[1].szPortLabel, "label kept");
  EXPECT_STREQ(all.dsWireless.szKey1, "0123456789ABCDEF0123456789");
  EXPECT_EQ(all.dsWireless.szSSID, "ANY");
  EXPECT_EQ(util_->LastDeviceName(), name_);

  ExpectRequestsEndWithOneRead(2);
}

TEST_F(DeviceApiRead, EveryGetterReadsTheBoxAfresh) {
  Start();
  config::SystemConfigurationData sys;
  config::NetBEUIConfigureData nb;
  ASSERT_EQ(util_->mGetSystemConfiguration(name_, &sys), 0);
  box_.SetSetting("5000", "CHANGED");
  ASSERT_EQ(util_->mGetNetBEUIConfiguration(name_, &nb), 0);
  EXPECT_EQ(nb.szDomainName, "CHANGED");
  ExpectRequestsEndWithOneRead(4);
}

TEST_F(DeviceApiRead, GetterArgumentsRefusedWithoutTraffic) {
  box_.SetSetting("0240", "SP");  // logical port 8 (index 7); the others print to P1
  Start();
  config::LogicalPrinterConfigurationData lp;
  config::PhysicalPortConfigurationData pp;
  config::TCPIPConfigurationData tcp;
  EXPECT_EQ(util_->mGetTCPIPConfiguration("", &tcp), -2);
  EXPECT_EQ(util_->mGetTCPIPConfiguration(name_, nullptr), -2);
  EXPECT_EQ(util_->mGetLogicalPortConfiguration(name_, -1, &lp), -2);
  EXPECT_EQ(util_->mGetLogicalPortConfiguration(name_, 8, &lp), -2);
  EXPECT_EQ(util_->mGetPhysicalPortConfiguration(name_, 4, &pp), -2);
  EXPECT_EQ(util_->mGetDevicePortType(name_, nullptr), -2);
  EXPECT_EQ(util_->mPrintTestPage(name_, 4), -2);
  EXPECT_EQ(util_->mPrintTestPage(name_, -1), -2);
  EXPECT_EQ(box_.RequestCount(), 0u);

  EXPECT_EQ(util_->mGetLogicalPortConfiguration(name_, 7, &lp), 0);
  EXPECT_EQ(lp.szPhysicalPort, "SP");
  pp.szPortLabel = "mine";
  EXPECT_EQ(util_->mGetPhysicalPortConfiguration(name_, 3, &pp), 0);
  EXPECT_EQ(pp.szPortName, "SP");
  EXPECT_EQ(pp.szPortLabel, "mine");
}

TEST_F(DeviceApiRead, BadValueInTheBoxTextIsMinusOneAndForgetsTheDevice) {
  Start();
  config::SystemConfigurationData sys;
  ASSERT_EQ(util_->mGetSystemConfiguration(name_, &sys), 0);
  EXPECT_EQ(util_->LastDeviceName(), name_);
  box_.SetSetting("0011", "on");
  EXPECT_EQ(util_->mGetSystemConfiguration(name_, &sys), -1);
  EXPECT_EQ(util_->LastDeviceName(), "");
}

TEST_F(DeviceApiRead, DeviceInformationBlockKeepsBothNamesInTheirFields) {
  // The box's device name differs from its default name, so a swap of the two fields shows.
  Start();
  ASSERT_NE(box_.DeviceName(), box_.DefaultName());
  config::DevicePIDData block;
  ASSERT_EQ(util_->mGetDevicePID(name_, &block), 0);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(block.data + pid::kDeviceName), pid::kNameSize),
            box_.DeviceName() + std::string(pid::kNameSize - box_.DeviceName().size(), '\0'));
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(block.data + pid::kDefaultName), pid::kNameSize),
            box_.DefaultName() + std::string(pid::kNameSize - box_.DefaultName().size(), '\0'));
}

TEST_F(DeviceApiRead, BlockWithoutCapabilityBitsIsMinusSevenButCopied) {
  box_.SetCapabilities(0x00, 0x00);
  Start();
  config::DevicePIDData block;
  EXPECT_EQ(util_->mGetDevicePID(name_, &block), -7);
  EXPECT_STREQ(reinterpret_cast<const char*>(block.data + pid::kDefaultName), name_.c_str());
  config::ProtocolData caps;
  EXPECT_EQ(util_->mGetDeviceProtocol(name_, &caps), -7);
  EXPECT_EQ(util_->LastDeviceName(), "");
}

TEST_F(DeviceApiRead, CapabilitiesDecodedFromTheBlock) {
  box_.SetCapabilities(0x80, 0x22);  // wireless, TCP/IP, mail
  Start();
  config::ProtocolData caps;
  ASSERT_EQ(util_->mGetDeviceProtocol(name_, &caps), 0);
  EXPECT_EQ(caps.bWirelessDevice, 1);
  EXPECT_EQ(caps.bIPXSPXProtocol, 0);
  EXPECT_EQ(caps.bTCPIPProtocol, 1);
  EXPECT_EQ(caps.bAPPLETALKProtocol, 0);
  EXPECT_EQ(caps.bNetBEUIProtocol, 0);
  EXPECT_EQ(caps.bSNMPProtocol, 0);
  EXPECT_EQ(caps.bInternetMailProtocol, 1);
  EXPECT_EQ(caps.bNetwareNDS, 0);
}

// ---- Model table and port type ------------------------------------------------------------

struct PortTypeCase {
  const char* label;
  std::uint8_t code[3];
  int parallel;
  int serial;
  const char* newModelValue;  // [NewModel] entry under "563412", or nullptr
  int type;
  const char* modelText;
};

class DeviceApiPortType : public ApiTest,
                          public ::testing::WithParamInterface<PortTypeCase> {};

TEST_P(DeviceApiPortType, ModelTableAndRefinement) {
  const PortTypeCase& c = GetParam();
  if (c.newModelValue != nullptr) {
    ASSERT_TRUE(WritePrivateProfileString("NewModel", "563412", c.newModelValue, "common.ini"));
  }
  box_.SetModelCode(c.code[0], c.code[1], c.code[2]);
  box_.SetPortCounts(c.parallel, c.serial, 0);
  Start();
  int type = -1;
  ASSERT_EQ(util_->mGetDevicePortType(name_, &type), 0);
  EXPECT_EQ(type, c.type);
  config::DevicePIDData block;
  ASSERT_EQ(util_->mGetDevicePID(name_, &block), 0);
  EXPECT_STREQ(reinterpret_cast<const char*>(block.data + pid::kModelText), c.modelText);
  std::int32_t parallel = -1, serial = -1;
  std::memcpy(&parallel, block.data + pid::kDecodedParallel, 4);
  std::memcpy(&serial, block.data + pid::kDecodedSerial, 4);
  EXPECT_EQ(parallel, c.parallel);
  EXPECT_EQ(serial, c.serial);
}

INSTANTIATE_TEST_SUITE_P(
    Models, DeviceApiPortType,
    ::testing::Values(
        PortTypeCase{"b5_is_4", {0x00, 0xB5, 0x00}, 3, 1, nullptr, 4, "PS-3100 (3 parallel)"},
        PortTypeCase{"b6_is_21", {0x00, 0xB6, 0x00}, 3, 1, nullptr, 21,
                     "PS-5200 (wireless, 1 parallel)"},
        PortTypeCase{"87_is_21", {0x00, 0x87, 0x00}, 3, 1, nullptr, 21,
                     "PS-5200 (wireless, 1 parallel)"},
        PortTypeCase{"index_2_fallback", {0x00, 0x14, 0x00}, 3, 1, nullptr, 2, "Print Server"},
        PortTypeCase{"two_parallel_no_serial_is_16", {0x00, 0x55, 0x10}, 2, 0, nullptr, 16,
                     "PS-1300 (1 parallel)"},
        PortTypeCase{"unknown_code_looked_up", {0x12, 0x34, 0x56}, 0, 0, "Lab Model X", 0x563412,
                     "Lab Model X"},
        PortTypeCase{"unknown_code_no_entry_shows_key", {0x12, 0x34, 0x56}, 0, 0, nullptr,
                     0x563412, "563412"},
        PortTypeCase{"unknown_two_parallel_serial", {0x12, 0x34, 0x56}, 2, 1, nullptr, 5, "563412"},
        PortTypeCase{"unknown_three_parallel_serial", {0x12, 0x34, 0x56}, 3, 1, nullptr, 3,
                     "563412"},
        PortTypeCase{"unknown_one_parallel", {0x12, 0x34, 0x56}, 1, 0, nullptr, 23, "563412"},
        PortTypeCase{"unknown_three_parallel", {0x12, 0x34, 0x56}, 3, 0, nullptr, 4, "563412"},
        PortTypeCase{"unknown_two_serial_stays_raw", {0x12, 0x34, 0x56}, 3, 2, nullptr, 0x563412,
                     "563412"}),
    [](const auto& p) { return std::string(p.param.label); });

// An emulated box, as it starts, is a model of the capability table: its device-information block
// reports the ports of its model's row, and its logical ports print only to ports the model has.
struct EmulatedModelCase {
  const char* label;
  std::function<void(box_emulator::BoxIdentity&)> make;  // nothing: the emulator's default box
  int modelIndex;
  const char* modelName;
};

void PrintTo(const EmulatedModelCase& c, std::ostream* out) { *out << c.label; }

class EmulatedBoxModel : public ApiTest, public ::testing::WithParamInterface<EmulatedModelCase> {};

TEST_P(EmulatedBoxModel, PortsOfTheBlockAreThoseOfTheModelsRow) {
  const EmulatedModelCase& c = GetParam();
  box_emulator::BoxOptions options = Options();
  if (c.make) c.make(options.identity);
  box_emulator::Box box(options);
  util_ = std::make_unique<CPrintServerUtility>();
  ASSERT_EQ(util_->mInitializeLanComponent(TYPE_TCPIP, 20), 0);
  console_access::ClearDevices();
  const std::string name = box.DefaultName();
  ASSERT_EQ(console_access::AppendDevice(TcpRecord(name, box.Address())), 0);

  int type = -1;
  ASSERT_EQ(util_->mGetDevicePortType(name, &type), 0);
  EXPECT_EQ(type, c.modelIndex);
  config::DevicePIDData block;
  ASSERT_EQ(util_->mGetDevicePID(name, &block), 0);
  EXPECT_STREQ(reinterpret_cast<const char*>(block.data + pid::kModelText), c.modelName);
  const config::ModelCapabilities& row = config::ModelCapabilitiesOf(type);
  ASSERT_TRUE(row.bTableModel);
  EXPECT_EQ(block.data[pid::kParallelPorts] >> 6, row.iParallelPorts);
  EXPECT_EQ(block.data[pid::kSerialPorts] & 0x0F, row.bSerialPort ? 1 : 0);
  EXPECT_EQ(block.data[pid::kUsbPorts] >> 6, row.bUsbPort ? 1 : 0);

  const char* const names[4] = {"P1", "P2", "P3", "SP"};
  std::set<std::string> used;
  for (int port = 0; port < 8; ++port) {
    config::LogicalPrinterConfigurationData lp;
    ASSERT_EQ(util_->mGetLogicalPortConfiguration(name, port, &lp), 0);
    const auto* at = std::find(std::begin(names), std::end(names), lp.szPhysicalPort);
    ASSERT_NE(at, std::end(names)) << "logical port " << port + 1 << ": " << lp.szPhysicalPort;
    EXPECT_GE(config::ModelPhysicalPortEntry(type, static_cast<int>(at - names)), 0)
        << "logical port " << port + 1 << " prints to " << lp.szPhysicalPort;
    used.insert(lp.szPhysicalPort);
  }
  // Each port of the model is the target of a logical port.
  EXPECT_EQ(static_cast<int>(used.size()), row.iPhysicalPortCount);
}

INSTANTIATE_TEST_SUITE_P(
    Boxes, EmulatedBoxModel,
    ::testing::Values(
        EmulatedModelCase{"default_box", {}, 1, "PS-1300 (1 parallel)"},
        // As scripts/demo-env.sh starts them.
        EmulatedModelCase{"demo_box", [](box_emulator::BoxIdentity& i) { i.namePrefix = "PS"; }, 1,
                          "PS-1300 (1 parallel)"},
        // Told to be other models, with their ports (--model and --ports of the program).
        EmulatedModelCase{"three_parallel_and_serial",
                          [](box_emulator::BoxIdentity& i) {
                            i.modelCode = {0x01, 0x02, 0x00};
                            i.parallelPorts = 3;
                            i.serialPorts = 1;
                          },
                          3, "PS-3110 (3 parallel, 1 serial)"},
        EmulatedModelCase{"two_parallel",
                          [](box_emulator::BoxIdentity& i) {
                            i.modelCode = {0x06, 0x31, 0x00};
                            i.parallelPorts = 2;
                          },
                          16, "PS-2100 (2 parallel)"}),
    [](const auto& p) { return std::string(p.param.label); });

TEST(DeviceApiModelNames, KeyIsPaddedHexAndBrowseVariantDiffers) {
  platform::testing::TempRoot root;
  std::string text;
  EXPECT_EQ(CPrintServerUtility::LookupNewModelName(0x0000AB, text), 0);
  EXPECT_EQ(text, "    AB");
  EXPECT_EQ(CPrintServerUtility::BrowseModelName(16), "PS-2100 (2 ports)");
  EXPECT_EQ(CPrintServerUtility::ModelName(16), "PS-2100 (2 parallel)");
  EXPECT_NE(CPrintServerUtility::BrowseModelName(22), CPrintServerUtility::ModelName(22));
  EXPECT_EQ(CPrintServerUtility::ModelName(13), "Print Server");
}

// ---- Device information and status texts --------------------------------------------------

struct TrimCase {
  const char* label;
  std::string reply;
  std::string text;
};

class DeviceApiInformationTrim : public ::testing::TestWithParam<TrimCase> {};

TEST_P(DeviceApiInformationTrim, CutAfterLastPrintableByte) {
  const std::string& r = GetParam().reply;
  EXPECT_EQ(CPrintServerUtility::TrimInformationText(r.data(), static_cast<int>(r.size())),
            GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, DeviceApiInformationTrim,
    ::testing::Values(TrimCase{"crlf", "abc\r\n", "abc"},
                      TrimCase{"high_bytes_are_control", std::string("ab\xC8\xFF\r", 5), "ab"},
                      TrimCase{"del_is_printable", "ab\x7F\n", "ab\x7F"},
                      TrimCase{"only_control_keeps_first", "\x01\x02", "\x01"},
                      TrimCase{"nul_inside", std::string("a\0b\r\n", 5), "a"},
                      TrimCase{"single", "x", "x"}),
    [](const auto& p) { return std::string(p.param.label); });

TEST_F(DeviceApiRead, DeviceInformationPrinterStatusAndExtendedInformation) {
  box_.SetDeviceName("Front");
  box_.SetFunctionFlags(pid::kFuncExtendedName);
  box_.SetExtendedName("Front Desk Printer");
  box_emulator::PortStatus busy;
  busy.state = "Printing";
  busy.occupiedBy = "alice";
  box_.SetPortStatus(2, busy);
  box_.SetModelCode(0x01, 0x02, 0x00);  // a model with P2
  box_.SetPortCounts(3, 1, 0);
  Start();

  std::string info;
  ASSERT_EQ(util_->mGetDeviceInformation(name_, info), 0);
  std::string expected;
  box_.WithCore([&](box_emulator::BoxCore& core) { expected = core.InformationText(); });
  ASSERT_GE(expected.size(), 2u);
  EXPECT_EQ(info, expected.substr(0, expected.size() - 2));  // the final CR LF is cut

  std::string status;
  ASSERT_EQ(util_->mGetPrinterStatus(name_, status), 0);
  box_.WithCore([&](box_emulator::BoxCore& core) { expected = core.PrinterStatusText(); });
  EXPECT_EQ(status, expected);
  EXPECT_NE(status.find("OCCUPIED BY:alice"), std::string::npos);
  EXPECT_EQ(LastRequest(), "9020: \n");

  unsigned char ext[144];
  std::memset(ext, 0xEE, sizeof ext);
  ASSERT_EQ(util_->mGetDeviceExtendedInformation(name_, ext), 0);
  EXPECT_STREQ(reinterpret_cast<const char*>(ext + wire::kExtendedInfoNameOffset),
               "Front Desk Printer");
  EXPECT_EQ(LastRequest(), "9037:\n");
}

TEST_F(DeviceApiRead, TestPagesByPort) {
  Start();
  for (int port : {1, 2, 3, 101}) EXPECT_EQ(util_->mPrintTestPage(name_, port), 0) << port;
  EXPECT_EQ(box_.TestPagesPrinted(), (std::vector<int>{1, 2, 3, 101}));
}

// ---- Send wrappers and their codes --------------------------------------------------------

TEST_F(DeviceApiRead, SendRespCodesAndLogLines) {
  { std::ofstream create(root_.path() + "/utility.log"); }
  Start();
  int length = 0;
  char* buffer = util_->ReplyBuffer();
  EXPECT_EQ(util_->SendResp(name_, "", buffer, length), -2);
  EXPECT_EQ(util_->mSendDirectCommand(name_, "", buffer, length), -2);
  EXPECT_EQ(util_->SendResp("", "9007:\n", buffer, length), -2);
  EXPECT_EQ(util_->SendResp(name_, "9007:\n", nullptr, length), -2);
  EXPECT_EQ(box_.RequestCount(), 0u);

  EXPECT_EQ(util_->SendResp("NOSUCHBOX", "9007:\n", buffer, length), -4);

  box_emulator::FaultPlan fault;
  fault.errorChunk = 0;  // the box sets the error byte: the library's -6
  box_.InjectFault(fault);
  EXPECT_EQ(util_->SendResp(name_, "9007:\n", buffer, length), -1);
  box_.InjectFault(fault);
  EXPECT_EQ(util_->mSendDirectCommand(name_, "9007:\n", buffer, length), -1);

  EXPECT_EQ(util_->mSendDirectCommand(name_, "9010:\n", buffer, length), 0);
  EXPECT_GT(length, 0);

  const std::string log = LogText();
  EXPECT_NE(log.find("PRINT_SERVER_UTILITY.CPP, 327, Invalid argument\n"), std::string::npos);
  EXPECT_NE(log.find("PRINT_SERVER_UTILITY.CPP, 10337, Invalid argument\n"), std::string::npos);
  EXPECT_NE(log.find("PRINT_SERVER_UTILITY.CPP, 368, PSISendResp() returned ERR_DEVICE_NOTFOUND\n"),
            std::string::npos);
  EXPECT_NE(log.find("PRINT_SERVER_UTILITY.CPP, 374, PSISendResp() returned unknown error code\n"),
            std::string::npos);
  EXPECT_NE(log.find("PRINT_SERVER_UTILITY.CPP, 10382, PSISendResp() returned unknown error code\n"),
            std::string::npos);
}

TEST_F(DeviceApiRead, BoxSwitchedOffIsNetworkError) {
  { std::ofstream create(root_.path() + "/utility.log"); }
  Start();
  box_.SwitchOff();
  config::SystemConfigurationData sys;
  EXPECT_EQ(util_->mGetSystemConfiguration(name_, &sys), -5);
  EXPECT_NE(LogText().find("PRINT_SERVER_UTILITY.CPP, 359, PSISendResp() returned ERR_NETWORK\n"),
            std::string::npos);
}

TEST_F(DeviceApiRead, SilentBoxIsNetworkErrorAfterTheVirtualTimeOut) {
  Start();
  platform::FakeClock quick(1765368000000LL, 50);  // real time spent on each wait: 50 ms
  platform::ScopedClock use(&quick);
  box_emulator::FaultPlan silent;
  silent.neverReply = true;
  box_.InjectFault(silent);
  config::DevicePIDData block;
  EXPECT_EQ(util_->mGetDevicePID(name_, &block), -5);
  EXPECT_GE(quick.WaitedMs(), 20000);
}

// ---- Log file -----------------------------------------------------------------------------

TEST_F(DeviceApiRead, NoLogFileMeansNothingIsCreated) {
  Start();
  int length = 0;
  EXPECT_EQ(util_->SendResp(name_, "", util_->ReplyBuffer(), length), -2);
  config::SystemConfigurationData sys;
  EXPECT_EQ(util_->mGetSystemConfiguration(name_, &sys), 0);
  EXPECT_FALSE(util_->IsLoggingOn());
  EXPECT_FALSE(FileExists(root_.path() + "/utility.log"));
}

TEST_F(DeviceApiRead, ExistingLogGetsBannerAndLinesAppended) {
  {
    std::ofstream create(root_.path() + "/utility.log");
    create << "earlier run\n";
  }
  box_.SetSetting("4102", "mailpass");
  Start();
  EXPECT_TRUE(util_->IsLoggingOn());
  config::SystemConfigurationData sys;
  ASSERT_EQ(util_->mGetSystemConfiguration(name_, &sys), 0);
  EXPECT_EQ(util_->WriteLogLine(nullptr, 1, "x"), -1);
  EXPECT_EQ(util_->LogAtLine(42, "own line"), 0);

  const std::string log = LogText();
  EXPECT_EQ(log.rfind("earlier run\n", 0), 0u);
  const std::tm now = platform::LocalTimeNow();
  char banner[96];
  std::snprintf(banner, sizeof banner, "***** Logging starts at %2d:%2d:%2d on %d/%d/%d\n",
                now.tm_hour, now.tm_min, now.tm_sec, now.tm_mon + 1, now.tm_mday,
                now.tm_year + 1900);
  EXPECT_NE(log.find(banner), std::string::npos) << log.substr(0, 200);
  EXPECT_NE(log.find(" 0001 = " + box_.DeviceName() + "\n"), std::string::npos);
  EXPECT_NE(log.find(" 4102 = ****\n"), std::string::npos);
  EXPECT_EQ(log.find("mailpass"), std::string::npos);
  EXPECT_NE(log.find("PRINT_SERVER_UTILITY.CPP, 42, own line\n"), std::string::npos);
}

TEST_F(DeviceApiRead, UnopenableLogLeavesLoggingOff) {
  ASSERT_EQ(::mkdir((root_.path() + "/utility.log").c_str(), 0700), 0);
  Start();
  EXPECT_EQ(util_->OpenLog(), -1);
  EXPECT_FALSE(util_->IsLoggingOn());
  config::SystemConfigurationData sys;
  EXPECT_EQ(util_->mGetSystemConfiguration(name_, &sys), 0);  // the log never changes a result
}

TEST(DeviceApiObject, HexEncodeTextAndPointerMap) {
  CPrintServerUtility util;
  std::string out = "old";
  const unsigned char text[] = "AZ\x1b";
  EXPECT_EQ(util.HexEncodeText(text, sizeof text, out), 0);
  EXPECT_EQ(out, "415A1B");
  const unsigned char noNul[3] = {'a', 'b', 'c'};
  EXPECT_EQ(util.HexEncodeText(noNul, 3, out), -2);
  EXPECT_EQ(out, "");
  const unsigned char empty[1] = {0};
  EXPECT_EQ(util.HexEncodeText(empty, 1, out), -2);

  int key = 0, value = 0;
  void* found = nullptr;
  EXPECT_FALSE(util.Lookup(&key, found));
  util.SetAt(&key, &value);
  EXPECT_TRUE(util.Lookup(&key, found));
  EXPECT_EQ(found, &value);
}

}  // namespace
}  // namespace api_test

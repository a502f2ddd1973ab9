// Settings commands through the device-API object against an emulated box: whole and system
// configuration writes with their restarts and waits, factory defaults, passwords, refusals of
// unsafe values before any traffic.
#include <vector>

#include "device_client/api/tests/api_fixture.h"
#include "device_client/core/config/password_scramble.h"
#include "device_client/core/wire_layout.h"
#include "platform/profile.h"
#include "platform/paths.h"

namespace api_test {
namespace {

class DeviceApiCommand : public ApiTest {
 protected:
  std::vector<std::string> RequestTexts() {
    std::vector<std::string> out;
    for (const auto& r : box_.Requests()) out.push_back(r.data);
    return out;
  }
};

struct WriteCase {
  const char* label;
  unsigned char nameChanged;
  std::int64_t waitMs;
};

class DeviceApiWriteAll : public DeviceApiCommand,
                          public ::testing::WithParamInterface<WriteCase> {};

TEST_P(DeviceApiWriteAll, ChangeWriteRestartAndReadBack) {
  Start();
  config::AllConfigurationData all;
  config::ProtocolData caps;
  ASSERT_EQ(util_->mGetAllConfiguration(name_, &all), 0);
  ASSERT_EQ(util_->mGetDeviceProtocol(name_, &caps), 0);
  all.dsSystem.szDeviceName = "Renamed";
  all.dsNetware.szPrintServerName = "Renamed";
  all.dsNetBEUI.szDomainName = "NEWGRP";
  all.dsLogicalPrinter[2].szStringBeforeJob = "<<";
  all.dsLogicalPrinter[2].szStringAfterJob = ">>";
  all.dsLogicalPrinter[2].bConvertLFToLFCR = 1;
  all.dsPhysicalPort[1].szPortName = "LPT2";
  all.dsPhysicalPort[0].iHandshake = 1;
  all.dsAPPLETALK.szZoneName = "Zone9";
  box_.ClearRequests();

  ASSERT_EQ(util_->mSetAllConfiguration(name_, &all, GetParam().nameChanged, caps), 0);
  EXPECT_EQ(clock_.WaitedMs(), GetParam().waitMs);
  EXPECT_EQ(box_.RestartCount(), 1);
  const auto texts = RequestTexts();
  ASSERT_EQ(texts.size(), 4u);
  EXPECT_EQ(texts[0].rfind("0001 :Renamed\n0011 :ENABLE\n", 0), 0u) << texts[0];
  EXPECT_EQ(texts[1], "9002:\n");
  EXPECT_EQ(texts[2], "9100:\r\n");
  EXPECT_EQ(util_->CachedConfiguration().dsSystem.szDeviceName, "Renamed");
  EXPECT_EQ(util_->LastDeviceName(), name_);

  config::AllConfigurationData back;
  ASSERT_EQ(util_->mGetAllConfiguration(name_, &back), 0);
  EXPECT_EQ(back.dsSystem.szDeviceName, "Renamed");
  EXPECT_EQ(back.dsNetBEUI.szDomainName, "NEWGRP");
  EXPECT_EQ(back.dsLogicalPrinter[2].szStringBeforeJob, "<<");
  EXPECT_EQ(back.dsLogicalPrinter[2].szStringAfterJob, ">>");
  EXPECT_EQ(back.dsLogicalPrinter[2].bConvertLFToLFCR, 1);
  EXPECT_EQ(back.dsPhysicalPort[1].szPortName, "LPT2");
  EXPECT_EQ(back.dsPhysicalPort[0].iHandshake, 1);
  EXPECT_EQ(back.dsAPPLETALK.szZoneName, "Zone9");
}

INSTANTIATE_TEST_SUITE_P(Restarts, DeviceApiWriteAll,
                         ::testing::Values(WriteCase{"name_changed_applies", 1, 4000},
                                           WriteCase{"same_name_resets", 0, 5000}),
                         [](const auto& p) { return std::string(p.param.label); });

TEST_F(DeviceApiCommand, NewFixedAddressIsFollowedAfterTheRestart) {
  std::string freeAddress;
  {
    box_emulator::Box probe;  // a free loopback address, released again
    freeAddress = probe.Address();
  }
  Start();
  config::AllConfigurationData all;
  config::ProtocolData caps;
  ASSERT_EQ(util_->mGetAllConfiguration(name_, &all), 0);
  ASSERT_EQ(util_->mGetDeviceProtocol(name_, &caps), 0);
  all.dsTCPIP.szIPAddress = freeAddress;
  all.dsTCPIP.bAutoAddress1 = 0;
  ASSERT_EQ(util_->mSetAllConfiguration(name_, &all, 0, caps), 0);
  EXPECT_EQ(box_.Address(), freeAddress);
  EXPECT_EQ(util_->CachedConfiguration().dsTCPIP.szIPAddress, freeAddress);
  DeviceRecord record{};
  ASSERT_EQ(SearchName(&record, name_.c_str()), 1);
  EXPECT_STREQ(reinterpret_cast<const char*>(record.address), freeAddress.c_str());
}

struct SystemCase {
  const char* label;
  std::uint8_t code[3];
  bool rename;
  std::int64_t waitMs;
};

class DeviceApiSystemWrite : public DeviceApiCommand,
                             public ::testing::WithParamInterface<SystemCase> {};

TEST_P(DeviceApiSystemWrite, SixLinesRestartAndModelWait) {
  const SystemCase& c = GetParam();
  box_.SetDeviceName("Office");
  box_.SetModelCode(c.code[0], c.code[1], c.code[2]);
  Start();
  config::SystemConfigurationData sys;
  ASSERT_EQ(util_->mGetSystemConfiguration(name_, &sys), 0);
  if (c.rename) sys.szDeviceName = "Lobby";
  sys.bAPPLETALKProtocol = 0;
  box_.ClearRequests();

  ASSERT_EQ(util_->mSetSystemConfiguration(name_, &sys), 0);
  EXPECT_EQ(clock_.WaitedMs(), c.waitMs);
  const std::string expectedName = c.rename ? "Lobby" : "Office";
  const auto texts = RequestTexts();
  ASSERT_GE(texts.size(), 2u);
  EXPECT_EQ(texts[0], "0001 :" + expectedName +
                          "\n0011 :ENABLE\n0012 :ENABLE\n0013 :DISABLE\n0014 :ENABLE\n"
                          "0019 :DISABLE\n");
  EXPECT_EQ(texts[1], "9002:\n");
  EXPECT_EQ(box_.DeviceName(), expectedName);
  EXPECT_EQ(*box_.Setting("0013"), "DISABLE");
  EXPECT_EQ(util_->CachedConfiguration().dsSystem.szDeviceName, expectedName);
}

INSTANTIATE_TEST_SUITE_P(
    Names, DeviceApiSystemWrite,
    ::testing::Values(SystemCase{"same_name", {0x00, 0x55, 0x10}, false, 4000},
                      SystemCase{"new_name", {0x00, 0x55, 0x10}, true, 4000},
                      SystemCase{"model_b5_waits_longer", {0x00, 0xB5, 0x00}, true, 6000},
                      SystemCase{"model_b6_waits_longer", {0x00, 0xB6, 0x00}, false, 6000},
                      SystemCase{"model_87_normal_wait", {0x00, 0x87, 0x00}, false, 4000}),
    [](const auto& p) { return std::string(p.param.label); });

// Values that would add lines of their own (or a password the encoder cannot hold) never reach
// the box.
struct UnsafeCase {
  const char* label;
  std::function<int(CPrintServerUtility&, const std::string&)> call;
};

class DeviceApiUnsafeValue : public DeviceApiCommand,
                             public ::testing::WithParamInterface<UnsafeCase> {};

TEST_P(DeviceApiUnsafeValue, RefusedBeforeAnyTraffic) {
  box_.SetDeviceName("Office");
  Start();
  ASSERT_EQ(util_->SelectDevice(name_), 0);
  box_.ClearRequests();
  EXPECT_EQ(GetParam().call(*util_, name_), -2);
  EXPECT_EQ(box_.RequestCount(), 0u);
  EXPECT_EQ(box_.RestartCount(), 0);
  EXPECT_EQ(box_.DeviceName(), "Office");
  EXPECT_EQ(*box_.PendingSetting("0001"), "Office");
  EXPECT_EQ(clock_.WaitedMs(), 0);
}

config::AllConfigurationData CachedAll(CPrintServerUtility& u, const std::string& name) {
  config::AllConfigurationData all;
  (void)name;
  const auto& c = u.CachedConfiguration();
  all.dsSystem = c.dsSystem;
  all.dsNetware = c.dsNetware;
  all.dsTCPIP = c.dsTCPIP;
  all.dsAPPLETALK = c.dsAPPLETALK;
  all.dsNetBEUI = c.dsNetBEUI;
  all.dsWireless = c.dsWireless;
  for (int i = 0; i < 8; ++i) all.dsLogicalPrinter[i] = c.dsLogicalPrinter[i];
  for (int i = 0; i < 4; ++i) all.dsPhysicalPort[i] = c.dsPhysicalPort[i];
  return all;
}

INSTANTIATE_TEST_SUITE_P(
    Values, DeviceApiUnsafeValue,
    ::testing::Values(
        UnsafeCase{"system_name_with_line_break",
                   [](CPrintServerUtility& u, const std::string& n) {
                     config::SystemConfigurationData sys;
                     sys.szDeviceName = "x\n9006:";
                     return u.mSetSystemConfiguration(n, &sys);
                   }},
        UnsafeCase{"all_name_with_line_break",
                   [](CPrintServerUtility& u, const std::string& n) {
                     config::AllConfigurationData all = CachedAll(u, n);
                     all.dsSystem.szDeviceName = "x\n9006:";
                     return u.mSetAllConfiguration(n, &all, 1, u.CachedConfiguration().dsProtocol);
                   }},
        UnsafeCase{"logical_printer_string_with_cr",
                   [](CPrintServerUtility& u, const std::string& n) {
                     config::AllConfigurationData all = CachedAll(u, n);
                     all.dsLogicalPrinter[4].szStringAfterJob = "a\rb";
                     return u.mSetAllConfiguration(n, &all, 0, u.CachedConfiguration().dsProtocol);
                   }},
        UnsafeCase{"password_with_line_break",
                   [](CPrintServerUtility& u, const std::string& n) {
                     return u.mSetPassword(n, "pass\nword");
                   }},
        UnsafeCase{"password_over_45_bytes",
                   [](CPrintServerUtility& u, const std::string& n) {
                     return u.mSetPassword(n, std::string(46, 'p'));
                   }},
        UnsafeCase{"empty_name", [](CPrintServerUtility& u, const std::string&) {
                     config::SystemConfigurationData sys;
                     return u.mSetSystemConfiguration("", &sys);
                   }}),
    [](const auto& p) { return std::string(p.param.label); });

TEST_F(DeviceApiCommand, FactoryDefaultsRestoreTheDefaultName) {
  box_.SetDeviceName("Office");
  box_.SetSetting("5000", "LAB");
  box_.SetPassword("old");
  Start();
  EXPECT_EQ(util_->mRestoreFactoryDefault(""), -1);
  EXPECT_EQ(box_.RequestCount(), 0u);

  ASSERT_EQ(util_->mRestoreFactoryDefault(name_), 0);
  EXPECT_EQ(box_.DeviceName(), name_);
  EXPECT_EQ(*box_.Setting("5000"), "WORKGROUP");
  EXPECT_EQ(box_.Password(), "");
  EXPECT_EQ(clock_.WaitedMs(), 4000);
  EXPECT_EQ(RequestTexts(),
            (std::vector<std::string>{"9006:\n", "9002:\n", "9100:\r\n", "9007:\n"}));
  EXPECT_EQ(util_->CachedConfiguration().dsSystem.szDeviceName, name_);
  EXPECT_EQ(util_->LastDeviceName(), name_);
}

TEST_F(DeviceApiCommand, PasswordReachesTheBoxAndNeverTheLog) {
  { std::ofstream create(root_.path() + "/utility.log"); }
  Start();
  const std::string password = "s3cret!Pw";
  ASSERT_EQ(util_->mSetPassword(name_, password), 0);
  EXPECT_EQ(box_.Password(), password);
  EXPECT_EQ(clock_.WaitedMs(), 5000);
  const auto texts = RequestTexts();
  ASSERT_EQ(texts.size(), 4u);
  ASSERT_EQ(texts[0].rfind("9005:", 0), 0u);
  ASSERT_EQ(texts[0].back(), '\n');
  const std::string hex = texts[0].substr(5, texts[0].size() - 6);
  EXPECT_EQ(hex.find_first_not_of("0123456789ABCDEF"), std::string::npos);
  EXPECT_EQ(texts[1], "9002:\n");

  const std::string log = LogText();
  EXPECT_EQ(log.find("9005"), std::string::npos);
  EXPECT_EQ(log.find(hex), std::string::npos);
  EXPECT_EQ(log.find(password), std::string::npos);
}

// The box reads at most 100 hexadecimal digits. Passwords up to 45 bytes always fit whatever
// padding is drawn (repeated to meet many pad counts); a longer one never leaves the client.
TEST_F(DeviceApiCommand, PasswordLengthsAroundTheBoxLimit) {
  struct Case {
    std::size_t length;
    int rc;
  };
  const Case cases[] = {{30, 0}, {31, 0}, {45, 0}, {46, -2}};
  Start();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.length);
    for (int round = 0; round < 16; ++round) {
      std::string password(c.length, 'a');
      password[0] = static_cast<char>('A' + round);
      box_.SetPassword("before");
      box_.ClearRequests();
      ASSERT_EQ(util_->mSetPassword(name_, password), c.rc);
      if (c.rc != 0) {
        EXPECT_EQ(box_.RequestCount(), 0u);
        EXPECT_EQ(box_.Password(), "before");
        break;
      }
      EXPECT_EQ(box_.Password(), password);
      const auto texts = RequestTexts();
      ASSERT_FALSE(texts.empty());
      EXPECT_LE(texts[0].size(), 5u + 100u + 1u);
    }
  }
}

TEST_F(DeviceApiCommand, PasswordRefusedByTheBoxIsMinusOneWithoutRestart) {
  Start();
  box_emulator::FaultPlan fault;
  fault.errorChunk = 0;
  box_.InjectFault(fault);
  EXPECT_EQ(util_->mSetPassword(name_, "abc"), -1);
  EXPECT_EQ(box_.RestartCount(), 0);
  EXPECT_EQ(clock_.WaitedMs(), 0);
}

TEST_F(DeviceApiCommand, ResetWaitsForTheRestartWindow) {
  box_.SetRestartWindow(50ms);
  // The client's 5-second pause passes in virtual time; meanwhile the box finishes its restart.
  clock_.onSleep = [this] { box_.WaitForRestarts(1, 10s); };
  Start();
  ASSERT_EQ(util_->mResetDevice(name_), 0);
  EXPECT_EQ(box_.RestartCount(), 1);
  EXPECT_EQ(clock_.WaitedMs(), 5000);
  EXPECT_EQ(util_->LastDeviceName(), name_);
}

TEST_F(DeviceApiCommand, FailedRestartRequestReturnsAtOnce) {
  Start();
  box_.SwitchOff();
  EXPECT_EQ(util_->ApplySettings(name_, name_, 1), -5);
  EXPECT_EQ(util_->mResetDevice(name_), -5);
  EXPECT_EQ(clock_.WaitedMs(), 0);

  config::SystemConfigurationData sys;
  sys.szDeviceName = "Any";
  EXPECT_EQ(util_->mSetSystemConfiguration(name_, &sys), -1);  // failed send: -1
}

TEST_F(DeviceApiCommand, ScansWithoutIpxFailAndKeepTheList) {
  Start();
  const std::string ini = platform::JoinPath(platform::WindowsDirectory(), "ipx.ini");
  ASSERT_TRUE(WritePrivateProfileString("IPX", "Enabled", "0", ini.c_str()));
  std::list<std::string> names{"kept"};
  EXPECT_EQ(util_->mScanAllFileServer(names), -1);
  EXPECT_EQ(util_->mScanNDSTree(names), -1);
  EXPECT_EQ(names.size(), 1u);
}

}  // namespace
}  // namespace api_test

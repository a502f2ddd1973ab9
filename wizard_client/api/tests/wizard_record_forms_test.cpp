// The device-record forms of the wizard's queries and whole-text writers against an emulated box
// over TCP: by name and by record the box sees the same requests (reads of the configuration
// aside, which the two forms place differently around a restart) and the caller gets the same
// result; a record of a box that is not there fails without reaching any other box.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "device_client/api/tests/api_fixture.h"
#include "tools/box_emulator/box_emulator.h"
#include "wizard_client/api/tests/wizard_test_fixture.h"
#include "wizard_client/api/wizard_utility.h"
#include "wizard_client/device_lists/wizard_lists.h"

namespace {

using wizard_test::Either;
using wizard_test::Texts;
using wizard_test::To;
using wizard_test::TwinCase;
using wizard_test::Util;

// The requests apart from the configuration reads ("9100:", "9007:"), with the scrambled part of
// password lines cut (it differs from one scramble to the next).
std::vector<std::string> Traffic(const std::vector<std::string>& requests) {
  std::vector<std::string> out;
  for (const std::string& r : requests) {
    if (r.rfind("9100:", 0) == 0 || r.rfind("9007:", 0) == 0) continue;
    std::istringstream lines(r);
    std::string line, kept;
    while (std::getline(lines, line)) {
      const bool password = line.rfind("9005:", 0) == 0 || line.rfind("9035:", 0) == 0 ||
                            line.rfind("9036:", 0) == 0;
      kept += (password ? line.substr(0, 5) + "<scrambled>" : line) + "\n";
    }
    out.push_back(kept);
  }
  return out;
}

class WizardRecordForms : public wizard_test::WizardApiTest {
 protected:
  void SetUp() override {
    WizardApiTest::SetUp();
    Start();
    record_ = wizard::FromConsoleRecord(api_test::TcpRecord(name_, box_.Address()));
    std::string nowhere;
    {
      box_emulator::Box gone(Options());  // a loopback address with nobody behind it afterwards
      nowhere = gone.Address();
    }
    absent_ = wizard::FromConsoleRecord(api_test::TcpRecord("PS0FF0FF", nowhere));
    noProtocol_ = record_;
    noProtocol_.iProtocol = 0;
  }

  struct Row {
    int rc;  // what both forms give
    TwinCase twin;
  };

  // Runs every case by name and by record: the same result, output and requests. Then by the
  // records of boxes that are not there: nothing reaches the emulated box, and a case that sends
  // anything fails.
  void RunTwins(const std::vector<Row>& rows) {
    for (const Row& row : rows) {
      const TwinCase& c = row.twin;
      SCOPED_TRACE(c.label);
      std::string byName, byRecord;
      box_.ClearRequests();
      const int rcName = c.run(*wiz_, To(name_), byName);
      const auto nameRequests = Texts(box_.Requests());
      const auto nameTraffic = Traffic(nameRequests);
      box_.ClearRequests();
      const int rcRecord = c.run(*wiz_, To(&record_), byRecord);
      const auto recordTraffic = Traffic(Texts(box_.Requests()));
      EXPECT_EQ(rcName, row.rc);
      EXPECT_EQ(rcRecord, rcName);
      EXPECT_EQ(byRecord, byName);
      EXPECT_EQ(recordTraffic, nameTraffic);

      for (const wizard::DeviceRecord* missing : {&absent_, &noProtocol_}) {
        std::string ignored;
        box_.ClearRequests();
        const int rc = c.run(*wiz_, To(missing), ignored);
        if (nameRequests.empty()) {
          EXPECT_EQ(rc, rcName) << "record " << missing->iProtocol;
        } else {
          EXPECT_NE(rc, 0) << "record " << missing->iProtocol;
        }
        EXPECT_EQ(box_.RequestCount(), 0u);
      }
    }
  }

  wizard::DeviceRecord record_{};
  wizard::DeviceRecord absent_{};
  wizard::DeviceRecord noProtocol_{};
};

TEST_F(WizardRecordForms, QueriesAskTheRecordsBoxAsTheNameFormsDo) {
  box_.SetPassword("secret");
  ASSERT_TRUE(box_.SetSetting("0040", "LPT-A"));
  ASSERT_TRUE(box_.SetSetting("5000", "SALES"));
  const std::vector<Row> cases = {
      {0, {"name information", Either([](Util& u, const auto& t, std::string& seen) {
         std::string out[4] = {"", "", "unset", "unset"};
         const int rc = u.mGetDeviceNameInformation(t, out);
         seen = out[0] + "|" + out[1] + "|" + out[2] + "|" + out[3];
         return rc;
       })}},
      {0, {"password check, right", Either([](Util& u, const auto& t, std::string&) {
         return u.mVerifyPassword(t, "secret");
       })}},
      {-1, {"password check, wrong", Either([](Util& u, const auto& t, std::string&) {
         return u.mVerifyPassword(t, "");
       })}},
      {-2, {"password check, too long", Either([](Util& u, const auto& t, std::string&) {
         return u.mVerifyPassword(t, std::string(Util::kMaxPasswordLength + 1, 'p'));
       })}},
      {0, {"address", Either([](Util& u, const auto& t, std::string& seen) {
         return u.mGetDeviceIPAddress(t, seen);
       })}},
      {0, {"extended name block", Either([](Util& u, const auto& t, std::string& seen) {
         std::uint8_t block[wire::kExtendedInfoSize] = {};
         const int rc = u.mGetExtendedNameBlock(t, block, seen);
         seen += "|" + std::string(reinterpret_cast<const char*>(block) + 96);
         return rc;
       })}},
      {0, {"state byte", Either([](Util& u, const auto& t, std::string&) {
         return u.mGetDeviceState(t);
       })}},
      {0, {"probe", Either([](Util& u, const auto& t, std::string&) { return u.mProbeDevice(t); })}},
      {1, {"extended probe", Either([](Util& u, const auto& t, std::string&) {
         return u.mProbeExtendedCommand(t);
       })}},
      {0, {"device information", Either([](Util& u, const auto& t, std::string& seen) {
         const int rc = u.mGetDeviceInformation(t, seen);
         // The record form hands the text over as it came, line end and all.
         while (!seen.empty() && (seen.back() == '\r' || seen.back() == '\n')) seen.pop_back();
         return rc;
       })}},
      {0, {"printer status", Either([](Util& u, const auto& t, std::string& seen) {
         return u.mGetPrinterStatus(t, seen);
       })}},
      {0, {"test page 2", Either([](Util& u, const auto& t, std::string&) {
         return u.mPrintTestPage(t, 2);
       })}},
      {-2, {"test page 4", Either([](Util& u, const auto& t, std::string&) {
         return u.mPrintTestPage(t, 4);
       })}},
      // A box without the extended block refuses "9037:".
      {-1, {"extended information", Either([](Util& u, const auto& t, std::string& seen) {
         unsigned char block[wire::kExtendedInfoSize] = {};
         const int rc = u.mGetDeviceExtendedInformation(t, block);
         seen = reinterpret_cast<const char*>(block) + 96;
         return rc;
       })}},
      {0, {"physical port 1", Either([](Util& u, const auto& t, std::string& seen) {
         wizard::PhysicalPortConfigurationData p;
         p.szPortLabel = "kept";
         const int rc = u.mGetPhysicalPortConfiguration(t, 0, &p);
         seen = p.szPortName + "|" + p.szPortLabel;
         return rc;
       })}},
      {-2, {"physical port 5", Either([](Util& u, const auto& t, std::string&) {
         wizard::PhysicalPortConfigurationData p;
         return u.mGetPhysicalPortConfiguration(t, 4, &p);
       })}},
      {0, {"basic read", Either([](Util& u, const auto& t, std::string& seen) {
         wizard::BasicConfigurationData basic;
         const int rc = u.mGetBasicConfiguration(t, &basic);
         seen = basic.dsTCPIP.szIPAddress + "|" + basic.dsNetBEUI.szDomainName;
         return rc;
       })}},
      {0, {"port type", Either([](Util& u, const auto& t, std::string& seen) {
         int type = -9;
         const int rc = u.mGetDevicePortType(t, &type);
         seen = std::to_string(type);
         return rc;
       })}},
      {0, {"direct command", Either([](Util& u, const auto& t, std::string& seen) {
         char reply[512] = {};
         int length = -1;
         const int rc = u.mSendDirectCommand(t, "9010:\n", reply, &length, sizeof reply);
         seen = std::string(reply, static_cast<std::size_t>(std::max(length, 0)));
         return rc;
       })}},
      {0, {"restart by 9030", Either([](Util& u, const auto& t, std::string&) {
         return u.mSendCommand9030(t);
       })}},
  };
  RunTwins(cases);

  // What the answers were, seen once.
  std::string info[4];
  ASSERT_EQ(wiz_->mGetDeviceNameInformation(&record_, info), 0);
  EXPECT_EQ(info[0], box_.DeviceName());
  EXPECT_EQ(wiz_->mVerifyPassword(&record_, ""), -1);
  std::string ip;
  ASSERT_EQ(wiz_->mGetDeviceIPAddress(&record_, ip), 0);
  EXPECT_EQ(ip, box_.Setting("4000").value_or("?"));
  std::string text;
  ASSERT_EQ(wiz_->mGetDeviceInformation(&record_, text), 0);
  EXPECT_NE(text.find("Default Name : " + name_), std::string::npos);
  EXPECT_EQ(text.substr(text.size() - 2), "\r\n");
  wizard::PhysicalPortConfigurationData port;
  ASSERT_EQ(wiz_->mGetPhysicalPortConfiguration(&record_, 0, &port), 0);
  EXPECT_EQ(port.szPortName, "LPT-A");
  wizard::BasicConfigurationData basic;
  ASSERT_EQ(wiz_->mGetBasicConfiguration(&record_, &basic), 0);
  EXPECT_EQ(basic.dsNetBEUI.szDomainName, "SALES");
  EXPECT_EQ(wiz_->mPrintTestPage(static_cast<const wizard::DeviceRecord*>(nullptr), 1), -2);
}

// Addresses the box would take by itself: the device table keeps the emulated box's address.
wizard::TCPIPConfigurationData Automatic(const std::string& address) {
  wizard::TCPIPConfigurationData tcp;
  tcp.szIPAddress = address;
  tcp.szGatewayAddress = "10.0.0.1";
  tcp.szSubNetworkMaskAddress = "255.0.0.0";
  tcp.bAutoAddress1 = 1;
  return tcp;
}

TEST_F(WizardRecordForms, WholeTextWritersSendTheSameTextToTheRecordsBox) {
  const std::string deviceName = box_.DeviceName();
  const std::vector<Row> cases = {
      {0, {"wireless", Either([](Util& u, const auto& t, std::string&) {
         wizard::WirelessConfigurationData w;
         w.szSSID = "LOBBY";
         w.iChannel = 6;
         w.iListMode = 2;
         w.AddressList9300 = {"0040011A0001", "0040011A0002"};
         return u.mSetWirelessConfiguration(t, &w);
       })}},
      {-2, {"wireless, key with a line break", Either([](Util& u, const auto& t, std::string&) {
         wizard::WirelessConfigurationData w;
         w.szSSID = "LOB\nBY";
         return u.mSetWirelessConfiguration(t, &w);
       })}},
      {0, {"password", Either([](Util& u, const auto& t, std::string&) {
         return u.mSetPassword(t, "n3w");
       })}},
      {0, {"netware password", Either([](Util& u, const auto& t, std::string&) {
         return u.mSetNetwarePassword(t, "nw-pass");
       })}},
      {-2, {"password over 79 bytes", Either([](Util& u, const auto& t, std::string&) {
         return u.mSetPassword(t, std::string(Util::kMaxPasswordLength + 1, 'p'));
       })}},
      {0, {"finish, same name, with password", Either([deviceName](Util& u, const auto& t,
                                                               std::string&) {
         wizard::WizardConfigurationData s;
         s.dsSystem.szDeviceName = deviceName;
         s.dsTCPIP = Automatic("10.0.0.9");
         s.dsNetBEUI.szDomainName = "OFFICE";
         s.dsWireless.szSSID = "LOBBY";
         s.szPassword = "fin";
         return u.mSetWizardConfiguration(t, &s, 1);
       })}},
      {-2, {"finish, netware mode without a mode", Either([](Util& u, const auto& t, std::string&) {
         wizard::WizardConfigurationData s;
         s.dsSystem.szDeviceName = "Any";
         s.dsTCPIP = Automatic("10.0.0.9");
         return u.mSetWizardConfiguration(t, &s, 3);
       })}},
      {0, {"whole configuration", Either([deviceName](Util& u, const auto& t, std::string&) {
         wizard::AllConfigurationData all;
         all.base.dsSystem.szDeviceName = deviceName;
         all.base.dsNetware = wizard_test::PrintServerMode();
         all.base.dsTCPIP = Automatic("10.0.0.8");
         return u.mSetAllConfiguration(t, &all, 0);
       })}},
      {0, {"whole configuration, relocated", Either([deviceName](Util& u, const auto& t,
                                                             std::string&) {
         wizard::AllConfigurationData all;
         all.base.dsSystem.szDeviceName = deviceName;
         all.base.dsNetware = wizard_test::PrintServerMode();
         all.base.dsTCPIP = Automatic("10.0.0.8");
         return u.mSetAllConfiguration(t, &all, 1);
       })}},
      {0, {"basic configuration", Either([deviceName](Util& u, const auto& t, std::string&) {
         wizard::BasicConfigurationData basic;
         basic.dsSystem.szDeviceName = deviceName;
         basic.dsTCPIP = Automatic("10.0.0.7");
         basic.dsNetBEUI.szDomainName = "WEST";
         basic.dsLogicalPrinter.szPhysicalPort = "P2";
         return u.mSetBasicConfiguration(t, &basic);
       })}},
      {0, {"physical ports", Either([](Util& u, const auto& t, std::string&) {
         wizard::PhysicalPortConfigurationData ports[4];
         ports[1].szPortName = "LPT-B";
         ports[2].iHandshake = 1;
         ports[0].bEnable = 1;
         return u.mSetPhysicalPortConfiguration(t, ports);
       })}},
      {0, {"address assignment", Either([](Util& u, const auto& t, std::string&) {
         return u.mSetAddressAssignment(t, 1);
       })}},
      {0, {"tcp/ip and manager", Either([](Util& u, const auto& t, std::string&) {
         wizard::TCPIPConfigurationData tcp = Automatic("10.0.0.6");
         tcp.szMailServerIPAddress = "0.0.0.0";
         tcp.szCheckMailInterval = "1";
         tcp.szDefaultPrinterNumber = "P1";
         return u.mSetTCPIPAndManagerConfiguration(t, &tcp, 1, "public");
       })}},
      {-2, {"tcp/ip and manager, access 3", Either([](Util& u, const auto& t, std::string&) {
         wizard::TCPIPConfigurationData tcp = Automatic("10.0.0.6");
         return u.mSetTCPIPAndManagerConfiguration(t, &tcp, 3, "public");
       })}},
      {0, {"netware and apply", Either([deviceName](Util& u, const auto& t, std::string&) {
         const wizard::NetwareConfigurationData nw = wizard_test::PrintServerMode();
         return u.mSetNetwareConfigurationAndApply(t, deviceName, &nw, 1);
       })}},
      {0, {"factory default and apply", Either([deviceName](Util& u, const auto& t, std::string&) {
         return u.mRestoreFactoryDefaultAndApply(t, deviceName, 1);
       })}},
  };
  RunTwins(cases);

  // The box took what the record forms sent.
  box_.ClearRequests();
  ASSERT_EQ(wiz_->mSetPassword(&record_, "by-record"), 0);
  EXPECT_EQ(box_.Password(), "by-record");
  EXPECT_EQ(wiz_->mVerifyPassword(&record_, "by-record"), 0);
  ASSERT_EQ(wiz_->mSetNetwarePassword(&record_, "nw-record"), 0);
  EXPECT_EQ(box_.NetwarePassword(), "nw-record");
  wizard::WirelessConfigurationData w;
  w.szSSID = "BY-RECORD";
  box_.ClearRequests();
  ASSERT_EQ(wiz_->mSetWirelessConfiguration(&record_, &w), 0);
  EXPECT_EQ(FirstRequest().rfind("7000 :BY-RECORD\n", 0), 0u);
  EXPECT_EQ(box_.Setting("7000").value_or(""), "BY-RECORD");
}

// Finish by record for a box that moves: the device table follows it to its new address before
// the reload, so the box is read again where it now answers.
TEST_F(WizardRecordForms, FinishByRecordFollowsTheBoxToItsNewAddress) {
  std::string target;
  {
    box_emulator::Box probe(Options());
    target = probe.Address();
  }
  wizard::WizardConfigurationData s;
  s.dsSystem.szDeviceName = box_.DeviceName();
  s.dsTCPIP.szIPAddress = target;
  s.dsTCPIP.szGatewayAddress = "0.0.0.0";
  s.dsTCPIP.szSubNetworkMaskAddress = "255.0.0.0";
  ASSERT_EQ(wiz_->mSetWizardConfiguration(&record_, &s, 2), 0);
  EXPECT_EQ(box_.Address(), target);
  const int at = wizard::FindDeviceIndex(name_.c_str());
  ASSERT_GE(at, 0);
  const wizard::DeviceRecord* moved = wizard::wizard_access::DeviceAt(at);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(moved->address)), target);
  EXPECT_EQ(wiz_->LastDeviceName(), name_);  // the reload found it there
  EXPECT_EQ(wiz_->Cached().dsTCPIP.szIPAddress, target);
}

}  // namespace

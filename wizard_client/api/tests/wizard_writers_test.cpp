// The wizard's group writers, wireless writer, password commands and device queries against an
// emulated box over TCP: the exact text each write puts on the wire, or that nothing is sent, and
// that the device-record forms reach the same box with the same result as the name forms.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <variant>
#include <vector>

#include "device_client/api/tests/api_fixture.h"
#include "tools/box_emulator/box_emulator.h"
#include "wizard_client/api/tests/wizard_test_fixture.h"
#include "wizard_client/api/wizard_utility.h"

namespace {

using namespace std::chrono_literals;
using wizard_test::PrintServerMode;
using wizard_test::Util;

class WizardWriters : public wizard_test::WizardApiTest {};


wizard::SerialPortConfigurationData Serial() {
  wizard::SerialPortConfigurationData s;
  s.iBaudrate = 9600;
  s.iDatabits = 8;
  s.szParity = "NONE";
  s.iStopbits = 1;
  s.szHandshake = "HARDWARE";
  return s;
}

wizard::SNMPConfigurationData Snmp() {
  wizard::SNMPConfigurationData s;
  s.iT1_TrapSeverity = s.iT2_TrapSeverity = s.iT3_TrapSeverity = s.iT4_TrapSeverity = 1;
  return s;
}

std::string Entries(int n) {
  std::string all;
  for (int i = 0; i < n; ++i) {
    char mac[24];
    std::snprintf(mac, sizeof mac, "0040011A%04X", i);
    all += mac;
  }
  return all;
}

wizard::WirelessConfigurationData WirelessWith(int list9300, int list9301, int listMode) {
  wizard::WirelessConfigurationData w;
  w.szSSID = "NET";
  w.szDomainList = "US,EU";   // the box's own: never written back
  w.szLinkStatus = "Linked";  // read only
  w.iChannel = 11;
  w.iKeyLength = 13;
  w.iListMode = listMode;
  w.iAuthentication = 2;
  for (int i = 0; i < list9300; ++i) w.AddressList9300.push_back(Entries(i + 1).substr(12 * i));
  for (int i = 0; i < list9301; ++i) w.AddressList9301.push_back(Entries(i + 1).substr(12 * i));
  return w;
}

std::string WirelessHead() {
  return "7000 :NET\n7002 :11\n7003 :Disable\n7004 :13\n7005 :0\n7006 :\n7007 :\n7008 :\n"
         "7009 :\n";
}

struct WriteCase {
  const char* what;
  std::function<int(Util&, const std::string&)> write;
  int rc;
  std::string text;  // what the box received first; empty: nothing was sent
};

TEST_F(WizardWriters, EachWriterSendsItsTextOrNothing) {
  Start();
  const std::string n20 = Entries(20), n45 = Entries(45);
  const WriteCase cases[] = {
      {"netware, print-server mode",
       [](Util& u, const std::string& n) {
         const auto nw = PrintServerMode();
         return u.mSetNetwareConfiguration(n, &nw);
       },
       0,
       "0001 :PS1\n2001 :ENABLE\n2002 :ENABLE\n2003 :ENABLE\n2004 :ENABLE\n2000 :PS\n2101 :\n"
       "2102 :NO\n2103 :10\n2110 :\n2111 :\n2501 :\n2502 :\n2503 :\n2504 :\n"},
      {"netware, polling 256",
       [](Util& u, const std::string& n) {
         auto nw = PrintServerMode();
         nw.iQueuePollingInterval = 256;
         return u.mSetNetwareConfiguration(n, &nw);
       },
       -2, ""},
      {"netware, mode in lower case",
       [](Util& u, const std::string& n) {
         auto nw = PrintServerMode();
         nw.szOperationMode = "ps";
         return u.mSetNetwareConfiguration(n, &nw);
       },
       -2, ""},
      {"serial, stop bits 0",
       [](Util& u, const std::string& n) {
         auto s = Serial();
         s.iStopbits = 0;
         return u.mSetSerialPortConfiguration(n, &s);
       },
       -2, ""},
      {"serial",
       [](Util& u, const std::string& n) {
         const auto s = Serial();
         return u.mSetSerialPortConfiguration(n, &s);
       },
       0, "0030 :9600\n0033 :8\n0032 :NONE\n0031 :1\n0034 :HARDWARE\n"},
      {"logical printer 2",
       [](Util& u, const std::string& n) {
         wizard::LogicalPrinterConfigurationData p;
         p.szPhysicalPort = "P2";
         p.bConvertLFToLFCR = 1;
         return u.mSetLogicalPortConfiguration(n, 2, &p);
       },
       0, "0120 :P2\n0121 :\n0122 :\n0123 :YES\n"},
      {"logical printer 9",
       [](Util& u, const std::string& n) {
         wizard::LogicalPrinterConfigurationData p;
         return u.mSetLogicalPortConfiguration(n, 9, &p);
       },
       -1, ""},
      {"logical printer 0",
       [](Util& u, const std::string& n) {
         wizard::LogicalPrinterConfigurationData p;
         return u.mSetLogicalPortConfiguration(n, 0, &p);
       },
       -2, ""},
      {"snmp, contact of 32",
       [](Util& u, const std::string& n) {
         auto s = Snmp();
         s.szSysContact = std::string(32, 'c');
         return u.mSetSNMPConfiguration(n, &s);
       },
       -2, ""},
      {"snmp, manager address of 16",
       [](Util& u, const std::string& n) {
         auto s = Snmp();
         s.szM1_ManagerIPAddress = "192.168.100.1001";
         return u.mSetSNMPConfiguration(n, &s);
       },
       -2, ""},
      {"netbeui, response 256",
       [](Util& u, const std::string& n) {
         wizard::NetBEUIConfigureData b;
         b.iResponseTime = 256;
         return u.mSetNetBEUIConfiguration(n, &b);
       },
       -2, ""},
      {"netbeui, response 255",
       [](Util& u, const std::string& n) {
         wizard::NetBEUIConfigureData b;
         b.szDomainName = "SALES";
         b.iResponseTime = 255;
         b.sz5003 = "not written here";
         return u.mSetNetBEUIConfiguration(n, &b);
       },
       0, "5000 :SALES\n5001 :NO\n5002 :255\n"},
      {"appletalk, empty printer types left out",
       [](Util& u, const std::string& n) {
         wizard::APPLETALKConfigurationData a;
         a.szP2PrinterType = "LaserWriter";
         a.bSPBinaryCommunicationProtocol = 1;
         return u.mSetAPPLETALKConfiguration(n, &a);
       },
       0, "3000 :\n3002 :LaserWriter\n3101 :NO\n3102 :NO\n3103 :YES\n3104 :NO\n"},
      {"appletalk, binary protocol 2",
       [](Util& u, const std::string& n) {
         wizard::APPLETALKConfigurationData a;
         a.bP1BinaryCommunicationProtocol = 2;
         return u.mSetAPPLETALKConfiguration(n, &a);
       },
       -2, ""},
      {"wireless, five entries, access 3",
       [](Util& u, const std::string& n) {
         const auto w = WirelessWith(5, 0, 3);
         return u.mSetWirelessConfiguration(n, &w);
       },
       0, WirelessHead() + "7010 :Disable\n9300 :05" + Entries(5) + "\n7012 :2\n7013 :0\n"},
      {"wireless, twenty entries, then an empty line",
       [](Util& u, const std::string& n) {
         const auto w = WirelessWith(20, 1, 2);
         return u.mSetWirelessConfiguration(n, &w);
       },
       0,
       WirelessHead() + "7010 :Enable_List\n9300 :20" + n20 + "\n9300 :00\n9301 :01" + Entries(1) +
           "\n7012 :2\n7013 :0\n"},
      {"wireless, forty-five entries",
       [](Util& u, const std::string& n) {
         const auto w = WirelessWith(45, 0, 1);
         return u.mSetWirelessConfiguration(n, &w);
       },
       0,
       WirelessHead() + "7010 :Enable\n9300 :20" + n45.substr(0, 240) + "\n9300 :20" +
           n45.substr(240, 240) + "\n9300 :05" + n45.substr(480) + "\n7012 :2\n7013 :0\n"},
      {"wireless, empty lists",
       [](Util& u, const std::string& n) {
         const auto w = WirelessWith(0, 0, 0);
         return u.mSetWirelessConfiguration(n, &w);
       },
       0, WirelessHead() + "7010 :Disable\n9300 :00\n7012 :2\n7013 :0\n"},
      {"all logical printers, count 3",
       [](Util& u, const std::string& n) {
         config::AllLogicalPrinter all;
         all.szL1PhysicalPort = "P1";
         all.szL2PhysicalPort = "P2";
         all.szL3StringBeforeJob =
             "\x1b"
             "E";  // an escape byte: not writable
         return u.mSetAllLogicalPortConfiguration(n, 3, &all);
       },
       -2, ""},
      {"all logical printers, count 3, plain",
       [](Util& u, const std::string& n) {
         config::AllLogicalPrinter all;
         all.szL1PhysicalPort = "P1";
         all.szL2PhysicalPort = "P2";
         all.bL3ConvertLFToLFCR = 1;
         return u.mSetAllLogicalPortConfiguration(n, 3, &all);
       },
       0,
       "0100 :P1\n0101 :\n0102 :\n0103 :NO\n0120 :P2\n0121 :\n0122 :\n0123 :NO\n"
       "0140 :\n0141 :\n0142 :\n0143 :YES\n"},
      {"all logical printers, count 4",
       [](Util& u, const std::string& n) {
         config::AllLogicalPrinter all;
         return u.mSetAllLogicalPortConfiguration(n, 4, &all);
       },
       -2, ""},
      {"physical ports",
       [](Util& u, const std::string& n) {
         wizard::PhysicalPortConfigurationData ports[4];
         ports[1].szPortName = "LPT2";
         ports[0].iHandshake = 1;
         ports[0].bEnable = 1;
         return u.mSetPhysicalPortConfiguration(n, ports);
       },
       0,
       "0040 :P1\n0041 :LPT2\n0042 :P3\n0043 :SP\n0501 :BUSY\n0502 :ACK&BUSY\n"
       "0503 :ACK&BUSY\n0504 :ACK&BUSY\n0511 :Enable\n0512 :Disable\n"},
      {"address assignment",
       [](Util& u, const std::string& n) { return u.mSetAddressAssignment(n, 1); }, 0,
       "4020 :Enable\n"},
      {"tcp/ip with manager 1",
       [](Util& u, const std::string& n) {
         wizard::TCPIPConfigurationData t;
         std::string unused;
         u.DefaultTCPIPConfiguration(&t, 0, unused);
         return u.mSetTCPIPAndManagerConfiguration(n, &t, 1, "private");
       },
       0,
       "4000 :0.0.0.0\n4001 :0.0.0.0\n4002 :0.0.0.0\n4020 :Enable\n4021 :Disable\n"
       "4022 :Disable\n4100 :0.0.0.0\n4101 :\n4102 :\n4103 :1\n4104 :Yes\n4105 :\n"
       "4106 :P1\n4107 :No\n4108 :No\n4109 :\n4010 :2\n4011 :254\n6012 :Read/Write\n"
       "6013 :private\n"},
      {"tcp/ip, access 3",
       [](Util& u, const std::string& n) {
         wizard::TCPIPConfigurationData t;
         return u.mSetTCPIPAndManagerConfiguration(n, &t, 3, "");
       },
       -2, ""},
      {"netware and apply",
       [](Util& u, const std::string& n) {
         const auto nw = PrintServerMode();
         return u.mSetNetwareConfigurationAndApply(n, "PS1", &nw, 0);
       },
       0,
       "0001 :PS1\n2001 :ENABLE\n2002 :ENABLE\n2003 :ENABLE\n2004 :ENABLE\n2000 :PS\n2101 :\n"
       "2102 :NO\n2103 :10\n2110 :\n2111 :\n2501 :\n2502 :\n2503 :\n2504 :\n"},
      {"basic configuration",
       [](Util& u, const std::string& n) {
         wizard::BasicConfigurationData b;
         b.dsLogicalPrinter.szPhysicalPort = "P1";
         b.dsSystem.szDeviceName = "BASIC";
         b.dsSystem.bTCPIPProtocol = 1;
         b.dsTCPIP.szIPAddress = "10.0.0.5";
         b.dsTCPIP.szGatewayAddress = "10.0.0.1";
         b.dsTCPIP.szSubNetworkMaskAddress = "255.0.0.0";
         b.dsNetBEUI.szDomainName = "W";
         return u.mSetBasicConfiguration(n, &b);
       },
       0,
       "0240 :P1\n0241 :\n0242 :\n0243 :NO\n0001 :BASIC\n0011 :DISABLE\n0012 :ENABLE\n"
       "0014 :DISABLE\n4000 :10.0.0.5\n4001 :10.0.0.1\n4002 :255.0.0.0\n4020 :Disable\n"
       "4021 :Disable\n4022 :Disable\n4030 :\n5000 :W\n5001 :NO\n"},
      {"netware defaults",
       [](Util& u, const std::string& n) { return u.mSetNetwareConfigurationToDefault(n); }, 0,
       "2001 :ENABLE\n2002 :ENABLE\n2003 :ENABLE\n2004 :ENABLE\n2000 :PS\n2101 :PS\n2501 :\n"
       "2502 :\n2503 :\n2504 :\n2110 :\n2103 :1\n2102 :NO\n"},
      {"password over the longest",
       [](Util& u, const std::string& n) {
         return u.mSetPassword(n, std::string(Util::kMaxPasswordLength + 1, 'x'));
       },
       -2, ""},
      {"password with a line break",
       [](Util& u, const std::string& n) { return u.mSetNetwarePassword(n, "a\nb"); }, -2, ""},
      {"empty name", [](Util& u, const std::string&) { return u.mSetPassword("", "pw"); }, -2, ""},
  };
  for (const WriteCase& c : cases) {
    SCOPED_TRACE(c.what);
    box_.ClearRequests();
    EXPECT_EQ(c.write(*wiz_, name_), c.rc);
    EXPECT_EQ(FirstRequest(), c.text);
    if (c.rc == 0) {
      // Applied: restart, then the box is read again.
      const auto all = box_.Requests();
      ASSERT_GE(all.size(), 4u);
      EXPECT_EQ(all[1].data, "9002:\n");
      EXPECT_EQ(all[2].data, "9100:\r\n");
    }
  }
}

TEST_F(WizardWriters, PasswordsReachTheBoxEncodedAndAreCheckedThere) {
  Start();
  ASSERT_EQ(wiz_->mSetPassword(name_, "new pw"), 0);
  EXPECT_EQ(box_.Password(), "new pw");
  EXPECT_EQ(wiz_->mVerifyPassword(name_, "new pw"), 0);
  EXPECT_EQ(wiz_->mVerifyPassword(name_, "old pw"), -1);
  const std::string longest(Util::kMaxPasswordLength, '~');
  ASSERT_EQ(wiz_->mSetNetwarePassword(name_, longest), 0);
  EXPECT_EQ(box_.NetwarePassword(), longest);
}

TEST_F(WizardWriters, SelectingAnotherBoxForgetsWhatTheFirstOneSaid) {
  box_emulator::Box other(api_test::ApiTest::Options());
  other.SetSetting("0240", "SP");  // logical printer 8; the others print to P1
  box_.SetSetting("5003", "first box only");
  box_.SetSetting("7011", "0040011A2B3C");
  Start();
  ASSERT_EQ(wizard::wizard_access::AppendDevice(wizard::FromConsoleRecord(
                api_test::TcpRecord(other.DefaultName(), other.Address()))),
            0);
  wizard::NetBEUIConfigureData nb;
  ASSERT_EQ(wiz_->mGetNetBEUIConfiguration(name_, &nb), 0);
  EXPECT_EQ(nb.sz5003, "first box only");
  // The address list is appended to line by line: each read starts from an empty one.
  wizard::WirelessConfigurationData w;
  w.MacAddressList = {"stale"};
  for (int read = 0; read < 2; ++read) {
    ASSERT_EQ(wiz_->mGetWirelessConfiguration(name_, &w), 0);
    EXPECT_EQ(w.MacAddressList, (std::list<std::string>{"0040011A2B3C"}));
  }
  wizard::AllConfigurationData unused;
  ASSERT_EQ(wiz_->mReadDeviceConfiguration(other.DefaultName(), &unused), 0);
  EXPECT_EQ(wiz_->CachedExtras().netbeui.sz5003, "");
  EXPECT_TRUE(wiz_->CachedExtras().wireless.MacAddressList.empty());

  // Logical printers are numbered 1..8: other numbers are refused before anything is sent.
  other.ClearRequests();
  wizard::LogicalPrinterConfigurationData printer;
  for (int port : {0, 9, -1}) {
    EXPECT_EQ(wiz_->mGetLogicalPortConfiguration(other.DefaultName(), port, &printer), -2);
  }
  EXPECT_EQ(other.RequestCount(), 0u);
  ASSERT_EQ(wiz_->mGetLogicalPortConfiguration(other.DefaultName(), 8, &printer), 0);
  EXPECT_EQ(printer.szPhysicalPort, "SP");

  // A failed read leaves no device remembered.
  other.SwitchOff();
  EXPECT_EQ(wiz_->SelectDevice(other.DefaultName()), -5);
  EXPECT_EQ(wiz_->LastDeviceName(), "");
  EXPECT_EQ(wiz_->mGetDevicePortType(name_, nullptr), -2);
}

TEST_F(WizardWriters, NameInformationFallsBackAndStateBytesMapToFlags) {
  Start();
  box_.SetDeviceName("Short");
  box_.SetExtendedName("A Much Longer Name");
  struct Case {
    bool block9701;
    std::uint8_t byte47;
    int state;
    const char* name;
    const char* longName;
    const char* a;
    const char* b;
  } cases[] = {
      {true, 0x00, 1, "A Much Longer Name", "TRUE", "TRUE", "TRUE"},
      {false, 0x02, 0, "A Much Longer Name", "TRUE", "TRUE", "FALSE"},
      {false, 0x00, -1, "Short", "FALSE", "FALSE", "TRUE"},
      {false, 0x00, 2, "Short", "FALSE", "keep", "keep"},
  };
  for (const Case& c : cases) {
    box_.SetFunctionFlags(c.byte47);
    box_.WithCore([&](box_emulator::BoxCore& core) {
      core.identity().wizard.nameBlock9701 = c.block9701;
      core.identity().wizard.stateByte = c.state;
    });
    std::string out[4] = {"", "", "keep", "keep"};
    ASSERT_EQ(wiz_->mGetDeviceNameInformation(name_, out), 0);
    EXPECT_EQ(out[0], c.name);
    EXPECT_EQ(out[1], c.longName);
    EXPECT_EQ(out[2], c.a);
    EXPECT_EQ(out[3], c.b);
  }
  EXPECT_EQ(wiz_->mGetDeviceState(name_), 2);
  EXPECT_EQ(wiz_->mProbeExtendedCommand(name_), 1);
  EXPECT_EQ(wiz_->mProbeDevice(name_), 0);
  std::string info;
  ASSERT_EQ(wiz_->mGetDeviceInformation(name_, info), 0);
  EXPECT_NE(info.find("IP Address: " + box_.Address()), std::string::npos);
  EXPECT_EQ(wiz_->mPrintTestPage(name_, 4), -2);
  std::string unused[4];
  EXPECT_EQ(wiz_->mGetDeviceNameInformation("", unused), -2);
}

}  // namespace

namespace {

TEST_F(WizardWriters, LogLinesCarryTheWizardsTagAndNumbers) {
  { std::ofstream(root_.path() + "/utility.log") << "kept\n"; }
  Start();
  int length = 0;
  EXPECT_EQ(wiz_->SendResp("PSFFFFFF", "9007:\n", wiz_->ReplyBuffer(), length), -4);
  EXPECT_EQ(wiz_->SendResp(name_, "", wiz_->ReplyBuffer(), length), -2);
  EXPECT_EQ(wiz_->SendRespToRecord(nullptr, "9007:\n", wiz_->ReplyBuffer(), length), -2);
  const std::string log = api_test::ReadFile(root_.path() + "/utility.log");
  EXPECT_EQ(log.rfind("kept\n***** Logging starts at ", 0), 0u) << log;
  EXPECT_NE(log.find("WIZARD_UTILITY.CPP, 359, PSISendResp() returned ERR_DEVICE_NOTFOUND\n"
                     "WIZARD_UTILITY.CPP, 318, Invalid argument\n"
                     "WIZARD_UTILITY.CPP, 386, Invalid argument\n"),
            std::string::npos)
      << log;
  EXPECT_EQ(box_.RequestCount(), 0u);
}

}  // namespace

namespace {

TEST_F(WizardWriters, RecordBrowseAndRecordApplyReachTheBoxItNames) {
  Start();
  box_.SetDeviceName("By-Record");
  box_.SetFunctionFlags(0x02);
  box_.SetExtendedName("By-Record, long name");
  wizard::DeviceRecord record = wizard::FromConsoleRecord(api_test::TcpRecord("", box_.Address()));
  wizard::BrowseLists lists;
  ASSERT_EQ(wiz_->PS_BrowseRecord(&lists, "", &record), 0);
  EXPECT_EQ(std::string(record.szName), name_) << "the record takes the answering box's name";
  EXPECT_EQ(lists.lists[0], (std::list<std::string>{name_}));
  EXPECT_EQ(lists.lists[1], (std::list<std::string>{"By-Record, long name"}));
  EXPECT_EQ(lists.lists[2], (std::list<std::string>{"PS-1300 (1 parallel)"}));
  EXPECT_EQ(wiz_->mQueryRecordProtocol(&record), TYPE_TCPIP);

  record = wizard::FromConsoleRecord(api_test::TcpRecord(name_, box_.Address()));
  box_.ClearRequests();
  ASSERT_EQ(wiz_->ApplySettingsToRecord(&record, "ignored", 1), 0);
  const auto all = box_.Requests();
  ASSERT_EQ(all.size(), 5u);
  EXPECT_EQ(all[2].data, "9002:\n");
  EXPECT_EQ(wiz_->LastDeviceName(), name_);
  EXPECT_EQ(wiz_->ApplySettingsToRecord(nullptr, "", 0), -2);
}

}  // namespace

namespace {

wizard::AllConfigurationData WholeConfiguration() {
  wizard::AllConfigurationData all;
  config::DeviceConfigurationData& c = all.base;
  c.dsSystem.szDeviceName = "Front-Desk";
  c.dsSystem.bIPXSPXProtocol = 0;
  c.dsSystem.bTCPIPProtocol = 1;
  c.dsSystem.bNetBEUIProtocol = 7;  // any non-zero switch is ENABLE
  c.dsPhysicalPort[0].szPortName = "LPT-A";
  c.dsPhysicalPort[0].iHandshake = 1;
  c.dsNetware = PrintServerMode();
  c.dsTCPIP.szIPAddress = "10.1.2.3";
  c.dsTCPIP.szSubNetworkMaskAddress = "255.0.0.0";
  c.dsTCPIP.bAutoAddress1 = 0;
  c.dsNetBEUI.szDomainName = "SALES";
  c.dsNetBEUI.bAbortJobAsPaperOut = 2;  // left out
  c.dsNetBEUI.iResponseTime = 30;
  for (auto& p : c.dsLogicalPrinter) p.szPhysicalPort = "P1";
  c.dsLogicalPrinter[7].szStringBeforeJob = "\\1B";
  c.dsLogicalPrinter[7].bConvertLFToLFCR = 1;
  return all;
}

TEST_F(WizardWriters, WholeConfigurationGoesOutAsOneText) {
  Start();
  const auto all = WholeConfiguration();
  std::string printers;
  for (int n = 0; n < 7; ++n) {
    const std::string b = std::to_string(10 + 2 * n);
    printers += "0" + b + "0 :P1\n0" + b + "1 :\n0" + b + "2 :\n0" + b + "3 :NO\n";
  }
  printers += "0240 :P1\n0241 :\\1B\n0242 :\n0243 :YES\n";
  const std::string expected =
      "0001 :Front-Desk\n0011 :DISABLE\n0012 :ENABLE\n0014 :ENABLE\n"
      "0040 :LPT-A\n0041 :P2\n0042 :P3\n0501 :BUSY\n0502 :ACK&BUSY\n0503 :ACK&BUSY\n"
      "0001 :PS1\n2001 :ENABLE\n2002 :ENABLE\n2003 :ENABLE\n2004 :ENABLE\n2000 :PS\n2101 :\n"
      "2102 :NO\n2103 :10\n2110 :\n2111 :\n2501 :\n2502 :\n2503 :\n2504 :\n"
      "4000 :10.1.2.3\n4002 :255.0.0.0\n4020 :Disable\n5000 :SALES\n5002 :30\n" +
      printers;
  ASSERT_EQ(wiz_->mSetAllConfiguration(name_, &all, 0), 0);
  auto sent = box_.Requests();
  ASSERT_GE(sent.size(), 2u);
  EXPECT_EQ(sent[0].data, expected);
  EXPECT_EQ(sent[1].data, "9002:\n");
  EXPECT_EQ(wiz_->LastDeviceName(), name_);

  // Relocating ends with the apply step: the same text, then the restart and the reload.
  box_.ClearRequests();
  ASSERT_EQ(wiz_->mSetAllConfiguration(name_, &all, 1), 0);
  sent = box_.Requests();
  ASSERT_GE(sent.size(), 2u);
  EXPECT_EQ(sent[0].data, expected);
  EXPECT_EQ(sent[1].data, "9002:\n");

  // Bad values are found before anything is sent.
  const std::function<void(wizard::AllConfigurationData&)> spoil[] = {
      [](auto& a) { a.base.dsTCPIP.szIPAddress.clear(); },
      [](auto& a) { a.base.dsNetware.iQueuePollingInterval = 0; },
      [](auto& a) { a.base.dsSystem.szDeviceName = "two\nlines"; },
      [](auto& a) { a.base.dsLogicalPrinter[3].szStringAfterJob = "x\ry"; },
  };
  for (const auto& change : spoil) {
    auto bad = all;
    change(bad);
    box_.ClearRequests();
    EXPECT_EQ(wiz_->mSetAllConfiguration(name_, &bad, 0), -2);
    EXPECT_EQ(box_.RequestCount(), 0u);
  }
  EXPECT_EQ(wiz_->mSetAllConfiguration("", &all, 0), -2);
  EXPECT_EQ(wiz_->mSetAllConfiguration(name_, nullptr, 0), -2);
  EXPECT_EQ(box_.RequestCount(), 0u);
}

TEST_F(WizardWriters, SystemDefaultsHaveNoNameToWriteAndSendNothing) {
  Start();
  const wizard::DeviceRecord record =
      wizard::FromConsoleRecord(api_test::TcpRecord(name_, box_.Address()));
  box_.ClearRequests();
  EXPECT_EQ(wiz_->mSetSystemConfigurationToDefault(name_), -2);
  EXPECT_EQ(wiz_->mSetSystemConfigurationToDefault(""), -2);
  EXPECT_EQ(wiz_->mSetSystemConfigurationToDefault(&record), -2);
  EXPECT_EQ(wiz_->mSetSystemConfigurationToDefault(nullptr), -2);

  // The default read: the record keeps its name and gets every protocol switched on; by name a
  // record without a name, or with one no text can carry, is refused; the record form takes it.
  struct Case {
    const char* deviceName;
    int byName;
    int byRecord;
  } cases[] = {{"BOX-1", 0, 0}, {"", -2, 0}, {"TWO\nLINES", -2, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.deviceName);
    for (const bool byRecord : {false, true}) {
      wizard::SystemConfigurationData system;
      system.szDeviceName = c.deviceName;
      const int rc = byRecord ? wiz_->mGetSystemConfigurationToDefault(&record, &system)
                              : wiz_->mGetSystemConfigurationToDefault(name_, &system);
      EXPECT_EQ(rc, byRecord ? c.byRecord : c.byName) << byRecord;
      EXPECT_EQ(system.szDeviceName, c.deviceName);
      EXPECT_EQ(system.bIPXSPXProtocol + system.bTCPIPProtocol + system.bAPPLETALKProtocol +
                    system.bNetBEUIProtocol,
                4);
    }
  }
  wizard::SystemConfigurationData unused;
  EXPECT_EQ(wiz_->mGetSystemConfigurationToDefault("", &unused), -2);
  EXPECT_EQ(wiz_->mGetSystemConfigurationToDefault(name_, nullptr), -2);
  EXPECT_EQ(box_.RequestCount(), 0u);
}

}  // namespace

namespace {

using wizard_test::Texts;
using wizard_test::To;
using wizard_test::TwinCase;

TEST_F(WizardWriters, RecordTwinsReachTheSameBoxWithTheSameResult) {
  Start();
  ASSERT_TRUE(box_.SetSetting("6000", "Front desk"));
  ASSERT_TRUE(box_.SetSetting("5000", "SALES"));
  ASSERT_TRUE(box_.SetSetting("3000", "Zone-7"));
  ASSERT_TRUE(box_.SetSetting("0120", "P3"));
  const wizard::DeviceRecord record =
      wizard::FromConsoleRecord(api_test::TcpRecord(name_, box_.Address()));
  const auto call = [](auto&& op) { return wizard_test::Either(op); };
  const TwinCase cases[] = {
      {"snmp getter", call([](Util& u, const auto& t, std::string& seen) {
         wizard::SNMPConfigurationData s;
         const int rc = u.mGetSNMPConfiguration(t, &s);
         seen = s.szSysContact;
         return rc;
       })},
      {"netbeui getter", call([](Util& u, const auto& t, std::string& seen) {
         wizard::NetBEUIConfigureData b;
         const int rc = u.mGetNetBEUIConfiguration(t, &b);
         seen = b.szDomainName;
         return rc;
       })},
      {"appletalk getter", call([](Util& u, const auto& t, std::string& seen) {
         wizard::APPLETALKConfigurationData a;
         const int rc = u.mGetAPPLETALKConfiguration(t, &a);
         seen = a.szZoneName;
         return rc;
       })},
      {"logical printer 2 getter", call([](Util& u, const auto& t, std::string& seen) {
         wizard::LogicalPrinterConfigurationData p;
         const int rc = u.mGetLogicalPortConfiguration(t, 2, &p);
         seen = p.szPhysicalPort;
         return rc;
       })},
      {"logical printer 9 getter", call([](Util& u, const auto& t, std::string&) {
         wizard::LogicalPrinterConfigurationData p;
         return u.mGetLogicalPortConfiguration(t, 9, &p);
       })},
      {"netbeui writer", call([](Util& u, const auto& t, std::string&) {
         wizard::NetBEUIConfigureData b;
         b.szDomainName = "WEST";
         b.iResponseTime = 12;
         return u.mSetNetBEUIConfiguration(t, &b);
       })},
      {"netbeui writer, response 256", call([](Util& u, const auto& t, std::string&) {
         wizard::NetBEUIConfigureData b;
         b.iResponseTime = 256;
         return u.mSetNetBEUIConfiguration(t, &b);
       })},
      {"netware writer", call([](Util& u, const auto& t, std::string&) {
         const auto nw = PrintServerMode();
         return u.mSetNetwareConfiguration(t, &nw);
       })},
      {"serial writer", call([](Util& u, const auto& t, std::string&) {
         const auto s = Serial();
         return u.mSetSerialPortConfiguration(t, &s);
       })},
      {"appletalk defaults", call([](Util& u, const auto& t, std::string&) {
         return u.mSetAPPLETALKConfigurationToDefault(t);
       })},
      {"logical printer 3 writer", call([](Util& u, const auto& t, std::string&) {
         wizard::LogicalPrinterConfigurationData p;
         p.szPhysicalPort = "P2";
         p.bConvertLFToLFCR = 1;
         return u.mSetLogicalPortConfiguration(t, 3, &p);
       })},
      {"logical printers 1-3 writer", call([](Util& u, const auto& t, std::string&) {
         config::AllLogicalPrinter all;
         all.szL2PhysicalPort = "P3";
         all.bL3ConvertLFToLFCR = 1;
         return u.mSetAllLogicalPortConfiguration(t, 3, &all);
       })},
      {"system writer, same name", call([](Util& u, const auto& t, std::string&) {
         wizard::SystemConfigurationData sys;
         sys.szDeviceName = "Twin-Box";
         sys.bTCPIPProtocol = 1;
         return u.mSetSystemConfiguration(t, &sys);
       })},
      {"model index", call([](Util& u, const auto& t, std::string& seen) {
         int index = -7;
         const int rc = u.mGetDeviceModelIndex(t, &index);
         seen = std::to_string(index);
         return rc;
       })},
      {"factory default", call([](Util& u, const auto& t, std::string&) {
         return u.mRestoreFactoryDefault(t);
       })},
      {"logical printer 4 defaults", call([](Util& u, const auto& t, std::string&) {
         return u.mSetLogicalPortConfigurationToDefault(t, 4);
       })},
      {"tcp/ip defaults read", call([](Util& u, const auto& t, std::string& seen) {
         wizard::TCPIPConfigurationData tcp;
         const int rc = u.mGetTCPIPConfigurationToDefault(t, &tcp);
         seen = tcp.szIPAddress + " " + tcp.szDefaultPrinterNumber;
         return rc;
       })},
      {"netware defaults read", call([](Util& u, const auto& t, std::string& seen) {
         wizard::NetwareConfigurationData nw;
         const int rc = u.mGetNetwareConfigurationToDefault(t, &nw);
         seen = nw.szOperationMode + " " + nw.szPrintServerName;
         return rc;
       })},
  };
  // The expected values come back before the writes change the box.
  std::string seen;
  ASSERT_EQ(cases[0].run(*wiz_, To(&record), seen), 0);
  EXPECT_EQ(seen, "Front desk");
  ASSERT_EQ(cases[3].run(*wiz_, To(&record), seen), 0);
  EXPECT_EQ(seen, "P3");
  for (const TwinCase& c : cases) {
    SCOPED_TRACE(c.label);
    std::string byName, byRecord;
    box_.ClearRequests();
    const int rcName = c.run(*wiz_, To(name_), byName);
    const auto nameRequests = Texts(box_.Requests());
    box_.ClearRequests();
    const int rcRecord = c.run(*wiz_, To(&record), byRecord);
    const auto recordRequests = Texts(box_.Requests());
    EXPECT_EQ(rcRecord, rcName);
    EXPECT_EQ(byRecord, byName);
    // The same first request reaches the box (a write's text; a read's "9100:"), and a write
    // ends with the restart either way.
    ASSERT_EQ(nameRequests.empty(), recordRequests.empty());
    if (nameRequests.empty()) continue;
    const auto first = [](const std::vector<std::string>& all) {
      for (const auto& r : all)
        if (r.rfind("9100:", 0) != 0 && r.rfind("9007:", 0) != 0) return r;
      return all.front();
    };
    EXPECT_EQ(first(recordRequests), first(nameRequests));
    EXPECT_EQ(std::count(recordRequests.begin(), recordRequests.end(), "9002:\n"),
              std::count(nameRequests.begin(), nameRequests.end(), "9002:\n"));
  }

  // Where the record forms differ: SNMP wants every address, TCP/IP writes the addresses alone.
  wizard::SNMPConfigurationData snmp = Snmp();
  box_.ClearRequests();
  EXPECT_EQ(wiz_->mSetSNMPConfiguration(&record, &snmp), -2);
  EXPECT_EQ(box_.RequestCount(), 0u);
  for (auto* a : {&snmp.szM1_ManagerIPAddress, &snmp.szM2_ManagerIPAddress,
                  &snmp.szM3_ManagerIPAddress, &snmp.szM4_ManagerIPAddress,
                  &snmp.szT1_TrapReceiveIPAddress, &snmp.szT2_TrapReceiveIPAddress,
                  &snmp.szT3_TrapReceiveIPAddress, &snmp.szT4_TrapReceiveIPAddress}) {
    *a = "10.0.0.5";
  }
  ASSERT_EQ(wiz_->mSetSNMPConfiguration(&record, &snmp), 0);
  EXPECT_EQ(FirstRequest().rfind("6000 :\n6001 :\n6011 :10.0.0.5\n6012 :Read Only\n", 0), 0u);
  wizard::TCPIPConfigurationData tcp;
  tcp.szIPAddress = "10.0.0.9";
  tcp.szGatewayAddress = "10.0.0.1";
  tcp.szSubNetworkMaskAddress = "255.0.0.0";
  tcp.bAutoAddress1 = 7;  // not written by record
  box_.ClearRequests();
  ASSERT_EQ(wiz_->mSetTCPIPConfiguration(&record, &tcp), 0);
  EXPECT_EQ(FirstRequest(), "4000 :10.0.0.9\n4001 :10.0.0.1\n4002 :255.0.0.0\n");
  tcp.szGatewayAddress.clear();
  box_.ClearRequests();
  EXPECT_EQ(wiz_->mSetTCPIPConfiguration(&record, &tcp), -2);
  EXPECT_EQ(box_.RequestCount(), 0u);

  EXPECT_EQ(wiz_->mGetSerialPortConfiguration(static_cast<const wizard::DeviceRecord*>(nullptr),
                                              nullptr),
            -1);
  EXPECT_EQ(wiz_->mSetNetBEUIConfiguration(static_cast<const wizard::DeviceRecord*>(nullptr),
                                           nullptr),
            -2);
}

}  // namespace

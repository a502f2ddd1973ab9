#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "device_client/core/config/config_parser.h"

namespace {

using config::DeviceConfigurationData;
using D = DeviceConfigurationData;

int Parse(const std::string& text, D& d, const config::LogHook& log = {}) {
  return config::ParseConfiguration(text.data(), static_cast<int>(text.size()), &d, log);
}

struct ValueCase {
  const char* text;
  int rc;
  std::function<void(const D&)> check;
};

TEST(ConfigParser, KeyTableValueRules) {
  const std::vector<ValueCase> cases = {
      {"0001 :Office\r\n", 0,
       [](const D& d) {
         EXPECT_EQ("Office", d.dsSystem.szDeviceName);
         EXPECT_EQ("Office", d.dsNetware.szPrintServerName);
         EXPECT_EQ("Office", d.dsNetware.szDeviceName);
       }},
      {"0001 : Office \n", 0, [](const D& d) { EXPECT_EQ(" Office ", d.dsSystem.szDeviceName); }},
      {"0011 :enable\n", 0, [](const D& d) { EXPECT_EQ(1, d.dsSystem.bIPXSPXProtocol); }},
      {"0012 : DISABLE \n", 0, [](const D& d) { EXPECT_EQ(0, d.dsSystem.bTCPIPProtocol); }},
      {"0011 :on\n", -100, nullptr},
      {"0019 :Enable\n", 0, [](const D& d) { EXPECT_EQ(1, d.dsSystem.bFifthProtocol); }},
      {"0030 :9600\n", 0, [](const D& d) { EXPECT_EQ(9600, d.dsSerialPort.iBaudrate); }},
      {"0030 :460800\n", 0, [](const D& d) { EXPECT_EQ(460800, d.dsSerialPort.iBaudrate); }},
      {"0030 :9601\n", -100, nullptr},
      {"0030 :99999999999999999999\n", -100, nullptr},
      {"0031 :3\n", -100, nullptr},
      {"0032 : odd\n", 0, [](const D& d) { EXPECT_EQ("odd", d.dsSerialPort.szParity); }},
      {"0032 :MARK\n", -100, nullptr},
      {"0033 :7\n", 0, [](const D& d) { EXPECT_EQ(7, d.dsSerialPort.iDatabits); }},
      {"0034 :xon/xoff\n", 0, [](const D& d) { EXPECT_EQ("xon/xoff", d.dsSerialPort.szHandshake); }},
      {"0034 :RTS\n", -100, nullptr},
      {"0043 : SP1 \n", 0, [](const D& d) { EXPECT_EQ("SP1", d.dsPhysicalPort[3].szPortName); }},
      {"0502 :BUSY\n", 0, [](const D& d) { EXPECT_EQ(1, d.dsPhysicalPort[1].iHandshake); }},
      {"0501 :ack&busy\n", 0, [](const D& d) { EXPECT_EQ(0, d.dsPhysicalPort[0].iHandshake); }},
      {"0501 :ACK\n", -100, nullptr},
      {"0514 :Enable\n", 0, [](const D& d) { EXPECT_EQ(1, d.dsPhysicalPort[3].bEnable); }},
      {"0514 :whatever\n", 0, [](const D& d) { EXPECT_EQ(0, d.dsPhysicalPort[3].bEnable); }},
      {"0240 : P3 \n", 0, [](const D& d) { EXPECT_EQ("P3", d.dsLogicalPrinter[7].szPhysicalPort); }},
      {"0121 : \\1BE\n", 0, [](const D& d) { EXPECT_EQ(" \\1BE", d.dsLogicalPrinter[1].szStringBeforeJob); }},
      {"0242 :end\n", 0, [](const D& d) { EXPECT_EQ("end", d.dsLogicalPrinter[7].szStringAfterJob); }},
      {"0103 : YES\n", 0, [](const D& d) { EXPECT_EQ(1, d.dsLogicalPrinter[0].bConvertLFToLFCR); }},
      {"0163 : YES\n", -100, nullptr},
      {"0163 :yes\n", 0, [](const D& d) { EXPECT_EQ(1, d.dsLogicalPrinter[3].bConvertLFToLFCR); }},
      {"0243 :maybe\n", -100, nullptr},
      {"0104 :anything\n", 0, nullptr},
      {"2000 : rp\n", 0, [](const D& d) { EXPECT_EQ("rp", d.dsNetware.szOperationMode); }},
      {"2000 :XX\n", -100, nullptr},
      {"2002 :Enable\n", 0,
       [](const D& d) {
         EXPECT_EQ(1, d.dsNetware.bFrameType8022);
         EXPECT_EQ(1, d.dsNetware.bFrameTypeTokenring);
       }},
      {"2004 :Enable\n", 0,
       [](const D& d) {
         EXPECT_EQ(1, d.dsNetware.bFrameType8022Snap);
         EXPECT_EQ(1, d.dsNetware.bFrameTypeTokenringSnap);
       }},
      {"2103 :0\n", -100, nullptr},
      {"2103 :255\n", 0, [](const D& d) { EXPECT_EQ(255, d.dsNetware.iQueuePollingInterval); }},
      {"2503 :sp\n2504 :p3\n", 0,
       [](const D& d) {
         EXPECT_EQ("sp", d.dsNetware.szSPRemotePrinter);
         EXPECT_EQ("p3", d.dsNetware.szP3RemotePrinter);
       }},
      {"3101 :BCP\n", 0, [](const D& d) { EXPECT_EQ(2, d.dsAPPLETALK.bP1BinaryCommunicationProtocol); }},
      {"3103 :odd\n", 0, [](const D& d) { EXPECT_EQ(2, d.dsAPPLETALK.bSPBinaryCommunicationProtocol); }},
      {"3104 :yes\n", 0, [](const D& d) { EXPECT_EQ(1, d.dsAPPLETALK.bP3BinaryCommunicationProtocol); }},
      {"3003 :LaserWriter\n", 0, [](const D& d) { EXPECT_EQ("LaserWriter", d.dsAPPLETALK.szSPPrinterType); }},
      {"4000 : 10.1.2.3 \n", 0, [](const D& d) { EXPECT_EQ("10.1.2.3", d.dsTCPIP.szIPAddress); }},
      {"4010 : -12abc\n", 0, [](const D& d) { EXPECT_EQ(-12, d.dsTCPIP.iTCPIntervalSessionRetry); }},
      {"4011 :x\n", 0, [](const D& d) { EXPECT_EQ(0, d.dsTCPIP.iTCPCountSessionRetry); }},
      {"4104 :No\n", 0, [](const D& d) { EXPECT_EQ(0, d.dsTCPIP.bBannerPrinting); }},
      {"4107 :y\n", -100, nullptr},
      {"5002 :300\n", -100, nullptr},
      {"5002 :-1\n", -100, nullptr},
      {"5002 :0\n", 0, [](const D& d) { EXPECT_EQ(0, d.dsNetBEUI.iResponseTime); }},
      {"5002 :255\n", 0, [](const D& d) { EXPECT_EQ(255, d.dsNetBEUI.iResponseTime); }},
      {"5000 : WORKGROUP\n", 0, [](const D& d) { EXPECT_EQ(" WORKGROUP", d.dsNetBEUI.szDomainName); }},
      {"6042 :Read/Write\n", 0, [](const D& d) { EXPECT_EQ(1, d.dsSNMP.iM4_AccessPermission); }},
      {"6012 :read only\n", 0, [](const D& d) { EXPECT_EQ(0, d.dsSNMP.iM1_AccessPermission); }},
      {"6022 :Not Accessible\n", 0, [](const D& d) { EXPECT_EQ(2, d.dsSNMP.iM2_AccessPermission); }},
      {"6033 : pub \n", 0, [](const D& d) { EXPECT_EQ(" pub ", d.dsSNMP.szM3_CommunityString); }},
      {"6131 :10.0.0.9\n6132 :3\n6133 :traps\n6134 :Enable\n", 0,
       [](const D& d) {
         EXPECT_EQ("10.0.0.9", d.dsSNMP.szT3_TrapReceiveIPAddress);
         EXPECT_EQ(3, d.dsSNMP.iT3_TrapSeverity);
         EXPECT_EQ("traps", d.dsSNMP.szT3_CommunityString);
         EXPECT_EQ(1, d.dsSNMP.iT3_TrapOption);
       }},
      {"6151 :Enable\n", 0, [](const D& d) { EXPECT_EQ(1, d.dsSNMP.bSNMPEnable); }},
      {"7006 : 0123456789ABCDEF0123456789XYZ\n", 0,
       [](const D& d) {
         EXPECT_EQ(std::string("0123456789ABCDEF0123456789"), d.dsWireless.szKey1);
         EXPECT_EQ('\0', d.dsWireless.szKey1[26]);
       }},
      {"7009 :0123456789ABC\n", 0,
       [](const D& d) {
         EXPECT_EQ(std::string("0123456789"), d.dsWireless.szKey4);
         EXPECT_EQ('\0', d.dsWireless.szKey4[10]);
       }},
      {"7007 :AB\n", 0, [](const D& d) { EXPECT_EQ(std::string("AB"), d.dsWireless.szKey2); }},
      {"7010 :enable_list\n", 0, [](const D& d) { EXPECT_EQ(2, d.dsWireless.iListMode); }},
      {"7010 :Enable\n", 0, [](const D& d) { EXPECT_EQ(1, d.dsWireless.iListMode); }},
      {"7013 :3\n", 0, [](const D& d) { EXPECT_EQ(3, d.dsWireless.iNetworkType); }},
      {"7014 : STATE:ok CHANNEL:6 \n", 0,
       [](const D& d) { EXPECT_EQ("STATE:ok CHANNEL:6", d.dsWireless.szLinkStatus); }},
      {"0999 :anything\n9200 :x\n", 0, nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    D d;
    config::ClearConfiguration(d);
    EXPECT_EQ(c.rc, Parse(c.text, d));
    if (c.check) c.check(d);
  }
}

TEST(ConfigParser, BadValueKeepsEarlierLinesAndStops) {
  D d;
  config::ClearConfiguration(d);
  EXPECT_EQ(-100, Parse("0001 :Box\n0011 :maybe\n0012 :Enable\n", d));
  EXPECT_EQ("Box", d.dsSystem.szDeviceName);
  EXPECT_EQ(0, d.dsSystem.bTCPIPProtocol);
}

struct GrammarCase {
  std::string text;
  int length;  // -1: the whole text
  int rc;
  const char* device_name;  // expected system name afterwards
};

TEST(ConfigParser, LineGrammar) {
  const std::vector<GrammarCase> cases = {
      {"Welcome\r\n\r\n0001 :A\r\n", -1, 0, "A"},
      {"\n\n# note\n0001 :B\n", -1, 0, "B"},
      {"0001 :C", -1, 0, "C"},                        // no final line end
      {"0001 :C\r", -1, 0, "C"},
      {"0001:D\n", -1, 0, "D"},                       // no blank before the colon
      {"0001   xx :E\n", -1, 0, "E"},                 // bytes before the colon are ignored
      {"00A1 :x\n", -1, -1, ""},
      {"0001 :F\n0001 G\n", -1, -1, "F"},             // missing colon on the last line
      {"0001 G\n0011 :Enable\n", -1, -1, ""},         // the colon must be on the key's line
      {"001", -1, -1, ""},                            // key cut by the end of the text
      {"0001 :Hidden\n", 3, -1, ""},                  // key cut by the length
      {"0001 :Box\n0011 :bad\n", 10, 0, "Box"},       // the bad line lies past the length
      {"0001 :Boxname\n", 9, 0, "Box"},               // value bounded by the length
      {"0001 :", 6, 0, ""},
      {"0001 ", 5, -1, ""},
      {std::string("0001 :a\0b\n", 10), -1, 0, ""},   // a NUL is an ordinary byte
      {"text without end", -1, 0, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    // Copy into an exact-size heap buffer so a read past the length is caught by the sanitizer.
    const int len = c.length < 0 ? static_cast<int>(c.text.size()) : c.length;
    std::vector<char> buf(c.text.begin(), c.text.begin() + len);
    D d;
    config::ClearConfiguration(d);
    EXPECT_EQ(c.rc, config::ParseConfiguration(buf.data(), len, &d));
    if (c.text.find('\0') != std::string::npos) {
      EXPECT_EQ(std::string("a\0b", 3), d.dsSystem.szDeviceName);
    } else {
      EXPECT_EQ(c.device_name, d.dsSystem.szDeviceName);
    }
  }
}

TEST(ConfigParser, InvalidArguments) {
  D d;
  EXPECT_EQ(-2, config::ParseConfiguration(nullptr, 5, &d));
  EXPECT_EQ(-2, config::ParseConfiguration("0001 :x", 0, &d));
  EXPECT_EQ(-2, config::ParseConfiguration("0001 :x", -4, &d));
  EXPECT_EQ(-2, config::ParseConfiguration("0001 :x", 7, nullptr));
}

TEST(ConfigParser, LogHookGetsEveryLineButNoSecrets) {
  D d;
  config::ClearConfiguration(d);
  std::vector<std::string> lines;
  const int rc = Parse("0001 :Box\r\n4102 :mailpw\n7006 :ABCDEF\n0999 :x\n0011 :on\n", d,
                       [&](const std::string& l) { lines.push_back(l); });
  EXPECT_EQ(-100, rc);
  const std::vector<std::string> want = {" 0001 = Box", " 4102 = ****", " 7006 = ****",
                                         " 0999 = x", " 0011 = on"};
  EXPECT_EQ(want, lines);
  EXPECT_EQ("mailpw", d.dsTCPIP.szPassword);
}

TEST(ConfigParser, SnmpCommunityStringsAreNotLogged) {
  D d;
  config::ClearConfiguration(d);
  std::vector<std::string> lines;
  const std::string text = "6011 :10.0.0.1\n6023 :rw-secret\n6143 : trap-secret\n6151 :Enable\n";
  ASSERT_EQ(0, Parse(text, d, [&](const std::string& l) { lines.push_back(l); }));
  const std::vector<std::string> want = {" 6011 = 10.0.0.1", " 6023 = ****", " 6143 = ****",
                                         " 6151 = Enable"};
  EXPECT_EQ(want, lines);
  EXPECT_EQ("rw-secret", d.dsSNMP.szM2_CommunityString);
  EXPECT_EQ("trap-secret", d.dsSNMP.szT4_CommunityString);
}

TEST(ConfigParser, ConsoleTableHasEachKeyOnceAndFourDigitKeys) {
  std::set<std::string> seen;
  for (const auto& e : config::ConsoleKeyTable()) {
    EXPECT_EQ(4u, e.key.size()) << e.key;
    EXPECT_TRUE(seen.insert(e.key).second) << "duplicate " << e.key;
  }
  for (const char* k : {"0040", "0504", "0514", "0100", "0243", "6011", "6043", "6141", "6144"}) {
    EXPECT_TRUE(seen.count(k)) << k;
  }
}

// The engine fills any record through its own table.
struct OtherRecord {
  std::string name;
  std::int32_t time = 0;
  char code[5] = {};
  std::vector<std::string> list;
};

TEST(ConfigParser, EngineIsGenericOverTheRecord) {
  using R = OtherRecord;
  const config::KeyTable<R> table = {
      {"0001", config::SetS<R>([](R& r) -> std::string& { return r.name; })},
      {"5002", config::SetIRange<R>([](R& r) -> std::int32_t& { return r.time; }, 0, 255)},
      {"7007", config::SetHX<R>([](R& r) -> char(&)[5] { return r.code; })},
      {"7011",
       [](std::string_view v, R& r) {
         for (std::size_t i = 0; i + 12 <= v.size(); i += 12) r.list.emplace_back(v.substr(i, 12));
         return config::ValueStatus::kStored;
       }},
  };
  R r;
  const std::string text = "0001 :BOX1\r\n5002 :17\n7007 :ABCDEFG\n7011 :0000AAAA11110000BBBB2222x\n";
  EXPECT_EQ(0, config::ParseWithTable(text.data(), static_cast<int>(text.size()), &r, table, {}));
  EXPECT_EQ("BOX1", r.name);
  EXPECT_EQ(17, r.time);
  EXPECT_EQ(std::string("ABCD"), r.code);
  EXPECT_EQ((std::vector<std::string>{"0000AAAA1111", "0000BBBB2222"}), r.list);
  const std::string bad = "5002 :300\n";
  EXPECT_EQ(-100, config::ParseWithTable(bad.data(), static_cast<int>(bad.size()), &r, table, {}));
}

}  // namespace

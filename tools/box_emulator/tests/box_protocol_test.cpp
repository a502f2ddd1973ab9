// The emulator through a bare TCP client: framing, the device-information block, the
// configuration text, staged writes and restarts, names, power.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <set>

#include "tools/box_emulator/box_emulator.h"
#include "tools/box_emulator/tests/raw_client.h"

namespace {

using box_emulator::Box;
using box_emulator::BoxOptions;
using namespace std::chrono_literals;
using box_test::Request;

BoxOptions Quick() {
  BoxOptions o;
  o.restartWindow = 0ms;
  return o;
}

std::map<std::string, std::string> ParseLines(const std::string& text) {
  std::map<std::string, std::string> m;
  std::size_t pos = 0;
  while (pos < text.size()) {
    const std::size_t end = text.find("\r\n", pos);
    EXPECT_NE(end, std::string::npos) << "line without CR LF";
    if (end == std::string::npos) break;
    const std::string line = text.substr(pos, end - pos);
    EXPECT_GE(line.size(), 6u);
    EXPECT_EQ(line.substr(4, 2), " :") << line;
    m[line.substr(0, 4)] = line.substr(6);
    pos = end + 2;
  }
  return m;
}

std::string K(int n) {
  char b[8];
  std::snprintf(b, sizeof b, "%04d", n);
  return b;
}

TEST(BoxProtocol, MultiChunkRequestIsReassembledAndAnswered) {
  Box box(Quick());
  // 385 + bytes of configuration lines go out as 384 + rest; the box must join them.
  std::string text = "0001 :Office\n0101 :" + std::string(400, 'x') + "\n";
  const std::string wire = box_test::Frame(text);
  const auto reply = box_test::ParseReply(box_test::Exchange(box.Address(), wire));
  ASSERT_EQ(reply.chunks.size(), 1u);
  EXPECT_EQ(reply.chunks[0].error, 0);
  EXPECT_EQ(reply.chunks[0].more, 0);
  EXPECT_TRUE(reply.chunks[0].data.empty());
  ASSERT_TRUE(box.WaitForRequests(1, 10s));
  const auto req = box.Requests().at(0);
  EXPECT_TRUE(req.wellFormed);
  EXPECT_EQ(req.data, text);
  EXPECT_EQ(req.wire, wire);
  EXPECT_EQ(req.chunkSizes, (std::vector<std::size_t>{384, text.size() - 384}));
  EXPECT_EQ(box.PendingSetting("0101"), std::string(400, 'x'));
}

TEST(BoxProtocol, MalformedRequestsCloseTheConnectionWithoutReply) {
  Box box(Quick());
  const std::string tooLong = std::string("@\0\x81\x01", 4) + std::string(385, 'a');
  const struct {
    const char* what;
    std::string bytes;
  } cases[] = {
      {"no marker", std::string("#\0\x06\0" "9007:\n", 10)},
      {"chunk over 384 bytes", tooLong},
      {"more flag 2", std::string("@\x02\x06\0" "9007:\n", 10)},
      {"empty chunk", std::string("@\0\0\0", 4)},
      {"truncated chunk", std::string("@\0\x06\0" "90", 6)},
      {"more chunks promised, none sent", std::string("@\x01\x06\0" "9007:\n", 10)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const int fd = box_test::Connect(box.Address());
    ASSERT_GE(fd, 0);
    box_test::SendRaw(fd, c.bytes);
    ::shutdown(fd, SHUT_WR);  // the truncated cases end here
    EXPECT_EQ(box_test::ReadAll(fd), "");
    ::close(fd);
  }
  ASSERT_TRUE(box.WaitForRequests(std::size(cases), 10s));
  for (const auto& r : box.Requests()) EXPECT_FALSE(r.wellFormed);
  // The box is unharmed.
  EXPECT_EQ(Request(box.Address(), "9007:\n").Data().size(), 164u);
}

TEST(BoxProtocol, DeviceInformationBlockLayout) {
  BoxOptions o = Quick();
  o.identity.hardwareAddress = {0x00, 0x40, 0x01, 0xAB, 0xCD, 0xEF};
  o.randomHardwareAddress = false;
  Box box(o);
  box.SetModelCode(0x00, 0xB5, 0x00);
  box.SetPortCounts(2, 1, 1);
  box.SetCapabilities(0x80, 0x2A);
  box.SetFunctionFlags(0x02);
  box.SetFirmware(0x03, 0x07);
  box.SetDeviceName("Office");

  const auto reply = Request(box.Address(), "9007:\n");
  ASSERT_FALSE(reply.closedEarly);
  const std::string b = reply.Data();
  ASSERT_EQ(b.size(), 164u);
  auto at = [&](int i) { return static_cast<unsigned char>(b[static_cast<std::size_t>(i)]); };
  EXPECT_EQ(at(4), 0x00);
  EXPECT_EQ(at(5), 0xB5);
  EXPECT_EQ(at(6), 0x00);
  EXPECT_EQ(at(9) & 0x0F, 1);   // serial ports
  EXPECT_EQ(at(10) >> 6, 2);    // parallel ports
  EXPECT_EQ(at(11) >> 6, 1);    // USB ports
  EXPECT_EQ(at(42), 0x80);
  EXPECT_EQ(at(43), 0x2A);
  EXPECT_EQ(at(47) & 0x02, 0x02);
  EXPECT_EQ(at(50), 0x03);
  EXPECT_EQ(at(51), 0x07);
  EXPECT_EQ(std::string(b.c_str() + 56), "Office");
  EXPECT_EQ(std::string(b.c_str() + 76), "KVABCDEF");
  EXPECT_EQ(box.DefaultName(), "KVABCDEF");
  for (int i = 96; i < 164; ++i) EXPECT_EQ(at(i), 0) << "byte " << i;  // the client's part
}

TEST(BoxProtocol, DefaultNamesAreTwoLettersAndSixHexDigits) {
  Box a, b;
  EXPECT_NE(a.Address(), b.Address());
  for (const Box* box : {&a, &b}) {
    const std::string n = box->DefaultName();
    ASSERT_EQ(n.size(), 8u);
    EXPECT_EQ(n.substr(0, 2), "KV");
    EXPECT_EQ(n.find_first_not_of("0123456789ABCDEF", 2), std::string::npos) << n;
    // The device name it starts with differs from the default name (factory defaults make them
    // equal again).
    EXPECT_EQ(box->DeviceName(), "PS-" + n.substr(2));
  }
}

TEST(BoxProtocol, ConfigurationTextHoldsEveryKey) {
  Box box(Quick());
  std::vector<std::string> keys = {"0001", "0011", "0012", "0013", "0014", "0019"};
  for (int k = 30; k <= 34; ++k) keys.push_back(K(k));
  for (int k = 40; k <= 43; ++k) keys.push_back(K(k));
  for (int k = 501; k <= 504; ++k) keys.push_back(K(k));
  for (int k = 511; k <= 514; ++k) keys.push_back(K(k));
  for (int n = 0; n < 8; ++n)
    for (int j = 0; j < 4; ++j) keys.push_back(K(100 + 20 * n + j));
  for (int k : {104, 124, 144, 2000, 2001, 2002, 2003, 2004, 2101, 2102, 2103, 2110, 2111, 2501,
                2502, 2503, 2504, 3000, 3001, 3002, 3003, 3004, 3101, 3102, 3103, 3104, 3111, 4000,
                4001, 4002, 4010, 4011, 4020, 4021, 4022, 5000, 5001, 5002, 6000, 6001, 6151, 9200,
                9201, 9202})
    keys.push_back(K(k));
  for (int k = 4100; k <= 4109; ++k) keys.push_back(K(k));
  for (int n = 1; n <= 4; ++n) {
    for (int j = 1; j <= 3; ++j) keys.push_back(K(6000 + 10 * n + j));
    for (int j = 1; j <= 4; ++j) keys.push_back(K(6100 + 10 * n + j));
  }
  for (int k = 7000; k <= 7010; ++k) keys.push_back(K(k));
  for (int k = 7012; k <= 7014; ++k) keys.push_back(K(k));

  const auto reply = Request(box.Address(), "9100:\r\n");
  ASSERT_FALSE(reply.closedEarly);
  const auto lines = ParseLines(reply.Data());
  for (const auto& k : keys) EXPECT_TRUE(lines.count(k)) << "key " << k;
  EXPECT_EQ(lines.at("0001"), box.DeviceName());
  EXPECT_EQ(lines.at("4000"), box.Address());
  EXPECT_EQ(lines.at("0501"), "ACK&BUSY");
}

TEST(BoxProtocol, WrittenConfigurationTakesEffectAtRestart) {
  Box box(Quick());
  const std::string name = box.DeviceName();
  auto reply = Request(box.Address(),
                       "0001 :Office\n0011 :DISABLE\n0502 :ACK\n0501 :BUSY\n4001 :10.0.0.1\n"
                       "0999 :ignored\n0103 :YES\n");
  ASSERT_EQ(reply.chunks.size(), 1u);
  EXPECT_EQ(reply.chunks[0].error, 0);
  // Not yet: the running configuration still reports the old values.
  auto before = ParseLines(Request(box.Address(), "9100:\r\n").Data());
  EXPECT_EQ(before.at("0001"), name);
  EXPECT_EQ(before.at("4001"), "127.0.0.1");  // the first host of the box's own network

  reply = Request(box.Address(), "9002:\n");
  ASSERT_EQ(reply.chunks.size(), 1u);
  EXPECT_EQ(reply.chunks[0].error, 0);
  ASSERT_TRUE(box.WaitForRestarts(1, 10s));

  const auto after = ParseLines(Request(box.Address(), "9100:\r\n").Data());
  EXPECT_EQ(after.at("0001"), "Office");
  EXPECT_EQ(after.at("0011"), "DISABLE");
  EXPECT_EQ(after.at("0502"), "ACK&BUSY");  // written "ACK" is reported in the box's own word
  EXPECT_EQ(after.at("0501"), "BUSY");
  EXPECT_EQ(after.at("4001"), "10.0.0.1");
  EXPECT_EQ(after.at("0103"), "YES");
  EXPECT_FALSE(after.count("0999"));
  const std::string block = Request(box.Address(), "9007:\n").Data();
  EXPECT_EQ(std::string(block.c_str() + 56), "Office");
  EXPECT_EQ(std::string(block.c_str() + 76), box.DefaultName());  // the default name never changes
}

TEST(BoxProtocol, RequestsDuringTheRestartWindowAreClosedUnanswered) {
  BoxOptions o;
  o.restartWindow = 10min;  // ended by the test
  Box box(o);
  Request(box.Address(), "0001 :Later\n");
  EXPECT_EQ(Request(box.Address(), "9002:\n").chunks.size(), 1u);
  EXPECT_TRUE(box.IsRestarting());

  const int fd = box_test::Connect(box.Address());
  ASSERT_GE(fd, 0) << "the box keeps its port while restarting";
  box_test::SendRaw(fd, box_test::Frame("9007:\n"));
  ASSERT_TRUE(box.WaitForRequests(3, 10s));
  EXPECT_TRUE(box.Requests().back().duringRestart);
  char c;
  EXPECT_EQ(::recv(fd, &c, 1, MSG_DONTWAIT), -1);  // silent

  box.EndRestartWindow();
  EXPECT_EQ(box_test::ReadAll(fd), "");  // closed without a reply
  ::close(fd);
  EXPECT_EQ(box.DeviceName(), "Later");
  EXPECT_EQ(Request(box.Address(), "9007:\n").Data().size(), 164u);
}

TEST(BoxProtocol, NewLoopbackAddressMovesTheBoxAtRestart) {
  Box box(Quick());
  const std::string oldAddress = box.Address();
  // A free address of the emulator's range: another box takes one and gives it back.
  std::string newAddress;
  {
    Box probe(Quick());
    newAddress = probe.Address();
  }
  Request(oldAddress, "4000 :" + newAddress + "\n");
  Request(oldAddress, "9002:\n");
  ASSERT_TRUE(box.WaitForRestarts(1, 10s));
  EXPECT_EQ(box.Address(), newAddress);
  EXPECT_EQ(box_test::Connect(oldAddress), -1);
  EXPECT_EQ(Request(newAddress, "9007:\n").Data().size(), 164u);
}

TEST(BoxProtocol, FactoryDefaultIsRestoredAtRestart) {
  Box box(Quick());
  box.SetPassword("secret");
  box.SetSetting("5000", "SALES");
  Request(box.Address(), "9006:\n");
  EXPECT_EQ(box.Setting("5000"), "SALES");
  Request(box.Address(), "9002:\n");
  ASSERT_TRUE(box.WaitForRestarts(1, 10s));
  EXPECT_EQ(box.Setting("5000"), "WORKGROUP");
  EXPECT_EQ(box.Password(), "");
  EXPECT_EQ(box.Setting("4000"), box.Address());
}

TEST(BoxProtocol, TextCommandsAndTestPages) {
  BoxOptions options = Quick();
  options.identity.modelCode = {0x01, 0x02, 0x00};  // three parallel ports and a serial port
  options.identity.parallelPorts = 3;
  options.identity.serialPorts = 1;
  Box box(options);
  box.SetSetting("0041", "LPT2");
  box.SetPortStatus(2, {"Printing", "On-Line", "2048", "alice"});
  const std::string status = Request(box.Address(), "9020: \n").Data();
  EXPECT_NE(status.find("(P1)STATE:Idle\r\nPRINTER STATUS:On-Line\r\n"), std::string::npos) << status;
  EXPECT_NE(status.find("(LPT2)STATE:Printing\r\nPRINTER STATUS:On-Line\r\nBYTES SERVICED:2048\r\n"
                        "OCCUPIED BY:alice\r\n(P3)STATE:"),
            std::string::npos)
      << status;

  const std::string info = Request(box.Address(), "9010:\n").Data();
  EXPECT_NE(info.find(box.DefaultName()), std::string::npos);

  for (const char* page : {"9011:\n", "9012:\n", "9014:\n", "9013:\n"})
    EXPECT_EQ(Request(box.Address(), page).chunks.at(0).error, 0);
  EXPECT_EQ(box.TestPagesPrinted(), (std::vector<int>{1, 2, 3, 101}));

  const auto unknown = Request(box.Address(), "9876:\n");
  ASSERT_EQ(unknown.chunks.size(), 1u);
  EXPECT_NE(unknown.chunks[0].error, 0);
}

TEST(BoxProtocol, ScriptedPortStatesAndCannedReplies) {
  Box box(Quick());
  box.WithCore([](box_emulator::BoxCore& c) {
    c.ScriptPortStatus(1, {{"Printing", "On-Line", "1", "bob"}, {"Idle", "Paper Out", "0", ""}});
    c.SetCommandReply(9876, std::string(3000, 'z'));
    c.SetCommandReply(9010, "canned\n");
  });
  EXPECT_NE(Request(box.Address(), "9020: \n").Data().find("(P1)STATE:Printing\r\nPRINTER STATUS:On-Line\r\n"),
            std::string::npos);
  for (int i = 0; i < 2; ++i) {  // the last state stays
    EXPECT_NE(Request(box.Address(), "9020: \n").Data().find("(P1)STATE:Idle\r\nPRINTER STATUS:Paper Out\r\n"),
              std::string::npos);
  }
  EXPECT_EQ(Request(box.Address(), "9876:\n").Data(), std::string(3000, 'z'));
  EXPECT_EQ(Request(box.Address(), "9010:\n").Data(), "canned\n");
}

TEST(BoxProtocol, RangesWithFewerThanTwoBounds) {
  box_emulator::PjlPrinter p;
  p.Define({"COPIES", "1", false, false, {}});
  p.Define({"FORMLINES", "60", false, false, {"60"}});
  p.AnswerJob("@PJL DEFAULT COPIES = 12345\r\n@PJL DEFAULT FORMLINES = 61\r\n@PJL DEFAULT FORMLINES = 60\r\n");
  EXPECT_EQ(p.defaultsTaken(), (std::vector<std::string>{"COPIES=12345", "FORMLINES=60"}));
  EXPECT_EQ(p.defaultsRefused(), (std::vector<std::string>{"FORMLINES=61"}));
}

TEST(BoxProtocol, ExtendedNameBlockOnlyWhenTheFunctionBitIsSet) {
  Box box(Quick());
  EXPECT_NE(Request(box.Address(), "9037:\n").chunks.at(0).error, 0);
  box.SetFunctionFlags(0x02);
  box.SetExtendedName("Front Desk Printer");
  const std::string block = Request(box.Address(), "9037:\n").Data();
  ASSERT_EQ(block.size(), 144u);
  EXPECT_EQ(std::string(block.c_str() + 96), "Front Desk Printer");
}

TEST(BoxProtocol, SwitchedOffBoxRefusesConnections) {
  Box box(Quick());
  box.SwitchOff();
  EXPECT_EQ(box_test::Connect(box.Address()), -1);
  ASSERT_TRUE(box.SwitchOn());
  EXPECT_EQ(Request(box.Address(), "9007:\n").Data().size(), 164u);
}

TEST(BoxProtocol, SpecificAddressTakenIsReported) {
  Box a(Quick());
  BoxOptions o = Quick();
  o.address = a.Address();
  EXPECT_THROW({ Box b(o); }, std::runtime_error);
}

// A client that reads a long reply slowly holds only its own connection: the box answers others
// meanwhile, and the slow client still gets every byte.
TEST(BoxProtocol, SlowReaderDoesNotHoldUpOtherClients) {
  Box box(Quick());
  const std::string big(4 << 20, 'v');  // far more than the sockets' buffers take at once
  ASSERT_TRUE(box.SetSetting("0101", big));
  const int slow = box_test::Connect(box.Address());
  ASSERT_GE(slow, 0);
  box_test::SendRaw(slow, box_test::Frame("9100:\r\n"));
  ASSERT_TRUE(box.WaitForRequests(1, 10s));
  EXPECT_EQ(Request(box.Address(), "9007:\n").Data().size(), 164u);
  const auto reply = box_test::ParseReply(box_test::ReadAll(slow));
  ::close(slow);
  EXPECT_FALSE(reply.closedEarly);
  EXPECT_EQ(ParseLines(reply.Data())["0101"], big);
}

}  // namespace

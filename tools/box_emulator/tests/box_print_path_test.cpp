// The emulator's print path, seen from a bare NetBIOS session client: the session is set up by
// hand (TCP connect, SESSION REQUEST) and the print messages are built from their byte layout.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "platform/netbios/nb_peer.h"
#include "platform/netbios/nb_wire.h"
#include "platform/netbios/tests/nb_test_env.h"
#include "platform/test_support/temp_root.h"
#include "tools/box_emulator/box_emulator.h"
#include "tools/box_emulator/netbios_front.h"
#include "tools/box_emulator/print_path.h"

namespace {

namespace nb = platform::netbios;
using Bytes = std::vector<std::uint8_t>;

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

class PrintSession {
 public:
  PrintSession(const std::string& address, std::uint16_t port, const std::string& name16) {
    fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(port);
    ::inet_pton(AF_INET, address.c_str(), &sa.sin_addr);
    if (::connect(fd_, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0) return;
    nb::wire::Name called{}, calling{};
    std::memcpy(called.data(), name16.data(), 16);
    std::memcpy(calling.data(), "TESTER          ", 16);
    const Bytes request = nb::wire::BuildSessionRequest(called, calling);
    if (::send(fd_, request.data(), request.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(request.size())) return;
    std::uint8_t head[4];
    ok_ = ::recv(fd_, head, 4, MSG_WAITALL) == 4 && head[0] == 0x82;
  }
  ~PrintSession() {
    if (fd_ >= 0) ::close(fd_);
  }
  bool ok() const { return ok_; }
  bool Send(std::uint8_t command, std::uint8_t port, const std::string& data = "") {
    Bytes m = {command, 0, static_cast<std::uint8_t>((data.size() + 1) & 0xFF),
               static_cast<std::uint8_t>((data.size() + 1) >> 8), port};
    m.insert(m.end(), data.begin(), data.end());
    return nb::PeerNode::SendSessionMessage(fd_, m.data(), m.size());
  }
  bool SendRaw(const Bytes& m) { return nb::PeerNode::SendSessionMessage(fd_, m.data(), m.size()); }
  // The next message: 1 one came, 0 the box closed the session, -1 nothing within 5 s.
  int Receive(Bytes& out) { return nb::PeerNode::ReceiveSessionMessage(fd_, out, 5000); }
  Bytes Ask(std::uint8_t command, std::uint8_t port, const std::string& data = "") {
    Bytes reply;
    if (!Send(command, port, data) || Receive(reply) != 1) return {};
    return reply;
  }

 private:
  int fd_ = -1;
  bool ok_ = false;
};

class BoxPrintPath : public ::testing::Test {
 protected:
  void SetUp() override {
    box_emulator::BoxOptions options;
    options.restartWindow = std::chrono::milliseconds(0);
    box_ = std::make_unique<box_emulator::Box>(options);
    box_->SetDeviceName("PRINTBOX");
    box_emulator::NetbiosFrontOptions nbo = nbtest::OnPorts(box_emulator::NetbiosFrontOptions{}, ports_);
    box_emulator::PrintPathOptions po;
    po.sinkDirectory = root_.path() + "/sinks";
    po.bufferSize = 1030;
    path_ = std::make_unique<box_emulator::PrintPath>(po);
    front_ = std::make_unique<box_emulator::NetbiosFront>(nbo);
    front_->SetPrintPath(path_.get());
    ASSERT_TRUE(front_->AddBox(box_.get()));
  }
  std::unique_ptr<PrintSession> Open() {
    return std::make_unique<PrintSession>(box_->Address(), ports_.ssn, box_emulator::NetbiosNameOf("PRINTBOX"));
  }
  std::string Sink(int port) { return ReadFile(path_->SinkPath(box_.get(), port)); }

  platform::testing::TempRoot root_;
  nbtest::Ports ports_;
  std::unique_ptr<box_emulator::Box> box_;
  std::unique_ptr<box_emulator::PrintPath> path_;
  std::unique_ptr<box_emulator::NetbiosFront> front_;
};

TEST_F(BoxPrintPath, OpenDataStatusEndAreEightByteRepliesAndTheSinkHoldsTheData) {
  auto s = Open();
  ASSERT_TRUE(s->ok());
  Bytes r = s->Ask(0x50, 1);
  ASSERT_EQ(r.size(), 8u);
  EXPECT_EQ(r[0], 0x50);
  EXPECT_EQ(r[2], 0);
  EXPECT_EQ(r[6] | (r[7] << 8), 1030);
  r = s->Ask(0x51, 1, "hello ");
  ASSERT_EQ(r.size(), 8u);
  EXPECT_EQ(r[0], 0x51);
  EXPECT_EQ(r[2], 0);
  EXPECT_EQ(r[6], 0);
  EXPECT_EQ(r[7], 0);
  r = s->Ask(0x51, 1, std::string("world\0\x1b", 7));
  ASSERT_EQ(r.size(), 8u);
  r = s->Ask(0x54, 1);
  ASSERT_EQ(r.size(), 8u);
  EXPECT_EQ(r[0], 0x54);
  EXPECT_EQ(r[7], 0);
  r = s->Ask(0x52, 1);
  ASSERT_EQ(r.size(), 8u);
  EXPECT_EQ(r[0], 0x52);
  EXPECT_EQ(r[2], 0);
  EXPECT_EQ(Sink(1), std::string("hello world\0\x1b", 13));
  EXPECT_EQ(Sink(0), "");  // every port has its own sink
}

TEST_F(BoxPrintPath, ASecondSessionCannotOpenAPortInUse) {
  auto a = Open();
  auto b = Open();
  ASSERT_TRUE(a->ok() && b->ok());
  EXPECT_EQ(a->Ask(0x50, 0).at(2), 0);
  EXPECT_NE(b->Ask(0x50, 0).at(2), 0);
  EXPECT_EQ(b->Ask(0x50, 1).at(2), 0);  // another port is free
  EXPECT_NE(b->Ask(0x51, 0, "x").at(2), 0);  // data on a port it did not open is refused
  EXPECT_EQ(a->Ask(0x52, 0).at(2), 0);
  EXPECT_EQ(b->Ask(0x50, 0).at(2), 0);
}

TEST_F(BoxPrintPath, FaultScripts) {
  // Paper out after 10 bytes: the message that crosses the mark is taken, later ones are refused.
  box_emulator::PrintPortFault fault;
  fault.paperOutAfter = 10;
  path_->SetFault(box_.get(), 0, fault);
  auto s = Open();
  ASSERT_TRUE(s->ok());
  ASSERT_EQ(s->Ask(0x50, 0).at(2), 0);
  Bytes r = s->Ask(0x51, 0, "0123456");
  EXPECT_EQ(r.at(2), 0);
  EXPECT_EQ(r.at(7), 0);
  r = s->Ask(0x51, 0, "789ab");
  EXPECT_EQ(r.at(2), 0);
  EXPECT_EQ(r.at(7), 2);
  r = s->Ask(0x51, 0, "cd");
  EXPECT_NE(r.at(2), 0);
  EXPECT_EQ(r.at(7), 2);
  EXPECT_EQ(s->Ask(0x54, 0).at(7), 2);
  // Off-line.
  fault = {};
  fault.offline = true;
  path_->SetFault(box_.get(), 0, fault);
  EXPECT_EQ(s->Ask(0x54, 0).at(7), 1);
  r = s->Ask(0x51, 0, "cd");
  EXPECT_NE(r.at(2), 0);
  EXPECT_EQ(r.at(7), 1);
  // Busy every second message, then the unsolicited ready.
  fault = {};
  fault.busyEvery = 2;
  fault.busyMs = 50;
  path_->SetFault(box_.get(), 0, fault);
  EXPECT_EQ(s->Ask(0x51, 0, "cd").at(6), 0);
  r = s->Ask(0x51, 0, "ef");
  EXPECT_EQ(r.at(2), 0);
  EXPECT_EQ(r.at(6), 1);
  Bytes ready;
  ASSERT_EQ(s->Receive(ready), 1);
  ASSERT_EQ(ready.size(), 8u);
  EXPECT_EQ(ready[0], 0x51);
  EXPECT_EQ(ready[6], 0);
  // The box prints a message's data after its reply: the next exchange comes after that.
  EXPECT_EQ(s->Ask(0x54, 0).at(7), 0);
  EXPECT_EQ(Sink(0), "0123456789abcdef");
  // Refusing the open twice, and dropping the session at the first data after 16 bytes.
  fault = {};
  fault.refuseOpen = 2;
  fault.dropAfter = 16;
  path_->SetFault(box_.get(), 0, fault);
  EXPECT_EQ(s->Ask(0x52, 0).at(2), 0);
  auto t = Open();
  ASSERT_TRUE(t->ok());
  EXPECT_NE(t->Ask(0x50, 0).at(2), 0);
  EXPECT_NE(t->Ask(0x50, 0).at(2), 0);
  EXPECT_EQ(t->Ask(0x50, 0).at(2), 0);
  ASSERT_TRUE(t->Send(0x51, 0, "lost"));
  Bytes none;
  EXPECT_EQ(t->Receive(none), 0);
  EXPECT_EQ(Sink(0), "0123456789abcdef");
  // The port is free again for the next session, and the drop happened once.
  auto u = Open();
  ASSERT_TRUE(u->ok());
  EXPECT_EQ(u->Ask(0x50, 0).at(2), 0);
  EXPECT_EQ(u->Ask(0x51, 0, "gh").at(2), 0);
  EXPECT_EQ(u->Ask(0x54, 0).at(7), 0);
  EXPECT_EQ(Sink(0), "0123456789abcdefgh");
}

TEST_F(BoxPrintPath, MalformedMessagesEndTheSessionAndFreeThePort) {
  // A length that does not match the message, a message shorter than a header, an unknown command.
  for (const Bytes& bad : {Bytes{0x51, 0, 9, 0, 2, 'x'}, Bytes{0x50, 0}, Bytes{0x53, 0, 1, 0, 2}}) {
    auto s = Open();
    ASSERT_TRUE(s->ok());
    ASSERT_EQ(s->Ask(0x50, 2).at(2), 0);
    ASSERT_TRUE(s->SendRaw(bad));
    Bytes none;
    EXPECT_EQ(s->Receive(none), 0);
  }
  EXPECT_EQ(Sink(2), "");
}

}  // namespace

// The wizard's NetBIOS exchange and NetBIOS query end to end: the NetBIOS stand-in (its local
// service and NetBIOS over TCP/IP on private loopback ports) and emulated boxes that answer as
// NetBIOS nodes of their own.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "device_client/access/ncb.h"
#include "platform/clock.h"
#include "platform/netbios/tests/nb_test_env.h"
#include "platform/paths.h"
#include "platform/profile.h"
#include "platform/test_support/temp_root.h"
#include "tools/box_emulator/box_emulator.h"
#include "tools/box_emulator/netbios_front.h"
#include "wizard_client/device_lists/wizard_lists.h"
#include "wizard_client/transport/wizard_transport.h"

namespace {

// The call names of the datagrams sent, for the group-name check.
std::mutex g_mu;
std::vector<std::string> g_datagramNames;

std::uint8_t RecordingNetbios(NCB* ncb) {
  if ((ncb->ncb_command & 0x7F) == NCBDGSEND) {
    std::lock_guard<std::mutex> lock(g_mu);
    g_datagramNames.emplace_back(reinterpret_cast<const char*>(ncb->ncb_callname), 16);
  }
  return Netbios(ncb);
}

class WizardNetbios : public ::testing::Test {
 protected:
  void SetUp() override {
    nbtest::WriteConfig(root_.path(), ports_, {"127.0.0.1"});
    {
      std::lock_guard<std::mutex> lock(g_mu);
      g_datagramNames.clear();
    }
    SetNcbSubmitter(&RecordingNetbios);
    box_emulator::BoxOptions options;
    options.restartWindow = std::chrono::milliseconds(0);
    box_ = std::make_unique<box_emulator::Box>(options);
    box_->SetDeviceName("Wiz-Box");
    box_emulator::NetbiosFrontOptions nb = nbtest::OnPorts(box_emulator::NetbiosFrontOptions{}, ports_);
    front_ = std::make_unique<box_emulator::NetbiosFront>(nb);
    ASSERT_TRUE(front_->AddBox(box_.get(), &index_));
    ASSERT_EQ(wizard::PSInit(TYPE_TCPIP | TYPE_NETBEUI, 20), 0);
  }
  void TearDown() override {
    wizard::PSExit();
    SetNcbSubmitter(nullptr);
    front_.reset();
    box_.reset();
  }

  wizard::DeviceRecord NetbiosRecord() const {
    wizard::DeviceRecord r{};
    const std::string name = box_->DefaultName();
    std::memcpy(r.szName, name.data(), std::min<std::size_t>(name.size(), 19));
    r.iProtocol = TYPE_NETBEUI;
    const std::string device = box_->DeviceName();
    std::memcpy(r.address, device.data(), std::min<std::size_t>(device.size(), 15));
    return r;
  }
  int Send(const wizard::DeviceRecord& r, const std::string& request, std::string* reply) {
    std::vector<char> buffer(10240);
    int length = -1;
    const int rc = wizard::SendRespByRecord(&r, request.data(), static_cast<int>(request.size()),
                                            buffer.data(), &length, static_cast<int>(buffer.size()));
    if (rc == 0 && reply != nullptr) reply->assign(buffer.data(), static_cast<std::size_t>(length));
    return rc;
  }

  platform::testing::TempRoot root_;
  nbtest::Ports ports_;
  platform::FakeClock clock_;
  platform::ScopedClock useClock_{&clock_};
  std::unique_ptr<box_emulator::Box> box_;
  std::unique_ptr<box_emulator::NetbiosFront> front_;
  std::size_t index_ = 0;
};

TEST_F(WizardNetbios, ReadsTheConfigurationAndWaitsTheWizardsTimes) {
  front_->SetChunkSize(index_, 300);
  wizard::DeviceRecord tcp = NetbiosRecord();
  tcp.iProtocol = TYPE_TCPIP;
  std::memset(tcp.address, 0, sizeof tcp.address);
  std::memcpy(tcp.address, box_->Address().data(), box_->Address().size());
  std::string overTcp, overNetbios;
  ASSERT_EQ(Send(tcp, "9100:\r\n", &overTcp), 0);
  ASSERT_EQ(Send(NetbiosRecord(), "9100:\r\n", &overNetbios), 0);
  EXPECT_GT(overNetbios.size(), 1000u);
  EXPECT_EQ(overNetbios, overTcp);

  // A box that takes the request and stays silent: one 5 s receive, then a 3 s pause.
  box_emulator::NetbiosFault silent;
  silent.neverAnswer = true;
  front_->SetFault(index_, silent);
  std::int64_t before = clock_.WaitedMs();
  EXPECT_EQ(Send(NetbiosRecord(), "9007:\n", nullptr), ERR_NETWORK);
  EXPECT_EQ(clock_.WaitedMs() - before, 5000 + 3000);

  // An error byte in a reply chunk.
  box_emulator::NetbiosFault error;
  error.errorChunk = 1;
  front_->SetFault(index_, error);
  EXPECT_EQ(Send(NetbiosRecord(), "9100:\r\n", nullptr), ERR_COMMAND);

  // A box that is gone: three calls, 3 s apart.
  front_->SetFault(index_, {});
  box_->SwitchOff();
  front_->Refresh();
  before = clock_.WaitedMs();
  EXPECT_EQ(Send(NetbiosRecord(), "9007:\n", nullptr), ERR_NETWORK);
  EXPECT_GE(clock_.WaitedMs() - before, 3 * 3000);
}

TEST_F(WizardNetbios, QueryFindsTheBoxUnderTheGroupNameOfTheWizardsSettings) {
  struct Case {
    const char* file;     // where bNBOldName=1 is written (null: nowhere)
    const char* prefix;   // of the group name the query goes to
  };
  for (const Case& c : {Case{nullptr, "WSPS_PSRV_KVX"}, Case{"common.ini", "WSPS_PSRV_KVX"},
                        Case{"Setupwizard.ini", "KVX_"}}) {
    SCOPED_TRACE(c.file == nullptr ? "none" : c.file);
    for (const char* f : {"common.ini", "Setupwizard.ini"}) {
      const std::string ini = platform::JoinPath(platform::WindowsDirectory(), f);
      WritePrivateProfileString("ConnectedProtocol", "bNBOldName",
                                c.file != nullptr && std::strcmp(c.file, f) == 0 ? "1" : "0", ini.c_str());
    }
    {
      std::lock_guard<std::mutex> lock(g_mu);
      g_datagramNames.clear();
    }
    std::vector<wizard::DeviceRecord> records(4);
    int count = 0;
    EXPECT_EQ(wizard::QueryNetBios(records.data(), &count, 4), 1);
    ASSERT_EQ(count, 1);
    EXPECT_EQ(std::string(records[0].szName), box_->DefaultName());
    EXPECT_EQ(records[0].iProtocol, TYPE_NETBEUI);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(records[0].address)), "Wiz-Box");
    std::lock_guard<std::mutex> lock(g_mu);
    ASSERT_FALSE(g_datagramNames.empty());
    EXPECT_EQ(g_datagramNames[0].substr(0, std::strlen(c.prefix)), c.prefix);
  }
}

}  // namespace

// The setup wizard's road through its device-API object, against emulated boxes found in the
// discovery cache: one reached over NetBIOS (a session under its device name), one over TCP/IP.
// Browse, name information, read, password check, the one configuration text of Finish (checked
// as the box received it), restart and reload; the NetBIOS box is renamed, the TCP/IP box moved to
// another address, and the reload after each finds it where it now is.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "device_client/api/tests/api_fixture.h"
#include "device_client/core/scan_cache/scan_cache.h"
#include "platform/netbios/tests/nb_test_env.h"
#include "platform/test_support/temp_root.h"
#include "tools/box_emulator/box_emulator.h"
#include "tools/box_emulator/netbios_front.h"
#include "wizard_client/api/wizard_utility.h"

namespace {

using namespace std::chrono_literals;
using box_emulator::Box;
constexpr std::size_t kLongest = wizard::CPrintServerUtility::kMaxPasswordLength;

box_emulator::BoxOptions WizardBox() {
  box_emulator::BoxOptions o;
  o.restartWindow = 0ms;
  o.identity.namePrefix = "PS";
  return o;
}

void Put(void* field, std::size_t size, const std::string& text) {
  std::memcpy(field, text.data(), std::min(size, text.size()));
}

// The scanner's record of a box: its default name, protocol, address and device-information
// fields.
scan_cache::ScanCacheRecord Cached(const Box& box, int protocol, const std::string& address) {
  scan_cache::ScanCacheRecord r{};
  Put(r.szDefaultName, sizeof r.szDefaultName, box.DefaultName());
  r.iProtocol = protocol;
  Put(r.address, 19, address);  // byte 19: LANA 0 for a NetBIOS record
  Put(r.szLocalAddress, sizeof r.szLocalAddress, "127.0.0.1");
  const auto block = box.DeviceInfoBlock();
  std::copy(block.begin() + 4, block.begin() + 36, r.hardwareId);
  Put(r.szDeviceName, sizeof r.szDeviceName, box.DeviceName());
  return r;
}

std::string Of(const std::list<std::string>& list, std::size_t i) {
  auto it = list.begin();
  std::advance(it, static_cast<long>(std::min(i, list.size())));
  return it == list.end() ? std::string("<none>") : *it;
}

class WizardRoad : public ::testing::Test {
 protected:
  void SetUp() override {
    char cwd[PATH_MAX];
    ASSERT_NE(::getcwd(cwd, sizeof cwd), nullptr);
    oldCwd_ = cwd;
    ASSERT_EQ(::chdir(root_.path().c_str()), 0);
    nbtest::WriteConfig(root_.path(), ports_, {"127.0.0.1"});

    nbBox_ = std::make_unique<Box>(WizardBox());
    nbBox_->SetDeviceName("Wiz-Old");
    nbBox_->SetPassword("secret");
    box_emulator::NetbiosFrontOptions nb = nbtest::OnPorts(box_emulator::NetbiosFrontOptions{}, ports_);
    front_ = std::make_unique<box_emulator::NetbiosFront>(nb);
    ASSERT_TRUE(front_->AddBox(nbBox_.get(), nullptr));
    // The box restarts (a power cycle of the node, on the front's worker) and takes its new
    // NetBIOS name over while the client waits after the restart.
    clock_.onSleep = [this] {
      nbBox_->WaitUntil(
          [this] {
            return nbBox_->IsOn() && nbBox_->Setting("0001") == nbBox_->PendingSetting("0001");
          },
          10s);
      front_->Refresh();
    };

    tcpBox_ = std::make_unique<Box>(WizardBox());
    tcpBox_->SetDeviceName("Wiz-Tcp");
    tcpBox_->SetPassword("secret");

    util_ = std::make_unique<wizard::CPrintServerUtility>();
    ASSERT_EQ(util_->mInitializeLanComponent(TYPE_TCPIP | TYPE_NETBEUI, 20), 0);
    const scan_cache::ScanCacheRecord nbRecord =
        Cached(*nbBox_, TYPE_NETBEUI, nbBox_->DeviceName());
    const scan_cache::ScanCacheRecord tcpRecord = Cached(*tcpBox_, TYPE_TCPIP, tcpBox_->Address());
    ASSERT_TRUE(scan_cache::WriteScanFile("ss_nb.dat", &nbRecord, 1));
    ASSERT_TRUE(scan_cache::WriteScanFile("ss_udp.dat", &tcpRecord, 1));
  }

  void TearDown() override {
    util_.reset();
    front_.reset();
    if (!oldCwd_.empty()) {
      EXPECT_EQ(::chdir(oldCwd_.c_str()), 0);
    }
  }

  // The device-selection page: the browse lists the box, the name information and the whole
  // configuration are read, the empty password is tried before the real one.
  void SelectOnTheRoad(const Box& box, const std::string& shownAddress) {
    const std::string name = box.DefaultName();
    wizard::BrowseLists browse;
    ASSERT_EQ(util_->PS_Browse(&browse, "PS"), 0);
    const auto& names = browse.lists[0];
    const auto at = std::find(names.begin(), names.end(), name);
    ASSERT_NE(at, names.end());
    const auto row = static_cast<std::size_t>(std::distance(names.begin(), at));
    EXPECT_EQ(Of(browse.lists[1], row), box.DeviceName());
    EXPECT_EQ(Of(browse.lists[2], row), "PS-1300 (1 parallel)");
    EXPECT_EQ(Of(browse.lists[3], row), shownAddress);
    EXPECT_EQ(Of(browse.lists[7], row), "127.0.0.1");

    std::string info[4] = {"", "", "unset", "unset"};
    ASSERT_EQ(util_->mGetDeviceNameInformation(name, info), 0);
    EXPECT_EQ(info[0], box.DeviceName());
    EXPECT_EQ(info[1], "TRUE");
    EXPECT_EQ(info[2], "TRUE");
    EXPECT_EQ(info[3], "FALSE");

    wizard::AllConfigurationData unused;
    ASSERT_EQ(util_->mReadDeviceConfiguration(name, &unused), 0);
    EXPECT_EQ(util_->Cached().dsSystem.szDeviceName, box.DeviceName());
    EXPECT_EQ(util_->mVerifyPassword(name, ""), -1);
    EXPECT_EQ(util_->mVerifyPassword(name, "secret"), 0);

    wizard::NetBEUIConfigureData workgroup;
    ASSERT_EQ(util_->mGetNetBEUIConfiguration(name, &workgroup), 0);
    EXPECT_EQ(workgroup.szDomainName, "WORKGROUP");
    config::ProtocolData caps;
    ASSERT_EQ(util_->mGetDeviceProtocol(name, &caps), 0);
    EXPECT_EQ(caps.bWirelessDevice, 0);
  }

  // What the pages collect: name, fixed address, workgroup, wireless settings.
  static wizard::WizardConfigurationData Chosen(const std::string& deviceName,
                                                const std::string& address) {
    wizard::WizardConfigurationData c;
    c.dsSystem.szDeviceName = deviceName;
    c.dsTCPIP.szIPAddress = address;
    c.dsTCPIP.szGatewayAddress = "0.0.0.0";
    c.dsTCPIP.szSubNetworkMaskAddress = "255.0.0.0";
    c.dsNetBEUI.szDomainName = "OFFICE";
    c.dsNetBEUI.sz5104 = "B4";
    c.dsWireless.szSSID = "LOBBY-NET";
    c.dsWireless.iChannel = 6;
    c.dsWireless.iKeyLength = 5;
    std::strcpy(c.dsWireless.szKey1, "0A1B2C3D4E");
    c.dsWireless.iAuthentication = 1;
    c.dsNetware.szOperationMode = "PS";  // no NetWare pages: not written
    return c;
  }

  static std::string ExpectedText(const std::string& deviceName, const std::string& address) {
    return "0001 :" + deviceName + "\n4000 :" + address +
           "\n4001 :0.0.0.0\n4002 :255.0.0.0\n4020 :Disable\n4021 :Disable\n4022 :Disable\n"
           "5000 :OFFICE\n5003 :\n5101 :\n5102 :\n5104 :B4\n5103 :\n"
           "7000 :LOBBY-NET\n7002 :6\n7003 :Disable\n7004 :5\n7005 :0\n7006 :0A1B2C3D4E\n"
           "7007 :\n7008 :\n7009 :\n7012 :1\n7013 :0\n";
  }

  // The requests the box handled from the last configuration text on, in order, over whichever
  // transport they came.
  static std::vector<std::string> FromConfigurationText(Box& box) { return box.HandledFromLast("0001 :"); }

  platform::testing::TempRoot root_;
  std::string oldCwd_;
  nbtest::Ports ports_;
  api_test::BoxAwareClock clock_;
  platform::ScopedClock useClock_{&clock_};
  std::unique_ptr<Box> nbBox_;
  std::unique_ptr<box_emulator::NetbiosFront> front_;
  std::unique_ptr<Box> tcpBox_;
  std::unique_ptr<wizard::CPrintServerUtility> util_;
};

TEST_F(WizardRoad, NetbiosBoxIsRenamedAndReadAgainUnderItsNewName) {
  const std::string name = nbBox_->DefaultName();
  // A NetBIOS record holds no IP address: the browse asks the box for it.
  SelectOnTheRoad(*nbBox_, nbBox_->Address());
  const std::string address = nbBox_->Address();
  const std::int64_t before = clock_.WaitedMs();

  const wizard::WizardConfigurationData chosen = Chosen("Wiz-New", address);
  ASSERT_EQ(util_->mSetWizardConfiguration(name, &chosen, 2), 0);

  const std::vector<std::string> received = FromConfigurationText(*nbBox_);
  ASSERT_EQ(received.size(), 4u);
  EXPECT_EQ(received[0], ExpectedText("Wiz-New", address));
  EXPECT_EQ(received[1], "9002:\n");
  EXPECT_EQ(received[2], "9100:\r\n");  // called as "Wiz-New": the old name is gone
  EXPECT_EQ(received[3], "9007:\n");
  EXPECT_GE(clock_.WaitedMs() - before, 800);
  EXPECT_EQ(nbBox_->DeviceName(), "Wiz-New");
  EXPECT_EQ(nbBox_->Setting("5000"), "OFFICE");
  EXPECT_EQ(nbBox_->Setting("5104"), "B4");
  EXPECT_EQ(util_->Cached().dsSystem.szDeviceName, "Wiz-New");
  EXPECT_EQ(util_->LastDeviceName(), name);
  EXPECT_EQ(util_->mQueryProtocol(name), TYPE_NETBEUI);
}

TEST_F(WizardRoad, TcpBoxMovesToItsNewAddressAndIsReadThere) {
  const std::string name = tcpBox_->DefaultName();
  SelectOnTheRoad(*tcpBox_, tcpBox_->Address());
  std::string newAddress;
  {
    Box probe(WizardBox());  // a free address of the emulator's range
    newAddress = probe.Address();
  }
  const std::string oldAddress = tcpBox_->Address();
  tcpBox_->ClearRequests();

  const wizard::WizardConfigurationData chosen = Chosen("Wiz-Tcp", newAddress);
  ASSERT_EQ(util_->mSetWizardConfiguration(name, &chosen, 2), 0);
  const std::vector<std::string> received = FromConfigurationText(*tcpBox_);
  ASSERT_EQ(received.size(), 4u);
  EXPECT_EQ(received[0], ExpectedText("Wiz-Tcp", newAddress));
  EXPECT_EQ(received[1], "9002:\n");
  EXPECT_EQ(received[2], "9100:\r\n");
  EXPECT_EQ(tcpBox_->Address(), newAddress);
  EXPECT_NE(oldAddress, newAddress);
  EXPECT_EQ(util_->Cached().dsTCPIP.szIPAddress, newAddress);

  // Every later call goes to the new address too; the same name again is no rename.
  std::string ip;
  ASSERT_EQ(util_->mGetDeviceIPAddress(name, ip), 0);
  EXPECT_EQ(ip, newAddress);
  ASSERT_EQ(util_->mSetWizardConfiguration(name, &chosen, 2), 0);
  EXPECT_EQ(FromConfigurationText(*tcpBox_).size(), 4u);
  EXPECT_EQ(util_->mQueryProtocol(name), TYPE_TCPIP);
}

TEST_F(WizardRoad, BrowseKeepsTheNamesThatBeginWithTheFilter) {
  struct Case {
    const char* filter;
    std::size_t kept;
  };
  const std::string one = nbBox_->DefaultName();
  for (const Case& c :
       {Case{"PS", 2}, Case{"", 2}, Case{"*", 2}, Case{"S", 0}, Case{one.c_str(), 1}}) {
    SCOPED_TRACE(c.filter);
    wizard::BrowseLists browse;
    browse.lists[6] = {"untouched"};
    ASSERT_EQ(util_->PS_Browse(&browse, c.filter), 0);
    EXPECT_EQ(browse.lists[0].size(), c.kept);
    EXPECT_EQ(browse.lists[3].size(), c.kept);
    EXPECT_EQ(browse.lists[6].size(), 1u);
  }
  EXPECT_EQ(util_->PS_Browse(nullptr, ""), -2);
}

TEST_F(WizardRoad, RefusedValuesSendNothing) {
  const std::string name = tcpBox_->DefaultName();
  tcpBox_->ClearRequests();
  struct Case {
    const char* what;
    void (*spoil)(wizard::WizardConfigurationData&);
    int mode;
  };
  const Case cases[] = {
      {"empty gateway",
       [](wizard::WizardConfigurationData& c) { c.dsTCPIP.szGatewayAddress.clear(); }, 2},
      {"switch 2", [](wizard::WizardConfigurationData& c) { c.dsTCPIP.bAutoAddress1 = 2; }, 2},
      {"empty name", [](wizard::WizardConfigurationData& c) { c.dsSystem.szDeviceName.clear(); }, 2},
      {"name with a line break",
       [](wizard::WizardConfigurationData& c) { c.dsSystem.szDeviceName = "A\n9006:"; }, 2},
      {"NetWare mode empty",
       [](wizard::WizardConfigurationData& c) { c.dsNetware.szOperationMode.clear(); }, 3},
      {"password over the longest",
       [](wizard::WizardConfigurationData& c) { c.szPassword = std::string(kLongest + 1, 'p'); },
       1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    wizard::WizardConfigurationData chosen = Chosen("Wiz-Tcp", tcpBox_->Address());
    c.spoil(chosen);
    EXPECT_EQ(util_->mSetWizardConfiguration(name, &chosen, c.mode), -2);
  }
  EXPECT_EQ(util_->mVerifyPassword(name, std::string(kLongest + 1, 'p')), -2);
  EXPECT_EQ(util_->mSetWizardConfiguration("", nullptr, 2), -2);
  EXPECT_EQ(tcpBox_->RequestCount(), 0u);
}

TEST_F(WizardRoad, PasswordLineAndNetwareLinesByMode) {
  const std::string name = tcpBox_->DefaultName();
  wizard::WizardConfigurationData chosen = Chosen("Wiz-Tcp", tcpBox_->Address());
  chosen.szPassword = std::string(kLongest, 'n');
  chosen.dsNetware.szMasterFileServerName = "FS1";
  // Before the browse the box is not in the device table: the text cannot be sent.
  EXPECT_EQ(util_->mSetWizardConfiguration(name, &chosen, 2), -1);
  wizard::BrowseLists browse;
  ASSERT_EQ(util_->PS_Browse(&browse, ""), 0);
  EXPECT_EQ(browse.lists[0].size(), 2u);
  ASSERT_EQ(util_->mSetWizardConfiguration(name, &chosen, 1), 0);
  EXPECT_EQ(tcpBox_->NetwarePassword(), std::string(kLongest, 'n'));  // the box decodes it

  tcpBox_->ClearRequests();
  ASSERT_EQ(util_->mSetWizardConfiguration(name, &chosen, 3), 0);
  const std::string text = FromConfigurationText(*tcpBox_).at(0);
  EXPECT_NE(text.find("0001 :Wiz-Tcp\n2000 :PS\n2101 :FS1\n2110 :\n2111 :\n4000 :"),
            std::string::npos)
      << text;
  EXPECT_EQ(text.find("9035"), std::string::npos);
}

}  // namespace

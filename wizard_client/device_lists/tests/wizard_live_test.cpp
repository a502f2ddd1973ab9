// The wizard's live routines end to end: the NetWare name scan over the IPX stand-in, and the
// live browse of UDP answers and the registry list.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <memory>
#include <string>
#include <vector>

#include "device_client/device_lists/device_lists.h"
#include "device_client/device_lists/tests/lists_test_support.h"
#include "device_client/live_discovery/tests/live_test_support.h"
#include "tools/box_emulator/box_emulator.h"
#include "tools/box_emulator/ipx_discovery.h"
#include "tools/box_emulator/udp_discovery.h"
#include "wizard_client/device_lists/tests/udp_responder_support.h"
#include "wizard_client/device_lists/wizard_lists.h"

namespace {

using live_test::Text;

class WizardLiveRoutines : public live_test::LiveTest {
 protected:
  void TearDown() override {
    wizard::PSExit();
    device_lists::RestoreTcpipListKey();
    LiveTest::TearDown();
  }
};

TEST_F(WizardLiveRoutines, NetwareNamesStopAtTheWizardsHundredAndTwentyEight) {
  auto ipx = std::make_unique<box_emulator::IpxDiscovery>();
  for (int i = 0; i < 130; ++i) ipx->AddServer(wire::kFileServerSapType, "FS" + std::to_string(1000 + i));
  ipx->AddServer(wire::kNdsTreeSapType, "ACME_CORP");
  std::vector<char> names(wizard::SAP_NAME_CAPACITY * SAP_NAME_SIZE + 1, '\x7F');
  int count = 0;
  EXPECT_EQ(wizard::PSScanSapNames(SAP_QUERY_FILE_SERVER, names.data(), &count), ERR_LIST_FULL);
  EXPECT_EQ(count, 128);
  EXPECT_EQ(names.back(), '\x7F') << "written past the 128 names";
  EXPECT_EQ(wizard::PSScanSapNames(SAP_QUERY_NDS_TREE, names.data(), &count), 0);
  ASSERT_EQ(count, 1);
  EXPECT_EQ(Text(names.data(), SAP_NAME_SIZE), "ACME_CORP");  // the padding cut
  // Print servers are not a name kind of this scan.
  EXPECT_EQ(wizard::PSScanSapNames(SAP_QUERY_PRINT_SERVER, names.data(), &count), FAIL);
}

TEST_F(WizardLiveRoutines, LiveBrowseTakesUdpAnswersAndTheRegistryList) {
  box_emulator::UdpDiscovery responder(box_emulator::UdpDiscoveryOptions{0, 0, "0.0.0.0"});
  wizard_test::UseResponder(responder);
  box_emulator::Box heard(lists_test::QuickBox());
  box_emulator::Box registered(lists_test::QuickBox());
  box_emulator::Box silent(lists_test::QuickBox());
  responder.AddBox(&heard);
  wizard::PSInit(TYPE_TCPIP, 20);
  wizard::DeviceRecord record{};
  ASSERT_EQ(wizard::PSAddUDP(registered.Address().c_str(), &record), 1);
  ASSERT_EQ(wizard::PSAddUDP(silent.Address().c_str(), &record), 1);
  silent.SwitchOff();

  char names[8][20];
  int count = 0;
  EXPECT_EQ(wizard::PSLiveBrowse(names, &count, 8), 0);
  std::vector<std::string> expected = {heard.DefaultName(), registered.DefaultName()};
  std::sort(expected.begin(), expected.end());
  ASSERT_EQ(count, 2);
  EXPECT_EQ((std::vector<std::string>{Text(names[0], 20), Text(names[1], 20)}), expected);
  // The silent box's entry is gone.
  EXPECT_EQ(lists_test::Subkeys(kTcpipListKey), (std::vector<std::string>{registered.DefaultName()}));

  // The Internet form returns whole records and switches the list for the rest of the process.
  wizard::DeviceRecord records[8];
  EXPECT_EQ(wizard::PSLiveBrowseInternet(records, &count, 8), 0);
  EXPECT_EQ(count, 1);  // the Internet list is empty: only the box that answered the broadcast
  EXPECT_EQ(Text(records[0].szName, 20), heard.DefaultName());
  EXPECT_STREQ(device_lists::CurrentTcpipListKey(), kInternetListKey);
}

}  // namespace

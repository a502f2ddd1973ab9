// The TCP/IP page against an emulated box: the octets it shows, what leaving it stores, the checks
// of each octet with the control they clear and focus, and DHCP greying the octets out of the
// checks.
#include <string>

#include "console/tests/page_view_fixture.h"
#include "console_pages/tcpip_page.h"

namespace console_test {
namespace {

constexpr BoxModel kModel0{{0x00, 0x54, 0x10}};

const std::map<std::string, std::string> kStatic = {
    {"4000", "192.168.1.20"}, {"4001", "192.168.1.1"}, {"4002", "255.255.255.0"}, {"4020", "Disable"}};

class TcpipPageTest : public PageViewTest {
 protected:
  CTcpipPage& page_ = g_TcpipPage;
  std::string Octets(int address) {
    std::string text;
    for (int o = 0; o < 4; ++o) text += (o ? "." : "") + page_.OctetEdit(address, o).GetWindowText();
    return text;
  }
  void SetOctets(int address, const char* a, const char* b, const char* c, const char* d) {
    const char* texts[4] = {a, b, c, d};
    for (int o = 0; o < 4; ++o) page_.OctetEdit(address, o).SetWindowText(texts[o]);
  }
};

TEST_F(TcpipPageTest, ShowsTheBoxAddressesAndStoresTheEditedOnesWhenLeft) {
  OpenBox(kModel0, kStatic);
  OpenPage("TCP/IP", page_);
  Shot("tcpip_page");
  EXPECT_EQ(Octets(0), "192.168.1.20");
  EXPECT_EQ(Octets(1), "255.255.255.0");
  EXPECT_EQ(Octets(2), "192.168.1.1");
  EXPECT_TRUE(page_.OctetEdit(0, 0).IsWindowEnabled());
  EXPECT_EQ(page_.IsDlgButtonChecked(CTcpipPage::IDC_DHCP_DISABLE), 1);

  // Leading zeros are decimal and blanks are dropped; the record holds plain numbers.
  SetOctets(0, "010", "0", " 7", "255");
  SetOctets(1, "255", "255", "0", "0");
  SetOctets(2, "10", "0", "0", "1");
  ASSERT_TRUE(LeavePage());
  EXPECT_TRUE(TakeMessages().empty());
  EXPECT_EQ(gdsTCPIPConfigurationData.szIPAddress, "10.0.7.255");
  EXPECT_EQ(gdsTCPIPConfigurationData.szSubNetworkMaskAddress, "255.255.0.0");
  EXPECT_EQ(gdsTCPIPConfigurationData.szGatewayAddress, "10.0.0.1");

  // Shown again, the page shows what was stored.
  OpenPage("TCP/IP", page_);
  EXPECT_EQ(Octets(0), "10.0.7.255");
}

// Each refused octet: its message, the octet emptied and focused, the tab kept and every address
// of the record as it was (a bad gateway does not leave a new IP address behind).
TEST_F(TcpipPageTest, RefusedOctetsKeepThePageAndTheRecord) {
  struct Case {
    int address, octet;
    const char* text;
    int message;
  } cases[] = {
      {0, 0, "", CTcpipPage::IDS_NEED_DATA},       {0, 2, "-1", CTcpipPage::IDS_ILLEGAL_VALUE},
      {0, 3, "+1", CTcpipPage::IDS_ILLEGAL_VALUE}, {1, 1, " 256", CTcpipPage::IDS_VALUE_RANGE},
      {2, 3, "0x1", CTcpipPage::IDS_ILLEGAL_VALUE}, {2, 0, "", CTcpipPage::IDS_NEED_DATA},
      {2, 1, "1.2", CTcpipPage::IDS_ILLEGAL_VALUE},
  };
  OpenBox(kModel0, kStatic);
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.address) + "/" + std::to_string(c.octet) + " '" + c.text + "'");
    OpenPage("TCP/IP", page_);
    TakeMessages();
    const config::TCPIPConfigurationData before = gdsTCPIPConfigurationData;
    SetOctets(0, "10", "1", "2", "3");
    page_.OctetEdit(c.address, c.octet).SetWindowText(c.text);
    EXPECT_FALSE(LeavePage());
    EXPECT_EQ(TakeMessages(), std::vector<int>{c.message});
    EXPECT_EQ(page_.OctetEdit(c.address, c.octet).GetWindowText(), "");
    EXPECT_TRUE(page_.OctetEdit(c.address, c.octet).HasFocus());
    EXPECT_EQ(gdsTCPIPConfigurationData.szIPAddress, before.szIPAddress);
    EXPECT_EQ(gdsTCPIPConfigurationData.szGatewayAddress, before.szGatewayAddress);
    EXPECT_EQ(gdsTCPIPConfigurationData.szSubNetworkMaskAddress, before.szSubNetworkMaskAddress);
    // Mended, the page can be left.
    page_.OctetEdit(c.address, c.octet).SetWindowText("9");
    ASSERT_TRUE(LeavePage());
  }
  // An empty first octet is named before a bad second one.
  OpenPage("TCP/IP", page_);
  TakeMessages();
  SetOctets(0, "", "x", "1", "1");
  EXPECT_FALSE(LeavePage());
  EXPECT_EQ(TakeMessages(), std::vector<int>{CTcpipPage::IDS_NEED_DATA});
  EXPECT_TRUE(page_.OctetEdit(0, 0).HasFocus());
}

// With DHCP on the octets are greyed, neither checked nor stored; the radios write the record's
// switch at once and show the record's addresses again.
TEST_F(TcpipPageTest, DhcpGreysTheOctetsOutOfTheChecks) {
  auto settings = kStatic;
  settings["4020"] = "Enable";
  settings["4000"] = "0.0.0.0";
  OpenBox(kModel0, settings);
  OpenPage("TCP/IP", page_);
  Shot("tcpip_page_dhcp");
  EXPECT_EQ(gdsTCPIPConfigurationData.bAutoAddress1, 1);
  EXPECT_EQ(page_.IsDlgButtonChecked(CTcpipPage::IDC_DHCP_ENABLE), 1);
  for (int a = 0; a < 3; ++a) EXPECT_FALSE(page_.OctetEdit(a, 0).IsWindowEnabled()) << a;
  SetOctets(0, "", "bad", "-3", "");
  ASSERT_TRUE(LeavePage());
  EXPECT_TRUE(TakeMessages().empty());
  EXPECT_EQ(gdsTCPIPConfigurationData.szIPAddress, "0.0.0.0");

  // DHCP off: the record's addresses come back, enabled, and are checked again.
  OpenPage("TCP/IP", page_);
  Click(page_, CTcpipPage::IDC_DHCP_DISABLE);
  EXPECT_EQ(gdsTCPIPConfigurationData.bAutoAddress1, 0);
  EXPECT_EQ(Octets(0), "0.0.0.0");
  EXPECT_TRUE(page_.OctetEdit(0, 0).IsWindowEnabled());
  page_.OctetEdit(2, 3).SetWindowText("");
  Click(page_, CTcpipPage::IDC_DHCP_DISABLE);  // already checked: the typing stays
  EXPECT_EQ(page_.OctetEdit(2, 3).GetWindowText(), "");
  EXPECT_FALSE(LeavePage());
  EXPECT_EQ(TakeMessages(), std::vector<int>{CTcpipPage::IDS_NEED_DATA});
  // Typed octets give way to the record's when DHCP goes on again.
  Click(page_, CTcpipPage::IDC_DHCP_ENABLE);
  EXPECT_EQ(gdsTCPIPConfigurationData.bAutoAddress1, 1);
  EXPECT_EQ(Octets(2), "192.168.1.1");
  EXPECT_FALSE(page_.OctetEdit(2, 3).IsWindowEnabled());
  EXPECT_TRUE(LeavePage());
}

TEST_F(TcpipPageTest, TypingMovesOnAfterThreeCharactersAndCorrectsValuesAbove255) {
  OpenBox(kModel0, kStatic);
  OpenPage("TCP/IP", page_);
  TakeMessages();
  Type(page_, CTcpipPage::IDC_IP[0], "172");
  EXPECT_TRUE(HasFocus(page_, CTcpipPage::IDC_IP[1]));
  Type(page_, CTcpipPage::IDC_IP[1], "300");
  EXPECT_EQ(TakeMessages(), std::vector<int>{CTcpipPage::IDS_VALUE_RANGE});
  EXPECT_EQ(page_.OctetEdit(0, 1).GetWindowText(), "0");
  EXPECT_TRUE(HasFocus(page_, CTcpipPage::IDC_IP[1]));
  // The last IP octet hands on to the mask; the last gateway octet keeps the caret.
  Type(page_, CTcpipPage::IDC_IP[3], "254");
  EXPECT_TRUE(HasFocus(page_, CTcpipPage::IDC_MASK[0]));
  Type(page_, CTcpipPage::IDC_GATEWAY[3], "abc");
  EXPECT_TRUE(HasFocus(page_, CTcpipPage::IDC_GATEWAY[3]));
  EXPECT_TRUE(TakeMessages().empty());
}

// An address the box reports in a shape that does not split shows empty octets, not those of the
// box shown before.
TEST_F(TcpipPageTest, AnAddressThatDoesNotSplitShowsEmptyOctets) {
  OpenBox(kModel0, {{"4000", "10.0.0"}, {"4020", "Disable"}});
  g_TcpipPage.m_szIP[0] = "99";  // left from an earlier showing
  OpenPage("TCP/IP", page_);
  EXPECT_EQ(Octets(0), "...");
  EXPECT_FALSE(LeavePage());
  EXPECT_EQ(TakeMessages(), std::vector<int>{CTcpipPage::IDS_NEED_DATA});
}

}  // namespace
}  // namespace console_test

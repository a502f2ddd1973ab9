// The wireless page on the records of an emulated box: domains, channels and station name, the
// values it does not know listed as unknown, the two key layouts and the key-byte edits, WEP off,
// and the way to the link information dialog.
#include "console_pages/wireless_page.h"

#include <gtest/gtest.h>

#include <QLineEdit>
#include <QTest>
#include <cstdio>
#include <cstdlib>

#include "console_pages/page_records.h"
#include "console_pages/tests/device_dialogs_fixture.h"
#include "console_pages/wireless_link_info_dlg.h"
#include "platform/profile.h"

namespace {

using W = CWirelessPage;

// The records of a box, and the page created on them as the view does. The page's device calls go
// through the console's one device object, over the same access library as the fixture's.
class WirelessPageTest : public dialog_test::DeviceDialogTest {
 protected:
  void SetUp() override {
    DeviceDialogTest::SetUp();
    gdsWirelessConfigurationData = {};
    gdsWirelessConfigurationData.szDomainList = "10";
    gdsWirelessConfigurationData.iChannel = 6;
    gdsWirelessConfigurationData.iAuthentication = 1;
  }
  void TearDown() override {
    g_WirelessPage.DestroyWindow();
    DeviceDialogTest::TearDown();
  }
  // Creates the page on the record as the view does.
  W& Open(const std::string& defaultName = {}) {
    g_WirelessPage.DestroyWindow();
    g_WirelessPage.m_szDefaultName = defaultName.empty() ? box_.DefaultName() : defaultName;
    g_WirelessPage.m_szSelectedDevice = "LOBBY";
    EXPECT_TRUE(g_WirelessPage.Create(nullptr));
    g_WirelessPage.ShowWindow(ui::SW_SHOWNORMAL);
    return g_WirelessPage;
  }
  static std::vector<std::string> Items(ui::CComboBox& box) {
    std::vector<std::string> items;
    for (int i = 0; i < box.GetCount(); ++i) items.push_back(box.GetLBText(i));
    return items;
  }
  static std::string Selected(ui::CComboBox& box) {
    return box.GetCurSel() >= 0 ? box.GetLBText(box.GetCurSel()) : std::string("(none)");
  }
  static std::string Byte(W& page, int index) { return page.GetDlgItemText(W::kKeyByteIds[static_cast<std::size_t>(index)]); }
  static QLineEdit* Edit(W& page, int index) {
    return qobject_cast<QLineEdit*>(page.GetDlgItem(W::kKeyByteIds[static_cast<std::size_t>(index)])->GetSafeHwnd());
  }
  static void SetKeys(const char* k1, const char* k2 = "", const char* k3 = "", const char* k4 = "") {
    auto& wl = gdsWirelessConfigurationData;
    std::snprintf(wl.szKey1, sizeof wl.szKey1, "%s", k1);
    std::snprintf(wl.szKey2, sizeof wl.szKey2, "%s", k2);
    std::snprintf(wl.szKey3, sizeof wl.szKey3, "%s", k3);
    std::snprintf(wl.szKey4, sizeof wl.szKey4, "%s", k4);
  }

};

TEST_F(WirelessPageTest, DomainsChannelsAndStationName) {
  struct Case {
    const char* list;
    const char* shown;
    std::size_t channels;
    const char* first;
    const char* last;
  };
  const Case cases[] = {
      {"10,20", "USA/Canada", 11, "1", "11"},
      {"31,32", "Spain/France", 4, "10", "13"},
      {"41,40", "Japan (All)/Japan", 15, "1", "14"},
      {"30,0,20", "Most of Europe, Australia", 13, "1", "13"},
      {"", "Unknown", 14, "1", "14"},
  };
  for (const Case& c : cases) {
    gdsWirelessConfigurationData.szDomainList = c.list;
    W& page = Open();
    EXPECT_EQ(page.m_edDomain.GetWindowText(), c.shown) << c.list;
    std::vector<std::string> items = Items(page.m_cbChannel);
    ASSERT_GE(items.size(), c.channels) << c.list;
    items.resize(c.channels);  // an unknown channel's entry comes after them
    EXPECT_EQ(items.front(), c.first) << c.list;
    EXPECT_EQ(items.back(), c.last) << c.list;
  }
  ASSERT_TRUE(WritePrivateProfileString("EthernetAddress", "KL", "02a7c4", "common.ini"));
  EXPECT_EQ(Open("KL1A2B3C").m_edStation.GetWindowText(), "02-A7-C4-1A-2B-3C");
  EXPECT_EQ(Open("XY123456").m_edStation.GetWindowText(), "12-34-56-56-56-56");
}

TEST_F(WirelessPageTest, ValuesThePageDoesNotKnowAreListedAsUnknown) {
  struct Case {
    int channel, type, key;
    const char* channelShown;
    const char* typeShown;
    const char* keyShown;
  };
  const Case cases[] = {
      {6, 0, 0, "6", "Infrastructure", "KEY 1"},
      {11, 1, 3, "11", "802.11 Ad Hoc", "KEY 4"},
      {1, 3, 2, "1", "Ad Hoc", "KEY 3"},
      {14, 2, 4, "Unknown (14)", "Unknown (2)", "Unknown (4)"},  // USA has no channel 14
      {0, 5, -1, "Unknown (0)", "Unknown (5)", "Unknown (-1)"},
  };
  for (const Case& c : cases) {
    auto& wl = gdsWirelessConfigurationData;
    wl.iChannel = c.channel;
    wl.iNetworkType = c.type;
    wl.iDefaultKey = c.key;
    wl.bWEPEnable = 1;
    wl.iKeyLength = 5;
    W& page = Open();
    EXPECT_EQ(Selected(page.m_cbChannel), c.channelShown);
    EXPECT_EQ(Selected(page.m_cbNetworkType), c.typeShown);
    EXPECT_EQ(Selected(page.m_cbDefaultKey), c.keyShown);
  }
  EXPECT_TRUE(sink_.ids().empty());
}

TEST_F(WirelessPageTest, SixtyFourAndOneTwentyEightBitLayoutsKeepEachLayoutsTexts) {
  auto& wl = gdsWirelessConfigurationData;
  wl.bWEPEnable = 1;
  wl.iKeyLength = 5;
  wl.iDefaultKey = 2;
  wl.iAuthentication = 2;
  SetKeys("0102030405", "1112131415", "2122232425", "3132333435");
  W& page = Open();
  Shot(page, "wireless_page_64");
  EXPECT_EQ(page.IsDlgButtonChecked(W::IDC_WEP_ENABLED), 1);
  EXPECT_EQ(page.IsDlgButtonChecked(W::IDC_64_BITS), 1);
  EXPECT_EQ(page.IsDlgButtonChecked(W::IDC_SHARED_KEY), 1);
  EXPECT_EQ(Byte(page, 0), "01");
  EXPECT_EQ(Byte(page, 9), "15");
  EXPECT_EQ(Byte(page, 19), "35");
  EXPECT_TRUE(page.m_cbDefaultKey.IsWindowEnabled());

  Click(page, W::IDC_128_BITS);
  // The record keeps the box's key length and default key until the page is stored.
  EXPECT_EQ(wl.iKeyLength, 5);
  EXPECT_EQ(wl.iDefaultKey, 2);
  EXPECT_EQ(Selected(page.m_cbDefaultKey), "KEY 1");
  EXPECT_FALSE(page.m_cbDefaultKey.IsWindowEnabled());
  EXPECT_EQ(Byte(page, 0), "01");  // key 1's first bytes are shared
  EXPECT_EQ(Byte(page, 5), "");    // the 128-bit texts of the shared edits: none yet
  EXPECT_FALSE(page.GetDlgItem(W::kKeyByteIds[13])->IsWindowVisible());
  EXPECT_FALSE(page.GetDlgItem(W::IDC_KEY1_LABEL + 3)->IsWindowVisible());
  page.SetDlgItemText(W::kKeyByteIds[5], "aa");
  page.SetDlgItemText(W::kKeyByteIds[12], "bb");
  Shot(page, "wireless_page_128");

  Click(page, W::IDC_64_BITS);
  EXPECT_EQ(wl.iKeyLength, 5);
  EXPECT_EQ(Byte(page, 5), "11");
  EXPECT_EQ(Byte(page, 12), "23");
  EXPECT_TRUE(page.GetDlgItem(W::kKeyByteIds[19])->IsWindowVisible());
  Click(page, W::IDC_128_BITS);
  EXPECT_EQ(Byte(page, 5), "aa");
  EXPECT_EQ(Byte(page, 12), "bb");

  // A 128-bit key from the box fills the first 13 edits.
  wl.iKeyLength = 13;
  SetKeys("00112233445566778899aabbcc");
  W& again = Open();
  EXPECT_EQ(again.IsDlgButtonChecked(W::IDC_128_BITS), 1);
  EXPECT_EQ(Byte(again, 12), "cc");
  EXPECT_EQ(Byte(again, 5), "55");
}

TEST_F(WirelessPageTest, WepOffAtOpenShowsNoKeysUntilWepIsTurnedOn) {
  auto& wl = gdsWirelessConfigurationData;
  wl.bWEPEnable = 0;
  wl.iKeyLength = 13;
  SetKeys("00112233445566778899aabbcc");
  W& page = Open();
  EXPECT_EQ(page.IsDlgButtonChecked(W::IDC_WEP_DISABLED), 1);
  EXPECT_EQ(page.IsDlgButtonChecked(W::IDC_64_BITS), 1);
  for (int i = 0; i < wireless_text::kKeyByteEdits; ++i) {
    EXPECT_EQ(Byte(page, i), "");
    EXPECT_FALSE(page.GetDlgItem(W::kKeyByteIds[static_cast<std::size_t>(i)])->IsWindowEnabled());
  }
  for (int id : {W::IDC_DEFAULT_KEY, W::IDC_64_BITS, W::IDC_128_BITS, W::IDC_OPEN_SYSTEM, W::IDC_SHARED_KEY})
    EXPECT_FALSE(page.GetDlgItem(id)->IsWindowEnabled()) << id;
  // Turned on, the page shows the keys the box keeps, in their layout.
  Click(page, W::IDC_WEP_ENABLED);
  EXPECT_EQ(page.IsDlgButtonChecked(W::IDC_128_BITS), 1);
  EXPECT_EQ(Byte(page, 0), "00");
  EXPECT_EQ(Byte(page, 12), "cc");
  EXPECT_TRUE(page.GetDlgItem(W::kKeyByteIds[0])->IsWindowEnabled());
}

TEST_F(WirelessPageTest, KeyByteEditsTakeHexAndMoveOn) {
  auto& wl = gdsWirelessConfigurationData;
  wl.bWEPEnable = 1;
  wl.iKeyLength = 5;
  W& page = Open();
  QLineEdit* first = Edit(page, 0);
  first->setFocus();
  QTest::keyClicks(first, "1");
  QTest::keyClicks(first, "g");
  EXPECT_EQ(sink_.ids(), std::vector<int>{device_dialogs::IDS_ILLEGAL_INPUT_DATA});
  EXPECT_EQ(Byte(page, 0), "1");
  QTest::keyClicks(first, "a");
  EXPECT_EQ(Byte(page, 0), "1a");
  EXPECT_TRUE(page.GetDlgItem(W::kKeyByteIds[1])->HasFocus());
  // "a" then ":" is accepted; the last byte of key 1 stays in the 64-bit layout.
  QLineEdit* fifth = Edit(page, 4);
  fifth->setFocus();
  QTest::keyClicks(fifth, "a:");
  EXPECT_EQ(Byte(page, 4), "a:");
  EXPECT_TRUE(page.GetDlgItem(W::kKeyByteIds[4])->HasFocus());
  EXPECT_EQ(sink_.ids().size(), 1u);
  // In the 128-bit layout it goes on to the next row.
  Click(page, W::IDC_128_BITS);
  fifth->setFocus();
  fifth->clear();
  QTest::keyClicks(fifth, "0f");
  EXPECT_TRUE(page.GetDlgItem(W::kKeyByteIds[5])->HasFocus());
}

TEST_F(WirelessPageTest, KeysWithForeignCharactersAreFilteredAtOpen) {
  auto& wl = gdsWirelessConfigurationData;
  wl.bWEPEnable = 1;
  wl.iKeyLength = 5;
  SetKeys("0g02030405");
  W& page = Open();
  EXPECT_EQ(Byte(page, 0), "0");
  EXPECT_EQ(sink_.ids(), std::vector<int>{device_dialogs::IDS_ILLEGAL_INPUT_DATA});
}

TEST_F(WirelessPageTest, LinkInfoOpensTheDialogForThePagesBox) {
  ASSERT_TRUE(box_.SetSetting("7014", "STATE:Connected;CHANNEL:6;"));
  gdsWirelessConfigurationData.iNetworkType = 1;
  W& page = Open();
  bool ran = false;
  ui::SetModalHook([&](ui::CDialog& d) {
    if (d.Template().id != CWirelessLinkInfoDlg::IDD) return;
    ran = true;
    auto& link = static_cast<CWirelessLinkInfoDlg&>(d);
    EXPECT_EQ(link.m_szDefaultName, box_.DefaultName());
    EXPECT_EQ(link.GetDlgItemText(CWirelessLinkInfoDlg::IDC_STATE), "Connected");
    EXPECT_FALSE(link.m_pgQuality.IsWindowEnabled());
  });
  Click(page, W::IDC_LINK_INFO);
  EXPECT_TRUE(ran);
  // The dialog read the box into a record of its own: the page's record is as it was.
  EXPECT_EQ(gdsWirelessConfigurationData.szLinkStatus, "");
  EXPECT_EQ(gdsWirelessConfigurationData.iChannel, 6);
}

}  // namespace

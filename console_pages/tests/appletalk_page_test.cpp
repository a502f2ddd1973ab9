// The AppleTalk page against an emulated box: the ports it offers by model, what it shows from the
// box's records, what its store writes and the refusals of its checks.
#include <gtest/gtest.h>

#include "console_pages/appletalk_page.h"
#include "console_pages/tests/port_pages_fixture.h"

namespace page_test {
namespace {

using P = CAppleTalkPage;

class AppleTalkPageTest : public PortPagesTest {
 protected:
  void SetUp() override {
    PortPagesTest::SetUp();
    box_.SetSetting("3000", "SALES");
    box_.SetSetting("3001", "LaserWriter 8");
    box_.SetSetting("3002", "Color Writer");
    box_.SetSetting("3004", "Photo Writer");
    box_.SetSetting("3101", "YES");  // TBCP
    box_.SetSetting("3102", "BCP");
    box_.SetSetting("3104", "NO");  // ASP
  }
  CAppleTalkPage& page_ = g_AppleTalkPage;
};

TEST_F(AppleTalkPageTest, OffersOnePortPerParallelPortOfTheModel) {
  struct Case {
    Model model;
    int offered;
  } cases[] = {{kModel1, 1}, {kModel16, 2}, {kModel2, 2}, {kModel3, 3}, {kModel4, 3}, {kModel20, 1}, {kRawModel, 1}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.model.what);
    UseModel(c.model);
    ASSERT_TRUE(Open(page_));
    EXPECT_EQ(page_.OfferedPorts(), c.offered);
    EXPECT_EQ(page_.GetDlgItemText(CSettingsPage::IDC_SELECTED_DEVICE), "LOBBY PRINTER");
    EXPECT_EQ(page_.GetDlgItemText(P::IDC_ZONE_NAME), "SALES");
    EXPECT_EQ(page_.GetDlgItemText(P::IDC_P1_TYPE), "LaserWriter 8");
    EXPECT_EQ(page_.GetDlgItemText(P::IDC_P2_TYPE), c.offered >= 2 ? "Color Writer" : "N/A");
    EXPECT_EQ(page_.GetDlgItemText(P::IDC_P3_TYPE), c.offered >= 3 ? "Photo Writer" : "N/A");
    for (int id : {P::IDC_P2_TYPE, P::IDC_P2_TYPE_LABEL, P::IDC_P2_GROUP, P::IDC_P2_ASP, P::IDC_P2_TBCP, P::IDC_P2_BCP}) {
      EXPECT_EQ(Enabled(page_, id), c.offered >= 2) << id;
    }
    for (int id : {P::IDC_P3_TYPE, P::IDC_P3_TYPE_LABEL, P::IDC_P3_GROUP, P::IDC_P3_ASP, P::IDC_P3_TBCP, P::IDC_P3_BCP}) {
      EXPECT_EQ(Enabled(page_, id), c.offered >= 3) << id;
    }
    // Protocols: P1 TBCP, P2 BCP, P3 ASP on the box; a port the box lacks shows none.
    EXPECT_EQ(page_.IsDlgButtonChecked(P::IDC_P1_TBCP), ui::BST_CHECKED);
    EXPECT_EQ(page_.m_iP1Protocol, 1);
    EXPECT_EQ(page_.IsDlgButtonChecked(P::IDC_P2_BCP), c.offered >= 2 ? ui::BST_CHECKED : ui::BST_UNCHECKED);
    EXPECT_EQ(page_.m_iP2Protocol, c.offered >= 2 ? 2 : -1);
    EXPECT_EQ(page_.IsDlgButtonChecked(P::IDC_P3_ASP), c.offered >= 3 ? ui::BST_CHECKED : ui::BST_UNCHECKED);
    EXPECT_EQ(page_.m_iP3Protocol, c.offered >= 3 ? 0 : -1);
    // Every model's page can be stored, so its tab can be left.
    EXPECT_EQ(page_.Store(), 1);
    EXPECT_TRUE(NewMessages().empty());
    if (c.model.b4 == kModel3.b4 && c.model.b5 == kModel3.b5) Shot(page_, "appletalk_page_model3");
    page_.DestroyWindow();
  }
}

TEST_F(AppleTalkPageTest, AnUnknownProtocolValueShowsBcp) {
  UseModel(kModel1);
  gdsAPPLETALKConfigurationData.bP1BinaryCommunicationProtocol = 5;
  ASSERT_TRUE(Open(page_));
  EXPECT_EQ(page_.IsDlgButtonChecked(P::IDC_P1_BCP), ui::BST_CHECKED);
  EXPECT_EQ(page_.IsDlgButtonChecked(P::IDC_P1_ASP), ui::BST_UNCHECKED);
  EXPECT_EQ(page_.m_iP1Protocol, 2);
}

TEST_F(AppleTalkPageTest, StoreWritesTheZoneAndTheShownPortsOnly) {
  UseModel(kModel16);
  gdsAPPLETALKConfigurationData.bP3BinaryCommunicationProtocol = 1;
  gdsAPPLETALKConfigurationData.bSPBinaryCommunicationProtocol = 1;
  ASSERT_TRUE(Open(page_));
  Retype(page_.m_editZoneName, "ENGINEERING");
  Click(page_, P::IDC_P1_ASP);
  Click(page_, P::IDC_P2_TBCP);
  EXPECT_EQ(page_.m_iP1Protocol, 0);
  EXPECT_EQ(page_.m_iP2Protocol, 1);
  // A click changes the member only; the record waits for the store.
  EXPECT_EQ(gdsAPPLETALKConfigurationData.bP1BinaryCommunicationProtocol, 1);
  ASSERT_EQ(page_.Store(), 1);
  const config::APPLETALKConfigurationData& r = gdsAPPLETALKConfigurationData;
  EXPECT_EQ(r.szZoneName, "ENGINEERING");
  EXPECT_EQ(r.szP1PrinterType, "LaserWriter 8");
  EXPECT_EQ(r.szP2PrinterType, "Color Writer");
  EXPECT_EQ(r.bP1BinaryCommunicationProtocol, 0);
  EXPECT_EQ(r.bP2BinaryCommunicationProtocol, 1);
  // P3 and the serial port are not on this box's page and keep their values.
  EXPECT_EQ(r.szP3PrinterType, "Photo Writer");
  EXPECT_EQ(r.bP3BinaryCommunicationProtocol, 1);
  EXPECT_EQ(r.bSPBinaryCommunicationProtocol, 1);
  EXPECT_TRUE(NewMessages().empty());
}

TEST_F(AppleTalkPageTest, RefusalsClearAndFocusTheirEditAndStoreNothing) {
  struct Case {
    const char* what;
    std::string zone;
    std::string p2Type;  // the box's value, shown read-only
    std::string p3Type;
    int message;
    int cleared;
  } cases[] = {
      {"control character in the zone", "SALES\x01", "Color", "Photo", P::IDS_ILLEGAL_ZONE_NAME, P::IDC_ZONE_NAME},
      {"tab in P2's type", "ANNEX", "Co\tlor", "Photo", P::IDS_ILLEGAL_P2_TYPE, P::IDC_P2_TYPE},
      {"byte above 0x7f in P3's type", "ANNEX", "Color", "Ph\xf6to", P::IDS_ILLEGAL_P3_TYPE, P::IDC_P3_TYPE},
      {"P2 and P3 bad: P2 is named first", "ANNEX", "C\nx", "P\ny", P::IDS_ILLEGAL_P2_TYPE, P::IDC_P2_TYPE},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    UseModel(kModel3);
    gdsAPPLETALKConfigurationData.szP2PrinterType = c.p2Type;
    gdsAPPLETALKConfigurationData.szP3PrinterType = c.p3Type;
    const config::APPLETALKConfigurationData before = gdsAPPLETALKConfigurationData;
    ASSERT_TRUE(Open(page_));
    page_.m_editZoneName.SetWindowText(c.zone);
    Click(page_, P::IDC_P1_BCP);
    EXPECT_EQ(page_.Store(), 0);
    EXPECT_EQ(NewMessages(), std::vector<int>{c.message});
    EXPECT_EQ(page_.GetDlgItemText(c.cleared), "");
    EXPECT_TRUE(Focused(page_, c.cleared));
    // Nothing was stored, not even the inputs that passed.
    const config::APPLETALKConfigurationData& r = gdsAPPLETALKConfigurationData;
    EXPECT_EQ(r.szZoneName, before.szZoneName);
    EXPECT_EQ(r.szP1PrinterType, before.szP1PrinterType);
    EXPECT_EQ(r.szP2PrinterType, before.szP2PrinterType);
    EXPECT_EQ(r.bP1BinaryCommunicationProtocol, before.bP1BinaryCommunicationProtocol);
    page_.DestroyWindow();
  }
}

// Records what the page asks of the view.
struct HostProbe : CPageHost {
  int tabControl = 0, restoreDefaults = 0;
  void FocusTabControl() override { ++tabControl; }
  void FocusRestoreDefaults() override { ++restoreDefaults; }
};

TEST_F(AppleTalkPageTest, TabLeavesThePageFromTheLastPortOnOffer) {
  struct Case {
    Model model;
    int last;   // a radio of the last port on offer
    int inner;  // a radio of an earlier port
  } cases[] = {{kModel1, P::IDC_P1_BCP, 0}, {kModel16, P::IDC_P2_TBCP, P::IDC_P1_ASP}, {kModel3, P::IDC_P3_ASP, P::IDC_P2_BCP}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.model.what);
    UseModel(c.model);
    HostProbe host;
    ASSERT_TRUE(Open(page_));
    page_.m_pHost = &host;
    if (c.inner != 0) {
      page_.GetDlgItem(c.inner)->SetFocus();
      QTest::keyClick(page_.GetDlgItem(c.inner)->GetSafeHwnd(), Qt::Key_Tab);
      EXPECT_EQ(host.restoreDefaults, 0);
    }
    page_.GetDlgItem(c.last)->SetFocus();
    QWidget* radio = page_.GetDlgItem(c.last)->GetSafeHwnd();
    QTest::keyClick(radio, Qt::Key_Tab);
    EXPECT_EQ(host.restoreDefaults, 1);
    page_.m_pHost = nullptr;
    page_.DestroyWindow();
  }
}

TEST_F(AppleTalkPageTest, AFailedModelQueryEndsThePage) {
  UseModel(kModel1);
  box_.SwitchOff();
  EXPECT_FALSE(Open(page_));
  EXPECT_EQ(NewMessages().size(), 1u);
}

}  // namespace
}  // namespace page_test

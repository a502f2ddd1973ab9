// The wireless link information dialog against an emulated box: the link values of the box's
// status text, the 5-second refresh, the ad hoc network type, a failed read that keeps what is
// shown, and a refresh that never piles a second result box on one still open.
#include "console_pages/wireless_link_info_dlg.h"

#include "console_pages/tests/device_dialogs_fixture.h"

namespace dialog_test {
namespace {

using ui::CDialog;

constexpr const char* kLinked =
    "STATE:Connected;CHANNEL:6;TXRATE:11;TX:120;RX:300;QUALITY:Good (80%);STRENGTH:Fair (45%);";

class WirelessLinkInfo : public DeviceDialogTest {
 protected:
  void SetUp() override {
    DeviceDialogTest::SetUp();
    ASSERT_TRUE(box_.SetSetting("7014", kLinked));
  }
  void Run(int networkType, const std::function<void(CWirelessLinkInfoDlg&)>& body) {
    bool ran = false;
    ui::SetModalHook([&](CDialog& d) {
      if (d.Template().id != CWirelessLinkInfoDlg::IDD) return;
      ran = true;
      body(static_cast<CWirelessLinkInfoDlg&>(d));
    });
    RunWirelessLinkInfoDialog(*util_, name_, networkType);
    EXPECT_TRUE(ran);
  }
  static std::string Text(CDialog& d, int id) { return d.GetDlgItemText(id); }
  static bool Enabled(CDialog& d, int id) { return d.GetDlgItem(id)->IsWindowEnabled(); }
  static void ExpectShown(CWirelessLinkInfoDlg& d, const std::vector<std::string>& edits, int quality,
                          int strength) {
    const int ids[] = {CWirelessLinkInfoDlg::IDC_STATE, CWirelessLinkInfoDlg::IDC_CHANNEL,
                       CWirelessLinkInfoDlg::IDC_TX_RATE, CWirelessLinkInfoDlg::IDC_TX, CWirelessLinkInfoDlg::IDC_RX};
    for (std::size_t i = 0; i < edits.size(); ++i) EXPECT_EQ(Text(d, ids[i]), edits[i]) << ids[i];
    EXPECT_EQ(d.m_pgQuality.GetPos(), quality);
    EXPECT_EQ(d.m_pgStrength.GetPos(), strength);
  }
};

TEST_F(WirelessLinkInfo, ShowsTheBoxsLinkAndRefreshesEveryFiveSeconds) {
  Run(0, [&](CWirelessLinkInfoDlg& d) {
    Shot(d, "wireless_link_info");
    EXPECT_EQ(d.Template().caption, "Wireless Link Info");
    ExpectShown(d, {"Connected", "6", "11", "120", "300"}, 80, 45);
    EXPECT_EQ(Text(d, CWirelessLinkInfoDlg::IDC_QUALITY_LABEL), "Link Quality:    Good (80%)");
    EXPECT_EQ(Text(d, CWirelessLinkInfoDlg::IDC_STRENGTH_LABEL), "Signal Strength:    Fair (45%)");
    EXPECT_EQ(d.m_pgQuality.GetRangeUpper(), 100);
    for (int id : {CWirelessLinkInfoDlg::IDC_QUALITY_BAR, CWirelessLinkInfoDlg::IDC_STRENGTH_LABEL})
      EXPECT_TRUE(Enabled(d, id));
    ASSERT_TRUE(timers_.IsSet(&d, CWirelessLinkInfoDlg::kTimerId));
    EXPECT_EQ(timers_.Interval(&d, CWirelessLinkInfoDlg::kTimerId), 5000u);

    // The link changes; the next tick shows it. A percentage the new text leaves out stays.
    ASSERT_TRUE(box_.SetSetting("7014", "STATE:Searching;CHANNEL:11;QUALITY:Poor (10%);STRENGTH:None;"));
    ASSERT_TRUE(timers_.Fire(&d, CWirelessLinkInfoDlg::kTimerId));
    ExpectShown(d, {"Searching", "11", "11", "120", "300"}, 10, 45);
    EXPECT_EQ(Text(d, CWirelessLinkInfoDlg::IDC_STRENGTH_LABEL), "Signal Strength:    None");
    EXPECT_EQ(CountRequests("9100:"), 2);
    EXPECT_TRUE(sink_.ids().empty());

    d.OnCancel();
    EXPECT_FALSE(timers_.IsSet(&d, CWirelessLinkInfoDlg::kTimerId));
  });
}

TEST_F(WirelessLinkInfo, AdHocNetworkDisablesTheQualityAndStrengthRows) {
  for (int type : {1, 3}) {
    Run(type, [&](CWirelessLinkInfoDlg& d) {
      for (int id : {CWirelessLinkInfoDlg::IDC_QUALITY_LABEL, CWirelessLinkInfoDlg::IDC_QUALITY_BAR,
                     CWirelessLinkInfoDlg::IDC_STRENGTH_LABEL, CWirelessLinkInfoDlg::IDC_STRENGTH_BAR}) {
        EXPECT_EQ(Enabled(d, id), type != 1) << type << " " << id;
        EXPECT_TRUE(d.GetDlgItem(id)->IsWindowVisible());
      }
    });
  }
}

TEST_F(WirelessLinkInfo, AFailedReadShowsItsResultAndKeepsTheValuesShown) {
  Run(0, [&](CWirelessLinkInfoDlg& d) {
    box_emulator::FaultPlan fault;
    fault.errorChunk = 0;
    box_.InjectFault(fault);
    ASSERT_TRUE(box_.SetSetting("7014", "STATE:Gone;"));
    ASSERT_TRUE(timers_.Fire(&d, CWirelessLinkInfoDlg::kTimerId));
    EXPECT_EQ(sink_.ids().size(), 1u);
    ExpectShown(d, {"Connected", "6", "11", "120", "300"}, 80, 45);
    // The timer goes on: the next read succeeds.
    ASSERT_TRUE(timers_.Fire(&d, CWirelessLinkInfoDlg::kTimerId));
    EXPECT_EQ(sink_.ids().size(), 1u);
    EXPECT_EQ(Text(d, CWirelessLinkInfoDlg::IDC_STATE), "Gone");
  });
}

// A message box runs its own event loop, in which the dialog's timer keeps ticking.
class TickingSink : public platform::MessageSink {
 public:
  int Show(int stringId, const std::string&, UINT) override {
    ids.push_back(stringId);
    ++open;
    maxOpen = std::max(maxOpen, open);
    if (whileOpen) whileOpen();
    --open;
    return platform::IDOK;
  }
  std::function<void()> whileOpen;
  std::vector<int> ids;
  int open = 0;
  int maxOpen = 0;
};

TEST_F(WirelessLinkInfo, TicksWhileAResultBoxIsOpenPileNothingUp) {
  Run(0, [&](CWirelessLinkInfoDlg& d) {
    TickingSink ticking;
    ticking.whileOpen = [&] {
      for (int i = 0; i < 3; ++i) timers_.Fire(&d, CWirelessLinkInfoDlg::kTimerId);
    };
    platform::SetMessageSink(&ticking);
    box_emulator::FaultPlan fault;
    fault.errorChunk = 0;
    fault.count = 10;
    box_.InjectFault(fault);
    box_.ClearRequests();
    ASSERT_TRUE(timers_.Fire(&d, CWirelessLinkInfoDlg::kTimerId));
    EXPECT_EQ(ticking.ids.size(), 1u);
    EXPECT_EQ(ticking.maxOpen, 1);
    EXPECT_EQ(CountRequests("9100:"), 1);
    // Once the box is closed the next tick reads (and reports) again.
    ticking.whileOpen = nullptr;
    ASSERT_TRUE(timers_.Fire(&d, CWirelessLinkInfoDlg::kTimerId));
    EXPECT_EQ(ticking.ids.size(), 2u);
    platform::SetMessageSink(&sink_);
    box_.ClearFaults();
  });
}

}  // namespace
}  // namespace dialog_test

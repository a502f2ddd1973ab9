// The NetBEUI page against an emulated box: what it shows from the box's records, what its store
// writes and the refusals of its checks.
#include <gtest/gtest.h>

#include "console_pages/netbeui_page.h"
#include "console_pages/tests/port_pages_fixture.h"

namespace page_test {
namespace {

using P = CNetBEUIPage;

class NetBEUIPageTest : public PortPagesTest {
 protected:
  CNetBEUIPage& page_ = g_NetBEUIPage;
};

TEST_F(NetBEUIPageTest, ShowsTheBoxRecords) {
  struct Case {
    const char* what;
    const char* workgroup;
    const char* time;
    const char* abort;
    int checked;
  } cases[] = {
      {"a workgroup longer than can be typed is shown whole", "ACCOUNTING-FLOOR", "0", "YES", P::IDC_ABORT_YES},
      {"plain", "WORKGROUP", "255", "NO", P::IDC_ABORT_NO},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    box_.SetSetting("5000", c.workgroup);
    box_.SetSetting("5002", c.time);
    box_.SetSetting("5001", c.abort);
    ReadRecords();
    ASSERT_TRUE(Open(page_));
    EXPECT_EQ(page_.GetDlgItemText(CSettingsPage::IDC_SELECTED_DEVICE), "LOBBY PRINTER");
    EXPECT_EQ(page_.GetDlgItemText(P::IDC_WORKGROUP), c.workgroup);
    EXPECT_EQ(page_.GetDlgItemText(P::IDC_RESPONSE_TIME), c.time);
    EXPECT_EQ(page_.m_editWorkgroup.GetLimitText(), 15);
    EXPECT_EQ(page_.m_editResponseTime.GetLimitText(), 3);
    EXPECT_EQ(page_.IsDlgButtonChecked(c.checked), ui::BST_CHECKED);
    EXPECT_EQ(page_.IsDlgButtonChecked(c.checked == P::IDC_ABORT_YES ? P::IDC_ABORT_NO : P::IDC_ABORT_YES),
              ui::BST_UNCHECKED);
    Shot(page_, "netbeui_page");
    page_.DestroyWindow();
  }
}

TEST_F(NetBEUIPageTest, StoreChecksEverythingBeforeWritingAnything) {
  struct Case {
    const char* what;
    std::string workgroup;
    std::string time;
    int result;
    int message;  // 0: none
    int cleared;  // the emptied and focused edit
    std::string storedWorkgroup;
    int storedTime;
  } cases[] = {
      {"valid", "SALES", "45", 1, 0, 0, "SALES", 45},
      {"blanks in the time are dropped", "SALES", " 7 ", 1, 0, 0, "SALES", 7},
      {"leading zeros", "SALES", "007", 1, 0, 0, "SALES", 7},
      {"empty workgroup is allowed", "", "0", 1, 0, 0, "", 0},
      {"highest time", "SALES", "255", 1, 0, 0, "SALES", 255},
      {"time above 255", "SALES", "256", 0, P::IDS_VALUE_RANGE, P::IDC_RESPONSE_TIME, "WORKGROUP", 30},
      {"time with a sign", "SALES", "-1", 0, P::IDS_ILLEGAL_VALUE, P::IDC_RESPONSE_TIME, "WORKGROUP", 30},
      {"time with letters", "SALES", "1a", 0, P::IDS_ILLEGAL_VALUE, P::IDC_RESPONSE_TIME, "WORKGROUP", 30},
      {"time empty", "SALES", "", 0, P::IDS_NEED_INPUT_DATA, P::IDC_RESPONSE_TIME, "WORKGROUP", 30},
      {"line break in the workgroup", "SALES\n5000 :X", "45", 0, P::IDS_ILLEGAL_INPUT_DATA, P::IDC_WORKGROUP,
       "WORKGROUP", 30},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ReadRecords();  // workgroup "WORKGROUP", time 30, abort NO
    ASSERT_TRUE(Open(page_));
    page_.m_editWorkgroup.SetWindowText(c.workgroup);
    page_.m_editResponseTime.SetWindowText(c.time);
    Click(page_, P::IDC_ABORT_YES);
    EXPECT_EQ(page_.Store(), c.result);
    if (c.message == 0) {
      EXPECT_TRUE(NewMessages().empty());
    } else {
      EXPECT_EQ(NewMessages(), std::vector<int>{c.message});
      EXPECT_EQ(page_.GetDlgItemText(c.cleared), "");
      EXPECT_TRUE(Focused(page_, c.cleared));
    }
    EXPECT_EQ(gdsNetBEUIConfigureData.szDomainName, c.storedWorkgroup);
    EXPECT_EQ(gdsNetBEUIConfigureData.iResponseTime, c.storedTime);
    EXPECT_EQ(gdsNetBEUIConfigureData.bAbortJobAsPaperOut, c.result);
    page_.DestroyWindow();
  }
}

}  // namespace
}  // namespace page_test

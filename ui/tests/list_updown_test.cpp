// The list box and the up-down control: selection without notices from the program, the user's
// click and double click, and the up-down's range, wrapping, buddy number and arrow keys.
#include <gtest/gtest.h>

#include <QListWidget>
#include <QTest>
#include <QToolButton>

#include "ui/dialog.h"
#include "ui/test_support/gui_app.h"

namespace ui {
namespace {

enum : int { kList = 10, kBuddy = 11, kSpin = 12, kPlainSpin = 13 };

class ControlsDlg : public CDialog {
 public:
  ControlsDlg()
      : CDialog({78, "Controls", "MS Sans Serif", 8, 200, 120, 0,
                 {{kList, Kind::ListBox, "", 0, 5, 5, 100, 60},
                  {kBuddy, Kind::Edit, "", ES_READONLY, 110, 5, 30, 12},
                  {kSpin, Kind::UpDown, "", UDS_WRAP | UDS_SETBUDDYINT | UDS_ARROWKEYS, 140, 5, 10, 12},
                  {kPlainSpin, Kind::UpDown, "", 0, 160, 5, 10, 12}}}) {}
  LRESULT Notify(int id, int code, NMHDR* info) override {
    notes.emplace_back(id, code);
    return CDialog::Notify(id, code, info);
  }
  CListBox& List() { return *dynamic_cast<CListBox*>(GetDlgItem(kList)); }
  CSpinButtonCtrl& Spin(int id = kSpin) { return *dynamic_cast<CSpinButtonCtrl*>(GetDlgItem(id)); }
  std::vector<std::pair<int, int>> notes;
};

TEST(ListBox, ProgramSelectsQuietlyAndTheUserIsHeard) {
  EnsureTestApplication();
  ControlsDlg d;
  ASSERT_TRUE(d.Create());
  CListBox& list = d.List();
  EXPECT_EQ(list.GetCurSel(), LB_ERR);
  for (const char* s : {"one", "two", "three"}) list.AddString(s);
  EXPECT_EQ(list.GetCount(), 3);
  EXPECT_EQ(list.SetCurSel(2), 2);
  EXPECT_EQ(list.GetCurSel(), 2);
  EXPECT_EQ(list.GetText(1), "two");
  EXPECT_EQ(list.GetText(3), "");
  EXPECT_EQ(list.SetCurSel(3), LB_ERR);
  EXPECT_EQ(list.GetCurSel(), 2);
  EXPECT_TRUE(d.notes.empty());

  auto* widget = qobject_cast<QListWidget*>(list.GetSafeHwnd());
  ASSERT_NE(widget, nullptr);
  const QPoint second = widget->visualItemRect(widget->item(1)).center();
  QTest::mouseClick(widget->viewport(), Qt::LeftButton, {}, second);
  EXPECT_EQ(list.GetCurSel(), 1);
  QTest::mouseDClick(widget->viewport(), Qt::LeftButton, {}, second);
  EXPECT_EQ(d.notes.front(), std::make_pair(int{kList}, LBN_SELCHANGE));
  EXPECT_EQ(d.notes.back(), std::make_pair(int{kList}, LBN_DBLCLK));
  list.ResetContent();
  EXPECT_EQ(list.GetCount(), 0);
  EXPECT_EQ(list.GetCurSel(), LB_ERR);
}

TEST(UpDown, RangeWrapsAndSetsTheBuddysNumber) {
  EnsureTestApplication();
  ControlsDlg d;
  ASSERT_TRUE(d.Create());
  CSpinButtonCtrl& spin = d.Spin();
  spin.SetBuddy(d.GetDlgItem(kBuddy));
  spin.SetRange(40, 110);
  spin.SetPos(200);  // kept within the range
  EXPECT_EQ(spin.GetPos(), 110);
  EXPECT_EQ(d.GetDlgItemText(kBuddy), "110");
  spin.Step(1);  // wraps to the lower end
  EXPECT_EQ(d.GetDlgItemText(kBuddy), "40");
  spin.Step(-1);
  EXPECT_EQ(spin.GetPos(), 110);

  // The arrows and the buddy's Up and Down keys.
  auto arrows = spin.GetSafeHwnd()->findChildren<QToolButton*>();
  ASSERT_EQ(arrows.size(), 2);
  QTest::mouseClick(arrows[1], Qt::LeftButton);
  EXPECT_EQ(spin.GetPos(), 109);
  QTest::keyClick(d.GetDlgItem(kBuddy)->GetSafeHwnd(), Qt::Key_Up);
  QTest::keyClick(d.GetDlgItem(kBuddy)->GetSafeHwnd(), Qt::Key_Up);
  EXPECT_EQ(d.GetDlgItemText(kBuddy), "40");

  // Without UDS_WRAP and UDS_SETBUDDYINT: stops at the ends and leaves the buddy alone.
  CSpinButtonCtrl& plain = d.Spin(kPlainSpin);
  plain.SetBuddy(d.GetDlgItem(kBuddy));
  plain.SetRange(0, 2);
  plain.SetPos(2);
  plain.Step(1);
  EXPECT_EQ(plain.GetPos(), 2);
  EXPECT_EQ(d.GetDlgItemText(kBuddy), "40");
  d.DestroyWindow();
}

}  // namespace
}  // namespace ui

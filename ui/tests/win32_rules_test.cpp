// The Win32 rules the layer keeps where Qt differs, as one table of cases over one dialog.
#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QComboBox>
#include <QLineEdit>
#include <QRadioButton>
#include <QTabBar>
#include <QTest>
#include <functional>

#include "ui/dialog.h"
#include "ui/test_support/gui_app.h"

namespace ui {
namespace {

enum : int { kEdit = 100, kUpper = 101, kPassword = 102, kCombo = 200, kRadio1 = 300, kRadio2 = 301,
             kRadio3 = 302, kOtherGroup = 303, kTab = 400, kList = 500, kLabel = 600 };

DialogTemplate RulesTemplate() {
  return {77, "Rules", "MS Sans Serif", 8, 300, 220, 0,
          {{kLabel, Kind::Static, "Name:", 0, 5, 5, 40, 10},
           {kEdit, Kind::Edit, "", 0, 50, 5, 80, 12},
           {kUpper, Kind::Edit, "", ES_UPPERCASE, 50, 20, 80, 12},
           {kPassword, Kind::Edit, "", ES_PASSWORD, 50, 35, 80, 12},
           {kCombo, Kind::DropList, "", 0, 50, 50, 80, 60},
           {kRadio1, Kind::Radio, "One", WS_GROUP, 5, 70, 50, 10},
           {kRadio2, Kind::Radio, "Two", 0, 5, 82, 50, 10},
           {kRadio3, Kind::Radio, "Three", 0, 5, 94, 50, 10},
           {kOtherGroup, Kind::Radio, "Other", WS_GROUP, 5, 106, 50, 10},
           {kTab, Kind::Tab, "", 0, 5, 120, 200, 14},
           {kList, Kind::ListView, "", LVS_REPORT | LVS_SINGLESEL, 5, 140, 200, 60},
           {IDOK, Kind::DefButton, "OK", 0, 240, 5, 50, 14},
           {IDCANCEL, Kind::Button, "Cancel", 0, 240, 22, 50, 14}}};
}

// Records every notification in order; fills the combo on its drop-down notice and can veto tabs.
class RulesDlg : public CDialog {
 public:
  RulesDlg() : CDialog(RulesTemplate()) {}
  struct Note {
    int id, code;
    int tabSelAtNotice;
    NMLISTVIEW lv;
  };
  std::vector<Note> notes;
  bool vetoTabs = false;
  std::vector<std::pair<int, int>> Codes(int id) const {
    std::vector<std::pair<int, int>> out;
    for (const Note& n : notes)
      if (n.id == id) out.emplace_back(n.id, n.code);
    return out;
  }
  LRESULT Notify(int id, int code, NMHDR* info) override {
    Note n{id, code, Tab().GetCurSel(), {}};
    if (code == LVN_ITEMCHANGED || code == NM_DBLCLK) n.lv = *reinterpret_cast<NMLISTVIEW*>(info);
    notes.push_back(n);
    if (id == kCombo && code == CBN_DROPDOWN && Combo().GetCount() == 0) {
      for (const char* s : {"LPT1", "LPT2", "COM1"}) Combo().AddString(s);
    }
    if (code == TCN_SELCHANGING) return vetoTabs ? 1 : 0;
    return CDialog::Notify(id, code, info);
  }
  CEdit& Edit(int id) { return *dynamic_cast<CEdit*>(GetDlgItem(id)); }
  CComboBox& Combo() { return *dynamic_cast<CComboBox*>(GetDlgItem(kCombo)); }
  CTabCtrl& Tab() {
    static CTabCtrl none;
    auto* t = dynamic_cast<CTabCtrl*>(GetDlgItem(kTab));
    return t ? *t : none;
  }
  CListCtrl& List() { return *dynamic_cast<CListCtrl*>(GetDlgItem(kList)); }
  template <class W>
  W* Widget(int id) { return qobject_cast<W*>(GetDlgItem(id)->GetSafeHwnd()); }
};

struct RuleCase {
  const char* name;
  std::function<void(RulesDlg&)> run;
};

void PrintTo(const RuleCase& c, std::ostream* os) { *os << c.name; }

const RuleCase kCases[] = {
    {"LimitAppliesToTypingOnly",
     [](RulesDlg& d) {
       d.Edit(kEdit).LimitText(3);
       QTest::keyClicks(d.Widget<QLineEdit>(kEdit), "abcde");
       EXPECT_EQ(d.Edit(kEdit).GetWindowText(), "abc");
       EXPECT_EQ(d.Codes(kEdit).size(), 3u);  // refused keys send nothing
       d.Edit(kEdit).SetWindowText("longer text");
       EXPECT_EQ(d.Edit(kEdit).GetWindowText(), "longer text");
       QTest::keyClick(d.Widget<QLineEdit>(kEdit), Qt::Key_End);
       QTest::keyClicks(d.Widget<QLineEdit>(kEdit), "x");
       EXPECT_EQ(d.Edit(kEdit).GetWindowText(), "longer text");
       QTest::keyClick(d.Widget<QLineEdit>(kEdit), Qt::Key_Backspace);  // shrinking is allowed
       EXPECT_EQ(d.Edit(kEdit).GetWindowText(), "longer tex");
     }},
    {"ChangeNoticeOnEveryProgramSet",
     [](RulesDlg& d) {
       d.notes.clear();
       for (const char* s : {"same", "same", "", ""}) d.Edit(kEdit).SetWindowText(s);
       d.SetDlgItemText(kEdit, "via id");
       auto codes = d.Codes(kEdit);
       ASSERT_EQ(codes.size(), 5u);
       for (auto& c : codes) EXPECT_EQ(c.second, EN_CHANGE);
     }},
    {"UpperCaseAndPasswordStyles",
     [](RulesDlg& d) {
       QTest::keyClicks(d.Widget<QLineEdit>(kUpper), "lpt1 q");
       EXPECT_EQ(d.Edit(kUpper).GetWindowText(), "LPT1 Q");
       EXPECT_EQ(d.Widget<QLineEdit>(kPassword)->echoMode(), QLineEdit::Password);
       QTest::keyClicks(d.Widget<QLineEdit>(kPassword), "Secret");
       EXPECT_EQ(d.Edit(kPassword).GetWindowText(), "Secret");  // the program reads the clear text
     }},
    {"DropDownNoticeBeforeSelectionByKeyboard",
     [](RulesDlg& d) {
       QComboBox* box = d.Widget<QComboBox>(kCombo);
       ASSERT_EQ(d.Combo().GetCount(), 0);
       QTest::keyClick(box, Qt::Key_Down, Qt::AltModifier);  // opens the list
       ASSERT_EQ(d.Combo().GetCount(), 3);                   // filled by the notice handler
       QTest::keyClick(box->view(), Qt::Key_Down);
       QTest::keyClick(box->view(), Qt::Key_Return);
       auto codes = d.Codes(kCombo);
       ASSERT_GE(codes.size(), 2u);
       EXPECT_EQ(codes.front().second, CBN_DROPDOWN);
       EXPECT_EQ(codes.back().second, CBN_SELCHANGE);
       EXPECT_EQ(d.Combo().GetCurSel(), 1);
     }},
    {"ProgramSelectionOfComboSendsNothing",
     [](RulesDlg& d) {
       for (const char* s : {"A", "B"}) d.Combo().AddString(s);
       d.Combo().SetCurSel(1);
       d.Combo().SetCurSel(-1);
       EXPECT_TRUE(d.Codes(kCombo).empty());
       EXPECT_EQ(d.Combo().GetCurSel(), CB_ERR);
     }},
    {"FindStringOrder",
     [](RulesDlg& d) {
       for (const char* s : {"Alpha", "beta", "ALPS", "Gamma"}) d.Combo().AddString(s);
       struct {
         int after;
         const char* key;
         bool exact;
         int want;
       } rows[] = {{-1, "al", false, 0}, {0, "al", false, 2}, {2, "al", false, 0},  // wraps round
                   {3, "BE", false, 1},  {-1, "", false, 0},  {-1, "x", false, CB_ERR},
                   {-1, "alps", true, 2}, {-1, "alp", true, CB_ERR}, {2, "alps", true, 2},
                   {99, "gam", false, 3}};
       for (auto& r : rows) {
         int got = r.exact ? d.Combo().FindStringExact(r.after, r.key) : d.Combo().FindString(r.after, r.key);
         EXPECT_EQ(got, r.want) << r.key << " after " << r.after << (r.exact ? " exact" : "");
       }
     }},
    {"EachRadioIsItsOwnTabStopInCreationOrder",
     [](RulesDlg& d) {
       QWidget* r1 = d.GetDlgItem(kRadio1)->GetSafeHwnd();
       QWidget* r2 = d.GetDlgItem(kRadio2)->GetSafeHwnd();
       QWidget* r3 = d.GetDlgItem(kRadio3)->GetSafeHwnd();
       QWidget* combo = d.GetDlgItem(kCombo)->GetSafeHwnd();
       EXPECT_EQ(combo->nextInFocusChain(), r1);
       EXPECT_EQ(r1->nextInFocusChain(), r2);
       EXPECT_EQ(r2->nextInFocusChain(), r3);
       for (QWidget* r : {r1, r2, r3}) EXPECT_TRUE(r->focusPolicy() & Qt::TabFocus);
       EXPECT_EQ(d.GetDlgItem(kLabel)->GetSafeHwnd()->focusPolicy(), Qt::NoFocus);
     }},
    {"RadioClickClearsOnlyItsGroup",
     [](RulesDlg& d) {
       d.CheckDlgButton(kRadio1, BST_CHECKED);
       d.CheckDlgButton(kOtherGroup, BST_CHECKED);
       QTest::mouseClick(d.Widget<QRadioButton>(kRadio2), Qt::LeftButton);
       EXPECT_EQ(d.IsDlgButtonChecked(kRadio1), BST_UNCHECKED);
       EXPECT_EQ(d.IsDlgButtonChecked(kRadio2), BST_CHECKED);
       EXPECT_EQ(d.IsDlgButtonChecked(kOtherGroup), BST_CHECKED);
       EXPECT_EQ(d.Codes(kRadio2), (std::vector<std::pair<int, int>>{{kRadio2, BN_CLICKED}}));
       d.CheckDlgButton(kRadio3, BST_CHECKED);  // the program's check touches no other button
       EXPECT_EQ(d.IsDlgButtonChecked(kRadio2), BST_CHECKED);
     }},
    {"TabChangeCanBeVetoed",
     [](RulesDlg& d) {
       for (const char* s : {"System", "TCP/IP", "Port"}) d.Tab().InsertItem(d.Tab().GetItemCount(), s);
       QTabBar* bar = d.Widget<QTabBar>(kTab);
       d.vetoTabs = true;
       QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(1).center());
       EXPECT_EQ(d.Tab().GetCurSel(), 0);
       EXPECT_EQ(bar->currentIndex(), 0);
       ASSERT_EQ(d.Codes(kTab).size(), 1u);
       EXPECT_EQ(d.notes.back().code, TCN_SELCHANGING);
       d.vetoTabs = false;
       d.notes.clear();
       QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(2).center());
       ASSERT_EQ(d.notes.size(), 2u);
       EXPECT_EQ(d.notes[0].code, TCN_SELCHANGING);
       EXPECT_EQ(d.notes[0].tabSelAtNotice, 0);  // the tab being left is still current
       EXPECT_EQ(d.notes[1].code, TCN_SELCHANGE);
       EXPECT_EQ(d.notes[1].tabSelAtNotice, 2);
     }},
    {"ProgramTabSelectionSendsNothing",
     [](RulesDlg& d) {
       for (const char* s : {"A", "B"}) d.Tab().InsertItem(d.Tab().GetItemCount(), s);
       EXPECT_EQ(d.Tab().SetCurSel(1), 0);
       EXPECT_EQ(d.Tab().GetCurSel(), 1);
       EXPECT_EQ(d.Tab().SetCurSel(5), -1);
       EXPECT_TRUE(d.Codes(kTab).empty());
     }},
    {"ListItemChangeCarriesOldAndNewState",
     [](RulesDlg& d) {
       CListCtrl& l = d.List();
       l.InsertColumn(0, "Name", 80);
       l.InsertColumn(1, "Address", 80);
       for (const char* s : {"BOX-A", "BOX-B"}) l.SetItemText(l.InsertItem(l.GetItemCount(), s), 1, "1.2.3.4");
       EXPECT_TRUE(l.SetItemText(0, 2, "beyond the columns"));
       EXPECT_EQ(l.GetItemText(0, 2), "beyond the columns");
       EXPECT_EQ(l.GetItemText(0, 3), "");
       l.SetItemState(0, LVIS_SELECTED, LVIS_SELECTED);
       ASSERT_EQ(d.Codes(kList).size(), 1u);
       EXPECT_EQ(d.notes.back().lv.iItem, 0);
       EXPECT_TRUE(d.notes.back().lv.uNewState & LVIS_SELECTED);
       EXPECT_FALSE(d.notes.back().lv.uOldState & LVIS_SELECTED);
       d.notes.clear();
       auto* view = d.Widget<QAbstractItemView>(kList);
       QRect r = view->visualRect(view->model()->index(1, 0));
       QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, r.center());
       std::vector<std::pair<int, bool>> changes;  // (row, became selected), in order
       for (auto& n : d.notes)
         if (n.code == LVN_ITEMCHANGED && ((n.lv.uNewState ^ n.lv.uOldState) & LVIS_SELECTED))
           changes.emplace_back(n.lv.iItem, (n.lv.uNewState & LVIS_SELECTED) != 0);
       EXPECT_EQ(changes, (std::vector<std::pair<int, bool>>{{0, false}, {1, true}}));
       EXPECT_EQ(l.GetNextItem(-1, LVNI_SELECTED), 1);
       d.notes.clear();
       QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, r.center());
       ASSERT_FALSE(d.Codes(kList).empty());
       EXPECT_EQ(d.notes.back().code, NM_DBLCLK);
       EXPECT_EQ(d.notes.back().lv.iItem, 1);
     }},
};

class Win32Rules : public ::testing::TestWithParam<RuleCase> {
 protected:
  void SetUp() override { EnsureTestApplication(); }
};

TEST_P(Win32Rules, Holds) {
  RulesDlg d;
  ASSERT_TRUE(d.Create());
  d.ShowWindow(SW_SHOW);
  d.notes.clear();
  GetParam().run(d);
}

INSTANTIATE_TEST_SUITE_P(Layer, Win32Rules, ::testing::ValuesIn(kCases),
                         [](const auto& p) { return std::string(p.param.name); });

}  // namespace
}  // namespace ui

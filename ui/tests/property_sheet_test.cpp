// The wizard sheet's rules: activation on every visit, the navigation results of Next and Back,
// SetActivePage, the button masks, Finish and Cancel, and the banner every page paints.
#include <gtest/gtest.h>

#include <QLabel>
#include <QPushButton>
#include <map>
#include <string>
#include <vector>

#include "ui/property_sheet.h"
#include "ui/test_support/gui_app.h"

namespace ui {
namespace {

// A page that logs its calls and answers what the case tells it.
struct PageScript {
  LRESULT next = 0;
  LRESULT back = 0;
  BOOL setActive = 1;
  BOOL killActive = 1;
  BOOL finish = 1;
  BOOL queryCancel = 1;
  DWORD buttons = PSWIZB_BACK | PSWIZB_NEXT;
};

class LogPage : public CPropertyPage {
 public:
  LogPage(int templateId, std::string tag, std::string& log, PageScript script)
      : CPropertyPage(Template(templateId)), tag_(std::move(tag)), log_(log), script_(script) {}

  static DialogTemplate Template(int id) {
    return {id, "", "MS Sans Serif", 8, 200, 120, 0,
            {{IDC_PAGE_BANNER, Kind::Static, "", 0, 0, 0, 60, 120},
             {2000, Kind::Static, "page", 0, 70, 10, 100, 10}}};
  }
  BOOL OnInitDialog() override {
    log_ += "I" + tag_ + " ";
    return 1;
  }
  BOOL OnSetActive() override {
    log_ += "S" + tag_ + " ";
    if (script_.setActive) GetSheet()->SetWizardButtons(script_.buttons);
    return script_.setActive;
  }
  BOOL OnKillActive() override {
    log_ += "K" + tag_ + " ";
    return script_.killActive;
  }
  LRESULT OnWizardNext() override {
    log_ += "N" + tag_ + " ";
    return script_.next;
  }
  LRESULT OnWizardBack() override {
    log_ += "B" + tag_ + " ";
    return script_.back;
  }
  BOOL OnWizardFinish() override {
    log_ += "F" + tag_ + " ";
    return script_.finish;
  }
  BOOL OnQueryCancel() override {
    log_ += "C" + tag_ + " ";
    return script_.queryCancel;
  }

 private:
  std::string tag_;
  std::string& log_;
  PageScript script_;
};

// One case: page scripts (templates 201, 202, ...), the buttons pressed in turn, then what the
// sheet shows and what the pages were asked.
struct SheetCase {
  const char* name;
  std::map<int, PageScript> scripts;  // by page index; the rest use the defaults
  std::vector<int> presses;           // PSBTN_* in order; -N means SetActivePage(N - 1)
  int startPage;
  int wantActive;       // index after the presses (-1: the sheet has closed)
  std::intptr_t wantResult;  // DoModal's result
  const char* wantLog;
};

constexpr int kPages = 4;

std::intptr_t RunCase(const SheetCase& c, std::string& log, int& activeAfter) {
  std::vector<std::unique_ptr<LogPage>> pages;
  for (int i = 0; i < kPages; ++i) {
    auto it = c.scripts.find(i);
    pages.push_back(std::make_unique<LogPage>(201 + i, std::to_string(i), log,
                                              it == c.scripts.end() ? PageScript{} : it->second));
  }
  CPropertySheet sheet("Sheet", nullptr, c.startPage);
  for (auto& p : pages) sheet.AddPage(p.get());
  sheet.SetWizardMode();
  activeAfter = -2;
  SetModalHook([&](CDialog& d) {
    auto& s = dynamic_cast<CPropertySheet&>(d);
    for (int press : c.presses) {
      if (press < 0) s.SetActivePage(-press - 1);
      else s.PressButton(press);
      if (!s.IsModalRunning() || s.Result() != 0) break;
    }
    activeAfter = s.GetSafeHwnd() && s.GetSafeHwnd()->isVisible() ? s.GetActiveIndex() : -1;
  });
  const std::intptr_t rc = sheet.DoModal();
  SetModalHook({});
  return rc;
}

TEST(PropertySheetTest, NavigationRulesAsATable) {
  EnsureTestApplication();
  const LRESULT kStay = -1;
  const std::vector<SheetCase> cases = {
      {"first page activated and initialised once", {}, {}, 0, 0, IDCANCEL, "I0 S0 "},
      {"Next 0 goes to the neighbour, Back 0 returns and activates again",
       {}, {PSBTN_NEXT, PSBTN_BACK}, 0, 0, IDCANCEL, "I0 S0 N0 K0 I1 S1 B1 K1 S0 "},
      {"Next -1 stays without leaving the page",
       {{0, {.next = kStay}}}, {PSBTN_NEXT}, 0, 0, IDCANCEL, "I0 S0 N0 "},
      {"Next by template id skips pages", {{0, {.next = 204}}}, {PSBTN_NEXT}, 0, 3, IDCANCEL,
       "I0 S0 N0 K0 I3 S3 "},
      {"Back by template id", {{3, {.back = 202}}}, {PSBTN_BACK}, 3, 1, IDCANCEL, "I3 S3 B3 K3 I1 S1 "},
      {"an id no page has keeps the page", {{0, {.next = 999}}}, {PSBTN_NEXT}, 0, 0, IDCANCEL,
       "I0 S0 N0 "},
      {"Back on the first page goes nowhere", {}, {PSBTN_BACK}, 0, 0, IDCANCEL, "I0 S0 B0 "},
      {"Next on the last page goes nowhere", {}, {PSBTN_NEXT}, 3, 3, IDCANCEL, "I3 S3 N3 "},
      {"a refused kill keeps the page", {{0, {.killActive = 0}}}, {PSBTN_NEXT}, 0, 0, IDCANCEL,
       "I0 S0 N0 K0 "},
      {"a page refusing activation is passed over forward",
       {{1, {.setActive = 0}}}, {PSBTN_NEXT}, 0, 2, IDCANCEL, "I0 S0 N0 K0 I1 S1 I2 S2 "},
      {"SetActivePage by index activates the page", {}, {-3}, 0, 2, IDCANCEL, "I0 S0 K0 I2 S2 "},
      {"a disabled Next does nothing", {{0, {.buttons = PSWIZB_BACK}}}, {PSBTN_NEXT}, 0, 0, IDCANCEL,
       "I0 S0 "},
      {"Finish shown replaces Next", {{0, {.buttons = PSWIZB_BACK | PSWIZB_FINISH}}}, {PSBTN_NEXT}, 0, 0,
       IDCANCEL, "I0 S0 "},
      {"Finish TRUE closes the sheet", {{0, {.buttons = PSWIZB_BACK | PSWIZB_FINISH}}}, {PSBTN_FINISH}, 0,
       -1, ID_WIZFINISH, "I0 S0 F0 "},
      {"Finish FALSE keeps it", {{0, {.finish = 0, .buttons = PSWIZB_FINISH}}}, {PSBTN_FINISH}, 0, 0,
       IDCANCEL, "I0 S0 F0 "},
      {"a disabled Finish does nothing", {{0, {.buttons = PSWIZB_DISABLEDFINISH}}}, {PSBTN_FINISH}, 0, 0,
       IDCANCEL, "I0 S0 "},
      {"Cancel asks the page and closes", {}, {PSBTN_CANCEL}, 0, -1, IDCANCEL, "I0 S0 C0 "},
      {"a refused cancel keeps the sheet", {{0, {.queryCancel = 0}}}, {PSBTN_CANCEL}, 0, 0, IDCANCEL,
       "I0 S0 C0 "},
  };
  for (const SheetCase& c : cases) {
    SCOPED_TRACE(c.name);
    std::string log;
    int active = -2;
    const std::intptr_t rc = RunCase(c, log, active);
    EXPECT_EQ(rc, c.wantResult);
    EXPECT_EQ(active, c.wantActive);
    EXPECT_EQ(log, c.wantLog);
  }
}

TEST(PropertySheetTest, ButtonMasksAsPSM_SETWIZBUTTONS) {
  EnsureTestApplication();
  struct MaskCase {
    DWORD mask;
    bool back, nextShown, nextEnabled, finishShown, finishEnabled;
  };
  const std::vector<MaskCase> cases = {
      {0, false, true, false, false, false},
      {PSWIZB_BACK, true, true, false, false, false},
      {PSWIZB_NEXT, false, true, true, false, false},
      {PSWIZB_BACK | PSWIZB_NEXT, true, true, true, false, false},
      {PSWIZB_BACK | PSWIZB_FINISH, true, false, false, true, true},
      {PSWIZB_DISABLEDFINISH, false, false, false, true, false},
      {PSWIZB_BACK | PSWIZB_NEXT | PSWIZB_DISABLEDFINISH, true, false, false, true, false},
  };
  std::string log;
  LogPage page(201, "0", log, {});
  CPropertySheet sheet("Masks");
  sheet.AddPage(&page);
  sheet.SetWizardMode();
  SetModalHook([&](CDialog& d) {
    auto& s = dynamic_cast<CPropertySheet&>(d);
    for (const MaskCase& c : cases) {
      SCOPED_TRACE(c.mask);
      s.SetWizardButtons(c.mask);
      EXPECT_EQ(s.GetWizardButtons(), c.mask);
      QWidget* back = s.GetDlgItem(ID_WIZBACK)->GetSafeHwnd();
      QWidget* next = s.GetDlgItem(ID_WIZNEXT)->GetSafeHwnd();
      QWidget* finish = s.GetDlgItem(ID_WIZFINISH)->GetSafeHwnd();
      EXPECT_EQ(back->isEnabled(), c.back);
      EXPECT_EQ(next->isVisible(), c.nextShown);
      if (c.nextShown) {
        EXPECT_EQ(next->isEnabled(), c.nextEnabled);
      }
      EXPECT_EQ(finish->isVisible(), c.finishShown);
      if (c.finishShown) {
        EXPECT_EQ(finish->isEnabled(), c.finishEnabled);
      }
      EXPECT_EQ(s.IsButtonEnabled(PSBTN_BACK), c.back);
      EXPECT_EQ(s.IsButtonEnabled(PSBTN_NEXT), c.nextShown && c.nextEnabled);
      EXPECT_EQ(s.IsButtonEnabled(PSBTN_FINISH), c.finishEnabled);
    }
  });
  sheet.DoModal();
  SetModalHook({});
}

TEST(PropertySheetTest, EveryPageShowsTheBannerStretchedOverControl1000) {
  EnsureTestApplication();
  std::string log;
  LogPage first(201, "0", log, {});
  LogPage second(202, "1", log, {});
  second.m_nBitmapId = 99999;  // no such picture: the control stays empty
  CPropertySheet sheet("Banner");
  sheet.AddPage(&first);
  sheet.AddPage(&second);
  sheet.SetWizardMode();
  SetModalHook([&](CDialog& d) {
    auto& s = dynamic_cast<CPropertySheet&>(d);
    auto* banner = qobject_cast<QLabel*>(first.GetDlgItem(IDC_PAGE_BANNER)->GetSafeHwnd());
    ASSERT_NE(banner, nullptr);
    ASSERT_FALSE(banner->pixmap().isNull());
    EXPECT_EQ(banner->pixmap().size(), banner->size());
    s.PressButton(PSBTN_NEXT);
    auto* empty = qobject_cast<QLabel*>(second.GetDlgItem(IDC_PAGE_BANNER)->GetSafeHwnd());
    ASSERT_NE(empty, nullptr);
    EXPECT_TRUE(empty->pixmap().isNull());
  });
  sheet.DoModal();
  SetModalHook({});
}

TEST(PropertySheetTest, EnterAndEscapeAreTheShownButtonsAndHelpCallsTheHandler) {
  EnsureTestApplication();
  std::string log;
  LogPage a(201, "0", log, {});
  LogPage b(202, "1", log, {.buttons = PSWIZB_BACK | PSWIZB_FINISH});
  CPropertySheet sheet("Keys");
  sheet.AddPage(&a);
  sheet.AddPage(&b);
  sheet.SetWizardMode();
  int helps = 0;
  sheet.SetHelpHandler([&] { ++helps; });
  SetModalHook([&](CDialog& d) {
    auto& s = dynamic_cast<CPropertySheet&>(d);
    s.PressButton(PSBTN_HELP);
    s.Notify(IDOK, BN_CLICKED, nullptr);  // Enter: Next
    EXPECT_EQ(s.GetActiveIndex(), 1);
    s.Notify(IDOK, BN_CLICKED, nullptr);  // Enter: Finish
  });
  EXPECT_EQ(sheet.DoModal(), ID_WIZFINISH);
  SetModalHook({});
  EXPECT_EQ(helps, 1);
  EXPECT_EQ(log, "I0 S0 N0 K0 I1 S1 F1 ");
}

}  // namespace
}  // namespace ui

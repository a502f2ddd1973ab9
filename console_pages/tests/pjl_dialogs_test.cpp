// The PJL variables dialog and the set dialog against an emulated PJL printer: the grid filled
// from the printer, setting a variable of each kind and reading it back, the refusals with their
// messages, the wait for an idle printer (timing, progress, stopping it), and the grid's empty and
// read-only rows.
#include "console_pages/pjl_variable_set_dlg.h"
#include "console_pages/pjl_variables_dlg.h"

#include <QLineEdit>
#include <QTreeWidget>

#include "console_pages/tests/device_dialogs_fixture.h"

namespace dialog_test {
namespace {

using ui::CDialog;

class PjlDialogs : public DeviceDialogTest {
 protected:
  void SetUp() override {
    DeviceDialogTest::SetUp();
    box_.SetPortStatus(1, Status("Idle", "On-Line"));
  }

  // Reads the printer's variables as the status dialog does and runs the variables dialog;
  // `grid` runs in its modal hook, `set` in the set dialog's.
  void Run(const std::function<void(CPJLVariablesDlg&)>& grid,
           const std::function<void(CPJLVariableSetDlg&)>& set = {}) {
    CPJLVariablesDlg dlg(*util_);
    dlg.m_szDefaultName = name_;
    dlg.m_szDeviceName = box_.DeviceName();
    dlg.m_szModel = "Laser 4";
    dlg.m_iPort = 1;
    ASSERT_EQ(util_->mGetPJLConfiguration(name_, 1, &dlg.m_PJLConfiguration), 0);
    ui::SetModalHook([&](CDialog& d) {
      if (d.Template().id == CPJLVariablesDlg::IDD) grid(static_cast<CPJLVariablesDlg&>(d));
      else if (d.Template().id == CPJLVariableSetDlg::IDD && set) set(static_cast<CPJLVariableSetDlg&>(d));
    });
    dlg.DoModal();
  }

  static std::vector<std::string> Rows(CPJLVariablesDlg& d) {
    std::vector<std::string> rows;
    for (int i = 0; i < d.m_VariableList.GetCount(); ++i) {
      std::string line;
      d.m_VariableList.GetItemText175(i, line);
      rows.push_back(line);
    }
    return rows;
  }
  static int RowOf(CPJLVariablesDlg& d, const std::string& name) {
    for (int i = 0; i < d.m_VariableList.GetCount(); ++i) {
      std::string text;
      d.m_VariableList.GetItemText(i, text);
      if (text == name) return i;
    }
    return -1;
  }
  // Double-clicks row `row` of the grid as the user does.
  static void DoubleClick(CPJLVariablesDlg& d, int row) {
    auto* tree = static_cast<QTreeWidget*>(d.m_VariableList.GetSafeHwnd());
    QTreeWidgetItem* item = tree->topLevelItem(row);
    ASSERT_NE(item, nullptr);
    tree->scrollToItem(item);
    const QPoint at = tree->visualItemRect(item).center();
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(tree->viewport(), Qt::LeftButton, {}, at);
  }
  static void Type(CPJLVariableSetDlg& d, const std::string& text) {
    auto* edit = static_cast<QLineEdit*>(d.m_ValueEdit.GetSafeHwnd());
    edit->clear();
    edit->setFocus();
    QTest::keyClicks(edit, QString::fromStdString(text));
  }
  std::string Value(const std::string& pjlName) {
    std::string v;
    OnPrinter(1, [&](box_emulator::PjlPrinter& p) { v = p.Find(pjlName) ? p.Find(pjlName)->value : ""; });
    return v;
  }
  std::vector<std::string> Taken() {
    std::vector<std::string> v;
    OnPrinter(1, [&](box_emulator::PjlPrinter& p) { v = p.defaultsTaken(); });
    return v;
  }
};

TEST_F(PjlDialogs, GridListsTheReportedVariablesInRecordOrder) {
  Run([&](CPJLVariablesDlg& d) {
    Shot(d, "pjl_variables");
    EXPECT_EQ(d.Template().caption, "Printer Configuration");
    EXPECT_EQ(d.GetDlgItemText(CPJLVariablesDlg::IDC_MODEL), "Laser 4");
    EXPECT_EQ(d.GetSafeHwnd()->size(), QSize(600, 420));
    EXPECT_EQ(d.GetDlgItem(ui::IDOK)->GetSafeHwnd()->geometry(), QRect(240, 350, 120, 30));
    EXPECT_EQ(d.m_VariableList.GetSafeHwnd()->geometry(), QRect(QPoint(40, 80), QPoint(559, 329)));
    const std::vector<std::string> rows = Rows(d);
    const std::vector<std::string> expected = {
        "AUTOCONT\tOFF\tNo",       "CLEARABLEWARNINGS\tON\tNo", "COPIES\t1\tNo",
        "DENSITY\t3\tNo",          "FORMLINES\t60\tNo",          "INTRAY1\tUNLOCKED\tNo",
        "INTRAY1SIZE\tLETTER\tYes", "LOWTONER\tON\tNo",           "MANUALFEED\tOFF\tNo",
        "MPTRAY\tFIRST\tNo",       "ORIENTATION\tPORTRAIT\tNo",  "PAGEPROTECT\tAUTO\tNo",
        "PAPER\tLETTER\tNo",       "PERSONALITY\tAUTO\tNo",      "RESOLUTION\t600\tNo",
        "RET\tMEDIUM\tNo",         "TIMEOUT\t15\tNo",            "FONTSOURCE\tI\tNo",
        "FONTNUMBER\t0\tNo",       "PITCH\t10.00\tNo",           "PTSIZE\t12.00\tNo",
        "SYMSET\tROMAN8\tYes",     "PRTPSERRS\tOFF\tNo",
    };
    EXPECT_EQ(rows, expected);
    EXPECT_EQ(d.m_VariableList.GetCurSel(), 0);
  });
}

struct SetCase {
  const char* row;
  const char* pjlName;
  const char* typed;  // edit variables: typed; list variables: the item to pick
  const char* sent;
};

TEST_F(PjlDialogs, SettingEachKindIsSentAndReadBack) {
  const SetCase cases[] = {
      {"COPIES", "COPIES", "007", "7"},
      {"TIMEOUT", "TIMEOUT", "3 00", "300"},
      {"PITCH", "LPARM:PCL PITCH", "0.5", "0.5"},
      {"PTSIZE", "LPARM:PCL PTSIZE", "14.25", "14.25"},
      {"DENSITY", "DENSITY", "5", "5"},
      {"ORIENTATION", "ORIENTATION", "LANDSCAPE", "LANDSCAPE"},
      {"PRTPSERRS", "LPARM:POSTSCRIPT PRTPSERRS", "ON", "ON"},
  };
  for (const SetCase& c : cases) {
    SCOPED_TRACE(c.row);
    std::string shownAfter;
    bool editShown = false;
    Run(
        [&](CPJLVariablesDlg& d) {
          DoubleClick(d, RowOf(d, c.row));
          std::string value;
          d.m_VariableList.GetCellText(RowOf(d, c.row), 1, value);
          shownAfter = value;
        },
        [&](CPJLVariableSetDlg& s) {
          editShown = s.m_ValueEdit.IsWindowVisible();
          EXPECT_NE(editShown, s.m_ValueCombo.IsWindowVisible());
          if (editShown) {
            Type(s, c.typed);
          } else {
            s.m_ValueCombo.SetCurSel(s.m_ValueCombo.FindStringExact(-1, c.typed));
          }
          Click(s, ui::IDOK);
        });
    EXPECT_EQ(editShown, CPJLVariableSetDlg::InputOf(c.row) != CPJLVariableSetDlg::Input::List);
    ASSERT_FALSE(Taken().empty());
    EXPECT_EQ(Taken().back(), std::string(c.pjlName) + "=" + c.sent);
    EXPECT_EQ(Value(c.pjlName), c.sent);
    EXPECT_EQ(shownAfter, c.sent);  // the grid was read again
  }
  EXPECT_TRUE(sink_.ids().empty());
}

TEST_F(PjlDialogs, SetDialogStartsFromTheCurrentValue) {
  OnPrinter(1, [](box_emulator::PjlPrinter& p) {
    p.Define({"PAPER", "A", true, false, {"LETTER", "A4", "A5", "LEGAL"}});
    p.Define({"RET", "NONE", true, false, {"OFF", "LIGHT"}});
  });
  struct Case {
    const char* row;
    const char* selected;
    int limit;
  } cases[] = {{"PAPER", "A4", 5}, {"RET", "OFF", 5}, {"DENSITY", "1", 5}};  // a range's bounds fill the hidden list
  // The dialog has no caption of its own: it carries the program's title, and its frame names the
  // variable it sets.
  const std::string oldTitle = ui::AppTitle();
  ui::SetAppTitle("Vardon Print Server Administration Program");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.row);
    std::string selected, title, frame;
    int limit = 0;
    Run([&](CPJLVariablesDlg& d) { DoubleClick(d, RowOf(d, c.row)); },
        [&](CPJLVariableSetDlg& s) {
          if (std::string(c.row) == "PAPER") Shot(s, "pjl_set_list");
          if (std::string(c.row) == "DENSITY") Shot(s, "pjl_set_edit");
          selected = s.m_ValueCombo.GetLBText(s.m_ValueCombo.GetCurSel());
          limit = s.m_ValueEdit.GetLimitText();
          title = s.GetSafeHwnd()->windowTitle().toStdString();
          frame = s.GetDlgItemText(CPJLVariableSetDlg::IDC_VARIABLE_GROUP);
        });
    EXPECT_EQ(selected, c.selected);  // a prefix after item 0, else item 0
    EXPECT_EQ(limit, c.limit);
    EXPECT_EQ(title, "Vardon Print Server Administration Program");
    EXPECT_EQ(frame, c.row);
  }
  ui::SetAppTitle(oldTitle);
  EXPECT_EQ(CountRequests("9601:"), 3);  // the three reads; Cancel sends nothing
}

TEST_F(PjlDialogs, RefusalsKeepTheDialogOpen) {
  struct Case {
    const char* row;
    const char* typed;
    int id;
    const char* message;
  } cases[] = {
      {"COPIES", "0", device_dialogs::IDS_NEED_VALUE_BETWEEN, "Need to input value between 1 - 999"},
      {"COPIES", "1000", device_dialogs::IDS_NEED_VALUE_BETWEEN, "Need to input value between 1 - 999"},
      {"COPIES", "", device_dialogs::IDS_NEED_INPUT_DATA, "Need to input data"},
      {"FORMLINES", "1x", device_dialogs::IDS_ILLEGAL_INPUT_DATA, "Illegal input data"},
      {"PITCH", "100", device_dialogs::IDS_NEED_VALUE_BETWEEN, "Need to input value between  0.44 - 99.99"},
      {"PITCH", "1.2.3", device_dialogs::IDS_ILLEGAL_INPUT_DATA, "Illegal input data"},
      {"PITCH", "5.", device_dialogs::IDS_ILLEGAL_INPUT_DATA, "Illegal input data"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.row) + " " + c.typed);
    ui::ScriptedMessageSink sink;
    platform::SetMessageSink(&sink);
    std::string after = "?";
    bool focused = false;
    bool open = false;
    Run([&](CPJLVariablesDlg& d) { DoubleClick(d, RowOf(d, c.row)); },
        [&](CPJLVariableSetDlg& s) {
          Type(s, c.typed);
          Click(s, ui::IDOK);
          open = s.IsModalRunning() && s.GetSafeHwnd()->isVisible();
          after = s.m_ValueEdit.GetWindowText();
          focused = s.GetSafeHwnd()->focusWidget() == s.m_ValueEdit.GetSafeHwnd();
        });
    ASSERT_EQ(sink.shown().size(), 1u);
    EXPECT_EQ(sink.shown()[0].id, c.id);
    EXPECT_EQ(sink.shown()[0].text, c.message);
    EXPECT_TRUE(open);
    EXPECT_EQ(after, "");
    EXPECT_TRUE(focused);
    EXPECT_TRUE(Taken().empty());
  }
}

TEST_F(PjlDialogs, NotReadyPrinterIsRefusedBeforeAnythingIsSent) {
  box_.SetPortStatus(1, Status("Printing", "On-Line"));
  Run([&](CPJLVariablesDlg& d) { DoubleClick(d, RowOf(d, "ORIENTATION")); },
      [&](CPJLVariableSetDlg& s) { Click(s, ui::IDOK); });
  EXPECT_EQ(sink_.ids(), std::vector<int>{device_dialogs::IDS_PRINTER_NOT_ON_LINE});
  EXPECT_TRUE(Taken().empty());
}

TEST_F(PjlDialogs, RangeWithFewerThanTwoBoundsLeavesTheValueToThePrinter) {
  OnPrinter(1, [](box_emulator::PjlPrinter& p) { p.Define({"COPIES", "1", false, false, {}}); });
  Run([&](CPJLVariablesDlg& d) { DoubleClick(d, RowOf(d, "COPIES")); },
      [&](CPJLVariableSetDlg& s) {
        Type(s, "12345");
        Click(s, ui::IDOK);
      });
  EXPECT_EQ(Value("COPIES"), "12345");
  EXPECT_TRUE(sink_.ids().empty());
}

TEST_F(PjlDialogs, ReadOnlyAndEmptyGridsOpenNothing) {
  int opened = 0;
  Run(
      [&](CPJLVariablesDlg& d) {
        DoubleClick(d, RowOf(d, "SYMSET"));
        DoubleClick(d, RowOf(d, "INTRAY1SIZE"));
        // Nothing reported: an empty grid, and the double-click notification does nothing.
        d.m_PJLConfiguration = PJLConfigurationData{};
        d.FillVariableList();
        EXPECT_EQ(d.m_VariableList.GetCount(), 0);
        d.Notify(CPJLVariablesDlg::IDC_VARIABLE_LIST, ui::SFTN_DBLCLK, nullptr);
      },
      [&](CPJLVariableSetDlg&) { ++opened; });
  EXPECT_EQ(opened, 0);
}

TEST_F(PjlDialogs, FailedReadBackEmptiesTheGrid) {
  int rows = -1;
  Run(
      [&](CPJLVariablesDlg& d) {
        DoubleClick(d, RowOf(d, "ORIENTATION"));
        rows = d.m_VariableList.GetCount();
      },
      [&](CPJLVariableSetDlg& s) {
        Click(s, ui::IDOK);
        // The printer stops answering after the set: the read-back fails.
        OnPrinter(1, [](box_emulator::PjlPrinter& p) { p.status = '1'; });
      });
  EXPECT_EQ(rows, 0);
  EXPECT_EQ(sink_.ids(), std::vector<int>{IDS_PRINTER_NOT_BIDIRECTIONAL});
}

// After a set the printer is busy for a while; the dialog checks up to four times, 8 s apart.
TEST_F(PjlDialogs, WaitsForTheIdlePrinterUpToFourChecksEightSecondsApart) {
  struct Case {
    int busyChecks;      // status checks after the set that find the printer busy
    bool ends;           // the dialog ends with IDOK
    std::int64_t waited; // virtual ms spent waiting
  } cases[] = {{0, true, 0}, {2, true, 16000}, {3, true, 24000}, {4, false, 32000}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.busyChecks);
    ui::ScriptedMessageSink sink;
    platform::SetMessageSink(&sink);
    std::intptr_t result = 0;
    std::int64_t waited = -1;
    std::string progress;
    Run([&](CPJLVariablesDlg& d) { DoubleClick(d, RowOf(d, "ORIENTATION")); },
        [&](CPJLVariableSetDlg& s) {
          std::vector<box_emulator::PortStatus> script = {Status("Idle", "On-Line")};  // the check before
          for (int i = 0; i < c.busyChecks; ++i) script.push_back(Status("Busy", "On-Line"));
          script.push_back(Status("Idle", "On-Line"));
          OnCore([&](box_emulator::BoxCore& core) { core.ScriptPortStatus(1, script); });
          clock_.onSleep = [&] {
            if (progress.empty() && s.IsWaiting()) progress = s.GetDlgItemText(CPJLVariableSetDlg::IDC_VALUE_LABEL);
          };
          const std::int64_t before = clock_.WaitedMs();
          Click(s, ui::IDOK);
          waited = clock_.WaitedMs() - before;
          clock_.onSleep = nullptr;
          result = s.IsModalRunning() && !s.GetSafeHwnd()->isVisible() ? ui::IDOK : 0;
          if (!c.ends) Shot(s, "pjl_set_waiting_done");
        });
    EXPECT_EQ(waited, c.waited);
    EXPECT_EQ(result == ui::IDOK, c.ends);
    if (c.busyChecks > 0) {
      EXPECT_EQ(progress, "Waiting for the printer (1 of 4) ...");
    }
    EXPECT_EQ(sink.ids(), c.ends ? std::vector<int>{} : std::vector<int>{device_dialogs::IDS_PRINTER_NOT_ON_LINE});
    EXPECT_EQ(g_bResultShown, 0);
  }
}

TEST_F(PjlDialogs, TheWaitCanBeStoppedAndTheGridShowsWhatWasSet) {
  std::string shownAfter;
  std::int64_t waited = 0;
  Run(
      [&](CPJLVariablesDlg& d) {
        DoubleClick(d, RowOf(d, "ORIENTATION"));
        d.m_VariableList.GetCellText(RowOf(d, "ORIENTATION"), 1, shownAfter);
      },
      [&](CPJLVariableSetDlg& s) {
        OnCore([&](box_emulator::BoxCore& core) {
          core.ScriptPortStatus(1, {Status("Idle", "On-Line"), Status("Busy", "On-Line")});
        });
        s.m_ValueCombo.SetCurSel(s.m_ValueCombo.FindStringExact(-1, "LANDSCAPE"));
        const std::int64_t before = clock_.WaitedMs();
        clock_.onSleep = [&] {
          if (clock_.WaitedMs() - before >= 3000 && s.IsWaiting()) {
            EXPECT_FALSE(s.GetDlgItem(ui::IDOK)->IsWindowEnabled());
            Shot(s, "pjl_set_waiting");
            Click(s, ui::IDCANCEL);
          }
        };
        Click(s, ui::IDOK);
        clock_.onSleep = nullptr;
        waited = clock_.WaitedMs() - before;
      });
  EXPECT_LT(waited, 8000);
  EXPECT_EQ(Value("ORIENTATION"), "LANDSCAPE");
  EXPECT_EQ(shownAfter, "LANDSCAPE");
  EXPECT_EQ(g_bResultShown, 0);
}

}  // namespace
}  // namespace dialog_test

// The printer status dialog against an emulated box: the texts of a port, the short and the full
// form, the animation frames on timer ticks, a port known by its configured name, a failing status
// request, the test page and the way to the PJL variables.
#include "console_pages/printer_status_dlg.h"

#include "console_pages/pjl_variables_dlg.h"
#include "console_pages/tests/device_dialogs_fixture.h"
#include "ui/test_support/gui_app.h"

#include <QGuiApplication>
#include <QScreen>

namespace dialog_test {
namespace {

using ui::CDialog;

class PrinterStatus : public DeviceDialogTest {
 protected:
  // Runs the dialog as the settings view does, for port `port`, with `body` in the modal hook.
  void Run(int port, const std::string& portName, const std::function<void(CPrinterStatusDlg&)>& body) {
    bool ran = false;
    ui::SetModalHook([&](CDialog& d) {
      if (d.Template().id != CPrinterStatusDlg::IDD) return;
      ran = true;
      body(static_cast<CPrinterStatusDlg&>(d));
    });
    RunPrinterStatusDialog(*util_, box_.DeviceName(), name_, port, portName);
    EXPECT_TRUE(ran);
  }
  static std::string Text(CDialog& d, int id) { return d.GetDlgItemText(id); }
  static bool Visible(CDialog& d, int id) { return d.GetDlgItem(id)->IsWindowVisible(); }
};

TEST_F(PrinterStatus, PrintingPortShowsEveryRowAndAnimatesOnEachTick) {
  box_.SetPortStatus(1, Status("Printing", "On-Line", "1234", "ALICE"));
  Run(1, "P1", [&](CPrinterStatusDlg& d) {
    Shot(d, "printer_status_printing");
    EXPECT_EQ(d.Template().caption, "Printer Status");
    EXPECT_EQ(Text(d, CPrinterStatusDlg::IDC_SELECTED_DEVICE), "LOBBY PRINTER");
    EXPECT_EQ(Text(d, CPrinterStatusDlg::IDC_PORT_GROUP), "Port : P1");
    EXPECT_EQ(Text(d, CPrinterStatusDlg::IDC_MODEL), "Laser 4");
    EXPECT_EQ(Text(d, CPrinterStatusDlg::IDC_STATUS), "On-Line");
    EXPECT_EQ(Text(d, CPrinterStatusDlg::IDC_PRINTING_INFORMATION), "Printing");
    EXPECT_EQ(Text(d, CPrinterStatusDlg::IDC_BYTES_SERVICED), "1234");
    EXPECT_EQ(Text(d, CPrinterStatusDlg::IDC_OCCUPIED_BY), "ALICE");
    EXPECT_EQ(Text(d, CPrinterStatusDlg::IDC_RETURN_CODE), "0");
    EXPECT_FALSE(Visible(d, CPrinterStatusDlg::IDC_RETURN_CODE));
    for (int id : {CPrinterStatusDlg::IDC_BYTES_SERVICED, CPrinterStatusDlg::IDC_OCCUPIED_BY,
                   CPrinterStatusDlg::IDC_BYTES_SERVICED_LABEL, CPrinterStatusDlg::IDC_OCCUPIED_BY_LABEL})
      EXPECT_TRUE(Visible(d, id));
    EXPECT_FALSE(d.m_btnConfigure.IsWindowEnabled());  // printing: not idle
    EXPECT_EQ(d.ShownPicture(), 170);
    EXPECT_EQ(d.PicturePosition(), QPoint(35, 70));
    ASSERT_TRUE(timers_.IsSet(&d, CPrinterStatusDlg::kTimerId));
    EXPECT_EQ(timers_.Interval(&d, CPrinterStatusDlg::kTimerId), 5000u);
    const int fullHeight = d.GetSafeHwnd()->height();

    std::vector<int> frames;
    for (int tick = 0; tick < 7; ++tick) {
      ASSERT_TRUE(timers_.Fire(&d, CPrinterStatusDlg::kTimerId));
      frames.push_back(d.ShownPicture());
    }
    EXPECT_EQ(frames, (std::vector<int>{171, 172, 173, 176, 177, 170, 171}));
    EXPECT_EQ(d.PicturePosition(), QPoint(30, 60));
    EXPECT_EQ(CountRequests("9020:"), 8);  // one at the start, one per tick

    // The job ends: the rows go, the dialog is 50 pixels shorter, the picture stands still.
    box_.SetPortStatus(1, Status("Idle", "On-Line"));
    ASSERT_TRUE(timers_.Fire(&d, CPrinterStatusDlg::kTimerId));
    ASSERT_TRUE(timers_.Fire(&d, CPrinterStatusDlg::kTimerId));
    Shot(d, "printer_status_idle");
    EXPECT_EQ(d.GetSafeHwnd()->height(), fullHeight - 50);
    EXPECT_FALSE(Visible(d, CPrinterStatusDlg::IDC_BYTES_SERVICED));
    EXPECT_FALSE(Visible(d, CPrinterStatusDlg::IDC_OCCUPIED_BY_LABEL));
    EXPECT_TRUE(d.m_btnConfigure.IsWindowEnabled());
    EXPECT_EQ(d.ShownPicture(), 170);
    EXPECT_EQ(d.PicturePosition(), QPoint(35, 70));
    // Printing again regains the height.
    box_.SetPortStatus(1, Status("Printing", "On-Line", "5", "BOB"));
    d.OnRefresh();
    EXPECT_EQ(d.GetSafeHwnd()->height(), fullHeight);
    EXPECT_EQ(Text(d, CPrinterStatusDlg::IDC_OCCUPIED_BY), "BOB");
  });
  EXPECT_TRUE(sink_.ids().empty());
}

TEST_F(PrinterStatus, ScriptedPrinterGoesOffLineAndOutOfPaper) {
  box_.SetModelCode(0x01, 0x02, 0x00);  // a model with P2
  box_.SetPortCounts(3, 1, 0);
  // One state per status request: at the start, then per tick.
  OnCore([](box_emulator::BoxCore& c) {
    c.ScriptPortStatus(2, {Status("Printing", "On-Line", "10", "ALICE"), Status("Printing", "Off-Line", "10", "ALICE"),
                           Status("Printing", "Paper Out", "10", "ALICE"), Status("Idle", "On-Line")});
  });
  Run(2, "", [&](CPrinterStatusDlg& d) {
    EXPECT_EQ(Text(d, CPrinterStatusDlg::IDC_STATUS), "On-Line");
    timers_.Fire(&d, CPrinterStatusDlg::kTimerId);
    EXPECT_EQ(d.ShownPicture(), 171);  // drawn before the query finds the printer off line
    EXPECT_EQ(Text(d, CPrinterStatusDlg::IDC_STATUS), "Off-Line");
    timers_.Fire(&d, CPrinterStatusDlg::kTimerId);
    EXPECT_EQ(d.ShownPicture(), 170);  // not on line: no animation
    EXPECT_EQ(Text(d, CPrinterStatusDlg::IDC_STATUS), "Paper Out");
    EXPECT_FALSE(d.m_btnConfigure.IsWindowEnabled());
    timers_.Fire(&d, CPrinterStatusDlg::kTimerId);
    EXPECT_EQ(Text(d, CPrinterStatusDlg::IDC_STATUS), "On-Line");
    EXPECT_EQ(Text(d, CPrinterStatusDlg::IDC_PRINTING_INFORMATION), "Idle");
    EXPECT_TRUE(d.m_btnConfigure.IsWindowEnabled());
  });
}

TEST_F(PrinterStatus, PortKnownByItsConfiguredNameAndMissingBlocks) {
  ASSERT_TRUE(box_.SetSetting("0040", "LOBBY"));
  box_.SetPortStatus(1, Status("Idle", "On-Line"));
  Run(1, "LOBBY", [&](CPrinterStatusDlg& d) {
    EXPECT_EQ(Text(d, CPrinterStatusDlg::IDC_PORT_GROUP), "Port : LOBBY");
    EXPECT_EQ(Text(d, CPrinterStatusDlg::IDC_STATUS), "On-Line");
    EXPECT_TRUE(d.m_btnConfigure.IsWindowEnabled());
  });
  // A box with two parallel ports has no block for port 3: four empty fields, no Configure.
  box_.SetPortCounts(2, 1, 0);
  Run(3, "P3", [&](CPrinterStatusDlg& d) {
    for (int id : {CPrinterStatusDlg::IDC_STATUS, CPrinterStatusDlg::IDC_PRINTING_INFORMATION,
                   CPrinterStatusDlg::IDC_BYTES_SERVICED, CPrinterStatusDlg::IDC_OCCUPIED_BY})
      EXPECT_EQ(Text(d, id), "");
    EXPECT_FALSE(d.m_btnConfigure.IsWindowEnabled());
  });
  // A printer that gives no model keeps Configure off even when on line and idle.
  OnPrinter(1, [](box_emulator::PjlPrinter& p) { p.bidirectional = false; });
  Run(1, "LOBBY", [&](CPrinterStatusDlg& d) {
    EXPECT_EQ(Text(d, CPrinterStatusDlg::IDC_MODEL), "");
    EXPECT_FALSE(d.m_btnConfigure.IsWindowEnabled());
  });
  EXPECT_TRUE(sink_.ids().empty());
}

TEST_F(PrinterStatus, FailingStatusIsShownAndTheTimerRestsWhileABoxIsOpen) {
  Run(1, "P1", [&](CPrinterStatusDlg& d) {
    box_.SwitchOff();
    timers_.Fire(&d, CPrinterStatusDlg::kTimerId);
    EXPECT_EQ(sink_.ids(), std::vector<int>{IDS_NETWORK_BUSY_OR_NOT_FOUND});
    EXPECT_EQ(Text(d, CPrinterStatusDlg::IDC_STATUS), "");
    EXPECT_FALSE(d.m_btnConfigure.IsWindowEnabled());
    EXPECT_EQ(g_bResultShown, 0);
    // While another result box is open the tick does nothing.
    g_bResultShown = 1;
    box_.SwitchOn();
    const std::size_t before = box_.RequestCount();
    timers_.Fire(&d, CPrinterStatusDlg::kTimerId);
    EXPECT_EQ(box_.RequestCount(), before);
    g_bResultShown = 0;
    timers_.Fire(&d, CPrinterStatusDlg::kTimerId);
    EXPECT_EQ(Text(d, CPrinterStatusDlg::IDC_STATUS), "On-Line");
  });
}

TEST_F(PrinterStatus, TestPageGoesToThePort) {
  Run(3, "P3", [&](CPrinterStatusDlg& d) { Click(d, CPrinterStatusDlg::IDC_TEST_PAGE); });
  EXPECT_EQ(box_.TestPagesPrinted(), std::vector<int>{3});
}

TEST_F(PrinterStatus, AFailedTestPageIsShownAndTheTimerGoesOnRefreshing) {
  box_.SetPortStatus(1, Status("Idle", "On-Line"));
  Run(1, "P1", [&](CPrinterStatusDlg& d) {
    box_emulator::FaultPlan fault;
    fault.errorChunk = 0;
    box_.InjectFault(fault);
    Click(d, CPrinterStatusDlg::IDC_TEST_PAGE);
    ASSERT_EQ(sink_.ids(), std::vector<int>{IDS_NETWORK_BUSY_OR_NOT_FOUND});
    EXPECT_EQ(sink_.shown().back().text, "Network Busy ,or Device not found !! ");
    // The box was closed when the click returned: the next ticks ask the status again.
    box_.SetPortStatus(1, Status("Printing", "On-Line", "77", "CAROL"));
    const int before = CountRequests("9020:");
    ASSERT_TRUE(timers_.Fire(&d, CPrinterStatusDlg::kTimerId));
    ASSERT_TRUE(timers_.Fire(&d, CPrinterStatusDlg::kTimerId));
    EXPECT_EQ(CountRequests("9020:"), before + 2);
    EXPECT_EQ(Text(d, CPrinterStatusDlg::IDC_OCCUPIED_BY), "CAROL");
  });
}

TEST_F(PrinterStatus, ConfigureOpensTheVariablesOnlyForAReadyPrinter) {
  box_.SetPortStatus(1, Status("Idle", "On-Line"));
  std::string model;
  int rows = -1;
  bool busyMeanwhile = false;
  ui::SetModalHook([&](CDialog& d) {
    if (d.Template().id == CPJLVariablesDlg::IDD) {
      auto& v = static_cast<CPJLVariablesDlg&>(d);
      model = d.GetDlgItemText(CPJLVariablesDlg::IDC_MODEL);
      rows = v.m_VariableList.GetCount();
      return;
    }
    auto& s = static_cast<CPrinterStatusDlg&>(d);
    // Busy printing: refused with the message, nothing opens.
    box_.SetPortStatus(1, Status("Printing", "On-Line"));
    Click(d, CPrinterStatusDlg::IDC_CONFIGURE);  // still enabled from the last refresh
    EXPECT_EQ(sink_.ids(), std::vector<int>{device_dialogs::IDS_PRINTER_NOT_ON_LINE});
    EXPECT_EQ(rows, -1);
    box_.SetPortStatus(1, Status("Idle", "On-Line"));
    s.OnRefresh();
    ui::SetShownHook([&](CDialog& shown) {
      if (shown.Template().id == CPJLVariablesDlg::IDD) busyMeanwhile = s.m_bBusy == 1;
    });
    Click(d, CPrinterStatusDlg::IDC_CONFIGURE);
    ui::SetShownHook({});
    EXPECT_EQ(s.m_bBusy, 0);
  });
  RunPrinterStatusDialog(*util_, box_.DeviceName(), name_, 1, "P1");
  EXPECT_TRUE(busyMeanwhile);
  EXPECT_EQ(model, "Laser 4");
  EXPECT_GT(rows, 20);
}

// Configure opens the variables over Printer Status, its owner: the two frames share their
// centre wherever the user has moved Printer Status, and the message of a printer gone busy
// opens over Printer Status too.
TEST_F(PrinterStatus, VariablesAndMessagesOpenCentredOverPrinterStatus) {
  box_.SetPortStatus(1, Status("Idle", "On-Line"));
  ui::QtMessageSink realBoxes;
  platform::SetMessageSink(&realBoxes);
  const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
  const QPoint places[] = {area.topLeft() + QPoint(200, 150), area.topLeft() + QPoint(20, 30),
                           area.bottomRight() - QPoint(250, 200)};
  std::vector<std::pair<QRect, QRect>> opened;  // (Printer Status, variables) frames
  QRect statusFrame, messageFrame;
  QString message;
  ui::SetModalHook([&](CDialog& d) {
    if (d.Template().id == CPJLVariablesDlg::IDD) {
      opened.emplace_back(statusFrame, d.GetSafeHwnd()->frameGeometry());
      Shot(d, "pjl_variables_over_status");
      return;
    }
    // Opened from the settings view with no window of its own: centred on the screen.
    EXPECT_EQ(d.GetSafeHwnd()->frameGeometry().center(), area.center());
    for (const QPoint& at : places) {
      d.GetSafeHwnd()->move(at);
      statusFrame = d.GetSafeHwnd()->frameGeometry();
      Click(d, CPrinterStatusDlg::IDC_CONFIGURE);
    }
    // The printer starts a job: the refusal is a real message box, over Printer Status.
    d.GetSafeHwnd()->move(places[0]);
    statusFrame = d.GetSafeHwnd()->frameGeometry();
    box_.SetPortStatus(1, Status("Printing", "On-Line"));
    ui::CloseNextMessageBox(&messageFrame, &message);
    Click(d, CPrinterStatusDlg::IDC_CONFIGURE);
  });
  RunPrinterStatusDialog(*util_, box_.DeviceName(), name_, 1, "P1");
  ASSERT_EQ(opened.size(), std::size(places));
  for (const auto& [status, variables] : opened) {
    SCOPED_TRACE(status.topLeft().x());
    EXPECT_TRUE(area.contains(variables));
    // Larger than Printer Status: centred on it, pushed only as far as the screen's edge demands.
    QRect centred(QPoint(), variables.size());
    centred.moveCenter(status.center());
    if (area.contains(centred)) {
      EXPECT_EQ(variables.center(), status.center());
    } else {
      EXPECT_TRUE(variables.left() == area.left() || variables.right() == area.right() ||
                  variables.top() == area.top() || variables.bottom() == area.bottom());
    }
  }
  EXPECT_EQ(opened.front().second.center(), opened.front().first.center());
  EXPECT_EQ(message.toStdString(), platform::LoadString(device_dialogs::IDS_PRINTER_NOT_ON_LINE));
  ASSERT_FALSE(messageFrame.isEmpty());
  EXPECT_EQ(messageFrame.center(), statusFrame.center());
}

TEST_F(PrinterStatus, ConfigureTriesTheVariablesThreeTimes) {
  box_.SetPortStatus(1, Status("Idle", "On-Line"));
  bool opened = false;
  ui::SetModalHook([&](CDialog& d) {
    if (d.Template().id == CPJLVariablesDlg::IDD) {
      opened = true;
      return;
    }
    OnPrinter(1, [](box_emulator::PjlPrinter& p) { p.infoVariablesAnswer = "@PJL INFO VARIABLES\r\n\"?\"\r\n\f"; });  // nothing to tell
    const std::int64_t before = clock_.WaitedMs();
    static_cast<CPrinterStatusDlg&>(d).OnConfigure();
    EXPECT_GE(clock_.WaitedMs() - before, 2000);
  });
  RunPrinterStatusDialog(*util_, box_.DeviceName(), name_, 1, "P1");
  EXPECT_FALSE(opened);
  EXPECT_EQ(sink_.ids(), std::vector<int>{IDS_PJL_CONFIG_NOT_AVAILABLE});
  EXPECT_EQ(CountRequests("9601:"), 3);
}

}  // namespace
}  // namespace dialog_test

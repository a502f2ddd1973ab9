// The settings view's device commands and the small dialogs, end to end against emulated boxes:
// Yes/No boxes and what the box received, the dialogs' accepted and refused inputs, and the view
// staying on the box it opened while the device list changes underneath it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>

#include <QAction>
#include <QApplication>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTest>

#include "console/console_state.h"
#include "console/main_frame.h"
#include "console/main_menu_dlg.h"
#include "console/pellam_view.h"
#include "console/tests/console_fixture.h"
#include "console_pages/printer_status_dlg.h"
#include "console_pages/send_direct_command_dlg.h"
#include "console_pages/small_dialogs.h"
#include "console_pages/system_page.h"
#include "device_client/settings/com_method.h"
#include "device_client/device_lists/device_lists.h"
#include "device_client/device_lists/tests/lists_test_support.h"
#include "platform/clock.h"

namespace console_test {
namespace {

using namespace std::chrono_literals;

constexpr int kConfirmReset = 32802;
constexpr int kConfirmFactory = 32804;
constexpr int kNetworkMessage = 32794;

void Click(ui::CWnd& dlg, int id) { QTest::mouseClick(dlg.GetDlgItem(id)->GetSafeHwnd(), Qt::LeftButton); }

// With PSA_TEST_SCREENSHOTS set to a folder, the dialogs are saved there for a look.
void Shot(ui::CDialog& d, const std::string& name) {
  const char* dir = std::getenv("PSA_TEST_SCREENSHOTS");
  if (dir != nullptr && *dir != '\0') ui::SaveScreenshot(d, QString::fromStdString(std::string(dir) + "/" + name + ".png"));
}

int CountRequests(box_emulator::Box& box, const std::string& prefix) {
  int n = 0;
  for (const auto& r : box.Requests()) n += r.data.rfind(prefix, 0) == 0 ? 1 : 0;
  return n;
}

class ViewCommandsTest : public ConsoleTest {
 protected:
  ~ViewCommandsTest() override {
    // The application ends while this fixture's sink and clock still exist.
    Stop();
    platform::SetMessageSink(&sink_);
  }
  // Starts, browses and opens the box of list row `row` with Advanced.
  void OpenRow(int row) {
    g_pMainMenuDlg->List().SetItemState(row, ui::LVIS_SELECTED, ui::LVIS_SELECTED);
    Click(*g_pMainMenuDlg, 1010);
    ASSERT_TRUE(View().IsDeviceOpen());
  }
  void Answer(std::vector<int> answers) {
    scripted_ = std::make_unique<ui::ScriptedMessageSink>(std::move(answers));
    platform::SetMessageSink(scripted_.get());
  }
  // Opens the one box; the command answered No sends nothing, then it runs answered Yes.
  box_emulator::Box& OpenAndConfirm(int command, int confirm) {
    MakeBoxes(1);
    EXPECT_TRUE(Start());
    Tick();
    OpenRow(0);
    fake_ = std::make_unique<platform::ScopedClock>(&clock_);
    box_emulator::Box& box = *boxes_[0];
    box.ClearRequests();
    Answer({ui::IDNO});
    EXPECT_TRUE(Command(command));
    EXPECT_EQ(Shown(), std::vector<int>{confirm});
    EXPECT_EQ(box.RequestCount(), 0u);
    Answer({ui::IDYES});
    EXPECT_TRUE(Command(command));
    EXPECT_EQ(Shown(), std::vector<int>{confirm});
    return box;
  }
  std::vector<int> Shown() const { return scripted_ ? scripted_->ids() : sink_.ids(); }
  bool Command(int id) { return Frame().OnCmdMsg(id); }

  std::unique_ptr<ui::ScriptedMessageSink> scripted_;
  platform::FakeClock clock_;
  std::unique_ptr<platform::ScopedClock> fake_;
};

TEST_F(ViewCommandsTest, ResetAsksFirstAndResetsOnlyOnYes) {
  box_emulator::Box& box = OpenAndConfirm(32771, kConfirmReset);
  EXPECT_EQ(CountRequests(box, "9002:"), 1);
  EXPECT_EQ(View().LastResult(), 0);
}

TEST_F(ViewCommandsTest, FactoryDefaultRestoresTheBoxAndShowsItsDefaultName) {
  box_emulator::Box& box = OpenAndConfirm(32774, kConfirmFactory);
  EXPECT_EQ(CountRequests(box, "9006:"), 1);
  const std::string defaultName = box.DefaultName();
  EXPECT_EQ(box.DeviceName(), defaultName);
  EXPECT_EQ(g_szDeviceName, defaultName);
  EXPECT_EQ(gdsSystemConfigurationData.szDeviceName, defaultName);
  EXPECT_EQ(gdsNetwareConfigurationData.szPrintServerName, defaultName);
  // The page on show is made again from the new records.
  ASSERT_EQ(g_pCurrentPage, &g_SystemPage);
  EXPECT_EQ(g_SystemPage.m_editDeviceName.GetWindowText(), defaultName);
  EXPECT_TRUE(Frame().IsWindowVisible());
  EXPECT_TRUE(View().IsDeviceOpen());
}

TEST_F(ViewCommandsTest, AFailedFactoryDefaultReadBackReturnsToTheListWithoutKeepingOldValues) {
  MakeBoxes(1);
  ASSERT_TRUE(Start());
  Tick();
  OpenRow(0);
  platform::ScopedClock fake(&clock_);
  box_emulator::Box& box = *boxes_[0];
  // The restore itself goes through; every read after it fails.
  int answered = 0;
  Answer({ui::IDYES});
  box.ClearRequests();
  // Find how many requests the restore makes, then fail the ones after it.
  {
    ASSERT_EQ(TheUtility().mRestoreFactoryDefault(box.DefaultName()), 0);
    answered = static_cast<int>(box.RequestCount());
    box.ClearRequests();
  }
  box_emulator::FaultPlan pass;
  pass.count = answered;
  box.InjectFault(pass);
  box_emulator::FaultPlan broken;
  broken.count = 100;
  broken.garbage = 3;
  box.InjectFault(broken);
  ASSERT_TRUE(Command(32774));
  EXPECT_EQ(CountRequests(box, "9006:"), 1);
  ASSERT_GE(Shown().size(), 2u);
  EXPECT_EQ(Shown()[0], kConfirmFactory);
  EXPECT_NE(View().LastResult(), 0);
  // The restore went through; the read after it is the one that failed.
  EXPECT_EQ(static_cast<int>(box.RequestCount()), answered + 1);
  EXPECT_EQ(box.Requests().back().data.rfind("9100:", 0), 0u);
  // Back at the device list: the old records are not shown as the box's settings.
  EXPECT_FALSE(View().IsDeviceOpen());
  EXPECT_FALSE(Frame().IsWindowVisible());
}

TEST_F(ViewCommandsTest, CommandsStayOnTheOpenedBoxWhileTheListChanges) {
  MakeBoxes(2);
  ASSERT_TRUE(Start());
  Tick();
  OpenRow(0);
  const std::string opened = g_pMainMenuDlg->List().GetItemText(0, 1);
  const std::string other = g_pMainMenuDlg->List().GetItemText(1, 1);
  // A click on the other row and a new browse while the box is open.
  g_pMainMenuDlg->List().SetItemState(1, ui::LVIS_SELECTED, ui::LVIS_SELECTED);
  EXPECT_EQ(g_szDefaultName, other);
  Tick();
  Tick();
  View().BrowsePrintServers();
  g_pMainMenuDlg->List().SetItemState(1, ui::LVIS_SELECTED, ui::LVIS_SELECTED);
  EXPECT_EQ(View().OpenedBox().defaultName, opened);
  // The printer-status items follow the opened box's model, not one a browse checked meanwhile.
  const int openedModel = View().OpenedBox().modelType;
  g_iModelType = ModelHasParallelPort(openedModel, 2) ? 6 : 13;
  Frame().UpdateCommands();
  EXPECT_EQ(Frame().GetMenu()->Action(33001)->isEnabled(), ModelHasParallelPort(openedModel, 2));
  EXPECT_EQ(Frame().GetMenu()->Action(33002)->isEnabled(), ModelHasParallelPort(openedModel, 3));

  platform::ScopedClock fake(&clock_);
  BoxNamed(opened).ClearRequests();
  BoxNamed(other).ClearRequests();
  Answer({ui::IDYES, ui::IDYES});
  ASSERT_TRUE(Command(32771));
  std::string selected;
  ui::SetModalHook([&](ui::CDialog& d) {
    if (d.Template().id == CSendDirectCommandDlg::IDD) selected = static_cast<CSendDirectCommandDlg&>(d).m_szDefaultName;
    if (d.Template().id == CDeviceInformationDlg::IDD) selected += "|" + d.GetDlgItemText(CDeviceInformationDlg::IDC_SELECTED_DEVICE);
    d.EndDialog(ui::IDOK);
  });
  ASSERT_TRUE(Command(32781));
  ASSERT_TRUE(Command(32773));
  EXPECT_EQ(selected, opened + "|" + View().OpenedBox().deviceName);
  ASSERT_TRUE(Command(32774));
  EXPECT_EQ(CountRequests(BoxNamed(opened), "9002:"), 2);
  EXPECT_EQ(CountRequests(BoxNamed(opened), "9006:"), 1);
  EXPECT_EQ(BoxNamed(other).RequestCount(), 0u);

  // After "Return to Main Menu" the restored box's own row shows its default name, the other row
  // keeps its name; the commands act on nothing until a box is opened again.
  const std::string otherName = BoxNamed(other).DeviceName();
  Click(View(), 1013);
  for (int row = 0; row < 2; ++row) {
    const std::string defaultName = g_pMainMenuDlg->List().GetItemText(row, 1);
    EXPECT_EQ(g_pMainMenuDlg->List().GetItemText(row, 0), defaultName == opened ? opened : otherName);
  }
  BoxNamed(other).ClearRequests();
  Answer({ui::IDYES});
  ASSERT_TRUE(Command(32771));
  EXPECT_TRUE(Shown().empty());
  EXPECT_EQ(BoxNamed(other).RequestCount(), 0u);
}

TEST_F(ViewCommandsTest, DeviceInformationShowsTheBoxsTextOrClosesAfterItsMessage) {
  MakeBoxes(1);
  ASSERT_TRUE(Start());
  Tick();
  OpenRow(0);
  std::string selected, text;
  bool shown = false;
  ui::SetModalHook([&](ui::CDialog& d) {
    shown = true;
    selected = d.GetDlgItemText(CDeviceInformationDlg::IDC_SELECTED_DEVICE);
    auto* edit = qobject_cast<QPlainTextEdit*>(d.GetDlgItem(CDeviceInformationDlg::IDC_INFORMATION)->GetSafeHwnd());
    ASSERT_NE(edit, nullptr);
    EXPECT_TRUE(edit->isReadOnly());
    text = edit->toPlainText().toStdString();
    Shot(d, "device_information");
    d.EndDialog(ui::IDOK);
  });
  ASSERT_TRUE(Command(32773));
  EXPECT_TRUE(shown);
  EXPECT_EQ(selected, boxes_[0]->DeviceName());
  std::string expected;
  ASSERT_EQ(TheUtility().mGetDeviceInformation(boxes_[0]->DefaultName(), expected), 0);
  // The box ends its lines with CR LF; the box shows them as lines.
  expected.erase(std::remove(expected.begin(), expected.end(), '\r'), expected.end());
  EXPECT_EQ(text, expected);
  EXPECT_FALSE(text.empty());
  EXPECT_TRUE(sink_.ids().empty());

  boxes_[0]->SwitchOff();
  shown = false;
  ASSERT_TRUE(Command(32773));
  EXPECT_FALSE(shown);
  EXPECT_EQ(sink_.ids(), std::vector<int>{kNetworkMessage});
}

TEST_F(ViewCommandsTest, PrinterStatusOpensForTheChosenPortOfTheOpenedBox) {
  MakeBoxes(1);
  ASSERT_TRUE(Start());
  Tick();
  OpenRow(0);
  for (int port = 1; port <= 3; ++port) {
    SCOPED_TRACE(port);
    int shownPort = 0;
    std::string defaultName, portName;
    ui::SetModalHook([&](ui::CDialog& d) {
      ASSERT_EQ(d.Template().id, CPrinterStatusDlg::IDD);
      auto& status = static_cast<CPrinterStatusDlg&>(d);
      shownPort = status.m_iPort;
      defaultName = status.m_szDefaultName;
      portName = status.m_szPortName;
      d.EndDialog(ui::IDOK);
    });
    ASSERT_TRUE(Command(33000 + port - 1));
    EXPECT_EQ(shownPort, port);
    EXPECT_EQ(defaultName, boxes_[0]->DefaultName());
    EXPECT_EQ(portName, gdsPhysicalPortConfigurationData[port - 1].szPortName);
  }
}

// The Printer menu's Test Page items: one per parallel port, enabled for the ports the opened
// box's model has; each prints that port's test page on the opened box.
TEST_F(ViewCommandsTest, TestPageItemsPrintOnTheOpenedBoxsOwnParallelPorts) {
  struct Case {
    const char* name;
    std::uint8_t code[3];
    int parallel, serial;
    std::vector<int> ports;  // the ports whose items are enabled
  };
  const Case cases[] = {{"one port (model 0)", {0x00, 0x54, 0x10}, 1, 0, {1}},
                        {"two ports and serial (model 2)", {0x00, 0x14, 0x00}, 2, 1, {1, 2}},
                        {"two ports (model 16)", {0x06, 0x31, 0x00}, 2, 0, {1, 2}},
                        {"three ports and serial (model 3)", {0x01, 0x02, 0x00}, 3, 1, {1, 2, 3}}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    MakeBoxes(1);
    box_emulator::Box& box = *boxes_.back();
    box.SetModelCode(c.code[0], c.code[1], c.code[2]);
    box.SetPortCounts(c.parallel, c.serial, 0);
    ASSERT_TRUE(Start());
    Tick();
    OpenRow(0);
    ASSERT_EQ(View().OpenedBox().defaultName, box.DefaultName());
    // The items sit in the Printer menu's "Test Page" sub-menu, in port order.
    QMenu* printer = nullptr;
    QMenu* testPages = nullptr;
    for (QAction* top : Frame().Frame()->menuBar()->actions()) {
      if (top->text() != "&Printer") continue;
      printer = top->menu();
      for (QAction* item : top->menu()->actions()) {
        if (item->menu() != nullptr && item->text() == "&Test Page") testPages = item->menu();
      }
    }
    ASSERT_NE(testPages, nullptr);
    ASSERT_EQ(testPages->actions().size(), 3);
    Frame().UpdateCommands();
    // With PSA_TEST_SCREENSHOTS set to a folder, the Printer menu and its Test Page sub-menu are
    // saved there for a look.
    if (const char* dir = std::getenv("PSA_TEST_SCREENSHOTS"); dir != nullptr && *dir != '\0' && c.parallel == 2) {
      printer->popup(Frame().Frame()->mapToGlobal(QPoint(40, 20)));
      testPages->popup(printer->geometry().topRight());
      QApplication::processEvents();
      ui::SaveScreenshot(printer, QString::fromStdString(std::string(dir) + "/printer_menu.png"));
      ui::SaveScreenshot(testPages, QString::fromStdString(std::string(dir) + "/printer_menu_test_page.png"));
      testPages->hide();
      printer->hide();
    }
    std::vector<int> printed;
    for (int port = 1; port <= 3; ++port) {
      SCOPED_TRACE(port);
      QAction* item = Frame().GetMenu()->Action(32789 + port - 1);
      ASSERT_NE(item, nullptr);
      EXPECT_EQ(item, testPages->actions()[port - 1]);
      EXPECT_EQ(item->text().toStdString(), "Parallel Port &" + std::to_string(port));
      const bool has = std::find(c.ports.begin(), c.ports.end(), port) != c.ports.end();
      EXPECT_EQ(item->isEnabled(), has);
      // The user's choice of the item (a disabled one does nothing).
      item->trigger();
      if (has) printed.push_back(port);
      EXPECT_EQ(box.TestPagesPrinted(), printed);
    }
    EXPECT_TRUE(sink_.ids().empty());
    Stop();
  }
}

TEST_F(ViewCommandsTest, TestPageGoesToTheOpenedBoxAndAFailureShowsItsMessage) {
  MakeBoxes(2);
  for (auto& b : boxes_) b->SetPortCounts(3, 1, 0), b->SetModelCode(0x01, 0x02, 0x00);
  ASSERT_TRUE(Start());
  Tick();
  OpenRow(0);
  box_emulator::Box& opened = BoxNamed(View().OpenedBox().defaultName);
  box_emulator::Box& other = BoxNamed(g_pMainMenuDlg->List().GetItemText(1, 1));
  // A click on the other row meanwhile changes nothing.
  g_pMainMenuDlg->List().SetItemState(1, ui::LVIS_SELECTED, ui::LVIS_SELECTED);
  ASSERT_TRUE(Command(32791));
  EXPECT_EQ(opened.TestPagesPrinted(), std::vector<int>{3});
  EXPECT_TRUE(other.TestPagesPrinted().empty());
  EXPECT_TRUE(sink_.ids().empty());
  EXPECT_EQ(View().LastResult(), 0);

  // The box takes the request but answers with its error byte set: the message, with its text;
  // the next one goes through.
  platform::ScopedClock fake(&clock_);
  box_emulator::FaultPlan fault;
  fault.errorChunk = 0;
  opened.InjectFault(fault);
  ASSERT_TRUE(Command(32790));
  EXPECT_EQ(sink_.ids(), std::vector<int>{kNetworkMessage});
  ASSERT_EQ(sink_.shown().size(), 1u);
  EXPECT_FALSE(sink_.shown()[0].text.empty());
  EXPECT_NE(View().LastResult(), 0);
  EXPECT_EQ(g_bResultShown, 0);
  ASSERT_TRUE(Command(32790));
  EXPECT_EQ(opened.TestPagesPrinted(), (std::vector<int>{3, 2, 2}));
  EXPECT_EQ(sink_.ids().size(), 1u);
  // A box that has gone away.
  opened.SwitchOff();
  ASSERT_TRUE(Command(32789));
  EXPECT_EQ(sink_.ids().size(), 2u);
  EXPECT_EQ(sink_.ids().back(), kNetworkMessage);
  EXPECT_TRUE(other.TestPagesPrinted().empty());

  // Back at the device list the items act on no box.
  Click(View(), 1013);
  ASSERT_TRUE(Command(32789));
  EXPECT_TRUE(other.TestPagesPrinted().empty());
  EXPECT_EQ(sink_.ids().size(), 2u);
}

TEST_F(ViewCommandsTest, ReinitializingTheLanNeedsAProtocolThenBrowsesAgain) {
  MakeBoxes(2);
  ASSERT_TRUE(Start());
  Tick();
  WriteConnected(0, 0, 0);
  ASSERT_TRUE(Command(32777));
  EXPECT_EQ(sink_.ids(), std::vector<int>{32889});
  WriteConnected(1, 0, 0);
  g_pMainMenuDlg->ClearList();
  Tick();
  Tick();
  ASSERT_TRUE(Command(32777));
  EXPECT_EQ(sink_.ids(), std::vector<int>{32889});
  EXPECT_EQ(g_pMainMenuDlg->List().GetItemCount(), 2);
  EXPECT_EQ(View().BrowseTicks(), 0);
}

TEST_F(ViewCommandsTest, AboutShowsTheProgramAndItsVersion) {
  ASSERT_TRUE(Start());
  std::string version;
  ui::SetModalHook([&](ui::CDialog& d) {
    EXPECT_EQ(d.Template().id, CAboutDlg::IDD);
    version = d.GetDlgItemText(CAboutDlg::IDC_VERSION);
    Shot(d, "about");
    d.EndDialog(ui::IDOK);
  });
  ASSERT_TRUE(Command(57664));
  EXPECT_EQ(version, ConsoleVersionText());
}

// ---- Adding a box of another segment ------------------------------------------------------------

struct AddCase {
  const char* name;
  std::vector<std::string> octets;  // "<box>" stands for the box's own octet
  std::vector<int> messages;
  int emptiedOctet;  // -1: none
  bool added;
};

std::vector<std::string> OctetsOf(const std::string& address) {
  std::vector<std::string> out;
  std::size_t start = 0;
  while (true) {
    const std::size_t dot = address.find('.', start);
    out.push_back(address.substr(start, dot - start));
    if (dot == std::string::npos) break;
    start = dot + 1;
  }
  return out;
}

TEST_F(ViewCommandsTest, AddingABoxOfAnotherSegment) {
  MakeBoxes(1);
  ASSERT_TRUE(Start());
  Tick();
  box_emulator::Box extra(lists_test::QuickBox());
  extra.SetDeviceName("ANNEX");
  const std::vector<std::string> own = OctetsOf(extra.Address());
  ASSERT_EQ(own.size(), 4u);
  auto padded = [](const std::string& o) { return std::string(3 - o.size(), '0') + o; };

  const AddCase cases[] = {
      {"empty second octet", {own[0], "", own[2], own[3]}, {32878}, 1, false},
      {"blank only", {own[0], own[1], " ", own[3]}, {32878}, 2, false},
      {"letters", {own[0], "1a", own[2], own[3]}, {32826}, 1, false},
      {"beyond 255", {own[0], own[1], own[2], "256"}, {32827}, 3, false},
      {"first failure wins", {"999", "x", own[2], own[3]}, {32827}, 0, false},
      // Leading zeros are decimal: 064 stays 64 (as octal it would be 52 and miss the box).
      {"leading zeros", {padded(own[0]), padded(own[1]), padded(own[2]), padded(own[3])}, {}, -1, true},
  };
  for (const AddCase& c : cases) {
    SCOPED_TRACE(c.name);
    sink_ = ui::ScriptedMessageSink();
    std::vector<std::string> after;
    int result = -1;
    ui::SetModalHook([&](ui::CDialog& d) {
      EXPECT_EQ(d.Template().id, CAddCrossSegmentPrintServerDlg::IDD);
      const int ids[4] = {1093, 1095, 1097, 1100};
      for (int i = 0; i < 4; ++i) EXPECT_EQ(d.GetDlgItemText(ids[i]), "0");
      for (int i = 0; i < 4; ++i) static_cast<ui::CEdit*>(d.GetDlgItem(ids[i]))->SetWindowText(c.octets[i]);
      Click(d, ui::IDOK);
      for (int id : ids) after.push_back(d.GetDlgItemText(id));
      result = d.Result();
      if (c.name == std::string("letters")) Shot(d, "add_cross_segment");
    });
    const int before = View().DeviceTree().GetCount();
    ASSERT_TRUE(Command(32776));
    EXPECT_EQ(sink_.ids(), c.messages);
    ASSERT_EQ(after.size(), 4u);
    for (int i = 0; i < 4; ++i) {
      if (i == c.emptiedOctet) {
        EXPECT_EQ(after[i], "");
      } else if (!c.added) {
        EXPECT_EQ(after[i], c.octets[i]);
      }
    }
    if (c.added) {
      EXPECT_EQ(result, ui::IDOK);
      EXPECT_EQ(View().DeviceTree().GetCount(), before + 1);
    } else {
      EXPECT_EQ(View().DeviceTree().GetCount(), before);
    }
  }
}

TEST_F(ViewCommandsTest, AddingABoxAlreadyListedKeepsTheOctetsOrClearsThemForATakenName) {
  MakeBoxes(2);
  ASSERT_TRUE(Start());
  Tick();
  ui::CSftTree& tree = View().DeviceTree();
  // A box whose default name is in the tree in other letters: kept octets, the three-line message.
  box_emulator::Box extra(lists_test::QuickBox());
  extra.SetDeviceName("ANNEX");
  std::string lowered = extra.DefaultName();
  for (char& ch : lowered) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
  const int row = tree.AddItem(lowered);
  tree.SetCellText(row, 1, "SOMETHING");
  const std::vector<std::string> own = OctetsOf(extra.Address());
  std::vector<std::string> after;
  auto type = [&](ui::CDialog& d) {
    const int ids[4] = {1093, 1095, 1097, 1100};
    for (int i = 0; i < 4; ++i) static_cast<ui::CEdit*>(d.GetDlgItem(ids[i]))->SetWindowText(own[i]);
    Click(d, ui::IDOK);
    after.clear();
    for (int id : ids) after.push_back(d.GetDlgItemText(id));
  };
  ui::SetModalHook(type);
  ASSERT_TRUE(Command(32776));
  EXPECT_EQ(sink_.ids(), std::vector<int>{32881});
  EXPECT_EQ(after, own);
  EXPECT_NE(sink_.shown()[0].text.find("change IP address"), std::string::npos);
  // Nothing was stored: the library does not list the box, and once the tree no longer holds the
  // name the same address is added.
  EXPECT_LT(FindDeviceIndex(extra.DefaultName().c_str()), 0);
  tree.DeleteItem(row);
  sink_ = ui::ScriptedMessageSink();
  ASSERT_TRUE(Command(32776));
  EXPECT_TRUE(sink_.ids().empty());
  EXPECT_GE(FindDeviceIndex(extra.DefaultName().c_str()), 0);

  // Another new box whose device name a listed box already carries: message 32875, octets cleared.
  box_emulator::Box twin(lists_test::QuickBox());
  std::string takenName;
  tree.GetCellText(0, 1, takenName);
  twin.SetDeviceName(takenName);
  const std::vector<std::string> twinOctets = OctetsOf(twin.Address());
  sink_ = ui::ScriptedMessageSink();
  ui::SetModalHook([&](ui::CDialog& d) {
    const int ids[4] = {1093, 1095, 1097, 1100};
    for (int i = 0; i < 4; ++i) static_cast<ui::CEdit*>(d.GetDlgItem(ids[i]))->SetWindowText(twinOctets[i]);
    Click(d, ui::IDOK);
    after.clear();
    for (int id : ids) after.push_back(d.GetDlgItemText(id));
  });
  const int count = tree.GetCount();
  ASSERT_TRUE(Command(32776));
  EXPECT_EQ(sink_.ids(), std::vector<int>{32875});
  EXPECT_EQ(after, (std::vector<std::string>{"", "", "", ""}));
  EXPECT_EQ(tree.GetCount(), count);
  EXPECT_LT(FindDeviceIndex(twin.DefaultName().c_str()), 0);
}

// ---- Change password ----------------------------------------------------------------------------

TEST_F(ViewCommandsTest, ChangePasswordComparesUpperCaseEntriesAndSendsTheMatch) {
  MakeBoxes(1);
  ASSERT_TRUE(Start());
  Tick();
  platform::ScopedClock fake(&clock_);
  box_emulator::Box& box = *boxes_[0];
  box.SetPassword("OLD");
  struct Case {
    const char* first;
    const char* second;
    std::vector<int> messages;
    int result;
    std::string stored;
  } cases[] = {
      {"secret", "SECRET", {}, ui::IDOK, "SECRET"},  // typed lower case: both upper case
      {"abc", "abd", {32812}, ui::IDCANCEL, "SECRET"},
      {"", "", {}, ui::IDOK, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.first);
    sink_ = ui::ScriptedMessageSink();
    std::string firstAfter = "?", secondAfter = "?";
    ui::SetModalHook([&](ui::CDialog& d) {
      auto* first = qobject_cast<QLineEdit*>(d.GetDlgItem(CChangePasswordDlg::IDC_PASSWORD)->GetSafeHwnd());
      auto* second = qobject_cast<QLineEdit*>(d.GetDlgItem(CChangePasswordDlg::IDC_RETYPE_PASSWORD)->GetSafeHwnd());
      EXPECT_EQ(first->echoMode(), QLineEdit::Password);
      QTest::keyClicks(first, c.first);
      QTest::keyClicks(second, c.second);
      if (c.messages.size() == 1) Shot(d, "change_password");
      Click(d, ui::IDOK);
      firstAfter = d.GetDlgItemText(CChangePasswordDlg::IDC_PASSWORD);
      secondAfter = d.GetDlgItemText(CChangePasswordDlg::IDC_RETYPE_PASSWORD);
    });
    CChangePasswordDlg dlg(TheUtility());
    dlg.m_szDefaultName = box.DefaultName();
    EXPECT_EQ(dlg.DoModal(), c.result);
    EXPECT_EQ(sink_.ids(), c.messages);
    EXPECT_EQ(box.Password(), c.stored);
    if (!c.messages.empty()) {
      EXPECT_EQ(firstAfter, "");
      EXPECT_EQ(secondAfter, "");
    }
  }
  // Nineteen characters at most.
  ui::SetModalHook([&](ui::CDialog& d) {
    auto* first = qobject_cast<QLineEdit*>(d.GetDlgItem(CChangePasswordDlg::IDC_PASSWORD)->GetSafeHwnd());
    QTest::keyClicks(first, "abcdefghijklmnopqrstuvwxyz");
    EXPECT_EQ(d.GetDlgItemText(CChangePasswordDlg::IDC_PASSWORD), "ABCDEFGHIJKLMNOPQRS");
  });
  CChangePasswordDlg dlg(TheUtility());
  EXPECT_EQ(dlg.DoModal(), ui::IDCANCEL);
}

}  // namespace
}  // namespace console_test

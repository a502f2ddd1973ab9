// The console end to end in the test process: start and its refusals, the browse and the list,
// Quick, Protocol, Advanced and the pause event, Exit, and a second start reaching the first.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>

#include <QAbstractItemView>
#include <QAction>
#include <QImage>
#include <QLineEdit>
#include <QTabBar>
#include <QTest>
#include <QTimer>

#include "console/console_state.h"
#include "console/main_frame.h"
#include "console/main_menu_dlg.h"
#include "console/pellam_view.h"
#include "console/resource.h"
#include "console/tests/console_fixture.h"
#include "console_pages/quick_setup_dlg.h"
#include "device_client/core/transport/transport.h"
#include "device_client/device_lists/tests/lists_test_support.h"
#include "device_client/core/scan_cache/scan_cache.h"
#include "device_client/access/ncb.h"
#include "device_client/access/tests/dead_transports.h"
#include "device_client/settings/com_method.h"
#include "platform/named_objects/named_objects.h"
#include "platform/netprobe/netprobe.h"
#include "platform/paths.h"
#include "platform/profile.h"

namespace console_test {
namespace {

using namespace std::chrono_literals;

constexpr const char* kPauseEvent = "Print Server Pause Event";
constexpr const char* kAdminEvent = "Print Server Tollard Event";
constexpr int kNetworkMessage = 32794;

bool EventExists(const char* name) {
  HANDLE h = OpenEvent(SYNCHRONIZE, FALSE, name);
  if (h) CloseHandle(h);
  return h != nullptr;
}

std::vector<std::string> Rows(ui::CListCtrl& list, int column) {
  std::vector<std::string> rows;
  for (int i = 0; i < list.GetItemCount(); ++i) rows.push_back(list.GetItemText(i, column));
  return rows;
}

std::vector<std::string> TreeColumn(ui::CSftTree& tree, int column) {
  std::vector<std::string> rows;
  for (int i = 0; i < tree.GetCount(); ++i) {
    std::string text;
    tree.GetCellText(i, column, text);
    rows.push_back(text);
  }
  return rows;
}

std::vector<std::string> Sorted(std::vector<std::string> v) {
  std::sort(v.begin(), v.end());
  return v;
}

std::string TabText(ui::CTabCtrl& tabs, int i) {
  auto* bar = qobject_cast<QTabBar*>(tabs.GetSafeHwnd());
  return bar ? bar->tabText(i).toStdString() : std::string();
}

void Click(ui::CWnd& dlg, int id) { QTest::mouseClick(dlg.GetDlgItem(id)->GetSafeHwnd(), Qt::LeftButton); }

using access_test::DeadProvider;
using access_test::NoNetbios;

TEST_F(ConsoleTest, StartsHiddenBehindTheListThenBrowsesOnTheFirstTick) {
  MakeBoxes();
  ASSERT_TRUE(Start());
  EXPECT_FALSE(Frame().IsWindowVisible());
  EXPECT_EQ(Frame().GetWindowText(), "Print Server Administration Program - Vardon Print Server Administration Program");
  CMainMenuDlg& list = *g_pMainMenuDlg;
  EXPECT_TRUE(list.IsWindowVisible());
  EXPECT_EQ(list.List().GetItemCount(), 0);
  EXPECT_FALSE(list.GetDlgItem(1011)->IsWindowEnabled());
  EXPECT_FALSE(list.GetDlgItem(1010)->IsWindowEnabled());
  EXPECT_TRUE(EventExists(kAdminEvent));
  EXPECT_TRUE(timers_.IsSet(&View(), CPellamView::kTimerId));
  EXPECT_EQ(timers_.Interval(&View(), CPellamView::kTimerId), 100u);

  Tick();
  // Every box is listed once, in the library's order; the tree holds the same boxes in that order.
  const std::vector<std::string> devices = Rows(list.List(), 0), defaults = Rows(list.List(), 1);
  ASSERT_EQ(defaults.size(), 3u);
  for (std::size_t i = 0; i < defaults.size(); ++i) {
    EXPECT_EQ(devices[i], NameOfBox(defaults[i]));
  }
  EXPECT_EQ(Sorted(defaults), Sorted(BoxDefaults()));
  EXPECT_EQ(TreeColumn(View().DeviceTree(), 0), defaults);
  EXPECT_EQ(TreeColumn(View().DeviceTree(), 1), devices);
  EXPECT_EQ(list.List().GetNextItem(-1, ui::LVNI_SELECTED), 0);
  EXPECT_TRUE(list.GetDlgItem(1011)->IsWindowEnabled());
  EXPECT_TRUE(list.GetDlgItem(1010)->IsWindowEnabled());
  EXPECT_EQ(g_szDefaultName, defaults[0]);
  EXPECT_EQ(g_szDeviceName, devices[0]);
  EXPECT_TRUE(sink_.ids().empty());
  // The automatic browse runs once; Browse right after it is refused and keeps the list.
  Tick();
  Click(list, 1000);
  EXPECT_EQ(list.List().GetItemCount(), 3);
  EXPECT_EQ(View().BrowseTicks(), 1);
  Tick();
  boxes_[1]->SetDeviceName("LAB 2");
  auto records = std::vector<scan_cache::ScanCacheRecord>{};
  for (auto& b : boxes_) records.push_back(lists_test::CacheRecordOf(*b));
  ASSERT_TRUE(scan_cache::WriteScanFile(scan_cache::kUdpFile, records.data(), 3));
  Click(list, 1000);
  EXPECT_EQ(Rows(list.List(), 1), defaults);
  for (std::size_t i = 0; i < defaults.size(); ++i) {
    EXPECT_EQ(Rows(list.List(), 0)[i], NameOfBox(defaults[i]));
  }
  EXPECT_NE(std::find(Rows(list.List(), 0).begin(), Rows(list.List(), 0).end(), "LAB 2"), Rows(list.List(), 0).end());
}

TEST_F(ConsoleTest, RefreshDelayPostponesTheFirstBrowse) {
  MakeBoxes(1);
  WritePrivateProfileString("general", "RefreshDelay", "3", "common.ini");
  ASSERT_TRUE(Start());
  for (int i = 0; i < 3; ++i) Tick();
  EXPECT_EQ(g_pMainMenuDlg->List().GetItemCount(), 0);
  Tick();
  EXPECT_EQ(g_pMainMenuDlg->List().GetItemCount(), 1);
}

TEST_F(ConsoleTest, RefusalsEndTheStartWithTheirMessage) {
  MakeBoxes(1);
  std::ofstream(root_.path() + "/not-a-program") << "text\n";
  DeadProvider dead;
  struct Case {
    const char* what;
    std::string scanner;
    int tcpip, ipx, netbeui;
    bool killTransports;
    std::vector<int> ids;
    std::string text;
    bool adminEventMade;
  } cases[] = {
      {"scanner missing", "no-such-scanner-program", 1, 0, 0, false, {0},
       "Can't find Lumeth.exe on your system, please reinstall the Tollard Utility.", false},
      {"scanner not a program", root_.path() + "/not-a-program", 1, 0, 0, false, {0}, "", false},
      {"no connected protocol", "true", 0, 0, 0, false, {32889}, "Not Define Any Connected Protocol", false},
      {"every transport failed", "true", 1, 1, 1, true, {32890}, "Inital Lan fail", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ui::ScriptedMessageSink sink;
    platform::SetMessageSink(&sink);
    WriteConnected(c.tcpip, c.ipx, c.netbeui);
    if (c.killTransports) {
      core::SetStreamProvider(core::StreamKind::kTcp, &dead);
      SetNcbSubmitter(&NoNetbios);
    }
    EXPECT_FALSE(Start(c.scanner));
    EXPECT_EQ(EventExists(kAdminEvent), c.adminEventMade);
    EXPECT_EQ(sink.ids(), c.ids);
    if (!c.text.empty() && !sink.shown().empty()) {
      EXPECT_EQ(sink.shown()[0].text, c.text);
    }
    EXPECT_EQ(app_->Frame(), nullptr);
    Stop();
    EXPECT_FALSE(EventExists(kAdminEvent));
    core::SetStreamProvider(core::StreamKind::kTcp, nullptr);
    SetNcbSubmitter(nullptr);
  }
  platform::SetMessageSink(&sink_);
}

TEST_F(ConsoleTest, OneFailedTransportOfOneDoesNotStopTheStart) {
  DeadProvider dead;
  core::SetStreamProvider(core::StreamKind::kTcp, &dead);
  EXPECT_TRUE(Start());
  EXPECT_EQ(app_->m_iLanInitResult, 0x12);
  EXPECT_TRUE(sink_.ids().empty());
  Stop();
  core::SetStreamProvider(core::StreamKind::kTcp, nullptr);
}

TEST_F(ConsoleTest, BoxesThatDoNotAnswerAreDroppedFromTheTreeOneAfterAnother) {
  MakeBoxes(3);
  ASSERT_TRUE(Start());
  Tick();
  const std::vector<std::string> defaults = Rows(g_pMainMenuDlg->List(), 1);
  ASSERT_EQ(defaults.size(), 3u);
  // The first two of the list stop answering; the next browse checks from the top.
  BoxNamed(defaults[0]).SwitchOff();
  BoxNamed(defaults[1]).SwitchOff();
  Tick();
  Tick();
  Click(*g_pMainMenuDlg, 1000);
  // Every box stays in the list; the two silent ones leave the tree, each with its message.
  EXPECT_EQ(g_pMainMenuDlg->List().GetItemCount(), 3);
  EXPECT_EQ(TreeColumn(View().DeviceTree(), 0), std::vector<std::string>{defaults[2]});
  EXPECT_EQ(sink_.ids(), (std::vector<int>{kNetworkMessage, kNetworkMessage}));
  EXPECT_EQ(View().LastResult(), 0);
  // None answers: the tree empties, one message per box, and the check ends.
  BoxNamed(defaults[2]).SwitchOff();
  Tick();
  Tick();
  Click(*g_pMainMenuDlg, 1000);
  EXPECT_EQ(View().DeviceTree().GetCount(), 0);
  EXPECT_EQ(sink_.ids().size(), 5u);
}

TEST_F(ConsoleTest, SelectionFollowsOnlyARowThatBecameSelected) {
  MakeBoxes(3);
  ASSERT_TRUE(Start());
  Tick();
  ui::CListCtrl& list = g_pMainMenuDlg->List();
  list.SetItemState(2, ui::LVIS_SELECTED, ui::LVIS_SELECTED);
  EXPECT_EQ(g_iSelectedItem, 2);
  EXPECT_EQ(g_szDefaultName, list.GetItemText(2, 1));
  // Taking the selection off row 0 (still selected: multiple selection) changes nothing.
  list.SetItemState(0, 0, ui::LVIS_SELECTED);
  EXPECT_EQ(g_iSelectedItem, 2);
  EXPECT_EQ(g_szDeviceName, list.GetItemText(2, 0));
  list.SetItemState(1, ui::LVIS_FOCUSED, ui::LVIS_FOCUSED);
  EXPECT_EQ(g_iSelectedItem, 2);
}

TEST_F(ConsoleTest, QuickRenamesTheBoxAndTheRow) {
  MakeBoxes(2);
  ASSERT_TRUE(Start());
  Tick();
  g_pMainMenuDlg->List().SetItemState(1, ui::LVIS_SELECTED, ui::LVIS_SELECTED);
  box_emulator::Box& renamed = BoxNamed(g_pMainMenuDlg->List().GetItemText(1, 1));
  box_emulator::Box& other = BoxNamed(g_pMainMenuDlg->List().GetItemText(0, 1));
  const std::string before = renamed.DeviceName(), otherName = other.DeviceName();
  std::string shown;
  ui::SetModalHook([&](ui::CDialog& d) {
    shown = d.GetDlgItemText(CQuickSetupDlg::IDC_DEVICE_NAME);
    auto* edit = qobject_cast<QLineEdit*>(d.GetDlgItem(CQuickSetupDlg::IDC_DEVICE_NAME)->GetSafeHwnd());
    edit->selectAll();
    QTest::keyClicks(edit, "back office");
    Click(d, ui::IDOK);
  });
  Click(*g_pMainMenuDlg, 1011);
  EXPECT_EQ(shown, before);
  ASSERT_TRUE(renamed.WaitForRestarts(1, 10s));
  EXPECT_EQ(renamed.DeviceName(), "BACK OFFICE");
  EXPECT_EQ(other.DeviceName(), otherName);
  EXPECT_EQ(g_pMainMenuDlg->List().GetItemText(1, 0), "BACK OFFICE");
  EXPECT_TRUE(sink_.ids().empty());
  // Read back through the library as well.
  config::SystemConfigurationData system;
  ASSERT_EQ(TheUtility().mGetSystemConfiguration(renamed.DefaultName(), &system), 0);
  EXPECT_EQ(system.szDeviceName, "BACK OFFICE");
}

TEST_F(ConsoleTest, ADoubleClickOnARowOpensQuick) {
  MakeBoxes(1);
  ASSERT_TRUE(Start());
  int opened = 0;
  ui::SetModalHook([&](ui::CDialog& d) {
    opened += d.Template().id == CQuickSetupDlg::IDD ? 1 : 0;
    Click(d, ui::IDCANCEL);
  });
  auto* view = qobject_cast<QAbstractItemView*>(g_pMainMenuDlg->List().GetSafeHwnd());
  ASSERT_NE(view, nullptr);
  Tick();
  emit view->doubleClicked(view->model()->index(0, 0));
  EXPECT_EQ(opened, 1);
  EXPECT_EQ(boxes_[0]->RestartCount(), 0);  // cancelled: nothing written
}

TEST_F(ConsoleTest, QuickWritesNothingWhenTheBoxCannotBeReadAndShowsAFailedWrite) {
  MakeBoxes(1);
  ASSERT_TRUE(Start());
  Tick();
  boxes_[0]->SwitchOff();
  int opened = 0;
  ui::SetModalHook([&](ui::CDialog& d) {
    ++opened;
    Click(d, ui::IDOK);
  });
  Click(*g_pMainMenuDlg, 1011);
  EXPECT_EQ(opened, 0);
  EXPECT_EQ(sink_.ids(), std::vector<int>{kNetworkMessage});

  // The read works, the write fails: the box answers the read, then the error comes with the write.
  ASSERT_TRUE(boxes_[0]->SwitchOn());
  ui::ScriptedMessageSink sink;
  platform::SetMessageSink(&sink);
  ui::SetModalHook([&](ui::CDialog& d) {
    ++opened;
    auto* edit = qobject_cast<QLineEdit*>(d.GetDlgItem(CQuickSetupDlg::IDC_DEVICE_NAME)->GetSafeHwnd());
    edit->selectAll();
    QTest::keyClicks(edit, "NEVER");
    box_emulator::FaultPlan plan;
    plan.errorChunk = 0;
    boxes_[0]->InjectFault(plan);
    Click(d, ui::IDOK);
  });
  Click(*g_pMainMenuDlg, 1011);
  EXPECT_EQ(opened, 1);
  EXPECT_EQ(sink.ids().size(), 1u);
  EXPECT_EQ(g_pMainMenuDlg->List().GetItemText(0, 0), "FRONT DESK");
  boxes_[0]->ClearFaults();
  EXPECT_EQ(boxes_[0]->DeviceName(), "FRONT DESK");
  platform::SetMessageSink(&sink_);
}

TEST_F(ConsoleTest, ProtocolWritesCommonIniAndBrowsesAgain) {
  MakeBoxes(2);
  ASSERT_TRUE(Start());
  Tick();
  Tick();
  Tick();
  bool tcpEnabled = false;
  ui::SetModalHook([&](ui::CDialog& d) {
    tcpEnabled = d.GetDlgItem(1142)->IsWindowEnabled();
    d.CheckDlgButton(1143, 1);  // IPX/SPX on as well
    Click(d, ui::IDOK);
  });
  Click(*g_pMainMenuDlg, 1163);
  EXPECT_TRUE(tcpEnabled);
  EXPECT_EQ(GetPrivateProfileInt("ConnectedProtocol", "bTCPIP", -1, "common.ini"), 1);
  EXPECT_EQ(GetPrivateProfileInt("ConnectedProtocol", "bIPXSPX", -1, "common.ini"), 1);
  EXPECT_EQ(GetPrivateProfileInt("ConnectedProtocol", "bNETBEUI", -1, "common.ini"), 0);
  EXPECT_EQ(g_pMainMenuDlg->List().GetItemCount(), 2);

  // Nothing checked: the dialog says so and keeps the file.
  ui::ScriptedMessageSink sink;
  platform::SetMessageSink(&sink);
  ui::SetModalHook([&](ui::CDialog& d) {
    for (int id : {1142, 1143, 1144}) d.CheckDlgButton(id, 0);
    Click(d, ui::IDOK);
  });
  Click(*g_pMainMenuDlg, 1163);
  EXPECT_EQ(sink.ids(), std::vector<int>{32888});
  EXPECT_EQ(GetPrivateProfileInt("ConnectedProtocol", "bTCPIP", -1, "common.ini"), 1);
  platform::SetMessageSink(&sink_);
}

TEST_F(ConsoleTest, ProtocolOffersWhatThisPcHas) {
  MakeBoxes(1);
  ASSERT_TRUE(Start());
  Tick();
  for (const char* ipxEnabled : {"0", "1"}) {
    SCOPED_TRACE(std::string("IPX stand-in enabled ") + ipxEnabled);
    ASSERT_EQ(::setenv("PSADMIN_IPX_ENABLED", ipxEnabled, 1), 0);
    const platform::netprobe::InstalledProtocols pc = platform::netprobe::DetectInstalledProtocols();
    bool tcpip = false, ipx = false, netbeui = false;
    ui::SetModalHook([&](ui::CDialog& d) {
      tcpip = d.GetDlgItem(1142)->IsWindowEnabled();
      ipx = d.GetDlgItem(1143)->IsWindowEnabled();
      netbeui = d.GetDlgItem(1144)->IsWindowEnabled();
      Click(d, ui::IDCANCEL);
    });
    Click(*g_pMainMenuDlg, 1163);
    EXPECT_EQ(tcpip, pc.tcpip);
    EXPECT_EQ(ipx, pc.ipxspx);
    EXPECT_EQ(netbeui, pc.netbios);
    if (std::string(ipxEnabled) == "0") {
      EXPECT_FALSE(ipx);
    }
  }
  ::unsetenv("PSADMIN_IPX_ENABLED");
}

TEST_F(ConsoleTest, AProtocolChoiceThatCannotBeSavedIsShownAndTheDialogStays) {
  MakeBoxes(1);
  ASSERT_TRUE(Start());
  Tick();
  // The settings file has grown past what the suite writes (4 MiB): every write of it fails.
  const std::string path = platform::WindowsDirectory() + "/common.ini";
  {
    std::ofstream out(path, std::ios::app);
    out << ";" << std::string(5u << 20, 'x') << "\n";
  }
  auto fileText = [&] {
    std::ifstream in(path);
    return std::string(std::istreambuf_iterator<char>(in), {});
  };
  const std::string before = fileText();
  ui::ScriptedMessageSink sink;
  platform::SetMessageSink(&sink);
  bool stayed = false;
  std::string title;
  ui::SetModalHook([&](ui::CDialog& d) {
    title = d.GetSafeHwnd()->windowTitle().toStdString();  // no caption of its own: the program's
    d.CheckDlgButton(1142, 1);
    Click(d, ui::IDOK);
    stayed = d.IsWindowVisible();
    Click(d, ui::IDCANCEL);
  });
  Click(*g_pMainMenuDlg, 1163);
  EXPECT_TRUE(stayed);
  EXPECT_EQ(title, "Vardon Print Server Administration Program");
  ASSERT_EQ(sink.ids(), std::vector<int>{console::IDS_PROTOCOL_NOT_SAVED});
  EXPECT_EQ(sink.shown()[0].text, "The connected protocols could not be saved in the settings file:\n" + path);
  EXPECT_TRUE(fileText() == before);
  platform::SetMessageSink(&sink_);
}

TEST_F(ConsoleTest, AdvancedPausesTheScannerAndReturnAndCloseResumeIt) {
  MakeBoxes(1);
  HANDLE scannerPause = CreateEvent(TRUE, TRUE, kPauseEvent);  // the scanner's event
  ASSERT_NE(scannerPause, nullptr);
  ASSERT_TRUE(Start());
  Tick();
  EXPECT_EQ(PauseEventSeenOutside(), "signalled");
  Click(*g_pMainMenuDlg, 1010);
  EXPECT_TRUE(sink_.ids().empty());
  EXPECT_EQ(PauseEventSeenOutside(), "reset");
  EXPECT_TRUE(Frame().IsWindowVisible());
  EXPECT_TRUE(g_pMainMenuDlg->IsWindowVisible());
  // Firmware 0210 with AppleTalk: the fifth layout.
  std::vector<std::string> tabs;
  for (int i = 0; i < View().Tabs().GetItemCount(); ++i) tabs.push_back(TabText(View().Tabs(), i));
  EXPECT_EQ(tabs, (std::vector<std::string>{"System", "TCP/IP", "NetWare PServer", "NetWare RPrinter",
                                            "Apple Talk", "Logical Port"}));
  EXPECT_EQ(gdsPhysicalPortConfigurationData[3].szPortName.empty(), false);
  Click(View(), 1013);  // Return to Main Menu
  EXPECT_EQ(PauseEventSeenOutside(), "signalled");
  EXPECT_FALSE(Frame().IsWindowVisible());

  Click(*g_pMainMenuDlg, 1010);
  EXPECT_EQ(PauseEventSeenOutside(), "reset");
  Frame().GetSafeHwnd()->close();  // the frame's close box hides it
  EXPECT_EQ(PauseEventSeenOutside(), "signalled");
  EXPECT_FALSE(Frame().IsWindowVisible());
  EXPECT_TRUE(g_pMainMenuDlg->IsWindowVisible());

  // A box that does not answer: its message, the scanner runs again, the frame stays hidden.
  boxes_[0]->SwitchOff();
  Click(*g_pMainMenuDlg, 1010);
  EXPECT_EQ(sink_.ids(), std::vector<int>{kNetworkMessage});
  EXPECT_EQ(PauseEventSeenOutside(), "signalled");
  EXPECT_FALSE(Frame().IsWindowVisible());
  Stop();
  CloseHandle(scannerPause);
}

TEST_F(ConsoleTest, PrinterStatusItemsFollowTheModel) {
  ASSERT_TRUE(Start());
  struct Case {
    int model;
    bool port1, port2, port3;
  } cases[] = {{5, true, true, false}, {13, true, true, false}, {3, true, true, true}, {4, true, true, true},
               {6, true, false, false}, {16, true, true, false}, {0x563412, true, false, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.model);
    g_iModelType = c.model;
    Frame().UpdateCommands();
    EXPECT_EQ(Frame().GetMenu()->Action(33000)->isEnabled(), c.port1);
    EXPECT_EQ(Frame().GetMenu()->Action(33001)->isEnabled(), c.port2);
    EXPECT_EQ(Frame().GetMenu()->Action(33002)->isEnabled(), c.port3);
  }
}

TEST_F(ConsoleTest, APauseEventMadeAfterTheStartIsStillUsed) {
  MakeBoxes(1);
  ASSERT_TRUE(Start());
  Tick();
  EXPECT_EQ(PauseEventSeenOutside(), "missing");
  HANDLE scannerPause = CreateEvent(TRUE, TRUE, kPauseEvent);  // the scanner comes up late
  Click(*g_pMainMenuDlg, 1010);
  EXPECT_EQ(PauseEventSeenOutside(), "reset");
  Click(View(), 1013);
  EXPECT_EQ(PauseEventSeenOutside(), "signalled");
  Stop();
  CloseHandle(scannerPause);
}

TEST_F(ConsoleTest, ExitEndsTheRunAndLetsGoOfTheEvents) {
  MakeBoxes(1);
  app_ = std::make_unique<TestApp>("true");
  started_ = false;  // Run calls ExitInstance itself
  bool listed = false;
  QTimer::singleShot(0, [&] {
    timers_.Fire(app_->View(), CPellamView::kTimerId);
    listed = g_pMainMenuDlg->List().GetItemCount() == 1 && EventExists(kAdminEvent);
    Click(*g_pMainMenuDlg, ui::IDCANCEL);
  });
  EXPECT_EQ(app_->Run(), 0);
  EXPECT_TRUE(listed);
  EXPECT_FALSE(EventExists(kAdminEvent));
}

TEST_F(ConsoleTest, ASecondStartRestoresAMinimisedFrameOrHidesAShownOne) {
  ASSERT_TRUE(Start());
  struct Case {
    const char* what;
    int before;
    bool visibleAfter;
    bool iconicAfter;
  } cases[] = {
      {"minimised frame is restored", ui::SW_MINIMIZE, true, false},
      {"shown frame is hidden", ui::SW_SHOW, false, false},
      {"hidden frame stays hidden", ui::SW_HIDE, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Frame().ShowWindow(c.before);
    const std::string out = RunProgram({TOLLARD_PROGRAM});
    (void)out;
    EXPECT_EQ(Frame().IsWindowVisible(), c.visibleAfter);
    EXPECT_EQ(Frame().IsIconic(), c.iconicAfter);
  }
  // The second starts ended without starting anything: the first console still owns the root.
  EXPECT_TRUE(EventExists(kAdminEvent));
  EXPECT_TRUE(g_pMainMenuDlg->IsWindowVisible());
}

}  // namespace
}  // namespace console_test

namespace console_test {
namespace {

// Every window of the console renders headless; with PSA_SCREENSHOT_DIR set the pictures are kept
// there for a look.
TEST_F(ConsoleTest, WindowsRenderHeadless) {
  MakeBoxes(2);
  ASSERT_TRUE(Start());
  Tick();
  const char* keep = std::getenv("PSA_SCREENSHOT_DIR");
  const std::string dir = keep ? keep : root_.path();
  auto shoot = [&](ui::CWnd& w, const char* name) {
    const std::string path = dir + "/" + name + ".png";
    ASSERT_TRUE(ui::SaveScreenshot(w, QString::fromStdString(path))) << name;
    QImage image(QString::fromStdString(path));
    EXPECT_GT(image.width(), 100) << name;
  };
  shoot(*g_pMainMenuDlg, "console-device-list");
  ui::SetModalHook([&](ui::CDialog& d) { shoot(d, "console-quick-setup"); });
  Click(*g_pMainMenuDlg, 1011);
  ui::SetModalHook([&](ui::CDialog& d) { shoot(d, "console-connected-protocol"); });
  Click(*g_pMainMenuDlg, 1163);
  ui::SetModalHook({});
  Click(*g_pMainMenuDlg, 1010);
  shoot(Frame(), "console-frame");
}

}  // namespace
}  // namespace console_test

namespace console_test {
namespace {

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The debug-log preparation: a log above 512000 bytes starts anew, a smaller one is kept; the
// banner goes in only when the log is switched on.
TEST_F(ConsoleTest, OpenDebugLogEmptiesALongLogAndWritesTheBanner) {
  const std::string log = root_.path() + "/debug.log";
  WritePrivateProfileString("general", "debuglogfilename", log.c_str(), "common.ini");
  const std::string banner = std::string(114, '*') + "\n";
  struct Case {
    const char* what;
    std::size_t before;  // bytes in the log before; npos: no file
    const char* on;
    std::size_t keptBytes;
    bool banner;
  } cases[] = {
      {"no file, log on", std::string::npos, "T", 0, true},
      {"small file kept", 1000, "T", 1000, true},
      {"exactly the limit kept", 512000, "T", 512000, true},
      {"long file emptied", 512001, "T", 0, true},
      {"long file emptied, log off", 600000, "F", 0, false},
      {"small file, log off", 10, "t", 10, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::remove(log.c_str());
    if (c.before != std::string::npos) std::ofstream(log, std::ios::binary) << std::string(c.before, 'x');
    WritePrivateProfileString("general", "debuglog", c.on, "common.ini");
    TestApp app("true");
    app.OpenDebugLog();
    const std::string text = ReadAll(log);
    ASSERT_GE(text.size(), c.keptBytes);
    EXPECT_EQ(text.substr(0, c.keptBytes), std::string(c.keptBytes, 'x'));
    const std::string added = text.substr(c.keptBytes);
    if (c.banner) {
      ASSERT_EQ(added.rfind(banner, 0), 0u) << added;
      EXPECT_NE(added.find("login at "), std::string::npos);
      EXPECT_NE(added.find(std::string(115, '*') + "\n"), std::string::npos);
    } else {
      EXPECT_EQ(added, "");
    }
  }
}

}  // namespace
}  // namespace console_test

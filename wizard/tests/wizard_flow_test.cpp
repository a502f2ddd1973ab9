// The whole wizard against emulated boxes: start-up, the page flow by mode, box kind and answers,
// the selection page and the password check, the details page, and what the box receives at
// Finish, with the hand-over to the port-adding program.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <QCoreApplication>
#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <chrono>
#include <fstream>
#include <thread>

#include "platform/clock.h"
#include "platform/named_objects/named_objects.h"
#include "platform/netprobe/netprobe.h"
#include "platform/registry.h"
#include "wizard/resource.h"
#include "platform/process/process.h"
#include "platform/test_support/lingering_program.h"
#include "wizard/select_page.h"
#include "wizard/setup_wizard_app.h"
#include "device_client/access/access.h"
#include "wizard/finish_page.h"
#include "wizard/server_details_old_page.h"
#include "wizard/tcpip_page.h"
#include "wizard/tests/wizard_fixture.h"
#include "wizard/wizard_state.h"

namespace wizard_test {
namespace {

using namespace wizard;

std::vector<std::string> Texts(const RunResult& r) {
  std::vector<std::string> out;
  for (const auto& m : r.messages) out.push_back(m.text);
  return out;
}

std::string Joined(const std::vector<int>& pages) {
  std::string s;
  for (int p : pages) s += std::to_string(p) + " ";
  return s;
}

// ---- Page flow ---------------------------------------------------------------------------------

struct FlowCase {
  const char* name;
  const char* commandLine;
  BoxKind kind;
  std::vector<std::pair<const char*, const char*>> settings;  // further box settings
  const char* script;
  const char* pages;  // template ids shown: at the start, then after each press
};

TEST_F(WizardTest, PageFlowByModeBoxKindAndAnswers) {
  const std::vector<FlowCase> cases = {
      // X: automatic addressing on the TCP/IP page (a new box's suggested address has no gateway).
      {"mode 2, wired box: no NetWare, no wireless page", "", BoxKind::kWired, {}, "NNNXNB",
       "111 104 131 109 109 110 109 "},
      {"mode 2, wireless box: the wireless page, and Finish goes back to it", "2", BoxKind::kWireless, {},
       "NNNXNNBB", "111 104 131 109 109 138 110 138 109 "},
      {"mode 1, bindery box: the bindery page, and TCP/IP goes back to it", "1", BoxKind::kNetware, {},
       "NNNNBB", "111 104 131 108 109 108 131 "},
      {"mode 1, NDS box", "1abc", BoxKind::kNetware, {{"2101", ""}, {"2110", "TREE"}}, "NNNN",
       "111 104 131 107 109 "},
      {"mode 1, remote-printer box", "1", BoxKind::kNetware, {{"2000", "RP"}}, "NNNN", "111 104 131 106 109 "},
      {"mode 1, NetWare print server without server or tree", "1", BoxKind::kNetware, {{"2101", ""}}, "NNN",
       "111 104 131 106 "},
      {"mode 1, box without IPX/SPX: straight to TCP/IP", "1", BoxKind::kWired, {}, "NNNB",
       "111 104 131 109 131 "},
      {"mode 2 never admits NetWare", "", BoxKind::kNetware, {}, "NNN", "111 104 131 109 "},
      {"a leading blank is not mode 1", " 1", BoxKind::kNetware, {}, "NNN", "111 104 131 109 "},
      {"Back from the details and the selection", "", BoxKind::kWired, {}, "NNBB", "111 104 131 104 111 "},
  };
  for (const FlowCase& c : cases) {
    SCOPED_TRACE(c.name);
    boxes_.clear();
    ResetWizardState();
    box_emulator::Box& box = AddBox({c.kind, "FLOW-BOX", ""});
    for (const auto& [key, value] : c.settings) ASSERT_TRUE(box.SetSetting(key, value));
    atX = [](ui::CPropertySheet& s) {
      s.GetActivePage()->CheckDlgButton(CTcpip::IDC_FIXED, 0);
      s.GetActivePage()->CheckDlgButton(CTcpip::IDC_AUTOMATIC, 1);
      s.GetActivePage()->Notify(CTcpip::IDC_AUTOMATIC, ui::BN_CLICKED, nullptr);
    };
    const RunResult r = Run(c.commandLine, c.script);
    EXPECT_EQ(Joined(r.pages), c.pages);
    EXPECT_TRUE(r.messages.empty()) << (r.messages.empty() ? "" : r.messages[0].text);
  }
}

TEST_F(WizardTest, PageSetsFollowTheMode) {
  AddBox({BoxKind::kWired, "SET-BOX", ""});
  for (const auto& [line, count] : std::vector<std::pair<std::string, int>>{{"1", 9}, {"1x", 9}, {"", 6}, {"2", 6}}) {
    int pages = 0;
    atX = [&](ui::CPropertySheet& s) { pages = s.GetPageCount(); };
    Run(line, "X");
    EXPECT_EQ(pages, count) << line;
  }
}

TEST_F(WizardTest, TheWelcomePageShowsTheProtocolsThisPcHas) {
  for (const char* ipxEnabled : {"0", "1"}) {
    SCOPED_TRACE(std::string("IPX stand-in enabled ") + ipxEnabled);
    ASSERT_EQ(::setenv("PSADMIN_IPX_ENABLED", ipxEnabled, 1), 0);
    const platform::netprobe::InstalledProtocols pc = platform::netprobe::DetectInstalledProtocols();
    auto text = [](bool installed) { return std::string(installed ? "Installed" : "Not Installed"); };
    std::string tcpip, netbios, ipx;
    atX = [&](ui::CPropertySheet& s) {
      ui::CPropertyPage* page = s.GetActivePage();
      ASSERT_NE(page, nullptr);
      tcpip = page->GetDlgItemText(1029);
      netbios = page->GetDlgItemText(1048);
      ipx = page->GetDlgItemText(1047);
    };
    Run("", "X");
    EXPECT_EQ(tcpip, text(pc.tcpip));
    EXPECT_EQ(netbios, text(pc.netbios));
    EXPECT_EQ(ipx, text(pc.ipxspx));
    if (std::string(ipxEnabled) == "0") {
      EXPECT_EQ(ipx, "Not Installed");
    }
  }
  ::unsetenv("PSADMIN_IPX_ENABLED");
}

TEST_F(WizardTest, AnEmptyListLeavesOnlyBack) {
  bool next = true, back = false;
  atX = [&](ui::CPropertySheet& s) {
    next = s.IsButtonEnabled(ui::PSBTN_NEXT);
    back = s.IsButtonEnabled(ui::PSBTN_BACK);
  };
  const RunResult r = Run("", "NXN");
  EXPECT_EQ(Joined(r.pages), "111 104 104 104 ");
  EXPECT_FALSE(next);
  EXPECT_TRUE(back);
}

// ---- Start-up ------------------------------------------------------------------------------------

TEST_F(WizardTest, EveryFailedScannerStartIsReportedAndEndsTheWizard) {
  struct Case {
    unsigned result;
    const char* text;
  };
  const std::vector<Case> cases = {
      {2, "Can't find Lumeth.exe on your system, please reinstall the Setup Wizard."},
      {3, "The specified path was not found."},
      {11, "The .EXE file is invalid (non-Win32 .EXE or error in .EXE image)."},
      {0, "The operating system is out of memory or resources."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.result);
    scannerStart_ = c.result;
    const RunResult r = Run("", "");
    EXPECT_TRUE(r.pages.empty());  // no sheet
    EXPECT_EQ(Texts(r), std::vector<std::string>{c.text});
    ASSERT_EQ(r.started.size(), 1u);
    EXPECT_EQ(r.started[0], "lumeth");
    // No presence event was left behind.
    EXPECT_EQ(OpenEvent(EVENT_MODIFY_STATE, FALSE, "Print Server Wizard Event"), nullptr);
  }
  scannerStart_ = 33;
  const RunResult r = Run("", "");
  EXPECT_EQ(Joined(r.pages), "111 ");
}

TEST_F(WizardTest, PresenceEventWhileTheSheetRunsAndTheLibraryOpenedForNetbiosAndTcpip) {
  HANDLE seen = nullptr;
  atX = [&](ui::CPropertySheet&) { seen = OpenEvent(EVENT_MODIFY_STATE, FALSE, "Print Server Wizard Event"); };
  Run("", "X");
  EXPECT_NE(seen, nullptr);
  if (seen) CloseHandle(seen);
  EXPECT_EQ(OpenEvent(EVENT_MODIFY_STATE, FALSE, "Print Server Wizard Event"), nullptr);
}

// The scanner came up after the wizard: its pause event is found when the selection page needs it.
TEST_F(WizardTest, PauseEventMissingAtStartIsOpenedWhenNeeded) {
  AddBox({BoxKind::kWired, "PAUSE-BOX", ""});
  HANDLE scannerEvent = nullptr;
  DWORD onSelect = 0, pastSelect = 0;
  atX = [&](ui::CPropertySheet& s) {
    if (scannerEvent == nullptr) {
      scannerEvent = CreateEvent(TRUE, FALSE, "Print Server Pause Event");  // reset: paused
      s.PressButton(ui::PSBTN_BACK);
      s.PressButton(ui::PSBTN_NEXT);  // the selection page again: scanning allowed
      onSelect = WaitForSingleObject(scannerEvent, 0);
    } else {
      pastSelect = WaitForSingleObject(scannerEvent, 0);
    }
  };
  const RunResult r = Run("", "NXNX");
  EXPECT_EQ(Joined(r.pages), "111 104 104 131 131 ");
  EXPECT_EQ(onSelect, WAIT_OBJECT_0);
  EXPECT_EQ(pastSelect, WAIT_TIMEOUT);
  if (scannerEvent) CloseHandle(scannerEvent);
}

// ---- Selection and password -------------------------------------------------------------------

struct PasswordCase {
  const char* name;
  const char* boxPassword;
  std::deque<std::string> typed;
  const char* pages;
  std::vector<std::string> messages;
};

TEST_F(WizardTest, PasswordVerificationOutcomes) {
  const std::vector<PasswordCase> cases = {
      {"the empty password passes without the dialog", "", {}, "111 104 131 ", {}},
      {"the right password", "secret", {"secret"}, "111 104 131 ", {}},
      {"a wrong one, then the right one", "secret", {"guess", "secret"}, "111 104 131 ", {"Incorrect Password !"}},
      {"cancelled: the wizard stays on the selection", "secret", {"guess"}, "111 104 104 ", {"Incorrect Password !"}},
  };
  for (const PasswordCase& c : cases) {
    SCOPED_TRACE(c.name);
    boxes_.clear();
    ResetWizardState();
    AddBox({BoxKind::kWired, "PW-BOX", c.boxPassword});
    const RunResult r = Run("", "NN", c.typed);
    EXPECT_EQ(Joined(r.pages), c.pages);
    EXPECT_EQ(Texts(r), c.messages);
  }
}

TEST_F(WizardTest, AnAcceptedPasswordIsNotAskedAgainUntilRefresh) {
  AddBox({BoxKind::kWired, "ONCE-BOX", "secret"});
  // Accepted once; Back and Next again need no password; after Refresh it is asked again (and
  // the dialog, with no password left to type, is cancelled).
  const RunResult r = Run("", "NNBNBRN", {"secret"});
  EXPECT_EQ(Joined(r.pages), "111 104 131 104 131 104 104 104 ");
  EXPECT_TRUE(r.messages.empty());
}

TEST_F(WizardTest, ABoxThatDoesNotAnswerIsReportedOnceAndLeavesTheView) {
  box_emulator::Box& box = AddBox({BoxKind::kWired, "GONE-BOX", ""});
  int rowsAfter = -1;
  atX = [&](ui::CPropertySheet& s) { rowsAfter = dynamic_cast<CSelect*>(s.GetPage(1))->m_DeviceList.GetItemCount(); };
  box.InjectFault({.count = 100, .errorChunk = 0});
  const RunResult r = Run("", "NNX");
  EXPECT_EQ(Joined(r.pages), "111 104 104 104 ");
  ASSERT_EQ(r.messages.size(), 1u);
  EXPECT_NE(r.messages[0].text, "Incorrect Password !");
  EXPECT_EQ(rowsAfter, 0);  // the row is gone from the view
}

TEST_F(WizardTest, RowsAreKeyedByIndexNotByTheirShownName) {
  box_emulator::Box& first = AddBox({BoxKind::kWired, "TWIN", ""});
  box_emulator::Box& second = AddBox({BoxKind::kWired, "TWIN", ""});
  // The list is in the browse's order; pick the row of the second box.
  std::string chosen;
  int secondRow = -1;
  atX = [&](ui::CPropertySheet&) {
    int i = 0;
    for (const std::string& n : DeviceLists.lists[0]) {
      if (n == second.DefaultName()) secondRow = i;
      ++i;
    }
  };
  Run("", "NX");
  ASSERT_GE(secondRow, 0);
  ResetWizardState();
  atX = [&](ui::CPropertySheet&) {
    std::string device, longName;
    GetSelectedDevice(chosen, device, longName);
  };
  const std::string script = std::string("N") + static_cast<char>('0' + secondRow) + "NX";
  const RunResult r = Run("", script);
  EXPECT_EQ(chosen, second.DefaultName());
  EXPECT_NE(chosen, first.DefaultName());
}

TEST_F(WizardTest, PortTypeComesFromTheSelectedBoxAlone) {
  box_emulator::Box& five = AddBox({BoxKind::kWired, "FIVE", ""});
  five.SetPortCounts(3, 1, 0);
  box_emulator::Box& none = AddBox({BoxKind::kWired, "NONE", ""});
  none.SetPortCounts(0, 0, 0);
  WriteCache();
  int row5 = 0, rowNone = 0, i = 0;
  atX = [&](ui::CPropertySheet&) {
    i = 0;
    for (const std::string& n : DeviceLists.lists[0]) {
      if (n == five.DefaultName()) row5 = i;
      if (n == none.DefaultName()) rowNone = i;
      ++i;
    }
  };
  Run("", "NX");
  std::vector<int> types;
  atX = [&](ui::CPropertySheet&) {
    int t = -1;
    GetSelectedPortType(t);
    types.push_back(t);
  };
  const std::string script = std::string("N") + static_cast<char>('0' + row5) + "NXB" +
                             static_cast<char>('0' + rowNone) + "NX";
  Run("", script);
  EXPECT_EQ(types, (std::vector<int>{5, 0}));
}

TEST(PortTypeTest, RulesOfThePortLayout) {
  struct Case {
    int parallel, serial, usb, type;
  };
  for (const Case& c : std::vector<Case>{{1, 0, 0, 1}, {2, 0, 0, 2}, {3, 0, 0, 3}, {2, 1, 0, 4}, {3, 1, 0, 5},
                                         {0, 0, 1, 6}, {1, 0, 1, 1}, {0, 2, 0, 0}, {1, 1, 0, 0}, {0, 0, 0, 0}}) {
    unsigned char pid[164] = {};
    pid[10] = static_cast<unsigned char>(c.parallel << 6);
    pid[9] = static_cast<unsigned char>(c.serial);
    pid[11] = static_cast<unsigned char>(c.usb << 6);
    EXPECT_EQ(PortTypeFromDeviceInfo(pid), c.type) << c.parallel << " " << c.serial << " " << c.usb;
  }
}

// ---- Details page --------------------------------------------------------------------------------

TEST_F(WizardTest, DetailsShowTheBoxAndARenameIsConfirmed) {
  AddBox({BoxKind::kWired, "OLD-NAME", ""});
  std::string shownName, shownGroup;
  atX = [&](ui::CPropertySheet& s) {
    auto* details = dynamic_cast<CServerDetailsOld*>(s.GetActivePage());
    shownName = details->m_Name.GetWindowText();
    shownGroup = details->m_Workgroup.GetWindowText();
    details->m_Name.SetWindowText("NEW-NAME");
  };
  // No: the old name is kept.
  RunResult r = Run("", "NNXN", {}, {platform::IDNO});
  EXPECT_EQ(shownName, "OLD-NAME");
  EXPECT_EQ(shownGroup, "WORKGROUP");
  ASSERT_EQ(r.messages.size(), 1u);
  EXPECT_EQ(r.messages[0].id, IDS_RENAME_WARNING);
  EXPECT_EQ(g_WizardConfigurationData.dsSystem.szDeviceName, "OLD-NAME");
  EXPECT_EQ(g_WizardConfigurationData.dsNetBEUI.szDomainName, "WORKGROUP");
  // Yes: the new one.
  ResetWizardState();
  r = Run("", "NNXN", {}, {platform::IDYES});
  EXPECT_EQ(g_WizardConfigurationData.dsSystem.szDeviceName, "NEW-NAME");
  EXPECT_EQ(Joined(r.pages), "111 104 131 131 109 ");
}

TEST_F(WizardTest, AnEmptyNameKeepsTheDetailsPage) {
  AddBox({BoxKind::kWired, "SOME-NAME", ""});
  atX = [&](ui::CPropertySheet& s) { dynamic_cast<CServerDetailsOld*>(s.GetActivePage())->m_Name.SetWindowText(""); };
  const RunResult r = Run("", "NNXN");
  EXPECT_EQ(Joined(r.pages), "111 104 131 131 131 ");
  ASSERT_EQ(r.messages.size(), 1u);
  EXPECT_EQ(r.messages[0].id, IDS_NEED_DEVICE_NAME);
}

// Opening the workgroup list asks the network under the wait cursor, and the list shows what the
// network knows.
TEST_F(WizardTest, TheWorkgroupListIsLookedUpUnderTheWaitCursor) {
  AddBox({BoxKind::kWired, "WG-BOX", ""});
  const std::string tools = root_.path() + "/tools";
  ASSERT_EQ(::mkdir(tools.c_str(), 0755), 0);
  {
    std::ofstream(tools + "/smbtree") << "#!/bin/sh\nprintf 'OFFICE\\nHOME\\n'\n";
    ::chmod((tools + "/smbtree").c_str(), 0755);
  }
  const char* path = std::getenv("PATH");
  const std::string oldPath = path != nullptr ? path : "";
  ::setenv("PATH", (tools + ":/usr/bin:/bin").c_str(), 1);
  // A clock that notes, each time the look-up reads it, whether the wait cursor shows.
  struct CursorWatchingClock : platform::FakeClock {
    std::int64_t SteadyMs() override {
      depths.push_back(ui::WaitCursorDepth());
      return FakeClock::SteadyMs();
    }
    std::vector<int> depths;
  } watching;
  std::vector<std::string> listed;
  atX = [&](ui::CPropertySheet& s) {
    auto* details = dynamic_cast<CServerDetailsOld*>(s.GetActivePage());
    {
      platform::ScopedClock useWatching(&watching);
      details->Notify(1037, ui::CBN_DROPDOWN, nullptr);
    }
    for (int i = 0; i < details->m_Workgroup.GetCount(); ++i) listed.push_back(details->m_Workgroup.GetLBText(i));
  };
  const RunResult r = Run("", "NNX");
  ::setenv("PATH", oldPath.c_str(), 1);
  EXPECT_EQ(listed, (std::vector<std::string>{"OFFICE", "HOME"}));
  ASSERT_FALSE(watching.depths.empty());
  for (int depth : watching.depths) EXPECT_GT(depth, 0);
  EXPECT_EQ(ui::WaitCursorDepth(), 0);
  EXPECT_TRUE(r.messages.empty());
}

TEST_F(WizardTest, AFailedReadLeavesNothingOfThePreviousBox) {
  AddBox({BoxKind::kNetware, "FIRST-BOX", ""});
  std::string name = "unset", group = "unset";
  int ipx = -1;
  std::size_t messagesBefore = 0;
  atX = [&](ui::CPropertySheet& s) {
    // Another box is chosen that cannot be read.
    SetSelectedDevice("PSFFFFFF", "GHOST", "FALSE");
    s.SetActivePage(2);
    auto* details = dynamic_cast<CServerDetailsOld*>(s.GetActivePage());
    name = details->m_Name.GetWindowText();
    group = details->m_Workgroup.GetWindowText();
    ipx = dsSystemConfigurationData.bIPXSPXProtocol;
  };
  const RunResult r = Run("1", "NNBX", {}, {});
  (void)messagesBefore;
  EXPECT_EQ(name, "");
  EXPECT_EQ(group, "");
  EXPECT_EQ(ipx, 0);
  EXPECT_EQ(r.messages.size(), 1u);  // one message for the failed read
}

// ---- Finish ----------------------------------------------------------------------------------------

struct FinishCase {
  const char* name;
  const char* commandLine;
  BoxKind kind;
  const char* text;  // the configuration text the box receives ("<ip>" for its address)
};

TEST_F(WizardTest, FinishSendsWhatThePagesCollectedThenRestartsAndRereads) {
  const std::vector<FinishCase> cases = {
      {"wired box: no wireless keys, no NetWare keys, no comment or share names", "", BoxKind::kWired,
       "0001 :FIN-BOX\n4000 :<ip>\n4001 :0.0.0.0\n4002 :255.0.0.0\n4020 :Disable\n4021 :Disable\n"
       "4022 :Disable\n5000 :OFFICE\n"},
      {"wireless box: with the wireless keys", "", BoxKind::kWireless,
       "0001 :FIN-BOX\n4000 :<ip>\n4001 :0.0.0.0\n4002 :255.0.0.0\n4020 :Disable\n4021 :Disable\n"
       "4022 :Disable\n5000 :OFFICE\n7000 :LOBBY-NET\n7002 :6\n7003 :Disable\n7004 :5\n7005 :0\n"
       "7006 :0A1B2C3D4E\n7007 :\n7008 :\n7009 :\n7012 :1\n7013 :0\n"},
      {"NetWare box in mode 1: with the NetWare keys", "1", BoxKind::kNetware,
       "0001 :FIN-BOX\n2000 :PS\n2101 :FS-MAIN\n2110 :\n2111 :\n4000 :<ip>\n4001 :0.0.0.0\n"
       "4002 :255.0.0.0\n4020 :Disable\n4021 :Disable\n4022 :Disable\n5000 :OFFICE\n"},
      {"NetWare box in mode 2: no NetWare keys", "", BoxKind::kNetware,
       "0001 :FIN-BOX\n4000 :<ip>\n4001 :0.0.0.0\n4002 :255.0.0.0\n4020 :Disable\n4021 :Disable\n"
       "4022 :Disable\n5000 :OFFICE\n"},
  };
  for (const FinishCase& c : cases) {
    SCOPED_TRACE(c.name);
    boxes_.clear();
    ResetWizardState();
    box_emulator::Box& box = AddBox({c.kind, "FIN-BOX", ""});
    ASSERT_TRUE(box.SetSetting("5003", "Front desk"));
    ASSERT_TRUE(box.SetSetting("5101", "LASER"));
    const std::string address = box.Address();
    collected = [&] {
      // What the TCP/IP, wireless and NetWare pages would have set.
      auto& w = g_WizardConfigurationData;
      w.dsNetBEUI.szDomainName = "OFFICE";
      w.dsTCPIP.szIPAddress = address;
      w.dsTCPIP.szGatewayAddress = "0.0.0.0";
      w.dsTCPIP.szSubNetworkMaskAddress = "255.0.0.0";
      if (c.kind == BoxKind::kWireless) {
        w.dsWireless.szSSID = "LOBBY-NET";
        w.dsWireless.iChannel = 6;
        w.dsWireless.iKeyLength = 5;
        std::strcpy(w.dsWireless.szKey1, "0A1B2C3D4E");
        w.dsWireless.iAuthentication = 1;
        g_szWirelessCollectedFor = box.DefaultName();
      }
      if (c.kind == BoxKind::kNetware) {
        w.dsNetware.szOperationMode = "PS";
        w.dsNetware.szMasterFileServerName = "FS-MAIN";
      }
    };
    const RunResult r = Run(c.commandLine, "NNNWEF");
    EXPECT_EQ(r.sheetResult, ui::ID_WIZFINISH);
    const std::vector<std::string> received = FromConfigurationText(box);
    ASSERT_GE(received.size(), 3u);
    std::string want = c.text;
    want.replace(want.find("<ip>"), 4, address);
    EXPECT_EQ(received[0], want);
    EXPECT_EQ(received[1], "9002:\n");
    EXPECT_EQ(received[2], "9100:\r\n");
    // The comment and share names the wizard never asked for are still the box's.
    EXPECT_EQ(box.Setting("5003"), "Front desk");
    EXPECT_EQ(box.Setting("5101"), "LASER");
    // The offer to set up printers, answered No.
    ASSERT_EQ(r.messages.size(), 1u);
    EXPECT_EQ(r.messages[0].id, IDS_SETUP_PRINTERS_NOW);
    EXPECT_EQ(r.started, std::vector<std::string>{"lumeth"});
  }
}

TEST_F(WizardTest, AfterAnAddressChangeTheBoxIsReadAtItsNewAddress) {
  box_emulator::Box& box = AddBox({BoxKind::kWired, "MOVE-BOX", ""});
  std::string newAddress;
  {
    box_emulator::BoxOptions o;
    box_emulator::Box probe(o);  // a free address of the emulator's range
    newAddress = probe.Address();
  }
  collected = [&] {
    auto& w = g_WizardConfigurationData;
    w.dsTCPIP.szIPAddress = newAddress;
    w.dsTCPIP.szGatewayAddress = "0.0.0.0";
    w.dsTCPIP.szSubNetworkMaskAddress = "255.0.0.0";
  };
  const RunResult r = Run("", "NNNWEF");
  const std::vector<std::string> received = FromConfigurationText(box);
  ASSERT_GE(received.size(), 3u);
  EXPECT_EQ(box.Address(), newAddress);
  EXPECT_EQ(received[2], "9100:\r\n");  // the reload reached the box where it now is
  EXPECT_EQ(TheUtility().Cached().dsTCPIP.szIPAddress, newAddress);
  ASSERT_EQ(r.messages.size(), 1u);
  EXPECT_EQ(r.messages[0].id, IDS_SETUP_PRINTERS_NOW);
}

TEST_F(WizardTest, AFailedConfigurationIsReportedWithoutTheOffer) {
  AddBox({BoxKind::kWired, "BAD-BOX", ""});
  // No address collected: the text is refused before anything is sent.
  const RunResult r = Run("", "NNNEF");
  EXPECT_EQ(r.sheetResult, ui::ID_WIZFINISH);
  ASSERT_EQ(r.messages.size(), 1u);
  EXPECT_NE(r.messages[0].id, IDS_SETUP_PRINTERS_NOW);
}

// ---- Hand-over -------------------------------------------------------------------------------------

void WriteInstallationRecord(const char* setupType, const char* targetDir) {
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyEx(HKEY_LOCAL_MACHINE, "SOFTWARE\\Vardon\\Vardon Print Server Software\\1.0", KEY_ALL_ACCESS,
                           &key, nullptr),
            ERROR_SUCCESS);
  if (setupType)
    RegSetValueEx(key, "SetupType", REG_SZ, reinterpret_cast<const BYTE*>(setupType),
                  static_cast<DWORD>(std::strlen(setupType) + 1));
  if (targetDir)
    RegSetValueEx(key, "TARGETDIR", REG_SZ, reinterpret_cast<const BYTE*>(targetDir),
                  static_cast<DWORD>(std::strlen(targetDir) + 1));
  RegCloseKey(key);
}

struct HandOverCase {
  const char* name;
  const char* setupType;  // nullptr: no installation record
  unsigned startResult;
  std::vector<std::string> started;  // besides the scanner
  std::vector<std::string> messages;  // after the offer
};

TEST_F(WizardTest, HandOverToThePortAddingProgram) {
  const std::vector<HandOverCase> cases = {
      {"a user set-up starts the program with TCP/IP's argument", "User", 33,
       {"\"/opt/Vardon Print/Gastrel/dapsel\" 2"}, {}},
      {"a failed start is reported", "User", 2, {"\"/opt/Vardon Print/Gastrel/dapsel\" 2"},
       {"The specified file was not found."}},
      {"set-up type in lower case", "user", 33, {}, {"No KVX driver found, please install Add Printer Wizard from CD."}},
      {"no installation record", nullptr, 33, {}, {"No KVX driver found, please install Add Printer Wizard from CD."}},
  };
  for (const HandOverCase& c : cases) {
    SCOPED_TRACE(c.name);
    boxes_.clear();
    ResetWizardState();
    RegDeleteKey(HKEY_LOCAL_MACHINE, "SOFTWARE\\Vardon\\Vardon Print Server Software\\1.0");
    if (c.setupType) WriteInstallationRecord(c.setupType, "/opt/Vardon Print/");
    box_emulator::Box& box = AddBox({BoxKind::kWired, "HAND-BOX", ""});
    const std::string address = box.Address();
    collected = [&] {
      auto& w = g_WizardConfigurationData;
      w.dsTCPIP.szIPAddress = address;
      w.dsTCPIP.szGatewayAddress = "0.0.0.0";
      w.dsTCPIP.szSubNetworkMaskAddress = "255.0.0.0";
    };
    programStart_ = c.startResult;
    const RunResult r = Run("", "NNNWEF", {}, {platform::IDYES});
    std::vector<std::string> started(r.started.begin() + 1, r.started.end());
    EXPECT_EQ(started, c.started);
    std::vector<std::string> texts = Texts(r);
    ASSERT_FALSE(texts.empty());
    EXPECT_EQ(r.messages[0].id, IDS_SETUP_PRINTERS_NOW);
    texts.erase(texts.begin());
    EXPECT_EQ(texts, c.messages);
  }
}

}  // namespace
}  // namespace wizard_test

namespace wizard_test {
namespace {

using namespace wizard;

// Help opens the help page shipped beside the program with the desktop's opener and waits a few
// seconds for its answer; when the page, the opener or a program to show the page is missing, or
// the opener fails, the message says so. An opener still running after the wait counts as shown.
TEST_F(WizardTest, HelpOpensTheShippedPageWithTheDesktopsOpener) {
  const std::string page = platform::ProgramDirectory() + "/" + CSetupWizardApp::kHelpFile;
  ASSERT_EQ(::access(page.c_str(), R_OK), 0) << page;
  const std::string nowhere = root_.path() + "/no-help-here";
  const std::string openerDir = root_.path() + "/opener", emptyDir = root_.path() + "/empty";
  ::mkdir(openerDir.c_str(), 0755);
  ::mkdir(emptyDir.c_str(), 0755);
  const std::string record = root_.path() + "/opened";
  // The fake opener writes down what it was given, then does the case's part.
  auto opener = [&](const std::string& then) {
    return "#!/bin/sh\nPATH=/usr/bin:/bin\necho \"$*\" > " + record + ".tmp\nmv " + record + ".tmp " + record +
           "\n" + then;
  };
  struct Case {
    const char* name;
    std::string helpDirectory;  // empty: the program's own
    std::string openerScript;   // empty: no opener on the path
    bool runsOn;                // the opener is still running after the wait
    std::vector<std::string> messages;
  };
  const std::vector<Case> cases = {
      {"the opener shows the page", "", opener("exit 0\n"), false, {}},
      {"no program to show the page", "",
       opener("echo \"xdg-open: no method available for opening '$1'\" >&2\nexit 3\n"), false,
       {"The help file cannot be shown: xdg-open found no program that shows HTML pages. Please install a web "
        "browser."}},
      {"the opener fails otherwise", "", opener("exit 4\n"), false,
       {"The help file cannot be shown: xdg-open failed (exit code 4)."}},
      {"the opener runs on past the wait (a browser in its place)", "",
       opener(platform::testing::LingeringScript(root_.path())), true, {}},
      {"no opener installed", "", "", false,
       {"The help file cannot be shown: the program xdg-open that opens it was not found. Please install it "
        "(package xdg-utils)."}},
      {"the help file is missing", nowhere, opener("exit 0\n"), false,
       {"The help file " + nowhere + "/QUILLON.html was not found. Please reinstall the Setup Wizard."}},
  };
  const std::string savedPath = std::getenv("PATH") ? std::getenv("PATH") : "";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ::unlink(record.c_str());
    ::unlink((openerDir + "/xdg-open").c_str());
    if (!c.openerScript.empty()) {
      std::ofstream(openerDir + "/xdg-open") << c.openerScript;
      ::chmod((openerDir + "/xdg-open").c_str(), 0755);
    }
    // An opener that ends has its real time (up to 10 s) to do so; the one that runs on is left
    // after 100 ms of real time, and the wait still takes its whole bound on the clock.
    platform::FakeClock clock(1765368000000LL, c.runsOn ? 100 : 10000);
    beforeRun = [&](CSetupWizardApp& app) { app.m_szHelpDirectory = c.helpDirectory; };
    atX = [&](ui::CPropertySheet& s) {
      platform::ScopedClock useClock(&clock);
      ::setenv("PATH", (c.openerScript.empty() ? emptyDir : openerDir).c_str(), 1);
      s.PressButton(ui::PSBTN_HELP);
      ::setenv("PATH", savedPath.c_str(), 1);
    };
    const RunResult r = Run("", "X");
    EXPECT_EQ(r.started, std::vector<std::string>{"lumeth"});  // the opener is not the scanner's way
    EXPECT_EQ(Texts(r), c.messages);
    if (c.runsOn) {
      EXPECT_EQ(clock.WaitedMs(), CSetupWizardApp::kHelpOpenerWaitMs);
    } else {
      EXPECT_LT(clock.WaitedMs(), CSetupWizardApp::kHelpOpenerWaitMs);
    }
    // The opener was given the page, unless there was no page or no opener.
    const bool opened = c.helpDirectory.empty() && !c.openerScript.empty();
    for (int i = 0; opened && i < 1000 && ::access(record.c_str(), F_OK) != 0; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    std::ifstream in(record);
    std::string given;
    std::getline(in, given);
    EXPECT_EQ(given, opened ? page : "");
    // Told to stop, the opener ends before the test's folder goes.
    if (c.runsOn) {
      EXPECT_TRUE(platform::testing::StopLingering(root_.path()));
    }
  }
  beforeRun = {};
}

// A second start while a wizard runs ends at once, with no scanner start, no sheet and no
// message; the running wizard is asked to come forward and answers.
TEST_F(WizardTest, ASecondStartEndsSilentlyAndBringsTheFirstForward) {
  bool secondRuns = true;
  bool firstShown = false;
  atX = [&](ui::CPropertySheet& s) {
    CSetupWizardApp second("");
    std::atomic<bool> done{false};
    // The second start asks from its own thread while the first one serves it from its loop.
    std::thread asker([&] {
      secondRuns = second.FindRunningWizard();
      done = true;
    });
    while (!done) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    asker.join();
    firstShown = s.GetSafeHwnd()->isVisible() && !s.IsIconic();
  };
  const RunResult r = Run("", "X");
  EXPECT_FALSE(secondRuns);
  EXPECT_TRUE(firstShown);
  EXPECT_EQ(r.started, std::vector<std::string>{"lumeth"});  // started by the first wizard only
  EXPECT_TRUE(r.messages.empty());
}

}  // namespace
}  // namespace wizard_test

namespace wizard_test {
namespace {

using namespace wizard;

// The fuller details page, which no page set holds: its share-name rows follow the port layout,
// and the comment and share names it collects are sent at Finish (and only then).
TEST_F(WizardTest, FullDetailsPageCollectsCommentAndShareNames) {
  box_emulator::Box& box = AddBox({BoxKind::kWired, "FULL-BOX", ""});
  box.SetPortCounts(2, 1, 0);  // port type 4: P1, P2 and the serial port
  ASSERT_TRUE(box.SetSetting("5003", "Front desk"));
  ASSERT_TRUE(box.SetSetting("5103", "SERIAL"));
  WriteCache();
  ASSERT_EQ(TheUtility().mInitializeLanComponent(TYPE_TCPIP, 20), 0);
  ASSERT_EQ(TheUtility().PS_Browse(&DeviceLists, "PS"), 0);
  SetSelectedDevice(box.DefaultName(), "FULL-BOX", "FALSE");
  SetDeviceStateFlags("FALSE", "TRUE");  // state A not "TRUE": the box's own workgroup is shown
  SetSelectedPortType(4);

  ui::ScriptedMessageSink sink;
  platform::SetMessageSink(&sink);
  CServerDetails details;
  CFinish finish;
  ui::CPropertySheet sheet("Full");
  sheet.AddPage(&details);
  sheet.AddPage(&finish);
  sheet.SetWizardMode();
  bool thirdShown = false, spShown = true;
  std::string label3, comment, third;
  ui::SetModalHook([&](ui::CDialog&) {
    thirdShown = details.m_Share3.IsWindowVisible();
    spShown = details.m_ShareSP.IsWindowVisible();
    label3 = details.m_Label3.GetWindowText();
    comment = details.m_Comment.GetWindowText();
    third = details.m_Share3.GetWindowText();
    details.m_Share1.SetWindowText("LASER");
    details.m_Share3.SetWindowText("DOTS");
    sheet.PressButton(ui::PSBTN_NEXT);  // to TCP/IP, which this sheet lacks: stays, collected
    auto& w = g_WizardConfigurationData;
    w.dsTCPIP.szIPAddress = box.Address();
    w.dsTCPIP.szGatewayAddress = "0.0.0.0";
    w.dsTCPIP.szSubNetworkMaskAddress = "255.0.0.0";
    sheet.SetActivePage(1);
    sheet.PressButton(ui::PSBTN_FINISH);
  });
  EXPECT_EQ(sheet.DoModal(), ui::ID_WIZFINISH);
  ui::SetModalHook({});
  platform::SetMessageSink(nullptr);
  TheUtility().mExitLanComponent();

  EXPECT_TRUE(thirdShown);
  EXPECT_FALSE(spShown);
  EXPECT_EQ(label3, "Serial    Port   (SP)");
  EXPECT_EQ(comment, "Front desk");
  EXPECT_EQ(third, "SERIAL");
  const std::vector<std::string> received = FromConfigurationText(box);
  ASSERT_FALSE(received.empty());
  EXPECT_EQ(received[0],
            "0001 :FULL-BOX\n4000 :" + box.Address() +
                "\n4001 :0.0.0.0\n4002 :255.0.0.0\n4020 :Disable\n4021 :Disable\n4022 :Disable\n"
                "5000 :WORKGROUP\n5003 :Front desk\n5101 :LASER\n5102 :\n5104 :\n5103 :DOTS\n");
}

}  // namespace
}  // namespace wizard_test

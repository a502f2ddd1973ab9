// The port-adding program headless: the browse through the real TCP transport against emulated
// boxes listed in the scanner's cache file, the port names, the hand-over record, the port made
// by the print monitor loaded into this program as the spooler does, the standard TCP/IP port and
// the printer set-up start.
#include <gtest/gtest.h>

#include <QAction>
#include <QMenu>

#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "device_client/access/access.h"
#include "device_client/core/scan_cache/scan_cache.h"
#include "platform/clock.h"
#include "platform/message_sink.h"
#include "platform/netbios/tests/nb_test_env.h"
#include "platform/registry.h"
#include "platform/spooler/spooler.h"
#include "platform/test_support/temp_root.h"
#include "port_adder/port_adder.h"
#include "port_adder/printer_select_dlg.h"
#include "tools/box_emulator/box_emulator.h"
#include "tools/box_emulator/netbios_front.h"
#include "ui/services.h"
#include "ui/test_support/gui_app.h"

namespace {

using box_emulator::Box;
using dapsel::ServerNode;

const char* const kPortsKey = "System\\CurrentControlSet\\control\\Print\\Monitors\\Vardon Print Server\\Ports";

std::optional<std::string> Text(const std::string& path, const char* value) {
  HKEY key = nullptr;
  if (RegOpenKeyEx(HKEY_LOCAL_MACHINE, path.c_str(), KEY_READ, &key) != ERROR_SUCCESS) return std::nullopt;
  char data[256] = {};
  DWORD size = sizeof data - 1, type = 0;
  const LONG rc = RegQueryValueEx(key, value, &type, reinterpret_cast<BYTE*>(data), &size);
  RegCloseKey(key);
  if (rc != ERROR_SUCCESS) return std::nullopt;
  if (type == REG_DWORD) {
    DWORD n = 0;
    std::memcpy(&n, data, sizeof n);
    return std::to_string(n);
  }
  return std::string(data, strnlen(data, size));
}

bool KeyExists(const std::string& path) {
  HKEY key = nullptr;
  if (RegOpenKeyEx(HKEY_LOCAL_MACHINE, path.c_str(), KEY_READ, &key) != ERROR_SUCCESS) return false;
  RegCloseKey(key);
  return true;
}

ServerNode Node(int protocol, const std::string& deviceName, const std::string& address, std::uint8_t portKind,
                std::uint8_t lana = 0) {
  ServerNode n;
  n.record.iProtocol = protocol;
  std::memcpy(n.record.address, address.data(), std::min<std::size_t>(address.size(), 19));
  n.record.address[NETBIOS_LANA_OFFSET] = lana;
  std::memcpy(n.deviceName, deviceName.data(), std::min<std::size_t>(deviceName.size(), 19));
  n.portKind = portKind;
  return n;
}

TEST(PortAdderRules, CommandLineStatusModelAndPortNames) {
  EXPECT_EQ(dapsel::ProtocolMaskFromCommandLine("2abc"), TYPE_TCPIP);
  for (const char* line : {"1", "", "3"}) EXPECT_EQ(dapsel::ProtocolMaskFromCommandLine(line), TYPE_NETBEUI) << line;
  EXPECT_EQ(dapsel::ProtocolMaskFromCommandLine(nullptr), TYPE_NETBEUI);

  const std::string status =
      "(P1)STATE:Idle\r\nPRINTER STATUS:On-Line\r\nBYTES SERVICED:12\r\nOCCUPIED BY:\r\n"
      "(P2)STATE:Busy\r\nPRINTER STATUS:Off-Line\r\nBYTES SERVICED:7\r\nOCCUPIED BY:ANNA\r\n";
  auto p1 = dapsel::ParsePortStatus(0, status);
  EXPECT_EQ(p1.state, "Idle");
  EXPECT_EQ(p1.printerStatus, "On-Line");
  EXPECT_EQ(p1.bytesServiced, "12");
  EXPECT_TRUE(p1.ready);
  auto p2 = dapsel::ParsePortStatus(1, status);
  EXPECT_EQ(p2.printerStatus, "Off-Line");
  EXPECT_EQ(p2.occupiedBy, "ANNA");
  EXPECT_FALSE(p2.ready);
  EXPECT_EQ(dapsel::ParsePortStatus(2, status).printerStatus, "");  // no third section
  EXPECT_EQ(dapsel::ParsePortStatus(3, status).state, "");          // never parsed
  EXPECT_EQ(dapsel::ParsePortStatus(0, "STATE").state, "");         // cut short: nothing read past the end

  const struct {
    const char* reply;
    const char* model;
  } models[] = {
      {"0MFG:X;MDL:Laser 4;CLS:PRINTER;", "Laser 4"}, {"0MODEL:Stylus C62;MDL:other;", "Stylus C62"},
      {"0mdl:small", "small"},                         {"1MDL:Laser 4;", ""},
      {"0MFG:X;", ""},                                 {"", ""},
      {"XMDL:Laser;", ""},                             {"0MDL:two\r\nlines;", "two  lines"},
  };
  for (const auto& m : models) EXPECT_EQ(dapsel::ParsePrinterModel(m.reply), m.model) << m.reply;

  const struct {
    ServerNode node;
    int index;
    bool epson;
    const char* name;
  } names[] = {
      {Node(TYPE_TCPIP, "PS1A2B3C4D5E", "10.0.0.9", 3), 1, false, "PS1A2B3C4D_P2"},
      {Node(TYPE_TCPIP, "PS1A2B3C4D5E", "10.0.0.9", 3), 1, true, "LPT2:PS1A2B3C"},
      {Node(TYPE_NETBEUI, "NAMEFROMREPLY", "NBNAME", 3), 0, false, "NBNAME_P1"},  // the found NetBIOS name
      {Node(TYPE_TCPIP, "PS", "10.0.0.9", 3), 2, true, "LPT3:PS"},
  };
  for (const auto& n : names) EXPECT_EQ(dapsel::MakePortName(n.node, n.index, n.epson), n.name);

  for (const char* good : {"PS123456_P1", "LPT3:PS123456"}) EXPECT_TRUE(dapsel::IsUsablePortName(good)) << good;
  for (const char* bad : {"", "PS 1_P1", "PS,1_P1", "PS\\1_P1", "PS\n1_P1", "PS123456789012"})
    EXPECT_FALSE(dapsel::IsUsablePortName(bad)) << bad;
  for (const char* good : {"PS", "RECEPTIONDESK", "RECEPTIONDESK03"}) EXPECT_TRUE(dapsel::IsUsableDeviceName(good)) << good;
  for (const char* bad : {"", "FRONT DESK", "FRONT,DESK", "RECEPTIONDESK004", "PS\t1"})
    EXPECT_FALSE(dapsel::IsUsableDeviceName(bad)) << bad;
}

// Emulated boxes found over TCP/IP through the scanner's cache file; the monitor loaded from
// libbrandel.so as the spooler stand-in does.
class PortAdderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ui::EnsureTestApplication();
    dapsel::RegisterDapselStrings();
    platform::SetMessageSink(&sink_);
    ::setenv("PSADMIN_PRINTER_SETUP", "printer-setup --new", 1);
    box_emulator::BoxOptions o;
    o.restartWindow = std::chrono::milliseconds(0);
    o.identity.namePrefix = "PS";
    o.identity.parallelPorts = 3;
    first_ = std::make_unique<Box>(o);
    first_->SetDeviceName("FRONTDESK");
    box_emulator::PortStatus offline;
    offline.printerStatus = "Off-Line";
    first_->SetPortStatus(2, offline);
    first_->WithCore([](box_emulator::BoxCore& c) { c.pjl().printer(3).bidirectional = false; });
    o.identity.parallelPorts = 1;
    o.identity.usbPorts = 1;
    second_ = std::make_unique<Box>(o);
    second_->SetDeviceName("BACKROOM");
    o.identity.namePrefix = "KV";  // answers, but is no print server of this program
    other_ = std::make_unique<Box>(o);
    std::vector<scan_cache::ScanCacheRecord> records;
    for (Box* b : {first_.get(), second_.get(), other_.get()}) {
      scan_cache::ScanCacheRecord r{};
      const std::string name = b->DefaultName(), address = b->Address();
      std::memcpy(r.szDefaultName, name.data(), std::min<std::size_t>(name.size(), 19));
      r.iProtocol = TYPE_TCPIP;
      std::memcpy(r.address, address.data(), std::min<std::size_t>(address.size(), 19));
      records.push_back(r);
    }
    PSInit(TYPE_TCPIP, 20);  // makes the data directory
    ASSERT_TRUE(scan_cache::WriteScanFile("ss_udp.dat", records.data(), static_cast<int>(records.size())));
  }
  void TearDown() override {
    PSExit();
    platform::SetMessageSink(nullptr);
    ::unsetenv("PSADMIN_PRINTER_SETUP");
  }

  std::unique_ptr<dapsel::CPrinterSelectDlg> Dialog() {
    auto d = std::make_unique<dapsel::CPrinterSelectDlg>(TYPE_TCPIP);
    d->start = [this](const char* line, unsigned) {
      started_.emplace_back(line);
      return 33u;
    };
    return d;
  }

  // The port item of a server's port in the dialog's tree.
  static ui::HTREEITEM PortItem(ui::CTreeCtrl& tree, const std::string& server, int port) {
    for (ui::HTREEITEM s = tree.GetRootItem(); s; s = tree.GetNextSiblingItem(s)) {
      if (tree.GetItemText(s) != server) continue;
      ui::HTREEITEM p = tree.GetChildItem(s);
      for (int i = 0; i < port && p; ++i) p = tree.GetNextSiblingItem(p);
      return p;
    }
    return nullptr;
  }

  platform::testing::TempRoot root_;
  ui::ScriptedMessageSink sink_;
  std::unique_ptr<Box> first_, second_, other_;
  std::vector<std::string> started_;
};

TEST_F(PortAdderTest, TreeListsPrintServersWithTheirPortsAndPrinters) {
  const std::vector<ServerNode> nodes = dapsel::BrowseServers();
  ASSERT_EQ(nodes.size(), 2u);  // the "KV" box is left out
  auto find = [&](const char* name) -> const ServerNode& {
    for (const auto& n : nodes)
      if (std::string(n.deviceName) == name) return n;
    ADD_FAILURE() << name;
    return nodes[0];
  };
  const ServerNode& front = find("FRONTDESK");
  EXPECT_EQ(front.portKind, 3);
  EXPECT_EQ(front.portTexts,
            (std::vector<std::string>{"Port 1,Laser 4", "Port 2,No Printer", "Port 3,Unknown Printer Model"}));
  EXPECT_EQ(front.record.address[NETBIOS_LANA_OFFSET], 0);
  const ServerNode& back = find("BACKROOM");
  EXPECT_EQ(back.portKind, (1 << 2) | 1);
  // The USB port (the fourth index kind) has no status section: listed without a printer.
  EXPECT_EQ(back.portTexts, (std::vector<std::string>{"Port 1,Laser 4", "Port 2,No Printer"}));

  // A box that stops answering is left out without a message.
  second_->SwitchOff();
  auto dlg = Dialog();
  dlg->browse = dapsel::BrowseServers;
  ui::SetModalHook([&](ui::CDialog&) {
    dlg->OnRefresh();
    dlg->OnRefresh();  // a second refresh rebuilds the tree from scratch
    EXPECT_EQ(dlg->tree().GetCount(), 4);
    EXPECT_EQ(dlg->itemCount(), 4);
    ui::HTREEITEM root = dlg->tree().GetRootItem();
    EXPECT_EQ(dlg->tree().GetItemText(root), "FRONTDESK");
    EXPECT_TRUE(dlg->tree().IsExpanded(root));
    EXPECT_EQ(dlg->tree().GetItemImage(root), dapsel::kServerImage);
    EXPECT_EQ(dlg->tree().GetItemImage(dlg->tree().GetChildItem(root)), dapsel::kPortImage);
    if (const char* png = std::getenv("PSA_DAPSEL_SCREENSHOT")) ui::SaveScreenshot(*dlg, png);
  });
  dlg->DoModal();
  ui::SetModalHook({});
  EXPECT_EQ(sink_.ids(), std::vector<int>({122}));

  other_->SwitchOff();
  first_->SwitchOff();
  EXPECT_TRUE(dapsel::BrowseServers().empty());
}

TEST_F(PortAdderTest, AddMakesTheMonitorPortFromTheHandOverRecordAndStartsPrinterSetup) {
  ASSERT_TRUE(platform::spooler::RegisterMonitor("Vardon Print Server", PSA_BRANDEL_LIBRARY));
  auto dlg = Dialog();
  ui::SetModalHook([&](ui::CDialog&) {
    dlg->OnRefresh();
    // No port selected, and a server item selected: nothing is made.
    dlg->OnOK();
    dlg->tree().SelectItem(dlg->tree().GetRootItem());
    dlg->OnOK();
    ui::HTREEITEM port = PortItem(dlg->tree(), "FRONTDESK", 0);
    ASSERT_NE(port, nullptr);
    dlg->tree().SelectItem(port);
    dlg->OnOK();
    dlg->OnOK();  // the same port again
  });
  dlg->DoModal();
  ui::SetModalHook({});
  std::vector<int> ids = sink_.ids();
  ids.erase(std::remove(ids.begin(), ids.end(), 613), ids.end());  // no NetBIOS here for the monitor
  EXPECT_EQ(ids, (std::vector<int>{122, 104, 104, 0, 107}));
  const std::string port = std::string(kPortsKey) + "\\FRONTDESK_P1";
  EXPECT_EQ(Text(port, "TCP/IP Address"), "FRONTDESK");
  EXPECT_EQ(Text(port, "Port"), "0");
  EXPECT_EQ(Text(port, "LanaNum"), "0");
  EXPECT_EQ(Text(port, "BoxType"), "3");
  EXPECT_EQ(Text(port, "RegiRetry"), "50");
  EXPECT_FALSE(KeyExists("SOFTWARE\\Kelmor\\KVX"));  // the hand-over record is gone
  EXPECT_EQ(started_, (std::vector<std::string>{"printer-setup --new", "printer-setup --new"}));
  platform::spooler::Spooler spooler;
  ASSERT_TRUE(spooler.LoadMonitor("Vardon Print Server"));
  const auto names = spooler.PortNames();
  EXPECT_NE(std::find(names.begin(), names.end(), "FRONTDESK_P1"), names.end());
}

// A box name of 13 to 15 characters is a whole NetBIOS name: Add makes its port through the
// dialog, and the monitor's record calls the box by that whole name.
TEST_F(PortAdderTest, AddTakesBoxNamesUpToTheNetbiosLength) {
  ASSERT_TRUE(platform::spooler::RegisterMonitor("Vardon Print Server", PSA_BRANDEL_LIBRARY));
  const struct {
    const char* device;
    const char* port;
  } cases[] = {{"RECEPTIONDESK", "RECEPTIOND_P1"}, {"RECEPTIONDESK2", "RECEPTIOND_P2"}, {"RECEPTIONDESK03", "RECEPTIOND_P3"}};
  int port = 0;
  for (const auto& c : cases) {
    first_->SetDeviceName(c.device);
    auto dlg = Dialog();
    ui::SetModalHook([&](ui::CDialog&) {
      dlg->OnRefresh();
      ui::HTREEITEM item = PortItem(dlg->tree(), c.device, port);
      ASSERT_NE(item, nullptr) << c.device;
      dlg->tree().SelectItem(item);
      dlg->OnOK();
    });
    dlg->DoModal();
    ui::SetModalHook({});
    const std::string key = std::string(kPortsKey) + "\\" + c.port;
    EXPECT_EQ(Text(key, "TCP/IP Address"), c.device) << c.port;
    EXPECT_EQ(Text(key, "Port"), std::to_string(port)) << c.port;
    ++port;
  }
  for (const auto& shown : sink_.shown()) EXPECT_NE(shown.id, 151) << shown.text;
  // A name the record cannot carry is refused as a device name, not as a port name.
  ServerNode comma = Node(TYPE_NETBEUI, "FRONTDESK,2", "NB", 3);  // its port name comes from "NB"
  ServerNode longer = Node(TYPE_NETBEUI, "LONGER", "NB", 3);
  std::memcpy(longer.deviceName, "ABCDEFGHIJKLMNOPQRS", 19);  // only a NetBIOS name's 15 are carried
  int calls = 0;
  auto add = [&](const char*, void*, const char*) { return ++calls, 1; };
  auto start = [](const char*, unsigned) { return 33u; };
  sink_ = ui::ScriptedMessageSink();
  EXPECT_FALSE(dapsel::AddSelectedPort(comma, "Port 1,Laser 4", add, start).created);
  ASSERT_FALSE(sink_.shown().empty());
  EXPECT_EQ(sink_.shown().back().text, "'FRONTDESK,2' is an invalid device name.");
  EXPECT_EQ(calls, 0);
  EXPECT_TRUE(dapsel::AddSelectedPort(longer, "Port 1,Laser 4", add, start).created);
  EXPECT_EQ(calls, 1);
}

// The window menu holds a separator and "&About Dapsel..."; the item opens the About box, which
// shows the program's name and version. With PSA_TEST_SCREENSHOTS set to a folder, both windows
// are saved there for a look.
TEST_F(PortAdderTest, WindowMenuAboutItemOpensTheAboutBox) {
  auto dlg = Dialog();
  dlg->browse = [] { return std::vector<ServerNode>{}; };
  const char* shots = std::getenv("PSA_TEST_SCREENSHOTS");
  std::vector<int> shown;
  ui::SetModalHook([&](ui::CDialog& d) {
    shown.push_back(d.Template().id);
    if (d.Template().id == dapsel::IDD_ABOUTBOX) {
      EXPECT_EQ(d.GetWindowText(), "About Dapsel");
      EXPECT_EQ(d.GetDlgItemText(dapsel::IDC_ABOUT_VERSION), "Dapsel Version 1.0");
      if (shots != nullptr) ui::SaveScreenshot(d, QString::fromStdString(std::string(shots) + "/dapsel_about.png"));
      d.EndDialog(ui::IDOK);
      return;
    }
    QMenu* menu = dlg->systemMenu();
    ASSERT_NE(menu, nullptr);
    const auto entries = menu->actions();
    ASSERT_EQ(entries.size(), 2);
    EXPECT_TRUE(entries[0]->isSeparator());
    EXPECT_EQ(entries[1]->text().toStdString(), "&About Dapsel...");
    if (shots != nullptr) ui::SaveScreenshot(*dlg, QString::fromStdString(std::string(shots) + "/dapsel_select.png"));
    entries[1]->trigger();
    dlg->OnSysCommand(32);  // another command of the window menu: no About box
  });
  dlg->DoModal();
  ui::SetModalHook({});
  EXPECT_EQ(shown, (std::vector<int>{dapsel::IDD_PRINTER_SELECT, dapsel::IDD_ABOUTBOX}));
}

TEST_F(PortAdderTest, EpsonPortAndRefusedCreationLeaveNoHandOverRecord) {
  ASSERT_TRUE(platform::spooler::RegisterMonitor("Vardon Print Server", PSA_BRANDEL_LIBRARY));
  ServerNode node = Node(TYPE_TCPIP, "PS1A2B3C4D5E", "127.0.0.1", 3);
  // Port 2 has no printer: the user says an Epson Stylus is there.
  sink_ = ui::ScriptedMessageSink({platform::IDYES});
  std::vector<std::string> calls;
  std::string record;
  auto refuse = [&](const char*, void*, const char* monitor) {
    calls.emplace_back(monitor);
    record = Text("SOFTWARE\\Kelmor\\KVX", "PS_0").value_or("");
    SetLastError(ERROR_INVALID_NAME);
    return 0;
  };
  auto start = [&](const char* line, unsigned) {
    started_.emplace_back(line);
    return 33u;
  };
  const auto result = dapsel::AddSelectedPort(node, "Port 2,No Printer", refuse, start);
  EXPECT_EQ(result.portName, "LPT2:PS1A2B3C");
  EXPECT_FALSE(result.created);
  EXPECT_EQ(calls, std::vector<std::string>{"Vardon Print Server"});
  EXPECT_EQ(record, "LPT2:PS1A2B3C,PS1A2B3C4D5E,1,0,3");
  EXPECT_FALSE(KeyExists("SOFTWARE\\Kelmor\\KVX"));
  ASSERT_GE(sink_.shown().size(), 3u);
  EXPECT_EQ(sink_.shown()[1].id, 106);
  EXPECT_EQ(sink_.shown()[2].text, "AddPort fail");
  EXPECT_TRUE(started_.empty());  // a failed creation stops before the printer set-up

  // A box name the hand-over record cannot carry is refused before anything is written.
  ServerNode blank = Node(TYPE_TCPIP, "FRONT DESK", "127.0.0.1", 3);
  calls.clear();
  EXPECT_FALSE(dapsel::AddSelectedPort(blank, "Port 1,Laser 4", refuse, start).created);
  EXPECT_TRUE(calls.empty());
  EXPECT_EQ(sink_.shown().back().id, 151);
  EXPECT_FALSE(KeyExists("SOFTWARE\\Kelmor\\KVX"));
}

TEST_F(PortAdderTest, WithoutTheMonitorATcpIpServerGetsAStandardLpdPort) {
  ServerNode node = Node(TYPE_TCPIP, "FRONTDESK", "10.1.2.3", 3);
  int monitorCalls = 0;
  auto add = [&](const char*, void*, const char*) { return ++monitorCalls, 1; };
  auto start = [&](const char* line, unsigned) {
    started_.emplace_back(line);
    return 33u;
  };
  auto result = dapsel::AddSelectedPort(node, "Port 3,Laser 4", add, start);
  EXPECT_TRUE(result.created);
  EXPECT_EQ(result.portName, "IP_10.1.2.3");
  EXPECT_EQ(monitorCalls, 0);
  const std::string key = std::string(dapsel::kStandardPortsKey) + "\\IP_10.1.2.3";
  EXPECT_EQ(Text(key, "URI"), "lpd://10.1.2.3:515/L3");
  EXPECT_EQ(Text(key, "Queue"), "L3");
  EXPECT_EQ(Text(key, "PortNumber"), "515");
  EXPECT_FALSE(KeyExists("SOFTWARE\\Kelmor\\KVX"));
  EXPECT_EQ(started_.size(), 1u);
  // The same port again keeps the first one's settings and says so.
  EXPECT_FALSE(dapsel::AddSelectedPort(node, "Port 1,Laser 4", add, start).created);
  EXPECT_EQ(Text(key, "Queue"), "L3");
  EXPECT_EQ(sink_.shown().back().text, "AddPort fail");
  // A NetBIOS server cannot have one (its address is no IP address): it goes to the monitor.
  ServerNode nb = Node(TYPE_NETBEUI, "NBBOX", "NBBOX", 3);
  EXPECT_EQ(dapsel::AddSelectedPort(nb, "Port 1,Laser 4", add, start).portName, "NBBOX_P1");
  EXPECT_EQ(monitorCalls, 1);
}

TEST_F(PortAdderTest, PrinterSetupCommandOrTheMessage) {
  std::vector<std::string> lines;
  auto start = [&](const char* line, unsigned) {
    lines.emplace_back(line);
    return 2u;  // not found
  };
  EXPECT_FALSE(dapsel::RunAddPrinterWizard(start));
  EXPECT_EQ(lines, std::vector<std::string>{"printer-setup --new"});
  ::unsetenv("PSADMIN_PRINTER_SETUP");
  const std::string path = std::getenv("PATH") ? std::getenv("PATH") : "";
  ::setenv("PATH", root_.path().c_str(), 1);  // neither system-config-printer nor xdg-open
  if (dapsel::PrinterSetupCommand().empty()) {
    EXPECT_FALSE(dapsel::RunAddPrinterWizard(start));
    EXPECT_EQ(sink_.ids(), std::vector<int>{121});
  }
  ::setenv("PATH", path.c_str(), 1);
}

// dapsel reads the boxes over NetBIOS with its device library and loads the print monitor into
// itself at its first Add. The monitor's start-up must leave the library's local name and
// sessions alone: the next refresh reads the box over NetBIOS again.
TEST_F(PortAdderTest, LoadingTheMonitorLeavesTheProgramsNetbiosAlone) {
  nbtest::Ports ports;
  nbtest::WriteConfig(root_.path(), ports, {"127.0.0.1"});
  box_emulator::NetbiosFront front(nbtest::OnPorts(box_emulator::NetbiosFrontOptions{}, ports));
  std::size_t index = 0;
  ASSERT_TRUE(front.AddBox(first_.get(), &index));
  platform::FakeClock clock;  // a failing call would pause 3 s between its attempts
  platform::ScopedClock useClock(&clock);
  ASSERT_EQ(PSInit(TYPE_NETBEUI, 20), 0);
  DeviceRecord record = Node(TYPE_NETBEUI, "", "FRONTDESK", 0).record;
  const std::string defaultName = first_->DefaultName();
  std::memcpy(record.szName, defaultName.data(), std::min<std::size_t>(defaultName.size(), 19));

  ASSERT_EQ(dapsel::QueryServers(&record, 1).size(), 1u);
  ASSERT_TRUE(platform::spooler::RegisterMonitor("Vardon Print Server", PSA_BRANDEL_LIBRARY));
  std::string portName;
  const dapsel::ServerNode node = dapsel::QueryServers(&record, 1).at(0);
  ASSERT_EQ(dapsel::WritePortRecord(node, 0, false, portName), dapsel::RecordResult::kWritten);
  EXPECT_EQ(dapsel::AddPortA(nullptr, nullptr, "Vardon Print Server"), TRUE);
  EXPECT_EQ(portName, "FRONTDESK_P1");

  const std::vector<ServerNode> again = dapsel::QueryServers(&record, 1);
  ASSERT_EQ(again.size(), 1u);
  EXPECT_STREQ(again[0].deviceName, "FRONTDESK");
  EXPECT_EQ(again[0].portTexts.size(), 3u);
}

}  // namespace

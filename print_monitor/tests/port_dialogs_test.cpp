// The monitor's port dialogs as windows: libbrandel.so loaded by the spooler stand-in into this
// program (a spooler host offering the dialog service), AddPort without a hand-over record and
// ConfigurePort worked through the dialogs by the modal hook, against emulated boxes over the
// NetBIOS stand-in. Without the service the monitor stays window-free.
#include <gtest/gtest.h>

#include <QFileInfo>
#include <chrono>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/clock.h"
#include "platform/message_sink.h"
#include "platform/netbios/tests/nb_test_env.h"
#include "platform/process/process.h"
#include "platform/registry.h"
#include "platform/spooler/dialog_service.h"
#include "platform/spooler/spooler.h"
#include "platform/test_support/temp_root.h"
#include "platform/test_support/watched_program.h"
#include "print_monitor/dialogs/port_dialog_windows.h"
#include "print_monitor/tests/emulated_print_box.h"
#include "ui/services.h"
#include "ui/test_support/gui_app.h"
#include "ui/win32.h"
#include "ui/wnd.h"

namespace {

namespace sp = platform::spooler;

const char* const kPortsKey = "System\\CurrentControlSet\\control\\Print\\Monitors\\Vardon Print Server\\Ports";

std::optional<std::string> Value(const std::string& port, const char* name) {
  HKEY key = nullptr;
  const std::string path = std::string(kPortsKey) + "\\" + port;
  if (RegOpenKeyEx(HKEY_LOCAL_MACHINE, path.c_str(), KEY_READ, &key) != ERROR_SUCCESS) return std::nullopt;
  BYTE data[64] = {};
  DWORD size = sizeof data - 1, type = 0;
  const LONG rc = RegQueryValueEx(key, name, &type, data, &size);
  RegCloseKey(key);
  if (rc != ERROR_SUCCESS) return std::nullopt;
  if (type == REG_DWORD) {
    DWORD v = 0;
    std::memcpy(&v, data, sizeof v);
    return std::to_string(v);
  }
  return std::string(reinterpret_cast<const char*>(data));
}

// A port's record as the monitor stores it (the nine values).
struct PortRecord {
  std::string device;
  DWORD port = 0, boxType = 1, regiRetry = 50, postScript = 0;
  std::string user;
};
void WriteRecord(const std::string& name, const PortRecord& r) {
  HKEY key = nullptr;
  const std::string path = std::string(kPortsKey) + "\\" + name;
  ASSERT_EQ(RegCreateKeyEx(HKEY_LOCAL_MACHINE, path.c_str(), KEY_ALL_ACCESS, &key, nullptr), ERROR_SUCCESS);
  auto text = [key](const char* value, const std::string& t) {
    RegSetValueEx(key, value, REG_SZ, reinterpret_cast<const BYTE*>(t.c_str()), static_cast<DWORD>(t.size() + 1));
  };
  auto number = [key](const char* value, DWORD v) {
    RegSetValueEx(key, value, REG_DWORD, reinterpret_cast<const BYTE*>(&v), sizeof v);
  };
  text("User Name", r.user);
  number("Banner Page", 0);
  text("TCP/IP Address", r.device);
  number("Port", r.port);
  number("PostScript", r.postScript);
  number("RegiRetry", r.regiRetry);
  number("NetTimeout", 0);
  number("BoxType", r.boxType);
  number("LanaNum", 0);
  RegCloseKey(key);
}

// Clicks, texts and lists of a dialog the hook was given.
void Click(ui::CDialog& d, int id) { d.Notify(id, ui::BN_CLICKED, nullptr); }
std::string TextOf(ui::CDialog& d, int id) { return d.GetDlgItemText(id); }
ui::CListBox& List(ui::CDialog& d) { return *dynamic_cast<ui::CListBox*>(d.GetDlgItem(1007)); }
std::vector<std::string> Lines(ui::CDialog& d) {
  std::vector<std::string> lines;
  for (int i = 0; i < List(d).GetCount(); ++i) lines.push_back(List(d).GetText(i));
  return lines;
}
int LineStarting(ui::CDialog& d, const std::string& start) {
  for (int i = 0; i < List(d).GetCount(); ++i)
    if (List(d).GetText(i).rfind(start, 0) == 0) return i;
  return -1;
}

// Saves a picture of the dialog when $PSA_PORT_DIALOG_SCREENSHOTS names a folder.
void Picture(ui::CDialog& d, const std::string& name) {
  if (const char* dir = std::getenv("PSA_PORT_DIALOG_SCREENSHOTS"))
    ui::SaveScreenshot(d.GetSafeHwnd(), QString::fromStdString(std::string(dir) + "/" + name + ".png"));
}

// One root, NetBIOS set-up and monitor for the whole suite: the loaded monitor keeps its port
// list and its local names for the life of the process, as a monitor in a spooler does.
struct Environment {
  Environment() {
    ui::EnsureTestApplication();
    emu = std::make_unique<monitor_test::EmulatedPrintBox>(root.path(), ports, "PRNBOX", 1030);
    emu->box->SetPortCounts(2, 0, 1);
    emu->box->SetFirmware(0x02, 0x15);
    emu->SetFault({.offline = true}, 1);  // Parallel 2 is off-line
    box_emulator::BoxOptions o;
    o.restartWindow = std::chrono::milliseconds(0);
    other = std::make_unique<box_emulator::Box>(o);
    other->SetDeviceName("OTHERBOX");
    other->SetPortCounts(1, 0, 0);
    emu->front->AddBox(other.get());
    platform::SetMessageSink(&quiet);
    sp::RegisterMonitor("Vardon Print Server", PSA_BRANDEL_LIBRARY);
    loaded = spooler.LoadMonitor("Vardon Print Server");
  }
  ~Environment() {
    emu.reset();
    other.reset();
    platform::SetMessageSink(nullptr);
  }
  platform::testing::TempRoot root;
  nbtest::Ports ports;
  platform::FakeClock clock;
  platform::ScopedClock useClock{&clock};
  ui::ScriptedMessageSink quiet;
  std::unique_ptr<monitor_test::EmulatedPrintBox> emu;
  std::unique_ptr<box_emulator::Box> other;
  sp::Spooler spooler;
  bool loaded = false;
};

class PortDialogs : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { env_ = new Environment; }
  static void TearDownTestSuite() {
    delete env_;
    env_ = nullptr;
  }
  void SetUp() override {
    ASSERT_TRUE(env_->loaded) << env_->spooler.error();
    platform::SetMessageSink(&sink_);
    brandel_windows::InstallPortDialogService();
    // Each dialog that opens runs the next script queued for its template.
    ui::SetModalHook([this](ui::CDialog& d) {
      auto& queue = scripts_[d.Template().id];
      if (queue.empty()) {
        ADD_FAILURE() << "dialog " << d.Template().id << " opened unexpectedly";
        return;
      }
      auto step = std::move(queue.front());
      queue.pop_front();
      opened_.push_back(d.Template().id);
      step(d);
    });
  }
  void TearDown() override {
    ui::SetModalHook({});
    sp::SetDialogService(nullptr);
    platform::SetMessageSink(&env_->quiet);
    for (const auto& [id, queue] : scripts_) EXPECT_TRUE(queue.empty()) << "dialog " << id << " never opened";
  }
  void Script(int id, std::function<void(ui::CDialog&)> step) { scripts_[id].push_back(std::move(step)); }
  // Device Select: the line of `name`, then OK.
  void PickDevice(const std::string& name) {
    Script(801, [name](ui::CDialog& d) {
      Picture(d, "801_device_select");
      const int line = LineStarting(d, name);
      ASSERT_GE(line, 0) << name;
      List(d).SetCurSel(line);
      Click(d, ui::IDOK);
    });
  }
  // Output Select: the line of `label`, then OK.
  void PickOutput(const std::string& label) {
    Script(701, [label](ui::CDialog& d) {
      List(d).SetCurSel(LineStarting(d, label));
      Click(d, ui::IDOK);
    });
  }
  std::vector<int> TakeIds() {
    std::vector<int> ids = sink_.ids();
    sink_ = ui::ScriptedMessageSink();
    return ids;
  }

  static Environment* env_;
  ui::ScriptedMessageSink sink_;
  std::map<int, std::deque<std::function<void(ui::CDialog&)>>> scripts_;
  std::vector<int> opened_;
};

Environment* PortDialogs::env_ = nullptr;

TEST_F(PortDialogs, AddPortWithoutHandOverRecordBrowsesPicksTheOutputAndChecksTheName) {
  PickDevice("PRNBOX");
  Script(701, [](ui::CDialog& d) {
    EXPECT_EQ(TextOf(d, 1000), "215");  // the device number, its BCD digits as they are
    // Two parallel ports (the second off-line), one USB port, eight logical ports.
    EXPECT_EQ(Lines(d), (std::vector<std::string>{"Parallel 1     ON-Line", "Parallel 2     OFF-Line",
                                                  "USB 1     ON-Line", "Logical Port 1", "Logical Port 2",
                                                  "Logical Port 3", "Logical Port 4", "Logical Port 5",
                                                  "Logical Port 6", "Logical Port 7", "Logical Port 8"}));
    EXPECT_EQ(List(d).GetCurSel(), 0);  // the current output
    Picture(d, "701_output_select");
    List(d).SetCurSel(1);
    Click(d, ui::IDOK);
  });
  Script(601, [this](ui::CDialog& d) {
    EXPECT_EQ(TextOf(d, 1006), "Parallel 1");
    EXPECT_EQ(TextOf(d, 1014), "1.16");
    EXPECT_EQ(TextOf(d, 1010), "50");
    // No box chosen yet: OK and Select Device Port ask for one.
    Click(d, ui::IDOK);
    Click(d, 1003);
    EXPECT_EQ(TakeIds(), (std::vector<int>{610, 610}));

    Click(d, 1004);  // Browse: the Device Select dialog lists both boxes
    EXPECT_EQ(TextOf(d, 1002), "PRNBOX");
    EXPECT_EQ(TextOf(d, 1001), "PRNBOX_P1");
    Click(d, 1003);  // Output Select: Parallel 2
    EXPECT_EQ(TextOf(d, 1006), "Parallel 2");
    EXPECT_EQ(TextOf(d, 1001), "PRNBOX_P2");

    // The retry interval steps within 40..110, wrapping at the ends.
    auto& spin = *dynamic_cast<ui::CSpinButtonCtrl*>(d.GetDlgItem(1012));
    spin.Step(1);
    EXPECT_EQ(TextOf(d, 1010), "51");
    d.CheckDlgButton(302, ui::BST_CHECKED);
    d.SetDlgItemText(1000, "kim");
    Picture(d, "601_add_port");

    // Refused names keep the dialog open, each with its message.
    const struct {
      const char* name;
      int message;
    } refused[] = {{"", 717}, {"PS 1", 501}, {"PS,1", 501}, {"PS\\1", 501}, {"PS\t1", 501}};
    for (const auto& r : refused) {
      d.SetDlgItemText(1001, r.name);
      Click(d, ui::IDOK);
      EXPECT_EQ(TakeIds(), std::vector<int>{r.message}) << r.name;
      EXPECT_TRUE(d.IsModalRunning());
    }
    d.SetDlgItemText(1000, "line\nbreak");
    d.SetDlgItemText(1001, "DESK_P2");
    Click(d, ui::IDOK);
    EXPECT_EQ(TakeIds(), std::vector<int>{718});
    d.SetDlgItemText(1000, "kim");
    d.SetDlgItemText(1001, "LPT3:PRNBOX");  // the printer kind that wants its LPT name
    Click(d, ui::IDOK);
  });
  DWORD error = 0;
  EXPECT_TRUE(env_->spooler.AddPort(&error));
  EXPECT_EQ(opened_, (std::vector<int>{601, 801, 701}));
  EXPECT_TRUE(TakeIds().empty());
  const std::string port = "LPT3:PRNBOX";
  EXPECT_EQ(Value(port, "TCP/IP Address"), "PRNBOX");
  EXPECT_EQ(Value(port, "Port"), "1");
  EXPECT_EQ(Value(port, "BoxType"), "6");
  EXPECT_EQ(Value(port, "LanaNum"), "0");
  EXPECT_EQ(Value(port, "RegiRetry"), "51");
  EXPECT_EQ(Value(port, "Banner Page"), "1");
  EXPECT_EQ(Value(port, "PostScript"), "0");
  EXPECT_EQ(Value(port, "User Name"), "kim");
  const auto names = env_->spooler.PortNames();
  EXPECT_NE(std::find(names.begin(), names.end(), port), names.end());
}

TEST_F(PortDialogs, AddPortRefusesTakenAndDeviceNamesAndCancelCancels) {
  // A port name that is taken keeps the dialog open; LPT1 passes the dialog and is refused after.
  WriteRecord("TAKEN_P1", {.device = "PRNBOX"});
  PickDevice("OTHERBOX");
  Script(601, [this](ui::CDialog& d) {
    Click(d, 1004);
    EXPECT_EQ(TextOf(d, 1001), "OTHERBOX_P1");
    EXPECT_EQ(TextOf(d, 1006), "Parallel 1");
    d.SetDlgItemText(1001, "TAKEN_P1");
    Click(d, ui::IDOK);
    EXPECT_EQ(TakeIds(), std::vector<int>{502});
    d.SetDlgItemText(1001, "lpt1");
    Click(d, ui::IDOK);
  });
  DWORD error = 0;
  EXPECT_FALSE(env_->spooler.AddPort(&error));
  EXPECT_EQ(TakeIds(), std::vector<int>{702});
  EXPECT_FALSE(Value("lpt1", "Port"));

  Script(601, [](ui::CDialog& d) { Click(d, ui::IDCANCEL); });
  EXPECT_FALSE(env_->spooler.AddPort(&error));
  EXPECT_EQ(error, ERROR_CANCELLED);
  EXPECT_TRUE(TakeIds().empty());
}

TEST_F(PortDialogs, ConfigurePortShowsTheRecordAndKeepsThePortName) {
  // A port of the USB output (index 2 of BoxType 6), made as the port-adding program makes one.
  WriteRecord("PRN_USB", {.device = "PRNBOX", .port = 2, .boxType = 6, .regiRetry = 70, .postScript = 1, .user = "ann"});

  // Opened and closed unchanged, the stored output stays the same.
  Script(601, [](ui::CDialog& d) {
    EXPECT_EQ(TextOf(d, 1001), "PRN_USB");
    EXPECT_EQ(TextOf(d, 1002), "PRNBOX");
    EXPECT_EQ(TextOf(d, 1006), "USB 1");
    EXPECT_EQ(TextOf(d, 1010), "70");
    EXPECT_EQ(TextOf(d, 1000), "ann");
    EXPECT_EQ(d.IsDlgButtonChecked(1008), ui::BST_CHECKED);
    EXPECT_EQ(d.IsDlgButtonChecked(302), ui::BST_UNCHECKED);
    Picture(d, "601_configure_port");
    Click(d, ui::IDOK);
  });
  DWORD error = 0;
  EXPECT_TRUE(env_->spooler.ConfigurePort("PRN_USB", &error));
  EXPECT_EQ(Value("PRN_USB", "Port"), "2");
  EXPECT_EQ(Value("PRN_USB", "RegiRetry"), "70");

  // Another output: the port keeps its name.
  PickOutput("Logical Port 3");
  Script(601, [](ui::CDialog& d) {
    Click(d, 1003);
    EXPECT_EQ(TextOf(d, 1006), "Logical Port 3");
    EXPECT_EQ(TextOf(d, 1001), "PRN_USB");
    d.SetDlgItemText(1000, "bob");
    Click(d, ui::IDOK);
  });
  EXPECT_TRUE(env_->spooler.ConfigurePort("PRN_USB", &error));
  EXPECT_EQ(Value("PRN_USB", "Port"), "5");
  EXPECT_EQ(Value("PRN_USB", "User Name"), "bob");
  EXPECT_TRUE(TakeIds().empty());

  // Cancel changes nothing.
  Script(601, [](ui::CDialog& d) {
    d.SetDlgItemText(1000, "eve");
    Click(d, ui::IDCANCEL);
  });
  EXPECT_TRUE(env_->spooler.ConfigurePort("PRN_USB", &error));
  EXPECT_EQ(Value("PRN_USB", "User Name"), "bob");

  // COM ports have nothing to configure: no dialog.
  EXPECT_TRUE(env_->spooler.ConfigurePort("COM3", &error));
  EXPECT_EQ(TakeIds(), std::vector<int>{503});
}

TEST_F(PortDialogs, AMissingBoxIsReportedAndTheDialogStaysOpen) {
  WriteRecord("GONE_P1", {.device = "GONEBOX"});
  Script(601, [this](ui::CDialog& d) {
    Click(d, 1003);
    Click(d, ui::IDOK);
    EXPECT_EQ(TakeIds(), (std::vector<int>{611, 611}));
    EXPECT_TRUE(d.IsModalRunning());
    Click(d, ui::IDCANCEL);
  });
  DWORD error = 0;
  EXPECT_TRUE(env_->spooler.ConfigurePort("GONE_P1", &error));
  EXPECT_EQ(Value("GONE_P1", "TCP/IP Address"), "GONEBOX");

  // No box answers the browse: nothing to choose from.
  env_->emu->box->SwitchOff();
  env_->other->SwitchOff();
  Script(601, [this](ui::CDialog& d) {
    Click(d, 1004);
    EXPECT_EQ(TakeIds(), std::vector<int>{609});
    EXPECT_EQ(TextOf(d, 1002), "");
    Click(d, ui::IDCANCEL);
  });
  EXPECT_FALSE(env_->spooler.AddPort(&error));
  EXPECT_EQ(error, ERROR_CANCELLED);
}

TEST_F(PortDialogs, WithoutTheServiceTheMonitorShowsNoDialog) {
  sp::SetDialogService(nullptr);
  ui::SetModalHook([](ui::CDialog& d) { ADD_FAILURE() << "dialog " << d.Template().id; });
  DWORD error = 0;
  EXPECT_FALSE(env_->spooler.AddPort(&error));
  EXPECT_EQ(error, ERROR_CANCELLED);
  WriteRecord("PLAIN_P1", {.device = "PRNBOX"});
  EXPECT_TRUE(env_->spooler.ConfigurePort("PLAIN_P1", &error));
  EXPECT_EQ(Value("PLAIN_P1", "TCP/IP Address"), "PRNBOX");
  EXPECT_TRUE(TakeIds().empty());
}

// psa_spooler as a program: without a display AddPort without a record is cancelled at once; with
// one it shows the Add Port window (pictured, then the program is ended).
TEST_F(PortDialogs, TheSpoolerProgramShowsTheWindowOnlyWithADisplay) {
  using platform::testing::WatchedProgram;
  const std::string root = "PSADMIN_ROOT=" + env_->root.path();
  {
    WatchedProgram p({platform::ProgramDirectory() + "/psa_spooler", "add-port"},
                     {.extraEnvironment = {root, "DISPLAY=", "WAYLAND_DISPLAY=", "QT_QPA_PLATFORM="}});
    EXPECT_EQ(p.WaitForExit(), 1);
    EXPECT_NE(p.Error().find("AddPort failed (1223)"), std::string::npos) << p.Error();
  }
  const std::string png = env_->root.path() + "/spooler_601.png";
  WatchedProgram p({platform::ProgramDirectory() + "/psa_spooler", "add-port"},
                   {.extraEnvironment = {root, "QT_QPA_PLATFORM=offscreen", "PSA_UI_SCREENSHOT=601:" + png + ":100"}});
  // Real time: the picture is saved by the child once its window is up.
  for (int i = 0; i < 600 && !QFileInfo::exists(QString::fromStdString(png)); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_TRUE(QFileInfo::exists(QString::fromStdString(png))) << p.Error();
  if (const char* dir = std::getenv("PSA_PORT_DIALOG_SCREENSHOTS")) {
    std::error_code ignored;
    std::filesystem::copy_file(png, std::string(dir) + "/601_psa_spooler.png",
                               std::filesystem::copy_options::overwrite_existing, ignored);
  }
}

}  // namespace

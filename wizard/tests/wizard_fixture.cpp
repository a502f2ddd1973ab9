#include "wizard/tests/wizard_fixture.h"

#include <unistd.h>

#include <climits>
#include <cstring>
#include <filesystem>

#include "device_client/core/scan_cache/scan_cache.h"
#include "platform/message_sink.h"
#include "ui/test_support/gui_app.h"
#include "wizard/program_start.h"
#include "wizard/select_page.h"
#include "wizard/setup_wizard_app.h"
#include "wizard/wizard_state.h"

namespace wizard_test {
namespace {

void Put(void* field, std::size_t size, const std::string& text) {
  std::memcpy(field, text.data(), std::min(size, text.size()));
}

scan_cache::ScanCacheRecord Cached(const box_emulator::Box& box) {
  scan_cache::ScanCacheRecord r{};
  Put(r.szDefaultName, sizeof r.szDefaultName, box.DefaultName());
  r.iProtocol = 2;  // TCP/IP
  Put(r.address, 19, box.Address());
  Put(r.szLocalAddress, sizeof r.szLocalAddress, "127.0.0.1");
  const auto block = box.DeviceInfoBlock();
  std::copy(block.begin() + 4, block.begin() + 36, r.hardwareId);
  Put(r.szDeviceName, sizeof r.szDeviceName, box.DeviceName());
  return r;
}

}  // namespace

void WizardTest::SetUp() {
  ui::EnsureTestApplication();
  char cwd[PATH_MAX];
  ASSERT_NE(::getcwd(cwd, sizeof cwd), nullptr);
  oldCwd_ = cwd;
  ASSERT_EQ(::chdir(root_.path().c_str()), 0);
  nbtest::WriteConfig(root_.path(), ports_, {"127.0.0.1"});
  wizard::ResetWizardState();
  // The data directory the library makes when it opens, made here so the cache can be written
  // before the wizard starts.
  const std::string path = scan_cache::ScanFilePath("ss_udp.dat");
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  WriteCache();
}

void WizardTest::TearDown() {
  wizard::SetProgramStarter({});
  ui::SetModalHook({});
  platform::SetMessageSink(nullptr);
  wizard::ResetWizardState();
  boxes_.clear();
  if (!oldCwd_.empty()) {
    EXPECT_EQ(::chdir(oldCwd_.c_str()), 0);
  }
}

box_emulator::Box& WizardTest::AddBox(const BoxSpec& spec) {
  box_emulator::BoxOptions o;
  o.restartWindow = std::chrono::milliseconds(0);
  o.identity.namePrefix = "PS";
  boxes_.push_back(std::make_unique<box_emulator::Box>(o));
  box_emulator::Box& box = *boxes_.back();
  if (!spec.deviceName.empty()) box.SetDeviceName(spec.deviceName);
  box.SetPassword(spec.password);
  switch (spec.kind) {
    case BoxKind::kWired:
      box.SetCapabilities(0x00, 0x1E);
      EXPECT_TRUE(box.SetSetting("0011", "DISABLE"));
      break;
    case BoxKind::kWireless:
      box.SetCapabilities(0x80, 0x1E);
      EXPECT_TRUE(box.SetSetting("0011", "DISABLE"));
      break;
    case BoxKind::kNetware:
      box.SetCapabilities(0x00, 0x1F);
      EXPECT_TRUE(box.SetSetting("0011", "ENABLE"));
      EXPECT_TRUE(box.SetSetting("2000", "PS"));
      EXPECT_TRUE(box.SetSetting("2101", "FS-MAIN"));
      break;
  }
  WriteCache();
  return box;
}

void WizardTest::WriteCache() {
  std::vector<scan_cache::ScanCacheRecord> records;
  for (const auto& box : boxes_) records.push_back(Cached(*box));
  const scan_cache::ScanCacheRecord none{};
  ASSERT_TRUE(scan_cache::WriteScanFile("ss_udp.dat", records.empty() ? &none : records.data(),
                                        static_cast<int>(records.size())));
}

RunResult WizardTest::Run(const std::string& commandLine, const std::string& script,
                          std::deque<std::string> passwords, std::vector<int> answers) {
  RunResult result;
  ui::ScriptedMessageSink sink(std::move(answers));
  platform::SetMessageSink(&sink);
  wizard::SetProgramStarter([&](const std::string& command) -> UINT {
    result.started.push_back(command);
    return command == "lumeth" ? scannerStart_ : programStart_;
  });
  ui::SetModalHook([&](ui::CDialog& d) {
    if (auto* verify = dynamic_cast<wizard::CVerifyPasswordDlg*>(&d)) {
      if (atPassword) atPassword();
      while (!passwords.empty()) {
        verify->m_Password.SetWindowText(passwords.front());
        passwords.pop_front();
        verify->Notify(ui::IDOK, ui::BN_CLICKED, nullptr);
        if (verify->m_bVerified == 1) return;
      }
      return;  // left open: cancelled
    }
    auto* sheet = dynamic_cast<ui::CPropertySheet*>(&d);
    if (sheet == nullptr) return;
    auto shown = [sheet] { return sheet->GetActivePage() ? sheet->GetActivePage()->TemplateId() : 0; };
    result.pages.push_back(shown());
    for (char c : script) {
      switch (c) {
        case 'N': sheet->PressButton(ui::PSBTN_NEXT); break;
        case 'B': sheet->PressButton(ui::PSBTN_BACK); break;
        case 'F': sheet->PressButton(ui::PSBTN_FINISH); break;
        case 'C': sheet->PressButton(ui::PSBTN_CANCEL); break;
        case 'R': dynamic_cast<wizard::CSelect*>(sheet->GetPage(1))->OnRefresh(); break;
        case 'W':
          if (collected) collected();
          break;
        case 'E': sheet->SetActivePage(sheet->GetPageCount() - 1); break;
        case 'X':
          if (atX) atX(*sheet);
          break;
        default:
          if (c >= '0' && c <= '9') {
            auto& list = dynamic_cast<wizard::CSelect*>(sheet->GetPage(1))->m_DeviceList;
            for (int i = 0; i < list.GetItemCount(); ++i) list.SetItemState(i, 0, ui::LVIS_SELECTED | ui::LVIS_FOCUSED);
            list.SetItemState(c - '0', ui::LVIS_SELECTED | ui::LVIS_FOCUSED, ui::LVIS_SELECTED | ui::LVIS_FOCUSED);
          }
          break;
      }
      if (sheet->Result() != 0) break;
      result.pages.push_back(shown());
    }
    result.sheetResult = sheet->Result();
  });
  wizard::CSetupWizardApp app(commandLine);
  if (beforeRun) beforeRun(app);
  app.Run();
  ui::SetModalHook({});
  wizard::SetProgramStarter({});
  platform::SetMessageSink(nullptr);
  result.messages = sink.shown();
  return result;
}

}  // namespace wizard_test

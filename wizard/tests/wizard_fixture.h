// Set-up of the wizard's tests: a fresh root (also the current directory, where the discovery
// cache files live), emulated boxes reached over TCP/IP listed in the cache, a fake clock, a
// scripted message sink, a fake program start, and a runner that drives the whole wizard through
// its sheet with a script of button presses.
#pragma once
#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "device_client/api/tests/api_fixture.h"
#include "platform/netbios/tests/nb_test_env.h"
#include "platform/test_support/temp_root.h"
#include "tools/box_emulator/box_emulator.h"
#include "ui/property_sheet.h"
#include "ui/services.h"
#include "wizard/setup_wizard_app.h"
#include "wizard/tests/fake_prober.h"

namespace wizard_test {

enum class BoxKind { kWired, kWireless, kNetware };

struct BoxSpec {
  BoxKind kind = BoxKind::kWired;
  std::string deviceName;
  std::string password;  // empty: the box takes the empty password
};

// What a run did: the template id shown after the start and after each press, the message boxes,
// the programs started.
struct RunResult {
  std::vector<int> pages;
  std::vector<ui::ScriptedMessageSink::Shown> messages;
  std::vector<std::string> started;
  std::intptr_t sheetResult = 0;
};

class WizardTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Adds an emulated box of that kind and lists it in the discovery cache; returns it.
  box_emulator::Box& AddBox(const BoxSpec& spec);
  // Rewrites the cache with every box added so far (and `extra` records of boxes that are gone).
  void WriteCache();

  // Runs the wizard with `commandLine`. `script`: 'N' Next, 'B' Back, 'F' Finish, 'C' Cancel,
  // 'S' select the next row of the device list (row 0 is selected by the page itself), 'R' Refresh,
  // 'W' write the settings of `collected` into the state (the pages of the other half of the
  // sheet), 'E' go straight to the finish page, 'X' run `atX`. Passwords in `passwords` answer the
  // password dialog in turn; when none is left the dialog is cancelled. `answers` are the message
  // boxes' answers in turn.
  RunResult Run(const std::string& commandLine, const std::string& script,
                std::deque<std::string> passwords = {}, std::vector<int> answers = {});

  // The requests a box handled from its last configuration text on.
  static std::vector<std::string> FromConfigurationText(box_emulator::Box& box) {
    return box.HandledFromLast("0001 :");
  }

  platform::testing::TempRoot root_;
  std::string oldCwd_;
  nbtest::Ports ports_;
  api_test::BoxAwareClock clock_;
  platform::ScopedClock useClock_{&clock_};
  std::vector<std::unique_ptr<box_emulator::Box>> boxes_;
  // The TCP/IP page's address search probes this, never the network.
  FakeProber prober_;
  ScopedProber useProber_{prober_};
  // What a fake program start answers (WinExec's results) for the scanner and the other programs.
  unsigned scannerStart_ = 33;
  unsigned programStart_ = 33;
  std::function<void(ui::CPropertySheet&)> atX;
  // Runs when the password dialog shows, before it is answered (its check is the last request of
  // the selection page).
  std::function<void()> atPassword;
  // Runs on the application before it starts.
  std::function<void(wizard::CSetupWizardApp&)> beforeRun;
  std::function<void()> collected;
};

}  // namespace wizard_test

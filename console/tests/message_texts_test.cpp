// Every message a program of the suite can show by string id has its text once that program has
// started: the console, the wizard, the port-adding program and the print monitor, each from an
// empty string table through its own start-up registration.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "console/pellam_app.h"
#include "platform/message_sink.h"
#include "port_adder/port_adder.h"
#include "print_monitor/monitor.h"
#include "ui/services.h"
#include "ui/test_support/gui_app.h"
#include "wizard/setup_wizard_app.h"

namespace {

struct Program {
  const char* name;
  std::function<void()> start;  // what the program runs at its start to fill the string table
  std::vector<int> ids;         // every id it can show: message boxes, status lines, list entries
};

const std::vector<Program>& Programs() {
  static const std::vector<Program> programs = {
      {"tollard",
       [] { CPellamApp app; },
       {
           // Device results (ShowResult) and Save To Device's own.
           32794, 32887, 32886, 32885, 32882, 32883, 32891, 32896, 32897, 32898, 32899, 32884,
           // Start-up, the device list's Protocol dialog, the view's confirmations.
           32889, 32890, 32888, 32900, 32802, 32804,
           // Save To Device's address checks.
           61222, 61223, 61224, 61226, 61227,
           // Quick setup, the system page and its store.
           32876, 61219, 32803,
           // TCP/IP page and store, the small dialogs (add a box of another segment, password).
           32878, 32826, 32827, 32875, 32880, 32881, 32812,
           // NetWare print-server and remote-printer pages and stores.
           32811, 32805, 32806, 32807, 32808, 32810, 32893, 32894, 32815, 57349, 57350,
           // AppleTalk, NetBEUI, logical and physical port pages; the wireless page and store.
           32824, 32821, 32822, 32823, 32879, 32828, 32829,
           // The PJL dialogs and printer status.
           32877, 32895,
           // List entries and columns.
           32795, 32796, 32797, 32834, 32835, 32836, 32837, 32838, 32839, 32840, 32841, 61213, 61214,
           61215, 32833,
       }},
      {"quillon",
       [] { wizard::CSetupWizardApp app(""); },
       {
           // Device results (ShowErrorForCode).
           103, 104, 105, 106, 107, 108, 109, 110, 111, 112, 113, 114,
           // Selection, details and finish pages.
           115, 102, 127, 139, 143,
           // NetWare pages.
           117, 118, 119, 120, 121, 122, 123, 136, 140,
           // TCP/IP page: refusals, questions, status lines, address checks.
           124, 125, 126, 128, 129, 130, 131, 132, 133, 147, 148, 150, 151,
       }},
      {"dapsel", [] { dapsel::RegisterDapselStrings(); }, {103, 104, 106, 107, 108, 121, 122, 151}},
      {"brandel",
       [] { brandel::ProcessAttach(nullptr); },
       {501, 502, 503, 609, 610, 611, 612, 613, 702, 704, 705, 706, 708, 711, 712, 714, 716, 717, 718}},
  };
  return programs;
}

// The text a program shows for an id. The monitor formats its own messages (with a name or a
// number for their blank) before they reach the sink; the others show the table's text.
std::string ShownText(const std::string& program, int id) {
  ui::ScriptedMessageSink sink;
  platform::SetMessageSink(&sink);
  if (program == "brandel") {
    switch (id) {
      case 712: brandel::PortMessageBox(nullptr, platform::MB_OK, id, 5); break;  // seconds
      case 501:
      case 502:
      case 611:
      case 704:
      case 711: brandel::PortMessageBox(nullptr, platform::MB_OK, id, "LPT9"); break;  // a name
      default: brandel::PortMessageBox(nullptr, platform::MB_OK, id); break;
    }
  } else {
    platform::MessageBoxById(id, platform::MB_OK);
  }
  platform::SetMessageSink(nullptr);
  if (sink.shown().size() != 1) return {};
  std::string text = sink.shown()[0].text;
  while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
  return text;
}

TEST(MessageTexts, EveryIdAProgramShowsHasItsTextFromTheStart) {
  ui::EnsureTestApplication();
  for (const Program& p : Programs()) {
    platform::ForgetStrings();
    p.start();
    for (int id : p.ids) EXPECT_NE(ShownText(p.name, id), "") << p.name << " shows message " << id << " empty";
  }
  platform::ForgetStrings();
}

}  // namespace

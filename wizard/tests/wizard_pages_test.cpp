// The TCP/IP, wireless and NetWare pages inside the whole wizard, against emulated boxes: the
// address suggestion under a fake echo prober and a fake interface mask, the octet checks, the
// wireless lists per box and the wireless record Next writes, and the NetWare pages' flow with
// what they write, with the in-memory NetWare as the client layer and without any.
#include <gtest/gtest.h>

#include <QLineEdit>
#include <QTest>

#include <cstdlib>
#include <functional>
#include <iterator>
#include <vector>

#include "platform/message_sink.h"
#include "platform/profile.h"
#include "ui/services.h"
#include "wizard/netware_bindery_page.h"
#include "wizard/netware_common.h"
#include "wizard/netware_nds_page.h"
#include "wizard/netware_page.h"
#include "wizard/resource.h"
#include "wizard/tcpip_address.h"
#include "wizard/tcpip_page.h"
#include "wizard/tests/wizard_fixture.h"
#include "wizard/wireless_page.h"
#include "wizard/wizard_routines.h"
#include "wizard/server_details_old_page.h"
#include "wizard/wizard_routines.h"
#include "wizard/wizard_state.h"
#include "wizard_netware/nw_client.h"
#include "wizard_netware/test_support/in_memory_netware.h"
#include "tools/box_emulator/box_core.h"
#include "tools/box_emulator/fault_plan.h"

namespace wizard_test {
namespace {

using namespace wizard;
using Step = std::function<void(ui::CPropertySheet&)>;

std::uint32_t Ip(const char* text) { return ParseDottedDecimal(text).value(); }

// ---- Address rules ------------------------------------------------------------------------------

TEST(TcpipAddress, OctetTextsAndTheRulesOfAddressMaskAndGateway) {
  std::string a = "x", b = "x", c = "x", d = "x";
  EXPECT_TRUE(SplitIpAddress("1.2.3.4.5", a, b, c, d));
  EXPECT_EQ(d, "4.5");
  for (const char* bad : {"", "1.2.3", ".1.2.3", "1.2.3.", "1..2.3"}) {
    a = "kept";
    EXPECT_FALSE(SplitIpAddress(bad, a, b, c, d)) << bad;
    EXPECT_EQ(a, "kept");
  }
  EXPECT_EQ(ParseDottedDecimal("010.001.008.009"), std::optional<std::uint32_t>(Ip("10.1.8.9")));
  for (const char* bad : {"1.2.3", "1.2.3.256", "1.2.3.4.", "0x1.2.3.4", " 1.2.3.4", "1.2.3.-4", "1234.1.1.1"}) {
    EXPECT_EQ(ParseDottedDecimal(bad), std::nullopt) << bad;
  }
  struct Rule {
    const char *ip, *mask, *gateway;
    int broken;
  };
  const Rule rules[] = {
      {"10.0.0.0", "255.0.0.0", "10.0.0.1", IDS_IP_ILLEGAL},
      {"10.0.0.255", "255.0.0.0", "10.0.0.1", IDS_IP_ILLEGAL},
      {"garbage", "255.0.0.0", "10.0.0.1", IDS_IP_ILLEGAL},
      {"10.0.0.5", "255.255.0.255", "10.0.0.1", IDS_MASK_ILLEGAL},
      {"10.0.0.5", "0.0.0.0", "10.0.0.1", IDS_MASK_ILLEGAL},
      {"10.0.0.5", "255.255.255.255", "10.0.0.5", 0},
      {"10.0.0.5", "255.255.255.254", "10.0.0.4", 0},
      {"10.0.0.5", "255.0.0.0", "10.0.255.1", IDS_GATEWAY_ILLEGAL},
      {"192.168.1.20", "255.255.255.0", "0.0.0.0", IDS_GATEWAY_OR_IP_ERROR},
      {"192.168.1.20", "255.255.255.0", "192.168.1.1", 0},
      {"192.168.1.20", "255.255.252.0", "192.168.2.1", 0},
      {"192.168.1.20", "255.255.255.0", "192.168.2.1", IDS_GATEWAY_OR_IP_ERROR},
  };
  for (const Rule& r : rules) EXPECT_EQ(AddressRuleBroken(r.ip, r.mask, r.gateway), r.broken) << r.ip << " " << r.mask;
  const std::pair<const char*, const char*> masks[] = {
      {"9.1.1.1", "255.0.0.0"}, {"64.1.1.1", "255.0.0.0"}, {"100.1.1.1", "255.0.0.0"},
      {"172.1.1.1", "255.255.0.0"}, {"200.1.1.1", "255.255.255.0"}};
  for (const auto& [address, mask] : masks) EXPECT_EQ(FormatDotted(DefaultMaskFor(Ip(address))), mask);
}

struct SearchCase {
  const char* name;
  const char* base;
  const char* mask;
  std::vector<const char*> answering;
  const char* found;                    // nullptr: none
  std::vector<const char*> probedOnce;  // addresses probed, in order, each once per request
};

TEST(TcpipAddress, FindFreeAddressProbesTheHostsOfThePcsNetwork) {
  const std::vector<SearchCase> cases = {
      {"the PC and the next host answer", "192.168.1.10", "255.255.255.0", {"192.168.1.10", "192.168.1.11"},
       "192.168.1.12", {"192.168.1.10", "192.168.1.11", "192.168.1.12", "192.168.1.12", "192.168.1.12"}},
      {"a base ending in .0 starts at .1", "192.168.1.0", "255.255.255.0", {}, "192.168.1.1",
       {"192.168.1.1", "192.168.1.1", "192.168.1.1"}},
      {"a base ending in .255 probes only .254", "192.168.1.255", "255.255.255.0", {"192.168.1.254"}, nullptr,
       {"192.168.1.254"}},
      {"a /16 network goes on past the end of a /24", "172.16.1.254", "255.255.0.0", {"172.16.1.254"},
       "172.16.2.1", {"172.16.1.254", "172.16.2.1", "172.16.2.1", "172.16.2.1"}},
      {"a /28 network ends at its own broadcast", "10.0.0.13", "255.255.255.240", {"10.0.0.13", "10.0.0.14"},
       nullptr, {"10.0.0.13", "10.0.0.14"}},
      {"octets are decimal, never octal", "192.168.010.010", "255.255.255.0", {}, "192.168.10.10",
       {"192.168.10.10", "192.168.10.10", "192.168.10.10"}},
  };
  for (const SearchCase& c : cases) {
    SCOPED_TRACE(c.name);
    FakeProber prober;
    for (const char* a : c.answering) prober.answering.insert(Ip(a));
    std::string found = "unchanged";
    const bool ok = FindFreeAddress(c.base, Ip(c.mask), found, prober);
    EXPECT_EQ(ok, c.found != nullptr);
    EXPECT_EQ(found, c.found != nullptr ? c.found : "unchanged");
    std::vector<std::uint32_t> expected;
    for (const char* a : c.probedOnce) expected.push_back(Ip(a));
    EXPECT_EQ(prober.probed, expected);
    EXPECT_EQ(prober.opened, 1);
    EXPECT_EQ(prober.closed, 1);
    EXPECT_EQ(prober.lastTimeoutMs, 1000);
    ASSERT_EQ(prober.lastPayload.size(), 32u);
    EXPECT_EQ(prober.lastPayload.front(), 0x61);
    EXPECT_EQ(prober.lastPayload.back(), 0x80);
  }
  FakeProber closed;
  closed.canOpen = false;
  std::string found = "unchanged";
  EXPECT_FALSE(FindFreeAddress("192.168.1.10", Ip("255.255.255.0"), found, closed));
  EXPECT_FALSE(FindFreeAddress("192.168.1", Ip("255.255.255.0"), found, closed));
  EXPECT_EQ(found, "unchanged");
  EXPECT_TRUE(closed.probed.empty());
  FakeProber silent;
  EXPECT_FALSE(FindFreeAddress("0.0.0.0", Ip("255.0.0.0"), found, silent));
  EXPECT_TRUE(silent.probed.empty());
}

// ---- The pages in the wizard ------------------------------------------------------------------

class PagesTest : public WizardTest {
 protected:
  void SetUp() override {
    WizardTest::SetUp();
    SetInterfaceMaskSource([this](std::uint32_t address) -> std::optional<std::uint32_t> {
      if (address == pcAddress_) return pcMask_;
      return std::nullopt;
    });
    atX = [this](ui::CPropertySheet& s) {
      ASSERT_LT(step_, steps_.size());
      steps_[step_++](s);
    };
  }
  void TearDown() override {
    SetInterfaceMaskSource({});
    netware::SetNwClient(nullptr);
    WizardTest::TearDown();
  }
  // Runs with the steps taken in turn at each 'X' of the script.
  RunResult RunSteps(const std::string& commandLine, const std::string& script, std::vector<Step> steps,
                     std::vector<int> answers = {}) {
    steps_ = std::move(steps);
    step_ = 0;
    RunResult r = Run(commandLine, script, {}, std::move(answers));
    EXPECT_EQ(step_, steps_.size());
    return r;
  }
  // A step on the details page: the box was seen on this PC interface.
  Step SeenOn(const char* address, const char* mask) {
    return [this, address, mask](ui::CPropertySheet&) {
      pcAddress_ = Ip(address);
      pcMask_ = Ip(mask);
      SetSelectedLocalAddress(address);
    };
  }
  static std::string Text(ui::CPropertySheet& s, int id) { return s.GetActivePage()->GetDlgItemText(id); }
  static void Type(ui::CPropertySheet& s, int id, const std::string& text) {
    s.GetActivePage()->GetDlgItem(id)->SetWindowText(text);
  }
  static void Click(ui::CPropertySheet& s, int id) { s.GetActivePage()->Notify(id, ui::BN_CLICKED, nullptr); }
  static void ClickRadio(ui::CPropertySheet& s, int id, std::initializer_list<int> group) {
    for (int other : group) s.GetActivePage()->CheckDlgButton(other, other == id ? 1 : 0);
    Click(s, id);
  }
  static std::string Row(ui::CPropertySheet& s, int firstId) {
    return Text(s, firstId) + "." + Text(s, firstId + 1) + "." + Text(s, firstId + 2) + "." + Text(s, firstId + 3);
  }
  static void TypeRow(ui::CPropertySheet& s, int firstId, std::vector<std::string> octets) {
    for (int i = 0; i < 4; ++i) Type(s, firstId + i, octets[static_cast<std::size_t>(i)]);
  }
  static std::vector<std::string> Texts(const RunResult& r) {
    std::vector<std::string> texts;
    for (const auto& m : r.messages) texts.push_back(m.text);
    return texts;
  }
  static std::vector<int> Ids(const RunResult& r) {
    std::vector<int> ids;
    for (const auto& m : r.messages) ids.push_back(m.id);
    return ids;
  }
  static void OwnValues(box_emulator::Box& box) {
    box.WithCore([](box_emulator::BoxCore& core) { core.identity().wizard.stateByte = 1; });
  }

  std::uint32_t pcAddress_ = 0;
  std::uint32_t pcMask_ = 0;
  std::vector<Step> steps_;
  std::size_t step_ = 0;
};

// With PSA_TEST_SCREENSHOTS set to a folder, the sheet is saved there for a look.
void Shot(ui::CPropertySheet& s, const std::string& name) {
  if (const char* dir = std::getenv("PSA_TEST_SCREENSHOTS"))
    ui::SaveScreenshot(s.GetSafeHwnd(), QString::fromStdString(std::string(dir) + "/" + name + ".png"));
}

std::string Pages(const RunResult& r) {
  std::string s;
  for (int p : r.pages) s += std::to_string(p) + " ";
  return s;
}

struct SuggestCase {
  const char* name;
  const char* pc;
  const char* pcMask;
  std::vector<const char*> answering;
  const char* shownIp;
  const char* shownMask;
};

TEST_F(PagesTest, ANewBoxGetsAFreeAddressOfThePcsOwnNetwork) {
  const std::vector<SuggestCase> cases = {
      {"a /24 network", "192.168.1.10", "255.255.255.0", {"192.168.1.10", "192.168.1.11"}, "192.168.1.12",
       "255.255.255.0"},
      {"a /16 network keeps its own mask", "10.1.2.3", "255.255.0.0", {"10.1.2.3"}, "10.1.2.4", "255.255.0.0"},
      {"a /22 network", "192.168.4.20", "255.255.252.0", {}, "192.168.4.20", "255.255.252.0"},
  };
  for (const SuggestCase& c : cases) {
    SCOPED_TRACE(c.name);
    boxes_.clear();
    ResetWizardState();
    AddBox({BoxKind::kWired, "NEW-BOX", ""});
    prober_.answering.clear();
    for (const char* a : c.answering) prober_.answering.insert(Ip(a));
    std::string ip, mask, gateway, status;
    const RunResult r = RunSteps("", "NNXNX", {SeenOn(c.pc, c.pcMask), [&](ui::CPropertySheet& s) {
                                                 ip = Row(s, CTcpip::IDC_IP1);
                                                 mask = Row(s, CTcpip::IDC_MASK1);
                                                 gateway = Row(s, CTcpip::IDC_GATEWAY1);
                                                 status = Text(s, CTcpip::IDC_STATUS);
                                               }});
    EXPECT_EQ(Pages(r), "111 104 131 131 109 109 ");
    EXPECT_EQ(ip, c.shownIp);
    EXPECT_EQ(mask, c.shownMask);
    EXPECT_EQ(gateway, "0.0.0.0");
    EXPECT_EQ(status, "Current Values seem OK, no conflict detected.");
    EXPECT_TRUE(r.messages.empty());
  }
}

TEST_F(PagesTest, TheBoxsOwnAddressIsCheckedAgainstThePcsMask) {
  struct Case {
    const char* name;
    const char* boxIp;
    const char* pcMask;
    std::vector<int> answers;
    std::vector<int> messages;
    const char* status;
    const char* shownIp;
  };
  const std::vector<Case> cases = {
      {"same /16 network, another /24: fits", "192.168.2.50", "255.255.0.0", {}, {}, "Suggested IP Address is not currently in use, but only\ndevices powered on can be checked.", "192.168.2.50"},
      {"another /24 network: No keeps the values", "192.168.2.50", "255.255.255.0", {platform::IDNO},
       {IDS_SUGGEST_NEW_VALUES}, "Warning!\nCurrent values can NOT work in present location.", "192.168.2.50"},
      {"another /24 network: Yes suggests", "192.168.2.50", "255.255.255.0", {platform::IDYES},
       {IDS_SUGGEST_NEW_VALUES}, "Current Values seem OK, no conflict detected.", "192.168.1.11"},
      {"octets with leading zeros are decimal", "192.168.001.050", "255.255.255.0", {}, {},
       "Suggested IP Address is not currently in use, but only\ndevices powered on can be checked.", "192.168.001.050"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    boxes_.clear();
    ResetWizardState();
    box_emulator::Box& box = AddBox({BoxKind::kWired, "OWN-BOX", ""});
    OwnValues(box);
    ASSERT_TRUE(box.SetSetting("4000", c.boxIp));
    ASSERT_TRUE(box.SetSetting("4001", "192.168.1.1"));
    ASSERT_TRUE(box.SetSetting("4002", "255.255.255.0"));
    prober_.answering = {Ip("192.168.1.10")};
    std::string status, ip;
    const RunResult r = RunSteps("", "NNXNX", {SeenOn("192.168.1.10", c.pcMask), [&](ui::CPropertySheet& s) {
                                                 status = Text(s, CTcpip::IDC_STATUS);
                                                 ip = Row(s, CTcpip::IDC_IP1);
                                               }},
                                 c.answers);
    EXPECT_EQ(Ids(r), c.messages);
    EXPECT_EQ(status, c.status);
    EXPECT_EQ(ip, c.shownIp);
  }
}

// On a network where every address answers (boxes on loopback) no address can be proposed: the page
// shows the box's current values and says so, and its warning that they cannot work goes once
// the user has made them work.
TEST_F(PagesTest, WhenEveryAddressAnswersTheBoxsOwnValuesAreShownWithTheReason) {
  box_emulator::Box& box = AddBox({BoxKind::kWired, "LOOP-BOX", ""});
  ASSERT_TRUE(box.SetSetting("4001", "0.0.0.0"));
  ASSERT_TRUE(box.SetSetting("4002", "255.0.0.0"));
  prober_.everyoneAnswers = true;
  std::string ip, mask, gateway, status, statusAfter;
  int mode = -2;
  const RunResult r = RunSteps("", "NNXNXX",
                               {SeenOn("127.0.0.1", "255.0.0.0"),
                                [&](ui::CPropertySheet& s) {
                                  mode = dynamic_cast<CTcpip*>(s.GetActivePage())->AddressMode();
                                  ip = Row(s, CTcpip::IDC_IP1);
                                  mask = Row(s, CTcpip::IDC_MASK1);
                                  gateway = Row(s, CTcpip::IDC_GATEWAY1);
                                  status = Text(s, CTcpip::IDC_STATUS);
                                  Shot(s, "wizard_tcpip_no_free_address");
                                },
                                [&](ui::CPropertySheet& s) {
                                  // (The emulated box's own address may hold an octet 255.)
                                  TypeRow(s, CTcpip::IDC_IP1, {"127", "0", "0", "21"});
                                  TypeRow(s, CTcpip::IDC_GATEWAY1, {"127", "0", "0", "1"});
                                  statusAfter = Text(s, CTcpip::IDC_STATUS);
                                  Shot(s, "wizard_tcpip_values_work");
                                  s.PressButton(ui::PSBTN_NEXT);
                                }});
  EXPECT_EQ(mode, 1);
  EXPECT_EQ(ip, box.Address());
  EXPECT_EQ(mask, "255.0.0.0");
  EXPECT_EQ(gateway, "0.0.0.0");
  EXPECT_EQ(status, "No free address was found in this network.\nWarning!\nCurrent values can NOT work in present location.");
  EXPECT_EQ(statusAfter, "No free address was found in this network.");
  EXPECT_EQ(r.pages.back(), IDD_FINISH);
  EXPECT_TRUE(r.messages.empty());
  EXPECT_EQ(g_WizardConfigurationData.dsTCPIP.szIPAddress, "127.0.0.21");
  EXPECT_EQ(g_WizardConfigurationData.dsTCPIP.szGatewayAddress, "127.0.0.1");
}

// When the box's TCP/IP values cannot be read, the page stays empty and its status says that they
// could not be read (and nothing about a search for free addresses); with the read answered, the
// box's values are shown with the reason no address was proposed.
TEST_F(PagesTest, TheStatusTellsWhenTheBoxsValuesCouldNotBeRead) {
  struct Case {
    const char* name;
    bool ownValues;  // the box's own values are used (else a new box: a free address is searched)
    std::optional<box_emulator::FaultPlan> fault;
    std::vector<std::string> messages;
    const char* status;
    bool boxValuesShown;
  };
  box_emulator::FaultPlan errorReply;
  errorReply.errorChunk = 0;
  box_emulator::FaultPlan cutReply;
  cutReply.closeAfterBytes = 10;
  box_emulator::FaultPlan garbageReply;
  garbageReply.garbage = 64;
  const std::string notFound = "Network Busy, or Device not found !!";
  const char* readFailed = "The print server's TCP/IP settings could not be read.";
  const std::vector<Case> cases = {
      {"new box, an error reply", false, errorReply, {notFound}, readFailed, false},
      {"new box, the reply cut short", false, cutReply, {notFound}, readFailed, false},
      {"new box, garbage instead of the reply", false, garbageReply, {notFound}, readFailed, false},
      {"box with its own values, an error reply", true, errorReply, {notFound}, readFailed, false},
      {"new box, the read answered", false, std::nullopt, {},
       "No free address was found in this network.\nWarning!\nCurrent values can NOT work in present location.",
       true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    boxes_.clear();
    ResetWizardState();
    box_emulator::Box& box = AddBox({BoxKind::kWired, "READ-BOX", ""});
    if (c.ownValues) OwnValues(box);
    ASSERT_TRUE(box.SetSetting("4001", "0.0.0.0"));
    ASSERT_TRUE(box.SetSetting("4002", "255.0.0.0"));
    prober_.everyoneAnswers = true;
    std::string ip, status;
    int fixed = -1;
    const RunResult r = RunSteps(
        "", "NNXNX",
        {[&](ui::CPropertySheet& s) {
           SeenOn("127.0.0.1", "255.0.0.0")(s);
           // The next request of the box, the TCP/IP page's read, fails.
           if (c.fault) box.InjectFault(*c.fault);
         },
         [&](ui::CPropertySheet& s) {
           ip = Row(s, CTcpip::IDC_IP1);
           status = Text(s, CTcpip::IDC_STATUS);
           fixed = s.GetActivePage()->IsDlgButtonChecked(CTcpip::IDC_FIXED);
           Shot(s, std::string("wizard_tcpip_read_") + (c.fault ? "failed" : "answered"));
         }});
    EXPECT_EQ(Pages(r), "111 104 131 131 109 109 ");
    EXPECT_EQ(Texts(r), c.messages);
    EXPECT_EQ(status, c.status);
    EXPECT_EQ(ip, c.boxValuesShown ? box.Address() : "...");
    EXPECT_EQ(fixed, c.ownValues ? 0 : 1);  // a new box is set to a fixed address as before
  }
}

// A box as the emulator starts it (so as the demo shows it), on loopback where every address
// answers: its own address, mask and gateway are shown and Next takes them as they are.
TEST_F(PagesTest, AnEmulatedBoxsOwnValuesPassNextUnchanged) {
  box_emulator::Box& box = AddBox({BoxKind::kWired, "DEMO-BOX", ""});
  prober_.everyoneAnswers = true;
  std::string ip, mask, gateway, status;
  const RunResult r = RunSteps("", "NNXNXN", {SeenOn("127.0.0.1", "255.0.0.0"), [&](ui::CPropertySheet& s) {
                                                ip = Row(s, CTcpip::IDC_IP1);
                                                mask = Row(s, CTcpip::IDC_MASK1);
                                                gateway = Row(s, CTcpip::IDC_GATEWAY1);
                                                status = Text(s, CTcpip::IDC_STATUS);
                                              }});
  EXPECT_EQ(ip, box.Address());
  EXPECT_EQ(mask, "255.0.0.0");
  EXPECT_EQ(gateway, "127.0.0.1");
  EXPECT_EQ(status, "No free address was found in this network.");
  std::string shown;
  for (const auto& m : r.messages) shown += m.text + "\n";
  EXPECT_EQ(shown, "");
  EXPECT_EQ(r.pages.back(), IDD_FINISH);
  EXPECT_EQ(g_WizardConfigurationData.dsTCPIP.szIPAddress, box.Address());
  EXPECT_EQ(g_WizardConfigurationData.dsTCPIP.szGatewayAddress, "127.0.0.1");
  EXPECT_EQ(g_WizardConfigurationData.dsTCPIP.szSubNetworkMaskAddress, "255.0.0.0");
}

TEST_F(PagesTest, NextChecksEveryOctetAndStoresTheAddressesAsDecimal) {
  box_emulator::Box& box = AddBox({BoxKind::kWired, "TYPE-BOX", ""});
  OwnValues(box);
  ASSERT_TRUE(box.SetSetting("4000", "192.168.1.20"));
  ASSERT_TRUE(box.SetSetting("4001", "192.168.1.1"));
  ASSERT_TRUE(box.SetSetting("4002", "255.255.255.0"));
  struct Entry {
    std::vector<std::string> ip;
    int message;  // 0: accepted
    int emptied;  // the field emptied, -1 none
  };
  const std::vector<Entry> entries = {
      {{"192", "168", "", "20"}, IDS_NEED_INPUT_DATA, 2},
      {{"192", "1a", "1", "20"}, IDS_ILLEGAL_VALUE, 1},
      {{"192", "168", "1", "300"}, IDS_VALUE_RANGE, 3},
      {{"192", "168", "1", "0"}, IDS_IP_ILLEGAL, -1},
      {{"192", "168", " 1", "0 2 0"}, 0, -1},
  };
  std::vector<Step> steps = {SeenOn("192.168.1.10", "255.255.255.0")};
  std::vector<std::string> emptiedTexts;
  for (const Entry& e : entries) {
    steps.push_back([&, e](ui::CPropertySheet& s) {
      TypeRow(s, CTcpip::IDC_IP1, e.ip);
      TypeRow(s, CTcpip::IDC_GATEWAY1, {"192", "168", "001", "1"});
      s.PressButton(ui::PSBTN_NEXT);
      emptiedTexts.push_back(e.emptied < 0 ? "-" : Text(s, CTcpip::IDC_IP1 + e.emptied));
    });
  }
  const RunResult r = RunSteps("", "NNXN" + std::string(entries.size(), 'X'), std::move(steps));
  std::vector<int> expected;
  for (const Entry& e : entries) {
    if (e.message != 0) expected.push_back(e.message);
  }
  EXPECT_EQ(Ids(r), expected);
  EXPECT_EQ(emptiedTexts, (std::vector<std::string>{"", "", "", "-", "-"}));
  EXPECT_EQ(r.pages.back(), IDD_FINISH);
  const TCPIPConfigurationData& tcp = g_WizardConfigurationData.dsTCPIP;
  EXPECT_EQ(tcp.szIPAddress, "192.168.1.20");
  EXPECT_EQ(tcp.szGatewayAddress, "192.168.1.1");
  EXPECT_EQ(tcp.szSubNetworkMaskAddress, "255.255.255.0");
  EXPECT_EQ(tcp.bAutoAddress1 + tcp.bAutoAddress2 + tcp.bAutoAddress3, 0);
}

TEST_F(PagesTest, AnAutomaticBoxStoresNoAddressAndAReturnKeepsTheEntries) {
  box_emulator::Box& box = AddBox({BoxKind::kWired, "DHCP-BOX", ""});
  OwnValues(box);
  ASSERT_TRUE(box.SetSetting("4020", "Enable"));
  int mode = -2;
  std::string typed;
  const RunResult r = RunSteps("", "NNNXNBX", {[&](ui::CPropertySheet& s) {
                                                mode = dynamic_cast<CTcpip*>(s.GetActivePage())->AddressMode();
                                                EXPECT_FALSE(s.GetActivePage()->GetDlgItem(CTcpip::IDC_IP1)->IsWindowEnabled());
                                                Type(s, CTcpip::IDC_GATEWAY1, "77");
                                              },
                                              [&](ui::CPropertySheet& s) { typed = Text(s, CTcpip::IDC_GATEWAY1); }});
  EXPECT_EQ(mode, 0);
  EXPECT_EQ(Pages(r), "111 104 131 109 109 110 109 109 ");
  EXPECT_EQ(typed, "77");
  EXPECT_TRUE(r.messages.empty());
  const TCPIPConfigurationData& tcp = g_WizardConfigurationData.dsTCPIP;
  EXPECT_EQ(tcp.szIPAddress, "0.0.0.0");
  EXPECT_EQ(tcp.szGatewayAddress, "0.0.0.0");
  EXPECT_EQ(tcp.szSubNetworkMaskAddress, "0.0.0.0");
  EXPECT_EQ(tcp.bAutoAddress1 + tcp.bAutoAddress2 + tcp.bAutoAddress3, 3);
}

TEST_F(PagesTest, AFailedReadLeavesNothingOfTheBoxBefore) {
  box_emulator::Box& first = AddBox({BoxKind::kWired, "FIRST-BOX", ""});
  box_emulator::Box& second = AddBox({BoxKind::kWired, "SECOND-BOX", ""});
  for (box_emulator::Box* b : {&first, &second}) {
    OwnValues(*b);
    ASSERT_TRUE(b->SetSetting("4002", "255.0.0.0"));
  }
  std::vector<std::string> shown;
  auto record = [&](ui::CPropertySheet& s) { shown.push_back(Row(s, CTcpip::IDC_IP1)); };
  auto breakRow1 = [&](ui::CPropertySheet&) {
    const std::string name = *std::next(DeviceLists.lists[0].begin());
    box_emulator::Box& box = name == first.DefaultName() ? first : second;
    box_emulator::FaultPlan fault;
    fault.errorChunk = 0;
    box.InjectFault(fault);
  };
  const RunResult r = RunSteps("", "NNNX" "BB" "1" "NXNX", {record, breakRow1, record});
  ASSERT_EQ(shown.size(), 2u);
  const std::string row0 = DeviceLists.lists[0].front();
  EXPECT_EQ(shown[0], (row0 == first.DefaultName() ? first : second).Setting("4000").value_or("?"));
  EXPECT_EQ(shown[1], "...");
  ASSERT_EQ(r.messages.size(), 1u);
  EXPECT_EQ(r.messages[0].id, IDS_WZ_NETWORK_BUSY_OR_NOT_FOUND);
}

// ---- Wireless ------------------------------------------------------------------------------------

std::vector<std::string> ComboItems(ui::CPropertySheet& s, int id) {
  auto* combo = dynamic_cast<ui::CComboBox*>(s.GetActivePage()->GetDlgItem(id));
  std::vector<std::string> items;
  for (int i = 0; i < combo->GetCount(); ++i) items.push_back(combo->GetLBText(i));
  return items;
}

std::string ComboSelection(ui::CPropertySheet& s, int id) {
  auto* combo = dynamic_cast<ui::CComboBox*>(s.GetActivePage()->GetDlgItem(id));
  return combo->GetCurSel() < 0 ? "<none>" : combo->GetLBText(combo->GetCurSel());
}

void WirelessSettings(box_emulator::Box& box, const char* domain, const char* channel, const char* type) {
  EXPECT_TRUE(box.SetSetting("7000", "OFFICE-NET"));
  EXPECT_TRUE(box.SetSetting("7001", domain));
  EXPECT_TRUE(box.SetSetting("7002", channel));
  EXPECT_TRUE(box.SetSetting("7013", type));
}

TEST_F(PagesTest, WirelessListsBelongToEachBoxAlone) {
  box_emulator::Box& spain = AddBox({BoxKind::kWireless, "SPAIN-BOX", ""});
  box_emulator::Box& japan = AddBox({BoxKind::kWireless, "JAPAN-BOX", ""});
  for (box_emulator::Box* b : {&spain, &japan}) {
    OwnValues(*b);
    EXPECT_TRUE(b->SetSetting("4001", "127.0.0.254"));
  }
  WirelessSettings(spain, "31", "11", "3");
  WirelessSettings(japan, "40", "11", "0");
  struct Seen {
    std::vector<std::string> channels, types;
    std::string channel, type, station;
  };
  std::vector<Seen> seen;
  auto look = [&](ui::CPropertySheet& s) {
    seen.push_back({ComboItems(s, CWireless::IDC_CHANNEL), ComboItems(s, CWireless::IDC_NETWORK_TYPE),
                    ComboSelection(s, CWireless::IDC_CHANNEL), ComboSelection(s, CWireless::IDC_NETWORK_TYPE),
                    Text(s, CWireless::IDC_STATION)});
  };
  int spainRow = -1;
  auto rows = [&](ui::CPropertySheet&) {
    int i = 0;
    for (const std::string& n : DeviceLists.lists[0]) {
      if (n == spain.DefaultName()) spainRow = i;
      ++i;
    }
  };
  ASSERT_TRUE(WritePrivateProfileString("EthernetAddress", "PS", "00c0a8", "Setupwizard.ini"));
  // First whichever box row 0 holds, then the other one, in one run.
  const RunResult r = RunSteps("", "NXNNNX" "BBB" "1" "NNNX", {rows, look, look});
  ASSERT_EQ(seen.size(), 2u);
  ASSERT_NE(spainRow, -1);
  const Seen& s = seen[static_cast<std::size_t>(spainRow)];
  const Seen& j = seen[static_cast<std::size_t>(1 - spainRow)];
  EXPECT_EQ(s.channels, (std::vector<std::string>{"10", "11"}));
  EXPECT_EQ(s.channel, "11");
  EXPECT_EQ(s.types, (std::vector<std::string>{"Infrastructure", "802.11 Ad Hoc", "Ad Hoc"}));
  EXPECT_EQ(s.type, "Ad Hoc");
  EXPECT_EQ(j.channels, (std::vector<std::string>{"14"}));
  EXPECT_EQ(j.channel, "<none>");  // channel 11 is not Japan's
  EXPECT_EQ(j.type, "Infrastructure");
  const std::string n = spain.DefaultName();
  EXPECT_EQ(s.station, "00-C0-A8-" + n.substr(2, 2) + "-" + n.substr(4, 2) + "-" + n.substr(6, 2));
  EXPECT_TRUE(r.messages.empty());
}

TEST_F(PagesTest, WirelessNextRefusesNonHexKeysAndWritesTheRecord) {
  box_emulator::Box& box = AddBox({BoxKind::kWireless, "WEP-BOX", ""});
  OwnValues(box);
  WirelessSettings(box, "10", "6", "1");
  ASSERT_TRUE(box.SetSetting("7003", "Enable"));
  ASSERT_TRUE(box.SetSetting("7004", "5"));
  ASSERT_TRUE(box.SetSetting("7005", "2"));
  ASSERT_TRUE(box.SetSetting("7006", "0102030405"));
  ASSERT_TRUE(box.SetSetting("7012", "2"));
  std::string afterRefusal;
  const RunResult r = RunSteps(
      "", "NNNNXX",
      {[&](ui::CPropertySheet& s) {
         EXPECT_EQ(Text(s, CWireless::kKeyEditIds[0]), "01");
         EXPECT_EQ(Text(s, CWireless::kKeyEditIds[4]), "05");
         EXPECT_EQ(ComboSelection(s, CWireless::IDC_DEFAULT_KEY), "KEY 3");
         Type(s, CWireless::kKeyEditIds[1], "G1");
         Type(s, CWireless::kKeyEditIds[2], "7");
         Type(s, CWireless::kKeyEditIds[3], "");
         Type(s, CWireless::IDC_SSID, "NEW-NET");
         s.PressButton(ui::PSBTN_NEXT);
         afterRefusal = Text(s, CWireless::kKeyEditIds[1]);
       },
       [&](ui::CPropertySheet& s) {
         // A 128-bit key: the default key goes back to KEY 1.
         ClickRadio(s, CWireless::IDC_128_BITS, {CWireless::IDC_64_BITS, CWireless::IDC_128_BITS});
         EXPECT_EQ(ComboSelection(s, CWireless::IDC_DEFAULT_KEY), "KEY 1");
         ClickRadio(s, CWireless::IDC_64_BITS, {CWireless::IDC_64_BITS, CWireless::IDC_128_BITS});
         s.PressButton(ui::PSBTN_NEXT);
       }});
  EXPECT_EQ(Ids(r), (std::vector<int>{IDS_ILLEGAL_INPUT_DATA}));
  EXPECT_EQ(afterRefusal, "1");
  EXPECT_EQ(r.pages.back(), IDD_FINISH);
  const WirelessConfigurationData& w = g_WizardConfigurationData.dsWireless;
  EXPECT_EQ(w.szSSID, "NEW-NET");
  EXPECT_EQ(w.iChannel, 6);
  EXPECT_EQ(w.bWEPEnable, 1);
  EXPECT_EQ(w.iKeyLength, 5);
  EXPECT_EQ(std::string(w.szKey1), "0101070005");
  EXPECT_EQ(std::string(w.szKey2), "0000000000");
  EXPECT_EQ(w.iAuthentication, 2);
  EXPECT_EQ(w.iNetworkType, 1);
}

TEST_F(PagesTest, AnAccessPointOffersOnlyItsOwnType) {
  box_emulator::Box& box = AddBox({BoxKind::kWireless, "AP-BOX", ""});
  OwnValues(box);
  WirelessSettings(box, "99", "14", "2");
  std::vector<std::string> types, channels;
  bool enabled = true;
  const RunResult r = RunSteps("", "NNNNXN", {[&](ui::CPropertySheet& s) {
                                                types = ComboItems(s, CWireless::IDC_NETWORK_TYPE);
                                                channels = ComboItems(s, CWireless::IDC_CHANNEL);
                                                enabled = s.GetActivePage()->GetDlgItem(CWireless::IDC_NETWORK_TYPE)->IsWindowEnabled();
                                              }});
  EXPECT_EQ(types, std::vector<std::string>{"AP"});
  EXPECT_FALSE(enabled);
  EXPECT_EQ(channels.size(), 14u);
  EXPECT_EQ(r.pages.back(), IDD_FINISH);
  EXPECT_EQ(g_WizardConfigurationData.dsWireless.iNetworkType, -1);
  EXPECT_EQ(g_WizardConfigurationData.dsWireless.iChannel, 14);
  EXPECT_EQ(g_WizardConfigurationData.dsWireless.bWEPEnable, 0);
}

// ---- One failed read on the way to Finish ---------------------------------------------------------

// The next `passing` requests the box answers go through, the one after them gets an error reply.
void FailAfter(box_emulator::Box& box, int passing) {
  if (passing > 0) {
    box_emulator::FaultPlan pass;
    pass.count = passing;
    box.InjectFault(pass);
  }
  box_emulator::FaultPlan fail;
  fail.errorChunk = 0;
  box.InjectFault(fail);
}

bool HasLine(const std::string& text, const std::string& key) {
  return text.rfind(key + " :", 0) == 0 || text.find("\n" + key + " :") != std::string::npos;
}

// The TCP/IP page's protocol read fails once, so the wireless page is passed over: Finish sends
// no wireless lines, and the box keeps its network name and channel.
TEST_F(PagesTest, AFailedReadBeforeFinishSendsNoWirelessRecordNoPageFilled) {
  box_emulator::Box& box = AddBox({BoxKind::kWireless, "AIR-BOX", ""});
  OwnValues(box);
  WirelessSettings(box, "10", "6", "0");
  const RunResult r = RunSteps("", "NNNXF", {[&](ui::CPropertySheet& s) {
                                              FailAfter(box, 0);
                                              s.PressButton(ui::PSBTN_NEXT);
                                            }});
  EXPECT_EQ(Pages(r), "111 104 131 109 110 ");
  const std::vector<std::string> received = FromConfigurationText(box);
  ASSERT_FALSE(received.empty());
  EXPECT_FALSE(HasLine(received[0], "7000")) << received[0];
  EXPECT_FALSE(HasLine(received[0], "7002")) << received[0];
  EXPECT_EQ(box.Setting("7000"), std::optional<std::string>("OFFICE-NET"));
  EXPECT_EQ(box.Setting("7002"), std::optional<std::string>("6"));
  EXPECT_EQ(Ids(r), std::vector<int>{IDS_SETUP_PRINTERS_NOW});
}

// The network name typed on the wireless page reaches the box, or Finish reports that it could
// not and offers nothing; a read that fails once on the way never drops it silently.
TEST_F(PagesTest, TheTypedNetworkNameReachesTheBoxOrTheFailureIsReported) {
  struct Case {
    const char* name;
    bool fault;
    std::vector<int> messages;
    const char* ssidAfter;
  };
  const std::vector<Case> cases = {
      {"no fault", false, {IDS_SETUP_PRINTERS_NOW}, "NEW-NET"},
      {"the first exchange after Finish fails", true, {IDS_WZ_NETWORK_BUSY_OR_NOT_FOUND}, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    boxes_.clear();
    ResetWizardState();
    box_emulator::Box& box = AddBox({BoxKind::kWireless, "AIR-BOX", ""});
    OwnValues(box);
    WirelessSettings(box, "10", "6", "0");
    const RunResult r = RunSteps("", "NNNNXX", {[&](ui::CPropertySheet& s) {
                                                  Type(s, CWireless::IDC_SSID, "NEW-NET");
                                                  s.PressButton(ui::PSBTN_NEXT);
                                                },
                                                [&](ui::CPropertySheet& s) {
                                                  if (c.fault) FailAfter(box, 0);
                                                  s.PressButton(ui::PSBTN_FINISH);
                                                }});
    EXPECT_EQ(Pages(r), "111 104 131 109 138 110 ");
    EXPECT_EQ(Ids(r), c.messages);
    if (c.ssidAfter != nullptr) {
      EXPECT_EQ(box.Setting("7000"), std::optional<std::string>(c.ssidAfter));
      const std::vector<std::string> received = FromConfigurationText(box);
      ASSERT_FALSE(received.empty());
      EXPECT_TRUE(HasLine(received[0], "7000")) << received[0];
    } else {
      // Reported, so no restart followed the text.
      for (const std::string& request : FromConfigurationText(box)) EXPECT_NE(request, "9002:\n");
    }
  }
}

// A second box whose wireless read fails shows nothing of the first box's choices, takes nothing
// from the page until it has read the box, and then stores that box's own values.
TEST_F(PagesTest, ASecondBoxsFailedWirelessReadStartsFromClearedChoices) {
  box_emulator::Box& one = AddBox({BoxKind::kWireless, "ONE-BOX", ""});
  box_emulator::Box& two = AddBox({BoxKind::kWireless, "TWO-BOX", ""});
  for (box_emulator::Box* b : {&one, &two}) OwnValues(*b);
  // Whichever box row 0 holds is set up first and the user turns WEP on with 128 bits there; the
  // other row's wireless read then fails once.
  for (box_emulator::Box* b : {&one, &two}) WirelessSettings(*b, "10", "6", "0");
  ASSERT_TRUE(one.SetSetting("7000", "ONE-NET"));
  ASSERT_TRUE(two.SetSetting("7000", "TWO-NET"));
  box_emulator::Box* second = nullptr;
  struct Seen {
    int wepOn, bits128, ssidEnabled;
    std::string ssid;
  };
  std::vector<Seen> seen;
  auto look = [&](ui::CPropertySheet& s) {
    ui::CPropertyPage* p = s.GetActivePage();
    if (p->TemplateId() != IDD_WIRELESS) {
      seen.push_back({-1, -1, -1, "<another page>"});
      return;
    }
    seen.push_back({p->IsDlgButtonChecked(CWireless::IDC_WEP_ENABLED), p->IsDlgButtonChecked(CWireless::IDC_128_BITS),
                    p->GetDlgItem(CWireless::IDC_SSID)->IsWindowEnabled() ? 1 : 0, Text(s, CWireless::IDC_SSID)});
  };
  const RunResult r = RunSteps(
      "", "NNNNX" "BBB" "1" "NNX" "XX" "X",
      {[&](ui::CPropertySheet& s) {
         // The first box: WEP on, 128 bits, as the user leaves it.
         ClickRadio(s, CWireless::IDC_WEP_ENABLED, {CWireless::IDC_WEP_DISABLED, CWireless::IDC_WEP_ENABLED});
         ClickRadio(s, CWireless::IDC_128_BITS, {CWireless::IDC_64_BITS, CWireless::IDC_128_BITS});
         look(s);
       },
       [&](ui::CPropertySheet& s) {
         // On the second box's TCP/IP page: its protocol read goes through, its wireless read fails.
         const std::string name = *std::next(DeviceLists.lists[0].begin());
         second = name == one.DefaultName() ? &one : &two;
         FailAfter(*second, 2);
         s.PressButton(ui::PSBTN_NEXT);
         look(s);
         Shot(s, "wizard_wireless_failed_read");
       },
       [&](ui::CPropertySheet& s) {
         // Next reads the box again and shows it, staying on the page.
         s.PressButton(ui::PSBTN_NEXT);
         look(s);
         Shot(s, "wizard_wireless_read_again");
       },
       [&](ui::CPropertySheet& s) { s.PressButton(ui::PSBTN_NEXT); },
       [&](ui::CPropertySheet&) {}});
  ASSERT_EQ(seen.size(), 3u);
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(seen[0].wepOn, 1);
  EXPECT_EQ(seen[0].bits128, 1);
  // After the failed read: cleared and disabled.
  EXPECT_EQ(seen[1].wepOn, 0);
  EXPECT_EQ(seen[1].bits128, 0);
  EXPECT_EQ(seen[1].ssid, "");
  EXPECT_EQ(seen[1].ssidEnabled, 0);
  // Read again: the second box's own values.
  EXPECT_EQ(seen[2].ssid, second == &one ? "ONE-NET" : "TWO-NET");
  EXPECT_EQ(seen[2].ssidEnabled, 1);
  EXPECT_EQ(seen[2].wepOn, 0);
  EXPECT_EQ(r.pages.back(), IDD_FINISH);
  EXPECT_EQ(Ids(r), std::vector<int>{IDS_WZ_NETWORK_BUSY_OR_NOT_FOUND});
  const WirelessConfigurationData& w = g_WizardConfigurationData.dsWireless;
  EXPECT_EQ(w.szSSID, second == &one ? "ONE-NET" : "TWO-NET");
  EXPECT_EQ(w.bWEPEnable, 0);
  EXPECT_EQ(w.iChannel, 6);
  EXPECT_EQ(g_szWirelessCollectedFor, second->DefaultName());
}

// After a details read that failed once, No to the rename warning keeps the name the box reported
// on the selection page: the box never receives an empty name.
TEST_F(PagesTest, NoToARenameAfterAFailedDetailsReadKeepsTheBoxsName) {
  box_emulator::Box& box = AddBox({BoxKind::kWired, "OLD-NAME", "pw"});
  // The password check is the selection page's last request; the details page's first read fails.
  atPassword = [&] { FailAfter(box, 1); };
  std::string shown = "unset";
  const std::string address = box.Address();
  steps_ = {[&](ui::CPropertySheet& s) {
              shown = Text(s, 1038);
              Type(s, 1038, "NEW-NAME");
            },
            [&](ui::CPropertySheet& s) {
              // The TCP/IP page: the box's own address in its network.
              TypeRow(s, CTcpip::IDC_IP1, {"127", "0", "0", address.substr(address.rfind('.') + 1)});
              TypeRow(s, CTcpip::IDC_MASK1, {"255", "0", "0", "0"});
              TypeRow(s, CTcpip::IDC_GATEWAY1, {"127", "0", "0", "254"});
            }};
  step_ = 0;
  const RunResult r = Run("", "NNXNXNF", {"pw"}, {platform::IDNO, platform::IDNO});
  atPassword = {};
  EXPECT_EQ(shown, "");
  EXPECT_EQ(Pages(r), "111 104 131 131 109 109 110 ");
  EXPECT_EQ(Ids(r), (std::vector<int>{IDS_WZ_NETWORK_BUSY_OR_NOT_FOUND, IDS_RENAME_WARNING, IDS_SETUP_PRINTERS_NOW}));
  const std::vector<std::string> received = FromConfigurationText(box);
  ASSERT_FALSE(received.empty());
  EXPECT_EQ(received[0].substr(0, received[0].find('\n')), "0001 :OLD-NAME");
  EXPECT_EQ(box.Setting("0001"), std::optional<std::string>("OLD-NAME"));
}

// With WEP off the key controls are out of use: Finish leaves the box's key length, default key
// and keys as the box has them, also after a click on the other key length.
TEST_F(PagesTest, WithWepOffTheBoxKeepsItsKeysAndKeyLength) {
  struct Case {
    const char* name;
    const char* wep;     // 7003 as the box starts
    const char* length;  // 7004
    const char* key1;    // 7006
    bool click128ThenDisable;
  };
  const std::vector<Case> cases = {
      {"WEP off on the box, 128 bits, page left alone", "Disable", "13", "0102030405060708090A0B0C0D", false},
      {"WEP on, 64 bits: 128 bits clicked, then WEP off", "Enable", "5", "0A1B2C3D4E", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    boxes_.clear();
    ResetWizardState();
    box_emulator::Box& box = AddBox({BoxKind::kWireless, "WEP-BOX", ""});
    OwnValues(box);
    WirelessSettings(box, "10", "6", "0");
    ASSERT_TRUE(box.SetSetting("7003", c.wep));
    ASSERT_TRUE(box.SetSetting("7004", c.length));
    ASSERT_TRUE(box.SetSetting("7005", "2"));
    const char* const keys[4] = {c.key1, "1122334455", "66778899AA", "BBCCDDEEFF"};
    for (int k = 0; k < 4; ++k) ASSERT_TRUE(box.SetSetting("700" + std::to_string(6 + k), keys[k]));
    const RunResult r = RunSteps("", "NNNNXX",
                                 {[&](ui::CPropertySheet& s) {
                                    if (c.click128ThenDisable) {
                                      ClickRadio(s, CWireless::IDC_128_BITS,
                                                 {CWireless::IDC_64_BITS, CWireless::IDC_128_BITS});
                                      ClickRadio(s, CWireless::IDC_WEP_DISABLED,
                                                 {CWireless::IDC_WEP_DISABLED, CWireless::IDC_WEP_ENABLED});
                                    }
                                    s.PressButton(ui::PSBTN_NEXT);
                                  },
                                  [&](ui::CPropertySheet& s) { s.PressButton(ui::PSBTN_FINISH); }});
    EXPECT_EQ(Pages(r), "111 104 131 109 138 110 ");
    EXPECT_EQ(Ids(r), std::vector<int>{IDS_SETUP_PRINTERS_NOW});
    EXPECT_EQ(box.Setting("7003"), std::optional<std::string>("Disable"));
    EXPECT_EQ(box.Setting("7004"), std::optional<std::string>(c.length));
    EXPECT_EQ(box.Setting("7005"), std::optional<std::string>("2"));
    for (int k = 0; k < 4; ++k) {
      EXPECT_EQ(box.Setting("700" + std::to_string(6 + k)), std::optional<std::string>(keys[k])) << "key " << k + 1;
    }
  }
}

// The key bytes fill on as a key is typed, as on the console's wireless page: each edit takes two
// digits and the typing goes on in the next byte of the same key.
TEST_F(PagesTest, TypedKeyDigitsFillOnAcrossTheKeyBytes) {
  box_emulator::Box& box = AddBox({BoxKind::kWireless, "KEY-BOX", ""});
  OwnValues(box);
  WirelessSettings(box, "10", "6", "0");
  ASSERT_TRUE(box.SetSetting("7003", "Enable"));
  ASSERT_TRUE(box.SetSetting("7004", "13"));
  std::vector<std::string> bytes128, bytes64;
  auto typeKey = [](ui::CPropertySheet& s, int first, const char* digits) {
    auto* edit = qobject_cast<QLineEdit*>(s.GetActivePage()->GetDlgItem(CWireless::kKeyEditIds[first])->GetSafeHwnd());
    edit->setFocus();
    // Each digit goes where the focus is, as the user's typing does.
    for (const char* d = digits; *d != '\0'; ++d) QTest::keyClick(edit->window()->focusWidget(), *d);
  };
  auto bytes = [](ui::CPropertySheet& s) {
    std::vector<std::string> out;
    for (int id : CWireless::kKeyEditIds) out.push_back(Text(s, id));
    return out;
  };
  const RunResult r = RunSteps("", "NNNNXX",
                               {[&](ui::CPropertySheet& s) {
                                  for (int id : CWireless::kKeyEditIds) Type(s, id, "");
                                  typeKey(s, 0, "0102030405060708090a0b0c0dff");
                                  bytes128 = bytes(s);
                                  Shot(s, "wizard_wireless_key_typed");
                                },
                                [&](ui::CPropertySheet& s) {
                                  ClickRadio(s, CWireless::IDC_64_BITS, {CWireless::IDC_64_BITS, CWireless::IDC_128_BITS});
                                  for (int id : CWireless::kKeyEditIds) Type(s, id, "");
                                  typeKey(s, 0, "aabbccddeeff");
                                  typeKey(s, 15, "1122334455");
                                  bytes64 = bytes(s);
                                }});
  (void)r;
  // 26 digits fill the 13 bytes of the 128-bit key; what follows stays out of it.
  const std::vector<std::string> want128 = {"01", "02", "03", "04", "05", "06", "07", "08", "09", "0A",
                                            "0B", "0C", "0D", "",   "",   "",   "",   "",   "",   ""};
  EXPECT_EQ(bytes128, want128);
  // A 64-bit key ends after five bytes: the sixth and later digits do not run into key 2.
  const std::vector<std::string> want64 = {"AA", "BB", "CC", "DD", "EE", "", "", "", "", "",
                                           "",   "",   "",   "",   "",   "11", "22", "33", "44", "55"};
  EXPECT_EQ(bytes64, want64);
}

// ---- NetWare ------------------------------------------------------------------------------------

class NetwarePagesTest : public PagesTest {
 protected:
  void SetUp() override {
    PagesTest::SetUp();
    nw_.AddFileServer("FS1");
    nw_.AddTree("ACME_TREE___");
    nw_.AddContainer("ACME_TREE", "ACME", netware::testing::kOrganization);
    nw_.AddContainer("ACME_TREE", "SALES.ACME", netware::testing::kOrganizationalUnit);
    nw_.AddNdsObject("ACME_TREE", "ACME", netware::testing::kVolume, "FS1_SYS");
  }
  box_emulator::Box& NetwareBox(const char* mode) {
    box_emulator::Box& box = AddBox({BoxKind::kNetware, "NW-BOX", ""});
    OwnValues(box);
    EXPECT_TRUE(box.SetSetting("2000", mode));
    return box;
  }
  void UseNetware() { netware::SetNwClient(&nw_); }
  static Step Mode(int id) {
    return [id](ui::CPropertySheet& s) {
      ClickRadio(s, id, {IDC_NW_NONE, IDC_NW_NDS, IDC_NW_BINDERY, IDC_NW_REMOTE_PRINTER});
    };
  }
  netware::testing::InMemoryNetWare nw_;
};

struct NetwareWrite {
  const char* mode;
  const char* server;
  const char* tree;
  const char* context;
};

void ExpectNetware(const NetwareWrite& w) {
  const NetwareConfigurationData& n = g_WizardConfigurationData.dsNetware;
  EXPECT_EQ(n.szOperationMode, w.mode);
  EXPECT_EQ(n.szMasterFileServerName, w.server);
  EXPECT_EQ(n.szNDSTreeName, w.tree);
  EXPECT_EQ(n.szNDSContextName, w.context);
}

TEST_F(NetwarePagesTest, BinderyCreatesThePrintServerWithTheClientLayer) {
  UseNetware();
  box_emulator::Box& box = NetwareBox("PS");
  box.SetPortCounts(2, 1, 0);  // P1, P2 and the serial port
  std::string thirdLabel, serialQueue;
  bool serialShown = true;
  const RunResult r = RunSteps("1", "NNNXX", {[&](ui::CPropertySheet& s) {
                                                 thirdLabel = Text(s, CNetwareBindery::IDC_LABEL_P3);
                                                 serialQueue = Text(s, CNetwareBindery::IDC_QUEUE_P3);
                                                 serialShown = s.GetActivePage()->GetDlgItem(CNetwareBindery::IDC_QUEUE_SERIAL)->IsWindowVisible();
                                                 EXPECT_TRUE(s.GetActivePage()->GetDlgItem(CNetwareBindery::IDC_QUEUE_P1)->IsWindowEnabled());
                                                 Type(s, CNetwareBindery::IDC_FILE_SERVER, "NOPE");
                                                 s.PressButton(ui::PSBTN_NEXT);
                                               },
                                               [&](ui::CPropertySheet& s) {
                                                 Type(s, CNetwareBindery::IDC_FILE_SERVER, "fs1");
                                                 s.PressButton(ui::PSBTN_NEXT);
                                               }});
  EXPECT_EQ(thirdLabel, "Serial    Port");
  EXPECT_EQ(serialQueue, "NW-BOX_BIN_QS");
  EXPECT_FALSE(serialShown);
  ASSERT_EQ(r.messages.size(), 1u);
  EXPECT_EQ(r.messages[0].id, IDS_CHECK_FILE_SERVER);
  EXPECT_EQ(r.messages[0].text, "1.Check fileserver 'NOPE' exist.\n2.Login to 'NOPE' with supervisor right.");
  EXPECT_EQ(r.pages.back(), IDD_TCPIP);
  ExpectNetware({"PS", "fs1", "", ""});
  EXPECT_NE(nw_.FindBindery("FS1", netware::testing::kPrintServer, "NW-BOX"), nullptr);
  EXPECT_NE(nw_.FindBindery("FS1", netware::testing::kPrinter, "NW-BOX_BIN_SP", "NW-BOX"), nullptr);
  EXPECT_EQ(nw_.CountObjects("FS1", netware::testing::kQueue), 3u);
  EXPECT_TRUE(nw_.violations().empty());
}

TEST_F(NetwarePagesTest, NdsChecksTheContextThenCreatesThePrintServer) {
  UseNetware();
  NetwareBox("PS");
  const RunResult r = RunSteps("1", "NNNXXX", {Mode(IDC_NW_NDS),
                                                [&](ui::CPropertySheet& s) {
                                                  Type(s, CNetwareNDS::IDC_TREE, "ACME_TREE");
                                                  Type(s, CNetwareNDS::IDC_CONTEXT, "NOWHERE.ACME");
                                                  s.PressButton(ui::PSBTN_NEXT);
                                                },
                                                [&](ui::CPropertySheet& s) {
                                                  Type(s, CNetwareNDS::IDC_CONTEXT, "SALES.ACME");
                                                  s.PressButton(ui::PSBTN_NEXT);
                                                }});
  EXPECT_EQ(Pages(r), "111 104 131 108 107 107 109 ");
  ASSERT_EQ(r.messages.size(), 1u);
  EXPECT_EQ(r.messages[0].text, "Context   'NOWHERE.ACME'  doesn't exist .");
  ExpectNetware({"PS", "", "ACME_TREE", "SALES.ACME"});
  EXPECT_NE(nw_.FindNds("ACME_TREE", "SALES.ACME", netware::testing::kPrintServer, "NW-BOX"), nullptr);
  EXPECT_EQ(nw_.FindNds("ACME_TREE", "SALES.ACME", netware::testing::kPrintServer, "AAZ12356"), nullptr);
  EXPECT_EQ(nw_.CountObjects("ACME_TREE", netware::testing::kPrinter), 1u);  // the one-port box: P1
  EXPECT_EQ(ListTreeContainers("ACME_TREE"), (std::list<std::string>{"ACME", "SALES.ACME"}));
  EXPECT_TRUE(nw_.violations().empty());
}

TEST_F(NetwarePagesTest, TheSimulationStandsInForTheClientWhenSwitchedOn) {
  const char* file = "ferrow_simulation_netware.ini";
  ASSERT_TRUE(WritePrivateProfileString("debug", "simulation", "1", file));
  ASSERT_TRUE(WritePrivateProfileString("fileserver", "total", "FS9", file));
  ASSERT_TRUE(WritePrivateProfileString("fileserver", "FS9", "4 0x33", file));
  NetwareBox("PS");
  bool queuesEnabled = false;
  const RunResult r = RunSteps("1", "NNNXN", {[&](ui::CPropertySheet& s) {
                                                queuesEnabled = s.GetActivePage()->GetDlgItem(CNetwareBindery::IDC_QUEUE_P1)->IsWindowEnabled();
                                                Type(s, CNetwareBindery::IDC_FILE_SERVER, "FS9");
                                              }});
  EXPECT_TRUE(queuesEnabled);
  EXPECT_TRUE(r.messages.empty());
  EXPECT_EQ(r.pages.back(), IDD_TCPIP);
  char servers[256] = {};
  GetPrivateProfileString("printserver", "total", "", servers, sizeof servers, file);
  EXPECT_EQ(std::string(servers), "NW-BOX");
  EXPECT_EQ(nw_.TotalCalls(), 0);  // no client was asked
  ExpectNetware({"PS", "FS9", "", ""});
}

TEST_F(NetwarePagesTest, WithoutAClientThePagesOnlyCollectTheNames) {
  NetwareBox("PS");
  bool queuesEnabled = true;
  std::string queue = "x";
  const RunResult r = RunSteps("1", "NNNXX", {[&](ui::CPropertySheet& s) {
                                                 queuesEnabled = s.GetActivePage()->GetDlgItem(CNetwareBindery::IDC_QUEUE_P1)->IsWindowEnabled();
                                                 queue = Text(s, CNetwareBindery::IDC_QUEUE_P1);
                                               },
                                               [&](ui::CPropertySheet& s) {
                                                 Type(s, CNetwareBindery::IDC_FILE_SERVER, "ANY-SERVER");
                                                 s.PressButton(ui::PSBTN_NEXT);
                                               }});
  EXPECT_FALSE(queuesEnabled);
  EXPECT_EQ(queue, "");
  EXPECT_TRUE(r.messages.empty());
  ExpectNetware({"PS", "ANY-SERVER", "", ""});
}

TEST_F(NetwarePagesTest, RemotePrinterAndNoneFromTheDetailPages) {
  struct Case {
    const char* name;
    const char* boxMode;
    int radio;
    NetwareWrite written;
  };
  const std::vector<Case> cases = {
      {"Remote Printer on the bindery page goes to the mode page", "PS", IDC_NW_REMOTE_PRINTER, {"RP", "", "", ""}},
      {"None leaves the mode unset", "PS", IDC_NW_NONE, {"", "", "", ""}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    boxes_.clear();
    ResetWizardState();
    NetwareBox(c.boxMode);
    const RunResult r = RunSteps("1", "NNNXN", {Mode(c.radio)});
    EXPECT_EQ(Pages(r), "111 104 131 108 106 109 ");
    ExpectNetware(c.written);
  }
}

TEST_F(NetwarePagesTest, NoneNeverSwitchesTheBoxsNetwareMode) {
  box_emulator::Box& box = NetwareBox("RP");
  ASSERT_TRUE(box.SetSetting("4001", "127.0.0.254"));
  const RunResult r = RunSteps("1", "NNNXNNF", {Mode(IDC_NW_NONE)});
  EXPECT_EQ(Pages(r), "111 104 131 106 106 109 110 ");
  for (const std::string& line : FromConfigurationText(box)) EXPECT_NE(line.rfind("2000", 0), 0u) << line;
  EXPECT_EQ(box.Setting("2000"), std::optional<std::string>("RP"));
}

}  // namespace
}  // namespace wizard_test

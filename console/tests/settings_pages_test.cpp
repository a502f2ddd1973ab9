// The settings view's tabs and pages against emulated boxes: which tab set a box gets, every tab of
// it opened and left, the tab change refused while a page refuses its input, the System page's
// controls from the box's capabilities and the protocol the console uses, and the keys a page keeps.
#include <gtest/gtest.h>

#include <cstdlib>

#include <QApplication>
#include <QClipboard>
#include <QLineEdit>
#include <QTabBar>
#include <QTest>

#include "console/console_state.h"
#include "console/main_menu_dlg.h"
#include "console/page_store.h"
#include "console/pellam_view.h"
#include "console/tests/console_fixture.h"
#include "console_pages/system_page.h"
#include "device_client/core/wire_layout.h"

namespace console_test {
namespace {

using Tabs = std::vector<std::string>;

constexpr std::uint8_t kIpx = wire::pid::kCapIpxSpx;
constexpr std::uint8_t kTcp = wire::pid::kCapTcpIp;
constexpr std::uint8_t kAt = wire::pid::kCapAppleTalk;
constexpr std::uint8_t kNetBeui = wire::pid::kCapNetBeui;
constexpr std::uint8_t kWireless = wire::pid::kCapWireless;

const Tabs kWirelessTabs = {"System", "TCP/IP", "Apple Talk", "Logical Port", "Physical Port", "Wireless"};
const Tabs kNewTcpOnly = {"System", "TCP/IP", "Logical Port", "Physical Port"};
const Tabs kNewWithAt = {"System",     "TCP/IP",       "NetWare PServer", "NetWare RPrinter",
                         "Apple Talk", "Logical Port", "Physical Port"};
const Tabs kNewNoAt = {"System", "TCP/IP", "NetWare PServer", "NetWare RPrinter", "Logical Port", "Physical Port"};
const Tabs kOldWithAt = {"System",     "TCP/IP", "NetWare PServer", "NetWare RPrinter",
                         "Apple Talk", "Logical Port"};
const Tabs kOldNoAt = {"System", "TCP/IP", "NetWare PServer", "NetWare RPrinter", "Logical Port"};

struct LayoutCase {
  const char* what;
  std::uint8_t byte42, byte43;
  std::uint8_t fw50, fw51;  // firmware bytes: shown as four hex digits read as a decimal number
  const Tabs* tabs;
};

// Firmware 0x60 0x12 reads 6012 (new), 0x60 0x11 reads 6011 (old), 0x02 0x10 reads 210.
const LayoutCase kLayoutCases[] = {
    {"WirelessOldFirmwareWithoutAppleTalk", kWireless, kTcp, 0x02, 0x10, &kWirelessTabs},
    {"WirelessNewFirmware", kWireless, kTcp | kIpx | kAt, 0x60, 0x12, &kWirelessTabs},
    {"NewFirmwareTcpOnly", 0, kTcp | kNetBeui, 0x60, 0x12, &kNewTcpOnly},
    {"NewFirmwareAppleTalkWithoutIpx", 0, kTcp | kAt, 0x60, 0x12, &kNewWithAt},
    {"NewFirmwareAppleTalkAndIpx", 0, kTcp | kIpx | kAt | kNetBeui, 0x70, 0x00, &kNewWithAt},
    {"NewFirmwareIpxWithoutAppleTalk", 0, kTcp | kIpx, 0x60, 0x12, &kNewNoAt},
    {"Firmware6011WithAppleTalk", 0, kTcp | kIpx | kAt, 0x60, 0x11, &kOldWithAt},
    {"OldFirmwareAppleTalkOnlyBesidesTcp", 0, kTcp | kAt, 0x02, 0x10, &kOldWithAt},
    {"Firmware6011TcpOnly", 0, kTcp, 0x60, 0x11, &kOldNoAt},
    {"OldFirmwareIpx", 0, kTcp | kIpx, 0x02, 0x10, &kOldNoAt},
};

// With PSA_TEST_SCREENSHOTS set to a folder, the view is saved there for a look.
void Shot(CPellamView& view, const std::string& name) {
  const char* dir = std::getenv("PSA_TEST_SCREENSHOTS");
  if (dir != nullptr && *dir != '\0') {
    ui::SaveScreenshot(view.GetSafeHwnd()->window(), QString::fromStdString(std::string(dir) + "/" + name + ".png"));
  }
}

QTabBar* TabBar(CPellamView& view) { return qobject_cast<QTabBar*>(view.Tabs().GetSafeHwnd()); }

class SettingsPagesTest : public ConsoleTest {
 protected:
  ~SettingsPagesTest() override {
    Stop();
    platform::SetMessageSink(&sink_);
  }
  // One box with these capabilities and firmware, listed, browsed and opened with Advanced.
  void OpenBox(std::uint8_t byte42, std::uint8_t byte43, std::uint8_t fw50 = 0x60, std::uint8_t fw51 = 0x12) {
    MakeBoxes(1);
    box_emulator::Box& box = *boxes_[0];
    box.SetCapabilities(byte42, byte43);
    box.SetFirmware(fw50, fw51);
    ASSERT_TRUE(Start());
    Tick();
    g_pMainMenuDlg->List().SetItemState(0, ui::LVIS_SELECTED, ui::LVIS_SELECTED);
    QTest::mouseClick(g_pMainMenuDlg->GetDlgItem(1010)->GetSafeHwnd(), Qt::LeftButton);
    ASSERT_TRUE(View().IsDeviceOpen());
  }
  // Message boxes shown since the last Mark().
  void Mark() { mark_ = sink_.ids().size(); }
  std::vector<int> NewIds() const {
    const std::vector<int> all = sink_.ids();
    return std::vector<int>(all.begin() + static_cast<std::ptrdiff_t>(mark_), all.end());
  }
  std::size_t mark_ = 0;
  // The user clicks tab `index`.
  void ChooseTab(int index) { TabBar(View())->setCurrentIndex(index); }
  int ShownTab() { return View().Tabs().GetCurSel(); }
  // The page on show, or nullptr.
  ui::CDialog* ShownPage() {
    return g_pCurrentPage != nullptr && g_pCurrentPage->GetSafeHwnd() != nullptr &&
                   g_pCurrentPage->GetSafeHwnd()->isVisible()
               ? g_pCurrentPage
               : nullptr;
  }
  QWidget* Control(int id) { return g_SystemPage.GetDlgItem(id)->GetSafeHwnd(); }
  QWidget* FocusWidget() { return View().GetSafeHwnd()->window()->focusWidget(); }
  // A key pressed and released as a keyboard delivers them: each to the focus widget of its moment.
  void Key(Qt::Key key, Qt::KeyboardModifiers mods = Qt::NoModifier) {
    QTest::keyPress(FocusWidget(), key, mods);
    QTest::keyRelease(FocusWidget(), key, mods);
  }
};

TEST(LayoutTable, FirstMatchingRowGivesTheTabs) {
  for (const LayoutCase& c : kLayoutCases) {
    config::ProtocolData p;
    p.bWirelessDevice = (c.byte42 & kWireless) ? 1 : 0;
    p.bIPXSPXProtocol = (c.byte43 & kIpx) ? 1 : 0;
    p.bAPPLETALKProtocol = (c.byte43 & kAt) ? 1 : 0;
    p.bTCPIPProtocol = (c.byte43 & kTcp) ? 1 : 0;
    char digits[5];
    std::snprintf(digits, sizeof digits, "%02X%02X", c.fw50, c.fw51);
    EXPECT_EQ(LayoutTabs(p, std::atoi(digits)), *c.tabs) << c.what;
  }
  // The tab texts are those of the pages.
  for (const Tabs* tabs : {&kWirelessTabs, &kNewWithAt, &kNewNoAt}) {
    for (const std::string& text : *tabs) EXPECT_NE(FindPageSlot(text), nullptr) << text;
  }
}

class LayoutOfBox : public SettingsPagesTest, public ::testing::WithParamInterface<LayoutCase> {};

// One box per distinct tab set: the view shows the set, and every tab opens its page and can be
// left again (the pages not built yet keep their records).
TEST_P(LayoutOfBox, EveryTabOfTheSetOpensItsPageAndCanBeLeft) {
  const LayoutCase& c = GetParam();
  OpenBox(c.byte42, c.byte43, c.fw50, c.fw51);
  EXPECT_EQ(View().Layout(), *c.tabs);
  ASSERT_EQ(View().Tabs().GetItemCount(), static_cast<int>(c.tabs->size()));
  for (int i = 0; i < static_cast<int>(c.tabs->size()); ++i) {
    EXPECT_EQ(TabBar(View())->tabText(i).toStdString(), (*c.tabs)[static_cast<std::size_t>(i)]);
  }
  EXPECT_EQ(ShownPage(), &g_SystemPage);
  Shot(View(), std::string("tabs_") + c.what);
  Mark();
  const config::TCPIPConfigurationData tcpipBefore = gdsTCPIPConfigurationData;
  for (int i = 1; i < static_cast<int>(c.tabs->size()); ++i) {
    ChooseTab(i);
    EXPECT_EQ(ShownTab(), i);
    EXPECT_EQ(g_iCurrentTab, i);
    const PageSlot* slot = FindPageSlot((*c.tabs)[static_cast<std::size_t>(i)]);
    ASSERT_NE(slot, nullptr);
    EXPECT_EQ(ShownPage(), slot->page) << slot->tabText;
    // One page window at a time.
    EXPECT_EQ(g_SystemPage.GetSafeHwnd(), nullptr);
  }
  ChooseTab(0);
  EXPECT_EQ(ShownPage(), &g_SystemPage);
  EXPECT_EQ(gdsTCPIPConfigurationData.szIPAddress, tcpipBefore.szIPAddress);
  EXPECT_EQ(NewIds(), std::vector<int>{});
  // Beyond the set no page is shown.
  View().ShowPage(static_cast<int>(c.tabs->size()));
  EXPECT_EQ(ShownPage(), nullptr);
  View().OnReturnToMainMenu();
  EXPECT_EQ(g_SystemPage.GetSafeHwnd(), nullptr);
}

INSTANTIATE_TEST_SUITE_P(OneBoxPerTabSet, LayoutOfBox,
                         ::testing::Values(kLayoutCases[0], kLayoutCases[2], kLayoutCases[4], kLayoutCases[5],
                                           kLayoutCases[7], kLayoutCases[8]),
                         [](const ::testing::TestParamInfo<LayoutCase>& p) { return p.param.what; });

// A System page whose input is refused keeps its tab; the records keep every field until the whole
// page passes.
TEST_F(SettingsPagesTest, TabChangeIsRefusedWhileTheSystemPageRefusesItsInput) {
  OpenBox(0, kTcp | kIpx | kAt | kNetBeui);
  const config::SystemConfigurationData before = gdsSystemConfigurationData;
  struct Refusal {
    const char* name;
    bool disableAll;  // IPX/SPX and NetBEUI (TCP/IP is the locked one, already as the record says)
    int message;
    bool cleared;
  };
  // TCP/IP stays as the record has it (locked): switch it off in the record for the last case.
  const Refusal refusals[] = {
      {"", false, CSystemPage::IDS_NEED_DEVICE_NAME, true},
      {"   ", false, CSystemPage::IDS_NEED_DEVICE_NAME, true},
      {"12 34", false, CSystemPage::IDS_DEVICE_NAME_ALL_DIGITS, true},
      {"2024", false, CSystemPage::IDS_DEVICE_NAME_ALL_DIGITS, true},
      {"NEW\tNAME", false, CSystemPage::IDS_NEED_DEVICE_NAME, true},
  };
  for (const Refusal& r : refusals) {
    Mark();
    g_SystemPage.m_editDeviceName.SetWindowText(r.name);
    ChooseTab(1);
    EXPECT_EQ(ShownTab(), 0) << r.name;
    ASSERT_EQ(ShownPage(), &g_SystemPage) << r.name;
    EXPECT_EQ(NewIds(), std::vector<int>{r.message}) << r.name;
    EXPECT_EQ(g_SystemPage.m_editDeviceName.GetWindowText(), "") << r.name;
    EXPECT_EQ(FocusWidget(), Control(CSystemPage::IDC_DEVICE_NAME)) << r.name;
    EXPECT_EQ(gdsSystemConfigurationData.szDeviceName, before.szDeviceName) << r.name;
  }

  // Every protocol that reaches the box off: refused, nothing stored, the name not cleared.
  Mark();
  g_SystemPage.m_editDeviceName.SetWindowText("NEW-NAME");
  g_SystemPage.CheckDlgButton(CSystemPage::IDC_IPXSPX_DISABLE, ui::BST_CHECKED);
  g_SystemPage.CheckDlgButton(CSystemPage::IDC_IPXSPX_ENABLE, ui::BST_UNCHECKED);
  g_SystemPage.CheckDlgButton(CSystemPage::IDC_NETBEUI_DISABLE, ui::BST_CHECKED);
  g_SystemPage.CheckDlgButton(CSystemPage::IDC_NETBEUI_ENABLE, ui::BST_UNCHECKED);
  g_SystemPage.CheckDlgButton(CSystemPage::IDC_TCPIP_DISABLE, ui::BST_CHECKED);
  g_SystemPage.CheckDlgButton(CSystemPage::IDC_TCPIP_ENABLE, ui::BST_UNCHECKED);
  g_SystemPage.CheckDlgButton(CSystemPage::IDC_APPLETALK_ENABLE, ui::BST_CHECKED);
  g_SystemPage.CheckDlgButton(CSystemPage::IDC_APPLETALK_DISABLE, ui::BST_UNCHECKED);
  ChooseTab(1);
  EXPECT_EQ(ShownTab(), 0);
  EXPECT_EQ(NewIds(), std::vector<int>{CSystemPage::IDS_NEED_ONE_NETWORK_PROTOCOL});
  EXPECT_EQ(g_SystemPage.m_editDeviceName.GetWindowText(), "NEW-NAME");
  EXPECT_EQ(gdsSystemConfigurationData.szDeviceName, before.szDeviceName);
  EXPECT_EQ(gdsSystemConfigurationData.bIPXSPXProtocol, before.bIPXSPXProtocol);
  EXPECT_EQ(gdsSystemConfigurationData.bAPPLETALKProtocol, before.bAPPLETALKProtocol);

  // NetBEUI on again: a name of digits and one hyphen is a name; blanks go.
  Mark();
  g_SystemPage.CheckDlgButton(CSystemPage::IDC_NETBEUI_ENABLE, ui::BST_CHECKED);
  g_SystemPage.CheckDlgButton(CSystemPage::IDC_NETBEUI_DISABLE, ui::BST_UNCHECKED);
  g_SystemPage.m_editDeviceName.SetWindowText("12 -34");
  ChooseTab(1);
  EXPECT_EQ(NewIds(), std::vector<int>{});
  EXPECT_EQ(ShownTab(), 1);
  EXPECT_EQ(gdsSystemConfigurationData.szDeviceName, "12-34");
  EXPECT_EQ(gdsSystemConfigurationData.bIPXSPXProtocol, 0);
  EXPECT_EQ(gdsSystemConfigurationData.bTCPIPProtocol, 0);
  EXPECT_EQ(gdsSystemConfigurationData.bAPPLETALKProtocol, 1);
  EXPECT_EQ(gdsSystemConfigurationData.bNetBEUIProtocol, 1);

  // Back on the System page the stored values are shown.
  ChooseTab(0);
  EXPECT_EQ(g_SystemPage.m_editDeviceName.GetWindowText(), "12-34");
  EXPECT_EQ(g_SystemPage.IsDlgButtonChecked(CSystemPage::IDC_IPXSPX_DISABLE), ui::BST_CHECKED);
  EXPECT_EQ(g_SystemPage.IsDlgButtonChecked(CSystemPage::IDC_NETBEUI_ENABLE), ui::BST_CHECKED);
}

// The trios follow the box's capabilities; the protocol the console reaches the box by (TCP/IP
// here) is greyed whatever the box has; a protocol the box lacks is stored off.
TEST_F(SettingsPagesTest, SystemPageEnablesWhatTheBoxHasAndLocksTheConnectedProtocol) {
  MakeBoxes(1);
  box_emulator::Box& box = *boxes_[0];
  box.SetCapabilities(0, kTcp | kIpx);
  box.SetSetting("0011", "DISABLE");
  box.SetSetting("0013", "ENABLE");  // AppleTalk on in the settings of a box without it
  box.SetSetting("0014", "DISABLE");
  box.SetFirmware(0x60, 0x12);
  ASSERT_TRUE(Start());
  Tick();
  g_pMainMenuDlg->List().SetItemState(0, ui::LVIS_SELECTED, ui::LVIS_SELECTED);
  QTest::mouseClick(g_pMainMenuDlg->GetDlgItem(1010)->GetSafeHwnd(), Qt::LeftButton);
  ASSERT_EQ(ShownPage(), &g_SystemPage);
  Shot(View(), "system_page");

  EXPECT_EQ(g_SystemPage.GetDlgItemText(CSystemPage::IDC_SELECTED_DEVICE), box.DeviceName());
  EXPECT_EQ(g_SystemPage.m_editDeviceName.GetWindowText(), box.DeviceName());
  EXPECT_EQ(g_SystemPage.m_editDeviceName.GetLimitText(), 19);
  struct Trio {
    int enable, disable, group;
    bool enabled;
    int enableChecked;
  };
  const Trio trios[] = {
      {CSystemPage::IDC_IPXSPX_ENABLE, CSystemPage::IDC_IPXSPX_DISABLE, CSystemPage::IDC_IPXSPX_GROUP, true, 0},
      {CSystemPage::IDC_TCPIP_ENABLE, CSystemPage::IDC_TCPIP_DISABLE, CSystemPage::IDC_TCPIP_GROUP, false, 1},
      {CSystemPage::IDC_APPLETALK_ENABLE, CSystemPage::IDC_APPLETALK_DISABLE, CSystemPage::IDC_APPLETALK_GROUP, false,
       1},
      {CSystemPage::IDC_NETBEUI_ENABLE, CSystemPage::IDC_NETBEUI_DISABLE, CSystemPage::IDC_NETBEUI_GROUP, false, 0},
  };
  for (const Trio& t : trios) {
    for (int id : {t.enable, t.disable, t.group}) {
      EXPECT_EQ(g_SystemPage.GetDlgItem(id)->IsWindowEnabled(), t.enabled) << id;
    }
    EXPECT_EQ(g_SystemPage.IsDlgButtonChecked(t.enable), t.enableChecked) << t.enable;
    EXPECT_EQ(g_SystemPage.IsDlgButtonChecked(t.disable), 1 - t.enableChecked) << t.disable;
  }
  // Leaving the page stores AppleTalk off: the box cannot run it.
  ChooseTab(1);
  EXPECT_EQ(ShownTab(), 1);
  EXPECT_EQ(gdsSystemConfigurationData.bAPPLETALKProtocol, 0);
  EXPECT_EQ(gdsSystemConfigurationData.bTCPIPProtocol, 1);
  EXPECT_EQ(gdsSystemConfigurationData.bIPXSPXProtocol, 0);
}

// The System page with the connected protocol of the test's choice.
class ConnectedAs : public CSystemPage {
 public:
  explicit ConnectedAs(int protocol) : protocol_(protocol) {}
  int ConnectedProtocol() override { return protocol_; }

 private:
  int protocol_;
};

TEST_F(SettingsPagesTest, TheConnectedProtocolsTrioIsLockedAndAnyOtherAnswerEndsThePage) {
  OpenBox(0, kTcp | kIpx | kAt | kNetBeui);
  View().OnReturnToMainMenu();
  struct Case {
    int protocol;
    int locked;  // group box of the greyed trio; 0: the page ends
  };
  const Case cases[] = {{1, CSystemPage::IDC_IPXSPX_GROUP},
                        {2, CSystemPage::IDC_TCPIP_GROUP},
                        {4, CSystemPage::IDC_NETBEUI_GROUP},
                        {0, 0},
                        {3, 0},
                        {-1, 0}};
  const int groups[] = {CSystemPage::IDC_IPXSPX_GROUP, CSystemPage::IDC_TCPIP_GROUP,
                        CSystemPage::IDC_APPLETALK_GROUP, CSystemPage::IDC_NETBEUI_GROUP};
  for (const Case& c : cases) {
    ConnectedAs page(c.protocol);
    page.m_szDefaultName = boxes_[0]->DefaultName();
    page.m_pHost = &View();
    ASSERT_TRUE(page.Create(&View()));
    EXPECT_EQ(page.StartFailed(), c.locked == 0) << c.protocol;
    if (c.locked != 0) {
      for (int group : groups) {
        EXPECT_EQ(page.GetDlgItem(group)->IsWindowEnabled(), group != c.locked) << c.protocol << " " << group;
      }
    }
    page.DestroyWindow();
  }
}

// A box that stops answering: the System page tells why and shows nothing, and its tab can be left.
TEST_F(SettingsPagesTest, APageThatCannotStartShowsNothingAndItsTabCanBeLeft) {
  OpenBox(0, kTcp | kAt);
  ChooseTab(1);
  boxes_[0]->SwitchOff();
  Mark();
  ChooseTab(0);
  EXPECT_EQ(ShownTab(), 0);
  EXPECT_EQ(ShownPage(), nullptr);
  EXPECT_EQ(NewIds().size(), 1u);  // the failed call's message
  const config::SystemConfigurationData before = gdsSystemConfigurationData;
  ChooseTab(1);
  EXPECT_EQ(ShownTab(), 1);
  EXPECT_EQ(gdsSystemConfigurationData.szDeviceName, before.szDeviceName);
}

TEST_F(SettingsPagesTest, EnterAndEscStayOnThePageTabFromItsLastControlGoesToRestoreToDefaults) {
  OpenBox(0, kTcp | kIpx | kAt | kNetBeui);
  ASSERT_EQ(ShownPage(), &g_SystemPage);
  QWidget* edit = Control(CSystemPage::IDC_DEVICE_NAME);
  const std::string name = g_SystemPage.m_editDeviceName.GetWindowText();

  g_SystemPage.m_editDeviceName.SetFocus();
  for (Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape}) {
    Key(key);
    EXPECT_EQ(ShownPage(), &g_SystemPage) << key;
    EXPECT_EQ(g_SystemPage.m_editDeviceName.GetWindowText(), name) << key;
    EXPECT_EQ(FocusWidget(), edit) << key;
  }

  // Tab from the edit moves within the page.
  Key(Qt::Key_Tab);
  EXPECT_EQ(FocusWidget(), Control(CSystemPage::IDC_IPXSPX_DISABLE));
  // From either NetBEUI radio one Tab leaves the page for "Restore to Defaults".
  for (int last : {CSystemPage::IDC_NETBEUI_DISABLE, CSystemPage::IDC_NETBEUI_ENABLE}) {
    Control(last)->setFocus();
    Key(Qt::Key_Tab);
    EXPECT_EQ(FocusWidget(), View().RestoreDefaultsButton().GetSafeHwnd()) << last;
    EXPECT_EQ(g_SystemPage.m_iTabState, 0);
  }
  // Shift+Tab on the last control goes back inside the page.
  Control(CSystemPage::IDC_NETBEUI_ENABLE)->setFocus();
  Key(Qt::Key_Backtab, Qt::ShiftModifier);
  EXPECT_EQ(FocusWidget(), Control(CSystemPage::IDC_NETBEUI_DISABLE));
  // The next control of the page from the AppleTalk Enable radio is the NetBEUI Disable radio.
  Control(CSystemPage::IDC_APPLETALK_ENABLE)->setFocus();
  Key(Qt::Key_Tab);
  EXPECT_EQ(FocusWidget(), Control(CSystemPage::IDC_NETBEUI_DISABLE));
}

TEST_F(SettingsPagesTest, CtrlAloneGoesToTheTabsWhileCopyAndPasteStayInTheEdit) {
  OpenBox(0, kTcp | kIpx);
  ASSERT_EQ(ShownPage(), &g_SystemPage);
  QWidget* edit = Control(CSystemPage::IDC_DEVICE_NAME);
  g_SystemPage.m_editDeviceName.SetWindowText("AB");
  g_SystemPage.m_editDeviceName.SetFocus();

  // Ctrl+A, Ctrl+C, End, Ctrl+V: the edit keeps the focus and gets its text twice.
  auto chord = [&](Qt::Key key) {
    QTest::keyPress(FocusWidget(), Qt::Key_Control, Qt::ControlModifier);
    QTest::keyClick(FocusWidget(), key, Qt::ControlModifier);
    QTest::keyRelease(FocusWidget(), Qt::Key_Control, Qt::NoModifier);
  };
  chord(Qt::Key_A);
  chord(Qt::Key_C);
  EXPECT_EQ(FocusWidget(), edit);
  QTest::keyClick(edit, Qt::Key_End);
  chord(Qt::Key_V);
  EXPECT_EQ(FocusWidget(), edit);
  EXPECT_EQ(g_SystemPage.m_editDeviceName.GetWindowText(), "ABAB");

  // Ctrl on its own hands the focus to the tab row.
  Key(Qt::Key_Control);
  EXPECT_EQ(FocusWidget(), View().Tabs().GetSafeHwnd());
}

}  // namespace
}  // namespace console_test

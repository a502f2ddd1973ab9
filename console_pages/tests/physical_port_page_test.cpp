// The physical port page against an emulated box: the ports it lists by model, renaming with the
// logical ports following, the serial port's entry, what it stores when the port on show is left
// (also by a keyboard selection change), the handshake, and the name checks.
#include <gtest/gtest.h>

#include "console_pages/physical_port_page.h"
#include "console_pages/port_name_check.h"
#include "console_pages/tests/port_pages_fixture.h"

namespace page_test {
namespace {

using P = CPhysicalPortPage;

// Physical port names: one table of what the check refuses and with which message.
TEST(PhysicalPortNameCheck, Table) {
  using port_names::NameCheck;
  struct Case {
    const char* what;
    std::string name;
    std::vector<std::string> others;
    NameCheck expected;
    int message;
  } cases[] = {
      {"plain name", "LPT1", {"P2", "SP"}, NameCheck::kOk, 0},
      {"blank inside", "FRONT DESK", {"P2"}, NameCheck::kOk, 0},
      {"punctuation the status text does not use", "LPT-1_A.b/c", {}, NameCheck::kOk, 0},
      {"prefix of another port's name", "P", {"P2"}, NameCheck::kOk, 0},
      {"empty", "", {"P2"}, NameCheck::kEmpty, 32878},
      {"blanks only", "   ", {"P2"}, NameCheck::kEmpty, 32878},
      {"opening parenthesis", "LPT(1", {}, NameCheck::kBadCharacter, 32879},
      {"closing parenthesis", "P1)STATE", {}, NameCheck::kBadCharacter, 32879},
      {"line feed", "LPT\n0001 :X", {}, NameCheck::kBadCharacter, 32879},
      {"carriage return", "LPT\r", {}, NameCheck::kBadCharacter, 32879},
      {"tab", "L\tPT", {}, NameCheck::kBadCharacter, 32879},
      {"delete", "LPT\x7f", {}, NameCheck::kBadCharacter, 32879},
      {"byte above 0x7f", "LPT\xe9", {}, NameCheck::kBadCharacter, 32879},
      {"leading blank", " LPT", {}, NameCheck::kBadCharacter, 32879},
      {"trailing blank", "LPT ", {}, NameCheck::kBadCharacter, 32879},
      {"another port's name", "P2", {"P2", "SP"}, NameCheck::kDuplicate, 32879},
      {"another port's name in other case", "sp", {"P2", "SP"}, NameCheck::kDuplicate, 32879},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(port_names::CheckPhysicalPortName(c.name, c.others), c.expected) << c.what;
    EXPECT_EQ(port_names::NameCheckMessage(c.expected), c.message) << c.what;
  }
}

class PhysicalPortPageTest : public PortPagesTest {
 protected:
  void SetUp() override {
    PortPagesTest::SetUp();
    box_.SetSetting("0043", "SERIAL");
    box_.SetSetting("0501", "BUSY");
    // Logical ports 1 and 3 print to P1, 2 to P2, 4 to the serial port.
    box_.SetSetting("0100", "P1");
    box_.SetSetting("0120", "P2");
    box_.SetSetting("0140", "P1");
    box_.SetSetting("0160", "SERIAL");
  }
  std::vector<std::string> LogicalTargets() const {
    std::vector<std::string> t;
    for (const auto& lp : gdsLogicalPrinterConfigurationData) t.push_back(lp.szPhysicalPort);
    return t;
  }
  CPhysicalPortPage& page_ = g_PhysicalPortPage;
};

TEST_F(PhysicalPortPageTest, ListsTheModelsPorts) {
  struct Case {
    Model model;
    std::vector<std::string> entries;
  } cases[] = {
      {kModel1, {"Parallel Port 1"}},
      {kModel20, {"Parallel Port 1"}},
      {kRawModel, {"Parallel Port 1"}},
      {kModel2, {"Parallel Port 1", "Parallel Port 2", "SP"}},
      {kModel3, {"Parallel Port 1", "Parallel Port 2", "Parallel Port 3 ", "SP"}},
      {kModel4, {"Parallel Port 1", "Parallel Port 2", "Parallel Port 3 "}},
      {kModel16, {"Parallel Port 1", "Parallel Port 2"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.model.what);
    UseModel(c.model);
    ASSERT_TRUE(Open(page_));
    EXPECT_EQ(Entries(page_.m_cboPhysicalPort), c.entries);
    EXPECT_EQ(page_.m_cboPhysicalPort.GetCurSel(), 0);
    EXPECT_EQ(page_.GetDlgItemText(P::IDC_PORT_NAME), "P1");
    EXPECT_EQ(page_.m_editPortName.GetLimitText(), 12);
    EXPECT_EQ(page_.IsDlgButtonChecked(P::IDC_BUSY), ui::BST_CHECKED);
    EXPECT_EQ(page_.IsDlgButtonChecked(P::IDC_ACK_BUSY), ui::BST_UNCHECKED);
    EXPECT_EQ(page_.StoreShownPort(), 1);
    if (c.model.b4 == kModel3.b4 && c.model.b5 == kModel3.b5) Shot(page_, "physical_port_page_model3");
    page_.DestroyWindow();
  }
}

TEST_F(PhysicalPortPageTest, LogicalPortsFollowTheNameAsItIsTyped) {
  UseModel(kModel1);
  ASSERT_TRUE(Open(page_));
  auto* edit = qobject_cast<QLineEdit*>(page_.m_editPortName.GetSafeHwnd());
  edit->setFocus();
  edit->selectAll();
  QTest::keyClicks(edit, "L");  // replaces the selected "P1"
  EXPECT_EQ(LogicalTargets()[0], "L");
  QTest::keyClicks(edit, "PT");
  const std::vector<std::string> targets = LogicalTargets();
  EXPECT_EQ(targets[0], "LPT");
  EXPECT_EQ(targets[1], "P2");
  EXPECT_EQ(targets[2], "LPT");
  EXPECT_EQ(targets[3], "SERIAL");
  // The port itself is renamed when the page is stored.
  EXPECT_EQ(gdsPhysicalPortConfigurationData[0].szPortName, "P1");
  ASSERT_EQ(page_.StoreShownPort(), 1);
  EXPECT_EQ(gdsPhysicalPortConfigurationData[0].szPortName, "LPT");
  EXPECT_TRUE(NewMessages().empty());
}

TEST_F(PhysicalPortPageTest, KeyboardSelectionStoresTheNameBeingLeft) {
  UseModel(kModel2);
  ASSERT_TRUE(Open(page_));
  Retype(page_.m_editPortName, "LPT1");
  Arrow(page_.m_cboPhysicalPort, Qt::Key_Down);
  ASSERT_EQ(page_.m_cboPhysicalPort.GetCurSel(), 1);
  EXPECT_EQ(gdsPhysicalPortConfigurationData[0].szPortName, "LPT1");
  EXPECT_EQ(page_.GetDlgItemText(P::IDC_PORT_NAME), "P2");
  // A new port on show starts a new rename: only the ports that print to P2 follow now.
  Retype(page_.m_editPortName, "LPT2");
  std::vector<std::string> targets = LogicalTargets();
  EXPECT_EQ(targets[0], "LPT1");
  EXPECT_EQ(targets[1], "LPT2");
  EXPECT_EQ(targets[2], "LPT1");
  // Back to P1: the name as stored.
  Arrow(page_.m_cboPhysicalPort, Qt::Key_Up);
  EXPECT_EQ(gdsPhysicalPortConfigurationData[1].szPortName, "LPT2");
  EXPECT_EQ(page_.GetDlgItemText(P::IDC_PORT_NAME), "LPT1");
  EXPECT_TRUE(NewMessages().empty());
}

TEST_F(PhysicalPortPageTest, OpeningTheListAndChoosingTheSamePortKeepsTheTypedName) {
  UseModel(kModel3);
  ASSERT_TRUE(Open(page_));
  Retype(page_.m_editPortName, "LP");
  page_.m_cboPhysicalPort.ShowDropDown(true);
  page_.m_cboPhysicalPort.ShowDropDown(false);
  auto* combo = qobject_cast<QComboBox*>(page_.m_cboPhysicalPort.GetSafeHwnd());
  ASSERT_NE(combo, nullptr);
  emit combo->activated(0);
  EXPECT_EQ(page_.GetDlgItemText(P::IDC_PORT_NAME), "LP");
  // The rename goes on: the logical ports that printed to P1 still follow the typing.
  QTest::keyClicks(qobject_cast<QLineEdit*>(page_.m_editPortName.GetSafeHwnd()), "T");
  EXPECT_EQ(LogicalTargets()[0], "LPT");
  EXPECT_EQ(LogicalTargets()[2], "LPT");
  EXPECT_TRUE(NewMessages().empty());
}

TEST_F(PhysicalPortPageTest, TheSerialEntryShowsTheSerialPortAndCannotBeRenamed) {
  UseModel(kModel2);
  const std::string p3 = gdsPhysicalPortConfigurationData[2].szPortName;
  ASSERT_TRUE(Open(page_));
  Arrow(page_.m_cboPhysicalPort, Qt::Key_End);
  ASSERT_EQ(page_.m_cboPhysicalPort.GetCurSel(), 2);
  EXPECT_EQ(page_.ShownRecord(), 3);
  EXPECT_EQ(page_.GetDlgItemText(P::IDC_PORT_NAME), "SERIAL");
  EXPECT_TRUE(qobject_cast<QLineEdit*>(page_.m_editPortName.GetSafeHwnd())->isReadOnly());
  EXPECT_FALSE(Enabled(page_, P::IDC_BUSY));
  EXPECT_FALSE(Enabled(page_, P::IDC_ACK_BUSY));
  EXPECT_EQ(page_.StoreShownPort(), 1);
  EXPECT_EQ(gdsPhysicalPortConfigurationData[3].szPortName, "SERIAL");
  EXPECT_EQ(gdsPhysicalPortConfigurationData[2].szPortName, p3);
  // Back on a parallel port, its name can be typed again.
  Arrow(page_.m_cboPhysicalPort, Qt::Key_Home);
  EXPECT_FALSE(qobject_cast<QLineEdit*>(page_.m_editPortName.GetSafeHwnd())->isReadOnly());
  EXPECT_TRUE(Enabled(page_, P::IDC_BUSY));
}

TEST_F(PhysicalPortPageTest, HandshakeClicksSetTheShownPortsRecord) {
  UseModel(kModel3);
  ASSERT_TRUE(Open(page_));
  Arrow(page_.m_cboPhysicalPort, Qt::Key_Down);  // P2, "ACK&BUSY" on the box
  EXPECT_EQ(page_.IsDlgButtonChecked(P::IDC_ACK_BUSY), ui::BST_CHECKED);
  Click(page_, P::IDC_BUSY);
  EXPECT_EQ(gdsPhysicalPortConfigurationData[1].iHandshake, 1);
  EXPECT_EQ(page_.m_iHandshake, 0);
  Click(page_, P::IDC_ACK_BUSY);
  EXPECT_EQ(gdsPhysicalPortConfigurationData[1].iHandshake, 0);
  EXPECT_EQ(gdsPhysicalPortConfigurationData[0].iHandshake, 1);  // P1 untouched
}

TEST_F(PhysicalPortPageTest, RefusedNamesKeepThePortOnShowAndStoreNothing) {
  struct Case {
    const char* what;
    std::string typed;
    int message;
  } cases[] = {
      {"empty", "", 32878},
      {"another port's name", "p2", 32879},
      {"the serial port's name", "SERIAL", 32879},
      {"parenthesis", "LPT(1)", 32879},
      {"trailing blank", "LPT ", 32879},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    UseModel(kModel2);
    ASSERT_TRUE(Open(page_));
    Retype(page_.m_editPortName, c.typed);
    Arrow(page_.m_cboPhysicalPort, Qt::Key_Down);
    EXPECT_EQ(NewMessages(), std::vector<int>{c.message});
    EXPECT_EQ(page_.m_cboPhysicalPort.GetCurSel(), 0);
    EXPECT_EQ(page_.GetDlgItemText(P::IDC_PORT_NAME), "");
    EXPECT_TRUE(Focused(page_, P::IDC_PORT_NAME));
    EXPECT_EQ(gdsPhysicalPortConfigurationData[0].szPortName, "P1");
    // The page store refuses the emptied name too, so the tab cannot be left with it.
    EXPECT_EQ(page_.StoreShownPort(), 0);
    EXPECT_EQ(NewMessages(), std::vector<int>{32878});
    // A good name then goes through, and the logical ports that followed the typing hold it.
    Retype(page_.m_editPortName, "LPT1");
    EXPECT_EQ(page_.StoreShownPort(), 1);
    EXPECT_EQ(gdsPhysicalPortConfigurationData[0].szPortName, "LPT1");
    EXPECT_EQ(LogicalTargets()[0], "LPT1");
    EXPECT_EQ(LogicalTargets()[1], "P2");
    page_.DestroyWindow();
  }
}

}  // namespace
}  // namespace page_test

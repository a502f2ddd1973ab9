// The tree/grid control: rows of cells, the current row, and a wrapper without a window.
#include <gtest/gtest.h>

#include <QTreeWidget>

#include "ui/dialog.h"
#include "ui/sft_tree.h"
#include "ui/test_support/gui_app.h"

namespace ui {
namespace {

const SftColumn kColumns[] = {{135, "Default Name"}, {188, "Device Name"}, {-1, "Printer Port"}};

class SftTreeTest : public ::testing::Test {
 protected:
  void SetUp() override { EnsureTestApplication(); }
};

TEST_F(SftTreeTest, CellsCurrentRowAndDeletion) {
  CWnd host;
  QWidget parent;
  host.Attach(&parent, 0, nullptr);
  CSftTree tree;
  ASSERT_TRUE(tree.Create(WS_CHILD, QRect(0, 0, 400, 200), &host, 104));
  EXPECT_FALSE(tree.Create(WS_CHILD, QRect(0, 0, 400, 200), &host, 104));  // one window only
  EXPECT_EQ(host.GetDlgItem(104), &tree);
  tree.SetColumns(3, kColumns);
  EXPECT_EQ(tree.GetCurSel(), -1);
  for (const char* n : {"PS-A", "PS-B", "PS-C"}) {
    int i = tree.AddItem(n);
    EXPECT_NE(tree.SetCellText(i, 1, std::string(n) + "-dev"), 0);
    EXPECT_NE(tree.SetCellText(i, 2, "P1"), 0);
  }
  EXPECT_EQ(tree.SetCellText(0, 3, "x"), 0);   // no such column
  EXPECT_EQ(tree.SetCellText(0, -1, "x"), 0);
  EXPECT_EQ(tree.GetCount(), 3);

  std::string s = "stale";
  struct {
    int item, column;
    const char* want;
  } cells[] = {{0, 0, "PS-A"}, {1, 1, "PS-B-dev"}, {2, 2, "P1"}, {1, 3, ""}, {7, 0, ""}, {-1, 0, ""}};
  for (auto& c : cells) {
    tree.GetCellText(c.item, c.column, s);
    EXPECT_EQ(s, c.want) << c.item << "," << c.column;
  }
  tree.GetItemText175(1, s);
  EXPECT_EQ(s, "PS-B\tPS-B-dev\tP1");

  tree.SetCurSel(1);
  EXPECT_EQ(tree.GetCurSel(), 1);
  tree.GetCurrentText(s);
  EXPECT_EQ(s, "PS-B");
  tree.GetCurrentCellText(1, s);
  EXPECT_EQ(s, "PS-B-dev");
  tree.DeleteItem(0);
  tree.DeleteItem(9);  // ignored
  EXPECT_EQ(tree.GetCount(), 2);
  EXPECT_EQ(tree.GetCurSel(), 0);  // the same row, one place up
  tree.GetItemText(0, s);
  EXPECT_EQ(s, "PS-B");
  tree.SetOption183(5);
  EXPECT_EQ(tree.GetOption182(), 5);
  tree.SetOption148("caption");
  tree.GetText150(s);
  EXPECT_EQ(s, "caption");
  tree.DeleteAllItems();
  EXPECT_EQ(tree.GetCount(), 0);
  EXPECT_EQ(tree.GetCurSel(), -1);
}

TEST_F(SftTreeTest, WrapperWithoutWindowAnswersAsEmpty) {
  CSftTree tree;
  EXPECT_EQ(tree.AddItem("x"), -1);
  EXPECT_EQ(tree.SetCellText(0, 0, "x"), 0);
  EXPECT_EQ(tree.GetCount(), 0);
  EXPECT_EQ(tree.GetCurSel(), -1);
  EXPECT_EQ(tree.GetOption182(), 0);
  tree.SetColumns(3, kColumns);
  tree.SetCurSel(0);
  tree.SetOption91(1);
  tree.DeleteItem(0);
  tree.DeleteAllItems();
  std::string s = "stale";
  for (auto get : std::initializer_list<std::function<void(std::string&)>>{
           [&](std::string& o) { tree.GetItemText(0, o); }, [&](std::string& o) { tree.GetCellText(0, 1, o); },
           [&](std::string& o) { tree.GetCurrentText(o); }, [&](std::string& o) { tree.GetCurrentCellText(1, o); },
           [&](std::string& o) { tree.GetText150(o); }, [&](std::string& o) { tree.GetItemText175(0, o); }}) {
    s = "stale";
    get(s);
    EXPECT_EQ(s, "");
  }
}

TEST_F(SftTreeTest, TemplateControlIsATreeFoundById) {
  DialogTemplate t{300, "Variables", "MS Sans Serif", 8, 200, 120, 0,
                   {{103, Kind::Tree, "", 0, 5, 5, 190, 100}}};
  CDialog d(t);
  ASSERT_TRUE(d.Create());
  auto* tree = dynamic_cast<CSftTree*>(d.GetDlgItem(103));
  ASSERT_NE(tree, nullptr);
  tree->SetColumns(2, kColumns);
  EXPECT_EQ(tree->AddItem("PJL"), 0);
  EXPECT_EQ(qobject_cast<QTreeWidget*>(tree->GetSafeHwnd())->topLevelItemCount(), 1);
}

}  // namespace
}  // namespace ui

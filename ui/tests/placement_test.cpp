// Where windows open: a dialog centred over its owner's frame (also when the owner is itself a
// modal dialog, or the program's current window for a dialog without one), on the screen without
// an owner or with a hidden one, always inside the work area; a dialog that places itself stays
// there; the wizard sheet and message boxes follow the same rule.
#include <gtest/gtest.h>

#include <QApplication>
#include <QGuiApplication>
#include <QScreen>
#include <optional>

#include "ui/dialog.h"
#include "ui/property_sheet.h"
#include "ui/services.h"
#include "ui/test_support/gui_app.h"

namespace ui {
namespace {

DialogTemplate BoxTemplate(int id = 150) {
  return {id, "Settings", "MS Sans Serif", 8, 200, 120, 0,
          {{1000, Kind::Edit, "", 0, 10, 10, 100, 12}, {IDOK, Kind::DefButton, "OK", 0, 140, 10, 50, 14}}};
}

QRect Area() { return QGuiApplication::primaryScreen()->availableGeometry(); }

// A top-level window of the program standing in for an owner, at a client rectangle.
struct OwnerWindow {
  explicit OwnerWindow(QRect client, bool visible = true) {
    widget.setWindowTitle("Owner");
    widget.setGeometry(client);
    if (visible) widget.show();
    wnd.Attach(&widget, 0, nullptr);
  }
  QWidget widget;
  CWnd wnd;
};

// Runs a dialog of `t` owned by `parent` and answers where its frame was once it showed.
QRect OpenedFrame(CWnd* parent, const DialogTemplate& t = BoxTemplate()) {
  CDialog dlg(t, parent);
  QRect frame;
  SetModalHook([&](CDialog& d) { frame = d.GetSafeHwnd()->frameGeometry(); });
  dlg.DoModal();
  SetModalHook({});
  return frame;
}

class PlacementTest : public ::testing::Test {
 protected:
  void SetUp() override { EnsureTestApplication(); }
  void TearDown() override {
    SetModalHook({});
    SetShownHook({});
    platform::SetMessageSink(nullptr);
  }
};

// Which edges of the work area a dialog that cannot be centred is pushed against.
enum Edge : unsigned { kNone = 0, kLeft = 1, kTop = 2, kRight = 4, kBottom = 8 };

struct OwnerCase {
  const char* what;
  QRect (*client)(QRect area);  // the owner's client rectangle, from the work area
  unsigned edges;               // kNone: the dialog's frame centre is the owner's
};

TEST_F(PlacementTest, DialogOpensCentredOverItsOwnerAndStaysOnScreen) {
  const OwnerCase cases[] = {
      {"owner in the middle, larger than the dialog",
       [](QRect a) { return QRect(a.center() - QPoint(250, 200), QSize(500, 400)); }, kNone},
      {"owner towards the top left", [](QRect a) { return QRect(a.topLeft() + QPoint(150, 140), QSize(420, 300)); },
       kNone},
      {"owner towards the bottom right",
       [](QRect a) { return QRect(a.bottomRight() - QPoint(560, 420), QSize(400, 300)); }, kNone},
      {"owner smaller than the dialog", [](QRect a) { return QRect(a.center() - QPoint(40, 20), QSize(80, 40)); },
       kNone},
      {"owner against the left and top edges", [](QRect a) { return QRect(a.topLeft() + QPoint(2, 30), QSize(90, 60)); },
       kLeft | kTop},
      {"owner against the right and bottom edges",
       [](QRect a) { return QRect(a.bottomRight() - QPoint(100, 80), QSize(90, 60)); }, kRight | kBottom},
      {"owner partly off the right of the screen",
       [](QRect a) { return QRect(a.right() - 60, a.center().y() - 100, 400, 200); }, kRight},
  };
  for (const OwnerCase& c : cases) {
    SCOPED_TRACE(c.what);
    OwnerWindow owner(c.client(Area()));
    const QRect ownerFrame = owner.widget.frameGeometry();
    const QRect frame = OpenedFrame(&owner.wnd);
    ASSERT_FALSE(frame.isEmpty());
    EXPECT_TRUE(Area().contains(frame)) << "dialog frame off the work area";
    if (c.edges == kNone) {
      EXPECT_EQ(frame.center(), ownerFrame.center());
      continue;
    }
    // Pushed only as far as the screen demands: against the named edges, and still centred on
    // the owner along an axis that needed no push.
    const int x = c.edges & kLeft ? Area().left() : c.edges & kRight ? Area().right() - frame.width() + 1
                                                                    : ownerFrame.center().x() - frame.width() / 2;
    const int y = c.edges & kTop ? Area().top() : c.edges & kBottom ? Area().bottom() - frame.height() + 1
                                                                   : ownerFrame.center().y() - frame.height() / 2;
    if (c.edges & (kLeft | kRight)) EXPECT_EQ(frame.left(), x);
    else EXPECT_EQ(frame.center().x(), ownerFrame.center().x());
    if (c.edges & (kTop | kBottom)) EXPECT_EQ(frame.top(), y);
    else EXPECT_EQ(frame.center().y(), ownerFrame.center().y());
  }
}

TEST_F(PlacementTest, WithoutAVisibleOwnerTheDialogOpensCentredOnTheScreen) {
  EXPECT_EQ(OpenedFrame(nullptr).center(), Area().center());
  OwnerWindow hidden(QRect(Area().topLeft() + QPoint(20, 40), QSize(200, 150)), false);
  EXPECT_EQ(OpenedFrame(&hidden.wnd).center(), Area().center());
  OwnerWindow minimised(QRect(Area().topLeft() + QPoint(20, 40), QSize(200, 150)));
  minimised.widget.showMinimized();
  EXPECT_EQ(OpenedFrame(&minimised.wnd).center(), Area().center());
  // A parent whose window was never created is no owner either.
  CWnd uncreated;
  EXPECT_EQ(OpenedFrame(&uncreated).center(), Area().center());
}

TEST_F(PlacementTest, DialogOwnedByAModalDialogOpensOverIt) {
  OwnerWindow frameWindow(QRect(Area().topLeft() + QPoint(30, 40), QSize(300, 240)));
  CDialog status(BoxTemplate(151), &frameWindow.wnd);
  QRect statusFrame, ownedFrame, unownedFrame;
  SetModalHook([&](CDialog& d) {
    if (d.Template().id == 151) {
      statusFrame = d.GetSafeHwnd()->frameGeometry();
      // Moved by the user before opening the next one: the next opens where the owner is now.
      d.GetSafeHwnd()->move(Area().topLeft() + QPoint(200, 150));
      statusFrame = d.GetSafeHwnd()->frameGeometry();
      CDialog owned(BoxTemplate(152), &d);
      owned.DoModal();
      // Opened without a parent while this one runs: the framework's owner is the running dialog.
      CDialog unowned(BoxTemplate(153));
      unowned.DoModal();
      return;
    }
    if (d.Template().id == 152) ownedFrame = d.GetSafeHwnd()->frameGeometry();
    if (d.Template().id == 153) unownedFrame = d.GetSafeHwnd()->frameGeometry();
  });
  status.DoModal();
  ASSERT_FALSE(ownedFrame.isEmpty());
  EXPECT_EQ(ownedFrame.center(), statusFrame.center());
  EXPECT_EQ(unownedFrame.center(), statusFrame.center());
}

// A dialog that moves its own window when it starts keeps that place, and a modeless dialog
// shown again keeps where it was.
class SelfPlacedDlg : public CDialog {
 public:
  explicit SelfPlacedDlg(CWnd* parent) : CDialog(BoxTemplate(154), parent) {}
  BOOL OnInitDialog() override {
    GetSafeHwnd()->move(Area().topLeft() + QPoint(10, 10));
    return 1;
  }
};

TEST_F(PlacementTest, ADialogThatPlacesItselfKeepsItsPlace) {
  OwnerWindow owner(QRect(Area().center() - QPoint(150, 100), QSize(300, 200)));
  SelfPlacedDlg dlg(&owner.wnd);
  QPoint at;
  SetModalHook([&](CDialog& d) { at = d.GetSafeHwnd()->pos(); });
  dlg.DoModal();
  EXPECT_EQ(at, Area().topLeft() + QPoint(10, 10));

  DialogTemplate t = BoxTemplate(155);
  t.style = WS_VISIBLE;
  CDialog modeless(t, &owner.wnd);
  ASSERT_TRUE(modeless.Create());
  EXPECT_EQ(modeless.GetSafeHwnd()->frameGeometry().center(), owner.widget.frameGeometry().center());
  modeless.GetSafeHwnd()->move(Area().topLeft() + QPoint(5, 50));
  modeless.ShowWindow(SW_HIDE);
  modeless.ShowWindow(SW_SHOW);
  EXPECT_EQ(modeless.GetSafeHwnd()->pos(), Area().topLeft() + QPoint(5, 50));
  modeless.DestroyWindow();
}

class Page : public CPropertyPage {
 public:
  explicit Page(int id) : CPropertyPage({id, "", "MS Sans Serif", 8, 220, 130, 0, {}}) {}
};

TEST_F(PlacementTest, WizardSheetOpensCentredOverItsOwnerOrTheScreen) {
  OwnerWindow owner(QRect(Area().topLeft() + QPoint(60, 50), QSize(640, 480)), false);
  for (CWnd* parent : {static_cast<CWnd*>(nullptr), &owner.wnd}) {
    SCOPED_TRACE(parent ? "owned" : "no owner");
    owner.widget.setVisible(parent != nullptr);
    Page first(201), second(202);
    CPropertySheet sheet("Setup", parent);
    sheet.AddPage(&first);
    sheet.AddPage(&second);
    QRect frame;
    SetModalHook([&](CDialog& d) { frame = d.GetSafeHwnd()->frameGeometry(); });
    sheet.DoModal();
    EXPECT_EQ(frame.center(), (parent ? owner.widget.frameGeometry() : Area()).center());
  }
}

TEST_F(PlacementTest, MessageBoxOpensOverTheRunningDialog) {
  QtMessageSink sink;
  OwnerWindow owner(QRect(Area().topLeft() + QPoint(40, 60), QSize(200, 150)));
  CDialog dlg(BoxTemplate(156), &owner.wnd);
  QRect dialogFrame, boxFrame;
  QString boxText;
  SetModalHook([&](CDialog& d) {
    d.GetSafeHwnd()->move(Area().topLeft() + QPoint(250, 200));
    dialogFrame = d.GetSafeHwnd()->frameGeometry();
    ui::CloseNextMessageBox(&boxFrame, &boxText);
    sink.Show(0, "The printer is not on line.", platform::MB_OK | platform::MB_ICONERROR);
  });
  dlg.DoModal();
  EXPECT_EQ(boxText, "The printer is not on line.");
  ASSERT_FALSE(boxFrame.isEmpty());
  EXPECT_EQ(boxFrame.center(), dialogFrame.center());
  EXPECT_TRUE(Area().contains(boxFrame));
}

}  // namespace
}  // namespace ui

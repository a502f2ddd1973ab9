// Dialog life cycle, data exchange, the modal hook and the replaceable services.
#include <gtest/gtest.h>

#include <QAction>
#include <QByteArray>
#include <QFileInfo>
#include <QImage>
#include <QLineEdit>
#include <QMainWindow>
#include <QTemporaryDir>
#include <QTest>

#include "ui/frame.h"
#include "ui/internal.h"
#include "ui/services.h"
#include "ui/test_support/gui_app.h"

namespace ui {
namespace {

enum : int { kName = 1000, kPort = 1001, kBrowse = 1002, kOn = 1003 };

DialogTemplate NameTemplate() {
  return {130, "Quick", "MS Sans Serif", 8, 200, 80, 0,
          {{kName, Kind::Edit, "", 0, 10, 10, 100, 12},
           {kPort, Kind::Edit, "", 0, 10, 26, 40, 12},
           {kOn, Kind::CheckBox, "On", 0, 10, 42, 40, 10},
           {kBrowse, Kind::Button, "Browse", 0, 120, 42, 60, 14},
           {IDOK, Kind::DefButton, "OK", 0, 140, 10, 50, 14},
           {IDCANCEL, Kind::Button, "Cancel", 0, 140, 26, 50, 14}}};
}

class NameDlg : public CDialog {
 public:
  NameDlg() : CDialog(NameTemplate()) { OnCommand(kBrowse, BN_CLICKED, &NameDlg::OnBrowse); }
  std::string name = "BOX-1";
  int port = 9100;
  int on = 1;
  CEdit nameEdit;
  int browsed = 0, ticks = 0;
  bool endInInit = false;
  std::vector<int> order;
  void DoDataExchange(bool save) override {
    DDX_Control(kName, nameEdit);
    DDX_Text(save, kName, name);
    DDX_Text(save, kPort, port);
    DDX_Check(save, kOn, on);
  }
  BOOL OnInitDialog() override {
    order.push_back(1);
    nameEdit.LimitText(5);
    if (endInInit) EndDialog(42);
    return 1;
  }
  void OnBrowse() { ++browsed; }
  void OnTimer(UINT id) override { ticks += static_cast<int>(id); }
};

class DialogTest : public ::testing::Test {
 protected:
  void SetUp() override { EnsureTestApplication(); }
  void TearDown() override {
    SetModalHook({});
    SetTimerService(nullptr);
    platform::SetMessageSink(nullptr);
  }
};

TEST_F(DialogTest, ModalEndsWithTheHooksChoiceAndExchangesData) {
  struct Case {
    const char* what;
    std::function<void(NameDlg&)> act;
    std::intptr_t result;
    std::string name;
  } cases[] = {
      {"OK button saves", [](NameDlg& d) {
         d.nameEdit.SetWindowText("NEW");
         QTest::mouseClick(d.GetDlgItem(IDOK)->GetSafeHwnd(), Qt::LeftButton);
       }, IDOK, "NEW"},
      {"Enter in an edit is OK", [](NameDlg& d) {
         d.nameEdit.SetWindowText("ENTER");
         QTest::keyClick(d.nameEdit.GetSafeHwnd(), Qt::Key_Return);
       }, IDOK, "ENTER"},
      {"Esc cancels and keeps members", [](NameDlg& d) {
         d.nameEdit.SetWindowText("LOST");
         QTest::keyClick(d.nameEdit.GetSafeHwnd(), Qt::Key_Escape);
       }, IDCANCEL, "BOX-1"},
      {"a hook that ends nothing cancels", [](NameDlg&) {}, IDCANCEL, "BOX-1"},
      {"close box cancels", [](NameDlg& d) { d.GetSafeHwnd()->close(); }, IDCANCEL, "BOX-1"},
  };
  for (auto& c : cases) {
    NameDlg d;
    bool sawInit = false;
    SetModalHook([&](CDialog& dlg) {
      sawInit = d.order.size() == 1 && dlg.GetDlgItemText(kName) == "BOX-1" &&
                dlg.GetDlgItemText(kPort) == "9100" && dlg.IsDlgButtonChecked(kOn) == BST_CHECKED;
      c.act(d);
    });
    EXPECT_EQ(d.DoModal(), c.result) << c.what;
    EXPECT_TRUE(sawInit) << c.what;
    EXPECT_EQ(d.name, c.name) << c.what;
    EXPECT_EQ(d.nameEdit.GetSafeHwnd(), nullptr) << c.what;  // window gone, wrapper answers empty
    EXPECT_EQ(d.nameEdit.GetWindowText(), "") << c.what;
  }
}

TEST_F(DialogTest, HandlersTimersAndEndInInit) {
  ManualTimerService timers;
  SetTimerService(&timers);
  NameDlg d;
  SetModalHook([&](CDialog&) {
    QTest::mouseClick(d.GetDlgItem(kBrowse)->GetSafeHwnd(), Qt::LeftButton);
    d.SetTimer(7, 1000);
    EXPECT_EQ(timers.Interval(&d, 7), 1000u);
    EXPECT_TRUE(timers.Fire(&d, 7));
    d.KillTimer(7);
    EXPECT_FALSE(timers.Fire(&d, 7));
    d.SetTimer(3, 10);  // left set: ending the dialog must stop it
    QTest::keyClicks(d.nameEdit.GetSafeHwnd(), "ABCDEFG");
    d.EndDialog(IDOK);
  });
  EXPECT_EQ(d.DoModal(), IDOK);
  EXPECT_EQ(d.browsed, 1);
  EXPECT_EQ(d.ticks, 7);
  EXPECT_FALSE(timers.IsSet(&d, 3));
  EXPECT_EQ(d.name, "BOX-1");  // EndDialog does not save; only OnOK does

  NameDlg early;
  early.endInInit = true;
  bool hookRan = false;
  SetModalHook([&](CDialog&) { hookRan = true; });
  EXPECT_EQ(early.DoModal(), 42);
  EXPECT_FALSE(hookRan);
}

TEST_F(DialogTest, MessageSinkWaitCursorAndScreenshot) {
  platform::RegisterString(61000, "Device not found");
  ScriptedMessageSink sink({IDYES});
  platform::SetMessageSink(&sink);
  EXPECT_EQ(platform::MessageBoxById(61000, platform::MB_YESNO), IDYES);
  EXPECT_EQ(platform::MessageBoxById(61000, platform::MB_YESNO), IDNO);  // script ran out
  EXPECT_EQ(sink.ids(), (std::vector<int>{61000, 61000}));
  EXPECT_EQ(sink.shown()[0].text, "Device not found");

  EXPECT_EQ(WaitCursorDepth(), 0);
  {
    CWaitCursor outer;
    {
      CWaitCursor inner;
      EXPECT_EQ(WaitCursorDepth(), 2);
    }
    outer.Restore();
    EXPECT_EQ(WaitCursorDepth(), 0);
  }
  EXPECT_EQ(WaitCursorDepth(), 0);  // Restore then destruction counts once

  for (int id : {128, 130, 135}) EXPECT_FALSE(LoadPicture(id).isNull()) << id;
  EXPECT_TRUE(LoadPicture(999).isNull());

  QTemporaryDir dir;
  NameDlg d;
  ASSERT_TRUE(d.Create());
  d.ShowWindow(SW_SHOW);
  QString png = dir.filePath("dlg.png");
  ASSERT_TRUE(SaveScreenshot(d, png));
  QImage img(png);
  EXPECT_EQ(img.size(), d.GetSafeHwnd()->size() * d.GetSafeHwnd()->devicePixelRatio());
  d.DestroyWindow();
  EXPECT_FALSE(SaveScreenshot(d, png));
}

// $PSA_UI_SCREENSHOT is "templateId:path[:delayMs]": the template id is read the same way for the
// property sheet's page choice and for the dialogs' own pictures.
TEST_F(DialogTest, ScreenshotVariableNamesOneTemplate) {
  const QByteArray saved = qgetenv("PSA_UI_SCREENSHOT");
  const bool wasSet = qEnvironmentVariableIsSet("PSA_UI_SCREENSHOT");
  QTemporaryDir dir;
  const QString first = dir.filePath("first.png"), second = dir.filePath("second.png");
  struct Case {
    const char* spec;  // nullptr: unset
    int id;
  };
  const Case cases[] = {
      {nullptr, 0}, {"", 0}, {"130", 0}, {"130:", 130}, {"130:/tmp/x.png", 130},
      {"130:/tmp/x.png:0", 130}, {"x130:/tmp/x.png", 0}, {"-7:/tmp/x.png:9:extra", -7},
  };
  for (const Case& c : cases) {
    if (c.spec == nullptr) {
      qunsetenv("PSA_UI_SCREENSHOT");
    } else {
      qputenv("PSA_UI_SCREENSHOT", c.spec);
    }
    EXPECT_EQ(ScreenshotTemplateId(), c.id) << (c.spec ? c.spec : "(unset)");
  }

  QWidget w;
  w.resize(120, 60);
  w.show();
  // Another id, or none, takes no picture; zero-delay timers run in the order they were set, so
  // a wrong picture would be on disk before the right one.
  qputenv("PSA_UI_SCREENSHOT", ("130:" + first + ":0").toUtf8());
  MaybeScreenshot(131, &w);
  MaybeScreenshot(0, &w);
  qputenv("PSA_UI_SCREENSHOT", ("130:" + second + ":0").toUtf8());
  MaybeScreenshot(130, &w);
  EXPECT_TRUE(QTest::qWaitFor([&] { return QFileInfo::exists(second); }, 10000));
  EXPECT_FALSE(QFileInfo::exists(first));

  if (wasSet) {
    qputenv("PSA_UI_SCREENSHOT", saved);
  } else {
    qunsetenv("PSA_UI_SCREENSHOT");
  }
}

class ShellFrame : public CFrameWnd {
 public:
  ShellFrame() {
    OnCommand(10, &ShellFrame::OnSave);
    OnUpdateCommand(10, [this](CCmdUI& ui) { ui.Enable(canSave); });
  }
  void OnSave() { ++saved; }
  void PreCreateWindow(QRect& rect) override { rect = QRect(10, 20, 300, 200); }
  void OnClose() override { ++closes; }
  int closes = 0;
  bool canSave = false;
  int saved = 0;
};

TEST_F(DialogTest, FrameMenusFollowUpdateHandlersAndFormViewHostsTemplate) {
  ShellFrame f;
  ASSERT_TRUE(f.LoadFrame("Console", {{0, "&File", {{10, "&Save"}, {}, {11, "E&xit"}}}}, {{"Ctrl+S", 10}}));
  EXPECT_FALSE(f.IsWindowVisible());  // frames start hidden
  EXPECT_EQ(f.GetSafeHwnd()->size(), QSize(300, 200));
  f.ShowWindow(SW_SHOW);
  f.GetSafeHwnd()->close();
  EXPECT_EQ(f.closes, 1);
  EXPECT_TRUE(f.IsWindowVisible());  // the handler decides; this one keeps the frame
  QAction* save = f.GetMenu()->Action(10);
  ASSERT_NE(save, nullptr);
  EXPECT_FALSE(save->isEnabled());
  f.canSave = true;
  f.UpdateCommands();
  EXPECT_TRUE(save->isEnabled());
  EXPECT_TRUE(f.OnCmdMsg(10));
  EXPECT_FALSE(f.OnCmdMsg(11));  // no handler
  EXPECT_EQ(f.saved, 1);
  EXPECT_EQ(f.GetMenu()->EnableMenuItem(10, MF_GRAYED), MF_ENABLED);

  class View : public CFormView {
   public:
    View() : CFormView(NameTemplate()) {}
    int updates = 0;
    void OnInitialUpdate() override { ++updates; }
  } view;
  ASSERT_TRUE(view.CreateView(f));
  EXPECT_EQ(view.updates, 1);
  EXPECT_EQ(f.Frame()->centralWidget(), view.GetSafeHwnd());
  view.SetDlgItemText(kName, "PS-1");
  EXPECT_EQ(view.GetDlgItemText(kName), "PS-1");
}

// A child dialog inside another window: it lives in the host's window, its keys reach
// PreTranslateMessage first (press and release), and Tab and Shift+Tab wrap within it, passing
// over disabled controls.
class ChildDlg : public CDialog {
 public:
  ChildDlg()
      : CDialog({140, "", "MS Sans Serif", 8, 150, 60, WS_CHILD,
                 {{kName, Kind::Edit, "", WS_TABSTOP, 5, 5, 60, 12},
                  {kPort, Kind::Edit, "", WS_TABSTOP, 5, 20, 60, 12},
                  {kOn, Kind::CheckBox, "On", WS_TABSTOP | WS_DISABLED, 5, 35, 40, 10},
                  {kBrowse, Kind::Button, "Browse", WS_TABSTOP, 70, 5, 50, 14}}}) {}
  std::vector<std::pair<UINT, unsigned>> seen;
  bool swallowEscape = true;
  BOOL KeepsShortcutKey(const MSG& msg) override { return msg.wParam == VK_ESCAPE; }
  BOOL PreTranslateMessage(MSG* pMsg) override {
    seen.emplace_back(pMsg->message, pMsg->wParam);
    if (swallowEscape && pMsg->wParam == VK_ESCAPE) return TRUE;
    return CDialog::PreTranslateMessage(pMsg);
  }
};

TEST_F(DialogTest, ChildDialogSeesItsKeysFirstAndKeepsTabInside) {
  QMainWindow host;
  auto* area = new QWidget(&host);
  host.setCentralWidget(area);
  auto* outside = new QLineEdit(area);
  CWnd hostWnd;
  hostWnd.Attach(area, 0, nullptr);
  ChildDlg child;
  ASSERT_TRUE(child.Create(&hostWnd));
  EXPECT_EQ(child.GetSafeHwnd()->window(), &host);
  child.ShowWindow(SW_SHOW);
  host.show();
  QWidget* name = child.GetDlgItem(kName)->GetSafeHwnd();
  QWidget* port = child.GetDlgItem(kPort)->GetSafeHwnd();
  QWidget* browse = child.GetDlgItem(kBrowse)->GetSafeHwnd();
  auto focus = [&host] { return host.focusWidget(); };
  auto key = [&](Qt::Key k, Qt::KeyboardModifiers mods = Qt::NoModifier) {
    QTest::keyPress(focus(), k, mods);
    QTest::keyRelease(focus(), k, mods);
  };
  name->setFocus();
  key(Qt::Key_Tab);
  EXPECT_EQ(focus(), port);
  key(Qt::Key_Tab);
  EXPECT_EQ(focus(), browse);  // the disabled check box is passed over
  key(Qt::Key_Tab);
  EXPECT_EQ(focus(), name);  // wraps, never to the host's own edit
  key(Qt::Key_Backtab, Qt::ShiftModifier);
  EXPECT_EQ(focus(), browse);
  EXPECT_NE(focus(), outside);

  child.seen.clear();
  name->setFocus();
  key(Qt::Key_Escape);
  const std::vector<std::pair<UINT, unsigned>> escaped = {{WM_KEYDOWN, VK_ESCAPE}, {WM_KEYUP, VK_ESCAPE}};
  EXPECT_EQ(child.seen, escaped);
  EXPECT_TRUE(child.GetSafeHwnd()->isVisible());
  // The window's own shortcut on Esc runs from outside the child only.
  QAction escape(&host);
  escape.setShortcut(QKeySequence(Qt::Key_Escape));
  escape.setShortcutContext(Qt::WindowShortcut);
  host.addAction(&escape);
  int escapes = 0;
  QObject::connect(&escape, &QAction::triggered, [&escapes] { ++escapes; });
  host.activateWindow();
  if (QTest::qWaitForWindowActive(&host)) {
    name->setFocus();
    key(Qt::Key_Escape);
    EXPECT_EQ(escapes, 0);
    outside->setFocus();
    key(Qt::Key_Escape);
    EXPECT_EQ(escapes, 1);
  }
  // Typing still reaches the edit.
  QTest::keyClicks(name, "ab");
  EXPECT_EQ(child.GetDlgItemText(kName), "ab");
  child.DestroyWindow();
}

}  // namespace
}  // namespace ui

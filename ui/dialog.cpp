#include "ui/dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QEventLoop>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QGroupBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QShowEvent>
#include <QStandardItemModel>
#include <QProxyStyle>
#include <QTabBar>
#include <QTimer>
#include <QTreeView>
#include <algorithm>
#include <cstdlib>

#include "ui/internal.h"
#include "ui/services.h"
#include "ui/sft_tree.h"
#include "ui/tree_ctrl.h"

namespace ui {
namespace {

std::function<void(CDialog&)>& ModalHook() {
  static std::function<void(CDialog&)> hook;
  return hook;
}
std::function<void(CDialog&)>& ShownHook() {
  static std::function<void(CDialog&)> hook;
  return hook;
}

QFont DialogFont(const DialogTemplate& t) {
  QFont f = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
  f.setPointSize(t.pointSize > 0 ? t.pointSize : 8);
  return f;
}

// Hands every key press and release inside a dialog to its PreTranslateMessage first.
class KeyFilter : public QObject {
 public:
  explicit KeyFilter(CDialog* owner, QObject* parent) : QObject(parent), owner_(owner) {}
  void Detach() { owner_ = nullptr; }

 protected:
  bool eventFilter(QObject* watched, QEvent* e) override {
    const bool shortcut = e->type() == QEvent::ShortcutOverride;
    if (!owner_ || (!shortcut && e->type() != QEvent::KeyPress && e->type() != QEvent::KeyRelease)) {
      return QObject::eventFilter(watched, e);
    }
    auto* k = static_cast<QKeyEvent*>(e);
    MSG msg;
    msg.message = e->type() == QEvent::KeyRelease ? WM_KEYUP : WM_KEYDOWN;
    msg.wParam = VirtualKey(k->key());
    msg.shift = (k->modifiers() & Qt::ShiftModifier) != 0 || k->key() == Qt::Key_Backtab;
    if (shortcut) {
      // An accepted override sends the key on as a key press instead of running the shortcut.
      if (owner_->KeepsShortcutKey(msg) == 0) return QObject::eventFilter(watched, e);
      e->accept();
      return true;
    }
    return owner_->PreTranslateMessage(&msg) != 0;
  }

 private:
  static unsigned VirtualKey(int key) {
    switch (key) {
      case Qt::Key_Tab:
      case Qt::Key_Backtab: return VK_TAB;
      case Qt::Key_Return:
      case Qt::Key_Enter: return VK_RETURN;
      case Qt::Key_Control: return VK_CONTROL;
      case Qt::Key_Escape: return VK_ESCAPE;
      default: break;
    }
    if ((key >= Qt::Key_0 && key <= Qt::Key_9) || (key >= Qt::Key_A && key <= Qt::Key_Z)) {
      return static_cast<unsigned>(key);
    }
    return 0;
  }
  CDialog* owner_;
};

// The controls of `dialog` that take the focus by Tab, in tab order.
std::vector<QWidget*> TabStops(QWidget* dialog) {
  std::vector<QWidget*> stops;
  for (QWidget* w = dialog->nextInFocusChain(); w && w != dialog; w = w->nextInFocusChain()) {
    if (!dialog->isAncestorOf(w) || !(w->focusPolicy() & Qt::TabFocus)) continue;
    if (!w->isEnabled() || !w->isVisibleTo(dialog) || w->focusProxy()) continue;
    if (std::find(stops.begin(), stops.end(), w) != stops.end()) break;
    stops.push_back(w);
  }
  return stops;
}

// The top-level widget of a dialog: Enter, Esc and the close box become the dialog's commands.
class DialogWidget : public QDialog {
 public:
  DialogWidget(CDialog* owner, QWidget* parent) : QDialog(parent), owner_(owner) {}
  void Detach() {
    owner_ = nullptr;
    if (filter_) filter_->Detach();
  }
  // Every control (and the dialog itself) reports its keys to the owner's PreTranslateMessage.
  void WatchKeys() {
    if (!filter_) filter_ = new KeyFilter(owner_, this);
    installEventFilter(filter_);
    for (QWidget* w : findChildren<QWidget*>()) {
      // An editable combo box's own edit reports through the combo box.
      if (w->focusPolicy() != Qt::NoFocus && !qobject_cast<QComboBox*>(w->parentWidget())) {
        w->installEventFilter(filter_);
      }
    }
  }

 protected:
  void keyPressEvent(QKeyEvent* e) override {
    if (!owner_) return QDialog::keyPressEvent(e);
    if (e->key() == Qt::Key_Escape) {
      owner_->Notify(IDCANCEL, BN_CLICKED, nullptr);
      return;
    }
    if (e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter) {
      if (auto* b = qobject_cast<QPushButton*>(focusWidget())) {
        b->click();
        return;
      }
      for (auto* b : findChildren<QPushButton*>()) {
        if (b->isDefault() && b->isEnabled()) {
          b->click();
          return;
        }
      }
      owner_->Notify(IDOK, BN_CLICKED, nullptr);
      return;
    }
    QDialog::keyPressEvent(e);
  }
  void closeEvent(QCloseEvent* e) override {
    e->ignore();
    if (owner_) owner_->Notify(IDCANCEL, BN_CLICKED, nullptr);
  }
  // The first time a dialog window shows it opens centred over its owner (the window of its
  // parent, or the program's current window when it has none), unless its code placed it; later
  // shows keep the place it has.
  void showEvent(QShowEvent* e) override {
    if (isWindow() && !e->spontaneous() && !placed_) {
      placed_ = true;
      if (!testAttribute(Qt::WA_Moved)) CentreOverOwner(this, parentWidget() ? parentWidget() : CurrentOwner(this));
    }
    QDialog::showEvent(e);
  }

 private:
  CDialog* owner_;
  KeyFilter* filter_ = nullptr;
  bool placed_ = false;
};

void MaybeScreenshot(CDialog& dlg) { ui::MaybeScreenshot(dlg.Template().id, dlg.GetSafeHwnd()); }

CWnd* NewWrapper(Kind k) {
  switch (k) {
    case Kind::Picture:
    case Kind::Static: return new CStatic;
    case Kind::GroupBox:
    case Kind::Button:
    case Kind::DefButton:
    case Kind::CheckBox:
    case Kind::Radio: return new CButton;
    case Kind::Edit: return new CEdit;
    case Kind::DropList:
    case Kind::DropDown: return new CComboBox;
    case Kind::ListView: return new CListCtrl;
    case Kind::Tab: return new CTabCtrl;
    case Kind::Tree: return new CSftTree;
    case Kind::TreeView: return new CTreeCtrl;
    case Kind::ListBox: return new CListBox;
    case Kind::UpDown: return new CSpinButtonCtrl;
    case Kind::Progress: return new CProgressCtrl;
  }
  return new CWnd;
}

// The application's style with the tab padding of the common control: Qt's styles leave about
// twice as much room beside a tab's text.
class NarrowTabStyle : public QProxyStyle {
 public:
  int pixelMetric(PixelMetric metric, const QStyleOption* option, const QWidget* widget) const override {
    if (metric == PM_TabBarTabHSpace) return QProxyStyle::pixelMetric(metric, option, widget) / 2;
    return QProxyStyle::pixelMetric(metric, option, widget);
  }
};

QWidget* NewWidget(const ControlTemplate& c, QSize size, QWidget* parent) {
  QString text = QString::fromStdString(c.text);
  switch (c.kind) {
    case Kind::Static: {
      auto* l = new QLabel(text, parent);
      l->setWordWrap(true);
      l->setAlignment(Qt::AlignLeft | Qt::AlignTop);
      return l;
    }
    case Kind::Picture: {
      auto* l = new QLabel(parent);
      l->setAlignment(Qt::AlignCenter);
      l->setPixmap(PicturePixmap(text.toInt(), size));
      return l;
    }
    case Kind::GroupBox: return new QGroupBox(text, parent);
    case Kind::Button:
    case Kind::DefButton: {
      auto* b = new QPushButton(text, parent);
      b->setAutoDefault(false);
      b->setDefault(c.kind == Kind::DefButton);
      return b;
    }
    case Kind::CheckBox: return new QCheckBox(text, parent);
    case Kind::Radio: {
      auto* r = new QRadioButton(text, parent);
      r->setAutoExclusive(false);  // groups follow the template (see BuildControls)
      return r;
    }
    case Kind::Edit: {
      if (c.style & ES_MULTILINE) {
        auto* m = new QPlainTextEdit(parent);
        m->setReadOnly((c.style & ES_READONLY) != 0);
        m->setLineWrapMode(QPlainTextEdit::NoWrap);
        m->setPlainText(text);
        return m;
      }
      auto* e = new QLineEdit(parent);
      if (c.style & ES_PASSWORD) e->setEchoMode(QLineEdit::Password);
      if (c.style & ES_READONLY) e->setReadOnly(true);
      e->setProperty("psaUpper", (c.style & ES_UPPERCASE) != 0);
      e->setText(text);
      return e;
    }
    case Kind::DropList:
    case Kind::DropDown: {
      auto* w = NewComboWidget(parent);
      auto* b = static_cast<QComboBox*>(w);
      if (c.kind == Kind::DropDown) {
        b->setEditable(true);
        b->setInsertPolicy(QComboBox::NoInsert);
      }
      return b;
    }
    case Kind::ListView: {
      QAbstractItemView* v;
      if (c.style & LVS_REPORT) {
        auto* t = new QTreeView(parent);
        t->setRootIsDecorated(false);
        t->setUniformRowHeights(true);
        t->setItemsExpandable(false);
        v = t;
      } else {
        auto* l = new QListView(parent);
        l->setViewMode(QListView::IconMode);
        l->setResizeMode(QListView::Adjust);
        l->setMovement(QListView::Static);
        l->setWordWrap(true);
        l->setGridSize(QSize(84, 60));
        v = l;
      }
      v->setModel(new QStandardItemModel(v));
      v->setEditTriggers(QAbstractItemView::NoEditTriggers);
      return v;
    }
    case Kind::Tab: {
      auto* t = new QTabBar(parent);
      t->setExpanding(false);
      t->setDrawBase(true);
      // Tabs as narrow as the common control draws them, so a row of seven fits the width the
      // templates give it without scroll arrows.
      auto* style = new NarrowTabStyle;
      style->setParent(t);
      t->setStyle(style);
      return t;
    }
    case Kind::Tree: return NewSftTreeWidget(parent);
    case Kind::TreeView: return NewTreeViewWidget(parent);
    case Kind::ListBox: return NewListBoxWidget(parent);
    case Kind::UpDown: return NewUpDownWidget(parent);
    case Kind::Progress: {
      auto* p = new QProgressBar(parent);
      p->setRange(0, 100);
      p->setValue(0);
      p->setTextVisible(false);
      return p;
    }
  }
  return new QWidget(parent);
}

void ConnectWrapper(CWnd& w, const ControlTemplate& c) {
  QWidget* widget = w.GetSafeHwnd();
  if (auto* e = dynamic_cast<CEdit*>(&w)) e->Connect();
  else if (auto* b = dynamic_cast<CComboBox*>(&w)) b->Connect();
  else if (auto* l = dynamic_cast<CListCtrl*>(&w)) l->Connect(c.style);
  else if (auto* t = dynamic_cast<CTabCtrl*>(&w)) t->Connect();
  else if (auto* v = dynamic_cast<CTreeCtrl*>(&w)) v->Connect();
  else if (auto* lb = dynamic_cast<CListBox*>(&w)) lb->Connect();
  else if (auto* ud = dynamic_cast<CSpinButtonCtrl*>(&w)) ud->Connect(c.style);
  if (auto* b = qobject_cast<QAbstractButton*>(widget)) {
    int id = c.id;
    bool radio = c.kind == Kind::Radio;
    QObject::connect(b, &QAbstractButton::clicked, b, [&w, b, id, radio] {
      if (radio) {
        // An automatic radio button checks itself and clears the others of its group.
        QVariant group = b->property("psaGroup");
        for (auto* other : b->parentWidget()->findChildren<QRadioButton*>(Qt::FindDirectChildrenOnly))
          if (other != b && other->property("psaGroup") == group) other->setChecked(false);
        b->setChecked(true);
      }
      w.Notify(id, BN_CLICKED, nullptr);
    });
  }
}

// $PSA_UI_SCREENSHOT is "templateId:path[:delayMs]"; the screenshot tool sets it for the program it
// runs. The template id is 0 when the variable is unset or has no path part.
struct ScreenshotRequest {
  int templateId = 0;
  QString path;
  int delayMs = 500;
};

ScreenshotRequest ReadScreenshotRequest() {
  ScreenshotRequest request;
  const char* spec = std::getenv("PSA_UI_SCREENSHOT");
  if (!spec) return request;
  QStringList parts = QString::fromUtf8(spec).split(':');
  if (parts.size() < 2) return request;
  request.templateId = parts[0].toInt();
  request.path = parts[1];
  if (parts.size() > 2) request.delayMs = parts[2].toInt();
  return request;
}

}  // namespace

int ScreenshotTemplateId() { return ReadScreenshotRequest().templateId; }

void MaybeScreenshot(int templateId, QWidget* widget) {
  const ScreenshotRequest request = ReadScreenshotRequest();
  if (templateId == 0 || request.templateId != templateId) return;
  QPointer<QWidget> w = widget;
  QTimer::singleShot(request.delayMs, w, [w, path = request.path] {
    if (w) SaveScreenshot(w, path);
  });
}

QSize DialogUnitsToPixels(const DialogTemplate& t, int cx, int cy) {
  QFontMetrics fm(DialogFont(t));
  const QString sample = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
  int avg = (fm.horizontalAdvance(sample) / 26 + 1) / 2;
  if (avg <= 0) avg = 6;
  int h = fm.height() > 0 ? fm.height() : 13;
  return {cx * avg / 4, cy * h / 8};
}

void BuildControls(const DialogTemplate& t, QWidget* parent, CDialog& owner) {
  parent->setFont(DialogFont(t));
  QWidget* prevFocus = nullptr;
  QLabel* mnemonic = nullptr;
  int group = 0;
  for (const ControlTemplate& c : t.controls) {
    QSize pos = DialogUnitsToPixels(t, c.x, c.y);
    QSize size = DialogUnitsToPixels(t, c.cx, c.cy);
    QWidget* w = NewWidget(c, size, parent);
    w->setGeometry(pos.width(), pos.height(), size.width(), size.height());
    if (c.kind != Kind::Radio || (c.style & WS_GROUP)) ++group;
    w->setProperty("psaGroup", group);
    bool focusable = !(c.kind == Kind::Static || c.kind == Kind::Picture || c.kind == Kind::GroupBox ||
                       c.kind == Kind::Progress);
    w->setFocusPolicy(focusable ? Qt::StrongFocus : Qt::NoFocus);
    if (c.style & WS_DISABLED) w->setEnabled(false);
    w->setVisible(c.visible);
    if (c.kind == Kind::GroupBox) w->lower();
    // A static's '&' marks its mnemonic, which moves the focus to the next control that takes it.
    if (c.kind == Kind::Static && c.text.find('&') != std::string::npos) mnemonic = qobject_cast<QLabel*>(w);
    if (focusable && mnemonic) {
      mnemonic->setBuddy(w);
      mnemonic = nullptr;
    }
    // Tab order is creation order.
    if (focusable) {
      if (prevFocus) QWidget::setTabOrder(prevFocus, w);
      prevFocus = w;
    }
    CWnd* wrapper;
    auto bound = owner.bound_.find(c.id);
    if (bound != owner.bound_.end() && c.id != 0 && c.id != -1) {
      wrapper = bound->second;
    } else {
      owner.owned_.emplace_back(NewWrapper(c.kind));
      wrapper = owner.owned_.back().get();
    }
    if (auto* tree = dynamic_cast<CSftTree*>(wrapper))
      tree->AttachView(reinterpret_cast<SftTreeView*>(w), c.id, &owner);
    else
      wrapper->Attach(w, c.id, &owner);
    if (c.id == 0 || c.id == -1) owner.children_.erase(c.id);  // unnamed statics are not found by id
    ConnectWrapper(*wrapper, c);
  }
}

// ---- CDialog -------------------------------------------------------------------------------

CDialog::CDialog(const DialogTemplate& t, CWnd* parent) : t_(t) { parent_ = parent; }

CDialog::~CDialog() { Teardown(); }

void CDialog::Teardown() {
  GetTimerService().KillAll(this);
  if (auto* d = dynamic_cast<DialogWidget*>(w_.data())) d->Detach();
  delete w_.data();
  children_.clear();
  owned_.clear();
}

void CDialog::Bind() {
  binding_ = true;
  DoDataExchange(false);
  binding_ = false;
}

bool CDialog::Build(CWnd* parent) {
  if (w_) return false;
  if (parent) parent_ = parent;
  QWidget* pw = parent_ ? parent_->GetSafeHwnd() : nullptr;
  // A child dialog (a page) lives inside its parent's window; any other is a window of its own.
  const bool child = (t_.style & WS_CHILD) != 0 && pw != nullptr;
  auto* d = new DialogWidget(this, child ? pw : (pw ? pw->window() : nullptr));
  if (child) d->setWindowFlags(Qt::Widget);
  // A window whose template names no caption carries the program's title, never the desktop's
  // fallback (the program's file name).
  d->setWindowTitle(QString::fromStdString(t_.caption.empty() && !child ? AppTitle() : t_.caption));
  QSize size = DialogUnitsToPixels(t_, t_.cx, t_.cy);
  w_ = d;
  ended_ = false;
  Bind();
  BuildControls(t_, d, *this);
  d->setFixedSize(size);
  d->WatchKeys();
  UpdateData(false);
  OnInitDialog();
  return true;
}

std::intptr_t CDialog::DoModal() {
  if (!Build(nullptr)) return -1;
  running_ = true;
  if (!ended_) {
    w_->setWindowModality(Qt::ApplicationModal);
    w_->show();
    MaybeScreenshot(*this);
    if (ShownHook()) ShownHook()(*this);
  }
  if (!ended_ && ModalHook()) {
    ModalHook()(*this);
    if (!ended_) EndDialog(IDCANCEL);
  }
  if (!ended_) {
    QEventLoop loop;
    QObject::connect(w_.data(), &QObject::destroyed, &loop, &QEventLoop::quit);
    loop_ = &loop;
    loop.exec();
    loop_ = nullptr;
    if (!ended_) result_ = IDCANCEL;
  }
  running_ = false;
  Teardown();
  return result_;
}

void CDialog::EndDialog(int result) {
  result_ = result;
  ended_ = true;
  if (w_) w_->hide();
  if (loop_) loop_->quit();
}

bool CDialog::Create(CWnd* parent) {
  if (!Build(parent)) return false;
  if (t_.style & WS_VISIBLE) {
    w_->show();
    MaybeScreenshot(*this);
    if (ShownHook()) ShownHook()(*this);
  }
  return true;
}

void CDialog::DestroyWindow() { Teardown(); }

BOOL CDialog::PreTranslateMessage(MSG* pMsg) {
  if (!w_ || !(t_.style & WS_CHILD) || pMsg->wParam != VK_TAB) return FALSE;
  if (pMsg->message != WM_KEYDOWN) return FALSE;
  const std::vector<QWidget*> stops = TabStops(w_.data());
  if (stops.empty()) return TRUE;
  QWidget* focus = w_->window()->focusWidget();
  auto at = std::find(stops.begin(), stops.end(), focus);
  std::size_t next = 0;
  if (at == stops.end()) {
    next = pMsg->shift ? stops.size() - 1 : 0;
  } else {
    const std::size_t i = static_cast<std::size_t>(at - stops.begin());
    next = pMsg->shift ? (i + stops.size() - 1) % stops.size() : (i + 1) % stops.size();
  }
  stops[next]->setFocus(pMsg->shift ? Qt::BacktabFocusReason : Qt::TabFocusReason);
  return TRUE;
}

void CDialog::OnOK() {
  if (UpdateData(true)) EndDialog(IDOK);
}
void CDialog::OnCancel() { EndDialog(IDCANCEL); }

bool CDialog::UpdateData(bool save) {
  DoDataExchange(save);
  return true;
}

LRESULT CDialog::Notify(int id, int code, NMHDR* info) {
  auto it = handlers_.find({id, code});
  if (it != handlers_.end()) return it->second(info);
  if (code == BN_CLICKED && id == IDOK) OnOK();
  else if (code == BN_CLICKED && id == IDCANCEL) OnCancel();
  return 0;
}

void CDialog::DDX_Control(int id, CWnd& wnd) {
  bound_[id] = &wnd;
}

void CDialog::DDX_Text(bool save, int id, std::string& value) {
  if (binding_) return;
  CWnd* c = GetDlgItem(id);
  if (!c) return;
  if (save) value = c->GetWindowText();
  else c->SetWindowText(value);
}

void CDialog::DDX_Text(bool save, int id, int& value) {
  if (binding_) return;
  std::string s = std::to_string(value);
  DDX_Text(save, id, s);
  if (save) value = std::atoi(s.c_str());
}

void CDialog::DDX_Check(bool save, int id, int& value) {
  if (binding_) return;
  if (save) value = IsDlgButtonChecked(id);
  else CheckDlgButton(id, value);
}

void CDialog::DDX_Radio(bool save, int firstId, int& value) {
  if (binding_) return;
  // The group: the radio buttons from firstId to the next WS_GROUP or non-radio control.
  std::vector<int> ids;
  bool in = false;
  for (const ControlTemplate& c : t_.controls) {
    if (!in) {
      in = c.id == firstId;
      if (!in) continue;
    } else if (c.kind != Kind::Radio || (c.style & WS_GROUP)) {
      break;
    }
    ids.push_back(c.id);
  }
  if (save) {
    value = -1;
    for (size_t i = 0; i < ids.size(); ++i)
      if (IsDlgButtonChecked(ids[i])) value = static_cast<int>(i);
  } else {
    for (size_t i = 0; i < ids.size(); ++i)
      CheckDlgButton(ids[i], static_cast<int>(i) == value ? BST_CHECKED : BST_UNCHECKED);
  }
}

void SetModalHook(std::function<void(CDialog&)> hook) { ModalHook() = std::move(hook); }
void SetShownHook(std::function<void(CDialog&)> hook) { ShownHook() = std::move(hook); }

}  // namespace ui

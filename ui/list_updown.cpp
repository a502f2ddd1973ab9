// The list box and the up-down control.
#include <QHBoxLayout>
#include <algorithm>
#include <QKeyEvent>
#include <QListWidget>
#include <QToolButton>
#include <QVBoxLayout>

#include "ui/internal.h"
#include "ui/win32.h"
#include "ui/wnd.h"

namespace ui {

namespace {

QListWidget* ListOf(QWidget* w) { return qobject_cast<QListWidget*>(w); }

// The two arrows of an up-down control, stacked.
class UpDownWidget : public QWidget {
 public:
  explicit UpDownWidget(QWidget* parent) : QWidget(parent) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    for (QToolButton** b : {&up, &down}) {
      *b = new QToolButton(this);
      (*b)->setArrowType(b == &up ? Qt::UpArrow : Qt::DownArrow);
      (*b)->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
      (*b)->setFocusPolicy(Qt::NoFocus);
      (*b)->setAutoRepeat(true);
      layout->addWidget(*b);
    }
  }
  QToolButton* up = nullptr;
  QToolButton* down = nullptr;
};

// Up and Down in the buddy edit step the control.
class ArrowKeys : public QObject {
 public:
  ArrowKeys(QObject* parent, CSpinButtonCtrl* spin) : QObject(parent), spin_(spin) {}
  bool eventFilter(QObject* watched, QEvent* e) override {
    if (e->type() == QEvent::KeyPress) {
      const int key = static_cast<QKeyEvent*>(e)->key();
      if (key == Qt::Key_Up || key == Qt::Key_Down) {
        spin_->Step(key == Qt::Key_Up ? 1 : -1);
        return true;
      }
    }
    return QObject::eventFilter(watched, e);
  }

 private:
  CSpinButtonCtrl* spin_;
};

}  // namespace

QWidget* NewListBoxWidget(QWidget* parent) {
  auto* l = new QListWidget(parent);
  l->setSelectionMode(QAbstractItemView::SingleSelection);
  l->setEditTriggers(QAbstractItemView::NoEditTriggers);
  return l;
}

QWidget* NewUpDownWidget(QWidget* parent) { return new UpDownWidget(parent); }

// ---- CListBox ------------------------------------------------------------------------------

int CListBox::AddString(const std::string& s) {
  QListWidget* l = ListOf(w_.data());
  if (!l) return LB_ERR;
  l->addItem(QString::fromStdString(s));
  return l->count() - 1;
}
void CListBox::ResetContent() {
  if (QListWidget* l = ListOf(w_.data())) l->clear();
}
int CListBox::GetCount() const {
  QListWidget* l = ListOf(w_.data());
  return l ? l->count() : 0;
}
int CListBox::GetCurSel() const {
  QListWidget* l = ListOf(w_.data());
  if (!l || l->selectedItems().isEmpty()) return LB_ERR;
  return l->row(l->selectedItems().front());
}
int CListBox::SetCurSel(int index) {
  QListWidget* l = ListOf(w_.data());
  if (!l) return LB_ERR;
  QSignalBlocker quiet(l);
  if (index < 0) {
    l->clearSelection();
    return index == -1 ? 0 : LB_ERR;
  }
  if (index >= l->count()) return LB_ERR;
  l->setCurrentRow(index, QItemSelectionModel::ClearAndSelect);
  l->scrollToItem(l->item(index));
  return index;
}
std::string CListBox::GetText(int index) const {
  QListWidget* l = ListOf(w_.data());
  if (!l || index < 0 || index >= l->count()) return {};
  return l->item(index)->text().toStdString();
}
void CListBox::Connect() {
  QListWidget* l = ListOf(w_.data());
  if (!l) return;
  QObject::connect(l, &QListWidget::itemClicked, l, [this](QListWidgetItem*) { Notify(id_, LBN_SELCHANGE, nullptr); });
  QObject::connect(l, &QListWidget::itemDoubleClicked, l,
                   [this](QListWidgetItem*) { Notify(id_, LBN_DBLCLK, nullptr); });
}

// ---- CSpinButtonCtrl -----------------------------------------------------------------------

void CSpinButtonCtrl::SetBuddy(CWnd* buddy) {
  buddy_ = buddy;
  if (buddy_ && buddy_->GetSafeHwnd() && (style_ & UDS_ARROWKEYS) && w_)
    buddy_->GetSafeHwnd()->installEventFilter(new ArrowKeys(w_.data(), this));
}
void CSpinButtonCtrl::SetRange(int lower, int upper) {
  lower_ = lower;
  upper_ = upper;
}
void CSpinButtonCtrl::SetPos(int pos) {
  const int lo = std::min(lower_, upper_), hi = std::max(lower_, upper_);
  pos_ = std::clamp(pos, lo, hi);
  if (buddy_ && (style_ & UDS_SETBUDDYINT)) buddy_->SetWindowText(std::to_string(pos_));
}
void CSpinButtonCtrl::Step(int delta) {
  const int lo = std::min(lower_, upper_), hi = std::max(lower_, upper_);
  int next = pos_ + (lower_ <= upper_ ? delta : -delta);
  if (next > hi) next = (style_ & UDS_WRAP) ? lo : hi;
  if (next < lo) next = (style_ & UDS_WRAP) ? hi : lo;
  SetPos(next);
}
void CSpinButtonCtrl::Connect(UINT style) {
  style_ = style;
  auto* w = dynamic_cast<UpDownWidget*>(w_.data());
  if (!w) return;
  QObject::connect(w->up, &QToolButton::clicked, w, [this] { Step(1); });
  QObject::connect(w->down, &QToolButton::clicked, w, [this] { Step(-1); });
}

}  // namespace ui

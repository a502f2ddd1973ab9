#include "ui/wnd.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QFile>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPlainTextEdit>
#include <QStandardItemModel>
#include <QTabBar>
#include <QTreeView>

#include "ui/services.h"

namespace ui {
namespace {
QString Q(const std::string& s) { return QString::fromStdString(s); }
std::string S(const QString& s) { return s.toStdString(); }
}  // namespace

// ---- CWnd ----------------------------------------------------------------------------------

CWnd::~CWnd() { GetTimerService().KillAll(this); }

void CWnd::Attach(QWidget* w, int id, CWnd* parent) {
  w_ = w;
  id_ = id;
  parent_ = parent;
  if (parent) parent->children_[id] = this;
}

void CWnd::SetWindowText(const std::string& text) {
  if (!w_) return;
  if (auto* b = qobject_cast<QAbstractButton*>(w_.data())) b->setText(Q(text));
  else if (auto* l = qobject_cast<QLabel*>(w_.data())) l->setText(Q(text));
  else if (auto* e = qobject_cast<QLineEdit*>(w_.data())) e->setText(Q(text));
  else if (auto* m = qobject_cast<QPlainTextEdit*>(w_.data())) m->setPlainText(Q(text));
  else if (auto* g = qobject_cast<QGroupBox*>(w_.data())) g->setTitle(Q(text));
  else w_->setWindowTitle(Q(text));
}

std::string CWnd::GetWindowText() const {
  if (!w_) return {};
  if (auto* b = qobject_cast<QAbstractButton*>(w_.data())) return S(b->text());
  if (auto* l = qobject_cast<QLabel*>(w_.data())) return S(l->text());
  if (auto* e = qobject_cast<QLineEdit*>(w_.data())) return S(e->text());
  if (auto* m = qobject_cast<QPlainTextEdit*>(w_.data())) return S(m->toPlainText());
  if (auto* g = qobject_cast<QGroupBox*>(w_.data())) return S(g->title());
  return S(w_->windowTitle());
}

void CWnd::EnableWindow(bool enable) {
  if (w_) w_->setEnabled(enable);
}
bool CWnd::IsWindowEnabled() const { return w_ && w_->isEnabled(); }

void CWnd::ShowWindow(int cmd) {
  if (!w_) return;
  switch (cmd) {
    case SW_HIDE: w_->hide(); break;
    case SW_MINIMIZE:
    case SW_SHOWMINIMIZED: w_->showMinimized(); break;
    case SW_RESTORE: w_->showNormal(); break;
    default: w_->show(); break;
  }
}
bool CWnd::IsWindowVisible() const { return w_ && w_->isVisible(); }
bool CWnd::IsIconic() const { return w_ && (w_->windowState() & Qt::WindowMinimized); }
void CWnd::SetFocus() {
  if (w_) w_->setFocus(Qt::OtherFocusReason);
}
bool CWnd::HasFocus() const { return w_ && w_->window()->focusWidget() == w_.data(); }
void CWnd::SetForegroundWindow() {
  if (!w_) return;
  w_->raise();
  w_->activateWindow();
}
void CWnd::SetIcon(int resourceId) {
  if (w_) w_->setWindowIcon(LoadPicture(resourceId));
}
void CWnd::DestroyWindow() {
  GetTimerService().KillAll(this);
  if (w_) delete w_.data();
}

CWnd* CWnd::GetDlgItem(int id) const {
  auto it = children_.find(id);
  return it == children_.end() ? nullptr : it->second;
}
void CWnd::SetDlgItemText(int id, const std::string& text) {
  if (CWnd* c = GetDlgItem(id)) c->SetWindowText(text);
}
std::string CWnd::GetDlgItemText(int id) const {
  CWnd* c = GetDlgItem(id);
  return c ? c->GetWindowText() : std::string();
}
void CWnd::CheckDlgButton(int id, int check) {
  if (auto* b = dynamic_cast<CButton*>(GetDlgItem(id))) b->SetCheck(check);
}
int CWnd::IsDlgButtonChecked(int id) const {
  auto* b = dynamic_cast<CButton*>(GetDlgItem(id));
  return b ? b->GetCheck() : 0;
}
void CWnd::SetTimer(UINT id, UINT ms) { GetTimerService().Set(this, id, ms); }
void CWnd::KillTimer(UINT id) { GetTimerService().Kill(this, id); }
LRESULT CWnd::Notify(int id, int code, NMHDR* info) {
  return parent_ ? parent_->Notify(id, code, info) : 0;
}

// ---- CStatic, CButton ----------------------------------------------------------------------

void CStatic::SetBitmap(int resourceId) {
  auto* l = qobject_cast<QLabel*>(w_.data());
  if (!l) return;
  l->setPixmap(PicturePixmap(resourceId, l->size().isEmpty() ? QSize(32, 32) : l->size()));
}

int CButton::GetCheck() const {
  auto* b = qobject_cast<QAbstractButton*>(w_.data());
  return b && b->isChecked() ? BST_CHECKED : BST_UNCHECKED;
}
int CButton::GetState() const {
  return GetCheck() | (HasFocus() ? BST_FOCUS : 0);
}
void CButton::SetCheck(int check) {
  if (auto* b = qobject_cast<QAbstractButton*>(w_.data())) b->setChecked(check == BST_CHECKED);
}

// ---- CEdit ---------------------------------------------------------------------------------

void CEdit::LimitText(int chars) { limit_ = chars < 0 ? 0 : chars; }

void CEdit::SetWindowText(const std::string& text) {
  if (auto* m = qobject_cast<QPlainTextEdit*>(w_.data())) {
    m->setPlainText(Q(text));
    Notify(id_, EN_CHANGE, nullptr);
    return;
  }
  auto* e = qobject_cast<QLineEdit*>(w_.data());
  if (!e) return;
  last_ = Q(text);
  e->setText(last_);  // not subject to the typing limit
  Notify(id_, EN_CHANGE, nullptr);
}

void CEdit::SetSel(int start, int end) {
  auto* e = qobject_cast<QLineEdit*>(w_.data());
  if (!e) return;
  int len = static_cast<int>(e->text().size());
  if (end < 0 || end > len) end = len;
  if (start < 0) {
    e->deselect();
    return;
  }
  e->setSelection(start, end - start);
}

void CEdit::SetReadOnly(bool readOnly) {
  if (auto* e = qobject_cast<QLineEdit*>(w_.data())) e->setReadOnly(readOnly);
}

void CEdit::Connect() {
  auto* e = qobject_cast<QLineEdit*>(w_.data());
  if (!e) return;
  last_ = e->text();
  QObject::connect(e, &QLineEdit::textEdited, e, [this, e](const QString& typed) {
    QString t = typed;
    // Typing may not grow the text beyond the limit; deleting from an over-long text is fine.
    if (limit_ > 0 && t.size() > limit_ && t.size() > last_.size()) {
      int pos = e->cursorPosition() - static_cast<int>(t.size() - last_.size());
      e->setText(last_);
      e->setCursorPosition(pos < 0 ? 0 : pos);
      return;
    }
    if (e->property("psaUpper").toBool() && t != t.toUpper()) {
      int pos = e->cursorPosition();
      t = t.toUpper();
      e->setText(t);
      e->setCursorPosition(pos);
    }
    last_ = t;
    Notify(id_, EN_CHANGE, nullptr);
  });
}

// ---- CComboBox -----------------------------------------------------------------------------

namespace {
// Sends the drop-down notice before the list opens, however it is opened.
class DropCombo : public QComboBox {
 public:
  explicit DropCombo(QWidget* parent) : QComboBox(parent) {}
  std::function<void()> onDrop;
  void showPopup() override {
    if (onDrop) onDrop();
    QComboBox::showPopup();
  }
};
}  // namespace

QWidget* NewComboWidget(QWidget* parent) { return new DropCombo(parent); }

QComboBox* CComboBox::box() const { return qobject_cast<QComboBox*>(w_.data()); }

int CComboBox::AddString(const std::string& s) {
  auto* b = box();
  if (!b) return CB_ERR;
  b->addItem(Q(s));
  return b->count() - 1;
}
int CComboBox::InsertString(int index, const std::string& s) {
  auto* b = box();
  if (!b) return CB_ERR;
  if (index < 0 || index > b->count()) index = b->count();
  b->insertItem(index, Q(s));
  return index;
}
int CComboBox::DeleteString(int index) {
  auto* b = box();
  if (!b || index < 0 || index >= b->count()) return CB_ERR;
  b->removeItem(index);
  return b->count();
}
void CComboBox::ResetContent() {
  if (auto* b = box()) b->clear();
}
int CComboBox::GetCount() const { return box() ? box()->count() : 0; }
int CComboBox::GetCurSel() const { return box() ? box()->currentIndex() : CB_ERR; }
int CComboBox::SetCurSel(int index) {
  auto* b = box();
  if (!b) return CB_ERR;
  if (index < 0 || index >= b->count()) {
    b->setCurrentIndex(-1);
    return CB_ERR;
  }
  b->setCurrentIndex(index);
  return index;
}
std::string CComboBox::GetLBText(int index) const {
  auto* b = box();
  if (!b || index < 0 || index >= b->count()) return {};
  return S(b->itemText(index));
}
int CComboBox::Find(int startAfter, const std::string& s, bool exact) const {
  auto* b = box();
  if (!b || b->count() == 0) return CB_ERR;
  int n = b->count();
  QString key = Q(s);
  int first = (startAfter < 0 || startAfter >= n) ? 0 : startAfter + 1;
  for (int k = 0; k < n; ++k) {
    int i = (first + k) % n;
    QString item = b->itemText(i);
    bool hit = exact ? item.compare(key, Qt::CaseInsensitive) == 0
                     : item.startsWith(key, Qt::CaseInsensitive);
    if (hit) return i;
  }
  return CB_ERR;
}
int CComboBox::FindString(int startAfter, const std::string& s) const { return Find(startAfter, s, false); }
int CComboBox::FindStringExact(int startAfter, const std::string& s) const {
  return Find(startAfter, s, true);
}
int CComboBox::SelectString(int startAfter, const std::string& s) {
  int i = FindString(startAfter, s);
  if (i != CB_ERR) SetCurSel(i);
  return i;
}
void CComboBox::SetItemData(int index, std::intptr_t data) {
  if (auto* b = box(); b && index >= 0 && index < b->count())
    b->setItemData(index, QVariant::fromValue<qlonglong>(data));
}
std::intptr_t CComboBox::GetItemData(int index) const {
  auto* b = box();
  if (!b || index < 0 || index >= b->count()) return CB_ERR;
  return static_cast<std::intptr_t>(b->itemData(index).toLongLong());
}
void CComboBox::LimitText(int chars) {
  if (auto* b = box(); b && b->lineEdit()) b->lineEdit()->setMaxLength(chars > 0 ? chars : 32767);
}
void CComboBox::SetWindowText(const std::string& text) {
  auto* b = box();
  if (!b) return;
  if (b->isEditable()) b->setEditText(Q(text));
  else b->setCurrentIndex(b->findText(Q(text), Qt::MatchFixedString));
}
std::string CComboBox::GetWindowText() const {
  auto* b = box();
  return b ? S(b->currentText()) : std::string();
}
void CComboBox::ShowDropDown(bool show) {
  auto* b = box();
  if (!b) return;
  if (show) b->showPopup();
  else b->hidePopup();
}
void CComboBox::Connect() {
  auto* b = box();
  if (!b) return;
  if (auto* d = dynamic_cast<DropCombo*>(b)) d->onDrop = [this] { Notify(id_, CBN_DROPDOWN, nullptr); };
  QObject::connect(b, &QComboBox::activated, b, [this](int) { Notify(id_, CBN_SELCHANGE, nullptr); });
  if (b->lineEdit())
    QObject::connect(b->lineEdit(), &QLineEdit::textEdited, b,
                     [this](const QString&) { Notify(id_, CBN_EDITCHANGE, nullptr); });
}

// ---- CImageList ----------------------------------------------------------------------------

int CImageList::Add(int resourceId) { return Add(LoadPicture(resourceId)); }
int CImageList::Add(const QIcon& icon) {
  icons_.push_back(icon);
  return static_cast<int>(icons_.size()) - 1;
}
QIcon CImageList::Icon(int index) const {
  return index >= 0 && index < GetImageCount() ? icons_[static_cast<size_t>(index)] : QIcon();
}

// ---- CListCtrl -----------------------------------------------------------------------------

QAbstractItemView* CListCtrl::view() const { return qobject_cast<QAbstractItemView*>(w_.data()); }
QStandardItemModel* CListCtrl::model() const {
  auto* v = view();
  return v ? qobject_cast<QStandardItemModel*>(v->model()) : nullptr;
}

int CListCtrl::InsertColumn(int col, const std::string& heading, int width) {
  auto* m = model();
  if (!m) return -1;
  if (col < 0 || col > m->columnCount()) col = m->columnCount();
  m->insertColumn(col);
  m->setHorizontalHeaderItem(col, new QStandardItem(Q(heading)));
  if (auto* t = qobject_cast<QTreeView*>(view())) t->setColumnWidth(col, width);
  return col;
}

int CListCtrl::InsertItem(int index, const std::string& text, int image) {
  auto* m = model();
  if (!m) return -1;
  if (m->columnCount() == 0) m->setColumnCount(1);
  if (index < 0 || index > m->rowCount()) index = m->rowCount();
  auto* item = new QStandardItem(Q(text));
  item->setEditable(false);
  if (images_ && image >= 0) item->setIcon(images_->Icon(image));
  if (textBk_.isValid()) item->setBackground(textBk_);
  QList<QStandardItem*> row{item};
  for (int c = 1; c < m->columnCount(); ++c) {
    auto* cell = new QStandardItem();
    cell->setEditable(false);
    row.append(cell);
  }
  m->insertRow(index, row);
  states_.insert(states_.begin() + index, 0);
  return index;
}

bool CListCtrl::SetItemText(int item, int sub, const std::string& text) {
  auto* m = model();
  if (!m || item < 0 || item >= m->rowCount() || sub < 0 || sub > 255) return false;
  if (sub >= m->columnCount()) m->setColumnCount(sub + 1);  // icon lists keep sub-items without columns
  if (!m->item(item, sub)) m->setItem(item, sub, new QStandardItem());
  m->item(item, sub)->setText(Q(text));
  return true;
}
std::string CListCtrl::GetItemText(int item, int sub) const {
  auto* m = model();
  if (!m || item < 0 || item >= m->rowCount() || sub < 0 || sub >= m->columnCount()) return {};
  auto* it = m->item(item, sub);
  return it ? S(it->text()) : std::string();
}
int CListCtrl::GetItemCount() const { return model() ? model()->rowCount() : 0; }
bool CListCtrl::DeleteItem(int item) {
  auto* m = model();
  if (!m || item < 0 || item >= m->rowCount()) return false;
  m->removeRow(item);
  SyncStates();
  return true;
}
bool CListCtrl::DeleteAllItems() {
  auto* m = model();
  if (!m) return false;
  m->removeRows(0, m->rowCount());
  states_.clear();
  return true;
}

bool CListCtrl::SetItemState(int item, UINT state, UINT mask) {
  auto* v = view();
  auto* m = model();
  if (!v || !m || item < -1 || item >= m->rowCount()) return false;
  auto* sel = v->selectionModel();
  auto apply = [&](int row) {
    QModelIndex idx = m->index(row, 0);
    if (mask & LVIS_SELECTED)
      sel->select(idx, ((state & LVIS_SELECTED) ? QItemSelectionModel::Select : QItemSelectionModel::Deselect) |
                           QItemSelectionModel::Rows);
    if ((mask & LVIS_FOCUSED) && (state & LVIS_FOCUSED))
      sel->setCurrentIndex(idx, QItemSelectionModel::NoUpdate);
  };
  if (item == -1) {
    for (int r = 0; r < m->rowCount(); ++r) apply(r);
  } else {
    apply(item);
  }
  return true;
}
UINT CListCtrl::GetItemState(int item, UINT mask) const {
  if (item < 0 || item >= static_cast<int>(states_.size())) return 0;
  return states_[static_cast<size_t>(item)] & mask;
}
int CListCtrl::GetNextItem(int start, int flags) const {
  int n = static_cast<int>(states_.size());
  for (int i = start + 1; i < n; ++i) {
    UINT s = states_[static_cast<size_t>(i)];
    if ((flags & LVNI_SELECTED) && !(s & LVIS_SELECTED)) continue;
    if ((flags & LVNI_FOCUSED) && !(s & LVIS_FOCUSED)) continue;
    return i;
  }
  return -1;
}
int CListCtrl::GetSelectedCount() const {
  int c = 0;
  for (UINT s : states_) c += (s & LVIS_SELECTED) ? 1 : 0;
  return c;
}
void CListCtrl::SetItemData(int item, std::intptr_t data) {
  auto* m = model();
  if (m && item >= 0 && item < m->rowCount())
    m->item(item, 0)->setData(QVariant::fromValue<qlonglong>(data), Qt::UserRole + 1);
}
std::intptr_t CListCtrl::GetItemData(int item) const {
  auto* m = model();
  if (!m || item < 0 || item >= m->rowCount()) return 0;
  return static_cast<std::intptr_t>(m->item(item, 0)->data(Qt::UserRole + 1).toLongLong());
}
void CListCtrl::SetImageList(CImageList* list) {
  images_ = list;
  if (auto* v = view(); v && list) v->setIconSize(list->Size());
}
void CListCtrl::SetBkColor(QColor c) {
  if (auto* v = view()) {
    QPalette p = v->palette();
    p.setColor(QPalette::Base, c);
    v->setPalette(p);
  }
}
void CListCtrl::SetTextBkColor(QColor c) { textBk_ = c; }
void CListCtrl::SetTextColor(QColor c) {
  if (auto* v = view()) {
    QPalette p = v->palette();
    p.setColor(QPalette::Text, c);
    v->setPalette(p);
  }
}
bool CListCtrl::EnsureVisible(int item) {
  auto* m = model();
  if (!m || item < 0 || item >= m->rowCount()) return false;
  view()->scrollTo(m->index(item, 0));
  return true;
}

// Recomputes each row's state and notifies every change, deselections before selections.
void CListCtrl::SyncStates() {
  auto* v = view();
  auto* m = model();
  if (!v || !m) return;
  auto* sel = v->selectionModel();
  std::vector<UINT> now(static_cast<size_t>(m->rowCount()), 0);
  for (int r = 0; r < m->rowCount(); ++r) {
    QModelIndex idx = m->index(r, 0);
    if (sel->isRowSelected(r, QModelIndex())) now[static_cast<size_t>(r)] |= LVIS_SELECTED;
    if (sel->currentIndex().isValid() && sel->currentIndex().row() == idx.row())
      now[static_cast<size_t>(r)] |= LVIS_FOCUSED;
  }
  std::vector<UINT> old = states_;
  old.resize(now.size(), 0);
  states_ = now;
  for (int pass = 0; pass < 2; ++pass) {
    for (size_t r = 0; r < now.size(); ++r) {
      if (old[r] == now[r]) continue;
      bool gained = (now[r] & LVIS_SELECTED) && !(old[r] & LVIS_SELECTED);
      if ((pass == 1) != gained) continue;
      NMLISTVIEW nm;
      nm.hdr = {id_, LVN_ITEMCHANGED};
      nm.iItem = static_cast<int>(r);
      nm.uNewState = now[r];
      nm.uOldState = old[r];
      nm.uChanged = LVIF_STATE;
      Notify(id_, LVN_ITEMCHANGED, &nm.hdr);
    }
  }
}

void CListCtrl::Connect(UINT style) {
  auto* v = view();
  if (!v) return;
  v->setSelectionMode((style & LVS_SINGLESEL) ? QAbstractItemView::SingleSelection
                                              : QAbstractItemView::ExtendedSelection);
  v->setSelectionBehavior(QAbstractItemView::SelectRows);
  auto* sel = v->selectionModel();
  QObject::connect(sel, &QItemSelectionModel::selectionChanged, v, [this] { SyncStates(); });
  QObject::connect(sel, &QItemSelectionModel::currentChanged, v, [this] { SyncStates(); });
  auto click = [this](int code) {
    return [this, code](const QModelIndex& idx) {
      NMLISTVIEW nm;
      nm.hdr = {id_, code};
      nm.iItem = idx.row();
      Notify(id_, code, &nm.hdr);
    };
  };
  QObject::connect(v, &QAbstractItemView::clicked, v, click(NM_CLICK));
  QObject::connect(v, &QAbstractItemView::doubleClicked, v, click(NM_DBLCLK));
}

// ---- CTabCtrl ------------------------------------------------------------------------------

QTabBar* CTabCtrl::bar() const { return qobject_cast<QTabBar*>(w_.data()); }
int CTabCtrl::InsertItem(int index, const std::string& text) {
  auto* b = bar();
  if (!b) return -1;
  programmatic_ = true;
  int i = b->insertTab(index, Q(text));
  programmatic_ = false;
  current_ = b->currentIndex();
  return i;
}
bool CTabCtrl::DeleteItem(int index) {
  auto* b = bar();
  if (!b || index < 0 || index >= b->count()) return false;
  programmatic_ = true;
  b->removeTab(index);
  programmatic_ = false;
  current_ = b->currentIndex();
  return true;
}
bool CTabCtrl::DeleteAllItems() {
  auto* b = bar();
  if (!b) return false;
  programmatic_ = true;
  while (b->count() > 0) b->removeTab(0);
  programmatic_ = false;
  current_ = -1;
  return true;
}
int CTabCtrl::GetItemCount() const { return bar() ? bar()->count() : 0; }
int CTabCtrl::GetCurSel() const { return bar() ? current_ : -1; }
int CTabCtrl::SetCurSel(int index) {
  auto* b = bar();
  if (!b || index < 0 || index >= b->count()) return -1;
  int old = current_;
  programmatic_ = true;
  b->setCurrentIndex(index);
  programmatic_ = false;
  current_ = index;
  return old;
}
void CTabCtrl::Connect() {
  auto* b = bar();
  if (!b) return;
  current_ = b->currentIndex();
  QObject::connect(b, &QTabBar::currentChanged, b, [this, b](int wanted) {
    if (programmatic_) return;
    // The user's change: the old tab stays current while its owner decides.
    programmatic_ = true;
    b->setCurrentIndex(current_);
    programmatic_ = false;
    NMHDR h{id_, TCN_SELCHANGING};
    if (Notify(id_, TCN_SELCHANGING, &h) != 0) return;  // vetoed
    programmatic_ = true;
    b->setCurrentIndex(wanted);
    programmatic_ = false;
    current_ = wanted;
    NMHDR c{id_, TCN_SELCHANGE};
    Notify(id_, TCN_SELCHANGE, &c);
  });
}

// ---- Pictures ------------------------------------------------------------------------------

QIcon LoadPicture(int resourceId) {
  QString path = QStringLiteral(":/psa_ui/%1.png").arg(resourceId);
  return QFile::exists(path) ? QIcon(path) : QIcon();
}

QPixmap PicturePixmap(int resourceId, QSize size) {
  QPixmap picture(QStringLiteral(":/psa_ui/%1.png").arg(resourceId));
  if (picture.isNull() || size.isEmpty()) return picture;
  return picture.scaled(size, Qt::KeepAspectRatio, Qt::SmoothTransformation);
}

}  // namespace ui

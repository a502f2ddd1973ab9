#include "ui/sft_tree.h"

#include <QHeaderView>
#include <QTreeWidget>
#include <map>

#include "ui/internal.h"

namespace ui {

// The control itself: top-level rows with one cell per column, a current row and the options
// the console sets (kept and answered back; none changes what the callers read).
class SftTreeView : public QTreeWidget {
 public:
  explicit SftTreeView(QWidget* parent) : QTreeWidget(parent) {
    setRootIsDecorated(false);
    setUniformRowHeights(true);
    setColumnCount(1);
    setHeaderHidden(false);
    setSelectionMode(QAbstractItemView::SingleSelection);
  }
  std::map<int, int> options;
  std::string caption;
};

QWidget* NewSftTreeWidget(QWidget* parent) { return new SftTreeView(parent); }

namespace {
QString Q(const std::string& s) { return QString::fromStdString(s); }
}  // namespace

CSftTree::~CSftTree() { DestroyWindow(); }

SftTreeView* CSftTree::view() const { return dynamic_cast<SftTreeView*>(w_.data()); }

bool CSftTree::Create(UINT style, QRect rect, CWnd* parent, int id) { return CreateEx(0, style, rect, parent, id); }

bool CSftTree::CreateEx(UINT exStyle, UINT style, QRect rect, CWnd* parent, int id) {
  (void)exStyle;
  if (w_) return false;
  auto* v = new SftTreeView(parent ? parent->GetSafeHwnd() : nullptr);
  v->setGeometry(rect);
  v->setVisible((style & WS_VISIBLE) != 0);
  AttachView(v, id, parent);
  return true;
}

void CSftTree::AttachView(SftTreeView* view, int id, CWnd* parent) {
  Attach(view, id, parent);
  // A double-click on a row (not on the empty area below the rows) tells the parent.
  QObject::connect(view, &QTreeWidget::itemDoubleClicked, view, [this] { Notify(id_, SFTN_DBLCLK, nullptr); });
}

int CSftTree::AddItem(const std::string& text) {
  auto* v = view();
  if (!v) return -1;
  auto* item = new QTreeWidgetItem(v);
  item->setText(0, Q(text));
  return v->indexOfTopLevelItem(item);
}

int CSftTree::SetCellText(int item, int column, const std::string& text) {
  auto* v = view();
  if (!v || column < 0 || column >= v->columnCount()) return 0;
  QTreeWidgetItem* it = v->topLevelItem(item);
  if (!it) return -1;
  it->setText(column, Q(text));
  return 1;
}

int CSftTree::GetCount() const { return view() ? view()->topLevelItemCount() : 0; }

void CSftTree::GetCellText(int item, int column, std::string& out) const {
  out.clear();
  auto* v = view();
  if (!v || column < 0 || column >= v->columnCount()) return;
  if (QTreeWidgetItem* it = v->topLevelItem(item)) out = it->text(column).toStdString();
}
void CSftTree::GetItemText(int item, std::string& out) const { GetCellText(item, 0, out); }
void CSftTree::GetCurrentCellText(int column, std::string& out) const { GetCellText(GetCurSel(), column, out); }
void CSftTree::GetCurrentText(std::string& out) const { GetCurrentCellText(0, out); }
// The control's caption line (set with SetOption148).
void CSftTree::GetText150(std::string& out) const { out = view() ? view()->caption : std::string(); }
// Every cell of the item, separated by tabs.
void CSftTree::GetItemText175(int item, std::string& out) const {
  out.clear();
  auto* v = view();
  QTreeWidgetItem* it = v ? v->topLevelItem(item) : nullptr;
  if (!it) return;
  for (int c = 0; c < v->columnCount(); ++c) {
    if (c) out += '\t';
    out += it->text(c).toStdString();
  }
}

void CSftTree::DeleteItem(int item) {
  if (auto* v = view(); v && item >= 0 && item < v->topLevelItemCount()) delete v->takeTopLevelItem(item);
}
int CSftTree::GetCurSel() const {
  auto* v = view();
  if (!v || !v->currentItem()) return -1;
  return v->indexOfTopLevelItem(v->currentItem());
}
void CSftTree::DeleteAllItems() {
  if (auto* v = view()) v->clear();
}

void CSftTree::SetColumns(int count, const SftColumn* entries) {
  auto* v = view();
  if (!v || count <= 0 || !entries) return;
  v->setColumnCount(count);
  QStringList titles;
  for (int i = 0; i < count; ++i) titles << Q(entries[i].title);
  v->setHeaderLabels(titles);
  v->header()->setStretchLastSection(entries[count - 1].width < 0);
  for (int i = 0; i < count; ++i)
    if (entries[i].width >= 0) v->setColumnWidth(i, entries[i].width);
}

void CSftTree::SetCurSel(int item) {
  auto* v = view();
  if (!v) return;
  QTreeWidgetItem* it = v->topLevelItem(item);
  v->setCurrentItem(it);
  if (!it) v->clearSelection();
}

void CSftTree::SetOption148(const std::string& text) {
  if (auto* v = view()) v->caption = text;
}
int CSftTree::GetOption182() const {
  auto* v = view();
  if (!v) return 0;
  auto it = v->options.find(183);
  return it == v->options.end() ? 0 : it->second;
}

#define PSA_SFT_OPTION(n)                                 \
  void CSftTree::SetOption##n(int value) {               \
    if (auto* v = view()) v->options[n] = value;         \
  }
PSA_SFT_OPTION(183)
PSA_SFT_OPTION(173)
PSA_SFT_OPTION(62)
PSA_SFT_OPTION(73)
PSA_SFT_OPTION(91)
PSA_SFT_OPTION(95)
PSA_SFT_OPTION(115)
PSA_SFT_OPTION(143)
PSA_SFT_OPTION(171)
#undef PSA_SFT_OPTION

}  // namespace ui

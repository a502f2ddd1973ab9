#include "ui/tree_ctrl.h"

#include <QTreeWidget>

namespace ui {

namespace {
constexpr int kDataRole = Qt::UserRole + 1;
constexpr int kImageRole = Qt::UserRole + 2;

bool Owns(const QTreeWidget* t, const QTreeWidgetItem* item) { return t && item && item->treeWidget() == t; }
}  // namespace

QTreeWidget* CTreeCtrl::tree() const { return qobject_cast<QTreeWidget*>(w_.data()); }

HTREEITEM CTreeCtrl::InsertItem(const std::string& text, int image, int selectedImage, HTREEITEM parent,
                                TreeInsert where) {
  (void)selectedImage;
  auto* t = tree();
  if (!t || (parent && !Owns(t, parent))) return nullptr;
  auto* item = new QTreeWidgetItem;
  item->setText(0, QString::fromStdString(text));
  item->setData(0, kImageRole, image);
  if (images_ && image >= 0) item->setIcon(0, images_->Icon(image));
  if (parent) {
    if (where == TreeInsert::First) parent->insertChild(0, item);
    else parent->addChild(item);
  } else {
    if (where == TreeInsert::First) t->insertTopLevelItem(0, item);
    else t->addTopLevelItem(item);
  }
  return item;
}

bool CTreeCtrl::DeleteItem(HTREEITEM item) {
  if (!Owns(tree(), item)) return false;
  delete item;
  return true;
}

bool CTreeCtrl::DeleteAllItems() {
  auto* t = tree();
  if (!t) return false;
  t->clear();
  return true;
}

bool CTreeCtrl::Expand(HTREEITEM item, UINT code) {
  if (!Owns(tree(), item)) return false;
  if (code == TVE_EXPAND) item->setExpanded(true);
  else if (code == TVE_COLLAPSE) item->setExpanded(false);
  return true;
}

bool CTreeCtrl::IsExpanded(HTREEITEM item) const { return Owns(tree(), item) && item->isExpanded(); }

int CTreeCtrl::GetCount() const {
  auto* t = tree();
  if (!t) return 0;
  int n = 0;
  for (QTreeWidgetItemIterator it(t); *it; ++it) ++n;
  return n;
}

HTREEITEM CTreeCtrl::GetRootItem() const {
  auto* t = tree();
  return t && t->topLevelItemCount() > 0 ? t->topLevelItem(0) : nullptr;
}

HTREEITEM CTreeCtrl::GetChildItem(HTREEITEM item) const {
  return Owns(tree(), item) && item->childCount() > 0 ? item->child(0) : nullptr;
}

HTREEITEM CTreeCtrl::GetNextSiblingItem(HTREEITEM item) const {
  auto* t = tree();
  if (!Owns(t, item)) return nullptr;
  if (QTreeWidgetItem* p = item->parent()) {
    const int i = p->indexOfChild(item);
    return i + 1 < p->childCount() ? p->child(i + 1) : nullptr;
  }
  const int i = t->indexOfTopLevelItem(item);
  return i + 1 < t->topLevelItemCount() ? t->topLevelItem(i + 1) : nullptr;
}

HTREEITEM CTreeCtrl::GetParentItem(HTREEITEM item) const { return Owns(tree(), item) ? item->parent() : nullptr; }

HTREEITEM CTreeCtrl::GetSelectedItem() const {
  auto* t = tree();
  if (!t) return nullptr;
  const auto selected = t->selectedItems();
  return selected.isEmpty() ? nullptr : selected.first();
}

bool CTreeCtrl::SelectItem(HTREEITEM item) {
  auto* t = tree();
  if (!t || (item && !Owns(t, item))) return false;
  if (item) t->setCurrentItem(item);
  else t->clearSelection();
  return true;
}

std::string CTreeCtrl::GetItemText(HTREEITEM item) const {
  return Owns(tree(), item) ? item->text(0).toStdString() : std::string();
}

bool CTreeCtrl::SetItemData(HTREEITEM item, std::intptr_t data) {
  if (!Owns(tree(), item)) return false;
  item->setData(0, kDataRole, QVariant::fromValue<qlonglong>(data));
  return true;
}

std::intptr_t CTreeCtrl::GetItemData(HTREEITEM item) const {
  return Owns(tree(), item) ? static_cast<std::intptr_t>(item->data(0, kDataRole).toLongLong()) : 0;
}

int CTreeCtrl::GetItemImage(HTREEITEM item) const {
  if (!Owns(tree(), item)) return -1;
  const QVariant v = item->data(0, kImageRole);
  return v.isValid() ? v.toInt() : -1;
}

void CTreeCtrl::SetImageList(CImageList* list) {
  images_ = list;
  auto* t = tree();
  if (!t || !list) return;
  t->setIconSize(list->Size());
  for (QTreeWidgetItemIterator it(t); *it; ++it) {
    const int image = (*it)->data(0, kImageRole).toInt();
    (*it)->setIcon(0, list->Icon(image));
  }
}

void CTreeCtrl::Connect() {
  auto* t = tree();
  if (!t) return;
  QObject::connect(t, &QTreeWidget::itemSelectionChanged, t, [this] { Notify(id_, TVN_SELCHANGED, nullptr); });
}

QWidget* NewTreeViewWidget(QWidget* parent) {
  auto* t = new QTreeWidget(parent);
  t->setHeaderHidden(true);
  t->setColumnCount(1);
  t->setSelectionMode(QAbstractItemView::SingleSelection);
  t->setEditTriggers(QAbstractItemView::NoEditTriggers);
  return t;
}

}  // namespace ui

// The common tree-view control: items under items, each with a text, a picture from the control's
// image list and one number of the caller's (item data). HTREEITEM handles stay valid until their
// item is deleted. A CTreeCtrl whose window was never created answers like an empty control.
#pragma once
#include <cstdint>
#include <string>

#include "ui/wnd.h"

class QTreeWidgetItem;
class QTreeWidget;

namespace ui {

using HTREEITEM = QTreeWidgetItem*;
inline HTREEITEM const TVI_ROOT = nullptr;
// Insert positions.
enum class TreeInsert { First, Last };

// TVE_ codes of Expand.
constexpr UINT TVE_COLLAPSE = 0x0001;
constexpr UINT TVE_EXPAND = 0x0002;
// Notification: the selection changed (user or SelectItem).
constexpr int TVN_SELCHANGED = -402;

class CTreeCtrl : public CWnd {
 public:
  HTREEITEM InsertItem(const std::string& text, int image, int selectedImage, HTREEITEM parent = TVI_ROOT,
                       TreeInsert where = TreeInsert::Last);
  bool DeleteItem(HTREEITEM item);
  bool DeleteAllItems();
  bool Expand(HTREEITEM item, UINT code);
  bool IsExpanded(HTREEITEM item) const;
  int GetCount() const;  // every item, at every level
  HTREEITEM GetRootItem() const;
  HTREEITEM GetChildItem(HTREEITEM item) const;
  HTREEITEM GetNextSiblingItem(HTREEITEM item) const;
  HTREEITEM GetParentItem(HTREEITEM item) const;
  HTREEITEM GetSelectedItem() const;
  bool SelectItem(HTREEITEM item);
  std::string GetItemText(HTREEITEM item) const;
  bool SetItemData(HTREEITEM item, std::intptr_t data);
  std::intptr_t GetItemData(HTREEITEM item) const;
  // The picture index of an item (-1 when none).
  int GetItemImage(HTREEITEM item) const;
  void SetImageList(CImageList* list);
  void Connect();

 private:
  QTreeWidget* tree() const;
  CImageList* images_ = nullptr;
};

}  // namespace ui

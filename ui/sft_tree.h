// The tree/grid control: items with cells in columns, a current item and a set of options, over
// an item view of our own. Every operation works on a wrapper whose window was never created:
// it answers as an empty control would (counts 0, current item -1, empty texts, column
// selection fails), and stores nothing.
#pragma once
#include <string>
#include <vector>

#include "ui/wnd.h"

namespace ui {

class SftTreeView;

// Notification the control sends its parent when the user double-clicks a row.
constexpr int SFTN_DBLCLK = 45;

struct SftColumn {
  int width = -1;  // pixels; -1 = the rest of the control
  std::string title;
};

class CSftTree : public CWnd {
 public:
  CSftTree() = default;
  ~CSftTree() override;

  bool Create(UINT style, QRect rect, CWnd* parent, int id);
  bool CreateEx(UINT exStyle, UINT style, QRect rect, CWnd* parent, int id);
  // Takes over a widget a dialog template created for a Kind::Tree control.
  void AttachView(SftTreeView* view, int id, CWnd* parent);

  int AddItem(const std::string& text);
  // 0 when the column does not exist; else nonzero.
  int SetCellText(int item, int column, const std::string& text);
  int GetCount() const;
  void GetItemText(int item, std::string& out) const;
  void GetCellText(int item, int column, std::string& out) const;
  void GetCurrentText(std::string& out) const;
  void GetCurrentCellText(int column, std::string& out) const;
  void GetText150(std::string& out) const;
  void GetItemText175(int item, std::string& out) const;
  void DeleteItem(int item);
  int GetCurSel() const;
  void DeleteAllItems();
  void SetColumns(int count, const SftColumn* entries);
  void SetCurSel(int item);
  void SetOption148(const std::string& text);
  int GetOption182() const;
  void SetOption183(int value);
  void SetOption173(int value);
  void SetOption62(int v);
  void SetOption73(int v);
  void SetOption91(int v);
  void SetOption95(int v);
  void SetOption115(int v);
  void SetOption143(int v);
  void SetOption171(int v);

 private:
  SftTreeView* view() const;
};

}  // namespace ui

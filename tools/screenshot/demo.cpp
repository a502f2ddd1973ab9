// A program with one modal dialog (template 555), for the screenshot tool's test.
#include <QApplication>

#include "ui/dialog.h"

namespace {
class DemoDlg : public ui::CDialog {
 public:
  explicit DemoDlg(const ui::DialogTemplate& t) : CDialog(t) {}
  BOOL OnInitDialog() override {
    images_.Add(135);
    auto* list = dynamic_cast<ui::CListCtrl*>(GetDlgItem(102));
    list->SetImageList(&images_);
    for (const char* name : {"PS-0A1B2C", "PS-0A1B2D", "PS-0A1B2E"}) list->InsertItem(list->GetItemCount(), name, 0);
    return 1;
  }

 private:
  ui::CImageList images_;
};
}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  ui::DialogTemplate t{555, "Demo", "MS Sans Serif", 8, 220, 120, 0,
                       {{-1, ui::Kind::Picture, "130", 0, 5, 5, 32, 32},
                        {100, ui::Kind::Static, "Device:", 0, 45, 8, 40, 10},
                        {101, ui::Kind::Edit, "PS-DEMO", 0, 90, 6, 100, 12},
                        {102, ui::Kind::ListView, "", ui::LVS_ICON | ui::LVS_SINGLESEL, 45, 24, 170, 70},
                        {ui::IDOK, ui::Kind::DefButton, "OK", 0, 165, 100, 50, 14}}};
  DemoDlg d(t);
  return static_cast<int>(d.DoModal());
}

// A program with one modal dialog (template 555), for the screenshot tool's test.
#include <QApplication>

#include "ui/dialog.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  ui::DialogTemplate t{555, "Demo", "MS Sans Serif", 8, 160, 60, 0,
                       {{100, ui::Kind::Static, "Device:", 0, 5, 8, 40, 10},
                        {101, ui::Kind::Edit, "PS-DEMO", 0, 50, 6, 100, 12},
                        {ui::IDOK, ui::Kind::DefButton, "OK", 0, 100, 40, 50, 14}}};
  ui::CDialog d(t);
  return static_cast<int>(d.DoModal());
}

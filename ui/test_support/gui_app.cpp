#include "ui/test_support/gui_app.h"

#include <QApplication>
#include <QMessageBox>
#include <QTimer>

namespace ui {
QApplication& EnsureTestApplication() {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  static int argc = 1;
  static char name[] = "psa_gui_test";
  static char* argv[] = {name, nullptr};
  static QApplication* app = new QApplication(argc, argv);
  return *app;
}

void CloseNextMessageBox(QRect* frame, QString* text) {
  QTimer::singleShot(0, [frame, text] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (box == nullptr) return;
    *frame = box->frameGeometry();
    *text = box->text();
    box->done(QMessageBox::Ok);
  });
}
}  // namespace ui

// The font configuration library keeps caches it never frees; they are not ours to report.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }

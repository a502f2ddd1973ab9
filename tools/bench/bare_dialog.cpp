// The baseline of console_start_bench: a bare Qt program that shows one empty dialog and says so on
// its standard error, then waits to be ended.
#include <QApplication>
#include <QDialog>
#include <QTimer>
#include <cstdio>

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QDialog dialog;
  dialog.resize(543, 381);
  dialog.show();
  QTimer::singleShot(0, &dialog, [] {
    std::fputs("bare: dialog shown\n", stderr);
    std::fflush(stderr);
  });
  return QApplication::exec();
}

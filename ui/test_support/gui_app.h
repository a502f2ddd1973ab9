// For GUI tests: one QApplication per test process, on the offscreen platform unless the
// environment names another.
#pragma once
class QApplication;
namespace ui {
QApplication& EnsureTestApplication();
}  // namespace ui

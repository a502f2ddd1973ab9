// For GUI tests: one QApplication per test process, on the offscreen platform unless the
// environment names another.
#pragma once
class QApplication;
class QRect;
class QString;
namespace ui {
QApplication& EnsureTestApplication();
// Once the event loop runs again: notes the frame and text of the message box then on show (a real
// one, as the GUI's message sink shows it) and closes it with OK. Nothing when none is on show.
void CloseNextMessageBox(QRect* frame, QString* text);
}  // namespace ui

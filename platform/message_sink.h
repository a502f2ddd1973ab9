// Message boxes by string id. Library code never talks to a window system: it asks the installed
// MessageSink, which the GUI layer renders as a real box and tests replace with a recorder.
// The default sink (no GUI) writes the text to stderr and answers IDOK, or IDNO for a question.
#pragma once
#include <string>

#include "platform/win_types.h"

namespace platform {

constexpr UINT MB_OK = 0x0;
constexpr UINT MB_OKCANCEL = 0x1;
constexpr UINT MB_YESNO = 0x4;
constexpr UINT MB_ICONERROR = 0x10;
constexpr UINT MB_ICONQUESTION = 0x20;
constexpr UINT MB_ICONWARNING = 0x30;
constexpr UINT MB_ICONINFORMATION = 0x40;

constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
constexpr int IDYES = 6;
constexpr int IDNO = 7;

class MessageSink {
 public:
  virtual ~MessageSink() = default;
  // stringId is 0 for a text that does not come from the string table.
  virtual int Show(int stringId, const std::string& text, UINT type) = 0;
};

MessageSink& GetMessageSink();
// Installs a sink for the whole process; nullptr restores the default one.
void SetMessageSink(MessageSink* sink);

// The string table: each program registers its strings once at start.
void RegisterString(int id, const char* text);
// The registered text, or an empty string for an unknown id.
std::string LoadString(int id);
// Empties the string table: a test that checks what one program's start-up registers begins here.
void ForgetStrings();

// Shows string `id` with the given box type and returns the sink's answer (the AfxMessageBox form).
int MessageBoxById(int id, UINT type = MB_OK);

}  // namespace platform

// The dialog service a spooler host may offer to the monitors it loads. A monitor is free of any
// window system: it describes a dialog by its template id and works its controls by id through
// this table, as a Windows monitor works its dialog resources. The host that can show windows
// (a program with a display) installs a table; a host without one (the CUPS backend, a test
// without a display) installs none, and the monitor then works without dialogs.
//
// The table is plain C so that a monitor built apart from its host can use it.
#pragma once

extern "C" {

// One dialog while it runs.
struct PsaDialog;

// The monitor's side of one dialog.
struct PsaDialogHandler {
  void* context;
  // Once the controls exist, before the dialog is shown.
  void (*onInit)(void* context, PsaDialog* dialog);
  // A button (IDOK 1, IDCANCEL 2 for Enter, Esc and the close box too) or a list's double click.
  void (*onCommand)(void* context, PsaDialog* dialog, int controlId);
};

struct PsaDialogService {
  unsigned size;  // sizeof(PsaDialogService) of the host
  // Runs dialog `templateId` modally over `owner` (may be null); returns the code given to
  // endDialog, or -1 when the host has no such template.
  int (*runModal)(int templateId, void* owner, const PsaDialogHandler* handler);
  void (*endDialog)(PsaDialog* dialog, int code);
  void (*bringToFront)(PsaDialog* dialog);
  // Texts: getText copies at most size - 1 bytes and a terminator, returns the text's length.
  int (*getText)(PsaDialog* dialog, int controlId, char* buffer, int size);
  void (*setText)(PsaDialog* dialog, int controlId, const char* text);
  void (*limitText)(PsaDialog* dialog, int controlId, int chars);
  void (*setReadOnly)(PsaDialog* dialog, int controlId, int readOnly);
  int (*isChecked)(PsaDialog* dialog, int controlId);
  void (*setCheck)(PsaDialog* dialog, int controlId, int checked);
  // List boxes.
  int (*addLine)(PsaDialog* dialog, int controlId, const char* text);
  int (*lineCount)(PsaDialog* dialog, int controlId);
  int (*selection)(PsaDialog* dialog, int controlId);  // -1 when none
  void (*select)(PsaDialog* dialog, int controlId, int index);
  int (*getLine)(PsaDialog* dialog, int controlId, int index, char* buffer, int size);
  // Up-down controls: range, wrapping and the buddy edit's number; 0 when it cannot be set up.
  int (*setUpDown)(PsaDialog* dialog, int controlId, int buddyId, int lower, int upper, int pos);
  void (*beep)(void);
  // The wait cursor while the monitor asks the network: on (1) and off (0) nest.
  void (*waitCursor)(int on);
};

}  // extern "C"

namespace platform::spooler {

// The host's dialog service, or null when it has none. Installing null removes it.
void SetDialogService(const PsaDialogService* service);
const PsaDialogService* GetDialogService();

}  // namespace platform::spooler

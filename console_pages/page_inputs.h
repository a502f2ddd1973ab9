// Small steps the AppleTalk, NetBEUI, logical port and physical port pages share: asking the box's
// model type at start, and refusing an input.
#pragma once
#include <string>

#include "ui/wnd.h"

// Asks the console's device object for the model type of the box `defaultName` under a wait
// cursor; the device call's result (0 on success).
int QueryModelType(const std::string& defaultName, int& modelType);

// Refuses an input: shows message `stringId`, empties the control (an edit or a combo box's text)
// and gives it the focus; returns 0 (the store procedures' "refused").
int RefuseInput(int stringId, ui::CWnd& control);

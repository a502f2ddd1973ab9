#include "console_pages/page_inputs.h"

#include "console_pages/page_records.h"
#include "platform/message_sink.h"
#include "ui/services.h"

int QueryModelType(const std::string& defaultName, int& modelType) {
  ui::CWaitCursor wait;
  return TheUtility().mGetDevicePortType(defaultName, &modelType);
}

int RefuseInput(int stringId, ui::CWnd& control) {
  platform::MessageBoxById(stringId);
  control.SetWindowText("");
  control.SetFocus();
  return 0;
}

#include "console_pages/page_inputs.h"

#include "console_pages/page_records.h"
#include "platform/message_sink.h"
#include "ui/services.h"

int QueryModelType(const std::string& defaultName, int& modelType) {
  ui::CWaitCursor wait;
  return TheUtility().mGetDevicePortType(defaultName, &modelType);
}

int RefuseInput(int stringId, ui::CEdit& edit) {
  platform::MessageBoxById(stringId);
  edit.SetWindowText("");
  edit.SetFocus();
  return 0;
}

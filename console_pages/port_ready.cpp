#include "console_pages/port_ready.h"

#include "console_pages/device_dialog_text.h"
#include "ui/services.h"

int IsPortPrinterReady(CPrintServerUtility& utility, const std::string& defaultName, int port,
                       const std::string& portName) {
  std::string text;
  int result = 0;
  {
    ui::CWaitCursor wait;
    result = utility.mGetPrinterStatus(defaultName, text);
  }
  device_dialogs::ReportResult(result);
  if (result != 0) return 0;
  const device_dialogs::PortStatusBlock block =
      device_dialogs::ParsePortStatus(text, device_dialogs::PortToken(port, portName));
  return device_dialogs::IsOnLineAndIdle(block) ? 1 : 0;
}

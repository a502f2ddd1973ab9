// Any bytes as a printer-status text (for each port token), as a direct command's reply buffer,
// and as a value typed for a numeric PJL variable with bounds taken from the same bytes.
#include <cstddef>
#include <cstdint>
#include <list>
#include <string>

#include "console_pages/device_dialog_text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  for (const char* token : {"P1", "P2", "P3", "SP", "LOBBY"}) {
    const device_dialogs::PortStatusBlock b = device_dialogs::ParsePortStatus(text, token);
    (void)device_dialogs::IsOnLineAndIdle(b);
  }
  (void)device_dialogs::SplitReplyLines(reinterpret_cast<const char*>(data), size);
  const std::size_t third = size / 3;
  const std::list<std::string> bounds = {text.substr(0, third), text.substr(third, third)};
  const std::string typed = text.substr(2 * third);
  (void)device_dialogs::CheckWholeNumber(typed, bounds);
  (void)device_dialogs::CheckDecimalNumber(typed, bounds);
  (void)device_dialogs::CheckWholeNumber(typed, {});
  return 0;
}

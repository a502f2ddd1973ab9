// Feeds arbitrary reply bytes to the port dialogs' decoding of a box's device-information reply
// and checks that every box type it yields keeps its labels and indexes consistent.
#include <cstddef>
#include <cstdint>

#include "print_monitor/port_dialog_rules.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > 101) return 0;
  std::uint8_t boxType = 0;
  long number = 0;
  if (!brandel::DecodeBoxTypeReply(data, size, &boxType, &number)) return 0;
  for (int index = 0; index < 20; ++index) {
    const int back = brandel::PortIndexFromLabel(brandel::PortLabelFromIndex(index, boxType), boxType);
    if (back != -1 && back != index) __builtin_trap();
  }
  (void)brandel::OutputSelectLines(boxType, static_cast<std::uint16_t>(number));
  return 0;
}

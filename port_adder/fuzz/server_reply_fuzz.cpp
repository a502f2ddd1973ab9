// Feeds arbitrary reply bytes to the port-adding program's readers of a box's answers: the
// printer-status sections of every port and the printer model of the bidirectional test.
#include <cstddef>
#include <cstdint>
#include <string>

#include "port_adder/port_adder.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > 5120) return 0;
  const std::string reply(reinterpret_cast<const char*>(data), size);
  for (int port = -1; port <= 6; ++port) {
    const dapsel::PortStatusFields f = dapsel::ParsePortStatus(port, reply);
    if (f.state.size() > reply.size() || f.printerStatus.size() > reply.size()) __builtin_trap();
  }
  const std::string model = dapsel::ParsePrinterModel(reply);
  for (char c : model)
    if (static_cast<unsigned char>(c) < 0x20) __builtin_trap();
  return 0;
}

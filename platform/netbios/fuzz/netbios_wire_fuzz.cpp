// Feeds arbitrary bytes to the NetBIOS packet parsers; what parses must build and parse again to
// the same packet.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "platform/netbios/nb_wire.h"

namespace wire = platform::netbios::wire;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  wire::NsPacket ns;
  if (wire::ParseNsPacket(data, size, ns)) {
    std::vector<std::uint8_t> again = wire::BuildNsPacket(ns);
    wire::NsPacket back;
    if (!wire::ParseNsPacket(again.data(), again.size(), back)) std::abort();
    if (back.questions.size() != ns.questions.size() || back.answers.size() != ns.answers.size()) std::abort();
  }
  wire::Datagram d;
  if (wire::ParseDatagram(data, size, d)) {
    std::vector<std::uint8_t> again = wire::BuildDatagram(d);
    wire::Datagram back;
    if (!wire::ParseDatagram(again.data(), again.size(), back) || back.data != d.data) std::abort();
  }
  wire::Name called{}, calling{};
  wire::ParseSessionRequestBody(data, size, called, calling);
  return 0;
}

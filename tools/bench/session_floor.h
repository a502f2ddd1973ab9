// The ends of a benchmark's minimal NetBIOS client: the emulated box's session port at its
// address, the box's called name and a calling name of the benchmark's own.
#pragma once
#include <arpa/inet.h>
#include <netinet/in.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "platform/netbios/nb_wire.h"
#include "tools/box_emulator/box_emulator.h"
#include "tools/box_emulator/netbios_front.h"

namespace bench {

struct SessionEnds {
  sockaddr_in session{};
  platform::netbios::wire::Name called{};
  platform::netbios::wire::Name calling{};
};

// False when the box has no address to reach it at.
inline bool BoxSessionEnds(const box_emulator::Box& box, std::uint16_t sessionPort, SessionEnds* out) {
  out->session = sockaddr_in{};
  out->session.sin_family = AF_INET;
  out->session.sin_port = htons(sessionPort);
  if (::inet_pton(AF_INET, box.Address().c_str(), &out->session.sin_addr) != 1) return false;
  const std::string calledText = box_emulator::NetbiosNameOf(box.DeviceName());
  out->called = platform::netbios::wire::MakeName(reinterpret_cast<const std::uint8_t*>(calledText.data()));
  std::memcpy(out->calling.data(), "BENCH-FLOOR     ", 16);
  return true;
}

}  // namespace bench

// Points the discovery queries and the wizard's UDP request transport at an emulated responder on
// the ports of this test, with 127.64.0.1 as the PC's one interface of the second port's answers.
#pragma once
#include <arpa/inet.h>

#include <array>
#include <cstdint>

#include "device_client/live_discovery/live_discovery.h"
#include "tools/box_emulator/udp_discovery.h"
#include "wizard_client/transport/wizard_transport.h"

namespace wizard_test {

inline void UseResponder(const box_emulator::UdpDiscovery& responder) {
  live_discovery::UdpSettings settings;
  settings.port = responder.port();
  std::array<std::uint8_t, 4> local{};
  ::inet_pton(AF_INET, "127.64.0.1", local.data());
  settings.localAddresses = {local};
  live_discovery::SetUdpSettings(settings);
  wizard::wizard_access::UdpSettings udp;
  udp.port = responder.port2();
  wizard::wizard_access::SetUdpSettings(udp);
}

}  // namespace wizard_test

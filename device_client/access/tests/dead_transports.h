// Transports of a PC where nothing works, for tests of the start-up refusals: a TCP (or SPX)
// provider whose sockets cannot be opened and a NetBIOS submitter that fails every command.
#pragma once
#include <cstdint>

#include "device_client/access/ncb.h"
#include "device_client/core/transport/transport.h"

namespace access_test {

// A stream provider whose sockets cannot be opened.
class DeadProvider : public core::StreamProvider {
 public:
  bool Probe() override { return false; }
  int Connect(const std::uint8_t (&)[20], const core::TransportParams&) override { return -1; }
};

// A PC without NetBIOS: every command fails.
inline std::uint8_t NoNetbios(NCB* ncb) {
  ncb->ncb_retcode = NRC_SYSTEM;
  ncb->ncb_cmd_cplt = NRC_SYSTEM;
  return NRC_SYSTEM;
}

}  // namespace access_test

// Entry points into the session layer of Netbios() for tests and fuzz targets: a session over a
// socket the caller connected, and the set-up of a CALL to a known address, without the local
// service or a name query.
#pragma once
#include <cstdint>

#include "platform/netbios/netbios.h"

namespace platform::netbios::testing {

// Makes a session of this program on `lana` over the connected stream socket `fd` (taken over,
// closed with the session), with the receive and send time-outs `rto` and `sto` (500 ms units,
// 0 = none). NRC_GOODRET with its number in *lsn; NRC_BRIDGE for a LANA that is not configured.
UCHAR AttachSession(int fd, UCHAR lana, UCHAR rto, UCHAR sto, UCHAR* lsn);

// What a CALL does once it knows the address: connects to address:port (host order), asks for a
// session to `called` from `calling` (16 bytes each) and reads the answer, within CallTimeoutMs.
// NRC_GOODRET with the connected socket in *fd (the caller closes it).
UCHAR OpenSessionTo(std::uint32_t address, std::uint16_t port, const UCHAR* called, const UCHAR* calling, int* fd);

}  // namespace platform::netbios::testing

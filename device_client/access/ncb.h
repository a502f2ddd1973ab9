// The console's NetBIOS calls above the shared control-block wrappers (device_client/core/ncb):
// the local name per LANA and the session send and timed receive.
#pragma once
#include <cstdint>

#include "device_client/core/ncb/ncb.h"
#include "device_client/core/transport/transport.h"

// A local NetBIOS name of the current LANA (registered on first use, then cached for the process):
// true with the 16-byte name (and NUL) and its name number; false when the LANA has no name cache
// (NetBIOS not started, LANA not enumerated) or all 64 candidates were refused.
bool GetAvailableName(char (&name)[17], std::uint8_t* nameNumber);

// Sends `length` bytes on a session: bytes sent or -1.
int SessionSend(std::uint8_t lsn, const void* buffer, int length, NCB* ncb);
// Receives one message of at most `size` bytes, waiting at most the library's NetBIOS receive wait
// (the receive is cancelled on time-out, then the pause after a time-out follows): bytes received
// or -1. A message that does not fit (NRC_INCOMP) is -1 as well.
int SessionReceiveTimed(std::uint8_t lsn, void* buffer, int size, NCB* ncb);
// The same with another library's waits.
int SessionReceiveTimed(std::uint8_t lsn, void* buffer, int size, NCB* ncb,
                        const core::TransportParams& params);

// The management protocol of an emulated box over an SPX connection: the same requests as over
// TCP, answered behind the 4-byte SPX reply header (more flag, error byte, uint16 LE length).
#pragma once

namespace box_emulator {

class Box;

// Serves one request on a connected SPX descriptor (a TCP socket under the IPX stand-in) through
// the box's own logic and closes the descriptor. A request that is malformed or incomplete within
// 5 seconds gets no answer. A restart request takes effect at once after its answer: the staged
// configuration becomes the running one (and a new loopback address moves the box's TCP side).
// A box that is switched off takes no request. The box's planned faults (Box::InjectFault) apply
// here as over TCP: the reply's shape, its delay, silence and the dripping replies.
void ServeSpxConnection(Box& box, int fd);

}  // namespace box_emulator

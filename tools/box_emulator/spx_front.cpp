#include "tools/box_emulator/spx_front.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <thread>

#include "platform/fd_io.h"
#include "tools/box_emulator/box_emulator.h"
#include "tools/box_emulator/framing.h"

namespace box_emulator {

void ServeSpxConnection(Box& box, int fd) {
  RequestAssembler assembler;
  while (assembler.state() == RequestAssembler::State::kNeedMore) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, 5000) <= 0) break;
    char buffer[4096];
    const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    assembler.Feed(std::string_view(buffer, static_cast<std::size_t>(n)));
  }
  if (assembler.state() != RequestAssembler::State::kComplete || !box.IsOn()) {
    ::close(fd);
    return;
  }
  CoreReply reply;
  box.WithCore([&](BoxCore& core) { reply = core.HandleRequest(assembler.data()); });
  const FaultPlan fault = box.TakeFault();
  const OutgoingReply outgoing = PlanReply(reply.data, reply.error, fault,
                                           fault.chunkSize.value_or(1024), ReplyHeader::kSpx);
  if (fault.delay.count() > 0) std::this_thread::sleep_for(fault.delay);
  if (fault.neverReply) {
    // Silent until the peer gives up.
    char buffer[512];
    while (::recv(fd, buffer, sizeof buffer, 0) > 0) {
    }
  } else if (Drips(fault)) {
    DripReply(
        outgoing, fault, ReplyHeader::kSpx,
        [fd](std::string_view piece) { return platform::SendAll(fd, piece.data(), piece.size()); },
        [&box] { return !box.IsOn(); });
  } else {
    const std::string bytes = outgoing.Bytes();
    platform::SendAll(fd, bytes.data(), bytes.size());
  }
  ::shutdown(fd, SHUT_WR);
  ::close(fd);
  if (reply.restart) {
    // Power cycle: the staged configuration starts running, the TCP side follows key 4000.
    box.SwitchOff();
    box.SwitchOn();
  }
}

}  // namespace box_emulator

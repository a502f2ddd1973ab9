#include "tools/box_emulator/wizard_commands.h"

#include "tools/box_emulator/box_core.h"

namespace box_emulator {

std::optional<CoreReply> HandleWizardCommand(BoxCore& core, int command) {
  const WizardFeatures& features = core.identity().wizard;
  CoreReply reply;
  switch (command) {
    case 9701: {
      if (!features.nameBlock9701) break;
      const auto block = core.ExtendedInfoBlock();
      reply.data.assign(block.begin(), block.end());
      reply.data += "IP:" + core.Get("4000").value_or("") + "\r\n";
      reply.data += "SPEED:100M\r\n";
      return reply;
    }
    case 9703:
      if (features.stateByte < 0) break;
      reply.data.assign(1, static_cast<char>(features.stateByte & 0xFF));
      return reply;
    case 9704:
      if (!features.probe9704) break;
      reply.data = "1";
      return reply;
    case 9700:
      reply.data = "OK";
      return reply;
    case 9030:
      reply.restart = true;
      return reply;
    default:
      return std::nullopt;
  }
  reply.error = 1;
  return reply;
}

}  // namespace box_emulator

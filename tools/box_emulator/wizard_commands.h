// The commands only the setup wizard sends: the extended name block with the box's address text
// ("9701:"), the state byte ("9703:"), the two probes ("9700:", "9704:") and the restart variant
// "9030:". The password check ("9036:"), the password line inside a configuration text and the
// address-list lines are the box core's.
#pragma once
#include <optional>
#include <string_view>

namespace box_emulator {

// What a box answers to the wizard's own commands.
struct WizardFeatures {
  bool nameBlock9701 = true;  // "9701:" answers the 144-byte name block, then "IP:" and "SPEED:"
  int stateByte = 0;          // the "9703:" reply byte; -1: the command fails
  bool probe9704 = true;      // "9704:" answers one byte
};

class BoxCore;
struct CoreReply;

// The reply to one of the wizard's commands, or nothing for a command that is not one of them.
std::optional<CoreReply> HandleWizardCommand(BoxCore& core, int command);

}  // namespace box_emulator

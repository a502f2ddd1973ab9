// Bytes from the network into the box: chunk reassembly, the command set, configuration lines and
// the password decoder.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "tools/box_emulator/box_core.h"
#include "tools/box_emulator/framing.h"
#include "tools/box_emulator/password_decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  box_emulator::RequestAssembler assembler;
  // Feed in two pieces so that partial headers are exercised.
  assembler.Feed(bytes.substr(0, size / 2));
  assembler.Feed(bytes.substr(size / 2));

  box_emulator::BoxCore core(box_emulator::BoxIdentity{}, "127.0.0.1");
  const std::string_view request =
      assembler.state() == box_emulator::RequestAssembler::State::kComplete ? std::string_view(assembler.data()) : bytes;
  const auto reply = core.HandleRequest(request);
  if (reply.restart) core.CompleteRestart();
  core.HandleRequest("9100:\r\n");
  box_emulator::FaultPlan fault;
  fault.errorChunk = size % 5;
  fault.replySize = size % 3000;
  box_emulator::PlanReply(reply.data, reply.error, fault, 1 + size % 512, box_emulator::ReplyHeader::kSpx).Bytes();

  std::string password;
  box_emulator::UnscramblePassword(bytes, &password);
  return 0;
}

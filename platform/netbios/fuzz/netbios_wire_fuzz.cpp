// Feeds arbitrary bytes to every reader of what the NetBIOS service takes in (it runs as root for
// the whole machine): the name service and datagram packets, the records in them, session headers
// and requests from the network, and the messages programs of any user send over its socket. What
// parses must build and parse again to the same packet.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "platform/netbios/nb_common.h"
#include "platform/netbios/nb_wire.h"

namespace wire = platform::netbios::wire;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  wire::NsPacket ns;
  if (wire::ParseNsPacket(data, size, ns)) {
    std::vector<std::uint8_t> again = wire::BuildNsPacket(ns);
    wire::NsPacket back;
    if (!wire::ParseNsPacket(again.data(), again.size(), back)) std::abort();
    if (back.questions.size() != ns.questions.size() || back.answers.size() != ns.answers.size()) std::abort();
    std::uint16_t flags = 0;
    std::uint32_t address = 0;
    for (const wire::NsRecord& r : ns.answers) wire::ReadNbRdata(r.rdata, flags, address);
    for (const wire::NsRecord& r : ns.additional) wire::ReadNbRdata(r.rdata, flags, address);
  }
  wire::Datagram d;
  if (wire::ParseDatagram(data, size, d)) {
    std::vector<std::uint8_t> again = wire::BuildDatagram(d);
    wire::Datagram back;
    if (!wire::ParseDatagram(again.data(), again.size(), back) || back.data != d.data) std::abort();
  }
  wire::Name called{}, calling{};
  wire::ParseSessionRequestBody(data, size, called, calling);
  if (size >= 4) {
    std::uint8_t type = 0;
    std::uint32_t length = 0;
    wire::ReadSessionHeader(data, type, length);
    if (length > 0x1FFFF) std::abort();  // 17 bits
  }
  // A program's message: its type and id, then the fields of each kind, read as the service and
  // the programs read them; and the service's settings in its greeting's answer.
  const std::vector<std::uint8_t> msg(data, data + size);
  platform::netbios::MsgReader rd(msg);
  std::uint8_t u8 = 0;
  std::uint16_t u16 = 0;
  std::uint32_t u32 = 0;
  wire::Name name{};
  if (rd.U8(u8) && rd.U32(u32) && rd.U8(u8) && rd.NameField(name) && rd.U16(u16)) rd.Rest();
  platform::netbios::MsgReader settings(msg);
  platform::netbios::Config cfg;
  if (platform::netbios::ReadServiceSettings(settings, cfg)) {
    if (cfg.lanas.empty() || cfg.lanas.size() > 16) std::abort();
    platform::netbios::MsgWriter w(platform::netbios::Msg::kResult, 0);
    platform::netbios::WriteServiceSettings(w, cfg);
    const std::vector<std::uint8_t> again(w.data().begin() + 5, w.data().end());
    platform::netbios::MsgReader back(again);
    platform::netbios::Config cfg2;
    if (!platform::netbios::ReadServiceSettings(back, cfg2) || cfg2.sessionPort != cfg.sessionPort) std::abort();
  }
  return 0;
}

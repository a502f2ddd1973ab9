#include "platform/netbios/nb_wire.h"

#include <cstring>

namespace platform::netbios::wire {

namespace {

void Put16(std::vector<std::uint8_t>& out, std::uint16_t v) {
  out.push_back(static_cast<std::uint8_t>(v >> 8));
  out.push_back(static_cast<std::uint8_t>(v));
}

void Put32(std::vector<std::uint8_t>& out, std::uint32_t v) {
  Put16(out, static_cast<std::uint16_t>(v >> 16));
  Put16(out, static_cast<std::uint16_t>(v));
}

bool Get16(const std::uint8_t* p, std::size_t n, std::size_t& off, std::uint16_t& v) {
  if (off + 2 > n) return false;
  v = static_cast<std::uint16_t>((p[off] << 8) | p[off + 1]);
  off += 2;
  return true;
}

bool Get32(const std::uint8_t* p, std::size_t n, std::size_t& off, std::uint32_t& v) {
  std::uint16_t hi = 0, lo = 0;
  if (!Get16(p, n, off, hi) || !Get16(p, n, off, lo)) return false;
  v = (static_cast<std::uint32_t>(hi) << 16) | lo;
  return true;
}

bool DecodeLabel(const std::uint8_t* label, Name& out) {
  for (int i = 0; i < 16; ++i) {
    int hi = label[2 * i] - 'A';
    int lo = label[2 * i + 1] - 'A';
    if (hi < 0 || hi > 15 || lo < 0 || lo > 15) return false;
    out[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>((hi << 4) | lo);
  }
  return true;
}

constexpr std::size_t kMaxRecords = 32;

bool ReadRecord(const std::uint8_t* p, std::size_t n, std::size_t& off, NsRecord& r) {
  if (!ReadEncodedName(p, n, off, r.name)) return false;
  std::uint16_t len = 0;
  if (!Get16(p, n, off, r.type) || !Get16(p, n, off, r.cls) || !Get32(p, n, off, r.ttl) ||
      !Get16(p, n, off, len))
    return false;
  if (off + len > n) return false;
  r.rdata.assign(p + off, p + off + len);
  off += len;
  return true;
}

void AppendRecord(std::vector<std::uint8_t>& out, const NsRecord& r) {
  AppendEncodedName(out, r.name);
  Put16(out, r.type);
  Put16(out, r.cls);
  Put32(out, r.ttl);
  Put16(out, static_cast<std::uint16_t>(r.rdata.size()));
  out.insert(out.end(), r.rdata.begin(), r.rdata.end());
}

}  // namespace

Name MakeName(const std::uint8_t* sixteenBytes) {
  Name n{};
  std::memcpy(n.data(), sixteenBytes, 16);
  return n;
}

std::string NameText(const Name& name) {
  std::string s;
  for (std::uint8_t c : name) {
    if (c >= 0x20 && c < 0x7F && c != '<') {
      s += static_cast<char>(c);
    } else {
      static const char* hex = "0123456789abcdef";
      s += '<';
      s += hex[c >> 4];
      s += hex[c & 15];
      s += '>';
    }
  }
  return s;
}

void AppendEncodedName(std::vector<std::uint8_t>& out, const Name& name) {
  out.push_back(0x20);
  for (std::uint8_t c : name) {
    out.push_back(static_cast<std::uint8_t>('A' + (c >> 4)));
    out.push_back(static_cast<std::uint8_t>('A' + (c & 0x0F)));
  }
  out.push_back(0x00);
}

bool ReadEncodedName(const std::uint8_t* p, std::size_t n, std::size_t& off, Name& out) {
  std::size_t pos = off;
  bool jumped = false;
  bool first = true;
  int hops = 0;
  for (;;) {
    if (pos >= n) return false;
    std::uint8_t len = p[pos];
    if ((len & 0xC0) == 0xC0) {
      if (pos + 1 >= n || ++hops > 8) return false;
      std::size_t target = (static_cast<std::size_t>(len & 0x3F) << 8) | p[pos + 1];
      if (!jumped) off = pos + 2;
      jumped = true;
      pos = target;
      continue;
    }
    if ((len & 0xC0) != 0) return false;
    if (len == 0) {
      if (first) return false;
      if (!jumped) off = pos + 1;
      return true;
    }
    if (pos + 1 + len > n) return false;
    if (first) {
      if (len != 32 || !DecodeLabel(p + pos + 1, out)) return false;
      first = false;
    }
    // Further labels are the scope; they are read past and not kept.
    pos += 1 + len;
  }
}

bool ParseNsPacket(const std::uint8_t* p, std::size_t n, NsPacket& out) {
  out = NsPacket{};
  std::size_t off = 0;
  std::uint16_t flags = 0, qd = 0, an = 0, ns = 0, ar = 0;
  if (!Get16(p, n, off, out.trnId) || !Get16(p, n, off, flags) || !Get16(p, n, off, qd) ||
      !Get16(p, n, off, an) || !Get16(p, n, off, ns) || !Get16(p, n, off, ar))
    return false;
  out.response = (flags & 0x8000) != 0;
  out.opcode = static_cast<std::uint8_t>((flags >> 11) & 0x0F);
  out.aa = (flags & 0x0400) != 0;
  out.tc = (flags & 0x0200) != 0;
  out.rd = (flags & 0x0100) != 0;
  out.ra = (flags & 0x0080) != 0;
  out.broadcast = (flags & 0x0010) != 0;
  out.rcode = static_cast<std::uint8_t>(flags & 0x0F);
  if (qd > kMaxRecords || an > kMaxRecords || ns > kMaxRecords || ar > kMaxRecords) return false;
  for (int i = 0; i < qd; ++i) {
    NsQuestion q;
    if (!ReadEncodedName(p, n, off, q.name) || !Get16(p, n, off, q.type) || !Get16(p, n, off, q.cls))
      return false;
    out.questions.push_back(q);
  }
  std::vector<NsRecord>* sections[3] = {&out.answers, &out.authority, &out.additional};
  std::uint16_t counts[3] = {an, ns, ar};
  for (int s = 0; s < 3; ++s) {
    for (int i = 0; i < counts[s]; ++i) {
      NsRecord r;
      if (!ReadRecord(p, n, off, r)) return false;
      sections[s]->push_back(std::move(r));
    }
  }
  return true;
}

std::vector<std::uint8_t> BuildNsPacket(const NsPacket& pk) {
  std::vector<std::uint8_t> out;
  Put16(out, pk.trnId);
  std::uint16_t flags = static_cast<std::uint16_t>((pk.opcode & 0x0F) << 11);
  if (pk.response) flags |= 0x8000;
  if (pk.aa) flags |= 0x0400;
  if (pk.tc) flags |= 0x0200;
  if (pk.rd) flags |= 0x0100;
  if (pk.ra) flags |= 0x0080;
  if (pk.broadcast) flags |= 0x0010;
  flags |= pk.rcode & 0x0F;
  Put16(out, flags);
  Put16(out, static_cast<std::uint16_t>(pk.questions.size()));
  Put16(out, static_cast<std::uint16_t>(pk.answers.size()));
  Put16(out, static_cast<std::uint16_t>(pk.authority.size()));
  Put16(out, static_cast<std::uint16_t>(pk.additional.size()));
  for (const NsQuestion& q : pk.questions) {
    AppendEncodedName(out, q.name);
    Put16(out, q.type);
    Put16(out, q.cls);
  }
  for (const auto* section : {&pk.answers, &pk.authority, &pk.additional})
    for (const NsRecord& r : *section) AppendRecord(out, r);
  return out;
}

NsPacket AnswerTo(const NsPacket& request, std::uint8_t opcode) {
  NsPacket answer;
  answer.trnId = request.trnId;
  answer.response = true;
  answer.opcode = opcode;
  answer.aa = true;
  answer.rd = request.rd;
  return answer;
}

std::vector<std::uint8_t> NbRdata(std::uint16_t flags, std::uint32_t address) {
  std::vector<std::uint8_t> out;
  Put16(out, flags);
  Put32(out, address);
  return out;
}

bool ReadNbRdata(const std::vector<std::uint8_t>& rdata, std::uint16_t& flags, std::uint32_t& address) {
  std::size_t off = 0;
  return Get16(rdata.data(), rdata.size(), off, flags) && Get32(rdata.data(), rdata.size(), off, address);
}

bool ParseDatagram(const std::uint8_t* p, std::size_t n, Datagram& out) {
  out = Datagram{};
  if (n < 14) return false;
  out.type = p[0];
  out.flags = p[1];
  if (out.type != kDgmDirectUnique && out.type != kDgmDirectGroup && out.type != kDgmBroadcast)
    return false;
  std::size_t off = 2;
  std::uint16_t length = 0, offset = 0;
  if (!Get16(p, n, off, out.id) || !Get32(p, n, off, out.sourceIp) || !Get16(p, n, off, out.sourcePort) ||
      !Get16(p, n, off, length) || !Get16(p, n, off, offset))
    return false;
  if ((out.flags & kDgmMoreFlag) != 0 || (out.flags & kDgmFirstFlag) == 0 || offset != 0) return false;
  std::size_t end = off + length;
  if (end > n) return false;
  if (!ReadEncodedName(p, end, off, out.source) || !ReadEncodedName(p, end, off, out.destination))
    return false;
  out.data.assign(p + off, p + end);
  return true;
}

std::vector<std::uint8_t> BuildDatagram(const Datagram& d) {
  std::vector<std::uint8_t> names;
  AppendEncodedName(names, d.source);
  AppendEncodedName(names, d.destination);
  std::vector<std::uint8_t> out;
  out.push_back(d.type);
  out.push_back(d.flags);
  Put16(out, d.id);
  Put32(out, d.sourceIp);
  Put16(out, d.sourcePort);
  Put16(out, static_cast<std::uint16_t>(names.size() + d.data.size()));
  Put16(out, 0);
  out.insert(out.end(), names.begin(), names.end());
  out.insert(out.end(), d.data.begin(), d.data.end());
  return out;
}

void PutSessionHeader(std::uint8_t type, std::uint32_t length, std::uint8_t out[4]) {
  out[0] = type;
  out[1] = static_cast<std::uint8_t>((length >> 16) & 0x01);
  out[2] = static_cast<std::uint8_t>(length >> 8);
  out[3] = static_cast<std::uint8_t>(length);
}

void ReadSessionHeader(const std::uint8_t in[4], std::uint8_t& type, std::uint32_t& length) {
  type = in[0];
  length = (static_cast<std::uint32_t>(in[1] & 0x01) << 16) | (static_cast<std::uint32_t>(in[2]) << 8) | in[3];
}

std::vector<std::uint8_t> BuildSessionRequest(const Name& called, const Name& calling) {
  std::vector<std::uint8_t> body;
  AppendEncodedName(body, called);
  AppendEncodedName(body, calling);
  std::vector<std::uint8_t> out(4);
  PutSessionHeader(kSsnRequest, static_cast<std::uint32_t>(body.size()), out.data());
  out.insert(out.end(), body.begin(), body.end());
  return out;
}

bool ParseSessionRequestBody(const std::uint8_t* p, std::size_t n, Name& called, Name& calling) {
  std::size_t off = 0;
  return ReadEncodedName(p, n, off, called) && ReadEncodedName(p, n, off, calling);
}

}  // namespace platform::netbios::wire

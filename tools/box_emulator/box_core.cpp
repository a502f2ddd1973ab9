#include "tools/box_emulator/box_core.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>

#include "device_client/core/wire_layout.h"
#include "tools/box_emulator/password_decoder.h"

namespace box_emulator {
namespace {

constexpr std::uint8_t kFailed = 1;

CoreReply Failed() {
  CoreReply r;
  r.error = kFailed;
  return r;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Splits at LF; a CR before the LF is dropped.
std::vector<std::string_view> Lines(std::string_view text) {
  std::vector<std::string_view> lines;
  while (!text.empty()) {
    const std::size_t lf = text.find('\n');
    std::string_view line = text.substr(0, lf);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.push_back(line);
    if (lf == std::string_view::npos) break;
    text.remove_prefix(lf + 1);
  }
  return lines;
}

void PutText(std::uint8_t* field, std::size_t size, const std::string& text) {
  const std::size_t n = std::min(text.size(), size - 1);  // always NUL-terminated
  std::memcpy(field, text.data(), n);
}

}  // namespace

std::string DefaultNameFor(const BoxIdentity& identity) {
  if (!identity.defaultName.empty()) return identity.defaultName;
  char buf[32];
  std::snprintf(buf, sizeof buf, "%s%02X%02X%02X", identity.namePrefix.c_str(),
                identity.hardwareAddress[3], identity.hardwareAddress[4],
                identity.hardwareAddress[5]);
  return buf;
}

std::string InitialDeviceNameFor(const BoxIdentity& identity) {
  if (!identity.deviceName.empty()) return identity.deviceName;
  char buf[32];
  std::snprintf(buf, sizeof buf, "PS-%02X%02X%02X", identity.hardwareAddress[3],
                identity.hardwareAddress[4], identity.hardwareAddress[5]);
  return buf;
}

BoxCore::BoxCore(BoxIdentity identity, std::string ipAddress) : identity_(std::move(identity)) {
  StartConfigured(ipAddress);
}

void BoxCore::StartConfigured(const std::string& ipAddress) {
  running_ = FactorySettings(DefaultName(), ipAddress, Ports());
  running_["0001"] = InitialDeviceNameFor(identity_);
  pending_ = running_;
  factoryPending_ = false;
}

std::optional<std::string> BoxCore::Get(std::string_view key) const {
  auto it = running_.find(std::string(key));
  if (it == running_.end()) return std::nullopt;
  return it->second;
}

std::optional<std::string> BoxCore::GetPending(std::string_view key) const {
  auto it = pending_.find(std::string(key));
  if (it == pending_.end()) return std::nullopt;
  return it->second;
}

bool BoxCore::Set(std::string_view key, std::string_view value) {
  if (!IsKnownKey(key)) return false;
  running_[std::string(key)] = std::string(value);
  pending_[std::string(key)] = std::string(value);
  return true;
}

void BoxCore::CompleteRestart() {
  running_ = pending_;
  if (factoryPending_) {
    password_.clear();
    netwarePassword_.clear();
    factoryPending_ = false;
  }
}

CoreReply BoxCore::HandleRequest(std::string_view request) {
  if (handled_.size() >= 256) handled_.erase(handled_.begin());
  handled_.emplace_back(request);
  // A command is a first line "9nnn:" (no blank before the colon); anything else is taken as
  // configuration lines "KKKK :value".
  const std::size_t lf = request.find('\n');
  std::string_view first = request.substr(0, lf);
  if (!first.empty() && first.back() == '\r') first.remove_suffix(1);
  if (first.size() >= 5 && first[0] == '9' && IsDigit(first[1]) && IsDigit(first[2]) &&
      IsDigit(first[3]) && first[4] == ':') {
    const int command = std::atoi(std::string(first.substr(0, 4)).c_str());
    return HandleCommand(command, first.substr(5));
  }
  return ApplyConfigurationText(request);
}

CoreReply BoxCore::HandleCommand(int command, std::string_view argument) {
  CoreReply reply;
  if (command == 9020) {
    for (std::size_t i = 0; i < statusScripts_.size(); ++i) {
      if (statusScripts_[i].empty()) continue;
      ports_[i] = std::move(statusScripts_[i].front());
      statusScripts_[i].pop_front();
    }
  }
  if (const auto canned = cannedReplies_.find(command); canned != cannedReplies_.end()) {
    reply.data = canned->second;
    return reply;
  }
  switch (command) {
    case 9002:
      reply.restart = true;
      return reply;
    case 9005:
    case 9035: {
      std::string decoded;
      if (UnscramblePassword(argument, &decoded) != PasswordDecodeResult::kDone) return Failed();
      (command == 9005 ? password_ : netwarePassword_) = decoded;
      return reply;
    }
    case 9036: {
      std::string decoded;
      if (UnscramblePassword(argument, &decoded) != PasswordDecodeResult::kDone) return Failed();
      if (decoded != password_) return Failed();
      return reply;
    }
    case 9006:
      pending_ = FactorySettings(DefaultName(), running_["4000"], Ports());
      factoryPending_ = true;
      return reply;
    case 9007: {
      const auto block = DeviceInfoBlock();
      reply.data.assign(block.begin(), block.end());
      return reply;
    }
    case 9010:
      reply.data = InformationText();
      return reply;
    case 9011:
      testPages_.push_back(1);
      return reply;
    case 9012:
      testPages_.push_back(2);
      return reply;
    case 9014:
      testPages_.push_back(3);
      return reply;
    case 9013:
      testPages_.push_back(101);
      return reply;
    case 9020:
      reply.data = PrinterStatusText();
      return reply;
    case 9037: {
      if (!(identity_.functionByte47 & wire::pid::kFuncExtendedName)) return Failed();
      const auto block = ExtendedInfoBlock();
      reply.data.assign(block.begin(), block.end());
      return reply;
    }
    case 9100:
      reply.data = FormatSettings(running_);
      return reply;
    case 9500:
    case 9601: {
      std::optional<std::string> answer = pjl_.Handle(command, argument);
      if (!answer) return Failed();
      reply.data = std::move(*answer);
      return reply;
    }
    default:
      if (auto wizardReply = HandleWizardCommand(*this, command)) return *wizardReply;
      return Failed();
  }
}

CoreReply BoxCore::ApplyConfigurationText(std::string_view text) {
  int lines = 0;
  bool restart = false;
  std::vector<std::string> listLines;
  for (std::string_view line : Lines(text)) {
    if (line.size() < 5 || !IsDigit(line[0]) || !IsDigit(line[1]) || !IsDigit(line[2]) ||
        !IsDigit(line[3])) {
      continue;
    }
    const std::size_t colon = line.find(':', 4);
    if (colon == std::string_view::npos) continue;
    // Only blanks may stand between the key and its colon.
    if (line.substr(4, colon - 4).find_first_not_of(' ') != std::string_view::npos) continue;
    const std::string_view key = line.substr(0, 4);
    const std::string_view value = line.substr(colon + 1);
    ++lines;
    if (key == "9002" && colon == 4 && value.empty()) {
      restart = true;  // a restart line closes a configuration text: the box restarts after it
    } else if (key == "9035") {
      std::string decoded;
      if (UnscramblePassword(value, &decoded) == PasswordDecodeResult::kDone) netwarePassword_ = decoded;
    } else if (key == "9300" || key == "9301") {
      listLines.emplace_back(line);
    } else if (IsKnownKey(key)) {
      pending_[std::string(key)] = NormaliseWrittenValue(key, value);
    }
  }
  if (lines == 0) return Failed();
  if (!listLines.empty()) addressListLines_ = std::move(listLines);
  CoreReply reply;
  reply.restart = restart;
  return reply;
}

std::array<std::uint8_t, 164> BoxCore::DeviceInfoBlock() const {
  namespace pid = wire::pid;
  std::array<std::uint8_t, 164> b{};
  b[pid::kPidVersion] = 0x01;
  std::copy(identity_.modelCode.begin(), identity_.modelCode.end(), b.begin() + pid::kModelCode);
  b[pid::kSerialPorts] = static_cast<std::uint8_t>(identity_.serialPorts & 0x0F);
  b[pid::kParallelPorts] = static_cast<std::uint8_t>((identity_.parallelPorts & 0x03) << 6);
  b[pid::kUsbPorts] = static_cast<std::uint8_t>((identity_.usbPorts & 0x03) << 6);
  std::copy(identity_.hardwareAddress.begin(), identity_.hardwareAddress.end(), b.begin() + 12);
  unsigned sum = 0;
  for (int i = pid::kHardwareId; i < pid::kHardwareId + pid::kHardwareIdSize; ++i) sum += b[static_cast<std::size_t>(i)];
  b[pid::kChecksum] = static_cast<std::uint8_t>(sum & 0xFF);
  b[pid::kChecksum + 1] = static_cast<std::uint8_t>((sum >> 8) & 0xFF);
  b[pid::kProductId] = 0x01;
  b[pid::kProductIdMask] = 0xFF;
  b[pid::kProductIdMask + 1] = 0xFF;
  b[pid::kProtocolId] = identity_.protocolByte42;
  b[pid::kProtocolId + 1] = identity_.protocolByte43;
  b[pid::kProtocolIdMask] = pid::kCapWireless;
  b[pid::kProtocolIdMask + 1] = 0x3F;
  b[pid::kFunctionId + 1] = identity_.functionByte47;
  b[pid::kFunctionIdMask + 1] = pid::kFuncExtendedName;
  b[pid::kFwVersion] = identity_.firmware[0];
  b[pid::kFwVersion + 1] = identity_.firmware[1];
  PutText(b.data() + pid::kDeviceName, pid::kNameSize, DeviceName());
  PutText(b.data() + pid::kDefaultName, pid::kNameSize, DefaultName());
  return b;
}

std::array<std::uint8_t, 144> BoxCore::ExtendedInfoBlock() const {
  std::array<std::uint8_t, 144> b{};
  std::copy(identity_.hardwareAddress.begin(), identity_.hardwareAddress.end(), b.begin());
  const std::string name = identity_.extendedName.empty() ? DeviceName() : identity_.extendedName;
  PutText(b.data() + wire::kExtendedInfoNameOffset,
          static_cast<std::size_t>(wire::kExtendedInfoSize - wire::kExtendedInfoNameOffset), name);
  return b;
}

std::string BoxCore::InformationText() const {
  char mac[32];
  const auto& a = identity_.hardwareAddress;
  std::snprintf(mac, sizeof mac, "%02X-%02X-%02X-%02X-%02X-%02X", a[0], a[1], a[2], a[3], a[4], a[5]);
  char fw[16];
  std::snprintf(fw, sizeof fw, "%u.%02u", identity_.firmware[0], identity_.firmware[1]);
  std::string t;
  t += "Default Name : " + DefaultName() + "\r\n";
  t += "Device Name : " + DeviceName() + "\r\n";
  t += std::string("Hardware Address : ") + mac + "\r\n";
  t += std::string("Firmware Version : ") + fw + "\r\n";
  t += "IP Address: " + Get("4000").value_or("") + "\r\n";
  return t;
}

void BoxCore::ScriptPortStatus(int port, std::vector<PortStatus> states) {
  std::deque<PortStatus>& script = statusScripts_.at(static_cast<std::size_t>(port - 1));
  script.assign(std::make_move_iterator(states.begin()), std::make_move_iterator(states.end()));
}

std::string BoxCore::PrinterStatusText() const {
  static const char* const kPortKeys[3] = {"0040", "0041", "0042"};
  const int ports = std::clamp(identity_.parallelPorts, 0, 3);
  std::string t;
  for (int i = 0; i < ports; ++i) {
    const PortStatus& p = ports_[static_cast<std::size_t>(i)];
    t += "(" + Get(kPortKeys[i]).value_or("") + ")STATE:" + p.state + "\r\n";
    t += "PRINTER STATUS:" + p.printerStatus + "\r\n";
    t += "BYTES SERVICED:" + p.bytesServiced + "\r\n";
    t += "OCCUPIED BY:" + p.occupiedBy + "\r\n";
  }
  return t;
}

}  // namespace box_emulator

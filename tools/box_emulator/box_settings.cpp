#include "tools/box_emulator/box_settings.h"

#include <arpa/inet.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>

#include "platform/ascii.h"

namespace box_emulator {
namespace {

std::string Key(int n) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "%04d", n);
  return buf;
}

// The factory values, for every key; the name and the address are filled in per box.
Settings BaseFactory() {
  Settings s;
  s["0001"] = "";
  for (int k : {11, 12, 13, 14}) s[Key(k)] = "ENABLE";
  s["0019"] = "DISABLE";
  s["0030"] = "9600";
  s["0031"] = "1";
  s["0032"] = "NONE";
  s["0033"] = "8";
  s["0034"] = "HARDWARE";
  s["0040"] = "P1";
  s["0041"] = "P2";
  s["0042"] = "P3";
  s["0043"] = "SP";
  for (int k : {501, 502, 503, 504}) s[Key(k)] = "ACK&BUSY";
  for (int k : {511, 512, 513, 514}) s[Key(k)] = "Enable";
  // The logical ports' targets depend on the box's ports (FactorySettings).
  for (int n = 0; n < 8; ++n) {
    int b = 100 + 20 * n;
    s[Key(b)] = "P1";
    s[Key(b + 1)] = "";
    s[Key(b + 2)] = "";
    s[Key(b + 3)] = "NO";
  }
  for (int k : {104, 124, 144}) s[Key(k)] = "0";
  s["2000"] = "PS";
  s["2001"] = "ENABLE";
  s["2002"] = "ENABLE";
  s["2003"] = "ENABLE";
  s["2004"] = "ENABLE";
  s["2101"] = "";
  s["2102"] = "NO";
  s["2103"] = "5";
  s["2110"] = "";
  s["2111"] = "";
  for (int k : {2501, 2502, 2503, 2504}) s[Key(k)] = "";
  s["3000"] = "*";
  for (int k : {3001, 3002, 3003, 3004}) s[Key(k)] = "LaserWriter";
  for (int k : {3101, 3102, 3103, 3104}) s[Key(k)] = "NO";
  s["3111"] = "0";
  s["4000"] = "";
  s["4001"] = "0.0.0.0";
  s["4002"] = "255.0.0.0";
  s["4010"] = "60";
  s["4011"] = "3";
  s["4020"] = "Disable";
  s["4021"] = "Disable";
  s["4022"] = "Disable";
  s["4100"] = "0.0.0.0";
  s["4101"] = "";
  s["4102"] = "";
  s["4103"] = "5";
  s["4104"] = "No";
  s["4105"] = "";
  s["4106"] = "P1";
  s["4107"] = "No";
  s["4108"] = "No";
  s["4109"] = "";
  s["5000"] = "WORKGROUP";
  s["5001"] = "NO";
  s["5002"] = "30";
  // Further NetBEUI strings that the setup wizard reads and writes.
  for (int k : {5003, 5101, 5102, 5103, 5104}) s[Key(k)] = "";
  s["6000"] = "";
  s["6001"] = "";
  for (int n = 1; n <= 4; ++n) {
    s[Key(6000 + 10 * n + 1)] = "0.0.0.0";
    s[Key(6000 + 10 * n + 2)] = "Read Only";
    s[Key(6000 + 10 * n + 3)] = "public";
    s[Key(6100 + 10 * n + 1)] = "0.0.0.0";
    s[Key(6100 + 10 * n + 2)] = "0";
    s[Key(6100 + 10 * n + 3)] = "public";
    s[Key(6100 + 10 * n + 4)] = "Disable";
  }
  s["6151"] = "Disable";
  s["7000"] = "ANY";
  s["7001"] = "";
  s["7002"] = "11";
  s["7003"] = "Disable";
  s["7004"] = "5";
  s["7005"] = "1";
  s["7006"] = "";
  s["7007"] = "";
  s["7008"] = "";
  s["7009"] = "";
  s["7010"] = "Disable";
  s["7011"] = "";
  s["7012"] = "1";
  s["7013"] = "0";
  s["7014"] = "Not associated";
  for (int k : {9200, 9201, 9202}) s[Key(k)] = "";
  return s;
}

const Settings& Base() {
  static const Settings base = BaseFactory();
  return base;
}

// Points the eight logical ports (keys 0100, 0120, ... 0240) at the box's own ports in turn.
void SetFactoryPortTargets(Settings& settings, BoxPorts ports) {
  std::vector<std::string> own;
  static const char* const kParallel[3] = {"P1", "P2", "P3"};
  for (int i = 0; i < std::clamp(ports.parallel, 0, 3); ++i) own.emplace_back(kParallel[i]);
  if (ports.serial > 0) own.emplace_back("SP");
  if (own.empty()) own.emplace_back("P1");
  for (std::size_t n = 0; n < 8; ++n) settings[Key(100 + 20 * static_cast<int>(n))] = own[n % own.size()];
}

}  // namespace

const std::vector<std::string>& KnownKeys() {
  static const std::vector<std::string> keys = [] {
    std::vector<std::string> k;
    for (const auto& [key, value] : Base()) k.push_back(key);
    return k;
  }();
  return keys;
}

bool IsKnownKey(std::string_view key) { return Base().count(std::string(key)) != 0; }

Settings FactorySettings(const std::string& defaultName, const std::string& ipAddress,
                         BoxPorts ports) {
  Settings s = Base();
  s["0001"] = defaultName;
  s["4000"] = ipAddress;

  SetFactoryPortTargets(s, ports);

  in_addr a{};
  in_addr m{};
  if (inet_pton(AF_INET, ipAddress.c_str(), &a) == 1 && inet_pton(AF_INET, s["4002"].c_str(), &m) == 1) {
    const std::uint32_t host = ntohl(a.s_addr);
    const std::uint32_t net = host & ntohl(m.s_addr);
    std::uint32_t gateway = net | 1u;
    if (gateway == host) gateway = net | 2u;
    if (host != net) {
      const in_addr g{htonl(gateway)};
      char text[INET_ADDRSTRLEN] = {};
      if (inet_ntop(AF_INET, &g, text, sizeof text) != nullptr) s["4001"] = text;
    }
  }
  return s;
}

std::string FormatSettings(const Settings& settings) {
  std::string text;
  for (const auto& [key, value] : settings) {
    text += key;
    text += " :";
    text += value;
    text += "\r\n";
  }
  return text;
}

std::string NormaliseWrittenValue(std::string_view key, std::string_view value) {
  if (key == "0501" || key == "0502" || key == "0503" || key == "0504") {
    if (platform::EqualsNoCase(value, "ACK")) return "ACK&BUSY";
  }
  return std::string(value);
}

}  // namespace box_emulator

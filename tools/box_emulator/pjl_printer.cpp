#include "tools/box_emulator/pjl_printer.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>

namespace box_emulator {

namespace {

constexpr std::string_view kExitLanguage = "\x1b%-12345X";

PjlSetting Enumerated(std::string name, std::string value, std::vector<std::string> choices,
                      bool readOnly = false) {
  return PjlSetting{std::move(name), std::move(value), true, readOnly, std::move(choices)};
}

PjlSetting Range(std::string name, std::string value, std::string low, std::string high) {
  return PjlSetting{std::move(name), std::move(value), false, false, {std::move(low), std::move(high)}};
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

// Collapses runs of blanks into one ("LPARM:PCL   PITCH" names the same variable).
std::string SingleBlanks(std::string_view s) {
  std::string out;
  for (char c : s) {
    if (c == ' ' || c == '\t') {
      if (!out.empty() && out.back() != ' ') out += ' ';
    } else {
      out += c;
    }
  }
  while (!out.empty() && out.back() == ' ') out.pop_back();
  return out;
}

std::string Upper(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return out;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

std::optional<std::string> FromHex(std::string_view hex) {
  if (hex.size() % 2 != 0) return std::nullopt;
  std::string out;
  for (std::size_t i = 0; i < hex.size(); i += 2) {
    const int hi = HexValue(hex[i]);
    const int lo = HexValue(hex[i + 1]);
    if (hi < 0 || lo < 0) return std::nullopt;
    out += static_cast<char>(hi * 16 + lo);
  }
  return out;
}

bool IsNumber(std::string_view s, bool allowFraction) {
  if (s.empty()) return false;
  bool digit = false;
  bool dot = false;
  for (char c : s) {
    if (c >= '0' && c <= '9') {
      digit = true;
    } else if (c == '.' && allowFraction && !dot) {
      dot = true;
    } else {
      return false;
    }
  }
  return digit;
}

}  // namespace

PjlPrinter::PjlPrinter() {
  settings_ = {
      Range("COPIES", "1", "1", "999"),
      Enumerated("PAPER", "LETTER", {"LETTER", "LEGAL", "A4", "EXECUTIVE", "COM10", "DL"}),
      Enumerated("ORIENTATION", "PORTRAIT", {"PORTRAIT", "LANDSCAPE"}),
      Range("FORMLINES", "60", "5", "128"),
      Enumerated("MANUALFEED", "OFF", {"OFF", "ON"}),
      Enumerated("RET", "MEDIUM", {"OFF", "LIGHT", "MEDIUM", "DARK"}),
      Enumerated("PAGEPROTECT", "AUTO", {"AUTO", "OFF", "LETTER", "LEGAL", "A4"}),
      Enumerated("RESOLUTION", "600", {"300", "600"}),
      Enumerated("PERSONALITY", "AUTO", {"AUTO", "PCL", "POSTSCRIPT"}),
      Range("TIMEOUT", "15", "5", "300"),
      Enumerated("MPTRAY", "FIRST", {"MANUAL", "CASSETTE", "FIRST"}),
      Enumerated("INTRAY1", "UNLOCKED", {"UNLOCKED", "LOCKED"}),
      Enumerated("INTRAY1SIZE", "LETTER", {"LETTER"}, true),
      Enumerated("CLEARABLEWARNINGS", "ON", {"JOB", "ON"}),
      Enumerated("AUTOCONT", "OFF", {"OFF", "ON"}),
      Range("DENSITY", "3", "1", "5"),
      Enumerated("LOWTONER", "ON", {"OFF", "ON"}),
      Enumerated("LANG", "ENGLISH", {"ENGLISH", "FRENCH", "GERMAN"}),
      Enumerated("LPARM:PCL FONTSOURCE", "I", {"I", "S"}),
      Range("LPARM:PCL FONTNUMBER", "0", "0", "50"),
      Range("LPARM:PCL PITCH", "10.00", "0.44", "99.99"),
      Range("LPARM:PCL PTSIZE", "12.00", "4.00", "999.75"),
      Enumerated("LPARM:PCL SYMSET", "ROMAN8", {"ROMAN8", "PC8", "ISOL1", "PC850"}, true),
      Enumerated("LPARM:POSTSCRIPT PRTPSERRS", "OFF", {"OFF", "ON"}),
  };
}

const PjlSetting* PjlPrinter::Find(std::string_view name) const {
  for (const PjlSetting& s : settings_) {
    if (s.name == name) return &s;
  }
  return nullptr;
}

void PjlPrinter::Define(PjlSetting setting) {
  for (PjlSetting& s : settings_) {
    if (s.name == setting.name) {
      s = std::move(setting);
      return;
    }
  }
  settings_.push_back(std::move(setting));
}

std::string PjlPrinter::AnswerBidirectionalTest() const {
  if (bidirectionalAnswer) return *bidirectionalAnswer;
  if (status != '0') return std::string(1, status);
  if (!bidirectional) return "1";
  return "0" + deviceId;
}

std::string PjlPrinter::InfoVariables() const {
  if (infoVariablesAnswer) return *infoVariablesAnswer;
  std::string out = "@PJL INFO VARIABLES\r\n";
  for (const PjlSetting& s : settings_) {
    out += s.name + "=" + s.value + " [" + std::to_string(s.choices.size()) + " " +
           (s.enumerated ? "ENUMERATED" : "RANGE") + (s.readOnly ? " READONLY" : "") + "]\r\n";
    for (const std::string& choice : s.choices) out += "\t" + choice + "\r\n";
  }
  out += "\f";
  return out;
}

bool PjlPrinter::TakeDefault(std::string_view name, std::string_view value) {
  for (PjlSetting& s : settings_) {
    if (s.name != name) continue;
    if (s.readOnly) return false;
    if (s.enumerated) {
      const std::string wanted = Upper(value);
      for (const std::string& choice : s.choices) {
        if (Upper(choice) == wanted) {
          s.value = choice;
          return true;
        }
      }
      return false;
    }
    bool fraction = false;
    for (const std::string& bound : s.choices) fraction = fraction || bound.find('.') != std::string::npos;
    if (!IsNumber(value, fraction || s.choices.empty())) return false;
    const double v = std::strtod(std::string(value).c_str(), nullptr);
    if (s.choices.size() == 1 && v != std::strtod(s.choices[0].c_str(), nullptr)) return false;
    if (s.choices.size() >= 2 && (v < std::strtod(s.choices[0].c_str(), nullptr) ||
                                  v > std::strtod(s.choices[1].c_str(), nullptr))) {
      return false;
    }
    s.value = std::string(value);
    return true;
  }
  return false;
}

std::string PjlPrinter::AnswerJob(std::string_view job) {
  jobs_.emplace_back(job);
  if (status != '0') return std::string(1, status);
  if (!bidirectional) return "1";
  std::string reply = "0";
  if (!speaksPjl) return reply;

  // Drop the exit-language sequences; what remains are PJL lines.
  std::string text(job);
  for (std::size_t at; (at = text.find(kExitLanguage)) != std::string::npos;) {
    text.erase(at, kExitLanguage.size());
  }
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string_view line(text.data() + start, end - start);
    start = end + 1;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    line = Trim(line);
    if (line.size() < 4 || Upper(line.substr(0, 4)) != "@PJL") continue;
    std::string_view rest = Trim(line.substr(4));
    const std::size_t blank = rest.find(' ');
    const std::string command = Upper(rest.substr(0, blank));
    std::string_view operand = blank == std::string_view::npos ? "" : Trim(rest.substr(blank));

    if (command == "INFO") {
      const std::string category = Upper(operand);
      if (category == "VARIABLES") {
        reply += InfoVariables();
      } else if (category == "STATUS") {
        reply += "@PJL INFO STATUS\r\nCODE=10001\r\nDISPLAY=\"" + display + "\"\r\nONLINE=TRUE\r\n\f";
      } else if (category == "ID") {
        const std::size_t mdl = deviceId.find("MDL:");
        std::string model = mdl == std::string::npos ? "" : deviceId.substr(mdl + 4);
        model = model.substr(0, model.find(';'));
        reply += "@PJL INFO ID\r\n\"" + model + "\"\r\n\f";
      } else {
        reply += "@PJL INFO " + std::string(operand) + "\r\n\"?\"\r\n\f";
      }
    } else if (command == "DEFAULT" || command == "SET") {
      const std::size_t eq = operand.find('=');
      if (eq == std::string_view::npos) continue;
      const std::string name = Upper(SingleBlanks(operand.substr(0, eq)));
      const std::string value(Trim(operand.substr(eq + 1)));
      if (command == "SET") continue;  // a job-only setting: nothing lasting
      if (TakeDefault(name, value)) {
        defaultsTaken_.push_back(name + "=" + value);
      } else {
        defaultsRefused_.push_back(name + "=" + value);
      }
    } else if (command == "ECHO") {
      reply += "@PJL ECHO " + std::string(operand) + "\r\n\f";
    }
  }
  return reply;
}

PjlPrinter& PjlPorts::printer(int port) {
  switch (port) {
    case 2:
      return printers_[1];
    case 3:
      return printers_[2];
    case 101:
      return printers_[3];
    default:
      return printers_[0];
  }
}

std::optional<std::string> PjlPorts::Handle(int command, std::string_view argument) {
  if (command != 9500 && command != 9601) return std::nullopt;
  const std::string_view body = Trim(argument);
  // "<token><4 digits><payload>"
  if (body.size() < 6) return std::string("3");
  const std::string_view token = body.substr(0, 2);
  int port = 0;
  if (token == "P1") {
    port = 1;
  } else if (token == "P2") {
    port = 2;
  } else if (token == "P3") {
    port = 3;
  } else if (token == "SP") {
    port = 101;
  } else {
    return std::string("3");
  }
  for (char c : body.substr(2, 4)) {
    if (c < '0' || c > '9') return std::string("3");
  }
  const std::string_view payload = body.substr(6);
  PjlPrinter& p = printer(port);
  if (command == 9500) return p.AnswerBidirectionalTest();
  const std::optional<std::string> job = FromHex(payload);
  if (!job || job->empty()) return std::string("3");
  return p.AnswerJob(*job);
}

}  // namespace box_emulator

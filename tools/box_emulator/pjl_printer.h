// Printers on the emulated box's ports, as far as the management protocol reaches them: the
// bidirectional test ("9500:") and the PJL pass-through ("9601:").
//
// Both requests name the port by a token right after the command and its blank ("P1", "P2", "P3",
// "SP"), then four digits, then their payload: "9500:" a question text (ignored), "9601:" the PJL
// job as hexadecimal text (two digits per byte). Each reply starts with the box's status byte of
// the pass-through: '0' delivered (the printer's answer follows), '1' printer off line, not
// responding or not bidirectional, '2' printer busy printing, '3' command parameter invalid.
//
// The PJL printer understands, inside Universal Exit Language framing, the commands
//   @PJL INFO VARIABLES   every environment variable: "NAME=VALUE [n RANGE|ENUMERATED]" with
//                         " READONLY" for fixed ones, then its allowed values (a range: minimum
//                         and maximum) on TAB-indented lines; the answer ends with a form feed
//   @PJL INFO STATUS      CODE, DISPLAY and ONLINE lines
//   @PJL INFO ID          the model in quotes
//   @PJL DEFAULT n = v    sets the default of a variable that is writable and takes v
//   @PJL SET n = v        accepted, changes nothing lasting
//   @PJL ECHO text        echoes the text
// and answers each INFO and ECHO command with its name line followed by the answer and a form
// feed. Not thread-safe: the box core's owner serialises calls.
#pragma once
#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace box_emulator {

struct PjlSetting {
  std::string name;  // full PJL name, "LPARM:PCL PITCH" for a language parameter
  std::string value;
  bool enumerated = true;  // false: a numeric range
  bool readOnly = false;
  // Enumerated: the allowed values. Range: minimum and maximum as text.
  std::vector<std::string> choices;
};

// One printer behind one port.
class PjlPrinter {
 public:
  PjlPrinter();

  // The bidirectional-test reply for this printer.
  std::string AnswerBidirectionalTest() const;
  // The pass-through reply for one decoded PJL job.
  std::string AnswerJob(std::string_view job);

  // ---- Behaviour ---------------------------------------------------------------------------
  // A printer that does not talk back: '1' to both requests.
  bool bidirectional = true;
  // '0' ready; '1' off line, '2' busy printing, '3' (the box refuses the parameters).
  char status = '0';
  // The IEEE 1284 device id reported by the bidirectional test.
  std::string deviceId = "MFG:Emulated Printers;CMD:PJL,PCL;MDL:Laser 4;CLS:PRINTER;";
  // Replaces the whole bidirectional-test reply (status byte included) when set.
  std::optional<std::string> bidirectionalAnswer;
  // A printer that understands no PJL: it takes the job and answers nothing.
  bool speaksPjl = true;
  // Replaces the whole INFO VARIABLES answer (after the status byte) when set.
  std::optional<std::string> infoVariablesAnswer;
  std::string display = "READY";

  // ---- Variables ---------------------------------------------------------------------------
  std::vector<PjlSetting>& settings() { return settings_; }
  const PjlSetting* Find(std::string_view name) const;
  // Replaces the variable of the same name, or adds it at the end. A range with fewer than two
  // bounds takes any number (none) or only its one value.
  void Define(PjlSetting setting);
  // The DEFAULT commands taken, as "NAME=VALUE", and those refused.
  const std::vector<std::string>& defaultsTaken() const { return defaultsTaken_; }
  const std::vector<std::string>& defaultsRefused() const { return defaultsRefused_; }
  // Every job received, decoded.
  const std::vector<std::string>& jobs() const { return jobs_; }

 private:
  std::string InfoVariables() const;
  bool TakeDefault(std::string_view name, std::string_view value);

  std::vector<PjlSetting> settings_;
  std::vector<std::string> defaultsTaken_;
  std::vector<std::string> defaultsRefused_;
  std::vector<std::string> jobs_;
};

// The printers of the box's four ports (P1, P2, P3, SP) and the dispatch of "9500:" and "9601:".
class PjlPorts {
 public:
  // Port 1, 2, 3, or 101 for the serial port.
  PjlPrinter& printer(int port);

  // The reply to "9500:" / "9601:" with the text after the colon; nullopt when the request is
  // so malformed that the box fails the command.
  std::optional<std::string> Handle(int command, std::string_view argument);

 private:
  std::array<PjlPrinter, 4> printers_;
};

}  // namespace box_emulator

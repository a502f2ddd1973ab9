// The PJL texts that travel through a print server's pass-through commands: the port tokens of
// "9500:" and "9601:", the framed INFO VARIABLES and DEFAULT requests, the reader of a printer's
// INFO VARIABLES answer and the model look-up in an IEEE 1284 device id. Pure text work, no I/O.
#pragma once
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace pjl {

// Print-server ports as the device calls name them.
constexpr int kPortP1 = 1;
constexpr int kPortP2 = 2;
constexpr int kPortP3 = 3;
constexpr int kPortSerial = 101;

constexpr int kVariableCount = 28;
constexpr int kMaxVariableIndex = 28;  // indices run 0..28; 3 names no variable

// One row of the variable table: the PJL name and its index.
struct VariableName {
  const char* name;
  int index;
};
// The 28 variables in record order (AUTOCONT first, LPARM:POSTSCRIPT PRTPSERRS last).
extern const VariableName kVariableTable[kVariableCount];

// The largest framed PJL text a pass-through request may carry.
constexpr std::size_t kMaxFramedText = 1023;
// The longest value a DEFAULT request accepts.
constexpr std::size_t kMaxValueLength = 255;
// At most this many allowed values are kept per variable; further ones are read and dropped.
constexpr std::size_t kMaxChoices = 256;

// "P1", "P2", "P3", "SP" for ports 1, 2, 3, 101; nullptr for any other port.
const char* PortToken(int port);

// "9500: <token>0000Am I a bidirectional printer?\n"; empty for an unknown port.
std::string BidirectionalRequest(int port);
// "9601: <token>0000<hex>\n"; empty for an unknown port.
std::string PassThroughRequest(int port, std::string_view hex);

// The Universal Exit Language sequence that opens and closes every PJL job.
inline constexpr std::string_view kUel = "\x1b%-12345X";

// UEL "@PJL" CR LF, "@PJL INFO VARIABLES" CR LF, UEL.
std::string FrameInfoVariables();
// UEL "@PJL" CR LF, "@PJL DEFAULT <name> = <value> " CR LF "@PJL ECHO "echo" " CR LF, UEL.
std::string FrameDefault(std::string_view name, std::string_view value);

// Whether a value may go into a DEFAULT line: not empty, at most kMaxValueLength bytes, and no
// control character (CR, LF, ESC, ... below 0x20, and 0x7F) and no double quote, so it can neither
// end the PJL line, leave the PJL job nor open a quoted string.
bool IsAcceptableValue(std::string_view value);

// The model in an IEEE 1284 device id: after the first key found of "MODEL:", "model:", "MDL:",
// "mdl:" (tried in this order), up to the next ';' or the end. Empty when no key occurs.
std::string ModelFromDeviceId(std::string_view deviceId);

// One entry of an INFO VARIABLES answer as it was read off the text.
struct RawEntry {
  std::string line;                 // the entry line, CRs dropped, trimmed
  std::vector<std::string> values;  // the indented lines that follow it
};

// The text a reader works on: the bytes up to the first NUL within the given length.
struct AnswerText {
  explicit AnswerText(std::string_view bytes);
  std::string_view text;
  bool endsAtNul = false;  // a NUL byte ended the text (rather than its length)
};

constexpr std::size_t kEnd = static_cast<std::size_t>(-1);

// Reads the entry that starts at `pos`. 0: `entry` holds an entry line (it has a '=' after its
// first character) and its allowed values; -1: no entry here (an empty line, a line without '=',
// or the text ended inside the line). `next` is where reading goes on, kEnd when the answer is
// over (it ended with a form feed, or inside a line).
int ReadVariableEntry(const AnswerText& answer, std::size_t pos, RawEntry& entry,
                      std::size_t& next);

// Empties `token`, then copies the characters of `text` from `start` up to the first `stop` or the
// end of the text (nothing when start lies at or past the end). Always 0.
int ExtractToken(std::string_view text, std::size_t start, char stop, std::string& token);

// A variable read from an INFO VARIABLES answer.
struct ParsedVariable {
  std::string name;      // everything before the first '='
  std::string language;  // for "LPARM:<word> ...": the word; else empty
  std::string value;     // after '=' up to the next blank
  int readOnly = 0;      // 1: marked READONLY
  int valueType = 0;     // 1 RANGE, 2 ENUMERATED
  std::vector<std::string> choices;
};

struct ParseResult {
  std::vector<ParsedVariable> variables;  // in the order of the answer; names not yet checked
  bool notAvailable = false;              // the printer answered with a line "?" in quotes
};

// Reads every entry of an INFO VARIABLES answer (text from the "PJL INFO VARIABLES" echo on, up to
// the first NUL or its end). An entry whose brackets name neither ENUMERATED nor RANGE ends the
// reading; the entries before it stay. -2 for an empty text, else 0.
int ParseVariableEntries(std::string_view bytes, ParseResult& result);

}  // namespace pjl

// The texts behind the device dialogs, free of any window: the per-port blocks of the box's
// printer-status text, the lines of a direct command's reply and the checks of a PJL value the
// user types. Everything here reads text that came from the network or the user: any input gives
// a result, never a read outside it.
#pragma once
#include <cstddef>
#include <list>
#include <string>
#include <vector>

namespace device_dialogs {

// String-table ids of the device dialogs' messages.
constexpr int IDS_NEED_VALUE_BETWEEN = 32877;
constexpr int IDS_NEED_INPUT_DATA = 32878;
constexpr int IDS_ILLEGAL_INPUT_DATA = 32879;
constexpr int IDS_PRINTER_NOT_ON_LINE = 32895;
// Registers the texts above (and the result messages of CComMethod); harmless to call again.
void RegisterDeviceDialogStrings();

// Shows a device call's result (CComMethod::ShowResult) with g_bResultShown cleared right before
// and right after, so that the flag tells only whether some other result box is open.
void ReportResult(int result);

// The name a port goes by in the status text: the port's configured name when there is one, else
// "P1", "P2", "P3" (ports 1-3) or "SP" (101); empty for any other port.
std::string PortToken(int port, const std::string& configuredName);

// One port's block of the printer-status text.
struct PortStatusBlock {
  bool found = false;  // the port's "(<token>)STATE" key occurs in the text
  std::string state;   // the port's state line
  std::string printerStatus;
  std::string bytesServiced;
  std::string occupiedBy;
};

// Cuts the block of port `token` out of the status text: after "(" token ")STATE" and one
// separator character, up to the next "(". The state line runs to the first "\r\n"; "PRINTER
// STATUS", then "BYTES SERVICED", then "OCCUPIED BY" are each read (after one separator) to the
// next "\r\n" only when the one before was found. A value without its "\r\n" stays empty.
PortStatusBlock ParsePortStatus(const std::string& text, const std::string& token);
// The printer takes configuration: its status says "On-Line" and the port's state "Idle".
bool IsOnLineAndIdle(const PortStatusBlock& block);

// The lines of a direct command's reply: the buffer's text up to its first NUL (or its whole
// capacity when there is none), one entry per "\n"-ended line (a "\r" before it stays), each cut
// to kReplyLineChars characters; the text after the last "\n" is not listed.
constexpr std::size_t kReplyLineChars = 49;
std::vector<std::string> SplitReplyLines(const char* buffer, std::size_t capacity);

// The check of a value typed for a numeric PJL variable.
struct ValueCheck {
  bool ok = false;
  std::string value;    // what is sent when ok
  int messageId = 0;    // when refused: the string id
  std::string message;  // and the whole text shown
};
// Whole numbers ("COPIES", ...): blanks removed, leading zeros dropped, digits only, inside the
// range when `bounds` holds a minimum and a maximum. With fewer than two bounds only the form is
// checked and the printer judges the value.
ValueCheck CheckWholeNumber(const std::string& typed, const std::list<std::string>& bounds);
// Decimal numbers ("PITCH", "PTSIZE"): as above with one optional '.' not at the end. A zero
// typed before the point stays ("0.5" is sent as 0.5).
ValueCheck CheckDecimalNumber(const std::string& typed, const std::list<std::string>& bounds);

}  // namespace device_dialogs

// The rules behind the monitor's port dialogs (Add Port, Output Select): output labels and port
// indexes of a box's layout, the suggested port name, the checks of a typed port name and the
// decoding of the box's device-information reply. Free of any window.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace brandel {

// Parallel ports (bits 0-1), USB ports (bits 2-3), serial port (a value above 15).
struct BoxLayout {
  int parallel = 0, usb = 0, serial = 0;
};
BoxLayout LayoutOfBoxType(std::uint8_t boxType);

// "Parallel n", "USB n", "Serial" or "Logical Port n" of a port index. USB ports are numbered from
// 1 within the USB ports, in both directions, so that a stored index survives the edit dialog.
std::string PortLabelFromIndex(int index, std::uint8_t boxType);
// The port index of a label; -1 for a label the box does not have.
int PortIndexFromLabel(const std::string& label, std::uint8_t boxType);

// The Output Select list: "Parallel n     ON-Line"/"OFF-Line", "USB n     ...", "Serial", then the
// logical ports (three when the box has a single output, else eight).
std::vector<std::string> OutputSelectLines(std::uint8_t boxType, std::uint16_t onlineMask);

// The port name the dialog suggests: the first 8 characters of the device name and "_P1", "_P2",
// "_P3" for the three parallel ports, "_PN" for every other output.
std::string SuggestedPortName(const std::string& deviceName, const std::string& label);

// Checks of a typed port name: 0 when it may be used, else the message id (717 empty, 501 a
// blank (one trailing ':' ignored) or a character the port list cannot hold).
int CheckTypedPortName(const std::string& name);

// The box type and the device number from the reply to the device-information request (the
// 5-byte reply header included); false for a reply shorter than 56 bytes.
bool DecodeBoxTypeReply(const std::uint8_t* reply, std::size_t length, std::uint8_t* boxType, long* number);

}  // namespace brandel

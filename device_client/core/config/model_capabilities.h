// What each model of print server has, by model index: the one table every by-model decision of
// the console (view, settings pages, page store, restore to defaults) and of the wizard reads.
//
// The model index is what mGetDevicePortType gives: 0..23 from the console's model-code table
// (0..25 from the wizard's, which adds 24 and 25), refined by the port counts of the
// device-information block; any other value is the raw code of a model that no table knows (or a
// negative value from a caller) and gets the plain one-port row, so every page can be shown and
// left. docs/capabilities.md gives the reasons for each row.
#pragma once
#include <string>

namespace config {

// Index of a physical port in the four physical-port records (P1, P2, P3, serial port).
constexpr int kPortP1 = 0;
constexpr int kPortP2 = 1;
constexpr int kPortP3 = 2;
constexpr int kPortSerial = 3;

// Rows 0..25: the models the console's (0..23) and the wizard's (24, 25) tables name.
constexpr int kModelTableRows = 26;

struct ModelCapabilities {
  bool bTableModel = false;  // a row of the table; false: raw code or negative value
  int iParallelPorts = 1;    // P1 .. P<n>, 1 to 3
  bool bSerialPort = false;
  bool bUsbPort = false;
  int iLogicalPorts = 3;  // 3 or 8
  // The physical ports a port list offers, in list order, as record indexes (kPortP1..kPortSerial):
  // the parallel ports, then the serial port.
  int iPhysicalPortCount = 1;
  int aPhysicalPorts[4] = {kPortP1, -1, -1, -1};
  int iRemotePrinters = 1;  // NetWare remote-printer names offered: P1 .. P<n>
  int iAppleTalkPorts = 1;  // AppleTalk printer types and protocols offered: P1 .. P<n>
  bool bTokenRing = false;  // Token-Ring frame types instead of the four Ethernet ones
};

// The row of a model index; any value outside 0..25 gives the one-port row with bTableModel false.
const ModelCapabilities& ModelCapabilitiesOf(int modelType);

// Whether the model has parallel port 1, 2 or 3 (any other port number: false).
bool ModelHasParallelPort(int modelType, int port);

// The record index of the physical port at position `entry` of the model's port list, or -1 when
// the list has no such entry (a negative entry included).
int ModelPhysicalPortAt(int modelType, int entry);

// The position of a physical-port record in the model's port list, or -1 when it is not listed.
int ModelPhysicalPortEntry(int modelType, int recordIndex);

// Factory choice of the physical port that logical port n (1..8) prints to: the model's parallel
// ports in turn (P1, P2, P3, P1, ...), so a logical port never names a port the box lacks. Returns
// a record index (kPortP1..kPortP3); n outside 1..8 gives kPortP1.
int ModelDefaultLogicalPortTarget(int modelType, int logicalPort);

// What a model's display name says of its ports, from its row: the network port when it is not
// Ethernet ("token ring"), then the parallel ports ("3 parallel"; a model whose first printer port
// is a USB port says "USB" for it) and the serial port ("1 serial"), joined by ", ". Empty for a
// value outside the table.
std::string ModelPortText(int modelType);
// The ports a box prints to, counted: "1 port", "2 ports"; empty outside the table.
std::string ModelPortCountText(int modelType);
// A model's display name: its label, then in brackets its feature word (none when null or empty)
// and ModelPortText: "PS-3110 (3 parallel, 1 serial)", "PS-5100 (wireless, 1 parallel)". Names
// take their port text from here only, so that no name says what the table does not.
std::string ModelDisplayName(const char* label, const char* feature, int modelType);

}  // namespace config

// The port-adding program's work without its window: the browse of the print servers with their
// ports and printers, the port name, the hand-over record for the print monitor, the port creation
// through the spooler stand-in (or as a standard TCP/IP port with an LPD device URI) and the start
// of the desktop's printer set-up.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "device_client/access/access.h"

namespace dapsel {

// The program's strings (message ids as the dialog shows them).
void RegisterDapselStrings();

// '2' as the first character selects TCP/IP (2), anything else NetBIOS (4).
int ProtocolMaskFromCommandLine(const char* commandLine);

// One listed print server.
struct ServerNode {
  std::string defaultName;
  std::vector<std::string> portTexts;  // "Port 1,Laser 4", "Port 2,No Printer", ...
  DeviceRecord record{};
  std::uint8_t portKind = 0;  // ((byte 11 >> 6) << 2) | (byte 10 >> 6) of the device-information block
  char deviceName[20] = {};   // the box's name from the block, at most 19 (TCP/IP) or 15 characters
};

// Number of ports of a port-kind byte (parallel + USB), 0..6.
int PortCount(std::uint8_t portKind);

// The fields of one port's section of a "9020: " reply; all empty when the section is missing.
struct PortStatusFields {
  std::string state, printerStatus, bytesServiced, occupiedBy;
  bool ready = false;  // printer status holds "On-Line" and state holds "Idle"
};
PortStatusFields ParsePortStatus(int portIndex, const std::string& statusText);

// The printer model in a "9500:" reply; empty when the printer is not bidirectional, the answer is
// not one of '0'..'3' or no model key is found.
std::string ParsePrinterModel(const std::string& reply);

// Asks every listed box whose default name begins with "PS" for its device information, and each
// of its ports for the printer status and model. Servers that do not answer are left out.
std::vector<ServerNode> BrowseServers();
// The same over a given set of records (the device list of the library).
std::vector<ServerNode> QueryServers(const DeviceRecord* records, int count);

// The port name of a port (0-based index) of a server: at most 10 characters of the source text
// and "_P<n>", or with the Epson flag "LPT<n>:" and at most 8 characters, 13 in all. The source is
// the device name for a TCP/IP record, else the record's NetBIOS address.
std::string MakePortName(const ServerNode& node, int portIndex, bool epson);
// A name the port list and the registry can hold: 1..13 characters, none of them a blank, ',',
// '\' or a control character (the hand-over record splits at blanks and commas).
bool IsUsablePortName(const std::string& name);
// A box name the hand-over record can carry: 1..15 characters (a NetBIOS name), with the same
// characters refused as in a port name.
bool IsUsableDeviceName(const std::string& name);

// Result of WritePortRecord.
enum class RecordResult { kWritten, kDuplicate, kRegistryFailure, kBadName, kBadDeviceName };
// Writes the hand-over record "PS_0" and "TotalPortCnt" under SOFTWARE\Kelmor\KVX.
RecordResult WritePortRecord(const ServerNode& node, int portIndex, bool epson, std::string& portName);
// Removes the hand-over key again.
void DeleteHandOverRecord();

// The spooler's AddPortA: loads the monitor registered under that name in the spooler stand-in and
// calls its AddPort. FALSE with the last error when the monitor cannot be loaded or refuses.
using AddPortFn = std::function<int(const char* serverName, void* window, const char* monitorName)>;
int AddPortA(const char* serverName, void* window, const char* monitorName);
// Whether the print monitor is registered with the spooler stand-in.
bool IsMonitorRegistered();

// The standard TCP/IP port of a TCP/IP server: a port record under the standard monitor's Ports
// key with the LPD device URI "lpd://<address>:515/L<n>". 1 when it was created; 0 when the record
// is not a TCP/IP one, the port exists already or the registry refused.
int AddStandardTcpIpPort(const std::string& portName, int portNumber, const ServerNode& node);
extern const char* const kStandardPortsKey;

// Starting programs (WinExec's form); tests pass a fake.
using StartFn = std::function<unsigned(const char* commandLine, unsigned show)>;
// The printer set-up command: $PSADMIN_PRINTER_SETUP when set, else system-config-printer when
// installed, else the local CUPS page in the browser (xdg-open); empty when none is there.
std::string PrinterSetupCommand();
// Starts it; with none available shows message 121. True when it was started.
bool RunAddPrinterWizard(const StartFn& start);

// The whole "Add" of a selected port: port name, hand-over record, port creation, printer set-up.
struct AddResult {
  std::string portName;
  bool created = false;
};
AddResult AddSelectedPort(const ServerNode& node, const std::string& portText, const AddPortFn& addPort,
                          const StartFn& start);

}  // namespace dapsel

// The print server's own logic, free of any transport: it takes one reassembled request and
// answers it. The TCP listener (and later other front ends) only carry bytes to and from it.
// Not thread-safe: its owner serialises calls.
#pragma once
#include <array>
#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tools/box_emulator/box_settings.h"
#include "tools/box_emulator/pjl_printer.h"
#include "tools/box_emulator/wizard_commands.h"

namespace box_emulator {

// What the box reports about itself in its device-information block and texts.
struct BoxIdentity {
  std::array<std::uint8_t, 6> hardwareAddress{0x00, 0x40, 0x01, 0x1A, 0x2B, 0x3C};
  std::string namePrefix = "KV";   // the two letters of the default name
  std::string defaultName;         // empty: prefix + last six hex digits of the hardware address
  // The device name ("0001") the box starts with. Empty: "PS-" + the last six hex digits, which
  // differs from the default name, so a client that mixes the two names up is caught. Restoring
  // the factory settings still names the box by its default name.
  std::string deviceName;
  // The model and its ports go together: by default a one-port model (index 1, one parallel
  // port, no serial or USB port). A test that makes the box another model sets both.
  std::array<std::uint8_t, 3> modelCode{0x00, 0x55, 0x10};
  int parallelPorts = 1;           // 0..3 (top two bits of block byte 10)
  int serialPorts = 0;             // 0..15 (low nibble of block byte 9)
  int usbPorts = 0;                // 0..3 (top two bits of block byte 11)
  std::uint8_t protocolByte42 = 0x00;  // bit 7: wireless interface
  std::uint8_t protocolByte43 = 0x1F;  // IPX/SPX, TCP/IP, AppleTalk, NetBEUI, SNMP (bit 5: mail)
  std::uint8_t functionByte47 = 0x00;  // bit 1: answers "9037:" with an extended name block
  std::array<std::uint8_t, 2> firmware{0x02, 0x10};  // block bytes 50-51 as sent
  std::string extendedName;        // text of the "9037:" block; empty: the device name
  WizardFeatures wizard;           // answers to the setup wizard's own commands
};

std::string DefaultNameFor(const BoxIdentity& identity);
std::string InitialDeviceNameFor(const BoxIdentity& identity);

// State of one parallel port as the printer status text reports it.
struct PortStatus {
  std::string state = "Idle";
  std::string printerStatus = "On-Line";
  std::string bytesServiced = "0";
  std::string occupiedBy = "";
};

// The answer of the box to one request.
struct CoreReply {
  std::string data;
  std::uint8_t error = 0;  // non-zero: the command failed
  bool restart = false;    // the box restarts once the reply is out
};

class BoxCore {
 public:
  BoxCore(BoxIdentity identity, std::string ipAddress);

  CoreReply HandleRequest(std::string_view request);

  // The restart itself: the pending configuration becomes the running one.
  void CompleteRestart();

  BoxIdentity& identity() { return identity_; }
  const BoxIdentity& identity() const { return identity_; }
  std::string DefaultName() const { return DefaultNameFor(identity_); }
  std::string DeviceName() const { return Get("0001").value_or(""); }

  // The running configuration, and the one that takes effect at the next restart.
  const Settings& running() const { return running_; }
  const Settings& pending() const { return pending_; }
  std::optional<std::string> Get(std::string_view key) const;
  std::optional<std::string> GetPending(std::string_view key) const;
  // Sets a key in both sets at once (for tests and the command line); false for an unknown key.
  bool Set(std::string_view key, std::string_view value);
  // The state the box starts in: the factory set (for the current default name and `ipAddress`)
  // with the identity's initial device name.
  void StartConfigured(const std::string& ipAddress);

  const std::string& password() const { return password_; }
  void setPassword(std::string p) { password_ = std::move(p); }
  const std::string& netwarePassword() const { return netwarePassword_; }
  bool factoryResetPending() const { return factoryPending_; }

  PortStatus& portStatus(int port) { return ports_.at(static_cast<std::size_t>(port - 1)); }
  // A script of states for a port (1..3): each printer-status request ("9020:") first moves every
  // scripted port to its next state; the last state stays once the script is used up. So a test
  // can have a printer go busy, off line or out of paper at a given request.
  void ScriptPortStatus(int port, std::vector<PortStatus> states);
  // A canned answer to a command number (any four digits, known or not), sent instead of the
  // box's own; for replies of any length and content (no terminating NUL, very long lines).
  void SetCommandReply(int command, std::string data) { cannedReplies_[command] = std::move(data); }
  void ClearCommandReplies() { cannedReplies_.clear(); }

  // Ports whose test or diagnostic page was asked for (1, 2, 3 and 101 for the serial port).
  const std::vector<int>& testPages() const { return testPages_; }
  // The printers on the ports, reached by "9500:" and "9601:".
  PjlPorts& pjl() { return pjl_; }
  // The last requests handled, oldest first, whatever front end carried them (at most 256).
  const std::vector<std::string>& handledRequests() const { return handled_; }
  // Lines of keys 9300 and 9301 written by the last configuration request.
  const std::vector<std::string>& addressListLines() const { return addressListLines_; }

  std::array<std::uint8_t, 164> DeviceInfoBlock() const;
  std::array<std::uint8_t, 144> ExtendedInfoBlock() const;
  std::string InformationText() const;
  std::string PrinterStatusText() const;

 private:
  CoreReply HandleCommand(int command, std::string_view argument);
  BoxPorts Ports() const { return {identity_.parallelPorts, identity_.serialPorts}; }
  CoreReply ApplyConfigurationText(std::string_view text);

  BoxIdentity identity_;
  Settings running_;
  Settings pending_;
  std::string password_;
  std::string netwarePassword_;
  bool factoryPending_ = false;
  std::array<PortStatus, 3> ports_;
  std::array<std::deque<PortStatus>, 3> statusScripts_;
  std::map<int, std::string> cannedReplies_;
  std::vector<int> testPages_;
  PjlPorts pjl_;
  std::vector<std::string> addressListLines_;
  std::vector<std::string> handled_;
};

}  // namespace box_emulator
